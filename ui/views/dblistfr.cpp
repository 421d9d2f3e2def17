// The database list. Nodes carry TDatabaseItem entries that the tree owns:
// every way a node goes (Clear, DeleteNode, the frame's end) frees its entry
// through vstDBListFreeNode.
#include "ui/views/dblistfr.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/system/Dialogs.h"
#include "platform/stores/Registry.h"
#include "platform/text/SysUtils.h"
#include "ui/window/Application.h"
#include "ui/window/main.h"

// The resources of a static library are registered by hand.
static void InitDBListResources() { Q_INIT_RESOURCE(dblist); }

namespace dv {

TFrDBList* FrDBList = nullptr;
std::vector<TDatabaseItem*>* ServerItems = nullptr;
std::vector<TDatabaseItem*>* DatabaseItems = nullptr;

void InitDatabaseLists() {
    if (!ServerItems) ServerItems = new std::vector<TDatabaseItem*>;
    if (!DatabaseItems) DatabaseItems = new std::vector<TDatabaseItem*>;
}

void FreeDatabaseLists() {
    delete ServerItems;
    ServerItems = nullptr;
    delete DatabaseItems;
    DatabaseItems = nullptr;
}

namespace {

bool IsReservedValue(const std::string& name) { return name == kLastServerValue || name == kLastDatabaseValue; }

// A server name that names exactly one subkey of the server key. A '\' would
// make the registry read it as a path (a leading one from the root key), so
// such a name never stands for a key of its own.
bool IsPlainKeyName(const std::string& name) { return !name.empty() && name.find('\\') == std::string::npos; }

void Forget(std::vector<TDatabaseItem*>* list, TDatabaseItem* entry) {
    if (list) std::erase(*list, entry);
}

}  // namespace

TFrDBList::TFrDBList(QWidget* owner) : QFrame(owner) {
    setObjectName(QStringLiteral("FrDBList"));
    SetupGrid();
    SetupMenu();
    if (!FrDBList) FrDBList = this;
}

TFrDBList::~TFrDBList() {
    // The grid drops its nodes without OnFreeNode when it goes; the entries
    // are freed here while the handlers still work.
    vstDBList->viewport()->removeEventFilter(this);
    vstDBList->Clear();
    if (FrDBList == this) FrDBList = nullptr;
}

void TFrDBList::SetupGrid() {
    InitDBListResources();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    vstDBList = new TVirtualStringTree(this);
    vstDBList->setObjectName(QStringLiteral("vstDBList"));
    layout->addWidget(vstDBList);

    vstDBList->SetFlatList(false);
    vstDBList->SetGridLines(false, false);
    vstDBList->setSelectionMode(QAbstractItemView::SingleSelection);
    // A double click opens the entry; it must not also fold its server.
    vstDBList->setExpandsOnDoubleClick(false);
    vstDBList->Images.AddResource(QStringLiteral(":/dblist/server.svg"));
    vstDBList->Images.AddResource(QStringLiteral(":/dblist/database.svg"));

    TVirtualTreeColumn& server = vstDBList->Header().Columns.Add("Server", 451);
    server.SetMinWidth(400);
    vstDBList->Header().SetVisible(true);
    vstDBList->Header().SetSortColumn(0);
    vstDBList->Header().SetSortDirection(sdAscending);

    vstDBList->OnGetText = [this](auto* s, auto n, auto c, std::string& t) { vstDBListGetText(s, n, c, t); };
    vstDBList->OnGetImageIndex = [this](auto* s, auto n, auto k, auto c, bool& g, int& i) {
        vstDBListGetImageIndex(s, n, k, c, g, i);
    };
    vstDBList->OnGetHint = [this](auto* s, auto n, auto c, std::string& h) { vstDBListGetHint(s, n, c, h); };
    vstDBList->OnCompareNodes = [this](auto* s, auto n1, auto n2, auto c, int& r) {
        vstDBListCompareNodes(s, n1, n2, c, r);
    };
    vstDBList->OnHeaderClick = [this](auto* s, auto c) { vstDBListHeaderClick(s, c); };
    vstDBList->OnExpanding = [this](auto* s, auto n, bool& a) { vstDBListExpanding(s, n, a); };
    vstDBList->OnFreeNode = [this](auto* s, auto n) { vstDBListFreeNode(s, n); };
    vstDBList->OnColumnDblClick = [this](auto* s, auto c) { RunGuarded([&] { vstDBListColumnDblClick(s, c); }); };
    vstDBList->viewport()->installEventFilter(this);
}

void TFrDBList::SetupMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    mOpenSrv = PopupMenu1->addAction(QStringLiteral("Open existing or create new"));
    mOpenSrv->setObjectName(QStringLiteral("mOpenSrv"));
    N1 = PopupMenu1->addSeparator();
    DeleteDBItemClick = PopupMenu1->addAction(QStringLiteral("Delete from list"));
    DeleteDBItemClick->setObjectName(QStringLiteral("DeleteDBItemClick"));
    QObject::connect(mOpenSrv, &QAction::triggered, this, [this] { RunGuarded([this] { mOpenSrvClick(); }); });
    QObject::connect(DeleteDBItemClick, &QAction::triggered, this,
                     [this] { RunGuarded([this] { DeleteDBItemClickClick(); }); });

