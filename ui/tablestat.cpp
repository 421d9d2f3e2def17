// The tables view. Every cell is computed from the model at paint time; the
// warning rules are asked while painting and set their Problem marks then.
#include "ui/tablestat.h"

#include <QAction>
#include <QHeaderView>
#include <QFontMetrics>
#include <QMenu>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/options.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/SysUtils.h"
#include "ui/indexStat.h"

// The resources of a static library are registered by hand.
static void InitViewResources() { Q_INIT_RESOURCE(views); }

namespace dv {

TFrTableStat* FrTableStat = nullptr;

const QList<QIcon>& ViewImages() {
    static const QList<QIcon> images = [] {
        InitViewResources();
        QList<QIcon> list;
        for (const char* name : {"table-versions", "table", "table-fragmented", "index", "table-massdelete",
                                 "table-empty", "index-fragmented", "index-deep", "index-useless",
                                 "index-duplicates"})
            list.append(QIcon(QStringLiteral(":/views/%1.svg").arg(QLatin1String(name))));
        return list;
    }();
    return images;
}

int ScaledWidth(const QWidget* grid, int width) {
    const double digit = QFontMetricsF(grid->font()).horizontalAdvance(QLatin1Char('0'));
    const double scale = digit > 6 ? digit / 6 : 1;
    return static_cast<int>(std::ceil(width * scale));
}

int CaptionWidth(TVirtualStringTree* tree, int column) {
    QHeaderView* header = tree->header();
    const QFontMetrics fm(header->font());
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    return fm.horizontalAdvance(QString::fromStdString(tree->Header().Columns[column].Text())) + 2 * margin + 2;
}

void WidenToCaptions(TVirtualStringTree* tree) {
    auto& columns = tree->Header().Columns;
    for (int c = 0; c < columns.Count(); ++c)
        columns[c].SetWidth(std::max(columns[c].Width(), CaptionWidth(tree, c)));
}

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
size_t SlotOf(const void* owner, size_t mask) {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(owner) >> 3) * 0x9E3779B97F4A7C15ull >> 17) & mask;
}
}  // namespace

void TNameSortKeys::Prepare() {
    if (FPending.empty()) {
        Clear();
        return;
    }
    std::sort(FPending.begin(), FPending.end());
    FPending.erase(std::unique(FPending.begin(), FPending.end(),
                               [](const auto& x, const auto& y) { return x.first == y.first; }),
                   FPending.end());
    // The C library's collation keys: comparing two keys bytewise gives
    // what CompareText (strcoll) gives for the names.
    std::vector<std::pair<std::string, const void*>> keyed;
    keyed.reserve(FPending.size());
    for (const auto& [owner, name] : FPending) {
        const size_t n = std::strxfrm(nullptr, name->c_str(), 0);
        std::string key(n + 1, '\0');
        std::strxfrm(key.data(), name->c_str(), n + 1);
        key.resize(n);
        keyed.emplace_back(std::move(key), owner);
    }
    FPending.clear();
    std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) { return x.first < y.first; });

    size_t capacity = 16;
    while (capacity < keyed.size() * 2) capacity *= 2;
    FSlots.assign(capacity, {nullptr, -1});
    FMask = capacity - 1;
    int rank = -1;
    for (size_t k = 0; k < keyed.size(); ++k) {
        if (k == 0 || keyed[k - 1].first != keyed[k].first) rank = static_cast<int>(k);
        size_t slot = SlotOf(keyed[k].second, FMask);
        while (FSlots[slot].first) slot = (slot + 1) & FMask;
        FSlots[slot] = {keyed[k].second, rank};
    }
}

void TNameSortKeys::Clear() {
    FPending.clear();
    FSlots.clear();
    FMask = 0;
}

int TNameSortKeys::RankOf(const void* owner) const {
    if (FSlots.empty() || !owner) return -1;
    for (size_t slot = SlotOf(owner, FMask);; slot = (slot + 1) & FMask) {
        if (FSlots[slot].first == owner) return FSlots[slot].second;
        if (!FSlots[slot].first) return -1;
    }
}

