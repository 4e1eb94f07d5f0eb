#include "ProgramRunner.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cassert>

namespace {

// The child's resource limits: those of a fresh login on Debian, whatever
// the caller inherited. A caller can lower its own limits before starting a
// set-user-ID tool; a removal that a lowered limit cuts off half-way (a CPU
// or file-size limit killing a rewrite) must not be the result.
struct ResourceLimit {
  int resource;
  rlim_t soft;
  rlim_t hard;
};
const ResourceLimit kChildResourceLimits[] = {
    {RLIMIT_CPU, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_FSIZE, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_DATA, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_STACK, 8 * 1024 * 1024, RLIM_INFINITY},
    {RLIMIT_CORE, 0, RLIM_INFINITY},  // a root process's memory never lands in a core file
    {RLIMIT_AS, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_NPROC, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_NOFILE, 1024, 4096},
};

// What a run as root needs at least, whatever limits the caller set before
// starting a set-user-ID tool, checked before the first program runs. Less
// would end a program half-way: SIGXFSZ in the middle of a rewrite, SIGXCPU
// in the middle of a removal, a walk or a script out of descriptors or
// processes.
struct RequiredLimit {
  int resource;
  const char* name;  // for the log
  rlim_t least;      // the soft limit's minimum; RLIM_INFINITY: unlimited
};
const RequiredLimit kRequiredLimits[] = {
    {RLIMIT_FSIZE, "RLIMIT_FSIZE", RLIM_INFINITY},
    {RLIMIT_CPU, "RLIMIT_CPU", RLIM_INFINITY},
    {RLIMIT_NOFILE, "RLIMIT_NOFILE", 1024},
    {RLIMIT_NPROC, "RLIMIT_NPROC", 256},
};

std::string LimitText(rlim_t value) { return value == RLIM_INFINITY ? "unlimited" : std::to_string(value); }

// Output beyond the caller's limit is read and dropped up to this much more;
// then the pipe is closed.
const size_t kMaxDroppedOutput = 64 * 1024 * 1024;

// Where the child puts its descriptors. Everything it keeps is first moved
// to kFirstFreeFd or above, so that placing them cannot overwrite one another.
const int kScriptFd = 3;
const int kReportFd = 4;
static_assert(kRunProgramFolderFd == 5, "the folder follows the report pipe");
const int kFirstFreeFd = 6;

// What a child that could not start the program reports on its report pipe.
struct ChildFailure {
  int err;
};

int CloseFrom(int first) {
  if (close_range(static_cast<unsigned>(first), ~0U, 0) == 0) return 0;
  if (errno != ENOSYS && errno != EINVAL) return errno;
  // Older kernels: every descriptor number the process may have used. The
  // hard limit bounds them (a lowered soft limit does not close anything).
  struct rlimit limit;
  rlim_t top = 65536;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max != RLIM_INFINITY && limit.rlim_max < top) {
    top = limit.rlim_max;
  }
  for (rlim_t fd = static_cast<rlim_t>(first); fd < top; fd++) (void) close(static_cast<int>(fd));
  return 0;
}

[[noreturn]] void FailChild(int reportFd, int err) {
  ChildFailure failure = {err};
  ssize_t ignored;
  do {
    ignored = write(reportFd, &failure, sizeof failure);
  } while (ignored < 0 && errno == EINTR);
  _exit(127);
}

