// The server statistics dialog without a server: its controls, what it reads
// from the registry, how its boxes set the service's options, the checks
// before a run, the entry it is opened with, the width it remembers and how
// a run is recorded in the registry and the database list.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdlib>
#include <memory>

#include "model/options.h"
#include "server/DMData.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/DlgDbSupport.h"
#include "ui/window/main.h"

namespace dv::test {
namespace {

const std::string kServers = kServersKey;

std::vector<std::string> Items(const QComboBox* box) {
    std::vector<std::string> items;
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    return items;
}

std::string Text(const QComboBox* box) { return box->currentText().toStdString(); }

class DlgDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        setenv("DRAVOLT_CONFIG_DIR", Dir.path().toLocal8Bit().constData(), 1);
        OptionSettings = TOptionSettings();
        InitDatabaseLists();
        try {
            DM = new TDM(nullptr);
        } catch (const std::exception& e) {
            DM = nullptr;
            if (UnderCI()) FAIL() << e.what();
            GTEST_SKIP() << "no client library: " << e.what();
        }
        Owner = std::make_unique<QWidget>();
        new TFrDBList(Owner.get());
    }

    void TearDown() override {
        Owner.reset();
        FreeDataModule();
        OptionSettings = TOptionSettings();
        unsetenv("DRAVOLT_CONFIG_DIR");
    }

    static void Record(const std::string& server, const std::vector<std::string>& databases) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServers, true));
        ASSERT_TRUE(reg.OpenKey(server, true)) << server;
        for (const std::string& db : databases) ASSERT_TRUE(reg.WriteInteger(db, 0)) << db;
    }

    static void WriteLast(const std::string& server, const std::string& database) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServers, true));
        ASSERT_TRUE(reg.WriteString(kLastServerValue, server));
        ASSERT_TRUE(reg.WriteString(kLastDatabaseValue, database));
    }

    // A dialog shown without a modal loop, as a run would find it.
    std::unique_ptr<TGetServStatDlg> Shown() {
        auto dlg = std::make_unique<TGetServStatDlg>();
        dlg->show();
        return dlg;
    }

    QTemporaryDir Dir;
    ScriptedDialogs Dialogs;
    std::unique_ptr<QWidget> Owner;
};

TEST_F(DlgDbTest, ControlsCarryTheirCaptionsHintsAndStartingStates) {
    auto dlg = Shown();
    EXPECT_EQ(dlg->windowTitle().toStdString(), "Get Statistics via Services API");
    EXPECT_GE(dlg->width(), TGetServStatDlg::DesignWidth);
    EXPECT_GE(dlg->height(), TGetServStatDlg::DesignHeight);
    struct Caption {
        QWidget* widget;
        std::string text;
        std::string hint;
    } captions[] = {
        {dlg->lServerName, "Server Name", ""},
        {dlg->eServerName, "", "Choose or enter server name"},
        {dlg->sbServerName, "...", ""},
        {dlg->lDatabaseName, "Database Name", ""},
        {dlg->eDatabaseName, "", "Choose or enter database name at selected server"},
        {dlg->sbDBName, "...", ""},
        {dlg->lProtocol, "Protocol", ""},
        {dlg->cbProtocol, "TCP", "Specify connection protocol"},
        {dlg->cbRecords, "Include record/rec versions, etc.", "Take full table information from database"},
        {dlg->cbHeader, "Take only header page", "Do not take statistics about tables and indices"},
        {dlg->cbMetadata, "Load table/index metadata",
         "Take information from database about table structure, index fields and statistics"},
        {dlg->lNote1, "Statistics will contain useful records/versions", ""},
        {dlg->lNote2, "information only taken from IB 7.1 and FB 1.5 !", ""},
        {dlg->lNote3, "Use gstat -a -r for Firebird 1.0 and Yaffil", ""},
        {dlg->lUserName, "User", ""},
        {dlg->eUserName, "SYSDBA", ""},
        {dlg->lPassword, "Password", ""},
        {dlg->ePassword, "tansyroot", ""},
        {dlg->btnOk, "Run", ""},
        {dlg->btnCancel, "Cancel", ""},
        {dlg->CancelBtn, "Cancel", ""},
    };
    for (const Caption& c : captions) {
        std::string text;
        if (auto* l = qobject_cast<QLabel*>(c.widget)) text = l->text().toStdString();
        else if (auto* b = qobject_cast<QAbstractButton*>(c.widget)) text = b->text().toStdString();
        else if (auto* e = qobject_cast<QLineEdit*>(c.widget)) text = e->text().toStdString();
        else if (auto* x = qobject_cast<QComboBox*>(c.widget)) text = Text(x);
        EXPECT_EQ(text, c.text) << c.text;
        EXPECT_EQ(c.widget->toolTip().toStdString(), c.hint) << c.text;
    }
    EXPECT_EQ(Items(dlg->cbProtocol), (std::vector<std::string>{"TCP", "NetBEUI", "Local"}));
    EXPECT_TRUE(dlg->eServerName->isEditable());
    EXPECT_TRUE(dlg->eDatabaseName->isEditable());
    EXPECT_FALSE(dlg->cbProtocol->isEditable());
    EXPECT_TRUE(dlg->cbRecords->isChecked());
    EXPECT_FALSE(dlg->cbHeader->isChecked());
    EXPECT_TRUE(dlg->cbMetadata->isChecked());
    EXPECT_EQ(dlg->ePassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dlg->btnOk->isDefault());
    EXPECT_EQ(dlg->PageControl->currentWidget(), dlg->tsParam);
    EXPECT_TRUE(dlg->StatsMemo->isReadOnly());
    EXPECT_EQ(dlg->StatsMemo->toPlainText().toStdString(), "StatsMemo");
    // The notes are red.
    EXPECT_EQ(dlg->lNote1->palette().color(QPalette::WindowText).red(), 0xC0);
    EXPECT_EQ(DM->IBStatService->Options, kFullStatOptions);
}

