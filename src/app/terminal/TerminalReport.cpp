// The end of a quillon-uninstall run: the log file, what is said on the
// terminal, the restart, and the JSON document.

#include "MoreUNIX.h"
#include "MoreUNIXText.h"
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
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace terminal {

namespace {

// What one user's part may print on root's terminal: its first and its last
// lines, with a line that counts what was left out between them.
constexpr size_t kUserPartLinesShown = 200;

}  // namespace

// ---- The end ------------------------------------------------------------------------------

int TerminalRun::Finish(TerminalExit exit, OSStatus status, const std::string& message) {
  RestoreTerminal();
  std::string log;
  TerminalLogSummary summary;
  for (const Part& part : fParts) {
    log += part.log;
    if (!log.empty() && log.back() != '\n') log += '\n';
    TerminalSummarizeLog(part.log, part.user, &summary);
  }
  const bool ran = !fParts.empty();
  const bool changed = !summary.removed.empty() || (ran && exit == kTerminalExitDone);
  std::string text = message;

  bool logWritten = false;
  if (ran && !fLogFile.empty()) {
    UninstallerRunResult run;
    run.status = status;
    run.log = log;
    run.diagnostics = fDiagnostics;
    const int err = UninstallerRecordRun(fLogFile, run);
    logWritten = err == 0;
    if (err != 0) {
      SayError(QString::fromStdString(Text("logNotWritten"))
                   .arg(QString::fromStdString(MoreUNIXSafeText(fLogFile)), QString::fromLocal8Bit(std::strerror(err)))
                   .toStdString());
    }
  }

  if (ran) {
    // A cancel's log is only the failure text: it goes to the log file.
    if (gInterrupted && fHumanIsTerminal) std::fputc('\n', fHuman);  // after "Password: "
    if (!fOptions.json && exit != kTerminalExitCancelled) {
      // A user's part may print anything and any amount: root's terminal
      // gets its head and tail; the log file keeps its own, larger cut.
      for (const Part& part : fParts) {
        // The failure's number goes to the log file, not onto the terminal.
        std::string shown = TerminalShownLog(part.log);
        if (!part.user.empty()) {
          shown = TerminalKeepHeadAndTail(shown, kUserPartLinesShown, kUserPartLinesShown, Text("linesLeftOut"));
        }
        if (!shown.empty() && shown.back() != '\n') shown += '\n';
        Say(shown);
      }
    }
    switch (exit) {
      case kTerminalExitDone:
        text = Text(fSystemPartRemoved ? "uninstallSucceeded" : "userPartRemoved");
        Say(text + "\n");
        break;
      case kTerminalExitCancelled:
        text = gInterrupted ? Text("terminalCancelled")
                            : Text(UninstallerOutcomeOf(status) == UninstallerOutcome::kDenied ? fDeniedKey
                                                                                                : "statusCanceled");
        SayError(text);
        break;
      case kTerminalExitNoAuthentication:
        text = Text("terminalNoAgent");
        SayError(text);
        break;
      default: {
        // What failed, where, what state things are in and what to do; the
        // number and the code's own trace are in the log file.
        const UninstallerFailureText failed = UninstallerDescribeFailure(fBundle, status, fLastFailure);
        text = (QStringList{failed.title} + failed.paragraphs).join(QLatin1Char(' ')).toStdString();
        SayError(text);
        break;
      }
    }
    // After a cancel or a denial nothing was removed: counts of nothing
    // would only suggest otherwise.
    if (exit != kTerminalExitCancelled) {
      Say(QString::fromStdString(Text("summaryTemplate"))
              .arg(summary.removed.size())
              .arg(summary.kept.size())
              .arg(summary.refused.size())
              .toStdString() +
          "\n");
    }
  }
  for (const NotHandled& user : fNotHandled) {
    const std::string line = QString::fromStdString(Text("userNotHandledTemplate"))
                                 .arg(QString::fromStdString(MoreUNIXSafeText(user.name)),
                                      QString::fromStdString(user.reason))
                                 .toStdString();
    if (fOptions.json) {
      Say(line + "\n");
    } else {
      std::fprintf(fHuman, "%s\n", line.c_str());  // never silent, not even with --quiet
    }
  }
  if (logWritten) Say(QString::fromStdString(Text("logFileNote")).arg(QString::fromStdString(fLogFile)).toStdString() + "\n");

  // The restart: advised when the system's part went, and only ever asked
  // for with --restart or an explicit yes.
  const bool restartNeeded = fSystemPartRemoved;
  if (restartNeeded) {
    Say(Text("restartMessage") + "\n");
    bool restart = fOptions.restart == TerminalRestart::kYes;
    if (fOptions.restart == TerminalRestart::kAsk && fInteractive && !fOptions.yes && !gInterrupted) {
      bool yes = false;
      restart = Ask(Text("restartQuestion"), false, &yes) && yes;
    }
    if (restart) fRestartRequested = RequestRestartNow();
  }
  UninstallerLockRelease(fLockFd);
  fLockFd = -1;

  if (fOptions.json) {
    TerminalJSON json;
    json.BeginObject();
    std::string name = TerminalStatusName(exit, status, changed);
    if (exit == kTerminalExitDone && !changed && !fNotHandled.empty()) name = "unchanged";
    json.Key("status");
    json.String(name);
    json.Key("exitCode");
    json.Number(exit);
    json.Key("changed");
    json.Bool(changed);
    json.Key("error");
    json.Number(status);
    json.Key("message");
    json.String(text);
    json.Key("restartNeeded");
    json.Bool(restartNeeded);
    json.Key("restartRequested");
    json.Bool(fRestartRequested);
    json.Key("log");
    json.BeginArray();
    for (const std::string& line : TerminalLines(log)) json.String(line);
    json.EndArray();
    const std::pair<const char*, const std::vector<TerminalLogItem>*> lists[] = {
        {"removed", &summary.removed}, {"kept", &summary.kept}, {"refused", &summary.refused}};
    for (const auto& [key, items] : lists) {
      json.Key(key);
      json.BeginArray();
      for (const TerminalLogItem& item : *items) {
        json.BeginObject();
        json.Key("path");
        json.String(item.path);
        json.Key("line");
        json.String(item.line);
        json.Key("user");
        if (item.user.empty()) {
          json.Null();
        } else {
          json.String(item.user);
        }
        json.EndObject();
      }
      json.EndArray();
    }
    json.Key("users");
    json.BeginArray();
    for (const Part& part : fParts) {
      if (part.user.empty()) continue;
      json.BeginObject();
      json.Key("name");
      json.String(part.user);
      json.Key("uid");
      json.Number(part.uid);
      json.Key("error");
      json.Number(part.status);
      json.EndObject();
    }
    json.EndArray();
    json.Key("usersNotHandled");
    json.BeginArray();
    for (const NotHandled& user : fNotHandled) {
      json.BeginObject();
      json.Key("name");
      json.String(user.name);
      json.Key("uid");
      json.Number(user.uid);
      json.Key("reason");
      json.String(user.reason);
      json.EndObject();
    }
    json.EndArray();
    json.Key("logFile");
    if (logWritten) {
      json.String(fLogFile);
    } else {
      json.Null();
    }
    json.EndObject();
    std::fflush(stdout);
    std::string document = json.Text() + "\n";
    size_t written = 0;
    while (written < document.size()) {
      const ssize_t n = write(STDOUT_FILENO, document.data() + written, document.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      written += static_cast<size_t>(n);
    }
  }
  return exit;
}

}  // namespace terminal
