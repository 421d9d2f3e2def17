#include "ui/window/main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QChildEvent>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedLayout>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QPointer>
#include <QSignalBlocker>
#include <QKeyEvent>
#include <QContextMenuEvent>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "model/moninfo.h"
#include "model/options.h"
#include "model/rules.h"
#include "platform/stores/IniFiles.h"
#include "platform/stores/Registry.h"
#include "platform/system/Shell.h"
#include "platform/gui/Graphics.h"
#include "server/DMData.h"
#include "ui/window/Application.h"
#include "ui/window/QtDialogs.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/dblistfr.h"
#include "ui/views/dbrecom.h"
#include "ui/views/indexStat.h"
#include "ui/views/monitor.h"
#include "ui/views/tablestat.h"

// Resources of a static library are registered by hand.
static void InitMainResources() { Q_INIT_RESOURCE(main); }

namespace dv {

TMainForm* MainForm = nullptr;
bool MetadataLoaded = false;

namespace {

constexpr const char* kSection = "Options";

// A panel whose child frames all fill it and lie on top of each other, the
// last raised in front.
class TFillPanel : public QWidget {
public:
    explicit TFillPanel(QWidget* parent) : QWidget(parent) {}

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        for (QObject* o : children())
            if (auto* w = qobject_cast<QWidget*>(o)) w->setGeometry(rect());
    }
    void childEvent(QChildEvent* e) override {
        QWidget::childEvent(e);
        if (e->added())
            if (auto* w = qobject_cast<QWidget*>(e->child())) w->setGeometry(rect());
    }
};

// Puts a frame on a panel; a frame already there keeps its place in the
// panel's order. Moving keeps the frame's own shown or hidden state.
void PlaceOn(QWidget* frame, QWidget* panel) {
    if (!frame || frame->parentWidget() == panel) return;
    bool shown = !frame->isHidden();
    frame->setParent(panel);
    frame->setGeometry(panel->rect());
    if (shown) frame->show();
}

// Applies the hint options each time the application is about to show a
// hint: colour at once, the hide pause once the hint is up.
class THintFilter : public QObject {
public:
    explicit THintFilter(TMainForm* form) : QObject(form), FForm(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip && watched->isWidgetType()) {
            FForm->ApplyHintOptions();
            QPointer<QWidget> w = static_cast<QWidget*>(watched);
            QTimer::singleShot(0, this, [w] {
                if (!w || !QToolTip::isVisible()) return;
                int pause = OptionSettings.HintHidePause > 0 ? OptionSettings.HintHidePause : 1;
                QToolTip::showText(QCursor::pos(), QToolTip::text(), w, QRect(), pause);
            });
        }
        return false;
    }

private:
    TMainForm* FForm;
};

// Keyboard roads the widgets lack on this platform: Shift+F10 opens the
// focused widget's popup as the Menu key does, and Down or Alt+Down on a
// focused tool button with a drop-down opens it (it would move the focus on).
class TKeyboardRoads : public QObject {
public:
    explicit TKeyboardRoads(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto* w = static_cast<QWidget*>(watched);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) {
            // The same event the Menu key gives: at the cursor of the
            // focused item (an item view's current cell), else the middle.
            QRect cursor = w->inputMethodQuery(Qt::ImCursorRectangle).toRect();
            const QPoint pos = cursor.isValid() ? cursor.center() : w->rect().center();
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, w->mapToGlobal(pos), key->modifiers());
            QCoreApplication::sendEvent(w, &menu);
            return true;
        }
        if (auto* button = qobject_cast<QToolButton*>(w);
            button && button->menu() && button->isEnabled() && key->key() == Qt::Key_Down &&
            (mods == Qt::NoModifier || mods == Qt::AltModifier)) {
            button->showMenu();
            return true;
        }
        return false;
    }
};

QIcon ButtonImage(const char* name) {
    return QIcon(QStringLiteral(":/main/") + QString::fromLatin1(name) + QStringLiteral(".svg"));
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TMainForm::TMainForm(const std::vector<std::string>& params, QWidget* parent) : QMainWindow(parent) {
    InitMainResources();
    if (!MainForm) MainForm = this;
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(MainFormCaption));
    const QIcon icon(QStringLiteral(":/main/dravolt.svg"));
    setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
    SaveDialog1.OverwritePrompt = true;
    BuildActions();
    BuildMenu();
    BuildToolBar();
    BuildPanels();
    resize(792, 649 + menuBar()->sizeHint().height());
    FormCreate(params);
}

