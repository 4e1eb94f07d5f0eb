#include "UninstallerPolicy.h"

#include "MoreUNIX.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kPkcheck[] = "/usr/bin/pkcheck";
constexpr int kPkcheckSeconds = 30;

// This process's start time in clock ticks (field 22 of /proc/self/stat),
// which with the process ID names it to polkit beyond any reuse of the ID.
bool OwnStartTime(unsigned long long* start) {
  const int fd = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1024];
  ssize_t got;
  do {
    got = read(fd, buffer, sizeof buffer - 1);
  } while (got < 0 && errno == EINTR);
  (void) close(fd);
  if (got <= 0) return false;
  buffer[got] = '\0';
  // The command name may hold spaces and parentheses: count from the last ')'.
  const char* field = std::strrchr(buffer, ')');
  if (field == nullptr) return false;
  field++;
  for (int n = 3; n < 22; n++) {
    field = std::strchr(field + 1, ' ');
    if (field == nullptr) return false;
  }
  char* end = nullptr;
  errno = 0;
  *start = std::strtoull(field + 1, &end, 10);
  return errno == 0 && end != field + 1;
}

}  // namespace

UninstallerPolicyVerdict UninstallerAskPolicy(const char* actionId) {
  unsigned long long start = 0;
  if (actionId == nullptr || !OwnStartTime(&start)) return UninstallerPolicyVerdict::kUnknown;
  char subject[96];
  const int n = std::snprintf(subject, sizeof subject, "%ld,%llu,%lu", static_cast<long>(getpid()), start,
                              static_cast<unsigned long>(getuid()));
  if (n < 0 || static_cast<size_t>(n) >= sizeof subject) return UninstallerPolicyVerdict::kUnknown;
  std::string action = actionId;
  char* argv[] = {const_cast<char*>("pkcheck"), const_cast<char*>("--action-id"), action.data(),
                  const_cast<char*>("--process"), subject, nullptr};
  char* envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), const_cast<char*>("LC_ALL=C"), nullptr};
  const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0) return UninstallerPolicyVerdict::kUnknown;
  const MoreUNIXSpawnDescriptor descriptors[] = {{devNull, 0}, {devNull, 1}, {devNull, 2}};
  const int defaults[] = {SIGPIPE};
  const MoreUNIXSpawnOptions options = {descriptors, 3, defaults, 1, nullptr};
  pid_t pid = -1;
  const int err = MoreUNIXSpawn(kPkcheck, argv, envp, &options, &pid);
  (void) close(devNull);
  if (err != 0) return UninstallerPolicyVerdict::kUnknown;

  // polkitd answers at once when it may not ask; a stuck one is no answer.
  int status = 0;
  pid_t done = 0;
  for (int waited = 0; waited < kPkcheckSeconds * 20; waited++) {
    done = waitpid(pid, &status, WNOHANG);
    if (done != 0 && !(done < 0 && errno == EINTR)) break;
    const timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  if (done == 0) {
    (void) kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return UninstallerPolicyVerdict::kUnknown;
  }
  if (done != pid || !WIFEXITED(status)) return UninstallerPolicyVerdict::kUnknown;
  // pkcheck(1): 0 authorized, 1 not authorized, 2 only with authentication.
  switch (WEXITSTATUS(status)) {
    case 0:
      return UninstallerPolicyVerdict::kAuthorized;
    case 1:
      return UninstallerPolicyVerdict::kNotAuthorized;
    case 2:
      return UninstallerPolicyVerdict::kChallenge;
    default:
      return UninstallerPolicyVerdict::kUnknown;
  }
}
