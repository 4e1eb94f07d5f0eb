// usr_uninstall.ss and PruneLoginItem against a scratch home.
#include "ProductTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace quillon::producttest;

namespace {

const char kMyAsoundrc[] = "pcm.mine { type plug slave.pcm \"hw:1\" }";  // no final newline
const char kLoginItem[] = ".config/autostart/quillon-midi-agent.desktop";

class UserUninstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fScratch.ok());
    ASSERT_TRUE(WriteFile(Home() + "/.asoundrc", kMyAsoundrc));
    ASSERT_TRUE(WriteFile(Home() + "/.config/autostart/editor.desktop", "[Desktop Entry]\n"));
    RunResult installed = RunTool({DemoInstaller(), "--user"}, Env());
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    std::istringstream receipt(ReadFile(Home() + "/.local/share/quillon/receipts/quillon-user.list"));
    for (std::string line; std::getline(receipt, line);) fReceipted.push_back(line);
    ASSERT_FALSE(fReceipted.empty());
    ASSERT_TRUE(Exists(Home() + "/" + kLoginItem));
  }
  std::string Home() { return fScratch / "home"; }
  std::vector<std::string> Env() { return {"PATH=/usr/bin:/bin", "HOME=" + Home()}; }
  void ExpectUserFilesGone() {
    for (const std::string& path : fReceipted) {
      // ~/.config stays: it holds the user's own autostart entry.
      bool inUse = path == Home() + "/.config" || path == Home() + "/.config/autostart";
      EXPECT_EQ(Exists(path), inUse) << path;
    }
    EXPECT_TRUE(Exists(Home() + "/.config/autostart/editor.desktop"));
    EXPECT_FALSE(Exists(Home() + "/.local/share/quillon"));
  }

  ScratchDir fScratch;
  std::vector<std::string> fReceipted;
};

}  // namespace

TEST_F(UserUninstallTest, WithPruneMIDIEverythingOfTheUserGoes) {
  RunResult run = RunTool({BundlePath("Resources/usr_uninstall.ss"), BundlePath("PruneMIDI")}, Env());
  EXPECT_EQ(run.exitCode, 0) << run.output;
  ExpectUserFilesGone();
  EXPECT_EQ(ReadFile(Home() + "/.asoundrc"), kMyAsoundrc);
  EXPECT_NE(run.output.find("PruneLoginItem: removed login item " + Home() + "/" + kLoginItem + "\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("PruneMIDI: removed the Quillon block from " + Home() + "/.asoundrc\n"),
            std::string::npos);
}

TEST_F(UserUninstallTest, WithoutArgumentTheAlsaBlockStaysAndTheLoginItemGoes) {
  std::string installedAsoundrc = ReadFile(Home() + "/.asoundrc");
  RunResult run = RunTool({BundlePath("Resources/usr_uninstall.ss")}, Env());
  EXPECT_EQ(run.exitCode, 0) << run.output;
  ExpectUserFilesGone();
  EXPECT_EQ(ReadFile(Home() + "/.asoundrc"), installedAsoundrc);
  EXPECT_EQ(run.output.find("PruneMIDI"), std::string::npos) << run.output;
}

TEST_F(UserUninstallTest, LoginItemGoesEvenWhenTheBundleCannotBeFound) {
  // A copy of the script outside any bundle, run without argument: no tools.
  std::string script = fScratch / "elsewhere/usr_uninstall.ss";
  ASSERT_TRUE(WriteFile(script, ReadFile(BundlePath("Resources/usr_uninstall.ss")), 0755));
  ASSERT_TRUE(WriteFile(Home() + "/.config/autostart/quillon-foreign.desktop", "[Desktop Entry]\nName=x\n"));
  RunResult run = RunTool({script}, Env());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("cannot find RemoveReceipted"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("usr_uninstall.ss: removed login item " + Home() + "/" + kLoginItem), std::string::npos)
      << run.output;
  EXPECT_FALSE(Exists(Home() + "/" + kLoginItem));
  EXPECT_TRUE(Exists(Home() + "/.config/autostart/quillon-foreign.desktop"));
  EXPECT_TRUE(Exists(Home() + "/.config/quillon/settings.conf"));

  // With the PruneMIDI argument the bundle is found from it.
  run = RunTool({script, BundlePath("PruneMIDI")}, Env());
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_FALSE(Exists(Home() + "/.config/quillon/settings.conf"));
  EXPECT_EQ(ReadFile(Home() + "/.asoundrc"), kMyAsoundrc);
}

TEST(PruneLoginItemTest, RemovesOnlyMarkedEntriesAndNeverFollowsLinks) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  std::string dir = scratch / "root/etc/xdg/autostart";
  const std::string marked = "[Desktop Entry]\r\nX-Quillon-LoginItem=true\r\n";
  ASSERT_TRUE(WriteFile(dir + "/quillon-agent.desktop", marked));
  ASSERT_TRUE(WriteFile(dir + "/quillon-unmarked.desktop", "[Desktop Entry]\n"));
  ASSERT_TRUE(WriteFile(dir + "/other.desktop", marked));
  ASSERT_TRUE(WriteFile(scratch / "target.desktop", marked));
  ASSERT_EQ(symlink((scratch / "target.desktop").c_str(), (dir + "/quillon-link.desktop").c_str()), 0);

  RunResult run = RunTool({BundlePath("PruneLoginItem"), "--system", "--root", scratch / "root"}, {});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_FALSE(Exists(dir + "/quillon-agent.desktop"));
  EXPECT_TRUE(Exists(dir + "/quillon-unmarked.desktop"));
  EXPECT_TRUE(Exists(dir + "/other.desktop"));
  EXPECT_TRUE(Exists(dir + "/quillon-link.desktop"));
  EXPECT_EQ(ReadFile(scratch / "target.desktop"), marked);
  EXPECT_NE(run.output.find("left /etc/xdg/autostart/quillon-link.desktop alone: it is a symbolic link"),
            std::string::npos)
      << run.output;
}
