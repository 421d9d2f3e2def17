// The reader over the layouts of current engines and their transitional
// forms, written by hand where the real server prints no such text, and what
// happens when such blocks are cut short or a failed table leaves its index
// blocks behind.
#include "tests/model/StatTestSupport.h"
#include "model/StrData.h"

using namespace dv;
using namespace dv::test;

namespace {

const std::string kHead =
    "Database \"/db/new.fdb\"\n"
    "\tPage size\t\t8192\n\tODS version\t\t13.1\n\tNext transaction\t500\n"
    "\tCreation date\t\tJul 27, 2026 0:12:26\n\tAttributes\t\tforce write\n\t*END*\n"
    "Analyzing database pages ...\n";

const std::string kBands = "    Fill distribution:\n\t 0 - 19% = 1\n\t20 - 39% = 2\n\t40 - 59% = 3\n"
                           "\t60 - 79% = 4\n\t80 - 99% = 5\n";

std::string NewTable(const std::string& nameId, const std::string& middle) {
    return nameId + "\n    Primary pointer page: 225, Index root page: 226\n    Total formats: 1, used formats: 1\n" +
           "    Average record length: 19.00, total records: 3\n"
           "    Average version length: 0.00, total versions: 0, max versions: 0\n" +
           middle + kBands + "\n";
}

std::string NewIndex(const std::string& nameId, const std::string& middle =
                                                    "\tAverage node length: 8.00, total dup: 1, max dup: 1\n"
                                                    "\tAverage key length: 6.00, compression ratio: 0.67\n"
                                                    "\tAverage prefix length: 0.00, average data length: 4.00\n"
                                                    "\tClustering factor: 1, ratio: 0.33\n") {
    return "    Index " + nameId + "\n\tRoot page: 233, depth: 2, leaf buckets: 4, nodes: 3\n" + middle +
           "\tFill distribution:\n\t     0 - 19% = 0\n\t    20 - 39% = 1\n\t    40 - 59% = 0\n"
           "\t    60 - 79% = 2\n\t    80 - 99% = 1\n\n";
}

const std::string kPages =
    "    Average fragment length: 0.00, total fragments: 0, max fragments: 0\n"
    "    Average unpacked length: 410.00, compression ratio: 21.58\n"
    "    Pointer pages: 1, data page slots: 6\n"
    "    Data pages: 5, average fill: 17%\n"
    "    Primary pages: 1, secondary pages: 0, swept pages: 0\n"
    "    Empty pages: 0, full pages: 0\n";

class NewLayout : public StatFixture {};

TEST_F(NewLayout, ExtraLinesOfEachEngineVersionArePassedOver) {
    struct Case {
        const char* What;
        std::string Middle;
    } cases[] = {
        {"Firebird 3", kPages},
        {"Firebird 3 with blobs", kPages + "    Blobs: 125, total length: 11237, blob pages: 0\n"
                                          "        Level 0: 125, Level 1: 0, Level 2: 0\n"},
        {"Firebird 5", kPages + "    Table size: 16384 bytes\n"},
        {"Firebird 6 blob levels", kPages + "    Blobs: 10, total length: 101451015, blob pages: 12439\n"
                                            "        Level 0: 3, total length: 15, blob pages: 0\n"
                                            "        Level 1: 6, total length: 1451000, blob pages: 182\n"
                                            "    Table size: 101924864 bytes\n"},
        {"split lines without the fragment lines", "    Pointer pages: 1, data page slots: 6\n"
                                                   "    Data pages: 5, average fill: 17%\n"
                                                   "    Primary pages: 1, full pages: 0, swept pages: 0\n"},
        {"a line of a later version", kPages + "    Something new: 7, more: 8\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseText(kHead + NewTable("T (128)", c.Middle) + NewIndex("T_IDX (0)")));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        TRelation* t = Table("T");
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->Records, 3);
        EXPECT_EQ(t->PageSlots, 6);
        EXPECT_EQ(t->DataPages, 5);
        EXPECT_EQ(t->AverageFill, 17);
        EXPECT_EQ(t->Fill20, 1);
        EXPECT_EQ(t->Fill100, 5);
        EXPECT_FALSE(t->Blobs);
        TIndex* i = Index("T_IDX");
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->Depth, 2);
        EXPECT_EQ(i->Leafs, 4);
        EXPECT_EQ(i->Nodes, 3);
        EXPECT_EQ(i->TotalDup, 1);
        EXPECT_EQ(i->MaxDup, 1);
        EXPECT_DOUBLE_EQ(i->KeyLen, 4.0);
        EXPECT_EQ(i->Fill40, 1);
        EXPECT_EQ(i->Fill80, 2);
        // (1*0.4 + 2*0.8 + 1) / 4 = 0.75
        EXPECT_EQ(i->AverageFill, 75);
    }
    EXPECT_EQ(DBInfo->ODSMajor, 13);
    EXPECT_EQ(DBInfo->ODSMinor, 1);
}

