// The indices view as the user sees it: texts, colours, bars, fonts, images,
// hints, sorting, the table filter, the jump to the table and the popup menu,
// read back through the view's own handlers over a hand-built model.
#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <map>

#include "model/utils.h"
#include "server/DMData.h"
#include "server/IBClient.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/views/indexStat.h"
#include "ui/views/tablestat.h"

namespace dv::test {
namespace {

std::string Unwrap(const std::string& s) { return StringReplaceAll(s, "\r\n", ""); }

class IndexStatTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetModel(4096);
        DBInfo->IndexSize = 5 * 1024 * 1024;
        TB = AddTable("TB");
        TB->Records = 500; TB->Versions = 20; TB->DataPages = 10; TB->RecLen = 30; TB->AverageFill = 80;
        Other = AddTable("OTHER");
        Other->Records = 10; Other->Versions = 100; Other->DataPages = 3; Other->RecLen = 30; Other->AverageFill = 80;

        Idx("PLAIN_IDX", TB, [](TIndex& i) {
            i.Depth = 2; i.Nodes = 520; i.KeyLen = 4.5; i.Uniques = 520; i.Sel = i.Stats = 1.0f / 520;
            i.SizeMb = 0.5; i.AverageFill = 70; i.Leafs = 2; i.NullSeg = 7; i.Key = "ID";
        });
        Idx("DEEP", TB, [](TIndex& i) { Healthy(i); i.Depth = 4; });
        Idx("MISSING", TB, [](TIndex& i) { Healthy(i); i.Nodes = 100; i.Uniques = 100; });
        Idx("MISSING_INACTIVE", TB, [](TIndex& i) { Healthy(i); i.Nodes = 100; i.Uniques = 100; i.Inactive = 1; i.Sel = i.Stats; });
        Idx("DUPS_BAD", TB, [](TIndex& i) { Healthy(i); i.Nodes = 2000; i.TotalDup = 1900; i.MaxDup = 700; i.Uniques = 100; });
        Idx("DUPS_MANY", TB, [](TIndex& i) { Healthy(i); i.Nodes = 2000; i.TotalDup = 1900; i.MaxDup = 100; i.Uniques = 100; });
        Idx("USELESS", TB, [](TIndex& i) { Healthy(i); i.Nodes = 1001; i.Uniques = 1; });
        Idx("FRAG_IDX", TB, [](TIndex& i) { Healthy(i); i.Leafs = 20; i.AverageFill = 30; });
        Idx("SEL_INACTIVE", TB, [](TIndex& i) { Healthy(i); i.Inactive = 1; i.Sel = 0; i.Stats = 0.5f; });
        Idx("SEL_NEG", TB, [](TIndex& i) { Healthy(i); i.Stats = -1; i.Sel = 0.01f; });
        Idx("SEL_INACTIVE2", TB, [](TIndex& i) { Healthy(i); i.Inactive = 2; i.Stats = 0.1f; i.Sel = 0.01f; });
        Idx("SEL_15", TB, [](TIndex& i) { Healthy(i); i.Stats = 0.01f; i.Sel = 0.0085f; });
        Idx("SEL_50", TB, [](TIndex& i) { Healthy(i); i.Stats = 0.01f; i.Sel = 0.005f; });
        Idx("SEL_EMPTY", TB, [](TIndex& i) { Healthy(i); i.Nodes = 0; i.Uniques = 0; i.Sel = i.Stats = 0; });
        Idx("SEL_ZERO_STATS", TB, [](TIndex& i) { Healthy(i); i.Stats = 0; i.Sel = 0.01f; });
        Idx("OTHER_IDX", Other, [](TIndex& i) { Healthy(i); i.Nodes = 110; i.Uniques = 110; });

        Frame = std::make_unique<TFrIndexStat>(nullptr);
        Frame->FillIndices();
        Grid = Frame->vstIdxStat;
    }
    void TearDown() override {
        Frame.reset();
        DBInfo->Reset(true);
    }

