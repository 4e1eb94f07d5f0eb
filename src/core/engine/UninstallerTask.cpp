// The thread that keeps the authorization dialog in front while the engine
// blocks the main thread. It brings the session's polkit authentication agent
// forward once, whether the agent is running already or starts later, and
// never affects the uninstall: it shares nothing with the engine, and nothing
// waits for it.
//
// When no agent runs, the thread keeps watching for one for the rest of the
// process's life, sleeping between polls of /proc. That never holds the
// process open: returning from main (or exit) ends every thread, and the
// thread uses no object that exit destroys.

#include "UninstallerEngine.h"
#include "UninstallerEnginePrivate.h"
#include "UninstallerTaskPrivate.h"

#include <Processes.h>

#include <cerrno>
#include <cstdio>

namespace {

// Lines reported by the diagnostics; they identify the failing step.
enum {
  kLineBundleLocation = 46,
  kLineMakeFront = 86,
  kLineEventParameter = 168,
  kLineInstallHandler = 188,
  kLineScanEnded = 200,
};

// An executable's file name is far shorter; a longer one is no agent's.
constexpr size_t kIdentifierSize = 256;

// Called for each process launched after the thread started, in place of an
// application-launched event; launchErr is the status of noticing the launch.
// Returns whether the agent was found, which ends the wait.
bool HappyProcessEventHandler(OSStatus launchErr, const ProcessSerialNumber* launched) {
  if (launchErr != noErr) {
    UninstallerLogError(launchErr, kLineEventParameter, "HappyProcessEventHandler");
    return false;
  }
  Boolean found = FALSE;
  (void) BringProcessForwardIfItIsSecurityAgent(launched, &found);
  return found;
}

// Stands in for the application event loop: runs until the handler has seen
// the agent.
void RunLaunchLoop(ProcessLaunchWatch* watch) {
  bool quit = false;
  while (!quit) {
    ProcessSerialNumber launched = {0, 0};
    OSStatus err = ProcessLaunchWatchNext(watch, &launched, -1);
    quit = HappyProcessEventHandler(err, &launched);
  }
}

}  // namespace

OSStatus BringProcessForwardIfItIsSecurityAgent(const ProcessSerialNumber* psn, Boolean* found) {
  static const char* const kFunction = "BringProcessForwardIfItIsSecurityAgent";
  *found = FALSE;

  // The file name of the process's program stands for its bundle identifier.
  char identifier[kIdentifierSize];
  OSStatus err = GetProcessIdentifier(psn, identifier, sizeof identifier);
  if (err == procNotFound || err == EACCES || err == EPERM || err == ENAMETOOLONG) {
    // Ended since it was listed, closed to inspection (set-user-ID programs,
    // other users' or a container's processes; the agent is always the user's
    // own and open), or a name no agent has: not the agent, and no reason to
    // stop looking.
    err = noErr;
  } else if (err != noErr) {
    UninstallerLogError(err, kLineBundleLocation, kFunction);
  } else if (ProcessIdentifierIsSecurityAgent(identifier)) {
    *found = TRUE;
    err = SetFrontProcess(psn);
    if (err != noErr) {
      UninstallerLogError(err, kLineMakeFront, kFunction);
    }
  }

  fprintf(stderr, "found SecurityAgent:%d error:%ld (0x%X)\n", *found ? 1 : 0, static_cast<long>(err),
          static_cast<unsigned int>(err));
  return err;
}

void* UninstallerTask(void* unused) {
  static const char* const kFunction = "UninstallerTask";
  fprintf(stderr, "waiting for SecurityAgent to exist\n");

  // The watch knows every process that runs now, so that one launched during
  // the scan below is still reported afterwards.
  ProcessLaunchWatch* watch = NULL;
  OSStatus err = ProcessLaunchWatchCreate(&watch);
  if (err != noErr) {
    UninstallerLogError(err, kLineInstallHandler, kFunction);
    return NULL;
  }

  ProcessSerialNumber psn = {0, 0};
  Boolean found = FALSE;
  do {
    err = GetNextProcess(&psn);
    if (err == noErr) {
      err = BringProcessForwardIfItIsSecurityAgent(&psn, &found);
    }
  } while (err == noErr && !found);

  if (err == procNotFound) {
    // The end of the list without the agent (or the agent ended while its
    // window was awaited): wait for one to start.
    RunLaunchLoop(watch);
  } else if (err != noErr) {
    UninstallerLogError(err, kLineScanEnded, kFunction);
  }
  ProcessLaunchWatchDispose(watch);
  return NULL;
}
