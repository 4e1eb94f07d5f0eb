// PruneLoginItem: removes the Quillon product's XDG autostart entries, its
// login items.
//
//   PruneLoginItem --system [--root DIR]   /etc/xdg/autostart (run as root by the helper tool)
//   PruneLoginItem --user                  ~/.config/autostart and, when set,
//                                          $XDG_CONFIG_HOME/autostart (run by usr_uninstall.ss)
//   either, then --list                    lists the login items it would remove, changes nothing
//
// Root never goes into users' homes: it cannot know them safely, and a
// user's folder is that user's to change under its feet. The user part is
// removed by the user-level script instead.
//
// An entry is the product's when its name is quillon-*.desktop and it holds
// the line "X-Quillon-LoginItem=true". Symbolic links and files without that
// line are left alone and logged.
//
// Exit status: 0 when no product entry is left, 1 when one could not be
// examined or removed, 2 for a bad command line.
#include "FileIO.h"
#include "ProductLayout.h"
#include "ProductLog.h"
#include "SafePath.h"
#include "ScopedFd.h"
#include "ToolSupport.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// Bounds the listing of a folder that someone may have filled on purpose.
const unsigned kMaxFolderEntries = 100000;

bool IsCandidateName(std::string_view name) {
  std::string_view prefix(kLoginItemPrefix), suffix(kLoginItemSuffix);
  return name.size() > prefix.size() + suffix.size() && name.substr(0, prefix.size()) == prefix &&
         name.substr(name.size() - suffix.size()) == suffix;
}

bool HasMarkerLine(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line == kLoginItemMarker) return true;
    start = end + 1;
  }
  return false;
}

// Prunes the autostart folder dirPath: `parts` below the anchor, of which the
// first `first` components are the anchor's own. With `list`, only lists.
int PruneFolder(int anchorFd, const std::string& dirPath, const PathParts& parts, size_t first, bool list) {
  int rawPath = -1;
  size_t failed = 0;
  int err = OpenDirectoryBeneath(anchorFd, parts, first, parts.size(), &rawPath, &failed);
  if (err == ENOENT) {
    Log("no %s: no login items to remove", Shown(dirPath).c_str());
    return 0;
  }
  if (err != 0) {
    Log("left %s alone: %s %s", Shown(dirPath).c_str(), Shown(JoinPath(parts, failed + 1)).c_str(),
        err == ELOOP ? "is a symbolic link" : err == ENOTDIR ? "is not a folder" : strerror(err));
    return 1;
  }
  ScopedFd pathFd(rawPath);
  int rawDir = -1;
  err = ReopenDirectory(pathFd.get(), &rawDir);
  if (err != 0) {
    Log("cannot read %s: %s", Shown(dirPath).c_str(), strerror(err));
    return 1;
  }
  DIR* listing = fdopendir(rawDir);
  if (listing == nullptr) {
    (void) close(rawDir);
    Log("cannot read %s: %s", Shown(dirPath).c_str(), strerror(errno));
    return 1;
  }
  std::vector<std::string> names;
  unsigned scanned = 0;
  for (struct dirent* entry; scanned < kMaxFolderEntries && (entry = readdir(listing)) != nullptr; scanned++) {
    if (IsCandidateName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end());

  int status = 0;
  size_t removed = 0;
  for (const std::string& name : names) {
    std::string shown = Shown(dirPath + "/" + name);
    std::string content;
    struct stat st;
    err = ReadFileAt(dirfd(listing), name.c_str(), kMaxLoginItemBytes, &content, &st);
    if (err == ELOOP || err == EINVAL) {
      Log("left %s alone: %s", shown.c_str(), err == ELOOP ? "it is a symbolic link" : "it is not a regular file");
      continue;
    }
    if (err == EFBIG) {
      Log("left %s alone: it is too large to be ours", shown.c_str());
      continue;
    }
    if (err == ENOENT) continue;
    if (err != 0) {
      Log("cannot read %s: %s", shown.c_str(), strerror(err));
      status = 1;
      continue;
    }
    if (!HasMarkerLine(content)) {
      Log("left %s alone: it is not a Quillon login item", shown.c_str());
      continue;
    }
    if (list) {
      Listed("login-item", dirPath + "/" + name);
      removed++;
      continue;
    }
    err = RemoveAndFlush(dirfd(listing), name.c_str(), 0);
    if (err != 0 && err != ENOENT) {
      Log("failed to remove %s: %s", shown.c_str(), strerror(err));
      status = 1;
      continue;
    }
    Log("removed login item %s", shown.c_str());
    removed++;
  }
  (void) closedir(listing);
  if (removed == 0 && status == 0) Log("no Quillon login items in %s", Shown(dirPath).c_str());
  return status;
}

// One folder to prune, reached from an anchor that is trusted as given: "/"
// (or --root) for the system folder, the user's own choice of folder otherwise.
struct Folder {
  std::string anchor;
  std::string path;
  bool anchorIsRoot;  // the anchor stands for "/", whatever its real path
};

int Run(const ToolMode& mode) {
  std::vector<Folder> folders;
  if (mode.system) {
    folders.push_back({mode.root, kSystemAutostartDir, true});
  } else {
    std::string home;
    if (FindUserHome(&home) != 0) {
      Log("cannot find the home folder");
      return 2;
    }
    folders.push_back({home, home + "/" + kUserAutostartDir, false});
    // A desktop that honours $XDG_CONFIG_HOME looks there instead.
    const char* configHome = getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
      std::string config(configHome);
      while (config.size() > 1 && config.back() == '/') config.pop_back();
      if (config + "/autostart" != folders.front().path) folders.push_back({config, config + "/autostart", false});
    }
  }
  int status = 0;
  for (const Folder& folder : folders) {
    PathParts parts, anchorParts;
    const char* why = nullptr;
    if (!SplitAbsolutePath(folder.path, &parts, &why) ||
        (!folder.anchorIsRoot && !SplitAbsolutePath(folder.anchor, &anchorParts, &why))) {
      Log("refused %s: %s", Shown(folder.path).c_str(), why);
      status = 1;
      continue;
    }
    int rawAnchor = -1;
    int err = OpenAnchor(folder.anchor.c_str(), &rawAnchor);
    if (err != 0) {
      Log("cannot open %s: %s", Shown(folder.anchor).c_str(), strerror(err));
      status = 1;
      continue;
    }
    ScopedFd anchor(rawAnchor);
    if (PruneFolder(anchor.get(), folder.path, parts, anchorParts.size(), mode.list) != 0) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  IgnoreWriteFailureSignals();
  SetLogTool("PruneLoginItem");
  ToolMode mode;
  if (!ParseToolMode(argc, argv, &mode)) return 2;
  return Run(mode);
}
