// The whole uninstall from end to end, as a throwaway user, with real polkitd
// and pkexec, the real bundle and the demo installer. Everything runs in a
// private mount namespace in which /etc, /opt, /usr/share/applications and
// /var/lib are overlays whose changes land in a scratch tmpfs, and in which
// the user's home is a tmpfs of its own, so the product is installed and
// removed where it would be on a real machine while the machine's own files
// stay untouched. The bundle is the build tree's, which like an installed one
// is root's from / down, mode 0755: the helper tool runs nothing else as root.

#include "EngineSystemTestSupport.h"

#include <Authorization.h>
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <sstream>

using namespace quillon::enginetest;

namespace {

const std::vector<std::string> kOverlaid = {"/etc", "/opt", "/usr/share/applications", "/var/lib"};

// What was in the shared ALSA files before the product came: CRLF lines and
// no final newline in one, another vendor's settings in the other.
const char kSystemAsound[] = "pcm.!default {\r\n  type hw\r\n  card 1\r\n}";
const char kUserAsound[] = "# mine\nctl.!default {\n  type hw\n  card 0\n}\n# >>> Other vendor >>>\n";

const char kBlockBegin[] = "# >>> Quillon MIDI >>>";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ReceiptEntries(const std::string& receipt) {
  std::vector<std::string> entries;
  for (const std::string& line : Lines(ReadFile(receipt))) {
    if (!line.empty()) entries.push_back(line);
  }
  return entries;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class UninstallerEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users, polkit rules and mounts";
    std::string why;
    if (!sys::PolkitIsRunning(&why)) GTEST_SKIP() << "needs polkitd on the system bus: " << why;
    if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("engine-e2e", &fScratch, &error)) << error;
  }
  void TearDown() override {
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  // Installs the product, uninstalls it with the engine and checks the
  // outcome, all inside the child; returns the engine's report.
  void InstallAndUninstall(bool midi) {
    sys::ScopedTestUser user;
    ASSERT_TRUE(user.ok()) << user.error();
    sys::ScopedPolkitRule rule(user.user(), sys::PolkitAnswer::Yes, {sys::kPkexecAction, kQuillonUninstallRight});
    ASSERT_TRUE(rule.ok()) << rule.error();
    const std::string home = user->home;
    const std::string hostAsound = ReadFile("/etc/asound.conf");
    const bool hostHadProduct = Exists("/opt/quillon") || Exists("/var/lib/quillon");

    sys::ChildOptions options;
    options.privateMountNamespace = true;
    options.timeout = std::chrono::milliseconds(180000);
    options.rootSetup = [&](std::string* error) {
      std::string data = "mode=0700,size=64m,uid=" + std::to_string(user->uid) + ",gid=" + std::to_string(user->gid);
      if (!MountOverlays(fScratch, kOverlaid, error) || !sys::MountTmpfs(home, 0, data, error)) return false;
      if (!WriteFile("/etc/asound.conf", kSystemAsound)) {
        *error = "cannot write /etc/asound.conf";
        return false;
      }
      RunResult installed = RunTool({DemoInstaller(), "--system"}, {"PATH=/usr/bin:/bin"});
      if (installed.exitCode != 0) {
        *error = "quillon-demo-install --system: " + installed.output;
        return false;
      }
      return true;
    };
    // The build's bundle stands for the installed one.
    InstalledAt(RealHelperTool(), &options);
    sys::ChildResult result = sys::RunAsUser(
        &user.user(),
        [&]() -> int {
          ChildChecks checks;
          checks.Expect(WriteFile(home + "/.asoundrc", kUserAsound), "cannot write ~/.asoundrc");
          RunResult installed = RunTool({DemoInstaller(), "--user"}, {"HOME=" + home, "PATH=/usr/bin:/bin"});
          checks.Expect(installed.exitCode == 0, "quillon-demo-install --user: " + installed.output);
          std::vector<std::string> rootEntries = ReceiptEntries("/var/lib/quillon/receipts/quillon-root.list");
          std::vector<std::string> userEntries =
              ReceiptEntries(home + "/.local/share/quillon/receipts/quillon-user.list");
          const std::string autostart = home + "/.config/autostart/quillon-midi-agent.desktop";
          const std::string systemInstalled = ReadFile("/etc/asound.conf");
          const std::string userInstalled = ReadFile(home + "/.asoundrc");
          checks.Expect(rootEntries.size() >= 10 && userEntries.size() >= 3, "the receipts list too little");
          checks.Expect(Exists(autostart), "the demo installer made no login item");
          checks.Expect(Contains(systemInstalled, kBlockBegin) && Contains(userInstalled, kBlockBegin),
                        "the demo installer added no ALSA blocks");
          if (checks.ExitCode() != 0) return checks.ExitCode();

          std::string log;
          OSStatus status = RunEngine(QUILLON_BUNDLE_DIR, midi ? 1 : 0, &log);
          checks.Expect(status == noErr, "status " + std::to_string(status));

          for (const std::string& path : rootEntries) checks.Expect(!Exists(path), "still there: " + path);
          for (const std::string& path : userEntries) checks.Expect(!Exists(path), "still there: " + path);
          checks.Expect(!Exists("/var/lib/quillon"), "the root receipts stay");
          checks.Expect(!Exists(home + "/.local/share/quillon"), "the user receipts stay");
          checks.Expect(!Exists(autostart), "the login item stays");
          checks.Expect(!Exists(home + "/.local/share/Quillon"), "the installed helper tool or its folder stays");
          if (midi) {
            checks.Expect(ReadFile("/etc/asound.conf") == kSystemAsound, "/etc/asound.conf is not as before");
            checks.Expect(ReadFile(home + "/.asoundrc") == kUserAsound, "~/.asoundrc is not as before");
          } else {
            checks.Expect(ReadFile("/etc/asound.conf") == systemInstalled, "/etc/asound.conf changed");
            checks.Expect(ReadFile(home + "/.asoundrc") == userInstalled, "~/.asoundrc changed");
          }

          // The root log first, then the user script's output: every line
          // about the system's files comes before every line about the home.
          std::vector<std::string> lines = Lines(log);
          size_t lastSystem = 0, firstHome = lines.size();
          bool anySystem = false;
          for (size_t i = 0; i < lines.size(); i++) {
            if (Contains(lines[i], home)) {
              firstHome = std::min(firstHome, i);
            } else if (Contains(lines[i], " /opt/") || Contains(lines[i], " /etc/") ||
                       Contains(lines[i], " /usr/") || Contains(lines[i], " /var/")) {
              lastSystem = i;
              anySystem = true;
            }
          }
          checks.Expect(anySystem && firstHome < lines.size() && lastSystem < firstHome,
                        "the log is not the root log followed by the user's");
          checks.Expect(Contains(log, "RemoveReceipted: removed /opt/quillon/bin/quillon-midid\n"),
                        "the root log does not name the daemon");
          checks.Expect(Contains(log, "PruneLoginItem: removed login item " + autostart + "\n"),
                        "the user's log does not name the login item");
          if (midi) {
            checks.Expect(Contains(log, "PruneMIDI: removed the Quillon block from /etc/asound.conf\n"),
                          "the root log does not name the system ALSA block");
            checks.Expect(Contains(log, "PruneMIDI: removed the Quillon block from " + home + "/.asoundrc\n"),
                          "the user's log does not name the user ALSA block");
          } else {
            checks.Expect(!Contains(log, "PruneMIDI"), "PruneMIDI ran");
          }
          return checks.ExitCode();
        },
        options);

    EngineRun run = ParseEngineRun(result.out);
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
    EXPECT_TRUE(run.reported);
    EXPECT_EQ(run.status, noErr);
    // The first run of the installed tool went through the dialog.
    EXPECT_TRUE(Contains(result.err, "MoreSecurity: Calling AEWP\n")) << result.err;
    EXPECT_TRUE(EngineDiagnostics(result.err).empty()) << result.err;

    // Nothing of it reached the machine.
    EXPECT_EQ(ReadFile("/etc/asound.conf"), hostAsound);
    if (!hostHadProduct) {
      EXPECT_FALSE(Exists("/opt/quillon"));
      EXPECT_FALSE(Exists("/var/lib/quillon"));
    }
  }

  std::string fScratch;
};

TEST_F(UninstallerEndToEndTest, WithTheMIDIChoiceEverythingOfTheProductGoesAndNothingElse) {
  InstallAndUninstall(true);
}

TEST_F(UninstallerEndToEndTest, WithoutTheMIDIChoicePruneMIDINeverRunsAndTheALSABlocksStay) {
  InstallAndUninstall(false);
}

}  // namespace
