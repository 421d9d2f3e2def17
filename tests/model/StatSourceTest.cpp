// The two line sources: line ends, skipped empty lines, the end of the
// source, errors and dates.
#include "tests/model/StatTestSupport.h"
#include "model/StatSource.h"
#include "model/StrData.h"

using namespace dv;
using namespace dv::test;

namespace {

std::vector<std::string> ReadAll(IStatSource& s) {
    std::vector<std::string> lines;
    std::string line;
    while (!s.Eof()) {
        s.ReadStatLine(line);
        lines.push_back(line);
    }
    return lines;
}

class Sources : public StatFixture {};

TEST_F(Sources, FileLineEndsAndEmptyLines) {
    struct Case {
        const char* What;
        std::string Content;
        std::vector<std::string> Lines;
    } cases[] = {
        {"LF", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR", "a\rb\r", {"a", "b"}},
        {"mixed, trailing blanks", "a \t\r\n\r\n  \n\tb x  \rc", {"a", "\tb x", "c"}},
        {"no final line end", "a\nb", {"a", "b"}},
        // The last line comes back even when it is empty.
        {"empty last line", "a\n\n", {"a", ""}},
        {"only empty lines", "\n \r\n\t\n", {""}},
        {"empty file", "", {}},
        {"NUL bytes kept inside", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string path = TempPath("lines.txt");
        WriteFile(path, c.Content);
        TTextFileSource source(path);
        EXPECT_EQ(ReadAll(source), c.Lines);
        // At the end, reading gives an empty line.
        std::string line = "x";
        source.ReadStatLine(line);
        EXPECT_EQ(line, "");
        EXPECT_TRUE(source.Eof());
    }
}

TEST_F(Sources, FileLinesAcrossReadBlocks) {
    // A CR LF split over the reader's 256 KB blocks is one line end; a line
    // of several blocks comes back whole.
    // Lines are views into the blocks: the last kKeptLines lines handed out
    // stay whole while the blocks after them are read (short lines over a
    // block's end, lines longer than a block one after another).
    const std::string first(262143, 'a'), longLine(700000, 'b');
    std::vector<std::string> expected{first, longLine, "c"};
    for (int i = 0; i < 30000; ++i) expected.push_back("line " + std::to_string(i));
    for (size_t n : {300000, 5, 600000, 7, 1200000}) expected.emplace_back(n, 'd');
    std::string text = first + "\r\n" + longLine + "\r\n\r\n";
    for (size_t i = 2; i < expected.size(); ++i) text += expected[i] + "\n";
    const std::string path = TempPath("blocks.txt");
    WriteFile(path, text);
    TTextFileSource source(path);
    std::vector<std::string_view> views;
    while (!source.Eof()) {
        views.push_back(source.ReadStatView());
        const size_t n = views.size(), kept = std::min<size_t>(n, IStatSource::kKeptLines);
        for (size_t i = n - kept; i < n; ++i)
            if (i >= expected.size() || views[i] != expected[i]) FAIL() << "line " << i << " read " << n;
    }
    EXPECT_EQ(views.size(), expected.size());
}

TEST_F(Sources, FileErrorsAndDate) {
    try {
        TTextFileSource missing(TempPath("missing.txt"));
        ADD_FAILURE() << "opened a missing file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "File not found");
    }
    try {
        TTextFileSource folder(TempPath(""));
        ADD_FAILURE() << "opened a folder";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "File access denied");
    }
    const std::string path = TempPath("dated.txt");
    WriteFile(path, "x\n");
    SetFileTime(path, 2013, 5, 27, 23, 40, 53);
    TTextFileSource source(path);
    EXPECT_DOUBLE_EQ(source.GetSourceDate(), EncodeDate(2013, 5, 27) + EncodeTime(23, 40, 53, 0));
}

TEST_F(Sources, ListCopyLineEndsAndEnd) {
    const TStringList lines = {"a\n", "b\r", "c\r\n", "", " \n", "d ", "\t", ""};
    const TStringList copy = lines;
    const TDateTime before = Now();
    TStringsSource source(lines);
    const TDateTime after = Now();
    EXPECT_GE(source.GetSourceDate(), before);
    EXPECT_LE(source.GetSourceDate(), after);
    // The last lines are empty: the last read returns an empty line.
    EXPECT_EQ(ReadAll(source), (std::vector<std::string>{"a", "b", "c", "d", ""}));
    EXPECT_EQ(lines, copy);
    std::string line = "kept";
    try {
        source.ReadStatLine(line);
        ADD_FAILURE() << "read after the end";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), SReadAfterEof);
    }
    EXPECT_EQ(line, "kept");
    TStringsSource empty(TStringList{});
    EXPECT_TRUE(empty.Eof());
}

TEST_F(Sources, ParsingLeavesTheCallersListAndNoSourceBehind) {
    TStringList lines = {"\tNext transaction\t5 \r\n", "\t*END*"};
    const TStringList copy = lines;
    EXPECT_TRUE(ParseStatLines(lines));
    EXPECT_EQ(lines, copy);
    EXPECT_EQ(DBInfo->NxT, 5);
    EXPECT_EQ(StatSource, nullptr);
}

}  // namespace
