#include "model/StatParser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <cmath>

#include "model/StrData.h"
#include "model/dkmain.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/system/HeapGrowth.h"
#include "platform/system/Dialogs.h"
#include "platform/text/SysUtils.h"

namespace dv {

const char* const StatMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};


namespace {

// The statistics text's own conventions, fixed whatever the process uses.
constexpr char kDecimalSeparator = '.';
constexpr char kTimeSeparator = ':';


// Up to two lines of look-ahead: a block that meets the first line of the
// next block hands it back, and an indented first line is told by the line
// after it; the next reads return them in order.
struct LookAhead {
    std::string_view Lines[2];
    int Count = 0;
    // The last table block failed and was ignored: the index and blob blocks
    // that follow it belong to no table that was read, so they are passed
    // over instead of landing under the table before it.
    bool SkipDependents = false;
    // A line that could not be placed was ignored: the lines after it up to
    // the next first line are the rest of its block.
    bool SkipBlockLines = false;
};

// What the reader learnt about the text as a whole, for telling a text that
// ends where gstat ends from one that was cut.
struct TextShape {
    bool HeaderStarted = false;   // a line gstat prints at or before its header
    bool InHeaderBlock = false;   // "Database header page information:" seen
    bool HeaderEnded = false;
    bool SawAttributes = false;
    bool SawPageSize = false;
    bool ExecutionTime = false;   // the text began with "Gstat execution time"
    bool Completed = false;       // "Gstat completion time": nothing after it is statistics
    bool Trailer = false;         // a text after the statistics began (closing line or not)
    bool DataTables = false;      // a table's data figures were read
    // The last block read whole, for saying where a text ends.
    const char* LastKind = nullptr;   // "table" or "index"
    const std::string* LastName = nullptr;
};

// The text ended inside a block or the header, or before its closing line.
class ETextCut : public Exception {
public:
    using Exception::Exception;
};
// A block asked for a line after the last one.
class ETextEnded : public Exception {
public:
    ETextEnded() : Exception("The text ends here") {}
};

std::string CutMessage(const std::string& where) {
    return "The statistics text ends " + where + ": it was cut or is still being written";
}

// mailing a file changes its date, not what the engine printed).
struct TextDate {
    bool Wanted = false;
    bool Found = false;
    TDateTime Value = 0;
};



// Equality, not order: with a literal prefix the compiler compares in line
// instead of calling memcmp.
[[gnu::always_inline]] inline bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && std::memcmp(s.data(), prefix.data(), prefix.size()) == 0;
}

std::string_view TrimView(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string_view TrimLeftView(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    return s.substr(b);
}

// ExtractBetween without the copy: a view into `line`.
std::string_view LooseBetween(std::string_view start, std::string_view stop, std::string_view line,
                              size_t found) {
    // Positions count from 1 as in the description of the format; 0 = absent.
    const size_t p = found == std::string_view::npos ? 0 : found + 1;
    const size_t b = p + start.size();
    size_t e;
    if (stop.empty()) {
        e = line.size() + 1;
    } else {
        const size_t s = line.find(stop);
        e = s == std::string_view::npos ? 0 : s + 1;
    }
    if (e <= b) return {};
    const size_t from = b < 1 ? 0 : b - 1;
    if (from >= line.size()) return {};
    return TrimView(line.substr(from, e - b));
}

// A value's text: a line without the value's marker holds no value (a line
// cut short, a line of another kind), so that fails instead of taking the
// text from the marker's length on.
std::string_view Between(std::string_view start, std::string_view stop, std::string_view line) {
    const size_t found = start.empty() ? std::string_view::npos : line.find(start);
    if (found == std::string_view::npos && !start.empty())
        throw EConvertError("\"" + std::string(start) + "\" is missing");
    return LooseBetween(start, stop, line, found);
}

std::string_view After(std::string_view start, std::string_view line) { return Between(start, {}, line); }

// A number of the text read in place. Plain decimal digits (the engine's own
// form) are read by from_chars; any other text (a sign, hexadecimal, a value
// out of range) goes through StrToInt, which reads or refuses it as always.
// Plain digits, up to 9 (18) of them, which cannot overflow: summed without
// from_chars' test of every step.
template <class T>
bool ShortDigits(std::string_view s, T& v) {
    if (s.empty() || s.size() > (sizeof(T) == 4 ? 9 : 18)) return false;
    v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

template <class T>
[[gnu::noinline]] T LongToInt(std::string_view s) {
    T v;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty() && s[0] != '-') return v;
    if constexpr (sizeof(T) == 4)
        return StrToInt(s);
    else
        return StrToInt64(s);
}
// Plain short digits in line, anything else by the call above.
template <class T>
[[gnu::always_inline]] inline T ToInt(std::string_view s) {
    T v;
    if (ShortDigits(s, v)) return v;
    return LongToInt<T>(s);
}

int32_t IntBetween(std::string_view start, std::string_view stop, std::string_view line) {
    return ToInt<int32_t>(Between(start, stop, line));
}
int32_t IntAfter(std::string_view start, std::string_view line) { return ToInt<int32_t>(After(start, line)); }
int64_t Int64Between(std::string_view start, std::string_view stop, std::string_view line) {
    return ToInt<int64_t>(Between(start, stop, line));
}
int64_t Int64After(std::string_view start, std::string_view line) { return ToInt<int64_t>(After(start, line)); }
// Numbers of the text in the text's own format, whatever the process-wide
// separator is. "-12.34" with up to 15 digits is the quotient of two exact
// doubles, which one division rounds as from_chars does.
double ToFloat(std::string_view s) {
    static constexpr double kTens[] = {1,   1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
    const size_t first = i;
    uint64_t m = 0;  // only taken with 15 digits at most; more wrap unused
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) m = m * 10 + static_cast<unsigned>(s[i] - '0');
    size_t digits = i - first, decimals = 0;
    if (digits > 0 && i + 1 < s.size() && s[i] == '.') {
        const size_t point = ++i;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) m = m * 10 + static_cast<unsigned>(s[i] - '0');
        decimals = i - point;
        digits += decimals;
        if (decimals == 0) digits = 0;
    }
    if (digits > 0 && digits <= 15 && i == s.size()) {
        const double v = static_cast<double>(m) / kTens[decimals];
        return first ? -v : v;
    }
    double v;
    if (!TryStrToFloat(s, v, kDecimalSeparator))
        throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return v;
}
double FloatBetween(std::string_view start, std::string_view stop, std::string_view line) {
    return ToFloat(Between(start, stop, line));
}

// A block line in the exact form the engine prints it: its literal texts in
// turn with a figure (digits, '.' and '-', never empty) between each two,
// e.g. {"Average key length: ", ", compression ratio: ", ""}. A line that
// matches holds no text but the form's own, so each keyword the searches
// above look for is found where the form has it and the figure read is the
// one they would take: the form reads the line in one pass instead. Any other
// line fails to match and is read by the searches.
uint64_t Load8(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
uint32_t Load4(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Whether `text` holds `lit` at `at`: compared eight bytes at a time, the
// last eight (or four) overlapping the ones before.
[[gnu::always_inline]] inline bool HoldsAt(std::string_view text, size_t at, std::string_view lit) {
    const size_t n = lit.size();
    if (text.size() - at < n) return false;
    const char* a = text.data() + at;
    const char* b = lit.data();
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8)
            if (Load8(a + i) != Load8(b + i)) return false;
        return Load8(a + n - 8) == Load8(b + n - 8);
    }
    if (n >= 4) return Load4(a) == Load4(b) && Load4(a + n - 4) == Load4(b + n - 4);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

constexpr bool IsFigureChar(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-'; }
constexpr auto kFigureChars = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c) t[static_cast<size_t>(c)] = IsFigureChar(static_cast<char>(c));
    return t;
}();

