// One uninstall from start to end: the privileged part through the helper
// tool, then the user's part, then the clean-up, whatever happened.

#include "UninstallerEngine.h"

#include "MoreCFQ.h"
#include "MoreSecClient.h"
#include "MoreSecInstall.h"
#include "MoreSecProtocol.h"
#include "MoreUNIX.h"
#include "UninstallerEnginePrivate.h"
#include "MoreSecInstalledTool.h"
#include "UninstallerRootWatch.h"

#include <Authorization.h>
#include <CoreFoundation/CFRef.h>
#include <Folders.h>

#include <algorithm>
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
#include <spawn.h>
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
  size_t lead = text.size();
  while (lead > 0 && text.size() - lead < 4 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
    lead--;
  }
  if (lead == 0) {
    return 0;
  }
  const unsigned char first = static_cast<unsigned char>(text[lead - 1]);
  const size_t sequence = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
  const size_t have = text.size() - (lead - 1);
  if (have >= sequence) {
    return 0;
  }
  text.resize(lead - 1);
  return have;
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

// Runs the user-level script as the current user with the inherited
// environment and working folder, or as |account| when that is given (a
// root run), its standard output and error on one pipe,
// and returns what it wrote as a string, or NULL when it wrote nothing or
// wrote something that is not UTF-8. A script that cannot be started gets a
// line that says so, as does output cut at the bound.
CFStringRef CopyUserScriptOutput(CFStringRef scriptPath, CFStringRef pruneMIDIPath,
                                 const UninstallerUserAccount* account, bool* timedOut) {
  *timedOut = false;
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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    // The application ignores SIGPIPE for its own writes; the script and its
    // pipelines expect the default, and no signal blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const int defaults[] = {SIGPIPE};
    spawnErr = MoreUNIXSetSpawnSignalDefaults(&attributes, defaults, 1);
    if (spawnErr == 0) spawnErr = posix_spawn(&child, script.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  close(pipeFds[1]);

  std::string output;
  if (spawnErr == 0) {
    // Until the script and everything it started have closed the pipe.
    uint64_t dropped = 0;
    char buffer[65536];
    const unsigned limit = account != NULL ? account->timeLimitSeconds : 0;
    struct timespec deadline = {};
    (void) clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(limit);
    for (;;) {
      if (limit > 0 && !WaitForInputUntil(pipeFds[0], deadline)) {
        // The script runs in a session of its own, led by the child.
        (void) kill(-child, SIGKILL);
        *timedOut = true;
        break;
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
  } else {
    output = "could not run " + script + ": " + strerror(spawnErr) + "\n";
  }
  close(pipeFds[0]);

  if (output.empty()) {
    return NULL;
  }
  return CFStringCreateWithBytes(NULL, reinterpret_cast<const UInt8*>(output.data()),
                                 static_cast<CFIndex>(output.size()), kCFStringEncodingUTF8, false);
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

OSStatus UninstallerEngineWithOptions(CFStringRef* log, Boolean removeMidiDevices,
                                      const UninstallerEngineOptions* options) {
  static const char* const kFunction = "UninstallerEngine";
  static const UninstallerEngineOptions kDefaults = {false, NULL, NULL, NULL, false, NULL};
  if (options == NULL) options = &kDefaults;
  const bool privileged = !options->userPartOnly;
  assert(log != NULL);
  assert(*log == NULL);
  OSStatus err = noErr;
  bool failed = false;
  AuthorizationRef auth = NULL;
  CFURLRef tool = NULL;
  CFDictionaryRef response = NULL;
  CFStringRef pruneMIDIPath = NULL;
  CFStringRef result = NULL;
  CFBundleRef bundle = CFBundleGetMainBundle();

  auto fail = [&](OSStatus status, int line) {
    if (line != 0) {
      UninstallerLogError(status, line, kFunction);
    }
    err = status;
    failed = true;
  };

  // 0. What a run cut off before its clean-up left.
  DeleteLeftoverTools();

  // 1. An empty authorization: rights are asked for while the request runs.
  //    With the user's part alone there is nothing to authorize.
  OSStatus status = noErr;
  if (privileged) {
    status = AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &auth);
    if (status != noErr) {
      auth = NULL;
      fail(status, kLineAuthorizationCreate);
    }
  }

  // 2. The helper tool, in Application Support or, where that cannot hold a
  //    set-user-ID file, in the temporary items folder.
  if (!failed && privileged) {
    if (bundle == NULL) {
      fail(coreFoundationUnknownErr, kLineToolInApplicationSupport);
    } else {
      status = MoreSecCopyHelperToolURLFromBundle(bundle, kToolName, kApplicationSupportFolderType, kToolFolderName,
                                                  kToolName, &tool);
      if (status != noErr) {
        UninstallerLogError(status, kLineToolInApplicationSupport, kFunction);
        if (status == kMoreSecFolderInappropriateErr) {
          status = MoreSecCopyHelperToolURLFromBundle(bundle, kToolName, kTemporaryFolderType, kToolFolderName,
                                                      kToolName, &tool);
          if (status != noErr) {
            fail(status, kLineToolInTemporaryItems);
          }
        } else {
          fail(status, 0);
        }
      }
    }
  }

  // 3, 4. The request: the root script, and the pruning tools that exist.
  CFRef<CFStringRef> commandPath;
  CFRef<CFDictionaryRef> request;
  if (!failed && privileged) {
    CFRef<CFURLRef> script(CFBundleCopyResourceURL(bundle, CFSTR("uninstall.ss"), CFSTR(""), NULL));
    commandPath.reset(CopyPathOfURL(script.get()));
    if (!commandPath) {
      fail(coreFoundationUnknownErr, kLineUninstallScriptMissing);
    }
  }
  if (!failed) {
    if (removeMidiDevices & 1) {
      CFRef<CFURLRef> pruneMIDI(CFBundleCopyAuxiliaryExecutableURL(bundle, CFSTR("PruneMIDI")));
      pruneMIDIPath = CopyPathOfURL(pruneMIDI.get());
    }
    CFRef<CFURLRef> pruneLoginItem(CFBundleCopyAuxiliaryExecutableURL(bundle, CFSTR("PruneLoginItem")));
    CFRef<CFStringRef> pruneLoginItemPath(CopyPathOfURL(pruneLoginItem.get()));
    if (privileged) request.reset(CreateRequest(commandPath.get(), pruneMIDIPath, pruneLoginItemPath.get()));
    if (privileged && !request) {
      fail(coreFoundationUnknownErr, kLineRequestNotCreated);
    }
  }

  // 5. The thread that keeps the authorization dialog in front. It ends by
  //    itself; it is detached so that its resources go when it does.
  if (!failed && privileged) {
    pthread_t thread;
    int threadErr = pthread_create(&thread, NULL, UninstallerTask, NULL);
    if (threadErr != 0) {
      fail(threadErr, 0);
    } else {
      (void) pthread_detach(thread);
    }
  }

  // 6, 7. The privileged request, and the command's own status.
  if (!failed && privileged) {
    UninstallerRootWatch rootWatch;
    CFRef<CFStringRef> toolPath(CopyPathOfURL(tool));
    std::string installed;
    MoreSecPathRefusal notInstalled;
    (void) MoreSecCopyInstalledToolPath(kMoreSecHelperPolicyPath, &installed, &notInstalled);
    UninstallerRootWatchStartWithInstalled(&rootWatch, StdStringOf(toolPath.get()), installed,
                                           options->privilegedToolRunning, options->context);
    status = MoreSecExecuteRequestInHelperToolWithHook(tool, auth, request.get(), &response,
                                                       options->helperToolStarted, options->context);
    UninstallerRootWatchStop(&rootWatch);
    if (status != noErr) {
      fail(status, kLineExecuteRequest);
    }
  }
  if (!failed && privileged) {
    status = MoreSecGetErrorFromResponse(response);
    if (status != noErr) {
      fail(status, kLineResponseError);
    }
  }

  if (!failed) {
    // 8, 9. The user's part, and the log: the privileged log, then the
    //       script's output as it came.
    CFMutableStringRef combined = CFStringCreateMutable(NULL, 0);
    CFTypeRef rootLog = response != NULL ? CFDictionaryGetValue(response, kQLUninstallLogKey) : NULL;
    if (combined != NULL && rootLog != NULL && CFGetTypeID(rootLog) == CFStringGetTypeID()) {
      CFStringAppend(combined, static_cast<CFStringRef>(rootLog));
    }
    CFRef<CFURLRef> userScript(options->systemPartOnly
                                   ? NULL
                                   : CFBundleCopyResourceURL(bundle, CFSTR("usr_uninstall.ss"), CFSTR(""), NULL));
    CFRef<CFStringRef> userScriptPath(CopyPathOfURL(userScript.get()));
    if (userScriptPath) {
      bool timedOut = false;
      CFRef<CFStringRef> output(
          CopyUserScriptOutput(userScriptPath.get(), pruneMIDIPath, options->userAccount, &timedOut));
      if (combined != NULL && output) {
        CFStringAppend(combined, output.get());
      }
      if (timedOut) {
        err = ETIMEDOUT;
      }
    }
    result = combined;
  } else {
    // 10. The failure text, after the helper tool's own log when its command
    //     ran and failed: that log says which step failed and why.
    CFMutableStringRef text = CFStringCreateMutable(NULL, 0);
    CFTypeRef rootLog = response != NULL ? CFDictionaryGetValue(response, kQLUninstallLogKey) : NULL;
    if (text != NULL && rootLog != NULL && CFGetTypeID(rootLog) == CFStringGetTypeID() &&
        CFStringGetLength(static_cast<CFStringRef>(rootLog)) > 0) {
      CFStringAppend(text, static_cast<CFStringRef>(rootLog));
      if (!CFStringHasSuffix(text, CFSTR("\n"))) CFStringAppend(text, CFSTR("\n"));
    }
    CFRef<CFStringRef> failure(CFStringCreateWithFormat(NULL, NULL, CFSTR("Uninstaller failed with error %d (0x%08x)"),
                                                        static_cast<int>(err), static_cast<unsigned int>(err)));
    if (text != NULL && failure) CFStringAppend(text, failure.get());
    result = text;
  }

  // 11. The installed tool goes again after every run.
  if (tool != NULL) {
    DeleteInstalledTool(tool);
    CFRelease(tool);
  }

  // 12. The response (and any descriptor it brought), and the authorization
  //     with its rights.
  if (response != NULL) {
    MoreSecCloseDescriptorArray(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
    CFRelease(response);
  }
  CFQRelease(pruneMIDIPath);
  if (auth != NULL) {
    status = AuthorizationFree(auth, kAuthorizationFlagDestroyRights);
    if (status != noErr) {
      UninstallerLogError(status, kLineAuthorizationFree, kFunction);
      if (!failed) {
        err = status;
      }
    }
  }

  // 13. The log always reaches the caller.
  if (result == NULL) {
    result = CFStringCreateWithCString(NULL, "", kCFStringEncodingUTF8);
  }
  *log = result;
  return err;
}
