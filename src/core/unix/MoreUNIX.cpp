// Errors, whole-buffer transfers and SIGPIPE.

#include "MoreUNIX.h"

#include <assert.h>
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "MoreUNIXPrivate.h"

using moreunix_internal::RetryOnEINTR;

namespace {

// read() and write() leave counts above SSIZE_MAX to the implementation, so a
// single call never asks for more.
size_t ClampToSsizeMax(size_t count) {
  return std::min(count, static_cast<size_t>(SSIZE_MAX));
}

}  // namespace

int MoreUNIXErrno(int result) {
  int err = 0;
  if (result < 0) {
    err = errno;
    assert(err != 0);
  }
  return err;
}

int MoreUNIXRead(int fd, void* buf, size_t bytesToRead, size_t* bytesRead) {
  assert(fd >= 0);
  assert(buf != NULL);

  int err = 0;
  char* cursor = static_cast<char*>(buf);
  size_t bytesLeft = bytesToRead;
  while (err == 0 && bytesLeft != 0) {
    ssize_t bytesThisTime =
        RetryOnEINTR([&] { return read(fd, cursor, ClampToSsizeMax(bytesLeft)); });
    if (bytesThisTime > 0) {
      cursor += bytesThisTime;
      bytesLeft -= static_cast<size_t>(bytesThisTime);
    } else if (bytesThisTime == 0) {
      // End of file before the buffer was full.
      err = EPIPE;
    } else {
      assert(bytesThisTime == -1);
      err = errno;
      assert(err != 0);
    }
  }
  if (bytesRead != NULL) {
    *bytesRead = bytesToRead - bytesLeft;
  }
  return err;
}

int MoreUNIXWrite(int fd, const void* buf, size_t bytesToWrite, size_t* bytesWritten) {
  assert(fd >= 0);
  assert(buf != NULL);

  // A write to a vanished reader must come back as EPIPE rather than kill the
  // process, so a process that has not ignored SIGPIPE is a programming error.
  struct sigaction currentSignalState;
  int junk = sigaction(SIGPIPE, NULL, &currentSignalState);
  assert(junk == 0);
  assert(currentSignalState.sa_handler == SIG_IGN);

  int err = 0;
  const char* cursor = static_cast<const char*>(buf);
  size_t bytesLeft = bytesToWrite;
  while (err == 0 && bytesLeft != 0) {
    ssize_t bytesThisTime =
        RetryOnEINTR([&] { return write(fd, cursor, ClampToSsizeMax(bytesLeft)); });
    if (bytesThisTime > 0) {
      cursor += bytesThisTime;
      bytesLeft -= static_cast<size_t>(bytesThisTime);
    } else if (bytesThisTime == 0) {
      // write() never returns 0 for a non-empty buffer on a blocking descriptor.
      assert(false);
    } else {
      assert(bytesThisTime == -1);
      err = errno;
      assert(err != 0);
    }
  }
  if (bytesWritten != NULL) {
    *bytesWritten = bytesToWrite - bytesLeft;
  }
  return err;
}

int MoreUNIXIgnoreSIGPIPE(void) {
  struct sigaction signalState;
  int err = MoreUNIXErrno(sigaction(SIGPIPE, NULL, &signalState));
  if (err == 0) {
    // Only the handler changes; the mask and flags stay as they were.
    signalState.sa_handler = SIG_IGN;
    err = MoreUNIXErrno(sigaction(SIGPIPE, &signalState, NULL));
  }
  return err;
}

int MoreUNIXSetSpawnSignalDefaults(posix_spawnattr_t* attributes, const int* signals, size_t count) {
  sigset_t set;
  sigemptyset(&set);
  int err = posix_spawnattr_setsigmask(attributes, &set);
  for (size_t i = 0; err == 0 && i < count; i++) {
    err = MoreUNIXErrno(sigaddset(&set, signals[i]));
  }
  if (err == 0) err = posix_spawnattr_setsigdefault(attributes, &set);
  if (err == 0) err = posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  return err;
}
