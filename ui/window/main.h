// The main window: tool bar, menu bar, the tab set that selects a view and
// the two stacked panels the view frames live on. It creates the data module
// and the frames, keeps the window geometry in "dravolt.ini", opens the file
// its command line names and commands the loads, saves and reloads of
// statistics (mainload.cpp), which the statistics files (model/StatFile.h)
// and the server do; every load ends in one routine that shows the model.
#pragma once

#include <QMainWindow>
#include <functional>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "platform/streaming/Classes.h"
#include "platform/system/Dialogs.h"
#include "platform/gui/VirtualTrees.h"

class QAction;
class QMenu;
class QSplitter;
class QStackedLayout;
class QTabBar;
class QToolBar;
class QToolButton;
class QWidget;

namespace dv {

// The product title; the window caption begins with it after every load.
inline constexpr const char* ProductTitle = "Dravolt 2.7";
// Caption before the first load.
inline constexpr const char* MainFormCaption = "dRavolt";

// The maker's addresses behind the Help menu and in the messages.
inline constexpr const char* kMakerSite = "https://www.kelmaris.example";
inline constexpr const char* kCorvexPage = "https://www.kelmaris.example/products/corvex";
inline constexpr const char* kContactMail = "contact@kelmaris.example";
inline constexpr const char* kSupportMail = "support@kelmaris.example";

// True when the model holds column and index metadata (a server load with
// metadata, or a saved-statistics file).
extern bool MetadataLoaded;

// The main window's widgets. The window owns and drives them; others see
// them through TMainForm::Widgets(), which hands them out read-only, so that
// no one outside the window can replace or drop one.
struct TMainWidgets {
    QToolBar* ToolBar1 = nullptr;
    QToolButton* tbLoadFile = nullptr;
    QToolButton* tbLoadStatAPI = nullptr;
    QToolButton* tbRefresh = nullptr;
    QToolButton* tbSaveStat = nullptr;
    QToolButton* tbReport = nullptr;
    QToolButton* tbFilter = nullptr;
    QToolButton* tbTranCalc = nullptr;
    QToolButton* tbCorvex = nullptr;
    QToolButton* tbOptions = nullptr;
    QToolButton* tbHelp = nullptr;
    QMenu* ReloadMenu = nullptr;
    QAction* ReloadHeaderItem = nullptr;   // "Reload only transaction info"
    QAction* ReloadAllItem = nullptr;      // "Reload all"

    QTabBar* InfoTab = nullptr;
    QWidget* bigPnl = nullptr;
    QWidget* tiPnl = nullptr;
    QWidget* topPnl = nullptr;
    QWidget* btmPnl = nullptr;
    QSplitter* Splitter1 = nullptr;

