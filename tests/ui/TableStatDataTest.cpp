// The tables and indices views over real statistics text taken with fbstat
// (tests/data, written by scripts/make-testdata.sh), alone and inside the
// real main window: what the user reads in the cells and hints, the link,
// the problem filter and the jump from an index to its table.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QTest>
#include <QToolButton>

#include "tests/ui/MainTestSupport.h"
#include "model/StatParser.h"
#include "model/utils.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/views/dblistfr.h"

namespace dv::test {
namespace {

const std::string kFull = DataPath("fb3_full.txt");

// One line per row: the cell texts of the visible columns, " | " between.
std::string GridText(TVirtualStringTree* tree, bool visibleOnly = true) {
    std::string out;
    const auto columns = tree->Header().Columns.VisibleInDisplayOrder();
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
        if (visibleOnly && !tree->IsVisible(n)) continue;
        std::string line;
        for (int c : columns) {
            std::string cell;
            tree->OnGetText(tree, n, c, cell);
            line += (line.empty() ? "" : " | ") + cell;
        }
        out += line + "\n";
    }
    return out;
}

PVirtualNode FindRow(TVirtualStringTree* tree, const std::string& text) {
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
        std::string cell;
        tree->OnGetText(tree, n, 0, cell);
        if (cell == text) return n;
    }
    return nullptr;
}

std::string HintOf(TVirtualStringTree* tree, PVirtualNode n, int column) {
    std::string h;
    tree->OnGetHint(tree, n, column, h);
    return StringReplaceAll(h, "\r\n", "");
}

class ViewsOverRealStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetModel();
        ScriptedDialogs dialogs;
        ASSERT_TRUE(ParseStatFile(kFull)) << kFull;
        ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
        Tables = std::make_unique<TFrTableStat>(nullptr);
        Indices = std::make_unique<TFrIndexStat>(nullptr);
        Tables->FillTables();
        Indices->FillIndices();
    }
    void TearDown() override {
        Indices.reset();
        Tables.reset();
        DBInfo->Reset(true);
    }
    std::unique_ptr<TFrTableStat> Tables;
    std::unique_ptr<TFrIndexStat> Indices;
};

TEST_F(ViewsOverRealStatisticsTest, TablesGridShowsTheStatisticsAsPrinted) {
    TVirtualStringTree* g = Tables->vstTblStat;
    const std::string text = GridText(g);
    // Table | Records | RecLength | VerLen | Versions | Max Vers | Data Pages | Size | IdxSize | Slots | Avg fill% | RealFill | Total %
    EXPECT_NE(text.find("CUSTOMERS | 1500 | 69.56 | 14.16 | 150 | 1 | 24 | 0.19 | "), std::string::npos) << text;
    EXPECT_NE(text.find("DOCUMENTS | 40 | 30.27 | 34.00 | 4 | 1 | 2 | 0.02 | "), std::string::npos) << text;
    EXPECT_NE(text.find("EMPTY_TABLE | 0 | 0.00 | 0.00 | 0 | 0 | 0 | 0.00 | "), std::string::npos) << text;
    EXPECT_NE(text.find("ORDERS | 4000 | 41.75 | 21.17 | 1400 | 2 | 48 | 0.38 | "), std::string::npos) << text;
    EXPECT_NE(text.find("Odd (name) | 300 | 9.00 | 0.00 | 0 | 0 | 2 | 0.02 | "), std::string::npos) << text;
    // model (text) order
    EXPECT_EQ(text.substr(0, 9), "CUSTOMERS");
    // the shares add up to about the whole database
    int total = 0;
    for (PVirtualNode n = g->GetFirst(); n; n = g->GetNextSibling(n)) {
        std::string s;
        Tables->vstTblStatGetText(g, n, tcTotalPercent, s);
        total += std::stoi(s);
    }
    EXPECT_GE(total, 1);
    EXPECT_LE(total, 100);

    int image = -1;
    bool ghosted = false;
    Tables->vstTblStatGetImageIndex(g, FindRow(g, "EMPTY_TABLE"), ikNormal, tcTable, ghosted, image);
    EXPECT_EQ(image, imgTableEmpty);
    Tables->vstTblStatGetImageIndex(g, FindRow(g, "ORDERS"), ikNormal, tcTable, ghosted, image);
    EXPECT_EQ(image, imgTable);
    // no metadata in a statistics text: no column list
    EXPECT_EQ(HintOf(g, FindRow(g, "ORDERS"), tcTable), "");
}