int TNameSortKeys::Compare(const void* a, const std::string& nameA, const void* b, const std::string& nameB) const {
    if (a == b) return 0;
    const int ra = RankOf(a);
    const int rb = RankOf(b);
    if (ra >= 0 && rb >= 0) return ra < rb ? -1 : (ra > rb ? 1 : 0);
    return nameA == nameB ? 0 : CompareText(nameA, nameB);
}

namespace {

struct TColumnDef {
    const char* Caption;
    TAlignment Align;
    int Width;
};

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

void Fill(TCanvas& canvas, const QRect& rect, TColor color) {
    canvas.Brush.Color = color;
    canvas.FillRect(rect);
}

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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    vstTblStat = new TVirtualStringTree(this);
    vstTblStat->setObjectName(QStringLiteral("vstTblStat"));
    layout->addWidget(vstTblStat);

    vstTblStat->SetFlatList(true);
    vstTblStat->SetGridLines(true, true);
    vstTblStat->SetShowHint(true);
    vstTblStat->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const QIcon& icon : ViewImages()) vstTblStat->Images.Add(icon);

    auto& columns = vstTblStat->Header().Columns;
    for (const TColumnDef& def : TableColumns) columns.Add(def.Caption, ScaledWidth(vstTblStat, def.Width), def.Align);
    columns[tcSizeMb].SetMinWidth(12);
    WidenToCaptions(vstTblStat);
    // Only the indices grid sizes a column to its contents on a divider
    // double click.
    QObject::disconnect(vstTblStat->header(), &QHeaderView::sectionHandleDoubleClicked, vstTblStat, nullptr);

    vstTblStat->OnGetText = [this](auto* s, auto n, auto c, std::string& t) { vstTblStatGetText(s, n, c, t); };
    vstTblStat->OnBeforeCellPaint = [this](auto* s, TCanvas& cv, auto n, auto c, QRect r) {
        vstTblStatBeforeCellPaint(s, cv, n, c, r);
    };
    vstTblStat->OnPaintText = [this](auto* s, TCanvas& cv, auto n, auto c) { vstTblStatPaintText(s, cv, n, c); };
    vstTblStat->OnGetImageIndex = [this](auto* s, auto n, auto k, auto c, bool& g, int& i) {
        vstTblStatGetImageIndex(s, n, k, c, g, i);
    };
    vstTblStat->OnGetHint = [this](auto* s, auto n, auto c, std::string& h) { vstTblStatGetHint(s, n, c, h); };
    vstTblStat->OnCompareNodes = [this](auto* s, auto n1, auto n2, auto c, int& r) {
        vstTblStatCompareNodes(s, n1, n2, c, r);
    };
    vstTblStat->OnHeaderClick = [this](auto* s, auto c) { vstTblStatHeaderClick(s, c); };
    vstTblStat->OnChange = [this](auto* s, auto n) { vstTblStatChange(s, n); };
}

void TFrTableStat::SetupMenu() {
    PopupMenu1 = new QMenu(this);
    Copy1 = PopupMenu1->addAction(QStringLiteral("Copy"));
    QObject::connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
    vstTblStat->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(vstTblStat, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(vstTblStat->viewport()->mapToGlobal(pos));
    });
}

