// quillon-uninstall's command line, exit codes, JSON, log summary,
// wrapping and list of what goes, and the program's usage errors.
#include "TerminalPreview.h"
#include "TerminalSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(TerminalOptionsTest, ReadsEveryOptionAndRefusesWhatContradicts) {
  TerminalOptions options;
  std::string error;
  ASSERT_TRUE(TerminalParseOptions({"--yes", "--keep-midi-devices", "--no-restart", "--json", "-q", "--user", "alice",
                                    "--user=bob", "--user", "alice", "--dry-run"},
                                   &options, &error))
      << error;
  EXPECT_TRUE(options.yes && options.keepMidiDevices && options.json && options.quiet && options.dryRun);
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
  json.String("q\" \\ \n\t\x01 \x7f ok \xC3\xA4 bad \xC3 \xFF \x1b]0;t\x07 \xC2\x9B" "2J \x9b" "2J end");
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
            "{\"a\\\"b\":\"q\\\" \\\\ \\n\\t\\\\x01 \\\\x7f ok \xC3\xA4 bad \\\\xc3 \\\\xff "
            "\\\\x1b]0;t\\\\x07 \\\\u009b2J \\\\x9b2J end\","
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

TEST(TerminalLogTest, AUserPartsFloodKeepsItsHeadAndTailAndCountsTheRest) {
  std::string flood;
  for (int i = 1; i <= 1000; i++) flood += "line " + std::to_string(i) + "\n";
  const std::string shown = TerminalKeepHeadAndTail(flood, 200, 200, "[... %1 lines left out ...]");
  const std::vector<std::string> lines = TerminalLines(shown);
  ASSERT_EQ(lines.size(), 401u);
  EXPECT_EQ(lines[199], "line 200");
  EXPECT_EQ(lines[200], "[... 600 lines left out ...]");
  EXPECT_EQ(lines[201], "line 801");
  EXPECT_EQ(lines[400], "line 1000");
  EXPECT_EQ(TerminalKeepHeadAndTail("a\nb", 1, 1, "%1"), "a\nb");  // short enough: unchanged
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
  // Japanese: two columns a character, rows end between characters but not
  // before a closing mark, and a space still counts as a place to break.
  EXPECT_EQ(TerminalWrap("\u3042\u3044\u3046\u3048\u304A\u304B", 8), "\u3042\u3044\u3046\u3048\n\u304A\u304B");
  EXPECT_EQ(TerminalWrap("\u3042\u3044\u3046\u3048\u3002\u304B", 8), "\u3042\u3044\u3046\n\u3048\u3002\u304B");
  EXPECT_EQ(TerminalWrap("abcdef \u3042\u3044", 8), "abcdef\n\u3042\u3044");
}

// The program as it ships, where neither root nor a terminal is needed.
struct Ran {
  int exit = -1;
  std::string out, err;
};

