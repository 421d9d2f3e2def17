// TVirtualStringTree: the tree grid every view is built on. It keeps one
// node per shown object holding a single intptr_t (a model pointer or an item
// code) and asks its owner, cell by cell and at every paint, for text,
// background, font style, image and hint through the On... events. Nothing of
// a cell is cached. Underneath: a QTreeView, one item model over the nodes and
// one delegate that paints by calling the events.
#pragma once

#include "platform/gui/Graphics.h"

#include <QIcon>
#include <QList>
#include <QTreeView>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace dv {

struct TVirtualNode;               // opaque; owned by the tree
using PVirtualNode = TVirtualNode*;
using TColumnIndex = int;
constexpr TColumnIndex NoColumn = -1;

enum TSortDirection { sdAscending, sdDescending };
enum TVTImageKind { ikNormal, ikSelected, ikState, ikOverlay };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
// Formats of the clipboard copy and of ContentToText.
enum TVTExportFormat { efCSV, efPlainText };

enum TVTColumnOption : uint32_t {
    coAllowClick = 0x01,
    coDraggable = 0x02,
    coResizable = 0x04,
    coVisible = 0x08,
};
using TVTColumnOptions = uint32_t;
constexpr TVTColumnOptions DefaultColumnOptions = coAllowClick | coDraggable | coResizable | coVisible;

class TVirtualStringTree;
class TTextMeasure;  // internal: text widths for the auto-width
class TNodePool;     // internal: the nodes' memory

// Row images of a grid (16x16 by default).
class TImageList {
public:
    int Width = 16;
    int Height = 16;
    QList<QIcon> Icons;
    int Count() const { return static_cast<int>(Icons.size()); }
    int Add(const QIcon& icon);
    // Adds the picture at a resource path such as ":/views/table.svg".
    int AddResource(const QString& path);
};

// One header column. Its index (the column number the events get) never
// changes; Position is where it shows after the user dragged it.
class TVirtualTreeColumn {
public:
    TVirtualTreeColumn(TVirtualStringTree* tree, int index) : tree_(tree), index_(index) {}

    int Index() const { return index_; }
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    int Width() const;
    void SetWidth(int width);
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int width);
    TAlignment Alignment() const { return alignment_; }
    TVTColumnOptions Options() const { return options_; }
    void SetOptions(TVTColumnOptions options);
    bool Visible() const { return (options_ & coVisible) != 0; }
    void SetVisible(bool visible);
    // Display position, 0 = leftmost.
    int Position() const;
    void SetPosition(int position);
    // The cell's own background, painted before OnBeforeCellPaint.
    TColor Color() const { return color_; }
    void SetColor(TColor color);

private:
    friend class TVirtualStringTree;
    friend class TVirtualTreeColumns;
    friend class TVTModel;
    TVirtualStringTree* tree_;
    int index_;
    std::string text_;
    int width_ = 50;
    int minWidth_ = 10;
    TAlignment alignment_ = taLeftJustify;
    TVTColumnOptions options_ = DefaultColumnOptions;
    TColor color_ = clWindow;
};

class TVirtualTreeColumns {
public:
    explicit TVirtualTreeColumns(TVirtualStringTree* tree) : tree_(tree) {}
    TVirtualTreeColumn& Add(const std::string& text = {}, int width = 50, TAlignment alignment = taLeftJustify);
    int Count() const { return static_cast<int>(items_.size()); }
    TVirtualTreeColumn& operator[](int index) { return *items_.at(static_cast<size_t>(index)); }
    const TVirtualTreeColumn& operator[](int index) const { return *items_.at(static_cast<size_t>(index)); }
    TVirtualTreeColumn& Items(int index) { return (*this)[index]; }
    // Column numbers of the visible columns in display order.
    std::vector<int> VisibleInDisplayOrder() const;

private:
    TVirtualStringTree* tree_;
    std::vector<std::unique_ptr<TVirtualTreeColumn>> items_;
};

