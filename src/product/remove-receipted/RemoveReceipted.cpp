// RemoveReceipted: removes what the Quillon receipts list, and nothing else.
//
//   RemoveReceipted --system [--root DIR]   root part, receipts in /var/lib/quillon/receipts
//   RemoveReceipted --user                  user part, receipts in ~/.local/share/quillon/receipts
//
// Every entry is reached from a folder descriptor one component at a time
// with O_NOFOLLOW and removed with unlinkat on its parent, so no symbolic link
// is ever followed and nothing can be swapped in between the check and the
// removal. Folders are only ever removed when empty. Entries are handled
// deepest first. Each removal, refusal and failure is one line on standard
// output. A receipt is removed once all of its entries are gone (or are
// folders kept because they hold other files); otherwise it stays, so that a
// later run can finish the job. Every removal is flushed to disk (the folder
// that held it) before the receipt that lists it goes, so that after a power
// cut a receipt is still there for whatever is still there. The receipts'
// folders go last, and a later run removes what an interrupted one left of
// them, so that an uninstall cut off at any point and started again ends
// where an uninterrupted one would.
//
// Exit status: 0 when everything listed is gone or kept on purpose, 1 when
// an entry or a receipt was refused or could not be removed, 2 for a bad
// command line or when the receipts cannot be reached at all.
#include "FileIO.h"
#include "KillPoint.h"
#include "ProductLayout.h"
#include "ProductLog.h"
#include "ReceiptedListing.h"
#include "Receipts.h"
#include "SafePath.h"
#include "ScopedFd.h"
#include "ToolSupport.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace quillon;

namespace {

struct Context {
  bool system = false;
  ScopedFd anchor;         // "/" (or --root) in system mode, the home folder in user mode
  PathParts home;          // user mode: entries must lie below it
};

// The number of leading components of `parts` that the anchor stands for.
size_t AnchorDepth(const Context& context) { return context.system ? 0 : context.home.size(); }

void Refuse(const std::string& entry, const char* why) { Log("refused %s: %s", Shown(entry).c_str(), why); }

// Entries come deepest first, so the entries of one folder follow each
// other: the walk to their folder from the anchor is done once for all of
// them, and what it found is kept until an entry of another folder comes.
// Their removals are not flushed one by one: the folders that held them are
// flushed once each, in batches (on ext4 the first flush of a batch commits
// the journal for all of them, and the others find nothing left to write).
// A removal counts as done, and is logged, only once its folder's flush has
// succeeded, and every batch is flushed before any receipt goes; a run cut
// off before that leaves the receipts in place, and the next run finds the
// entries absent and flushes their folders again.
struct Pending {
  const char* format;  // "removed %s", "absent %s", ...
  const std::string* entry;
  const std::vector<size_t>* receipts;
};

struct Folder {
  PathParts parts;  // entry parts less the last
  int err = 0;      // the walk's result, and where it failed
  size_t failed = 0;
  ScopedFd fd;      // O_PATH, when err == 0
  std::vector<Pending> pending;
};

// Folders held open while their removals wait: bounded by a share of the
// descriptors this process may open, so that a low limit costs speed only.
size_t FlushBatchSize() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 256;
  rlim_t share = limit.rlim_cur > 64 ? (limit.rlim_cur - 32) / 2 : 1;
  return share < 256 ? static_cast<size_t>(share) : 256;
}

struct Removal {
  Removal(const Context& c, std::vector<bool>& good) : context(c), receiptGood(good), batch(FlushBatchSize()) {}
  const Context& context;
  std::vector<bool>& receiptGood;
  bool allGood = true;
  bool walked = false;
  Folder current;               // the folder of the latest entry
  std::vector<Folder> waiting;  // earlier folders whose removals await their flush
  size_t batch;                 // folders held open at most while waiting
};

// Flushes every waiting folder, then logs its removals as done, or as failed
// with the flush's error (their receipts stay).
void FlushWaiting(Removal* removal) {
  for (Folder& folder : removal->waiting) {
    int err = FlushFolder(folder.fd.get());
    for (const Pending& done : folder.pending) {
      if (err == 0) {
        Log(done.format, Shown(*done.entry).c_str());
        continue;
      }
      Log("failed %s: %s", Shown(*done.entry).c_str(), strerror(err));
      removal->allGood = false;
      for (size_t i : *done.receipts) removal->receiptGood[i] = false;
    }
  }
  removal->waiting.clear();
}

// Sets the current folder aside: into the waiting ones when removals wait
// for its flush (flushing them all once there are a batch of them).
void LeaveFolder(Removal* removal) {
  if (!removal->current.pending.empty()) {
    removal->waiting.push_back(std::move(removal->current));
    if (removal->waiting.size() >= removal->batch) FlushWaiting(removal);
  }
  removal->current = Folder();
}

