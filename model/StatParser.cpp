#include "StatParser.h"

#include <cmath>

#include "model/StrData.h"
#include "model/dkmain.h"
#include "model/rules.h"
#include "model/utils.h"
#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

namespace dv {

const char* const StatMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

// One line of look-ahead: a block that meets the first line of the next block
// hands it back, and the next read returns it.
struct LookAhead {
    bool Has = false;
    std::string Line;
    // The last table block failed and was ignored: the index and blob blocks
    // that follow it belong to no table that was read, so they are passed
    // over instead of landing under the table before it.
    bool SkipDependents = false;
};
LookAhead g_pending;

bool SourceEof() {
    if (g_pending.Has) return false;
    return !StatSource || StatSource->Eof();
}

void NextLine(std::string& line) {
    if (g_pending.Has) {
        line.swap(g_pending.Line);
        g_pending.Has = false;
        return;
    }
    if (!StatSource) throw Exception(SReadAfterEof);
    StatSource->ReadStatLine(line);
}

void PushBack(const std::string& line) {
    g_pending.Line = line;
    g_pending.Has = true;
}

bool Has(std::string_view line, std::string_view text) { return line.find(text) != std::string_view::npos; }

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
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
std::string_view Between(std::string_view start, std::string_view stop, std::string_view line) {
    // Positions count from 1 as in the description of the format; 0 = absent.
    const size_t found = start.empty() ? std::string_view::npos : line.find(start);
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

std::string_view After(std::string_view start, std::string_view line) { return Between(start, {}, line); }

int32_t IntBetween(std::string_view start, std::string_view stop, std::string_view line) {
    return StrToInt(Between(start, stop, line));
}
int32_t IntAfter(std::string_view start, std::string_view line) { return StrToInt(After(start, line)); }
int64_t Int64Between(std::string_view start, std::string_view stop, std::string_view line) {
    return StrToInt64(Between(start, stop, line));
}
double FloatBetween(std::string_view start, std::string_view stop, std::string_view line) {
    return StrToFloat(Between(start, stop, line));
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

// A block line's text after its indentation.
std::string_view BlockText(std::string_view line) {
    size_t b = 0;
    while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
    return line.substr(b);
}

// The first line of a table block: not indented, shaped "NAME (id)"; the name
// may hold any text, keywords and a leading blank included. Unindented lines
// of any other shape (a completion time, a log that follows the statistics)
// are passed over.
bool IsTableFirstLine(std::string_view line) {
    NameId shape;
    return !line.empty() && !IsBlockIndented(line) && SplitNameId(line, shape);
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

// Newer engines print the data figures on several lines that begin a table's
// page section.
bool IsNewerDataLine(std::string_view line) {
    const std::string_view t = TrimLeftView(line);
    return StartsWith(t, "Average fragment length") || StartsWith(t, "Average unpacked length") ||
           StartsWith(t, "Pointer pages:") || (StartsWith(t, "Data pages:") && !Has(t, "slots"));
}

// Lines of newer engines between the data figures and the fill distribution.
bool IsNewerExtraLine(std::string_view line) {
    const std::string_view t = TrimLeftView(line);
    return StartsWith(t, "Primary pages") || StartsWith(t, "Empty pages") || StartsWith(t, "Blobs:") ||
           StartsWith(t, "Level ") || StartsWith(t, "Table size") || StartsWith(t, "Average fragment") ||
           StartsWith(t, "Average unpacked") || StartsWith(t, "Total formats");
}

// The header gave no page size: no table's figures can be computed.
class ENoPageSize : public Exception {
public:
    using Exception::Exception;
};

[[noreturn]] void BlockEndedEarly() { throw Exception("The block ends before its fill distribution"); }

// Reads on to the fill-distribution heading; `line` ends on it. A block cut
// short by the next one fails, and the next block is still read.
template <class F>
void ReadToFillHeading(std::string& line, F&& examine) {
    for (;;) {
        if (StartsOtherBlock(line)) {
            PushBack(line);
            BlockEndedEarly();
        }
        if (Has(line, "Fill distribution")) return;
        examine(line);
        if (SourceEof()) BlockEndedEarly();
        NextLine(line);
    }
}

// The five band lines after the heading.
void ReadBands(std::string& line, int32_t& f20, int32_t& f40, int32_t& f60, int32_t& f80, int32_t& f100) {
    int32_t* bands[5] = {&f20, &f40, &f60, &f80, &f100};
    for (int32_t* band : bands) {
        NextLine(line);
        *band = IntAfter("= ", line);
    }
}

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
TDateTime ParseStatDate(std::string_view keyword, const std::string& line) {
    std::string d(After(keyword, line));
    std::string monthText;
    if (!d.empty()) monthText = d.substr(0, 3);
    d = Copy(d, 4, static_cast<ptrdiff_t>(d.size()) - 4);
    const size_t comma = Pos(",", d);
    const std::string dayText = Copy(d, 1, static_cast<ptrdiff_t>(comma) - 1);
    const std::string yearText = Copy(d, comma + 1, 5);
    const std::string timeText = Copy(line, line.size() < 8 ? 0 : line.size() - 7, 8);
    TDateTime time = 0;
    struct TimeSeparatorScope {
        char Saved = FormatSettings().TimeSeparator;
        TimeSeparatorScope() { FormatSettings().TimeSeparator = ':'; }
        ~TimeSeparatorScope() { FormatSettings().TimeSeparator = Saved; }
    } scope;
    if (!TryStrToTime(timeText, time)) time = 0;
    const TDateTime date = EncodeDate(StrToInt(yearText), MonthFromName(monthText), StrToInt(dayText));
    return date + time;
}

// The text's own date, when the entry point takes it (a file: copying or
// mailing a file changes its date, not what the engine printed).
struct TextDate {
    bool Wanted = false;
    bool Found = false;
    TDateTime Value = 0;
};
TextDate g_textDate;

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

void ParseOdsLine(TDatabaseInfo& db, const std::string& line) {
    std::string type;
    if (Has(line, "type")) {
        type = std::string(After("type", line));
        db.ODS = std::string(Between("ODS version", "type", line));
    } else {
        db.ODS = std::string(After("ODS version", line));
    }
    const double v = StrToFloat(db.ODS);
    const double major = std::floor(v);
    if (!(major >= -2147483648.0 && major < 2147483648.0)) throw EInvalidOp("Invalid floating point operation");
    // Smallint fields keep the low 16 bits of the integer, as a plain
    // assignment does.
    db.ODSMajor = static_cast<int16_t>(static_cast<int32_t>(major));
    db.ODSMinor = static_cast<int16_t>(Round32((v - major) * 10));
    if (type == "0200") db.ODS += SOdsType0200;
    else if (type == "0100") db.ODS += SOdsType0100;
}

void ExamineHeaderLine(TDatabaseInfo& db, const std::string& line) {
    // The database's file name may hold any keyword ("/db/dialecttest.fdb"):
    // its line gives the name only.
    if (Has(line, "Database \"")) {
        std::string name(After("Database \"", line));
        if (!name.empty()) name.pop_back();
        db.DbName = std::move(name);
        return;
    }
    if (g_textDate.Wanted && !g_textDate.Found && Has(line, "Gstat execution time"))
        g_textDate.Found = ParseExecutionTime(line, g_textDate.Value);
    if (Has(line, "Generation")) db.Generation = StrToInt64(After("Generation", line));
    if (Has(line, "Page size")) db.PageSize = IntAfter("size", line);
    // 64-bit: engines from ODS 13 on count transactions in 48 bits.
    if (Has(line, "Oldest transaction")) db.OIT = StrToInt64(After("transaction", line));
    if (Has(line, "Oldest active")) db.OAT = StrToInt64(After("active", line));
    if (Has(line, "Oldest snapshot")) db.OST = StrToInt64(After("snapshot", line));
    if (Has(line, "Next transaction")) db.NxT = StrToInt64(After("transaction", line));
    if (Has(line, "dialect")) db.Dialect = IntAfter("Database dialect", line);
    if (Has(line, "Attributes")) {
        db.Attrib = std::string(After("Attributes", line));
        if (Has(line, "force write")) db.FW = 1;
    }
    if (Has(line, "Wrong ODS")) throw Exception(std::string(SWrongODS) + "\r\n" + line);
    if (Has(line, "ODS version")) ParseOdsLine(db, line);
    if (Has(line, "Sweep interval")) db.Sweep = IntAfter("Sweep interval:", line);
    if (Has(line, "Write timestamp")) db.WDate = ParseStatDate("Write timestamp", line);
    if (Has(line, "Dump timestamp")) db.DDate = ParseStatDate("Dump timestamp", line);
    if (Has(line, "Creation date")) {
        db.CDate = ParseStatDate("Creation date", line);
        if (g_textDate.Found) db.Age = g_textDate.Value;
        else db.Age = StatSource ? StatSource->GetSourceDate() : Now();
        // A creation date up to two days after the statistics' date gives no
        // whole day; it counts as one.
        db.AverageTran = db.NxT / StatDayCount(db);
        if (db.AverageTran == 0) db.AverageTran = 1;
    }
}

void ReadNewerTablePages(TRelation& rel, std::string& line) {
    bool sawData = false;
    ReadToFillHeading(line, [&](const std::string& l) {
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

// Whether the header gave anything. A database just created has a next
// transaction of 0, so its page size counts as well.
bool HeaderRead(const TDatabaseInfo& db) { return db.NxT != 0 || db.PageSize != 0; }

int MessageAbortIgnore(const std::string& text) { return MessageDlg(text, mtError, mbAbortIgnore, 0); }

}  // namespace

std::string ExtractBetween(std::string_view start, std::string_view stop, std::string_view line) {
    return std::string(Between(start, stop, line));
}

int MonthFromName(std::string_view name) {
    for (int m = 1; m <= 12; ++m)
        if (name == StatMonthNames[m]) return m;
    return 12;
}

// ---------------------------------------------------------------- header

void ParseHeaderBlock(std::string& line) {
    TDatabaseInfo& db = *DBInfo;
    db.FW = 0;
    db.Sweep = 20000;
    while (!SourceEof() && !Has(line, "*END*")) {
        NextLine(line);
        // A header cut before its "*END*" ends at the first line that
        // belongs after it; a table's first line is then read as a table.
        if (IsTableFirstLine(line)) {
            PushBack(line);
            return;
        }
        if (Has(line, "Database file sequence") || Has(line, "Analyzing database pages")) break;
        ExamineHeaderLine(db, line);
    }
    while (!SourceEof() && !Has(line, "Analyzing database pages")) NextLine(line);
}

// ---------------------------------------------------------------- tables

bool ParseRelationBlock(const std::string& firstLine) {
    TDatabaseInfo& db = *DBInfo;
    g_pending.SkipDependents = false;
    TRelation* rel = nullptr;
    // The line being read, for the message; kept between blocks so that its
    // buffer is not allocated again for every table.
    static std::string line;
    line = firstLine;
    std::string name;
    try {
        rel = new TRelation(&db);
        NameId shape;
        if (SplitNameId(firstLine, shape)) {
            name = rel->TableName = std::string(shape.Name);
            rel->Id = StrToInt(shape.Digits);
        } else {
            const size_t p = Pos(" (", firstLine);
            name = rel->TableName = p > 0 ? firstLine.substr(0, p - 1) : std::string();
            rel->Id = IntBetween("(", ")", firstLine);
        }
        rel->SetName("Relation" + IntToStr(rel->Id));

        // Index statistics only: the table's first line stands alone, followed
        // by its first index, by the next table or by the end of the text.
        if (SourceEof()) {
            db.Relations.push_back(rel);
            return true;
        }
        NextLine(line);
        if (IsIndexFirstLine(line)) {
            db.Relations.push_back(rel);
            rel = nullptr;
            return ParseIndexBlock(line);
        }
        if (line.empty() || IsTableFirstLine(line) || (!IsBlockIndented(line) && !Has(line, "pointer page: "))) {
            db.Relations.push_back(rel);
            rel = nullptr;
            PushBack(line);
            return true;
        }

        rel->PointerPage = IntBetween("pointer page: ", ", Index", line);
        rel->IndexPage = IntAfter("root page: ", line);

        NextLine(line);
        if (Has(line, "Total formats")) NextLine(line);
        if (Has(line, "records")) {
            db.IsRecordInfoAvailable = true;
            rel->RecLen = FloatBetween("Average record length: ", ", total", line);
            if (Has(line, "max record length")) {
                rel->Records = Int64Between("records: ", ", max", line);
                rel->MaxRecLen = IntAfter("max record length: ", line);
            } else {
                rel->Records = StrToInt64(After("records: ", line));
            }
            // Old engines print a count above 2^31 as a negative 32-bit number.
            if (rel->Records < 0) rel->Records += 4294967296LL;
            NextLine(line);
            rel->VerLen = FloatBetween("length: ", ", total", line);
            rel->Versions = Int64Between("total versions: ", ", max", line);
            rel->MaxVer = IntAfter("max versions: ", line);
            NextLine(line);
        }

        if (IsNewerDataLine(line)) {
            ReadNewerTablePages(*rel, line);
        } else {
            rel->DataPages = IntBetween("pages: ", ", data", line);
            rel->PageSlots = IntBetween("slots: ", ", average", line);
            rel->AverageFill = IntBetween("fill: ", "%", line);
            NextLine(line);   // the heading, not examined
            if (!Has(line, "Fill distribution") && IsNewerExtraLine(line))
                ReadToFillHeading(line, [](const std::string&) {});
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
        db.Relations.push_back(rel);
        return true;
    } catch (const std::exception&) {
        delete rel;
        g_pending.SkipDependents = true;
        return MessageAbortIgnore(SErrParseRelation + name + "\r\n" + line) != mrAbort;
    }
}

// ---------------------------------------------------------------- blobs

bool ParseBlobBlock(const std::string&) {
    TDatabaseInfo& db = *DBInfo;
    if (db.Relations.empty()) throw Exception("Blob statistics before any table");
    TRelation& rel = *db.Relations.back();
    rel.Blobs = true;
    std::string line;
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
    return true;
}

// ---------------------------------------------------------------- indices

bool ParseIndexBlock(const std::string& firstLine) {
    TDatabaseInfo& db = *DBInfo;
    if (db.Relations.empty()) throw Exception("Index statistics before any table");
    TRelation* rel = db.Relations.back();
    TIndex* idx = new TIndex(rel);
    idx->Problem = false;
    // Kept between blocks, like the table block's line.
    static std::string line;
    line = firstLine;
    try {
        const std::string_view text = BlockText(firstLine);
        const size_t p = text.find("Index ");
        NameId shape;
        if (p != std::string_view::npos && SplitNameId(text.substr(p + 6), shape)) {
            idx->IndexName = std::string(shape.Name);
            idx->id = StrToInt(shape.Digits);
        } else {
            idx->IndexName = ExtractBetween("Index ", " (", firstLine);
            idx->id = IntBetween("(", ")", firstLine);
        }

        NextLine(line);
        if (Has(line, "Root page:")) {
            // Newer layout: depth line, then lines up to the fill distribution
            // of which two carry figures the model keeps.
            idx->Depth = IntBetween("depth: ", ", leaf", line);
            idx->Leafs = IntBetween("buckets: ", ", nodes", line);
            idx->Nodes = StrToInt64(After("nodes: ", line));
            if (SourceEof()) BlockEndedEarly();
            NextLine(line);
            bool sawDup = false;
            ReadToFillHeading(line, [&](const std::string& l) {
                if (Has(l, "segment null")) {
                    idx->NullSeg = IntAfter("segment null:", l);
                    db.IsNullSegInfoAvailable = true;
                }
                if (Has(l, "total dup: ")) {
                    idx->TotalDup = IntBetween("total dup: ", ", max", l);
                    idx->MaxDup = IntAfter("max dup: ", l);
                    sawDup = true;
                }
                if (Has(l, "average data length: ")) idx->KeyLen = StrToFloat(After("average data length: ", l));
            });
            if (!sawDup) throw Exception("No duplicates line");
        } else {
            idx->Depth = IntBetween("Depth: ", ", leaf", line);
            idx->Leafs = IntBetween("buckets: ", ", nodes", line);
            idx->Nodes = StrToInt64(After("nodes: ", line));
            NextLine(line);
            if (Has(line, "segment null")) {
                idx->NullSeg = IntAfter("segment null:", line);
                db.IsNullSegInfoAvailable = true;
                NextLine(line);
            } else {
                idx->NullSeg = 0;
            }
            idx->KeyLen = FloatBetween("length: ", ", total", line);
            idx->TotalDup = IntBetween("total dup: ", ", max", line);
            idx->MaxDup = IntAfter("max dup: ", line);
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
        idx->Uniques = static_cast<int64_t>(static_cast<uint64_t>(idx->Nodes) - static_cast<uint64_t>(static_cast<int64_t>(idx->TotalDup)));
        idx->Sel = static_cast<float>(CalcSelectivity(*idx));
        idx->SizeMb = SizeInMB(idx->Leafs, db.PageSize);
        idx->Relation = rel;
        idx->SetName(rel->Name() + "Index" + IntToStr(idx->id));
        rel->ISizeMB += idx->SizeMb;
        db.Indices.push_back(idx);
        return true;
    } catch (const std::exception&) {
        const std::string name = idx->IndexName;
        delete idx;
        return MessageAbortIgnore(SErrParseIndex + name + "\r\n" + line) != mrAbort;
    }
}

// ---------------------------------------------------------------- the whole text

bool ParseStatistics() {
    if (!DBInfo) InitStatisticsModel();
    TDatabaseInfo& db = *DBInfo;
    g_pending = LookAhead();
    bool result = true;
    std::string line;
    FormatSettings().DecimalSeparator = '.';
    try {
        ParseHeaderBlock(line);
        while (!SourceEof()) {
            NextLine(line);
            // Each kind of line by its place and whole shape: a table's
            // first line is unindented, an index's or blob's is indented.
            if (IsTableFirstLine(line)) {
                if (db.PageSize <= 0) throw ENoPageSize(SNoPageSize);
                if (!ParseRelationBlock(line)) throw EAbort("Aborted");
                continue;
            }
            if (g_pending.SkipDependents) continue;
            if (IsBlobFirstLine(line)) {
                if (!ParseBlobBlock(line)) throw EAbort("Aborted");
            } else if (IsIndexFirstLine(line) && !ParseIndexBlock(line)) {
                throw EAbort("Aborted");
            }
        }
        if (db.Relations.empty() && db.Indices.empty() && !HeaderRead(db)) {
            MessageDlg(SNoStatistics, mtInformation, mbOK, 0);
            result = false;
        }
    } catch (const ENoPageSize& e) {
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
    g_pending = LookAhead();
    return result;
}

namespace {
// Makes a source the running one and always clears it again.
struct SourceScope {
    explicit SourceScope(std::shared_ptr<IStatSource> s) { StatSource = std::move(s); }
    ~SourceScope() { StatSource.reset(); }
    SourceScope(const SourceScope&) = delete;
    SourceScope& operator=(const SourceScope&) = delete;
};

// A file's statistics are dated by the engine's own "Gstat execution time"
// line where they carry one; lists from a server keep the time of loading.
struct TextDateScope {
    TextDateScope() { g_textDate = TextDate{true, false, 0}; }
    ~TextDateScope() { g_textDate = TextDate(); }
    TextDateScope(const TextDateScope&) = delete;
    TextDateScope& operator=(const TextDateScope&) = delete;
};

TDatabaseInfo& Model() {
    if (!DBInfo) InitStatisticsModel();
    return *DBInfo;
}
}  // namespace

bool ParseStatFile(const std::string& fileName) {
    Model().Reset(true);
    bool result;
    {
        SourceScope scope(std::make_shared<TTextFileSource>(fileName));
        TextDateScope textDate;
        result = ParseStatistics();
    }
    if (result) CalcDatabaseTotals(*DBInfo);
    return result;
}

bool ParseStatLines(const TStringList& lines) {
    Model().Reset(true);
    bool result;
    {
        SourceScope scope(std::make_shared<TStringsSource>(lines));
        result = ParseStatistics();
    }
    if (result) CalcDatabaseTotals(*DBInfo);
    return result;
}

bool ParseStatHeaderLines(const TStringList& lines) {
    Model().Reset(false);
    SourceScope scope(std::make_shared<TStringsSource>(lines));
    return ParseStatistics();
}

}  // namespace dv
