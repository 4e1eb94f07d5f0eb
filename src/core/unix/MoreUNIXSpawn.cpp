// Starting a child program. With nothing to change but descriptors and
// signals, posix_spawn does it; otherwise (another user, root, a session,
// limits, a program open on a descriptor) a fork whose child makes system
// calls only until the exec (the caller may have threads), and reports a
// failure before the exec through a close-on-exec pipe.

#include "MoreUNIX.h"

#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MoreUNIXPrivate.h"

using moreunix_internal::RetryOnEINTR;

namespace {

int SpawnAsIs(const char* path, char* const argv[], char* const envp[], const MoreUNIXSpawnOptions* options,
              pid_t* child) {
  posix_spawn_file_actions_t actions;
  int err = posix_spawn_file_actions_init(&actions);
  if (err != 0) return err;
  posix_spawnattr_t attributes;
  err = posix_spawnattr_init(&attributes);
  if (err != 0) {
    (void) posix_spawn_file_actions_destroy(&actions);
    return err;
  }
  for (size_t i = 0; err == 0 && i < options->descriptorCount; i++) {
    err = posix_spawn_file_actions_adddup2(&actions, options->descriptors[i].from, options->descriptors[i].to);
  }
  if (err == 0) err = MoreUNIXSetSpawnSignalDefaults(&attributes, options->defaultSignals, options->defaultSignalCount);
  if (err == 0) err = posix_spawn(child, path, &actions, &attributes, argv, envp);
  (void) posix_spawnattr_destroy(&attributes);
  (void) posix_spawn_file_actions_destroy(&actions);
  return err;
}

// The most descriptors a forked child is handed: each needs a slot on the
// child's stack, where nothing may be allocated.
constexpr size_t kMaxSpawnDescriptors = 16;

// Closes every descriptor from 3 on but the |count| in |keep|, which it
// sorts. System calls only.
void CloseAllBut(int* keep, size_t count) {
  for (size_t i = 1; i < count; i++) {
    const int value = keep[i];
    size_t j = i;
    for (; j > 0 && keep[j - 1] > value; j--) keep[j] = keep[j - 1];
    keep[j] = value;
  }
  unsigned next = 3;
  bool closed = true;
  for (size_t i = 0; closed && i < count; i++) {
    if (keep[i] < 0 || static_cast<unsigned>(keep[i]) < next) continue;  // below 3, or named twice
    const unsigned kept = static_cast<unsigned>(keep[i]);
    if (kept > next) closed = close_range(next, kept - 1, 0) == 0;
    next = kept + 1;
  }
  if (closed && close_range(next, ~0U, 0) == 0) return;
  // Older kernels: every number the process may have used. The hard limit
  // bounds them (a lowered soft limit does not close anything).
  rlim_t top = 65536;
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max != RLIM_INFINITY && limit.rlim_max < top) {
    top = limit.rlim_max;
  }
  for (rlim_t fd = 3; fd < top; fd++) {
    bool kept = false;
    for (size_t i = 0; !kept && i < count; i++) kept = static_cast<rlim_t>(keep[i]) == fd;
    if (!kept) (void) close(static_cast<int>(fd));
  }
}

[[noreturn]] void FailChild(int report, int err) {
  ssize_t written;
  do {
    written = write(report, &err, sizeof err);
  } while (written < 0 && errno == EINTR);
  _exit(127);
}

// Groups first, then the group ID, then the user ID: each step needs the
// root that the next one gives up.
int BecomeUser(const MoreUNIXSpawnUser* user) {
  if (setgroups(user->groupCount, user->groups) != 0) return errno;
  if (setresgid(user->gid, user->gid, user->gid) != 0) return errno;
  if (setresuid(user->uid, user->uid, user->uid) != 0) return errno;
  uid_t realUID, effectiveUID, savedUID;
  if (getresuid(&realUID, &effectiveUID, &savedUID) != 0) return errno;
  if (realUID != user->uid || effectiveUID != user->uid || savedUID != user->uid) return EPERM;
  return 0;
}

int BecomeRoot() {
  // The effective user ID first: without it the kernel refuses the group calls.
  if (setresuid(static_cast<uid_t>(-1), 0, static_cast<uid_t>(-1)) != 0) return errno;
  if (setgroups(0, nullptr) != 0) return errno;
  if (setresgid(0, 0, 0) != 0) return errno;
  if (setresuid(0, 0, 0) != 0) return errno;
  uid_t ruid, euid, suid;
  gid_t rgid, egid, sgid;
  if (getresuid(&ruid, &euid, &suid) != 0 || getresgid(&rgid, &egid, &sgid) != 0) return errno;
  if ((ruid | euid | suid | rgid | egid | sgid) != 0) return EPERM;
  return 0;
}

