#include "SafePath.h"

#include "ScopedFd.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cassert>

namespace quillon {

bool SplitAbsolutePath(std::string_view path, PathParts* parts, const char** why) {
  assert(parts != nullptr);
  assert(why != nullptr);
  parts->clear();
  *why = nullptr;
  if (path.empty()) {
    *why = "empty path";
  } else if (path.front() != '/') {
    *why = "not an absolute path";
  } else if (path.size() >= PATH_MAX) {
    *why = "path too long";
  } else {
    for (unsigned char c : path) {
      if (c < 0x20 || c == 0x7f) {
        *why = "control character in path";
        break;
      }
    }
  }
  size_t start = 1;
  while (*why == nullptr && start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (part.empty()) {
      *why = "empty path component";
    } else if (part == "." || part == "..") {
      *why = "contains \".\" or \"..\"";
    } else if (part.size() > NAME_MAX) {
      *why = "path component too long";
    } else {
      parts->emplace_back(part);
    }
    start = end + 1;
  }
  if (*why == nullptr && parts->empty()) *why = "the root folder itself";
  if (*why != nullptr) parts->clear();
  return *why == nullptr;
}

std::string JoinPath(const PathParts& parts, size_t count) {
  assert(count <= parts.size());
  std::string path;
  for (size_t i = 0; i < count; i++) {
    path += '/';
    path += parts[i];
  }
  return path.empty() ? std::string("/") : path;
}

bool HasPrefix(const PathParts& parts, const PathParts& prefix) {
  if (prefix.size() > parts.size()) return false;
  for (size_t i = 0; i < prefix.size(); i++) {
    if (parts[i] != prefix[i]) return false;
  }
  return true;
}

int OpenAnchor(const char* path, int* fd) {
  assert(path != nullptr);
  assert(fd != nullptr && *fd == -1);
  int result;
  do {
    result = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
  } while (result < 0 && errno == EINTR);
  if (result < 0) return errno;
  *fd = result;
  return 0;
}

// Opens one component below dirFd as a folder, never through a link. With
// O_PATH the kernel would hand back the link itself, which O_DIRECTORY then
// rejects as ENOTDIR; the link is told apart here so the log can say so.
static int OpenComponent(int dirFd, const std::string& name, int* fd) {
  int result;
  do {
    result = openat(dirFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (result < 0 && errno == EINTR);
  if (result >= 0) {
    *fd = result;
    return 0;
  }
  int err = errno;
  if (err == ENOTDIR || err == ELOOP) {
    struct stat st;
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      err = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
    }
  }
  return err;
}

static int Walk(int anchorFd, const PathParts& parts, size_t first, size_t count, bool create, mode_t mode,
                std::vector<size_t>* created, int* dirFd, size_t* failedIndex) {
  assert(anchorFd >= 0);
  assert(first <= count && count <= parts.size());
  assert(dirFd != nullptr && *dirFd == -1);
  assert(failedIndex != nullptr);
  ScopedFd current(fcntl(anchorFd, F_DUPFD_CLOEXEC, 0));
  if (!current.valid()) return errno;
  for (size_t i = first; i < count; i++) {
    int next = -1;
    int err = OpenComponent(current.get(), parts[i], &next);
    if (err == ENOENT && create) {
      if (mkdirat(current.get(), parts[i].c_str(), mode) == 0) {
        if (created != nullptr) created->push_back(i);
      } else if (errno != EEXIST) {
        *failedIndex = i;
        return errno;
      }
      err = OpenComponent(current.get(), parts[i], &next);
    }
    if (err != 0) {
      *failedIndex = i;
      return err;
    }
    current.reset(next);
  }
  *dirFd = current.release();
  return 0;
}

int OpenDirectoryBeneath(int anchorFd, const PathParts& parts, size_t first, size_t count, int* dirFd,
                         size_t* failedIndex) {
  return Walk(anchorFd, parts, first, count, false, 0, nullptr, dirFd, failedIndex);
}

int MakeDirectoryBeneath(int anchorFd, const PathParts& parts, size_t first, size_t count, mode_t mode,
                         std::vector<size_t>* created, int* dirFd, size_t* failedIndex) {
  return Walk(anchorFd, parts, first, count, true, mode, created, dirFd, failedIndex);
}

int ReopenDirectory(int pathFd, int* dirFd) {
  assert(pathFd >= 0);
  assert(dirFd != nullptr && *dirFd == -1);
  int result;
  do {
    result = openat(pathFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (result < 0 && errno == EINTR);
  if (result < 0) return errno;
  *dirFd = result;
  return 0;
}

bool HasTrustedOwner(const struct stat& st) { return st.st_uid == 0 || st.st_uid == geteuid(); }

}  // namespace quillon
