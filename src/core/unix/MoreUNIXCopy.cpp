// Copying descriptors and files.

#include "MoreUNIX.h"

#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MoreUNIXPrivate.h"

using moreunix_internal::RetryOnEINTR;

namespace {

// One heap block per copy; every block but the last moves exactly this much.
const size_t kCopyBufferSize = 65536;

// A copy carries the permission bits only: never set-user-ID, set-group-ID or
// sticky, which must not travel to a file the caller happens to own.
const mode_t kCopiedModeBits = S_IRWXU | S_IRWXG | S_IRWXO;

// The copy's times are whole microseconds, as utimes() would set them; readers
// that compare modification times in whole seconds see the source's.
struct timespec TruncateToMicroseconds(struct timespec time) {
  time.tv_nsec = (time.tv_nsec / 1000) * 1000;
  return time;
}

// Closes an owned descriptor (if any) and folds the result into |err|: a close
// that fails can mean that written data never reached the file, so it becomes
// the status when nothing failed before it. close() is never repeated, not even
// on EINTR, because the descriptor is released either way.
int CloseKeepingFirstError(int fd, int err) {
  if (fd >= 0) {
    int closeErr = MoreUNIXErrno(close(fd));
    if (err == 0) {
      err = closeErr;
    }
  }
  return err;
}

}  // namespace

int MoreUNIXCopyDescriptorToDescriptor(int source, int dest) {
  assert(source >= 0);
  assert(dest >= 0);

  int err = 0;
  char* buffer = static_cast<char*>(malloc(kCopyBufferSize));
  if (buffer == NULL) {
    err = ENOMEM;
  }
  bool lastBlock = false;
  while (err == 0 && !lastBlock) {
    size_t bytesRead = 0;
    err = MoreUNIXRead(source, buffer, kCopyBufferSize, &bytesRead);
    if (err == EPIPE) {
      // End of file: this short (possibly empty) block is the last one.
      lastBlock = true;
      err = 0;
    }
    if (err == 0) {
      err = MoreUNIXWrite(dest, buffer, bytesRead, NULL);
    }
  }
  free(buffer);
  return err;
}

int MoreUNIXCopyFile(const char* source, const char* dest) {
  assert(source != NULL);
  assert(dest != NULL);

  int sourceFd = -1;
  int destFd = -1;
  struct stat sourceStat;
  struct stat destStat;

  // The mode and times come from the open descriptor, so they belong to the
  // very file whose data is copied even if the path changes meanwhile.
  sourceFd = RetryOnEINTR([&] { return open(source, O_RDONLY | O_CLOEXEC); });
  int err = MoreUNIXErrno(sourceFd);
  if (err == 0) {
    err = MoreUNIXErrno(fstat(sourceFd, &sourceStat));
  }

  // O_NOFOLLOW: a symbolic link planted at the destination must not redirect
  // the write to some other file. The truncation waits until we know that the
  // destination is not the source itself, which it would wipe out.
  if (err == 0) {
    destFd = RetryOnEINTR([&] {
      return open(dest, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                  sourceStat.st_mode & kCopiedModeBits);
    });
    err = MoreUNIXErrno(destFd);
  }
  if (err == 0) {
    err = MoreUNIXErrno(fstat(destFd, &destStat));
  }
  if (err == 0 && destStat.st_dev == sourceStat.st_dev && destStat.st_ino == sourceStat.st_ino) {
    err = EINVAL;
  }
  if (err == 0 && S_ISREG(destStat.st_mode)) {
    err = MoreUNIXErrno(RetryOnEINTR([&] { return ftruncate(destFd, 0); }));
  }

  if (err == 0) {
    err = MoreUNIXCopyDescriptorToDescriptor(sourceFd, destFd);
  }
  if (err == 0) {
    const struct timespec times[2] = {TruncateToMicroseconds(sourceStat.st_atim),
                                      TruncateToMicroseconds(sourceStat.st_mtim)};
    err = MoreUNIXErrno(futimens(destFd, times));
  }

  err = CloseKeepingFirstError(sourceFd, err);
  err = CloseKeepingFirstError(destFd, err);
  return err;
}
