// The engine against bundles of the test's own making: what it asks the
// helper tool, how it runs the user's script and composes the log, how it
// fails, and how it cleans up. Runs as root (the helper tool then needs no
// dialog) unless a case is about the dialog; those run as a throwaway user
// against the real polkitd.

#include "EngineSystemTestSupport.h"

#include <Authorization.h>
#include <gtest/gtest.h>

#include <atomic>

#include <sys/mount.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>

using namespace quillon::enginetest;

namespace {

class UninstallerEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: installs helper tools and runs them as root";
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("engine", &fScratch, &error)) << error;
    fData = fScratch + "/data";
    ASSERT_TRUE(MakeDirs(fData));
    ASSERT_EQ(chmod(fData.c_str(), 0700), 0);
  }
  void TearDown() override {
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  // Runs the engine as root with its Application Support folder in the
  // scratch folder.
  EngineRun RunAsRoot(const std::string& bundle, Boolean midi, sys::ChildResult* child = nullptr,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(60000)) {
    sys::ChildOptions options;
    options.env = {"XDG_DATA_HOME=" + fData};
    options.timeout = timeout;
    // The bundle is the installed one: its tool does root's work.
    InstalledAt(bundle + "/UninstallerHelper", &options);
    sys::ChildResult result = sys::RunAsUser(
        nullptr,
        [&]() -> int {
          std::string log;
          RunEngine(bundle, midi, &log);
          return 0;
        },
        options);
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
    if (child != nullptr) *child = result;
    EngineRun run = ParseEngineRun(result.out);
    EXPECT_TRUE(run.reported) << result.out;
    return run;
  }

  std::string InstalledFolder() const { return fData + "/Quillon"; }

  std::string fScratch;
  std::string fData;
};