// The length of the figure at `at`: its bytes told eight at a time (per
// byte, without carries between them: the ASCII bytes from '-' to '9' but
// '/'), the last eight of the text shifted so that what lies past its end
// reads as zero bytes, which end a figure.
[[gnu::always_inline]] inline size_t FigureLength(std::string_view text, size_t at) {
    const size_t left = text.size() - at;
    if (left == 0) return 0;
    if (text.size() < 8) {
        size_t k = at;
        while (k < text.size() && kFigureChars[static_cast<unsigned char>(text[k])]) ++k;
        return k - at;
    }
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL, kLow = ~kHigh;
    const uint64_t v = left >= 8 ? Load8(text.data() + at) : Load8(text.data() + text.size() - 8) >> (8 * (8 - left));
    const uint64_t x = v | kHigh;
    const uint64_t atLeastMinus = x - kOnes * '-', pastNine = x - kOnes * ('9' + 1);
    const uint64_t slash = v ^ (kOnes * '/');
    const uint64_t notSlash = ((slash & kLow) + kLow) | slash;
    const uint64_t figure = atLeastMinus & ~pastNine & notSlash & ~v & kHigh;
    if (const uint64_t other = ~figure & kHigh) return static_cast<size_t>(__builtin_ctzll(other)) >> 3;
    size_t k = at + 8;
    while (k < text.size() && kFigureChars[static_cast<unsigned char>(text[k])]) ++k;
    return k - at;
}

template <size_t N, size_t M>
bool MatchForm(std::string_view text, const std::string_view (&literals)[N], std::string_view (&figures)[M]) {
    static_assert(M + 1 >= N, "a figure between each two literals");
    size_t at = 0;
    for (size_t k = 0; k < N; ++k) {
        const std::string_view lit = literals[k];
        if (!HoldsAt(text, at, lit)) return false;
        at += lit.size();
        if (k + 1 == N) break;
        const size_t from = at;
        at += FigureLength(text, at);
        if (at == from) return false;
        figures[k] = std::string_view(text.data() + from, at - from);
    }
    return at == text.size();
}

// "NAME (123)" at the end of `s` (trailing blanks aside): the name before the
// blank and the digits inside the parentheses. A name may itself hold " ("
// (quoted identifiers), so the id is in the last parentheses.
struct NameId {
    std::string_view Name;
    std::string_view Digits;
};
bool SplitNameId(std::string_view s, NameId& out) {
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    if (s.size() < 4 || s.back() != ')') return false;
    size_t i = s.size() - 1;   // first digit
    while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
    if (i == s.size() - 1 || i < 2 || s[i - 1] != '(' || s[i - 2] != ' ') return false;
    out.Name = s.substr(0, i - 2);
    out.Digits = s.substr(i, s.size() - 1 - i);
    return true;
}

// The engine indents every line inside a block by four blanks or a tab (a
// tab counts wherever a blank does). A table's name may itself begin with a
// blank, so fewer than four leading blanks do not make a line indented.
bool IsBlockIndented(std::string_view line) {
    const size_t n = line.size() < 4 ? line.size() : 4;
    for (size_t i = 0; i < n; ++i) {
        if (line[i] == '\t') return true;
        if (line[i] != ' ') return false;
    }
    return n == 4;
}

// A block line's text after its indentation, told eight bytes at a time
// (per byte, without carries between them: neither a blank nor a tab).
std::string_view BlockText(std::string_view line) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL, kLow = ~kHigh;
    // The engine's two indentations first: a tab, four blanks.
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    if (line.size() > 1 && line[0] == '\t' && !isBlank(line[1])) return line.substr(1);
    if (line.size() > 4 && Load4(line.data()) == Load4("    ") && !isBlank(line[4])) return line.substr(4);
    size_t b = 0;
    for (; line.size() - b >= 8; b += 8) {
        const uint64_t v = Load8(line.data() + b);
        const uint64_t blank = v ^ (kOnes * ' '), tab = v ^ (kOnes * '\t');
        const uint64_t text = (((blank & kLow) + kLow) | blank) & (((tab & kLow) + kLow) | tab) & kHigh;
        if (text) return line.substr(b + (static_cast<size_t>(__builtin_ctzll(text)) >> 3));
    }
    while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
    return line.substr(b);
}

// Where the first '=' of `line` is (its size: none). A band line has it
// among its first sixteen bytes, told eight at a time (per byte, without
// carries between them); a longer search is left to memchr.
size_t FirstEquals(std::string_view line) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL, kLow = ~kHigh;
    size_t b = 0;
    for (; b < 16 && line.size() - b >= 8; b += 8) {
        const uint64_t v = Load8(line.data() + b) ^ (kOnes * '=');
        if (const uint64_t equals = ~(((v & kLow) + kLow) | v) & kHigh)
            return b + (static_cast<size_t>(__builtin_ctzll(equals)) >> 3);
    }
    const void* eq = std::memchr(line.data() + b, '=', line.size() - b);
    return eq ? static_cast<size_t>(static_cast<const char*>(eq) - line.data()) : line.size();
}

// The first line of a table block: not indented, shaped "NAME (id)"; the name
// may hold any text, keywords and a leading blank included. Unindented lines
// of any other shape (a completion time, a log that follows the statistics)
// are passed over.
bool IsTableFirstLine(std::string_view line) {
    NameId shape;
    return !line.empty() && !IsBlockIndented(line) && SplitNameId(line, shape) && !TrimView(shape.Name).empty();
}

// The first line of an index block: indented "Index NAME (id)".
bool IsIndexFirstLine(std::string_view line) {
    if (!IsBlockIndented(line)) return false;
    const std::string_view t = BlockText(line);
    NameId shape;
    return StartsWith(t, "Index ") && SplitNameId(t.substr(6), shape);
}

// The first line of a blob block: indented "Blob pointer ...".
bool IsBlobFirstLine(std::string_view line) {
    return IsBlockIndented(line) && StartsWith(BlockText(line), "Blob pointer");
}

// A line that cannot belong to the block being read: the start of another
// block, an unindented line, or the end of the text.
bool StartsOtherBlock(std::string_view line) {
    return line.empty() || !IsBlockIndented(line) || IsIndexFirstLine(line) || IsBlobFirstLine(line);
}

enum class FirstLine { None, Table, Index, Blob };

// Which block `line` begins. An indented "Index NAME (id)" is an index's

// A line that says the statistics are over: the closing line of current
// engines, the service trailer of others. Lines after it (a log that goes
// on) are not statistics.
bool IsEndOfStatistics(std::string_view line) {
    return !IsBlockIndented(line) && (ContainsStr(line, "Gstat completion time") || ContainsStr(line, "Service ended"));
}

// A line that a table's block or a first line of a block could begin with
// (by its shape alone).
bool BeginsABlock(const std::string_view* line) {
    if (!line) return false;
    return IsTableFirstLine(*line) || IsIndexFirstLine(*line) ||
           (IsBlockIndented(*line) && StartsWith(BlockText(*line), "Primary pointer page:"));
}

// An indented line that was meant to begin an index block ("Index" after a
// stray byte, a lost ")", an id that is no number, "NAME(4)").
bool IsDamagedIndexFirstLine(std::string_view line) {
    if (!IsBlockIndented(line)) return false;
    const size_t at = BlockText(line).find("Index ");
    return at != std::string_view::npos && at < 4;
}

// The name in a first line as far as it can be read: before the last " ("
// (or "("), else the whole text.
std::string NameAsRead(std::string_view text) {
    size_t end = text.rfind(" (");
    if (end == std::string_view::npos) end = text.rfind('(');
    if (end != std::string_view::npos) text = text.substr(0, end);
    return std::string(text);
}

