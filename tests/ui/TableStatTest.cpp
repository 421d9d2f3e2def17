// The tables view as the user sees it: texts, colours, bars, fonts, images,
// hints, sorting, column visibility and the link to the indices view, read
// back through the view's own handlers over a hand-built model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <map>

#include "model/rules.h"
#include "model/utils.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/views/indexStat.h"
#include "ui/views/tablestat.h"

namespace dv::test {
namespace {

std::string Unwrap(std::string s) { return StringReplaceAll(s, "\r\n", ""); }

class TableStatTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetModel(4096);
        DBInfo->Pages = 2560;                    // 10 MB of data pages
        DBInfo->IndexSize = 5 * 1024 * 1024;     // 5 MB of indices

        T["PLAIN"] = Table("PLAIN", [](TRelation& r) {
            r.Records = 100; r.RecLen = 12.345678; r.VerLen = 0; r.DataPages = 2; r.AverageFill = 80;
            r.RealFill = 78; r.SizeMB = 2.5; r.ISizeMB = 0.5; r.PageSlots = 2; r.MaxVer = 0;
        });
        T["VERS_SMALL"] = Table("VERS_SMALL", [](TRelation& r) {
            r.Records = 10; r.Versions = 100; r.RecLen = 30; r.VerLen = 20; r.DataPages = 5; r.AverageFill = 70;
            r.RealFill = 70; r.MaxVer = 3;
        });
        T["VERS_BIG"] = Table("VERS_BIG", [](TRelation& r) {
            r.Records = 1000; r.Versions = 4000; r.RecLen = 30; r.VerLen = 20; r.DataPages = 30; r.AverageFill = 70;
            r.RealFill = 70; r.MaxVer = 5;
        });
        T["BLOB"] = Table("BLOB", [](TRelation& r) {
            r.Records = 10; r.RecLen = 30; r.DataPages = 200; r.AverageFill = 80; r.RealFill = 80;
        });
        T["MASS"] = Table("MASS", [](TRelation& r) {
            r.Records = 10000; r.Versions = 6000; r.MaxVer = 1; r.RecLen = 40; r.VerLen = 10; r.DataPages = 300;
            r.AverageFill = 75; r.RealFill = 75;
        });
        // Read from data statistics: its pointer page is there, its figures are 0.
        T["EMPTY"] = Table("EMPTY", [](TRelation& r) { r.PointerPage = 180; });
        T["FRAG"] = Table("FRAG", [](TRelation& r) {
            r.Records = 5000; r.RecLen = 30; r.DataPages = 100; r.AverageFill = 40; r.RealFill = 40;
        });
        T["LONGVER"] = Table("LONGVER", [](TRelation& r) {
            r.Records = 100; r.Versions = 10; r.RecLen = 20; r.VerLen = 60; r.MaxVer = 2; r.DataPages = 3;
            r.AverageFill = 70; r.RealFill = 70;
        });
        T["MISMATCH"] = Table("MISMATCH", [](TRelation& r) {
            r.Records = 50; r.RecLen = 30; r.DataPages = 3; r.AverageFill = 80; r.RealFill = 50;
        });
        T["HUGE"] = Table("HUGE", [](TRelation& r) {
            r.Records = 100000000; r.RecLen = 30; r.DataPages = 9162458; r.AverageFill = 90; r.RealFill = 90;
        });
        T["BIGIDX"] = Table("BIGIDX", [](TRelation& r) {
            r.Records = 200; r.RecLen = 30; r.DataPages = 3; r.AverageFill = 90; r.RealFill = 90; r.SizeMB = 20;
            r.ISizeMB = 25;
        });
        T["VERS_FRAG"] = Table("VERS_FRAG", [](TRelation& r) {
            r.Records = 10; r.Versions = 100; r.RecLen = 30; r.VerLen = 20; r.DataPages = 100; r.AverageFill = 40;
            r.RealFill = 40; r.MaxVer = 3;
        });
        T["VERS_BLOB"] = Table("VERS_BLOB", [](TRelation& r) {
            r.Records = 10; r.Versions = 100; r.RecLen = 30; r.VerLen = 20; r.DataPages = 200; r.AverageFill = 80;
            r.RealFill = 80; r.MaxVer = 3;
        });
        T["VERS_MASS"] = Table("VERS_MASS", [](TRelation& r) {
            r.Records = 100; r.Versions = 6000; r.MaxVer = 1; r.RecLen = 30; r.VerLen = 20; r.DataPages = 10;
            r.AverageFill = 80; r.RealFill = 80;
        });

        Frame = std::make_unique<TFrTableStat>(nullptr);
        Frame->FillTables();
        Grid = Frame->vstTblStat;
    }
    void TearDown() override {
        Frame.reset();
        DBInfo->Reset(true);
    }

