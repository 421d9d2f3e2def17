// Line sources of the statistics reader: a text file, or a copy of lines that
// a server's statistics service produced. The parser reads one source through
// IStatSource and does not know where its lines come from.
//
// Both sources hand out lines without their line ends and without trailing
// blanks or control characters, so that CR LF files and the blank-ended lines
// of the Services API read exactly like plain lines; lines that are empty
// after that are skipped.
//
// A line is handed out as a view into the source's own text, not copied: it
// stays valid while the source lives and fewer than kKeptLines lines have
// been read after it (the reader holds a line and two of look-ahead).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streaming/Classes.h"
#include "platform/text/DateUtils.h"

namespace dv {

class IStatSource {
public:
    virtual ~IStatSource() = default;
    // True when no line is left.
    bool Eof() { return FReady == FReadyEnd && EofPastReady(); }
    static constexpr uint64_t kKeptLines = 4;
    // The next non-empty line (see each source for what happens at the end).
    std::string_view ReadStatView() { return FReady != FReadyEnd ? *FReady++ : ReadPastReady(); }
    // The same line copied into `line`; `line` is left as it was when the
    // read raises.
    void ReadStatLine(std::string& line) { line.assign(ReadStatView()); }
    // The date of the statistics: a file's modification time, or the moment a
    // list of lines was taken over.
    virtual TDateTime GetSourceDate() = 0;
    // True once the last line has been read when it had no line end: the
    // text stopped in the middle of that line (a file cut or still being
    // written). Lists of lines are always whole.
    virtual bool EndsInsideLine() { return false; }

protected:
    // Lines a source has already cut, trimmed and found non-empty, handed out
    // in turn without a call into the source; the two calls below read on
    // once they are gone.
    const std::string_view* FReady = nullptr;
    const std::string_view* FReadyEnd = nullptr;
    virtual bool EofPastReady() = 0;
    virtual std::string_view ReadPastReady() = 0;
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

    // Reading reads lines until one is non-empty or the file ends; the
    // file's last line is returned even when empty. At the end already: an
    // empty string.
    TDateTime GetSourceDate() override { return FDate; }
    bool EndsInsideLine() override { return FEndsInsideLine && Eof(); }

private:
    bool EofPastReady() override;
    std::string_view ReadPastReady() override;
    // Counts the ready lines handed out as handed and drops the rest (none
    // are left when the source reads on).
    void TakeBackReady();
    // Cuts the lines that end with an LF in the current block before its next
    // CR, up to a batch, and makes them ready; false when none is.
    bool CutReadyLines();
    // A read buffer. Lines are handed out from the current one; the one
    // before keeps the last lines handed out until enough lines followed.
    struct Block {
        std::unique_ptr<char[]> Data;
        size_t Size = 0;
        uint64_t LeftAt = 0;  // the count of lines handed out when it stopped being current
    };
    // Reads on into a block that holds no line in use, carrying the bytes
    // from `keep` on (the start of a line not yet ended) to its front.
    bool Fill(size_t keep);
    Block& FreeBlock(size_t carry);
    void CheckEncoding();
    void SkipLfAfterCr();
    bool ReadRawLine(std::string_view& line);  // false: the file ended inside the line

    int FFd = -1;
    std::vector<Block> FBlocks;
    size_t FCur = 0;  // FBlocks[FCur] is current when FBuf is set
    char* FBuf = nullptr;
    size_t FPos = 0;
    size_t FLen = 0;
    uint64_t FHanded = 0;  // lines handed out, the ready ones counted when they are gone
    static constexpr size_t kBatch = 128;
    std::string_view FBatch[kBatch];
    // The first CR at or after the last search in this block (FLen: none); a
    // new block, or one passed, is searched again.
    static constexpr size_t kNoCrSearch = SIZE_MAX;
    size_t FNextCr = kNoCrSearch;
    bool FAtEnd = false;
    bool FAfterCr = false;   // the last line ended with CR; a following LF belongs to it
    bool FEndsInsideLine = false;   // the last line read ended at the end of the file
    TDateTime FDate = 0;
};

// Its own copy of a list of lines (the caller's list is never changed); its
// views stay valid while it lives.
class TStringsSource : public IStatSource {
public:
    explicit TStringsSource(const TStringList& lines);

    // Reading takes lines from the front until one is non-empty or the list
    // is empty. With no line left it raises Exception "Trying to read after
    // eof!".
    TDateTime GetSourceDate() override { return FDate; }

private:
    bool EofPastReady() override { return FNext >= FLines.size(); }
    std::string_view ReadPastReady() override;
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
