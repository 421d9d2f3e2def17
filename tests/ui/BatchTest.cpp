// The batch report as a real process: the built program started with a
// statistics file and a report file, on fbstat output of databases built here
// on the local Firebird server (one healthy, one with record versions, mass
// deletes, an inactive index, forced writes off and a short sweep interval).
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <filesystem>
#include <unistd.h>

#include "platform/streaming/Classes.h"
#include "platform/text/SysUtils.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/ProgramRunSupport.h"

namespace dv::test {
namespace {

TStringList SplitCrLf(const std::string& text) {
    TStringList out;
    size_t start = 0;
    for (;;) {
        size_t p = text.find("\r\n", start);
        if (p == std::string::npos) {
            if (start < text.size()) out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, p - start));
        start = p + 2;
    }
}

int32_t HeaderNumber(const std::string& stats, const char* key) {
    QRegularExpression re(QString(key) + "\\s+(\\d+)");
    auto m = re.match(QString::fromStdString(stats));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

std::string Freq(double ratio) {
    if (ratio > 1) {
        const long d = std::lrint(ratio);
        return d == 1 ? "every day" : "each " + std::to_string(d) + " days";
    }
    return std::to_string(std::lrint(1 / ratio)) + " times per day";
}

const char* const Separator = "--------------------------------------------------------";

class BatchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Scratch = new QTemporaryDir();
        if (!FbServerUp()) return;
        const std::string dir = Scratch->path().toStdString();
        HealthyStats = dir + "/healthy.txt";
        ProblemStats = dir + "/problem.txt";
        BuildHealthy();
        BuildProblem();
    }
    static void TearDownTestSuite() {
        HealthyDb.reset();   // each drops its database
        ProblemDb.reset();
        delete Scratch;
        Scratch = nullptr;
    }

    static void Fbstat(const TFbTestDatabase& db, const std::string& out) {
        const TCommandResult r = db.FbstatOutput("-a -r");
        if (r.Status == 0) WriteFile(out, r.Output);
        else SetupLog += "fbstat failed: " + r.Output;
    }

    static void BuildHealthy() {
        HealthyDb = std::make_unique<TFbTestDatabase>(
            "batch_healthy",
            "CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(30));\n"
            "COMMIT;\nSET TERM ^;\n"
            "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 2000) DO BEGIN "
            "INSERT INTO CUSTOMER VALUES (:I, 'Customer ' || :I, 'City ' || MOD(:I, 50)); I = I + 1; END END^\n"
            "SET TERM ;^\nCOMMIT;\n"
            "CREATE INDEX IDX_CUSTOMER_NAME ON CUSTOMER (NAME);\n",
            8192);
        Healthy = HealthyDb->Path();
        if (!HealthyDb->Created()) { SetupLog += "healthy database: " + HealthyDb->CreateOutput(); return; }
        Fbstat(*HealthyDb, HealthyStats);
    }

