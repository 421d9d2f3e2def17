// Qt implementations of the platform's user-facing layers: the dialog
// provider (message boxes and file dialogs) and the desktop hand-overs.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "platform/system/Dialogs.h"

namespace dv {

class TQtDialogs : public IDialogProvider {
public:
    int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) override;
    bool OpenFileDialog(TFileDialogRequest& req) override;
    bool SaveFileDialog(TFileDialogRequest& req) override;
};

// A message box lays out every character of its text, which freezes the
// window on a statistics line of megabytes: each line of the text longer than
// this is cut there and ends with an ellipsis. Where a message goes to
// standard error it keeps its full text.
inline constexpr qsizetype kMessageBoxLineLimit = 300;
QString MessageBoxText(const std::string& msg);
// A message text holding web or mail addresses as the box's rich text: each
// address a link on a line of its own that never wraps, so it can be clicked
// or copied whole; every other line as written. Empty for a text without an
// address, which the box shows as plain text.
QString MessageBoxMarkup(const QString& text);

// Converts a "Text files (*.txt)|*.txt|All files|*.*" filter into Qt's name
// filters, one per pair: "Text files (*.txt)", "All files (*)".
QStringList QtNameFilters(const std::string& filter);

// Opens URLs through the desktop's opener (xdg-open, else the desktop
// services) and starts programs detached through QProcess. An opener that
// ends in failure later (it found no browser or mail program) has the
// address shown in a message, as OpenAddress does when nothing took it.
void InstallQtShell();
// The message that gives the user an address no program could open.
void ReportUnopenedAddress(const std::string& url);

}  // namespace dv
