#include "RestartRequest.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QPointer>

#include <cstring>
#include <limits>

namespace {

struct ErrorMapping {
  const char* name;
  OSStatus status;
};

constexpr ErrorMapping kRestartErrors[] = {
    {"org.freedesktop.DBus.Error.ServiceUnknown", kRestartNoLoginManagerErr},
    {"org.freedesktop.DBus.Error.NameHasNoOwner", kRestartNoLoginManagerErr},
    {"org.freedesktop.DBus.Error.UnknownMethod", kRestartNotHandledErr},
    {"org.freedesktop.DBus.Error.UnknownObject", kRestartNotHandledErr},
    {"org.freedesktop.DBus.Error.UnknownInterface", kRestartNotHandledErr},
    {"org.freedesktop.DBus.Error.NotSupported", kRestartNotHandledErr},
    {"org.freedesktop.DBus.Error.AccessDenied", kRestartPrivilegeErr},
    {"org.freedesktop.DBus.Error.AuthFailed", kRestartPrivilegeErr},
    {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", kRestartPrivilegeErr},
    {"org.freedesktop.PolicyKit1.Error.NotAuthorized", kRestartPrivilegeErr},
    {"org.freedesktop.PolicyKit1.Error.Cancelled", kRestartUserCanceledErr},
    {"org.freedesktop.DBus.Error.NoReply", kRestartTimeoutErr},
    {"org.freedesktop.DBus.Error.Timeout", kRestartTimeoutErr},
    {"org.freedesktop.DBus.Error.TimedOut", kRestartTimeoutErr},
    {"org.freedesktop.DBus.Error.Disconnected", kRestartNoSystemBusErr},
    {"org.freedesktop.DBus.Error.NoServer", kRestartNoSystemBusErr},
    {"org.freedesktop.DBus.Error.NoNetwork", kRestartNoSystemBusErr},
};

const char kLogindService[] = "org.freedesktop.login1";
const char kLogindPath[] = "/org/freedesktop/login1";
const char kLogindManager[] = "org.freedesktop.login1.Manager";

}  // namespace

OSStatus RestartStatusForDBusError(const char* errorName) {
  if (errorName == nullptr) {
    return kRestartFailedErr;
  }
  for (const ErrorMapping& mapping : kRestartErrors) {
    if (std::strcmp(mapping.name, errorName) == 0) {
      return mapping.status;
    }
  }
  return kRestartFailedErr;
}

void RequestRestart(QObject* context, std::function<void(OSStatus status)> completion) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    completion(kRestartNoSystemBusErr);
    return;
  }
  QDBusMessage reboot = QDBusMessage::createMethodCall(QLatin1String(kLogindService), QLatin1String(kLogindPath),
                                                       QLatin1String(kLogindManager), QStringLiteral("Reboot"));
  // interactive: logind may ask the user to authenticate through polkit.
  reboot << true;
  QDBusPendingCall pending = bus.asyncCall(reboot, std::numeric_limits<int>::max());
  auto* watcher = new QDBusPendingCallWatcher(pending, context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
                     const QDBusPendingReply<> reply = *finished;
                     finished->deleteLater();
                     if (reply.isError()) {
                       completion(RestartStatusForDBusError(reply.error().name().toUtf8().constData()));
                     } else {
                       completion(noErr);
                     }
                   });
}