TEST_F(DlgDbTest, ServersAndDatabasesComeFromTheRegistryWithTheLastOnesSelected) {
    Record("beta", {"/data/b1.fdb", "/data/B2.fdb", "/data/b2.fdb", "lastserver", "LastServer"});
    Record("alpha", {"/data/a1.fdb"});
    WriteLast("BETA", "/data/b2.fdb");
    auto dlg = Shown();
    EXPECT_EQ(Items(dlg->eServerName), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(Text(dlg->eServerName), "beta");
    // Server names ignore case, paths do not: two paths that differ in case
    // are two databases, and the exclusion of the two values is exact.
    EXPECT_EQ(Items(dlg->eDatabaseName),
              (std::vector<std::string>{"/data/b1.fdb", "/data/B2.fdb", "/data/b2.fdb", "lastserver"}));
    EXPECT_EQ(Text(dlg->eDatabaseName), "/data/b2.fdb");
    EXPECT_EQ(dlg->eDatabaseName->currentIndex(), 2);

    // Another known server: its databases; the last database is not one, so none is chosen.
    dlg->eServerName->setCurrentIndex(0);
    EXPECT_EQ(Items(dlg->eDatabaseName), (std::vector<std::string>{"/data/a1.fdb"}));
    EXPECT_EQ(Text(dlg->eDatabaseName), "");
    // A name the registry does not know leaves the list as it was.
    dlg->eDatabaseName->setEditText("/typed.fdb");
    dlg->eServerName->setEditText("gamma");
    EXPECT_EQ(Items(dlg->eDatabaseName), (std::vector<std::string>{"/data/a1.fdb"}));
    EXPECT_EQ(Text(dlg->eDatabaseName), "/typed.fdb");
}

TEST_F(DlgDbTest, AnEmptyRegistryGivesEmptyListsAndCreatesTheServerKey) {
    auto dlg = Shown();
    EXPECT_EQ(dlg->eServerName->count(), 0);
    EXPECT_EQ(dlg->eDatabaseName->count(), 0);
    EXPECT_EQ(Text(dlg->eServerName), "");
    EXPECT_TRUE(RegistryValueNames(kServers).empty());
}

TEST_F(DlgDbTest, LastValuesOfTheWrongTypeAreTakenAsAbsent) {
    Record("srv", {"/a.fdb", "/b.fdb"});
    {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServers, true));
        ASSERT_TRUE(reg.WriteInteger(kLastServerValue, 1));
        ASSERT_TRUE(reg.WriteInteger(kLastDatabaseValue, 2));
    }
    auto dlg = Shown();
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(Items(dlg->eServerName), std::vector<std::string>{"srv"});
    EXPECT_EQ(Text(dlg->eServerName), "");
    dlg->eServerName->setCurrentIndex(0);
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(Items(dlg->eDatabaseName), (std::vector<std::string>{"/a.fdb", "/b.fdb"}));
    EXPECT_EQ(Text(dlg->eDatabaseName), "");
}

