#include "platform/system/Dialogs.h"

#include <cstdio>

namespace dv {

namespace {
class ConsoleDialogs : public IDialogProvider {
public:
    int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) override {
        static const char* kinds[] = {"Warning", "Error", "Information", "Confirmation", "Message"};
        std::fprintf(stderr, "%s: %s\n", kinds[type], msg.c_str());
        return DefaultResult(buttons);
    }
    bool OpenFileDialog(TFileDialogRequest&) override { return false; }
    bool SaveFileDialog(TFileDialogRequest&) override { return false; }
};

ConsoleDialogs& Console() {
    static ConsoleDialogs c;
    return c;
}
IDialogProvider* g_provider = nullptr;
}  // namespace

IDialogProvider& DialogProvider() { return g_provider ? *g_provider : Console(); }

IDialogProvider* SetDialogProvider(IDialogProvider* p) {
    IDialogProvider* old = g_provider;
    g_provider = p;
    return old;
}

int DefaultResult(TMsgDlgButtons b) {
    if (b & mbOK) return mrOk;
    if (b & mbYes) return mrYes;
    if (b & mbAbort) return mrAbort;
    if (b & mbRetry) return mrRetry;
    if (b & mbIgnore) return mrIgnore;
    if (b & mbNo) return mrNo;
    if (b & mbCancel) return mrCancel;
    return mrOk;
}

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) {
    return DialogProvider().MessageDlg(msg, type, buttons, helpCtx);
}

namespace {
std::string& LastDialogFolder() {
    static std::string folder;
    return folder;
}

bool RunFileDialog(TFileDialogRequest& req, bool (IDialogProvider::*run)(TFileDialogRequest&)) {
    // A shared request keeps no folder of this call's for the next one.
    const bool ownFolder = !req.InitialDir.empty() || req.FileName.find('/') != std::string::npos;
    if (!ownFolder) req.InitialDir = LastDialogFolder();
    const bool chosen = (DialogProvider().*run)(req);
    if (!ownFolder) req.InitialDir.clear();
    if (!chosen) return false;
    const size_t slash = req.FileName.rfind('/');
    if (slash != std::string::npos) LastDialogFolder() = req.FileName.substr(0, slash == 0 ? 1 : slash);
    return true;
}
}  // namespace

bool OpenFileDialog(TFileDialogRequest& req) { return RunFileDialog(req, &IDialogProvider::OpenFileDialog); }
bool SaveFileDialog(TFileDialogRequest& req) { return RunFileDialog(req, &IDialogProvider::SaveFileDialog); }

void ShowMessage(const std::string& msg) { DialogProvider().MessageDlg(msg, mtCustom, mbOK, 0); }

}  // namespace dv
