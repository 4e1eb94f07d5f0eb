#include "TerminalAccounts.h"

#include "ProductLayout.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace {

// More entries than this in the receipts' folder is not our installer's.
constexpr int kMaxReceiptFolderEntries = 4096;
constexpr int kMaxGroups = 65536;

bool FromEntry(const struct passwd* entry, TerminalAccount* account) {
  if (entry == nullptr || entry->pw_name == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/') {
    return false;
  }
  account->name = entry->pw_name;
  account->uid = entry->pw_uid;
  account->gid = entry->pw_gid;
  account->home = entry->pw_dir;
  return true;
}

template <typename Lookup>
bool LookUp(Lookup lookup, TerminalAccount* account) {
  std::vector<char> buffer(16384);
  for (;;) {
    struct passwd entry;
    struct passwd* found = nullptr;
    const int err = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (err == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    return err == 0 && FromEntry(found, account);
  }
}

// Whether |dir| (open) holds a regular file named *.list; links are not
// followed.
bool HoldsReceiptFile(int dir, bool* unreadable) {
  const int listFd = dup(dir);
  if (listFd < 0) {
    *unreadable = true;
    return false;
  }
  DIR* listing = fdopendir(listFd);
  if (listing == nullptr) {
    (void) close(listFd);
    *unreadable = true;
    return false;
  }
  const size_t suffix = strlen(quillon::kReceiptSuffix);
  bool found = false;
  for (int seen = 0; !found && seen < kMaxReceiptFolderEntries; seen++) {
    errno = 0;
    const dirent* entry = readdir(listing);
    if (entry == nullptr) {
      if (errno != 0) *unreadable = true;
      break;
    }
    const size_t length = strlen(entry->d_name);
    if (length <= suffix || strcmp(entry->d_name + length - suffix, quillon::kReceiptSuffix) != 0) continue;
    struct stat info;
    found = fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
  }
  closedir(listing);
  return found;
}

// Whether a language setting is plain enough to hand to another user's
// processes: letters, digits and "_.-@" only.
bool PlainLanguage(const std::string& lang) {
  if (lang.empty() || lang.size() > 64) return false;
  return std::all_of(lang.begin(), lang.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr("_.-@", c) != nullptr;
  });
}

}  // namespace

bool TerminalAccount::Prepare(const std::string& lang, UninstallerUserAccount* account) {
  // The groups initgroups would give, read here: the child that switches
  // to them may not read the group database after the fork.
  int count = 64;
  for (;;) {
    fGroups.assign(static_cast<size_t>(count), 0);
    int got = count;
    if (getgrouplist(name.c_str(), gid, fGroups.data(), &got) >= 0) {
      fGroups.resize(static_cast<size_t>(got));
      break;
    }
    if (got <= count || got > kMaxGroups) return false;
    count = got;
  }
  fEnvironment = {"HOME=" + home, "USER=" + name, "LOGNAME=" + name, "PATH=/usr/local/bin:/usr/bin:/bin",
                  "LANG=" + (PlainLanguage(lang) ? lang : std::string("C.UTF-8"))};
  fEnvironmentPointers.clear();
  for (std::string& entry : fEnvironment) fEnvironmentPointers.push_back(entry.data());
  fEnvironmentPointers.push_back(nullptr);
  account->uid = uid;
  account->gid = gid;
  account->groups = fGroups.data();
  account->groupCount = static_cast<int>(fGroups.size());
  account->home = home.c_str();
  account->environment = fEnvironmentPointers.data();
  // Ours is a handful of removals; a part that takes longer is held up on
  // purpose or by mistake, and must not hold up the other accounts.
  account->timeLimitSeconds = 600;
  return true;
}

bool TerminalAccountNamed(const std::string& name, TerminalAccount* account) {
  return LookUp(
      [&name](struct passwd* entry, char* buffer, size_t size, struct passwd** found) {
        return getpwnam_r(name.c_str(), entry, buffer, size, found);
      },
      account);
}

