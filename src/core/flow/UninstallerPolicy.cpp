#include "UninstallerPolicy.h"

#include <Authorization.h>

UninstallerPolicyVerdict UninstallerAskPolicy(const char* actionId) {
  if (actionId == nullptr) return UninstallerPolicyVerdict::kUnknown;
  AuthorizationRef auth = NULL;
  if (AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &auth) != errAuthorizationSuccess) {
    return UninstallerPolicyVerdict::kUnknown;
  }
  // Without kAuthorizationFlagInteractionAllowed polkit answers at once and
  // never asks: "challenge" comes back as interaction not allowed.
  AuthorizationItem right = {actionId, 0, NULL, 0};
  const AuthorizationRights rights = {1, &right};
  const OSStatus status = AuthorizationCopyRights(auth, &rights, NULL, kAuthorizationFlagDefaults, NULL);
  (void) AuthorizationFree(auth, kAuthorizationFlagDefaults);
  switch (status) {
    case errAuthorizationSuccess:
      return UninstallerPolicyVerdict::kAuthorized;
    case errAuthorizationDenied:
      return UninstallerPolicyVerdict::kNotAuthorized;
    case errAuthorizationInteractionNotAllowed:
      return UninstallerPolicyVerdict::kChallenge;
    default:
      return UninstallerPolicyVerdict::kUnknown;  // polkitd unreachable, unknown action, ...
  }
}
