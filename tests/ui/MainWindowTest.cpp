// The main window as a user meets it: start states, menus, tool bar, view
// switching, the problem filter, the options refresh, the web and help
// commands, the sibling viewer, window geometry and closing.
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QTabWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QTest>
#include <QToolTip>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/ui/MainTestSupport.h"
#include "platform/stores/IniFiles.h"
#include "platform/stores/Registry.h"
#include "model/rules.h"
#include "platform/gui/Graphics.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/dialogs/UTranCalc.h"
#include "ui/dialogs/about.h"
#include "ui/server/browseLAN.h"
#include "ui/views/dbrecom.h"
#include "ui/server/dlgDb.h"
#include "ui/dialogs/options.h"

namespace dv::test {
namespace {

const std::string kFull = DataPath("fb3_full.txt");

// "&Statistics: |, &Load statistics from file, ..." with "-" for hidden.
std::string MenuText(QMenu* menu) {
    std::string s;
    for (QAction* a : menu->actions()) {
        if (!s.empty()) s += ", ";
        s += a->isSeparator() ? std::string("|") : a->text().toStdString();
    }
    return s;
}

TEST_F(MainFormTest, StartWithoutParametersShowsTheDatabaseListWithoutRunningShowView) {
    TMainForm& f = Make();
    ASSERT_NE(DM, nullptr) << "the client library should load on this machine";
    EXPECT_EQ(MainForm, &f);
    EXPECT_EQ(Caption(f), "dRavolt");
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 0);
    EXPECT_EQ(f.FrontPanel(), f.Widgets().bigPnl);
    ASSERT_NE(FrDBList, nullptr);
    EXPECT_FALSE(FrDBList->isHidden());
    EXPECT_TRUE(FrDbInfo->isHidden());
    EXPECT_TRUE(FrMonitor->isHidden());
    EXPECT_EQ(FrDBList->parentWidget(), f.Widgets().bigPnl);
    EXPECT_EQ(FrTableStat->parentWidget(), f.Widgets().topPnl);
    EXPECT_EQ(FrIndexStat->parentWidget(), f.Widgets().btmPnl);
    // ShowView would have cleared the design-time check mark of "Database".
    EXPECT_TRUE(f.Widgets().Database2->isChecked());
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_FALSE(MetadataLoaded);
    ASSERT_NE(UnsavedStatLines, nullptr);
    EXPECT_TRUE(UnsavedStatLines->empty());
    EXPECT_FALSE(f.windowIcon().isNull());
}

TEST_F(MainFormTest, CommandStatesAtStart) {
    TMainForm& f = Make();
    struct Row {
        const char* name;
        bool enabled;
        bool actual;
    } rows[] = {
        {"tbLoadFile", true, f.Widgets().tbLoadFile->isEnabled()},
        {"tbLoadStatAPI", true, f.Widgets().tbLoadStatAPI->isEnabled()},
        {"tbRefresh", false, f.Widgets().tbRefresh->isEnabled()},
        {"tbSaveStat", false, f.Widgets().tbSaveStat->isEnabled()},
        {"tbReport", true, f.Widgets().tbReport->isEnabled()},
        {"tbFilter", true, f.Widgets().tbFilter->isEnabled()},
        {"tbTranCalc", true, f.Widgets().tbTranCalc->isEnabled()},
        {"tbCorvex", true, f.Widgets().tbCorvex->isEnabled()},
        {"tbOptions", true, f.Widgets().tbOptions->isEnabled()},
        {"tbHelp", true, f.Widgets().tbHelp->isEnabled()},
        {"Load1", true, f.Widgets().Load1->isEnabled()},
        {"Database1", true, f.Widgets().Database1->isEnabled()},
        {"SaveStatFile", false, f.Widgets().SaveStatFile->isEnabled()},
        {"Viewrecommendations", true, f.Widgets().Viewrecommendations->isEnabled()},
        {"SaveRecommendations", false, f.Widgets().SaveRecommendations->isEnabled()},
    };
    for (const Row& r : rows) EXPECT_EQ(r.actual, r.enabled) << r.name;
    EXPECT_TRUE(f.Widgets().tbFilter->isCheckable());
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
}

TEST_F(MainFormTest, MissingClientLibraryDisablesServerCommandsAndOpensOnTheSummary) {
    const std::string head =
        "Client library libfbclient.so.2 is missing. Dravolt will not allow to take statistics from server\r\n"
        "You need to install the Firebird client (Debian package libfbclient2), or place libfbclient.so.2 into a "
        "folder of LD_LIBRARY_PATH manually.\r\n\r\n";
    struct Case {
        const char* library;
        std::vector<std::string> reason;   // what the loader said, in the message after the advice
    } cases[] = {
        {"/nonexistent/libfbclient-missing.so",
         {"/nonexistent/libfbclient-missing.so: ", "No such file or directory"}},
        // A library that loads but is no database client.
        {"libm.so.6", {"libm.so.6: missing isc_attach_database, isc_detach_database"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        Form.reset();
        Dialogs.Messages.clear();
        setenv(kClientLibraryVariable, c.library, 1);
        Make();
        unsetenv(kClientLibraryVariable);
        EXPECT_EQ(DM, nullptr);
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        const std::string& text = Dialogs.Messages[0].Text;
        ASSERT_EQ(text.substr(0, head.size()), head) << text;
        for (const std::string& part : c.reason) EXPECT_NE(text.find(part, head.size()), std::string::npos) << text;
        EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
        EXPECT_EQ(Dialogs.Messages[0].Buttons, static_cast<TMsgDlgButtons>(mbOK));
    }
    TMainForm& f = *Form;
    EXPECT_FALSE(f.Widgets().Database1->isEnabled());
    EXPECT_FALSE(f.Widgets().tbLoadStatAPI->isEnabled());
    EXPECT_TRUE(f.Widgets().Load1->isEnabled());
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 1);
    EXPECT_TRUE(FrDBList->isHidden());
    EXPECT_FALSE(FrDbInfo->isHidden());
    EXPECT_TRUE(f.Widgets().Database2->isChecked());
    // Every other command still works: a file loads.
    f.OpenStatFile(kFull);
    EXPECT_GT(DBInfo->PageSize, 0);
    // Saving proposes a name without a server.
    UnsavedStatLines->push_back("x");
    Dialogs.ChooseFile("");
    f.StatSaveClick();
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    EXPECT_EQ(Dialogs.FileDialogs[0].FileName.substr(0, 2), "__");
}

TEST_F(MainFormTest, MenuBarAsDesignedWithTheServiceMenuHidden) {
    TMainForm& f = Make();
    std::vector<std::string> titles;
    for (QAction* a : f.menuBar()->actions()) titles.push_back(a->text().toStdString());
    EXPECT_EQ(titles, (std::vector<std::string>{"&Statistics", "&Reports", "&View", "Сервис", "&Options", "&Help"}));
    EXPECT_EQ(MenuText(f.Widgets().Statistics),
              "|, &Load statistics from file, Retrieve statistics via Services &API, Save statistics to &file, |, &Exit");
    EXPECT_EQ(MenuText(f.Widgets().Reports), "&View recommendations, Save recommendations");
    EXPECT_EQ(MenuText(f.Widgets().View1), "&Database, &Tables, &Indices, Table->Indices");
    EXPECT_EQ(MenuText(f.Widgets().mServices), "Калькулятор транзакций");
    EXPECT_FALSE(f.Widgets().mServices->menuAction()->isVisible());
    EXPECT_EQ(f.Widgets().Options->menu(), nullptr) << "Options is a command on the bar itself";
    EXPECT_EQ(MenuText(f.Widgets().Help),
              "Help Contents, Contact us, |, Database Repair Services, Supercharge your database, "
              "Request Kelmaris support, |, About...");
    EXPECT_EQ(f.Widgets().Contents->shortcut(), QKeySequence(Qt::Key_F1));
    // The action-list entry is bound to nothing visible but selects tab 0.
    f.SelectTab(2);
    f.Widgets().ViewDBList->trigger();
    EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), 0);
}

