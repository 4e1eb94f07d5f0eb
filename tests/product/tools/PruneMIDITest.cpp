// PruneMIDI against scratch trees: the system file through --root, the user
// file through $HOME.
#include "ProductTestSupport.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

using namespace quillon::producttest;

namespace {

const char kOriginal[] =
    "pcm.!default {\r\n  type hw\r\n  card 1\r\n}\r\n"
    "# BEGIN other vendor\nctl.x { }\n# END other vendor\n"
    "\n# no newline at the end";

class PruneMIDITest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fScratch.ok());
    ASSERT_TRUE(MakeDirs(Root() + "/etc"));
    ASSERT_TRUE(MakeDirs(Home()));
  }
  std::string Root() { return fScratch / "root"; }
  std::string Home() { return fScratch / "home"; }
  std::string SystemFile() { return Root() + "/etc/asound.conf"; }
  std::vector<std::string> Env() { return {"PATH=/usr/bin:/bin", "HOME=" + Home()}; }
  RunResult Install(const char* mode) {
    return std::string(mode) == "--user" ? RunTool({DemoInstaller(), "--user"}, Env())
                                         : RunTool({DemoInstaller(), "--system", "--root", Root()}, Env());
  }
  RunResult PruneSystem() { return RunTool({BundlePath("PruneMIDI"), "--system", "--root", Root()}, Env()); }

  ScratchDir fScratch;
};

}  // namespace

TEST_F(PruneMIDITest, KeepsEveryUnrelatedByteModeAndOwner) {
  ASSERT_TRUE(WriteFile(SystemFile(), kOriginal, 0640));
  ASSERT_TRUE(WriteFile(Home() + "/.asoundrc", kOriginal, 0600));
  RunResult installed = Install("--system");
  ASSERT_EQ(installed.exitCode, 0) << installed.output;
  installed = Install("--user");
  ASSERT_EQ(installed.exitCode, 0) << installed.output;
  ASSERT_NE(ReadFile(SystemFile()), kOriginal);
  ASSERT_NE(ReadFile(Home() + "/.asoundrc"), kOriginal);

  RunResult pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 0) << pruned.output;
  EXPECT_NE(pruned.output.find("PruneMIDI: removed the Quillon block from /etc/asound.conf"), std::string::npos)
      << pruned.output;
  EXPECT_EQ(ReadFile(SystemFile()), kOriginal);
  struct stat st;
  ASSERT_EQ(stat(SystemFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_uid, geteuid());

  pruned = RunTool({BundlePath("PruneMIDI"), "--user"}, Env());
  EXPECT_EQ(pruned.exitCode, 0) << pruned.output;
  EXPECT_EQ(ReadFile(Home() + "/.asoundrc"), kOriginal);
  ASSERT_EQ(stat((Home() + "/.asoundrc").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(PruneMIDITest, RemovesAFileThatWasCreatedForTheBlock) {
  ASSERT_EQ(Install("--system").exitCode, 0);
  ASSERT_TRUE(Exists(SystemFile()));
  // Listed first, and the listing touches nothing: same inode, same change time.
  struct stat before, after;
  ASSERT_EQ(stat(SystemFile().c_str(), &before), 0);
  RunResult listed = RunTool({BundlePath("PruneMIDI"), "--system", "--root", Root(), "--list"}, Env());
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_EQ(listed.output, "alsa-block /etc/asound.conf\n");
  ASSERT_EQ(stat(SystemFile().c_str(), &after), 0);
  EXPECT_TRUE(after.st_ino == before.st_ino && after.st_ctim.tv_nsec == before.st_ctim.tv_nsec);
  RunResult pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 0) << pruned.output;
  EXPECT_FALSE(Exists(SystemFile()));
  // And a second run finds nothing to do.
  pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 0) << pruned.output;
}

TEST_F(PruneMIDITest, FileWithoutBlockIsNotRewritten) {
  ASSERT_TRUE(WriteFile(SystemFile(), kOriginal));
  const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, SystemFile().c_str(), past, 0), 0);
  struct stat before, after;
  ASSERT_EQ(stat(SystemFile().c_str(), &before), 0);

  RunResult pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 0) << pruned.output;
  EXPECT_NE(pruned.output.find("holds no Quillon block"), std::string::npos) << pruned.output;
  ASSERT_EQ(stat(SystemFile().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

TEST_F(PruneMIDITest, UnbalancedMarkersAreRefusedAndTheFileLeftAlone) {
  std::string broken = std::string("pcm.a { }\n# >>> Quillon MIDI >>>\nrawmidi.quillon { }\n");
  ASSERT_TRUE(WriteFile(SystemFile(), broken));
  RunResult pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 1);
  EXPECT_NE(pruned.output.find("unbalanced (line 3)"), std::string::npos) << pruned.output;
  EXPECT_EQ(ReadFile(SystemFile()), broken);
}

TEST_F(PruneMIDITest, NeverFollowsALinkForTheSystemFile) {
  // The file itself a link to something else with a block in it.
  ASSERT_EQ(Install("--system").exitCode, 0);
  ASSERT_EQ(rename(SystemFile().c_str(), (Root() + "/elsewhere").c_str()), 0);
  std::string target = ReadFile(Root() + "/elsewhere");
  ASSERT_EQ(symlink("../elsewhere", SystemFile().c_str()), 0);
  RunResult pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 1);
  EXPECT_NE(pruned.output.find("it is a symbolic link"), std::string::npos) << pruned.output;
  EXPECT_EQ(ReadFile(Root() + "/elsewhere"), target);

  // Its folder a link.
  ASSERT_EQ(unlink(SystemFile().c_str()), 0);
  ASSERT_EQ(rename((Root() + "/etc").c_str(), (Root() + "/real-etc").c_str()), 0);
  ASSERT_EQ(rename((Root() + "/elsewhere").c_str(), (Root() + "/real-etc/asound.conf").c_str()), 0);
  ASSERT_EQ(symlink("real-etc", (Root() + "/etc").c_str()), 0);
  pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 1);
  EXPECT_NE(pruned.output.find("/etc is a symbolic link"), std::string::npos) << pruned.output;
  EXPECT_EQ(ReadFile(Root() + "/real-etc/asound.conf"), target);
}

