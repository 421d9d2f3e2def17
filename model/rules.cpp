#include "model/rules.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/options.h"
#include "model/utils.h"

namespace dv {

namespace {

int32_t CurrentPageSize() { return DBInfo ? DBInfo->PageSize : 0; }

void Mark(TRelation& r) { r.Problem = true; }

void Mark(TIndex& i) {
    i.Problem = true;
    if (i.Relation) i.Relation->Problem = true;
}

// Exact sums of 64-bit fields: a save file may hold values whose sum leaves
// the 64-bit range.
__int128 Sum(int64_t a, int64_t b) { return static_cast<__int128>(a) + b; }
__int128 Sum(int64_t a, int64_t b, int64_t c) { return static_cast<__int128>(a) + b + c; }

}  // namespace

// ------------------------------------------------------------ table rules

bool IsFillMismatch(TRelation& r) {
    return std::llabs(static_cast<int64_t>(r.AverageFill) - r.RealFill) > 10;
}

bool HasMassDeletes(TRelation& r) {
    if (r.MaxVer != 1) return false;
    if (!(r.Versions > OptionSettings.VersDeletes)) return false;
    // Versions left with no records at all: every record went, a mass delete.
    if (r.Records == 0) return true;
    return static_cast<double>(r.Versions) / (static_cast<double>(r.Records) / 100) >
           OptionSettings.DelPercent;
}

bool HasDataFigures(const TRelation& r) {
    return r.PointerPage != 0 || r.DataPages != 0 || r.Records != 0 || r.Versions != 0;
}

bool IsEmptyTable(TRelation& r) {
    // Index statistics alone give a table no pointer page and no figures:
    // that says nothing about its records.
    return HasDataFigures(r) && Sum(r.DataPages, r.Records, r.Versions) == 0;
}

bool IsIndexLargerThanData(TRelation& r) {
    return r.SizeMB > 10 && r.ISizeMB >= r.SizeMB;
}

bool IsBlobFragmented(TRelation& r) {
    if (!(r.DataPages > 100)) return false;
    const double held = static_cast<double>(Sum(r.Records, r.Versions)) * 1.44;
    if (held < static_cast<double>(EstimateRecordCapacity(r))) {
        Mark(r);
        return true;
    }
    return false;
}

bool HasLongVersions(TRelation& r) {
    if (r.Versions > 0 && r.Records > 0 &&
        r.VerLen + RecordOverhead > (r.RecLen + RecordOverhead) / 100 * OptionSettings.RecVerSize) {
        Mark(r);
        return true;
    }
    return false;
}

bool IsTableNearPageLimit(TRelation& r) {
    const int32_t ps = CurrentPageSize();
    if (ps <= 0) return false;
    // At most 2147483647 * 17.476 (page size 1): well inside 64 bits.
    const int64_t a = static_cast<int64_t>(std::ceil(2147483647.0 / ps * 17.476));
    if (a - a / 5 <= r.DataPages && r.DataPages <= a + a / 100) {
        Mark(r);
        return true;
    }
    return false;
}

bool IsTableUnderfilled(TRelation& r) {
    const int32_t ps = CurrentPageSize();
    if (ps <= 0) return false;
    return r.DataPages > 200000.0 / ps && r.AverageFill < OptionSettings.TableAvgFill &&
           r.RecLen > 24;
}

bool HasManyVersions(TRelation& r) {
    const int32_t recVer = OptionSettings.RecVer;
    bool holds;
    if (recVer == 0)
        // The limit of Versions / RecVer as RecVer falls to 0: any back
        // version exceeds a zero allowance, no versions exceed nothing.
        holds = r.Versions > 0;
    else
        holds = static_cast<double>(r.Records) < static_cast<double>(r.Versions) / recVer;
    if (holds) Mark(r);
    return holds;
}

// ------------------------------------------------------------ index rules

bool IsUselessIndex(TIndex& i) {
    if (i.Nodes > 1000 && i.Uniques == 1) {
        Mark(i);
        return true;
    }
    return false;
}

bool IsIndexMissingKeys(TIndex& i) {
    if (i.Inactive == 0 && i.Relation && i.Relation->Records > i.Nodes) {
        Mark(i);
        return true;
    }
    return false;
}

bool HasManyDuplicates(TIndex& i) {
    if (i.Nodes >= 1000 &&
        (i.TotalDup >= i.Nodes ||
         i.TotalDup > static_cast<double>(i.Nodes) / 100 * OptionSettings.KeyTotalDup)) {
        Mark(i);
        return true;
    }
    return false;
}

bool HasLongDuplicateChain(TIndex& i) {
    if (i.MaxDup > static_cast<double>(i.Nodes) / 100 * OptionSettings.KeyMaxDup &&
        i.Nodes >= 1000) {
        Mark(i);
        return true;
    }
    return false;
}

bool IsIndexUnderfilled(TIndex& i) {
    const int32_t ps = CurrentPageSize();
    if (ps <= 0) return false;
    if (i.Leafs > 50000.0 / ps && i.AverageFill < OptionSettings.AvgIdxFill) {
        Mark(i);
        return true;
    }
    return false;
}

bool IsIndexTooDeep(TIndex& i) {
    if (i.Depth > OptionSettings.IndexDepth) {
        Mark(i);
        return true;
    }
    return false;
}

// ------------------------------------------------------------ database rules

bool IsSnapshotBelowOIT(const TDatabaseInfo& db) { return db.OST < db.OIT; }

bool IsTipOverLimit(const TDatabaseInfo& db) {
    if (db.PageSize <= 0) return false;
    const bool oldOds = db.ODSMajor < 10 || (db.ODSMajor == 10 && db.ODSMinor == 0);
    if (!oldOds) return false;
    // Round(x) + 1 > 32000, kept in floating point.
    const double tipPages = static_cast<double>(db.NxT) / 4 / db.PageSize;
    return std::nearbyint(tipPages) + 1 > 32000;
}

// 80 % of the engine's limit.
bool IsNextTransactionHigh(const TDatabaseInfo& db) {
    return static_cast<double>(db.NxT) > static_cast<double>(TransactionLimit(db)) * 0.8;
}

// Counter differences go through TransactionGap so a 32-bit counter that has
// passed 2^31 still gives the right gap.
bool IsOitGapOverLimit(const TDatabaseInfo& db) {
    return TransactionGap(db, db.NxT, db.OIT) > 262140;
}

bool IsActiveTransactionOld(const TDatabaseInfo& db) {
    if (!(db.AverageTran >= 200)) return false;
    const int64_t gap = TransactionGap(db, db.NxT, db.OAT);
    if (OptionSettings.ActSweep) return gap > db.Sweep;
    const __int128 product = static_cast<__int128>(db.AverageTran) * OptionSettings.ActiveTran;
    return gap > static_cast<double>(product) / 100;
}

bool IsSweepGapExceeded(const TDatabaseInfo& db) {
    const int64_t limit = db.Sweep > 0 ? db.Sweep : db.AverageTran;
    const int64_t gap = (db.ODSMajor >= 11 || OptionSettings.FB152)
                            ? TransactionGap(db, db.OAT, db.OIT)
                            : TransactionGap(db, db.OST, db.OIT);
    return gap > limit;
}

bool IsOatGapWide(const TDatabaseInfo& db) {
    const int64_t active = TransactionGap(db, db.NxT, db.OAT);
    if (!(active > 1000)) return false;
    const int64_t oldest = db.OIT > db.OST ? db.OIT : db.OST;
    return TransactionGap(db, db.OAT, oldest) > static_cast<double>(active) / 2;
}

// ------------------------------------------------------------ marks

bool HasOutdatedSelectivity(const TIndex& i) { return i.Sel != i.Stats && i.Inactive == 0 && i.Stats >= 0; }

void MarkProblems(TDatabaseInfo& db, bool indexStatsShown) {
    for (TRelation* r : db.Relations) r->Problem = false;
    for (TIndex* i : db.Indices) i->Problem = false;
    // Each marking rule marks as a side effect of being asked; the non-marking
    // ones (fill mismatch, mass deletes, empty, underfilled table) are left out.
    for (TRelation* r : db.Relations) {
        HasManyVersions(*r);
        IsBlobFragmented(*r);
        HasLongVersions(*r);
        IsTableNearPageLimit(*r);
    }
    for (TIndex* i : db.Indices) {
        IsIndexUnderfilled(*i);
        IsIndexTooDeep(*i);
        IsUselessIndex(*i);
        IsIndexMissingKeys(*i);
        // The chain is asked only of an index with too many duplicates, as
        // every view asks it.
        if (HasManyDuplicates(*i)) HasLongDuplicateChain(*i);
        if (indexStatsShown && HasOutdatedSelectivity(*i)) IndexStatsDiff(*i);
    }
}

// ------------------------------------------------------------ estimates

double CalcSelectivity(TIndex& i) {
    const __int128 uniques = static_cast<__int128>(i.Nodes) - i.TotalDup;
    return uniques > 0 ? 1.0 / static_cast<double>(uniques) : 0.0;
}

int32_t IndexStatsDiff(TIndex& i) {
    const float larger = i.Sel > i.Stats ? i.Sel : i.Stats;
    if (!(larger > 0)) return 0;
    const double diff = std::fabs(static_cast<double>(i.Stats) - static_cast<double>(i.Sel));
    const int32_t p = RoundClamped<int32_t>(diff / (static_cast<double>(larger) / 100));
    if (p > 10) Mark(i);
    return p;
}

int64_t EstimateRecordCapacity(TRelation& r) {
    if (!(r.RecLen > 0)) return 0;
    const double len = ((RecordOverhead + r.RecLen) + r.VerLen) + RecordOverhead;
    const int32_t ps = CurrentPageSize();
    // A negative version length in a save file can bring the divisor to 0.
    if (!(len > 0) || ps <= 0) return 0;
    const int64_t bytes = static_cast<int64_t>(ps) * r.DataPages;
    return RoundClamped<int64_t>(static_cast<double>(bytes) / len / 100 * r.AverageFill);
}

int64_t EstimateDataPages(TRelation& r) {
    const int32_t ps = CurrentPageSize();
    if (ps <= 0) return 0;
    const int64_t versionBytes =
        RoundClamped<int64_t>(static_cast<double>(r.Versions) * (RecordOverhead + r.VerLen));
    const double bytes = static_cast<double>(versionBytes) +
                         static_cast<double>(r.Records) * (RecordOverhead + r.RecLen);
    return RoundClamped<int64_t>(bytes / ps);
}

int32_t EstimateRealFill(TRelation& r) {
    if (!(r.DataPages > 0)) return 0;
    return RoundClamped<int32_t>(static_cast<double>(EstimateDataPages(r)) /
                                 (static_cast<double>(r.DataPages) / 100));
}

}  // namespace dv
