// The application with a substitute engine, for looking at every sheet
// without uninstalling anything: uninstaller_demo [status]. The engine
// returns |status| (default 0) with a sample log. Reads the bundle in the
// build tree.
#include "UninstallerApplication.h"

#include <AppKit/AppKit.h>

#include <QApplication>
#include <QThread>
#include <QTranslator>

#include <cstdlib>

namespace {

const char kSampleLog[] =
    "removed /opt/quillon/bin/quillond\n"
    "removed /opt/quillon/lib/libquillon-midi.so.2\n"
    "removed /etc/udev/rules.d/60-quillon-midi.rules\n"
    "removed /etc/systemd/system/quillon-midi.service\n"
    "removed /usr/share/applications/quillon-monitor.desktop\n"
    "pruned Quillon block from /etc/asound.conf\n"
    "pruned Quillon block from /home/user/.asoundrc\n"
    "removed /home/user/.config/autostart/quillon-monitor.desktop\n";

}  // namespace

int main(int argc, char* argv[]) {
  const OSStatus status = argc > 1 ? static_cast<OSStatus>(std::atol(argv[1])) : 0;
  QApplication application(argc, argv);
  NSBundle bundle(QStringLiteral(QUILLON_BUNDLE_DIR));
  QCoreApplication::installTranslator(bundle.translator());
  NSNib nib(QStringLiteral("Uninstaller"), bundle);
  if (!nib.isLoaded()) {
    return 1;
  }
  // The demo pretends the product is installed, and takes a moment, so
  // that the busy sheet shows.
  UninstallerEnvironment environment;
  environment.installedParts = []() { return kUninstallerSystemPart | kUninstallerUserPart; };
  UninstallerController controller(
      nib,
      [status](CFStringRef* log, Boolean, const UninstallerEngineOptions& options) {
        QThread::sleep(1);
        if (options.privilegedToolRunning != nullptr) options.privilegedToolRunning(options.context);
        QThread::sleep(1);
        *log = CFStringCreateWithCString(nullptr, status == 0 ? kSampleLog : "Uninstaller failed\n",
                                         kCFStringEncodingUTF8);
        return status;
      },
      environment);
  controller.awakeFromNib();
  nib.mainWindow().makeKeyAndOrderFront_(nullptr);
  return QApplication::exec();
}
