// The routines under test change process-wide state (user IDs, descriptors,
// signals, limits), so every case runs in a forked child that reports its
// failed checks back through a pipe.

#include "MoreSecHygiene.h"
#include "MoreSecurityPrivate.h"
#include "MoreUNIX.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include <CoreFoundation/CoreFoundation.h>

namespace {

constexpr uid_t kNobody = 65534;
constexpr int kReportFd = 900;  // far above the descriptors the cases arrange

std::string* gChildFailures = nullptr;

void ChildFail(const char* file, int line, const std::string& text) {
  *gChildFailures += std::string(file) + ":" + std::to_string(line) + ": " + text + "\n";
}

#define CHILD_EXPECT(cond)                                      \
  do {                                                          \
    if (!(cond)) ChildFail(__FILE__, __LINE__, "failed: " #cond); \
  } while (0)
#define CHILD_EXPECT_EQ(a, b)                                                          \
  do {                                                                                 \
    auto va = (a);                                                                     \
    auto vb = (b);                                                                     \
    if (!(va == vb))                                                                   \
      ChildFail(__FILE__, __LINE__,                                                    \
                std::string(#a " == " #b ": ") + std::to_string(va) + " vs " + std::to_string(vb)); \
  } while (0)

// Runs body in a forked child. Its failed checks, and a child that crashes,
// hangs (killed after a generous bound) or exits non-zero, fail the test.
template <typename Body>
void RunInChild(Body body) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    if (dup2(fds[1], kReportFd) < 0) _exit(90);
    close(fds[1]);
    std::string failures;
    gChildFailures = &failures;
    body();
    size_t done = 0;
    while (done < failures.size()) {
      ssize_t n = write(kReportFd, failures.data() + done, failures.size() - done);
      if (n <= 0) _exit(91);
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string report;
  bool timedOut = false;
  for (;;) {
    struct pollfd p = {fds[0], POLLIN, 0};
    int ready = poll(&p, 1, 60000);
    if (ready == 0) {
      timedOut = true;
      break;
    }
    if (ready < 0) continue;
    char buf[4096];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    report.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_FALSE(timedOut) << "child hung";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child wait status " << status;
  EXPECT_EQ(report, "");
}

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

void OnSignal(int) {}

std::string CurrentDir() {
  char buf[4096];
  return getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string("?");
}

// Opens an unlinked regular file at exactly descriptor fd.
void PutRegularFileAt(int fd) {
  char path[] = "/tmp/hygiene-regular.XXXXXX";
  int temp = mkstemp(path);
  CHILD_EXPECT(temp >= 0);
  unlink(path);
  if (temp != fd) {
    CHILD_EXPECT(dup2(temp, fd) == fd);
    close(temp);
  }
}

void PutAt(int from, int fd) {
  if (from != fd) {
    CHILD_EXPECT(dup2(from, fd) == fd);
    close(from);
  }
}

// Inherited state of every kind that flag word 0 resets: a SIGTERM handler,
// ignored and blocked signals, a loose umask, a working directory elsewhere,
// armed timers, and descriptors of each kind.
struct Arranged {
  std::string dir;
};

Arranged ArrangeInheritedState() {
  Arranged a;
  char dir[] = "/tmp/hygiene-cwd.XXXXXX";
  CHILD_EXPECT(mkdtemp(dir) != nullptr);
  a.dir = dir;
  CHILD_EXPECT(chdir(dir) == 0);
  umask(022);

  CHILD_EXPECT(signal(SIGTERM, OnSignal) != SIG_ERR);
  CHILD_EXPECT(signal(SIGRTMIN + 3, SIG_IGN) != SIG_ERR);
  CHILD_EXPECT(signal(SIGHUP, SIG_IGN) != SIG_ERR);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigaddset(&blocked, SIGRTMIN + 3);
  CHILD_EXPECT(sigprocmask(SIG_BLOCK, &blocked, nullptr) == 0);

  struct itimerval armed = {};
  armed.it_value.tv_sec = 100;
  CHILD_EXPECT(setitimer(ITIMER_REAL, &armed, nullptr) == 0);
  CHILD_EXPECT(setitimer(ITIMER_VIRTUAL, &armed, nullptr) == 0);
  CHILD_EXPECT(setitimer(ITIMER_PROF, &armed, nullptr) == 0);

  // 0: regular file; 1: pipe; 2: terminal; 5: regular file; 6: socket;
  // 7: directory.
  PutRegularFileAt(0);
  int p[2];
  CHILD_EXPECT(pipe(p) == 0);
  PutAt(p[1], 1);
  int tty = posix_openpt(O_RDWR | O_NOCTTY);
  CHILD_EXPECT(tty >= 0 && isatty(tty));
  PutAt(tty, 2);
  PutRegularFileAt(5);
  int s[2];
  CHILD_EXPECT(socketpair(AF_UNIX, SOCK_STREAM, 0, s) == 0);
  PutAt(s[0], 6);
  PutAt(open("/", O_RDONLY | O_DIRECTORY), 7);
  return a;
}

bool TimersOff() {
  for (int which : {ITIMER_REAL, ITIMER_VIRTUAL, ITIMER_PROF}) {
    struct itimerval now;
    if (getitimer(which, &now) != 0 || now.it_value.tv_sec != 0 || now.it_value.tv_usec != 0) {
      return false;
    }
  }
  return true;
}

bool HasDefaultAction(int sig) {
  struct sigaction sa;
  return sigaction(sig, nullptr, &sa) == 0 && sa.sa_handler == SIG_DFL;
}

bool NothingBlocked() {
  sigset_t now;
  sigprocmask(SIG_BLOCK, nullptr, &now);
  for (int sig = 1; sig < SIGRTMIN; sig++) {
    if (sig < 32 && sigismember(&now, sig)) return false;
  }
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++) {
    if (sigismember(&now, sig)) return false;
  }
  return true;
}

mode_t CurrentUmask() {
  mode_t old = umask(0);
  umask(old);
  return old;
}

void BecomeNobodyCompletely() {
  CHILD_EXPECT(setgroups(0, nullptr) == 0);
  CHILD_EXPECT(setresgid(kNobody, kNobody, kNobody) == 0);
  CHILD_EXPECT(setresuid(kNobody, kNobody, kNobody) == 0);
}

class HygieneFlagWordTest : public testing::TestWithParam<int> {};

// 0x002 has no step of its own, so it must behave exactly like 0.
TEST_P(HygieneFlagWordTest, ResetsEveryPieceOfInheritedState) {
  RunInChild([] {
    Arranged a = ArrangeInheritedState();
    char arg0[] = "forged-name";
    char* argv[] = {arg0, nullptr};

    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(GetParam(), argv), 0);

    char self[4096];
    uint32_t size = sizeof self;
    CHILD_EXPECT_EQ(MoreGetExecutablePath(self, &size), 0);
    CHILD_EXPECT(argv[0] != arg0 && strcmp(argv[0], self) == 0);
    CHILD_EXPECT(strcmp(arg0, "forged-name") == 0);
    CHILD_EXPECT(argv[1] == nullptr);

    CHILD_EXPECT_EQ(CurrentUmask(), static_cast<mode_t>(077));
    CHILD_EXPECT(CurrentDir() == "/");
    CHILD_EXPECT(HasDefaultAction(SIGTERM));
    CHILD_EXPECT(HasDefaultAction(SIGHUP));
    CHILD_EXPECT(HasDefaultAction(SIGRTMIN + 3));
    CHILD_EXPECT(NothingBlocked());
    CHILD_EXPECT(TimersOff());

    CHILD_EXPECT(!IsOpen(0));  // regular file
    CHILD_EXPECT(IsOpen(1));   // pipe
    CHILD_EXPECT(IsOpen(2));   // terminal
    CHILD_EXPECT(!IsOpen(5));  // regular file
    CHILD_EXPECT(IsOpen(6));   // socket
    CHILD_EXPECT(IsOpen(7));   // directory
    CHILD_EXPECT(IsOpen(kReportFd));
    rmdir(a.dir.c_str());
  });
}

INSTANTIATE_TEST_SUITE_P(ZeroAndTheUnusedBit, HygieneFlagWordTest, testing::Values(0, 0x002));

TEST(MoreSecHygieneTest, EveryBitSetChangesNothing) {
  RunInChild([] {
    Arranged a = ArrangeInheritedState();
    struct rlimit before[kResourceLimitCount];
    for (int i = 0; i < kResourceLimitCount; i++) {
      getrlimit(kResourceLimits[i].resource, &before[i]);
    }

    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(0x3FF, nullptr), 0);

    CHILD_EXPECT_EQ(CurrentUmask(), static_cast<mode_t>(022));
    CHILD_EXPECT(CurrentDir() == a.dir);
    CHILD_EXPECT(!HasDefaultAction(SIGTERM));
    CHILD_EXPECT(!HasDefaultAction(SIGRTMIN + 3));
    CHILD_EXPECT(!NothingBlocked());
    CHILD_EXPECT(!TimersOff());
    CHILD_EXPECT(IsOpen(0) && IsOpen(5));
    for (int i = 0; i < kResourceLimitCount; i++) {
      struct rlimit now;
      getrlimit(kResourceLimits[i].resource, &now);
      CHILD_EXPECT_EQ(now.rlim_cur, before[i].rlim_cur);
      CHILD_EXPECT_EQ(now.rlim_max, before[i].rlim_max);
    }
    CHILD_EXPECT(chdir("/") == 0);
    rmdir(a.dir.c_str());
  });
}

TEST(MoreSecHygieneDeathTest, NullArgvWithoutKeepArg0Asserts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(MoreSecDestroyInheritedEnvironment(kMoreSecKeepTimersMask, nullptr),
               "\\(argv != NULL\\) \\|\\| \\(\\(whatToDubya & kMoreSecKeepArg0Mask\\) != 0\\)");
}

// After an exec with argc 0, argv[0] is the vector's terminator: it must not
// be overwritten, and nothing else may happen either.
TEST(MoreSecHygieneTest, EmptyArgumentVectorIsRefused) {
  RunInChild([] {
    umask(022);
    char* argv[] = {nullptr};
    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(0, argv), EINVAL);
    CHILD_EXPECT(argv[0] == nullptr);
    CHILD_EXPECT_EQ(CurrentUmask(), static_cast<mode_t>(022));
  });
}

// A caller may open a file high up and then lower its descriptor limit, so
// that the file lies above the descriptor table size.
TEST(MoreSecHygieneTest, ClosesRegularFilesAboveALoweredDescriptorLimit) {
  RunInChild([] {
    PutRegularFileAt(500);
    int s[2];
    CHILD_EXPECT(socketpair(AF_UNIX, SOCK_STREAM, 0, s) == 0);
    PutAt(s[0], 501);
    struct rlimit lim;
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = 64;
    CHILD_EXPECT(setrlimit(RLIMIT_NOFILE, &lim) == 0);

    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(0x3FF & ~kMoreSecKeepOtherDescriptorsMask, nullptr), 0);
    CHILD_EXPECT(!IsOpen(500));
    CHILD_EXPECT(IsOpen(501));
    CHILD_EXPECT(IsOpen(kReportFd));
  });
}

