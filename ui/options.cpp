#include "main.h"

namespace dv {

bool RunOptionsDialog() {
    NotAvailable("The options dialog");
    return false;
}

}  // namespace dv
