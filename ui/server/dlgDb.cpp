#include "ui/server/dlgDb.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "model/options.h"
#include "platform/system/Dialogs.h"
#include "platform/stores/Registry.h"
#include "platform/gui/OverrideCursor.h"
#include "platform/text/SysUtils.h"
#include "server/DMData.h"
#include "ui/window/Application.h"
#include "ui/server/browseLAN.h"
#include "ui/views/dblistfr.h"
#include "ui/window/main.h"

namespace dv {

TGetServStatDlg* GetServStatDlg = nullptr;
int TGetServStatDlg::EventInterval = 25;

namespace {

constexpr int kProtocolTCP = 0;
constexpr int kProtocolLocal = 2;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The entry of a combo box's list that equals text ignoring case; -1 for none.
int FindIgnoringCase(const QComboBox* box, const std::string& text) {
    for (int i = 0; i < box->count(); ++i)
        if (SameText(S(box->itemText(i)), text)) return i;
    return -1;
}

// A string value of the open key; a missing value, or one that is not a
// string (a damaged registry), reads as empty so that the dialog still opens.
std::string ReadStringValue(TRegistry& reg, const char* name) {
    try {
        return reg.ReadString(name);
    } catch (const ERegistryException&) {
        return std::string();
    }
}

QLabel* Note(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
    label->setPalette(p);
    return label;
}

// The statistics service's settings as they were before a dialog or a
// refresh ran. Until a run ends in statistics that are loaded, the commands
// that work on the statistics shown (the reloads, recomputing selectivity,
// the database size, the proposed save name) must keep reaching the database
// those came from, so a cancelled or failed run puts every setting back.
class TServiceSettings {
public:
    explicit TServiceSettings(TIBStatisticalService& service)
        : FService(service),
          FServerName(service.ServerName),
          FProtocol(service.Protocol),
          FParams(service.Params),
          FDatabaseName(service.DatabaseName),
          FOptions(service.Options) {}
    ~TServiceSettings() {
        if (FKept) return;
        FService.ServerName = FServerName;
        FService.Protocol = FProtocol;
        FService.Params = FParams;
        FService.DatabaseName = FDatabaseName;
        FService.Options = FOptions;
    }
    TServiceSettings(const TServiceSettings&) = delete;
    TServiceSettings& operator=(const TServiceSettings&) = delete;
    // The run succeeded: its settings stay.
    void Keep() { FKept = true; }

private:
    TIBStatisticalService& FService;
    std::string FServerName;
    TProtocol FProtocol;
    TStringList FParams;
    std::string FDatabaseName;
    uint8_t FOptions;
    bool FKept = false;
};

std::string CorruptionMessage() {
    return std::string("Dravolt discovered possible database corruption in this database. Please download free "
                       "tool Mendral Diagnostician from ") +
           kMakerSite + ", open and run Diagnose, then send diagnistics log to " + kSupportMail +
           ". Our specialists will check it for free and give you advice about best medicine for corruption.";
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TGetServStatDlg::TGetServStatDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("GetServStatDlg"));
    setWindowTitle(QStringLiteral("Get Statistics via Services API"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl = new QStackedWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    layout->addWidget(PageControl);
    SetupParamPage();
    SetupLogPage();
    SetupWiring();
    FLines = {"StatsMemo"};
    resize(std::max(DesignWidth, minimumSizeHint().width()), std::max(DesignHeight, minimumSizeHint().height()));
    FormCreate();
}

TGetServStatDlg::~TGetServStatDlg() {
    if (GetServStatDlg == this) GetServStatDlg = nullptr;
}

void TGetServStatDlg::SetupParamPage() {
    tsParam = new QWidget(PageControl);
    tsParam->setObjectName(QStringLiteral("tsParam"));
    auto* page = new QVBoxLayout(tsParam);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    lServerName = new QLabel(QStringLiteral("Server Name"), tsParam);
    eServerName = new QComboBox(tsParam);
    eServerName->setObjectName(QStringLiteral("eServerName"));
    eServerName->setEditable(true);
    eServerName->setInsertPolicy(QComboBox::NoInsert);
    eServerName->setToolTip(QStringLiteral("Choose or enter server name"));
    eServerName->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    eServerName->setMinimumContentsLength(12);
    lServerName->setBuddy(eServerName);
    sbServerName = new QToolButton(tsParam);
    sbServerName->setObjectName(QStringLiteral("sbServerName"));
    sbServerName->setText(QStringLiteral("..."));
    lProtocol = new QLabel(QStringLiteral("Protocol"), tsParam);
    cbProtocol = new QComboBox(tsParam);
    cbProtocol->setObjectName(QStringLiteral("cbProtocol"));
    cbProtocol->addItems({QStringLiteral("TCP"), QStringLiteral("NetBEUI"), QStringLiteral("Local")});
    cbProtocol->setToolTip(QStringLiteral("Specify connection protocol"));
    lProtocol->setBuddy(cbProtocol);

    lDatabaseName = new QLabel(QStringLiteral("Database Name"), tsParam);
    eDatabaseName = new QComboBox(tsParam);
    eDatabaseName->setObjectName(QStringLiteral("eDatabaseName"));
    eDatabaseName->setEditable(true);
    eDatabaseName->setInsertPolicy(QComboBox::NoInsert);
    eDatabaseName->setToolTip(QStringLiteral("Choose or enter database name at selected server"));
    eDatabaseName->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    eDatabaseName->setMinimumContentsLength(12);
    lDatabaseName->setBuddy(eDatabaseName);
    sbDBName = new QToolButton(tsParam);
    sbDBName->setObjectName(QStringLiteral("sbDBName"));
    sbDBName->setText(QStringLiteral("..."));

    // Tab follows the rows, not the order the fields were made in.
    {
        QWidget* const order[] = {eServerName, sbServerName, eDatabaseName, sbDBName, cbProtocol};
        for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    }
    fields->addWidget(lServerName, 0, 0);
    fields->addWidget(eServerName, 0, 1, 1, 2);
    fields->addWidget(sbServerName, 0, 3);
    fields->addWidget(lDatabaseName, 1, 0);
    fields->addWidget(eDatabaseName, 1, 1, 1, 2);
    fields->addWidget(sbDBName, 1, 3);
    fields->addWidget(lProtocol, 2, 0);
    fields->addWidget(cbProtocol, 2, 1);
    fields->setColumnStretch(2, 1);
    page->addLayout(fields);

    auto* options = new QGridLayout;
    options->setHorizontalSpacing(12);
    options->setVerticalSpacing(2);
    cbRecords = new QCheckBox(QStringLiteral("Include record/rec versions, etc."), tsParam);
    cbRecords->setObjectName(QStringLiteral("cbRecords"));
    cbRecords->setChecked(true);
    cbRecords->setToolTip(QStringLiteral("Take full table information from database"));
    cbHeader = new QCheckBox(QStringLiteral("Take only header page"), tsParam);
    cbHeader->setObjectName(QStringLiteral("cbHeader"));
    cbHeader->setToolTip(QStringLiteral("Do not take statistics about tables and indices"));
    cbMetadata = new QCheckBox(QStringLiteral("Load table/index metadata"), tsParam);
    cbMetadata->setObjectName(QStringLiteral("cbMetadata"));
    cbMetadata->setChecked(true);
    cbMetadata->setToolTip(
        QStringLiteral("Take information from database about table structure, index fields and statistics"));
    lNote1 = Note("Statistics will contain useful records/versions", tsParam);
    lNote2 = Note("information only taken from IB 7.1 and FB 1.5 !", tsParam);
    lNote3 = Note("Use gstat -a -r for Firebird 1.0 and Yaffil", tsParam);
    options->addWidget(cbRecords, 0, 0);
    options->addWidget(cbHeader, 1, 0);
    options->addWidget(cbMetadata, 2, 0);
    options->addWidget(lNote1, 0, 1);
    options->addWidget(lNote2, 1, 1);
    options->addWidget(lNote3, 2, 1);
    options->setColumnStretch(1, 1);
    page->addLayout(options);
    page->addStretch(1);

    auto* bottom = new QHBoxLayout;
    lUserName = new QLabel(QStringLiteral("User"), tsParam);
    eUserName = new QLineEdit(QString::fromLatin1(kDefaultUser), tsParam);
    eUserName->setObjectName(QStringLiteral("eUserName"));
    lUserName->setBuddy(eUserName);
    lPassword = new QLabel(QStringLiteral("Password"), tsParam);
    ePassword = new QLineEdit(QString::fromLatin1(kDefaultPassword), tsParam);
    ePassword->setObjectName(QStringLiteral("ePassword"));
    ePassword->setEchoMode(QLineEdit::Password);
    lPassword->setBuddy(ePassword);
    const int credentialWidth = fontMetrics().horizontalAdvance(QLatin1Char('W')) * 8;
    eUserName->setMinimumWidth(credentialWidth);
    ePassword->setMinimumWidth(credentialWidth);
    btnOk = new QPushButton(QStringLiteral("Run"), tsParam);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), tsParam);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    bottom->addWidget(lUserName);
    bottom->addWidget(eUserName);
    bottom->addSpacing(6);
    bottom->addWidget(lPassword);
    bottom->addWidget(ePassword);
    bottom->addStretch(1);
    bottom->addWidget(btnOk);
    bottom->addWidget(btnCancel);
    page->addLayout(bottom);

