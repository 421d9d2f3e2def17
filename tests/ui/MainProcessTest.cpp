// The program as a process (the batch report), the batch mode in-process,
// the one exception handler, the Qt file-filter conversion and the detached
// process start.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <sys/stat.h>
#include <stdexcept>
#include <thread>

#include "MainTestSupport.h"
#include "tests/ui/ProgramRunSupport.h"
#include "ui/QtDialogs.h"

namespace dv::test {
namespace {

const std::string kFull = DataPath("fb3_full.txt");

TEST_F(MainFormTest, TwoParametersWriteTheReportAndEndWithoutWindowOrSettings) {
    const QString program = QString::fromStdString(ProgramPath());
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();
    const std::string exeIni = QFileInfo(program).absolutePath().toStdString() + "/dravolt.ini";
    const bool exeIniBefore = FileExists(exeIni);
    const std::string exeIniContent = exeIniBefore ? ReadFile(exeIni) : std::string();
    const std::string report = TempPath("report.txt");

    const auto started = std::chrono::steady_clock::now();
    TProgramRun r = RunProgram({QString::fromStdString(kFull), QString::fromStdString(report)}, Dir.path());
    ASSERT_TRUE(r.Finished) << "the program did not end by itself:\n" << r.Output;
    EXPECT_EQ(r.Status, QProcess::NormalExit) << r.Output;
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));

    ASSERT_TRUE(FileExists(report)) << r.Output;
    const std::string text = ReadFile(report);
    EXPECT_EQ(text.rfind("Statistics report\r\n", 0), 0u) << text.substr(0, 80);
    EXPECT_GT(text.size(), std::string("Statistics report\r\n").size());
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // Every line end is CR LF.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }

    EXPECT_FALSE(FileExists(Dir.path().toStdString() + "/dravolt.ini")) << "settings written in batch mode";
    EXPECT_EQ(FileExists(exeIni), exeIniBefore);
    if (exeIniBefore) {
        EXPECT_EQ(ReadFile(exeIni), exeIniContent);
    }
}

TEST_F(MainFormTest, TwoParametersInProcessTerminateAlsoWhenNothingLoaded) {
    // A text with no header: nothing usable, no report, still the end.
    const std::string empty = TempPath("nothing.txt");
    WriteFile(empty, "no statistics here\n");
    const std::string report = TempPath("none.txt");
    TMainForm& f = Make({empty, report});
    EXPECT_TRUE(f.TerminateRequested());
    EXPECT_TRUE(TerminateRequested());
    EXPECT_EQ(DBInfo->PageSize, 0);
    EXPECT_FALSE(FileExists(report));

    // With statistics: the report's first line is replaced.
    Form.reset();
    ClearTerminateRequest();
    Dialogs.Messages.clear();
    const std::string report2 = TempPath("full.txt");
    TMainForm& g = Make({kFull, report2});
    EXPECT_TRUE(g.TerminateRequested());
    EXPECT_EQ(ReadFile(report2).rfind("Statistics report\r\n", 0), 0u);
    EXPECT_FALSE(FileExists(TMainForm::SettingsFileName()));
}

TEST_F(MainFormTest, TwoParametersWithAMissingFileReportAndStayOpen) {
    const std::string report = TempPath("r.txt");
    TMainForm& f = Make({TempPath("missing.txt"), report});
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
    EXPECT_FALSE(f.TerminateRequested());
    EXPECT_FALSE(FileExists(report));
}

TEST_F(MainFormTest, MoreThanTwoParametersOpenNothing) {
    TMainForm& f = Make({kFull, TempPath("a"), TempPath("b")});
    EXPECT_EQ(DBInfo->PageSize, 0);
    EXPECT_FALSE(f.TerminateRequested());
    EXPECT_EQ(f.InfoTab->currentIndex(), 0);
}

TEST(MainExceptionHandler, EveryExceptionIsShownAndTheCallerGoesOn) {
    ScriptedDialogs dialogs;
    struct Case {
        const char* name;
        std::function<void()> fn;
        bool shown;
        std::string text;
    } cases[] = {
        {"dv exception", [] { throw EConvertError("'x' is not a valid integer value"); }, true,
         "'x' is not a valid integer value"},
        {"division", [] { IntDiv(1, 0); }, true, "Division by zero"},
        {"std exception", [] { throw std::runtime_error("disk on fire"); }, true, "disk on fire"},
        {"abort", [] { throw EAbort("quiet"); }, false, ""},
        {"foreign", [] { throw 42; }, true, "Unknown error"},
        {"nothing", [] {}, false, ""},
    };
    for (const Case& c : cases) {
        dialogs.Messages.clear();
        bool ok = RunGuarded(c.fn);
        EXPECT_EQ(ok, !c.shown && std::string(c.name) != "abort") << c.name;
        ASSERT_EQ(dialogs.Messages.size(), c.shown ? 1u : 0u) << c.name;
        if (c.shown) {
            EXPECT_EQ(dialogs.Messages[0].Text, c.text) << c.name;
            EXPECT_EQ(dialogs.Messages[0].Type, mtError) << c.name;
            EXPECT_EQ(dialogs.Messages[0].Buttons, static_cast<TMsgDlgButtons>(mbOK)) << c.name;
        }
    }
}

TEST(MainQtDialogs, FilterPairsBecomeQtNameFilters) {
    struct Case {
        const char* filter;
        QStringList expected;
    } cases[] = {
        {"Text files (*.txt;*.dvt)|*.txt;*.dvt|Dravolt files (*.dvt)|*.dvt|Log files (*.log)|*.log|All files |*.*",
         {"Text files (*.txt *.dvt)", "Dravolt files (*.dvt)", "Log files (*.log)", "All files (*)"}},
        {"Text files (*.dvt)|*.dvt", {"Text files (*.dvt)"}},
        {"Plain|*.txt", {"Plain (*.txt)"}},
        {"Odd|", {"Odd (*)"}},
        {"", {}},
        {"Lonely description", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(QtNameFilters(c.filter), c.expected) << c.filter;
}

TEST(MainShell, DetachedStartRunsTheProgramOrReportsWhyNot) {
    TProcessStartHandler old = SetProcessStartHandler({});
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string marker = dir.path().toStdString() + "/ran";
    const std::string script = dir.path().toStdString() + "/corvexview";
    WriteFile(script, "#!/bin/sh\ntouch '" + marker + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    EXPECT_NO_THROW(StartDetachedProcess(script));
    for (int i = 0; i < 100 && !FileExists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(FileExists(marker)) << "the detached program did not run";

    const std::string missing = dir.path().toStdString() + "/absent/corvexview";
    try {
        StartDetachedProcess(missing);
        ADD_FAILURE() << "no error for a missing program";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot run \"" + missing + "\": No such file or directory");
    }
    SetProcessStartHandler(old);
}

}  // namespace
}  // namespace dv::test
