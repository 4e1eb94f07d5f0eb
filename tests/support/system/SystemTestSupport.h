// Helpers for system tests that run as root: throwaway users, children that
// run as such a user, polkit rules, an authentication agent that dismisses
// every request, and private mount namespaces.
//
// Everything here changes the machine (users, /etc/polkit-1/rules.d, mounts
// in a child's namespace), so a test that uses it must run as root, hold the
// CTest RESOURCE_LOCK "system", and undo what it did; the Scoped* holders do
// that in their destructors. Every wait is bounded. The routines fork, so
// call them from the test's main thread while no other thread runs.
//
// Errors are reported as false plus a text in *error (error may be NULL),
// so a test can write: ASSERT_TRUE(CreateTestUser(&user, &error)) << error;
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quillon::systest {

// ---------------------------------------------------------------- users

struct TestUser {
  std::string name;  // qltest<pid><n>
  uid_t uid = 0;
  gid_t gid = 0;     // the user's own group, created with it
  std::string home;  // created with the user, owned by it
};

// Creates a new user with its own group and a home folder (useradd -m -U),
// shell /bin/sh. The name is unique on this machine.
bool CreateTestUser(TestUser* user, std::string* error);
// Removes the user, its group and its home (userdel -r -f). Harmless when
// the user is already gone.
bool DeleteTestUser(const TestUser& user, std::string* error);

// Creates a user on construction and deletes it on destruction.
class ScopedTestUser {
 public:
  ScopedTestUser();
  ~ScopedTestUser();
  ScopedTestUser(const ScopedTestUser&) = delete;
  ScopedTestUser& operator=(const ScopedTestUser&) = delete;
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  const TestUser& user() const { return user_; }
  const TestUser* operator->() const { return &user_; }

 private:
  TestUser user_;
  bool ok_ = false;
  std::string error_;
};

// ---------------------------------------------------------------- children

struct ChildOptions {
  // The child is killed (its whole process group, SIGKILL) at this deadline.
  std::chrono::milliseconds timeout{60000};
  // Runs in the child first, still as root: after the private mount
  // namespace was entered, before the switch to the user. Return false, with
  // a text in *error, to give up: the child prints the text on its standard
  // error and exits with 122.
  std::function<bool(std::string* error)> rootSetup;
  // Runs in the parent once the child has switched to the user and before
  // it goes on; the child waits for it. Its argument is the child's pid,
  // which is then a process of the user (register an agent for it here).
  // Return false to give up (the child then exits with 123).
  std::function<bool(pid_t)> beforeRun;
  // Enter a private mount namespace (unshare(CLONE_NEWNS), / made rprivate)
  // before rootSetup: mounts made there are gone when the child ends.
  bool privateMountNamespace = false;
  // Extra environment entries "NAME=value", set after the defaults.
  std::vector<std::string> env;
  // Standard input for the child; -1 means /dev/null. Not closed here.
  int stdinFd = -1;
  // Programs only: descriptors, besides 0 to 2, that stay open across exec.
  // All others are closed. Functions keep every descriptor of the test.
  std::vector<int> keepFds;
  // The child's working folder; empty means the user's home (or / as root).
  std::string workingDirectory;
};

struct ChildResult {
  bool started = false;   // the fork worked
  bool timedOut = false;  // killed at the deadline
  int status = 0;         // the wait status
  std::string out;        // standard output (at most 16 MiB)
  std::string err;        // standard error (at most 16 MiB)

  bool Exited() const;
  int ExitCode() const;  // -1 unless Exited()
  bool Signaled() const;
  int Signal() const;    // 0 unless Signaled()
  // "exit 3", "signal 9", "timed out", ... plus standard error, for messages.
  std::string Describe() const;
};

// Runs fn in a forked child and returns its exit code, output and error.
// With a user, the child takes its identity completely (supplementary
// groups, real, effective and saved ids), gets a fresh environment (PATH,
// HOME, USER, LOGNAME, SHELL, LANG, sanitizer options, then options.env) and
// starts in its home. Without one (nullptr) it stays root and keeps the
// environment. The child's stdio buffers are flushed before it exits; fn's
// return value is its exit code. GoogleTest assertions inside fn do not reach
// the parent: return a code instead.
ChildResult RunAsUser(const TestUser* user, const std::function<int()>& fn,
                      const ChildOptions& options = ChildOptions());
// The same for a program: argv[0] must be an absolute path (no PATH search).
ChildResult RunProgramAsUser(const TestUser* user, const std::vector<std::string>& argv,
                             const ChildOptions& options = ChildOptions());

// Field 22 of /proc/<pid>/stat: what polkit calls the process's start time.
bool ProcessStartTime(pid_t pid, unsigned long long* startTime);

// True when this process has a child that ended and was not waited for. It
// looks without reaping (waitid WNOWAIT), so it can be asked again.
bool HasUnreapedChild();

// ---------------------------------------------------------------- polkit

enum class PolkitAnswer { Yes, No };

// Path of the rules file for that user in /etc/polkit-1/rules.d.
std::string PolkitRulePath(const TestUser& user);
// Writes a rules file that answers `answer` for `user` and each of
// `actionIds` (and leaves every other question to the other rules), then
// waits (bounded) until polkitd gives that answer for the first action id.
bool WritePolkitRule(const TestUser& user, PolkitAnswer answer,
                     const std::vector<std::string>& actionIds, std::string* error);
// Removes that user's rules file and waits until polkitd no longer gives
// the old answer. Harmless when there is no file.
bool RemovePolkitRule(const TestUser& user, std::string* error);

// Asks polkit, as root, whether `uid` holds `actionId` (pkcheck, no user
// interaction). The subject is this process, under that uid. Returns
// pkcheck's exit status: 0 yes, 1 no, 2 needs authentication, 3 dismissed,
// 127 an error such as an unknown action; -1 when pkcheck could not run.
int PolkitCheckForUid(uid_t uid, const std::string& actionId);

// Makes `admin` the administrator whose password polkit asks for when
// `user` needs one, and gives `admin` the password `password`: a rules file,
// whose path goes to *rulePath for the caller to remove, and chpasswd.
// polkitd reads the file with its next change of rules.
bool MakePolkitAdministrator(const TestUser& user, const TestUser& admin, const std::string& password,
                             std::string* rulePath, std::string* error);

class ScopedPolkitRule {
 public:
  ScopedPolkitRule(const TestUser& user, PolkitAnswer answer, const std::vector<std::string>& actionIds);
  ~ScopedPolkitRule();
  ScopedPolkitRule(const ScopedPolkitRule&) = delete;
  ScopedPolkitRule& operator=(const ScopedPolkitRule&) = delete;
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

 private:
  TestUser user_;
  bool ok_ = false;
  std::string error_;
};

// The polkit action pkexec asks for.
inline constexpr const char* kPkexecAction = "org.freedesktop.policykit.exec";

// True when the system bus answers and polkitd owns its name; a test that
// needs them skips otherwise (scripts/ci/start-services.sh starts them).
bool PolkitIsRunning(std::string* why);

// ---------------------------------------------------------------- agent

// A polkit authentication agent (cancel_agent.py, run as root) that
// dismisses every request of one subject process: pkexec started by that
// process exits with 126. pkexec authorizes its parent, so the subject is
// the process that starts pkexec.
class CancelAgent {
 public:
  CancelAgent() = default;
  ~CancelAgent();
  CancelAgent(const CancelAgent&) = delete;
  CancelAgent& operator=(const CancelAgent&) = delete;
  // Starts the agent and waits (bounded) until polkitd has accepted it.
  bool Start(pid_t subject, std::string* error);
  // Ends it (SIGTERM, then SIGKILL after a bounded wait) and reaps it.
  void Stop();
  // How many requests it dismissed; complete after Stop().
  int DismissedCount() const;
  const std::string& Output() const { return output_; }

 private:
  void ReadAvailable(int timeoutMs);
  pid_t pid_ = -1;
  int outFd_ = -1;
  std::string output_;
};

// ---------------------------------------------------------------- mounts

// For rootSetup in a private mount namespace (pass rootSetup's error on).
// Mounts a tmpfs on dir with
// the mount(2) flags (MS_NOSUID, ...) and data ("mode=0755,size=4m").
bool MountTmpfs(const std::string& dir, unsigned long flags, const std::string& data, std::string* error);
// For rootSetup in a private mount namespace: a tmpfs on `base` (hidden
// from everyone outside) holds an overlay's changes for each of `dirs`, so
// that those system folders can be written to while the machine's own stay
// untouched. The changes to `dir` land in base + "/upper-" + dir without its
// first "/" and with "-" for every other.
bool MountOverlays(const std::string& base, const std::vector<std::string>& dirs, std::string* error);
// Makes an empty file of sizeMiB and a FAT file system in it (mkfs.vfat).
// Needs no namespace; the caller removes the file.
bool MakeVfatImage(const std::string& imagePath, unsigned sizeMiB, std::string* error);
// Mounts an image through a loop device (mount -o loop,<options>) of the
// given type. The loop device is released when the mount goes, which in a
// private namespace happens at the latest when the child ends.
bool MountLoopImage(const std::string& imagePath, const std::string& dir, const std::string& fsType,
                    const std::string& options, std::string* error);

// Whether the kernel can mount that file system type (/proc/filesystems),
// after trying to load its module. A test skips when it cannot.
bool FileSystemAvailable(const std::string& type);

// ---------------------------------------------------------------- files

// Creates a fresh folder /var/tmp/qltest-<tag>-XXXXXX, mode 0755, owned by
// root. /var/tmp rather than /tmp: /tmp may be a tmpfs mounted nosuid.
bool MakeScratchDir(const std::string& tag, std::string* path, std::string* error);
// rm -rf --one-file-system path; refuses anything outside /var/tmp/qltest-.
bool RemoveScratchDir(const std::string& path, std::string* error);

}  // namespace quillon::systest
