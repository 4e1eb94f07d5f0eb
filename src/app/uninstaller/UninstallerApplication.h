// The window's program: the preflight, then the application on the
// controller.
#pragma once

#include "UninstallerController.h"
#include "UninstallerPreflight.h"

// Runs the application: SIGPIPE has already been ignored by main.
int UninstallerApplicationMain(int argc, char* argv[], UninstallerController::Engine engine = UninstallerRunEngine);
