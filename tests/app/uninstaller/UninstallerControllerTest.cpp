// The uninstall flow, the alerts and the completion sheet, against a
// substitute engine.
#include "AppTestSupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <UninstallerRunLog.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>
#include <sys/socket.h>
#include <sys/un.h>

#include <unistd.h>

namespace {

using Flow = AppTest;

TEST_F(Flow, CancelOnTheFirstWarningLeavesTheWindowIdle) {
  for (auto action : {&UninstallerController::uninstall_, &UninstallerController::uninstallWithWarning_}) {
    (controller.get()->*action)(nullptr);
    EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("necessaryToRestart"));
    EXPECT_TRUE(SheetLabel(kNSAlertMessageName).startsWith(Text("chanceToSave")));
    EXPECT_EQ(SheetButton(kNSAlertDefaultButtonName)->text(), Text("proceedButton"));
    EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName)->text(), Text("cancelButton"));
    EXPECT_EQ(SheetButton(kNSAlertOtherButtonName), nullptr);
    Press(kNSAlertAlternateButtonName);
    EXPECT_TRUE(Sheet().isNil());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(Flow, ProceedThenCancelOnTheSecondWarningNeverCallsTheEngine) {
  controller->uninstallWithWarning_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("sharedWarningTitle"));
  EXPECT_EQ(SheetLabel(kNSAlertMessageName), Text("sharedWarningMessage"));
  Press(kNSAlertAlternateButtonName);
  EXPECT_TRUE(Sheet().isNil());
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(CompleteWindow().isVisible());
}

TEST_F(Flow, TheUninstallButtonLeadsThroughBothWarningsToTheCompletionSheet) {
  NSButton(Outlet("uninstallButton")).performClick_(nullptr);
  Press(kNSAlertDefaultButtonName);
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Sheet(), CompleteWindow());
}

TEST_F(Flow, StatusZeroShowsTheCompletionSheetWithItsTextsAndTheLog) {
  results = {{0, "removed /opt/quillon/bin/quillond\n"}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(calls.size(), 1u);
  NSWindow sheet = CompleteWindow();
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(Sheet(), sheet);
  EXPECT_EQ(NSTextField(Outlet("fCompleteTitle")).stringValue(), Text("uninstallSucceeded"));
  // The message names the file that keeps every run's log.
  EXPECT_EQ(NSTextField(Outlet("fCompleteMessage")).stringValue(),
            Text("restartMessage") + " " + Text("logFileNote").arg(state.path() + "/quillon/uninstall.log"));
  EXPECT_EQ(NSButton(Outlet("fCompleteRestartButton")).title(), Text("restartButton"));
  EXPECT_EQ(NSButton(Outlet("fCompleteDoneButton")).title(), Text("quitButton"));
  EXPECT_EQ(NSButton(Outlet("fCompleteMoreInfoToggleButton")).title(), "More Information");
  EXPECT_EQ(LogText(), "removed /opt/quillon/bin/quillond\n");
}

// A script's output may hold NUL bytes and escape sequences; what follows
// one is shown too, and they are shown written out.
TEST_F(Flow, TheLogIsShownWholePastANulByteWithControlsWrittenOut) {
  results = {{0, std::string("before\0after \x1b]0;t\x07\xC2\x9B" "2J\n", 24)}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(LogText(), "before\\x00after \\x1b]0;t\\x07\\u009b2J\n");
  QFile logFile(state.path() + "/quillon/uninstall.log");
  ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
  EXPECT_TRUE(logFile.readAll().endsWith("before\\x00after \\x1b]0;t\\x07\\u009b2J\n"));
}

TEST_F(Flow, OnlyCancelShowsNothingAndEveryRunsLogStaysAboveTheNextAndInTheLogFile) {
  results = {{5363, "Uninstaller failed with error 5363 (0x000014f3)"},
             {5362, "Uninstaller failed with error 5362 (0x000014f2)"},
             {-60007, "Uninstaller failed with error -60007 (0xffff1569)"},
             {0, "second run\n"}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_TRUE(Sheet().isNil());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // Denied by policy, and no agent to ask: each has its own sheet.
  for (const char* title : {"deniedTitle", "noAgentTitle"}) {
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
    EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text(title));
    Press(kNSAlertDefaultButtonName);
  }
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(Sheet(), CompleteWindow());
  EXPECT_EQ(LogText(),
            "Uninstaller failed with error 5363 (0x000014f3)\n"
            "Uninstaller failed with error 5362 (0x000014f2)\n"
            "Uninstaller failed with error -60007 (0xffff1569)\n"
            "second run\n");
  QFile logFile(state.path() + "/quillon/uninstall.log");
  ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
  const QString kept = QString::fromUtf8(logFile.readAll());
  EXPECT_EQ(kept.count(QStringLiteral("\n==== ")) + 1, 4) << qPrintable(kept);
  EXPECT_TRUE(kept.contains(QStringLiteral(" status 5362 ====\nUninstaller failed with error 5362 (0x000014f2)\n")));
}

// Authorization Services' own cancel and denial, when they come before the
// helper tool, mean what the tool's do: nothing shown, and the denied sheet.
TEST_F(Flow, AuthorizationServicesCancelShowsNothingAndItsDenialTheDeniedSheet) {
  results = {{-60006, "x"}, {-60005, "y"}, {-60005, "z"}, {-60005, "w"}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_TRUE(Sheet().isNil());
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("deniedTitle"));
  Press(kNSAlertDefaultButtonName);
  // Where polkit would have asked for a password, the denial is the
  // password's; where it could not be asked, the policy's as before.
  policyVerdict = UninstallerPolicyVerdict::kChallenge;
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("passwordRefusedTitle"));
  EXPECT_TRUE(SheetLabel(kNSAlertMessageName).startsWith(Text("passwordRefusedMessage")));
  Press(kNSAlertDefaultButtonName);
  policyVerdict = UninstallerPolicyVerdict::kUnknown;
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("deniedTitle"));
}

