// The summary view: the tree as the user reads it (row order, conditions,
// values), problem-list membership at its bounds, hints, fills, transaction
// bars, bold group rows, icons, the jumps to the other views and Copy.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "model/StatParser.h"
#include "model/report.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/streaming/ComponentText.h"
#include "tests/support/TestModel.h"
#include "tests/support/qt/PaintRequests.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/gridview.h"
#include "ui/views/indexStat.h"
#include "ui/views/tablestat.h"

namespace dv::test {
namespace {

class DbInfoTest : public DbInfoModelTest {
protected:
    void SetUp() override {
        DbInfoModelTest::SetUp();
        Frame = std::make_unique<TFrDbInfo>(nullptr);
        Tree = Frame->vstDbInfo;
    }
    void TearDown() override {
        Frame.reset();
        DbInfoModelTest::TearDown();
    }
    // One case of a table-driven test: the model and the frame as at the
    // start, changed by `set`, then the tree filled.
    void FillCase(const std::function<void()>& set) {
        TearDown();
        SetUp();
        set();
        Frame->FillDbInfo();
    }

    std::string Text(PVirtualNode n, int column) {
        std::string s;
        Tree->OnGetText(Tree, n, column, s);
        return s;
    }
    std::string Hint(PVirtualNode n) {
        std::string s;
        Tree->OnGetHint(Tree, n, 0, s);
        return s;
    }
    // The tree as indented lines: "caption | value" per row.
    std::vector<std::string> Lines() {
        std::vector<std::string> out;
        for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n)) {
            std::string v = Text(n, 1);
            out.push_back(std::string(2 * Tree->GetNodeLevel(n), ' ') + Text(n, 0) + (v.empty() ? "" : " | " + v));
        }
        return out;
    }
    PVirtualNode NodeOf(intptr_t code) {
        for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n))
            if (TVirtualStringTree::GetNodeData(n) == code) return n;
        return nullptr;
    }
    std::vector<intptr_t> Codes() {
        std::vector<intptr_t> out;
        for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n)) out.push_back(TVirtualStringTree::GetNodeData(n));
        return out;
    }
    std::vector<std::string> Children(intptr_t group) {
        std::vector<std::string> out;
        PVirtualNode g = NodeOf(group);
        for (PVirtualNode c = g ? Tree->GetFirstChild(g) : nullptr; c; c = Tree->GetNextSibling(c))
            out.push_back(Text(c, 0));
        return out;
    }

    std::unique_ptr<TFrDbInfo> Frame;
    TVirtualStringTree* Tree = nullptr;
};

TEST_F(DbInfoTest, HealthyDatabaseRowsInOrderAndAllGroupsWithoutChildren) {
    Frame->FillDbInfo();
    const std::vector<std::string> expected = {
        "Database info",
        "  Database name | /data/shop.fdb",
        "  Creation date | 01/03/2024",
        "  Statistics date | 01/03/2024 12:00:00",
        "  Page size | 8192",
        "  Forced Write | ON",
        "  Dialect | 3",
        "  OnDiskStructure | 12.0",
        "  Sweep interval | 0",
        "  Oldest transaction | 100",
        "  Oldest snapshot | 101",
        "  Oldest active | 101",
        "  Next transaction | 102",
        "  Sweep gap (active - oldest) | 1",
        "  TIP size | 1 pages, 8 kilobytes",
        "  Snapshot TIP size | 2 transactions, 8 kilobytes",
        "  Active transactions | 1, 1% of daily average",
        "  Transactions per day | 102, for 1 days",
        "Fragmented tables",
        "Versioned tables",
        "Tables fragmented with blobs",
        "Massive deletes/updates",
        "Very big tables",
        "Deep indices",
        "Bad indices",
        "Broken or incomplete indices",
        "Useless indices",
        "Tables with no records",
    };
    EXPECT_EQ(Lines(), expected);
    OptionSettings.ZeroTables = false;
    Frame->FillDbInfo();
    EXPECT_EQ(Tree->RootNodeCount(), 10);   // the root and nine groups
    EXPECT_EQ(Lines().back(), "Useless indices");
}

TEST_F(DbInfoTest, OptionalRowsAndTheSweepGapRow) {
    struct Case {
        const char* name;
        std::function<void(TDatabaseInfo&)> set;
        std::vector<intptr_t> present, absent;
    };
    const Case cases[] = {
        {"ODS 12", [](TDatabaseInfo&) {}, {220}, {225, 255, 256, 205, 280, 285}},
        {"ODS 11", [](TDatabaseInfo& d) { d.ODSMajor = 11; }, {220}, {225}},
        {"ODS 10", [](TDatabaseInfo& d) { d.ODSMajor = 10; }, {225}, {220}},
        {"ODS 10 with FB152", [](TDatabaseInfo& d) { d.ODSMajor = 10; OptionSettings.FB152 = true; }, {220}, {225}},
        {"write date", [](TDatabaseInfo& d) { d.WDate = d.Age; }, {255}, {256}},
        {"dump date", [](TDatabaseInfo& d) { d.DDate = d.Age; }, {256}, {255}},
        {"attributes", [](TDatabaseInfo& d) { d.Attrib = "force write, no reserve"; }, {205}, {}},
        {"record sizes", [](TDatabaseInfo& d) { d.RecordSize = 1; }, {280}, {285}},
        {"database size", [](TDatabaseInfo& d) { d.DBSize = 1; }, {285}, {280}},
    };
    for (const Case& c : cases) {
        FillCase([&] { c.set(*DBInfo); });
        const auto codes = Codes();
        for (intptr_t p : c.present) EXPECT_EQ(std::count(codes.begin(), codes.end(), p), 1) << c.name << " " << p;
        for (intptr_t a : c.absent) EXPECT_EQ(std::count(codes.begin(), codes.end(), a), 0) << c.name << " " << a;
        // The sweep gap row always sits right after "Next transaction".
        auto next = std::find(codes.begin(), codes.end(), 160);
        ASSERT_NE(next + 1, codes.end());
        EXPECT_TRUE(next[1] == 220 || next[1] == 225) << c.name;
    }
}