int BecomeRealUser() {
  const uid_t real = getuid();
  if (setresuid(real, real, real) != 0) return errno;
  return 0;
}

void ApplyLimits(const MoreUNIXSpawnLimit* limits, size_t count) {
  for (size_t i = 0; i < count; i++) {
    const MoreUNIXSpawnLimit entry = limits[i];
    struct rlimit limit = {entry.soft, entry.hard};
    if (setrlimit(entry.resource, &limit) == 0) continue;
    if (getrlimit(entry.resource, &limit) != 0) continue;
    limit.rlim_cur = entry.soft;
    if (limit.rlim_max != RLIM_INFINITY && (entry.soft == RLIM_INFINITY || entry.soft > limit.rlim_max)) {
      limit.rlim_cur = limit.rlim_max;
    }
    (void) setrlimit(entry.resource, &limit);
  }
}

struct ForkedChild {
  const char* path;  // NULL: the program is open on |programFd|
  int programFd;
  char* const* argv;
  char* const* envp;
  const MoreUNIXSpawnOptions* options;
  const MoreUNIXSpawnSetup* setup;
  int report;  // close-on-exec: end of stream once the exec worked
};

// Runs between fork and exec: system calls only, nothing that allocates or
// locks (the caller may have threads), every signal blocked until the end.
[[noreturn]] void RunForkedChild(const ForkedChild& c) {
  const MoreUNIXSpawnOptions* options = c.options;
  const MoreUNIXSpawnSetup* setup = c.setup;
  const MoreUNIXSpawnUser* user = options->user;
  int report = c.report;

  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  if (user != nullptr || setup->defaultAllSignals) {
    for (int sig = 1; sig < NSIG; sig++) {
      // The C library's own signals refuse; that is fine.
      if (sig != SIGKILL && sig != SIGSTOP) (void) sigaction(sig, &byDefault, nullptr);
    }
  } else {
    for (size_t i = 0; i < options->defaultSignalCount; i++) {
      (void) sigaction(options->defaultSignals[i], &byDefault, nullptr);
    }
  }
  // Out of our terminal's session: the user's processes must not reach the
  // terminal of whoever ran us as root (TIOCSTI and the like).
  if ((user != nullptr || setup->newSession) && setsid() < 0) FailChild(report, errno);

  // Everything kept first moves above every target, so that placing one
  // cannot overwrite another that is still to be placed.
  int base = 3;
  for (size_t i = 0; i < options->descriptorCount; i++) {
    if (options->descriptors[i].to >= base) base = options->descriptors[i].to + 1;
  }
  const int movedReport = fcntl(report, F_DUPFD_CLOEXEC, base);
  if (movedReport < 0) FailChild(report, errno);
  (void) close(report);
  report = movedReport;
  int high[kMaxSpawnDescriptors];
  for (size_t i = 0; i < options->descriptorCount; i++) {
    high[i] = fcntl(options->descriptors[i].from, F_DUPFD_CLOEXEC, base);
    if (high[i] < 0) FailChild(report, errno);
  }
  int execFd = -1;
  bool execFdIsOwnCopy = false;
  if (c.path == nullptr) {
    for (size_t i = 0; execFd < 0 && i < options->descriptorCount; i++) {
      if (options->descriptors[i].from == c.programFd) execFd = options->descriptors[i].to;
    }
    if (execFd < 0) {
      execFd = fcntl(c.programFd, F_DUPFD_CLOEXEC, base);
      if (execFd < 0) FailChild(report, errno);
      execFdIsOwnCopy = true;
    }
  }
  // dup2 clears close-on-exec on the new number.
  for (size_t i = 0; i < options->descriptorCount; i++) {
    if (dup2(high[i], options->descriptors[i].to) < 0) FailChild(report, errno);
  }
  for (size_t i = 0; i < options->descriptorCount; i++) (void) close(high[i]);
  if (user != nullptr || setup->closeOthers) {
    // Nothing of ours beyond what was handed over; the report pipe and a
    // copy of the program close at the exec.
    int keep[kMaxSpawnDescriptors + 2];
    size_t count = 0;
    for (size_t i = 0; i < options->descriptorCount; i++) keep[count++] = options->descriptors[i].to;
    keep[count++] = report;
    if (execFdIsOwnCopy) keep[count++] = execFd;
    CloseAllBut(keep, count);
  }

  int err = 0;
  if (user != nullptr) {
    err = BecomeUser(user);
  } else if (setup->credentials == kMoreUNIXSpawnAsRoot) {
    err = BecomeRoot();
  } else if (setup->credentials == kMoreUNIXSpawnAsRealUser) {
    err = BecomeRealUser();
  }
  if (err != 0) FailChild(report, err);
  // After the change of user: raising a hard limit takes root.
  ApplyLimits(setup->limits, setup->limitCount);
  if (setup->umask != nullptr) (void) ::umask(*setup->umask);
  // As the user: a folder that the user cannot enter is not entered as root.
  const char* directory = user != nullptr ? user->directory : setup->directory;
  if (directory != nullptr && chdir(directory) != 0) FailChild(report, errno);

  sigset_t none;
  sigemptyset(&none);
  if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0) FailChild(report, errno);
  if (c.path != nullptr) {
    execve(c.path, c.argv, c.envp);
  } else {
    fexecve(execFd, c.argv, c.envp);
  }
  FailChild(report, errno);
}

