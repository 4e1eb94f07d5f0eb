// uninstall.ss (and through it RemoveReceipted) against a scratch root given
// with --root: the same script and tool the helper tool runs, on a tree that
// is not the machine's.
#include "ProductTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>
#include <sstream>

using namespace quillon::producttest;

namespace {

class UninstallScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fScratch.ok()); }
  std::string Root() { return fScratch / "root"; }
  std::string ReceiptsDir() { return Root() + "/var/lib/quillon/receipts"; }
  RunResult Uninstall(bool withBundle = true) {
    std::vector<std::string> env = {"PATH=/usr/bin:/bin"};
    if (withBundle) env.push_back(std::string("QUILLON_BUNDLE=") + QUILLON_BUNDLE_DIR);
    return RunTool({BundlePath("Resources/uninstall.ss"), "--root", Root()}, env);
  }
  // RemoveReceipted --list on the same tree: what the removal would take.
  RunResult List() {
    return RunTool({BundlePath("RemoveReceipted"), "--system", "--root", Root(), "--list"}, {"PATH=/usr/bin:/bin"});
  }
  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  ScratchDir fScratch;
};

}  // namespace

TEST_F(UninstallScriptTest, RemovesExactlyTheReceiptedPathsAndKeepsFoldersInUse) {
  // What was there before the product, and must stay.
  const std::vector<std::string> unrelated = {"opt/other/tool", "usr/share/applications/editor.desktop",
                                              "etc/systemd/system/other.service", "var/lib/dpkg/status"};
  for (const std::string& path : unrelated) ASSERT_TRUE(WriteFile(Root() + "/" + path, path));
  RunResult installed = RunTool({DemoInstaller(), "--system", "--root", Root()}, {"PATH=/usr/bin:/bin"});
  ASSERT_EQ(installed.exitCode, 0) << installed.output;
  std::vector<std::string> receipted = Lines(ReadFile(ReceiptsDir() + "/quillon-root.list"));
  ASSERT_GT(receipted.size(), 10u);
  // Something the user put into one of the product's folders.
  ASSERT_TRUE(WriteFile(Root() + "/opt/quillon/drivers/local.conf", "mine"));
  const std::set<std::string> inUse = {"/opt", "/opt/quillon", "/opt/quillon/drivers"};

  // Listed first: every receipted path, and nothing changed by listing.
  RunResult listed = List();
  EXPECT_EQ(listed.exitCode, 0) << listed.output;
  for (const std::string& path : receipted) EXPECT_TRUE(Exists(Root() + path)) << "the list removed " << path;

  RunResult removed = Uninstall();
  EXPECT_EQ(removed.exitCode, 0) << removed.output;
  // Whatever the removal removed, the list named beforehand.
  for (const std::string& line : Lines(removed.output)) {
    for (const char* verb : {"RemoveReceipted: removed folder ", "RemoveReceipted: removed symbolic link ",
                             "RemoveReceipted: removed "}) {
      if (line.rfind(verb, 0) != 0 || line.rfind("RemoveReceipted: removed receipt ", 0) == 0) continue;
      const std::string path = line.substr(std::string(verb).size());
      EXPECT_NE(listed.output.find(" " + path + "\n"), std::string::npos) << "not listed: " << path;
      break;
    }
  }
  for (const std::string& path : receipted) {
    EXPECT_EQ(Exists(Root() + path), inUse.count(path) == 1) << path;
  }
  for (const std::string& path : unrelated) EXPECT_EQ(ReadFile(Root() + "/" + path), path);
  EXPECT_EQ(ReadFile(Root() + "/opt/quillon/drivers/local.conf"), "mine");
  EXPECT_FALSE(Exists(ReceiptsDir()));
  EXPECT_FALSE(Exists(Root() + "/var/lib/quillon"));
  EXPECT_TRUE(Exists(Root() + "/var/lib/dpkg"));
  EXPECT_NE(removed.output.find("RemoveReceipted: kept folder /opt/quillon/drivers: it holds other files\n"),
            std::string::npos)
      << removed.output;
  EXPECT_NE(removed.output.find("RemoveReceipted: removed /etc/udev/rules.d/60-quillon-midi.rules\n"),
            std::string::npos);
  EXPECT_NE(removed.output.find("RemoveReceipted: removed receipt quillon-root.list\n"), std::string::npos);
}

