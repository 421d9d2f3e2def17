#include "main.h"

namespace dv {

void RunAboutBox() { NotAvailable("The about box"); }

}  // namespace dv
