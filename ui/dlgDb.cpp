#include "main.h"

namespace dv {

bool RunServerStatisticsDialog(TDatabaseItem* entry, TStringList& lines, bool& loadMetadata) {
    NotAvailable("Taking statistics from a server");
    return false;
}

bool RunStatisticsRefresh(TStringList& lines, bool full) {
    NotAvailable("Reloading statistics from a server");
    return false;
}

}  // namespace dv