TEST_F(UninstallScriptTest, RefusesAndLogsEntriesThatLeadElsewhere) {
  ASSERT_TRUE(WriteFile(Root() + "/etc/passwd", "root:x:0:0:root:/root:/bin/sh\n"));
  ASSERT_TRUE(WriteFile(Root() + "/home/someone/.bashrc", "mine"));
  ASSERT_TRUE(WriteFile(Root() + "/root/.profile", "mine"));
  ASSERT_TRUE(WriteFile(Root() + "/srv/shared/file", "shared"));
  ASSERT_EQ(chmod((Root() + "/srv/shared").c_str(), 01777), 0);
  ASSERT_TRUE(WriteFile(Root() + "/opt/quillon/ok", "ours"));
  ASSERT_EQ(symlink((Root() + "/etc").c_str(), (Root() + "/opt/quillon/lib").c_str()), 0);
  ASSERT_EQ(symlink((Root() + "/etc/passwd").c_str(), (Root() + "/opt/quillon/passwd-link").c_str()), 0);
  ASSERT_TRUE(WriteFile(ReceiptsDir() + "/quillon-root.list",
                        "/opt/quillon/../../etc/passwd\n"
                        "opt/quillon/relative\n"
                        "/opt/quillon/lib/passwd\n"
                        "/home/someone/.bashrc\n"
                        "/root/.profile\n"
                        "/srv/shared/file\n"
                        "/opt/quillon/passwd-link\n"
                        "/opt/quillon/ok\n"));

  // The list names the two entries that go and none of the refused ones,
  // and keeps the receipt, as the removal will.
  RunResult listed = List();
  EXPECT_EQ(listed.exitCode, 1);
  std::string items;
  for (const std::string& line : Lines(listed.output)) {
    if (line.rfind("note would refuse ", 0) != 0) items += line + "\n";
  }
  EXPECT_EQ(items, "file /opt/quillon/ok\nlink /opt/quillon/passwd-link\n") << listed.output;

  RunResult removed = Uninstall();
  EXPECT_EQ(removed.exitCode, 1) << removed.output;
  const char* expected[] = {
      "RemoveReceipted: refused /opt/quillon/../../etc/passwd: contains \".\" or \"..\"\n",
      "RemoveReceipted: refused opt/quillon/relative: not an absolute path\n",
      "RemoveReceipted: refused /opt/quillon/lib/passwd: /opt/quillon/lib is a symbolic link\n",
      "RemoveReceipted: refused /home/someone/.bashrc: it points into users' files\n",
      "RemoveReceipted: refused /root/.profile: it points into users' files\n",
      "RemoveReceipted: refused /srv/shared/file: it lies in a folder that others may change\n",
      "RemoveReceipted: removed symbolic link /opt/quillon/passwd-link\n",
      "RemoveReceipted: removed /opt/quillon/ok\n",
      "RemoveReceipted: kept receipt quillon-root.list: some of what it lists is still there\n",
  };
  for (const char* line : expected) EXPECT_NE(removed.output.find(line), std::string::npos) << line << removed.output;
  EXPECT_EQ(ReadFile(Root() + "/etc/passwd"), "root:x:0:0:root:/root:/bin/sh\n");
  EXPECT_EQ(ReadFile(Root() + "/home/someone/.bashrc"), "mine");
  EXPECT_EQ(ReadFile(Root() + "/root/.profile"), "mine");
  EXPECT_EQ(ReadFile(Root() + "/srv/shared/file"), "shared");
  EXPECT_FALSE(Exists(Root() + "/opt/quillon/passwd-link"));
  EXPECT_FALSE(Exists(Root() + "/opt/quillon/ok"));
  EXPECT_TRUE(Exists(ReceiptsDir() + "/quillon-root.list"));
}

TEST_F(UninstallScriptTest, RefusesReceiptsThatOthersMayChange) {
  ASSERT_TRUE(WriteFile(Root() + "/opt/quillon/ok", "ours"));
  ASSERT_TRUE(WriteFile(ReceiptsDir() + "/quillon-root.list", "/opt/quillon/ok\n", 0666));
  RunResult removed = Uninstall();
  EXPECT_EQ(removed.exitCode, 1) << removed.output;
  EXPECT_NE(removed.output.find("refused receipt quillon-root.list: others may write to it"), std::string::npos)
      << removed.output;
  EXPECT_TRUE(Exists(Root() + "/opt/quillon/ok"));

  ASSERT_EQ(chmod((ReceiptsDir() + "/quillon-root.list").c_str(), 0644), 0);
  ASSERT_EQ(chmod(ReceiptsDir().c_str(), 0777), 0);
  removed = Uninstall();
  EXPECT_EQ(removed.exitCode, 2) << removed.output;
  EXPECT_TRUE(Exists(Root() + "/opt/quillon/ok"));
}

