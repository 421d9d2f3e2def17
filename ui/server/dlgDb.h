// The server statistics dialog: takes the statistics text of one database
// from a server through the statistics service of the data module, shows the
// lines while they arrive, records the server and the database in the
// registry and in the database list, and hands the lines to the loader.
// RefreshStatistics runs the service again without the dialog, with the
// server and credentials of the last run.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <string>

#include "model/dkmain.h"
#include "platform/streaming/Classes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QWidget;

namespace dv {

class TIBStatisticalService;

// Defaults of the credential fields.
inline constexpr const char* kDefaultUser = "SYSDBA";
inline constexpr const char* kDefaultPassword = "tansyroot";

class TGetServStatDlg : public QDialog {
public:
    // Builds the controls and runs FormCreate (servers from the registry,
    // the password of the last run).
    explicit TGetServStatDlg(QWidget* parent = nullptr);
    ~TGetServStatDlg() override;

    // Handlers.
    void FormCreate();
    void FormShow();
    void ReadServers();
    void eServerNameChange();
    void cbProtocolChange();
    void UpdateProtocol();
    void cbHeaderClick();
    void sbServerNameClick();
    void sbDBNameClick();
    // "Run": takes the statistics; errors other than the start errors it
    // explains escape to the caller (the button shows them).
    void btnOkClick();
    void CancelBtnClick();
    // Writes LastServer/LastDatabase and the database value to the registry
    // and adds the database to the database list (once per server).
    void RecordRun();

    // The last run ended with usable statistics.
    bool Succeeded() const { return FSucceeded; }
    // The user cancelled a run, or the dialog, while lines were arriving.
    bool Cancelled() const { return FCancelled; }
    // A run is reading lines.
    bool Running() const { return FRunning; }
    // The lines of the log: what the last run read (before a run, the
    // memo's placeholder line).
    const TStringList& MemoLines() const { return FLines; }
    // The header-only state and the metadata choice as the caller gets them.
    bool MetadataWanted() const;

    // Shortest time between two rounds of pending events while lines arrive
    // (milliseconds); 0 processes them before every line. Painting the log
    // after every line would make a large database take minutes.
    static int EventInterval;

    QStackedWidget* PageControl = nullptr;
    QWidget* tsParam = nullptr;
    QWidget* tsLog = nullptr;

    QLabel* lServerName = nullptr;
    QComboBox* eServerName = nullptr;
    QToolButton* sbServerName = nullptr;
    QLabel* lDatabaseName = nullptr;
    QComboBox* eDatabaseName = nullptr;
    QToolButton* sbDBName = nullptr;
    QLabel* lProtocol = nullptr;
    QComboBox* cbProtocol = nullptr;
    QCheckBox* cbRecords = nullptr;
    QCheckBox* cbHeader = nullptr;
    QCheckBox* cbMetadata = nullptr;
    QLabel* lNote1 = nullptr;
    QLabel* lNote2 = nullptr;
    QLabel* lNote3 = nullptr;
    QLabel* lUserName = nullptr;
    QLineEdit* eUserName = nullptr;
    QLabel* lPassword = nullptr;
    QLineEdit* ePassword = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

    QPlainTextEdit* StatsMemo = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Size of the client area as designed.
    static constexpr int DesignWidth = 457;
    static constexpr int DesignHeight = 223;
    static constexpr int HelpContext = 8000;

    // Closing the window (its close box, Escape) while lines arrive cancels
    // the run, as the log page's Cancel button does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetupParamPage();
    void SetupLogPage();
    void SetupWiring();
    // Explains why the server would not begin a run.
    void ShowStartError(const std::string& message);
    // Reads lines until the service ends or the user cancels.
    void ReadLines(TIBStatisticalService& service);
    // Processes pending events (at most every EventInterval ms) and shows
    // the lines read since the last round.
    void PumpEvents();
    void FlushMemo();
    // An empty server name (other than for the local protocol) or database
    // name is explained; true when the run may start.
    bool CheckInput();

    bool FSucceeded = false;
    bool FCancelled = false;
    bool FRunning = false;
    bool FShown = false;
    TStringList FLines;
    size_t FShownLines = 0;   // lines of FLines already in the memo
    QElapsedTimer FPumpTimer;
};

// The dialog while ExecuteGetServStatDlg runs it (nullptr otherwise).
extern TGetServStatDlg* GetServStatDlg;

// Runs the dialog, filled from entry when one is given. On success the
// lines go to `lines` and to UnsavedStatLines and loadMetadata says whether
// metadata is to be read; the result says whether statistics were taken.
bool ExecuteGetServStatDlg(TDatabaseItem* entry, TStringList& lines, bool& loadMetadata);
// Takes the statistics again from the server, database and credentials of
// the last run, in full or the header page only, into `lines`. No cursor, no
// message, no cancel; errors go to the caller, with the service deactivated
// and its options as they were.
bool RefreshStatistics(TStringList& lines, bool full);

}  // namespace dv
