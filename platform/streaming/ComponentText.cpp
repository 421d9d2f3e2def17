#include "platform/streaming/ComponentText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/stores/FileIO.h"

namespace dv {

// ---------------------------------------------------------------------------
// Writing

namespace {

// Strings are cut into pieces of this many characters (an escape counts as one).
constexpr size_t kStringPiece = 64;
// Nesting deeper than this is refused on reading, so that crafted text cannot
// exhaust the stack; real trees are three levels deep.
constexpr int kMaxDepth = 64;

// The text is made straight in the target string: its length runs ahead of
// the text by a step at a time (the step's bytes are cleared while they are
// written over soon after, still in the cache), its room grows by doubling,
// and a line costs a few stores instead of a string append (with its checks
// and copy call) for each of its pieces. Done gives the string the text's
// length.
class TextOut {
public:
    explicit TextOut(std::string& target) : FTarget(target), FStart(target.size()), FUsed(FStart) { Point(); }
    // A text left unfinished (a property's Get raised) is taken back.
    ~TextOut() {
        if (FPos) FTarget.resize(FStart);
    }
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    // A position with at least `n` free bytes behind it; Done takes the
    // position after what was written there.
    char* Need(size_t n) {
        if (static_cast<size_t>(FEnd - FPos) < n) MakeRoom(n);
        return FPos;
    }
    void Done(char* pos) { FPos = pos; }

    void Put(char c) { *Need(1) = c; ++FPos; }
    void Put(std::string_view s) {
        char* q = Need(s.size());
        std::memcpy(q, s.data(), s.size());
        FPos = q + s.size();
    }
    void Finish() {
        FTarget.resize(static_cast<size_t>(FPos - FTarget.data()));
        FPos = FEnd = nullptr;
    }

private:
    static constexpr size_t kStep = size_t(1) << 16;
    void Point() {
        FPos = FTarget.data() + FUsed;
        FEnd = FTarget.data() + FTarget.size();
    }
    void MakeRoom(size_t n) {
        FUsed = static_cast<size_t>(FPos - FTarget.data());
        const size_t size = std::max(FTarget.size() + kStep, FUsed + n);
        if (size > FTarget.capacity()) FTarget.reserve(std::max(size, FTarget.capacity() * 2));
        FTarget.resize(size);
        Point();
    }

    std::string& FTarget;
    const size_t FStart;  // what the string held before
    size_t FUsed;         // bytes of text, while the string is not pointed into
    char* FPos;
    char* FEnd;
};

// Room a scalar value takes at most: a sign, 16 digits, a point and 18
// decimals, or an exponent form, or a 64-bit integer.
constexpr size_t kScalarRoom = 48;

char* PutIndent(char* q, int level) {
    const size_t n = static_cast<size_t>(level) * 2;
    std::memset(q, ' ', n);
    return q + n;
}

char* PutCrLf(char* q) {
    q[0] = '\r';
    q[1] = '\n';
    return q + 2;
}

char* PutInt(char* q, int64_t i) { return std::to_chars(q, q + 24, i).ptr; }

void NewLine(TextOut& out, int level) {
    char* q = out.Need(2 + static_cast<size_t>(level) * 2);
    out.Done(PutIndent(PutCrLf(q), level));
}

unsigned char c8(char c) { return static_cast<unsigned char>(c); }

// A quoted run for printable characters, #nn for control characters and the
// quote; a string over 64 characters starts on its own line one level deeper
// and breaks after every 64 characters with " +". Characters, not bytes: a
// break inside a UTF-8 sequence would leave two halves that an editor saving
// the file as UTF-8 replaces.
void WriteStringValue(TextOut& out, const std::string& s, int level) {
    const size_t n = s.size();
    if (n == 0) {
        out.Put("''");
        return;
    }
    const int pieceLevel = level + 1;
    if (n > kStringPiece && Utf8Length(s) > kStringPiece) NewLine(out, pieceLevel);
    size_t i = 0;
    size_t pieceChars = 0;
    while (i < n) {
        bool lineBreak = false;
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= ' ' && c != '\'') {
            const size_t j = i;
            do {
                i += c8(s[i]) < 0x80 ? 1 : Utf8CharSize(s, i);
                ++pieceChars;
            } while (i < n && c8(s[i]) >= ' ' && s[i] != '\'' && pieceChars < kStringPiece);
            if (pieceChars >= kStringPiece) lineBreak = true;
            char* q = out.Need(i - j + 2);
            *q++ = '\'';
            std::memcpy(q, s.data() + j, i - j);
            q += i - j;
            *q++ = '\'';
            out.Done(q);
        } else {
            char* q = out.Need(4);
            *q++ = '#';
            out.Done(PutInt(q, c));
            ++i;
            if (++pieceChars >= kStringPiece) lineBreak = true;
        }
        if (lineBreak && i < n) {
            out.Put(" +");
            NewLine(out, pieceLevel);
            pieceChars = 0;
        }
    }
}

// The N significant digits of |value| (rounded) into `digits`, and the
// decimal exponent of the first digit (value = d.ddd x 10^exp).
template <size_t N>
void SignificantDigits(double value, char (&digits)[N], int& exp) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                                 static_cast<int>(N) - 1);
    const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<size_t>(r.ptr - buf)));
    digits[0] = buf[0];
    std::memcpy(digits + 1, buf + 2, N - 1);
    exp = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), r.ptr, exp);
}

// |value| x 10^k rounded to the nearest integer, halves to the even one, as
// the exact binary value gives it (what the library's correctly rounded
// conversions print): |value| = m x 2^e, so the product is m x 5^k, exact in
// 128 bits for k <= 27, shifted by e + k with the bits shifted out deciding
// the rounding. False where the result would not fit 64 bits.
bool ScaledRound(double value, int k, uint64_t& out) {
    static constexpr uint64_t kPow5[28] = {1ull,
                                           5ull,
                                           25ull,
                                           125ull,
                                           625ull,
                                           3125ull,
                                           15625ull,
                                           78125ull,
                                           390625ull,
                                           1953125ull,
                                           9765625ull,
                                           48828125ull,
                                           244140625ull,
                                           1220703125ull,
                                           6103515625ull,
                                           30517578125ull,
                                           152587890625ull,
                                           762939453125ull,
                                           3814697265625ull,
                                           19073486328125ull,
                                           95367431640625ull,
                                           476837158203125ull,
                                           2384185791015625ull,
                                           11920928955078125ull,
                                           59604644775390625ull,
                                           298023223876953125ull,
                                           1490116119384765625ull,
                                           7450580596923828125ull};
    if (k < 0 || k > 27) return false;
    const uint64_t bits = std::bit_cast<uint64_t>(value) & ~(uint64_t(1) << 63);
    const int biased = static_cast<int>(bits >> 52);
    uint64_t m = bits & ((uint64_t(1) << 52) - 1);
    int e;
    if (biased == 0) {
        e = -1074;  // subnormal
    } else {
        m |= uint64_t(1) << 52;
        e = biased - 1075;
    }
    const unsigned __int128 p = static_cast<unsigned __int128>(m) * kPow5[k];
    const int shift = e + k;
    if (shift >= 0) {
        if (shift >= 64 || (p >> (64 - shift)) != 0) return false;
        out = static_cast<uint64_t>(p << shift);
        return true;
    }
    const int right = -shift;
    if (right >= 128) {
        out = 0;  // p < 2^116: below a half
        return true;
    }
    const unsigned __int128 q = p >> right;
    const unsigned __int128 rest = p - (q << right);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (right - 1);
    const unsigned __int128 r = q + ((rest > half || (rest == half && (q & 1) != 0)) ? 1 : 0);
    if ((r >> 64) != 0) return false;
    out = static_cast<uint64_t>(r);
    return true;
}

// `n` (below 10^(2 x pairs)) as 2 x pairs digits with leading zeros.
void PutDigitPairs(char* q, uint64_t n, int pairs) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    for (int i = pairs - 1; i >= 0; --i) {
        std::memcpy(q + 2 * i, kPairs + 2 * (n % 100), 2);
        n /= 100;
    }
}

// SignificantDigits for 16 digits without the library's general conversion,
// where the first digit's exponent lies within -12..15; false elsewhere.
bool SixteenDigits(double value, char (&digits)[16], int& exp) {
    constexpr uint64_t kLow = 1000000000000000ull, kHigh = 10000000000000000ull;
    const int binExp = std::ilogb(value);
    // floor(binExp x log10(2)): the decimal exponent or one below it.
    int guess = (binExp * 78913) >> 18;
    for (int tries = 0; tries < 3; ++tries) {
        uint64_t n;
        if (!ScaledRound(value, 15 - guess, n)) return false;
        if (n >= kHigh) {
            ++guess;
        } else if (n < kLow) {
            --guess;
        } else {
            PutDigitPairs(digits, n, 8);
            exp = guess;
            return true;
        }
    }
    return false;
}