TEST_F(UninstallerEngineTest, RequestNamesTheScriptThenThePruningToolsThatExist) {
  struct Case {
    const char* name;
    bool pruneMIDI, pruneLoginItem;
    Boolean midi;
    bool expectMIDI;  // PruneMIDI in the request and as the user script's argument
  } cases[] = {
      {"all", true, true, 1, true},
      {"midi-clear", true, true, 0, false},
      {"only-lowest-bit", true, true, 2, false},
      {"odd-value", true, false, 0xFF, true},
      {"no-prune-midi", false, true, 1, false},
      {"no-tools", false, false, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bundle = fScratch + "/" + c.name + ".bundle";
    ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
    ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exit 0\n"));
    ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", kReportingUserScript));
    if (c.pruneMIDI) {
      ASSERT_TRUE(WriteScript(bundle + "/PruneMIDI", "exit 0\n"));
    }
    if (c.pruneLoginItem) {
      ASSERT_TRUE(WriteScript(bundle + "/PruneLoginItem", "exit 0\n"));
    }

    EngineRun run = RunAsRoot(bundle, c.midi);
    std::string expected = "CommandPath=" + bundle + "/Resources/uninstall.ss\n";
    if (c.expectMIDI) expected += "PruneMIDI=" + bundle + "/PruneMIDI\n";
    if (c.pruneLoginItem) expected += "PruneLoginItem=" + bundle + "/PruneLoginItem\n";
    expected += c.expectMIDI ? "user script: 1 [" + bundle + "/PruneMIDI]\n" : "user script: 0\n";
    EXPECT_EQ(run.status, noErr);
    EXPECT_EQ(run.log, expected);
    EXPECT_FALSE(Exists(InstalledFolder())) << "the installed tool's empty folder stays";
  }
}

TEST_F(UninstallerEngineTest, LogIsTheToolsLogFollowedByWhateverTheUserScriptWroteAsUTF8) {
  std::string bundle = fScratch + "/log.bundle";
  ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exit 0\n"));
  const std::string toolLog = "CommandPath=" + bundle + "/Resources/uninstall.ss\n";
  const std::string script = bundle + "/Resources/usr_uninstall.ss";
  const size_t kBound = 16 * 1024 * 1024;
  struct Case {
    const char* name;
    const char* script;  // NULL: no usr_uninstall.ss
    std::string output;  // expected after the tool's log
    mode_t mode = 0755;
  } cases[] = {
      // Both streams on one pipe, in the order written; the exit status is not looked at.
      {"both-streams", "printf 'gel\\303\\266scht\\n'\necho 'to stderr' >&2\nprintf 'no newline'\nexit 7\n",
       "gel\xC3\xB6scht\nto stderr\nno newline"},
      // Read until everything the script started has closed the pipe.
      {"descendant-writes-last", "( sleep 1; echo late ) &\necho early\n", "early\nlate\n"},
      // Bytes that are not UTF-8, and controls, are written out, never dropped with the rest.
      {"invalid-utf8", "printf 'ok then \\377\\376\\n'\n", "ok then \\xff\\xfe\n"},
      {"escape-sequences", "printf '\\033]0;t\\007 \\302\\233" "2J\\n'\n", "\\x1b]0;t\\x07 \\u009b2J\n"},
      {"silent", "exit 0\n", ""},
      {"absent", nullptr, ""},
      {"nul-byte", "printf 'before\\000after\\n'\n", "before\\x00after\n"},
      // Cut at the bound inside a two-byte character: the text before it stays, and says so.
      {"cut-inside-a-character", "head -c 16777215 /dev/zero | tr '\\000' a\nprintf '\\303\\251tail\\n'\n",
       std::string(kBound - 1, 'a') + "\nthe log was cut short: 7 more bytes of output were left out\n"},
      // A pipeline ends quietly when its reader goes: SIGPIPE is not ignored in the script.
      {"sigpipe-default", "yes | head -n 1\n", "y\n"},
      {"not-executable", "echo never\n", "could not run " + script + ": Permission denied\n", 0644},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    (void) unlink(script.c_str());
    if (c.script != nullptr) {
      ASSERT_TRUE(WriteFile(script, std::string("#!/bin/sh\n") + c.script, c.mode));
    }
    EngineRun run = RunAsRoot(bundle, 1);
    EXPECT_EQ(run.status, noErr);
    const std::string expected = toolLog + c.output;
    if (expected.size() > 4096) {
      EXPECT_TRUE(run.log == expected) << run.log.size() << " bytes, ending in "
                                       << run.log.substr(run.log.size() - std::min<size_t>(run.log.size(), 200));
    } else {
      EXPECT_EQ(run.log, expected);
    }
  }
}

// The engine is done with the script when its output ends; a script that
// closes its output and lingers must not hold the application.
TEST_F(UninstallerEngineTest, AUserScriptThatLingersAfterItsOutputDoesNotHoldTheEngine) {
  std::string bundle = fScratch + "/linger.bundle";
  ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exit 0\n"));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", "echo bye\nexec >/dev/null 2>&1\nexec sleep 40\n"));
  // Far shorter than the script lingers: a run that waited for it would be killed.
  sys::ChildResult child;
  EngineRun run = RunAsRoot(bundle, 1, &child, std::chrono::milliseconds(20000));
  EXPECT_FALSE(child.timedOut);
  EXPECT_EQ(run.status, noErr);
  EXPECT_EQ(run.log, "CommandPath=" + bundle + "/Resources/uninstall.ss\nbye\n");
}

TEST_F(UninstallerEngineTest, MissingUninstallScriptFailsWithMinus4960AndStillRemovesTheTool) {
  std::string bundle = fScratch + "/noscript.bundle";
  std::string marker = fScratch + "/user-script-ran";
  ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", "touch " + marker + "\n"));
  ASSERT_TRUE(WriteScript(bundle + "/PruneMIDI", "exit 0\n"));

  sys::ChildResult child;
  EngineRun run = RunAsRoot(bundle, 1, &child);
  EXPECT_EQ(run.status, -4960);
  EXPECT_EQ(run.log, "Uninstaller failed with error -4960 (0xffffeca0)");
  std::vector<std::string> diagnostics = EngineDiagnostics(child.err);
  ASSERT_EQ(diagnostics.size(), 1u) << child.err;
  EXPECT_EQ(diagnostics[0], Diagnostic(-4960, 324));
  EXPECT_EQ(diagnostics[0].rfind("Uninstaller error:-4960 (FFFFECA0) line:324 file:", 0), 0u);
  EXPECT_FALSE(Exists(marker));
  EXPECT_FALSE(Exists(InstalledFolder()));
}