    TRelation* Table(const std::string& name, const std::function<void(TRelation&)>& setup) {
        TRelation* r = AddTable(name);
        setup(*r);
        return r;
    }

    PVirtualNode Node(const std::string& name) { return Frame->FindNode(T.at(name)); }
    std::string Text(const std::string& name, int column) {
        std::string s;
        Frame->vstTblStatGetText(Grid, Node(name), column, s);
        return s;
    }
    TPaintedCell Paint(const std::string& name, int column, int width = 100) {
        PVirtualNode n = Node(name);
        return PaintCell([&](TCanvas& c, QRect r) { Frame->vstTblStatBeforeCellPaint(Grid, c, n, column, r); },
                         width);
    }
    int Image(const std::string& name, int column = tcTable, TVTImageKind kind = ikNormal) {
        int index = -1;
        bool ghosted = false;
        Frame->vstTblStatGetImageIndex(Grid, Node(name), kind, column, ghosted, index);
        return index;
    }
    std::string Hint(const std::string& name, int column) {
        std::string s;
        Frame->vstTblStatGetHint(Grid, Node(name), column, s);
        return s;
    }
    // What the rebuild gives a column: the name column exactly its widest
    // cell, others their start width; neither narrower than the caption.
    int NeededWidth(int column) {
        if (column == tcTable) return std::max(Grid->GetMaxColumnWidth(column), CaptionWidth(Grid, column));
        TFrTableStat fresh(nullptr);
        return fresh.vstTblStat->Header().Columns[column].Width();
    }
    std::vector<std::string> Order() {
        std::vector<std::string> names;
        for (PVirtualNode n : Rows(Grid)) names.push_back(TVirtualStringTree::GetNodeObject<TRelation>(n)->TableName);
        return names;
    }

    std::map<std::string, TRelation*> T;
    std::unique_ptr<TFrTableStat> Frame;
    TVirtualStringTree* Grid = nullptr;
};

TEST_F(TableStatTest, RowsComeInModelOrderWithOneNodePerTable) {
    ASSERT_EQ(Grid->RootNodeCount(), static_cast<int>(DBInfo->Relations.size()));
    auto rows = Rows(Grid);
    for (size_t k = 0; k < rows.size(); ++k)
        EXPECT_EQ(TVirtualStringTree::GetNodeObject<TRelation>(rows[k]), DBInfo->Relations[k]) << k;
}

TEST_F(TableStatTest, ColumnCaptionsAlignmentAndStartWidths) {
    const struct { const char* caption; TAlignment align; } expected[TableColumnCount] = {
        {"Table", taLeftJustify}, {"Records", taRightJustify}, {"RecLength", taRightJustify},
        {"VerLen", taRightJustify}, {"Versions", taRightJustify}, {"Max Vers", taRightJustify},
        {"Data Pages", taRightJustify}, {"Size, mb", taRightJustify}, {"IdxSize, mb", taLeftJustify},
        {"Slots", taRightJustify}, {"Avg fill%", taRightJustify}, {"0-19%", taRightJustify},
        {"20-39%", taRightJustify}, {"40-59%", taRightJustify}, {"60-79%", taRightJustify},
        {"80-99%", taRightJustify}, {"RealFill", taLeftJustify}, {"Total %", taLeftJustify}};
    TFrTableStat fresh(nullptr);
    auto& columns = fresh.vstTblStat->Header().Columns;
    ASSERT_EQ(columns.Count(), TableColumnCount);
    const int widths[TableColumnCount] = {140, 55, 65, 50, 55, 60, 68, 50, 50, 50, 55, 50, 50, 50, 50, 50, 50, 50};
    for (int c = 0; c < TableColumnCount; ++c) {
        EXPECT_EQ(columns[c].Text(), expected[c].caption) << c;
        EXPECT_EQ(columns[c].Alignment(), expected[c].align) << c;
        // the start width, or wider where the caption needs it
        EXPECT_EQ(columns[c].Width(), std::max(ScaledWidth(fresh.vstTblStat, widths[c]), CaptionWidth(fresh.vstTblStat, c))) << c;
    }
    EXPECT_EQ(columns[tcSizeMb].MinWidth(), 12);
    EXPECT_EQ(fresh.Copy1->text().toStdString(), "Copy");
}

