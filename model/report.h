// The recommendations report: a plain-text advice document built from the
// model, the options, the database rules and the problem lists.
#pragma once

#include <string>

#include "model/dkmain.h"
#include "model/problems.h"
#include "platform/streaming/Classes.h"

namespace dv {

// The report's items for the model and the current options, reading the
// given problem lists; `header` is item 0. An item may hold line breaks
// (CR LF) of its own.
TStringList BuildRecommendations(TDatabaseInfo& db, const TProblemLists& lists, const std::string& header);
// The same with the problem lists computed from the model.
TStringList BuildRecommendations(TDatabaseInfo& db, const std::string& header);
// How often the automatic sweep may start for a ratio of the sweep interval
// to the daily average: "every day", "each N days" or "N times per day".
std::string SweepFrequencyText(double ratio);
// The name the report-saving dialog proposes: the database file's base name
// followed by "_recommendations.txt".
std::string ReportFileName(const TDatabaseInfo& db);
// Writes the items, each followed by CR LF, replacing the file whole or not
// at all; raises EFCreateError naming the file and the system's reason when
// it cannot be written.
void SaveReportToFile(const TStringList& lines, const std::string& fileName);
// The maker's page for its optimisation service (the report's footer).
extern const char* const MakerOptimizationUrl;

}  // namespace dv
