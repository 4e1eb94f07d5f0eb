#include "Receipts.h"

#include "FileIO.h"
#include "ProductLayout.h"
#include "SafePath.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstring>

namespace quillon {

int ListReceipts(int dirFd, std::vector<std::string>* names) {
  assert(dirFd >= 0);
  assert(names != nullptr);
  names->clear();
  int own = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return errno;
  DIR* dir = fdopendir(own);
  if (dir == nullptr) {
    int err = errno;
    (void) close(own);
    return err;
  }
  rewinddir(dir);
  int err = 0;
  const size_t suffixLength = std::strlen(kReceiptSuffix);
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) {
      err = errno;
      break;
    }
    std::string_view name(entry->d_name);
    if (name.size() <= suffixLength || name.front() == '.' ||
        name.substr(name.size() - suffixLength) != kReceiptSuffix) {
      continue;
    }
    if (names->size() >= kMaxReceiptFiles) {
      err = E2BIG;
      break;
    }
    names->emplace_back(name);
  }
  (void) closedir(dir);
  if (err != 0) {
    names->clear();
    return err;
  }
  std::sort(names->begin(), names->end());
  return 0;
}

int ReadReceiptAt(int dirFd, const char* name, std::vector<std::string>* entries, const char** why) {
  assert(entries != nullptr && why != nullptr);
  entries->clear();
  *why = nullptr;
  std::string content;
  struct stat st;
  int err = ReadFileAt(dirFd, name, kMaxReceiptBytes, &content, &st);
  if (err == ELOOP) {
    *why = "it is a symbolic link";
  } else if (err == EINVAL) {
    *why = "it is not a regular file";
  } else if (err == EFBIG) {
    *why = "it is too large";
  } else if (err != 0) {
    *why = "it cannot be read";
  } else if (!HasTrustedOwner(st)) {
    *why = "it belongs to another user";
    err = EPERM;
  } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *why = "others may write to it";
    err = EPERM;
  } else if (content.find('\0') != std::string::npos) {
    *why = "it holds a NUL byte";
    err = EINVAL;
  }
  if (err != 0) return err;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    if (end > start) {
      if (entries->size() >= kMaxReceiptEntries) {
        entries->clear();
        *why = "it lists too many paths";
        return E2BIG;
      }
      entries->emplace_back(content, start, end - start);
    }
    start = end + 1;
  }
  return 0;
}

std::string FormatReceipt(const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& entry : entries) {
    bytes += entry;
    bytes += '\n';
  }
  return bytes;
}

}  // namespace quillon
