// Damaged and extreme models never break the views: save files holding the
// extreme values their reader accepts, and mutated statistics texts, go
// through the summary, both grids (every cell's text, hint, image, fill,
// font and width, a sort by every column, the copy text and a real paint)
// and the report. Seeded, so every run feeds the same inputs; small enough
// to take a few seconds under the address and undefined-behaviour
// sanitizers, which are what catch an overflow here.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <map>
#include <random>

#include "model/StatParser.h"
#include "model/dkmain.h"
#include "model/options.h"
#include "platform/streaming/ComponentText.h"
#include "platform/text/SysUtils.h"
#include "tests/support/FuzzSupport.h"
#include "platform/system/Dialogs.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/TableStatSupport.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/dbrecom.h"
#include "ui/views/indexStat.h"
#include "ui/views/tablestat.h"

namespace dv::test {
namespace {

// A value of the property's type, picked among the edges the save-file
// reader still accepts, written as save-file text.
std::string ExtremeValue(TPropType type, std::mt19937& rng) {
    auto pick = [&](std::initializer_list<const char*> values) {
        return std::string(values.begin()[rng() % values.size()]);
    };
    switch (type) {
        case TPropType::Integer: return pick({"-2147483648", "2147483647", "-1", "0", "1", "-100", "1000000"});
        case TPropType::Smallint: return pick({"-32768", "32767", "-1", "0"});
        case TPropType::Byte: return pick({"0", "1", "2", "255"});
        case TPropType::Int64:
            return pick({"-9223372036854775808", "9223372036854775807", "-1", "0", "1", "4294967296",
                         "-4611686018427387904", "4611686018427387904"});
        case TPropType::Boolean: return pick({"True", "False"});
        case TPropType::Single: return pick({"3.4e38", "-3.4e38", "NAN", "INF", "-INF", "-1", "0", "1e-45", "2"});
        case TPropType::Double:
        case TPropType::DateTime:
            return pick({"1e308", "-1e308", "1e18", "-1e18", "NAN", "INF", "-INF", "-1", "0", "5e-324", "-0.5",
                         "2958466", "-693594", "100000"});
        case TPropType::String:
            return pick({"''", "#13#10", "'x'#0'y'", "'%s%d%n'",
                         "'WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW'"});
        default: return "0";
    }
}

// One object of a save-file text: where its closing "end" line starts, its
// indent and class.
struct TObjectBlock {
    size_t End;
    size_t Indent;
    std::string Class;
};

std::vector<TObjectBlock> ObjectBlocks(const std::string& text) {
    std::vector<TObjectBlock> blocks;
    size_t at = 0;
    while ((at = text.find("object ", at)) != std::string::npos) {
        const size_t lineStart = text.rfind('\n', at) + 1;   // npos + 1 == 0
        const size_t indent = at - lineStart;
        const size_t colon = text.find(": ", at), eol = text.find("\r\n", at);
        const std::string end = "\r\n" + std::string(indent, ' ') + "end";
        const size_t close = text.find(end, at);
        if (colon < eol && close != std::string::npos && text.find_first_not_of(' ', lineStart) == at)
            blocks.push_back({close + 2, indent, text.substr(colon + 2, eol - colon - 2)});
        at = eol;
    }
    return blocks;
}

// Sets a few stored properties of random objects to extreme values: each
// line goes last into its object, so that it is the value read.
std::string WithExtremeValues(std::string text, const std::map<std::string, const TPropList*>& props,
                              std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
        const std::vector<TObjectBlock> blocks = ObjectBlocks(text);
        const TObjectBlock& b = blocks[rng() % blocks.size()];
        std::vector<const TPropInfo*> settable;
        for (const TPropInfo& p : *props.at(b.Class))
            if (p.Stored && p.Set && p.Name != "Name") settable.push_back(&p);
        const TPropInfo& p = *settable[rng() % settable.size()];
        text.insert(b.End, std::string(b.Indent + 2, ' ') + p.Name + " = " + ExtremeValue(p.Type, rng) + "\r\n");
    }
    return text;
}

// Answers Ignore where a box offers it, else its default button.
class IgnoreEverything : public IDialogProvider {
public:
    IgnoreEverything() { FPrevious = SetDialogProvider(this); }
    ~IgnoreEverything() override { SetDialogProvider(FPrevious); }
    int MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons buttons, int) override {
        return buttons & mbIgnore ? mrIgnore : DefaultResult(buttons);
    }
    bool OpenFileDialog(TFileDialogRequest&) override { return false; }
    bool SaveFileDialog(TFileDialogRequest&) override { return false; }

private:
    IDialogProvider* FPrevious;
};

