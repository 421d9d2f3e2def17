// The indices view: one row per index with depth, key, duplicate, selectivity,
// size and fill figures, coloured and explained by the index rules; jumps to
// the index's table and recomputes selectivity on the live database.
#pragma once

#include <QFrame>

class QMenu;
class QAction;

namespace dv {

class TVirtualStringTree;
class TRelation;

class TFrIndexStat : public QFrame {
public:
    // Creates the grid, its columns and popup menu. The first frame created
    // becomes FrIndexStat (until it is destroyed).
    explicit TFrIndexStat(QWidget* owner);
    ~TFrIndexStat() override;

    // Rebuilds the rows from DBInfo.Indices (model order); all rows visible.
    void FillIndices();
    // Shows or hides one column (the main window uses it for "Selectivity").
    void SetColumnVisible(int column, bool visible);
    // Shows only the indices of the given table (all with nullptr), and with
    // the main window's problem filter down only the marked ones.
    void FilterByRelation(TRelation* relation);

    TVirtualStringTree* vstIdxStat = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* mRecompSel = nullptr;
    QAction* mRecompSelAll = nullptr;
};

extern TFrIndexStat* FrIndexStat;

}  // namespace dv
