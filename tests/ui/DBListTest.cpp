// The database list: what LoadList makes of the registry (also a damaged
// one), the order of the rows, opening and deleting entries and what that
// does to the registry.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdlib>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/stores/Registry.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"
#include "ui/views/dblistfr.h"

namespace dv::test {
namespace {

const std::string kServers = kServersKey;

class DBListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        setenv("DRAVOLT_CONFIG_DIR", Dir.path().toLocal8Bit().constData(), 1);
        InitDatabaseLists();
        ServerItems->clear();
        DatabaseItems->clear();
        Owner = std::make_unique<QWidget>();
        Owner->resize(600, 400);
        Frame = new TFrDBList(Owner.get());
        Frame->resize(600, 400);
        Tree = Frame->vstDBList;
    }

    void TearDown() override {
        Owner.reset();
        unsetenv("DRAVOLT_CONFIG_DIR");
    }

    // Writes what a statistics run records: the server's subkey (none for an
    // empty name) and one DWORD per database holding the protocol index.
    static void Record(const std::string& server, const std::vector<std::string>& databases, int protocol = 0) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServers, true));
        ASSERT_TRUE(reg.OpenKey(server, true)) << server;
        for (const std::string& db : databases) ASSERT_TRUE(reg.WriteInteger(db, protocol)) << db;
    }

    static void WriteLast(const std::string& server, const std::string& database) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(kServers, true));
        ASSERT_TRUE(reg.WriteString(kLastServerValue, server));
        ASSERT_TRUE(reg.WriteString(kLastDatabaseValue, database));
    }

    static std::vector<std::string> Values(const std::string& key) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        if (!reg.OpenKey(key, false)) return {"<no key>"};
        return reg.GetValueNames();
    }

    static bool KeyExists(const std::string& key) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        return reg.KeyExists(key);
    }

    std::string Text(PVirtualNode node) {
        std::string text;
        Frame->vstDBListGetText(Tree, node, 0, text);
        return text;
    }

    // The tree in pre-order: servers as they are, databases indented.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n))
            rows.push_back((Tree->GetNodeLevel(n) ? "  " : "") + Text(n));
        return rows;
    }

    PVirtualNode NodeByText(const std::string& text) {
        for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n))
            if (Text(n) == text) return n;
        return nullptr;
    }

    std::vector<std::string> ChildrenOf(const std::string& server) {
        std::vector<std::string> names;
        PVirtualNode node = Frame->FindServerNode(nullptr, server);
        if (!node) return {"<no server " + server + ">"};
        for (PVirtualNode c = Tree->GetFirstChild(node); c; c = Tree->GetNextSibling(c)) names.push_back(Text(c));
        return names;
    }

    // A server entry and its databases added as a statistics run adds them.
    PVirtualNode AddServer(const std::string& server, const std::string& user, const std::string& password,
                           const std::vector<std::string>& databases) {
        auto* s = new TDatabaseItem{server, "", password, user};
        PVirtualNode node = Frame->AddEntry(nullptr, s);
        for (const std::string& db : databases) Frame->AddEntry(node, new TDatabaseItem{server, db, "", ""});
        return node;
    }

    QTemporaryDir Dir;
    ScriptedDialogs Dialogs;
    std::unique_ptr<QWidget> Owner;
    TFrDBList* Frame = nullptr;
    TVirtualStringTree* Tree = nullptr;
};

TEST_F(DBListTest, WithoutTheServerKeyTheKeyIsCreatedAndTheListIsEmpty) {
    ASSERT_FALSE(KeyExists(kServers));
    Frame->LoadList();
    EXPECT_TRUE(KeyExists(kServers));
    EXPECT_EQ(Tree->RootNodeCount(), 0);
    EXPECT_TRUE(ServerItems->empty());
    EXPECT_TRUE(DatabaseItems->empty());
    EXPECT_EQ(FrDBList, Frame);
}