TEST_F(DbInfoTest, EveryOptionalRowInItsPlace) {
    TDatabaseInfo& db = *DBInfo;
    db.WDate = db.Age;
    db.DDate = db.Age;
    db.Attrib = "force write";
    db.RecordSize = 3LL * 1024 * 1024;
    db.VersionSize = 1024 * 1024 + 600 * 1024;   // 1.59 MB -> 2
    db.IndexSize = 8192LL * 128;                  // 128 pages, 1 MB
    db.Pages = 384;                               // 3 MB of data pages
    db.Garbage = 12.5;
    db.DBSize = 8 * 1024;                         // kilobytes: 1024 pages
    Frame->FillDbInfo();
    const std::vector<intptr_t> expected = {1,   100, 250, 255, 256, 270, 110, 180, 190, 200, 205, 210,
                                            130, 150, 140, 160, 220, 230, 235, 170, 260, 280, 285};
    auto codes = Codes();
    codes.resize(expected.size());
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(Text(NodeOf(280), 1), "12.50% - records: 3 mb, versions: 2 mb, pages 3 mb, indices 1 mb");
    // (128 + 384) pages of 8 KB in 8 MB: 50 %.
    EXPECT_EQ(Text(NodeOf(285), 1), "  8.00 megabytes, 50% data and indices");
    EXPECT_EQ(Text(NodeOf(256), 0), "Dump timestamp");
    EXPECT_EQ(Text(NodeOf(205), 1), "force write");
}

TEST_F(DbInfoTest, ValuesOfTheDatabaseRows) {
    TDatabaseInfo& db = *DBInfo;
    struct Case { const char* name; std::function<void()> set; intptr_t code; const char* value; };
    const Case cases[] = {
        {"FW off", [&] { db.FW = 0; }, 180, "OFF"},
        {"FW unknown", [&] { db.FW = 2; }, 180, ""},
        {"ODS with suffix", [&] { db.ODS = "11.2 (IB)"; }, 200, "11.2 (IB)"},
        {"TIP size", [&] { db.NxT = 100000000; db.PageSize = 4096; }, 230, "6105 pages, 24418 kilobytes"},
        {"snapshot TIP", [&] { db.NxT = 4194404; }, 235, "4194304 transactions, 1032 kilobytes"},
        {"active share", [&] { db.NxT = 2101; db.AverageTran = 1000; }, 170, "2000, 200% of daily average"},
        {"wrapped counters", [&] { db.ODSMajor = 11; db.OIT = 2147483000; db.OAT = -2147483000; }, 220, "1296"},
        {"48-bit counters do not wrap", [&] { db.OIT = 7; db.OAT = 2999990000; }, 220, "2999989993"},
        {"many days", [&] { db.NxT = 1000; db.Age = db.CDate + 9.9; }, 260, "100, for 10 days"},
        // A creation date 1.5 days after the statistics: at least one day.
        {"creation after statistics", [&] { db.NxT = 700; db.CDate = db.Age + 1.5; }, 260, "700, for 1 days"},
        {"daily average 0 (edited file)", [&] { db.AverageTran = 0; db.NxT = 103; }, 170, "2, 200% of daily average"},
    };
    for (const Case& c : cases) {
        FillCase(c.set);
        ASSERT_NE(NodeOf(c.code), nullptr) << c.name;
        EXPECT_EQ(Text(NodeOf(c.code), 1), c.value) << c.name;
    }
}

// ---------------------------------------------------------------- lists

TEST_F(DbInfoTest, EachProblemListHoldsItsObjectsAndTheTreeShowsThem) {
    AddOneOfEachProblem();
    Frame->FillDbInfo();
    EXPECT_EQ(Children(siFragmentedTables), std::vector<std::string>{"FRAG"});
    EXPECT_EQ(Children(siVersionedTables), std::vector<std::string>{"VERS"});
    EXPECT_EQ(Children(siBlobTables), std::vector<std::string>{"BLOB"});
    EXPECT_EQ(Children(siMassDeletes), std::vector<std::string>{"MASS"});
    EXPECT_EQ(Children(siVeryBigTables), std::vector<std::string>{"BIG"});
    EXPECT_EQ(Children(siEmptyTables), std::vector<std::string>{"EMPTY"});
    EXPECT_EQ(Children(siDeepIndices), std::vector<std::string>{"IDX_DEEP (HOST)"});
    EXPECT_EQ(Children(siBadIndices), (std::vector<std::string>{"IDX_BAD (HOST)", "IDX_USELESS (HOST)"}));
    EXPECT_EQ(Children(siUselessIndices), std::vector<std::string>{"IDX_USELESS (HOST)"});
    EXPECT_EQ(Children(siBrokenIndices), std::vector<std::string>{"IDX_BROKEN (HOST)"});
    EXPECT_EQ(Frame->Problems.BadIndices.size(), 2u);
    EXPECT_EQ(Frame->Problems.TablesWithNoRecords.at(0)->TableName, "EMPTY");
    // The child rows carry the group's child code.
    EXPECT_EQ(TVirtualStringTree::GetNodeData(Tree->GetFirstChild(NodeOf(siBrokenIndices))), 1200);
    EXPECT_EQ(TVirtualStringTree::GetNodeData(Tree->GetFirstChild(NodeOf(siVersionedTables))), 500);
    // Marks set while the lists were filled.
    EXPECT_TRUE(DBInfo->Relations[1]->Problem);   // VERS
    EXPECT_TRUE(DBInfo->Indices[3]->Problem);     // IDX_BROKEN
}

