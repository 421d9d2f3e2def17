// The transaction calculator: rates from the model and from typed inputs,
// the strict integer inputs, division by zero, "Reset changes", and the
// dialog as the main window opens it (modal, closed from a timer).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <string>

#include "model/dkmain.h"
#include "platform/text/DateUtils.h"
#include "platform/text/SysUtils.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/ui/MainTestSupport.h"
#include "ui/dialogs/UTranCalc.h"

namespace dv::test {
namespace {

std::string S(const QLineEdit* e) { return e->text().toStdString(); }

class TranCalcTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitStatisticsModel();
        DBInfo->Reset(true);
        SavedFormats = FormatSettings();
        FormatSettings().DecimalSeparator = '.';
    }
    void TearDown() override {
        DBInfo->Reset(true);
        FormatSettings() = SavedFormats;
    }

    // The seven outputs in the order Recompute writes them.
    static std::array<std::string, 7> Outputs(const TTranCalc& d) {
        return {S(d.eTranComp), S(d.eTranHour), S(d.eTranMin), S(d.eTranHourC),
                S(d.eTranMinC),  S(d.eTranSec),  S(d.eTranSecC)};
    }
    static void Inputs(TTranCalc& d, const char* t, const char* h, const char* c) {
        d.eTransPerDay->setText(t);
        d.eWorkHours->setText(h);
        d.eComputers->setText(c);
    }

    TFormatSettings SavedFormats;
};

TEST_F(TranCalcTest, OutputsFromTypedInputs) {
    struct Case {
        const char* t;
        const char* h;
        const char* c;
        std::array<std::string, 7> out;   // comp, hour, min, hourC, minC, sec, secC
    } cases[] = {
        {"100000", "8", "10", {"10000", "12500", "208", "1250", "20", "3", "0.35"}},
        // Truncation toward zero, and a negative per-second share.
        {"-100000", "8", "10", {"-10000", "-12500", "-208", "-1250", "-20", "-3", "-0.35"}},
        {"100000", "-8", "10", {"10000", "-12500", "-208", "-1250", "-20", "-3", "-0.35"}},
        // The per-second share comes from the per-minute integer: 59 / 60 / 1.
        {"28320", "8", "1", {"28320", "3540", "59", "3540", "59", "0", "0.98"}},
        // Rates too small for a whole per-minute transaction give zeros, not "-0.00".
        {"-100", "8", "-10", {"10", "-12", "0", "1", "0", "0", "0.00"}},
        // The extremes of 32 bits.
        {"-2147483648", "1", "1", {"-2147483648", "-2147483648", "-35791394", "-2147483648", "-35791394",
                                   "-596523", "-596523.23"}},
        // 64-bit values (newer engines count transactions in 48 bits): no
        // wrap at 2^31.
        {"-2147483648", "-1", "1", {"-2147483648", "2147483648", "35791394", "2147483648", "35791394",
                                    "596523", "596523.23"}},
        {"300000000000000", "1", "1", {"300000000000000", "300000000000000", "5000000000000", "300000000000000",
                                       "5000000000000", "83333333333", "83333333333.33"}},
        {"2147483647", "1", "2147483647", {"1", "2147483647", "35791394", "1", "0", "596523", "0.00"}},
        // Leading blanks and the '$' hex form are integers to the class library too.
        {" 100000", "$8", "10", {"10000", "12500", "208", "1250", "20", "3", "0.35"}},
    };
    TTranCalc d;
    ScriptedDialogs dialogs;
    for (const Case& c : cases) {
        Inputs(d, c.t, c.h, c.c);
        d.bRecalcClick();
        EXPECT_EQ(Outputs(d), c.out) << c.t << " / " << c.h << " / " << c.c;
    }
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
}

TEST_F(TranCalcTest, PerSecondShareUsesTheDecimalSeparatorInForce) {
    TTranCalc d;
    FormatSettings().DecimalSeparator = ',';
    Inputs(d, "100000", "8", "10");
    d.Recompute();
    EXPECT_EQ(S(d.eTranSecC), "0,35");
}

TEST_F(TranCalcTest, NothingLoadedShowsZerosEverywhere) {
    ScriptedDialogs dialogs;
    TTranCalc d;
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
    EXPECT_EQ(S(d.eTransPerDay), "0");
    EXPECT_EQ(S(d.eActiveTrans), "0");
    EXPECT_EQ(S(d.eWorkHours), "8");
    EXPECT_EQ(S(d.eComputers), "10");
    EXPECT_EQ(Outputs(d), (std::array<std::string, 7>{"0", "0", "0", "0", "0", "0", "0.00"}));

    // Without any model (the main window has already freed it) the same.
    TDatabaseInfo* model = DBInfo;
    DBInfo = nullptr;
    TTranCalc bare;
    DBInfo = model;
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
    EXPECT_EQ(Outputs(bare), Outputs(d));
    EXPECT_EQ(S(bare.eTransPerDay), "0");
}

