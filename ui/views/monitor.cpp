#include "ui/views/monitor.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "model/dkmain.h"
#include "platform/system/Dialogs.h"
#include "platform/text/SysUtils.h"
#include "server/DMData.h"
#include "ui/window/Application.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/gridview.h"

namespace dv {

TFrMonitor* FrMonitor = nullptr;

namespace {

// The chart's size and its distance from the frame's top and from the columns.
constexpr int kChartLeft = 24;
constexpr int kChartTop = 76;
constexpr int kChartWidth = 400;
constexpr int kChartHeight = 250;
// Narrower than this the time labels crowd: the tree gives way instead.
constexpr int kChartMinWidth = 240;

// The database rows the monitor shares with the summary, in its own order.
constexpr int kHeaderRows[] = {drDatabaseName, drCreationDate, drWriteTimestamp, drDumpTimestamp,
                               drStatisticsDate, drPageSize, drForcedWrite, drDialect,
                               drOds, drTransactionsPerDay};
constexpr int kCounterRows[] = {miCacheSize, miAllocatedSize, miCacheWindow, miPageReads,
                                miPageWrites, miCacheAccess, miCacheHitRatio};

bool IsHeaderRow(int code) { return std::find(std::begin(kHeaderRows), std::end(kHeaderRows), code) != std::end(kHeaderRows); }

// Zeros stand in while no counters exist (a view built before the unit's
// initialisation, in a test).
const TDBMonInfo& Counters() {
    static const TDBMonInfo zeros(nullptr);
    return DBMonInfo ? *DBMonInfo : zeros;
}

// "<pages> pages, <megabytes> megabytes"; the product is taken in floating
// point, so a large cache of big pages does not overflow 32 bits.
std::string PagesAndMegabytes(int32_t pages, int32_t pageSize) {
    return Format("%d pages, %d megabytes", {int64_t(pages), Round(pages * (pageSize / 1024.0) / 1024)});
}

// Ends what a refresh opened: the transaction, then the attachment. The
// refresh's own error is the one to report, so a failure here is left to
// Disconnect, which rolls back whatever it finds still open.
void CloseConnection(TDM& dm) {
    try {
        if (dm.TR->InTransaction()) dm.TR->Commit();
    } catch (const Exception&) {
        // Disconnect below ends the transaction the commit could not.
    }
    try {
        dm.DB->Disconnect();
    } catch (const Exception&) {
        // The attachment is gone or unusable; the next refresh connects anew.
    }
}

}  // namespace

// ---------------------------------------------------------------- up-down

TUpDown::TUpDown(QWidget* parent, QLineEdit* associate) : QWidget(parent), FAssociate(associate) {
    setObjectName("UpDown1");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto arrow = [this, layout](Qt::ArrowType type, int delta) {
        auto* b = new QToolButton(this);
        b->setArrowType(type);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
        QObject::connect(b, &QToolButton::clicked, this, [this, delta] { Step(delta); });
        layout->addWidget(b);
        return b;
    };
    Up = arrow(Qt::UpArrow, 1);
    Down = arrow(Qt::DownArrow, -1);
}

void TUpDown::Step(int delta) {
    int32_t v = Position;
    if (FAssociate && TryStrToInt(FAssociate->text().toStdString(), v)) Position = std::clamp(v, Min, Max);
    Position = std::clamp(Position + delta, Min, Max);
    if (FAssociate) FAssociate->setText(QString::number(Position));
}

// ---------------------------------------------------------------- frame

TFrMonitor::TFrMonitor(QWidget* owner) : QFrame(owner) {
    setObjectName("FrMonitor");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFixedHeight(29);
    auto* top = new QHBoxLayout(Panel1);
    top->setContentsMargins(8, 2, 8, 2);
    top->setSpacing(4);
    Label1 = new QLabel("Refresh interval", Panel1);
    eRefresh = new QLineEdit("10", Panel1);
    eRefresh->setObjectName("eRefresh");
    eRefresh->setFixedWidth(40);
    eRefresh->installEventFilter(this);
    UpDown1 = new TUpDown(Panel1, eRefresh);
    cbConnected = new QCheckBox("Stay connected", Panel1);
    cbConnected->setObjectName("cbConnected");
    Button1 = new QPushButton("Refresh", Panel1);
    Button1->setObjectName("Button1");
    top->addWidget(Label1);
    top->addWidget(eRefresh);
    top->addWidget(UpDown1);
    top->addSpacing(16);
    top->addWidget(cbConnected);
    top->addSpacing(16);
    top->addWidget(Button1);
    top->addStretch(1);
    layout->addWidget(Panel1);
    connect(Button1, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button1Click(); }); });

    vstMonitor = CreateParameterTree(this, "vstMonitor");
    // The tree's row: its right margin keeps room for the chart when the
    // frame is too narrow for both (PlaceChart).
    FTreeRow = new QHBoxLayout;
    FTreeRow->setContentsMargins(0, 0, 0, 0);
    FTreeRow->addWidget(vstMonitor);
    layout->addLayout(FTreeRow, 1);
    BindGridEvents(vstMonitor, this,
                   {.GetText = &TFrMonitor::vstMonitorGetText,
                    .GetImageIndex = &TFrMonitor::vstMonitorGetImageIndex,
                    .GetHint = &TFrMonitor::vstMonitorGetHint,
                    .ColumnDblClick = &TFrMonitor::vstMonitorColumnDblClick});
    std::tie(PopupMenu1, Copy1) = CreateCopyPopup(vstMonitor, this, [this] { Copy1Click(); });

    // Not part of the layout: a chart floating over the tree's empty
    // right-hand side, beside the columns, so that it hides none of them.
    RChart = new TChart(this);
    RChart->setGeometry(kChartLeft, kChartTop, kChartWidth, kChartHeight);
    RChart->raise();
    Series1 = &RChart->Series1;
    connect(vstMonitor->header(), &QHeaderView::sectionResized, this, [this] { PlaceChart(); });
    connect(vstMonitor->header(), &QHeaderView::sectionMoved, this, [this] { PlaceChart(); });

    hide();   // the main window shows it
    if (!FrMonitor) FrMonitor = this;
}

