#include "MoreUNIX.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// A file in a folder of its own, opened for running by descriptor.
struct ProgramFile {
  std::string folder;
  std::string path;
  int fd = -1;
  ProgramFile(const char* text, mode_t mode) {
    char dir[] = "/tmp/spawn-setup-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    folder = dir;
    path = folder + "/program";
    const int w = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    EXPECT_GE(w, 0);
    EXPECT_EQ(write(w, text, strlen(text)), static_cast<ssize_t>(strlen(text)));
    close(w);
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
  }
  ~ProgramFile() {
    close(fd);
    unlink(path.c_str());
    rmdir(folder.c_str());
  }
};

// A script run from its descriptor, with everything a forked child can be
// given: descriptors placed with a gap (the gap stays closed even where we
// hold a descriptor without close-on-exec), two that trade places, a
// session of its own, a limit, a umask and a folder.
TEST(SpawnWithSetupTest, ScriptByDescriptorGetsTheWholeSetup) {
  ProgramFile script(
      "#!/bin/sh\n"
      "for fd in 3 4 5 6 7 8 9; do [ -e /proc/$$/fd/$fd ] && printf '%s ' $fd; done; echo\n"
      "read -r a <&7; read -r b <&8; echo \"swapped $a $b\"\n"
      "echo \"sid $(cut -d' ' -f6 /proc/$$/stat) pid $$\"\n"
      "echo \"core $(ulimit -c) umask $(umask) pwd $(pwd)\"\n",
      0755);
  int out[2], first[2], second[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(first, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(second, O_CLOEXEC), 0);
  ASSERT_EQ(write(first[1], "first\n", 6), 6);
  ASSERT_EQ(write(second[1], "second\n", 7), 7);
  close(first[1]);
  close(second[1]);
  // Everything of ours out of the way of the numbers the test places.
  for (int* fd : {&out[0], &out[1], &first[0], &second[0], &script.fd}) {
    const int high = fcntl(*fd, F_DUPFD_CLOEXEC, 30);
    ASSERT_GE(high, 30);
    close(*fd);
    *fd = high;
  }
  // Our descriptors 7 and 8 become the child's 8 and 7.
  ASSERT_EQ(dup3(first[0], 7, O_CLOEXEC), 7);
  ASSERT_EQ(dup3(second[0], 8, O_CLOEXEC), 8);
  const int stray = dup2(out[1], 4);  // no close-on-exec
  ASSERT_EQ(stray, 4);
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(devNull, 0);
  const MoreUNIXSpawnDescriptor descriptors[] = {{devNull, STDIN_FILENO}, {out[1], STDOUT_FILENO},
                                                 {out[1], STDERR_FILENO}, {script.fd, 3}, {7, 8}, {8, 7}};
  const MoreUNIXSpawnOptions options = {descriptors, 6, nullptr, 0, nullptr};
  const MoreUNIXSpawnLimit limits[] = {{RLIMIT_CORE, 0, RLIM_INFINITY}};
  const mode_t mask = 027;
  MoreUNIXSpawnSetup setup = {};
  setup.newSession = true;
  setup.closeOthers = true;
  setup.limits = limits;
  setup.limitCount = 1;
  setup.directory = "/";
  setup.umask = &mask;
  char* argv[] = {const_cast<char*>("program"), nullptr};
  char* envp[] = {const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
  pid_t child = -1;
  ASSERT_EQ(MoreUNIXSpawnWithSetup(nullptr, script.fd, argv, envp, &options, &setup, &child), 0);
  for (int fd : {out[1], first[0], second[0], 7, 8, stray, devNull}) close(fd);

  int status = 0;
  const std::string got = Collect(out[0], child, &status);
  EXPECT_EQ(status, 0) << got;
  // 3 is the script the shell reads; 4, the gap, stays closed.
  EXPECT_EQ(got.substr(0, got.find('\n') + 1), "3 7 8 \n") << got;
  EXPECT_NE(got.find("swapped second first\n"), std::string::npos) << got;
  const std::string pid = std::to_string(child);
  EXPECT_NE(got.find("sid " + pid + " pid " + pid + "\n"), std::string::npos) << got;
  EXPECT_NE(got.find("core 0 umask 0027 pwd /\n"), std::string::npos) << got;
}

// Running by descriptor: a binary needs no place in the child; a script's
// interpreter finds its file only where it was handed over. Whatever fails
// before the program runs comes back as its errno, with no child left.
TEST(SpawnWithSetupTest, ProgramByDescriptorRunsOrReportsWhy) {
  struct Case {
    const char* text;
    mode_t mode;
    bool mapped;
    int expected;
  };
  const Case cases[] = {
      {"#!/bin/sh\nexit 3\n", 0755, true, 0},
      {"#!/bin/sh\nexit 3\n", 0755, false, ENOENT},  // only a close-on-exec copy: no path for the interpreter
      {"#!/bin/sh\nexit 3\n", 0644, true, EACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + (c.mapped ? " mapped" : " unmapped"));
    ProgramFile program(c.text, c.mode);
    const MoreUNIXSpawnDescriptor descriptors[] = {{program.fd, 3}};
    const MoreUNIXSpawnOptions options = {descriptors, c.mapped ? 1u : 0u, nullptr, 0, nullptr};
    char* argv[] = {const_cast<char*>("program"), nullptr};
    char* envp[] = {nullptr};
    pid_t child = -1;
    EXPECT_EQ(MoreUNIXSpawnWithSetup(nullptr, program.fd, argv, envp, &options, nullptr, &child), c.expected);
    if (c.expected == 0) {
      int status = 0;
      EXPECT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    } else {
      EXPECT_EQ(child, -1);
      EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
      EXPECT_EQ(errno, ECHILD);
    }
  }

  // A binary from a close-on-exec copy runs.
  const int shell = open("/bin/sh", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(shell, 0);
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>("exit 4"), nullptr};
  char* envp[] = {nullptr};
  pid_t child = -1;
  ASSERT_EQ(MoreUNIXSpawnWithSetup(nullptr, shell, argv, envp, nullptr, nullptr, &child), 0);
  close(shell);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4) << status;
}

}  // namespace
