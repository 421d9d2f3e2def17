// Number formatting for display: Format, FormatFloat and FloatToStr.
//
// Displayed numbers are rounded the way users expect from the class library:
// the value is first taken to 15 significant decimal digits (so that 2.675,
// stored as 2.67499999..., counts as 2.675) and then rounded half away from
// zero at the last digit shown.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/text/SysUtils.h"

namespace dv {

namespace {

// |v| as decimal digits: value = 0.<digits> x 10^exp, no leading zeros,
// trailing zeros removed; digits is empty for 0.
struct Decimal {
    std::string digits;
    int exp = 0;
    bool negative = false;
};

// Rounds the digit string half away from zero to `keep` digits (keep may be
// 0 or negative: the value then becomes 0 or a single carried 1).
void RoundDigits(Decimal& d, int keep) {
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    if (static_cast<size_t>(keep) >= d.digits.size()) return;
    const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
            d.digits[static_cast<size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exp;
        } else {
            ++d.digits[static_cast<size_t>(i)];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d.exp = 0;
}

// The finite value v to `precision` significant digits.
Decimal ToDecimal(double v, int precision) {
    Decimal d;
    d.negative = std::signbit(v);
    if (v == 0) return d;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 16);
    std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
    const size_t e = s.find('e');
    for (char c : s.substr(0, e))
        if (c != '.') d.digits += c;
    int ex = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), ex);
    d.exp = ex + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    RoundDigits(d, precision);
    return d;
}

// Rounds to `decimals` digits after the point.
void RoundDecimals(Decimal& d, int decimals) {
    if (d.digits.empty()) return;
    const int keep = d.exp + decimals;
    if (keep < 0) {
        d.digits.clear();
        d.exp = 0;
        return;
    }
    if (keep == 0) {
        // Only the first digit decides: 0.5 -> 1, 0.4 -> 0.
        if (d.digits[0] >= '5') {
            d.digits = "1";
            ++d.exp;
        } else {
            d.digits.clear();
            d.exp = 0;
        }
        return;
    }
    RoundDigits(d, keep);
}

std::string NonFinite(double v) {
    if (std::isnan(v)) return "NAN";
    return v < 0 ? "-INF" : "INF";
}

// Integer part digits of a decimal ("" when below 1).
std::string IntDigits(const Decimal& d) {
    if (d.exp <= 0) return std::string();
    std::string s = d.digits.substr(0, static_cast<size_t>(std::min<int>(d.exp, static_cast<int>(d.digits.size()))));
    s.append(static_cast<size_t>(d.exp) - s.size(), '0');
    return s;
}

// `count` decimal digits of a decimal (padded with zeros).
std::string FracDigits(const Decimal& d, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        const int idx = d.exp + i;
        s += (idx >= 0 && idx < static_cast<int>(d.digits.size())) ? d.digits[static_cast<size_t>(idx)] : '0';
    }
    return s;
}

std::string GroupThousands(const std::string& digits, char sep) {
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        out += digits[i];
        if (sep && i + 1 < n && (n - 1 - i) % 3 == 0) out += sep;
    }
    return out;
}

// Fixed notation with `decimals` digits, optional thousand separators.
std::string FixedText(double v, int decimals, bool thousands) {
    if (!std::isfinite(v)) return NonFinite(v);
    Decimal d = ToDecimal(v, 15);
    RoundDecimals(d, decimals);
    std::string ip = IntDigits(d);
    if (ip.empty()) ip = "0";
    const TFormatSettings& fs = FormatSettings();
    std::string out;
    if (d.negative && !d.digits.empty()) out += '-';
    out += thousands ? GroupThousands(ip, fs.ThousandSeparator) : ip;
    if (decimals > 0) {
        out += fs.DecimalSeparator;
        out += FracDigits(d, decimals);
    }
    return out;
}

