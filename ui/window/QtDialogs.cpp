#include "ui/window/QtDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QUrl>

#include <cstdio>

#include "platform/system/Shell.h"
#include "platform/text/SysUtils.h"
#include "ui/window/Application.h"

namespace dv {

namespace {

struct TButtonMap {
    TMsgDlgBtn Button;
    QMessageBox::StandardButton Qt;
    int Result;
};
constexpr TButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},          {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},             {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore}, {mbAll, QMessageBox::YesToAll, mrAll},
    {mbNoToAll, QMessageBox::NoToAll, mrNoToAll}, {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
    {mbHelp, QMessageBox::Help, mrNone},
};

QWidget* DialogParent() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) w = QApplication::activeWindow();
    return w;
}

QString Title(TMsgDlgType type) {
    switch (type) {
        case mtWarning: return QStringLiteral("Warning");
        case mtError: return QStringLiteral("Error");
        case mtInformation: return QStringLiteral("Information");
        case mtConfirmation: return QStringLiteral("Confirm");
        case mtCustom: break;
    }
    return QStringLiteral("Dravolt");
}

QMessageBox::Icon Icon(TMsgDlgType type) {
    switch (type) {
        case mtWarning: return QMessageBox::Warning;
        case mtError: return QMessageBox::Critical;
        case mtInformation: return QMessageBox::Information;
        case mtConfirmation: return QMessageBox::Question;
        case mtCustom: break;
    }
    return QMessageBox::NoIcon;
}

// The text before the last "|": the description; its own "(*.x;*.y)" tail,
// if any, is replaced by Qt's blank-separated list.
QString NameFilter(QString description, const QString& patterns) {
    description = description.trimmed();
    if (description.endsWith(u')')) {
        qsizetype open = description.lastIndexOf(u'(');
        if (open >= 0) description = description.left(open).trimmed();
    }
    QStringList list;
    for (const QString& p : patterns.split(u';', Qt::SkipEmptyParts)) {
        QString t = p.trimmed();
        list << (t == QStringLiteral("*.*") ? QStringLiteral("*") : t);
    }
    if (list.isEmpty()) list << QStringLiteral("*");
    return description + QStringLiteral(" (") + list.join(u' ') + u')';
}

bool RunFileDialog(TFileDialogRequest& req, bool save) {
    QFileDialog dlg(DialogParent());
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setWindowTitle(QString::fromStdString(req.Title.empty() ? (save ? "Save As" : "Open") : req.Title));
    if (save && !req.OverwritePrompt) dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters = QtNameFilters(req.Filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        int idx = req.FilterIndex - 1;
        if (idx >= 0 && idx < filters.size()) dlg.selectNameFilter(filters[idx]);
    }
    if (!req.InitialDir.empty()) dlg.setDirectory(QString::fromStdString(req.InitialDir));
    if (!req.FileName.empty()) dlg.selectFile(QString::fromStdString(req.FileName));
    if (dlg.exec() != QDialog::Accepted) return false;
    QStringList files = dlg.selectedFiles();
    if (files.isEmpty()) return false;
    req.FileName = files.front().toStdString();
    qsizetype chosen = filters.indexOf(dlg.selectedNameFilter());
    if (chosen >= 0) req.FilterIndex = static_cast<int>(chosen) + 1;
    return true;
}

}  // namespace

QString MessageBoxText(const std::string& msg) {
    const QString text = QString::fromStdString(msg);
    QStringList lines = text.split(u'\n');
    bool cut = false;
    for (QString& line : lines) {
        // A line end of CR LF leaves its CR here; it does not count.
        const qsizetype length = line.endsWith(u'\r') ? line.size() - 1 : line.size();
        if (length <= kMessageBoxLineLimit) continue;
        line = line.left(kMessageBoxLineLimit) + QChar(0x2026) + (line.endsWith(u'\r') ? QStringLiteral("\r") : QString());
        cut = true;
    }
    return cut ? lines.join(u'\n') : text;
}

