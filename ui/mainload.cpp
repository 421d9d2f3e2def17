// Loading statistics into the one model (text files, saved-statistics files,
// a server, a reload) and saving them as a saved-statistics file.
#include <QApplication>
#include <QTabBar>
#include <QToolButton>
#include <QAction>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main.h"
#include "model/StatParser.h"
#include "model/moninfo.h"
#include "model/utils.h"
#include "platform/ComponentText.h"
#include "platform/FileIO.h"
#include "platform/gui/OverrideCursor.h"
#include "server/DMData.h"
#include "ui/serverwait.h"
#include "ui/dbinfofr.h"
#include "ui/dblistfr.h"
#include "ui/indexStat.h"
#include "ui/monitor.h"
#include "ui/tablestat.h"

namespace dv {

namespace {

// The first bytes of a saved-statistics file.
constexpr char kMagic[] = "DVT2DATA\r\n";
constexpr size_t kMagicSize = 10;
// Column "Selectivity" of the indices grid: shown with metadata only.
constexpr int kSelectivityColumn = 8;

std::string SystemReason() { return std::strerror(errno); }

// The most a pipe may bring: far beyond the statistics of any real database,
// and a bound for a pipe that never ends (such as one fed from /dev/zero).
constexpr off_t kMaxPipedBytes = off_t(1) << 30;

// A statistics file opened for loading. A regular file is read where it is.
// A pipe or FIFO (also a process substitution such as /dev/fd/63) can be
// read only once, so it is first read whole into an anonymous file in
// memory that the format check and the readers then share. A folder, a
// device or other special file is refused before it is opened: reading one
// would hang or never end.
class TStatInput {
public:
    explicit TStatInput(const std::string& fileName) : FName(fileName) {
        struct stat st {};
        if (::stat(fileName.c_str(), &st) != 0) Fail(SystemReason());
        if (S_ISDIR(st.st_mode)) Fail("It is a folder, not a statistics file.");
        if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode))
            Fail("It is a device or other special file, not a statistics file or pipe.");
        FFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (FFd < 0) Fail(SystemReason());
        if (::fstat(FFd, &st) != 0) Fail(SystemReason());
        if (S_ISREG(st.st_mode)) {
            FPath = fileName;
            return;
        }
        if (!S_ISFIFO(st.st_mode)) Fail("It is not a statistics file or pipe.");
        CopyPipe();
    }
    ~TStatInput() {
        if (FFd >= 0) ::close(FFd);
    }
    TStatInput(const TStatInput&) = delete;
    TStatInput& operator=(const TStatInput&) = delete;

    int Fd() const { return FFd; }
    // The name the statistics reader opens: the file itself, or the copy.
    const std::string& ReadPath() const { return FPath; }

private:
    [[noreturn]] void Fail(const std::string& reason) {
        throw EFOpenError("Cannot open file \"" + FName + "\". " + reason);
    }

    void CopyPipe() {
        int copy = ::memfd_create("dravolt-statistics", MFD_CLOEXEC);
        if (copy < 0) Fail(SystemReason());
        std::unique_ptr<char[]> buf(new char[256 * 1024]);
        off_t total = 0;
        for (;;) {
            const ssize_t n = ::read(FFd, buf.get(), 256 * 1024);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                const int err = errno;
                ::close(copy);
                throw EReadError("Cannot read file \"" + FName + "\". " + std::strerror(err));
            }
            total += n;
            if (total > kMaxPipedBytes) {
                ::close(copy);
                Fail("More than 1024 MB came through the pipe; that is no statistics text.");
            }
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(copy, buf.get() + done, static_cast<size_t>(n - done));
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) {
                    const int err = w < 0 ? errno : ENOSPC;
                    ::close(copy);
                    throw EReadError("Cannot read file \"" + FName + "\". " + std::strerror(err));
                }
                done += w;
            }
        }
        ::close(FFd);
        FFd = copy;
        FPath = "/proc/self/fd/" + std::to_string(copy);
    }

    std::string FName;
    std::string FPath;
    int FFd = -1;
};

// Reads from `offset` to the end of the file.
TFileText ReadFrom(const TStatInput& input, off_t offset, const std::string& fileName) {
    try {
        return TFileText(input.Fd(), offset);
    } catch (const EInOutError& e) {
        throw EReadError("Cannot read file \"" + fileName + "\". " + e.Message());
    }
}

void SetCaptionLoadedFrom(TMainForm& form, const std::string& fileName) {
    form.setWindowTitle(QString::fromStdString(
        Format("%s. Loaded from %s", {std::string(ProductTitle), fileName})));
}

