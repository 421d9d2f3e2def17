// What the grids of the views have in common: the event wiring and the Copy
// popup of all four; the construction, row images, start widths, column
// sizing, sort ranks and sorting header of the statistics grids (tables view,
// indices view); the construction and rebuild of the parameter trees
// (summary view, monitor view). A statistics view says each of its columns
// once, in a table of TGridColumn entries, and TGridColumns answers the
// grid's cell, sort and sizing events from that table.
#pragma once

#include <QIcon>
#include <QList>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "model/utils.h"
#include "platform/text/SysUtils.h"
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
namespace detail {
// The nodes of the kFitSample longest of the rows (all when there are no more).
std::vector<PVirtualNode> KeepLongestRows(std::vector<std::pair<double, PVirtualNode>>& rows);
}  // namespace detail
template <class Length>
std::vector<PVirtualNode> LongestRows(TVirtualStringTree* tree, Length length) {
    std::vector<std::pair<double, PVirtualNode>> rows;
    rows.reserve(static_cast<size_t>(tree->RootNodeCount()));
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) rows.emplace_back(length(n), n);
    return detail::KeepLongestRows(rows);
}
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

    // The sort key of a row: its name's rank by rankOf(node). The first sort
    // after Rank keeps each top-level row's rank with its node and data in
    // the order the grid walks its rows in memory (ChildrenInMemoryOrder),
    // the order a sort asks for the keys in; later sorts read the rank off
    // that list instead of through the row's object and its owner's slot,
    // each a wait for memory. A row not found at its place there is ranked
    // by rankOf.
    template <class RankOfRow>
    auto RowRanks(const TVirtualStringTree* grid, RankOfRow rankOf) {
        if (!FRowsTaken) {
            FRows.clear();
            for (PVirtualNode n : grid->ChildrenInMemoryOrder(nullptr))
                FRows.push_back({n, TVirtualStringTree::GetNodeData(n), rankOf(n)});
            FRowsTaken = true;
        }
        return [this, rankOf, at = size_t(0)](PVirtualNode n) mutable {
            if (at < FRows.size() && FRows[at].Node == n && FRows[at].Data == TVirtualStringTree::GetNodeData(n))
                return FRows[at++].Rank;
            return rankOf(n);
        };
    }

private:
    struct TRowRank {
        PVirtualNode Node;
        intptr_t Data;
        int Rank;
    };

    const TVirtualStringTree* FGrid = nullptr;
    unsigned FGeneration = 0;

    std::vector<std::pair<const void*, const std::string*>> FPending;
    // Open addressing: owner -> rank, capacity a power of two.
    std::vector<std::pair<const void*, int>> FSlots;
    size_t FMask = 0;
    std::vector<TRowRank> FRows;
    bool FRowsTaken = false;
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

// The rows of a parameter tree each column is sized from, one list per
// column in column order: the captions (the top-level rows, in bold, and any
// other row with rows under it) and, of the rows under each caption, those
// with the longest texts in the column (at most kFitSample of them). A
// summary can list thousands of tables; the rows under one caption are alike
// but for their texts, so the widest of them is among the longest texts.
// The longest texts are found by `length` (the characters of a row's text in
// a column, read off the row's object without making the text) when the
// view gives one, else by asking each row for its text.
using TTextLength = std::function<size_t(PVirtualNode, int)>;
std::vector<std::vector<PVirtualNode>> ParameterFitRows(TVirtualStringTree* tree, const TTextLength& length = {});