TEST_F(DlgDbTest, LocalProtocolEmptiesTheServerAndOffersTheLocalDatabases) {
    Record("srv", {"/remote.fdb"});
    Record("", {"/local/one.fdb", "/local/two.fdb"});
    WriteLast("srv", "/local/two.fdb");
    auto dlg = Shown();
    EXPECT_EQ(Text(dlg->eServerName), "srv");
    dlg->cbProtocol->setCurrentIndex(2);
    EXPECT_EQ(Text(dlg->eServerName), "");
    EXPECT_FALSE(dlg->eServerName->isEnabled());
    EXPECT_FALSE(dlg->sbServerName->isEnabled());
    EXPECT_EQ(Items(dlg->eDatabaseName), (std::vector<std::string>{"/local/one.fdb", "/local/two.fdb"}));
    EXPECT_EQ(Text(dlg->eDatabaseName), "/local/two.fdb");
    dlg->cbProtocol->setCurrentIndex(1);
    EXPECT_TRUE(dlg->eServerName->isEnabled());
    EXPECT_TRUE(dlg->sbServerName->isEnabled());
}

TEST_F(DlgDbTest, TheBoxesSetTheServiceOptions) {
    struct Case {
        bool header;
        bool records;
        uint8_t before;   // options before Run
        uint8_t after;    // options after Run's first step
        bool metadata;    // what the caller is told about metadata
    } cases[] = {
        {false, true, 0x29, 0x29, true},
        {false, false, 0x29, 0x09, true},
        {true, true, 0x04, 0x04, false},
        {true, false, 0x04, 0x04, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.header) + "/" + std::to_string(c.records));
        auto dlg = Shown();
        dlg->cbRecords->setChecked(c.records);
        dlg->cbHeader->setChecked(c.header);
        EXPECT_EQ(dlg->cbRecords->isEnabled(), !c.header);
        EXPECT_EQ(dlg->cbMetadata->isEnabled(), !c.header);
        EXPECT_EQ(DM->IBStatService->Options, c.before);
        EXPECT_EQ(dlg->MetadataWanted(), c.metadata);
        // With no server the run goes no further than setting the options.
        Dialogs.Messages.clear();
        dlg->btnOk->click();
        EXPECT_EQ(DM->IBStatService->Options, c.after);
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
    }
    // A record box that is checked but disabled leaves the flag alone.
    auto dlg = Shown();
    dlg->cbHeader->setChecked(true);
    DM->IBStatService->Options = 0x24;
    dlg->btnOk->click();
    EXPECT_EQ(DM->IBStatService->Options, 0x24);
    // Clicking the metadata box sets the options from the header box again.
    dlg->cbHeader->setChecked(false);
    dlg->cbRecords->setChecked(false);
    dlg->cbMetadata->setChecked(false);
    EXPECT_EQ(DM->IBStatService->Options, 0x29);
    EXPECT_FALSE(dlg->MetadataWanted());
}

TEST_F(DlgDbTest, ADialogCancelledWithTheHeaderBoxCheckedLeavesNoHeaderOptionsBehind) {
    {
        auto dlg = Shown();
        dlg->cbHeader->setChecked(true);
        EXPECT_EQ(DM->IBStatService->Options, 0x04);
        dlg->btnCancel->click();
    }
    auto dlg = Shown();
    EXPECT_FALSE(dlg->cbHeader->isChecked());
    EXPECT_EQ(DM->IBStatService->Options, kFullStatOptions);
    // The remembered header choice is shown and applied.
    OptionSettings.HeaderPage = true;
    auto again = Shown();
    EXPECT_TRUE(again->cbHeader->isChecked());
    EXPECT_FALSE(again->cbRecords->isEnabled());
    EXPECT_EQ(DM->IBStatService->Options, kHeaderStatOptions);
}