// Newer engines print the data figures on several lines that begin a table's
// page section.
bool IsNewerDataLine(std::string_view line) {
    const std::string_view t = TrimLeftView(line);
    return StartsWith(t, "Average fragment length") || StartsWith(t, "Average unpacked length") ||
           StartsWith(t, "Pointer pages:") || (StartsWith(t, "Data pages:") && !ContainsStr(t, "slots"));
}

// Lines of newer engines between the data figures and the fill distribution.
bool IsNewerExtraLine(std::string_view line) {
    const std::string_view t = TrimLeftView(line);
    return StartsWith(t, "Primary pages") || StartsWith(t, "Empty pages") || StartsWith(t, "Blobs:") ||
           StartsWith(t, "Level ") || StartsWith(t, "Table size") || StartsWith(t, "Average fragment") ||
           StartsWith(t, "Average unpacked") || StartsWith(t, "Total formats");
}

// The header gave no page size, or one that is none: no table's figures can
// be computed.
class EPageSize : public Exception {
public:
    using Exception::Exception;
};

[[noreturn]] void BlockEndedEarly() { throw Exception("The block ends before its fill distribution"); }

// Reads on to the fill-distribution heading; `line` ends on it. A block cut


double SizeInMB(int32_t pages, int32_t pageSize) {
    return pages * (static_cast<double>(pageSize) / 1024) / 1024;
}

std::string Copy(std::string_view s, size_t index1, ptrdiff_t count) {
    // Copy with 1-based index, as the date fields are described.
    if (count <= 0) return {};
    const size_t from = index1 < 1 ? 0 : index1 - 1;
    if (from >= s.size()) return {};
    return std::string(s.substr(from, static_cast<size_t>(count)));
}

// A date of the header: "Mmm d, yyyy hh:mm:ss" after the keyword.
TDateTime ParseStatDate(std::string_view keyword, std::string_view line) {
    std::string d(After(keyword, line));
    std::string monthText;
    if (!d.empty()) monthText = d.substr(0, 3);
    d = Copy(d, 4, static_cast<ptrdiff_t>(d.size()) - 4);
    const size_t comma = Pos(",", d);
    const std::string dayText = Copy(d, 1, static_cast<ptrdiff_t>(comma) - 1);
    const std::string yearText = Copy(d, comma + 1, 5);
    const std::string timeText = Copy(line, line.size() < 8 ? 0 : line.size() - 7, 8);
    TDateTime time = 0;
    if (!TryStrToTime(timeText, time, kTimeSeparator)) time = 0;
    const TDateTime date = EncodeDate(StrToInt(yearText), MonthFromName(monthText), StrToInt(dayText));
    return date + time;
}

// The text's own date, when the entry point takes it (a file: copying or


// "Gstat execution time Wed Apr  4 15:30:10 2018" (the C library's date
// form, the day padded with a blank or a zero). False when any part is
// missing or out of range.
bool ParseExecutionTime(std::string_view line, TDateTime& out) {
    constexpr std::string_view marker = "Gstat execution time";
    std::string_view rest = TrimView(line);
    if (!StartsWith(rest, marker)) return false;
    rest.remove_prefix(marker.size());
    std::string_view parts[5];
    for (std::string_view& part : parts) {
        rest = TrimLeftView(rest);
        size_t e = 0;
        while (e < rest.size() && static_cast<unsigned char>(rest[e]) > ' ') ++e;
        if (e == 0) return false;
        part = rest.substr(0, e);
        rest.remove_prefix(e);
    }
    if (!TrimView(rest).empty()) return false;
    // MonthFromName answers 12 for any unknown name: only a real match counts.
    const int month = MonthFromName(parts[1]);
    const bool monthKnown = parts[1] == StatMonthNames[month];
    int32_t day = 0, year = 0;
    TDateTime date = 0, time = 0;
    const std::string_view t = parts[3];
    if (!monthKnown || !TryStrToInt(parts[2], day) || !TryStrToInt(parts[4], year) || t.size() != 8 ||
        t[2] != ':' || t[5] != ':')
        return false;
    int32_t h = 0, mi = 0, se = 0;
    if (!TryStrToInt(t.substr(0, 2), h) || !TryStrToInt(t.substr(3, 2), mi) || !TryStrToInt(t.substr(6, 2), se))
        return false;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(h, mi, se, 0, time)) return false;
    out = date + time;
    return true;
}

void ParseOdsLine(TDatabaseInfo& db, std::string_view line) {
    std::string type;
    if (ContainsStr(line, "type")) {
        type = std::string(After("type", line));
        db.ODS = std::string(Between("ODS version", "type", line));
    } else {
        db.ODS = std::string(After("ODS version", line));
    }
    const double v = ToFloat(db.ODS);
    const double major = std::floor(v);
    if (!(major >= -2147483648.0 && major < 2147483648.0)) throw EInvalidOp("Invalid floating point operation");
    // Smallint fields keep the low 16 bits of the integer, as a plain
    // assignment does.
    db.ODSMajor = static_cast<int16_t>(static_cast<int32_t>(major));
    db.ODSMinor = static_cast<int16_t>(Round32((v - major) * 10));
    if (type == "0200") db.ODS += SOdsType0200;
    else if (type == "0100") db.ODS += SOdsType0100;
}

int MessageAbortIgnore(const std::string& text) { return MessageDlg(text, mtError, mbAbortIgnore, 0); }

}  // namespace


std::string ExtractBetween(std::string_view start, std::string_view stop, std::string_view line) {
    return std::string(LooseBetween(start, stop, line, start.empty() ? std::string_view::npos : line.find(start)));
}

int MonthFromName(std::string_view name) {
    for (int m = 1; m <= 12; ++m)
        if (name == StatMonthNames[m]) return m;
    return 12;
}


// One parse: the model it fills, the source it reads and all that it knows
// about the text so far.
struct TStatParser::TState {
    TState(TDatabaseInfo& db, IStatSource* source, bool datedByText)
        : Db(db), Source(source), FreshModel(db.ComponentCount() == 0) {
        Dated.Wanted = datedByText;
    }

    TDatabaseInfo& Db;
    IStatSource* Source;
    LookAhead Pending;
    TextShape Shape;
    TextDate Dated;
    // A database line whose name a mail client wrapped, joined again.
    std::string JoinedLine;
    // The names made from the text's ids ("Relation" + id, the table's name +
    // "Index" + id) are unique by construction while each id is above every
    // id named before it: for tables in a model that owned nothing when the
    // parse began, for indices in a table this parse named. Any other name is
    // checked against its siblings.
    const bool FreshModel;
    bool TableNamed = false;
    int32_t LastTableId = 0;
    const TRelation* IndexOwner = nullptr;
    bool IndexNamed = false;
    int32_t LastIndexId = 0;
    // The totals of the tables and indices this parse added, each summed as
    // it was added.
    TModelTotals Totals;
    size_t TablesAdded = 0;
    size_t IndicesAdded = 0;
    // Looked at as each table and index is added.
    THeapGrowthHint HeapHint;

    // The totals into the model: the ones summed while reading when this
    // parse made all of the model's tables and indices (the header, and with
    // it the page size, is read before any of them), else by a walk over the
    // model.
    void StoreTotals() {
        if (Db.Relations.size() == TablesAdded && Db.Indices.size() == IndicesAdded)
            Totals.Store(Db);
        else
            CalcDatabaseTotals(Db);
    }

