// Loading statistics into the one model (text files, saved-statistics files,
// a server, a reload) and saving them as a saved-statistics file.
#include <QApplication>
#include <QTabBar>
#include <QToolButton>
#include <QAction>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "main.h"
#include "model/StatParser.h"
#include "model/moninfo.h"
#include "model/utils.h"
#include "platform/ComponentText.h"
#include "server/DMData.h"
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

class TOverrideCursor {
public:
    explicit TOverrideCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(QCursor(shape)); }
    ~TOverrideCursor() { QApplication::restoreOverrideCursor(); }
    TOverrideCursor(const TOverrideCursor&) = delete;
    TOverrideCursor& operator=(const TOverrideCursor&) = delete;
};

std::string SystemReason() { return std::strerror(errno); }

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

void TMainForm::LoadStatFile(const std::string& fileName) {
    ClearGrids();
    std::ifstream file(fileName, std::ios::binary);
    if (!file) throw EFOpenError("Cannot open file \"" + fileName + "\". " + SystemReason());
    char head[kMagicSize] = {};
    size_t got = 0;
    while (got < kMagicSize && file.get(head[got])) ++got;
    if (DBMonInfo) ResetMonitorInfo(*DBMonInfo);

    bool saved = got == kMagicSize && std::memcmp(head, kMagic, kMagicSize) == 0;
    if (!saved) {
        file.close();
        TOverrideCursor wait(Qt::WaitCursor);
        if (ParseStatFile(fileName)) {
            SetCaptionLoadedFrom(*this, fileName);
            MetadataLoaded = false;
            if (FrTableStat) FrTableStat->FillTables();
            if (FrIndexStat) {
                FrIndexStat->SetColumnVisible(kSelectivityColumn, false);
                FrIndexStat->FillIndices();
            }
            if (FrDbInfo) FrDbInfo->FillDbInfo();
            if (FrMonitor) FrMonitor->FillMonitor();
        }
        return;
    }

    DBInfo->Reset(true);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw EReadError("Cannot read file \"" + fileName + "\". " + SystemReason());
    ReadComponentText(text, *DBInfo);
    RebuildModelLists(*DBInfo);
    file.close();
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    if (FrTableStat) FrTableStat->FillTables();
    if (FrIndexStat) FrIndexStat->FillIndices();
    if (FrMonitor) FrMonitor->FillMonitor();
    SetCaptionLoadedFrom(*this, fileName);
    if (FrIndexStat) FrIndexStat->SetColumnVisible(kSelectivityColumn, true);
    MetadataLoaded = true;
}

void TMainForm::OpenStatFile(const std::string& fileName) {
    LoadStatFile(fileName);
    SaveStatFile->setEnabled(false);
    tbSaveStat->setEnabled(false);
    tbRefresh->setEnabled(false);
    UnsavedStatLines->clear();
    if (FrDBList && !FrDBList->isHidden()) SelectTab(1);
    RaiseFilter();
}

void TMainForm::StatOpenFileClick() {
    if (AskSaveStatistics() == mrCancel) return;
    TFileDialogRequest open;
    open.Filter =
        "Text files (*.txt;*.dvt)|*.txt;*.dvt|Dravolt files (*.dvt)|*.dvt|Log files (*.log)|*.log|All files |*.*";
    open.FilterIndex = 1;
    if (DialogProvider().OpenFileDialog(open)) {
        LoadStatFile(open.FileName);
        SaveStatFile->setEnabled(false);
        tbSaveStat->setEnabled(false);
        tbRefresh->setEnabled(false);
        UnsavedStatLines->clear();
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
    if (!DialogProvider().SaveFileDialog(SaveDialog1)) return;
    SaveStatToFile(*DBInfo, SaveDialog1.FileName);
    UnsavedStatLines->clear();
    SaveStatFile->setEnabled(false);
    tbSaveStat->setEnabled(false);
}

void SaveStatToFile(TDatabaseInfo& model, const std::string& fileName) {
    // The whole text is made before the file is touched, so a model that
    // cannot be written leaves an existing file as it was.
    std::string text(kMagic, kMagicSize);
    text += WriteComponentText(model);
    std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
    if (!file) throw EFCreateError("Cannot create file \"" + fileName + "\". " + SystemReason());
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) throw EInOutError("Cannot write file \"" + fileName + "\". " + SystemReason());
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
    if (DM) DBInfo->DBSize = SizeInKilobytes(DM->GetAllocatedPages(), DBInfo->PageSize);
    if (metadataWanted && DM) {
        try {
            DM->ReadMetadata();
        } catch (const std::exception& e) {
            if (std::string(e.what()).find("consistency check") != std::string::npos) {
                MessageDlg(std::string("Dravolt discovered possible database corruption in this database. "
                                       "Please download free tool Mendral Diagnostician from ") +
                               kMakerSite + ", open and run Diagnose, then send diagnistics log to " +
                               kSupportMail +
                               ". Our specialists will check it for free and give you advice about best "
                               "medicine for corruption.",
                           mtError, mbOK);
                if (DM->DB->Connected()) DM->DB->Disconnect();
                return false;
            }
            MessageDlg(std::string("Dravolt discovered error during database metadata load. Seems that metadata "
                                   "is broken or corrupted. Please check metadata using gbak tool (gbak -b -m, "
                                   "gbak -c) to ensure that metadata is OK. \r\nOr, you can ask ") +
                           kSupportMail + " for help",
                       mtError, mbOK);
        }
        MetadataLoaded = true;
        if (FrIndexStat) FrIndexStat->SetColumnVisible(kSelectivityColumn, true);
    } else {
        if (FrIndexStat) FrIndexStat->SetColumnVisible(kSelectivityColumn, false);
    }
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    if (FrTableStat) FrTableStat->FillTables();
    if (FrIndexStat) FrIndexStat->FillIndices();
    if (FrMonitor) FrMonitor->FillMonitor();
    SaveStatFile->setEnabled(true);
    tbSaveStat->setEnabled(true);
    tbRefresh->setEnabled(true);
    return true;
}

bool TMainForm::ReloadStat(bool full) {
    TStringList lines;
    if (RunStatisticsRefresh(lines, full)) ApplyReloadLines(lines, full);
    return true;
}

void TMainForm::ApplyReloadLines(const TStringList& lines, bool full) {
    if (full) {
        ClearGrids();
        ParseStatLines(lines);
    } else {
        ParseStatHeaderLines(lines);
    }
    if (DM) DBInfo->DBSize = SizeInKilobytes(DM->GetAllocatedPages(), DBInfo->PageSize);
    if (full) CalcDatabaseTotals(*DBInfo);
    if (full && MetadataLoaded && DM) DM->ReadMetadata();
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    if (full) {
        if (FrTableStat) FrTableStat->FillTables();
        if (FrIndexStat) FrIndexStat->FillIndices();
    }
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