TEST_F(TableStatTest, CellTextsUseTheModelValuesAndFormats) {
    T["PLAIN"]->Records = 1234567890123;
    T["PLAIN"]->Versions = 4000000000;
    T["PLAIN"]->Fill20 = 1; T["PLAIN"]->Fill40 = 2; T["PLAIN"]->Fill60 = 3; T["PLAIN"]->Fill80 = 4; T["PLAIN"]->Fill100 = 5;
    T["PLAIN"]->VerLen = 0.005;
    const std::vector<std::pair<int, std::string>> cases = {
        {tcTable, "PLAIN"}, {tcRecords, "1234567890123"}, {tcRecLength, "12.35"}, {tcVerLen, "0.01"},
        {tcVersions, "4000000000"}, {tcMaxVers, "0"}, {tcDataPages, "2"}, {tcSizeMb, "2.50"},
        {tcIdxSizeMb, "0.50"}, {tcSlots, "2"}, {tcAvgFill, "80"}, {tcFill20, "1"}, {tcFill40, "2"},
        {tcFill60, "3"}, {tcFill80, "4"}, {tcFill100, "5"}, {tcRealFill, "78"},
        // (2.5 + 0.5) MB of 10 + 5 MB
        {tcTotalPercent, "20"}};
    for (auto& [column, text] : cases) EXPECT_EQ(Text("PLAIN", column), text) << "column " << column;
    T["BIGIDX"]->SizeMB = 123456.789;
    EXPECT_EQ(Text("BIGIDX", tcSizeMb), "123456.79");
}

TEST_F(TableStatTest, TotalShareRoundsHalvesToEvenAndIsZeroWithoutPages) {
    DBInfo->Pages = 25600;   // 100 MB in all: a megabyte is a percent
    DBInfo->IndexSize = 0;
    T["PLAIN"]->ISizeMB = 0;
    for (auto [size, text] : std::vector<std::pair<double, std::string>>{{7.5, "8"}, {8.5, "8"}, {9.5, "10"}, {0, "0"}}) {
        T["PLAIN"]->SizeMB = size;
        EXPECT_EQ(Text("PLAIN", tcTotalPercent), text) << size;
    }
    DBInfo->Pages = 0;
    T["PLAIN"]->SizeMB = 2.5;
    EXPECT_EQ(Text("PLAIN", tcTotalPercent), "0");
    // and no bars over an undefined share
    EXPECT_EQ(Paint("PLAIN", tcSizeMb).Left(), OptionSettings.ChessColor);
    EXPECT_EQ(Paint("PLAIN", tcIdxSizeMb).Left(), OptionSettings.ChessColor);
}

TEST_F(TableStatTest, WarningFillsFollowTheRules) {
    const TOptionSettings& o = OptionSettings;
    struct Case { const char* table; int column; TColor colour; };
    // Rows at odd positions carry no chess fill, so "nothing" is the column colour.
    const std::vector<Case> cases = {
        {"VERS_SMALL", tcVersions, o.YellowColor},     // fewer than 1000 records
        {"VERS_BIG", tcVersions, o.RedColor},          // 1000 records or more
        {"BLOB", tcRecords, o.BlobColor},
        {"MASS", tcMaxVers, o.MassColor},
        {"LONGVER", tcVerLen, o.YellowColor},
        {"MISMATCH", tcRealFill, o.YellowColor},
        {"HUGE", tcDataPages, o.RedColor},
        {"VERS_SMALL", tcRecords, o.Columns1Color},    // Records without blobs: key-column fill
        {"PLAIN", tcVersions, o.Columns1Color},        // Versions without warnings
        {"PLAIN", tcVerLen, o.ChessColor},             // row 0: chess only
        {"PLAIN", tcMaxVers, o.ChessColor},
        {"VERS_SMALL", tcVerLen, ColumnColour},        // row 1: nothing at all
        {"VERS_SMALL", tcMaxVers, ColumnColour},
        {"VERS_SMALL", tcDataPages, ColumnColour},
        {"VERS_SMALL", tcRealFill, ColumnColour},
    };
    for (const Case& c : cases) {
        TPaintedCell cell = Paint(c.table, c.column);
        EXPECT_EQ(cell.Left(), c.colour) << c.table << " column " << c.column;
        EXPECT_EQ(cell.Right(), c.colour) << c.table << " column " << c.column;
    }
}

TEST_F(TableStatTest, ColourOptionsAreReadAtPaintTime) {
    OptionSettings.RedColor = 0x00112233;
    EXPECT_EQ(Paint("VERS_BIG", tcVersions).Left(), 0x00112233u);
    OptionSettings.Columns1Color = 0x00445566;
    EXPECT_EQ(Paint("PLAIN", tcRecords).Left(), 0x00445566u);
}

