#include "UninstallerFailure.h"

#include "MoreSecInstall.h"
#include "UninstallerOutcome.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

// The helper tool statuses that come before its command runs: nothing was
// removed when one of them ends a run.
bool BeforeTheCommand(OSStatus status) {
  return status == kHelperToolNotPrivilegedErr || status == 5365 || status == 5366 ||
         status == kMoreSecFolderInappropriateErr || status == kHelperToolNoAgentErr;
}

}  // namespace

std::string UninstallerMountPointOf(const std::string& path) {
  if (path.empty() || path[0] != '/') return std::string();
  std::string here = path;
  while (here.size() > 1 && here.back() == '/') here.pop_back();
  struct stat st;
  // Up to the nearest folder that exists: a folder that could not be made
  // is on the file system of its parent.
  while (stat(here.c_str(), &st) != 0) {
    const size_t slash = here.rfind('/');
    if (slash == std::string::npos) return std::string();
    here = slash == 0 ? "/" : here.substr(0, slash);
  }
  // Up while the parent is on the same device.
  for (int depth = 0; here != "/" && depth < 4096; depth++) {
    const size_t slash = here.rfind('/');
    const std::string parent = slash == 0 ? "/" : here.substr(0, slash);
    struct stat up;
    if (stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
    here = parent;
  }
  return here;
}

UninstallerExplanation UninstallerExplain(OSStatus status, const UninstallerEngineFailure& failure) {
  UninstallerExplanation what;
  what.folder = failure.folder;
  switch (failure.step) {
    case kUninstallerStepPrepare:
    case kUninstallerStepHelperTool:
      what.stateKey = "stateNothingRemoved";
      break;
    case kUninstallerStepRequest:
      // Once the request has gone, a broken connection may have come after
      // the command began: only a refusal before it is known to be harmless.
      what.stateKey = BeforeTheCommand(status) ? "stateNothingRemoved" : "stateMaybePartlyRemoved";
      break;
    case kUninstallerStepSystemPart:
      what.stateKey = "stateMaybePartlyRemoved";
      break;
    case kUninstallerStepUserPart:
      what.stateKey = "stateSystemRemoved";
      break;
    case kUninstallerStepNone:
      break;
  }

  what.titleKey = failure.step == kUninstallerStepUserPart     ? "failedUserPartTitle"
                  : failure.step == kUninstallerStepSystemPart ? "failedSystemPartTitle"
                                                               : "failedTitle";
  if (status == ENOSPC) {
    what.titleKey = "diskFullTitle";
    what.fileSystem = UninstallerMountPointOf(what.folder);
    struct statvfs fs;
    if (!what.fileSystem.empty()) {
      what.causeKey = "diskFullCause";
      if (statvfs(what.fileSystem.c_str(), &fs) == 0) {
        what.freeBytes = static_cast<long long>(fs.f_bavail) * static_cast<long long>(fs.f_frsize);
      }
    }
    what.adviceKey = "diskFullAdvice";
    return what;
  }
  if (failure.step == kUninstallerStepUserPart) {
    if (status == ETIMEDOUT) what.causeKey = "userPartTimeout";
    // The system's part is gone: a second run has only the user's left,
    // and asks for no password.
    what.adviceKey = "userPartAdvice";
  } else if (failure.step == kUninstallerStepSystemPart) {
    what.adviceKey = "systemPartAdvice";
  } else if (UninstallerStatusTextKey(status) == nullptr) {
    // An errno value or an unknown status: trying again may help (the
    // statuses with a sentence of their own say what to do instead).
    what.adviceKey = "tryAgain";
  }
  return what;
}
