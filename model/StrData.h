// Texts that the statistics reader shows to the user or puts into the errors
// it raises. They are the program's own wording and are compared verbatim by
// the tests, so keep them exactly as they stand.
#pragma once

namespace dv {

// A table or index block that cannot be read: the name and, after CR LF, the
// line that was being read follow. Shown with Abort and Ignore.
inline constexpr const char* SErrParseRelation = "Error parsing relation ";
inline constexpr const char* SErrParseIndex = "Error parsing index ";

// The whole parse ended early, before any transaction counter was read.
inline constexpr const char* SErrParseStatistics =
    "Error parsing statistics info, maybe this is incorrect file or not statistics data at all.";
// The whole parse ended early, after the header had been read.
inline constexpr const char* SErrParseTableIndex =
    "Error parsing table/index info. Only correct information will be shown.";
// The header ended without its page size and a table follows: no table's
// sizes or fill can be computed, so the parse ends there.
inline constexpr const char* SNoPageSize =
    "Error parsing statistics info: the header has no \"Page size\" line, so its tables and indices "
    "cannot be read.";
// A complete read that found neither tables, indices nor a next transaction.
inline constexpr const char* SNoStatistics = "None statistics info was found.";

// Raised for a "Wrong ODS" header line; CR LF and the line follow.
inline constexpr const char* SWrongODS = "Server can not work with this database:";

// A list source read past its last line.
inline constexpr const char* SReadAfterEof = "Trying to read after eof!";

// Appended to the on-disk structure version for the two format types.
inline constexpr const char* SOdsType0200 = " unfinished Fifrebird 2 format";
inline constexpr const char* SOdsType0100 = " Firebird 2 format";

}  // namespace dv
