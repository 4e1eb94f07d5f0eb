// The main window's controller: shows the read-me, leads the user through
// the warning sheets into the uninstall engine, and routes the engine's
// result to the completion sheet, the error sheet, or back to the idle
// window. Everything here runs on the main thread.
//
// Names follow the window layer's rule (see AppKit/AppKit.h): each colon of
// the Objective-C selector becomes an underscore, so uninstall: is
// uninstall_, checkRestartSheetDidEnd:returnCode:contextInfo: is
// checkRestartSheetDidEnd_returnCode_contextInfo_, and restart stays
// restart. Actions take their sender as a QObject* and ignore it. Text keys
// are QStrings; an absent key is a null QString.
#pragma once

#include <AppKit/AppKit.h>
#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>
#include <UninstallerEngine.h>

#include <functional>

class UninstallerController : public NSObject {
 public:
  // The engine's signature (see UninstallerEngine.h): fills *log, which
  // must be NULL on entry, with a string the caller releases.
  using Engine = std::function<OSStatus(CFStringRef* log, Boolean removeMidiDevices)>;
  // A sheet's end action: a method of this class taking the sheet, the
  // return code and the context.
  using SheetSelector = void (UninstallerController::*)(NSWindow sheet, NSInteger returnCode, void* contextInfo);

  // Connects the outlets of |nib| by the names of the instance variables
  // below and its controls' actions to the methods of the same selector.
  // |engine| runs the uninstall; tests pass a substitute.
  explicit UninstallerController(NSNib& nib, Engine engine = UninstallerEngine);

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

  // The uninstall flow.
  void checkRestartSheetDidEnd_returnCode_contextInfo_(NSWindow sheet, NSInteger returnCode, void* contextInfo);
  void uninstall_(QObject* sender);
  void doWarningAfterRestartSheet_returnCode_contextInfo_(NSWindow sheet, NSInteger returnCode, void* contextInfo);
  void uninstallWithWarning_(QObject* sender);

  // The window that holds the read-me; every sheet goes on it.
  NSWindow mainWindow() const { return fReadMe.window(); }
  bool completeMoreInfoVisible() const { return fCompleteMoreInfoVisible; }

 private:
  QString LocalizedString(const QString& key) const;

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
};

// Formats the error sheet's title: |format| with its one integer directive
// (%d or %i, with optional flags, width and an h, l or ll length) replaced by
// |status|, and %% by %. Anything else that looks like a directive is shown
// as it is, and a second integer directive is left as it is too, so a bad
// translation can garble the title but never read arguments that are not
// there.
QString UninstallerFormatStatus(const QString& format, OSStatus status);

// Runs the application: SIGPIPE has already been ignored by main.
int UninstallerApplicationMain(int argc, char* argv[], UninstallerController::Engine engine = UninstallerEngine);
