// Whole-file reads and writes: the one writer behind every file the program
// writes (saved statistics, reports, the settings and registry files), and
// the reads of the settings files and of a save file's text.
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

// The one way the program writes a file, for a user's document and for its
// own settings alike. The text goes to a fresh temporary file beside the
// target, is flushed to disk and renamed over it, so that readers (and the
// next run after a crash or a full disk) see the old file whole or the new
// one whole; a failed write leaves no temporary file behind. A symbolic link
// is written through: the file it names is replaced and the link stays. A
// replaced file keeps its mode (and, where allowed, its owner); a new one
// gets the usual mode for the user's umask. An existing target that is a
// terminal, pipe or other device cannot be replaced and is written directly.
// Interrupted calls are retried, and the termination signals wait until the
// file is complete. Creates no folders.
struct TFileWriteResult {
    int Error = 0;          // 0, or the errno of the step that failed (EISDIR for a folder)
    bool Created = false;   // the new file was made; a later step failed
    explicit operator bool() const { return Error == 0; }
    // "Cannot create file "<path>". <reason>" when no new file could be made,
    // else "Cannot write file "<path>". <reason>".
    std::string Message(const std::string& path) const;
};
TFileWriteResult ReplaceFileContent(const std::string& path, std::string_view content);

// ReplaceFileContent that raises EFCreateError with the result's message.
void SaveFileContent(const std::string& path, std::string_view content);

// Creates the folder and every missing parent (mode 0700); folders that exist
// are left as they are. Failures show later, when a file in it is written.
void MakeDirs(const std::string& dir);

}  // namespace dv
