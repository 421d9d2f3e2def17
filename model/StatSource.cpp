#include "model/StatSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {
size_t TrimmedSize(std::string_view line) {
    size_t n = line.size();
    while (n > 0 && static_cast<unsigned char>(line[n - 1]) <= ' ') --n;
    return n;
}
}  // namespace

void TrimLineEnd(std::string& line) { line.resize(TrimmedSize(line)); }

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
    if (!Fill(0)) return;
    const auto* b = reinterpret_cast<const unsigned char*>(FBuf);
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
        std::string raw(FBuf + 2, FLen - 2);
        while (Fill(FLen)) raw.append(FBuf, FLen);
        const std::string text = Utf16ToUtf8(raw, bigEndian);
        FBlocks.clear();
        Block& whole = FBlocks.emplace_back();
        whole.Data.reset(new char[text.size() + 1]);
        whole.Size = text.size() + 1;
        std::memcpy(whole.Data.get(), text.data(), text.size());
        FCur = 0;
        FBuf = whole.Data.get();
        FPos = 0;
        FLen = text.size();
        FNextCr = kNoCrSearch;
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

// A block that holds no line in use with room for `carry` bytes and as many
// again to read (and at least a whole block of its own).
TTextFileSource::Block& TTextFileSource::FreeBlock(size_t carry) {
    const size_t size = carry * 2 > kBufSize ? carry * 2 : kBufSize;
    Block* found = nullptr;
    for (size_t i = 0; i < FBlocks.size(); ++i) {
        Block& b = FBlocks[i];
        // In use: current, or it held one of the last kKeptLines lines
        // handed out (none, when none had been handed out as it was left).
        if ((FBuf && i == FCur) || (b.LeftAt > 0 && b.LeftAt + kKeptLines > FHanded)) continue;
        found = &b;
        if (b.Size >= size) return b;
    }
    if (!found) found = &FBlocks.emplace_back();
    // A line longer than half a block doubles the block, so that carrying
    // the line over stays linear in its length.
    found->Size = size;
    found->Data.reset(new char[size]);
    return *found;
}

bool TTextFileSource::Fill(size_t keep) {
    if (FAtEnd) return false;
    const size_t carry = FBuf ? FLen - keep : 0;
    const size_t cur = FCur;
    Block& next = FreeBlock(carry);
    for (;;) {
        const ssize_t n = ::read(FFd, next.Data.get() + carry, next.Size - carry);
        if (n > 0) {
            // Lines handed out from the block they were read in stay there.
            if (FBuf) {
                std::memcpy(next.Data.get(), FBuf + keep, carry);
                FBlocks[cur].LeftAt = FHanded;
            }
            FCur = static_cast<size_t>(&next - FBlocks.data());
            FBuf = next.Data.get();
            FPos = carry;
            FLen = carry + static_cast<size_t>(n);
            FNextCr = kNoCrSearch;
            return true;
        }
        if (n == 0) {
            FAtEnd = true;
            return false;
        }
        if (errno != EINTR) throw EInOutError("I/O error " + std::to_string(errno));
    }
}

void TTextFileSource::SkipLfAfterCr() {
    if (!FAfterCr) return;
    if (FPos < FLen || Fill(FPos)) {
        if (FBuf[FPos] == '\n') ++FPos;
        FAfterCr = false;
    }
}

void TTextFileSource::TakeBackReady() {
    FHanded += static_cast<uint64_t>(FReady - FBatch);
    FReady = FReadyEnd = FBatch;
}

bool TTextFileSource::EofPastReady() {
    TakeBackReady();
    SkipLfAfterCr();
    return FPos >= FLen && !Fill(FPos);
}

