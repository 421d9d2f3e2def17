// The reader over hand-written texts in the older engines' layout (one data
// line per table, "Depth:" index lines, blob blocks, null-segment lines), with
// the messages and edge cases of that layout.
#include <cmath>

#include "tests/model/StatTestSupport.h"
#include "model/StrData.h"

using namespace dv;
using namespace dv::test;

namespace {

std::string Header(const std::string& creation = "Jan 5, 2010 10:20:30", const std::string& extra = "") {
    return "\n"
           "Database \"/data/old.gdb\"\n"
           "\n"
           "Database header page information:\n"
           "\tFlags\t\t\t0\n"
           "\tChecksum\t\t12345\n"
           "\tGeneration\t\t41\n"
           "\tPage size\t\t4096\n"
           "\tODS version\t\t10.1\n"
           "\tOldest transaction\t100\n"
           "\tOldest active\t\t120\n"
           "\tOldest snapshot\t\t110\n"
           "\tNext transaction\t150\n"
           "\tBumped transaction\t1\n"
           "\tDatabase dialect\t3\n"
           "\tCreation date\t\t" + creation + "\n" + extra +
           "\tAttributes\t\tforce write, no reserve\n"
           "\n"
           "    Variable header data:\n"
           "\tSweep interval:\t\t5000\n"
           "\t*END*\n"
           "\n"
           "Database file sequence:\n"
           "File /data/old.gdb is the only file\n"
           "\n"
           "Analyzing database pages ...\n";
}

std::string Bands(const char* indent, int a, int b, int c, int d, int e) {
    const std::string i = indent;
    return i + "Fill distribution:\n" + i + " 0 - 19% = " + std::to_string(a) + "\n" + i + "20 - 39% = " +
           std::to_string(b) + "\n" + i + "40 - 59% = " + std::to_string(c) + "\n" + i + "60 - 79% = " +
           std::to_string(d) + "\n" + i + "80 - 99% = " + std::to_string(e) + "\n";
}

std::string TableText(const std::string& name, int id, const std::string& recordLines,
                  const std::string& data = "    Data pages: 40, data page slots: 42, average fill: 75%\n") {
    return name + " (" + std::to_string(id) + ")\n" + "    Primary pointer page: 150, Index root page: 151\n" +
           recordLines + data + "    Fill distribution:\n" + "\t 0 - 19% = 1\n\t20 - 39% = 2\n\t40 - 59% = 3\n" +
           "\t60 - 79% = 4\n\t80 - 99% = 30\n\n";
}

std::string Records(const std::string& recLen, const std::string& records, const std::string& versions = "10",
                    const std::string& verLen = "40.00") {
    return "    Average record length: " + recLen + ", total records: " + records + "\n" +
           "    Average version length: " + verLen + ", total versions: " + versions + ", max versions: 2\n";
}

std::string IndexBlock(const std::string& name, int id, int leafs = 10, const std::string& nullSeg = "",
                       int f20 = 1, int f40 = 1, int f60 = 2, int f80 = 3, int f100 = 3) {
    return "    Index " + name + " (" + std::to_string(id) + ")\n" + "\tDepth: 2, leaf buckets: " +
           std::to_string(leafs) + ", nodes: 1000\n" + nullSeg +
           "\tAverage data length: 12.50, total dup: 100, max dup: 7\n" + Bands("\t    ", f20, f40, f60, f80, f100) +
           "\n";
}

const std::string kBlob =
    "    Blob pointer page: 152\n"
    "    Average blob length: 512.25, total blobs: 200, max blob length: 4096\n"
    "    Average segment length: 80.00, total segments: 1200, max segment length: 512\n"
    "    Blob pages: 12, blob page slots: 14, average fill: 66%\n"
    "    Fill distribution:\n"
    "\t 0 - 19% = 0\n\t20 - 39% = 1\n\t40 - 59% = 2\n\t60 - 79% = 3\n\t80 - 99% = 6\n\n";

std::string FullText() {
    return Header() +
           TableText("CUSTOMER", 128,
                 "    Average record length: 120.50, total records: 1000, max record length: 300\n"
                 "    Average version length: 40.00, total versions: 10, max versions: 2\n") +
           kBlob + IndexBlock("CUSTNAMEX", 1, 10, "\tNodes with segment null: 5\n") +
           TableText("COUNTRY", 129, "", "    Data pages: 2, data page slots: 3, average fill: 15%\n") +
           IndexBlock("RDB$PRIMARY1", 0);
}

class OldLayout : public StatFixture {};

TEST_F(OldLayout, FullTextReadsEveryField) {
    const std::string path = TempPath("old.txt");
    WriteFile(path, FullText());
    SetFileTime(path, 2010, 1, 15, 10, 20, 30);
    ASSERT_TRUE(ParseStatFile(path));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();

    const TDatabaseInfo& db = *DBInfo;
    EXPECT_EQ(db.DbName, "/data/old.gdb");
    EXPECT_EQ(db.Generation, 41);
    EXPECT_EQ(db.PageSize, 4096);
    EXPECT_EQ(db.ODS, "10.1");
    EXPECT_EQ(db.ODSMajor, 10);
    EXPECT_EQ(db.ODSMinor, 1);
    EXPECT_EQ(db.OIT, 100);
    EXPECT_EQ(db.OAT, 120);
    EXPECT_EQ(db.OST, 110);
    EXPECT_EQ(db.NxT, 150);
    EXPECT_EQ(db.Dialect, 3);
    EXPECT_EQ(db.Attrib, "force write, no reserve");
    EXPECT_EQ(db.FW, 1);
    EXPECT_EQ(db.Sweep, 5000);
    EXPECT_DOUBLE_EQ(db.CDate, EncodeDate(2010, 1, 5) + EncodeTime(10, 20, 30, 0));
    EXPECT_DOUBLE_EQ(db.Age, EncodeDate(2010, 1, 15) + EncodeTime(10, 20, 30, 0));
    // 150 transactions over |CDate - (Age + 1)| = 11 whole days.
    EXPECT_EQ(db.AverageTran, 13);
    EXPECT_EQ(db.WDate, 0);
    EXPECT_EQ(db.DDate, 0);
    EXPECT_TRUE(db.IsRecordInfoAvailable);
    EXPECT_TRUE(db.IsNullSegInfoAvailable);

    ASSERT_EQ(db.Relations.size(), 2u);
    const TRelation& c = *db.Relations[0];
    EXPECT_EQ(c.Name(), "Relation128");
    EXPECT_EQ(c.TableName, "CUSTOMER");
    EXPECT_EQ(c.Id, 128);
    EXPECT_EQ(c.PointerPage, 150);
    EXPECT_EQ(c.IndexPage, 151);
    EXPECT_DOUBLE_EQ(c.RecLen, 120.5);
    EXPECT_EQ(c.Records, 1000);
    EXPECT_EQ(c.MaxRecLen, 300);
    EXPECT_DOUBLE_EQ(c.VerLen, 40);
    EXPECT_EQ(c.Versions, 10);
    EXPECT_EQ(c.MaxVer, 2);
    EXPECT_EQ(c.DataPages, 40);
    EXPECT_EQ(c.PageSlots, 42);
    EXPECT_EQ(c.AverageFill, 75);
    EXPECT_DOUBLE_EQ(c.SizeMB, 0.15625);
    EXPECT_EQ(c.Fill20, 1);
    EXPECT_EQ(c.Fill40, 2);
    EXPECT_EQ(c.Fill60, 3);
    EXPECT_EQ(c.Fill80, 4);
    EXPECT_EQ(c.Fill100, 30);
    // (1000 * 137.7 + 10 * 57.2) / 4096 / 0.4 = 84.39...
    EXPECT_EQ(c.RealFill, 84);
    EXPECT_TRUE(c.Blobs);
    EXPECT_DOUBLE_EQ(c.BAvgLen, 512.25);
    EXPECT_EQ(c.BTotal, 200);
    EXPECT_EQ(c.BMaxBLen, 4096);
    EXPECT_DOUBLE_EQ(c.BAvgSegLen, 80);
    EXPECT_EQ(c.BSegments, 1200);
    EXPECT_EQ(c.BMaxSegLen, 512);
    EXPECT_EQ(c.BPages, 12);
    EXPECT_EQ(c.BSlots, 14);
    EXPECT_EQ(c.BAvgFill, 66);
    EXPECT_EQ(c.BFill20, 0);
    EXPECT_EQ(c.BFill40, 1);
    EXPECT_EQ(c.BFill60, 2);
    EXPECT_EQ(c.BFill80, 3);
    EXPECT_EQ(c.BFill100, 6);
    EXPECT_DOUBLE_EQ(c.BSizeMB, 12 * 4.0 / 1024);

    const TRelation& k = *db.Relations[1];
    EXPECT_EQ(k.Records, 0);
    EXPECT_EQ(k.DataPages, 2);
    EXPECT_EQ(k.PageSlots, 3);
    EXPECT_EQ(k.AverageFill, 15);
    EXPECT_EQ(k.RealFill, 0);
    EXPECT_FALSE(k.Blobs);

    ASSERT_EQ(db.Indices.size(), 2u);
    const TIndex& i = *db.Indices[0];
    EXPECT_EQ(i.Name(), "Relation128Index1");
    EXPECT_EQ(i.Owner(), &c);
    EXPECT_EQ(i.Relation, &c);
    EXPECT_EQ(i.IndexName, "CUSTNAMEX");
    EXPECT_EQ(i.id, 1);
    EXPECT_EQ(i.Depth, 2);
    EXPECT_EQ(i.Leafs, 10);
    EXPECT_EQ(i.Nodes, 1000);
    EXPECT_EQ(i.NullSeg, 5);
    EXPECT_DOUBLE_EQ(i.KeyLen, 12.5);
    EXPECT_EQ(i.TotalDup, 100);
    EXPECT_EQ(i.MaxDup, 7);
    EXPECT_EQ(i.Uniques, 900);
    EXPECT_FLOAT_EQ(i.Sel, 1.0f / 900);
    // (1/5 + 1*0.4 + 2*0.6 + 3*0.8 + 3) / 10 = 0.72
    EXPECT_EQ(i.AverageFill, 72);
    EXPECT_DOUBLE_EQ(i.SizeMb, 10 * 4.0 / 1024);
    EXPECT_DOUBLE_EQ(c.ISizeMB, i.SizeMb);
    EXPECT_EQ(db.Indices[1]->Relation, &k);
    EXPECT_EQ(db.Indices[1]->NullSeg, 0);
    EXPECT_EQ(db.Indices[1]->Name(), "Relation129Index0");

    // Totals: 1000 * N(137.5) + 0, 10 * N(57), 20 leaf pages of 4096 plus 1 %.
    EXPECT_EQ(db.RecordSize, 138000);
    EXPECT_EQ(db.VersionSize, 570);
    EXPECT_EQ(db.IndexSize, 20 * 4096 + 20 * 4096 / 100);
    EXPECT_EQ(db.Pages, 42);
    EXPECT_EQ(db.MaxRName, 8);
    EXPECT_EQ(db.MaxIName, 12);
}

TEST_F(OldLayout, EmptySourceFindsNothing) {
    EXPECT_FALSE(ParseText(""));
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "None statistics info was found.");
    EXPECT_EQ(Dialogs.Messages[0].Type, mtInformation);
    EXPECT_EQ(Dialogs.Messages[0].Buttons, static_cast<TMsgDlgButtons>(mbOK));
    Dialogs.Messages.clear();
    EXPECT_FALSE(ParseAsFile(""));
    EXPECT_EQ(Shown(), std::vector<std::string>{"None statistics info was found."});
    EXPECT_EQ(DBInfo->PageSize, 0);
}

