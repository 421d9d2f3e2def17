#include "tests/platform_gui/GridTestSupport.h"

namespace dv::test {

std::string ShownText(TVirtualStringTree& tree) {
    std::string out;
    QAbstractItemModel* m = tree.model();
    std::vector<QModelIndex> stack;
    for (int r = m->rowCount() - 1; r >= 0; --r) stack.push_back(m->index(r, 0));
    while (!stack.empty()) {
        const QModelIndex i = stack.back();
        stack.pop_back();
        if (tree.isRowHidden(i.row(), i.parent())) continue;
        out += std::string(static_cast<size_t>(2 * tree.GetNodeLevel(tree.NodeOf(i))), ' ');
        for (int c = 0; c < m->columnCount(); ++c) {
            if (tree.isColumnHidden(c)) continue;
            if (c > 0) out += " | ";
            out += m->data(i.siblingAtColumn(c)).toString().toStdString();
        }
        out += "\n";
        if (tree.isExpanded(i))
            for (int r = m->rowCount(i) - 1; r >= 0; --r) stack.push_back(m->index(r, 0, i));
    }
    return out;
}

std::string TopLevelNames(GridFixture& f) {
    std::string out;
    for (PVirtualNode n = f.tree.GetFirst(); n; n = f.tree.GetNextSibling(n)) {
        if (!out.empty()) out += ",";
        out += f.rows.at(static_cast<size_t>(TVirtualStringTree::GetNodeData(n))).Name;
    }
    return out;
}

}  // namespace dv::test
