#include "TerminalUninstall.h"

#include "MoreUNIX.h"
#include "ProductLayout.h"
#include "RestartRequest.h"
#include "TerminalAccounts.h"
#include "TerminalAgent.h"
#include "TerminalSupport.h"
#include "UninstallerStatusFormat.h"

#include <AppKit/NSBundle.h>
#include <AppKit/RTFParser.h>
#include <UninstallerEngine.h>
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
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr OSStatus kHelperToolDeniedErr = 5362;

// Where a root run keeps its log: root's own, outside every user's reach.
const char kRootLogFile[] = "/var/log/quillon-uninstall.log";
// The read-me is a few pages; anything far bigger is not ours.
constexpr qint64 kMaxReadMeBytes = 4 * 1024 * 1024;
// What is shown of the diagnostics of a failed run.
constexpr off_t kDiagnosticsShown = 32 * 1024;

volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

// Ctrl-C, a hang-up or a polite kill: noted, so that the engine's clean-up
// still runs and the run ends as cancelled.
void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) (void) sigaction(sig, &action, nullptr);
}

// One engine call: whose part, and how it ended.
struct Part {
  std::string user;  // empty: the system's part, or in a user's run, everything
  uid_t uid = 0;
  OSStatus status = noErr;
  std::string log;
};

struct NotHandled {
  std::string name;
  uid_t uid = 0;
  std::string reason;
};

class TerminalRun {
 public:
  TerminalRun(const TerminalOptions& options, NSBundle& bundle, int humanFd, int errorFd)
      : fOptions(options), fBundle(bundle) {
    fHuman = fdopen(humanFd, "w");
    fErrors = fdopen(errorFd, "w");
    setvbuf(fHuman, nullptr, _IOLBF, 0);
    setvbuf(fErrors, nullptr, _IOLBF, 0);
    fRoot = getuid() == 0 && geteuid() == 0;
    fInteractive = isatty(STDIN_FILENO) == 1;
    fHumanIsTerminal = isatty(fileno(fHuman)) == 1;
  }
  ~TerminalRun() {
    RestoreTerminal();
    std::fclose(fHuman);
    std::fclose(fErrors);
  }

  int Run();

 private:
  std::string Text(const char* key) const { return fBundle.localizedStringForKey_(QString::fromLatin1(key)).toStdString(); }
  void Say(const std::string& text) {
    if (!fOptions.quiet) std::fputs(text.c_str(), fHuman);
  }
  void SayError(const std::string& text) { std::fprintf(fErrors, "quillon-uninstall: %s\n", text.c_str()); }

  int Finish(TerminalExit exit, OSStatus status, const std::string& message);
  bool Ask(const std::string& question, bool defaultYes, bool* answer);
  bool ShowReadMe();
  OSStatus RunEngine(Boolean removeMidi, const UninstallerEngineOptions& base, bool askPassword,
                     const std::string& whose, std::string* log);
  void CaptureDiagnostics();
  void ShowDiagnostics();
  void HoldTerminalSignals();
  void RestoreTerminal();
  bool RequestRestartNow();
  void PrepareRootEnvironment();
  int RefuseToAsk();
  int RunForUser();
  int RunAsRoot();
  int RunParts(Boolean removeMidi, bool systemPart, std::vector<TerminalAccount>& users);
  bool Confirm(bool systemPart, bool* removeMidi);

  static void PrivilegedToolRunning(void* context);
  static void HelperToolStarted(pid_t pid, void* context);

  TerminalOptions fOptions;
  NSBundle& fBundle;
  FILE* fHuman = nullptr;   // what a person reads: standard output, or standard error with --json
  FILE* fErrors = nullptr;  // our standard error as we were started with it
  bool fRoot = false;
  bool fInteractive = false;
  bool fHumanIsTerminal = false;

  std::vector<Part> fParts;
  std::vector<NotHandled> fNotHandled;
  bool fSystemPartRemoved = false;
  bool fRestartRequested = false;
  std::string fLogFile;
  int fLockFd = -1;