TEST_F(MainFormTest, ToolBarButtonsInOrderWithHintsAndTheReloadDropDown) {
    TMainForm& f = Make();
    std::vector<std::string> order;
    for (QAction* a : f.Widgets().ToolBar1->actions()) {
        if (a->isSeparator()) {
            order.push_back("|");
        } else if (QWidget* w = f.Widgets().ToolBar1->widgetForAction(a)) {
            auto* b = qobject_cast<QToolButton*>(w);
            ASSERT_NE(b, nullptr);
            order.push_back(b->objectName().toStdString() + "=" + b->toolTip().toStdString());
            EXPECT_FALSE(b->icon().isNull()) << b->objectName().toStdString();
            EXPECT_FALSE(b->icon().pixmap(16, 16).isNull()) << b->objectName().toStdString();
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{
                         "tbLoadFile=Open statistics file", "tbLoadStatAPI=Load statistics from server",
                         "tbRefresh=Reload statistics from server", "|", "tbSaveStat=Save statistics to file", "|",
                         "tbReport=View report", "|", "tbFilter=Show only problematic items",
                         "tbTranCalc=Transaction calculator", "tbCorvex=Run Transaction state Viewer", "|",
                         "tbOptions=Options", "|", "tbHelp=Help"}));
    EXPECT_EQ(f.Widgets().tbRefresh->popupMode(), QToolButton::MenuButtonPopup);
    ASSERT_EQ(f.Widgets().tbRefresh->menu(), f.Widgets().ReloadMenu);
    EXPECT_EQ(MenuText(f.Widgets().ReloadMenu), "Reload only transaction info, Reload all");
    EXPECT_EQ(f.Widgets().tbFilter->text(), "Filter");
}

