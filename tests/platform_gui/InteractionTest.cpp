// What the user does with the grid: columns (widths, minimum, visibility,
// reordering), selection and its change event, focus, hints, double clicks,
// scrolling a row into view.
#include "tests/platform_gui/GridTestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

using namespace dv;
using namespace dv::test;

namespace {

QPoint cellCentre(TVirtualStringTree& t, PVirtualNode n, int column) {
    return t.visualRect(t.IndexOf(n, column)).center();
}

PVirtualNode nth(TVirtualStringTree& t, int i) {
    PVirtualNode n = t.GetFirst();
    while (i-- > 0) n = t.GetNextSibling(n);
    return n;
}

}  // namespace

TEST(Columns, WidthMinimumAndVisibility) {
    GridFixture f;
    auto& name = f.tree.Header().Columns[0];
    EXPECT_EQ(name.Width(), 120);
    EXPECT_EQ(f.tree.header()->sectionSize(0), 120);
    EXPECT_EQ(f.tree.Header().Columns.Add("Default").Width(), 50);  // no width of its own

    name.SetMinWidth(40);
    name.SetWidth(10);
    EXPECT_EQ(name.Width(), 40);
    f.tree.header()->resizeSection(0, 25);  // the user drags it narrower
    EXPECT_EQ(f.tree.header()->sectionSize(0), 40);
    f.tree.header()->resizeSection(0, 90);
    EXPECT_EQ(name.Width(), 90);

    name.SetVisible(false);
    EXPECT_TRUE(f.tree.isColumnHidden(0));
    EXPECT_FALSE(name.Options() & coVisible);
    EXPECT_EQ(name.Width(), 90);  // kept while hidden
    name.SetVisible(true);
    EXPECT_EQ(f.tree.header()->sectionSize(0), 90);
    EXPECT_EQ(f.tree.Header().Columns.VisibleInDisplayOrder(), (std::vector<int>{0, 1, 2}));
}

TEST(Columns, NumbersStayWithTheColumnsWhenReordered) {
    GridFixture f;
    f.fill({{"x", 7}});
    f.tree.Header().Columns[1].SetPosition(0);  // as if dragged to the front
    EXPECT_EQ(f.tree.Header().Columns[1].Position(), 0);
    EXPECT_EQ(f.tree.Header().Columns[0].Position(), 1);
    EXPECT_EQ(f.tree.Header().Columns.VisibleInDisplayOrder(), (std::vector<int>{1, 0}));
    std::vector<TColumnIndex> asked;
    auto text = f.tree.OnGetText;
    f.tree.OnGetText = [&](TVirtualStringTree* t, PVirtualNode n, TColumnIndex c, std::string& s) {
        asked.push_back(c);
        text(t, n, c, s);
    };
    f.tree.resize(300, 100);
    f.tree.show();
    QApplication::processEvents();
    asked.clear();
    f.tree.viewport()->grab();
    EXPECT_EQ(asked, (std::vector<TColumnIndex>{1, 0}));  // painted left to right, numbered as before
    // The header's texts stay with their columns too.
    EXPECT_EQ(f.tree.model()->headerData(1, Qt::Horizontal).toString(), "Value");
}

TEST(Selection, ChangeEventReportsOneRowOrNone) {
    GridFixture f;
    f.fill({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}});
    f.tree.resize(300, 200);
    f.tree.show();
    QApplication::processEvents();
    std::vector<PVirtualNode> changes;
    f.tree.OnChange = [&](TVirtualStringTree*, PVirtualNode n) { changes.push_back(n); };

    // Getting the focus picks no row (no event ran for one); the first key
    // press then starts at the first row.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&f.tree, &focusIn);
    EXPECT_EQ(f.tree.FocusedNode(), nullptr);
    EXPECT_TRUE(changes.empty());
    QTest::keyClick(&f.tree, Qt::Key_Down);
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nth(f.tree, 0)});
    EXPECT_EQ(f.tree.FocusedNode(), nth(f.tree, 0));

    changes.clear();
    QTest::mouseClick(f.tree.viewport(), Qt::LeftButton, {}, cellCentre(f.tree, nth(f.tree, 1), 1));
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nth(f.tree, 1)});
    EXPECT_EQ(f.tree.FocusedNode(), nth(f.tree, 1));
    EXPECT_EQ(f.tree.FocusedColumn(), 1);

    changes.clear();  // another row: one event for the new row
    QTest::mouseClick(f.tree.viewport(), Qt::LeftButton, {}, cellCentre(f.tree, nth(f.tree, 3), 0));
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nth(f.tree, 3)});

    changes.clear();  // a range with shift: several rows, no single node
    QTest::mouseClick(f.tree.viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCentre(f.tree, nth(f.tree, 1), 0));
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nullptr});
    EXPECT_EQ(f.tree.GetSelectedNodes(), (std::vector<PVirtualNode>{nth(f.tree, 1), nth(f.tree, 2), nth(f.tree, 3)}));
    EXPECT_EQ(f.tree.SelectedCount(), 3);

    changes.clear();
    f.tree.ClearSelection();
    EXPECT_EQ(changes, std::vector<PVirtualNode>{nullptr});
    EXPECT_EQ(f.tree.SelectedCount(), 0);
    EXPECT_FALSE(f.tree.Selected(nth(f.tree, 1)));
}

