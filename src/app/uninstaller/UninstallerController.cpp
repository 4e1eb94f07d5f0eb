#include "UninstallerController.h"

#include "RestartRequest.h"

#include <MoreUNIXText.h>
#include <UninstallerRunLog.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QShortcut>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// The helper tool's results for a refused and a canceled authorization, and
// Authorization Services' status for a password that no agent could ask for.
// Only the user's own cancel is shown as nothing.
constexpr OSStatus kHelperToolDeniedErr = 5362;
constexpr OSStatus kHelperToolCanceledErr = 5363;
constexpr OSStatus kNoAuthenticationAgentErr = -60007;

// The terminal command that does what the window does, for the cases the
// window cannot serve.
const char kTerminalCommand[] = "quillon-uninstall";
const char kNeedsGraphicalSession[] = "quillon-uninstaller: a graphical session is needed; in a terminal, use ";

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

UninstallerController::UninstallerController(NSNib& nib, Engine engine, Environment environment)
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
      fEngine(std::move(engine)),
      fEnvironment(std::move(environment)) {
  nib.connectActions<UninstallerController>(this, {
                                                      {"uninstall:", &UninstallerController::uninstall_},
                                                      {"uninstallWithWarning:", &UninstallerController::uninstallWithWarning_},
                                                      {"uninstallAsChosen:", &UninstallerController::uninstallAsChosen_},
                                                      {"quitNow:", &UninstallerController::quitNow_},
                                                      {"restartNow:", &UninstallerController::restartNow_},
                                                      {"toggleCompleteMoreInfo:", &UninstallerController::toggleCompleteMoreInfo_},
                                                  });
  if (QWidget* window = mainWindow().widget()) {
    window->installEventFilter(this);
  }
}

UninstallerController::~UninstallerController() {
  // The engine's thread reports to this object; it must be done first.
  if (fWorker != nullptr) {
    fWorker->wait();
    delete fWorker;
    fWorker = nullptr;
  }
  FinishUninstall();
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

  // Every window carries the menu entry's icon (_NET_WM_ICON), so task
  // switchers show it even where they do not match the window to the entry.
  // Drawing it at the sizes the window system wants takes several
  // milliseconds, so it comes once the main window is on screen; Qt hands it
  // to every window then.
  const QString icon = fBundle.pathForResource_ofType_(QStringLiteral("quillon-uninstaller"), QStringLiteral("svg"));
  if (!icon.isNull()) {
    QTimer::singleShot(0, qApp, [icon]() { QApplication::setWindowIcon(QIcon(icon)); });
  }

  fCompleteLogArea = fCompleteUninstallLog.enclosingScrollView();

  // Escape on the completion sheet means Quit, as its default button does;
  // Restart takes a click or its own key (Space once it has the focus).
  if (QWidget* complete = fCompleteWindow.widget()) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), complete);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, this, [this]() { quitNow_(nullptr); });
  }

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
  const QString titleText = UninstallerFormatStatus(LocalizedString(QStringLiteral("errorTemplate")), status);
  // What the status means, in plain language, then what to do.
  QString meaning;
  if (const char* key = UninstallerStatusTextKey(status)) {
    meaning = LocalizedString(QLatin1String(key));
  } else if (UninstallerStatusIsErrno(status)) {
    meaning = QString::fromLocal8Bit(std::strerror(status)) + QLatin1Char('.');
  }
  ShowFailureSheet(titleText, {meaning, LocalizedString(QStringLiteral("tryAgain"))});
}

void UninstallerController::ShowFailureSheet(const QString& titleText, QStringList paragraphs) {
  paragraphs.append(LogFileNote());
  paragraphs.removeAll(QString());
  NSBeginAlertSheetWithDetails(titleText, LocalizedString(QStringLiteral("okButton")), QString(), QString(),
                               mainWindow(), this,
                               NSSelector(this, &UninstallerController::emptySheetDidEnd_returnCode_contextInfo_),
                               NSSheetCallback(), nullptr, paragraphs.join(QStringLiteral("\n\n")), fLastRunLog);
}