    vstDBList->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(vstDBList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // The menu acts on the row under the mouse; on empty space there is
        // none, so "Open" starts a new entry and "Delete" has nothing to do.
        PVirtualNode node = vstDBList->GetNodeAt(pos);
        if (node) {
            vstDBList->SetFocusedNode(node);
            vstDBList->ClearSelection();
            vstDBList->SetSelected(node, true);
        } else {
            vstDBList->ClearSelection();
            vstDBList->SetFocusedNode(nullptr);
        }
        DeleteDBItemClick->setEnabled(node != nullptr);
        PopupMenu1->popup(vstDBList->viewport()->mapToGlobal(pos));
    });
}

// ---------------------------------------------------------------------------
// Filling

void TFrDBList::LoadList() {
    if (ServerItems) ServerItems->clear();
    if (DatabaseItems) DatabaseItems->clear();
    vstDBList->Clear();
    vstDBList->BeginUpdate();

    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    std::vector<std::string> servers;
    if (reg.OpenKey(kServersKey, true)) {
        servers = reg.GetKeyNames();
        reg.CloseKey();
    }
    for (const std::string& name : servers) {
        auto* server = new TDatabaseItem;
        server->Server = name;
        server->User = kListUser;
        server->Password = kServerEntryPassword;
        if (ServerItems) ServerItems->push_back(server);
        PVirtualNode serverNode = vstDBList->AddChild(nullptr, reinterpret_cast<intptr_t>(server));

        // Key names hold no '\' (it separates them), so the path names this
        // one subkey.
        if (!reg.OpenKey(std::string(kServersKey) + "\\" + name, false)) continue;
        const std::vector<std::string> values = reg.GetValueNames();
        reg.CloseKey();
        for (const std::string& path : values) {
            if (IsReservedValue(path)) continue;
            auto* database = new TDatabaseItem;
            database->Server = name;
            database->Database = path;
            database->User = kListUser;
            database->Password = kDatabaseEntryPassword;
            if (DatabaseItems) DatabaseItems->push_back(database);
            vstDBList->AddChild(serverNode, reinterpret_cast<intptr_t>(database));
        }
    }

    FitColumn();
    vstDBList->Sort(nullptr, 0, sdAscending);
    vstDBList->EndUpdate();
    vstDBList->FullExpand();
    vstDBList->Repaint();
}

PVirtualNode TFrDBList::FindServerNode(PVirtualNode node, const std::string& server) const {
    for (PVirtualNode child = vstDBList->GetFirstChild(node); child; child = vstDBList->GetNextSibling(child))
        if (TDatabaseItem* entry = EntryOf(child); entry && entry->Server == server) return child;
    return nullptr;
}

PVirtualNode TFrDBList::AddEntry(PVirtualNode parent, TDatabaseItem* entry) {
    PVirtualNode node = vstDBList->AddChild(parent, reinterpret_cast<intptr_t>(entry));
    if (parent) vstDBList->SetExpanded(parent, true);
    FitColumn();
    return node;
}

TDatabaseItem* TFrDBList::EntryOf(PVirtualNode node) { return TVirtualStringTree::GetNodeObject<TDatabaseItem>(node); }

void TFrDBList::FitColumn() {
    TVirtualTreeColumn& column = vstDBList->Header().Columns[0];
    const int text = vstDBList->GetMaxColumnWidth(0);
    column.SetWidth(std::max({text, vstDBList->viewport()->width(), column.MinWidth()}));
}

bool TFrDBList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == vstDBList->viewport()) FitColumn();
    return QFrame::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Grid handlers

void TFrDBList::vstDBListGetText(TVirtualStringTree*, PVirtualNode node, TColumnIndex column, std::string& text) {
    TDatabaseItem* entry = EntryOf(node);
    if (!entry || column != 0) return;
    text = entry->Database.empty() ? entry->Server : entry->Database;
}

void TFrDBList::vstDBListGetImageIndex(TVirtualStringTree*, PVirtualNode node, TVTImageKind kind,
                                       TColumnIndex column, bool&, int& imageIndex) {
    TDatabaseItem* entry = EntryOf(node);
    if (!entry || column != 0 || (kind != ikNormal && kind != ikSelected)) return;
    imageIndex = entry->Database.empty() ? imgServer : imgDatabase;
}

void TFrDBList::vstDBListGetHint(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column,
                                 std::string& hint) {
    // A path wider than the part of its row in view shows whole in the hint.
    std::string text;
    vstDBListGetText(sender, node, column, text);
    if (text.empty()) return;
    const QRect cell = sender->visualRect(sender->IndexOf(node, column)).intersected(sender->viewport()->rect());
    if (sender->GetCellContentWidth(node, column) > cell.right() + 1) hint = text;
}

