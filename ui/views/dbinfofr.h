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

// The code of a group's child rows: 100 times the group's code plus one
// (300 for the fragmented tables, ... 1200 for the broken indices).
constexpr int ChildRowCode(int group) { return (group + 1) * 100; }
// True for the child rows of the problem groups (the listed objects).
constexpr bool IsObjectRow(int code) { return code >= ChildRowCode(siFragmentedTables); }

// The database rows under "Database info", by the codes the tree carries as
// node data; the numbers are those the rows have always had.
enum : int {
    drDatabaseName = 100,
    drPageSize = 110,
    drOldestTransaction = 130,
    drOldestActive = 140,
    drOldestSnapshot = 150,
    drNextTransaction = 160,
    drActiveTransactions = 170,
    drForcedWrite = 180,
    drDialect = 190,
    drOds = 200,
    drAttributes = 205,
    drSweepInterval = 210,
    drSweepGapActive = 220,
    drSweepGapSnapshot = 225,
    drTipSize = 230,
    drSnapshotTipSize = 235,
    drCreationDate = 250,
    drWriteTimestamp = 255,
    drDumpTimestamp = 256,
    drTransactionsPerDay = 260,
    drStatisticsDate = 270,
    drDataVersionsPercent = 280,
    drDatabaseSize = 285,
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
    // Utf8Length(CellText(...)); the rows of the long lists (fragmented
    // tables, deep indices, ...) count their numbers' digits instead of
    // making the text, which a rebuild would do for every row.
    size_t TextLength(int code, int position, int column) const;
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
