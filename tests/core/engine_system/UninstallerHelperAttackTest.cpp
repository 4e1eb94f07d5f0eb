// Attacks on the real helper tool UninstallerHelper. A set-user-ID copy may
// still lie about (an older version made one), and a user can run it, or
// the fresh copy the engine installs, with any input, environment and
// request they like: it gives root up for good and asks pkexec, which runs
// only the installed tool that the polkit action names. That root instance
// runs only its own bundle's programs, cleanly, and nothing else.

#include "EngineSystemTestSupport.h"

#include "MoreSecInstall.h"

#include <Authorization.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <functional>
#include <memory>
#include <thread>

using namespace quillon::enginetest;

namespace {

// The command's refusals that run nothing: a program that is not root's
// alone, and resource limits that cannot be raised for a whole run.
const OSStatus kUntrustedProgram = 5365;
const OSStatus kLimitsTooLow = 5366;

// Idle processes of a user, gone again with the holder.
class UserCrowd {
 public:
  UserCrowd(const sys::TestUser& user, int count) {
    for (int i = 0; i < count; i++) {
      pid_t pid = fork();
      if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(user.gid, user.gid, user.gid) != 0 ||
            setresuid(user.uid, user.uid, user.uid) != 0) {
          _exit(1);
        }
        for (;;) pause();
      }
      if (pid < 0) return;
      fPids.push_back(pid);
    }
  }
  ~UserCrowd() {
    for (pid_t pid : fPids) kill(pid, SIGKILL);
    for (pid_t pid : fPids) waitpid(pid, nullptr, 0);
  }
  size_t size() const { return fPids.size(); }

 private:
  std::vector<pid_t> fPids;
};

class UninstallerHelperAttackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: makes set-user-ID tools, users and polkit rules";
    std::string why;
    if (!sys::PolkitIsRunning(&why)) GTEST_SKIP() << "needs polkitd on the system bus: " << why;
    fUserHolder = std::make_unique<sys::ScopedTestUser>();
    ASSERT_TRUE(fUserHolder->ok()) << fUserHolder->error();
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("engine-attack", &fScratch, &error)) << error;
    // The leftover: a root-owned set-user-ID copy, as a repair leaves it.
    fTool = fScratch + "/leftover/UninstallerHelper";
    ASSERT_TRUE(MakeDirs(fScratch + "/leftover"));
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    ASSERT_EQ(MoreUNIXCopyFile(RealHelperTool().c_str(), fTool.c_str()), 0);
    ASSERT_EQ(chown(fTool.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(fTool.c_str(), 04555), 0);
  }
  void TearDown() override {
    // Whatever a run did, no set-user-ID file is left in the user's home.
    if (fUserHolder && fUserHolder->ok()) {
      sys::ChildResult found = sys::RunProgramAsUser(nullptr, {"/usr/bin/find", Home(), "-perm", "-4000"});
      EXPECT_EQ(found.out, "") << found.Describe();
    }
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  const sys::TestUser& User() const { return fUserHolder->user(); }
  std::string Home() const { return User().home; }

  // The user runs the leftover tool with 32 random bytes for an
  // authorization and one request.
  sys::ChildResult RunLeftover(CFDictionaryRef request, sys::ChildOptions options = sys::ChildOptions()) {
    return RunToolWithInput(&User(), {fTool}, RandomBytes(kAuthorizationExternalFormLength) + FrameOf(request),
                            options);
  }

  // The root instance, as pkexec starts it (real, effective and saved user
  // ID 0), from the bundle at `bundle`, which the polkit action names.
  sys::ChildResult RunRootInstance(const std::string& bundle, CFDictionaryRef request,
                                   sys::ChildOptions options = sys::ChildOptions(),
                                   const std::vector<std::string>& wrapper = {}) {
    InstalledAt(bundle + "/UninstallerHelper", &options);
    std::vector<std::string> argv = wrapper;
    argv.push_back(bundle + "/UninstallerHelper");
    return RunToolWithInput(nullptr, argv, RandomBytes(kAuthorizationExternalFormLength) + FrameOf(request), options);
  }

  // A fresh copy of the real tool, as the engine installs it before its
  // first run: the user's, not yet set-user-ID. Run, it relays through pkexec.
  std::string FreshCopy() {
    const std::string folder = fScratch + "/fresh";
    const std::string path = folder + "/UninstallerHelper";
    bool made = MakeDirs(folder) && MoreUNIXCopyFile(RealHelperTool().c_str(), path.c_str()) == 0 &&
                chown(path.c_str(), User().uid, User().gid) == 0 && chmod(path.c_str(), 0755) == 0;
    EXPECT_TRUE(made) << path;
    return path;
  }

  // Names in the home that start with "owned-by-".
  std::vector<std::string> Marks() const {
    std::vector<std::string> marks;
    DIR* dir = opendir(Home().c_str());
    if (dir == nullptr) return marks;
    while (dirent* entry = readdir(dir)) {
      if (strncmp(entry->d_name, "owned-by-", 9) == 0) marks.push_back(entry->d_name);
    }
    closedir(dir);
    return marks;
  }

  std::unique_ptr<sys::ScopedTestUser> fUserHolder;
  std::string fScratch;
  std::string fTool;
};

