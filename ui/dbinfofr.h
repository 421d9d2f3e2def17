// The summary view: the header values of the loaded database under one root
// "Database info", then the problem groups with the tables and indices for
// which a warning rule holds. The view keeps the ten problem lists it shows,
// which the recommendations report reads.
#pragma once

#include <QFrame>
#include <cstdint>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "model/problems.h"
#include "model/utils.h"
#include "platform/gui/VirtualTrees.h"

class QMenu;
class QAction;

namespace dv {

// Item codes carried as node data by the summary tree.
enum : int {
    siDatabaseInfo = 1,
    siFragmentedTables = 2,
    siDeepIndices = 3,
    siVersionedTables = 4,
    siBadIndices = 5,
    siVeryBigTables = 6,
    siBlobTables = 7,
    siUselessIndices = 8,
    siEmptyTables = 9,
    siMassDeletes = 10,
    siBrokenIndices = 11,
};

class TFrDbInfo : public QFrame {
public:
    explicit TFrDbInfo(QWidget* owner);
    ~TFrDbInfo() override;

    // Rebuilds the tree and refills the problem lists from DBInfo.
    void FillDbInfo();

    // Jumps to the table or index in its view and selects it there.
    void GotoIndex(TIndex* index);
    void GotoTable(TRelation* table);
    // Iteration callback: stops at the node whose data equals `data`.
    static void MatchNodeData(TVirtualStringTree* tree, PVirtualNode node, intptr_t data, bool& abort);

    // What a cell shows, its hint (unwrapped, and as the grid shows it) and
    // its icon, by item code and position among the siblings (object rows);
    // usable without painting.
    std::string CellText(int code, int position, int column) const;
    static std::string HintText(int code);
    static std::string WrappedHint(int code);
    // The summary's wrapping of a hint text (the ODS list stays unwrapped).
    static std::string WrapHint(const std::string& hint);
    static int ImageIndex(int code);

    // The database rows in tree order for a model and the current options.
    static std::vector<int> DatabaseRows(const TDatabaseInfo& db);
    static std::string DatabaseRowCaption(int code);
    static std::string DatabaseRowValue(const TDatabaseInfo& db, int code);
    // Whole-cell fill of a database row's value cell; false: ordinary.
    static bool CellFill(const TDatabaseInfo& db, int code, TColor& color);
    // The transaction bar of a row inside the cell (empty: none).
    static QRect TransactionBar(const TDatabaseInfo& db, int code, const QRect& cell);

    // The listed object of a child row (nullptr when out of range or of the
    // other kind).
    TRelation* TableAt(int code, int position) const;
    TIndex* IndexAt(int code, int position) const;

    void Copy1Click();

    // Event handlers of the grid.
    void vstDbInfoGetText(TVirtualStringTree* tree, PVirtualNode node, TColumnIndex column, std::string& text);
    void vstDbInfoGetHint(TVirtualStringTree* tree, PVirtualNode node, TColumnIndex column, std::string& hint);
    void vstDbInfoBeforeCellPaint(TVirtualStringTree* tree, TCanvas& canvas, PVirtualNode node,
                                  TColumnIndex column, QRect cell);
    void vstDbInfoPaintText(TVirtualStringTree* tree, TCanvas& canvas, PVirtualNode node, TColumnIndex column);
    void vstDbInfoGetImageIndex(TVirtualStringTree* tree, PVirtualNode node, TVTImageKind kind,
                                TColumnIndex column, bool& ghosted, int& index);
    void vstDbInfoColumnDblClick(TVirtualStringTree* tree, TColumnIndex column);

    // The problem lists the tree shows, as of the last FillDbInfo.
    TProblemLists Problems;

    TVirtualStringTree* vstDbInfo = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;

private:
    std::string ObjectRowText(int code, int position, int column) const;
    const std::vector<TRelation*>* TableList(int group) const;
    const std::vector<TIndex*>* IndexList(int group) const;
};

extern TFrDbInfo* FrDbInfo;

}  // namespace dv
