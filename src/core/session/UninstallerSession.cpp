#include "UninstallerSession.h"

#include "ProductLayout.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kLockName[] = "quillon-uninstaller.lock";

std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = getenv(name);
  return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// Whether the part whose receipts lie in |receipts| is there, or what is
// left of it: its state folder (the receipts folder's parent), which the
// installer makes for the receipts and the removal takes away last, exists. A removal
// cut off after its last receipt went leaves the folders behind, and the next
// run finishes with them. A state folder that cannot be looked at counts as
// there: only the removal, as root, can tell.
bool PartIsThere(const std::string& receipts) {
  const std::string state = receipts.substr(0, receipts.rfind('/'));
  struct stat info;
  if (lstat(state.c_str(), &info) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
}

bool IsPrivateFolder(const std::string& folder) {
  struct stat info;
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 077) == 0;
}

}  // namespace

unsigned UninstallerInstalledPartsIn(const std::string& systemReceipts, const std::string& userReceipts) {
  unsigned parts = kUninstallerNothingInstalled;
  if (!systemReceipts.empty() && PartIsThere(systemReceipts)) parts |= kUninstallerSystemPart;
  if (!userReceipts.empty() && PartIsThere(userReceipts)) parts |= kUninstallerUserPart;
  return parts;
}

unsigned UninstallerInstalledParts() {
  const std::string home = UninstallerHomeFolder();
  return UninstallerInstalledPartsIn(quillon::kSystemReceiptsDir,
                                     home.empty() ? std::string() : home + "/" + quillon::kUserReceiptsDir);
}

std::string UninstallerHomeFolder() {
  std::string home = AbsoluteFromEnvironment("HOME");
  if (!home.empty()) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return std::string();
}

std::string UninstallerStateFolder() {
  std::string state = AbsoluteFromEnvironment("XDG_STATE_HOME");
  if (state.empty()) {
    const std::string home = UninstallerHomeFolder();
    if (home.empty()) return std::string();
    state = home + "/.local/state";
  }
  return state + "/quillon";
}

int UninstallerMakeFolders(const std::string& folder) {
  if (folder.empty() || folder[0] != '/') return EINVAL;
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

int UninstallerOpenOwnFile(const std::string& path, int flags, int* fd, struct stat* info) {
  if (fd == nullptr || *fd != -1 || info == nullptr) return EINVAL;
  if (path.empty() || path[0] != '/') return EINVAL;
  int err = UninstallerMakeFolders(path.substr(0, path.rfind('/')));
  if (err != 0) return err;
  const int opened = open(path.c_str(), flags | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (opened < 0) return errno;
  if (fstat(opened, info) != 0) {
    err = errno;
  } else if (!S_ISREG(info->st_mode) || info->st_uid != geteuid()) {
    err = EPERM;
  }
  if (err != 0) {
    (void) close(opened);
    return err;
  }
  *fd = opened;
  return 0;
}

std::string UninstallerUserLockPath() {
  const std::string runtime = AbsoluteFromEnvironment("XDG_RUNTIME_DIR");
  if (!runtime.empty() && IsPrivateFolder(runtime)) return runtime + "/" + kLockName;
  const std::string state = UninstallerStateFolder();
  return state.empty() ? std::string() : state + "/" + kLockName;
}

int UninstallerLockAcquire(const std::string& path, int* fd) {
  if (fd == nullptr || *fd != -1) return EINVAL;
  int lockFd = -1;
  struct stat info;
  int err = UninstallerOpenOwnFile(path, O_RDWR, &lockFd, &info);
  if (err != 0) return err;
  while (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) {
      err = errno;
      (void) close(lockFd);
      return err;
    }
  }
  *fd = lockFd;
  return 0;
}

void UninstallerLockRelease(int fd) {
  if (fd >= 0) (void) close(fd);
}
