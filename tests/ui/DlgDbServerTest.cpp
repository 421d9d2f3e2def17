// The server statistics dialog against the real local server, through the
// real main window: full and header-only runs, what a run leaves in the
// caption, the unsaved lines, the registry and the database list, the
// server's refusals, cancelling while lines arrive, and the two reloads.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <cstdio>
#include <map>
#include <sys/stat.h>

#include "tests/ui/MainTestSupport.h"
#include "model/utils.h"
#include "server/IBClient.h"
#include "tests/support/FirebirdTestServer.h"
#include "tests/ui/DlgDbSupport.h"
#include "tests/support/FaultProxy.h"
#include "ui/server/serverwait.h"

namespace dv::test {
namespace {

const std::string kServers = kServersKey;

// Two tables with rows and indices; CUSTOMERS has 120 rows.
const char* const kDdl = R"(
create table CUSTOMERS (ID integer not null primary key, NAME varchar(40), CITY char(20));
create index IDX_CUST_CITY on CUSTOMERS (CITY);
create table ORDERS (ID integer not null primary key, CUST integer, AMOUNT numeric(12,2));
create index IDX_ORDERS_CUST on ORDERS (CUST);
commit;
set term ^;
execute block as declare i integer = 0; begin
  while (i < 120) do begin
    insert into CUSTOMERS values (:i, 'Customer ' || :i, 'City ' || mod(:i, 7));
    insert into ORDERS values (:i, mod(:i, 30), :i * 1.5);
    i = i + 1;
  end
end^
set term ;^
)";

TRelation* Table(const std::string& name) {
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == name) return r;
    return nullptr;
}

class DlgDbServerTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        DV_REQUIRE_FB_SERVER();
        Db = std::make_unique<TFbTestDatabase>(
            std::string("dlg_") + ::testing::UnitTest::GetInstance()->current_test_info()->name(), kDdl);
        ASSERT_TRUE(Db->Created()) << Db->CreateOutput();
    }

    void TearDown() override {
        TGetServStatDlg::EventInterval = FOldInterval;
        MainFormTest::TearDown();
        Db.reset();
    }

    // Opens the dialog from the main window, fills it and presses Run; the
    // step may look at the dialog afterwards (it is still open when the run
    // did not succeed).
    bool RunDialog(TMainForm& f, const std::string& database, const std::string& password, bool headerOnly = false,
                   std::function<void(TGetServStatDlg&)> after = {}, const std::string& server = "localhost") {
        TDialogStep step([&](TGetServStatDlg& dlg) {
            FillParams(dlg, server, database, "SYSDBA", password);
            dlg.cbHeader->setChecked(headerOnly);
            dlg.btnOk->click();
            if (after) after(dlg);
        });
        const bool loaded = f.LoadStatFromServer(nullptr);
        EXPECT_TRUE(step.Ran());
        return loaded;
    }

    std::unique_ptr<TFbTestDatabase> Db;

private:
    int FOldInterval = TGetServStatDlg::EventInterval;
};