TMainForm::~TMainForm() {
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::Bind(QAction* action, std::function<void()> handler) {
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { RunGuarded(handler); });
}

void TMainForm::Bind(QToolButton* button, std::function<void()> handler) {
    connect(button, &QToolButton::clicked, this, [handler = std::move(handler)] { RunGuarded(handler); });
}

void TMainForm::BuildActions() {
    auto make = [this](const char* text, const char* name) {
        auto* a = new QAction(QString::fromUtf8(text), this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    N1 = make("", "N1");
    N1->setSeparator(true);
    Load1 = make("&Load statistics from file", "Load1");
    Database1 = make("Retrieve statistics via Services &API", "Database1");
    SaveStatFile = make("Save statistics to &file", "SaveStatFile");
    SaveStatFile->setEnabled(false);
    N4 = make("", "N4");
    N4->setSeparator(true);
    Exit1 = make("&Exit", "Exit1");
    Viewrecommendations = make("&View recommendations", "Viewrecommendations");
    SaveRecommendations = make("Save recommendations", "SaveRecommendations");
    SaveRecommendations->setEnabled(false);
    Database2 = make("&Database", "Database2");
    Tables1 = make("&Tables", "Tables1");
    Indices1 = make("&Indices", "Indices1");
    TableIndices1 = make("Table->Indices", "TableIndices1");
    // One mark among the views, shown as radio items.
    auto* views = new QActionGroup(this);
    for (QAction* a : {Database2, Tables1, Indices1, TableIndices1}) {
        a->setCheckable(true);
        views->addAction(a);
    }
    Database2->setChecked(true);
    FViewItem = Database2;
    mTranCalc = make("Калькулятор транзакций", "mTranCalc");
    Options = make("&Options", "Options");
    Contents = make("Help Contents", "Contents");
    Contents->setShortcut(QKeySequence(Qt::Key_F1));
    ContactUs = make("Contact us", "ContactUs");
    N3 = make("", "N3");
    N3->setSeparator(true);
    DatabaseRepairServices1 = make("Database Repair Services", "DatabaseRepairServices1");
    Superchargeyourdatabase1 = make("Supercharge your database", "Superchargeyourdatabase1");
    Databasemonitoringservices1 = make("Request Kelmaris support", "Databasemonitoringservices1");
    N2 = make("", "N2");
    N2->setSeparator(true);
    About = make("About...", "About");
    ViewDBList = make("ViewDBList", "ViewDBList");
    ReloadHeaderItem = make("Reload only transaction info", "ReloadHeaderItem");
    ReloadAllItem = make("Reload all", "ReloadAllItem");

    Bind(Load1, [this] { StatOpenFileClick(); });
    Bind(Database1, [this] { StatOpenApiClick(); });
    Bind(SaveStatFile, [this] { StatSaveClick(); });
    Bind(Exit1, [this] { Exit1Click(); });
    Bind(Viewrecommendations, [] { ReportShowClick(); });
    Bind(SaveRecommendations, [] { SaveRecommendationsClick(); });
    Bind(Database2, [this] { ViewSummaryClick(); });
    Bind(Tables1, [this] { ViewTablesClick(); });
    Bind(Indices1, [this] { ViewIndicesClick(); });
    Bind(TableIndices1, [this] { ViewTableIndicesClick(); });
    // A click checks the item by itself, also when the view does not change
    // (its tab is selected already); the marks follow the view shown.
    for (QAction* a : {Database2, Tables1, Indices1, TableIndices1})
        connect(a, &QAction::triggered, this, [this] { MarkShownView(); });
    Bind(mTranCalc, [this] { TranCalcClick(); });
    Bind(Options, [this] { OptionsClick(); });
    Bind(Contents, [this] { ContentsClick(); });
    Bind(ContactUs, [this] { ContactUsClick(); });
    Bind(DatabaseRepairServices1, [this] { DatabaseRepairServices1Click(); });
    Bind(Superchargeyourdatabase1, [this] { Superchargeyourdatabase1Click(); });
    Bind(Databasemonitoringservices1, [this] { Databasemonitoringservices1Click(); });
    Bind(About, [this] { AboutClick(); });
    Bind(ViewDBList, [this] { ViewDBListExecute(); });
    Bind(ReloadHeaderItem, [this] { ReloadStatHeaderClick(); });
    Bind(ReloadAllItem, [this] { ReloadStatFullClick(); });
}

void TMainForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    Statistics = bar->addMenu(QStringLiteral("&Statistics"));
    Statistics->setObjectName(QStringLiteral("Statistics"));
    Statistics->addActions({N1, Load1, Database1, SaveStatFile, N4, Exit1});
    Reports = bar->addMenu(QStringLiteral("&Reports"));
    Reports->setObjectName(QStringLiteral("Reports"));
    Reports->addActions({Viewrecommendations, SaveRecommendations});
    View1 = bar->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    View1->addActions({Database2, Tables1, Indices1, TableIndices1});
    mServices = bar->addMenu(QString::fromUtf8("Сервис"));
    mServices->setObjectName(QStringLiteral("mServices"));
    mServices->addAction(mTranCalc);
    bar->addAction(Options);
    Help = bar->addMenu(QStringLiteral("&Help"));
    Help->setObjectName(QStringLiteral("Help"));
    Help->addActions({Contents, ContactUs, N3, DatabaseRepairServices1, Superchargeyourdatabase1,
                      Databasemonitoringservices1, N2, About});
    // The action list: reachable from code only.
    addAction(ViewDBList);

    ReloadMenu = new QMenu(this);
    ReloadMenu->setObjectName(QStringLiteral("ReloadMenu"));
    ReloadMenu->addActions({ReloadHeaderItem, ReloadAllItem});
}

void TMainForm::BuildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);

    auto button = [this](const char* name, const char* picture, const char* hint) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(ButtonImage(picture));
        b->setToolTip(QString::fromLatin1(hint));
        b->setAutoRaise(true);
        b->setMinimumSize(25, 24);
        ToolBar1->addWidget(b);
        return b;
    };
    tbLoadFile = button("tbLoadFile", "open", "Open statistics file");
    tbLoadStatAPI = button("tbLoadStatAPI", "server", "Load statistics from server");
    tbRefresh = button("tbRefresh", "reload", "Reload statistics from server");
    tbRefresh->setMenu(ReloadMenu);
    tbRefresh->setPopupMode(QToolButton::MenuButtonPopup);
    tbRefresh->setEnabled(false);
    ToolBar1->addSeparator();
    tbSaveStat = button("tbSaveStat", "save", "Save statistics to file");
    tbSaveStat->setEnabled(false);
    ToolBar1->addSeparator();
    tbReport = button("tbReport", "report", "View report");
    ToolBar1->addSeparator();
    tbFilter = button("tbFilter", "filter", "Show only problematic items");
    tbFilter->setText(QStringLiteral("Filter"));
    tbFilter->setCheckable(true);
    tbTranCalc = button("tbTranCalc", "calculator", "Transaction calculator");
    tbCorvex = button("tbCorvex", "corvex", "Run Transaction state Viewer");
    ToolBar1->addSeparator();
    tbOptions = button("tbOptions", "options", "Options");
    ToolBar1->addSeparator();
    tbHelp = button("tbHelp", "help", "Help");

    Bind(tbLoadFile, [this] { StatOpenFileClick(); });
    Bind(tbLoadStatAPI, [this] { StatOpenApiClick(); });
    Bind(tbRefresh, [this] { ReloadStatHeaderClick(); });
    Bind(tbSaveStat, [this] { StatSaveClick(); });
    Bind(tbReport, [] { ReportShowClick(); });
    // A click has already toggled the pressed state when this runs.
    Bind(tbFilter, [this] { tbFilterClick(); });
    Bind(tbTranCalc, [this] { TranCalcClick(); });
    Bind(tbCorvex, [this] { tbCorvexClick(); });
    Bind(tbOptions, [this] { OptionsClick(); });
    Bind(tbHelp, [this] { ContentsClick(); });
}