// The user's own script, which would leave a root-owned mark in their home.
// A set-user-ID copy keeps the user as its real user ID, so the user could
// signal or stop it while it holds the system lock: it gives root up for
// good and asks pkexec, which refuses a user without the right.
TEST_F(UninstallerHelperAttackTest, AUserWithoutTheRightGetsNothingRunAsRoot) {
  const std::string script = Home() + "/evil.sh";
  ASSERT_TRUE(WriteScript(script, "touch " + Home() + "/owned-by-$(id -u)\n"));
  ASSERT_EQ(chown(script.c_str(), User().uid, User().gid), 0);
  CFRef<CFDictionaryRef> request = CommandRequest(script);
  const std::string bundle = fScratch + "/Installed.bundle";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));

  struct Case {
    const char* name;
    bool denyRule;  // else no rule at all: an administrator's password, and no agent to ask for it
    int exitCode;
    OSStatus aewp;
  } cases[] = {{"no rule", false, 5, -60007}, {"denied", true, 2, -60005}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<sys::ScopedPolkitRule> rule;
    if (c.denyRule) {
      rule = std::make_unique<sys::ScopedPolkitRule>(User(), sys::PolkitAnswer::No,
                                                     std::vector<std::string>{kQuillonUninstallRight, sys::kPkexecAction});
      ASSERT_TRUE(rule->ok()) << rule->error();
    }
    sys::ChildOptions options;
    InstalledAt(bundle + "/UninstallerHelper", &options);
    sys::ChildResult result = RunLeftover(request.get(), options);
    EXPECT_TRUE(result.Exited() && result.ExitCode() == c.exitCode) << result.Describe();
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("MoreSecurity: AEWP returned " + std::to_string(c.aewp) + "\n"), std::string::npos)
        << result.err;
    EXPECT_TRUE(Marks().empty());
  }
}

// Even for a user who may uninstall, nothing of their environment reaches
// the root script: bash would read BASH_ENV, a POSIX shell ENV, every shell
// IFS and SHELLOPTS, the dynamic linker LD_PRELOAD.
TEST_F(UninstallerHelperAttackTest, TheUsersEnvironmentNeverReachesTheRootScript) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string bundle = fScratch + "/Env.bundle";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  ASSERT_TRUE(WriteFile(bundle + "/Resources/uninstall.ss",
                        "#!/bin/bash\nexec 3<&-\necho \"uid $(id -u) $(id -ru)\"\nenv | LC_ALL=C sort\n", 0755));
  const std::string evil = Home() + "/evil-env.sh";
  ASSERT_TRUE(WriteScript(evil, "touch " + Home() + "/owned-by-$(id -u)\n"));
  ASSERT_EQ(chown(evil.c_str(), User().uid, User().gid), 0);

  sys::ChildOptions options;
  options.env = {"BASH_ENV=" + evil, "ENV=" + evil, "IFS=/", "SHELLOPTS=xtrace", "PS4=$(" + evil + ")",
                 "LD_PRELOAD=" + Home() + "/evil.so", "QUILLON_BUNDLE=" + Home()};
  sys::ChildResult result = RunRootInstance(bundle, CommandRequest(bundle + "/Resources/uninstall.ss").get(), options);
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  ToolAnswer answer = ParseToolAnswer(result.out);
  ASSERT_TRUE(answer.parsed);
  EXPECT_EQ(answer.error, noErr) << answer.log;
  EXPECT_EQ(answer.log, "uid 0 0\nHOME=/root\nLANG=C.UTF-8\nPATH=/usr/sbin:/usr/bin:/sbin:/bin\nPWD=/\n"
                        "QUILLON_BUNDLE=/proc/self/fd/5\nSHLVL=1\n_=/usr/bin/env\n");
  EXPECT_TRUE(Marks().empty());
}

// Linux counts every process and thread of the real user against
// RLIMIT_NPROC, and a desktop session easily has a few hundred, while the
// tool's own limits cap it at 100 (where root may raise hard limits; here the
// user lowers it). The tool acts as the user between its forks for polkit
// and for its programs, which must not fail for that.
TEST_F(UninstallerHelperAttackTest, AUserWithManyProcessesStillGetsTheUninstallRun) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string bundle = fScratch + "/Busy.bundle";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  ASSERT_TRUE(WriteFile(bundle + "/Resources/uninstall.ss", "#!/bin/sh\nexec 3<&-\necho \"uid $(id -u)\"\n", 0755));

  UserCrowd crowd(User(), 150);
  ASSERT_EQ(crowd.size(), 150u);

  sys::ChildResult result = RunRootInstance(bundle, CommandRequest(bundle + "/Resources/uninstall.ss").get(),
                                            sys::ChildOptions(), {"/bin/bash", "-c", "ulimit -Su 100 && exec \"$0\""});
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  ToolAnswer answer = ParseToolAnswer(result.out);
  ASSERT_TRUE(answer.parsed);
  EXPECT_EQ(answer.error, noErr) << answer.log;
  EXPECT_EQ(answer.log, "uid 0\n");
}

