#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "platform/text/SysUtils.h"

using namespace dv;

namespace {

// Restores the process-wide separators after a test changes them.
class SettingsGuard {
public:
    SettingsGuard() : FSaved(FormatSettings()) {}
    ~SettingsGuard() { FormatSettings() = FSaved; }

private:
    TFormatSettings FSaved;
};

}  // namespace

TEST(Conversions, StrToIntAcceptsAndRejects) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {"42", 42},
        {"  42", 42},          // leading blanks are fine
        {"+7", 7},
        {"-2147483648", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"$FF", 255},
        {"$ffffffff", -1},     // hexadecimal fills the whole width
        {"0x10", 16},
        {"-$10", -16},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"42 ", std::nullopt},  // trailing blanks are not
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"4 2", std::nullopt},
        {"1e3", std::nullopt},
        {"12.0", std::nullopt},
        {"abc", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        if (c.value) {
            EXPECT_EQ(StrToInt(c.text), *c.value) << "'" << c.text << "'";
            EXPECT_EQ(StrToIntDef(c.text, -99), *c.value) << "'" << c.text << "'";
        } else {
            try {
                StrToInt(c.text);
                ADD_FAILURE() << "accepted '" << c.text << "'";
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), std::string("'") + c.text + "' is not a valid integer value");
            }
            EXPECT_EQ(StrToIntDef(c.text, -99), -99) << "'" << c.text << "'";
        }
    }
}

TEST(Conversions, StrToInt64Limits) {
    EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(StrToInt64("4294967296"), 4294967296LL);
    for (const char* bad : {"9223372036854775808", "-9223372036854775809", "18446744073709551616", "$1FFFFFFFFFFFFFFFF"})
        EXPECT_THROW(StrToInt64(bad), EConvertError) << bad;
}