bool TerminalAccountWithUID(uid_t uid, TerminalAccount* account) {
  return LookUp(
      [uid](struct passwd* entry, char* buffer, size_t size, struct passwd** found) {
        return getpwuid_r(uid, entry, buffer, size, found);
      },
      account);
}

TerminalUserPart TerminalUserPartOf(const TerminalAccount& account) {
  // The home is the administrator's word (it may be reached through a
  // link); everything inside it is the user's, and never followed.
  int dir = open(account.home.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (dir < 0) return errno == ENOENT || errno == ENOTDIR ? TerminalUserPart::kNone : TerminalUserPart::kUnreadable;
  struct stat home;
  const bool ownHome = fstat(dir, &home) == 0 && home.st_uid == account.uid;
  std::string relative = quillon::kUserReceiptsDir;
  bool unreadable = false;
  size_t start = 0;
  while (dir >= 0 && start < relative.size()) {
    const size_t slash = relative.find('/', start);
    const std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    const int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int openErr = errno;
    (void) close(dir);
    dir = next;
    if (next < 0) {
      // Missing is none; a link, or a folder that cannot be entered, is
      // something this run cannot tell.
      if (openErr != ENOENT && openErr != ENOTDIR) unreadable = true;
      break;
    }
    start = slash == std::string::npos ? relative.size() : slash + 1;
  }
  bool found = false;
  if (dir >= 0) {
    found = HoldsReceiptFile(dir, &unreadable);
    (void) close(dir);
  }
  if (!found) return unreadable ? TerminalUserPart::kUnreadable : TerminalUserPart::kNone;
  return ownHome ? TerminalUserPart::kInstalled : TerminalUserPart::kNotOwnHome;
}

std::vector<TerminalAccount> TerminalAccountsWithUserPart() {
  std::vector<TerminalAccount> all;
  setpwent();
  while (const struct passwd* entry = getpwent()) {
    TerminalAccount account;
    if (FromEntry(entry, &account)) all.push_back(account);
  }
  endpwent();

  std::vector<TerminalAccount> found;
  std::vector<std::string> homes;
  for (const TerminalAccount& account : all) {
    if (std::find(homes.begin(), homes.end(), account.home) != homes.end()) continue;
    const TerminalUserPart part = TerminalUserPartOf(account);
    if (part == TerminalUserPart::kNone) continue;
    if (part == TerminalUserPart::kNotOwnHome) {
      // The home's owner, if it is an account with this home, speaks for it.
      struct stat info;
      const auto owner = std::find_if(all.begin(), all.end(), [&](const TerminalAccount& other) {
        return other.home == account.home && stat(account.home.c_str(), &info) == 0 && other.uid == info.st_uid;
      });
      if (owner != all.end()) {
        homes.push_back(account.home);
        found.push_back(*owner);
        continue;
      }
    }
    homes.push_back(account.home);
    found.push_back(account);
  }
  return found;
}

bool TerminalInvokingAccount(TerminalAccount* account) {
  const char* sudoUser = getenv("SUDO_USER");
  const char* sudoUID = getenv("SUDO_UID");
  const char* pkexecUID = getenv("PKEXEC_UID");
  auto parseUID = [](const char* text, uid_t* uid) {
    if (text == nullptr || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value >= UINT_MAX) return false;
    *uid = static_cast<uid_t>(value);
    return true;
  };
  uid_t uid = 0;
  bool found = false;
  if (sudoUser != nullptr && sudoUser[0] != '\0') {
    found = TerminalAccountNamed(sudoUser, account);
    uid_t claimed = 0;
    if (found && sudoUID != nullptr && (!parseUID(sudoUID, &claimed) || claimed != account->uid)) found = false;
  } else if (parseUID(pkexecUID, &uid)) {
    found = TerminalAccountWithUID(uid, account);
  }
  return found && account->uid != 0;
}