QString UninstallerController::LogFileNote() const {
  if (!fLogFileWritten) {
    return QString();
  }
  return LocalizedString(QStringLiteral("logFileNote")).arg(QString::fromStdString(fEnvironment.logFilePath));
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
  // Only the system part needs a restart; the user's part alone does not.
  QString message = LocalizedString(fUserPartOnly ? QStringLiteral("userPartRemoved") : QStringLiteral("restartMessage"));
  const QString note = LogFileNote();
  if (!note.isEmpty()) {
    message += QLatin1Char(' ') + note;
  }
  fCompleteMessage.setStringValue_(message);
  if (QWidget* restartButton = fCompleteRestartButton.widget()) {
    restartButton->setVisible(!fUserPartOnly);
  }
  NSApp->beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(
      fCompleteWindow, mainWindow(), this,
      NSSelector(this, &UninstallerController::restartNowSheetDidEnd_returnCode_contextInfo_), nullptr);
}

// ---- Uninstall flow --------------------------------------------------------------------

void UninstallerController::checkRestartSheetDidEnd_returnCode_contextInfo_(NSWindow, NSInteger returnCode,
                                                                            void*) {
  if (returnCode != NSAlertDefaultReturn) {
    FinishUninstall();
    return;
  }
  // Without the check box the devices go too; the mixed state counts as set.
  const Boolean removeMidiDevices = fRemoveMidiDevices.isNil() || fRemoveMidiDevices.state() != NSOffState;
  RunEngine(removeMidiDevices);
}

bool UninstallerController::PrepareUninstall() {
  if (fLockFd >= 0 || fWorker != nullptr) {
    return false;  // this window is in an uninstall already
  }
  const unsigned parts = fEnvironment.installedParts ? fEnvironment.installedParts() : kUninstallerSystemPart;
  if (parts == kUninstallerNothingInstalled) {
    runAlertWithTitle_message_(QStringLiteral("notInstalledTitle"), QStringLiteral("notInstalledMessage"));
    return false;
  }
  fUserPartOnly = (parts & kUninstallerSystemPart) == 0;

  // One uninstaller at a time, from here to the end of the clean-up.
  const int err = UninstallerLockAcquire(fEnvironment.lockPath, &fLockFd);
  if (err == EWOULDBLOCK) {
    // Ask the other one to come forward; it listens while it holds the lock.
    const int peer = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = fEnvironment.lockPath + ".raise";
    if (peer >= 0 && path.size() < sizeof address.sun_path) {
      std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
      (void) ::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (peer >= 0) {
      (void) close(peer);
    }
    runAlertWithTitle_message_(QStringLiteral("alreadyRunningTitle"), QStringLiteral("alreadyRunningMessage"));
    return false;
  }
  if (err != 0) {
    // No lock file can be made (a read-only home, say): go on without one
    // rather than refuse the uninstall.
    std::fprintf(stderr, "Uninstaller: cannot take the lock %s: %s\n", fEnvironment.lockPath.c_str(),
                 std::strerror(err));
  } else {
    ListenForRaise();
  }
  return true;
}

void UninstallerController::ListenForRaise() {
  const std::string path = fEnvironment.lockPath + ".raise";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) {
    return;
  }
  // We hold the lock, so a name left there is a dead instance's.
  (void) unlink(path.c_str());
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0) {
    (void) close(listener);
    return;
  }
  fRaiseSocket = listener;
  auto* notifier = new QSocketNotifier(listener, QSocketNotifier::Read, this);
  fRaiseNotifier = notifier;
  QObject::connect(notifier, &QSocketNotifier::activated, this, [this]() {
    const int peer = accept4(fRaiseSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer >= 0) {
      (void) close(peer);
    }
    if (QWidget* window = mainWindow().widget()) {
      window->showNormal();
      window->raise();
      window->activateWindow();
    }
  });
}

void UninstallerController::FinishUninstall() {
  delete fRaiseNotifier;
  fRaiseNotifier = nullptr;
  if (fRaiseSocket >= 0) {
    (void) unlink((fEnvironment.lockPath + ".raise").c_str());
    (void) close(fRaiseSocket);
    fRaiseSocket = -1;
  }
  UninstallerLockRelease(fLockFd);
  fLockFd = -1;
}

