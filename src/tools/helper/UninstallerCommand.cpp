#include "UninstallerCommand.h"

#include "MoreSecInstalledTool.h"
#include "MoreUNIXText.h"
#include "ProgramRunner.h"
#include "UninstallerLogCut.h"

#include <errno.h>
#include <limits.h>
#include <string.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

// One program of the request: its key, and the argument it gets.
struct Step {
  const char* key;
  const char* argument;  // NULL: none
};
const Step kSteps[] = {
    {"CommandPath", nullptr},
    {"PruneMIDI", "--system"},
    {"PruneLoginItem", "--system"},
};
const size_t kStepCount = sizeof kSteps / sizeof kSteps[0];
// The order they run in. The root script removes what the receipts list and
// then the receipts, which say that the product is still (partly) there: it
// goes last, so that a run cut off at any point is done again.
const size_t kRunOrder[kStepCount] = {1, 2, 0};

// Everything the programs get from us; nothing of the caller's environment.
const char* const kFixedEnvironment[] = {
    "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
    "LANG=C.UTF-8",
    "HOME=/root",
};
const size_t kFixedEnvironmentCount = sizeof kFixedEnvironment / sizeof kFixedEnvironment[0];

// Each program's output is kept whole up to this, or its start and end
// beyond it; it leaves room in the log for the other programs' last lines.
const size_t kProgramOutputLimit = kUninstallLogLimit / 4 * 3;

// The log of one run: the programs' output (see kProgramOutputLimit) and our
// own lines. The whole log is cut the same way when it is sent, so that the
// last lines, where the programs say how they finished, always arrive.
class UninstallLog {
 public:
  void AppendOutput(const std::string& output, size_t dropped) {
    EndLine();
    const size_t head = kProgramOutputLimit - kProgramOutputLimit / 2;  // as RunProgram keeps it
    if (dropped > 0 && output.size() > head) {
      fText += UninstallerJoinCut(std::string_view(output).substr(0, head), std::string_view(output).substr(head),
                                  dropped);
    } else {
      fText += output;
    }
  }
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    Add(false, format, args);
    va_end(args);
  }
  // A line that says why nothing ran. It goes to standard error as well:
  // the application shows a failed run's status, not its log.
  void Refusal(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    Add(true, format, args);
    va_end(args);
  }
  std::string Bounded() const { return UninstallerCutLog(fText, kUninstallLogLimit); }

 private:
  // Each program's output and each of our lines starts on a line of its
  // own, after output that did not end its last line.
  void EndLine() {
    if (!fText.empty() && fText.back() != '\n') fText += '\n';
  }

  void Add(bool toStandardError, const char* format, va_list args) {
    char line[2 * PATH_MAX + 256];
    int length = vsnprintf(line, sizeof line, format, args);
    if (length < 0) return;
    size_t used = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
    EndLine();
    std::string text = "UninstallerHelper: " + std::string(line, used) + "\n";
    fText += text;
    if (toStandardError) (void) fputs(text.c_str(), stderr);
  }

  std::string fText;
};

// A path from the request: a string holding an absolute path that converts
// to UTF-8 whole, fits PATH_MAX, and has no NUL or other control byte (a NUL
// would silently shorten the path that is run).
OSStatus CopyRequestPath(CFDictionaryRef request, const char* key, bool* present, std::string* path) {
  *present = false;
  path->clear();
  CFStringRef keyString = CFStringCreateWithCString(NULL, key, kCFStringEncodingUTF8);
  if (keyString == NULL) return coreFoundationUnknownErr;
  CFTypeRef value = CFDictionaryGetValue(request, keyString);
  CFRelease(keyString);
  if (value == NULL) return noErr;
  *present = true;
  if (CFGetTypeID(value) != CFStringGetTypeID()) return paramErr;
  CFStringRef string = static_cast<CFStringRef>(value);
  CFIndex length = CFStringGetLength(string);
  if (length <= 0 || length >= PATH_MAX) return paramErr;
  char buffer[PATH_MAX];
  CFIndex used = 0;
  CFIndex converted = CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                                       reinterpret_cast<UInt8*>(buffer), sizeof buffer - 1, &used);
  if (converted != length || used <= 0 || used >= static_cast<CFIndex>(sizeof buffer)) return paramErr;
  for (CFIndex i = 0; i < used; i++) {
    unsigned char c = static_cast<unsigned char>(buffer[i]);
    if (c < 0x20 || c == 0x7f) return paramErr;
  }
  if (buffer[0] != '/') return paramErr;
  path->assign(buffer, static_cast<size_t>(used));
  return noErr;
}

