// The program as a process (the batch report), the batch mode in-process,
// the one exception handler, the Qt file-filter conversion and the detached
// process start.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#include <stdexcept>
#include <thread>

#include "tests/ui/MainTestSupport.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/ui/ProgramRunSupport.h"
#include "tests/support/FaultProxy.h"
#include "tests/support/qt/ModalDriver.h"
#include "ui/window/QtDialogs.h"

namespace dv::test {
namespace {

const std::string kFull = DataPath("fb3_full.txt");

// Each run as a scheduled job makes it: no display, nobody to answer. It must
// end by itself within seconds, say on standard error what went wrong and
// about which file, and tell by its exit status whether the report is whole.
TEST_F(MainFormTest, BatchRunsEndWithTheirMessageAndExitStatus) {
    const QString program = QString::fromStdString(ProgramPath());
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();
    const std::string exeIni = QFileInfo(program).absolutePath().toStdString() + "/dravolt.ini";
    const bool exeIniBefore = FileExists(exeIni);
    const std::string exeIniContent = exeIniBefore ? ReadFile(exeIni) : std::string();

    // A folder that user nobody may enter: the unreadable file and the
    // folder nobody may write into are root's.
    const std::string dir = TempPath("runs");
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    ASSERT_EQ(chmod(Dir.path().toLocal8Bit().constData(), 0755), 0);
    const std::string config = TempPath("config");
    ASSERT_EQ(mkdir(config.c_str(), 0755), 0);
    auto path = [&](const std::string& name) { return dir + "/" + name; };

    const std::string full = ReadFile(kFull);
    WriteFile(path("stats.txt"), full);
    WriteFile(path("nothing.txt"), "This is a shopping list,\nnot the output of a statistics tool.\n\tMilk\n");
    WriteFile(path("empty.txt"), "");
    WriteFile(path("damaged.dvt"), "DVT2DATA\r\nobject DBInfo: TDatabaseInfo\r\n  Bogus = 1\r\nend\r\n");
    // As Windows tools save it: UTF-16 with a byte order mark and CR LF.
    WriteFile(path("crlf.txt"), StringReplaceAll(full, "\n", "\r\n"));
    const TCommandResult converted = RunCommand("iconv -f UTF-8 -t UTF-16LE " + ShellQuote(path("crlf.txt")) + " > " +
                                                ShellQuote(path("utf16-body.txt")));
    ASSERT_EQ(converted.Status, 0) << converted.Output;
    WriteFile(path("utf16.txt"), "\xFF\xFE" + ReadFile(path("utf16-body.txt")));
    WriteFile(path("utf32.txt"), std::string("\xFF\xFE\0\0D\0\0\0", 8));
    WriteFile(path("cut.txt"), full.substr(0, full.size() / 2));
    WriteFile(path("page-size.txt"), "Page size 8192\n");
    WriteFile(path("no-page-size.dvt"), "DVT2DATA\r\nobject DBInfo: TDatabaseInfo\r\n  PageSize = 0\r\nend\r\n");
    WriteFile(path("unreadable.txt"), full);
    ASSERT_EQ(chmod(path("unreadable.txt").c_str(), 0), 0);
    ASSERT_EQ(mkdir(path("locked").c_str(), 0555), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    // A table line the parser cannot read, a megabyte long: its message goes
    // to standard error whole.
    const std::string badLine = "    Average record length: abc, total records: 1500" + std::string(1 << 20, 'x');
    std::string boxed = full;
    const size_t at = boxed.find("    Average record length: 69.56, total records: 1500");
    ASSERT_NE(at, std::string::npos);
    boxed.replace(at, boxed.find('\n', at) - at, badLine);
    WriteFile(path("boxed.txt"), boxed);

    const std::string earlier = "Report of an earlier run\r\n";
    const bool unprivileged = CanRunUnprivileged();
    struct Case {
        const char* name;
        TFeed feed;
        std::string input;
        std::string report;   // in `dir` (prefilled with an earlier report) unless absolute
        int status;
        std::vector<std::string> says;   // on standard error
    } cases[] = {
        {"good", TFeed::Direct, path("stats.txt"), "good.txt", bsReportWritten, {}},
        {"pipe", TFeed::Pipe, path("stats.txt"), "pipe.txt", bsReportWritten, {}},
        {"fifo", TFeed::Fifo, path("fifo"), "fifo.txt", bsReportWritten, {}},
        {"UTF-16 file", TFeed::Direct, path("utf16.txt"), "utf16-report.txt", bsReportWritten, {}},
        {"UTF-16 pipe", TFeed::Pipe, path("utf16.txt"), "utf16-pipe.txt", bsReportWritten, {}},
        {"UTF-32", TFeed::Direct, path("utf32.txt"), "r8.txt", bsLoadFailed,
         {path("utf32.txt") + ": Cannot read the statistics text: it is written in UTF-32"}},
        {"cut text", TFeed::Direct, path("cut.txt"), "cut-report.txt", bsReportPartial,
         {path("cut.txt") + ": The statistics text ends inside ", "it was cut or is still being written",
          "written from the part"}},
        {"page size alone", TFeed::Direct, path("page-size.txt"), "r9.txt", bsNothingLoaded,
         {path("page-size.txt") + ": None statistics info was found."}},
        {"dvt without page size", TFeed::Direct, path("no-page-size.dvt"), "r10.txt", bsLoadFailed,
         {"Its page size is 0 (PageSize), so it holds no statistics."}},
        {"parser box", TFeed::Direct, path("boxed.txt"), "boxed-report.txt", bsReportPartial,
         {path("boxed.txt") + ": Error parsing relation CUSTOMERS\n" + badLine + "\n", "written from the part"}},
        {"missing file", TFeed::Direct, path("missing.txt"), "r1.txt", bsLoadFailed,
         {"Cannot open file \"" + path("missing.txt") + "\". No such file or directory"}},
        {"folder", TFeed::Direct, dir, "r2.txt", bsLoadFailed, {"Cannot open file \"" + dir + "\". It is a folder"}},
        {"device", TFeed::Direct, "/dev/zero", "r3.txt", bsLoadFailed,
         {"Cannot open file \"/dev/zero\". It is a device or other special file"}},
        {"unreadable", TFeed::Unprivileged, path("unreadable.txt"), "r4.txt", bsLoadFailed,
         {"Cannot open file \"" + path("unreadable.txt") + "\". Permission denied"}},
        {"damaged dvt", TFeed::Direct, path("damaged.dvt"), "r5.txt", bsLoadFailed,
         {path("damaged.dvt") + ": Error reading DBInfo: TDatabaseInfo.Bogus on line 3"}},
        {"no statistics", TFeed::Direct, path("nothing.txt"), "r6.txt", bsNothingLoaded,
         {path("nothing.txt") + ": None statistics info was found."}},
        {"empty", TFeed::Direct, path("empty.txt"), "r7.txt", bsNothingLoaded,
         {path("empty.txt") + ": None statistics info was found."}},
        {"missing folder", TFeed::Direct, path("stats.txt"), path("absent/report.txt"), bsReportNotWritten,
         {"Cannot create file \"" + path("absent/report.txt") + "\". No such file or directory"}},
        {"read-only folder", TFeed::Unprivileged, path("stats.txt"), path("locked/report.txt"), bsReportNotWritten,
         {"Cannot create file \"" + path("locked/report.txt") + "\". Permission denied"}},
        {"full disk", TFeed::Direct, path("stats.txt"), "/dev/full", bsReportNotWritten,
         {"Cannot write file \"/dev/full\". No space left on device"}},
        {"report is the input", TFeed::Direct, path("stats.txt"), path("stats.txt"), bsReportNotWritten,
         {"it is the statistics file \"" + path("stats.txt") + "\""}},
        {"report is a link to the input", TFeed::Direct, path("stats.txt"), path("hardlink.txt"), bsReportNotWritten,
         {"it is the statistics file"}},
    };
    ASSERT_EQ(link(path("stats.txt").c_str(), path("hardlink.txt").c_str()), 0);

    std::string goodReport;
    std::vector<std::string> skipped;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.feed == TFeed::Unprivileged && !unprivileged) {
            skipped.push_back(c.name);
            continue;
        }
        const std::string report = c.report.front() == '/' ? c.report : path(c.report);
        if (c.report.front() != '/') WriteFile(report, earlier);
        const QDir folder(QString::fromStdString(dir));
        const QStringList filesBefore = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);