TEST_F(DlgDbServerTest, AFullRunLoadsTablesIndicesAndMetadataAndIsRecorded) {
    TMainForm& f = Make();
    ASSERT_TRUE(RunDialog(f, Db->Path(), FbPassword()));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();

    EXPECT_EQ(Caption(f), "Dravolt 2.7. Unsaved from localhost:" + Db->Path());
    // The lines are the engine's own statistics text, as its tool prints it
    // (the header's counters have moved since: the metadata was read).
    TStringList tool = Db->Fbstat("-a -r");
    ASSERT_EQ(UnsavedStatLines->size(), tool.size());
    bool pages = false;
    for (size_t i = 0; i < tool.size(); ++i) {
        pages = pages || tool[i].find("Analyzing database pages") != std::string::npos;
        if (pages && tool[i].rfind("Gstat ", 0) != 0) {   // the moments of the two runs differ
            EXPECT_EQ(TrimRight((*UnsavedStatLines)[i]), TrimRight(tool[i])) << "line " << i;
        }
    }
    EXPECT_TRUE(pages);

    ASSERT_NE(Table("CUSTOMERS"), nullptr);
    ASSERT_NE(Table("ORDERS"), nullptr);
    EXPECT_EQ(Table("CUSTOMERS")->Records, 120);
    EXPECT_EQ(Table("ORDERS")->Records, 120);
    EXPECT_EQ(DBInfo->PageSize, 8192);
    EXPECT_GT(DBInfo->DBSize, 0);
    // Metadata came with it.
    EXPECT_TRUE(MetadataLoaded);
    EXPECT_EQ(Table("CUSTOMERS")->Fields.size(), 3u);
    bool cityIndex = false;
    for (TIndex* i : DBInfo->Indices)
        if (i->IndexName == "IDX_CUST_CITY") cityIndex = i->Key == "CITY";
    EXPECT_TRUE(cityIndex);
    EXPECT_TRUE(FrIndexStat->vstIdxStat->Header().Columns[8].Visible());
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), static_cast<int>(DBInfo->Relations.size()));
    EXPECT_TRUE(f.Widgets().SaveStatFile->isEnabled());
    EXPECT_TRUE(f.Widgets().tbRefresh->isEnabled());

    // What the dialog remembers for the run.
    EXPECT_FALSE(OptionSettings.HeaderPage);
    EXPECT_TRUE(OptionSettings.LoadMetadata);
    EXPECT_EQ(OptionSettings.LastPassword, FbPassword());
    EXPECT_GE(OptionSettings.ServStatDlgWidth, TGetServStatDlg::DesignWidth);

    // Registry and database list.
    EXPECT_EQ(ReadRegistryString(kServers, "LastServer"), "localhost");
    EXPECT_EQ(ReadRegistryString(kServers, "LastDatabase"), Db->Path());
    EXPECT_EQ(RegistryValueNames(kServers + "\\localhost"), std::vector<std::string>{Db->Path()});
    EXPECT_EQ(DBListText(), "[localhost]\n  " + Db->Path() + "\n");

    // The next dialog offers what this run recorded.
    std::string server, database;
    TDialogStep step([&](TGetServStatDlg& dlg) {
        server = dlg.eServerName->currentText().toStdString();
        database = dlg.eDatabaseName->currentText().toStdString();
    });
    EXPECT_FALSE(f.LoadStatFromServer(nullptr));
    EXPECT_EQ(server, "localhost");
    EXPECT_EQ(database, Db->Path());
    // Cancelling it changed nothing that was loaded.
    EXPECT_EQ(Table("CUSTOMERS")->Records, 120);
    EXPECT_FALSE(UnsavedStatLines->empty());
}

TEST_F(DlgDbServerTest, AHeaderOnlyRunTakesTheHeaderAndNoMetadata) {
    TMainForm& f = Make();
    uint8_t options = 0;
    ASSERT_TRUE(RunDialog(f, Db->Path(), FbPassword(), true));
    options = DM->IBStatService->Options;
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(options, kHeaderStatOptions);
    EXPECT_EQ(DBInfo->PageSize, 8192);
    EXPECT_TRUE(DBInfo->Relations.empty());
    EXPECT_GT(DBInfo->NxT, 0);
    EXPECT_FALSE(MetadataLoaded);
    EXPECT_FALSE(FrIndexStat->vstIdxStat->Header().Columns[8].Visible());
    EXPECT_TRUE(OptionSettings.HeaderPage);
    for (const std::string& line : *UnsavedStatLines)
        EXPECT_EQ(line.find("Analyzing database pages"), std::string::npos) << line;
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Unsaved from localhost:" + Db->Path());

    // The next dialog starts with the header box checked; opened from a list
    // entry it takes the entry's credentials.
    TDatabaseItem entry{"localhost", Db->Path(), FbPassword(), "SYSDBA"};
    bool header = false;
    TDialogStep step([&](TGetServStatDlg& dlg) {
        header = dlg.cbHeader->isChecked();
        dlg.cbHeader->setChecked(false);
        dlg.btnOk->click();
    });
    ASSERT_TRUE(f.LoadStatFromServer(&entry));
    EXPECT_TRUE(header);
    EXPECT_NE(Table("CUSTOMERS"), nullptr);
    EXPECT_TRUE(MetadataLoaded);
    EXPECT_FALSE(OptionSettings.HeaderPage);
}

