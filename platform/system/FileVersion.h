// A version record of our own, written by the build into every executable
// that links this file (in place of a platform version resource), and a
// reader that finds such a record in any file.
#pragma once

#include <cstdint>
#include <string>

namespace dv {

struct TFileVersion {
    uint16_t Major = 0;
    uint16_t Minor = 0;
    uint16_t Release = 0;
    uint16_t Build = 0;
};

// The version this program was built with (the project version).
TFileVersion ProgramVersion();

// Scans the file for a valid version record; false when it has none or
// cannot be read (v is then left untouched).
bool ReadFileVersionRecord(const std::string& path, TFileVersion& v);

}  // namespace dv
