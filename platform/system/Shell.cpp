#include "platform/system/Shell.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/text/SysUtils.h"

namespace dv {

namespace {

TShellOpenHandler& OpenHandler() {
    static TShellOpenHandler h;
    return h;
}
TProcessStartHandler& StartHandler() {
    static TProcessStartHandler h;
    return h;
}

// Runs argv detached: a grandchild that init adopts, so no zombie is left
// and nothing waits for it. Returns 0 or the errno of the failed exec.
int SpawnDetached(const char* const argv[]) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    pid_t child = fork();
    if (child < 0) {
        int err = errno;
        close(fds[0]);
        close(fds[1]);
        return err;
    }
    if (child == 0) {
        close(fds[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild < 0) {
            int err = errno;
            (void)!write(fds[1], &err, sizeof err);
            _exit(1);
        }
        if (grandchild == 0) {
            execvp(argv[0], const_cast<char* const*>(argv));
            int err = errno;
            (void)!write(fds[1], &err, sizeof err);
            _exit(127);
        }
        _exit(0);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(fds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(fds[0]);
    return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

}  // namespace

bool ShellOpen(const std::string& url) {
    if (OpenHandler()) return OpenHandler()(url);
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    return SpawnDetached(argv) == 0;
}

TShellOpenHandler SetShellOpenHandler(TShellOpenHandler h) {
    TShellOpenHandler old = std::move(OpenHandler());
    OpenHandler() = std::move(h);
    return old;
}

void StartDetachedProcess(const std::string& program) {
    if (StartHandler()) {
        StartHandler()(program);
        return;
    }
    const char* argv[] = {program.c_str(), nullptr};
    int err = SpawnDetached(argv);
    if (err != 0) throw Exception("Cannot run \"" + program + "\": " + std::strerror(err));
}

TProcessStartHandler SetProcessStartHandler(TProcessStartHandler h) {
    TProcessStartHandler old = std::move(StartHandler());
    StartHandler() = std::move(h);
    return old;
}

}  // namespace dv
