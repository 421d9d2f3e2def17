// Word wrapping of hint and report texts: break characters kept at the line
// end, quotes never broken, existing breaks kept (with a second break before
// an indented line), long words whole, UTF-8 characters whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/utils.h"

namespace dv::test {
namespace {

const std::string kForcedWrites =
    "Forced Write is OFF. It is a dangerous setting, especially for Windows users. Be careful, "
    "use UPS to protect your server. This setting (FW OFF) increases the possibility of database "
    "corruption. If your server hardware or operating system will hang, or power supply will "
    "fail, database can be corrupted. We recommend to set Forced Write ON (gfix -write sync).";

const std::string kWorkload =
    "Your database is running %d days, and average workload is ~%d transactions per day.";

const std::string kExplanationB =
    "During normal database work tables and indices are always in consistent state - index key "
    "count is always in the range of records+versions count. Situation when key count less than "
    "record count can happen in three cases: \r\n"
    " 1. When index is broken (database corruption) - some keys disappiared \r\n"
    " 2. When records was inserted into table during index creation \r\n"
    " 3. Some resync of statistics info and real records and keys \r\n"
    "In cases 1 and 2 records without corresponding keys will not be found by queries, that uses "
    "these indices in PLAN. This problem can be fixed by recreating inconsistent indices.(This bug "
    "is fixed in Firebird 2.0)\r\n"
    "Use gfix to check those indices are corrupted or not.";

const std::string kDeepIndices =
    "You need to increase database page size because you have %d indices with depth > 3 (see "
    "\"Deep indices list\" below). This will increase performance for index search and "
    "updates/deletes. ";

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t crlf = s.find("\r\n", start);
        lines.push_back(s.substr(start, crlf == std::string::npos ? std::string::npos : crlf - start));
        if (crlf == std::string::npos) return lines;
        start = crlf + 2;
    }
}

std::string WithoutLineBreaks(std::string s) {
    for (size_t p; (p = s.find("\r\n")) != std::string::npos;) s.erase(p, 2);
    return s;
}

bool IsBreak(char c) { return c == ' ' || c == '-' || c == '\t'; }

TEST(UtilsWrapTest, ForcedWritesTextAt70) {
    const std::vector<std::string> expected = {
        "Forced Write is OFF. It is a dangerous setting, especially for ",
        "Windows users. Be careful, use UPS to protect your server. This ",
        "setting (FW OFF) increases the possibility of database corruption. If ",
        "your server hardware or operating system will hang, or power supply ",
        "will fail, database can be corrupted. We recommend to set Forced ",
        "Write ON (gfix -write sync).",
    };
    EXPECT_EQ(Lines(WrapAtColumn(kForcedWrites, 70)), expected);
}

TEST(UtilsWrapTest, WorkloadLineBreaksAfterTheAverage) {
    const auto lines = Lines(WrapAtColumn(kWorkload, 70));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Your database is running %d days, and average workload is ~%d ");
    EXPECT_EQ(lines[1], "transactions per day.");
}

TEST(UtilsWrapTest, ExplanationBGetsAnEmptyLineBeforeEachIndentedCase) {
    const std::string wrapped = WrapAtColumn(kExplanationB, 70);
    const std::vector<std::string> expected = {
        "During normal database work tables and indices are always in ",
        "consistent state - index key count is always in the range of ",
        "records+versions count. Situation when key count less than record ",
        "count can happen in three cases: ",
        "",
        " 1. When index is broken (database corruption) - some keys ",
        "disappiared ",
        "",
        " 2. When records was inserted into table during index creation ",
        "",
        " 3. Some resync of statistics info and real records and keys ",
        "In cases 1 and 2 records without corresponding keys will not be found ",
        "by queries, that uses these indices in PLAN. This problem can be ",
        "fixed by recreating inconsistent indices.(This bug is fixed in ",
        "Firebird 2.0)",
        "Use gfix to check those indices are corrupted or not.",
    };
    EXPECT_EQ(Lines(wrapped), expected);
}

