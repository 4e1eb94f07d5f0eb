#include "UninstallerRunLog.h"

#include "UninstallerSession.h"

#include "MoreUNIXText.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kRunHeaderStart[] = "==== ";

int WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

int ReadAt(int fd, off_t offset, size_t length, std::string* out) {
  out->resize(length);
  size_t done = 0;
  while (done < length) {
    ssize_t n = pread(fd, out->data() + done, length - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  out->resize(done);
  return 0;
}

std::string RunHeader(OSStatus status, time_t when) {
  char stamp[64] = "unknown time";
  struct tm local;
  if (localtime_r(&when, &local) != nullptr) strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S%z", &local);
  char header[128];
  snprintf(header, sizeof header, "%s%s status %d ====\n", kRunHeaderStart, stamp, static_cast<int>(status));
  return header;
}

// Replaces the file at |path| with |content|: a temporary file beside it,
// flushed and renamed over it once complete, then the folder flushed, so
// that a cut at any moment leaves the old file or the new one.
int ReplaceFile(const std::string& path, const std::string& content) {
  std::string temporary = path + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  int err = fchmod(fd, 0600) == 0 ? 0 : errno;
  if (err == 0) err = WriteAll(fd, content.data(), content.size());
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && rename(temporary.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    (void) unlink(temporary.c_str());
    return err;
  }
  // The rename is only lasting once the folder is on disk too; a folder that
  // cannot be flushed does not undo it.
  int folder = open(path.substr(0, path.rfind('/') + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    (void) fsync(folder);
    (void) close(folder);
  }
  return 0;
}

}  // namespace

std::string UninstallerLogFilePath() {
  std::string folder = UninstallerStateFolder();
  return folder.empty() ? std::string() : folder + "/uninstall.log";
}

int UninstallerAppendRunLog(const std::string& path, std::string_view log, OSStatus status, time_t when,
                            size_t limit) {
  if (path.empty() || path[0] != '/' || limit < 1024) return EINVAL;
  // The log holds what users' scripts and receipts said: nothing in it may
  // act on the terminal of whoever reads the file later. Cut before the
  // escapes too, so that a huge log is never copied whole.
  std::string entry =
      RunHeader(status, when) + UninstallerCutLog(MoreUNIXSafeText(UninstallerCutLog(log, limit / 2)), limit / 2);
  if (entry.back() != '\n') entry.push_back('\n');

  int fd = -1;
  struct stat info;
  int err = UninstallerOpenOwnFile(path, O_RDWR | O_APPEND, &fd, &info);
  if (err != 0) return err;
  if (static_cast<size_t>(info.st_size) + entry.size() <= limit) {
    err = WriteAll(fd, entry.data(), entry.size());
  } else {
    // The newest runs that leave room for this one, from a run's first line.
    const size_t keep = limit - entry.size();
    const off_t from = info.st_size > static_cast<off_t>(keep) ? info.st_size - static_cast<off_t>(keep) : 0;
    std::string recent;
    err = ReadAt(fd, from, static_cast<size_t>(info.st_size - from), &recent);
    if (err == 0) {
      size_t start = 0;
      if (from > 0) {
        size_t header = recent.find(std::string("\n") + kRunHeaderStart);
        start = header == std::string::npos ? recent.size() : header + 1;
      }
      err = ReplaceFile(path, recent.substr(start) + entry);
    }
  }
  if (close(fd) != 0 && err == 0) err = errno;
  return err;
}