TEST_F(MainFormTest, TabsPlaceTheFramesAndSetTheViewCheckMarks) {
    TMainForm& f = Make();
    f.OpenStatFile(kFull);
    struct Case {
        int tab;
        QWidget* front;
        QWidget* tablesOn;
        QWidget* indicesOn;
        QAction* checked;
    } cases[] = {
        {2, f.Widgets().bigPnl, f.Widgets().bigPnl, f.Widgets().btmPnl, f.Widgets().Tables1},
        {3, f.Widgets().bigPnl, f.Widgets().topPnl, f.Widgets().bigPnl, f.Widgets().Indices1},
        {4, f.Widgets().tiPnl, f.Widgets().topPnl, f.Widgets().btmPnl, f.Widgets().TableIndices1},
        {1, f.Widgets().bigPnl, f.Widgets().topPnl, f.Widgets().btmPnl, f.Widgets().Database2},
        {0, f.Widgets().bigPnl, f.Widgets().topPnl, f.Widgets().btmPnl, nullptr},
        {3, f.Widgets().bigPnl, f.Widgets().topPnl, f.Widgets().bigPnl, f.Widgets().Indices1},
        {2, f.Widgets().bigPnl, f.Widgets().bigPnl, f.Widgets().btmPnl, f.Widgets().Tables1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tab " + std::to_string(c.tab));
        f.SelectTab(c.tab);
        EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), c.tab);
        EXPECT_EQ(f.FrontPanel(), c.front);
        EXPECT_EQ(FrTableStat->parentWidget(), c.tablesOn);
        EXPECT_EQ(FrIndexStat->parentWidget(), c.indicesOn);
        for (QAction* a : {f.Widgets().Database2, f.Widgets().Tables1, f.Widgets().Indices1, f.Widgets().TableIndices1})
            EXPECT_EQ(a->isChecked(), a == c.checked) << a->objectName().toStdString();
        EXPECT_FALSE(FrTableStat->isHidden());
        EXPECT_FALSE(FrIndexStat->isHidden());
    }
    f.SelectTab(1);
    EXPECT_TRUE(FrDBList->isHidden());
    EXPECT_FALSE(FrDbInfo->isHidden());
    f.SelectTab(0);
    EXPECT_FALSE(FrDBList->isHidden());
    EXPECT_TRUE(FrDbInfo->isHidden());
    EXPECT_TRUE(FrMonitor->isHidden());
    // View 5 has no tab: the monitor shows alone with the "Database" mark.
    f.ShowView(5);
    EXPECT_FALSE(FrMonitor->isHidden());
    EXPECT_TRUE(FrDBList->isHidden());
    EXPECT_TRUE(FrDbInfo->isHidden());
    EXPECT_TRUE(f.Widgets().Database2->isChecked());
}

TEST_F(MainFormTest, ViewMenuSelectsTabsAndTheSelectedTabCallsNothing) {
    TMainForm& f = Make();
    struct Case {
        QAction* item;
        int tab;
    } cases[] = {{f.Widgets().Tables1, 2}, {f.Widgets().Indices1, 3}, {f.Widgets().TableIndices1, 4}, {f.Widgets().Database2, 1}};
    for (const Case& c : cases) {
        c.item->trigger();
        EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), c.tab) << c.item->objectName().toStdString();
        EXPECT_TRUE(c.item->isChecked());
    }
    // Selecting tab 1 again runs no ShowView: a mark cleared by hand stays so.
    f.Widgets().Database2->setChecked(false);
    f.SelectTab(1);
    EXPECT_FALSE(f.Widgets().Database2->isChecked());
    f.Widgets().Tables1->trigger();
    EXPECT_TRUE(f.Widgets().Tables1->isChecked());

    // Whatever is clicked, exactly the item of the view shown is checked and
    // the tab set names that view: also after the item of the tab already
    // selected, and after a jump showed another view (the indices view's
    // jump to the tables over indices), whose tab the jump selects, so that
    // the item of the tab left behind shows its view again.
    struct Click {
        const char* how;
        std::function<void()> before;
        QAction* item;
        QAction* checked;
        int tab;
        QWidget* front;
    } clicks[] = {
        {"the shown tab's item", [] {}, f.Widgets().Tables1, f.Widgets().Tables1, 2, f.Widgets().bigPnl},
        {"another item", [] {}, f.Widgets().Indices1, f.Widgets().Indices1, 3, f.Widgets().bigPnl},
        {"the shown tab's item again", [] {}, f.Widgets().Indices1, f.Widgets().Indices1, 3, f.Widgets().bigPnl},
        {"a jump's view", [&] { f.ShowView(2); }, nullptr, f.Widgets().TableIndices1, 4, f.Widgets().tiPnl},
        {"the item of the tab the jump left", [&] { f.ShowView(2); }, f.Widgets().Indices1, f.Widgets().Indices1, 3, f.Widgets().bigPnl},
        {"the database list's tab, then an item", [&] { f.SelectTab(0); }, f.Widgets().Database2, f.Widgets().Database2, 1, f.Widgets().bigPnl},
    };
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.how);
        c.before();
        if (c.item) c.item->trigger();
        for (QAction* a : {f.Widgets().Database2, f.Widgets().Tables1, f.Widgets().Indices1, f.Widgets().TableIndices1})
            EXPECT_EQ(a->isChecked(), a == c.checked) << a->objectName().toStdString();
        EXPECT_EQ(f.Widgets().InfoTab->currentIndex(), c.tab);
        EXPECT_EQ(f.FrontPanel(), c.front);
    }
}