TEST_F(Flow, AnyOtherStatusShowsTheErrorSheetWhichExplainsItselfAndHoldsTheLog) {
  const struct {
    OSStatus status;
    QString meaning;
  } cases[] = {{-4960, Text("statusDamaged")},
               {5364, Text("statusFailed")},
               {5365, Text("statusUntrustedInstall")},
               {13, QString::fromLocal8Bit(strerror(13))}};
  for (const auto& c : cases) {
    results = {{c.status, "removed /opt/quillon/bin\nremoved /etc/asound.conf block\n"}};
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
    // The headline says what failed, without the number; trying again is
    // advised only where it can help (not for a damaged or untrusted
    // install, whose own sentence says what to do).
    EXPECT_EQ(SheetLabel(kNSAlertTitleName), "Quillon could not be removed.");
    const QString message = SheetLabel(kNSAlertMessageName);
    EXPECT_TRUE(message.startsWith(c.meaning)) << qPrintable(message);
    EXPECT_EQ(message.contains(Text("tryAgain")), c.status == 13) << c.status;
    EXPECT_FALSE(message.contains(QString::number(c.status))) << qPrintable(message);
    EXPECT_TRUE(message.contains(state.path() + "/quillon/uninstall.log"));
    EXPECT_EQ(SheetButton(kNSAlertDefaultButtonName)->text(), Text("okButton"));
    EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName), nullptr);
    EXPECT_FALSE(CompleteWindow().isVisible());
    // Show Details… opens this run's log, which Copy puts on the clipboard.
    QPlainTextEdit* details = Sheet().widget()->findChild<QPlainTextEdit*>(kNSAlertDetailsName);
    ASSERT_NE(details, nullptr);
    EXPECT_FALSE(details->isVisible());
    SheetButton(kNSAlertDetailsButtonName)->click();
    EXPECT_TRUE(details->isVisible());
    EXPECT_EQ(details->toPlainText(), "removed /opt/quillon/bin\nremoved /etc/asound.conf block\n");
    SheetButton(kNSAlertCopyButtonName)->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), details->toPlainText());
    Press(kNSAlertDefaultButtonName);
    EXPECT_TRUE(Sheet().isNil());
  }
}

// A full disk while the helper tool is copied: which disk, that nothing
// was removed, and what to do, in English and in German; the number only in
// the details.
TEST_F(Flow, AFullDiskSaysWhichDiskThatNothingWasRemovedAndWhatToDo) {
  for (const char* language : {"en_US", "de_DE"}) {
    SCOPED_TRACE(language);
    TearDown();
    SetUpWith(QLocale(QLatin1String(language)), nullptr);
    results = {{ENOSPC, "Uninstaller failed with error 28 (0x0000001c)"}};
    duringRun = [](const UninstallerEngineOptions& options) {
      *options.failure = {kUninstallerStepHelperTool, "/proc/no-such-folder/Quillon"};
    };
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
    EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("diskFullTitle"));
    const QString message = SheetLabel(kNSAlertMessageName);
    // /proc stands for any mount point: a folder that could not be made is
    // on its nearest existing parent's file system.
    EXPECT_TRUE(message.startsWith(Text("diskFullCause").arg(QStringLiteral("/proc/no-such-folder/Quillon"),
                                                               QStringLiteral("/proc"))))
        << qPrintable(message);
    EXPECT_TRUE(message.contains(Text("stateNothingRemoved")) && message.contains(Text("diskFullAdvice")))
        << qPrintable(message);
    EXPECT_FALSE(message.contains(QStringLiteral("28")) || message.contains(Text("tryAgain"))) << qPrintable(message);
    QPlainTextEdit* details = Sheet().widget()->findChild<QPlainTextEdit*>(kNSAlertDetailsName);
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->toPlainText().contains(QStringLiteral("error 28")));
    Press(kNSAlertDefaultButtonName);
  }
  EXPECT_EQ(Text("diskFullTitle"), "Quillon konnte nicht entfernt werden: Der Datenträger ist voll.");
}

// The first warning says what will go, from the receipts: the counts of
// each part, the login item and (with the box ticked) the ALSA block in its
// message, every path behind Show Details; what the tools could not tell is
// said, not guessed. In English and in German.
TEST_F(Flow, TheFirstWarningSaysWhatWillBeRemovedWithThePathsBehindShowDetails) {
  const std::string listing = systemListing;
  for (const char* language : {"en_US", "de_DE"}) {
    SCOPED_TRACE(language);
    TearDown();
    SetUpWith(QLocale(QLatin1String(language)), nullptr);
    QCheckBox* box = qobject_cast<QCheckBox*>(Outlet("fRemoveMidiDevices"));
    ASSERT_NE(box, nullptr);
    auto shown = [&]() {
      const QString message = SheetLabel(kNSAlertMessageName);
      QPlainTextEdit* details = Sheet().widget()->findChild<QPlainTextEdit*>(kNSAlertDetailsName);
      const QString paths = details != nullptr ? details->toPlainText() : QString();
      Press(kNSAlertAlternateButtonName);
      return std::pair{message, paths};
    };

    // Both parts, the box ticked: five of the system's, three of the user's
    // (the ALSA block is part of a file that stays).
    box->setChecked(true);
    controller->uninstallAsChosen_(nullptr);
    auto [message, paths] = shown();
    EXPECT_TRUE(message.startsWith(Text("chanceToSave") + "\n\n")) << qPrintable(message);
    EXPECT_TRUE(message.contains(Text("previewSummary").arg("5", "3"))) << qPrintable(message);
    EXPECT_TRUE(message.contains(Text("previewSummaryLoginItem").arg("quillon-midi-agent.desktop")));
    EXPECT_TRUE(message.contains(Text("previewSummaryAlsa").arg("/home/u/.asoundrc")));
    for (const QString& line :
         {Text("previewSystemPart").arg("3", "2"), QStringLiteral("  /opt/quillon/"),
          QStringLiteral("  /opt/quillon/bin/quillond"), QStringLiteral("  /usr/bin/quillon"),
          Text("previewUserPart").arg("2", "1"), QStringLiteral("  /home/u/.config/quillon/devices.plist"),
          "  " + Text("previewLoginItem").arg("/home/u/.config/autostart/quillon-midi-agent.desktop"),
          "  " + Text("previewAlsaBlock").arg("/home/u/.asoundrc")}) {
      EXPECT_TRUE(paths.contains(line + "\n")) << qPrintable(line) << "\n" << qPrintable(paths);
    }

    // The box unticked: no ALSA block anywhere.
    box->setChecked(false);
    controller->uninstallAsChosen_(nullptr);
    std::tie(message, paths) = shown();
    EXPECT_FALSE(message.contains(".asoundrc") || paths.contains(".asoundrc")) << qPrintable(message);

    // The user's part alone: its count only, no system path.
    installedParts = kUninstallerUserPart;
    controller->uninstall_(nullptr);
    std::tie(message, paths) = shown();
    EXPECT_TRUE(message.contains(Text("previewSummaryUserPart").arg("3"))) << qPrintable(message);
    EXPECT_FALSE(paths.contains("/opt/quillon")) << qPrintable(paths);

    // A tool that failed: the list is said to be unavailable, its note is in
    // the details, and no count is given.
    installedParts = kUninstallerSystemPart | kUninstallerUserPart;
    previewError = EIO;
    systemListing = "note cannot read the receipts\n";
    controller->uninstall_(nullptr);
    std::tie(message, paths) = shown();
    EXPECT_TRUE(message.endsWith(Text("previewUnavailable"))) << qPrintable(message);
    EXPECT_TRUE(paths.contains(Text("previewNote").arg("cannot read the receipts"))) << qPrintable(paths);
    EXPECT_TRUE(calls.empty());
    previewError = 0;
    systemListing = listing;
  }
  EXPECT_EQ(Text("previewSummary").arg("5", "3"),
            "Zu entfernende Dateien und Ordner: 5 des Systemteils und 3 Ihrer eigenen.");
}

