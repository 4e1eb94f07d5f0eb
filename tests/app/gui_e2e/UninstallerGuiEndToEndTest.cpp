// The installed application, end to end, as a person would use it: a
// throwaway user on an Xvfb screen, real polkitd and pkexec answering yes by
// rule, the application driven from outside its process with xdotool.
//
// Each case runs in a private mount namespace in which /etc, /opt,
// /usr/local, /usr/share and /var/lib are overlays whose changes land in a
// scratch tmpfs and the user's home is a tmpfs of its own. There the build
// is installed with `cmake --install` into /usr/local, exactly as the
// README's command does (as root, so that every folder and file of the
// bundle is root's and mode 0755, which the helper tool insists on before it
// runs anything as root), and the demo product is installed on top, so the
// application and the product sit where they would on a real machine while
// the machine's own files stay untouched.
//
// Screenshots of every step go to <build>/artifacts/gui-e2e/.

#include "EngineSystemTestSupport.h"
#include "GuiDriver.h"
#include "WaylandDriver.h"

#include <Authorization.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/vfs.h>

#include <fstream>

#include <sstream>

using namespace quillon::enginetest;
namespace gui = quillon::guitest;

namespace {

const std::vector<std::string> kOverlaid = {"/etc", "/opt", "/usr/local", "/usr/share", "/var/lib"};
const char kPrefix[] = "/usr/local";
const char kInstalledBundle[] = "/usr/local/lib/quillon-uninstaller/Uninstaller.bundle";
const char kInstalledCommand[] = "/usr/local/bin/quillon-uninstaller";
const char kInstalledDemo[] = "/usr/local/lib/quillon-uninstaller/demo/quillon-demo-install";
const char kInstalledEntry[] = "/usr/local/share/applications/quillon-uninstaller.desktop";
// Every window of the application has this title (in English, LANG=C.UTF-8).
const char kWindowTitle[] = "Quillon Uninstaller";

// The engine runs on the main thread after the last warning: up to the
// completion sheet it installs the helper tool through pkexec and removes
// the product.
const int kEngineTimeoutMs = 180000;
const int kWindowTimeoutMs = 30000;

std::string ArtifactsDir() { return std::string(QUILLON_BINARY_ROOT) + "/artifacts/gui-e2e"; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool Executable(const char* path) { return access(path, X_OK) == 0; }

class UninstallerGuiEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users, polkit rules and mounts";
    for (const char* tool : {gui::kXvfb, gui::kXdotool, gui::kImport, gui::kConvert, gui::kXauth, gui::kXprop}) {
      if (!Executable(tool)) GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh installs it)";
    }
    std::string why;
    if (!sys::PolkitIsRunning(&why)) GTEST_SKIP() << "needs polkitd on the system bus: " << why;
    if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("gui-e2e", &fScratch, &error)) << error;
    ASSERT_TRUE(MakeDirs(fScratch + "/overlay") && MakeDirs(fScratch + "/x") && MakeDirs(fScratch + "/shots"));
    ASSERT_TRUE(MakeDirs(ArtifactsDir()));
    ASSERT_TRUE(StartXvfb(&error)) << error;
  }

  void TearDown() override {
    StopXvfb();
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  // An Xvfb screen of our own: -displayfd picks a free display number, and
  // a random cookie keeps other local users off it.
  bool StartXvfb(std::string* error) {
    fCookie = RandomHex(16);
    const std::string serverAuth = fScratch + "/x/server-auth";
    // The server takes every cookie in its file whatever display it names.
    if (gui::Run({gui::kXauth, "-q", "-f", serverAuth, "add", ":0", ".", fCookie}).exitCode != 0) {
      *error = "xauth could not write " + serverAuth;
      return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, (fScratch + "/x/xvfb.log").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    const char* argv[] = {gui::kXvfb,   "-displayfd", "3",      "-auth",          serverAuth.c_str(), "-nolisten",
                          "tcp",        "-screen",    "0",      "1280x800x24",    "-nocursor",        nullptr};
    int err = posix_spawn(&fXvfb, gui::kXvfb, &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
      close(fds[0]);
      fXvfb = -1;
      *error = std::string("cannot start Xvfb: ") + strerror(err);
      return false;
    }
    std::string number;
    const gui::Clock::time_point deadline = gui::Clock::now() + std::chrono::seconds(20);
    while (number.find('\n') == std::string::npos && gui::MsLeft(deadline) > 0) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, gui::MsLeft(deadline)) <= 0) continue;
      char buffer[32];
      ssize_t got = read(fds[0], buffer, sizeof buffer);
      if (got <= 0) break;
      number.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
      *error = "Xvfb did not report its display: " + ReadFile(fScratch + "/x/xvfb.log");
      return false;
    }
    fDisplay = ":" + number.substr(0, number.find('\n'));
    // Our own xdotool and the user's programs use the same cookie.
    fClientAuth = fScratch + "/x/client-auth";
    if (gui::Run({gui::kXauth, "-q", "-f", fClientAuth, "add", fDisplay, ".", fCookie}).exitCode != 0) {
      *error = "xauth could not write " + fClientAuth;
      return false;
    }
    return true;
  }

  void StopXvfb() {
    if (fXvfb <= 0) return;
    kill(fXvfb, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(fXvfb, &status, WNOHANG) == 0; i++) gui::SleepMs(50);
    if (waitpid(fXvfb, &status, WNOHANG) == 0) {
      kill(fXvfb, SIGKILL);
      waitpid(fXvfb, &status, 0);
    }
    fXvfb = -1;
  }

  static std::string RandomHex(size_t bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (char c : RandomBytes(bytes)) {
      hex += digits[(c >> 4) & 0xF];
      hex += digits[c & 0xF];
    }
    return hex;
  }

  // Gives the user the X cookie and the shots folder.
  bool PrepareForUser(const sys::TestUser& user) {
    return chown(fClientAuth.c_str(), user.uid, user.gid) == 0 && chmod(fClientAuth.c_str(), 0600) == 0 &&
           chown((fScratch + "/shots").c_str(), user.uid, user.gid) == 0;
  }

  // The child's setup as root inside its namespace: the scratch system
  // folders and home, then the build installed into /usr/local.
  bool InstallInNamespace(const sys::TestUser& user, std::string* error) {
    std::string data = "mode=0700,size=64m,uid=" + std::to_string(user.uid) + ",gid=" + std::to_string(user.gid);
    if (!MountOverlays(fScratch + "/overlay", kOverlaid, error) || !sys::MountTmpfs(user.home, 0, data, error)) {
      return false;
    }
    RunResult installed = RunTool({QUILLON_CMAKE_COMMAND, "--install", QUILLON_BINARY_ROOT, "--prefix", kPrefix},
                                  {"PATH=/usr/bin:/bin"});
    if (installed.exitCode != 0) {
      *error = "cmake --install (build everything first): " + installed.output;
      return false;
    }
    return true;
  }

  sys::ChildOptions UserOptions(const sys::TestUser& user) {
    sys::ChildOptions options;
    options.privateMountNamespace = true;
    options.timeout = std::chrono::milliseconds(300000);
    options.env = {"DISPLAY=" + fDisplay, "XAUTHORITY=" + fClientAuth, "QT_QPA_PLATFORM=xcb",
                   // No session bus: nothing may start one that outlives the test.
                   "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus", "XDG_RUNTIME_DIR=" + user.home + "/.run"};
    return options;
  }

  // Copies what the child left in the shots folder into the build tree.
  void KeepArtifacts() {
    const std::string shots = fScratch + "/shots";
    DIR* dir = opendir(shots.c_str());
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string content = ReadFile(shots + "/" + name);
      EXPECT_TRUE(WriteFile(ArtifactsDir() + "/" + name, content)) << name;
    }
    closedir(dir);
  }

  std::string fScratch;
  std::string fCookie;
  std::string fDisplay;
  std::string fClientAuth;
  pid_t fXvfb = -1;
};