TEST_F(DBListTest, ServersAndDatabasesComeFromTheRegistrySortedAndExpanded) {
    Record("zeta", {"/data/b.fdb", "/data/a.fdb"}, 0);
    Record("Alpha", {"C:\\Program Files\\Db\\EMPLOYEE.FDB", "D:\\x.gdb"}, 1);
    Record("10.0.0.7", {"srv2:/var/db/remote.fdb"}, 0);
    Record("empty-server", {});
    // The values of the server key itself are not read: neither the last run
    // nor a database taken with the local protocol.
    Record("", {"/tmp/local.fdb"}, 2);
    WriteLast("zeta", "/data/a.fdb");

    Frame->LoadList();
    const std::vector<std::string> expected = {
        "10.0.0.7",     "  srv2:/var/db/remote.fdb",
        "Alpha",        "  C:\\Program Files\\Db\\EMPLOYEE.FDB", "  D:\\x.gdb",
        "empty-server",
        "zeta",         "  /data/a.fdb", "  /data/b.fdb",
    };
    EXPECT_EQ(Rows(), expected);
    for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNextSibling(n))
        EXPECT_TRUE(Tree->ChildCount(n) == 0 || Tree->Expanded(n)) << Text(n);
    EXPECT_EQ(ServerItems->size(), 4u);
    EXPECT_EQ(DatabaseItems->size(), 5u);

    for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNext(n)) {
        TDatabaseItem* e = TFrDBList::EntryOf(n);
        ASSERT_NE(e, nullptr);
        const bool database = Tree->GetNodeLevel(n) == 1;
        EXPECT_EQ(e->User, "SYSDBA");
        EXPECT_EQ(e->Password, database ? "tansyroo" : "tansyroot") << Text(n);
        if (database) {
            ASSERT_NE(TFrDBList::EntryOf(Tree->GetParent(n)), nullptr);
            EXPECT_EQ(e->Server, TFrDBList::EntryOf(Tree->GetParent(n))->Server);
        }
        for (TVTImageKind kind : {ikNormal, ikSelected}) {
            bool ghosted = false;
            int image = -1;
            Frame->vstDBListGetImageIndex(Tree, n, kind, 0, ghosted, image);
            EXPECT_EQ(image, database ? imgDatabase : imgServer) << Text(n);
        }
        bool ghosted = false;
        int image = -1;
        Frame->vstDBListGetImageIndex(Tree, n, ikState, 0, ghosted, image);
        EXPECT_EQ(image, -1) << "state images are not answered";
    }
    EXPECT_EQ(Tree->Images.Count(), 2);
}

TEST_F(DBListTest, OnlyTheExactNamesOfTheLastRunAreLeftOut) {
    Record("exact", {"LastServer", "LastDatabase", "/db/b.fdb"});
    Record("other-case", {"lastserver", "LASTDATABASE", "/db/a.fdb"});
    Frame->LoadList();
    EXPECT_EQ(ChildrenOf("exact"), std::vector<std::string>{"/db/b.fdb"});
    std::vector<std::string> others = ChildrenOf("other-case");
    std::sort(others.begin(), others.end());
    EXPECT_EQ(others, (std::vector<std::string>{"/db/a.fdb", "LASTDATABASE", "lastserver"}));
    ASSERT_EQ(Tree->FocusedNode(), nullptr);
}

TEST_F(DBListTest, LoadingAgainReplacesEveryEntry) {
    Record("host", {"/db/a.fdb"});
    Frame->LoadList();
    Record("other", {"/db/b.fdb"});
    Frame->LoadList();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"host", "  /db/a.fdb", "other", "  /db/b.fdb"}));
    EXPECT_EQ(ServerItems->size(), 2u);
    EXPECT_EQ(DatabaseItems->size(), 2u);
}

TEST_F(DBListTest, ADamagedRegistryFileGivesWhatCanBeRead) {
    // Torn lines, unknown roots and kinds, broken escapes, bytes that are no
    // UTF-8, a nested key below a server, a key path with empty parts.
    const std::string text =
        "DRAVOLT-REGISTRY 1\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmaris\\Dravolt\\Servers]\n"
        "s LastServer=good\n"
        "i LastDatabase=not a number\n"
        "garbage without kind\n"
        "x odd=1\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmaris\\Dravolt\\Servers\\good]\n"
        "i /db/one.fdb=0\n"
        "i =0\n"
        "s /db/two%ZZ.fdb=text instead of a number\n"
        "i C%3A%5Cdb%5Cthree.fdb=1\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmaris\\Dravolt\\Servers\\good\\nested]\n"
        "i /db/nested.fdb=0\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmaris\\Dravolt\\Servers\\\xff\xfe-host]\n"
        "i \xc3\x28.fdb=0\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Kelmaris\\Dravolt\\Servers\\\\spaced]\n"
        "[NO_SUCH_ROOT\\SOFTWARE\\Kelmaris\\Dravolt\\Servers\\ghost]\n"
        "i /db/ghost.fdb=0\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kelmaris\\Dravolt\\Servers\\torn";
    WriteFile(ConfigDir() + "/registry", text);

    Frame->LoadList();
    const std::vector<std::string> rows = Rows();
    std::vector<std::string> servers;
    for (PVirtualNode n = Tree->GetFirst(); n; n = Tree->GetNextSibling(n)) servers.push_back(Text(n));
    ASSERT_EQ(servers.size(), 3u) << ::testing::PrintToString(rows);
    EXPECT_EQ(ChildrenOf("good"), (std::vector<std::string>{"/db/one.fdb", "/db/two%ZZ.fdb", "C:\\db\\three.fdb"}));
    EXPECT_EQ(ChildrenOf("spaced"), std::vector<std::string>{});
    EXPECT_EQ(ChildrenOf("\xff\xfe-host"), std::vector<std::string>{"\xc3\x28.fdb"});
    // Painting the undecodable names must not fail either.
    Frame->show();
    Tree->grab();
}

