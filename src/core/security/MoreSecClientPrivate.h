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

// Waits for a helper tool process (retrying once as above) and folds the
// wait into |exchangeErr|, the status of the exchange with it: the wait's
// error when the exchange worked, or when it broke (EPIPE) and there is no
// wait status to look at. ECONNRESET, which a socket reports when its peer
// exits with bytes unread, counts as EPIPE: both mean the peer has gone.
OSStatus MoreSecWaitForHelperTool(pid_t childPID, OSStatus exchangeErr, int* status);

// When |err| is 0 or EPIPE, the tool's exit decides (MoreSecWaitStatusToError),
// except that an exit of 0 after a broken exchange leaves EPIPE: nothing was
// delivered. Any other |err| stands.
OSStatus MoreSecLetExitDecide(OSStatus err, int status);

// Writes "%s:%d: error %ld (%lX)" for a non-zero status: the file, the line,
// the status in decimal and its 32-bit form in upper-case hexadecimal.
void MoreSecLogCheck(const char* file, int line, OSStatus err);

#endif  // QUILLON_CORE_SECURITY_MORESECCLIENTPRIVATE_H
