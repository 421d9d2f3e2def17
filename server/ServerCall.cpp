#include "server/ServerCall.h"

#include <cstdlib>

namespace dv {

namespace {

// How long a waiting caller sleeps between two looks at its hook.
constexpr auto kWaitSlice = std::chrono::milliseconds(25);

std::atomic<int> g_running{0};

}  // namespace

std::chrono::milliseconds ServerTimeout() {
    const char* text = std::getenv(kServerTimeoutVariable);
    if (!text || !*text) return kDefaultServerTimeout;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds > 0) || seconds > 86400) return kDefaultServerTimeout;
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

namespace {

std::string TimeoutText(std::chrono::milliseconds timeout) {
    const long long ms = timeout.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + (ms == 1000 ? " second" : " seconds");
    return FormatFloat("0.###", static_cast<double>(ms) / 1000) + " seconds";
}

}  // namespace

EIBServerTimeout::EIBServerTimeout(const std::string& server, std::chrono::milliseconds timeout)
    : EIBClientError("The server " + (server.empty() ? std::string("of this computer") : "\"" + server + "\"") +
                     " did not answer within " + TimeoutText(timeout) +
                     ". It may be down, overloaded or cut off by the network.") {}

void WaitForCall(TCallState& state, const TServerWait& wait) {
    const auto timeout = ServerTimeout();
    std::unique_lock<std::mutex> lock(state.FMutex);
    for (;;) {
        if (state.FDone.wait_for(lock, kWaitSlice, [&] { return state.FFinished; })) return;
        lock.unlock();
        if (wait.OnWait) wait.OnWait();
        const bool cancelled = wait.Cancelled && wait.Cancelled();
        const auto silentFor = std::chrono::steady_clock::now().time_since_epoch() -
                               std::chrono::steady_clock::duration(state.FLastAnswer.load());
        lock.lock();
        if (state.FFinished) return;
        if (cancelled || silentFor > timeout) {
            state.FAbandoned = true;
            if (cancelled) throw EAbort("Operation cancelled");
            throw EIBServerTimeout(wait.Server, timeout);
        }
    }
}

int ServerCallsRunning() { return g_running; }

namespace detail {
void CallStarted() { ++g_running; }
void CallEnded() { --g_running; }
}  // namespace detail

void ReleaseOffThread(const TIBClientLibrary& lib, std::vector<std::pair<THandleKind, TApiHandle>> handles,
                      std::chrono::steady_clock::time_point deadline) noexcept {
    std::erase_if(handles, [](const auto& h) { return h.second == 0; });
    if (handles.empty()) return;
    struct TState {
        std::mutex Mutex;
        std::condition_variable Done;
        bool Finished = false;
    };
    try {
        auto state = std::make_shared<TState>();
        detail::CallStarted();
        std::thread([state, &lib, handles = std::move(handles)] {
            for (const auto& [kind, value] : handles) {
                TIBHandle h(lib, kind);
                *h.Ptr() = value;
                h.Release();
            }
            {
                std::lock_guard<std::mutex> lock(state->Mutex);
                state->Finished = true;
                state->Done.notify_all();
            }
            detail::CallEnded();
        }).detach();
        std::unique_lock<std::mutex> lock(state->Mutex);
        state->Done.wait_until(lock, deadline, [&] { return state->Finished; });
    } catch (...) {
        // No thread to spare: the handles are left to the end of the process.
    }
}

}  // namespace dv
