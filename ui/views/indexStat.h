// The indices view: one row per index with depth, key, duplicate, selectivity,
// size and fill figures, coloured and explained by the index rules; jumps to
// the index's table and recomputes selectivity on the live database.
#pragma once

#include <QFrame>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui/VirtualTrees.h"
#include "ui/views/tablestat.h"

class QMenu;
class QAction;

namespace dv {

class TRelation;
class TIndex;

// Column numbers of the indices grid.
enum TIndexColumn {
    icIndex = 0, icTable, icDepth, icKeys, icKeyLen, icMaxDup, icTotalDup, icUniques, icSelectivity,
    icSizeMb, icAvgFill, icNulls, icLeafs, icFill20, icFill40, icFill60, icFill80, icFill100,
    IndexColumnCount
};

// The recompute commands answer with this when there is no data module (the
// client library is missing).
inline constexpr const char* NoClientLibraryMessage =
    "Selectivity can be recomputed only on a live database, and the database client library is not loaded.";
// ... and with this when no server statistics were taken in this run, so
// there is no database to connect to.
inline constexpr const char* NoLiveDatabaseMessage =
    "Selectivity can be recomputed only on a live database. Take the statistics from a server first.";

class TFrIndexStat : public QFrame {
public:
    // Creates the grid, its columns and popup menu. The first frame created
    // becomes FrIndexStat (until it is destroyed).
    explicit TFrIndexStat(QWidget* owner);
    ~TFrIndexStat() override;

    // Rebuilds the rows from DBInfo.Indices (model order); all rows visible
    // and no table restriction.
    void FillIndices();
    // Shows or hides one column (the main window uses it for "Selectivity").
    void SetColumnVisible(int column, bool visible);
    // Shows only the indices of the given table (all with nullptr), and with
    // the main window's problem filter down only the marked ones. With a
    // table it visits only the rows shown so far and that table's rows.
    void FilterByRelation(TRelation* relation);
    // The table the rows are restricted to (nullptr: none); the problem
    // filter keeps it when it filters again.
    TRelation* FilteredRelation() const { return FRelation; }

    // Grid handlers.
    void vstIdxStatGetText(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column, std::string& text);
    void vstIdxStatBeforeCellPaint(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node,
                                   TColumnIndex column, QRect cellRect);
    void vstIdxStatPaintText(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node, TColumnIndex column);
    void vstIdxStatGetImageIndex(TVirtualStringTree* sender, PVirtualNode node, TVTImageKind kind,
                                 TColumnIndex column, bool& ghosted, int& imageIndex);
    void vstIdxStatGetHint(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column, std::string& hint);
    void vstIdxStatCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                                TColumnIndex column, int& result);
    void vstIdxStatHeaderClick(TVirtualStringTree* sender, TColumnIndex column);
    void vstIdxStatColumnDblClick(TVirtualStringTree* sender, TColumnIndex column);
    // Menu handlers.
    void Copy1Click();
    void PopupMenu1Popup();
    void mRecompSelClick();
    void mRecompSelAllClick();

    TVirtualStringTree* vstIdxStat = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* mRecompSel = nullptr;
    QAction* mRecompSelAll = nullptr;

private:
    void SetupGrid();
    void SetupMenu();
    // Sizes a column to its contents (a double click on a header divider).
    void FitColumn(int modelColumn);
    // True when the data module has a database to recompute on; otherwise
    // says why not and answers false.
    bool LiveDatabaseReady() const;

    // The rows of each table, sorted by table (built per set of rows).
    const std::vector<std::pair<const TRelation*, PVirtualNode>>& RowsByTable();

    TGridColumns<TIndex> FColumns;
    TRelation* FRelation = nullptr;
    std::vector<std::pair<const TRelation*, PVirtualNode>> FRowsByTable;
    // The grid's generation the list was built for. A grid still at its first
    // generation has never had a row, which the empty list already matches.
    unsigned FRowsByTableGeneration = 0;
};

extern TFrIndexStat* FrIndexStat;

}  // namespace dv