TEST_F(TranCalcTest, ModelValuesAtCreation) {
    TDatabaseInfo& db = *DBInfo;
    struct Case {
        const char* name;
        int32_t nxt, oat;
        double created, taken;   // days relative to 1 March 2024
        const char* perDay;
        const char* active;
    } cases[] = {
        // 10 days and a half plus one: 11 whole days.
        {"eleven days", 1100000, 1099000, 0, 10.5, "100000", "1000"},
        {"same day", 5000, 4990, 0, 0.25, "5000", "10"},
        {"created the day after", 5000, 4990, 1, 0, "5000", "10"},
        // Less than two days after the statistics: no whole day, counted as
        // one (as the summary and the parser count it), not a division by zero.
        {"created 1.5 days after", 5000, 4990, 1.5, 0, "5000", "10"},
        {"created 3 days after", 6000, 6000, 3, 0, "3000", "0"},
        // Wrapped counters: the difference is taken modulo 2^32.
        {"wrapped", -2147483600, 2147483600, 0, 0, "-2147483600", "96"},
    };
    for (const Case& c : cases) {
        db.NxT = c.nxt;
        db.OAT = c.oat;
        db.CDate = EncodeDate(2024, 3, 1) + c.created;
        db.Age = EncodeDate(2024, 3, 1) + c.taken;
        ScriptedDialogs dialogs;
        TTranCalc d;
        EXPECT_TRUE(dialogs.Messages.empty()) << c.name << ": " << dialogs.LastText();
        EXPECT_EQ(S(d.eTransPerDay), c.perDay) << c.name;
        EXPECT_EQ(S(d.eActiveTrans), c.active) << c.name;
        // The outputs were computed from them at once.
        int32_t t = StrToInt(c.perDay);
        EXPECT_EQ(S(d.eTranComp), IntToStr(IntDiv(t, 10))) << c.name;
    }
}

TEST_F(TranCalcTest, TextThatIsNotAnIntegerChangesNoOutput) {
    struct Case {
        const char* box;
        const char* text;
    } cases[] = {
        {"eTransPerDay", "abc"}, {"eTransPerDay", ""},        {"eWorkHours", "8.5"},
        {"eWorkHours", "8 "},    {"eComputers", "9223372036854775808"}, {"eComputers", "1e3"},
    };
    for (const Case& c : cases) {
        TTranCalc d;
        Inputs(d, "100000", "8", "10");
        d.Recompute();
        const auto before = Outputs(d);
        d.findChild<QLineEdit*>(c.box)->setText(c.text);
        ScriptedDialogs dialogs;
        d.bRecalc->click();   // the guarded command: shown, not thrown
        ASSERT_EQ(dialogs.Messages.size(), 1u) << c.box << " = '" << c.text << "'";
        EXPECT_EQ(dialogs.Messages[0].Text, std::string("'") + c.text + "' is not a valid integer value");
        EXPECT_EQ(dialogs.Messages[0].Type, mtError);
        EXPECT_EQ(Outputs(d), before) << c.box << " = '" << c.text << "'";
    }
}

TEST_F(TranCalcTest, ActiveTransactionsAreNotRead) {
    TTranCalc d;
    d.eActiveTrans->setText("not a number");
    ScriptedDialogs dialogs;
    d.bRecalc->click();
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
}

TEST_F(TranCalcTest, ADivisionWithoutAResultStopsAtTheFirstOutputThatNeedsIt) {
    // The smallest value divided by -1 does not fit the calculator's type.
    const std::string min = IntToStr(std::numeric_limits<TTranCalc::TValue>::min());
    struct Case {
        std::string t, h, c;
        const char* message;
        std::string comp;   // the one output written before the failing one; "" for none
    } cases[] = {
        {"50000", "8", "0", "Division by zero", ""},       // no computers: nothing changes
        {"50000", "0", "10", "Division by zero", "5000"},  // no working hours: only the daily share
        {min, "-1", "1", "Integer overflow", min},
        {min, "1", "-1", "Integer overflow", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t + " / " + c.h + " / " + c.c);
        TTranCalc d;
        Inputs(d, "100000", "8", "10");
        d.Recompute();
        auto expected = Outputs(d);
        if (!c.comp.empty()) expected[0] = c.comp;

        ScriptedDialogs dialogs;
        Inputs(d, c.t.c_str(), c.h.c_str(), c.c.c_str());
        d.bRecalc->click();   // the guarded command: shown, not thrown
        ASSERT_EQ(dialogs.Messages.size(), 1u);
        EXPECT_EQ(dialogs.Messages[0].Text, c.message);
        EXPECT_EQ(dialogs.Messages[0].Type, mtError);
        EXPECT_EQ(Outputs(d), expected);
    }
}

