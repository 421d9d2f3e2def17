#include "TerminationSignals.h"

#include <atomic>
#include <csignal>

namespace dv {

namespace {

std::atomic<TTerminationHandler> g_handler{nullptr};

void Install(TTerminationHandler handler) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);
}

}  // namespace

void SetTerminationHandler(TTerminationHandler handler) {
    g_handler = handler;
    Install(handler);
}

void ReclaimTerminationSignals() {
    if (TTerminationHandler handler = g_handler) Install(handler);
}

}  // namespace dv