TEST_F(UninstallerEngineTest, TheToolsFolderStaysWhenItHoldsOtherFiles) {
  std::string bundle = fScratch + "/keep.bundle";
  ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exit 0\n"));
  ASSERT_TRUE(MakeDirs(InstalledFolder()));
  ASSERT_EQ(chmod(InstalledFolder().c_str(), 0755), 0);
  ASSERT_TRUE(WriteFile(InstalledFolder() + "/notes.txt", "mine"));

  EngineRun run = RunAsRoot(bundle, 0);
  EXPECT_EQ(run.status, noErr) << run.log;
  EXPECT_FALSE(Exists(InstalledFolder() + "/UninstallerHelper"));
  EXPECT_EQ(ReadFile(InstalledFolder() + "/notes.txt"), "mine");
}

TEST_F(UninstallerEngineTest, AFailedRootPartGivesTheCommandsStatusAndNoUserScript) {
  std::string bundle = fScratch + "/fail.bundle";
  std::string marker = fScratch + "/user-script-ran";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "echo partly done\nexit 3\n"));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", "touch " + marker + "\n"));

  sys::ChildResult child;
  EngineRun run = RunAsRoot(bundle, 1, &child);
  EXPECT_EQ(run.status, 5364);
  // The tool's log says which step failed; the failure text ends it.
  EXPECT_EQ(run.log.rfind("partly done\nUninstallerHelper: " + bundle + "/Resources/uninstall.ss failed with exit status 3\n", 0),
            0u) << run.log;
  EXPECT_EQ(run.log.substr(run.log.size() - FailureText(5364).size()), FailureText(5364));
  EXPECT_EQ(EngineDiagnostics(child.err), std::vector<std::string>{Diagnostic(5364, 367)})
      << child.err;
  EXPECT_FALSE(Exists(marker));
  EXPECT_FALSE(Exists(InstalledFolder()));
}

// Only a folder that cannot hold a set-user-ID file earns the second try.
TEST_F(UninstallerEngineTest, AnyOtherFailureOfTheFirstLocationEndsTheRun) {
  std::string bundle = fScratch + "/nofolder.bundle";
  ASSERT_TRUE(MakeBundle(bundle, EchoHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss", "exit 0\n"));
  ASSERT_TRUE(WriteFile(fScratch + "/not-a-folder", ""));
  fData = fScratch + "/not-a-folder";

  sys::ChildResult child;
  EngineRun run = RunAsRoot(bundle, 1, &child);
  EXPECT_NE(run.status, noErr);
  EXPECT_NE(run.status, 5370);
  EXPECT_EQ(run.log, FailureText(run.status));
  EXPECT_EQ(EngineDiagnostics(child.err), std::vector<std::string>{Diagnostic(run.status, 296)}) << child.err;
}

// ---------------------------------------------------------------- as a user

class UninstallerEngineUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users and polkit rules";
    std::string why;
    if (!sys::PolkitIsRunning(&why)) GTEST_SKIP() << "needs polkitd on the system bus: " << why;
    fUserHolder = std::make_unique<sys::ScopedTestUser>();
    ASSERT_TRUE(fUserHolder->ok()) << fUserHolder->error();
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("engine-user", &fScratch, &error)) << error;
    fBundle = fScratch + "/Test.bundle";
    ASSERT_TRUE(MakeBundle(fBundle, EchoHelperTool()));
    ASSERT_TRUE(WriteScript(fBundle + "/Resources/uninstall.ss", "exit 0\n"));
    ASSERT_TRUE(WriteScript(fBundle + "/Resources/usr_uninstall.ss", kReportingUserScript));
    ASSERT_TRUE(WriteScript(fBundle + "/PruneMIDI", "exit 0\n"));
  }
  void TearDown() override {
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  // The engine as the user, with the MIDI choice set; extra checks run in
  // the child afterwards.
  sys::ChildResult RunEngineAsUser(sys::ChildOptions options, EngineRun* run,
                                   const std::function<void(ChildChecks*)>& after = nullptr) {
    const std::string bundle = fBundle;
    sys::ChildResult result = sys::RunAsUser(
        &User(),
        [&]() -> int {
          std::string log;
          RunEngine(bundle, 1, &log);
          ChildChecks checks;
          if (after) after(&checks);
          return checks.ExitCode();
        },
        options);
    *run = ParseEngineRun(result.out);
    EXPECT_TRUE(run->reported) << result.Describe() << "\n" << result.out;
    return result;
  }

  const sys::TestUser& User() const { return fUserHolder->user(); }
  std::string Home() const { return User().home; }

  std::unique_ptr<sys::ScopedTestUser> fUserHolder;
  std::string fScratch;
  std::string fBundle;
};

