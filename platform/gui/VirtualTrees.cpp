#include "platform/gui/VirtualTrees.h"

#include "platform/text/SysUtils.h"
#include "platform/gui/VTModel.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>
#include <algorithm>

namespace dv {

void SetHintColor(TColor color) {
    QPalette pal = QToolTip::palette();
    pal.setColor(QPalette::ToolTipBase, ColorFromWin(color));
    QToolTip::setPalette(pal);
}

// ---------------------------------------------------------------- images

int TImageList::Add(const QIcon& icon) {
    Icons.append(icon);
    return Count() - 1;
}

int TImageList::AddResource(const QString& path) { return Add(QIcon(path)); }

// ---------------------------------------------------------------- columns

void TVirtualTreeColumn::SetText(const std::string& text) {
    text_ = text;
    tree_->model_->headerChanged(index_, index_);
}

int TVirtualTreeColumn::Width() const { return width_; }

void TVirtualTreeColumn::SetWidth(int width) {
    width_ = std::max(width, minWidth_);
    tree_->applyColumn(*this);
}

void TVirtualTreeColumn::SetMinWidth(int width) {
    minWidth_ = std::max(0, width);
    if (width_ < minWidth_) width_ = minWidth_;
    tree_->applyColumn(*this);
}

void TVirtualTreeColumn::SetOptions(TVTColumnOptions options) {
    options_ = options;
    tree_->applyColumn(*this);
}

void TVirtualTreeColumn::SetVisible(bool visible) {
    SetOptions(visible ? (options_ | coVisible) : (options_ & ~TVTColumnOptions(coVisible)));
}

int TVirtualTreeColumn::Position() const { return tree_->header()->visualIndex(index_); }

void TVirtualTreeColumn::SetPosition(int position) {
    QHeaderView* h = tree_->header();
    const int from = h->visualIndex(index_);
    if (from < 0 || position < 0 || position >= h->count() || from == position) return;
    h->moveSection(from, position);
}

void TVirtualTreeColumn::SetColor(TColor color) {
    color_ = color;
    tree_->viewport()->update();
}

TVirtualTreeColumn& TVirtualTreeColumns::Add(const std::string& text, int width, TAlignment alignment) {
    const int index = Count();
    auto column = std::make_unique<TVirtualTreeColumn>(tree_, index);
    column->text_ = text;
    column->width_ = std::max(width, column->minWidth_);
    column->alignment_ = alignment;
    // With no columns the model shows one column of its own (events get
    // NoColumn); the first real column takes its place.
    const bool grows = index > 0;
    if (grows) tree_->model_->beginColumnInsert(index, index);
    items_.push_back(std::move(column));
    if (grows) tree_->model_->endColumnInsert();
    tree_->columnAdded(*items_.back());
    return *items_.back();
}

std::vector<int> TVirtualTreeColumns::VisibleInDisplayOrder() const {
    std::vector<int> out;
    const QHeaderView* h = tree_->header();
    for (int visual = 0; visual < h->count(); ++visual) {
        const int logical = h->logicalIndex(visual);
        if (logical >= 0 && logical < Count() && items_[static_cast<size_t>(logical)]->Visible()) out.push_back(logical);
    }
    return out;
}

// ---------------------------------------------------------------- header

void TVTHeader::SetSortColumn(TColumnIndex column) {
    sortColumn_ = (column >= 0 && column < Columns.Count()) ? column : NoColumn;
    tree_->applySortIndicator();
}

void TVTHeader::SetSortDirection(TSortDirection direction) {
    sortDirection_ = direction;
    tree_->applySortIndicator();
}

bool TVTHeader::Visible() const { return !tree_->isHeaderHidden(); }
void TVTHeader::SetVisible(bool visible) { tree_->setHeaderHidden(!visible); }
int TVTHeader::Height() const { return tree_->header()->height(); }
void TVTHeader::SetHeight(int height) { tree_->header()->setFixedHeight(height); }

// ---------------------------------------------------------------- tree

TVirtualStringTree::TVirtualStringTree(QWidget* parent)
    : QTreeView(parent), header_(this), pool_(std::make_unique<TNodePool>()), root_(new TVirtualNode) {
    root_->Expanded = true;
    model_ = new TVTModel(this, root_);
    delegate_ = new TVTDelegate(this);
    setModel(model_);
    setItemDelegate(delegate_);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(false);
    setAnimated(false);
    setTextElideMode(Qt::ElideRight);

    QHeaderView* h = header();
    h->setStretchLastSection(false);
    h->setSectionsClickable(true);
    h->setSectionsMovable(true);
    h->setSortIndicatorShown(true);
    h->setSortIndicator(-1, Qt::AscendingOrder);
    h->setHighlightSections(false);
    h->setMinimumSectionSize(0);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    connect(h, &QHeaderView::sectionClicked, this, [this](int logical) {
        if (logical < 0 || logical >= header_.Columns.Count()) return;
        if (!(header_.Columns[logical].Options() & coAllowClick)) return;
        if (OnHeaderClick) OnHeaderClick(this, logical);
    });
    connect(h, &QHeaderView::sectionResized, this, &TVirtualStringTree::onSectionResized);
    connect(h, &QHeaderView::sortIndicatorChanged, this, &TVirtualStringTree::onSortIndicatorChanged);
    connect(this, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (OnColumnDblClick && index.isValid()) OnColumnDblClick(this, ColumnOf(index.column()));
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& now) {
        if (now.isValid()) parkedFocus_ = nullptr;
    });
    connect(this, &QTreeView::expanded, this, &TVirtualStringTree::onExpandedByView);
    connect(this, &QTreeView::collapsed, this, &TVirtualStringTree::onCollapsedByView);
}