TEST_F(DlgDbServerTest, TheServersRefusalsAreShownAndNothingIsRecorded) {
    const std::string dataDir = FbDataDir() + "/";
    const std::string zeros = dataDir + "dlg_zeros_" + std::to_string(getpid()) + ".fdb";
    const std::string text = dataDir + "dlg_text_" + std::to_string(getpid()) + ".fdb";
    WriteFile(zeros, std::string(200000, '\0'));
    WriteFile(text, "not a database, only some text\n");
    chmod(zeros.c_str(), 0666);
    chmod(text.c_str(), 0666);
    struct Case {
        std::string database, password;
        std::string message;   // the start of what the user is shown
        bool exact;
    } cases[] = {
        {Db->Path(), "wrong-password", "Your user name and password are not defined", false},
        {dataDir + "no_such_database.fdb", FbPassword(), "Error opening database (no such file?)", true},
        {zeros, FbPassword(), "Server can not work with this database:\nWrong ODS version", false},
        {text, FbPassword(), "Unexpected end of database file", false},
    };
    TMainForm& f = Make({DataPath("fb3_full.txt")});
    const std::string caption = Caption(f);
    const size_t tables = DBInfo->Relations.size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.database + " " + c.password);
        Dialogs.Messages.clear();
        bool onParams = false, active = true;
        ASSERT_FALSE(RunDialog(f, c.database, c.password, false, [&](TGetServStatDlg& dlg) {
            onParams = dlg.PageControl->currentWidget() == dlg.tsParam;
            active = DM->IBStatService->Active();
        }));
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
        if (c.exact)
            EXPECT_EQ(Dialogs.Messages[0].Text, c.message);
        else
            EXPECT_EQ(Dialogs.Messages[0].Text.rfind(c.message, 0), 0u) << Dialogs.Messages[0].Text;
        EXPECT_TRUE(onParams);
        EXPECT_FALSE(active);
        EXPECT_EQ(Caption(f), caption);
        EXPECT_EQ(DBInfo->Relations.size(), tables);
        EXPECT_TRUE(UnsavedStatLines->empty());
        EXPECT_EQ(ReadRegistryString(kServers, "LastServer"), "<no value>");
        // A password the server refused is not remembered.
        if (c.password != FbPassword()) {
            EXPECT_EQ(OptionSettings.LastPassword, "");
        }
    }
    std::remove(zeros.c_str());
    std::remove(text.c_str());
}

TEST_F(DlgDbServerTest, NamedPipesAreOfferedButThisPlatformHasNone) {
    TMainForm& f = Make();
    bool onParams = false;
    std::string manager;
    TDialogStep step([&](TGetServStatDlg& dlg) {
        dlg.cbProtocol->setCurrentIndex(1);
        FillParams(dlg, "localhost", Db->Path(), "SYSDBA", FbPassword());
        dlg.btnOk->click();
        onParams = dlg.PageControl->currentWidget() == dlg.tsParam;
        manager = DM->IBStatService->ServiceManagerName();
    });
    EXPECT_FALSE(f.LoadStatFromServer(nullptr));
    EXPECT_EQ(manager, "\\\\localhost\\service_mgr");
    // The failed run left the service as it found it.
    EXPECT_EQ(DM->IBStatService->Protocol, TProtocol::TCP);
    EXPECT_EQ(DM->IBStatService->DatabaseName, "");
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
    EXPECT_NE(Dialogs.LastText().find("service_mgr"), std::string::npos) << Dialogs.LastText();
    EXPECT_TRUE(onParams);
    EXPECT_FALSE(DM->IBStatService->Active());
    EXPECT_EQ(ReadRegistryString(kServers, "LastServer"), "<no value>");
}

