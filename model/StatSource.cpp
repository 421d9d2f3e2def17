#include "StatSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StrData.h"

namespace dv {

std::shared_ptr<IStatSource> StatSource;

namespace {
constexpr size_t kBufSize = 256 * 1024;

std::string OpenErrorText(int err) {
    switch (err) {
    case ENOENT: return "File not found";
    case ENOTDIR: return "Path not found";
    case EACCES:
    case EPERM:
    case EISDIR: return "File access denied";
    default: return "I/O error " + std::to_string(err);
    }
}
}  // namespace

void TrimLineEnd(std::string& line) {
    size_t n = line.size();
    while (n > 0 && static_cast<unsigned char>(line[n - 1]) <= ' ') --n;
    line.resize(n);
}

// ---------------------------------------------------------------- TTextFileSource

TTextFileSource::TTextFileSource(const std::string& fileName) {
    FFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) throw EFOpenError(OpenErrorText(errno));
    struct stat st {};
    int err = 0;
    if (::fstat(FFd, &st) != 0) err = errno;
    else if (S_ISDIR(st.st_mode)) err = EISDIR;
    if (err != 0) {
        ::close(FFd);
        FFd = -1;
        throw EFOpenError(OpenErrorText(err));
    }
    FDate = UnixToDateTimeLocal(static_cast<int64_t>(st.st_mtime));
    FBuf.reset(new char[kBufSize]);
}

TTextFileSource::~TTextFileSource() {
    if (FFd >= 0) ::close(FFd);
}

bool TTextFileSource::Fill() {
    if (FAtEnd) return false;
    for (;;) {
        const ssize_t n = ::read(FFd, FBuf.get(), kBufSize);
        if (n > 0) {
            FPos = 0;
            FLen = static_cast<size_t>(n);
            return true;
        }
        if (n == 0) {
            FAtEnd = true;
            FPos = FLen = 0;
            return false;
        }
        if (errno != EINTR) throw EInOutError("I/O error " + std::to_string(errno));
    }
}

void TTextFileSource::SkipLfAfterCr() {
    if (!FAfterCr) return;
    if (FPos < FLen || Fill()) {
        if (FBuf[FPos] == '\n') ++FPos;
        FAfterCr = false;
    }
}

bool TTextFileSource::Eof() {
    SkipLfAfterCr();
    return FPos >= FLen && !Fill();
}

void TTextFileSource::ReadRawLine(std::string& line) {
    line.clear();
    SkipLfAfterCr();
    for (;;) {
        if (FPos >= FLen && !Fill()) return;
        const char* begin = FBuf.get() + FPos;
        const char* end = FBuf.get() + FLen;
        // The line ends at the first LF or CR: both searched with memchr,
        // the CR only up to the LF (statistics texts rarely hold one).
        const char* p = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
        if (!p) p = end;
        if (const void* cr = std::memchr(begin, '\r', static_cast<size_t>(p - begin))) p = static_cast<const char*>(cr);
        line.append(begin, static_cast<size_t>(p - begin));
        FPos += static_cast<size_t>(p - begin);
        if (p < end) {
            FAfterCr = *p == '\r';
            ++FPos;
            return;
        }
    }
}

void TTextFileSource::ReadStatLine(std::string& line) {
    if (Eof()) {
        line.clear();
        return;
    }
    do {
        ReadRawLine(line);
        TrimLineEnd(line);
    } while (line.empty() && !Eof());
}

// ---------------------------------------------------------------- TStringsSource

TStringsSource::TStringsSource(const TStringList& lines) : FLines(lines), FDate(Now()) {}

void TStringsSource::ReadStatLine(std::string& line) {
    if (Eof()) throw Exception(SReadAfterEof);
    do {
        line = std::move(FLines[FNext]);
        ++FNext;
        TrimLineEnd(line);
    } while (line.empty() && !Eof());
}

}  // namespace dv