TEST_F(MainFormTest, LeavingTablesOverIndicesShowsEveryIndexAgain) {
    TMainForm& f = Make();
    f.OpenStatFile(kFull);
    const int all = FrIndexStat->vstIdxStat->RootNodeCount();
    ASSERT_EQ(all, static_cast<int>(DBInfo->Indices.size()));
    f.SelectTab(4);
    TVirtualStringTree* tables = FrTableStat->vstTblStat;
    // The table with fewest indices, so that the link visibly narrows the list.
    PVirtualNode pick = nullptr;
    for (PVirtualNode n = tables->GetFirst(); n; n = tables->GetNextSibling(n)) {
        auto* r = TVirtualStringTree::GetNodeObject<TRelation>(n);
        if (r->TableName == "DOCUMENTS") pick = n;
    }
    ASSERT_NE(pick, nullptr);
    tables->SetSelected(pick, true);
    tables->SetFocusedNode(pick);
    TVirtualStringTree* indices = FrIndexStat->vstIdxStat;
    EXPECT_EQ(VisibleRows(indices), 1);
    // The problem filter, pressed and raised, keeps the indices grid on the
    // focused table: its marked indices, then all of them.
    const auto* documents = TVirtualStringTree::GetNodeObject<TRelation>(pick);
    int marked = 0, markedElsewhere = 0;
    for (TIndex* i : DBInfo->Indices) (i->Relation == documents ? marked : markedElsewhere) += i->Problem;
    ASSERT_GT(markedElsewhere, 0) << "marked indices of other tables must stay hidden";
    f.Widgets().tbFilter->click();
    ASSERT_TRUE(f.Widgets().tbFilter->isChecked());
    EXPECT_EQ(VisibleRows(indices), marked);
    for (PVirtualNode n = indices->GetFirst(); n; n = indices->GetNextSibling(n)) {
        if (indices->IsVisible(n)) {
            EXPECT_EQ(TVirtualStringTree::GetNodeObject<TIndex>(n)->Relation, documents);
        }
    }
    f.Widgets().tbFilter->click();
    EXPECT_EQ(VisibleRows(indices), 1);
    EXPECT_EQ(tables->FocusedNode(), pick);
    f.SelectTab(3);
    EXPECT_EQ(VisibleRows(indices), all);
}

TEST_F(MainFormTest, FilterShowsOnlyMarkedRowsAndAllAgainOnTheSecondClick) {
    TMainForm& f = Make();
    // Nothing loaded: a click changes nothing.
    f.Widgets().tbFilter->click();
    EXPECT_TRUE(f.Widgets().tbFilter->isChecked());
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), 0);
    f.Widgets().tbFilter->click();
    EXPECT_TRUE(Dialogs.Messages.empty());

    f.OpenStatFile(kFull);
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
    int problemTables = 0, problemIndices = 0;
    for (TRelation* r : DBInfo->Relations) problemTables += r->Problem;
    for (TIndex* i : DBInfo->Indices) problemIndices += i->Problem;
    const int tables = static_cast<int>(DBInfo->Relations.size());
    const int indices = static_cast<int>(DBInfo->Indices.size());
    ASSERT_GT(problemIndices, 0) << "the sample has marked indices after the summary fill";
    ASSERT_LT(problemIndices, indices);

    f.Widgets().tbFilter->click();
    EXPECT_TRUE(f.Widgets().tbFilter->isChecked());
    EXPECT_EQ(VisibleRows(FrTableStat->vstTblStat), problemTables);
    EXPECT_EQ(VisibleRows(FrIndexStat->vstIdxStat), problemIndices);
    for (PVirtualNode n = FrIndexStat->vstIdxStat->GetFirst(); n; n = FrIndexStat->vstIdxStat->GetNextSibling(n))
        EXPECT_EQ(FrIndexStat->vstIdxStat->IsVisible(n), TVirtualStringTree::GetNodeObject<TIndex>(n)->Problem);

    f.Widgets().tbFilter->click();
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
    EXPECT_EQ(VisibleRows(FrTableStat->vstTblStat), tables);
    EXPECT_EQ(VisibleRows(FrIndexStat->vstIdxStat), indices);
}