    // An index that no rule flags on table TB.
    static void Healthy(TIndex& i) {
        i.Depth = 2; i.Nodes = 600; i.Uniques = 600; i.Sel = i.Stats = 1.0f / 600; i.SizeMb = 0.1;
        i.AverageFill = 70; i.Leafs = 2; i.KeyLen = 4;
    }
    TIndex* Idx(const std::string& name, TRelation* r, const std::function<void(TIndex&)>& setup) {
        TIndex* i = AddIndex(r, name);
        setup(*i);
        I[name] = i;
        return i;
    }
    PVirtualNode Node(const std::string& name) {
        for (PVirtualNode n : Rows(Grid))
            if (TVirtualStringTree::GetNodeObject<TIndex>(n) == I.at(name)) return n;
        return nullptr;
    }
    std::string Text(const std::string& name, int column) {
        std::string s;
        Frame->vstIdxStatGetText(Grid, Node(name), column, s);
        return s;
    }
    TPaintedCell Paint(const std::string& name, int column, int width = 100) {
        PVirtualNode n = Node(name);
        return PaintCell([&](TCanvas& c, QRect r) { Frame->vstIdxStatBeforeCellPaint(Grid, c, n, column, r); }, width);
    }
    int Image(const std::string& name, int column, TVTImageKind kind = ikNormal) {
        int index = -1;
        bool ghosted = false;
        Frame->vstIdxStatGetImageIndex(Grid, Node(name), kind, column, ghosted, index);
        return index;
    }
    std::string Hint(const std::string& name, int column) {
        std::string s;
        Frame->vstIdxStatGetHint(Grid, Node(name), column, s);
        return s;
    }
    TFontStyles Style(const std::string& name, int column) {
        PVirtualNode n = Node(name);
        return FontStyleOf([&](TCanvas& c) { Frame->vstIdxStatPaintText(Grid, c, n, column); });
    }
    std::vector<std::string> Order() {
        std::vector<std::string> names;
        for (PVirtualNode n : Rows(Grid)) names.push_back(TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName);
        return names;
    }
    std::vector<std::string> Shown() {
        std::vector<std::string> names;
        for (PVirtualNode n : Rows(Grid))
            if (Grid->IsVisible(n)) names.push_back(TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName);
        return names;
    }

    TRelation* TB = nullptr;
    TRelation* Other = nullptr;
    std::map<std::string, TIndex*> I;
    std::unique_ptr<TFrIndexStat> Frame;
    TVirtualStringTree* Grid = nullptr;
};

TEST_F(IndexStatTest, ColumnsMenuAndStartState) {
    const char* captions[IndexColumnCount] = {"Index", "Table", "Depth", "Keys", "Key Len", "Max Dup",
                                              "Total Dup", "Uniques", "Selectivity", "Size, mb", "AvgFill",
                                              "Nulls", "Leafs", "0-19%", "20-39%", "40-59%", "60-79%", "80-99%"};
    const int widths[IndexColumnCount] = {140, 100, 50, 50, 55, 60, 60, 55, 70, 50, 50, 50, 50, 50, 50, 50, 50, 50};
    TFrIndexStat fresh(nullptr);
    auto& columns = fresh.vstIdxStat->Header().Columns;
    ASSERT_EQ(columns.Count(), IndexColumnCount);
    for (int c = 0; c < IndexColumnCount; ++c) {
        EXPECT_EQ(columns[c].Text(), captions[c]) << c;
        EXPECT_EQ(columns[c].Width(), std::max(ScaledWidth(fresh.vstIdxStat, widths[c]), CaptionWidth(fresh.vstIdxStat, c))) << c;
        EXPECT_EQ(columns[c].Alignment(), c <= icTable ? taLeftJustify : taRightJustify) << c;
    }
    EXPECT_EQ(fresh.Copy1->text().toStdString(), "Copy");
    EXPECT_EQ(fresh.mRecompSel->text().toStdString(), "Recompute selectivity");
    EXPECT_EQ(fresh.mRecompSelAll->text().toStdString(), "Recompute selectivity for all indices");
    EXPECT_FALSE(fresh.mRecompSel->isVisible());
    EXPECT_FALSE(fresh.mRecompSelAll->isVisible());
}

