// Authorization Services on polkit.
//
// There is no authorization server: a reference is a token that this process
// makes up (32 random bytes) and hands to the helper tool, which recreates
// an equal token from them. The token grants nothing. Who may act as root is
// decided by polkit every time: pkexec decides when a tool is started as
// root, pkcheck when a running process asks about a right.

#include "Authorization.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace {

constexpr char kPkexecPath[] = "/usr/bin/pkexec";
constexpr char kPkcheckPath[] = "/usr/bin/pkcheck";

// Marks a live reference, so that a stray pointer or a freed reference is
// refused more often than not.
constexpr UInt32 kRefMagic = 0x51414954;  // 'QAIT'

// Bounds on what callers may pass in.
constexpr UInt32 kMaxRights = 64;
constexpr size_t kMaxActionIdLength = 255;
constexpr size_t kMaxToolArguments = 4096;

// pkcheck's exit statuses (pkcheck(1)); anything else is an error.
enum {
  kPkcheckAuthorized = 0,
  kPkcheckNotAuthorized = 1,
  kPkcheckChallenge = 2,  // authentication needed but no agent, or not allowed to ask
  kPkcheckDismissed = 3,
};

// How long a pkcheck may take: a password typed into an agent, or an answer
// from polkitd without one.
constexpr int kPkcheckInteractiveSeconds = 600;
constexpr int kPkcheckQuietSeconds = 60;

// pkexec's own exit statuses.
enum {
  kPkexecDismissed = 126,
  kPkexecNotAuthorized = 127,
};

// Exit status of a child whose exec failed; pkexec never returns it for a
// verdict, and pkcheck's mapping treats it as an error.
constexpr int kChildExecFailed = 125;

constexpr AuthorizationFlags kKnownFlags = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights |
                                           kAuthorizationFlagPartialRights | kAuthorizationFlagDestroyRights |
                                           kAuthorizationFlagPreAuthorize;

}  // namespace

struct AuthorizationOpaqueRef {
  UInt32 magic;
  AuthorizationExternalForm token;
};

namespace {

bool IsValidRef(AuthorizationRef ref) { return ref != NULL && ref->magic == kRefMagic; }

OSStatus FillRandom(void* buffer, size_t length) {
  unsigned char* p = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < length) {
    ssize_t n = getrandom(p + done, length - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errAuthorizationInternal;
    }
    done += static_cast<size_t>(n);
  }
  return errAuthorizationSuccess;
}

OSStatus NewRef(const AuthorizationExternalForm* token, AuthorizationRef* authorization) {
  AuthorizationRef ref = static_cast<AuthorizationRef>(calloc(1, sizeof(*ref)));
  if (ref == NULL) return errAuthorizationInternal;
  OSStatus err = errAuthorizationSuccess;
  if (token != NULL) {
    memcpy(&ref->token, token, sizeof(ref->token));
  } else {
    err = FillRandom(ref->token.bytes, sizeof(ref->token.bytes));
  }
  if (err != errAuthorizationSuccess) {
    free(ref);
    return err;
  }
  ref->magic = kRefMagic;
  *authorization = ref;
  return errAuthorizationSuccess;
}

void DestroyRef(AuthorizationRef ref) {
  explicit_bzero(ref, sizeof(*ref));
  free(ref);
}

// A polkit action id: lower-case letters, digits, '.' and '-', starting with
// a letter or digit. Anything else never reaches pkcheck's command line.
bool IsValidActionId(const char* name) {
  if (name == NULL) return false;
  size_t length = strnlen(name, kMaxActionIdLength + 1);
  if (length == 0 || length > kMaxActionIdLength) return false;
  for (size_t i = 0; i < length; i++) {
    char c = name[i];
    bool alnum = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && (i == 0 || (c != '.' && c != '-'))) return false;
  }
  return true;
}