// The engine asks for the script by its place in the bundle; a link there
// (say, to something the user wrote) is refused by the tool, and the whole
// uninstall fails with nothing run.
TEST_F(UninstallerHelperAttackTest, ACommandPathThatIsASymbolicLinkIsRefused) {
  const std::string bundle = fScratch + "/Link.bundle";
  const std::string marker = fScratch + "/script-ran";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  ASSERT_TRUE(WriteScript(fScratch + "/elsewhere.ss", "touch " + marker + "\n"));
  ASSERT_EQ(symlink((fScratch + "/elsewhere.ss").c_str(), (bundle + "/Resources/uninstall.ss").c_str()), 0);
  ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", "touch " + marker + "-user\n"));
  const std::string data = fScratch + "/data";
  ASSERT_TRUE(MakeDirs(data));

  // As root the tool runs the request itself: the link is all that stops it.
  sys::ChildOptions options;
  options.env = {"XDG_DATA_HOME=" + data};
  InstalledAt(bundle + "/UninstallerHelper", &options);
  sys::ChildResult result = sys::RunAsUser(
      nullptr,
      [&]() -> int {
        std::string log;
        RunEngine(bundle, 1, &log);
        return 0;
      },
      options);
  EngineRun run = ParseEngineRun(result.out);
  ASSERT_TRUE(run.reported) << result.Describe();
  EXPECT_EQ(run.status, kUntrustedProgram);
  // The tool says why, and the failure text ends the log.
  const std::string refusal = "UninstallerHelper: refused CommandPath \"" + bundle + "/Resources/uninstall.ss\": " +
                              bundle + "/Resources/uninstall.ss is a symbolic link\n";
  EXPECT_EQ(run.log, refusal + FailureText(kUntrustedProgram));
  EXPECT_EQ(EngineDiagnostics(result.err), std::vector<std::string>{Diagnostic(kUntrustedProgram, 367)});
  EXPECT_NE(result.err.find(refusal), std::string::npos) << "the reason reaches standard error:\n" << result.err;
  EXPECT_FALSE(Exists(marker));
  EXPECT_FALSE(Exists(marker + "-user"));
  EXPECT_FALSE(Exists(data + "/Quillon"));
}

// Receipts are trusted only as far as each entry stays where it says: an
// entry that climbs out with "..", or passes through a link to a folder, is
// refused and logged, on the machine's real paths (here overlays in a private
// mount namespace), with the real bundle's script.
TEST_F(UninstallerHelperAttackTest, ReceiptEntriesThatLeadToEtcPasswdAreRefusedAndLogged) {
  if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string overlays = fScratch + "/overlays";
  ASSERT_TRUE(MakeDirs(overlays));
  const std::string passwd = ReadFile("/etc/passwd");
  ASSERT_NE(passwd, "<missing>");

  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.rootSetup = [&](std::string* error) {
    if (!MountOverlays(overlays, {"/etc", "/opt", "/var/lib"}, error)) return false;
    bool made = WriteFile("/opt/quillon/ok", "ours\n") && symlink("/etc", "/opt/quillon/lib") == 0 &&
                WriteFile("/var/lib/quillon/receipts/quillon-root.list",
                          "/opt/quillon\n"
                          "/opt/quillon/../../etc/passwd\n"
                          "/opt/quillon/lib/passwd\n"
                          "/opt/quillon/ok\n");
    if (!made) *error = "cannot lay out the product";
    return made;
  };
  // The child is the user's program; what the namespace holds afterwards is
  // checked by a second program in the same namespace: the tool's own run.
  std::string request = FrameOf(CommandRequest(BundlePath("Resources/uninstall.ss")).get());
  std::string script = "\"$1\" <\"$2\" >\"$3\"; echo \"tool $?\"; "
                       "cmp -s /etc/passwd \"$4\" && echo 'passwd kept'; "
                       "[ -e /opt/quillon/ok ] || echo 'ok removed'";
  const std::string input = fScratch + "/input", output = fScratch + "/output", saved = fScratch + "/passwd";
  ASSERT_TRUE(WriteFile(input, RandomBytes(kAuthorizationExternalFormLength) + request, 0644));
  ASSERT_TRUE(WriteFile(saved, passwd, 0644));
  ASSERT_TRUE(WriteFile(output, "", 0666));
  ASSERT_EQ(chmod(output.c_str(), 0666), 0);
  InstalledAt(RealHelperTool(), &options);
  sys::ChildResult result =
      sys::RunProgramAsUser(nullptr, {"/bin/sh", "-c", script, "sh", RealHelperTool(), input, output, saved}, options);
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  EXPECT_EQ(result.out, "tool 0\npasswd kept\nok removed\n") << result.err;

  ToolAnswer answer = ParseToolAnswer(ReadFile(output));
  ASSERT_TRUE(answer.parsed);
  EXPECT_EQ(answer.error, 5364) << answer.log;
  for (const char* line : {"RemoveReceipted: refused /opt/quillon/../../etc/passwd: contains \".\" or \"..\"\n",
                           "RemoveReceipted: refused /opt/quillon/lib/passwd: /opt/quillon/lib is a symbolic link\n",
                           "RemoveReceipted: removed /opt/quillon/ok\n"}) {
    EXPECT_NE(answer.log.find(line), std::string::npos) << line << answer.log;
  }
  EXPECT_EQ(ReadFile("/etc/passwd"), passwd);
}


