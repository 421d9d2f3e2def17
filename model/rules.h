// Warning rules and estimates: small predicates over one table, one index or
// the database header, judged against fixed limits and OptionSettings. The
// views call them while painting, so none allocates or looks anything up
// beyond an index's own table. The Problem marks that the problem filter
// reads are set for the whole model at once by MarkProblems, so that they
// never depend on which rows happen to have been painted.
//
// Calling convention, kept by every function here:
//   - table rules and estimates take `TRelation&`, index rules and estimates
//     `TIndex&` (non-const: a rule that fires sets Problem marks);
//   - database rules take `const TDatabaseInfo&`;
//   - table and index rules read the page size from the global DBInfo
//     (0 when there is none).
// A rule that returns true may set marks: a marking index rule marks the
// index and its table, a marking table rule its table. A rule that returns
// false never clears a mark.
//
// Arithmetic: differences of transaction counters are 32-bit below ODS 12
// (modular, so a counter that has passed 2^31 still gives the right gap) and
// 64-bit from ODS 12 on, whose counters have 48 bits; sums and
// comparisons with 64-bit fields are exact; products of two 32-bit values
// never overflow; floating expressions are evaluated in double, in the order
// written in each rule. Rounding is to the nearest integer, halves to even.
// No estimate ever converts inf or NaN to an integer: an estimate whose
// divisor is 0 or negative (possible in a hand-edited save file) gives 0, and
// a finite result beyond the result type is clamped to it. Rules that divide
// by the page size do not hold while it is not above 0 (nothing loaded).
#pragma once

#include <cstdint>

#include "model/dkmain.h"

namespace dv {

// Per-record overhead in bytes added to average record and version lengths.
inline constexpr double RecordOverhead = 17.2;

// ---- table rules
bool IsFillMismatch(TRelation& r);         // |AverageFill - RealFill| > 10
// MaxVer = 1, Versions > VersDeletes, Versions / (Records / 100) > DelPercent;
// versions left with no records at all count as a mass delete.
bool HasMassDeletes(TRelation& r);
// The text held the table's data figures (a pointer page, pages, records or
// versions); index statistics alone give none.
bool HasDataFigures(const TRelation& r);
bool IsEmptyTable(TRelation& r);           // HasDataFigures and DataPages + Records + Versions = 0
bool IsIndexLargerThanData(TRelation& r);  // SizeMB > 10 and ISizeMB >= SizeMB
bool IsBlobFragmented(TRelation& r);       // marks the table
bool HasLongVersions(TRelation& r);        // marks the table
bool IsTableNearPageLimit(TRelation& r);   // marks the table
bool IsTableUnderfilled(TRelation& r);
// Records < Versions / RecVer; marks the table. With RecVer 0 ("any back
// version is too many") it holds exactly when Versions > 0.
bool HasManyVersions(TRelation& r);

// ---- index rules (a rule that holds marks the index and its table)
bool IsUselessIndex(TIndex& i);            // Nodes > 1000 and Uniques = 1
bool IsIndexMissingKeys(TIndex& i);        // active and table's Records > Nodes; false without a table
bool HasManyDuplicates(TIndex& i);
bool HasLongDuplicateChain(TIndex& i);
bool IsIndexUnderfilled(TIndex& i);
bool IsIndexTooDeep(TIndex& i);            // Depth > IndexDepth

// ---- database rules (never mark)
bool IsSnapshotBelowOIT(const TDatabaseInfo& db);     // OST < OIT
bool IsTipOverLimit(const TDatabaseInfo& db);         // false when PageSize <= 0
bool IsNextTransactionHigh(const TDatabaseInfo& db);  // NxT > 80 % of the limit (TransactionLimit)
bool IsOitGapOverLimit(const TDatabaseInfo& db);      // NxT - OIT > 262140
bool IsActiveTransactionOld(const TDatabaseInfo& db);
bool IsSweepGapExceeded(const TDatabaseInfo& db);
bool IsOatGapWide(const TDatabaseInfo& db);

// An active index whose stored selectivity (from the server) differs from
// the computed one; what the Selectivity column colours and explains.
bool HasOutdatedSelectivity(const TIndex& i);

// ---- marks
// Clears every Problem mark of the model's tables and indices, then asks
// every marking rule that the tables, indices and summary views ask, for
// every table and every index. `indexStatsShown`: the indices view shows its
// Selectivity column, whose colour asks IndexStatsDiff of the active indices
// with a stored selectivity that differs from the computed one.
void MarkProblems(TDatabaseInfo& db, bool indexStatsShown);

// ---- estimates
// 1 / (Nodes - TotalDup) when that is above 0, else 0.
double CalcSelectivity(TIndex& i);
// How far Stats and Sel lie apart, in percent of the larger; above 10 marks
// the index and its table. 0 when the larger is not above 0.
int32_t IndexStatsDiff(TIndex& i);
// Records the data pages hold at the table's average fill. 64-bit: a big
// table holds more than 2^31 records.
int64_t EstimateRecordCapacity(TRelation& r);
// Data pages that the records and versions need.
int64_t EstimateDataPages(TRelation& r);
// EstimateDataPages as a percent of DataPages; 0 when DataPages <= 0.
int32_t EstimateRealFill(TRelation& r);

}  // namespace dv