// d.dddE<exp> from n significant digits, trailing zeros dropped.
char* PutExponentForm(char* q, const char* digits, int n, int exp) {
    while (n > 1 && digits[n - 1] == '0') --n;
    *q++ = digits[0];
    if (n > 1) {
        *q++ = '.';
        std::memcpy(q, digits + 1, static_cast<size_t>(n - 1));
        q += n - 1;
    }
    *q++ = 'E';
    return std::to_chars(q, q + 8, exp).ptr;
}

char* PutStreamFloat(char* q, double value, double limit = DBL_MAX);

// Each property's indent, name and " = " at a nesting level, made once per
// property list and level, so that a line starts with one copy of a fixed
// size. A start too long for that has Size 0 and is put together in place.
class LineStarts {
public:
    struct Start {
        char Text[32] = {};
        uint8_t Size = 0;
    };

    const Start* For(const TPropList& props, int level) {
        if (FLast && FLast->Props == &props && FLast->Level == level) return FLast->Starts.data();
        for (const auto& e : FLists) {
            if (e->Props == &props && e->Level == level) {
                FLast = e.get();
                return e->Starts.data();
            }
        }
        auto e = std::make_unique<Entry>();
        e->Props = &props;
        e->Level = level;
        e->Starts.resize(props.size());
        const size_t indent = static_cast<size_t>(level) * 2;
        for (size_t i = 0; i < props.size(); ++i) {
            const std::string& name = props[i].Name;
            Start& st = e->Starts[i];
            if (indent + name.size() + 3 > sizeof st.Text) continue;
            std::memset(st.Text, ' ', indent);
            std::memcpy(st.Text + indent, name.data(), name.size());
            std::memcpy(st.Text + indent + name.size(), " = ", 3);
            st.Size = static_cast<uint8_t>(indent + name.size() + 3);
        }
        FLast = e.get();
        FLists.push_back(std::move(e));
        return FLast->Starts.data();
    }

private:
    struct Entry {
        const TPropList* Props = nullptr;
        int Level = 0;
        std::vector<Start> Starts;
    };
    std::vector<std::unique_ptr<Entry>> FLists;
    Entry* FLast = nullptr;
};

struct Writer {
    TextOut Out;
    LineStarts Starts;
    TComponent& Root;
};

// Indent, name and " = " of a property line, with room for a scalar value
// and the line end behind them.
char* PropertyStart(TextOut& out, const TPropInfo& p, const LineStarts::Start& start, int level) {
    if (start.Size != 0) {
        char* q = out.Need(sizeof start.Text + kScalarRoom + 2);
        std::memcpy(q, start.Text, sizeof start.Text);
        return q + start.Size;
    }
    char* q = out.Need(static_cast<size_t>(level) * 2 + p.Name.size() + 3 + kScalarRoom + 2);
    q = PutIndent(q, level);
    std::memcpy(q, p.Name.data(), p.Name.size());
    q += p.Name.size();
    std::memcpy(q, " = ", 3);
    return q + 3;
}

// A property's value read straight from its member where it has one.
int64_t OrdinalValue(const TComponent& c, const TPropInfo& p) {
    const TPropField& f = p.Field;
    switch (f.Kind) {
    case TPropField::Bool: return c.*f.AsBool;
    case TPropField::Byte: return c.*f.AsByte;
    case TPropField::Int16: return c.*f.AsInt16;
    case TPropField::Int32: return c.*f.AsInt32;
    case TPropField::Int64: return c.*f.AsInt64;
    default: return std::get<int64_t>(p.Get(c));
    }
}

double FloatValue(const TComponent& c, const TPropInfo& p) {
    const TPropField& f = p.Field;
    if (f.Kind == TPropField::Double) return c.*f.AsDouble;
    if (f.Kind == TPropField::Float) return c.*f.AsFloat;
    return std::get<double>(p.Get(c));
}

// `copy` holds the value of a property without a member.
const std::string& StringValue(const TComponent& c, const TPropInfo& p, std::string& copy) {
    if (p.Field.Kind == TPropField::String) return c.*p.Field.AsString;
    copy = std::get<std::string>(p.Get(c));
    return copy;
}

void WriteProperty(TextOut& out, const TComponent& comp, const TPropInfo& p, const LineStarts::Start& start,
                   int level) {
    if (!p.Stored || !p.Get) return;
    char* q;
    switch (p.Type) {
    case TPropType::Integer:
    case TPropType::Smallint:
    case TPropType::Byte: {
        const int64_t i = OrdinalValue(comp, p);
        if (p.HasDefault && i == p.Default) return;
        q = PutInt(PropertyStart(out, p, start, level), i);
        break;
    }
    case TPropType::Boolean: {
        const int64_t i = OrdinalValue(comp, p) != 0 ? 1 : 0;
        if (p.HasDefault && i == (p.Default != 0 ? 1 : 0)) return;
        q = PropertyStart(out, p, start, level);
        if (i) {
            std::memcpy(q, "True", 4);
            q += 4;
        } else {
            std::memcpy(q, "False", 5);
            q += 5;
        }
        break;
    }
    case TPropType::Int64: {
        const int64_t i = OrdinalValue(comp, p);
        if (p.HasDefault ? i == p.Default : i == 0 && !p.StoreZero) return;
        q = PutInt(PropertyStart(out, p, start, level), i);
        break;
    }
    case TPropType::Double:
    case TPropType::Single:
    case TPropType::DateTime: {
        const double d = FloatValue(comp, p);
        if (d == 0) return;
        q = PutStreamFloat(PropertyStart(out, p, start, level), d, p.Type == TPropType::Single ? FLT_MAX : DBL_MAX);
        break;
    }
    case TPropType::String: {
        std::string copy;
        const std::string& s = StringValue(comp, p, copy);
        if (s.empty()) return;
        out.Done(PropertyStart(out, p, start, level));
        WriteStringValue(out, s, level);
        q = out.Need(2);
        break;
    }
    case TPropType::List:
    case TPropType::Reference:
    default:
        return;
    }
    out.Done(PutCrLf(q));
}

void WriteObject(Writer& w, TComponent& comp, int level) {
    TextOut& out = w.Out;
    const std::string_view name = comp.Name();
    const char* cls = comp.ClassName();
    const size_t clsLen = std::strlen(cls);
    char* q = out.Need(static_cast<size_t>(level) * 2 + 7 + name.size() + 2 + clsLen + 2);
    q = PutIndent(q, level);
    std::memcpy(q, "object ", 7);
    q += 7;
    if (!name.empty()) {
        std::memcpy(q, name.data(), name.size());
        q += name.size();
        *q++ = ':';
        *q++ = ' ';
    }
    std::memcpy(q, cls, clsLen);
    out.Done(PutCrLf(q + clsLen));
    const TPropList& props = comp.Props();
    const LineStarts::Start* starts = w.Starts.For(props, level + 1);
    for (size_t i = 0; i < props.size(); ++i) WriteProperty(out, comp, props[i], starts[i], level + 1);
    // Two words of capture: the callback is made without an allocation.
    comp.GetChildren(
        [&w, level](TComponent* child) {
            if (child) WriteObject(w, *child, level + 1);
        },
        &w.Root);
    q = out.Need(static_cast<size_t>(level) * 2 + 5);
    q = PutIndent(q, level);
    std::memcpy(q, "end\r\n", 5);
    out.Done(q + 5);
}

}  // namespace