TEST_F(DBListTest, AStoreThatCannotBeReadOrWrittenGivesAnEmptyList) {
    // The store's file is a folder: nothing can be read, the key cannot be made.
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("registry")));
    Frame->LoadList();
    EXPECT_EQ(Tree->RootNodeCount(), 0);
}

TEST_F(DBListTest, FindServerNodeMatchesTopLevelNamesExactly) {
    Record("Host", {"/db/a.fdb"});
    Record("other", {"/db/Host"});
    Frame->LoadList();
    PVirtualNode host = Frame->FindServerNode(nullptr, "Host");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(Text(host), "Host");
    EXPECT_EQ(Frame->FindServerNode(nullptr, "host"), nullptr) << "case-sensitive";
    EXPECT_EQ(Frame->FindServerNode(nullptr, "/db/Host"), nullptr);
    EXPECT_EQ(Frame->FindServerNode(nullptr, ""), nullptr);
    // Below a server every database carries that server's name.
    EXPECT_EQ(Frame->FindServerNode(host, "Host"), Tree->GetFirstChild(host));
}

TEST_F(DBListTest, AddedEntriesShowUnderTheirServer) {
    Frame->LoadList();
    PVirtualNode server = AddServer("new-host", "ADMIN", "secret", {"/db/z.fdb", "/db/a.fdb"});
    EXPECT_TRUE(Tree->Expanded(server));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"new-host", "  /db/z.fdb", "  /db/a.fdb"}));
    // Entries added after the load are not in the load's lists.
    EXPECT_TRUE(ServerItems->empty());
    EXPECT_TRUE(DatabaseItems->empty());
}

TEST_F(DBListTest, HeaderClicksFlipTheDirectionAndSortByWhatIsFocused) {
    Record("b-host", {"/db/3.fdb", "/db/1.fdb", "/db/2.fdb"});
    Record("a-host", {"/db/9.fdb", "/db/8.fdb"});
    Record("c-host", {"/db/5.fdb"});
    Frame->LoadList();
    ASSERT_EQ(Tree->Header().SortColumn(), 0);
    ASSERT_EQ(Tree->Header().SortDirection(), sdAscending);

    // A database focused: databases by path within each server; the servers
    // compare equal and keep their order.
    Tree->SetFocusedNode(NodeByText("/db/1.fdb"));
    Frame->vstDBListHeaderClick(Tree, 0);
    EXPECT_EQ(Tree->Header().SortDirection(), sdDescending);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a-host", "  /db/9.fdb", "  /db/8.fdb", "b-host", "  /db/3.fdb",
                                                "  /db/2.fdb", "  /db/1.fdb", "c-host", "  /db/5.fdb"}));

    // A server focused: servers by name; databases keep their order.
    Tree->SetFocusedNode(NodeByText("b-host"));
    Frame->vstDBListHeaderClick(Tree, 0);
    EXPECT_EQ(Tree->Header().SortDirection(), sdAscending);
    Frame->vstDBListHeaderClick(Tree, 0);
    EXPECT_EQ(Tree->Header().SortDirection(), sdDescending);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"c-host", "  /db/5.fdb", "b-host", "  /db/3.fdb", "  /db/2.fdb",
                                                "  /db/1.fdb", "a-host", "  /db/9.fdb", "  /db/8.fdb"}));
}

