// Starting a child program. Without a change of user, posix_spawn does it;
// with one, a fork whose child makes system calls only until the exec (the
// caller may have threads), and reports a failure before the exec through a
// close-on-exec pipe.

#include "MoreUNIX.h"

#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
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

// Closes every descriptor from |from| on, except |keep|. System calls only.
void CloseDescriptorsFrom(int from, int keep) {
  if (keep >= from &&
      (keep == from || close_range(static_cast<unsigned>(from), static_cast<unsigned>(keep) - 1, 0) == 0) &&
      close_range(static_cast<unsigned>(keep) + 1, ~0U, 0) == 0) {
    return;
  }
  int max = 65536;
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < 65536) {
    max = static_cast<int>(limit.rlim_cur);
  }
  for (int fd = from; fd < max; fd++) {
    if (fd != keep) (void) close(fd);
  }
}

[[noreturn]] void FailChild(int report, int err) {
  (void) !write(report, &err, sizeof err);
  _exit(127);
}

[[noreturn]] void RunChildAsUser(const char* path, char* const argv[], char* const envp[],
                                 const MoreUNIXSpawnOptions* options, int report) {
  const MoreUNIXSpawnUser* user = options->user;
  // Out of our terminal's session: the user's processes must not reach the
  // terminal of whoever ran us as root (TIOCSTI and the like).
  if (setsid() < 0) FailChild(report, errno);
  int highest = -1;
  for (size_t i = 0; i < options->descriptorCount; i++) {
    const MoreUNIXSpawnDescriptor d = options->descriptors[i];
    if (d.from == d.to) {
      if (fcntl(d.to, F_SETFD, 0) < 0) FailChild(report, errno);
    } else if (dup2(d.from, d.to) < 0) {
      FailChild(report, errno);
    }
    if (d.to > highest) highest = d.to;
  }
  // Nothing of ours beyond what was handed over; the report pipe is
  // close-on-exec.
  CloseDescriptorsFrom(highest + 1, report);

  struct sigaction byDefault = {};
  byDefault.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; sig++) {
    if (sig != SIGKILL && sig != SIGSTOP) (void) sigaction(sig, &byDefault, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  (void) sigprocmask(SIG_SETMASK, &none, nullptr);

  // Groups first, then the group ID, then the user ID: each step needs the
  // root that the next one gives up.
  if (setgroups(user->groupCount, user->groups) != 0) FailChild(report, errno);
  if (setresgid(user->gid, user->gid, user->gid) != 0) FailChild(report, errno);
  if (setresuid(user->uid, user->uid, user->uid) != 0) FailChild(report, errno);
  uid_t realUID, effectiveUID, savedUID;
  if (getresuid(&realUID, &effectiveUID, &savedUID) != 0 || realUID != user->uid || effectiveUID != user->uid ||
      savedUID != user->uid) {
    FailChild(report, EPERM);
  }
  // As the user: a folder that the user cannot enter is not entered as root.
  if (chdir(user->directory) != 0) FailChild(report, errno);
  execve(path, argv, envp);
  FailChild(report, errno);
}

int SpawnAsUser(const char* path, char* const argv[], char* const envp[], const MoreUNIXSpawnOptions* options,
                pid_t* child) {
  const MoreUNIXSpawnUser* user = options->user;
  if (user->directory == NULL || user->directory[0] != '/' || (user->groupCount > 0 && user->groups == NULL)) {
    return EINVAL;
  }
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  const pid_t pid = fork();
  if (pid == 0) {
    (void) close(report[0]);
    RunChildAsUser(path, argv, envp, options, report[1]);
  }
  const int forkErr = pid < 0 ? errno : 0;
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

}  // namespace

int MoreUNIXSpawn(const char* path, char* const argv[], char* const envp[], const MoreUNIXSpawnOptions* options,
                  pid_t* child) {
  assert(path != NULL && argv != NULL && envp != NULL && child != NULL);
  const MoreUNIXSpawnOptions none = {};
  if (options == NULL) options = &none;
  assert(options->descriptorCount == 0 || options->descriptors != NULL);
  assert(options->defaultSignalCount == 0 || options->defaultSignals != NULL);
  pid_t pid = -1;
  const int err = options->user != NULL ? SpawnAsUser(path, argv, envp, options, &pid)
                                        : SpawnAsIs(path, argv, envp, options, &pid);
  if (err == 0) *child = pid;
  return err;
}