Ran RunCommand(const std::vector<std::string>& arguments, std::vector<std::string> environment) {
  Ran ran;
  char outPath[] = "/tmp/qlterm-out-XXXXXX";
  char errPath[] = "/tmp/qlterm-err-XXXXXX";
  const int out = mkstemp(outPath), err = mkstemp(errPath);
  std::vector<std::string> argv = {std::string(QUILLON_BUNDLE_DIR) + "/quillon-uninstall"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  environment.push_back("PATH=/usr/bin:/bin");
  std::vector<char*> env;
  for (std::string& entry : environment) env.push_back(entry.data());
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0) {
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

Ran RunCommand(const std::vector<std::string>& arguments, const std::string& lang) {
  return RunCommand(arguments, std::vector<std::string>{"LANG=" + lang});
}

TEST(TerminalProgramTest, AUsageErrorExitsWithTwoAndStillAnswersInJSON) {
  Ran bad = RunCommand({"--yes", "--bogus"}, "C.UTF-8");
  EXPECT_EQ(bad.exit, 2);
  EXPECT_NE(bad.err.find("unknown option --bogus"), std::string::npos) << bad.err;
  Ran json = RunCommand({"--json", "--restart", "--no-restart"}, "C.UTF-8");
  EXPECT_EQ(json.exit, 2);
  EXPECT_EQ(json.out, "{\"status\":\"usage-error\",\"exitCode\":2,\"changed\":false}\n");
  // In the user's language, with what was typed shown safely.
  const struct {
    const char* lang;
    const char* reason;
    const char* tryHelp;
  } languages[] = {
      {"C.UTF-8", "quillon-uninstall: unknown option --bo\\x1b[2Jgus\n",
       "Try 'quillon-uninstall --help' for more information.\n"},
      {"de_DE.UTF-8", "quillon-uninstall: unbekannte Option --bo\\x1b[2Jgus\n",
       "\u201equillon-uninstall --help\u201c liefert weitere Informationen.\n"},
      {"fr_FR.UTF-8", "quillon-uninstall: option inconnue --bo\\x1b[2Jgus\n",
       "Saisissez \u00ab\u00a0quillon-uninstall --help\u00a0\u00bb pour plus d\u2019informations.\n"},
      {"es_ES.UTF-8", "quillon-uninstall: opci\u00f3n desconocida --bo\\x1b[2Jgus\n",
       "Pruebe 'quillon-uninstall --help' para m\u00e1s informaci\u00f3n.\n"},
      {"it_IT.UTF-8", "quillon-uninstall: opzione sconosciuta --bo\\x1b[2Jgus\n",
       "Usare 'quillon-uninstall --help' per maggiori informazioni.\n"},
      {"ja_JP.UTF-8", "quillon-uninstall: \u4e0d\u660e\u306a\u30aa\u30d7\u30b7\u30e7\u30f3\u3067\u3059: --bo\\x1b[2Jgus\n",
       "\u8a73\u3057\u304f\u306f 'quillon-uninstall --help' \u3092\u5b9f\u884c\u3057\u3066\u304f\u3060\u3055\u3044\u3002\n"},
  };
  for (const auto& c : languages) {
    SCOPED_TRACE(c.lang);
    Ran unknown = RunCommand({"--bo\x1b[2Jgus"}, c.lang);
    EXPECT_EQ(unknown.exit, 2);
    EXPECT_EQ(unknown.err, std::string(c.reason) + c.tryHelp);
  }
  Ran conflict = RunCommand({"--restart", "--no-restart"}, "it_IT.UTF-8");
  EXPECT_NE(conflict.err.find("--restart e --no-restart si escludono a vicenda\n"), std::string::npos) << conflict.err;
}

// The help speaks the user's language, chosen the way gettext chooses it:
// the LANGUAGE list first, then LC_ALL, LC_MESSAGES and LANG; English in the
// C locale, whatever LANGUAGE says, and for a language the program lacks.
TEST(TerminalProgramTest, TheHelpIsInTheLanguageTheDesktopsProgramsWouldChoose) {
  const struct {
    std::vector<std::string> environment;
    const char* begins;
  } cases[] = {
      {{"LANG=C.UTF-8"}, "Usage: "},
      {{"LANG=de_DE.UTF-8"}, "Aufruf: "},
      {{"LANG=fr_FR.UTF-8"}, "Utilisation\u00a0: "},
      {{"LANG=es_ES.UTF-8"}, "Modo de empleo: "},
      {{"LANG=it_IT.UTF-8"}, "Uso: "},
      {{"LANG=ja_JP.UTF-8"}, "\u4f7f\u7528\u6cd5: "},
      {{"LANGUAGE=pt:it:fr", "LANG=fr_FR.UTF-8"}, "Uso: "},
      {{"LC_MESSAGES=ja_JP.UTF-8", "LANG=de_DE.UTF-8"}, "\u4f7f\u7528\u6cd5: "},
      {{"LC_ALL=es_ES.UTF-8", "LC_MESSAGES=de_DE.UTF-8"}, "Modo de empleo: "},
      {{"LC_ALL=C", "LANGUAGE=de", "LANG=de_DE.UTF-8"}, "Usage: "},
      {{"LANGUAGE=de"}, "Usage: "},
      {{"LANG=pt_BR.UTF-8"}, "Usage: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment.front() + (c.environment.size() > 1 ? " " + c.environment[1] : ""));
    Ran help = RunCommand({"--help"}, c.environment);
    EXPECT_EQ(help.exit, 0) << help.err;
    EXPECT_EQ(help.out.rfind(c.begins, 0), 0u) << help.out;
    // Every option the program reads, each in a line of its own.
    const std::string usage = TerminalUsage();
    for (size_t at = usage.find("\n  "); at != std::string::npos; at = usage.find("\n  ", at + 1)) {
      const size_t option = usage.find("--", at);
      const std::string name = usage.substr(option, usage.find_first_of(" \n", option) - option);
      EXPECT_NE(help.out.find(" " + name + " "), std::string::npos) << name << " is not in\n" << help.out;
    }
  }
  // The run's own messages too: as a user, --user needs root; as root, the
  // name is looked up.
  Ran user = RunCommand({"--yes", "--user", "no-such-user-qlterm"}, "it_IT.UTF-8");
  EXPECT_EQ(user.exit, 2);
  EXPECT_NE(user.err.find(geteuid() == 0 ? "utente inesistente: no-such-user-qlterm"
                                         : "--user e --all-users richiedono root"),
            std::string::npos)
      << user.err;
}

// A set-user-ID root copy, run by a user, refuses: in the user's language,
// which it can only read once it has given up root (Qt would end it before).
TEST(TerminalProgramTest, ASetUserIDCopyRefusesInTheUsersLanguage) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: makes a set-user-ID root copy";
  char folder[] = "/tmp/qlterm-suid-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  ASSERT_EQ(chmod(folder, 0755), 0);
  const std::string bundle = std::string(folder) + "/Uninstaller.bundle";
  std::filesystem::copy(QUILLON_BUNDLE_DIR, bundle, std::filesystem::copy_options::recursive);
  ASSERT_EQ(chmod((bundle + "/quillon-uninstall").c_str(), 04755), 0);
  const uid_t nobody = 65534;
  int err[2];
  ASSERT_EQ(pipe(err), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(err[1], 2);
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(125);
    const std::string program = bundle + "/quillon-uninstall";
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--version"), nullptr};
    char* envp[] = {const_cast<char*>("LANG=es_ES.UTF-8"), const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
    execve(argv[0], argv, envp);
    _exit(127);
  }
  close(err[1]);
  std::string said;
  char buffer[4096];
  for (ssize_t got; (got = read(err[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(got));
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  std::filesystem::remove_all(folder);
  // 1 when refused; a volume that ignores set-user-ID would run it as nobody.
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << said;
  EXPECT_EQ(said, "quillon-uninstall: no debe ejecutarse con set-user-ID; ejecútelo con su propio usuario o como root\n");
}

// Reads what the program writes on its terminal until |want| has appeared
// |times| times in all of it, or with an empty |want| until the program has
// ended; false after ten seconds without it.
bool ReadTerminal(int master, std::string* screen, const std::string& want, int times) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    int seen = 0;
    for (size_t at = screen->find(want); !want.empty() && at != std::string::npos; at = screen->find(want, at + 1)) {
      seen++;
    }
    if (!want.empty() && seen >= times) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd in = {master, POLLIN, 0};
    if (poll(&in, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) return want.empty();  // EIO: the terminal's other side is closed
    screen->append(buffer, static_cast<size_t>(got));
  }
}

// The questions and their letters are the user's language's, and the
// default's letter, shown as a capital, may be typed as one.
TEST(TerminalProgramTest, TheQuestionsAreInTheUsersLanguageAndTakeItsLettersInEitherCase) {
  const struct {
    const char* lang;
    const char* prompt;
    const char* yes;
    const char* cancelled;
  } cases[] = {
      {"C.UTF-8", "[Y/n]", "Y", "Cancelled."},
      {"de_DE.UTF-8", "[J/n]", "J", "Abgebrochen."},
      {"fr_FR.UTF-8", "[O/n]", "O", "Annul\u00e9."},
      {"es_ES.UTF-8", "[S/n]", "S", "Cancelado."},
      {"it_IT.UTF-8", "[S/n]", "S", "Annullato."},
      {"ja_JP.UTF-8", "[Y/n]", "Y", "\u30ad\u30e3\u30f3\u30bb\u30eb\u3057\u307e\u3057\u305f"},
  };
  // As root the program would look for every user's part; as a user it asks.
  const uid_t nobody = 65534;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lang);
    char folder[] = "/tmp/qlterm-home-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string home = folder;
    // Only the user's own part is installed.
    for (const std::string& path : {home, home + "/.local", home + "/.local/share", home + "/.local/share/quillon"}) {
      ASSERT_TRUE(mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) << path;
      if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), nobody, nobody), 0) << path;
      }
    }
    std::vector<std::string> argv = {std::string(QUILLON_BUNDLE_DIR) + "/quillon-uninstall", "--no-restart"};
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + home, std::string("LANG=") + c.lang, "PAGER=cat",
                                    "TERM=dumb"};
    std::vector<char*> args, envp;
    for (std::string& a : argv) args.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(125);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    std::string screen;
    // The MIDI question, answered with the capital; then a warning's
    // question, answered no.
    const bool asked = ReadTerminal(master, &screen, c.prompt, 1);
    const std::string yes = std::string(c.yes) + "\n";
    const bool askedAgain =
        asked && write(master, yes.data(), yes.size()) > 0 && ReadTerminal(master, &screen, c.prompt, 2);
    const bool ended = askedAgain && write(master, "n\n", 2) == 2 && ReadTerminal(master, &screen, std::string(), 0);
    if (!ended) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    std::filesystem::remove_all(home);
    EXPECT_TRUE(asked && askedAgain && ended) << screen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << screen;
    EXPECT_NE(screen.find(c.cancelled), std::string::npos) << screen;
  }
}

}  // namespace