void TMainForm::BuildPanels() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    InfoTab = new QTabBar(central);
    InfoTab->setObjectName(QStringLiteral("InfoTab"));
    InfoTab->setExpanding(false);
    InfoTab->setDrawBase(true);
    InfoTab->setDocumentMode(true);
    for (const char* caption : {"Databases", "Summary", "Tables", "Indices", "Tables + Indices"})
        InfoTab->addTab(QString::fromLatin1(caption));
    InfoTab->setCurrentIndex(0);
    layout->addWidget(InfoTab);

    auto* stack = new QWidget(central);
    FPanels = new QStackedLayout(stack);
    FPanels->setContentsMargins(0, 0, 0, 0);
    bigPnl = new TFillPanel(stack);
    bigPnl->setObjectName(QStringLiteral("bigPnl"));
    tiPnl = new QWidget(stack);
    tiPnl->setObjectName(QStringLiteral("tiPnl"));
    auto* tiLayout = new QVBoxLayout(tiPnl);
    tiLayout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Vertical, tiPnl);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    topPnl = new TFillPanel(Splitter1);
    topPnl->setObjectName(QStringLiteral("topPnl"));
    btmPnl = new TFillPanel(Splitter1);
    btmPnl->setObjectName(QStringLiteral("btmPnl"));
    Splitter1->addWidget(topPnl);
    Splitter1->addWidget(btmPnl);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({193, 400});
    tiLayout->addWidget(Splitter1);
    FPanels->addWidget(tiPnl);
    FPanels->addWidget(bigPnl);
    FPanels->setCurrentWidget(bigPnl);
    layout->addWidget(stack, 1);
    setCentralWidget(central);

    connect(InfoTab, &QTabBar::currentChanged, this, [this](int index) {
        RunGuarded([this, index] { InfoTabChange(index); });
    });
}