TEST_F(Flow, TheCheckBoxDecidesAboutMidiDevicesAndMixedCountsAsSet) {
  QCheckBox* box = qobject_cast<QCheckBox*>(Outlet("fRemoveMidiDevices"));
  ASSERT_NE(box, nullptr);
  results = {{5363, "x"}, {5363, "x"}, {5363, "x"}};
  for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked, Qt::Checked}) {
    box->setTristate(true);
    box->setCheckState(state);
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
  }
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].removeMidiDevices, false);
  EXPECT_EQ(calls[1].removeMidiDevices, true);
  EXPECT_EQ(calls[2].removeMidiDevices, true);
}

TEST_F(Flow, WithoutTheCheckBoxMidiDevicesAreRemoved) {
  TearDown();
  calls.clear();
  SetUpWith(QLocale(QStringLiteral("en_US")), [](NSNib& loaded) {
    delete loaded.objectNamed(QStringLiteral("fRemoveMidiDevices"));
  });
  results = {{5363, "x"}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].removeMidiDevices, true);
}

TEST_F(Flow, AMissingKeyShowsTheKeyAndNoDefaultKeyMeansOK) {
  controller->runAlertWithTitle_message_(QStringLiteral("noSuchTitle"), QStringLiteral("noSuchMessage"));
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), "noSuchTitle");
  EXPECT_EQ(SheetLabel(kNSAlertMessageName), "noSuchMessage");
  EXPECT_EQ(SheetButton(kNSAlertDefaultButtonName)->text(), Text("okButton"));
  Press(kNSAlertDefaultButtonName);

  controller->runAlertWithTitle_message_defaultButton_alternateButton_otherButton_(
      QStringLiteral("okButton"), QStringLiteral("100% sure"), QStringLiteral("noSuchDefault"),
      QStringLiteral("noSuchAlternate"), QStringLiteral("noSuchOther"));
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("okButton"));
  EXPECT_EQ(SheetLabel(kNSAlertMessageName), "100% sure");  // never read as a format
  EXPECT_EQ(SheetButton(kNSAlertDefaultButtonName)->text(), "noSuchDefault");
  EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName)->text(), "noSuchAlternate");
  EXPECT_EQ(SheetButton(kNSAlertOtherButtonName)->text(), "noSuchOther");
  Press(kNSAlertOtherButtonName);
  EXPECT_TRUE(Sheet().isNil());
}

TEST_F(Flow, QuitEndsTheSheetAndTerminates) {
  int terminated = 0;
  QObject context;
  QObject::connect(NSApp, &NSApplication::willTerminate, &context, [&terminated]() { terminated++; });
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(Sheet(), CompleteWindow());
  NSButton(Outlet("fCompleteDoneButton")).performClick_(nullptr);
  EXPECT_FALSE(CompleteWindow().isVisible());
  EXPECT_EQ(terminated, 1);
  Settle();
  EXPECT_TRUE(Sheet().isNil());
}

// Nothing installed is said as soon as the window is up, with Uninstall
// disabled and Quit the default.
TEST_F(Flow, NothingInstalledIsSaidAtStartWithUninstallDisabledAndQuitTheDefault) {
  TearDown();
  installedParts = kUninstallerNothingInstalled;
  SetUpWith(QLocale(QStringLiteral("en_US")), nullptr);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("notInstalledTitle"));
  Press(kNSAlertDefaultButtonName);
  auto* uninstall = qobject_cast<QPushButton*>(Outlet("uninstallButton"));
  auto* quit = qobject_cast<QPushButton*>(Outlet("quitButton"));
  ASSERT_TRUE(uninstall != nullptr && quit != nullptr);
  EXPECT_FALSE(uninstall->isEnabled());
  EXPECT_TRUE(quit->isDefault());
  EXPECT_TRUE(calls.empty());
}

// A second window says at once that it is not needed; OK quits it, with a
// knock on the first, which listens for its whole life.
TEST_F(Flow, ASecondWindowIsRefusedAtStartAndBringsTheFirstForward) {
  int terminated = 0;
  QObject context;
  QObject::connect(NSApp, &NSApplication::willTerminate, &context, [&terminated]() { terminated++; });
  const std::string raise = (state.path() + QStringLiteral("/uninstaller.lock.raise")).toStdString();
  const int knock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, raise.c_str(), raise.size() + 1);
  EXPECT_EQ(::connect(knock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << "the first is deaf";
  close(knock);
  EXPECT_TRUE(Sheet().isNil());

  // The fixture's window is the first; the test plays the second by
  // holding the window lock as the first would.
  TearDown();
  int first = -1;
  ASSERT_EQ(UninstallerLockAcquire((state.path() + "/uninstaller.lock.window").toStdString(), &first), 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  (void) unlink(raise.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  SetUpWith(QLocale(QStringLiteral("de_DE")), nullptr);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), "Das Deinstallationsprogramm ist bereits geöffnet.");
  EXPECT_FALSE(qobject_cast<QPushButton*>(Outlet("uninstallButton"))->isEnabled());
  EXPECT_LT(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), 0) << "knocked before OK";
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(terminated, 1);
  const int peer = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  EXPECT_GE(peer, 0) << "the second did not knock as it went";
  if (peer >= 0) close(peer);
  close(listener);
  UninstallerLockRelease(first);
}

TEST_F(Flow, ReturnAndEscapeOnTheCompletionSheetQuitAndNeverRestart) {
  auto* done = qobject_cast<QPushButton*>(Outlet("fCompleteDoneButton"));
  auto* restartButton = qobject_cast<QPushButton*>(Outlet("fCompleteRestartButton"));
  ASSERT_TRUE(done != nullptr && restartButton != nullptr);
  EXPECT_TRUE(done->isDefault());
  EXPECT_FALSE(restartButton->isDefault() || restartButton->autoDefault());
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    int terminated = 0;
    QObject context;
    QObject::connect(NSApp, &NSApplication::willTerminate, &context, [&terminated]() { terminated++; });
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
    ASSERT_EQ(Sheet(), CompleteWindow());
    restartButton->setFocus();  // even with the focus on Restart
    QTest::keyClick(CompleteWindow().widget()->windowHandle(), key);
    Settle();
    EXPECT_EQ(terminated, 1) << key;
    EXPECT_FALSE(CompleteWindow().isVisible());
  }
}