// A user whom a site grants the uninstall right, and nothing else, names
// programs of their own making: their own script; the genuine script through
// a link of theirs in the shared /tmp; the genuine script beside their own
// RemoveReceipted, through a Resources folder that links to the genuine one.
// Root runs none of them, and the log says why.
TEST_F(UninstallerHelperAttackTest, WhatIsNotRootsAloneNeverRunsForAUserWithOnlyTheUninstallRight) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  // The genuine bundle, root's: the product's script, and a RemoveReceipted that leaves a mark.
  const std::string genuine = fScratch + "/Genuine.bundle";
  ASSERT_TRUE(MakeBundle(genuine, RealHelperTool()));
  ASSERT_TRUE(WriteFile(genuine + "/Resources/uninstall.ss", ReadFile(BundlePath("Resources/uninstall.ss")), 0755));
  ASSERT_TRUE(WriteScript(genuine + "/RemoveReceipted", "touch " + Home() + "/owned-by-genuine-$(id -u)\n"));
  const std::string evil = Home() + "/evil.sh";
  ASSERT_TRUE(WriteScript(evil, "touch " + Home() + "/owned-by-$(id -u)\n"));
  const std::string link = "/tmp/qltest-link-" + std::to_string(getpid());
  (void) unlink(link.c_str());
  ASSERT_EQ(symlink(genuine.c_str(), link.c_str()), 0);
  const std::string own = Home() + "/Own.bundle";
  ASSERT_TRUE(MakeDirs(own));
  ASSERT_EQ(symlink((genuine + "/Resources").c_str(), (own + "/Resources").c_str()), 0);
  ASSERT_TRUE(WriteScript(own + "/RemoveReceipted", "touch " + Home() + "/owned-by-$(id -u)\n"));
  for (const std::string& path : {evil, link, own, own + "/Resources", own + "/RemoveReceipted"}) {
    ASSERT_EQ(lchown(path.c_str(), User().uid, User().gid), 0) << path;
  }

  // Root's own script outside the bundle, in the shared /tmp, is no better.
  const std::string rootsOwn = "/tmp/qltest-roots-own-" + std::to_string(getpid()) + ".ss";
  ASSERT_TRUE(WriteScript(rootsOwn, "touch " + Home() + "/owned-by-roots-own-$(id -u)\n"));

  const std::string genuineScript = genuine + "/Resources/uninstall.ss";
  for (const std::string& commandPath :
       {evil, link + "/Resources/uninstall.ss", own + "/Resources/uninstall.ss", rootsOwn, std::string("/usr/bin/id")}) {
    SCOPED_TRACE(commandPath);
    sys::ChildResult result = RunRootInstance(genuine, CommandRequest(commandPath).get());
    ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
    ToolAnswer answer = ParseToolAnswer(result.out);
    ASSERT_TRUE(answer.parsed);
    EXPECT_EQ(answer.error, kUntrustedProgram);
    EXPECT_EQ(answer.log, "UninstallerHelper: refused CommandPath \"" + commandPath +
                              "\": not the installed bundle's " + genuineScript + "\n");
    EXPECT_EQ(Marks(), std::vector<std::string>{});
  }
  (void) unlink(link.c_str());
  (void) unlink(rootsOwn.c_str());
}

