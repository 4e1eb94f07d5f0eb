// The main window's controller: shows the read-me, leads the user through
// the warning sheets into the uninstall engine, and routes the engine's
// result to the completion sheet, the error sheet, or back to the idle
// window. The controller lives on the main thread; the engine runs on a
// worker thread while a busy sheet that cannot be dismissed keeps the main
// window blocked, so that the window still answers the window manager.
//
#pragma once

#include <AppKit/AppKit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>
#include <UninstallerEngine.h>

#include <Authorization.h>
#include <UninstallerFlow.h>
#include <UninstallerPolicy.h>
#include <UninstallerPreview.h>
#include <UninstallerRunLog.h>
#include <UninstallerSession.h>

#include "UninstallerStatusFormat.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QDialog;
class QLabel;

struct UninstallerEnvironment {
  std::function<unsigned()> installedParts = UninstallerInstalledParts;
  std::string lockPath = UninstallerUserLockPath();
  std::string logFilePath = UninstallerLogFilePath();
  // What removing one part (the system's, or the user's own) would take
  // away now, asked as we are (UninstallerPreview.h). It runs on a thread of
  // its own, as it starts the bundle's tools.
  std::function<int(bool systemPart, Boolean removeMidiDevices, UninstallerPreviewPart* part)> preview =
      [](bool systemPart, Boolean removeMidiDevices, UninstallerPreviewPart* part) {
        return UninstallerPreview(systemPart, removeMidiDevices, nullptr, part);
      };
  // What polkit would answer, without asking anyone, about the uninstall;
  // asked with the list, off the main thread. A denial after a password
  // was asked for is the password's; otherwise it is the policy's.
  std::function<UninstallerPolicyVerdict()> policy = []() { return UninstallerAskPolicy(kQuillonUninstallRight); };
};

class UninstallerController : public NSObject {
 public:
  // The engine's signature (see UninstallerEngine.h): fills *log, which
  // must be NULL on entry, with a string the caller releases. It runs on a
  // worker thread.
  using Engine = UninstallerEngineFunction;
  // A sheet's end action: a method of this class taking the sheet, the
  // return code and the context.
  using SheetSelector = void (UninstallerController::*)(NSWindow sheet, NSInteger returnCode, void* contextInfo);

  // What the controller learns from the system, and where it keeps things;
  // tests substitute their own.
  using Environment = UninstallerEnvironment;

  // Connects the outlets of |nib| by the names of the instance variables
  // below and its controls' actions to the methods of the same selector.
  // |engine| runs the uninstall; tests pass a substitute.
  explicit UninstallerController(NSNib& nib, Engine engine = UninstallerRunEngine,
                                 Environment environment = Environment());
  ~UninstallerController() override;

  void awakeFromNib() override;