TFrMonitor::~TFrMonitor() {
    if (FrMonitor == this) FrMonitor = nullptr;
}

void TFrMonitor::PlaceChart() {
    // Right of the columns, as wide as the room there allows. Without room
    // even for its smallest width the chart keeps that width at the right
    // edge, and the tree ends before it and scrolls its columns: the chart
    // never covers a column.
    const int columnsEnd = vstMonitor->x() + vstMonitor->frameWidth() + vstMonitor->header()->length();
    const int room = width() - columnsEnd - 2 * kChartLeft;
    int chartWidth = kChartMinWidth;
    int left = width() - kChartLeft - kChartMinWidth;
    int reserve = kChartMinWidth + 2 * kChartLeft;
    if (room >= kChartMinWidth) {
        chartWidth = std::min(kChartWidth, room);
        left = columnsEnd + kChartLeft;
        reserve = 0;
    }
    RChart->setGeometry(left, kChartTop, chartWidth, kChartHeight);
    if (FTreeRow->contentsMargins().right() != reserve) {
        FTreeRow->setContentsMargins(0, 0, reserve, 0);
        if (QLayout* l = layout()) l->activate();
    }
}

void TFrMonitor::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    PlaceChart();
}

// ---------------------------------------------------------------- rows

std::vector<int> TFrMonitor::MonitorRows(const TDatabaseInfo& db) {
    std::vector<int> rows;
    for (int code : kHeaderRows) {
        if (code == drWriteTimestamp && !(db.WDate > 0)) continue;
        if (code == drDumpTimestamp && !(db.DDate > 0)) continue;
        rows.push_back(code);
    }
    rows.insert(rows.end(), std::begin(kCounterRows), std::end(kCounterRows));
    return rows;
}

void TFrMonitor::FillMonitor() {
    RebuildParameterTree(vstMonitor, [this] {
        PVirtualNode root = vstMonitor->AddChild(nullptr, siDatabaseInfo);
        if (DBInfo)
            for (int code : MonitorRows(*DBInfo)) vstMonitor->AddChild(root, code);
    });
    PlaceChart();
}

std::string TFrMonitor::RowCaption(int code) {
    switch (code) {
        case siDatabaseInfo: return "Database info";
        case miCacheSize: return "Cache size";
        case miAllocatedSize: return "Allocated size";
        case miCacheWindow: return "Cache window";
        case miPageReads: return "Page reads";
        case miPageWrites: return "Page writes";
        case miCacheAccess: return "Cache access";
        case miCacheHitRatio: return "Cache hit ratio";
        default: return IsHeaderRow(code) ? TFrDbInfo::DatabaseRowCaption(code) : std::string();
    }
}

std::string TFrMonitor::RowValue(int code) {
    if (!DBInfo) return std::string();
    const TDBMonInfo& m = Counters();
    const int32_t pageSize = DBInfo->PageSize;
    switch (code) {
        case miCacheSize: return PagesAndMegabytes(m.CacheBuffers, pageSize);
        case miAllocatedSize: return PagesAndMegabytes(m.AllocatedPages, pageSize);
        case miCacheWindow:
            if (m.AllocatedPages == 0) return "0%";
            return Format("%d%% of database size",
                          {Round(static_cast<double>(m.CacheBuffers) / m.AllocatedPages * 100)});
        case miPageReads: return IntToStr(m.PageReads);
        case miPageWrites: return IntToStr(m.PageWrites);
        case miCacheAccess: return IntToStr(m.PageFetches);
        case miCacheHitRatio: {
            const int64_t ratio =
                m.PageFetches == 0 ? 0 : Round((1 - static_cast<double>(m.PageReads) / m.PageFetches) * 100);
            return Format("%2d%%", {ratio});
        }
        default: return IsHeaderRow(code) ? TFrDbInfo::DatabaseRowValue(*DBInfo, code) : std::string();
    }
}

