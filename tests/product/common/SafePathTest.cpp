#include "FileIO.h"
#include "SafePath.h"
#include "ScopedFd.h"

#include "ProductTestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>

using namespace quillon;
using namespace quillon::producttest;

TEST(SafePathTest, SplitRefusesWhatAReceiptMustNotHold) {
  PathParts parts;
  const char* why = nullptr;
  ASSERT_TRUE(SplitAbsolutePath("/opt/quillon/bin", &parts, &why));
  EXPECT_EQ(parts, (PathParts{"opt", "quillon", "bin"}));

  const char* refused[] = {"",       "opt/quillon",        "/opt/../etc/passwd", "/opt/./x", "/opt//x",
                           "/opt/x/", "/",                 "/opt/x\r",           "/opt/x\ny", "/..",
                           "/opt/quillon/.."};
  for (const char* path : refused) {
    EXPECT_FALSE(SplitAbsolutePath(path, &parts, &why)) << path;
    EXPECT_NE(why, nullptr);
    EXPECT_TRUE(parts.empty());
  }
  EXPECT_FALSE(SplitAbsolutePath("/" + std::string(300, 'a'), &parts, &why));
  EXPECT_FALSE(SplitAbsolutePath(std::string("/a\0b", 4), &parts, &why));
}

TEST(SafePathTest, WalkStopsAtASymbolicLinkAndNamesIt) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(MakeDirs(scratch / "opt/quillon"));
  ASSERT_TRUE(MakeDirs(scratch / "etc"));
  ASSERT_EQ(symlink((scratch / "etc").c_str(), (scratch / "opt/quillon/lib").c_str()), 0);
  ASSERT_TRUE(WriteFile(scratch / "opt/plain", "x"));

  int raw = -1;
  ASSERT_EQ(OpenAnchor(scratch.path().c_str(), &raw), 0);
  ScopedFd anchor(raw);
  PathParts parts;
  const char* why;
  ASSERT_TRUE(SplitAbsolutePath("/opt/quillon/lib/passwd", &parts, &why));
  int dir = -1;
  size_t failed = 99;
  EXPECT_EQ(OpenDirectoryBeneath(anchor.get(), parts, 0, parts.size() - 1, &dir, &failed), ELOOP);
  EXPECT_EQ(failed, 2u);
  EXPECT_EQ(dir, -1);

  ASSERT_TRUE(SplitAbsolutePath("/opt/plain/x", &parts, &why));
  EXPECT_EQ(OpenDirectoryBeneath(anchor.get(), parts, 0, parts.size() - 1, &dir, &failed), ENOTDIR);
  EXPECT_EQ(failed, 1u);

  // Creating never goes through the link either.
  std::vector<size_t> created;
  ASSERT_TRUE(SplitAbsolutePath("/opt/quillon/lib/new/file", &parts, &why));
  EXPECT_EQ(MakeDirectoryBeneath(anchor.get(), parts, 0, parts.size() - 1, 0755, &created, &dir, &failed), ELOOP);
  EXPECT_TRUE(created.empty());
  EXPECT_FALSE(Exists(scratch / "etc/new"));
}

TEST(FileIOTest, ReplaceKeepsModeAndOwnerAndLeavesNoTemporary) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(WriteFile(scratch / "asound.conf", "old", 0640));
  int raw = -1;
  ASSERT_EQ(OpenAnchor(scratch.path().c_str(), &raw), 0);
  ScopedFd dir(raw);
  std::string content;
  struct stat before;
  ASSERT_EQ(ReadFileAt(dir.get(), "asound.conf", 100, &content, &before), 0);
  ASSERT_EQ(ReplaceFileAt(dir.get(), "asound.conf", "new", before.st_mode, before.st_uid, before.st_gid, &before), 0);
  struct stat after;
  ASSERT_EQ(stat((scratch / "asound.conf").c_str(), &after), 0);
  EXPECT_EQ(ReadFile(scratch / "asound.conf"), "new");
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_NE(after.st_ino, before.st_ino);

  DIR* listing = opendir(scratch.path().c_str());
  ASSERT_NE(listing, nullptr);
  int entries = 0;
  while (struct dirent* entry = readdir(listing)) {
    if (entry->d_name[0] != '.' || std::string(entry->d_name).size() > 2) entries++;
  }
  closedir(listing);
  EXPECT_EQ(entries, 1);
}

TEST(FileIOTest, ReplaceRefusesAFileThatChangedMeanwhile) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(WriteFile(scratch / "asoundrc", "mine"));
  int raw = -1;
  ASSERT_EQ(OpenAnchor(scratch.path().c_str(), &raw), 0);
  ScopedFd dir(raw);
  std::string content;
  struct stat seen;
  ASSERT_EQ(ReadFileAt(dir.get(), "asoundrc", 100, &content, &seen), 0);
  ASSERT_TRUE(WriteFile(scratch / "asoundrc", "edited by the user meanwhile"));
  EXPECT_EQ(ReplaceFileAt(dir.get(), "asoundrc", "pruned", 0644, seen.st_uid, seen.st_gid, &seen), EAGAIN);
  EXPECT_EQ(ReadFile(scratch / "asoundrc"), "edited by the user meanwhile");
}

TEST(FileIOTest, ReadRefusesLinksFifosAndOversizedFiles) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(WriteFile(scratch / "big", std::string(101, 'x')));
  ASSERT_EQ(symlink("big", (scratch / "link").c_str()), 0);
  ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0644), 0);
  int raw = -1;
  ASSERT_EQ(OpenAnchor(scratch.path().c_str(), &raw), 0);
  ScopedFd dir(raw);
  std::string content;
  struct stat st;
  EXPECT_EQ(ReadFileAt(dir.get(), "big", 100, &content, &st), EFBIG);
  EXPECT_EQ(ReadFileAt(dir.get(), "link", 1000, &content, &st), ELOOP);
  EXPECT_EQ(ReadFileAt(dir.get(), "fifo", 1000, &content, &st), EINVAL);  // and it did not hang
}
