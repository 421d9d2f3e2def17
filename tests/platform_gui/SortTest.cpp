// Sorting the grid: stable, both directions, hidden rows and the selection
// travel with their nodes, the header keeps the view's sort mark.
#include "tests/platform_gui/GridTestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace dv;
using namespace dv::test;

namespace {
std::vector<Row> sample() {
    return {{"d", 2}, {"a", 1}, {"c", 2}, {"b", 1}, {"e", 2}};
}
}  // namespace

TEST(Sort, IsStableInBothDirections) {
    struct Case {
        TColumnIndex column;
        TSortDirection direction;
        const char* expected;
    };
    const Case cases[] = {
        {1, sdAscending, "a,b,d,c,e"},   // equal values keep model order
        {1, sdDescending, "d,c,e,a,b"},  // reverse of ascending, ties still in order
        {0, sdAscending, "a,b,c,d,e"},
        {0, sdDescending, "e,d,c,b,a"},
    };
    for (const Case& c : cases) {
        GridFixture f;
        f.fill(sample());
        f.tree.SortTree(c.column, c.direction);
        EXPECT_EQ(TopLevelNames(f), c.expected) << "column " << c.column << " direction " << c.direction;
        // positions among siblings follow the new order
        int i = 0;
        for (PVirtualNode n = f.tree.GetFirst(); n; n = f.tree.GetNextSibling(n)) EXPECT_EQ(f.tree.GetNodeIndex(n), i++);
    }
}

TEST(Sort, EqualRowsKeepTheirPreviousOrderAcrossSorts) {
    GridFixture f;
    f.fill(sample());
    f.tree.SortTree(0, sdDescending);  // e,d,c,b,a
    f.tree.SortTree(1, sdAscending);   // ties keep e,d,c and b,a
    EXPECT_EQ(TopLevelNames(f), "b,a,e,d,c");
}

TEST(Sort, OnlyTopLevelUnlessDeep) {
    GridFixture f;
    f.rows = {{"b", 0}, {"b2", 0}, {"b1", 0}, {"a", 0}};
    PVirtualNode b = f.tree.AddChild(nullptr, 0);
    f.tree.AddChild(b, 1);
    f.tree.AddChild(b, 2);
    f.tree.AddChild(nullptr, 3);
    f.tree.SortTree(0, sdAscending);
    EXPECT_EQ(TopLevelNames(f), "a,b");
    EXPECT_EQ(TVirtualStringTree::GetNodeData(f.tree.GetFirstChild(b)), 1);  // b2 still first
    f.tree.SortTree(0, sdAscending, true);
    EXPECT_EQ(TVirtualStringTree::GetNodeData(f.tree.GetFirstChild(b)), 2);  // b1 now first
    f.tree.FullExpand();
    EXPECT_EQ(ShownText(f.tree), "a | 0\nb | 0\n  b1 | 0\n  b2 | 0\n");
}

TEST(Sort, HiddenRowsSelectionAndFocusStayWithTheirNodes) {
    GridFixture f;
    f.fill(sample());
    PVirtualNode d = f.tree.GetFirst();
    PVirtualNode c = f.tree.GetFirstChild(nullptr);
    c = f.tree.GetNextSibling(f.tree.GetNextSibling(c));
    f.tree.SetVisible(d, false);
    f.tree.SetSelected(c, true);
    f.tree.SetFocusedNode(c);
    f.tree.SortTree(0, sdAscending);
    EXPECT_EQ(ShownText(f.tree), "a | 1\nb | 1\nc | 2\ne | 2\n");
    EXPECT_FALSE(f.tree.IndexOf(d).isValid()) << "a hidden node has no row in the view";
    EXPECT_FALSE(f.tree.IsVisible(d));
    EXPECT_EQ(f.tree.GetSelectedNodes(), std::vector<PVirtualNode>{c});
    EXPECT_EQ(f.tree.FocusedNode(), c);
    f.tree.SortTree(1, sdDescending);
    EXPECT_EQ(ShownText(f.tree), "c | 2\ne | 2\na | 1\nb | 1\n");
    f.tree.SetVisible(d, true);
    EXPECT_EQ(ShownText(f.tree), "c | 2\nd | 2\ne | 2\na | 1\nb | 1\n");  // sorted while hidden
}