TEST_F(ViewsOverRealStatisticsTest, TablesSortByRecordsDescendingOnTheFirstClick) {
    TVirtualStringTree* g = Tables->vstTblStat;
    Tables->vstTblStatHeaderClick(g, tcRecords);
    std::string names;
    for (PVirtualNode n = g->GetFirst(); n; n = g->GetNextSibling(n))
        names += TVirtualStringTree::GetNodeObject<TRelation>(n)->TableName + ";";
    EXPECT_EQ(names, "ORDERS;CUSTOMERS;Odd (name);DOCUMENTS;EMPTY_TABLE;");
}

TEST_F(ViewsOverRealStatisticsTest, IndicesGridCellsColoursAndHints) {
    TVirtualStringTree* g = Indices->vstIdxStat;
    const std::string text = GridText(g);
    // Index | Table | Depth | Keys | Key Len | Max Dup | Total Dup | Uniques | Selectivity | Size | AvgFill
    EXPECT_NE(text.find("RDB$FOREIGN3 | ORDERS | 2 | 4000 | 0.38 | 2 | 2500 | 1500 | 0.0000000 | "), std::string::npos)
        << text;
    EXPECT_NE(text.find("Odd idx (1) | Odd (name) | 1 | 300 | 1.00 | 0 | 0 | 300 | "), std::string::npos) << text;

    PVirtualNode fk = FindRow(g, "RDB$FOREIGN3");
    ASSERT_NE(fk, nullptr);
    EXPECT_EQ(HintOf(g, fk, icUniques), "Unique key values = 37.500%");
    EXPECT_EQ(HintOf(g, fk, icKeys), "Difference between keys and records+versions: -1400");
    EXPECT_EQ(HintOf(g, FindRow(g, "RDB$PRIMARY1"), icSelectivity),
              "Index statistics outdated. Real is 0.0006667, 100% difference");

    // 1637 duplicates of 1650 keys, the longest chain 149: many duplicates, no long chain.
    PVirtualNode city = FindRow(g, "CUSTOMERS_CITY");
    ASSERT_NE(city, nullptr);
    TPaintedCell totalDup = PaintCell([&](TCanvas& c, QRect r) { Indices->vstIdxStatBeforeCellPaint(g, c, city, icTotalDup, r); });
    EXPECT_EQ(totalDup.Left(), OptionSettings.YellowColor);
    EXPECT_EQ(HintOf(g, city, icTotalDup),
              "Too many key duplicates. Index search may be ineffective and will use lot of memory.");
    // A text load stores no selectivity: every non-empty index differs by 100 %.
    TPaintedCell sel = PaintCell([&](TCanvas& c, QRect r) { Indices->vstIdxStatBeforeCellPaint(g, c, fk, icSelectivity, r); });
    EXPECT_EQ(sel.Left(), OptionSettings.RedColor);
}

TEST_F(ViewsOverRealStatisticsTest, SelectingATableShowsItsIndices) {
    TVirtualStringTree* t = Tables->vstTblStat;
    t->SetSelected(FindRow(t, "ORDERS"), true);
    EXPECT_EQ(GridText(Indices->vstIdxStat).substr(0, 12), "RDB$FOREIGN3");
    std::string names;
    for (PVirtualNode n = Indices->vstIdxStat->GetFirst(); n; n = Indices->vstIdxStat->GetNextSibling(n))
        if (Indices->vstIdxStat->IsVisible(n)) names += TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName + ";";
    EXPECT_EQ(names, "RDB$FOREIGN3;RDB$PRIMARY2;");
    t->ClearSelection();
    t->SetSelected(FindRow(t, "EMPTY_TABLE"), true);
    EXPECT_EQ(GridText(Indices->vstIdxStat), "");
}

// The same views inside the main window.
class ViewsInMainWindowTest : public MainFormTest {};

TEST_F(ViewsInMainWindowTest, ProblemFilterAndTableRestrictionTogether) {
    TMainForm& f = Make({kFull});
    ASSERT_GT(DBInfo->PageSize, 0);
    ASSERT_NE(FrTableStat, nullptr);
    ASSERT_NE(FrIndexStat, nullptr);
    f.SelectTab(4);   // Tables + Indices
    TRelation* customers = FindRelation("CUSTOMERS");
    ASSERT_NE(customers, nullptr);
    // Marks as the rules left them, made explicit: one marked index of
    // CUSTOMERS, one of ORDERS.
    for (TIndex* i : DBInfo->Indices) i->Problem = false;
    for (TRelation* r : DBInfo->Relations) r->Problem = false;
    FindIndex("CUSTOMERS_CITY")->Problem = true;
    FindIndex("RDB$PRIMARY2")->Problem = true;
    customers->Problem = true;
    FindRelation("ORDERS")->Problem = true;
    f.Widgets().tbFilter->setChecked(true);
    FrIndexStat->FilterByRelation(customers);
    TVirtualStringTree* g = FrIndexStat->vstIdxStat;
    EXPECT_EQ(GridText(g).substr(0, 15), "CUSTOMERS_CITY ");
    EXPECT_EQ(VisibleRows(g), 1);
    // filter up again: all of CUSTOMERS' indices
    f.Widgets().tbFilter->setChecked(false);
    FrIndexStat->FilterByRelation(customers);
    EXPECT_EQ(VisibleRows(g), 5);
}

