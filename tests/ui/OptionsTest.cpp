// The options dialog as a user meets it: what it shows, what OK and Cancel
// do, "Restore defaults", the colour buttons, the fields that cannot be read
// and the place and page it comes back to.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <functional>
#include <sstream>

#include "tests/ui/OptionsTestSupport.h"

namespace dv::test {
namespace {

using OptionsTest = OptionsDialogTest;

// Every control with the text it shows at the built-in defaults.
TEST_F(OptionsTest, FreshDialogShowsTheBuiltInDefaults) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    const std::pair<QAbstractSpinBox*, const char*> spins[] = {
        {dlg.eAvgFill, "60"},     {dlg.eRecVer, "3"},      {dlg.eRecVerSize, "110"}, {dlg.eVersDeletes, "5000"},
        {dlg.eDelPercent, "10"},  {dlg.eIndexDepth, "3"},  {dlg.eAvgIdxFill, "50"},  {dlg.eKeyTotalDup, "90"},
        {dlg.eKeyMaxDup, "30"},   {dlg.eActiveTran, "30"}, {dlg.eSnapshotTran, "60"},
    };
    for (const auto& [field, text] : spins)
        EXPECT_EQ(field->text().toStdString(), text) << field->objectName().toStdString();
    const std::pair<QCheckBox*, bool> checks[] = {
        {dlg.cbZeroTables, true}, {dlg.cbFTable, false}, {dlg.cbFIndex, false},  {dlg.cbTrBars, true},
        {dlg.cbTrMins, false},    {dlg.cbActSweep, false}, {dlg.cbFB152, false}, {dlg.cbChessFill, true},
    };
    for (const auto& [box, checked] : checks)
        EXPECT_EQ(box->isChecked(), checked) << box->objectName().toStdString();
    EXPECT_EQ(dlg.eHintHidePause->text(), "8");
    EXPECT_EQ(dlg.eHintWidth->text(), "50");
    EXPECT_EQ(dlg.eReportWrap->text(), "70");
    EXPECT_EQ(dlg.eHintColor->text(), "00E1FFFF");
    EXPECT_EQ(dlg.eHintColor->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xE1));
    const char* const colors[8] = {"000000FF", "0000FFFF", "00F0FBFF", "00C0DCC0",
                                   "00F0F0F0", "00FFDEB3", "00DDDDFF", "00D9F1C7"};
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(dlg.e[n]->text().toStdString(), colors[n]) << "e" << n + 1;
        EXPECT_EQ(ColorHex(ColorToWin(dlg.e[n]->palette().color(QPalette::Base))).toStdString(), colors[n])
            << "background of e" << n + 1;
    }
    // A reset model: one transaction a day.
    EXPECT_EQ(dlg.lAverageTran->text(), "1");
    EXPECT_TRUE(dlg.lAverageTran->font().bold());
    EXPECT_TRUE(dlg.cbTrMins->isEnabled());
    EXPECT_TRUE(dlg.eActiveTran->isEnabled());
}

