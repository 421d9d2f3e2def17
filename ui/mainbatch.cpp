// The batch report: two parameters load a statistics file and write its
// recommendations report without a window. It runs unattended (under cron,
// over ssh), so nothing may wait for a user: every message goes to standard
// error naming its file, a message box is answered with its default button,
// and the exit status tells a script what happened.
#include <cstdio>
#include <exception>
#include <string>
#include <sys/stat.h>

#include "main.h"
#include "model/report.h"
#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "platform/SysUtils.h"
#include "ui/dbrecom.h"

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

// Both names lead to one file (also through another path or a hard link).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int TMainForm::RunBatch(const std::string& statFile, const std::string& reportFile) {
    TBatchMessages messages;
    if (SameFile(statFile, reportFile)) {
        messages.Say("Cannot write the report to \"" + reportFile + "\": it is the statistics file \"" + statFile +
                     "\". No report written.");
        return bsReportNotWritten;
    }

    messages.SetFile(statFile);
    try {
        // Nobody sees the window: the model alone makes the report.
        LoadStatFile(statFile, false);
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
        TStringList lines = BuildRecommendations(*DBInfo, ReportHeaderLine());
        if (lines.empty())
            lines.push_back("Statistics report");
        else
            lines[0] = "Statistics report";
        SaveReportToFile(lines, reportFile);
    } catch (...) {
        messages.SayException(std::current_exception());
        messages.Say("No report written.");
        return bsReportNotWritten;
    }
    if (partial) {
        messages.Say("Report \"" + reportFile + "\" written from the part of \"" + statFile +
                     "\" that could be read.");
        return bsReportPartial;
    }
    return bsReportWritten;
}

}  // namespace dv