TEST_F(DlgDbTest, MissingServerOrDatabaseIsExplainedBeforeAnythingRuns) {
    struct Case {
        int protocol;
        std::string server;
        std::string database;
        std::string message;   // empty: the input passes the check
    } cases[] = {
        {0, "", "/db.fdb", "Enter the name of the server, or choose the protocol \"Local\"."},
        {1, "   ", "/db.fdb", "Enter the name of the server, or choose the protocol \"Local\"."},
        {0, "srv", "", "Enter the name of the database."},
        {0, "srv", "  ", "Enter the name of the database."},
        {2, "", "", "Enter the name of the database."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server + "|" + c.database);
        Dialogs.Messages.clear();
        auto dlg = Shown();
        dlg->cbProtocol->setCurrentIndex(c.protocol);
        FillParams(*dlg, c.server, c.database, "SYSDBA", "pw");
        dlg->btnOk->click();
        ASSERT_EQ(Dialogs.Messages.size(), 1u);
        EXPECT_EQ(Dialogs.Messages[0].Text, c.message);
        EXPECT_EQ(Dialogs.Messages[0].Type, mtWarning);
        EXPECT_FALSE(DM->IBStatService->Active());
        EXPECT_EQ(dlg->PageControl->currentWidget(), dlg->tsParam);
        EXPECT_FALSE(dlg->Succeeded());
        EXPECT_EQ(RegistryValueNames(kServers), std::vector<std::string>{});
    }
}

TEST_F(DlgDbTest, TheDatabaseButtonOffersDatabaseFiles) {
    auto dlg = Shown();
    dlg->eDatabaseName->setEditText("/kept.fdb");
    Dialogs.ChooseFile("");
    dlg->sbDBName->click();
    EXPECT_EQ(Text(dlg->eDatabaseName), "/kept.fdb");
    Dialogs.ChooseFile("/data/chosen.fdb");
    dlg->sbDBName->click();
    EXPECT_EQ(Text(dlg->eDatabaseName), "/data/chosen.fdb");
    ASSERT_EQ(Dialogs.FileDialogs.size(), 2u);
    EXPECT_EQ(Dialogs.FileDialogs[0].Filter, "Database files (*.gdb, *.fdb, *.ib)|*.gdb;*.fdb;*.ib|All files |*.*");
}

TEST_F(DlgDbTest, AnEntryFillsTheFieldsAndEmptyCredentialsTakeTheDefaults) {
    Record("srvA", {"/a.fdb"});
    Record("srvB", {"/b1.fdb", "/b2.fdb"});
    WriteLast("srvA", "/a.fdb");
    struct Case {
        TDatabaseItem entry;
        std::string lastPassword;
        std::string user, password;
    } cases[] = {
        {{"srvB", "/b2.fdb", "secret", "ADMIN"}, "", "ADMIN", "secret"},
        {{"srvB", "/b2.fdb", "", ""}, "", "SYSDBA", "tansyroot"},
        {{"srvB", "/b2.fdb", "", ""}, "remembered", "SYSDBA", "tansyroot"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.entry.User + "/" + c.lastPassword);
        OptionSettings.LastPassword = c.lastPassword;
        std::string server, database, user, password;
        std::vector<std::string> databases;
        TStringList lines;
        bool metadata = true;
        TDialogStep step([&](TGetServStatDlg& dlg) {
            server = Text(dlg.eServerName);
            database = Text(dlg.eDatabaseName);
            databases = Items(dlg.eDatabaseName);
            user = dlg.eUserName->text().toStdString();
            password = dlg.ePassword->text().toStdString();
            dlg.btnCancel->click();
        });
        EXPECT_FALSE(ExecuteGetServStatDlg(&c.entry, lines, metadata));
        EXPECT_TRUE(step.Ran());
        EXPECT_EQ(server, "srvB");
        EXPECT_EQ(database, "/b2.fdb");
        EXPECT_EQ(databases, (std::vector<std::string>{"/b1.fdb", "/b2.fdb"}));
        EXPECT_EQ(user, c.user);
        EXPECT_EQ(password, c.password);
        EXPECT_TRUE(lines.empty());
    }
    // Without an entry the last password of the run is offered.
    OptionSettings.LastPassword = "remembered";
    std::string password;
    TStringList lines;
    bool metadata = false;
    TDialogStep step([&](TGetServStatDlg& dlg) { password = dlg.ePassword->text().toStdString(); });
    EXPECT_FALSE(ExecuteGetServStatDlg(nullptr, lines, metadata));
    EXPECT_EQ(password, "remembered");
    // Cancelled: the remembered choices stay as they were.
    EXPECT_FALSE(OptionSettings.HeaderPage);
    EXPECT_TRUE(OptionSettings.LoadMetadata);
    EXPECT_TRUE(metadata);
}

