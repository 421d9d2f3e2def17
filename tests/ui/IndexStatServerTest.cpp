// The recompute commands of the indices view against the real local server:
// a database of our own whose stored index selectivity is stale, its real
// fbstat output and metadata loaded, then "Recompute selectivity" for one
// index and for all of them, checked on the server itself.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <cstdio>
#include <cstdlib>

#include "model/StatParser.h"
#include "model/utils.h"
#include "server/DMData.h"
#include "server/IBClient.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/indexStat.h"

namespace dv::test {
namespace {

std::string Password() {
    const char* pw = std::getenv("DRAVOLT_FB_PASSWORD");
    return pw && *pw ? pw : "masterkey";
}

std::string Quote(const std::string& s) { return "'" + StringReplaceAll(s, "'", "'\\''") + "'"; }

// stdout and stderr of a shell command, and whether it succeeded.
std::pair<std::string, bool> Shell(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return {out, false};
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    return {out, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

bool ServerUp() {
    static const bool up =
        Shell("fbsvcmgr localhost:service_mgr -user SYSDBA -password " + Quote(Password()) + " info_server_version").second;
    return up;
}

// Ten rows, then the indices (selectivity stored as 1/10), then forty more
// distinct rows: the stored values are stale, 1/50 is right.
const char* const kDdl = R"(
create table ITEMS (ID integer not null, GRP integer);
create table CODES (K integer);
commit;
set term ^;
execute block as declare i integer = 0; begin
  while (i < 10) do begin
    insert into ITEMS values (:i, mod(:i, 2));
    insert into CODES values (:i);
    i = i + 1;
  end
end^
set term ;^
commit;
create index IX_ITEMS_ID on ITEMS (ID);
create index IX_ITEMS_GRP on ITEMS (GRP);
create index IX_CODES on CODES (K);
commit;
set term ^;
execute block as declare i integer = 10; begin
  while (i < 50) do begin
    insert into ITEMS values (:i, mod(:i, 2));
    insert into CODES values (:i);
    i = i + 1;
  end
end^
set term ;^
commit;
)";

class IndexStatServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ServerUp()) {
            if (UnderCI()) FAIL() << "The local Firebird server is not running";
            GTEST_SKIP() << "The local Firebird server is not running (scripts/fbserver.sh start)";
        }
        const char* dir = std::getenv("DRAVOLT_FB_DATA");
        Path = std::string(dir && *dir ? dir : "/tmp/dravolt-fb") + "/h8_recompute_" + std::to_string(getpid()) + ".fdb";
        std::remove(Path.c_str());
        auto [out, ok] = Isql("create database 'localhost:" + Path + "' user 'SYSDBA' password '" + Password() +
                              "' page_size 4096;\n" + kDdl);
        ASSERT_TRUE(ok) << out;
        Created = true;

        ResetModel();
        {
            ScriptedDialogs dialogs;
            auto [stat, statOk] = Shell("fbstat -a -r -user SYSDBA -password " + Quote(Password()) + " " +
                                      Quote("localhost:" + Path));
            ASSERT_TRUE(statOk) << stat;
            TStringList lines;
            size_t start = 0;
            while (start < stat.size()) {
                size_t end = stat.find('\n', start);
                if (end == std::string::npos) end = stat.size();
                lines.push_back(stat.substr(start, end - start));
                start = end + 1;
            }
            ASSERT_TRUE(ParseStatLines(lines));
            ASSERT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
        }
        Dm = std::make_unique<TDM>(nullptr);
        DM = Dm.get();
        DM->SetServiceParams("localhost", Path, "SYSDBA", Password(), 0);
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
        if (Created) Isql("connect 'localhost:" + Path + "' user 'SYSDBA' password '" + Password() + "';\ndrop database;");
        std::remove(Path.c_str());
    }

    std::pair<std::string, bool> Isql(const std::string& script) {
        const std::string file = "/tmp/h8-recompute-" + std::to_string(getpid()) + ".sql";
        WriteFile(file, "set bail on;\n" + script + "\n");
        auto r = Shell("isql-fb -q -i " + Quote(file));
        std::remove(file.c_str());
        return r;
    }
    // The selectivity stored on the server for one index.
    double Stored(const std::string& index) {
        auto [out, ok] = Isql("connect 'localhost:" + Path + "' user 'SYSDBA' password '" + Password() +
                              "';\nset heading off;\nselect rdb$statistics from rdb$indices where rdb$index_name = '" +
                              index + "';");
        EXPECT_TRUE(ok) << out;
        return std::atof(Trim(out).c_str());
    }
    PVirtualNode Node(const std::string& index) {
        for (PVirtualNode n : Rows(Frame->vstIdxStat))
            if (TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName == index) return n;
        return nullptr;
    }

    std::string Path;
    bool Created = false;
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
    DM->SetServiceParams("localhost", Path + ".missing", "SYSDBA", Password(), 0);
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
