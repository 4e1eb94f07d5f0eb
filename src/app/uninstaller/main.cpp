// The uninstaller application's entry point.
#include "MoreUNIX.h"
#include "UninstallerApplication.h"

int main(int argc, char* argv[]) {
  // A write to a helper tool that has gone away must fail with EPIPE, not
  // end the application.
  const int err = MoreUNIXIgnoreSIGPIPE();
  if (err != 0) {
    return err;
  }
  return UninstallerApplicationMain(argc, argv);
}