TEST_F(OptionsTest, WindowPagesAndCaptions) {
    TfrmOptions dlg(nullptr);
    EXPECT_EQ(dlg.windowTitle(), "Options");
    EXPECT_GE(dlg.width(), 353);
    EXPECT_GE(dlg.height(), 370);
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()) << "fixed dialog border";
    ASSERT_EQ(dlg.OptionsPage->count(), 4);
    const char* const pages[4][2] = {
        {"TableTab", "Table"}, {"IndexTab", "Index"}, {"TransTab", "Transactions"}, {"IntfTab", "Interface"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dlg.OptionsPage->widget(i)->objectName().toStdString(), pages[i][0]);
        EXPECT_EQ(dlg.OptionsPage->tabText(i).toStdString(), pages[i][1]);
    }
    EXPECT_EQ(dlg.btnSetDefaults->text(), "Restore defaults");
    EXPECT_EQ(dlg.btnOk->text(), "OK");
    EXPECT_TRUE(dlg.btnOk->isDefault());
    EXPECT_EQ(dlg.btnCancel->text(), "Cancel");
    EXPECT_EQ(dlg.GroupBox1->title(), "Grid colors");

    // The caption of each field is the label that names it.
    const std::pair<QWidget*, const char*> captions[] = {
        {dlg.eAvgFill, "Table average fill (%) <"},
        {dlg.eRecVer, "Record version / record count >"},
        {dlg.eRecVerSize, "Record/Version size %"},
        {dlg.eVersDeletes, "Massive deletes/updates min"},
        {dlg.eDelPercent, "Massive del/upd Records/Versions %"},
        {dlg.eIndexDepth, "Index depth >"},
        {dlg.eAvgIdxFill, "Index average fill (%) <"},
        {dlg.eKeyTotalDup, "Keys/Total Dup > %"},
        {dlg.eKeyMaxDup, "Keys/Max Dup  > %"},
        {dlg.eActiveTran, "Daily active transactions limit, %"},
        {dlg.eSnapshotTran, "Daily snapshot transactions limit, %"},
        {dlg.eHintHidePause, "Hint hide pause"},
        {dlg.eHintColor, "Hint color"},
        {dlg.eHintWidth, "Hint max width"},
        {dlg.eReportWrap, "Report text wrap"},
        {dlg.e[0], "Hot warnings (red)"},
        {dlg.e[1], "Warnings (yellow)"},
        {dlg.e[2], "Columns 1 (pale)"},
        {dlg.e[3], "Columns 2 (green)"},
        {dlg.e[4], "Chess fill (lightgrey)"},
        {dlg.e[5], "Mass updates (l-blue)"},
        {dlg.e[6], "Blob fragmentation (pink)"},
        {dlg.e[7], "Transaction bars color"},
    };
    for (const auto& [field, text] : captions)
        EXPECT_EQ(CaptionOf(&dlg, field), text) << field->objectName().toStdString();
    // Every field shown has its caption shown beside it.
    EXPECT_FALSE(dlg.lSnapshotTran->isHidden());
    EXPECT_FALSE(dlg.eSnapshotTran->isHidden());
    const std::pair<QCheckBox*, const char*> boxes[] = {
        {dlg.cbZeroTables, "Report about tables with no records"},
        {dlg.cbFTable, "View table detailed fragmentation"},
        {dlg.cbFIndex, "View index detailed fragmentation"},
        {dlg.cbTrBars, "Use graph bars for transactions state"},
        {dlg.cbTrMins, "Relative (from oldest) bars %"},
        {dlg.cbActSweep, "Use default sweep interval instead of average transactions"},
        {dlg.cbFB152, "Only InterBase 7.x  is used"},
        {dlg.cbChessFill, "Chess table/index rows color"},
    };
    for (const auto& [box, text] : boxes) EXPECT_EQ(box->text().toStdString(), text);
    EXPECT_TRUE(HasLabel(&dlg, "Current statistics transactions per day:"));
    EXPECT_TRUE(HasLabel(&dlg, "sec"));
    const char* const buttons[8] = {"bRedColor",  "bYellowColor", "bColumns1Color", "bColumns2Color",
                                    "bChessColor", "bMassColor",  "bBlobColor",     "bTransColor"};
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(dlg.bColor[n]->objectName().toStdString(), buttons[n]);
        EXPECT_EQ(dlg.bColor[n]->icon().cacheKey(), dlg.bHintColor->icon().cacheKey()) << buttons[n];
    }
    EXPECT_FALSE(dlg.bHintColor->icon().pixmap(16, 16).isNull());
}