// ---------------------------------------------------------------------------
// Creation sequence

void TMainForm::CreateDataModule() {
    FreeDataModule();
    try {
        DM = new TDM(nullptr);
    } catch (const std::exception& e) {
        DM = nullptr;
        SetServerCommandsEnabled(false);
        // The client layer's own words say which files were tried and why
        // each failed (not found, not loadable, missing entry points).
        MessageDlg(std::string("Client library libfbclient.so.2 is missing. Dravolt will not allow to take "
                               "statistics from server\r\n"
                               "You need to install the Firebird client (Debian package libfbclient2), or place "
                               "libfbclient.so.2 into a folder of LD_LIBRARY_PATH manually.\r\n\r\n") +
                       e.what(),
                   mtError, mbOK);
    }
}

void FreeDataModule() {
    delete DM;
    DM = nullptr;
}

void TMainForm::SetServerCommandsEnabled(bool enabled) {
    Database1->setEnabled(enabled);
    tbLoadStatAPI->setEnabled(enabled);
}

void TMainForm::CreateFrames() {
    new TFrDBList(bigPnl);
    new TFrTableStat(topPnl);
    new TFrIndexStat(btmPnl);
    if (FrDBList) FrDBList->LoadList();
    new TFrDbInfo(bigPnl);
    new TFrMonitor(bigPnl);
    for (QWidget* f : std::initializer_list<QWidget*>{FrDBList, FrTableStat, FrIndexStat, FrDbInfo, FrMonitor})
        if (f) f->setAutoFillBackground(true);
}

