// The monitor view without a server: rows and their order, the counter
// values and their edge cases, hints, fonts, the refresh interval edit and
// its up-down, the commands that must not reach a server, and the chart.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <memory>
#include <limits>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "model/moninfo.h"
#include "model/options.h"
#include "model/utils.h"
#include "platform/text/DateUtils.h"
#include "platform/text/SysUtils.h"
#include "server/DMData.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/monitor.h"
#include "tests/support/TestModel.h"
#include "tests/support/TestSupport.h"

namespace dv::test {
namespace {

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitStatisticsModel();
        InitMonitorInfo();
        DBInfo->Reset(true);
        ZeroCounters();
        OptionSettings = TOptionSettings();
        Formats = std::make_unique<FixedFormats>();
        SavedDM = DM;
        DM = nullptr;

        TDatabaseInfo& db = *DBInfo;
        FillTestHeader(db, 4096);
        db.NxT = 5000;
        db.OAT = 4990;
        db.Age = EncodeDate(2024, 3, 10) + 0.5;
        Frame = std::make_unique<TFrMonitor>(nullptr);
    }
    void TearDown() override {
        Frame.reset();
        DM = SavedDM;
        DBInfo->Reset(true);
        ZeroCounters();
        OptionSettings = TOptionSettings();
        Formats.reset();
    }
    static void ZeroCounters() {
        ResetMonitorInfo(*DBMonInfo);
        DBMonInfo->AllocatedPages = 0;
        DBMonInfo->CacheBuffers = 0;
    }

    std::vector<intptr_t> Codes() const {
        std::vector<intptr_t> codes;
        TVirtualStringTree* t = Frame->vstMonitor;
        for (PVirtualNode n = t->GetFirst(); n; n = t->GetNext(n)) codes.push_back(TVirtualStringTree::GetNodeData(n));
        return codes;
    }
    PVirtualNode Node(intptr_t code) const {
        TVirtualStringTree* t = Frame->vstMonitor;
        for (PVirtualNode n = t->GetFirst(); n; n = t->GetNext(n))
            if (TVirtualStringTree::GetNodeData(n) == code) return n;
        return nullptr;
    }
    // What the grid shows in a cell of the row with this code.
    std::string Cell(intptr_t code, int column) const {
        PVirtualNode n = Node(code);
        if (!n) return "<no row " + std::to_string(code) + ">";
        std::string text;
        Frame->vstMonitorGetText(Frame->vstMonitor, n, column, text);
        return text;
    }
    std::string Hint(intptr_t code) const {
        PVirtualNode n = Node(code);
        if (!n) return "<no row " + std::to_string(code) + ">";
        std::string hint;
        Frame->vstMonitor->OnGetHint(Frame->vstMonitor, n, 1, hint);   // as the grid asks
        return hint;
    }

    std::unique_ptr<FixedFormats> Formats;
    TDM* SavedDM = nullptr;
    std::unique_ptr<TFrMonitor> Frame;
};

TEST_F(MonitorTest, EmptyUntilTheFirstFill) {
    EXPECT_EQ(Frame->vstMonitor->TotalCount(), 0);
    EXPECT_EQ(Frame->Series1->Count(), 0);
    EXPECT_TRUE(Frame->isHidden());   // the main window shows it
}

TEST_F(MonitorTest, RowsInOrderWithTheOptionalDates) {
    struct Case {
        const char* name;
        double wdate, ddate;
        std::vector<intptr_t> rows;
    } cases[] = {
        {"no dates", 0, 0, {1, 100, 250, 270, 110, 180, 190, 200, 260, 310, 370, 300, 320, 330, 340, 360}},
        {"write date", 45000, 0, {1, 100, 250, 255, 270, 110, 180, 190, 200, 260, 310, 370, 300, 320, 330, 340, 360}},
        {"dump date", 0, 45000, {1, 100, 250, 256, 270, 110, 180, 190, 200, 260, 310, 370, 300, 320, 330, 340, 360}},
        {"both", 45000, 45001,
         {1, 100, 250, 255, 256, 270, 110, 180, 190, 200, 260, 310, 370, 300, 320, 330, 340, 360}},
        {"negative dates", -1, -2, {1, 100, 250, 270, 110, 180, 190, 200, 260, 310, 370, 300, 320, 330, 340, 360}},
    };
    for (const Case& c : cases) {
        DBInfo->WDate = c.wdate;
        DBInfo->DDate = c.ddate;
        // Options that add summary rows add none here.
        DBInfo->Attrib = "force write";
        DBInfo->DBSize = 1000;
        DBInfo->RecordSize = 1000;
        Frame->FillMonitor();
        EXPECT_EQ(Codes(), c.rows) << c.name;
        PVirtualNode root = Frame->vstMonitor->GetFirst();
        EXPECT_EQ(Frame->vstMonitor->RootNodeCount(), 1) << c.name;
        EXPECT_TRUE(Frame->vstMonitor->Expanded(root)) << c.name;
    }
}

