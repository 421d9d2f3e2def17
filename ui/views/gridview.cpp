// The plumbing of the views' grids, written once for the tables, indices,
// summary and monitor views.
#include "ui/views/gridview.h"

#include <QAction>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QMenu>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "model/options.h"
#include "model/utils.h"
#include "platform/text/SysUtils.h"

// The resources of a static library are registered by hand.
static void InitViewResources() { Q_INIT_RESOURCE(views); }

namespace dv {

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

namespace {
// The nodes of the kFitSample longest rows (all of them when there are no
// more); the order among them does not matter to a fit.
void KeepLongest(std::vector<std::pair<double, PVirtualNode>>& rows, std::vector<PVirtualNode>& nodes) {
    const auto longer = [](const auto& a, const auto& b) { return a.first > b.first; };
    if (rows.size() > kFitSample) {
        std::nth_element(rows.begin(), rows.begin() + kFitSample, rows.end(), longer);
        rows.resize(kFitSample);
    }
    for (const auto& r : rows) nodes.push_back(r.second);
}

// Adds the rows under parent a fit of each column measures (rows[c] for
// column c): each row with rows of its own (a caption), and of the others
// the longest texts. One walk serves every column: a row's object is read
// for all its cells while it is at hand.
void AddFitRows(TVirtualStringTree* tree, PVirtualNode parent, const TTextLength& length,
                std::vector<std::vector<PVirtualNode>>& rows) {
    const size_t columns = rows.size();
    std::vector<std::vector<std::pair<double, PVirtualNode>>> leaves(columns);
    std::string text;
    for (PVirtualNode n = tree->GetFirstChild(parent); n; n = tree->GetNextSibling(n)) {
        if (tree->ChildCount(n) > 0) {
            for (auto& r : rows) r.push_back(n);
            AddFitRows(tree, n, length, rows);
            continue;
        }
        for (size_t c = 0; c < columns; ++c) {
            const int column = static_cast<int>(c);
            if (length) {
                leaves[c].emplace_back(static_cast<double>(length(n, column)), n);
                continue;
            }
            text.clear();
            if (tree->OnGetText) tree->OnGetText(tree, n, column, text);
            leaves[c].emplace_back(static_cast<double>(Utf8Length(text)), n);
        }
    }
    for (size_t c = 0; c < columns; ++c) KeepLongest(leaves[c], rows[c]);
}
}  // namespace

std::vector<PVirtualNode> detail::KeepLongestRows(std::vector<std::pair<double, PVirtualNode>>& rows) {
    std::vector<PVirtualNode> nodes;
    nodes.reserve(std::min(rows.size(), kFitSample));
    KeepLongest(rows, nodes);
    return nodes;
}

std::vector<std::vector<PVirtualNode>> ParameterFitRows(TVirtualStringTree* tree, const TTextLength& length) {
    std::vector<std::vector<PVirtualNode>> rows(static_cast<size_t>(tree->Header().Columns.Count()));
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) {
        for (auto& r : rows) r.push_back(n);
        AddFitRows(tree, n, length, rows);
    }
    return rows;
}

void FitColumnToContents(TVirtualStringTree* tree, int column, const std::vector<PVirtualNode>& rows) {
    tree->Header().Columns[column].SetWidth(
        std::max(tree->GetMaxColumnWidth(column, rows), CaptionWidth(tree, column)));
}

void GrowColumnToContents(TVirtualStringTree* tree, int column, const std::vector<PVirtualNode>& rows) {
    auto& col = tree->Header().Columns[column];
    col.SetWidth(std::max(tree->GetMaxColumnWidth(column, rows), col.Width()));
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
    FRows.clear();
    FRowsTaken = false;
    FSlots.clear();
    FMask = 0;
    FGrid = nullptr;
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
// What every view's grid shows alike: grid lines, hints, extended selection.
TVirtualStringTree* CreateGrid(QWidget* parent, const char* objectName, bool flat) {
    auto* grid = new TVirtualStringTree(parent);
    grid->setObjectName(QLatin1String(objectName));
    grid->SetFlatList(flat);
    grid->SetGridLines(true, true);
    grid->SetShowHint(true);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return grid;
}

void BoldTopLevelRows(TVirtualStringTree* tree, TCanvas& canvas, PVirtualNode node, TColumnIndex) {
    if (tree->GetNodeLevel(node) == 0) canvas.Font.Style |= fsBold;
}
}  // namespace

TVirtualStringTree* CreateStatGrid(QFrame* frame, const char* objectName, std::span<const TColumnDef> columns) {
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* grid = CreateGrid(frame, objectName, true);
    layout->addWidget(grid);

    for (const QIcon& icon : ViewImages()) grid->Images.Add(icon);

    auto& cols = grid->Header().Columns;
    for (const TColumnDef& def : columns) cols.Add(def.Caption, ScaledWidth(grid, def.Width), def.Align);
    WidenToCaptions(grid);
    QObject::disconnect(grid->header(), &QHeaderView::sectionHandleDoubleClicked, grid, nullptr);
    return grid;
}

TVirtualStringTree* CreateParameterTree(QWidget* parent, const char* objectName) {
    auto* tree = CreateGrid(parent, objectName, false);
    TVTHeader& h = tree->Header();
    h.SetVisible(true);
    h.SetHeight(17);
    h.Columns.Add("Parameter", 150);
    h.Columns.Add("Value", 200);
    tree->OnPaintText = BoldTopLevelRows;
    return tree;
}

std::pair<QMenu*, QAction*> CreateCopyPopup(TVirtualStringTree* grid, QWidget* owner, std::function<void()> copy) {
    auto* menu = new QMenu(owner);
    QAction* item = menu->addAction(QStringLiteral("Copy"));
    item->setObjectName(QStringLiteral("Copy1"));
    QObject::connect(item, &QAction::triggered, owner, std::move(copy));
    AttachPopupMenu(grid, menu);
    return {menu, item};
}

void AttachPopupMenu(TVirtualStringTree* grid, QMenu* menu) {
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, menu,
                     [grid, menu](const QPoint& pos) { menu->popup(grid->viewport()->mapToGlobal(pos)); });
}

void FillCell(TCanvas& canvas, const QRect& rect, TColor color) {
    canvas.Brush.Color = color;
    canvas.FillRect(rect);
}

namespace detail {
std::string ValueText(int64_t value, const char*) { return IntToStr(value); }
std::string ValueText(double value, const char* format) { return FormatFloat(format, value); }

void FillChessRow(TVirtualStringTree* grid, TCanvas& canvas, PVirtualNode node, const QRect& rect) {
    const TOptionSettings& o = OptionSettings;
    if (o.ChessFill && grid->IsChessRow(node)) FillCell(canvas, rect, o.ChessColor);
}
}  // namespace detail

std::string WrapHint(const std::string& text) {
    return text.empty() ? std::string() : WrapAtColumn(text, OptionSettings.HintWidth);
}

TSortDirection HeaderClickDirection(TVirtualStringTree* grid, TColumnIndex column) {
    TVTHeader& header = grid->Header();
    const TSortDirection direction = column == header.SortColumn() && header.SortDirection() == sdDescending
                                         ? sdAscending
                                         : sdDescending;
    header.SetSortColumn(column);
    header.SetSortDirection(direction);
    return direction;
}

}  // namespace dv