TEST_F(DlgDbServerTest, CancellingWhileLinesArriveKeepsThemAndChangesNothingElse) {
    TGetServStatDlg::EventInterval = 0;
    TMainForm& f = Make({DataPath("fb3_full.txt")});
    const std::string caption = Caption(f);
    const std::vector<TRelation*> tables = DBInfo->Relations;
    struct Case {
        const char* how;
        std::function<void(TGetServStatDlg&)> cancel;
    } cases[] = {
        {"Cancel button", [](TGetServStatDlg& dlg) { dlg.CancelBtn->click(); }},
        {"close box", [](TGetServStatDlg& dlg) { dlg.close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        TStringList read;
        std::string memo;
        bool onLog = false, active = true;
        QTimer poll;
        TDialogStep step([&](TGetServStatDlg& dlg) {
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (dlg.Running() && dlg.MemoLines().size() >= 5 && !dlg.Cancelled()) c.cancel(dlg);
            });
            poll.start(0);
            FillParams(dlg, "localhost", Db->Path(), "SYSDBA", FbPassword());
            dlg.btnOk->click();
            poll.stop();
            read = dlg.MemoLines();
            memo = dlg.StatsMemo->toPlainText().toStdString();
            onLog = dlg.PageControl->currentWidget() == dlg.tsLog;
            active = DM->IBStatService->Active();
        });
        EXPECT_FALSE(f.LoadStatFromServer(nullptr));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_GE(read.size(), 5u);
        EXPECT_LT(read.size(), 40u);
        std::string joined;
        for (size_t i = 0; i < read.size(); ++i) joined += (i ? "\n" : "") + read[i];
        EXPECT_EQ(memo, joined);
        EXPECT_TRUE(onLog);
        EXPECT_FALSE(active);
        EXPECT_EQ(Caption(f), caption);
        EXPECT_EQ(DBInfo->Relations, tables);
        EXPECT_TRUE(UnsavedStatLines->empty());
        EXPECT_EQ(ReadRegistryString(kServers, "LastServer"), "<no value>");
        EXPECT_EQ(DBListText(), "");
    }
}

