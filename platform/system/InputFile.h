// Opening a file the program reads its input from, and telling whether two
// names lead to one file.
#pragma once

#include <sys/types.h>

#include <string>

namespace dv {

// A statistics file opened for reading. A regular file is read where it is.
// A pipe or FIFO (also a process substitution such as /dev/fd/63) can be
// read only once, so it is first read whole into an anonymous file in
// memory that every later read then shares. A folder, a device or other
// special file is refused before it is opened: reading one would hang or
// never end. Raises EFOpenError ("Cannot open file ...") or EReadError
// ("Cannot read file ...") naming the file and the reason.
class TInputFile {
public:
    explicit TInputFile(const std::string& fileName);
    ~TInputFile();
    TInputFile(const TInputFile&) = delete;
    TInputFile& operator=(const TInputFile&) = delete;

    int Fd() const { return FFd; }
    // A name that opens the same bytes again: the file itself, or the copy.
    const std::string& ReadPath() const { return FPath; }
    // Up to `size` bytes at `offset` (fewer at the end of the file); raises
    // EReadError naming the file when the read fails.
    size_t ReadAt(char* buf, size_t size, off_t offset) const;

private:
    [[noreturn]] void Fail(const std::string& reason) const;
    void CopyPipe();

    std::string FName;
    std::string FPath;
    int FFd = -1;
};

// Both names lead to one file (also through another path or a hard link);
// false when either cannot be looked at.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace dv
