#include "MoreUNIX.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "MoreUNIXTestSupport.h"

extern char** environ;

namespace {

using moreunix_test::OpenDescriptors;
using moreunix_test::Pattern;
using moreunix_test::ReadWholeFile;
using moreunix_test::TempDir;
using moreunix_test::WriteWholeFile;

class CopyTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    previousUmask_ = umask(022);
  }
  void TearDown() override { umask(previousUmask_); }

  struct stat Stat(const std::string& path) {
    struct stat sb = {};
    EXPECT_EQ(stat(path.c_str(), &sb), 0) << path;
    return sb;
  }

  TempDir dir_;
  mode_t previousUmask_ = 0;
};

TEST_F(CopyTest, CopiesDataModeAndTimesAroundBlockBoundaries) {
  const struct timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
  for (size_t size : {size_t{0}, size_t{65536}, size_t{65537}, size_t{3 * 65536 + 17}}) {
    SCOPED_TRACE(size);
    const std::string source = dir_ / "source", dest = dir_ / "dest";
    const std::string data = Pattern(size);
    WriteWholeFile(source, data);
    ASSERT_EQ(chmod(source.c_str(), 07757), 0);  // set-user-ID, set-group-ID, sticky
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

    ASSERT_EQ(MoreUNIXCopyFile(source.c_str(), dest.c_str()), 0);
    struct stat sb = Stat(dest);  // before reading it, which may touch its access time
    EXPECT_TRUE(ReadWholeFile(dest) == data);
    EXPECT_EQ(sb.st_mode & 07777, 0755u);  // special bits gone, umask 022 applied
    EXPECT_EQ(sb.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(sb.st_atim.tv_nsec, 123456000);  // whole microseconds
    EXPECT_EQ(sb.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(sb.st_mtim.tv_nsec, 987654000);
    ASSERT_EQ(unlink(dest.c_str()), 0);
  }
}

TEST_F(CopyTest, SymlinkedSourceIsFollowed) {
  WriteWholeFile(dir_ / "target", "linked data");
  ASSERT_EQ(chmod((dir_ / "target").c_str(), 0640), 0);
  ASSERT_EQ(symlink("target", (dir_ / "link").c_str()), 0);
  ASSERT_EQ(MoreUNIXCopyFile((dir_ / "link").c_str(), (dir_ / "dest").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir_ / "dest"), "linked data");
  EXPECT_EQ(Stat(dir_ / "dest").st_mode & 07777, 0640u);
}

TEST_F(CopyTest, ExistingDestinationIsReplacedAndKeepsItsMode) {
  WriteWholeFile(dir_ / "source", "new");
  WriteWholeFile(dir_ / "dest", "old and much longer");
  ASSERT_EQ(chmod((dir_ / "dest").c_str(), 0600), 0);
  ASSERT_EQ(MoreUNIXCopyFile((dir_ / "source").c_str(), (dir_ / "dest").c_str()), 0);
  EXPECT_EQ(ReadWholeFile(dir_ / "dest"), "new");
  EXPECT_EQ(Stat(dir_ / "dest").st_mode & 07777, 0600u);
}

TEST_F(CopyTest, DangerousDestinationsAreRefusedWithoutHarm) {
  WriteWholeFile(dir_ / "source", "source data");
  WriteWholeFile(dir_ / "victim", "victim data");
  ASSERT_EQ(symlink("victim", (dir_ / "planted").c_str()), 0);
  ASSERT_EQ(link((dir_ / "source").c_str(), (dir_ / "hardlink").c_str()), 0);

  EXPECT_EQ(MoreUNIXCopyFile((dir_ / "source").c_str(), (dir_ / "planted").c_str()), ELOOP);
  EXPECT_EQ(ReadWholeFile(dir_ / "victim"), "victim data");
  EXPECT_EQ(MoreUNIXCopyFile((dir_ / "source").c_str(), (dir_ / "source").c_str()), EINVAL);
  EXPECT_EQ(MoreUNIXCopyFile((dir_ / "source").c_str(), (dir_ / "hardlink").c_str()), EINVAL);
  EXPECT_EQ(ReadWholeFile(dir_ / "source"), "source data");
}

TEST_F(CopyTest, MissingFilesLeaveNothingBehindAndNothingOpen) {
  WriteWholeFile(dir_ / "source", "x");
  std::set<int> before = OpenDescriptors();
  EXPECT_EQ(MoreUNIXCopyFile((dir_ / "source").c_str(), (dir_ / "missing/dest").c_str()), ENOENT);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
  EXPECT_EQ(MoreUNIXCopyFile((dir_ / "absent").c_str(), (dir_ / "dest").c_str()), ENOENT);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "dest"));
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(CopyTest, DescriptorCopyRunsUntilThePipeWriterCloses) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const std::string data = Pattern(200003);
  std::thread writer([&] {
    // Odd-sized pieces, so blocks are assembled from several reads.
    for (size_t at = 0; at < data.size(); at += 7777) {
      (void) MoreUNIXWrite(pipeFds[1], data.data() + at, std::min<size_t>(7777, data.size() - at), NULL);
    }
    close(pipeFds[1]);
  });
  int dest = open((dir_ / "dest").c_str(), O_WRONLY | O_CREAT, 0600);
  EXPECT_EQ(MoreUNIXCopyDescriptorToDescriptor(pipeFds[0], dest), 0);
  writer.join();
  close(dest);
  close(pipeFds[0]);
  EXPECT_TRUE(ReadWholeFile(dir_ / "dest") == data);
}

