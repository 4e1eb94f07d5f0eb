// Waiting for a helper tool process; shared by the client and the relaying tool.
#ifndef QUILLON_CORE_SECURITY_MORESECCLIENTPRIVATE_H
#define QUILLON_CORE_SECURITY_MORESECCLIENTPRIVATE_H

#include <MacTypes.h>
#include <sys/types.h>

// A wait that failed with EINTR or ECHILD (a debugger attached to the child
// can cause either) is repeated exactly once; its error replaces *waitErr.
void CheckWaitForDebuggerInterference(int* waitErr, pid_t childPID, int* status);

// Turns the wait status of a helper tool process into a status: a process
// that did not exit normally gives 5364, otherwise its exit code is mapped
// with MoreSecHelperToolResultToError.
OSStatus MoreSecWaitStatusToError(int status);

// ECONNRESET, which a socket reports when its peer exits with bytes unread,
// becomes EPIPE: both mean the peer has gone, and its exit status says why.
OSStatus MoreSecPeerGoneAsEPIPE(OSStatus err);

// Writes "%s:%d: error %ld (%lX)" for a non-zero status: the file, the line,
// the status in decimal and its 32-bit form in upper-case hexadecimal.
void MoreSecLogCheck(const char* file, int line, OSStatus err);

#endif  // QUILLON_CORE_SECURITY_MORESECCLIENTPRIVATE_H