void TMainForm::FormCreate(const std::vector<std::string>& params) {
    CreateDataModule();
    // Anything raised from here on is reported and ends the sequence; the
    // window still opens.
    RunGuarded([&] {
        delete UnsavedStatLines;
        UnsavedStatLines = new TStringList;
        CreateFrames();
        PlaceOn(FrDBList, bigPnl);
        PlaceOn(FrDbInfo, bigPnl);
        PlaceOn(FrMonitor, bigPnl);
        PlaceOn(FrTableStat, topPnl);
        PlaceOn(FrIndexStat, btmPnl);
        if (FrDbInfo) FrDbInfo->hide();
        if (FrMonitor) FrMonitor->hide();
        if (FrDBList) FrDBList->show();
        if (FrTableStat) FrTableStat->show();
        if (FrIndexStat) FrIndexStat->show();
        if (FrDBList) FrDBList->raise();
        BringToFront(bigPnl);
        MetadataLoaded = false;
        qApp->installEventFilter(new THintFilter(this));
        qApp->installEventFilter(new TKeyboardRoads(this));
        mServices->menuAction()->setVisible(false);
        ReadGeometry();
        if (!DM) SelectTab(1);

        if (params.size() == 1) {
            OpenStatFile(params[0]);
            return;
        }
        if (DM) {
            SelectTab(0);
        } else {
            if (FrDBList) FrDBList->hide();
            SelectTab(1);
        }
    });
}

bool TMainForm::ProblemFilterOn() const { return tbFilter && tbFilter->isChecked(); }

std::string TMainForm::SettingsFileName() {
    const char* dir = std::getenv("DRAVOLT_CONFIG_DIR");
    std::string folder = (dir && *dir) ? std::string(dir) : ExeDir();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + "dravolt.ini";
}

void TMainForm::ReadGeometry() {
    TIniFile ini(SettingsFileName());
    resize(ini.ReadInteger(kSection, "MainWidth", width()), height());
    resize(width(), ini.ReadInteger(kSection, "MainHeight", height()));
    move(x(), ini.ReadInteger(kSection, "MainTop", y()));
    move(ini.ReadInteger(kSection, "MainLeft", x()), y());
    if (x() < 0) move(0, y());
    if (y() < 0) move(x(), 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    QSize s = screen->geometry().size();
    if (height() > s.height()) resize(width(), s.height());
    if (width() > s.width()) resize(s.width(), height());
}

void TMainForm::showEvent(QShowEvent* event) {
    if (!FCentred) {
        FCentred = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect r = screen->availableGeometry();
            move(r.x() + (r.width() - width()) / 2, r.y() + (r.height() - height()) / 2);
        }
    }
    QMainWindow::showEvent(event);
}

// ---------------------------------------------------------------------------
// Views

QWidget* TMainForm::FrontPanel() const { return FPanels->currentWidget(); }

void TMainForm::BringToFront(QWidget* panel) { FPanels->setCurrentWidget(panel); }

void TMainForm::SelectTab(int tab) { InfoTab->setCurrentIndex(tab); }

void TMainForm::InfoTabChange(int newTab) {
    static constexpr int kViews[] = {4, 3, 0, 1, 2, 5};
    if (newTab < 0 || newTab > 5) return;
    ShowView(kViews[newTab]);
}

void TMainForm::MarkShownView() {
    for (QAction* a : {Tables1, Indices1, TableIndices1, Database2}) a->setChecked(a == FViewItem);
}

void TMainForm::ShowView(int view) {
    FViewItem = nullptr;
    MarkShownView();
    const auto mark = [this](QAction* item) {
        FViewItem = item;
        MarkShownView();
    };
    PlaceOn(FrDBList, bigPnl);
    PlaceOn(FrDbInfo, bigPnl);
    PlaceOn(FrMonitor, bigPnl);
    PlaceOn(FrTableStat, topPnl);
    PlaceOn(FrIndexStat, btmPnl);
    if (FrTableStat) FrTableStat->LinkIndexView(false);

    auto setShown = [](QWidget* w, bool shown) {
        if (w) w->setVisible(shown);
    };
    switch (view) {
        case 0:
            if (FrTableStat) {
                PlaceOn(FrTableStat, bigPnl);
                FrTableStat->raise();
            }
            BringToFront(bigPnl);
            mark(Tables1);
            if (FrTableStat) FrTableStat->vstTblStat->setFocus();
            break;
        case 1:
            if (FrIndexStat) {
                FrIndexStat->FilterByRelation(nullptr);
                PlaceOn(FrIndexStat, bigPnl);
                FrIndexStat->raise();
            }
            BringToFront(bigPnl);
            mark(Indices1);
            if (FrIndexStat) FrIndexStat->vstIdxStat->setFocus();
            break;
        case 2:
            BringToFront(tiPnl);
            mark(TableIndices1);
            if (FrTableStat) {
                FrTableStat->LinkIndexView(true);
                FrTableStat->vstTblStat->setFocus();
            }
            break;
        case 3:
            setShown(FrDBList, false);
            setShown(FrMonitor, false);
            setShown(FrDbInfo, true);
            if (FrDbInfo) FrDbInfo->raise();
            BringToFront(bigPnl);
            mark(Database2);
            break;
        case 4:
            setShown(FrDbInfo, false);
            setShown(FrDBList, true);
            setShown(FrMonitor, false);
            if (FrDBList) FrDBList->raise();
            BringToFront(bigPnl);
            break;
        case 5:
            setShown(FrDBList, false);
            setShown(FrDbInfo, false);
            setShown(FrMonitor, true);
            if (FrMonitor) FrMonitor->raise();
            BringToFront(bigPnl);
            mark(Database2);
            if (FrMonitor) FrMonitor->vstMonitor->setFocus();
            break;
        default:
            break;
    }
    // The tab set names the view shown, also when a jump showed it, so that
    // choosing a tab always shows that tab's view. The monitor has no tab.
    static constexpr int kTabs[] = {2, 3, 4, 1, 0};
    if (view >= 0 && view < 5 && InfoTab->currentIndex() != kTabs[view]) {
        const QSignalBlocker quiet(InfoTab);
        InfoTab->setCurrentIndex(kTabs[view]);
    }
}

