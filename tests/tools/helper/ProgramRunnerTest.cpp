#include "ProgramRunner.h"

#include "ProductTestSupport.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>

#include <sstream>

using namespace quillon::producttest;

namespace {

const char* const kNoEnvironment[] = {nullptr};

std::string Probe() { return CHILD_PROBE_PATH; }

// Opens and runs `path` with `args`, returning the status of RunProgram;
// with `withFolder` the program gets the folder that holds its own.
int RunPath(const std::string& path, std::vector<std::string> args, const char* const envp[], bool asRoot,
            size_t limit, std::string* output, size_t* dropped, int* waitStatus, bool withFolder = false) {
  int fd = -1, folderFd = -1;
  MoreSecPathRefusal refusal;
  int err = OpenProgramForRunning(path.c_str(), geteuid(), &fd, withFolder ? &folderFd : nullptr, &refusal);
  if (err != 0) return err;
  std::vector<const char*> argv = {path.c_str()};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  err = RunProgram(fd, folderFd, argv.data(), envp, asRoot, limit, output, dropped, waitStatus);
  (void) close(fd);
  if (folderFd >= 0) (void) close(folderFd);
  return err;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
  for (const std::string& each : Lines(text)) {
    if (each == line) return true;
  }
  return false;
}

}  // namespace

TEST(ProgramRunnerTest, OpenRefusesLinksUncleanPathsAndWhatCannotBeRun) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(WriteFile(scratch / "script", "#!/bin/sh\n", 0755));
  ASSERT_TRUE(WriteFile(scratch / "plain", "#!/bin/sh\n", 0644));
  ASSERT_TRUE(WriteFile(scratch / "shared", "#!/bin/sh\n", 0757));
  ASSERT_TRUE(WriteFile(scratch / "group", "#!/bin/sh\n", 0775));
  ASSERT_EQ(symlink((scratch / "script").c_str(), (scratch / "link").c_str()), 0);
  ASSERT_EQ(mkfifo((scratch / "fifo").c_str(), 0755), 0);
  // Folders on the way: a link to this one, and one its group may change.
  ASSERT_EQ(symlink(scratch.path().c_str(), (scratch / "folder-link").c_str()), 0);
  ASSERT_TRUE(WriteFile(scratch / "open/script", "#!/bin/sh\n", 0755));
  ASSERT_EQ(chmod((scratch / "open").c_str(), 0775), 0);
  // Someone else's file, where root can make one.
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_TRUE(WriteFile(scratch / "theirs", "#!/bin/sh\n", 0755));
    ASSERT_EQ(chown((scratch / "theirs").c_str(), 65534, 65534), 0);
  }
  struct {
    std::string path;
    int err;
    std::string where;  // what the refusal names, when not the path itself
  } cases[] = {
      {scratch / "link", ELOOP, ""},       {"script", EINVAL, ""},         {scratch / "../" + scratch.path() + "/script", EINVAL, scratch / ".."},
      {scratch / "./script", EINVAL, scratch / "."},  {scratch.path() + "//script", EINVAL, scratch.path() + "/"},
      {scratch.path(), EACCES, ""},        {scratch / "plain", EACCES, ""}, {scratch / "fifo", EACCES, ""},
      {scratch / "shared", EPERM, ""},     {scratch / "group", EPERM, ""},  {scratch / "missing", ENOENT, ""},
      {scratch / "folder-link/script", ELOOP, scratch / "folder-link"},
      {scratch / "open/script", EPERM, scratch / "open"},
      {root ? scratch / "theirs" : scratch / "group", EPERM, ""},
  };
  for (const auto& c : cases) {
    int fd = -1, folderFd = -1;
    MoreSecPathRefusal refusal;
    EXPECT_EQ(OpenProgramForRunning(c.path.c_str(), geteuid(), &fd, &folderFd, &refusal), c.err) << c.path;
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(folderFd, -1);
    EXPECT_EQ(refusal.where, c.where.empty() ? c.path : c.where) << c.path << ": " << refusal.why;
  }
  int fd = -1;
  MoreSecPathRefusal refusal;
  ASSERT_EQ(OpenProgramForRunning((scratch / "script").c_str(), geteuid(), &fd, nullptr, &refusal), 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  close(fd);
}

