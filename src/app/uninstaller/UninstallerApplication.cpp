#include "UninstallerApplication.h"

#include <AppKit/AppKit.h>

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// Qt ends the process when no platform plugin can start, for instance when
// DISPLAY names a server that does not answer, with advice to reinstall
// that does not apply. Until a platform runs, such an end gets our one line
// and exit status 1 instead; every other message goes on as before.
QtMessageHandler gQtMessageHandler = nullptr;
const NSBundle* gStrings = nullptr;

void NoDisplayMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg && QGuiApplication::platformName().isEmpty()) {
    std::fputs(UninstallerNeedsDisplayLine(gStrings).c_str(), stderr);
    std::fflush(stderr);
    _exit(1);
  }
  if (gQtMessageHandler != nullptr) gQtMessageHandler(type, context, message);
}

}  // namespace

int UninstallerApplicationMain(int argc, char* argv[], UninstallerController::Engine engine) {
  // The strings table for what is said before Qt runs, from the folder of
  // the executable as the main bundle finds it later. Not for a set-user-ID
  // copy, which must not read files the environment chose.
  std::unique_ptr<NSBundle> strings;
  const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
  if (getuid() == geteuid() && getgid() == getegid() && !executable.isEmpty()) {
    strings = std::make_unique<NSBundle>(QFileInfo(executable).path());
  }
  gStrings = strings.get();
  const UninstallerPreflightResult preflight = UninstallerPreflight(argc, argv, getuid(), geteuid(), strings.get());
  std::fputs(preflight.output.c_str(), stdout);
  std::fputs(preflight.error.c_str(), stderr);
  if (preflight.exitStatus >= 0 && !preflight.showInWindow) {
    return preflight.exitStatus;
  }
  // The engine's and the helper tool's trace on standard error, as it comes,
  // rather than only in the run's log (see UninstallerDiagnostics.h).
  if (preflight.verbose) (void) setenv("QUILLON_VERBOSE", "1", 1);
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