    PageControl->addWidget(tsParam);
}

void TGetServStatDlg::SetupLogPage() {
    tsLog = new QWidget(PageControl);
    tsLog->setObjectName(QStringLiteral("tsLog"));
    auto* page = new QHBoxLayout(tsLog);
    StatsMemo = new QPlainTextEdit(tsLog);
    StatsMemo->setObjectName(QStringLiteral("StatsMemo"));
    StatsMemo->setReadOnly(true);
    StatsMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    StatsMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StatsMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StatsMemo->setPlainText(QStringLiteral("StatsMemo"));
    // The text is the statistics tool's own output, laid out with tabs of
    // eight columns.
    StatsMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    StatsMemo->setTabStopDistance(QFontMetricsF(StatsMemo->font()).horizontalAdvance(QLatin1Char(' ')) * 8);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), tsLog);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    auto* side = new QVBoxLayout;
    side->addWidget(CancelBtn);
    side->addStretch(1);
    page->addWidget(StatsMemo, 1);
    page->addLayout(side);
    PageControl->addWidget(tsLog);
}

void TGetServStatDlg::SetupWiring() {
    // Every text change of the server field: typing, choosing from the list
    // and setting it from an entry.
    connect(eServerName, &QComboBox::currentTextChanged, this, [this] { RunGuarded([this] { eServerNameChange(); }); });
    connect(cbProtocol, &QComboBox::currentIndexChanged, this, [this] { RunGuarded([this] { cbProtocolChange(); }); });
    connect(cbHeader, &QCheckBox::toggled, this, [this] { cbHeaderClick(); });
    connect(cbMetadata, &QCheckBox::toggled, this, [this] { cbHeaderClick(); });
    connect(sbServerName, &QToolButton::clicked, this, [this] { RunGuarded([this] { sbServerNameClick(); }); });
    connect(sbDBName, &QToolButton::clicked, this, [this] { RunGuarded([this] { sbDBNameClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        CancelBtnClick();
        reject();
    });
}

// ---------------------------------------------------------------------------
// Handlers

void TGetServStatDlg::FormCreate() {
    ReadServers();
    if (!OptionSettings.LastPassword.empty()) ePassword->setText(Q(OptionSettings.LastPassword));
}

void TGetServStatDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FShown || event->spontaneous()) return;
    FShown = true;
    if (QScreen* screen = this->screen()) {
        QRect area = screen->availableGeometry();
        QRect frame = frameGeometry();
        move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    FormShow();
}

void TGetServStatDlg::FormShow() {
    cbProtocol->setCurrentIndex(kProtocolTCP);
    PageControl->setCurrentWidget(tsParam);
    cbHeader->setChecked(OptionSettings.HeaderPage);
    // The options always follow the boxes as shown: a dialog cancelled after
    // changing the header box must not leave the next run with options that
    // the boxes do not show.
    cbHeaderClick();
    UpdateProtocol();
}

void TGetServStatDlg::ReadServers() {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (reg.OpenKey(kServersKey, true)) {
        const QSignalBlocker block(eServerName);
        for (const std::string& name : reg.GetKeyNames()) eServerName->addItem(Q(name));
        eServerName->setCurrentIndex(FindIgnoringCase(eServerName, ReadStringValue(reg, kLastServerValue)));
        reg.CloseKey();
    }
    eServerNameChange();
}

void TGetServStatDlg::eServerNameChange() {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(kServersKey, true)) return;
    const std::string lastDatabase = ReadStringValue(reg, kLastDatabaseValue);
    // An empty name (the local protocol) is the server key itself.
    const std::string server = S(eServerName->currentText());
    if (!server.empty() && !reg.OpenKey(server, false)) return;
    eDatabaseName->clear();
    for (const std::string& name : reg.GetValueNames())
        if (name != kLastServerValue && name != kLastDatabaseValue) eDatabaseName->addItem(Q(name));
    eDatabaseName->setCurrentIndex(eDatabaseName->findText(Q(lastDatabase)));   // exact, as paths are
    reg.CloseKey();
}

