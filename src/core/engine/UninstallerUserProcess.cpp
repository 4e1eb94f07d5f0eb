// The user-level script of one user, started by a root run as that user.
// The child is forked from a process that may have threads, so between the
// fork and the exec it makes system calls only; everything it needs (the
// group list, the environment) was prepared by the caller.

#include "UninstallerEngine.h"
#include "UninstallerEnginePrivate.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
  (void) write(report, &err, sizeof err);
  _exit(127);
}

void RunChild(const char* path, char* const argv[], const UninstallerUserAccount* account, int outFd, int report) {
  // Out of our terminal's session: the user's processes must not reach the
  // terminal of whoever ran us as root (TIOCSTI and the like).
  if (setsid() < 0) FailChild(report, errno);
  int devNull = open("/dev/null", O_RDONLY);
  if (devNull < 0) FailChild(report, errno);
  if (dup2(devNull, STDIN_FILENO) < 0 || dup2(outFd, STDOUT_FILENO) < 0 || dup2(outFd, STDERR_FILENO) < 0) {
    FailChild(report, errno);
  }
  // Nothing of ours beyond 0 to 2; the report pipe is close-on-exec.
  CloseDescriptorsFrom(STDERR_FILENO + 1, report);

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
  if (setgroups(static_cast<size_t>(account->groupCount), account->groups) != 0) FailChild(report, errno);
  if (setresgid(account->gid, account->gid, account->gid) != 0) FailChild(report, errno);
  if (setresuid(account->uid, account->uid, account->uid) != 0) FailChild(report, errno);
  uid_t realUID, effectiveUID, savedUID;
  if (getresuid(&realUID, &effectiveUID, &savedUID) != 0 || realUID != account->uid ||
      effectiveUID != account->uid || savedUID != account->uid) {
    FailChild(report, EPERM);
  }
  // As the user: a home that the user cannot enter is not entered as root.
  if (chdir(account->home) != 0) FailChild(report, errno);
  execve(path, argv, account->environment);
  FailChild(report, errno);
}

}  // namespace

int UninstallerSpawnAsAccount(const char* path, char* const argv[], const UninstallerUserAccount* account, int outFd,
                              pid_t* child) {
  if (path == nullptr || argv == nullptr || account == nullptr || account->home == nullptr ||
      account->home[0] != '/' || account->environment == nullptr || child == nullptr ||
      (account->groupCount > 0 && account->groups == nullptr) || account->groupCount < 0) {
    return EINVAL;
  }
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  const pid_t pid = fork();
  if (pid == 0) {
    (void) close(report[0]);
    RunChild(path, argv, account, outFd, report[1]);
  }
  const int forkErr = pid < 0 ? errno : 0;
  (void) close(report[1]);
  int childErr = 0;
  if (pid > 0) {
    // End of stream: the exec worked. An errno: the child failed before it.
    ssize_t got;
    do {
      got = read(report[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof childErr)) childErr = 0;
    if (childErr != 0) {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  (void) close(report[0]);
  if (forkErr != 0) return forkErr;
  if (childErr != 0) return childErr;
  *child = pid;
  return 0;
}