// The statistics shown decide where the server commands go: runs on another
// database that are cancelled or fail leave the reloads, the recomputes and
// the proposed save name on the one shown; a damaged saved file picked after
// that leaves nothing that could be saved.
TEST_F(DlgDbServerTest, RunsThatLoadNothingLeaveTheCommandsOnTheDatabaseShown) {
    TGetServStatDlg::EventInterval = 0;
    TFbTestDatabase other(std::string("dlg_other_") + std::to_string(getpid()), kDdl);
    ASSERT_TRUE(other.Created()) << other.CreateOutput();
    const char* const indices[] = {"IDX_CUST_CITY", "IDX_ORDERS_CUST"};
    std::map<std::string, double> otherStored;
    for (const char* i : indices) otherStored[i] = other.StoredSelectivity(i);

    TMainForm& f = Make();
    ASSERT_TRUE(RunDialog(f, Db->Path(), FbPassword()));
    const std::string caption = Caption(f);
    const TStringList unsaved = *UnsavedStatLines;

    struct Run {
        const char* how;
        std::string database, password;
        bool cancel;   // while its lines arrive
    } runs[] = {
        {"wrong password", other.Path(), "wrong-password", false},
        {"missing file", other.Path() + ".missing", FbPassword(), false},
        {"cancelled", other.Path(), FbPassword(), true},
    };
    for (const Run& r : runs) {
        SCOPED_TRACE(r.how);
        QTimer poll;
        bool cancelled = false;
        TDialogStep step([&](TGetServStatDlg& dlg) {
            if (r.cancel) {
                QObject::connect(&poll, &QTimer::timeout, [&] {
                    if (dlg.Running() && dlg.MemoLines().size() >= 5 && !dlg.Cancelled()) dlg.CancelBtn->click();
                });
                poll.start(0);
            }
            FillParams(dlg, "localhost", r.database, "SYSDBA", r.password);
            dlg.btnOk->click();
            poll.stop();
            cancelled = dlg.Cancelled();
        });
        EXPECT_FALSE(f.LoadStatFromServer(nullptr));
        EXPECT_TRUE(step.Ran());
        EXPECT_EQ(cancelled, r.cancel);
        EXPECT_EQ(DM->IBStatService->ServerName, "localhost");
        EXPECT_EQ(DM->IBStatService->DatabaseName, Db->Path());
        EXPECT_EQ(ParamValue(DM->IBStatService->Params, "password"), FbPassword());
        EXPECT_EQ(DM->IBStatService->Options, kFullStatOptions);
        EXPECT_EQ(Caption(f), caption);
        EXPECT_EQ(*UnsavedStatLines, unsaved);
    }
    Dialogs.Messages.clear();

    // The header comes again from the database shown.
    f.ReloadStatHeaderClick();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_NE(DBInfo->DbName.find(Db->Path()), std::string::npos) << DBInfo->DbName;

    // Recomputing one index and then all of them writes to it alone.
    TVirtualStringTree* grid = FrIndexStat->vstIdxStat;
    PVirtualNode city = nullptr;
    for (PVirtualNode n = grid->GetFirst(); n; n = grid->GetNextSibling(n))
        if (TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName == "IDX_CUST_CITY") city = n;
    ASSERT_NE(city, nullptr);
    grid->SetFocusedNode(city);
    FrIndexStat->mRecompSelClick();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_NEAR(Db->StoredSelectivity("IDX_CUST_CITY"), 1.0 / 7, 1e-6);
    EXPECT_NEAR(Db->StoredSelectivity("IDX_ORDERS_CUST"), 0, 1e-9) << "not yet";
    Dialogs.Answer(mrYes);
    FrIndexStat->mRecompSelAllClick();
    ASSERT_EQ(Dialogs.Messages.size(), 1u) << "the question only";
    EXPECT_NEAR(Db->StoredSelectivity("IDX_ORDERS_CUST"), 1.0 / 30, 1e-6);
    for (const char* i : indices) EXPECT_EQ(other.StoredSelectivity(i), otherStored[i]) << i;

    // The proposed name is that of the database shown.
    Dialogs.ChooseFile("");
    f.StatSaveClick();
    ASSERT_EQ(Dialogs.FileDialogs.size(), 1u);
    const std::string expected = MakeStatFileName("localhost", Db->Path()) + ".dvt";
    const size_t stamp = expected.size() - std::string("_20241231_23-59.dvt").size();
    EXPECT_EQ(Dialogs.FileDialogs[0].FileName.substr(0, stamp), expected.substr(0, stamp));

    // Unsaved server statistics, then a damaged saved file: nothing remains
    // that was not loaded, so nothing can be saved and closing asks nothing.
    const std::string damaged = TempPath("damaged.dvt");
    WriteFile(damaged, "DVT2DATA\r\nobject DBInfo: TDatabaseInfo\r\n  PageSize = 8192\r\n  Bogus = 1\r\nend\r\n");
    Dialogs.Messages.clear();
    Dialogs.Answer(mrNo);
    Dialogs.ChooseFile(damaged);
    f.Widgets().tbLoadFile->click();
    ASSERT_EQ(Dialogs.Messages.size(), 2u) << Dialogs.LastText();
    EXPECT_NE(Dialogs.LastText().find("Bogus"), std::string::npos) << Dialogs.LastText();
    EXPECT_EQ(Caption(f), "dRavolt");
    EXPECT_FALSE(f.Widgets().SaveStatFile->isEnabled());
    EXPECT_FALSE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_FALSE(f.Widgets().tbRefresh->isEnabled());
    EXPECT_TRUE(UnsavedStatLines->empty());
    EXPECT_EQ(DBInfo->PageSize, 0);
    EXPECT_TRUE(DBInfo->Relations.empty());
    EXPECT_FALSE(MetadataLoaded);
    Dialogs.Messages.clear();
    EXPECT_TRUE(f.FormCloseQuery());
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
}