TVirtualStringTree::~TVirtualStringTree() {
    // Nodes go without OnFreeNode here: the owning view is being destroyed and
    // its handlers may no longer be valid; the pool frees them all at once.
    OnFreeNode = nullptr;
    delete root_;
}

void TVirtualStringTree::columnAdded(TVirtualTreeColumn& column) {
    applyColumn(column);
}

void TVirtualStringTree::applyColumn(const TVirtualTreeColumn& column) {
    QHeaderView* h = header();
    const int i = column.Index();
    if (i >= h->count()) return;
    h->setSectionHidden(i, !column.Visible());
    h->setSectionResizeMode(i, (column.Options() & coResizable) ? QHeaderView::Interactive : QHeaderView::Fixed);
    if (column.Visible() && h->sectionSize(i) != column.width_) h->resizeSection(i, column.width_);
}

void TVirtualStringTree::onSectionResized(int logical, int, int newSize) {
    if (logical < 0 || logical >= header_.Columns.Count()) return;
    TVirtualTreeColumn& c = header_.Columns[logical];
    if (header()->isSectionHidden(logical) || !c.Visible()) return;
    if (newSize < c.minWidth_) {
        header()->resizeSection(logical, c.minWidth_);
        return;
    }
    c.width_ = newSize;
}

void TVirtualStringTree::applySortIndicator() {
    settingIndicator_ = true;
    header()->setSortIndicator(header_.sortColumn_,
                               header_.sortDirection_ == sdAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    settingIndicator_ = false;
}

void TVirtualStringTree::onSortIndicatorChanged(int, Qt::SortOrder) {
    // A click flips the header's own mark; the views decide the sort, so the
    // mark always shows what SortColumn and SortDirection say.
    if (!settingIndicator_) applySortIndicator();
}

void TVirtualStringTree::SetFlatList(bool flat) {
    flat_ = flat;
    setRootIsDecorated(!flat);
    setItemsExpandable(!flat);
    setExpandsOnDoubleClick(!flat);
}

void TVirtualStringTree::SetGridLines(bool horizontal, bool vertical) {
    horzLines_ = horizontal;
    vertLines_ = vertical;
    viewport()->update();
}

// ---------------------------------------------------------------- updates

// Only the rows' area stops painting: turning the whole grid's updates off
// and on again repaints its frame, header and scroll bars as well, on every
// filter toggle and rebuild.
void TVirtualStringTree::BeginUpdate() {
    if (updateCount_++ == 0) viewport()->setUpdatesEnabled(false);
}

void TVirtualStringTree::EndUpdate() {
    if (updateCount_ == 0) return;
    if (--updateCount_ > 0) return;
    if (resetPending_) {
        resetPending_ = false;
        pendingVisible_.clear();   // rebuildShown clears the nodes' marks
        rebuildShown(root_, true);
        model_->endReset();
        // The view forgot expanded nodes and its current row with the reset;
        // the nodes' own flags are what counts.
        applyNodeFlags(root_);
        restoreParkedFocus();
    } else if (!pendingVisible_.empty()) {
        applyVisibilityLaidOut();
    }
    // The rows are laid out now rather than in the next paint: laid out
    // there, the new scroll range asks for a second paint of the whole grid.
    if (isVisible()) executeDelayedItemsLayout();
    viewport()->setUpdatesEnabled(true);
    viewport()->update();
}

void TVirtualStringTree::applyNodeFlags(PVirtualNode parent) {
    std::vector<PVirtualNode> stack{parent};
    while (!stack.empty()) {
        PVirtualNode p = stack.back();
        stack.pop_back();
        for (PVirtualNode c : p->Shown) {
            if (c->Children.empty()) continue;
            if (c->Expanded) {
                inExpand_ = true;
                expand(model_->indexOf(c, 0));
                inExpand_ = false;
            }
            stack.push_back(c);
        }
    }
}

void TVirtualStringTree::rebuildShown(PVirtualNode parent, bool subtree) {
    std::vector<PVirtualNode> stack{parent};
    while (!stack.empty()) {
        PVirtualNode p = stack.back();
        stack.pop_back();
        p->Shown.clear();
        for (PVirtualNode c : p->Children) {
            c->Pending = false;
            if (c->Visible) p->Shown.push_back(c);
            if (subtree && !c->Children.empty()) stack.push_back(c);
        }
    }
}

PVirtualNode TVirtualStringTree::nextShownSibling(PVirtualNode node) const {
    if (!node || !node->Parent) return nullptr;
    if (shownExact()) {
        // Shown holds exactly the visible siblings: the first after node.
        const auto& shown = node->Parent->Shown;
        const auto at = std::upper_bound(shown.begin(), shown.end(), node->Index,
                                         [](int index, PVirtualNode n) { return index < n->Index; });
        return at == shown.end() ? nullptr : *at;
    }
    for (PVirtualNode s = GetNextSibling(node); s; s = GetNextSibling(s))
        if (s->Visible) return s;
    return nullptr;
}

void TVirtualStringTree::beginLayout(TLayoutState& state) {
    const QModelIndex current = currentIndex();
    state.Current = NodeOf(current);
    state.Column = current.isValid() ? current.column() : 0;
    if (selectionModel()->hasSelection()) state.Selected = GetSelectedNodes();
    model_->beginReorder(nullptr);
}

void TVirtualStringTree::endLayout(const TLayoutState& state) {
    model_->endReorder(nullptr);
    if (state.Current && !model_->inModel(state.Current)) {
        parkedFocus_ = state.Current;
        parkedColumn_ = state.Column;
    } else if (restoreParkedFocus()) {
        parkedFocus_ = nullptr;
    }
    if (state.Selected.empty()) return;
    // The selected rows that are still shown, as whole rows; rows that left
    // the model are no longer selected.
    QItemSelection selection;
    const int lastColumn = model_->columnCount() - 1;
    for (PVirtualNode n : state.Selected) {
        if (!model_->inModel(n)) continue;
        const QModelIndex first = IndexOf(n, 0);
        if (!selection.isEmpty()) {
            QItemSelectionRange& last = selection.last();
            if (last.parent() == first.parent() && last.bottom() + 1 == first.row()) {
                last = QItemSelectionRange(last.topLeft(), first.siblingAtColumn(lastColumn));
                continue;
            }
        }
        selection.append(QItemSelectionRange(first, first.siblingAtColumn(lastColumn)));
    }
    restoringSelection_ = true;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    restoringSelection_ = false;
}

bool TVirtualStringTree::restoreParkedFocus() {
    if (!parkedFocus_ || !model_->inModel(parkedFocus_)) return false;
    selectionModel()->setCurrentIndex(IndexOf(parkedFocus_, parkedColumn_), QItemSelectionModel::NoUpdate);
    return true;
}

void TVirtualStringTree::expandShown(PVirtualNode node) {
    if (node->Children.empty()) return;
    if (node->Expanded) {
        inExpand_ = true;
        expand(model_->indexOf(node, 0));
        inExpand_ = false;
    }
    applyNodeFlags(node);
}

void TVirtualStringTree::applyVisibility() {
    std::vector<PVirtualNode> changed;
    changed.swap(pendingVisible_);
    // Only the nodes whose row really comes or goes (a flag set and reset
    // inside one update changes nothing), grouped by parent, in sibling order.
    std::vector<PVirtualNode> moves;
    for (PVirtualNode n : changed) {
        n->Pending = false;
        if (n->Visible != n->WasShown) moves.push_back(n);
    }
    if (moves.empty()) return;
    // Grouped by parent; within a group the order does not matter (each row
    // goes in or out at its own place, or the group is taken again from the
    // flags). Rows of a flat list (one parent) need no sort at all, in
    // whatever order their flags were set.
    const auto byParentAndPlace = [](PVirtualNode a, PVirtualNode b) {
        return a->Parent != b->Parent ? std::less<PVirtualNode>()(a->Parent, b->Parent) : a->Index < b->Index;
    };
    const PVirtualNode firstParent = moves.front()->Parent;
    const bool oneParent =
        std::all_of(moves.begin(), moves.end(), [firstParent](PVirtualNode n) { return n->Parent == firstParent; });
    if (!oneParent && !std::is_sorted(moves.begin(), moves.end(), byParentAndPlace))
        std::sort(moves.begin(), moves.end(), byParentAndPlace);

    TLayoutState state;
    beginLayout(state);
    for (size_t first = 0; first < moves.size();) {
        PVirtualNode parent = moves[first]->Parent;
        size_t last = first;
        while (last < moves.size() && moves[last]->Parent == parent) ++last;
        auto& shown = parent->Shown;
        // A few rows: each goes in or out at its place; many: the list is
        // taken again from the flags.
        if (last - first <= 64) {
            for (size_t k = first; k < last; ++k) {
                PVirtualNode n = moves[k];
                const auto at = std::lower_bound(shown.begin(), shown.end(), n->Index,
                                                 [](PVirtualNode s, int index) { return s->Index < index; });
                if (n->Visible)
                    shown.insert(at, n);
                else
                    shown.erase(at);
            }
        } else {
            rebuildShown(parent, false);
        }
        first = last;
    }
    endLayout(state);
    // Nodes that came back show their children as they were left.
    for (PVirtualNode n : moves)
        if (n->Visible && !n->Children.empty() && model_->inModel(n)) expandShown(n);
}

void TVirtualStringTree::applyVisibilityLaidOut() {
    // Rows that come or go in a flat list change the vertical scroll range
    // and nothing else. Laid out in full, the scroll area lays out its
    // children again, which moves both scroll bars to the top of the stacking
    // order and so repaints them and the grid's frame at every filter
    // change. Only the vertical range is set here, and that when the bar
    // shows before and after (else showing or hiding it changes the
    // viewport). The view was laid out with the rows it knows before this
    // change, one scroll step a row, or it takes the full layout.
    QScrollBar* bar = verticalScrollBar();
    const bool flatRows = static_cast<size_t>(totalCount_) == root_->Children.size();
    if (!flatRows || !isVisible() || verticalScrollMode() != ScrollPerItem) {
        applyVisibility();
        return;
    }
    executeDelayedItemsLayout();  // a layout pending from an earlier change, in full
    const int rowsBefore = static_cast<int>(root_->Shown.size());
    const bool laidOut = bar->maximum() > 0 && bar->minimum() == 0 && bar->maximum() + bar->pageStep() == rowsBefore;
    applyVisibility();
    const int maximum = static_cast<int>(root_->Shown.size()) - bar->pageStep();
    if (!laidOut || maximum <= 0) return;
    rowCountLayout_ = true;
    executeDelayedItemsLayout();
    rowCountLayout_ = false;
}

void TVirtualStringTree::Clear() {
    if (root_->Children.empty()) return;
    const bool announce = !resetPending_;
    if (announce) {
        if (updateCount_ > 0)
            resetPending_ = true;
        model_->beginReset();
    }
    std::vector<PVirtualNode> top;
    top.swap(root_->Children);
    root_->Shown.clear();
    pendingVisible_.clear();
    parkedFocus_ = nullptr;
    ++generation_;
    for (PVirtualNode n : top) freeSubtree(n);
    pool_->Reset();
    totalCount_ = 0;
    if (announce && updateCount_ == 0) model_->endReset();
}

void TVirtualStringTree::freeSubtree(PVirtualNode node) {
    for (PVirtualNode c : node->Children) freeSubtree(c);
    node->Children.clear();
    if (parkedFocus_ == node) parkedFocus_ = nullptr;
    if (OnFreeNode) OnFreeNode(this, node);
    pool_->Free(node);
}

PVirtualNode TVirtualStringTree::AddChild(PVirtualNode parent, intptr_t data) {
    PVirtualNode p = parent ? parent : root_;
    PVirtualNode n = pool_->New();
    n->Parent = p;
    n->Data = data;
    n->Index = static_cast<int>(p->Children.size());
    if (updateCount_ > 0 && !resetPending_) {
        resetPending_ = true;
        model_->beginReset();
    }
    ++generation_;
    if (resetPending_) {
        p->Children.push_back(n);   // Shown is taken from the flags when the update ends
    } else {
        // A child of a node the view does not know (hidden) is not announced.
        const bool announce = p == root_ || model_->inModel(p);
        const int row = static_cast<int>(p->Shown.size());
        if (announce) model_->beginInsert(p, row, row);
        p->Children.push_back(n);
        p->Shown.push_back(n);
        if (announce) model_->endInsert();
        // A parent hidden before it had children stays so; expanded flags set
        // ahead of the first child take effect now.
        if (p != root_ && p->Expanded && p->Children.size() == 1) {
            inExpand_ = true;
            expand(model_->indexOf(p, 0));
            inExpand_ = false;
        }
    }
    ++totalCount_;
    return n;
}

void TVirtualStringTree::DeleteNode(PVirtualNode node) {
    if (!node || node == root_) return;
    PVirtualNode p = node->Parent;
    const int row = node->Index;
    int count = 1;
    for (PVirtualNode r = node; r; r = GetNext(r)) {
        if (r != node && GetNodeLevel(r) <= GetNodeLevel(node)) break;
        if (r != node) ++count;
    }
    if (updateCount_ > 0 && !resetPending_) {
        resetPending_ = true;
        model_->beginReset();
    }
    ++generation_;
    const int shownRow = TVTModel::rowOf(node);
    const bool announce = !resetPending_ && shownRow >= 0 && (p == root_ || model_->inModel(p));
    if (announce) model_->beginRemove(p, shownRow, shownRow);
    p->Children.erase(p->Children.begin() + row);
    if (shownRow >= 0) p->Shown.erase(p->Shown.begin() + shownRow);
    for (size_t i = static_cast<size_t>(row); i < p->Children.size(); ++i) p->Children[i]->Index = static_cast<int>(i);
    if (announce) model_->endRemove();
    // pendingVisible_ needs no clean-up: outside an update it is always empty,
    // and inside one the reset begun above makes EndUpdate drop it unread.
    totalCount_ -= count;
    freeSubtree(node);
}

// ---------------------------------------------------------------- nodes

intptr_t TVirtualStringTree::GetNodeData(PVirtualNode node) { return node ? node->Data : 0; }
void TVirtualStringTree::SetNodeData(PVirtualNode node, intptr_t data) {
    if (node) node->Data = data;
}

PVirtualNode TVirtualStringTree::GetFirst() const {
    return root_->Children.empty() ? nullptr : root_->Children.front();
}

PVirtualNode TVirtualStringTree::GetNext(PVirtualNode node) const {
    if (!node) return nullptr;
    if (!node->Children.empty()) return node->Children.front();
    for (PVirtualNode n = node; n && n != root_; n = n->Parent) {
        if (PVirtualNode s = GetNextSibling(n)) return s;
    }
    return nullptr;
}

PVirtualNode TVirtualStringTree::GetNextSibling(PVirtualNode node) const {
    if (!node || !node->Parent) return nullptr;
    const auto& sib = node->Parent->Children;
    const size_t next = static_cast<size_t>(node->Index) + 1;
    return next < sib.size() ? sib[next] : nullptr;
}

PVirtualNode TVirtualStringTree::GetFirstChild(PVirtualNode node) const {
    PVirtualNode p = node ? node : root_;
    return p->Children.empty() ? nullptr : p->Children.front();
}

PVirtualNode TVirtualStringTree::GetLastChild(PVirtualNode node) const {
    PVirtualNode p = node ? node : root_;
    return p->Children.empty() ? nullptr : p->Children.back();
}

PVirtualNode TVirtualStringTree::GetParent(PVirtualNode node) const {
    if (!node || node->Parent == root_) return nullptr;
    return node->Parent;
}

PVirtualNode TVirtualStringTree::GetFirstVisible() const {
    if (shownExact()) return root_->Shown.empty() ? nullptr : root_->Shown.front();
    PVirtualNode n = GetFirst();
    while (n && !n->Visible) n = GetNextSibling(n);
    return n;
}

PVirtualNode TVirtualStringTree::GetNextVisible(PVirtualNode node) const {
    if (!node) return nullptr;
    // Descend into an expanded, shown node; otherwise the next shown sibling
    // of the node or of the nearest ancestor that has one.
    if (node->Expanded && !flat_) {
        for (PVirtualNode c : node->Children)
            if (c->Visible) return c;
    }
    for (PVirtualNode n = node; n && n != root_; n = n->Parent)
        if (PVirtualNode s = nextShownSibling(n)) return s;
    return nullptr;
}

int TVirtualStringTree::ChildCount(PVirtualNode node) const {
    return static_cast<int>((node ? node : root_)->Children.size());
}

int TVirtualStringTree::RootNodeCount() const { return static_cast<int>(root_->Children.size()); }

int TVirtualStringTree::GetNodeLevel(PVirtualNode node) const {
    int level = -1;
    for (PVirtualNode n = node; n && n != root_; n = n->Parent) ++level;
    return std::max(level, 0);
}

int TVirtualStringTree::GetNodeIndex(PVirtualNode node) const { return node ? node->Index : -1; }

PVirtualNode TVirtualStringTree::IterateSubtree(PVirtualNode node, const TGetNodeProc& callback) {
    if (!callback) return nullptr;
    std::vector<PVirtualNode> stack;
    if (node)
        stack.push_back(node);
    else
        stack.assign(root_->Children.rbegin(), root_->Children.rend());
    while (!stack.empty()) {
        PVirtualNode n = stack.back();
        stack.pop_back();
        bool abort = false;
        callback(this, n, abort);
        if (abort) return n;
        stack.insert(stack.end(), n->Children.rbegin(), n->Children.rend());
    }
    return nullptr;
}

std::vector<PVirtualNode> TVirtualStringTree::ChildrenInMemoryOrder(PVirtualNode parent) const {
    PVirtualNode p = parent ? parent : root_;
    std::vector<PVirtualNode> out;
    out.reserve(p->Children.size());
    // Walking the pool pays off when most nodes are these children (a flat
    // list); a few children of one node are taken as they are.
    if (p->Children.size() * 2 < static_cast<size_t>(totalCount_)) {
        out = p->Children;
    } else {
        pool_->ForEach([&](PVirtualNode n) {
            if (n->Parent == p) out.push_back(n);
        });
    }
    return out;
}

bool TVirtualStringTree::IsVisible(PVirtualNode node) const { return node && node->Visible; }

void TVirtualStringTree::SetVisible(PVirtualNode node, bool visible) {
    if (!node || node == root_ || node->Visible == visible) return;
    node->Visible = visible;
    if (resetPending_) return;   // Shown is taken from the flags when the update ends
    if (!node->Pending) {
        node->Pending = true;
        node->WasShown = !visible;
        pendingVisible_.push_back(node);
    }
    if (updateCount_ == 0) applyVisibility();
}

bool TVirtualStringTree::Expanded(PVirtualNode node) const { return node && node->Expanded; }

bool TVirtualStringTree::allowExpand(PVirtualNode node) {
    bool allowed = true;
    if (OnExpanding) OnExpanding(this, node, allowed);
    return allowed;
}

void TVirtualStringTree::SetExpanded(PVirtualNode node, bool expanded) {
    if (!node || node == root_ || node->Expanded == expanded) return;
    if (expanded && !node->Children.empty() && !allowExpand(node)) return;
    node->Expanded = expanded;
    if (resetPending_ || node->Children.empty()) return;
    inExpand_ = true;
    if (expanded)
        expand(model_->indexOf(node, 0));
    else
        collapse(model_->indexOf(node, 0));
    inExpand_ = false;
}

void TVirtualStringTree::FullExpand(PVirtualNode node) {
    IterateSubtree(node, [this](TVirtualStringTree*, PVirtualNode n, bool&) {
        if (!n->Children.empty()) SetExpanded(n, true);
    });
}

void TVirtualStringTree::onExpandedByView(const QModelIndex& index) {
    if (inExpand_) return;
    PVirtualNode n = NodeOf(index);
    if (!n) return;
    // The user opened the node: ask first, close it again when refused.
    if (!allowExpand(n)) {
        inExpand_ = true;
        collapse(index);
        inExpand_ = false;
        return;
    }
    n->Expanded = true;
}

void TVirtualStringTree::onCollapsedByView(const QModelIndex& index) {
    if (inExpand_) return;
    if (PVirtualNode n = NodeOf(index)) n->Expanded = false;
}

// ---------------------------------------------------------------- focus, selection

QModelIndex TVirtualStringTree::IndexOf(PVirtualNode node, int column) const { return model_->indexOf(node, column); }
PVirtualNode TVirtualStringTree::NodeOf(const QModelIndex& index) const { return model_->nodeOf(index); }
TColumnIndex TVirtualStringTree::ColumnOf(int modelColumn) const {
    return header_.Columns.Count() == 0 ? NoColumn : modelColumn;
}

PVirtualNode TVirtualStringTree::FocusedNode() const {
    PVirtualNode n = NodeOf(currentIndex());
    return n ? n : parkedFocus_;
}

void TVirtualStringTree::SetFocusedNode(PVirtualNode node) {
    const int column = std::max(0, FocusedColumn());
    if (!node || !model_->inModel(node)) {
        // A hidden node keeps the focus without a row in the view.
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        parkedFocus_ = node;
        parkedColumn_ = column;
        return;
    }
    selectionModel()->setCurrentIndex(IndexOf(node, column), QItemSelectionModel::NoUpdate);
}

TColumnIndex TVirtualStringTree::FocusedColumn() const {
    const QModelIndex cur = currentIndex();
    if (cur.isValid()) return ColumnOf(cur.column());
    if (parkedFocus_) return ColumnOf(parkedColumn_);
    return header_.Columns.Count() == 0 ? NoColumn : 0;
}

void TVirtualStringTree::SetFocusedColumn(TColumnIndex column) {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid() || column < 0 || column >= model_->columnCount()) return;
    selectionModel()->setCurrentIndex(cur.siblingAtColumn(column), QItemSelectionModel::NoUpdate);
}

