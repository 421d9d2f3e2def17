#include "platform/text/SysUtils.h"

#include "platform/text/DateUtils.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace dv {

// The user's short date and long time formats come from the C library's
// locale of the environment (LC_ALL, LC_TIME, LANG), read once at first use.
// The plain C/POSIX locale has no preference of its own, so it keeps the
// defaults dd/mm/yyyy and hh:nn:ss. Number separators are not taken from the
// locale: statistics texts and save files always use '.'.
static TFormatSettings LocaleSettings() {
    TFormatSettings fs;
    const char* env = std::getenv("LC_ALL");
    if (!env || !*env) env = std::getenv("LC_TIME");
    if (!env || !*env) env = std::getenv("LANG");
    if (!env || !*env || std::strcmp(env, "C") == 0 || std::strcmp(env, "POSIX") == 0 || std::strncmp(env, "C.", 2) == 0)
        return fs;
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return fs;
    const std::string dfmt = nl_langinfo_l(D_FMT, loc);
    const std::string tfmt = nl_langinfo_l(T_FMT, loc);
    freelocale(loc);
    char sep = 0;
    std::string d = CFormatToDateFormat(dfmt, sep);
    if (!d.empty()) {
        fs.ShortDateFormat = d;
        if (sep) fs.DateSeparator = sep;
    }
    sep = 0;
    std::string t = CFormatToDateFormat(tfmt, sep);
    if (!t.empty()) {
        fs.LongTimeFormat = t;
        if (sep) fs.TimeSeparator = sep;
    }
    return fs;
}

TFormatSettings& FormatSettings() {
    static TFormatSettings fs = LocaleSettings();
    return fs;
}

// The digits of s from i on into v, refused past `limit`; hexadecimal texts
// may use the full unsigned width, like the class library. The base is a
// constant so that the overflow test needs no division at run time.
template <unsigned Base>
static bool AccumulateDigits(std::string_view s, size_t i, uint64_t limit, uint64_t& v) {
    constexpr bool hex = Base == 16;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        if (v > (limit - digit) / Base) {
            if (!hex) return false;
            if (v > (UINT64_MAX - digit) / Base) return false;
        }
        v = v * Base + digit;
    }
    return true;
}

// Val-like parse: leading blanks, optional sign, decimal digits or '$'/0x hex.
static bool ParseInteger(std::string_view s, int64_t lo, int64_t hi, int64_t& out) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && s[i] == '$') { hex = true; ++i; }
    else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) { hex = true; i += 2; }
    if (i >= s.size()) return false;
    uint64_t v = 0;
    const uint64_t limit = neg ? static_cast<uint64_t>(-(lo + 1)) + 1 : static_cast<uint64_t>(hi);
    if (!(hex ? AccumulateDigits<16>(s, i, limit, v) : AccumulateDigits<10>(s, i, limit, v))) return false;
    if (hex && !neg) {
        const uint64_t span = static_cast<uint64_t>(hi) * 2 + 1;  // all bits of the width
        if (v > span) return false;
        out = v > static_cast<uint64_t>(hi) ? static_cast<int64_t>(v - span - 1) : static_cast<int64_t>(v);
        return true;
    }
    if (v > limit) return false;
    out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

static std::string NotInteger(std::string_view s) { return "'" + std::string(s) + "' is not a valid integer value"; }

bool TryStrToInt(std::string_view s, int32_t& value) {
    int64_t v;
    if (!ParseInteger(s, INT32_MIN, INT32_MAX, v)) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool TryStrToInt64(std::string_view s, int64_t& value) { return ParseInteger(s, INT64_MIN, INT64_MAX, value); }

int32_t StrToInt(std::string_view s) {
    int32_t v;
    if (!TryStrToInt(s, v)) throw EConvertError(NotInteger(s));
    return v;
}

int64_t StrToInt64(std::string_view s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) throw EConvertError(NotInteger(s));
    return v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
    int32_t v;
    return TryStrToInt(s, v) ? v : def;
}

bool TryStrToFloat(std::string_view s, double& value) { return TryStrToFloat(s, value, FormatSettings().DecimalSeparator); }