TEST_F(TableStatTest, KeyColumnsKeepTheirFillOnChessRowsAndOtherColumnsShowChess) {
    ASSERT_TRUE(Grid->IsChessRow(Node("PLAIN")));
    ASSERT_FALSE(Grid->IsChessRow(Node("VERS_SMALL")));
    EXPECT_EQ(Paint("PLAIN", tcRecords).Left(), OptionSettings.Columns1Color);
    EXPECT_EQ(Paint("PLAIN", tcVersions).Left(), OptionSettings.Columns1Color);
    for (int c : {tcTable, tcRecLength, tcSlots, tcFill20, tcFill100, tcTotalPercent})
        EXPECT_EQ(Paint("PLAIN", c).Left(), OptionSettings.ChessColor) << c;
    for (int c : {tcTable, tcRecLength, tcSlots, tcTotalPercent})
        EXPECT_EQ(Paint("VERS_SMALL", c).Left(), ColumnColour) << c;
    OptionSettings.ChessFill = false;
    for (int c : {tcTable, tcRecLength, tcSlots, tcTotalPercent})
        EXPECT_EQ(Paint("PLAIN", c).Left(), ColumnColour) << c;
}

TEST_F(TableStatTest, ChessFillCountsHiddenRows) {
    auto rows = Rows(Grid);
    Grid->SetVisible(rows[1], false);
    // rows 0 and 2 are now visible neighbours, both filled
    EXPECT_EQ(Paint("PLAIN", tcSlots).Left(), OptionSettings.ChessColor);
    EXPECT_EQ(Paint("VERS_BIG", tcSlots).Left(), OptionSettings.ChessColor);
    EXPECT_EQ(Paint("BLOB", tcSlots).Left(), ColumnColour);
}

TEST_F(TableStatTest, BarsShowSharesAndFillOverTheChessFill) {
    const TOptionSettings& o = OptionSettings;
    // Size: 2.5 of 10 MB = 25 % of a 100-pixel cell, over the chess fill of row 0.
    TPaintedCell size = Paint("PLAIN", tcSizeMb);
    EXPECT_EQ(size.Left(), o.Columns2Color);
    EXPECT_EQ(size.RunFromLeft(o.Columns2Color), 25);
    EXPECT_EQ(size.At(30), o.ChessColor);
    // The bar stays one pixel inside at the top and bottom.
    EXPECT_EQ(size.At(5, 0), o.ChessColor);
    EXPECT_EQ(size.At(5, 17), o.ChessColor);
    // Index size: 0.5 of 5 MB = 10 %.
    EXPECT_EQ(Paint("PLAIN", tcIdxSizeMb).RunFromLeft(o.Columns2Color), 10);
    // Average fill: the model's percentage; red when the pages are underfilled.
    EXPECT_EQ(Paint("PLAIN", tcAvgFill).RunFromLeft(o.Columns2Color), 80);
    TPaintedCell frag = Paint("FRAG", tcAvgFill, 50);
    EXPECT_EQ(frag.RunFromLeft(o.RedColor), 20);
    // A table on an odd row: the rest of the cell keeps the column colour.
    EXPECT_EQ(Paint("VERS_SMALL", tcAvgFill).At(90), ColumnColour);
    // Round(W * P / 100) with halves to even: 25 % of 50 pixels is 12.5 -> 12.
    EXPECT_EQ(Paint("PLAIN", tcSizeMb, 50).RunFromLeft(o.Columns2Color), 12);
}

TEST_F(TableStatTest, BoldColumns) {
    for (int c = 0; c < TableColumnCount; ++c) {
        const bool bold = c == tcRecords || c == tcVersions || c == tcMaxVers || c == tcAvgFill;
        PVirtualNode n = Node("PLAIN");
        TFontStyles style = FontStyleOf([&](TCanvas& cv) { Frame->vstTblStatPaintText(Grid, cv, n, c); });
        EXPECT_EQ(style, bold ? TFontStyles(fsBold) : TFontStyles(0)) << c;
    }
}

TEST_F(TableStatTest, RowImagesFollowTheRulesInOrder) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"PLAIN", imgTable},           {"VERS_SMALL", imgTableVersions}, {"BLOB", imgTableFragmented},
        {"MASS", imgTableMassDeletes}, {"EMPTY", imgTableEmpty},         {"FRAG", imgTableFragmented},
        // a later rule replaces an earlier one
        {"VERS_FRAG", imgTableVersions}, {"VERS_BLOB", imgTableFragmented}, {"VERS_MASS", imgTableMassDeletes}};
    for (auto& [table, image] : cases) {
        EXPECT_EQ(Image(table), image) << table;
        EXPECT_EQ(Image(table, tcTable, ikSelected), image) << table;
        EXPECT_EQ(Image(table, tcTable, ikState), -1) << table;
        EXPECT_EQ(Image(table, tcRecords), -1) << table;
    }
    ASSERT_EQ(ViewImages().size(), 10);
    for (const QIcon& icon : ViewImages()) EXPECT_FALSE(icon.pixmap(16, 16).isNull());
}

