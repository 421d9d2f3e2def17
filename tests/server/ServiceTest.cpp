// The statistics service against the local server, compared with what the
// engine's own statistics tool prints for the same database.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/FirebirdTestServer.h"
#include "server/IBComponents.h"
#include "tests/server/ServiceTestSupport.h"

using namespace dv;
using namespace dv::test;

namespace {

// Rows, then updates and deletes as the last thing done, so that back
// versions survive; read-only so that taking statistics changes nothing in
// the header (each attachment would otherwise move the transaction counters).
const char* kVersionedDdl = R"(
create table CUSTOMERS (ID integer not null primary key, NAME varchar(40), CITY char(20));
create index IDX_CUST_CITY on CUSTOMERS (CITY);
create table ORDERS (ID integer not null primary key, CUST integer, NOTE blob sub_type text);
commit;
set term ^;
execute block as declare i integer = 0; begin
  while (i < 300) do begin
    insert into CUSTOMERS values (:i, 'Customer ' || :i, 'City ' || mod(:i, 7));
    insert into ORDERS values (:i, :i, 'order note ' || :i);
    i = i + 1;
  end
end^
set term ;^
commit;
update CUSTOMERS set NAME = NAME || ' changed' where mod(ID, 3) = 0;
delete from ORDERS where mod(ID, 5) = 0;
)";

class ReadOnlyStatsDb : public ::testing::Test {
protected:
    void SetUp() override { Create(kVersionedDdl); }
    void Create(const std::string& ddl) {
        DV_REQUIRE_FB_SERVER();
        db = std::make_unique<TFbTestDatabase>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name(), ddl);
        ASSERT_TRUE(db->Created()) << db->CreateOutput();
        TCommandResult r = db->Gfix("-mode read_only");
        ASSERT_EQ(r.Status, 0) << r.Output;
    }
    void TearDown() override {
        if (db && db->Created())
            db->Gfix("-mode read_write");
    }

    TStringList TakeStatistics(uint8_t options, size_t bufferSize = kMaxServiceBuffer) {
        TIBStatisticalService svc(nullptr);
        svc.ServerName = "localhost";
        svc.Protocol = TProtocol::TCP;
        svc.Params = {"user_name=SYSDBA", "password=" + FbPassword()};
        svc.DatabaseName = db->Path();
        svc.Options = options;
        svc.SetQueryBufferSize(bufferSize);
        svc.Activate();
        svc.ServiceStart();
        TStringList lines = ReadServiceLines(svc);
        svc.Deactivate();
        EXPECT_FALSE(svc.Active());
        return lines;
    }

    std::unique_ptr<TFbTestDatabase> db;
};

bool IsTimeLine(const std::string& line) {
    return line.rfind("Gstat execution time", 0) == 0 || line.rfind("Gstat completion time", 0) == 0;
}

// A full-statistics service on the local server as SYSDBA.
void UseLocalServer(TIBStatisticalService& svc, const std::string& database,
                    const std::string& password = FbPassword()) {
    svc.ServerName = "localhost";
    svc.Params = {"user_name=SYSDBA", "password=" + password};
    svc.DatabaseName = database;
    svc.Options = kFullStatOptions;
}

// Reads lines until the service raises EAbort (a cancel); counts them.
void ExpectReadEndsByCancel(TIBStatisticalService& svc, int& lines) {
    EXPECT_THROW(
        {
            while (!svc.Eof()) {
                svc.GetNextLine();
                ++lines;
            }
        },
        EAbort);
}

// The service sends each line with one trailing blank (blank lines too); the
// tool prints none. Apart from that and the run times the texts must agree.
void ExpectSameText(const TStringList& service, const TStringList& tool) {
    ASSERT_EQ(service.size(), tool.size());
    for (size_t i = 0; i < tool.size(); ++i) {
        if (IsTimeLine(tool[i])) {
            EXPECT_TRUE(IsTimeLine(service[i])) << "line " << i + 1 << ": " << service[i];
            continue;
        }
        EXPECT_EQ(service[i], tool[i] + " ") << "line " << i + 1;
    }
}

bool Contains(const TStringList& lines, const std::string& text) {
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST_F(ReadOnlyStatsDb, FullStatisticsEqualTheToolsOutputLineForLine) {
    // A small receive buffer cuts lines across the chunks of the text.
    struct Case {
        uint8_t Options;
        const char* Switches;
        size_t Buffer;
    } cases[] = {{kFullStatOptions, "-a -r", kMaxServiceBuffer}, {kFullStatOptions, "-a -r", 100},
                 {kHeaderStatOptions, "-h", kMaxServiceBuffer}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("options ") + std::to_string(c.Options) + ", fbstat " + c.Switches + ", buffer " +
                     std::to_string(c.Buffer));
        TStringList service = TakeStatistics(c.Options, c.Buffer);
        TStringList tool = db->Fbstat(c.Switches);
        ExpectSameText(service, tool);
        EXPECT_TRUE(Contains(service, "Database header page information:"));
        if (c.Options == kFullStatOptions) {
            // Tables, indices and record versions are really there.
            EXPECT_TRUE(Contains(service, "CUSTOMERS (128)"));
            EXPECT_TRUE(Contains(service, "Index IDX_CUST_CITY"));
            bool versions = false;
            for (const std::string& l : service)
                if (l.find("total versions: ") != std::string::npos &&
                    l.find("total versions: 0,") == std::string::npos)
                    versions = true;
            EXPECT_TRUE(versions) << "no table reports back versions";
        } else {
            EXPECT_FALSE(Contains(service, "Analyzing database pages"));
        }
    }
}