// Field 22 of /proc/self/stat, the start time that polkit pairs with the
// pid to name a process. The name in field 2 may hold spaces and ')', so
// the fields are counted from the last ')'.
bool ReadOwnStartTime(unsigned long long* startTime) {
  int fd;
  do {
    fd = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  char buffer[4096];
  size_t used = 0;
  for (;;) {
    ssize_t n = read(fd, buffer + used, sizeof(buffer) - 1 - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += static_cast<size_t>(n);
    if (used == sizeof(buffer) - 1) break;
  }
  (void)close(fd);
  buffer[used] = '\0';
  const char* p = strrchr(buffer, ')');
  if (p == NULL) return false;
  p++;
  // After ')' come field 3 (the state) to field 22.
  for (int field = 3; field < 22; field++) {
    while (*p == ' ') p++;
    while (*p != ' ' && *p != '\0') p++;
    if (*p == '\0') return false;
  }
  while (*p == ' ') p++;
  if (*p < '0' || *p > '9') return false;
  char* end = NULL;
  errno = 0;
  unsigned long long value = strtoull(p, &end, 10);
  if (errno != 0 || end == p || (*end != ' ' && *end != '\0' && *end != '\n')) return false;
  *startTime = value;
  return true;
}

void ResetSignalMaskInChild() {
  sigset_t none;
  sigemptyset(&none);
  (void)sigprocmask(SIG_SETMASK, &none, NULL);
}

// Leaves only 0 to 2 open across exec. Runs in a forked child: system calls only.
void MarkInheritedDescriptorsCloseOnExec() {
#if defined(CLOSE_RANGE_CLOEXEC)
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
  struct rlimit limit;
  int max = 65536;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < 65536) {
    max = static_cast<int>(limit.rlim_cur);
  }
  for (int fd = 3; fd < max; fd++) (void)fcntl(fd, F_SETFD, FD_CLOEXEC);
}

pid_t WaitForChild(pid_t pid, int* status, int options) {
  pid_t r;
  do {
    r = waitpid(pid, status, options);
  } while (r < 0 && errno == EINTR);
  return r;
}

// Waits for pid at most `seconds`; past that it is killed. Returns the wait
// status, or -1 when the child could not be waited for or was killed.
int WaitBounded(pid_t pid, int seconds) {
  struct timespec start;
  (void)clock_gettime(CLOCK_MONOTONIC, &start);
  long pauseNs = 1000000;  // 1 ms at first, growing to 50 ms
  for (;;) {
    int status = 0;
    pid_t r = WaitForChild(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0) return -1;
    struct timespec now;
    (void)clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - start.tv_sec >= seconds) {
      // A child that runs as root while we act as the user can only be
      // killed as root; without that the bound would not hold.
      if (kill(pid, SIGKILL) != 0 && errno == EPERM) {
        uid_t actingUID = geteuid();
        if (seteuid(0) == 0) {
          (void)kill(pid, SIGKILL);
          int junk = seteuid(actingUID);
          assert(junk == 0);
        }
      }
      (void)WaitForChild(pid, &status, 0);
      return -1;
    }
    struct timespec pause = {0, pauseNs};
    (void)nanosleep(&pause, NULL);
    if (pauseNs < 50000000) pauseNs *= 2;
  }
}