void TGetServStatDlg::cbProtocolChange() { UpdateProtocol(); }

void TGetServStatDlg::UpdateProtocol() {
    if (cbProtocol->currentIndex() == kProtocolLocal) {
        {
            const QSignalBlocker block(eServerName);
            eServerName->setCurrentIndex(-1);
            eServerName->setEditText(QString());
        }
        eServerName->setEnabled(false);
        sbServerName->setEnabled(false);
        eServerNameChange();
    } else {
        eServerName->setEnabled(true);
        sbServerName->setEnabled(true);
    }
}

void TGetServStatDlg::cbHeaderClick() {
    const bool header = cbHeader->isChecked();
    cbRecords->setEnabled(!header);
    cbMetadata->setEnabled(!header);
    if (DM) DM->IBStatService->Options = header ? kHeaderStatOptions : kFullStatOptions;
}

void TGetServStatDlg::sbServerNameClick() { eServerName->setEditText(Q(BrowseForComputer())); }

void TGetServStatDlg::sbDBNameClick() {
    TFileDialogRequest open;
    open.Filter = "Database files (*.gdb, *.fdb, *.ib)|*.gdb;*.fdb;*.ib|All files |*.*";
    open.FilterIndex = 1;
    if (DialogProvider().OpenFileDialog(open)) eDatabaseName->setEditText(Q(open.FileName));
}

