// quillon-uninstall's questions: the read-me through the reader's pager,
// the MIDI question and the warnings as [Y/n] prompts.

#include "MoreUNIX.h"
#include "ProductLayout.h"
#include "RestartRequest.h"
#include "TerminalAccounts.h"
#include "TerminalAgent.h"
#include "TerminalRun.h"
#include "TerminalSupport.h"
#include "UninstallerStatusFormat.h"

#include <AppKit/NSBundle.h>
#include <AppKit/RTFParser.h>
#include <UninstallerEngine.h>
#include <UninstallerFlow.h>
#include <UninstallerRunLog.h>
#include <UninstallerSession.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace terminal {

namespace {

// The read-me is a few pages; anything far bigger is not ours.
constexpr qint64 kMaxReadMeBytes = 4 * 1024 * 1024;
// How many paths of each part the list before the questions shows.
constexpr size_t kPreviewPathsShown = 20;

}  // namespace

// ---- Questions --------------------------------------------------------------------------

bool TerminalRun::Ask(const std::string& question, bool defaultYes, bool* answer) {
  const std::string yesLetters = Text("yesLetters");
  for (int attempt = 0; attempt < 5; attempt++) {
    std::fprintf(fHuman, "%s %s ", question.c_str(), Text(defaultYes ? "yesNoDefaultYes" : "yesNoDefaultNo").c_str());
    std::fflush(fHuman);
    std::string line;
    for (;;) {
      // poll, not a bare read: a Ctrl-C must end the wait, whatever SA_RESTART says.
      pollfd in = {STDIN_FILENO, POLLIN, 0};
      const int ready = poll(&in, 1, -1);
      if (gInterrupted) {
        std::fputc('\n', fHuman);
        return false;
      }
      if (ready < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      char c;
      const ssize_t got = read(STDIN_FILENO, &c, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // end of input: nobody to answer
      if (c == '\n') break;
      if (line.size() < 256) line += c;
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
      *answer = defaultYes;
      return true;
    }
    // Either case: the prompt shows the default's letter in capitals. Only
    // single-byte letters count, so that no byte of a longer character does.
    const unsigned char typed = static_cast<unsigned char>(line[start]);
    const char first = typed < 0x80 ? static_cast<char>(std::tolower(typed)) : '\0';
    if (first == 'y' || (first != '\0' && yesLetters.find(first) != std::string::npos)) {
      *answer = true;
      return true;
    }
    if (first == 'n') {
      *answer = false;
      return true;
    }
  }
  return false;
}

bool TerminalRun::ShowReadMe() {
  QString path = fBundle.pathForResource_ofType_(QStringLiteral("readme"), QStringLiteral("rtf"));
  QFile file(path);
  if (path.isNull() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxReadMeBytes) return false;
  QString plain;
  if (!RTFReadPlainText(file.read(kMaxReadMeBytes), &plain)) return false;
  size_t width = 80;
  struct winsize size = {};
  if (ioctl(fileno(fHuman), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) width = size.ws_col;
  if (width > 100) width = 100;
  // The read-me is the window's: it speaks of its button and its box, which
  // here are the questions that follow.
  const std::string text = TerminalWrap(Text("terminalReadMeNote"), width - 1) + "\n\n" +
                           TerminalWrap(plain.toStdString(), width - 1) + "\n";
  if (!fHumanIsTerminal) {
    std::fputs(text.c_str(), fHuman);
    return true;
  }
  // Through the reader's pager, as git and man do.
  const char* pager = std::getenv("PAGER");
  std::string command = pager != nullptr && pager[0] != '\0' ? pager : "less";
  int feed[2];
  if (pipe2(feed, O_CLOEXEC) != 0) return false;
  const MoreUNIXSpawnDescriptor descriptors[] = {{feed[0], STDIN_FILENO}, {fileno(fHuman), STDOUT_FILENO}};
  const int defaults[] = {SIGPIPE};
  const MoreUNIXSpawnOptions options = {descriptors, 2, defaults, 1, nullptr};
  if (std::getenv("LESS") == nullptr) setenv("LESS", "FRX", 1);
  // How to get out of the pager and on to the questions, said before it opens.
  std::fprintf(fHuman, "%s\n", Text("terminalPagerHint").c_str());
  std::fflush(fHuman);
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), command.data(), nullptr};
  pid_t pid = -1;
  const int err = MoreUNIXSpawn("/bin/sh", argv, environ, &options, &pid);
  (void) close(feed[0]);
  if (err != 0) {
    (void) close(feed[1]);
    std::fputs(text.c_str(), fHuman);
    return true;
  }
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(feed[1], text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the reader quit early
    written += static_cast<size_t>(n);
  }
  (void) close(feed[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // A Ctrl-C inside the pager was the pager's.
  gInterrupted = 0;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) std::fputs(text.c_str(), fHuman);  // no such pager
  return true;
}

// What each part would lose now, asked of the bundle's tools: the system's
// part, then the running user's own (|users| null: the user script runs in
// every user's run, receipts or not) or each chosen account's, run as that
// account.
std::vector<TerminalPreviewPart> TerminalRun::Preview(bool systemPart, Boolean removeMidi,
                                                      std::vector<TerminalAccount>* users) {
  std::vector<TerminalPreviewPart> parts;
  if (systemPart) {
    parts.emplace_back();
    parts.back().system = true;
    (void) UninstallerPreview(true, removeMidi, nullptr, &parts.back().preview);
  }
  if (users == nullptr) {
    parts.emplace_back();
    parts.back().uid = getuid();
    (void) UninstallerPreview(false, removeMidi, nullptr, &parts.back().preview);
    return parts;
  }
  const std::string lang = std::getenv("LANG") != nullptr ? std::getenv("LANG") : "";
  for (TerminalAccount& account : *users) {
    parts.emplace_back();
    TerminalPreviewPart& part = parts.back();
    part.user = account.name;
    part.uid = account.uid;
    UninstallerUserAccount engineAccount = {};
    if (!account.Prepare(lang, &engineAccount)) {
      part.preview.notes.push_back(Text("reasonNoGroups"));
      continue;
    }
    (void) UninstallerPreview(false, removeMidi, &engineAccount, &part.preview);
  }
  return parts;
}

std::vector<TerminalLeftOut> TerminalRun::LeftOut() const {
  std::vector<TerminalLeftOut> leftOut;
  for (const NotHandled& user : fNotHandled) leftOut.push_back({user.name, user.uid, user.reason});
  return leftOut;
}

// --dry-run: the whole list, on standard output or as JSON, and nothing
// else: no lock, no question, no password, no helper tool.
int TerminalRun::DryRun(bool systemPart, std::vector<TerminalAccount>* users) {
  const bool removeMidi = !fOptions.keepMidiDevices;
  const std::vector<TerminalPreviewPart> parts = Preview(systemPart, removeMidi, users);
  const std::vector<TerminalLeftOut> leftOut = LeftOut();
  if (!fOptions.json) {
    std::string text =
        TerminalPreviewText(parts, leftOut, 0, [this](const char* key) { return Text(key); });
    std::fprintf(fHuman, "%s%s\n", text.c_str(), Text("dryRunNote").c_str());
    return kTerminalExitDone;
  }
  TerminalJSON json;
  json.BeginObject();
  json.Key("status");
  json.String("dry-run");
  json.Key("exitCode");
  json.Number(kTerminalExitDone);
  json.Key("changed");
  json.Bool(false);
  json.Key("wouldChange");
  json.Bool(TerminalPreviewRemovesSomething(parts));
  json.Key("removeMidiDevices");
  json.Bool(removeMidi);
  json.Key("restartNeeded");
  json.Bool(systemPart);
  TerminalPreviewJSON(parts, leftOut, &json);
  json.EndObject();
  std::fflush(fHuman);
  std::fputs((json.Text() + "\n").c_str(), stdout);
  std::fflush(stdout);
  return kTerminalExitDone;
}

// The read-me, the MIDI question, what will be removed, and the warnings.
// False when the user said no, or could not answer.
bool TerminalRun::Confirm(bool systemPart, std::vector<TerminalAccount>* users, bool* removeMidi) {
  *removeMidi = !fOptions.keepMidiDevices;
  if (fOptions.yes) return true;
  if (!fOptions.quiet && !fOptions.json) ShowReadMe();
  if (!fOptions.keepMidiDevices && !Ask(Text("midiQuestion"), true, removeMidi)) return false;
  // As apt does, the list comes before the question; the ALSA blocks are in
  // it only once the MIDI answer is known. A long list is cut short here:
  // --dry-run shows it whole.
  const std::vector<TerminalPreviewPart> parts = Preview(systemPart, *removeMidi, users);
  std::fprintf(fHuman, "\n%s",
               TerminalPreviewText(parts, LeftOut(), kPreviewPathsShown, [this](const char* key) {
                 return Text(key);
               }).c_str());
  UninstallerPlan plan;
  plan.systemPart = systemPart;
  plan.userPartOnly = !systemPart;
  for (const UninstallerWarning& warning : UninstallerWarningsFor(plan, *removeMidi)) {
    std::fprintf(fHuman, "\n%s\n%s", Text(warning.titleKey).c_str(),
                 TerminalWrap(Text(warning.messageKey), 79).c_str());
    std::fputs("\n", fHuman);
    bool yes = false;
    if (!Ask(Text("proceedQuestion"), true, &yes) || !yes) return false;
  }
  return true;
}

}  // namespace terminal
