// Line sources of the statistics reader: a text file, or a copy of lines that
// a server's statistics service produced. The parser reads one source through
// IStatSource and does not know where its lines come from.
//
// Both sources hand out lines without their line ends and without trailing
// blanks or control characters, so that CR LF files and the blank-ended lines
// of the Services API read exactly like plain lines; lines that are empty
// after that are skipped.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/streaming/Classes.h"
#include "platform/text/DateUtils.h"

namespace dv {

class IStatSource {
public:
    virtual ~IStatSource() = default;
    // True when no line is left.
    virtual bool Eof() = 0;
    // Replaces `line` with the next non-empty line (see each source for what
    // happens at the end).
    virtual void ReadStatLine(std::string& line) = 0;
    // The date of the statistics: a file's modification time, or the moment a
    // list of lines was taken over.
    virtual TDateTime GetSourceDate() = 0;
    // True once the last line has been read when it had no line end: the
    // text stopped in the middle of that line (a file cut or still being
    // written). Lists of lines are always whole.
    virtual bool EndsInsideLine() { return false; }
};

// A text file read in blocks (any size, any line length). Line ends are LF,
// CR LF or a lone CR. Opening raises EFOpenError ("File not found", "File
// access denied", ...); a read error raises EInOutError.
//
// UTF-8 with or without a byte order mark is read as it is; UTF-16 (little-
// or big-endian) with its byte order mark is read as the same text in UTF-8.
// A text in an encoding it cannot read (UTF-32, UTF-16 without a mark) is
// refused when the source is made, with EReadError saying so.
class TTextFileSource : public IStatSource {
public:
    explicit TTextFileSource(const std::string& fileName);
    ~TTextFileSource() override;
    TTextFileSource(const TTextFileSource&) = delete;
    TTextFileSource& operator=(const TTextFileSource&) = delete;

    bool Eof() override;
    // Reads lines until one is non-empty or the file ends; the file's last
    // line is returned even when empty. At the end already: an empty string.
    void ReadStatLine(std::string& line) override;
    TDateTime GetSourceDate() override { return FDate; }
    bool EndsInsideLine() override { return FEndsInsideLine && Eof(); }

private:
    bool Fill();
    void CheckEncoding();
    void SkipLfAfterCr();
    bool ReadRawLine(std::string& line);   // false: the file ended inside the line

    int FFd = -1;
    std::unique_ptr<char[]> FBuf;
    size_t FPos = 0;
    size_t FLen = 0;
    bool FAtEnd = false;
    bool FAfterCr = false;   // the last line ended with CR; a following LF belongs to it
    bool FEndsInsideLine = false;   // the last line read ended at the end of the file
    TDateTime FDate = 0;
};

// Its own copy of a list of lines (the caller's list is never changed).
class TStringsSource : public IStatSource {
public:
    explicit TStringsSource(const TStringList& lines);

    bool Eof() override { return FNext >= FLines.size(); }
    // Takes lines from the front until one is non-empty or the list is empty.
    // With no line left it raises Exception "Trying to read after eof!" and
    // leaves `line` as it was.
    void ReadStatLine(std::string& line) override;
    TDateTime GetSourceDate() override { return FDate; }

private:
    TStringList FLines;
    size_t FNext = 0;
    TDateTime FDate = 0;
};

// The source of the parse that is running; empty otherwise. Releasing it
// closes a file source.
extern std::shared_ptr<IStatSource> StatSource;

// Removes trailing characters up to and including the blank (line ends,
// blanks, tabs, other control characters).
void TrimLineEnd(std::string& line);

}  // namespace dv
