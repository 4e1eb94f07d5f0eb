// One uninstall from start to end: the privileged part through the helper
// tool, then the user's part, then the clean-up, whatever happened.

#include "UninstallerEngine.h"

#include "MoreSecClient.h"
#include "MoreSecInstall.h"
#include "MoreSecProtocol.h"
#include "MoreUNIX.h"
#include "MoreUNIXText.h"
#include "UninstallerEnginePrivate.h"
#include "MoreSecInstalledTool.h"
#include "UninstallerRootWatch.h"

#include <Authorization.h>
#include <CoreFoundation/CFRef.h>
#include <Folders.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Lines reported by the diagnostics; they identify the failing step.
enum {
  kLineAuthorizationCreate = 287,
  kLineToolInApplicationSupport = 296,
  kLineToolInTemporaryItems = 312,
  kLineUninstallScriptMissing = 324,
  kLineRequestNotCreated = 344,
  kLineExecuteRequest = 353,
  kLineResponseError = 367,
  kLineAuthorizationFree = 447,
};

#define kQLUninstallLogKey CFSTR("QLUninstallLog")

// The user script's output is read whole; more than this is not a log any
// more, and the rest is drained and dropped.
const size_t kMaxScriptOutput = 16 * 1024 * 1024;

CFStringRef CopyPathOfURL(CFURLRef url) {
  return url == NULL ? NULL : CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
}

std::string StdStringOf(CFStringRef str) {
  std::string result;
  if (str == NULL) {
    return result;
  }
  CFIndex length = CFStringGetLength(str);
  CFIndex needed = 0;
  CFStringGetBytes(str, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, NULL, 0, &needed);
  result.resize(static_cast<size_t>(needed));
  CFStringGetBytes(str, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(result.data()), needed, NULL);
  return result;
}

void* ReapChild(void* child) {
  pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(child));
  while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
  }
  return NULL;
}