    // `a`, `b` and the digits of `id`, handed to `use`: on the stack (the
    // components keep such names in place, so a block of its own would only
    // be given back), in a block only when they are longer than any name made
    // from a table's name and an id.
    template <class Use>
    static void WithNumberedName(std::string_view a, std::string_view b, int32_t id, Use&& use) {
        char digits[12];
        const auto end = std::to_chars(digits, digits + sizeof digits, id).ptr;
        const size_t size = a.size() + b.size() + static_cast<size_t>(end - digits);
        char local[64];
        std::string long_;
        char* out = local;
        if (size > sizeof local) {
            long_.resize(size);
            out = long_.data();
        }
        std::copy(digits, end, std::copy(b.begin(), b.end(), std::copy(a.begin(), a.end(), out)));
        use(std::string_view(out, size));
    }

    void NameTable(TRelation& rel) {
        WithNumberedName("Relation", {}, rel.Id, [&](std::string_view name) {
            if (FreshModel && (!TableNamed || rel.Id > LastTableId)) {
                rel.SetUniqueName(name);
                TableNamed = true;
                LastTableId = rel.Id;
            } else {
                rel.SetName(name);
            }
        });
        IndexOwner = &rel;
        IndexNamed = false;
    }

    void NameIndex(TRelation& rel, TIndex& idx) {
        WithNumberedName(rel.Name(), "Index", idx.id, [&](std::string_view name) {
            if (&rel == IndexOwner && (!IndexNamed || idx.id > LastIndexId)) {
                idx.SetUniqueName(name);
                IndexNamed = true;
                LastIndexId = idx.id;
            } else {
                idx.SetName(name);
            }
        });
    }

    bool SourceEof() {
        if (Pending.Count > 0) return false;
        return !Source || Source->Eof();
    }

    // The next line. Inside a block the text's end raises ETextEnded, also when
    // only blank characters were left (a file source then hands out "").
    [[gnu::always_inline]] void NextLine(std::string_view& line, bool inBlock = true) {
        // The common case first, in line: nothing pending, a line in the
        // source (never empty unless it is the text's last).
        if (Pending.Count == 0 && Source && !Source->Eof()) {
            line = Source->ReadStatView();
            if (inBlock && line.empty() && Source->Eof()) throw ETextEnded();
            return;
        }
        NextLineSlowly(line, inBlock);
    }
    [[gnu::noinline]] void NextLineSlowly(std::string_view& line, bool inBlock) {
        LookAhead& q = Pending;
        if (q.Count > 0) {
            line = q.Lines[0];
            if (q.Count == 2) q.Lines[0] = q.Lines[1];
            --q.Count;
            return;
        }
        if (!Source || Source->Eof()) throw ETextEnded();
        line = Source->ReadStatView();
        if (inBlock && line.empty() && Source->Eof()) throw ETextEnded();
    }

    void PushBack(std::string_view line) {
        LookAhead& q = Pending;
        if (q.Count == 1) q.Lines[1] = q.Lines[0];
        q.Lines[0] = line;
        ++q.Count;
    }

    // The line after the one in hand, left to be read; null at the end.
    const std::string_view* PeekLine() {
        LookAhead& q = Pending;
        if (q.Count == 0) {
            if (!Source || Source->Eof()) return nullptr;
            q.Lines[0] = Source->ReadStatView();
            q.Count = 1;
        }
        return &q.Lines[0];
    }

    // The last line read was the text's last and had no line end: a file cut
    // in the middle of a line, whose figures may have lost digits.
    bool LastLineCutShort() { return SourceEof() && Source && Source->EndsInsideLine(); }

    // Raises when the block just read ended on a line cut short.
    void CheckNotCutShort() {
        if (LastLineCutShort()) throw ETextEnded();
    }

    // Whether a block's failure is the text's end: the line it wanted was not
    // there, or the line it failed on was the text's last and cut short.
    bool FailedAtTheEnd(const std::exception& e) {
        return dynamic_cast<const ETextEnded*>(&e) != nullptr || LastLineCutShort();
    }

    // first line only when the index's next line follows ("Root page:", older
    // engines "Depth:"): a table whose name begins with four blanks prints a line
    // of the same shape, followed by its pointer line, by its first index (index
    // statistics only) or by the next table. Any other indented "NAME (id)" is
    // such a table. At the text's end the shape decides.
    FirstLine ClassifyFirstLine(std::string_view line) {
        if (line.empty()) return FirstLine::None;
        if (!IsBlockIndented(line)) return IsTableFirstLine(line) ? FirstLine::Table : FirstLine::None;
        // As IsBlobFirstLine and IsIndexFirstLine tell it, with the text
        // after the indentation found once.
        const std::string_view text = BlockText(line);
        if (StartsWith(text, "Blob pointer")) return FirstLine::Blob;
        NameId shape;
        if (!SplitNameId(line, shape)) return FirstLine::None;
        const bool indexShape = StartsWith(text, "Index ") && SplitNameId(text.substr(6), shape);
        const std::string_view* next = PeekLine();
        if (!next) return indexShape ? FirstLine::Index : FirstLine::Table;
        const std::string_view n = BlockText(*next);
        if (IsBlockIndented(*next) && (StartsWith(n, "Root page:") || StartsWith(n, "Depth:")))
            return indexShape ? FirstLine::Index : FirstLine::None;
        return FirstLine::Table;
    }

    // short by the next one fails, and the next block is still read.
    // `known` reads an indented line's text when it is in a form of its own
    // (true), which neither begins a block nor is the heading; `examine`
    // reads every other line of the block.
    template <class K, class F>
    void ReadToFillHeading(std::string_view& line, K&& known, F&& examine) {
        for (;;) {
            if (IsBlockIndented(line)) {
                const std::string_view text = BlockText(line);
                if (known(text)) {
                    if (SourceEof()) throw ETextEnded();
                    NextLine(line);
                    continue;
                }
                // The heading itself begins no other block.
                if (StartsWith(text, "Fill distribution")) return;
            }
            if (StartsOtherBlock(line)) {
                PushBack(line);
                BlockEndedEarly();
            }
            if (ContainsStr(line, "Fill distribution")) return;
            examine(line);
            if (SourceEof()) throw ETextEnded();
            NextLine(line);
        }
    }

    // The five band lines after the heading.
    void ReadBands(std::string_view& line, int32_t& f20, int32_t& f40, int32_t& f60, int32_t& f80, int32_t& f100) {
        int32_t* bands[5] = {&f20, &f40, &f60, &f80, &f100};
        for (int32_t* band : bands) {
            NextLine(line);
            // " 0 - 19% = 5": the count after the first "= ", digits to the
            // line's end; any other line is read by the search.
            const size_t at = FirstEquals(line);
            int32_t count;
            if (at + 1 < line.size() && line[at + 1] == ' ' && ShortDigits(line.substr(at + 2), count))
                *band = count;
            else
                *band = IntAfter("= ", line);
        }
    }

    // A mail client that wraps at 76 columns breaks a long database path:
    // its line then lacks the closing quote, and the lines up to the one that
    // has it (unindented and without a label, as no header line is) are the
    // rest of the name, joined byte for byte so that a character split in two
    // is whole again.
    // The joined line is kept here; `line` is left viewing it.
    void JoinWrappedName(std::string_view& line) {
        auto closed = [](std::string_view l) {
            while (!l.empty() && (l.back() == ' ' || l.back() == '\r')) l.remove_suffix(1);
            return l.size() > 1 && l.back() == '"' && l.find('"') + 1 < l.size();
        };
        for (int parts = 0; parts < 8 && !closed(line); ++parts) {
            const std::string_view* next = PeekLine();
            if (!next || next->empty() || (*next)[0] == ' ' || ContainsStr(*next, "\t") ||
                ContainsStr(*next, ": ") || StartsWith(*next, "Database ") || StartsWith(*next, "Gstat ") ||
                IsTableFirstLine(*next))
                return;
            std::string_view part;
            NextLine(part, false);
            if (line.data() != JoinedLine.data()) JoinedLine.assign(line);
            JoinedLine += part;
            line = JoinedLine;
        }
    }