std::string TFrMonitor::RowHint(int code) {
    if (!DBInfo) return std::string();
    if (code == drForcedWrite) {
        // Only this view keeps the journal sentence to ODS 12.
        std::string hint = TFrDbInfo::HintText(drForcedWrite);
        if (DBInfo->ODSMajor != 12) hint = hint.substr(0, hint.find("\r\n"));
        return TFrDbInfo::WrapHint(hint);
    }
    if (code == siDatabaseInfo || IsHeaderRow(code)) return TFrDbInfo::WrappedHint(code);
    return std::string();   // the counters explain themselves
}

// ---------------------------------------------------------------- events

void TFrMonitor::vstMonitorGetText(TVirtualStringTree*, PVirtualNode node, TColumnIndex column, std::string& text) {
    const int code = static_cast<int>(TVirtualStringTree::GetNodeData(node));
    text = column == 0 ? RowCaption(code) : column == 1 ? RowValue(code) : std::string();
}

void TFrMonitor::vstMonitorGetHint(TVirtualStringTree*, PVirtualNode node, TColumnIndex, std::string& hint) {
    hint = RowHint(static_cast<int>(TVirtualStringTree::GetNodeData(node)));
}

void TFrMonitor::vstMonitorGetImageIndex(TVirtualStringTree*, PVirtualNode, TVTImageKind, TColumnIndex, bool&,
                                         int&) {
    // The monitor's rows have no pictures.
}

void TFrMonitor::vstMonitorColumnDblClick(TVirtualStringTree*, TColumnIndex) {
    // Nothing to jump to from a header value or a counter.
}

void TFrMonitor::Copy1Click() { vstMonitor->CopyToClipBoard(); }

// ---------------------------------------------------------------- refresh

void TFrMonitor::Button1Click() {
    // Statistics from a text file carry no server to ask.
    if (!DBInfo || DBInfo->DBSize < 1) return;
    if (!DM) {
        // A saved-statistics file can bring a database size without a
        // client library to reach the server with.
        MessageDlg("Live counters are read from the server through the database client library, which is not "
                   "installed.",
                   mtInformation, mbOK);
        return;
    }
    InitMonitorInfo();
    try {
        DM->ReadMonitorInfo(*DBMonInfo);
        vstMonitor->Repaint();
        // Cleared only now: when the counters cannot be read the chart keeps
        // what it showed.
        Series1->Clear();
        ReadOpenTransactions();
    } catch (...) {
        // Counters and bars read so far stay; the connection does not, so
        // the next refresh starts afresh.
        vstMonitor->Repaint();
        CloseConnection(*DM);
        throw;
    }
}

void TFrMonitor::ReadOpenTransactions() {
    TIBSQL& q = *DM->Q;
    DM->DB->Connect();   // nothing when connected already
    if (!DM->TR->InTransaction()) DM->TR->StartTransaction();
    q.SQL.clear();
    q.SQL.push_back("SELECT * FROM TMP$TRANSACTIONS ORDER BY TMP$TRANSACTION_ID");
    q.ExecQuery();
    while (!q.Eof()) {
        const TDateTime start = q.FieldByName("TMP$TIMESTAMP").AsDateTime();
        const TDateTime end = Now();
        // 64-bit: engines from ODS 13 on number transactions in 48 bits.
        const int64_t id = q.FieldByName("TMP$TRANSACTION_ID").AsInt64();
        Series1->AddGanttColor(start, end, id, std::string(), Series1->SeriesColor);
        q.Next();
    }
    q.Close();
    DM->TR->Commit();
    DM->DB->Disconnect();
}

// ---------------------------------------------------------------- interval

void TFrMonitor::eRefreshExit() {
    try {
        StrToInt(eRefresh->text().toStdString());
    } catch (const EConvertError&) {
        eRefresh->setFocus();
        throw;
    }
}

bool TFrMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eRefresh && event->type() == QEvent::FocusOut && !FInExit) {
        // Leaving the edit for another control, not the window losing focus
        // (to the message box this very check may open).
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            FInExit = true;
            RunGuarded([this] { eRefreshExit(); });
            FInExit = false;
        }
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace dv
