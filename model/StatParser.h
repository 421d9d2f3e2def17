// The statistics reader: turns the text of the engine's statistics tool (the
// header page, then one block per table, blob group and index) into DBInfo.
//
// It reads two layouts into the same fields: the older one (one data line
// "Data pages: N, data page slots: M, average fill: F%", index lines "Depth:"
// and "Average data length:") and the one of current engines (separate
// "Pointer pages"/"Data pages" lines, "Root page: P, depth: D, ..." and extra
// lines such as "Total formats", "Clustering factor" that carry nothing the
// model keeps). Keywords are case-sensitive substrings, first occurrence.
//
// Bad table and index blocks are reported through the dialog layer with Abort
// and Ignore; other failures end the parse with one message.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "model/StatSource.h"
#include "platform/streaming/Classes.h"

namespace dv {

class TDatabaseInfo;

// One parse of one source into one model. It keeps its own look-ahead, what
// it learnt about the text and the text's number and time format, so the
// process-wide format is never touched and two parses may run side by side
// (each into its own model).
class TStatParser {
public:
    // datedByText: the text's own execution time, where it has one, dates the
    // statistics instead of the source's date (files; copying a file changes
    // its date, not what the engine printed).
    TStatParser(TDatabaseInfo& db, IStatSource* source, bool datedByText = false);
    ~TStatParser();
    TStatParser(const TStatParser&) = delete;
    TStatParser& operator=(const TStatParser&) = delete;

    // Everything the source holds; false when nothing usable was read.
    bool Parse();
    // The model's totals after Parse (as CalcDatabaseTotals makes them).
    void StoreTotals();
    // `line` is left on the header's last line, a view into the source.
    void ParseHeaderBlock(std::string_view& line);
    bool ParseRelationBlock(std::string_view firstLine);
    bool ParseBlobBlock(std::string_view firstLine);
    bool ParseIndexBlock(std::string_view firstLine);

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// Reset DBInfo with its tables and indices, read the file (or a copy of the
// lines) and compute the totals when the result is usable. A file that cannot
// be opened raises to the caller.
bool ParseStatFile(const std::string& fileName);
bool ParseStatLines(const TStringList& lines);
// Header values only: tables and indices of the previous load stay, no totals.
bool ParseStatHeaderLines(const TStringList& lines);

// The routines below run a parser over StatSource and DBInfo.
// Parses everything that StatSource holds into DBInfo; false when nothing
// usable was read.
bool ParseStatistics();

// The block routines read their following lines from StatSource. They are
// exposed for tests; ParseStatistics is the way in.
void ParseHeaderBlock(std::string& line);
bool ParseRelationBlock(const std::string& firstLine);  // false: the user chose Abort
bool ParseBlobBlock(const std::string& firstLine);      // always true
bool ParseIndexBlock(const std::string& firstLine);     // false: the user chose Abort

// The text after the first `start` up to the first `stop` of the whole line
// (the line's end when stop is empty), trimmed of blanks and control
// characters. Without `start` the text is taken from position length(start)
// (1-based), which the conversions after it normally reject.
std::string ExtractBetween(std::string_view start, std::string_view stop, std::string_view line);

// 1 .. 12 for "Jan" .. "Dec" (exact, case-sensitive); 12 for anything else.
int MonthFromName(std::string_view name);
// Index 1 .. 12; index 0 is empty.
extern const char* const StatMonthNames[13];

}  // namespace dv