TEST_F(DBListTest, NamesCompareCaseSensitivelyAndEntrylessNodesDecideNothing) {
    TDatabaseItem upper{"Host", "", "", ""}, lower{"host", "", "", ""}, same{"Host", "", "", ""};
    PVirtualNode a = Tree->AddChild(nullptr, reinterpret_cast<intptr_t>(new TDatabaseItem(upper)));
    PVirtualNode b = Tree->AddChild(nullptr, reinterpret_cast<intptr_t>(new TDatabaseItem(lower)));
    PVirtualNode c = Tree->AddChild(nullptr, reinterpret_cast<intptr_t>(new TDatabaseItem(same)));
    PVirtualNode none = Tree->AddChild(nullptr, 0);
    Tree->SetFocusedNode(nullptr);
    int ab = 7, ac = 7, an = 7;
    Frame->vstDBListCompareNodes(Tree, a, b, 0, ab);
    Frame->vstDBListCompareNodes(Tree, a, c, 0, ac);
    Frame->vstDBListCompareNodes(Tree, a, none, 0, an);
    EXPECT_NE(ab, 0);
    EXPECT_EQ(ac, 0);
    EXPECT_EQ(an, 7) << "the result stays untouched";
    std::string text = "untouched";
    Frame->vstDBListGetText(Tree, none, 0, text);
    EXPECT_EQ(text, "untouched");
}

TEST_F(DBListTest, ExpandingSortsTheChildrenInTheHeadersDirection) {
    Record("host", {"/db/b.fdb", "/db/c.fdb", "/db/a.fdb"});
    Frame->LoadList();
    PVirtualNode host = NodeByText("host");
    Tree->SetExpanded(host, false);
    Tree->Header().SetSortDirection(sdDescending);
    Tree->SetFocusedNode(nullptr);
    Tree->SetExpanded(host, true);
    EXPECT_TRUE(Tree->Expanded(host));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"host", "  /db/c.fdb", "  /db/b.fdb", "  /db/a.fdb"}));
}

TEST_F(DBListTest, OpeningADatabaseTakesMissingCredentialsFromItsServer) {
    Frame->LoadList();
    AddServer("host", "ADMIN", "secret", {"/db/a.fdb"});
    std::vector<TDatabaseItem> opened;
    int calls = 0;
    Frame->OnOpenEntry = [&](TDatabaseItem* e) {
        ++calls;
        if (e) opened.push_back(*e);
        return true;
    };
    PVirtualNode db = NodeByText("/db/a.fdb");
    Tree->SetFocusedNode(db);
    Frame->vstDBListColumnDblClick(Tree, 0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].Server, "host");
    EXPECT_EQ(opened[0].Database, "/db/a.fdb");
    EXPECT_EQ(opened[0].User, "ADMIN");
    EXPECT_EQ(opened[0].Password, "secret");
    EXPECT_EQ(TFrDBList::EntryOf(db)->User, "") << "the list's own entry is left as it was";

    // Credentials of its own are kept; a server opens with its own.
    TFrDBList::EntryOf(db)->User = "READER";
    TFrDBList::EntryOf(db)->Password = "pw";
    Frame->mOpenSrvClick();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].User, "READER");
    EXPECT_EQ(opened[1].Password, "pw");
    Tree->SetFocusedNode(NodeByText("host"));
    Frame->vstDBListColumnDblClick(Tree, 0);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2].Database, "");
    EXPECT_EQ(opened[2].User, "ADMIN");

    // Nothing focused: the dialog opens without an entry.
    Tree->SetFocusedNode(nullptr);
    Frame->mOpenSrvClick();
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_TRUE(Dialogs.Messages.empty());
}

TEST_F(DBListTest, DeletingADatabaseAsksAndRemovesOnlyItsValue) {
    Record("host", {"C:\\db\\a.fdb", "/db/b.fdb"});
    Record("other", {"C:\\db\\a.fdb"});
    Frame->LoadList();
    PVirtualNode db = NodeByText("C:\\db\\a.fdb");
    Tree->SetFocusedNode(db);

    Dialogs.Answer(mrNo);
    Frame->DeleteDBItemClickClick();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Delete database record \r\nC:\\db\\a.fdb\r\nfrom list?");
    EXPECT_EQ(Dialogs.Messages[0].Type, mtConfirmation);
    EXPECT_EQ(Dialogs.Messages[0].Buttons, mbYes | mbNo);
    EXPECT_EQ(Rows().size(), 5u);
    EXPECT_EQ(Values(kServers + "\\host").size(), 2u);

    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    EXPECT_EQ(Values(kServers + "\\host"), std::vector<std::string>{"/db/b.fdb"});
    EXPECT_EQ(Values(kServers + "\\other"), std::vector<std::string>{"C:\\db\\a.fdb"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"host", "  /db/b.fdb", "other", "  C:\\db\\a.fdb"}));
}

