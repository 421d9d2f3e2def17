// The recommendations report built from hand-made models: exact item lists,
// wrapping, the order of findings and blocks, the continuation texts, and the
// day count and daily average at their edges.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "model/StatParser.h"
#include "model/report.h"
#include "model/utils.h"
#include "tests/support/TestModel.h"
#include "tests/support/TestSupport.h"

namespace dv::test {
namespace {

const std::string Sep(56, '-');
const std::string Footer =
    "Generated from Kelmaris technical support knowledgebase.\r\n\r\n"
    "You can request Kelmaris technical support here: https://www.kelmaris.example/services/optimization";

// Physical lines of one item.
std::vector<std::string> Physical(const std::string& item) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t p = item.find("\r\n", start);
        out.push_back(item.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) return out;
        start = p + 2;
    }
}

// The index of the first item whose text (line breaks taken out) begins
// with the prefix, or -1.
int Find(const TStringList& lines, const std::string& prefix, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (Unwrapped(lines[i]).rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

const std::string Header = "Statistics report";

class ReportTest : public DbInfoModelTest {
protected:
    TStringList Build() { return BuildRecommendations(*DBInfo, Header); }
    // Table T of 5000 records with IDX_BAD, whose keys are all one value.
    TIndex* AddNonUniqueIndex() {
        TIndex* bad = AddIndex(AddTable("T", 5000, 100), "IDX_BAD", 5000);
        bad->TotalDup = 4999;
        bad->MaxDup = 4999;
        return bad;
    }
};

TEST_F(ReportTest, HealthyDatabaseGivesExactlyTheNoRecommendationsReport) {
    AddTable("CUSTOMER", 2000, 24);
    TStringList lines = Build();
    const TStringList expected = {
        Header,
        "Database: /data/shop.fdb",
        "",
        "Your database is running 1 days, and average workload is ~102 \r\ntransactions per day.",
        "",
        "Current database page size is 8192 bytes.",
        "",
        "",
        "We do not have any recommendations about your database now.",
        "",
        Sep,
        Footer,
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(ReportTest, BuildingTwiceGivesTheSameItemsBesidesTheHeader) {
    AddOneOfEachProblem();
    DBInfo->FW = 0;
    DBInfo->Sweep = 5000;
    TStringList a = Build(), b = Build();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 1; i < a.size(); ++i) EXPECT_EQ(a[i], b[i]) << "item " << i;
}

TEST_F(ReportTest, WorkloadLineBreaksBeforeTheNumbersAreFilledIn) {
    // Whatever the length of the numbers, the break stays after "~%d ".
    struct Case { int32_t nxt; double days; const char* first; };
    const Case cases[] = {
        {102, 0.5, "Your database is running 1 days, and average workload is ~102 "},
        {2000000000, 0.5, "Your database is running 1 days, and average workload is ~2000000000 "},
        {5, 2999.5, "Your database is running 3000 days, and average workload is ~0 "},
    };
    for (const Case& c : cases) {
        DBInfo->NxT = c.nxt;
        DBInfo->OIT = DBInfo->OAT = DBInfo->OST = c.nxt;
        DBInfo->Age = DBInfo->CDate + c.days;
        TStringList lines = Build();
        auto phys = Physical(lines.at(3));
        ASSERT_EQ(phys.size(), 2u) << c.nxt;
        EXPECT_EQ(phys[0], c.first);
        EXPECT_EQ(phys[1], "transactions per day.");
    }
    // At width 66 the text with its placeholders still breaks after "~%d ";
    // filled in first, it would break before the number.
    OptionSettings.ReportWrap = 66;
    DBInfo->NxT = 2000000000;
    DBInfo->Age = DBInfo->CDate + 0.5;
    auto phys = Physical(Build().at(3));
    ASSERT_EQ(phys.size(), 2u);
    EXPECT_EQ(phys[0], "Your database is running 1 days, and average workload is ~2000000000 ");
}

TEST_F(ReportTest, DayCountIsAtLeastOneWhenTheCreationDateLiesAfterTheStatistics) {
    // Creation date 1.5 days after the statistics: no whole day between them.
    DBInfo->NxT = 5000;
    DBInfo->OIT = DBInfo->OAT = DBInfo->OST = 4999;
    DBInfo->CDate = DBInfo->Age + 1.5;
    DBInfo->Sweep = 20000;
    TStringList lines = Build();
    EXPECT_EQ(Unwrapped(lines.at(3)), "Your database is running 1 days, and average workload is ~5000 transactions per day.");
    EXPECT_EQ(StatDayCount(*DBInfo), 1);
    // The sweep line divides by the same average: 20000 / 5000 = 4 days.
    ASSERT_GE(Find(lines, "Sweep interval is 20000"), 0);
    EXPECT_NE(Unwrapped(lines[Find(lines, "Sweep interval is 20000")]).find("may start each 4 days."), std::string::npos);
}

TEST_F(ReportTest, ZeroTransactionsGiveNoSweepLineAndNoDivisionByZero) {
    DBInfo->NxT = DBInfo->OIT = DBInfo->OAT = DBInfo->OST = 0;
    DBInfo->Sweep = 1000;   // items 6.3 still apply
    TStringList lines = Build();
    EXPECT_EQ(Unwrapped(lines.at(3)), "Your database is running 1 days, and average workload is ~0 transactions per day.");
    EXPECT_EQ(Find(lines, "Sweep interval is"), -1);
    EXPECT_GE(Find(lines, "We do not recommend to set sweep interval less"), 0);
}

TEST_F(ReportTest, SweepFrequencyTexts) {
    struct Case { double ratio; const char* text; };
    const Case cases[] = {{1, "1 times per day"},   {0.25, "4 times per day"}, {1.2, "every day"},
                          {1.5, "each 2 days"},     {2.5, "each 2 days"},      {3.6, "each 4 days"},
                          {0.4, "2 times per day"}, {1.0001, "every day"}};
    for (const Case& c : cases) EXPECT_EQ(SweepFrequencyText(c.ratio), c.text) << c.ratio;
}

TEST_F(ReportTest, SweepLineCarriesTheFrequencyOfTheRatio) {
    // A daily average of 10000 (one day) and sweep intervals giving the ratios.
    DBInfo->NxT = 10000;
    DBInfo->OIT = DBInfo->OAT = DBInfo->OST = 9999;
    DBInfo->AverageTran = 10000;
    struct Case { int32_t sweep; const char* text; };
    const Case cases[] = {{10000, "1 times per day"}, {2500, "4 times per day"}, {12000, "every day"},
                          {15000, "each 2 days"},     {25000, "each 2 days"},    {36000, "each 4 days"}};
    for (const Case& c : cases) {
        DBInfo->Sweep = c.sweep;
        TStringList lines = Build();
        int at = Find(lines, "Sweep interval is " + std::to_string(c.sweep));
        ASSERT_GE(at, 0) << c.sweep;
        const std::string text = Unwrapped(lines[at]);
        EXPECT_EQ(text.rfind("Sweep interval is " + std::to_string(c.sweep) + ", and automatic sweep may start " +
                                 c.text + ". If you encounter periodical performance slowdown, ",
                             0),
                  0u)
            << text;
        for (const std::string& p : Physical(lines[at])) EXPECT_LE(p.size(), 70u) << p;
        // A sweep line is a finding: never the "no recommendations" text.
        EXPECT_EQ(Find(lines, "We do not have any recommendations"), -1);
        // The low-interval warning only below 20000.
        EXPECT_EQ(Find(lines, "We do not recommend to set sweep interval") >= 0, c.sweep < 20000) << c.sweep;
    }
}

TEST_F(ReportTest, DailyAverageBelowOneLeavesOutTheSweepLineOnly) {
    DBInfo->NxT = 50;
    DBInfo->OIT = DBInfo->OAT = DBInfo->OST = 49;
    DBInfo->Age = DBInfo->CDate + 100;   // 100 days: 0.5 a day
    DBInfo->Sweep = 20000;
    TStringList lines = Build();
    EXPECT_EQ(Find(lines, "Sweep interval is"), -1);
    EXPECT_GE(Find(lines, "We do not have any recommendations"), 0);
}

TEST_F(ReportTest, ForcedWritesTextWrapsAtSeventyKeepingTheBlank) {
    DBInfo->FW = 0;
    TStringList lines = Build();
    ASSERT_EQ(lines.at(3).rfind("Forced Write is OFF.", 0), 0u);
    auto phys = Physical(lines[3]);
    EXPECT_EQ(phys.at(0), "Forced Write is OFF. It is a dangerous setting, especially for ");
    for (const std::string& p : phys) EXPECT_LE(p.size(), 70u) << p;
    EXPECT_EQ(Unwrapped(lines[3]),
              "Forced Write is OFF. It is a dangerous setting, especially for Windows users. Be careful, use UPS to "
              "protect your server. This setting (FW OFF) increases the possibility of database corruption. If your "
              "server hardware or operating system will hang, or power supply will fail, database can be corrupted. "
              "We recommend to set Forced Write ON (gfix -write sync).");
    EXPECT_EQ(lines.at(4), "");
    // Forced writes 2 (unknown) says nothing.
    DBInfo->FW = 2;
    EXPECT_EQ(Find(Build(), "Forced Write is OFF"), -1);
}

TEST_F(ReportTest, ExplanationBGetsAnEmptyLineBeforeEachNumberedCase) {
    TRelation* t = AddTable("ORDERS", 5000, 100);
    AddIndex(t, "IDX_ORDERS_DATE", 4000);
    AddIndex(t, "IDX_ORDERS_LONGER_NAME", 4990);
    TStringList lines = Build();
    int at = Find(lines, "Broken or incompete inices count: 2.");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines[at - 1], Sep);
    auto phys = Physical(lines.at(at + 1));
    for (const char* n : {" 1.", " 2.", " 3."}) {
        auto it = std::find_if(phys.begin(), phys.end(), [&](const std::string& p) { return p.rfind(n, 0) == 0; });
        ASSERT_NE(it, phys.end()) << n;
        ASSERT_NE(it, phys.begin());
        EXPECT_EQ(*(it - 1), "") << "line before" << n;
    }
    EXPECT_EQ(phys.back(), "Use gfix to check those indices are corrupted or not.");
    EXPECT_EQ(lines.at(at + 2), "");
    // Names padded to the longest index name of the model (22).
    EXPECT_EQ(lines.at(at + 3), " IDX_ORDERS_DATE        : Records 5000, Keys 4000, Difference 1000");
    EXPECT_EQ(lines.at(at + 4), " IDX_ORDERS_LONGER_NAME : Records 5000, Keys 4990, Difference 10");
    EXPECT_EQ(lines.at(at + 5), "");
}

TEST_F(ReportTest, PaddedListsCountCharactersOfEveryScript) {
    // Greek names of 2 bytes a letter: the colons line up under the longest
    // name in characters, not in bytes.
    TRelation* t = AddTable("\xCE\xA0\xCE\xA9\xCE\x9B", 5000, 100);
    AddIndex(t, "\xCE\x91\xCE\x92", 4000);
    AddIndex(t, "IDX_ABCD", 4990);
    CalcDatabaseTotals(*DBInfo);
    EXPECT_EQ(DBInfo->MaxIName, 8);   // IDX_ABCD, not the Greek name's 4 bytes
    EXPECT_EQ(DBInfo->MaxRName, 3);
    TStringList lines = Build();
    const int at = Find(lines, "Broken or incompete inices count: 2.");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines.at(at + 3), " \xCE\x91\xCE\x92       : Records 5000, Keys 4000, Difference 1000");
    EXPECT_EQ(lines.at(at + 4), " IDX_ABCD : Records 5000, Keys 4990, Difference 10");
}

TEST_F(ReportTest, QuotedDeepIndicesListStaysOnOnePhysicalLine) {
    TRelation* t = AddTable("T", 100, 2);
    AddIndex(t, "IDX_A", 100)->Depth = 4;
    for (int width = 15; width <= 120; ++width) {
        OptionSettings.ReportWrap = width;
        TStringList lines = Build();
        int at = Find(lines, "You need to increase database page size because you have 1 indices");
        ASSERT_GE(at, 0) << width;
        bool found = false;
        for (const std::string& p : Physical(lines[at]))
            if (p.find("\"Deep indices list\"") != std::string::npos) found = true;
        EXPECT_TRUE(found) << "width " << width << ": " << lines[at];
        EXPECT_EQ(Unwrapped(lines[at]),
                  "You need to increase database page size because you have 1 indices with depth > 3 (see \"Deep "
                  "indices list\" below). This will increase performance for index search and updates/deletes. ");
    }
}

TEST_F(ReportTest, DeepIndicesTextOnlyBelowSixteenKilobytePages) {
    TRelation* t = AddTable("T", 100, 2);
    AddIndex(t, "IDX_A", 100)->Depth = 4;
    DBInfo->PageSize = 16384;
    TStringList lines = Build();
    EXPECT_EQ(Find(lines, "You need to increase database page size"), -1);
    EXPECT_GE(Find(lines, "Deep indices count: 1."), 0);
}

TEST_F(ReportTest, VeryBigTablesListNamesPaddedTo32AndLongerNamesWhole) {
    const std::string longName = "A_TABLE_NAME_THAT_IS_LONGER_THAN_32_CHARS";
    ASSERT_GT(longName.size(), 32u);
    AddTable("HUGE", 300000000, NearPageLimitLow(8192));
    AddTable(longName, 300000000, NearPageLimitHigh(8192));
    TStringList lines = Build();
    int at = Find(lines, "Very big tables count: 2.");
    ASSERT_GE(at, 0);
    EXPECT_EQ(Unwrapped(lines.at(at + 1)),
              "InterBase (and it`s other clones) have physical limitation of maximum table size - about 36.6 "
              "gigabytes. Engine cannot read records  beyond this limit. This list contains tables which are close "
              "to this limit (10k pages remains).");
    EXPECT_EQ(lines.at(at + 2), "");
    EXPECT_EQ(lines.at(at + 3), "HUGE                            : Data Pages = " + std::to_string(NearPageLimitLow(8192)));
    EXPECT_EQ(lines.at(at + 4), longName + ": Data Pages = " + std::to_string(NearPageLimitHigh(8192)));
    EXPECT_EQ(lines.at(at + 5), "");
}

TEST_F(ReportTest, BlocksComeInTheirOrderWithTheirCounts) {
    AddOneOfEachProblem();
    TStringList lines = Build();
    const char* counts[] = {"Fragmented tables count: 1.",
                            "Versioned tables count: 1.",
                            "Tables fragmented by blobs count: 1.",
                            "Massive deleted/updated tables: 1.",
                            "Very big tables count: 1.",
                            "Broken or incompete inices count: 1.",
                            "Deep indices count: 1.",
                            "Bad indices count: 2.",
                            "Useless indices count: 1.",
                            "Empty tables count: 1."};
    int previous = -1;
    for (const char* c : counts) {
        int at = Find(lines, c);
        ASSERT_GT(at, previous) << c;
        EXPECT_EQ(lines[at - 1], Sep) << c;
        previous = at;
    }
    // Only the first block starts with a blank before its separator.
    int first = Find(lines, counts[0]);
    EXPECT_EQ(lines[first - 2], "");
    EXPECT_EQ(lines[first + 1], "");
    EXPECT_EQ(Find(lines, "We do not have any recommendations"), -1);
    EXPECT_EQ(lines[lines.size() - 2], Sep);
    EXPECT_EQ(lines.back(), Footer);
}

TEST_F(ReportTest, EmptyTablesBlockOnlyWhileZeroTablesIsOn) {
    AddTable("EMPTY1", 0, 0);
    AddTable("EMPTY2", 0, 0);
    EXPECT_GE(Find(Build(), "Empty tables count: 2."), 0);
    OptionSettings.ZeroTables = false;
    TStringList lines = Build();
    EXPECT_EQ(Find(lines, "Empty tables count"), -1);
    EXPECT_GE(Find(lines, "We do not have any recommendations"), 0);
}

TEST_F(ReportTest, DatabaseFindingsInOrderWithTheirNumbers) {
    TDatabaseInfo& db = *DBInfo;
    db.FW = 0;
    db.ODS = "10.0";
    db.ODSMajor = 10;
    db.ODSMinor = 0;
    db.PageSize = 1024;
    // Sweep gap above the daily average, OAT far from both ends, and
    // 131072000 / 4 / 1024 = 32000 TIP pages.
    SetCounters(1000, 20000000, 100000000, 131072000);
    db.Age = db.CDate + 9;       // ten days
    db.AverageTran = 13107200;
    db.Sweep = 0;
    AddNonUniqueIndex()->Uniques = 1;
    TStringList lines = Build();
    const char* order[] = {
        "Forced Write is OFF.",
        "Your database is running 10 days",
        "Automatic sweep is off (0), but",
        "Since your database has non-unique indices ",
        "Some transaction(s) is being active for a long ",
        "There is a gap between Oldest Active and Oldest Snapshot transaction",
        "(",
        "If you are using InterBase 5.x or 6.0 your database is close",
        "Overall size of transaction inventory pages (TIP) is big",
        "Current database page size is 1024 bytes.",
        "Page size is too small (1024).",
    };
    int previous = 1;
    for (const char* o : order) {
        int at = Find(lines, o, previous + 1);
        ASSERT_GT(at, previous) << o;
        previous = at;
    }
    const std::string gap = Unwrapped(lines[Find(lines, "(")]);
    EXPECT_EQ(gap.rfind("(80000000, bigger than gap between Next and Oldest Active (31072000)). It seems that ", 0), 0u)
        << gap;
    EXPECT_NE(Unwrapped(lines[Find(lines, "If you are using InterBase 5.x")]).find("limit (32000 pages)"),
              std::string::npos);
    EXPECT_NE(Unwrapped(lines[Find(lines, "If you are using InterBase 5.x")]).find("(current = 1024) ASAP"),
              std::string::npos);
    // (NxT - OIT) / 4 = 32767750 bytes: 31999.76 -> 32000 kilobytes, 31999.76 -> 32000 pages.
    EXPECT_EQ(Unwrapped(lines[Find(lines, "Overall size")]).rfind(
                  "Overall size of transaction inventory pages (TIP) is big - 32000 kilobytes or 32000 pages.", 0),
              0u);
    const std::string small = Unwrapped(lines[Find(lines, "Page size is too small")]);
    EXPECT_EQ(small.rfind("Page size is too small (1024). Such page size impacts", 0), 0u);
    EXPECT_NE(small.find("(gbak -c -page xxxx)"), std::string::npos);
    // Items wrapped after their numbers were filled in keep within the width.
    for (const std::string& item : lines) {
        if (item == Footer || item.rfind("Dravolt", 0) == 0 || item.rfind("Your database", 0) == 0 ||
            item.rfind("Page size is too small", 0) == 0)
            continue;
        for (const std::string& p : Physical(item)) EXPECT_LE(p.size(), 70u) << p;
    }
}

TEST_F(ReportTest, SweepGapItemsNameTheGapOfTheOnDiskStructure) {
    TDatabaseInfo& db = *DBInfo;
    db.Sweep = 20000;
    SetCounters(100, 30200, 30300, 30400);
    db.AverageTran = 30400;
    struct Case { int16_t major; bool fb152; const char* gap; };
    const Case cases[] = {{12, false, "(oldest active - oldest) is bigger than sweep interval. "},
                          {11, false, "(oldest active - oldest) is bigger than sweep interval. "},
                          {10, false, "(oldest snapshot - oldest) is bigger than sweep interval. "},
                          {10, true, "(oldest active - oldest) is bigger than sweep interval. "}};
    for (const Case& c : cases) {
        db.ODSMajor = c.major;
        OptionSettings.FB152 = c.fb152;
        TStringList lines = Build();
        int at = Find(lines, "Seems that automatic sweep do not work, because sweep gap ");
        ASSERT_GE(at, 0) << c.major;
        EXPECT_EQ(Unwrapped(lines.at(at + 1)), c.gap);
        EXPECT_EQ(Unwrapped(lines.at(at + 2)),
                  "Maybe there is a long running snapshot transaction, or some big transaction were rolled back. See "
                  "previous recommendations about setting sweep interval to 0.");
        EXPECT_EQ(lines.at(at + 3), "");
        EXPECT_EQ(Find(lines, "Automatic sweep is off"), -1);
    }
}

TEST_F(ReportTest, NonUniqueIndicesAdviceFollowsTheOnDiskStructure) {
    AddNonUniqueIndex();
    struct Case { int16_t major, minor; bool advice; };
    const Case cases[] = {{10, 1, true}, {11, 0, true}, {11, 1, false}, {11, 2, false}, {12, 0, true}, {13, 1, false}};
    for (const Case& c : cases) {
        DBInfo->ODSMajor = c.major;
        DBInfo->ODSMinor = c.minor;
        TStringList lines = Build();
        EXPECT_EQ(Find(lines, "Since your database has non-unique indices ") >= 0, c.advice) << c.major << "." << c.minor;
    }
}

TEST_F(ReportTest, ContinuationTextsHaveNoApostrophesThatWouldStopWrapping) {
    // An apostrophe opens a quote for the wrapping routine; the texts of this
    // program use none, so every long item really wraps.
    TDatabaseInfo& db = *DBInfo;
    db.Sweep = 0;
    SetCounters(1000, 200000, 500000, 600000);
    db.Age = db.CDate + 100;
    db.AverageTran = 6000;
    db.ODSMajor = 10;
    AddNonUniqueIndex();
    TStringList lines = Build();
    for (const char* start : {"Automatic sweep is off (0), but", "Since your database has non-unique indices ",
                              "Some transaction(s) is being active for a long ", "(300000, bigger"}) {
        int at = Find(lines, start);
        ASSERT_GE(at, 0) << start;
        EXPECT_EQ(lines[at].find('\''), std::string::npos) << start;
        auto phys = Physical(lines[at]);
        EXPECT_GE(phys.size(), 3u) << start;
        for (const std::string& p : phys) EXPECT_LE(p.size(), 70u) << p;
        EXPECT_EQ(lines.at(at + 1), "") << start;
    }
}

TEST_F(ReportTest, ProposedNameIsTheDatabaseBaseName) {
    struct Case { const char* db; const char* name; };
    const Case cases[] = {{"/data/shop.fdb", "shop_recommendations.txt"},
                          {"C:\\Data\\Sales.old.fdb", "Sales_recommendations.txt"},
                          {"dbhost:/var/db/emp.fdb", "emp_recommendations.txt"},
                          {"employee", "employee_recommendations.txt"},
                          {"", "database_recommendations.txt"}};
    for (const Case& c : cases) {
        DBInfo->DbName = c.db;
        EXPECT_EQ(ReportFileName(*DBInfo), c.name) << c.db;
    }
}

// Statistics are dated by the engine's own line, not by the file: a copy of
// a real output whose file date is moved by years gives the same report.
TEST_F(ReportTest, CopyWithItsFileDateMovedGivesTheSameReport) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("dravolt-report-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string original = DataPath("fb3_full.txt");
    TStringList reports[3];
    const int years[3] = {0, 3, -7};
    for (int k = 0; k < 3; ++k) {
        const fs::path copy = dir / ("copy" + std::to_string(k) + ".txt");
        fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
        fs::last_write_time(copy, fs::last_write_time(original) + std::chrono::hours(24 * 366 * years[k]));
        ASSERT_TRUE(ParseStatFile(copy.string()));
        reports[k] = BuildRecommendations(*DBInfo, Header);
    }
    fs::remove_all(dir);
    EXPECT_EQ(reports[1], reports[0]);
    EXPECT_EQ(reports[2], reports[0]);
    // The engine's line gave the date: created a second before, one day.
    std::string all;
    for (const std::string& item : reports[0]) all += item;
    EXPECT_NE(Unwrapped(all).find("Your database is running 1 days"), std::string::npos);
}

}  // namespace
}  // namespace dv::test
