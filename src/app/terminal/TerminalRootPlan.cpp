// quillon-uninstall run as root: the users whose parts go, and why the
// others stay; then the system's part and each user's own, as that user.

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

// Where a root run keeps its log: root's own, outside every user's reach.
const char kRootLogFile[] = "/var/log/quillon-uninstall.log";

}  // namespace

void TerminalRun::PrepareRootEnvironment() {
  // Root's own folders for the helper tool and the log, whatever the
  // environment of whoever made us root says.
  TerminalAccount root;
  if (TerminalAccountWithUID(0, &root)) setenv("HOME", root.home.c_str(), 1);
  for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                           "TMPDIR"}) {
    unsetenv(name);
  }
}

int TerminalRun::RunAsRoot() {
  PrepareRootEnvironment();
  const bool systemPart =
      (UninstallerInstalledPartsIn(quillon::kSystemReceiptsDir, std::string()) & kUninstallerSystemPart) != 0;
  std::vector<TerminalAccount> withPart = TerminalAccountsWithUserPart();

  // The users chosen: every one with a part, the named ones, or the one who
  // called us through sudo or pkexec.
  std::vector<TerminalAccount> chosen;
  if (fOptions.allUsers) {
    chosen = withPart;
  } else {
    std::vector<std::string> names = fOptions.users;
    TerminalAccount invoking;
    if (names.empty() && TerminalInvokingAccount(&invoking)) names.push_back(invoking.name);
    for (const std::string& name : names) {
      TerminalAccount account;
      if (!TerminalAccountNamed(name, &account)) {
        const std::string noSuchUser =
            QString::fromStdString(Text("terminalNoSuchUser")).arg(QString::fromStdString(MoreUNIXSafeText(name))).toStdString();
        SayError(noSuchUser);
        return Finish(kTerminalExitUsage, noErr, noSuchUser);
      }
      if (TerminalUserPartOf(account) == TerminalUserPart::kNone) {
        Say(QString::fromStdString(Text("userHasNoPart")).arg(QString::fromStdString(MoreUNIXSafeText(name))).toStdString() +
            "\n");
        continue;
      }
      chosen.push_back(account);
    }
  }
  std::vector<TerminalAccount> users;
  for (const TerminalAccount& account : chosen) {
    switch (TerminalUserPartOf(account)) {
      case TerminalUserPart::kInstalled:
        users.push_back(account);
        break;
      case TerminalUserPart::kNotOwnHome:
        fNotHandled.push_back({account.name, account.uid, Text("reasonHomeNotOwn")});
        break;
      case TerminalUserPart::kUnreadable:
        fNotHandled.push_back({account.name, account.uid, Text("reasonUnreadable")});
        break;
      case TerminalUserPart::kNone:
        break;
    }
  }
  for (const TerminalAccount& account : withPart) {
    const bool isChosen = std::any_of(chosen.begin(), chosen.end(),
                                      [&](const TerminalAccount& c) { return c.home == account.home; });
    if (!isChosen) {
      fNotHandled.push_back({account.name, account.uid,
                             QString::fromStdString(Text("reasonNotChosen"))
                                 .arg(QString::fromStdString(account.name))
                                 .toStdString()});
    }
  }

  if (!systemPart && users.empty()) {
    if (fNotHandled.empty()) Say(Text("notInstalledTitle") + "\n");
    return Finish(kTerminalExitDone, noErr, fNotHandled.empty() ? Text("notInstalledTitle") : std::string());
  }
  if (fOptions.dryRun) return DryRun(systemPart, &users);
  if (!fOptions.yes && !fInteractive) return RefuseToAsk();
  bool removeMidi = true;
  if (!Confirm(systemPart, &users, &removeMidi)) {
    Say(Text("terminalCancelled") + "\n");
    return Finish(kTerminalExitCancelled, noErr, Text("terminalCancelled"));
  }
  fLogFile = kRootLogFile;
  return RunParts(removeMidi, systemPart, users);
}

int TerminalRun::RunParts(Boolean removeMidi, bool systemPart, std::vector<TerminalAccount>& users) {
  // No key on this terminal may stop a root removal half-way.
  HoldTerminalSignals();
  OSStatus first = noErr;
  if (systemPart) {
    UninstallerEngineOptions options = {};
    options.systemPartOnly = true;
    Part part;
    part.status = RunEngine(removeMidi, options, false, std::string(), &part.log);
    first = part.status;
    fSystemPartRemoved = part.status == noErr;
    fParts.push_back(part);
  }
  const std::string lang = std::getenv("LANG") != nullptr ? std::getenv("LANG") : "";
  const bool systemPartFailed = first != noErr;
  // A signal while the system's part ran (no key could send one) ends the run.
  const bool stoppedBeforeUsers = gInterrupted != 0;
  AllowOnlyCtrlC();
  for (TerminalAccount& account : users) {
    if (systemPartFailed) {
      // As with the window: no user's part after a failed system part.
      fNotHandled.push_back({account.name, account.uid, Text("reasonSystemPartFailed")});
      continue;
    }
    if (stoppedBeforeUsers || (gInterrupted != 0 && gInterrupted != SIGINT)) {
      // A hang-up or a kill ends the run: no further user's part starts.
      fNotHandled.push_back({account.name, account.uid, Text("reasonSkipped")});
      continue;
    }
    UninstallerUserAccount engineAccount = {};
    if (!account.Prepare(lang, &engineAccount)) {
      fNotHandled.push_back({account.name, account.uid, Text("reasonNoGroups")});
      continue;
    }
    UninstallerEngineOptions options = {};
    options.userPartOnly = true;
    options.userAccount = &engineAccount;
    Part part;
    part.user = account.name;
    part.uid = account.uid;
    part.log = "quillon-uninstall: the own part of " + MoreUNIXSafeText(account.name) + " (uid " +
               std::to_string(account.uid) + "), run as that user\n";
    std::string log;
    std::atomic<bool> skip{false};
    part.status = RunEngine(removeMidi, options, false, account.name, &log, &skip);
    part.log += log;
    if (skip.load() && part.status == ECANCELED) {
      // Not a failure of the run: the administrator chose to leave it.
      fNotHandled.push_back({account.name, account.uid, Text("reasonSkipped")});
    } else if (part.status != noErr && first == noErr) {
      first = part.status;
    }
    fParts.push_back(part);
  }
  return Finish(TerminalExitForStatus(first, gInterrupted != 0), first, std::string());
}

}  // namespace terminal