void TGetServStatDlg::CancelBtnClick() {
    FCancelled = true;
    if (FRunning && DM) DM->IBStatService->Cancel();
}

void TGetServStatDlg::reject() {
    if (FRunning) CancelBtnClick();
    QDialog::reject();
}

bool TGetServStatDlg::MetadataWanted() const { return cbMetadata->isChecked() && cbMetadata->isEnabled(); }

// ---------------------------------------------------------------------------
// Running the service

bool TGetServStatDlg::CheckInput() {
    if (cbProtocol->currentIndex() != kProtocolLocal && Trim(S(eServerName->currentText())).empty()) {
        MessageDlg("Enter the name of the server, or choose the protocol \"Local\".", mtWarning, mbOK);
        eServerName->setFocus();
        return false;
    }
    if (Trim(S(eDatabaseName->currentText())).empty()) {
        MessageDlg("Enter the name of the database.", mtWarning, mbOK);
        eDatabaseName->setFocus();
        return false;
    }
    return true;
}

void TGetServStatDlg::ShowStartError(const std::string& message) {
    std::string text;
    if (ContainsStr(message, "unrecognized service"))
        text = "Server does not support Services API (Classic), \nor does not support \"Include records\" parameter.";
    else if (ContainsStr(message, "Can't open database file"))
        text = "Error opening database (no such file?)";
    else if (ContainsStr(message, "consistency check"))
        text = CorruptionMessage();
    else if (ContainsStr(message, "Wrong ODS"))
        // Newer servers refuse such a database when the service starts
        // instead of printing the complaint as the first line.
        text = "Server can not work with this database:\n" + message;
    else
        // Any other refusal would otherwise look like a run that read
        // nothing and succeeded.
        text = message;
    MessageDlg(text, mtError, mbOK);
}

