#include "model/StatSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/StrData.h"

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
    try {
        CheckEncoding();
    } catch (...) {
        ::close(FFd);
        FFd = -1;
        throw;
    }
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 code units to UTF-8; a lone surrogate or an odd last byte becomes
// U+FFFD, so that nothing is dropped unseen.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2 + bytes.size() / 8);
    auto unit = [&](size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? static_cast<uint32_t>(a << 8 | b) : static_cast<uint32_t>(b << 8 | a);
    };
    constexpr uint32_t kReplacement = 0xFFFD;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, u >= 0xD800 && u < 0xE000 ? kReplacement : u);
    }
    if (i < bytes.size()) AppendUtf8(out, kReplacement);
    return out;
}

[[noreturn]] void RefuseEncoding(const std::string& what) {
    throw EReadError("Cannot read the statistics text: " + what +
                     ". Save it as UTF-8, or as UTF-16 with a byte order mark, and load it again.");
}

}  // namespace

void TTextFileSource::CheckEncoding() {
    if (!Fill()) return;
    const auto* b = reinterpret_cast<const unsigned char*>(FBuf.get());
    if (FLen >= 4 && ((b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) ||
                      (b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)))
        RefuseEncoding("it is written in UTF-32, an encoding Dravolt does not read");
    if (FLen >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        FPos = 3;
        return;
    }
    if (FLen >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        // Rare enough to be decoded whole, once.
        const bool bigEndian = b[0] == 0xFE;
        std::string raw(FBuf.get() + 2, FLen - 2);
        while (Fill()) raw.append(FBuf.get(), FLen);
        const std::string text = Utf16ToUtf8(raw, bigEndian);
        FBuf.reset(new char[text.size() + 1]);
        std::memcpy(FBuf.get(), text.data(), text.size());
        FPos = 0;
        FLen = text.size();
        FAtEnd = true;
        return;
    }
    // Every other byte NUL: UTF-16 (or UTF-32) that lost its mark.
    const size_t n = FLen < 512 ? FLen : 512;
    size_t nul = 0;
    for (size_t i = 0; i < n; ++i) nul += b[i] == 0;
    if (n >= 8 && nul * 4 >= n)
        RefuseEncoding("it holds NUL bytes between its characters, as UTF-16 without a byte order mark does");
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

bool TTextFileSource::ReadRawLine(std::string& line) {
    line.clear();
    SkipLfAfterCr();
    for (;;) {
        if (FPos >= FLen && !Fill()) return false;
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
            return true;
        }
    }
}

void TTextFileSource::ReadStatLine(std::string& line) {
    if (Eof()) {
        line.clear();
        return;
    }
    do {
        const bool ended = ReadRawLine(line);
        TrimLineEnd(line);
        FEndsInsideLine = !ended && !line.empty();
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