// Whether this root may raise hard limits. Containers (this project's CI
// among them) often run root without CAP_SYS_RESOURCE.
bool CanRaiseHardLimits() {
  FILE* status = fopen("/proc/self/status", "r");
  if (status == nullptr) return false;
  char line[256];
  unsigned long long caps = 0;
  while (fgets(line, sizeof line, status) != nullptr) {
    if (strncmp(line, "CapEff:", 7) == 0) caps = strtoull(line + 7, nullptr, 16);
  }
  fclose(status);
  return (caps & (1ULL << 24)) != 0;  // CAP_SYS_RESOURCE
}

// As root every entry applies, hard limits included. Where root may not raise
// a hard limit, the step stops at the first entry that would need to, as at
// any refused setrlimit, and that entry and the later ones stay as inherited.
TEST(MoreSecHygieneTest, RootGetsTheTableLimits) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: sets hard limits";
  RunInChild([] {
    struct rlimit before[kResourceLimitCount];
    for (int i = 0; i < kResourceLimitCount; i++) getrlimit(kResourceLimits[i].resource, &before[i]);
    const bool canRaise = CanRaiseHardLimits();

    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(0x3FF & ~kMoreSecKeepLimitsMask, nullptr), 0);

    bool stopped = false;
    for (int i = 0; i < kResourceLimitCount; i++) {
      const MoreSecResourceLimit& entry = kResourceLimits[i];
      stopped = stopped || (!canRaise && entry.hard > before[i].rlim_max);
      struct rlimit now;
      CHILD_EXPECT(getrlimit(entry.resource, &now) == 0);
      CHILD_EXPECT_EQ(now.rlim_cur, stopped ? before[i].rlim_cur : entry.soft);
      CHILD_EXPECT_EQ(now.rlim_max, stopped ? before[i].rlim_max : entry.hard);
    }
    if (!canRaise) {
      fprintf(stderr, "root lacks CAP_SYS_RESOURCE here: the limit step stops at the first raised hard limit\n");
    }
  });
}

