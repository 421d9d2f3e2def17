#include "ui/window/program.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/BatchReport.h"
#include "model/dkmain.h"
#include "model/moninfo.h"
#include "platform/system/TerminationSignals.h"
#include "ui/window/Application.h"
#include "ui/window/QtDialogs.h"
#include "ui/views/dblistfr.h"
#include "ui/window/main.h"
#include "server/ServerCall.h"

namespace dv {

namespace {

// No display (cron, ssh): a batch report needs none, and the default
// platform would end the program before it reads its parameters.
void ChooseBatchPlatform(int argc) {
    if (argc != 3) return;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 && *x11) || (wayland && *wayland)) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// Qt's own notices (no XDG_RUNTIME_DIR under cron, remarks of the offscreen
// platform) are not the run's messages: a scheduled report that succeeds
// prints nothing, so the job's mail stays empty. Critical and fatal ones
// still go out.
QtMessageHandler g_qtHandler = nullptr;

void PassOnlyGraveQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
    if (g_qtHandler) {
        g_qtHandler(type, context, text);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    }
}

// With DRAVOLT_FIRST_PAINT set the program ends once its window has painted
// for the first time, saying so on standard output: what a start costs until
// the user sees the window can then be timed from outside.
class TFirstPaintExit : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && !done_) {
            done_ = true;
            // Posted: the rest of the window paints in this same pass.
            QTimer::singleShot(0, [] {
                std::puts("painted");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool done_ = false;
};

}  // namespace

int ProgramMain(int argc, char** argv) {
    ChooseBatchPlatform(argc);
    if (argc == 3) g_qtHandler = qInstallMessageHandler(PassOnlyGraveQtMessages);
    InitStatisticsModel();
    InitMonitorInfo();
    InitDatabaseLists();

    // Two parameters that Qt cannot take (only a text that begins with "-"
    // is one of its options): the batch report, which shows nothing, so it
    // runs without the window system's start and end. The core application
    // still sets the process up as the full one does (its locale).
    if (argc == 3 && argv[1][0] != '-' && argv[2][0] != '-') {
        QCoreApplication core(argc, argv);
        return RunBatchReport(argv[1], argv[2]);
    }
    TApplication app(argc, argv);   // takes away the options Qt knows
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
    // Two parameters once Qt took its own options: the batch report, with
    // no window. Its messages go to standard error and a signal simply ends
    // it, since it keeps nothing.
    if (params.size() == 2) return RunBatchReport(params[0], params[1]);

    TQtDialogs dialogs;
    SetDialogProvider(&dialogs);
    InstallQtShell();
    if (const int signalFd = RouteTerminationSignals(); signalFd >= 0) {
        auto* notifier = new QSocketNotifier(signalFd, QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            if (const int number = TakeTerminationSignal()) QuitOnSignal(number);
        });
    }

    int rc = 0;
    {
        TMainForm form(params);
        TFirstPaintExit firstPaint;
        if (std::getenv("DRAVOLT_FIRST_PAINT")) form.installEventFilter(&firstPaint);
        form.show();
        rc = app.exec();
        if (QuitSignal() != 0) {
            form.CloseOnSignal();
            rc = 128 + QuitSignal();
        }
    }
    FreeDataModule();
    SetDialogProvider(nullptr);
    if (ServerCallsRunning() > 0) {
        // A call given up on a server that does not answer still waits
        // inside the client library, whose clean-up at exit would wait for
        // it: the process ends here, its files written and closed.
        std::fflush(nullptr);
        std::_Exit(rc);
    }
    return rc;
}

}  // namespace dv