// A folder that someone else may write to lets them rename a file of their
// own onto the tool's name while the password dialog is up. Such a data
// folder or tool folder counts like a volume without set-user-ID (5370, so
// the engine tries the temporary folder); a tool folder the install creates
// is the user's alone whatever the umask.
TEST_F(UninstallerHelperAttackTest, AToolFolderOthersCouldChangeIsRefusedAndTheTemporaryFolderTakesTheTool) {
  const std::string bundle = fScratch + "/Install.bundle";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  const std::string temporary = "/var/tmp/TemporaryItems-" + std::to_string(User().uid);
  struct Case {
    const char* what;
    std::function<bool(const std::string& data)> prepare;
    OSStatus status;
  } cases[] = {
      {"a data folder of another user", [](const std::string& data) { return chown(data.c_str(), 65534, 65534) == 0; },
       5370},
      {"a Quillon its group may change",
       [&](const std::string& data) {
         return mkdir((data + "/Quillon").c_str(), 0770) == 0 && chmod((data + "/Quillon").c_str(), 0770) == 0 &&
                chown((data + "/Quillon").c_str(), User().uid, User().gid) == 0;
       },
       5370},
      {"a Quillon that is a link to a folder of the user's",
       [&](const std::string& data) {
         return MakeDirs(data + "-elsewhere") && chown((data + "-elsewhere").c_str(), User().uid, User().gid) == 0 &&
                symlink((data + "-elsewhere").c_str(), (data + "/Quillon").c_str()) == 0 &&
                lchown((data + "/Quillon").c_str(), User().uid, User().gid) == 0;
       },
       5370},
      {"no Quillon yet, umask 002", [](const std::string&) { return true; }, noErr},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string data = fScratch + "/data" + std::to_string(n++);
    ASSERT_TRUE(MakeDirs(data) && chown(data.c_str(), User().uid, User().gid) == 0 && chmod(data.c_str(), 0700) == 0);
    ASSERT_TRUE(c.prepare(data));
    sys::ChildOptions options;
    options.env = {"XDG_DATA_HOME=" + data};
    sys::ChildResult result = sys::RunAsUser(
        &User(),
        [&]() -> int {
          umask(002);
          CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
              NULL, reinterpret_cast<const UInt8*>(bundle.c_str()), static_cast<CFIndex>(bundle.size()), true));
          CFRef<CFBundleRef> b(CFBundleCreate(NULL, url.get()));
          for (OSType type : {kApplicationSupportFolderType, kTemporaryFolderType}) {
            CFURLRef tool = NULL;
            OSStatus err = MoreSecCopyHelperToolURLFromBundle(b.get(), CFSTR("UninstallerHelper"), type,
                                                              CFSTR("Quillon"), CFSTR("UninstallerHelper"), &tool);
            char path[1024] = "";
            if (tool != NULL) {
              (void) CFURLGetFileSystemRepresentation(tool, true, reinterpret_cast<UInt8*>(path), sizeof path);
              CFRelease(tool);
            }
            printf("%d %s\n", static_cast<int>(err), path);
            if (err != kMoreSecFolderInappropriateErr) break;
          }
          return 0;
        },
        options);
    ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
    const std::string folder = c.status == noErr ? data + "/Quillon" : temporary + "/Quillon";
    std::string expected = std::to_string(c.status) + " ";
    if (c.status != noErr) expected += "\n0 ";
    EXPECT_EQ(result.out, expected + folder + "/UninstallerHelper\n");
    struct stat st;
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode) && st.st_uid == User().uid && (st.st_mode & 07777) == 0700) << std::oct
                                                                                                  << st.st_mode;
    ASSERT_EQ(lstat((folder + "/UninstallerHelper").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    if (c.status != noErr) {
      EXPECT_FALSE(Exists(data + "/Quillon/UninstallerHelper"));
      sys::ChildResult removed = sys::RunProgramAsUser(nullptr, {"/bin/rm", "-rf", "--", temporary});
      EXPECT_EQ(removed.ExitCode(), 0) << removed.Describe();
    }
  }
}

// Anyone may take /var/tmp/TemporaryItems-<uid> first, with a folder of
// their own or a link. The fallback then uses a fresh private folder; the
// whole relayed run succeeds, and the clean-up removes that folder again.
TEST_F(UninstallerHelperAttackTest, ATakenTemporaryFolderNameStillLeavesTheFallbackAPrivateFolder) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string bundle = fScratch + "/Echo.bundle";
  ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exit 0\n"));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", "exit 0\n"));
  // The data folder is someone else's: the engine falls back at once.
  const std::string data = fScratch + "/others-data";
  ASSERT_TRUE(MakeDirs(data));
  ASSERT_EQ(chown(data.c_str(), 65534, 65534), 0);
  const std::string temporary = "/var/tmp/TemporaryItems-" + std::to_string(User().uid);
  const std::string prefix = "TemporaryItems-" + std::to_string(User().uid) + "-";
  auto freshFolders = [&]() {
    std::vector<std::string> found;
    DIR* dir = opendir("/var/tmp");
    if (dir == nullptr) return found;
    while (dirent* entry = readdir(dir)) {
      if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) found.push_back(entry->d_name);
    }
    closedir(dir);
    return found;
  };
  struct {
    const char* what;
    std::function<bool()> take;
  } cases[] = {
      {"a folder of another user", [&] { return mkdir(temporary.c_str(), 0777) == 0 && chown(temporary.c_str(), 65534, 65534) == 0; }},
      {"a link", [&] { return symlink(fScratch.c_str(), temporary.c_str()) == 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.take());
    sys::ChildOptions options;
    options.env = {"XDG_DATA_HOME=" + data};
    options.timeout = std::chrono::milliseconds(120000);
    const std::string b = bundle;
    sys::ChildResult result = sys::RunAsUser(
        &User(),
        [&]() -> int {
          std::string log;
          RunEngine(b, 0, &log);
          return 0;
        },
        options);
    EngineRun run = ParseEngineRun(result.out);
    ASSERT_TRUE(run.reported) << result.Describe();
    EXPECT_EQ(run.status, noErr) << result.err;
    EXPECT_EQ(EngineDiagnostics(result.err), std::vector<std::string>{Diagnostic(5370, 296)}) << result.err;
    EXPECT_NE(result.err.find("MoreSecurity: AEWP returned 0\n"), std::string::npos) << result.err;
    EXPECT_EQ(freshFolders(), std::vector<std::string>{}) << "the fresh folder was left behind";
    struct stat st;
    EXPECT_EQ(lstat(temporary.c_str(), &st), 0) << "what took the name was touched";
    sys::ChildResult removed = sys::RunProgramAsUser(nullptr, {"/bin/rm", "-rf", "--", temporary});
    EXPECT_EQ(removed.ExitCode(), 0) << removed.Describe();
  }
}

