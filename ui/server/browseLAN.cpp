#include "ui/server/browseLAN.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/text/SysUtils.h"
#include "platform/gui/Graphics.h"
#include "ui/views/dblistfr.h"

// The computer picture comes with the database list's resources.
static void InitBrowseResources() { Q_INIT_RESOURCE(dblist); }

namespace dv {

namespace {

void AddOnce(std::vector<std::string>& names, const std::string& name) {
    if (name.empty()) return;
    for (const std::string& n : names)
        if (SameText(n, name)) return;
    names.push_back(name);
}

// Multicast and router groups of IPv6 (ff00::/8, and the fe00:: / ip6-mcastprefix
// line of Debian's hosts file) are no computers.
bool IsGroupAddress(const std::string& address) {
    const std::string a = LowerCase(address);
    return a.rfind("ff", 0) == 0 || a.rfind("fe00:", 0) == 0;
}

}  // namespace

std::vector<std::string> ReadHostsFile(const std::string& fileName) {
    std::vector<std::string> names;
    std::ifstream file(fileName);
    std::string line;
    while (std::getline(file, line)) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string address, name;
        if (!(words >> address) || IsGroupAddress(address)) continue;
        while (words >> name) AddOnce(names, name);
    }
    return names;
}

std::vector<std::string> KnownComputerNames(const std::string& hostsFile) {
    std::vector<std::string> names;
    AddOnce(names, QSysInfo::machineHostName().toStdString());
    for (const std::string& n : ReadHostsFile(hostsFile)) AddOnce(names, n);
    if (FrDBList)
        for (PVirtualNode node = FrDBList->vstDBList->GetFirst(); node;
             node = FrDBList->vstDBList->GetNextSibling(node))
            if (TDatabaseItem* entry = TFrDBList::EntryOf(node)) AddOnce(names, Trim(entry->Server));
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    return names;
}

TBrowseLANDlg::TBrowseLANDlg(const std::vector<std::string>& names, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BrowseLANDlg"));
    setWindowTitle(QStringLiteral("Browse for Computer"));
    auto* layout = new QVBoxLayout(this);

    auto* prompt = new QLabel(QStringLiteral("Choose a computer, or type its name or address:"), this);
    layout->addWidget(prompt);

    lbComputers = new QListWidget(this);
    lbComputers->setObjectName(QStringLiteral("lbComputers"));
    InitBrowseResources();
    const QIcon computer(QStringLiteral(":/dblist/server.svg"));
    for (const std::string& n : names) lbComputers->addItem(new QListWidgetItem(computer, QString::fromStdString(n)));
    layout->addWidget(lbComputers, 1);

    auto* label = new QLabel(QStringLiteral("&Computer:"), this);
    eComputer = new QLineEdit(this);
    eComputer->setObjectName(QStringLiteral("eComputer"));
    label->setBuddy(eComputer);
    layout->addWidget(label);
    layout->addWidget(eComputer);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(Buttons);

    connect(lbComputers, &QListWidget::currentTextChanged, eComputer, &QLineEdit::setText);
    connect(lbComputers, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        eComputer->setText(item->text());
        accept();
    });
    connect(eComputer, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    connect(Buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!ComputerName().empty()) accept();
    });
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    eComputer->setFocus();
    UpdateButtons();
    resize(340, 360);
}

std::string TBrowseLANDlg::ComputerName() const { return Trim(eComputer->text().toStdString()); }

void TBrowseLANDlg::UpdateButtons() { Buttons->button(QDialogButtonBox::Ok)->setEnabled(!ComputerName().empty()); }

std::string BrowseForComputer() {
    TBrowseLANDlg dialog(KnownComputerNames(), QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) return std::string();
    return dialog.ComputerName();
}

}  // namespace dv