QString MessageBoxMarkup(const QString& text) {
    static const QRegularExpression address(QStringLiteral("(?:https?://|mailto:)[^\\s<>\"]*[^\\s<>\".,;:!?)]"));
    if (!address.match(text).hasMatch()) return {};
    const auto paragraph = [](const QString& inner, bool nowrap) {
        return QStringLiteral("<p style=\"margin:0;white-space:%1\">%2</p>")
            .arg(nowrap ? QStringLiteral("pre") : QStringLiteral("pre-wrap"), inner);
    };
    QString html;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n\r|\r|\n"));
    for (const QString& line : text.split(lineBreak)) {
        qsizetype from = 0;
        for (auto it = address.globalMatch(line); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString before = line.mid(from, m.capturedStart() - from);
            if (!before.trimmed().isEmpty()) html += paragraph(before.toHtmlEscaped(), false);
            const QString url = m.captured().toHtmlEscaped();
            html += paragraph(QStringLiteral("<a href=\"%1\">%1</a>").arg(url), true);
            from = m.capturedEnd();
        }
        const QString rest = line.mid(from);
        if (from == 0 || !rest.trimmed().isEmpty())
            html += paragraph(rest.isEmpty() ? QStringLiteral("&nbsp;") : rest.toHtmlEscaped(), false);
    }
    return html;
}

QStringList QtNameFilters(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) result << NameFilter(parts[i], parts[i + 1]);
    return result;
}

int TQtDialogs::MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) {
    if (QuitSignal() != 0) {
        // Ending on a signal: nobody is there to answer.
        std::fprintf(stderr, "dravolt: %s\n", msg.c_str());
        return (buttons & mbCancel) ? static_cast<int>(mrCancel) : DefaultResult(buttons);
    }
    const QString text = MessageBoxText(msg);
    const QString markup = MessageBoxMarkup(text);
    QMessageBox box(Icon(type), Title(type), markup.isEmpty() ? text : markup, QMessageBox::NoButton,
                    DialogParent());
    if (!markup.isEmpty()) {
        box.setTextFormat(Qt::RichText);
        box.setTextInteractionFlags(Qt::TextBrowserInteraction);
        // A click goes through the shell hand-over like every other address;
        // without a browser the address is there to select and copy.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            label->setOpenExternalLinks(false);
            QObject::connect(label, &QLabel::linkActivated, &box,
                             [](const QString& url) { ShellOpen(url.toStdString()); });
        }
    }
    QMessageBox::StandardButton first = QMessageBox::NoButton;
    for (const TButtonMap& b : kButtons) {
        if (!(buttons & b.Button)) continue;
        box.addButton(b.Qt);
        if (first == QMessageBox::NoButton) first = b.Qt;
    }
    if (first == QMessageBox::NoButton) {
        first = QMessageBox::Ok;
        box.addButton(first);
    }
    box.setDefaultButton(first);
    if (buttons & mbCancel) box.setEscapeButton(QMessageBox::Cancel);
    auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const TButtonMap& b : kButtons)
        if (b.Qt == clicked && (buttons & b.Button)) return b.Result;
    if (clicked == QMessageBox::Ok) return mrOk;
    return (buttons & mbCancel) ? static_cast<int>(mrCancel) : DefaultResult(buttons);
}

bool TQtDialogs::OpenFileDialog(TFileDialogRequest& req) { return QuitSignal() == 0 && RunFileDialog(req, false); }
bool TQtDialogs::SaveFileDialog(TFileDialogRequest& req) { return QuitSignal() == 0 && RunFileDialog(req, true); }

void ReportUnopenedAddress(const std::string& url) {
    MessageDlg("No program could be started to open this address. Copy it from here:\r\n\r\n" + url, mtWarning,
               mbOK);
}

void InstallQtShell() {
    SetShellOpenHandler([](const std::string& url) {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty()) return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
        // The opener starts at once but learns only then whether anything
        // can take the address; its answer comes back through the event loop.
        // Nothing waits for it, and a run that ends first leaves it running.
        auto* run = new QProcess;
        run->setProgram(opener);
        run->setArguments({QString::fromStdString(url)});
        run->setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(run, &QProcess::finished, run, [run, url](int code, QProcess::ExitStatus status) {
            run->deleteLater();
            if (status != QProcess::NormalExit || code != 0) RunGuarded([&] { ReportUnopenedAddress(url); });
        });
        run->start();
        if (run->waitForStarted(5000)) return true;
        delete run;
        return false;
    });
    SetProcessStartHandler([](const std::string& program) {
        QProcess p;
        p.setProgram(QString::fromStdString(program));
        if (!p.startDetached())
            throw Exception("Cannot run \"" + program + "\": " + p.errorString().toStdString());
    });
}

}  // namespace dv
