#include "program.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "model/dkmain.h"
#include "platform/TerminationSignals.h"
#include "model/moninfo.h"
#include "ui/Application.h"
#include "ui/QtDialogs.h"
#include "ui/dblistfr.h"
#include "ui/main.h"
#include "server/ServerCall.h"

namespace dv {

namespace {

// The termination signals reach the event loop through a socket pair: the
// handler only writes the signal's number, the loop does the work.
int g_signalSocket[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t n = ::write(g_signalSocket[1], &byte, 1);
    errno = saved;
}

bool InstallTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) return false;
    SetTerminationHandler(OnTerminationSignal);
    return true;
}

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

}  // namespace

int ProgramMain(int argc, char** argv) {
    ChooseBatchPlatform(argc);
    if (argc == 3) g_qtHandler = qInstallMessageHandler(PassOnlyGraveQtMessages);
    InitStatisticsModel();
    InitMonitorInfo();
    InitDatabaseLists();

    TApplication app(argc, argv);   // takes away the options Qt knows
    std::vector<std::string> params;
    for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
    const bool batch = params.size() == 2;

    // A batch run shows nothing: its messages go to standard error (the
    // console provider) and a signal simply ends it, since it keeps nothing.
    TQtDialogs dialogs;
    if (!batch) SetDialogProvider(&dialogs);
    InstallQtShell();
    QSocketNotifier* notifier = nullptr;
    if (!batch && InstallTerminationSignals()) {
        notifier = new QSocketNotifier(g_signalSocket[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            unsigned char byte = 0;
            if (::read(g_signalSocket[0], &byte, 1) == 1) QuitOnSignal(byte);
        });
    }

    int rc = 0;
    {
        TMainForm form(params);
        // A batch report asks to terminate while the window is being created:
        // the message loop then ends before it starts, nothing is shown and
        // nothing is asked or written.
        if (form.TerminateRequested()) {
            rc = form.BatchStatus();
        } else {
            form.show();
            rc = app.exec();
            if (QuitSignal() != 0) {
                form.CloseOnSignal();
                rc = 128 + QuitSignal();
            }
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
