// RemoveReceipted --list: what a removal would take away, found the way the
// removal finds it and printed as Listed lines, with nothing changed.
#pragma once

#include "ToolSupport.h"

namespace quillon {

// Reads the receipts of |mode| (trusted as the removal trusts them) and
// lists every entry that is there now and that the removal would not
// refuse, parents before their contents, then the receipts and their
// folders. An entry already gone is not listed; one the removal would refuse,
// and a receipt it would not read, give a "note". Exit status as the
// removal's: 0, 1 when something would be refused, 2 when the receipts
// cannot be reached.
int ListReceipted(const ToolMode& mode);

}  // namespace quillon