int TakeRoot() {
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

// Best effort: raising a hard limit needs CAP_SYS_RESOURCE, which even root
// may lack (in a container, say); then the soft limit goes as far as the hard
// one allows. A limit that stays low costs at most a failed removal step,
// which the log reports; the rewrites it could cut short are atomic.
void ApplyLimits() {
  for (const ResourceLimit& entry : kChildResourceLimits) {
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

// Runs in the child between fork and exec. Only async-signal-safe calls.
[[noreturn]] void ChildMain(int programFd, int folderFd, bool isScript, int outWrite, int reportWrite,
                            const char* const argv[], const char* const envp[], bool asRoot) {
  int report = reportWrite;
  struct sigaction byDefault;
  memset(&byDefault, 0, sizeof byDefault);
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int sig = 1; sig < NSIG; sig++) {
    if (sig == SIGKILL || sig == SIGSTOP) continue;
    (void) sigaction(sig, &byDefault, nullptr);  // the C library's own signals refuse; that is fine
  }
  if (setsid() < 0) FailChild(report, errno);
  if (asRoot) {
    int err = TakeRoot();
    if (err != 0) FailChild(report, err);
  }
  ApplyLimits();
  (void) umask(022);
  if (chdir("/") != 0) FailChild(report, errno);

  int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) FailChild(report, errno);
  int programHigh = fcntl(programFd, F_DUPFD_CLOEXEC, kFirstFreeFd);
  int outHigh = fcntl(outWrite, F_DUPFD_CLOEXEC, kFirstFreeFd);
  int reportHigh = fcntl(reportWrite, F_DUPFD_CLOEXEC, kFirstFreeFd);
  int nullHigh = fcntl(devNull, F_DUPFD_CLOEXEC, kFirstFreeFd);
  int folderHigh = folderFd < 0 ? -1 : fcntl(folderFd, F_DUPFD_CLOEXEC, kFirstFreeFd);
  if (programHigh < 0 || outHigh < 0 || reportHigh < 0 || nullHigh < 0 || (folderFd >= 0 && folderHigh < 0)) {
    FailChild(report, errno);
  }
  report = reportHigh;
  if (dup2(nullHigh, STDIN_FILENO) < 0 || dup2(outHigh, STDOUT_FILENO) < 0 || dup2(outHigh, STDERR_FILENO) < 0 ||
      dup2(programHigh, kScriptFd) < 0 || dup2(reportHigh, kReportFd) < 0 ||
      (folderHigh >= 0 && dup2(folderHigh, kRunProgramFolderFd) < 0)) {
    FailChild(report, errno);
  }
  report = kReportFd;
  // dup2 cleared close-on-exec on the new numbers. The report pipe must close
  // at the exec (that is how the parent learns it happened); the program's
  // descriptor too, unless the interpreter of a script has to open it.
  if (fcntl(kReportFd, F_SETFD, FD_CLOEXEC) != 0) FailChild(report, errno);
  if (!isScript && fcntl(kScriptFd, F_SETFD, FD_CLOEXEC) != 0) FailChild(report, errno);
  int err = CloseFrom(folderHigh >= 0 ? kFirstFreeFd : kRunProgramFolderFd);
  if (err != 0) FailChild(report, err);

  sigset_t none;
  sigemptyset(&none);
  if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0) FailChild(report, errno);
  fexecve(kScriptFd, const_cast<char* const*>(argv), const_cast<char* const*>(envp));
  FailChild(report, errno);
}

// Reads the child's output to its end, keeping its first and its last
// bytes: the end of a long log says how the program finished.
void CollectOutput(int fd, size_t limit, std::string* output, size_t* dropped) {
  const size_t tailLimit = limit / 2;
  const size_t headLimit = limit - tailLimit;
  std::string tail;
  size_t passed = 0;  // bytes that went into the tail, kept or not
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    size_t count = static_cast<size_t>(got);
    size_t toHead = output->size() < headLimit ? headLimit - output->size() : 0;
    if (toHead > count) toHead = count;
    output->append(buffer, toHead);
    tail.append(buffer + toHead, count - toHead);
    passed += count - toHead;
    if (tail.size() >= 2 * tailLimit + sizeof buffer) tail.erase(0, tail.size() - tailLimit);
    if (passed > tailLimit + kMaxDroppedOutput) break;
  }
  if (tail.size() > tailLimit) tail.erase(0, tail.size() - tailLimit);
  *dropped = passed - tail.size();
  output->append(tail);
}

bool StartsAsScript(int programFd) {
  char magic[2];
  ssize_t got;
  do {
    got = pread(programFd, magic, sizeof magic, 0);
  } while (got < 0 && errno == EINTR);
  return got == 2 && magic[0] == '#' && magic[1] == '!';
}

}  // namespace

int RaiseLimitsForRunning(std::string* refusal) {
  assert(refusal != nullptr);
  refusal->clear();
  // Raising a hard limit takes CAP_SYS_RESOURCE, which a set-user-ID tool
  // only has while it acts as root.
  const uid_t actingAs = geteuid();
  const bool tookRoot = actingAs != 0 && seteuid(0) == 0;
  int err = 0;
  for (const RequiredLimit& entry : kRequiredLimits) {
    struct rlimit limit;
    if (getrlimit(entry.resource, &limit) != 0) {
      err = errno;
      *refusal = std::string(entry.name) + " cannot be read: " + strerror(err);
      break;
    }
    if (limit.rlim_cur >= entry.least) continue;
    struct rlimit raised = limit;
    raised.rlim_cur = entry.least;
    if (raised.rlim_max < entry.least) raised.rlim_max = entry.least;
    if (setrlimit(entry.resource, &raised) != 0) {
      err = errno;
      *refusal = std::string(entry.name) + " is " + LimitText(limit.rlim_cur) + " and cannot be raised to " +
                 LimitText(entry.least) + ": " + strerror(err);
      break;
    }
  }
  if (tookRoot) {
    int junk = seteuid(actingAs);
    assert(junk == 0);
  }
  return err;
}