// Rebuilds a parameter tree: addRows adds the rows to the emptied tree,
// which then shows them all expanded, each column as wide as its widest
// cell (see ParameterFitRows).
template <class AddRows>
void RebuildParameterTree(TVirtualStringTree* tree, AddRows addRows, const TTextLength& length = {}) {
    tree->BeginUpdate();
    tree->Clear();
    addRows();
    tree->FullExpand();
    const std::vector<std::vector<PVirtualNode>> fitRows = ParameterFitRows(tree, length);
    for (int c = 0; c < tree->Header().Columns.Count(); ++c)
        tree->Header().Columns[c].SetWidth(tree->GetMaxColumnWidth(c, fitRows[static_cast<size_t>(c)]));
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

// The name a name column shows and the object it belongs to, which its sort
// rank is kept for (no owner: a row without a name).
struct TRowName {
    const void* Owner = nullptr;
    const std::string* Name = nullptr;
};

// How a rebuild sizes a column: not at all, to the widest of its longest
// texts (never narrower than its caption), or only ever wider.
enum TColumnFit { fitKeep, fitContents, fitGrow };

// The number a column shows, sorts by and is sized by: a field of the row's
// model object or a value computed from it. Integers keep their type, so that
// a sort compares them exactly; a float field is read as a double.
template <class Object>
class TColumnValue {
public:
    using TComputed = double (*)(const Object&);

    constexpr TColumnValue() = default;
    constexpr TColumnValue(int32_t Object::*field) : FGet(field) {}
    constexpr TColumnValue(int64_t Object::*field) : FGet(field) {}
    constexpr TColumnValue(double Object::*field) : FGet(field) {}
    constexpr TColumnValue(float Object::*field) : FGet(field) {}
    template <class Compute>
    requires std::is_convertible_v<Compute, TComputed>
    constexpr TColumnValue(Compute compute) : FGet(static_cast<TComputed>(compute)) {}

    // Hands f the getter (const Object& -> int32_t, int64_t or double);
    // false, without calling f, for a column without a value.
    template <class F>
    bool With(F&& f) const {
        return std::visit(
            [&](auto get) {
                using Get = decltype(get);
                if constexpr (std::is_same_v<Get, std::monostate>) {
                    return false;
                } else if constexpr (std::is_member_object_pointer_v<Get>) {
                    f([get](const Object& o) {
                        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(o.*get)>, float>)
                            return static_cast<double>(o.*get);
                        else
                            return o.*get;
                    });
                    return true;
                } else {
                    f(get);
                    return true;
                }
            },
            FGet);
    }

private:
    std::variant<std::monostate, int32_t Object::*, int64_t Object::*, double Object::*, float Object::*, TComputed>
        FGet;
};

// One column of a statistics grid, all that the view knows of it. A column
// shows a Name (sorted by collation rank) or a Value (fractions formatted
// by Format); Text, when given, replaces the text the name or value would
// show. Each rule left out leaves that side of the cell as the grid has it.
template <class Object>
struct TGridColumn {
    TColumnDef Def;
    TRowName (*Name)(const Object&) = nullptr;
    TColumnValue<Object> Value = {};
    const char* Format = "0.00";  // FormatFloat's pattern for a fractional value
    std::string (*Text)(const Object&) = nullptr;
    int MinWidth = 0;  // 0: the grid's own
    TColumnFit Fit = fitKeep;
    // Whether a rebuild shows the column; nullptr: the view decides.
    bool (*Shown)() = nullptr;
    // The cell's background (fills, bars) by the column's warning rule.
    void (*Paint)(TCanvas&, const QRect&, Object&) = nullptr;
    TFontStyles (*Style)(const Object&) = nullptr;
    int (*Image)(Object&) = nullptr;  // below 0: none
    // The hint's text before wrapping; empty: no hint.
    std::string (*Hint)(Object&) = nullptr;
};

// The Style of a column whose text is always bold.
template <class Object>
TFontStyles Bold(const Object&) {
    return fsBold;
}

// Where a grid paints its chess rows: under every cell, or only in the
// cells that no colour rule paints.
enum TChessFill { chessUnderRules, chessPlainCells };

namespace detail {
std::string ValueText(int64_t value, const char* format);
inline std::string ValueText(int32_t value, const char* format) { return ValueText(int64_t(value), format); }
std::string ValueText(double value, const char* format);
void FillChessRow(TVirtualStringTree* grid, TCanvas& canvas, PVirtualNode node, const QRect& rect);
}  // namespace detail