// Without root, a soft limit above the inherited hard limit cannot be set.
// The limit step then stops quietly and the later steps still run.
TEST(MoreSecHygieneTest, UnprivilegedLimitStepStopsQuietlyAndLaterStepsRun) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: arranges a finite hard limit, then drops to nobody";
  RunInChild([] {
    struct rlimit cpu = {3600, 3600};
    CHILD_EXPECT(setrlimit(RLIMIT_CPU, &cpu) == 0);
    struct rlimit stackBefore;
    getrlimit(RLIMIT_STACK, &stackBefore);
    BecomeNobodyCompletely();
    CHILD_EXPECT(chdir("/tmp") == 0);
    struct itimerval armed = {};
    armed.it_value.tv_sec = 100;
    CHILD_EXPECT(setitimer(ITIMER_REAL, &armed, nullptr) == 0);

    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(kMoreSecKeepArg0Mask, nullptr), 0);

    struct rlimit now;
    getrlimit(RLIMIT_CPU, &now);
    CHILD_EXPECT_EQ(now.rlim_cur, static_cast<rlim_t>(3600));
    getrlimit(RLIMIT_STACK, &now);
    CHILD_EXPECT_EQ(now.rlim_cur, stackBefore.rlim_cur);  // never reached
    CHILD_EXPECT(CurrentDir() == "/");
    CHILD_EXPECT(TimersOff());
  });
}