// Child side: the steps up to and through the two warning sheets. Returns
// the main window, or "" after a failed check.
std::string OpenAndProceedThroughWarnings(const gui::Driver& app, ChildChecks& checks) {
  std::string main = app.WaitForFirstWindow(kWindowTimeoutMs);
  checks.Expect(!main.empty(), "the main window did not appear");
  if (main.empty()) return "";
  checks.Expect(app.Screenshot("01-main-window"), "no screenshot of the main window");

  // Task switchers match the window to the menu entry by the class of its
  // WM_CLASS, whatever path started it, and show the icon it carries.
  const std::string entry = ReadFile(kInstalledEntry);
  const size_t key = entry.find("\nStartupWMClass=");
  const std::string wmClass = key == std::string::npos
                                  ? "(none)"
                                  : entry.substr(key + 16, entry.find('\n', key + 1) - key - 16);
  const std::string classProperty = app.Property(main, "WM_CLASS");
  checks.Expect(Contains(classProperty, ", \"" + wmClass + "\"\n"),
                "WM_CLASS is not the entry's StartupWMClass " + wmClass + ": " + classProperty);
  checks.Expect(Contains(app.Property(main, "_NET_WM_ICON"), "Icon ("), "the window has no _NET_WM_ICON");

  // Uninstall… is the main window's default button.
  checks.Expect(app.Keys(main, {"Return"}), "could not press Uninstall");
  const char* warnings[] = {"02-warning-restart", "03-warning-shared-settings"};
  for (const char* shot : warnings) {
    std::string sheet = app.WaitForNewWindow({main}, kWindowTimeoutMs);
    checks.Expect(!sheet.empty(), std::string("no sheet for ") + shot);
    if (sheet.empty()) return "";
    checks.Expect(app.Screenshot(shot), std::string("no screenshot ") + shot);
    // Continue is the sheet's default button.
    checks.Expect(app.Keys(sheet, {"Return"}), std::string("could not press Continue on ") + shot);
    checks.Expect(app.WaitUntilGone(sheet, kWindowTimeoutMs), std::string("this sheet stays: ") + shot);
  }
  return checks.ExitCode() == 0 ? main : "";
}

// Child side: the sheet that ends a run. The busy sheet comes first, for as
// long as the engine runs; the run's end writes the log file and takes the
// busy sheet away before the next sheet comes.
std::string WaitForSheetAfterRun(const gui::Driver& app, const std::string& main, const std::string& logFile) {
  std::string sheet = app.WaitForNewWindow({main}, kEngineTimeoutMs);
  if (sheet.empty()) return "";
  const gui::Clock::time_point deadline = gui::Clock::now() + std::chrono::milliseconds(kEngineTimeoutMs);
  while (!Exists(logFile) && gui::MsLeft(deadline) > 0) gui::SleepMs(50);
  if (app.WaitUntilGone(sheet, 2000)) sheet = app.WaitForNewWindow({main, sheet}, kWindowTimeoutMs);
  return sheet;
}

// The product's system part, as its installer leaves it, for a run that is
// to get as far as the helper tool.
bool InstallSystemPart(std::string* error) {
  RunResult installed = RunTool({kInstalledDemo, "--system"}, {"PATH=/usr/bin:/bin"});
  if (installed.exitCode != 0) *error = "quillon-demo-install --system: " + installed.output;
  return installed.exitCode == 0;
}

