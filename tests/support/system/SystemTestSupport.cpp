#include "SystemTestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef QUILLON_SOURCE_ROOT
#error "QUILLON_SOURCE_ROOT must be defined by the build"
#endif

namespace quillon::systest {
namespace {

// Room for an engine log at its 16 MiB bound, with the tool's log before it.
constexpr size_t kMaxCapture = 32u << 20;
constexpr const char* kRulesDir = "/etc/polkit-1/rules.d";
constexpr const char* kScratchPrefix = "/var/tmp/qltest-";
constexpr const char* kAgentScript = QUILLON_SOURCE_ROOT "/tests/support/system/cancel_agent.py";

// Exit codes of a child whose set-up failed, before it ran anything of the test.
enum : int {
  kExitExecFailed = 120,
  kExitNamespace = 121,
  kExitRootSetup = 122,
  kExitGate = 123,
  kExitIdentity = 124,
};

void SetError(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int* fd) {
  if (*fd >= 0) {
    (void)close(*fd);
    *fd = -1;
  }
}

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 1000 * 1000));
}

pid_t WaitNoIntr(pid_t pid, int* status, int options) {
  pid_t r;
  do {
    r = waitpid(pid, status, options);
  } while (r < 0 && errno == EINTR);
  return r;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Reads what is there on fd into *sink (up to the capture limit). Returns
// false at end of stream or on an error other than "nothing yet".
bool ReadSome(int fd, std::string* sink) {
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n > 0) {
      size_t room = kMaxCapture - std::min(kMaxCapture, sink->size());
      sink->append(buf, std::min(room, static_cast<size_t>(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;
  }
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The identity a child takes, looked up before the fork (initgroups and
// the password database are not safe to use after it).
struct Identity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
  std::string name;
  std::string home;
};

bool LookUpIdentity(const TestUser& user, Identity* id, std::string* error) {
  id->uid = user.uid;
  id->gid = user.gid;
  id->name = user.name;
  id->home = user.home;
  int count = 64;
  for (int attempt = 0; attempt < 4; attempt++) {
    id->groups.assign(static_cast<size_t>(count), 0);
    int n = count;
    if (getgrouplist(user.name.c_str(), user.gid, id->groups.data(), &n) >= 0) {
      id->groups.resize(static_cast<size_t>(n));
      return true;
    }
    count = std::max(n, count * 2);
  }
  SetError(error, "getgrouplist failed for " + user.name);
  return false;
}

[[noreturn]] void ChildFail(int code, const char* what) {
  // Plain write: stdio may hold the parent's buffered data.
  char line[512];
  int n = errno != 0 ? snprintf(line, sizeof(line), "test child: %s: %s\n", what, strerror(errno))
                     : snprintf(line, sizeof(line), "test child: %s\n", what);
  if (n > 0) (void)!write(2, line, std::min(static_cast<size_t>(n), sizeof(line) - 1));
  _exit(code);
}

void SetChildEnvironment(const Identity* id, const std::vector<std::string>& extra) {
  if (id != nullptr) {
    // Keep the sanitizers' settings, drop everything else of root's.
    std::vector<std::string> keep;
    for (char** e = environ; e != nullptr && *e != nullptr; e++) {
      if (strncmp(*e, "ASAN_", 5) == 0 || strncmp(*e, "UBSAN_", 6) == 0 || strncmp(*e, "LSAN_", 5) == 0) {
        keep.emplace_back(*e);
      }
    }
    clearenv();
    setenv("PATH", "/usr/local/bin:/usr/bin:/bin", 1);
    setenv("HOME", id->home.c_str(), 1);
    setenv("USER", id->name.c_str(), 1);
    setenv("LOGNAME", id->name.c_str(), 1);
    setenv("SHELL", "/bin/sh", 1);
    setenv("LANG", "C.UTF-8", 1);
    for (const std::string& k : keep) putenv(strdup(k.c_str()));
  }
  for (const std::string& e : extra) putenv(strdup(e.c_str()));
}

// The common body of RunAsUser and RunProgramAsUser. `body` runs in the
// child once everything is set up; it never returns for a program.
ChildResult RunChild(const TestUser* user, const std::function<int()>& body, const ChildOptions& options) {
  ChildResult result;
  Identity identity;
  if (user != nullptr && !LookUpIdentity(*user, &identity, &result.err)) return result;

  int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1}, readyPipe[2] = {-1, -1}, gatePipe[2] = {-1, -1};
  int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (devNull < 0 || pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
      pipe2(readyPipe, O_CLOEXEC) != 0 || pipe2(gatePipe, O_CLOEXEC) != 0) {
    result.err = ErrnoText("pipe");
    for (int* fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1], &readyPipe[0], &readyPipe[1],
                    &gatePipe[0], &gatePipe[1], &devNull})
      CloseFd(fd);
    return result;
  }

  (void)fflush(nullptr);  // or the child would write the parent's buffered output again
  const Clock::time_point deadline = Clock::now() + options.timeout;
  pid_t pid = fork();
  if (pid == 0) {
    (void)setpgid(0, 0);  // so that a time-out kills everything it started
    int in = options.stdinFd >= 0 ? options.stdinFd : devNull;
    if (dup2(in, 0) < 0 || dup2(outPipe[1], 1) < 0 || dup2(errPipe[1], 2) < 0) ChildFail(kExitIdentity, "dup2");
    for (int fd : {outPipe[0], errPipe[0], readyPipe[0], gatePipe[1], outPipe[1], errPipe[1], devNull})
      (void)close(fd);
    if (options.privateMountNamespace) {
      if (unshare(CLONE_NEWNS) != 0) ChildFail(kExitNamespace, "unshare(CLONE_NEWNS)");
      if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ChildFail(kExitNamespace, "make / rprivate");
    }
    if (options.rootSetup) {
      std::string setupError = "gave up";
      if (!options.rootSetup(&setupError)) {
        setupError = "rootSetup: " + setupError;
        errno = 0;
        ChildFail(kExitRootSetup, setupError.c_str());
      }
    }
    if (user != nullptr) {
      if (setgroups(identity.groups.size(), identity.groups.data()) != 0) ChildFail(kExitIdentity, "setgroups");
      if (setresgid(identity.gid, identity.gid, identity.gid) != 0) ChildFail(kExitIdentity, "setresgid");
      if (setresuid(identity.uid, identity.uid, identity.uid) != 0) ChildFail(kExitIdentity, "setresuid");
      uid_t r, e, s;
      if (getresuid(&r, &e, &s) != 0 || r != identity.uid || e != identity.uid || s != identity.uid) {
        ChildFail(kExitIdentity, "identity did not change");
      }
    }
    SetChildEnvironment(user != nullptr ? &identity : nullptr, options.env);
    std::string dir = !options.workingDirectory.empty() ? options.workingDirectory
                      : user != nullptr                 ? identity.home
                                                        : std::string("/");
    if (chdir(dir.c_str()) != 0) ChildFail(kExitIdentity, "chdir");
    (void)!write(readyPipe[1], "r", 1);
    (void)close(readyPipe[1]);
    char go = 0;
    ssize_t n;
    do {
      n = read(gatePipe[0], &go, 1);
    } while (n < 0 && errno == EINTR);
    (void)close(gatePipe[0]);
    if (n != 1) {
      errno = 0;
      ChildFail(kExitGate, "the parent gave up before the start");
    }
    int code = body();
    (void)fflush(nullptr);
    _exit(code);
  }

  for (int* fd : {&outPipe[1], &errPipe[1], &readyPipe[1], &gatePipe[0], &devNull}) CloseFd(fd);
  if (pid < 0) {
    result.err = ErrnoText("fork");
    for (int* fd : {&outPipe[0], &errPipe[0], &readyPipe[0], &gatePipe[1]}) CloseFd(fd);
    return result;
  }
  result.started = true;
  (void)setpgid(pid, pid);  // the same as the child's own call; whichever runs first

  // Wait until the child runs as the user, then let the caller act on it.
  bool go = false;
  {
    pollfd p{readyPipe[0], POLLIN, 0};
    int r;
    do {
      r = poll(&p, 1, MillisecondsLeft(deadline));
    } while (r < 0 && errno == EINTR);
    char c;
    if (r == 1 && read(readyPipe[0], &c, 1) == 1) go = true;
    CloseFd(&readyPipe[0]);
  }
  if (go && options.beforeRun) go = options.beforeRun(pid);
  if (go) (void)!write(gatePipe[1], "g", 1);
  CloseFd(&gatePipe[1]);

  for (int fd : {outPipe[0], errPipe[0]}) (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  bool outOpen = true, errOpen = true, reaped = false;
  while (!reaped) {
    pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
    int wait = std::min(50, MillisecondsLeft(deadline));
    if (outOpen || errOpen) {
      (void)poll(fds, 2, wait);
    } else {
      SleepMs(wait);
    }
    if (outOpen) outOpen = ReadSome(outPipe[0], &result.out);
    if (errOpen) errOpen = ReadSome(errPipe[0], &result.err);
    if (WaitNoIntr(pid, &result.status, WNOHANG) == pid) {
      reaped = true;
      // Whatever it wrote is in the pipes now; descendants that still hold
      // them are not waited for.
      if (outOpen) ReadSome(outPipe[0], &result.out);
      if (errOpen) ReadSome(errPipe[0], &result.err);
    } else if (MillisecondsLeft(deadline) == 0) {
      result.timedOut = true;
      (void)kill(-pid, SIGKILL);
      (void)kill(pid, SIGKILL);
      (void)WaitNoIntr(pid, &result.status, 0);
      reaped = true;
    }
  }
  CloseFd(&outPipe[0]);
  CloseFd(&errPipe[0]);
  return result;
}

ChildResult RunRootCommand(const std::vector<std::string>& argv, int timeoutMs = 30000) {
  ChildOptions options;
  options.timeout = std::chrono::milliseconds(timeoutMs);
  return RunProgramAsUser(nullptr, argv, options);
}

bool ValidPolkitName(const std::string& s) {
  if (s.empty() || s.size() > 200) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
  });
}

