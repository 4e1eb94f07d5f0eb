// The request channel between the application and the privileged helper tool:
// the reserved dictionary keys, the helper tool's result codes and their
// mapping to and from statuses, and the clean-up of a received descriptor list.
//
// One connection carries one request and one response, each a frame: a 4-byte
// body length in host byte order, then an XML property list whose root is a
// dictionary. Descriptors listed in a response travel after its frame, one
// SCM_RIGHTS message each, and arrive renumbered for the receiver.
#ifndef QUILLON_CORE_SECURITY_MORESECPROTOCOL_H
#define QUILLON_CORE_SECURITY_MORESECPROTOCOL_H

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

// The descriptor list: an array of integers, each an open descriptor that
// travels with the dictionary. In a received dictionary the numbers are the
// receiver's own descriptors, in the order they arrived.
#define kMoreSecFileDescriptorsKey CFSTR("com.quillon.MoreSec.FDs")
// The error number: a signed 32-bit integer, the status of the command that
// the tool ran (0 for success). Every response carries it.
#define kMoreSecErrorNumberKey CFSTR("com.quillon.MoreSec.ErrorNumber")

// Statuses for the helper tool's result codes 1 to 5.
enum : OSStatus {
  kHelperToolNotPrivilegedErr = 5361,  // cannot run with root privileges
  kHelperToolDeniedErr = 5362,         // authorization denied
  kHelperToolCanceledErr = 5363,       // the user canceled the authorization dialog
  kHelperToolFailedErr = 5364,         // any other failure, or a signal
  // Result code 5: a password was needed and no authentication agent could
  // ask for it. The status is Authorization Services' own, so that it stays
  // apart from a refusal (5362) all the way to the user.
  kHelperToolNoAgentErr = -60007,  // errAuthorizationInteractionNotAllowed
};

// The largest frame body a reader accepts; it caps what a peer can make the
// reader allocate.
enum : SInt32 { kMoreSecMaxFrameBodyLength = 1048576 };

// Closes every descriptor in |descArray|, the value found under
// kMoreSecFileDescriptorsKey, in array order. NULL does nothing. A value that
// is not an array of integers of at least 0, or a close that fails, is a
// broken invariant and ends the process: only use it on lists you built or
// just received.
void MoreSecCloseDescriptorArray(CFTypeRef descArray);

// Status to helper tool result code: 0 -> 0, -60005 -> 2, -60006 -> 3,
// -60007 -> 5, 5361..5364 -> 1..4, anything else -> 4.
int MoreSecErrorToHelperToolResult(OSStatus err);

// Helper tool result code to status: 0 -> 0, 1..4 -> 5361..5364, 5 ->
// -60007, anything else (negative values included) -> 5364.
OSStatus MoreSecHelperToolResultToError(int toolResult);

#endif  // QUILLON_CORE_SECURITY_MORESECPROTOCOL_H