// The real text's tables and indices copied `copies` times under new names
// and ids, every third copy with longer versions, so that the rows outnumber
// what one screen paints and long versions are some tables' only problem.
std::string ManyTablesText(int copies) {
    const std::string text = ReadFile(kFull);
    const size_t blocks = text.find("Analyzing database pages ...\n") + 29;
    const size_t end = text.find("Gstat completion time");
    const std::vector<std::string> lines = SplitLines(text.substr(blocks, end - blocks));
    const std::regex table(R"(^(\S.*) \((\d+)\)$)"), index(R"(^    Index (.+) \((\d+)\)$)"),
        version(R"(^(    Average version length: )([0-9.]+)(.*)$)");
    std::string out = text.substr(0, blocks);
    std::smatch m;
    for (int k = 0; k < copies; ++k)
        for (const std::string& line : lines) {
            const std::string suffix = "_" + std::to_string(k);
            if (std::regex_match(line, m, table))
                out += m[1].str() + suffix + " (" + std::to_string(std::stoi(m[2]) + 1000 * k) + ")\n";
            else if (std::regex_match(line, m, index))
                out += "    Index " + m[1].str() + suffix + " (" + m[2].str() + ")\n";
            else if (k % 3 == 2 && std::regex_match(line, m, version))
                out += m[1].str() + FormatFloat("0.00", std::stod(m[2]) + 120) + m[3].str() + "\n";
            else
                out += line + "\n";
        }
    return out + text.substr(end);
}

// The tables and indices a grid shows.
std::set<const void*> ShownObjects(TVirtualStringTree* tree) {
    std::set<const void*> shown;
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n))
        if (tree->IsVisible(n)) shown.insert(reinterpret_cast<const void*>(TVirtualStringTree::GetNodeData(n)));
    return shown;
}

std::set<const void*> MarkedObjects() {
    std::set<const void*> marked;
    for (TRelation* r : DBInfo->Relations)
        if (r->Problem) marked.insert(r);
    for (TIndex* i : DBInfo->Indices)
        if (i->Problem) marked.insert(i);
    return marked;
}

// What the views themselves mark once every cell of every row has been
// painted, its images asked and its hints shown, and the summary filled.
std::set<const void*> MarksOfEveryPaintedRow() {
    for (TRelation* r : DBInfo->Relations) r->Problem = false;
    for (TIndex* i : DBInfo->Indices) i->Problem = false;
    FrDbInfo->FillDbInfo();
    for (TVirtualStringTree* tree : {FrTableStat->vstTblStat, FrIndexStat->vstIdxStat}) {
        const bool tables = tree == FrTableStat->vstTblStat;
        for (PVirtualNode n : Rows(tree))
            for (int c = 0; c < tree->Header().Columns.Count(); ++c) {
                if (!tree->Header().Columns[c].Visible()) continue;
                std::string hint;
                bool ghosted = false;
                int image = -1;
                PaintCell([&](TCanvas& canvas, QRect rect) {
                    if (tables) FrTableStat->vstTblStatBeforeCellPaint(tree, canvas, n, c, rect);
                    else FrIndexStat->vstIdxStatBeforeCellPaint(tree, canvas, n, c, rect);
                });
                if (tables) {
                    FrTableStat->vstTblStatGetImageIndex(tree, n, ikNormal, c, ghosted, image);
                    FrTableStat->vstTblStatGetHint(tree, n, c, hint);
                } else {
                    FrIndexStat->vstIdxStatGetImageIndex(tree, n, ikNormal, c, ghosted, image);
                    FrIndexStat->vstIdxStatGetHint(tree, n, c, hint);
                }
            }
    }
    return MarkedObjects();
}

