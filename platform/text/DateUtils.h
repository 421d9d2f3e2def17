// TDateTime: days since 30 December 1899 as a double, time of day as the
// fraction (negative values count back, the fraction still being the time).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dv {

using TDateTime = double;

// Raise EConvertError "Invalid argument to date encode" /
// "Invalid argument to time encode" on an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

TDateTime Now();    // local time
TDateTime Date();   // local date, time 0
// Local modification time of a file; raises EInOutError when it cannot be read.
TDateTime FileDateTime(const std::string& path);
TDateTime UnixToDateTimeLocal(int64_t unixSeconds);

// "hh:mm:ss" (or "hh:mm") with FormatSettings().TimeSeparator; raises
// EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(std::string_view s);
bool TryStrToTime(std::string_view s, TDateTime& result);
// The same with a separator of the caller's own (a text whose format is fixed).
bool TryStrToTime(std::string_view s, TDateTime& result, char separator);

// Format specifiers: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz
// am/pm, "/" (DateSeparator), ":" (TimeSeparator), quoted literals, "c".
std::string FormatDateTime(std::string_view fmt, TDateTime dt);
// Short date, and when the time is not 00:00:00 a blank and the long time.
std::string DateTimeToStr(TDateTime dt);
std::string DateToStr(TDateTime dt);

// Converts a C library date or time format (nl_langinfo D_FMT / T_FMT, e.g.
// "%d.%m.%Y" or "%I:%M:%S %p") into this library's form ("dd/mm/yyyy" with
// separator '.'; "hh:nn:ss ampm" with ':'). The first separator character is
// returned in `separator` and written as '/' or ':'; other text is quoted.
// Empty when the format holds a conversion without an equivalent.
std::string CFormatToDateFormat(std::string_view cfmt, char& separator);

}  // namespace dv