bool TryStrToFloat(std::string_view s, double& value, char sep) {
    // Trimmed in place; a copy only where another separator must become '.'.
    size_t from = 0, to = s.size();
    while (from < to && static_cast<unsigned char>(s[from]) <= ' ') ++from;
    while (to > from && static_cast<unsigned char>(s[to - 1]) <= ' ') --to;
    if (from == to) return false;
    std::string copy;
    std::string_view t = s.substr(from, to - from);
    if (sep != '.') {
        // Only the separator in force is a decimal point; the parse below sees '.'.
        copy = t;
        for (char& c : copy) {
            if (c == sep)
                c = '.';
            else if (c == '.')
                return false;
        }
        t = copy;
    }
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    // from_chars ignores the C locale (a desktop toolkit may have set one
    // with ',' as its decimal point) and reports overflow.
    const char* b = t.data();
    const char* e = b + t.size();
    if (*b == '+' && e - b > 1 && b[1] != '-') ++b;
    double v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) return false;
    value = v;
    return true;
}

double StrToFloat(std::string_view s) {
    double v;
    if (!TryStrToFloat(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return v;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

static void CheckIntegral(double v, double lo, double hi) {
    if (!std::isfinite(v) || v < lo || v >= hi) throw EInvalidOp("Invalid floating point operation");
}

int64_t Round(double v) {
    double r = std::nearbyint(v);
    CheckIntegral(r, -9223372036854775808.0, 9223372036854775808.0);
    return static_cast<int64_t>(r);
}

int64_t RoundClamped(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    if (r >= 9223372036854775808.0) return INT64_MAX;
    if (r < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(r);
}

int32_t Round32(double v) {
    double r = std::nearbyint(v);
    CheckIntegral(r, -2147483648.0, 2147483648.0);
    return static_cast<int32_t>(r);
}

int64_t Trunc(double v) {
    double r = std::trunc(v);
    CheckIntegral(r, -9223372036854775808.0, 9223372036854775808.0);
    return static_cast<int64_t>(r);
}

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
    return std::string(s.substr(0, n));
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

size_t Utf8CharSize(std::string_view s, size_t at) {
    if (at >= s.size()) return 1;
    const auto b = [&](size_t k) { return at + k < s.size() ? static_cast<unsigned char>(s[at + k]) : 0u; };
    const unsigned lead = b(0);
    if (lead < 0xC2 || lead > 0xF4) return 1;
    const auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return b(k) >= lo && b(k) <= hi; };
    if (lead < 0xE0) return cont(1) ? 2 : 1;
    // The second byte's range excludes overlong forms, surrogates and
    // values past U+10FFFF.
    const unsigned lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (lead < 0xF0) return cont(1, lo, hi) && cont(2) ? 3 : 1;
    return cont(1, lo, hi) && cont(2) && cont(3) ? 4 : 1;
}

size_t Utf8Length(std::string_view s) {
    size_t chars = 0, i = 0;
    const size_t n = s.size();
    // Names mostly are ASCII throughout, a character a byte: told by the
    // high bits of all their words at once, the last one overlapping the
    // one before.
    if (n >= 8) {
        uint64_t high = 0, word;
        for (; i + 8 < n; i += 8) {
            std::memcpy(&word, s.data() + i, 8);
            high |= word;
        }
        std::memcpy(&word, s.data() + n - 8, 8);
        if (((high | word) & 0x8080808080808080ULL) == 0) return n;
        i = 0;
    }
    while (i < n) {
        // Eight ASCII bytes, a character each, at once: names mostly are.
        if (n - i >= 8) {
            uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                chars += 8;
                continue;
            }
        }
        i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : Utf8CharSize(s, i);
        ++chars;
    }
    return chars;
}

bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t n = Utf8CharSize(s, i);
        if (n == 1) return false;
        i += n;
    }
    return true;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

void RunWithCleanup(const std::function<void()>& body, std::initializer_list<std::function<void()>> cleanup) {
    std::exception_ptr first;
    try {
        body();
    } catch (...) {
        first = std::current_exception();
    }
    for (const auto& step : cleanup) {
        try {
            step();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

size_t Pos(std::string_view sub, std::string_view s) {
    if (sub.empty()) return 0;
    size_t p = s.find(sub);
    return p == std::string_view::npos ? 0 : p + 1;
}

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(s);
    std::string r;
    size_t i = 0;
    for (;;) {
        size_t p = s.find(from, i);
        if (p == std::string_view::npos) break;
        r.append(s.substr(i, p - i)).append(to);
        i = p + from.size();
    }
    r.append(s.substr(i));
    return r;
}

std::string ExePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

std::string ExeDir() { return ExtractFilePath(ExePath()); }

std::string ExtractFilePath(std::string_view path) {
    size_t p = path.rfind('/');
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view path) {
    size_t p = path.rfind('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace dv
