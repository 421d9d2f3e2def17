#include "tests/support/FirebirdTestServer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/text/SysUtils.h"

namespace dv::test {

std::string FbPassword() {
    const char* pw = std::getenv("DRAVOLT_FB_PASSWORD");
    return pw && *pw ? pw : "masterkey";
}

std::string FbDataDir() {
    const char* dir = std::getenv("DRAVOLT_FB_DATA");
    return dir && *dir ? dir : "/tmp/dravolt-fb";
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

TCommandResult RunCommand(const std::string& command) {
    TCommandResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Output.append(buf, n);
    int status = pclose(p);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool FbServerUp() {
    static const bool up = RunCommand("fbsvcmgr localhost:service_mgr -user SYSDBA -password " +
                                      ShellQuote(FbPassword()) + " info_server_version")
                               .Status == 0;
    return up;
}

namespace {

std::string TempScript(const std::string& text) {
    static std::atomic<int> counter{0};
    std::string path = "/tmp/dravolt-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".sql";
    WriteFile(path, text);
    return path;
}

std::string SqlString(const std::string& s) { return "'" + StringReplaceAll(s, "'", "''") + "'"; }

}  // namespace

TCommandResult RunIsql(const std::string& script) {
    std::string file = TempScript("set bail on;\n" + script + "\n");
    TCommandResult r = RunCommand("isql-fb -q -i " + ShellQuote(file));
    std::remove(file.c_str());
    return r;
}

std::string SqlRowLoop(int from, int to, const std::string& body) {
    return "set term ^;\nexecute block as declare i integer = " + std::to_string(from) + "; begin\n  while (i < " +
           std::to_string(to) + ") do begin\n" + body + "\n    i = i + 1;\n  end\nend^\nset term ;^\n";
}

std::string StaleSelectivityDdl(const std::string& tables, const std::string& insertRow, const std::string& indices) {
    return tables + "\ncommit;\n" + SqlRowLoop(0, 10, insertRow) + "commit;\n" + indices + "\ncommit;\n" +
           SqlRowLoop(10, 50, insertRow);
}

std::string FbTestDatabasePath(const std::string& name) {
    return FbDataDir() + "/dvtest_" + name + "_" + std::to_string(getpid()) + ".fdb";
}

TFbTestDatabase::TFbTestDatabase(const std::string& name, const std::string& ddl, int pageSize) {
    FPath = FbTestDatabasePath(name);
    std::remove(FPath.c_str());  // a leftover of an earlier, killed run
    TCommandResult r = RunIsql("create database " + SqlString("localhost:" + FPath) + " user 'SYSDBA' password " +
                               SqlString(FbPassword()) + " page_size " + std::to_string(pageSize) +
                               " default character set NONE;\n" + ddl + "\ncommit;");
    FCreateOutput = r.Output;
    FCreated = r.Status == 0;
}

TFbTestDatabase::~TFbTestDatabase() {
    // Best effort: a test that failed half-way may still hold an attachment,
    // and a script that failed after CREATE DATABASE left a file; the file is
    // removed below either way.
    RunIsql(ConnectStatement() + "drop database;");
    std::remove(FPath.c_str());
}

std::string TFbTestDatabase::ConnectStatement(const std::string& user, const std::string& password) const {
    const std::string pw = user == "SYSDBA" && password.empty() ? FbPassword() : password;
    return "connect " + SqlString(Remote()) + " user " + SqlString(user) + " password " + SqlString(pw) + ";\n";
}

TCommandResult TFbTestDatabase::Exec(const std::string& sql, const std::string& user,
                                     const std::string& password) const {
    return RunIsql(ConnectStatement(user, password) + sql);
}

std::string TFbTestDatabase::QueryValue(const std::string& sql) const {
    TCommandResult r = Exec("set heading off;\n" + sql);
    for (const std::string& line : SplitLines(r.Output)) {
        std::string t = Trim(line);
        if (!t.empty()) return t;
    }
    return std::string();
}

double TFbTestDatabase::StoredSelectivity(const std::string& index) const {
    return std::stod(QueryValue("select rdb$statistics from rdb$indices where rdb$index_name = " + SqlString(index) +
                                ";"));
}

TCommandResult TFbTestDatabase::FbstatOutput(const std::string& switches) const {
    return RunCommand("fbstat " + switches + " -user SYSDBA -password " + ShellQuote(FbPassword()) + " " +
                      ShellQuote(Remote()));
}

TStringList TFbTestDatabase::Fbstat(const std::string& switches) const { return SplitLines(FbstatOutput(switches).Output); }

TCommandResult TFbTestDatabase::Gfix(const std::string& switches) const {
    return RunCommand("gfix " + switches + " -user SYSDBA -password " + ShellQuote(FbPassword()) + " " +
                      ShellQuote(Remote()));
}

TFbTestUser::TFbTestUser(const TFbTestDatabase& db, const std::string& prefix) : FDb(db) {
    FName = UpperCase(prefix) + "_" + std::to_string(getpid());
    FDb.Exec("create or alter user " + FName + " password " + SqlString(FPassword) + ";\ncommit;");
}

TFbTestUser::~TFbTestUser() { FDb.Exec("drop user " + FName + ";\ncommit;"); }

}  // namespace dv::test
