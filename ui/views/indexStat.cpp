// The indices view. Like the tables view it caches nothing: each paint asks
// the model and the index rules again.
#include "ui/views/indexStat.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

#include "model/options.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/system/Dialogs.h"
#include "platform/text/SysUtils.h"
#include "server/DMData.h"
#include "ui/window/main.h"
#include "ui/views/tablestat.h"

namespace dv {

TFrIndexStat* FrIndexStat = nullptr;

namespace {

// The fixed pure red of a missing-keys cell (not the RedColor option).
constexpr TColor PureRed = 0x000000FF;

const char* const RecomputeAllQuestion =
    "Recomputing selectivity for all indices can take about 2 minutes on 2 gigabyte database\n\r"
    "Do you wish to proceed ?";

TIndex* IndexOf(PVirtualNode node) { return TVirtualStringTree::GetNodeObject<TIndex>(node); }

// Both duplicate rules; the chain is asked only after the count held.
bool IsBadDuplicates(TIndex& i) { return HasManyDuplicates(i) && HasLongDuplicateChain(i); }

int IndexImageIndex(TIndex& i) {
    int image = imgIndex;
    if (IsIndexUnderfilled(i)) image = imgIndexFragmented;
    if (IsIndexTooDeep(i)) image = imgIndexDeep;
    if (IsUselessIndex(i)) image = imgIndexUseless;
    if (IsBadDuplicates(i)) image = imgIndexDuplicates;
    return image;
}

std::string OutdatedHint(float sel, int64_t percent) {
    return Format("Index statistics outdated. Real is %1.7f, %d%% difference", {double(sel), percent});
}

bool NullsShown() { return DBInfo && DBInfo->IsNullSegInfoAvailable; }
bool FragmentationShown() { return OptionSettings.ViewIndexFrag; }

using TColumn = TGridColumn<TIndex>;

const TColumn IndexColumns[IndexColumnCount] = {
    {.Def = {"Index", taLeftJustify, 140},
     .Name =
         [](const TIndex& i) {
             return TRowName{&i, &i.IndexName};
         },
     .Fit = fitContents,
     .Style = [](const TIndex& i) { return i.Inactive == 1 ? TFontStyles(fsItalic) : 0; },
     .Image = IndexImageIndex,
     .Hint = [](TIndex& i) { return i.Key.str(); }},
    {.Def = {"Table", taLeftJustify, 100},
     .Name =
         [](const TIndex& i) {
             return TRowName{i.Relation, i.Relation ? &i.Relation->TableName : nullptr};
         },
     .Fit = fitContents,
     .Image = [](TIndex& i) { return i.Relation ? TableImageIndex(*i.Relation) : -1; },
     .Hint = [](TIndex& i) { return i.Relation ? FieldListText(*i.Relation) : std::string(); }},
    {.Def = {"Depth", taRightJustify, 50},
     .Value = &TIndex::Depth,
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             FillCell(c, rect, IsIndexTooDeep(i) ? OptionSettings.RedColor : OptionSettings.Columns1Color);
         },
     .Hint =
         [](TIndex& i) {
             if (!IsIndexTooDeep(i)) return std::string();
             return std::string(
                 "Index depth is greater than 3. It is recommended to recreate index (if it is fragmented) or "
                 "to make backup and restore database with bigger database page size.");
         }},
    {.Def = {"Keys", taRightJustify, 50},
     .Value = &TIndex::Nodes,
     .Fit = fitGrow,
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             if (IsIndexMissingKeys(i)) FillCell(c, rect, PureRed);
         },
     .Hint =
         [](TIndex& i) {
             if (!i.Relation) return std::string();
             return "Difference between keys and records+versions: " +
                    WideIntToStr(static_cast<__int128>(i.Nodes) - i.Relation->Records - i.Relation->Versions);
         }},
    {.Def = {"Key Len", taRightJustify, 55},
     .Value = &TIndex::KeyLen,
     .Format = "#####0.00",
     .Paint = [](TCanvas& c, const QRect& rect, TIndex&) { FillCell(c, rect, OptionSettings.Columns1Color); }},
    {.Def = {"Max Dup", taRightJustify, 60},
     .Value = &TIndex::MaxDup,
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             if (IsBadDuplicates(i)) FillCell(c, rect, OptionSettings.RedColor);
         },
     .Hint =
         [](TIndex& i) {
             if (!IsBadDuplicates(i)) return std::string();
             return Format(
                 "Index has big group of keys with equal values. Index search may be ineffective and "
                 "garbage collection will be slow.\r\n%2.2f%% equal keys.",
                 {i.MaxDup / (i.Nodes / 100.0)});
         }},
    {.Def = {"Total Dup", taRightJustify, 60},
     .Value = &TIndex::TotalDup,
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             if (HasManyDuplicates(i))
                 FillCell(c, rect, HasLongDuplicateChain(i) ? OptionSettings.RedColor : OptionSettings.YellowColor);
         },
     .Hint =
         [](TIndex& i) {
             if (!HasManyDuplicates(i)) return std::string();
             return std::string("Too many key duplicates. Index search may be ineffective and will use lot of memory.");
         }},
    {.Def = {"Uniques", taRightJustify, 55},
     .Value = &TIndex::Uniques,
     .Fit = fitGrow,
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             if (IsUselessIndex(i)) FillCell(c, rect, OptionSettings.YellowColor);
         },
     .Hint =
         [](TIndex& i) {
             if (i.Nodes <= 0) return std::string();
             if (IsUselessIndex(i)) return std::string("Index is useless since its column/key have only one value. ");
             return Format("Unique key values = %2.3f%%", {i.Uniques / (i.Nodes / 100.0)});
         }},
    {.Def = {"Selectivity", taRightJustify, 70},
     .Value = &TIndex::Stats,
     .Format = "0.0000000",
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             const TOptionSettings& o = OptionSettings;
             if (i.Sel != i.Stats && i.Inactive == 1)
                 FillCell(c, rect, o.MassColor);
             else if (HasOutdatedSelectivity(i))
                 FillCell(c, rect, IndexStatsDiff(i) >= 20 ? o.RedColor : o.YellowColor);
         },
     .Hint =
         [](TIndex& i) {
             if (i.Sel == 0)
                 return i.Inactive == 1 ? std::string("Index is deactivated (turned off)") : OutdatedHint(i.Sel, 100);
             if (!HasOutdatedSelectivity(i)) return std::string();
             const double diff = std::fabs(double(i.Stats) - double(i.Sel)) / (double(i.Sel) / 100);
             return OutdatedHint(i.Sel, std::isfinite(diff) ? RoundClamped<int64_t>(diff) : 0);
         }},
    {.Def = {"Size, mb", taRightJustify, 50},
     .Value = &TIndex::SizeMb,
     .Format = "####0.00",
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             if (DBInfo && DBInfo->IndexSize > 0)
                 DrawBar(c, rect, i.SizeMb / (DBInfo->IndexSize / 1024.0 / 1024 / 100), OptionSettings.Columns2Color);
         }},
    {.Def = {"AvgFill", taRightJustify, 50},
     .Value = &TIndex::AverageFill,
     .Paint =
         [](TCanvas& c, const QRect& rect, TIndex& i) {
             DrawBar(c, rect, i.AverageFill,
                     IsIndexUnderfilled(i) ? OptionSettings.RedColor : OptionSettings.Columns2Color);
         },
     .Style = Bold<TIndex>,
     .Hint =
         [](TIndex& i) {
             if (!IsIndexUnderfilled(i)) return std::string();
             return std::string(
                 "Index is fragmented. If this index is used often, try to recreate it (alter index "
                 "inactive/active). But, it will be useless if keys in this index is being updated/deleted "
                 "frequently.");
         }},
    {.Def = {"Nulls", taRightJustify, 50}, .Value = &TIndex::NullSeg, .Shown = NullsShown},
    {.Def = {"Leafs", taRightJustify, 50}, .Value = &TIndex::Leafs, .Shown = FragmentationShown},
    {.Def = {"0-19%", taRightJustify, 50}, .Value = &TIndex::Fill20, .Shown = FragmentationShown},
    {.Def = {"20-39%", taRightJustify, 50}, .Value = &TIndex::Fill40, .Shown = FragmentationShown},
    {.Def = {"40-59%", taRightJustify, 50}, .Value = &TIndex::Fill60, .Shown = FragmentationShown},
    {.Def = {"60-79%", taRightJustify, 50}, .Value = &TIndex::Fill80, .Shown = FragmentationShown},
    {.Def = {"80-99%", taRightJustify, 50}, .Value = &TIndex::Fill100, .Shown = FragmentationShown},
};

}  // namespace