TEST_F(PruneMIDITest, RefusesAFileLargerThanOneMebibyte) {
  ASSERT_TRUE(WriteFile(SystemFile(), std::string(1024 * 1024 - 10, '#') + "\n"));
  ASSERT_EQ(Install("--system").exitCode, 0);
  std::string big = ReadFile(SystemFile());
  ASSERT_GT(big.size(), 1024u * 1024u);
  RunResult pruned = PruneSystem();
  EXPECT_EQ(pruned.exitCode, 1);
  EXPECT_NE(pruned.output.find("larger than 1 MiB"), std::string::npos) << pruned.output;
  EXPECT_EQ(ReadFile(SystemFile()), big);
}

// A file size limit the caller set makes the rewrite fail half-way: the tool
// says so, and nothing of the attempt is left beside the file.
TEST_F(PruneMIDITest, AFileSizeLimitFailsTheRewriteAndLeavesNoTemporaryFile) {
  const std::string asoundrc = Home() + "/.asoundrc";
  ASSERT_TRUE(WriteFile(asoundrc, std::string(4096, '#') + "\n", 0600));
  ASSERT_EQ(Install("--user").exitCode, 0);
  const std::string before = ReadFile(asoundrc);
  RunResult pruned =
      RunTool({"/bin/sh", "-c", "ulimit -f 1 && exec \"$0\" --user", BundlePath("PruneMIDI")}, Env());
  EXPECT_EQ(pruned.exitCode, 1) << pruned.output;
  EXPECT_NE(pruned.output.find("failed to rewrite " + asoundrc + ": File too large"), std::string::npos)
      << pruned.output;
  EXPECT_EQ(ReadFile(asoundrc), before);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(Home())) {
    if (entry.path().filename().string().find("asoundrc") != std::string::npos) left.push_back(entry.path().filename());
  }
  EXPECT_EQ(left, std::vector<std::string>{".asoundrc"});
}

// A rewrite cut off leaves its new file beside the shared file. The next run
// removes such files of ours, and nothing that merely looks like one: another
// name's, a name that differs in any character, a link, a folder, a file with
// a second name, one a running rewrite holds locked, or one of another owner.
TEST_F(PruneMIDITest, RemovesTheStaleNewFilesOfAnInterruptedRewriteAndNothingElse) {
  const std::string asoundrc = Home() + "/.asoundrc";
  ASSERT_TRUE(WriteFile(asoundrc, kOriginal, 0600));
  ASSERT_EQ(Install("--user").exitCode, 0);
  // The new file of ".asoundrc" is "..asoundrc.quillon-" and eight letters or digits.
  const std::string ours = Home() + "/..asoundrc.quillon-";
  const std::string stale = ours + "abcd1234";
  const std::string near[] = {"..asoundrc.quillon-ABCD1234", "..asoundrc.quillon-abcd12345", "..asoundrc.quillon-abc1234",
                              "..asoundrcx.quillon-abcd1234", "..asoundrc.quillon_abcd1234", ".asoundrc.quillon-abcd1234"};
  ASSERT_TRUE(WriteFile(stale, "half written"));
  for (const std::string& name : near) ASSERT_TRUE(WriteFile(Home() + "/" + name, "mine"));
  ASSERT_EQ(symlink(asoundrc.c_str(), (ours + "link1234").c_str()), 0);
  ASSERT_EQ(mkdir((ours + "fold1234").c_str(), 0700), 0);
  ASSERT_TRUE(WriteFile(ours + "twin1234", "mine"));
  ASSERT_EQ(link((ours + "twin1234").c_str(), (Home() + "/twin").c_str()), 0);
  ASSERT_TRUE(WriteFile(ours + "held1234", "being written"));
  int held = open((ours + "held1234").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::vector<std::string> kept = {"link1234", "fold1234", "twin1234", "held1234"};
  if (geteuid() == 0) {
    ASSERT_TRUE(WriteFile(ours + "othr1234", "someone else's"));
    ASSERT_EQ(chown((ours + "othr1234").c_str(), 65534, 65534), 0);
    kept.push_back("othr1234");
  }

  RunResult pruned = RunTool({BundlePath("PruneMIDI"), "--user"}, Env());
  close(held);
  EXPECT_EQ(pruned.exitCode, 0) << pruned.output;
  EXPECT_EQ(ReadFile(asoundrc), kOriginal);
  EXPECT_FALSE(Exists(stale));
  for (const std::string& name : near) EXPECT_EQ(ReadFile(Home() + "/" + name), "mine") << name;
  for (const std::string& suffix : kept) EXPECT_TRUE(Exists(ours + suffix)) << suffix;
}