    static void BuildProblem() {
        ProblemDb = std::make_unique<TFbTestDatabase>(
            "batch_problem",
            "CREATE TABLE T_VERS (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER, S VARCHAR(20));\n"
            "CREATE TABLE T_DEL (ID INTEGER NOT NULL PRIMARY KEY, FLAG SMALLINT, S VARCHAR(40));\n"
            "CREATE TABLE T_EMPTY (ID INTEGER);\n"
            "CREATE INDEX IDX_DEL_FLAG ON T_DEL (FLAG);\n"
            "CREATE INDEX IDX_VERS_V ON T_VERS (V);\n"
            "COMMIT;\nSET TERM ^;\n"
            "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN\n"
            "  WHILE (I < 1000) DO BEGIN INSERT INTO T_VERS VALUES (:I, 0, 'row ' || :I); I = I + 1; END\n"
            "  I = 0;\n"
            "  WHILE (I < 20000) DO BEGIN INSERT INTO T_DEL VALUES (:I, 1, 'some text for row ' || :I); "
            "I = I + 1; END\n"
            "END^\nSET TERM ;^\nCOMMIT;\n"
            "ALTER INDEX IDX_VERS_V INACTIVE;\n",
            4096);
        const TFbTestDatabase& db = *ProblemDb;
        Problem = db.Path();
        if (!db.Created()) { SetupLog += "problem database: " + db.CreateOutput(); return; }
        db.Gfix("-write async");
        db.Gfix("-housekeeping 1000");

        // A snapshot transaction held open in another connection keeps every
        // back version alive while the table is updated four times.
        QProcess holder;
        holder.setProcessChannelMode(QProcess::MergedChannels);
        holder.start("isql-fb", {"-q"});
        holder.waitForStarted(10000);
        holder.write(QByteArray::fromStdString(db.ConnectStatement() +
                                               "SET TRANSACTION SNAPSHOT;\nSELECT 'HELD' FROM RDB$DATABASE;\n"));
        holder.waitForBytesWritten(10000);
        // isql holds its query output back while it runs, so ask the server
        // whether the snapshot is open.
        for (int tries = 0; tries < 100; ++tries) {
            const TCommandResult q = db.Exec("SELECT 'OPEN=' || COUNT(*) FROM MON$TRANSACTIONS WHERE MON$ATTACHMENT_ID <> "
                                             "CURRENT_CONNECTION AND MON$ISOLATION_MODE = 1;\n");
            if (q.Output.find("OPEN=0") == std::string::npos && q.Output.find("OPEN=") != std::string::npos) break;
            QThread::msleep(100);
        }
        // The updates and deletes are the last thing before the statistics:
        // nothing reads the tables afterwards, so no garbage is collected.
        const TCommandResult r = db.Exec("UPDATE T_VERS SET V = 1, S = 'a';\nCOMMIT;\n"
                                         "UPDATE T_VERS SET V = 2, S = 'b';\nCOMMIT;\n"
                                         "UPDATE T_VERS SET V = 3, S = 'c';\nCOMMIT;\n"
                                         "UPDATE T_VERS SET V = 4, S = 'd';\nCOMMIT;\n"
                                         "DELETE FROM T_DEL WHERE ID < 6000;\nCOMMIT;\n");
        if (r.Status != 0) SetupLog += "problem changes: " + r.Output;
        else Fbstat(db, ProblemStats);
        holder.write("ROLLBACK;\nQUIT;\n");
        holder.waitForBytesWritten(10000);
        holder.closeWriteChannel();
        if (!holder.waitForFinished(10000)) {
            holder.kill();
            holder.waitForFinished(5000);
        }
    }

    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        ASSERT_TRUE(SetupLog.empty()) << SetupLog;
        ASSERT_TRUE(std::filesystem::exists(ProgramPath())) << ProgramPath();
        Config = Scratch->path().toStdString() + "/config-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(Config);
        // A settings file with known content: a batch run must leave it alone.
        WriteFile(Config + "/dravolt.ini", IniText);
        IniTime = std::filesystem::last_write_time(Config + "/dravolt.ini");
        BesideExe = ExtractFilePath(ProgramPath()) + "dravolt.ini";
        BesideExeBefore = std::filesystem::exists(BesideExe) ? ReadFile(BesideExe) : "<none>";
    }

    // Runs the program in batch mode; checks it ended on its own and touched
    // no settings file.
    TProgramRun Batch(const std::string& stats, const std::string& report) {
        TProgramRun r = RunProgram({QString::fromStdString(stats), QString::fromStdString(report)},
                                   QString::fromStdString(Config), 30000);
        EXPECT_TRUE(r.Finished) << "the program did not end by itself (a window or message box left open?)\n" << r.Output;
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(ReadFile(Config + "/dravolt.ini"), IniText);
        EXPECT_EQ(std::filesystem::last_write_time(Config + "/dravolt.ini"), IniTime);
        EXPECT_EQ(std::filesystem::exists(BesideExe) ? ReadFile(BesideExe) : "<none>", BesideExeBefore);
        return r;
    }

    static TStringList ReportLines(const std::string& file) {
        const std::string text = ReadFile(file);
        EXPECT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "every line ends with CR LF";
        // No bare line feed or carriage return.
        EXPECT_EQ(StringReplaceAll(text, "\r\n", "").find_first_of("\r\n"), std::string::npos);
        return SplitCrLf(text);
    }

    static int IndexOf(const TStringList& lines, const std::string& line) {
        auto it = std::find(lines.begin(), lines.end(), line);
        return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
    }

    static inline QTemporaryDir* Scratch = nullptr;
    static inline std::unique_ptr<TFbTestDatabase> HealthyDb, ProblemDb;
    static inline std::string Healthy, Problem, HealthyStats, ProblemStats, SetupLog;
    static inline const std::string IniText = "[Options]\r\nMainWidth=700\r\nMainHeight=500\r\n";
    std::string Config, BesideExe, BesideExeBefore;
    std::filesystem::file_time_type IniTime;
};

TEST_F(BatchTest, HealthyDatabaseReportLineByLine) {
    const std::string report = Scratch->path().toStdString() + "/healthy-report.txt";
    Batch(HealthyStats, report);
    ASSERT_TRUE(std::filesystem::exists(report));
    const TStringList lines = ReportLines(report);
    const std::string stats = ReadFile(HealthyStats);
    const int32_t nxt = HeaderNumber(stats, "Next transaction");
    ASSERT_GT(nxt, 0);

    // Created moments before the statistics were taken: one day of work.
    std::vector<std::string> expected = {
        "Statistics report",
        "Database: " + Healthy,
        "",
        "Your database is running 1 days, and average workload is ~" + std::to_string(nxt) + " ",
        "transactions per day.",
        "",
    };
    // Sweep 20000 (the default) and a daily average of NxT.
    const std::string sweep = "Sweep interval is 20000, and automatic sweep may start " + Freq(20000.0 / nxt) +
                              ". If you encounter periodical performance slowdown, ";
    ASSERT_GE(lines.size(), expected.size() + 6);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i;
    // The sweep advice: its physical lines, joined, begin with the fixed text.
    size_t i = expected.size();
    std::string joined;
    while (i < lines.size() && !lines[i].empty()) joined += lines[i++];
    EXPECT_EQ(joined.rfind(sweep, 0), 0u) << joined;
    const std::vector<std::string> tail = {
        "",
        "Current database page size is 8192 bytes.",
        "",
        Separator,
        "Generated from Kelmaris technical support knowledgebase.",
        "",
        "You can request Kelmaris technical support here: https://www.kelmaris.example/services/optimization",
    };
    ASSERT_EQ(lines.size(), i + tail.size());
    for (size_t k = 0; k < tail.size(); ++k) EXPECT_EQ(lines[i + k], tail[k]) << "line " << i + k;
}

