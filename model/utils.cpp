#include "model/utils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/system/FileVersion.h"
#include "platform/text/SysUtils.h"

namespace dv {

std::string GetFileVersionStr(const std::string& fileName) {
    TFileVersion v;
    if (!ReadFileVersionRecord(fileName, v)) return "0.0.0.0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", unsigned{v.Major}, unsigned{v.Minor},
                  unsigned{v.Release}, unsigned{v.Build});
    return buf;
}

// Widths count characters, so that the columns of a padded list line up
// whatever the script of its names.
std::string PadRight(const std::string& s, int width) {
    const size_t chars = Utf8Length(s);
    if (width <= 0 || chars >= static_cast<size_t>(width)) return s;
    std::string r = s;
    r.append(static_cast<size_t>(width) - chars, ' ');
    return r;
}

std::string PadLeft(const std::string& s, int width) {
    const size_t chars = Utf8Length(s);
    if (width <= 0 || chars >= static_cast<size_t>(width)) return s;
    std::string r(static_cast<size_t>(width) - chars, ' ');
    r += s;
    return r;
}

int CompareInt(int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
int CompareInt64(int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
std::string WideIntToStr(__int128 v) {
    const bool negative = v < 0;
    // Digits of the magnitude, least significant first; -v cannot overflow
    // for sums and differences of 64-bit values.
    unsigned __int128 m = negative ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    std::string digits;
    do {
        digits += static_cast<char>('0' + static_cast<int>(m % 10));
        m /= 10;
    } while (m);
    if (negative) digits += '-';
    return std::string(digits.rbegin(), digits.rend());
}

int CompareDouble(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

std::string SlashPath(const std::string& path) {
    std::string r = path;
    std::replace(r.begin(), r.end(), '\\', '/');
    return r;
}

std::string DbBaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find('.', start);
    return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

std::string MakeStatFileName(const std::string& server, const std::string& dbPath) {
    return MakeStatFileName(server, dbPath, Now());
}

std::string MakeStatFileName(const std::string& server, const std::string& dbPath, TDateTime now) {
    // A port written after a slash stays, joined by "_"; a leading slash stays.
    std::string s = server;
    const size_t slash = s.find('/');
    if (slash != std::string::npos && slash >= 1) s[slash] = '_';

    const std::string p = SlashPath(dbPath);
    const size_t colon = p.find_last_of(':');
    std::string n = colon == std::string::npos ? p : p.substr(colon + 1);
    // An absolute path gives its base name; an alias or a relative name stays.
    if (!n.empty() && n[0] == '/') n = DbBaseName(p);

    int year, month, day, hour, min, sec, msec;
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, min, sec, msec);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d-%02d", year, month, day, hour, min);
    return s + "_" + n + "_" + stamp;
}

namespace {

bool IsNumericForm(const TRelationField& f) { return f.Precision != 0; }

std::string NumericText(int64_t precision, int32_t scale) {
    return "NUMERIC(" + IntToStr(precision) + "," + IntToStr(-static_cast<int64_t>(scale)) + ")";
}

// The length a column was declared with: its characters where known, else
// its bytes (single-byte character sets, older save files).
int32_t DeclaredLength(const TRelationField& f) { return f.CharLength > 0 ? f.CharLength : f.Length; }

// Type text of a column; empty for a type code we do not know.
std::string TypeText(const TRelationField& f) {
    switch (f.DataType) {
        case 7: return IsNumericForm(f) ? NumericText(f.Precision, f.Scale) : "SMALLINT";
        case 8: return IsNumericForm(f) ? NumericText(f.Precision, f.Scale) : "INTEGER";
        case 9: return "TIMESTAMP";
        case 10: return "FLOAT";
        case 12: return "DATE";
        case 13: return "TIME";
        case 14: return "CHAR(" + IntToStr(DeclaredLength(f)) + ")";
        case 16: return IsNumericForm(f) ? NumericText(f.Precision, f.Scale) : "BIGINT";
        case 17: return "BOOLEAN";
        case 27: return f.Scale != 0 ? NumericText(15, f.Scale) : "DOUBLE PRECISION";
        case 35: return "TIMESTAMP";
        case 37: return "VARCHAR(" + IntToStr(DeclaredLength(f)) + ")";
        case 45:
        case 261: return "BLOB SUBTYPE " + IntToStr(f.SubType);
        default: return {};
    }
}

int64_t FieldSize(const TRelationField& f) {
    switch (f.DataType) {
        case 7: case 8: case 10: case 12: case 13: case 17: return 4;
        case 9: case 16: case 27: case 35: case 45: case 261: return 8;
        case 14: return f.Length;
        case 37: return static_cast<int64_t>(f.Length) + 2;
        default: return 0;
    }
}

}  // namespace

std::string FieldListText(const TRelation& r) {
    size_t w = 0;
    for (const TRelationField* f : r.Fields) w = std::max(w, Utf8Length(f->FieldName));
    std::string text;
    for (const TRelationField* f : r.Fields) {
        text += PadRight(f->FieldName, static_cast<int>(w + 2));
        text += TypeText(*f);
        text += "\r\n";
    }
    if (text.size() >= 2) text.resize(text.size() - 2);
    return text;
}

int32_t MaxRecordLength(const TRelation& r) {
    if (r.MaxRecLen > 0) return r.MaxRecLen;
    // Column lengths come from a save file too; a sum beyond 32 bits is
    // clamped rather than wrapped.
    int64_t sum = 0;
    for (const TRelationField* f : r.Fields) sum += FieldSize(*f);
    sum = std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                              std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(sum);
}

TRelation* FindRelation(const std::string& tableName) {
    if (!DBInfo) return nullptr;
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == tableName) return r;
    return nullptr;
}

TIndex* FindIndex(const std::string& indexName) {
    if (!DBInfo) return nullptr;
    for (TIndex* i : DBInfo->Indices)
        if (i->IndexName == indexName) return i;
    return nullptr;
}

// ------------------------------------------------------------ WrapAtColumn

namespace {

bool IsBreakChar(char c) { return c == ' ' || c == '-' || c == '\t'; }
// A hyphen is a break only inside a word ("well-known"): a minus sign
// before its digits ("-36000") or a dash that begins a word (an option such
// as "-housekeeping") stays with what follows.
bool IsBreakAt(const std::string& s, size_t at) {
    if (s[at] != '-') return IsBreakChar(s[at]);
    const bool beforeDigit = at + 1 < s.size() && s[at + 1] >= '0' && s[at + 1] <= '9';
    const bool beginsWord = at == 0 || IsBreakChar(s[at - 1]) || s[at - 1] == '\n' || s[at - 1] == '\r';
    return !beforeDigit && !beginsWord;
}
bool IsQuoteChar(char c) { return c == '"' || c == '\''; }
bool IsLineBreakAt(const std::string& s, size_t at) {
    return at + 1 < s.size() && s[at] == '\r' && s[at + 1] == '\n';
}

// Bytes of the UTF-8 character starting with a lead byte at `at`: only the
// continuation bytes actually present count, so a broken sequence never
// swallows a following blank or quote.
size_t Utf8Width(const std::string& s, size_t at) {
    const auto lead = static_cast<unsigned char>(s[at]);
    size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead >= 0xF8) want = 1;
    size_t w = 1;
    while (w < want && at + w < s.size() && (static_cast<unsigned char>(s[at + w]) & 0xC0) == 0x80)
        ++w;
    return w;
}

}  // namespace

