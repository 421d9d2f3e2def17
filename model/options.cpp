#include "model/options.h"

#include <utility>

namespace dv {

TOptionSettings OptionSettings;

void TOptionSettings::RestoreDefaults() {
    TOptionSettings defaults;
    // What the options dialog does not show survives the reset.
    defaults.HeaderPage = HeaderPage;
    defaults.LoadMetadata = LoadMetadata;
    defaults.OptionsDlgLeft = OptionsDlgLeft;
    defaults.OptionsDlgTop = OptionsDlgTop;
    defaults.OptionsDlgPage = OptionsDlgPage;
    defaults.ServStatDlgWidth = ServStatDlgWidth;
    defaults.LastPassword = std::move(LastPassword);
    *this = std::move(defaults);
}

}  // namespace dv