TEST_F(TranCalcTest, ResetPutsBackTheDefaultsAndTheModelValues) {
    DBInfo->NxT = 30000;
    DBInfo->OAT = 29000;
    DBInfo->CDate = EncodeDate(2024, 3, 1);
    DBInfo->Age = DBInfo->CDate + 1.5;   // 2 days
    TTranCalc d;
    Inputs(d, "1", "2", "3");
    d.eActiveTrans->setText("7");
    d.Recompute();
    ASSERT_EQ(S(d.eTranComp), "0");

    ScriptedDialogs dialogs;
    d.bReset->click();
    EXPECT_TRUE(dialogs.Messages.empty()) << dialogs.LastText();
    EXPECT_EQ(S(d.eTransPerDay), "15000");
    EXPECT_EQ(S(d.eActiveTrans), "1000");
    EXPECT_EQ(S(d.eWorkHours), "8");
    EXPECT_EQ(S(d.eComputers), "10");
    EXPECT_EQ(Outputs(d), (std::array<std::string, 7>{"1500", "1875", "31", "187", "3", "0", "0.05"}));
}

TEST_F(TranCalcTest, DialogAsDesigned) {
    TTranCalc d;
    EXPECT_EQ(d.windowTitle().toStdString(), "TranCalc");
    EXPECT_EQ(d.objectName().toStdString(), "TranCalc");
    // A fixed border, at least the designed client area.
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_GE(d.width(), 411);
    EXPECT_GE(d.height(), 283);
    EXPECT_EQ(d.bReset->text().toStdString(), "Reset changes");
    EXPECT_EQ(d.bRecalc->text().toStdString(), "Recompute");
    for (QLineEdit* in : {d.eTransPerDay, d.eActiveTrans, d.eWorkHours, d.eComputers}) {
        EXPECT_FALSE(in->isReadOnly()) << in->objectName().toStdString();
        EXPECT_FALSE(in->font().bold()) << in->objectName().toStdString();
    }
    for (QLineEdit* out : {d.eTranComp, d.eTranHour, d.eTranMin, d.eTranSec, d.eTranHourC, d.eTranMinC, d.eTranSecC}) {
        EXPECT_TRUE(out->isReadOnly()) << out->objectName().toStdString();
        EXPECT_TRUE(out->font().bold()) << out->objectName().toStdString();
    }
    // The labels the user reads beside the boxes.
    std::vector<std::string> labels;
    for (QLabel* l : d.findChildren<QLabel*>()) labels.push_back(l->text().toStdString());
    for (const char* want : {"Transactions per day", "Active transactions", "Working hours per day", "Computers",
                             "Transactions per hour", "Transactions per minute", "Transactions per second",
                             "Transactions per application"})
        EXPECT_NE(std::find(labels.begin(), labels.end(), want), labels.end()) << want;
    // Inputs upper left, the per-computer column to the right of the totals,
    // its daily share above the three rows.
    d.show();
    EXPECT_LT(d.eTransPerDay->y(), d.eComputers->y());
    EXPECT_LT(d.eComputers->y(), d.eTranComp->y());
    EXPECT_LT(d.eTranComp->y(), d.eTranHourC->y());
    EXPECT_EQ(d.eTranHour->y(), d.eTranHourC->y());
    EXPECT_LT(d.eTranHour->x(), d.eTranHourC->x());
    EXPECT_LT(d.eTranHour->y(), d.eTranMin->y());
    EXPECT_LT(d.eTranMin->y(), d.eTranSec->y());
    EXPECT_EQ(d.bReset->y(), d.eTransPerDay->y());
    EXPECT_EQ(d.bRecalc->y(), d.eWorkHours->y());
}

// The main window's tool button and menu item open the dialog modally; a
// timer reads it while it is open and closes it.
TEST_F(MainFormTest, TransactionCalculatorOpensModallyFromTheToolBarAndTheMenu) {
    TMainForm& f = Make();
    DBInfo->NxT = 100000;
    DBInfo->CDate = EncodeDate(2024, 3, 1);
    DBInfo->Age = DBInfo->CDate;   // one day
    for (auto open : {std::function<void()>([&] { f.Widgets().tbTranCalc->click(); }),
                      std::function<void()>([&] { f.Widgets().mTranCalc->trigger(); })}) {
        bool seen = false;
        std::string perHour;
        QTimer::singleShot(0, [&] {
            seen = TranCalc != nullptr && TranCalc->isModal() && TranCalc->isVisible();
            if (TranCalc) {
                perHour = TranCalc->eTranHour->text().toStdString();
                TranCalc->close();
            }
        });
        Dialogs.Messages.clear();
        open();
        EXPECT_TRUE(seen);
        EXPECT_EQ(perHour, "12500");
        EXPECT_EQ(TranCalc, nullptr);   // freed when it closed
        EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    }
}

}  // namespace
}  // namespace dv::test