TEST_F(DbInfoTest, ListsFollowModelOrderAndARefillReplacesThem) {
    for (const char* n : {"C_EMPTY", "A_EMPTY", "B_EMPTY"}) AddTable(n, 0, 0);
    Frame->FillDbInfo();
    EXPECT_EQ(Children(siEmptyTables), (std::vector<std::string>{"C_EMPTY", "A_EMPTY", "B_EMPTY"}));
    DBInfo->Relations[1]->Records = 5;
    Frame->FillDbInfo();
    EXPECT_EQ(Children(siEmptyTables), (std::vector<std::string>{"C_EMPTY", "B_EMPTY"}));
    ASSERT_EQ(Frame->Problems.TablesWithNoRecords.size(), 2u);
    EXPECT_EQ(Frame->Problems.TablesWithNoRecords[1], DBInfo->Relations[2]);
}

TEST_F(DbInfoTest, ColumnsFitTheirWidestCellAmongMoreRowsThanAFitMeasures) {
    for (size_t k = 0; k < 2 * kFitSample; ++k) AddTable("E" + std::to_string(k), 0, 0);
    AddTable("WIDEST_OF_ALL_THE_TABLE_NAMES_IN_THIS_DATABASE", 0, 0);
    Frame->FillDbInfo();
    for (int c : {0, 1}) EXPECT_EQ(Tree->Header().Columns[c].Width(), Tree->GetMaxColumnWidth(c)) << c;
}

TEST_F(DbInfoTest, TextLengthsCountWhatTheCellsShow) {
    // Numbers wider than their fields, negative ones, names of several bytes
    // a character and an index without its table.
    const std::vector<std::function<void()>> cases = {
        [&] { AddOneOfEachProblem(); },
        [&] {
            AddOneOfEachProblem();
            for (TRelation* r : DBInfo->Relations) {
                r->Records = r->Records * 1000003;
                r->DataPages = static_cast<int32_t>(std::min<int64_t>(int64_t{r->DataPages} * 9001, INT32_MAX));
            }
            for (TIndex* i : DBInfo->Indices) {
                i->Depth = 123;
                i->AverageFill = 1234;
                i->Nodes = i->Nodes == 5000 ? -7 : i->Nodes;
            }
        },
        [&] {
            TRelation* t = AddTable("TABELLE_\xC3\x84RGER_\xE6\x97\xA5", 1000, 100);
            t->AverageFill = -500;
            AddTable("\xD0\x9F\xD0\xA3\xD0\xA1\xD0\xA2\xD0\x9E", 0, 0);
            TIndex* i = AddIndex(t, "IDX_\xC3\x84_\xC3\x9C", 10);
            i->Depth = 9;
            i->AverageFill = -100;
            TIndex* orphan = AddIndex(t, "IDX_ORPHAN", 10);
            orphan->Depth = 5;
            orphan->Relation = nullptr;
        },
    };
    for (size_t k = 0; k < cases.size(); ++k) {
        FillCase(cases[k]);
        for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n)) {
            const int code = static_cast<int>(TVirtualStringTree::GetNodeData(n));
            for (int c : {0, 1})
                EXPECT_EQ(Frame->TextLength(code, IsObjectRow(code) ? Tree->GetNodeIndex(n) : 0, c),
                          Utf8Length(Text(n, c)))
                    << "case " << k << ": " << Text(n, c);
        }
    }
}

TEST_F(DbInfoTest, ObjectRowValues) {
    TRelation* t = AddTable("ORDERS", 123456, 500);
    t->AverageFill = 7;
    t->Versions = 400000;
    t->VerLen = 10;
    t->RecLen = 40;
    t->MaxVer = 1;
    TIndex* i = AddIndex(t, "IDX_ORDERS_STATE", 10000);
    i->Depth = 4;
    i->AverageFill = 55;
    i->TotalDup = 9990;
    i->MaxDup = 5000;
    i->Uniques = 10;
    i->Inactive = 1;   // fewer keys than records, but an inactive index is never "broken"
    TIndex* broken = AddIndex(t, "IDX_ORDERS_PART", 100000);
    (void)broken;
    Frame->FillDbInfo();
    auto first = [&](intptr_t group) { return Text(Tree->GetFirstChild(NodeOf(group)), 1); };
    EXPECT_EQ(first(siFragmentedTables), "Average Fill:   7%, Records    123456, Pages    500");
    // (10 + 17.2) / ((40 + 17.2) / 100) = 47.55 -> 48
    EXPECT_EQ(first(siVersionedTables), "Records: 123456, versions: 400000, verlen is 48% from reclen");
    EXPECT_EQ(first(siMassDeletes), "Records: 123456, versions: 400000, RecLen: 40.00, VerLen 10.00");
    EXPECT_EQ(first(siDeepIndices), "Index depth:  4, Average Fill  55%");
    EXPECT_EQ(first(siBadIndices), "Duplicates - 100%, Max Equals -  50%, Unique values - 10 (00.100%)");
    EXPECT_EQ(first(siBrokenIndices), "Records: 123456, Keys: 100000, Difference - 23456");
    EXPECT_EQ(Text(Tree->GetFirstChild(NodeOf(siBrokenIndices)), 0), "IDX_ORDERS_PART (ORDERS)");
}