// OK writes every control into its option; the dialog reports true.
TEST_F(OptionsTest, OkAppliesEveryEditAtOnce) {
    DBInfo->AverageTran = 4321;
    bool sawAverage = false;
    const bool ok = RunOptionsModal([&](TfrmOptions& dlg) {
        sawAverage = dlg.lAverageTran->text() == "4321";
        dlg.eAvgFill->SetText("55");
        dlg.eRecVer->SetText("4");
        dlg.eRecVerSize->SetText("120");
        dlg.eVersDeletes->SetText("700");
        dlg.eDelPercent->SetText("12");
        dlg.eIndexDepth->SetText("5");
        dlg.eAvgIdxFill->SetText("45");
        dlg.eKeyTotalDup->SetText("80");
        dlg.eKeyMaxDup->SetText("25");
        dlg.eActiveTran->SetText("-20");
        dlg.eSnapshotTran->SetText("75");
        for (QCheckBox* b : {dlg.cbZeroTables, dlg.cbFTable, dlg.cbFIndex, dlg.cbTrBars, dlg.cbTrMins, dlg.cbActSweep,
                             dlg.cbFB152, dlg.cbChessFill})
            b->setChecked(!b->isChecked());
        dlg.eHintColor->setText("00c0ffee");
        dlg.eHintWidth->setText("60");
        dlg.eHintHidePause->setText("3");
        dlg.eReportWrap->setText("90");
        for (int n = 0; n < 8; ++n) dlg.e[n]->SetColor(0x00010100u * static_cast<TColor>(n + 1) + 7);
        dlg.btnOk->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(sawAverage);
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    TOptionSettings want;
    want.TableAvgFill = 55;
    want.RecVer = 4;
    want.RecVerSize = 120;
    want.VersDeletes = 700;
    want.DelPercent = 12;
    want.IndexDepth = 5;
    want.AvgIdxFill = 45;
    want.KeyTotalDup = 80;
    want.KeyMaxDup = 25;
    want.ActiveTran = -20;
    want.SnapshotTran = 75;
    want.ZeroTables = false;
    want.ViewTableFrag = true;
    want.ViewIndexFrag = true;
    want.TrBars = false;
    want.TrMins = true;
    want.ActSweep = true;
    want.FB152 = true;
    want.ChessFill = false;
    want.HintColor = 0x00C0FFEE;
    want.HintWidth = 60;
    want.HintHidePause = 3000;
    want.ReportWrap = 90;
    TColor* colors[8] = {&want.RedColor,   &want.YellowColor, &want.Columns1Color, &want.Columns2Color,
                         &want.ChessColor, &want.MassColor,   &want.BlobColor,     &want.TransColor};
    for (int n = 0; n < 8; ++n) *colors[n] = 0x00010100u * static_cast<TColor>(n + 1) + 7;
    CopyRemembered(want);
    EXPECT_EQ(Dump(OptionSettings), Dump(want));
    // The application's hint windows take the new colour at once.
    EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(0xEE, 0xFF, 0xC0));
}

// Cancel, Escape and the close box leave every option as it was.
TEST_F(OptionsTest, CancelEscapeAndCloseBoxChangeNothing) {
    const std::pair<const char*, std::function<void(TfrmOptions&)>> ways[] = {
        {"Cancel", [](TfrmOptions& d) { d.btnCancel->click(); }},
        {"Escape", [](TfrmOptions& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](TfrmOptions& d) { d.close(); }},
    };
    for (const auto& [way, close] : ways) {
        const bool ok = RunOptionsModal([&, close = close](TfrmOptions& dlg) {
            dlg.eIndexDepth->SetText("7");
            dlg.cbTrBars->setChecked(false);
            dlg.eHintWidth->setText("99");
            dlg.eHintColor->setText("not a colour");   // not even read
            dlg.e[0]->SetColor(0x00123456);
            close(dlg);
        });
        EXPECT_FALSE(ok) << way;
        TOptionSettings now = OptionSettings;
        now.OptionsDlgLeft = now.OptionsDlgTop = now.OptionsDlgPage = 0;
        TOptionSettings was;
        EXPECT_EQ(Dump(now), Dump(was)) << way;
        EXPECT_NE(OptionSettings.OptionsDlgLeft, 0) << way << ": the place is remembered however it closes";
        EXPECT_TRUE(Dialogs.Messages.empty()) << way;
    }
}

TEST_F(OptionsTest, EnterPressesOk) {
    const bool ok = RunOptionsModal([](TfrmOptions& dlg) {
        dlg.eRecVer->SetText("9");
        dlg.eRecVer->setFocus();
        QTest::keyClick(dlg.eRecVer, Qt::Key_Return);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(OptionSettings.RecVer, 9);
}

// A spin field without a whole number: the threshold's built-in default, or
// 0 for the three that have no default of their own in the dialog.
TEST_F(OptionsTest, SpinFieldsWithoutANumberGiveTheirDefault) {
    struct Case {
        TSpinEdit* TfrmOptions::*field;
        int32_t TOptionSettings::*option;
        int32_t expected;
        const char* name;
    } cases[] = {
        {&TfrmOptions::eIndexDepth, &TOptionSettings::IndexDepth, 3, "eIndexDepth"},
        {&TfrmOptions::eAvgFill, &TOptionSettings::TableAvgFill, 60, "eAvgFill"},
        {&TfrmOptions::eAvgIdxFill, &TOptionSettings::AvgIdxFill, 50, "eAvgIdxFill"},
        {&TfrmOptions::eRecVer, &TOptionSettings::RecVer, 3, "eRecVer"},
        {&TfrmOptions::eKeyMaxDup, &TOptionSettings::KeyMaxDup, 30, "eKeyMaxDup"},
        {&TfrmOptions::eKeyTotalDup, &TOptionSettings::KeyTotalDup, 90, "eKeyTotalDup"},
        {&TfrmOptions::eRecVerSize, &TOptionSettings::RecVerSize, 110, "eRecVerSize"},
        {&TfrmOptions::eDelPercent, &TOptionSettings::DelPercent, 10, "eDelPercent"},
        {&TfrmOptions::eVersDeletes, &TOptionSettings::VersDeletes, 0, "eVersDeletes"},
        {&TfrmOptions::eActiveTran, &TOptionSettings::ActiveTran, 0, "eActiveTran"},
        {&TfrmOptions::eSnapshotTran, &TOptionSettings::SnapshotTran, 0, "eSnapshotTran"},
    };
    for (const char* text : {"", "-", "+", "99999999999", "2147483648"}) {
        for (const Case& c : cases) {
            OptionSettings = TOptionSettings();
            OptionSettings.*c.option = 1;   // neither the default nor 0
            TfrmOptions dlg(nullptr);
            dlg.show();
            (dlg.*c.field)->SetText(QString::fromLatin1(text));
            dlg.ApplyOptions();
            EXPECT_EQ(OptionSettings.*c.option, c.expected) << c.name << " with '" << text << "'";
        }
    }
}

// Bounded fields never hand an out-of-range value to the rules, whether the
// focus left them or Enter confirmed at once.
TEST_F(OptionsTest, BoundedFieldsKeepTheirBounds) {
    struct Case {
        TSpinEdit* TfrmOptions::*field;
        int32_t TOptionSettings::*option;
        const char* text;
        int32_t expected;
    } cases[] = {
        {&TfrmOptions::eAvgFill, &TOptionSettings::TableAvgFill, "150", 100},
        {&TfrmOptions::eAvgFill, &TOptionSettings::TableAvgFill, "-1", 0},
        {&TfrmOptions::eAvgFill, &TOptionSettings::TableAvgFill, "100", 100},
        {&TfrmOptions::eIndexDepth, &TOptionSettings::IndexDepth, "11", 10},
        {&TfrmOptions::eIndexDepth, &TOptionSettings::IndexDepth, "0", 0},
        {&TfrmOptions::eAvgIdxFill, &TOptionSettings::AvgIdxFill, "101", 100},
        {&TfrmOptions::eKeyTotalDup, &TOptionSettings::KeyTotalDup, "-50", 0},
        {&TfrmOptions::eKeyMaxDup, &TOptionSettings::KeyMaxDup, "2147483647", 100},
        // Unbounded ones keep what was typed.
        {&TfrmOptions::eRecVer, &TOptionSettings::RecVer, "-2147483648", -2147483647 - 1},
        {&TfrmOptions::eVersDeletes, &TOptionSettings::VersDeletes, "+2147483647", 2147483647},
        {&TfrmOptions::eDelPercent, &TOptionSettings::DelPercent, "250", 250},
    };
    for (const Case& c : cases) {
        OptionSettings = TOptionSettings();
        TfrmOptions dlg(nullptr);
        dlg.show();
        (dlg.*c.field)->SetText(QString::fromLatin1(c.text));
        dlg.ApplyOptions();
        EXPECT_EQ(OptionSettings.*c.option, c.expected) << (dlg.*c.field)->objectName().toStdString() << " " << c.text;
    }
}

TEST_F(OptionsTest, LeavingABoundedFieldBringsItsTextIntoBounds) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    const std::tuple<TSpinEdit*, const char*, const char*> cases[] = {
        {dlg.eIndexDepth, "12", "10"}, {dlg.eAvgFill, "-4", "0"}, {dlg.eAvgIdxFill, "77", "77"},
        {dlg.eIndexDepth, "", ""},      // nothing to bring in: OK decides
        {dlg.eRecVer, "-4", "-4"},      // unbounded
    };
    for (const auto& [field, typed, shown] : cases) {
        field->setFocus();
        field->SetText(QString::fromLatin1(typed));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(field, &out);
        EXPECT_EQ(field->Text().toStdString(), shown) << field->objectName().toStdString() << " " << typed;
    }
}

TEST_F(OptionsTest, SpinFieldsTakeDigitsAndASignOnly) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    const std::pair<const char*, const char*> cases[] = {
        {"12a3", "123"}, {"-45", "-45"}, {"+7", "+7"}, {"1.5", "15"}, {"x", ""}, {"4-", "4"},
    };
    for (const auto& [typed, kept] : cases) {
        dlg.eRecVer->SetText("");
        dlg.eRecVer->setFocus();
        QTest::keyClicks(dlg.eRecVer, QString::fromLatin1(typed));
        EXPECT_EQ(dlg.eRecVer->Text().toStdString(), kept) << typed;
    }
}

TEST_F(OptionsTest, ArrowsStepByOneWithinTheBounds) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    struct Case {
        TSpinEdit* field;
        const char* start;
        int steps;
        const char* end;
    } cases[] = {
        {dlg.eIndexDepth, "3", 1, "4"},
        {dlg.eIndexDepth, "10", 1, "10"},
        {dlg.eIndexDepth, "0", -1, "0"},
        {dlg.eIndexDepth, "", 1, "1"},          // an empty field steps from its minimum
        {dlg.eAvgFill, "99", 5, "100"},
        {dlg.eRecVer, "0", -1, "-1"},
        {dlg.eVersDeletes, "2147483647", 1, "2147483647"},
        {dlg.eVersDeletes, "-2147483648", -1, "-2147483648"},
    };
    for (const Case& c : cases) {
        c.field->SetText(QString::fromLatin1(c.start));
        c.field->stepBy(c.steps);
        EXPECT_EQ(c.field->Text().toStdString(), c.end) << c.field->objectName().toStdString() << " " << c.start
                                                       << " by " << c.steps;
    }
    // The keyboard's arrows do the same.
    QApplication::setActiveWindow(&dlg);
    dlg.eRecVerSize->setFocus();
    dlg.eRecVerSize->SetText("110");
    QTest::keyClick(dlg.eRecVerSize, Qt::Key_Up);
    EXPECT_EQ(dlg.eRecVerSize->Text(), "111");
    QTest::keyClick(dlg.eRecVerSize, Qt::Key_Down);
    QTest::keyClick(dlg.eRecVerSize, Qt::Key_Down);
    EXPECT_EQ(dlg.eRecVerSize->Text(), "109");
}