TEST_F(ReadOnlyStatsDb, LargestReceiveBufferStaysBelow64KAndReadsTheSameLines) {
    TIBStatisticalService svc(nullptr);
    svc.SetQueryBufferSize(65536);
    EXPECT_EQ(svc.QueryBufferSize(), 65535u);
    svc.SetQueryBufferSize(1u << 20);
    EXPECT_EQ(svc.QueryBufferSize(), 65535u);

    // A buffer at the limit must not upset the server.
    TStringList big = TakeStatistics(kFullStatOptions, 65535);
    ExpectSameText(big, db->Fbstat("-a -r"));
}

// Two thousand tables keep the server busy for more than a second before it
// prints "Analyzing database pages": the reader must wait, not stop.
class ManyTablesStatsDb : public ReadOnlyStatsDb {
protected:
    void SetUp() override {
        Create("set term ^;\nexecute block as declare t integer = 0; begin\n"
               "while (t < 2000) do begin\n"
               "execute statement 'create table BT' || t || ' (C0 integer, C1 varchar(30), C2 numeric(15,2))';\n"
               "t = t + 1; end end^\nset term ;^");
    }
};

TEST_F(ManyTablesStatsDb, SlowServerIsWaitedForAndEveryLineArrives) {
    TStringList service = TakeStatistics(kFullStatOptions);
    ExpectSameText(service, db->Fbstat("-a -r"));
    EXPECT_TRUE(Contains(service, "BT1999 ("));

    // Cancelled while the server keeps the reader waiting: the read stops and
    // the attachment is let go without waiting for the server's answer.
    TIBStatisticalService svc(nullptr);
    UseLocalServer(svc, db->Path());
    int lines = 0, lastLines = -1, waits = 0;
    std::chrono::steady_clock::time_point cancelledAt;
    svc.OnWait = [&] {
        waits = lines == lastLines ? waits + 1 : 0;
        lastLines = lines;
        if (waits == 8 && !svc.Cancelled()) {
            cancelledAt = std::chrono::steady_clock::now();
            svc.Cancel();
        }
    };
    svc.Activate();
    svc.ServiceStart();
    ExpectReadEndsByCancel(svc, lines);
    svc.Deactivate();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - cancelledAt).count();
    // Far below the server timeout (20 s) a wait for the answer would take.
    EXPECT_LT(seconds, 5.0);
    EXPECT_FALSE(svc.Active());
    EXPECT_LT(lines, static_cast<int>(service.size()));
}

TEST(StatService, WrongPasswordRaisesTheServersMessage) {
    DV_REQUIRE_FB_SERVER();
    TIBStatisticalService svc(nullptr);
    UseLocalServer(svc, FbDataDir() + "/whatever.fdb", FbPassword() + "x");
    try {
        svc.Activate();
        FAIL() << "attached with a wrong password";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("user name and password are not defined"), std::string::npos)
            << e.what();
        EXPECT_NE(e.IBErrorCode(), 0);
    }
    EXPECT_FALSE(svc.Active());
}

TEST(StatService, MissingDatabaseFailsTheStartWithTheServersMessage) {
    DV_REQUIRE_FB_SERVER();
    TIBStatisticalService svc(nullptr);
    UseLocalServer(svc, FbDataDir() + "/dvtest_no_such_database.fdb");
    svc.Activate();
    try {
        svc.ServiceStart();
        FAIL() << "started the statistics of a missing database";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("Can't open database file"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(svc.Eof());
    svc.Deactivate();
    EXPECT_FALSE(svc.Active());
}

TEST_F(ReadOnlyStatsDb, CancelFromTheWaitHookStopsTheReadAndTheServiceCanRunAgain) {
    TIBStatisticalService svc(nullptr);
    UseLocalServer(svc, db->Path());
    int lines = 0, linesAtCancel = -1;
    svc.OnWait = [&] {
        if (lines == 4 && linesAtCancel < 0) {
            linesAtCancel = lines;
            svc.Cancel();
        }
    };
    svc.Activate();
    svc.ServiceStart();
    ExpectReadEndsByCancel(svc, lines);
    EXPECT_EQ(lines, 4);   // the hook runs before each line: no line comes after the cancel
    EXPECT_EQ(linesAtCancel, 4);
    EXPECT_TRUE(svc.Cancelled());
    svc.Deactivate();

    // A new run starts clean: the flag is cleared and every line comes.
    svc.OnWait = nullptr;
    svc.Activate();
    EXPECT_FALSE(svc.Cancelled());
    svc.ServiceStart();
    TStringList all = ReadServiceLines(svc);
    svc.Deactivate();
    ExpectSameText(all, db->Fbstat("-a -r"));
}

TEST(StatService, ReadingWithoutActivationIsAnErrorOfTheLayer) {
    TIBStatisticalService svc(nullptr);
    EXPECT_THROW(svc.ServiceStart(), EIBClientError);
    EXPECT_THROW(svc.GetNextLine(), EIBClientError);
    EXPECT_NO_THROW(svc.Deactivate());
}