TEST_F(MonitorTest, CaptionsAndTheSummarysValuesForSharedRows) {
    DBInfo->WDate = EncodeDate(2024, 3, 9) + 0.25;
    DBInfo->DDate = EncodeDate(2024, 3, 8);
    Frame->FillMonitor();
    const std::vector<std::pair<intptr_t, std::string>> captions = {
        {1, "Database info"},          {100, "Database name"},   {250, "Creation date"},
        {255, "Write timestamp"},      {256, "Dump timestamp"},  {270, "Statistics date"},
        {110, "Page size"},            {180, "Forced Write"},    {190, "Dialect"},
        {200, "OnDiskStructure"},      {260, "Transactions per day"}, {310, "Cache size"},
        {370, "Allocated size"},       {300, "Cache window"},    {320, "Page reads"},
        {330, "Page writes"},          {340, "Cache access"},    {360, "Cache hit ratio"},
    };
    for (const auto& [code, caption] : captions) EXPECT_EQ(Cell(code, 0), caption) << code;
    EXPECT_EQ(Cell(1, 1), "");
    for (intptr_t code : {100, 250, 255, 256, 270, 110, 180, 190, 200, 260})
        EXPECT_EQ(Cell(code, 1), TFrDbInfo::DatabaseRowValue(*DBInfo, static_cast<int>(code))) << code;
    // A few spelled out, so that a change in the shared texts shows here too.
    EXPECT_EQ(Cell(100, 1), "/data/shop.fdb");
    EXPECT_EQ(Cell(255, 1), "09/03/2024 06:00:00");
    EXPECT_EQ(Cell(256, 1), "08/03/2024");
    EXPECT_EQ(Cell(110, 1), "4096");
    EXPECT_EQ(Cell(180, 1), "ON");
    EXPECT_EQ(Cell(260, 1), "500, for 10 days");
}

TEST_F(MonitorTest, CountersAfterAFileLoadWithPageSize4096) {
    ResetMonitorInfo(*DBMonInfo);
    Frame->FillMonitor();
    EXPECT_EQ(Cell(310, 1), "2048 pages, 8 megabytes");
    EXPECT_EQ(Cell(370, 1), "1024 pages, 4 megabytes");
    EXPECT_EQ(Cell(300, 1), "200% of database size");
    EXPECT_EQ(Cell(320, 1), "0");
    EXPECT_EQ(Cell(330, 1), "0");
    EXPECT_EQ(Cell(340, 1), "0");
    EXPECT_EQ(Cell(360, 1), " 0%");
}

