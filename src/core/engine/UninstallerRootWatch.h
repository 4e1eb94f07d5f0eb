// Tells when the privileged helper tool runs as root. pkexec execs the
// installed tool only once polkit said yes (before, it only asks access()),
// so the first open of that file is the moment the password was accepted. A
// tool that repairs itself makes its own file root's instead, so the moment
// its owner turns to root tells the same. The watch uses inotify, so it
// costs nothing while it waits.
#pragma once

#include <pthread.h>

#include <string>

struct UninstallerRootWatch {
  int inotifyFd = -1;
  int installedWatch = -1;
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

// The same, and also the first open of the installed tool at
// |installedPath| (empty: none) counts.
void UninstallerRootWatchStartWithInstalled(UninstallerRootWatch* watch, const std::string& path,
                                            const std::string& installedPath, void (*callback)(void*), void* context);

// Stops the watch and waits for its thread; safe on a watch never started.
void UninstallerRootWatchStop(UninstallerRootWatch* watch);