  // Alerts (sheets on the main window; every text is looked up by key).
  void runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      const QString& title, const QString& message, const QString& defaultButton, const QString& alternateButton,
      const QString& otherButton, SheetSelector endAction);
  void emptySheetDidEnd_returnCode_contextInfo_(NSWindow sheet, NSInteger returnCode, void* contextInfo);
  void runAlertWithTitle_message_defaultButton_alternateButton_otherButton_(const QString& title,
                                                                           const QString& message,
                                                                           const QString& defaultButton,
                                                                           const QString& alternateButton,
                                                                           const QString& otherButton);
  void runAlertWithTitle_message_defaultButton_(const QString& title, const QString& message,
                                                const QString& defaultButton);
  void runAlertWithTitle_message_defaultButton_alternateButton_(const QString& title, const QString& message,
                                                                const QString& defaultButton,
                                                                const QString& alternateButton);
  void runAlertWithTitle_message_(const QString& title, const QString& message);
  // The error sheet: "errorTemplate" filled with |status|, one button.
  void reportError_(OSStatus status);

  // The completion sheet.
  void restartNowSheetDidEnd_returnCode_contextInfo_(NSWindow sheet, NSInteger returnCode, void* contextInfo);
  void quitNow_(QObject* sender);
  void restartNow_(QObject* sender);
  void toggleCompleteMoreInfo_(QObject* sender);
  void restart();

  // The uninstall flow: the warnings the flow names, one sheet each, then
  // the engine. uninstall_ asks the first warning alone, uninstallWithWarning_
  // the shared-settings warning after it.
  void warningSheetDidEnd_returnCode_contextInfo_(NSWindow sheet, NSInteger returnCode, void* contextInfo);
  void uninstall_(QObject* sender);
  void uninstallWithWarning_(QObject* sender);
  // The Uninstall button: the shared-settings warning only when the MIDI
  // devices go too (the box ticked, or mixed), else one warning.
  void uninstallAsChosen_(QObject* sender);

  // The window that holds the read-me; every sheet goes on it.
  NSWindow mainWindow() const { return fReadMe.window(); }
  bool completeMoreInfoVisible() const { return fCompleteMoreInfoVisible; }
  // Whether an uninstall is running (the engine on its worker thread).
  bool isBusy() const { return fWorker != nullptr; }
  // Whether the list of what will be removed is being made, before the
  // first warning.
  bool isPreviewing() const { return fPreviewThread.joinable(); }
  // The busy sheet (a dialog), for tests.
  NSWindow busySheet() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString LocalizedString(const QString& key) const;
  // Before the first warning: what is installed, and the per-user lock.
  // Returns false, with a sheet that says why, when there is nothing to do.
  bool PrepareUninstall();
  // Takes the lock and asks the first of the warnings for |removeMidiDevices|.
  void BeginWarnings(bool removeMidiDevices);
  // Asks fWarnings[fWarningShown]; past the last one, runs the engine.
  // The first warning carries the list of what will be removed.
  void AskWarning();
  // Makes the list of what will be removed off the main thread, then asks
  // the first warning.
  void StartPreview(bool removeMidiDevices);
  // The first warning's line about what will be removed, and the paths
  // behind its Show Details.
  QString PreviewSummary() const;
  QString PreviewDetails() const;
  bool RemovesMidiDevices() const;
  void FinishUninstall();
  void RunEngine(Boolean removeMidiDevices);
  void EngineDidFinish(const UninstallerRunResult& result);
  void ShowBusySheet();
  void SetBusyText(const QString& key);
  // A sheet about a failed run: its title, its paragraphs (empty ones left
  // out) followed by where the log file is, and this run's log as details.
  void ShowFailureSheet(const QString& titleText, QStringList paragraphs);
  // The error sheet of a failed run, from its status and where it stopped.
  void ReportFailedRun(const UninstallerRunResult& result);
  QString LogFileNote() const;
  void ListenForRaise();
  void StopListeningForRaise();
  void RaiseOtherWindow();
  // Once the window is up: a second window, or nothing installed, says so
  // at once, with Uninstall disabled and Quit the default.
  void LookAtStart();
  void DisableUninstall();
  void quitSheetDidEnd_returnCode_contextInfo_(NSWindow sheet, NSInteger returnCode, void* contextInfo);
  static void PrivilegedToolRunning(void* context);

  // Outlets, connected by the interface definition.
  NSTextView fReadMe;
  NSWindow fCompleteWindow;
  NSTextField fCompleteTitle;
  NSTextField fCompleteMessage;
  NSTextView fCompleteUninstallLog;
  NSButton fCompleteRestartButton;
  NSButton fCompleteDoneButton;
  NSButton fCompleteMoreInfoToggleButton;
  NSButton fRemoveMidiDevices;
  bool fCompleteMoreInfoVisible = false;

  // The log area (the log view's scroll view), held for the controller's
  // life so that it survives while it is out of the completion sheet.
  NSScrollView fCompleteLogArea;
  const NSBundle& fBundle;
  Engine fEngine;
  Environment fEnvironment;

  // One uninstall: the lock held from the first warning to the end of the
  // clean-up, the worker thread, the busy sheet, and what the run left.
  int fLockFd = -1;
  int fRaiseSocket = -1;
  int fWindowLockFd = -1;      // held for the window's life: one window per user
  bool fSecondWindow = false;  // another window held it at start
  QObject* fRaiseNotifier = nullptr;
  bool fUserPartOnly = false;
  // What this uninstall does, its warnings, and the one on screen.
  UninstallerPlan fPlan;
  std::vector<UninstallerWarning> fWarnings;
  size_t fWarningShown = 0;
  // What the tools said will be removed: the system's part (when it goes)
  // and the user's own; fPreviewError is the first tool's failure, or the
  // thread's.
  struct Preview {
    bool systemPart = false;
    bool removeMidiDevices = false;
    UninstallerPreviewPart system;
    UninstallerPreviewPart user;
    int error = 0;
    UninstallerPolicyVerdict policy = UninstallerPolicyVerdict::kUnknown;
  };
  Preview fPreview;
  std::thread fPreviewThread;
  bool fPreviewCursor = false;  // the busy pointer is ours to take back
  std::unique_ptr<UninstallerWorker> fWorker;
  QDialog* fBusyWindow = nullptr;
  QLabel* fBusyLabel = nullptr;
  QLabel* fBusyNote = nullptr;
  QString fLastRunLog;
  bool fLogFileWritten = false;
};