void TFrTableStat::FillTables() {
    vstTblStat->BeginUpdate();
    vstTblStat->Clear();
    if (DBInfo)
        for (TRelation* r : DBInfo->Relations) vstTblStat->AddChild(nullptr, reinterpret_cast<intptr_t>(r));

    auto& columns = vstTblStat->Header().Columns;
    columns[tcTable].SetWidth(std::max(vstTblStat->GetMaxColumnWidth(tcTable), CaptionWidth(vstTblStat, tcTable)));
    for (int c : {tcRecords, tcVersions, tcSizeMb, tcIdxSizeMb})
        columns[c].SetWidth(std::max(vstTblStat->GetMaxColumnWidth(c), columns[c].Width()));

    const bool recordInfo = DBInfo && DBInfo->IsRecordInfoAvailable;
    for (int c : {tcRecords, tcRecLength, tcVerLen, tcVersions, tcMaxVers, tcRealFill})
        columns[c].SetVisible(recordInfo);
    for (int c = tcFill20; c <= tcFill100; ++c) columns[c].SetVisible(OptionSettings.ViewTableFrag);

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
            text = IntToStr(std::isfinite(share) ? Round(share) : 0);
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
    if (o.ChessFill && sender->IsChessRow(node)) Fill(canvas, cellRect, o.ChessColor);
    switch (column) {
        case tcRecords: Fill(canvas, cellRect, IsBlobFragmented(*r) ? o.BlobColor : o.Columns1Color); break;
        case tcVerLen:
            if (HasLongVersions(*r)) Fill(canvas, cellRect, o.YellowColor);
            break;
        case tcVersions:
            if (HasManyVersions(*r))
                Fill(canvas, cellRect, r->Records >= 1000 ? o.RedColor : o.YellowColor);
            else
                Fill(canvas, cellRect, o.Columns1Color);
            break;
        case tcMaxVers:
            if (HasMassDeletes(*r)) Fill(canvas, cellRect, o.MassColor);
            break;
        case tcDataPages:
            if (IsTableNearPageLimit(*r)) Fill(canvas, cellRect, o.RedColor);
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
            if (IsFillMismatch(*r)) Fill(canvas, cellRect, o.YellowColor);
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
    hint = text.empty() ? std::string() : WrapAtColumn(text, OptionSettings.HintWidth);
}

void TFrTableStat::vstTblStatCompareNodes(TVirtualStringTree*, PVirtualNode node1, PVirtualNode node2,
                                          TColumnIndex column, int& result) {
    TRelation* a = RelationOf(node1);
    TRelation* b = RelationOf(node2);
    if (!a || !b) return;
    switch (column) {
        case tcTable: result = FSortKeys.Compare(a, a->TableName, b, b->TableName); break;
        case tcRecords: result = CompareInt64(a->Records, b->Records); break;
        case tcRecLength: result = CompareDouble(a->RecLen, b->RecLen); break;
        case tcVerLen: result = CompareDouble(a->VerLen, b->VerLen); break;
        case tcVersions: result = CompareInt64(a->Versions, b->Versions); break;
        case tcMaxVers: result = CompareInt(a->MaxVer, b->MaxVer); break;
        case tcDataPages: result = CompareInt(a->DataPages, b->DataPages); break;
        case tcSizeMb: result = CompareDouble(a->SizeMB, b->SizeMB); break;
        case tcIdxSizeMb: result = CompareDouble(a->ISizeMB, b->ISizeMB); break;
        case tcSlots: result = CompareInt(a->PageSlots, b->PageSlots); break;
        case tcAvgFill: result = CompareInt(a->AverageFill, b->AverageFill); break;
        case tcFill20: result = CompareInt(a->Fill20, b->Fill20); break;
        case tcFill40: result = CompareInt(a->Fill40, b->Fill40); break;
        case tcFill60: result = CompareInt(a->Fill60, b->Fill60); break;
        case tcFill80: result = CompareInt(a->Fill80, b->Fill80); break;
        case tcFill100: result = CompareInt(a->Fill100, b->Fill100); break;
        case tcRealFill: result = CompareInt(a->RealFill, b->RealFill); break;
        case tcTotalPercent: result = CompareDouble(a->SizeMB + a->ISizeMB, b->SizeMB + b->ISizeMB); break;
        default: break;
    }
}

void TFrTableStat::vstTblStatHeaderClick(TVirtualStringTree* sender, TColumnIndex column) {
    if (column < 0) return;
    TVTHeader& header = sender->Header();
    const TSortDirection direction = column == header.SortColumn() && header.SortDirection() == sdDescending
                                         ? sdAscending
                                         : sdDescending;
    header.SetSortColumn(column);
    header.SetSortDirection(direction);
    if (column == tcTable)
        for (PVirtualNode n = sender->GetFirst(); n; n = sender->GetNextSibling(n))
            if (TRelation* r = RelationOf(n)) FSortKeys.Add(r, r->TableName);
    FSortKeys.Prepare();
    const TNameSortKeys::TScope forget(FSortKeys);
    sender->SortTree(column, direction);
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
