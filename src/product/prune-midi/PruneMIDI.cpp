// PruneMIDI: takes the Quillon MIDI block out of a shared ALSA configuration
// file and keeps every other byte of it.
//
//   PruneMIDI --system [--root DIR]   /etc/asound.conf (run as root by the helper tool)
//   PruneMIDI --user                  ~/.asoundrc (run as the user by usr_uninstall.ss)
//   either, then --list               lists a block it would remove, changes nothing
//
// A file without a Quillon block is not touched at all. A file with one is
// replaced atomically (a new file beside it, flushed, same mode and owner,
// renamed over it, the folder flushed) unless it changed while we worked;
// without room for the new file (a full disk) the old one stays as it was. A file the installer
// created and that holds nothing else is removed. The tool refuses, and
// leaves the file alone, when the file is a symbolic link, not a regular
// file, has other hard links, is larger than 1 MiB, or has unbalanced markers.
//
// Exit status: 0 when the block is gone or there was none, 1 when the file
// was refused or could not be rewritten, 2 for a bad command line.
#include "AlsaBlock.h"
#include "FileIO.h"
#include "ProductLayout.h"
#include "ProductLog.h"
#include "SafePath.h"
#include "ScopedFd.h"
#include "ToolSupport.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

using namespace quillon;

namespace {

// |listPath|: with --list, the file's path; the block is then listed, not removed.
int Prune(int dirFd, const std::string& shownPath, const char* name, const std::string* listPath) {
  // What a rewrite cut off by a crash or a power cut left beside the file.
  if (listPath == nullptr) (void) RemoveStaleTemporaries(dirFd, name);
  std::string content;
  struct stat st;
  int err = ReadFileAt(dirFd, name, kMaxAlsaConfBytes, &content, &st);
  if (err == ENOENT) {
    Log("no %s: nothing to prune", shownPath.c_str());
    return 0;
  }
  if (err != 0) {
    const char* why = err == ELOOP    ? "it is a symbolic link"
                      : err == EINVAL ? "it is not a regular file"
                      : err == EFBIG  ? "it is larger than 1 MiB"
                                      : strerror(err);
    Log("left %s alone: %s", shownPath.c_str(), why);
    return 1;
  }
  std::string pruned;
  AlsaPruneResult result;
  if (!PruneAlsaBlocks(content, &pruned, &result)) {
    Log("left %s alone: its Quillon markers are unbalanced (line %zu)", shownPath.c_str(), result.badLine);
    return 1;
  }
  if (result.blocks == 0) {
    Log("%s holds no Quillon block: left alone", shownPath.c_str());
    return 0;
  }
  if (st.st_nlink != 1) {
    Log("left %s alone: it has other hard links", shownPath.c_str());
    return 1;
  }
  if (listPath != nullptr) {
    Listed("alsa-block", *listPath);
    return 0;
  }
  if (result.removeFile) {
    struct stat now;
    if (fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFileState(now, st)) {
      Log("left %s alone: it changed while being pruned", shownPath.c_str());
      return 1;
    }
    err = RemoveAndFlush(dirFd, name, 0);
    if (err != 0) {
      Log("failed to remove %s: %s", shownPath.c_str(), strerror(err));
      return 1;
    }
    Log("removed %s: it held only the Quillon block", shownPath.c_str());
    return 0;
  }
  err = ReplaceFileAt(dirFd, name, pruned, st.st_mode, st.st_uid, st.st_gid, &st);
  if (err == EAGAIN) {
    Log("left %s alone: it changed while being pruned", shownPath.c_str());
    return 1;
  }
  if (err != 0) {
    Log("failed to rewrite %s: %s", shownPath.c_str(), strerror(err));
    return 1;
  }
  Log("removed the Quillon block from %s", shownPath.c_str());
  return 0;
}

int Run(const ToolMode& mode) {
  std::string anchorPath = mode.root;
  std::string path = kSystemAlsaConf;
  if (!mode.system) {
    if (FindUserHome(&anchorPath) != 0) {
      Log("cannot find the home folder");
      return 2;
    }
    path = anchorPath + "/" + kUserAlsaConf;
  }
  PathParts parts, anchorParts;
  const char* why = nullptr;
  if (!SplitAbsolutePath(path, &parts, &why) ||
      (!mode.system && !SplitAbsolutePath(anchorPath, &anchorParts, &why))) {
    Log("refused %s: %s", Shown(path).c_str(), why);
    return 2;
  }
  int rawAnchor = -1;
  int err = OpenAnchor(anchorPath.c_str(), &rawAnchor);
  if (err != 0) {
    Log("cannot open %s: %s", Shown(anchorPath).c_str(), strerror(err));
    return 2;
  }
  ScopedFd anchor(rawAnchor);
  // The folder holding the file is reached without following links, like the file.
  int rawDir = -1;
  size_t failed = 0;
  err = OpenDirectoryBeneath(anchor.get(), parts, anchorParts.size(), parts.size() - 1, &rawDir, &failed);
  if (err == ENOENT) {
    Log("no %s: nothing to prune", Shown(path).c_str());
    return 0;
  }
  if (err != 0) {
    Log("left %s alone: %s %s", Shown(path).c_str(), Shown(JoinPath(parts, failed + 1)).c_str(),
        err == ELOOP ? "is a symbolic link" : err == ENOTDIR ? "is not a folder" : strerror(err));
    return 1;
  }
  ScopedFd dir(rawDir);
  return Prune(dir.get(), Shown(path), parts.back().c_str(), mode.list ? &path : nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  IgnoreWriteFailureSignals();
  SetLogTool("PruneMIDI");
  ToolMode mode;
  if (!ParseToolMode(argc, argv, &mode)) return 2;
  umask(077);
  return Run(mode);
}