// Asks pkcheck whether this process, under its real user ID, holds one
// right. pkcheck runs as root whenever this process can be root (it is, or
// it is a set-user-ID root program): then the user who started us can
// neither trace it nor signal it, so its exit status cannot be forged. It
// gets a fixed environment, /dev/null on 0 to 2 and no other descriptor.
OSStatus CheckOneRight(const char* actionId, bool interactionAllowed) {
  unsigned long long startTime = 0;
  if (!ReadOwnStartTime(&startTime)) return errAuthorizationInternal;

  // The real user ID: it is who started us. The effective one may be root
  // for a set-user-ID program and says nothing about the user.
  uid_t realUID, effectiveUID, savedUID;
  if (getresuid(&realUID, &effectiveUID, &savedUID) != 0) return errAuthorizationInternal;
  const bool canBeRoot = (realUID == 0) || (effectiveUID == 0) || (savedUID == 0);

  char subject[96];
  int n = snprintf(subject, sizeof(subject), "%ld,%llu,%lu", static_cast<long>(getpid()), startTime,
                   static_cast<unsigned long>(realUID));
  if (n < 0 || static_cast<size_t>(n) >= sizeof(subject)) return errAuthorizationInternal;

  const char* argv[] = {"pkcheck", "--action-id", actionId, "--process", subject,
                        interactionAllowed ? "--allow-user-interaction" : NULL, NULL};
  const char* envp[] = {"PATH=/usr/bin:/bin", "LC_ALL=C", NULL};

  int devNull;
  do {
    devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  } while (devNull < 0 && errno == EINTR);
  if (devNull < 0) return errAuthorizationInternal;

  // Linux charges a fork against RLIMIT_NPROC of the real user, counting
  // every process and thread that user has, unless the forking process acts
  // as root. A set-user-ID caller acting as a user with a busy desktop would
  // be refused, so it forks as root; the child becomes root anyway.
  const bool forkAsRoot = canBeRoot && effectiveUID != 0;
  if (forkAsRoot && seteuid(0) != 0) {
    (void)close(devNull);
    return errAuthorizationInternal;
  }
  pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on: the caller may have threads.
    ResetSignalMaskInChild();
    if (dup2(devNull, 0) < 0 || dup2(devNull, 1) < 0 || dup2(devNull, 2) < 0) _exit(kChildExecFailed);
    MarkInheritedDescriptorsCloseOnExec();
    if (canBeRoot) {
      // Root first, so that the group calls are allowed.
      if (setresuid(0, 0, 0) != 0 || setgroups(0, NULL) != 0 || setresgid(0, 0, 0) != 0) _exit(kChildExecFailed);
    } else if (setresuid(realUID, realUID, realUID) != 0) {
      _exit(kChildExecFailed);
    }
    execve(kPkcheckPath, const_cast<char* const*>(argv), const_cast<char* const*>(envp));
    _exit(kChildExecFailed);
  }
  if (forkAsRoot) {
    int junk = seteuid(effectiveUID);
    assert(junk == 0);
  }
  (void)close(devNull);
  if (pid < 0) return errAuthorizationInternal;

  int status = WaitBounded(pid, interactionAllowed ? kPkcheckInteractiveSeconds : kPkcheckQuietSeconds);
  if (status == -1 || !WIFEXITED(status)) return errAuthorizationInternal;
  switch (WEXITSTATUS(status)) {
    case kPkcheckAuthorized:
      return errAuthorizationSuccess;
    case kPkcheckNotAuthorized:
      return errAuthorizationDenied;
    case kPkcheckChallenge:
      // With interaction allowed this means no agent could ask the user.
      return interactionAllowed ? errAuthorizationDenied : errAuthorizationInteractionNotAllowed;
    case kPkcheckDismissed:
      return errAuthorizationCanceled;
    default:
      return errAuthorizationInternal;  // polkitd unreachable, unknown action, ...
  }
}