TEST_F(TableStatTest, AskingTheImageMarksProblemTables) {
    Image("PLAIN");
    Image("VERS_SMALL");
    Image("BLOB");
    Image("MASS");   // mass deletes do not mark
    EXPECT_FALSE(T["PLAIN"]->Problem);
    EXPECT_TRUE(T["VERS_SMALL"]->Problem);
    EXPECT_TRUE(T["BLOB"]->Problem);
    EXPECT_FALSE(T["MASS"]->Problem);
}

TEST_F(TableStatTest, HintsExplainWarningsWrappedAtHintWidth) {
    struct Case { const char* table; int column; std::string text; };
    const std::vector<Case> cases = {
        {"BLOB", tcRecords,
         "Table is highly fragmented with blobs stored on data pages. Estimated records = 10176, , real avg.fill "
         "= 0%. Read KB5 in Additional Q & A (Help) or View Recommendations."},
        {"PLAIN", tcRecLength, "Max record length = 0 bytes"},
        {"LONGVER", tcVerLen,
         "Average version size is > 110% of record size. Updates change lot of table fields or versions mostly "
         "generated by deletes."},
        {"VERS_SMALL", tcVersions,
         "Too many record versions - maybe garbage collection do not work, or data is not being read. Look at "
         "Sweep Gap info at Summary page - maybe it is time to run sweep (gfix -sweep) in exclusive mode. or to "
         "make backup/restore (gbak -b -g / gbak -c)"},
        {"MASS", tcMaxVers,
         "There are >10% versions of record count, and MaxVers = 1. Maybe these versions are result of massive "
         "delete (or update), and not yet processed by garbage collection."},
        {"HUGE", tcDataPages,
         "!!! Very big table. Its page count is very close to limit. When page count increase by ~10000 pages, "
         "there will be problem reading data (and making backup) from this table"},
        {"BIGIDX", tcIdxSizeMb, "Size of indices of that table is bigger than table size."},
        {"FRAG", tcAvgFill,
         "Data pages are fragmented. If you see performance degradation for this table, maybe it is time to make "
         "backup/restore."},
        // rules that do not hold, and columns without a case
        {"PLAIN", tcRecords, ""}, {"PLAIN", tcVerLen, ""}, {"PLAIN", tcVersions, ""}, {"PLAIN", tcMaxVers, ""},
        {"PLAIN", tcDataPages, ""}, {"PLAIN", tcIdxSizeMb, ""}, {"PLAIN", tcAvgFill, ""}, {"PLAIN", tcSizeMb, ""},
        {"PLAIN", tcSlots, ""}, {"MISMATCH", tcRealFill, ""}, {"PLAIN", tcTotalPercent, ""},
        {"PLAIN", tcTable, ""},   // no column list without metadata
    };
    for (const Case& c : cases) {
        const std::string hint = Hint(c.table, c.column);
        EXPECT_EQ(Unwrap(hint), c.text) << c.table << " column " << c.column;
        EXPECT_EQ(hint, WrapAtColumn(c.text, 50)) << c.table << " column " << c.column;
    }
    // a long hint is broken into lines of at most HintWidth characters
    const std::string h = Hint("VERS_SMALL", tcVersions);
    EXPECT_NE(h.find("\r\n"), std::string::npos);
    size_t start = 0;
    for (size_t end; (end = h.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 50u) << h;
}

TEST_F(TableStatTest, HintsQuoteTheCurrentOptions) {
    OptionSettings.RecVerSize = 150;
    OptionSettings.DelPercent = 7;
    OptionSettings.HintWidth = 1000;
    T["LONGVER"]->VerLen = 80;   // 97.2 > 37.2 * 1.5
    EXPECT_EQ(Hint("LONGVER", tcVerLen).substr(0, 35), "Average version size is > 150% of r");
    EXPECT_EQ(Hint("MASS", tcMaxVers).substr(0, 14), "There are >7% ");
    EXPECT_EQ(Hint("MASS", tcMaxVers).find("\r\n"), std::string::npos);
}

TEST_F(TableStatTest, ColumnListAndRecordLengthHintsFromMetadata) {
    TRelation* r = T["PLAIN"];
    AddField(r, "ID", 8);
    AddField(r, "NOTE", 37, 100);
    EXPECT_EQ(Hint("PLAIN", tcTable), "ID    INTEGER\r\nNOTE  VARCHAR(100)");
    EXPECT_EQ(Hint("PLAIN", tcRecLength), "Max record length = 106 bytes");
    r->MaxRecLen = 77;
    EXPECT_EQ(Hint("PLAIN", tcRecLength), "Max record length = 77 bytes");
}

TEST_F(TableStatTest, NodesWithoutATableAnswerNothing) {
    PVirtualNode blank = Grid->AddChild(nullptr, 0);
    std::string s = "unchanged";
    Frame->vstTblStatGetText(Grid, blank, tcRecords, s);
    EXPECT_EQ(s, "unchanged");
    Frame->vstTblStatGetHint(Grid, blank, tcRecords, s);
    EXPECT_EQ(s, "unchanged");
    int image = -1;
    bool ghosted = false;
    Frame->vstTblStatGetImageIndex(Grid, blank, ikNormal, tcTable, ghosted, image);
    EXPECT_EQ(image, -1);
    TPaintedCell cell = PaintCell([&](TCanvas& c, QRect rc) { Frame->vstTblStatBeforeCellPaint(Grid, c, blank, tcRecords, rc); });
    EXPECT_EQ(cell.Left(), ColumnColour);
    int result = 7;
    Frame->vstTblStatCompareNodes(Grid, blank, Node("PLAIN"), tcRecords, result);
    EXPECT_EQ(result, 7);
}

TEST_F(TableStatTest, OptionalColumnsFollowRecordInfoAndTheFragmentationOption) {
    auto& columns = Grid->Header().Columns;
    auto visible = [&] {
        std::string v;
        for (int c = 0; c < TableColumnCount; ++c) v += columns[c].Visible() ? '1' : '0';
        return v;
    };
    EXPECT_EQ(visible(), "111111111110000011");
    DBInfo->IsRecordInfoAvailable = false;
    Frame->FillTables();
    EXPECT_EQ(visible(), "100000111110000001");
    OptionSettings.ViewTableFrag = true;
    DBInfo->IsRecordInfoAvailable = true;
    Frame->FillTables();
    EXPECT_EQ(visible(), "111111111111111111");
}

TEST_F(TableStatTest, RebuildSizesTheNameColumnExactlyAndNumberColumnsOnlyGrow) {
    auto& columns = Grid->Header().Columns;
    EXPECT_EQ(columns[tcTable].Width(), NeededWidth(tcTable));
    EXPECT_EQ(columns[tcRecords].Width(), std::max(Grid->GetMaxColumnWidth(tcRecords), NeededWidth(tcRecords)));
    EXPECT_EQ(NeededWidth(tcSlots), std::max(ScaledWidth(Grid, 50), CaptionWidth(Grid, tcSlots)));
    EXPECT_EQ(columns[tcSlots].Width(), NeededWidth(tcSlots));
    T["PLAIN"]->Records = 1234567890123456789;
    T["PLAIN"]->TableName = "A_RATHER_LONG_TABLE_NAME_THAT_NEEDS_ROOM";
    Frame->FillTables();
    EXPECT_EQ(columns[tcTable].Width(), NeededWidth(tcTable));
    EXPECT_GT(columns[tcRecords].Width(), 55);
    EXPECT_EQ(columns[tcRecords].Width(), Grid->GetMaxColumnWidth(tcRecords));
    // the name column shrinks again, the number column does not
    const int wide = columns[tcRecords].Width();
    T["PLAIN"]->Records = 1;
    T["PLAIN"]->TableName = "P";
    Frame->FillTables();
    EXPECT_EQ(columns[tcTable].Width(), NeededWidth(tcTable));
    EXPECT_EQ(columns[tcRecords].Width(), wide);
    // Among more rows than a fit measures, the longest texts still decide,
    // wherever they stand.
    for (size_t k = 0; k < 2 * kFitSample; ++k) AddTable("T" + std::to_string(k));
    TRelation* last = AddTable("WIDEST_OF_ALL_THE_TABLE_NAMES_IN_THIS_DATABASE");
    last->Records = -1234567890123456789;
    Frame->FillTables();
    EXPECT_EQ(columns[tcTable].Width(), NeededWidth(tcTable));
    EXPECT_GT(columns[tcRecords].Width(), wide);
    EXPECT_EQ(columns[tcRecords].Width(), Grid->GetMaxColumnWidth(tcRecords));
}

TEST_F(TableStatTest, HeaderClicksSortDescendingFirstThenAlternate) {
    auto& header = Grid->Header();
    EXPECT_EQ(header.SortColumn(), NoColumn);
    Frame->vstTblStatHeaderClick(Grid, tcRecords);
    EXPECT_EQ(header.SortColumn(), tcRecords);
    EXPECT_EQ(header.SortDirection(), sdDescending);
    EXPECT_EQ(Order().front(), "HUGE");
    Frame->vstTblStatHeaderClick(Grid, tcRecords);
    EXPECT_EQ(header.SortDirection(), sdAscending);
    EXPECT_EQ(Order().front(), "EMPTY");
    Frame->vstTblStatHeaderClick(Grid, tcRecords);
    EXPECT_EQ(header.SortDirection(), sdDescending);
    // another column while ascending or descending: descending
    Frame->vstTblStatHeaderClick(Grid, tcRecords);
    ASSERT_EQ(header.SortDirection(), sdAscending);
    Frame->vstTblStatHeaderClick(Grid, tcTable);
    EXPECT_EQ(header.SortColumn(), tcTable);
    EXPECT_EQ(header.SortDirection(), sdDescending);
    EXPECT_EQ(Order().front(), "VERS_SMALL");
    Frame->vstTblStatHeaderClick(Grid, tcTable);
    EXPECT_EQ(Order().front(), "BIGIDX");
    // A rebuild ranks the names again, though the rows are the same objects.
    T["BIGIDX"]->TableName = "ZZ_BIGIDX";
    Frame->FillTables();
    Frame->vstTblStatHeaderClick(Grid, tcTable);
    EXPECT_EQ(Order().front(), "ZZ_BIGIDX");
}

TEST_F(TableStatTest, SortingComparesModelValuesNotTexts) {
    // 9 and 10 as texts sort the other way round; 2.004 and 2.001 show the same text.
    DBInfo->Reset(true);
    DBInfo->PageSize = 4096;
    TRelation* a = Table("A", [](TRelation& r) { r.Records = 9; r.RecLen = 2.004; r.SizeMB = 1; r.ISizeMB = 5; });
    TRelation* b = Table("B", [](TRelation& r) { r.Records = 10; r.RecLen = 2.001; r.SizeMB = 4; r.ISizeMB = 1; });
    TRelation* c = Table("C", [](TRelation& r) { r.Records = 10000000000; r.RecLen = 2.002; r.SizeMB = 3; r.ISizeMB = 2.5; });
    Frame->FillTables();
    auto order = [&] {
        std::string s;
        for (PVirtualNode n : Rows(Grid)) s += TVirtualStringTree::GetNodeObject<TRelation>(n)->TableName;
        return s;
    };
    Frame->vstTblStatHeaderClick(Grid, tcRecords);
    EXPECT_EQ(order(), "CBA");
    Frame->vstTblStatHeaderClick(Grid, tcRecLength);
    EXPECT_EQ(order(), "ACB");
    // Total % orders by SizeMB + ISizeMB: 6, 5, 5.5
    Frame->vstTblStatHeaderClick(Grid, tcTotalPercent);
    EXPECT_EQ(order(), "ACB");
    (void)a; (void)b; (void)c;
}

TEST_F(TableStatTest, EqualValuesKeepTheirOrderAndRebuildRestoresModelOrder) {
    // MaxVer: 0 for most tables; a descending sort puts the others first and
    // keeps the equal ones in their previous order.
    Frame->vstTblStatHeaderClick(Grid, tcMaxVers);
    std::vector<std::string> zeros;
    for (auto& name : Order())
        if (T[name]->MaxVer == 0) zeros.push_back(name);
    std::vector<std::string> modelZeros;
    for (TRelation* r : DBInfo->Relations)
        if (r->MaxVer == 0) modelZeros.push_back(r->TableName);
    EXPECT_EQ(zeros, modelZeros);
    Frame->FillTables();
    EXPECT_EQ(Order().front(), "PLAIN");
    // Model order is no sort by MaxVer: the header says so.
    EXPECT_EQ(Grid->Header().SortColumn(), NoColumn);
    EXPECT_EQ(Grid->header()->sortIndicatorSection(), -1);
}

TEST_F(TableStatTest, EmptyModelGivesAnEmptyGridWithoutASortMark) {
    Frame->vstTblStatHeaderClick(Grid, tcDataPages);
    DBInfo->Reset(true);
    Frame->FillTables();
    EXPECT_EQ(Grid->RootNodeCount(), 0);
    EXPECT_EQ(Grid->Header().SortColumn(), NoColumn);
    EXPECT_EQ(Grid->Header().SortDirection(), sdDescending);
    // The next click on the same column sorts it as a first click does.
    Frame->vstTblStatHeaderClick(Grid, tcDataPages);
    EXPECT_EQ(Grid->Header().SortDirection(), sdDescending);
}

TEST_F(TableStatTest, CopyGivesCaptionsAndSelectedRowsOfVisibleColumns) {
    auto rows = Rows(Grid);
    Grid->SetSelected(rows[0], true);
    Grid->SetSelected(rows[2], true);
    Grid->SetSelected(rows[3], true);
    const std::string text = Grid->ContentToText(efPlainText);
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              "Table\tRecords\tRecLength\tVerLen\tVersions\tMax Vers\tData Pages\tSize, mb\tIdxSize, mb\tSlots\t"
              "Avg fill%\tRealFill\tTotal %");
    size_t lines = 0;
    for (size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(lines, 4u);
    EXPECT_NE(text.find("\r\nPLAIN\t100\t12.35\t0.00\t0\t0\t2\t2.50\t0.50\t2\t80\t78\t20\r\n"), std::string::npos)
        << text;
}

class TableIndexLinkTest : public TableStatTest {
protected:
    void SetUp() override {
        TableStatTest::SetUp();
        for (auto& [name, r] : T) AddIndex(r, "IDX_" + name);
        AddIndex(T["PLAIN"], "IDX_PLAIN_2");
        Indices = std::make_unique<TFrIndexStat>(nullptr);
        Indices->FillIndices();
    }
    void TearDown() override {
        Indices.reset();
        TableStatTest::TearDown();
    }
    std::vector<std::string> Shown() {
        std::vector<std::string> names;
        for (PVirtualNode n : Rows(Indices->vstIdxStat))
            if (Indices->vstIdxStat->IsVisible(n))
                names.push_back(TVirtualStringTree::GetNodeObject<TIndex>(n)->IndexName);
        return names;
    }
    std::unique_ptr<TFrIndexStat> Indices;
};

TEST_F(TableIndexLinkTest, SelectingATableRestrictsTheIndicesWhileLinked) {
    ASSERT_EQ(FrTableStat, Frame.get());
    ASSERT_EQ(FrIndexStat, Indices.get());
    EXPECT_TRUE(Frame->IndexViewLinked());   // on from creation
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size());
    Grid->SetFocusedNode(Node("PLAIN"));
    Grid->SetSelected(Node("PLAIN"), true);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"IDX_PLAIN", "IDX_PLAIN_2"}));
    Grid->ClearSelection();
    Grid->SetSelected(Node("MASS"), true);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"IDX_MASS"}));
    // a change without a row leaves the indices as they are
    Frame->vstTblStatChange(Grid, nullptr);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"IDX_MASS"}));
}