TFrIndexStat::TFrIndexStat(QWidget* owner) : QFrame(owner), FColumns(IndexColumns, chessPlainCells) {
    if (!FrIndexStat) FrIndexStat = this;
    SetupGrid();
    SetupMenu();
}

TFrIndexStat::~TFrIndexStat() {
    if (FrIndexStat == this) FrIndexStat = nullptr;
}

void TFrIndexStat::SetupGrid() {
    vstIdxStat = FColumns.CreateGrid(this, "vstIdxStat");
    // A double click on a header divider sizes that column to its contents,
    // measured the way the rebuild measures.
    QObject::connect(vstIdxStat->header(), &QHeaderView::sectionHandleDoubleClicked, this,
                     [this](int section) { FitColumn(section); });
    BindGridEvents(vstIdxStat, this,
                   {.GetText = &TFrIndexStat::vstIdxStatGetText,
                    .BeforeCellPaint = &TFrIndexStat::vstIdxStatBeforeCellPaint,
                    .PaintText = &TFrIndexStat::vstIdxStatPaintText,
                    .GetImageIndex = &TFrIndexStat::vstIdxStatGetImageIndex,
                    .GetHint = &TFrIndexStat::vstIdxStatGetHint,
                    .ColumnDblClick = &TFrIndexStat::vstIdxStatColumnDblClick,
                    .CompareNodes = &TFrIndexStat::vstIdxStatCompareNodes,
                    .HeaderClick = &TFrIndexStat::vstIdxStatHeaderClick});
}

