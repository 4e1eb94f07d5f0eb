// What the engine, the security client and the helper tool write to standard
// error (their search for the agent, the calls they make, the code location
// of each failure) is for whoever reads a run's log, not for the terminal a
// window was started from, nor for the middle of a password prompt. From the
// first run on, the process's standard error (file descriptor 2, which the
// helper tool and pkexec inherit) goes to an anonymous file, and each run
// takes what was written during it into its log. QUILLON_VERBOSE=1 in the
// environment (the window's --verbose sets it) leaves standard error alone.
#pragma once

#include <string>
#include <sys/types.h>

// Whether QUILLON_VERBOSE asks for the diagnostics on standard error: set,
// and neither empty nor "0".
bool UninstallerDiagnosticsVerbose();

// Starts keeping standard error, once per process and not when verbose, and
// returns the mark that UninstallerDiagnosticsSince reads from. Call it on
// the thread that starts runs.
off_t UninstallerDiagnosticsMark();

// What was written to standard error since |mark|: at most the last
// |limit| bytes of it, from the start of a line. Empty when not kept.
std::string UninstallerDiagnosticsSince(off_t mark, size_t limit = 64 * 1024);

// A descriptor for the front end's own messages to its user: the standard
// error the process started with, whether or not it is kept now.
int UninstallerOwnStderr();
