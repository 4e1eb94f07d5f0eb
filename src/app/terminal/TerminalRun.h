// The run of quillon-uninstall, shared by the files that make it up: the
// prompts (TerminalPrompt.cpp), the engine and the user's run
// (TerminalUninstall.cpp), the root plan (TerminalRootPlan.cpp) and the
// report with its JSON (TerminalReport.cpp).
#pragma once

#include "TerminalAccounts.h"
#include "TerminalAgent.h"
#include "TerminalPreview.h"
#include "TerminalSupport.h"

#include <AppKit/NSBundle.h>
#include <UninstallerEngine.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <termios.h>
#include <vector>

namespace terminal {

// The signal that came (Ctrl-C, a hang-up or a polite kill), or 0. In a
// root run, Ctrl-C (SIGINT) while a user's part runs skips that part alone;
// any other ends the run.
extern volatile sig_atomic_t gInterrupted;

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
                     const std::string& whose, std::string* log, std::atomic<bool>* skip = nullptr);
  // The system's part, which asks for the administrator's password: the
  // policy asked first, then up to three tries.
  OSStatus RunAskingPassword(Boolean removeMidi, const UninstallerEngineOptions& options, std::string* log);
  void AllowOnlyCtrlC();
  void HoldTerminalSignals();
  void RestoreTerminal();
  bool RequestRestartNow();
  void PrepareRootEnvironment();
  int RefuseToAsk();
  int RunForUser();
  int RunAsRoot();
  int RunParts(Boolean removeMidi, bool systemPart, std::vector<TerminalAccount>& users);
  bool Confirm(bool systemPart, std::vector<TerminalAccount>* users, bool* removeMidi);
  std::vector<TerminalPreviewPart> Preview(bool systemPart, Boolean removeMidi, std::vector<TerminalAccount>* users);
  std::vector<TerminalLeftOut> LeftOut() const;
  int DryRun(bool systemPart, std::vector<TerminalAccount>* users);

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

  // Why a denied run was denied, where polkit told: the key of its text.
  const char* fDeniedKey = "terminalDenied";
  std::string fDiagnostics;  // every run's standard error, for the log file
  UninstallerEngineFailure fLastFailure = {kUninstallerStepNone, {}};  // where the last run stopped
  int fTerminal = -1;  // the controlling terminal, while its defaults are held
  struct termios fSavedTerminal = {};

  // One engine call at a time; its hooks run on the engine's threads.
  std::atomic<bool> fRemoving{false};
  std::mutex fMutex;
  std::condition_variable fChanged;
  TerminalAgent fAgent;
};

}  // namespace terminal