// DBSize in kilobytes, in 32-bit arithmetic that wraps like the original
// integer product instead of overflowing.
int32_t SizeInKilobytes(int32_t pages, int32_t pageSize) {
    uint32_t product = static_cast<uint32_t>(pages) * static_cast<uint32_t>(pageSize / 1024);
    return static_cast<int32_t>(product);
}

}  // namespace

void TMainForm::ClearGrids() {
    if (FrDbInfo) FrDbInfo->vstDbInfo->Clear();
    if (FrMonitor) FrMonitor->vstMonitor->Clear();
    if (FrIndexStat) FrIndexStat->vstIdxStat->Clear();
    if (FrTableStat) FrTableStat->vstTblStat->Clear();
}

void TMainForm::ShowNoStatistics() {
    ClearGrids();
    if (DBInfo) DBInfo->Reset(true);
    setWindowTitle(QString::fromLatin1(MainFormCaption));
    MetadataLoaded = false;
    DisableSaveCommands();
}

void TMainForm::DisableSaveCommands() {
    if (UnsavedStatLines) UnsavedStatLines->clear();
    SaveStatFile->setEnabled(false);
    tbSaveStat->setEnabled(false);
    tbRefresh->setEnabled(false);
}

void TMainForm::LoadStatFile(const std::string& fileName, bool fillViews) {
    // A file that cannot be opened or read changes nothing: what is shown stays.
    TStatInput input(fileName);
    char head[kMagicSize] = {};
    ssize_t got;
    do got = ::pread(input.Fd(), head, kMagicSize, 0);
    while (got < 0 && errno == EINTR);
    if (got < 0) throw EReadError("Cannot read file \"" + fileName + "\". " + SystemReason());
    const bool saved = got == static_cast<ssize_t>(kMagicSize) && std::memcmp(head, kMagic, kMagicSize) == 0;
    // A save file is read whole before anything shown is cleared.
    std::optional<TFileText> body;
    if (saved) body.emplace(ReadFrom(input, kMagicSize, fileName));
    ClearGrids();
    if (DBMonInfo) ResetMonitorInfo(*DBMonInfo);

    if (!saved) {
        TOverrideCursor wait(Qt::WaitCursor);
        bool parsed;
        try {
            parsed = ParseStatFile(input.ReadPath());
        } catch (...) {
            // A text the reader refuses (its encoding) leaves nothing loaded.
            ShowNoStatistics();
            throw;
        }
        if (parsed) {
            SetCaptionLoadedFrom(*this, fileName);
            MetadataLoaded = false;
            if (!fillViews) return;
            if (FrTableStat) FrTableStat->FillTables();
            if (FrIndexStat) {
                FrIndexStat->SetColumnVisible(kSelectivityColumn, false);
                FrIndexStat->FillIndices();
            }
            if (FrDbInfo) FrDbInfo->FillDbInfo();
            if (FrMonitor) FrMonitor->FillMonitor();
            MarkProblemRows();
        } else {
            // The parser has said why; what it left is no statistics.
            ShowNoStatistics();
        }
        return;
    }

    DBInfo->Reset(true);
    try {
        // The model's text begins on the file's second line, after the magic.
        ReadComponentText(body->View(), *DBInfo, 2);
        RebuildModelLists(*DBInfo);
        // A page size of 0 is the model's "nothing loaded": such a file was
        // not written from statistics, and its sizes cannot be computed.
        if (DBInfo->PageSize <= 0)
            throw EReadError("Cannot read file \"" + fileName + "\". Its page size is " +
                             IntToStr(DBInfo->PageSize) + " (PageSize), so it holds no statistics.");
    } catch (...) {
        // Half a file is not the statistics the caption or a save would name.
        ShowNoStatistics();
        throw;
    }
    MetadataLoaded = true;
    if (!fillViews) return;
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    if (FrTableStat) FrTableStat->FillTables();
    if (FrIndexStat) FrIndexStat->FillIndices();
    if (FrMonitor) FrMonitor->FillMonitor();
    SetCaptionLoadedFrom(*this, fileName);
    if (FrIndexStat) FrIndexStat->SetColumnVisible(kSelectivityColumn, true);
    // Marked with the Selectivity column the file's indices are shown with.
    MarkProblemRows();
}

void TMainForm::OpenStatFile(const std::string& fileName) {
    LoadStatFile(fileName);
    DisableSaveCommands();
    if (FrDBList && !FrDBList->isHidden()) SelectTab(1);
    RaiseFilter();
}

