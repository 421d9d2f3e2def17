// Recomputing index selectivity on a real database: stale statistics change,
// names that need quoting work, and failures still commit and disconnect.
#include <gtest/gtest.h>

#include "tests/server/DMTestSupport.h"

using namespace dv;
using namespace dv::test;

namespace {

// Every stored selectivity stale (1/10 stored, 1/50 right), on index names
// that need quoting too.
const std::string kSelectivityDdl = StaleSelectivityDdl(
    "create table RA (A integer, B integer, C integer, D integer, E integer);\n"
    "create table RB (K integer);",
    "    insert into RA values (:i, :i, :i, :i, :i);\n"
    "    insert into RB values (:i);",
    "create index IX_A on RA (A);\n"
    "create index IX_B on RA (B);\n"
    "create index \"my idx\" on RA (C);\n"
    "create index \"IT\"\"S\" on RA (D);\n"
    "create index \"lower\" on RA (E);\n"
    "create index IX_RB on RB (K);");

const char* const kAllUserIndices[] = {"IX_A", "IX_B", "my idx", "IT\"S", "lower", "IX_RB"};

class SelectivityTest : public DMTest {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        CreateDatabase(kSelectivityDdl);
        if (HasFatalFailure()) return;
        dm->PrepareConnection();
        for (const char* ix : kAllUserIndices) ASSERT_FLOAT_EQ(StoredStatistics(ix), 0.1) << ix;
    }

    void ExpectClosedAndReadOnly() {
        EXPECT_FALSE(dm->DB->Connected());
        EXPECT_FALSE(dm->TR->InTransaction());
        EXPECT_EQ(dm->TR->Params, (TStringList{"read", "read_committed", "rec_version", "nowait"}));
    }
};

}  // namespace

TEST(QuoteIndexName, QuotesWhatIsNotAPlainUpperCaseIdentifier) {
    struct Case {
        const char* Name;
        const char* Sql;
    } cases[] = {
        {"IX_A", "IX_A"},
        {"RDB$PRIMARY1", "RDB$PRIMARY1"},
        {"RDB$INDEX_0                    ", "RDB$INDEX_0"},   // padding of the system tables
        {"my idx", "\"my idx\""},
        {"lower", "\"lower\""},
        {"IT\"S", "\"IT\"\"S\""},
        {"A B", "\"A B\""},
        {"1ST", "\"1ST\""},
        {"X;DROP TABLE RA", "\"X;DROP TABLE RA\""},
        {"\"", "\"\"\"\""},
    };
    for (const Case& c : cases) EXPECT_EQ(QuoteIndexName(c.Name), c.Sql) << "name [" << c.Name << "]";
}

TEST_F(SelectivityTest, RecomputesOneIndexWhateverItsName) {
    for (const char* ix : {"IX_A", "my idx", "IT\"S", "lower"}) {
        SCOPED_TRACE(ix);
        dm->RecomputeSelectivity(ix);
        EXPECT_FLOAT_EQ(StoredStatistics(ix), 0.02);
        ExpectClosedAndReadOnly();
    }
    // Only the named ones changed.
    EXPECT_FLOAT_EQ(StoredStatistics("IX_B"), 0.1);
    EXPECT_FLOAT_EQ(StoredStatistics("IX_RB"), 0.1);
}

TEST_F(SelectivityTest, UnknownIndexFailsWithTheServersMessageAndCleansUp) {
    try {
        dm->RecomputeSelectivity("NO_SUCH_INDEX");
        FAIL() << "recomputed an index that does not exist";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("NO_SUCH_INDEX"), std::string::npos) << e.what();
    }
    ExpectClosedAndReadOnly();
}

TEST_F(SelectivityTest, RecomputesEveryIndexIncludingTheSystemTables) {
    // A system index: the engine stores no selectivity for it until asked.
    const std::string query = "select rdb$statistics from rdb$indices where rdb$index_name = 'RDB$INDEX_0';";
    ASSERT_EQ(db->QueryValue(query), "<null>");

    dm->RecomputeAllSelectivity();
    for (const char* ix : kAllUserIndices) EXPECT_FLOAT_EQ(StoredStatistics(ix), 0.02) << ix;
    EXPECT_GT(std::stod(db->QueryValue(query)), 0.0);
    ExpectClosedAndReadOnly();

    // Afterwards the module still reads with a read-only transaction.
    dm->DB->Connect();
    dm->TR->StartTransaction();
    dm->Q->SQL = {"insert into RB values (1)"};
    EXPECT_THROW(dm->Q->ExecQuery(), EIBInterBaseError);
    dm->TR->Commit();
    dm->DB->Disconnect();
}

TEST_F(SelectivityTest, FailureHalfWayCommitsWhatWasDoneAndDisconnects) {
    // Another transaction holds the row of IX_B: the recomputation gets past
    // the system indices and IX_A, then fails on IX_B without waiting.
    TIndexStatisticsBlocker blocker(*db, "IX_B");

    try {
        dm->RecomputeAllSelectivity();
        FAIL() << "recomputed an index held by another transaction";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("update conflicts with concurrent update"), std::string::npos) << e.what();
    }
    ExpectClosedAndReadOnly();
    blocker.Release();

    EXPECT_FLOAT_EQ(StoredStatistics("IX_A"), 0.02) << "the work before the failure was not committed";
    EXPECT_FLOAT_EQ(StoredStatistics("IX_B"), 0.1);
    EXPECT_FLOAT_EQ(StoredStatistics("IX_RB"), 0.1) << "went on after the failure";
}

TEST_F(SelectivityTest, UserWithoutRightsFailsAndTheModuleCleansUp) {
    TFbTestUser user(*db, "dv_norights");
    UseUser(user.Name(), user.Password());
    dm->PrepareConnection();

    struct Case {
        const char* What;
        std::function<void()> Run;
        const char* Table;   // named by the server's refusal
    } cases[] = {
        {"one index", [&] { dm->RecomputeSelectivity("IX_A"); }, "RA"},
        {"every index", [&] { dm->RecomputeAllSelectivity(); }, "RDB$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        try {
            c.Run();
            ADD_FAILURE() << "a user without rights recomputed selectivity";
        } catch (const EIBInterBaseError& e) {
            std::string msg = e.what();
            EXPECT_NE(msg.find("no permission for ALTER access to TABLE " + std::string(c.Table)), std::string::npos)
                << msg;
        }
        ExpectClosedAndReadOnly();
    }
    EXPECT_FLOAT_EQ(StoredStatistics("IX_A"), 0.1);
}
