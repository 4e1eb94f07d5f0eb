#include "UninstallerController.h"

#include "RestartRequest.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {

// The helper tool's results for a refused and a canceled authorization: the
// user's own decision, so nothing is shown for them.
constexpr OSStatus kHelperToolDeniedErr = 5362;
constexpr OSStatus kHelperToolCanceledErr = 5363;

// The toggle's titles are fixed texts, not strings-table keys.
const char kMoreInformation[] = "More Information";
const char kLessInformation[] = "Less Information";

QString StringFromCFString(CFStringRef string) {
  if (string == nullptr) {
    return QString();
  }
  // A log may hold NUL bytes (a script's output does not stop at one): the
  // text is copied by its length, never up to its first NUL.
  QString text(static_cast<qsizetype>(CFStringGetLength(string)), Qt::Uninitialized);
  CFStringGetCharacters(string, CFRangeMake(0, static_cast<CFIndex>(text.size())),
                        reinterpret_cast<UniChar*>(text.data()));
  return text;
}

}  // namespace

UninstallerController::UninstallerController(NSNib& nib, Engine engine)
    : fReadMe(nib.objectNamed(QStringLiteral("fReadMe"))),
      fCompleteWindow(nib.objectNamed(QStringLiteral("fCompleteWindow"))),
      fCompleteTitle(nib.objectNamed(QStringLiteral("fCompleteTitle"))),
      fCompleteMessage(nib.objectNamed(QStringLiteral("fCompleteMessage"))),
      fCompleteUninstallLog(nib.objectNamed(QStringLiteral("fCompleteUninstallLog"))),
      fCompleteRestartButton(nib.objectNamed(QStringLiteral("fCompleteRestartButton"))),
      fCompleteDoneButton(nib.objectNamed(QStringLiteral("fCompleteDoneButton"))),
      fCompleteMoreInfoToggleButton(nib.objectNamed(QStringLiteral("fCompleteMoreInfoToggleButton"))),
      fRemoveMidiDevices(nib.objectNamed(QStringLiteral("fRemoveMidiDevices"))),
      fBundle(nib.bundle()),
      fEngine(std::move(engine)) {
  nib.connectActions<UninstallerController>(this, {
                                                      {"uninstall:", &UninstallerController::uninstall_},
                                                      {"uninstallWithWarning:", &UninstallerController::uninstallWithWarning_},
                                                      {"quitNow:", &UninstallerController::quitNow_},
                                                      {"restartNow:", &UninstallerController::restartNow_},
                                                      {"toggleCompleteMoreInfo:", &UninstallerController::toggleCompleteMoreInfo_},
                                                  });
}

QString UninstallerController::LocalizedString(const QString& key) const { return fBundle.localizedStringForKey_(key); }

// ---- Start-up ------------------------------------------------------------------------

void UninstallerController::awakeFromNib() {
  QString readMe = fBundle.pathForResource_ofType_(QStringLiteral("readme"), QStringLiteral("rtfd"));
  if (readMe.isNull()) {
    readMe = fBundle.pathForResource_ofType_(QStringLiteral("readme"), QStringLiteral("rtf"));
  }
  if (!readMe.isNull()) {
    fReadMe.readRTFDFromFile_(readMe);
    fReadMe.window().center();
  }

  fCompleteLogArea = fCompleteUninstallLog.enclosingScrollView();

  // Start with the log hidden: the toggle takes it out and shrinks the sheet.
  fCompleteMoreInfoVisible = true;
  toggleCompleteMoreInfo_(nullptr);
}

// ---- Alerts ----------------------------------------------------------------------------

void UninstallerController::runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
    const QString& title, const QString& message, const QString& defaultButton, const QString& alternateButton,
    const QString& otherButton, SheetSelector endAction) {
  const QString defaultKey = defaultButton.isNull() ? QStringLiteral("okButton") : defaultButton;
  const QString titleText = LocalizedString(title);
  const QString messageText = LocalizedString(message);
  const QString defaultText = LocalizedString(defaultKey);
  const QString alternateText = alternateButton.isNull() ? QString() : LocalizedString(alternateButton);
  const QString otherText = otherButton.isNull() ? QString() : LocalizedString(otherButton);

  // The end action runs after the sheet has gone, so that it may begin the
  // next one. The message goes in as an argument, never as the format: a
  // translation that contains "%" must not be read as a directive.
  NSBeginAlertSheet(titleText, defaultText, alternateText, otherText, mainWindow(), this, NSSheetCallback(),
                    NSSelector(this, endAction), nullptr, "%s", messageText.toUtf8().constData());
}

