// Whole-file reads and writes for the settings files the program owns (the
// INI file and the registry file). Nothing here throws: each answers whether
// it worked, so a settings file in an odd place costs only the settings.
#pragma once

#include <string>

namespace dv {

// The whole content of a regular file into `out`; false when it cannot be
// read (missing, a folder or other non-regular file, no permission, a read
// error). `out` is replaced, not appended to.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes `content` to `path` through a temporary file in the same folder and
// a rename, so that a failed write never leaves half a file; false on any
// failure. Creates no folders.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// Creates the folder and every missing parent (mode 0700); folders that exist
// are left as they are. Failures show later, when a file in it is written.
void MakeDirs(const std::string& dir);

}  // namespace dv