int OpenProgramForRunning(const char* path, uid_t user, int* programFd, int* outerFolderFd,
                          MoreSecPathRefusal* refusal) {
  assert(path != nullptr);
  assert(programFd != nullptr && *programFd == -1);
  assert(outerFolderFd == nullptr || *outerFolderFd == -1);
  assert(refusal != nullptr);
  refusal->where = path;
  refusal->why = "";
  const char* slash = strrchr(path, '/');
  if (slash == nullptr) {
    refusal->why = "is not an absolute path";
    return EINVAL;
  }
  const char* name = slash + 1;
  if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
    refusal->why = "has an empty, \".\" or \"..\" component";
    return EINVAL;
  }
  std::string folder(path, slash == path ? 1 : static_cast<size_t>(slash - path));

  int folderFd = -1;
  int err = MoreSecOpenTrustedFolder(folder.c_str(), user, &folderFd, outerFolderFd, refusal);
  if (err != 0) return err;
  refusal->where = path;
  int fd;
  do {
    // O_NONBLOCK: a FIFO under the name must not hang us before fstat says what it is.
    fd = openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    err = errno;
    if (err == ELOOP) refusal->why = "is a symbolic link";
  } else {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      err = errno;
    } else if (!S_ISREG(st.st_mode) || (st.st_mode & 0111) == 0) {
      refusal->why = "is not an executable regular file";
      err = EACCES;
    } else if (!MoreSecIsTrustedItem(st, user, &refusal->why)) {
      // Root runs what is in the file when it runs: whoever may change the
      // file, or owns it, decides what root does.
      err = EPERM;
    }
  }
  int junk = close(folderFd);
  assert(junk == 0);
  if (err != 0) {
    if (fd >= 0) (void) close(fd);
    if (outerFolderFd != nullptr) {
      (void) close(*outerFolderFd);
      *outerFolderFd = -1;
    }
    return err;
  }
  refusal->where.clear();
  *programFd = fd;
  return 0;
}

int RunProgram(int programFd, int folderFd, const char* const argv[], const char* const envp[], bool asRoot,
               size_t outputLimit, std::string* output, size_t* droppedBytes, int* waitStatus) {
  assert(programFd >= 0);
  assert(argv != nullptr && argv[0] != nullptr);
  assert(envp != nullptr);
  assert(output != nullptr && droppedBytes != nullptr && waitStatus != nullptr);
  output->clear();
  *droppedBytes = 0;
  *waitStatus = 0;

  int outPipe[2] = {-1, -1};
  int reportPipe[2] = {-1, -1};
  if (pipe2(outPipe, O_CLOEXEC) != 0) return errno;
  if (pipe2(reportPipe, O_CLOEXEC) != 0) {
    int err = errno;
    (void) close(outPipe[0]);
    (void) close(outPipe[1]);
    return err;
  }
  bool isScript = StartsAsScript(programFd);

  // An ignored SIGCHLD (or SA_NOCLDWAIT) inherited from whoever started us
  // would have the kernel reap the child, and its status would be lost.
  struct sigaction oldChild;
  bool restoreChild = false;
  if (sigaction(SIGCHLD, nullptr, &oldChild) == 0 &&
      (oldChild.sa_handler == SIG_IGN || (oldChild.sa_flags & SA_NOCLDWAIT) != 0)) {
    struct sigaction byDefault;
    memset(&byDefault, 0, sizeof byDefault);
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    restoreChild = sigaction(SIGCHLD, &byDefault, nullptr) == 0;
  }
  // No handler of ours may run in the child before it has reset them all.
  sigset_t all, old;
  sigfillset(&all);
  (void) sigprocmask(SIG_SETMASK, &all, &old);
  // Linux charges a fork against RLIMIT_NPROC of the real user, counting
  // every process and thread that user has, unless the forking process acts
  // as root: a caller that acts as a busy user while keeping root as its
  // saved user ID forks as root for a child that becomes root anyway.
  const uid_t actingAs = geteuid();
  const bool forkAsRoot = asRoot && actingAs != 0 && seteuid(0) == 0;
  pid_t pid = fork();
  if (pid == 0) ChildMain(programFd, folderFd, isScript, outPipe[1], reportPipe[1], argv, envp, asRoot);
  int forkErr = errno;
  if (forkAsRoot) {
    int junk = seteuid(actingAs);
    assert(junk == 0);
  }
  (void) sigprocmask(SIG_SETMASK, &old, nullptr);
  (void) close(outPipe[1]);
  (void) close(reportPipe[1]);

  int err = 0;
  if (pid < 0) {
    err = forkErr;
  } else {
    // The report pipe ends at the exec, or carries the reason there was none.
    ChildFailure failure = {0};
    size_t have = 0;
    while (have < sizeof failure) {
      ssize_t got = read(reportPipe[0], reinterpret_cast<char*>(&failure) + have, sizeof failure - have);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      have += static_cast<size_t>(got);
    }
    if (have == sizeof failure) err = failure.err != 0 ? failure.err : EIO;

    CollectOutput(outPipe[0], outputLimit, output, droppedBytes);
    // Closing our end now makes an endless writer fail instead of blocking.
    (void) close(outPipe[0]);
    outPipe[0] = -1;

    int status = 0;
    pid_t waited;
    do {
      waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0 && err == 0) err = errno;
    if (err == 0) *waitStatus = status;
  }
  if (outPipe[0] >= 0) (void) close(outPipe[0]);
  (void) close(reportPipe[0]);
  if (restoreChild) (void) sigaction(SIGCHLD, &oldChild, nullptr);
  return err;
}