void TFrIndexStat::SetupMenu() {
    std::tie(PopupMenu1, Copy1) = CreateCopyPopup(vstIdxStat, this, [this] { Copy1Click(); });
    mRecompSel = PopupMenu1->addAction(QStringLiteral("Recompute selectivity"));
    mRecompSelAll = PopupMenu1->addAction(QStringLiteral("Recompute selectivity for all indices"));
    mRecompSel->setVisible(false);
    mRecompSelAll->setVisible(false);
    QObject::connect(mRecompSel, &QAction::triggered, this, [this] { mRecompSelClick(); });
    QObject::connect(mRecompSelAll, &QAction::triggered, this, [this] { mRecompSelAllClick(); });
    QObject::connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
}

void TFrIndexStat::FitColumn(int modelColumn) {
    const TColumnIndex column = vstIdxStat->ColumnOf(modelColumn);
    if (column >= 0) FitColumnToContents(vstIdxStat, column, FColumns.LongestRows(vstIdxStat, column));
}

void TFrIndexStat::FillIndices() {
    FRelation = nullptr;
    vstIdxStat->BeginUpdate();
    vstIdxStat->Clear();
    if (DBInfo)
        for (TIndex* i : DBInfo->Indices) vstIdxStat->AddChild(nullptr, reinterpret_cast<intptr_t>(i));

    FColumns.FitColumns(vstIdxStat);

    // The rows come in model order: the header marks no sort column until a
    // click sorts them again (the direction is kept for that click).
    vstIdxStat->Header().SetSortColumn(NoColumn);
    vstIdxStat->EndUpdate();
    vstIdxStat->Repaint();
}

void TFrIndexStat::SetColumnVisible(int column, bool visible) {
    if (column < 0 || column >= vstIdxStat->Header().Columns.Count()) return;
    vstIdxStat->Header().Columns[column].SetVisible(visible);
}

namespace {
bool ProblemsOnly() { return MainForm && MainForm->ProblemFilterOn(); }

bool ShowIndex(const TIndex& i, const TRelation* relation, bool problemsOnly) {
    return (!relation || i.Relation == relation) && (!problemsOnly || i.Problem);
}
}  // namespace

const std::vector<std::pair<const TRelation*, PVirtualNode>>& TFrIndexStat::RowsByTable() {
    if (FRowsByTableGeneration == vstIdxStat->Generation()) return FRowsByTable;
    FRowsByTable.clear();
    FRowsByTable.reserve(static_cast<size_t>(vstIdxStat->RootNodeCount()));
    // Through the child list, not sibling by sibling (see FilterByRelation).
    vstIdxStat->IterateSubtree(nullptr, [&](TVirtualStringTree*, PVirtualNode n, bool&) {
        if (const TIndex* i = IndexOf(n)) FRowsByTable.emplace_back(i->Relation, n);
    });
    // The statistics list a table's indices together, so this is mostly in order already.
    auto byTable = [](const auto& a, const auto& b) { return std::less<const TRelation*>()(a.first, b.first); };
    if (!std::is_sorted(FRowsByTable.begin(), FRowsByTable.end(), byTable))
        std::stable_sort(FRowsByTable.begin(), FRowsByTable.end(), byTable);
    FRowsByTableGeneration = vstIdxStat->Generation();
    return FRowsByTable;
}