TEST_F(OldLayout, HeaderOnlyTextIsUsable) {
    const std::string h = Header();
    EXPECT_TRUE(ParseText(h.substr(0, h.find("Database file sequence"))));
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(DBInfo->NxT, 150);
    EXPECT_TRUE(DBInfo->Relations.empty());
}

// A header cut before its "*END*" ends at the first line that belongs after
// it, and the tables are read as in the whole text.
TEST_F(OldLayout, HeaderWithoutEndEndsAtTheFirstLineAfterIt) {
    const std::string full = FullText();
    auto without = [&](std::vector<std::string> pieces) {
        std::string text = full;
        for (const std::string& p : pieces) text.erase(text.find(p), p.size());
        return text;
    };
    const std::string fileSequence = "Database file sequence:\nFile /data/old.gdb is the only file\n";
    const std::string analyzing = "Analyzing database pages ...\n";
    const std::vector<std::string> texts = {
        without({"\t*END*\n"}),                                       // ends at the file sequence
        without({"\t*END*\n", fileSequence}),                         // at "Analyzing database pages"
        without({"\t*END*\n", fileSequence, analyzing}),              // at the first table
        without({"\t*END*\n", "Database file sequence:\n", analyzing}),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(text.find("Sweep")));
        Dialogs.Messages.clear();
        EXPECT_TRUE(ParseText(text));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_EQ(DBInfo->NxT, 150);
        EXPECT_EQ(DBInfo->Sweep, 5000);
        EXPECT_EQ(DBInfo->Relations.size(), 2u);
        EXPECT_EQ(DBInfo->Indices.size(), 2u);
        ASSERT_NE(Table("CUSTOMER"), nullptr);
        EXPECT_TRUE(Table("CUSTOMER")->Blobs);
    }
}

