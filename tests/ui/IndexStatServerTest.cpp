// The recompute commands of the indices view against the real local server:
// a database of our own whose stored index selectivity is stale, its real
// fbstat output and metadata loaded, then "Recompute selectivity" for one
// index and for all of them, checked on the server itself.
#include <gtest/gtest.h>

#include <QAction>

#include "model/StatParser.h"
#include "model/utils.h"
#include "server/DMData.h"
#include "server/IBClient.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/views/indexStat.h"

namespace dv::test {
namespace {

// Every stored selectivity stale: 1/10 stored, 1/50 right.
const std::string kDdl = StaleSelectivityDdl(
    "create table ITEMS (ID integer not null, GRP integer);\n"
    "create table CODES (K integer);",
    "    insert into ITEMS values (:i, mod(:i, 2));\n"
    "    insert into CODES values (:i);",
    "create index IX_ITEMS_ID on ITEMS (ID);\n"
    "create index IX_ITEMS_GRP on ITEMS (GRP);\n"
    "create index IX_CODES on CODES (K);");

class IndexStatServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        DV_REQUIRE_FB_SERVER();
        Db = std::make_unique<TFbTestDatabase>("index_recompute", kDdl, 4096);
        ASSERT_TRUE(Db->Created()) << Db->CreateOutput();

        ResetModel();
        {
            ScriptedDialogs dialogs;
            const TCommandResult stat = Db->FbstatOutput("-a -r");
            ASSERT_EQ(stat.Status, 0) << stat.Output;
            ASSERT_TRUE(ParseStatLines(SplitLines(stat.Output)));
            ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
        }
        Dm = std::make_unique<TDM>(nullptr);
        DM = Dm.get();
        DM->SetServiceParams("localhost", Db->Path(), "SYSDBA", FbPassword(), 0);
        DM->PrepareConnection();
        DM->ReadMetadata();

        Frame = std::make_unique<TFrIndexStat>(nullptr);
        Frame->SetColumnVisible(icSelectivity, true);
        Frame->FillIndices();
    }
    void TearDown() override {
        Frame.reset();
        Dm.reset();
        DM = nullptr;
        if (DBInfo) DBInfo->Reset(true);
        Db.reset();
    }

    // The selectivity stored on the server for one index.
    double Stored(const std::string& index) { return Db->StoredSelectivity(index); }
    PVirtualNode Node(const std::string& index) {
        for (PVirtualNode n : Rows(Frame->vstIdxStat))
            if (TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName == index) return n;
        return nullptr;
    }

    std::unique_ptr<TFbTestDatabase> Db;
    std::unique_ptr<TDM> Dm;
    std::unique_ptr<TFrIndexStat> Frame;
};

TEST_F(IndexStatServerTest, RecomputeOneIndexStoresTheComputedSelectivity) {
    TIndex* id = FindIndex("IX_ITEMS_ID");
    ASSERT_NE(id, nullptr);
    ASSERT_FLOAT_EQ(id->Stats, 0.1f);    // read from the live metadata
    ASSERT_FLOAT_EQ(id->Sel, 0.02f);     // computed from the statistics
    Frame->vstIdxStat->SetFocusedNode(Node("IX_ITEMS_ID"));
    Frame->PopupMenu1Popup();
    ASSERT_TRUE(Frame->mRecompSel->isVisible());
    id->Problem = true;

    ScriptedDialogs dialogs;
    Frame->mRecompSelClick();
    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_FLOAT_EQ(id->Stats, id->Sel);
    EXPECT_FALSE(id->Problem);
    EXPECT_NEAR(Stored("IX_ITEMS_ID"), 0.02, 1e-6);
    EXPECT_NEAR(Stored("IX_CODES"), 0.1, 1e-6);   // the others stay stale
    // the cell shows the computed value and loses its colour; the menu hides
    std::string text;
    Frame->vstIdxStatGetText(Frame->vstIdxStat, Node("IX_ITEMS_ID"), icSelectivity, text);
    EXPECT_EQ(text, "0.0200000");
    PVirtualNode n = Node("IX_ITEMS_ID");
    TPaintedCell cell = PaintCell([&](TCanvas& c, QRect r) {
        Frame->vstIdxStatBeforeCellPaint(Frame->vstIdxStat, c, n, icSelectivity, r);
    });
    EXPECT_EQ(cell.Left(), ColumnColour);
    Frame->PopupMenu1Popup();
    EXPECT_FALSE(Frame->mRecompSel->isVisible());
    EXPECT_FALSE(Frame->mRecompSelAll->isVisible());
}

TEST_F(IndexStatServerTest, RecomputeAllAsksFirstAndUpdatesEveryIndex) {
    ScriptedDialogs dialogs;
    dialogs.Answer(mrNo);
    Frame->mRecompSelAllClick();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text,
              "Recomputing selectivity for all indices can take about 2 minutes on 2 gigabyte database\n\r"
              "Do you wish to proceed ?");
    EXPECT_EQ(dialogs.Messages[0].Type, mtInformation);
    EXPECT_EQ(dialogs.Messages[0].Buttons, TMsgDlgButtons(mbYes | mbNo));
    EXPECT_NEAR(Stored("IX_CODES"), 0.1, 1e-6);
    EXPECT_FLOAT_EQ(FindIndex("IX_CODES")->Stats, 0.1f);

    FindIndex("IX_CODES")->Problem = true;
    dialogs.Answer(mrYes);
    Frame->mRecompSelAllClick();
    for (TIndex* i : DBInfo->Indices) EXPECT_FLOAT_EQ(i->Stats, i->Sel) << i->IndexName;
    EXPECT_TRUE(FindIndex("IX_CODES")->Problem);   // the marks stay
    EXPECT_NEAR(Stored("IX_CODES"), 0.02, 1e-6);
    EXPECT_NEAR(Stored("IX_ITEMS_ID"), 0.02, 1e-6);
    EXPECT_NEAR(Stored("IX_ITEMS_GRP"), 0.5, 1e-6);
}

TEST_F(IndexStatServerTest, AFailedRecomputeLeavesTheModelAsItWas) {
    TIndex* id = FindIndex("IX_ITEMS_ID");
    ASSERT_NE(id, nullptr);
    id->Problem = true;
    DM->SetServiceParams("localhost", Db->Path() + ".missing", "SYSDBA", FbPassword(), 0);
    DM->PrepareConnection();
    Frame->vstIdxStat->SetFocusedNode(Node("IX_ITEMS_ID"));
    EXPECT_THROW(Frame->mRecompSelClick(), EIBError);
    EXPECT_FLOAT_EQ(id->Stats, 0.1f);
    EXPECT_TRUE(id->Problem);
    ScriptedDialogs dialogs;
    dialogs.Answer(mrYes);
    EXPECT_THROW(Frame->mRecompSelAllClick(), EIBError);
    EXPECT_FLOAT_EQ(id->Stats, 0.1f);
    EXPECT_NEAR(Stored("IX_ITEMS_ID"), 0.1, 1e-6);
}

}  // namespace
}  // namespace dv::test
