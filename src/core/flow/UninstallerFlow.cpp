#include "UninstallerFlow.h"

#include <MoreUNIXText.h>
#include "UninstallerDiagnostics.h"

#include <UninstallerRunLog.h>
#include <UninstallerSession.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <system_error>

UninstallerPlan UninstallerPlanFor(unsigned installedParts) {
  UninstallerPlan plan;
  plan.nothingInstalled = installedParts == kUninstallerNothingInstalled;
  plan.systemPart = (installedParts & kUninstallerSystemPart) != 0;
  plan.userPartOnly = !plan.nothingInstalled && !plan.systemPart;
  return plan;
}

std::vector<UninstallerWarning> UninstallerWarningsFor(const UninstallerPlan& plan, bool removeMidiDevices) {
  std::vector<UninstallerWarning> warnings;
  if (plan.nothingInstalled) return warnings;
  // With the system part gone there is nothing to restart for, and no
  // password to give: the first warning says that instead.
  if (plan.userPartOnly) {
    warnings.push_back({"userPartOnlyTitle", "userPartOnlyMessage"});
  } else {
    warnings.push_back({"necessaryToRestart", "chanceToSave"});
  }
  // The shared settings are touched only when the MIDI devices go.
  if (removeMidiDevices) warnings.push_back({"sharedWarningTitle", "sharedWarningMessage"});
  return warnings;
}

OSStatus UninstallerRunEngine(CFStringRef* log, Boolean removeMidiDevices, const UninstallerEngineOptions& options) {
  return UninstallerEngineWithOptions(log, removeMidiDevices, &options);
}

std::string UninstallerTextOf(CFStringRef string) {
  std::string text;
  if (string == nullptr) return text;
  // By the string's length, never up to a NUL: a script's output does not
  // stop at one.
  const CFRange all = CFRangeMake(0, CFStringGetLength(string));
  CFIndex needed = 0;
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &needed);
  text.resize(static_cast<size_t>(needed));
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(text.data()), needed,
                   nullptr);
  return text;
}

bool UninstallerWorker::Start(UninstallerEngineFunction engine, Boolean removeMidiDevices,
                              const UninstallerEngineOptions& options, Done done) {
  Join();
  const off_t mark = UninstallerDiagnosticsMark();
  try {
    fThread = std::thread([engine = std::move(engine), removeMidiDevices, options, done = std::move(done), mark]() {
      sigset_t held;
      sigemptyset(&held);
      for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, sig);
      pthread_sigmask(SIG_BLOCK, &held, nullptr);
      UninstallerRunResult result;
      CFStringRef log = nullptr;
      UninstallerEngineOptions ours = options;
      ours.failure = &result.failure;
      result.status = engine(&log, removeMidiDevices, ours);
      // Shown in the log view, Show Details and on the terminal: whatever
      // engine ran, nothing a user's script or a receipt wrote passes as
      // anything but text.
      result.log = MoreUNIXSafeText(UninstallerTextOf(log));
      if (log != nullptr) CFRelease(log);
      result.diagnostics = UninstallerDiagnosticsSince(mark);
      result.outcome = UninstallerOutcomeOf(result.status);
      done(result);
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void UninstallerWorker::Join() {
  if (fThread.joinable()) fThread.join();
}

int UninstallerRecordRun(const std::string& path, const UninstallerRunResult& result) {
  if (path.empty()) return ENOENT;
  std::string text = result.log;
  if (!result.diagnostics.empty()) {
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += result.diagnostics;
  }
  return UninstallerAppendRunLog(path, text, result.status, std::time(nullptr));
}