TEST(Selection, FocusMovesWithoutSelecting) {
    GridFixture f;
    f.fill({{"a", 1}, {"b", 2}});
    f.tree.SetFocusedNode(nth(f.tree, 1));
    EXPECT_EQ(f.tree.FocusedNode(), nth(f.tree, 1));
    EXPECT_EQ(f.tree.SelectedCount(), 0);
    f.tree.SetFocusedColumn(1);
    EXPECT_EQ(f.tree.FocusedColumn(), 1);
    f.tree.SetFocusedNode(nullptr);
    EXPECT_EQ(f.tree.FocusedNode(), nullptr);

    // A focused node that a filter hid stays focused when the grid gets the focus.
    f.tree.SetFocusedNode(nth(f.tree, 1));
    f.tree.SetVisible(nth(f.tree, 1), false);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&f.tree, &focusIn);
    EXPECT_EQ(f.tree.FocusedNode(), nth(f.tree, 1));
}

TEST(Selection, ScrollIntoViewCentresTheRow) {
    GridFixture f;
    std::vector<Row> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back({"r" + std::to_string(i), i});
    f.fill(rows);
    f.tree.resize(300, 300);
    f.tree.show();
    QApplication::processEvents();
    PVirtualNode target = nth(f.tree, 500);
    f.tree.ScrollIntoView(target, true);
    QApplication::processEvents();
    const QRect r = f.tree.visualRect(f.tree.IndexOf(target));
    EXPECT_NEAR(r.center().y(), f.tree.viewport()->height() / 2, r.height());
}

TEST(Interaction, HintsPerCellAndNoneForAnEmptyText) {
    GridFixture f;
    f.fill({{"a", 1}, {"b", 2}});
    f.tree.resize(300, 200);
    f.tree.show();
    QApplication::processEvents();
    f.tree.OnGetHint = [&](TVirtualStringTree*, PVirtualNode n, TColumnIndex c, std::string& hint) {
        if (TVirtualStringTree::GetNodeData(n) == 0) hint = "hint of column " + std::to_string(c);
    };
    auto hover = [&](PVirtualNode n, int column) {
        const QPoint p = cellCentre(f.tree, n, column);
        QHelpEvent e(QEvent::ToolTip, p, f.tree.viewport()->mapToGlobal(p));
        QApplication::sendEvent(f.tree.viewport(), &e);
        // no hint: the event goes unanswered and the tip is asked to close
        if (!e.isAccepted()) return std::string("<none>");
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string("<not shown>");
    };
    EXPECT_EQ(hover(nth(f.tree, 0), 1), "hint of column 1");
    EXPECT_EQ(hover(nth(f.tree, 0), 0), "hint of column 0");
    EXPECT_EQ(hover(nth(f.tree, 1), 0), "<none>");
    // Lines laid out with blanks keep them, the first line's too; every kind
    // of line break shows as one.
    f.tree.OnGetHint = [](TVirtualStringTree*, PVirtualNode, TColumnIndex, std::string& hint) {
        hint = " 8.0  - a\n\r 8.2  - b\r\n10.0  - c\rd\ne";
    };
    EXPECT_EQ(hover(nth(f.tree, 1), 0), "\u00a08.0  - a\n\u00a08.2  - b\n10.0  - c\nd\ne");
    f.tree.SetShowHint(false);
    EXPECT_EQ(hover(nth(f.tree, 0), 0), "<none>");
}

TEST(Interaction, BytesThatAreNotUtf8ShowAsCharactersOfTheirOwn) {
    // Two WIN1251 names of a Firebird 2 text (TAB, SCHE in Cyrillic) stay two
    // names; UTF-8 is shown as it is, Windows-1252's 0x80 as the euro sign.
    GridFixture f;
    // A tab in a name shows as an arrow, not as blank space.
    f.fill({{"\xD2\xC0\xC1", 1}, {"\xD1\xD7\xC5", 2}, {"\xCE\x95\xCE\xBB", 3}, {"A\x80", 4}, {"Tab\tTab", 5}});
    EXPECT_EQ(ShownText(f.tree), "\u00D2\u00C0\u00C1 | 1\n\u00D1\u00D7\u00C5 | 2\n\u0395\u03BB | 3\nA\u20AC | 4\n"
                                 "Tab\u2192Tab | 5\n");
}

TEST(Interaction, DoubleClickReportsTheColumn) {
    GridFixture f;
    f.fill({{"a", 1}, {"b", 2}});
    f.tree.SetFlatList(true);
    f.tree.resize(300, 200);
    f.tree.show();
    QApplication::processEvents();
    std::vector<TColumnIndex> clicked;
    PVirtualNode focused = nullptr;
    f.tree.OnColumnDblClick = [&](TVirtualStringTree* t, TColumnIndex c) {
        clicked.push_back(c);
        focused = t->FocusedNode();
    };
    const QPoint p = cellCentre(f.tree, nth(f.tree, 1), 1);
    QTest::mousePress(f.tree.viewport(), Qt::LeftButton, {}, p);
    QTest::mouseRelease(f.tree.viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(f.tree.viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(clicked, std::vector<TColumnIndex>{1});
    EXPECT_EQ(focused, nth(f.tree, 1));
}
