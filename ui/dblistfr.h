// The "Databases" view: the servers and databases from which statistics were
// taken, two levels deep. The main window creates it and fills it once from
// the registry at start-up.
#pragma once

#include <QFrame>
#include <vector>

#include "model/dkmain.h"
#include "platform/gui/VirtualTrees.h"

namespace dv {

class TFrDBList : public QFrame {
public:
    // The first frame created becomes FrDBList (until it is destroyed).
    explicit TFrDBList(QWidget* owner);
    ~TFrDBList() override;

    // Rebuilds the tree from the registry.
    void LoadList();

    TVirtualStringTree* vstDBList = nullptr;
};

extern TFrDBList* FrDBList;

// The server and database entries made by the last LoadList (not owned).
extern std::vector<TDatabaseItem*>* ServerItems;
extern std::vector<TDatabaseItem*>* DatabaseItems;
// Creates both lists empty (once per process).
void InitDatabaseLists();
// Frees both lists (the main window does so when it closes).
void FreeDatabaseLists();

}  // namespace dv
