// Authorization Services on polkit.
//
// There is no authorization server: a reference is a token that this process
// makes up (32 random bytes) and hands to the helper tool, which recreates
// an equal token from them. The token grants nothing. Who may act as root is
// decided by polkit every time: pkexec decides when a tool is started as
// root, pkcheck when a running process asks about a right.

#include "Authorization.h"

#include "MoreUNIX.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
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

  // pkcheck gets /dev/null on 0 to 2 and no other descriptor, and runs as
  // root for good or as the real user, nothing in between.
  const MoreUNIXSpawnDescriptor descriptors[] = {{devNull, 0}, {devNull, 1}, {devNull, 2}};
  const MoreUNIXSpawnOptions options = {descriptors, 3, NULL, 0, NULL};
  MoreUNIXSpawnSetup setup = {};
  setup.closeOthers = true;
  setup.credentials = canBeRoot ? kMoreUNIXSpawnAsRoot : kMoreUNIXSpawnAsRealUser;

  // Linux charges a fork against RLIMIT_NPROC of the real user, counting
  // every process and thread that user has, unless the forking process acts
  // as root. A set-user-ID caller acting as a user with a busy desktop would
  // be refused, so it forks as root; the child becomes root anyway.
  const bool forkAsRoot = canBeRoot && effectiveUID != 0;
  if (forkAsRoot && seteuid(0) != 0) {
    (void)close(devNull);
    return errAuthorizationInternal;
  }
  pid_t pid = -1;
  const int spawnErr = MoreUNIXSpawnWithSetup(kPkcheckPath, -1, const_cast<char* const*>(argv),
                                              const_cast<char* const*>(envp), &options, &setup, &pid);
  if (forkAsRoot) {
    int junk = seteuid(effectiveUID);
    assert(junk == 0);
  }
  (void)close(devNull);
  if (spawnErr != 0) return errAuthorizationInternal;

  int status = WaitBounded(pid, interactionAllowed ? kPkcheckInteractiveSeconds : kPkcheckQuietSeconds);
  if (status == -1 || !WIFEXITED(status)) return errAuthorizationInternal;
  switch (WEXITSTATUS(status)) {
    case kPkcheckAuthorized:
      return errAuthorizationSuccess;
    case kPkcheckNotAuthorized:
      return errAuthorizationDenied;
    case kPkcheckChallenge:
      // A password is needed, and no agent could ask for it (or asking was
      // not allowed).
      return errAuthorizationInteractionNotAllowed;
    case kPkcheckDismissed:
      return errAuthorizationCanceled;
    default:
      return errAuthorizationInternal;  // polkitd unreachable, unknown action, ...
  }
}

// pkexec's option that keeps it from prompting on our terminal: the window
// is frozen meanwhile, and polkit 122's own text agent cannot succeed
// anyway. An agent of the session, or one that a terminal front end
// registers for this process (pkttyagent --process), answers instead.
constexpr char kPkexecNoInternalAgent[] = "--disable-internal-agent";

// How much of what pkexec says is kept to tell its failures apart; all of
// it is passed on to our standard error.
constexpr size_t kMaxPkexecWords = 4096;

// The environment pkexec runs in: ours, with its messages fixed to the C
// locale so that they can be told apart whatever the user's language.
// pkexec passes LANG, not LC_ALL, on to the tool, which so keeps the user's
// language. NULL when memory runs out; the caller frees the array only, the
// strings stay those of environ.
char** PkexecEnvironment() {
  static char kMessagesInC[] = "LC_ALL=C";
  size_t count = 0;
  while (environ != NULL && environ[count] != NULL) count++;
  char** envp = static_cast<char**>(calloc(count + 2, sizeof(char*)));
  if (envp == NULL) return NULL;
  size_t used = 0;
  for (size_t i = 0; i < count; i++) {
    const char* entry = environ[i];
    if (strncmp(entry, "LC_ALL=", 7) == 0 || strncmp(entry, "LC_MESSAGES=", 12) == 0 ||
        strncmp(entry, "LANGUAGE=", 9) == 0) {
      continue;
    }
    envp[used++] = environ[i];
  }
  envp[used++] = kMessagesInC;
  envp[used] = NULL;
  return envp;
}

