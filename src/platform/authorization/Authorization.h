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
// action id: lower-case letters, digits, '.' and '-'), letting an
// authentication agent ask for a password when
// kAuthorizationFlagInteractionAllowed is set. The user is the real user ID:
// a set-user-ID root program started by a user is asked about that user.
// Each right is a fresh question to /usr/bin/pkcheck (run as root when this
// process can be root, so that the user cannot tamper with it); no answer is
// kept, so kAuthorizationFlagExtendRights and kAuthorizationFlagPreAuthorize
// change nothing. 0 when all are held; errAuthorizationDenied;
// errAuthorizationInteractionNotAllowed when a password would be needed but
// interaction is not allowed, or allowed but no agent could ask;
// errAuthorizationCanceled when the user dismissed
// the dialog; errAuthorizationInvalidTag for a malformed action id;
// errAuthorizationInternal when polkit cannot be asked (or takes more than
// 60 seconds, 600 with interaction). With kAuthorizationFlagPartialRights a
// denied right is left out instead of failing the call. authorizedRights may
// be NULL; otherwise it receives the rights held (names only), which the
// caller frees with AuthorizationFreeItemSet.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);
// Frees a set that AuthorizationCopyRights returned.
OSStatus AuthorizationFreeItemSet(AuthorizationItemSet* set);
// Runs pathToTool (an absolute path) as root through /usr/bin/pkexec, with
// one end of a socket pair as the tool's standard input and output and our
// standard error as its own. pkexec asks polkit about its parent, which is
// this process, and never prompts on a terminal itself
// (--disable-internal-agent): the session's authentication agent asks, or
// one that the caller registered for this process beforehand (pkttyagent
// --process). options must be 0. Blocks until the verdict: returns 0 with
// *communicationsPipe open ("r+") on the other end once the tool runs as root
// and has written its first byte (which is still unread). The tool goes on
// running as our child (pkexec execs it in place): the caller waits for it,
// knowing its pid from the tool itself. When the channel ends before any
// byte, pkexec is reaped and its exit status decides: 126 (dismissed)
// errAuthorizationCanceled; 127 with what pkexec said, read in the C locale:
// not authorized errAuthorizationDenied, no authentication agent could ask
// errAuthorizationInteractionNotAllowed, any other pkexec error
// errAuthorizationInternal; anything else, and a tool that could not be
// started, errAuthorizationToolExecuteFailure. What pkexec writes is passed
// on to our standard error. On failure *communicationsPipe is NULL and no
// child is left behind.
// The fork of pkexec may use the hard RLIMIT_NPROC, whatever the soft one
// says; when it fails all the same, its errno is named on standard error.
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            FILE** communicationsPipe);
// The reference of a process that AuthorizationExecuteWithPrivileges started.
// Only a process whose real user ID is 0 gets one; the environment is never
// trusted. errAuthorizationInvalidRef otherwise.
OSStatus AuthorizationCopyPrivilegedReference(AuthorizationRef* authorization, AuthorizationFlags flags);