// The log line of a program that is not run; its status.
OSStatus RefuseProgram(const char* key, const std::string& path, int err, const MoreSecPathRefusal& refusal,
                       UninstallLog* log) {
  const bool refused = MoreSecIsPathRefusal(err) || err == EACCES;
  if (refusal.why[0] != '\0') {
    log->Refusal("refused %s \"%s\": %s %s", key, path.c_str(), refusal.where.c_str(), refusal.why);
  } else {
    log->Refusal("refused %s \"%s\": %s: %s", key, path.c_str(), refusal.where.c_str(), strerror(err));
  }
  return refused ? kUninstallUntrustedProgramErr : err;
}

// Root's work is done only by a process that is root alone: pkexec's child,
// which polkit let run under the uninstall right itself (the action names
// the installed tool, so pkexec's question is that right), or a tool that
// root started. A second question to polkit would ask about root and could
// only say yes, so there is none. A process whose real or saved user ID is
// another user's (a set-user-ID copy) could be signalled or stopped by that
// user while it holds the system lock: it gets nothing.
OSStatus CheckRootAlone(AuthorizationRef) {
  uid_t realUID, effectiveUID, savedUID;
  if (getresuid(&realUID, &effectiveUID, &savedUID) != 0) return kHelperToolNotPrivilegedErr;
  if (realUID == 0 && effectiveUID == 0 && savedUID == 0) return noErr;
  return kHelperToolNotPrivilegedErr;
}

// The request must name the installed bundle's own programs, at their own
// places; anything else, root's or not, is refused by name.
OSStatus CheckInBundle(const char* key, const std::string& path, const std::string& expected, UninstallLog* log) {
  if (path == expected) return noErr;
  log->Refusal("refused %s \"%s\": not the installed bundle's %s", key, path.c_str(), expected.c_str());
  return kUninstallUntrustedProgramErr;
}

const char* const kBundlePlaces[] = {"/Resources/uninstall.ss", "/PruneMIDI", "/PruneLoginItem"};

// The process that holds a flock on the file open at fd, from /proc/locks
// (the kernel's own table; waiters' lines start with "->" and are skipped),
// or 0 when none is found.
pid_t LockHolder(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return 0;
  FILE* locks = fopen("/proc/locks", "re");
  if (locks == NULL) return 0;
  pid_t holder = 0;
  char line[256];
  while (holder == 0 && fgets(line, sizeof line, locks) != NULL) {
    int pid = 0;
    unsigned int major = 0, minor = 0;
    unsigned long inode = 0;
    if (sscanf(line, "%*d: FLOCK %*s %*s %d %x:%x:%lu", &pid, &major, &minor, &inode) == 4 &&
        inode == static_cast<unsigned long>(info.st_ino) && major == major(info.st_dev) &&
        minor == minor(info.st_dev) && pid > 0) {
      holder = pid;
    }
  }
  fclose(locks);
  return holder;
}

// Opens the system-wide lock file at |path| as root and waits for it, so that
// two users' uninstalls never interleave. Should someone else have made the
// name all the same (the folder is root's, but a test or an administrator
// may point elsewhere), it is opened without following a link and without
// truncating, and must turn out to be a regular file of root's own that
// nobody else may open, linked once; anything else is refused (never
// removed or rewritten), and the administrator has to clear the name. The
// file is root:root 0600. The wait is bounded: a holder that never lets go
// (stopped, hung) must not hold every later uninstall with it, so after
// |waitSeconds| the run stops with ETIMEDOUT and a line naming the holder.
// Without root at hand there is nothing to guard (the programs could not run
// as root either) and *fd stays -1.
int LockSystemWide(const char* path, int waitSeconds, UninstallLog* log, int* fd) {
  const uid_t actingAs = geteuid();
  if (actingAs != 0 && seteuid(0) != 0) return 0;
  int lockFd;
  do {
    lockFd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  } while (lockFd < 0 && errno == EINTR);
  int err = lockFd < 0 ? errno : 0;
  struct stat info;
  if (err == 0 && fstat(lockFd, &info) != 0) err = errno;
  if (err == 0 && (!S_ISREG(info.st_mode) || info.st_uid != 0 || info.st_nlink != 1 || (info.st_mode & 077) != 0)) {
    err = EPERM;
  }
  // A file that root made while its group was another's: root's group too.
  if (err == 0 && info.st_gid != 0 && fchown(lockFd, 0, 0) != 0) err = errno;
  bool timedOut = false;
  if (err == 0 && flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    log->Line("waiting for another uninstall to finish");
    struct timespec start;
    (void) clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
      if (flock(lockFd, LOCK_EX | LOCK_NB) == 0) break;
      if (errno != EWOULDBLOCK && errno != EINTR) {
        err = errno;
        break;
      }
      struct timespec now;
      (void) clock_gettime(CLOCK_MONOTONIC, &now);
      const long long waitedMs =
          (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / (1000 * 1000);
      if (waitedMs >= waitSeconds * 1000LL) {
        timedOut = true;
        err = ETIMEDOUT;
        break;
      }
      struct timespec pause = {0, 100 * 1000 * 1000};
      (void) nanosleep(&pause, NULL);
    }
  }
  const pid_t holder = timedOut ? LockHolder(lockFd) : 0;
  if (actingAs != 0) {
    int junk = seteuid(actingAs);
    assert(junk == 0);
  }
  if (err != 0) {
    if (lockFd >= 0) (void) close(lockFd);
    if (timedOut) {
      log->Refusal("ran nothing: another uninstall (process %ld) has held %s for %d s", static_cast<long>(holder),
                   path, waitSeconds);
    } else {
      log->Line("refused to run: %s is not a lock file of root's own (%s); an administrator must remove it", path,
                strerror(err));
    }
    return err;
  }
  *fd = lockFd;
  return 0;
}

