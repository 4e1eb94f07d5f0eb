// Reading the process list from /proc: the walk, the identifier of a process,
// the table of known polkit agents, and the poll that stands in for launch
// events.

#include "Processes.h"
#include "ProcessesPrivate.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// The executables' file names of the standalone polkit authentication agents
// that desktops start in a user's session.
const char* const kSecurityAgentIdentifiers[] = {
    "polkit-gnome-authentication-agent-1",  // GNOME's, used by most window managers
    "polkit-kde-authentication-agent-1",
    "polkit-mate-authentication-agent-1",
    "polkit-efl-authentication-agent-1",
    "lxpolkit",
    "lxqt-policykit-agent",
    "xfce-polkit",
    "dde-polkit-agent",
    "budgie-polkit-dialog",
    "io.elementary.desktop.agent-polkit",
    "hyprpolkitagent",
};

struct AgentTable {
  const char* const* identifiers;
  size_t count;
};

AgentTable sTestTable;
std::atomic<const AgentTable*> sAgentTableOverride{nullptr};

constexpr unsigned long kKernelThreadFlag = 0x00200000;  // PF_KTHREAD in the flags field
constexpr long kPollIntervalMs = 250;
constexpr size_t kFirstAllocation = 1024;
constexpr int kBatch = 64;  // pids looked at per pass of GetNextProcess

struct ProcessFacts {
  char state;
  unsigned long flags;
  uint64_t startTime;
};

// "1234" -> 1234; anything that is not a positive pid -> 0.
int32_t ParsePid(const char* name) {
  if (name[0] < '1' || name[0] > '9') return 0;
  long value = 0;
  for (const char* p = name; *p != '\0'; p++) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(value);
}

// Calls visit(pid) for each process folder of /proc, in directory order,
// until it returns false. Returns 0, or the errno of opendir or readdir.
template <typename Visit>
int ForEachProcPid(Visit visit) {
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return errno;
  int err = 0;
  for (;;) {
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) {
      err = errno;
      break;
    }
    int32_t pid = ParsePid(entry->d_name);
    if (pid != 0 && !visit(pid)) break;
  }
  (void) closedir(dir);
  return err;
}