    void ExamineHeaderLine(TDatabaseInfo& db, std::string_view line) {
        // The database's file name may hold any keyword ("/db/dialecttest.fdb"):
        // its line gives the name only.
        if (ContainsStr(line, "Database \"")) {
            std::string name(After("Database \"", line));
            // The closing quote goes; a line cut before it keeps all it has.
            if (!name.empty() && name.back() == '"') name.pop_back();
            db.DbName = std::move(name);
            return;
        }
        if (Dated.Wanted && !Dated.Found && ContainsStr(line, "Gstat execution time"))
            Dated.Found = ParseExecutionTime(line, Dated.Value);
        if (ContainsStr(line, "Generation")) db.Generation = StrToInt64(After("Generation", line));
        if (ContainsStr(line, "Page size")) {
            Shape.SawPageSize = true;
            const std::string_view value = After("size", line);
            if (value.empty())
                throw EPageSize("Error parsing statistics info: the header's \"Page size\" line holds no value.");
            db.PageSize = StrToInt(value);
        }
        // 64-bit: engines from ODS 13 on count transactions in 48 bits.
        if (ContainsStr(line, "Oldest transaction")) db.OIT = StrToInt64(After("transaction", line));
        if (ContainsStr(line, "Oldest active")) db.OAT = StrToInt64(After("active", line));
        if (ContainsStr(line, "Oldest snapshot")) db.OST = StrToInt64(After("snapshot", line));
        if (ContainsStr(line, "Next transaction")) db.NxT = StrToInt64(After("transaction", line));
        if (ContainsStr(line, "dialect")) db.Dialect = IntAfter("Database dialect", line);
        if (ContainsStr(line, "Attributes")) {
            Shape.SawAttributes = true;
            db.Attrib = std::string(After("Attributes", line));
            if (ContainsStr(line, "force write")) db.FW = 1;
        }
        if (ContainsStr(line, "Wrong ODS")) throw Exception(std::string(SWrongODS) + "\r\n" + std::string(line));
        if (ContainsStr(line, "ODS version")) ParseOdsLine(db, line);
        if (ContainsStr(line, "Sweep interval")) db.Sweep = IntAfter("Sweep interval:", line);
        if (ContainsStr(line, "Write timestamp")) db.WDate = ParseStatDate("Write timestamp", line);
        if (ContainsStr(line, "Dump timestamp")) db.DDate = ParseStatDate("Dump timestamp", line);
        if (ContainsStr(line, "Creation date")) {
            db.CDate = ParseStatDate("Creation date", line);
            if (Dated.Found) db.Age = Dated.Value;
            else db.Age = Source ? Source->GetSourceDate() : Now();
            // A creation date up to two days after the statistics' date gives no
            // whole day; it counts as one.
            db.AverageTran = db.NxT / StatDayCount(db);
            if (db.AverageTran == 0) db.AverageTran = 1;
        }
    }

    void ReadNewerTablePages(TRelation& rel, std::string_view& line) {
        bool sawData = false;
        static constexpr std::string_view pointerForm[] = {"Pointer pages: ", ", data page slots: ", ""};
        static constexpr std::string_view dataForm[] = {"Data pages: ", ", average fill: ", "%"};
        // Lines with nothing the model keeps.
        static constexpr std::string_view fragmentForm[] = {
            "Average fragment length: ", ", total fragments: ", ", max fragments: ", ""};
        static constexpr std::string_view unpackedForm[] = {"Average unpacked length: ", ", compression ratio: ", ""};
        static constexpr std::string_view primaryForm[] = {
            "Primary pages: ", ", secondary pages: ", ", swept pages: ", ""};
        static constexpr std::string_view emptyForm[] = {"Empty pages: ", ", full pages: ", ""};
        std::string_view f[3];
        const auto known = [&](std::string_view text) {
            // One form a first word ("Average " by the word after it).
            const char word = text.size() > 8 && text[0] == 'A' ? text[8] : text.empty() ? 0 : text[0];
            switch (word) {
                case 'P':
                    if (MatchForm(text, pointerForm, f)) {
                        rel.PageSlots = ToInt<int32_t>(f[1]);
                        return true;
                    }
                    return MatchForm(text, primaryForm, f);
                case 'D':
                    if (!MatchForm(text, dataForm, f)) return false;
                    rel.DataPages = ToInt<int32_t>(f[0]);
                    rel.AverageFill = ToInt<int32_t>(f[1]);
                    sawData = true;
                    return true;
                case 'f': return MatchForm(text, fragmentForm, f);
                case 'u': return MatchForm(text, unpackedForm, f);
                case 'E': return MatchForm(text, emptyForm, f);
                default: return false;
            }
        };
        ReadToFillHeading(line, known, [&](std::string_view l) {
            const std::string_view t = TrimLeftView(l);
            if (StartsWith(t, "Pointer pages:")) {
                rel.PageSlots = IntAfter("data page slots: ", l);
            } else if (StartsWith(t, "Data pages:")) {
                rel.DataPages = IntBetween("Data pages: ", ", average", l);
                rel.AverageFill = IntBetween("fill: ", "%", l);
                sawData = true;
            }
        });
        if (!sawData) throw Exception("No data pages line");
    }

    // Whether the header gave anything: a next transaction, or the page size of
    // a header block gstat printed (a database just created has a next
    // transaction of 0); a page size line alone is no statistics.

    bool HeaderRead(const TDatabaseInfo& db) { return db.NxT != 0 || (db.PageSize != 0 && Shape.InHeaderBlock); }

    // ---------------------------------------------------------------- header

    void ParseHeaderBlock(std::string_view& line) {
        TDatabaseInfo& db = Db;
        TextShape& text = Shape;
        db.FW = 0;
        db.Sweep = 20000;
        while (!SourceEof() && !ContainsStr(line, "*END*")) {
            NextLine(line, false);
            // A header cut before its "*END*" ends at the first line that
            // belongs after it; a table's first line is then read as a table.
            if (IsTableFirstLine(line)) {
                PushBack(line);
                text.HeaderEnded = true;
                break;
            }
            if (ContainsStr(line, "Database file sequence") || ContainsStr(line, "Analyzing database pages")) {
                text.HeaderEnded = true;
                break;
            }
            // The last line of a file cut inside the header may have lost digits.
            if (LastLineCutShort()) break;
            const std::string_view t = TrimLeftView(line);
            if (ContainsStr(line, "Database header page information")) {
                text.InHeaderBlock = text.HeaderStarted = true;
            } else if (StartsWith(t, "Gstat execution time")) {
                text.HeaderStarted = true;
                if (!text.InHeaderBlock) text.ExecutionTime = true;
            } else if (ContainsStr(line, "Database \"")) {
                text.HeaderStarted = true;
                JoinWrappedName(line);
            }
            // Keywords count in the header block gstat prints. Before its
            // heading only lines indented as header lines are, and the ones gstat
            // prints there, are looked at: a console log may hold isql's
            // "Sweep interval = 20000" or "PAGE_SIZE 4096" first.
            if (text.InHeaderBlock || (!t.empty() && t.size() < line.size()) || ContainsStr(line, "Database \"") ||
                StartsWith(t, "Gstat execution time"))
                ExamineHeaderLine(db, line);
        }
        if (ContainsStr(line, "*END*")) text.HeaderEnded = true;
        if (!text.HeaderEnded && text.HeaderStarted) {
            // Forced writes were not read: the reset's "on" claims nothing.
            if (!text.SawAttributes) db.FW = 1;
            throw ETextCut(CutMessage("inside the header"));
        }
        if (text.SawPageSize && db.PageSize <= 0)
            throw EPageSize("Error parsing statistics info: the header's page size " + IntToStr(db.PageSize) +
                            " is no page size, so its tables and indices cannot be read.");
        if (Pending.Count > 0) return;   // a table's first line is waiting
        while (!SourceEof() && !ContainsStr(line, "Analyzing database pages")) {
            NextLine(line, false);
            if (IsEndOfStatistics(line)) text.Completed = true;
        }
    }

