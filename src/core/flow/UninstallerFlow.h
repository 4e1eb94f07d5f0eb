// One uninstall as every front end leads it: find out what is installed,
// ask the warnings that apply in their order, run the engine on a worker
// thread, tell what its status means, and record the run in the log file.
// Nothing here shows anything: the window turns each step into a sheet, the
// terminal into a prompt.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>
#include <UninstallerEngine.h>
#include <UninstallerSession.h>

#include "UninstallerOutcome.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

// ---- Before the engine -----------------------------------------------------------

// What an uninstall will do, from the parts found installed
// (UninstallerInstalledParts).
struct UninstallerPlan {
  bool nothingInstalled = false;  // nothing to do: say so, ask nothing
  bool systemPart = false;        // the system's part is there: a password, and a restart after
  bool userPartOnly = false;      // only the user's part is left: no password, no restart
};
UninstallerPlan UninstallerPlanFor(unsigned installedParts);

// One warning: the strings-table keys of its title and its message. Each is
// asked with Proceed and Cancel; a Cancel ends the uninstall before the
// engine runs.
struct UninstallerWarning {
  const char* titleKey;
  const char* messageKey;
};

// The warnings to ask, in order: the restart warning when the system's part
// goes (the user-part warning instead when it does not), then the shared
// settings warning when the MIDI devices go too.
std::vector<UninstallerWarning> UninstallerWarningsFor(const UninstallerPlan& plan, bool removeMidiDevices);

// ---- The engine ------------------------------------------------------------------

// The engine's signature (see UninstallerEngine.h); front ends and tests
// may pass a substitute.
using UninstallerEngineFunction =
    std::function<OSStatus(CFStringRef* log, Boolean removeMidiDevices, const UninstallerEngineOptions& options)>;

// The real engine: UninstallerEngineWithOptions.
OSStatus UninstallerRunEngine(CFStringRef* log, Boolean removeMidiDevices, const UninstallerEngineOptions& options);

// What one engine run left.
struct UninstallerRunResult {
  OSStatus status = noErr;
  std::string log;  // UTF-8; may hold NUL bytes
  // What the engine, the security client and the helper tool wrote to
  // standard error during the run (see UninstallerDiagnostics.h): for the
  // details and the log file, never for the headline.
  std::string diagnostics;
  // Where a failed run stopped (the engine fills it; see UninstallerEngine.h).
  UninstallerEngineFailure failure = {kUninstallerStepNone, {}};
  UninstallerOutcome outcome = UninstallerOutcome::kRemoved;
};

// A CFString as UTF-8, whole (NUL characters included); null gives "".
std::string UninstallerTextOf(CFStringRef string);

// Runs an engine call on a thread of its own. Termination signals (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT) are blocked on that thread, so that they reach
// the front end's thread and the engine's clean-up always runs.
class UninstallerWorker {
 public:
  using Done = std::function<void(const UninstallerRunResult& result)>;

  // Starts |engine|; |done| is called on the worker thread as its last act.
  // Returns false, calling nothing, when no thread can be started.
  bool Start(UninstallerEngineFunction engine, Boolean removeMidiDevices, const UninstallerEngineOptions& options,
             Done done);
  // Waits for the thread to end. Safe to call more than once.
  void Join();
  ~UninstallerWorker() { Join(); }

 private:
  std::thread fThread;
};

// ---- After the engine ------------------------------------------------------------

// Appends |result| to the log file at |path| as one run, stamped with the
// time now, its diagnostics after its log. Returns 0 or an errno; an empty path writes nothing (ENOENT).
int UninstallerRecordRun(const std::string& path, const UninstallerRunResult& result);