void UninstallerController::RunEngine(Boolean removeMidiDevices) {
  assert(fWorker == nullptr);
  fLastRunLog.clear();
  fLogFileWritten = false;
  ShowBusySheet();
  SetBusyText(fUserPartOnly ? QStringLiteral("removingQuillon") : QStringLiteral("waitingForAuthorization"));

  struct Outcome {
    OSStatus status = noErr;
    QString log;
  };
  auto outcome = std::make_shared<Outcome>();
  const UninstallerEngineOptions options = {fUserPartOnly, &UninstallerController::PrivilegedToolRunning, nullptr,
                                            this, false, nullptr, nullptr};
  Engine engine = fEngine;
  fWorker = QThread::create([engine, removeMidiDevices, options, outcome]() {
    CFStringRef log = nullptr;
    outcome->status = engine(&log, removeMidiDevices, options);
    // Shown in the log view and Show Details: nothing a user's script or
    // receipt wrote may pass as anything but text.
    outcome->log = QString::fromStdString(MoreUNIXSafeText(StringFromCFString(log).toStdString()));
    if (log != nullptr) {
      CFRelease(log);
    }
  });
  QObject::connect(fWorker, &QThread::finished, this, [this, outcome]() {
    fWorker->wait();
    delete fWorker;
    fWorker = nullptr;
    EngineDidFinish(outcome->status, outcome->log);
  }, Qt::QueuedConnection);
  fWorker->start();
}

void UninstallerController::PrivilegedToolRunning(void* context) {
  // On the engine's watch thread: the sheet changes on the main thread.
  auto* self = static_cast<UninstallerController*>(context);
  QMetaObject::invokeMethod(self, [self]() { self->SetBusyText(QStringLiteral("removingQuillon")); },
                            Qt::QueuedConnection);
}

NSWindow UninstallerController::busySheet() const { return NSWindow(fBusyWindow); }

void UninstallerController::ShowBusySheet() {
  if (fBusyWindow == nullptr) {
    fBusyWindow = new QDialog(mainWindow().widget());
    fBusyWindow->setObjectName(QStringLiteral("fBusySheet"));
    fBusyWindow->setWindowTitle(mainWindow().title());
    auto* layout = new QVBoxLayout(fBusyWindow);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);
    fBusyLabel = new QLabel(fBusyWindow);
    fBusyLabel->setTextFormat(Qt::PlainText);
    fBusyLabel->setMinimumWidth(fBusyLabel->fontMetrics().averageCharWidth() * 44);
    auto* bar = new QProgressBar(fBusyWindow);
    bar->setRange(0, 0);  // indeterminate: how long polkit and the scripts take is unknown
    bar->setTextVisible(false);
    bar->setAccessibleName(LocalizedString(QStringLiteral("removingQuillon")));
    fBusyNote = new QLabel(fBusyWindow);
    fBusyNote->setTextFormat(Qt::PlainText);
    fBusyNote->setWordWrap(true);
    fBusyNote->hide();
    layout->addWidget(fBusyLabel);
    layout->addWidget(bar);
    layout->addWidget(fBusyNote);
  }
  fBusyNote->hide();
  NSApp->beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(
      NSWindow(fBusyWindow), mainWindow(), this,
      [](NSWindow sheet, NSInteger, void*) { sheet.orderOut_(nullptr); }, nullptr);
}

void UninstallerController::SetBusyText(const QString& key) {
  if (fBusyLabel != nullptr) {
    fBusyLabel->setText(LocalizedString(key));
    fBusyLabel->setAccessibleName(fBusyLabel->text());
  }
}

bool UninstallerController::eventFilter(QObject* watched, QEvent* event) {
  // Closing the window mid-uninstall would leave it half done: refuse, and
  // say why on the busy sheet.
  if (event->type() == QEvent::Close && fWorker != nullptr && watched == mainWindow().widget()) {
    event->ignore();
    if (fBusyNote != nullptr) {
      fBusyNote->setText(LocalizedString(QStringLiteral("closeRefused")));
      fBusyNote->show();
    }
    return true;
  }
  return false;
}