TEST_F(CopyTest, DescriptorCopyReportsAFailedWrite) {
  WriteWholeFile(dir_ / "source", Pattern(100));
  int source = open((dir_ / "source").c_str(), O_RDONLY);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  close(pipeFds[0]);
  EXPECT_EQ(MoreUNIXCopyDescriptorToDescriptor(source, pipeFds[1]), EPIPE);
  close(pipeFds[1]);
  close(source);
}

TEST(ExecutablePathTest, SizeProtocol) {
  uint32_t size = 0;
  ASSERT_EQ(MoreGetExecutablePath(NULL, &size), -1);
  ASSERT_GT(size, 1u);
  const uint32_t needed = size;

  std::string buf(needed + 10, '#');
  size = needed - 1;
  EXPECT_EQ(MoreGetExecutablePath(buf.data(), &size), -1);
  EXPECT_EQ(size, needed);

  size = needed;
  ASSERT_EQ(MoreGetExecutablePath(buf.data(), &size), 0);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(strlen(buf.c_str()), needed - 1);
  EXPECT_EQ(buf[0], '/');
  struct stat pathStat, selfStat;
  ASSERT_EQ(stat(buf.c_str(), &pathStat), 0);
  ASSERT_EQ(stat("/proc/self/exe", &selfStat), 0);
  EXPECT_EQ(pathStat.st_ino, selfStat.st_ino);
}

// Runs in a copy of this test program (see below), which removes itself.
TEST(ExecutablePathTest, ProbeDeletedSelf) {
  const char* expected = getenv("QUILLON_EXECUTABLE_PATH_PROBE");
  if (expected == nullptr) GTEST_SKIP() << "runs only inside DeletedExecutableIsNotReported";
  char path[8192];
  uint32_t size = sizeof(path);
  ASSERT_EQ(MoreGetExecutablePath(path, &size), 0);
  EXPECT_STREQ(path, expected);  // a name that merely ends in " (deleted)" is fine
  ASSERT_EQ(unlink(path), 0);
  size = sizeof(path);
  EXPECT_EQ(MoreGetExecutablePath(path, &size), ENOENT);
  EXPECT_EQ(size, sizeof(path));
}

TEST(ExecutablePathTest, DeletedExecutableIsNotReported) {
  ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
  TempDir dir;
  const std::string probe = dir / "probe (deleted)";
  ASSERT_EQ(MoreUNIXCopyFile("/proc/self/exe", probe.c_str()), 0);
  std::string variable = "QUILLON_EXECUTABLE_PATH_PROBE=" + probe;
  char* argv[] = {const_cast<char*>(probe.c_str()),
                  const_cast<char*>("--gtest_filter=ExecutablePathTest.ProbeDeletedSelf"), nullptr};
  char* envp[] = {variable.data(), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, probe.c_str(), nullptr, nullptr, argv, envp), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe status " << status;
  EXPECT_FALSE(std::filesystem::exists(probe));
}

}  // namespace