// nice() answers the new nice value, and -1 is a valid one; a stale errno must
// not turn it into a failure.
TEST(MoreSecHygieneTest, NiceValueOfMinusOneIsNoFailure) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: lowers the nice value";
  RunInChild([] {
    CHILD_EXPECT(setpriority(PRIO_PROCESS, 0, -1) == 0);
    CHILD_EXPECT(chdir("/tmp") == 0);
    errno = EPERM;
    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(0x3FF & ~(kMoreSecKeepPriorityMask | kMoreSecKeepWorkingDirMask),
                                                       nullptr),
                    0);
    CHILD_EXPECT(CurrentDir() == "/");
  });
}

TEST(MoreSecHygieneTest, GetPathToSelfMatchesTheExecutablePath) {
  char* path = nullptr;
  ASSERT_EQ(GetPathToSelf(&path), 0);
  char self[4096];
  uint32_t size = sizeof self;
  ASSERT_EQ(MoreGetExecutablePath(self, &size), 0);
  EXPECT_STREQ(path, self);
  free(path);
}

// A process that looks started set-user-ID root: real user nobody, effective
// and saved user 0 (and, for the group half, the same for group IDs).
void BecomeSetUserIDLookalike() {
  CHILD_EXPECT(setgroups(0, nullptr) == 0);
  CHILD_EXPECT(setresgid(kNobody, 0, 0) == 0);
  CHILD_EXPECT(setresuid(kNobody, 0, 0) == 0);
}

struct Ids {
  uid_t r, e, s;
};

Ids UserIds() {
  Ids ids;
  getresuid(&ids.r, &ids.e, &ids.s);
  return ids;
}

Ids GroupIds() {
  Ids ids;
  getresgid(&ids.r, &ids.e, &ids.s);
  return ids;
}