// The script's exit status does not matter and the engine does not wait for
// it: it is done when its output ends, and a script that closed its output
// but lingers must not hold the application. It is still reaped, by a small
// detached thread when it has not exited yet, so that no zombie is left.
void ReapWithoutWaiting(pid_t child) {
  pid_t done;
  do {
    done = waitpid(child, NULL, WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done != 0) {
    return;
  }
  pthread_t reaper;
  if (pthread_create(&reaper, NULL, ReapChild, reinterpret_cast<void*>(static_cast<intptr_t>(child))) == 0) {
    (void) pthread_detach(reaper);
  }
}

// Cuts a partial UTF-8 sequence off the end of `text` and returns how many
// bytes went: a cut made by byte count must not turn good text into bytes
// that are not UTF-8.
size_t TrimPartialCharacter(std::string& text) {
  const size_t whole = MoreUNIXWholeCharacterPrefix(text);
  const size_t cut = text.size() - whole;
  text.resize(whole);
  return cut;
}

// A point on the monotonic clock |milliseconds| from now.
struct timespec MonotonicAfter(long long milliseconds) {
  struct timespec at;
  (void) clock_gettime(CLOCK_MONOTONIC, &at);
  at.tv_sec += static_cast<time_t>(milliseconds / 1000);
  at.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (at.tv_nsec >= 1000000000) {
    at.tv_sec++;
    at.tv_nsec -= 1000000000;
  }
  return at;
}

bool Earlier(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Waits until |fd| can be read (or has reached its end) or the monotonic
// clock passes |deadline|; false when the deadline came first.
bool WaitForInputUntil(int fd, const struct timespec& deadline) {
  for (;;) {
    struct timespec now;
    (void) clock_gettime(CLOCK_MONOTONIC, &now);
    long long left = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1000 +
                     (deadline.tv_nsec - now.tv_nsec) / 1000000;
    if (left <= 0) return false;
    struct pollfd wanted = {fd, POLLIN, 0};
    int ready = poll(&wanted, 1, left > 60000 ? 60000 : static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // let read() report it
  }
}

// How long a skipped user part has to end after SIGTERM before SIGKILL.
const long long kSkipGraceMilliseconds = 2000;
// How often a wait for the user part looks whether it is to be skipped.
const long long kSkipPollMilliseconds = 200;

// Runs the user-level script as the current user with the inherited
// environment and working folder, or as |account| when that is given (a
// root run), its standard output and error on one pipe,
// and returns what it wrote as a string (made safe to show: bytes that are
// not UTF-8 are written out, not dropped), or NULL when it wrote nothing. A
// script that cannot be started gets a line that says so, as does output cut
// at the bound, a part stopped at its time limit, and a skipped one.
CFStringRef CopyUserScriptOutput(CFStringRef scriptPath, CFStringRef pruneMIDIPath,
                                 const UninstallerUserAccount* account, const std::atomic<bool>* skip, bool* timedOut,
                                 bool* skipped) {
  *timedOut = false;
  *skipped = false;
  std::string script = StdStringOf(scriptPath);
  std::string argument = StdStringOf(pruneMIDIPath);
  char* argv[3] = {script.data(), NULL, NULL};
  if (pruneMIDIPath != NULL) {
    argv[1] = argument.data();
  }

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    return NULL;
  }
  pid_t child = -1;
  int spawnErr;
  if (account != NULL) {
    spawnErr = UninstallerSpawnAsAccount(script.c_str(), argv, account, pipeFds[1], &child);
  } else {
    const MoreUNIXSpawnDescriptor descriptors[] = {{pipeFds[1], STDOUT_FILENO}, {pipeFds[1], STDERR_FILENO}};
    // The application ignores SIGPIPE for its own writes; the script and its
    // pipelines expect the default, and no signal blocked.
    const int defaults[] = {SIGPIPE};
    const MoreUNIXSpawnOptions options = {descriptors, 2, defaults, 1, nullptr};
    spawnErr = MoreUNIXSpawn(script.c_str(), argv, environ, &options, &child);
  }
  close(pipeFds[1]);

  std::string output;
  if (spawnErr == 0) {
    // Until the script and everything it started have closed the pipe.
    uint64_t dropped = 0;
    char buffer[65536];
    const unsigned limit = account != NULL ? account->timeLimitSeconds : 0;
    struct timespec deadline = MonotonicAfter(static_cast<long long>(limit) * 1000);
    for (;;) {
      if (skip != NULL && !*skipped && skip->load()) {
        // The part runs in a session of its own, led by the child: its
        // processes are asked to end, and made to after a grace period.
        (void) kill(-child, SIGTERM);
        (void) kill(-child, SIGCONT);
        *skipped = true;
        deadline = MonotonicAfter(kSkipGraceMilliseconds);
      }
      const bool bounded = limit > 0 || *skipped;
      if (bounded || skip != NULL) {
        struct timespec until = deadline;
        if (!*skipped && skip != NULL) {
          until = MonotonicAfter(kSkipPollMilliseconds);
          if (limit > 0 && Earlier(deadline, until)) until = deadline;
        }
        if (!WaitForInputUntil(pipeFds[0], until)) {
          if (!bounded || Earlier(MonotonicAfter(0), deadline)) continue;  // look at |skip| again
          (void) kill(-child, SIGKILL);
          if (!*skipped) *timedOut = true;
          break;
        }
      }
      ssize_t got = read(pipeFds[0], buffer, sizeof(buffer));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      size_t kept = std::min(kMaxScriptOutput - output.size(), static_cast<size_t>(got));
      output.append(buffer, kept);
      dropped += static_cast<uint64_t>(got) - kept;
    }
    ReapWithoutWaiting(child);
    if (dropped > 0) {
      dropped += TrimPartialCharacter(output);
      if (!output.empty() && output.back() != '\n') {
        output += '\n';
      }
      char line[128];
      snprintf(line, sizeof(line), "the log was cut short: %llu more bytes of output were left out\n",
               static_cast<unsigned long long>(dropped));
      output += line;
    }
    if (*timedOut) {
      if (!output.empty() && output.back() != '\n') {
        output += '\n';
      }
      output += "the user part did not end within " + std::to_string(limit) + " seconds and was stopped\n";
    }
    if (*skipped) {
      if (!output.empty() && output.back() != '\n') {
        output += '\n';
      }
      output += "the user part was skipped by the administrator\n";
    }
  } else {
    output = "could not run " + script + ": " + strerror(spawnErr) + "\n";
  }
  close(pipeFds[0]);

  if (output.empty()) {
    return NULL;
  }
  const std::string safe = MoreUNIXSafeText(output);
  return CFStringCreateWithBytes(NULL, reinterpret_cast<const UInt8*>(safe.data()), static_cast<CFIndex>(safe.size()),
                                 kCFStringEncodingUTF8, false);
}

// Deletes the installed tool, and its folder when that is left empty; and
// the fresh temporary folder made for this run, if any, when that is empty
// too. Failures here are silent: they change neither status nor log.
void DeleteInstalledTool(CFURLRef tool) {
  FSRef toolRef;
  if (CFURLGetFSRef(tool, &toolRef)) {
    (void) FSDeleteObject(&toolRef);
    CFRef<CFURLRef> folder(CFURLCreateCopyDeletingLastPathComponent(NULL, tool));
    CFRef<CFStringRef> folderPath(CopyPathOfURL(folder.get()));
    if (folderPath) {
      std::string path = StdStringOf(folderPath.get());
      DIR* dir = opendir(path.c_str());
      if (dir != NULL) {
        bool empty = true;
        while (dirent* entry = readdir(dir)) {
          if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
          }
        }
        closedir(dir);
        if (empty) {
          (void) rmdir(path.c_str());
        }
      }
      // rmdir leaves a folder that holds anything.
      const char* fresh = QuillonFreshTemporaryFolder();
      if (fresh != NULL && path.compare(0, path.rfind('/'), fresh) == 0) {
        (void) rmdir(fresh);
      }
    }
  }
}

// Where the helper tool is installed: this folder in the user's Application
// Support folder, or in the temporary items folder, under the template's name.
#define kToolFolderName CFSTR("Quillon")
#define kToolName CFSTR("UninstallerHelper")

// A run cut off before its clean-up (the application killed, the session
// ended, the power gone) leaves its installed tool behind, set-user-ID root
// perhaps. It goes before anything else, from wherever a run puts it, so that
// every run starts from no installed tool, as an uninterrupted one leaves it.
void DeleteLeftoverTools() {
  for (OSType folderType : {kApplicationSupportFolderType, kTemporaryFolderType}) {
    FSRef folderRef;
    if (FSFindFolder(kUserDomain, folderType, false, &folderRef) != noErr) {
      continue;
    }
    CFRef<CFURLRef> folder(CFURLCreateFromFSRef(NULL, &folderRef));
    CFRef<CFURLRef> toolFolder(
        folder ? CFURLCreateCopyAppendingPathComponent(NULL, folder.get(), kToolFolderName, true) : NULL);
    CFRef<CFURLRef> tool(
        toolFolder ? CFURLCreateCopyAppendingPathComponent(NULL, toolFolder.get(), kToolName, false) : NULL);
    if (tool) {
      DeleteInstalledTool(tool.get());
    }
  }
}

CFDictionaryRef CreateRequest(CFStringRef commandPath, CFStringRef pruneMIDIPath, CFStringRef pruneLoginItemPath) {
  const void* keys[3];
  const void* values[3];
  CFIndex count = 0;
  keys[count] = CFSTR("CommandPath");
  values[count++] = commandPath;
  if (pruneMIDIPath != NULL) {
    keys[count] = CFSTR("PruneMIDI");
    values[count++] = pruneMIDIPath;
  }
  if (pruneLoginItemPath != NULL) {
    keys[count] = CFSTR("PruneLoginItem");
    values[count++] = pruneLoginItemPath;
  }
  return CFDictionaryCreate(NULL, keys, values, count, &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks);
}

}  // namespace

