// The recommendations window and commands: the header line, saving (the
// proposed name, CR LF items, errors naming the file) and the modal view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTimer>
#include <filesystem>
#include <regex>

#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestModel.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/ModalDriver.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/dbrecom.h"

namespace dv::test {
namespace {

class ReportWindowTest : public DbInfoModelTest {};

TEST_F(ReportWindowTest, HeaderLineNamesTheProgramItsBuildAndTheTime) {
    ASSERT_EQ(FrDbInfo, nullptr);
    const TStringList lines = CurrentRecommendations();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Dravolt 2\.7  build \d+\.\d+\.\d+\.\d+, .+)"))) << lines[0];
    EXPECT_EQ(lines[1], "Database: /data/shop.fdb");
}

TEST_F(ReportWindowTest, SaveWritesItemsWithCrLfAndProposesATextFile) {
    ScriptedDialogs dialogs;
    AddTable("CUSTOMER", 2000, 24);
    const std::string dir = ::testing::TempDir() + "h7_report_save";
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/report.txt";
    std::filesystem::remove(file);
    dialogs.ChooseFile(file);
    SaveRecommendationsClick();
    ASSERT_EQ(dialogs.FileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.FileDialogs[0].Filter, "Text files (*.txt)|*.txt|All files|*.*");
    EXPECT_EQ(dialogs.FileDialogs[0].FileName, "shop_recommendations.txt");
    EXPECT_TRUE(dialogs.FileDialogs[0].OverwritePrompt);
    const std::string text = ReadFile(file);
    TStringList lines = CurrentRecommendations();
    std::string expected;
    for (const std::string& s : lines) expected += s + "\r\n";
    // Everything but the clock in the header line.
    ASSERT_GT(text.size(), lines[0].size());
    EXPECT_EQ(text.substr(text.find("\r\n")), expected.substr(expected.find("\r\n")));
    EXPECT_EQ(text.rfind("Dravolt 2.7  build ", 0), 0u);
}

TEST_F(ReportWindowTest, SaveCancelledOrNothingLoadedWritesNothing) {
    ScriptedDialogs dialogs;
    dialogs.ChooseFile("");   // cancel
    SaveRecommendationsClick();
    EXPECT_EQ(dialogs.FileDialogs.size(), 1u);
    DBInfo->PageSize = 0;
    SaveRecommendationsClick();
    EXPECT_EQ(dialogs.FileDialogs.size(), 1u) << "no dialog without statistics";
    EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(ReportWindowTest, SaveToAnUncreatableFileRaisesNamingTheFile) {
    ScriptedDialogs dialogs;
    const std::string file = "/nonexistent-folder-h7/report.txt";
    dialogs.ChooseFile(file);
    try {
        SaveRecommendationsClick();
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_NE(e.Message().find(file), std::string::npos) << e.Message();
        EXPECT_NE(e.Message().find("No such file or directory"), std::string::npos) << e.Message();
    }
}

TEST_F(ReportWindowTest, ViewWithoutStatisticsTellsTheUserToLoadFirst) {
    ScriptedDialogs dialogs;
    DBInfo->PageSize = 0;
    ReportShowClick();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, "First load statistics from file or via Services API.");
    EXPECT_EQ(dialogs.Messages[0].Type, mtInformation);
    EXPECT_EQ(dialogs.Messages[0].Buttons, static_cast<TMsgDlgButtons>(mbOK));
}

TEST_F(ReportWindowTest, ViewShowsTheReportModallyInTheMemo) {
    ScriptedDialogs dialogs;
    AddTable("CUSTOMER", 2000, 24);
    QString shown, title;
    int wrapMode = -1;
    // Read and close the window from inside its modal loop.
    EXPECT_TRUE(DriveModal<QDialog>(ReportShowClick, [&](QDialog& view) {
        title = view.windowTitle();
        if (auto* memo = view.findChild<QPlainTextEdit*>("Recom")) {
            shown = memo->toPlainText();
            wrapMode = memo->lineWrapMode();
        }
        view.reject();
    }));
    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_EQ(title, "View recommendations");
    EXPECT_EQ(wrapMode, QPlainTextEdit::WidgetWidth);
    const QStringList lines = shown.split('\n');
    ASSERT_EQ(lines.size(), 15) << shown.toStdString();   // 12 items, two of them on two lines, the footer on three
    EXPECT_EQ(lines[1], "Database: /data/shop.fdb");
    EXPECT_EQ(lines[3], "Your database is running 1 days, and average workload is ~102 ");
    EXPECT_EQ(lines[4], "transactions per day.");
    EXPECT_EQ(lines[9], "We do not have any recommendations about your database now.");
    EXPECT_EQ(lines[13], "");
    EXPECT_FALSE(shown.contains('\r'));
}

}  // namespace
}  // namespace dv::test