TEST(ProgramRunnerTest, ChildStartsCleanWhateverTheCallerInherited) {
  // State a hostile caller could leave: stray descriptors, an ignored and a
  // blocked signal, a tight umask, another folder, environment variables.
  int stray = open("/etc/hostname", O_RDONLY);
  ASSERT_GE(stray, 0);
  ASSERT_EQ(dup2(stray, 50), 50);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  sighandler_t oldTerm = signal(SIGTERM, SIG_IGN);
  sigset_t usr1, oldMask;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  ASSERT_EQ(sigprocmask(SIG_BLOCK, &usr1, &oldMask), 0);
  mode_t oldUmask = umask(077);
  char oldCwd[4096];
  ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
  ASSERT_EQ(chdir("/tmp"), 0);
  setenv("LD_PRELOAD", "/nonexistent/evil.so", 1);

  const char* const envp[] = {"ONLY=1", nullptr};
  std::string output;
  size_t dropped = 0;
  int waitStatus = 0;
  int err = RunPath(Probe(), {}, envp, false, 65536, &output, &dropped, &waitStatus);

  unsetenv("LD_PRELOAD");
  ASSERT_EQ(chdir(oldCwd), 0);
  umask(oldUmask);
  sigprocmask(SIG_SETMASK, &oldMask, nullptr);
  signal(SIGTERM, oldTerm);
  close(pipeFds[0]);
  close(pipeFds[1]);
  close(50);
  close(stray);

  ASSERT_EQ(err, 0) << output;
  ASSERT_TRUE(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) << output;
  EXPECT_EQ(dropped, 0u);
  for (const char* line : {"fds: 0 1 2", "stdin: /dev/null", "umask: 0022", "cwd: /", "SigBlk: 0000000000000000",
                           "SigIgn: 0000000000000000", "session leader: yes", "core: 0", "env: ONLY=1"}) {
    EXPECT_TRUE(HasLine(output, line)) << line << "\n" << output;
  }
  for (const std::string& line : Lines(output)) {
    if (line.rfind("env: ", 0) == 0) {
      EXPECT_EQ(line, "env: ONLY=1");
    }
  }
}

TEST(ProgramRunnerTest, ScriptRunsThroughItsDescriptorAndCanCloseIt) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  std::string script = scratch / "script";
  ASSERT_TRUE(WriteFile(script,
                        "#!/bin/sh\n"
                        "echo \"zero: $0\"\n"
                        "echo \"three: $(readlink /proc/$$/fd/3)\"\n"
                        "echo \"five: $(readlink /proc/$$/fd/5)\"\n"
                        "exec 3<&- 5<&-\n"
                        "exec \"$1\"\n",
                        0755));
  std::string output;
  size_t dropped = 0;
  int waitStatus = 0;
  ASSERT_EQ(RunPath(script, {Probe()}, kNoEnvironment, false, 65536, &output, &dropped, &waitStatus, true), 0);
  EXPECT_TRUE(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) << output;
  EXPECT_TRUE(HasLine(output, "zero: /dev/fd/3")) << output;
  EXPECT_TRUE(HasLine(output, "three: " + script)) << output;
  EXPECT_TRUE(HasLine(output, "five: " + scratch.path().substr(0, scratch.path().rfind('/')))) << output;
  // Once the script let go of its own text and the folder, the child it started has nothing else.
  EXPECT_TRUE(HasLine(output, "fds: 0 1 2")) << output;
}

