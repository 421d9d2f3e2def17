#include "platform/system/FileVersion.h"

#include <array>
#include <cstring>
#include <fstream>
#include <vector>

// The build passes the project version; a missing part counts as 0 (an empty
// definition gives "( + 0)", a missing one the #ifndef below).
#ifndef DRAVOLT_VERSION_MAJOR
#define DRAVOLT_VERSION_MAJOR 0
#endif
#ifndef DRAVOLT_VERSION_MINOR
#define DRAVOLT_VERSION_MINOR 0
#endif
#ifndef DRAVOLT_VERSION_PATCH
#define DRAVOLT_VERSION_PATCH 0
#endif
#ifndef DRAVOLT_VERSION_TWEAK
#define DRAVOLT_VERSION_TWEAK 0
#endif

namespace dv {

namespace {

// Layout of the record, all little-endian:
//   0..15  marker
//   16..23 major, minor, release, build (16 bits each)
//   24..27 FNV-1a hash of bytes 0..23
//   28..31 zero
constexpr size_t kRecordSize = 32;
constexpr size_t kMarkerSize = 16;
constexpr size_t kHashedSize = 24;
using TRecordBytes = std::array<unsigned char, kRecordSize>;

constexpr uint32_t Fnv1a(const unsigned char* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t k = 0; k < n; ++k) {
        h ^= p[k];
        h *= 16777619u;
    }
    return h;
}

constexpr void Put16(TRecordBytes& r, size_t at, unsigned v) {
    r[at] = static_cast<unsigned char>(v & 0xFF);
    r[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

constexpr TRecordBytes MakeRecord() {
    TRecordBytes r{};
    const char marker[kMarkerSize + 1] = "DRAVOLT.VERSION\x01";
    for (size_t k = 0; k < kMarkerSize; ++k) r[k] = static_cast<unsigned char>(marker[k]);
    Put16(r, 16, (DRAVOLT_VERSION_MAJOR + 0));
    Put16(r, 18, (DRAVOLT_VERSION_MINOR + 0));
    Put16(r, 20, (DRAVOLT_VERSION_PATCH + 0));
    Put16(r, 22, (DRAVOLT_VERSION_TWEAK + 0));
    const uint32_t h = Fnv1a(r.data(), kHashedSize);
    for (size_t k = 0; k < 4; ++k) r[24 + k] = static_cast<unsigned char>((h >> (8 * k)) & 0xFF);
    return r;
}

// The record itself, in a section of its own, kept even when nothing in the
// program reads it directly. It is the only place where the marker stands in
// one piece: the reader takes its marker from here, so no second copy of the
// marker exists in the binary for a scan to trip over.
[[gnu::used, gnu::section(".dravolt_version")]] const TRecordBytes kVersionRecord = MakeRecord();

unsigned Get16(const unsigned char* p) { return p[0] | (static_cast<unsigned>(p[1]) << 8); }

bool ValidRecord(const unsigned char* p, TFileVersion& v) {
    uint32_t stored = 0;
    for (size_t k = 0; k < 4; ++k) stored |= static_cast<uint32_t>(p[24 + k]) << (8 * k);
    if (stored != Fnv1a(p, kHashedSize)) return false;
    if (p[28] || p[29] || p[30] || p[31]) return false;
    v.Major = static_cast<uint16_t>(Get16(p + 16));
    v.Minor = static_cast<uint16_t>(Get16(p + 18));
    v.Release = static_cast<uint16_t>(Get16(p + 20));
    v.Build = static_cast<uint16_t>(Get16(p + 22));
    return true;
}

}  // namespace

TFileVersion ProgramVersion() {
    TFileVersion v;
    ValidRecord(kVersionRecord.data(), v);
    return v;
}

bool ReadFileVersionRecord(const std::string& path, TFileVersion& v) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const unsigned char* marker = kVersionRecord.data();
    constexpr size_t kChunk = 1 << 20;
    // Each read keeps the last kRecordSize - 1 bytes of the one before, so a
    // record split across two reads is still seen whole.
    std::vector<unsigned char> buf(kChunk + kRecordSize);
    size_t kept = 0;
    while (in) {
        in.read(reinterpret_cast<char*>(buf.data() + kept), static_cast<std::streamsize>(kChunk));
        const size_t have = kept + static_cast<size_t>(in.gcount());
        if (have < kRecordSize) break;
        const unsigned char* begin = buf.data();
        const unsigned char* last = begin + have - kRecordSize;  // last possible record start
        for (const unsigned char* p = begin; p <= last;) {
            const void* hit = std::memchr(p, marker[0], static_cast<size_t>(last - p) + 1);
            if (!hit) break;
            p = static_cast<const unsigned char*>(hit);
            if (std::memcmp(p, marker, kMarkerSize) == 0) {
                TFileVersion found;
                if (ValidRecord(p, found)) {
                    v = found;
                    return true;
                }
            }
            ++p;
        }
        kept = kRecordSize - 1;
        std::memmove(buf.data(), buf.data() + have - kept, kept);
    }
    return false;
}

}  // namespace dv
