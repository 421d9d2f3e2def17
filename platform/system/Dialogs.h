// The message-dialog layer. Every message box, question and file dialog of the
// program goes through the installed provider: the GUI installs one that shows
// Qt dialogs, tests install a scripted one that answers and records.
#pragma once

#include <string>

namespace dv {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0, mbNo = 1u << 1, mbOK = 1u << 2, mbCancel = 1u << 3, mbAbort = 1u << 4,
    mbRetry = 1u << 5, mbIgnore = 1u << 6, mbAll = 1u << 7, mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9, mbHelp = 1u << 10
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbAbortIgnore = mbAbort | mbIgnore;

enum TModalResult : int {
    mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
    mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

// A file dialog request. Filter uses the "Text|*.txt;*.log|All|*.*" form;
// FilterIndex is 1-based. On acceptance the provider sets FileName.
struct TFileDialogRequest {
    std::string Title;
    std::string Filter;
    int FilterIndex = 1;
    std::string FileName;     // proposed name in, chosen name out
    std::string InitialDir;
    bool OverwritePrompt = false;
};

class IDialogProvider {
public:
    virtual ~IDialogProvider() = default;
    virtual int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) = 0;
    virtual bool OpenFileDialog(TFileDialogRequest& req) = 0;
    virtual bool SaveFileDialog(TFileDialogRequest& req) = 0;
};

// The provider in force; never null. Without an installed provider a console
// one answers: it prints the message to stderr and returns the result of the
// default button (the first of OK, Yes, Abort, ... in the set); its file
// dialogs are cancelled.
IDialogProvider& DialogProvider();
// Installs p (not owned); nullptr restores the console provider. Returns the
// previous one.
IDialogProvider* SetDialogProvider(IDialogProvider* p);

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
// The provider's file dialogs, starting where the last one of them that was
// accepted chose its file (kept for the run) unless the request names a
// folder of its own (InitialDir, or a folder in FileName).
bool OpenFileDialog(TFileDialogRequest& req);
bool SaveFileDialog(TFileDialogRequest& req);
void ShowMessage(const std::string& msg);   // plain message, OK
// The default modal result of a button set (what a console answer gives).
int DefaultResult(TMsgDlgButtons buttons);

}  // namespace dv