void TGetServStatDlg::PumpEvents() {
    if (FPumpTimer.isValid() && FPumpTimer.elapsed() < EventInterval) return;
    FlushMemo();
    QCoreApplication::processEvents();
    FPumpTimer.restart();
}

void TGetServStatDlg::FlushMemo() {
    if (FShownLines >= FLines.size()) return;
    QStringList batch;
    batch.reserve(static_cast<qsizetype>(FLines.size() - FShownLines));
    for (size_t i = FShownLines; i < FLines.size(); ++i) batch << Q(FLines[i]);
    StatsMemo->appendPlainText(batch.join(u'\n'));
    FShownLines = FLines.size();
}

void TGetServStatDlg::ReadLines(TIBStatisticalService& service) {
    while (!service.Eof()) {
        if (FCancelled) return;
        std::string line;
        try {
            line = service.GetNextLine();   // runs PumpEvents through OnWait first
        } catch (const EAbort&) {
            if (FCancelled) return;
            throw;
        }
        // The empty answer that ends the text is no line of it.
        if (service.Eof() && line.empty()) break;
        FLines.push_back(std::move(line));
    }
}

void TGetServStatDlg::btnOkClick() {
    if (FRunning || !DM) return;
    TIBStatisticalService& service = *DM->IBStatService;
    if (!cbRecords->isChecked())
        service.Options &= static_cast<uint8_t>(~soRecordVersions);
    else if (cbRecords->isEnabled())
        service.Options |= soRecordVersions;
    if (!CheckInput()) return;
    const std::string server = S(eServerName->currentText());
    const std::string database = S(eDatabaseName->currentText());
    DM->SetServiceParams(server, database, S(eUserName->text()), S(ePassword->text()), cbProtocol->currentIndex());

    FLines.clear();
    FShownLines = 0;
    StatsMemo->clear();
    FCancelled = false;
    FSucceeded = false;
    TOverrideCursor wait(Qt::BusyCursor);

    std::string refusal;   // why the server would not begin
    // The attach and the start wait for the server with the window alive:
    // Cancel, the close box and a signal reach them as they reach the lines.
    FRunning = true;
    FPumpTimer.invalidate();
    service.OnWait = [this] { PumpEvents(); };
    btnOk->setEnabled(false);
    RunWithCleanup(
        [&] {
            service.Activate();
            try {
                service.ServiceStart();
            } catch (const EAbort&) {
                throw;
            } catch (const std::exception& e) {
                refusal = e.what();
            }
            if (refusal.empty()) {
                OptionSettings.LastPassword = S(ePassword->text());
                PageControl->setCurrentWidget(tsLog);
                try {
                    ReadLines(service);
                } catch (const EAbort&) {
                    throw;
                } catch (const std::exception& e) {
                    // Newer servers start the service and only then report that
                    // the database cannot be read: before the first line that is
                    // a refusal to start like any other.
                    if (!FLines.empty()) throw;
                    refusal = e.what();
                }
            }
        },
        {[&] {
             service.OnWait = nullptr;
             FRunning = false;
             btnOk->setEnabled(true);
             FlushMemo();
         },
         [&] { service.Deactivate(); }});
    if (!refusal.empty()) {
        PageControl->setCurrentWidget(tsParam);
        ShowStartError(refusal);
        return;
    }
    if (FCancelled) return;

    FSucceeded = FLines.empty() || !ContainsStr(FLines.front(), "Wrong ODS");
    if (!FSucceeded) return;
    if (MainForm)
        MainForm->setWindowTitle(Q(std::string(ProductTitle) + ". Unsaved from " + server + ":" + database));
    RecordRun();
    accept();
}