// Waits until polkit's verdict for uid and action satisfies `done`.
bool WaitForVerdict(uid_t uid, const std::string& action, const std::function<bool(int)>& done, int* last) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(15);
  for (;;) {
    *last = PolkitCheckForUid(uid, action);
    if (done(*last)) return true;
    if (MillisecondsLeft(deadline) == 0) return false;
    SleepMs(50);
  }
}

}  // namespace

// ---------------------------------------------------------------- results

bool ChildResult::Exited() const { return started && !timedOut && WIFEXITED(status); }
int ChildResult::ExitCode() const { return Exited() ? WEXITSTATUS(status) : -1; }
bool ChildResult::Signaled() const { return started && WIFSIGNALED(status); }
int ChildResult::Signal() const { return Signaled() ? WTERMSIG(status) : 0; }

std::string ChildResult::Describe() const {
  std::ostringstream s;
  if (!started) {
    s << "not started";
  } else if (timedOut) {
    s << "timed out";
  } else if (Exited()) {
    s << "exit " << ExitCode();
  } else if (Signaled()) {
    s << "signal " << Signal();
  } else {
    s << "wait status " << status;
  }
  if (!err.empty()) s << "; stderr: " << err;
  return s.str();
}

// ---------------------------------------------------------------- children

ChildResult RunAsUser(const TestUser* user, const std::function<int()>& fn, const ChildOptions& options) {
  return RunChild(user, fn, options);
}

