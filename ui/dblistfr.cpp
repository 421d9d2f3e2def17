#include "dblistfr.h"

#include <QVBoxLayout>

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

TFrDBList::TFrDBList(QWidget* owner) : QFrame(owner) {
    setObjectName(QStringLiteral("FrDBList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    vstDBList = new TVirtualStringTree(this);
    TVirtualTreeColumn& server = vstDBList->Header().Columns.Add("Server", 451);
    server.SetMinWidth(400);
    layout->addWidget(vstDBList);
    if (!FrDBList) FrDBList = this;
}

TFrDBList::~TFrDBList() {
    if (FrDBList == this) FrDBList = nullptr;
}

void TFrDBList::LoadList() {
    // The entries are read from the registry by the database list itself,
    // which comes with server access; until then the list starts empty.
    if (ServerItems) ServerItems->clear();
    if (DatabaseItems) DatabaseItems->clear();
    vstDBList->Clear();
}

}  // namespace dv
