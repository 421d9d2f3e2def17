#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

#include "platform/text/DateUtils.h"
#include "platform/text/SysUtils.h"
#include "tests/support/TestSupport.h"

using namespace dv;

namespace {

// Fixed separators and formats for the duration of a test.
class DateFormatTest : public ::testing::Test {
protected:
    void SetUp() override {
        FSaved = FormatSettings();
        FormatSettings().DateSeparator = '/';
        FormatSettings().TimeSeparator = ':';
        FormatSettings().ShortDateFormat = "dd/mm/yyyy";
        FormatSettings().LongTimeFormat = "hh:nn:ss";
    }
    void TearDown() override { FormatSettings() = FSaved; }

private:
    TFormatSettings FSaved;
};

// Runs with TZ set to `tz`, then restores it.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        const char* old = std::getenv("TZ");
        FHad = old != nullptr;
        if (FHad) FOld = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (FHad) setenv("TZ", FOld.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool FHad = false;
    std::string FOld;
};

}  // namespace

TEST(Dates, LeapYearsAndMonthLengths) {
    const struct {
        int year;
        bool leap;
    } years[] = {{1900, false}, {2000, true}, {2023, false}, {2024, true}, {2100, false}, {1600, true}, {4, true}};
    for (const auto& y : years) {
        EXPECT_EQ(IsLeapYear(y.year), y.leap) << y.year;
        EXPECT_EQ(DaysInMonth(y.year, 2), y.leap ? 29 : 28) << y.year;
    }
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
    EXPECT_EQ(DaysInMonth(2023, 13), 0);
    EXPECT_EQ(DaysInMonth(2023, 0), 0);
}

TEST(Dates, EncodeDateCountsDaysFrom30December1899) {
    const struct {
        int y, m, d;
        double serial;
    } cases[] = {
        {1899, 12, 30, 0},     {1899, 12, 29, -1},   {1900, 1, 1, 2},        {1900, 3, 1, 61},
        {2000, 2, 29, 36585},  {2013, 1, 1, 41275},  {1, 1, 1, -693593},    {9999, 12, 31, 2958465},
        {2024, 12, 31, 45657},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
        int y, m, d;
        DecodeDate(c.serial, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.serial;
    }
}

TEST(Dates, ImpossibleDatesAndTimesRaise) {
    const int badDates[][3] = {{2023, 2, 29}, {1900, 2, 29}, {0, 1, 1},   {10000, 1, 1},
                               {2023, 0, 1},  {2023, 13, 1}, {2023, 1, 0}, {2023, 4, 31}};
    for (const auto& b : badDates) {
        try {
            EncodeDate(b[0], b[1], b[2]);
            ADD_FAILURE() << b[0] << "-" << b[1] << "-" << b[2];
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to date encode");
        }
        TDateTime r = 123;
        EXPECT_FALSE(TryEncodeDate(b[0], b[1], b[2], r));
        EXPECT_EQ(r, 123);
    }
    const int badTimes[][4] = {{24, 0, 0, 0}, {-1, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}};
    for (const auto& b : badTimes) {
        try {
            EncodeTime(b[0], b[1], b[2], b[3]);
            ADD_FAILURE() << b[0] << ":" << b[1] << ":" << b[2] << "." << b[3];
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to time encode");
        }
    }
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(23, 59, 59, 999), 86399999.0 / 86400000.0);
}

TEST(Dates, EveryDayRoundTrips) {
    // Every day of four centuries around the epoch, and a sample of the rest.
    for (int serial = -73000; serial <= 73000; ++serial) {
        int y, m, d;
        DecodeDate(serial, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), serial) << serial;
    }
    for (int serial = -693593; serial <= 2958465; serial += 997) {
        int y, m, d;
        // A time of day moves away from zero: before the epoch it is subtracted.
        DecodeDate(serial < 0 ? serial - 0.75 : serial + 0.75, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), serial) << serial;
    }
}