// Runs the opened programs in order; returns the first failure. Each finds
// the bundle, as the walk to CommandPath pinned it, at kRunProgramFolderFd.
OSStatus RunSteps(const std::string (&paths)[kStepCount], const int (&fds)[kStepCount], int bundleFd,
                  UninstallLog* log) {
  const std::string bundle = "QUILLON_BUNDLE=/proc/self/fd/" + std::to_string(kRunProgramFolderFd);
  const char* envp[kFixedEnvironmentCount + 2];
  for (size_t i = 0; i < kFixedEnvironmentCount; i++) envp[i] = kFixedEnvironment[i];
  envp[kFixedEnvironmentCount] = bundle.c_str();
  envp[kFixedEnvironmentCount + 1] = NULL;

  OSStatus first = noErr;
  for (size_t i : kRunOrder) {
    if (fds[i] < 0) continue;
    const char* argv[] = {paths[i].c_str(), kSteps[i].argument, NULL};
    std::string output;
    size_t dropped = 0;
    int waitStatus = 0;
    int err = RunProgram(fds[i], bundleFd, argv, envp, true, kProgramOutputLimit, &output, &dropped, &waitStatus);
    log->AppendOutput(output, dropped);
    OSStatus status = noErr;
    if (err != 0) {
      log->Line("could not run %s: %s", paths[i].c_str(), strerror(err));
      status = err;
    } else if (WIFSIGNALED(waitStatus)) {
      log->Line("%s was ended by signal %d", paths[i].c_str(), WTERMSIG(waitStatus));
      status = kUninstallStepFailedErr;
    } else if (!WIFEXITED(waitStatus) || WEXITSTATUS(waitStatus) != 0) {
      log->Line("%s failed with exit status %d", paths[i].c_str(), WEXITSTATUS(waitStatus));
      status = kUninstallStepFailedErr;
    }
    if (first == noErr) first = status;
  }
  return first;
}

}  // namespace

void UninstallerSanitizeLog(const char* bytes, size_t length, std::string* text) {
  assert(bytes != NULL || length == 0);
  assert(text != NULL);
  static const char kReplacement[] = "\xEF\xBF\xBD";
  const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes);
  text->clear();
  text->reserve(length);
  size_t i = 0;
  while (i < length) {
    uint32_t c = 0;
    const size_t sequence = MoreUNIXDecodeUTF8(in + i, length - i, &c);
    // Control characters other than \t, \n and \r, and U+FFFE and U+FFFF,
    // are not characters an XML document may hold.
    const bool allowed = sequence != 0 && (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') && c != 0xFFFE &&
                         c != 0xFFFF;
    if (allowed) {
      text->append(reinterpret_cast<const char*>(in + i), sequence);
      i += sequence;
    } else {
      text->append(kReplacement);
      i++;
    }
  }
}

OSStatus UninstallerCommandWithRightsCheck(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response,
                                           UninstallRightsCheck check) {
  return UninstallerCommandWithChecks(auth, request, response, check, kUninstallSystemLockPath);
}

OSStatus UninstallerCommandWithChecks(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response,
                                      UninstallRightsCheck check, const char* lockPath) {
  UninstallCommandSettings settings;
  settings.lockPath = lockPath;
  return UninstallerCommandWithSettings(auth, request, response, check, settings);
}

