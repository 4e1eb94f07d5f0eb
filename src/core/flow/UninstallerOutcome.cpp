#include "UninstallerOutcome.h"

#include "MoreSecInstall.h"

UninstallerOutcome UninstallerOutcomeOf(OSStatus status) {
  switch (status) {
    case noErr:
      return UninstallerOutcome::kRemoved;
    case kHelperToolCanceledErr:
    case errAuthorizationCanceled:
      return UninstallerOutcome::kCancelled;
    case kHelperToolDeniedErr:
    case errAuthorizationDenied:
      return UninstallerOutcome::kDenied;
    case kHelperToolNoAgentErr:
      return UninstallerOutcome::kNoAgent;
    default:
      return UninstallerOutcome::kFailed;
  }
}

const char* UninstallerStatusTextKey(OSStatus status) {
  switch (status) {
    case kHelperToolNotPrivilegedErr:
      return "statusNotPrivileged";
    case kHelperToolDeniedErr:
      return "statusDenied";
    case kHelperToolCanceledErr:
      return "statusCanceled";
    case kHelperToolFailedErr:
      return "statusFailed";
    case 5365:  // a program, or a folder on its way, is not root's alone
      return "statusUntrustedInstall";
    case 5366:  // the session's resource limits cannot be raised for a whole run
      return "statusLimits";
    case kMoreSecFolderInappropriateErr:
      return "statusFolderUnsuitable";
    case kHelperToolNoAgentErr:
      return "statusNoAgent";
    case coreFoundationUnknownErr:
      return "statusDamaged";
    default:
      return nullptr;
  }
}

bool UninstallerStatusIsErrno(OSStatus status) { return status > 0 && status < 4096; }
