// The log of an uninstall, kept within bounds: the head-and-tail cut that
// keeps a long log's start and end, and the per-user log file to which every
// run is appended.
#pragma once

#include "UninstallerLogCut.h"

#include <MacTypes.h>

#include <stddef.h>
#include <time.h>

#include <string>
#include <string_view>

// The largest file UninstallerAppendRunLog keeps: past it the oldest runs go.
enum : size_t { kUninstallerLogFileLimit = 512 * 1024 };

// $XDG_STATE_HOME/quillon/uninstall.log, with ~/.local/state for an unset,
// empty or relative XDG_STATE_HOME; empty when there is no home folder.
std::string UninstallerLogFilePath();

// Appends one run to the log file at |path|: a header line
// "==== <local time, ISO 8601> status <status> ====", then |log| (cut with
// UninstallerCutLog to half of |limit| when longer), ending in a newline. When
// the file would grow past |limit| bytes, the oldest runs are dropped and the
// file is rewritten through a temporary file in the same folder and renamed
// over, so it is never left half written; a plain append goes straight to
// the end (O_APPEND). The folder is made (mode 0700) when missing. The file
// is the user's own: a symbolic link or a file of another user is refused.
// Returns 0 or an errno.
int UninstallerAppendRunLog(const std::string& path, std::string_view log, OSStatus status, time_t when,
                            size_t limit = kUninstallerLogFileLimit);
