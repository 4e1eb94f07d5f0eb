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
  int spawnErr = 0;

  err = CFQErrorBoolean(CFURLGetFileSystemRepresentation(helperTool, true, reinterpret_cast<UInt8*>(toolPath),
                                                         sizeof(toolPath)));
  if (err == noErr) {
    err = AuthorizationMakeExternalForm(auth, &extAuth);
  }
  CHECK_POINT(err);

  if (err == noErr) {
    int comm[2];
    err = MoreUNIXErrno(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, comm));
    if (err == noErr) {
      fdChild = comm[0];
      fdParent = comm[1];
    }
  }
  CHECK_POINT(err);

  if (err == noErr) {
    // The tool's standard input and output are its end of the socket; our
    // end closes at the exec.
    const MoreUNIXSpawnDescriptor descriptors[] = {{fdChild, STDIN_FILENO}, {fdChild, STDOUT_FILENO}};
    const MoreUNIXSpawnOptions options = {descriptors, 2, NULL, 0, NULL};
    char* argv[] = {toolPath, NULL};
    spawnErr = MoreUNIXSpawn(toolPath, argv, environ, &options, &childPID);
    if (spawnErr != 0) {
      // A tool that cannot be started fails as one that started and ended
      // at once with the error as its exit code: the exchange meets a
      // closed socket, and the exit code decides. Either way the caller
      // sees the same checks fail and the same status.
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

  if (err == noErr && started != NULL && childPID != -1) {
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

  if (childPID != -1 || spawnErr != 0) {
    int status = 0;
    if (childPID != -1) {
      err = MoreSecWaitForHelperTool(childPID, err, &status);
    } else {
      status = MoreSecErrorToHelperToolResult(spawnErr) << 8;  // an exit with that code
      if (err == ECONNRESET) err = EPIPE;
    }
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