// Some hundred tables, from a text and from a save file (whose Selectivity
// column shows, with stored selectivities that differ): the filter shows
// exactly what the views mark once every row is painted, before and after
// scrolling both grids through.
TEST_F(MainFormTest, FilterShowsEveryProblemRowWhetherPaintedOrNot) {
    const std::string text = TempPath("many.txt"), saved = TempPath("many.dvt");
    WriteFile(text, ManyTablesText(60));
    {
        Make({text});
        ASSERT_EQ(DBInfo->Relations.size(), 300u);
        // As from a server: stored selectivities, a few of them outdated.
        for (size_t k = 0; k < DBInfo->Indices.size(); ++k) {
            TIndex* i = DBInfo->Indices[k];
            i->Stats = i->Sel;
            if (k % 4 == 0 && !HasLongVersions(*i->Relation)) i->Stats = i->Sel > 0 ? i->Sel * 2 : 0.5f;
        }
        SaveStatToFile(*DBInfo, saved);
        Form.reset();
    }
    for (const std::string& file : {text, saved}) {
        SCOPED_TRACE(file);
        TMainForm& f = Make();
        f.resize(900, 600);
        f.show();
        f.OpenStatFile(file);
        // Both grids on screen, the indices grid not bound to one table.
        f.SelectTab(4);
        QApplication::processEvents();
        TVirtualStringTree* tables = FrTableStat->vstTblStat;
        TVirtualStringTree* indices = FrIndexStat->vstIdxStat;
        FrTableStat->LinkIndexView(false);
        f.Widgets().tbFilter->click();
        const std::set<const void*> firstTables = ShownObjects(tables), firstIndices = ShownObjects(indices);
        ASSERT_GT(firstTables.size(), 0u);
        ASSERT_LT(firstTables.size(), DBInfo->Relations.size());
        f.Widgets().tbFilter->click();
        for (TVirtualStringTree* tree : {tables, indices})
            for (Qt::Key key : {Qt::Key_End, Qt::Key_Home}) {
                tree->setFocus();
                QTest::keyClick(tree, key);
                QApplication::processEvents();
            }
        FrTableStat->LinkIndexView(false);
        f.Widgets().tbFilter->click();
        EXPECT_EQ(ShownObjects(tables), firstTables);
        EXPECT_EQ(ShownObjects(indices), firstIndices);

        const std::set<const void*> expected = MarksOfEveryPaintedRow();
        std::set<const void*> shown = firstTables;
        shown.insert(firstIndices.begin(), firstIndices.end());
        EXPECT_EQ(shown.size(), expected.size());
        EXPECT_TRUE(shown == expected) << "the filter shows other rows than the views mark";
        // Long versions are some table's only problem; in the save file a
        // stored selectivity is some index's only problem.
        int longVersionsOnly = 0, statsOnly = 0;
        for (TRelation* r : DBInfo->Relations) {
            const bool byIndex = std::any_of(DBInfo->Indices.begin(), DBInfo->Indices.end(),
                                             [&](TIndex* i) { return i->Relation == r && expected.count(i); });
            longVersionsOnly += expected.count(r) && HasLongVersions(*r) && !HasManyVersions(*r) &&
                                !IsBlobFragmented(*r) && !IsTableNearPageLimit(*r) && !byIndex;
        }
        for (TIndex* i : DBInfo->Indices)
            statsOnly += expected.count(i) && !IsIndexUnderfilled(*i) && !IsIndexTooDeep(*i) && !IsUselessIndex(*i) &&
                         !IsIndexMissingKeys(*i) && !HasManyDuplicates(*i);
        EXPECT_GT(longVersionsOnly, 0);
        EXPECT_EQ(statsOnly > 0, file == saved) << statsOnly;
        Form.reset();
    }
}

TEST_F(MainFormTest, FilterNodeLeavesNodesWithoutAnObjectAlone) {
    TMainForm& f = Make();
    TVirtualStringTree* tree = FrTableStat->vstTblStat;
    PVirtualNode empty = tree->AddChild(nullptr, 0);
    tree->SetVisible(empty, false);
    f.Widgets().tbFilter->setChecked(false);
    f.FilterNode(tree, empty);
    EXPECT_FALSE(tree->IsVisible(empty)) << "no object: the filter does not touch the node";
    tree->Clear();
}

TEST_F(MainFormTest, OptionsChangeClearsMarksReleasesTheFilterAndShowsEveryRow) {
    TMainForm& f = Make();
    f.OpenStatFile(kFull);
    // What no rule marks now must come out unmarked: the old marks go.
    std::vector<TComponent*> clean;
    for (TRelation* r : DBInfo->Relations)
        if (!r->Problem) clean.push_back(r);
    for (TIndex* i : DBInfo->Indices)
        if (!i->Problem) clean.push_back(i);
    ASSERT_FALSE(clean.empty());
    f.Widgets().tbFilter->click();
    ASSERT_LT(VisibleRows(FrIndexStat->vstIdxStat), static_cast<int>(DBInfo->Indices.size()));
    for (TRelation* r : DBInfo->Relations) r->Problem = true;
    for (TIndex* i : DBInfo->Indices) i->Problem = true;
    f.ApplyOptionsChange();
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
    for (TComponent* c : clean) {
        auto* r = dynamic_cast<TRelation*>(c);
        auto* i = dynamic_cast<TIndex*>(c);
        ASSERT_TRUE(r || i);
        EXPECT_FALSE(r ? r->Problem : i->Problem) << (r ? r->TableName : i->IndexName);
    }
    EXPECT_EQ(VisibleRows(FrTableStat->vstTblStat), static_cast<int>(DBInfo->Relations.size()));
    EXPECT_EQ(VisibleRows(FrIndexStat->vstIdxStat), static_cast<int>(DBInfo->Indices.size()));
}