void TMainForm::ViewSummaryClick() { SelectTab(1); }
void TMainForm::ViewTablesClick() { SelectTab(2); }
void TMainForm::ViewIndicesClick() { SelectTab(3); }
void TMainForm::ViewTableIndicesClick() { SelectTab(4); }
void TMainForm::ViewDBListExecute() { SelectTab(0); }

// ---------------------------------------------------------------------------
// Problem filter

void TMainForm::FilterNode(TVirtualStringTree* tree, PVirtualNode node) {
    intptr_t data = TVirtualStringTree::GetNodeData(node);
    if (!data) return;
    // Only the tables grid's rows are tables; the indices grid filters its
    // rows itself (FilterByRelation), keeping the table they are restricted to.
    const bool problemsOnly = tbFilter->isChecked();
    if (FrTableStat && tree == FrTableStat->vstTblStat)
        tree->SetVisible(node, !problemsOnly || reinterpret_cast<TRelation*>(data)->Problem);
}

void TMainForm::tbFilterClick() {
    if (FrTableStat) {
        TVirtualStringTree* tree = FrTableStat->vstTblStat;
        tree->BeginUpdate();
        tree->IterateSubtree(nullptr, [this](TVirtualStringTree* t, PVirtualNode n, bool&) { FilterNode(t, n); });
        tree->EndUpdate();
    }
    // The indices grid keeps the table the tables grid restricts it to.
    if (FrIndexStat) FrIndexStat->FilterByRelation(FrIndexStat->FilteredRelation());
}

void TMainForm::MarkProblemRows() {
    if (!DBInfo) return;
    const bool statsShown = FrIndexStat && FrIndexStat->vstIdxStat->Header().Columns[icSelectivity].Visible();
    MarkProblems(*DBInfo, statsShown);
}

void TMainForm::RaiseFilter() {
    // A raised button means every row shows: grids filtered while it was
    // down show their rows again.
    const bool wasDown = tbFilter->isChecked();
    tbFilter->setChecked(false);
    if (wasDown) tbFilterClick();
}

// ---------------------------------------------------------------------------
// Commands

void TMainForm::OptionsClick() {
    if (!RunOptionsDialog()) return;
    if (!DBInfo || DBInfo->PageSize == 0) return;
    ApplyOptionsChange();
}

void TMainForm::ApplyOptionsChange() {
    if (FrDbInfo) FrDbInfo->FillDbInfo();
    MarkProblemRows();
    RaiseFilter();
    tbFilterClick();
    if (FrTableStat) FrTableStat->FillTables();
    if (FrIndexStat) FrIndexStat->FillIndices();
}

void TMainForm::ApplyHintOptions() {
    QPalette p = QToolTip::palette();
    p.setColor(QPalette::ToolTipBase, ColorFromWin(OptionSettings.HintColor));
    p.setColor(QPalette::Window, ColorFromWin(OptionSettings.HintColor));
    QToolTip::setPalette(p);
}

