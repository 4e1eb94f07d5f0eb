#include "UninstallerController.h"

#include "RestartRequest.h"

#include <UninstallerDiagnostics.h>
#include <UninstallerRunLog.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

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
  // The engine's and the list's threads report to this object; they must be
  // done first (the tools they wait for end within their time limit).
  fWorker.reset();
  if (fPreviewThread.joinable()) fPreviewThread.join();
  if (QApplication::overrideCursor() != nullptr && fPreviewCursor) QApplication::restoreOverrideCursor();
  FinishUninstall();
  StopListeningForRaise();
  UninstallerLockRelease(fWindowLockFd);
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

  // Ctrl+Q, and Escape with no sheet up, close the main window as its close
  // box does (a sheet, being modal, takes the keys while it is up).
  if (QWidget* window = mainWindow().widget()) {
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::Key_Escape)}) {
      auto* shortcut = new QShortcut(keys, window);
      shortcut->setContext(Qt::WindowShortcut);
      QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
  }

  // Start with the log hidden: the toggle takes it out and shrinks the sheet.
  fCompleteMoreInfoVisible = true;
  toggleCompleteMoreInfo_(nullptr);

  // One window per user: this one listens for a second one's knock for its
  // whole life; a second one says so at once rather than on Uninstall, and
  // knocks as it goes, so that the first comes forward then (knocking
  // earlier would only have the two fight over the focus).
  const int err = UninstallerLockAcquire(fEnvironment.lockPath + ".window", &fWindowLockFd);
  fSecondWindow = err == EWOULDBLOCK;
  if (err == 0) ListenForRaise();
  // Once the window is up: its sheets need it on screen.
  QTimer::singleShot(0, this, [this]() { LookAtStart(); });
}

void UninstallerController::LookAtStart() {
  if (fSecondWindow) {
    DisableUninstall();
    runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
        QStringLiteral("alreadyOpenTitle"), QStringLiteral("alreadyOpenMessage"), QString(), QString(), QString(),
        &UninstallerController::quitSheetDidEnd_returnCode_contextInfo_);
    return;
  }
  if (fEnvironment.installedParts && UninstallerPlanFor(fEnvironment.installedParts()).nothingInstalled) {
    DisableUninstall();
    runAlertWithTitle_message_(QStringLiteral("notInstalledTitle"), QStringLiteral("notInstalledMessage"));
  }
}

void UninstallerController::DisableUninstall() {
  QWidget* window = mainWindow().widget();
  if (window == nullptr) return;
  auto* uninstall = window->findChild<QPushButton*>(QStringLiteral("uninstallButton"));
  auto* quit = window->findChild<QPushButton*>(QStringLiteral("quitButton"));
  if (uninstall != nullptr) {
    uninstall->setDefault(false);
    uninstall->setEnabled(false);
  }
  if (QWidget* box = fRemoveMidiDevices.widget()) box->setEnabled(false);
  if (quit != nullptr) {
    quit->setDefault(true);
    quit->setFocus();
  }
}

void UninstallerController::quitSheetDidEnd_returnCode_contextInfo_(NSWindow, NSInteger, void*) {
  RaiseOtherWindow();
  NSApp->terminate_(this);
}

void UninstallerController::RaiseOtherWindow() {
  // Ask the other one to come forward; it listens for as long as it is open.
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
  ShowFailureSheet(titleText, {UninstallerStatusMeaning(fBundle, status), LocalizedString(QStringLiteral("tryAgain"))});
}

void UninstallerController::ReportFailedRun(const UninstallerRunResult& result) {
  // What failed, where, what state things are in and what to do; the number
  // is in the details (the engine's last log line), not in the headline.
  const UninstallerFailureText text = UninstallerDescribeFailure(fBundle, result.status, result.failure);
  ShowFailureSheet(text.title, text.paragraphs);
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
    fCompleteMoreInfoToggleButton.setTitle_(LocalizedString(QStringLiteral("moreInformationButton")));
  } else {
    // Show: the bottom edge moves down first, then the log area comes back.
    fCompleteWindow.setFrame_display_animate_(
        NSMakeRect(frame.origin.x, frame.origin.y - logHeight, frame.size.width, frame.size.height + logHeight),
        true, true);
    fCompleteWindow.contentView().addSubview_(fCompleteLogArea);
    fCompleteMoreInfoToggleButton.setTitle_(LocalizedString(QStringLiteral("lessInformationButton")));
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
  // The default button has the first focus, as on every sheet.
  if (QWidget* done = fCompleteDoneButton.widget()) {
    done->setFocus();
  }
  NSApp->beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(
      fCompleteWindow, mainWindow(), this,
      NSSelector(this, &UninstallerController::restartNowSheetDidEnd_returnCode_contextInfo_), nullptr);
}

