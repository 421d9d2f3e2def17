#include "ui/views/dbinfofr.h"

#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <string_view>
#include <tuple>

#include "model/options.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/text/DateUtils.h"
#include "platform/text/SysUtils.h"
#include "ui/views/gridview.h"
#include "ui/views/indexStat.h"
#include "ui/window/main.h"
#include "ui/views/tablestat.h"

// The resource file lives in a static library: its registration must be
// pulled in by name or the linker drops it.

namespace dv {

TFrDbInfo* FrDbInfo = nullptr;

namespace {

// Daily average as the hints and the active-transactions row divide by it.
// The parser never leaves it below 1; a hand-edited save file might.
double AverageTranOf(const TDatabaseInfo& db) { return db.AverageTran > 0 ? db.AverageTran : 1; }

bool NoReserveOnWritable(const TDatabaseInfo& db) {
    return ContainsStr(db.Attrib, "no reserve") && !ContainsStr(db.Attrib, "read only");
}

// The group codes in the order the tree shows them.
constexpr int GroupOrder[] = {siFragmentedTables, siVersionedTables, siBlobTables, siMassDeletes,
                              siVeryBigTables, siDeepIndices, siBadIndices, siBrokenIndices,
                              siUselessIndices, siEmptyTables};

const char* GroupCaption(int group) {
    switch (group) {
        case siFragmentedTables: return "Fragmented tables";
        case siDeepIndices: return "Deep indices";
        case siVersionedTables: return "Versioned tables";
        case siBadIndices: return "Bad indices";
        case siVeryBigTables: return "Very big tables";
        case siBlobTables: return "Tables fragmented with blobs";
        case siUselessIndices: return "Useless indices";
        case siEmptyTables: return "Tables with no records";
        case siMassDeletes: return "Massive deletes/updates";
        case siBrokenIndices: return "Broken or incomplete indices";
        default: return "";
    }
}

bool IsTableGroup(int group) {
    return group == siFragmentedTables || group == siVersionedTables || group == siBlobTables ||
           group == siMassDeletes || group == siVeryBigTables || group == siEmptyTables;
}

// The group whose child rows carry the code, 0 for any other code.
int GroupOfCode(int code) {
    return code >= ChildRowCode(siFragmentedTables) && code <= ChildRowCode(siBrokenIndices) && code % 100 == 0
               ? code / 100 - 1
               : 0;
}

std::string DateText(TDateTime d) { return DateTimeToStr(d); }

const char* const OdsList =
    " 8.0  - InterBase 4.0/4.1\n\r"
    " 8.2  - InterBase 4.2\n\r"
    " 9.0  - InterBase 5.0/5.1\n\r"
    " 9.1  - InterBase 5.5/5.6\n\r"
    "10.0  - InterBase 6.0, Firebird 1.0\n\r"
    "10.1  - Firebird 1.5\n\r"
    "11.0  - InterBase 7.0, Firebird 2.0 (incompatible)\n\r"
    "11.1  - InterBase 7.1, Firebird 2.1 (incompatible)\n\r"
    "11.2  - InterBase 7.5, Firebird 2.5 (incompatible)\n\r"
    "12.0  - InterBase 2007\n\r"
    "13.1  - InterBase 2009\n\r"
    "15.0  - InterBase XE, XE3";

const char* const SweepGapHintOn =
    "Sweep interval (%d) is less than Sweep Gap (%d) - Maybe some transactions were rolled back, or "
    "there were \"connection lost\" errors. It is recommended to set sweep interval to 0 (gfix "
    "-housekeeping 0) and run gfix -sweep routinely or when no users are connected.";
const char* const SweepGapHintOff =
    "Sweep interval is 0, but Sweep gap is bigger (%d) than average transactions per day (%d). Maybe "
    "some transactions were rolled back, or there were \"connection lost\" errors. You need to run "
    "gfix -sweep routinely when no users are connected ";

std::string SweepGapHint(const TDatabaseInfo& db, int64_t gap) {
    if (db.Sweep > 0) return Format(SweepGapHintOn, {int64_t(db.Sweep), gap});
    return Format(SweepGapHintOff, {gap, db.AverageTran});
}

// The bar and warning colour of one transaction row.
struct TTranRow {
    bool Warn = false;
    TColor WarnColor = 0;
    bool WholeCell = false;   // next transaction: the bar fills the cell
    bool FromLeft = false;    // the bar starts at the cell's left edge
    bool ToRight = false;     // the bar ends at the cell's right edge
    int64_t From = 0, To = 0; // transaction numbers of the ends that are not edges
};

bool TransactionRow(const TDatabaseInfo& db, int code, TTranRow& t) {
    const TOptionSettings& o = OptionSettings;
    switch (code) {
        case drOldestTransaction: t.FromLeft = true; t.To = db.OIT; break;
        case drOldestActive: t.FromLeft = true; t.To = db.OAT; break;
        case drOldestSnapshot:
            t.FromLeft = true; t.To = db.OST;
            t.Warn = IsOatGapWide(db); t.WarnColor = o.YellowColor;
            break;
        case drNextTransaction:
            t.WholeCell = true;
            t.Warn = IsNextTransactionHigh(db); t.WarnColor = o.RedColor;
            break;
        case drSweepGapActive:
        case drSweepGapSnapshot:
            t.From = db.OIT; t.To = code == drSweepGapActive ? db.OAT : db.OST;
            if (IsSweepGapExceeded(db)) {
                t.Warn = true;
                t.WarnColor = db.Sweep > 0 ? o.RedColor : o.YellowColor;
            } else if (code == drSweepGapSnapshot && IsSnapshotBelowOIT(db)) {
                t.Warn = true;
                t.WarnColor = o.YellowColor;
            }
            break;
        case drSnapshotTipSize:
            t.From = db.OIT; t.ToRight = true;
            t.Warn = IsOitGapOverLimit(db); t.WarnColor = o.YellowColor;
            break;
        case drActiveTransactions:
            t.From = db.OAT; t.ToRight = true;
            t.Warn = IsActiveTransactionOld(db); t.WarnColor = o.RedColor;
            break;
        default: return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- frame

TFrDbInfo::TFrDbInfo(QWidget* owner) : QFrame(owner) {
    setObjectName("FrDbInfo");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    vstDbInfo = CreateParameterTree(this, "vstDbInfo");
    layout->addWidget(vstDbInfo);
    // The grids' pictures: a problem looks the same here as in the tables
    // and indices views (this view uses the ones it shares with them).
    for (const QIcon& icon : ViewImages()) vstDbInfo->Images.Add(icon);
    BindGridEvents(vstDbInfo, this,
                   {.GetText = &TFrDbInfo::vstDbInfoGetText,
                    .BeforeCellPaint = &TFrDbInfo::vstDbInfoBeforeCellPaint,
                    .GetImageIndex = &TFrDbInfo::vstDbInfoGetImageIndex,
                    .GetHint = &TFrDbInfo::vstDbInfoGetHint,
                    .ColumnDblClick = &TFrDbInfo::vstDbInfoColumnDblClick});
    std::tie(PopupMenu1, Copy1) = CreateCopyPopup(vstDbInfo, this, [this] { Copy1Click(); });

    hide();   // the main window shows it
    if (!FrDbInfo) FrDbInfo = this;
}

TFrDbInfo::~TFrDbInfo() {
    if (FrDbInfo == this) FrDbInfo = nullptr;
    // The grid goes first (with the frame's children); the lists only refer
    // to model objects and free nothing.
}

std::vector<int> TFrDbInfo::DatabaseRows(const TDatabaseInfo& db) {
    std::vector<int> rows = {drDatabaseName, drCreationDate};
    if (db.WDate > 0) rows.push_back(drWriteTimestamp);
    if (db.DDate > 0) rows.push_back(drDumpTimestamp);
    rows.insert(rows.end(), {drStatisticsDate, drPageSize, drForcedWrite, drDialect, drOds});
    if (!db.Attrib.empty()) rows.push_back(drAttributes);
    rows.insert(rows.end(), {drSweepInterval, drOldestTransaction, drOldestSnapshot, drOldestActive, drNextTransaction});
    rows.push_back(db.ODSMajor >= 11 || OptionSettings.FB152 ? drSweepGapActive : drSweepGapSnapshot);
    rows.insert(rows.end(), {drTipSize, drSnapshotTipSize, drActiveTransactions, drTransactionsPerDay});
    if (db.RecordSize > 0) rows.push_back(drDataVersionsPercent);
    if (db.DBSize > 0) rows.push_back(drDatabaseSize);
    return rows;
}

void TFrDbInfo::FillDbInfo() {
    TDatabaseInfo& db = *DBInfo;
    const auto addRows = [&] {
        PVirtualNode root = vstDbInfo->AddChild(nullptr, siDatabaseInfo);
        for (int code : DatabaseRows(db)) vstDbInfo->AddChild(root, code);

        Problems = ComputeProblemLists(db);
        for (int group : GroupOrder) {
            if (group == siEmptyTables && !OptionSettings.ZeroTables) continue;
            PVirtualNode g = vstDbInfo->AddChild(nullptr, group);
            const size_t n = IsTableGroup(group) ? TableList(group)->size() : IndexList(group)->size();
            const intptr_t childCode = ChildRowCode(group);
            for (size_t k = 0; k < n; ++k) vstDbInfo->AddChild(g, childCode);
        }
    };
    const auto textLength = [this](PVirtualNode node, int column) {
        const int code = static_cast<int>(TVirtualStringTree::GetNodeData(node));
        return TextLength(code, IsObjectRow(code) ? vstDbInfo->GetNodeIndex(node) : 0, column);
    };
    RebuildParameterTree(vstDbInfo, addRows, textLength);
}

const std::vector<TRelation*>* TFrDbInfo::TableList(int group) const {
    switch (group) {
        case siFragmentedTables: return &Problems.FragmentedTables;
        case siVersionedTables: return &Problems.VersionedTables;
        case siVeryBigTables: return &Problems.VeryBigTables;
        case siBlobTables: return &Problems.TablesFragmentedWithBlobs;
        case siEmptyTables: return &Problems.TablesWithNoRecords;
        case siMassDeletes: return &Problems.MassiveDeletes;
        default: return nullptr;
    }
}

const std::vector<TIndex*>* TFrDbInfo::IndexList(int group) const {
    switch (group) {
        case siDeepIndices: return &Problems.DeepIndices;
        case siBadIndices: return &Problems.BadIndices;
        case siUselessIndices: return &Problems.UselessIndices;
        case siBrokenIndices: return &Problems.BrokenIndices;
        default: return nullptr;
    }
}

TRelation* TFrDbInfo::TableAt(int code, int position) const {
    const auto* list = TableList(GroupOfCode(code));
    if (!list || position < 0 || static_cast<size_t>(position) >= list->size()) return nullptr;
    return (*list)[static_cast<size_t>(position)];
}

TIndex* TFrDbInfo::IndexAt(int code, int position) const {
    const auto* list = IndexList(GroupOfCode(code));
    if (!list || position < 0 || static_cast<size_t>(position) >= list->size()) return nullptr;
    return (*list)[static_cast<size_t>(position)];
}

// ---------------------------------------------------------------- texts

std::string TFrDbInfo::DatabaseRowCaption(int code) {
    switch (code) {
        case drDatabaseName: return "Database name";
        case drCreationDate: return "Creation date";
        case drWriteTimestamp: return "Write timestamp";
        case drDumpTimestamp: return "Dump timestamp";
        case drStatisticsDate: return "Statistics date";
        case drPageSize: return "Page size";
        case drForcedWrite: return "Forced Write";
        case drDialect: return "Dialect";
        case drOds: return "OnDiskStructure";
        case drAttributes: return "Attributes";
        case drSweepInterval: return "Sweep interval";
        case drOldestTransaction: return "Oldest transaction";
        case drOldestSnapshot: return "Oldest snapshot";
        case drOldestActive: return "Oldest active";
        case drNextTransaction: return "Next transaction";
        case drSweepGapActive: return "Sweep gap (active - oldest)";
        case drSweepGapSnapshot: return "Sweep gap (snapshot - oldest)";
        case drTipSize: return "TIP size";
        case drSnapshotTipSize: return "Snapshot TIP size";
        case drActiveTransactions: return "Active transactions";
        case drTransactionsPerDay: return "Transactions per day";
        case drDataVersionsPercent: return "Data versions percent";
        case drDatabaseSize: return "Database Size";
        default: return std::string();
    }
}

std::string TFrDbInfo::DatabaseRowValue(const TDatabaseInfo& db, int code) {
    const double pageKb = db.PageSize / 1024.0;
    switch (code) {
        case drDatabaseName: return db.DbName;
        case drCreationDate: return DateText(db.CDate);
        case drWriteTimestamp: return DateText(db.WDate);
        case drDumpTimestamp: return DateText(db.DDate);
        case drStatisticsDate: return DateText(db.Age);
        case drPageSize: return IntToStr(db.PageSize);
        case drForcedWrite: return db.FW == 0 ? "OFF" : db.FW == 1 ? "ON" : "";
        case drDialect: return IntToStr(db.Dialect);
        case drOds: return db.ODS;
        case drAttributes: return db.Attrib;
        case drSweepInterval: return IntToStr(db.Sweep);
        case drOldestTransaction: return IntToStr(db.OIT);
        case drOldestSnapshot: return IntToStr(db.OST);
        case drOldestActive: return IntToStr(db.OAT);
        case drNextTransaction: return IntToStr(db.NxT);
        case drSweepGapActive: return IntToStr(TransactionGap(db, db.OAT, db.OIT));
        case drSweepGapSnapshot: return IntToStr(TransactionGap(db, db.OST, db.OIT));
        case drTipSize:
            if (db.PageSize <= 0) return std::string();
            return IntToStr(RoundClamped(static_cast<double>(db.NxT) / 4.0 / db.PageSize) + 1) + " pages, " +
                   IntToStr(RoundClamped(static_cast<double>(db.NxT) / 4.0 / 1024) + db.PageSize / 1024) + " kilobytes";
        case drSnapshotTipSize: {
            const int64_t gap = TransactionGap(db, db.NxT, db.OIT);
            return IntToStr(gap) + " transactions, " +
                   IntToStr(RoundClamped(static_cast<double>(gap) / 4.0 / 1024) + db.PageSize / 1024) +
                   " kilobytes";
        }
        case drActiveTransactions: {
            const int64_t active = TransactionGap(db, db.NxT, db.OAT);
            return IntToStr(active) + Format(", %d%% of daily average",
                                             {RoundClamped(static_cast<double>(active) / (AverageTranOf(db) / 100))});
        }
        case drTransactionsPerDay: {
            const int32_t days = StatDayCount(db);
            return Format("%d, for %d days", {IntDiv64(db.NxT, days), int64_t(days)});
        }
        case drDataVersionsPercent:
            return Format("%3.2f%% - records: %d mb, versions: %d mb, pages %d mb, indices %d mb",
                          {db.Garbage, RoundClamped(db.RecordSize / 1024.0 / 1024), RoundClamped(db.VersionSize / 1024.0 / 1024),
                           RoundClamped(db.Pages * pageKb / 1024), RoundClamped(db.IndexSize / 1024.0 / 1024)});
        case drDatabaseSize: {
            if (db.DBSize <= 0 || db.PageSize <= 0) return std::string();
            const double usedPages = static_cast<double>(db.IndexSize / db.PageSize) + db.Pages;
            return Format("%6.2f megabytes, %d%% data and indices",
                          {db.DBSize / 1024.0, RoundClamped<int64_t>(usedPages * pageKb / (db.DBSize / 100.0))});
        }
        default: return std::string();
    }
}

std::string TFrDbInfo::ObjectRowText(int code, int position, int column) const {
    if (IsTableGroup(GroupOfCode(code))) {
        TRelation* r = TableAt(code, position);
        if (!r) return std::string();
        if (column == 0) return r->TableName;
        switch (code) {
            case ChildRowCode(siFragmentedTables):
                return Format("Average Fill: %3d%%, Records %9d, Pages %6d",
                              {int64_t(r->AverageFill), r->Records, int64_t(r->DataPages)});
            case ChildRowCode(siVersionedTables):
                return Format("Records: %d, versions: %d, verlen is %d%% from reclen",
                              {r->Records, r->Versions,
                               RoundClamped<int64_t>((r->VerLen + RecordOverhead) /
                                                     ((r->RecLen + RecordOverhead) / 100))});
            case ChildRowCode(siVeryBigTables): return "Data Pages = " + IntToStr(r->DataPages);
            case ChildRowCode(siBlobTables):
                return "Records: " + WideIntToStr(static_cast<__int128>(r->Records) + r->Versions) +
                       ", Estimated records: " + IntToStr(EstimateRecordCapacity(*r)) +
                       ", Real avg.fill: " + IntToStr(EstimateRealFill(*r)) + "%";
            case ChildRowCode(siEmptyTables): return " 0 records";
            case ChildRowCode(siMassDeletes):
                return Format("Records: %d, versions: %d, RecLen: %5.2f, VerLen %5.2f",
                              {r->Records, r->Versions, r->RecLen, r->VerLen});
            default: return std::string();
        }
    }
    TIndex* i = IndexAt(code, position);
    if (!i) return std::string();
    if (column == 0) return i->IndexName + " (" + (i->Relation ? i->Relation->TableName : std::string()) + ")";
    switch (code) {
        case ChildRowCode(siDeepIndices):
            return Format("Index depth: %2d, Average Fill %3d%%", {int64_t(i->Depth), int64_t(i->AverageFill)});
        case ChildRowCode(siBadIndices): {
            // Listed bad indices have at least 1000 nodes; an edited save
            // file may not, so the shares guard their divisor.
            const double hundredth = i->Nodes / 100.0;
            auto share = [&](double v) { return hundredth > 0 ? v / hundredth : 0.0; };
            return "Duplicates - " + PadLeft(FormatFloat("##", share(i->TotalDup)), 3) + "%" +
                   ", Max Equals - " + PadLeft(FormatFloat("##", share(i->MaxDup)), 3) + "%" +
                   ", Unique values - " + IntToStr(i->Uniques) + " (" +
                   FormatFloat("00.000", share(static_cast<double>(i->Uniques))) + "%)";
        }
        case ChildRowCode(siUselessIndices): return "Equal keys - " + IntToStr(i->Nodes);
        case ChildRowCode(siBrokenIndices): {
            const int64_t records = i->Relation ? i->Relation->Records : 0;
            return "Records: " + IntToStr(records) + ", Keys: " + IntToStr(i->Nodes) +
                   ", Difference - " + WideIntToStr(static_cast<__int128>(records) - i->Nodes);
        }
        default: return std::string();
    }
}

std::string TFrDbInfo::CellText(int code, int position, int column) const {
    if (code == siDatabaseInfo) return column == 0 ? "Database info" : "";
    if (code >= siFragmentedTables && code <= siBrokenIndices) return column == 0 ? GroupCaption(code) : "";
    if (IsObjectRow(code)) return ObjectRowText(code, position, column);
    return column == 0 ? DatabaseRowCaption(code) : DatabaseRowValue(*DBInfo, code);
}

namespace {
// Characters of an integer as %d or IntToStr writes it, padded to width.
size_t IntTextLength(int64_t value, size_t width = 0) {
    size_t n = value < 0 ? 2 : 1;
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    for (uint64_t u = magnitude; u >= 10; u /= 10) ++n;
    return std::max(n, width);
}

constexpr size_t Chars(std::string_view text) { return text.size(); }
}  // namespace

size_t TFrDbInfo::TextLength(int code, int position, int column) const {
    // Each count follows its text in ObjectRowText.
    if (IsObjectRow(code) && IsTableGroup(GroupOfCode(code))) {
        if (const TRelation* r = TableAt(code, position)) {
            if (column == 0) return Utf8Length(r->TableName);
            switch (code) {
                case ChildRowCode(siFragmentedTables):
                    return Chars("Average Fill: %, Records , Pages ") + IntTextLength(r->AverageFill, 3) +
                           IntTextLength(r->Records, 9) + IntTextLength(r->DataPages, 6);
                case ChildRowCode(siVeryBigTables): return Chars("Data Pages = ") + IntTextLength(r->DataPages);
                case ChildRowCode(siEmptyTables): return Chars(" 0 records");
                default: break;
            }
        }
    } else if (IsObjectRow(code)) {
        if (const TIndex* i = IndexAt(code, position)) {
            if (column == 0)
                return Utf8Length(i->IndexName) + Chars(" ()") + (i->Relation ? Utf8Length(i->Relation->TableName) : 0);
            switch (code) {
                case ChildRowCode(siDeepIndices):
                    return Chars("Index depth: , Average Fill %") + IntTextLength(i->Depth, 2) +
                           IntTextLength(i->AverageFill, 3);
                case ChildRowCode(siUselessIndices): return Chars("Equal keys - ") + IntTextLength(i->Nodes);
                default: break;
            }
        }
    }
    return Utf8Length(CellText(code, position, column));
}

std::string TFrDbInfo::HintText(int code) {
    const TDatabaseInfo& db = *DBInfo;
    switch (code) {
        case siDatabaseInfo: return "Database information items.";
        case siFragmentedTables: return "Fragmented tables list. You can set average fill check criteria in Options dialog.";
        case siDeepIndices: return "List of indices that have depth greater than specified in Options dialog.";
        case siVersionedTables: return "List of tables with versions count greater than records.";
        case siBadIndices: return "List of idices with lot of duplicate keys.";
        case siVeryBigTables: return "List of tables having page count close to engine limit.";
        case siBlobTables: return "List of tables higly fragmented with blobs that are placed at data pages.";
        case siUselessIndices: return "List of indices having only one key value for all keys.";
        case siEmptyTables:
            return "List of tables having no data. Listed tables can be temporary, for future use, or just "
                   "forgottend and not needed anymore.";
        case siMassDeletes:
            return "List of tables that are suspects of massive updates/deletes, not yet processed by garbage "
                   "collection. MaxVers for these tables = 1.";
        case siBrokenIndices: return "List of indices that have key count less than record count";
        case drPageSize:
            if (db.PageSize <= 2048)
                return "Page size is too small. Make backup and restore with -page option using 4096 or 8192 "
                       "page size value.";
            return std::string();
        case drOldestSnapshot:
            if (IsOatGapWide(db))
                return Format("You have long running snapshot transaction - it was started ~%5.1f days ago, and "
                              "it can block garbage collection. ",
                              {static_cast<double>(TransactionGap(db, db.NxT, db.OST)) / AverageTranOf(db)});
            return std::string();
        case drNextTransaction:
            if (IsNextTransactionHigh(db))
                return Format(std::string("Transactions count is close to it's limit - ") +
                                  (HasWideTransactions(db) ? "281474976710655 (281 trillion)" : "MaxInt (2 billion)") +
                                  ". You need to backup and restore your database in the near %d days, or "
                                  "database will stop functioning.",
                              {int64_t((TransactionLimit(db) - db.NxT) / static_cast<int64_t>(AverageTranOf(db)))});
            return std::string();
        case drActiveTransactions:
            if (IsActiveTransactionOld(db)) {
                const int64_t active = TransactionGap(db, db.NxT, db.OAT);
                return Format("There is a long running active transaction or maybe lot of them. Oldest active "
                              "transaction was started %d transactions ago (%5.1f days) while there are ~%d "
                              "average transactions per day.",
                              {active, static_cast<double>(active) / AverageTranOf(db), db.AverageTran});
            }
            return std::string();
        case drForcedWrite: {
            if (db.FW != 0) return std::string();
            std::string s = "Forced Write = OFF can cause database corruption in case of power failure (without "
                            "UPS) or operating system crush.";
            if (db.ODSMajor == 12 || db.ODSMajor == 13)
                s += "\r\nIf this database have journal on, than Forced Write = OFF is OK.";
            return s;
        }
        case drOds: return OdsList;
        case drAttributes:
            if (NoReserveOnWritable(db))
                return "No_reserve option is ON, but database is not read-only.\r\n"
                       "Usually no_reserve is used to compact database written on read-only media like CD, DVD, "
                       "etc..\r\n"
                       "We recommend to run gfix db -mode read_write, to return reserving space on pages\r\n"
                       "on next restore, to speedup data modification.";
            return std::string();
        case drSweepInterval:
            if (db.Sweep > 0)
                return "Automatic sweep is ON. When Sweep Gap is greater than Sweep interval, it is recommended to "
                       "set sweep interval to 0 (gfix -housekeeping 0) and run gfix -sweep routinely or when no "
                       "users are connected.";
            return std::string();
        case drSweepGapActive:
            if (IsSweepGapExceeded(db)) return SweepGapHint(db, TransactionGap(db, db.OAT, db.OIT));
            return std::string();
        case drSweepGapSnapshot:
            if (IsSweepGapExceeded(db)) return SweepGapHint(db, TransactionGap(db, db.OST, db.OIT));
            if (IsSnapshotBelowOIT(db))
                return "Oldest snapshot transaction is less than Oldest transaction.See View Recommendations about "
                       "why this happens";
            return std::string();
        case drTipSize:
            if (IsTipOverLimit(db))
                return "If you are using InterBase 5.x or 6.0, soon database will stop working. you need to backup "
                       "your database and restore it with bigger page size immediately, or, the better way is to "
                       "upgrade your InterBase to newer InterBase or Firebird versions.";
            return "Transaction Inventory Pages count and size.";
        case drSnapshotTipSize:
            if (IsOitGapOverLimit(db))
                return "Lot of transactions ( > 262140) in Transaction Inventory Pages - this can slowdown TIP "
                       "check for transactions state and snapshot transaction start.";
            return std::string();
        case drCreationDate: return "Date of database file creation (create or restore).";
        case drWriteTimestamp: return "Date and time when database file was last updated.";
        case drDumpTimestamp: return "This database is online dump file. Date shows the last time of successful dump update.";
        case drTransactionsPerDay:
            return "Average transactions per day, and days between database creation and getting statistics. May "
                   "be useless if this is not production database statistics.";
        case drStatisticsDate: return "Date when statistics was taken (stats file date or Services API call date).";
        case ChildRowCode(siFragmentedTables):
        case ChildRowCode(siDeepIndices):
        case ChildRowCode(siVersionedTables):
        case ChildRowCode(siBadIndices):
        case ChildRowCode(siVeryBigTables):
        case ChildRowCode(siUselessIndices):
        case ChildRowCode(siEmptyTables): return "Double click on this object will move you to corresponding (table or index) view.";
        default: return std::string();
    }
}

std::string TFrDbInfo::WrappedHint(int code) { return WrapHint(HintText(code)); }

std::string TFrDbInfo::WrapHint(const std::string& hint) {
    // The ODS list keeps its own line layout.
    if (Pos(" InterBase 4.0", hint) > 1) return hint;
    return WrapAtColumn(hint, OptionSettings.HintWidth);
}

int TFrDbInfo::ImageIndex(int code) {
    switch (code) {
        case ChildRowCode(siFragmentedTables):
        case ChildRowCode(siBlobTables): return 2;
        case ChildRowCode(siDeepIndices): return 7;
        case ChildRowCode(siVersionedTables): return 0;
        case ChildRowCode(siBadIndices): return 9;
        case ChildRowCode(siUselessIndices): return 8;
        case ChildRowCode(siEmptyTables): return 5;
        case ChildRowCode(siMassDeletes): return 4;
        default: return -1;
    }
}

// ---------------------------------------------------------------- events

void TFrDbInfo::vstDbInfoGetText(TVirtualStringTree* tree, PVirtualNode node, TColumnIndex column,
                                 std::string& text) {
    const int code = static_cast<int>(TVirtualStringTree::GetNodeData(node));
    text = CellText(code, IsObjectRow(code) ? tree->GetNodeIndex(node) : 0, column);
}

void TFrDbInfo::vstDbInfoGetHint(TVirtualStringTree*, PVirtualNode node, TColumnIndex, std::string& hint) {
    hint = WrappedHint(static_cast<int>(TVirtualStringTree::GetNodeData(node)));
}

void TFrDbInfo::vstDbInfoGetImageIndex(TVirtualStringTree*, PVirtualNode node, TVTImageKind kind,
                                       TColumnIndex column, bool&, int& index) {
    if (column != 0 || (kind != ikNormal && kind != ikSelected)) return;
    const int image = ImageIndex(static_cast<int>(TVirtualStringTree::GetNodeData(node)));
    if (image >= 0) index = image;
}

bool TFrDbInfo::CellFill(const TDatabaseInfo& db, int code, TColor& color) {
    const TOptionSettings& o = OptionSettings;
    switch (code) {
        case drPageSize:
            if (db.PageSize == 1024) { color = o.RedColor; return true; }
            if (db.PageSize == 2048) { color = o.YellowColor; return true; }
            return false;
        case drForcedWrite:
            if (db.FW != 0) return false;
            color = db.ODSMajor == 12 ? o.YellowColor : o.RedColor;
            return true;
        case drAttributes:
            if (!NoReserveOnWritable(db)) return false;
            color = o.RedColor;
            return true;
        case drSweepInterval:
            if (db.Sweep <= 0) return false;
            color = IsSweepGapExceeded(db) ? o.RedColor : o.YellowColor;
            return true;
        case drTipSize:
            if (!IsTipOverLimit(db)) return false;
            color = o.YellowColor;
            return true;
        case drDumpTimestamp: color = 0x00F0CAA6; return true;
        default: {
            // Transaction rows without bars: filled only while their rule holds.
            TTranRow t;
            if (OptionSettings.TrBars || !TransactionRow(db, code, t) || !t.Warn) return false;
            color = t.WarnColor;
            return true;
        }
    }
}

QRect TFrDbInfo::TransactionBar(const TDatabaseInfo& db, int code, const QRect& cell) {
    TTranRow t;
    if (!TransactionRow(db, code, t)) return QRect();
    const int64_t base = OptionSettings.TrMins ? std::min(db.OIT, db.OST) : 0;
    const int64_t span = TransactionGap(db, db.NxT, base);
    // Nothing to measure against: no bar rather than a division by zero.
    if (span == 0) return QRect();
    const int width = cell.right() + 1 - cell.left();
    auto pos = [&](int64_t x) {
        const double f = static_cast<double>(TransactionGap(db, x, base)) / static_cast<double>(span);
        const double p = cell.left() + std::nearbyint(f * width);
        // Keep far-off counters inside the cell (a bar never leaves it).
        return static_cast<int>(std::clamp(p, static_cast<double>(cell.left()), cell.right() + 1.0));
    };
    int left = cell.left(), right = cell.right() + 1;
    if (!t.WholeCell) {
        if (!t.FromLeft) left = pos(t.From);
        if (!t.ToRight) right = pos(t.To);
    }
    if (right <= left) return QRect();
    return QRect(QPoint(left, cell.top()), QPoint(right - 1, cell.bottom()));
}

void TFrDbInfo::vstDbInfoBeforeCellPaint(TVirtualStringTree*, TCanvas& canvas, PVirtualNode node,
                                         TColumnIndex column, QRect cell) {
    if (column != 1) return;
    const int code = static_cast<int>(TVirtualStringTree::GetNodeData(node));
    if (code < drDatabaseName || IsObjectRow(code)) return;   // database rows only
    const TDatabaseInfo& db = *DBInfo;
    TColor fill;
    if (CellFill(db, code, fill)) {
        canvas.Brush.Color = fill;
        canvas.FillRect(cell);
    }
    TTranRow t;
    if (!OptionSettings.TrBars || !TransactionRow(db, code, t)) return;
    const QRect bar = TransactionBar(db, code, cell);
    if (!bar.isEmpty()) {
        canvas.Brush.Color = t.Warn ? t.WarnColor : OptionSettings.TransColor;
        canvas.FillRect(bar);
    }
    // Two black lines frame the block of transaction rows.
    if (code == drOldestTransaction || code == drActiveTransactions) {
        const int y = code == drOldestTransaction ? cell.top() : cell.bottom();
        canvas.Brush.Color = clBlack;
        canvas.FillRect(QRect(cell.left(), y, cell.width(), 1));
    }
}

void TFrDbInfo::vstDbInfoColumnDblClick(TVirtualStringTree* tree, TColumnIndex) {
    PVirtualNode node = tree->FocusedNode();
    if (!node) return;
    const int code = static_cast<int>(TVirtualStringTree::GetNodeData(node));
    if (!IsObjectRow(code)) return;
    const int position = tree->GetNodeIndex(node);
    if (IsTableGroup(GroupOfCode(code))) {
        if (TRelation* r = TableAt(code, position)) GotoTable(r);
    } else if (TIndex* i = IndexAt(code, position)) {
        GotoIndex(i);
    }
}

void TFrDbInfo::MatchNodeData(TVirtualStringTree*, PVirtualNode node, intptr_t data, bool& abort) {
    abort = TVirtualStringTree::GetNodeData(node) == data;
}

namespace {
void FocusObject(TVirtualStringTree* grid, intptr_t data) {
    if (!grid) return;
    PVirtualNode found = grid->IterateSubtree(nullptr, [data](TVirtualStringTree* t, PVirtualNode n, bool& abort) {
        TFrDbInfo::MatchNodeData(t, n, data, abort);
    });
    grid->GoToNode(found);
}
}  // namespace

void TFrDbInfo::GotoIndex(TIndex* index) {
    if (MainForm) MainForm->SelectTab(3);
    if (FrIndexStat) FocusObject(FrIndexStat->vstIdxStat, reinterpret_cast<intptr_t>(index));
}

void TFrDbInfo::GotoTable(TRelation* table) {
    if (MainForm) MainForm->SelectTab(2);
    if (FrTableStat) FocusObject(FrTableStat->vstTblStat, reinterpret_cast<intptr_t>(table));
}

void TFrDbInfo::Copy1Click() { vstDbInfo->CopyToClipBoard(); }

}  // namespace dv
