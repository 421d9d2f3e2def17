// What the grids of the views have in common: the event wiring and the Copy
// popup of all four; the construction, row images, start widths, column
// sizing, sort ranks and sorting header of the statistics grids (tables view,
// indices view); the construction and rebuild of the parameter trees
// (summary view, monitor view). Each view keeps only its own per-cell answers.
#pragma once

#include <QIcon>
#include <QList>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/gui/VirtualTrees.h"

class QAction;
class QFrame;
class QMenu;

namespace dv {

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
// A rebuild must not measure every row (tens of thousands of them, each
// asking the view for its text, style and image), so a column is sized from
// the rows with its longest texts: the widest cell in pixels is among them
// but for a few pixels' difference in the shapes of the letters.
constexpr size_t kFitSample = 64;
// The top-level rows whose text in a column is the longest by `length`, a
// size the view reads off the row's model object without making the text (a
// name's length, a number's TextMagnitude); at most kFitSample of them.
std::vector<PVirtualNode> LongestRows(TVirtualStringTree* tree, const std::function<double(PVirtualNode)>& length);
// A number whose text grows with it: the larger the magnitude, the longer
// (or as long) its decimal text, a minus sign counting as one more digit.
inline double TextMagnitude(double value) { return value < 0 ? 1 - value * 10 : value; }
// Sizes a column to the widest of the rows' cells, never narrower than its
// caption.
void FitColumnToContents(TVirtualStringTree* tree, int column, const std::vector<PVirtualNode>& rows);
// Widens a column to the widest of the rows' cells; it never becomes narrower.
void GrowColumnToContents(TVirtualStringTree* tree, int column, const std::vector<PVirtualNode>& rows);

// The collation order of the names of a grid's rows. The first sort by a
// name column ranks every row's name once (one collation key per name) and
// the ranks serve every later sort until the grid's rows change, so that a
// sort compares integers; the order is CompareText's. Owners are the
// objects whose names are ranked.
class TNameSortKeys {
public:
    // Ranks the names of the grid's top-level rows unless the ranks are
    // those of the grid's current rows. nameOf(node) gives the owner and its
    // name (owner nullptr: a row without a name).
    template <class NameOf>
    void Rank(const TVirtualStringTree* grid, NameOf nameOf) {
        if (Ranked(grid)) return;
        Clear();
        for (PVirtualNode n = grid->GetFirst(); n; n = grid->GetNextSibling(n)) {
            const auto [owner, name] = nameOf(n);
            if (owner) Add(owner, *name);
        }
        Prepare();
        FGrid = grid;
        FGeneration = grid->Generation();
    }
    // True when the ranks belong to the grid's current rows.
    bool Ranked(const TVirtualStringTree* grid) const {
        return FGrid == grid && FGeneration == grid->Generation();
    }

    void Add(const void* owner, const std::string& name) { FPending.emplace_back(owner, &name); }
    // Ranks what was added; until Clear, Compare answers from the ranks.
    void Prepare();
    void Clear();
    // -1, 0 or 1: by the ranks when both owners have one, else CompareText
    // (equal texts are equal without asking the collation).
    int Compare(const void* a, const std::string& nameA, const void* b, const std::string& nameB) const;
    int RankOf(const void* owner) const;   // -1 when not ranked

private:
    const TVirtualStringTree* FGrid = nullptr;
    unsigned FGeneration = 0;