TEST_F(IndexStatTest, CellTexts) {
    I["PLAIN_IDX"]->Nodes = 5000000000;
    I["PLAIN_IDX"]->Uniques = 4000000000;
    I["PLAIN_IDX"]->MaxDup = 3; I["PLAIN_IDX"]->TotalDup = 9;
    I["PLAIN_IDX"]->Fill20 = 1; I["PLAIN_IDX"]->Fill40 = 2; I["PLAIN_IDX"]->Fill60 = 3;
    I["PLAIN_IDX"]->Fill80 = 4; I["PLAIN_IDX"]->Fill100 = 5;
    const std::vector<std::pair<int, std::string>> cases = {
        {icIndex, "PLAIN_IDX"}, {icTable, "TB"}, {icDepth, "2"}, {icKeys, "5000000000"}, {icKeyLen, "4.50"},
        {icMaxDup, "3"}, {icTotalDup, "9"}, {icUniques, "4000000000"}, {icSelectivity, "0.0019231"},
        {icSizeMb, "0.50"}, {icAvgFill, "70"}, {icNulls, "7"}, {icLeafs, "2"}, {icFill20, "1"},
        {icFill40, "2"}, {icFill60, "3"}, {icFill80, "4"}, {icFill100, "5"}};
    for (auto& [column, text] : cases) EXPECT_EQ(Text("PLAIN_IDX", column), text) << "column " << column;
    // the stored selectivity is shown, not the computed one
    EXPECT_EQ(Text("SEL_15", icSelectivity), "0.0100000");
    EXPECT_EQ(Text("SEL_NEG", icSelectivity), "-1.0000000");
}

TEST_F(IndexStatTest, WarningFillsByColumn) {
    const TOptionSettings& o = OptionSettings;
    struct Case { const char* index; int column; TColor colour; };
    const std::vector<Case> cases = {
        {"DEEP", icDepth, o.RedColor},            {"PLAIN_IDX", icDepth, o.Columns1Color},
        {"MISSING", icKeys, 0x000000FF},          {"MISSING_INACTIVE", icKeys, ColumnColour},
        {"PLAIN_IDX", icKeys, ColumnColour},      {"PLAIN_IDX", icKeyLen, o.Columns1Color},
        {"DUPS_BAD", icMaxDup, o.RedColor},       {"DUPS_MANY", icMaxDup, ColumnColour},
        {"DUPS_BAD", icTotalDup, o.RedColor},     {"DUPS_MANY", icTotalDup, o.YellowColor},
        {"PLAIN_IDX", icTotalDup, ColumnColour},  {"USELESS", icUniques, o.YellowColor},
        {"PLAIN_IDX", icUniques, ColumnColour},
        // selectivity, first match wins
        {"PLAIN_IDX", icSelectivity, ColumnColour},   // equal
        {"SEL_INACTIVE", icSelectivity, o.MassColor},
        {"SEL_NEG", icSelectivity, ColumnColour},
        {"SEL_INACTIVE2", icSelectivity, ColumnColour},
        {"SEL_15", icSelectivity, o.YellowColor},
        {"SEL_50", icSelectivity, o.RedColor},
        {"SEL_ZERO_STATS", icSelectivity, o.RedColor},
        {"SEL_EMPTY", icSelectivity, ColumnColour},
    };
    for (const Case& c : cases) {
        TPaintedCell cell = Paint(c.index, c.column);
        EXPECT_EQ(cell.Left(), c.colour) << c.index << " column " << c.column;
        EXPECT_EQ(cell.Right(), c.colour) << c.index << " column " << c.column;
    }
    // The missing-keys red is fixed; the option does not change it.
    OptionSettings.RedColor = 0x00010203;
    EXPECT_EQ(Paint("MISSING", icKeys).Left(), 0x000000FFu);
    EXPECT_EQ(Paint("DEEP", icDepth).Left(), 0x00010203u);
}

TEST_F(IndexStatTest, SelectivityColourBoundaryAtTwentyPercent) {
    // Stats 0.01 against Sel 0.008: 20 % of the larger value; 0.0082: 18 %.
    TIndex* i = I["SEL_15"];
    i->Stats = 0.01f;
    for (auto [sel, colour] : std::vector<std::pair<float, TColor>>{
             {0.0082f, OptionSettings.YellowColor}, {0.0079f, OptionSettings.RedColor},
             {0.0099f, OptionSettings.YellowColor}, {0.012f, OptionSettings.YellowColor},
             {0.013f, OptionSettings.RedColor}}) {
        i->Sel = sel;
        EXPECT_EQ(Paint("SEL_15", icSelectivity).Left(), colour) << sel;
    }
}

