#include "platform/system/TerminationSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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

int g_signalSocket[2] = {-1, -1};

extern "C" void WriteSignalNumber(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t n = ::write(g_signalSocket[1], &byte, 1);
    errno = saved;
}

}  // namespace

void SetTerminationHandler(TTerminationHandler handler) {
    g_handler = handler;
    Install(handler);
}

void ReclaimTerminationSignals() {
    if (TTerminationHandler handler = g_handler) Install(handler);
}

int RouteTerminationSignals() {
    if (g_signalSocket[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) return -1;
    SetTerminationHandler(WriteSignalNumber);
    return g_signalSocket[0];
}

int TakeTerminationSignal() {
    unsigned char byte = 0;
    return g_signalSocket[0] >= 0 && ::read(g_signalSocket[0], &byte, 1) == 1 ? byte : 0;
}

}  // namespace dv