// What pkexec wrote to its standard error: passed on to ours, and its start
// kept to tell why it failed.
class PkexecWords {
 public:
  // Reads once: the number of bytes, 0 at end of stream, -1 when nothing
  // can be read (an error, or nothing there yet on a non-blocking pipe).
  ssize_t ReadSome(int fd) {
    char buffer[4096];
    ssize_t n;
    do {
      n = read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return n;
    PassOn(buffer, static_cast<size_t>(n));
    size_t room = kMaxPkexecWords - fLength;
    size_t keep = static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
    memcpy(fText + fLength, buffer, keep);
    fLength += keep;
    return n;
  }
  // Reads what is left once pkexec has ended, without waiting for a
  // descendant that might still hold the pipe.
  void Drain(int fd) {
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return;
    while (ReadSome(fd) > 0) {
    }
  }
  // pkexec exits 127 for several reasons; its words tell them apart.
  OSStatus Verdict() const {
    if (strstr(fText, "Not authorized") != NULL) return errAuthorizationDenied;
    if (strstr(fText, "No authentication agent found") != NULL ||
        strstr(fText, "authentication agent:") != NULL) {
      return errAuthorizationInteractionNotAllowed;  // no agent could ask the user
    }
    return errAuthorizationInternal;
  }

 private:
  static void PassOn(const char* bytes, size_t length) {
    while (length > 0) {
      ssize_t n = write(2, bytes, length);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes += n;
      length -= static_cast<size_t>(n);
    }
  }

  char fText[kMaxPkexecWords + 1] = {};  // always ends in NUL
  size_t fLength = 0;
};

// Waits for the tool's first byte on |channel| while passing on what pkexec
// writes to |errors|. Returns 1 when a byte is there, 0 at end of stream,
// -1 on an error.
ssize_t AwaitFirstByte(int channel, int errors, PkexecWords* words) {
  bool errorsOpen = true;
  for (;;) {
    struct pollfd fds[2] = {{channel, POLLIN, 0}, {errors, POLLIN, 0}};
    int ready = poll(fds, errorsOpen ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -1;
    if (errorsOpen && fds[1].revents != 0) errorsOpen = words->ReadSome(errors) > 0;
    if (fds[0].revents != 0) {
      char first;
      ssize_t n;
      do {
        n = recv(channel, &first, 1, MSG_PEEK);
      } while (n < 0 && errno == EINTR);
      return n;
    }
  }
}

// Closes every descriptor but standard error, |a| and |b| (both above 2).
// System calls only: runs in a child of a process that may have threads.
bool KeepOnly(int a, int b) {
  const int low = a < b ? a : b;
  const int high = a < b ? b : a;
  if (low < 3) return false;
  (void)close(0);
  (void)close(1);
  if (low > 3 && close_range(3, static_cast<unsigned>(low) - 1, 0) != 0) return false;
  if (high > low + 1 && close_range(static_cast<unsigned>(low) + 1, static_cast<unsigned>(high) - 1, 0) != 0) {
    return false;
  }
  return close_range(static_cast<unsigned>(high) + 1, ~0U, 0) == 0;
}

// Copies |from| to standard error until every writer has closed it.
[[noreturn]] void ForwardToStandardError(int from) {
  char buffer[4096];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(0);
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(2, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) _exit(0);
      done += w;
    }
  }
}

// Runs |body| in a small process of its own that nothing waits for (the
// middle one of a double fork is reaped here at once). Returns false when it
// could not be started.
template <typename Body>
bool RunDetached(Body body) {
  pid_t child = fork();
  if (child == 0) {
    // System calls only: the caller may have threads.
    if (fork() != 0) _exit(0);
    body();
    _exit(0);
  }
  if (child < 0) return false;
  int status = 0;
  (void)WaitForChild(child, &status, 0);
  return true;
}

// Passes on what the tool writes to its standard error, the pipe |from|,
// until every writer has closed it; then closes |from| here. Without it the
// tool, whose standard error pkexec handed on, would block or lose its words.
void ForwardInBackground(int from) {
  (void)RunDetached([from] {
    if (KeepOnly(from, from)) ForwardToStandardError(from);
  });
  int junk = close(from);
  assert(junk == 0);
}

// The same forwarder, started while pkexec still waits for polkit, so that
// its forks are not paid after the verdict, on the way of every privileged
// request. Until the caller has seen the tool's first byte, the pipe carries
// pkexec's own words, which the caller reads; the forwarder waits meanwhile
// on |*go|, a socket whose other end the caller keeps: one byte hands it the
// pipe, end of stream (no tool runs) ends it. (A socket, so that handing over
// to a forwarder whose second fork failed cannot raise SIGPIPE in the caller.)
// Returns false, with no forwarder and |*go| at -1, when it could not be
// started.
bool StartForwarderEarly(int from, int* go) {
  *go = -1;
  int hand[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, hand) != 0) return false;
  const int waitOn = hand[0];
  const bool started = RunDetached([from, waitOn] {
    if (!KeepOnly(from, waitOn)) _exit(0);
    char token;
    ssize_t n;
    do {
      n = read(waitOn, &token, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1) _exit(0);
    (void)close(waitOn);
    ForwardToStandardError(from);
  });
  int junk = close(hand[0]);
  assert(junk == 0);
  if (!started) {
    junk = close(hand[1]);
    assert(junk == 0);
    return false;
  }
  *go = hand[1];
  return true;
}