// The list before the questions: cut at the bound with the count of the
// rest, login items and ALSA blocks named, and the accounts left out.
TEST(TerminalPreviewTest, ACutListSaysHowManyMoreAndNamesWhatIsNotAPlainFile) {
  const std::map<std::string, std::string> texts = {
      {"previewHeading", "REMOVED:"},       {"previewNothing", "nothing"},
      {"previewSystemPart", "system %1/%2"}, {"previewUserPartOf", "%1 %2/%3"},
      {"previewLoginItem", "%1 (login)"},    {"previewAlsaBlock", "block in %1"},
      {"previewMore", "+%1"},                {"previewFoldersNote", "folders note"},
      {"previewNote", "note: %1"},           {"previewUserLeftOut", "stays %1: %2"}};
  const TerminalTextLookup text = [&](const char* key) { return texts.at(key); };
  std::vector<TerminalPreviewPart> parts(2);
  parts[0].system = true;
  parts[0].preview.items = {{UninstallerPreviewKind::kFolder, "/opt/q"},
                            {UninstallerPreviewKind::kFile, "/opt/q/a"},
                            {UninstallerPreviewKind::kAlsaBlock, "/etc/asound.conf"}};
  parts[1].user = "ann";
  parts[1].preview.items = {{UninstallerPreviewKind::kLoginItem, "/home/ann/.config/autostart/quillon-a.desktop"}};
  parts[1].preview.notes = {"would refuse /x"};
  const std::vector<TerminalLeftOut> leftOut = {{"bob", 1001, "not chosen"}};
  EXPECT_EQ(TerminalPreviewText(parts, leftOut, 2, text),
            "REMOVED:\nsystem 1/1\n  /opt/q/\n  /opt/q/a\n  +1\n"
            "ann 1/0\n  /home/ann/.config/autostart/quillon-a.desktop (login)\n"
            "folders note\nnote: would refuse /x\nstays bob: not chosen\n");
  EXPECT_NE(TerminalPreviewText(parts, {}, 0, text).find("  block in /etc/asound.conf\n"), std::string::npos);
  EXPECT_EQ(TerminalPreviewText({}, {}, 0, text), "nothing\n");
}
