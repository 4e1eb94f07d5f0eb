// UninstallerHelper: the privileged helper tool. Everything it does lives in
// the MoreSecurity host and the uninstall command; this is only the entry.

#include "MoreSecHelperTool.h"
#include "UninstallerCommand.h"

int main(int argc, char* argv[]) { return MoreSecHelperToolEntry(argc, argv, HelperToolCommandProc); }
