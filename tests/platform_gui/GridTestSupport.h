// A small grid over a vector of rows for the tree grid tests, and a printer
// that shows the grid as the user sees it (one line per shown row, indented
// by level, cells separated by " | ").
#pragma once

#include "platform/gui/VirtualTrees.h"

#include <map>
#include <string>
#include <vector>

namespace dv::test {

struct Row {
    std::string Name;
    int Value = 0;
};

// Rows live in `rows`; node data is the row's position in it.
struct GridFixture {
    std::vector<Row> rows;
    TVirtualStringTree tree;
    int getTextCalls = 0;
    std::map<int, int> textCallsPerRow;  // row position -> OnGetText calls

    GridFixture() {
        tree.Header().Columns.Add("Name", 120);
        tree.Header().Columns.Add("Value", 60, taRightJustify);
        tree.OnGetText = [this](TVirtualStringTree*, PVirtualNode node, TColumnIndex column, std::string& text) {
            ++getTextCalls;
            const auto i = TVirtualStringTree::GetNodeData(node);
            ++textCallsPerRow[static_cast<int>(i)];
            const Row& r = rows.at(static_cast<size_t>(i));
            text = column == 0 ? r.Name : std::to_string(r.Value);
        };
        tree.OnCompareNodes = [this](TVirtualStringTree*, PVirtualNode a, PVirtualNode b, TColumnIndex column, int& result) {
            const Row& x = rows.at(static_cast<size_t>(TVirtualStringTree::GetNodeData(a)));
            const Row& y = rows.at(static_cast<size_t>(TVirtualStringTree::GetNodeData(b)));
            result = column == 0 ? CompareText(x.Name, y.Name) : (x.Value < y.Value ? -1 : (x.Value > y.Value ? 1 : 0));
        };
    }

    // Adds one top-level node per row, in order.
    void fill(std::vector<Row> r) {
        rows = std::move(r);
        tree.BeginUpdate();
        tree.Clear();
        for (size_t i = 0; i < rows.size(); ++i) tree.AddChild(nullptr, static_cast<intptr_t>(i));
        tree.EndUpdate();
    }
};

// The rows the user can see, through the view itself (hidden rows and
// collapsed children left out), with the cell texts from the model's data().
std::string ShownText(TVirtualStringTree& tree);

// The names of the top-level rows in tree order (hidden ones too).
std::string TopLevelNames(GridFixture& f);

}  // namespace dv::test
