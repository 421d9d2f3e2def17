#include "FbTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/SysUtils.h"

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

TStringList SplitLines(const std::string& text) {
    TStringList lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

TFbTestDatabase::TFbTestDatabase(const std::string& name, const std::string& ddl) {
    FPath = FbDataDir() + "/dvtest_" + name + "_" + std::to_string(getpid()) + ".fdb";
    std::remove(FPath.c_str());  // a leftover of an earlier, killed run
    TCommandResult r = RunIsql("create database " + SqlString("localhost:" + FPath) + " user 'SYSDBA' password " +
                               SqlString(FbPassword()) + " page_size 8192 default character set NONE;\n" + ddl +
                               "\ncommit;");
    FCreateOutput = r.Output;
    FCreated = r.Status == 0;
}

TFbTestDatabase::~TFbTestDatabase() {
    // Best effort: a test that failed half-way may still hold an attachment,
    // and a script that failed after CREATE DATABASE left a file; the file is
    // removed below either way.
    RunIsql("connect " + SqlString(Remote()) + " user 'SYSDBA' password " + SqlString(FbPassword()) +
            ";\ndrop database;");
    std::remove(FPath.c_str());
}

TCommandResult TFbTestDatabase::Exec(const std::string& sql, const std::string& user,
                                     const std::string& password) const {
    std::string pw = user == "SYSDBA" && password.empty() ? FbPassword() : password;
    return RunIsql("connect " + SqlString(Remote()) + " user " + SqlString(user) + " password " + SqlString(pw) +
                   ";\n" + sql);
}

std::string TFbTestDatabase::QueryValue(const std::string& sql) const {
    TCommandResult r = Exec("set heading off;\n" + sql);
    for (const std::string& line : SplitLines(r.Output)) {
        std::string t = Trim(line);
        if (!t.empty()) return t;
    }
    return std::string();
}

TStringList TFbTestDatabase::Fbstat(const std::string& switches) const {
    TCommandResult r = RunCommand("fbstat " + switches + " -user SYSDBA -password " + ShellQuote(FbPassword()) +
                                  " " + ShellQuote(Remote()));
    return SplitLines(r.Output);
}

TFbTestUser::TFbTestUser(const TFbTestDatabase& db, const std::string& prefix) : FDb(db) {
    FName = UpperCase(prefix) + "_" + std::to_string(getpid());
    FDb.Exec("create or alter user " + FName + " password " + SqlString(FPassword) + ";\ncommit;");
}

TFbTestUser::~TFbTestUser() { FDb.Exec("drop user " + FName + ";\ncommit;"); }

}  // namespace dv::test