TEST(Sort, ByKeyGivesTheOrderOfTheComparison) {
    // Many equal values in both directions, with hidden rows among them,
    // after an earlier sort and a deleted row whose node was taken again, so
    // that the rows no longer lie in memory in their sibling order.
    // The keys are of each kind a column sorts by, in the values' order:
    // negative, beyond 32 bits, and zero as both 0 and -0, which are equal.
    std::vector<Row> rows;
    for (int i = 0; i < 200; ++i) rows.push_back({"r" + std::to_string(i), (i * 37) % 11});
    enum KeyKind { kInt, kInt64, kDouble, kFloat, KeyKinds };
    for (int c = 0; c < 2 * KeyKinds; ++c) {
        const auto kind = KeyKind(c / 2);
        const TSortDirection d = c % 2 ? sdDescending : sdAscending;
        GridFixture byCompare, byKey;
        byCompare.fill(rows);
        byKey.fill(rows);
        for (GridFixture* g : {&byCompare, &byKey}) {
            g->tree.SortTree(0, sdDescending);
            g->tree.DeleteNode(g->tree.GetFirst());
            g->tree.AddChild(nullptr, 5);
            int i = 0;
            g->tree.BeginUpdate();
            for (PVirtualNode n = g->tree.GetFirst(); n; n = g->tree.GetNextSibling(n)) g->tree.SetVisible(n, i++ % 3);
            g->tree.EndUpdate();
        }
        byCompare.tree.SortTree(1, d);
        const auto row = [&](PVirtualNode n) { return static_cast<size_t>(TVirtualStringTree::GetNodeData(n)); };
        const auto value = [&](PVirtualNode n) { return byKey.rows[row(n)].Value; };
        switch (kind) {
            case kInt: byKey.tree.SortByKey(nullptr, d, value); break;
            case kInt64:
                byKey.tree.SortByKey(nullptr, d, [&](PVirtualNode n) { return int64_t(value(n) - 5) << 40; });
                break;
            case kDouble:
                byKey.tree.SortByKey(nullptr, d, [&](PVirtualNode n) {
                    return value(n) == 5 ? (row(n) % 2 ? -0.0 : 0.0) : (value(n) - 5) * 0.37;
                });
                break;
            case kFloat:
            case KeyKinds:
                byKey.tree.SortByKey(nullptr, d, [&](PVirtualNode n) { return float(value(n) - 5) * 1.5f; });
                break;
        }
        EXPECT_EQ(TopLevelNames(byKey), TopLevelNames(byCompare)) << "direction " << d << " key kind " << kind;
        EXPECT_EQ(ShownText(byKey.tree), ShownText(byCompare.tree)) << "direction " << d << " key kind " << kind;
    }
}

TEST(Sort, WithoutAComparisonNothingMoves) {
    GridFixture f;
    f.fill(sample());
    f.tree.OnCompareNodes = nullptr;
    f.tree.SortTree(0, sdAscending);
    EXPECT_EQ(TopLevelNames(f), "d,a,c,b,e");
}

TEST(Sort, HeaderClickReportsTheColumnAndTheMarkFollowsTheView) {
    GridFixture f;
    f.fill(sample());
    f.tree.resize(400, 200);
    f.tree.show();
    std::vector<TColumnIndex> clicks;
    // The views' rule: first click descending, again on the same column
    // alternates, another column starts descending.
    f.tree.OnHeaderClick = [&](TVirtualStringTree* t, TColumnIndex column) {
        clicks.push_back(column);
        auto& h = t->Header();
        const TSortDirection dir =
            (h.SortColumn() == column && h.SortDirection() == sdDescending) ? sdAscending : sdDescending;
        h.SetSortColumn(column);
        h.SetSortDirection(dir);
        t->SortTree(column, dir);
    };
    QHeaderView* h = f.tree.header();
    auto click = [&](int logical) {
        const QPoint p(h->sectionViewportPosition(logical) + h->sectionSize(logical) / 2, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, p);
    };
    click(1);
    EXPECT_EQ(TopLevelNames(f), "d,c,e,a,b");
    EXPECT_EQ(h->sortIndicatorSection(), 1);
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::DescendingOrder);
    click(1);
    EXPECT_EQ(TopLevelNames(f), "a,b,d,c,e");
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::AscendingOrder);
    click(0);
    EXPECT_EQ(TopLevelNames(f), "e,d,c,b,a");
    EXPECT_EQ(h->sortIndicatorSection(), 0);
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(clicks, (std::vector<TColumnIndex>{1, 1, 0}));

    // A view that does not sort leaves the mark where it was.
    f.tree.OnHeaderClick = nullptr;
    click(1);
    EXPECT_EQ(h->sortIndicatorSection(), 0);
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::DescendingOrder);

    // A rebuild keeps the mark; the rows come back in model order.
    f.fill(sample());
    EXPECT_EQ(TopLevelNames(f), "d,a,c,b,e");
    EXPECT_EQ(h->sortIndicatorSection(), 0);
    EXPECT_EQ(f.tree.Header().SortColumn(), 0);
}