TEST_F(OptionsTest, HintHidePauseIsShownInWholeSecondsAndKeptInMilliseconds) {
    const std::pair<int32_t, const char*> shown[] = {{8000, "8"}, {8999, "8"}, {999, "0"}, {0, "0"}, {12000, "12"}};
    for (const auto& [ms, text] : shown) {
        OptionSettings.HintHidePause = ms;
        TfrmOptions dlg(nullptr);
        dlg.show();
        EXPECT_EQ(dlg.eHintHidePause->text().toStdString(), text) << ms;
    }
    const std::pair<const char*, int32_t> taken[] = {{"2", 2000}, {"0", 0}, {"2147483", 2147483000}, {" 5", 5000}};
    for (const auto& [text, ms] : taken) {
        OptionSettings = TOptionSettings();
        TfrmOptions dlg(nullptr);
        dlg.show();
        dlg.eHintHidePause->setText(QString::fromLatin1(text));
        dlg.ApplyOptions();
        EXPECT_EQ(OptionSettings.HintHidePause, ms) << text;
    }
}

// A text of the Interface page that cannot be read: the message, the dialog
// stays open on that field, and nothing at all is applied.
TEST_F(OptionsTest, UnreadableInterfaceFieldsAreReportedAndTheDialogStaysOpen) {
    const std::tuple<std::function<QLineEdit*(TfrmOptions&)>, const char*, const char*> rows[] = {
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintColor; }, "GG", "'$GG' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintColor; }, "", "'$' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintColor; }, "1FFFFFFFF",
         "'$1FFFFFFFF' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintWidth; }, "abc", "'abc' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintWidth; }, "", "'' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintHidePause; }, "1.5", "'1.5' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintHidePause; }, "2147484",
         "Hint hide pause must be from 0 to 2147483 seconds"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eHintHidePause; }, "-1",
         "Hint hide pause must be from 0 to 2147483 seconds"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eReportWrap; }, "70 ", "'70 ' is not a valid integer value"},
        {[](TfrmOptions& d) -> QLineEdit* { return d.eReportWrap; }, "9999999999",
         "'9999999999' is not a valid integer value"},
    };
    for (const auto& [pick, text, message] : rows) {
        OptionSettings = TOptionSettings();
        Dialogs.Messages.clear();
        bool stayedOpen = false, onField = false, onPage = false;
        const bool ok = RunOptionsModal([&, pick = pick, text = text](TfrmOptions& dlg) {
            dlg.OptionsPage->setCurrentIndex(0);
            dlg.eIndexDepth->SetText("8");   // would be applied first
            QLineEdit* field = pick(dlg);
            field->setText(QString::fromLatin1(text));
            dlg.btnOk->click();
            stayedOpen = dlg.isVisible() && dlg.result() != QDialog::Accepted;
            onPage = dlg.OptionsPage->currentWidget() == dlg.IntfTab;
            onField = dlg.focusWidget() == field;
            dlg.btnCancel->click();
        });
        EXPECT_FALSE(ok) << text;
        EXPECT_TRUE(stayedOpen) << text;
        EXPECT_TRUE(onPage) << text;
        EXPECT_TRUE(onField) << text;
        ASSERT_EQ(Dialogs.Messages.size(), 1u) << text;
        EXPECT_EQ(Dialogs.Messages[0].Text, message);
        EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
        EXPECT_EQ(OptionSettings.IndexDepth, 3) << text << ": nothing is applied by halves";
    }
}