TEST_F(TableIndexLinkTest, UnlinkShowsAllIndicesAndLinkAppliesTheFocusedRowAtOnce) {
    Grid->SetFocusedNode(Node("BLOB"));
    Frame->LinkIndexView(false);
    EXPECT_FALSE(Frame->IndexViewLinked());
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size());
    Grid->SetSelected(Node("EMPTY"), true);   // not linked: nothing happens
    EXPECT_EQ(Shown().size(), DBInfo->Indices.size());
    Grid->ClearSelection();
    Grid->SetFocusedNode(Node("BLOB"));
    Frame->LinkIndexView(true);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"IDX_BLOB"}));
}

TEST_F(TableIndexLinkTest, LinkWithoutAFocusedRowChangesNothing) {
    Frame->LinkIndexView(false);
    Indices->FilterByRelation(T["MASS"]);
    Grid->SetFocusedNode(nullptr);
    Frame->LinkIndexView(true);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"IDX_MASS"}));
}

}  // namespace
}  // namespace dv::test

namespace dv::test {
namespace {

// The ranks a header click sorts names by give CompareText's order.
TEST(NameSortKeys, RanksAgreeWithTheLocaleComparison) {
    const std::vector<std::string> names = {"alpha", "Alpha", "ALPHA", "beta", "Beta", "b", "a_b", "a b", "a-b",
                                            "ab", "Zeta", "zeta", "éclair", "eclair", "Eclair", "10", "9", "",
                                            "RDB$PRIMARY1", "RDB$PRIMARY10", "RDB$PRIMARY2", "Odd (name)", "alpha"};
    TNameSortKeys keys;
    for (const std::string& n : names) keys.Add(&n, n);
    keys.Prepare();
    for (const std::string& a : names)
        for (const std::string& b : names)
            EXPECT_EQ(keys.Compare(&a, a, &b, b), CompareText(a, b)) << "'" << a << "' against '" << b << "'";
    // an owner without a rank falls back to the comparison itself
    const std::string stranger = "beta";
    EXPECT_EQ(keys.Compare(&stranger, stranger, &names[0], names[0]), CompareText("beta", "alpha"));
    keys.Clear();
    EXPECT_EQ(keys.Compare(&names[0], names[0], &names[3], names[3]), CompareText("alpha", "beta"));
}

}  // namespace
}  // namespace dv::test
