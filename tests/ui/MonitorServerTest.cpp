// "Refresh" of the monitor view against the real local server. Firebird has
// no TMP$ monitoring tables, so a plain database shows the server's error
// through the application's handler. Databases that bring their own TMP$
// tables or views (over the engine's MON$ tables) take the whole road:
// counters, open transactions as bars, and the connection closed again.
#include <gtest/gtest.h>

#include <QPushButton>
#include <memory>
#include <string>

#include "model/StatParser.h"
#include "model/dkmain.h"
#include "model/moninfo.h"
#include "platform/text/DateUtils.h"
#include "platform/text/SysUtils.h"
#include "server/DMData.h"
#include "server/IBComponents.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/views/monitor.h"

namespace dv::test {
namespace {

// The monitoring tables of servers that have them, as views over the
// engine's own monitoring tables.
const char* const kMonitoringViews = R"(
create view TMP$DATABASE (TMP$ALLOCATED_PAGES, TMP$CACHE_BUFFERS, TMP$PAGE_READS, TMP$PAGE_WRITES,
                          TMP$PAGE_FETCHES, TMP$PAGE_MARKS) as
  select d.MON$PAGES, d.MON$PAGE_BUFFERS, io.MON$PAGE_READS, io.MON$PAGE_WRITES, io.MON$PAGE_FETCHES,
         io.MON$PAGE_MARKS
  from MON$DATABASE d join MON$IO_STATS io on io.MON$STAT_ID = d.MON$STAT_ID;
create view TMP$TRANSACTIONS (TMP$TRANSACTION_ID, TMP$TIMESTAMP) as
  select MON$TRANSACTION_ID, MON$TIMESTAMP from MON$TRANSACTIONS;
)";

// Fixed counters and no open transactions.
const char* const kFixedTables = R"(
create table TMP$DATABASE (TMP$ALLOCATED_PAGES integer, TMP$CACHE_BUFFERS integer, TMP$PAGE_READS integer,
                           TMP$PAGE_WRITES integer, TMP$PAGE_FETCHES integer, TMP$PAGE_MARKS integer);
create table TMP$TRANSACTIONS (TMP$TRANSACTION_ID integer, TMP$TIMESTAMP timestamp);
commit;
insert into TMP$DATABASE values (5000, 1500, 40, 12, 800, 9);
)";

class MonitorServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        InitStatisticsModel();
        InitMonitorInfo();
        DBInfo->Reset(true);
        ResetMonitorInfo(*DBMonInfo);   // as a file load leaves them
        SavedDM = DM;
    }
    void TearDown() override {
        Frame.reset();
        Dm.reset();
        DM = SavedDM;
        Db.reset();
        if (DBInfo) DBInfo->Reset(true);
        ResetMonitorInfo(*DBMonInfo);
        DBMonInfo->AllocatedPages = 0;
        DBMonInfo->CacheBuffers = 0;
    }

    // A database of this test, the model from its real header statistics,
    // the data module set to it and the database size known, as a load from
    // the server leaves them; then the view filled.
    void Open(const std::string& ddl) {
        Db = std::make_unique<TFbTestDatabase>(
            std::string("h10_") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), ddl);
        ASSERT_TRUE(Db->Created()) << Db->CreateOutput();
        {
            ScriptedDialogs dialogs;
            ASSERT_TRUE(ParseStatLines(Db->Fbstat("-h")));
            ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
        }
        ASSERT_GT(DBInfo->PageSize, 0);
        Dm = std::make_unique<TDM>(nullptr);
        DM = Dm.get();
        DM->SetServiceParams("localhost", Db->Path(), "SYSDBA", FbPassword(), 0);
        DM->PrepareConnection();
        Allocated = DM->GetAllocatedPages();
        DBInfo->DBSize = Allocated * (DBInfo->PageSize / 1024);
        Frame = std::make_unique<TFrMonitor>(nullptr);
        Frame->FillMonitor();
    }

    std::string Cell(int code) const {
        TVirtualStringTree* t = Frame->vstMonitor;
        for (PVirtualNode n = t->GetFirst(); n; n = t->GetNext(n))
            if (TVirtualStringTree::GetNodeData(n) == code) {
                std::string s;
                Frame->vstMonitorGetText(t, n, 1, s);
                return s;
            }
        return "<no row>";
    }
    void ExpectClosed() const {
        EXPECT_FALSE(DM->DB->Connected());
        EXPECT_FALSE(DM->TR->InTransaction());
    }

    std::unique_ptr<TFbTestDatabase> Db;
    std::unique_ptr<TDM> Dm;
    std::unique_ptr<TFrMonitor> Frame;
    TDM* SavedDM = nullptr;
    int32_t Allocated = 0;
};

TEST_F(MonitorServerTest, WithoutMonitoringTablesTheServersErrorIsShownAndNothingChanges) {
    Open("create table T (ID integer);");
    Frame->Series1->AddGanttColor(45000, 45000.5, 3, "", Frame->Series1->SeriesColor);
    ScriptedDialogs dialogs;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        Frame->Button1->click();
        ASSERT_EQ(dialogs.Messages.size(), static_cast<size_t>(attempt));
        const ShownMessage& m = dialogs.Messages.back();
        EXPECT_EQ(m.Type, mtError);
        // The server's own words: the table it does not know.
        EXPECT_NE(m.Text.find("Table unknown"), std::string::npos) << m.Text;
        EXPECT_NE(m.Text.find("TMP$DATABASE"), std::string::npos) << m.Text;
        // The counters as before, the chart as before (cleared only after the
        // counters were read), and the connection closed so that the next
        // refresh starts afresh rather than on a dead transaction.
        EXPECT_EQ(DBMonInfo->AllocatedPages, 1024);
        EXPECT_EQ(DBMonInfo->CacheBuffers, 2048);
        EXPECT_EQ(Frame->Series1->Count(), 1);
        ExpectClosed();
    }
    EXPECT_EQ(Cell(300), "200% of database size");
}