        const auto started = std::chrono::steady_clock::now();
        const TBareRun r = RunWithoutDisplay(c.feed, QString::fromStdString(c.input), QString::fromStdString(report),
                                             QString::fromStdString(config), QString::fromStdString(path("stats.txt")));
        ASSERT_TRUE(r.Finished) << "the program did not end by itself:\n" << r.Err;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
        EXPECT_EQ(r.Status, QProcess::NormalExit) << r.Err;
        EXPECT_EQ(r.ExitCode, c.status) << r.Err;
        for (const std::string& text : c.says) EXPECT_NE(r.Err.find(text), std::string::npos) << text.substr(0, 200);
        if (c.status == bsReportWritten) {
            EXPECT_EQ(r.Err, "") << "a scheduled job that succeeds prints nothing";
        } else {
            EXPECT_NE(r.Err.find("dravolt: "), std::string::npos);
            EXPECT_NE(r.Err.find(c.status == bsReportPartial || c.status == bsReportNotWritten ? report : c.input),
                      std::string::npos)
                << "the message does not name the file:\n" << r.Err.substr(0, 400);
        }

        if (c.status == bsReportWritten || c.status == bsReportPartial) {
            const std::string text = ReadFile(report);
            EXPECT_EQ(text.rfind("Statistics report\r\n", 0), 0u) << text.substr(0, 80);
            for (size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\n') {
                    ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
                }
            }
            if (c.status == bsReportWritten) {
                // What came through a pipe is the whole text: the same report.
                if (goodReport.empty()) goodReport = text;
                EXPECT_EQ(text, goodReport);
            }
        } else if (c.report.front() != '/') {
            EXPECT_EQ(ReadFile(report), earlier) << "an earlier report was touched";
        }
        EXPECT_EQ(ReadFile(path("stats.txt")), full);
        // No temporary file is left beside the report.
        EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden | QDir::System), filesBefore);
    }
    EXPECT_GT(goodReport.size(), std::string("Statistics report\r\n").size());
    EXPECT_FALSE(FileExists(config + "/dravolt.ini")) << "settings written in batch mode";
    EXPECT_EQ(FileExists(exeIni), exeIniBefore);
    if (exeIniBefore) {
        EXPECT_EQ(ReadFile(exeIni), exeIniContent);
    }
    if (!skipped.empty())
        GTEST_SKIP() << "runs as user nobody not possible here (no setpriv or no user nobody): " << skipped.size()
                     << " case(s) left out";
}