// A user who lowers the file size limit before a relayed run passes it on
// to root, and root without CAP_SYS_RESOURCE cannot raise it back: PruneMIDI
// would be killed half-way through rewriting /etc/asound.conf. Root runs
// nothing instead and says why; /etc holds nothing new. (/etc, /opt and
// /var/lib are overlays in a private mount namespace.)
TEST_F(UninstallerHelperAttackTest, AFileSizeLimitRootCannotRaiseBackRunsNothing) {
  if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string tool = FreshCopy();
  const std::string overlays = fScratch + "/overlays";
  ASSERT_TRUE(MakeDirs(overlays));
  const std::string conf = "pcm.!default { type hw card 0 }\n" + std::string(4096, '#') +
                           "\n# >>> Quillon MIDI >>>\nrawmidi.quillon { }\n# <<< Quillon MIDI <<<\n";
  const std::string saved = fScratch + "/asound.conf", input = fScratch + "/input";
  ASSERT_TRUE(WriteFile(saved, conf, 0644));
  CFRef<CFDictionaryRef> command = CommandRequest(BundlePath("Resources/uninstall.ss"));
  CFRef<CFMutableDictionaryRef> request(CFDictionaryCreateMutableCopy(NULL, 0, command.get()));
  CFDictionarySetValue(request.get(), CFSTR("PruneMIDI"), MakeString(BundlePath("PruneMIDI")).get());
  ASSERT_TRUE(WriteFile(input, RandomBytes(kAuthorizationExternalFormLength) + FrameOf(request.get()), 0644));

  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(120000);
  options.rootSetup = [&](std::string* error) {
    if (!MountOverlays(overlays, {"/etc", "/opt", "/var/lib"}, error)) return false;
    if (!WriteFile("/etc/asound.conf", conf, 0644)) {
      *error = "cannot write /etc/asound.conf";
      return false;
    }
    // Root started from here on, pkexec's instance included, lacks it.
    if (prctl(PR_CAPBSET_DROP, CAP_SYS_RESOURCE, 0, 0, 0) != 0) {
      *error = std::string("PR_CAPBSET_DROP: ") + strerror(errno);
      return false;
    }
    return true;
  };
  InstalledAt(RealHelperTool(), &options);
  // The response goes to a pipe, which no file size limit touches.
  std::string script = "ulimit -f 1 && \"$0\" <\"$1\"; echo \"tool $?\" >&2; "
                       "cmp -s /etc/asound.conf \"$2\" && echo 'asound.conf kept' >&2; "
                       "ls -A /etc | grep -e quillon- -e '^\\.asound' >&2; exit 0";
  sys::ChildResult result = sys::RunProgramAsUser(&User(), {"/bin/bash", "-c", script, tool, input, saved}, options);
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  // The tool's own standard error is copied in the background and may come
  // between the two lines.
  const size_t toolExit = result.err.find("tool 0\n");
  EXPECT_NE(toolExit, std::string::npos) << result.err;
  EXPECT_NE(result.err.find("asound.conf kept\n", toolExit), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("quillon-"), std::string::npos) << result.err;
  ToolAnswer answer = ParseToolAnswer(result.out);
  ASSERT_TRUE(answer.parsed) << result.err;
  EXPECT_EQ(answer.error, kLimitsTooLow) << answer.log;
  EXPECT_EQ(answer.log,
            "UninstallerHelper: ran nothing: RLIMIT_FSIZE is 1024 and cannot be raised to unlimited: "
            "Operation not permitted\n");
}

