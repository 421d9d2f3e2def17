// The tables view. Every cell is computed from the model at paint time; the
// warning rules are asked while painting, and the Problem marks the filter
// reads are set for the whole model after each load (MarkProblems).
#include "ui/tablestat.h"

#include <cmath>
#include <functional>
#include <tuple>

#include "model/options.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/SysUtils.h"
#include "ui/indexStat.h"

namespace dv {

TFrTableStat* FrTableStat = nullptr;

int TableImageIndex(TRelation& r) {
    int image = imgTable;
    if (IsTableUnderfilled(r)) image = imgTableFragmented;
    if (HasManyVersions(r)) image = imgTableVersions;
    if (IsBlobFragmented(r)) image = imgTableFragmented;
    if (HasMassDeletes(r)) image = imgTableMassDeletes;
    if (IsEmptyTable(r)) image = imgTableEmpty;
    return image;
}

namespace {

const TColumnDef TableColumns[TableColumnCount] = {
    {"Table", taLeftJustify, 140},      {"Records", taRightJustify, 55},
    {"RecLength", taRightJustify, 65},  {"VerLen", taRightJustify, 50},
    {"Versions", taRightJustify, 55},   {"Max Vers", taRightJustify, 60},
    {"Data Pages", taRightJustify, 68}, {"Size, mb", taRightJustify, 50},
    {"IdxSize, mb", taLeftJustify, 50}, {"Slots", taRightJustify, 50},
    {"Avg fill%", taRightJustify, 55},  {"0-19%", taRightJustify, 50},
    {"20-39%", taRightJustify, 50},     {"40-59%", taRightJustify, 50},
    {"60-79%", taRightJustify, 50},     {"80-99%", taRightJustify, 50},
    {"RealFill", taLeftJustify, 50},    {"Total %", taLeftJustify, 50},
};

TRelation* RelationOf(PVirtualNode node) { return TVirtualStringTree::GetNodeObject<TRelation>(node); }

// value / (total / 100), or 0 when the total is not above 0 (an undefined
// share draws no bar).
double Share(double value, double total) {
    if (!(total > 0)) return 0;
    return value / (total / 100);
}

}  // namespace

TFrTableStat::TFrTableStat(QWidget* owner) : QFrame(owner) {
    if (!FrTableStat) FrTableStat = this;
    SetupGrid();
    SetupMenu();
    // The link to the indices view is on from creation until the main window
    // first switches views.
    FLinked = true;
}

TFrTableStat::~TFrTableStat() {
    if (FrTableStat == this) FrTableStat = nullptr;
}

void TFrTableStat::SetupGrid() {
    vstTblStat = CreateStatGrid(this, "vstTblStat", TableColumns);
    vstTblStat->Header().Columns[tcSizeMb].SetMinWidth(12);
    // Only the indices grid sizes a column to its contents on a divider
    // double click.
    BindGridEvents(vstTblStat, this,
                   {.GetText = &TFrTableStat::vstTblStatGetText,
                    .BeforeCellPaint = &TFrTableStat::vstTblStatBeforeCellPaint,
                    .PaintText = &TFrTableStat::vstTblStatPaintText,
                    .GetImageIndex = &TFrTableStat::vstTblStatGetImageIndex,
                    .GetHint = &TFrTableStat::vstTblStatGetHint,
                    .CompareNodes = &TFrTableStat::vstTblStatCompareNodes,
                    .HeaderClick = &TFrTableStat::vstTblStatHeaderClick,
                    .Change = &TFrTableStat::vstTblStatChange});
}

void TFrTableStat::SetupMenu() {
    std::tie(PopupMenu1, Copy1) = CreateCopyPopup(vstTblStat, this, [this] { Copy1Click(); });
}

void TFrTableStat::FillTables() {
    vstTblStat->BeginUpdate();
    vstTblStat->Clear();
    if (DBInfo)
        for (TRelation* r : DBInfo->Relations) vstTblStat->AddChild(nullptr, reinterpret_cast<intptr_t>(r));

    const auto longest = [this](auto length) {
        return LongestRows(vstTblStat, [&](PVirtualNode n) { return length(*RelationOf(n)); });
    };
    FitColumnToContents(vstTblStat, tcTable,
                        longest([](const TRelation& r) { return static_cast<double>(r.TableName.size()); }));
    GrowColumnToContents(vstTblStat, tcRecords,
                         longest([](const TRelation& r) { return TextMagnitude(static_cast<double>(r.Records)); }));
    GrowColumnToContents(vstTblStat, tcVersions,
                         longest([](const TRelation& r) { return TextMagnitude(static_cast<double>(r.Versions)); }));
    GrowColumnToContents(vstTblStat, tcSizeMb, longest([](const TRelation& r) { return TextMagnitude(r.SizeMB); }));
    GrowColumnToContents(vstTblStat, tcIdxSizeMb,
                         longest([](const TRelation& r) { return TextMagnitude(r.ISizeMB); }));

    auto& columns = vstTblStat->Header().Columns;
    const bool recordInfo = DBInfo && DBInfo->IsRecordInfoAvailable;
    for (int c : {tcRecords, tcRecLength, tcVerLen, tcVersions, tcMaxVers, tcRealFill})
        columns[c].SetVisible(recordInfo);
    for (int c = tcFill20; c <= tcFill100; ++c) columns[c].SetVisible(OptionSettings.ViewTableFrag);

    // The rows come in model order: the header marks no sort column until a
    // click sorts them again (the direction is kept for that click).
    vstTblStat->Header().SetSortColumn(NoColumn);
    vstTblStat->EndUpdate();
    vstTblStat->Repaint();
}

void TFrTableStat::LinkIndexView(bool link) {
    FLinked = link;
    if (link) {
        if (PVirtualNode node = vstTblStat->FocusedNode()) vstTblStatChange(vstTblStat, node);
    } else if (FrIndexStat) {
        FrIndexStat->FilterByRelation(nullptr);
    }
}

double TFrTableStat::TotalShare(const TRelation& r) {
    const double total = static_cast<double>(DBInfo->Pages) * DBInfo->PageSize + static_cast<double>(DBInfo->IndexSize);
    return Share(r.SizeMB + r.ISizeMB, total / 1024 / 1024);
}

void TFrTableStat::vstTblStatGetText(TVirtualStringTree*, PVirtualNode node, TColumnIndex column,
                                     std::string& text) {
    TRelation* r = RelationOf(node);
    if (!r) return;
    switch (column) {
        case tcTable: text = r->TableName; break;
        case tcRecords: text = IntToStr(r->Records); break;
        case tcRecLength: text = FormatFloat("#####0.00", r->RecLen); break;
        case tcVerLen: text = FormatFloat("#####0.00", r->VerLen); break;
        case tcVersions: text = IntToStr(r->Versions); break;
        case tcMaxVers: text = IntToStr(r->MaxVer); break;
        case tcDataPages: text = IntToStr(r->DataPages); break;
        case tcSizeMb: text = FormatFloat("####0.00", r->SizeMB); break;
        case tcIdxSizeMb: text = FormatFloat("####0.00", r->ISizeMB); break;
        case tcSlots: text = IntToStr(r->PageSlots); break;
        case tcAvgFill: text = IntToStr(r->AverageFill); break;
        case tcFill20: text = IntToStr(r->Fill20); break;
        case tcFill40: text = IntToStr(r->Fill40); break;
        case tcFill60: text = IntToStr(r->Fill60); break;
        case tcFill80: text = IntToStr(r->Fill80); break;
        case tcFill100: text = IntToStr(r->Fill100); break;
        case tcRealFill: text = IntToStr(r->RealFill); break;
        case tcTotalPercent: {
            // A database without pages has no shares: shown as 0.
            const double share = DBInfo ? TotalShare(*r) : 0;
            text = IntToStr(std::isfinite(share) ? RoundClamped<int64_t>(share) : 0);
            break;
        }
        default: break;
    }
}

void TFrTableStat::vstTblStatBeforeCellPaint(TVirtualStringTree* sender, TCanvas& canvas, PVirtualNode node,
                                             TColumnIndex column, QRect cellRect) {
    TRelation* r = RelationOf(node);
    if (!r) return;
    const TOptionSettings& o = OptionSettings;
    if (o.ChessFill && sender->IsChessRow(node)) FillCell(canvas, cellRect, o.ChessColor);
    switch (column) {
        case tcRecords: FillCell(canvas, cellRect, IsBlobFragmented(*r) ? o.BlobColor : o.Columns1Color); break;
        case tcVerLen:
            if (HasLongVersions(*r)) FillCell(canvas, cellRect, o.YellowColor);
            break;
        case tcVersions:
            if (HasManyVersions(*r))
                FillCell(canvas, cellRect, r->Records >= 1000 ? o.RedColor : o.YellowColor);
            else
                FillCell(canvas, cellRect, o.Columns1Color);
            break;
        case tcMaxVers:
            if (HasMassDeletes(*r)) FillCell(canvas, cellRect, o.MassColor);
            break;
        case tcDataPages:
            if (IsTableNearPageLimit(*r)) FillCell(canvas, cellRect, o.RedColor);
            break;
        case tcSizeMb:
            if (DBInfo)
                DrawBar(canvas, cellRect,
                        Share(r->SizeMB, DBInfo->Pages * (DBInfo->PageSize / 1024.0) / 1024), o.Columns2Color);
            break;
        case tcIdxSizeMb:
            if (DBInfo)
                DrawBar(canvas, cellRect, Share(r->ISizeMB, DBInfo->IndexSize / 1024.0 / 1024), o.Columns2Color);
            break;
        case tcAvgFill:
            DrawBar(canvas, cellRect, r->AverageFill, IsTableUnderfilled(*r) ? o.RedColor : o.Columns2Color);
            break;
        case tcRealFill:
            if (IsFillMismatch(*r)) FillCell(canvas, cellRect, o.YellowColor);
            break;
        default: break;
    }
}

void TFrTableStat::vstTblStatPaintText(TVirtualStringTree*, TCanvas& canvas, PVirtualNode node,
                                       TColumnIndex column) {
    if (!RelationOf(node)) return;
    if (column == tcRecords || column == tcVersions || column == tcMaxVers || column == tcAvgFill)
        canvas.Font.Style |= fsBold;
}

void TFrTableStat::vstTblStatGetImageIndex(TVirtualStringTree*, PVirtualNode node, TVTImageKind kind,
                                           TColumnIndex column, bool&, int& imageIndex) {
    TRelation* r = RelationOf(node);
    if (!r || column != tcTable || (kind != ikNormal && kind != ikSelected)) return;
    imageIndex = TableImageIndex(*r);
}

void TFrTableStat::vstTblStatGetHint(TVirtualStringTree*, PVirtualNode node, TColumnIndex column,
                                     std::string& hint) {
    TRelation* r = RelationOf(node);
    if (!r) return;
    std::string text;
    switch (column) {
        case tcTable: text = FieldListText(*r); break;
        case tcRecords:
            if (IsBlobFragmented(*r))
                text = Format("Table is highly fragmented with blobs stored on data pages. Estimated records = %d, "
                              ", real avg.fill = %d%%. Read KB5 in Additional Q & A (Help) or View Recommendations.",
                              {EstimateRecordCapacity(*r), int64_t(EstimateRealFill(*r))});
            break;
        case tcRecLength: text = Format("Max record length = %d bytes", {int64_t(MaxRecordLength(*r))}); break;
        case tcVerLen:
            if (HasLongVersions(*r))
                text = Format("Average version size is > %s of record size. Updates change lot of table fields or "
                              "versions mostly generated by deletes.",
                              {IntToStr(OptionSettings.RecVerSize) + "%"});
            break;
        case tcVersions:
            if (HasManyVersions(*r))
                text = "Too many record versions - maybe garbage collection do not work, or data is not being read. "
                       "Look at Sweep Gap info at Summary page - maybe it is time to run sweep (gfix -sweep) in "
                       "exclusive mode. or to make backup/restore (gbak -b -g / gbak -c)";
            break;
        case tcMaxVers:
            if (HasMassDeletes(*r))
                text = Format("There are >%d%% versions of record count, and MaxVers = 1. Maybe these versions are "
                              "result of massive delete (or update), and not yet processed by garbage collection.",
                              {int64_t(OptionSettings.DelPercent)});
            break;
        case tcDataPages:
            if (IsTableNearPageLimit(*r))
                text = "!!! Very big table. Its page count is very close to limit. When page count increase by "
                       "~10000 pages, there will be problem reading data (and making backup) from this table";
            break;
        case tcIdxSizeMb:
            if (IsIndexLargerThanData(*r)) text = "Size of indices of that table is bigger than table size.";
            break;
        case tcAvgFill:
            if (IsTableUnderfilled(*r))
                text = "Data pages are fragmented. If you see performance degradation for this table, maybe it is "
                       "time to make backup/restore.";
            break;
        default: break;
    }
    hint = WrapHint(text);
}

// The value a numeric column shows and sorts by: `f` is handed its getter.
// False for the name column and columns without a value.
template <class F>
static bool WithColumnValue(TColumnIndex column, F&& f) {
    switch (column) {
        case tcRecords: f([](const TRelation& r) { return r.Records; }); return true;
        case tcRecLength: f([](const TRelation& r) { return r.RecLen; }); return true;
        case tcVerLen: f([](const TRelation& r) { return r.VerLen; }); return true;
        case tcVersions: f([](const TRelation& r) { return r.Versions; }); return true;
        case tcMaxVers: f([](const TRelation& r) { return r.MaxVer; }); return true;
        case tcDataPages: f([](const TRelation& r) { return r.DataPages; }); return true;
        case tcSizeMb: f([](const TRelation& r) { return r.SizeMB; }); return true;
        case tcIdxSizeMb: f([](const TRelation& r) { return r.ISizeMB; }); return true;
        case tcSlots: f([](const TRelation& r) { return r.PageSlots; }); return true;
        case tcAvgFill: f([](const TRelation& r) { return r.AverageFill; }); return true;
        case tcFill20: f([](const TRelation& r) { return r.Fill20; }); return true;
        case tcFill40: f([](const TRelation& r) { return r.Fill40; }); return true;
        case tcFill60: f([](const TRelation& r) { return r.Fill60; }); return true;
        case tcFill80: f([](const TRelation& r) { return r.Fill80; }); return true;
        case tcFill100: f([](const TRelation& r) { return r.Fill100; }); return true;
        case tcRealFill: f([](const TRelation& r) { return r.RealFill; }); return true;
        case tcTotalPercent: f([](const TRelation& r) { return r.SizeMB + r.ISizeMB; }); return true;
        default: return false;
    }
}

void TFrTableStat::vstTblStatCompareNodes(TVirtualStringTree* sender, PVirtualNode node1, PVirtualNode node2,
                                          TColumnIndex column, int& result) {
    TRelation* a = RelationOf(node1);
    TRelation* b = RelationOf(node2);
    if (!a || !b) return;
    // Ranks of rows since replaced must not answer for new objects.
    if (!FSortKeys.Ranked(sender)) FSortKeys.Clear();
    switch (column) {
        case tcTable: result = FSortKeys.Compare(a, a->TableName, b, b->TableName); break;
        default:
            WithColumnValue(column, [&](auto value) { result = CompareValues(value(*a), value(*b)); });
            break;
    }
}

void TFrTableStat::vstTblStatHeaderClick(TVirtualStringTree* sender, TColumnIndex column) {
    if (column < 0) return;
    const TSortDirection d = HeaderClickDirection(sender, column);
    // Each column sorts by the value its comparison compares, taken once
    // per row; names by their cached collation ranks.
    auto by = [sender, d](auto value) { SortRowsBy<TRelation>(sender, d, +value); };
    switch (column) {
        case tcTable: {
            FSortKeys.Rank(sender, [](PVirtualNode n) {
                const TRelation* r = RelationOf(n);
                return std::pair<const void*, const std::string*>(r, r ? &r->TableName : nullptr);
            });
            const TNameSortKeys& keys = FSortKeys;
            sender->SortByKey(nullptr, d, [&keys](PVirtualNode n) { return keys.RankOf(RelationOf(n)); });
            break;
        }
        default:
            if (!WithColumnValue(column, by)) sender->SortTree(column, d);
            break;
    }
}

void TFrTableStat::vstTblStatChange(TVirtualStringTree*, PVirtualNode node) {
    if (!FLinked) return;
    TRelation* r = RelationOf(node);
    if (r && FrIndexStat) FrIndexStat->FilterByRelation(r);
}

void TFrTableStat::Copy1Click() { vstTblStat->CopyToClipBoard(); }

PVirtualNode TFrTableStat::FindNode(const TRelation* relation) const {
    for (PVirtualNode n = vstTblStat->GetFirst(); n; n = vstTblStat->GetNextSibling(n))
        if (RelationOf(n) == relation) return n;
    return nullptr;
}

}  // namespace dv
