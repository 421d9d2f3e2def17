// The statistics service and the data module over a network that fails:
// through the tests' own fault proxy in front of the local server, a peer
// that never answers, a link that stalls or drops part-way. Every call ends
// within the timeout (set low here) or at a cancel, and a later run over a
// sound link succeeds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/server/DMTestSupport.h"
#include "tests/support/FaultProxy.h"

using namespace dv;
using namespace dv::test;

namespace {

using TMode = TFaultProxy::TMode;
using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point t) { return std::chrono::duration<double>(TClock::now() - t).count(); }

// A short server timeout for the test's duration.
class TShortTimeout {
public:
    explicit TShortTimeout(const char* seconds) { setenv(kServerTimeoutVariable, seconds, 1); }
    ~TShortTimeout() { unsetenv(kServerTimeoutVariable); }
};

const char* const kDdl = R"(
create table CUSTOMERS (ID integer not null primary key, NAME varchar(40), CITY char(20));
create index IDX_CUST_CITY on CUSTOMERS (CITY);
commit;
insert into CUSTOMERS values (1, 'One', 'Here');
)";

class NetFaultTest : public DMTest {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        ASSERT_TRUE(Proxy.Listening());
        CreateDatabase(kDdl);
        dm->SetServiceParams(Proxy.Server(), db->Path(), "SYSDBA", FbPassword(), 0);
    }
    // A whole run of the module's service; its lines.
    TStringList Run() {
        TIBStatisticalService& svc = *dm->IBStatService;
        svc.Activate();
        svc.ServiceStart();
        TStringList lines = ReadServiceLines(svc);
        svc.Deactivate();
        return lines;
    }
    TShortTimeout Timeout{"1"};
    TFaultProxy Proxy;
};

// Over the proxy an attach of the service takes 4 requests and the start a
// 5th; the queries follow. An attach of a database takes 5, its first
// transaction the 6th and the first statement's prepare the 7th.
TEST_F(NetFaultTest, AServiceRunThatFailsOnTheLinkEndsAndTheNextRunSucceeds) {
    const size_t wholeRun = Run().size();
    ASSERT_GT(wholeRun, 20u);
    TIBStatisticalService& svc = *dm->IBStatService;
    struct Case {
        const char* name;
        TMode mode;
        size_t count;
        bool cancel;           // from the wait hook, before the timeout
        const char* says;      // part of the error's text
    } cases[] = {
        {"never answers", TMode::Silent, 0, false, "did not answer within 1 second"},
        {"never answers, cancelled", TMode::Silent, 0, true, "cancelled"},
        {"stalls in the attach", TMode::StallAfter, 2, false, "did not answer within 1 second"},
        {"stalls in the start", TMode::StallAfter, 4, false, "did not answer within 1 second"},
        {"stalls in the start, cancelled", TMode::StallAfter, 4, true, "cancelled"},
        {"stalls before the first reply", TMode::StallAfter, 5, false, "did not answer within 1 second"},
        {"drops mid-output", TMode::DropAfter, 1200, false, "Error reading data from the connection"},
        {"reset mid-output", TMode::ResetAfter, 1200, false, "connection"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Proxy.SetMode(c.mode, c.count);
        int waits = 0;
        svc.OnWait = [&] {
            if (c.cancel && ++waits == 3) svc.Cancel();
        };
        const auto started = TClock::now();
        std::string error = "<none>";
        try {
            Run();
        } catch (const std::exception& e) {
            error = e.what();
        }
        const double seconds = SecondsSince(started);
        svc.OnWait = nullptr;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        if (!c.cancel && c.mode != TMode::DropAfter && c.mode != TMode::ResetAfter) {
            EXPECT_NE(error.find("\"" + Proxy.Server() + "\""), std::string::npos) << error;
        }
        EXPECT_EQ(error.find("rejected"), std::string::npos) << error;
        EXPECT_LT(seconds, 10.0);
        // What the callers do after any failure; the handle is gone with it.
        svc.Deactivate();
        EXPECT_FALSE(svc.Active());

        Proxy.SetMode(TMode::Forward);
        EXPECT_EQ(Run().size(), wholeRun);
        Proxy.CutAll();   // what the fault left waiting ends here
    }
}

// A run given up stops its job on the server: the service's attachment is
// detached (the server ends a detached statistics job within seconds, where
// it would otherwise go on to the end), so its connection closes.
TEST_F(NetFaultTest, ACancelledRunDetachesItsServiceSoTheServerStopsTheJob) {
    TIBStatisticalService& svc = *dm->IBStatService;
    int lines = 0;
    svc.OnWait = [&] {
        if (++lines == 3) svc.Cancel();
    };
    svc.Activate();
    svc.ServiceStart();
    EXPECT_THROW(ReadServiceLines(svc), EAbort);
    svc.Deactivate();
    svc.OnWait = nullptr;
    int open = Proxy.Open();
    for (int i = 0; i < 100 && open > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        open = Proxy.Open();
    }
    EXPECT_EQ(open, 0) << "the service is still attached";
    EXPECT_EQ(Proxy.Accepted(), 1);
}

TEST_F(NetFaultTest, ReadsOfTheDataModuleEndOnAFailingLinkAndLeaveTheModelAlone) {
    LoadModelFromServer();
    TRelation* customers = RelationNamed("CUSTOMERS");
    ASSERT_TRUE(customers);
    struct Case {
        const char* name;
        TMode mode;
        size_t count;
        bool metadata;   // else the allocated pages
    } cases[] = {
        {"pages, never answers", TMode::Silent, 0, false},
        {"pages, stalls at the question", TMode::StallAfter, 5, false},
        {"metadata, never answers", TMode::Silent, 0, true},
        {"metadata, stalls in the query", TMode::StallAfter, 7, true},
        {"metadata, drops part-way", TMode::DropAfter, 700, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Proxy.SetMode(c.mode, c.count);
        const auto started = TClock::now();
        bool connection = false;
        std::string error = "<none>";
        try {
            if (c.metadata)
                dm->ReadMetadata();
            else
                dm->GetAllocatedPages();
        } catch (const std::exception& e) {
            error = e.what();
            connection = IsConnectionFailure(e);
        }
        EXPECT_TRUE(connection) << error;
        EXPECT_LT(SecondsSince(started), 10.0);
        EXPECT_TRUE(customers->Fields.empty());
        EXPECT_EQ(IndexNamed("IDX_CUST_CITY")->Key, "");
        EXPECT_FALSE(dm->DB->Connected());

        Proxy.SetMode(TMode::Forward);
        EXPECT_GT(dm->GetAllocatedPages(), 0);
        dm->ReadMetadata();
        EXPECT_EQ(customers->Fields.size(), 3u);
        EXPECT_EQ(IndexNamed("IDX_CUST_CITY")->Key, "CITY");
        // The next case starts from a model without metadata again.
        for (TRelationField* f : customers->Fields) delete f;
        customers->Fields.clear();
        IndexNamed("IDX_CUST_CITY")->Key.clear();
        Proxy.CutAll();
    }
}

}  // namespace