TEST_F(UninstallerEngineUserTest, DenialGives5362WithTheFailureTextAndNoUserScript) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::No, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  ASSERT_TRUE(WriteScript(fBundle + "/Resources/usr_uninstall.ss", "touch \"$HOME/user-script-ran\"\n"));

  EngineRun run;
  sys::ChildResult result = RunEngineAsUser(sys::ChildOptions(), &run);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << result.out;
  EXPECT_EQ(run.status, 5362);
  EXPECT_EQ(run.log, "Uninstaller failed with error 5362 (0x000014f2)");
  EXPECT_EQ(EngineDiagnostics(result.err), std::vector<std::string>{Diagnostic(5362, 353)})
      << result.err;
  EXPECT_FALSE(Exists(Home() + "/user-script-ran"));
  EXPECT_FALSE(Exists(Home() + "/.local/share/Quillon"));
}

// With only the user's part left no password is asked for: no helper tool
// and no pkexec (which, with no rule and no agent, could not succeed), and
// the log is the user script's. With the privileged part, the front end
// learns the helper tool's process before it asks for anything, and learns
// when the tool runs as root.
TEST_F(UninstallerEngineUserTest, TheUserPartAloneNeedsNoPasswordAndTheRootMomentIsReported) {
  ASSERT_TRUE(WriteScript(fBundle + "/Resources/usr_uninstall.ss", "echo user part ran\n"));
  struct Reports {
    std::atomic<int> root{0};
    std::atomic<pid_t> helper{0};
  };
  const std::string bundle = fBundle;
  auto run = [&](Boolean userPartOnly) {
    return sys::RunAsUser(&User(), [&]() -> int {
      Reports reports;
      UninstallerEngineOptions options = {
          userPartOnly, [](void* context) { static_cast<Reports*>(context)->root++; },
          [](pid_t pid, void* context) { static_cast<Reports*>(context)->helper = pid; }, &reports, false, NULL, NULL, NULL};
      std::string log;
      RunEngine(bundle, 0, &log, &options);
      printf("REPORTS root %d helper %d\n", reports.root.load(), reports.helper.load() > 0 ? 1 : 0);
      return 0;
    });
  };
  sys::ChildResult alone = run(true);
  EngineRun aloneRun = ParseEngineRun(alone.out);
  EXPECT_EQ(aloneRun.status, 0) << alone.Describe() << alone.out;
  EXPECT_EQ(aloneRun.log, "user part ran\n");
  EXPECT_EQ(aloneRun.rest, "REPORTS root 0 helper 0\n");
  EXPECT_EQ(alone.err.find("MoreSecurity:"), std::string::npos) << alone.err;
  EXPECT_FALSE(Exists(Home() + "/.local/share/Quillon"));

  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  sys::ChildResult both = run(false);
  EngineRun bothRun = ParseEngineRun(both.out);
  EXPECT_EQ(bothRun.status, 0) << both.Describe() << both.out << both.err;
  EXPECT_EQ(bothRun.rest, "REPORTS root 1 helper 1\n");
}

