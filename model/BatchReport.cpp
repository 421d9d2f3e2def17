#include "model/BatchReport.h"

#include <cstdio>
#include <exception>

#include "model/StatFile.h"
#include "model/dkmain.h"
#include "model/report.h"
#include "platform/system/Dialogs.h"
#include "platform/system/InputFile.h"
#include "platform/text/SysUtils.h"

namespace dv {

namespace {

// Line ends of a message as one line feed each, for a terminal or a log.
std::string PlainLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// Writes every message to standard error, prefixed with the file the run is
// busy with (unless the message names it already), answers with the default
// button and counts what it was asked. Installed for its lifetime.
class TBatchMessages : public IDialogProvider {
public:
    TBatchMessages() : FPrevious(SetDialogProvider(this)) {}
    ~TBatchMessages() override { SetDialogProvider(FPrevious); }
    TBatchMessages(const TBatchMessages&) = delete;
    TBatchMessages& operator=(const TBatchMessages&) = delete;

    void SetFile(const std::string& fileName) { FFile = fileName; }
    int Count() const { return FCount; }

    void Say(const std::string& text) {
        std::string line = "dravolt: ";
        if (!FFile.empty() && text.find(FFile) == std::string::npos) line += FFile + ": ";
        line += PlainLines(text);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    void SayException(std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            Say(ex.what());
        } catch (...) {
            Say("Unknown error");
        }
    }

    int MessageDlg(const std::string& msg, TMsgDlgType, TMsgDlgButtons buttons, int) override {
        ++FCount;
        Say(msg);
        return DefaultResult(buttons);
    }
    bool OpenFileDialog(TFileDialogRequest&) override { return false; }
    bool SaveFileDialog(TFileDialogRequest&) override { return false; }

private:
    IDialogProvider* FPrevious;
    std::string FFile;
    int FCount = 0;
};

}  // namespace

TBatchStatus RunBatchReport(const std::string& statFile, const std::string& reportFile) {
    TBatchMessages messages;
    if (SameFile(statFile, reportFile)) {
        messages.Say("Cannot write the report to \"" + reportFile + "\": it is the statistics file \"" + statFile +
                     "\". No report written.");
        return bsReportNotWritten;
    }

    messages.SetFile(statFile);
    try {
        TStatFile(statFile).Load();
    } catch (...) {
        messages.SayException(std::current_exception());
        messages.Say("No statistics loaded, no report written.");
        return bsLoadFailed;
    }
    const bool partial = messages.Count() > 0;
    if (!DBInfo || DBInfo->PageSize <= 0) {
        messages.Say("No statistics loaded, no report written.");
        return bsNothingLoaded;
    }

    messages.SetFile(reportFile);
    try {
        // Its first line names the report alone, without the build and time
        // stamp of the report the window shows.
        SaveReportToFile(BuildRecommendations(*DBInfo, "Statistics report"), reportFile);
    } catch (...) {
        messages.SayException(std::current_exception());
        messages.Say("No report written.");
        return bsReportNotWritten;
    }
    if (partial) {
        messages.Say("Report \"" + reportFile + "\" written from the part of \"" + statFile + "\" that could be read.");
        return bsReportPartial;
    }
    return bsReportWritten;
}

}  // namespace dv