void TFrDBList::vstDBListCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                                      TColumnIndex, int& result) {
    TDatabaseItem* a = EntryOf(node1);
    TDatabaseItem* b = EntryOf(node2);
    if (!a || !b) return;
    // The focused row decides what is ordered: databases by path, servers by
    // name; with nothing focused, servers first and then their databases.
    TDatabaseItem* focused = EntryOf(sender->FocusedNode());
    if (focused && !focused->Database.empty())
        result = CompareText(a->Database, b->Database);
    else if (focused)
        result = CompareText(a->Server, b->Server);
    else if (a->Server != b->Server)
        result = CompareText(a->Server, b->Server);
    else
        result = CompareText(a->Database, b->Database);
}

void TFrDBList::vstDBListHeaderClick(TVirtualStringTree* sender, TColumnIndex column) {
    TVTHeader& header = sender->Header();
    const TSortDirection direction = header.SortDirection() == sdDescending ? sdAscending : sdDescending;
    header.SetSortDirection(direction);
    sender->SortTree(column, direction, true);
}

void TFrDBList::vstDBListExpanding(TVirtualStringTree* sender, PVirtualNode node, bool& allowed) {
    sender->Sort(node, 0, sender->Header().SortDirection());
    allowed = true;
}

void TFrDBList::vstDBListFreeNode(TVirtualStringTree*, PVirtualNode node) {
    TDatabaseItem* entry = EntryOf(node);
    if (!entry) return;
    // The lists do not own their entries, but must not keep freed ones.
    Forget(ServerItems, entry);
    Forget(DatabaseItems, entry);
    TVirtualStringTree::SetNodeData(node, 0);
    delete entry;
}

void TFrDBList::vstDBListColumnDblClick(TVirtualStringTree*, TColumnIndex) {
    // The dialog gets a copy: the run adds rows to this tree, and nothing it
    // does may depend on this row staying.
    TDatabaseItem chosen;
    TDatabaseItem* entry = nullptr;
    if (PVirtualNode node = vstDBList->FocusedNode()) {
        if (TDatabaseItem* own = EntryOf(node)) {
            chosen = *own;
            entry = &chosen;
            if (!chosen.Database.empty()) {
                if (TDatabaseItem* server = EntryOf(vstDBList->GetParent(node))) {
                    if (chosen.User.empty()) chosen.User = server->User;
                    if (chosen.Password.empty()) chosen.Password = server->Password;
                }
            }
        }
    }
    // Taking statistics replaces those shown: unsaved ones are offered for
    // saving first, as every other command that replaces them does.
    if (MainForm && MainForm->AskSaveStatistics() == mrCancel) return;
    const bool loaded = OnOpenEntry ? OnOpenEntry(entry) : MainForm && MainForm->LoadStatFromServer(entry);
    if (loaded && MainForm) {
        MainForm->SelectTab(1);
        // The grids were rebuilt unfiltered: the filter button must say so.
        MainForm->RaiseFilter();
    }
}

void TFrDBList::mOpenSrvClick() { vstDBListColumnDblClick(vstDBList, 0); }

// ---------------------------------------------------------------------------
// Deleting

void TFrDBList::DeleteDBItemClickClick() {
    PVirtualNode node = vstDBList->FocusedNode();
    if (!node) return;
    TDatabaseItem* entry = EntryOf(node);
    if (!entry) {
        vstDBList->DeleteNode(node);
        return;
    }
    const bool database = !entry->Database.empty();
    const std::string question = std::string("Delete ") +
                                 (database ? "database record \r\n" + entry->Database
                                           : "server record \r\n" + entry->Server) +
                                 "\r\nfrom list?";
    if (MessageDlg(question, database ? mtConfirmation : mtWarning, mbYes | mbNo) != mrYes) return;
    DeleteFromRegistry(node);
    vstDBList->DeleteNode(node);
    FitColumn();
}

namespace {
const char* const kDeletionNotKept = "The entry is back in the list at the next start.";
}  // namespace

void TFrDBList::DeleteFromRegistry(PVirtualNode node) {
    TDatabaseItem* entry = EntryOf(node);
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(kServersKey, false)) return;
    if (entry->Server.empty()) {
        // Local databases lie in the server key itself, beside the values of
        // the last run, which stay; the key itself must never go.
        auto drop = [&reg](const TDatabaseItem* database) {
            if (database && !database->Database.empty() && !IsReservedValue(database->Database))
                CheckListStored(reg.DeleteValue(database->Database), kDeletionNotKept);
        };
        if (entry->Database.empty()) {
            for (PVirtualNode child = vstDBList->GetFirstChild(node); child; child = vstDBList->GetNextSibling(child))
                drop(EntryOf(child));
        } else {
            drop(entry);
        }
        return;
    }
    if (!IsPlainKeyName(entry->Server)) return;
    if (entry->Database.empty()) {
        CheckListStored(reg.DeleteKey(entry->Server), kDeletionNotKept);
    } else if (reg.OpenKey(entry->Server, false)) {
        CheckListStored(reg.DeleteValue(entry->Database), kDeletionNotKept);
    }
}

bool CheckListStored(bool ok, const std::string& consequence) {
    if (ok) return true;
    const std::string why = TRegistry::LastWriteError();
    if (!why.empty()) MessageDlg(why + "\r\n" + consequence, mtWarning, mbOK);
    return false;
}

}  // namespace dv
