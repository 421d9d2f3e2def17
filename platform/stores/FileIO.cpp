#include "platform/stores/FileIO.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include "platform/text/SysUtils.h"

namespace dv {

void AdviseLargeBuffer(char* data, size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t(1) << 21;
    if (size < 4 * kHuge) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

TFileText::TFileText(int fd, off_t offset) {
    // One byte more than the file holds, so that its end is seen without
    // growing the buffer.
    size_t capacity = size_t(1) << 16;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > offset) capacity = static_cast<size_t>(st.st_size - offset) + 1;
    FData.reset(new char[capacity]);
    AdviseLargeBuffer(FData.get(), capacity);
    for (;;) {
        if (FSize == capacity) {
            capacity *= 2;
            std::unique_ptr<char[]> larger(new char[capacity]);
            AdviseLargeBuffer(larger.get(), capacity);
            std::memcpy(larger.get(), FData.get(), FSize);
            FData = std::move(larger);
        }
        const ssize_t n = ::pread(fd, FData.get() + FSize, capacity - FSize, offset + static_cast<off_t>(FSize));
        if (n == 0) return;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EInOutError(std::strerror(errno));
        }
        FSize += static_cast<size_t>(n);
    }
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        try {
            out.assign(TFileText(fd, 0).View());
        } catch (const EInOutError&) {
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

namespace {

// Writes all of `content` to fd; 0 or the errno of the failed write.
int WriteAll(int fd, std::string_view content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// 0, or the errno of a close that failed (an interrupted close has closed
// the descriptor all the same).
int CloseChecked(int fd) { return ::close(fd) != 0 && errno != EINTR ? errno : 0; }

// The termination signals wait in this thread while a file is replaced, so
// that an interrupted program leaves neither a temporary file nor half a file.
class TTerminationHeld {
public:
    TTerminationHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &FOld);
    }
    ~TTerminationHeld() { pthread_sigmask(SIG_SETMASK, &FOld, nullptr); }
    TTerminationHeld(const TTerminationHeld&) = delete;
    TTerminationHeld& operator=(const TTerminationHeld&) = delete;

private:
    sigset_t FOld;
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links, a dangling one too (its target is what gets
// created), so that a link the user keeps in place stays a link.
int FollowLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) return errno;
        target.resize(static_cast<size_t>(n));
        path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
    }
    return ELOOP;
}

// A new, empty file beside `target` that nobody else uses; -1 with errno set
// when none can be made. The name is hidden and short enough for any folder
// that can hold the target.
int CreateTempBeside(const std::string& target, std::string& tmp) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 200);
    for (;;) {
        tmp = folder + "." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        const int fd = OpenRetrying(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
}

TFileWriteResult WriteInPlace(const std::string& path, std::string_view content) {
    const int fd = OpenRetrying(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) return {errno, false};
    int err = WriteAll(fd, content);
    const int closed = CloseChecked(fd);
    return {err != 0 ? err : closed, true};
}

}  // namespace

std::string TFileWriteResult::Message(const std::string& path) const {
    return std::string(Created ? "Cannot write file \"" : "Cannot create file \"") + path + "\". " +
           std::strerror(Error);
}

TFileWriteResult ReplaceFileContent(const std::string& path, std::string_view content) {
    if (path.empty()) return {ENOENT, false};
    std::string target = path;
    if (const int err = FollowLinks(target)) return {err, false};
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return {EISDIR, false};
    TTerminationHeld held;
    if (exists && !S_ISREG(st.st_mode)) return WriteInPlace(target, content);

    std::string tmp;
    const int fd = CreateTempBeside(target, tmp);
    if (fd < 0) return {errno, false};
    int err = 0;
    if (exists) {
        // Root saving over a user's file leaves it the user's; anyone else
        // cannot give a file away, and it becomes theirs as any new file.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            [[maybe_unused]] const int given = ::fchown(fd, st.st_uid, st.st_gid);
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0) err = errno;
    }
    if (err == 0) err = WriteAll(fd, content);
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    const int closed = CloseChecked(fd);
    if (err == 0) err = closed;
    if (err == 0 && std::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        return {err, true};
    }
    // The rename itself reaches the disk with the folder.
    const int dir = OpenRetrying(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return {};
}

void SaveFileContent(const std::string& path, std::string_view content) {
    const TFileWriteResult r = ReplaceFileContent(path, content);
    if (!r) throw EFCreateError(r.Message(path));
}

void MakeDirs(const std::string& dir) {
    for (size_t p = 1; p <= dir.size(); ++p)
        if (p == dir.size() || dir[p] == '/') ::mkdir(dir.substr(0, p).c_str(), 0700);
}

}  // namespace dv
