// The database list inside the real main window: filled from the registry at
// start-up, and opening an entry as a command that replaces the statistics.
#include "tests/ui/MainTestSupport.h"

#include "platform/stores/Registry.h"

namespace dv::test {
namespace {

class DBListMainTest : public MainFormTest {
protected:
    static void Record(const std::string& server, const std::vector<std::string>& databases) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServersKey, true));
        ASSERT_TRUE(reg.OpenKey(server, true));
        for (const std::string& db : databases) ASSERT_TRUE(reg.WriteInteger(db, 0));
    }

    // Focuses the first database row and double-clicks it.
    void OpenFirstDatabase() {
        TVirtualStringTree* tree = FrDBList->vstDBList;
        PVirtualNode db = tree->GetFirstChild(tree->GetFirst());
        ASSERT_NE(db, nullptr);
        tree->SetFocusedNode(db);
        FrDBList->vstDBListColumnDblClick(tree, 0);
    }
};

TEST_F(DBListMainTest, TheWindowOpensOnTheListFilledFromTheRegistry) {
    Record("host", {"/db/a.fdb", "C:\\db\\b.fdb"});
    TMainForm& form = Make();
    ASSERT_NE(FrDBList, nullptr);
    EXPECT_EQ(FrDBList->vstDBList->RootNodeCount(), 1);
    EXPECT_EQ(FrDBList->vstDBList->TotalCount(), 3);
    ASSERT_NE(ServerItems, nullptr);
    EXPECT_EQ(ServerItems->size(), 1u);
    EXPECT_EQ(DatabaseItems->size(), 2u);
    if (DM) {
        EXPECT_EQ(form.Widgets().InfoTab->currentIndex(), 0);
        EXPECT_TRUE(FrDBList->isVisibleTo(&form));
    }
    // Closing frees the two lists; the entries stay with the tree.
    form.FormClose();
    EXPECT_EQ(ServerItems, nullptr);
    EXPECT_EQ(DatabaseItems, nullptr);
    EXPECT_EQ(FrDBList->vstDBList->TotalCount(), 3);
}

TEST_F(DBListMainTest, OpeningAsksAboutUnsavedStatisticsFirst) {
    Record("host", {"/db/a.fdb"});
    Make();
    int opened = 0;
    FrDBList->OnOpenEntry = [&](TDatabaseItem*) {
        ++opened;
        return true;
    };
    UnsavedStatLines->push_back("Database header page information:");
    Dialogs.Answer(mrCancel);
    OpenFirstDatabase();
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Previous statistics is not saved. Save it to file?");

    Dialogs.Answer(mrNo);
    OpenFirstDatabase();
    EXPECT_EQ(opened, 1);
}

TEST_F(DBListMainTest, ALoadShowsTheSummaryWithTheFilterUp) {
    Record("host", {"/db/a.fdb"});
    TMainForm& form = Make();
    form.SelectTab(0);
    form.Widgets().tbFilter->setChecked(true);
    bool result = false;
    FrDBList->OnOpenEntry = [&](TDatabaseItem* e) {
        EXPECT_NE(e, nullptr);
        return result;
    };
    OpenFirstDatabase();
    EXPECT_EQ(form.Widgets().InfoTab->currentIndex(), 0) << "nothing loaded: the list stays";
    EXPECT_TRUE(form.Widgets().tbFilter->isChecked());

    result = true;
    OpenFirstDatabase();
    EXPECT_EQ(form.Widgets().InfoTab->currentIndex(), 1);
    EXPECT_FALSE(form.Widgets().tbFilter->isChecked());
    EXPECT_TRUE(Dialogs.Messages.empty());
}

}  // namespace
}  // namespace dv::test
