// quillon-uninstall's command line, exit codes, JSON, log summary and
// wrapping, and the program's usage errors.
#include "TerminalSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

TEST(TerminalOptionsTest, ReadsEveryOptionAndRefusesWhatContradicts) {
  TerminalOptions options;
  std::string error;
  ASSERT_TRUE(TerminalParseOptions({"--yes", "--keep-midi-devices", "--no-restart", "--json", "-q", "--user", "alice",
                                    "--user=bob", "--user", "alice"},
                                   &options, &error))
      << error;
  EXPECT_TRUE(options.yes && options.keepMidiDevices && options.json && options.quiet);
  EXPECT_EQ(options.restart, TerminalRestart::kNo);
  EXPECT_EQ(options.users, (std::vector<std::string>{"alice", "bob"}));

  const std::vector<std::vector<std::string>> refused = {
      {"--restart", "--no-restart"}, {"--user"}, {"--user="}, {"--all-users", "--user", "x"}, {"--yes", "--force"}};
  for (const auto& arguments : refused) {
    TerminalOptions parsed;
    error.clear();
    EXPECT_FALSE(TerminalParseOptions(arguments, &parsed, &error)) << arguments.back();
    EXPECT_FALSE(error.empty());
  }
  // What came before a bad option still counts: a usage error can be JSON.
  TerminalOptions partial;
  EXPECT_FALSE(TerminalParseOptions({"--json", "--bogus"}, &partial, &error));
  EXPECT_TRUE(partial.json);
}

TEST(TerminalExitTest, StatusesMapToTheDocumentedExitCodes) {
  const struct {
    OSStatus status;
    bool interrupted;
    TerminalExit exit;
    const char* name;
  } cases[] = {
      {0, false, kTerminalExitDone, "removed"},          {5362, false, kTerminalExitCancelled, "denied"},
      {5363, false, kTerminalExitCancelled, "cancelled"}, {-60007, false, kTerminalExitNoAuthentication, "no-authentication"},
      {5364, false, kTerminalExitFailed, "failed"},       {-4960, false, kTerminalExitFailed, "failed"},
      {5364, true, kTerminalExitCancelled, "cancelled"},  {0, true, kTerminalExitDone, "removed"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TerminalExitForStatus(c.status, c.interrupted), c.exit) << c.status;
    EXPECT_EQ(TerminalStatusName(c.exit, c.status, true), c.name) << c.status;
  }
  EXPECT_EQ(TerminalStatusName(kTerminalExitDone, 0, false), "not-installed");
}

TEST(TerminalJSONTest, EscapesStringsAndSeparatesMembers) {
  TerminalJSON json;
  json.BeginObject();
  json.Key("a\"b");
  json.String("q\" \\ \n\t\x01 \x7f ok \xC3\xA4 bad \xC3 \xFF end");
  json.Key("list");
  json.BeginArray();
  json.Number(-4960);
  json.Bool(false);
  json.Null();
  json.BeginObject();
  json.EndObject();
  json.EndArray();
  json.EndObject();
  EXPECT_EQ(json.Text(),
            "{\"a\\\"b\":\"q\\\" \\\\ \\n\\t\\u0001 \\u007f ok \xC3\xA4 bad \xEF\xBF\xBD \xEF\xBF\xBD end\","
            "\"list\":[-4960,false,null,{}]}");
}