TEST(MoreSecUserIDTest, DropRegainThenDropForGood) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: fakes a set-user-ID start";
  RunInChild([] {
    BecomeSetUserIDLookalike();

    CHILD_EXPECT_EQ(MoreSecTemporarilySetNonPrivilegedEUID(), 0);
    Ids u = UserIds();
    CHILD_EXPECT(u.r == kNobody && u.e == kNobody && u.s == 0);

    CHILD_EXPECT_EQ(MoreSecSetPrivilegedEUID(), 0);
    CHILD_EXPECT_EQ(geteuid(), 0u);

    CHILD_EXPECT_EQ(MoreSecPermanentlySetNonPrivilegedEUID(), 0);
    u = UserIds();
    CHILD_EXPECT(u.r == kNobody && u.e == kNobody && u.s == kNobody);
    Ids g = GroupIds();
    CHILD_EXPECT(g.r == kNobody && g.e == kNobody && g.s == kNobody);

    CHILD_EXPECT_EQ(MoreSecSetPrivilegedEUID(), EPERM);
    CHILD_EXPECT_EQ(geteuid(), kNobody);
  });
}

// Giving root up for good while acting as the user must not leave the saved
// user ID 0 behind (as setuid() would).
TEST(MoreSecUserIDTest, PermanentDropWhileActingAsTheUserLeavesNoWayBack) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: fakes a set-user-ID start";
  RunInChild([] {
    BecomeSetUserIDLookalike();
    CHILD_EXPECT_EQ(MoreSecTemporarilySetNonPrivilegedEUID(), 0);

    CHILD_EXPECT_EQ(MoreSecPermanentlySetNonPrivilegedEUID(), 0);
    Ids u = UserIds();
    CHILD_EXPECT(u.r == kNobody && u.e == kNobody && u.s == kNobody);
    CHILD_EXPECT_EQ(MoreSecSetPrivilegedEUID(), EPERM);
  });
}

TEST(MoreSecUserIDTest, WithoutAnyRootOnlyDroppingWorks) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: becomes nobody";
  RunInChild([] {
    BecomeNobodyCompletely();
    CHILD_EXPECT_EQ(MoreSecSetPrivilegedEUID(), EPERM);
    CHILD_EXPECT_EQ(MoreSecTemporarilySetNonPrivilegedEUID(), 0);
    CHILD_EXPECT_EQ(MoreSecPermanentlySetNonPrivilegedEUID(), 0);
  });
}

// ---------------------------------------------------------------------------
// The tool must be able to read, and answer, a request of the largest size a
// frame admits while it runs under its own limits.

constexpr int32_t kMaxFrameBody = 1048576;  // the largest body a frame admits

const MoreSecResourceLimit& TableEntry(int resource) {
  for (const MoreSecResourceLimit& entry : kResourceLimits) {
    if (entry.resource == resource) return entry;
  }
  abort();
}

// A body of exactly the largest admitted size: a dictionary whose one array
// holds as many tiny dictionaries as fit (the costliest shape to parse per
// byte), led, if deep, by a chain of arrays nested as deep as a property list
// may be (which works the stack).
std::string MaximumSizeBody(bool deep) {
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict><key>k</key><array>";
  const std::string tail = "</array></dict></plist>\n";
  const size_t size = static_cast<size_t>(kMaxFrameBody);
  std::string body = head;
  if (deep) {
    const int chain = kCFPropertyListMaxDepth - 2;  // below the dictionary and its array
    for (int i = 0; i < chain; i++) body += "<array>";
    for (int i = 0; i < chain; i++) body += "</array>";
  }
  const std::string unit = "<dict><key/><string/></dict>";
  while (body.size() + unit.size() + tail.size() <= size) body += unit;
  body += tail;
  const size_t plistEnd = body.size() - std::string("</plist>\n").size();
  body.insert(plistEnd, std::string(size - body.size(), '\n'));  // whitespace up to the exact size
  return body;
}