void TGetServStatDlg::RecordRun() {
    const std::string server = S(eServerName->currentText());
    const std::string database = S(eDatabaseName->currentText());
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    // A store that cannot be written costs only the remembering: the user is
    // told once, and the list of this session still gets the database.
    bool told = false;
    auto stored = [&told](bool ok) {
        if (!ok && !told) told = !CheckListStored(false, "The server and database are not remembered for the next run.");
        return ok;
    };
    if (!stored(reg.OpenKey(kServersKey, true))) return;
    stored(reg.WriteString(kLastServerValue, server));
    stored(reg.WriteString(kLastDatabaseValue, database));
    // An empty server name (the local protocol) keeps its databases in the
    // server key itself.
    if (!server.empty() && !stored(reg.OpenKey(server, true))) return;
    // Paths compare with case: /data/Sales.fdb and /data/sales.fdb are two
    // databases here.
    for (const std::string& name : reg.GetValueNames())
        if (name == database) return;
    stored(reg.WriteInteger(database, cbProtocol->currentIndex()));
    reg.CloseKey();

    if (!FrDBList || !DM) return;
    const TIBStatisticalService& service = *DM->IBStatService;
    auto* entry = new TDatabaseItem;
    entry->Server = service.ServerName;
    entry->Database = service.DatabaseName;
    entry->User = ParamValue(service.Params, "user_name");
    entry->Password = ParamValue(service.Params, "password");
    PVirtualNode serverNode = FrDBList->FindServerNode(nullptr, entry->Server);
    if (!serverNode) {
        auto* serverEntry = new TDatabaseItem;
        serverEntry->Server = entry->Server;
        serverEntry->User = entry->User;
        serverEntry->Password = entry->Password;
        serverNode = FrDBList->AddEntry(nullptr, serverEntry);
    }
    FrDBList->AddEntry(serverNode, entry);
}

// ---------------------------------------------------------------------------
// Entry points

bool ExecuteGetServStatDlg(TDatabaseItem* entry, TStringList& lines, bool& loadMetadata) {
    if (!DM) return false;
    TServiceSettings previous(*DM->IBStatService);
    TGetServStatDlg dialog(MainForm);
    GetServStatDlg = &dialog;
    if (entry) {
        dialog.eUserName->setText(Q(entry->User.empty() ? std::string(kDefaultUser) : entry->User));
        dialog.ePassword->setText(Q(entry->Password.empty() ? std::string(kDefaultPassword) : entry->Password));
        dialog.eServerName->setEditText(Q(entry->Server));
        dialog.eDatabaseName->setEditText(Q(entry->Database));
    }
    if (OptionSettings.ServStatDlgWidth != 0) dialog.resize(OptionSettings.ServStatDlgWidth, dialog.height());
    dialog.setSizeGripEnabled(true);
    dialog.exec();

    OptionSettings.ServStatDlgWidth = dialog.width();
    const bool result = dialog.Succeeded() && !dialog.Cancelled();
    const std::string firstLine = dialog.MemoLines().empty() ? std::string() : dialog.MemoLines().front();
    loadMetadata = dialog.MetadataWanted();
    if (result) {
        previous.Keep();
        lines = dialog.MemoLines();
        if (UnsavedStatLines) *UnsavedStatLines = dialog.MemoLines();
        OptionSettings.HeaderPage = dialog.cbHeader->isChecked();
        OptionSettings.LoadMetadata = dialog.cbMetadata->isChecked();
    }
    GetServStatDlg = nullptr;
    if (ContainsStr(firstLine, "Wrong ODS"))
        MessageDlg("Server can not work with this database:\n" + firstLine, mtError, mbOK);
    return result;
}

bool RefreshStatistics(TStringList& lines, bool full) {
    if (!DM) return false;
    TIBStatisticalService& service = *DM->IBStatService;
    // A failed refresh must not leave the service attached, nor the next
    // dialog or refresh with the options of this one: the settings are put
    // back when the refresh ends, after the service is detached.
    const TServiceSettings previous(service);
    service.Options = full ? kFullStatOptions : kHeaderStatOptions;
    RunWithCleanup(
        [&] {
            service.Activate();
            service.ServiceStart();
            while (!service.Eof()) {
                std::string line = service.GetNextLine();
                if (service.Eof() && line.empty()) break;
                lines.push_back(std::move(line));
            }
        },
        {[&] { service.Deactivate(); }});
    return true;
}

// What the main window's commands call.
bool RunServerStatisticsDialog(TDatabaseItem* entry, TStringList& lines, bool& loadMetadata) {
    return ExecuteGetServStatDlg(entry, lines, loadMetadata);
}

bool RunStatisticsRefresh(TStringList& lines, bool full) { return RefreshStatistics(lines, full); }

}  // namespace dv