TEST_F(IndexStatTest, ChessFillOnlyOnNameAndDistributionColumns) {
    ASSERT_TRUE(Grid->IsChessRow(Node("PLAIN_IDX")));
    OptionSettings.ViewIndexFrag = true;
    for (int c : {icIndex, icTable, icNulls, icLeafs, icFill20, icFill100})
        EXPECT_EQ(Paint("PLAIN_IDX", c).Left(), OptionSettings.ChessColor) << c;
    for (int c : {icKeys, icMaxDup, icUniques, icSelectivity})
        EXPECT_EQ(Paint("PLAIN_IDX", c).Left(), ColumnColour) << c;
    EXPECT_EQ(Paint("PLAIN_IDX", icSizeMb).Right(), ColumnColour);
    EXPECT_EQ(Paint("PLAIN_IDX", icAvgFill).Right(), ColumnColour);
    // odd row, and the option off
    EXPECT_EQ(Paint("DEEP", icIndex).Left(), ColumnColour);
    OptionSettings.ChessFill = false;
    EXPECT_EQ(Paint("PLAIN_IDX", icIndex).Left(), ColumnColour);
}

TEST_F(IndexStatTest, ChessFillFollowsPositionsInTheFullListWhenRowsAreHidden) {
    Frame->FilterByRelation(Other);   // only OTHER_IDX, the last row, is shown
    ASSERT_EQ(Shown(), (std::vector<std::string>{"OTHER_IDX"}));
    const bool even = (DBInfo->Indices.size() - 1) % 2 == 0;
    EXPECT_EQ(Paint("OTHER_IDX", icIndex).Left(), even ? OptionSettings.ChessColor : ColumnColour);
    EXPECT_EQ(Paint("PLAIN_IDX", icIndex).Left(), OptionSettings.ChessColor);
}

TEST_F(IndexStatTest, Bars) {
    const TOptionSettings& o = OptionSettings;
    // 0.5 of 5 MB of indices = 10 %
    EXPECT_EQ(Paint("PLAIN_IDX", icSizeMb).RunFromLeft(o.Columns2Color), 10);
    EXPECT_EQ(Paint("PLAIN_IDX", icAvgFill).RunFromLeft(o.Columns2Color), 70);
    EXPECT_EQ(Paint("FRAG_IDX", icAvgFill).RunFromLeft(o.RedColor), 30);
    // A database without index pages has no share: no bar.
    DBInfo->IndexSize = 0;
    EXPECT_EQ(Paint("PLAIN_IDX", icSizeMb).Left(), ColumnColour);
}

TEST_F(IndexStatTest, Fonts) {
    EXPECT_EQ(Style("SEL_INACTIVE", icIndex), TFontStyles(fsItalic));
    EXPECT_EQ(Style("SEL_INACTIVE2", icIndex), TFontStyles(0));   // only Inactive = 1
    EXPECT_EQ(Style("PLAIN_IDX", icIndex), TFontStyles(0));
    for (const char* name : {"PLAIN_IDX", "SEL_INACTIVE"}) {
        EXPECT_EQ(Style(name, icAvgFill), TFontStyles(fsBold)) << name;
        for (int c : {icTable, icDepth, icKeys, icSelectivity, icSizeMb, icNulls})
            EXPECT_EQ(Style(name, c), TFontStyles(0)) << name << " column " << c;
    }
}

