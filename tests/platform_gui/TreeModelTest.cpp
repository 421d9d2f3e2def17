// The item model behind the grid: structure, model tester, updates, clearing,
// visibility and expansion flags.
#include "tests/platform_gui/GridTestSupport.h"

#include <QAbstractItemModelTester>
#include <QtGlobal>
#include <gtest/gtest.h>

using namespace dv;
using namespace dv::test;

namespace {

// Collects the model tester's complaints (it reports through qWarning).
struct TesterFailures {
    static inline std::vector<std::string> messages;
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg && type != QtInfoMsg) messages.push_back(msg.toStdString());
    }
    QtMessageHandler previous;
    TesterFailures() {
        messages.clear();
        previous = qInstallMessageHandler(&TesterFailures::handler);
    }
    ~TesterFailures() { qInstallMessageHandler(previous); }
    std::string all() const {
        std::string s;
        for (auto& m : messages) s += m + "\n";
        return s;
    }
};

// Builds: a (a1, a2 (a21)), b, c (c1)
void buildTree(GridFixture& f) {
    f.rows = {{"a", 1}, {"a1", 2}, {"a2", 3}, {"a21", 4}, {"b", 5}, {"c", 6}, {"c1", 7}};
    auto& t = f.tree;
    PVirtualNode a = t.AddChild(nullptr, 0);
    t.AddChild(a, 1);
    PVirtualNode a2 = t.AddChild(a, 2);
    t.AddChild(a2, 3);
    t.AddChild(nullptr, 4);
    PVirtualNode c = t.AddChild(nullptr, 5);
    t.AddChild(c, 6);
}

}  // namespace