// Without a page size no table's figures can be computed: one message says
// what is wrong with it, instead of one box per table that blames a fill line.
TEST_F(OldLayout, HeaderWithoutPageSizeSaysSo) {
    const struct {
        const char* Line;   // in place of the page size line
        std::string Message;
        bool Usable;
    } cases[] = {
        {"", SNoPageSize, true},
        {"\tPage size\t\t-1\n",
         "Error parsing statistics info: the header's page size -1 is no page size, so its tables and indices "
         "cannot be read.", true},
        // Before the next transaction: nothing usable was read yet.
        {"\tPage size\t\t\n", "Error parsing statistics info: the header's \"Page size\" line holds no value.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        std::string text = FullText();
        text.replace(text.find("\tPage size\t\t4096\n"), 16, c.Line);
        Dialogs.Messages.clear();
        EXPECT_EQ(ParseText(text), c.Usable);
        EXPECT_EQ(Shown(), std::vector<std::string>{c.Message});
        EXPECT_EQ(Dialogs.Messages.at(0).Buttons, static_cast<TMsgDlgButtons>(mbOK));
        EXPECT_EQ(DBInfo->NxT, c.Usable ? 150 : 0);
        EXPECT_TRUE(DBInfo->Relations.empty());
    }
    // A header-only text without it is still a header.
    std::string text = FullText();
    text.erase(text.find("\tPage size\t\t4096\n"), 16);
    Dialogs.Messages.clear();
    EXPECT_TRUE(ParseText(text.substr(0, text.find("Analyzing"))));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    // A page size alone, outside any header gstat printed, is no statistics.
    for (const char* alone : {"Page size 8192\n", "\tPage size\t\t8192\n"}) {
        Dialogs.Messages.clear();
        EXPECT_FALSE(ParseAsFile(alone));
        EXPECT_EQ(Shown(), std::vector<std::string>{SNoStatistics});
    }
}

TEST_F(OldLayout, NegativeRecordCountIsTakenAsUnsigned32Bit) {
    ASSERT_TRUE(ParseText(Header() + TableText("T", 130, Records("10.00", "-5"))));
    ASSERT_NE(Table("T"), nullptr);
    EXPECT_EQ(Table("T")->Records, 4294967291LL);
}

TEST_F(OldLayout, VersionsWithoutRecordsFailTheTable) {
    const std::string text = Header() + TableText("GHOST", 130, Records("0.00", "0", "3")) + TableText("NEXT", 131, "");
    const std::string expected = "Error parsing relation GHOST\r\n\t80 - 99% = 30";
    // Ignore: the table is dropped, the next one is read.
    Dialogs.Answer(mrIgnore);
    EXPECT_TRUE(ParseText(text));
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, expected);
    EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
    EXPECT_EQ(Dialogs.Messages[0].Buttons, static_cast<TMsgDlgButtons>(mbAbort | mbIgnore));
    EXPECT_EQ(Table("GHOST"), nullptr);
    EXPECT_NE(Table("NEXT"), nullptr);
    EXPECT_EQ(DBInfo->ComponentCount(), 1);
    // Abort: the parse ends; the header had been read, so what was read stays.
    Dialogs.Messages.clear();
    Dialogs.Answer(mrAbort);
    EXPECT_TRUE(ParseText(text));
    EXPECT_EQ(Shown(), (std::vector<std::string>{expected, SErrParseTableIndex}));
    EXPECT_TRUE(DBInfo->Relations.empty());
}