TEST(UtilsWrapTest, QuotedNameStaysOnOneLineAtEveryWidth) {
    for (int width = 1; width <= 140; ++width) {
        const std::string wrapped = WrapAtColumn(kDeepIndices, width);
        EXPECT_NE(wrapped.find("\"Deep indices list\""), std::string::npos) << "width " << width;
        EXPECT_EQ(WithoutLineBreaks(wrapped), kDeepIndices) << "width " << width;
    }
}

TEST(UtilsWrapTest, ClosingQuotePastTheWidthStillBreaksTheLine) {
    // At width 95 the closing quote of "Deep indices list" is the character
    // that passes the width; the line before the quote must still end there
    // rather than run on with the quoted text and the words after it.
    const auto lines = Lines(WrapAtColumn(kDeepIndices, 95));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "You need to increase database page size because you have %d indices with depth > 3 (see ");
    EXPECT_EQ(lines[1], "\"Deep indices list\" below). This will increase performance for index search and ");
    EXPECT_EQ(lines[2], "updates/deletes. ");
    EXPECT_EQ(WrapAtColumn("ab \"c d e f\" gh", 5), "ab \r\n\"c d e f\" \r\ngh");
    // The blank after the closing quote is not passed over, so the break
    // before the quote stays even when nothing but blanks follows.
    EXPECT_EQ(WrapAtColumn("say \"hello\" ", 8), "say \r\n\"hello\" ");
    EXPECT_EQ(WrapAtColumn("say \"hello\"", 8), "say \r\n\"hello\"");
}

