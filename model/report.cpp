#include "model/report.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "model/options.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/stores/FileIO.h"
#include "platform/text/SysUtils.h"

namespace dv {

namespace {


const char* const Separator = "--------------------------------------------------------";

const char* const ForcedWritesText =
    "Forced Write is OFF. It is a dangerous setting, especially for Windows users. Be careful, use UPS to "
    "protect your server. This setting (FW OFF) increases the possibility of database corruption. If your "
    "server hardware or operating system will hang, or power supply will fail, database can be corrupted. "
    "We recommend to set Forced Write ON (gfix -write sync).";

const char* const WorkloadText =
    "Your database is running %d days, and average workload is ~%d transactions per day.";

const char* const SweepText =
    "Sweep interval is %d, and automatic sweep may start %s. If you encounter periodical performance "
    "slowdown, it may be caused by the automatic sweep, which runs while users work and reads the whole "
    "database. In that case set sweep interval to 0 (gfix -housekeeping 0) and run sweep manually "
    "(gfix -sweep) at a time of low load, for example every night by a scheduled job.";

const char* const LowSweepText =
    "We do not recommend to set sweep interval less than default 20000 value. If there will be long running "
    "transaction(s), sweep will try to run but with no success. The less sweep interval is the more often in "
    "such situation it will try to run. This will slowdown performance. ";

const char* const SweepOffText =
    "Automatic sweep is off (0), but the sweep gap is bigger than the average number of transactions per "
    "day. Oldest transaction is stuck at a transaction that was rolled back or lost its connection, and "
    "with automatic sweep off only a manual sweep moves it forward. Meanwhile every new snapshot "
    "transaction copies a bigger part of the transaction inventory, which costs memory and time. Run "
    "sweep manually (gfix -sweep) routinely, for example every night by a scheduled job when few users "
    "work, and check that applications commit their transactions instead of rolling them back.";

const char* const BadIndicesText =
    "Since your database has non-unique indices with lot of duplicate keys (see \"Bad indices\" list below), "
    "garbage collection, updates and deletes in their tables can be slow: for every removed record version "
    "the engine has to find its key among many equal keys. InterBase and Firebird before 2.0 walk the whole "
    "chain of equal keys for it; newer Firebird versions find the key faster, but such indices still cost "
    "time at every change and rarely help queries. Make these indices more selective by adding the primary "
    "key column as their last segment, or drop them when queries do not need them.";

const char* const ActiveTransactionText =
    "Some transaction(s) is being active for a long time. While the Oldest Active transaction stays in "
    "place, garbage collection can not remove record versions made after it started, versions pile up and "
    "performance goes down. Find the application or connection that keeps the transaction open (Firebird "
    "2.1 and later show it in MON$TRANSACTIONS and MON$ATTACHMENTS), make applications commit regularly, "
    "and use read_committed read-only transactions for long reading tasks.";

const char* const OatGapItem = "There is a gap between Oldest Active and Oldest Snapshot transaction";
const char* const OatGapText =
    "(%d, bigger than gap between Next and Oldest Active (%d)). It seems that a long running snapshot "
    "transaction holds the Oldest Snapshot far behind, while newer transactions come and go. Record "
    "versions newer than Oldest Snapshot can not be removed by garbage collection, so tables grow and "
    "queries slow down. Find the connection that keeps such a transaction open and make the application "
    "commit it regularly, or use read_committed transactions where a stable snapshot is not needed.";

const char* const TipLimitText =
    "If you are using InterBase 5.x or 6.0 your database is close to Transaction Inventory Page limit (%d "
    "pages). You need to make backup of database and restore it with bigger page size (current = %d) ASAP, "
    "or to upgrade your InterBase to newer InterBase (>= 6.5) or Firebird (>=1.0) versions.";

const char* const TipSizeText =
    "Overall size of transaction inventory pages (TIP) is big - %d kilobytes or %d pages. Read_committed "
    "transaction uses global TIP, but snapshot transactions make their own copies of TIP in memory. Big TIP "
    "size can slowdown performance. Try to run sweep manually (gfix -sweep) to decrease TIP size.";

const char* const SmallPageText =
    "Page size is too small (%d). Such page size impacts the performance of your database. To increase "
    "performance, use larger page size: 4096, 8192 or 16384 bytes. In order to change page size, make the "
    "backup of your database and then restore database with page size 4096 or 8192 bytes (gbak -c -page "
    "xxxx)";

const char* const DeepIndicesText =
    "You need to increase database page size because you have %d indices with depth > 3 (see \"Deep "
    "indices list\" below). This will increase performance for index search and updates/deletes. ";

const char* const ExplanationA =
    "InterBase (and it`s other clones) have physical limitation of maximum table size - about 36.6 "
    "gigabytes. Engine cannot read records  beyond this limit. This list contains tables which are close to "
    "this limit (10k pages remains).";

const char* const ExplanationB =
    "During normal database work tables and indices are always in consistent state - index key count is "
    "always in the range of records+versions count. Situation when key count less than record count can "
    "happen in three cases: \r\n"
    " 1. When index is broken (database corruption) - some keys disappiared \r\n"
    " 2. When records was inserted into table during index creation \r\n"
    " 3. Some resync of statistics info and real records and keys \r\n"
    "In cases 1 and 2 records without corresponding keys will not be found by queries, that uses these "
    "indices in PLAN. This problem can be fixed by recreating inconsistent indices.(This bug is fixed in "
    "Firebird 2.0)\r\n"
    "Use gfix to check those indices are corrupted or not.";

const char* const NoRecommendations = "We do not have any recommendations about your database now.";

}  // namespace

const char* const MakerOptimizationUrl = "https://www.kelmaris.example/services/optimization";

std::string SweepFrequencyText(double ratio) {
    if (ratio > 1) {
        const int64_t days = RoundClamped<int64_t>(ratio);
        return days == 1 ? std::string("every day") : "each " + IntToStr(days) + " days";
    }
    return IntToStr(RoundClamped<int64_t>(1 / ratio)) + " times per day";
}

TStringList BuildRecommendations(TDatabaseInfo& db, const TProblemLists& lists, const std::string& header) {
    const TOptionSettings& o = OptionSettings;
    TStringList lines;
    auto wrap = [&](const std::string& s) { return WrapAtColumn(s, o.ReportWrap); };
    auto add = [&](std::string s) { lines.push_back(std::move(s)); };
    auto blank = [&] { lines.emplace_back(); };

    add(header);
    add("Database: " + db.DbName);
    blank();

    if (db.FW == 0) {
        add(wrap(ForcedWritesText));
        blank();
    }

    // The break positions are those of the text with its placeholders, so
    // the line breaks do not move with the length of the numbers.
    const int32_t days = StatDayCount(db);
    const double average = static_cast<double>(db.NxT) / days;
    add(Format(wrap(WorkloadText), {int64_t(days), RoundClamped(average)}));
    blank();

    if (db.Sweep > 0) {
        // Below one transaction a day there is nothing to say about how
        // often the sweep starts (and no ratio to divide by).
        if (average >= 1) {
            const double ratio = db.Sweep / average;
            add(wrap(Format(SweepText, {int64_t(db.Sweep), SweepFrequencyText(ratio)})));
            blank();
        }
        if (db.Sweep < 20000) {
            add(wrap(LowSweepText));
            blank();
        }
        if (IsSweepGapExceeded(db)) {
            add(wrap("Seems that automatic sweep do not work, because sweep gap "));
            add(wrap(db.ODSMajor >= 11 || o.FB152 ? "(oldest active - oldest) is bigger than sweep interval. "
                                                  : "(oldest snapshot - oldest) is bigger than sweep interval. "));
            add(wrap("Maybe there is a long running snapshot transaction, or some big transaction were rolled "
                     "back. See previous recommendations about setting sweep interval to 0."));
            blank();
        }
    }

    if (db.Sweep == 0 && IsSweepGapExceeded(db)) {
        add(wrap(SweepOffText));
        blank();
    }

    if ((db.ODSMajor < 11 || db.ODSMinor < 1) && !lists.BadIndices.empty()) {
        add(wrap(BadIndicesText));
        blank();
    }

    if (IsActiveTransactionOld(db)) {
        add(wrap(ActiveTransactionText));
        blank();
    }

    if (IsOatGapWide(db)) {
        add(OatGapItem);
        add(wrap(Format(OatGapText, {TransactionGap(db, db.OAT, db.OST), TransactionGap(db, db.NxT, db.OAT)})));
        blank();
    }

    // The three texts below divide by the page size; a loaded model always
    // has one, an edited save file might not.
    const double pageSize = db.PageSize > 0 ? db.PageSize : 1;
    if (IsTipOverLimit(db)) {
        const int64_t b = RoundClamped(db.NxT / 4.0);
        add(wrap(Format(TipLimitText, {RoundClamped(b / pageSize), int64_t(db.PageSize)})));
        blank();
    }

    if (IsOitGapOverLimit(db)) {
        const int64_t oldest = std::min({db.OIT, db.OAT, db.OST});
        const int64_t b = RoundClamped(static_cast<double>(TransactionGap(db, db.NxT, oldest)) / 4.0);
        add(wrap(Format(TipSizeText, {RoundClamped(b / 1024.0), RoundClamped(b / pageSize)})));
        blank();
    }

    add(wrap(Format("Current database page size is %d bytes.", {int64_t(db.PageSize)})));
    blank();

    if (db.PageSize < 4096) {
        add(Format(wrap(SmallPageText), {int64_t(db.PageSize)}));
        blank();
    }

    if (!lists.DeepIndices.empty() && db.PageSize < 16384) {
        add(Format(wrap(DeepIndicesText), {int64_t(lists.DeepIndices.size())}));
        blank();
    }

    auto count = [&](const char* fmt, size_t n) { add(Format(fmt, {int64_t(n)})); };
    if (!lists.FragmentedTables.empty()) {
        blank();
        add(Separator);
        count("Fragmented tables count: %d.", lists.FragmentedTables.size());
        blank();
    }
    if (!lists.VersionedTables.empty()) {
        add(Separator);
        count("Versioned tables count: %d.", lists.VersionedTables.size());
        blank();
    }
    if (!lists.TablesFragmentedWithBlobs.empty()) {
        add(Separator);
        count("Tables fragmented by blobs count: %d.", lists.TablesFragmentedWithBlobs.size());
        blank();
    }
    if (!lists.MassiveDeletes.empty()) {
        add(Separator);
        count("Massive deleted/updated tables: %d.", lists.MassiveDeletes.size());
        blank();
    }
    if (!lists.VeryBigTables.empty()) {
        add(Separator);
        count("Very big tables count: %d.", lists.VeryBigTables.size());
        add(wrap(ExplanationA));
        blank();
        for (TRelation* r : lists.VeryBigTables)
            add(PadRight(r->TableName, 32) + ": Data Pages = " + IntToStr(r->DataPages));
        blank();
    }
    if (!lists.BrokenIndices.empty()) {
        add(Separator);
        count("Broken or incompete inices count: %d.", lists.BrokenIndices.size());
        add(wrap(ExplanationB));
        blank();
        // The names are padded to the longest index name; a stored width
        // beyond every name (an edited save file) pads no further.
        int32_t longest = 0;
        for (const TIndex* i : db.Indices)
            longest = std::max(longest, static_cast<int32_t>(std::min<size_t>(Utf8Length(i->IndexName), INT32_MAX)));
        const int32_t width = std::min(db.MaxIName, longest);
        for (TIndex* i : lists.BrokenIndices) {
            const int64_t records = i->Relation ? i->Relation->Records : 0;
            add(Format(" %s : Records %d, Keys %d, Difference %s",
                       {PadRight(i->IndexName, width), records, i->Nodes,
                        WideIntToStr(static_cast<__int128>(records) - i->Nodes)}));
        }
        blank();
    }
    if (!lists.DeepIndices.empty()) {
        add(Separator);
        count("Deep indices count: %d.", lists.DeepIndices.size());
        blank();
    }
    if (!lists.BadIndices.empty()) {
        add(Separator);
        count("Bad indices count: %d.", lists.BadIndices.size());
        blank();
    }
    if (!lists.UselessIndices.empty()) {
        add(Separator);
        count("Useless indices count: %d.", lists.UselessIndices.size());
        blank();
    }
    if (o.ZeroTables && !lists.TablesWithNoRecords.empty()) {
        add(Separator);
        count("Empty tables count: %d.", lists.TablesWithNoRecords.size());
        blank();
    }

    // Header, database, blank, workload and its blank, page size and its
    // blank: nothing else was found.
    if (lines.size() == 7) {
        blank();
        add(NoRecommendations);
        blank();
    }

    add(Separator);
    add(std::string("Generated from Kelmaris technical support knowledgebase.") + "\r\n\r\n" +
        "You can request Kelmaris technical support here: " + MakerOptimizationUrl);
    return lines;
}

TStringList BuildRecommendations(TDatabaseInfo& db, const std::string& header) {
    return BuildRecommendations(db, ComputeProblemLists(db), header);
}

void SaveReportToFile(const TStringList& lines, const std::string& fileName) {
    std::string text;
    for (const std::string& s : lines) {
        text += s;
        text += "\r\n";
    }
    SaveFileContent(fileName, text);
}

std::string ReportFileName(const TDatabaseInfo& db) {
    // The database file's base name, whatever server prefix or folder the
    // statistics named it with.
    std::string path = SlashPath(db.DbName);
    const size_t colon = path.rfind(':');
    if (colon != std::string::npos) path = path.substr(colon + 1);
    std::string base = DbBaseName(path);
    return (base.empty() ? std::string("database") : base) + "_recommendations.txt";
}

}  // namespace dv