// ApplyOptions on its own stops at the first field it cannot read; what
// came before stays applied.
TEST_F(OptionsTest, ApplyOptionsStopsAtTheFirstUnreadableField) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    dlg.eIndexDepth->SetText("6");
    dlg.cbFTable->setChecked(true);
    dlg.eHintColor->setText("00AABBCC");
    dlg.eHintWidth->setText("wide");
    dlg.eHintHidePause->setText("4");
    dlg.eReportWrap->setText("40");
    dlg.e[0]->SetColor(0x00112233);
    try {
        dlg.ApplyOptions();
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'wide' is not a valid integer value");
    }
    EXPECT_EQ(OptionSettings.IndexDepth, 6);
    EXPECT_TRUE(OptionSettings.ViewTableFrag);
    EXPECT_EQ(OptionSettings.HintColor, 0x00AABBCCu);
    EXPECT_EQ(OptionSettings.HintWidth, 50);
    EXPECT_EQ(OptionSettings.HintHidePause, 8000);
    EXPECT_EQ(OptionSettings.RedColor, 0x000000FFu);
    EXPECT_EQ(OptionSettings.ReportWrap, 70);
}

TEST_F(OptionsTest, RestoreDefaultsAsksThenResetsAtOnceAndSurvivesCancel) {
    OptionSettings.IndexDepth = 9;
    OptionSettings.TrBars = false;
    OptionSettings.HintHidePause = 2000;
    OptionSettings.MassColor = 0x00ABCDEF;
    OptionSettings.HeaderPage = true;
    OptionSettings.LoadMetadata = false;
    OptionSettings.LastPassword = "secret";
    Dialogs.Answer(mrOk);
    bool shownDefaults = false, minsEnabled = false;
    const bool ok = RunOptionsModal([&](TfrmOptions& dlg) {
        EXPECT_FALSE(dlg.cbTrMins->isEnabled());
        dlg.eRecVer->SetText("77");   // an edit not yet applied
        dlg.btnSetDefaults->click();
        shownDefaults = dlg.eIndexDepth->Text() == "3" && dlg.eRecVer->Text() == "3" &&
                        dlg.eHintHidePause->text() == "8" && dlg.e[5]->text() == "00FFDEB3" && dlg.cbTrBars->isChecked();
        minsEnabled = dlg.cbTrMins->isEnabled();
        dlg.btnCancel->click();
    });
    EXPECT_FALSE(ok);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Do you really want to reset all options to default?");
    EXPECT_EQ(Dialogs.Messages[0].Type, mtConfirmation);
    EXPECT_EQ(Dialogs.Messages[0].Buttons, static_cast<TMsgDlgButtons>(mbOK | mbCancel));
    EXPECT_TRUE(shownDefaults);
    EXPECT_TRUE(minsEnabled);
    TOptionSettings want;
    CopyRemembered(want);
    want.HeaderPage = true;
    want.LoadMetadata = false;
    want.LastPassword = "secret";
    EXPECT_EQ(Dump(OptionSettings), Dump(want));
}

