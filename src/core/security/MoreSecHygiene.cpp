// Switching user IDs and resetting inherited process state, for the helper
// tool that runs set-user-ID root. Everything the tool inherits (descriptors,
// signal dispositions, limits, timers, working directory) was chosen by the
// user who started it and is treated as hostile.

#include "MoreSecHygiene.h"

#include <assert.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include "MoreSecurityPrivate.h"
#include "MoreUNIX.h"

// The first real-time signal number of the kernel. glibc keeps the first few
// of them (32 and 33) for its threads library and refuses to change their
// actions; SIGRTMIN is the first one left to programs.
#ifndef __SIGRTMIN
#define __SIGRTMIN 32
#endif

const MoreSecResourceLimit kResourceLimits[kResourceLimitCount] = {
    // A caller must not be able to stop the tool halfway through its work by
    // starving it of CPU time or file size.
    {RLIMIT_CPU, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_FSIZE, RLIM_INFINITY, RLIM_INFINITY},
    // Bounds the memory of a root process fed by a hostile peer. Linux counts
    // every private writable mapping against RLIMIT_DATA (heap, anonymous
    // mmap, writable library data), not only the brk heap, and reading a
    // request of the largest size a frame admits (1 MiB) of small elements
    // builds about 25 MiB of parsed nodes and objects; answering it with an
    // echo adds a little more. 6 MiB would make the tool fail such a request,
    // so the bound leaves room for twice the measured peak.
    {RLIMIT_DATA, 64 * 1024 * 1024, RLIM_INFINITY},
    {RLIMIT_STACK, 512 * 1024, 64 * 1024 * 1024},
    // No core files: a crash of a root process must not leave its memory on
    // disk for the user to read.
    {RLIMIT_CORE, 0, RLIM_INFINITY},
    // The address-space limit. (RLIMIT_RSS exists on Linux but has no effect.)
    {RLIMIT_AS, RLIM_INFINITY, RLIM_INFINITY},
    {RLIMIT_MEMLOCK, RLIM_INFINITY, RLIM_INFINITY},
    // Linux counts every task of the real user, threads included, against
    // this. A fork made while acting as a user who already has 100 tasks fails
    // with EAGAIN; one made with an effective user ID of 0, or by a process
    // whose real user ID is 0, is exempt.
    {RLIMIT_NPROC, 100, RLIM_INFINITY},
    // The kernel refuses an unlimited hard limit for descriptors; its largest
    // is fs.nr_open, 1,048,576 unless an administrator changed it. The hard
    // value is clamped to the running kernel's fs.nr_open when applied.
    {RLIMIT_NOFILE, 256, 1024 * 1024},
};

int MoreSecTemporarilySetNonPrivilegedEUID(void) {
  int err = 0;
  if (seteuid(getuid()) != 0) {
    err = errno;
  }
  return err;
}

int MoreSecSetPrivilegedEUID(void) {
  int err = 0;
  if (seteuid(0) != 0) {
    err = errno;
  }
  return err;
}

int MoreSecPermanentlySetNonPrivilegedEUID(void) {
  int err = 0;
  uid_t uid = getuid();
  gid_t gid = getgid();

  // Groups first: once the user IDs are gone there is no privilege left to
  // change them. setresuid rather than setuid: setuid while not acting as root
  // changes only the effective user ID and would leave the saved one 0.
  if (setresgid(gid, gid, gid) != 0) {
    err = errno;
  }
  if (err == 0 && setresuid(uid, uid, uid) != 0) {
    err = errno;
  }
  if (err == 0) {
    uid_t ruid;
    uid_t euid;
    uid_t suid;
    if (getresuid(&ruid, &euid, &suid) != 0) {
      err = errno;
    } else if (ruid != uid || euid != uid || suid != uid) {
      err = EPERM;
    }
  }
  return err;
}

int GetPathToSelf(char** pathToSelfPtr) {
  assert(pathToSelfPtr != NULL);
  assert(*pathToSelfPtr == NULL);

  int err = 0;
  char* path = NULL;
  uint32_t pathSize = 0;

  err = MoreGetExecutablePath(NULL, &pathSize);
  if (pathSize == 0) {
    assert(err != 0);
    err = -1;
  } else {
    err = 0;
    path = static_cast<char*>(malloc(static_cast<size_t>(pathSize) + 1));
    if (path == NULL) {
      err = ENOMEM;
    }
  }
  if (err == 0) {
    err = MoreGetExecutablePath(path, &pathSize);
    if (err != 0) {
      free(path);
      path = NULL;
    }
  }
  if (err == 0) {
    *pathToSelfPtr = path;
  }

  assert((err == 0) == (*pathToSelfPtr != NULL));
  return err;
}

// Closes fd if it is open on a regular file. Anything else, and a descriptor
// that is not open, is left alone. close() is never repeated: on Linux the
// descriptor is released even when close reports an error, EINTR included.
static int CloseIfRegularFile(int fd) {
  int err = 0;
  struct stat sb;
  if (fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode)) {
    if (close(fd) != 0 && errno != EBADF && errno != EINTR) {
      err = errno;
    }
  }
  return err;
}