// The component names of a tree, each followed by its children's.
std::string TreeNames(const TComponent& c) {
    std::string s = std::string(c.Name()) + "(";
    for (const TComponent* child : c.ComponentList()) s += TreeNames(*child);
    return s + ")";
}

class ViewFuzzTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetModel();
        Tables = std::make_unique<TFrTableStat>(nullptr);
        Indices = std::make_unique<TFrIndexStat>(nullptr);
        Summary = std::make_unique<TFrDbInfo>(nullptr);
    }
    void TearDown() override {
        Summary.reset();
        Indices.reset();
        Tables.reset();
        DBInfo->Reset(true);
        OptionSettings = TOptionSettings();
    }

    // Every handler of every cell, a sort by each column both ways, the copy
    // text and, when asked (it is slow), a real paint of what fits.
    static void ExerciseGrid(TVirtualStringTree* grid, bool paint) {
        QImage image(120, 18, QImage::Format_RGB32);
        QPainter painter(&image);
        const int columns = grid->Header().Columns.Count();
        for (PVirtualNode n = grid->GetFirst(); n; n = grid->GetNext(n))
            for (int c = 0; c < columns; ++c) {
                std::string text, hint;
                grid->OnGetText(grid, n, c, text);
                grid->OnGetHint(grid, n, c, hint);
                for (TVTImageKind kind : {ikNormal, ikSelected}) {
                    bool ghosted = false;
                    int index = -1;
                    grid->OnGetImageIndex(grid, n, kind, c, ghosted, index);
                    EXPECT_LT(index, grid->Images.Count());
                }
                TCanvas canvas(&painter, grid->font());
                grid->OnBeforeCellPaint(grid, canvas, n, c, QRect(0, 0, image.width(), image.height()));
                grid->OnPaintText(grid, canvas, n, c);
                grid->GetCellContentWidth(n, c);
            }
        painter.end();
        if (grid->OnHeaderClick)
            for (int c = 0; c < columns; ++c) {
                grid->OnHeaderClick(grid, c);
                grid->OnHeaderClick(grid, c);
            }
        grid->SelectAll();
        grid->ContentToText(efPlainText);
        if (paint) {
            grid->resize(1200, 400);
            (void)grid->grab();
        }
    }

    // What the main window does after a load, then every view and the report.
    void ShowEverything(const std::string& what, bool paint) {
        SCOPED_TRACE(what.substr(0, 3000));
        try {
            Summary->FillDbInfo();
            Tables->FillTables();
            Indices->FillIndices();
            EXPECT_EQ(Tables->vstTblStat->RootNodeCount(), static_cast<int>(DBInfo->Relations.size()));
            EXPECT_EQ(Indices->vstIdxStat->RootNodeCount(), static_cast<int>(DBInfo->Indices.size()));
            ExerciseGrid(Summary->vstDbInfo, paint);
            ExerciseGrid(Tables->vstTblStat, paint);
            ExerciseGrid(Indices->vstIdxStat, paint);
            const TStringList report = CurrentRecommendations();
            ASSERT_GT(report.size(), 3u);
            EXPECT_EQ(report[1], "Database: " + DBInfo->DbName);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "raised: " << e.what();
        }
    }

    // Options that decide which rows, columns and bars exist.
    void RandomOptions(std::mt19937& rng) {
        OptionSettings = TOptionSettings();
        OptionSettings.TrBars = rng() % 2;
        OptionSettings.TrMins = rng() % 2;
        OptionSettings.FB152 = rng() % 2;
        OptionSettings.ZeroTables = rng() % 2;
        OptionSettings.ViewTableFrag = rng() % 2;
        OptionSettings.ViewIndexFrag = rng() % 2;
        OptionSettings.ActSweep = rng() % 2;
    }

    std::unique_ptr<TFrTableStat> Tables;
    std::unique_ptr<TFrIndexStat> Indices;
    std::unique_ptr<TFrDbInfo> Summary;
    IgnoreEverything Dialogs;
    FixedFormats Formats;
};