// The user may start no further thread or process: the dialog thread cannot
// start, so the request is never sent and nothing is printed for it.
TEST_F(UninstallerEngineUserTest, AThreadThatCannotStartEndsTheRunWithItsErrorNumber) {
  ASSERT_TRUE(WriteScript(fBundle + "/Resources/usr_uninstall.ss", "touch \"$HOME/user-script-ran\"\n"));
  const std::string bundle = fBundle;
  sys::ChildResult result = sys::RunAsUser(&User(), [&]() -> int {
    struct rlimit one = {1, 1};
    if (setrlimit(RLIMIT_NPROC, &one) != 0) return 90;
    std::string log;
    RunEngine(bundle, 1, &log);
    return 0;
  });
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();
  EngineRun run = ParseEngineRun(result.out);
  EXPECT_EQ(run.status, EAGAIN);
  EXPECT_EQ(run.log, "Uninstaller failed with error 11 (0x0000000b)");
  EXPECT_TRUE(EngineDiagnostics(result.err).empty()) << result.err;
  EXPECT_EQ(result.err.find("MoreSecurity:"), std::string::npos) << result.err;
  EXPECT_FALSE(Exists(Home() + "/user-script-ran"));
  EXPECT_FALSE(Exists(Home() + "/.local/share/Quillon"));
}

// pkexec authorizes the process that starts it, the helper tool, whose
// process ID nobody knows before the engine starts it. So inside a private
// mount namespace /usr/bin/pkexec is a stand-in that registers the
// dismissing agent for its parent and then becomes the real pkexec.
TEST_F(UninstallerEngineUserTest, DismissalGives5363WithTheFailureTextAndNoUserScript) {
  ASSERT_TRUE(WriteScript(fBundle + "/Resources/usr_uninstall.ss", "touch \"$HOME/user-script-ran\"\n"));
  const std::string realPkexec = fScratch + "/pkexec.real";
  const std::string wrapper = fScratch + "/pkexec-wrapper";
  const std::string agentOut = fScratch + "/agent.out";
  ASSERT_TRUE(WriteFile(realPkexec, "", 0755));
  ASSERT_TRUE(WriteFile(agentOut, "", 0666));
  ASSERT_EQ(chmod(agentOut.c_str(), 0666), 0);
  ASSERT_TRUE(WriteScript(
      wrapper, "/usr/bin/python3 " QUILLON_SOURCE_ROOT "/tests/support/system/cancel_agent.py --pid \"$PPID\" "
               "--lifetime 120 >>" + agentOut + " 2>&1 </dev/null &\n"
               "i=0\n"
               "while ! /bin/grep -q '^ready$' " + agentOut + " && [ $i -lt 300 ]; do\n"
               "  i=$((i + 1)); /bin/sleep 0.1\n"
               "done\n"
               "exec " + realPkexec + " \"$@\"\n"));

  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(120000);
  options.rootSetup = [&](std::string* error) {
    if (mount("/usr/bin/pkexec", realPkexec.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(wrapper.c_str(), "/usr/bin/pkexec", nullptr, MS_BIND, nullptr) != 0) {
      *error = std::string("bind mounts for pkexec: ") + strerror(errno);
      return false;
    }
    return true;
  };
  EngineRun run;
  sys::ChildResult result = RunEngineAsUser(options, &run);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << result.out;
  EXPECT_EQ(run.status, 5363) << ReadFile(agentOut);
  EXPECT_EQ(run.log, "Uninstaller failed with error 5363 (0x000014f3)");
  EXPECT_EQ(EngineDiagnostics(result.err), std::vector<std::string>{Diagnostic(5363, 353)})
      << result.err;
  EXPECT_NE(ReadFile(agentOut).find("cancelled org.freedesktop.policykit.exec\n"), std::string::npos)
      << ReadFile(agentOut);
  EXPECT_FALSE(Exists(Home() + "/user-script-ran"));
  EXPECT_FALSE(Exists(Home() + "/.local/share/Quillon"));
}

// Application Support on a volume that ignores set-user-ID: the engine says
// so (line 296) and installs the tool in the private temporary folder, where
// the whole relayed run then succeeds.
TEST_F(UninstallerEngineUserTest, ANosuidDataFolderFallsBackToTheTemporaryFolder) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string share = Home() + "/.local/share";
  const std::string temporary = "/var/tmp/TemporaryItems-" + std::to_string(User().uid);
  const bool temporaryExisted = Exists(temporary);
  const uid_t uid = User().uid;
  const gid_t gid = User().gid;

  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(120000);
  options.rootSetup = [&](std::string* error) {
    if (!MakeDirs(share) || chown((Home() + "/.local").c_str(), uid, gid) != 0) {
      *error = "cannot make " + share;
      return false;
    }
    std::string data = "mode=0700,size=4m,uid=" + std::to_string(uid) + ",gid=" + std::to_string(gid);
    return sys::MountTmpfs(share, MS_NOSUID | MS_NODEV, data, error);
  };
  EngineRun run;
  sys::ChildResult result = RunEngineAsUser(options, &run, [&](ChildChecks* checks) {
    checks->Expect(!Exists(temporary + "/Quillon"), "the tool's folder in the temporary folder stays");
    checks->Expect(Exists(share) && !Exists(share + "/Quillon"), "a tool folder was left on the nosuid volume");
  });
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << result.out;
  EXPECT_EQ(run.status, noErr) << result.err;
  EXPECT_EQ(run.log, "CommandPath=" + fBundle + "/Resources/uninstall.ss\nPruneMIDI=" + fBundle +
                         "/PruneMIDI\nuser script: 1 [" + fBundle + "/PruneMIDI]\n");
  EXPECT_EQ(EngineDiagnostics(result.err), std::vector<std::string>{Diagnostic(5370, 296)})
      << result.err;
  EXPECT_EQ(result.err.rfind(Diagnostic(5370, 296), 0), 0u) << "the diagnostic comes first:\n" << result.err;
  EXPECT_NE(result.err.find("MoreSecurity: Calling AEWP\n"), std::string::npos) << "the run was not relayed";
  if (!temporaryExisted) {
    EXPECT_EQ(rmdir(temporary.c_str()), 0) << temporary;
  }
}