void UninstallerController::EngineDidFinish(OSStatus err, const QString& log) {
  NSApp->endSheet_(NSWindow(fBusyWindow));
  QString text = log;
  // Runs are not cleared away: a failed run's log stays above the next
  // one's, each starting on a line of its own.
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
    text.append(QLatin1Char('\n'));
  }
  fCompleteUninstallLog.insertText_(text);
  fLastRunLog = log;
  if (!fEnvironment.logFilePath.empty()) {
    const int logErr = UninstallerAppendRunLog(fEnvironment.logFilePath, log.toStdString(), err, std::time(nullptr));
    fLogFileWritten = logErr == 0;
    if (logErr != 0) {
      std::fprintf(stderr, "Uninstaller: cannot write the log %s: %s\n", fEnvironment.logFilePath.c_str(),
                   std::strerror(logErr));
    }
  }
  FinishUninstall();

  if (err == kHelperToolCanceledErr) {
    return;  // the user's own decision
  }
  if (err == kHelperToolDeniedErr) {
    ShowFailureSheet(LocalizedString(QStringLiteral("deniedTitle")), {LocalizedString(QStringLiteral("deniedMessage"))});
  } else if (err == kNoAuthenticationAgentErr) {
    ShowFailureSheet(LocalizedString(QStringLiteral("noAgentTitle")),
                     {LocalizedString(QStringLiteral("noAgentMessage"))});
  } else if (err == noErr) {
    restart();
  } else {
    reportError_(err);
  }
}

void UninstallerController::BeginFirstWarning(SheetSelector endAction) {
  if (!PrepareUninstall()) {
    return;
  }
  // With the system part gone there is nothing to restart for, and no
  // password to give: the first warning says that instead.
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      fUserPartOnly ? QStringLiteral("userPartOnlyTitle") : QStringLiteral("necessaryToRestart"),
      fUserPartOnly ? QStringLiteral("userPartOnlyMessage") : QStringLiteral("chanceToSave"),
      QStringLiteral("proceedButton"), QStringLiteral("cancelButton"), QString(), endAction);
}

void UninstallerController::uninstall_(QObject*) {
  BeginFirstWarning(&UninstallerController::checkRestartSheetDidEnd_returnCode_contextInfo_);
}

void UninstallerController::doWarningAfterRestartSheet_returnCode_contextInfo_(NSWindow, NSInteger returnCode,
                                                                              void*) {
  if (returnCode != NSAlertDefaultReturn) {
    FinishUninstall();
    return;
  }
  runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
      QStringLiteral("sharedWarningTitle"), QStringLiteral("sharedWarningMessage"), QStringLiteral("proceedButton"),
      QStringLiteral("cancelButton"), QString(), &UninstallerController::checkRestartSheetDidEnd_returnCode_contextInfo_);
}

void UninstallerController::uninstallWithWarning_(QObject*) {
  BeginFirstWarning(&UninstallerController::doWarningAfterRestartSheet_returnCode_contextInfo_);
}

void UninstallerController::uninstallAsChosen_(QObject* sender) {
  // The shared settings are touched only when the MIDI devices go.
  if (fRemoveMidiDevices.isNil() || fRemoveMidiDevices.state() != NSOffState) {
    uninstallWithWarning_(sender);
  } else {
    uninstall_(sender);
  }
}

// ---- Helpers ---------------------------------------------------------------------------

OSStatus UninstallerRunEngine(CFStringRef* log, Boolean removeMidiDevices, const UninstallerEngineOptions& options) {
  return UninstallerEngineWithOptions(log, removeMidiDevices, &options);
}

bool UninstallerHasDisplay() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const QByteArray chosen = platform != nullptr ? QByteArray(platform).split(';').first() : QByteArray();
  if (chosen.startsWith("xcb")) {
    return set("DISPLAY");
  }
  if (chosen.startsWith("wayland")) {
    return set("WAYLAND_DISPLAY");
  }
  if (!chosen.isEmpty()) {
    return true;  // offscreen, vnc, eglfs...: no display server needed
  }
  return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