TEST_F(DBListTest, DeletingAServerRemovesItsKeyRowsAndEntries) {
    Record("host", {"/db/a.fdb", "/db/b.fdb"});
    Record("other", {"/db/c.fdb"});
    WriteLast("host", "/db/a.fdb");
    Frame->LoadList();
    Tree->SetFocusedNode(NodeByText("host"));
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Delete server record \r\nhost\r\nfrom list?");
    EXPECT_EQ(Dialogs.Messages[0].Type, mtWarning);
    EXPECT_FALSE(KeyExists(kServers + "\\host"));
    EXPECT_TRUE(KeyExists(kServers + "\\other"));
    EXPECT_EQ(Values(kServers), (std::vector<std::string>{"LastServer", "LastDatabase"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"other", "  /db/c.fdb"}));
    // The load's lists keep no freed entry.
    EXPECT_EQ(ServerItems->size(), 1u);
    EXPECT_EQ(DatabaseItems->size(), 1u);
    EXPECT_EQ(Text(Tree->GetFirst()), ServerItems->front()->Server);

    // The focus moved to a row that is still there: deleting again works on it.
    PVirtualNode focused = Tree->FocusedNode();
    if (focused) {
        Dialogs.Answer(mrNo);
        Frame->DeleteDBItemClickClick();
        EXPECT_NE(Dialogs.LastText().find(Text(focused)), std::string::npos);
    }
}

TEST_F(DBListTest, DeletingGoesOnWhenTheRegistryHasNothingToDelete) {
    Record("host", {"/db/a.fdb"});
    Frame->LoadList();
    {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.DeleteKey(kServers));
    }
    Tree->SetFocusedNode(NodeByText("/db/a.fdb"));
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    EXPECT_EQ(Rows(), std::vector<std::string>{"host"});
    Tree->SetFocusedNode(NodeByText("host"));
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    EXPECT_EQ(Tree->RootNodeCount(), 0);
    EXPECT_FALSE(KeyExists(kServers)) << "deleting creates nothing";
}

TEST_F(DBListTest, DeletingWithNothingFocusedDoesNothing) {
    Record("host", {"/db/a.fdb"});
    Frame->LoadList();
    Tree->SetFocusedNode(nullptr);
    Frame->DeleteDBItemClickClick();
    EXPECT_TRUE(Dialogs.Messages.empty());
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(DBListTest, DeletingTheLocalServerKeepsTheServerKeyAndTheOtherServers) {
    // Local runs keep their databases in the server key itself; the row of
    // the server without a name exists until the program ends.
    Record("", {"/tmp/local1.fdb", "/tmp/local2.fdb", "/tmp/kept.fdb"}, 2);
    Record("host", {"/db/a.fdb"});
    WriteLast("", "/tmp/local1.fdb");
    Frame->LoadList();
    PVirtualNode local = AddServer("", "SYSDBA", "pw", {"/tmp/local1.fdb", "/tmp/local2.fdb"});
    EXPECT_EQ(Text(local), "");

    Tree->SetFocusedNode(local);
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    EXPECT_TRUE(KeyExists(kServers + "\\host"));
    EXPECT_EQ(Values(kServers), (std::vector<std::string>{"/tmp/kept.fdb", "LastServer", "LastDatabase"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"host", "  /db/a.fdb"}));

    // One local database at a time.
    local = AddServer("", "SYSDBA", "pw", {"/tmp/kept.fdb", "LastDatabase"});
    Tree->SetFocusedNode(NodeByText("/tmp/kept.fdb"));
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    Tree->SetFocusedNode(NodeByText("LastDatabase"));
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    EXPECT_EQ(Values(kServers), (std::vector<std::string>{"LastServer", "LastDatabase"}));
    EXPECT_EQ(Tree->ChildCount(local), 0);
}

TEST_F(DBListTest, AServerNameWithBackslashesDeletesNoOtherKey) {
    // "\\name" would be a path from the root key, "a\\b" one below "a".
    {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey("\\evil", true));
    }
    Record("a", {"/db/a.fdb"});
    Frame->LoadList();
    for (const std::string name : {"\\evil", "a\\b", "\\SOFTWARE"}) {
        PVirtualNode node = AddServer(name, "SYSDBA", "pw", {"/db/a.fdb"});
        Tree->SetFocusedNode(node);
        Dialogs.Answer(mrYes);
        Frame->DeleteDBItemClickClick();
        EXPECT_EQ(Frame->FindServerNode(nullptr, name), nullptr) << name;
    }
    EXPECT_TRUE(KeyExists("\\evil"));
    EXPECT_TRUE(KeyExists(kServers + "\\a"));
    EXPECT_EQ(Values(kServers + "\\a"), std::vector<std::string>{"/db/a.fdb"});
}

