// Tree grid benchmark: 60 000 rows of 18 columns, as large as the indices
// grid gets. Times a rebuild (nodes, four auto-fitted columns, first paint),
// header-click sorts by a name and by a number, a filter that hides most rows,
// and counts the cells asked while scrolling. Run by hand:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_grid [rows]
#include "platform/gui/VirtualTrees.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace dv;

namespace {

struct Item {
    std::string name;
    std::string table;
    int depth;
    int64_t nodes;
    double selectivity;
    int32_t counts[13];
};

double ms(QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 60000;

    std::mt19937 rnd(42);
    std::vector<Item> items(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        Item& it = items[static_cast<size_t>(i)];
        it.table = "TABLE_" + std::to_string(rnd() % (rows / 3 + 1));
        it.name = "IDX_" + it.table + "_" + std::to_string(i);
        it.depth = static_cast<int>(rnd() % 4) + 1;
        it.nodes = static_cast<int64_t>(rnd() % 1000000);
        it.selectivity = (rnd() % 100000) / 1e6;
        for (int32_t& c : it.counts) c = static_cast<int32_t>(rnd() % 100000);
    }

    TVirtualStringTree tree;
    tree.SetFlatList(true);
    for (int c = 0; c < 18; ++c) tree.Header().Columns.Add("Column " + std::to_string(c), 60, c < 2 ? taLeftJustify : taRightJustify);
    long textCalls = 0;
    std::map<intptr_t, int> askedRows;
    tree.OnGetText = [&](TVirtualStringTree*, PVirtualNode n, TColumnIndex c, std::string& s) {
        ++textCalls;
        ++askedRows[TVirtualStringTree::GetNodeData(n)];
        const Item* it = TVirtualStringTree::GetNodeObject<Item>(n);
        char buf[32];
        switch (c) {
            case 0: s = it->name; break;
            case 1: s = it->table; break;
            case 2: s = std::to_string(it->depth); break;
            case 3: s = std::to_string(it->nodes); break;
            case 4: std::snprintf(buf, sizeof buf, "%.6f", it->selectivity); s = buf; break;
            default: s = std::to_string(it->counts[c - 5]); break;
        }
    };
    tree.OnPaintText = [](TVirtualStringTree*, TCanvas& canvas, PVirtualNode, TColumnIndex c) {
        if (c == 10) canvas.Font.Style = fsBold;
    };
    tree.OnBeforeCellPaint = [](TVirtualStringTree* t, TCanvas& canvas, PVirtualNode n, TColumnIndex c, QRect r) {
        if (t->IsChessRow(n)) {
            canvas.Brush.Color = 0x00F0F0F0;
            canvas.FillRect(r);
        }
        if (c == 4) DrawBar(canvas, r, TVirtualStringTree::GetNodeObject<Item>(n)->selectivity * 1000, 0x00C0DCC0);
    };
    tree.OnCompareNodes = [](TVirtualStringTree*, PVirtualNode a, PVirtualNode b, TColumnIndex c, int& r) {
        const Item* x = TVirtualStringTree::GetNodeObject<Item>(a);
        const Item* y = TVirtualStringTree::GetNodeObject<Item>(b);
        if (c == 0)
            r = CompareText(x->name, y->name);
        else if (c == 1)
            r = CompareText(x->table, y->table);
        else
            r = x->nodes < y->nodes ? -1 : (x->nodes > y->nodes ? 1 : 0);
    };
    tree.resize(1200, 800);
    tree.show();
    QApplication::processEvents();

    auto rebuild = [&] {
        QElapsedTimer t;
        t.start();
        tree.BeginUpdate();
        tree.Clear();
        for (Item& it : items) tree.AddChild(nullptr, reinterpret_cast<intptr_t>(&it));
        const double nodes = ms(t);
        for (int c : {0, 1}) tree.Header().Columns[c].SetWidth(tree.GetMaxColumnWidth(c));
        for (int c : {3, 7}) tree.Header().Columns[c].SetWidth(std::max(tree.GetMaxColumnWidth(c), tree.Header().Columns[c].Width()));
        const double widths = ms(t) - nodes;
        tree.EndUpdate();
        tree.viewport()->grab();
        std::printf("rebuild %d rows: %.1f ms (nodes %.1f, widths %.1f, update+paint %.1f)\n", rows, ms(t), nodes, widths,
                    ms(t) - nodes - widths);
    };
    rebuild();
    rebuild();

    auto sortBy = [&](int column, TSortDirection dir, const char* what) {
        QElapsedTimer t;
        t.start();
        tree.Header().SetSortColumn(column);
        tree.Header().SetSortDirection(dir);
        tree.SortTree(column, dir);
        tree.viewport()->grab();
        std::printf("sort by %s %s: %.1f ms\n", what, dir == sdAscending ? "ascending" : "descending", ms(t));
    };
    tree.SelectAll();
    sortBy(0, sdDescending, "name (all rows selected)");
    tree.ClearSelection();
    sortBy(0, sdAscending, "name");
    sortBy(1, sdDescending, "table name");
    sortBy(3, sdDescending, "number");

    {
        QElapsedTimer t;
        t.start();
        tree.BeginUpdate();
        int i = 0;
        for (PVirtualNode n = tree.GetFirst(); n; n = tree.GetNextSibling(n)) tree.SetVisible(n, (i++ % 10) == 0);
        tree.EndUpdate();
        tree.viewport()->grab();
        std::printf("filter to every 10th row: %.1f ms\n", ms(t));
        t.restart();
        sortBy(3, sdAscending, "number with 90% hidden");
        t.restart();
        tree.BeginUpdate();
        for (PVirtualNode n = tree.GetFirst(); n; n = tree.GetNextSibling(n)) tree.SetVisible(n, true);
        tree.EndUpdate();
        tree.viewport()->grab();
        std::printf("filter off: %.1f ms\n", ms(t));
    }

    const int rowHeight = tree.visualRect(tree.IndexOf(tree.GetFirst())).height();
    const int shown = tree.viewport()->height() / rowHeight + 1;
    long maxRows = 0;
    QElapsedTimer t;
    t.start();
    const int steps = 200;
    for (int s = 0; s < steps; ++s) {
        tree.verticalScrollBar()->setValue(static_cast<int>(static_cast<long>(s) * rows / steps));
        askedRows.clear();
        textCalls = 0;
        tree.viewport()->grab();
        maxRows = std::max<long>(maxRows, static_cast<long>(askedRows.size()));
    }
    std::printf("scroll: %d paints, %.2f ms per paint, at most %ld rows asked per paint (%d fit on screen)\n", steps,
                ms(t) / steps, maxRows, shown);
    return 0;
}
