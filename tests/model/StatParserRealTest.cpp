// The reader over real statistics text of the local Firebird 3 server: the
// files under tests/data (written by scripts/make-testdata.sh) and, when the
// server runs, fresh output taken at test time.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/model/StatTestSupport.h"
#include "model/problems.h"
#include "tests/support/FirebirdTestServer.h"

using namespace dv;
using namespace dv::test;

namespace {

const char* const kRealFiles[] = {"fb3_full.txt",     "fb3_page4096.txt",         "fb3_index.txt",
                                  "fb3_header.txt",   "fb3_service.txt",          "fb3_oddnames.txt",
                                  "fb3_oddnames_service.txt", "fb3_oddnames_index.txt", "fb3_oddnames_data.txt",
                                  "fb3_counters.txt"};

class RealStats : public StatFixture {};

TStringList Suffixed(TStringList lines, const std::string& end) {
    for (std::string& l : lines) l += end;
    return lines;
}

// The text with the blanks at the line ends taken away (the Services API
// ends every line with one), lines joined by LF.
std::string WithoutTrailingBlanks(const std::string& text) {
    TStringList stripped;
    for (std::string l : SplitLines(text)) {
        while (!l.empty() && l.back() == ' ') l.pop_back();
        stripped.push_back(l);
    }
    return JoinLines(stripped, "\n");
}

// The text with every four-blank indentation given as a tab, as editors and
// mail programs do.
std::string WithTabIndents(const std::string& text) {
    TStringList lines = SplitLines(text);
    for (std::string& l : lines)
        for (size_t at = 0; l.compare(at, 4, "    ") == 0;) l.replace(at++, 4, "\t");
    return JoinLines(lines, "\n");
}

// The text in another encoding through iconv, after a byte order mark.
std::string Iconv(const std::string& text, const std::string& to, const std::string& mark) {
    const std::string in = TempPath("iconv-in.txt"), out = TempPath("iconv-out.txt");
    WriteFile(in, text);
    const TCommandResult r = RunCommand("iconv -f UTF-8 -t " + to + " " + ShellQuote(in) + " > " + ShellQuote(out));
    EXPECT_EQ(r.Status, 0) << r.Output;
    return mark + ReadFile(out);
}

// Every real file, read as a file and as a list of lines, with its own line
// ends and with CR LF: the same model, matching the text, and no message.
TEST_F(RealStats, EveryFileMatchesItsTextThroughEverySource) {
    for (const char* name : kRealFiles) {
        const std::string text = ReadFile(DataPath(name));
        ASSERT_FALSE(text.empty()) << name;
        const TextStats expected = ReadTextStats(text);
        // Tabs for blanks change the names that begin with four blanks too.
        const TextStats tabbed = ReadTextStats(WithTabIndents(text));
        struct Way {
            const char* What;
            std::function<bool()> Parse;
            const TextStats* Expected = nullptr;
        };
        const Way ways[] = {
            {"file", [&] { return ParseStatFile(DataPath(name)); }},
            {"file CR LF", [&] { return ParseAsFile(WithLineEnds(text, "\r\n"), "crlf.txt"); }},
            {"lines", [&] { return ParseText(text); }},
            {"lines CR LF", [&] { return ParseText(WithLineEnds(text, "\r\n")); }},
            {"lines holding their LF", [&] { return ParseStatLines(Suffixed(SplitLines(text), "\n")); }},
            {"lines holding CR", [&] { return ParseStatLines(Suffixed(SplitLines(text), "\r")); }},
            {"blank lines between", [&] { return ParseText(WithLineEnds(text, "\n \n\t\n")); }},
            {"tabs for blanks", [&] { return ParseText(WithTabIndents(text)); }, &tabbed},
            {"file with tabs for blanks", [&] { return ParseAsFile(WithTabIndents(text), "tabs.txt"); }, &tabbed},
            // As Windows tools save it: with a byte order mark, in UTF-16.
            {"UTF-8 with BOM", [&] { return ParseAsFile("\xEF\xBB\xBF" + text, "bom.txt"); }},
            {"UTF-16LE", [&] { return ParseAsFile(Iconv(text, "UTF-16LE", "\xFF\xFE"), "le.txt"); }},
            {"UTF-16LE CR LF", [&] { return ParseAsFile(Iconv(WithLineEnds(text, "\r\n"), "UTF-16LE", "\xFF\xFE"), "le.txt"); }},
            {"UTF-16BE CR LF", [&] { return ParseAsFile(Iconv(WithLineEnds(text, "\r\n"), "UTF-16BE", "\xFE\xFF"), "be.txt"); }},
        };
        for (const Way& way : ways) {
            SCOPED_TRACE(std::string(name) + " as " + way.What);
            Dialogs.Messages.clear();
            EXPECT_TRUE(way.Parse());
            EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
            ExpectModelMatchesText(way.Expected ? *way.Expected : expected);
        }
    }
}

TEST_F(RealStats, FullOutputHoldsEveryKindOfTableAndIndex) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_full.txt")));
    EXPECT_TRUE(DBInfo->IsRecordInfoAvailable);
    EXPECT_FALSE(DBInfo->IsNullSegInfoAvailable);
    EXPECT_EQ(DBInfo->ODSMajor, 12);
    EXPECT_EQ(DBInfo->ODSMinor, 0);
    EXPECT_EQ(DBInfo->FW, 1);
    EXPECT_GT(DBInfo->CDate, 40000);

