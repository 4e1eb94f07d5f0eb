// UninstallerHelper: the privileged helper tool. Everything it does lives in
// the MoreSecurity host and the uninstall command; this is only the entry.
// pkexec runs the installed tool that the uninstall right's polkit action
// names, and nothing else does root's work.

#include "MoreSecHelperTool.h"
#include "MoreSecInstalledTool.h"
#include "UninstallerCommand.h"

int main(int argc, char* argv[]) {
  return MoreSecHelperToolEntryForInstalledTool(argc, argv, HelperToolCommandProc, kMoreSecHelperPolicyPath);
}