class TVTHeader {
public:
    explicit TVTHeader(TVirtualStringTree* tree) : tree_(tree), Columns(tree) {}
    TVirtualTreeColumns& GetColumns() { return Columns; }
    TColumnIndex SortColumn() const { return sortColumn_; }
    void SetSortColumn(TColumnIndex column);
    TSortDirection SortDirection() const { return sortDirection_; }
    void SetSortDirection(TSortDirection direction);
    bool Visible() const;
    void SetVisible(bool visible);
    int Height() const;
    void SetHeight(int height);

private:
    friend class TVirtualStringTree;
    TVirtualStringTree* tree_;
    TColumnIndex sortColumn_ = NoColumn;
    TSortDirection sortDirection_ = sdAscending;

public:
    TVirtualTreeColumns Columns;
};

class TVirtualStringTree : public QTreeView {
public:
    using TGetTextEvent = std::function<void(TVirtualStringTree*, PVirtualNode, TColumnIndex, std::string&)>;
    using TBeforeCellPaintEvent =
        std::function<void(TVirtualStringTree*, TCanvas&, PVirtualNode, TColumnIndex, QRect)>;
    using TPaintTextEvent = std::function<void(TVirtualStringTree*, TCanvas&, PVirtualNode, TColumnIndex)>;
    using TGetImageEvent =
        std::function<void(TVirtualStringTree*, PVirtualNode, TVTImageKind, TColumnIndex, bool&, int&)>;
    using TGetHintEvent = std::function<void(TVirtualStringTree*, PVirtualNode, TColumnIndex, std::string&)>;
    using TCompareEvent =
        std::function<void(TVirtualStringTree*, PVirtualNode, PVirtualNode, TColumnIndex, int&)>;
    using THeaderClickEvent = std::function<void(TVirtualStringTree*, TColumnIndex)>;
    using TColumnDblClickEvent = std::function<void(TVirtualStringTree*, TColumnIndex)>;
    using TChangeEvent = std::function<void(TVirtualStringTree*, PVirtualNode)>;
    using TFreeNodeEvent = std::function<void(TVirtualStringTree*, PVirtualNode)>;
    using TExpandingEvent = std::function<void(TVirtualStringTree*, PVirtualNode, bool&)>;
    // Node visitor of IterateSubtree; setting abort stops at that node.
    using TGetNodeProc = std::function<void(TVirtualStringTree*, PVirtualNode, bool& abort)>;

    explicit TVirtualStringTree(QWidget* parent = nullptr);
    // Frees the nodes without OnFreeNode: by now the owning view's members
    // are gone. A view that must free something per node calls Clear() in
    // its own destructor.
    ~TVirtualStringTree() override;

    // --- events (set by the owning view) ---
    TGetTextEvent OnGetText;
    TBeforeCellPaintEvent OnBeforeCellPaint;
    TPaintTextEvent OnPaintText;
    TGetImageEvent OnGetImageIndex;
    TGetHintEvent OnGetHint;
    TCompareEvent OnCompareNodes;
    THeaderClickEvent OnHeaderClick;
    TColumnDblClickEvent OnColumnDblClick;
    // Selection change: the node when exactly one row became selected,
    // otherwise nullptr (rows deselected, several rows selected at once).
    TChangeEvent OnChange;
    TFreeNodeEvent OnFreeNode;
    TExpandingEvent OnExpanding;

    // Row images asked through OnGetImageIndex.
    TImageList Images;

    TVTHeader& Header() { return header_; }
    const TVTHeader& Header() const { return header_; }