TEST_F(DlgDbServerTest, ReloadsTakeTheSameDatabaseAgain) {
    TMainForm& f = Make();
    ASSERT_TRUE(RunDialog(f, Db->Path(), FbPassword()));
    const TStringList unsaved = *UnsavedStatLines;
    const std::string caption = Caption(f);
    ASSERT_EQ(Table("CUSTOMERS")->Records, 120);
    f.Widgets().tbSaveStat->setEnabled(false);

    TCommandResult r = Db->Exec(
        "set term ^;\nexecute block as declare i integer = 120; begin\n"
        "  while (i < 150) do begin insert into CUSTOMERS values (:i, 'More', 'City'); i = i + 1; end\nend^\n"
        "set term ;^\ncommit;\n");
    ASSERT_EQ(r.Status, 0) << r.Output;
    f.Widgets().ReloadAllItem->trigger();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    ASSERT_NE(Table("CUSTOMERS"), nullptr);
    EXPECT_EQ(Table("CUSTOMERS")->Records, 150);
    EXPECT_EQ(Table("CUSTOMERS")->Fields.size(), 3u) << "metadata is read again";
    EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), static_cast<int>(DBInfo->Relations.size()));
    EXPECT_TRUE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_EQ(Caption(f), caption);
    EXPECT_EQ(*UnsavedStatLines, unsaved);
    EXPECT_EQ(DM->IBStatService->Options, kFullStatOptions);

    // Header only: the transaction counters move, the tables stay as they are.
    const int32_t next = DBInfo->NxT;
    const std::vector<TRelation*> tables = DBInfo->Relations;
    ASSERT_EQ(Db->Exec("insert into ORDERS values (1000, 1, 1);\ncommit;\n").Status, 0);
    f.Widgets().tbSaveStat->setEnabled(false);
    f.ReloadStatHeaderClick();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_GT(DBInfo->NxT, next);
    EXPECT_EQ(DBInfo->Relations, tables);
    EXPECT_EQ(Table("ORDERS")->Records, 120);
    EXPECT_TRUE(f.Widgets().tbSaveStat->isEnabled());
    EXPECT_EQ(DM->IBStatService->Options, kFullStatOptions) << "the reload keeps the dialog's options";
}

TEST_F(DlgDbServerTest, AFailedReloadLeavesTheServiceDetachedAndItsOptionsAsTheyWere) {
    TMainForm& f = Make();
    ASSERT_TRUE(RunDialog(f, Db->Path(), FbPassword(), true));
    const int32_t next = DBInfo->NxT;
    ASSERT_EQ(DM->IBStatService->Options, kHeaderStatOptions);
    // The database goes away between the run and the reload.
    const std::string path = Db->Path();
    Db.reset();
    Dialogs.Messages.clear();
    f.Widgets().ReloadAllItem->trigger();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_NE(Dialogs.LastText().find(path), std::string::npos) << Dialogs.LastText();
    EXPECT_FALSE(DM->IBStatService->Active());
    EXPECT_EQ(DM->IBStatService->Options, kHeaderStatOptions);
    EXPECT_EQ(DBInfo->NxT, next);
    EXPECT_EQ(Caption(f), "Dravolt 2.7. Unsaved from localhost:" + path);

    // RefreshStatistics on its own: the error reaches the caller.
    TStringList lines;
    EXPECT_THROW(RefreshStatistics(lines, false), std::exception);
    EXPECT_FALSE(DM->IBStatService->Active());
    EXPECT_EQ(DM->IBStatService->Options, kHeaderStatOptions);
    EXPECT_TRUE(lines.empty());
}

// Over the proxy a statistics run makes connection 1 (the service), the
// database size connection 2 and the metadata connection 3. An attach of
// the service takes 4 requests and the start a 5th; a database attach
// takes 5, and the metadata query's prepare is the 7th.
class DlgDbNetFaultTest : public DlgDbServerTest {
protected:
    void SetUp() override {
        DlgDbServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(Proxy.Listening());
        setenv(kServerTimeoutVariable, "1", 1);
        TGetServStatDlg::EventInterval = 0;
    }
    void TearDown() override {
        unsetenv(kServerTimeoutVariable);
        DlgDbServerTest::TearDown();
    }
    static double Since(std::chrono::steady_clock::time_point t) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    }
    TFaultProxy Proxy;
};

using TMode = TFaultProxy::TMode;

