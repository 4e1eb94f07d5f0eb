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

#include <Authorization.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>

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

// JSON is checked by Python's own parser; prints "path<TAB>user" for each
// removed item, then "status changed".
std::string JSONDigest(const std::string& document, const std::string& scratch) {
  const std::string path = scratch + "/document.json";
  if (!WriteFile(path, document)) return "";
  RunResult digest = RunTool(
      {"/usr/bin/python3", "-c",
       "import json,sys\nd=json.load(open(sys.argv[1]))\n"
       "for i in d['removed']: print('%s\\t%s' % (i['path'], i['user'] or ''))\n"
       "print(d['status'], d['changed'])\n",
       path},
      {"PATH=/usr/bin:/bin"});
  return digest.exitCode == 0 ? digest.output : "";
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
    RunResult password = RunTool({"/bin/sh", "-c", "echo '" + admin.name + ":" + kPassword + "' | /usr/sbin/chpasswd"},
                                 {"PATH=/usr/sbin:/usr/bin:/bin"});
    if (password.exitCode != 0) {
      *error = "chpasswd: " + password.output;
      return false;
    }
    fAdminRule = "/etc/polkit-1/rules.d/39-" + user.name + "-admin.rules";
    return WriteFile(fAdminRule, "polkit.addAdminRule(function(action, subject) {\n  if (subject.user == \"" +
                                     user.name + "\") return [\"unix-user:" + admin.name +
                                     "\"];\n  return null;\n});\n");
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
// as a person would: the right password, a wrong one, or Ctrl-C.
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
    std::vector<std::string> answer;  // typed at the password prompt
    bool literal;
    int exitCode;
    bool removed;
    const char* says;
  } cases[] = {
      {"right-password", {kPassword}, true, 0, true, "Quillon has been uninstalled."},
      {"wrong-password", {"not-the-password"}, true, 3, false, "the password was not accepted"},
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
          // The product's own question, not pkexec's about a file in the home folder.
          checks.Expect(Contains(prompt, "Authentication is required to remove the Quillon MIDI driver suite") &&
                            !Contains(prompt, u.home),
                        "the prompt is not the product's:\n" + prompt);
          checks.Expect(tmux.Keys(c.answer, c.literal) && (c.literal ? tmux.Keys({"Enter"}) : true), "cannot type");
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
          while (!Exists(exitFile) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          const std::string screen = tmux.Screen();
          checks.Expect(WriteFile(shots + "/" + c.name + "-end.txt", screen), "no capture of the end");
          checks.Expect(atoi(ReadFile(exitFile).c_str()) == c.exitCode && Exists(exitFile),
                        "exit status " + ReadFile(exitFile) + "\n" + screen);
          checks.Expect(Contains(screen, c.says), std::string("the screen does not say ") + c.says + "\n" + screen);
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
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
  }
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
        RunResult first = RunTool(argv, env);
        checks.Expect(WriteFile(fScratch + "/shots/ansible-first.txt", first.output), "cannot keep the output");
        checks.Expect(first.exitCode == 0 && Contains(first.output, "changed=1") && Contains(first.output, "failed=0"),
                      "first run: " + first.output);
        checks.Expect(!Exists("/opt/quillon") && !Exists(u.home + "/.local/share/quillon"), "the product stays");
        RunResult second = RunTool(argv, env);
        checks.Expect(WriteFile(fScratch + "/shots/ansible-second.txt", second.output), "cannot keep the output");
        checks.Expect(second.exitCode == 0 && Contains(second.output, "ok=1") && Contains(second.output, "changed=0") &&
                          Contains(second.output, "failed=0"),
                      "second run: " + second.output);
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

}  // namespace
