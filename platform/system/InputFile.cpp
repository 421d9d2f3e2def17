#include "platform/system/InputFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/text/SysUtils.h"

namespace dv {

namespace {

std::string SystemReason() { return std::strerror(errno); }

// The most a pipe may bring: far beyond the statistics of any real database,
// and a bound for a pipe that never ends (such as one fed from /dev/zero).
constexpr off_t kMaxPipedBytes = off_t(1) << 30;

}  // namespace

TInputFile::TInputFile(const std::string& fileName) : FName(fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) Fail(SystemReason());
    if (S_ISDIR(st.st_mode)) Fail("It is a folder, not a statistics file.");
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode))
        Fail("It is a device or other special file, not a statistics file or pipe.");
    FFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) Fail(SystemReason());
    if (::fstat(FFd, &st) != 0) Fail(SystemReason());
    if (S_ISREG(st.st_mode)) {
        FPath = fileName;
        return;
    }
    if (!S_ISFIFO(st.st_mode)) Fail("It is not a statistics file or pipe.");
    CopyPipe();
}

TInputFile::~TInputFile() {
    if (FFd >= 0) ::close(FFd);
}

void TInputFile::Fail(const std::string& reason) const {
    throw EFOpenError("Cannot open file \"" + FName + "\". " + reason);
}

size_t TInputFile::ReadAt(char* buf, size_t size, off_t offset) const {
    ssize_t got;
    do got = ::pread(FFd, buf, size, offset);
    while (got < 0 && errno == EINTR);
    if (got < 0) throw EReadError("Cannot read file \"" + FName + "\". " + SystemReason());
    return static_cast<size_t>(got);
}

void TInputFile::CopyPipe() {
    int copy = ::memfd_create("dravolt-statistics", MFD_CLOEXEC);
    if (copy < 0) Fail(SystemReason());
    std::unique_ptr<char[]> buf(new char[256 * 1024]);
    off_t total = 0;
    for (;;) {
        const ssize_t n = ::read(FFd, buf.get(), 256 * 1024);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(copy);
            throw EReadError("Cannot read file \"" + FName + "\". " + std::strerror(err));
        }
        total += n;
        if (total > kMaxPipedBytes) {
            ::close(copy);
            Fail("More than 1024 MB came through the pipe; that is no statistics text.");
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(copy, buf.get() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                const int err = w < 0 ? errno : ENOSPC;
                ::close(copy);
                throw EReadError("Cannot read file \"" + FName + "\". " + std::strerror(err));
            }
            done += w;
        }
    }
    ::close(FFd);
    FFd = copy;
    FPath = "/proc/self/fd/" + std::to_string(copy);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace dv