bool TVirtualStringTree::Selected(PVirtualNode node) const {
    if (!node || node == root_ || !model_->inModel(node)) return false;
    return selectionModel()->isRowSelected(TVTModel::rowOf(node), model_->indexOf(node->Parent, 0));
}

void TVirtualStringTree::SetSelected(PVirtualNode node, bool selected) {
    // A hidden row cannot be selected.
    if (!node || node == root_ || !model_->inModel(node)) return;
    selectionModel()->select(IndexOf(node, 0), (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                                   QItemSelectionModel::Rows);
}

std::vector<PVirtualNode> TVirtualStringTree::GetSelectedNodes() const {
    std::vector<PVirtualNode> out;
    const QItemSelection sel = selectionModel()->selection();
    bool flat = true;
    for (const QItemSelectionRange& r : sel) {
        PVirtualNode p = r.parent().isValid() ? NodeOf(r.parent()) : root_;
        flat = flat && p == root_;
        for (int row = r.top(); row <= r.bottom(); ++row) out.push_back(p->Shown[static_cast<size_t>(row)]);
    }
    // Ranges may overlap column-wise and come in any order: tree order, once each.
    if (flat) {
        std::sort(out.begin(), out.end(), [](PVirtualNode a, PVirtualNode b) { return a->Index < b->Index; });
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }
    std::vector<std::pair<std::vector<int>, PVirtualNode>> keyed;
    keyed.reserve(out.size());
    for (PVirtualNode n : out) {
        std::vector<int> path;
        for (PVirtualNode a = n; a && a != root_; a = a->Parent) path.push_back(a->Index);
        std::reverse(path.begin(), path.end());
        keyed.emplace_back(std::move(path), n);
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    out.clear();
    for (auto& k : keyed)
        if (out.empty() || out.back() != k.second) out.push_back(k.second);
    return out;
}

int TVirtualStringTree::SelectedCount() const { return static_cast<int>(GetSelectedNodes().size()); }

void TVirtualStringTree::ClearSelection() { selectionModel()->clearSelection(); }

void TVirtualStringTree::SelectAll() { selectAll(); }

void TVirtualStringTree::focusInEvent(QFocusEvent* event) {
    // Qt makes the first row current when a view without one gets the focus,
    // with no selection and so no OnChange: the tables grid would then show a
    // focused table while the indices grid below still lists every index. The
    // first key press still starts at the first row. A focused node hidden by
    // a filter stays the focused node.
    const bool hadCurrent = currentIndex().isValid();
    const PVirtualNode parked = parkedFocus_;
    QTreeView::focusInEvent(event);
    if (!hadCurrent && currentIndex().isValid()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        parkedFocus_ = parked;
    }
}

void TVirtualStringTree::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    // Rows that a filter took away are no change of the user's.
    if (!OnChange || restoringSelection_) return;
    // One event per change: the node when exactly one row became selected,
    // otherwise nullptr (a cleared selection, a range, select all).
    PVirtualNode single = nullptr;
    int rows = 0;
    for (const QItemSelectionRange& r : selected) {
        const int n = r.bottom() - r.top() + 1;
        if (rows == 0 && n == 1) {
            single = NodeOf(model_->index(r.top(), 0, r.parent()));
            rows = 1;
        } else if (!(n == 1 && single && NodeOf(model_->index(r.top(), 0, r.parent())) == single)) {
            rows += n;
        }
    }
    if (rows == 1 && single)
        OnChange(this, single);
    else if (rows > 0 || !deselected.isEmpty())
        OnChange(this, nullptr);
}

void TVirtualStringTree::ScrollIntoView(PVirtualNode node, bool center) {
    if (!node) return;
    for (PVirtualNode a = node->Parent; a && a != root_; a = a->Parent) SetExpanded(a, true);
    scrollTo(IndexOf(node, std::max(0, FocusedColumn())), center ? PositionAtCenter : EnsureVisible);
}

void TVirtualStringTree::GoToNode(PVirtualNode node) {
    setFocus();
    if (!node) return;
    ClearSelection();
    SetFocusedNode(node);
    const std::vector<int> shown = header_.Columns.VisibleInDisplayOrder();
    if (!shown.empty()) SetFocusedColumn(shown.front());
    SetSelected(node, true);
    ScrollIntoView(node, true);
}

void TVirtualStringTree::Repaint() { viewport()->update(); }

PVirtualNode TVirtualStringTree::GetNodeAt(const QPoint& viewportPos) const { return NodeOf(indexAt(viewportPos)); }

// ---------------------------------------------------------------- sorting

void TVirtualStringTree::Sort(PVirtualNode parent, TColumnIndex column, TSortDirection direction) {
    PVirtualNode p = parent ? parent : root_;
    if (p->Children.size() < 2 || !OnCompareNodes) return;
    std::vector<PVirtualNode> order = p->Children;
    auto before = [&](PVirtualNode a, PVirtualNode b) {
        int r = 0;
        OnCompareNodes(this, a, b, column, r);
        return direction == sdAscending ? r < 0 : r > 0;
    };
    std::stable_sort(order.begin(), order.end(), before);
    applyOrder(parent, std::move(order));
}

std::vector<PVirtualNode> TVirtualStringTree::SortByOrderedBits(std::vector<std::pair<uint64_t, PVirtualNode>>& keyed,
                                                                TSortDirection direction) {
    // Descending is ascending by the complement: equal keys stay equal and
    // keep their order.
    if (direction == sdDescending)
        for (auto& k : keyed) k.first = ~k.first;
    // Least significant digit first, 11 bits a pass; a pass in which every
    // key has the same digit moves nothing and is skipped (small numbers
    // and ranks differ only in their lowest digits).
    constexpr int Bits = 11;
    constexpr int Passes = (64 + Bits - 1) / Bits;
    constexpr size_t Buckets = size_t(1) << Bits;
    std::vector<uint32_t> counts(Passes * Buckets, 0);
    for (const auto& k : keyed)
        for (int p = 0; p < Passes; ++p) ++counts[p * Buckets + ((k.first >> (p * Bits)) & (Buckets - 1))];
    std::vector<std::pair<uint64_t, PVirtualNode>> other(keyed.size());
    auto* from = &keyed;
    auto* to = &other;
    for (int p = 0; p < Passes; ++p) {
        uint32_t* count = &counts[p * Buckets];
        const size_t digitOfFirst = ((*from)[0].first >> (p * Bits)) & (Buckets - 1);
        if (count[digitOfFirst] == keyed.size()) continue;
        uint32_t at = 0;
        for (size_t b = 0; b < Buckets; ++b) {
            const uint32_t c = count[b];
            count[b] = at;
            at += c;
        }
        for (const auto& k : *from) (*to)[count[(k.first >> (p * Bits)) & (Buckets - 1)]++] = k;
        std::swap(from, to);
    }
    std::vector<PVirtualNode> order;
    order.reserve(from->size());
    for (const auto& k : *from) order.push_back(k.second);
    return order;
}

void TVirtualStringTree::applyOrder(PVirtualNode parent, std::vector<PVirtualNode> order) {
    PVirtualNode p = parent ? parent : root_;
    if (order == p->Children) return;
    // The view knows the rows of this parent only when it knows the parent.
    const bool announce = !resetPending_ && (p == root_ || model_->inModel(p));
    // A sort outside an update is laid out at once, without laying out the
    // scroll area again: that moves its scroll bars to the top of the
    // stacking order, and so repaints them and the grid's frame at every
    // sort, though no size changed. A layout still pending from an earlier
    // change runs first, in full.
    const bool layoutNow = announce && updateCount_ == 0 && isVisible();
    if (layoutNow) executeDelayedItemsLayout();
    if (announce) model_->beginReorder(p);
    // Shown keeps the rows the view knows (inside an open update a changed
    // flag is not yet among them), in the new order.
    if (p->Shown.size() == p->Children.size()) {
        p->Shown = order;  // every row is known: no row to leave out
    } else {
        std::vector<char> wasShown(p->Children.size(), 0);
        for (PVirtualNode c : p->Shown) wasShown[static_cast<size_t>(c->Index)] = 1;
        std::vector<PVirtualNode> shown;
        shown.reserve(p->Shown.size());
        for (PVirtualNode c : order)
            if (wasShown[static_cast<size_t>(c->Index)]) shown.push_back(c);
        p->Shown.swap(shown);
    }
    p->Children.swap(order);
    for (size_t i = 0; i < p->Children.size(); ++i) p->Children[i]->Index = static_cast<int>(i);
    if (announce) model_->endReorder(p);
    if (layoutNow) {
        reorderLayout_ = true;
        executeDelayedItemsLayout();
        reorderLayout_ = false;
    }
}

void TVirtualStringTree::updateGeometries() {
    // The same rows in another order: the scroll ranges and the header stay
    // as they are, unless the header's height is no longer the one the rows
    // are placed below. Another count of rows (see applyVisibilityLaidOut)
    // changes the vertical range alone, with the same proviso.
    if ((reorderLayout_ || rowCountLayout_) && !isHeaderHidden()) {
        const QHeaderView* h = header();
        const int height = std::min(std::max(h->minimumHeight(), h->sizeHint().height()), h->maximumHeight());
        if (height == viewportMargins().top()) {
            if (reorderLayout_) return;
            QScrollBar* bar = verticalScrollBar();
            const int maximum = static_cast<int>(root_->Shown.size()) - bar->pageStep();
            // A position past the new end moves the rows as the full layout
            // would; the range then changes without telling the scroll area,
            // whose answer would be the layout of its children.
            if (bar->value() > maximum) bar->setValue(maximum);
            const QSignalBlocker quiet(bar);
            bar->setMaximum(maximum);
            return;
        }
    }
    QTreeView::updateGeometries();
}

void TVirtualStringTree::SortTree(TColumnIndex column, TSortDirection direction, bool deep) {
    if (!deep) {
        Sort(nullptr, column, direction);
        return;
    }
    std::vector<PVirtualNode> parents{root_};
    while (!parents.empty()) {
        PVirtualNode p = parents.back();
        parents.pop_back();
        Sort(p == root_ ? nullptr : p, column, direction);
        for (PVirtualNode c : p->Children)
            if (!c->Children.empty()) parents.push_back(c);
    }
}

}  // namespace dv