TEST_F(Flow, QuitHasTheFirstFocusOnTheCompletionSheetAndCtrlQOrEscapeCloseTheIdleWindow) {
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(Sheet(), CompleteWindow());
  EXPECT_EQ(CompleteWindow().widget()->focusWidget(), Outlet("fCompleteDoneButton"));
  NSApp->endSheet_(CompleteWindow());
  Settle();
  QWidget* window = nib->mainWindow().widget();
  for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::Key_Escape)}) {
    window->show();
    window->activateWindow();
    Settle();
    ASSERT_TRUE(window->isVisible());
    QTest::keySequence(window->windowHandle(), keys);
    Settle();
    EXPECT_FALSE(window->isVisible()) << qPrintable(keys.toString());
  }
}

TEST_F(Flow, TheSharedSettingsWarningComesOnlyWhenTheBoxIsTicked) {
  auto* box = qobject_cast<QCheckBox*>(Outlet("fRemoveMidiDevices"));
  ASSERT_NE(box, nullptr);
  box->setChecked(false);
  NSButton(Outlet("uninstallButton")).performClick_(nullptr);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("necessaryToRestart"));
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].removeMidiDevices, false);
  NSApp->endSheet_(CompleteWindow());
  Settle();

  box->setChecked(true);
  NSButton(Outlet("uninstallButton")).performClick_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("sharedWarningTitle"));
  Press(kNSAlertAlternateButtonName);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Flow, WhatIsInstalledAndAnotherInstanceAreLookedAtBeforeTheFirstWarning) {
  installedParts = kUninstallerNothingInstalled;
  controller->uninstall_(nullptr);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("notInstalledTitle"));
  EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName), nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_TRUE(Sheet().isNil());
  EXPECT_TRUE(calls.empty());

  // Only the user's part: said so, and removed without the privileged part.
  installedParts = kUninstallerUserPart;
  controller->uninstall_(nullptr);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("userPartOnlyTitle"));
  Press(kNSAlertDefaultButtonName);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].userPartOnly);
  EXPECT_EQ(Sheet(), CompleteWindow());
  EXPECT_TRUE(NSTextField(Outlet("fCompleteMessage")).stringValue().startsWith(Text("userPartRemoved")));
  EXPECT_TRUE(Outlet("fCompleteRestartButton")->isHidden());
  NSApp->endSheet_(CompleteWindow());
  Settle();

  // Another uninstaller holds the lock.
  installedParts = kUninstallerSystemPart;
  int other = -1;
  ASSERT_EQ(UninstallerLockAcquire((state.path() + "/uninstaller.lock").toStdString(), &other), 0);
  controller->uninstall_(nullptr);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("alreadyRunningTitle"));
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(calls.size(), 1u);
  UninstallerLockRelease(other);
}

TEST_F(Flow, TheBusySheetCannotBeDismissedAndTheWindowRefusesToClose) {
  std::atomic<int> stage{0};  // 1: engine running; 2: root reached; 3: done
  duringRun = [&stage](const UninstallerEngineOptions& options) {
    stage = 1;
    while (stage < 2) QThread::msleep(2);
    options.privilegedToolRunning(options.context);
    while (stage < 3) QThread::msleep(2);
  };
  controller->uninstall_(nullptr);
  SheetButton(kNSAlertDefaultButtonName)->click();
  auto until = [](const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
  };
  ASSERT_TRUE(until([&]() { return stage == 1 && Sheet() == controller->busySheet(); }));
  QWidget* busy = controller->busySheet().widget();
  auto busyText = [busy]() { return busy->findChildren<QLabel*>().first()->text(); };
  EXPECT_EQ(busyText(), Text("waitingForAuthorization"));
  EXPECT_EQ(busy->findChild<QProgressBar*>()->maximum(), 0);  // indeterminate
  EXPECT_EQ(QApplication::activeModalWidget(), busy);
  EXPECT_FALSE(controller->mainWindow().widget()->close());
  EXPECT_FALSE(busy->close());
  QTest::keyClick(busy->windowHandle(), Qt::Key_Escape);
  EXPECT_TRUE(busy->isVisible());
  EXPECT_TRUE(controller->mainWindow().isVisible());
  stage = 2;
  EXPECT_TRUE(until([&]() { return busyText() == Text("removingQuillon"); }));
  stage = 3;
  Settle();
  EXPECT_EQ(Sheet(), CompleteWindow());
  EXPECT_FALSE(controller->isBusy());
}

TEST_F(Flow, WindowsHaveTheirRolesAndNames) {
  QAccessibleInterface* main = QAccessible::queryAccessibleInterface(controller->mainWindow().widget());
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->role(), QAccessible::Window);  // a frame to AT-SPI, not a filler
  for (const char* view : {"fReadMe", "fCompleteUninstallLog"}) {
    EXPECT_FALSE(Outlet(view)->accessibleName().isEmpty()) << view;
  }
  controller->uninstall_(nullptr);
  QAccessibleInterface* alert = QAccessible::queryAccessibleInterface(Sheet().widget());
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->role(), QAccessible::AlertMessage);
  Press(kNSAlertAlternateButtonName);
  // A window larger than the screen is fitted into it when shown.
  QWidget* window = controller->mainWindow().widget();
  window->resize(4000, 3000);
  controller->mainWindow().makeKeyAndOrderFront_(nullptr);
  EXPECT_TRUE(window->screen()->availableGeometry().contains(QRect(window->geometry().topLeft(), window->size())));
}

// ---- Before the window opens ------------------------------------------------------------