TEST(TerminalLogTest, SummaryNamesThePathsOfRemovedKeptAndRefusedLines) {
  TerminalLogSummary summary;
  TerminalSummarizeLog("RemoveReceipted: removed /opt/quillon/bin/x\n"
                       "RemoveReceipted: removed folder /opt/quillon\n"
                       "RemoveReceipted: absent /etc/y\n"
                       "RemoveReceipted: kept folder /etc/udev: it holds other files\n"
                       "RemoveReceipted: refused /home/a/b: a link on the way\n"
                       "Uninstaller failed with error 5364 (0x000014f4)\n"
                       "PruneMIDI: removed the Quillon block from /etc/asound.conf",
                       "", &summary);
  TerminalSummarizeLog("PruneLoginItem: removed login item /home/a/.config/autostart/q.desktop\n", "a", &summary);
  ASSERT_EQ(summary.removed.size(), 4u);
  EXPECT_EQ(summary.removed[0].path, "/opt/quillon/bin/x");
  EXPECT_EQ(summary.removed[1].path, "/opt/quillon");
  EXPECT_EQ(summary.removed[2].path, "/etc/asound.conf");
  EXPECT_EQ(summary.removed[3].path, "/home/a/.config/autostart/q.desktop");
  EXPECT_EQ(summary.removed[3].user, "a");
  ASSERT_EQ(summary.kept.size(), 1u);
  EXPECT_EQ(summary.kept[0].path, "/etc/udev");
  ASSERT_EQ(summary.refused.size(), 1u);
  EXPECT_EQ(summary.refused[0].path, "/home/a/b");
  EXPECT_EQ(summary.refused[0].line, "RemoveReceipted: refused /home/a/b: a link on the way");
}

// The failure's number is for the log file: the terminal shows the steps.
TEST(TerminalLogTest, TheShownLogLeavesOutTheEnginesFailureNumber) {
  EXPECT_EQ(TerminalShownLog("RemoveReceipted: failed /opt/q: Permission denied\n"
                             "Uninstaller failed with error 5364 (0x000014f4)"),
            "RemoveReceipted: failed /opt/q: Permission denied\n");
  EXPECT_EQ(TerminalShownLog(""), "");
}

TEST(TerminalWrapTest, WrapsAtSpacesCountsCharactersAndBreaksLongWords) {
  EXPECT_EQ(TerminalWrap("aaa bbb ccc\n\ndd", 8), "aaa bbb\nccc\n\ndd");
  EXPECT_EQ(TerminalWrap("\xC3\xA4\xC3\xA4\xC3\xA4 \xC3\xB6\xC3\xB6", 8), "\xC3\xA4\xC3\xA4\xC3\xA4 \xC3\xB6\xC3\xB6");
  EXPECT_EQ(TerminalWrap("abcdefghijkl", 8), "abcdefgh\nijkl");
  EXPECT_EQ(TerminalWrap("a\tb\n", 80), "a       b\n");
}

// The program as it ships, where neither root nor a terminal is needed.
struct Ran {
  int exit = -1;
  std::string out, err;
};

Ran RunCommand(const std::vector<std::string>& arguments, const std::string& lang) {
  Ran ran;
  char outPath[] = "/tmp/qlterm-out-XXXXXX";
  char errPath[] = "/tmp/qlterm-err-XXXXXX";
  const int out = mkstemp(outPath), err = mkstemp(errPath);
  std::vector<std::string> argv = {std::string(QUILLON_BUNDLE_DIR) + "/quillon-uninstall"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  std::string langEntry = "LANG=" + lang;
  char* env[] = {const_cast<char*>("PATH=/usr/bin:/bin"), langEntry.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    ran.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  for (auto [fd, text] : {std::pair{out, &ran.out}, std::pair{err, &ran.err}}) {
    char buffer[4096];
    ssize_t got;
    lseek(fd, 0, SEEK_SET);
    while ((got = read(fd, buffer, sizeof buffer)) > 0) text->append(buffer, static_cast<size_t>(got));
    close(fd);
  }
  unlink(outPath);
  unlink(errPath);
  return ran;
}

TEST(TerminalProgramTest, AUsageErrorExitsWithTwoAndStillAnswersInJSON) {
  Ran bad = RunCommand({"--yes", "--bogus"}, "C.UTF-8");
  EXPECT_EQ(bad.exit, 2);
  EXPECT_NE(bad.err.find("unknown option --bogus"), std::string::npos) << bad.err;
  Ran json = RunCommand({"--json", "--restart", "--no-restart"}, "C.UTF-8");
  EXPECT_EQ(json.exit, 2);
  EXPECT_EQ(json.out, "{\"status\":\"usage-error\",\"exitCode\":2,\"changed\":false}\n");
}

}  // namespace
