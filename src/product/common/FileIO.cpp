#include "FileIO.h"

#include "SafePath.h"
#include "ScopedFd.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cassert>

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

// Creates ".<name>.quillon-XXXXXXXX" exclusively; a name someone else guessed
// first is simply skipped.
static int CreateTemporary(int dirFd, const char* name, std::string* tempName, int* fd) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 32; attempt++) {
    unsigned char random[8];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return EIO;
    std::string candidate = std::string(".") + name + ".quillon-";
    for (unsigned char r : random) candidate += kLetters[r % (sizeof kLetters - 1)];
    if (candidate.size() > 255) return ENAMETOOLONG;
    int raw;
    do {
      raw = openat(dirFd, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (raw < 0 && errno == EINTR);
    if (raw >= 0) {
      *tempName = candidate;
      *fd = raw;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int ReplaceFileAt(int dirFd, const char* name, std::string_view content, mode_t mode, uid_t uid, gid_t gid,
                  const struct stat* expected) {
  assert(dirFd >= 0);
  assert(name != nullptr);
  int readable = -1;
  int err = ReopenDirectory(dirFd, &readable);
  if (err != 0) return err;
  ScopedFd dir(readable);

  std::string tempName;
  int rawTemp = -1;
  err = CreateTemporary(dir.get(), name, &tempName, &rawTemp);
  if (err != 0) return err;
  ScopedFd temp(rawTemp);

  err = WriteAll(temp.get(), content);
  struct stat tempStat;
  if (err == 0 && fstat(temp.get(), &tempStat) != 0) err = errno;
  // Owner before mode: changing the owner may clear set-ID bits.
  if (err == 0 && (tempStat.st_uid != uid || tempStat.st_gid != gid) && fchown(temp.get(), uid, gid) != 0) {
    err = errno;
  }
  if (err == 0 && fchmod(temp.get(), mode & 07777) != 0) err = errno;
  if (err == 0 && fsync(temp.get()) != 0) err = errno;
  if (err == 0 && expected != nullptr) {
    struct stat now;
    if (fstatat(dir.get(), name, &now, AT_SYMLINK_NOFOLLOW) != 0) {
      err = errno == ENOENT ? EAGAIN : errno;
    } else if (!SameFileState(now, *expected)) {
      err = EAGAIN;
    }
  }
  if (err == 0 && renameat(dir.get(), tempName.c_str(), dir.get(), name) != 0) err = errno;
  if (err != 0) {
    (void) unlinkat(dir.get(), tempName.c_str(), 0);
    return err;
  }
  // The rename has happened; a folder that cannot be flushed does not undo it.
  (void) fsync(dir.get());
  return 0;
}

}  // namespace quillon