TEST_F(MonitorTest, CounterValues) {
    struct Case {
        const char* name;
        int32_t pageSize, allocated, buffers, reads, writes, fetches;
        const char *cache, *allocatedSize, *window, *hit;
    } cases[] = {
        {"all zero", 4096, 0, 0, 0, 0, 0, "0 pages, 0 megabytes", "0 pages, 0 megabytes", "0%", " 0%"},
        {"page size 0", 0, 1024, 2048, 0, 0, 0, "2048 pages, 0 megabytes", "1024 pages, 0 megabytes",
         "200% of database size", " 0%"},
        {"5 reads of 100", 8192, 4000, 1000, 5, 3, 100, "1000 pages, 8 megabytes", "4000 pages, 31 megabytes",
         "25% of database size", "95%"},
        {"no reads", 8192, 4000, 1000, 0, 0, 100, "1000 pages, 8 megabytes", "4000 pages, 31 megabytes",
         "25% of database size", "100%"},
        {"more reads than fetches", 8192, 4000, 1000, 150, 0, 100, "1000 pages, 8 megabytes",
         "4000 pages, 31 megabytes", "25% of database size", "-50%"},
        // Halves go to the even neighbour: 1.5 and 3.5 up, 0.5 and 2.5 down, 62.5 % down, 87.5 % up.
        {"halves", 4096, 384, 128, 3, 0, 8, "128 pages, 0 megabytes", "384 pages, 2 megabytes",
         "33% of database size", "62%"},
        {"more halves", 4096, 640, 896, 1, 0, 8, "896 pages, 4 megabytes", "640 pages, 2 megabytes",
         "140% of database size", "88%"},
        // A cache of a million 16 KB pages: the product does not overflow 32 bits.
        {"big cache", 16384, 2000000000, 1000000, 0, 0, 0, "1000000 pages, 15625 megabytes",
         "2000000000 pages, 31250000 megabytes", "0% of database size", " 0%"},
        {"extremes", 32768, -2147483647 - 1, 2147483647, 2147483647, 2147483647, -2147483647 - 1,
         "2147483647 pages, 67108864 megabytes", "-2147483648 pages, -67108864 megabytes",
         "-100% of database size", "200%"},
    };
    for (const Case& c : cases) {
        DBInfo->PageSize = c.pageSize;
        DBMonInfo->AllocatedPages = c.allocated;
        DBMonInfo->CacheBuffers = c.buffers;
        DBMonInfo->PageReads = c.reads;
        DBMonInfo->PageWrites = c.writes;
        DBMonInfo->PageFetches = c.fetches;
        Frame->FillMonitor();
        EXPECT_EQ(Cell(310, 1), c.cache) << c.name;
        EXPECT_EQ(Cell(370, 1), c.allocatedSize) << c.name;
        EXPECT_EQ(Cell(300, 1), c.window) << c.name;
        EXPECT_EQ(Cell(320, 1), IntToStr(c.reads)) << c.name;
        EXPECT_EQ(Cell(330, 1), IntToStr(c.writes)) << c.name;
        EXPECT_EQ(Cell(340, 1), IntToStr(c.fetches)) << c.name;
        EXPECT_EQ(Cell(360, 1), c.hit) << c.name;
    }
}

TEST_F(MonitorTest, NewCountersShowWithoutARebuild) {
    Frame->FillMonitor();
    const int rows = Frame->vstMonitor->TotalCount();
    DBMonInfo->PageFetches = 200;
    DBMonInfo->PageReads = 20;
    EXPECT_EQ(Cell(340, 1), "200");
    EXPECT_EQ(Cell(360, 1), "90%");
    EXPECT_EQ(Frame->vstMonitor->TotalCount(), rows);
}

TEST_F(MonitorTest, Hints) {
    OptionSettings.HintWidth = 40;
    const std::string fwShort =
        "Forced Write = OFF can cause database corruption in case of power failure (without UPS) or operating system "
        "crush.";
    const std::string fwLong = fwShort + "\r\nIf this database have journal on, than Forced Write = OFF is OK.";
    struct Case {
        const char* name;
        int fw, odsMajor;
        std::string hint180;
    } cases[] = {
        {"FW off, ODS 12", 0, 12, fwLong},
        {"FW off, ODS 13 (the summary gives the long text)", 0, 13, fwShort},
        {"FW off, ODS 11", 0, 11, fwShort},
        {"FW on", 1, 12, ""},
        {"FW unknown", 2, 12, ""},
    };
    for (const Case& c : cases) {
        DBInfo->FW = c.fw;
        DBInfo->ODSMajor = c.odsMajor;
        Frame->FillMonitor();
        EXPECT_EQ(Hint(180), WrapAtColumn(c.hint180, 40)) << c.name;
    }
    DBInfo->PageSize = 2048;
    Frame->FillMonitor();
    // The shared rows hint as the summary does, wrapped the same way.
    for (intptr_t code : {1, 100, 250, 270, 110, 190, 200, 260})
        EXPECT_EQ(Hint(code), TFrDbInfo::WrappedHint(static_cast<int>(code))) << code;
    EXPECT_EQ(Hint(1), "Database information items.");
    EXPECT_EQ(Hint(100), "");
    EXPECT_EQ(Hint(190), "");
    EXPECT_NE(Hint(110).find("\r\n"), std::string::npos);   // wrapped at 40
    EXPECT_EQ(Unwrapped(Hint(110)),
              "Page size is too small. Make backup and restore with -page option using 4096 or 8192 page size value.");
    // The ODS list keeps its twelve lines.
    EXPECT_EQ(Hint(200), TFrDbInfo::HintText(200));
    // The counters have none, although code 300 has one in the summary.
    ASSERT_FALSE(TFrDbInfo::HintText(300).empty());
    for (intptr_t code : {310, 370, 300, 320, 330, 340, 360}) EXPECT_EQ(Hint(code), "") << code;
}