// Sorts a grid's top-level rows by one value of their model objects (class
// Object, the node data); rows without an object count as the lowest value.
template <class Object, class Get>
void SortRowsBy(TVirtualStringTree* grid, TSortDirection direction, Get value) {
    using Value = std::remove_cvref_t<decltype(value(std::declval<const Object&>()))>;
    grid->SortByKey(nullptr, direction, [&value](PVirtualNode n) {
        const Object* o = TVirtualStringTree::GetNodeObject<Object>(n);
        return o ? value(*o) : std::numeric_limits<Value>::lowest();
    });
}

// A statistics grid's answers, all from its column table (indexed by column
// number): the text, colours, font, image and hint of a cell, the order of
// two rows, a header click, and the sizing and showing of the columns after
// a rebuild. Rows are model objects of class Object (the node data); a row
// without one is left as the grid has it, and so is a column outside the
// table (but for the chess fill and an empty hint, as for a plain column).
template <class Object>
class TGridColumns {
public:
    TGridColumns(std::span<const TGridColumn<Object>> columns, TChessFill chess)
        : FColumns(columns), FChess(chess), FNames(columns.size()) {}

    // The view's grid in the frame, with the table's columns.
    TVirtualStringTree* CreateGrid(QFrame* frame, const char* objectName) const {
        std::vector<TColumnDef> defs;
        for (const TGridColumn<Object>& c : FColumns) defs.push_back(c.Def);
        TVirtualStringTree* grid = CreateStatGrid(frame, objectName, defs);
        for (size_t c = 0; c < FColumns.size(); ++c)
            if (FColumns[c].MinWidth > 0) grid->Header().Columns[int(c)].SetMinWidth(FColumns[c].MinWidth);
        return grid;
    }

    void GetText(PVirtualNode node, TColumnIndex column, std::string& text) const {
        const Object* o = ObjectOf(node);
        const TGridColumn<Object>* c = Column(column);
        if (!o || !c) return;
        if (c->Text) {
            text = c->Text(*o);
        } else if (c->Name) {
            const TRowName name = c->Name(*o);
            text = name.Name ? *name.Name : std::string();
        } else {
            c->Value.With([&](auto value) { text = detail::ValueText(value(*o), c->Format); });
        }
    }

    void BeforeCellPaint(TVirtualStringTree* grid, TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                         const QRect& rect) const {
        Object* o = ObjectOf(node);
        if (!o) return;
        const TGridColumn<Object>* c = Column(column);
        const bool rule = c && c->Paint;
        if (FChess == chessUnderRules || !rule) detail::FillChessRow(grid, canvas, node, rect);
        if (rule) c->Paint(canvas, rect, *o);
    }

    void PaintText(TCanvas& canvas, PVirtualNode node, TColumnIndex column) const {
        const Object* o = ObjectOf(node);
        const TGridColumn<Object>* c = Column(column);
        if (o && c && c->Style) canvas.Font.Style |= c->Style(*o);
    }