TEST_F(BatchTest, ProblemDatabaseReportLineByLine) {
    const std::string report = Scratch->path().toStdString() + "/problem-report.txt";
    Batch(ProblemStats, report);
    ASSERT_TRUE(std::filesystem::exists(report));
    const TStringList lines = ReportLines(report);
    // The statistics really hold what the report is to find.
    const std::string stats = ReadFile(ProblemStats);
    ASSERT_NE(stats.find("total versions: 4000, max versions: 4"), std::string::npos) << stats;
    ASSERT_NE(stats.find("total versions: 6000, max versions: 1"), std::string::npos) << stats;
    ASSERT_EQ(stats.find("IDX_VERS_V"), std::string::npos) << "an inactive index is not in the statistics";

    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[0], "Statistics report");
    EXPECT_EQ(lines[1], "Database: " + Problem);
    EXPECT_EQ(lines[2], "");
    const std::vector<std::string> forcedWrites = {
        "Forced Write is OFF. It is a dangerous setting, especially for ",
        "Windows users. Be careful, use UPS to protect your server. This ",
        "setting (FW OFF) increases the possibility of database corruption. If ",
        "your server hardware or operating system will hang, or power supply ",
        "will fail, database can be corrupted. We recommend to set Forced ",
        "Write ON (gfix -write sync).",
        "",
    };
    for (size_t k = 0; k < forcedWrites.size(); ++k) EXPECT_EQ(lines[3 + k], forcedWrites[k]) << "line " << 3 + k;
    const int32_t nxt = HeaderNumber(stats, "Next transaction");
    EXPECT_EQ(lines[10], "Your database is running 1 days, and average workload is ~" + std::to_string(nxt) + " ");
    EXPECT_EQ(lines[11], "transactions per day.");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13].rfind("Sweep interval is 1000, and automatic sweep may start " + Freq(1000.0 / nxt) + ". ", 0), 0u)
        << lines[13];

    const std::vector<std::string> lowSweep = {
        "We do not recommend to set sweep interval less than default 20000 ",
        "value. If there will be long running transaction(s), sweep will try ",
        "to run but with no success. The less sweep interval is the more often ",
        "in such situation it will try to run. This will slowdown performance. ",
        "",
    };
    int at = IndexOf(lines, lowSweep[0]);
    ASSERT_GT(at, 13);
    for (size_t k = 0; k < lowSweep.size(); ++k) EXPECT_EQ(lines[at + k], lowSweep[k]);
    // ODS 12.0 and a non-unique index with one value.
    EXPECT_EQ(lines[at + lowSweep.size()], "Since your database has non-unique indices with lot of duplicate keys ");

    const int page = IndexOf(lines, "Current database page size is 4096 bytes.");
    ASSERT_GT(page, at);
    EXPECT_EQ(lines[page + 1], "");
    EXPECT_EQ(IndexOf(lines, "We do not have any recommendations about your database now."), -1);
    // 4096 is the smallest page of this engine: no small-page advice.
    for (const std::string& l : lines) EXPECT_EQ(l.rfind("Page size is too small", 0), std::string::npos) << l;

    // The blocks, in order, each after a separator and followed by a blank.
    const std::vector<std::string> blocks = {"Versioned tables count: 1.", "Massive deleted/updated tables: 1.",
                                             "Bad indices count: 1.", "Useless indices count: 1.",
                                             "Empty tables count: 1."};
    int previous = page;
    for (const std::string& b : blocks) {
        const int k = IndexOf(lines, b);
        ASSERT_GT(k, previous) << b;
        EXPECT_EQ(lines[k - 1], Separator) << b;
        EXPECT_EQ(lines[k + 1], "") << b;
        previous = k;
    }
    // The inactive index is not "broken", nothing is fragmented or deep.
    for (const char* absent : {"Broken or incompete inices count", "Fragmented tables count", "Deep indices count",
                               "Very big tables count", "Tables fragmented by blobs count"})
        for (const std::string& l : lines) EXPECT_EQ(l.find(absent), std::string::npos) << l;
    EXPECT_EQ(lines[lines.size() - 4], Separator);
    EXPECT_EQ(lines.back(),
              "You can request Kelmaris technical support here: https://www.kelmaris.example/services/optimization");
}

}  // namespace
}  // namespace dv::test
