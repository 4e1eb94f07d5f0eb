// The process that parses the caller's request has the caller's rights and no
// more: the test copy of UninstallerHelper runs as root, as pkexec starts it,
// on a channel that an unprivileged process made, and its parsing child
// reports its /proc/self/status lines.

#include "MoreSecProtocol.h"
#include "MoreUNIX.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Caller {
  const char* name;
  uid_t uid;  // 0: root made the channel
  gid_t gid;
};

// Makes the channel as |caller| and hands both ends back through |control|.
[[noreturn]] void MakeChannelAs(const Caller& caller, int control) {
  if (caller.uid != 0 && (setgroups(0, NULL) != 0 || setresgid(caller.gid, caller.gid, caller.gid) != 0 ||
                          setresuid(caller.uid, caller.uid, caller.uid) != 0)) {
    _exit(2);
  }
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) _exit(3);
  const char externalForm[32] = {};
  const char body[] = "<plist version=\"1.0\"><dict/></plist>";
  const SInt32 length = sizeof body - 1;
  if (write(pair[1], externalForm, sizeof externalForm) != sizeof externalForm ||
      write(pair[1], &length, sizeof length) != sizeof length || write(pair[1], body, length) != length) {
    _exit(4);
  }
  if (MoreUNIXWriteDescriptor(control, pair[0]) != 0 || MoreUNIXWriteDescriptor(control, pair[1]) != 0) _exit(5);
  _exit(0);
}

// The tool's exit status and its standard error.
int RunToolAsRoot(int channel, std::string* diagnostics) {
  int errFd = memfd_create("stderr", MFD_CLOEXEC);
  if (errFd < 0) return -1;
  pid_t tool = fork();
  if (tool == 0) {
    if (dup2(channel, STDIN_FILENO) < 0 || dup2(channel, STDOUT_FILENO) < 0 || dup2(errFd, STDERR_FILENO) < 0) {
      _exit(120);
    }
    char* argv[] = {const_cast<char*>(PARSE_PROBE_HELPER), NULL};
    char* envp[] = {NULL};
    execve(PARSE_PROBE_HELPER, argv, envp);
    _exit(121);
  }
  int status = 0;
  if (tool < 0 || waitpid(tool, &status, 0) != tool) return -1;
  lseek(errFd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t got;
  while ((got = read(errFd, buffer, sizeof buffer)) > 0) diagnostics->append(buffer, static_cast<size_t>(got));
  close(errFd);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> ReportedLines(const std::string& diagnostics) {
  std::vector<std::string> lines;
  const std::string prefix = "parsing child: ";
  size_t at = 0;
  while ((at = diagnostics.find(prefix, at)) != std::string::npos) {
    size_t end = diagnostics.find('\n', at);
    std::string line = diagnostics.substr(at + prefix.size(), end - at - prefix.size());
    // The kernel ends a list of groups with a space, even an empty one.
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
    at = end;
  }
  return lines;
}

class ParsingChildTest : public ::testing::TestWithParam<Caller> {};

TEST_P(ParsingChildTest, HasTheCallersIDsForGoodAndNothingElse) {
#ifdef QUILLON_SANITIZED
  GTEST_SKIP() << "the address sanitizer's shadow memory does not fit the tool's own limits";
#endif
  if (geteuid() != 0) GTEST_SKIP() << "runs the helper tool as root, as pkexec does; needs root";
  uid_t uid = GetParam().uid;
  gid_t gid = GetParam().gid;
  if (uid == 0) {
    // A channel that root made gives the parser nobody's rights.
    const struct passwd* nobody = getpwnam("nobody");
    const struct group* nogroup = getgrnam("nogroup");
    uid = nobody != NULL ? nobody->pw_uid : 65534;
    gid = nogroup != NULL ? nogroup->gr_gid : 65534;
  }
  ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
  int control[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, control), 0);
  pid_t maker = fork();
  if (maker == 0) MakeChannelAs(GetParam(), control[1]);
  int status = 0;
  ASSERT_EQ(waitpid(maker, &status, 0), maker);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  int toolEnd = -1, callerEnd = -1;
  ASSERT_EQ(MoreUNIXReadDescriptor(control[0], &toolEnd), 0);
  ASSERT_EQ(MoreUNIXReadDescriptor(control[0], &callerEnd), 0);
  close(control[0]);
  close(control[1]);

  std::string diagnostics;
  EXPECT_EQ(RunToolAsRoot(toolEnd, &diagnostics), 0) << diagnostics;
  close(toolEnd);
  const std::string u = std::to_string(uid), g = std::to_string(gid);
  const std::vector<std::string> expected = {
      "Uid:\t" + u + "\t" + u + "\t" + u + "\t" + u,
      "Gid:\t" + g + "\t" + g + "\t" + g + "\t" + g,
      "Groups:\t",
      "NoNewPrivs:\t1",
      "CapPrm:\t0000000000000000",
      "CapEff:\t0000000000000000",
  };
  std::vector<std::string> reported = ReportedLines(diagnostics);
  std::sort(reported.begin(), reported.end());
  std::vector<std::string> sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end());
  EXPECT_EQ(reported, sortedExpected) << diagnostics;

  // Root went on with the request the child handed over: one response frame.
  SInt32 length = 0;
  EXPECT_EQ(read(callerEnd, &length, sizeof length), static_cast<ssize_t>(sizeof length));
  EXPECT_GT(length, 0);
  close(callerEnd);
}

INSTANTIATE_TEST_SUITE_P(Callers, ParsingChildTest,
                         ::testing::Values(Caller{"AUser", 4242, 4343}, Caller{"Root", 0, 0}),
                         [](const ::testing::TestParamInfo<Caller>& info) { return std::string(info.param.name); });

}  // namespace
