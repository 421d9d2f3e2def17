// A data module pointed at a test database of its own, with the model read
// from the server's real statistics of that database.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/FirebirdTestServer.h"
#include "model/dkmain.h"
#include "model/StatParser.h"
#include "server/DMData.h"
#include "tests/server/ServiceTestSupport.h"
#include "tests/support/ScriptedDialogs.h"

namespace dv::test {

class DMTest : public ::testing::Test {
protected:
    // Creates the database (named after the test) and a data module set to it
    // as SYSDBA over TCP.
    void CreateDatabase(const std::string& ddl) {
        db = std::make_unique<TFbTestDatabase>(
            ::testing::UnitTest::GetInstance()->current_test_info()->name(), ddl);
        ASSERT_TRUE(db->Created()) << db->CreateOutput();
        dm = std::make_unique<TDM>(nullptr);
        UseUser("SYSDBA", FbPassword());
        InitStatisticsModel();
        DBInfo->Reset(true);
    }

    void UseUser(const std::string& user, const std::string& password) {
        dm->SetServiceParams("localhost", db->Path(), user, password, 0);
    }

    // Full statistics through the data module's own service, as the
    // statistics dialog takes them.
    TStringList TakeStatistics() {
        TIBStatisticalService& svc = *dm->IBStatService;
        svc.Options = kFullStatOptions;
        svc.Activate();
        svc.ServiceStart();
        TStringList lines = ReadServiceLines(svc);
        svc.Deactivate();
        return lines;
    }

    // The model, parsed from the server's statistics of the test database.
    void LoadModelFromServer() {
        ScriptedDialogs dialogs;
        ASSERT_TRUE(ParseStatLines(TakeStatistics()));
        ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
        ASSERT_GT(DBInfo->PageSize, 0);
    }

    // The stored selectivity of an index as the server's own tool reads it.
    double StoredStatistics(const std::string& index) const { return db->StoredSelectivity(index); }

    void TearDown() override {
        dm.reset();
        if (DBInfo) DBInfo->Reset(true);
    }

    std::unique_ptr<TFbTestDatabase> db;
    std::unique_ptr<TDM> dm;
};

// A second attachment that changes the stored selectivity of an index and
// keeps the change uncommitted until Release: a writer that does not wait,
// or a reader that must not pass over uncommitted versions, fails on it.
class TIndexStatisticsBlocker {
public:
    TIndexStatisticsBlocker(const TFbTestDatabase& db, const std::string& index) {
        FDb.DatabaseName = db.Remote();
        FDb.Params = {"user_name=SYSDBA", "password=" + FbPassword()};
        FDb.Connect();
        FTr.SetDefaultDatabase(&FDb);
        FTr.Params = {"write", "concurrency", "nowait"};
        FTr.StartTransaction();
        FSql.SetDatabase(&FDb);
        FSql.SetTransaction(&FTr);
        FSql.SQL = {"set statistics index " + index};
        FSql.ExecQuery();
    }
    // Rolls the change back and detaches.
    void Release() {
        FTr.Rollback();
        FDb.Disconnect();
    }

private:
    TIBDatabase FDb{nullptr};
    TIBTransaction FTr{nullptr};
    TIBSQL FSql{nullptr};
};

inline TRelation* RelationNamed(const std::string& name) {
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == name) return r;
    return nullptr;
}

inline TIndex* IndexNamed(const std::string& name) {
    for (TIndex* i : DBInfo->Indices)
        if (i->IndexName == name) return i;
    return nullptr;
}

}  // namespace dv::test