    void GetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column, int& imageIndex) const {
        Object* o = ObjectOf(node);
        const TGridColumn<Object>* c = Column(column);
        if (!o || !c || !c->Image || (kind != ikNormal && kind != ikSelected)) return;
        if (const int image = c->Image(*o); image >= 0) imageIndex = image;
    }

    void GetHint(PVirtualNode node, TColumnIndex column, std::string& hint) const {
        Object* o = ObjectOf(node);
        if (!o) return;
        const TGridColumn<Object>* c = Column(column);
        hint = WrapHint(c && c->Hint ? c->Hint(*o) : std::string());
    }

    void CompareNodes(TVirtualStringTree* grid, PVirtualNode node1, PVirtualNode node2, TColumnIndex column,
                      int& result) {
        const Object* a = ObjectOf(node1);
        const Object* b = ObjectOf(node2);
        const TGridColumn<Object>* c = Column(column);
        if (!a || !b || !c) return;
        if (c->Name) {
            TNameSortKeys& keys = FNames[size_t(column)];
            // Ranks of rows since replaced must not answer for new objects.
            if (!keys.Ranked(grid)) keys.Clear();
            static const std::string none;
            const TRowName x = c->Name(*a);
            const TRowName y = c->Name(*b);
            result = keys.Compare(x.Owner, x.Name ? *x.Name : none, y.Owner, y.Name ? *y.Name : none);
        } else {
            c->Value.With([&](auto value) { result = CompareValues(value(*a), value(*b)); });
        }
    }

    // Moves the sort mark and sorts the rows as CompareNodes orders them,
    // each row's value taken once; names by their cached collation ranks (a
    // row without a name ranks lowest).
    void HeaderClick(TVirtualStringTree* grid, TColumnIndex column) {
        if (column < 0) return;
        const TSortDirection d = HeaderClickDirection(grid, column);
        const TGridColumn<Object>* c = Column(column);
        if (c && c->Name) {
            TNameSortKeys& keys = FNames[size_t(column)];
            const auto nameOf = c->Name;
            keys.Rank(grid, [nameOf](PVirtualNode n) {
                const Object* o = ObjectOf(n);
                return o ? nameOf(*o) : TRowName();
            });
            grid->SortByKey(nullptr, d, keys.RowRanks(grid, [&keys, nameOf](PVirtualNode n) {
                const Object* o = ObjectOf(n);
                return keys.RankOf(o ? nameOf(*o).Owner : nullptr);
            }));
        } else if (!c || !c->Value.With([&](auto value) { SortRowsBy<Object>(grid, d, value); })) {
            grid->SortTree(column, d);
        }
    }

    // The rows whose text in the column is among the longest (LongestRows),
    // by the characters of the name or the magnitude of the value; every row
    // for a column with neither.
    std::vector<PVirtualNode> LongestRows(TVirtualStringTree* grid, TColumnIndex column) const {
        const TGridColumn<Object>* c = Column(column);
        std::vector<PVirtualNode> rows;
        if (c && c->Name) {
            return dv::LongestRows(grid, [nameOf = c->Name](PVirtualNode n) {
                const Object* o = ObjectOf(n);
                const TRowName name = o ? nameOf(*o) : TRowName();
                return name.Name ? static_cast<double>(Utf8Length(*name.Name)) : 0.0;
            });
        }
        if (c && c->Value.With([&](auto value) {
                rows = dv::LongestRows(grid, [value](PVirtualNode n) {
                    const Object* o = ObjectOf(n);
                    return o ? TextMagnitude(static_cast<double>(value(*o))) : 0.0;
                });
            }))
            return rows;
        for (PVirtualNode n = grid->GetFirst(); n; n = grid->GetNextSibling(n)) rows.push_back(n);
        return rows;
    }

    // After a rebuild: sizes the columns their Fit names and shows those
    // with a Shown rule as it answers.
    void FitColumns(TVirtualStringTree* grid) const {
        for (size_t c = 0; c < FColumns.size(); ++c) {
            const int column = static_cast<int>(c);
            if (FColumns[c].Fit == fitContents) FitColumnToContents(grid, column, LongestRows(grid, column));
            if (FColumns[c].Fit == fitGrow) GrowColumnToContents(grid, column, LongestRows(grid, column));
        }
        for (size_t c = 0; c < FColumns.size(); ++c)
            if (FColumns[c].Shown) grid->Header().Columns[int(c)].SetVisible(FColumns[c].Shown());
    }

    static Object* ObjectOf(PVirtualNode node) { return TVirtualStringTree::GetNodeObject<Object>(node); }

private:
    const TGridColumn<Object>* Column(TColumnIndex column) const {
        return column >= 0 && size_t(column) < FColumns.size() ? &FColumns[size_t(column)] : nullptr;
    }

    std::span<const TGridColumn<Object>> FColumns;
    TChessFill FChess;
    std::vector<TNameSortKeys> FNames;  // per column; used by the name columns
};

}  // namespace dv