    // ---------------------------------------------------------------- tables


    void AddRelation(TDatabaseInfo& db, TRelation* rel) {
        db.Relations.push_back(rel);
        Totals.AddTable(*rel);
        ++TablesAdded;
        HeapHint.Grown();
        Shape.LastKind = "table";
        Shape.LastName = &rel->TableName;
    }

    bool ParseRelationBlock(std::string_view firstLine) {
        TDatabaseInfo& db = Db;
        Pending.SkipDependents = false;
        TRelation* rel = nullptr;
        std::string_view line;
        line = firstLine;
        std::string name;
        try {
            rel = new TRelation(&db);
            NameId shape;
            if (SplitNameId(firstLine, shape)) {
                name = rel->TableName = std::string(shape.Name);
                rel->Id = ToInt<int32_t>(shape.Digits);
            } else {
                // A damaged first line ("ORDERS (129"): the block's error, so that
                // the indices after it go to no table.
                name = NameAsRead(firstLine);
                throw EConvertError("Not a table's first line");
            }
            NameTable(*rel);

            // Index statistics only: the table's first line stands alone, followed
            // by its first index, by the next table or by the end of the text. In
            // a text with data figures a table line at the end was cut from them
            // (its shape, closed by ")", shows the line itself whole).
            bool atEnd = SourceEof();
            if (!atEnd) {
                NextLine(line, false);
                atEnd = line.empty() && SourceEof();
            }
            if (atEnd) {
                if (Shape.DataTables) throw ETextEnded();
                AddRelation(db, rel);
                return true;
            }
            // The pointer line in its form begins no other block.
            static constexpr std::string_view pointerForm[] = {"Primary pointer page: ", ", Index root page: ", ""};
            std::string_view f[3];
            const bool pointerShape = IsBlockIndented(line) && MatchForm(BlockText(line), pointerForm, f);
            const FirstLine next = pointerShape ? FirstLine::None : ClassifyFirstLine(line);
            if (next == FirstLine::Index) {
                AddRelation(db, rel);
                rel = nullptr;
                return ParseIndexBlock(line);
            }
            if (!pointerShape &&
                (line.empty() || next == FirstLine::Table || IsEndOfStatistics(line) || IsDamagedIndexFirstLine(line) ||
                 (!IsBlockIndented(line) && !ContainsStr(line, "pointer page: ")))) {
                AddRelation(db, rel);
                rel = nullptr;
                PushBack(line);
                return true;
            }

            if (pointerShape) {
                rel->PointerPage = ToInt<int32_t>(f[0]);
                rel->IndexPage = ToInt<int32_t>(f[1]);
            } else {
                rel->PointerPage = IntBetween("pointer page: ", ", Index", line);
                rel->IndexPage = IntAfter("root page: ", line);
            }
            Shape.DataTables = true;

            NextLine(line);
            if (ContainsStr(line, "Total formats")) NextLine(line);
            static constexpr std::string_view recordForm[] = {"Average record length: ", ", total records: ", ""};
            static constexpr std::string_view recordMaxForm[] = {
                "Average record length: ", ", total records: ", ", max record length: ", ""};
            static constexpr std::string_view versionForm[] = {
                "Average version length: ", ", total versions: ", ", max versions: ", ""};
            const bool records = MatchForm(BlockText(line), recordForm, f);
            const bool recordsMax = !records && MatchForm(BlockText(line), recordMaxForm, f);
            if (records || recordsMax || ContainsStr(line, "records")) {
                db.IsRecordInfoAvailable = true;
                if (records || recordsMax) {
                    rel->RecLen = ToFloat(f[0]);
                    rel->Records = ToInt<int64_t>(f[1]);
                    if (recordsMax) rel->MaxRecLen = ToInt<int32_t>(f[2]);
                } else {
                    rel->RecLen = FloatBetween("Average record length: ", ", total", line);
                    if (ContainsStr(line, "max record length")) {
                        rel->Records = Int64Between("records: ", ", max", line);
                        rel->MaxRecLen = IntAfter("max record length: ", line);
                    } else {
                        rel->Records = ToInt<int64_t>(After("records: ", line));
                    }
                }
                // Old engines print a count above 2^31 as a negative 32-bit number.
                if (rel->Records < 0) rel->Records += 4294967296LL;
                NextLine(line);
                if (MatchForm(BlockText(line), versionForm, f)) {
                    rel->VerLen = ToFloat(f[0]);
                    rel->Versions = ToInt<int64_t>(f[1]);
                    rel->MaxVer = ToInt<int32_t>(f[2]);
                } else {
                    rel->VerLen = FloatBetween("length: ", ", total", line);
                    rel->Versions = Int64Between("total versions: ", ", max", line);
                    rel->MaxVer = IntAfter("max versions: ", line);
                }
                NextLine(line);
            }

            if (IsNewerDataLine(line)) {
                ReadNewerTablePages(*rel, line);
            } else {
                rel->DataPages = IntBetween("pages: ", ", data", line);
                rel->PageSlots = IntBetween("slots: ", ", average", line);
                rel->AverageFill = IntBetween("fill: ", "%", line);
                NextLine(line);   // the heading, not examined
                if (!ContainsStr(line, "Fill distribution") && IsNewerExtraLine(line))
                    ReadToFillHeading(
                        line, [](std::string_view) { return false; }, [](std::string_view) {});
            }
            rel->SizeMB = SizeInMB(rel->DataPages, db.PageSize);
            rel->ISizeMB = 0;
            ReadBands(line, rel->Fill20, rel->Fill40, rel->Fill60, rel->Fill80, rel->Fill100);

            if (rel->Records > 0) {
                const double bytes = rel->Records * (RecordOverhead + rel->RecLen) +
                                     rel->Versions * (RecordOverhead + rel->VerLen);
                const double fill = bytes / db.PageSize / (rel->DataPages / 100.0);
                // Round raises on inf/NaN (no pages); the Integer keeps the low 32 bits.
                rel->RealFill = static_cast<int32_t>(Round(fill));
            } else if (rel->Versions > 0) {
                throw Exception("Back versions without records");
            }
            CheckNotCutShort();
            AddRelation(db, rel);
            return true;
        } catch (const ETextCut&) {
            throw;   // from the table's first index, which names itself
        } catch (const std::exception& e) {
            delete rel;
            Pending.SkipDependents = true;
            if (FailedAtTheEnd(e)) throw ETextCut(CutMessage("inside table " + name));
            return MessageAbortIgnore(SErrParseRelation + name + "\r\n" + std::string(line)) != mrAbort;
        }
    }

    // ---------------------------------------------------------------- blobs