ChildResult RunProgramAsUser(const TestUser* user, const std::vector<std::string>& argv, const ChildOptions& options) {
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/') {
    ChildResult r;
    r.err = "RunProgramAsUser: argv[0] must be an absolute path";
    return r;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<int> keep = options.keepFds;
  return RunChild(user,
                  [&args, keep]() -> int {
                    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) ChildFail(kExitExecFailed, "close_range");
                    for (int fd : keep) (void)fcntl(fd, F_SETFD, 0);
                    execv(args[0], args.data());
                    ChildFail(kExitExecFailed, args[0]);
                  },
                  options);
}

bool ProcessStartTime(pid_t pid, unsigned long long* startTime) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t close = data.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(data.substr(close + 1));
  std::string field;
  // After the name come the state (field 3) ... the start time (field 22).
  for (int i = 3; i <= 22; i++) {
    if (!(fields >> field)) return false;
  }
  char* end = nullptr;
  errno = 0;
  *startTime = strtoull(field.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

bool HasUnreapedChild() {
  siginfo_t info;
  memset(&info, 0, sizeof(info));
  int r;
  do {
    r = waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT);
  } while (r < 0 && errno == EINTR);
  return r == 0 && info.si_pid != 0;
}

// ---------------------------------------------------------------- users

bool CreateTestUser(TestUser* user, std::string* error) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; attempt++) {
    std::string name = "qltest" + std::to_string(getpid()) + "x" + std::to_string(counter++);
    if (getpwnam(name.c_str()) != nullptr) continue;
    ChildResult r;
    // useradd fails with 1 or 10 while another one holds the lock on the
    // password or group file; try again for a while.
    for (int tries = 0; tries < 50; tries++) {
      r = RunRootCommand({"/usr/sbin/useradd", "-m", "-U", "-s", "/bin/sh", "-c", "Quillon test user", name});
      if (r.ExitCode() != 1 && r.ExitCode() != 10) break;
      SleepMs(100);
    }
    if (r.ExitCode() == 9) continue;  // the name was taken meanwhile
    if (r.ExitCode() != 0) {
      SetError(error, "useradd " + name + ": " + r.Describe());
      return false;
    }
    struct passwd* pw = getpwnam(name.c_str());
    if (pw == nullptr) {
      SetError(error, "useradd " + name + " worked but getpwnam does not find it");
      return false;
    }
    user->name = name;
    user->uid = pw->pw_uid;
    user->gid = pw->pw_gid;
    user->home = pw->pw_dir;
    return true;
  }
  SetError(error, "no free test user name");
  return false;
}