// Two parameters are the batch report, which the program runs without a
// window: a window handed them, like one handed more, opens nothing and
// writes no report.
TEST_F(MainFormTest, TwoOrMoreParametersOpenNothing) {
    const std::vector<std::vector<std::string>> cases = {{kFull, TempPath("report.txt")},
                                                         {kFull, TempPath("a"), TempPath("b")}};
    for (const std::vector<std::string>& params : cases) {
        SCOPED_TRACE(params.size());
        Form.reset();
        TMainForm& f = Make(params);
        EXPECT_EQ(DBInfo->PageSize, 0);
        EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 0);
        EXPECT_FALSE(FileExists(params[1]));
    }
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

// An address in a message is a link the user can click or copy whole: on a
// line of its own that does not wrap, however narrow the box; the text
// around it reads as written. A message without one stays plain text.
TEST(MainQtDialogs, AddressesInMessagesAreLinksThatNeverWrap) {
    struct Case {
        std::string text;
        std::vector<std::string> links;
        std::string readAs;   // the text as the box shows it, lines joined by "|"
    } cases[] = {
        {"Corvex not installed. If you want to use this tool, download it from "
         "https://www.kelmaris.example/products/corvex-state-viewer/download.",
         {"https://www.kelmaris.example/products/corvex-state-viewer/download"},
         "Corvex not installed. If you want to use this tool, download it from |"
         "https://www.kelmaris.example/products/corvex-state-viewer/download|."},
        {"No program could be started to open this address. Copy it from here:\r\n\r\nmailto:a@b.example",
         {"mailto:a@b.example"},
         "No program could be started to open this address. Copy it from here:|\u00a0|mailto:a@b.example"},
        {"See http://x.example/a?b=1&c=<2> or https://y.example/.", {"http://x.example/a?b=1&c=", "https://y.example/"},
         "See |http://x.example/a?b=1&c=|<2> or |https://y.example/|."},
        {"Plain text, no address: a < b & c", {}, ""},
    };
    TQtDialogs dialogs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const QString markup = MessageBoxMarkup(QString::fromStdString(c.text));
        EXPECT_EQ(markup.isEmpty(), c.links.empty());
        QString shownText;
        Qt::TextFormat format = Qt::AutoText;
        Qt::TextInteractionFlags flags;
        EXPECT_TRUE(DriveModal<QMessageBox>([&] { dialogs.MessageDlg(c.text, mtInformation, mbOK, 0); },
                                            [&](QMessageBox& box) {
                                                shownText = box.text();
                                                format = box.textFormat();
                                                if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
                                                    flags = label->textInteractionFlags();
                                                box.defaultButton()->click();
                                            }));
        if (c.links.empty()) {
            EXPECT_EQ(shownText.toStdString(), c.text);
            continue;
        }
        EXPECT_EQ(format, Qt::RichText);
        EXPECT_TRUE(flags & Qt::LinksAccessibleByMouse);
        EXPECT_TRUE(flags & Qt::TextSelectableByMouse);
        QTextDocument doc;
        doc.setHtml(shownText);
        doc.setTextWidth(60);   // far narrower than any address
        ASSERT_GT(doc.size().height(), 0);   // laid out
        std::string readAs;
        std::vector<std::string> links;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            readAs += (readAs.empty() ? "" : "|") + b.text().toStdString();
            for (auto f = b.begin(); !f.atEnd(); ++f) {
                if (!f.fragment().charFormat().isAnchor()) continue;
                links.push_back(f.fragment().charFormat().anchorHref().toStdString());
                EXPECT_EQ(f.fragment().text(), f.fragment().charFormat().anchorHref());
                EXPECT_EQ(b.layout()->lineCount(), 1) << links.back() << " wraps";
            }
        }
        EXPECT_EQ(links, c.links);
        EXPECT_EQ(readAs, c.readAs);
    }
}