TEST_F(DlgDbNetFaultTest, ARunOnAFailingLinkEndsAtCancelOrWithItsReasonAndTheNextRunSucceeds) {
    struct Case {
        const char* name;
        TMode mode;
        size_t count;
        std::function<void(TGetServStatDlg&)> cancel;   // none: waits for the timeout
        const char* says;                                // the message; none after a cancel
        bool close = false;   // then the window closes while the link still stalls
    } cases[] = {
        {"never answers, Cancel", TMode::Silent, 0, [](TGetServStatDlg& d) { d.btnCancel->click(); }, nullptr},
        {"never answers", TMode::Silent, 0, {}, "did not answer within 1 second"},
        {"stalls in the attach, close box", TMode::StallAfter, 2, [](TGetServStatDlg& d) { d.close(); }, nullptr},
        {"stalls in the start", TMode::StallAfter, 4, {}, "did not answer within 1 second"},
        {"stalls before the first reply, Cancel", TMode::StallAfter, 5,
         [](TGetServStatDlg& d) { d.CancelBtn->click(); }, nullptr, true},
        {"drops mid-output", TMode::DropAfter, 1200, {}, "Error reading data from the connection"},
    };
    TMainForm* form = &Make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogs.Messages.clear();
        Proxy.SetMode(c.mode, c.count);
        // A cancelled wait would otherwise last far longer than any run on a
        // busy machine, so that a cancel that waited for it cannot pass.
        setenv(kServerTimeoutVariable, c.cancel ? "60" : "1", 1);
        // The user gives up a quarter of a second into the wait.
        QTimer poll;
        int ticks = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (c.cancel && GetServStatDlg && GetServStatDlg->Running() && ++ticks == 10) c.cancel(*GetServStatDlg);
        });
        poll.start(25);
        bool active = true;
        const TStringList unsaved = *UnsavedStatLines;
        const auto started = std::chrono::steady_clock::now();
        const bool loaded = RunDialog(
            *form, Db->Path(), FbPassword(), false, [&](TGetServStatDlg&) { active = DM->IBStatService->Active(); },
            Proxy.Server());
        poll.stop();
        if (c.cancel) {
            EXPECT_EQ(ticks, 10) << "the wait was over before the user could cancel";
            EXPECT_LT(Since(started), 10.0) << "the cancel waited for the timeout";
            EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        }
        EXPECT_FALSE(loaded);
        EXPECT_FALSE(active);
        EXPECT_LT(Since(started), 10.0);
        if (c.says) {
            ASSERT_EQ(Dialogs.Messages.size(), 1u);
            EXPECT_NE(Dialogs.LastText().find(c.says), std::string::npos) << Dialogs.LastText();
            EXPECT_EQ(Dialogs.LastText().find("rejected"), std::string::npos) << Dialogs.LastText();
        }
        EXPECT_EQ(*UnsavedStatLines, unsaved);
        setenv(kServerTimeoutVariable, "1", 1);
        if (c.close) {
            // The given-up run's query still waits on the server: the end of
            // the window and of the data module does not.
            const auto closing = std::chrono::steady_clock::now();
            Form.reset();
            FreeDataModule();
            EXPECT_LT(Since(closing), 5.0);
            InitStatisticsModel();
            InitDatabaseLists();
            form = &Make();
        }
        Proxy.CutAll();

        Proxy.SetMode(TMode::Forward);
        Dialogs.Messages.clear();
        EXPECT_TRUE(RunDialog(*form, Db->Path(), FbPassword(), false, {}, Proxy.Server()));
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_NE(Table("CUSTOMERS"), nullptr);
        EXPECT_TRUE(MetadataLoaded);
    }
}