bool TTextFileSource::ReadRawLine(std::string_view& line) {
    SkipLfAfterCr();
    size_t start = FPos;
    for (;;) {
        if (FPos >= FLen) {
            if (!Fill(start)) {
                line = FBuf ? std::string_view(FBuf + start, FLen - start) : std::string_view();
                FPos = FLen;
                return false;
            }
            start = 0;
        }
        const char* begin = FBuf + FPos;
        const char* end = FBuf + FLen;
        // The line ends at the first LF or CR, both found with memchr. Most
        // texts hold no CR: the next one is searched once for the rest of the
        // block, not once a line.
        if (FNextCr == kNoCrSearch || FNextCr < FPos) {
            const void* cr = std::memchr(begin, '\r', static_cast<size_t>(end - begin));
            FNextCr = cr ? static_cast<size_t>(static_cast<const char*>(cr) - FBuf) : FLen;
        }
        const char* p = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
        if (!p) p = end;
        if (FNextCr < static_cast<size_t>(p - FBuf)) p = FBuf + FNextCr;
        FPos = static_cast<size_t>(p - FBuf);
        if (p < end) {
            line = std::string_view(FBuf + start, FPos - start);
            FAfterCr = *p == '\r';
            ++FPos;
            return true;
        }
    }
}

bool TTextFileSource::CutReadyLines() {
    if (FAfterCr || FPos >= FLen) return false;
    if (FNextCr == kNoCrSearch || FNextCr < FPos) {
        const void* cr = std::memchr(FBuf + FPos, '\r', FLen - FPos);
        FNextCr = cr ? static_cast<size_t>(static_cast<const char*>(cr) - FBuf) : FLen;
    }
    // Lines up to the CR, each ended by its LF; the empty ones between them
    // are passed over, the ones after the last line cut are left to be read.
    const char* const limit = FBuf + FNextCr;
    const char* p = FBuf + FPos;   // the start of the next line
    size_t n = 0;
    const auto take = [&](const char* lf) {
        const std::string_view line(p, TrimmedSize(std::string_view(p, static_cast<size_t>(lf - p))));
        p = lf + 1;
        if (line.empty()) return;
        FBatch[n++] = line;
        FPos = static_cast<size_t>(p - FBuf);
    };
#if defined(__SSE2__)
    // The LFs of 64 bytes at a time as the bits of a mask: a line costs a
    // few instructions instead of a search call, and the loop's branches
    // follow the chunks, not each line's length.
    const __m128i lfs = _mm_set1_epi8('\n');
    const auto lfMask = [&](const char* at) {
        return static_cast<uint64_t>(static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), lfs))));
    };
    for (const char* chunk = p; n < kBatch && limit - chunk >= 64; chunk += 64) {
        uint64_t mask = lfMask(chunk) | lfMask(chunk + 16) << 16 | lfMask(chunk + 32) << 32 | lfMask(chunk + 48) << 48;
        for (; mask != 0 && n < kBatch; mask &= mask - 1) take(chunk + __builtin_ctzll(mask));
    }
#endif
    while (n < kBatch && p < limit) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(limit - p)));
        if (!lf) break;
        take(lf);
    }
    if (n == 0) return false;
    FReady = FBatch;
    FReadyEnd = FBatch + n;
    FEndsInsideLine = false;
    return true;
}

std::string_view TTextFileSource::ReadPastReady() {
    TakeBackReady();
    // The common lines: they end with an LF inside the block, hold no CR and
    // have text; cut in a batch without the steps below (which read them the
    // same).
    if (CutReadyLines()) return *FReady++;
    if (Eof()) return {};
    std::string_view line;
    do {
        const bool ended = ReadRawLine(line);
        line = line.substr(0, TrimmedSize(line));
        FEndsInsideLine = !ended && !line.empty();
    } while (line.empty() && !Eof());
    ++FHanded;
    return line;
}

// ---------------------------------------------------------------- TStringsSource

TStringsSource::TStringsSource(const TStringList& lines) : FLines(lines), FDate(Now()) {}

std::string_view TStringsSource::ReadPastReady() {
    if (Eof()) throw Exception(SReadAfterEof);
    std::string_view line;
    do {
        line = FLines[FNext];
        ++FNext;
        line = line.substr(0, TrimmedSize(line));
    } while (line.empty() && !Eof());
    return line;
}

}  // namespace dv