// Reads state, flags and start time from /proc/<pid>/stat. The command name
// in parentheses may hold any byte, spaces and parentheses included, so the
// fields are counted from the last ')'. Returns 0, the errno of open or read
// (ENOENT or ESRCH once the process is gone), or EIO for a line that cannot
// be parsed.
int ReadProcessFacts(int32_t pid, ProcessFacts* facts) {
  char path[32];
  snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char line[1024];
  size_t used = 0;
  int err = 0;
  while (used < sizeof line - 1) {
    ssize_t n = read(fd, line + used, sizeof line - 1 - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  (void) close(fd);
  if (err != 0) return err;
  if (used == 0) return ESRCH;
  line[used] = '\0';

  const char* close = strrchr(line, ')');
  if (close == nullptr) return EIO;
  // Fields after the command name, starting with field 3 (state).
  const char* p = close + 1;
  int field = 2;
  bool haveFlags = false;
  bool haveStart = false;
  while (*p != '\0' && !(haveFlags && haveStart)) {
    while (*p == ' ') p++;
    if (*p == '\0') break;
    field++;
    const char* token = p;
    while (*p != ' ' && *p != '\0' && *p != '\n') p++;
    if (field == 3) {
      facts->state = *token;
    } else if (field == 9) {
      facts->flags = strtoul(token, nullptr, 10);
      haveFlags = true;
    } else if (field == 22) {
      facts->startTime = strtoull(token, nullptr, 10);
      haveStart = true;
    }
    if (*p == '\n') break;
  }
  return (haveFlags && haveStart) ? 0 : EIO;
}

bool IsOwnedByUs(int32_t pid) {
  char path[32];
  snprintf(path, sizeof path, "/proc/%d", static_cast<int>(pid));
  struct stat sb;
  return stat(path, &sb) == 0 && sb.st_uid == getuid();
}

bool RunsAProgram(const ProcessFacts& facts) {
  return (facts.flags & kKernelThreadFlag) == 0 && facts.state != 'Z' && facts.state != 'X';
}

// Whether pid is one of the processes this module shows, and its facts.
bool IsListedProcess(int32_t pid, ProcessFacts* facts) {
  return IsOwnedByUs(pid) && ReadProcessFacts(pid, facts) == 0 && RunsAProgram(*facts);
}

}  // namespace

void ProcessSleepMs(long ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

long long ProcessNowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool ProcessIsRunning(const ProcessSerialNumber* psn) {
  ProcessFacts facts;
  return psn->pid > 0 && ReadProcessFacts(psn->pid, &facts) == 0 && facts.startTime == psn->startTime &&
         RunsAProgram(facts);
}

OSStatus GetNextProcess(ProcessSerialNumber* psn) {
  assert(psn != nullptr);
  int32_t after = psn->pid;
  for (;;) {
    // One pass over /proc keeps the kBatch smallest pids above |after|, so a
    // walk costs a few passes rather than one per process.
    int32_t batch[kBatch];
    int count = 0;
    int err = ForEachProcPid([&](int32_t pid) {
      if (pid <= after) return true;
      if (count == kBatch && pid >= batch[kBatch - 1]) return true;
      int at = (count == kBatch) ? kBatch - 1 : count++;
      while (at > 0 && batch[at - 1] > pid) {
        batch[at] = batch[at - 1];
        at--;
      }
      batch[at] = pid;
      return true;
    });
    if (err != 0) return err;
    if (count == 0) return procNotFound;

    for (int i = 0; i < count; i++) {
      ProcessFacts facts;
      if (IsListedProcess(batch[i], &facts)) {
        psn->pid = batch[i];
        psn->startTime = facts.startTime;
        return noErr;
      }
    }
    after = batch[count - 1];
  }
}

OSStatus GetProcessIdentifier(const ProcessSerialNumber* psn, char* identifier, size_t size) {
  assert(psn != nullptr);
  assert(identifier != nullptr);
  if (!ProcessIsRunning(psn)) return procNotFound;

  char path[32];
  snprintf(path, sizeof path, "/proc/%d/exe", static_cast<int>(psn->pid));
  char target[PATH_MAX + 16];
  ssize_t length = readlink(path, target, sizeof target);
  if (length < 0) {
    // ENOENT: a process that is ending has already given up its program.
    int err = errno;
    return (err == ENOENT || !ProcessIsRunning(psn)) ? procNotFound : err;
  }
  if (static_cast<size_t>(length) == sizeof target) return ENAMETOOLONG;
  target[length] = '\0';
  // The pid may have been reused between the first check and readlink.
  if (!ProcessIsRunning(psn)) return procNotFound;

  static const char kDeleted[] = " (deleted)";
  size_t deletedLength = sizeof kDeleted - 1;
  if (static_cast<size_t>(length) > deletedLength &&
      strcmp(target + length - deletedLength, kDeleted) == 0) {
    target[length - deletedLength] = '\0';
  }
  const char* slash = strrchr(target, '/');
  const char* name = (slash != nullptr) ? slash + 1 : target;
  size_t nameSize = strlen(name) + 1;
  if (nameSize > size) return ENAMETOOLONG;
  memcpy(identifier, name, nameSize);
  return noErr;
}

Boolean ProcessIdentifierIsSecurityAgent(const char* identifier) {
  assert(identifier != nullptr);
  const AgentTable* table = sAgentTableOverride.load(std::memory_order_acquire);
  const char* const* identifiers = kSecurityAgentIdentifiers;
  size_t count = sizeof kSecurityAgentIdentifiers / sizeof kSecurityAgentIdentifiers[0];
  if (table != nullptr) {
    identifiers = table->identifiers;
    count = table->count;
  }
  for (size_t i = 0; i < count; i++) {
    if (strcmp(identifier, identifiers[i]) == 0) return TRUE;
  }
  return FALSE;
}

void ProcessSetSecurityAgentIdentifiersForTesting(const char* const* identifiers, size_t count) {
  if (identifiers == nullptr) {
    sAgentTableOverride.store(nullptr, std::memory_order_release);
  } else {
    sTestTable.identifiers = identifiers;
    sTestTable.count = count;
    sAgentTableOverride.store(&sTestTable, std::memory_order_release);
  }
}

// ---------------------------------------------------------------------------
// The launch watch

namespace {

enum : uint32_t {
  kEntryKnown = 0,    // there when the watch looked before; reported or old
  kEntryIgnored = 1,  // not one of the listed processes when first seen
  kEntryPending = 2,  // new since the previous poll; reported if still there next poll
};

struct WatchEntry {
  int32_t pid;
  uint32_t state;
  uint64_t startTime;
};

}  // namespace

struct ProcessLaunchWatch {
  WatchEntry* entries;  // sorted by pid
  size_t count;
  WatchEntry* scratch;
  int32_t* pids;
  ProcessSerialNumber* ready;  // launched processes not handed out yet
  size_t readyHead;
  size_t readyCount;
  size_t allocated;  // of each array above
  bool failing;      // the previous poll failed
};

namespace {

bool Reserve(ProcessLaunchWatch* watch, size_t needed) {
  if (needed <= watch->allocated) return true;
  if (needed > kProcessWatchCapacity) return false;
  size_t size = std::max(watch->allocated, kFirstAllocation);
  while (size < needed) size *= 2;
  size = std::min(size, static_cast<size_t>(kProcessWatchCapacity));
  WatchEntry* entries = static_cast<WatchEntry*>(realloc(watch->entries, size * sizeof(WatchEntry)));
  if (entries != nullptr) watch->entries = entries;
  WatchEntry* scratch = static_cast<WatchEntry*>(realloc(watch->scratch, size * sizeof(WatchEntry)));
  if (scratch != nullptr) watch->scratch = scratch;
  int32_t* pids = static_cast<int32_t*>(realloc(watch->pids, size * sizeof(int32_t)));
  if (pids != nullptr) watch->pids = pids;
  ProcessSerialNumber* ready =
      static_cast<ProcessSerialNumber*>(realloc(watch->ready, size * sizeof(ProcessSerialNumber)));
  if (ready != nullptr) watch->ready = ready;
  if (entries == nullptr || scratch == nullptr || pids == nullptr || ready == nullptr) return false;
  watch->allocated = size;
  return true;
}

// Classifies a pid seen for the first time.
WatchEntry NewEntry(int32_t pid, bool baseline) {
  WatchEntry entry = {pid, kEntryIgnored, 0};
  ProcessFacts facts;
  if (IsListedProcess(pid, &facts)) {
    entry.state = baseline ? kEntryKnown : kEntryPending;
    entry.startTime = facts.startTime;
  }
  return entry;
}

// Reads /proc once and merges it into the watch. A process still pending
// from the previous poll that is still the same listed process becomes ready.
int Poll(ProcessLaunchWatch* watch, bool baseline) {
  size_t pidCount = 0;
  int growErr = 0;
  int err = ForEachProcPid([&](int32_t pid) {
    if (pidCount == watch->allocated && !Reserve(watch, pidCount + 1)) {
      if (watch->allocated < kProcessWatchCapacity) growErr = ENOMEM;
      return false;  // at capacity: later processes are not watched
    }
    watch->pids[pidCount++] = pid;
    return true;
  });
  if (err == 0) err = growErr;
  if (err != 0) return err;
  std::sort(watch->pids, watch->pids + pidCount);

  // The ready list is empty here (Next hands all of it out before polling),
  // and holds at most one entry per pid.
  watch->readyHead = 0;
  watch->readyCount = 0;
  size_t merged = 0;
  size_t old = 0;
  for (size_t i = 0; i < pidCount; i++) {
    int32_t pid = watch->pids[i];
    while (old < watch->count && watch->entries[old].pid < pid) old++;
    WatchEntry entry;
    if (old < watch->count && watch->entries[old].pid == pid) {
      entry = watch->entries[old];
      if (entry.state == kEntryPending) {
        ProcessFacts facts;
        if (IsListedProcess(pid, &facts) && facts.startTime == entry.startTime) {
          watch->ready[watch->readyCount++] = ProcessSerialNumber{pid, entry.startTime};
          entry.state = kEntryKnown;
        } else {
          entry = NewEntry(pid, baseline);  // gone and the pid reused, or no longer ours
        }
      }
    } else {
      entry = NewEntry(pid, baseline);
    }
    watch->scratch[merged++] = entry;
  }
  std::swap(watch->entries, watch->scratch);
  watch->count = merged;
  return 0;
}

}  // namespace

OSStatus ProcessLaunchWatchCreate(ProcessLaunchWatch** watch) {
  assert(watch != nullptr);
  assert(*watch == nullptr);
  ProcessLaunchWatch* created = static_cast<ProcessLaunchWatch*>(calloc(1, sizeof(ProcessLaunchWatch)));
  if (created == nullptr) return ENOMEM;
  int err = Reserve(created, kFirstAllocation) ? Poll(created, true) : ENOMEM;
  if (err != 0) {
    ProcessLaunchWatchDispose(created);
    return err;
  }
  *watch = created;
  return noErr;
}

OSStatus ProcessLaunchWatchNext(ProcessLaunchWatch* watch, ProcessSerialNumber* launched, int timeoutMs) {
  assert(watch != nullptr);
  assert(launched != nullptr);
  long long deadline = (timeoutMs >= 0) ? ProcessNowMs() + timeoutMs : 0;
  for (;;) {
    if (watch->readyHead < watch->readyCount) {
      *launched = watch->ready[watch->readyHead++];
      return noErr;
    }
    long wait = kPollIntervalMs;
    if (timeoutMs >= 0) {
      long long left = deadline - ProcessNowMs();
      if (left <= 0) return ETIMEDOUT;
      wait = static_cast<long>(std::min<long long>(left, kPollIntervalMs));
    }
    ProcessSleepMs(wait);
    int err = Poll(watch, false);
    if (err != 0) {
      if (!watch->failing) {
        watch->failing = true;
        return err;
      }
    } else {
      watch->failing = false;
    }
  }
}

void ProcessLaunchWatchDispose(ProcessLaunchWatch* watch) {
  if (watch == nullptr) return;
  free(watch->entries);
  free(watch->scratch);
  free(watch->pids);
  free(watch->ready);
  free(watch);
}