// What the tool does with a request, allocation for allocation: the frame
// into one heap buffer, the body into data and then into property-list
// objects, and the answer (here an echo) serialised and written as a frame.
bool ReadAndEchoOneFrame(int fd) {
  int32_t length = 0;
  if (MoreUNIXRead(fd, &length, sizeof length, nullptr) != 0) return false;
  if (length <= 0 || length > kMaxFrameBody) return false;
  UInt8* buffer = static_cast<UInt8*>(malloc(static_cast<size_t>(length)));
  if (buffer == nullptr) return false;
  bool ok = MoreUNIXRead(fd, buffer, static_cast<size_t>(length), nullptr) == 0;
  CFDataRef body = ok ? CFDataCreate(nullptr, buffer, length) : nullptr;
  free(buffer);
  CFPropertyListRef request =
      body != nullptr ? CFPropertyListCreateFromXMLData(nullptr, body, kCFPropertyListImmutable, nullptr) : nullptr;
  if (body != nullptr) CFRelease(body);
  ok = request != nullptr && CFGetTypeID(request) == CFDictionaryGetTypeID();
  CFDataRef answer = ok ? CFPropertyListCreateXMLData(nullptr, request) : nullptr;
  if (request != nullptr) CFRelease(request);
  ok = answer != nullptr;
  if (ok) {
    int32_t answerLength = static_cast<int32_t>(CFDataGetLength(answer));
    ok = MoreUNIXWrite(fd, &answerLength, sizeof answerLength, nullptr) == 0 &&
         MoreUNIXWrite(fd, CFDataGetBytePtr(answer), static_cast<size_t>(answerLength), nullptr) == 0;
    CFRelease(answer);
  }
  return ok;
}

class HygieneLimitsWorkloadTest : public testing::TestWithParam<bool> {};

TEST_P(HygieneLimitsWorkloadTest, MaximumSizeRequestIsReadAndAnswered) {
#ifdef QUILLON_SANITIZED
  GTEST_SKIP() << "the address sanitizer's shadow memory does not fit the tool's own limits";
#endif
  if (geteuid() != 0) GTEST_SKIP() << "needs root: becomes nobody so that every soft limit up to the stack applies";
  RunInChild([] {
    std::string body = MaximumSizeBody(GetParam());
    CHILD_EXPECT_EQ(body.size(), static_cast<size_t>(kMaxFrameBody));
    CHILD_EXPECT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    int s[2];
    CHILD_EXPECT(socketpair(AF_UNIX, SOCK_STREAM, 0, s) == 0);

    // The peer: sends the request frame, then reads the whole answer.
    pid_t peer = fork();
    if (peer == 0) {
      close(s[0]);
      int32_t length = static_cast<int32_t>(body.size());
      std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
      frame += body;
      if (MoreUNIXWrite(s[1], frame.data(), frame.size(), nullptr) != 0) _exit(1);
      shutdown(s[1], SHUT_WR);
      int32_t answerLength = 0;
      if (MoreUNIXRead(s[1], &answerLength, sizeof answerLength, nullptr) != 0) _exit(2);
      if (answerLength <= 0) _exit(3);
      std::string answer(static_cast<size_t>(answerLength), '\0');
      if (MoreUNIXRead(s[1], answer.data(), answer.size(), nullptr) != 0) _exit(4);
      _exit(answer.find("<key>k</key>") != std::string::npos ? 0 : 5);
    }
    close(s[1]);
    body.clear();
    body.shrink_to_fit();

    BecomeNobodyCompletely();
    CHILD_EXPECT_EQ(MoreSecDestroyInheritedEnvironment(0x3FF & ~kMoreSecKeepLimitsMask, nullptr), 0);
    CHILD_EXPECT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    struct rlimit data;
    struct rlimit stack;
    getrlimit(RLIMIT_DATA, &data);
    getrlimit(RLIMIT_STACK, &stack);
    CHILD_EXPECT_EQ(data.rlim_cur, TableEntry(RLIMIT_DATA).soft);
    CHILD_EXPECT_EQ(stack.rlim_cur, TableEntry(RLIMIT_STACK).soft);

    CHILD_EXPECT(ReadAndEchoOneFrame(s[0]));
    shutdown(s[0], SHUT_WR);
    int status = 0;
    CHILD_EXPECT(waitpid(peer, &status, 0) == peer);
    CHILD_EXPECT(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // The limit really was in force.
    void* tooMuch = malloc(static_cast<size_t>(data.rlim_cur));
    CHILD_EXPECT(tooMuch == nullptr);
    free(tooMuch);
  });
}

INSTANTIATE_TEST_SUITE_P(ManySmallAndDeep, HygieneLimitsWorkloadTest, testing::Bool());

}  // namespace
