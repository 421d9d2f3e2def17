#include "ui/views/dbrecom.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "model/dkmain.h"
#include "model/report.h"
#include "platform/text/DateUtils.h"
#include "platform/system/Dialogs.h"
#include "platform/text/SysUtils.h"
#include "ui/views/dbinfofr.h"
#include "ui/window/main.h"

namespace dv {

std::string ReportHeaderLine() {
    return std::string(ProductTitle) + " " + " build " + GetFileVersionStr(ExePath()) + ", " + DateTimeToStr(Now());
}

TStringList CurrentRecommendations() {
    // The summary view's lists when there is one (they are what the user
    // sees); without it (a test, or a tool without windows) they are
    // computed here exactly as the summary computes them.
    if (FrDbInfo) return BuildRecommendations(*DBInfo, FrDbInfo->Problems, ReportHeaderLine());
    return BuildRecommendations(*DBInfo, ReportHeaderLine());
}

// ---------------------------------------------------------------- window

TRView::TRView(QWidget* owner) : QDialog(owner) {
    setObjectName("RView");
    setWindowTitle("View recommendations");
    QFont formFont("MS Sans Serif");
    formFont.setPixelSize(11);
    setFont(formFont);
    resize(688, 453);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Recom = new QPlainTextEdit(this);
    Recom->setObjectName("Recom");
    QFont memoFont("Courier");
    memoFont.setStyleHint(QFont::TypeWriter);
    memoFont.setPixelSize(13);
    Recom->setFont(memoFont);
    Recom->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Recom->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Recom->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Recom->setPlainText(QString());
    layout->addWidget(Recom);
}

void TRView::SetLines(const TStringList& lines) {
    // Items may hold CR LF pairs of their own; the memo shows them as lines.
    QString text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += '\n';
        text += DisplayText(lines[i]);
    }
    text.replace("\r\n", "\n");
    Recom->setPlainText(text);
}

void ReportShowClick() {
    if (DBInfo->PageSize == 0) {
        MessageDlg("First load statistics from file or via Services API.", mtInformation, mbOK);
        return;
    }
    const TStringList lines = CurrentRecommendations();
    TRView view(MainForm);
    view.SetLines(lines);
    view.exec();
}

void SaveRecommendationsClick() {
    if (DBInfo->PageSize == 0) return;
    const TStringList lines = CurrentRecommendations();   // before the dialog: the report reflects what was loaded then
    TFileDialogRequest local;
    TFileDialogRequest& dlg = MainForm ? MainForm->SaveDialog1 : local;
    dlg.Filter = "Text files (*.txt)|*.txt|All files|*.*";
    dlg.FilterIndex = 1;
    dlg.FileName = ReportFileName(*DBInfo);
    dlg.OverwritePrompt = true;
    if (!SaveFileDialog(dlg)) return;
    SaveReportToFile(lines, dlg.FileName);
}

}  // namespace dv
