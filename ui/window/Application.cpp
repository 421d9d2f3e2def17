#include "ui/window/Application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include "platform/system/Dialogs.h"
#include "platform/text/SysUtils.h"
#include "server/DMData.h"

namespace dv {

namespace {
int g_quitSignal = 0;

void RejectOpenDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
}
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

void ShowException(std::exception_ptr e) {
    if (!e) return;
    try {
        std::rethrow_exception(e);
    } catch (const EAbort&) {
        // A silent abort: the command stops and nothing is shown.
    } catch (const Exception& ex) {
        MessageDlg(ex.Message(), mtError, mbOK);
    } catch (const std::exception& ex) {
        MessageDlg(ex.what(), mtError, mbOK);
    } catch (...) {
        // Not one of ours and not a standard one: still no reason to end.
        MessageDlg("Unknown error", mtError, mbOK);
    }
}

bool RunGuarded(const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

void QuitOnSignal(int signal) {
    if (g_quitSignal != 0) return;
    g_quitSignal = signal;
    // A statistics run polls the service and the event queue: the cancel
    // flag ends it at its next look, and so does the closed dialog.
    if (DM) DM->Cancel();
    RejectOpenDialogs();
    // A dialog opened by code that runs on while the loops wind down closes
    // as soon as it shows.
    auto* sweeper = new QTimer(qApp);
    QObject::connect(sweeper, &QTimer::timeout, qApp, [] { RejectOpenDialogs(); });
    sweeper->start(50);
    QCoreApplication::exit(128 + signal);
}

int QuitSignal() { return g_quitSignal; }

}  // namespace dv
