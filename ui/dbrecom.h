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
// How often the automatic sweep may start for a ratio of the sweep interval
// to the daily average: "every day", "each N days" or "N times per day".
std::string SweepFrequencyText(double ratio);
// The name the report-saving dialog proposes: the database file's base name
// followed by "_recommendations.txt".
std::string ReportFileName(const TDatabaseInfo& db);
// The maker's page for its optimisation service (the report's footer).
extern const char* const MakerOptimizationUrl;

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
// Writes the items, each followed by CR LF; raises EFCreateError naming the
// file and the system's reason when it cannot be written.
void SaveReportToFile(const TStringList& lines, const std::string& fileName);

}  // namespace dv