TEST(UtilsWrapTest, SmallCases) {
    struct Case { std::string text; int width; std::string expected; };
    const std::vector<Case> cases = {
        {"", 10, ""},
        {"short", 10, "short"},
        {"aaaa bbbb", 5, "aaaa \r\nbbbb"},                          // blank kept at the end
        {"aaaa bbbb", 9, "aaaa bbbb"},
        {"aaaa bbbb", 4, "aaaa \r\nbbbb"},                          // piece runs on to its break
        {"a verylongword b", 5, "a \r\nverylongword \r\nb"},        // long word whole
        {"verylongword", 5, "verylongword"},
        {"well-known fact", 6, "well-\r\nknown \r\nfact"},          // hyphen is a break
        {"keys: -36000", 7, "keys: \r\n-36000"},                    // a minus sign stays with its digits
        {"range 1-2 ok", 7, "range \r\n1-2 ok"},
        {"(gfix -housekeeping 0)", 8, "(gfix \r\n-housekeeping \r\n0)"},  // a dash that begins a word stays
        {"a-b-c d", 2, "a-\r\nb-\r\nc \r\nd"},                      // inside a word it is a hyphen
        {"tab\tseparated", 4, "tab\t\r\nseparated"},
        {" leading", 3, " leading"},                                // a break at the piece's start does not count
        {"it's a long text", 5, "it's a long text"},               // an apostrophe opens a quote
        {"\"it's\" a b c", 3, "\"it's\" \r\na \r\nb c"},            // ' inside "..." is text
        {"ab\r\ncd", 70, "ab\r\ncd"},
        {"ab\r\n cd", 70, "ab\r\n\r\n cd"},                         // second break before a blank
        {"ab\r\n\tcd", 70, "ab\r\n\r\n\tcd"},
        {"ab\r\n\r\ncd", 70, "ab\r\n\r\ncd"},
        {"ab \r\ncd", 70, "ab \r\ncd"},
        {"ab\r\n", 70, "ab\r\n"},
        {"ab\r\n ", 70, "ab\r\n "},                                 // nothing after the blank
        {"ab\rcd ef", 4, "ab\rcd \r\nef"},                          // a lone CR is text
        {"\"a\r\n b\"", 70, "\"a\r\n b\""},                         // quoted CR LF is text
        {"one two", 0, "one \r\ntwo"},
        {"one two", -5, "one \r\ntwo"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WrapAtColumn(c.text, c.width), c.expected) << "'" << c.text << "' at " << c.width;
}

TEST(UtilsWrapTest, Utf8CharactersAreWholeAndCountTheirBytes) {
    struct Case { std::string text; int width; std::string expected; };
    const std::vector<Case> cases = {
        // 7 characters but 9 bytes: the width counts bytes.
        {"aaa \xC3\xA9\xC3\xA9 b", 7, "aaa \r\n\xC3\xA9\xC3\xA9 b"},
        {"aaa \xC3\xA9\xC3\xA9 b", 9, "aaa \xC3\xA9\xC3\xA9 \r\nb"},
        {"x \xE2\x82\xAC\xE2\x82\xAC y", 5, "x \r\n\xE2\x82\xAC\xE2\x82\xAC \r\ny"},
        {"x \xF0\x9F\x98\x80 y", 4, "x \r\n\xF0\x9F\x98\x80 \r\ny"},
        // A lead byte without its continuation does not swallow the blank.
        {"ab\xC3 cd", 3, "ab\xC3 \r\ncd"},
        {"\xE2\x82", 1, "\xE2\x82"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WrapAtColumn(c.text, c.width), c.expected) << "'" << c.text << "' at " << c.width;
}

// Over many widths: wrapping only inserts CR LF pairs, and a line longer
// than the width holds no break character it could have been broken at.
TEST(UtilsWrapTest, InsertsOnlyLineBreaksAndKeepsWithinTheWidth) {
    std::string generated;
    uint32_t seed = 12345;
    const char* words[] = {"a", "bb", "data", "page-size", "x\ty", "records", "\r\n", "\r\n ", "averylongwordindeed"};
    for (int k = 0; k < 400; ++k) {
        seed = seed * 1103515245u + 12345u;
        generated += words[(seed >> 16) % 9];
        generated += ((seed >> 8) % 5 == 0) ? "  " : " ";
    }
    for (const std::string* text : std::vector<const std::string*>{&kForcedWrites, &kWorkload, &kExplanationB, &generated}) {
        for (int width = 1; width <= 100; ++width) {
            const std::string wrapped = WrapAtColumn(*text, width);
            ASSERT_EQ(WithoutLineBreaks(wrapped), WithoutLineBreaks(*text)) << "width " << width;
            for (const std::string& line : Lines(wrapped)) {
                size_t core = line.size();
                while (core > 0 && IsBreak(line[core - 1])) --core;
                if (core <= static_cast<size_t>(width)) continue;
                for (size_t p = 1; p < static_cast<size_t>(width); ++p)
                    ASSERT_FALSE(IsBreak(line[p])) << "width " << width << ": '" << line << "'";
            }
        }
    }
}

// The routine as it was before passing over runs of break characters was
// made linear: every output must stay the same.
bool RefIsBreak(char c) { return c == ' ' || c == '-' || c == '\t'; }
bool RefIsQuote(char c) { return c == '"' || c == '\''; }
bool RefIsLineBreakAt(const std::string& s, size_t at) {
    return at + 1 < s.size() && s[at] == '\r' && s[at + 1] == '\n';
}
size_t RefUtf8Width(const std::string& s, size_t at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead >= 0xF8) want = 1;
    size_t w = 1;
    while (w < want && at + w < s.size() && (static_cast<unsigned char>(s[at + w]) & 0xC0) == 0x80)
        ++w;
    return w;
}

std::string ReferenceWrap(const std::string& text, int maxCol) {
    const size_t n = text.size();
    constexpr size_t kNone = std::numeric_limits<size_t>::max();
    std::string result;
    result.reserve(n + n / 8 + 16);

    size_t lineStart = 0;      // first character of the current piece
    size_t breakPos = kNone;   // last break character (or LF of an existing break)
    int64_t col = 1;
    char quote = 0;            // the open quote character, 0 when none
    size_t pos = 0;

    auto breakAfterStart = [&] { return breakPos != kNone && breakPos > lineStart; };

    while (pos < n) {
        const char c = text[pos];
        const bool isLead = static_cast<unsigned char>(c) >= 0xC0;
        bool existingBreak = false;
        size_t width = 1;

        if (isLead) {
            width = RefUtf8Width(text, pos);
        } else {
            if (RefIsQuote(c)) {
                if (!quote) quote = c;
                else if (c == quote) quote = 0;
            }
            if (!quote) {
                if (RefIsLineBreakAt(text, pos)) {
                    existingBreak = true;
                    ++pos;  // onto the LF
                    breakPos = pos;
                } else if (RefIsBreak(c) && !(c == '-' && (pos + 1 < n && text[pos + 1] >= '0' && text[pos + 1] <= '9')) &&
                           !(c == '-' && (pos == 0 || RefIsBreak(text[pos - 1]) || text[pos - 1] == '\n' || text[pos - 1] == '\r'))) {
                    breakPos = pos;
                }
            }
        }
        pos += width;
        col += static_cast<int64_t>(width);

        if (!quote && (existingBreak || (col > maxCol && breakAfterStart()))) {
            result.append(text, lineStart, breakPos - lineStart + 1);
            col = 1;
            // Pass over the blanks and line breaks that follow. A new line
            // break is wanted unless the last thing passed over was one. When
            // a closing quote ended the piece nothing is passed over: the
            // quoted text begins the next piece and always needs its break,
            // or it would run on past maxCol.
            size_t skip = pos;
            bool lastWasLineBreak = existingBreak;
            const bool afterQuote = RefIsQuote(c);
            while (!afterQuote && skip < n) {
                if (RefIsBreak(text[skip])) {
                    ++skip;
                    lastWasLineBreak = false;
                } else if (RefIsLineBreakAt(text, skip)) {
                    skip += 2;
                    lastWasLineBreak = true;
                } else {
                    break;
                }
            }
            if ((afterQuote || skip < n) && !lastWasLineBreak) result += "\r\n";
            // The passed-over characters are not dropped: the next piece
            // starts right after the break and is scanned again from there.
            lineStart = breakPos + 1;
            breakPos = lineStart;
            pos = lineStart;
        }
    }
    result.append(text, lineStart, std::string::npos);
    return result;
}

// Random texts of words, break characters, line breaks (whole, lone CR, lone
// LF), quotes and UTF-8 characters, in runs of every length, at every width.
TEST(UtilsWrapTest, SameAsTheQuadraticRoutineOnRandomTexts) {
    const char* pieces[] = {"a", "bb", "word", "averylongwordindeed", " ", "  ", "-", "\t", "\r\n", "\r",
                            "\n", "\"", "'", "\xC3\xA9", "\xE2\x82\xAC", "\xC3"};
    const size_t count = sizeof pieces / sizeof pieces[0];
    uint32_t seed = 2024;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(next() % 60);
        for (int k = 0; k < length; ++k) {
            const char* piece = pieces[next() % count];
            const int repeat = next() % 4 == 0 ? static_cast<int>(next() % 12) + 1 : 1;
            for (int r = 0; r < repeat; ++r) text += piece;
        }
        const int width = static_cast<int>(next() % 24) - 2;
        ASSERT_EQ(WrapAtColumn(text, width), ReferenceWrap(text, width)) << "'" << text << "' at " << width;
    }
    // Long runs, the inputs the old routine took quadratic time on.
    const std::string blanks(3000, ' '), word(3000, 'x');
    std::string lineBreaks;
    for (int k = 0; k < 1500; ++k) lineBreaks += "\r\n";
    for (const std::string& run : {blanks, word, lineBreaks, "ab" + blanks + "cd", "ab" + lineBreaks + " cd"})
        for (int width : {1, 2, 50})
            ASSERT_EQ(WrapAtColumn(run, width), ReferenceWrap(run, width)) << "run of " << run.size() << " at " << width;
}

}  // namespace
}  // namespace dv::test
