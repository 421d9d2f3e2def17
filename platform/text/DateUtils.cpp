#include "platform/text/DateUtils.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "platform/text/SysUtils.h"

namespace dv {

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
// Day numbers of 0001-01-01 and 9999-12-31 relative to 1899-12-30.
constexpr double kMinDate = -693593;
constexpr double kMaxDate = 2958465;

// Days from 0001-01-01 (day 1) to the given date, proleptic Gregorian.
int64_t DayNumber(int y, int m, int d) {
    static const int cum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t days = cum[m - 1] + d;
    if (m > 2 && IsLeapYear(y)) ++days;
    const int64_t py = y - 1;
    return days + py * 365 + py / 4 - py / 100 + py / 400;
}

constexpr int64_t kDelta = 693594;  // DayNumber(1899, 12, 30)

const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[12] = {"January", "February", "March", "April", "May", "June", "July",
                                     "August", "September", "October", "November", "December"};
const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Splits a date-time into whole days and milliseconds of the day; the time
// is counted from midnight also for days before 1899-12-30. False for values
// outside the years 1 to 9999 (and inf/NaN).
bool Split(TDateTime dt, int64_t& day, int64_t& msec) {
    if (!std::isfinite(dt) || dt < kMinDate - 1 || dt >= kMaxDate + 1) return false;
    const double total = std::round(dt * kMSecsPerDay);
    const int64_t t = static_cast<int64_t>(total);
    day = t / kMSecsPerDay;
    msec = t % kMSecsPerDay;
    if (msec < 0) msec = -msec;
    return true;
}

TDateTime FromTm(const std::tm& tm) {
    TDateTime d = 0, t = 0;
    if (!TryEncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, d)) return 0;
    TryEncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec, 0, t);
    return d >= 0 ? d + t : d - t;
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = static_cast<double>(DayNumber(year, month, day) - kDelta);
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
    result = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / kMSecsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime r;
    if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
    TDateTime r;
    if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError("Invalid argument to time encode");
    return r;
}

// Values outside the years 1 to 9999 (a corrupt file, inf, NaN) decode to
// all zeros instead of an arbitrary date.
void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
    int64_t d, ms;
    year = month = day = 0;
    if (!Split(dt, d, ms)) return;
    int64_t n = d + kDelta;  // days since 0001-01-01, day 1 = Jan 1st
    if (n < 1) return;
    // Find the year by estimating and correcting.
    int64_t y = (n * 400) / 146097 + 1;
    while (y > 1 && DayNumber(static_cast<int>(y), 1, 1) > n) --y;
    while (y < 9999 && DayNumber(static_cast<int>(y) + 1, 1, 1) <= n) ++y;
    if (y > 9999 || n > DayNumber(9999, 12, 31)) return;
    int m = 1;
    while (m < 12 && DayNumber(static_cast<int>(y), m + 1, 1) <= n) ++m;
    year = static_cast<int>(y);
    month = m;
    day = static_cast<int>(n - DayNumber(year, m, 1) + 1);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
    int64_t d, ms;
    hour = min = sec = msec = 0;
    if (!Split(dt, d, ms)) return;
    msec = static_cast<int>(ms % 1000);
    ms /= 1000;
    sec = static_cast<int>(ms % 60);
    ms /= 60;
    min = static_cast<int>(ms % 60);
    hour = static_cast<int>(ms / 60);
}

TDateTime Now() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    const time_t t = ts.tv_sec;
    localtime_r(&t, &tm);
    TDateTime r = FromTm(tm);
    return r + static_cast<double>(ts.tv_nsec / 1000000) / kMSecsPerDay;
}

TDateTime Date() { return std::floor(Now()); }