TEST_F(MonitorTest, RootBoldNoPicturesAndDoubleClickDoesNothing) {
    Frame->FillMonitor();
    for (intptr_t code : Codes()) {
        TCanvas canvas(nullptr, QFont());
        Frame->vstMonitor->OnPaintText(Frame->vstMonitor, canvas, Node(code), 0);
        EXPECT_EQ(canvas.Font.Style, code == 1 ? TFontStyles(fsBold) : TFontStyles(0)) << code;
        for (TVTImageKind kind : {ikNormal, ikSelected}) {
            int index = -1;
            bool ghosted = false;
            Frame->vstMonitorGetImageIndex(Frame->vstMonitor, Node(code), kind, 0, ghosted, index);
            EXPECT_EQ(index, -1) << code;
        }
    }
    const auto before = Codes();
    Frame->vstMonitor->SetFocusedNode(Node(310));
    Frame->vstMonitorColumnDblClick(Frame->vstMonitor, 0);
    EXPECT_EQ(Codes(), before);
    // Both columns fit their widest cell.
    for (int c = 0; c < 2; ++c)
        EXPECT_EQ(Frame->vstMonitor->Header().Columns[c].Width(), Frame->vstMonitor->GetMaxColumnWidth(c)) << c;
}

TEST_F(MonitorTest, CopyPutsTheSelectedRowsWithTheirLevels) {
    ResetMonitorInfo(*DBMonInfo);
    Frame->FillMonitor();
    Frame->vstMonitor->SetSelected(Node(1), true);
    Frame->vstMonitor->SetSelected(Node(310), true);
    Frame->vstMonitor->SetSelected(Node(360), true);
    const std::string expected =
        "Parameter\t\tValue\r\n"
        "Database info\t\t\r\n"
        "\tCache size\t2048 pages, 8 megabytes\r\n"
        "\tCache hit ratio\t 0%\r\n";
    EXPECT_EQ(Frame->vstMonitor->ContentToText(efPlainText), expected);
    // The grid's right-click menu starts with Copy, which puts the same text
    // on the clipboard.
    QApplication::clipboard()->clear();
    emit Frame->vstMonitor->customContextMenuRequested(QPoint(5, 5));
    ASSERT_TRUE(Frame->PopupMenu1->isVisible());
    EXPECT_EQ(Frame->PopupMenu1->actions().value(0), Frame->Copy1);
    Frame->Copy1->trigger();
    Frame->PopupMenu1->hide();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
}

TEST_F(MonitorTest, PanelAsDesigned) {
    // The panel holds one line of controls; the chart floats below it.
    EXPECT_GE(Frame->Panel1->height(), Frame->Label1->fontMetrics().height());
    EXPECT_EQ(Frame->Label1->text().toStdString(), "Refresh interval");
    EXPECT_EQ(Frame->eRefresh->text().toStdString(), "10");
    EXPECT_EQ(Frame->UpDown1->Position, 10);
    EXPECT_EQ(Frame->cbConnected->text().toStdString(), "Stay connected");
    EXPECT_FALSE(Frame->cbConnected->isChecked());
    EXPECT_EQ(Frame->Button1->text().toStdString(), "Refresh");
    EXPECT_EQ(Frame->vstMonitor->Header().Columns[0].Text(), "Parameter");
    EXPECT_EQ(Frame->vstMonitor->Header().Columns[1].Text(), "Value");
    EXPECT_EQ(Frame->Copy1->text().toStdString(), "Copy");
    EXPECT_EQ(Frame->RChart->size(), QSize(400, 250));
    EXPECT_GE(Frame->RChart->y(), Frame->Panel1->height());
    EXPECT_EQ(Frame->Series1->SeriesColor, 0x00808000u);
    EXPECT_EQ(Frame->RChart->BottomAxisTitle, "Time");
    EXPECT_EQ(Frame->RChart->LeftAxisTitle, "Transaction N");
}