TEST(Dates, DecodeTimeAndNegativeDays) {
    int h, n, s, ms;
    DecodeTime(41275.5, h, n, s, ms);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 120000000);
    // Before the epoch the fraction is still the time of day.
    DecodeTime(-1.25, h, n, s, ms);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(n, 0);
    int y, m, d;
    DecodeDate(-1.25, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    // A value a hair below midnight rounds to the next day, consistently.
    DecodeDate(41275.9999999999, y, m, d);
    DecodeTime(41275.9999999999, h, n, s, ms);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20130102);
    EXPECT_EQ(h + n + s + ms, 0);
    DecodeTime(EncodeTime(13, 5, 9, 7), h, n, s, ms);
    EXPECT_EQ(h * 10000000 + n * 100000 + s * 1000 + ms, 130509007);
}

TEST(Dates, ValuesOutsideTheCalendarDecodeToZero) {
    for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, -1e300, 2958466.0, -693595.0}) {
        int y = 1, m = 1, d = 1, h = 1, n = 1, s = 1, ms = 1;
        DecodeDate(bad, y, m, d);
        DecodeTime(bad, h, n, s, ms);
        EXPECT_EQ(y + m + d + h + n + s + ms, 0) << bad;
        EXPECT_NO_THROW(FormatDateTime("dddd d mmmm yyyy hh:nn:ss", bad)) << bad;
    }
}

TEST_F(DateFormatTest, FormatDateTimeSpecifiers) {
    const TDateTime dt = EncodeDate(2024, 2, 29) + EncodeTime(13, 5, 9, 7);
    const struct {
        const char* fmt;
        const char* text;
    } cases[] = {
        {"dd/mm/yyyy hh:nn:ss", "29/02/2024 13:05:09"},
        {"d/m/yy h:n:s", "29/2/24 13:5:9"},
        {"ddd dddd mmm mmmm", "Thu Thursday Feb February"},
        {"hh:mm", "13:05"},               // m after h is the minute
        {"mm hh:mm", "02 13:05"},
        {"h:mm am/pm", "1:05 pm"},
        {"hh AM/PM", "01 PM"},
        {"h a/p", "1 p"},
        {"hh ampm", "01 PM"},
        {"zzz|z", "007|7"},
        {"\"at\" hh 'd'd", "at 13 d29"},
        {"c", "29/02/2024 13:05:09"},
        {"ddddd", "29/02/2024"},
        {"tt", "13:05:09"},
        {"YYYY-MM-DD", "2024-02-29"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.fmt, dt), c.text) << c.fmt;
    EXPECT_EQ(FormatDateTime("h am/pm", EncodeDate(2024, 1, 1)), "12 am");
    EXPECT_EQ(FormatDateTime("h am/pm", EncodeDate(2024, 1, 1) + 0.5), "12 pm");
    EXPECT_EQ(FormatDateTime("yyyy", EncodeDate(5, 3, 1)), "0005");
    EXPECT_EQ(FormatDateTime("dddd", EncodeDate(1899, 12, 30)), "Saturday");
    // Before the epoch a time is counted back: -6.9 is 24 December 1899, 21:36.
    EXPECT_EQ(FormatDateTime("dddd hh:nn", EncodeDate(1899, 12, 24) - 0.9), "Sunday 21:36");

    FormatSettings().DateSeparator = '.';
    FormatSettings().TimeSeparator = '-';
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", dt), "29.02.2024 13-05");
}

TEST_F(DateFormatTest, DateTimeToStrLeavesOutMidnight) {
    const TDateTime day = EncodeDate(2013, 1, 1);
    EXPECT_EQ(DateTimeToStr(day), "01/01/2013");
    EXPECT_EQ(DateTimeToStr(day + 0.5), "01/01/2013 12:00:00");
    EXPECT_EQ(DateTimeToStr(day + EncodeTime(0, 0, 1, 0)), "01/01/2013 00:00:01");
    // Milliseconds alone do not count as a time.
    EXPECT_EQ(DateTimeToStr(day + EncodeTime(0, 0, 0, 400)), "01/01/2013");
    EXPECT_EQ(DateToStr(day + 0.5), "01/01/2013");
    FormatSettings().ShortDateFormat = "mm/dd/yy";
    FormatSettings().LongTimeFormat = "h:nn:ss ampm";
    EXPECT_EQ(DateTimeToStr(day + 0.75), "01/01/13 6:00:00 PM");
}