TEST_F(IndexStatTest, RowImages) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"PLAIN_IDX", imgIndex},   {"FRAG_IDX", imgIndexFragmented}, {"DEEP", imgIndexDeep},
        {"USELESS", imgIndexUseless}, {"DUPS_BAD", imgIndexDuplicates}, {"DUPS_MANY", imgIndex}};
    for (auto& [name, image] : cases) {
        EXPECT_EQ(Image(name, icIndex), image) << name;
        EXPECT_EQ(Image(name, icIndex, ikSelected), image) << name;
        EXPECT_EQ(Image(name, icIndex, ikOverlay), -1) << name;
        EXPECT_EQ(Image(name, icKeys), -1) << name;
    }
    // a deep and fragmented index: the later rule wins
    I["DEEP"]->Leafs = 20; I["DEEP"]->AverageFill = 30;
    EXPECT_EQ(Image("DEEP", icIndex), imgIndexDeep);
    // the table column shows the table's image
    EXPECT_EQ(Image("PLAIN_IDX", icTable), imgTable);
    EXPECT_EQ(Image("OTHER_IDX", icTable), imgTableVersions);
}

TEST_F(IndexStatTest, PaintingMarksProblemIndicesAndTheirTables) {
    // (the rebuild's auto-width already asked every row's images)
    for (TIndex* i : DBInfo->Indices) i->Problem = false;
    TB->Problem = false;
    Image("PLAIN_IDX", icIndex);
    Paint("PLAIN_IDX", icKeys);
    EXPECT_FALSE(I["PLAIN_IDX"]->Problem);
    EXPECT_FALSE(TB->Problem);
    Paint("SEL_15", icSelectivity);   // 15 % apart: over 10 marks
    EXPECT_TRUE(I["SEL_15"]->Problem);
    EXPECT_TRUE(TB->Problem);
}

