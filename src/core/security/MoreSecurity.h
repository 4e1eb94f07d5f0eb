// MoreSecurity: the privileged helper tool's module, both the application's
// side (installing and calling the tool) and the tool's own side (its main
// routine, the wire format, and process hygiene). Include this header for the
// whole public interface.

#ifndef QUILLON_CORE_SECURITY_MORESECURITY_H
#define QUILLON_CORE_SECURITY_MORESECURITY_H

#include "MoreSecClient.h"
#include "MoreSecHelperTool.h"
#include "MoreSecHygiene.h"
#include "MoreSecInstall.h"
#include "MoreSecProtocol.h"

#endif  // QUILLON_CORE_SECURITY_MORESECURITY_H
