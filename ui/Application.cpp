#include "Application.h"

#include <QCoreApplication>

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

namespace dv {

namespace {
bool g_terminate = false;
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

void RequestTerminate() {
    g_terminate = true;
    QCoreApplication::quit();   // ends a loop that already runs
}
bool TerminateRequested() { return g_terminate; }
void ClearTerminateRequest() { g_terminate = false; }

}  // namespace dv