TEST_F(DlgDbTest, TheDialogReopensAtTheWidthItWasClosedAt) {
    TStringList lines;
    bool metadata = false;
    int first = 0, second = 0;
    {
        TDialogStep step([&](TGetServStatDlg& dlg) {
            first = dlg.width();
            dlg.resize(first + 150, dlg.height());
        });
        ExecuteGetServStatDlg(nullptr, lines, metadata);
    }
    EXPECT_GE(first, TGetServStatDlg::DesignWidth);
    EXPECT_EQ(OptionSettings.ServStatDlgWidth, first + 150);
    {
        TDialogStep step([&](TGetServStatDlg& dlg) { second = dlg.width(); });
        ExecuteGetServStatDlg(nullptr, lines, metadata);
    }
    EXPECT_EQ(second, first + 150);
}

TEST_F(DlgDbTest, ARunIsRecordedOncePerDatabaseUnderItsServer) {
    Record("known", {"/old.fdb"});
    FrDBList->LoadList();
    ASSERT_EQ(DBListText(), "[known]\n  /old.fdb\n");
    struct Case {
        int protocol;
        std::string server, database;
        std::string tree;         // the list afterwards
        std::string valueKey;     // where the database value lies
        std::vector<std::string> values;
    } cases[] = {
        // A new server: a new top-level node with the database under it.
        {0, "fresh", "/new.fdb", "[known]\n  /old.fdb\n[fresh]\n  /new.fdb\n", kServers + "\\fresh", {"/new.fdb"}},
        // A known server: the database is added under its node.
        {1, "known", "/second.fdb", "[known]\n  /old.fdb\n  /second.fdb\n[fresh]\n  /new.fdb\n",
         kServers + "\\known", {"/old.fdb", "/second.fdb"}},
        // Listed already: nothing is added. The server name ignores case.
        {0, "KNOWN", "/old.fdb", "[known]\n  /old.fdb\n  /second.fdb\n[fresh]\n  /new.fdb\n",
         kServers + "\\known", {"/old.fdb", "/second.fdb"}},
        // A path that differs in case is another file here: it is added.
        {0, "known", "/OLD.FDB", "[known]\n  /old.fdb\n  /second.fdb\n  /OLD.FDB\n[fresh]\n  /new.fdb\n",
         kServers + "\\known", {"/old.fdb", "/second.fdb", "/OLD.FDB"}},
        // Local: no server name, the value lies in the server key itself.
        {2, "", "/local.fdb", "[known]\n  /old.fdb\n  /second.fdb\n  /OLD.FDB\n[fresh]\n  /new.fdb\n[]\n  /local.fdb\n", kServers,
         {"LastServer", "LastDatabase", "/local.fdb"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server + ":" + c.database);
        auto dlg = Shown();
        dlg->cbProtocol->setCurrentIndex(c.protocol);
        FillParams(*dlg, c.server, c.database, "USER1", "pw1");
        DM->SetServiceParams(c.server, c.database, "USER1", "pw1", c.protocol);
        dlg->RecordRun();
        EXPECT_EQ(ReadRegistryString(kServers, "LastServer"), c.server);
        EXPECT_EQ(ReadRegistryString(kServers, "LastDatabase"), c.database);
        EXPECT_EQ(DBListText(), c.tree);
        EXPECT_EQ(RegistryValueNames(c.valueKey), c.values);
    }
    // The protocol is stored as the value's number; the entries carry the
    // credentials of the run.
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(kServers + "\\known", false));
    EXPECT_EQ(reg.ReadInteger("/second.fdb"), 1);
    PVirtualNode fresh = FrDBList->FindServerNode(nullptr, "fresh");
    ASSERT_NE(fresh, nullptr);
    TDatabaseItem* server = TFrDBList::EntryOf(fresh);
    TDatabaseItem* db = TFrDBList::EntryOf(FrDBList->vstDBList->GetFirstChild(fresh));
    EXPECT_EQ(server->Database, "");
    EXPECT_EQ(server->User, "USER1");
    EXPECT_EQ(server->Password, "pw1");
    EXPECT_EQ(db->Server, "fresh");
    EXPECT_EQ(db->Database, "/new.fdb");
    EXPECT_EQ(db->User, "USER1");
    EXPECT_EQ(db->Password, "pw1");
    // The registry keeps no password.
    const std::string store = ReadFile(Dir.path().toStdString() + "/registry");
    EXPECT_EQ(store.find("pw1"), std::string::npos);
}

TEST_F(DlgDbTest, WithoutADataModuleNothingRuns) {
    FreeDataModule();
    TStringList lines;
    bool metadata = false;
    EXPECT_FALSE(ExecuteGetServStatDlg(nullptr, lines, metadata));
    EXPECT_FALSE(RefreshStatistics(lines, true));
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace dv::test
