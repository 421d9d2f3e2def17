// A TCP proxy of the tests' own on 127.0.0.1 in front of the local Firebird
// server, which makes the faults that networks make: a peer that accepts and
// never answers, a link that stalls after some requests, a connection that
// drops or is reset after some bytes of the server's answers. The server
// itself is never touched. The proxy runs on a thread of the test process
// and is driven through its methods; no Qt, so every suite can use it.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dv::test {

class TFaultProxy {
public:
    enum class TMode {
        Forward,        // pass everything both ways
        Silent,         // accept and never answer (nothing goes to the server)
        StallAfter,     // pass N requests of the client, then hold every later one
        DropAfter,      // pass N bytes of the server's answers, then close both ends
        ResetAfter,     // as DropAfter, but reset the client's connection
    };

    // Listens on a free port of 127.0.0.1 and forwards to targetPort there.
    explicit TFaultProxy(int targetPort = 3050);
    ~TFaultProxy();
    TFaultProxy(const TFaultProxy&) = delete;
    TFaultProxy& operator=(const TFaultProxy&) = delete;

    bool Listening() const { return FListen >= 0; }
    int Port() const { return FPort; }
    // The server name as the client library takes it: "127.0.0.1/port".
    std::string Server() const;

    // How connections accepted from now on behave; with `fromConnection`
    // (1 for the first connection ever accepted) only that one and those
    // after it, the ones before keeping the mode in force until then.
    void SetMode(TMode mode, size_t count = 0, int fromConnection = 0);
    // Every open connection stops passing anything, both ways, from now on.
    void StallAll();
    // Every open connection is reset, and later ones too until SetMode.
    void CutAll();
    // Connections accepted so far, and those still open.
    int Accepted() const { return FAccepted; }
    int Open() const;
    // Client reads passed to the server and bytes of the server passed to
    // the client, over every connection so far.
    size_t Requests() const { return FRequests; }
    size_t Answered() const { return FAnswered; }

private:
    struct TLink;
    void Run();
    void Accept();
    void Wake();
    static void Close(TLink& link, bool reset);

    int FTargetPort;
    int FListen = -1;
    int FPort = 0;
    int FWake[2] = {-1, -1};
    std::atomic<bool> FStop{false};
    std::atomic<int> FAccepted{0};
    mutable std::mutex FMutex;
    TMode FMode = TMode::Forward;
    size_t FCount = 0;
    int FPendingFrom = 0;   // SetMode's connection, while not reached
    TMode FPendingMode = TMode::Forward;
    size_t FPendingCount = 0;
    std::atomic<size_t> FRequests{0};
    std::atomic<size_t> FAnswered{0};
    bool FStallAll = false;
    bool FCutAll = false;
    std::vector<TLink> FLinks;   // the proxy thread's own, under FMutex
    std::thread FThread;
};

}  // namespace dv::test
