#include "MoreSecInstalledTool.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>

namespace {

const char kAnnotationStart[] = "<annotate key=\"org.freedesktop.policykit.exec.path\">";
const char kAnnotationEnd[] = "</annotate>";
const size_t kPolicyLimit = 64 * 1024;

bool IsCleanAbsolutePath(const std::string& path) {
  if (path.size() < 2 || path.size() >= PATH_MAX || path[0] != '/' || path.back() == '/') return false;
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

// The annotation's text, without the spaces around it.
bool FindAnnotation(const std::string& text, std::string* value) {
  const size_t open = text.find(kAnnotationStart);
  if (open == std::string::npos) return false;
  const size_t begin = open + sizeof kAnnotationStart - 1;
  const size_t close = text.find(kAnnotationEnd, begin);
  if (close == std::string::npos) return false;
  size_t first = begin, last = close;
  while (first < last && (text[first] == ' ' || text[first] == '\n' || text[first] == '\t')) first++;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\n' || text[last - 1] == '\t')) last--;
  value->assign(text, first, last - first);
  return true;
}

}  // namespace

int MoreSecCopyInstalledToolPath(const char* policyPath, std::string* toolPath, MoreSecPathRefusal* refusal) {
  assert(policyPath != NULL);
  assert(toolPath != NULL);
  assert(refusal != NULL);
  toolPath->clear();
  const std::string path(policyPath);
  const size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == std::string::npos || slash + 1 == path.size()) {
    refusal->where = path;
    refusal->why = "is not an absolute file path";
    return EINVAL;
  }
  int folderFd = -1;
  int err = MoreSecOpenTrustedFolder(slash == 0 ? "/" : path.substr(0, slash).c_str(), 0, &folderFd, NULL, refusal);
  if (err != 0) return err;

  refusal->where = path;
  int fd;
  do {
    fd = openat(folderFd, path.c_str() + slash + 1, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  err = fd < 0 ? errno : 0;
  (void) close(folderFd);
  if (err == ELOOP) refusal->why = "is a symbolic link";
  struct stat st;
  if (err == 0 && fstat(fd, &st) != 0) err = errno;
  if (err == 0 && !S_ISREG(st.st_mode)) {
    refusal->why = "is not a regular file";
    err = EINVAL;
  }
  if (err == 0 && !MoreSecIsTrustedItem(st, 0, &refusal->why)) err = EPERM;
  if (err == 0 && static_cast<size_t>(st.st_size) > kPolicyLimit) {
    refusal->why = "is larger than 64 KiB";
    err = EFBIG;
  }
  std::string text;
  if (err == 0) {
    char buffer[4096];
    for (;;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        err = errno;
        break;
      }
      if (n == 0) break;
      text.append(buffer, static_cast<size_t>(n));
      if (text.size() > kPolicyLimit) {
        refusal->why = "is larger than 64 KiB";
        err = EFBIG;
        break;
      }
    }
  }
  if (fd >= 0) (void) close(fd);
  if (err != 0) return err;

  std::string value;
  if (!FindAnnotation(text, &value)) {
    refusal->why = "names no program for pkexec (org.freedesktop.policykit.exec.path)";
    return ENOENT;
  }
  if (!IsCleanAbsolutePath(value)) {
    refusal->why = "names a program that is not a clean absolute path";
    return EINVAL;
  }
  *toolPath = value;
  return 0;
}

std::string MoreSecBundleOfInstalledTool(const std::string& toolPath) {
  const size_t slash = toolPath.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return toolPath.substr(0, slash);
}
