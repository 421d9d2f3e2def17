// Internals of TVirtualStringTree: the node, the one item model over the
// nodes and the one delegate that paints cells by asking the tree's events.
#pragma once

#include "platform/gui/VirtualTrees.h"

#include <QAbstractItemModel>
#include <QStyledItemDelegate>

namespace dv {

struct TVirtualNode {
    TVirtualNode* Parent = nullptr;
    std::vector<TVirtualNode*> Children;
    // The children whose own flag is visible, in Children's order: the rows
    // the item model exposes under this node. A filter that leaves three
    // rows of 60 000 hands the view three rows, not 59 997 hidden ones.
    std::vector<TVirtualNode*> Shown;
    intptr_t Data = 0;
    int Index = 0;          // position among the siblings, hidden ones counted
    bool Visible = true;
    bool Expanded = false;
    bool Pending = false;   // its visible flag changed inside an update
    // While Pending: whether it is among its parent's Shown, which is what
    // its flag was before the first change (outside an update, and for a
    // node whose flag has not changed in it, Shown holds the visible ones).
    bool WasShown = false;
};

// The nodes of a tree, in blocks, in the order they were added. A walk
// through the blocks reads the nodes one after another (and the objects of
// rows added in model order too), where a walk in sibling order after a sort
// waits for memory at every row. A freed slot has no parent.
class TNodePool {
public:
    PVirtualNode New();
    void Free(PVirtualNode node);
    // Every node was freed: the slots are handed out again from the start.
    void Reset();
    // The nodes in use, in block order.
    template <class F>
    void ForEach(F f) const {
        for (size_t i = 0; i < used_; ++i) {
            TVirtualNode& n = blocks_[i / BlockSize][i % BlockSize];
            if (n.Parent) f(&n);
        }
    }

private:
    static constexpr size_t BlockSize = 1024;
    std::vector<std::unique_ptr<TVirtualNode[]>> blocks_;
    size_t used_ = 0;
    std::vector<PVirtualNode> free_;
};

class TVTModel : public QAbstractItemModel {
public:
    TVTModel(TVirtualStringTree* tree, PVirtualNode root) : QAbstractItemModel(tree), tree_(tree), root_(root) {}

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    PVirtualNode nodeOf(const QModelIndex& index) const {
        return index.isValid() ? static_cast<PVirtualNode>(index.internalPointer()) : nullptr;
    }
    // The node's row among its parent's shown children, -1 when it has
    // none. Shown is kept in sibling order, so this is a search by Index.
    // Shown is what the view was told, so inside an update (flags changed,
    // not yet announced) it may lag behind the visible flags.
    static int rowOf(PVirtualNode node);
    // True when the node and every ancestor have a row: the view knows it.
    bool inModel(PVirtualNode node) const;
    QModelIndex indexOf(PVirtualNode node, int column) const {
        if (!node || node == root_ || !inModel(node)) return {};
        return createIndex(rowOf(node), column, node);
    }

    // Announcements the tree makes around its own changes.
    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }
    void beginInsert(PVirtualNode parent, int first, int last) { beginInsertRows(indexOf(parent, 0), first, last); }
    void endInsert() { endInsertRows(); }
    void beginRemove(PVirtualNode parent, int first, int last) { beginRemoveRows(indexOf(parent, 0), first, last); }
    void endRemove() { endRemoveRows(); }
    void beginColumnInsert(int first, int last) { beginInsertColumns({}, first, last); }
    void endColumnInsert() { endInsertColumns(); }
    void headerChanged(int first, int last) { emit headerDataChanged(Qt::Horizontal, first, last); }
    // Rows were reordered, hidden or shown; persistent indices follow their
    // nodes, and those of nodes that left the model become invalid.
    void beginReorder(PVirtualNode parent);
    void endReorder(PVirtualNode parent);

private:
    TVirtualStringTree* tree_;
    PVirtualNode root_;
};

class TVTDelegate : public QStyledItemDelegate {
public:
    explicit TVTDelegate(TVirtualStringTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TVirtualStringTree* tree_;
};

}  // namespace dv