TEST_F(OptionsTest, RestoreDefaultsDeclinedChangesNothing) {
    OptionSettings.IndexDepth = 9;
    TfrmOptions dlg(nullptr);
    dlg.show();
    dlg.eRecVer->SetText("77");
    for (int answer : {int(mrCancel), int(mrNone)}) {
        Dialogs.Answer(answer);
        dlg.btnSetDefaults->click();
        EXPECT_EQ(OptionSettings.IndexDepth, 9) << answer;
        EXPECT_EQ(dlg.eRecVer->Text(), "77") << answer;
    }
    EXPECT_EQ(Dialogs.Messages.size(), 2u);
}

TEST_F(OptionsTest, EnablingFollowsTheirCheckBoxes) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    dlg.cbTrBars->click();
    EXPECT_FALSE(dlg.cbTrMins->isEnabled());
    dlg.cbTrBars->click();
    EXPECT_TRUE(dlg.cbTrMins->isEnabled());
    dlg.cbActSweep->click();
    EXPECT_FALSE(dlg.eActiveTran->isEnabled());
    dlg.cbActSweep->click();
    EXPECT_TRUE(dlg.eActiveTran->isEnabled());
    // Shown from options that switch them off.
    OptionSettings.TrBars = false;
    OptionSettings.ActSweep = true;
    TfrmOptions again(nullptr);
    again.show();
    EXPECT_FALSE(again.cbTrMins->isEnabled());
    EXPECT_FALSE(again.eActiveTran->isEnabled());
}

