#include "platform/gui/VTModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace dv {

// ---------------------------------------------------------------- nodes

PVirtualNode TNodePool::New() {
    if (!free_.empty()) {
        PVirtualNode n = free_.back();
        free_.pop_back();
        return n;
    }
    if (used_ == blocks_.size() * BlockSize) blocks_.push_back(std::make_unique<TVirtualNode[]>(BlockSize));
    const size_t i = used_++;
    return &blocks_[i / BlockSize][i % BlockSize];
}

void TNodePool::Free(PVirtualNode node) {
    *node = TVirtualNode();
    free_.push_back(node);
}

void TNodePool::Reset() {
    used_ = 0;
    free_.clear();
}

// ---------------------------------------------------------------- model

int TVTModel::rowOf(PVirtualNode node) {
    if (!node->Parent) return -1;
    const auto& shown = node->Parent->Shown;
    const auto at = std::lower_bound(shown.begin(), shown.end(), node->Index,
                                     [](PVirtualNode n, int index) { return n->Index < index; });
    return at != shown.end() && *at == node ? static_cast<int>(at - shown.begin()) : -1;
}

bool TVTModel::inModel(PVirtualNode node) const {
    for (PVirtualNode n = node; n && n != root_; n = n->Parent)
        if (rowOf(n) < 0) return false;
    return true;
}

QModelIndex TVTModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return {};
    PVirtualNode p = parent.isValid() ? nodeOf(parent) : root_;
    if (row < 0 || column < 0 || column >= columnCount() || row >= static_cast<int>(p->Shown.size())) return {};
    return createIndex(row, column, p->Shown[static_cast<size_t>(row)]);
}

QModelIndex TVTModel::parent(const QModelIndex& child) const {
    PVirtualNode n = nodeOf(child);
    if (!n || !n->Parent || n->Parent == root_) return {};
    return createIndex(rowOf(n->Parent), 0, n->Parent);
}

int TVTModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    PVirtualNode p = parent.isValid() ? nodeOf(parent) : root_;
    return static_cast<int>(p->Shown.size());
}

int TVTModel::columnCount(const QModelIndex&) const {
    return std::max(1, tree_->Header().Columns.Count());
}

bool TVTModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TVTModel::data(const QModelIndex& index, int role) const {
    PVirtualNode node = nodeOf(index);
    if (!node) return {};
    const TColumnIndex column = tree_->ColumnOf(index.column());
    switch (role) {
        case Qt::DisplayRole: {
            std::string text;
            if (tree_->OnGetText) tree_->OnGetText(tree_, node, column, text);
            return CellDisplayText(text);
        }
        case Qt::ToolTipRole: {
            std::string hint;
            if (tree_->OnGetHint) tree_->OnGetHint(tree_, node, column, hint);
            if (hint.empty()) return {};
            return DisplayText(hint);
        }
        case Qt::TextAlignmentRole: {
            if (column == NoColumn) return {};
            switch (tree_->Header().Columns[column].Alignment()) {
                case taRightJustify: return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
                case taCenter: return QVariant::fromValue(Qt::Alignment(Qt::AlignHCenter | Qt::AlignVCenter));
                default: return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
            }
        }
        default: return {};
    }
}

QVariant TVTModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= tree_->Header().Columns.Count()) return {};
    const TVirtualTreeColumn& c = tree_->Header().Columns[section];
    if (role == Qt::DisplayRole) return QString::fromStdString(c.Text());
    if (role == Qt::ToolTipRole) {
        if (!tree_->OnHeaderClick || !(c.Options() & coAllowClick)) return {};
        return QString::fromLatin1(TVirtualStringTree::SortHint);
    }
    if (role == Qt::TextAlignmentRole) {
        switch (c.Alignment()) {
            case taRightJustify: return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            case taCenter: return QVariant::fromValue(Qt::Alignment(Qt::AlignHCenter | Qt::AlignVCenter));
            default: return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        }
    }
    return {};
}

Qt::ItemFlags TVTModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (tree_->FlatList()) f |= Qt::ItemNeverHasChildren;
    return f;
}

void TVTModel::beginReorder(PVirtualNode parent) {
    QList<QPersistentModelIndex> parents;
    if (parent && parent != root_) parents << QPersistentModelIndex(indexOf(parent, 0));
    emit layoutAboutToBeChanged(parents, QAbstractItemModel::VerticalSortHint);
}

void TVTModel::endReorder(PVirtualNode parent) {
    // Every persistent index keeps its node (the internal pointer); only the
    // row moves, so each is rebuilt from its node's new position.
    const QModelIndexList old = persistentIndexList();
    QModelIndexList now;
    now.reserve(old.size());
    for (const QModelIndex& i : old) {
        PVirtualNode n = nodeOf(i);
        now << (n && inModel(n) ? createIndex(rowOf(n), i.column(), n) : QModelIndex());
    }
    changePersistentIndexList(old, now);
    QList<QPersistentModelIndex> parents;
    if (parent && parent != root_) parents << QPersistentModelIndex(indexOf(parent, 0));
    emit layoutChanged(parents, QAbstractItemModel::VerticalSortHint);
}

// ---------------------------------------------------------------- delegate

QSize TVTDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int text = option.fontMetrics.height() + 4;
    const int image = tree_->Images.Count() > 0 ? tree_->Images.Height + 2 : 0;
    return QSize(TVirtualStringTree::Margin * 2, std::max({text, image, 18}));
}

void TVTDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    tree_->paintCell(painter, option, index);
}

}  // namespace dv