TEST_F(UninstallScriptTest, WithoutTheBundleNothingIsRemoved) {
  ASSERT_TRUE(MakeDirs(Root()));
  ASSERT_EQ(RunTool({DemoInstaller(), "--system", "--root", Root()}, {"PATH=/usr/bin:/bin"}).exitCode, 0);
  RunResult removed = Uninstall(false);
  EXPECT_EQ(removed.exitCode, 2);
  EXPECT_NE(removed.output.find("uninstall.ss: QUILLON_BUNDLE does not name"), std::string::npos) << removed.output;
  EXPECT_TRUE(Exists(Root() + "/opt/quillon/bin/quillon-midid"));
  // Nothing installed at all is not an error.
  ScratchDir empty;
  RunResult none = RunTool({BundlePath("RemoveReceipted"), "--system", "--root", empty.path()}, {});
  EXPECT_EQ(none.exitCode, 0) << none.output;
  EXPECT_NE(none.output.find("nothing to remove"), std::string::npos);
}

// Entries of one folder share a single walk to it: that walk, and what it
// found, must never stand for a folder of the same depth beside it. Here the
// middle of three sibling folders is a link to a folder holding a file of the
// same name as theirs.
TEST_F(UninstallScriptTest, EachFolderIsReachedOnItsOwnEvenBesideALink) {
  ASSERT_TRUE(WriteFile(Root() + "/etc/elsewhere/f", "not ours"));
  for (const char* folder : {"d0", "d2"}) ASSERT_TRUE(WriteFile(Root() + "/opt/quillon/lib/" + folder + "/f", "ours"));
  ASSERT_EQ(symlink((Root() + "/etc/elsewhere").c_str(), (Root() + "/opt/quillon/lib/d1").c_str()), 0);
  ASSERT_TRUE(WriteFile(ReceiptsDir() + "/quillon-root.list",
                        "/opt/quillon/lib/d0/f\n/opt/quillon/lib/d1/f\n/opt/quillon/lib/d2/f\n/opt/quillon/lib/d3/f\n"));

  RunResult removed = Uninstall();
  EXPECT_EQ(removed.exitCode, 1) << removed.output;
  EXPECT_EQ(ReadFile(Root() + "/etc/elsewhere/f"), "not ours");
  EXPECT_FALSE(Exists(Root() + "/opt/quillon/lib/d0/f"));
  EXPECT_FALSE(Exists(Root() + "/opt/quillon/lib/d2/f"));
  const char* expected[] = {
      "RemoveReceipted: absent /opt/quillon/lib/d3/f\n",
      "RemoveReceipted: removed /opt/quillon/lib/d2/f\n",
      "RemoveReceipted: refused /opt/quillon/lib/d1/f: /opt/quillon/lib/d1 is a symbolic link\n",
      "RemoveReceipted: removed /opt/quillon/lib/d0/f\n",
  };
  for (const char* line : expected) EXPECT_NE(removed.output.find(line), std::string::npos) << line << removed.output;
  EXPECT_TRUE(Exists(ReceiptsDir() + "/quillon-root.list"));
}

// The folders whose removals wait for their flush are held open: a low limit
// on open descriptors must cost speed only, never an entry.
TEST_F(UninstallScriptTest, ALowDescriptorLimitStillRemovesEverything) {
  std::string receipt;
  for (int i = 0; i < 120; i++) {
    const std::string folder = "/opt/quillon/lib/d" + std::to_string(i);
    ASSERT_TRUE(WriteFile(Root() + folder + "/f", "ours"));
    receipt += folder + "\n" + folder + "/f\n";
  }
  for (const char* limit : {"--nofile=12", "--nofile=100"}) {
    ASSERT_TRUE(WriteFile(ReceiptsDir() + "/quillon-root.list", receipt));
    RunResult removed =
        RunTool({"/usr/bin/prlimit", limit, BundlePath("RemoveReceipted"), "--system", "--root", Root()}, {});
    EXPECT_EQ(removed.exitCode, 0) << limit << "\n" << removed.output;
    EXPECT_FALSE(Exists(Root() + "/opt/quillon/lib/d0")) << limit;
    EXPECT_FALSE(Exists(ReceiptsDir())) << limit;
    for (int i = 0; i < 120; i++) ASSERT_TRUE(WriteFile(Root() + "/opt/quillon/lib/d" + std::to_string(i) + "/f", "ours"));
  }
}