// Linux counts every task of the real user against RLIMIT_NPROC, and a
// desktop session easily has more than the 100 the tool's limits allow
// itself. The relay runs as the user and must still reach pkexec (which here
// says no).
TEST_F(UninstallerHelperAttackTest, TheRelayReachesPkexecForAUserWithManyTasks) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::No, {sys::kPkexecAction});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string tool = FreshCopy();
  UserCrowd crowd(User(), 150);
  ASSERT_EQ(crowd.size(), 150u);
  std::string input = RandomBytes(kAuthorizationExternalFormLength) + FrameOf(CommandRequest("/bin/true").get());
  sys::ChildOptions options;
  InstalledAt(RealHelperTool(), &options);
  sys::ChildResult result = RunToolWithInput(&User(), {"/bin/bash", "-c", "ulimit -Su 100 && exec \"$0\"", tool},
                                             input, options);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 2) << result.Describe();
  EXPECT_NE(result.err.find("MoreSecurity: AEWP returned -60005\n"), std::string::npos) << result.err;

  // With the hard limit down as well the fork fails, and the diagnostics say why.
  result = RunToolWithInput(&User(), {"/bin/bash", "-c", "ulimit -u 100 && exec \"$0\"", tool}, input, options);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 4) << result.Describe();
  EXPECT_NE(result.err.find("cannot start /usr/bin/pkexec: fork: Resource temporarily unavailable\n"
                            "MoreSecurity: AEWP returned -60031\n"),
            std::string::npos)
      << result.err;
}

// A second name linked to the fresh copy would stay a set-user-ID root file
// after the engine deletes the first, had the copy been repaired. No copy
// is: pkexec runs the installed tool, which refuses a script outside its
// bundle, and neither name ever becomes set-user-ID.
TEST_F(UninstallerHelperAttackTest, ARepairRefusesACopyWithASecondName) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string tool = FreshCopy();
  const std::string second = fScratch + "/fresh/second-name";
  ASSERT_EQ(link(tool.c_str(), second.c_str()), 0);
  const std::string script = fScratch + "/marks";
  ASSERT_TRUE(WriteScript(script, "touch " + Home() + "/owned-by-$(id -u)\n"));
  std::string input = RandomBytes(kAuthorizationExternalFormLength) + FrameOf(CommandRequest(script).get());
  sys::ChildOptions options;
  InstalledAt(RealHelperTool(), &options);
  sys::ChildResult result = RunToolWithInput(&User(), {tool}, input, options);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  ToolAnswer answer = ParseToolAnswer(result.out);
  EXPECT_EQ(answer.error, kUntrustedProgram) << answer.log;
  for (const std::string& name : {tool, second}) {
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_ISUID, 0u) << name;
  }
  EXPECT_EQ(Marks(), std::vector<std::string>{});
}

}  // namespace

namespace {

const char kUninstallLock[] = "/run/quillon-uninstall.lock";

// A rules file that allows `allowed` and refuses `refused` to `user`, and
// nothing else; gone with the holder.
class ScopedSplitRule {
 public:
  ScopedSplitRule(const sys::TestUser& user, const char* allowed, const char* refused)
      : fPath("/etc/polkit-1/rules.d/04-quillon-split-" + user.name + ".rules") {
    fOK = WriteFile(fPath, "polkit.addRule(function(action, subject) {\n  if (subject.user != \"" + user.name +
                               "\") return null;\n  if (action.id == \"" + allowed +
                               "\") return polkit.Result.YES;\n  if (action.id == \"" + refused +
                               "\") return polkit.Result.NO;\n  return null;\n});\n",
                    0644);
    for (int i = 0; fOK && i < 100; i++) {
      if (sys::PolkitCheckForUid(user.uid, allowed) == 0 && sys::PolkitCheckForUid(user.uid, refused) == 1) return;
      usleep(100 * 1000);
    }
    fOK = false;
  }
  ~ScopedSplitRule() { (void) unlink(fPath.c_str()); }
  bool ok() const { return fOK; }

 private:
  std::string fPath;
  bool fOK = false;
};

// In the child's namespace, the default install's bundle, root's, with the
// real tool and a script that says who runs it.
void WithDefaultBundle(const std::string& script, sys::ChildOptions* options) {
  options->privateMountNamespace = true;
  options->rootSetup = [script](std::string* error) {
    if (!quillon::systest::MountTmpfs("/usr/local/lib", 0, "mode=0755", error)) return false;
    const std::string bundle = kDefaultBundle;
    if (!MakeDirs(bundle) || !MakeBundle(bundle, RealHelperTool()) ||
        !WriteScript(bundle + "/Resources/uninstall.ss", script)) {
      *error = "cannot lay out the installed bundle";
      return false;
    }
    return true;
  };
}

}  // namespace