TEST_F(NewLayout, OldDataLineFollowedByNewerLines) {
    // An early form: the one-line data figures, then a "Primary pages" line.
    const std::string table = "T (128)\n    Primary pointer page: 193, Index root page: 194\n"
                              "    Data pages: 1, data page slots: 2, average fill: 15%\n"
                              "    Primary pages: 1, full pages: 1, swept pages: 0\n" +
                              kBands;
    ASSERT_TRUE(ParseText(kHead + table));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(Table("T")->PageSlots, 2);
    EXPECT_EQ(Table("T")->Fill100, 5);
}

TEST_F(NewLayout, WithoutRecordLinesTheTotalFormatsLineIsPassedOver) {
    const std::string table = "T (128)\n    Primary pointer page: 1, Index root page: 2\n"
                              "    Total formats: 1, used formats: 1\n" + kPages + kBands;
    ASSERT_TRUE(ParseText(kHead + table));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_FALSE(DBInfo->IsRecordInfoAvailable);
    EXPECT_EQ(Table("T")->DataPages, 5);
    EXPECT_EQ(Table("T")->RealFill, 0);
}

// A block cut short by the next block fails with the line that ended it, and
// that next block is read as usual.
TEST_F(NewLayout, BlocksCutShortFailAndTheNextBlockIsStillRead) {
    struct Case {
        const char* What;
        std::string Text;
        std::string Message;
    } cases[] = {
        {"table cut by an index", "T (128)\n    Primary pointer page: 1, Index root page: 2\n" + kPages,
         "Error parsing relation T\r\n    Index NEXT_IDX (0)"},
        {"table without its data pages line",
         "T (128)\n    Primary pointer page: 1, Index root page: 2\n    Pointer pages: 1, data page slots: 6\n" + kBands,
         "Error parsing relation T\r\n    Fill distribution:"},
        {"index cut by the next index",
         "T (128)\n    Primary pointer page: 1, Index root page: 2\n" + kPages + kBands +
             "    Index CUT (3)\n\tRoot page: 9, depth: 1, leaf buckets: 1, nodes: 3\n"
             "\tAverage node length: 8.00, total dup: 1, max dup: 1\n",
         "Error parsing index CUT\r\n    Index NEXT_IDX (0)"},
        {"index without its duplicates line",
         "T (128)\n    Primary pointer page: 1, Index root page: 2\n" + kPages + kBands +
             "    Index CUT (3)\n\tRoot page: 9, depth: 1, leaf buckets: 1, nodes: 3\n\tFill distribution:\n"
             "\t     0 - 19% = 1\n\t    20 - 39% = 0\n\t    40 - 59% = 0\n\t    60 - 79% = 0\n\t    80 - 99% = 0\n",
         "Error parsing index CUT\r\n\tFill distribution:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Dialogs.Messages.clear();
        Dialogs.Answer(mrIgnore);
        ASSERT_TRUE(ParseText(kHead + c.Text + NewIndex("NEXT_IDX (0)") + NewTable("U (129)", kPages)));
        EXPECT_EQ(Shown(), std::vector<std::string>{c.Message});
        ASSERT_NE(Table("U"), nullptr);
        EXPECT_EQ(Table("U")->DataPages, 5);
        EXPECT_EQ(Index("CUT"), nullptr);
    }
}

TEST_F(NewLayout, TruncatedNewerBlocksEndWithoutHanging) {
    const std::string full = kHead + NewTable("T (128)", kPages) + NewIndex("I (0)");
    // Cut after every line: through a file (empty reads at the end) and a list
    // (reads past the end raise).
    size_t pos = kHead.size();
    while ((pos = full.find('\n', pos + 1)) != std::string::npos) {
        const std::string cut = full.substr(0, pos + 1);
        Dialogs.Messages.clear();
        EXPECT_TRUE(ParseText(cut)) << cut;
        Dialogs.Messages.clear();
        EXPECT_TRUE(ParseAsFile(cut)) << cut;
        for (TIndex* i : DBInfo->Indices) EXPECT_EQ(i->Relation, Table("T"));
    }
}

// A failed, ignored table's index and blob blocks do not land under the table
// read before it.
TEST_F(NewLayout, IndicesOfAnIgnoredTableAreNotGivenToThePreviousTable) {
    const std::string bad = "BAD (130)\n    Primary pointer page: 1, Index root page: 2\n"
                            "    Data pages: x, data page slots: 1, average fill: 1%\n" + kBands;
    const std::string blob = "    Blob pointer page: 3\n"
                             "    Average blob length: 1.0, total blobs: 1, max blob length: 1\n"
                             "    Average segment length: 1.0, total segments: 1, max segment length: 1\n"
                             "    Blob pages: 1, blob page slots: 1, average fill: 1%\n"
                             "    Fill distribution:\n\t 0 - 19% = 1\n\t20 - 39% = 0\n\t40 - 59% = 0\n"
                             "\t60 - 79% = 0\n\t80 - 99% = 0\n";
    Dialogs.Answer(mrIgnore);
    ASSERT_TRUE(ParseText(kHead + NewTable("A (128)", kPages) + NewIndex("A_IDX (0)") + bad + blob +
                          NewIndex("BAD_IDX (0)") + NewTable("C (131)", kPages) + NewIndex("C_IDX (0)")));
    EXPECT_EQ(Shown(), std::vector<std::string>{"Error parsing relation BAD\r\n"
                                                "    Data pages: x, data page slots: 1, average fill: 1%"});
    EXPECT_EQ(Index("BAD_IDX"), nullptr);
    EXPECT_FALSE(Table("A")->Blobs);
    EXPECT_EQ(Table("A")->ComponentCount(), 1);
    EXPECT_EQ(Index("C_IDX")->Relation, Table("C"));
}

TEST_F(NewLayout, IndexOnlyTextEndingWithATableAndTheCompletionLine) {
    const std::string text = kHead + "A (128)\n\n" + NewIndex("A_IDX (0)") + "B (129)\n\n"
                             "Gstat completion time Sun Jul 26 21:12:26 2026\n\n";
    for (const std::string& eol : {std::string("\n"), std::string("\r\n"), std::string(" \n")}) {
        SCOPED_TRACE(eol.size());
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseText(WithLineEnds(text, eol)));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        ASSERT_EQ(DBInfo->Relations.size(), 2u);
        EXPECT_EQ(Table("B")->Id, 129);
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseAsFile(WithLineEnds(text, eol)));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_EQ(DBInfo->Relations.size(), 2u);
    }
    // The last table as the very last line.
    ASSERT_TRUE(ParseAsFile(kHead + "A (128)"));
    EXPECT_EQ(Table("A")->Id, 128);
    ASSERT_TRUE(ParseText(kHead + "A (128)"));
    EXPECT_EQ(Table("A")->Id, 128);
}

