#include "FileIO.h"

#include <cerrno>
#include <cstring>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include "SysUtils.h"

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

bool WriteFileAtomically(const std::string& path, const std::string& content) {
    if (path.empty()) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

namespace {

// Writes all of `content` to fd; 0 or the errno of the failed write.
int WriteAll(int fd, const std::string& content) {
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

}  // namespace

int ReplaceFileContent(const std::string& path, const std::string& content) {
    if (path.empty()) return ENOENT;
    std::string target = path;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            if (fd < 0) return errno;
            int err = WriteAll(fd, content);
            if (::close(fd) != 0 && err == 0) err = errno;
            return err;
        }
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) target = resolved;
    }
    const std::string tmp = target + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int err = 0;
    if (exists && ::fchmod(fd, st.st_mode & 07777) != 0) err = errno;
    if (err == 0) err = WriteAll(fd, content);
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && std::rename(tmp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) ::unlink(tmp.c_str());
    return err;
}

void MakeDirs(const std::string& dir) {
    for (size_t p = 1; p <= dir.size(); ++p)
        if (p == dir.size() || dir[p] == '/') ::mkdir(dir.substr(0, p).c_str(), 0700);
}

}  // namespace dv