TEST(Preflight, RootIsRefusedAndHelpAndVersionAreTheOnlyOptions) {
  char name[] = "quillon-uninstaller";
  char help[] = "--help", version[] = "--version", other[] = "--platform";
  char* none[] = {name, nullptr};
  EXPECT_EQ(UninstallerPreflight(1, none, 1000, 1000).exitStatus, -1);
  for (unsigned uid : {0u, 1000u}) {
    const UninstallerPreflightResult root = UninstallerPreflight(1, none, uid == 0 ? 0 : 1000, uid == 0 ? 1000 : 0);
    EXPECT_EQ(root.exitStatus, 1);
    EXPECT_TRUE(root.showInWindow);
    EXPECT_NE(root.error.find("quillon-uninstall "), std::string::npos) << root.error;
  }
  char* withHelp[] = {name, help, nullptr};
  char* withVersion[] = {name, version, nullptr};
  char* withOther[] = {name, other, nullptr};
  EXPECT_EQ(UninstallerPreflight(2, withHelp, 0, 0).exitStatus, 0);
  EXPECT_EQ(UninstallerPreflight(2, withHelp, 0, 0).output.rfind("Usage: quillon-uninstaller", 0), 0u);
  EXPECT_EQ(UninstallerPreflight(2, withVersion, 1000, 1000).output, "quillon-uninstaller 1.0.0\n");
  EXPECT_EQ(UninstallerPreflight(2, withOther, 1000, 1000).exitStatus, 2);
  // --verbose opens the window as usual, with the diagnostics on standard error.
  char verbose[] = "--verbose";
  char* withVerbose[] = {name, verbose, nullptr};
  EXPECT_EQ(UninstallerPreflight(2, withVerbose, 1000, 1000).exitStatus, -1);
  EXPECT_TRUE(UninstallerPreflight(2, withVerbose, 1000, 1000).verbose);
  EXPECT_FALSE(UninstallerPreflight(1, none, 1000, 1000).verbose);
  // With the bundle's strings table, in the user's language.
  const NSBundle french(QStringLiteral(QUILLON_BUNDLE_DIR), QLocale(QStringLiteral("fr_FR")));
  EXPECT_EQ(UninstallerPreflight(2, withHelp, 1000, 1000, &french).output.rfind("Utilisation\u00a0: quillon-uninstaller", 0),
            0u);
  const UninstallerPreflightResult unknown = UninstallerPreflight(2, withOther, 1000, 1000, &french);
  EXPECT_EQ(unknown.error.rfind("quillon-uninstaller: option inconnue --platform\nUtilisation\u00a0: ", 0), 0u)
      << unknown.error;
  const NSBundle japanese(QStringLiteral(QUILLON_BUNDLE_DIR), QLocale(QStringLiteral("ja_JP")));
  const UninstallerPreflightResult root = UninstallerPreflight(1, none, 0, 0, &japanese);
  EXPECT_NE(root.error.find("\u7aef\u672b\u3067 quillon-uninstall \u3092"), std::string::npos) << root.error;
  EXPECT_EQ(UninstallerNeedsDisplayLine(&japanese).rfind("quillon-uninstaller: \u30b0\u30e9\u30d5\u30a3\u30ab\u30eb", 0), 0u);
}

// No display at all, and a display that names no server (Qt would abort
// with advice to reinstall): one line of ours and exit status 1.
TEST(Preflight, WithoutADisplayTheApplicationSaysSoAndExitsWithOne) {
  for (const char* display : {"", ":9771"}) {
    QProcess application;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), QDir::tempPath());
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    if (display[0] != '\0') environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    application.setProcessEnvironment(environment);
    application.start(QStringLiteral(QUILLON_BUNDLE_DIR "/Uninstaller"), {});
    ASSERT_TRUE(application.waitForFinished(30000));
    EXPECT_EQ(application.exitStatus(), QProcess::NormalExit) << display;
    EXPECT_EQ(application.exitCode(), 1) << display;
    const QString said = QString::fromLocal8Bit(application.readAllStandardError());
    // Without DISPLAY nothing else is said; with a dead one Qt's own
    // warnings come first.
    const QStringList lines = said.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty()) << display;
    if (display[0] == '\0') {
      EXPECT_EQ(lines.size(), 1) << qPrintable(said);
    }
    EXPECT_TRUE(lines.last().contains(QStringLiteral("graphical session")) &&
                lines.last().contains(QStringLiteral("quillon-uninstall ")))
        << qPrintable(said);
  }
}

// ---- The run log ----------------------------------------------------------------------------

TEST(RunLog, ALongLogKeepsItsStartAndEndCutAtLinesWithTheCutOnALineOfItsOwn) {
  std::string text;
  for (int i = 0; i < 5000; i++) text += "removed /opt/quillon/file-" + std::to_string(i) + "\n";
  text += "removed the Quillon block from /etc/asound.conf\n";
  const std::string cut = UninstallerCutLog(text, 4096);
  EXPECT_LT(cut.size(), 4096u + 64);
  EXPECT_EQ(cut.rfind("removed /opt/quillon/file-0\n", 0), 0u);
  const std::string last = "\nremoved the Quillon block from /etc/asound.conf\n";
  EXPECT_EQ(cut.substr(cut.size() - last.size()), last);
  const size_t marker = cut.find("\n[... ");
  ASSERT_NE(marker, std::string::npos);
  const size_t markerEnd = cut.find('\n', marker + 1);
  EXPECT_EQ(cut.compare(markerEnd - 4, 4, "...]"), 0);
  EXPECT_EQ(cut.compare(markerEnd + 1, 8, "removed "), 0);  // the next line starts whole
  const std::string leftOut = cut.substr(marker + 6, cut.find(' ', marker + 6) - marker - 6);
  EXPECT_EQ(std::stoul(leftOut) + cut.size() - (markerEnd - marker), text.size());
  EXPECT_EQ(UninstallerCutLog("short\n", 4096), "short\n");
  // One endless line is cut between characters, never inside one.
  std::string umlauts;
  for (int i = 0; i < 3000; i++) umlauts += "\xC3\xBC";
  const std::string cutLine = UninstallerCutLog(umlauts, 1001);
  EXPECT_EQ(cutLine.find("\xC3\n"), std::string::npos);
  EXPECT_NE(cutLine.find("\xC3\xBC\n[... "), std::string::npos);
}