TEST_F(UninstallerGuiEndToEndTest, UninstallsTheDemoProductThroughTheWarningsAndQuitsFromTheCompletionSheet) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  sys::ScopedPolkitRule rule(user.user(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  ASSERT_EQ(sys::PolkitCheckForUid(user->uid, kQuillonUninstallRight), 0)
      << "polkitd does not know " << kQuillonUninstallRight << " (scripts/ci/start-services.sh installs it)";
  ASSERT_TRUE(PrepareForUser(user.user()));
  const std::string home = user->home;
  const std::string shots = fScratch + "/shots";
  const bool hostHadProduct = Exists("/opt/quillon") || Exists("/var/lib/quillon");

  sys::ChildOptions options = UserOptions(user.user());
  options.rootSetup = [&](std::string* error) {
    if (!InstallInNamespace(user.user(), error) || !InstallSystemPart(error)) return false;
    // A root script slow enough to look at the window while it runs.
    RunResult slowed = RunTool({"/bin/sed", "-i", "2i sleep 15", std::string(kInstalledBundle) + "/Resources/uninstall.ss"},
                               {"PATH=/usr/bin:/bin"});
    if (slowed.exitCode != 0) *error = "cannot slow down uninstall.ss: " + slowed.output;
    return slowed.exitCode == 0;
  };
  sys::ChildResult result = sys::RunAsUser(
      &user.user(),
      [&]() -> int {
        ChildChecks checks;
        checks.Expect(mkdir((home + "/.run").c_str(), 0700) == 0, "cannot make the runtime folder");
        RunResult installed = RunTool({kInstalledDemo, "--user"}, {"HOME=" + home, "PATH=/usr/bin:/bin"});
        checks.Expect(installed.exitCode == 0, "quillon-demo-install --user: " + installed.output);
        std::vector<std::string> entries = ReceiptEntries("/var/lib/quillon/receipts/quillon-root.list");
        std::vector<std::string> userEntries = ReceiptEntries(home + "/.local/share/quillon/receipts/quillon-user.list");
        entries.insert(entries.end(), userEntries.begin(), userEntries.end());
        checks.Expect(entries.size() >= 13, "the receipts list too little");
        for (const std::string& path : entries) checks.Expect(Exists(path), "not installed: " + path);
        if (checks.ExitCode() != 0) return checks.ExitCode();

        pid_t pid = gui::Launch({kInstalledCommand}, {}, shots + "/application.log");
        checks.Expect(pid > 0, "cannot start " + std::string(kInstalledCommand));
        if (pid <= 0) return 1;
        gui::Driver app(pid, kWindowTitle, shots);
        std::string main = OpenAndProceedThroughWarnings(app, checks);
        if (main.empty()) {
          (void) app.Screenshot("failure");
          app.Stop();
          return 1;
        }

        // The engine runs under the busy sheet. The window still answers the
        // window manager's ping, and a second instance is refused.
        std::string busy = app.WaitForNewWindow({main}, kEngineTimeoutMs);
        checks.Expect(!busy.empty(), "no busy sheet");
        gui::SleepMs(1500);  // past the password, into the slow script
        checks.Expect(app.Screenshot("07-busy-sheet"), "no screenshot of the busy sheet");
        gui::Output pong = gui::Run({WM_PING_PATH, main, "3000"});
        checks.Expect(pong.exitCode == 0, "the main window does not answer _NET_WM_PING while busy: " + pong.out);
        pid_t second = gui::Launch({kInstalledCommand}, {}, shots + "/application-second.log");
        if (second > 0) {
          gui::Driver other(second, kWindowTitle, shots);
          // Refused at start, with no key pressed (its OK, which quits it,
          // is pressed in the headless tests).
          std::string otherMain = other.WaitForFirstWindow(kWindowTimeoutMs);
          std::string refused = otherMain.empty() ? "" : other.WaitForNewWindow({otherMain}, kWindowTimeoutMs);
          checks.Expect(!refused.empty(), "the second instance shows no sheet at start");
          checks.Expect(app.Screenshot("08-second-instance-refused"), "no screenshot of the refusal");
          other.Stop();
        }
        checks.Expect(second > 0, "cannot start a second instance");
        checks.Expect(app.Windows() == std::vector<std::string>{main, busy} ||
                          app.Windows() == std::vector<std::string>{busy, main},
                      "the busy sheet left before the slow script ended");

        // Then the completion sheet comes, log collapsed.
        std::string sheet = app.WaitForNewWindow({main, busy}, kEngineTimeoutMs);
        checks.Expect(!sheet.empty(), "no completion sheet");
        gui::Geometry collapsed, expanded;
        checks.Expect(!sheet.empty() && app.GetGeometry(sheet, &collapsed), "no geometry of the completion sheet");
        if (checks.ExitCode() != 0) {
          (void) app.Screenshot("failure");
          app.Stop();
          return 1;
        }
        checks.Expect(app.Screenshot("04-completion-sheet"), "no screenshot of the completion sheet");

        // "More Information" sits at the bottom left, inside the sheet's
        // margins (18 at the side, 14 at the bottom).
        checks.Expect(app.Click(sheet, 26, collapsed.height - 20), "could not click More Information");
        const gui::Clock::time_point deadline = gui::Clock::now() + std::chrono::milliseconds(kWindowTimeoutMs);
        while (app.GetGeometry(sheet, &expanded) && expanded.height <= collapsed.height && gui::MsLeft(deadline) > 0) {
          gui::SleepMs(50);
        }
        checks.Expect(expanded.height >= collapsed.height + 100,
                      "the log did not open: height " + std::to_string(collapsed.height) + " -> " +
                          std::to_string(expanded.height));
        checks.Expect(app.Screenshot("05-completion-sheet-log"), "no screenshot of the open log");

        // Quit follows the toggle that has the focus now.
        checks.Expect(app.Keys(sheet, {"Tab", "space"}), "could not press Quit");
        int status = -1;
        bool exited = app.WaitForExit(kWindowTimeoutMs, &status);
        checks.Expect(exited, "the application did not quit");
        if (!exited) {
          (void) app.Screenshot("failure");
          app.Stop();
          return 1;
        }
        checks.Expect(WIFEXITED(status) && WEXITSTATUS(status) == 0,
                      "the application ended with wait status " + std::to_string(status));

        // The product is gone, every file its receipts listed.
        for (const std::string& path : entries) checks.Expect(!Exists(path), "still there: " + path);
        checks.Expect(!Exists("/var/lib/quillon"), "the root receipts stay");
        checks.Expect(!Exists(home + "/.local/share/quillon"), "the user receipts stay");
        checks.Expect(!Exists(home + "/.config/autostart/quillon-midi-agent.desktop"), "the login item stays");
        checks.Expect(!Contains(ReadFile("/etc/asound.conf"), "# >>> Quillon MIDI >>>"),
                      "the ALSA block stays in /etc/asound.conf");
        const std::string runLog = ReadFile(home + "/.local/state/quillon/uninstall.log");
        checks.Expect(Contains(runLog, " status 0 ====\n"), "the run is not in the log file");
        checks.Expect(Contains(runLog, "MoreSecurity: Calling AEWP\n") && EngineDiagnostics(runLog).empty(),
                      "the helper tool's trace is not in the log file, or a failure is: " + runLog);
        checks.Expect(!Contains(ReadFile(shots + "/application-second.log"), "MoreSecurity"),
                      "the second instance went on to the helper tool");

        // A second run on the now clean machine: nothing to remove, and no
        // password asked for.
        pid_t again = gui::Launch({kInstalledCommand}, {}, shots + "/application-clean.log");
        checks.Expect(again > 0, "cannot start the application again");
        if (again <= 0) return 1;
        gui::Driver clean(again, kWindowTitle, shots);
        // Said as soon as the window opens, with no key pressed.
        std::string cleanMain = clean.WaitForFirstWindow(kWindowTimeoutMs);
        std::string notInstalled = cleanMain.empty() ? "" : clean.WaitForNewWindow({cleanMain}, kWindowTimeoutMs);
        checks.Expect(!notInstalled.empty(), "no sheet at start on a clean machine");
        checks.Expect(clean.Screenshot("09-not-installed"), "no screenshot of the not-installed sheet");
        checks.Expect(!notInstalled.empty() && clean.Keys(notInstalled, {"Return"}) &&
                          clean.WaitUntilGone(notInstalled, kWindowTimeoutMs),
                      "the not-installed sheet stays");
        checks.Expect(clean.Windows() == std::vector<std::string>{cleanMain}, "the window is not idle again");
        clean.Stop();
        checks.Expect(!Exists(home + "/.local/share/Quillon"), "the helper tool was installed on a clean machine");
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();

  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0)
      << result.Describe() << "\n"
      << result.out << "\napplication log:\n"
      << ReadFile(ArtifactsDir() + "/application.log");
  // The first run of the installed helper tool went through polkit; the
  // run on the clean machine never started it.
  // Its trace went to the run's log file (read inside the run), not to the
  // terminal the window was started from.
  std::string log = ReadFile(ArtifactsDir() + "/application.log");
  EXPECT_FALSE(Contains(log, "MoreSecurity") || Contains(log, "SecurityAgent")) << log;
  std::string clean = ReadFile(ArtifactsDir() + "/application-clean.log");
  EXPECT_FALSE(Contains(clean, "MoreSecurity") || Contains(clean, "pkexec") || Contains(clean, "SecurityAgent")) << clean;
  if (!hostHadProduct) {
    EXPECT_FALSE(Exists("/opt/quillon"));
    EXPECT_FALSE(Exists("/var/lib/quillon"));
  }
}

TEST_F(UninstallerGuiEndToEndTest, ABundleWithoutItsRemovalScriptEndsInTheErrorSheetAndTheWindowStaysIdle) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  sys::ScopedPolkitRule rule(user.user(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  ASSERT_TRUE(PrepareForUser(user.user()));
  const std::string shots = fScratch + "/shots";
  const std::string broken = "/opt/quillon-broken/Uninstaller.bundle";

  sys::ChildOptions options = UserOptions(user.user());
  options.rootSetup = [&](std::string* error) {
    if (!InstallInNamespace(user.user(), error)) return false;
    // The installed bundle, once more, without the script the root part runs.
    RunResult copied = RunTool({"/bin/mkdir", "-p", "/opt/quillon-broken"}, {});
    if (copied.exitCode == 0) copied = RunTool({"/bin/cp", "-a", kInstalledBundle, broken}, {});
    if (copied.exitCode != 0 || unlink((broken + "/Resources/uninstall.ss").c_str()) != 0) {
      *error = "cannot make the broken bundle: " + copied.output;
      return false;
    }
    return InstallSystemPart(error);
  };
  sys::ChildResult result = sys::RunAsUser(
      &user.user(),
      [&]() -> int {
        ChildChecks checks;
        checks.Expect(mkdir((user->home + "/.run").c_str(), 0700) == 0, "cannot make the runtime folder");
        // Verbose: the engine's trace on standard error as well as in the log.
        pid_t pid = gui::Launch({broken + "/Uninstaller", "--verbose"}, {}, shots + "/application-error.log");
        checks.Expect(pid > 0, "cannot start the broken bundle's application");
        if (pid <= 0) return 1;
        gui::Driver app(pid, kWindowTitle, shots);
        std::string main = OpenAndProceedThroughWarnings(app, checks);
        const std::string logFile = user->home + "/.local/state/quillon/uninstall.log";
        std::string sheet = main.empty() ? "" : WaitForSheetAfterRun(app, main, logFile);
        checks.Expect(!sheet.empty(), "no error sheet");
        if (sheet.empty()) {
          (void) app.Screenshot("failure-error-run");
          app.Stop();
          return 1;
        }
        checks.Expect(app.Screenshot("06-error-sheet"), "no screenshot of the error sheet");
        // Show Details… (left of Copy and OK) opens the run's log.
        gui::Geometry closed, open;
        checks.Expect(app.GetGeometry(sheet, &closed) && app.Keys(sheet, {"shift+Tab", "shift+Tab", "space"}),
                      "could not press Show Details");
        const gui::Clock::time_point deadline = gui::Clock::now() + std::chrono::milliseconds(kWindowTimeoutMs);
        while (app.GetGeometry(sheet, &open) && open.height <= closed.height + 100 && gui::MsLeft(deadline) > 0) {
          gui::SleepMs(50);
        }
        checks.Expect(open.height > closed.height + 100, "the details did not open");
        checks.Expect(app.Screenshot("10-error-sheet-details"), "no screenshot of the details");
        checks.Expect(Contains(ReadFile(logFile), " status -4960 ====\nUninstaller failed with error -4960"),
                      "the run is not in the log file");
        // OK, its one button, is the default; then the window is idle again.
        checks.Expect(app.Keys(sheet, {"Return"}), "could not press OK");
        checks.Expect(app.WaitUntilGone(sheet, kWindowTimeoutMs), "the error sheet stays");
        checks.Expect(app.AppRunning() && app.Windows() == std::vector<std::string>{main},
                      "the main window is not alone on the screen after the error");
        app.Stop();
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();

  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0)
      << result.Describe() << "\n"
      << result.out << "\napplication log:\n"
      << ReadFile(ArtifactsDir() + "/application-error.log");
  // The error sheet is for the missing script, and for nothing before it.
  std::vector<std::string> diagnostics = EngineDiagnostics(ReadFile(ArtifactsDir() + "/application-error.log"));
  ASSERT_EQ(diagnostics.size(), 1u) << ReadFile(ArtifactsDir() + "/application-error.log");
  EXPECT_TRUE(Contains(diagnostics[0], "Uninstaller error:-4960 ")) << diagnostics[0];
}

// Pictures for a reader, in English and in German: the first warning with
// what will be removed and its paths open under Show Details, then the error
// sheet of a run whose data folder is on a full file system (a small tmpfs
// on ~/.local/share, filled to its last block after the user's part went
// in), where the helper tool cannot be copied.
TEST_F(UninstallerGuiEndToEndTest, TheWarningWithWhatWillBeRemovedAndAFullDisksErrorSheetInEnglishAndGerman) {
  const struct {
    const char* language;
    const char* lang;
    const char* title;
  } languages[] = {{"en", "C.UTF-8", "Quillon Uninstaller"}, {"de", "de_DE.UTF-8", "Quillon deinstallieren"}};
  for (const auto& language : languages) {
    SCOPED_TRACE(language.language);
    sys::ScopedTestUser user;
    ASSERT_TRUE(user.ok()) << user.error();
    sys::ScopedPolkitRule rule(user.user(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
    ASSERT_TRUE(rule.ok()) << rule.error();
    ASSERT_TRUE(PrepareForUser(user.user()));
    const std::string home = user->home;
    const std::string shots = fScratch + "/shots";
    const std::string suffix = std::string("-") + language.language;
    sys::ChildOptions options = UserOptions(user.user());
    options.rootSetup = [&](std::string* error) {
      if (!InstallInNamespace(user.user(), error) || !InstallSystemPart(error)) return false;
      for (const std::string& folder : {home + "/.local", home + "/.local/share"}) {
        if ((mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) || chown(folder.c_str(), user->uid, user->gid) != 0) {
          *error = "cannot make " + folder;
          return false;
        }
      }
      const std::string data =
          "mode=0755,size=2m,uid=" + std::to_string(user->uid) + ",gid=" + std::to_string(user->gid);
      return sys::MountTmpfs(home + "/.local/share", 0, data, error);
    };
    sys::ChildResult result = sys::RunAsUser(
        &user.user(),
        [&]() -> int {
          ChildChecks checks;
          checks.Expect(mkdir((home + "/.run").c_str(), 0700) == 0, "cannot make the runtime folder");
          RunResult installed = RunTool({kInstalledDemo, "--user"}, {"HOME=" + home, "PATH=/usr/bin:/bin"});
          checks.Expect(installed.exitCode == 0, "quillon-demo-install --user: " + installed.output);
          // To the last block: dd ends when the file system is full.
          (void) RunTool({"/bin/sh", "-c", "dd if=/dev/zero of=\"$1/filler\" bs=4k 2>/dev/null; true", "sh",
                          home + "/.local/share"},
                         {"PATH=/usr/bin:/bin"});
          struct statfs fs = {};
          checks.Expect(statfs((home + "/.local/share").c_str(), &fs) == 0 && fs.f_bavail == 0, "the disk is not full");
          pid_t pid = gui::Launch({kInstalledCommand}, {std::string("LANG=") + language.lang, "LANGUAGE="},
                                  shots + "/application" + suffix + ".log");
          checks.Expect(pid > 0, "cannot start the application");
          if (pid <= 0) return 1;
          gui::Driver app(pid, language.title, shots);
          const std::string main = app.WaitForFirstWindow(kWindowTimeoutMs);
          checks.Expect(!main.empty() && app.Keys(main, {"Return"}), "no main window, or Uninstall not pressed");
          std::string sheet = main.empty() ? "" : app.WaitForNewWindow({main}, kWindowTimeoutMs);
          checks.Expect(!sheet.empty(), "no first warning");
          if (sheet.empty()) {
            (void) app.Screenshot("failure-preview" + suffix);
            app.Stop();
            return 1;
          }
          checks.Expect(app.Screenshot("15-warning-what-will-be-removed" + suffix), "no screenshot of the warning");
          // Show Details… (left of Copy, Cancel and Continue) opens the paths.
          gui::Geometry closed, open;
          checks.Expect(app.GetGeometry(sheet, &closed) && app.Keys(sheet, {"shift+Tab", "shift+Tab", "shift+Tab", "space"}),
                        "could not press Show Details");
          const gui::Clock::time_point deadline = gui::Clock::now() + std::chrono::milliseconds(kWindowTimeoutMs);
          while (app.GetGeometry(sheet, &open) && open.height <= closed.height + 100 && gui::MsLeft(deadline) > 0) {
            gui::SleepMs(50);
          }
          checks.Expect(open.height > closed.height + 100, "the paths did not open");
          checks.Expect(app.Screenshot("16-warning-what-will-be-removed-details" + suffix),
                        "no screenshot of the paths");
          // Continue, on both warnings (it keeps the first focus's default).
          for (int warning = 0; warning < 2 && !sheet.empty(); warning++) {
            checks.Expect(app.Keys(sheet, {"Return"}) && app.WaitUntilGone(sheet, kWindowTimeoutMs),
                          "could not go on from warning " + std::to_string(warning + 1));
            if (warning == 0) sheet = app.WaitForNewWindow({main}, kWindowTimeoutMs);
          }
          const std::string logFile = home + "/.local/state/quillon/uninstall.log";
          sheet = WaitForSheetAfterRun(app, main, logFile);
          checks.Expect(!sheet.empty(), "no error sheet");
          checks.Expect(app.Screenshot("17-full-disk-error" + suffix), "no screenshot of the full disk's error");
          checks.Expect(Contains(ReadFile(logFile), " status 28 ===="), "the run is not in the log file");
          checks.Expect(Exists("/opt/quillon"), "something was removed");
          app.Stop();
          return checks.ExitCode();
        },
        options);
    KeepArtifacts();
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0)
        << result.Describe() << "\n"
        << result.out << "\napplication log:\n"
        << ReadFile(ArtifactsDir() + "/application" + suffix + ".log");
  }
}

// Without an authentication agent polkit cannot ask for the password, and a
// policy can say no: each gets a sheet that says so, and nothing is removed.
TEST_F(UninstallerGuiEndToEndTest, NoAgentAndADenyingPolicyEachShowTheirOwnSheet) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  ASSERT_TRUE(PrepareForUser(user.user()));
  const std::string shots = fScratch + "/shots";
  const std::string logFile = user->home + "/.local/state/quillon/uninstall.log";
  const struct {
    bool denyRule;  // else no rule: an administrator's password, and no agent runs
    const char* shot;
    const char* status;
  } cases[] = {{false, "11-no-agent-sheet", " status -60007 ===="}, {true, "12-policy-sheet", " status 5362 ===="}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shot);
    std::unique_ptr<sys::ScopedPolkitRule> rule;
    if (c.denyRule) {
      // pkexec asks the product's own action for the installed tool.
      rule = std::make_unique<sys::ScopedPolkitRule>(user.user(), sys::PolkitAnswer::No,
                                                     std::vector<std::string>{sys::kPkexecAction, kQuillonUninstallRight});
      ASSERT_TRUE(rule->ok()) << rule->error();
    }
    sys::ChildOptions options = UserOptions(user.user());
    options.rootSetup = [&](std::string* error) {
      return InstallInNamespace(user.user(), error) && InstallSystemPart(error);
    };
    const std::string appLog = shots + "/application-" + c.shot + ".log";
    sys::ChildResult result = sys::RunAsUser(
        &user.user(),
        [&]() -> int {
          ChildChecks checks;
          checks.Expect(mkdir((user->home + "/.run").c_str(), 0700) == 0, "cannot make the runtime folder");
          pid_t pid = gui::Launch({kInstalledCommand}, {}, appLog);
          checks.Expect(pid > 0, "cannot start the application");
          if (pid <= 0) return 1;
          gui::Driver app(pid, kWindowTitle, shots);
          std::string main = OpenAndProceedThroughWarnings(app, checks);
          std::string sheet = main.empty() ? "" : WaitForSheetAfterRun(app, main, logFile);
          checks.Expect(!sheet.empty(), "no sheet after the refused authorization");
          checks.Expect(Contains(ReadFile(logFile), c.status), "the log file does not hold" + std::string(c.status));
          checks.Expect(app.Screenshot(c.shot), "no screenshot");
          checks.Expect(!sheet.empty() && app.Keys(sheet, {"Return"}) && app.WaitUntilGone(sheet, kWindowTimeoutMs),
                        "the sheet stays");
          checks.Expect(app.Windows() == std::vector<std::string>{main}, "the window is not idle again");
          app.Stop();
          checks.Expect(Exists("/opt/quillon"), "something was removed");
          return checks.ExitCode();
        },
        options);
    KeepArtifacts();
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0)
        << result.Describe() << "\n" << result.out << "\napplication log:\n" << ReadFile(ArtifactsDir() + "/application-" + c.shot + ".log");
  }
}

// Child side: the user's runtime folder, a desktop session in it (under
// Wayland, or only its session bus beside the X server), and the product's
// user part.
void StartDesktopWithUserPart(gui::DesktopSession& desktop, bool wayland, const std::string& home,
                              const std::string& logDir, ChildChecks& checks) {
  checks.Expect(mkdir((home + "/.run").c_str(), 0700) == 0, "cannot make the runtime folder");
  std::string error;
  checks.Expect(wayland ? desktop.StartWayland(home + "/.run", logDir, &error)
                        : desktop.StartBus(home + "/.run", logDir, &error),
                error);
  RunResult installed = RunTool({kInstalledDemo, "--user"}, {"HOME=" + home, "PATH=/usr/bin:/bin"});
  checks.Expect(installed.exitCode == 0, "quillon-demo-install --user: " + installed.output);
}

// A login session that polkitd accepts, without a logind to make it: what
// logind itself leaves for its readers (polkitd reads it through
// libsystemd's sd-login), namely a session scope in the cgroup tree that
// holds the session's processes, and the session's and the user's state
// files under /run/systemd. A graphical agent started in the session can
// then register for it, and pkexec started there finds it.
class ScopedLoginSession {
 public:
  // `display`: the session's X display.
  ScopedLoginSession(const sys::TestUser& user, const std::string& display) {
    fRoot = TrackingHierarchy();
    if (fRoot.empty() || !Exists("/run/systemd/seats") || !Exists("/run/systemd/sessions")) return;
    fId = "qlgui" + std::to_string(user.uid);
    fSlice = fRoot + "/user.slice/user-" + std::to_string(user.uid) + ".slice";
    fScope = fSlice + "/session-" + fId + ".scope";
    fSessionFile = "/run/systemd/sessions/" + fId;
    fUserFile = "/run/systemd/users/" + std::to_string(user.uid);
    fOk = MakeDirs(fScope) && MakeDirs("/run/systemd/users") &&
          WriteFile(fSessionFile, "UID=" + std::to_string(user.uid) + "\nUSER=" + user.name +
                                      "\nACTIVE=1\nIS_DISPLAY=1\nSTATE=active\nREMOTE=0\nTYPE=x11\nCLASS=user\n"
                                      "SCOPE=session-" + fId + ".scope\nSEAT=seat0\nDISPLAY=" + display + "\n") &&
          WriteFile(fUserFile, "NAME=" + user.name + "\nSTATE=active\nSESSIONS=" + fId + "\nDISPLAY=" + fId +
                                   "\nACTIVE_SESSIONS=" + fId + "\nONLINE_SESSIONS=" + fId + "\n");
  }
  ~ScopedLoginSession() {
    if (!fSessionFile.empty()) (void) unlink(fSessionFile.c_str());
    if (!fUserFile.empty()) (void) unlink(fUserFile.c_str());
    // Empty once the session's last processes (the accessibility bus's,
    // which end with the session bus) are gone.
    for (int tries = 0; !fScope.empty() && rmdir(fScope.c_str()) != 0 && errno == EBUSY && tries < 100; tries++) {
      gui::SleepMs(50);
    }
    if (!fSlice.empty()) (void) rmdir(fSlice.c_str());
  }
  bool ok() const { return fOk; }
  // Moves a process, and so all it starts, into the session.
  bool Join(pid_t pid) const { return WriteFile(fScope + "/cgroup.procs", std::to_string(pid) + "\n"); }

 private:
  // The cgroup v2 hierarchy in which systemd keeps its own tree: all of
  // /sys/fs/cgroup, or its "unified" part beside the v1 controllers.
  static std::string TrackingHierarchy() {
    constexpr long kCgroup2Magic = 0x63677270;
    for (const char* path : {"/sys/fs/cgroup/unified", "/sys/fs/cgroup"}) {
      struct statfs fs;
      if (statfs(path, &fs) == 0 && static_cast<long>(fs.f_type) == kCgroup2Magic && access(path, W_OK) == 0) {
        return path;
      }
    }
    return "";
  }

  bool fOk = false;
  std::string fRoot, fId, fSlice, fScope, fSessionFile, fUserFile;
};

// Whose password the agent's dialog asks for (see MakePolkitAdministrator).
const char kAdminPassword[] = "QuillonAdmin7";

// The Debian graphical authentication agent, in a login session of the
// user's: pkexec's request reaches its dialog, the administrator's password
// is typed into it, and the uninstall goes through to the completion sheet.
// The dialog is read through the accessibility bus and must stand above the
// busy sheet.
TEST_F(UninstallerGuiEndToEndTest, TheAdministratorsPasswordIsTypedIntoTheGraphicalAgentsDialog) {
  const char kAgent[] = "/usr/bin/lxpolkit";
  for (const char* tool : {kAgent, gui::kDbusDaemon, gui::kPython, "/usr/bin/xwininfo", "/usr/sbin/chpasswd"}) {
    if (!Executable(tool)) GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh installs it)";
  }
  if (gui::Run({gui::kPython, "-c", "import pyatspi"}).exitCode != 0) GTEST_SKIP() << "needs python3-pyatspi";
  sys::ScopedTestUser user, admin;
  ASSERT_TRUE(user.ok() && admin.ok()) << user.error() << admin.error();
  ScopedLoginSession session(user.user(), fDisplay);
  if (!session.ok()) GTEST_SKIP() << "no writable cgroup v2 tree or no /run/systemd/seats: polkitd reads no sessions";
  std::string adminRule, error;
  ASSERT_TRUE(sys::MakePolkitAdministrator(user.user(), admin.user(), kAdminPassword, &adminRule, &error)) << error;
  {
    // Any rule of polkitd's once it has read this one: the admin rule is read with it.
    sys::ScopedPolkitRule loaded(admin.user(), sys::PolkitAnswer::No, {kQuillonUninstallRight});
    ASSERT_TRUE(loaded.ok()) << loaded.error();
  }
  ASSERT_TRUE(PrepareForUser(user.user()));
  const std::string home = user->home;
  const std::string shots = fScratch + "/shots";

  sys::ChildOptions options = UserOptions(user.user());
  options.rootSetup = [&](std::string* error) {
    return InstallInNamespace(user.user(), error) && InstallSystemPart(error);
  };
  options.beforeRun = [&](pid_t child) { return session.Join(child); };
  sys::ChildResult result = sys::RunAsUser(
      &user.user(),
      [&]() -> int {
        ChildChecks checks;
        gui::DesktopSession desktop;
        StartDesktopWithUserPart(desktop, false, home, shots, checks);
        // A GTK 2 program: it serves the accessibility bus through these modules.
        pid_t agentPid = gui::Launch({kAgent}, {"GTK_MODULES=gail:atk-bridge"}, shots + "/agent.log");
        checks.Expect(agentPid > 0, "cannot start the agent");
        if (checks.ExitCode() != 0) return checks.ExitCode();
        // It registers as it starts; its (unmapped) leader window says it has.
        gui::Driver agent(agentPid, "Authentication", shots);
        const gui::Clock::time_point up = gui::Clock::now() + std::chrono::seconds(20);
        while (gui::Words(gui::Run({gui::kXdotool, "search", "--pid", std::to_string(agentPid)}).out).empty() &&
               gui::MsLeft(up) > 0) {
          gui::SleepMs(100);
        }
        gui::SleepMs(1000);

        pid_t pid = gui::Launch({kInstalledCommand}, {}, shots + "/application-agent.log");
        checks.Expect(pid > 0, "cannot start the application");
        if (pid <= 0) return 1;
        gui::Driver app(pid, kWindowTitle, shots);
        std::string main = OpenAndProceedThroughWarnings(app, checks);
        std::string busy = main.empty() ? "" : app.WaitForNewWindow({main}, kEngineTimeoutMs);
        checks.Expect(!busy.empty(), "no busy sheet");
        std::string dialog = busy.empty() ? "" : agent.WaitForFirstWindow(kWindowTimeoutMs);
        checks.Expect(!dialog.empty(), "the agent shows no dialog");
        if (dialog.empty()) {
          (void) app.Screenshot("failure-agent");
          app.Stop();
          kill(agentPid, SIGTERM);
          return 1;
        }
        checks.Expect(app.Screenshot("13-agent-dialog"), "no screenshot of the agent's dialog");

        // Above the busy sheet: xwininfo lists the screen's windows top first.
        const std::string tree = gui::Run({"/usr/bin/xwininfo", "-root", "-children"}).out;
        auto at = [&tree](const std::string& id) {
          char hex[32];
          snprintf(hex, sizeof hex, " 0x%lx ", std::stoul(id));
          return tree.find(hex);
        };
        checks.Expect(at(dialog) != std::string::npos && at(dialog) < at(busy),
                      "the dialog is not above the busy sheet");

        // What it asks. pkexec shows the message of the action whose
        // exec.path names the program it runs, and else one naming that
        // program, which is the copy of the helper tool in the home folder
        // until the product's action names the tool that pkexec runs.
        gui::AccessibleDriver reader(agentPid, ATSPI_DRIVER_PATH, shots);
        std::vector<gui::AccessibleWindow> shown = reader.Windows();
        const std::string text = shown.empty() ? "" : shown.back().texts;
        std::ofstream(shots + "/13-agent-dialog.txt") << text << "\n";
        checks.Expect(Contains(text, "Authentication is"), "the dialog's text cannot be read: " + text);
        // The product's own message, not pkexec's question about a file.
        checks.Expect(Contains(text, "Authentication is required to remove the Quillon MIDI driver suite") &&
                          !Contains(text, home),
                      "the dialog does not show the product's message: " + text);

        std::vector<std::string> keys;
        for (const char* c = kAdminPassword; *c != '\0'; c++) keys.emplace_back(1, *c);
        keys.push_back("Return");
        checks.Expect(agent.Keys(dialog, keys), "could not type the password");
        checks.Expect(agent.WaitUntilGone(dialog, kWindowTimeoutMs), "the dialog stays");
        std::string sheet = app.WaitForNewWindow({main, busy}, kEngineTimeoutMs);
        checks.Expect(!sheet.empty(), "no completion sheet");
        checks.Expect(app.Screenshot("14-completion-after-agent"), "no screenshot of the completion sheet");
        checks.Expect(!Exists("/opt/quillon") && !Exists("/var/lib/quillon"), "the system part stays");
        app.Stop();
        kill(agentPid, SIGTERM);
        int status = 0;
        waitpid(agentPid, &status, 0);
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  (void) unlink(adminRule.c_str());
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0)
      << result.Describe() << "\n" << result.out << "\napplication log:\n"
      << ReadFile(ArtifactsDir() + "/application-agent.log")
      << "\nagent log:\n" << ReadFile(ArtifactsDir() + "/agent.log");
}

// Child side, under Wayland: the main window, then Uninstall… and Continue
// on each warning. `warnings` are texts of the sheets in their order;
// screenshots are named "wayland-<n>-...".
bool ProceedThroughWarningsUnderWayland(const gui::AccessibleDriver& app, ChildChecks& checks,
                                        const std::vector<std::string>& warnings) {
  checks.Expect(app.WaitFor(1, "This program removes", kWindowTimeoutMs), "the main window did not appear");
  checks.Expect(app.Screenshot("wayland-01-main-window"), "no screenshot of the main window");
  checks.Expect(app.Press("Uninstall…"), "could not press Uninstall");
  int n = 2;
  for (const std::string& warning : warnings) {
    checks.Expect(app.WaitFor(2, warning, kWindowTimeoutMs), "no sheet saying " + warning);
    checks.Expect(app.Screenshot("wayland-0" + std::to_string(n++) + "-warning"), "no screenshot of " + warning);
    checks.Expect(app.Press("Continue"), "could not press Continue on " + warning);
    if (checks.ExitCode() != 0) return false;
  }
  return true;
}

// Child side: Show Details… or More Information opens the newest sheet's
// log, the text of which (`logText`) was not on the screen before.
void OpenTheLogUnderWayland(const gui::AccessibleDriver& app, ChildChecks& checks, const std::string& button,
                            const std::string& logText, const std::string& shot) {
  std::vector<gui::AccessibleWindow> before = app.Windows();
  checks.Expect(!before.empty() && !Contains(before.back().texts, logText), "the log shows before " + button);
  checks.Expect(app.Press(button), "could not press " + button);
  checks.Expect(app.WaitFor(2, logText, kWindowTimeoutMs), button + " did not show the log");
  checks.Expect(app.Screenshot(shot), "no screenshot " + shot);
}

// Under Wayland (weston's headless compositor) and driven through the
// accessibility bus: the warnings, the sheet for a missing authentication
// agent and its details, then a run of the user's part alone to the
// completion sheet and its log. The screenshots are the wayland-* ones.
TEST_F(UninstallerGuiEndToEndTest, UnderWaylandTheWarningsTheNoAgentSheetAndAUserPartRunWorkThroughAccessibility) {
  for (const char* tool : {gui::kWeston, gui::kWestonScreenshooter, gui::kDbusDaemon, gui::kPython}) {
    if (!Executable(tool)) GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh installs it)";
  }
  if (gui::Run({gui::kPython, "-c", "import pyatspi"}).exitCode != 0) GTEST_SKIP() << "needs python3-pyatspi";
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  ASSERT_TRUE(PrepareForUser(user.user()));
  const std::string home = user->home;
  const std::string shots = fScratch + "/shots";
  const std::string logFile = home + "/.local/state/quillon/uninstall.log";
  const std::string entryName = kInstalledEntry + std::string(kInstalledEntry).rfind('/') + 1;

  for (const bool systemPart : {true, false}) {
    SCOPED_TRACE(systemPart ? "no agent" : "the user's part alone");
    const std::string appLog = shots + (systemPart ? "/application-wayland-no-agent.log" : "/application-wayland.log");
    sys::ChildOptions options;
    options.privateMountNamespace = true;
    options.timeout = std::chrono::milliseconds(300000);
    options.rootSetup = [&](std::string* error) {
      return InstallInNamespace(user.user(), error) && (!systemPart || InstallSystemPart(error));
    };
    sys::ChildResult result = sys::RunAsUser(
        &user.user(),
        [&]() -> int {
          ChildChecks checks;
          gui::DesktopSession session;
          StartDesktopWithUserPart(session, true, home, shots, checks);
          if (checks.ExitCode() != 0) return checks.ExitCode();

          // The protocol log shows the app ID the compositor gets.
          pid_t pid = gui::Launch({kInstalledCommand}, {"WAYLAND_DEBUG=client"}, appLog);
          checks.Expect(pid > 0, "cannot start the application");
          if (pid <= 0) return 1;
          gui::AccessibleDriver app(pid, ATSPI_DRIVER_PATH, shots);
          if (systemPart) {
            // No rule answers for this user, so polkit wants a password that
            // no agent can ask for.
            if (ProceedThroughWarningsUnderWayland(app, checks, {"need to restart", "Shared audio settings"})) {
              checks.Expect(app.WaitFor(2, "No password prompt could be shown.", kEngineTimeoutMs),
                            "no sheet for the missing agent");
              checks.Expect(app.Screenshot("wayland-11-no-agent-sheet"), "no screenshot of the no-agent sheet");
              OpenTheLogUnderWayland(app, checks, "Show Details…", "-60007", "wayland-11-no-agent-details");
              checks.Expect(app.Press("OK") && app.WaitFor(1, "This program removes", kWindowTimeoutMs),
                            "the window is not idle again");
            }
            checks.Expect(Exists("/opt/quillon"), "something was removed");
            checks.Expect(Contains(ReadFile(logFile), " status -60007 ===="), "the run is not in the log file");
          } else if (ProceedThroughWarningsUnderWayland(app, checks,
                                                        {"Only your own Quillon settings", "Shared audio settings"})) {
            checks.Expect(app.WaitFor(2, "Quillon has been uninstalled.", kEngineTimeoutMs), "no completion sheet");
            checks.Expect(app.Screenshot("wayland-04-completion-sheet"), "no screenshot of the completion sheet");
            OpenTheLogUnderWayland(app, checks, "More Information", "quillon-user.list",
                                   "wayland-05-completion-sheet-log");
            checks.Expect(app.Press("Quit"), "could not press Quit");
            int status = -1;
            checks.Expect(app.Process().WaitForExit(kWindowTimeoutMs, &status) && WIFEXITED(status) &&
                              WEXITSTATUS(status) == 0,
                          "the application did not quit with status 0");
            checks.Expect(!Exists(home + "/.local/share/quillon"), "the user receipts stay");
            checks.Expect(!Exists(home + "/.config/autostart/quillon-midi-agent.desktop"), "the login item stays");
          }
          if (checks.ExitCode() != 0) (void) app.Screenshot("wayland-failure");
          app.Process().Stop();
          // The shell matches the window to its menu entry by this ID.
          const std::string appId = entryName.substr(0, entryName.size() - std::string(".desktop").size());
          checks.Expect(Contains(ReadFile(appLog), ".set_app_id(\"" + appId + "\")"),
                        "the app ID is not the menu entry's name " + entryName);
          return checks.ExitCode();
        },
        options);
    KeepArtifacts();
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0)
        << result.Describe() << "\n" << result.out << "\nweston:\n" << ReadFile(ArtifactsDir() + "/weston.log");
  }
}