TEST_F(IndexStatTest, Hints) {
    AddField(TB, "ID", 8);
    I["DUPS_BAD"]->Key = "NAME, CITY";
    struct Case { const char* index; int column; std::string text; };
    const std::vector<Case> cases = {
        {"DUPS_BAD", icIndex, "NAME, CITY"},
        {"PLAIN_IDX", icTable, "ID  INTEGER"},
        {"DEEP", icDepth,
         "Index depth is greater than 3. It is recommended to recreate index (if it is fragmented) or to make "
         "backup and restore database with bigger database page size."},
        {"PLAIN_IDX", icKeys, "Difference between keys and records+versions: 0"},
        {"MISSING", icKeys, "Difference between keys and records+versions: -420"},
        {"DUPS_BAD", icMaxDup,
         "Index has big group of keys with equal values. Index search may be ineffective and garbage collection "
         "will be slow.35.00% equal keys."},
        {"DUPS_BAD", icTotalDup, "Too many key duplicates. Index search may be ineffective and will use lot of memory."},
        {"DUPS_MANY", icTotalDup, "Too many key duplicates. Index search may be ineffective and will use lot of memory."},
        {"DUPS_MANY", icMaxDup, ""},
        {"USELESS", icUniques, "Index is useless since its column/key have only one value. "},
        {"PLAIN_IDX", icUniques, "Unique key values = 100.000%"},
        {"DUPS_BAD", icUniques, "Unique key values = 5.000%"},
        {"SEL_EMPTY", icUniques, ""},
        {"SEL_INACTIVE", icSelectivity, "Index is deactivated (turned off)"},
        {"SEL_EMPTY", icSelectivity, "Index statistics outdated. Real is 0.0000000, 100% difference"},
        {"SEL_15", icSelectivity, "Index statistics outdated. Real is 0.0085000, 18% difference"},
        {"SEL_ZERO_STATS", icSelectivity, "Index statistics outdated. Real is 0.0100000, 100% difference"},
        {"PLAIN_IDX", icSelectivity, ""},
        {"SEL_NEG", icSelectivity, ""},
        {"SEL_INACTIVE2", icSelectivity, ""},
        {"FRAG_IDX", icAvgFill,
         "Index is fragmented. If this index is used often, try to recreate it (alter index inactive/active). But, "
         "it will be useless if keys in this index is being updated/deleted frequently."},
        {"PLAIN_IDX", icAvgFill, ""}, {"PLAIN_IDX", icDepth, ""}, {"PLAIN_IDX", icSizeMb, ""},
        {"PLAIN_IDX", icKeyLen, ""}, {"PLAIN_IDX", icNulls, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Unwrap(Hint(c.index, c.column)), c.text) << c.index << " column " << c.column;
    // The percentage of the duplicate hint starts a line of its own.
    EXPECT_NE(Hint("DUPS_BAD", icMaxDup).find("slow.\r\n35.00% equal keys."), std::string::npos);
    // The depth hint names 3 whatever the option holds.
    OptionSettings.IndexDepth = 5;
    I["DEEP"]->Depth = 6;
    EXPECT_EQ(Unwrap(Hint("DEEP", icDepth)).substr(0, 31), "Index depth is greater than 3. ");
    // Long hints are wrapped at HintWidth.
    EXPECT_EQ(Hint("FRAG_IDX", icAvgFill), WrapAtColumn(Unwrap(Hint("FRAG_IDX", icAvgFill)), 50));
}

TEST_F(IndexStatTest, SortingByModelValues) {
    // Selectivity sorts by the stored value even where the texts are equal.
    I["PLAIN_IDX"]->Stats = 0.00000001f;
    I["DEEP"]->Stats = 0.00000004f;
    ASSERT_EQ(Text("PLAIN_IDX", icSelectivity), Text("DEEP", icSelectivity));
    Frame->vstIdxStatHeaderClick(Grid, icSelectivity);
    EXPECT_EQ(Grid->Header().SortDirection(), sdDescending);
    auto order = Order();
    auto pos = [&](const std::string& n) { return std::find(order.begin(), order.end(), n) - order.begin(); };
    EXPECT_EQ(order.front(), "SEL_INACTIVE");   // 0.5
    EXPECT_LT(pos("DEEP"), pos("PLAIN_IDX"));
    EXPECT_EQ(order.back(), "SEL_NEG");          // -1
    // Keys as 64-bit numbers
    I["DUPS_BAD"]->Nodes = 3000000000;
    Frame->vstIdxStatHeaderClick(Grid, icKeys);
    EXPECT_EQ(Order().front(), "DUPS_BAD");
    Frame->vstIdxStatHeaderClick(Grid, icKeys);
    EXPECT_EQ(Grid->Header().SortDirection(), sdAscending);
    EXPECT_EQ(Order().front(), "SEL_EMPTY");
    // Table names: OTHER before TB ascending, after it descending
    Frame->vstIdxStatHeaderClick(Grid, icTable);
    EXPECT_EQ(Grid->Header().SortDirection(), sdDescending);
    EXPECT_EQ(Order().back(), "OTHER_IDX");
    Frame->vstIdxStatHeaderClick(Grid, icTable);
    EXPECT_EQ(Order().front(), "OTHER_IDX");
}

TEST_F(IndexStatTest, ComparisonTypesPerColumn) {
    TIndex* a = I["PLAIN_IDX"];
    TIndex* b = I["DEEP"];
    PVirtualNode na = Node("PLAIN_IDX"), nb = Node("DEEP");
    auto cmp = [&](int column) {
        int r = 99;
        Frame->vstIdxStatCompareNodes(Grid, na, nb, column, r);
        return r;
    };
    struct Case { int column; std::function<void(TIndex&, int)> set; };
    const std::vector<Case> cases = {
        {icDepth, [](TIndex& i, int v) { i.Depth = v; }},      {icKeys, [](TIndex& i, int v) { i.Nodes = int64_t(v) << 32; }},
        {icKeyLen, [](TIndex& i, int v) { i.KeyLen = v / 8.0; }}, {icMaxDup, [](TIndex& i, int v) { i.MaxDup = v; }},
        {icTotalDup, [](TIndex& i, int v) { i.TotalDup = v; }}, {icUniques, [](TIndex& i, int v) { i.Uniques = int64_t(v) << 33; }},
        {icSelectivity, [](TIndex& i, int v) { i.Stats = v / 1e9f; }}, {icSizeMb, [](TIndex& i, int v) { i.SizeMb = v / 1000.0; }},
        {icAvgFill, [](TIndex& i, int v) { i.AverageFill = v; }}, {icNulls, [](TIndex& i, int v) { i.NullSeg = int64_t(v) << 40; }},
        {icLeafs, [](TIndex& i, int v) { i.Leafs = v; }},        {icFill20, [](TIndex& i, int v) { i.Fill20 = v; }},
        {icFill40, [](TIndex& i, int v) { i.Fill40 = v; }},      {icFill60, [](TIndex& i, int v) { i.Fill60 = v; }},
        {icFill80, [](TIndex& i, int v) { i.Fill80 = v; }},      {icFill100, [](TIndex& i, int v) { i.Fill100 = v; }},
    };
    for (const Case& c : cases) {
        c.set(*a, 9); c.set(*b, 10);
        EXPECT_EQ(cmp(c.column), -1) << c.column;
        c.set(*a, 10);
        EXPECT_EQ(cmp(c.column), 0) << c.column;
        c.set(*a, 11);
        EXPECT_EQ(cmp(c.column), 1) << c.column;
    }
    EXPECT_EQ(cmp(icIndex), 1);    // PLAIN_IDX after DEEP
    EXPECT_EQ(cmp(icTable), 0);    // both on TB
}

TEST_F(IndexStatTest, RebuildVisibilityAndWidths) {
    auto& columns = Grid->Header().Columns;
    auto visible = [&] {
        std::string v;
        for (int c = 0; c < IndexColumnCount; ++c) v += columns[c].Visible() ? '1' : '0';
        return v;
    };
    EXPECT_EQ(visible(), "111111111110000000");
    DBInfo->IsNullSegInfoAvailable = true;
    OptionSettings.ViewIndexFrag = true;
    Frame->SetColumnVisible(icSelectivity, false);
    Frame->FillIndices();
    EXPECT_EQ(visible(), "111111110111111111");   // Selectivity keeps what was set
    Frame->SetColumnVisible(icSelectivity, true);
    EXPECT_TRUE(columns[icSelectivity].Visible());
    Frame->SetColumnVisible(99, false);   // no such column: nothing happens
    for (int c : {icIndex, icTable})
        EXPECT_EQ(columns[c].Width(), std::max(Grid->GetMaxColumnWidth(c), CaptionWidth(Grid, c))) << c;
    for (int c : {icKeys, icUniques}) EXPECT_GE(columns[c].Width(), 50) << c;
    // A rebuild shows every row again.
    Frame->FilterByRelation(Other);
    Frame->FillIndices();
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size());
}

