#include "ToolSupport.h"

#include "KillPoint.h"
#include "ProductLog.h"

#include <errno.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cassert>
#include <vector>

namespace quillon {

void IgnoreWriteFailureSignals() {
  (void) signal(SIGXFSZ, SIG_IGN);
  (void) signal(SIGPIPE, SIG_IGN);
}

bool ParseToolMode(int argc, char* const argv[], ToolMode* mode) {
  assert(mode != nullptr);
  *mode = ToolMode();
  if (argc > 1 && strcmp(argv[argc - 1], "--list") == 0) {
    mode->list = true;
    argc--;
  }
  bool good = false;
  if (argc == 2 && strcmp(argv[1], "--user") == 0) {
    good = true;
  } else if (argc == 2 && strcmp(argv[1], "--system") == 0) {
    mode->system = true;
    good = true;
  } else if (argc == 4 && strcmp(argv[1], "--system") == 0 && strcmp(argv[2], "--root") == 0 &&
             argv[3][0] == '/') {
    mode->system = true;
    mode->root = argv[3];
    good = true;
  }
  if (!good) Log("usage: --system [--root DIR] | --user, then --list to change nothing and list");
  if (good && !mode->list) ArmKillPoints(LogTool(), mode->system);
  return good;
}

int FindUserHome(std::string* home) {
  assert(home != nullptr);
  home->clear();
  const char* env = getenv("HOME");
  if (env != nullptr && env[0] == '/') {
    *home = env;
  } else {
    struct passwd* entry = getpwuid(getuid());
    if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/') return ENOENT;
    *home = entry->pw_dir;
  }
  while (home->size() > 1 && home->back() == '/') home->pop_back();
  return 0;
}

namespace {

// Where every account's files live, whatever the password database says.
const char* const kUsersAreas[] = {"/home", "/root", "/run/user", "/tmp", "/var/tmp", "/dev/shm"};

// Password-database accounts below this are system accounts; their "homes"
// (/var/lib/..., /nonexistent) are ordinary system folders.
const uid_t kFirstUserID = 1000;
const uid_t kNobodyID = 65534;
// Bounds the walk through a (possibly network) password database.
const unsigned kMaxAccounts = 100000;

}  // namespace

// The homes of the password database's user accounts, read once per run.
static const std::vector<PathParts>& UserHomes() {
  static std::vector<PathParts> homes;
  static bool loaded = false;
  if (loaded) return homes;
  loaded = true;
  setpwent();
  for (unsigned count = 0; count < kMaxAccounts; count++) {
    struct passwd* entry = getpwent();
    if (entry == nullptr) break;
    if (entry->pw_uid < kFirstUserID || entry->pw_uid == kNobodyID || entry->pw_dir == nullptr) continue;
    std::string dir(entry->pw_dir);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    PathParts home;
    const char* ignored;
    if (SplitAbsolutePath(dir, &home, &ignored)) homes.push_back(home);
  }
  endpwent();
  return homes;
}

bool IsInUsersFiles(const PathParts& parts, const char** why) {
  assert(why != nullptr);
  *why = nullptr;
  for (const char* area : kUsersAreas) {
    PathParts prefix;
    const char* ignored;
    if (SplitAbsolutePath(area, &prefix, &ignored) && HasPrefix(parts, prefix)) {
      *why = "it points into users' files";
      return true;
    }
  }
  for (const PathParts& home : UserHomes()) {
    if (HasPrefix(parts, home)) {
      *why = "it points into a user's home folder";
      return true;
    }
  }
  return false;
}

}  // namespace quillon