bool DeleteTestUser(const TestUser& user, std::string* error) {
  if (user.name.rfind("qltest", 0) != 0) {
    SetError(error, "refusing to delete " + user.name + ": not a test user");
    return false;
  }
  if (getpwnam(user.name.c_str()) == nullptr) return true;
  ChildResult r;
  for (int tries = 0; tries < 50; tries++) {
    r = RunRootCommand({"/usr/sbin/userdel", "-r", "-f", user.name});
    if (r.ExitCode() != 1 && r.ExitCode() != 10) break;
    SleepMs(100);
  }
  // 6: no such user (gone meanwhile). 12 only warns about the mail spool
  // when the home is gone, so look for the home itself.
  struct stat st;
  bool homeGone = user.home.empty() || lstat(user.home.c_str(), &st) != 0;
  if ((r.ExitCode() == 0 || r.ExitCode() == 6 || r.ExitCode() == 12) && homeGone &&
      getpwnam(user.name.c_str()) == nullptr) {
    return true;
  }
  SetError(error, "userdel " + user.name + ": " + r.Describe());
  return false;
}

ScopedTestUser::ScopedTestUser() { ok_ = CreateTestUser(&user_, &error_); }

ScopedTestUser::~ScopedTestUser() {
  if (ok_) {
    std::string error;
    if (!DeleteTestUser(user_, &error)) fprintf(stderr, "ScopedTestUser: %s\n", error.c_str());
  }
}

// ---------------------------------------------------------------- polkit

std::string PolkitRulePath(const TestUser& user) {
  return std::string(kRulesDir) + "/05-quillon-test-" + user.name + ".rules";
}

int PolkitCheckForUid(uid_t uid, const std::string& actionId) {
  unsigned long long start = 0;
  if (!ProcessStartTime(getpid(), &start)) return -1;
  std::string subject = std::to_string(getpid()) + "," + std::to_string(start) + "," + std::to_string(uid);
  ChildResult r = RunRootCommand({"/usr/bin/pkcheck", "--action-id", actionId, "--process", subject}, 20000);
  return r.Exited() ? r.ExitCode() : -1;
}