TEST_F(MainFormTest, HelpAndWebCommandsHandTheMakersAddressesToTheDesktop) {
    TMainForm& f = Make();
    struct Case {
        QAction* item;
        const char* url;
    } cases[] = {
        {f.Widgets().Contents, "https://www.kelmaris.example/dravolt/help/Summary"},
        {f.Widgets().ContactUs, "mailto:contact@kelmaris.example"},
        {f.Widgets().DatabaseRepairServices1, "https://www.kelmaris.example/services/recovery"},
        {f.Widgets().Superchargeyourdatabase1, "https://www.kelmaris.example/services/optimization"},
        {f.Widgets().Databasemonitoringservices1, "https://www.kelmaris.example/services/KelmarisSupport"},
    };
    for (const Case& c : cases) {
        Urls.clear();
        c.item->trigger();
        ASSERT_EQ(Urls.size(), 1u) << c.url;
        EXPECT_EQ(Urls[0], c.url);
    }
    Urls.clear();
    f.Widgets().tbHelp->click();
    EXPECT_EQ(Urls, std::vector<std::string>{"https://www.kelmaris.example/dravolt/help/Summary"});
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(MainFormTest, CorvexStartsFromTheRegisteredFolderOrSaysItIsNotInstalled) {
    TMainForm& f = Make();
    const std::string notInstalled =
        "Corvex not installed. If you want to use this tool, download it from "
        "https://www.kelmaris.example/products/corvex";
    // No key at all.
    f.Widgets().tbCorvex->click();
    EXPECT_EQ(Dialogs.LastText(), notInstalled);
    EXPECT_TRUE(Programs.empty());

    TRegistry reg;
    reg.RootKey = HKEY_CURRENT_USER;
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Kelmaris\\Corvex\\", true));
    // The key without the value, then an empty value.
    Dialogs.Messages.clear();
    f.Widgets().tbCorvex->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.LastText(), notInstalled);
    ASSERT_TRUE(reg.WriteString("RootDir", ""));
    f.Widgets().tbCorvex->click();
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
    EXPECT_TRUE(Programs.empty());

    ASSERT_TRUE(reg.WriteString("RootDir", "/opt/kelmaris/corvex"));
    f.Widgets().tbCorvex->click();
    EXPECT_EQ(Programs, std::vector<std::string>{"/opt/kelmaris/corvex/corvexview"});
    ASSERT_TRUE(reg.WriteString("RootDir", "/opt/corvex/"));
    f.Widgets().tbCorvex->click();
    ASSERT_EQ(Programs.size(), 2u);
    EXPECT_EQ(Programs[1], "/opt/corvex/corvexview");
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
}

TEST_F(MainFormTest, CorvexStartFailureIsReportedAndTheWindowGoesOn) {
    TMainForm& f = Make();
    SetProcessStartHandler({});   // the real start, of a program that is not there
    TRegistry reg;
    reg.RootKey = HKEY_CURRENT_USER;
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Kelmaris\\Corvex\\", true));
    ASSERT_TRUE(reg.WriteString("RootDir", Dir.path().toStdString() + "/nowhere"));
    f.Widgets().tbCorvex->click();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
    EXPECT_NE(Dialogs.LastText().find("Cannot run \"" + Dir.path().toStdString() + "/nowhere/corvexview\""),
              std::string::npos)
        << Dialogs.LastText();
    f.Widgets().tbLoadFile->click();   // still answers
}

TEST_F(MainFormTest, StoredGeometryIsAppliedAndClamped) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QSize s = screen->geometry().size();
    struct Case {
        int left, top, width, height;
        int wantLeft, wantTop, wantWidth, wantHeight;
    } cases[] = {
        {-50, -10, 500, 400, 0, 0, 500, 400},
        {30, 40, s.width() + 500, s.height() + 300, 30, 40, s.width(), s.height()},
        {-1, 5, s.width(), 300, 0, 5, s.width(), 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + "," + std::to_string(c.top) + " " + std::to_string(c.width) +
                     "x" + std::to_string(c.height));
        TIniFile ini(TMainForm::SettingsFileName());
        ASSERT_TRUE(ini.WriteInteger("Options", "MainLeft", c.left));
        ASSERT_TRUE(ini.WriteInteger("Options", "MainTop", c.top));
        ASSERT_TRUE(ini.WriteInteger("Options", "MainWidth", c.width));
        ASSERT_TRUE(ini.WriteInteger("Options", "MainHeight", c.height));
        TMainForm& f = Make();
        EXPECT_EQ(f.x(), c.wantLeft);
        EXPECT_EQ(f.y(), c.wantTop);
        EXPECT_EQ(f.width(), c.wantWidth);
        EXPECT_EQ(f.height(), c.wantHeight);
        Form.reset();
    }
}

TEST_F(MainFormTest, WithoutASettingsFileTheDesignSizeStays) {
    TMainForm& f = Make();
    EXPECT_EQ(f.width(), 792);
    EXPECT_GE(f.height(), 649);
    EXPECT_EQ(TMainForm::SettingsFileName(), Dir.path().toStdString() + "/dravolt.ini");
}

