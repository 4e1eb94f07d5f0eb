#include "UninstallerPreflight.h"

#include <AppKit/NSBundle.h>

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdlib>

namespace {

// The terminal command that does what the window does, for the cases the
// window cannot serve.
const char kTerminalCommand[] = "quillon-uninstall";

// The text for |key| in the user's language when there is a strings table,
// else |english|; "%1" is |argument| either way.
std::string Localized(const NSBundle* bundle, const char* key, const char* english, const std::string& argument) {
  QString text = QString::fromUtf8(english);
  if (bundle != nullptr) text = bundle->localizedStringForKey_value_table_(QLatin1String(key), text, QString());
  if (text.contains(QLatin1String("%1"))) text = text.arg(QString::fromStdString(argument));
  return text.toStdString();
}

}  // namespace

std::string UninstallerNeedsDisplayLine(const NSBundle* strings) {
  return "quillon-uninstaller: " +
         Localized(strings, "windowNeedsDisplay", "a graphical session is needed; in a terminal, use %1 instead.",
                   kTerminalCommand) +
         "\n";
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

UninstallerPreflightResult UninstallerPreflight(int argc, char* argv[], unsigned realUID, unsigned effectiveUID,
                                                const NSBundle* strings) {
  UninstallerPreflightResult result;
  const std::string usage = Localized(strings, "windowUsage",
                                      "Usage: quillon-uninstaller [--verbose | --help | --version]\n"
                                      "Removes the Quillon MIDI driver suite from this computer, in a window.\n"
                                      "Without a graphical session, use %1 in a terminal.\n",
                                      kTerminalCommand);
  if (argc == 2 && std::string(argv[1]) == "--verbose") {
    result.verbose = true;
  } else if (argc > 1) {
    const std::string option = argv[1];
    if (argc == 2 && option == "--help") {
      result.exitStatus = 0;
      result.output = usage;
    } else if (argc == 2 && option == "--version") {
      result.exitStatus = 0;
      result.output = "quillon-uninstaller " QUILLON_VERSION "\n";
    } else {
      result.exitStatus = 2;
      result.error = "quillon-uninstaller: " + Localized(strings, "optionUnknown", "unknown option %1", option) + "\n" +
                     usage;
    }
    return result;
  }
  if (!UninstallerHasDisplay()) {
    result.exitStatus = 1;
    result.error = UninstallerNeedsDisplayLine(strings);
    return result;
  }
  if (realUID == 0 || effectiveUID == 0) {
    // As root the user's part would be looked for in root's home, and the
    // real user's left behind while the window reports success.
    result.exitStatus = 1;
    result.showInWindow = true;
    result.error = "quillon-uninstaller: " +
                   Localized(strings, "windowRootRefused",
                             "do not run the uninstaller as root: start it as yourself and it asks for the "
                             "administrator password it needs. To remove Quillon as root, use %1 in a terminal.",
                             kTerminalCommand) +
                   "\n";
  }
  return result;
}