TEST_F(DbInfoTest, BadIndexWithASmallShareShowsThreeBlanks) {
    OptionSettings.KeyTotalDup = 0;
    OptionSettings.KeyMaxDup = 0;
    TIndex* i = AddIndex(AddTable("T", 10000, 10), "I", 10000);
    i->TotalDup = 40;   // 0.4 % rounds to nothing
    i->MaxDup = 1;
    i->Uniques = 9960;
    Frame->FillDbInfo();
    EXPECT_EQ(Text(Tree->GetFirstChild(NodeOf(siBadIndices)), 1),
              "Duplicates -    %, Max Equals -    %, Unique values - 9960 (99.600%)");
}

TEST_F(DbInfoTest, OtherObjectRowValues) {
    TRelation* big = AddTable("BIG", 300000000, NearPageLimitLow(8192));
    TRelation* blob = AddTable("BLOBBY", 10, 500);
    TRelation* host = AddTable("HOST", 5000, 10);
    TIndex* useless = AddIndex(host, "IDX_ONE", 5000);
    useless->Uniques = 1;
    AddTable("EMPTY", 0, 0);
    Frame->FillDbInfo();
    EXPECT_EQ(Text(Tree->GetFirstChild(NodeOf(siVeryBigTables)), 1), "Data Pages = " + std::to_string(big->DataPages));
    EXPECT_EQ(Text(Tree->GetFirstChild(NodeOf(siBlobTables)), 1),
              "Records: 10, Estimated records: " + std::to_string(EstimateRecordCapacity(*blob)) +
                  ", Real avg.fill: " + std::to_string(EstimateRealFill(*blob)) + "%");
    EXPECT_EQ(Text(Tree->GetFirstChild(NodeOf(siUselessIndices)), 1), "Equal keys - 5000");
    EXPECT_EQ(Text(Tree->GetFirstChild(NodeOf(siEmptyTables)), 1), " 0 records");
}

// ---------------------------------------------------------------- hints

TEST_F(DbInfoTest, OdsListStaysUnwrappedAndOtherHintsWrap) {
    OptionSettings.HintWidth = 10;
    Frame->FillDbInfo();
    const std::string ods = Hint(NodeOf(200));
    EXPECT_EQ(ods.find("\r\n"), std::string::npos);
    EXPECT_EQ(std::count(ods.begin(), ods.end(), '\n'), 11);
    EXPECT_EQ(ods.rfind(" 8.0  - InterBase 4.0/4.1\n\r 8.2  - InterBase 4.2\n\r", 0), 0u);
    EXPECT_EQ(ods.substr(ods.size() - 27), "\n\r15.0  - InterBase XE, XE3");
    const std::string group = Hint(NodeOf(siVersionedTables));
    EXPECT_NE(group.find("\r\n"), std::string::npos);
    EXPECT_EQ(Unwrapped(group), "List of tables with versions count greater than records.");
}

TEST_F(DbInfoTest, HintsDependOnTheirConditions) {
    TDatabaseInfo& db = *DBInfo;
    OptionSettings.HintWidth = 1000;   // compare whole texts
    struct Case { const char* name; std::function<void()> set; intptr_t code; std::string hint; };
    const std::string fw = "Forced Write = OFF can cause database corruption in case of power failure (without UPS) "
                           "or operating system crush.";
    const Case cases[] = {
        {"page size 8192", [] {}, 110, ""},
        {"page size 2048", [&] { db.PageSize = 2048; }, 110,
         "Page size is too small. Make backup and restore with -page option using 4096 or 8192 page size value."},
        {"FW on", [] {}, 180, ""},
        {"FW off, ODS 12", [&] { db.FW = 0; }, 180,
         fw + "\r\nIf this database have journal on, than Forced Write = OFF is OK."},
        {"FW off, ODS 11", [&] { db.FW = 0; db.ODSMajor = 11; }, 180, fw},
        {"FW unknown", [&] { db.FW = 2; }, 180, ""},
        {"sweep on", [&] { db.Sweep = 20000; }, 210,
         "Automatic sweep is ON. When Sweep Gap is greater than Sweep interval, it is recommended to set sweep "
         "interval to 0 (gfix -housekeeping 0) and run gfix -sweep routinely or when no users are connected."},
        {"sweep gap over the interval", [&] { db.Sweep = 1000; db.OAT = 1200; db.OST = 1200; db.NxT = 1300; }, 220,
         "Sweep interval (1000) is less than Sweep Gap (1100) - Maybe some transactions were rolled back, or there "
         "were \"connection lost\" errors. It is recommended to set sweep interval to 0 (gfix -housekeeping 0) and "
         "run gfix -sweep routinely or when no users are connected."},
        {"sweep gap over the daily average",
         [&] { db.ODSMajor = 10; db.OST = 400; db.OAT = 400; db.NxT = 500; db.AverageTran = 250; }, 225,
         "Sweep interval is 0, but Sweep gap is bigger (300) than average transactions per day (250). Maybe some "
         "transactions were rolled back, or there were \"connection lost\" errors. You need to run gfix -sweep "
         "routinely when no users are connected "},
        {"snapshot below oldest", [&] { db.ODSMajor = 10; db.OST = 99; }, 225,
         "Oldest snapshot transaction is less than Oldest transaction.See View Recommendations about why this "
         "happens"},
        {"long snapshot",
         [&] { db.OIT = 10; db.OST = 10; db.OAT = 5000; db.NxT = 7000; db.AverageTran = 800; }, 150,
         "You have long running snapshot transaction - it was started ~  8.7 days ago, and it can block garbage "
         "collection. "},
        {"old active transaction", [&] { db.OAT = 101; db.NxT = 1101; db.AverageTran = 400; }, 170,
         "There is a long running active transaction or maybe lot of them. Oldest active transaction was started "
         "1000 transactions ago (  2.5 days) while there are ~400 average transactions per day."},
        {"next transaction high", [&] { db.ODSMajor = 11; db.NxT = 1717986918; db.OIT = db.OAT = db.OST = db.NxT - 1; db.AverageTran = 1000000; },
         160,
         "Transactions count is close to it's limit - MaxInt (2 billion). You need to backup and restore your "
         "database in the near 429 days, or database will stop functioning."},
        {"next transaction 1717986917", [&] { db.ODSMajor = 11; db.NxT = 1717986917; db.OIT = db.OAT = db.OST = db.NxT - 1; }, 160, ""},
        {"48-bit counters at 80 % of 2^31",
         [&] { db.NxT = 1717986918; db.OIT = db.OAT = db.OST = db.NxT - 1; db.AverageTran = 1000000; }, 160, ""},
        {"no reserve on a writable database", [&] { db.Attrib = "no reserve"; }, 205,
         "No_reserve option is ON, but database is not read-only.\r\nUsually no_reserve is used to compact database "
         "written on read-only media like CD, DVD, etc..\r\nWe recommend to run gfix db -mode read_write, to return "
         "reserving space on pages\r\non next restore, to speedup data modification."},
        {"no reserve, read only", [&] { db.Attrib = "no reserve, read only"; }, 205, ""},
        {"TIP", [] {}, 230, "Transaction Inventory Pages count and size."},
        {"OIT gap 262141", [&] { db.OIT = 0; db.NxT = 262141; db.OAT = db.OST = db.NxT; }, 235,
         "Lot of transactions ( > 262140) in Transaction Inventory Pages - this can slowdown TIP check for "
         "transactions state and snapshot transaction start."},
        {"OIT gap 262140", [&] { db.OIT = 0; db.NxT = 262140; db.OAT = db.OST = db.NxT; }, 235, ""},
        {"database name", [] {}, 100, ""},
    };
    for (const Case& c : cases) {
        FillCase([&] {
            OptionSettings.HintWidth = 1000;
            if (c.code == 205 && db.Attrib.empty()) db.Attrib = "x";
            c.set();
        });
        ASSERT_NE(NodeOf(c.code), nullptr) << c.name;
        EXPECT_EQ(Hint(NodeOf(c.code)), c.hint) << c.name;
    }
}