// Each bad block or line is said once, naming the line being read, and its
// indices go to no other table.
TEST_F(OldLayout, BadBlocksNameTheLineBeingRead) {
    auto badIndex = [](const std::string& firstLine) {
        std::string block = IndexBlock("BAD", 1);
        return block.replace(0, block.find('\n'), firstLine);
    };
    std::string orders = TableText("ORDERS", 129, "") + IndexBlock("ORD_IDX", 0);
    orders.replace(0, orders.find('\n'), "ORDERS (129");
    const std::string a = TableText("A", 128, "");
    const std::string good = IndexBlock("GOOD", 2);
    const std::string cut = "The statistics text ends inside table T: it was cut or is still being written";
    using Names = std::vector<std::string>;
    struct Case {
        std::string Text, Message;
        Names Tables, Indices;
    } cases[] = {
        // Nothing read after the first line: the first line.
        {"T (99999999999)\nNEXT (6)\n", "Error parsing relation T\r\nT (99999999999)", {"NEXT"}, {}},
        // A list that ends inside the block: the text was cut.
        {"T (5)\n    Primary pointer page: 1, Index root page: 2\n", cut, {}, {}},
        // Index statistics cut inside a table's first index: the index is named.
        {"C (5)\n    Index C_IDX (0)\n\tDepth: 2, leaf buckets: 10, nodes: 1000\n",
         "The statistics text ends inside index C_IDX: it was cut or is still being written", {"C"}, {}},
        {"T (5)\n    Primary pointer page: x, Index root page: 2\n",
         "Error parsing relation T\r\n    Primary pointer page: x, Index root page: 2", {}, {}},
        {"T (5)\n    Primary pointer page: 1, Index root page: 2\n    Data pages: 1, data page slots: 1, average fill: ?%\n",
         "Error parsing relation T\r\n    Data pages: 1, data page slots: 1, average fill: ?%", {}, {}},
        // Damaged first lines are block errors, never silent drops.
        {a + orders, "Error parsing relation ORDERS\r\nORDERS (129", {"A"}, {}},
        {a + badIndex("    xIndex BAD (1)") + good, "Error parsing index BAD\r\n    xIndex BAD (1)", {"A"}, {"GOOD"}},
        {a + badIndex("    Index BAD (1") + good, "Error parsing index BAD\r\n    Index BAD (1", {"A"}, {"GOOD"}},
        {a + badIndex("    Index BAD (x)") + good, "Error parsing index BAD\r\n    Index BAD (x)", {"A"}, {"GOOD"}},
        {a + badIndex("    Index BAD(4)") + good, "Error parsing index BAD\r\n    Index BAD(4)", {"A"}, {"GOOD"}},
        // A mail program wrapped the line: its id moved to a line of its own.
        {a + badIndex("    Index BAD\n(1)") + good, "Error parsing index BAD\r\n    Index BAD", {"A"}, {"GOOD"}},
        {a + badIndex("    Index BAD\n (1)") + good, "Error parsing index BAD\r\n    Index BAD", {"A"}, {"GOOD"}},
        // An indented line no block takes.
        {a + "    Compression: none\n" + good, "Error parsing the line after table A\r\n    Compression: none", {"A"},
         {"GOOD"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        Dialogs.Messages.clear();
        Dialogs.Answer(mrIgnore);
        EXPECT_TRUE(ParseText(Header() + c.Text));
        EXPECT_EQ(Shown(), Names{c.Message});
        Names tables, indices;
        for (const TRelation* r : DBInfo->Relations) tables.push_back(r->TableName);
        for (const TIndex* i : DBInfo->Indices) {
            indices.push_back(i->IndexName);
            EXPECT_EQ(i->Relation, Table("A"));
        }
        EXPECT_EQ(tables, c.Tables);
        EXPECT_EQ(indices, c.Indices);
    }
    // A file that ends inside the block says the same.
    Dialogs.Messages.clear();
    EXPECT_TRUE(ParseAsFile(Header() + "T (5)\n    Primary pointer page: 1, Index root page: 2\n"));
    EXPECT_EQ(Shown(), Names{cut});
}

TEST_F(OldLayout, DuplicateIdsFailTheSecondBlock) {
    struct Case {
        const char* What;
        std::string Text;
        std::vector<std::string> Shown, Tables, Indices;
        int LastTableIndices;
    } cases[] = {
        {"the same id twice",
         TableText("A", 128, "") + TableText("B", 128, "") + TableText("C", 129, "") + IndexBlock("X", 0) +
             IndexBlock("Y", 0),
         {"Error parsing relation B\r\nB (128)", "Error parsing index Y\r\n\t    80 - 99% = 3"},
         {"A", "C"},
         {"X"},
         1},
        // An id below the one before is no clash; the one before again is.
        {"an id below the one before, then that one again",
         TableText("A", 129, "") + TableText("B", 128, "") + IndexBlock("X", 1) + IndexBlock("Y", 0) +
             IndexBlock("Z", 1) + TableText("C", 129, ""),
         {"Error parsing index Z\r\n\t    80 - 99% = 3", "Error parsing relation C\r\nC (129)"},
         {"A", "B"},
         {"X", "Y"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Dialogs.Messages.clear();
        Dialogs.Answer(mrIgnore);
        Dialogs.Answer(mrIgnore);
        EXPECT_TRUE(ParseText(Header() + c.Text));
        EXPECT_EQ(Shown(), c.Shown);
        std::vector<std::string> tables, indices;
        for (const TRelation* r : DBInfo->Relations) tables.push_back(r->TableName);
        for (const TIndex* i : DBInfo->Indices) indices.push_back(i->IndexName);
        EXPECT_EQ(tables, c.Tables);
        EXPECT_EQ(indices, c.Indices);
        ASSERT_FALSE(DBInfo->Relations.empty());
        EXPECT_EQ(DBInfo->Relations.back()->ComponentCount(), c.LastTableIndices);
    }
}

TEST_F(OldLayout, AbortOnAnIndexEndsTheParse) {
    std::string bad = IndexBlock("BAD", 1);
    bad.replace(bad.find("nodes: 1000"), 11, "nodes: many");
    Dialogs.Answer(mrAbort);
    EXPECT_TRUE(ParseText(Header() + TableText("A", 128, "") + bad + IndexBlock("GOOD", 2) + TableText("Z", 140, "")));
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Error parsing index BAD\r\n\tDepth: 2, leaf buckets: 10, nodes: many",
                                                 SErrParseTableIndex}));
    EXPECT_EQ(DBInfo->Relations.size(), 1u);
    EXPECT_TRUE(DBInfo->Indices.empty());
    EXPECT_EQ(DBInfo->Relations[0]->ComponentCount(), 0);
}

TEST_F(OldLayout, BlocksBeforeAnyTableEndTheParse) {
    for (const std::string& block : {IndexBlock("X", 0), kBlob}) {
        SCOPED_TRACE(block.substr(0, 20));
        Dialogs.Messages.clear();
        EXPECT_TRUE(ParseText(Header() + block + TableText("A", 128, "")));
        EXPECT_EQ(Shown(), std::vector<std::string>{SErrParseTableIndex});
        EXPECT_TRUE(DBInfo->Relations.empty());
        // Without any header value the text is not statistics at all.
        Dialogs.Messages.clear();
        EXPECT_FALSE(ParseText("\t*END*\nAnalyzing database pages ...\n" + block + TableText("A", 128, "")));
        EXPECT_EQ(Shown(), std::vector<std::string>{SErrParseStatistics});
    }
}

TEST_F(OldLayout, HeaderErrorsEndTheParse) {
    struct Case {
        std::string Line;
        bool AfterNxT;
    } cases[] = {
        {"\tPage size\t\tlarge\n", false},
        {"\tWrong ODS version, expected 11, encountered 13\n", false},
        {"\tWrong ODS version, expected 11, encountered 13\n", true},
        {"\tCreation date\t\tMar 32, 2010 10:00:00\n", true},
        {"\tDump timestamp\t\tMar 3 2010 10:00:00\n", true},
        {"\tODS version\t\t1e300\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        Dialogs.Messages.clear();
        const std::string text = c.AfterNxT ? "\tNext transaction\t7\n" + c.Line + "\tPage size\t\t1024\n"
                                            : c.Line + "\tNext transaction\t7\n\tPage size\t\t1024\n";
        EXPECT_EQ(ParseText(text), c.AfterNxT);
        EXPECT_EQ(Shown(), std::vector<std::string>{c.AfterNxT ? SErrParseTableIndex : SErrParseStatistics});
        // Values after the failing line are never read.
        EXPECT_EQ(DBInfo->PageSize, 0);
    }
}

TEST_F(OldLayout, WrongOdsRaisesTheServerMessage) {
    StatSource = std::make_shared<TStringsSource>(TStringList{"\tWrong ODS version 13", "\t*END*"});
    std::string line;
    try {
        ParseHeaderBlock(line);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Server can not work with this database:\r\n\tWrong ODS version 13");
    }
    StatSource.reset();
}

TEST_F(OldLayout, OdsVersionAndFormatType) {
    struct Case {
        const char* Line;
        const char* Ods;
        int Major, Minor;
    } cases[] = {
        {"\tODS version\t\t11.2 type 0200", "11.2 unfinished Fifrebird 2 format", 11, 2},
        {"\tODS version\t\t11.0 type 0100", "11.0 Firebird 2 format", 11, 0},
        {"\tODS version\t\t11.1 type 0300", "11.1", 11, 1},
        {"\tODS version\t\t10.0", "10.0", 10, 0},
        {"\tODS version\t\t10.1", "10.1", 10, 1},
        {"\tODS version\t\t12.5", "12.5", 12, 5},
        {"\tODS version\t\t13.9", "13.9", 13, 9},
        {"\tODS version\t\t8", "8", 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        ASSERT_TRUE(ParseStatLines({c.Line, "\tNext transaction\t1"}));
        EXPECT_EQ(DBInfo->ODS, c.Ods);
        EXPECT_EQ(DBInfo->ODSMajor, c.Major);
        EXPECT_EQ(DBInfo->ODSMinor, c.Minor);
    }
}

TEST_F(OldLayout, HeaderDates) {
    struct Case {
        const char* Line;
        TDateTime Expected;
    } cases[] = {
        {"\tCreation date\t\tMay 27, 2013 23:40:53", EncodeDate(2013, 5, 27) + EncodeTime(23, 40, 53, 0)},
        {"\tCreation date\t\tJul 27, 2026 0:12:26", EncodeDate(2026, 7, 27) + EncodeTime(0, 12, 26, 0)},
        // A month name not among the twelve is December.
        {"\tCreation date\t\tmay 27, 2013 23:40:53", EncodeDate(2013, 12, 27) + EncodeTime(23, 40, 53, 0)},
        // A time that cannot be read is midnight.
        {"\tCreation date\t\tFeb 3, 2001 at noon", EncodeDate(2001, 2, 3)},
        // Without a time the year loses its last digit (the last character
        // of the date text is taken for the end of the time).
        {"\tCreation date\t\tFeb 3, 2001", EncodeDate(200, 2, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        ASSERT_TRUE(ParseStatLines({"\tNext transaction\t1", c.Line}));
        EXPECT_TRUE(Dialogs.Messages.empty());
        EXPECT_DOUBLE_EQ(DBInfo->CDate, c.Expected);
    }
    ASSERT_TRUE(ParseStatLines({"\tNext transaction\t1", "\tWrite timestamp\tJan 2, 2003 04:05:06",
                                "\tDump timestamp\tDec 31, 1999 23:59:59"}));
    EXPECT_DOUBLE_EQ(DBInfo->WDate, EncodeDate(2003, 1, 2) + EncodeTime(4, 5, 6, 0));
    EXPECT_DOUBLE_EQ(DBInfo->DDate, EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 0));
    EXPECT_EQ(DBInfo->CDate, 0);
    EXPECT_EQ(DBInfo->Age, 0);
}

// Transactions per day: whole days between the creation date and the day after
// the statistics' date; a creation date up to two days after the statistics'
// date (no whole day) counts as one day instead of ending the parse.
TEST_F(OldLayout, AverageTransactionsPerDay) {
    struct Case {
        const char* Creation;
        int Nxt;
        int Expected;
    } cases[] = {
        // The statistics' date is Jan 5, 2010 00:00, so the span is taken to
        // Jan 6, 00:00.
        {"Jan 3, 2010 12:00:00", 150, 75},    // 2.5 days
        {"Jan 4, 2010 12:00:00", 150, 150},   // 1.5 days
        {"Jan 5, 2010 00:00:01", 150, 150},   // 0.99: one day
        {"Jan 5, 2010 10:20:30", 150, 150},   // 0.57: one day
        {"Jan 6, 2010 23:00:00", 150, 150},   // 0.96: one day
        {"Jan 7, 2010 00:00:00", 150, 150},   // 1.0 day
        {"Jan 8, 2010 12:00:00", 150, 75},    // 2.5 days, after the statistics
        {"Dec 25, 2009 00:00:00", 5, 1},      // 12 days, 5 / 12 = 0 gives 1
        {"Dec 25, 2009 00:00:00", 150, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Creation);
        const std::string path = TempPath("dates.txt");
        WriteFile(path, "\tNext transaction\t" + std::to_string(c.Nxt) + "\n\tCreation date\t\t" + c.Creation +
                            "\n\tPage size\t\t2048\n\t*END*\n");
        SetFileTime(path, 2010, 1, 5, 0, 0, 0);
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseStatFile(path));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_EQ(DBInfo->AverageTran, c.Expected);
        EXPECT_EQ(DBInfo->PageSize, 2048);
    }
}

// A file's statistics are dated by the engine's own "Gstat execution time"
// line before the header, however the file's date was moved by copying;
// without a readable line the file's date stands. Lists from a server keep
// their own date.
TEST_F(OldLayout, StatisticsDateIsTheTextsOwn) {
    const TDateTime fileDate = EncodeDate(2030, 6, 1);
    const TDateTime jan5 = EncodeDate(2010, 1, 5);
    struct Case {
        std::string Before, After;
        TDateTime Age;
        int AverageTran;
    } cases[] = {
        {"Gstat execution time Tue Jan  5 00:00:00 2010\n", "", jan5, 12},
        {"Gstat execution time Tue Jan 05 13:14:15 2010\n", "", jan5 + EncodeTime(13, 14, 15, 0), 12},
        {"Gstat execution time Tue Jan  5 00:00:00 2010 \n", "", jan5, 12},   // the Services API's blank
        {"", "", fileDate, 1},
        {"Gstat execution time soon\n", "", fileDate, 1},
        {"Gstat execution time Tue Feb 30 00:00:00 2010\n", "", fileDate, 1},
        {"Gstat execution time Tue Jan  5 00:00 2010\n", "", fileDate, 1},
        {"Gstat execution time Tue Jan  5 00:00:00\n", "", fileDate, 1},
        {"", "Gstat execution time Tue Jan  5 00:00:00 2010\n", fileDate, 1},   // after the creation date
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Before + c.After);
        const std::string path = TempPath("dated.txt");
        WriteFile(path, "Database \"/data/x.fdb\"\n" + c.Before + "\nDatabase header page information:\n"
                        "\tNext transaction\t150\n\tCreation date\t\tDec 25, 2009 00:00:00\n" + c.After +
                        "\tPage size\t\t2048\n\t*END*\n");
        SetFileTime(path, 2030, 6, 1, 0, 0, 0);
        Dialogs.Messages.clear();
        ASSERT_TRUE(ParseStatFile(path));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_DOUBLE_EQ(DBInfo->Age, c.Age);
        EXPECT_EQ(DBInfo->AverageTran, c.AverageTran);
    }
    const TDateTime before = Now();
    ASSERT_TRUE(ParseStatLines({"Gstat execution time Tue Jan  5 00:00:00 2010", "\tNext transaction\t150",
                                "\tCreation date\t\tDec 25, 2009 00:00:00"}));
    EXPECT_GE(DBInfo->Age, before);
}

TEST_F(OldLayout, AttributesForcedWritesAndSweep) {
    ASSERT_TRUE(ParseStatLines({"\tNext transaction\t1", "\tAttributes\t\tno reserve"}));
    EXPECT_EQ(DBInfo->FW, 0);
    EXPECT_EQ(DBInfo->Attrib, "no reserve");
    EXPECT_EQ(DBInfo->Sweep, 20000);
    ASSERT_TRUE(ParseStatLines({"\tNext transaction\t1", "\tAttributes", "\tSweep interval:\t0"}));
    EXPECT_EQ(DBInfo->Attrib, "");
    EXPECT_EQ(DBInfo->Sweep, 0);
}

TEST_F(OldLayout, IndexOnlyStatistics) {
    const std::string text = Header() + "COUNTRY (128)\n\n" + IndexBlock("RDB$PRIMARY1", 0) +
                             "EMPTY (129)\n\n"        // no index: the next table follows directly
                             "CUSTOMER (130)\n\n" +
                             IndexBlock("CUSTNAMEX", 1) + IndexBlock("CUSTREGION", 2) + "LAST (131)\n";
    ASSERT_TRUE(ParseText(text));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    ASSERT_EQ(DBInfo->Relations.size(), 4u);
    EXPECT_EQ(Table("EMPTY")->Id, 129);
    EXPECT_EQ(Table("LAST")->Name(), "Relation131");
    EXPECT_EQ(Index("RDB$PRIMARY1")->Relation, Table("COUNTRY"));
    EXPECT_EQ(Index("CUSTNAMEX")->Relation, Table("CUSTOMER"));
    EXPECT_EQ(Index("CUSTREGION")->Relation, Table("CUSTOMER"));
    EXPECT_EQ(Table("CUSTOMER")->PointerPage, 0);
    EXPECT_FALSE(DBInfo->IsRecordInfoAvailable);
}

// Names are read by the line's place and shape: a table named like an index
// line, a blob line or a log line is a table, and an index named like a blob
// line is an index.
TEST_F(OldLayout, NamesThatLookLikeOtherLines) {
    const std::string text = Header() + TableText("Index X", 200, "") + IndexBlock("Blob pointer", 1) +
                             TableText("A Blob pointer", 201, "") + kBlob + TableText("C Service ended", 202, "") +
                             IndexBlock("Index Y (3)", 2) + TableText(" B", 203, "") + IndexBlock(" B idx", 4) +
                             TableText("Tab\tTab", 204, "");
    ASSERT_TRUE(ParseText(text));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    ASSERT_EQ(DBInfo->Relations.size(), 5u);
    ASSERT_EQ(DBInfo->Indices.size(), 3u);
    const struct {
        const char* Table;
        int Id;
        const char* Index;
    } expected[] = {{"Index X", 200, "Blob pointer"}, {"A Blob pointer", 201, nullptr},
                    {"C Service ended", 202, "Index Y (3)"}, {" B", 203, " B idx"}, {"Tab\tTab", 204, nullptr}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.Table);
        ASSERT_NE(Table(e.Table), nullptr);
        EXPECT_EQ(Table(e.Table)->Id, e.Id);
        EXPECT_EQ(Table(e.Table)->DataPages, 40);
        EXPECT_EQ(Table(e.Table)->ComponentCount(), e.Index ? 1 : 0);
        if (e.Index) {
            ASSERT_NE(Index(e.Index), nullptr);
            EXPECT_EQ(Index(e.Index)->Relation, Table(e.Table));
            EXPECT_EQ(Index(e.Index)->Nodes, 1000);
        }
    }
    EXPECT_TRUE(Table("A Blob pointer")->Blobs);
    EXPECT_EQ(Table("A Blob pointer")->BPages, 12);
    EXPECT_FALSE(Table("Index X")->Blobs);
}

TEST_F(OldLayout, DatabaseNameWrappedByAMailClientIsJoined) {
    const struct {
        const char* Line;
        const char* Name;
    } cases[] = {
        {"Database \"/data/very/lo\nng/old.gdb\"", "/data/very/long/old.gdb"},
        // Broken inside a two-byte character: whole again.
        {"Database \"/data/\xD0\n\xB6/old.gdb\"", "/data/\xD0\xB6/old.gdb"},
        {"Database \"/data/a\nb\nc.gdb\"", "/data/abc.gdb"},
        {"Database \"/data/old.gdb\" ", "/data/old.gdb"},
        // Cut before its quote, the next line a header line: all it has.
        {"Database \"/data/ol", "/data/ol"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        std::string text = Header() + TableText("T", 128, "");
        const std::string from = "Database \"/data/old.gdb\"";
        text.replace(text.find(from), from.size(), c.Line);
        ASSERT_TRUE(ParseText(text));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_EQ(DBInfo->DbName, c.Name);
        EXPECT_EQ(DBInfo->PageSize, 4096);
        EXPECT_EQ(DBInfo->Relations.size(), 1u);
    }
}

TEST_F(OldLayout, HalvesRoundToEven) {
    // 20 bytes a record (17.2 + 2.8); 1024-byte pages; 125 data pages:
    // 3360 records give a real fill of 52.5, 3424 give 53.5.
    const std::string data = "    Data pages: 125, data page slots: 125, average fill: 50%\n";
    const std::string text = "\tPage size\t\t1024\n\tNext transaction\t9\n\t*END*\nAnalyzing database pages ...\n" +
                             TableText("A", 128, Records("2.80", "3360", "0"), data) +
                             TableText("B", 129, Records("2.80", "3424", "0"), data) +
                             IndexBlock("EIGHTH", 0, 8, "", 0, 0, 0, 0, 1) +
                             IndexBlock("THREE_EIGHTHS", 1, 8, "", 0, 0, 0, 0, 3);
    ASSERT_TRUE(ParseText(text));
    EXPECT_EQ(Table("A")->RealFill, 52);
    EXPECT_EQ(Table("B")->RealFill, 54);
    EXPECT_EQ(Index("EIGHTH")->AverageFill, 12);         // 12.5
    EXPECT_EQ(Index("THREE_EIGHTHS")->AverageFill, 38);  // 37.5
}

TEST_F(OldLayout, TableWithoutDataPagesButWithRecordsFails) {
    Dialogs.Answer(mrIgnore);
    EXPECT_TRUE(ParseText(Header() + TableText("NOPAGES", 128, Records("10.00", "5", "0"),
                                           "    Data pages: 0, data page slots: 0, average fill: 0%\n")));
    EXPECT_EQ(Shown(), std::vector<std::string>{"Error parsing relation NOPAGES\r\n\t80 - 99% = 30"});
}

TEST_F(OldLayout, ParsingReadsPointsAndLeavesTheProcessFormatAlone) {
    // Each length is the double nearest to its text, sign included, however
    // many digits it has.
    for (const char* recLen : {"1.50", "0.1", "-0.00", "123456789012.345", "1234567890123.4567", "2.5e3"}) {
        SCOPED_TRACE(recLen);
        FormatSettings().DecimalSeparator = ',';
        FormatSettings().TimeSeparator = '.';
        const bool parsed = ParseText(Header() + TableText("T", 128, Records(recLen, "2")));
        const char decimal = FormatSettings().DecimalSeparator, time = FormatSettings().TimeSeparator;
        FormatSettings().DecimalSeparator = '.';
        FormatSettings().TimeSeparator = ':';
        ASSERT_TRUE(parsed);
        EXPECT_EQ(decimal, ',');
        EXPECT_EQ(time, '.');
        const double expected = std::strtod(recLen, nullptr);
        EXPECT_EQ(Table("T")->RecLen, expected);
        EXPECT_EQ(std::signbit(Table("T")->RecLen), std::signbit(expected));
        EXPECT_NE(std::fmod(DBInfo->CDate, 1.0), 0.0);  // the creation time was read with ':'
    }
}

TEST_F(OldLayout, MissingFileRaisesAfterTheReset) {
    ASSERT_TRUE(ParseText(FullText()));
    ASSERT_FALSE(DBInfo->Relations.empty());
    EXPECT_THROW(ParseStatFile(TempPath("no-such-file.txt")), EInOutError);
    EXPECT_TRUE(DBInfo->Relations.empty());
    EXPECT_EQ(DBInfo->PageSize, 0);
    EXPECT_EQ(StatSource, nullptr);
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST(ExtractBetween, PositionsAndTrimming) {
    struct Case {
        const char *Start, *Stop, *Line, *Expected;
    } cases[] = {
        {"pages: ", ", data", "    Data pages: 40, data page slots: 42", "40"},
        {"size", "", "\tPage size\t\t4096", "4096"},
        {"fill: ", "%", "average fill: 75%", "75"},
        // The stop marker is searched in the whole line, not after the start.
        {"b", "a", "a b c", ""},
        {"x", ",", "x, y", ""},
        // Stop marker absent: nothing.
        {"fill: ", "%", "average fill: 75", ""},
        // Start marker absent: from position length(start), 1-based.
        {"abc", "", "0123456789", "23456789"},
        {"= ", "", "no marker", "o marker"},
        // Blanks and control characters go at both ends.
        {":", "", "k:\t \x01 v \r", "v"},
        {"", "", "  whole  ", "whole"},
        {"long start marker", "", "short", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtractBetween(c.Start, c.Stop, c.Line), c.Expected)
            << c.Start << " | " << c.Stop << " | " << c.Line;
}

TEST(MonthFromName, ExactNamesElseDecember) {
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(MonthFromName(names[m - 1]), m);
        EXPECT_STREQ(StatMonthNames[m], names[m - 1]);
    }
    for (const char* other : {"jan", "JAN", "", "Sept", "Ja", "Foo"}) EXPECT_EQ(MonthFromName(other), 12) << other;
}

}  // namespace