bool WritePolkitRule(const TestUser& user, PolkitAnswer answer, const std::vector<std::string>& actionIds,
                     std::string* error) {
  if (!ValidPolkitName(user.name) || actionIds.empty()) {
    SetError(error, "WritePolkitRule: bad user name or no action");
    return false;
  }
  const char* verdict = answer == PolkitAnswer::Yes ? "YES" : "NO";
  std::ostringstream js;
  // The first two lines are read back by RemovePolkitRule.
  js << "// probe: " << actionIds[0] << "\n// answer: " << verdict << "\n"
     << "// Written by a Quillon system test; it is removed when the test ends.\n"
     << "polkit.addRule(function(action, subject) {\n"
     << "    var actions = [";
  for (size_t i = 0; i < actionIds.size(); i++) {
    if (!ValidPolkitName(actionIds[i])) {
      SetError(error, "WritePolkitRule: bad action id " + actionIds[i]);
      return false;
    }
    js << (i ? ", " : "") << '"' << actionIds[i] << '"';
  }
  js << "];\n"
     << "    if (subject.user == \"" << user.name << "\" && actions.indexOf(action.id) >= 0) {\n"
     << "        return polkit.Result." << verdict << ";\n"
     << "    }\n"
     << "});\n";

  // Written aside and renamed into place, so polkitd never reads half a file;
  // it ignores names that do not end in ".rules".
  std::string finalPath = PolkitRulePath(user);
  std::string tmpPath = std::string(kRulesDir) + "/.quillon-test-" + user.name + ".tmp";
  (void)unlink(tmpPath.c_str());
  int fd = open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    SetError(error, ErrnoText("create " + tmpPath));
    return false;
  }
  bool ok = WriteAll(fd, js.str()) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (!ok || rename(tmpPath.c_str(), finalPath.c_str()) != 0) {
    SetError(error, ErrnoText("write " + finalPath));
    (void)unlink(tmpPath.c_str());
    return false;
  }
  int want = answer == PolkitAnswer::Yes ? 0 : 1;
  int last = -1;
  if (!WaitForVerdict(user.uid, actionIds[0], [want](int v) { return v == want; }, &last)) {
    SetError(error, "polkitd did not take up " + finalPath + " (pkcheck says " + std::to_string(last) + ")");
    return false;
  }
  return true;
}

bool MakePolkitAdministrator(const TestUser& user, const TestUser& admin, const std::string& password,
                             std::string* rulePath, std::string* error) {
  if (!ValidPolkitName(user.name) || !ValidPolkitName(admin.name) || !ValidPolkitName(password)) {
    SetError(error, "MakePolkitAdministrator: bad name or password");
    return false;
  }
  ChildResult r = RunRootCommand({"/bin/sh", "-c", "echo '" + admin.name + ":" + password + "' | /usr/sbin/chpasswd"});
  if (r.ExitCode() != 0) {
    SetError(error, "chpasswd: " + r.Describe());
    return false;
  }
  *rulePath = std::string(kRulesDir) + "/39-" + user.name + "-admin.rules";
  int fd = open(rulePath->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  bool ok = fd >= 0 && WriteAll(fd, "polkit.addAdminRule(function(action, subject) {\n  if (subject.user == \"" +
                                        user.name + "\") return [\"unix-user:" + admin.name +
                                        "\"];\n  return null;\n});\n");
  if (fd >= 0) ok = close(fd) == 0 && ok;
  if (!ok) SetError(error, ErrnoText("write " + *rulePath));
  return ok;
}

bool RemovePolkitRule(const TestUser& user, std::string* error) {
  std::string path = PolkitRulePath(user);
  std::ifstream f(path);
  if (!f) return true;
  std::string probeLine, answerLine;
  std::getline(f, probeLine);
  std::getline(f, answerLine);
  f.close();
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    SetError(error, ErrnoText("unlink " + path));
    return false;
  }
  const std::string probePrefix = "// probe: ", answerPrefix = "// answer: ";
  if (probeLine.rfind(probePrefix, 0) != 0 || answerLine.rfind(answerPrefix, 0) != 0) return true;
  std::string action = probeLine.substr(probePrefix.size());
  int old = answerLine.substr(answerPrefix.size()) == "YES" ? 0 : 1;
  int last = -1;
  if (!WaitForVerdict(user.uid, action, [old](int v) { return v != old && v >= 0; }, &last)) {
    SetError(error, "polkitd still answers as " + path + " said");
    return false;
  }
  return true;
}

