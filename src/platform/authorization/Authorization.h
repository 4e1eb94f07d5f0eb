// Authorization Services, standing on polkit. An authorization reference is
// a token of this process; it carries no rights of its own. Rights are
// decided by polkit: pkexec when a tool is run as root, pkcheck when a
// running process asks whether its user may act.
#pragma once

#include <MacTypes.h>

#include <cstdio>

typedef struct AuthorizationOpaqueRef* AuthorizationRef;
typedef UInt32 AuthorizationFlags;
typedef const char* AuthorizationString;

enum : AuthorizationFlags {
  kAuthorizationFlagDefaults = 0,
  kAuthorizationFlagInteractionAllowed = (1 << 0),
  kAuthorizationFlagExtendRights = (1 << 1),
  kAuthorizationFlagPartialRights = (1 << 2),
  kAuthorizationFlagDestroyRights = (1 << 3),
  kAuthorizationFlagPreAuthorize = (1 << 4),
};

enum : OSStatus {
  errAuthorizationSuccess = 0,
  errAuthorizationInvalidSet = -60001,
  errAuthorizationInvalidRef = -60002,
  errAuthorizationInvalidTag = -60003,
  errAuthorizationInvalidPointer = -60004,
  errAuthorizationDenied = -60005,
  errAuthorizationCanceled = -60006,
  errAuthorizationInteractionNotAllowed = -60007,
  errAuthorizationInternal = -60008,
  errAuthorizationExternalizeNotAllowed = -60009,
  errAuthorizationInternalizeNotAllowed = -60010,
  errAuthorizationInvalidFlags = -60011,
  errAuthorizationToolExecuteFailure = -60031,
  errAuthorizationToolEnvironmentError = -60032,
  errAuthorizationBadAddress = -60033,
};

enum { kAuthorizationExternalFormLength = 32 };
struct AuthorizationExternalForm {
  char bytes[kAuthorizationExternalFormLength];
};

struct AuthorizationItem {
  AuthorizationString name;
  size_t valueLength;
  void* value;
  UInt32 flags;
};
struct AuthorizationItemSet {
  UInt32 count;
  AuthorizationItem* items;
};
typedef AuthorizationItemSet AuthorizationRights;
typedef AuthorizationItemSet AuthorizationEnvironment;

// The polkit action that guards the uninstall: the user may remove the product.
#define kQuillonUninstallRight "com.quillon.uninstaller.uninstall"

// Creates a reference. rights and environment may be NULL. With rights and
// kAuthorizationFlagExtendRights, each right is checked as with
// AuthorizationCopyRights.
OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization);
// Frees the reference. kAuthorizationFlagDestroyRights forgets any right
// that was granted through it. errAuthorizationInvalidRef for NULL.
OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags);
// 32 opaque bytes that let another process of this user recreate the reference.
OSStatus AuthorizationMakeExternalForm(AuthorizationRef authorization, AuthorizationExternalForm* extForm);
OSStatus AuthorizationCreateFromExternalForm(const AuthorizationExternalForm* extForm,
                                             AuthorizationRef* authorization);
// Asks polkit whether the calling process's user holds each right (a polkit
// action id), letting an authentication agent ask for a password when
// kAuthorizationFlagInteractionAllowed is set. 0 when all are held;
// errAuthorizationDenied, or errAuthorizationCanceled when the user dismissed
// the dialog. authorizedRights may be NULL.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);
// Runs pathToTool as root through /usr/bin/pkexec, with one end of a socket
// pair as the tool's standard input and output. Returns 0 with
// *communicationsPipe open on the other end once the tool runs as root (it has
// written its first byte); errAuthorizationDenied when pkexec exits 127,
// errAuthorizationCanceled when it exits 126, errAuthorizationToolExecuteFailure
// when it cannot be started. On failure pkexec has been reaped.
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            FILE** communicationsPipe);
// The reference of a process that AuthorizationExecuteWithPrivileges started.
// Only a process whose real user ID is 0 gets one; the environment is never
// trusted. errAuthorizationInvalidRef otherwise.
OSStatus AuthorizationCopyPrivilegedReference(AuthorizationRef* authorization, AuthorizationFlags flags);