int SpawnForked(const ForkedChild& plan, pid_t* child) {
  const MoreUNIXSpawnOptions* options = plan.options;
  const MoreUNIXSpawnUser* user = options->user;
  if (options->descriptorCount > kMaxSpawnDescriptors) return EINVAL;
  if (user != nullptr &&
      (user->directory == NULL || user->directory[0] != '/' || (user->groupCount > 0 && user->groups == NULL))) {
    return EINVAL;
  }
  if (plan.setup->directory != nullptr && plan.setup->directory[0] != '/') return EINVAL;
  if (plan.setup->limitCount > 0 && plan.setup->limits == nullptr) return EINVAL;
  if (plan.path == nullptr && plan.programFd < 0) return EBADF;
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  // No handler of ours may run in the child before it has reset them.
  sigset_t all, old;
  sigfillset(&all);
  (void) pthread_sigmask(SIG_SETMASK, &all, &old);
  const pid_t pid = fork();
  if (pid == 0) {
    (void) close(report[0]);
    ForkedChild inChild = plan;
    inChild.report = report[1];
    RunForkedChild(inChild);
  }
  const int forkErr = pid < 0 ? errno : 0;
  (void) pthread_sigmask(SIG_SETMASK, &old, nullptr);
  (void) close(report[1]);
  int childErr = 0;
  if (pid > 0) {
    // End of stream: the exec worked. An errno: the child failed before it.
    const ssize_t got = RetryOnEINTR([&] { return read(report[0], &childErr, sizeof childErr); });
    if (got != static_cast<ssize_t>(sizeof childErr)) childErr = 0;
    if (childErr != 0) {
      (void) RetryOnEINTR([&] { return waitpid(pid, nullptr, 0); });
    }
  }
  (void) close(report[0]);
  if (forkErr != 0) return forkErr;
  if (childErr != 0) return childErr;
  *child = pid;
  return 0;
}

bool AsksForMore(const MoreUNIXSpawnSetup& setup) {
  return setup.newSession || setup.closeOthers || setup.defaultAllSignals ||
         setup.credentials != kMoreUNIXSpawnAsIs || setup.limitCount > 0 || setup.directory != nullptr ||
         setup.umask != nullptr;
}

}  // namespace

int MoreUNIXSpawnWithSetup(const char* path, int programFd, char* const argv[], char* const envp[],
                           const MoreUNIXSpawnOptions* options, const MoreUNIXSpawnSetup* setup, pid_t* child) {
  assert(argv != NULL && envp != NULL && child != NULL);
  assert(path != NULL || programFd >= 0);
  const MoreUNIXSpawnOptions noOptions = {};
  if (options == NULL) options = &noOptions;
  const MoreUNIXSpawnSetup noSetup = {};
  if (setup == NULL) setup = &noSetup;
  assert(options->descriptorCount == 0 || options->descriptors != NULL);
  assert(options->defaultSignalCount == 0 || options->defaultSignals != NULL);
  pid_t pid = -1;
  int err;
  if (path != NULL && options->user == NULL && !AsksForMore(*setup)) {
    err = SpawnAsIs(path, argv, envp, options, &pid);
  } else {
    const ForkedChild plan = {path, programFd, argv, envp, options, setup, -1};
    err = SpawnForked(plan, &pid);
  }
  if (err == 0) *child = pid;
  return err;
}

int MoreUNIXSpawn(const char* path, char* const argv[], char* const envp[], const MoreUNIXSpawnOptions* options,
                  pid_t* child) {
  assert(path != NULL);
  return MoreUNIXSpawnWithSetup(path, -1, argv, envp, options, NULL, child);
}