TEST_F(ViewsInMainWindowTest, DoubleClickOnTheTableJumpsToTheTablesOverIndicesView) {
    TMainForm& f = Make({kFull});
    f.SelectTab(3);   // Indices alone
    TVirtualStringTree* g = FrIndexStat->vstIdxStat;
    PVirtualNode fk = FindRow(g, "RDB$FOREIGN3");
    ASSERT_NE(fk, nullptr);
    g->SetFocusedNode(fk);
    FrIndexStat->vstIdxStatColumnDblClick(g, icTable);
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 4);   // the tab set names the view shown
    EXPECT_EQ(f.FrontPanel(), f.Widgets().tiPnl);
    TVirtualStringTree* t = FrTableStat->vstTblStat;
    ASSERT_NE(t->FocusedNode(), nullptr);
    EXPECT_EQ(TVirtualStringTree::GetNodeObject<TRelation>(t->FocusedNode())->TableName, "ORDERS");
    EXPECT_TRUE(t->Selected(t->FocusedNode()));
    EXPECT_EQ(VisibleRows(g), 2);   // ORDERS' two indices
    // A click on the "Indices" tab goes back to the indices alone: every index again.
    QTest::mouseClick(f.Widgets().InfoTab, Qt::LeftButton, {}, f.Widgets().InfoTab->tabRect(3).center());
    EXPECT_EQ(f.FrontPanel(), f.Widgets().bigPnl);
    EXPECT_EQ(VisibleRows(g), static_cast<int>(DBInfo->Indices.size()));
}