// The application is killed while the root script runs. The root side runs
// on to its end (the relay only finds the application gone when it answers),
// and leaves the installed copy behind, but never set-user-ID: pkexec ran
// the installed tool, and no copy is repaired. The next run removes it
// before anything else, so its fresh copy asks again through the dialog,
// finds the system lock free although the script left a process of its own
// running, and completes.
TEST_F(UninstallerEngineUserTest, AfterTheApplicationWasKilledTheNextRunRemovesTheLeftoverToolAndCompletes) {
  sys::ScopedPolkitRule rule(User(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string control = fScratch + "/control";
  ASSERT_TRUE(MakeDirs(control));
  ASSERT_EQ(chown(control.c_str(), User().uid, User().gid), 0);
  const std::string bundle = fScratch + "/Killed.bundle";
  ASSERT_TRUE(MakeBundle(bundle, RealHelperTool()));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/uninstall.ss",
                          "exec 3<&-\n"
                          "[ -e " + control + "/lingering ] || { sleep 300 >/dev/null 2>&1 & echo $! >" + control +
                              "/lingering; }\n"
                              "touch " + control + "/running\n"
                              "while [ ! -e " + control + "/go ]; do sleep 0.1; done\n"
                              "echo root part done\n"));
  ASSERT_TRUE(WriteScript(bundle + "/Resources/usr_uninstall.ss", "echo user part ran\n"));
  const std::string tool = Home() + "/.local/share/Quillon/UninstallerHelper";
  auto gone = [](pid_t pid) {
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return stat == "<missing>" || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
  };

  sys::ChildOptions options;
  options.timeout = std::chrono::milliseconds(120000);
  InstalledAt(bundle + "/UninstallerHelper", &options);
  sys::ChildResult result = sys::RunAsUser(
      &User(),
      [&]() -> int {
        ChildChecks checks;
        int started[2];
        if (pipe2(started, O_CLOEXEC) != 0) return 2;
        pid_t application = fork();
        if (application == 0) {
          UninstallerEngineOptions hooks = {
              false, NULL,
              [](pid_t helper, void* fd) { (void) !write(*static_cast<int*>(fd), &helper, sizeof helper); },
              &started[1], false, NULL, NULL, NULL};
          std::string log;
          RunEngine(bundle, 1, &log, &hooks);
          _exit(0);
        }
        close(started[1]);
        pid_t helper = -1;
        checks.Expect(read(started[0], &helper, sizeof helper) == sizeof helper, "the helper tool never started");
        for (int i = 0; i < 600 && !Exists(control + "/running"); i++) usleep(100000);
        checks.Expect(Exists(control + "/running"), "the root script never ran");
        kill(application, SIGKILL);
        waitpid(application, NULL, 0);
        checks.Expect(WriteFile(control + "/go", ""), "cannot let the root script go on");
        for (int i = 0; i < 600 && helper > 0 && !gone(helper); i++) usleep(100000);
        checks.Expect(helper > 0 && gone(helper), "the helper tool never ended");
        struct stat leftover;
        checks.Expect(lstat(tool.c_str(), &leftover) == 0 && leftover.st_uid == getuid() &&
                          (leftover.st_mode & (S_ISUID | S_ISGID)) == 0,
                      "the copy left behind is not the user's plain file");

        fprintf(stderr, "---- the next run ----\n");
        std::string log;
        checks.Expect(RunEngine(bundle, 1, &log) == noErr, "the next run failed");
        checks.Expect(!Exists(tool), "the installed tool stays");
        return checks.ExitCode();
      },
      options);
  pid_t lingering = atoi(ReadFile(control + "/lingering").c_str());
  if (lingering > 0) kill(lingering, SIGKILL);

  EngineRun run = ParseEngineRun(result.out);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
  EXPECT_EQ(run.log, "root part done\nuser part ran\n");
  const size_t next = result.err.find("---- the next run ----\n");
  ASSERT_NE(next, std::string::npos) << result.err;
  EXPECT_NE(result.err.find("MoreSecurity: Calling AEWP\n", next), std::string::npos)
      << "the next run used the leftover tool:\n" << result.err;
}

}  // namespace