// "d.ddd...E+ddd" without the sign: the first digit, the separator and the
// other digits when there are any, then the exponent with at least
// `expDigits` digits, its sign '-' or (with forceSign) '+'. `digits` is not
// empty.
std::string ScientificText(const std::string& digits, int exponent, int expDigits, bool forceSign) {
    std::string out(1, digits[0]);
    if (digits.size() > 1) {
        out += FormatSettings().DecimalSeparator;
        out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    if (exponent < 0) out += '-';
    else if (forceSign) out += '+';
    std::string ed = std::to_string(std::abs(exponent));
    if (static_cast<int>(ed.size()) < expDigits) ed.insert(0, static_cast<size_t>(expDigits) - ed.size(), '0');
    return out + ed;
}

// d.ddd...E+ddd with `precision` significant digits.
std::string ExponentText(double v, int precision, int expDigits, bool forceSign) {
    if (!std::isfinite(v)) return NonFinite(v);
    if (precision < 1) precision = 1;
    Decimal d = ToDecimal(v, precision);
    std::string digits = d.digits;
    digits.resize(static_cast<size_t>(precision), '0');
    return (d.negative && !d.digits.empty() ? "-" : "") +
           ScientificText(digits, d.digits.empty() ? 0 : d.exp - 1, expDigits, forceSign);
}

// General form: the shorter of fixed and exponent notation with up to
// `precision` significant digits, trailing zeros removed.
std::string GeneralText(double v, int precision, int expDigits, bool forceSign) {
    if (!std::isfinite(v)) return NonFinite(v);
    Decimal d = ToDecimal(v, precision);
    if (d.digits.empty()) return "0";
    const char sep = FormatSettings().DecimalSeparator;
    std::string out;
    if (d.negative) out += '-';
    if (d.exp > precision || d.exp < -3) return out + ScientificText(d.digits, d.exp - 1, expDigits, forceSign);
    std::string ip = IntDigits(d);
    out += ip.empty() ? "0" : ip;
    const int frac = static_cast<int>(d.digits.size()) - d.exp;
    if (frac > 0) {
        out += sep;
        out += FracDigits(d, frac);
    }
    return out;
}

[[noreturn]] void FormatError(std::string_view fmt) {
    throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

}  // namespace

std::string FloatToStr(double v) { return GeneralText(v, 15, 0, false); }

std::string Format(std::string_view fmt, const std::vector<TFormatArg>& args) {
    std::string out;
    size_t argIndex = 0;
    size_t i = 0;
    const size_t n = fmt.size();
    auto readNumber = [&](int& value) -> bool {
        if (i >= n || fmt[i] < '0' || fmt[i] > '9') return false;
        long long v = 0;
        while (i < n && fmt[i] >= '0' && fmt[i] <= '9') {
            v = v * 10 + (fmt[i] - '0');
            if (v > 100000) FormatError(fmt);
            ++i;
        }
        value = static_cast<int>(v);
        return true;
    };
    while (i < n) {
        const char c = fmt[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i >= n) FormatError(fmt);
        if (fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // [index ":"] ["-"] [width] ["." prec] type
        int number = -1;
        bool left = false;
        int width = -1, prec = -1;
        const size_t save = i;
        if (readNumber(number) && i < n && fmt[i] == ':') {
            argIndex = static_cast<size_t>(number);
            ++i;
        } else {
            i = save;
        }
        if (i < n && fmt[i] == '-') {
            left = true;
            ++i;
        }
        readNumber(width);
        if (i < n && fmt[i] == '.') {
            ++i;
            if (!readNumber(prec)) FormatError(fmt);
        }
        if (i >= n) FormatError(fmt);
        const char type = static_cast<char>(fmt[i] | 0x20);  // lower case
        ++i;
        if (argIndex >= args.size()) FormatError(fmt);
        const TFormatArg& arg = args[argIndex++];
        std::string text;
        switch (type) {
        case 'd':
        case 'u':
        case 'x': {
            const int64_t* iv = std::get_if<int64_t>(&arg);
            if (!iv) FormatError(fmt);
            bool neg = false;
            std::string digits;
            if (type == 'd') {
                neg = *iv < 0;
                const uint64_t mag = neg ? 0 - static_cast<uint64_t>(*iv) : static_cast<uint64_t>(*iv);
                digits = std::to_string(mag);
            } else if (type == 'u') {
                digits = std::to_string(static_cast<uint64_t>(*iv));
            } else {
                char buf[32];
                auto r = std::to_chars(buf, buf + sizeof buf, static_cast<uint64_t>(*iv), 16);
                digits.assign(buf, r.ptr);
                for (char& ch : digits)
                    if (ch >= 'a' && ch <= 'f') ch = static_cast<char>(ch - 32);
            }
            if (prec > 0 && static_cast<int>(digits.size()) < prec)
                digits.insert(0, static_cast<size_t>(prec) - digits.size(), '0');
            text = neg ? "-" + digits : digits;
            break;
        }
        case 'e':
        case 'f':
        case 'g':
        case 'n':
        case 'm': {
            const double* dv = std::get_if<double>(&arg);
            if (!dv) FormatError(fmt);
            if (type == 'e') text = ExponentText(*dv, prec < 0 ? 15 : prec, 3, true);
            else if (type == 'f') text = FixedText(*dv, prec < 0 ? 2 : prec, false);
            else if (type == 'g') text = GeneralText(*dv, prec < 0 || prec > 15 ? 15 : std::max(prec, 1), 0, false);
            else text = FixedText(*dv, prec < 0 ? 2 : prec, true);
            break;
        }
        case 's': {
            const std::string* sv = std::get_if<std::string>(&arg);
            if (!sv) FormatError(fmt);
            text = *sv;
            if (prec >= 0 && static_cast<size_t>(prec) < text.size()) text.resize(static_cast<size_t>(prec));
            break;
        }
        default:
            FormatError(fmt);
        }
        if (width > 0 && static_cast<size_t>(width) > text.size()) {
            const std::string pad(static_cast<size_t>(width) - text.size(), ' ');
            text = left ? text + pad : pad + text;
        }
        out += text;
    }
    return out;
}

// ---------------------------------------------------------------------------
// FormatFloat

namespace {

// Splits at ';' outside quotes.
std::vector<std::string_view> SplitSections(std::string_view fmt) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    char quote = 0;
    for (size_t i = 0; i < fmt.size(); ++i) {
        const char c = fmt[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            parts.push_back(fmt.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(fmt.substr(start));
    return parts;
}

struct Layout {
    int intPlaces = 0;       // '0' and '#' before the point
    int intZeros = 0;        // places from the first '0' before the point
    int fracPlaces = 0;      // '0' and '#' after the point
    int fracZeros = 0;       // places up to the last '0' after the point
    bool thousands = false;
    bool scientific = false;
};

Layout Analyse(std::string_view sec) {
    Layout l;
    bool afterPoint = false;
    bool seenIntZero = false;
    char quote = 0;
    for (size_t i = 0; i < sec.size(); ++i) {
        const char c = sec[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
            quote = c;
            break;
        case '0':
        case '#':
            if (afterPoint) {
                ++l.fracPlaces;
                if (c == '0') l.fracZeros = l.fracPlaces;
            } else {
                ++l.intPlaces;
                if (c == '0') seenIntZero = true;
                if (seenIntZero) ++l.intZeros;
            }
            break;
        case '.':
            afterPoint = true;
            break;
        case ',':
            l.thousands = true;
            break;
        case 'E':
        case 'e':
            if (i + 1 < sec.size() && (sec[i + 1] == '+' || sec[i + 1] == '-')) {
                l.scientific = true;
                return l;  // the exponent digits are handled while writing
            }
            break;
        default:
            break;
        }
    }
    return l;
}

std::string ApplySection(std::string_view sec, double absValue, const Layout& l) {
    const TFormatSettings& fs = FormatSettings();
    std::string intStr, fracStr;
    int exponent = 0;
    if (l.scientific) {
        const int intPlaces = std::max(l.intPlaces, 1);
        const int sig = std::min(intPlaces + l.fracPlaces, 18);
        Decimal d = ToDecimal(absValue, std::min(sig, 15));
        if (!d.digits.empty()) exponent = d.exp - intPlaces;
        std::string digits = d.digits;
        digits.resize(static_cast<size_t>(intPlaces + l.fracPlaces), '0');
        intStr = digits.substr(0, static_cast<size_t>(intPlaces));
        size_t first = intStr.find_first_not_of('0');
        intStr = first == std::string::npos ? std::string() : intStr.substr(first);
        fracStr = digits.substr(static_cast<size_t>(intPlaces));
    } else {
        Decimal d = ToDecimal(absValue, 15);
        RoundDecimals(d, l.fracPlaces);
        intStr = IntDigits(d);
        fracStr = FracDigits(d, l.fracPlaces);
    }
    // Optional decimals ('#') drop their trailing zeros.
    while (static_cast<int>(fracStr.size()) > l.fracZeros && fracStr.back() == '0') fracStr.pop_back();
    if (static_cast<int>(intStr.size()) < l.intZeros)
        intStr.insert(0, static_cast<size_t>(l.intZeros) - intStr.size(), '0');

    std::string out;
    const int len = static_cast<int>(intStr.size());
    const int excess = len - l.intPlaces;  // digits beyond the placeholders go to the first one
    int intIndex = 0, fracIndex = 0;
    bool afterPoint = false;
    auto emitIntDigit = [&](int j) {
        out += intStr[static_cast<size_t>(j)];
        if (l.thousands && j + 1 < len && (len - 1 - j) % 3 == 0) out += fs.ThousandSeparator;
    };
    char quote = 0;
    for (size_t i = 0; i < sec.size(); ++i) {
        const char c = sec[i];
        if (quote) {
            if (c == quote) quote = 0;
            else out += c;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (c == '0' || c == '#') {
            if (!afterPoint) {
                const int j = intIndex + excess;
                if (intIndex == 0)
                    for (int k = 0; k < excess; ++k) emitIntDigit(k);
                if (j >= 0) emitIntDigit(j);
                ++intIndex;
            } else {
                if (fracIndex < static_cast<int>(fracStr.size())) out += fracStr[static_cast<size_t>(fracIndex)];
                ++fracIndex;
            }
            continue;
        }
        if (c == '.') {
            if (!afterPoint) {
                afterPoint = true;
                if (intIndex == 0 && l.intPlaces == 0)
                    for (int k = 0; k < len; ++k) emitIntDigit(k);
                if (!fracStr.empty()) out += fs.DecimalSeparator;
            }
            continue;
        }
        if (c == ',') continue;
        if (l.scientific && (c == 'E' || c == 'e') && i + 1 < sec.size() && (sec[i + 1] == '+' || sec[i + 1] == '-')) {
            out += c;
            const bool forceSign = sec[i + 1] == '+';
            ++i;
            int minDigits = 0;
            while (i + 1 < sec.size() && sec[i + 1] == '0') {
                ++minDigits;
                ++i;
            }
            if (exponent < 0) out += '-';
            else if (forceSign) out += '+';
            std::string ed = std::to_string(std::abs(exponent));
            if (static_cast<int>(ed.size()) < minDigits) ed.insert(0, static_cast<size_t>(minDigits) - ed.size(), '0');
            out += ed;
            continue;
        }
        out += c;
    }
    return out;
}

bool RoundsToZero(double absValue, const Layout& l) {
    if (absValue == 0) return true;
    if (l.scientific) return false;
    Decimal d = ToDecimal(absValue, 15);
    RoundDecimals(d, l.fracPlaces);
    return d.digits.empty();
}

}  // namespace

std::string FormatFloat(std::string_view fmt, double value) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (fmt.empty()) return FloatToStr(value);
    const std::vector<std::string_view> sections = SplitSections(fmt);
    const double absValue = std::fabs(value);
    std::string_view sec = sections[0];
    bool addMinus = value < 0;
    if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
        sec = sections[1];
        addMinus = false;
    }
    Layout l = Analyse(sec);
    if (RoundsToZero(absValue, l)) {
        addMinus = false;
        if (sections.size() >= 3 && !sections[2].empty()) {
            sec = sections[2];
            l = Analyse(sec);
        }
    }
    std::string text = ApplySection(sec, absValue, l);
    return addMinus ? "-" + text : text;
}

}  // namespace dv