TEST_F(IndexStatTest, DividerDoubleClickFitsTheColumnOnlyInTheIndicesGrid) {
    auto& columns = Grid->Header().Columns;
    columns[icKeyLen].SetWidth(200);
    emit Grid->header()->sectionHandleDoubleClicked(icKeyLen);
    EXPECT_EQ(columns[icKeyLen].Width(), std::max(Grid->GetMaxColumnWidth(icKeyLen), CaptionWidth(Grid, icKeyLen)));
    EXPECT_LT(columns[icKeyLen].Width(), 200);

    TFrTableStat tables(nullptr);
    auto& tcols = tables.vstTblStat->Header().Columns;
    tcols[tcSlots].SetWidth(200);
    emit tables.vstTblStat->header()->sectionHandleDoubleClicked(tcSlots);
    EXPECT_EQ(tcols[tcSlots].Width(), 200);
}

TEST_F(IndexStatTest, FilterByRelationHidesOtherTablesIndices) {
    Frame->FilterByRelation(Other);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"OTHER_IDX"}));
    EXPECT_EQ(Grid->RootNodeCount(), static_cast<int>(DBInfo->Indices.size()));   // hidden, not removed
    Frame->FilterByRelation(TB);
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size() - 1);
    Frame->FilterByRelation(nullptr);
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size());
}

TEST_F(IndexStatTest, DoubleClickOnTheTableColumnJumpsToTheTable) {
    TFrTableStat tables(nullptr);
    ASSERT_EQ(FrTableStat, &tables);
    tables.FillTables();
    Grid->SetFocusedNode(Node("OTHER_IDX"));
    Frame->vstIdxStatColumnDblClick(Grid, icIndex);   // other columns do nothing
    EXPECT_EQ(tables.vstTblStat->FocusedNode(), nullptr);
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size());
    Frame->vstIdxStatColumnDblClick(Grid, icTable);
    PVirtualNode focused = tables.vstTblStat->FocusedNode();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(TVirtualStringTree::GetNodeObject<TRelation>(focused), Other);
    EXPECT_TRUE(tables.vstTblStat->Selected(focused));
    EXPECT_EQ(tables.vstTblStat->SelectedCount(), 1);
    // through the link, this view now shows that table's indices
    EXPECT_EQ(Shown(), (std::vector<std::string>{"OTHER_IDX"}));
}