    QMenu* Statistics = nullptr;
    QAction* N1 = nullptr;
    QAction* Load1 = nullptr;
    QAction* Database1 = nullptr;
    QAction* SaveStatFile = nullptr;
    QAction* N4 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Reports = nullptr;
    QAction* Viewrecommendations = nullptr;
    QAction* SaveRecommendations = nullptr;
    QMenu* View1 = nullptr;
    QAction* Database2 = nullptr;
    QAction* Tables1 = nullptr;
    QAction* Indices1 = nullptr;
    QAction* TableIndices1 = nullptr;
    QMenu* mServices = nullptr;
    QAction* mTranCalc = nullptr;
    QAction* Options = nullptr;
    QMenu* Help = nullptr;
    QAction* Contents = nullptr;
    QAction* ContactUs = nullptr;
    QAction* N3 = nullptr;
    QAction* DatabaseRepairServices1 = nullptr;
    QAction* Superchargeyourdatabase1 = nullptr;
    QAction* Databasemonitoringservices1 = nullptr;
    QAction* N2 = nullptr;
    QAction* About = nullptr;
    QAction* ViewDBList = nullptr;   // action list entry; nothing is bound to it
};

class TMainForm : public QMainWindow, private TMainWidgets {
public:
    // Builds the window and runs the creation sequence with the command-line
    // parameters (program name excluded): one names a statistics file to
    // open; any other number opens nothing (two are the batch report, which
    // the program runs without a window). An exception after the data module
    // step is shown by the application's handler and ends the sequence
    // there; the window still exists. The first form created becomes
    // MainForm.
    explicit TMainForm(const std::vector<std::string>& params = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Places the frames for one view (0 tables, 1 indices, 2 tables over
    // indices, 3 summary, 4 database list, 5 monitor) and brings its panel
    // to the front.
    void ShowView(int view);
    // The tab set's change handler: maps tab 0..5 to its view.
    void InfoTabChange(int newTab);
    // Selects a tab; selecting the selected one calls nothing.
    void SelectTab(int tab);

    // The problem filter.
    void tbFilterClick();
    void FilterNode(TVirtualStringTree* tree, PVirtualNode node);
    // Raises the filter button; grids it had filtered show every row again.
    void RaiseFilter();
    // Sets the Problem marks the filter shows from the rules, for every table
    // and index of the model, under the current options and with the indices
    // view's Selectivity column as it is shown now.
    void MarkProblemRows();

    // Commands of the menu and the tool bar.
    void OptionsClick();
    // What OptionsClick does after the options dialog closed with OK while
    // statistics are loaded: refill the summary, mark the problems again
    // from no marks at all, release the filter and rebuild both grids.
    void ApplyOptionsChange();
    void AboutClick();
    void TranCalcClick();
    void ContentsClick();
    void tbCorvexClick();
    void ContactUsClick();
    void DatabaseRepairServices1Click();
    void Superchargeyourdatabase1Click();
    void Databasemonitoringservices1Click();
    void Exit1Click();
    void ViewSummaryClick();
    void ViewTablesClick();
    void ViewIndicesClick();
    void ViewTableIndicesClick();
    void ViewDBListExecute();

    // Loading and saving statistics.
    void LoadStatFile(const std::string& fileName);
    void OpenStatFile(const std::string& fileName);
    void StatOpenFileClick();
    int AskSaveStatistics();
    void StatSaveClick();
    void StatOpenApiClick();
    bool LoadStatFromServer(TDatabaseItem* entry);
    // What LoadStatFromServer does once the statistics dialog handed over
    // its lines: parse, database size, metadata, rebuild, command states.
    bool LoadServerLines(const TStringList& lines, bool metadataWanted);
    bool ReloadStat(bool full);
    // What ReloadStat does with the lines of a successful refresh; false
    // when the result may not be saved (its metadata could not be read).
    bool ApplyReloadLines(const TStringList& lines, bool full);
    void ReloadStatFullClick();
    void ReloadStatHeaderClick();
    // Empties the four grids (summary, monitor, indices, tables).
    void ClearGrids();
    // The state after a load that failed once the model was reset: empty
    // model and grids, the first caption, nothing to save, reload or ask
    // about on closing.
    void ShowNoStatistics();
    // Nothing is waiting to be saved, reloaded or asked about on closing.
    void DisableSaveCommands();

    // Lifecycle handlers: FormCloseQuery answers whether the window may
    // close; FormClose writes the settings and frees the model.
    bool FormCloseQuery();
    void FormClose();
    // Ending on a termination signal, once the event loops have ended: the
    // server connection is detached and the window closed as FormClose does;
    // nobody can be asked about unsaved statistics, so standard error says
    // they were not saved.
    void CloseOnSignal();

    // Applies the hint options to the application's hint windows.
    void ApplyHintOptions();

    const TMainWidgets& Widgets() const { return *this; }
    // The problem filter's button is down: the views show problem rows only.
    bool ProblemFilterOn() const;

    // The shared save dialog settings (statistics save and report save).
    TFileDialogRequest SaveDialog1;

    // Which panel is in front: bigPnl or tiPnl.
    QWidget* FrontPanel() const;
    // The settings file the window reads and writes.
    static std::string SettingsFileName();

    // True when the last attempt to write the settings file failed.
    const std::string& SettingsWriteError() const { return FSettingsWriteError; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildActions();
    void BuildToolBar();
    void BuildMenu();
    void BuildPanels();
    void FormCreate(const std::vector<std::string>& params);
    void CreateDataModule();
    void CreateFrames();
    void ReadGeometry();
    void WriteSettings();
    void BringToFront(QWidget* panel);
    // Connects a command so that an exception reaches the application's
    // handler instead of unwinding through the event loop.
    void Bind(QAction* action, std::function<void()> handler);
    void Bind(QToolButton* button, std::function<void()> handler);
    void SetServerCommandsEnabled(bool enabled);
    // Checks the View item of the view shown (none for the database list).
    void MarkShownView();
    // Shows the model just loaded (text, saved statistics, server, full
    // reload): the metadata state and the indices grid's Selectivity column
    // that goes with it, every view filled from the model, then the problem
    // marks, which read that column's state.
    void ShowModel(bool metadata);
    // LoadServerLines after the parse: size, metadata, grids, commands;
    // false after a corruption report.
    bool ShowServerStatistics(bool metadataWanted);
    // What a load or a full reload reads besides the statistics: the
    // database size and, when wanted, the metadata. A failure of either is
    // reported and costs only what it would have added.
    struct TServerExtras {
        bool Metadata = false;   // read whole and in the model
        bool Saveable = true;    // false when wanted metadata is missing
        bool Corrupt = false;    // the database reported corruption
    };
    TServerExtras ReadServerExtras(bool metadataWanted);
    void KeepUnsaveable();
    std::string ServerWaitText() const;
    // The statistics shown came with a request for metadata (which a full
    // reload then reads again, also after it failed once).
    bool FMetadataWanted = false;

    QStackedLayout* FPanels = nullptr;
    QAction* FViewItem = nullptr;   // the View item of the view shown
    bool FClosed = false;
    bool FCentred = false;
    std::string FSettingsWriteError;   // why the settings were not kept at the last close
};

extern TMainForm* MainForm;

// Hands a web or mail address to the desktop; when nothing takes it, a
// message shows the address to copy.
void OpenAddress(const std::string& url);

// Frees the data module (the program does so at exit).
void FreeDataModule();

// The dialogs the commands open, each in its own unit: the server statistics
// dialog and its dialog-less refresh (dlgDb), the options dialog (options),
// the transaction calculator (UTranCalc) and the about box (about). The two
// server functions report whether statistics lines were taken.
bool RunServerStatisticsDialog(TDatabaseItem* entry, TStringList& lines, bool& loadMetadata);
bool RunStatisticsRefresh(TStringList& lines, bool full);
bool RunOptionsDialog();
void RunTransactionCalculator();
void RunAboutBox();

}  // namespace dv