TEST_F(MainFormTest, ClosingAsksAboutUnsavedStatisticsAndWritesTheSettingsInOrder) {
    TMainForm& f = Make();
    f.resize(640, 480);
    UnsavedStatLines->push_back("Database header page information:");
    OptionSettings.HeaderPage = true;
    OptionSettings.LoadMetadata = false;

    Dialogs.Answer(mrCancel);
    EXPECT_FALSE(f.close());
    EXPECT_EQ(Dialogs.LastText(), "Previous statistics is not saved. Save it to file?");
    EXPECT_EQ(Dialogs.Messages.back().Buttons, mbYesNoCancel);
    EXPECT_NE(DBInfo, nullptr) << "a refused close frees nothing";
    EXPECT_FALSE(FileExists(TMainForm::SettingsFileName()));

    // Yes, then the save dialog cancelled: still open.
    Dialogs.Answer(mrYes);
    Dialogs.ChooseFile("");
    EXPECT_FALSE(f.close());
    EXPECT_NE(DBInfo, nullptr);

    Dialogs.Answer(mrNo);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(DBInfo, nullptr);
    EXPECT_EQ(UnsavedStatLines, nullptr);
    EXPECT_EQ(ServerItems, nullptr);
    EXPECT_EQ(f.SettingsWriteError(), "");
    std::string ini = ReadFile(TMainForm::SettingsFileName());
    size_t w = ini.find("MainWidth=640"), h = ini.find("MainHeight=480"), t = ini.find("MainTop="),
           l = ini.find("MainLeft="), hp = ini.find("HeaderPage=1"), lm = ini.find("LoadMetadata=0");
    ASSERT_NE(w, std::string::npos) << ini;
    ASSERT_NE(lm, std::string::npos) << ini;
    EXPECT_TRUE(ini.find("[Options]") < w && w < h && h < t && t < l && l < hp && hp < lm) << ini;
}

TEST_F(MainFormTest, UnwritableSettingsFolderGivesDefaultsAndClosesQuietly) {
    // Root ignores folder modes, so there a folder the kernel itself refuses
    // to create files in stands for the read-only one.
    std::string folder = Dir.path().toStdString() + "/readonly";
    ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
    if (geteuid() == 0) folder = "/proc";
    setenv("DRAVOLT_CONFIG_DIR", folder.c_str(), 1);
    TMainForm& f = Make();
    EXPECT_EQ(f.width(), 792);
    f.OpenStatFile(kFull);
    EXPECT_TRUE(f.close());
    EXPECT_EQ(f.SettingsWriteError().rfind("Cannot create file \"" + folder + "/dravolt.ini\". ", 0), 0u)
        << f.SettingsWriteError();
    EXPECT_FALSE(FileExists(folder + "/dravolt.ini"));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(DBInfo, nullptr) << "the model is still freed";
}

TEST_F(MainFormTest, HintOptionsColourTheHintWindows) {
    TMainForm& f = Make();
    OptionSettings.HintColor = 0x00336699;   // blue 0x33, green 0x66, red 0x99
    f.ApplyHintOptions();
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(0x99, 0x66, 0x33));
    OptionSettings.HintColor = 0x00E1FFFF;
    f.ApplyHintOptions();
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), ColorFromWin(0x00E1FFFF));
}

// Tab goes through a dialog as the eye reads it: from a field to one on its
// right in the same row, or to one further down, never back up.
TEST_F(MainFormTest, TabOrderFollowsTheLayoutInEveryDialog) {
    Make();
    auto chain = [](QDialog& dlg) {
        std::vector<QWidget*> out;
        for (QWidget* w = dlg.nextInFocusChain(); w && w != &dlg; w = w->nextInFocusChain())
            if (w->isVisibleTo(&dlg) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
                out.push_back(w);
        return out;
    };
    auto check = [&](QDialog& dlg, const std::string& name) {
        dlg.show();
        QApplication::processEvents();
        const std::vector<QWidget*> order = chain(dlg);
        EXPECT_GE(order.size(), 1u) << name;
        for (size_t i = 1; i < order.size(); ++i) {
            const QRect a(order[i - 1]->mapTo(&dlg, QPoint()), order[i - 1]->size());
            const QRect b(order[i]->mapTo(&dlg, QPoint()), order[i]->size());
            const bool sameRow = b.top() <= a.bottom() && a.top() <= b.bottom();
            EXPECT_TRUE(sameRow ? b.left() > a.left() : b.top() > a.bottom())
                << name << ": " << order[i - 1]->objectName().toStdString() << " then "
                << order[i]->objectName().toStdString() << " (" << order[i]->metaObject()->className() << ")";
        }
        dlg.hide();
    };
    {
        TGetServStatDlg dlg;
        check(dlg, "statistics dialog");
    }
    {
        TfrmOptions dlg(nullptr);
        for (int page = 0; page < dlg.OptionsPage->count(); ++page) {
            dlg.OptionsPage->setCurrentIndex(page);
            check(dlg, "options, page " + dlg.OptionsPage->tabText(page).toStdString());
        }
    }
    {
        TTranCalc dlg;
        check(dlg, "transaction calculator");
    }
    {
        TAboutBox dlg(nullptr);
        check(dlg, "about box");
    }
    {
        TBrowseLANDlg dlg({"alpha", "beta"});
        check(dlg, "computer browser");
    }
    {
        TRView dlg(nullptr);
        check(dlg, "report window");
    }
}

}  // namespace
}  // namespace dv::test
