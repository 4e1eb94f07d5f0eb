#include "TerminalUninstall.h"

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
#include <Authorization.h>
#include <UninstallerFlow.h>
#include <UninstallerPolicy.h>
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

extern char** environ;

namespace terminal {

namespace {

// As sudo: three tries at the password.
constexpr int kPasswordAttempts = 3;

}  // namespace

volatile sig_atomic_t gInterrupted = 0;

namespace {

void OnInterrupt(int sig) { gInterrupted = sig; }

// Ctrl-C, a hang-up or a polite kill: noted, so that the engine's clean-up
// still runs and the run ends as cancelled.
void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) (void) sigaction(sig, &action, nullptr);
}

}  // namespace

// ---- The engine ---------------------------------------------------------------------------

void TerminalRun::PrivilegedToolRunning(void* context) {
  auto* self = static_cast<TerminalRun*>(context);
  std::lock_guard<std::mutex> lock(self->fMutex);
  self->fRemoving = true;
  self->fChanged.notify_all();
}

void TerminalRun::HelperToolStarted(pid_t pid, void* context) {
  // pkexec asks polkit about this process: the agent must be registered
  // for it before the tool is sent anything.
  auto* self = static_cast<TerminalRun*>(context);
  const int err = self->fAgent.Start(pid);
  if (err != 0) {
    // pkexec will then say that no agent could ask; this says why.
    std::fprintf(stderr, "quillon-uninstall: no password prompt on the terminal: pkttyagent: %s\n", std::strerror(err));
  }
}

// Once the removal runs as root, Ctrl-C must not stop it half-way: the
// terminal stops turning keys into defaults until the run is over.
void TerminalRun::HoldTerminalSignals() {
  if (fTerminal >= 0) return;
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return;
  struct termios settings;
  if (tcgetattr(tty, &fSavedTerminal) != 0) {
    (void) close(tty);
    return;
  }
  settings = fSavedTerminal;
  settings.c_lflag &= static_cast<tcflag_t>(~ISIG);
  (void) tcsetattr(tty, TCSANOW, &settings);
  fTerminal = tty;
}

void TerminalRun::RestoreTerminal() {
  if (fTerminal < 0) return;
  // Also puts back the echo that an interrupted password prompt left off,
  // and drops what was typed meanwhile.
  (void) tcsetattr(fTerminal, TCSAFLUSH, &fSavedTerminal);
  (void) close(fTerminal);
  fTerminal = -1;
}

// While users' parts run, Ctrl-C is the administrator's way to skip one
// that hangs: the terminal turns that key alone into a signal again.
void TerminalRun::AllowOnlyCtrlC() {
  if (fTerminal < 0) return;
  struct termios settings = fSavedTerminal;
  settings.c_lflag |= ISIG;
  settings.c_cc[VQUIT] = _POSIX_VDISABLE;
  settings.c_cc[VSUSP] = _POSIX_VDISABLE;
  (void) tcsetattr(fTerminal, TCSANOW, &settings);
}