TEST_F(DateFormatTest, StrToTime) {
    const struct {
        const char* text;
        double value;  // < 0: invalid
    } cases[] = {
        {"12:00:00", 0.5},
        {"06:00", 0.25},
        {" 18:00:00 ", 0.75},
        {"6:00 PM", 0.75},
        {"12:00 am", 0},
        {"23:59:59", 86399.0 / 86400},
        {"24:00", -1},
        {"12:60", -1},
        {"12", -1},
        {"", -1},
        {"ab:cd", -1},
        {"1:2:3:4", -1},
        {"13:00 PM", -1},
        {"12-00", -1},
    };
    for (const auto& c : cases) {
        if (c.value >= 0) {
            EXPECT_DOUBLE_EQ(StrToTime(c.text), c.value) << c.text;
        } else {
            try {
                StrToTime(c.text);
                ADD_FAILURE() << "accepted '" << c.text << "'";
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), std::string("'") + c.text + "' is not a valid time");
            }
        }
    }
}

TEST(Dates, LocaleFormatsBecomeDayMonthYearForms) {
    const struct {
        const char* cfmt;
        const char* fmt;
        char sep;
    } cases[] = {
        {"%d.%m.%Y", "dd/mm/yyyy", '.'},
        {"%m/%d/%y", "mm/dd/yy", '/'},
        {"%D", "mm/dd/yy", '/'},
        {"%F", "yyyy/mm/dd", '-'},
        {"%Y-%m-%d", "yyyy/mm/dd", '-'},
        {"%e %B %Y", "d mmmm yyyy", 0},
        {"%H:%M:%S", "hh:nn:ss", ':'},
        {"%T", "hh:nn:ss", ':'},
        {"%r", "hh:nn:ss ampm", ':'},
        {"%H.%M.%S", "hh:nn:ss", '.'},
        {"%Hh%M", "hh\"h\"nn", 0},
        {"%Q", "", 0},
        {"%C%y", "", 0},
    };
    for (const auto& c : cases) {
        char sep = 'x';
        EXPECT_EQ(CFormatToDateFormat(c.cfmt, sep), c.fmt) << c.cfmt;
        if (*c.fmt) {
            EXPECT_EQ(sep, c.sep) << c.cfmt;
        }
    }
}

TEST(Dates, LocalTimes) {
    {
        ScopedTimeZone tz("UTC");
        EXPECT_EQ(UnixToDateTimeLocal(0), 25569.0);
        EXPECT_DOUBLE_EQ(UnixToDateTimeLocal(86400 + 3600), 25570.0 + 1.0 / 24);
        EXPECT_EQ(UnixToDateTimeLocal(-86400), 25568.0);
    }
    {
        ScopedTimeZone tz("EST5");
        EXPECT_DOUBLE_EQ(UnixToDateTimeLocal(0), 25569.0 - 5.0 / 24);
    }
    EXPECT_EQ(UnixToDateTimeLocal(INT64_MAX), 0);
    EXPECT_EQ(UnixToDateTimeLocal(INT64_MIN), 0);

    // The file's modification time in local time.
    ScopedTimeZone tz("UTC");
    const std::string path = testing::TempDir() + "dv_filedate_" + std::to_string(getpid()) + ".txt";
    dv::test::WriteFile(path, "x");
    struct timeval times[2] = {{1356998400 + 1800, 0}, {1356998400 + 1800, 0}};  // 2013-01-01 00:30 UTC
    ASSERT_EQ(utimes(path.c_str(), times), 0);
    EXPECT_DOUBLE_EQ(FileDateTime(path), 41275.0 + 1.0 / 48);
    std::remove(path.c_str());
    EXPECT_THROW(FileDateTime(path), EInOutError);

    // Now and Date agree with the system clock.
    const TDateTime expected = UnixToDateTimeLocal(static_cast<int64_t>(std::time(nullptr)));
    EXPECT_NEAR(Now(), expected, 5.0 / 86400);
    EXPECT_EQ(Date(), std::floor(Now()));
}