    std::vector<std::pair<const void*, const std::string*>> FPending;
    // Open addressing: owner -> rank, capacity a power of two.
    std::vector<std::pair<const void*, int>> FSlots;
    size_t FMask = 0;
};

// One column of a grid's column table: caption, alignment and start width
// (pixels of the small font, see ScaledWidth).
struct TColumnDef {
    const char* Caption;
    TAlignment Align;
    int Width;
};

// The grid of a statistics view, filling the frame: a flat list with grid
// lines, hints, extended selection, the row images and the columns of the
// table (scaled, then widened to their captions). A double click on a header
// divider does nothing until the view connects its own sizing.
TVirtualStringTree* CreateStatGrid(QFrame* frame, const char* objectName, std::span<const TColumnDef> columns);

// The handlers a view answers its grid with, as members of the view: the
// text, background, font, image and hint of a cell, a double click on a
// cell, the order of two rows, a header click and a change of the selection.
// One left out leaves that event of the grid as it is.
template <class View>
struct TGridEvents {
    void (View::*GetText)(TVirtualStringTree*, PVirtualNode, TColumnIndex, std::string&) = nullptr;
    void (View::*BeforeCellPaint)(TVirtualStringTree*, TCanvas&, PVirtualNode, TColumnIndex, QRect) = nullptr;
    void (View::*PaintText)(TVirtualStringTree*, TCanvas&, PVirtualNode, TColumnIndex) = nullptr;
    void (View::*GetImageIndex)(TVirtualStringTree*, PVirtualNode, TVTImageKind, TColumnIndex, bool&, int&) = nullptr;
    void (View::*GetHint)(TVirtualStringTree*, PVirtualNode, TColumnIndex, std::string&) = nullptr;
    void (View::*ColumnDblClick)(TVirtualStringTree*, TColumnIndex) = nullptr;
    void (View::*CompareNodes)(TVirtualStringTree*, PVirtualNode, PVirtualNode, TColumnIndex, int&) = nullptr;
    void (View::*HeaderClick)(TVirtualStringTree*, TColumnIndex) = nullptr;
    void (View::*Change)(TVirtualStringTree*, PVirtualNode) = nullptr;
};

namespace detail {
template <class Event, class View, class Handler>
void BindGridEvent(Event& event, View* view, Handler handler) {
    if (handler) event = std::bind_front(handler, view);
}
}  // namespace detail

// Hooks a view's handlers to its grid's events.
template <class View>
void BindGridEvents(TVirtualStringTree* grid, View* view, const std::type_identity_t<TGridEvents<View>>& events) {
    detail::BindGridEvent(grid->OnGetText, view, events.GetText);
    detail::BindGridEvent(grid->OnBeforeCellPaint, view, events.BeforeCellPaint);
    detail::BindGridEvent(grid->OnPaintText, view, events.PaintText);
    detail::BindGridEvent(grid->OnGetImageIndex, view, events.GetImageIndex);
    detail::BindGridEvent(grid->OnGetHint, view, events.GetHint);
    detail::BindGridEvent(grid->OnColumnDblClick, view, events.ColumnDblClick);
    detail::BindGridEvent(grid->OnCompareNodes, view, events.CompareNodes);
    detail::BindGridEvent(grid->OnHeaderClick, view, events.HeaderClick);
    detail::BindGridEvent(grid->OnChange, view, events.Change);
}

// The grid's popup menu, owned by owner, with "Copy" (object name "Copy1")
// as its first item, which runs copy; the view adds its own items behind it.
// Answers the menu and the Copy item.
std::pair<QMenu*, QAction*> CreateCopyPopup(TVirtualStringTree* grid, QWidget* owner, std::function<void()> copy);

// The tree of a parameter view (summary, monitor), not yet placed in a
// layout: rows under group rows, the top-level rows in bold, columns
// "Parameter" and "Value" under a 17-pixel header, grid lines, hints and
// extended selection.
TVirtualStringTree* CreateParameterTree(QWidget* parent, const char* objectName);

// Rebuilds a parameter tree: addRows adds the rows to the emptied tree,
// which then shows them all expanded, each column as wide as its widest
// cell.
template <class AddRows>
void RebuildParameterTree(TVirtualStringTree* tree, AddRows addRows) {
    tree->BeginUpdate();
    tree->Clear();
    addRows();
    tree->FullExpand();
    for (int c = 0; c < tree->Header().Columns.Count(); ++c)
        tree->Header().Columns[c].SetWidth(tree->GetMaxColumnWidth(c));
    tree->EndUpdate();
    tree->Repaint();
}

// Opens the menu where the grid is right-clicked.
void AttachPopupMenu(TVirtualStringTree* grid, QMenu* menu);

// Paints the whole cell in one colour.
void FillCell(TCanvas& canvas, const QRect& rect, TColor color);

// A cell's hint text wrapped at the hint width of the options; an empty text
// stays empty (no hint).
std::string WrapHint(const std::string& text);

// A header click moves the sort mark and answers the direction to sort in:
// the first click on a column sorts it descending, a click on the column
// sorted descending sorts it ascending.
TSortDirection HeaderClickDirection(TVirtualStringTree* grid, TColumnIndex column);

// Sorts a grid's top-level rows by one value of their model objects (class
// Object, the node data), as the view's comparison of that column orders
// them; rows without an object count as the lowest value.
template <class Object, class Value>
void SortRowsBy(TVirtualStringTree* grid, TSortDirection direction, Value (*value)(const Object&)) {
    grid->SortByKey(nullptr, direction, [value](PVirtualNode n) {
        const Object* o = TVirtualStringTree::GetNodeObject<Object>(n);
        return o ? value(*o) : std::numeric_limits<Value>::lowest();
    });
}

}  // namespace dv