    // --- options ---
    // Flat list: no root decoration, no expanding (the tables and indices grids).
    void SetFlatList(bool flat);
    bool FlatList() const { return flat_; }
    void SetGridLines(bool horizontal, bool vertical);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show) { showHint_ = show; }

    // --- updates ---
    // Nested; while an update is open nothing repaints and structural changes
    // are announced to the view once, at the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    bool IsUpdating() const { return updateCount_ > 0; }
    // Frees every node (OnFreeNode for each, children before parents).
    void Clear();
    // Appends a child (parent nullptr: a top-level row) carrying data.
    PVirtualNode AddChild(PVirtualNode parent, intptr_t data = 0);
    // Removes a node and its subtree (OnFreeNode for each).
    void DeleteNode(PVirtualNode node);

    // --- nodes ---
    static intptr_t GetNodeData(PVirtualNode node);
    static void SetNodeData(PVirtualNode node, intptr_t data);
    template <class T>
    static T* GetNodeObject(PVirtualNode node) {
        return node ? reinterpret_cast<T*>(GetNodeData(node)) : nullptr;
    }
    PVirtualNode GetFirst() const;                      // first top-level node
    PVirtualNode GetNext(PVirtualNode node) const;      // pre-order over all nodes
    PVirtualNode GetNextSibling(PVirtualNode node) const;
    PVirtualNode GetFirstChild(PVirtualNode node) const; // nullptr node: top level
    PVirtualNode GetLastChild(PVirtualNode node) const;
    PVirtualNode GetParent(PVirtualNode node) const;     // nullptr for top-level
    // First node / next node in pre-order that the user can see (own flag and
    // every ancestor visible, every ancestor expanded).
    PVirtualNode GetFirstVisible() const;
    PVirtualNode GetNextVisible(PVirtualNode node) const;
    int ChildCount(PVirtualNode node) const;             // nullptr: top level
    int RootNodeCount() const;
    int TotalCount() const { return totalCount_; }
    int GetNodeLevel(PVirtualNode node) const;           // 0 for top-level
    // Position among the siblings in the current order, hidden ones counted.
    int GetNodeIndex(PVirtualNode node) const;
    // Chess fill: true for the 1st, 3rd, 5th... sibling (even position).
    bool IsChessRow(PVirtualNode node) const { return GetNodeIndex(node) % 2 == 0; }
    // The children of parent (nullptr: the top level) in the order they lie
    // in memory, not in sibling order: a walk over every row that reads
    // each row's object goes through memory once instead of jumping to
    // wherever the next sibling lies after a sort.
    std::vector<PVirtualNode> ChildrenInMemoryOrder(PVirtualNode parent) const;
    // Visits node and its subtree in pre-order (nullptr: every node). Returns
    // the node at which the callback set abort, else nullptr.
    PVirtualNode IterateSubtree(PVirtualNode node, const TGetNodeProc& callback);

    // Per-node visible flag (filters). The item model holds only the rows
    // whose flag (and every ancestor's) is set; inside an update the view
    // learns of the changes once, at the outermost EndUpdate. A hidden row
    // loses its selection; a hidden focused row stays the focused node (the
    // view has no current row meanwhile) and gets the view's focus back when
    // it shows again.
    bool IsVisible(PVirtualNode node) const;
    void SetVisible(PVirtualNode node, bool visible);
    // Changes whenever nodes are added, deleted or cleared; a view that
    // keeps something per node compares it.
    unsigned Generation() const { return generation_; }
    bool Expanded(PVirtualNode node) const;
    // Expanding asks OnExpanding first.
    void SetExpanded(PVirtualNode node, bool expanded);
    void FullExpand(PVirtualNode node = nullptr);

    // --- focus and selection ---
    PVirtualNode FocusedNode() const;
    // Moves the focus (not the selection) to the node, in FocusedColumn.
    void SetFocusedNode(PVirtualNode node);
    TColumnIndex FocusedColumn() const;
    void SetFocusedColumn(TColumnIndex column);
    bool Selected(PVirtualNode node) const;
    void SetSelected(PVirtualNode node, bool selected);
    int SelectedCount() const;
    // Selected nodes in tree order.
    std::vector<PVirtualNode> GetSelectedNodes() const;
    void ClearSelection();
    void SelectAll();
    void ScrollIntoView(PVirtualNode node, bool center);
    // A jump's landing: the grid takes the input focus and the node becomes
    // the focused and only selected row, in the leftmost shown column, scrolled
    // to the middle with that column in view (a jump is to a name).
    void GoToNode(PVirtualNode node);
    void Repaint();
    PVirtualNode GetNodeAt(const QPoint& viewportPos) const;

    // --- sorting ---
    // Stable sort of the top-level rows (deep: every level) by OnCompareNodes;
    // descending is the reverse of ascending, equal rows keep their order.
    void SortTree(TColumnIndex column, TSortDirection direction, bool deep = false);
    // Stable sort of one node's children (nullptr: the top level).
    void Sort(PVirtualNode parent, TColumnIndex column, TSortDirection direction);
    // The same order as Sort with a comparison that compares keyOf(node1)
    // with keyOf(node2), without calling OnCompareNodes: each child's key is
    // taken once and the keys are sorted (descending is the reverse order of
    // the keys, equal keys keep their order).
    template <class KeyOf>
    void SortByKey(PVirtualNode parent, TSortDirection direction, KeyOf keyOf) {
        using Key = decltype(keyOf(PVirtualNode()));
        // Keys are taken in memory order and put at each child's place.
        const std::vector<PVirtualNode> children = ChildrenInMemoryOrder(parent);
        if (children.size() < 2) return;
        if constexpr (std::is_arithmetic_v<Key>) {
            // Numbers sort by their bits (see SortByOrderedBits): a few
            // sequential passes instead of a million comparisons. A NaN has
            // no place in that order and leaves it to the comparison below.
            std::vector<std::pair<uint64_t, PVirtualNode>> keyed(children.size());
            bool ordered = true;
            for (PVirtualNode n : children)
                keyed[static_cast<size_t>(GetNodeIndex(n))] = {OrderedBits(keyOf(n), ordered), n};
            if (ordered) {
                applyOrder(parent, SortByOrderedBits(keyed, direction));
                return;
            }
        }
        std::vector<std::pair<Key, PVirtualNode>> keyed(children.size());
        for (PVirtualNode n : children) keyed[static_cast<size_t>(GetNodeIndex(n))] = {keyOf(n), n};
        if (direction == sdAscending)
            std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        else
            std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
        std::vector<PVirtualNode> order;
        order.reserve(keyed.size());
        for (const auto& k : keyed) order.push_back(k.second);
        applyOrder(parent, std::move(order));
    }

    // A number as bits whose unsigned order is the number's order under <:
    // -0 and 0 alike, as they compare equal. A NaN clears ordered.
    template <class Number>
    static uint64_t OrderedBits(Number value, bool& ordered) {
        constexpr uint64_t sign = uint64_t(1) << 63;
        if constexpr (std::is_floating_point_v<Number>) {
            double d = static_cast<double>(value);
            if (std::isnan(d)) {
                ordered = false;
                return 0;
            }
            if (d == 0) d = 0;
            const auto bits = std::bit_cast<uint64_t>(d);
            return (bits & sign) ? ~bits : bits | sign;
        } else if constexpr (std::is_signed_v<Number>) {
            return static_cast<uint64_t>(static_cast<int64_t>(value)) ^ sign;
        } else {
            return static_cast<uint64_t>(value);
        }
    }
    // The nodes in the order of their keys (descending: the reverse order of
    // the keys), equal keys in the order given: a stable radix sort.
    static std::vector<PVirtualNode> SortByOrderedBits(std::vector<std::pair<uint64_t, PVirtualNode>>& keyed,
                                                       TSortDirection direction);

    // --- column widths ---
    // Widest cell of the column over all rows: text width (font style from
    // OnPaintText) plus margins, plus image width + 2 where a row has an image.
    int GetMaxColumnWidth(TColumnIndex column);
    // The same over the given rows only (a view that knows which of its
    // rows hold the longest texts need not measure the others).
    int GetMaxColumnWidth(TColumnIndex column, const std::vector<PVirtualNode>& rows);
    // Width of one cell's content as GetMaxColumnWidth counts it.
    int GetCellContentWidth(PVirtualNode node, TColumnIndex column);

    // --- copy ---
    // The selected rows as text: the captions of the visible columns in
    // display order, then one line per selected row in tree order; CR LF line
    // ends; cells quoted when they hold the separator or a double quote.
    std::string ContentToText(TVTExportFormat format);
    // Puts "CSV" and "Plain text" (also as text/plain) on the clipboard.
    void CopyToClipBoard();

    // Layout constants of a cell (pixels).
    static constexpr int Margin = 4;      // left of image / text
    static constexpr int TextMargin = 4;  // around the text
    static constexpr int ImageSpacing = 2;

    // Internal: the item model index of a node (column 0 unless given).
    QModelIndex IndexOf(PVirtualNode node, int column = 0) const;
    PVirtualNode NodeOf(const QModelIndex& index) const;
    TColumnIndex ColumnOf(int modelColumn) const;