    // Updates and deletes left back versions behind.
    TRelation* orders = Table("ORDERS");
    ASSERT_NE(orders, nullptr);
    EXPECT_EQ(orders->Records, 4000);
    EXPECT_GT(orders->Versions, 0);
    EXPECT_GT(orders->RealFill, 0);
    // Empty table: no pages, no fill estimate.
    TRelation* empty = Table("EMPTY_TABLE");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Records, 0);
    EXPECT_EQ(empty->DataPages, 0);
    EXPECT_EQ(empty->RealFill, 0);
    // A quoted name holding " (" keeps it whole, also for its index.
    TRelation* odd = Table("Odd (name)");
    ASSERT_NE(odd, nullptr);
    ASSERT_NE(Index("Odd idx (1)"), nullptr);
    EXPECT_EQ(Index("Odd idx (1)")->Relation, odd);
    EXPECT_EQ(Index("Odd idx (1)")->id, 0);
    // Unique, descending, expression and foreign-key indices are listed; the
    // inactive one is not.
    for (const char* idx : {"CUSTOMERS_EMAIL_UNQ", "CUSTOMERS_CREATED_DESC", "CUSTOMERS_UPPER_NAME", "CUSTOMERS_CITY"})
        EXPECT_NE(Index(idx), nullptr) << idx;
    EXPECT_EQ(Index("ORDERS_STATUS"), nullptr);
    EXPECT_EQ(Index("CUSTOMERS_EMAIL_UNQ")->TotalDup, 0);
    EXPECT_GT(Index("CUSTOMERS_CITY")->TotalDup, 1000);

    // Totals after a usable parse.
    EXPECT_GT(DBInfo->RecordSize, 0);
    EXPECT_GT(DBInfo->VersionSize, 0);
    EXPECT_GT(DBInfo->IndexSize, 0);
    EXPECT_EQ(DBInfo->MaxRName, static_cast<int32_t>(std::string("EMPTY_TABLE").size()));
    EXPECT_EQ(DBInfo->MaxIName, static_cast<int32_t>(std::string("CUSTOMERS_CREATED_DESC").size()));
}

// Names that hold another line's keyword, begin with a blank, hold a tab or
// parentheses: every table and index is read with its figures (which the
// test above compares with the text), both from the tool and through the
// Services API.
TEST_F(RealStats, OddNamesAreReadWithTheirTables) {
    const struct {
        const char* Table;
        const char* Index;
    } names[] = {
        {"Index T", "PK (x)"},
        {"A Blob pointer", "Blob pointer"},
        {"C Service ended", "idx with space (1)"},
        {" B", " B idx"},
        {"Tab\tTab", "Tab\tidx"},
        {"My (odd) Table", "Index My (odd) (2)"},
        // Printed at column 0 with their blanks, like an index's first line.
        {"    Index Q", "IDX Q"},
        {"    x", "    x idx"},
        {"  Leading", "  IX_LEAD"},
    };
    for (const char* file : {"fb3_oddnames.txt", "fb3_oddnames_service.txt"}) {
        SCOPED_TRACE(file);
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseStatFile(DataPath(file)));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_EQ(DBInfo->Relations.size(), std::size(names));
        EXPECT_EQ(DBInfo->Indices.size(), std::size(names));
        for (const auto& n : names) {
            SCOPED_TRACE(n.Table);
            TRelation* table = Table(n.Table);
            ASSERT_NE(table, nullptr);
            EXPECT_EQ(table->Records, 200);
            EXPECT_GT(table->DataPages, 0);
            EXPECT_FALSE(table->Blobs);
            TIndex* index = Index(n.Index);
            ASSERT_NE(index, nullptr) << n.Index;
            EXPECT_EQ(index->Relation, table);
            EXPECT_GE(index->Nodes, 200);
        }
    }
}

TEST_F(RealStats, IndexOnlyStatisticsKeepATableWithoutIndices) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_index.txt")));
    EXPECT_TRUE(Dialogs.Messages.empty());
    TRelation* empty = Table("EMPTY_TABLE");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Id, 131);
    EXPECT_EQ(empty->Name(), "Relation131");
    EXPECT_EQ(empty->PointerPage, 0);
    EXPECT_FALSE(DBInfo->IsRecordInfoAvailable);
    // The table after it is read as usual, with its own indices.
    TRelation* orders = Table("ORDERS");
    ASSERT_NE(orders, nullptr);
    EXPECT_EQ(Index("RDB$FOREIGN3")->Relation, orders);
    // No data figures: no table is taken for empty.
    EXPECT_TRUE(ComputeProblemLists(*DBInfo).TablesWithNoRecords.empty());
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_full.txt")));
    ASSERT_EQ(ComputeProblemLists(*DBInfo).TablesWithNoRecords.size(), 1u);
    EXPECT_EQ(ComputeProblemLists(*DBInfo).TablesWithNoRecords[0]->TableName, "EMPTY_TABLE");
}