TEST_F(IndexStatTest, PopupShowsRecomputeOnlyForAnActiveIndexWithOutdatedSelectivity) {
    struct Case { const char* index; bool columnVisible; bool shown; };
    const std::vector<Case> cases = {
        {"SEL_15", true, true},          {"SEL_ZERO_STATS", true, true}, {"PLAIN_IDX", true, false},
        {"SEL_INACTIVE", true, false},   {"SEL_INACTIVE2", true, false}, {"SEL_15", false, false},
        {nullptr, true, false},
    };
    for (const Case& c : cases) {
        Frame->SetColumnVisible(icSelectivity, c.columnVisible);
        Grid->SetFocusedNode(c.index ? Node(c.index) : nullptr);
        Frame->PopupMenu1Popup();
        EXPECT_EQ(Frame->mRecompSel->isVisible(), c.shown) << (c.index ? c.index : "none");
        EXPECT_EQ(Frame->mRecompSelAll->isVisible(), c.shown) << (c.index ? c.index : "none");
        EXPECT_TRUE(Frame->Copy1->isVisible());
    }
}

TEST_F(IndexStatTest, RecomputeWithoutADataModuleSaysSoAndChangesNothing) {
    ASSERT_EQ(DM, nullptr);
    ScriptedDialogs dialogs;
    Grid->SetFocusedNode(Node("SEL_15"));
    Frame->mRecompSelClick();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, NoClientLibraryMessage);
    EXPECT_FLOAT_EQ(I["SEL_15"]->Stats, 0.01f);
    Frame->mRecompSelAllClick();
    ASSERT_EQ(dialogs.Messages.size(), 2u);   // no question first
    EXPECT_EQ(dialogs.Messages[1].Text, NoClientLibraryMessage);
    EXPECT_FLOAT_EQ(I["SEL_50"]->Stats, 0.01f);
    // Without a focused index the single recompute does nothing at all.
    Grid->SetFocusedNode(nullptr);
    Frame->mRecompSelClick();
    EXPECT_EQ(dialogs.Messages.size(), 2u);
}

TEST_F(IndexStatTest, RecomputeWithoutALiveDatabaseSaysSoAndChangesNothing) {
    std::unique_ptr<TDM> dm;
    try {
        dm = std::make_unique<TDM>(nullptr);
    } catch (const EIBClientError& e) {
        GTEST_SKIP() << "no client library: " << e.Message();
    }
    DM = dm.get();
    ScriptedDialogs dialogs;
    Grid->SetFocusedNode(Node("SEL_15"));
    Frame->mRecompSelClick();
    dialogs.Answer(mrYes);
    Frame->mRecompSelAllClick();
    DM = nullptr;
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[0].Text, NoLiveDatabaseMessage);
    EXPECT_EQ(dialogs.Messages[1].Text, NoLiveDatabaseMessage);   // asked nothing first
    EXPECT_FLOAT_EQ(I["SEL_15"]->Stats, 0.01f);
    EXPECT_FLOAT_EQ(I["SEL_50"]->Stats, 0.01f);
}

}  // namespace
}  // namespace dv::test

namespace dv::test {
namespace {

// Start widths follow the grid's font: a 60-pixel column sized for seven
// digits of an 8-point font still shows seven digits in a larger font, and a
// small font keeps the widths as they are.
TEST(ScaledWidth, SevenDigitNumbersFitAtEveryFontSize) {
    for (int px = 8; px <= 32; px += 3) {
        QWidget w;
        QFont f = w.font();
        f.setPixelSize(px);
        w.setFont(f);
        const int needed = QFontMetrics(f).horizontalAdvance(QStringLiteral("1234567")) + 2 * TVirtualStringTree::TextMargin;
        EXPECT_GE(ScaledWidth(&w, 60), needed) << "pixel size " << px;
        EXPECT_GE(ScaledWidth(&w, 60), 60) << "pixel size " << px;
        EXPECT_LE(ScaledWidth(&w, 60), std::max(60, needed * 2)) << "pixel size " << px;
    }
}

}  // namespace
}  // namespace dv::test
