// Whole-file reads and writes: the settings files the program owns (the INI
// file and the registry file), where nothing throws and each call answers
// whether it worked, so a settings file in an odd place costs only the
// settings; and the text of a save file.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>

namespace dv {

// The bytes of an open file from `offset` to its end: one buffer sized from
// the file's length (in huge pages when large), grown if the file grows
// meanwhile. Raises EInOutError with the system's reason when a read fails.
class TFileText {
public:
    TFileText(int fd, off_t offset);
    std::string_view View() const { return {FData.get(), FSize}; }

private:
    std::unique_ptr<char[]> FData;
    size_t FSize = 0;
};

// Asks for huge pages under a buffer of tens of megabytes: the first write
// to each page of a fresh buffer costs a page fault, which on some virtual
// machines costs as much as filling the page. Only a hint.
void AdviseLargeBuffer(char* data, size_t size);

// The whole content of a regular file into `out`; false when it cannot be
// read (missing, a folder or other non-regular file, no permission, a read
// error). `out` is replaced, not appended to.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes `content` to `path` through a temporary file in the same folder and
// a rename, so that a failed write never leaves half a file; false on any
// failure. Creates no folders.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// Replaces the content of `path` as a user-facing document is replaced: the
// text goes to a temporary file beside the target, is flushed to disk and then
// renamed over it, so that readers see the old file or the whole new one and
// a failure (a full disk, a folder that does not exist or cannot be written)
// leaves an existing file as it was and no temporary file behind. A symbolic
// link is followed and its target replaced; a replaced file keeps its mode, a
// new one gets the usual mode for the user's umask. An existing target that
// is a terminal, pipe or other device cannot be replaced and is written
// directly. Answers 0, or the errno of the step that failed (EISDIR for a
// folder).
int ReplaceFileContent(const std::string& path, const std::string& content);

// Creates the folder and every missing parent (mode 0700); folders that exist
// are left as they are. Failures show later, when a file in it is written.
void MakeDirs(const std::string& dir);

}  // namespace dv
