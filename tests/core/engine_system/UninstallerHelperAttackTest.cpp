// Attacks on the real helper tool UninstallerHelper. A first run leaves the
// installed copy set-user-ID root until the engine deletes it, and a copy
// can be left behind (a crash, a full disk): any local user can then run it
// directly, with any input, environment and request they like. The tool may
// do nothing as root for a user who does not hold the uninstall right, and
// even for one who does it may run only what the request names, cleanly.

#include "EngineSystemTestSupport.h"

#include <Authorization.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/mount.h>

#include <memory>

using namespace quillon::enginetest;

namespace {

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
TEST_F(UninstallerHelperAttackTest, AUserWithoutTheRightGetsNothingRunAsRoot) {
  const std::string script = Home() + "/evil.sh";
  ASSERT_TRUE(WriteScript(script, "touch " + Home() + "/owned-by-$(id -u)\n"));
  ASSERT_EQ(chown(script.c_str(), User().uid, User().gid), 0);
  CFRef<CFDictionaryRef> request = CommandRequest(script);

  struct Case {
    const char* name;
    bool denyRule;  // else no rule at all: an administrator's password, and no agent to ask for it
    OSStatus error;
  } cases[] = {{"no rule", false, -60007}, {"denied", true, 5362}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<sys::ScopedPolkitRule> rule;
    if (c.denyRule) {
      rule = std::make_unique<sys::ScopedPolkitRule>(User(), sys::PolkitAnswer::No,
                                                     std::vector<std::string>{kQuillonUninstallRight});
      ASSERT_TRUE(rule->ok()) << rule->error();
    }
    sys::ChildResult result = RunLeftover(request.get());
    ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
    ToolAnswer answer = ParseToolAnswer(result.out);
    ASSERT_TRUE(answer.parsed);
    EXPECT_EQ(answer.error, c.error);
    EXPECT_EQ(answer.log, "UninstallerHelper: not authorized to uninstall (status " + std::to_string(c.error) + ")\n");
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
  sys::ChildResult result = RunLeftover(CommandRequest(bundle + "/Resources/uninstall.ss").get(), options);
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  ToolAnswer answer = ParseToolAnswer(result.out);
  ASSERT_TRUE(answer.parsed);
  EXPECT_EQ(answer.error, noErr) << answer.log;
  EXPECT_EQ(answer.log, "uid 0 0\nHOME=/root\nLANG=C.UTF-8\nPATH=/usr/sbin:/usr/bin:/sbin:/bin\nPWD=/\n"
                        "QUILLON_BUNDLE=" + bundle + "\nSHLVL=1\n_=/usr/bin/env\n");
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

  // 150 idle processes of the user, gone again at the end of the test.
  struct Crowd {
    std::vector<pid_t> pids;
    ~Crowd() {
      for (pid_t pid : pids) kill(pid, SIGKILL);
      for (pid_t pid : pids) waitpid(pid, nullptr, 0);
    }
  } crowd;
  for (int i = 0; i < 150; i++) {
    pid_t pid = fork();
    if (pid == 0) {
      if (setgroups(0, nullptr) != 0 || setresgid(User().gid, User().gid, User().gid) != 0 ||
          setresuid(User().uid, User().uid, User().uid) != 0) {
        _exit(1);
      }
      for (;;) pause();
    }
    ASSERT_GT(pid, 0);
    crowd.pids.push_back(pid);
  }

  std::string input = RandomBytes(kAuthorizationExternalFormLength) +
                      FrameOf(CommandRequest(bundle + "/Resources/uninstall.ss").get());
  sys::ChildResult result = RunToolWithInput(&User(), {"/bin/bash", "-c", "ulimit -Su 100 && exec \"$0\"", fTool},
                                             input, sys::ChildOptions());
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
  EXPECT_EQ(run.status, ELOOP);
  // The tool says why, and the failure text ends the log.
  EXPECT_EQ(run.log, "UninstallerHelper: refused CommandPath \"" + bundle + "/Resources/uninstall.ss\": it is a symbolic link\n" +
                         FailureText(ELOOP));
  EXPECT_EQ(EngineDiagnostics(result.err), std::vector<std::string>{Diagnostic(ELOOP, 367)});
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
  sys::ChildResult result =
      sys::RunProgramAsUser(&User(), {"/bin/sh", "-c", script, "sh", fTool, input, output, saved}, options);
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

}  // namespace
