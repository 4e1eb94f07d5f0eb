// The log of an uninstall, kept within bounds: the head-and-tail cut that
// keeps a long log's start and end, and the per-user log file to which every
// run is appended.
#pragma once

#include <MacTypes.h>

#include <stddef.h>
#include <time.h>

#include <string>
#include <string_view>

// The line that stands where a log was cut, "[... N bytes left out ...]",
// always on a line of its own.
std::string UninstallerCutMarker(size_t bytesLeftOut);

// Joins the start and the end of a text whose middle, |leftOut| bytes, is
// gone. The partial line at the end of |head| and the partial line at the
// start of |tail| go too, so that the cut falls on line boundaries, and the
// marker line stands between them. With |leftOut| 0 and no partial lines the
// result is head + tail unchanged. A head or tail that is one single line
// longer than it is is cut at a character boundary instead, never inside a
// UTF-8 sequence.
std::string UninstallerJoinCut(std::string_view head, std::string_view tail, size_t leftOut);

// |text| when it fits in |limit| bytes; otherwise about its first and last
// halves, cut at line boundaries, with the marker line between them. The
// result is never longer than |limit| plus the marker line.
std::string UninstallerCutLog(std::string_view text, size_t limit);

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
