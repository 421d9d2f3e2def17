// Choosing a computer by name for the statistics dialog. There is no network
// neighbourhood to browse here, so a small dialog offers the names this
// machine knows (its own name, the hosts file and the servers of the database
// list) and lets the user pick one or type any other.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QDialogButtonBox;
class QLineEdit;
class QListWidget;

namespace dv {

// Host names of a hosts file ("address name alias..." lines, '#' comments),
// in file order, each once (ignoring case). Addresses of the IPv6 multicast
// and router groups are passed over: nothing answers there. A file that
// cannot be read gives nothing.
std::vector<std::string> ReadHostsFile(const std::string& fileName);

// The names offered by the browser, sorted, each once (ignoring case): this
// machine's name, the names of the hosts file and the non-empty server names
// of the database list.
std::vector<std::string> KnownComputerNames(const std::string& hostsFile = "/etc/hosts");

class TBrowseLANDlg : public QDialog {
public:
    explicit TBrowseLANDlg(const std::vector<std::string>& names, QWidget* parent = nullptr);

    // The name in the edit field, without surrounding blanks.
    std::string ComputerName() const;

    QListWidget* lbComputers = nullptr;
    QLineEdit* eComputer = nullptr;
    QDialogButtonBox* Buttons = nullptr;

private:
    void UpdateButtons();
};

// Shows the browser (owned by the active window) and returns the chosen or
// typed computer name, or empty when the user cancels.
std::string BrowseForComputer();

}  // namespace dv