void TMainForm::AboutClick() { RunAboutBox(); }

void TMainForm::TranCalcClick() { RunTransactionCalculator(); }

void TMainForm::ContentsClick() { OpenAddress(std::string(kMakerSite) + "/dravolt/help/Summary"); }

void TMainForm::tbCorvexClick() {
    std::string root;
    TRegistry reg;
    reg.RootKey = HKEY_CURRENT_USER;
    if (reg.OpenKey("\\SOFTWARE\\Kelmaris\\Corvex\\", false)) {
        root = reg.ReadString("RootDir");
        reg.CloseKey();
    }
    if (root.empty()) {
        ShowMessage(std::string("Corvex not installed. If you want to use this tool, download it from ") +
                    kCorvexPage);
        return;
    }
    if (root.back() != '/') root += '/';
    StartDetachedProcess(root + "corvexview");
}

void TMainForm::ContactUsClick() { OpenAddress(std::string("mailto:") + kContactMail); }
void TMainForm::DatabaseRepairServices1Click() { OpenAddress(std::string(kMakerSite) + "/services/recovery"); }
void TMainForm::Superchargeyourdatabase1Click() { OpenAddress(std::string(kMakerSite) + "/services/optimization"); }
void TMainForm::Databasemonitoringservices1Click() {
    OpenAddress(std::string(kMakerSite) + "/services/KelmarisSupport");
}

void OpenAddress(const std::string& url) {
    // Without a browser or mail program the user still gets the address.
    if (!ShellOpen(url)) ReportUnopenedAddress(url);
}

void TMainForm::Exit1Click() { close(); }

// ---------------------------------------------------------------------------
// Closing

bool TMainForm::FormCloseQuery() { return AskSaveStatistics() != mrCancel; }

void TMainForm::FormClose() {
    WriteSettings();
    ClearGrids();
    if (DBInfo) {
        FreeIndices(*DBInfo);
        FreeRelations(*DBInfo);
        delete DBInfo;
        DBInfo = nullptr;
    }
    delete UnsavedStatLines;
    UnsavedStatLines = nullptr;
    FreeDatabaseLists();
}

void TMainForm::WriteSettings() {
    // Where the settings folder is not writable the settings are simply not
    // kept: closing must not stop at a question about the window geometry,
    // so the reason goes to standard error only.
    TIniFile ini(SettingsFileName());
    bool ok = ini.WriteInteger(kSection, "MainWidth", width());
    ok = ini.WriteInteger(kSection, "MainHeight", height()) && ok;
    ok = ini.WriteInteger(kSection, "MainTop", y()) && ok;
    ok = ini.WriteInteger(kSection, "MainLeft", x()) && ok;
    ok = ini.WriteBool(kSection, "HeaderPage", OptionSettings.HeaderPage) && ok;
    ok = ini.WriteBool(kSection, "LoadMetadata", OptionSettings.LoadMetadata) && ok;
    FSettingsWriteError = ok ? std::string() : ini.LastWriteError();
    if (!ok) std::fprintf(stderr, "dravolt: the settings were not kept: %s\n", FSettingsWriteError.c_str());
}

void TMainForm::CloseOnSignal() {
    if (UnsavedStatLines && !UnsavedStatLines->empty())
        std::fprintf(stderr, "dravolt: ended by a signal; the statistics taken from the server were not saved.\n");
    if (DM) {
        // The client library's own signal handlers are kept out (see
        // ReclaimTerminationSignals), so the attachments are still there and
        // go now; a server that dropped them meanwhile is not an error here,
        // and one that does not answer is not waited for.
        DM->CloseConnections(TDM::kCloseWait);
    }
    if (FClosed) return;
    FClosed = true;
    RunGuarded([this] { FormClose(); });
    hide();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (FClosed) {
        event->accept();
        return;
    }
    bool mayClose = false;
    RunGuarded([&] { mayClose = FormCloseQuery(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    FClosed = true;
    RunGuarded([this] { FormClose(); });
    event->accept();
}

}  // namespace dv