TEST_F(MonitorTest, TheChartNeverCoversTheColumns) {
    // The widest values a server gives: two thousand million pages of 8 KB
    // and a long database path.
    DBInfo->PageSize = 8192;
    DBInfo->DbName = "/var/lib/firebird/3.0/data/warehouse/archive/customers_and_orders_2024.fdb";
    DBMonInfo->AllocatedPages = 2000000000;
    DBMonInfo->CacheBuffers = 2048;
    Frame->show();
    struct Case {
        int width;        // the frame's width; 792 is the main window's at its design size
        int valueColumn;  // 0: as FillMonitor sizes it
        bool scrolls;     // the tree gives way and scrolls its columns
    } cases[] = {
        {1200, 0, false}, {792, 0, true}, {1200, 450, false}, {792, 300, false}, {500, 0, true}, {300, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " / " + std::to_string(c.valueColumn));
        Frame->resize(c.width, 600);
        Frame->FillMonitor();
        if (c.valueColumn) Frame->vstMonitor->Header().Columns[1].SetWidth(c.valueColumn);
        QApplication::processEvents();
        TVirtualStringTree* tree = Frame->vstMonitor;
        QWidget* view = tree->viewport();
        // The columns as shown: as wide as the header, at most the viewport.
        const QRect columns(view->mapTo(Frame.get(), QPoint(0, 0)),
                            QSize(std::min(tree->header()->length(), view->width()), view->height()));
        const QRect chart = Frame->RChart->geometry();
        EXPECT_FALSE(chart.intersects(columns)) << "chart " << chart.x() << ".." << chart.right() << ", columns to "
                                                << columns.right();
        EXPECT_GT(chart.left(), columns.right());
        EXPECT_LT(chart.right(), Frame->width());
        EXPECT_EQ(chart.top(), 76);
        // Where it had to give way, every column can still be reached.
        EXPECT_EQ(tree->header()->length() > view->width(), c.scrolls);
        if (c.scrolls) {
            EXPECT_GT(tree->horizontalScrollBar()->maximum(), 0);
            EXPECT_LT(tree->geometry().right(), chart.left());
        }
    }
}

TEST_F(MonitorTest, UpDownStepsTheEditWithinItsLimits) {
    struct Case {
        const char* text;
        int delta;
        const char* result;
    } cases[] = {
        {"10", 1, "11"}, {"10", -1, "9"}, {"100", 1, "100"}, {"0", -1, "0"},
        {"250", -1, "99"}, {"-5", 1, "1"}, {"abc", 1, "11"},   // from its own position (10)
    };
    for (const Case& c : cases) {
        Frame->UpDown1->Position = 10;
        Frame->eRefresh->setText(c.text);
        Frame->UpDown1->Step(c.delta);
        EXPECT_EQ(Frame->eRefresh->text().toStdString(), c.result) << c.text << " " << c.delta;
    }
    Frame->eRefresh->setText("42");
    Frame->UpDown1->Up->click();
    EXPECT_EQ(Frame->eRefresh->text().toStdString(), "43");
    Frame->UpDown1->Down->click();
    Frame->UpDown1->Down->click();
    EXPECT_EQ(Frame->eRefresh->text().toStdString(), "41");
}

TEST_F(MonitorTest, RefreshIntervalMustBeAWholeNumber) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {{"10", true}, {"0", true}, {"-3", true}, {"abc", false}, {"", false}, {"1.5", false}, {"99999999999", false}};
    for (const Case& c : cases) {
        Frame->eRefresh->setText(c.text);
        if (c.ok) {
            EXPECT_NO_THROW(Frame->eRefreshExit()) << c.text;
            continue;
        }
        try {
            Frame->eRefreshExit();
            ADD_FAILURE() << "no error for '" << c.text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + c.text + "' is not a valid integer value");
        }
    }
}

