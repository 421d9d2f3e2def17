#include "tests/support/FaultProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace dv::test {

struct TFaultProxy::TLink {
    int Client = -1;
    int Server = -1;   // -1 for a silent link
    TMode Mode = TMode::Forward;
    size_t Count = 0;
    size_t Requests = 0;   // client reads passed on
    size_t Answered = 0;   // bytes of the server passed on
    bool Held = false;     // passes nothing more
};

namespace {

int ConnectLocal(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes all of it; false when the peer is gone.
bool SendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

TFaultProxy::TFaultProxy(int targetPort) : FTargetPort(targetPort) {
    if (::pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = 0;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return;
    }
    FListen = fd;
    FPort = ntohs(a.sin_port);
    FThread = std::thread([this] { Run(); });
}

TFaultProxy::~TFaultProxy() {
    FStop = true;
    Wake();
    if (FThread.joinable()) FThread.join();
    // Every link ends with the proxy: a client still waiting on one hears
    // that the connection is gone.
    for (TLink& l : FLinks) Close(l, true);
    if (FListen >= 0) ::close(FListen);
    for (int fd : FWake)
        if (fd >= 0) ::close(fd);
}

std::string TFaultProxy::Server() const { return "127.0.0.1/" + std::to_string(FPort); }

void TFaultProxy::Wake() {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(FWake[1], &c, 1);
}

void TFaultProxy::SetMode(TMode mode, size_t count, int fromConnection) {
    std::lock_guard<std::mutex> lock(FMutex);
    FCutAll = false;
    if (fromConnection > FAccepted) {
        FPendingFrom = fromConnection;
        FPendingMode = mode;
        FPendingCount = count;
        return;
    }
    FPendingFrom = 0;
    FMode = mode;
    FCount = count;
}

void TFaultProxy::StallAll() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStallAll = true;
    }
    Wake();
}

void TFaultProxy::CutAll() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FCutAll = true;
    }
    Wake();
}

int TFaultProxy::Open() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return static_cast<int>(FLinks.size());
}

void TFaultProxy::Close(TLink& link, bool reset) {
    if (reset && link.Client >= 0) {
        const linger l{1, 0};
        ::setsockopt(link.Client, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    for (int* fd : {&link.Client, &link.Server})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

void TFaultProxy::Accept() {
    const int c = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return;
    std::lock_guard<std::mutex> lock(FMutex);
    const int number = ++FAccepted;
    if (FPendingFrom > 0 && number >= FPendingFrom) {
        FPendingFrom = 0;
        FMode = FPendingMode;
        FCount = FPendingCount;
    }
    TLink link;
    link.Client = c;
    link.Mode = FCutAll ? TMode::ResetAfter : FMode;
    link.Count = FCutAll ? 0 : FCount;
    if (FCutAll) {
        Close(link, true);
        return;
    }
    if (link.Mode != TMode::Silent) {
        link.Server = ConnectLocal(FTargetPort);
        if (link.Server < 0) {
            Close(link, true);
            return;
        }
    }
    FLinks.push_back(link);
}

void TFaultProxy::Run() {
    std::vector<pollfd> fds;
    std::vector<std::pair<size_t, bool>> owners;   // link index, from the client
    char buf[65536];
    while (!FStop) {
        fds.clear();
        owners.clear();
        fds.push_back({FWake[0], POLLIN, 0});
        fds.push_back({FListen, POLLIN, 0});
        {
            std::lock_guard<std::mutex> lock(FMutex);
            for (size_t i = 0; i < FLinks.size(); ++i) {
                TLink& l = FLinks[i];
                if (l.Held || l.Mode == TMode::Silent) continue;
                // A link that stalls after N requests reads no (N+1)th.
                const bool readClient = !(l.Mode == TMode::StallAfter && l.Requests >= l.Count);
                if (readClient) {
                    fds.push_back({l.Client, POLLIN, 0});
                    owners.emplace_back(i, true);
                }
                fds.push_back({l.Server, POLLIN, 0});
                owners.emplace_back(i, false);
            }
        }
        if (::poll(fds.data(), fds.size(), 1000) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) {
            while (::read(FWake[0], buf, sizeof buf) > 0) {
            }
        }
        if (fds[1].revents) Accept();
        std::lock_guard<std::mutex> lock(FMutex);
        if (FCutAll) {
            for (TLink& l : FLinks) Close(l, true);
            FLinks.clear();
            continue;
        }
        if (FStallAll) {
            for (TLink& l : FLinks) l.Held = true;
            FStallAll = false;
        }
        for (size_t k = 2; k < fds.size(); ++k) {
            if (!fds[k].revents) continue;
            TLink& l = FLinks[owners[k - 2].first];
            if (l.Held || l.Client < 0) continue;
            const bool fromClient = owners[k - 2].second;
            const ssize_t n = ::recv(fds[k].fd, buf, sizeof buf, 0);
            if (n <= 0) {
                Close(l, false);
                continue;
            }
            if (fromClient) {
                ++l.Requests;
                ++FRequests;
                if (!SendAll(l.Server, buf, static_cast<size_t>(n))) Close(l, false);
                continue;
            }
            size_t pass = static_cast<size_t>(n);
            const bool cuts = l.Mode == TMode::DropAfter || l.Mode == TMode::ResetAfter;
            if (cuts) pass = std::min(pass, l.Count - std::min(l.Count, l.Answered));
            if (pass > 0 && !SendAll(l.Client, buf, pass)) {
                Close(l, false);
                continue;
            }
            l.Answered += pass;
            FAnswered += pass;
            if (cuts && l.Answered >= l.Count) Close(l, l.Mode == TMode::ResetAfter);
        }
        FLinks.erase(std::remove_if(FLinks.begin(), FLinks.end(), [](const TLink& l) { return l.Client < 0; }),
                     FLinks.end());
    }
}

}  // namespace dv::test
