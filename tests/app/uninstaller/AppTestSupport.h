// The fixture the application's tests share: the shipped interface
// definition and strings table from the bundle in the build tree, a
// controller on them, and a substitute engine that records its calls.
#pragma once

#include "UninstallerApplication.h"

#include <AppKit/AppKit.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

class AppTest : public testing::Test {
 protected:
  struct EngineCall {
    Boolean removeMidiDevices;
    Boolean userPartOnly;
  };
  struct EngineResult {
    OSStatus status;
    std::string log;
  };

  void SetUp() override { SetUpWith(QLocale(QStringLiteral("en_US")), nullptr); }

  // |beforeAwake| may change the loaded definition, as a different one would.
  void SetUpWith(const QLocale& locale, const std::function<void(NSNib&)>& beforeAwake) {
    bundle = std::make_unique<NSBundle>(bundlePath, locale);
    nib = std::make_unique<NSNib>(QStringLiteral("Uninstaller"), *bundle);
    ASSERT_TRUE(nib->isLoaded()) << qPrintable(nib->errorString());
    if (beforeAwake) {
      beforeAwake(*nib);
    }
    // The engine runs on the controller's worker thread; the test's thread
    // only looks at these once the run is over.
    UninstallerController::Environment environment;
    environment.installedParts = [this]() { return installedParts; };
    environment.lockPath = (state.path() + QStringLiteral("/uninstaller.lock")).toStdString();
    environment.logFilePath = (state.path() + QStringLiteral("/quillon/uninstall.log")).toStdString();
    // The tools' --list output for a fake set of receipts; like the real
    // PruneMIDI, the ALSA block is looked for only when the devices go.
    environment.preview = [this](bool systemPart, Boolean removeMidi, UninstallerPreviewPart* part) {
      const std::string& listed = systemPart ? systemListing : userListing;
      std::string kept;
      for (size_t start = 0; start < listed.size();) {
        const size_t end = std::min(listed.find('\n', start), listed.size());
        const std::string line = listed.substr(start, end - start);
        if ((removeMidi & 1) || line.rfind("alsa-block ", 0) != 0) kept += line + "\n";
        start = end + 1;
      }
      UninstallerPreviewParse(kept, part);
      return previewError;
    };
    environment.policy = [this]() { return policyVerdict; };
    controller = std::make_unique<UninstallerController>(
        *nib,
        [this](CFStringRef* log, Boolean removeMidi, const UninstallerEngineOptions& options) {
          EXPECT_NE(log, nullptr);
          EXPECT_EQ(*log, nullptr);
          calls.push_back({removeMidi, options.userPartOnly});
          const EngineResult result = results.empty() ? EngineResult{0, "done\n"} : results.front();
          if (!results.empty()) {
            results.erase(results.begin());
          }
          if (duringRun) {
            duringRun(options);
          }
          *log = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(result.log.data()),
                                          static_cast<CFIndex>(result.log.size()), kCFStringEncodingUTF8, false);
          return result.status;
        },
        environment);
    controller->awakeFromNib();
    nib->mainWindow().makeKeyAndOrderFront_(nullptr);
    Settle();
  }

  void TearDown() override {
    Settle();
    controller.reset();
    nib.reset();
    Settle();
  }

  // Lets the event loop run until the sheets have settled and any
  // uninstall has come back from its worker thread.
  void Settle() {
    QElapsedTimer timer;
    timer.start();
    // Twenty rounds once the run is over, not twenty in all: on a loaded
    // machine the run may end after them, and the sheets that follow it
    // need rounds of their own.
    for (int idle = 0; idle < 20 && timer.elapsed() < 20000;) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      idle = controller && (controller->isBusy() || controller->isPreviewing()) ? 0 : idle + 1;
    }
  }

  QWidget* Outlet(const char* name) const { return nib->objectNamed(QLatin1String(name)); }
  QString Text(const char* key) const { return bundle->localizedStringForKey_(QLatin1String(key)); }

  // The first warning waits for the list of what will be removed, which is
  // made on a thread of its own.
  NSWindow Sheet() const {
    while (controller && controller->isPreviewing()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return controller->mainWindow().attachedSheet();
  }
  QString SheetLabel(const char* name) const {
    QWidget* sheet = Sheet().widget();
    QLabel* label = sheet != nullptr ? sheet->findChild<QLabel*>(QLatin1String(name)) : nullptr;
    return label != nullptr ? label->text() : QString();
  }
  QPushButton* SheetButton(const char* name) const {
    QWidget* sheet = Sheet().widget();
    return sheet != nullptr ? sheet->findChild<QPushButton*>(QLatin1String(name)) : nullptr;
  }
  // Presses a button of the alert sheet now on the main window.
  void Press(const char* name) {
    QPushButton* button = SheetButton(name);
    ASSERT_NE(button, nullptr) << name;
    button->click();
    Settle();
  }
  QString LogText() const { return NSTextView(Outlet("fCompleteUninstallLog")).string(); }
  NSWindow CompleteWindow() const { return NSWindow(Outlet("fCompleteWindow")); }

  QString bundlePath = QStringLiteral(QUILLON_BUNDLE_DIR);
  std::unique_ptr<NSBundle> bundle;
  std::unique_ptr<NSNib> nib;
  std::unique_ptr<UninstallerController> controller;
  std::vector<EngineCall> calls;
  std::vector<EngineResult> results;
  unsigned installedParts = kUninstallerSystemPart | kUninstallerUserPart;
  // Runs inside the substitute engine, on its thread.
  std::function<void(const UninstallerEngineOptions&)> duringRun;
  QTemporaryDir state;
  // What the bundle's tools would list for the system's part and the user's.
  std::string systemListing =
      "folder /opt/quillon\nfolder /opt/quillon/bin\nfile /opt/quillon/bin/quillond\n"
      "file /usr/share/alsa/alsa.conf.d/50-quillon.conf\nlink /usr/bin/quillon\n";
  std::string userListing =
      "folder /home/u/.config/quillon\nfile /home/u/.config/quillon/devices.plist\n"
      "login-item /home/u/.config/autostart/quillon-midi-agent.desktop\nalsa-block /home/u/.asoundrc\n";
  int previewError = 0;
  // What polkit would say without asking.
  UninstallerPolicyVerdict policyVerdict = UninstallerPolicyVerdict::kNotAuthorized;
};