// Every command within keyboard reach, driven by the keys a user presses on
// the focused widget of the real window.
TEST_F(ViewsInMainWindowTest, EveryCommandHasAKeyboardRoad) {
    TMainForm& f = Make({kFull});
    f.show();
    QApplication::setActiveWindow(&f);
    TVirtualStringTree* tables = FrTableStat->vstTblStat;
    TVirtualStringTree* indices = FrIndexStat->vstIdxStat;
    TVirtualStringTree* summary = FrDbInfo->vstDbInfo;
    TVirtualStringTree* list = FrDBList->vstDBList;
    std::vector<std::string> opened;
    FrDBList->OnOpenEntry = [&](TDatabaseItem* e) {
        opened.push_back(e ? e->Database : std::string("<none>"));
        return false;
    };
    auto focusRow = [](TVirtualStringTree* g, PVirtualNode n, TColumnIndex column) {
        g->setFocus();
        g->SetFocusedNode(n);
        g->SetFocusedColumn(column);
    };
    auto firstObjectRow = [](TVirtualStringTree* g) {
        // The first row of a problem group (codes from 300 on): a jump.
        for (PVirtualNode n = g->GetFirst(); n; n = g->GetNext(n))
            if (TVirtualStringTree::GetNodeData(n) >= 300) return n;
        return PVirtualNode(nullptr);
    };
    auto focusedName = [](TVirtualStringTree* g) {
        std::string name;
        if (g->FocusedNode()) g->OnGetText(g, g->FocusedNode(), 0, name);
        return name;
    };
    struct Road {
        const char* what;
        std::function<QWidget*()> setUp;   // the focused widget the key goes to
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        QMenu* popup;                      // the menu the key must open, or none
        std::function<void()> check;
    } roads[] = {
        {"Alt+Down on the reload button opens its menu",
         [&] { f.Widgets().tbRefresh->setEnabled(true); return f.Widgets().tbRefresh; }, Qt::Key_Down, Qt::AltModifier, f.Widgets().ReloadMenu,
         [] {}},
        {"Down on it too", [&] { return f.Widgets().tbRefresh; }, Qt::Key_Down, Qt::NoModifier, f.Widgets().ReloadMenu, [] {}},
        {"F4 sorts by the focused column",
         [&] {
             f.SelectTab(2);
             focusRow(tables, tables->GetFirst(), tcRecords);
             return tables;
         },
         TVirtualStringTree::SortKey, Qt::NoModifier, nullptr,
         [&] {
             EXPECT_EQ(tables->Header().SortColumn(), tcRecords);
             EXPECT_EQ(tables->Header().SortDirection(), sdDescending);
             int64_t before = INT64_MAX;
             for (PVirtualNode n = tables->GetFirst(); n; n = tables->GetNextSibling(n)) {
                 const int64_t r = TVirtualStringTree::GetNodeObject<TRelation>(n)->Records;
                 EXPECT_LE(r, before);
                 before = r;
             }
         }},
        {"F4 again turns the order", [&] { return tables; }, TVirtualStringTree::SortKey, Qt::NoModifier, nullptr,
         [&] { EXPECT_EQ(tables->Header().SortDirection(), sdAscending); }},
        {"Shift+F10 opens the grid's popup",
         [&] { return tables; }, Qt::Key_F10, Qt::ShiftModifier, FrTableStat->PopupMenu1, [] {}},
        {"Enter on a summary problem row jumps to its object",
         [&] {
             f.SelectTab(1);
             focusRow(summary, firstObjectRow(summary), 1);
             return summary;
         },
         Qt::Key_Return, Qt::NoModifier, nullptr,
         [&] {
             TVirtualStringTree* target = f.Widgets().InfoTab->currentIndex() == 2 ? tables : indices;
             ASSERT_TRUE(f.Widgets().InfoTab->currentIndex() == 2 || f.Widgets().InfoTab->currentIndex() == 3);
             EXPECT_EQ(QApplication::focusWidget(), target);
             EXPECT_NE(target->FocusedNode(), nullptr);
         }},
        {"Enter in the indices' Table column jumps to the table, its name in view",
         [&] {
             // The tables grid scrolled sideways to its last column first.
             f.SelectTab(4);
             QApplication::processEvents();
             focusRow(tables, tables->GetFirst(), tables->Header().Columns.VisibleInDisplayOrder().back());
             QScrollBar* sideways = tables->horizontalScrollBar();
             sideways->setValue(sideways->maximum());
             EXPECT_GT(sideways->value(), 0);
             f.SelectTab(3);
             focusRow(indices, FindRow(indices, "RDB$FOREIGN3"), icTable);
             return indices;
         },
         Qt::Key_Enter, Qt::KeypadModifier, nullptr,
         [&] {
             EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 4);
             EXPECT_EQ(f.FrontPanel(), f.Widgets().tiPnl);
             EXPECT_EQ(focusedName(tables), "ORDERS");
             EXPECT_EQ(tables->FocusedColumn(), tcTable);
             EXPECT_EQ(tables->horizontalScrollBar()->value(), 0);
         }},
        {"Enter elsewhere on an index row is no double click on its table",
         [&] {
             f.SelectTab(3);
             focusRow(indices, FindRow(indices, "RDB$FOREIGN3"), icDepth);
             return indices;
         },
         Qt::Key_Return, Qt::NoModifier, nullptr, [&] { EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 3); }},
        {"Enter on a database list entry opens it",
         [&] {
             f.SelectTab(0);
             auto* entry = new TDatabaseItem{"localhost", "/db/one.fdb", "", ""};
             list->AddChild(nullptr, reinterpret_cast<intptr_t>(entry));
             focusRow(list, list->GetFirst(), 0);
             return list;
         },
         Qt::Key_Return, Qt::NoModifier, nullptr,
         [&] { EXPECT_EQ(opened, std::vector<std::string>{"/db/one.fdb"}); }},
    };
    for (const Road& r : roads) {
        SCOPED_TRACE(r.what);
        QApplication::setActiveWindow(&f);   // a closed popup may leave no window active
        QWidget* target = r.setUp();
        ASSERT_NE(target, nullptr);
        QApplication::processEvents();
        // A menu runs its own loop (a drop-down) or just opens: either way
        // it is looked at, then closed.
        QWidget* shown = nullptr;
        QTimer::singleShot(0, [&] {
            shown = QApplication::activePopupWidget();
            if (shown) shown->close();
        });
        QTest::keyClick(target, r.key, r.mods);
        QApplication::processEvents();
        if (QWidget* still = QApplication::activePopupWidget()) {
            if (!shown) shown = still;
            still->close();
        }
        EXPECT_EQ(shown, static_cast<QWidget*>(r.popup));
        r.check();
    }
}

}  // namespace
}  // namespace dv::test