namespace {

// Writes the value at `q`, which has kScalarRoom bytes; returns the end.
// `limit` is the largest magnitude of the property's type.
char* PutStreamFloat(char* q, double value, double limit) {
    // Non-finite values cannot come from a sound statistics text, but a model
    // holding one must still save and load: they are written as the words
    // INF, -INF and NAN, which the reader takes back for floating properties.
    if (std::isnan(value)) {
        std::memcpy(q, "NAN", 3);
        return q + 3;
    }
    if (std::isinf(value)) {
        if (value < 0) *q++ = '-';
        std::memcpy(q, "INF", 3);
        return q + 3;
    }
    static constexpr char kZero[] = "0.000000000000000000";
    constexpr size_t kZeroSize = sizeof kZero - 1;
    if (value == 0) {
        std::memcpy(q, kZero, kZeroSize);
        return q + kZeroSize;
    }
    char digits[16];
    int exp = 0;
    // The values of a model lie where the exact integer rounding applies; the
    // library's conversion takes the rest. Below 1e-12 the value is in the
    // 18-decimal form whatever its digits.
    if (!SixteenDigits(std::fabs(value), digits, exp)) {
        if (std::fabs(value) < 1e-12)
            exp = -13;
        else
            SignificantDigits(value, digits, exp);
    }
    if (exp < -2) {
        // Below 0.01 the 18 decimals hold no more than 16 significant digits:
        // round once, at the 18th decimal.
        uint64_t n;
        if (ScaledRound(std::fabs(value), 18, n)) {
            if (n == 0) {
                std::memcpy(q, kZero, kZeroSize);
                return q + kZeroSize;
            }
            if (value < 0) *q++ = '-';
            *q++ = '0';
            *q++ = '.';
            PutDigitPairs(q, n, 9);
            return q + 18;
        }
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, 18);
        const std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
        if (s.find_first_not_of("0.") == std::string_view::npos) {
            std::memcpy(q, kZero, kZeroSize);
            return q + kZeroSize;
        }
        if (value < 0) *q++ = '-';
        std::memcpy(q, s.data(), s.size());
        return q + s.size();
    }
    // Sign, at most 16 digits, point, 18 decimals, exponent: within kScalarRoom.
    if (value < 0) *q++ = '-';
    if (exp >= 16) {
        // More than 16 digits before the point: d.dddE<exp>, trailing zeros
        // dropped. The few values next to the type's largest round past it
        // at 16 digits, which no reader takes back: they get 17, which
        // always read back.
        char* const start = q;
        q = PutExponentForm(start, digits, 16, exp);
        double back = 0;
        const auto r = std::from_chars(start, q, back);
        if (r.ec == std::errc() && back <= limit) return q;
        char digits17[17];
        SignificantDigits(value, digits17, exp);
        return PutExponentForm(start, digits17, 17, exp);
    }
    // 16 significant digits, the remaining decimals as zeros.
    int decimals;
    if (exp < 0) {
        *q++ = '0';
        *q++ = '.';
        std::memset(q, '0', static_cast<size_t>(-exp - 1));
        q += -exp - 1;
        std::memcpy(q, digits, 16);
        q += 16;
        decimals = -exp - 1 + 16;
    } else {
        std::memcpy(q, digits, static_cast<size_t>(exp) + 1);
        q += exp + 1;
        *q++ = '.';
        std::memcpy(q, digits + exp + 1, static_cast<size_t>(15 - exp));
        q += 15 - exp;
        decimals = 15 - exp;
    }
    std::memset(q, '0', static_cast<size_t>(18 - decimals));
    return q + (18 - decimals);
}

// Bytes a tree's text takes per component, about: reserving it up front
// spares the text copying itself as it grows (pages of a large reservation
// that are never written are never touched).
constexpr size_t kBytesPerComponent = 768;

size_t CountComponents(const TComponent& comp) {
    size_t n = 1;
    for (const TComponent* c : comp.ComponentList()) n += CountComponents(*c);
    return n;
}

}  // namespace

std::string FormatStreamFloat(double value) {
    char buf[kScalarRoom];
    return std::string(buf, PutStreamFloat(buf, value));
}

std::string WriteComponentText(TComponent& root) {
    std::string out;
    WriteComponentText(root, out);
    return out;
}

void WriteComponentText(TComponent& root, std::string& out) {
    out.reserve(out.size() + CountComponents(root) * kBytesPerComponent);
    AdviseLargeBuffer(out.data() + out.size(), out.capacity() - out.size());
    Writer w{TextOut(out), LineStarts(), root};
    WriteObject(w, root, 0);
    w.Out.Finish();
}

// ---------------------------------------------------------------------------
// Reading

namespace {

enum class Tok { End, Ident, Integer, Float, String, Symbol };

// Letters, digits and '_'.
constexpr std::array<bool, 256> kIdentChar = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= '0' && c <= '9');
    return t;
}();

// Text bytes per named object, about, in a written model (somewhat fewer
// than there are): the name table is made about large enough at once.
constexpr size_t kBytesPerName = 512;

struct Token {
    Tok Kind = Tok::End;
    // Identifier or number text, a view of the input; a decoded string, a
    // view of the reader's string buffer (valid until the next string).
    std::string_view Text;
    char Sym = 0;
    int Line = 1;
    // A plain decimal integer short enough to take no overflow check, read
    // with its digits.
    bool HasInt = false;
    int64_t Int = 0;
};

class TextReader {
public:
    TextReader(std::string_view text, TComponent& root, int firstLine)
        : FText(text), FRoot(root), FLine(firstLine), FNames(text.size() / kBytesPerName) {}
    // The text in blocks: the first window is made when the first token is.
    TextReader(const TTextSource& source, size_t blockSize, TComponent& root, int firstLine)
        : FRoot(root), FLine(firstLine), FSource(&source), FBlockSize(std::max<size_t>(blockSize, 1)), FMore(true) {}

    void Run() {
        Next();
        ExpectObjectKeyword();
        std::string_view name, cls;
        const int line = FTok.Line;
        ReadHeader(name, cls);
        NoteNames(FRoot);
        NameComponent(FRoot, name, line);
        ReadBody(FRoot, 0);
        if (FTok.Kind != Tok::End) Fail("End of text expected");
    }

private:
    [[noreturn]] void Fail(const std::string& what) const { FailAt(what, FTok.Line); }
    [[noreturn]] static void FailAt(const std::string& what, int line) {
        throw EReadError(what + " on line " + std::to_string(line));
    }

    // A component name is given once in the whole tree. The reader names
    // every object while the root owns it and only then moves it into its
    // enclosing object, so a name that repeats one held elsewhere in the
    // tree could be read once, in one order, but not back from what the
    // writer makes of it.
    void NameComponent(TComponent& comp, std::string_view name, int line) {
        if (comp.Name() == name) return;
        IndexUnindexed();
        const uint64_t hash = TNameSet::Hash(name);
        // Only the case of its own name changing never clashes.
        if (!SameText(comp.Name(), name)) CheckNameFree(name, hash, line);
        const uint64_t oldHash = comp.Name().empty() ? 0 : TNameSet::Hash(comp.Name());
        const bool hadName = !comp.Name().empty();
        try {
            FName.assign(name);
            comp.SetName(FName);
        } catch (const EComponentError& e) {
            FailAt(e.Message(), line);
        }
        if (hadName) FNames.Erase(&comp, oldHash);
        if (!name.empty()) Remember(&comp, name, hash);
    }

    // A new component's first name, an identifier (as the tokens read it)
    // already checked against the tree: free in its owner too when that is
    // in the tree (the root or the enclosing object), otherwise the owner
    // checks it. `ordered`: the name comes after every name of the tree
    // (AfterAll), is therefore free, and is hashed and indexed only when a
    // search needs it; otherwise `hash` is its hash.
    void NameNew(TComponent& comp, const TComponent& parent, std::string_view name, uint64_t hash, int line,
                 bool ordered) {
        if (name.empty()) return;
        try {
            if (comp.Owner() == &FRoot || comp.Owner() == &parent)
                comp.SetUniqueName(name);
            else
                comp.SetName(name);
        } catch (const EComponentError& e) {
            FailAt(e.Message(), line);
        }
        if (ordered) {
            FUnindexed.push_back(&comp);
            FLastName.assign(name);
        } else {
            Remember(&comp, name, hash);
        }
    }

    void CheckNameFree(std::string_view name, uint64_t hash, int line) {
        if (name.empty()) return;
        IndexUnindexed();
        if (FNames.Find(name, hash)) FailAt("A component named " + std::string(name) + " already exists", line);
    }

    void NoteNames(const TComponent& comp) {
        if (!comp.Name().empty()) Remember(&comp, comp.Name(), TNameSet::Hash(comp.Name()));
        for (const TComponent* c : comp.ComponentList()) NoteNames(*c);
    }

    void Remember(const TComponent* comp, std::string_view name, uint64_t hash) {
        FNames.Insert(comp, hash);
        if (AfterAll(name)) FLastName.assign(name);
    }

    void IndexUnindexed() {
        for (const TComponent* comp : FUnindexed) FNames.Insert(comp, TNameSet::Hash(comp->Name()));
        FUnindexed.clear();
    }

    // A name that comes after the last of the tree's names, in an order
    // whose ties are names alike but for case, is none of them and free
    // without a search. The writer's names (a stem and a running number, a
    // child's its parent's with a suffix) come in that order, so that its
    // files cost no search, a random access into a large table, per object.
    // The order: letters as upper case, a run of digits by its length, then
    // its digits (Item9 before Item10 before Item10A). Names given up by a
    // rename stay counted: the last name is an upper bound.
    bool AfterAll(std::string_view name) const { return NameOrder(name, FLastName) > 0; }