    bool ParseBlobBlock(std::string_view) {
        TDatabaseInfo& db = Db;
        if (db.Relations.empty()) throw Exception("Blob statistics before any table");
        TRelation& rel = *db.Relations.back();
        rel.Blobs = true;
        std::string_view line;
        try {
            NextLine(line);
            rel.BAvgLen = FloatBetween("Average blob length: ", ", total", line);
            rel.BTotal = IntBetween("total blobs: ", ", max blob", line);
            rel.BMaxBLen = IntAfter("max blob length: ", line);
            NextLine(line);
            rel.BAvgSegLen = FloatBetween("Average segment length: ", ", total", line);
            rel.BSegments = IntBetween("total segments:", ", max segment length", line);
            rel.BMaxSegLen = IntAfter("max segment length: ", line);
            NextLine(line);
            rel.BPages = IntBetween("Blob pages:", ", blob page slots", line);
            rel.BSlots = IntBetween("page slots:", ", average", line);
            rel.BAvgFill = IntBetween("fill: ", "%", line);
            NextLine(line);   // the heading
            ReadBands(line, rel.BFill20, rel.BFill40, rel.BFill60, rel.BFill80, rel.BFill100);
            rel.BSizeMB = SizeInMB(rel.BPages, db.PageSize);
            CheckNotCutShort();
        } catch (const std::exception& e) {
            if (!FailedAtTheEnd(e)) throw;
            // The table was read whole; its blob figures were not.
            rel.Blobs = false;
            rel.BAvgLen = rel.BAvgSegLen = rel.BSizeMB = 0;
            rel.BTotal = rel.BMaxBLen = 0;
            rel.BSegments = rel.BMaxSegLen = rel.BPages = rel.BSlots = rel.BAvgFill = 0;
            rel.BFill20 = rel.BFill40 = rel.BFill60 = rel.BFill80 = rel.BFill100 = 0;
            throw ETextCut(CutMessage("inside the blob statistics of table " + rel.TableName));
        }
        return true;
    }

    // ---------------------------------------------------------------- indices

    bool ParseIndexBlock(std::string_view firstLine) {
        TDatabaseInfo& db = Db;
        if (db.Relations.empty()) throw Exception("Index statistics before any table");
        TRelation* rel = db.Relations.back();
        TIndex* idx = new TIndex(rel);
        idx->Problem = false;
        std::string_view line;
        line = firstLine;
        try {
            const std::string_view text = BlockText(firstLine);
            const size_t p = StartsWith(text, "Index ") ? 0 : text.find("Index ");
            NameId shape;
            if (p != std::string_view::npos && SplitNameId(text.substr(p + 6), shape)) {
                idx->IndexName = std::string(shape.Name);
                idx->id = ToInt<int32_t>(shape.Digits);
            } else {
                // A damaged first line: the name as far as it can be read, then
                // the block's error.
                idx->IndexName = p != std::string_view::npos ? NameAsRead(text.substr(p + 6)) : NameAsRead(text);
                throw EConvertError("Not an index's first line");
            }

            NextLine(line);
            static constexpr std::string_view rootForm[] = {
                "Root page: ", ", depth: ", ", leaf buckets: ", ", nodes: ", ""};
            std::string_view figures[4];
            const bool rootShape = MatchForm(BlockText(line), rootForm, figures);
            if (rootShape || ContainsStr(line, "Root page:")) {
                // Newer layout: depth line, then lines up to the fill distribution
                // of which two carry figures the model keeps.
                if (rootShape) {
                    idx->Depth = ToInt<int32_t>(figures[1]);
                    idx->Leafs = ToInt<int32_t>(figures[2]);
                    idx->Nodes = ToInt<int64_t>(figures[3]);
                } else {
                    idx->Depth = IntBetween("depth: ", ", leaf", line);
                    idx->Leafs = IntBetween("buckets: ", ", nodes", line);
                    idx->Nodes = ToInt<int64_t>(After("nodes: ", line));
                }
                NextLine(line);
                bool sawDup = false;
                // The lines of current engines, each in its one form.
                static constexpr std::string_view dupForm[] = {
                    "Average node length: ", ", total dup: ", ", max dup: ", ""};
                static constexpr std::string_view keyForm[] = {"Average key length: ", ", compression ratio: ", ""};
                static constexpr std::string_view dataForm[] = {
                    "Average prefix length: ", ", average data length: ", ""};
                static constexpr std::string_view clusterForm[] = {"Clustering factor: ", ", ratio: ", ""};
                std::string_view f[3];
                const auto known = [&](std::string_view text) {
                    // One form a first word ("Average " by the word after it).
                    const char word = text.size() > 8 && text[0] == 'A' ? text[8] : text.empty() ? 0 : text[0];
                    switch (word) {
                        case 'n':
                            if (!MatchForm(text, dupForm, f)) return false;
                            idx->TotalDup = ToInt<int64_t>(f[1]);
                            idx->MaxDup = ToInt<int64_t>(f[2]);
                            sawDup = true;
                            return true;
                        case 'p':
                            if (!MatchForm(text, dataForm, f)) return false;
                            idx->KeyLen = ToFloat(f[1]);
                            return true;
                        case 'k': return MatchForm(text, keyForm, f);
                        case 'C': return MatchForm(text, clusterForm, f);
                        default: return false;
                    }
                };
                ReadToFillHeading(line, known, [&](std::string_view l) {
                    if (ContainsStr(l, "segment null")) {
                        idx->NullSeg = IntAfter("segment null:", l);
                        db.IsNullSegInfoAvailable = true;
                    }
                    if (ContainsStr(l, "total dup: ")) {
                        idx->TotalDup = Int64Between("total dup: ", ", max", l);
                        idx->MaxDup = Int64After("max dup: ", l);
                        sawDup = true;
                    }
                    if (ContainsStr(l, "average data length: "))
                        idx->KeyLen = ToFloat(After("average data length: ", l));
                });
                if (!sawDup) throw Exception("No duplicates line");
            } else {
                idx->Depth = IntBetween("Depth: ", ", leaf", line);
                idx->Leafs = IntBetween("buckets: ", ", nodes", line);
                idx->Nodes = StrToInt64(After("nodes: ", line));
                NextLine(line);
                if (ContainsStr(line, "segment null")) {
                    idx->NullSeg = IntAfter("segment null:", line);
                    db.IsNullSegInfoAvailable = true;
                    NextLine(line);
                } else {
                    idx->NullSeg = 0;
                }
                idx->KeyLen = FloatBetween("length: ", ", total", line);
                idx->TotalDup = Int64Between("total dup: ", ", max", line);
                idx->MaxDup = Int64After("max dup: ", line);
                NextLine(line);   // the heading, not examined
            }
            ReadBands(line, idx->Fill20, idx->Fill40, idx->Fill60, idx->Fill80, idx->Fill100);

            if (idx->Leafs > 0) {
                const double a = (idx->Fill20 / 5.0 + idx->Fill40 / 100.0 * 40 + idx->Fill60 / 100.0 * 60 +
                                  idx->Fill80 / 100.0 * 80 + idx->Fill100) / idx->Leafs;
                idx->AverageFill = static_cast<int32_t>(Round(a * 100));
            }
            // 64-bit difference that wraps like the engine's counters instead of
            // overflowing.
            idx->Uniques = static_cast<int64_t>(static_cast<uint64_t>(idx->Nodes) - static_cast<uint64_t>(idx->TotalDup));
            idx->Sel = static_cast<float>(CalcSelectivity(*idx));
            idx->SizeMb = SizeInMB(idx->Leafs, db.PageSize);
            CheckNotCutShort();
            idx->Relation = rel;
            NameIndex(*rel, *idx);
            rel->ISizeMB += idx->SizeMb;
            db.Indices.push_back(idx);
            Totals.AddIndex(*idx, db.PageSize);
            ++IndicesAdded;
            HeapHint.Grown();
            Shape.LastKind = "index";
            Shape.LastName = &idx->IndexName;
            return true;
        } catch (const std::exception& e) {
            const std::string name = idx->IndexName;
            delete idx;
            if (FailedAtTheEnd(e)) throw ETextCut(CutMessage("inside index " + name));
            // The rest of a block that broke off is not read as lines of its own.
            Pending.SkipBlockLines = true;
            return MessageAbortIgnore(SErrParseIndex + name + "\r\n" + std::string(line)) != mrAbort;
        }
    }