std::string WrapAtColumn(const std::string& text, int maxCol) {
    const size_t n = text.size();
    constexpr size_t kNone = std::numeric_limits<size_t>::max();
    std::string result;
    result.reserve(n + n / 8 + 16);

    size_t lineStart = 0;      // first character of the current piece
    size_t breakPos = kNone;   // last break character (or LF of an existing break)
    int64_t col = 1;
    char quote = 0;            // the open quote character, 0 when none
    size_t pos = 0;

    auto breakAfterStart = [&] { return breakPos != kNone && breakPos > lineStart; };

    // The last run of break characters and CR LF pairs passed over: the next
    // piece begins inside it and would pass over the same run again, which
    // on a long run of blanks or line breaks costs its length per piece.
    // From any place in the run that is not the LF of a pair the pass ends
    // at the same place with the same last thing passed over.
    size_t runFrom = 0, runEnd = 0;
    bool runEndsWithLineBreak = false;

    while (pos < n) {
        const char c = text[pos];
        const bool isLead = static_cast<unsigned char>(c) >= 0xC0;
        bool existingBreak = false;
        size_t width = 1;

        if (isLead) {
            width = Utf8Width(text, pos);
        } else {
            if (IsQuoteChar(c)) {
                if (!quote) quote = c;
                else if (c == quote) quote = 0;
            }
            if (!quote) {
                if (IsLineBreakAt(text, pos)) {
                    existingBreak = true;
                    ++pos;  // onto the LF
                    breakPos = pos;
                } else if (IsBreakAt(text, pos)) {
                    breakPos = pos;
                }
            }
        }
        pos += width;
        col += static_cast<int64_t>(width);

        if (!quote && (existingBreak || (col > maxCol && breakAfterStart()))) {
            result.append(text, lineStart, breakPos - lineStart + 1);
            col = 1;
            // Pass over the blanks and line breaks that follow. A new line
            // break is wanted unless the last thing passed over was one. When
            // a closing quote ended the piece nothing is passed over: the
            // quoted text begins the next piece and always needs its break,
            // or it would run on past maxCol.
            size_t skip = pos;
            bool lastWasLineBreak = existingBreak;
            const bool afterQuote = IsQuoteChar(c);
            if (!afterQuote && skip >= runFrom && skip < runEnd && text[skip] != '\n') {
                skip = runEnd;
                lastWasLineBreak = runEndsWithLineBreak;
            } else if (!afterQuote) {
                while (skip < n) {
                    if (IsBreakChar(text[skip])) {
                        ++skip;
                        lastWasLineBreak = false;
                    } else if (IsLineBreakAt(text, skip)) {
                        skip += 2;
                        lastWasLineBreak = true;
                    } else {
                        break;
                    }
                }
                if (skip > pos) {
                    runFrom = pos;
                    runEnd = skip;
                    runEndsWithLineBreak = lastWasLineBreak;
                }
            }
            if ((afterQuote || skip < n) && !lastWasLineBreak) result += "\r\n";
            // The passed-over characters are not dropped: the next piece
            // starts right after the break and is scanned again from there.
            lineStart = breakPos + 1;
            breakPos = lineStart;
            pos = lineStart;
        }
    }
    result.append(text, lineStart, std::string::npos);
    return result;
}

bool HasWideTransactions(const TDatabaseInfo& db) { return db.ODSMajor >= 12; }

int64_t TransactionLimit(const TDatabaseInfo& db) {
    return HasWideTransactions(db) ? (int64_t{1} << 48) - 1 : 2147483647;
}

int64_t TransactionGap(const TDatabaseInfo& db, int64_t a, int64_t b) {
    auto fits32 = [](int64_t v) { return v >= -2147483648LL && v <= 4294967295LL; };
    if (!HasWideTransactions(db) && fits32(a) && fits32(b))
        return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
    // Beyond the 32-bit range: a save file's values, kept from overflowing.
    const __int128 d = static_cast<__int128>(a) - b;
    if (d > INT64_MAX) return INT64_MAX;
    if (d < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(d);
}

int32_t StatDayCount(const TDatabaseInfo& db) {
    const double d = std::fabs(db.CDate - (db.Age + 1));
    if (!(d < 2147483647.0)) return 2147483647;   // absurd dates: no overflow
    const int32_t days = static_cast<int32_t>(d);
    return days < 1 ? 1 : days;
}

}  // namespace dv
