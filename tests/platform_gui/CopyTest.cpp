// Copying selected rows: captions of the shown columns in display order, the
// selected rows in tree order, CR LF, quoting, level separators.
#include "tests/platform_gui/GridTestSupport.h"

#include "platform/text/SysUtils.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

using namespace dv;
using namespace dv::test;

namespace {

struct ListSeparator {
    char saved;
    explicit ListSeparator(char c) : saved(FormatSettings().ListSeparator) { FormatSettings().ListSeparator = c; }
    ~ListSeparator() { FormatSettings().ListSeparator = saved; }
};

// Three columns: Name, Value, and a third one that repeats the name in
// capitals; five rows.
struct CopyFixture : GridFixture {
    CopyFixture() {
        tree.Header().Columns.Add("Upper");
        auto name = tree.OnGetText;
        tree.OnGetText = [this, name](TVirtualStringTree* t, PVirtualNode n, TColumnIndex c, std::string& s) {
            if (c == 2)
                s = UpperCase(rows.at(static_cast<size_t>(TVirtualStringTree::GetNodeData(n))).Name);
            else
                name(t, n, c, s);
        };
        fill({{"alpha", 1}, {"beta", 22}, {"gamma", 333}, {"delta", 4}, {"eps", 5}});
    }
    PVirtualNode node(int i) {
        PVirtualNode n = tree.GetFirst();
        while (i-- > 0) n = tree.GetNextSibling(n);
        return n;
    }
};

}  // namespace

TEST(Copy, ThreeSelectedRowsGiveFourLinesWithoutHiddenColumns) {
    ListSeparator sep(',');
    CopyFixture f;
    f.tree.Header().Columns[1].SetVisible(false);
    // selected out of order: the copy follows the tree order
    f.tree.SetSelected(f.node(3), true);
    f.tree.SetSelected(f.node(0), true);
    f.tree.SetSelected(f.node(2), true);
    EXPECT_EQ(f.tree.ContentToText(efCSV), "Name,Upper\r\nalpha,ALPHA\r\ngamma,GAMMA\r\ndelta,DELTA\r\n");
    EXPECT_EQ(f.tree.ContentToText(efPlainText), "Name\tUpper\r\nalpha\tALPHA\r\ngamma\tGAMMA\r\ndelta\tDELTA\r\n");
}

TEST(Copy, FollowsTheDisplayOrderAndTheCurrentSort) {
    ListSeparator sep(';');
    CopyFixture f;
    f.tree.Header().Columns[2].SetPosition(0);  // Upper, Name, Value
    f.tree.SetSelected(f.node(1), true);
    f.tree.SetSelected(f.node(2), true);
    f.tree.SortTree(1, sdDescending);  // gamma (333) before beta (22)
    EXPECT_EQ(f.tree.ContentToText(efCSV), "Upper;Name;Value\r\nGAMMA;gamma;333\r\nBETA;beta;22\r\n");
}

TEST(Copy, QuotesCellsHoldingTheSeparatorOrAQuote) {
    struct Case {
        std::string name;
        std::string csv;    // with ',' as the list separator
        std::string plain;
    };
    const Case cases[] = {
        {"plain", "plain", "plain"},
        {"a,b", "\"a,b\"", "a,b"},
        {"say \"hi\"", "\"say \"\"hi\"\"\"", "\"say \"\"hi\"\"\""},
        {"tab\there", "tab\there", "\"tab\there\""},
        {"two\r\nlines", "\"two\r\nlines\"", "\"two\r\nlines\""},
        {"", "", ""},
    };
    ListSeparator sep(',');
    for (const Case& c : cases) {
        CopyFixture f;
        f.rows[0].Name = c.name;
        f.tree.Header().Columns[2].SetVisible(false);
        f.tree.SetSelected(f.node(0), true);
        EXPECT_EQ(f.tree.ContentToText(efCSV), "Name,Value\r\n" + c.csv + ",1\r\n") << c.name;
        EXPECT_EQ(f.tree.ContentToText(efPlainText), "Name\tValue\r\n" + c.plain + "\t1\r\n") << c.name;
    }
}

TEST(Copy, NothingSelectedGivesTheCaptionsOnly) {
    ListSeparator sep(',');
    CopyFixture f;
    EXPECT_EQ(f.tree.ContentToText(efCSV), "Name,Value,Upper\r\n");
}

TEST(Copy, RowsHiddenByAFilterAreLeftOut) {
    ListSeparator sep(',');
    CopyFixture f;
    f.tree.Header().Columns[2].SetVisible(false);
    f.tree.SelectAll();
    f.tree.SetVisible(f.node(1), false);
    EXPECT_EQ(f.tree.ContentToText(efCSV), "Name,Value\r\nalpha,1\r\ngamma,333\r\ndelta,4\r\neps,5\r\n");
}

TEST(Copy, LevelsLineUpTheColumns) {
    ListSeparator sep(',');
    GridFixture f;
    f.rows = {{"Database info", 0}, {"Page size", 4096}, {"Group", 0}, {"Item", 7}};
    PVirtualNode root = f.tree.AddChild(nullptr, 0);
    PVirtualNode page = f.tree.AddChild(root, 1);
    PVirtualNode group = f.tree.AddChild(root, 2);
    PVirtualNode item = f.tree.AddChild(group, 3);
    f.tree.FullExpand();
    for (PVirtualNode n : {root, page, group, item}) f.tree.SetSelected(n, true);
    EXPECT_EQ(f.tree.ContentToText(efCSV),
              "Name,,,Value\r\n"
              "Database info,,,0\r\n"
              ",Page size,,4096\r\n"
              ",Group,,0\r\n"
              ",,Item,7\r\n");
    // Only level-1 rows copied: one separator of level each.
    f.tree.ClearSelection();
    f.tree.SetSelected(page, true);
    EXPECT_EQ(f.tree.ContentToText(efPlainText), "Name\t\tValue\r\n\tPage size\t4096\r\n");
}

TEST(Copy, ClipboardGetsBothFormats) {
    ListSeparator sep(';');
    CopyFixture f;
    f.tree.SetSelected(f.node(4), true);
    f.tree.CopyToClipBoard();
    const QMimeData* m = QApplication::clipboard()->mimeData();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->data("CSV").toStdString(), "Name;Value;Upper\r\neps;5;EPS\r\n");
    EXPECT_EQ(m->data("Plain text").toStdString(), "Name\tValue\tUpper\r\neps\t5\tEPS\r\n");
    EXPECT_EQ(m->text().toStdString(), "Name\tValue\tUpper\r\neps\t5\tEPS\r\n");

    // Ctrl+C copies the same rows (not only the focused cell's text).
    QApplication::clipboard()->clear();
    f.tree.SetSelected(f.node(0), true);
    QTest::keyClick(&f.tree, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* k = QApplication::clipboard()->mimeData();
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->data("CSV").toStdString(), "Name;Value;Upper\r\nalpha;1;ALPHA\r\neps;5;EPS\r\n");
}
