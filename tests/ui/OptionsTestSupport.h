// A fixture for the options dialog: options and model as at program start,
// the dialog layer scripted, the colour dialog answered from a queue, and a
// way to run the real modal dialog while a test acts inside it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "model/options.h"
#include "platform/text/SysUtils.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/qt/ModalDriver.h"
#include "ui/dialogs/options.h"

namespace dv::test {

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        OptionSettings = TOptionSettings();
        InitStatisticsModel();
        DBInfo->Reset(true);
        FOldColorDialog = SetColorDialogFunc([this](TColor& color, const std::vector<TColor>& custom) {
            Picks.push_back(color);
            CustomSeen = custom;
            if (Answers.empty()) return false;
            std::optional<TColor> a = Answers.front();
            Answers.pop_front();
            if (!a) return false;
            color = *a;
            return true;
        });
    }

    void TearDown() override {
        SetColorDialogFunc(FOldColorDialog);
        OptionSettings = TOptionSettings();
        DBInfo->Reset(true);
    }

    // Runs ShowOptionsDialog; `act` runs inside its modal loop and must close
    // it. A dialog left open is cancelled and the test fails.
    static bool RunOptionsModal(const std::function<void(TfrmOptions&)>& act) {
        bool ok = false;
        EXPECT_TRUE(DriveModal<TfrmOptions>([&] { ok = ShowOptionsDialog(); }, act))
            << "the options dialog was not shown modally";
        return ok;
    }

    // Every option and remembered value, one per line, for comparisons that
    // name what differs.
    static std::string Dump(const TOptionSettings& o) {
        std::ostringstream s;
        s << "RecVer " << o.RecVer << "\nIndexDepth " << o.IndexDepth << "\nTableAvgFill " << o.TableAvgFill
          << "\nKeyMaxDup " << o.KeyMaxDup << "\nKeyTotalDup " << o.KeyTotalDup << "\nAvgIdxFill " << o.AvgIdxFill
          << "\nRecVerSize " << o.RecVerSize << "\nDelPercent " << o.DelPercent << "\nVersDeletes " << o.VersDeletes
          << "\nActiveTran " << o.ActiveTran << "\nSnapshotTran " << o.SnapshotTran << "\nActSweep " << o.ActSweep
          << "\nFB152 " << o.FB152 << "\nViewTableFrag " << o.ViewTableFrag << "\nViewIndexFrag " << o.ViewIndexFrag
          << "\nZeroTables " << o.ZeroTables << "\nTrBars " << o.TrBars << "\nTrMins " << o.TrMins << "\nChessFill "
          << o.ChessFill << std::hex << "\nHintColor " << o.HintColor << std::dec << "\nHintWidth " << o.HintWidth
          << "\nHintHidePause " << o.HintHidePause << "\nReportWrap " << o.ReportWrap << std::hex << "\nRedColor "
          << o.RedColor << "\nYellowColor " << o.YellowColor << "\nColumns1Color " << o.Columns1Color
          << "\nColumns2Color " << o.Columns2Color << "\nChessColor " << o.ChessColor << "\nMassColor " << o.MassColor
          << "\nBlobColor " << o.BlobColor << "\nTransColor " << o.TransColor << std::dec << "\nHeaderPage "
          << o.HeaderPage << "\nLoadMetadata " << o.LoadMetadata << "\nOptionsDlgLeft " << o.OptionsDlgLeft
          << "\nOptionsDlgTop " << o.OptionsDlgTop << "\nOptionsDlgPage " << o.OptionsDlgPage << "\nServStatDlgWidth "
          << o.ServStatDlgWidth << "\nLastPassword " << o.LastPassword << "\n";
        return s.str();
    }

    // The remembered place of the dialog, copied into an expectation.
    static void CopyRemembered(TOptionSettings& want) {
        want.OptionsDlgLeft = OptionSettings.OptionsDlgLeft;
        want.OptionsDlgTop = OptionSettings.OptionsDlgTop;
        want.OptionsDlgPage = OptionSettings.OptionsDlgPage;
    }

    // The text of the label that names a field ("" when none does).
    static std::string CaptionOf(QWidget* dialog, QWidget* field) {
        for (QLabel* l : dialog->findChildren<QLabel*>())
            if (l->buddy() == field) return l->text().toStdString();
        return {};
    }

    static bool HasLabel(QWidget* dialog, const char* text) {
        for (QLabel* l : dialog->findChildren<QLabel*>())
            if (l->text() == QString::fromLatin1(text) && !l->isHidden()) return true;
        return false;
    }

    ScriptedDialogs Dialogs;
    std::vector<TColor> Picks;                    // starting colours handed to the colour dialog
    std::deque<std::optional<TColor>> Answers;    // chosen colours; nullopt cancels
    std::vector<TColor> CustomSeen;

private:
    TColorDialogFunc FOldColorDialog;
};

}  // namespace dv::test
