#include "main.h"

namespace dv {

void RunTransactionCalculator() { NotAvailable("The transaction calculator"); }

}  // namespace dv
