#include "MoreUNIX.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Everything the child writes to its standard output, and its exit status.
std::string Collect(int fd, pid_t child, int* status) {
  std::string got;
  char buf[512];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
  close(fd);
  EXPECT_EQ(waitpid(child, status, 0), child);
  return got;
}

// The child reads its own state: what it was handed on descriptor 5, and the
// signal lines of /proc/self/status, where SIGPIPE is bit 13 (0x1000).
TEST(SpawnTest, ChildGetsItsDescriptorsEnvironmentAndDefaultSignals) {
  ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
  sigset_t blocked, old;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &old), 0);

  int out[2], given[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(given, O_CLOEXEC), 0);
  ASSERT_EQ(write(given[1], "handed", 6), 6);
  close(given[1]);
  const MoreUNIXSpawnDescriptor descriptors[] = {{out[1], STDOUT_FILENO}, {given[0], 5}};
  const int defaults[] = {SIGPIPE};
  const MoreUNIXSpawnOptions options = {descriptors, 2, defaults, 1, nullptr};
  char script[] = "read -r line <&5; echo \"$line $ONLY\"; grep -E '^Sig(Blk|Ign)' /proc/self/status";
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), script, nullptr};
  char* envp[] = {const_cast<char*>("ONLY=this"), const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
  pid_t child = -1;
  ASSERT_EQ(MoreUNIXSpawn("/bin/sh", argv, envp, &options, &child), 0);
  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &old, nullptr), 0);
  close(out[1]);
  close(given[0]);

  int status = 0;
  const std::string got = Collect(out[0], child, &status);
  EXPECT_EQ(got.substr(0, got.find('\n')), "handed this");
  EXPECT_NE(got.find("SigBlk:\t0000000000000000"), std::string::npos) << got;
  const size_t ign = got.find("SigIgn:\t");
  ASSERT_NE(ign, std::string::npos) << got;
  EXPECT_EQ(std::stoull(got.substr(ign + 8, 16), nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u) << got;
}

// As another user: every ID dropped for good, the folder entered, a session
// of its own, and nothing of ours open beyond what was handed over.
TEST(SpawnTest, AsUserDropsEveryIDAndKeepsOnlyWhatWasHandedOver) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  const int stray = open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(stray, 0);
  const MoreUNIXSpawnDescriptor descriptors[] = {{out[1], STDOUT_FILENO}, {out[1], STDERR_FILENO}};
  const gid_t groups[] = {65534};
  const MoreUNIXSpawnUser user = {65534, 65534, groups, 1, "/tmp"};
  const MoreUNIXSpawnOptions options = {descriptors, 2, nullptr, 0, &user};
  char script[] = "grep -E '^(Uid|Gid|Groups):' /proc/self/status; pwd; ls /proc/self/fd | tr '\\n' ' '; echo; "
                  "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ] && echo leader";
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), script, nullptr};
  char* envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
  pid_t child = -1;
  const int err = MoreUNIXSpawn("/bin/sh", argv, envp, &options, &child);
  close(stray);
  close(out[1]);
  ASSERT_EQ(err, 0);
  int status = 0;
  const std::string got = Collect(out[0], child, &status);
  EXPECT_NE(got.find("Uid:\t65534\t65534\t65534\t65534\n"), std::string::npos) << got;
  EXPECT_NE(got.find("Gid:\t65534\t65534\t65534\t65534\n"), std::string::npos) << got;
  EXPECT_NE(got.find("Groups:\t65534 \n"), std::string::npos) << got;
  EXPECT_NE(got.find("\n/tmp\n"), std::string::npos) << got;
  // ls itself opens one descriptor for the folder it lists.
  EXPECT_NE(got.find("\n0 1 2 3 \n"), std::string::npos) << got;
  EXPECT_NE(got.find("leader"), std::string::npos) << got;
}

// A folder the user cannot enter: the child fails before the exec, and the
// caller hears why.
TEST(SpawnTest, AsUserReportsAFailureBeforeTheExec) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const MoreUNIXSpawnUser user = {65534, 65534, nullptr, 0, "/root"};
  const MoreUNIXSpawnOptions options = {nullptr, 0, nullptr, 0, &user};
  char* argv[] = {const_cast<char*>("true"), nullptr};
  char* envp[] = {nullptr};
  pid_t child = 12345;
  EXPECT_EQ(MoreUNIXSpawn("/bin/true", argv, envp, &options, &child), EACCES);
  EXPECT_EQ(child, 12345);
}

TEST(SpawnTest, MissingProgramIsAnErrorAndNoChild) {
  char* argv[] = {const_cast<char*>("none"), nullptr};
  char* envp[] = {nullptr};
  pid_t child = 12345;
  EXPECT_EQ(MoreUNIXSpawn("/nonexistent/program", argv, envp, nullptr, &child), ENOENT);
  EXPECT_EQ(child, 12345);
}

}  // namespace