OSStatus UninstallerCommandWithSettings(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response,
                                        UninstallRightsCheck check, const UninstallCommandSettings& settings) {
  assert(auth != NULL);
  assert(request != NULL);
  assert(response != NULL && *response == NULL);
  assert(check != NULL);
  assert(settings.lockPath != NULL);
  assert(settings.policyPath != NULL || settings.bundle != NULL);

  UninstallLog log;
  OSStatus err = noErr;
  std::string paths[kStepCount];
  int fds[kStepCount] = {-1, -1, -1};

  if (CFGetTypeID(request) != CFDictionaryGetTypeID()) err = paramErr;
  for (size_t i = 0; err == noErr && i < kStepCount; i++) {
    bool present = false;
    err = CopyRequestPath(request, kSteps[i].key, &present, &paths[i]);
    if (err == noErr && i == 0 && !present) err = paramErr;
    if (err != noErr) log.Line("refused the request: \"%s\" is not an absolute path", kSteps[i].key);
  }

  if (err == noErr) {
    err = check(auth);
    if (err == errAuthorizationDenied) {
      err = kUninstallDeniedErr;
    } else if (err == errAuthorizationCanceled) {
      err = kUninstallCanceledErr;
    }
    if (err != noErr) log.Line("not authorized to uninstall (status %d)", static_cast<int>(err));
  }

  // Only the installed bundle's programs, wherever the request points.
  std::string bundle;
  if (err == noErr && settings.bundle != NULL) {
    bundle = settings.bundle;
  } else if (err == noErr) {
    std::string tool;
    MoreSecPathRefusal refusal;
    int found = MoreSecCopyInstalledToolPath(settings.policyPath, &tool, &refusal);
    if (found != 0) {
      log.Refusal("ran nothing: no installed bundle: %s %s", refusal.where.c_str(),
                  refusal.why[0] != '\0' ? refusal.why : strerror(found));
      err = kUninstallUntrustedProgramErr;
    } else {
      bundle = MoreSecBundleOfInstalledTool(tool);
    }
  }
  for (size_t i = 0; err == noErr && i < kStepCount; i++) {
    if (!paths[i].empty()) err = CheckInBundle(kSteps[i].key, paths[i], bundle + kBundlePlaces[i], &log);
  }

  // Every program is pinned and checked before the first one runs, so that a
  // request with one bad path runs none of them. Root runs only what root
  // owns, reached through folders that only root can change; the bundle the
  // scripts are told about is the one this walk reached, never the string.
  int bundleFd = -1;
  for (size_t i = 0; err == noErr && i < kStepCount; i++) {
    if (paths[i].empty()) continue;
    MoreSecPathRefusal refusal;
    int openErr = OpenProgramForRunning(paths[i].c_str(), 0, &fds[i], i == 0 ? &bundleFd : NULL, &refusal);
    if (openErr != 0) err = RefuseProgram(kSteps[i].key, paths[i], openErr, refusal, &log);
  }

  // Limits the caller lowered would end a program half-way, a rewrite with
  // a truncated file: they must allow a whole run before anything starts.
  if (err == noErr) {
    std::string why;
    if (RaiseLimitsForRunning(&why) != 0) {
      log.Refusal("ran nothing: %s", why.c_str());
      err = kUninstallLimitsErr;
    }
  }

  int lockFd = -1;
  if (err == noErr) err = LockSystemWide(settings.lockPath, settings.lockWaitSeconds, &log, &lockFd);
  if (err == noErr) err = RunSteps(paths, fds, bundleFd, &log);
  for (int fd : {lockFd, bundleFd}) {
    if (fd >= 0) {
      int junk = close(fd);
      assert(junk == 0);
    }
  }
  for (int fd : fds) {
    if (fd >= 0) {
      int junk = close(fd);
      assert(junk == 0);
    }
  }

  const std::string bounded = log.Bounded();
  std::string text;
  UninstallerSanitizeLog(bounded.data(), bounded.size(), &text);
  CFStringRef logString = CFStringCreateWithBytes(NULL, reinterpret_cast<const UInt8*>(text.data()),
                                                  static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
  if (logString != NULL) {
    const void* keys[] = {kUninstallLogKey};
    const void* values[] = {logString};
    *response = CFDictionaryCreate(NULL, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                   &kCFTypeDictionaryValueCallBacks);
    CFRelease(logString);
  }
  if (*response == NULL && err == noErr) err = coreFoundationUnknownErr;
  return err;
}

OSStatus HelperToolCommandProc(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response) {
  return UninstallerCommandWithRightsCheck(auth, request, response, CheckRootAlone);
}

namespace {

// PATH_MAX bytes: one more than the longest path CopyRequestPath accepts, so
// that a path just too long still reaches it and is refused by name.
const MoreSecRequestKey kUninstallRequestKeys[] = {
    {"CommandPath", kMoreSecRequestString, PATH_MAX},
    {"PruneMIDI", kMoreSecRequestString, PATH_MAX},
    {"PruneLoginItem", kMoreSecRequestString, PATH_MAX},
};

}  // namespace

const MoreSecCommand kUninstallerHelperCommand = {
    HelperToolCommandProc, {kUninstallRequestKeys, sizeof kUninstallRequestKeys / sizeof kUninstallRequestKeys[0]},
    NULL};