// Closes, in ascending order, every descriptor in [first, limit) that is open
// on a regular file. Sockets, pipes, terminals, other devices and directories
// stay open. Only the descriptors that are actually open are visited (listed
// in /proc/self/fd), so the cost does not grow with a descriptor limit that
// the caller may have raised to a billion. Without /proc, every number below
// both limit and the descriptor table size is tried.
static int CloseOpenFileDescriptorsInRange(int first, int limit) {
  int err = 0;
  if (first >= limit) {
    return 0;
  }

  bool listed = false;
  DIR* dir = opendir("/proc/self/fd");
  if (dir != NULL) {
    int dirFD = dirfd(dir);
    for (;;) {
      errno = 0;
      struct dirent* entry = readdir(dir);
      if (entry == NULL) {
        listed = (errno == 0);
        break;
      }
      char* end = NULL;
      errno = 0;
      long fd = strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || errno != 0 || fd < 0 || fd > INT_MAX) {
        continue;  // "." and ".."
      }
      if (fd == dirFD || fd < first || fd >= limit) {
        continue;
      }
      err = CloseIfRegularFile(static_cast<int>(fd));
      if (err != 0) {
        listed = true;
        break;
      }
    }
    (void) closedir(dir);
  }

  if (!listed && err == 0) {
    int tableSize = getdtablesize();
    int end = (limit < tableSize) ? limit : tableSize;
    for (int fd = first; fd < end && err == 0; fd++) {
      err = CloseIfRegularFile(fd);
    }
  }
  return err;
}

// Gives every signal its default action. SIGKILL and SIGSTOP cannot be
// changed, nor can the real-time signals that glibc reserves for itself.
static int ResetSignalActions(void) {
  int err = 0;
  for (int sig = 1; sig < NSIG && err == 0; sig++) {
    if (signal(sig, SIG_DFL) == SIG_ERR) {
      int signalErr = errno;
      bool unchangeable = (sig == SIGKILL) || (sig == SIGSTOP) ||
                          (signalErr == EINVAL && sig >= __SIGRTMIN && sig < SIGRTMIN);
      if (!unchangeable) {
        err = signalErr;
      }
    }
  }
  if (err == 0) {
    sigset_t empty;
    (void) sigemptyset(&empty);
    if (sigprocmask(SIG_SETMASK, &empty, NULL) != 0) {
      err = errno;
    }
  }
  return err;
}

// The kernel's largest descriptor limit, fs.nr_open; RLIM_INFINITY when it
// cannot be read. setrlimit refuses a RLIMIT_NOFILE above it.
static rlim_t LargestDescriptorLimit(void) {
  rlim_t largest = RLIM_INFINITY;
  int fd;
  do {
    fd = open("/proc/sys/fs/nr_open", O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    char text[32];
    ssize_t got;
    do {
      got = read(fd, text, sizeof(text) - 1);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
      text[got] = '\0';
      char* end = NULL;
      errno = 0;
      unsigned long long value = strtoull(text, &end, 10);
      if (errno == 0 && end != text && value > 0) {
        largest = static_cast<rlim_t>(value);
      }
    }
    (void) close(fd);
  }
  return largest;
}

// A failure here is deliberately not reported: an unprivileged process whose
// inherited hard limit is below one of the soft limits simply keeps the rest
// of its inherited limits.
static void ApplyResourceLimits(void) {
  for (const MoreSecResourceLimit& entry : kResourceLimits) {
    struct rlimit lim;
    if (getrlimit(entry.resource, &lim) != 0) {
      break;
    }
    lim.rlim_cur = entry.soft;
    if (geteuid() == 0) {
      lim.rlim_max = entry.hard;
      // A kernel whose fs.nr_open is below the table's value would refuse
      // the whole row.
      if (entry.resource == RLIMIT_NOFILE) {
        rlim_t largest = LargestDescriptorLimit();
        if (lim.rlim_max > largest) lim.rlim_max = largest;
        if (lim.rlim_cur > lim.rlim_max) lim.rlim_cur = lim.rlim_max;
      }
    }
    if (setrlimit(entry.resource, &lim) != 0) {
      break;
    }
  }
}

int MoreSecDestroyInheritedEnvironment(int whatToDubya, char* argv[]) {
  assert((argv != NULL) || ((whatToDubya & kMoreSecKeepArg0Mask) != 0));

  int err = 0;

  if (err == 0 && (whatToDubya & kMoreSecKeepArg0Mask) == 0) {
    if (argv[0] == NULL) {
      // An empty argument vector (exec with argc 0): argv[0] is the vector's
      // terminator, and storing a path there would let every reader of argv
      // run on into the environment.
      err = EINVAL;
    } else {
      char* pathToSelf = NULL;
      err = GetPathToSelf(&pathToSelf);
      if (err == 0) {
        argv[0] = pathToSelf;  // never freed: argv[0] lives as long as the process
      }
    }
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepStdDescriptorsMask) == 0) {
    err = CloseOpenFileDescriptorsInRange(0, 3);
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepOtherDescriptorsMask) == 0) {
    // Every descriptor from 3 up, including any the caller left open above a
    // descriptor limit that it lowered after opening them.
    err = CloseOpenFileDescriptorsInRange(3, INT_MAX);
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepSignalStateMask) == 0) {
    err = ResetSignalActions();
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepCreationModeMask) == 0) {
    (void) umask(077);
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepPriorityMask) == 0) {
    // nice() returns the new nice value, and -1 is a legitimate one; only
    // errno tells a failure apart.
    errno = 0;
    if (nice(0) == -1 && errno != 0) {
      err = errno;
    }
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepLimitsMask) == 0) {
    ApplyResourceLimits();
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepWorkingDirMask) == 0) {
    if (chdir("/") != 0) {
      err = errno;
    }
  }

  if (err == 0 && (whatToDubya & kMoreSecKeepTimersMask) == 0) {
    struct itimerval off = {};
    // Only the last result counts; turning off the real and virtual timers
    // cannot fail with valid arguments.
    (void) setitimer(ITIMER_REAL, &off, NULL);
    (void) setitimer(ITIMER_VIRTUAL, &off, NULL);
    if (setitimer(ITIMER_PROF, &off, NULL) != 0) {
      err = errno;
    }
  }

  return err;
}
