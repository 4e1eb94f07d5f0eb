// The restart request: logind's Reboot on the system bus.
#pragma once

#include <MacTypes.h>

#include <functional>

class QObject;

// Failures of a restart request, as the 16-bit codes the window system's
// event manager gives for the same failures, so that the error sheet shows
// familiar numbers.
enum : OSStatus {
  kRestartUserCanceledErr = -128,      // userCanceledErr: the user declined to authenticate
  kRestartNoLoginManagerErr = -600,    // procNotFound: nobody owns org.freedesktop.login1
  kRestartNoSystemBusErr = -609,       // connectionInvalid: no system bus to talk to
  kRestartNotHandledErr = -1708,       // errAEEventNotHandled: logind has no Reboot
  kRestartTimeoutErr = -1712,          // errAETimeout: no answer came
  kRestartFailedErr = -10000,          // errAEEventFailed: any other refusal
  kRestartPrivilegeErr = -10004,       // errAEPrivilegeError: not allowed to restart
};

// Maps the name of a D-Bus error from logind to one of the statuses above.
OSStatus RestartStatusForDBusError(const char* errorName);

// Asks logind to restart the computer, letting it ask the user for
// permission (interactive). Returns at once: |completion| runs later on the
// main thread, unless |context| has been destroyed by then, with 0 when
// logind took the request and a non-zero status (always within 16 bits)
// when it did not. When the request cannot be sent at all, |completion| runs
// before this returns. The request has no time limit of its own, since the
// user may take a while to authenticate.
void RequestRestart(QObject* context, std::function<void(OSStatus status)> completion);