OSStatus TerminalRun::RunEngine(Boolean removeMidi, const UninstallerEngineOptions& base, bool askPassword,
                                const std::string& whose, std::string* log, std::atomic<bool>* skip) {
  UninstallerEngineOptions options = base;
  options.skipUserPart = skip;
  // A Ctrl-C from before this part started is not meant for it.
  if (skip != nullptr && gInterrupted == SIGINT) gInterrupted = 0;
  options.privilegedToolRunning = &TerminalRun::PrivilegedToolRunning;
  options.helperToolStarted = nullptr;
  options.context = this;
  // The terminal's own settings, to put back whatever the prompt does.
  struct termios before = {};
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  const bool haveTerminal = tty >= 0 && tcgetattr(tty, &before) == 0;
  if (askPassword && haveTerminal) options.helperToolStarted = &TerminalRun::HelperToolStarted;
  fRemoving = !askPassword;

  std::string removing = Text("removingQuillon") + (whose.empty() ? "" : " (" + MoreUNIXSafeText(whose) + ")");
  if (skip != nullptr && fInteractive) removing += " " + Text("ctrlCSkips");
  if (askPassword) Say(Text("waitingForAuthorization") + "\n");

  bool done = false;
  UninstallerRunResult result;
  UninstallerWorker engine;
  const bool started = engine.Start(UninstallerRunEngine, removeMidi, options, [&](const UninstallerRunResult& ran) {
    std::lock_guard<std::mutex> lock(fMutex);
    result = ran;
    done = true;
    fChanged.notify_all();
  });
  if (!started) {
    result.status = EAGAIN;
    done = true;
  }

  const auto start = std::chrono::steady_clock::now();
  bool shownRemoving = false;
  {
    std::unique_lock<std::mutex> lock(fMutex);
    while (!done) {
      if (skip != nullptr && gInterrupted != 0 && !skip->load()) {
        skip->store(true);
        Say("\n" +
            QString::fromStdString(Text("skippingUserPart")).arg(QString::fromStdString(MoreUNIXSafeText(whose))).toStdString() +
            "\n");
      }
      // Further Ctrl-Cs while the part ends are its own, not the next user's.
      if (skip != nullptr && skip->load() && gInterrupted == SIGINT) gInterrupted = 0;
      if (fRemoving && !shownRemoving) {
        shownRemoving = true;
        HoldTerminalSignals();
        if (!fHumanIsTerminal) Say(removing + "\n");
      }
      if (shownRemoving && fHumanIsTerminal && !fOptions.quiet) {
        const long seconds = static_cast<long>(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
        std::fprintf(fHuman, "\r%s %ld:%02ld\033[K", removing.c_str(), seconds / 60, seconds % 60);
        std::fflush(fHuman);
      }
      fChanged.wait_for(lock, std::chrono::milliseconds(skip != nullptr ? 250 : 1000));
    }
  }
  engine.Join();
  if (shownRemoving && fHumanIsTerminal && !fOptions.quiet) std::fputc('\n', fHuman);
  fAgent.Stop();
  if (haveTerminal) (void) tcsetattr(tty, TCSAFLUSH, &before);
  if (tty >= 0) (void) close(tty);

  *log = std::move(result.log);
  // Kept for the log file; with QUILLON_VERBOSE they went to standard
  // error as they came.
  fDiagnostics += result.diagnostics;
  fLastFailure = result.failure;
  return result.status;
}

// pkexec ends alike whether the password was refused or the policy refused
// without asking: polkit is asked first, without any prompt. A policy that
// says no is said at once, with no prompt; where a password would be asked,
// a refusal is the password's, and another try follows, each a whole run of
// the engine with its own clean-up.
OSStatus TerminalRun::RunAskingPassword(Boolean removeMidi, const UninstallerEngineOptions& options,
                                        std::string* log) {
  const UninstallerPolicyVerdict verdict = UninstallerAskPolicy(kQuillonUninstallRight);
  if (verdict == UninstallerPolicyVerdict::kNotAuthorized) {
    fDeniedKey = "terminalPolicyDenied";
    return errAuthorizationDenied;
  }
  OSStatus status = noErr;
  for (int attempt = 1; attempt <= kPasswordAttempts; attempt++) {
    log->clear();
    status = RunEngine(removeMidi, options, true, std::string(), log);
    if (UninstallerOutcomeOf(status) != UninstallerOutcome::kDenied || gInterrupted != 0 ||
        verdict != UninstallerPolicyVerdict::kChallenge) {
      break;
    }
    fDeniedKey = "terminalPasswordRefused";
    if (attempt < kPasswordAttempts) SayError(Text("passwordTryAgain"));
  }
  return status;
}

bool TerminalRun::RequestRestartNow() {
  QObject context;
  QEventLoop loop;
  OSStatus status = noErr;
  bool finished = false;
  RequestRestart(&context, [&](OSStatus result) {
    status = result;
    finished = true;
    loop.quit();
  });
  if (!finished) loop.exec();
  if (status != noErr) {
    SayError(UninstallerFormatStatus(QString::fromStdString(Text("errorTemplate")), status).toStdString());
    return false;
  }
  return true;
}

// ---- The runs -----------------------------------------------------------------------------

int TerminalRun::Run() {
  CatchInterrupts();
  return fRoot ? RunAsRoot() : RunForUser();
}

// Without a terminal there is nobody to answer the warnings; --yes does.
// Nothing installed is no question, so that comes first, as with apt.
int TerminalRun::RefuseToAsk() {
  SayError(Text("terminalNeedsYes"));
  return Finish(kTerminalExitUsage, noErr, Text("terminalNeedsYes"));
}

int TerminalRun::RunForUser() {
  if (!fOptions.users.empty() || fOptions.allUsers) {
    SayError(Text("terminalNeedsRoot"));
    return Finish(kTerminalExitUsage, noErr, Text("terminalNeedsRoot"));
  }
  const unsigned parts = UninstallerInstalledParts();
  if (parts == kUninstallerNothingInstalled) {
    Say(Text("notInstalledTitle") + "\n");
    return Finish(kTerminalExitDone, noErr, Text("notInstalledTitle"));
  }
  if (fOptions.dryRun) return DryRun((parts & kUninstallerSystemPart) != 0, nullptr);
  if (!fOptions.yes && !fInteractive) return RefuseToAsk();
  // One uninstaller at a time, from the first question to the clean-up.
  const int lockErr = UninstallerLockAcquire(UninstallerUserLockPath(), &fLockFd);
  if (lockErr == EWOULDBLOCK) {
    SayError(Text("alreadyRunningTitle"));
    return Finish(kTerminalExitFailed, noErr, Text("alreadyRunningTitle"));
  }
  const bool systemPart = (parts & kUninstallerSystemPart) != 0;
  bool removeMidi = true;
  if (!Confirm(systemPart, nullptr, &removeMidi)) {
    Say(Text("terminalCancelled") + "\n");
    return Finish(kTerminalExitCancelled, noErr, Text("terminalCancelled"));
  }
  fLogFile = UninstallerLogFilePath();
  UninstallerEngineOptions options = {};
  options.userPartOnly = !systemPart;
  Part part;
  part.uid = getuid();
  part.status = systemPart ? RunAskingPassword(removeMidi, options, &part.log)
                           : RunEngine(removeMidi, options, false, std::string(), &part.log);
  fSystemPartRemoved = systemPart && part.status == noErr;
  fParts.push_back(part);
  const TerminalExit exit = TerminalExitForStatus(part.status, gInterrupted != 0);
  return Finish(exit, part.status, std::string());
}

}  // namespace terminal

