// The indices view. Like the tables view it caches nothing: each paint asks
// the model and the index rules again.
#include "ui/indexStat.h"

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
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"
#include "server/DMData.h"
#include "ui/main.h"
#include "ui/tablestat.h"

namespace dv {

TFrIndexStat* FrIndexStat = nullptr;

namespace {

const TColumnDef IndexColumns[IndexColumnCount] = {
    {"Index", taLeftJustify, 140},      {"Table", taLeftJustify, 100},   {"Depth", taRightJustify, 50},
    {"Keys", taRightJustify, 50},       {"Key Len", taRightJustify, 55}, {"Max Dup", taRightJustify, 60},
    {"Total Dup", taRightJustify, 60},  {"Uniques", taRightJustify, 55}, {"Selectivity", taRightJustify, 70},
    {"Size, mb", taRightJustify, 50},   {"AvgFill", taRightJustify, 50}, {"Nulls", taRightJustify, 50},
    {"Leafs", taRightJustify, 50},      {"0-19%", taRightJustify, 50},   {"20-39%", taRightJustify, 50},
    {"40-59%", taRightJustify, 50},     {"60-79%", taRightJustify, 50},  {"80-99%", taRightJustify, 50},
};

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

}  // namespace

TFrIndexStat::TFrIndexStat(QWidget* owner) : QFrame(owner) {
    if (!FrIndexStat) FrIndexStat = this;
    SetupGrid();
    SetupMenu();
}

TFrIndexStat::~TFrIndexStat() {
    if (FrIndexStat == this) FrIndexStat = nullptr;
}

void TFrIndexStat::SetupGrid() {
    vstIdxStat = CreateStatGrid(this, "vstIdxStat", IndexColumns);
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

namespace {

// How long a column's text is, read off the index without making the text.
double TextLength(const TIndex& i, int column) {
    switch (column) {
        case icIndex: return static_cast<double>(i.IndexName.size());
        case icTable: return i.Relation ? static_cast<double>(i.Relation->TableName.size()) : 0;
        case icDepth: return TextMagnitude(i.Depth);
        case icKeys: return TextMagnitude(static_cast<double>(i.Nodes));
        case icKeyLen: return TextMagnitude(i.KeyLen);
        case icMaxDup: return TextMagnitude(i.MaxDup);
        case icTotalDup: return TextMagnitude(i.TotalDup);
        case icUniques: return TextMagnitude(static_cast<double>(i.Uniques));
        case icSelectivity: return TextMagnitude(i.Stats);
        case icSizeMb: return TextMagnitude(i.SizeMb);
        case icAvgFill: return TextMagnitude(i.AverageFill);
        case icNulls: return TextMagnitude(static_cast<double>(i.NullSeg));
        case icLeafs: return TextMagnitude(i.Leafs);
        case icFill20: return TextMagnitude(i.Fill20);
        case icFill40: return TextMagnitude(i.Fill40);
        case icFill60: return TextMagnitude(i.Fill60);
        case icFill80: return TextMagnitude(i.Fill80);
        case icFill100: return TextMagnitude(i.Fill100);
        default: return 0;
    }
}

}  // namespace

std::vector<PVirtualNode> TFrIndexStat::LongestRows(int column) const {
    return dv::LongestRows(vstIdxStat, [column](PVirtualNode n) {
        const TIndex* i = IndexOf(n);
        return i ? TextLength(*i, column) : 0;
    });
}

void TFrIndexStat::FitColumn(int modelColumn) {
    const TColumnIndex column = vstIdxStat->ColumnOf(modelColumn);
    if (column >= 0) FitColumnToContents(vstIdxStat, column, LongestRows(column));
}

void TFrIndexStat::FillIndices() {
    FRelation = nullptr;
    vstIdxStat->BeginUpdate();
    vstIdxStat->Clear();
    if (DBInfo)
        for (TIndex* i : DBInfo->Indices) vstIdxStat->AddChild(nullptr, reinterpret_cast<intptr_t>(i));

    for (int c : {icIndex, icTable}) FitColumnToContents(vstIdxStat, c, LongestRows(c));
    for (int c : {icKeys, icUniques}) GrowColumnToContents(vstIdxStat, c, LongestRows(c));

    auto& columns = vstIdxStat->Header().Columns;
    columns[icNulls].SetVisible(DBInfo && DBInfo->IsNullSegInfoAvailable);
    for (int c = icLeafs; c <= icFill100; ++c) columns[c].SetVisible(OptionSettings.ViewIndexFrag);

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
        // Not sibling by sibling: after a sort each next sibling is found
        // through the row before it, lying anywhere in memory, and that
        // chain of waits for memory was most of a filter toggle.
        tree->IterateSubtree(nullptr, [&](TVirtualStringTree*, PVirtualNode n, bool&) {
            if (const TIndex* i = IndexOf(n)) tree->SetVisible(n, ShowIndex(*i, relation, problemsOnly));
        });
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
    TIndex* i = IndexOf(node);
    if (!i) return;
    switch (column) {
        case icIndex: text = i->IndexName; break;
        case icTable: text = i->Relation ? i->Relation->TableName : std::string(); break;
        case icDepth: text = IntToStr(i->Depth); break;
        case icKeys: text = IntToStr(i->Nodes); break;
        case icKeyLen: text = FormatFloat("#####0.00", i->KeyLen); break;
        case icMaxDup: text = IntToStr(i->MaxDup); break;
        case icTotalDup: text = IntToStr(i->TotalDup); break;
        case icUniques: text = IntToStr(i->Uniques); break;
        case icSelectivity: text = FormatFloat("0.0000000", i->Stats); break;
        case icSizeMb: text = FormatFloat("####0.00", i->SizeMb); break;
        case icAvgFill: text = IntToStr(i->AverageFill); break;
        case icNulls: text = IntToStr(i->NullSeg); break;
        case icLeafs: text = IntToStr(i->Leafs); break;
        case icFill20: text = IntToStr(i->Fill20); break;
        case icFill40: text = IntToStr(i->Fill40); break;
        case icFill60: text = IntToStr(i->Fill60); break;
        case icFill80: text = IntToStr(i->Fill80); break;
        case icFill100: text = IntToStr(i->Fill100); break;
        default: break;
    }
}

void TFrIndexStat::vstIdxStatBeforeCellPaint(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node,
                                             TColumnIndex column, QRect cellRect) {
    TIndex* i = IndexOf(node);
    if (!i) return;
    const TOptionSettings& o = OptionSettings;
    switch (column) {
        case icDepth: FillCell(canvas, cellRect, IsIndexTooDeep(*i) ? o.RedColor : o.Columns1Color); break;
        case icKeys:
            if (IsIndexMissingKeys(*i)) FillCell(canvas, cellRect, PureRed);
            break;
        case icKeyLen: FillCell(canvas, cellRect, o.Columns1Color); break;
        case icMaxDup:
            if (IsBadDuplicates(*i)) FillCell(canvas, cellRect, o.RedColor);
            break;
        case icTotalDup:
            if (HasManyDuplicates(*i)) FillCell(canvas, cellRect, HasLongDuplicateChain(*i) ? o.RedColor : o.YellowColor);
            break;
        case icUniques:
            if (IsUselessIndex(*i)) FillCell(canvas, cellRect, o.YellowColor);
            break;
        case icSelectivity:
            if (i->Sel != i->Stats && i->Inactive == 1)
                FillCell(canvas, cellRect, o.MassColor);
            else if (HasOutdatedSelectivity(*i))
                FillCell(canvas, cellRect, IndexStatsDiff(*i) >= 20 ? o.RedColor : o.YellowColor);
            break;
        case icSizeMb:
            if (DBInfo && DBInfo->IndexSize > 0)
                DrawBar(canvas, cellRect, i->SizeMb / (DBInfo->IndexSize / 1024.0 / 1024 / 100), o.Columns2Color);
            break;
        case icAvgFill:
            DrawBar(canvas, cellRect, i->AverageFill, IsIndexUnderfilled(*i) ? o.RedColor : o.Columns2Color);
            break;
        default:
            // Name and fill-distribution columns: only the chess fill.
            if (o.ChessFill && sender->IsChessRow(node)) FillCell(canvas, cellRect, o.ChessColor);
            break;
    }
}

void TFrIndexStat::vstIdxStatPaintText(TVirtualStringTree*, TCanvas& canvas, PVirtualNode node,
                                       TColumnIndex column) {
    TIndex* i = IndexOf(node);
    if (!i) return;
    if (column == icIndex && i->Inactive == 1) canvas.Font.Style |= fsItalic;
    if (column == icAvgFill) canvas.Font.Style |= fsBold;
}

void TFrIndexStat::vstIdxStatGetImageIndex(TVirtualStringTree*, PVirtualNode node, TVTImageKind kind,
                                           TColumnIndex column, bool&, int& imageIndex) {
    TIndex* i = IndexOf(node);
    if (!i || (kind != ikNormal && kind != ikSelected)) return;
    if (column == icIndex)
        imageIndex = IndexImageIndex(*i);
    else if (column == icTable && i->Relation)
        imageIndex = TableImageIndex(*i->Relation);
}

void TFrIndexStat::vstIdxStatGetHint(TVirtualStringTree*, PVirtualNode node, TColumnIndex column,
                                     std::string& hint) {
    TIndex* i = IndexOf(node);
    if (!i) return;
    std::string text;
    switch (column) {
        case icIndex: text = i->Key; break;
        case icTable:
            if (i->Relation) text = FieldListText(*i->Relation);
            break;
        case icDepth:
            if (IsIndexTooDeep(*i))
                text = "Index depth is greater than 3. It is recommended to recreate index (if it is fragmented) or "
                       "to make backup and restore database with bigger database page size.";
            break;
        case icKeys:
            if (i->Relation)
                text = "Difference between keys and records+versions: " +
                       WideIntToStr(static_cast<__int128>(i->Nodes) - i->Relation->Records - i->Relation->Versions);
            break;
        case icMaxDup:
            if (IsBadDuplicates(*i))
                text = Format("Index has big group of keys with equal values. Index search may be ineffective and "
                              "garbage collection will be slow.\r\n%2.2f%% equal keys.",
                              {i->MaxDup / (i->Nodes / 100.0)});
            break;
        case icTotalDup:
            if (HasManyDuplicates(*i))
                text = "Too many key duplicates. Index search may be ineffective and will use lot of memory.";
            break;
        case icUniques:
            if (i->Nodes > 0) {
                if (IsUselessIndex(*i))
                    text = "Index is useless since its column/key have only one value. ";
                else
                    text = Format("Unique key values = %2.3f%%", {i->Uniques / (i->Nodes / 100.0)});
            }
            break;
        case icSelectivity:
            if (i->Sel == 0) {
                text = i->Inactive == 1 ? std::string("Index is deactivated (turned off)") : OutdatedHint(i->Sel, 100);
            } else if (HasOutdatedSelectivity(*i)) {
                const double diff = std::fabs(double(i->Stats) - double(i->Sel)) / (double(i->Sel) / 100);
                text = OutdatedHint(i->Sel, std::isfinite(diff) ? RoundClamped<int64_t>(diff) : 0);
            }
            break;
        case icAvgFill:
            if (IsIndexUnderfilled(*i))
                text = "Index is fragmented. If this index is used often, try to recreate it (alter index "
                       "inactive/active). But, it will be useless if keys in this index is being updated/deleted "
                       "frequently.";
            break;
        default: break;
    }
    hint = WrapHint(text);
}

// The value a numeric column shows and sorts by: `f` is handed its getter.
// False for the name columns and columns without a value.
template <class F>
static bool WithColumnValue(TColumnIndex column, F&& f) {
    switch (column) {
        case icDepth: f([](const TIndex& i) { return i.Depth; }); return true;
        case icKeys: f([](const TIndex& i) { return i.Nodes; }); return true;
        case icKeyLen: f([](const TIndex& i) { return i.KeyLen; }); return true;
        case icMaxDup: f([](const TIndex& i) { return i.MaxDup; }); return true;
        case icTotalDup: f([](const TIndex& i) { return i.TotalDup; }); return true;
        case icUniques: f([](const TIndex& i) { return i.Uniques; }); return true;
        case icSelectivity: f([](const TIndex& i) { return double(i.Stats); }); return true;
        case icSizeMb: f([](const TIndex& i) { return i.SizeMb; }); return true;
        case icAvgFill: f([](const TIndex& i) { return i.AverageFill; }); return true;
        case icNulls: f([](const TIndex& i) { return i.NullSeg; }); return true;
        case icLeafs: f([](const TIndex& i) { return i.Leafs; }); return true;
        case icFill20: f([](const TIndex& i) { return i.Fill20; }); return true;
        case icFill40: f([](const TIndex& i) { return i.Fill40; }); return true;
        case icFill60: f([](const TIndex& i) { return i.Fill60; }); return true;
        case icFill80: f([](const TIndex& i) { return i.Fill80; }); return true;
        case icFill100: f([](const TIndex& i) { return i.Fill100; }); return true;
        default: return false;
    }
}

void TFrIndexStat::vstIdxStatCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                                          TColumnIndex column, int& result) {
    TIndex* a = IndexOf(node1);
    TIndex* b = IndexOf(node2);
    if (!a || !b) return;
    // Ranks of rows since replaced must not answer for new objects.
    if (!FIndexNames.Ranked(sender)) FIndexNames.Clear();
    if (!FTableNames.Ranked(sender)) FTableNames.Clear();
    switch (column) {
        case icIndex: result = FIndexNames.Compare(a, a->IndexName, b, b->IndexName); break;
        case icTable: {
            static const std::string none;
            result = FTableNames.Compare(a->Relation, a->Relation ? a->Relation->TableName : none, b->Relation,
                                         b->Relation ? b->Relation->TableName : none);
            break;
        }
        default:
            WithColumnValue(column, [&](auto value) { result = CompareValues(value(*a), value(*b)); });
            break;
    }
}

void TFrIndexStat::vstIdxStatHeaderClick(TVirtualStringTree* sender, TColumnIndex column) {
    if (column < 0) return;
    const TSortDirection d = HeaderClickDirection(sender, column);
    // Each column sorts by the value its comparison compares, taken once
    // per row; names by their cached collation ranks (a table without a
    // name ranks lowest, as its empty name would).
    auto by = [sender, d](auto value) { SortRowsBy<TIndex>(sender, d, +value); };
    switch (column) {
        case icIndex: {
            FIndexNames.Rank(sender, [](PVirtualNode n) {
                const TIndex* i = IndexOf(n);
                return std::pair<const void*, const std::string*>(i, i ? &i->IndexName : nullptr);
            });
            const TNameSortKeys& keys = FIndexNames;
            sender->SortByKey(nullptr, d, [&keys](PVirtualNode n) { return keys.RankOf(IndexOf(n)); });
            break;
        }
        case icTable: {
            FTableNames.Rank(sender, [](PVirtualNode n) {
                const TIndex* i = IndexOf(n);
                const TRelation* r = i ? i->Relation : nullptr;
                return std::pair<const void*, const std::string*>(r, r ? &r->TableName : nullptr);
            });
            const TNameSortKeys& keys = FTableNames;
            sender->SortByKey(nullptr, d, [&keys](PVirtualNode n) {
                const TIndex* i = IndexOf(n);
                return keys.RankOf(i ? i->Relation : nullptr);
            });
            break;
        }
        default:
            if (!WithColumnValue(column, by)) sender->SortTree(column, d);
            break;
    }
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
