// Driving the server statistics dialog from a test: ExecuteGetServStatDlg
// shows it modally, so what the user would do is queued on a timer that
// fires inside the dialog's own event loop. A watchdog closes a dialog that
// a failed step left open, so a test never hangs on it.
#pragma once

#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <string>

#include "platform/stores/Registry.h"
#include "ui/views/dblistfr.h"
#include "ui/server/dlgDb.h"

namespace dv::test {

// Runs `step` with the dialog once it is shown, then closes the dialog when
// the step left it open and idle. Scoped: a step that has not run when the
// object goes (the dialog never opened) never runs, so it cannot act on the
// dialog of a later test.
class TDialogStep {
public:
    explicit TDialogStep(std::function<void(TGetServStatDlg&)> step) : FStep(std::move(step)) {
        FTimer.setSingleShot(true);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Run(); });
        FTimer.start(0);
    }
    bool Ran() const { return FRan; }

private:
    void Run() {
        FRan = true;
        TGetServStatDlg* dlg = GetServStatDlg;
        if (!dlg) {
            ADD_FAILURE() << "the statistics dialog is not open";
            return;
        }
        // A step that fails half-way must not leave the test waiting.
        QTimer::singleShot(120000, dlg, [dlg] {
            ADD_FAILURE() << "the statistics dialog was still open after two minutes";
            dlg->reject();
        });
        FStep(*dlg);
        if (GetServStatDlg == dlg && dlg->isVisible() && !dlg->Running()) dlg->reject();
    }

    std::function<void(TGetServStatDlg&)> FStep;
    QTimer FTimer;
    bool FRan = false;
};

// Fills the parameters page as a user would.
inline void FillParams(TGetServStatDlg& dlg, const std::string& server, const std::string& database,
                       const std::string& user, const std::string& password) {
    dlg.eServerName->setEditText(QString::fromStdString(server));
    dlg.eDatabaseName->setEditText(QString::fromStdString(database));
    dlg.eUserName->setText(QString::fromStdString(user));
    dlg.ePassword->setText(QString::fromStdString(password));
}

inline std::string ReadRegistryString(const std::string& key, const std::string& name) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(key, false)) return "<no key>";
    if (!reg.ValueExists(name)) return "<no value>";
    return reg.ReadString(name);
}

inline std::vector<std::string> RegistryValueNames(const std::string& key) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(key, false)) return {"<no key>"};
    return reg.GetValueNames();
}

// The tree of the database list as indented lines "server" / "  database".
inline std::string DBListText() {
    std::string text;
    if (!FrDBList) return text;
    TVirtualStringTree* tree = FrDBList->vstDBList;
    for (PVirtualNode s = tree->GetFirst(); s; s = tree->GetNextSibling(s)) {
        text += "[" + TFrDBList::EntryOf(s)->Server + "]\n";
        for (PVirtualNode d = tree->GetFirstChild(s); d; d = tree->GetNextSibling(d))
            text += "  " + TFrDBList::EntryOf(d)->Database + "\n";
    }
    return text;
}

}  // namespace dv::test
