// The uninstall command of the helper tool UninstallerHelper: the procedure
// that the tool's host calls with each request, with root at hand (its saved
// user ID is 0), to remove the product's root part.
//
// The tool's host never hands the command the caller's XML: a child with the
// caller's rights parses it and passes on only the three keys below, each a
// string (or kCFBooleanFalse where the request held something else), so that
// a fault in the parser cannot become root's (MoreSecHelperTool.h).
//
// Request: a dictionary of absolute paths (strings).
//   "CommandPath"     always: the script uninstall.ss in the bundle's Resources folder.
//   "PruneMIDI"       optional: the tool PruneMIDI in the bundle.
//   "PruneLoginItem"  optional: the tool PruneLoginItem in the bundle.
// Other keys are ignored.
//
// What it does, in order, stopping at the first refusal:
//   1. checks that every path present is a string holding a clean absolute
//      path (else paramErr);
//   2. runs only as root alone: real, effective and saved user IDs 0, as
//      pkexec's child is once polkit allowed kQuillonUninstallRight (whose
//      action names the installed tool, so that pkexec's question is that
//      right), or a tool that root started; anything else gives 5361. A
//      set-user-ID copy, which its user could signal or stop, does nothing;
//   3. accepts only the installed bundle's own programs: the bundle is the
//      folder of the tool that the polkit action kMoreSecHelperPolicyPath
//      names, and each path must be exactly <bundle>/Resources/uninstall.ss,
//      <bundle>/PruneMIDI or <bundle>/PruneLoginItem. Anything else, root's
//      or not, is refused by name, "refused <key> "<path>": not the installed
//      bundle's <expected>", with kUninstallUntrustedProgramErr, and nothing
//      runs;
//   3a. opens every program named through one pinned walk from "/"
//      (OpenProgramForRunning for root alone): no component a symbolic link,
//      every folder on the way and the file itself owned by root and not
//      writable by group or others (a root-owned sticky folder excepted),
//      the file an executable regular file. A refusal is logged, and on
//      standard error, as "refused <key> "<path>": <part> <why>", gives
//      kUninstallUntrustedProgramErr (a program that could not be looked at,
//      a missing one say, its errno), and nothing runs;
//   4. makes sure the resource limits let the programs run to their end
//      (RaiseLimitsForRunning: file size and CPU time unlimited, enough
//      descriptors and processes), raising them as root where it can; where
//      it cannot, it logs "ran nothing: <limit and why>", also on standard
//      error, gives kUninstallLimitsErr and nothing runs;
//   5. takes the system-wide lock kUninstallSystemLockPath (root:root 0600)
//      as root, waiting while another uninstall holds it, for 30 s at most:
//      then "ran nothing: another uninstall (process <pid>) has held <lock>
//      for 30 s", ETIMEDOUT, and nothing runs; a name that someone else made
//      there (a symbolic link, a file not root's own) is refused with its
//      errno (ELOOP, EPERM) and left alone, and nothing runs;
//   6. runs them in the order PruneMIDI, PruneLoginItem, CommandPath (whose
//      script removes the receipts, last, so that a run cut off at any point
//      leaves a receipt behind and is done again), each
//      through its descriptor and fully as root (RunProgram), with
//      stdin /dev/null, stdout and stderr into the log, and only this
//      environment: PATH=/usr/sbin:/usr/bin:/sbin:/bin, LANG=C.UTF-8,
//      HOME=/root and QUILLON_BUNDLE=/proc/self/fd/5, the folder that holds
//      the folder of CommandPath as the walk pinned it, kept open for every
//      program at descriptor 5 (the script runs as /dev/fd/3 and cannot find
//      the bundle on its own). CommandPath gets no argument; the two tools get
//      "--system". A step that fails does not stop the later ones, which are
//      independent of it; the first failure is the status: the errno when a
//      program could not be started, 5364 when it exited with a status
//      other than 0 or was ended by a signal.
//
// Response: always a new dictionary (unless memory ran out, then -4960 and
// none) whose "QLUninstallLog" holds what the programs printed, in order,
// plus a line "UninstallerHelper: ..." for each refusal or failure. A log
// longer than kUninstallLogLimit bytes keeps its start and its end, cut at
// line boundaries, with a line that says how much was left out between them
// (so does each program's output on its own), and it is made valid UTF-8: invalid bytes and control characters
// other than tab, line feed and carriage return become U+FFFD. The bound
// keeps the response well inside the protocol's 1 MiB frame even after XML
// escaping, which can make a byte five.
#pragma once

#include "MoreSecHelperTool.h"
#include "MoreSecInstalledTool.h"
#include "MoreSecProtocol.h"

#include <Authorization.h>
#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#include <stddef.h>

#include <string>

#define kUninstallCommandPathKey CFSTR("CommandPath")
#define kUninstallPruneMIDIKey CFSTR("PruneMIDI")
#define kUninstallPruneLoginItemKey CFSTR("PruneLoginItem")
#define kUninstallLogKey CFSTR("QLUninstallLog")

enum : size_t { kUninstallLogLimit = 128 * 1024 };

// Held while the programs run, so that two uninstalls never interleave. It
// lies in /run itself, which only root may write to: in the world-writable
// /run/lock any local user could make the name first and so stop every
// uninstall on the machine.
inline constexpr char kUninstallSystemLockPath[] = "/run/quillon-uninstall.lock";

// The command's statuses: the helper tool's, as the request channel defines
// them, and next to them the two refusals that run nothing.
enum : OSStatus {
  kUninstallDeniedErr = kHelperToolDeniedErr,        // the user may not uninstall
  kUninstallCanceledErr = kHelperToolCanceledErr,    // the user dismissed the authorization dialog
  kUninstallStepFailedErr = kHelperToolFailedErr,    // a removal program exited with a failure
  kUninstallUntrustedProgramErr = 5365,              // a program, or a folder on its way, is not root's alone
  kUninstallLimitsErr = 5366,                        // the resource limits cannot be raised for a whole run
};

// The command. auth, request and response must not be NULL, and *response
// must be NULL on entry. Returns the status described above.
OSStatus HelperToolCommandProc(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response);

// The command with the keys it reads, for the tool's host.
extern const MoreSecCommand kUninstallerHelperCommand;

// The same command with the authorization check supplied by the caller (it
// returns an Authorization Services status), so tests can stand in for
// polkit. HelperToolCommandProc is this with AuthorizationCopyRights.
typedef OSStatus (*UninstallRightsCheck)(AuthorizationRef auth);
OSStatus UninstallerCommandWithRightsCheck(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response,
                                           UninstallRightsCheck check);

// The same with the system-wide lock at |lockPath| instead, for tests.
OSStatus UninstallerCommandWithChecks(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response,
                                      UninstallRightsCheck check, const char* lockPath);

// Where the command finds its lock and its bundle, and how long it waits.
struct UninstallCommandSettings {
  const char* lockPath = kUninstallSystemLockPath;
  int lockWaitSeconds = 30;
  // The polkit action that names the installed tool, whose folder is the
  // bundle; or, for tests, the bundle itself (then the action is not read).
  const char* policyPath = kMoreSecHelperPolicyPath;
  const char* bundle = nullptr;
};
OSStatus UninstallerCommandWithSettings(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response,
                                        UninstallRightsCheck check, const UninstallCommandSettings& settings);

// `bytes` made fit for the log: valid UTF-8 in which invalid bytes and
// control characters other than \t, \n and \r are U+FFFD.
void UninstallerSanitizeLog(const char* bytes, size_t length, std::string* text);