void UninstallerController::emptySheetDidEnd_returnCode_contextInfo_(NSWindow, NSInteger, void*) {}

void UninstallerController::runAlertWithTitle_message_defaultButton_alternateButton_otherButton_(
    const QString& title, const QString& message, const QString& defaultButton, const QString& alternateButton,
    const QString& otherButton) {
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      title, message, defaultButton, alternateButton, otherButton,
      &UninstallerController::emptySheetDidEnd_returnCode_contextInfo_);
}

void UninstallerController::runAlertWithTitle_message_defaultButton_(const QString& title, const QString& message,
                                                                     const QString& defaultButton) {
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_(title, message, defaultButton, QString(),
                                                                       QString());
}

void UninstallerController::runAlertWithTitle_message_defaultButton_alternateButton_(const QString& title,
                                                                                     const QString& message,
                                                                                     const QString& defaultButton,
                                                                                     const QString& alternateButton) {
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_(title, message, defaultButton,
                                                                       alternateButton, QString());
}

void UninstallerController::runAlertWithTitle_message_(const QString& title, const QString& message) {
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_(title, message, QString(), QString(),
                                                                       QString());
}

void UninstallerController::reportError_(OSStatus status) {
  const QString okText = LocalizedString(QStringLiteral("okButton"));
  const QString messageText = LocalizedString(QStringLiteral("tryAgain"));
  const QString titleText = UninstallerFormatStatus(LocalizedString(QStringLiteral("errorTemplate")), status);
  NSBeginAlertSheet(titleText, okText, QString(), QString(), mainWindow(), this,
                    NSSelector(this, &UninstallerController::emptySheetDidEnd_returnCode_contextInfo_),
                    NSSheetCallback(), nullptr, "%s", messageText.toUtf8().constData());
}

// ---- Completion sheet ------------------------------------------------------------------

void UninstallerController::restartNowSheetDidEnd_returnCode_contextInfo_(NSWindow sheet, NSInteger, void*) {
  sheet.orderOut_(this);
}

void UninstallerController::quitNow_(QObject*) {
  NSApp->endSheet_(fCompleteWindow);
  NSApp->terminate_(this);
}

void UninstallerController::restartNow_(QObject*) {
  NSApp->endSheet_(fCompleteWindow);
  QPointer<UninstallerController> self(this);
  RequestRestart(this, [self](OSStatus result) {
    // The request's status is a 16-bit code, widened.
    const OSStatus err = static_cast<SInt16>(result);
    // With 0 the application stays open while the system restarts.
    if (err != noErr && !self.isNull()) {
      self->reportError_(err);
    }
  });
}

void UninstallerController::toggleCompleteMoreInfo_(QObject*) {
  const CGFloat logHeight = fCompleteLogArea.frame().size.height;
  const NSRect frame = fCompleteWindow.frame();
  if (fCompleteMoreInfoVisible) {
    // Hide: the log area leaves first, then the bottom edge moves up.
    fCompleteLogArea.removeFromSuperview();
    fCompleteWindow.setFrame_display_animate_(
        NSMakeRect(frame.origin.x, frame.origin.y + logHeight, frame.size.width, frame.size.height - logHeight),
        true, true);
    fCompleteMoreInfoToggleButton.setTitle_(QLatin1String(kMoreInformation));
  } else {
    // Show: the bottom edge moves down first, then the log area comes back.
    fCompleteWindow.setFrame_display_animate_(
        NSMakeRect(frame.origin.x, frame.origin.y - logHeight, frame.size.width, frame.size.height + logHeight),
        true, true);
    fCompleteWindow.contentView().addSubview_(fCompleteLogArea);
    fCompleteMoreInfoToggleButton.setTitle_(QLatin1String(kLessInformation));
  }
  fCompleteMoreInfoVisible = !fCompleteMoreInfoVisible;
  fCompleteWindow.setShowsResizeIndicator_(fCompleteMoreInfoVisible);
}

void UninstallerController::restart() {
  fCompleteRestartButton.setTitle_(LocalizedString(QStringLiteral("restartButton")));
  fCompleteDoneButton.setTitle_(LocalizedString(QStringLiteral("quitButton")));
  fCompleteTitle.setStringValue_(LocalizedString(QStringLiteral("uninstallSucceeded")));
  fCompleteMessage.setStringValue_(LocalizedString(QStringLiteral("restartMessage")));
  NSApp->beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(
      fCompleteWindow, mainWindow(), this,
      NSSelector(this, &UninstallerController::restartNowSheetDidEnd_returnCode_contextInfo_), nullptr);
}

