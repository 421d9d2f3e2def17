// The tables view: one row per table of the model with its record, version,
// page, size and fill figures, coloured by the warning rules and explained in
// hints. Above the indices view it restricts that view to the selected table.
#pragma once

#include <QFrame>
#include <string>

#include "platform/gui/VirtualTrees.h"
#include "ui/views/gridview.h"

class QMenu;
class QAction;

namespace dv {

class TRelation;

// The row image of a table. Asks every table rule of the image (so their
// Problem marks are set) and lets each that holds replace the image.
int TableImageIndex(TRelation& r);

// Column numbers of the tables grid.
enum TTableColumn {
    tcTable = 0, tcRecords, tcRecLength, tcVerLen, tcVersions, tcMaxVers, tcDataPages,
    tcSizeMb, tcIdxSizeMb, tcSlots, tcAvgFill, tcFill20, tcFill40, tcFill60, tcFill80,
    tcFill100, tcRealFill, tcTotalPercent, TableColumnCount
};

class TFrTableStat : public QFrame {
public:
    // Creates the grid, its columns and popup menu and links the indices
    // view. The first frame created becomes FrTableStat (until destroyed).
    explicit TFrTableStat(QWidget* owner);
    ~TFrTableStat() override;

    // Rebuilds the rows from DBInfo.Relations (model order), sets the column
    // widths and the visible flags of the optional columns.
    void FillTables();
    // Couples (true) or uncouples (false) the indices view to the focused
    // table; uncoupling shows all indices again.
    void LinkIndexView(bool link);
    bool IndexViewLinked() const { return FLinked; }

    // Grid handlers.
    void vstTblStatGetText(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column,
                           std::string& text);
    void vstTblStatBeforeCellPaint(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node,
                                   TColumnIndex column, QRect cellRect);
    void vstTblStatPaintText(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node,
                             TColumnIndex column);
    void vstTblStatGetImageIndex(TVirtualStringTree* sender, PVirtualNode node, TVTImageKind kind,
                                 TColumnIndex column, bool& ghosted, int& imageIndex);
    void vstTblStatGetHint(TVirtualStringTree* sender, PVirtualNode node, TColumnIndex column,
                           std::string& hint);
    void vstTblStatCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                                TColumnIndex column, int& result);
    void vstTblStatHeaderClick(TVirtualStringTree* sender, TColumnIndex column);
    void vstTblStatChange(TVirtualStringTree* sender, PVirtualNode node);
    void Copy1Click();

    // The row that shows a table, or nullptr.
    PVirtualNode FindNode(const TRelation* relation) const;

    TVirtualStringTree* vstTblStat = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;

private:
    void SetupGrid();
    void SetupMenu();
    TGridColumns<TRelation> FColumns;
    bool FLinked = false;
};

extern TFrTableStat* FrTableStat;

}  // namespace dv