protected:
    bool viewportEvent(QEvent* event) override;
    // Ctrl+C (the platform's copy keys) copies the selected rows like
    // CopyToClipBoard; Enter on the focused row does what a double click on
    // its focused cell does; SortKey sorts by the focused column as a click
    // on its header does.
    void keyPressEvent(QKeyEvent* event) override;
    // Skipped for the layout of a sort (see applyOrder).
    void updateGeometries() override;

public:
    // The key that sorts by the focused column, as its header's hint says.
    static constexpr Qt::Key SortKey = Qt::Key_F4;
    static const char* const SortHint;

protected:
    // Getting the focus picks no row: a focused row is always one the user or
    // the program chose, whose change events ran.
    void focusInEvent(QFocusEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    friend class TVirtualTreeColumn;
    friend class TVTHeader;
    friend class TVirtualTreeColumns;
    friend class TVTModel;
    friend class TVTDelegate;

    void columnAdded(TVirtualTreeColumn& column);
    void applyColumn(const TVirtualTreeColumn& column);
    void applySortIndicator();
    void freeSubtree(PVirtualNode node);
    void applyNodeFlags(PVirtualNode node);
    // Puts a node's children in the given order (a permutation of them).
    void applyOrder(PVirtualNode parent, std::vector<PVirtualNode> order);
    // Hands the view the visible flags changed since the last call.
    void applyVisibility();
    // The same at the end of an update, laid out at once.
    void applyVisibilityLaidOut();
    // Every parent's Shown from its children's flags (after a reset).
    void rebuildShown(PVirtualNode parent, bool subtree);
    // Around a change of the shown rows: the focused node and the selected
    // rows are kept on their nodes.
    struct TLayoutState {
        PVirtualNode Current = nullptr;
        int Column = 0;
        std::vector<PVirtualNode> Selected;
    };
    void beginLayout(TLayoutState& state);
    void endLayout(const TLayoutState& state);
    // Gives a focused node that had no row (parked) its row back as the
    // view's current one when it is shown again; false when it is not.
    bool restoreParkedFocus();
    void expandShown(PVirtualNode node);
    PVirtualNode nextShownSibling(PVirtualNode node) const;
    bool shownExact() const { return pendingVisible_.empty() && !resetPending_; }
    void onExpandedByView(const QModelIndex& index);
    void onCollapsedByView(const QModelIndex& index);
    void onSectionResized(int logical, int oldSize, int newSize);
    void onSortIndicatorChanged(int logical, Qt::SortOrder order);
    bool allowExpand(PVirtualNode node);
    void paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);
    int cellIndent(PVirtualNode node, int modelColumn) const;
    int measureCell(TTextMeasure& measure, TCanvas& canvas, PVirtualNode node, TColumnIndex column, std::string& text);
    // The text a cell shows in width pixels: whole, or elided at the right.
    QString shownText(const QFontMetrics& fm, TFontStyles style, const QFont& base, const std::string& text, int width);
    void escapeCell(std::string& out, const std::string& cell, char separator) const;

    TVTHeader header_;
    std::unique_ptr<TNodePool> pool_;
    class TVTModel* model_;
    class TVTDelegate* delegate_;
    PVirtualNode root_;
    int totalCount_ = 0;
    int updateCount_ = 0;
    unsigned generation_ = 0;
    std::vector<PVirtualNode> pendingVisible_;
    // The focused node while it is hidden (the view then has no current row).
    PVirtualNode parkedFocus_ = nullptr;
    int parkedColumn_ = 0;
    bool restoringSelection_ = false;
    bool resetPending_ = false;
    bool flat_ = false;
    bool showHint_ = true;
    bool horzLines_ = true;
    bool vertLines_ = true;
    bool settingIndicator_ = false;
    bool inExpand_ = false;
    // The grid lines' colour and the palette colour it was made from.
    QColor lineBase_;
    QColor lineColor_;
    // The layout under way is that of a reorder: no size changes.
    bool reorderLayout_ = false;
    // The layout under way is that of rows that came or went in a flat list
    // whose vertical scroll bar shows before and after.
    bool rowCountLayout_ = false;
    // The advances the paint measures texts with, for the font it was made for.
    std::shared_ptr<TTextMeasure> paintMeasure_;
    QFont paintMeasureFont_;
    // The cells' texts as the paint laid them out.
    TLaidOutTexts laidOut_;
};

// A cell hint as the hint window shows it: line breaks as LF, the blanks
// that begin a line kept.
QString HintDisplayText(const std::string& hint);

// The hint colour shared by every grid. The main window's hint filter keeps
// every hint up for the options' hide pause, the grids' among them.
void SetHintColor(TColor color);

}  // namespace dv