ScopedPolkitRule::ScopedPolkitRule(const TestUser& user, PolkitAnswer answer,
                                   const std::vector<std::string>& actionIds)
    : user_(user) {
  ok_ = WritePolkitRule(user, answer, actionIds, &error_);
}

ScopedPolkitRule::~ScopedPolkitRule() {
  std::string error;
  if (!RemovePolkitRule(user_, &error)) fprintf(stderr, "ScopedPolkitRule: %s\n", error.c_str());
}

bool PolkitIsRunning(std::string* why) {
  ChildResult r = RunRootCommand({"/usr/bin/dbus-send", "--system", "--print-reply", "--reply-timeout=3000",
                                  "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.PolicyKit1"},
                                 10000);
  if (r.ExitCode() != 0) {
    SetError(why, "the system bus does not answer (run scripts/ci/start-services.sh): " + r.Describe());
    return false;
  }
  if (r.out.find("boolean true") == std::string::npos) {
    SetError(why, "polkitd is not on the system bus (run scripts/ci/start-services.sh)");
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- agent

CancelAgent::~CancelAgent() { Stop(); }

void CancelAgent::ReadAvailable(int timeoutMs) {
  if (outFd_ < 0) return;
  pollfd p{outFd_, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r == 1 && !ReadSome(outFd_, &output_)) CloseFd(&outFd_);
}

bool CancelAgent::Start(pid_t subject, std::string* error) {
  if (pid_ > 0) {
    SetError(error, "CancelAgent already runs");
    return false;
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    SetError(error, ErrnoText("pipe"));
    return false;
  }
  std::string pidText = std::to_string(subject);
  const char* argv[] = {"/usr/bin/python3", kAgentScript, "--pid", pidText.c_str(), "--lifetime", "600", nullptr};
  (void)fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(out[1], 1) < 0) ChildFail(kExitExecFailed, "dup2");
    (void)close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(argv[0], const_cast<char* const*>(argv));
    ChildFail(kExitExecFailed, argv[0]);
  }
  (void)close(out[1]);
  if (pid < 0) {
    (void)close(out[0]);
    SetError(error, ErrnoText("fork"));
    return false;
  }
  pid_ = pid;
  outFd_ = out[0];
  output_.clear();
  (void)fcntl(outFd_, F_SETFL, fcntl(outFd_, F_GETFL) | O_NONBLOCK);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
  while (output_.find("ready\n") == std::string::npos) {
    if (outFd_ < 0 || MillisecondsLeft(deadline) == 0) {
      Stop();
      SetError(error, "the cancel agent did not register (is polkitd running?)");
      return false;
    }
    ReadAvailable(std::min(100, MillisecondsLeft(deadline)));
  }
  return true;
}