TEST(RunLog, TheLogFileDropsItsOldestRunsPastItsBound) {
  QTemporaryDir dir;
  const std::string path = (dir.path() + "/state/quillon/uninstall.log").toStdString();
  for (int run = 0; run < 40; run++) {
    ASSERT_EQ(UninstallerAppendRunLog(path, "run " + std::to_string(run) + "\n" + std::string(200, 'x') + "\n", run,
                                      1700000000 + run, 2048),
              0);
  }
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::string kept = file.readAll().toStdString();
  EXPECT_LE(kept.size(), 2048u);
  EXPECT_EQ(kept.rfind("==== ", 0), 0u);  // starts with a whole run
  EXPECT_NE(kept.find(" status 39 ====\nrun 39\n"), std::string::npos);
  EXPECT_EQ(kept.find("run 0\n"), std::string::npos);
  EXPECT_EQ(QFileInfo(file).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
  EXPECT_EQ(QDir(dir.path() + "/state/quillon").entryList(QDir::Files).size(), 1);  // no temporary left
}

// The log file and the lock are opened the same way: a name planted as a
// link is refused and its target left as it was.
TEST(RunLog, APlantedLinkAtTheLogOrTheLockIsRefused) {
  QTemporaryDir dir;
  const std::string target = (dir.path() + "/target").toStdString();
  ASSERT_TRUE(QFile(QString::fromStdString(target)).open(QIODevice::WriteOnly));
  const std::string log = (dir.path() + "/uninstall.log").toStdString();
  const std::string lock = (dir.path() + "/uninstaller.lock").toStdString();
  ASSERT_EQ(symlink(target.c_str(), log.c_str()), 0);
  ASSERT_EQ(symlink(target.c_str(), lock.c_str()), 0);
  EXPECT_EQ(UninstallerAppendRunLog(log, "run\n", 0, 1700000000, 2048), ELOOP);
  int fd = -1;
  EXPECT_EQ(UninstallerLockAcquire(lock, &fd), ELOOP);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(QFileInfo(QString::fromStdString(target)).size(), 0);
}

// ---- The log area's toggle ----------------------------------------------------------------

class Toggle : public AppTest {
 protected:
  void SetUp() override {
    SetUpWith(QLocale(QStringLiteral("en_US")), [this](NSNib& loaded) {
      // What the definition gives, before start-up collapses the sheet.
      NSWindow window(loaded.objectNamed(QStringLiteral("fCompleteWindow")));
      NSScrollView area = NSTextView(loaded.objectNamed(QStringLiteral("fCompleteUninstallLog"))).enclosingScrollView();
      definedFrame = window.frame();
      definedArea = area.frame();
    });
  }

  NSScrollView Area() const { return NSTextView(Outlet("fCompleteUninstallLog")).enclosingScrollView(); }
  QString ToggleTitle() const { return NSButton(Outlet("fCompleteMoreInfoToggleButton")).title(); }

  NSRect definedFrame;
  NSRect definedArea;
};

TEST_F(Toggle, StartUpMovesTheOriginUpAndShrinksTheSheetByTheLogAreasHeight) {
  const CGFloat h = definedArea.size.height;
  ASSERT_GT(h, 100);
  EXPECT_TRUE(NSEqualRects(CompleteWindow().frame(),
                           NSMakeRect(definedFrame.origin.x, definedFrame.origin.y + h, definedFrame.size.width,
                                      definedFrame.size.height - h)));
  EXPECT_FALSE(controller->completeMoreInfoVisible());
  EXPECT_TRUE(Area().superview().isNil());
  EXPECT_EQ(ToggleTitle(), "More Information");
  EXPECT_FALSE(CompleteWindow().showsResizeIndicator());
}

TEST_F(Toggle, TogglingTwiceRestoresFrameAreaAndTitle) {
  // On the sheet as the user sees it, through its button.
  controller->restart();
  Settle();
  NSButton toggle(Outlet("fCompleteMoreInfoToggleButton"));
  const NSRect collapsed = CompleteWindow().frame();

  toggle.performClick_(nullptr);
  EXPECT_TRUE(controller->completeMoreInfoVisible());
  EXPECT_EQ(ToggleTitle(), "Less Information");
  EXPECT_EQ(Area().superview(), CompleteWindow().contentView());
  EXPECT_FALSE(Area().isHidden());
  EXPECT_TRUE(NSEqualRects(Area().frame(), definedArea));
  EXPECT_TRUE(CompleteWindow().showsResizeIndicator());
  const NSRect expanded = CompleteWindow().frame();
  EXPECT_EQ(expanded.size.height, collapsed.size.height + definedArea.size.height);
  EXPECT_EQ(expanded.origin.y + expanded.size.height, collapsed.origin.y + collapsed.size.height);

  toggle.performClick_(nullptr);
  EXPECT_TRUE(NSEqualRects(CompleteWindow().frame(), collapsed));
  EXPECT_EQ(ToggleTitle(), "More Information");
  EXPECT_TRUE(Area().superview().isNil());
  EXPECT_FALSE(controller->completeMoreInfoVisible());
}

// ---- Texts ----------------------------------------------------------------------------------

TEST(StatusTemplate, FillsTheOneIntegerDirectiveAndNothingElse) {
  EXPECT_EQ(UninstallerFormatStatus(QStringLiteral("error %d."), -4960), "error -4960.");
  EXPECT_EQ(UninstallerFormatStatus(QStringLiteral("[%6d] [%-6i]"), 42), "[    42] [%-6i]");
  EXPECT_EQ(UninstallerFormatStatus(QStringLiteral("%ld"), -2147483647 - 1), "-2147483648");
  EXPECT_EQ(UninstallerFormatStatus(QStringLiteral("100%% %s %n %d"), 7), "100% %s %n 7");
  EXPECT_EQ(UninstallerFormatStatus(QStringLiteral("no directive"), 7), "no directive");
  EXPECT_EQ(UninstallerFormatStatus(QStringLiteral("trailing %"), 7), "trailing %");
}

class Strings : public AppTest {};

TEST_F(Strings, EveryLanguageHasEveryKeyAndTheTemplateHasExactlyOneIntegerDirective) {
  const char* keys[] = {"necessaryToRestart", "chanceToSave",   "proceedButton",      "cancelButton",
                        "sharedWarningTitle", "sharedWarningMessage", "okButton",      "errorTemplate",
                        "tryAgain",           "restartButton",  "quitButton",         "uninstallSucceeded",
                        "restartMessage"};
  for (const char* language : {"en_US", "de_DE", "fr_FR", "es_ES", "it_IT", "ja_JP"}) {
    SCOPED_TRACE(language);
    NSBundle localized(QStringLiteral(QUILLON_BUNDLE_DIR), QLocale(QLatin1String(language)));
    EXPECT_EQ(localized.localization(), QLatin1String(language).left(2));
    // The read-me of that language made it into the bundle.
    const QString readMe = localized.pathForResource_ofType_(QStringLiteral("readme"), QStringLiteral("rtf"));
    EXPECT_EQ(readMe.endsWith(QLatin1String(language).left(2) + QStringLiteral(".lproj/readme.rtf")),
              QLatin1String(language) != QLatin1String("en_US"))
        << qPrintable(readMe);
    for (const char* key : keys) {
      const QString text = localized.localizedStringForKey_(QLatin1String(key));
      EXPECT_NE(text, QLatin1String(key)) << key;
      const bool isTemplate = QLatin1String(key) == QLatin1String("errorTemplate");
      EXPECT_EQ(text.count(QLatin1Char('%')), isTemplate ? 1 : 0) << key;
    }
    const QString title = localized.localizedStringForKey_(QStringLiteral("errorTemplate"));
    EXPECT_TRUE(title.contains(QStringLiteral("%d")));
    EXPECT_TRUE(UninstallerFormatStatus(title, -4960).contains(QStringLiteral("-4960")));
  }
  // A language the bundle lacks falls back to English.
  NSBundle portuguese(QStringLiteral(QUILLON_BUNDLE_DIR), QLocale(QStringLiteral("pt_BR")));
  EXPECT_EQ(portuguese.localization(), "en");
  EXPECT_EQ(portuguese.localizedStringForKey_(QStringLiteral("cancelButton")), "Cancel");
}

// What a translator leaves out or breaks shows as English text in the
// middle of another language, or as a number that never reaches the text:
// every text of the window (its interface definition included) and of the
// terminal, the menu entry, the password dialog's message and the read-me
// exist in every language, finished, with the English text's placeholders.
TEST(Translations, EveryLanguageTranslatesEveryTextWithTheSamePlaceholders) {
  const QString tables = QStringLiteral(QUILLON_SOURCE_ROOT "/src/app/common/");
  const QString folder = QStringLiteral(QUILLON_SOURCE_ROOT "/src/app/uninstaller/");
  using Table = std::map<std::pair<QString, QString>, QString>;
  auto readTable = [](const QString& path, Table* table, QStringList* unfinished) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == QLatin1String("name")) {
        context = xml.readElementText();
      } else if (xml.name() == QLatin1String("source")) {
        source = xml.readElementText();
      } else if (xml.name() == QLatin1String("translation")) {
        const bool finished = xml.attributes().value(QLatin1String("type")).isEmpty();
        const QString text = xml.readElementText();
        // A text twice is as bad as none: which of the two is shown is chance.
        if (!finished || text.isEmpty() || !table->emplace(std::pair{context, source}, text).second) {
          unfinished->append(context + QLatin1Char('/') + source);
        }
      }
    }
    return !xml.hasError();
  };
  auto placeholders = [](const QString& text) {
    static const QRegularExpression directive(QStringLiteral("%(%|L?[0-9]+|n|[-+ #0]*[0-9]*(ll|l|h)?[dius])"));
    QStringList found;
    for (auto it = directive.globalMatch(text); it.hasNext();) found.append(it.next().captured(0));
    found.sort();
    return found;
  };
  auto readText = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  };

  Table english;
  QStringList unfinished;
  ASSERT_TRUE(readTable(tables + QStringLiteral("Localizable_en.ts"), &english, &unfinished));
  EXPECT_TRUE(unfinished.isEmpty()) << qPrintable(unfinished.join(QLatin1Char('\n')));
  // The English table lists every source text, the window's too.
  const QString ui = readText(folder + QStringLiteral("Uninstaller.ui"));
  static const QRegularExpression uiString(QStringLiteral("<string>([^<]*)</string>"));
  for (auto it = uiString.globalMatch(ui); it.hasNext();) {
    const QString text = it.next().captured(1);
    EXPECT_TRUE(english.count({QStringLiteral("Uninstaller"), text})) << "not in the English table: "
                                                                       << qPrintable(text);
  }

  const QString desktop = readText(folder + QStringLiteral("quillon-uninstaller.desktop"));
  const QString policy =
      readText(QStringLiteral(QUILLON_SOURCE_ROOT "/src/platform/authorization/com.quillon.uninstaller.policy"));
  QStringList languages;
  for (const QString& name : QDir(tables).entryList({QStringLiteral("Localizable_*.ts")})) {
    const QString language = name.mid(12, name.size() - 15);
    if (language != QLatin1String("en")) languages.append(language);
  }
  for (const char* language : {"de", "fr", "es", "it", "ja"}) {
    EXPECT_TRUE(languages.contains(QLatin1String(language))) << language;
  }
  for (const QString& language : languages) {
    SCOPED_TRACE(qPrintable(language));
    Table translated;
    unfinished.clear();
    ASSERT_TRUE(readTable(tables + QStringLiteral("Localizable_%1.ts").arg(language), &translated, &unfinished));
    EXPECT_TRUE(unfinished.isEmpty()) << "unfinished: " << qPrintable(unfinished.join(QLatin1String(", ")));
    for (const auto& [key, text] : english) {
      const auto found = translated.find(key);
      if (found == translated.end()) {
        ADD_FAILURE() << "missing: " << qPrintable(key.first + QLatin1Char('/') + key.second);
        continue;
      }
      EXPECT_EQ(placeholders(found->second), placeholders(text)) << qPrintable(key.second);
    }
    for (const char* field : {"Name", "GenericName", "Comment"}) {
      const QRegularExpression line(QStringLiteral("^%1\\[%2\\]=\\S").arg(QLatin1String(field), language),
                                    QRegularExpression::MultilineOption);
      EXPECT_TRUE(line.match(desktop).hasMatch()) << "the menu entry lacks " << field;
    }
    for (const char* element : {"description", "message"}) {
      const QString tag = QStringLiteral("<%1 xml:lang=\"%2\">").arg(QLatin1String(element), language);
      EXPECT_TRUE(policy.contains(tag)) << "the polkit action lacks " << qPrintable(tag);
    }
    EXPECT_TRUE(QFileInfo(folder + language + QStringLiteral(".lproj/readme.rtf")).isFile()) << "no read-me";
  }
  // And the placeholder check itself sees what a translator can get wrong.
  EXPECT_NE(placeholders(QStringLiteral("%1 and %2")), placeholders(QStringLiteral("%1 and %1")));
  EXPECT_NE(placeholders(QStringLiteral("error %d.")), placeholders(QStringLiteral("error %s.")));
}