TEST(Conversions, StrToFloatFollowsTheDecimalSeparator) {
    SettingsGuard guard;
    FormatSettings().DecimalSeparator = '.';
    EXPECT_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_EQ(StrToFloat(" -2.25e2 "), -225.0);
    EXPECT_EQ(StrToFloat("+3"), 3.0);
    for (const char* bad : {"1,5", "", "1e400", "inf", "nan", "1.2.3", "--1", "1e", "0x10"}) {
        try {
            StrToFloat(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid floating point value");
        }
    }
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(StrToFloat("1,5"), 1.5);
    EXPECT_THROW(StrToFloat("1.5"), EConvertError);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const struct {
        double value;
        int64_t rounded;
    } cases[] = {
        {52.5, 52}, {53.5, 54}, {-52.5, -52}, {-53.5, -54}, {0.5, 0}, {1.5, 2}, {2.4999999, 2},
        {2.5000001, 3}, {-0.4, 0}, {4503599627370495.5, 4503599627370496}, {1e18, 1000000000000000000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Round(c.value), c.rounded) << c.value;
        if (std::fabs(c.value) < 2e9) {
            EXPECT_EQ(Round32(c.value), c.rounded) << c.value;
        }
    }
    EXPECT_EQ(Trunc(-2.9), -2);
    EXPECT_EQ(Trunc(2.9), 2);
}

TEST(Rounding, NonFiniteAndOutOfRangeRaiseInsteadOfUndefinedBehaviour) {
    const double bad64[] = {INFINITY, -INFINITY, NAN, 9.3e18, -9.3e18, 1e300};
    for (double v : bad64) {
        try {
            Round(v);
            ADD_FAILURE() << "no error for " << v;
        } catch (const EInvalidOp& e) {
            EXPECT_EQ(e.Message(), "Invalid floating point operation");
        }
        EXPECT_THROW(Trunc(v), EInvalidOp) << v;
        EXPECT_EQ(RoundClamped(v), std::isnan(v) ? 0 : v > 0 ? INT64_MAX : INT64_MIN) << v;
    }
    EXPECT_EQ(RoundClamped(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(RoundClamped(52.5), 52);
    EXPECT_EQ(RoundClamped(-53.5), -54);
    EXPECT_EQ(Round32(2147483647.4), INT32_MAX);
    EXPECT_EQ(Round32(-2147483648.5), INT32_MIN);  // halves to even: -2147483648
    EXPECT_THROW(Round32(2147483647.5), EInvalidOp);  // rounds to 2^31
    EXPECT_THROW(Round32(NAN), EInvalidOp);
}

TEST(Rounding, IntegerDivision) {
    EXPECT_EQ(IntDiv(7, 2), 3);
    EXPECT_EQ(IntDiv(-7, 2), -3);
    EXPECT_EQ(IntDiv64(-9, 4), -2);
    try {
        IntDiv(1, 0);
        ADD_FAILURE();
    } catch (const EDivByZero& e) {
        EXPECT_EQ(e.Message(), "Division by zero");
    }
    EXPECT_THROW(IntDiv64(1, 0), EDivByZero);
    // The one quotient that does not fit its type is an error, not a wrap.
    EXPECT_EQ(IntDiv(INT32_MIN, 1), INT32_MIN);
    EXPECT_EQ(IntDiv(INT32_MAX, -1), -INT32_MAX);
    try {
        IntDiv(INT32_MIN, -1);
        ADD_FAILURE();
    } catch (const EIntOverflow& e) {
        EXPECT_EQ(e.Message(), "Integer overflow");
    }
    EXPECT_THROW(IntDiv64(INT64_MIN, -1), EIntOverflow);
}

TEST(FormatTest, Specifiers) {
    SettingsGuard guard;
    FormatSettings().DecimalSeparator = '.';
    FormatSettings().ThousandSeparator = ',';
    using A = std::vector<TFormatArg>;
    const struct {
        const char* fmt;
        A args;
        const char* text;
    } cases[] = {
        {"%s. Loaded from %s", A{std::string("Dravolt 2.7"), std::string("/tmp/a b.txt")},
         "Dravolt 2.7. Loaded from /tmp/a b.txt"},
        {"Difference between keys and records+versions: %d", A{int64_t{-12}},
         "Difference between keys and records+versions: -12"},
        {"%d, for %d days", A{int64_t{5}, int64_t{365}}, "5, for 365 days"},
        {"%3.2f%% - records: %d mb", A{12.345, int64_t{7}}, "12.35% - records: 7 mb"},
        {"%6.2f megabytes", A{1.5}, "  1.50 megabytes"},
        {"%2d%%", A{int64_t{5}}, " 5%"},
        {"%2d%%", A{int64_t{100}}, "100%"},
        {"%.2f", A{0.125}, "0.13"},
        {"%.2f", A{2.675}, "2.68"},       // 2.67499999... counts as 2.675
        {"%.2f", A{-0.005}, "-0.01"},     // half away from zero
        {"%.2f", A{-0.004}, "0.00"},      // no "-0.00"
        {"%f", A{3.0}, "3.00"},
        {"%.0f", A{2.5}, "3"},
        {"%.3f", A{1e20}, "100000000000000000000.000"},
        {"%n", A{1234567.891}, "1,234,567.89"},
        {"%.0n", A{-1234.5}, "-1,235"},
        {"%e", A{1000.0}, "1.00000000000000E+003"},
        {"%.3e", A{-0.00012345}, "-1.23E-004"},
        {"%g", A{0.5}, "0.5"},
        {"%g", A{1e20}, "1E20"},
        {"%5d|%-5d|", A{int64_t{42}, int64_t{42}}, "   42|42   |"},
        {"%.4d", A{int64_t{-7}}, "-0007"},
        {"%x %X", A{int64_t{255}, int64_t{-1}}, "FF FFFFFFFFFFFFFFFF"},
        {"%u", A{int64_t{3000000000}}, "3000000000"},
        {"[%8s][%-8s][%.2s]", A{std::string("abc"), std::string("abc"), std::string("abc")}, "[     abc][abc     ][ab]"},
        {"%1:s %0:s %s", A{std::string("a"), std::string("b")}, "b a b"},
        {"100%%", A{}, "100%"},
        {"no specifiers", A{int64_t{1}}, "no specifiers"},
    };
    for (const auto& c : cases) EXPECT_EQ(Format(c.fmt, c.args), c.text) << c.fmt;

    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ThousandSeparator = '.';
    EXPECT_EQ(Format("%.1f|%n", {2.25, 1234.5}), "2,3|1.234,50");
}

TEST(FormatTest, MismatchedArgumentsRaise) {
    using A = std::vector<TFormatArg>;
    const struct {
        const char* fmt;
        A args;
    } cases[] = {
        {"%d", A{std::string("5")}}, {"%d", A{5.0}},     {"%f", A{int64_t{5}}}, {"%s", A{int64_t{5}}},
        {"%s %s", A{std::string("a")}}, {"%d", A{}},       {"%*d", A{int64_t{3}, int64_t{5}}},
        {"%q", A{int64_t{1}}},          {"trailing %", A{}}, {"%.d", A{int64_t{1}}}, {"%5:d", A{int64_t{1}}},
    };
    for (const auto& c : cases) {
        try {
            Format(c.fmt, c.args);
            ADD_FAILURE() << "accepted " << c.fmt;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("Format '") + c.fmt + "' invalid or incompatible with argument");
        }
    }
}

TEST(FormatFloatTest, Patterns) {
    SettingsGuard guard;
    FormatSettings().DecimalSeparator = '.';
    FormatSettings().ThousandSeparator = ',';
    const struct {
        const char* fmt;
        double value;
        const char* text;
    } cases[] = {
        {"#####0.00", 2.675, "2.68"},
        {"#####0.00", 0, "0.00"},
        {"#####0.00", 45.67, "45.67"},
        {"#####0.00", 123456789.5, "123456789.50"},  // more digits than places
        {"#####0.00", -1.005, "-1.01"},
        {"####0.00", 0.004, "0.00"},
        {"####0.00", 0.005, "0.01"},
        {"####0.00", -0.004, "0.00"},
        {"0.0000000", 0.5, "0.5000000"},
        {"0.0000000", 1.0 / 3, "0.3333333"},
        {"0.0000000", 0.00000005, "0.0000001"},
        {"#,##0.00", 1234567.125, "1,234,567.13"},
        {"#,##0.00", -1234.5, "-1,234.50"},
        {"#,##0.00", 999.999, "1,000.00"},
        {"#,##0", 12, "12"},
        {"0.###", 1.5, "1.5"},
        {"0.###", 2, "2"},
        {"0.###", 1.23456, "1.235"},
        {"#.##", 0.5, ".5"},
        {"#", 0, ""},
        {"00000", 42, "00042"},
        {"0", 2.5, "3"},
        {"0", -2.5, "-3"},
        {"0%", 45, "45%"},
        {"'Size: '0.0\" mb\"", 2.25, "Size: 2.3 mb"},
        {"0.00E+00", 12345, "1.23E+04"},
        {"0.00E+00", 0.000123, "1.23E-04"},
        {"0.00E+00", 0, "0.00E+00"},
        {"0.0E-0", 1500, "1.5E3"},
        {"0.00;(0.00)", -5, "(5.00)"},
        {"0.00;(0.00)", 5, "5.00"},
        {"0.00;(0.00);'zero'", 0, "zero"},
        {"0.00;(0.00);'zero'", 0.001, "zero"},  // rounds to zero
        {"0.00;;'zero'", -2, "-2.00"},           // empty negative section: the first one with a sign
        {"", 1.5, "1.5"},
        {"0.00", NAN, "NAN"},
        {"0.00", -INFINITY, "-INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.fmt, c.value), c.text) << c.fmt << " with " << c.value;
    EXPECT_EQ(FormatFloat("0.00", 1e300), "1" + std::string(300, '0') + ".00");

    FormatSettings().DecimalSeparator = ',';
    FormatSettings().ThousandSeparator = '.';
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5), "1.234,50");
}

TEST(FloatToStrTest, FifteenSignificantDigitsInGeneralForm) {
    SettingsGuard guard;
    FormatSettings().DecimalSeparator = '.';
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {100, "100"},
        {-1.5, "-1.5"},
        {0.1 + 0.2, "0.3"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {123456789012345, "123456789012345"},
        {1e15, "1E15"},
        {1234567890123456, "1.23456789012346E15"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {-2.5e-10, "-2.5E-10"},
        {45.67, "45.67"},
        {NAN, "NAN"},
        {INFINITY, "INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.value;
    FormatSettings().DecimalSeparator = ',';
    EXPECT_EQ(FloatToStr(45.67), "45,67");
}

TEST(Strings, TrimAndFriends) {
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x \x01"), "  x");
    EXPECT_EQ(UpperCase("aBc\xE9"), "ABC\xE9");
    EXPECT_TRUE(SameText("Relation128", "RELATION128"));
    EXPECT_FALSE(SameText("abc", "abd"));
    EXPECT_EQ(Pos("lo", "hello"), 4u);
    EXPECT_EQ(Pos("x", "hello"), 0u);
    EXPECT_EQ(Pos("", "hello"), 0u);
    EXPECT_EQ(StringReplaceAll("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(ExtractFilePath("/tmp/x/y.txt"), "/tmp/x/");
    EXPECT_EQ(ExtractFileName("/tmp/x/y.txt"), "y.txt");
    EXPECT_EQ(ExtractFileName("y.txt"), "y.txt");
}

TEST(Strings, Utf8CharactersAndBytesOfTheirOwn) {
    const struct {
        std::string text;
        size_t chars;
        bool utf8;
    } cases[] = {
        {"", 0, true},
        {"ABC", 3, true},
        {"\xCE\xB1\xCE\xB2", 2, true},                   // Greek
        {"\xE2\x82\xAC\xF0\x9F\x98\x80x", 3, true},       // 3 and 4 bytes
        {"\xCF\xF0\xE8\xE2\xE5\xF2", 6, false},           // a WIN1251 word: one per byte
        {"\xC3", 1, false},                               // a lead byte cut off
        {"\xE2\x82", 2, false},                           // a sequence cut short
        {"\xC0\x80", 2, false},                           // overlong
        {"\xED\xA0\x80", 3, false},                       // a surrogate
        {"\xF4\x90\x80\x80", 4, false},                   // past U+10FFFF
        {"\x80\xBF" "a", 3, false},                          // continuation bytes alone
        // Past eight ASCII bytes: a sequence across the eighth, a byte alone.
        {"ABCDEFG\xE2\x82\xAC" "HIJKLMNOP\xC3", 18, false},
        {"ABCDEFGHIJ\xC3\xA9", 11, true},               // only the last word's end not ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8Length(c.text), c.chars) << c.text;
        EXPECT_EQ(IsUtf8(c.text), c.utf8) << c.text;
    }
}

TEST(RunWithCleanupTest, EveryStepRunsAndTheFirstErrorReachesTheCaller) {
    struct Case {
        const char* name;
        bool bodyFails, firstStepFails, secondStepFails;
        const char* error;   // nullptr: none
    };
    const Case cases[] = {
        {"nothing fails", false, false, false, nullptr},
        {"the body's error wins over the clean-up's", true, true, true, "body"},
        {"a failed step does not stop the next", false, true, true, "step 1"},
        {"the last step alone", false, false, true, "step 2"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> ran;
        auto step = [&](const char* name, bool fails) {
            return [&ran, name, fails] {
                ran.push_back(name);
                if (fails) throw Exception(name);
            };
        };
        std::string error;
        try {
            RunWithCleanup(step("body", c.bodyFails), {step("step 1", c.firstStepFails), step("step 2", c.secondStepFails)});
        } catch (const Exception& e) {
            error = e.Message();
        }
        EXPECT_EQ(ran, (std::vector<std::string>{"body", "step 1", "step 2"})) << c.name;
        EXPECT_EQ(error, c.error ? c.error : "") << c.name;
    }
}
