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

void* WatchForRoot(void* argument) {
  UninstallerRootWatch* watch = static_cast<UninstallerRootWatch*>(argument);
  for (;;) {
    if (OwnedByRoot(watch->path)) {
      watch->callback(watch->context);
      return nullptr;
    }
    struct pollfd fds[2] = {{watch->inotifyFd, POLLIN, 0}, {watch->stopPipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || fds[1].revents != 0) return nullptr;
    char events[4096];
    ssize_t n = read(watch->inotifyFd, events, sizeof events);
    if (n < 0 && errno != EINTR && errno != EAGAIN) return nullptr;
  }
}

void CloseIfOpen(int* fd) {
  if (*fd >= 0) (void) close(*fd);
  *fd = -1;
}

}  // namespace

void UninstallerRootWatchStart(UninstallerRootWatch* watch, const std::string& path, void (*callback)(void*),
                               void* context) {
  if (callback == nullptr || watch->running) return;
  watch->path = path;
  watch->callback = callback;
  watch->context = context;
  watch->inotifyFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch->inotifyFd < 0 || inotify_add_watch(watch->inotifyFd, path.c_str(), IN_ATTRIB) < 0 ||
      pipe2(watch->stopPipe, O_CLOEXEC) != 0 || pthread_create(&watch->thread, nullptr, WatchForRoot, watch) != 0) {
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