TEST_F(RealStats, UnindentedLinesAfterTheBlocksArePassedOver) {
    std::string text = ReadFile(DataPath("fb3_full.txt"));
    const TextStats expected = ReadTextStats(text);
    text += "Running online database validation:\n"
            "22:37:27.93 Relation 128 (CUSTOMERS)\n"
            "22:37:27.93 Index 1 (CUSTOMERS_EMAIL_UNQ)\n"
            "Validation finished: 0 errors, 0 warnings, 0 fixed\n"
            "Service ended at 9/3/2006 4:59:05 PM\n";
    EXPECT_TRUE(ParseText(text));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    ExpectModelMatchesText(expected);
}

TEST_F(RealStats, HeaderOnlyReloadKeepsTablesAndTakesNewHeader) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_full.txt")));
    const size_t tables = DBInfo->Relations.size(), indices = DBInfo->Indices.size();
    ASSERT_GT(DBInfo->RecordSize, 0);
    const TextStats header = ReadTextStats(ReadFile(DataPath("fb3_header.txt")));
    EXPECT_TRUE(ParseStatHeaderLines(SplitLines(ReadFile(DataPath("fb3_header.txt")))));
    EXPECT_EQ(DBInfo->Relations.size(), tables);
    EXPECT_EQ(DBInfo->Indices.size(), indices);
    EXPECT_EQ(DBInfo->NxT, header.NxT);
    EXPECT_EQ(DBInfo->Generation, header.Generation);
    // No totals after a header-only read.
    EXPECT_EQ(DBInfo->RecordSize, 0);
    EXPECT_EQ(DBInfo->MaxRName, 0);
    EXPECT_FALSE(DBInfo->IsRecordInfoAvailable);
}

TEST_F(RealStats, ServiceLinesEndInABlankAndReadLikeFileLines) {
    const std::string text = ReadFile(DataPath("fb3_service.txt"));
    // The Services API ends every line, blank ones too, with a blank.
    ASSERT_NE(text.find("Analyzing database pages ... \n"), std::string::npos);
    ASSERT_NE(text.find("\n \n"), std::string::npos);
    ASSERT_TRUE(ParseText(text));
    ExpectModelMatchesText(ReadTextStats(WithoutTrailingBlanks(text)));
    // The creation time at the line's end is read although a blank follows it.
    int h, m, s, ms;
    DecodeTime(DBInfo->CDate, h, m, s, ms);
    EXPECT_NE(h * 3600 + m * 60 + s, 0);
}

// Fresh output of the running server: the script that wrote tests/data, into
// a folder of this test, with database names of its own.
TEST_F(RealStats, FreshOutputOfTheLocalServer) {
    DV_REQUIRE_FB_SERVER();
    const std::string dir = TempPath("fresh");
    const std::string prefix = "dvt_model_" + std::to_string(getpid());
    const std::string cmd =
        ShellQuote(std::string(DRAVOLT_SOURCE_DIR) + "/scripts/make-testdata.sh") + " " + ShellQuote(dir) + " " + prefix;
    const TCommandResult made = RunCommand(cmd);
    ASSERT_EQ(made.Status, 0) << cmd << "\n" << made.Output;
    for (const char* name : kRealFiles) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        const std::string text = ReadFile(path);
        ASSERT_FALSE(text.empty());
        Dialogs.Messages.clear();
        EXPECT_TRUE(ParseStatFile(path));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        ExpectModelMatchesText(ReadTextStats(WithoutTrailingBlanks(text)));
        if (std::string(name) == "fb3_full.txt") {
            int64_t versions = 0;
            for (TRelation* r : DBInfo->Relations) versions += r->Versions;
            EXPECT_GT(versions, 0) << "updates and deletes should leave back versions";
            EXPECT_EQ(DBInfo->Relations.size(), 5u);
            EXPECT_EQ(DBInfo->Indices.size(), 9u);
        }
        if (std::string(name).find("oddnames") != std::string::npos) {
            EXPECT_EQ(DBInfo->Relations.size(), 9u);
            EXPECT_EQ(DBInfo->Indices.size(), std::string(name).find("_data") == std::string::npos ? 9u : 0u);
        }
        if (HasFailure()) {
            // Fresh output is gone with the test's folder: keep what failed.
            const std::string kept = std::filesystem::temp_directory_path().string() + "/dravolt-fresh-failed-" +
                                     std::to_string(getpid()) + "-" + name;
            std::filesystem::copy_file(path, kept, std::filesystem::copy_options::overwrite_existing);
            ADD_FAILURE() << "the text that failed is kept as " << kept;
        }
    }
}

}  // namespace
