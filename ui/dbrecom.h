// The recommendations report: a plain-text advice document built from the
// model, the options, the database rules and the summary's problem lists.
#pragma once

#include <QDialog>
#include <string>

#include "platform/Classes.h"

class QPlainTextEdit;

namespace dv {

class TDatabaseInfo;
struct TProblemLists;

// Clears `lines` and appends the report items for DBInfo, reading the
// problem lists of FrDbInfo (or, with no summary view, lists computed here).
void BuildRecommendations(TStringList& lines);
// The same from an explicit model and problem lists; `header` is item 0.
void BuildRecommendations(TStringList& lines, TDatabaseInfo& db, const TProblemLists& lists,
                          const std::string& header);
// Item 0: the program name, its build and the current local date and time.
std::string ReportHeaderLine();

// The report window: one editable memo filling the client area.
class TRView : public QDialog {
public:
    explicit TRView(QWidget* owner);
    QPlainTextEdit* Recom = nullptr;
};

// "View recommendations": shows the report in a TRView, modally.
void ReportShowClick();
// "Save recommendations": asks for a file and writes the report there.
void SaveRecommendationsClick();
// Writes the items, each followed by CR LF; raises EFCreateError naming the
// file and the system's reason when it cannot be written.
void SaveReportToFile(const TStringList& lines, const std::string& fileName);

}  // namespace dv
