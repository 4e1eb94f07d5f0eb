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

#include "MoreUNIX.h"

namespace {

// The child's resource limits: those of a fresh login on Debian, whatever
// the caller inherited. A caller can lower its own limits before starting a
// set-user-ID tool; a removal that a lowered limit cuts off half-way (a CPU
// or file-size limit killing a rewrite) must not be the result.
const MoreUNIXSpawnLimit kChildResourceLimits[] = {
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

// Where the child finds the program when it is a script (its interpreter
// opens it as /dev/fd/3), and the folder it was found in.
const int kScriptFd = 3;
static_assert(kRunProgramFolderFd == 5, "the folder's place is fixed");

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
  if (pipe2(outPipe, O_CLOEXEC) != 0) return errno;
  const bool isScript = StartsAsScript(programFd);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) {
    int err = errno;
    (void) close(outPipe[0]);
    (void) close(outPipe[1]);
    return err;
  }
  // Standard input from /dev/null, the output pipe on 1 and 2, the program
  // itself where a script's interpreter opens it (otherwise it closes at the
  // exec), the folder it came from, and nothing else.
  MoreUNIXSpawnDescriptor descriptors[5] = {{devNull, STDIN_FILENO}, {outPipe[1], STDOUT_FILENO},
                                            {outPipe[1], STDERR_FILENO}};
  size_t descriptorCount = 3;
  if (isScript) descriptors[descriptorCount++] = {programFd, kScriptFd};
  if (folderFd >= 0) descriptors[descriptorCount++] = {folderFd, kRunProgramFolderFd};
  const MoreUNIXSpawnOptions options = {descriptors, descriptorCount, nullptr, 0, nullptr};
  const mode_t childUmask = 022;
  MoreUNIXSpawnSetup setup = {};
  setup.newSession = true;  // its own process group too, which a kill reaches whole
  setup.closeOthers = true;
  setup.defaultAllSignals = true;
  setup.credentials = asRoot ? kMoreUNIXSpawnAsRoot : kMoreUNIXSpawnAsIs;
  setup.limits = kChildResourceLimits;
  setup.limitCount = sizeof kChildResourceLimits / sizeof kChildResourceLimits[0];
  setup.directory = "/";
  setup.umask = &childUmask;

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
  // Linux charges a fork against RLIMIT_NPROC of the real user, counting
  // every process and thread that user has, unless the forking process acts
  // as root: a caller that acts as a busy user while keeping root as its
  // saved user ID forks as root for a child that becomes root anyway.
  const uid_t actingAs = geteuid();
  const bool forkAsRoot = asRoot && actingAs != 0 && seteuid(0) == 0;
  pid_t pid = -1;
  // The program runs from its descriptor: no name is looked up again. A
  // failure before the exec comes back as its errno, with no child left.
  int err = MoreUNIXSpawnWithSetup(nullptr, programFd, const_cast<char* const*>(argv),
                                   const_cast<char* const*>(envp), &options, &setup, &pid);
  if (forkAsRoot) {
    int junk = seteuid(actingAs);
    assert(junk == 0);
  }
  (void) close(devNull);
  (void) close(outPipe[1]);

  if (err == 0) {
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
  if (restoreChild) (void) sigaction(SIGCHLD, &oldChild, nullptr);
  return err;
}
