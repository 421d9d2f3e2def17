// The data module: creation with and without the client library, the
// connection settings it derives from the statistics service, the allocated
// page count and the live counters.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/server/DMTestSupport.h"
#include "model/moninfo.h"
#include "server/IBApi.h"

using namespace dv;
using namespace dv::test;

namespace {

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : FName(name) {
        const char* old = std::getenv(name);
        FHad = old != nullptr;
        if (FHad) FOld = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (FHad)
            setenv(FName, FOld.c_str(), 1);
        else
            unsetenv(FName);
    }

private:
    const char* FName;
    bool FHad = false;
    std::string FOld;
};

}  // namespace

TEST(ClientLibrary, MissingLibraryMakesCreatingTheDataModuleRaise) {
    ScopedEnv env(kClientLibraryVariable, "/nonexistent/dravolt/libfbclient.so.2");
    TComponent owner(nullptr);
    try {
        TDM dm(&owner);
        FAIL() << "a data module without a client library";
    } catch (const EIBClientError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/dravolt/libfbclient.so.2"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(owner.ComponentCount(), 0) << "a half-made data module stayed with its owner";
    EXPECT_EQ(DM, nullptr);
    EXPECT_THROW(TIBDatabase db(nullptr), EIBClientError);
}

TEST(ClientLibrary, LibraryWithoutTheEntryPointsIsRefused) {
    // Loads fine, but is no database client.
    ScopedEnv env(kClientLibraryVariable, "libm.so.6");
    try {
        LoadClientLibrary();
        FAIL() << "accepted a library without the client's functions";
    } catch (const EIBClientError& e) {
        EXPECT_NE(std::string(e.what()).find("isc_attach_database"), std::string::npos) << e.what();
    }
}

TEST(ClientLibrary, DefaultSearchEndsWithTheVersionedFirebirdClient) {
    ASSERT_FALSE(ClientLibraryNames().empty());
    EXPECT_EQ(ClientLibraryNames().back(), "libfbclient.so.2");
    ScopedEnv env(kClientLibraryVariable, "");
    const TIBClientLibrary& lib = LoadClientLibrary();
    char version[256] = {};
    lib.isc_get_client_version(version);
    EXPECT_NE(std::string(version).find("Firebird"), std::string::npos) << version;
}

TEST(DataModule, ComponentsComeInOrderWithTheirSettings) {
    TDM dm(nullptr);
    std::vector<std::string> names;
    for (TComponent* c : dm.ComponentList()) names.emplace_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"DB", "IBStatService", "TR", "Q1", "DBI", "Q"}));
    EXPECT_EQ(dm.Name(), "DM");
    EXPECT_EQ(dm.IBStatService->Options, 0x29);
    EXPECT_EQ(dm.TR->Params, (TStringList{"read", "read_committed", "rec_version", "nowait"}));
    EXPECT_EQ(dm.TR->DefaultDatabase(), dm.DB);
    EXPECT_EQ(dm.DB->DefaultTransaction, dm.TR);
    EXPECT_EQ(dm.Q->Transaction(), dm.TR);
    EXPECT_EQ(dm.Q1->Database(), dm.DB);
    EXPECT_EQ(dm.DBI->Database(), dm.DB);
}

TEST(DataModule, ServiceSettingsMakeTheDatabaseName) {
    TDM dm(nullptr);
    struct Case {
        int Protocol;
        const char* Service;
        const char* Database;
    } cases[] = {
        {0, "dbhost:service_mgr", "dbhost:/data/emp.fdb"},
        {1, "\\\\dbhost\\service_mgr", "\\\\dbhost\\/data/emp.fdb"},
        {2, "service_mgr", "/data/emp.fdb"},
        {7, "service_mgr", "/data/emp.fdb"},   // unknown index: the protocol stays
        {0, "dbhost:service_mgr", "dbhost:/data/emp.fdb"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("protocol index " + std::to_string(c.Protocol));
        dm.SetServiceParams("dbhost", "/data/emp.fdb", "BOB", "pa=ss", c.Protocol);
        EXPECT_EQ(dm.IBStatService->ServiceManagerName(), c.Service);
        EXPECT_EQ(dm.IBStatService->Params, (TStringList{"user_name=BOB", "password=pa=ss"}));
        EXPECT_EQ(ParamValue(dm.IBStatService->Params, "password"), "pa=ss");
        dm.PrepareConnection();
        EXPECT_EQ(dm.DB->DatabaseName, c.Database);
        EXPECT_EQ(dm.DB->Params, dm.IBStatService->Params);
    }
}

TEST(DataModule, TransactionParametersReadOnlyOrWriting) {
    TDM dm(nullptr);
    dm.SetTransactionParams(false);
    EXPECT_EQ(dm.TR->Params, (TStringList{"read_committed", "rec_version", "nowait"}));
    dm.SetTransactionParams(true);
    EXPECT_EQ(dm.TR->Params, (TStringList{"read", "read_committed", "rec_version", "nowait"}));
}

class DataModuleServer : public DMTest {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        CreateDatabase("create table T (ID integer, S varchar(200));");
    }
};

