// What the window does before it opens, from its arguments, its user and
// its environment: no Qt is running yet.
#pragma once

#include <string>

class NSBundle;

// --help and --version are the window's only options.
struct UninstallerPreflightResult {
  int exitStatus = -1;   // -1: go on and open the window
  std::string output;    // for standard output
  std::string error;     // one line for standard error
  bool showInWindow = false;  // say |error| in a window too, when one can open
  bool verbose = false;       // --verbose: the run's diagnostics on standard error too
};
// |strings|: the bundle whose strings table says the texts in the user's
// language; English without one.
UninstallerPreflightResult UninstallerPreflight(int argc, char* argv[], unsigned realUID, unsigned effectiveUID,
                                                const NSBundle* strings = nullptr);

// Whether Qt can reach a display: QT_QPA_PLATFORM when set (offscreen, say),
// else an X11 DISPLAY or a Wayland display.
bool UninstallerHasDisplay();

// The line for standard error when no display can be reached, which names
// the terminal command instead.
std::string UninstallerNeedsDisplayLine(const NSBundle* strings = nullptr);