void UninstallerLogError(OSStatus err, int line, const char* function) {
  fprintf(stderr, "Uninstaller error:%ld (%lX) line:%d file:%s function:%s\n", static_cast<long>(err),
          static_cast<unsigned long>(static_cast<UInt32>(err)), line, __FILE__, function);
}

OSStatus UninstallerEngine(CFStringRef* log, Boolean removeMidiDevices) {
  return UninstallerEngineWithOptions(log, removeMidiDevices, NULL);
}

namespace {

// One run of the engine, step by step. Each step after a failure does
// nothing, except the log and the clean-up, which always happen.
class EngineRun {
 public:
  EngineRun(Boolean removeMidiDevices, const UninstallerEngineOptions& options)
      : fRemoveMidiDevices(removeMidiDevices), fOptions(options), fPrivileged(!options.userPartOnly),
        fBundle(CFBundleGetMainBundle()) {}

  OSStatus Run(CFStringRef* log) {
    DeleteLeftoverTools();  // what a run cut off before its clean-up left
    CreateAuthorization();
    CopyHelperTool();
    BuildRequest();
    StartDialogThread();
    ExecuteRequest();
    CFStringRef result = fFailed ? CopyFailureLog() : CopyLogAfterUserPart();
    CleanUp();
    ReportFailure();
    // The log always reaches the caller, safe to show: the helper tool's log
    // names files from receipts that a user may have written.
    if (result != NULL) {
      const std::string text = StdStringOf(result);
      const std::string safe = MoreUNIXSafeText(text);
      if (safe != text) {
        CFRelease(result);
        result = CFStringCreateWithBytes(NULL, reinterpret_cast<const UInt8*>(safe.data()),
                                         static_cast<CFIndex>(safe.size()), kCFStringEncodingUTF8, false);
      }
    }
    if (result == NULL) {
      result = CFStringCreateWithCString(NULL, "", kCFStringEncodingUTF8);
    }
    *log = result;
    return fErr;
  }

