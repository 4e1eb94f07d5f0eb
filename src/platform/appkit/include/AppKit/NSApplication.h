// The application, its loop, and sheets.
//
// A sheet is a window-modal dialog on its document window: the window stays
// on screen but takes no input until the sheet has gone. A window holds one
// sheet at a time; a sheet begun while another is up waits and comes up
// after the first has left, as the window system does it.
#pragma once

#include <AppKit/NSGeometry.h>
#include <AppKit/NSView.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class NSNib;

// The root of objects that an interface definition is loaded for.
class NSObject : public QObject {
 public:
  using QObject::QObject;
  // Called once, after the interface definition has been loaded and the
  // object's outlets connected, before any window is shown.
  virtual void awakeFromNib() {}
};

// A sheet callback ("sheetDidEnd:returnCode:contextInfo:"): receives the
// sheet, the return code and the context pointer given when it was begun.
using NSSheetCallback = std::function<void(NSWindow sheet, NSInteger returnCode, void* contextInfo)>;

// A modal delegate's method as a sheet callback: NSSelector(this,
// &Controller::sheetDidEnd_returnCode_contextInfo_). A null method gives an
// empty callback, which is never called. The callback does nothing once the
// delegate has been destroyed.
template <class Delegate>
NSSheetCallback NSSelector(Delegate* delegate, void (Delegate::*method)(NSWindow, NSInteger, void*)) {
  if (method == nullptr) {
    return {};
  }
  QPointer<Delegate> guard(delegate);
  return [guard, method](NSWindow sheet, NSInteger returnCode, void* contextInfo) {
    if (!guard.isNull()) {
      (guard.data()->*method)(sheet, returnCode, contextInfo);
    }
  };
}

class NSApplication : public QObject {
  Q_OBJECT

 public:
  // The one application object (NSApp); needs a QApplication.
  static NSApplication* sharedApplication();

  // Ends the application: announces willTerminate and then leaves the
  // application loop, so that NSApplicationMain returns 0.
  void terminate_(QObject* sender);

  // Shows |sheet| as a sheet on |docWindow|: centred on the window's top
  // edge, window-modal, never closed by the window manager or the Escape
  // key. endSheet_ calls |didEnd|; the callback is expected to take the
  // sheet off the screen with orderOut_.
  void beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(NSWindow sheet, NSWindow docWindow,
                                                                            QObject* modalDelegate,
                                                                            NSSheetCallback didEnd,
                                                                            void* contextInfo);
  // Ends the modal session of |sheet| and calls its did-end callback with
  // |returnCode| (0 for endSheet_). Does nothing for a window that is not an
  // attached sheet.
  void endSheet_(NSWindow sheet);
  void endSheet_returnCode_(NSWindow sheet, NSInteger returnCode);

 signals:
  void willTerminate();

 private:
  explicit NSApplication(QObject* parent);
};

#define NSApp (NSApplication::sharedApplication())

// Begins an alert sheet on |docWindow|. The buttons: |defaultButton| returns
// NSAlertDefaultReturn (1) and is the one Return presses; |alternateButton|
// returns NSAlertAlternateReturn (0) and is the one Escape presses;
// |otherButton| returns NSAlertOtherReturn (-1). A null title for the
// alternate or other button leaves that button out; a null default title
// gives "OK". When the user presses a button, |didEnd| runs while the sheet
// is still up; then the sheet leaves the screen, and |didDismiss| runs from
// the event loop afterwards, so that it may begin the next sheet. Both get
// the sheet, the return code and |contextInfo|. The message is |msgFormat|
// formatted printf-style with the remaining arguments.
void NSBeginAlertSheet(const QString& title, const QString& defaultButton, const QString& alternateButton,
                       const QString& otherButton, NSWindow docWindow, QObject* modalDelegate,
                       NSSheetCallback didEnd, NSSheetCallback didDismiss, void* contextInfo,
                       const char* msgFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 10, 11)))
#endif
    ;

// NSBeginAlertSheet with a message that is plain text (never a format) and
// Qt's usual details area: with a non-empty |details| the sheet has a "Show
// Details…" button that shows or hides a read-only, selectable copy of it,
// and a "Copy" button that puts all of it on the clipboard.
void NSBeginAlertSheetWithDetails(const QString& title, const QString& defaultButton, const QString& alternateButton,
                                  const QString& otherButton, NSWindow docWindow, QObject* modalDelegate,
                                  NSSheetCallback didEnd, NSSheetCallback didDismiss, void* contextInfo,
                                  const QString& message, const QString& details);

// Object names of the parts of an alert sheet, for finding them in the
// widget tree (the window's attachedSheet()).
inline constexpr const char* kNSAlertTitleName = "NSAlertTitle";
inline constexpr const char* kNSAlertMessageName = "NSAlertMessage";
inline constexpr const char* kNSAlertDefaultButtonName = "NSAlertDefaultButton";
inline constexpr const char* kNSAlertAlternateButtonName = "NSAlertAlternateButton";
inline constexpr const char* kNSAlertOtherButtonName = "NSAlertOtherButton";
inline constexpr const char* kNSAlertDetailsName = "NSAlertDetails";
inline constexpr const char* kNSAlertDetailsButtonName = "NSAlertDetailsButton";
inline constexpr const char* kNSAlertCopyButtonName = "NSAlertCopyButton";

// Runs the application: creates the QApplication and NSApp, installs the
// main bundle's translations, loads the interface definition |nibName| from
// the main bundle's resources, makes its owner with |makeOwner| (which
// connects the outlets), calls the owner's awakeFromNib, shows the
// definition's main window and runs the loop. Returns 0 after terminate_ or
// when the last window is closed; 1 with a message on standard error when the
// interface definition cannot be loaded.
int NSApplicationMain(int argc, char* argv[], const QString& nibName,
                      const std::function<std::unique_ptr<NSObject>(NSNib& nib)>& makeOwner);