void TMainForm::StatOpenFileClick() {
    if (AskSaveStatistics() == mrCancel) return;
    TFileDialogRequest open;
    open.Filter =
        "Text files (*.txt;*.dvt)|*.txt;*.dvt|Dravolt files (*.dvt)|*.dvt|Log files (*.log)|*.log|All files |*.*";
    open.FilterIndex = 1;
    if (OpenFileDialog(open)) {
        LoadStatFile(open.FileName);
        DisableSaveCommands();
        SelectTab(1);
    }
    RaiseFilter();
}

int TMainForm::AskSaveStatistics() {
    int result = mrYes;
    if (UnsavedStatLines && !UnsavedStatLines->empty()) {
        result = MessageDlg("Previous statistics is not saved. Save it to file?", mtWarning, mbYesNoCancel);
        if (result == mrYes) {
            StatSaveClick();
            if (!UnsavedStatLines->empty()) result = mrCancel;
        }
    }
    return result;
}

void TMainForm::StatSaveClick() {
    std::string server, database;
    if (DM) {
        server = DM->IBStatService->ServerName;
        database = DM->IBStatService->DatabaseName;
    }
    SaveDialog1.Filter = "Text files (*.dvt)|*.dvt";
    SaveDialog1.FilterIndex = 1;
    SaveDialog1.FileName = MakeStatFileName(server, database) + ".dvt";
    SaveDialog1.OverwritePrompt = true;
    if (!SaveFileDialog(SaveDialog1)) return;
    SaveStatToFile(*DBInfo, SaveDialog1.FileName);
    // The statistics on show are now those of the file: the caption says so
    // instead of still calling them unsaved.
    setWindowTitle(QString::fromStdString(
        Format("%s. Saved to %s", {std::string(ProductTitle), SaveDialog1.FileName})));
    UnsavedStatLines->clear();
    SaveStatFile->setEnabled(false);
    tbSaveStat->setEnabled(false);
}

void SaveStatToFile(TDatabaseInfo& model, const std::string& fileName) {
    // The whole text is made before the file is touched, so a model that
    // cannot be written leaves an existing file as it was.
    std::string text(kMagic, kMagicSize);
    WriteComponentText(model, text);
    SaveFileContent(fileName, text);
}

void TMainForm::StatOpenApiClick() {
    if (AskSaveStatistics() == mrCancel) return;
    {
        TOverrideCursor wait(Qt::BusyCursor);
        if (LoadStatFromServer(nullptr) && FrDBList && !FrDBList->isHidden()) SelectTab(1);
    }
    RaiseFilter();
}

bool TMainForm::LoadStatFromServer(TDatabaseItem* entry) {
    TStringList lines;
    bool metadataWanted = false;
    if (!RunServerStatisticsDialog(entry, lines, metadataWanted)) return false;
    return LoadServerLines(lines, metadataWanted);
}

bool TMainForm::LoadServerLines(const TStringList& lines, bool metadataWanted) {
    ClearGrids();
    ParseStatLines(lines);   // a failed parse still goes on: the parser has reported it
    bool loaded = false;
    try {
        TServerWaitScope wait(ServerWaitText());
        loaded = ShowServerStatistics(metadataWanted);
    } catch (...) {
        ShowNoStatistics();
        throw;
    }
    if (!loaded) ShowNoStatistics();
    return loaded;
}

std::string TMainForm::ServerWaitText() const {
    std::string where;
    if (DM) where = DM->IBStatService->ServerName.empty() ? std::string("this computer") : DM->IBStatService->ServerName;
    return "Waiting for the server " + where + "...";
}

