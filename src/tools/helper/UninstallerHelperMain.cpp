// UninstallerHelper: the privileged helper tool. Everything it does lives in
// the MoreSecurity host and the uninstall command; this is only the entry.
// pkexec runs the installed tool that the uninstall right's polkit action
// names, and nothing else does root's work.

#include "MoreSecHelperTool.h"
#include "MoreSecInstalledTool.h"
#include "UninstallerCommand.h"

#ifdef QUILLON_PARSER_PROBE
// A test build's report of the parsing child's state; never in the installed
// tool, which the link check makes sure of.
void QuillonReportParsingChild(void);
#endif

int main(int argc, char* argv[]) {
  MoreSecCommand command = kUninstallerHelperCommand;
#ifdef QUILLON_PARSER_PROBE
  command.parserProbe = QuillonReportParsingChild;
#endif
  return MoreSecHelperToolEntryForInstalledTool(argc, argv, &command, kMoreSecHelperPolicyPath);
}
