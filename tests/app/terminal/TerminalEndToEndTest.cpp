// quillon-uninstall as installed, end to end: in a real terminal (a tmux
// pane run by a throwaway user) with real polkitd, pkexec and pkttyagent and
// no rule that says yes, so the administrator's password is really typed;
// as root for every user; and through Ansible.
//
// Each case runs in a private mount namespace whose /etc, /opt, /root,
// /usr/local, /usr/share, /var/lib and /var/log are overlays that vanish
// with it, and whose users' homes are tmpfs of their own. There the build is
// installed with `cmake --install` as the README's command does, and the
// demo product on top. Screen captures go to <build>/artifacts/terminal-e2e/.

#include "EngineSystemTestSupport.h"
#include "MoreUNIXText.h"

#include <Authorization.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

using namespace quillon::enginetest;

namespace {

const std::vector<std::string> kOverlaid = {"/etc", "/opt", "/root", "/usr/local", "/usr/share", "/var/lib", "/var/log"};
const char kPrefix[] = "/usr/local";
const char kInstalledBundle[] = "/usr/local/lib/quillon-uninstaller/Uninstaller.bundle";
const char kCommand[] = "/usr/local/bin/quillon-uninstall";
const char kDemo[] = "/usr/local/lib/quillon-uninstaller/demo/quillon-demo-install";
const char kTmux[] = "/usr/bin/tmux";
const char kAnsible[] = "/usr/bin/ansible-playbook";
const char kRootLog[] = "/var/log/quillon-uninstall.log";
const char kPassword[] = "Quillon-admin-7";

std::string ArtifactsDir() { return std::string(QUILLON_BINARY_ROOT) + "/artifacts/terminal-e2e"; }
bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

// Runs argv with `env` only, standard output kept apart from standard error.
struct Split {
  int exitCode = -1;
  std::string out, err;
};

Split RunSplit(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& scratch) {
  const std::string outPath = scratch + "/split-out", errPath = scratch + "/split-err";
  std::string command;
  for (const std::string& a : argv) command += "'" + a + "' ";
  RunResult ran = RunTool({"/bin/sh", "-c", command + "</dev/null >'" + outPath + "' 2>'" + errPath + "'"}, env);
  Split split{ran.exitCode, ReadFile(outPath), ReadFile(errPath)};
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return split;
}

// JSON is checked by Python's own parser: |digest|, Python that reads the
// document as `d`, prints what a test compares. Empty when it does not parse.
std::string Digest(const std::string& document, const std::string& digest, const std::string& scratch) {
  const std::string path = scratch + "/document.json";
  if (!WriteFile(path, document)) return "";
  RunResult ran = RunTool({"/usr/bin/python3", "-c", "import json,sys\nd=json.load(open(sys.argv[1]))\n" + digest, path},
                          {"PATH=/usr/bin:/bin"});
  return ran.exitCode == 0 ? ran.output : "";
}

// "path<TAB>user" for each removed item, then "status changed".
std::string JSONDigest(const std::string& document, const std::string& scratch) {
  return Digest(document,
                "for i in d['removed']: print('%s\\t%s' % (i['path'], i['user'] or ''))\n"
                "print(d['status'], d['changed'])\n",
                scratch);
}

// Every name, type, mode, size, time and content below `folder`: equal
// before and after means nothing there changed.
std::string Snapshot(const std::string& folder) {
  return RunTool({"/bin/sh", "-c",
                  "cd \"$1\" && find . -printf '%p %y %m %U %s %T@ %C@\\n' | sort && "
                  "find . -type f -exec sha256sum {} + | sort",
                  "sh", folder},
                 {"PATH=/usr/bin:/bin"})
      .output;
}

// The paths of a dry run's JSON document, one "part<TAB>path" a line, then
// "status wouldChange".
std::string DryRunDigest(const std::string& document, const std::string& scratch) {
  return Digest(document,
                "for p in d['parts']:\n for i in p['items']: print('%s\\t%s' % (p['part'], i['path']))\n"
                "print(d['status'], d['wouldChange'])\n",
                scratch);
}

// A tmux server of the user's own, one pane of 100 by 50.
class Tmux {
 public:
  explicit Tmux(std::string socket) : fSocket(std::move(socket)) {}
  ~Tmux() { (void) RunTool({kTmux, "-S", fSocket, "kill-server"}, {"PATH=/usr/bin:/bin"}); }
  bool Start(const std::string& command, const std::vector<std::string>& env) {
    return RunTool({kTmux, "-S", fSocket, "new-session", "-d", "-x", "100", "-y", "50", command}, env).exitCode == 0;
  }
  bool Keys(const std::vector<std::string>& keys, bool literal = false) {
    std::vector<std::string> argv = {kTmux, "-S", fSocket, "send-keys", "-t", "0"};
    if (literal) argv.push_back("-l");
    argv.insert(argv.end(), keys.begin(), keys.end());
    return RunTool(argv, {"PATH=/usr/bin:/bin"}).exitCode == 0;
  }
  std::string Screen() {
    return RunTool({kTmux, "-S", fSocket, "capture-pane", "-p", "-J", "-S", "-300", "-t", "0"}, {"PATH=/usr/bin:/bin"})
        .output;
  }
  // Waits until `text` shows `count` times; false at the deadline.
  bool WaitFor(const std::string& text, size_t count = 1, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Count(Screen(), text) >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::string fSocket;
};

class TerminalEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users, polkit rules and mounts";
    for (const char* tool : {kTmux, "/usr/bin/pkttyagent", "/usr/sbin/chpasswd"}) {
      if (access(tool, X_OK) != 0) GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh installs it)";
    }
    std::string why;
    if (!sys::PolkitIsRunning(&why)) GTEST_SKIP() << "needs polkitd on the system bus: " << why;
    if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("terminal-e2e", &fScratch, &error)) << error;
    ASSERT_TRUE(MakeDirs(fScratch + "/overlay") && MakeDirs(fScratch + "/shots") && MakeDirs(ArtifactsDir()));
    ASSERT_EQ(chmod((fScratch + "/shots").c_str(), 01777), 0);
  }

  void TearDown() override {
    if (!fAdminRule.empty()) (void) unlink(fAdminRule.c_str());
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  // Root's side in the namespace: the overlays, a tmpfs home for each user,
  // the build installed, the product's system part.
  bool Install(const std::vector<const sys::TestUser*>& users, bool systemPart, std::string* error) {
    if (!MountOverlays(fScratch + "/overlay", kOverlaid, error)) return false;
    for (const sys::TestUser* user : users) {
      const std::string data = "mode=0700,size=16m,uid=" + std::to_string(user->uid) + ",gid=" + std::to_string(user->gid);
      if (!sys::MountTmpfs(user->home, 0, data, error)) return false;
    }
    RunResult installed =
        RunTool({QUILLON_CMAKE_COMMAND, "--install", QUILLON_BINARY_ROOT, "--prefix", kPrefix}, {"PATH=/usr/bin:/bin"});
    if (installed.exitCode != 0) {
      *error = "cmake --install (build everything first): " + installed.output;
      return false;
    }
    // A pkexec that only notes that it was started: for the runs that must
    // never ask for a password.
    if (!WriteScript(fScratch + "/overlay/pkexec-called", "touch " + fScratch + "/shots/pkexec-was-called\nexit 127\n")) {
      *error = "cannot write the pkexec double";
      return false;
    }
    if (systemPart) {
      RunResult demo = RunTool({kDemo, "--system"}, {"PATH=/usr/bin:/bin"});
      if (demo.exitCode != 0) {
        *error = "quillon-demo-install --system: " + demo.output;
        return false;
      }
    }
    return true;
  }

  bool ReplacePkexec(std::string* error) {
    if (mount((fScratch + "/overlay/pkexec-called").c_str(), "/usr/bin/pkexec", nullptr, MS_BIND, nullptr) != 0) {
      *error = std::string("bind mount over pkexec: ") + strerror(errno);
      return false;
    }
    return true;
  }

  // The user's own part, installed as the user.
  static RunResult InstallUserPart(const sys::TestUser& user) {
    return RunTool({"/usr/sbin/runuser", "-u", user.name, "--", "/usr/bin/env", "HOME=" + user.home, kDemo, "--user"},
                   {"PATH=/usr/bin:/bin"});
  }

  // polkit asks `admin` for `user`'s administrator password, and `admin`
  // has one.
  bool MakeAdministrator(const sys::TestUser& user, const sys::TestUser& admin, std::string* error) {
    return sys::MakePolkitAdministrator(user, admin, kPassword, &fAdminRule, error);
  }

  void KeepArtifacts() {
    DIR* dir = opendir((fScratch + "/shots").c_str());
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.substr(name.size() - 4) == ".txt") {
        EXPECT_TRUE(WriteFile(ArtifactsDir() + "/" + name, ReadFile(fScratch + "/shots/" + name))) << name;
      }
    }
    closedir(dir);
  }

  std::string fScratch;
  std::string fAdminRule;
};