// A run that took the statistics whole keeps them when the database size or
// the metadata cannot be read after it: shown without what failed, with a
// message that says what it was, and not offered for saving as a file with
// metadata.
TEST_F(DlgDbNetFaultTest, AFailedSizeOrMetadataReadKeepsTheStatisticsWithoutIt) {
    struct Case {
        const char* name;
        int connection;   // of the run: 2 the size, 3 the metadata
        TMode mode;
        size_t count;
        std::vector<std::string> says;
        bool size;        // the size was read
    } cases[] = {
        {"size never answers", 2, TMode::Silent, 0,
         {"The statistics were taken, but the size of the database could not be read",
          "did not answer within 1 second", "metadata was not read either"},
         false},
        {"metadata stalls", 3, TMode::StallAfter, 7,
         {"metadata could not be read: the connection to the server failed", "did not answer within 1 second"},
         true},
        {"metadata drops", 3, TMode::DropAfter, 700,
         {"metadata could not be read: the connection to the server failed"}, true},
    };
    TMainForm& f = Make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogs.Messages.clear();
        Proxy.SetMode(c.mode, c.count, Proxy.Accepted() + c.connection);
        EXPECT_TRUE(RunDialog(f, Db->Path(), FbPassword(), false, {}, Proxy.Server()));
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        for (const std::string& part : c.says)
            EXPECT_NE(Dialogs.LastText().find(part), std::string::npos) << part << " in\n" << Dialogs.LastText();
        EXPECT_EQ(Dialogs.LastText().find("gbak"), std::string::npos) << "the database is not to blame";
        ASSERT_NE(Table("CUSTOMERS"), nullptr);
        EXPECT_EQ(Table("CUSTOMERS")->Records, 120);
        EXPECT_EQ(FrTableStat->vstTblStat->RootNodeCount(), static_cast<int>(DBInfo->Relations.size()));
        EXPECT_EQ(DBInfo->DBSize > 0, c.size);
        EXPECT_TRUE(Table("CUSTOMERS")->Fields.empty());
        EXPECT_FALSE(MetadataLoaded);
        EXPECT_FALSE(FrIndexStat->vstIdxStat->Header().Columns[8].Visible());
        EXPECT_FALSE(f.Widgets().SaveStatFile->isEnabled());
        EXPECT_FALSE(f.Widgets().tbSaveStat->isEnabled());
        EXPECT_TRUE(UnsavedStatLines->empty());
        EXPECT_TRUE(f.Widgets().tbRefresh->isEnabled());
        Proxy.CutAll();
        Proxy.SetMode(TMode::Forward);

        // A reload over a sound link brings what was missing.
        Dialogs.Messages.clear();
        f.Widgets().ReloadAllItem->trigger();
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_GT(DBInfo->DBSize, 0);
        EXPECT_TRUE(MetadataLoaded) << "the metadata was wanted";
        EXPECT_EQ(Table("CUSTOMERS")->Fields.size(), 3u);
        EXPECT_TRUE(f.Widgets().tbSaveStat->isEnabled());
    }
}

// A reload waits for the server with the window alive and, after half a
// second, a small window whose Cancel ends the wait at once; the statistics
// shown stay as they were.
TEST_F(DlgDbNetFaultTest, AReloadOnAStalledLinkShowsAWaitThatCancels) {
    setenv(kServerTimeoutVariable, "30", 1);   // only the cancel ends these waits
    TMainForm& f = Make();
    ASSERT_TRUE(RunDialog(f, Db->Path(), FbPassword(), false, {}, Proxy.Server()));
    ASSERT_TRUE(MetadataLoaded);
    struct Case {
        const char* name;
        bool full;
        int connection;   // of the reload: 1 the service, 3 the metadata
        TMode mode;
        size_t count;
        bool metadata;    // left loaded
    } cases[] = {
        {"header, never answers", false, 1, TMode::Silent, 0, true},
        {"all, stalls before the first reply", true, 1, TMode::StallAfter, 5, true},
        {"all, stalls in the metadata", true, 3, TMode::StallAfter, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dialogs.Messages.clear();
        const std::vector<TRelation*> tables = DBInfo->Relations;
        Proxy.SetMode(c.mode, c.count, Proxy.Accepted() + c.connection);
        bool shown = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (ServerWaitWindow && ServerWaitWindow->isVisible() && !shown) {
                shown = true;
                ServerWaitCancel->click();
            }
        });
        poll.start(25);
        const auto started = std::chrono::steady_clock::now();
        (c.full ? f.Widgets().ReloadAllItem : f.Widgets().ReloadHeaderItem)->trigger();
        poll.stop();
        EXPECT_TRUE(shown);
        EXPECT_LT(Since(started), 10.0);
        EXPECT_EQ(ServerWaitWindow, nullptr);
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        EXPECT_FALSE(DM->IBStatService->Active());
        ASSERT_NE(Table("CUSTOMERS"), nullptr);
        if (c.connection == 1) {
            EXPECT_EQ(DBInfo->Relations, tables);
        }
        EXPECT_EQ(MetadataLoaded, c.metadata);
        EXPECT_EQ(!Table("CUSTOMERS")->Fields.empty(), c.metadata);
        Proxy.CutAll();
        Proxy.SetMode(TMode::Forward);
    }
    Dialogs.Messages.clear();
    f.ReloadStatHeaderClick();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
}

}  // namespace
}  // namespace dv::test