TEST_F(DataModuleServer, AllocatedPagesEqualWhatTheDatabaseReports) {
    int32_t before = dm->GetAllocatedPages();
    EXPECT_EQ(before, std::stoi(db->QueryValue("select mon$pages from mon$database;")));
    EXPECT_FALSE(dm->DB->Connected());

    ASSERT_EQ(db->Exec("set term ^;\nexecute block as declare i integer = 0; begin while (i < 20000) do begin "
                       "insert into T values (:i, rpad('x', 200, 'y')); i = i + 1; end end^\nset term ;^\ncommit;")
                  .Status,
              0);
    int32_t after = dm->GetAllocatedPages();
    EXPECT_GT(after, before + 100) << "20000 rows need more than 100 more pages of 8 KB";
    EXPECT_EQ(after, std::stoi(db->QueryValue("select mon$pages from mon$database;")));
}

TEST_F(DataModuleServer, WrongPasswordAndMissingDatabaseComeBackWithTheServersMessage) {
    UseUser("SYSDBA", FbPassword() + "-wrong");
    try {
        dm->GetAllocatedPages();
        FAIL() << "connected with a wrong password";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("user name and password are not defined"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(dm->DB->Connected());

    dm->SetServiceParams("localhost", db->Path() + ".missing", "SYSDBA", FbPassword(), 0);
    try {
        dm->GetAllocatedPages();
        FAIL() << "connected to a missing database";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find(db->Path() + ".missing"), std::string::npos) << e.what();
        EXPECT_LT(e.SQLCode(), 0);
    }
}

TEST_F(DataModuleServer, MonitorInfoFailsOnFirebirdAndLeavesWhatItOpened) {
    TDBMonInfo info(nullptr);
    info.AllocatedPages = 11;
    info.PageMarks = 66;
    dm->PrepareConnection();

    // Not connected before: the module connects and starts the transaction,
    // and the failure leaves both open.
    try {
        dm->ReadMonitorInfo(info);
        FAIL() << "Firebird has no TMP$DATABASE";
    } catch (const EIBInterBaseError& e) {
        EXPECT_NE(std::string(e.what()).find("TMP$DATABASE"), std::string::npos) << e.what();
        EXPECT_EQ(e.SQLCode(), -204);
    }
    EXPECT_TRUE(dm->DB->Connected());
    EXPECT_TRUE(dm->TR->InTransaction());
    EXPECT_EQ(info.AllocatedPages, 11);
    EXPECT_EQ(info.PageMarks, 66);

    // Already connected with a running transaction: the same again, and the
    // open connection is still usable.
    EXPECT_THROW(dm->ReadMonitorInfo(info), EIBInterBaseError);
    EXPECT_TRUE(dm->DB->Connected());
    EXPECT_TRUE(dm->TR->InTransaction());
    dm->Q->SQL = {"select count(*) as N from T"};
    dm->Q->ExecQuery();
    EXPECT_EQ(dm->Q->FieldByName("N").AsInteger(), 0);
    dm->Q->Close();
    dm->TR->Commit();
    dm->DB->Disconnect();
}

TEST_F(DataModuleServer, MonitorInfoReadsTheCountersWhereTheTableExists) {
    // A server with temporary monitoring tables, stood in for by a table of
    // that name in the test database.
    ASSERT_EQ(db->Exec("create table TMP$DATABASE (TMP$ALLOCATED_PAGES integer, TMP$CACHE_BUFFERS integer, "
                       "TMP$PAGE_READS integer, TMP$PAGE_WRITES bigint, TMP$PAGE_FETCHES integer, "
                       "TMP$PAGE_MARKS integer);\ncommit;\n"
                       "insert into TMP$DATABASE values (1234, 2048, 17, 5, 99999, 3);\ncommit;")
                  .Status,
              0);
    dm->PrepareConnection();
    TDBMonInfo info(nullptr);
    dm->ReadMonitorInfo(info);
    EXPECT_EQ(info.AllocatedPages, 1234);
    EXPECT_EQ(info.CacheBuffers, 2048);
    EXPECT_EQ(info.PageReads, 17);
    EXPECT_EQ(info.PageWrites, 5);
    EXPECT_EQ(info.PageFetches, 99999);
    EXPECT_EQ(info.PageMarks, 3);
    // It connected itself, so it committed and disconnected.
    EXPECT_FALSE(dm->DB->Connected());
    EXPECT_FALSE(dm->TR->InTransaction());

    // Found connected: left connected, transaction still running.
    dm->DB->Connect();
    dm->ReadMonitorInfo(info);
    EXPECT_TRUE(dm->DB->Connected());
    EXPECT_TRUE(dm->TR->InTransaction());
    dm->TR->Commit();
    dm->DB->Disconnect();
}
