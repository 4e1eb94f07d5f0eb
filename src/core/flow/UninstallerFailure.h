// What a failed run means to the person who started it: what failed, where,
// what state things are in, and what to do now, as strings-table keys that
// each front end looks up. The status number is never part of it: it goes
// to the details and the log.
#pragma once

#include <MacTypes.h>
#include <UninstallerEngine.h>

#include <string>

struct UninstallerExplanation {
  const char* titleKey = nullptr;  // what failed: the headline
  // Why, or null for the status's own sentence (UninstallerStatusTextKey,
  // or strerror for an errno value).
  const char* causeKey = nullptr;
  std::string folder;       // the folder concerned, or ""
  std::string fileSystem;   // a full disk's mount point (the one that holds |folder|), or ""
  long long freeBytes = -1; // the space left on it for us, -1 when unknown
  const char* stateKey = nullptr;   // what was and was not removed; null when not known
  const char* adviceKey = nullptr;  // what to do; null when the cause says it
};

// The explanation of a run that ended with |status| (an outcome of kFailed)
// after stopping where |failure| says.
UninstallerExplanation UninstallerExplain(OSStatus status, const UninstallerEngineFailure& failure);

// The mount point of the file system that holds |path| (or, for a path that
// does not exist, its nearest existing folder); "" when none can be found.
std::string UninstallerMountPointOf(const std::string& path);