// ---- Uninstall flow --------------------------------------------------------------------

void UninstallerController::warningSheetDidEnd_returnCode_contextInfo_(NSWindow, NSInteger returnCode, void*) {
  if (returnCode != NSAlertDefaultReturn) {
    FinishUninstall();
    return;
  }
  fWarningShown++;
  AskWarning();
}

void UninstallerController::AskWarning() {
  if (fWarningShown < fWarnings.size()) {
    const UninstallerWarning& warning = fWarnings[fWarningShown];
    if (fWarningShown == 0) {
      // The first warning says what will go, as apt does before [Y/n]: the
      // counts in the message, the paths behind Show Details.
      const QString message = LocalizedString(QLatin1String(warning.messageKey)) + QStringLiteral("\n\n") +
                              PreviewSummary();
      NSBeginAlertSheetWithDetails(
          LocalizedString(QLatin1String(warning.titleKey)), LocalizedString(QStringLiteral("proceedButton")),
          LocalizedString(QStringLiteral("cancelButton")), QString(), mainWindow(), this, NSSheetCallback(),
          NSSelector(this, &UninstallerController::warningSheetDidEnd_returnCode_contextInfo_), nullptr, message,
          PreviewDetails());
      return;
    }
    runAlertWithTitle_message_defaultButton_alternateButton_otherButton_endAction_(
        QLatin1String(warning.titleKey), QLatin1String(warning.messageKey), QStringLiteral("proceedButton"),
        QStringLiteral("cancelButton"), QString(), &UninstallerController::warningSheetDidEnd_returnCode_contextInfo_);
    return;
  }
  RunEngine(RemovesMidiDevices());
}

bool UninstallerController::RemovesMidiDevices() const {
  // Without the check box the devices go too; the mixed state counts as set.
  return fRemoveMidiDevices.isNil() || fRemoveMidiDevices.state() != NSOffState;
}

void UninstallerController::StartPreview(bool removeMidiDevices) {
  assert(!fPreviewThread.joinable());
  auto preview = std::make_shared<Preview>();
  preview->systemPart = fPlan.systemPart;
  preview->removeMidiDevices = removeMidiDevices;
  // The tools take milliseconds as a rule, but a stuck one up to its time
  // limit: the window keeps answering meanwhile, with the busy pointer.
  QApplication::setOverrideCursor(Qt::BusyCursor);
  fPreviewCursor = true;
  auto done = [this, preview]() {
    fPreviewThread.join();
    fPreview = std::move(*preview);
    if (fPreviewCursor) QApplication::restoreOverrideCursor();
    fPreviewCursor = false;
    AskWarning();
  };
  try {
    fPreviewThread = std::thread([this, preview, done, lister = fEnvironment.preview, policy = fEnvironment.policy]() {
      if (preview->systemPart && policy) preview->policy = policy();
      if (lister) {
        const Boolean midi = preview->removeMidiDevices ? 1 : 0;
        const int systemErr = preview->systemPart ? lister(true, midi, &preview->system) : 0;
        const int userErr = lister(false, midi, &preview->user);
        preview->error = systemErr != 0 ? systemErr : userErr;
      } else {
        preview->error = ENOSYS;
      }
      QMetaObject::invokeMethod(this, done, Qt::QueuedConnection);
    });
  } catch (const std::system_error& error) {
    // No thread: the warning comes without the list, which says so.
    preview->error = error.code().value() != 0 ? error.code().value() : EAGAIN;
    fPreview = std::move(*preview);
    QApplication::restoreOverrideCursor();
    fPreviewCursor = false;
    AskWarning();
  }
}