// Each grid-colour button starts the colour dialog from its own field's
// text and changes its own row only.
TEST_F(OptionsTest, EachColourButtonChangesItsOwnRowOnly) {
    for (int n = 0; n < 8; ++n) {
        OptionSettings = TOptionSettings();
        TfrmOptions dlg(nullptr);
        dlg.show();
        const TColor chosen = 0x00102030u + static_cast<TColor>(n);
        Picks.clear();
        Answers = {chosen};
        std::vector<std::string> before;
        for (TColorEdit* f : dlg.e) before.push_back(f->text().toStdString());
        dlg.bColor[n]->click();
        ASSERT_EQ(Picks.size(), 1u) << n;
        EXPECT_EQ(ColorHex(Picks[0]).toStdString(), before[n]) << "starting colour of e" << n + 1;
        for (int k = 0; k < 8; ++k) {
            if (k == n) {
                EXPECT_EQ(dlg.e[k]->text(), ColorHex(chosen)) << n;
                EXPECT_EQ(dlg.e[k]->Color(), chosen);
                EXPECT_EQ(dlg.e[k]->palette().color(QPalette::Base), ColorFromWin(chosen));
            } else {
                EXPECT_EQ(dlg.e[k]->text().toStdString(), before[k]) << "button " << n + 1 << " row " << k + 1;
            }
        }
        dlg.ApplyOptions();
        const TColor applied[8] = {OptionSettings.RedColor,   OptionSettings.YellowColor, OptionSettings.Columns1Color,
                                   OptionSettings.Columns2Color, OptionSettings.ChessColor, OptionSettings.MassColor,
                                   OptionSettings.BlobColor,  OptionSettings.TransColor};
        EXPECT_EQ(applied[n], chosen) << n;
    }
    EXPECT_EQ(CustomSeen, OptionsCustomColors());
    const std::vector<TColor> custom = {0x004040FF, 0x0000FFFF, 0x00D9F1C7, 0x00DDDDFF, 0x00F0F0F0,
                                        0x00C0DCC0, 0x00FFDEB3, 0x00E1FFFF, 0x00FFFFD5};
    EXPECT_EQ(OptionsCustomColors(), custom);
}

TEST_F(OptionsTest, ColourFieldsStartTheDialogFromTheirTextAndStayOnCancel) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    // A typed text is the starting colour, but not the option.
    dlg.e[2]->setText("00a0b0c0");
    Answers = {std::nullopt};
    dlg.bColor[2]->click();
    ASSERT_EQ(Picks.size(), 1u);
    EXPECT_EQ(Picks[0], 0x00A0B0C0u);
    EXPECT_EQ(dlg.e[2]->text(), "00a0b0c0") << "a cancelled colour dialog changes nothing";
    dlg.ApplyOptions();
    EXPECT_EQ(OptionSettings.Columns1Color, 0x00F0FBFFu);

    // The hint colour comes from the text of its field.
    Answers = {0x00335577};
    dlg.bHintColor->click();
    ASSERT_EQ(Picks.size(), 2u);
    EXPECT_EQ(Picks[1], 0x00E1FFFFu);
    EXPECT_EQ(dlg.eHintColor->text(), "00335577");
    dlg.ApplyOptions();
    EXPECT_EQ(OptionSettings.HintColor, 0x00335577u);
}