// Counts at the ends of the 64-bit range: their sums and differences are
// shown exactly and a share beyond 64 bits is clamped, instead of wrapping
// or raising on every paint.
TEST_F(ViewFuzzTest, CountsAtTheEndsOfTheRangeAreShownWithoutOverflow) {
    DBInfo->Pages = 10;
    DBInfo->PageSize = 1024;
    DBInfo->MaxIName = 2147483647;   // a width no name has
    TRelation* r = AddTable("T");
    r->Records = 300;
    r->Versions = 9223372036854775807;
    r->SizeMB = -1e18;
    r->AverageFill = 50;
    TIndex* i = AddIndex(r, "T_IDX");
    i->Nodes = INT64_MIN;
    Summary->FillDbInfo();
    Tables->FillTables();
    Indices->FillIndices();

    std::string text;
    Tables->vstTblStatGetText(Tables->vstTblStat, Tables->vstTblStat->GetFirst(), tcTotalPercent, text);
    EXPECT_EQ(text, "-9223372036854775808");
    std::string hint;
    Indices->vstIdxStatGetHint(Indices->vstIdxStat, Indices->vstIdxStat->GetFirst(), icKeys, hint);
    EXPECT_EQ(StringReplaceAll(hint, "\r\n", ""), "Difference between keys and records+versions: -18446744073709551915");
    ASSERT_EQ(Summary->Problems.BrokenIndices.size(), 1u);
    EXPECT_EQ(Summary->CellText(ChildRowCode(siBrokenIndices), 0, 1),
              "Records: 300, Keys: -9223372036854775808, Difference - 9223372036854776108");
    const TStringList report = CurrentRecommendations();
    EXPECT_NE(std::find(report.begin(), report.end(),
                        " T_IDX : Records 300, Keys -9223372036854775808, Difference 9223372036854776108"),
              report.end());
}

TEST_F(ViewFuzzTest, SaveFilesWithExtremeValues) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_full.txt")));
    ASSERT_FALSE(DBInfo->Indices.empty());
    const std::string saved = WriteComponentText(*DBInfo);
    const std::map<std::string, const TPropList*> props = {{"TDatabaseInfo", &DBInfo->Props()},
                                                           {"TRelation", &DBInfo->Relations[0]->Props()},
                                                           {"TIndex", &DBInfo->Indices[0]->Props()}};
    std::mt19937 rng(20261208);
    for (int round = 0; round < 100; ++round) {
        const std::string text = WithExtremeValues(saved, props, rng);
        RandomOptions(rng);
        DBInfo->Reset(true);
        try {
            ReadComponentText(text, *DBInfo);
        } catch (const std::exception& e) {
            FAIL() << "refused: " << e.what() << "\n" << text;
        }
        RebuildModelLists(*DBInfo);
        // What was read writes back as a text that reads again to the same
        // tree of tables and indices.
        const std::string written = WriteComponentText(*DBInfo);
        TDatabaseInfo again(nullptr);
        ASSERT_NO_THROW(ReadComponentText(written, again)) << written;
        EXPECT_EQ(TreeNames(again), TreeNames(*DBInfo));
        ShowEverything(text, round % 10 == 0);
        if (HasFailure()) return;
    }
}

TEST_F(ViewFuzzTest, MutatedStatisticsTexts) {
    const std::vector<std::string> seeds = {ReadFile(DataPath("fb3_full.txt")), ReadFile(DataPath("fb3_index.txt")),
                                            ReadFile(DataPath("fb3_page4096.txt"))};
    std::mt19937 rng(8122026);
    int shown = 0;
    for (int round = 0; round < 90; ++round) {
        const std::string text = Mutate(seeds[round % seeds.size()], rng);
        RandomOptions(rng);
        TStringList lines;
        for (const std::string& line : SplitLines(text)) lines.push_back(line);
        if (!ParseStatLines(lines)) continue;
        ++shown;
        ShowEverything(text, round % 10 == 0);
        if (HasFailure()) return;
    }
    EXPECT_GT(shown, 45);
}

}  // namespace
}  // namespace dv::test