TEST(TreeModel, PassesModelTesterThroughAddClearSortAndUpdates) {
    TesterFailures failures;
    GridFixture f;
    QAbstractItemModelTester tester(f.tree.model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    buildTree(f);
    f.tree.FullExpand();
    f.tree.SortTree(0, sdDescending, true);
    f.tree.SetVisible(f.tree.GetFirst(), false);
    f.tree.DeleteNode(f.tree.GetFirstChild(f.tree.GetFirst()));
    f.tree.Clear();
    buildTree(f);
    f.tree.BeginUpdate();
    f.tree.Clear();
    buildTree(f);
    f.tree.SortTree(1, sdAscending);
    f.tree.EndUpdate();
    f.tree.SortTree(1, sdDescending);
    // Rows leave and come back, one at a time and many in one update,
    // also under an expanded parent and while the parent is hidden.
    f.tree.FullExpand();
    PVirtualNode a = f.tree.GetFirst();
    f.tree.SetVisible(f.tree.GetFirstChild(a), false);
    f.tree.BeginUpdate();
    f.tree.SetVisible(a, false);
    f.tree.SetVisible(f.tree.GetLastChild(nullptr), false);
    f.tree.SetVisible(f.tree.GetLastChild(nullptr), true);   // back within the update: no change
    f.tree.EndUpdate();
    f.tree.SetVisible(f.tree.GetLastChild(a), false);         // under a hidden parent
    f.tree.SortTree(0, sdAscending, true);
    f.tree.BeginUpdate();
    for (PVirtualNode n = f.tree.GetFirst(); n; n = f.tree.GetNext(n)) f.tree.SetVisible(n, true);
    f.tree.EndUpdate();
    f.tree.Header().Columns.Add("Third");
    EXPECT_TRUE(failures.messages.empty()) << failures.all();
    // Every row back, sorted while hidden, expanded as it was left.
    EXPECT_EQ(ShownText(f.tree), "a | 1 | 1\n  a1 | 2 | 2\n  a2 | 3 | 3\n    a21 | 4 | 4\nb | 5 | 5\nc | 6 | 6\n  c1 | 7 | 7\n");
}

TEST(TreeModel, OnlyShownRowsAreModelRowsAndFocusSurvivesHiding) {
    GridFixture f;
    f.fill({{"r0", 0}, {"r1", 1}, {"r2", 2}, {"r3", 3}, {"r4", 4}});
    std::vector<PVirtualNode> n;
    for (PVirtualNode x = f.tree.GetFirst(); x; x = f.tree.GetNextSibling(x)) n.push_back(x);
    int changes = 0;
    f.tree.OnChange = [&](TVirtualStringTree*, PVirtualNode) { ++changes; };
    f.tree.SetSelected(n[1], true);
    f.tree.SetSelected(n[2], true);
    f.tree.SetFocusedNode(n[2]);
    changes = 0;

    f.tree.BeginUpdate();
    for (int i : {0, 2, 3}) f.tree.SetVisible(n[static_cast<size_t>(i)], false);
    EXPECT_EQ(f.tree.model()->rowCount(), 5) << "the view learns of the change when the update ends";
    f.tree.EndUpdate();
    EXPECT_EQ(f.tree.model()->rowCount(), 2);
    EXPECT_EQ(ShownText(f.tree), "r1 | 1\nr4 | 4\n");
    EXPECT_EQ(f.tree.NodeOf(f.tree.model()->index(1, 0)), n[4]);
    EXPECT_EQ(f.tree.GetFirstVisible(), n[1]);
    EXPECT_EQ(f.tree.GetNextVisible(n[1]), n[4]);
    EXPECT_EQ(f.tree.GetNextVisible(n[2]), n[4]) << "from a hidden node too";
    EXPECT_EQ(f.tree.GetNodeIndex(n[4]), 4) << "positions count hidden rows";
    // The hidden focused row stays the focused node; the hidden selected row
    // is no longer selected; neither is a selection change of the user's.
    EXPECT_EQ(f.tree.FocusedNode(), n[2]);
    EXPECT_FALSE(f.tree.currentIndex().isValid());
    EXPECT_EQ(f.tree.GetSelectedNodes(), std::vector<PVirtualNode>{n[1]});
    EXPECT_FALSE(f.tree.Selected(n[2]));
    EXPECT_EQ(changes, 0);

    f.tree.SetVisible(n[2], true);
    EXPECT_EQ(ShownText(f.tree), "r1 | 1\nr2 | 2\nr4 | 4\n");
    EXPECT_EQ(f.tree.NodeOf(f.tree.currentIndex()), n[2]) << "the focus is back on its row";
    EXPECT_EQ(f.tree.GetSelectedNodes(), std::vector<PVirtualNode>{n[1]});

    // Focusing a hidden node keeps it focused until it shows.
    f.tree.SetFocusedNode(n[3]);
    EXPECT_EQ(f.tree.FocusedNode(), n[3]);
    f.tree.SetVisible(n[3], true);
    EXPECT_EQ(f.tree.NodeOf(f.tree.currentIndex()), n[3]);
    // Deleting the hidden focused node leaves no focus behind.
    f.tree.SetVisible(n[3], false);
    f.tree.DeleteNode(n[3]);
    EXPECT_EQ(f.tree.FocusedNode(), nullptr);
    EXPECT_EQ(ShownText(f.tree), "r1 | 1\nr2 | 2\nr4 | 4\n");
}

TEST(TreeModel, ParentsRowsAndNavigationAgree) {
    GridFixture f;
    buildTree(f);
    auto& t = f.tree;
    QAbstractItemModel* m = t.model();
    ASSERT_EQ(m->rowCount(), 3);
    EXPECT_EQ(t.RootNodeCount(), 3);
    EXPECT_EQ(t.TotalCount(), 7);
    const QModelIndex a = m->index(0, 0);
    const QModelIndex a2 = m->index(1, 0, a);
    const QModelIndex a21 = m->index(0, 1, a2);
    EXPECT_EQ(m->parent(a21), a2);
    EXPECT_EQ(m->parent(a2), a);
    EXPECT_FALSE(m->parent(a).isValid());
    EXPECT_EQ(m->data(a21).toString(), "4");  // column 1 of a21
    EXPECT_EQ(t.GetNodeLevel(t.NodeOf(a21)), 2);
    EXPECT_EQ(t.GetParent(t.NodeOf(a)), nullptr);
    EXPECT_EQ(t.ChildCount(t.NodeOf(a)), 2);

    // Pre-order walk of GetNext, and IterateSubtree with abort at a node.
    std::string walk;
    for (PVirtualNode n = t.GetFirst(); n; n = t.GetNext(n)) walk += f.rows[TVirtualStringTree::GetNodeData(n)].Name + " ";
    EXPECT_EQ(walk, "a a1 a2 a21 b c c1 ");
    std::string visited;
    PVirtualNode found = t.IterateSubtree(nullptr, [&](TVirtualStringTree*, PVirtualNode n, bool& abort) {
        visited += f.rows[TVirtualStringTree::GetNodeData(n)].Name + " ";
        abort = TVirtualStringTree::GetNodeData(n) == 4;
    });
    EXPECT_EQ(visited, "a a1 a2 a21 b ");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(TVirtualStringTree::GetNodeData(found), 4);
    visited.clear();
    t.IterateSubtree(t.NodeOf(a), [&](TVirtualStringTree*, PVirtualNode n, bool&) {
        visited += f.rows[TVirtualStringTree::GetNodeData(n)].Name + " ";
    });
    EXPECT_EQ(visited, "a a1 a2 a21 ");
}

TEST(TreeModel, ClearFreesEveryNodeChildrenFirst) {
    GridFixture f;
    buildTree(f);
    std::vector<intptr_t> freed;
    f.tree.OnFreeNode = [&](TVirtualStringTree*, PVirtualNode n) { freed.push_back(TVirtualStringTree::GetNodeData(n)); };
    f.tree.Clear();
    EXPECT_EQ(freed, (std::vector<intptr_t>{1, 3, 2, 0, 4, 6, 5}));
    EXPECT_EQ(f.tree.RootNodeCount(), 0);
    EXPECT_EQ(f.tree.TotalCount(), 0);
    EXPECT_EQ(f.tree.GetFirst(), nullptr);
    EXPECT_EQ(f.tree.model()->rowCount(), 0);
    f.tree.Clear();  // clearing an empty grid is harmless
    EXPECT_EQ(freed.size(), 7u);
}

TEST(TreeModel, DeleteNodeFreesItsSubtreeAndRenumbersSiblings) {
    GridFixture f;
    buildTree(f);
    int freed = 0;
    f.tree.OnFreeNode = [&](TVirtualStringTree*, PVirtualNode) { ++freed; };
    f.tree.DeleteNode(f.tree.GetFirst());  // a with a1, a2, a21
    EXPECT_EQ(freed, 4);
    EXPECT_EQ(f.tree.TotalCount(), 3);
    EXPECT_EQ(TopLevelNames(f), "b,c");
    EXPECT_EQ(f.tree.GetNodeIndex(f.tree.GetLastChild(nullptr)), 1);
}

TEST(TreeModel, RebuildInsideAnUpdateKeepsHiddenAndExpandedFlags) {
    GridFixture f;
    f.tree.BeginUpdate();
    f.tree.BeginUpdate();  // nested
    buildTree(f);
    PVirtualNode a = f.tree.GetFirst();
    f.tree.SetExpanded(a, true);
    f.tree.SetVisible(f.tree.GetFirstChild(a), false);   // a1
    f.tree.SetVisible(f.tree.GetNextSibling(a), false);  // b
    f.tree.EndUpdate();
    EXPECT_TRUE(f.tree.IsUpdating());
    f.tree.EndUpdate();
    EXPECT_FALSE(f.tree.IsUpdating());
    EXPECT_EQ(ShownText(f.tree), "a | 1\n  a2 | 3\nc | 6\n");
    f.tree.SetVisible(f.tree.GetNextSibling(a), true);
    f.tree.SetExpanded(a, false);
    EXPECT_EQ(ShownText(f.tree), "a | 1\nb | 5\nc | 6\n");
}

TEST(TreeModel, ExpandingAsksAndCanBeRefused) {
    GridFixture f;
    buildTree(f);
    std::vector<intptr_t> asked;
    f.tree.OnExpanding = [&](TVirtualStringTree*, PVirtualNode n, bool& allowed) {
        asked.push_back(TVirtualStringTree::GetNodeData(n));
        allowed = TVirtualStringTree::GetNodeData(n) != 5;  // c stays closed
    };
    f.tree.FullExpand();
    EXPECT_EQ(asked, (std::vector<intptr_t>{0, 2, 5}));
    EXPECT_TRUE(f.tree.Expanded(f.tree.GetFirst()));
    EXPECT_FALSE(f.tree.Expanded(f.tree.GetLastChild(nullptr)));
    EXPECT_EQ(ShownText(f.tree), "a | 1\n  a1 | 2\n  a2 | 3\n    a21 | 4\nb | 5\nc | 6\n");
    // The user opening it through the view is refused the same way.
    f.tree.expand(f.tree.IndexOf(f.tree.GetLastChild(nullptr)));
    EXPECT_FALSE(f.tree.isExpanded(f.tree.IndexOf(f.tree.GetLastChild(nullptr))));
    EXPECT_FALSE(f.tree.Expanded(f.tree.GetLastChild(nullptr)));
}

TEST(TreeModel, GridWithoutColumnsAsksForNoColumn) {
    TVirtualStringTree t;
    std::vector<TColumnIndex> columns;
    t.OnGetText = [&](TVirtualStringTree*, PVirtualNode, TColumnIndex c, std::string& s) {
        columns.push_back(c);
        s = "x";
    };
    t.AddChild(nullptr, 1);
    EXPECT_EQ(t.model()->columnCount(), 1);
    EXPECT_EQ(t.model()->data(t.model()->index(0, 0)).toString(), "x");
    EXPECT_EQ(columns, std::vector<TColumnIndex>{NoColumn});
    t.Header().Columns.Add("One");
    EXPECT_EQ(t.model()->columnCount(), 1);  // the first column replaces the default one
    t.Header().Columns.Add("Two");
    EXPECT_EQ(t.model()->columnCount(), 2);
}
