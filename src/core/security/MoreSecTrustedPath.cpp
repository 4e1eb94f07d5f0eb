// The pinned walk: each folder is opened relative to the one before it, so
// what was checked is exactly what is used, whatever happens to the path's
// names meanwhile.

#include "MoreSecTrustedPath.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <cassert>

namespace {

int OpenNoFollow(int dirFd, const char* name, int* fd) {
  // O_PATH: a folder that the caller may search but not read is still on
  // the way. O_NOFOLLOW with O_PATH gives the link itself, which fstat then
  // names as such.
  int opened;
  do {
    opened = openat(dirFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  } while (opened < 0 && errno == EINTR);
  if (opened < 0) return errno;
  *fd = opened;
  return 0;
}

// Checks the folder open at fd; the refusal names `where`.
int CheckFolder(int fd, uid_t user, MoreSecPathRefusal* refusal) {
  struct stat st;
  if (fstat(fd, &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) {
    refusal->why = "is a symbolic link";
    return ELOOP;
  }
  if (!S_ISDIR(st.st_mode)) {
    refusal->why = "is not a folder";
    return ENOTDIR;
  }
  return MoreSecIsTrustedItem(st, user, &refusal->why) ? 0 : EPERM;
}

void CloseIfOpen(int fd) {
  if (fd >= 0) {
    int junk = close(fd);
    assert(junk == 0);
  }
}

}  // namespace

bool MoreSecIsTrustedItem(const struct stat& st, uid_t user, const char** why) {
  const char* problem = nullptr;
  const bool rootsStickyFolder = S_ISDIR(st.st_mode) && st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0;
  if (st.st_uid != 0 && st.st_uid != user) {
    problem = user == 0 ? "is not owned by root" : "is owned by neither root nor the user";
  } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !rootsStickyFolder) {
    problem = "may be changed by its group or by others";
  }
  if (problem != nullptr && why != nullptr) *why = problem;
  return problem == nullptr;
}

bool MoreSecIsPathRefusal(int err) { return err == EINVAL || err == ELOOP || err == ENOTDIR || err == EPERM; }

int MoreSecOpenTrustedFolder(const char* path, uid_t user, int* folderFd, int* parentFd,
                             MoreSecPathRefusal* refusal) {
  assert(path != nullptr);
  assert(folderFd != nullptr && *folderFd == -1);
  assert(parentFd == nullptr || *parentFd == -1);
  assert(refusal != nullptr);
  refusal->where = path;
  refusal->why = "";
  if (path[0] != '/') {
    refusal->why = "is not an absolute path";
    return EINVAL;
  }
  if (strnlen(path, PATH_MAX) >= PATH_MAX) {
    refusal->why = "is too long";
    return ENAMETOOLONG;
  }

  int current = -1;
  int parent = -1;
  refusal->where = "/";
  int err = OpenNoFollow(AT_FDCWD, "/", &current);
  if (err == 0) err = CheckFolder(current, user, refusal);
  const char* at = path + 1;
  while (err == 0 && *at != '\0') {
    const char* slash = strchr(at, '/');
    size_t length = slash == nullptr ? strlen(at) : static_cast<size_t>(slash - at);
    std::string name(at, length);
    refusal->where.assign(path, static_cast<size_t>(at - path) + length);
    if (length == 0 || name == "." || name == "..") {
      refusal->why = "has an empty, \".\" or \"..\" component";
      err = EINVAL;
      break;
    }
    int next = -1;
    err = OpenNoFollow(current, name.c_str(), &next);
    if (err == 0) {
      CloseIfOpen(parent);
      parent = current;
      current = next;
      err = CheckFolder(current, user, refusal);
    }
    at += length;
    if (err == 0 && at[0] == '/' && at[1] == '\0') {
      // A trailing slash: an empty last component.
      refusal->where = path;
      refusal->why = "has an empty, \".\" or \"..\" component";
      err = EINVAL;
    } else if (at[0] == '/') {
      at++;
    }
  }
  if (err == 0 && parentFd != nullptr && parent < 0) {
    // "/" is its own parent.
    parent = fcntl(current, F_DUPFD_CLOEXEC, 0);
    if (parent < 0) err = errno;
  }
  if (err == 0) {
    refusal->where.clear();
    *folderFd = current;
    current = -1;
    if (parentFd != nullptr) {
      *parentFd = parent;
      parent = -1;
    }
  }
  CloseIfOpen(parent);
  CloseIfOpen(current);
  return err;
}