TEST_F(DbInfoTest, ObjectRowsThatJumpSayItInTheirHint) {
    AddOneOfEachProblem();
    OptionSettings.HintWidth = 1000;
    Frame->FillDbInfo();
    const std::string jump = "Double click on this object will move you to corresponding (table or index) view.";
    for (intptr_t g : {siFragmentedTables, siDeepIndices, siVersionedTables, siBadIndices, siVeryBigTables,
                       siUselessIndices, siEmptyTables})
        EXPECT_EQ(Hint(Tree->GetFirstChild(NodeOf(g))), jump) << g;
    for (intptr_t g : {siBlobTables, siMassDeletes, siBrokenIndices})
        EXPECT_EQ(Hint(Tree->GetFirstChild(NodeOf(g))), "") << g;
}

// ---------------------------------------------------------------- painting

// The cell's own colour; a row whose handler paints nothing keeps it.
constexpr TColor Ordinary = 0x00123456;
const QRect Cell(0, 0, 200, 18);
// The full-height part of the cell from x = left up to right (exclusive).
QRect Span(int left, int right) { return QRect(left, 0, right - left, 18); }
// The black lines that frame the block of transaction rows.
const QRect TopLine(0, 0, 200, 1), BottomLine(0, 17, 200, 1);

// What the view asks to paint over a row's cell, the grid having set the
// cell's own colour on the brush: one line per request, "" when nothing.
std::string PaintRow(TFrDbInfo& f, PVirtualNode node, int column = 1) {
    TPaintRecorder recorder;
    TCanvas canvas(nullptr, QFont());
    canvas.Brush.Color = Ordinary;
    f.vstDbInfo->OnBeforeCellPaint(f.vstDbInfo, canvas, node, column, Cell);
    return RequestLines(recorder.Requests);
}

TEST_F(DbInfoTest, WarningFillsOfTheValueCells) {
    TDatabaseInfo& db = *DBInfo;
    const TColor red = OptionSettings.RedColor, yellow = OptionSettings.YellowColor;
    struct Case { const char* name; std::function<void()> set; intptr_t code; TColor colour; };
    const Case cases[] = {
        {"page 1024", [&] { db.PageSize = 1024; }, 110, red},
        {"page 2048", [&] { db.PageSize = 2048; }, 110, yellow},
        {"page 4096", [&] { db.PageSize = 4096; }, 110, Ordinary},
        {"FW off ODS 12", [&] { db.FW = 0; }, 180, yellow},
        {"FW off ODS 13", [&] { db.FW = 0; db.ODSMajor = 13; }, 180, red},
        {"FW unknown", [&] { db.FW = 2; }, 180, Ordinary},
        {"no reserve", [&] { db.Attrib = "no reserve"; }, 205, red},
        {"sweep on", [&] { db.Sweep = 20000; }, 210, yellow},
        {"sweep gap over", [&] { db.Sweep = 10; db.OAT = db.OST = 200; db.NxT = 201; }, 210, red},
        {"sweep off", [] {}, 210, Ordinary},
        {"TIP over limit", [&] { db.ODSMajor = 10; db.PageSize = 1024; db.NxT = 131070000; db.OIT = db.OAT = db.OST = db.NxT; }, 230, yellow},
        {"dump date", [&] { db.DDate = 1; }, 256, 0x00F0CAA6},
        {"write date", [&] { db.WDate = 1; }, 255, Ordinary},
    };
    for (const Case& c : cases) {
        FillCase(c.set);
        ASSERT_NE(NodeOf(c.code), nullptr) << c.name;
        EXPECT_EQ(PaintRow(*Frame, NodeOf(c.code)), c.colour == Ordinary ? "" : Fills({{Cell, c.colour}})) << c.name;
        EXPECT_EQ(PaintRow(*Frame, NodeOf(c.code), 0), "") << c.name << " column 0";
    }
}