// Tells an early forwarder whether to pass the pipe on (|forward|) or to end,
// and lets go of it.
void ReleaseForwarder(int go, bool forward) {
  if (go < 0) return;
  if (forward) {
    const char token = 1;
    ssize_t n;
    do {
      n = send(go, &token, 1, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
  }
  int junk = close(go);
  assert(junk == 0);
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
  const char** argv = static_cast<const char**>(calloc(argumentCount + 4, sizeof(char*)));
  char** envp = PkexecEnvironment();
  if (argv == NULL || envp == NULL) {
    free(argv);
    free(envp);
    return errAuthorizationInternal;
  }
  argv[0] = "pkexec";
  argv[1] = kPkexecNoInternalAgent;
  argv[2] = pathToTool;
  for (size_t i = 0; i < argumentCount; i++) argv[3 + i] = arguments[i];
  argv[argumentCount + 3] = NULL;

  int channel[2];
  int errors[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
    free(argv);
    free(envp);
    return errAuthorizationToolExecuteFailure;
  }
  if (pipe2(errors, O_CLOEXEC) != 0) {
    (void)close(channel[0]);
    (void)close(channel[1]);
    free(argv);
    free(envp);
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
  // no double fork, no new session. The channel is its standard input and
  // output, the errors pipe its standard error, and nothing else passes.
  const MoreUNIXSpawnDescriptor descriptors[] = {{channel[1], 0}, {channel[1], 1}, {errors[1], 2}};
  const MoreUNIXSpawnOptions spawnOptions = {descriptors, 3, NULL, 0, NULL};
  // The raised limit was for this fork only: the child goes back to ours.
  const MoreUNIXSpawnLimit ownNproc = {RLIMIT_NPROC, nproc.rlim_cur, nproc.rlim_max};
  MoreUNIXSpawnSetup setup = {};
  setup.closeOthers = true;
  if (raisedNproc) {
    setup.limits = &ownNproc;
    setup.limitCount = 1;
  }
  pid_t pid = -1;
  const int spawnErr = MoreUNIXSpawnWithSetup(kPkexecPath, -1, const_cast<char* const*>(argv), envp, &spawnOptions,
                                              &setup, &pid);
  if (raisedNproc) (void)setrlimit(RLIMIT_NPROC, &nproc);
  free(argv);
  free(envp);
  int junk = close(channel[1]);
  assert(junk == 0);
  junk = close(errors[1]);
  assert(junk == 0);
  if (spawnErr != 0) {
    junk = close(channel[0]);
    assert(junk == 0);
    junk = close(errors[0]);
    assert(junk == 0);
    // The status alone cannot say why; EAGAIN here means the fork met too
    // many processes.
    fprintf(stderr, "AuthorizationExecuteWithPrivileges: cannot start %s: %s%s\n", kPkexecPath,
            spawnErr == EAGAIN ? "fork: " : "", strerror(spawnErr));
    return errAuthorizationToolExecuteFailure;
  }

  // Whatever the verdict, the wait for polkit is time enough to start the
  // process that passes the tool's standard error on.
  int go = -1;
  const bool forwarderReady = StartForwarderEarly(errors[0], &go);

  // The verdict: the tool's first byte means pkexec authorized and the tool
  // runs as root; end of stream means pkexec (or the tool) ended without
  // writing anything, and its exit status and its words say why. The byte is
  // only looked at, so the caller reads it as usual.
  PkexecWords words;
  ssize_t n = AwaitFirstByte(channel[0], errors[0], &words);

  if (n == 1) {
    FILE* stream = fdopen(channel[0], "r+");
    if (stream != NULL) {
      // The tool keeps running; the caller waits for it by the pid the tool
      // reports (pkexec execs the tool in place, so it is our child). What it
      // writes to its standard error, which is pkexec's, still reaches ours.
      if (forwarderReady) {
        ReleaseForwarder(go, true);
        junk = close(errors[0]);
        assert(junk == 0);
      } else {
        ForwardInBackground(errors[0]);
      }
      *communicationsPipe = stream;
      return errAuthorizationSuccess;
    }
  }
  ReleaseForwarder(go, false);

  // No usable channel. Closing our end makes a running tool see end of
  // stream, so the wait below ends.
  junk = close(channel[0]);
  assert(junk == 0);
  int status = 0;
  pid_t waited = WaitForChild(pid, &status, 0);
  words.Drain(errors[0]);
  junk = close(errors[0]);
  assert(junk == 0);
  if (n == 1) return errAuthorizationInternal;  // fdopen failed
  if (waited != pid || !WIFEXITED(status)) return errAuthorizationToolExecuteFailure;
  switch (WEXITSTATUS(status)) {
    case kPkexecNotAuthorized:
      return words.Verdict();
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