namespace {

// A set-user-ID copy runs with another user's rights in this user's
// environment, which we do not trust that far: give them up, all of them,
// before anything else is read, so that the refusal can be said in the
// user's language. False when they could not all be given up.
bool GiveUpBorrowedIDs() {
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  if (setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) return false;
  uid_t ruid, euid, suid;
  gid_t rgid, egid, sgid;
  return getresuid(&ruid, &euid, &suid) == 0 && getresgid(&rgid, &egid, &sgid) == 0 && ruid == uid && euid == uid &&
         suid == uid && rgid == gid && egid == gid && sgid == gid;
}

const char kSetUserIDRefused[] = "must not be set-user-ID; run it as yourself, or as root";

}  // namespace

int TerminalUninstallMain(int argc, char* argv[]) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const bool setUserID = getuid() != geteuid();
  if (setUserID && !GiveUpBorrowedIDs()) {
    std::fprintf(stderr, "quillon-uninstall: %s\n", kSetUserIDRefused);
    return kTerminalExitFailed;
  }
  TerminalOptions options;
  std::string error;
  TerminalOptionError why;
  const bool parsed = TerminalParseOptions(arguments, &options, &error, &why);
  QCoreApplication application(argc, argv);
  NSBundle& bundle = NSBundle::mainBundle();
  auto text = [&bundle](const std::string& key, const std::string& english) {
    return bundle.localizedStringForKey_value_table_(QString::fromStdString(key), QString::fromStdString(english),
                                                     QString());
  };
  if (setUserID) {
    std::fprintf(stderr, "quillon-uninstall: %s\n", text("setUserIDRefused", kSetUserIDRefused).toStdString().c_str());
    return kTerminalExitFailed;
  }
  if (!parsed) {
    QString reason = text(why.key, why.text);
    if (reason.contains(QLatin1String("%1"))) reason = reason.arg(QString::fromStdString(MoreUNIXSafeText(why.argument)));
    const QString tryHelp = text("tryHelp", "Try '%1 --help' for more information.").arg(QStringLiteral("quillon-uninstall"));
    std::fprintf(stderr, "quillon-uninstall: %s\n%s\n", reason.toStdString().c_str(), tryHelp.toStdString().c_str());
    if (options.json) std::printf("{\"status\":\"usage-error\",\"exitCode\":2,\"changed\":false}\n");
    return kTerminalExitUsage;
  }
  if (options.version) {
    std::printf("quillon-uninstall %s\n", QUILLON_VERSION);
    return kTerminalExitDone;
  }
  if (options.help) {
    // The help is in the strings table, so it speaks the user's language.
    const QString usage = bundle.localizedStringForKey_value_table_(
        QStringLiteral("terminalUsage"), QString::fromStdString(TerminalUsage()), QString());
    std::fputs(usage.toStdString().c_str(), stdout);
    return kTerminalExitDone;
  }
  // Our own copies of standard output and error: standard error itself
  // becomes the diagnostics' store while the engine runs.
  const int errorFd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  const int humanFd = fcntl(options.json ? STDERR_FILENO : STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (errorFd < 0 || humanFd < 0) {
    std::fprintf(stderr, "quillon-uninstall: %s\n", std::strerror(errno));
    return kTerminalExitFailed;
  }
  terminal::TerminalRun run(options, bundle, humanFd, errorFd);
  return run.Run();
}
