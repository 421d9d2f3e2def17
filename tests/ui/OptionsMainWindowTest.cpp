// The options dialog run from the real main window: the menu item and the
// tool button open it, OK with statistics loaded refreshes the views under
// the new thresholds, Cancel or nothing loaded refreshes nothing.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

#include "tests/ui/MainTestSupport.h"
#include "tests/support/qt/ModalDriver.h"
#include "ui/dialogs/options.h"
#include "ui/views/indexStat.h"

namespace dv::test {
namespace {

const std::string kFull = DataPath("fb3_full.txt");

class OptionsFromMainWindowTest : public MainFormTest {};

TEST_F(OptionsFromMainWindowTest, MenuItemAndToolButtonOpenTheDialog) {
    TMainForm& f = Make();
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"Options menu", [&] { f.Widgets().Options->trigger(); }},
        {"tool button", [&] { f.Widgets().tbOptions->click(); }},
    };
    for (const auto& [name, run] : commands) {
        QWidget* parent = nullptr;
        EXPECT_TRUE(DriveModal<TfrmOptions>(run, [&](TfrmOptions& dlg) {
            parent = dlg.parentWidget();
            dlg.btnCancel->click();
        })) << name;
        EXPECT_EQ(parent, &f) << name;
    }
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
}

// With statistics loaded, OK rebuilds the summary under the new thresholds,
// clears every mark, raises the filter and rebuilds both grids.
TEST_F(OptionsFromMainWindowTest, OkWithStatisticsLoadedRefreshesTheViews) {
    TMainForm& f = Make();
    f.OpenStatFile(kFull);
    ASSERT_GT(DBInfo->PageSize, 0);
    ASSERT_NE(FrDbInfo, nullptr);
    EXPECT_TRUE(FrDbInfo->Problems.DeepIndices.empty()) << "no index is deeper than 3";
    int deeper = 0;
    for (TIndex* i : DBInfo->Indices)
        if (i->Depth > 1) ++deeper;
    ASSERT_GT(deeper, 0) << "the statistics should hold indices of depth 2";
    f.Widgets().tbFilter->click();
    ASSERT_TRUE(f.Widgets().tbFilter->isChecked());
    for (TRelation* r : DBInfo->Relations) r->Problem = true;
    for (TIndex* i : DBInfo->Indices) i->Problem = true;
    EXPECT_FALSE(FrIndexStat->vstIdxStat->Header().Columns[icLeafs].Visible());

    ASSERT_TRUE(DriveModal<TfrmOptions>([&] { f.Widgets().Options->trigger(); }, [](TfrmOptions& dlg) {
        dlg.eIndexDepth->SetText("1");
        dlg.cbFIndex->setChecked(true);
        dlg.btnOk->click();
    }));
    EXPECT_EQ(OptionSettings.IndexDepth, 1);
    EXPECT_EQ(static_cast<int>(FrDbInfo->Problems.DeepIndices.size()), deeper) << "the summary was filled again";
    EXPECT_FALSE(f.Widgets().tbFilter->isChecked());
    // The old marks went: what is marked now is what a rebuild from no
    // marks at all gives under the new options (the grids mark again as
    // they are filled).
    std::vector<bool> after;
    for (TRelation* r : DBInfo->Relations) after.push_back(r->Problem);
    for (TIndex* i : DBInfo->Indices) after.push_back(i->Problem);
    EXPECT_GT(std::count(after.begin(), after.end(), false), 0);
    for (TRelation* r : DBInfo->Relations) r->Problem = false;
    for (TIndex* i : DBInfo->Indices) i->Problem = false;
    f.ApplyOptionsChange();
    size_t k = 0;
    for (TRelation* r : DBInfo->Relations) EXPECT_EQ(r->Problem, after[k++]) << r->TableName;
    for (TIndex* i : DBInfo->Indices) EXPECT_EQ(i->Problem, after[k++]) << i->IndexName;
    EXPECT_EQ(VisibleRows(FrTableStat->vstTblStat), static_cast<int>(DBInfo->Relations.size()));
    EXPECT_EQ(VisibleRows(FrIndexStat->vstIdxStat), static_cast<int>(DBInfo->Indices.size()));
    EXPECT_TRUE(FrIndexStat->vstIdxStat->Header().Columns[icLeafs].Visible()) << "the indices grid was rebuilt";
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
}

TEST_F(OptionsFromMainWindowTest, CancelOrNothingLoadedRefreshesNothing) {
    TMainForm& f = Make();
    // Nothing loaded: OK applies the options and touches no view.
    f.Widgets().tbFilter->click();
    ASSERT_TRUE(DriveModal<TfrmOptions>([&] { f.OptionsClick(); }, [](TfrmOptions& dlg) {
        dlg.eIndexDepth->SetText("2");
        dlg.btnOk->click();
    }));
    EXPECT_EQ(OptionSettings.IndexDepth, 2);
    EXPECT_TRUE(f.Widgets().tbFilter->isChecked()) << "nothing loaded: the filter stays down";

    // Loaded, then cancelled: marks and filter stay as they were.
    f.OpenStatFile(kFull);
    ASSERT_GT(DBInfo->PageSize, 0);
    f.Widgets().tbFilter->setChecked(true);
    for (TIndex* i : DBInfo->Indices) i->Problem = true;
    ASSERT_TRUE(DriveModal<TfrmOptions>([&] { f.OptionsClick(); }, [](TfrmOptions& dlg) { dlg.btnCancel->click(); }));
    EXPECT_TRUE(f.Widgets().tbFilter->isChecked());
    for (TIndex* i : DBInfo->Indices) EXPECT_TRUE(i->Problem) << i->IndexName;
}

}  // namespace
}  // namespace dv::test