// Puts the child's end of the socket pair on descriptors 0 and 1, clearing
// close-on-exec. Runs in a forked child: system calls only.
bool PlaceChannel(int fd) {
  for (int target = 0; target <= 1; target++) {
    if (fd == target) {
      if (fcntl(fd, F_SETFD, 0) != 0) return false;
    } else if (dup2(fd, target) < 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization) {
  if ((flags & ~kKnownFlags) != 0) return errAuthorizationInvalidFlags;
  AuthorizationRef ref = NULL;
  OSStatus err = NewRef(NULL, &ref);
  if (err == errAuthorizationSuccess && rights != NULL && rights->count > 0 &&
      (flags & kAuthorizationFlagExtendRights) != 0) {
    err = AuthorizationCopyRights(ref, rights, environment, flags, NULL);
  }
  if (err == errAuthorizationSuccess && authorization != NULL) {
    *authorization = ref;
  } else if (ref != NULL) {
    // Without a place to put it, the reference only served the check.
    DestroyRef(ref);
  }
  return err;
}

OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags) {
  if (!IsValidRef(authorization)) return errAuthorizationInvalidRef;
  if ((flags & ~kKnownFlags) != 0) return errAuthorizationInvalidFlags;
  // kAuthorizationFlagDestroyRights has nothing to forget: no right is ever
  // kept here, each one is asked of polkit when it is needed.
  DestroyRef(authorization);
  return errAuthorizationSuccess;
}

OSStatus AuthorizationMakeExternalForm(AuthorizationRef authorization, AuthorizationExternalForm* extForm) {
  if (!IsValidRef(authorization)) return errAuthorizationInvalidRef;
  if (extForm == NULL) return errAuthorizationInvalidPointer;
  memcpy(extForm, &authorization->token, sizeof(*extForm));
  return errAuthorizationSuccess;
}

OSStatus AuthorizationCreateFromExternalForm(const AuthorizationExternalForm* extForm,
                                             AuthorizationRef* authorization) {
  if (extForm == NULL || authorization == NULL) return errAuthorizationInvalidPointer;
  // Any 32 bytes make a reference: with no server there is nothing to look
  // them up in, and a reference grants nothing, so a forged one gains nothing.
  return NewRef(extForm, authorization);
}

OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights) {
  if (authorizedRights != NULL) *authorizedRights = NULL;
  if (!IsValidRef(authorization)) return errAuthorizationInvalidRef;
  if ((flags & ~kKnownFlags) != 0) return errAuthorizationInvalidFlags;
  if (rights == NULL || rights->count > kMaxRights || (rights->count > 0 && rights->items == NULL)) {
    return errAuthorizationInvalidSet;
  }
  for (UInt32 i = 0; i < rights->count; i++) {
    if (!IsValidActionId(rights->items[i].name)) return errAuthorizationInvalidTag;
  }

  const bool interactionAllowed = (flags & kAuthorizationFlagInteractionAllowed) != 0;
  const bool partial = (flags & kAuthorizationFlagPartialRights) != 0;
  bool* granted = static_cast<bool*>(calloc(rights->count + 1, sizeof(bool)));
  if (granted == NULL) return errAuthorizationInternal;
  OSStatus err = errAuthorizationSuccess;
  UInt32 grantedCount = 0;
  for (UInt32 i = 0; i < rights->count && err == errAuthorizationSuccess; i++) {
    OSStatus one = CheckOneRight(rights->items[i].name, interactionAllowed);
    if (one == errAuthorizationSuccess) {
      granted[i] = true;
      grantedCount++;
    } else if (!(partial && one == errAuthorizationDenied)) {
      err = one;  // a dismissed dialog or an error ends the check even with partial rights
    }
  }

  if (err == errAuthorizationSuccess && authorizedRights != NULL) {
    AuthorizationRights* set = static_cast<AuthorizationRights*>(calloc(1, sizeof(*set)));
    AuthorizationItem* items = static_cast<AuthorizationItem*>(calloc(grantedCount + 1, sizeof(*items)));
    if (set == NULL || items == NULL) {
      free(set);
      free(items);
      err = errAuthorizationInternal;
    } else {
      set->items = items;
      for (UInt32 i = 0; i < rights->count && err == errAuthorizationSuccess; i++) {
        if (!granted[i]) continue;
        char* name = strdup(rights->items[i].name);
        if (name == NULL) {
          err = errAuthorizationInternal;
        } else {
          items[set->count++].name = name;
        }
      }
      if (err == errAuthorizationSuccess) {
        *authorizedRights = set;
      } else {
        (void)AuthorizationFreeItemSet(set);
      }
    }
  }
  free(granted);
  return err;
}

OSStatus AuthorizationFreeItemSet(AuthorizationItemSet* set) {
  if (set == NULL) return errAuthorizationInvalidSet;
  for (UInt32 i = 0; i < set->count; i++) {
    free(const_cast<char*>(set->items[i].name));
    free(set->items[i].value);
  }
  free(set->items);
  free(set);
  return errAuthorizationSuccess;
}

OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            FILE** communicationsPipe) {
  if (!IsValidRef(authorization)) return errAuthorizationInvalidRef;
  if (options != kAuthorizationFlagDefaults) return errAuthorizationInvalidFlags;
  if (communicationsPipe == NULL) return errAuthorizationInvalidPointer;
  *communicationsPipe = NULL;
  // An absolute path only: pkexec would search its PATH for anything else,
  // and a name starting with '-' would be taken for one of its options.
  if (pathToTool == NULL || pathToTool[0] != '/' || strnlen(pathToTool, PATH_MAX) >= PATH_MAX) {
    return errAuthorizationToolExecuteFailure;
  }
  size_t argumentCount = 0;
  while (arguments != NULL && arguments[argumentCount] != NULL) {
    if (++argumentCount > kMaxToolArguments) return errAuthorizationToolExecuteFailure;
  }

  // Everything the child needs is prepared before the fork: the caller may
  // have threads, so the child may only make system calls.
  const char** argv = static_cast<const char**>(calloc(argumentCount + 3, sizeof(char*)));
  if (argv == NULL) return errAuthorizationInternal;
  argv[0] = "pkexec";
  argv[1] = pathToTool;
  for (size_t i = 0; i < argumentCount; i++) argv[2 + i] = arguments[i];
  argv[argumentCount + 2] = NULL;

  int channel[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
    free(argv);
    return errAuthorizationToolExecuteFailure;
  }

  // Linux charges the fork against RLIMIT_NPROC of the real user, counting
  // every process and thread of that user, and a tool may have lowered its
  // soft limit to guard itself (a desktop session easily has a few hundred
  // tasks). Only this one fork goes up to the hard limit.
  struct rlimit nproc;
  bool raisedNproc = false;
  if (getrlimit(RLIMIT_NPROC, &nproc) == 0 && nproc.rlim_cur < nproc.rlim_max) {
    const struct rlimit hard = {nproc.rlim_max, nproc.rlim_max};
    raisedNproc = setrlimit(RLIMIT_NPROC, &hard) == 0;
  }
  // pkexec asks polkit about its parent process, so it must stay our child:
  // no double fork, no new session.
  pid_t pid = fork();
  const int forkErr = errno;
  if (raisedNproc) (void)setrlimit(RLIMIT_NPROC, &nproc);  // in the child too: it inherits ours
  if (pid == 0) {
    ResetSignalMaskInChild();
    if (!PlaceChannel(channel[1])) _exit(kChildExecFailed);
    MarkInheritedDescriptorsCloseOnExec();
    execve(kPkexecPath, const_cast<char* const*>(argv), environ);  // pkexec cleans the environment itself
    _exit(kChildExecFailed);
  }
  free(argv);
  int junk = close(channel[1]);
  assert(junk == 0);
  if (pid < 0) {
    junk = close(channel[0]);
    assert(junk == 0);
    // The status alone cannot say why; EAGAIN here means too many processes.
    fprintf(stderr, "AuthorizationExecuteWithPrivileges: cannot start %s: fork: %s\n", kPkexecPath,
            strerror(forkErr));
    return errAuthorizationToolExecuteFailure;
  }

  // The verdict: the tool's first byte means pkexec authorized and the tool
  // runs as root; end of stream means pkexec (or the tool) ended without
  // writing anything, and its exit status says why. The byte is only looked
  // at, so the caller reads it as usual.
  char first;
  ssize_t n;
  do {
    n = recv(channel[0], &first, 1, MSG_PEEK);
  } while (n < 0 && errno == EINTR);

  if (n == 1) {
    FILE* stream = fdopen(channel[0], "r+");
    if (stream != NULL) {
      // The tool keeps running; the caller waits for it by the pid the tool
      // reports (pkexec execs the tool in place, so it is our child).
      *communicationsPipe = stream;
      return errAuthorizationSuccess;
    }
  }

  // No usable channel. Closing our end makes a running tool see end of
  // stream, so the wait below ends.
  junk = close(channel[0]);
  assert(junk == 0);
  int status = 0;
  pid_t waited = WaitForChild(pid, &status, 0);
  if (n == 1) return errAuthorizationInternal;  // fdopen failed
  if (waited != pid || !WIFEXITED(status)) return errAuthorizationToolExecuteFailure;
  switch (WEXITSTATUS(status)) {
    case kPkexecNotAuthorized:
      return errAuthorizationDenied;  // refused, no agent, or any other pkexec error
    case kPkexecDismissed:
      return errAuthorizationCanceled;
    default:
      // pkexec could not be started, or the tool ran and ended without a
      // word: either way there is no channel to a tool running as root.
      return errAuthorizationToolExecuteFailure;
  }
}

OSStatus AuthorizationCopyPrivilegedReference(AuthorizationRef* authorization, AuthorizationFlags flags) {
  if (authorization == NULL) return errAuthorizationInvalidPointer;
  if (flags != kAuthorizationFlagDefaults) return errAuthorizationInvalidFlags;
  // Only root can start a process whose real user ID is 0, as pkexec does;
  // a user can start a set-user-ID program with any environment, so
  // PKEXEC_UID and the like prove nothing.
  if (getuid() != 0) return errAuthorizationInvalidRef;
  return NewRef(NULL, authorization);
}