// ---- Every language, as installed ----------------------------------------------------------

// The text for `source` in `context` of the strings table of `language`
// ("fr", ...) in the source tree; "" when it has none.
std::string Translation(const std::string& language, const std::string& context, const std::string& source) {
  const std::string table = ReadFile(std::string(QUILLON_SOURCE_ROOT) + "/src/app/common/Localizable_" + language + ".ts");
  const size_t begin = table.find("<name>" + context + "</name>");
  const size_t end = begin == std::string::npos ? begin : table.find("</context>", begin);
  const size_t at = begin == std::string::npos ? begin : table.find("<source>" + source + "</source>", begin);
  if (at == std::string::npos || at > end) return "";
  const size_t from = table.find("<translation>", at);
  const size_t to = from == std::string::npos ? from : table.find("</translation>", from);
  if (to == std::string::npos || to > end) return "";
  std::string text = table.substr(from + 13, to - from - 13);
  for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, std::pair{"&gt;", ">"}, std::pair{"&quot;", "\""},
                                  std::pair{"&apos;", "'"}, std::pair{"&amp;", "&"}}) {
    for (size_t i = text.find(entity); i != std::string::npos; i = text.find(entity, i + 1)) {
      text.replace(i, strlen(entity), c);
    }
  }
  return text;
}

