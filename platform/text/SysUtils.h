// Exceptions, number conversions and formatting in the manner of the class
// library the program was designed against: the messages are the ones users
// see, so they are fixed texts.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dv {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string m) { FMessage = std::move(m); }
    const char* what() const noexcept override { return FMessage.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string FMessage;
};

#define DV_EXCEPTION_CLASS(Name, Base)                                     \
    class Name : public Base {                                             \
    public:                                                                \
        using Base::Base;                                                  \
        const char* ClassName() const noexcept override { return #Name; }  \
    };

DV_EXCEPTION_CLASS(EConvertError, Exception)
DV_EXCEPTION_CLASS(EDivByZero, Exception)       // "Division by zero"
DV_EXCEPTION_CLASS(EIntOverflow, Exception)     // "Integer overflow"
DV_EXCEPTION_CLASS(EInvalidOp, Exception)       // inf/NaN where an integer is needed
DV_EXCEPTION_CLASS(EAbort, Exception)           // silent abort of a command
DV_EXCEPTION_CLASS(EInOutError, Exception)      // file open/read failures
DV_EXCEPTION_CLASS(EFOpenError, EInOutError)
DV_EXCEPTION_CLASS(EFCreateError, EInOutError)
DV_EXCEPTION_CLASS(EReadError, Exception)       // component text that does not parse
DV_EXCEPTION_CLASS(EComponentError, Exception)  // bad or duplicate component name
DV_EXCEPTION_CLASS(EListError, Exception)

// n / d truncated toward zero. Throws EDivByZero("Division by zero") when d
// is 0, and EIntOverflow("Integer overflow") when the quotient does not fit
// the type (its smallest value divided by -1).
template <std::signed_integral T>
T CheckedDiv(T n, T d) {
    if (d == 0) throw EDivByZero("Division by zero");
    if (d == -1 && n == std::numeric_limits<T>::min()) throw EIntOverflow("Integer overflow");
    return n / d;
}
inline int32_t IntDiv(int32_t n, int32_t d) { return CheckedDiv(n, d); }
inline int64_t IntDiv64(int64_t n, int64_t d) { return CheckedDiv(n, d); }

// Process-wide number and date conventions. Readers of texts whose format is
// fixed (the statistics text) use conventions of their own instead.
struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char ListSeparator = ',';
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongTimeFormat = "hh:nn:ss";
};
TFormatSettings& FormatSettings();

// Whole-text conversions. Leading blanks and a sign are accepted, as is a '$'
// hexadecimal form; anything else (trailing blanks included) raises
// EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
bool TryStrToInt(std::string_view s, int32_t& value);
bool TryStrToInt64(std::string_view s, int64_t& value);
int32_t StrToIntDef(std::string_view s, int32_t def);
// Decimal number with FormatSettings().DecimalSeparator; raises EConvertError
// "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view s);
bool TryStrToFloat(std::string_view s, double& value);
// The same with a decimal separator of the caller's own (a text whose format
// is fixed, whatever the process-wide one is).
bool TryStrToFloat(std::string_view s, double& value, char decimalSeparator);

std::string IntToStr(int64_t v);
// Shortest general form with 15 significant digits, like the class library:
// exponent form ("1E15", "1.5E-5") beyond 15 integer digits or below 0.0001.
// Displayed numbers (here, in Format and in FormatFloat) are first taken to
// 15 significant digits and then rounded half away from zero at the last
// digit shown, so 2.675 shows as 2.68 with two decimals. inf and NaN show as
// "INF", "-INF" and "NAN".
std::string FloatToStr(double v);

// Delphi-style Format: %s %d %u %x %f %e %g %n %m %% with optional
// index, '-', width and precision ("%-10s", "%.2f", "%*d" is not supported).
// %n is fixed with thousand separators. A mismatched argument raises
// EConvertError "Format '<fmt>' invalid or incompatible with argument".
using TFormatArg = std::variant<int64_t, double, std::string>;
std::string Format(std::string_view fmt, const std::vector<TFormatArg>& args);

// Delphi-style FormatFloat with sections ";", '0', '#', '.', ',', literal
// quotes and E+ exponent, e.g. "#,##0.00", "0.###", "0%".
std::string FormatFloat(std::string_view fmt, double value);

// Nearest integer, halves to the even neighbour (52.5 -> 52, 53.5 -> 54).
// inf, NaN or a value outside int64 raises EInvalidOp
// "Invalid floating point operation" instead of undefined behaviour.
int64_t Round(double v);
// Same with a 32-bit result; out of range raises EInvalidOp.
int32_t Round32(double v);
int64_t Trunc(double v);   // toward zero, same checks as Round
// Round for a figure that is shown: a value beyond int64 (a counter near its
// limit divided by a small one, a saved file's absurd size) shows as the
// nearest int64 instead of failing the whole view or report; NaN shows as 0.
int64_t RoundClamped(double v);

// Removes leading and trailing characters <= ' ' (blanks and control chars).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);   // ASCII only
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // ASCII case-insensitive
// 1-based position of sub in s, 0 when absent (Delphi Pos).
size_t Pos(std::string_view sub, std::string_view s);
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);
// Names and texts of the model are bytes, as a statistics text holds them:
// UTF-8 as a rule, but a text of an older engine may carry a database's own
// 8-bit code page. A character is a well-formed UTF-8 sequence, or else one
// byte that stands for a character of its own.
// Bytes of the character at `at` (1 to 4; 1 past the end).
size_t Utf8CharSize(std::string_view s, size_t at);
// Characters of s.
size_t Utf8Length(std::string_view s);
// True when every byte of s belongs to a well-formed UTF-8 sequence.
bool IsUtf8(std::string_view s);

// True when part occurs in text (case matters).
inline bool ContainsStr(std::string_view text, std::string_view part) { return text.find(part) != text.npos; }

// Runs body, then every clean-up step in order whatever happens. The first
// error is the one that reaches the caller: a clean-up that fails after the
// body failed must not hide the message about the real failure, and a later
// step still runs after an earlier one failed.
void RunWithCleanup(const std::function<void()>& body, std::initializer_list<std::function<void()>> cleanup);

// Folder of the running executable, with a trailing '/'.
std::string ExeDir();
std::string ExePath();
std::string ExtractFilePath(std::string_view path);   // up to and including last '/'
std::string ExtractFileName(std::string_view path);
bool FileExists(const std::string& path);

}  // namespace dv