 private:
  void Fail(OSStatus status, int line) {
    if (line != 0) {
      UninstallerLogError(status, line, kFunction);
    }
    fErr = status;
    fFailed = true;
    fFailedStep = fStep;
  }

  void ReportFailure() const {
    UninstallerEngineFailure* failure = fOptions.failure;
    if (failure == NULL) return;
    failure->step = fFailed ? fFailedStep : fErr != noErr && fUserPartErr ? kUninstallerStepUserPart : kUninstallerStepNone;
    failure->folder[0] = '\0';
    if (fFailed && fFailedStep == kUninstallerStepHelperTool) {
      FSRef folderRef;
      if (FSFindFolder(kUserDomain, fToolFolderType, false, &folderRef) == noErr) {
        CFRef<CFURLRef> folder(CFURLCreateFromFSRef(NULL, &folderRef));
        CFRef<CFStringRef> path(folder ? CopyPathOfURL(folder.get()) : NULL);
        const std::string text = path ? StdStringOf(path.get()) : std::string();
        if (text.size() < sizeof failure->folder) memcpy(failure->folder, text.c_str(), text.size() + 1);
      }
    }
  }
  bool PrivilegedStepDue() const { return !fFailed && fPrivileged; }

  // An empty authorization: rights are asked for while the request runs.
  // With the user's part alone there is nothing to authorize.
  void CreateAuthorization() {
    if (!fPrivileged) return;
    const OSStatus status = AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &fAuth);
    if (status != noErr) {
      fAuth = NULL;
      Fail(status, kLineAuthorizationCreate);
    }
  }

  // The helper tool, in Application Support or, where that cannot hold a
  // set-user-ID file, in the temporary items folder.
  void CopyHelperTool() {
    if (!PrivilegedStepDue()) return;
    fStep = kUninstallerStepHelperTool;
    fToolFolderType = kApplicationSupportFolderType;
    if (fBundle == NULL) {
      Fail(coreFoundationUnknownErr, kLineToolInApplicationSupport);
      return;
    }
    OSStatus status = MoreSecCopyHelperToolURLFromBundle(fBundle, kToolName, kApplicationSupportFolderType,
                                                         kToolFolderName, kToolName, &fTool);
    if (status == noErr) {
      fStep = kUninstallerStepPrepare;
      return;
    }
    UninstallerLogError(status, kLineToolInApplicationSupport, kFunction);
    if (status != kMoreSecFolderInappropriateErr) {
      Fail(status, 0);
      return;
    }
    fToolFolderType = kTemporaryFolderType;
    status = MoreSecCopyHelperToolURLFromBundle(fBundle, kToolName, kTemporaryFolderType, kToolFolderName, kToolName,
                                                &fTool);
    if (status != noErr) {
      Fail(status, kLineToolInTemporaryItems);
      return;
    }
    fStep = kUninstallerStepPrepare;
  }

