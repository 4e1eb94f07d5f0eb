#include "UninstallerRootWatch.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OwnedByRoot(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && info.st_uid == 0;
}

// True when the events hold an open of the installed tool: pkexec execs it
// only once polkit said yes, and looks at it before only with access().
bool InstalledToolOpened(const UninstallerRootWatch* watch, const char* events, ssize_t length) {
  if (watch->installedWatch < 0) return false;
  for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= length;) {
    const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
    if (event->wd == watch->installedWatch && (event->mask & IN_OPEN) != 0) return true;
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
  }
  return false;
}

void* WatchForRoot(void* argument) {
  UninstallerRootWatch* watch = static_cast<UninstallerRootWatch*>(argument);
  bool opened = false;
  for (;;) {
    if (opened || OwnedByRoot(watch->path)) {
      watch->callback(watch->context);
      return nullptr;
    }
    struct pollfd fds[2] = {{watch->inotifyFd, POLLIN, 0}, {watch->stopPipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0) return nullptr;
    alignas(inotify_event) char events[4096];
    ssize_t n = read(watch->inotifyFd, events, sizeof events);
    if (n < 0 && errno != EINTR && errno != EAGAIN) return nullptr;
    opened = n > 0 && InstalledToolOpened(watch, events, n);
  }
}

void CloseIfOpen(int* fd) {
  if (*fd >= 0) (void) close(*fd);
  *fd = -1;
}

}  // namespace

void UninstallerRootWatchStart(UninstallerRootWatch* watch, const std::string& path, void (*callback)(void*),
                               void* context) {
  UninstallerRootWatchStartWithInstalled(watch, path, std::string(), callback, context);
}

void UninstallerRootWatchStartWithInstalled(UninstallerRootWatch* watch, const std::string& path,
                                            const std::string& installedPath, void (*callback)(void*), void* context) {
  if (callback == nullptr || watch->running) return;
  watch->path = path;
  watch->callback = callback;
  watch->context = context;
  watch->inotifyFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  const bool ready = watch->inotifyFd >= 0 && inotify_add_watch(watch->inotifyFd, path.c_str(), IN_ATTRIB) >= 0 &&
                     pipe2(watch->stopPipe, O_CLOEXEC) == 0;
  // Without the installed tool (a bundle run from elsewhere) only the owner tells.
  if (ready && !installedPath.empty()) {
    watch->installedWatch = inotify_add_watch(watch->inotifyFd, installedPath.c_str(), IN_OPEN);
  }
  if (!ready || pthread_create(&watch->thread, nullptr, WatchForRoot, watch) != 0) {
    CloseIfOpen(&watch->inotifyFd);
    CloseIfOpen(&watch->stopPipe[0]);
    CloseIfOpen(&watch->stopPipe[1]);
    return;
  }
  watch->running = true;
}

void UninstallerRootWatchStop(UninstallerRootWatch* watch) {
  if (!watch->running) return;
  const char stop = 0;
  while (write(watch->stopPipe[1], &stop, 1) < 0 && errno == EINTR) {
  }
  (void) pthread_join(watch->thread, nullptr);
  watch->running = false;
  CloseIfOpen(&watch->inotifyFd);
  CloseIfOpen(&watch->stopPipe[0]);
  CloseIfOpen(&watch->stopPipe[1]);
}