TEST(Sort, SortsAndFiltersOfAShownGridLeaveTheScrollAreaAsItWas) {
    // A sort lays out the rows without laying out the scroll area again, and
    // a filter sets only the vertical range, both with the range and the
    // position a full layout gives; a change still waiting for its layout
    // (rows added just before) gets it, as does a filter that hides the
    // vertical scroll bar.
    struct PaintCount : QObject {
        int Paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            Paints += e->type() == QEvent::Paint;
            return false;
        }
    };
    struct Case {
        int added;       // rows added before the change
        int hideEvery;   // the change: 0 a sort, else a filter hiding every n-th row
        bool atEnd;      // scrolled to the end first
        bool barsAlone;  // neither scroll bar paints (a filter: the horizontal one)
    };
    for (const Case c : {Case{0, 0, false, true}, Case{150, 0, false, false}, Case{0, 2, true, true},
                         Case{0, 3, false, true}, Case{150, 2, true, false}, Case{0, 1, true, false}}) {
        const std::string what = std::to_string(c.added) + " added, hiding every " + std::to_string(c.hideEvery);
        GridFixture f;
        std::vector<Row> rows;
        for (int i = 0; i < 100; ++i) rows.push_back({"r" + std::to_string(i), i % 7});
        f.fill(rows);
        f.tree.resize(150, 200);  // narrower than the columns: both scroll bars
        f.tree.show();
        QScrollBar* bar = f.tree.verticalScrollBar();
        if (c.atEnd) bar->setValue(bar->maximum());
        QApplication::processEvents();
        const int before = bar->value();
        int told = before;
        QObject::connect(bar, &QScrollBar::valueChanged, [&told](int value) { told = value; });
        PaintCount vertical, horizontal;
        bar->installEventFilter(&vertical);
        f.tree.horizontalScrollBar()->installEventFilter(&horizontal);
        for (int i = 0; i < c.added; ++i) {
            f.rows.push_back({"n" + std::to_string(i), i % 5});
            f.tree.AddChild(nullptr, static_cast<intptr_t>(f.rows.size() - 1));
        }
        if (c.hideEvery == 0) {
            f.tree.SortTree(1, sdDescending);
        } else {
            f.tree.BeginUpdate();
            int k = 0;
            for (PVirtualNode n = f.tree.GetFirst(); n; n = f.tree.GetNextSibling(n))
                if (++k % c.hideEvery == 0) f.tree.SetVisible(n, false);
            f.tree.EndUpdate();
        }
        QApplication::processEvents();
        const int maximum = bar->maximum();
        const int value = bar->value();
        if (c.barsAlone) {
            EXPECT_EQ(horizontal.Paints, 0) << what;
            if (c.hideEvery == 0) {
                EXPECT_EQ(vertical.Paints, 0) << what;
            }
        }
        EXPECT_EQ(told, value) << what;  // whoever follows the position was told
        f.tree.doItemsLayout();          // the scroll area laid out in full
        EXPECT_EQ(maximum, bar->maximum()) << what;
        EXPECT_EQ(value, bar->value()) << what;
        EXPECT_EQ(c.hideEvery == 1, maximum == 0) << what;
        EXPECT_EQ(value, std::min(before, maximum)) << what;
    }
}

TEST(Sort, CompareTextIsCaseSensitiveThreeWay) {
    EXPECT_EQ(CompareText("abc", "abc"), 0);
    EXPECT_EQ(CompareText("abc", "abd"), -1);
    EXPECT_EQ(CompareText("abd", "abc"), 1);
    EXPECT_NE(CompareText("abc", "ABC"), 0);
    EXPECT_EQ(CompareText("ABC", "abc"), -CompareText("abc", "ABC"));
    EXPECT_EQ(CompareText("", "a"), -1);
    EXPECT_EQ(CompareText("RDB$INDEX_1", "RDB$INDEX_10"), -1);
}
