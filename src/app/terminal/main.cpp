// quillon-uninstall's entry point.
#include "MoreUNIX.h"
#include "TerminalUninstall.h"

int main(int argc, char* argv[]) {
  // A write to a helper tool that has gone away must fail with EPIPE, not
  // end the program.
  const int err = MoreUNIXIgnoreSIGPIPE();
  if (err != 0) {
    return err;
  }
  return TerminalUninstallMain(argc, argv);
}
