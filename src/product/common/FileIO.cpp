#include "FileIO.h"

#include "KillPoint.h"
#include "SafePath.h"
#include "ScopedFd.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <vector>

namespace quillon {

int ReadFileAt(int dirFd, const char* name, size_t limit, std::string* content, struct stat* st) {
  assert(dirFd >= 0);
  assert(name != nullptr);
  assert(content != nullptr && st != nullptr);
  content->clear();
  int raw;
  do {
    // O_NONBLOCK: a FIFO planted under the name must not hang the tool.
    raw = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (raw < 0 && errno == EINTR);
  if (raw < 0) return errno;
  ScopedFd fd(raw);
  if (fstat(fd.get(), st) != 0) return errno;
  if (!S_ISREG(st->st_mode)) return EINVAL;
  if (static_cast<unsigned long long>(st->st_size) > limit) return EFBIG;
  content->reserve(static_cast<size_t>(st->st_size));
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      content->clear();
      return errno;
    }
    if (got == 0) break;
    if (content->size() + static_cast<size_t>(got) > limit) {
      // It grew while we read it.
      content->clear();
      return EFBIG;
    }
    content->append(buffer, static_cast<size_t>(got));
  }
  return 0;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return 0;
}

bool SameFileState(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

namespace {

// The new file of a rewrite is ".<name>" + kTemporaryMark + kRandomLength
// characters of kLetters.
const char kTemporaryMark[] = ".quillon-";
const size_t kRandomLength = 8;
const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
// Bounds the listing of a folder that someone may have filled on purpose.
const unsigned kMaxFolderEntries = 100000;

bool IsTemporaryNameOf(std::string_view candidate, const char* name) {
  const size_t mark = sizeof kTemporaryMark - 1;
  if (candidate.size() < 2 + mark + kRandomLength || candidate.front() != '.') return false;
  for (char c : candidate.substr(candidate.size() - kRandomLength)) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  std::string_view stem = candidate.substr(1, candidate.size() - 1 - mark - kRandomLength);
  if (candidate.substr(1 + stem.size(), mark) != kTemporaryMark) return false;
  return name == nullptr ? !stem.empty() : stem == name;
}

// Creates ".<name>.quillon-XXXXXXXX" exclusively and locks it; a name someone
// else guessed first, or one that a clean-up took away before the lock, is
// simply skipped.
int CreateTemporary(int dirFd, const char* name, std::string* tempName, int* fd) {
  for (int attempt = 0; attempt < 32; attempt++) {
    unsigned char random[kRandomLength];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return EIO;
    std::string candidate = std::string(".") + name + kTemporaryMark;
    for (unsigned char r : random) candidate += kLetters[r % (sizeof kLetters - 1)];
    if (candidate.size() > 255) return ENAMETOOLONG;
    KillPoint();
    int raw;
    do {
      raw = openat(dirFd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (raw < 0 && errno == EINTR);
    if (raw < 0) {
      if (errno != EEXIST) return errno;
      continue;
    }
    ScopedFd file(raw);
    struct stat st;
    if (flock(raw, LOCK_EX | LOCK_NB) == 0 && fstat(raw, &st) == 0 && st.st_nlink == 1) {
      *tempName = candidate;
      *fd = file.release();
      return 0;
    }
  }
  return EEXIST;
}

}  // namespace

int FlushFolder(int dirFd) {
  int raw = -1;
  int err = ReopenDirectory(dirFd, &raw);
  if (err != 0) return err;
  ScopedFd dir(raw);
  KillPoint();
  return fsync(dir.get()) == 0 ? 0 : errno;
}

int RemoveAndFlush(int dirFd, const char* name, int flags) {
  KillPoint();
  if (unlinkat(dirFd, name, flags) != 0) return errno;
  return FlushFolder(dirFd);
}

int RemoveStaleTemporaries(int dirFd, const char* name) {
  assert(dirFd >= 0);
  int raw = -1;
  int err = ReopenDirectory(dirFd, &raw);
  if (err != 0) return err;
  DIR* listing = fdopendir(raw);
  if (listing == nullptr) {
    err = errno;
    (void) close(raw);
    return err;
  }
  const int dir = dirfd(listing);
  std::vector<uid_t> owners = {geteuid()};
  struct stat target;
  if (name != nullptr && fstatat(dir, name, &target, AT_SYMLINK_NOFOLLOW) == 0) owners.push_back(target.st_uid);
  std::vector<std::string> candidates;
  unsigned scanned = 0;
  for (struct dirent* entry; scanned < kMaxFolderEntries && (entry = readdir(listing)) != nullptr; scanned++) {
    if (IsTemporaryNameOf(entry->d_name, name)) candidates.emplace_back(entry->d_name);
  }
  bool removed = false;
  for (const std::string& candidate : candidates) {
    struct stat st;
    // Looked at before it is opened: opening a device can have effects.
    if (fstatat(dir, candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_nlink != 1 || std::find(owners.begin(), owners.end(), st.st_uid) == owners.end()) {
      continue;
    }
    ScopedFd file(openat(dir, candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened, now;
    // A rewrite holds its new file locked from its creation to its rename:
    // one that can be locked has no writer left.
    if (!file.valid() || fstat(file.get(), &opened) != 0 || opened.st_ino != st.st_ino ||
        opened.st_dev != st.st_dev || flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
      continue;
    }
    if (fstatat(dir, candidate.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != st.st_ino ||
        now.st_dev != st.st_dev) {
      continue;
    }
    KillPoint();
    if (unlinkat(dir, candidate.c_str(), 0) == 0) {
      removed = true;
    } else if (errno != ENOENT && err == 0) {
      err = errno;
    }
  }
  if (removed) {
    int flushErr = FlushFolder(dir);
    if (err == 0) err = flushErr;
  }
  (void) closedir(listing);
  return err;
}

int ReplaceFileAt(int dirFd, const char* name, std::string_view content, mode_t mode, uid_t uid, gid_t gid,
                  const struct stat* expected) {
  assert(dirFd >= 0);
  assert(name != nullptr);
  int readable = -1;
  int err = ReopenDirectory(dirFd, &readable);
  if (err != 0) return err;
  ScopedFd dir(readable);
  (void) RemoveStaleTemporaries(dir.get(), name);

  std::string tempName;
  int rawTemp = -1;
  err = CreateTemporary(dir.get(), name, &tempName, &rawTemp);
  if (err != 0) return err;
  ScopedFd temp(rawTemp);

  KillPoint();
  err = WriteAll(temp.get(), content);
  struct stat tempStat;
  if (err == 0 && fstat(temp.get(), &tempStat) != 0) err = errno;
  // Owner before mode: changing the owner may clear set-ID bits.
  if (err == 0 && (tempStat.st_uid != uid || tempStat.st_gid != gid)) {
    KillPoint();
    if (fchown(temp.get(), uid, gid) != 0) err = errno;
  }
  if (err == 0) KillPoint();
  if (err == 0 && fchmod(temp.get(), mode & 07777) != 0) err = errno;
  if (err == 0) KillPoint();
  if (err == 0 && fsync(temp.get()) != 0) err = errno;
  if (err == 0 && expected != nullptr) {
    struct stat now;
    if (fstatat(dir.get(), name, &now, AT_SYMLINK_NOFOLLOW) != 0) {
      err = errno == ENOENT ? EAGAIN : errno;
    } else if (!SameFileState(now, *expected)) {
      err = EAGAIN;
    }
  }
  if (err == 0) KillPoint();
  if (err == 0 && renameat(dir.get(), tempName.c_str(), dir.get(), name) != 0) err = errno;
  if (err != 0) {
    KillPoint();
    (void) unlinkat(dir.get(), tempName.c_str(), 0);
    return err;
  }
  // The rename has happened; a folder that cannot be flushed does not undo it.
  (void) FlushFolder(dir.get());
  return 0;
}

}  // namespace quillon