// A character as UTF-8 (below U+10000, all that RTF's \uN can say).
std::string Utf8(long code) {
  std::string text;
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
  return text;
}

// The first paragraph of a read-me in RTF (its heading) as plain UTF-8:
// \uN? and \'xx characters and the symbols' control words decoded, other
// control words dropped.
std::string ReadMeHeading(const std::string& rtf) {
  static const std::pair<std::string, long> kSymbols[] = {{"endash", 0x2013}, {"emdash", 0x2014},
                                                          {"bullet", 0x2022}, {"lquote", 0x2018},
                                                          {"rquote", 0x2019}, {"ldblquote", 0x201C},
                                                          {"rdblquote", 0x201D}, {"tab", '\t'}};
  const size_t start = rtf.find("\\pard");
  const size_t end = start == std::string::npos ? start : rtf.find("\\par", start + 5);
  if (end == std::string::npos) return "";
  std::string text;
  for (size_t i = start + 5; i < end;) {
    const char c = rtf[i];
    if (c == '{' || c == '}' || c == '\n') {
      i++;
    } else if (c != '\\') {
      text += c;
      i++;
    } else if (rtf[i + 1] == 'u' && (isdigit(static_cast<unsigned char>(rtf[i + 2])) || rtf[i + 2] == '-')) {
      char* after = nullptr;
      long code = strtol(rtf.c_str() + i + 2, &after, 10);
      if (code < 0) code += 65536;
      i = static_cast<size_t>(after - rtf.c_str()) + (*after == '?' ? 1 : 0);
      text += Utf8(code);
    } else if (rtf[i + 1] == '\'') {
      // Latin-1 as far as the read-mes use code page 1252.
      text += Utf8(strtol(rtf.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 4;
    } else {
      // A control word and the one space that ends it.
      const size_t word = ++i;
      while (i < end && isalpha(static_cast<unsigned char>(rtf[i]))) i++;
      const std::string name = rtf.substr(word, i - word);
      const auto symbol = std::find_if(std::begin(kSymbols), std::end(kSymbols),
                                       [&name](const auto& known) { return known.first == name; });
      while (i < end && (isdigit(static_cast<unsigned char>(rtf[i])) || rtf[i] == '-')) i++;
      if (i < end && rtf[i] == ' ') i++;
      if (symbol != std::end(kSymbols)) text += Utf8(symbol->second);
    }
  }
  return text;
}

// What atspi_driver.py answers to `command` for the newest window of `pid`,
// one entry a line.
std::vector<std::string> AccessibleLines(const char* command, pid_t pid) {
  std::vector<std::string> lines;
  std::istringstream in(gui::Run({gui::kPython, ATSPI_DRIVER_PATH, command, std::to_string(pid)}).out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The installed window in each language on the X screen, read through the
// accessibility bus: the main window's buttons, check box and read-me are
// that language's, and so is a run of the user's part alone through the
// warnings to the completion sheet, whose every text and button lies inside
// it (that each wrapped label is as tall as its text is the headless
// sheet walk's check: Qt's labels do not say where their characters are). One
// installed tree and one session serve every language; the screenshots are
// lang-<language>-main and lang-<language>-complete.
TEST_F(UninstallerGuiEndToEndTest, InEveryLanguageTheInstalledWindowAndItsCompletionSheetSpeakIt) {
  for (const char* tool : {gui::kDbusDaemon, gui::kPython}) {
    if (!Executable(tool)) GTEST_SKIP() << "needs " << tool << " (scripts/install-deps.sh installs it)";
  }
  if (gui::Run({gui::kPython, "-c", "import pyatspi"}).exitCode != 0) GTEST_SKIP() << "needs python3-pyatspi";
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  ASSERT_TRUE(PrepareForUser(user.user()));
  const std::string home = user->home;
  const std::string shots = fScratch + "/shots";

  sys::ChildOptions options = UserOptions(user.user());
  options.rootSetup = [&](std::string* error) { return InstallInNamespace(user.user(), error); };
  sys::ChildResult result = sys::RunAsUser(
      &user.user(),
      [&]() -> int {
        ChildChecks checks;
        gui::DesktopSession desktop;
        StartDesktopWithUserPart(desktop, false, home, shots, checks);
        if (checks.ExitCode() != 0) return checks.ExitCode();
        bool first = true;
        for (const auto& [language, locale] : {std::pair{"fr", "fr_FR.UTF-8"}, std::pair{"es", "es_ES.UTF-8"},
                                               std::pair{"it", "it_IT.UTF-8"}, std::pair{"ja", "ja_JP.UTF-8"},
                                               std::pair{"de", "de_DE.UTF-8"}}) {
          const std::string lang = language;
          auto tr = [&lang](const char* context, const char* source) {
            return Translation(lang, context, source);
          };
          if (!first) {
            RunResult installed = RunTool({kInstalledDemo, "--user"}, {"HOME=" + home, "PATH=/usr/bin:/bin"});
            checks.Expect(installed.exitCode == 0, "quillon-demo-install --user: " + installed.output);
          }
          first = false;
          pid_t pid = gui::Launch({kInstalledCommand},
                                  {std::string("LANG=") + locale, "LANGUAGE=", "LC_ALL=", "LC_MESSAGES="},
                                  shots + "/application-lang-" + lang + ".log");
          checks.Expect(pid > 0, "cannot start the application");
          if (pid <= 0) return 1;
          gui::AccessibleDriver app(pid, ATSPI_DRIVER_PATH, shots);
          gui::Driver screen(pid, kWindowTitle, shots);

          const std::string heading =
              ReadMeHeading(ReadFile(std::string(kInstalledBundle) + "/Resources/" + lang + ".lproj/readme.rtf"));
          checks.Expect(heading.size() > 10, lang + ": no read-me in the bundle");
          checks.Expect(app.WaitFor(1, heading, kWindowTimeoutMs), lang + ": the main window shows no read-me " + heading);
          const std::vector<std::string> buttons = AccessibleLines("buttons", pid);
          std::string names;
          for (const std::string& name : buttons) names += " [" + name + "]";
          for (const char* source : {"Uninstall…", "Quit", "Also remove the Quillon MIDI devices and their ALSA settings"}) {
            const std::string text = tr("Uninstaller", source);
            checks.Expect(!text.empty() && text != source &&
                              std::find(buttons.begin(), buttons.end(), text) != buttons.end(),
                          lang + ": no button or check box " + text + " for " + source + ":" + names);
          }
          checks.Expect(screen.Screenshot("lang-" + lang + "-main"), lang + ": no screenshot of the main window");

          checks.Expect(app.Press(tr("Uninstaller", "Uninstall…")), lang + ": could not press Uninstall");
          for (const char* warning : {"userPartOnlyTitle", "sharedWarningTitle"}) {
            checks.Expect(app.WaitFor(2, tr("Localizable", warning), kWindowTimeoutMs), lang + ": no sheet " + warning);
            checks.Expect(app.Press(tr("Localizable", "proceedButton")), lang + ": could not continue from " + warning);
          }
          checks.Expect(app.WaitFor(2, tr("Localizable", "uninstallSucceeded"), kEngineTimeoutMs),
                        lang + ": no completion sheet");
          std::string cut;
          for (const std::string& line : AccessibleLines("cut", pid)) cut += "\n" + line;
          checks.Expect(cut.empty(), lang + ": the completion sheet cuts off:" + cut);
          checks.Expect(screen.Screenshot("lang-" + lang + "-complete"), lang + ": no screenshot of the completion sheet");
          checks.Expect(app.Press(tr("Localizable", "quitButton")), lang + ": could not press Quit");
          int status = -1;
          checks.Expect(app.Process().WaitForExit(kWindowTimeoutMs, &status) && WIFEXITED(status) &&
                            WEXITSTATUS(status) == 0,
                        lang + ": the application did not quit with status 0");
          checks.Expect(!Exists(home + "/.local/share/quillon"), lang + ": the user receipts stay");
          if (checks.ExitCode() != 0) {
            (void) screen.Screenshot("lang-" + lang + "-failure");
            app.Process().Stop();
            return checks.ExitCode();
          }
        }
        return checks.ExitCode();
      },
      options);
  KeepArtifacts();
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

}  // namespace