TEST_F(DbInfoTest, TransactionBarsAndTheirFrame) {
    TDatabaseInfo& db = *DBInfo;
    SetCounters(250, 500, 500, 1000);
    db.AverageTran = 100000;   // no rule holds: every bar in TransColor
    Frame->FillDbInfo();
    const TColor trans = OptionSettings.TransColor;
    // Oldest: 0 .. 50 of 200 pixels, full height, then the black line along the top.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(130)), Fills({{Span(0, 50), trans}, {TopLine, clBlack}}));
    // Next: the whole cell.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(160)), Fills({{Cell, trans}}));
    // Sweep gap: from P(OIT) = 50 to P(OAT) = 100.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(220)), Fills({{Span(50, 100), trans}}));
    // Active: from P(OAT) = 100 to the right edge, black line at the bottom.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(170)), Fills({{Span(100, 200), trans}, {BottomLine, clBlack}}));
    // Snapshot TIP: from P(OIT) to the right.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(235)), Fills({{Span(50, 200), trans}}));

    // Measured from the oldest counter: OIT is the base, its bar is empty.
    OptionSettings.TrMins = true;
    EXPECT_EQ(PaintRow(*Frame, NodeOf(130)), Fills({{TopLine, clBlack}}));
    // (500 - 250) / (1000 - 250) of 200 = 66.7 -> 67
    EXPECT_EQ(PaintRow(*Frame, NodeOf(140)), Fills({{Span(0, 67), trans}}));
}

TEST_F(DbInfoTest, SnapshotBelowOldestGivesAnEmptyBarWithTrMins) {
    TDatabaseInfo& db = *DBInfo;
    db.ODSMajor = 10;
    SetCounters(500, 400, 600, 1000);
    OptionSettings.TrMins = true;
    Frame->FillDbInfo();
    // Base 400 = OST: the snapshot bar has length 0.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(150)), "");
    // Sweep gap (snapshot - oldest) runs backwards: nothing drawn, but its
    // warning shows as the gap is below the oldest transaction.
    EXPECT_EQ(PaintRow(*Frame, NodeOf(225)), "");
    OptionSettings.TrBars = false;
    EXPECT_EQ(PaintRow(*Frame, NodeOf(225)), Fills({{Cell, OptionSettings.YellowColor}}));
}

TEST_F(DbInfoTest, NextTransactionEqualToTheBaseDrawsNoBars) {
    TDatabaseInfo& db = *DBInfo;
    db.OIT = db.OAT = db.OST = db.NxT = 0;
    Frame->FillDbInfo();
    // No bar on any row; the frame lines of the block are still there.
    for (intptr_t code : {130, 140, 150, 160, 220, 235, 170}) {
        const std::string frame = code == 130   ? Fills({{TopLine, clBlack}})
                                  : code == 170 ? Fills({{BottomLine, clBlack}})
                                                : "";
        EXPECT_EQ(PaintRow(*Frame, NodeOf(code)), frame) << code;
    }
    // TrMins with NxT equal to the smaller of OIT and OST.
    db.OIT = db.OST = db.OAT = db.NxT = 5000;
    OptionSettings.TrMins = true;
    EXPECT_EQ(PaintRow(*Frame, NodeOf(140)), "");
}

TEST_F(DbInfoTest, WithoutBarsOnlyRowsWhoseRuleHoldsAreFilled) {
    OptionSettings.TrBars = false;
    TDatabaseInfo& db = *DBInfo;
    db.ODSMajor = 11;
    db.NxT = 1717986918;
    db.OIT = db.OAT = db.OST = db.NxT - 10;
    Frame->FillDbInfo();
    EXPECT_EQ(PaintRow(*Frame, NodeOf(160)), Fills({{Cell, OptionSettings.RedColor}}));
    for (intptr_t code : {130, 140, 150, 220, 235, 170})
        EXPECT_EQ(PaintRow(*Frame, NodeOf(code)), "") << code << ": no fill, no bar, no black line";
    db.NxT = 1717986917;
    db.OIT = db.OAT = db.OST = db.NxT - 10;
    EXPECT_EQ(PaintRow(*Frame, NodeOf(160)), "");
    // 48-bit counters: 2^31 is far from their limit.
    db.ODSMajor = 12;
    db.NxT = 1717986918;
    db.OIT = db.OAT = db.OST = db.NxT - 10;
    EXPECT_EQ(PaintRow(*Frame, NodeOf(160)), "");
}

TEST_F(DbInfoTest, WarningRowsPaintTheirBarInTheWarningColour) {
    TDatabaseInfo& db = *DBInfo;
    SetCounters(0, 0, 500, 1000);
    db.AverageTran = 1000;   // 500 active > 30 % of 1000
    Frame->FillDbInfo();
    EXPECT_EQ(PaintRow(*Frame, NodeOf(170)), Fills({{Span(100, 200), OptionSettings.RedColor}, {BottomLine, clBlack}}));
}

