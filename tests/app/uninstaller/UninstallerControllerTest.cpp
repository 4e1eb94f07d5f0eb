// The uninstall flow, the alerts and the completion sheet, against a
// substitute engine.
#include "AppTestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>

namespace {

using Flow = AppTest;

TEST_F(Flow, CancelOnTheFirstWarningLeavesTheWindowIdle) {
  for (auto action : {&UninstallerController::uninstall_, &UninstallerController::uninstallWithWarning_}) {
    (controller.get()->*action)(nullptr);
    EXPECT_EQ(SheetLabel(kNSAlertTitleName), Text("necessaryToRestart"));
    EXPECT_EQ(SheetLabel(kNSAlertMessageName), Text("chanceToSave"));
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
  EXPECT_EQ(NSTextField(Outlet("fCompleteMessage")).stringValue(), Text("restartMessage"));
  EXPECT_EQ(NSButton(Outlet("fCompleteRestartButton")).title(), Text("restartButton"));
  EXPECT_EQ(NSButton(Outlet("fCompleteDoneButton")).title(), Text("quitButton"));
  EXPECT_EQ(NSButton(Outlet("fCompleteMoreInfoToggleButton")).title(), "More Information");
  EXPECT_EQ(LogText(), "removed /opt/quillon/bin/quillond\n");
}

// A script's output may hold NUL bytes; what follows one is shown too.
TEST_F(Flow, TheLogIsShownWholePastANulByte) {
  results = {{0, std::string("before\0after\n", 13)}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(LogText(), QString::fromUtf8("before\0after\n", 13));
}

TEST_F(Flow, DeniedAndCanceledShowNothingAndTheirLogStaysAboveTheNextRun) {
  results = {{5363, "Uninstaller failed with error 5363 (0x000014f3)"},
             {5362, "Uninstaller failed with error 5362 (0x000014f2)"},
             {0, "second run\n"}};
  for (int run = 0; run < 2; run++) {
    controller->uninstall_(nullptr);
    Press(kNSAlertDefaultButtonName);
    EXPECT_TRUE(Sheet().isNil());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(Sheet(), CompleteWindow());
  EXPECT_EQ(LogText(),
            "Uninstaller failed with error 5363 (0x000014f3)\n"
            "Uninstaller failed with error 5362 (0x000014f2)\n"
            "second run\n");
}

TEST_F(Flow, AnyOtherStatusShowsTheErrorSheetWithOneButton) {
  results = {{-4960, "Uninstaller failed with error -4960 (0xffffec a0)\n"}};
  controller->uninstall_(nullptr);
  Press(kNSAlertDefaultButtonName);
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), "The operation could not be completed (error -4960).");
  EXPECT_EQ(SheetLabel(kNSAlertMessageName), Text("tryAgain"));
  EXPECT_EQ(SheetButton(kNSAlertDefaultButtonName)->text(), Text("okButton"));
  EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName), nullptr);
  EXPECT_EQ(SheetButton(kNSAlertOtherButtonName), nullptr);
  EXPECT_FALSE(CompleteWindow().isVisible());
  Press(kNSAlertDefaultButtonName);
  EXPECT_TRUE(Sheet().isNil());
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

TEST_F(Strings, BothLanguagesHaveEveryKeyAndTheTemplateHasExactlyOneIntegerDirective) {
  const char* keys[] = {"necessaryToRestart", "chanceToSave",   "proceedButton",      "cancelButton",
                        "sharedWarningTitle", "sharedWarningMessage", "okButton",      "errorTemplate",
                        "tryAgain",           "restartButton",  "quitButton",         "uninstallSucceeded",
                        "restartMessage"};
  for (const char* language : {"en_US", "de_DE"}) {
    SCOPED_TRACE(language);
    NSBundle localized(QStringLiteral(QUILLON_BUNDLE_DIR), QLocale(QLatin1String(language)));
    EXPECT_EQ(localized.localization(), QLatin1String(language).left(2));
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
  NSBundle french(QStringLiteral(QUILLON_BUNDLE_DIR), QLocale(QStringLiteral("fr_FR")));
  EXPECT_EQ(french.localization(), "en");
  EXPECT_EQ(french.localizedStringForKey_(QStringLiteral("cancelButton")), "Cancel");
}

TEST_F(Strings, GermanTextsReachTheSheets) {
  TearDown();
  SetUpWith(QLocale(QStringLiteral("de_DE")), nullptr);
  controller->uninstall_(nullptr);
  EXPECT_EQ(SheetButton(kNSAlertAlternateButtonName)->text(), "Abbrechen");
  Press(kNSAlertAlternateButtonName);
}

TEST_F(Strings, TheReadMeIsShownAndTheWindowCentred) {
  const QString readMe = NSTextView(Outlet("fReadMe")).string();
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