  int fDiagnostics = -1;
  int fTerminal = -1;  // the controlling terminal, while its defaults are held
  struct termios fSavedTerminal = {};

  // One engine call at a time; its hooks run on the engine's threads.
  std::atomic<bool> fRemoving{false};
  std::mutex fMutex;
  std::condition_variable fChanged;
  TerminalAgent fAgent;
};

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
  const std::string text = TerminalWrap(plain.toStdString(), width - 1) + "\n";
  if (!fHumanIsTerminal) {
    std::fputs(text.c_str(), fHuman);
    return true;
  }
  // Through the reader's pager, as git and man do.
  const char* pager = std::getenv("PAGER");
  std::string command = pager != nullptr && pager[0] != '\0' ? pager : "less";
  int feed[2];
  if (pipe2(feed, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, feed[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fileno(fHuman), STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  const int defaults[] = {SIGPIPE};
  int err = MoreUNIXSetSpawnSignalDefaults(&attributes, defaults, 1);
  if (std::getenv("LESS") == nullptr) setenv("LESS", "FRX", 1);
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), command.data(), nullptr};
  pid_t pid = -1;
  if (err == 0) err = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
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

// The read-me, the MIDI question and the warnings. False when the user
// said no, or could not answer.
bool TerminalRun::Confirm(bool systemPart, bool* removeMidi) {
  *removeMidi = !fOptions.keepMidiDevices;
  if (fOptions.yes) return true;
  if (!fOptions.quiet && !fOptions.json) ShowReadMe();
  if (!fOptions.keepMidiDevices && !Ask(Text("midiQuestion"), true, removeMidi)) return false;
  struct Warning {
    const char* title;
    const char* message;
  };
  std::vector<Warning> warnings;
  if (systemPart) {
    warnings.push_back({"necessaryToRestart", "chanceToSave"});
  } else {
    warnings.push_back({"userPartOnlyTitle", "userPartOnlyMessage"});
  }
  // The shared settings are touched only when the MIDI devices go.
  if (*removeMidi) warnings.push_back({"sharedWarningTitle", "sharedWarningMessage"});
  for (const Warning& warning : warnings) {
    std::fprintf(fHuman, "\n%s\n%s", Text(warning.title).c_str(), TerminalWrap(Text(warning.message), 79).c_str());
    std::fputs("\n", fHuman);
    bool yes = false;
    if (!Ask(Text("proceedQuestion"), true, &yes) || !yes) return false;
  }
  return true;
}

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

void TerminalRun::CaptureDiagnostics() {
  // The engine, the helper tool and pkexec write their diagnostics to
  // standard error; in the middle of a password prompt they would only
  // confuse. They are kept, and shown when a run fails. Standard error stays
  // captured to the end: the engine's agent thread may outlive its call.
  if (fDiagnostics >= 0) return;
  fDiagnostics = memfd_create("quillon-uninstall-diagnostics", MFD_CLOEXEC);
  if (fDiagnostics < 0) return;
  std::fflush(stderr);
  if (dup2(fDiagnostics, STDERR_FILENO) < 0) {
    (void) close(fDiagnostics);
    fDiagnostics = -1;
  }
}

void TerminalRun::ShowDiagnostics() {
  if (fDiagnostics < 0) return;
  std::fflush(stderr);
  const off_t size = lseek(fDiagnostics, 0, SEEK_END);
  if (size <= 0) return;
  const off_t from = size > kDiagnosticsShown ? size - kDiagnosticsShown : 0;
  std::string text(static_cast<size_t>(size - from), '\0');
  const ssize_t got = pread(fDiagnostics, text.data(), text.size(), from);
  if (got <= 0) return;
  text.resize(static_cast<size_t>(got));
  std::string shown;
  for (const std::string& line : TerminalLines(text)) {
    // The agent thread's search for a desktop agent says nothing useful here.
    if (line.rfind("found SecurityAgent:", 0) == 0 || line.rfind("waiting for SecurityAgent", 0) == 0) continue;
    shown += line + "\n";
  }
  if (!shown.empty()) std::fprintf(fErrors, "%s", shown.c_str());
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

OSStatus TerminalRun::RunEngine(Boolean removeMidi, const UninstallerEngineOptions& base, bool askPassword,
                                const std::string& whose, std::string* log) {
  UninstallerEngineOptions options = base;
  options.privilegedToolRunning = &TerminalRun::PrivilegedToolRunning;
  options.helperToolStarted = nullptr;
  options.context = this;
  // The terminal's own settings, to put back whatever the prompt does.
  struct termios before = {};
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  const bool haveTerminal = tty >= 0 && tcgetattr(tty, &before) == 0;
  if (askPassword && haveTerminal) options.helperToolStarted = &TerminalRun::HelperToolStarted;
  fRemoving = !askPassword;
  CaptureDiagnostics();

  const std::string removing = Text("removingQuillon") + (whose.empty() ? "" : " (" + whose + ")");
  if (askPassword) Say(Text("waitingForAuthorization") + "\n");

  bool done = false;
  OSStatus status = noErr;
  CFStringRef result = nullptr;
  std::thread engine([&]() {
    // Signals are ours to note on the main thread; the engine's children
    // get a clean mask and default actions from their own start-up.
    sigset_t held;
    sigemptyset(&held);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, sig);
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
    const OSStatus engineStatus = UninstallerEngineWithOptions(&result, removeMidi, &options);
    std::lock_guard<std::mutex> lock(fMutex);
    status = engineStatus;
    done = true;
    fChanged.notify_all();
  });

  const auto start = std::chrono::steady_clock::now();
  bool shownRemoving = false;
  {
    std::unique_lock<std::mutex> lock(fMutex);
    while (!done) {
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
      fChanged.wait_for(lock, std::chrono::seconds(1));
    }
  }
  engine.join();
  if (shownRemoving && fHumanIsTerminal && !fOptions.quiet) std::fputc('\n', fHuman);
  fAgent.Stop();
  if (haveTerminal) (void) tcsetattr(tty, TCSAFLUSH, &before);
  if (tty >= 0) (void) close(tty);

  if (result != nullptr) {
    const CFIndex length = CFStringGetLength(result);
    CFIndex needed = 0;
    CFStringGetBytes(result, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, nullptr, 0, &needed);
    log->resize(static_cast<size_t>(needed));
    CFStringGetBytes(result, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                     reinterpret_cast<UInt8*>(log->data()), needed, nullptr);
    CFRelease(result);
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
  if (!fOptions.yes && !fInteractive) return RefuseToAsk();
  // One uninstaller at a time, from the first question to the clean-up.
  const int lockErr = UninstallerLockAcquire(UninstallerUserLockPath(), &fLockFd);
  if (lockErr == EWOULDBLOCK) {
    SayError(Text("alreadyRunningTitle"));
    return Finish(kTerminalExitFailed, noErr, Text("alreadyRunningTitle"));
  }
  const bool systemPart = (parts & kUninstallerSystemPart) != 0;
  bool removeMidi = true;
  if (!Confirm(systemPart, &removeMidi)) {
    Say(Text("terminalCancelled") + "\n");
    return Finish(kTerminalExitCancelled, noErr, Text("terminalCancelled"));
  }
  fLogFile = UninstallerLogFilePath();
  UninstallerEngineOptions options = {};
  options.userPartOnly = !systemPart;
  Part part;
  part.uid = getuid();
  part.status = RunEngine(removeMidi, options, systemPart, std::string(), &part.log);
  fSystemPartRemoved = systemPart && part.status == noErr;
  fParts.push_back(part);
  const TerminalExit exit = TerminalExitForStatus(part.status, gInterrupted != 0);
  return Finish(exit, part.status, std::string());
}

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
            QString::fromStdString(Text("terminalNoSuchUser")).arg(QString::fromStdString(name)).toStdString();
        SayError(noSuchUser);
        return Finish(kTerminalExitUsage, noErr, noSuchUser);
      }
      if (TerminalUserPartOf(account) == TerminalUserPart::kNone) {
        Say(QString::fromStdString(Text("userHasNoPart")).arg(QString::fromStdString(name)).toStdString() + "\n");
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
  if (!fOptions.yes && !fInteractive) return RefuseToAsk();
  bool removeMidi = true;
  if (!Confirm(systemPart, &removeMidi)) {
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
  for (TerminalAccount& account : users) {
    if (systemPartFailed) {
      // As with the window: no user's part after a failed system part.
      fNotHandled.push_back({account.name, account.uid, Text("reasonSystemPartFailed")});
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
    part.log = "quillon-uninstall: the own part of " + account.name + " (uid " + std::to_string(account.uid) +
               "), run as that user\n";
    std::string log;
    part.status = RunEngine(removeMidi, options, false, account.name, &log);
    part.log += log;
    if (part.status != noErr && first == noErr) first = part.status;
    fParts.push_back(part);
  }
  return Finish(TerminalExitForStatus(first, gInterrupted != 0), first, std::string());
}

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
    const int err = UninstallerAppendRunLog(fLogFile, log, status, std::time(nullptr));
    logWritten = err == 0;
    if (err != 0) SayError("cannot write the log " + fLogFile + ": " + std::strerror(err));
  }

  if (ran) {
    // A cancel's log is only the failure text: it goes to the log file.
    if (gInterrupted && fHumanIsTerminal) std::fputc('\n', fHuman);  // after "Password: "
    if (!fOptions.json && exit != kTerminalExitCancelled) Say(log);
    switch (exit) {
      case kTerminalExitDone:
        text = Text(fSystemPartRemoved ? "uninstallSucceeded" : "userPartRemoved");
        Say(text + "\n");
        break;
      case kTerminalExitCancelled:
        text = gInterrupted ? Text("terminalCancelled")
                            : Text(status == kHelperToolDeniedErr ? "terminalDenied" : "statusCanceled");
        SayError(text);
        break;
      case kTerminalExitNoAuthentication:
        text = Text("terminalNoAgent");
        SayError(text);
        break;
      default: {
        text = UninstallerFormatStatus(QString::fromStdString(Text("errorTemplate")), status).toStdString();
        if (const char* key = UninstallerStatusTextKey(status)) {
          text += " " + Text(key);
        } else if (UninstallerStatusIsErrno(status)) {
          text += std::string(" ") + std::strerror(status);
        }
        SayError(text);
        ShowDiagnostics();
        break;
      }
    }
    Say(QString::fromStdString(Text("summaryTemplate"))
            .arg(summary.removed.size())
            .arg(summary.kept.size())
            .arg(summary.refused.size())
            .toStdString() +
        "\n");
  }
  for (const NotHandled& user : fNotHandled) {
    const std::string line = QString::fromStdString(Text("userNotHandledTemplate"))
                                 .arg(QString::fromStdString(user.name), QString::fromStdString(user.reason))
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

}  // namespace

int TerminalUninstallMain(int argc, char* argv[]) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  TerminalOptions options;
  std::string error;
  const bool parsed = TerminalParseOptions(arguments, &options, &error);
  if (!parsed) {
    std::fprintf(stderr, "quillon-uninstall: %s\nTry 'quillon-uninstall --help' for more information.\n",
                 error.c_str());
    if (options.json) std::printf("{\"status\":\"usage-error\",\"exitCode\":2,\"changed\":false}\n");
    return kTerminalExitUsage;
  }
  if (options.version) {
    std::printf("quillon-uninstall %s\n", QUILLON_VERSION);
    return kTerminalExitDone;
  }
  if (getuid() != geteuid()) {
    std::fprintf(stderr, "quillon-uninstall: must not be set-user-ID; run it as yourself, or as root\n");
    return kTerminalExitFailed;
  }
  QCoreApplication application(argc, argv);
  NSBundle& bundle = NSBundle::mainBundle();
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
  TerminalRun run(options, bundle, humanFd, errorFd);
  return run.Run();
}