TEST_F(MonitorTest, LeavingTheEditWithBadTextShowsTheMessageAndComesBack) {
    Frame->resize(800, 500);
    Frame->show();
    QApplication::setActiveWindow(Frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame.get()));
    ScriptedDialogs dialogs;
    Frame->eRefresh->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(Frame->eRefresh->hasFocus());
    Frame->eRefresh->setText("ten");
    Frame->vstMonitor->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, "'ten' is not a valid integer value");
    EXPECT_EQ(dialogs.Messages[0].Type, mtError);
    EXPECT_TRUE(Frame->eRefresh->hasFocus());
    // Corrected, it lets the focus go without a word.
    Frame->eRefresh->setText("15");
    Frame->vstMonitor->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_TRUE(Frame->vstMonitor->hasFocus());
}

TEST_F(MonitorTest, RefreshOfFileStatisticsReadsNothing) {
    ResetMonitorInfo(*DBMonInfo);
    Frame->Series1->AddGanttColor(45000, 45000.01, 7, "", Frame->Series1->SeriesColor);
    Frame->FillMonitor();
    ScriptedDialogs dialogs;
    for (int32_t size : {0, -5}) {
        DBInfo->DBSize = size;
        Frame->Button1->click();
        EXPECT_TRUE(dialogs.Messages.empty()) << size << ": " << dialogs.LastText();
        EXPECT_EQ(Frame->Series1->Count(), 1) << size;
        EXPECT_EQ(DBMonInfo->AllocatedPages, 1024) << size;
        EXPECT_EQ(DBMonInfo->CacheBuffers, 2048) << size;
    }
}

TEST_F(MonitorTest, RefreshWithoutAClientLibrarySaysSoAndChangesNothing) {
    // A saved-statistics file brings a database size; the data module is missing.
    DBInfo->DBSize = 4096;
    ResetMonitorInfo(*DBMonInfo);
    Frame->Series1->AddGanttColor(45000, 45000.01, 7, "", Frame->Series1->SeriesColor);
    ScriptedDialogs dialogs;
    Frame->Button1->click();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Type, mtInformation);
    EXPECT_NE(dialogs.Messages[0].Text.find("client library"), std::string::npos);
    EXPECT_EQ(Frame->Series1->Count(), 1);
    EXPECT_EQ(DBMonInfo->AllocatedPages, 1024);
}

// ---------------------------------------------------------------- chart

TEST(MonitorChartTest, BarsKeepAscendingStartOrder) {
    TGanttSeries s;
    struct Add {
        double start;
        int32_t y;
        int position;
    } adds[] = {{10, 1, 0}, {5, 2, 0}, {10, 3, 2}, {7, 4, 1}, {std::nan(""), 5, 4}, {1, 6, 0}};
    for (const Add& a : adds) EXPECT_EQ(s.AddGanttColor(a.start, a.start + 1, a.y, "", s.SeriesColor), a.position) << a.y;
    std::vector<int32_t> ys;
    for (int i = 0; i < s.Count(); ++i) ys.push_back(s.Bar(i).Y);
    EXPECT_EQ(ys, (std::vector<int32_t>{6, 2, 4, 1, 3, 5}));   // equal starts keep their order
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
}

TEST(MonitorChartTest, LabelSteps) {
    const double sec = 1.0 / 86400;
    struct TimeCase {
        double spanSeconds;
        int maxTicks;
        double stepSeconds;
    } times[] = {
        {0, 5, 1},      {4, 5, 1},        {9, 5, 2},        {600, 4, 300},  {600, 10, 60},
        {3600, 4, 900}, {86400, 4, 21600}, {86400 * 30, 5, 86400 * 10}, {100, 0, 120},
    };
    for (const TimeCase& c : times)
        EXPECT_NEAR(TChart::TimeStep(c.spanSeconds * sec, c.maxTicks) / sec, c.stepSeconds, 1e-6)
            << c.spanSeconds << " s in " << c.maxTicks;
    EXPECT_GT(TChart::TimeStep(std::numeric_limits<double>::infinity(), 5), 0);

    struct ValueCase {
        double span;
        int maxTicks;
        double step;
    } values[] = {{0, 5, 1}, {3, 5, 1}, {12, 5, 5}, {100, 5, 20}, {1e6, 4, 500000}, {7, 0, 10}, {-3, 5, 1}};
    for (const ValueCase& c : values) EXPECT_DOUBLE_EQ(TChart::ValueStep(c.span, c.maxTicks), c.step) << c.span;
    EXPECT_EQ(TChart::ValueStep(std::nan(""), 5), 1);
}