// Makes the current folder parts[0 .. parts.size() - 1), walking to it from
// the anchor one component at a time with O_NOFOLLOW unless it is the one
// already reached. Returns the walk's errno, with the failing component's
// index in current.failed.
int WalkToParent(Removal* removal, const PathParts& parts) {
  Folder& current = removal->current;
  if (removal->walked && current.parts.size() == parts.size() - 1 &&
      std::equal(current.parts.begin(), current.parts.end(), parts.begin())) {
    return current.err;
  }
  LeaveFolder(removal);
  removal->walked = true;
  current.parts.assign(parts.begin(), parts.end() - 1);
  int raw = -1;
  current.err = OpenDirectoryBeneath(removal->context.anchor.get(), parts, AnchorDepth(removal->context),
                                     parts.size() - 1, &raw, &current.failed);
  current.fd.reset(raw);
  return current.err;
}

// Removes one receipt entry (one of `receipts`). Returns false when it was
// refused or could not be removed. A removal, or an entry found absent, waits
// for the flush of its folder (FlushWaiting), which decides whether it is
// done; a folder kept because it still holds other files is done at once.
bool RemoveEntry(Removal* removal, const std::string& entry, const std::vector<size_t>& receipts) {
  const Context& context = removal->context;
  PathParts parts;
  const char* why = nullptr;
  if (!SplitAbsolutePath(entry, &parts, &why)) {
    Refuse(entry, why);
    return false;
  }
  if (context.system) {
    if (IsInUsersFiles(parts, &why)) {
      Refuse(entry, why);
      return false;
    }
  } else if (!HasPrefix(parts, context.home) || parts.size() == context.home.size()) {
    Refuse(entry, "it is not inside the home folder");
    return false;
  }

  int err = WalkToParent(removal, parts);
  Folder& parent = removal->current;
  if (err == ENOENT) {
    Log("absent %s", Shown(entry).c_str());
    return true;
  }
  if (err == ELOOP || err == ENOTDIR) {
    std::string message = Shown(JoinPath(parts, parent.failed + 1)) +
                          (err == ELOOP ? " is a symbolic link" : " is not a folder");
    Refuse(entry, message.c_str());
    return false;
  }
  if (err != 0) {
    Log("failed %s: %s", Shown(entry).c_str(), strerror(err));
    return false;
  }
  const int folder = parent.fd.get();
  struct stat parentStat;
  if (fstat(folder, &parentStat) != 0) {
    Log("failed %s: %s", Shown(entry).c_str(), strerror(errno));
    return false;
  }
  if (!HasTrustedOwner(parentStat) || (parentStat.st_mode & S_IWOTH) != 0) {
    Refuse(entry, "it lies in a folder that others may change");
    return false;
  }

  const char* leaf = parts.back().c_str();
  struct stat st;
  if (fstatat(folder, leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    err = errno;
    // A run cut off between a removal and its flush, or another tool, may
    // have removed it: its folder is flushed before the receipt may go.
    if (err == ENOENT) {
      parent.pending.push_back({"absent %s", &entry, &receipts});
      return true;
    }
    Log("failed %s: %s", Shown(entry).c_str(), strerror(err));
    return false;
  }
  KillPoint();
  if (unlinkat(folder, leaf, S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) == 0) {
    parent.pending.push_back({S_ISDIR(st.st_mode)   ? "removed folder %s"
                               : S_ISLNK(st.st_mode) ? "removed symbolic link %s"
                                                     : "removed %s",
                               &entry, &receipts});
    return true;
  }
  err = errno;
  if (S_ISDIR(st.st_mode) && (err == ENOTEMPTY || err == EEXIST)) {
    Log("kept folder %s: it holds other files", Shown(entry).c_str());
    return true;
  }
  if (err == ENOENT) {
    parent.pending.push_back({"absent %s", &entry, &receipts});
    return true;
  }
  Log("failed %s: %s", Shown(entry).c_str(), strerror(err));
  return false;
}

// Removes the folder parts[0 .. count) when it is empty; says nothing when it
// is not, since only folders of our own making are passed here.
void RemoveFolderIfEmpty(const Context& context, const PathParts& parts, size_t count) {
  int rawParent = -1;
  size_t failed = 0;
  if (OpenDirectoryBeneath(context.anchor.get(), parts, AnchorDepth(context), count - 1, &rawParent, &failed) != 0) {
    return;
  }
  ScopedFd parent(rawParent);
  if (RemoveAndFlush(parent.get(), parts[count - 1].c_str(), AT_REMOVEDIR) == 0) {
    Log("removed folder %s", Shown(JoinPath(parts, count)).c_str());
  }
}

int Run(const ToolMode& mode) {
  Context context;
  context.system = mode.system;
  std::string anchorPath = mode.root;
  std::string receiptsPath = kSystemReceiptsDir;
  std::string statePath = kSystemStateDir;
  if (!mode.system) {
    if (FindUserHome(&anchorPath) != 0) {
      Log("cannot find the home folder");
      return 2;
    }
    const char* why = nullptr;
    if (!SplitAbsolutePath(anchorPath, &context.home, &why)) {
      Log("refused the home folder %s: %s", Shown(anchorPath).c_str(), why);
      return 2;
    }
    receiptsPath = anchorPath + "/" + kUserReceiptsDir;
    statePath = anchorPath + "/" + kUserStateDir;
  }
  int rawAnchor = -1;
  int err = OpenAnchor(anchorPath.c_str(), &rawAnchor);
  if (err != 0) {
    Log("cannot open %s: %s", Shown(anchorPath).c_str(), strerror(err));
    return 2;
  }
  context.anchor.reset(rawAnchor);

  PathParts receiptsParts, stateParts;
  const char* why = nullptr;
  bool split = SplitAbsolutePath(receiptsPath, &receiptsParts, &why) && SplitAbsolutePath(statePath, &stateParts, &why);
  if (!split) {
    Log("refused the receipts folder %s: %s", Shown(receiptsPath).c_str(), why);
    return 2;
  }
  int rawReceipts = -1;
  size_t failed = 0;
  err = OpenDirectoryBeneath(context.anchor.get(), receiptsParts, AnchorDepth(context), receiptsParts.size(),
                             &rawReceipts, &failed);
  if (err == ENOENT) {
    Log("no receipts in %s: nothing to remove", Shown(receiptsPath).c_str());
    // What a run cut off between the two folders left behind.
    RemoveFolderIfEmpty(context, stateParts, stateParts.size());
    return 0;
  }
  if (err != 0) {
    Log("cannot open the receipts folder %s: %s", Shown(receiptsPath).c_str(),
        err == ELOOP ? "a symbolic link is on the way" : strerror(err));
    return 2;
  }
  ScopedFd receiptsPathFd(rawReceipts);
  struct stat receiptsStat;
  if (fstat(receiptsPathFd.get(), &receiptsStat) != 0 || !HasTrustedOwner(receiptsStat) ||
      (receiptsStat.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    Log("refused the receipts folder %s: it belongs to another user or others may write to it",
        Shown(receiptsPath).c_str());
    return 2;
  }
  int rawList = -1;
  err = ReopenDirectory(receiptsPathFd.get(), &rawList);
  ScopedFd receiptsDir(rawList);
  std::vector<std::string> names;
  if (err == 0) err = ListReceipts(receiptsDir.get(), &names);
  if (err != 0) {
    Log("cannot list the receipts folder %s: %s", Shown(receiptsPath).c_str(), strerror(err));
    return 2;
  }

  // Gather every entry once, remembering which receipts list it.
  std::vector<bool> receiptGood(names.size(), true);
  std::map<std::string, std::vector<size_t>> entries;
  size_t total = 0;
  for (size_t i = 0; i < names.size(); i++) {
    std::vector<std::string> lines;
    err = ReadReceiptAt(receiptsDir.get(), names[i].c_str(), &lines, &why);
    if (err == 0 && total + lines.size() > kMaxReceiptEntries) {
      err = E2BIG;
      why = "the receipts list too many paths";
    }
    if (err != 0) {
      Log("refused receipt %s: %s", Shown(names[i]).c_str(), why);
      receiptGood[i] = false;
      continue;
    }
    total += lines.size();
    for (const std::string& line : lines) entries[line].push_back(i);
  }

  // Deepest first: a path sorts after every path that is a prefix of it.
  Removal removal(context, receiptGood);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (!RemoveEntry(&removal, it->first, it->second)) {
      removal.allGood = false;
      for (size_t i : it->second) receiptGood[i] = false;
    }
  }
  LeaveFolder(&removal);
  FlushWaiting(&removal);
  bool allGood = removal.allGood;

  bool receiptsGone = true;
  for (size_t i = 0; i < names.size(); i++) {
    if (!receiptGood[i]) {
      allGood = false;
      receiptsGone = false;
      Log("kept receipt %s: some of what it lists is still there", Shown(names[i]).c_str());
    } else if ((err = RemoveAndFlush(receiptsDir.get(), names[i].c_str(), 0)) == 0) {
      Log("removed receipt %s", Shown(names[i]).c_str());
    } else {
      allGood = false;
      receiptsGone = false;
      Log("failed receipt %s: %s", Shown(names[i]).c_str(), strerror(err));
    }
  }
  if (receiptsGone) {
    // A receipt whose writing was cut off leaves its new file behind.
    (void) RemoveStaleTemporaries(receiptsDir.get(), nullptr);
    RemoveFolderIfEmpty(context, receiptsParts, receiptsParts.size());
    RemoveFolderIfEmpty(context, stateParts, stateParts.size());
  }
  return allGood ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  IgnoreWriteFailureSignals();
  SetLogTool("RemoveReceipted");
  ToolMode mode;
  if (!ParseToolMode(argc, argv, &mode)) return 2;
  if (mode.list) return ListReceipted(mode);
  return Run(mode);
}
