// The local Firebird server for tests of every folder: whether it runs (a
// missing server skips a test, or fails it under CI), and test databases
// created and dropped by the tests themselves through the server's own tools
// (isql, fbstat, gfix), so that what the program reads can be compared with
// what the tools print. No Qt: every suite links this.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/streaming/Classes.h"
#include "tests/support/TestSupport.h"

namespace dv::test {

// SYSDBA's password: DRAVOLT_FB_PASSWORD or "masterkey".
std::string FbPassword();
// The folder of the test databases: DRAVOLT_FB_DATA or /tmp/dravolt-fb.
std::string FbDataDir();
// True when the local server answers its service manager (checked once).
bool FbServerUp();

// Output (stdout and stderr) and exit status of a shell command.
struct TCommandResult {
    std::string Output;
    int Status = -1;
};
TCommandResult RunCommand(const std::string& command);
// Runs an isql script as SYSDBA (stop at the first error); the script may
// begin with CREATE DATABASE or CONNECT.
TCommandResult RunIsql(const std::string& script);
// Quotes a word for the shell.
std::string ShellQuote(const std::string& s);

// An isql script (SET TERM included) that runs `body` once for each i from
// `from` up to `to` - 1; the body refers to the counter as :i.
std::string SqlRowLoop(int from, int to, const std::string& body);

// A script that leaves the stored selectivity of every index stale: the
// tables, rows 0..9 through `insertRow` (SQL using :i), the indices (whose
// selectivity is stored then, 1/10 for distinct keys), then rows 10..49, so
// that a recomputation gives 1/50.
std::string StaleSelectivityDdl(const std::string& tables, const std::string& insertRow, const std::string& indices);

// A database file under the data folder that no other test or process uses
// at the same time: named after `name` and the process.
std::string FbTestDatabasePath(const std::string& name);

// One database under the data folder (FbTestDatabasePath), created through
// the server with the given SQL (after CREATE DATABASE, before the final
// COMMIT) and dropped when the object goes.
class TFbTestDatabase {
public:
    TFbTestDatabase(const std::string& name, const std::string& ddl, int pageSize = 8192);
    ~TFbTestDatabase();
    TFbTestDatabase(const TFbTestDatabase&) = delete;
    TFbTestDatabase& operator=(const TFbTestDatabase&) = delete;

    const std::string& Path() const { return FPath; }
    // "localhost:<path>"
    std::string Remote() const { return "localhost:" + FPath; }
    bool Created() const { return FCreated; }
    const std::string& CreateOutput() const { return FCreateOutput; }
    // The isql CONNECT statement (with its line end) for this database as
    // SYSDBA (or the given user; an empty password with SYSDBA is SYSDBA's).
    std::string ConnectStatement(const std::string& user = "SYSDBA", const std::string& password = "") const;
    // Runs SQL connected to this database as SYSDBA (or the given user).
    TCommandResult Exec(const std::string& sql, const std::string& user = "SYSDBA",
                        const std::string& password = "") const;
    // The first value of the first row of a one-column query, trimmed.
    std::string QueryValue(const std::string& sql) const;
    // The selectivity stored for an index, as the server's own tool reads it
    // (std::invalid_argument when the query gives nothing).
    double StoredSelectivity(const std::string& index) const;
    // fbstat (the engine's statistics tool) with these switches as SYSDBA:
    // its output as printed, and as lines.
    TCommandResult FbstatOutput(const std::string& switches) const;
    TStringList Fbstat(const std::string& switches) const;
    // gfix with these switches as SYSDBA.
    TCommandResult Gfix(const std::string& switches) const;

private:
    std::string FPath;
    bool FCreated = false;
    std::string FCreateOutput;
};

// A user of the security database, created for one test and dropped after.
class TFbTestUser {
public:
    // The statements run through the given database, which must outlive the user.
    TFbTestUser(const TFbTestDatabase& db, const std::string& prefix);
    ~TFbTestUser();
    const std::string& Name() const { return FName; }
    const std::string& Password() const { return FPassword; }

private:
    const TFbTestDatabase& FDb;
    std::string FName;
    std::string FPassword = "NoRights1";
};

}  // namespace dv::test

// Skips the test when the server is down, but fails it under CI.
#define DV_REQUIRE_FB_SERVER()                                                                   \
    do {                                                                                         \
        if (!::dv::test::FbServerUp()) {                                                         \
            if (::dv::test::UnderCI()) FAIL() << "The local Firebird server is not running";      \
            GTEST_SKIP() << "The local Firebird server is not running (scripts/fbserver.sh start)"; \
        }                                                                                        \
    } while (0)
