// The one call that performs an uninstall: authorization, installation of the
// privileged helper tool, the privileged request, the user-level script, the
// combined log and the clean-up. Synchronous; runs on the caller's thread.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#include <sys/types.h>

#include <atomic>

// *log must be NULL on entry and always receives a new string that the
// caller releases: on success the helper tool's log followed by the user
// script's output, on failure "Uninstaller failed with error %d (0x%08x)",
// after the helper tool's log when its command ran and failed.
// Only the lowest bit of removeMidiDevices is looked at. Returns 0, or the
// first failure's status (5362 denied, 5363 canceled, ...).
OSStatus UninstallerEngine(CFStringRef* log, Boolean removeMidiDevices);

// The account that a root run removes one user's part for: the user-level
// script runs with exactly these IDs, groups, home and environment.
struct UninstallerUserAccount {
  uid_t uid;
  gid_t gid;
  const gid_t* groups;  // the supplementary groups, as initgroups would set them
  int groupCount;
  const char* home;     // an absolute path: the working folder
  char* const* environment;  // NULL-terminated "NAME=value" entries, all of them
  // How long root waits for this user's part, in seconds; 0 for no bound.
  // The account owns the script's processes and could keep them, and its
  // output, open for ever, holding up every other account's part: past
  // this, its session is killed, its output is no longer read, and the run
  // returns ETIMEDOUT with a line in the log that says so.
  unsigned timeLimitSeconds;
};

// Where a failed run stopped, so that a front end can say what state things
// are in: before the helper tool had the request nothing was removed; once
// its command failed the system's part may be half gone; a failure after it
// leaves the system's part removed and the user's not.
enum UninstallerEngineStep {
  kUninstallerStepNone = 0,     // the run did not fail, or failed in its clean-up
  kUninstallerStepPrepare,      // authorization, bundle, request, dialog thread
  kUninstallerStepHelperTool,   // copying the helper tool into its folder
  kUninstallerStepRequest,      // the helper tool did not run the command (refused, cancelled, broken off)
  kUninstallerStepSystemPart,   // the command ran as root and reported a failure
  kUninstallerStepUserPart,     // the user-level script, after the system's part
};
struct UninstallerEngineFailure {
  enum UninstallerEngineStep step;
  // The folder the step was writing in (the helper tool's folder), or "".
  char folder[1024];
};

// What a front end may ask of an uninstall beyond that.
struct UninstallerEngineOptions {
  // Only the user's part is left: no authorization and no helper tool (so no
  // password); the user-level script alone runs, and the log is its output.
  Boolean userPartOnly;
  // Called once, on a thread of the engine's own, when the privileged helper
  // tool runs as root, that is, once the administrator's password was
  // accepted; NULL for no report. Never called for a user part only.
  void (*privilegedToolRunning)(void* context);
  // Called on the engine's thread once the helper tool runs and before it is
  // sent anything, with its process ID: pkexec asks polkit about that
  // process, so a front end without a desktop agent can register its own
  // for it (pkttyagent --process PID) here. NULL for none.
  void (*helperToolStarted)(pid_t helperPID, void* context);
  void* context;
  // The system's part alone: the user-level script does not run. A root run
  // removes each user's part separately, as that user.
  Boolean systemPartOnly;
  // Runs the user-level script as this account (the caller must be root):
  // a new session, /dev/null as input, no descriptor of ours, groups, then
  // group ID, then user ID switched before it starts in the account's home.
  // NULL: as we are, with our environment and working folder.
  const UninstallerUserAccount* userAccount;
  // Watched while the user-level script runs; NULL for never. Once it is
  // set, the script's session gets SIGTERM, then SIGKILL two seconds later
  // if its output is still open; its output is no longer read, the log says
  // the part was skipped by the administrator, and the status is ECANCELED.
  const std::atomic<bool>* skipUserPart;
  // Filled, when not NULL, with where the run stopped (always written).
  struct UninstallerEngineFailure* failure;
};

// UninstallerEngine with |options| (NULL: the defaults, all clear). Same
// contract otherwise.
OSStatus UninstallerEngineWithOptions(CFStringRef* log, Boolean removeMidiDevices,
                                      const UninstallerEngineOptions* options);

// The thread routine that keeps the authorization dialog in front; ignores
// its argument and returns NULL.
void* UninstallerTask(void* unused);