// The desktop's opener starts but then finds nothing to take the address:
// its failure, which comes later, still shows the address to copy; an
// address it opened shows nothing.
TEST(MainQtDialogs, AnOpenerThatFindsNoProgramHasTheAddressShown) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const std::string opener = bin.path().toStdString() + "/xdg-open";
    WriteFile(opener,
              "#!/bin/sh\n"
              "[ \"$1\" = \"https://opens.example/\" ] && exit 0\n"
              "echo \"xdg-open: no method available for opening '$1'\" >&2\n"
              "exit 3\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.path().toStdString() + ":" + path).c_str(), 1);
    ScriptedDialogs dialogs;
    TShellOpenHandler oldOpen = SetShellOpenHandler(nullptr);
    TProcessStartHandler oldStart = SetProcessStartHandler(nullptr);
    InstallQtShell();
    struct Case {
        std::string url;
        bool reported;
    } cases[] = {{"https://opens.example/", false}, {"mailto:nobody@example.org", true},
                 {"https://www.kelmaris.example/dravolt/help/Summary", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        dialogs.Messages.clear();
        EXPECT_TRUE(ShellOpen(c.url));
        if (c.reported) {
            // The opener's answer arrives through the event loop (within seconds).
            for (int waited = 0; dialogs.Messages.empty() && waited < 10000; waited += 20) QTest::qWait(20);
            ASSERT_EQ(dialogs.Messages.size(), 1u);
            EXPECT_NE(dialogs.LastText().find(c.url), std::string::npos) << dialogs.LastText();
        } else {
            QTest::qWait(300);
            EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
        }
    }
    SetShellOpenHandler(oldOpen);
    SetProcessStartHandler(oldStart);
    setenv("PATH", path.c_str(), 1);
}

// The parser's box for a line of a megabyte: the box lays out a few hundred
// characters of each line and answers as before.
TEST(MainQtDialogs, MessageBoxesCutLongLines) {
    const std::string longLine = "    Average record length: abc" + std::string(1 << 20, 'x');
    const QString ellipsis(QChar(0x2026));
    struct Case {
        std::string text;
        QString shown;
    } cases[] = {
        {"Error parsing relation CUSTOMERS\r\n" + longLine,
         "Error parsing relation CUSTOMERS\r\n" + QString::fromStdString(longLine.substr(0, kMessageBoxLineLimit)) +
             ellipsis},
        {longLine + "\nsecond line", QString::fromStdString(longLine.substr(0, kMessageBoxLineLimit)) + ellipsis +
                                           "\nsecond line"},
        {std::string(kMessageBoxLineLimit, 'y') + "\r\n", QString(kMessageBoxLineLimit, u'y') + "\r\n"},
        {"Short message", "Short message"},
    };
    TQtDialogs dialogs;
    for (const Case& c : cases) {
        EXPECT_EQ(MessageBoxText(c.text), c.shown);
        QString laidOut;
        int answer = 0;
        EXPECT_TRUE(DriveModal<QMessageBox>([&] { answer = dialogs.MessageDlg(c.text, mtError, mbAbortIgnore, 0); },
                                            [&](QMessageBox& box) {
                                                laidOut = box.text();
                                                box.defaultButton()->click();
                                            }));
        EXPECT_EQ(answer, mrAbort);
        EXPECT_EQ(laidOut, c.shown);
    }
}

// SIGTERM (a logout, kill), SIGINT or SIGHUP after the window has taken
// statistics from the server and while it holds a connection: the client
// library has put its own handlers in place by then. The window ends at
// once, also while it asks whether to save, while its connection is stalled
// and while a reload waits for a server that does not answer; it writes its
// settings as on close, says the statistics were not saved and leaves no
// attachment once the link is gone.
TEST(MainSignals, TermEndsTheWindowThatHoldsAServerConnection) {
    DV_REQUIRE_FB_SERVER();
    TFbTestDatabase db("signal_term", "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(20));\n"
                                      "CREATE INDEX IDX_T_S ON T (S);\nCOMMIT;\nINSERT INTO T VALUES (1, 'a');\n");
    ASSERT_TRUE(db.Created()) << db.CreateOutput();
    struct Case {
        const char* name;
        bool closing;          // the save question is open
        bool stalled;          // through a proxy that stops passing anything
        bool reload;           // ... while a reload waits
        int signal;
        const char* waitFor;   // on standard output
    } cases[] = {
        {"idle", false, false, false, SIGTERM, "connected"},
        {"asking to save", true, false, false, SIGTERM, "asking"},
        {"stalled link", false, true, false, SIGINT, "connected"},
        {"stalled reload", false, true, true, SIGHUP, "reloading"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFaultProxy proxy;
        ASSERT_TRUE(proxy.Listening());
        QTemporaryDir config;
        ASSERT_TRUE(config.isValid());
        const std::string ini = config.path().toStdString() + "/dravolt.ini";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("DRAVOLT_CONFIG_DIR"), config.path());
        env.insert(QStringLiteral("DRAVOLT_TEST_DATABASE"), QString::fromStdString(db.Path()));
        env.insert(QStringLiteral("DRAVOLT_FB_PASSWORD"), QString::fromStdString(FbPassword()));
        if (c.closing) env.insert(QStringLiteral("DRAVOLT_TEST_CLOSE"), QStringLiteral("1"));
        if (c.stalled) env.insert(QStringLiteral("DRAVOLT_TEST_SERVER"), QString::fromStdString(proxy.Server()));
        if (c.reload) env.insert(QStringLiteral("DRAVOLT_TEST_RELOAD"), QStringLiteral("300"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QString::fromStdString(ExeDir() + "dravolt_connected"), {});
        ASSERT_TRUE(p.waitForStarted(10000));
        std::string out;
        for (int i = 0; i < 600 && out.find(c.waitFor) == std::string::npos && p.state() == QProcess::Running; ++i) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput().toStdString();
            if (c.stalled && out.find("connected") != std::string::npos &&
                proxy.Accepted() > 0 && proxy.Open() > 0) {
                proxy.StallAll();
                proxy.SetMode(TFaultProxy::TMode::Silent);
            }
        }
        // The reload is waiting for the server by now.
        if (c.reload) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (out.find(c.waitFor) == std::string::npos) {
            p.kill();   // our own child only
            p.waitForFinished(5000);
            FAIL() << "the program did not get there:\n" << out << p.readAllStandardError().toStdString();
        }
        const std::string attachments = "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                                        "CURRENT_CONNECTION AND MON$REMOTE_PID = " +
                                        std::to_string(p.processId()) + ";\n";
        EXPECT_EQ(db.QueryValue(attachments), "1") << "no live connection to signal over";
        EXPECT_FALSE(FileExists(ini));

        const auto sent = std::chrono::steady_clock::now();
        ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), c.signal), 0);
        const bool ended = p.waitForFinished(15000);
        if (!ended) {
            p.kill();
            p.waitForFinished(5000);
        }
        const std::string err = p.readAllStandardError().toStdString();
        ASSERT_TRUE(ended) << "SIGTERM did not end the program:\n" << err;
        // Well under the server timeout (20 s) that a wait on the link would take.
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(10));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << err;
        EXPECT_EQ(p.exitCode(), 128 + c.signal) << err;
        EXPECT_NE(err.find("the statistics taken from the server were not saved"), std::string::npos) << err;
        ASSERT_TRUE(FileExists(ini)) << "the window state was not written";
        const std::string settings = ReadFile(ini);
        for (const char* key : {"MainWidth=", "MainHeight=", "MainTop=", "MainLeft=", "HeaderPage=", "LoadMetadata="})
            EXPECT_NE(settings.find(key), std::string::npos) << key << " in\n" << settings;
        // A stalled link keeps the server's end open until it goes.
        proxy.CutAll();
        std::string left = db.QueryValue(attachments);
        for (int i = 0; i < 100 && left != "0"; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            left = db.QueryValue(attachments);
        }
        EXPECT_EQ(left, "0");
    }
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
