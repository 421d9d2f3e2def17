// The about box: what it shows, its links, its version text, and how it
// closes; opened alone and from the main window's Help menu.
#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QImageReader>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "tests/ui/MainTestSupport.h"
#include "tests/support/qt/ModalDriver.h"
#include "model/utils.h"
#include "platform/text/SysUtils.h"
#include "platform/gui/Graphics.h"
#include "ui/dialogs/about.h"

namespace dv::test {
namespace {

// Runs ShowAboutBox; `act` runs inside its modal loop and must close it.
bool RunAboutModal(const std::function<void(TAboutBox&)>& act, const std::function<void()>& open = ShowAboutBox) {
    return DriveModal<TAboutBox>(open, act);
}

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        FOldOpen = SetShellOpenHandler([this](const std::string& url) {
            Urls.push_back(url);
            return OpenSucceeds;
        });
    }
    void TearDown() override { SetShellOpenHandler(FOldOpen); }

    ScriptedDialogs Dialogs;
    std::vector<std::string> Urls;
    bool OpenSucceeds = true;

private:
    TShellOpenHandler FOldOpen;
};

TEST_F(AboutTest, VersionIsTheFileVersionOfTheRunningExecutable) {
    TAboutBox box(nullptr);
    const std::string version = GetFileVersionStr(ExePath());
    EXPECT_EQ(box.lbVersion->text().toStdString(), "Version " + version);
    // This build stamps its version record into every executable.
    EXPECT_NE(version, "0.0.0.0");
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 3) << version;
}

TEST_F(AboutTest, FileWithoutVersionRecordShowsZeros) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string plain = dir.path().toStdString() + "/plain.bin";
    WriteFile(plain, std::string(4096, '\x7f') + "not a version record");
    const std::pair<std::string, const char*> cases[] = {
        {plain, "Version 0.0.0.0"},
        {dir.path().toStdString() + "/missing.bin", "Version 0.0.0.0"},
    };
    for (const auto& [file, text] : cases) EXPECT_EQ(VersionCaption(file), text) << file;
}

TEST_F(AboutTest, ShowsNameLogoDescriptionCreditsAndNotice) {
    TAboutBox box(nullptr);
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.objectName(), "AboutBox");
    EXPECT_GE(box.width(), 317);
    EXPECT_GE(box.height(), 320);
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed dialog border";
    EXPECT_EQ(box.lbProductName->text(), "Dravolt");
    EXPECT_TRUE(box.lbProductName->font().bold());
    EXPECT_EQ(box.lbProductName->font().pixelSize(), 19);
    EXPECT_EQ(box.lbProductName->palette().color(QPalette::WindowText), box.palette().color(QPalette::Highlight));
    EXPECT_EQ(box.lbComments->text(),
              "Tool to analyze InterBase/Firebird database's statistics, tune indices and find performance "
              "bottlenecks.");
    EXPECT_TRUE(box.lbComments->wordWrap());
    EXPECT_EQ(box.lbCredits2->text(), "for VirtualTreeView");
    EXPECT_FALSE(box.lbCredits1->text().isEmpty());
    EXPECT_FALSE(box.lbNotice->text().isEmpty());
    EXPECT_EQ(box.lbNotice->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(box.btnOk->text(), "OK");
    EXPECT_TRUE(box.btnOk->isDefault());
    // Everything but the button lies on the panel.
    for (QWidget* w : std::initializer_list<QWidget*>{box.Image1, box.lbProductName, box.lbVersion, box.Label1,
                                                      box.lbAuthor1, box.lbHoster, box.lbNotice, box.lbComments,
                                                      box.lbCredits1, box.lbCredits2})
        EXPECT_EQ(w->parentWidget(), box.Panel) << w->objectName().toStdString();
    EXPECT_EQ(box.btnOk->parentWidget(), &box);

    // The logo is a JPEG picture of 137 x 97, decoded by the image plugin.
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("jpeg")) << "Qt's JPEG plugin is missing";
    QImageReader logo(QStringLiteral(":/dialogs/logo.jpg"));
    EXPECT_EQ(logo.format(), "jpeg");
    const QPixmap shown = box.Image1->pixmap();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(137, 97));
    EXPECT_EQ(box.Image1->size(), QSize(137, 97));
}