  // The request: the root script, and the pruning tools that exist. The
  // MIDI pruner's path serves the user's part too.
  void BuildRequest() {
    CFRef<CFStringRef> commandPath;
    if (PrivilegedStepDue()) {
      CFRef<CFURLRef> script(CFBundleCopyResourceURL(fBundle, CFSTR("uninstall.ss"), CFSTR(""), NULL));
      commandPath.reset(CopyPathOfURL(script.get()));
      if (!commandPath) {
        Fail(coreFoundationUnknownErr, kLineUninstallScriptMissing);
      }
    }
    if (fFailed) return;
    if (fRemoveMidiDevices & 1) {
      CFRef<CFURLRef> pruneMIDI(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("PruneMIDI")));
      fPruneMIDIPath.reset(CopyPathOfURL(pruneMIDI.get()));
    }
    if (!fPrivileged) return;
    CFRef<CFURLRef> pruneLoginItem(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("PruneLoginItem")));
    CFRef<CFStringRef> pruneLoginItemPath(CopyPathOfURL(pruneLoginItem.get()));
    fRequest.reset(CreateRequest(commandPath.get(), fPruneMIDIPath.get(), pruneLoginItemPath.get()));
    if (!fRequest) {
      Fail(coreFoundationUnknownErr, kLineRequestNotCreated);
    }
  }

  // The thread that keeps the authorization dialog in front. It ends by
  // itself; it is detached so that its resources go when it does.
  void StartDialogThread() {
    if (!PrivilegedStepDue()) return;
    pthread_t thread;
    const int threadErr = pthread_create(&thread, NULL, UninstallerTask, NULL);
    if (threadErr != 0) {
      Fail(threadErr, 0);
    } else {
      (void) pthread_detach(thread);
    }
  }

  // The privileged request, and the command's own status.
  void ExecuteRequest() {
    if (!PrivilegedStepDue()) return;
    fStep = kUninstallerStepRequest;
    UninstallerRootWatch rootWatch;
    CFRef<CFStringRef> toolPath(CopyPathOfURL(fTool));
    std::string installed;
    MoreSecPathRefusal notInstalled;
    (void) MoreSecCopyInstalledToolPath(kMoreSecHelperPolicyPath, &installed, &notInstalled);
    UninstallerRootWatchStartWithInstalled(&rootWatch, StdStringOf(toolPath.get()), installed,
                                           fOptions.privilegedToolRunning, fOptions.context);
    OSStatus status = MoreSecExecuteRequestInHelperToolWithHook(fTool, fAuth, fRequest.get(), &fResponse,
                                                                fOptions.helperToolStarted, fOptions.context);
    UninstallerRootWatchStop(&rootWatch);
    if (status != noErr) {
      Fail(status, kLineExecuteRequest);
      return;
    }
    fStep = kUninstallerStepSystemPart;
    status = MoreSecGetErrorFromResponse(fResponse);
    if (status != noErr) {
      Fail(status, kLineResponseError);
    }
  }

  // The helper tool's own log, when its command ran; NULL when there is none.
  CFStringRef RootLog() const {
    CFTypeRef rootLog = fResponse != NULL ? CFDictionaryGetValue(fResponse, kQLUninstallLogKey) : NULL;
    return rootLog != NULL && CFGetTypeID(rootLog) == CFStringGetTypeID() ? static_cast<CFStringRef>(rootLog) : NULL;
  }

  // The user's part, and the log: the privileged log, then the script's
  // output as it came.
  CFStringRef CopyLogAfterUserPart() {
    CFMutableStringRef combined = CFStringCreateMutable(NULL, 0);
    if (combined != NULL && RootLog() != NULL) {
      CFStringAppend(combined, RootLog());
    }
    CFRef<CFURLRef> userScript(fOptions.systemPartOnly
                                   ? NULL
                                   : CFBundleCopyResourceURL(fBundle, CFSTR("usr_uninstall.ss"), CFSTR(""), NULL));
    CFRef<CFStringRef> userScriptPath(CopyPathOfURL(userScript.get()));
    if (userScriptPath) {
      bool timedOut = false, skipped = false;
      CFRef<CFStringRef> output(CopyUserScriptOutput(userScriptPath.get(), fPruneMIDIPath.get(),
                                                     fOptions.userAccount, fOptions.skipUserPart, &timedOut,
                                                     &skipped));
      if (combined != NULL && output) {
        CFStringAppend(combined, output.get());
      }
      if (timedOut) {
        fErr = ETIMEDOUT;
        fUserPartErr = true;
      }
      if (skipped) {
        fErr = ECANCELED;
      }
    }
    return combined;
  }

  // The failure text, after the helper tool's own log when its command ran
  // and failed: that log says which step failed and why.
  CFStringRef CopyFailureLog() const {
    CFMutableStringRef text = CFStringCreateMutable(NULL, 0);
    CFStringRef rootLog = RootLog();
    if (text != NULL && rootLog != NULL && CFStringGetLength(rootLog) > 0) {
      CFStringAppend(text, rootLog);
      if (!CFStringHasSuffix(text, CFSTR("\n"))) CFStringAppend(text, CFSTR("\n"));
    }
    CFRef<CFStringRef> failure(CFStringCreateWithFormat(NULL, NULL, CFSTR("Uninstaller failed with error %d (0x%08x)"),
                                                        static_cast<int>(fErr), static_cast<unsigned int>(fErr)));
    if (text != NULL && failure) CFStringAppend(text, failure.get());
    return text;
  }

  // The installed tool goes again after every run; then the response (and
  // any descriptor it brought), and the authorization with its rights.
  void CleanUp() {
    if (fTool != NULL) {
      DeleteInstalledTool(fTool);
      CFRelease(fTool);
      fTool = NULL;
    }
    if (fResponse != NULL) {
      MoreSecCloseDescriptorArray(CFDictionaryGetValue(fResponse, kMoreSecFileDescriptorsKey));
      CFRelease(fResponse);
      fResponse = NULL;
    }
    if (fAuth != NULL) {
      const OSStatus status = AuthorizationFree(fAuth, kAuthorizationFlagDestroyRights);
      fAuth = NULL;
      if (status != noErr) {
        UninstallerLogError(status, kLineAuthorizationFree, kFunction);
        if (!fFailed) {
          fErr = status;
        }
      }
    }
  }

  static constexpr const char* kFunction = "UninstallerEngine";
  const Boolean fRemoveMidiDevices;
  const UninstallerEngineOptions& fOptions;
  const bool fPrivileged;
  CFBundleRef fBundle;
  OSStatus fErr = noErr;
  bool fFailed = false;
  bool fUserPartErr = false;  // fErr is the user-level script's
  UninstallerEngineStep fStep = kUninstallerStepPrepare;
  UninstallerEngineStep fFailedStep = kUninstallerStepNone;
  OSType fToolFolderType = kApplicationSupportFolderType;
  AuthorizationRef fAuth = NULL;
  CFURLRef fTool = NULL;
  CFDictionaryRef fResponse = NULL;
  CFRef<CFStringRef> fPruneMIDIPath;
  CFRef<CFDictionaryRef> fRequest;
};

}  // namespace

OSStatus UninstallerEngineWithOptions(CFStringRef* log, Boolean removeMidiDevices,
                                      const UninstallerEngineOptions* options) {
  static const UninstallerEngineOptions kDefaults = {false, NULL, NULL, NULL, false, NULL, NULL, NULL};
  assert(log != NULL);
  assert(*log == NULL);
  EngineRun run(removeMidiDevices, options != NULL ? *options : kDefaults);
  return run.Run(log);
}
