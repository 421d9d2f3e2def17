// The computer browser: the names it offers (hosts file, this machine, the
// servers of the database list) and the dialog itself, closed from inside its
// modal loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/SysUtils.h"
#include "platform/gui/Graphics.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/ModalDriver.h"
#include "ui/server/browseLAN.h"
#include "ui/views/dblistfr.h"

namespace dv::test {
namespace {

using Names = std::vector<std::string>;

TEST(DBListBrowse, HostsFileNames) {
    struct Case {
        const char* Name;
        std::string Text;
        Names Expected;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"comments and blanks", "# a comment\n\n   \n\t# indented comment\n", {}},
        {"name and aliases", "127.0.0.1\tlocalhost\n192.168.1.5 db1.lan db1   # the shop\n",
         {"localhost", "db1.lan", "db1"}},
        {"each once, first spelling kept", "10.0.0.1 Alpha\n10.0.0.2 alpha ALPHA beta\n", {"Alpha", "beta"}},
        {"address without name", "10.0.0.9\n10.0.0.8 # only a comment\n", {}},
        {"IPv6 groups passed over",
         "::1 localhost ip6-localhost\nfe00::0 ip6-localnet\nff00::0 ip6-mcastprefix\nff02::1 ip6-allnodes\n"
         "FF02::2 ip6-allrouters\nfe80::1 linklocal-host\n",
         {"localhost", "ip6-localhost", "linklocal-host"}},
        {"CR LF line ends", "10.0.0.1 win-host\r\n10.0.0.2 other\r\n", {"win-host", "other"}},
        {"no line end at the end", "10.0.0.1 last", {"last"}},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.path().toStdString() + "/hosts";
    for (const Case& c : cases) {
        WriteFile(file, c.Text);
        EXPECT_EQ(ReadHostsFile(file), c.Expected) << c.Name;
    }
    EXPECT_TRUE(ReadHostsFile(dir.path().toStdString() + "/missing").empty());
    EXPECT_TRUE(ReadHostsFile(dir.path().toStdString()).empty()) << "a folder is no hosts file";
}

class DBListBrowseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        setenv("DRAVOLT_CONFIG_DIR", Dir.path().toLocal8Bit().constData(), 1);
        Hosts = Dir.path().toStdString() + "/hosts";
        WriteFile(Hosts, "127.0.0.1 localhost\n10.1.1.1 zeta-db Shop\n");
    }
    void TearDown() override {
        Owner.reset();
        unsetenv("DRAVOLT_CONFIG_DIR");
    }

    // Runs BrowseForComputer and, inside its modal loop, `act` on the dialog.
    std::string Browse(const std::function<void(TBrowseLANDlg&)>& act) {
        std::string name;
        EXPECT_TRUE(DriveModal<TBrowseLANDlg>([&] { name = BrowseForComputer(); }, act)) << "the browser did not show";
        return name;
    }

    QTemporaryDir Dir;
    std::string Hosts;
    std::unique_ptr<QWidget> Owner;
};

TEST_F(DBListBrowseTest, OffersThisMachineTheHostsFileAndTheListedServers) {
    Owner = std::make_unique<QWidget>();
    auto* frame = new TFrDBList(Owner.get());
    ASSERT_EQ(FrDBList, frame);
    frame->AddEntry(nullptr, new TDatabaseItem{"SHOP", "", "", ""});       // same as "Shop" ignoring case
    frame->AddEntry(nullptr, new TDatabaseItem{"", "", "", ""});           // the local server has no name
    frame->AddEntry(nullptr, new TDatabaseItem{" backup-host ", "", "", ""});
    PVirtualNode server = frame->AddEntry(nullptr, new TDatabaseItem{"alpha", "", "", ""});
    frame->AddEntry(server, new TDatabaseItem{"alpha", "/db/not-a-host.fdb", "", ""});

    const Names names = KnownComputerNames(Hosts);
    Names expected = {"localhost", "zeta-db", "Shop", "backup-host", "alpha"};
    if (const std::string self = QSysInfo::machineHostName().toStdString(); !self.empty()) expected.push_back(self);
    // Each name once ignoring case, none empty, in the grids' name order.
    for (const std::string& e : expected)
        EXPECT_EQ(std::count_if(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, e); }), 1)
            << e << " in " << ::testing::PrintToString(names);
    for (const std::string& n : names) {
        EXPECT_FALSE(n.empty());
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [&](const std::string& e) { return SameText(n, e); }))
            << n << " is not a known name";
    }
    for (size_t i = 1; i < names.size(); ++i) EXPECT_LE(CompareText(names[i - 1], names[i]), 0) << names[i];
}

TEST_F(DBListBrowseTest, OkNeedsANameAndAPickedNameFillsTheField) {
    TBrowseLANDlg dialog({"alpha", "beta"});
    QPushButton* ok = dialog.Buttons->button(QDialogButtonBox::Ok);
    EXPECT_EQ(dialog.windowTitle(), "Browse for Computer");
    EXPECT_EQ(dialog.lbComputers->count(), 2);
    EXPECT_FALSE(ok->isEnabled());
    dialog.eComputer->setText("   ");
    EXPECT_FALSE(ok->isEnabled()) << "blanks are no name";
    dialog.lbComputers->setCurrentRow(1);
    EXPECT_EQ(dialog.eComputer->text(), "beta");
    EXPECT_TRUE(ok->isEnabled());
    dialog.eComputer->setText("  typed-host.example  ");
    EXPECT_EQ(dialog.ComputerName(), "typed-host.example");
}

TEST_F(DBListBrowseTest, CancellingGivesAnEmptyName) {
    EXPECT_EQ(Browse([](TBrowseLANDlg& d) {
                  d.eComputer->setText("chosen-but-cancelled");
                  d.reject();
              }),
              "");
}

TEST_F(DBListBrowseTest, ATypedNameComesBackWithoutBlanks) {
    EXPECT_EQ(Browse([](TBrowseLANDlg& d) {
                  d.eComputer->setText("  db-server.lan ");
                  d.Buttons->button(QDialogButtonBox::Ok)->click();
              }),
              "db-server.lan");
}

TEST_F(DBListBrowseTest, OkWithoutANameKeepsTheBrowserOpen) {
    EXPECT_EQ(Browse([](TBrowseLANDlg& d) {
                  d.eComputer->setText(" ");
                  emit d.Buttons->accepted();
                  EXPECT_TRUE(d.isVisible());
                  d.reject();
              }),
              "");
}

TEST_F(DBListBrowseTest, ActivatingAListedNameChoosesIt) {
    EXPECT_EQ(Browse([](TBrowseLANDlg& d) {
                  ASSERT_GT(d.lbComputers->count(), 0);
                  QListWidgetItem* item = d.lbComputers->item(0);
                  emit d.lbComputers->itemActivated(item);
              }),
              KnownComputerNames().front());
}

}  // namespace
}  // namespace dv::test