TMainForm::TServerExtras TMainForm::ReadServerExtras(bool metadataWanted) {
    TServerExtras result;
    if (!DM) return result;
    // The statistics are whole by now: what fails from here on costs only
    // what it would have added.
    DBInfo->DBSize = 0;
    try {
        DBInfo->DBSize = SizeInKilobytes(DM->GetAllocatedPages(), DBInfo->PageSize);
    } catch (const EAbort&) {
        result.Saveable = !metadataWanted;
        return result;
    } catch (const std::exception& e) {
        std::string text = std::string("The statistics were taken, but the size of the database could not be "
                                       "read; it is not shown.\n") + e.what();
        // Over a connection that has just failed the metadata would only
        // keep the user waiting for a second failure.
        const bool connection = IsConnectionFailure(e);
        if (connection && metadataWanted) text += "\nThe table and index metadata was not read either.";
        MessageDlg(text, mtError, mbOK);
        if (connection) {
            result.Saveable = !metadataWanted;
            return result;
        }
    }
    if (!metadataWanted) return result;
    try {
        DM->ReadMetadata();
        result.Metadata = true;
    } catch (const EAbort&) {
        result.Saveable = false;
    } catch (const std::exception& e) {
        result.Saveable = false;
        if (std::string(e.what()).find("consistency check") != std::string::npos) {
            MessageDlg(std::string("Dravolt discovered possible database corruption in this database. "
                                   "Please download free tool Mendral Diagnostician from ") +
                           kMakerSite + ", open and run Diagnose, then send diagnistics log to " + kSupportMail +
                           ". Our specialists will check it for free and give you advice about best "
                           "medicine for corruption.",
                       mtError, mbOK);
            result.Corrupt = true;
        } else if (IsConnectionFailure(e)) {
            // A network fault is no reason to doubt the database.
            MessageDlg(std::string("The table and index metadata could not be read: the connection to the "
                                   "server failed. The statistics are shown without it.\n") +
                           e.what(),
                       mtError, mbOK);
        } else {
            MessageDlg(std::string("Dravolt discovered error during database metadata load. Seems that metadata "
                                   "is broken or corrupted. Please check metadata using gbak tool (gbak -b -m, "
                                   "gbak -c) to ensure that metadata is OK. \r\nOr, you can ask ") +
                           kSupportMail + " for help",
                       mtError, mbOK);
        }
    }
    return result;
}

void TMainForm::ShowMetadataState(const TServerExtras& extras) {
    MetadataLoaded = extras.Metadata;
    if (FrIndexStat) FrIndexStat->SetColumnVisible(kSelectivityColumn, extras.Metadata);
}

void TMainForm::KeepUnsaveable() {
    // A saved-statistics file always reads back as one with metadata, so
    // statistics whose metadata is missing are not offered for saving.
    if (UnsavedStatLines) UnsavedStatLines->clear();
    SaveStatFile->setEnabled(false);
    tbSaveStat->setEnabled(false);
}

bool TMainForm::ShowServerStatistics(bool metadataWanted) {
    FMetadataWanted = metadataWanted;
    const TServerExtras extras = ReadServerExtras(metadataWanted);
    if (extras.Corrupt) return false;
    ShowMetadataState(extras);
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    if (FrTableStat) FrTableStat->FillTables();
    if (FrIndexStat) FrIndexStat->FillIndices();
    if (FrMonitor) FrMonitor->FillMonitor();
    MarkProblemRows();
    SaveStatFile->setEnabled(true);
    tbSaveStat->setEnabled(true);
    tbRefresh->setEnabled(true);
    if (!extras.Saveable) KeepUnsaveable();
    return true;
}

bool TMainForm::ReloadStat(bool full) {
    TStringList lines;
    TServerWaitScope wait(ServerWaitText());
    if (RunStatisticsRefresh(lines, full)) return ApplyReloadLines(lines, full);
    return true;
}

bool TMainForm::ApplyReloadLines(const TStringList& lines, bool full) {
    if (full) {
        ClearGrids();
        ParseStatLines(lines);
    } else {
        ParseStatHeaderLines(lines);
    }
    TServerExtras extras;
    try {
        extras = ReadServerExtras(full && (MetadataLoaded || FMetadataWanted));
        if (extras.Corrupt) {
            if (full) ShowNoStatistics();
            return false;
        }
        if (full) CalcDatabaseTotals(*DBInfo);
        if (full) ShowMetadataState(extras);
        if (FrDbInfo) FrDbInfo->FillDbInfo();
        if (full) {
            if (FrTableStat) FrTableStat->FillTables();
            if (FrIndexStat) FrIndexStat->FillIndices();
        }
        MarkProblemRows();
    } catch (...) {
        // A full reload has replaced what was shown; a half-made model is
        // nothing to show or save.
        if (full) ShowNoStatistics();
        throw;
    }
    if (!extras.Saveable) KeepUnsaveable();
    return extras.Saveable;
}

void TMainForm::ReloadStatFullClick() {
    TOverrideCursor wait(Qt::BusyCursor);
    if (ReloadStat(true)) tbSaveStat->setEnabled(true);
    RaiseFilter();
}

void TMainForm::ReloadStatHeaderClick() {
    if (ReloadStat(false)) tbSaveStat->setEnabled(true);
}

}  // namespace dv
