// The tables view: one row per table of the model with its record, version,
// page, size and fill figures, coloured by the warning rules and explained in
// hints. Above the indices view it restricts that view to the selected table.
#pragma once

#include <QFrame>
#include <QIcon>
#include <QList>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui/VirtualTrees.h"

class QMenu;
class QAction;

namespace dv {

class TRelation;

// Row images shared by the tables and indices views, in list order:
// 0 too many versions, 1 table, 2 fragmented table, 3 index, 4 mass deletes
// or updates, 5 empty table, 6 fragmented index, 7 deep index, 8 useless
// index, 9 index with many duplicates.
enum TViewImage {
    imgTableVersions = 0, imgTable = 1, imgTableFragmented = 2, imgIndex = 3,
    imgTableMassDeletes = 4, imgTableEmpty = 5, imgIndexFragmented = 6,
    imgIndexDeep = 7, imgIndexUseless = 8, imgIndexDuplicates = 9
};
const QList<QIcon>& ViewImages();

// A start width of the grids' column tables in the font the grid uses. The
// tables give pixels of a small 8-point font whose digits are 6 pixels wide;
// a larger font scales them, so that the numbers they were sized for fit.
int ScaledWidth(const QWidget* grid, int width);

// The width a column's caption needs in the header's font (no sort mark).
// The start widths are pixel values of a smaller font; a column never starts
// narrower than its caption, so that the header stays readable.
int CaptionWidth(TVirtualStringTree* tree, int column);
void WidenToCaptions(TVirtualStringTree* tree);

// The row image of a table. Asks every table rule of the image (so their
// Problem marks are set) and lets each that holds replace the image.
int TableImageIndex(TRelation& r);

// The collation order of the names of one sort. A header click on a name
// column ranks every row's name once (one collation key per name), so that
// the many comparisons of the sort compare two integers; the order is
// CompareText's. Owners are the objects whose names are ranked.
class TNameSortKeys {
public:
    // Clears the ranks when a sort ends, also by an exception.
    struct TScope {
        explicit TScope(TNameSortKeys& keys) : Keys(keys) {}
        ~TScope() { Keys.Clear(); }
        TNameSortKeys& Keys;
    };

    void Add(const void* owner, const std::string& name) { FPending.emplace_back(owner, &name); }
    // Ranks what was added; until Clear, Compare answers from the ranks.
    void Prepare();
    void Clear();
    // -1, 0 or 1: by the ranks when both owners have one, else CompareText
    // (equal texts are equal without asking the collation).
    int Compare(const void* a, const std::string& nameA, const void* b, const std::string& nameB) const;

private:
    int RankOf(const void* owner) const;   // -1 when not ranked

    std::vector<std::pair<const void*, const std::string*>> FPending;
    // Open addressing: owner -> rank, capacity a power of two.
    std::vector<std::pair<const void*, int>> FSlots;
    size_t FMask = 0;
};

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
    // The table's share of the database in percent (column 17); 0 when the
    // database has no pages.
    static double TotalShare(const TRelation& r);

    bool FLinked = false;
    TNameSortKeys FSortKeys;
};

extern TFrTableStat* FrTableStat;

}  // namespace dv