// ---- Uninstall flow --------------------------------------------------------------------

void UninstallerController::checkRestartSheetDidEnd_returnCode_contextInfo_(NSWindow, NSInteger returnCode,
                                                                            void*) {
  if (returnCode != NSAlertDefaultReturn) {
    return;
  }
  // Without the check box the devices go too; the mixed state counts as set.
  const Boolean removeMidiDevices = fRemoveMidiDevices.isNil() || fRemoveMidiDevices.state() != NSOffState;

  CFStringRef log = nullptr;
  const OSStatus err = fEngine(&log, removeMidiDevices);
  QString text = StringFromCFString(log);
  if (log != nullptr) {
    CFRelease(log);
  }
  // Runs are not cleared away: a failed run's log stays above the next
  // one's, each starting on a line of its own.
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
    text.append(QLatin1Char('\n'));
  }
  fCompleteUninstallLog.insertText_(text);

  if (err == kHelperToolDeniedErr || err == kHelperToolCanceledErr) {
    return;
  }
  if (err == noErr) {
    restart();
  } else {
    reportError_(err);
  }
}

void UninstallerController::uninstall_(QObject*) {
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      QStringLiteral("necessaryToRestart"), QStringLiteral("chanceToSave"), QStringLiteral("proceedButton"),
      QStringLiteral("cancelButton"), QString(), &UninstallerController::checkRestartSheetDidEnd_returnCode_contextInfo_);
}

void UninstallerController::doWarningAfterRestartSheet_returnCode_contextInfo_(NSWindow, NSInteger returnCode,
                                                                              void*) {
  if (returnCode != NSAlertDefaultReturn) {
    return;
  }
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      QStringLiteral("sharedWarningTitle"), QStringLiteral("sharedWarningMessage"), QStringLiteral("proceedButton"),
      QStringLiteral("cancelButton"), QString(), &UninstallerController::checkRestartSheetDidEnd_returnCode_contextInfo_);
}

void UninstallerController::uninstallWithWarning_(QObject*) {
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      QStringLiteral("necessaryToRestart"), QStringLiteral("chanceToSave"), QStringLiteral("proceedButton"),
      QStringLiteral("cancelButton"), QString(),
      &UninstallerController::doWarningAfterRestartSheet_returnCode_contextInfo_);
}

// ---- Helpers ---------------------------------------------------------------------------

QString UninstallerFormatStatus(const QString& format, OSStatus status) {
  QString out;
  out.reserve(format.size() + 12);
  bool used = false;
  const qsizetype n = format.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = format[i];
    if (c != QLatin1Char('%')) {
      out.append(c);
      i++;
      continue;
    }
    if (i + 1 < n && format[i + 1] == QLatin1Char('%')) {
      out.append(QLatin1Char('%'));
      i += 2;
      continue;
    }
    // %[flags][width][length](d|i)
    qsizetype j = i + 1;
    QByteArray spec("%");
    while (j < n && format[j].unicode() < 128 && format[j].unicode() != 0 &&
           std::strchr("-+ 0#", format[j].toLatin1()) != nullptr) {
      spec.append(format[j].toLatin1());
      j++;
    }
    int widthDigits = 0;
    while (j < n && format[j].isDigit() && format[j].unicode() < 128 && widthDigits < 3) {
      spec.append(format[j].toLatin1());
      j++;
      widthDigits++;
    }
    while (j < n && (format[j] == QLatin1Char('h') || format[j] == QLatin1Char('l')) && j - i < 12) {
      j++;  // the value is formatted as int whatever length was written
    }
    if (!used && j < n && (format[j] == QLatin1Char('d') || format[j] == QLatin1Char('i'))) {
      spec.append('d');
      out.append(QString::asprintf(spec.constData(), static_cast<int>(status)));
      used = true;
      i = j + 1;
      continue;
    }
    out.append(c);  // not the one directive: shown as written
    i++;
  }
  return out;
}

int UninstallerApplicationMain(int argc, char* argv[], UninstallerController::Engine engine) {
  // Ties the windows to the desktop entry, and so to its icon. No display
  // name: the window system would add it to every (translated) window title.
  QGuiApplication::setDesktopFileName(QStringLiteral("quillon-uninstaller"));
  return NSApplicationMain(argc, argv, QStringLiteral("Uninstaller"), [&engine](NSNib& nib) {
    return std::make_unique<UninstallerController>(nib, engine);
  });
}