TEST_F(NewLayout, TableAndIndexShapes) {
    struct Case {
        const char* Line;
        bool Table;
        const char* Name;
        int Id;
    } cases[] = {
        {"T (128)", true, "T", 128},
        {"T (128)   ", true, "T", 128},
        {"My table (x) (140)", true, "My table (x)", 140},
        {"A (1) B (2)", true, "A (1) B", 2},
        {"Gstat completion time Sun Jul 26 21:12:26 2026", false, "", 0},
        {"22:37:27.93 Relation 128 (TMP$SHOPPING_CART)", false, "", 0},
        {"T(128)", false, "", 0},
        {"T ()", false, "", 0},
        {"T (12a)", false, "", 0},
        {"(128)", false, "", 0},
        {"T (128) done", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseText(kHead + c.Line + "\n"));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        if (c.Table) {
            ASSERT_EQ(DBInfo->Relations.size(), 1u);
            EXPECT_EQ(DBInfo->Relations[0]->TableName, c.Name);
            EXPECT_EQ(DBInfo->Relations[0]->Id, c.Id);
        } else {
            EXPECT_TRUE(DBInfo->Relations.empty());
        }
    }
    // An index line with a name holding " (" and one whose parentheses hold
    // no id (a validation log line).
    ASSERT_TRUE(ParseText(kHead + "T (128)\n" + NewIndex("Odd idx (1) (4)") +
                          "22:37:27.93 Index 1 (TMP_SHOPCART_UNQ)\n    Index 2 (X)\n"));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    ASSERT_EQ(DBInfo->Indices.size(), 1u);
    EXPECT_EQ(DBInfo->Indices[0]->IndexName, "Odd idx (1)");
    EXPECT_EQ(DBInfo->Indices[0]->id, 4);
}

}  // namespace