void CancelAgent::Stop() {
  if (pid_ > 0) {
    (void)kill(pid_, SIGTERM);
    int status = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    bool reaped = false;
    while (!reaped && MillisecondsLeft(deadline) > 0) {
      ReadAvailable(50);
      if (outFd_ < 0) SleepMs(20);
      reaped = WaitNoIntr(pid_, &status, WNOHANG) == pid_;
    }
    if (!reaped) {
      (void)kill(pid_, SIGKILL);
      (void)WaitNoIntr(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (outFd_ >= 0) {
    (void)ReadSome(outFd_, &output_);
    CloseFd(&outFd_);
  }
}

int CancelAgent::DismissedCount() const {
  int count = 0;
  for (size_t at = output_.find("cancelled "); at != std::string::npos; at = output_.find("cancelled ", at + 1))
    count++;
  return count;
}

// ---------------------------------------------------------------- mounts

bool MountTmpfs(const std::string& dir, unsigned long flags, const std::string& data, std::string* error) {
  if (mount("tmpfs", dir.c_str(), "tmpfs", flags, data.empty() ? nullptr : data.c_str()) != 0) {
    SetError(error, ErrnoText("mount tmpfs on " + dir));
    return false;
  }
  return true;
}

bool MountOverlays(const std::string& base, const std::vector<std::string>& dirs, std::string* error) {
  if (!MountTmpfs(base, MS_NOSUID | MS_NODEV, "mode=0755,size=64m", error)) return false;
  for (const std::string& dir : dirs) {
    std::string name = dir.substr(1);
    for (char& c : name) c = c == '/' ? '-' : c;
    std::string upper = base + "/upper-" + name, work = base + "/work-" + name;
    if (mkdir(upper.c_str(), 0755) != 0 || mkdir(work.c_str(), 0755) != 0) {
      SetError(error, ErrnoText("mkdir in " + base));
      return false;
    }
    std::string data = "lowerdir=" + dir + ",upperdir=" + upper + ",workdir=" + work;
    if (mount("overlay", dir.c_str(), "overlay", 0, data.c_str()) != 0) {
      SetError(error, ErrnoText("overlay on " + dir));
      return false;
    }
  }
  return true;
}

bool MakeVfatImage(const std::string& imagePath, unsigned sizeMiB, std::string* error) {
  int fd = open(imagePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    SetError(error, ErrnoText("create " + imagePath));
    return false;
  }
  bool ok = ftruncate(fd, static_cast<off_t>(sizeMiB) << 20) == 0;
  ok = (close(fd) == 0) && ok;
  if (!ok) {
    SetError(error, ErrnoText("size " + imagePath));
    return false;
  }
  ChildResult r = RunRootCommand({"/usr/sbin/mkfs.vfat", "-n", "QLTEST", imagePath});
  if (r.ExitCode() != 0) {
    SetError(error, "mkfs.vfat " + imagePath + ": " + r.Describe());
    return false;
  }
  return true;
}

bool MountLoopImage(const std::string& imagePath, const std::string& dir, const std::string& fsType,
                    const std::string& options, std::string* error) {
  std::string opts = options.empty() ? "loop" : "loop," + options;
  ChildResult r = RunRootCommand({"/bin/mount", "-t", fsType, "-o", opts, imagePath, dir});
  if (r.ExitCode() != 0) {
    SetError(error, "mount " + imagePath + " on " + dir + ": " + r.Describe());
    return false;
  }
  return true;
}

bool FileSystemAvailable(const std::string& type) {
  auto listed = [&type]() {
    std::ifstream f("/proc/filesystems");
    std::string line;
    while (std::getline(f, line)) {
      size_t tab = line.rfind('\t');
      if (line.substr(tab == std::string::npos ? 0 : tab + 1) == type) return true;
    }
    return false;
  };
  if (listed()) return true;
  if (!ValidPolkitName(type)) return false;
  if (access("/sbin/modprobe", X_OK) == 0) (void)RunRootCommand({"/sbin/modprobe", "-q", type}, 20000);
  return listed();
}

// ---------------------------------------------------------------- files

bool MakeScratchDir(const std::string& tag, std::string* path, std::string* error) {
  std::string templ = std::string(kScratchPrefix) + tag + "-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) {
    SetError(error, ErrnoText("mkdtemp " + templ));
    return false;
  }
  if (chmod(buf.data(), 0755) != 0) {
    SetError(error, ErrnoText("chmod"));
    return false;
  }
  *path = buf.data();
  return true;
}

bool RemoveScratchDir(const std::string& path, std::string* error) {
  if (path.rfind(kScratchPrefix, 0) != 0 || path.find("/..") != std::string::npos ||
      path.find('/', strlen(kScratchPrefix)) != std::string::npos) {
    SetError(error, "refusing to remove " + path);
    return false;
  }
  ChildResult r = RunRootCommand({"/bin/rm", "-rf", "--one-file-system", "--", path});
  if (r.ExitCode() != 0) {
    SetError(error, "rm " + path + ": " + r.Describe());
    return false;
  }
  return true;
}

}  // namespace quillon::systest