namespace {

// Files, links and login items are files to a reader; folders are folders;
// an ALSA block is part of a file that stays.
size_t FilesAndFolders(const UninstallerPreviewPart& part) {
  return part.items.size() - part.Count(UninstallerPreviewKind::kAlsaBlock);
}

QString BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

QString UninstallerController::PreviewSummary() const {
  if (fPreview.error != 0) {
    // What the receipts could not tell is not guessed.
    return LocalizedString(QStringLiteral("previewUnavailable"));
  }
  const size_t system = fPreview.systemPart ? FilesAndFolders(fPreview.system) : 0;
  const size_t user = FilesAndFolders(fPreview.user);
  if (system + user == 0 && fPreview.user.Count(UninstallerPreviewKind::kAlsaBlock) == 0 &&
      fPreview.system.Count(UninstallerPreviewKind::kAlsaBlock) == 0) {
    return LocalizedString(QStringLiteral("previewNothing"));
  }
  QStringList lines;
  if (fPreview.systemPart) {
    lines.append(
        LocalizedString(QStringLiteral("previewSummary")).arg(QString::number(system), QString::number(user)));
  } else {
    lines.append(LocalizedString(QStringLiteral("previewSummaryUserPart")).arg(QString::number(user)));
  }
  QStringList loginItems, alsaFiles;
  for (const UninstallerPreviewPart* part : {&fPreview.system, &fPreview.user}) {
    for (const UninstallerPreviewItem& item : part->items) {
      if (item.kind == UninstallerPreviewKind::kLoginItem) loginItems.append(BaseName(item.path));
      if (item.kind == UninstallerPreviewKind::kAlsaBlock) alsaFiles.append(QString::fromStdString(item.path));
    }
  }
  if (!loginItems.isEmpty()) {
    lines.append(LocalizedString(QStringLiteral("previewSummaryLoginItem")).arg(loginItems.join(QStringLiteral(", "))));
  }
  // The tools look for the ALSA blocks only when the MIDI devices go.
  if (fPreview.removeMidiDevices && !alsaFiles.isEmpty()) {
    lines.append(LocalizedString(QStringLiteral("previewSummaryAlsa")).arg(alsaFiles.join(QStringLiteral(", "))));
  }
  return lines.join(QLatin1Char(' '));
}

QString UninstallerController::PreviewDetails() const {
  // As the terminal lists it: per part a heading with its counts, then its
  // paths, the login items and ALSA blocks named as such, then what could
  // not be told.
  QString text;
  auto listPart = [&](const UninstallerPreviewPart& part, const char* headingKey) {
    if (part.items.empty()) return;
    const size_t folders = part.Count(UninstallerPreviewKind::kFolder);
    text += LocalizedString(QLatin1String(headingKey))
                .arg(QString::number(FilesAndFolders(part) - folders), QString::number(folders)) +
            QLatin1Char('\n');
    for (const UninstallerPreviewItem& item : part.items) {
      const QString path = QString::fromStdString(item.path);
      switch (item.kind) {
        case UninstallerPreviewKind::kLoginItem:
          text += QStringLiteral("  ") + LocalizedString(QStringLiteral("previewLoginItem")).arg(path);
          break;
        case UninstallerPreviewKind::kAlsaBlock:
          text += QStringLiteral("  ") + LocalizedString(QStringLiteral("previewAlsaBlock")).arg(path);
          break;
        case UninstallerPreviewKind::kFolder:
          text += QStringLiteral("  ") + path + QLatin1Char('/');
          break;
        default:
          text += QStringLiteral("  ") + path;
          break;
      }
      text += QLatin1Char('\n');
    }
  };
  if (fPreview.systemPart) listPart(fPreview.system, "previewSystemPart");
  listPart(fPreview.user, "previewUserPart");
  if (!text.isEmpty()) text += LocalizedString(QStringLiteral("previewFoldersNote")) + QLatin1Char('\n');
  for (const UninstallerPreviewPart* part : {&fPreview.system, &fPreview.user}) {
    for (const std::string& note : part->notes) {
      text += LocalizedString(QStringLiteral("previewNote")).arg(QString::fromStdString(note)) + QLatin1Char('\n');
    }
  }
  return text;
}

bool UninstallerController::PrepareUninstall() {
  if (fLockFd >= 0 || fWorker != nullptr || fPreviewThread.joinable()) {
    return false;  // this window is in an uninstall already
  }
  const UninstallerPlan plan =
      UninstallerPlanFor(fEnvironment.installedParts ? fEnvironment.installedParts() : kUninstallerSystemPart);
  if (plan.nothingInstalled) {
    runAlertWithTitle_message_(QStringLiteral("notInstalledTitle"), QStringLiteral("notInstalledMessage"));
    return false;
  }
  fPlan = plan;
  fUserPartOnly = plan.userPartOnly;

  // One uninstaller at a time, from here to the end of the clean-up.
  const int err = UninstallerLockAcquire(fEnvironment.lockPath, &fLockFd);
  if (err == EWOULDBLOCK) {
    // Another uninstall runs: the terminal's, or a window's that started
    // before this one could know (a window that knows listens for a knock).
    RaiseOtherWindow();
    runAlertWithTitle_message_(QStringLiteral("alreadyRunningTitle"), QStringLiteral("alreadyRunningMessage"));
    return false;
  }
  if (err != 0) {
    // No lock file can be made (a read-only home, say): go on without one
    // rather than refuse the uninstall.
    dprintf(UninstallerOwnStderr(), "Uninstaller: cannot take the lock %s: %s\n", fEnvironment.lockPath.c_str(),
            std::strerror(err));
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
  // We hold the window's lock, so a name left there is a dead instance's.
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

void UninstallerController::StopListeningForRaise() {
  delete fRaiseNotifier;
  fRaiseNotifier = nullptr;
  if (fRaiseSocket >= 0) {
    (void) unlink((fEnvironment.lockPath + ".raise").c_str());
    (void) close(fRaiseSocket);
    fRaiseSocket = -1;
  }
}

void UninstallerController::FinishUninstall() {
  UninstallerLockRelease(fLockFd);
  fLockFd = -1;
}

void UninstallerController::RunEngine(Boolean removeMidiDevices) {
  assert(fWorker == nullptr);
  fLastRunLog.clear();
  fLogFileWritten = false;
  ShowBusySheet();
  SetBusyText(fUserPartOnly ? QStringLiteral("removingQuillon") : QStringLiteral("waitingForAuthorization"));

  const UninstallerEngineOptions options = {fUserPartOnly, &UninstallerController::PrivilegedToolRunning, nullptr,
                                            this, false, nullptr, nullptr, nullptr};
  fWorker = std::make_unique<UninstallerWorker>();
  const bool started = fWorker->Start(fEngine, removeMidiDevices, options, [this](const UninstallerRunResult& result) {
    // On the worker thread, as its last act: the rest happens on the main
    // thread, once the thread is done.
    QMetaObject::invokeMethod(this, [this, result]() {
      fWorker.reset();
      EngineDidFinish(result);
    }, Qt::QueuedConnection);
  });
  if (!started) {
    fWorker.reset();
    UninstallerRunResult result;
    result.status = EAGAIN;
    result.outcome = UninstallerOutcomeOf(result.status);
    EngineDidFinish(result);
  }
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

void UninstallerController::EngineDidFinish(const UninstallerRunResult& result) {
  NSApp->endSheet_(NSWindow(fBusyWindow));
  const QString log = QString::fromUtf8(result.log.data(), static_cast<qsizetype>(result.log.size()));
  QString text = log;
  // Runs are not cleared away: a failed run's log stays above the next
  // one's, each starting on a line of its own.
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
    text.append(QLatin1Char('\n'));
  }
  fCompleteUninstallLog.insertText_(text);
  // The details of a failure hold the run's diagnostics too: what the
  // engine and the helper tool said, which standard error no longer shows.
  fLastRunLog = log;
  if (!result.diagnostics.empty()) {
    if (!fLastRunLog.isEmpty() && !fLastRunLog.endsWith(QLatin1Char('\n'))) fLastRunLog.append(QLatin1Char('\n'));
    fLastRunLog.append(QString::fromUtf8(result.diagnostics.data(), static_cast<qsizetype>(result.diagnostics.size())));
  }
  if (!fEnvironment.logFilePath.empty()) {
    const int logErr = UninstallerRecordRun(fEnvironment.logFilePath, result);
    fLogFileWritten = logErr == 0;
    if (logErr != 0) {
      dprintf(UninstallerOwnStderr(), "Uninstaller: cannot write the log %s: %s\n",
              fEnvironment.logFilePath.c_str(), std::strerror(logErr));
    }
  }
  FinishUninstall();

  switch (result.outcome) {
    case UninstallerOutcome::kCancelled:
      return;  // the user's own decision
    case UninstallerOutcome::kDenied:
      // Where a password was to be asked for, the password was refused;
      // otherwise the policy refused without asking.
      if (fPreview.policy == UninstallerPolicyVerdict::kChallenge) {
        ShowFailureSheet(LocalizedString(QStringLiteral("passwordRefusedTitle")),
                         {LocalizedString(QStringLiteral("passwordRefusedMessage"))});
        return;
      }
      ShowFailureSheet(LocalizedString(QStringLiteral("deniedTitle")), {LocalizedString(QStringLiteral("deniedMessage"))});
      return;
    case UninstallerOutcome::kNoAgent:
      ShowFailureSheet(LocalizedString(QStringLiteral("noAgentTitle")),
                       {LocalizedString(QStringLiteral("noAgentMessage"))});
      return;
    case UninstallerOutcome::kRemoved:
    case UninstallerOutcome::kNothingToDo:
      restart();
      return;
    case UninstallerOutcome::kFailed:
      ReportFailedRun(result);
      return;
  }
}

void UninstallerController::BeginWarnings(bool removeMidiDevices) {
  if (!PrepareUninstall()) {
    return;
  }
  fWarnings = UninstallerWarningsFor(fPlan, removeMidiDevices);
  fWarningShown = 0;
  // The list is made afresh each time: a run that failed halfway, or the
  // terminal's, may have changed it since the window opened.
  StartPreview(RemovesMidiDevices());
}

void UninstallerController::uninstall_(QObject*) { BeginWarnings(false); }

void UninstallerController::uninstallWithWarning_(QObject*) { BeginWarnings(true); }

void UninstallerController::uninstallAsChosen_(QObject* sender) {
  // The shared settings are touched only when the MIDI devices go.
  if (fRemoveMidiDevices.isNil() || fRemoveMidiDevices.state() != NSOffState) {
    uninstallWithWarning_(sender);
  } else {
    uninstall_(sender);
  }
}
