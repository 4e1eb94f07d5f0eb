#include "ReceiptedListing.h"

#include "ProductLayout.h"
#include "ProductLog.h"
#include "Receipts.h"
#include "SafePath.h"
#include "ScopedFd.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

namespace quillon {

namespace {

struct Where {
  bool system = false;
  ScopedFd anchor;
  PathParts home;  // user mode: everything listed lies strictly below it
  size_t Depth() const { return system ? 0 : home.size(); }
};

void Note(const std::string& text) { Listed("note", text); }

// The type of what |parts| names now, without following a link: 0 when it
// is not there; -1 (with a note) when the removal would refuse it.
int Probe(const Where& where, const std::string& entry, const PathParts& parts) {
  int rawParent = -1;
  size_t failed = 0;
  int err = OpenDirectoryBeneath(where.anchor.get(), parts, where.Depth(), parts.size() - 1, &rawParent, &failed);
  if (err == ENOENT) return 0;
  if (err != 0) {
    const std::string what = err == ELOOP     ? " is a symbolic link"
                             : err == ENOTDIR ? " is not a folder"
                                              : std::string(": ") + strerror(err);
    Note("would refuse " + entry + ": " + JoinPath(parts, failed + 1) + what);
    return -1;
  }
  ScopedFd parent(rawParent);
  struct stat st;
  if (fstat(parent.get(), &st) != 0 || !HasTrustedOwner(st) || (st.st_mode & S_IWOTH) != 0) {
    Note("would refuse " + entry + ": it lies in a folder that others may change");
    return -1;
  }
  if (fstatat(parent.get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return 0;
    Note("cannot tell whether " + entry + " is there: " + strerror(errno));
    return -1;
  }
  return static_cast<int>(st.st_mode & S_IFMT);
}

bool Exists(const Where& where, const PathParts& parts) {
  int raw = -1;
  size_t failed = 0;
  if (OpenDirectoryBeneath(where.anchor.get(), parts, where.Depth(), parts.size(), &raw, &failed) != 0) return false;
  ScopedFd folder(raw);
  return true;
}

}  // namespace

int ListReceipted(const ToolMode& mode) {
  Where where;
  where.system = mode.system;
  std::string anchorPath = mode.root;
  std::string receiptsPath = kSystemReceiptsDir;
  std::string statePath = kSystemStateDir;
  const char* why = nullptr;
  if (!mode.system) {
    if (FindUserHome(&anchorPath) != 0 || !SplitAbsolutePath(anchorPath, &where.home, &why)) {
      Note("cannot find the home folder");
      return 2;
    }
    receiptsPath = anchorPath + "/" + kUserReceiptsDir;
    statePath = anchorPath + "/" + kUserStateDir;
  }
  int raw = -1;
  int err = OpenAnchor(anchorPath.c_str(), &raw);
  if (err != 0) {
    Note("cannot open " + anchorPath + ": " + strerror(err));
    return 2;
  }
  where.anchor.reset(raw);
  PathParts receiptsParts, stateParts;
  if (!SplitAbsolutePath(receiptsPath, &receiptsParts, &why) || !SplitAbsolutePath(statePath, &stateParts, &why)) {
    Note("cannot use the receipts folder " + receiptsPath + ": " + why);
    return 2;
  }
  raw = -1;
  size_t failed = 0;
  err = OpenDirectoryBeneath(where.anchor.get(), receiptsParts, where.Depth(), receiptsParts.size(), &raw, &failed);
  if (err == ENOENT) {
    // A run cut off after its last receipt left only the state folder.
    if (Exists(where, stateParts)) Listed("folder", statePath);
    return 0;
  }
  if (err != 0) {
    Note("cannot open the receipts folder " + receiptsPath + ": " + strerror(err));
    return 2;
  }
  ScopedFd receiptsPathFd(raw);
  struct stat st;
  if (fstat(receiptsPathFd.get(), &st) != 0 || !HasTrustedOwner(st) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    Note("the receipts folder " + receiptsPath + " belongs to another user or others may write to it");
    return 2;
  }
  raw = -1;
  err = ReopenDirectory(receiptsPathFd.get(), &raw);
  ScopedFd receiptsDir(raw);
  std::vector<std::string> names;
  if (err == 0) err = ListReceipts(receiptsDir.get(), &names);
  if (err != 0) {
    Note("cannot list the receipts folder " + receiptsPath + ": " + strerror(err));
    return 2;
  }

  // Every entry once, with the receipts that list it: a receipt goes only
  // when nothing it lists is refused.
  std::map<std::string, std::vector<size_t>> entries;
  std::vector<bool> receiptGoes(names.size(), true);
  size_t total = 0;
  int status = 0;
  for (size_t i = 0; i < names.size(); i++) {
    std::vector<std::string> lines;
    err = ReadReceiptAt(receiptsDir.get(), names[i].c_str(), &lines, &why);
    if (err == 0 && total + lines.size() > kMaxReceiptEntries) why = "the receipts list too many paths", err = E2BIG;
    if (err != 0) {
      Note("cannot read the receipt " + names[i] + ": " + why);
      receiptGoes[i] = false;
      status = 1;
      continue;
    }
    total += lines.size();
    for (const std::string& line : lines) entries[line].push_back(i);
  }
  for (const auto& [entry, listedIn] : entries) {
    PathParts parts;
    bool refused = !SplitAbsolutePath(entry, &parts, &why);
    if (!refused && mode.system) {
      refused = IsInUsersFiles(parts, &why);
    } else if (!refused && (!HasPrefix(parts, where.home) || parts.size() == where.home.size())) {
      refused = true;
      why = "it is not inside the home folder";
    }
    if (refused) Note("would refuse " + entry + ": " + why);
    const int type = refused ? -1 : Probe(where, entry, parts);
    if (type < 0) {
      status = 1;
      for (size_t i : listedIn) receiptGoes[i] = false;
    }
    if (type <= 0) continue;
    Listed(type == S_IFDIR ? "folder" : type == S_IFLNK ? "link" : "file", entry);
  }
  // The receipts go with what they list, and then their folders.
  bool allGo = true;
  for (size_t i = 0; i < names.size(); i++) {
    if (receiptGoes[i]) Listed("file", receiptsPath + "/" + names[i]);
    allGo = allGo && receiptGoes[i];
  }
  if (allGo) {
    Listed("folder", receiptsPath);
    Listed("folder", statePath);
  }
  return status;
}

}  // namespace quillon