    static int NameOrder(std::string_view a, std::string_view b) {
        const auto upper = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
        // The bytes the two names share from their start compare alike
        // (passed eight at a time: a child's name begins with its parent's);
        // only the run of digits they may end inside is compared from its
        // start.
        const size_t n = std::min(a.size(), b.size());
        size_t same = 0;
        while (n - same >= 8) {
            uint64_t x, y;
            std::memcpy(&x, a.data() + same, 8);
            std::memcpy(&y, b.data() + same, 8);
            if (x != y) {
                if constexpr (std::endian::native == std::endian::little) same += std::countr_zero(x ^ y) / 8;
                break;
            }
            same += 8;
        }
        while (same < n && a[same] == b[same]) ++same;
        while (same > 0 && IsDigit(a[same - 1])) --same;
        size_t i = same, j = same;
        while (i < a.size() && j < b.size()) {
            if (IsDigit(a[i]) && IsDigit(b[j])) {
                size_t ei = i, ej = j;
                while (ei < a.size() && IsDigit(a[ei])) ++ei;
                while (ej < b.size() && IsDigit(b[ej])) ++ej;
                if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
                if (const int c = std::memcmp(a.data() + i, b.data() + j, ei - i)) return c;
                i = ei, j = ej;
                continue;
            }
            const unsigned char x = upper(a[i]), y = upper(b[j]);
            if (x != y) return x < y ? -1 : 1;
            ++i, ++j;
        }
        if (i < a.size()) return 1;
        return j < b.size() ? -1 : 0;
    }

    static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsIdentChar(char c) { return kIdentChar[static_cast<unsigned char>(c)]; }

    // A text read in blocks is looked at through a window: the bytes of the
    // current block up to its last line end. No token crosses a line end,
    // so none crosses a window's end, and only blanks lead into the next
    // window: SkipBlanks makes it, the rest of the block's last line carried
    // over. Every other place that meets the window's end before the text's
    // (FMore) leaves the line to the tokens. The old block stays while
    // tokens and views of the names already read may point into it, until
    // the reader is at the top of ReadBody's loop, where only the current
    // token, which lies in the new window, is looked at.
    struct Block {
        std::unique_ptr<char[]> Data;
        size_t Size = 0;
    };

    static Block NewBlock(size_t size) { return Block{std::unique_ptr<char[]>(new char[size]), size}; }

    // A block given up goes back to be filled again: a fresh one of a few
    // hundred kilobytes is pages new to the process, each first touch a fault.
    void Spare(Block&& b) {
        if (FSpare.size() < 4) FSpare.push_back(std::move(b));
    }

    // The next window, false at the text's end. `hold`: the old window may
    // still be pointed into (it had a token).
    bool NextWindow(bool hold) {
        if (!FMore) return false;
        const size_t carry = FFilled - FText.size();
        const size_t want = std::max(FBlockSize, carry * 2);
        Block next;
        if (!FSpare.empty()) {
            next = std::move(FSpare.back());
            FSpare.pop_back();
        }
        if (next.Size < want) next = NewBlock(want);
        if (carry != 0) std::memcpy(next.Data.get(), FBlock.Data.get() + FText.size(), carry);
        size_t filled = carry, window = 0;
        bool end = false;
        for (;;) {
            if (filled == next.Size) {
                // A line longer than the block: one twice the size.
                Block larger = NewBlock(next.Size * 2);
                std::memcpy(larger.Data.get(), next.Data.get(), filled);
                next = std::move(larger);
            }
            const size_t got = (*FSource)(next.Data.get() + filled, next.Size - filled);
            if (got == 0) {
                end = true;
                window = filled;
                break;
            }
            const void* lf = ::memrchr(next.Data.get() + filled, '\n', got);
            filled += got;
            if (lf) {
                window = static_cast<size_t>(static_cast<const char*>(lf) - next.Data.get()) + 1;
                break;
            }
        }
        if (FBlock.Data) {
            if (hold)
                FHeld.push_back(std::move(FBlock));
            else
                Spare(std::move(FBlock));
        }
        FBlock = std::move(next);
        FFilled = filled;
        FMore = !end;
        FText = std::string_view(FBlock.Data.get(), window);
        FPos = 0;
        return true;
    }

    // Nothing looks into the earlier windows any more.
    void ReleaseHeld() {
        for (Block& b : FHeld) Spare(std::move(b));
        FHeld.clear();
    }

    // Blanks are mostly a line end and an indent: eight of them are looked
    // at in one go.
    void SkipBlanks() {
        const char* p = FText.data() + FPos;
        const char* e = FText.data() + FText.size();
        bool held = false;
        if (e - p >= 2 && p[0] == '\r' && p[1] == '\n') {
            p += 2;
            ++FLine;
        }
        for (;;) {
            while (e - p >= 8) {
                uint64_t w;
                std::memcpy(&w, p, 8);
                const uint64_t notBlank = w ^ 0x2020202020202020ull;
                if (notBlank == 0) {
                    p += 8;
                    continue;
                }
                // Little-endian: the lowest byte that is not a blank is the first.
                if constexpr (std::endian::native == std::endian::little) {
                    const uint64_t bytes = (((notBlank & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | notBlank) &
                                           0x8080808080808080ull;
                    p += std::countr_zero(bytes) / 8;
                }
                break;
            }
            if (p == e) {
                // Only the first window left here may hold a token; the
                // ones after it held nothing but blanks.
                if (!NextWindow(!held)) break;
                held = true;
                p = FText.data();
                e = p + FText.size();
                continue;
            }
            const char c = *p;
            if (c == '\n') ++FLine;
            else if (c == '\0' || static_cast<unsigned char>(c) > ' ') break;
            ++p;
        }
        FPos = static_cast<size_t>(p - FText.data());
    }

    // One token: identifiers, numbers (sign, digits, fraction, exponent, or
    // '$' hexadecimal), strings (quoted runs and #nn codes, adjacent pieces
    // joined), or a single symbol character.
    void Next() {
        FPeeked = nullptr;
        SkipBlanks();
        FTok = Token();
        FTok.Line = FLine;
        if (FPos >= FText.size()) return;
        const char c = FText[FPos];
        if (IsIdentStart(c)) {
            const char* const start = FText.data() + FPos;
            const char* const e = FText.data() + FText.size();
            const char* q = start + 1;
            while (q != e && IsIdentChar(*q)) ++q;
            FPos += static_cast<size_t>(q - start);
            FTok.Kind = Tok::Ident;
            FTok.Text = std::string_view(start, static_cast<size_t>(q - start));
        } else if (IsDigit(c) || ((c == '-' || c == '+') && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1]))) {
            ReadNumber();
        } else if (c == '$') {
            const size_t start = FPos++;
            while (FPos < FText.size() && std::isxdigit(static_cast<unsigned char>(FText[FPos]))) ++FPos;
            if (FPos - start < 2) Fail("Invalid numeric value");
            FTok.Kind = Tok::Integer;
            FTok.Text = FText.substr(start, FPos - start);
        } else if (c == '\'' || c == '#') {
            ReadString();
        } else if (c == '\0' || static_cast<unsigned char>(c) >= 0x7F) {
            Fail("Invalid character");
        } else {
            FTok.Kind = Tok::Symbol;
            FTok.Sym = c;
            ++FPos;
        }
    }

