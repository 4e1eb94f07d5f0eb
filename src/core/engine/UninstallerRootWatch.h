// Tells when the privileged helper tool runs as root. A freshly installed
// tool is the user's; the instance that pkexec starts as root first makes
// the file root's own (its self-repair), so the moment the file's owner
// turns to root is the moment the password was accepted. The watch looks at
// the file's attributes (inotify), so it costs nothing while it waits.
#pragma once

#include <pthread.h>

#include <string>

struct UninstallerRootWatch {
  int inotifyFd = -1;
  int stopPipe[2] = {-1, -1};
  pthread_t thread{};
  bool running = false;
  std::string path;
  void (*callback)(void* context) = nullptr;
  void* context = nullptr;
};

// Starts watching the file at |path| on a thread of its own; |callback| runs
// once on that thread when the file is owned by root (at once when it
// already is). Does nothing when |callback| is NULL or the watch cannot be
// set up: the report is a courtesy and never affects the uninstall.
void UninstallerRootWatchStart(UninstallerRootWatch* watch, const std::string& path, void (*callback)(void*),
                               void* context);

// Stops the watch and waits for its thread; safe on a watch never started.
void UninstallerRootWatchStop(UninstallerRootWatch* watch);