TEST_F(DbInfoTest, GroupRowsAreBoldAndIconsFollowTheCodes) {
    AddOneOfEachProblem();
    Frame->FillDbInfo();
    auto style = [&](PVirtualNode n, int column) {
        TCanvas canvas(nullptr, QFont());
        Tree->OnPaintText(Tree, canvas, n, column);
        return canvas.Font.Style & fsBold;
    };
    EXPECT_TRUE(style(NodeOf(siDatabaseInfo), 0));
    EXPECT_TRUE(style(NodeOf(siBadIndices), 1));
    EXPECT_FALSE(style(NodeOf(110), 0));
    EXPECT_FALSE(style(Tree->GetFirstChild(NodeOf(siBadIndices)), 0));

    auto image = [&](PVirtualNode n, TVTImageKind kind, int column) {
        bool ghosted = false;
        int index = -1;
        Tree->OnGetImageIndex(Tree, n, kind, column, ghosted, index);
        return index;
    };
    const std::pair<int, int> icons[] = {{siFragmentedTables, 2}, {siBlobTables, 2}, {siDeepIndices, 7},
                                         {siVersionedTables, 0},  {siBadIndices, 9}, {siUselessIndices, 8},
                                         {siEmptyTables, 5},      {siMassDeletes, 4}, {siVeryBigTables, -1},
                                         {siBrokenIndices, -1}};
    for (auto [group, icon] : icons) {
        PVirtualNode child = Tree->GetFirstChild(NodeOf(group));
        EXPECT_EQ(image(child, ikNormal, 0), icon) << group;
        EXPECT_EQ(image(child, ikSelected, 0), icon) << group;
        EXPECT_EQ(image(child, ikNormal, 1), -1) << group;
        EXPECT_EQ(image(child, ikState, 0), -1) << group;
    }
    EXPECT_EQ(image(NodeOf(siDatabaseInfo), ikNormal, 0), -1);
    // The pictures come from the resources and are drawn, the same ones as
    // the tables and indices grids show for the same problem.
    ASSERT_EQ(Tree->Images.Count(), 10);
    for (int i = 0; i < 10; ++i) {
        QImage pic = Tree->Images.Icons[i].pixmap(16, 16).toImage();
        ASSERT_FALSE(pic.isNull()) << i;
        EXPECT_EQ(pic, ViewImages()[i].pixmap(16, 16).toImage()) << "picture " << i;
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) opaque += qAlpha(pic.pixel(x, y)) > 0;
        EXPECT_GT(opaque, 40) << "picture " << i;
    }
}

// ---------------------------------------------------------------- jumps, copy

TEST_F(DbInfoTest, DoubleClickJumpsToTheTableOrIndexAndSelectsIt) {
    AddOneOfEachProblem();
    TFrTableStat tables(nullptr);
    TFrIndexStat indices(nullptr);
    ASSERT_EQ(FrTableStat, &tables);
    ASSERT_EQ(FrIndexStat, &indices);
    tables.FillTables();
    indices.FillIndices();
    Frame->FillDbInfo();

    // A broken index: the indices grid focuses and selects it.
    Tree->SetFocusedNode(Tree->GetFirstChild(NodeOf(siBrokenIndices)));
    Tree->OnColumnDblClick(Tree, 1);
    PVirtualNode focused = indices.vstIdxStat->FocusedNode();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(TVirtualStringTree::GetNodeObject<TIndex>(focused)->IndexName, "IDX_BROKEN");
    EXPECT_TRUE(indices.vstIdxStat->Selected(focused));
    EXPECT_EQ(indices.vstIdxStat->SelectedCount(), 1);

    // An empty table: the tables grid.
    Tree->SetFocusedNode(Tree->GetFirstChild(NodeOf(siEmptyTables)));
    Tree->OnColumnDblClick(Tree, 0);
    focused = tables.vstTblStat->FocusedNode();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(TVirtualStringTree::GetNodeObject<TRelation>(focused)->TableName, "EMPTY");
    EXPECT_TRUE(tables.vstTblStat->Selected(focused));

    // "Database info" and a database row do nothing.
    tables.vstTblStat->ClearSelection();
    for (intptr_t code : {intptr_t(siDatabaseInfo), intptr_t(110), intptr_t(siEmptyTables)}) {
        Tree->SetFocusedNode(NodeOf(code));
        Tree->OnColumnDblClick(Tree, 0);
        EXPECT_EQ(tables.vstTblStat->SelectedCount(), 0) << code;
    }
}

TEST_F(DbInfoTest, MatchNodeDataStopsAtTheNodeCarryingTheData) {
    Frame->FillDbInfo();
    PVirtualNode found = Tree->IterateSubtree(nullptr, [](TVirtualStringTree* t, PVirtualNode n, bool& abort) {
        TFrDbInfo::MatchNodeData(t, n, 160, abort);
    });
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(TVirtualStringTree::GetNodeData(found), 160);
    EXPECT_EQ(Tree->IterateSubtree(nullptr, [](TVirtualStringTree* t, PVirtualNode n, bool& abort) {
                  TFrDbInfo::MatchNodeData(t, n, 12345, abort);
              }),
              nullptr);
}

TEST_F(DbInfoTest, CopyPutsTheSelectedRowsOnTheClipboard) {
    Frame->FillDbInfo();
    Tree->SetSelected(NodeOf(110), true);
    Tree->SetSelected(NodeOf(190), true);
    Frame->Copy1->trigger();   // the popup menu's Copy
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QString text = data->text();
    const QStringList lines = text.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << text.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Parameter")) << text.toStdString();
    EXPECT_TRUE(lines[1].contains("Page size\t8192")) << text.toStdString();
    EXPECT_TRUE(lines[2].contains("Dialect\t3")) << text.toStdString();
    EXPECT_EQ(Frame->Copy1->text(), "Copy");
}

