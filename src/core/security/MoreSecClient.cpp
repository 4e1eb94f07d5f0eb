// Running one request in the helper tool, from the application's side.

#include "MoreSecClient.h"

#include "MoreCFQ.h"
#include "MoreSecClientPrivate.h"
#include "MoreSecProtocolPrivate.h"
#include "MoreUNIX.h"

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// Every check writes its diagnostic only when the running status is not 0.
#define CHECK_POINT(err) MoreSecLogCheck(__FILE__, __LINE__, (err))

void MoreSecLogCheck(const char* file, int line, OSStatus err) {
  if (err != noErr) {
    // The hexadecimal form is the status's 32-bit two's complement, whatever
    // the width of long.
    fprintf(stderr, "%s:%d: error %ld (%lX)", file, line, static_cast<long>(err),
            static_cast<unsigned long>(static_cast<UInt32>(err)));
  }
}

namespace {

// vfork lets the parent go on once a child whose exec failed has released
// our memory, which on Linux comes before the child's descriptors are
// closed: a request written then would still be accepted by the dying
// child's socket. A tool that cannot be started must look the same every
// time, so when the child reports a failed exec, wait until its end of the
// socket is gone; the exchange then meets a broken pipe at its first write.
void WaitForFailedChildToLetGo(int fdExecReport, int fdParent) {
  OSStatus childErr = noErr;
  ssize_t got;
  do {
    got = read(fdExecReport, &childErr, sizeof(childErr));
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    return;  // end of file: the exec worked
  }
  struct pollfd peer = {fdParent, POLLRDHUP, 0};
  while (poll(&peer, 1, -1) < 0 && errno == EINTR) {
  }
}

}  // namespace

OSStatus MoreSecExecuteRequestInHelperTool(CFURLRef helperTool, AuthorizationRef auth, CFDictionaryRef request,
                                           CFDictionaryRef* response) {
  return MoreSecExecuteRequestInHelperToolWithHook(helperTool, auth, request, response, NULL, NULL);
}

OSStatus MoreSecExecuteRequestInHelperToolWithHook(CFURLRef helperTool, AuthorizationRef auth, CFDictionaryRef request,
                                                   CFDictionaryRef* response, MoreSecHelperToolStarted started,
                                                   void* context) {
  assert(helperTool != NULL);
  assert(auth != NULL);
  assert(request != NULL);
  assert(response != NULL);
  assert(*response == NULL);

  OSStatus err = noErr;
  int junk;
  char toolPath[1024];
  AuthorizationExternalForm extAuth;
  int fdChild = -1;
  int fdParent = -1;
  pid_t childPID = -1;

  // Everything the child needs is ready before the fork: it shares our memory
  // until it execs.
  err = CFQErrorBoolean(CFURLGetFileSystemRepresentation(helperTool, true, reinterpret_cast<UInt8*>(toolPath),
                                                         sizeof(toolPath)));
  if (err == noErr) {
    err = AuthorizationMakeExternalForm(auth, &extAuth);
  }
  CHECK_POINT(err);

  if (err == noErr) {
    int comm[2];
    err = MoreUNIXErrno(socketpair(AF_UNIX, SOCK_STREAM, 0, comm));
    if (err == noErr) {
      fdChild = comm[0];
      fdParent = comm[1];
    }
  }
  // Closed by a successful exec, written to by a failed one: tells the parent
  // which of the two happened (see WaitForFailedChildToLetGo).
  int execReport[2] = {-1, -1};
  if (err == noErr) {
    err = MoreUNIXErrno(pipe2(execReport, O_CLOEXEC));
  }
  CHECK_POINT(err);

  if (err == noErr) {
    childPID = vfork();
    if (childPID == 0) {
      // The child: descriptor calls, exec and exit, nothing else.
      OSStatus childErr = MoreUNIXErrno(dup2(fdChild, STDIN_FILENO));
      if (childErr == noErr) {
        childErr = MoreUNIXErrno(dup2(fdChild, STDOUT_FILENO));
      }
      if (childErr == noErr) {
        junk = close(fdChild);
        assert(junk == 0);
        junk = close(fdParent);
        assert(junk == 0);
        execl(toolPath, toolPath, static_cast<char*>(NULL));
        childErr = MoreUNIXErrno(-1);
        assert(childErr != noErr);
      }
      (void) write(execReport[1], &childErr, sizeof(childErr));
      _exit(MoreSecErrorToHelperToolResult(childErr));
    }
    if (childPID < 0) {
      err = MoreUNIXErrno(-1);
      childPID = -1;
    } else {
      assert(childPID > 0);
    }
  }
  CHECK_POINT(err);

  if (fdChild != -1) {
    junk = close(fdChild);
    assert(junk == 0);
    fdChild = -1;
  }
  if (execReport[1] != -1) {
    junk = close(execReport[1]);
    assert(junk == 0);
  }
  if (execReport[0] != -1) {
    if (childPID != -1) {
      WaitForFailedChildToLetGo(execReport[0], fdParent);
    }
    junk = close(execReport[0]);
    assert(junk == 0);
  }

  if (err == noErr && started != NULL) {
    // The tool waits for the external form before it asks for anything.
    started(childPID, context);
  }
  if (err == noErr) {
    err = MoreUNIXWrite(fdParent, &extAuth, sizeof(extAuth), NULL);
  }
  CHECK_POINT(err);
  if (err == noErr) {
    err = WriteDictionaryToDescriptor(request, fdParent);
  }
  CHECK_POINT(err);
  if (err == noErr) {
    // The tool, or the instance it relays to, reads until end of stream.
    err = MoreUNIXErrno(shutdown(fdParent, SHUT_WR));
  }
  CHECK_POINT(err);
  if (err == noErr) {
    err = CopyDictionaryTranslatingDescriptors(fdParent, response);
  }
  CHECK_POINT(err);

  if (fdParent != -1) {
    junk = MoreUNIXErrno(close(fdParent));
    assert(junk == 0);
  }

  if (childPID != -1) {
    int status = 0;
    err = MoreSecWaitForHelperTool(childPID, err, &status);
    CHECK_POINT(err);
    if (err == noErr || err == EPIPE) {
      OSStatus exitErr = MoreSecWaitStatusToError(status);
      if ((status & 0x7f) != 0) {
        CHECK_POINT(exitErr);
      } else if (exitErr != noErr) {
        CHECK_POINT(exitErr);
      }
      err = MoreSecLetExitDecide(err, status);
    }
  }

  if (err != noErr && *response != NULL) {
    MoreSecCloseDescriptorArray(CFDictionaryGetValue(*response, kMoreSecFileDescriptorsKey));
    CFRelease(*response);
    *response = NULL;
  }
  assert((err == noErr) == (*response != NULL));
  return err;
}

OSStatus MoreSecGetErrorFromResponse(CFDictionaryRef response) {
  assert(response != NULL);

  CFTypeRef value = CFDictionaryGetValue(response, kMoreSecErrorNumberKey);
  OSStatus err = CFQError(value);
  if (err == noErr) {
    SInt32 number = 0;
    if (CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &number)) {
      err = coreFoundationUnknownErr;
    } else {
      err = number;
    }
  }
  return err;
}