TEST_F(Strings, GermanTextsReachTheSheets) {
  TearDown();
  SetUpWith(QLocale(QStringLiteral("de_DE")), nullptr);
  controller->uninstall_(nullptr);
  EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName)->text(), "Abbrechen");
  Press(kNSAlertAlternateButtonName);
  // The read-me too, and it names the German labels.
  const QString readMe = NSTextView(Outlet("fReadMe")).string();
  EXPECT_TRUE(readMe.startsWith(QStringLiteral("Quillon-MIDI-Treibersammlung"))) << qPrintable(readMe.left(80));
  EXPECT_TRUE(readMe.contains(QStringLiteral("Auch die Quillon-MIDI-Geräte und ihre ALSA-Einstellungen entfernen")));
}

TEST_F(Strings, TheReadMeIsShownUnderlinedNowhereAndTheWindowCentred) {
  const QString readMe = NSTextView(Outlet("fReadMe")).string();
  // Underlined text reads as a link that does nothing.
  const QTextDocument* document = qobject_cast<QTextEdit*>(Outlet("fReadMe"))->document();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
      EXPECT_FALSE(fragment.fragment().charFormat().fontUnderline()) << qPrintable(fragment.fragment().text());
    }
  }
  EXPECT_TRUE(readMe.startsWith(QStringLiteral("Quillon MIDI Driver Suite"))) << qPrintable(readMe.left(80));
  EXPECT_TRUE(readMe.contains(QStringLiteral("Quillon\u2122")));
  QWidget* window = nib->mainWindow().widget();
  const QRect area = window->screen()->availableGeometry();
  EXPECT_NEAR(window->frameGeometry().center().x(), area.center().x(), 2);
}

TEST_F(Strings, AnRTFDReadMeWinsOverAnRTFOneAndWithNeitherTheWindowStaysPut) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QDir(dir.path()).mkpath(QStringLiteral("Resources/readme.rtfd"));
  ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLON_BUNDLE_DIR "/Resources/Uninstaller.ui"),
                          dir.filePath(QStringLiteral("Resources/Uninstaller.ui"))));
  auto write = [&](const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(QLatin1String(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  };
  write("Resources/readme.rtf", "{\\rtf1 from the rtf}");
  write("Resources/readme.rtfd/TXT.rtf", "{\\rtf1 from the rtfd}");
  TearDown();
  bundlePath = dir.path();
  SetUpWith(QLocale(QStringLiteral("en_US")), nullptr);
  EXPECT_EQ(NSTextView(Outlet("fReadMe")).string(), "from the rtfd");

  TearDown();
  ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("Resources/readme.rtfd"))).removeRecursively());
  SetUpWith(QLocale(QStringLiteral("en_US")), nullptr);
  EXPECT_EQ(NSTextView(Outlet("fReadMe")).string(), "from the rtf");

  TearDown();
  ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("Resources/readme.rtf"))));
  SetUpWith(QLocale(QStringLiteral("en_US")), [](NSNib& loaded) { loaded.mainWindow().widget()->move(5, 7); });
  EXPECT_TRUE(NSTextView(Outlet("fReadMe")).string().isEmpty());
  EXPECT_EQ(nib->mainWindow().widget()->pos(), QPoint(5, 7));
}

}  // namespace