TEST(ProgramRunnerTest, OutputIsBoundedAndAnEndlessWriterIsCutOff) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(WriteFile(scratch / "chatty", "#!/bin/sh\nhead -c 300000 /dev/zero\necho done >&2\n", 0755));
  ASSERT_TRUE(WriteFile(scratch / "endless", "#!/bin/sh\nexec yes\n", 0755));
  std::string output;
  size_t dropped = 0;
  int waitStatus = 0;
  ASSERT_EQ(RunPath(scratch / "chatty", {}, kNoEnvironment, false, 1000, &output, &dropped, &waitStatus), 0);
  // The start and the end, where the program says how it finished.
  EXPECT_EQ(output, std::string(995, '\0') + "done\n");
  EXPECT_EQ(dropped, 300000u - 1000u + 5u);
  EXPECT_TRUE(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0);

  ASSERT_EQ(RunPath(scratch / "endless", {}, kNoEnvironment, false, 100, &output, &dropped, &waitStatus), 0);
  EXPECT_EQ(output.size(), 100u);
  EXPECT_GT(dropped, 64u * 1024 * 1024);
  ASSERT_TRUE(WIFSIGNALED(waitStatus));
  EXPECT_EQ(WTERMSIG(waitStatus), SIGPIPE);
}

TEST(ProgramRunnerTest, ReportsWhyAProgramDidNotStartAndKeepsStatusDespiteIgnoredSIGCHLD) {
  ScratchDir scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(WriteFile(scratch / "garbage", "neither ELF nor a script\n", 0755));
  ASSERT_TRUE(WriteFile(scratch / "seven", "#!/bin/sh\necho before\nexit 7\n", 0755));
  std::string output;
  size_t dropped = 0;
  int waitStatus = 0;
  EXPECT_EQ(RunPath(scratch / "garbage", {}, kNoEnvironment, false, 100, &output, &dropped, &waitStatus), ENOEXEC);

  sighandler_t old = signal(SIGCHLD, SIG_IGN);
  int err = RunPath(scratch / "seven", {}, kNoEnvironment, false, 100, &output, &dropped, &waitStatus);
  struct sigaction after;
  sigaction(SIGCHLD, nullptr, &after);
  signal(SIGCHLD, old);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(output, "before\n");
  EXPECT_TRUE(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 7);
  EXPECT_EQ(after.sa_handler, SIG_IGN);  // put back as it was
}

// A process of user nobody whose saved user ID is still 0, as a set-user-ID
// root tool is after it dropped to the user.
TEST(ProgramRunnerTest, ChildTakesRootFullyFromASavedUserID) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: switches user IDs";
  int fd = -1;
  MoreSecPathRefusal refusal;
  ASSERT_EQ(OpenProgramForRunning(Probe().c_str(), 0, &fd, nullptr, &refusal), 0) << refusal.where << refusal.why;
  for (bool keepSaved : {true, false}) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipeFds[0]);
      gid_t nogroup = 65534;
      if (setgroups(1, &nogroup) != 0 || setresgid(65534, 65534, 65534) != 0 ||
          setresuid(65534, 65534, keepSaved ? 0 : 65534) != 0) {
        _exit(90);
      }
      const char* argv[] = {"probe", nullptr};
      std::string output;
      size_t dropped = 0;
      int waitStatus = 0;
      int err = RunProgram(fd, -1, argv, kNoEnvironment, true, 65536, &output, &dropped, &waitStatus);
      output += "err: " + std::to_string(err) + "\n";
      (void) !write(pipeFds[1], output.data(), output.size());
      _exit(0);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(got));
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (keepSaved) {
      EXPECT_TRUE(HasLine(output, "err: 0")) << output;
      EXPECT_TRUE(HasLine(output, "uid: 0 0 0")) << output;
      EXPECT_TRUE(HasLine(output, "gid: 0 0 0")) << output;
      EXPECT_TRUE(HasLine(output, "groups: 0")) << output;
    } else {
      EXPECT_EQ(output, "err: " + std::to_string(EPERM) + "\n");
    }
  }
  close(fd);
}