TEST_F(OptionsTest, ColourButtonOfAnUnreadableFieldReportsWithoutOpeningTheDialog) {
    TfrmOptions dlg(nullptr);
    dlg.show();
    const std::tuple<QToolButton*, TColorEdit*, const char*> cases[] = {
        {dlg.bColor[2], dlg.e[2], "pale"},
        {dlg.bColor[7], dlg.e[7], ""},
        {dlg.bHintColor, dlg.eHintColor, "#FFEE00"},
    };
    for (const auto& [button, field, text] : cases) {
        Dialogs.Messages.clear();
        field->setText(QString::fromLatin1(text));
        button->click();
        ASSERT_EQ(Dialogs.Messages.size(), 1u) << text;
        EXPECT_EQ(Dialogs.Messages[0].Text, "'$" + std::string(text) + "' is not a valid integer value");
        EXPECT_EQ(Dialogs.Messages[0].Type, mtError);
        EXPECT_EQ(field->text().toStdString(), text);
    }
    EXPECT_TRUE(Picks.empty());
    // A grid colour field with an unreadable text does not stop OK: its
    // option comes from the colour, not the text.
    dlg.e[2]->setText("pale");
    dlg.e[7]->setText("");
    dlg.eHintColor->setText("00E1FFFF");
    dlg.btnOk->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

// The dialog comes back where it was left and on the page that was active;
// left edge 0 counts as never shown.
TEST_F(OptionsTest, SecondShowingOpensWhereAndAsTheFirstClosed) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QPoint centre = screen->availableGeometry().center();

    QPoint firstCentre;
    int firstPage = -1;
    RunOptionsModal([&](TfrmOptions& dlg) {
        firstCentre = dlg.geometry().center();
        firstPage = dlg.OptionsPage->currentIndex();
        dlg.OptionsPage->setCurrentIndex(2);
        dlg.move(123, 77);
        dlg.btnCancel->click();
    });
    EXPECT_LE((firstCentre - centre).manhattanLength(), 4) << "centred on the screen";
    EXPECT_EQ(firstPage, 0);
    EXPECT_EQ(OptionSettings.OptionsDlgLeft, 123);
    EXPECT_EQ(OptionSettings.OptionsDlgTop, 77);
    EXPECT_EQ(OptionSettings.OptionsDlgPage, 2);

    QPoint secondPos;
    int secondPage = -1;
    RunOptionsModal([&](TfrmOptions& dlg) {
        secondPos = dlg.pos();
        secondPage = dlg.OptionsPage->currentIndex();
        dlg.OptionsPage->setCurrentIndex(3);
        dlg.move(0, 40);
        dlg.btnOk->click();
    });
    EXPECT_EQ(secondPos, QPoint(123, 77));
    EXPECT_EQ(secondPage, 2);
    EXPECT_EQ(OptionSettings.OptionsDlgLeft, 0);
    EXPECT_EQ(OptionSettings.OptionsDlgPage, 3);

    // Closed at left edge 0: as if never shown.
    QPoint thirdCentre;
    int thirdPage = -1;
    RunOptionsModal([&](TfrmOptions& dlg) {
        thirdCentre = dlg.geometry().center();
        thirdPage = dlg.OptionsPage->currentIndex();
        dlg.btnCancel->click();
    });
    EXPECT_LE((thirdCentre - centre).manhattanLength(), 4);
    EXPECT_EQ(thirdPage, 0);
}

TEST_F(OptionsTest, RestoreDefaultsKeepsTheRememberedPlace) {
    OptionSettings.OptionsDlgLeft = 50;
    OptionSettings.OptionsDlgTop = 60;
    OptionSettings.OptionsDlgPage = 1;
    Dialogs.Answer(mrOk);
    QPoint pos;
    RunOptionsModal([&](TfrmOptions& dlg) {
        pos = dlg.pos();
        dlg.btnSetDefaults->click();
        dlg.btnCancel->click();
    });
    EXPECT_EQ(pos, QPoint(50, 60));
    EXPECT_EQ(OptionSettings.OptionsDlgLeft, 50);
    EXPECT_EQ(OptionSettings.OptionsDlgPage, 1);
}

}  // namespace
}  // namespace dv::test