void TFrIndexStat::FilterByRelation(TRelation* relation) {
    FRelation = relation;
    const bool problemsOnly = ProblemsOnly();
    TVirtualStringTree* tree = vstIdxStat;
    tree->BeginUpdate();
    if (!relation) {
        // In memory order: after a sort the next sibling lies anywhere in
        // memory, and its object too, and those waits for memory were most
        // of a filter toggle. Without the problem filter every row shows,
        // and no object is read.
        for (PVirtualNode n : tree->ChildrenInMemoryOrder(nullptr))
            if (const TIndex* i = IndexOf(n))
                tree->SetVisible(n, !problemsOnly || ShowIndex(*i, relation, problemsOnly));
    } else {
        // Every other row is hidden already unless it is shown now: only
        // the shown rows and the table's own rows can change.
        std::vector<PVirtualNode> shown;
        for (PVirtualNode n = tree->GetFirstVisible(); n; n = tree->GetNextVisible(n)) shown.push_back(n);
        for (PVirtualNode n : shown)
            if (const TIndex* i = IndexOf(n)) tree->SetVisible(n, ShowIndex(*i, relation, problemsOnly));
        const auto& rows = RowsByTable();
        auto at = std::lower_bound(rows.begin(), rows.end(), relation, [](const auto& row, const TRelation* r) {
            return std::less<const TRelation*>()(row.first, r);
        });
        for (; at != rows.end() && at->first == relation; ++at)
            tree->SetVisible(at->second, ShowIndex(*IndexOf(at->second), relation, problemsOnly));
    }
    tree->EndUpdate();
}

void TFrIndexStat::vstIdxStatGetText(TVirtualStringTree*, PVirtualNode node, TColumnIndex column,
                                     std::string& text) {
    FColumns.GetText(node, column, text);
}

void TFrIndexStat::vstIdxStatBeforeCellPaint(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node,
                                             TColumnIndex column, QRect cellRect) {
    FColumns.BeforeCellPaint(sender, canvas, node, column, cellRect);
}

void TFrIndexStat::vstIdxStatPaintText(TVirtualStringTree*, TCanvas& canvas, PVirtualNode node,
                                       TColumnIndex column) {
    FColumns.PaintText(canvas, node, column);
}

void TFrIndexStat::vstIdxStatGetImageIndex(TVirtualStringTree*, PVirtualNode node, TVTImageKind kind,
                                           TColumnIndex column, bool&, int& imageIndex) {
    FColumns.GetImageIndex(node, kind, column, imageIndex);
}

void TFrIndexStat::vstIdxStatGetHint(TVirtualStringTree*, PVirtualNode node, TColumnIndex column,
                                     std::string& hint) {
    FColumns.GetHint(node, column, hint);
}

void TFrIndexStat::vstIdxStatCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                                          TColumnIndex column, int& result) {
    FColumns.CompareNodes(sender, node1, node2, column, result);
}

void TFrIndexStat::vstIdxStatHeaderClick(TVirtualStringTree* sender, TColumnIndex column) {
    FColumns.HeaderClick(sender, column);
}

void TFrIndexStat::vstIdxStatColumnDblClick(TVirtualStringTree* sender, TColumnIndex column) {
    if (column != icTable) return;
    TIndex* i = IndexOf(sender->FocusedNode());
    if (!i || !i->Relation) return;
    // The tables-over-indices view; its tab follows.
    if (MainForm) MainForm->ShowView(2);
    if (!FrTableStat) return;
    PVirtualNode target = FrTableStat->FindNode(i->Relation);
    if (target) FrTableStat->vstTblStat->GoToNode(target);
}

void TFrIndexStat::Copy1Click() { vstIdxStat->CopyToClipBoard(); }

void TFrIndexStat::PopupMenu1Popup() {
    TIndex* i = IndexOf(vstIdxStat->FocusedNode());
    const bool show = i && i->Sel != i->Stats && i->Inactive == 0 &&
                      vstIdxStat->Header().Columns[icSelectivity].Visible();
    mRecompSel->setVisible(show);
    mRecompSelAll->setVisible(show);
}

bool TFrIndexStat::LiveDatabaseReady() const {
    if (!DM) {
        MessageDlg(NoClientLibraryMessage, mtInformation, mbOK);
        return false;
    }
    if (!DM->DB || DM->DB->DatabaseName.empty()) {
        MessageDlg(NoLiveDatabaseMessage, mtInformation, mbOK);
        return false;
    }
    return true;
}

void TFrIndexStat::mRecompSelClick() {
    TIndex* i = IndexOf(vstIdxStat->FocusedNode());
    if (!i) return;
    if (!LiveDatabaseReady()) return;
    DM->RecomputeSelectivity(i->IndexName);
    i->Stats = i->Sel;
    i->Problem = false;
    vstIdxStat->Repaint();
}

void TFrIndexStat::mRecompSelAllClick() {
    if (!LiveDatabaseReady()) return;
    if (MessageDlg(RecomputeAllQuestion, mtInformation, mbYes | mbNo) != mrYes) return;
    DM->RecomputeAllSelectivity();
    if (DBInfo)
        for (TIndex* i : DBInfo->Indices) i->Stats = i->Sel;
    vstIdxStat->Repaint();
}

}  // namespace dv