// The password prompt is the product's own: the relay runs pkexec on the
// installed tool, whose path the uninstall right's action names, so pkexec
// asks that action (with its message) and not its generic one for a copy in
// a home folder. A site that allows only the product's action lets the
// relay through; one that allows only pkexec's generic action does not.
TEST_F(UninstallerHelperAttackTest, OnlyTheProductsActionLetsTheRelayRunTheInstalledTool) {
  std::string error;
  ASSERT_TRUE(ActionNamesTheInstalledTool(&error)) << error;
  const std::string tool = FreshCopy();
  const std::string script = std::string(kDefaultBundle) + "/Resources/uninstall.ss";
  const std::string input = RandomBytes(kAuthorizationExternalFormLength) + FrameOf(CommandRequest(script).get());
  struct Case {
    const char* allowed;
    const char* refused;
    int exitCode;
  } cases[] = {{kQuillonUninstallRight, sys::kPkexecAction, 0}, {sys::kPkexecAction, kQuillonUninstallRight, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.allowed);
    ScopedSplitRule rule(User(), c.allowed, c.refused);
    ASSERT_TRUE(rule.ok());
    sys::ChildOptions options;
    WithDefaultBundle("exec 3<&-\necho \"uid $(id -u) $(id -ru)\"\n", &options);
    sys::ChildResult result = RunToolWithInput(&User(), {tool}, input, options);
    EXPECT_TRUE(result.Exited() && result.ExitCode() == c.exitCode) << result.Describe();
    if (c.exitCode == 0) {
      ToolAnswer answer = ParseToolAnswer(result.out);
      EXPECT_EQ(answer.error, noErr) << answer.log;
      EXPECT_EQ(answer.log, "uid 0 0\n");
    } else {
      EXPECT_NE(result.err.find("MoreSecurity: AEWP returned -60005\n"), std::string::npos) << result.err;
    }
  }
}

// The process that holds the system lock is root through and through, so
// the user who started the uninstall cannot stop it (a stopped holder would
// hold every later uninstall); and a later run waits 30 s at most, then
// names the holder and runs nothing. The lock is the real path, made private
// to the namespace.
TEST_F(UninstallerHelperAttackTest, TheLockHolderCannotBeSignalledByTheUserAndAWaiterGivesUpNamingIt) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string bundle = fScratch + "/Held.bundle";
  const std::string holderFile = fScratch + "/holder";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exec 3<&-\necho $PPID > " + holderFile + "\nsleep 60\n"));
  const std::string lock = kUninstallLock, privateLock = fScratch + "/lock";
  ASSERT_TRUE(Exists(lock) || WriteFile(lock, "", 0600));
  ASSERT_TRUE(WriteFile(privateLock, "", 0600));
  const std::string request = RandomBytes(kAuthorizationExternalFormLength) +
                              FrameOf(CommandRequest(bundle + "/Resources/uninstall.ss").get());

  sys::ChildOptions options;
  options.timeout = std::chrono::milliseconds(120000);
  options.rootSetup = [&](std::string* error) {
    if (mount(privateLock.c_str(), lock.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      *error = std::string("bind mount over the lock: ") + strerror(errno);
      return false;
    }
    return true;
  };
  InstalledAt(bundle + "/UninstallerHelper", &options);
  const sys::TestUser user = User();
  const std::string leftover = fTool;
  sys::ChildResult result = sys::RunAsUser(
      nullptr,
      [&]() -> int {
        // The user starts the uninstall with the set-user-ID leftover.
        std::thread first([&]() { (void) RunToolWithInput(&user, {leftover}, request, sys::ChildOptions()); });
        pid_t holder = 0;
        for (int i = 0; i < 300 && holder <= 0; i++) {
          holder = static_cast<pid_t>(atoi(ReadFile(holderFile).c_str()));
          if (holder <= 0) usleep(100 * 1000);
        }
        printf("holder %s\n", holder > 0 ? "found" : "missing");
        sys::ChildResult stop = sys::RunAsUser(&user, [&]() -> int {
          return kill(holder, SIGSTOP) == 0 ? 0 : errno;
        });
        printf("user's SIGSTOP %s\n", stop.ExitCode() == EPERM ? "EPERM" : std::to_string(stop.ExitCode()).c_str());
        sys::ChildResult second = RunToolWithInput(nullptr, {bundle + "/UninstallerHelper"}, request, sys::ChildOptions());
        ToolAnswer answer = ParseToolAnswer(second.out);
        printf("second %d %s", static_cast<int>(answer.error), answer.log.c_str());
        (void) kill(holder, SIGKILL);
        first.join();
        return 0;
      },
      options);
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  const std::string holder = ReadFile(holderFile);
  EXPECT_EQ(result.out, "holder found\nuser's SIGSTOP EPERM\nsecond " + std::to_string(ETIMEDOUT) +
                            " UninstallerHelper: waiting for another uninstall to finish\n"
                            "UninstallerHelper: ran nothing: another uninstall (process " +
                            holder.substr(0, holder.find('\n')) + ") has held " + lock + " for 30 s\n")
      << result.err;
}
