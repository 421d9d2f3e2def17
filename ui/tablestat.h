// The tables view: one row per table of the model with its record, version,
// page, size and fill figures, coloured by the warning rules and explained in
// hints. Above the indices view it restricts that view to the selected table.
#pragma once

#include <QFrame>

class QMenu;
class QAction;

namespace dv {

class TVirtualStringTree;
class TRelation;

class TFrTableStat : public QFrame {
public:
    // Creates the grid, its columns and popup menu. The first frame created
    // becomes FrTableStat (until it is destroyed).
    explicit TFrTableStat(QWidget* owner);
    ~TFrTableStat() override;

    // Rebuilds the rows from DBInfo.Relations (model order), sets the column
    // widths and the visible flags of the optional columns.
    void FillTables();
    // Couples (true) or uncouples (false) the indices view to the focused
    // table; uncoupling shows all indices again.
    void LinkIndexView(bool link);

    TVirtualStringTree* vstTblStat = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;
};

extern TFrTableStat* FrTableStat;

}  // namespace dv