UninstallerPreflightResult UninstallerPreflight(int argc, char* argv[], unsigned realUID, unsigned effectiveUID) {
  UninstallerPreflightResult result;
  const std::string usage =
      "Usage: quillon-uninstaller [--help | --version]\n"
      "Removes the Quillon MIDI driver suite from this computer, in a window.\n"
      "Without a graphical session, use " + std::string(kTerminalCommand) + " in a terminal.\n";
  if (argc > 1) {
    const std::string option = argv[1];
    if (argc == 2 && option == "--help") {
      result.exitStatus = 0;
      result.output = usage;
    } else if (argc == 2 && option == "--version") {
      result.exitStatus = 0;
      result.output = "quillon-uninstaller " QUILLON_VERSION "\n";
    } else {
      result.exitStatus = 2;
      result.error = "quillon-uninstaller: unknown option " + option + "\n" + usage;
    }
    return result;
  }
  if (!UninstallerHasDisplay()) {
    result.exitStatus = 1;
    result.error = kNeedsGraphicalSession + std::string(kTerminalCommand) + " instead.\n";
    return result;
  }
  if (realUID == 0 || effectiveUID == 0) {
    // As root the user's part would be looked for in root's home, and the
    // real user's left behind while the window reports success.
    result.exitStatus = 1;
    result.showInWindow = true;
    result.error = "quillon-uninstaller: do not run the uninstaller as root: start it as yourself and it asks for "
                   "the administrator password it needs. To remove Quillon as root, use " +
                   std::string(kTerminalCommand) + " in a terminal.\n";
  }
  return result;
}

namespace {

// Qt ends the process when no platform plugin can start, for instance when
// DISPLAY names a server that does not answer, with advice to reinstall
// that does not apply. Until a platform runs, such an end gets our one line
// and exit status 1 instead; every other message goes on as before.
QtMessageHandler gQtMessageHandler = nullptr;

void NoDisplayMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg && QGuiApplication::platformName().isEmpty()) {
    std::fprintf(stderr, "%s%s instead.\n", kNeedsGraphicalSession, kTerminalCommand);
    std::fflush(stderr);
    _exit(1);
  }
  if (gQtMessageHandler != nullptr) gQtMessageHandler(type, context, message);
}

}  // namespace

int UninstallerApplicationMain(int argc, char* argv[], UninstallerController::Engine engine) {
  const UninstallerPreflightResult preflight = UninstallerPreflight(argc, argv, getuid(), geteuid());
  std::fputs(preflight.output.c_str(), stdout);
  std::fputs(preflight.error.c_str(), stderr);
  if (preflight.exitStatus >= 0 && !preflight.showInWindow) {
    return preflight.exitStatus;
  }
  // Ties the windows to the desktop entry, and so to its icon. No display
  // name: the window system would add it to every (translated) window title.
  // The application name is the class of WM_CLASS, which the entry's
  // StartupWMClass names; left unset it would follow argv[0], which is the
  // command's link or the bundle's executable depending on how we start.
  QGuiApplication::setDesktopFileName(QStringLiteral("quillon-uninstaller"));
  QCoreApplication::setApplicationName(QStringLiteral("quillon-uninstaller"));
  gQtMessageHandler = qInstallMessageHandler(NoDisplayMessageHandler);
  if (preflight.showInWindow) {
    QApplication application(argc, argv);
    NSBundle& bundle = NSBundle::mainBundle();
    NSBeginAlertSheetWithDetails(bundle.localizedStringForKey_(QStringLiteral("rootRefusedTitle")),
                                 bundle.localizedStringForKey_(QStringLiteral("okButton")),
                                 QString(), QString(), NSWindow(), nullptr, NSSheetCallback(),
                                 [](NSWindow, NSInteger, void*) { QCoreApplication::quit(); }, nullptr,
                                 bundle.localizedStringForKey_(QStringLiteral("rootRefusedMessage")), QString());
    (void) QApplication::exec();
    return preflight.exitStatus;
  }
  return NSApplicationMain(argc, argv, QStringLiteral("Uninstaller"), [&engine](NSNib& nib) {
    return std::make_unique<UninstallerController>(nib, engine);
  });
}
