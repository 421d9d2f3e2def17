// The window's side of loading statistics into the one model (text files,
// saved-statistics files, a server, a reload) and of saving them as a
// saved-statistics file: the files themselves are read and written by
// model/StatFile.h.
#include <QApplication>
#include <QTabBar>
#include <QToolButton>
#include <QAction>

#include "ui/window/main.h"
#include "model/StatFile.h"
#include "model/StatParser.h"
#include "model/moninfo.h"
#include "model/utils.h"
#include "platform/gui/OverrideCursor.h"
#include "server/DMData.h"
#include "ui/server/serverwait.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/dblistfr.h"
#include "ui/views/indexStat.h"
#include "ui/views/monitor.h"
#include "ui/views/tablestat.h"

namespace dv {

namespace {

void SetCaptionLoadedFrom(TMainForm& form, const std::string& fileName) {
    form.setWindowTitle(QString::fromStdString(
        Format("%s. Loaded from %s", {std::string(ProductTitle), fileName})));
}

// DBSize in kilobytes, kept in the 32 bits of the model and its save file: a
// size past their range wraps instead of overflowing (the product is taken
// unsigned, where wrapping is defined).
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

void TMainForm::ShowModel(bool metadata) {
    MetadataLoaded = metadata;
    if (FrIndexStat) FrIndexStat->SetColumnVisible(icSelectivity, metadata);
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    if (FrTableStat) FrTableStat->FillTables();
    if (FrIndexStat) FrIndexStat->FillIndices();
    if (FrMonitor) FrMonitor->FillMonitor();
    MarkProblemRows();
}

void TMainForm::LoadStatFile(const std::string& fileName) {
    // A file that cannot be opened or read changes nothing: what is shown stays.
    TStatFile file(fileName);
    ClearGrids();
    bool loaded;
    try {
        TOverrideCursor wait(Qt::WaitCursor);
        loaded = file.Load();
    } catch (...) {
        // A text the reader refuses (its encoding) or half a save file
        // leaves nothing loaded.
        ShowNoStatistics();
        throw;
    }
    // A text without statistics: the reader has said why.
    if (!loaded) {
        ShowNoStatistics();
        return;
    }
    SetCaptionLoadedFrom(*this, fileName);
    ShowModel(file.Saved());
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
    ShowModel(extras.Metadata);
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
        if (full) {
            CalcDatabaseTotals(*DBInfo);
            ShowModel(extras.Metadata);
        } else {
            // The header values only: the tables and indices shown stay.
            if (FrDbInfo) FrDbInfo->FillDbInfo();
            MarkProblemRows();
        }
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