TEST_F(MonitorServerTest, CountersAndOpenTransactionsFromTheServer) {
    Open(kMonitoringViews);
    // A second attachment that keeps a transaction open over the refresh.
    TIBDatabase other(nullptr);
    TIBTransaction otherTr(nullptr);
    other.DatabaseName = "localhost:" + Db->Path();
    other.Params = {"user_name=SYSDBA", "password=" + FbPassword()};
    otherTr.SetDefaultDatabase(&other);
    otherTr.Params = {"read", "read_committed", "rec_version", "nowait"};
    other.Connect();
    otherTr.StartTransaction();
    TIBSQL q(nullptr);
    q.SetDatabase(&other);
    q.SetTransaction(&otherTr);
    q.SQL = {"select current_transaction, current_timestamp from rdb$database"};
    q.ExecQuery();
    const int32_t heldId = q.Fields(0).AsInteger();
    q.Close();

    const TDateTime before = Now();
    ScriptedDialogs dialogs;
    Frame->Button1->click();
    const TDateTime after = Now();
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();

    // The counters are the engine's: the allocated pages as the database
    // information says, its cache, and pages fetched by the queries.
    EXPECT_EQ(DBMonInfo->AllocatedPages, Allocated);
    EXPECT_GT(DBMonInfo->CacheBuffers, 0);
    EXPECT_GT(DBMonInfo->PageFetches, 0);
    EXPECT_EQ(Cell(310), Format("%d pages, %d megabytes",
                                {int64_t(DBMonInfo->CacheBuffers),
                                 Round(DBMonInfo->CacheBuffers * (DBInfo->PageSize / 1024.0) / 1024)}));
    EXPECT_EQ(Cell(340), IntToStr(DBMonInfo->PageFetches));

    // One bar per open transaction: the held one and the refresh's own.
    ASSERT_GE(Frame->Series1->Count(), 2);
    bool held = false;
    for (int i = 0; i < Frame->Series1->Count(); ++i) {
        const TGanttBar& b = Frame->Series1->Bar(i);
        if (i > 0) {
            EXPECT_LE(Frame->Series1->Bar(i - 1).Start, b.Start);   // ordered by start
        }
        EXPECT_LE(b.Start, b.End + 1.0 / 86400);
        EXPECT_GE(b.End, before);
        EXPECT_LE(b.End, after);
        EXPECT_EQ(b.Color, 0x00808000u);
        held = held || b.Y == heldId;
    }
    EXPECT_TRUE(held) << "no bar for transaction " << heldId;
    ExpectClosed();
    otherTr.Commit();
    other.Disconnect();
}

TEST_F(MonitorServerTest, EmptyTransactionsTableLeavesTheChartEmpty) {
    Open(kFixedTables);
    Frame->Series1->AddGanttColor(45000, 45000.5, 3, "", Frame->Series1->SeriesColor);
    ScriptedDialogs dialogs;
    Frame->Button1->click();
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
    EXPECT_EQ(DBMonInfo->AllocatedPages, 5000);
    EXPECT_EQ(DBMonInfo->CacheBuffers, 1500);
    EXPECT_EQ(DBMonInfo->PageReads, 40);
    EXPECT_EQ(DBMonInfo->PageWrites, 12);
    EXPECT_EQ(DBMonInfo->PageFetches, 800);
    EXPECT_EQ(DBMonInfo->PageMarks, 9);
    EXPECT_EQ(Cell(300), "30% of database size");
    EXPECT_EQ(Cell(360), "95%");
    EXPECT_EQ(Frame->Series1->Count(), 0);
    ExpectClosed();
}

TEST_F(MonitorServerTest, MissingTransactionsTableKeepsTheCountersReadAndAnEmptyChart) {
    Open(R"(
create table TMP$DATABASE (TMP$ALLOCATED_PAGES integer, TMP$CACHE_BUFFERS integer, TMP$PAGE_READS integer,
                           TMP$PAGE_WRITES integer, TMP$PAGE_FETCHES integer, TMP$PAGE_MARKS integer);
commit;
insert into TMP$DATABASE values (100, 50, 1, 2, 3, 4);
)");
    Frame->Series1->AddGanttColor(45000, 45000.5, 3, "", Frame->Series1->SeriesColor);
    ScriptedDialogs dialogs;
    Frame->Button1->click();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_NE(dialogs.Messages[0].Text.find("TMP$TRANSACTIONS"), std::string::npos) << dialogs.LastText();
    EXPECT_EQ(DBMonInfo->AllocatedPages, 100);
    EXPECT_EQ(DBMonInfo->CacheBuffers, 50);
    EXPECT_EQ(Frame->Series1->Count(), 0);   // cleared once the counters were read
    ExpectClosed();
    // Once the table exists the next refresh goes through.
    TCommandResult r = Db->Exec("create table TMP$TRANSACTIONS (TMP$TRANSACTION_ID integer, TMP$TIMESTAMP timestamp);"
                                "commit; insert into TMP$TRANSACTIONS values (77, current_timestamp); commit;");
    ASSERT_EQ(r.Status, 0) << r.Output;
    Frame->Button1->click();
    EXPECT_EQ(dialogs.Messages.size(), 1u) << dialogs.LastText();
    ASSERT_EQ(Frame->Series1->Count(), 1);
    EXPECT_EQ(Frame->Series1->Bar(0).Y, 77);
}

}  // namespace
}  // namespace dv::test
