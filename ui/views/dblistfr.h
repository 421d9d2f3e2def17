// The "Databases" view: the servers and databases from which statistics were
// taken, two levels deep, as the registry keeps them. The main window creates
// it and fills it once from the registry at start-up; the statistics dialog
// adds the entries of its successful runs. Opening an entry takes statistics
// from that database; deleting one removes it from the registry.
//
// Registry layout (HKEY_LOCAL_MACHINE, key kServersKey):
//   "LastServer", "LastDatabase"  string values: the last successful run
//   <server name>                 one subkey per server, named as typed
//     <database path>             one DWORD value per database: the protocol
//                                 index of the run that added it (0 TCP,
//                                 1 named pipe, 2 local); only the name is read
// A run with the local protocol has no server name: its database values lie
// in the server key itself, beside "LastServer" and "LastDatabase".
#pragma once

#include <QFrame>
#include <functional>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "platform/gui/VirtualTrees.h"

class QAction;
class QMenu;

namespace dv {

inline constexpr const char* kServersKey = "\\SOFTWARE\\Kelmaris\\Dravolt\\Servers";
inline constexpr const char* kLastServerValue = "LastServer";
inline constexpr const char* kLastDatabaseValue = "LastDatabase";
// What entries read from the registry carry: the registry keeps no user
// names or passwords.
inline constexpr const char* kListUser = "SYSDBA";
inline constexpr const char* kServerEntryPassword = "tansyroot";
inline constexpr const char* kDatabaseEntryPassword = "tansyroo";

// Row images of the list.
enum TDBListImage { imgServer = 0, imgDatabase = 1 };

class TFrDBList : public QFrame {
public:
    // The first frame created becomes FrDBList (until it is destroyed).
    explicit TFrDBList(QWidget* owner);
    ~TFrDBList() override;

    // Rebuilds the tree from the registry: one top-level node per server
    // subkey, one child per database value. The tree owns the entries.
    void LoadList();

    // The first child of node (nullptr: the top level) whose entry's Server
    // equals server exactly; nullptr when none does.
    PVirtualNode FindServerNode(PVirtualNode node, const std::string& server) const;
    // Adds an entry under parent (nullptr: top level); the tree owns it from
    // now on and the parent is opened so that the new row shows.
    PVirtualNode AddEntry(PVirtualNode parent, TDatabaseItem* entry);
    // The entry a node carries (nullptr for none).
    static TDatabaseItem* EntryOf(PVirtualNode node);

    // Grid handlers.
    void vstDBListGetText(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column, std::string& text);
    void vstDBListGetImageIndex(TVirtualStringTree* sender, PVirtualNode node, TVTImageKind kind,
                                TColumnIndex column, bool& ghosted, int& imageIndex);
    void vstDBListGetHint(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column, std::string& hint);
    void vstDBListCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                               TColumnIndex column, int& result);
    void vstDBListHeaderClick(TVirtualStringTree* sender, TColumnIndex column);
    void vstDBListExpanding(TVirtualStringTree* sender, PVirtualNode node, bool& allowed);
    void vstDBListFreeNode(TVirtualStringTree* sender, PVirtualNode node);
    void vstDBListColumnDblClick(TVirtualStringTree* sender, TColumnIndex column);
    // Popup commands.
    void mOpenSrvClick();
    void DeleteDBItemClickClick();

    // Takes statistics for an entry (nullptr: the dialog starts empty) and
    // answers whether something was loaded. Unset, the main window's
    // LoadStatFromServer does it; tests put their own here.
    std::function<bool(TDatabaseItem*)> OnOpenEntry;

    TVirtualStringTree* vstDBList = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* mOpenSrv = nullptr;            // "Open existing or create new"
    QAction* N1 = nullptr;                  // separator
    QAction* DeleteDBItemClick = nullptr;   // "Delete from list"

protected:
    // Keeps column 0 as wide as the view when the view changes size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetupGrid();
    void SetupMenu();
    // Column 0 as wide as its widest cell, and at least as wide as the view.
    void FitColumn();
    // Removes a node's entry from the registry (see DeleteDBItemClickClick).
    void DeleteFromRegistry(PVirtualNode node);
};

extern TFrDBList* FrDBList;

// For a change to the stored list of servers and databases: when the store
// could not be written, tells the user why and what that costs
// (`consequence`). Answers `ok`.
bool CheckListStored(bool ok, const std::string& consequence);

// The server and database entries made by the last LoadList (not owned; an
// entry the tree frees leaves them too).
extern std::vector<TDatabaseItem*>* ServerItems;
extern std::vector<TDatabaseItem*>* DatabaseItems;
// Creates both lists empty (once per process).
void InitDatabaseLists();
// Frees both lists (the main window does so when it closes).
void FreeDatabaseLists();

}  // namespace dv
