// The analysis options start at their built-in defaults, and restoring the
// defaults resets what the options dialog shows and nothing else.
#include <gtest/gtest.h>

#include "model/options.h"

namespace dv::test {
namespace {

void ExpectDefaults(const TOptionSettings& o) {
    EXPECT_EQ(o.RecVer, 3);
    EXPECT_EQ(o.IndexDepth, 3);
    EXPECT_EQ(o.TableAvgFill, 60);
    EXPECT_EQ(o.KeyMaxDup, 30);
    EXPECT_EQ(o.KeyTotalDup, 90);
    EXPECT_EQ(o.AvgIdxFill, 50);
    EXPECT_EQ(o.RecVerSize, 110);
    EXPECT_EQ(o.DelPercent, 10);
    EXPECT_EQ(o.VersDeletes, 5000);
    EXPECT_EQ(o.ActiveTran, 30);
    EXPECT_EQ(o.SnapshotTran, 60);
    EXPECT_FALSE(o.ActSweep);
    EXPECT_FALSE(o.FB152);
    EXPECT_FALSE(o.ViewTableFrag);
    EXPECT_FALSE(o.ViewIndexFrag);
    EXPECT_TRUE(o.ZeroTables);
    EXPECT_TRUE(o.TrBars);
    EXPECT_FALSE(o.TrMins);
    EXPECT_TRUE(o.ChessFill);
    EXPECT_EQ(o.HintColor, 0x00E1FFFFu);
    EXPECT_EQ(o.HintWidth, 50);
    EXPECT_EQ(o.HintHidePause, 8000);
    EXPECT_EQ(o.ReportWrap, 70);
    EXPECT_EQ(o.RedColor, 0x000000FFu);
    EXPECT_EQ(o.YellowColor, 0x0000FFFFu);
    EXPECT_EQ(o.Columns1Color, 0x00F0FBFFu);
    EXPECT_EQ(o.Columns2Color, 0x00C0DCC0u);
    EXPECT_EQ(o.ChessColor, 0x00F0F0F0u);
    EXPECT_EQ(o.MassColor, 0x00FFDEB3u);
    EXPECT_EQ(o.BlobColor, 0x00DDDDFFu);
    EXPECT_EQ(o.TransColor, 0x00D9F1C7u);
}

TEST(OptionSettingsTest, BuiltInDefaults) {
    const TOptionSettings fresh;
    ExpectDefaults(fresh);
    EXPECT_FALSE(fresh.HeaderPage);
    EXPECT_TRUE(fresh.LoadMetadata);
    EXPECT_EQ(fresh.OptionsDlgLeft, 0);
    EXPECT_EQ(fresh.OptionsDlgTop, 0);
    EXPECT_EQ(fresh.ServStatDlgWidth, 0);
    EXPECT_EQ(fresh.LastPassword, "");
}

TEST(OptionSettingsTest, RestoreDefaultsKeepsRememberedValues) {
    TOptionSettings o;
    o.RecVer = 0;
    o.IndexDepth = 9;
    o.TableAvgFill = 1;
    o.KeyMaxDup = 2;
    o.KeyTotalDup = 3;
    o.AvgIdxFill = 4;
    o.RecVerSize = 5;
    o.DelPercent = 6;
    o.VersDeletes = 7;
    o.ActiveTran = 8;
    o.SnapshotTran = 9;
    o.ActSweep = o.FB152 = o.ViewTableFrag = o.ViewIndexFrag = o.TrMins = true;
    o.ZeroTables = o.TrBars = o.ChessFill = false;
    o.HintColor = o.RedColor = o.YellowColor = o.Columns1Color = o.Columns2Color = 1;
    o.ChessColor = o.MassColor = o.BlobColor = o.TransColor = 2;
    o.HintWidth = 10;
    o.HintHidePause = 2000;
    o.ReportWrap = 30;
    o.HeaderPage = true;
    o.LoadMetadata = false;
    o.OptionsDlgLeft = 120;
    o.OptionsDlgTop = 80;
    o.OptionsDlgPage = 3;
    o.ServStatDlgWidth = 640;
    o.LastPassword = "masterkey";

    o.RestoreDefaults();
    ExpectDefaults(o);
    // Not shown by the options dialog: untouched.
    EXPECT_TRUE(o.HeaderPage);
    EXPECT_FALSE(o.LoadMetadata);
    EXPECT_EQ(o.OptionsDlgLeft, 120);
    EXPECT_EQ(o.OptionsDlgTop, 80);
    EXPECT_EQ(o.OptionsDlgPage, 3);
    EXPECT_EQ(o.ServStatDlgWidth, 640);
    EXPECT_EQ(o.LastPassword, "masterkey");
}

TEST(OptionSettingsTest, TheGlobalRestoresInPlace) {
    const TOptionSettings saved = OptionSettings;
    OptionSettings.ReportWrap = 10;
    OptionSettings.LastPassword = "secret";
    OptionSettings.RestoreDefaults();
    EXPECT_EQ(OptionSettings.ReportWrap, 70);
    EXPECT_EQ(OptionSettings.LastPassword, "secret");
    OptionSettings = saved;
}

}  // namespace
}  // namespace dv::test