// A root run removes one account's part as that account. The account owns
// the script's processes and can keep them, and the output pipe, open for
// ever: past its time limit root kills the session, stops reading (a process
// that left the session still holds the pipe), and says so.
TEST_F(UninstallerEngineUserTest, ARootRunStopsAUserPartThatOutlivesItsTimeLimit) {
  ASSERT_TRUE(WriteScript(fBundle + "/Resources/usr_uninstall.ss",
                          "echo started\nsetsid sleep 300 &\nexec sleep 300\n"));
  std::string home = Home();
  std::string user = User().name;
  std::string bundle = fBundle;
  const uid_t uid = User().uid;
  const gid_t gid = User().gid;
  sys::ChildOptions options;
  options.timeout = std::chrono::milliseconds(60000);
  sys::ChildResult result = sys::RunAsUser(
      nullptr,
      [&]() -> int {
        std::string homeEntry = "HOME=" + home, userEntry = "USER=" + user;
        char* environment[] = {homeEntry.data(), userEntry.data(), const_cast<char*>("PATH=/usr/bin:/bin"), NULL};
        UninstallerUserAccount account = {uid, gid, &gid, 1, home.c_str(), environment, 2};
        UninstallerEngineOptions engineOptions = {};
        engineOptions.userPartOnly = true;
        engineOptions.userAccount = &account;
        std::string log;
        RunEngine(bundle, 0, &log, &engineOptions);
        return 0;
      },
      options);
  (void) system(("pkill -KILL -u " + std::to_string(uid)).c_str());  // the process that left the session
  EXPECT_FALSE(result.timedOut) << result.Describe();
  EngineRun run = ParseEngineRun(result.out);
  EXPECT_EQ(run.status, ETIMEDOUT) << result.Describe() << result.out;
  EXPECT_EQ(run.log, "started\nthe user part did not end within 2 seconds and was stopped\n");
}
