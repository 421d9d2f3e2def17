// The batch report: a statistics file in, its recommendations report out,
// with nobody to see a window or answer a question. It runs unattended
// (under cron, over ssh) and needs no display.
#pragma once

#include <string>

namespace dv {

// Exit status of a batch report run: 0 only when the whole text was read and
// the report written whole.
enum TBatchStatus : int {
    bsReportWritten = 0,
    bsReportPartial = 1,      // written, but the parser reported part of the text unreadable
    bsLoadFailed = 2,         // the statistics file could not be opened or read
    bsNothingLoaded = 3,      // read, but it holds no statistics
    bsReportNotWritten = 4,   // the report could not be written (or would replace the statistics)
};

// Loads the statistics file into DBInfo, writes the report and answers a
// TBatchStatus. Every message goes to standard error, naming its file; a
// question is answered with its default button; nothing raises.
TBatchStatus RunBatchReport(const std::string& statFile, const std::string& reportFile);

}  // namespace dv
