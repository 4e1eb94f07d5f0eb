// The path of the running program's executable.

#include "MoreUNIX.h"

#include <assert.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kernel's link to the executable this process runs.
const char kSelfExeLink[] = "/proc/self/exe";

// Appended by the kernel to the link's text once the executable is unlinked.
const char kDeletedSuffix[] = " (deleted)";

// readlink() does not say how long the text is, so the buffer grows until the
// text fits with room to spare, up to this bound.
const size_t kFirstLinkBufferSize = PATH_MAX;
const size_t kMaxLinkBufferSize = PATH_MAX * 4;

// Reads the link's text into a new NUL-terminated heap block that the caller
// frees. Returns 0 or an errno value; on failure *textOut is untouched.
int ReadSelfExeLink(char** textOut, size_t* lengthOut) {
  int err = 0;
  char* buffer = NULL;
  size_t size = kFirstLinkBufferSize;
  for (;;) {
    char* bigger = static_cast<char*>(realloc(buffer, size));
    if (bigger == NULL) {
      err = ENOMEM;
      break;
    }
    buffer = bigger;
    ssize_t length = readlink(kSelfExeLink, buffer, size);
    if (length < 0) {
      err = errno;
      assert(err != 0);
      break;
    }
    if (static_cast<size_t>(length) < size) {
      // Not filled to the brim, so this is all of it.
      buffer[length] = '\0';
      *lengthOut = static_cast<size_t>(length);
      break;
    }
    if (size >= kMaxLinkBufferSize) {
      err = ENAMETOOLONG;
      break;
    }
    size *= 2;
  }
  if (err == 0) {
    *textOut = buffer;
  } else {
    free(buffer);
  }
  return err;
}

bool HasDeletedSuffix(const char* text, size_t length) {
  const size_t suffixLength = sizeof(kDeletedSuffix) - 1;
  return length >= suffixLength && memcmp(text + length - suffixLength, kDeletedSuffix, suffixLength) == 0;
}

// True when |path| names the very file this process runs.
bool NamesRunningExecutable(const char* path) {
  struct stat pathStat;
  struct stat selfStat;
  return stat(path, &pathStat) == 0 && stat(kSelfExeLink, &selfStat) == 0 &&
         pathStat.st_dev == selfStat.st_dev && pathStat.st_ino == selfStat.st_ino;
}

}  // namespace

int MoreGetExecutablePath(char* execPath, uint32_t* execPathSize) {
  assert(execPathSize != NULL);
  if (*execPathSize != 0) {
    assert(execPath != NULL);
  }

  char* path = NULL;
  size_t length = 0;
  int err = ReadSelfExeLink(&path, &length);

  // Callers use the path to find, repair or run their own file again. The text
  // of a deleted executable's link names some other file or nothing, and a text
  // that is not absolute lies outside this process's root: neither may be
  // handed out. A file that really is named "... (deleted)" is still ours.
  if (err == 0 && path[0] != '/') {
    err = ENOENT;
  }
  if (err == 0 && HasDeletedSuffix(path, length) && !NamesRunningExecutable(path)) {
    err = ENOENT;
  }

  if (err == 0) {
    // Bounded by kMaxLinkBufferSize, so it fits in 32 bits.
    uint32_t neededSize = static_cast<uint32_t>(length + 1);
    if (neededSize > *execPathSize) {
      err = -1;
    } else {
      memcpy(execPath, path, neededSize);
    }
    *execPathSize = neededSize;
  }
  free(path);
  return err;
}
