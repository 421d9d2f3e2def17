// Calls into the client library that can block for as long as the network
// does (attach, service start, database information, metadata queries) run
// on a thread of their own while the caller waits in short slices: its wait
// hook keeps the user interface alive, a cancel takes effect at the next
// slice, and a server that stays silent past the timeout is reported as
// such. A call given up is abandoned, never joined: its thread runs on until
// the library returns, then lets go of what it holds; the process may end
// before that.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/text/SysUtils.h"
#include "server/IBClient.h"

namespace dv {

// Seconds (a decimal fraction allowed) a server may stay silent before a
// call is given up; tests set it low. Unset or unreadable: the default.
inline constexpr const char* kServerTimeoutVariable = "DRAVOLT_SERVER_TIMEOUT";
inline constexpr std::chrono::milliseconds kDefaultServerTimeout{20000};
std::chrono::milliseconds ServerTimeout();

// The server did not answer within the timeout.
class EIBServerTimeout : public EIBClientError {
public:
    EIBServerTimeout(const std::string& server, std::chrono::milliseconds timeout);
    const char* ClassName() const noexcept override { return "EIBServerTimeout"; }
};

// How a caller waits: the hook runs after every slice without an answer,
// the cancel test after the hook; the server is named in the timeout's
// message.
struct TServerWait {
    std::function<void()> OnWait;
    std::function<bool()> Cancelled;
    std::string Server;
};

// Shared by a call's thread and its caller.
class TCallState {
public:
    TCallState() { Touch(); }
    // The server answered: the timeout counts from now.
    void Touch() noexcept { FLastAnswer = std::chrono::steady_clock::now().time_since_epoch().count(); }
    // The caller gave the call up; work of many steps stops at the next one.
    bool Abandoned() const noexcept { return FAbandoned; }

    // The call's thread is done (with its error, if any); true when the
    // caller had given the call up by then.
    bool Finish(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(FMutex);
        FError = error;
        FFinished = true;
        FDone.notify_all();
        return FAbandoned;
    }
    // After WaitForCall: what the work raised.
    std::exception_ptr Error() const { return FError; }

private:
    friend void WaitForCall(TCallState& state, const TServerWait& wait);
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FFinished = false;
    std::atomic<bool> FAbandoned{false};
    std::atomic<std::chrono::steady_clock::rep> FLastAnswer{0};
    std::exception_ptr FError;
};

// Waits until the call's thread finishes; on a cancel raises EAbort, on a
// silence past the timeout EIBServerTimeout, having marked the call abandoned.
void WaitForCall(TCallState& state, const TServerWait& wait);

// Calls (and releases, see ReleaseOffThread) whose threads still run. At
// the end of the program any of them is a call given up on a server that
// does not answer.
int ServerCallsRunning();

// Ends the handles, first to last, on a thread of its own, and waits for it
// until `deadline` at most: a server that does not answer keeps neither the
// caller nor the end of the program. Never raises; the handles are the
// thread's from now on.
void ReleaseOffThread(const TIBClientLibrary& lib, std::vector<std::pair<THandleKind, TApiHandle>> handles,
                      std::chrono::steady_clock::time_point deadline) noexcept;

namespace detail {
void CallStarted();
void CallEnded();
}  // namespace detail

// Runs work(state) on a thread of its own and returns its result or raises
// its error. When the caller gives it up (see WaitForCall) `orphan` runs on
// that thread once the work has returned or raised, to let go of what the
// work left open (a handle nobody else knows any more).
template <class R>
R RunOffThread(std::function<R(TCallState&)> work, const TServerWait& wait, std::function<void()> orphan = {}) {
    struct TState : TCallState {
        std::optional<R> Result;
    };
    auto state = std::make_shared<TState>();
    detail::CallStarted();
    std::thread thread;
    try {
        thread = std::thread([state, work = std::move(work), orphan = std::move(orphan)] {
            std::optional<R> result;
            std::exception_ptr error;
            try {
                result.emplace(work(*state));
            } catch (...) {
                error = std::current_exception();
            }
            state->Result = std::move(result);   // read by the caller only after Finish
            if (state->Finish(error) && orphan) {
                try {
                    orphan();
                } catch (...) {
                    // Nobody is left to hear about it.
                }
            }
            detail::CallEnded();
        });
    } catch (...) {
        detail::CallEnded();
        throw;
    }
    thread.detach();
    WaitForCall(*state, wait);
    if (state->Error()) std::rethrow_exception(state->Error());
    return std::move(*state->Result);
}

}  // namespace dv
