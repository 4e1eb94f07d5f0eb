// What the product's tools share beyond files: their command line, the
// user's home, and the areas that hold users' files.
#pragma once

#include "SafePath.h"

#include <string>
#include <string_view>

namespace quillon {

// Every tool runs in one of two modes, chosen by its first argument:
//   --system [--root DIR]   the root part; "--root" relocates the system
//                           locations below DIR (tests only; the uninstaller
//                           never passes it);
//   --user                  the user part, below the user's home.
// Either may be followed by "--list": the tool then changes nothing and
// prints what it would remove (ProductLog.h, Listed), so that a front end
// can show it before anyone confirms.
// Choosing by argument rather than by the effective user ID keeps root from
// ever treating its own home as "the user's".
struct ToolMode {
  bool system = false;
  std::string root = "/";
  bool list = false;
};

// Makes a failed write return an error instead of ending the tool: a file
// size limit the caller set would otherwise kill it with SIGXFSZ, and a log
// pipe whose reader went away with SIGPIPE, half-way through a rewrite and
// before its clean-up removed the temporary file. Call first thing in main.
void IgnoreWriteFailureSignals();

// Parses argv as above. Returns false (after printing the usage line through
// the log) on anything else. Call it after SetLogTool: in the tests' copy of
// the tools it arms the kill points for that tool and mode (KillPoint.h).
bool ParseToolMode(int argc, char* const argv[], ToolMode* mode);

// The home folder of the user the tool runs as: $HOME when it is an absolute
// path, otherwise the password database's entry for the real user ID. The
// result has no trailing "/". Returns 0, or ENOENT when there is none.
int FindUserHome(std::string* home);

// For the system mode: true, with a reason, when the absolute `parts` lie in
// users' files: /home, /root, /run/user, the shared temporary folders, or the
// home folder of any account in the password database with a user ID of 1000
// or more (nobody excepted).
bool IsInUsersFiles(const PathParts& parts, const char** why);

}  // namespace quillon