TDateTime UnixToDateTimeLocal(int64_t unixSeconds) {
    // Outside what time_t and the calendar hold there is no local time.
    if (unixSeconds < -62135596800LL || unixSeconds > 253402300799LL) return 0;
    const time_t t = static_cast<time_t>(unixSeconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return 0;
    return FromTm(tm);
}

TDateTime FileDateTime(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw EInOutError("Cannot read the time of file " + path + ": " + std::strerror(errno));
    return UnixToDateTimeLocal(static_cast<int64_t>(st.st_mtime));
}

bool TryStrToTime(std::string_view s, TDateTime& result) { return TryStrToTime(s, result, FormatSettings().TimeSeparator); }

bool TryStrToTime(std::string_view s, TDateTime& result, char sep) {
    const std::string t = Trim(s);
    int parts[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (count < 3) {
        const size_t start = i;
        int v = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9' && i - start < 4) v = v * 10 + (t[i++] - '0');
        if (i == start || (i < t.size() && t[i] >= '0' && t[i] <= '9')) return false;
        parts[count++] = v;
        if (i >= t.size()) break;
        if (t[i] != sep) break;
        ++i;
    }
    // An optional AM/PM marker after a blank.
    std::string rest = Trim(std::string_view(t).substr(i));
    int hour = parts[0];
    if (!rest.empty()) {
        if (SameText(rest, "AM") || SameText(rest, "PM")) {
            if (hour < 1 || hour > 12) return false;
            hour %= 12;
            if (SameText(rest, "PM")) hour += 12;
        } else {
            return false;
        }
    }
    if (count < 2) return false;
    return TryEncodeTime(hour, parts[1], parts[2], 0, result);
}

TDateTime StrToTime(std::string_view s) {
    TDateTime r;
    if (!TryStrToTime(s, r)) throw EConvertError("'" + std::string(s) + "' is not a valid time");
    return r;
}

namespace {

// Case-insensitive test for a specifier at position i.
bool At(std::string_view f, size_t i, std::string_view word) {
    return i + word.size() <= f.size() && SameText(f.substr(i, word.size()), word);
}

void Pad2(std::string& out, int v) {
    if (v < 10) out += '0';
    out += std::to_string(v);
}

void FormatInto(std::string& out, std::string_view f, TDateTime dt, int nesting) {
    int year, month, day, hour, min, sec, msec;
    DecodeDate(dt, year, month, day);
    DecodeTime(dt, hour, min, sec, msec);
    const TFormatSettings& fs = FormatSettings();
    bool lastWasHour = false;
    size_t i = 0;
    while (i < f.size()) {
        const char c = f[i];
        const char lc = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        auto count = [&](char ch) {
            size_t n = 0;
            while (i + n < f.size() && (f[i + n] | 0x20) == ch) ++n;
            return n;
        };
        bool hourNow = false;
        if (c == '"' || c == '\'') {
            size_t j = i + 1;
            while (j < f.size() && f[j] != c) out += f[j++];
            i = j < f.size() ? j + 1 : j;
            continue;
        }
        switch (lc) {
        case 'c':
            if (nesting < 2) {
                FormatInto(out, fs.ShortDateFormat, dt, nesting + 1);
                if (hour || min || sec) {
                    out += ' ';
                    FormatInto(out, fs.LongTimeFormat, dt, nesting + 1);
                }
            }
            ++i;
            break;
        case 'd': {
            size_t n = count('d');
            i += n;
            if (n == 1) out += std::to_string(day);
            else if (n == 2) Pad2(out, day);
            else if (year > 0) {
                int64_t dayNo = 0, ms = 0;
                Split(dt, dayNo, ms);
                const int dow = static_cast<int>((dayNo % 7 + 7 + 6) % 7);  // 1899-12-30 was a Saturday
                if (n == 3) out += kShortDays[dow];
                else if (n == 4) out += kLongDays[dow];
                else if (nesting < 2) FormatInto(out, fs.ShortDateFormat, dt, nesting + 1);
            }
            break;
        }
        case 'm': {
            size_t n = count('m');
            i += n;
            if (lastWasHour && n <= 2) {
                if (n == 1) out += std::to_string(min);
                else Pad2(out, min);
            } else if (n == 1) out += std::to_string(month);
            else if (n == 2) Pad2(out, month);
            else if (month >= 1) out += n == 3 ? kShortMonths[month - 1] : kLongMonths[month - 1];
            break;
        }
        case 'y': {
            size_t n = count('y');
            i += n;
            if (n <= 2) Pad2(out, year % 100);
            else {
                std::string y = std::to_string(year);
                if (y.size() < 4) y.insert(0, 4 - y.size(), '0');
                out += y;
            }
            break;
        }
        case 'h': {
            size_t n = count('h');
            i += n;
            int h = hour;
            // A 12-hour clock when an am/pm marker follows anywhere.
            std::string_view rest = f.substr(i);
            for (size_t k = 0; k < rest.size(); ++k)
                if (At(rest, k, "am/pm") || At(rest, k, "a/p") || At(rest, k, "ampm")) {
                    h = hour % 12;
                    if (h == 0) h = 12;
                    break;
                }
            if (n == 1) out += std::to_string(h);
            else Pad2(out, h);
            hourNow = true;
            break;
        }
        case 'n': {
            size_t n = count('n');
            i += n;
            if (n == 1) out += std::to_string(min);
            else Pad2(out, min);
            break;
        }
        case 's': {
            size_t n = count('s');
            i += n;
            if (n == 1) out += std::to_string(sec);
            else Pad2(out, sec);
            break;
        }
        case 'z': {
            size_t n = count('z');
            i += n;
            std::string z = std::to_string(msec);
            if (n >= 3 && z.size() < 3) z.insert(0, 3 - z.size(), '0');
            out += z;
            break;
        }
        case 't': {
            size_t n = count('t');
            i += n;
            if (nesting < 2) FormatInto(out, n == 1 ? std::string_view("hh:nn") : std::string_view(fs.LongTimeFormat), dt, nesting + 1);
            break;
        }
        case 'a':
            if (At(f, i, "am/pm")) {
                const bool upper = f[i] == 'A';
                out += hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
                i += 5;
            } else if (At(f, i, "a/p")) {
                const bool upper = f[i] == 'A';
                out += hour < 12 ? (upper ? 'A' : 'a') : (upper ? 'P' : 'p');
                i += 3;
            } else if (At(f, i, "ampm")) {
                out += hour < 12 ? "AM" : "PM";
                i += 4;
            } else {
                out += c;
                ++i;
            }
            break;
        case '/':
            out += fs.DateSeparator;
            ++i;
            break;
        case ':':
            out += fs.TimeSeparator;
            ++i;
            break;
        default:
            out += c;
            ++i;
            break;
        }
        // Only specifier letters count: "hh:mm" still shows minutes.
        if (lc >= 'a' && lc <= 'z') lastWasHour = hourNow;
    }
}

}  // namespace

std::string FormatDateTime(std::string_view fmt, TDateTime dt) {
    std::string out;
    FormatInto(out, fmt.empty() ? std::string_view("c") : fmt, dt, 0);
    return out;
}

std::string DateTimeToStr(TDateTime dt) { return FormatDateTime("c", dt); }

std::string CFormatToDateFormat(std::string_view cfmt, char& separator) {
    // Composite conversions first.
    std::string f;
    for (size_t i = 0; i < cfmt.size(); ++i) {
        if (cfmt[i] == '%' && i + 1 < cfmt.size()) {
            const char c = cfmt[i + 1];
            const char* expand = c == 'D' ? "%m/%d/%y" : c == 'F' ? "%Y-%m-%d" : c == 'T' ? "%H:%M:%S"
                               : c == 'R' ? "%H:%M" : c == 'r' ? "%I:%M:%S %p" : nullptr;
            if (expand) {
                f += expand;
                ++i;
                continue;
            }
        }
        f += cfmt[i];
    }
    separator = 0;
    const bool isTime = f.find("%H") != std::string::npos || f.find("%I") != std::string::npos ||
                        f.find("%M") != std::string::npos || f.find("%k") != std::string::npos ||
                        f.find("%l") != std::string::npos;
    std::string out;
    std::string literal;
    auto flushLiteral = [&]() {
        if (literal.empty()) return;
        for (char c : literal) {
            const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || static_cast<unsigned char>(c) >= 0x80;
            const bool special = c == '/' || c == ':' || c == '"' || c == '\'';
            if (!separator && !letter && c != ' ' && c != '"' && c != '\'') separator = c;
            if (c == separator) out += isTime ? ':' : '/';
            else if (letter || special) {
                out += '"';
                out += c;
                out += '"';
            } else out += c;
        }
        literal.clear();
    };
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') {
            literal += f[i];
            continue;
        }
        if (++i >= f.size()) return std::string();
        char c = f[i];
        // glibc flags: "%-d" (no padding), "%Ed", "%Od" (alternative forms).
        bool noPad = false;
        while ((c == '-' || c == '_' || c == '0' || c == 'E' || c == 'O') && i + 1 < f.size()) {
            if (c == '-') noPad = true;
            c = f[++i];
        }
        flushLiteral();
        switch (c) {
        case 'd': out += noPad ? "d" : "dd"; break;
        case 'e': out += "d"; break;
        case 'm': out += noPad ? "m" : "mm"; break;
        case 'b':
        case 'h': out += "mmm"; break;
        case 'B': out += "mmmm"; break;
        case 'a': out += "ddd"; break;
        case 'A': out += "dddd"; break;
        case 'y': out += "yy"; break;
        case 'Y': out += "yyyy"; break;
        case 'H':
        case 'I': out += noPad ? "h" : "hh"; break;
        case 'k':
        case 'l': out += "h"; break;
        case 'M': out += noPad ? "n" : "nn"; break;
        case 'S': out += noPad ? "s" : "ss"; break;
        case 'p':
        case 'P': out += "ampm"; break;
        case '%': out += '%'; break;
        default: return std::string();
        }
    }
    flushLiteral();
    return out;
}

std::string DateToStr(TDateTime dt) {
    std::string out;
    FormatInto(out, FormatSettings().ShortDateFormat, dt, 1);
    return out;
}

}  // namespace dv
