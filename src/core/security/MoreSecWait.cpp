// Waiting for a helper tool process, apart from the client that starts one:
// the relaying tool waits for its root instance the same way, and links
// only this.

#include "MoreSecClientPrivate.h"
#include "MoreSecProtocol.h"
#include "MoreUNIX.h"

#include <cerrno>
#include <sys/wait.h>

void CheckWaitForDebuggerInterference(int* waitErr, pid_t childPID, int* status) {
  if (*waitErr == EINTR || *waitErr == ECHILD) {
    *waitErr = MoreUNIXErrno(waitpid(childPID, status, 0));
  }
}

OSStatus MoreSecWaitForHelperTool(pid_t childPID, OSStatus exchangeErr, int* status) {
  int waitErr = MoreUNIXErrno(waitpid(childPID, status, 0));
  CheckWaitForDebuggerInterference(&waitErr, childPID, status);
  // A peer that exits with our bytes still unread resets the connection
  // rather than closing it; either way the peer has gone, and its exit says why.
  OSStatus err = (exchangeErr == ECONNRESET) ? EPIPE : exchangeErr;
  if (err == noErr) {
    err = waitErr;
  } else if (err == EPIPE && waitErr != 0) {
    // No wait status to decode: the wait's error is what we know.
    err = waitErr;
  }
  return err;
}

OSStatus MoreSecLetExitDecide(OSStatus err, int status) {
  if (err != noErr && err != EPIPE) {
    return err;
  }
  OSStatus exitErr = MoreSecWaitStatusToError(status);
  // A tool that exits 0 after the exchange broke has delivered nothing;
  // success without a response would be a lie, so the EPIPE stands.
  return (err == EPIPE && exitErr == noErr) ? EPIPE : exitErr;
}

OSStatus MoreSecWaitStatusToError(int status) {
  if ((status & 0x7f) != 0) {
    return kHelperToolFailedErr;
  }
  return MoreSecHelperToolResultToError((status >> 8) & 0xff);
}