    // ---------------------------------------------------------------- the whole text


    // Where the text ends when it ends after its last whole block.
    std::string AfterLastRead() {
        const TextShape& t = Shape;
        if (!t.LastKind) return "after the header";
        return std::string("after ") + t.LastKind + " " + *t.LastName;
    }

    // A line of the block part that no block takes: the question block errors
    // ask; false when the user chose Abort.
    bool ReportUnplacedLine(std::string_view line) {
        std::string text;
        if (!IsBlockIndented(line)) {
            // Meant as a table's first line: its indices go to no table either.
            Pending.SkipDependents = true;
            text = SErrParseRelation + NameAsRead(line);
        } else if (IsDamagedIndexFirstLine(line)) {
            const std::string_view t = BlockText(line);
            text = SErrParseIndex + NameAsRead(t.substr(t.find("Index ") + 6));
        } else {
            text = "Error parsing the line " + AfterLastRead();
        }
        Pending.SkipBlockLines = true;
        return MessageAbortIgnore(text + "\r\n" + std::string(line)) != mrAbort;
    }

    bool Parse() {
        TDatabaseInfo& db = Db;
        Pending = LookAhead();
        Shape = TextShape();
        Totals = TModelTotals();
        TablesAdded = IndicesAdded = 0;
        bool result = true;
        std::string_view line;
        try {
            ParseHeaderBlock(line);
            while (!SourceEof()) {
                NextLine(line, false);
                if (Shape.Completed || Shape.Trailer || line.empty()) continue;
                // Each kind of line by its place and whole shape: a table's
                // first line is unindented (or told by the line after it), an
                // index's or blob's is indented.
                const FirstLine kind = ClassifyFirstLine(line);
                if (kind == FirstLine::Table) {
                    Pending.SkipBlockLines = false;
                    if (db.PageSize <= 0) throw EPageSize(SNoPageSize);
                    if (!ParseRelationBlock(line)) throw EAbort("Aborted");
                    continue;
                }
                if (kind == FirstLine::None) {
                    if (IsEndOfStatistics(line)) {
                        Shape.Completed = true;
                        continue;
                    }
                    // The text's last line, cut inside the next block's first.
                    if (LastLineCutShort()) throw ETextCut(CutMessage(AfterLastRead()));
                    // Lines of a block that broke off (a wrapped line's second
                    // half too) are passed over with it.
                    if (Pending.SkipBlockLines || (Pending.SkipDependents && IsBlockIndented(line))) continue;
                    // An unindented line that no block follows begins a text
                    // after the statistics (a validation log); one that a table's
                    // lines follow was meant as the table's first line.
                    if (!IsBlockIndented(line) && !BeginsABlock(PeekLine())) {
                        Shape.Trailer = true;
                        continue;
                    }
                    if (!ReportUnplacedLine(line)) throw EAbort("Aborted");
                    continue;
                }
                Pending.SkipBlockLines = false;
                if (Pending.SkipDependents) continue;
                if (!(kind == FirstLine::Blob ? ParseBlobBlock(line) : ParseIndexBlock(line))) throw EAbort("Aborted");
            }
            // Current engines close their text with a line of their own.
            if (db.ODSMajor >= 12 && Shape.ExecutionTime && !Shape.Completed)
                throw ETextCut(CutMessage(AfterLastRead()));
            if (db.Relations.empty() && db.Indices.empty() && !HeaderRead(db)) {
                MessageDlg(SNoStatistics, mtInformation, mbOK, 0);
                result = false;
            }
        } catch (const ETextCut& e) {
            // What was read whole stays, with a word that the rest is missing.
            MessageDlg(e.Message(), mtWarning, mbOK, 0);
            result = !db.Relations.empty() || !db.Indices.empty() || HeaderRead(db);
        } catch (const EPageSize& e) {
            // Said once, for the header, instead of blaming every table line
            // whose figures need the page size.
            MessageDlg(e.Message(), mtError, mbOK, 0);
            result = HeaderRead(db);
        } catch (const std::exception&) {
            if (!HeaderRead(db)) {
                MessageDlg(SErrParseStatistics, mtError, mbOK, 0);
                result = false;
            } else {
                MessageDlg(SErrParseTableIndex, mtError, mbOK, 0);
            }
        }
        Pending = LookAhead();
        Shape = TextShape();
        return result;
    }
};

TStatParser::TStatParser(TDatabaseInfo& db, IStatSource* source, bool datedByText)
    : F(std::make_unique<TState>(db, source, datedByText)) {}
TStatParser::~TStatParser() = default;

bool TStatParser::Parse() { return F->Parse(); }
void TStatParser::StoreTotals() { F->StoreTotals(); }
void TStatParser::ParseHeaderBlock(std::string_view& line) { F->ParseHeaderBlock(line); }
bool TStatParser::ParseRelationBlock(std::string_view firstLine) { return F->ParseRelationBlock(firstLine); }
bool TStatParser::ParseBlobBlock(std::string_view firstLine) { return F->ParseBlobBlock(firstLine); }
bool TStatParser::ParseIndexBlock(std::string_view firstLine) { return F->ParseIndexBlock(firstLine); }

namespace {
// Makes a source the running one and always clears it again.
struct SourceScope {
    explicit SourceScope(std::shared_ptr<IStatSource> s) { StatSource = std::move(s); }
    ~SourceScope() { StatSource.reset(); }
    SourceScope(const SourceScope&) = delete;
    SourceScope& operator=(const SourceScope&) = delete;
};

TDatabaseInfo& Model() {
    if (!DBInfo) InitStatisticsModel();
    return *DBInfo;
}

// A parser over the running source and the global model.
TStatParser RunningParser(bool datedByText = false) { return TStatParser(Model(), StatSource.get(), datedByText); }

// The model reset with its tables and indices, then the source `makeSource`
// makes (which may raise, the model reset) read into it, with its totals when
// the result is usable.
template <class MakeSource>
bool ParseFreshModel(MakeSource makeSource, bool datedByText) {
    Model().Reset(true);
    SourceScope scope(makeSource());
    TStatParser parser = RunningParser(datedByText);
    const bool result = parser.Parse();
    if (result) parser.StoreTotals();
    return result;
}
}  // namespace

bool ParseStatistics() { return RunningParser().Parse(); }
void ParseHeaderBlock(std::string& line) {
    std::string_view view = line;
    RunningParser().ParseHeaderBlock(view);
    line.assign(view.data(), view.size());
}
bool ParseRelationBlock(const std::string& firstLine) { return RunningParser().ParseRelationBlock(firstLine); }
bool ParseBlobBlock(const std::string& firstLine) { return RunningParser().ParseBlobBlock(firstLine); }
bool ParseIndexBlock(const std::string& firstLine) { return RunningParser().ParseIndexBlock(firstLine); }

// A file's statistics are dated by the engine's own "Gstat execution time"
// line where they carry one; lists from a server keep the time of loading.
bool ParseStatFile(const std::string& fileName) {
    return ParseFreshModel([&] { return std::make_shared<TTextFileSource>(fileName); }, true);
}

bool ParseStatLines(const TStringList& lines) {
    return ParseFreshModel([&] { return std::make_shared<TStringsSource>(lines); }, false);
}

bool ParseStatHeaderLines(const TStringList& lines) {
    Model().Reset(false);
    SourceScope scope(std::make_shared<TStringsSource>(lines));
    return ParseStatistics();
}

}  // namespace dv