TEST_F(DBListTest, ThePopupMenuActsOnTheRowUnderTheMouse) {
    ASSERT_NE(Frame->PopupMenu1, nullptr);
    const QList<QAction*> items = Frame->PopupMenu1->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "Open existing or create new");
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Delete from list");

    Record("host", {"/db/a.fdb"});
    Frame->LoadList();
    Owner->show();
    PVirtualNode db = NodeByText("/db/a.fdb");
    const QPoint onRow = Tree->visualRect(Tree->IndexOf(db)).center();
    emit Tree->customContextMenuRequested(onRow);
    Frame->PopupMenu1->hide();
    EXPECT_EQ(Tree->FocusedNode(), db);
    EXPECT_TRUE(Frame->DeleteDBItemClick->isEnabled());

    emit Tree->customContextMenuRequested(QPoint(5, Tree->viewport()->height() - 5));
    Frame->PopupMenu1->hide();
    EXPECT_EQ(Tree->FocusedNode(), nullptr);
    EXPECT_FALSE(Frame->DeleteDBItemClick->isEnabled());
    TDatabaseItem* opened = reinterpret_cast<TDatabaseItem*>(1);
    Frame->OnOpenEntry = [&](TDatabaseItem* e) {
        opened = e;
        return false;
    };
    Frame->mOpenSrv->trigger();
    EXPECT_EQ(opened, nullptr) << "on empty space the dialog starts without an entry";
}

TEST_F(DBListTest, TheColumnFitsTheWidestPathAndFillsTheView) {
    const std::string longPath = "/very/long/path/" + std::string(120, 'x') + "/database.fdb";
    Record("host", {longPath, "/db/a.fdb"});
    Owner->show();
    Frame->LoadList();
    TVirtualTreeColumn& column = Tree->Header().Columns[0];
    EXPECT_EQ(column.Text(), "Server");
    EXPECT_GE(column.MinWidth(), 400);
    EXPECT_GE(column.Width(), Tree->GetMaxColumnWidth(0));
    EXPECT_GT(column.Width(), Tree->viewport()->width()) << "the long path is not cut";

    // Deleting the long path lets the column come back to the view's width.
    Tree->SetFocusedNode(NodeByText(longPath));
    Dialogs.Answer(mrYes);
    Frame->DeleteDBItemClickClick();
    EXPECT_EQ(column.Width(), std::max(Tree->viewport()->width(), column.MinWidth()));
    Frame->resize(1000, 400);
    Owner->resize(1000, 400);
    EXPECT_EQ(column.Width(), std::max(Tree->viewport()->width(), column.MinWidth()));
}

TEST_F(DBListTest, AHintShowsAPathThatDoesNotFitTheView) {
    const std::string longPath = "/very/long/path/" + std::string(150, 'y') + "/database.fdb";
    Record("host", {longPath, "/db/a.fdb"});
    Owner->show();
    Frame->LoadList();
    std::string hint;
    Frame->vstDBListGetHint(Tree, NodeByText(longPath), 0, hint);
    EXPECT_EQ(hint, longPath);
    hint.clear();
    Frame->vstDBListGetHint(Tree, NodeByText("/db/a.fdb"), 0, hint);
    EXPECT_EQ(hint, "");
}

TEST_F(DBListTest, AFrameThatGoesFreesItsEntriesAndLetsGoOfTheGlobal) {
    Record("host", {"/db/a.fdb"});
    Frame->LoadList();
    ASSERT_EQ(ServerItems->size(), 1u);
    Owner.reset();   // under the address sanitizer a leak or a double free fails here
    EXPECT_EQ(FrDBList, nullptr);
    EXPECT_TRUE(ServerItems->empty());
    EXPECT_TRUE(DatabaseItems->empty());
}

}  // namespace
}  // namespace dv::test