// The password prompt is pkttyagent's, on the pane; the test types into it
// as a person would: the right password, a wrong one, or Ctrl-C. As sudo
// does, a refused password is asked again, three times in all.
TEST_F(TerminalEndToEndTest, TheAdministratorsPasswordIsAskedForOnTheTerminal) {
  sys::ScopedTestUser user, admin;
  ASSERT_TRUE(user.ok() && admin.ok()) << user.error() << admin.error();
  std::string error;
  ASSERT_TRUE(MakeAdministrator(user.user(), admin.user(), &error)) << error;
  // Any rule of polkitd's once it has read this one: the admin rule is read with it.
  sys::ScopedPolkitRule loaded(admin.user(), sys::PolkitAnswer::No, {kQuillonUninstallRight});
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  // pkexec runs the installed tool under the product's own action.
  ASSERT_TRUE(ActionNamesTheInstalledTool(&error)) << error;

  const struct {
    const char* name;
    std::vector<std::string> answers;  // typed at each password prompt in turn
    bool literal;
    int exitCode;
    bool removed;
    const char* says;
  } cases[] = {
      {"right-password", {kPassword}, true, 0, true, "Quillon has been uninstalled."},
      {"wrong-twice-then-right", {"not-the-password", "nor-this-one", kPassword}, true, 0, true,
       "Quillon has been uninstalled."},
      {"wrong-password", {"not-the-password", "nor-this-one", "nor-that-one"}, true, 3, false,
       "the password was not accepted"},
      {"ctrl-c", {"C-c"}, false, 3, false, "Cancelled."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const sys::TestUser& u = user.user();
    sys::ChildOptions options;
    options.privateMountNamespace = true;
    options.timeout = std::chrono::milliseconds(240000);
    options.rootSetup = [&](std::string* error) { return Install({&u}, true, error); };
    const std::string shots = fScratch + "/shots";
    sys::ChildResult result = sys::RunAsUser(
        &u,
        [&]() -> int {
          ChildChecks checks;
          RunResult demo = RunTool({kDemo, "--user"}, {"HOME=" + u.home, "PATH=/usr/bin:/bin"});
          checks.Expect(demo.exitCode == 0, "quillon-demo-install --user: " + demo.output);
          const std::vector<std::string> entries = ReceiptEntries("/var/lib/quillon/receipts/quillon-root.list");
          checks.Expect(!entries.empty(), "no system receipt");
          Tmux tmux(u.home + "/tmux.sock");
          const std::string exitFile = u.home + "/exit-status";
          // Job control, as in an interactive shell: Ctrl-C reaches the
          // command's process group, not the shell that waits for it.
          checks.Expect(tmux.Start("set -m; PAGER=cat LANG=C.UTF-8 " + std::string(kCommand) + " --no-restart; echo $? > " +
                                       exitFile + "; sleep 600",
                                   {"PATH=/usr/bin:/bin", "HOME=" + u.home, "TERM=xterm"}),
                        "tmux does not start");
          // The MIDI question, then the two warnings, each [Y/n]: Return takes the default.
          for (size_t asked = 1; asked <= 3; asked++) {
            checks.Expect(tmux.WaitFor("[Y/n]", asked), "question " + std::to_string(asked) + " not asked");
            checks.Expect(tmux.Keys({"Enter"}), "cannot answer");
          }
          checks.Expect(tmux.WaitFor("Password:", 1, 90), "no password prompt");
          const std::string prompt = tmux.Screen();
          checks.Expect(WriteFile(shots + "/" + c.name + "-prompt.txt", prompt), "no capture of the prompt");
          // The read-me speaks of the window's controls: the terminal says
          // what stands for them here, and how to leave the pager.
          checks.Expect(Contains(prompt, "In this terminal, the questions after this page") &&
                            Contains(prompt, "The read-me opens in the pager: press q") &&
                            prompt.find("press q") < prompt.find("Quillon MIDI Driver Suite"),
                        "no word on the read-me's controls or the pager:\n" + prompt);
          // The product's own question, not pkexec's about a file in the home
          // folder (the list of what will be removed, above it, names the home).
          const size_t agent = prompt.rfind("AUTHENTICATING FOR");
          const std::string asked = agent == std::string::npos ? std::string() : prompt.substr(agent);
          checks.Expect(Contains(asked, "com.quillon.uninstaller.uninstall") &&
                            Contains(asked, "Authentication is required to remove the Quillon MIDI driver suite") &&
                            !Contains(asked, u.home),
                        "the prompt is not the product's:\n" + prompt);
          for (size_t typed = 0; typed < c.answers.size(); typed++) {
            // Each refused try says so, as sudo does, and asks again.
            checks.Expect(typed == 0 || (tmux.WaitFor("Password:", typed + 1, 90) &&
                                         tmux.WaitFor("Sorry, try again", typed, 5)),
                          "not asked again:\n" + tmux.Screen());
            checks.Expect(tmux.Keys({c.answers[typed]}, c.literal) && (c.literal ? tmux.Keys({"Enter"}) : true),
                          "cannot type");
          }
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
          while (!Exists(exitFile) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          const std::string screen = tmux.Screen();
          checks.Expect(WriteFile(shots + "/" + c.name + "-end.txt", screen), "no capture of the end");
          checks.Expect(atoi(ReadFile(exitFile).c_str()) == c.exitCode && Exists(exitFile),
                        "exit status " + ReadFile(exitFile) + "\n" + screen);
          checks.Expect(Contains(screen, c.says), std::string("the screen does not say ") + c.says + "\n" + screen);
          // No fourth try, and no try again after the last one.
          checks.Expect(Count(screen, "Password:") == c.answers.size() &&
                            Count(screen, "Sorry, try again") == c.answers.size() - 1,
                        "the tries:\n" + screen);
          for (const std::string& path : entries) {
            checks.Expect(Exists(path) != c.removed, (c.removed ? "still there: " : "removed: ") + path);
          }
          // Nothing of the uninstaller's own stays in the user's data folder.
          checks.Expect(!Exists(u.home + "/.local/share/Quillon"), "the helper tool's folder stays");
          checks.Expect(Exists(u.home + "/.local/share/quillon") != c.removed, "the user part is wrong");
          return checks.ExitCode();
        },
        options);
    KeepArtifacts();
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
  }
}

// A policy that says no is said at once: polkit is asked first without a
// prompt, so no password is asked for and pkexec never starts, and the text
// is the policy's, not the password's.
TEST_F(TerminalEndToEndTest, APolicyThatSaysNoIsSaidAtOnceWithNoPasswordPrompt) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  const sys::TestUser& u = user.user();
  sys::ScopedPolkitRule refused(u, sys::PolkitAnswer::No, {kQuillonUninstallRight});
  ASSERT_TRUE(refused.ok()) << refused.error();
  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(240000);
  options.rootSetup = [&](std::string* error) { return Install({&u}, true, error) && ReplacePkexec(error); };
  const std::string shots = fScratch + "/shots";
  sys::ChildResult result = sys::RunAsUser(
      &u,
      [&]() -> int {
        ChildChecks checks;
        Tmux tmux(u.home + "/tmux.sock");
        const std::string exitFile = u.home + "/exit-status";
        checks.Expect(tmux.Start("set -m; PAGER=cat LANG=C.UTF-8 " + std::string(kCommand) + " --no-restart; echo $? > " +
                                     exitFile + "; sleep 600",
                                 {"PATH=/usr/bin:/bin", "HOME=" + u.home, "TERM=xterm"}),
                      "tmux does not start");
        for (size_t asked = 1; asked <= 3; asked++) {
          checks.Expect(tmux.WaitFor("[Y/n]", asked), "question " + std::to_string(asked) + " not asked");
          checks.Expect(tmux.Keys({"Enter"}), "cannot answer");
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!Exists(exitFile) && std::chrono::steady_clock::now() < deadline) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const std::string screen = tmux.Screen();
        checks.Expect(WriteFile(shots + "/policy-says-no-end.txt", screen), "no capture of the end");
        checks.Expect(atoi(ReadFile(exitFile).c_str()) == 3 && Exists(exitFile), "exit status " + ReadFile(exitFile));
        checks.Expect(Contains(screen, "The administrator’s policy does not allow this") &&
                          !Contains(screen, "the password was not accepted") && !Contains(screen, "Password:"),
                      "not the policy's refusal:\n" + screen);
        checks.Expect(!Exists(shots + "/pkexec-was-called"), "pkexec was started");
        checks.Expect(Exists("/opt/quillon"), "something was removed");
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

// Without a terminal nothing is asked, and with nothing installed no
// password is asked for and pkexec never starts.
TEST_F(TerminalEndToEndTest, NoTerminalNeedsYesAndNothingInstalledAsksForNothing) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  const sys::TestUser& u = user.user();
  for (bool installed : {true, false}) {
    SCOPED_TRACE(installed ? "installed" : "clean");
    sys::ChildOptions options;
    options.privateMountNamespace = true;
    options.rootSetup = [&](std::string* error) { return Install({&u}, installed, error) && ReplacePkexec(error); };
    const std::string scratch = fScratch + "/shots";
    sys::ChildResult result = sys::RunAsUser(
        &u,
        [&]() -> int {
          ChildChecks checks;
          const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + u.home, "LANG=C.UTF-8"};
          if (installed) {
            // In the user's language.
            for (const auto& [lang, says] : {std::pair{"C.UTF-8", "Run with --yes"},
                                             std::pair{"de_DE.UTF-8", "Mit --yes werden die Warnungen"}}) {
              Split asked = RunSplit({kCommand}, {"PATH=/usr/bin:/bin", "HOME=" + u.home, std::string("LANG=") + lang},
                                     scratch);
              checks.Expect(asked.exitCode == 2, "exit " + std::to_string(asked.exitCode) + ": " + asked.err);
              checks.Expect(Contains(asked.err, says), "no message: " + asked.err);
            }
            checks.Expect(Exists("/opt/quillon"), "something was removed");

            // --dry-run: with no terminal, no password and no pkexec, the
            // list of every receipted path, as text and as data, and not
            // one byte of the home changed.
            RunResult demo = RunTool({kDemo, "--user"}, {"HOME=" + u.home, "PATH=/usr/bin:/bin"});
            checks.Expect(demo.exitCode == 0, "quillon-demo-install --user: " + demo.output);
            std::vector<std::string> entries = ReceiptEntries(u.home + "/.local/share/quillon/receipts/quillon-user.list");
            checks.Expect(!entries.empty(), "no user receipt");
            const std::vector<std::string> systemEntries = ReceiptEntries("/var/lib/quillon/receipts/quillon-root.list");
            const std::string before = Snapshot(u.home);
            checks.Expect(Contains(before, "./.asoundrc f "), "no snapshot of the home: " + before);
            Split dry = RunSplit({kCommand, "--dry-run"}, env, scratch);
            checks.Expect(WriteFile(scratch + "/dry-run-plain.txt", dry.out), "cannot keep the list");
            checks.Expect(dry.exitCode == 0, "exit " + std::to_string(dry.exitCode) + ": " + dry.err);
            checks.Expect(Contains(dry.out, "The following will be REMOVED:") &&
                              Contains(dry.out, "Dry run: nothing was changed.") &&
                              Contains(dry.out, u.home + "/.asoundrc") && Contains(dry.out, "(login item)"),
                          "the list: " + dry.out);
            Split json = RunSplit({kCommand, "--dry-run", "--json"}, env, scratch);
            const std::string digest = DryRunDigest(json.out, scratch);
            checks.Expect(json.exitCode == 0 && Contains(digest, "dry-run True\n"), "the document: " + json.out);
            for (const std::string& path : entries) {
              checks.Expect(Contains(dry.out, "  " + path + "\n") || Contains(dry.out, "  " + path + "/\n") ||
                                Contains(dry.out, "  " + path + " (login item)\n"),
                            "not listed: " + path);
              checks.Expect(Contains(digest, "user\t" + path + "\n"), "not in the document: " + path);
            }
            for (const std::string& path : systemEntries) {
              checks.Expect(Contains(digest, "system\t" + path + "\n"), "not in the document: " + path);
            }
            Split german = RunSplit({kCommand, "--dry-run"}, {"PATH=/usr/bin:/bin", "HOME=" + u.home, "LANG=de_DE.UTF-8"},
                                    scratch);
            checks.Expect(german.exitCode == 0 && Contains(german.out, "Folgendes wird ENTFERNT:") &&
                              Contains(german.out, "Probelauf: Es wurde nichts verändert."),
                          "in German: " + german.out);
            // And as a person sees it, in a terminal.
            {
              Tmux tmux(scratch + "/dry-run-tmux.sock");
              checks.Expect(tmux.Start("PAGER=cat LANG=C.UTF-8 " + std::string(kCommand) + " --dry-run; sleep 600",
                                       {"PATH=/usr/bin:/bin", "HOME=" + u.home, "TERM=xterm"}),
                            "tmux does not start");
              checks.Expect(tmux.WaitFor("Dry run: nothing was changed."), "no dry run in tmux:\n" + tmux.Screen());
              checks.Expect(WriteFile(scratch + "/dry-run-tmux.txt", tmux.Screen()), "no capture of the dry run");
            }
            checks.Expect(Snapshot(u.home) == before, "the dry runs changed the home");
            checks.Expect(Exists(u.home + "/.local/share/quillon") && Exists("/opt/quillon"), "something was removed");
          } else {
            // Nothing to remove is no question: no --yes needed, as with apt.
            Split run = RunSplit({kCommand, "--json"}, env, scratch);
            checks.Expect(run.exitCode == 0, "exit " + std::to_string(run.exitCode) + ": " + run.err);
            checks.Expect(Contains(run.err, "Quillon is not installed on this computer"), "no message: " + run.err);
            checks.Expect(JSONDigest(run.out, scratch) == "not-installed False\n", "the document: " + run.out);
          }
          checks.Expect(!Exists(scratch + "/pkexec-was-called"), "pkexec was started");
          checks.Expect(!Exists(u.home + "/.local/share/Quillon"), "the helper tool was installed");
          return checks.ExitCode();
        },
        options);
    KeepArtifacts();
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
  }
}

// The installed command speaks the user's language in a real terminal: its
// help, its questions with their letters (the capital one typed for yes),
// and its answer to a no. Only the user's own part is installed, so no
// password is ever asked for.
TEST_F(TerminalEndToEndTest, TheInstalledCommandsHelpAndQuestionsAreInTheUsersLanguage) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  const sys::TestUser& u = user.user();
  const struct {
    const char* lang;
    const char* help;
    const char* prompt;
    const char* yes;
    const char* cancelled;
  } cases[] = {
      {"fr_FR.UTF-8", "Utilisation\u00a0: quillon-uninstall", "[O/n]", "O", "Annul\u00e9."},
      {"es_ES.UTF-8", "Modo de empleo: quillon-uninstall", "[S/n]", "S", "Cancelado."},
      {"it_IT.UTF-8", "Uso: quillon-uninstall", "[S/n]", "S", "Annullato."},
      {"ja_JP.UTF-8", "\u4f7f\u7528\u6cd5: quillon-uninstall", "[Y/n]", "Y",
       "\u30ad\u30e3\u30f3\u30bb\u30eb\u3057\u307e\u3057\u305f"},
      {"de_DE.UTF-8", "Aufruf: quillon-uninstall", "[J/n]", "J", "Abgebrochen."},
  };
  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(240000);
  options.rootSetup = [&](std::string* error) { return Install({&u}, false, error) && ReplacePkexec(error); };
  const std::string shots = fScratch + "/shots";
  sys::ChildResult result = sys::RunAsUser(
      &u,
      [&]() -> int {
        ChildChecks checks;
        RunResult demo = RunTool({kDemo, "--user"}, {"HOME=" + u.home, "PATH=/usr/bin:/bin"});
        checks.Expect(demo.exitCode == 0, "quillon-demo-install --user: " + demo.output);
        for (const auto& c : cases) {
          const std::string lang = c.lang;
          Tmux tmux(u.home + "/tmux-" + lang.substr(0, 2) + ".sock");
          const std::string command = "PAGER=cat LANG=" + lang + " " + kCommand;
          checks.Expect(tmux.Start(command + " --help; " + command + " --no-restart; echo exit=$?; sleep 600",
                                   {"PATH=/usr/bin:/bin", "HOME=" + u.home, "TERM=xterm"}),
                        "tmux does not start");
          checks.Expect(tmux.WaitFor(c.help), lang + ": no help:\n" + tmux.Screen());
          // The MIDI question, answered with the capital; then a warning's
          // question, answered no.
          checks.Expect(tmux.WaitFor(c.prompt) && tmux.Keys({c.yes}, true) && tmux.Keys({"Enter"}),
                        lang + ": no first question:\n" + tmux.Screen());
          checks.Expect(tmux.WaitFor(c.prompt, 2) && tmux.Keys({"n"}, true) && tmux.Keys({"Enter"}),
                        lang + ": no second question:\n" + tmux.Screen());
          checks.Expect(tmux.WaitFor("exit=3"), lang + ": not cancelled:\n" + tmux.Screen());
          const std::string screen = tmux.Screen();
          checks.Expect(WriteFile(shots + "/lang-" + lang.substr(0, 2) + ".txt", screen), "no capture");
          checks.Expect(Contains(screen, c.cancelled), lang + ": the screen does not say " + c.cancelled + "\n" + screen);
          checks.Expect(!Contains(screen, "[Y/n]") || std::string(c.prompt) == "[Y/n]",
                        lang + ": an English question:\n" + screen);
          // man finds both pages in that language where they were installed.
          for (const std::string name : {"quillon-uninstall", "quillon-uninstaller"}) {
            const RunResult page =
                RunTool({"/usr/bin/man", "-w", name}, {"PATH=/usr/bin:/bin", "HOME=" + u.home, "LANG=" + lang});
            checks.Expect(Contains(page.output, "/usr/local/share/man/" + lang.substr(0, 2) + "/man1/" + name + ".1\n"),
                          lang + ": man finds " + page.output);
          }
        }
        checks.Expect(Exists(u.home + "/.local/share/quillon"), "something was removed");
        checks.Expect(!Exists(shots + "/pkexec-was-called"), "pkexec was started");
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

// As root, for every user: both users' parts go, each removed as that user
// (a wrapper around the user script notes who runs it), the system's part
// goes without touching a home, and a third user's files stay as they were.
TEST_F(TerminalEndToEndTest, AsRootAllUsersRemovesEachUsersPartAsThatUser) {
  sys::ScopedTestUser first, second, third;
  ASSERT_TRUE(first.ok() && second.ok() && third.ok());
  const std::vector<const sys::TestUser*> users = {&first.user(), &second.user(), &third.user()};
  const std::string records = fScratch + "/shots";
  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(240000);
  options.rootSetup = [&](std::string* error) { return Install(users, true, error) && ReplacePkexec(error); };
  sys::ChildResult result = sys::RunAsUser(
      nullptr,
      [&]() -> int {
        ChildChecks checks;
        std::vector<std::string> entries = ReceiptEntries("/var/lib/quillon/receipts/quillon-root.list");
        for (const sys::TestUser* user : {users[0], users[1]}) {
          RunResult demo = InstallUserPart(*user);
          checks.Expect(demo.exitCode == 0, "quillon-demo-install --user: " + demo.output);
          std::vector<std::string> own = ReceiptEntries(user->home + "/.local/share/quillon/receipts/quillon-user.list");
          checks.Expect(!own.empty(), "no user receipt for " + user->name);
          entries.insert(entries.end(), own.begin(), own.end());
        }
        // The third user has files where the product's would be, but no receipt.
        const std::string lookalike = users[2]->home + "/.config/quillon/settings.conf";
        checks.Expect(MakeDirs(users[2]->home + "/.config/quillon") && WriteFile(lookalike, "mine\n") &&
                          WriteFile(users[2]->home + "/.asoundrc", "# >>> Quillon MIDI >>>\nmine\n# <<< Quillon MIDI <<<\n"),
                      "cannot write the third user's files");
        // The user script, wrapped: who runs it, where, with what.
        const std::string script = std::string(kInstalledBundle) + "/Resources/usr_uninstall.ss";
        checks.Expect(rename(script.c_str(), (script + ".real").c_str()) == 0 &&
                          WriteScript(script, "echo \"$(id -u) $(id -g) $(id -G | wc -w) $(pwd) $(env | cut -d= -f1 | grep -vx PWD | "
                                              "sort | tr '\\n' ,) $(ls -l /proc/$$/fd | grep -c -e socket: -e /dev/pts -e memfd: -e /var/log)\" >> " +
                                                  records + "/user-script-$(id -u).txt\nexec " + script + ".real \"$@\"\n"),
                      "cannot wrap the user script");

        // Before: root's dry run names whose part goes and who is left out, and why.
        Split dry = RunSplit({kCommand, "--dry-run", "--user", users[0]->name}, {"PATH=/usr/bin:/bin", "HOME=/root"},
                             records);
        checks.Expect(WriteFile(records + "/root-dry-run.txt", dry.out), "cannot keep the list");
        checks.Expect(dry.exitCode == 0 &&
                          Contains(dry.out, "From the home folder of " + users[0]->name + " (files: ") &&
                          Contains(dry.out, "Stays: the own part of " + users[1]->name + ": run with --user") &&
                          !Contains(dry.out, users[2]->name),
                      "root's dry run: " + dry.out + dry.err);
        for (const std::string& path : entries) checks.Expect(Exists(path), "the dry run removed " + path);

        Split run = RunSplit({kCommand, "--yes", "--all-users", "--json"}, {"PATH=/usr/bin:/bin", "HOME=/root"}, records);
        checks.Expect(run.exitCode == 0, "exit " + std::to_string(run.exitCode) + ": " + run.err + run.out);
        checks.Expect(WriteFile(records + "/all-users.json.txt", run.out), "cannot keep the document");
        const std::string digest = JSONDigest(run.out, records);
        checks.Expect(Contains(digest, "removed True\n"), "the document: " + run.out);
        for (const std::string& path : entries) {
          checks.Expect(!Exists(path), "still there: " + path);
          // Every removal of a user's file is that user's; the system's touch no home.
          std::string owner;
          for (const sys::TestUser* user : {users[0], users[1]}) {
            if (path.rfind(user->home + "/", 0) == 0) owner = user->name;
          }
          checks.Expect(Contains(digest, path + "\t" + owner + "\n"), "not removed by " + owner + ": " + path);
        }
        for (const sys::TestUser* user : {users[0], users[1]}) {
          const std::string expected = std::to_string(user->uid) + " " + std::to_string(user->gid) + " 1 " +
                                       user->home + " HOME,LANG,LOGNAME,PATH,USER, 0\n";
          const std::string record = ReadFile(records + "/user-script-" + std::to_string(user->uid) + ".txt");
          checks.Expect(record == expected, "the user script ran as: " + record + " not " + expected);
        }
        checks.Expect(!Exists(records + "/user-script-0.txt"), "root ran a user script");
        checks.Expect(ReadFile(lookalike) == "mine\n" && Contains(ReadFile(users[2]->home + "/.asoundrc"), "mine"),
                      "the third user's files changed");
        const std::string log = ReadFile(kRootLog);
        checks.Expect(Contains(log, " status 0 ====\n") && Contains(log, "the own part of " + users[1]->name),
                      "the root log: " + log);

        // A second run: nothing left, nothing changed.
        Split again = RunSplit({kCommand, "--yes", "--all-users", "--json"}, {"PATH=/usr/bin:/bin", "HOME=/root"}, records);
        checks.Expect(again.exitCode == 0 && Contains(JSONDigest(again.out, records), "not-installed False"),
                      "second run: " + again.out + again.err);
        checks.Expect(!Exists(records + "/pkexec-was-called"), "root went through pkexec");
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

// What a user may write (a part's output, a name in a receipt) reaches root's
// terminal, the JSON and both log files only as visible text; and Ctrl-C in
// a root run skips a user's part that hangs, then finishes the others.
TEST_F(TerminalEndToEndTest, AsRootHostileUserPartsAreShownSafelyAndCtrlCSkipsAStalledOne) {
  sys::ScopedTestUser staller, attacker, own;
  ASSERT_TRUE(staller.ok() && attacker.ok() && own.ok());
  const std::vector<const sys::TestUser*> users = {&staller.user(), &attacker.user(), &own.user()};
  const std::string records = fScratch + "/shots";
  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(300000);
  options.rootSetup = [&](std::string* error) { return Install(users, true, error) && ReplacePkexec(error); };
  sys::ChildResult result = sys::RunAsUser(
      nullptr,
      [&]() -> int {
        ChildChecks checks;
        // Anything a terminal would act on: controls (our own "erase line"
        // and carriage returns aside, on the terminal), C1 in UTF-8, bad bytes.
        auto unsafe = [](std::string text, bool terminal) {
          if (terminal) {
            for (size_t at; (at = text.find("\x1b[K")) != std::string::npos;) text.erase(at, 3);
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
          }
          for (size_t i = 0; i < text.size(); i++) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) return true;
            if (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) return true;
          }
          return MoreUNIXFindInvalidUTF8(text) != text.size();
        };
        // One name the removal refuses (ESC is a control byte), one it removes (U+009B).
        const std::vector<std::string> evilNames = {"evil\x1b]0;owned\x07.conf", "evil\xC2\x9B" "2J.conf"};
        std::vector<std::string> attackersFiles;
        for (const sys::TestUser* user : users) {
          RunResult demo = InstallUserPart(*user);
          checks.Expect(demo.exitCode == 0, "quillon-demo-install --user: " + demo.output);
          const std::string receipt = user->home + "/.local/share/quillon/receipts/quillon-user.list";
          for (const std::string& path : ReceiptEntries(receipt)) {
            struct stat st;
            if (user == users[1] && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) attackersFiles.push_back(path);
          }
          for (const std::string& name : evilNames) {
            const std::string evil = user->home + "/.config/quillon/" + name;
            checks.Expect(WriteFile(evil, "x\n") && chown(evil.c_str(), user->uid, user->gid) == 0 &&
                              WriteFile(receipt, ReadFile(receipt) + evil + "\n"),
                          "cannot name the hostile file in " + user->name + "'s receipt");
          }
        }
        // The user script, wrapped: one user's hangs and ignores SIGTERM; the
        // others print escape sequences, C1, bad bytes and a flood first.
        const std::string script = std::string(kInstalledBundle) + "/Resources/usr_uninstall.ss";
        checks.Expect(rename(script.c_str(), (script + ".real").c_str()) == 0 &&
                          WriteScript(script, "if [ \"$(id -u)\" = " + std::to_string(users[0]->uid) + " ]; then\n"
                                              "  trap '' TERM; echo > " + records + "/stalled; sleep 600; exit 0\n"
                                              "fi\n"
                                              "printf '\\033]0;owned\\007\\033]52;c;b3duZWQ=\\007\\033[2J\\033[8mhidden"
                                              "\\302\\233" "31m\\233" "2J\\377 end\\n'\n"
                                              "seq -f 'flood %g' 1 1000\n"
                                              "exec " + script + ".real \"$@\"\n"),
                      "cannot wrap the user script");

        // As root on a terminal, the two users in order; Ctrl-C once the first hangs.
        Tmux tmux(records + "/root-tmux.sock");
        const std::string exitFile = records + "/root-exit", raw = records + "/root-terminal.raw";
        checks.Expect(tmux.Start("sleep 1; set -m; LANG=C.UTF-8 " + std::string(kCommand) + " --yes --no-restart --user " +
                                     users[0]->name + " --user " + users[1]->name + "; echo $? > " + exitFile +
                                     "; sleep 600",
                                 {"PATH=/usr/bin:/bin", "HOME=/root", "TERM=xterm"}),
                      "tmux does not start");
        checks.Expect(RunTool({kTmux, "-S", records + "/root-tmux.sock", "pipe-pane", "-o", "-t", "0", "cat >> " + raw},
                              {"PATH=/usr/bin:/bin"}).exitCode == 0,
                      "cannot record the pane");
        auto waitFor = [](const std::string& path, int seconds) {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
          while (!Exists(path) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          return Exists(path);
        };
        checks.Expect(waitFor(records + "/stalled", 120), "the stalling part never ran\n" + tmux.Screen());
        checks.Expect(tmux.Keys({"C-c"}), "cannot press Ctrl-C");
        checks.Expect(waitFor(exitFile, 60), "the run did not go on after Ctrl-C\n" + tmux.Screen());
        const std::string screen = tmux.Screen();
        checks.Expect(WriteFile(records + "/root-skip.txt", screen), "no capture");
        checks.Expect(atoi(ReadFile(exitFile).c_str()) == 0, "exit " + ReadFile(exitFile) + "\n" + screen);
        checks.Expect(Contains(screen, "skipped by the administrator"), "the skip is not reported\n" + screen);
        checks.Expect(!attackersFiles.empty(), "no receipt for the second user");
        for (const std::string& path : attackersFiles) {
          checks.Expect(!Exists(path), "the next user's part did not run: " + path);
        }
        checks.Expect(Exists(users[0]->home + "/.local/share/quillon"), "the skipped part was removed");
        // Every process of the skipped part is gone (reaped within moments).
        auto lingering = [&]() {
          bool found = false;
          if (DIR* proc = opendir("/proc")) {
            while (dirent* entry = readdir(proc)) {
              struct stat st;
              if (isdigit(static_cast<unsigned char>(entry->d_name[0])) &&
                  stat(("/proc/" + std::string(entry->d_name)).c_str(), &st) == 0 && st.st_uid == users[0]->uid) {
                found = true;
              }
            }
            closedir(proc);
          }
          return found;
        };
        for (int i = 0; i < 50 && lingering(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        checks.Expect(!lingering(), "a process of the skipped part is left");

        const std::string terminal = ReadFile(raw), rootLog = ReadFile(kRootLog);
        checks.Expect(WriteFile(records + "/root-terminal.txt", terminal), "no capture");
        checks.Expect(Contains(terminal, "\\x1b]0;owned") && Contains(terminal, "\\u009b"), "not shown escaped");
        checks.Expect(Contains(terminal, "lines of this user") && !Contains(terminal, "flood 500\r"),
                      "the flood was not cut on the terminal");
        checks.Expect(!unsafe(terminal, true), "raw controls on root's terminal");
        checks.Expect(!unsafe(rootLog, false) && Contains(rootLog, "\\x1b]0;owned") &&
                          Contains(rootLog, "skipped by the administrator"),
                      "root's log: " + rootLog);

        // The third user's own run, with the system's part gone: no password,
        // and the user's own log file.
        Split mine = RunSplit({"/usr/sbin/runuser", "-u", users[2]->name, "--", "/usr/bin/env", "HOME=" + users[2]->home,
                               "LANG=C.UTF-8", "PATH=/usr/bin:/bin", kCommand, "--yes", "--json"},
                              {"PATH=/usr/bin:/bin"}, records);
        const std::string userLog = ReadFile(users[2]->home + "/.local/state/quillon/uninstall.log");
        checks.Expect(mine.exitCode == 0, "the user's run: " + mine.err + mine.out);
        checks.Expect(!unsafe(mine.out, false) && !unsafe(mine.err, false) && Contains(mine.out, "\\\\u009b"),
                      "the user's run: " + mine.out);
        checks.Expect(!unsafe(userLog, false) && Contains(userLog, "\\u009b"), "the user's log: " + userLog);
        checks.Expect(WriteFile(records + "/hostile-user.json.txt", mine.out), "cannot keep the document");
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

// The fleet's way: the playbook, with become, against this machine.
TEST_F(TerminalEndToEndTest, TheAnsiblePlaybookRemovesQuillonOnceThenReportsOk) {
  if (access(kAnsible, X_OK) != 0) GTEST_SKIP() << "needs ansible-playbook (scripts/install-deps.sh installs it)";
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  const sys::TestUser& u = user.user();
  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(300000);
  options.rootSetup = [&](std::string* error) { return Install({&u}, true, error); };
  const std::string home = fScratch + "/shots/ansible-home";
  sys::ChildResult result = sys::RunAsUser(
      nullptr,
      [&]() -> int {
        ChildChecks checks;
        RunResult demo = InstallUserPart(u);
        checks.Expect(demo.exitCode == 0, "quillon-demo-install --user: " + demo.output);
        checks.Expect(MakeDirs(home), "no home for ansible");
        const std::vector<std::string> argv = {kAnsible, "-i", "localhost,", "-c", "local",
                                               std::string(QUILLON_SOURCE_ROOT) + "/contrib/ansible/uninstall-quillon.yml",
                                               // No sudo on a bare machine; su takes root to root without a password.
                                               "-e", "ansible_become_method=su", "-e",
                                               "ansible_python_interpreter=/usr/bin/python3"};
        const std::vector<std::string> env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "HOME=" + home, "ANSIBLE_NOCOLOR=1",
                                              "ANSIBLE_LOCAL_TEMP=" + home + "/tmp", "LANG=C.UTF-8"};
        // Check mode: changed, with the list, and nothing removed.
        std::vector<std::string> checkArgv = argv;
        checkArgv.insert(checkArgv.end(), {"--check", "-v"});
        RunResult check = RunTool(checkArgv, env);
        checks.Expect(WriteFile(fScratch + "/shots/ansible-check.txt", check.output), "cannot keep the output");
        checks.Expect(check.exitCode == 0 && Contains(check.output, "changed=1") && Contains(check.output, "failed=0") &&
                          Contains(check.output, "\"would_remove\"") &&
                          Contains(check.output, u.home + "/.config/quillon/settings.conf") &&
                          Contains(check.output, "Would need a restart to finish removing Quillon: localhost"),
                      "check run: " + check.output);
        checks.Expect(Exists("/opt/quillon") && Exists(u.home + "/.local/share/quillon"), "check mode removed something");
        RunResult first = RunTool(argv, env);
        checks.Expect(WriteFile(fScratch + "/shots/ansible-first.txt", first.output), "cannot keep the output");
        checks.Expect(first.exitCode == 0 && Contains(first.output, "changed=1") && Contains(first.output, "failed=0") &&
                          Contains(first.output, "Needs a restart to finish removing Quillon: localhost"),
                      "first run: " + first.output);
        checks.Expect(!Exists("/opt/quillon") && !Exists(u.home + "/.local/share/quillon"), "the product stays");
        RunResult second = RunTool(argv, env);
        checks.Expect(WriteFile(fScratch + "/shots/ansible-second.txt", second.output), "cannot keep the output");
        checks.Expect(second.exitCode == 0 && Contains(second.output, "ok=1") && Contains(second.output, "changed=0") &&
                          Contains(second.output, "failed=0") &&
                          !Contains(second.output, "a restart to finish removing Quillon:"),
                      "second run: " + second.output);
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

}  // namespace