// Every sheet the window shows, in English and in every other language: each
// wrapped label is as tall as its text needs at its width the first time it
// is shown, each push button as wide as its title, and no button, label or window
// title shown in another language is its English text. Pictures of the main
// window and the completion sheet go to <build>/artifacts/languages/.
class Sheets : public AppTest {
 protected:
  using Shown = std::map<QString, QString>;  // "sheet/object" -> text

  void Collect(QWidget* window, const QString& sheet, Shown* shown) {
    ASSERT_NE(window, nullptr) << qPrintable(sheet);
    (*shown)[sheet + QStringLiteral("/title")] = window->windowTitle();
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (!label->isVisibleTo(window) || label->text().isEmpty()) continue;
      const QString where = sheet + QLatin1Char('/') + label->objectName();
      if (label->wordWrap() && window->isVisible()) {
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << qPrintable(where);
      }
      (*shown)[where] = label->text();
    }
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
      if (!button->isVisibleTo(window)) continue;
      const QString where = sheet + QLatin1Char('/') + button->objectName();
      // A push button's title never wraps. (The check box's may be cut where
      // the window is narrowed to fit a small screen, as at twice the scale.)
      if (window->isVisible() && qobject_cast<QPushButton*>(button) != nullptr) {
        EXPECT_GE(button->width(), button->sizeHint().width()) << qPrintable(where);
      }
      (*shown)[where] = button->text();
    }
  }
  void CollectAlert(const QString& sheet, Shown* shown) {
    Collect(Sheet().widget(), sheet, shown);
    if (QAbstractButton* details = SheetButton(kNSAlertDetailsButtonName)) {
      details->click();
      Settle();
      Collect(Sheet().widget(), sheet + QStringLiteral("+details"), shown);
    }
  }

  Shown WalkEverySheet(const char* language) {
    Shown shown;
    TearDown();
    installedParts = kUninstallerSystemPart | kUninstallerUserPart;
    const QLocale locale{QLatin1String(language)};
    // As the application does: the strings table translates the interface
    // definition as it loads.
    NSBundle strings(bundlePath, locale);
    if (strings.translator() != nullptr) QCoreApplication::installTranslator(strings.translator());
    SetUpWith(locale, nullptr);
    Collect(nib->mainWindow().widget(), QStringLiteral("main"), &shown);
    const QString pictures = QStringLiteral(QUILLON_BINARY_ROOT "/artifacts/languages/") + QLatin1String(language);
    QDir().mkpath(QStringLiteral(QUILLON_BINARY_ROOT "/artifacts/languages"));
    nib->mainWindow().widget()->grab().save(pictures + QStringLiteral("-main-window.png"));

    results = {{0, "done\n"}, {0, "done\n"}, {28, "x"}, {5362, "x"}, {-60007, "x"}};
    // The first warning with what will be removed (the counts, the login
    // item, the ALSA block) and its paths behind Show Details.
    controller->uninstallWithWarning_(nullptr);
    CollectAlert(QStringLiteral("restartWarning"), &shown);
    EXPECT_TRUE(SheetLabel(kNSAlertMessageName).contains(QStringLiteral(".asoundrc")));
    Press(kNSAlertDefaultButtonName);
    CollectAlert(QStringLiteral("sharedWarning"), &shown);
    Press(kNSAlertDefaultButtonName);
    Collect(CompleteWindow().widget(), QStringLiteral("complete"), &shown);
    CompleteWindow().widget()->grab().save(pictures + QStringLiteral("-completion-sheet.png"));
    controller->toggleCompleteMoreInfo_(nullptr);
    Settle();
    Collect(CompleteWindow().widget(), QStringLiteral("complete+log"), &shown);
    NSApp->endSheet_(CompleteWindow());
    Settle();

    // The user's part alone, with a list the tools could not make.
    installedParts = kUninstallerUserPart;
    previewError = EIO;
    controller->uninstall_(nullptr);
    CollectAlert(QStringLiteral("userPartWarning"), &shown);
    EXPECT_TRUE(SheetLabel(kNSAlertMessageName).endsWith(Text("previewUnavailable")));
    Press(kNSAlertDefaultButtonName);
    previewError = 0;
    Collect(CompleteWindow().widget(), QStringLiteral("completeUserPart"), &shown);
    NSApp->endSheet_(CompleteWindow());
    Settle();
    Collect(controller->busySheet().widget(), QStringLiteral("busy"), &shown);

    installedParts = kUninstallerSystemPart;
    for (const char* sheet : {"error", "denied", "noAgent"}) {
      controller->uninstall_(nullptr);
      Press(kNSAlertDefaultButtonName);
      CollectAlert(QLatin1String(sheet), &shown);
      Press(kNSAlertDefaultButtonName);
    }
    results = {{-60005, "x"}};
    policyVerdict = UninstallerPolicyVerdict::kChallenge;
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
    CollectAlert(QStringLiteral("passwordRefused"), &shown);
    Press(kNSAlertDefaultButtonName);
    policyVerdict = UninstallerPolicyVerdict::kNotAuthorized;
    installedParts = kUninstallerNothingInstalled;
    controller->uninstall_(nullptr);
    CollectAlert(QStringLiteral("notInstalled"), &shown);
    Press(kNSAlertDefaultButtonName);
    if (strings.translator() != nullptr) QCoreApplication::removeTranslator(strings.translator());
    return shown;
  }
};

TEST_F(Sheets, EveryMessageIsWholeAtFirstSightAndEveryTextIsTranslated) {
  const Shown english = WalkEverySheet("en_US");
  EXPECT_GE(english.size(), 40u);
  for (const char* language : {"de_DE", "fr_FR", "es_ES", "it_IT", "ja_JP"}) {
    SCOPED_TRACE(language);
    const Shown translated = WalkEverySheet(language);
    for (const auto& [where, text] : translated) {
      const auto source = english.find(where);
      // "OK" is German, French, Italian and Japanese too.
      if (source == english.end() || text == QLatin1String("OK")) continue;
      EXPECT_NE(text, source->second) << qPrintable(where) << " is still English";
    }
  }
}