TEST_F(AboutTest, LinksLookLikeLinksAndOpenTheirPages) {
    TAboutBox box(nullptr);
    box.show();
    const std::pair<TLinkLabel*, const char*> links[] = {
        {box.Label1, "https://www.kelmaris.example"},
        {box.lbAuthor1, "https://www.kelmaris.example/labs"},
        {box.lbHoster, "https://www.kelmaris.example/partners/hosting"},
    };
    // Stacked in this order under the version.
    EXPECT_LT(box.lbVersion->y(), box.Label1->y());
    EXPECT_LT(box.Label1->y(), box.lbAuthor1->y());
    EXPECT_LT(box.lbAuthor1->y(), box.lbHoster->y());
    for (const auto& [label, url] : links) {
        const std::string name = label->objectName().toStdString();
        EXPECT_EQ(label->text().toStdString(), url) << name << " shows the address it opens";
        EXPECT_TRUE(label->font().bold()) << name;
        EXPECT_TRUE(label->font().underline()) << name;
        EXPECT_EQ(ColorToWin(label->palette().color(QPalette::WindowText)), clNavy) << name;
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor) << name;
        Urls.clear();
        QTest::mouseClick(label, Qt::LeftButton);
        ASSERT_EQ(Urls.size(), 1u) << name;
        EXPECT_EQ(Urls[0], url);
        // Other buttons do nothing.
        QTest::mouseClick(label, Qt::RightButton);
        EXPECT_EQ(Urls.size(), 1u) << name;
    }
    // A page that cannot be opened (no browser): a message gives the
    // address to copy, and the box stays.
    EXPECT_TRUE(Dialogs.Messages.empty());
    OpenSucceeds = false;
    QTest::mouseClick(box.lbHoster, Qt::LeftButton);
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_NE(Dialogs.LastText().find("https://www.kelmaris.example/partners/hosting"), std::string::npos);
    EXPECT_TRUE(box.isVisible());
}

TEST_F(AboutTest, EnterAnywhereAndTheButtonCloseTheBox) {
    const std::pair<const char*, std::function<void(TAboutBox&)>> ways[] = {
        {"Enter on the box", [](TAboutBox& b) { QTest::keyClick(&b, Qt::Key_Return); }},
        {"Enter on a link", [](TAboutBox& b) { QTest::keyClick(b.lbAuthor1, Qt::Key_Enter); }},
        {"OK button", [](TAboutBox& b) { b.btnOk->click(); }},
        {"Escape", [](TAboutBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }},
    };
    for (const auto& [way, close] : ways) {
        bool centred = false;
        EXPECT_TRUE(RunAboutModal([&, close = close](TAboutBox& box) {
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            centred = (box.geometry().center() - screen.center()).manhattanLength() <= 4;
            close(box);
        })) << way;
        EXPECT_TRUE(centred) << way;
    }
    EXPECT_TRUE(Urls.empty());
}

class AboutFromMainWindowTest : public MainFormTest {};

TEST_F(AboutFromMainWindowTest, HelpMenuOpensTheBoxOverTheMainWindow) {
    TMainForm& f = Make();
    QWidget* parent = nullptr;
    QString version;
    EXPECT_TRUE(RunAboutModal(
        [&](TAboutBox& box) {
            parent = box.parentWidget();
            version = box.lbVersion->text();
            box.btnOk->click();
        },
        [&] { f.Widgets().About->trigger(); }));
    EXPECT_EQ(parent, &f);
    EXPECT_EQ(version.toStdString(), "Version " + GetFileVersionStr(ExePath()));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
}

}  // namespace
}  // namespace dv::test