    // The n bytes at a and b alike: a property name is a few words long,
    // which two overlapping loads of up to eight bytes compare.
    static bool SameBytes(const char* a, const char* b, size_t n) {
        const auto load8 = [](const char* p) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            return w;
        };
        const auto load4 = [](const char* p) {
            uint32_t w;
            std::memcpy(&w, p, 4);
            return w;
        };
        if (n > 16) return std::memcmp(a, b, n) == 0;
        if (n >= 8) return load8(a) == load8(b) && load8(a + n - 8) == load8(b + n - 8);
        if (n >= 4) return load4(a) == load4(b) && load4(a + n - 4) == load4(b + n - 4);
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
        return true;
    }

    // Next() where the next token is most likely the name of the property
    // declared after the one just read: the text is compared with that name
    // instead of being scanned. The token is the one Next() makes.
    void NextExpecting(const TPropList& props, size_t cursor) {
        if (cursor >= props.size()) return Next();
        const std::string& name = props[cursor].Name;
        SkipBlanks();
        const size_t n = name.size();
        const char* const q = FText.data() + FPos;
        if (n == 0 || FText.size() - FPos <= n || !SameBytes(q, name.data(), n) || IsIdentChar(q[n]) ||
            !IsIdentStart(q[0]) || !std::all_of(q, q + n, IsIdentChar))
            return Next();
        FPeeked = &props[cursor];
        FTok = Token();
        FTok.Line = FLine;
        FTok.Kind = Tok::Ident;
        FTok.Text = std::string_view(q, n);
        FPos += n;
    }

    void ReadNumber() {
        const size_t start = FPos;
        bool isFloat = false;
        if (FText[FPos] == '-' || FText[FPos] == '+') ++FPos;
        {
            const char* const b = FText.data() + FPos;
            const char* const e = FText.data() + FText.size();
            const char* q = b;
            while (q != e && IsDigit(*q)) ++q;
            FPos += static_cast<size_t>(q - b);
        }
        if (FPos < FText.size() && FText[FPos] == '.') {
            isFloat = true;
            ++FPos;
            while (FPos < FText.size() && IsDigit(FText[FPos])) ++FPos;
        }
        if (FPos < FText.size() && (FText[FPos] == 'e' || FText[FPos] == 'E')) {
            isFloat = true;
            ++FPos;
            if (FPos < FText.size() && (FText[FPos] == '-' || FText[FPos] == '+')) ++FPos;
            const size_t digits = FPos;
            while (FPos < FText.size() && IsDigit(FText[FPos])) ++FPos;
            if (FPos == digits) Fail("Invalid numeric value");
        }
        if (FPos < FText.size() && (IsIdentStart(FText[FPos]) || FText[FPos] == '.')) Fail("Invalid numeric value");
        FTok.Kind = isFloat ? Tok::Float : Tok::Integer;
        FTok.Text = FText.substr(start, FPos - start);
    }

    void ReadString() {
        FTok.Kind = Tok::String;
        std::string& text = FString;
        text.clear();
        while (FPos < FText.size()) {
            const char c = FText[FPos];
            if (c == '\'') {
                ++FPos;
                for (;;) {
                    if (FPos >= FText.size() || FText[FPos] == '\r' || FText[FPos] == '\n')
                        Fail("Unterminated string");
                    const char d = FText[FPos++];
                    if (d == '\'') {
                        if (FPos < FText.size() && FText[FPos] == '\'') {
                            text += '\'';
                            ++FPos;
                            continue;
                        }
                        break;
                    }
                    text += d;
                }
            } else if (c == '#') {
                ++FPos;
                const size_t start = FPos;
                unsigned code = 0;
                while (FPos < FText.size() && IsDigit(FText[FPos]) && FPos - start < 4) {
                    code = code * 10 + static_cast<unsigned>(FText[FPos] - '0');
                    ++FPos;
                }
                if (FPos == start || code > 255 || (FPos < FText.size() && IsDigit(FText[FPos])))
                    Fail("Invalid character code");
                text += static_cast<char>(code);
            } else {
                break;
            }
        }
        FTok.Text = text;
    }

    template <size_t N>
    bool IsKeyword(const char (&word)[N]) const {
        // The written case is tried first.
        return FTok.Kind == Tok::Ident && FTok.Text.size() == N - 1 &&
               (std::memcmp(FTok.Text.data(), word, N - 1) == 0 || SameText(FTok.Text, std::string_view(word, N - 1)));
    }

    void ExpectObjectKeyword() {
        if (!IsKeyword("object")) Fail("'object' expected");
        Next();
    }

    void ReadHeader(std::string_view& name, std::string_view& cls) {
        if (FTok.Kind != Tok::Ident) Fail("Identifier expected");
        cls = FTok.Text;
        // The writer's "Name: Class" is read in one go, as the tokens read it.
        const char* const e = FText.data() + FText.size();
        const char* q = FText.data() + FPos;
        if (e - q >= 3 && q[0] == ':' && q[1] == ' ' && IsIdentStart(q[2])) {
            const char* const start = q + 2;
            q = start + 1;
            while (q != e && IsIdentChar(*q)) ++q;
            name = cls;
            cls = std::string_view(start, static_cast<size_t>(q - start));
            FPos = static_cast<size_t>(q - FText.data());
            Next();
            return;
        }
        Next();
        if (FTok.Kind == Tok::Symbol && FTok.Sym == ':') {
            Next();
            if (FTok.Kind != Tok::Ident) Fail("Identifier expected");
            name = cls;
            cls = FTok.Text;
            Next();
        }
    }

    // Properties and nested objects up to and including "end".
    void ReadBody(TComponent& comp, int depth) {
        // Asked once: a class's list does not change while it is read.
        const TPropList& props = comp.Props();
        const Plan& plan = PlanFor(props);
        size_t cursor = 0;
        for (;;) {
            if (!FHeld.empty()) ReleaseHeld();
            if (FTok.Kind == Tok::End) Fail("Unexpected end of text");
            if (FTok.Kind != Tok::Ident) Fail("Identifier expected");
            if (IsKeyword("end")) {
                Next();
                return;
            }
            if (IsKeyword("object")) {
                if (depth + 1 >= kMaxDepth) Fail("Objects nested too deeply");
                Next();
                ReadChild(comp, depth + 1);
                continue;
            }
            if (ReadWrittenLines(comp, plan, cursor)) continue;
            ReadProperty(comp, props, cursor);
        }
    }

    // How a property is read from a line in the writer's own form, made once
    // per class and reading: the lines of a save file are nearly all such
    // lines, and this way each costs a name compare, a value scan and a store
    // into the member, without a token, a lookup or a conversion call.
    struct Step {
        enum TForm : uint8_t { Other, Integer, Boolean, Floating, String };
        TForm Form = Other;
        bool Single = false;  // a floating value within the float range
        uint8_t Size = 0;     // of the name; 0 for a property read otherwise
        const char* Name = nullptr;
        // The nearest property before this one whose name is the same but
        // for case, or -1: the general search, from the cursor on, would
        // find that one first.
        ptrdiff_t SameBefore = -1;
        int64_t Lo = 0, Hi = 0;  // an integer's range
        TPropField Field;
    };
    struct Plan {
        const TPropList* Props = nullptr;
        std::vector<Step> Steps;
    };

    const Plan& PlanFor(const TPropList& props) {
        if (FLastPlan && FLastPlan->Props == &props) return *FLastPlan;
        for (const auto& plan : FPlans) {
            if (plan->Props == &props) {
                FLastPlan = plan.get();
                return *plan;
            }
        }
        auto plan = std::make_unique<Plan>();
        plan->Props = &props;
        plan->Steps.resize(props.size());
        for (size_t i = 0; i < props.size(); ++i) {
            const TPropInfo& p = props[i];
            Step& st = plan->Steps[i];
            st.Name = p.Name.data();
            st.Field = p.Field;
            for (size_t j = i; j-- > 0;) {
                if (SameText(props[j].Name, p.Name)) {
                    st.SameBefore = static_cast<ptrdiff_t>(j);
                    break;
                }
            }
            // Only a name the tokens take as one identifier, that is not a
            // keyword of the body or the component's name, and a property
            // set through its member.
            const std::string_view name = p.Name;
            if (name.empty() || name.size() > 64 || !IsIdentStart(name[0]) ||
                !std::all_of(name.begin(), name.end(), IsIdentChar) || SameText(name, "Name") ||
                SameText(name, "end") || SameText(name, "object") || !p.Set)
                continue;  // Size 0: no line is taken for it
            st.Size = static_cast<uint8_t>(name.size());
            const TPropField::TKind k = p.Field.Kind;
            if (IsOrdinal(p.Type) && k != TPropField::None && k != TPropField::Float && k != TPropField::Double &&
                k != TPropField::String) {
                st.Form = p.Type == TPropType::Boolean ? Step::Boolean : Step::Integer;
                st.Lo = INT64_MIN, st.Hi = INT64_MAX;
                if (p.Type == TPropType::Integer)
                    st.Lo = INT32_MIN, st.Hi = INT32_MAX;
                else if (p.Type == TPropType::Smallint)
                    st.Lo = INT16_MIN, st.Hi = INT16_MAX;
                else if (p.Type == TPropType::Byte)
                    st.Lo = 0, st.Hi = 255;
            } else if (IsFloating(p.Type) && (k == TPropField::Double || k == TPropField::Float)) {
                st.Form = Step::Floating;
                st.Single = p.Type == TPropType::Single;
            } else if (p.Type == TPropType::String && k == TPropField::String) {
                st.Form = Step::String;
            }
        }
        FLastPlan = plan.get();
        FPlans.push_back(std::move(plan));
        return *FLastPlan;
    }

    // Reads the property lines from the current token on while they are in
    // the writer's form: "<Name> = <value>" ending in CR LF, the name one of
    // the declared properties from the cursor on, the value an integer of
    // up to 18 digits, True or False, a fixed-point number or a string of
    // one quoted run, each within its property's range. At the first line
    // that is not (an object, an end, an error, any other spelling) the
    // tokens take over from its first token, which is left as the current
    // one, exactly as if every line had gone through them. False when not
    // even the first line was read (nothing changed).
    bool ReadWrittenLines(TComponent& comp, const Plan& plan, size_t& cursor) {
        const char* const e = FText.data() + FText.size();
        const char* p = FTok.Text.data();
        int line = FTok.Line;
        const Step* const steps = plan.Steps.data();
        const size_t n = plan.Steps.size();
        bool read = false;
        for (;;) {
            // The name: the declared property at or after the cursor whose
            // name the line starts with, followed by " = ".
            size_t k = cursor;
            const size_t left = static_cast<size_t>(e - p);
            while (k < n && !(left > steps[k].Size + 3u && p[steps[k].Size] == ' ' &&
                              SameBytes(p, steps[k].Name, steps[k].Size)))
                ++k;
            if (k == n) break;
            const Step& st = steps[k];
            if (st.Form == Step::Other || st.SameBefore >= static_cast<ptrdiff_t>(cursor)) break;
            const char* const v = p + st.Size;
            if (v[1] != '=' || v[2] != ' ') break;
            const char* const q = ReadWrittenValue(comp, st, v + 3, e, FMore);
            if (!q) break;
            cursor = k + 1;
            read = true;
            // The next line's first token, behind the indent.
            p = SkipSpaces(q + 2, e);
            ++line;
            if (p == e || !IsIdentStart(*p)) break;
        }
        if (!read) return false;
        FPos = static_cast<size_t>(p - FText.data());
        FLine = line;
        Next();
        return true;
    }

    // Stores the value at v when it is in the writer's form for the step and
    // ends the line; returns where its CR LF starts, or nullptr (nothing
    // stored). `more`: text goes on past e.
    static const char* ReadWrittenValue(TComponent& comp, const Step& st, const char* v, const char* e, bool more) {
        const char* q = v;
        switch (st.Form) {
            case Step::Integer: {
                const bool negative = q != e && *q == '-';
                if (negative) ++q;
                const char* const digits = q;
                uint64_t u;
                q = ReadDigits(q, e, u);
                if (q == digits || q - digits > 18 || !AtLineEnd(q, e)) return nullptr;
                const int64_t i = negative ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
                if (i < st.Lo || i > st.Hi) return nullptr;
                StoreOrdinal(comp, st.Field, i);
                return q;
            }
            case Step::Boolean:
                if (e - q >= 6 && std::memcmp(q, "True\r\n", 6) == 0) {
                    StoreOrdinal(comp, st.Field, 1);
                    return q + 4;
                }
                if (e - q >= 7 && std::memcmp(q, "False\r\n", 7) == 0) {
                    StoreOrdinal(comp, st.Field, 0);
                    return q + 5;
                }
                return nullptr;
            case Step::Floating: {
                const bool negative = q != e && *q == '-';
                if (negative) ++q;
                // The digits are summed as they are passed, as ExactDecimal sums
                // them, the fraction's trailing zeros left off: a value that
                // meets its bounds is the same one division, without a second
                // pass over the text.
                const char* const digits = q;
                uint64_t w;
                q = ReadDigits(q, e, w);
                const ptrdiff_t whole = q - digits;
                if (whole == 0) return nullptr;
                const bool fixed = q != e && *q == '.';
                bool exact = fixed && whole <= 19;
                ptrdiff_t decimals = 0;  // up to the fraction's last digit that is not 0
                if (fixed) {
                    ++q;
                    ptrdiff_t at = 0;  // decimals passed
                    // Eight decimals at a time: those up to the last one
                    // that is not 0 go into the sum at once (after the
                    // zeros passed since the digit summed before them).
                    while (e - q >= 8) {
                        uint64_t w8;
                        std::memcpy(&w8, q, 8);
                        const unsigned run = LeadingDigits(w8);
                        const uint64_t inRun = run == 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * run)) - 1;
                        if (const uint64_t nonZero = (w8 ^ 0x3030303030303030ull) & inRun) {
                            const unsigned upTo = static_cast<unsigned>(63 - std::countl_zero(nonZero)) / 8 + 1;
                            const ptrdiff_t last = at + upTo;
                            // The sum stays below 10^19.
                            if (whole + last > 19)
                                exact = false;
                            else if (exact)
                                w = w * kPow10Int[last - decimals] + FirstDigits(w8, upTo);
                            decimals = last;
                        }
                        at += run;
                        q += run;
                        if (run < 8) break;
                    }
                    // The last few bytes of a window, one at a time.
                    if (e - q < 8) {
                        for (; q != e && IsDigit(*q); ++q) {
                            const unsigned digit = static_cast<unsigned>(*q - '0');
                            ++at;
                            if (digit == 0) continue;
                            if (whole + at > 19)
                                exact = false;
                            else if (exact)
                                w = w * kPow10Int[at - decimals] + digit;
                            decimals = at;
                        }
                    }
                }
                if (!AtLineEnd(q, e)) return nullptr;
                double d;
                if (exact && w <= (uint64_t(1) << 53)) {
                    const double r = static_cast<double>(w) / kPow10[decimals];
                    d = negative ? -r : r;
                } else {
                    const auto r = std::from_chars(v, q, d);
                    if (r.ec != std::errc() || r.ptr != q || (st.Single && std::fabs(d) > FLT_MAX)) return nullptr;
                }
                if (st.Field.Kind == TPropField::Double)
                    comp.*st.Field.AsDouble = d;
                else
                    comp.*st.Field.AsFloat = static_cast<float>(d);
                return q;
            }
            case Step::String: {
                if (q == e || *q != '\'') return nullptr;
                ++q;
                while (q != e && *q != '\'' && *q != '\r' && *q != '\n') ++q;
                if (q == e || *q != '\'' || !AtLineEnd(q + 1, e)) return nullptr;
                // A string goes on with a "+" at the start of the next token:
                // only a line that starts with a name ends it here (the next
                // line not yet in the window is left to the tokens).
                const char* const next = SkipSpaces(q + 3, e);
                if (next == e ? more : !IsIdentStart(*next)) return nullptr;
                (comp.*st.Field.AsString).assign(v + 1, static_cast<size_t>(q - v - 1));
                return q + 1;
            }
            default: return nullptr;
        }
    }

    // Behind the spaces from p on; an indent is taken in one load.
    static const char* SkipSpaces(const char* p, const char* e) {
        if constexpr (std::endian::native == std::endian::little) {
            while (e - p >= 8) {
                uint64_t w;
                std::memcpy(&w, p, 8);
                const uint64_t other = w ^ 0x2020202020202020ull;
                if (other != 0) return p + std::countr_zero(other) / 8;
                p += 8;
            }
        }
        while (p != e && *p == ' ') ++p;
        return p;
    }

    static bool AtLineEnd(const char* q, const char* e) { return e - q >= 2 && q[0] == '\r' && q[1] == '\n'; }

    // How many of the eight bytes of w, from its first (lowest) on, are
    // digits: a byte is one when its high half is 3 and its low half, plus
    // 6, does not carry.
    static unsigned LeadingDigits(uint64_t w) {
        static_assert(std::endian::native == std::endian::little);
        const uint64_t other = ((w & 0xF0F0F0F0F0F0F0F0ull) ^ 0x3030303030303030ull) |
                               (((w & 0x0F0F0F0F0F0F0F0Full) + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull);
        return static_cast<unsigned>(std::countr_zero(other)) / 8;
    }

    // The number the first n (1 to 8) bytes of w spell, all of them digits:
    // shifted to the top, the rest of the bytes drop out (a borrow of the
    // bytes behind them runs only further up) and the digits before them
    // become leading zeros; then pairs, fours and eights are put together.
    static uint64_t FirstDigits(uint64_t w, unsigned n) {
        uint64_t v = (w - 0x3030303030303030ull) << (8 * (8 - n));
        v = v * 10 + (v >> 8);
        v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
             (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
            32;
        return v & 0xFFFFFFFFull;
    }

    // Passes the digits from q on and sums them into u (exact for up to 19
    // digits; longer runs wrap, which their callers refuse by length), eight
    // bytes at a time while the window has them.
    static const char* ReadDigits(const char* q, const char* e, uint64_t& u) {
        u = 0;
        while (e - q >= 8) {
            uint64_t w;
            std::memcpy(&w, q, 8);
            const unsigned n = LeadingDigits(w);
            if (n == 0) return q;
            u = u * kPow10Int[n] + FirstDigits(w, n);
            q += n;
            if (n < 8) return q;
        }
        for (; q != e && IsDigit(*q); ++q) u = u * 10 + static_cast<unsigned>(*q - '0');
        return q;
    }

    // False when the field holds no ordinal.
    static bool StoreOrdinal(TComponent& comp, const TPropField& f, int64_t i) {
        switch (f.Kind) {
            case TPropField::Bool: comp.*f.AsBool = i != 0; return true;
            case TPropField::Byte: comp.*f.AsByte = static_cast<uint8_t>(i); return true;
            case TPropField::Int16: comp.*f.AsInt16 = static_cast<int16_t>(i); return true;
            case TPropField::Int32: comp.*f.AsInt32 = static_cast<int32_t>(i); return true;
            case TPropField::Int64: comp.*f.AsInt64 = i; return true;
            default: return false;
        }
    }

    void ReadChild(TComponent& parent, int depth) {
        std::string_view name, cls;
        const int line = FTok.Line;
        ReadHeader(name, cls);
        const TComponentFactory* factory = Factory(cls);
        if (!factory || !*factory) FailAt("Class " + std::string(cls) + " not found", line);
        const bool ordered = !name.empty() && AfterAll(name);
        uint64_t hash = 0;
        if (!ordered) {
            // The name's slot is loaded while the object is made.
            hash = TNameSet::Hash(name);
            FNames.Prefetch(hash);
        }
        TComponent* child = (*factory)(&FRoot);
        if (!child) FailAt("Class " + std::string(cls) + " not found", line);
        try {
            if (!ordered) CheckNameFree(name, hash, line);
            child->SetState(csLoading, true);
            child->SetParentComponent(&parent);
            // Named where it has come to stay: a name checked against the
            // whole tree is free in any owner in it, and the root's index
            // does not take and drop the name of every object it hands on.
            NameNew(*child, parent, name, hash, line, ordered);
            ReadBody(*child, depth);
            child->SetState(csLoading, false);
        } catch (...) {
            // A half-read object does not stay in the tree.
            delete child;
            throw;
        }
    }

    // The registry's factory for the class. The registry does not change
    // while a text is read, and a text names a few classes, mostly in turns
    // (a table, its indices, the next table): each is looked up once.
    const TComponentFactory* Factory(std::string_view cls) {
        for (const auto& [name, factory] : FFactories)
            if (cls.size() == name.size() && SameBytes(cls.data(), name.data(), cls.size())) return factory;
        const TComponentFactory* factory = FindClass(cls);
        if (factory && FFactories.size() < kFactoriesKept) FFactories.emplace_back(std::string(cls), factory);
        return factory;
    }

    // Names the component (its name, when it has one, and class), the
    // property and the line the property starts on: in a save file of
    // thousands of alike objects the class alone does not find the fault.
    [[noreturn]] void PropError(const TComponent& comp, std::string_view prop, const std::string& what) const {
        std::string where = "Error reading ";
        if (!comp.Name().empty()) where.append(comp.Name()).append(": ");
        where += comp.ClassName();
        throw EReadError(where + "." + std::string(prop) + " on line " + std::to_string(FPropLine) + ": " + what);
    }

    // Properties come in declaration order, so the search starts behind the
    // last one found.
    static const TPropInfo* FindProp(const TPropList& props, std::string_view name, size_t& cursor) {
        const size_t n = props.size();
        size_t i = cursor < n ? cursor : 0;
        for (size_t k = 0; k < n; ++k) {
            const std::string& p = props[i].Name;
            // Written files have the declared case: that is tried first.
            if (p.size() == name.size() && (std::memcmp(p.data(), name.data(), p.size()) == 0 || SameText(p, name))) {
                cursor = i + 1;
                return &props[i];
            }
            if (++i == n) i = 0;
        }
        return nullptr;
    }

    void ReadProperty(TComponent& comp, const TPropList& props, size_t& cursor) {
        const std::string_view name = FTok.Text;
        FPropLine = FTok.Line;
        const int line = FTok.Line;
        // Looked up first, so that the next line can be matched against the
        // property expected after it; a missing one is reported after the
        // value's own faults.
        const TPropInfo* p = FPeeked;
        if (p) cursor = static_cast<size_t>(p - props.data()) + 1;
        else p = FindProp(props, name, cursor);
        Token value;
        if (!ReadPlainValue(value, props, cursor)) {
            Next();
            if (FTok.Kind != Tok::Symbol || FTok.Sym != '=') Fail("'=' expected");
            Next();
            value = ReadValue();
        }
        if (!p) PropError(comp, name, "Property " + std::string(name) + " does not exist");
        if (p->Name.size() == 4 && SameText(p->Name, "Name")) {
            if (value.Kind != Tok::String) PropError(comp, p->Name, "Invalid property value");
            NameComponent(comp, value.Text, line);
            return;
        }
        if (!p->Set) PropError(comp, p->Name, "Invalid property value");
        Store(comp, *p, value);
    }

    // The form the writer gives most values, " = " then an unsigned or
    // negative number without exponent, or a word, read in one go; false
    // (nothing read) for anything else, which the tokens then take apart.
    // Takes exactly what the tokens would make of the same text.
    bool ReadPlainValue(Token& v, const TPropList& props, size_t& cursor) {
        const char* const e = FText.data() + FText.size();
        const char* p = FText.data() + FPos;
        if (e - p < 4 || p[0] != ' ' || p[1] != '=' || p[2] != ' ') return false;
        p += 3;
        const char* const start = p;
        if (IsIdentStart(*p)) {
            do ++p;
            while (p != e && IsIdentChar(*p));
            v.Kind = Tok::Ident;
        } else {
            const bool negative = *p == '-';
            if (negative) ++p;
            if (p == e || !IsDigit(*p)) return false;
            const char* const digits = p;
            uint64_t n = 0;
            do n = n * 10 + static_cast<unsigned>(*p++ - '0');
            while (p != e && IsDigit(*p));
            v.Kind = Tok::Integer;
            // Up to 18 digits the sum is exact and below 2^63; longer numbers
            // (their sum may have wrapped) are left to the full conversion.
            v.HasInt = p - digits <= 18;
            v.Int = !v.HasInt ? 0 : negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n);
            if (p != e && *p == '.') {
                v.Kind = Tok::Float;
                ++p;
                while (p != e && IsDigit(*p)) ++p;
            }
            if (p != e && (*p == '.' || IsIdentChar(*p))) return false;
        }
        v.Text = std::string_view(start, static_cast<size_t>(p - start));
        v.Sym = 0;
        v.Line = FLine;
        FPos = static_cast<size_t>(p - FText.data());
        NextExpecting(props, cursor);
        return true;
    }

    // A value: a number, a string with optional " +" continuations, or an
    // identifier (True, False, INF, NAN), possibly signed. Its text stays
    // valid until the next value is read.
    Token ReadValue() {
        Token v = FTok;
        if (v.Kind == Tok::String) {
            FValue.assign(FTok.Text);
            Next();
            while (FTok.Kind == Tok::Symbol && FTok.Sym == '+') {
                Next();
                if (FTok.Kind != Tok::String) Fail("String expected");
                FValue += FTok.Text;
                Next();
            }
            v.Text = FValue;
            return v;
        }
        if (v.Kind == Tok::Symbol && (v.Sym == '-' || v.Sym == '+')) {
            const char sign = v.Sym;
            Next();
            if (FTok.Kind != Tok::Ident) Fail("Invalid property value");
            v = FTok;
            FValue.assign(1, sign);
            FValue += v.Text;
            v.Text = FValue;
        }
        if (v.Kind == Tok::Integer || v.Kind == Tok::Float || v.Kind == Tok::Ident) {
            Next();
            return v;
        }
        if (v.Kind == Tok::End) Fail("Unexpected end of text");
        Fail("Invalid property value");
    }

    static bool ParseInt(std::string_view text, int64_t& out) {
        if (!text.empty() && (text[0] == '$' || ((text[0] == '-' || text[0] == '+') && text.size() > 1 && text[1] == '$')))
            return TryStrToInt64(text, out);
        const char* b = text.data();
        const char* e = b + text.size();
        if (b != e && *b == '+') ++b;
        auto r = std::from_chars(b, e, out);
        return r.ec == std::errc() && r.ptr == e;
    }

    [[noreturn]] void OutOfRange(const TComponent& comp, const TPropInfo& p, const Token& v) const {
        PropError(comp, p.Name, "Value " + std::string(v.Text) + " out of range");
    }

    // The value of an ordinal property (Boolean as 0 or 1), within its type.
    int64_t ToOrdinal(const TComponent& comp, const TPropInfo& p, const Token& v) const {
        if (p.Type == TPropType::Boolean) {
            if (v.Kind == Tok::Ident && SameText(v.Text, "True")) return 1;
            if (v.Kind == Tok::Ident && SameText(v.Text, "False")) return 0;
            PropError(comp, p.Name, "Invalid property value");
        }
        if (v.Kind != Tok::Integer) PropError(comp, p.Name, "Invalid property value");
        int64_t i = v.Int;
        if (!v.HasInt && !ParseInt(v.Text, i)) OutOfRange(comp, p, v);
        int64_t lo = INT64_MIN, hi = INT64_MAX;
        if (p.Type == TPropType::Integer) lo = INT32_MIN, hi = INT32_MAX;
        else if (p.Type == TPropType::Smallint) lo = INT16_MIN, hi = INT16_MAX;
        else if (p.Type == TPropType::Byte) lo = 0, hi = 255;
        if (i < lo || i > hi) OutOfRange(comp, p, v);
        return i;
    }

    double ToFloat(const TComponent& comp, const TPropInfo& p, const Token& v) const {
        if (v.Kind == Tok::Ident) {
            const std::string_view w = v.Text;
            if (SameText(w, "NAN")) return std::nan("");
            if (SameText(w, "INF") || SameText(w, "+INF")) return HUGE_VAL;
            if (SameText(w, "-INF")) return -HUGE_VAL;
            PropError(comp, p.Name, "Invalid property value");
        }
        if (v.Kind != Tok::Integer && v.Kind != Tok::Float) PropError(comp, p.Name, "Invalid property value");
        if (v.Text.find('$') != std::string_view::npos) {
            int64_t i = 0;
            if (!ParseInt(v.Text, i)) OutOfRange(comp, p, v);
            return static_cast<double>(i);
        }
        double d = 0;
        const char* b = v.Text.data();
        const char* e = b + v.Text.size();
        if (*b == '+') ++b;
        if (v.Kind == Tok::Float && ExactDecimal(b, e, d)) return d;
        auto r = std::from_chars(b, e, d);
        if (r.ec == std::errc::result_out_of_range) OutOfRange(comp, p, v);
        if (r.ec != std::errc() || r.ptr != e) PropError(comp, p.Name, "Invalid property value");
        if (p.Type == TPropType::Single && std::fabs(d) > FLT_MAX) OutOfRange(comp, p, v);
        return d;
    }

    // A fixed-point number ("-45.670000000000000000", as written) whose
    // digits, trailing zeros of the fraction left off, make an integer w of
    // at most 2^53 with d <= 22 decimals: w and 10^d are exact doubles, so
    // w / 10^d, one correctly rounded division, is the nearest double to the
    // text, as from_chars gives it. False (d untouched) for anything else.
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    static constexpr uint64_t kPow10Int[20] = {1ull,
                                               10ull,
                                               100ull,
                                               1000ull,
                                               10000ull,
                                               100000ull,
                                               1000000ull,
                                               10000000ull,
                                               100000000ull,
                                               1000000000ull,
                                               10000000000ull,
                                               100000000000ull,
                                               1000000000000ull,
                                               10000000000000ull,
                                               100000000000000ull,
                                               1000000000000000ull,
                                               10000000000000000ull,
                                               100000000000000000ull,
                                               1000000000000000000ull,
                                               10000000000000000000ull};
    static bool ExactDecimal(const char* b, const char* e, double& d) {
        const bool negative = b != e && *b == '-';
        if (negative) ++b;
        const char* point = static_cast<const char*>(std::memchr(b, '.', static_cast<size_t>(e - b)));
        if (!point || point == b) return false;
        while (e > point + 1 && e[-1] == '0') --e;
        const ptrdiff_t decimals = e - point - 1;
        if (decimals > 22 || (point - b) + decimals > 19) return false;
        uint64_t w = 0;
        for (const char* p = b; p != point; ++p) {
            if (!IsDigit(*p)) return false;
            w = w * 10 + static_cast<unsigned>(*p - '0');
        }
        for (const char* p = point + 1; p != e; ++p) {
            if (!IsDigit(*p)) return false;
            w = w * 10 + static_cast<unsigned>(*p - '0');
        }
        if (w > (uint64_t(1) << 53)) return false;
        const double r = static_cast<double>(w) / kPow10[decimals];
        d = negative ? -r : r;
        return true;
    }

    static bool IsOrdinal(TPropType t) {
        return t == TPropType::Integer || t == TPropType::Smallint || t == TPropType::Byte ||
               t == TPropType::Int64 || t == TPropType::Boolean;
    }
    static bool IsFloating(TPropType t) {
        return t == TPropType::Double || t == TPropType::Single || t == TPropType::DateTime;
    }

    TPropValue Convert(const TComponent& comp, const TPropInfo& p, const Token& v) const {
        if (IsOrdinal(p.Type)) return ToOrdinal(comp, p, v);
        if (IsFloating(p.Type)) return ToFloat(comp, p, v);
        if (p.Type == TPropType::String && v.Kind == Tok::String) return std::string(v.Text);
        PropError(comp, p.Name, "Invalid property value");
    }

    // Sets the property's member itself where it has one, as its Set would.
    void Store(TComponent& comp, const TPropInfo& p, const Token& v) const {
        const TPropField& f = p.Field;
        if (f.Kind == TPropField::None) {
            p.Set(comp, Convert(comp, p, v));
            return;
        }
        if (IsOrdinal(p.Type)) {
            if (StoreOrdinal(comp, f, ToOrdinal(comp, p, v))) return;
        } else if (IsFloating(p.Type)) {
            const double d = ToFloat(comp, p, v);
            if (f.Kind == TPropField::Double) comp.*f.AsDouble = d;
            else if (f.Kind == TPropField::Float) comp.*f.AsFloat = static_cast<float>(d);
            return;
        } else if (p.Type == TPropType::String && f.Kind == TPropField::String) {
            if (v.Kind != Tok::String) PropError(comp, p.Name, "Invalid property value");
            (comp.*f.AsString).assign(v.Text);
            return;
        }
        PropError(comp, p.Name, "Invalid property value");
    }

    std::string_view FText;
    TComponent& FRoot;
    size_t FPos = 0;
    int FLine = 1;
    TNameSet FNames;
    // Components whose names are known free by their order (AfterAll), not
    // yet hashed into FNames.
    std::vector<const TComponent*> FUnindexed;
    std::string FLastName;  // the last of the tree's names in that order; empty: none yet
    std::string FName;   // a name handed on as a string
    Token FTok;
    std::string FString;   // the decoded text of the current string token
    std::string FValue;    // a joined string or signed identifier value
    int FPropLine = 0;   // line of the property being read
    // The property the current token names, when it was taken as the one
    // expected next (NextExpecting).
    const TPropInfo* FPeeked = nullptr;
    std::vector<std::unique_ptr<Plan>> FPlans;
    static constexpr size_t kFactoriesKept = 8;
    std::vector<std::pair<std::string, const TComponentFactory*>> FFactories;
    const Plan* FLastPlan = nullptr;
    // Reading in blocks (NextWindow); without a source the text is one window.
    const TTextSource* FSource = nullptr;
    size_t FBlockSize = 0;
    Block FBlock;        // holds the window
    size_t FFilled = 0;  // bytes in FBlock
    bool FMore = false;  // text past the window
    std::vector<Block> FHeld;
    std::vector<Block> FSpare;
};

// The root's loading state around a read; a naming error or the like of
// the component layer surfaces as a reading error.
template <class Read>
void ReadInto(TComponent& root, Read read) {
    const unsigned oldState = root.ComponentState();
    const auto restore = [&] {
        root.SetState(csLoading | csReading, false);
        root.SetState(oldState & (csLoading | csReading), true);
    };
    root.SetState(csLoading | csReading, true);
    try {
        read();
    } catch (const EReadError&) {
        restore();
        throw;
    } catch (const Exception& e) {
        restore();
        throw EReadError(e.Message());
    }
    restore();
}

}  // namespace

void ReadComponentText(std::string_view text, TComponent& root, int firstLine) {
    ReadInto(root, [&] { TextReader(text, root, firstLine).Run(); });
}

void ReadComponentText(const TTextSource& source, TComponent& root, int firstLine, size_t blockSize) {
    ReadInto(root, [&] { TextReader(source, blockSize, root, firstLine).Run(); });
}

}  // namespace dv
