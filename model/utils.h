// Small shared routines: file version text, padding, three-way comparisons,
// the default save name of statistics, a table's column list, lookups by
// name in the model and word wrapping of hint and report texts.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "model/dkmain.h"
#include "platform/text/DateUtils.h"

namespace dv {

// "major.minor.release.build" of the version record in the file, or
// "0.0.0.0" when the file has none or cannot be read.
std::string GetFileVersionStr(const std::string& fileName);

// Blanks appended (PadRight) or put in front (PadLeft) up to width bytes;
// never shortens.
std::string PadRight(const std::string& s, int width);
std::string PadLeft(const std::string& s, int width);

// A value of any double as a whole number for display: halves to even; NaN
// gives 0 and values beyond the type are clamped to its ends (a save file
// may hold any double, and converting it unchecked would overflow).
template <class Int>
Int RoundClamped(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    // The limits as doubles: max + 1 = -min is a power of two and exact.
    constexpr double hi = -static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
    if (r >= hi) return std::numeric_limits<Int>::max();
    if (r < lo) return std::numeric_limits<Int>::min();
    return static_cast<Int>(r);
}

// Sums and differences of 64-bit counts are taken in 128 bits, where they
// cannot overflow, and shown exactly.
std::string WideIntToStr(__int128 v);

// -1 when a < b, 1 when a > b, else 0 (also for a NaN).
int CompareInt(int32_t a, int32_t b);
int CompareInt64(int64_t a, int64_t b);
int CompareDouble(double a, double b);
// The one of the three that fits the values' type.
inline int CompareValues(int32_t a, int32_t b) { return CompareInt(a, b); }
inline int CompareValues(int64_t a, int64_t b) { return CompareInt64(a, b); }
inline int CompareValues(double a, double b) { return CompareDouble(a, b); }

// Every backslash replaced by a slash.
std::string SlashPath(const std::string& path);
// The last slash-separated component up to its first dot ("C:/db/emp.old.fdb"
// gives "emp"; empty when the component begins with a dot).
std::string DbBaseName(const std::string& path);
// Default base name (no extension) for saved statistics:
// server_name_yyyymmdd_hh-mm, e.g. "dbhost_3051_Sales_20130507_14-05".
std::string MakeStatFileName(const std::string& server, const std::string& dbPath);
// The same at a given local moment.
std::string MakeStatFileName(const std::string& server, const std::string& dbPath, TDateTime now);

// One line per column, "NAME  TYPE", names padded to the longest plus 2,
// lines joined by CR LF (none after the last).
std::string FieldListText(const TRelation& r);
// MaxRecLen when above 0, else the sum of the column sizes.
int32_t MaxRecordLength(const TRelation& r);

// Whole days between the creation date and the statistics date plus one day
// (absolute difference, fraction dropped), never below 1 and never beyond
// the 32-bit range: the day count of the transactions-per-day figure, used
// by the parser, the summary, the report and the calculator alike.
int32_t StatDayCount(const TDatabaseInfo& db);

// True when the engine that wrote the statistics counts transactions in 48
// bits: from ODS 12 on, whose header page holds the high words.
bool HasWideTransactions(const TDatabaseInfo& db);

// The largest transaction number of the engine that wrote the statistics:
// 2^31 - 1 for 32-bit counters, 2^48 - 1 for 48-bit ones.
int64_t TransactionLimit(const TDatabaseInfo& db);

// Transaction number a minus b. With 32-bit counters one past 2^31 may have
// been printed negative, so two 32-bit values are subtracted modulo 2^32, as
// the engine does; with 48-bit counters the plain 64-bit difference.
int64_t TransactionGap(const TDatabaseInfo& db, int64_t a, int64_t b);

// First table / index of DBInfo with exactly that name; nullptr when none.
TRelation* FindRelation(const std::string& tableName);
TIndex* FindIndex(const std::string& indexName);

// Puts CR LF after break characters (blank, '-', tab) so that pieces keep
// within maxCol bytes; quoted text ("..." or '...') is never broken, a word
// longer than maxCol is kept whole, existing CR LF breaks are kept. UTF-8
// multi-byte characters are stepped over whole and count their bytes.
std::string WrapAtColumn(const std::string& text, int maxCol);

}  // namespace dv
