// The authorization-dialog thread against fake agents (copies of sleep under
// a name the test puts into the agent table). Each case runs in a forked
// child whose standard error the test reads, since the thread's only output
// is lines on standard error, and since the thread may outlive everything.

#include "UninstallerEngine.h"
#include "UninstallerTaskPrivate.h"

#include <Processes.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct ChildResult {
  bool finished = false;  // ended by itself within the bound
  int status = 0;
  std::string stderrText;
};

// Runs body in a forked child whose standard error is captured; the child
// exits with body's result through exit(), so that exit handlers and static
// destructors run while any thread it started is still going. A child that
// has not ended after timeoutSeconds is killed.
template <typename Body>
ChildResult RunChild(Body body, int timeoutSeconds = 60) {
  ChildResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDERR_FILENO);
    close(fds[1]);
    unsetenv("DISPLAY");  // nothing to raise: no waiting for windows
    exit(body());
  }
  close(fds[1]);
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  bool open = true;
  while (open) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long left = timeoutSeconds * 1000L - ((now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000);
    if (left <= 0) break;
    struct pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
    char buf[4096];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) open = false;
    else result.stderrText.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  // The pipe closes when the child has ended; give the exit a moment more.
  for (int i = 0; i < 500; i++) {
    if (waitpid(pid, &result.status, WNOHANG) == pid) {
      result.finished = !open;
      return result;
    }
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &result.status, 0);
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ExeOf(pid_t pid) {
  char target[4096];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// Starts a copy of sleep named name in a new temporary folder, and returns its
// pid once it runs the copy (or -1). The caller kills it.
pid_t StartFakeAgent(const std::string& name) {
  char dir[] = "/tmp/quillon-task-test.XXXXXX";
  if (mkdtemp(dir) == nullptr) return -1;
  std::string path = std::string(dir) + "/" + name;
  {
    std::ifstream in("/bin/sleep", std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    out << in.rdbuf();
  }
  if (chmod(path.c_str(), 0755) != 0) return -1;
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("600"), nullptr};
  // Not on the captured standard error: the pipe must close when the child ends.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  for (int i = 0; i < 1000 && ExeOf(pid) != path; i++) usleep(10000);
  // The file may go now: the process keeps running it.
  unlink(path.c_str());
  rmdir(dir);
  return pid;
}

void StopFakeAgent(pid_t pid) {
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

// A name no other process on the machine has, put into the agent table.
const char* UseUniqueAgentName() {
  static std::string name;
  name = "quillon-agent-" + std::to_string(getpid());
  static const char* table[1];
  table[0] = name.c_str();
  ProcessSetSecurityAgentIdentifiersForTesting(table, 1);
  return table[0];
}

ProcessSerialNumber FindInWalk(pid_t pid) {
  ProcessSerialNumber psn = {0, 0};
  for (int i = 0; i < 1000000 && GetNextProcess(&psn) == noErr; i++) {
    if (psn.pid == pid) return psn;
  }
  return ProcessSerialNumber{0, 0};
}

const std::string kWaiting = "waiting for SecurityAgent to exist";
const std::string kNotAgent = "found SecurityAgent:0 error:0 (0x0)";
const std::string kAgent = "found SecurityAgent:1 error:0 (0x0)";

TEST(UninstallerTaskTest, ScanFindsARunningAgentAndStopsThere) {
  ChildResult r = RunChild([] {
    pid_t agent = StartFakeAgent(UseUniqueAgentName());
    if (agent < 0) return 10;
    UninstallerTask(nullptr);  // returns once the agent was brought forward
    StopFakeAgent(agent);
    return 0;
  });
  ASSERT_TRUE(r.finished) << r.stderrText;
  ASSERT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << r.status;
  std::vector<std::string> lines = Lines(r.stderrText);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), kWaiting);
  EXPECT_EQ(lines.back(), kAgent) << "the scan goes on past the agent";
  size_t agents = 0;
  for (const std::string& line : lines) agents += (line == kAgent);
  EXPECT_EQ(agents, 1u);
}

TEST(UninstallerTaskTest, WaitingThreadFindsAnAgentStartedLaterAndEnds) {
  ChildResult r = RunChild([] {
    const char* name = UseUniqueAgentName();
    pthread_t thread;
    if (pthread_create(&thread, nullptr, UninstallerTask, nullptr) != 0) return 10;
    sleep(1);  // lets the scan finish, so that the launch is what finds the agent
    pid_t agent = StartFakeAgent(name);
    if (agent < 0) return 11;
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 30;
    int joined = pthread_timedjoin_np(thread, nullptr, &deadline);
    StopFakeAgent(agent);
    return joined == 0 ? 0 : 12;
  });
  ASSERT_TRUE(r.finished) << r.stderrText;
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << "status " << r.status << "\n" << r.stderrText;
  std::vector<std::string> lines = Lines(r.stderrText);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), kWaiting);
  EXPECT_EQ(lines.back(), kAgent);
}

// With no agent anywhere the thread waits for good, yet the process ends at
// once when main is done: nothing joins it and it holds nothing exit needs.
TEST(UninstallerTaskTest, WaitingThreadDoesNotHoldTheProcessOpen) {
  ChildResult r = RunChild([] {
    UseUniqueAgentName();
    pthread_t thread;
    if (pthread_create(&thread, nullptr, UninstallerTask, nullptr) != 0) return 10;
    sleep(1);  // into its wait
    // Still there: this process has two threads.
    int threads = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return 11;
    while (struct dirent* entry = readdir(tasks)) threads += (entry->d_name[0] != '.');
    closedir(tasks);
    return threads == 2 ? 0 : 12;
  });
  EXPECT_TRUE(r.finished) << "the process did not end within the bound\n" << r.stderrText;
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << "status " << r.status;
  std::vector<std::string> lines = Lines(r.stderrText);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), kWaiting);
  for (const std::string& line : lines) EXPECT_NE(line, kAgent);
}

TEST(UninstallerTaskTest, IdentifierThatDiffersOnlyInCaseIsNotTheAgent) {
  ChildResult r = RunChild([] {
    static const char* const kTable[] = {"quillon-case-agent"};
    ProcessSetSecurityAgentIdentifiersForTesting(kTable, 1);
    pid_t impostor = StartFakeAgent("Quillon-Case-Agent");
    if (impostor < 0) return 10;
    ProcessSerialNumber psn = FindInWalk(impostor);
    Boolean found = TRUE;
    OSStatus err = BringProcessForwardIfItIsSecurityAgent(&psn, &found);
    StopFakeAgent(impostor);
    if (psn.pid != impostor) return 11;
    return (err == noErr && !found) ? 0 : 12;
  });
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << "status " << r.status;
  EXPECT_EQ(r.stderrText, kNotAgent + "\n");
}

// A process that has ended by the time it is examined is simply not the
// agent; it must not end the scan.
TEST(UninstallerTaskTest, ProcessThatEndedIsNotTheAgentAndNoFailure) {
  ChildResult r = RunChild([] {
    pid_t gone = StartFakeAgent("quillon-gone");
    ProcessSerialNumber psn = FindInWalk(gone);
    StopFakeAgent(gone);
    Boolean found = TRUE;
    OSStatus err = BringProcessForwardIfItIsSecurityAgent(&psn, &found);
    return (psn.pid == gone && err == noErr && !found) ? 0 : 10;
  });
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << "status " << r.status;
  EXPECT_EQ(r.stderrText, kNotAgent + "\n");
}

}  // namespace
