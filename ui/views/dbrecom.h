// The recommendations report's window and commands (the report itself is
// built by model/report.h).
#pragma once

#include <QDialog>
#include <string>

#include "model/report.h"
#include "platform/streaming/Classes.h"

class QPlainTextEdit;

namespace dv {

// Item 0: the program name, its build and the current local date and time.
std::string ReportHeaderLine();
// The report for DBInfo under today's header line, reading the problem lists
// of FrDbInfo (or, with no summary view, lists computed from the model).
TStringList CurrentRecommendations();

// The report window: one editable memo filling the client area.
class TRView : public QDialog {
public:
    explicit TRView(QWidget* owner);
    // Shows the report items, each on its own line(s).
    void SetLines(const TStringList& lines);
    QPlainTextEdit* Recom = nullptr;
};

// "View recommendations": shows the report in a TRView, modally.
void ReportShowClick();
// "Save recommendations": asks for a file and writes the report there.
void SaveRecommendationsClick();

}  // namespace dv