TEST(MonitorChartTest, AxesAndBarPlaces) {
    TChart chart;
    chart.resize(400, 250);
    EXPECT_TRUE(chart.BottomAxis(5).Ticks.empty());   // no bars, no labels
    EXPECT_TRUE(chart.LeftAxis(5).Ticks.empty());
    (void)chart.grab();                                 // paints without bars

    const double t0 = EncodeDate(2024, 3, 1) + EncodeTime(10, 0, 0, 0);
    const double sec = 1.0 / 86400;
    // One bar of no length at one number: axes of non-zero width around it.
    chart.Series1.AddGanttColor(t0, t0, 42, "", chart.Series1.SeriesColor);
    TAxisScale x = chart.BottomAxis(5), y = chart.LeftAxis(5);
    EXPECT_LT(x.Min, t0);
    EXPECT_GT(x.Max, t0);
    EXPECT_LT(y.Min, 42);
    EXPECT_GT(y.Max, 42);
    EXPECT_EQ(FormatDateTime("HH:MM:SS", x.Ticks.at(1)), "10:00:00");
    QRect r = chart.BarRect(chart.Series1.Bar(0));
    EXPECT_FALSE(r.isEmpty());
    EXPECT_EQ(r.height(), 5);   // 2 * VertSize + 1

    chart.Series1.Clear();
    chart.Series1.AddGanttColor(t0, t0 + 600 * sec, 100, "", chart.Series1.SeriesColor);
    chart.Series1.AddGanttColor(t0 + 300 * sec, t0 + 600 * sec, 120, "", chart.Series1.SeriesColor);
    x = chart.BottomAxis(4);
    EXPECT_DOUBLE_EQ(x.Min, t0);
    EXPECT_DOUBLE_EQ(x.Max, t0 + 600 * sec);
    std::vector<std::string> labels;
    for (double t : x.Ticks) labels.push_back(FormatDateTime("HH:MM:SS", t));
    EXPECT_EQ(labels, (std::vector<std::string>{"10:00:00", "10:05:00", "10:10:00"}));
    const QRect plot = chart.PlotRect();
    const QRect older = chart.BarRect(chart.Series1.Bar(0)), newer = chart.BarRect(chart.Series1.Bar(1));
    EXPECT_TRUE(plot.contains(older)) << older.x() << "," << older.y();
    EXPECT_TRUE(plot.contains(newer));
    EXPECT_EQ(older.left(), plot.left());            // from the earliest start
    EXPECT_EQ(older.right(), newer.right());          // both end at the refresh
    EXPECT_NEAR(newer.left(), plot.left() + plot.width() / 2, 2);
    EXPECT_LT(newer.center().y(), older.center().y());   // higher numbers higher up

    // A bar with a date that is no number is not placed, and nothing breaks.
    chart.Series1.AddGanttColor(std::nan(""), t0, 130, "", chart.Series1.SeriesColor);
    chart.Series1.AddGanttColor(t0, std::numeric_limits<double>::infinity(), 140, "", chart.Series1.SeriesColor);
    EXPECT_TRUE(chart.BarRect(chart.Series1.Bar(chart.Series1.Count() - 1)).isNull());
    EXPECT_DOUBLE_EQ(chart.BottomAxis(4).Max, t0 + 600 * sec);
    (void)chart.grab();
    // Too small to hold a plot: still paints.
    chart.resize(20, 10);
    EXPECT_TRUE(chart.BarRect(chart.Series1.Bar(0)).isNull());
    (void)chart.grab();
}

}  // namespace
}  // namespace dv::test