// A real Firebird 3 output whose counters passed 2^31 (a database copy's
// header with its counters set, and the original's blocks): ODS 12 counts in
// 48 bits like 13, so the summary rows, the rules and the report's sweep-gap
// and TIP items see the real gaps; a 32-bit engine's rules see them wrap.
TEST_F(DbInfoTest, CountersBeyondThirtyTwoBitsOfAFirebird3Engine) {
    const std::string real = ReadFile(DataPath("fb3_counters.txt"));
    const std::string sweepItem = "Seems that automatic sweep do not work, because sweep gap ";
    const std::string tipItem =
        "Overall size of transaction inventory pages (TIP) is big - 732419 kilobytes or 91552 pages.";
    const struct {
        const char* ods;
        bool wide;
    } engines[] = {{"13.0", true}, {"11.2", false}, {"12.0", true}};  // the real one last
    TStringList report;
    for (const auto& e : engines) {
        SCOPED_TRACE(e.ods);
        std::string text = real;
        const size_t at = text.find("\tODS version\t\t12.0\n");
        ASSERT_NE(at, std::string::npos);
        text.replace(at, 19, std::string("\tODS version\t\t") + e.ods + "\n");
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("dravolt-counters-" + std::to_string(::getpid()) + ".txt")).string();
        WriteFile(path, text);
        const bool parsed = ParseStatFile(path);
        std::filesystem::remove(path);
        ASSERT_TRUE(parsed);
        TDatabaseInfo& db = *DBInfo;
        EXPECT_EQ(db.OIT, 7);
        EXPECT_EQ(db.OAT, 2999990000);
        EXPECT_EQ(db.NxT, 2999990010);
        // Created four seconds before the statistics were taken: one day.
        EXPECT_EQ(db.AverageTran, 2999990010);
        EXPECT_EQ(db.Relations.size(), 5u);
        EXPECT_EQ(IsSweepGapExceeded(db), e.wide);
        EXPECT_EQ(IsOitGapOverLimit(db), e.wide);
        EXPECT_FALSE(IsNextTransactionHigh(db) && e.wide);
        report = BuildRecommendations(db, "header");
        std::string all;
        for (const std::string& item : report) all += item + "\r\n";
        EXPECT_EQ(all.find(sweepItem) != std::string::npos, e.wide) << all;
        EXPECT_EQ(Unwrapped(all).find(tipItem) != std::string::npos, e.wide) << all;
        if (!e.wide) continue;
        EXPECT_NE(Unwrapped(all).find("Your database is running 1 days, and average workload is ~2999990010 "
                                      "transactions per day."),
                  std::string::npos)
            << all;
        EXPECT_EQ(all.find("Forced Write is OFF"), std::string::npos);
        const struct {
            int Code;
            std::string Value;
        } rows[] = {
            {130, "7"},   {140, "2999990000"}, {150, "2999990000"},
            {160, "2999990010"}, {220, "2999989993"}, {260, "2999990010, for 1 days"},
            {170, "10, 0% of daily average"},
        };
        for (const auto& r : rows) EXPECT_EQ(TFrDbInfo::DatabaseRowValue(db, r.Code), r.Value) << r.Code;
        EXPECT_EQ(TFrDbInfo::DatabaseRowValue(db, 235).rfind("2999990003 transactions, ", 0), 0u);
        Frame->FillDbInfo();
        // OIT 7 of ~3e9 sits at the left edge, OAT at the right one: both
        // gaps are bars over the whole cell, in their warning colours.
        EXPECT_EQ(PaintRow(*Frame, NodeOf(220)), Fills({{Cell, OptionSettings.RedColor}}));
        EXPECT_EQ(PaintRow(*Frame, NodeOf(235)), Fills({{Cell, OptionSettings.YellowColor}}));
    }
    TDatabaseInfo& db = *DBInfo;

    // Saved and read back, the counters stay whole.
    const std::string saved = WriteComponentText(db);
    EXPECT_NE(saved.find("  NxT = 2999990010\r\n"), std::string::npos);
    EXPECT_NE(saved.find("  AverageTran = 2999990010\r\n"), std::string::npos);
    db.Reset(true);
    ReadComponentText(saved, db);
    RebuildModelLists(db);
    EXPECT_EQ(db.NxT, 2999990010);
    EXPECT_EQ(db.OAT, 2999990000);
    EXPECT_EQ(db.OIT, 7);
    EXPECT_EQ(db.AverageTran, 2999990010);
    EXPECT_EQ(BuildRecommendations(db, "header"), report);

    // Near that engine's limit the hint names it and counts the days left.
    db.NxT = 250000000000000;
    db.AverageTran = 1000000000;
    ASSERT_TRUE(IsNextTransactionHigh(db));
    const std::string hint = Unwrapped(TFrDbInfo::WrappedHint(160));
    EXPECT_NE(hint.find("limit - 281474976710655 (281 trillion). "), std::string::npos) << hint;
    EXPECT_NE(hint.find("in the near 31474 days"), std::string::npos) << hint;

    // Counters at the ends of 64 bits (an edited text or save file) show as
    // figures: no row, fill or report fails on a rounding out of range.
    const int64_t ends[][3] = {{INT64_MAX, INT64_MAX, 0}, {INT64_MAX, INT64_MIN, INT64_MIN}, {INT64_MIN, INT64_MAX, 1}};
    for (const auto& e : ends) {
        SCOPED_TRACE(std::to_string(e[0]) + " " + std::to_string(e[1]));
        db.NxT = e[0];
        db.OAT = e[1];
        db.OIT = e[2];
        db.AverageTran = 1;
        for (int code = drDatabaseName; code <= drDatabaseSize; ++code)
            EXPECT_NO_THROW(TFrDbInfo::DatabaseRowValue(db, code)) << code;
        EXPECT_NO_THROW(Frame->FillDbInfo());
        EXPECT_NO_THROW(report = BuildRecommendations(db, "header"));
        EXPECT_FALSE(report.empty());
    }
    EXPECT_EQ(TFrDbInfo::DatabaseRowValue(db, drActiveTransactions), "-9223372036854775808, -9223372036854775808% of daily average");
}

}  // namespace
}  // namespace dv::test
