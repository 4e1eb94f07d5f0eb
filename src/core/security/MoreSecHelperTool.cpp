// The helper tool host: reading the request, self-repair and relaying,
// dispatch to the command, and the response.
//
// The tool may be set-user-ID root, so everything here treats its input as
// hostile: the request is read and parsed only by a child with the caller's
// rights (MoreSecRequestReader.h) and root reads back a bounded flat form of
// the keys the command reads, the effective user ID
// is the real user's except while root is needed, and the file that is made
// root and set-user-ID is the running executable itself, reached through
// /proc/self/exe rather than a path someone could swap.

#include "MoreSecHelperTool.h"

#include "MoreCFQ.h"
#include "MoreSecClientPrivate.h"
#include "MoreSecHygiene.h"
#include "MoreSecInstalledTool.h"
#include "MoreSecProtocolPrivate.h"
#include "MoreSecurityPrivate.h"
#include "MoreUNIX.h"

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

OSStatus RevokeRepairOfLinkedFile(int fd, uid_t formerOwner) {
  struct stat sb;
  if (fstat(fd, &sb) == 0 && sb.st_nlink == 1) {
    return noErr;
  }
  // A change of owner clears the set-user-ID bit as well, should the mode
  // not change; the file is then the user's again, as before the repair.
  if (fchmod(fd, 0555) != 0) {
    (void) fchown(fd, formerOwner, static_cast<gid_t>(-1));
  }
  return EPERM;
}

namespace {

// The argument list of the repair instance.
char kSelfRepairArgument[] = "--self-repair";
char* const kSelfRepairArguments[] = {kSelfRepairArgument, NULL};

// What a repair gives the tool's file: owner root, set-user-ID, read and
// execute for everyone, write for nobody.
const uid_t kRepairedOwner = 0;
const mode_t kRepairedMode = 0x896D;  // octal 104555; fchmod takes the permission bits

OSStatus RepairOurPrivileges(const char* pathToSelf) {
  assert(pathToSelf != NULL);

  OSStatus err = noErr;
  int junk;
  uid_t formerOwner = static_cast<uid_t>(-1);
  // The running executable itself, whatever now stands at its path.
  int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    err = MoreUNIXErrno(fd);
  }
  if (err == noErr) {
    struct stat sb;
    err = MoreUNIXErrno(fstat(fd, &sb));
    if (err == noErr) {
      formerOwner = sb.st_uid;
    }
    // Only a plain file with one name is ours to repair: a hard link could
    // make any other name of the same file root and set-user-ID too.
    if (err == noErr && !S_ISREG(sb.st_mode)) {
      err = EPERM;
    }
    if (err == noErr && sb.st_nlink != 1) {
      err = EPERM;
    }
  }
  bool privileged = false;
  if (err == noErr) {
    err = MoreSecSetPrivilegedEUID();
    privileged = (err == noErr);
  }
  // Owner first: a change of owner clears the set-user-ID bit.
  if (err == noErr) {
    err = MoreUNIXErrno(fchown(fd, kRepairedOwner, static_cast<gid_t>(-1)));
  }
  if (err == noErr) {
    err = MoreUNIXErrno(fchmod(fd, kRepairedMode & 07777));
  }
  if (err == noErr) {
    // The user owned the file until the fchown and could have linked it
    // meanwhile: a second name must not outlive us as a set-user-ID root file.
    err = RevokeRepairOfLinkedFile(fd, formerOwner);
  }
  if (privileged) {
    junk = MoreSecTemporarilySetNonPrivilegedEUID();
    assert(junk == 0);
  }
  if (fd >= 0) {
    junk = close(fd);
    assert(junk == 0);
  }
  return err;
}

// Checks what the command handed back; a broken response is a bug in the
// command, not input from outside.
void CheckCommandResponse(CFDictionaryRef response) {
  assert(CFGetTypeID(response) == CFDictionaryGetTypeID());
  CFTypeRef descArray = CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey);
  if (descArray == NULL) {
    return;
  }
  assert(CFGetTypeID(descArray) == CFArrayGetTypeID());
  CFArrayRef descriptors = static_cast<CFArrayRef>(descArray);
  CFIndex count = CFArrayGetCount(descriptors);
  for (CFIndex i = 0; i < count; i++) {
    CFNumberRef thisDescNum = static_cast<CFNumberRef>(CFArrayGetValueAtIndex(descriptors, i));
    int thisDesc = -1;
    assert((thisDescNum != NULL) && (CFGetTypeID(thisDescNum) == CFNumberGetTypeID()));
    assert(CFNumberGetValue(thisDescNum, kCFNumberIntType, &thisDesc));
    assert(thisDesc >= 0);
    assert(fcntl(thisDesc, F_GETFD, 0) >= 0);
  }
}

OSStatus ReadAndDispatchCommand(int fdIn, int fdOut, AuthorizationRef auth, const MoreSecCommand* command) {
  assert(fdIn >= 0);
  assert(fdOut >= 0);
  assert(auth != NULL);
  assert(command != NULL && command->proc != NULL);

  int junk;
  CFDictionaryRef request = NULL;
  CFDictionaryRef response = NULL;

  // Every caller can regain root here: the caller's bytes go to a child with
  // the caller's rights, and root gets only the flat form back.
  OSStatus err = MoreSecCopyRequestThroughChild(fdIn, command->request, command->parserProbe, &request);
  if (err != noErr) {
    // Nothing is written: the other end meets end of stream.
    return err;
  }

  OSStatus commandErr = command->proc(auth, request, &response);

  // Whatever the command did with its user ID, the response goes out as the user.
  junk = MoreSecTemporarilySetNonPrivilegedEUID();
  assert(junk == 0);

  if (response != NULL) {
    CheckCommandResponse(response);
  }

  if (response == NULL || !CFDictionaryContainsKey(response, kMoreSecErrorNumberKey)) {
    CFNumberRef errorNumber = CFNumberCreate(NULL, kCFNumberSInt32Type, &commandErr);
    CFMutableDictionaryRef withError = NULL;
    if (errorNumber == NULL) {
      err = coreFoundationUnknownErr;
    } else if (response != NULL) {
      withError = CFDictionaryCreateMutableCopy(NULL, 0, response);
    } else {
      withError =
          CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    }
    if (err == noErr && withError == NULL) {
      err = coreFoundationUnknownErr;
    }
    if (err == noErr) {
      CFDictionarySetValue(withError, kMoreSecErrorNumberKey, errorNumber);
      // The copy shares the descriptor list; the original goes.
      CFQRelease(response);
      response = withError;
    }
    CFQRelease(errorNumber);
  }

  if (err != noErr && response != NULL) {
    MoreSecCloseDescriptorArray(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
    CFRelease(response);
    response = NULL;
  }
  assert((err == 0) == (response != NULL));
  if (err == noErr) {
    err = WriteDictionaryAndDescriptors(response, fdOut);
  }

  // The tool gives up its copies of whatever it sent, or failed to send.
  if (response != NULL) {
    MoreSecCloseDescriptorArray(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
  }
  CFQRelease(response);
  CFQRelease(request);
  return err;
}

// |pathToRun| is the file pkexec runs as root: the tool itself, to be
// repaired, or the installed tool that polkit's action names.
OSStatus ExecuteSelfInPrivilegedSelfRepairMode(int fdIn, int fdOut, AuthorizationRef auth, const char* pathToRun) {
  assert(auth != NULL);
  assert(pathToRun != NULL);

  int junk;
  FILE* channel = NULL;
  pid_t childPID = -1;

  fprintf(stderr, "MoreSecurity: Calling AEWP\n");
  OSStatus err = AuthorizationExecuteWithPrivileges(auth, pathToRun, kAuthorizationFlagDefaults,
                                                    kSelfRepairArguments, &channel);
  fprintf(stderr, "MoreSecurity: AEWP returned %d\n", static_cast<int>(err));
  if (err != noErr) {
    return err;
  }

  int fdChannel = fileno(channel);
  SInt32 instancePID = -1;
  err = MoreUNIXRead(fdChannel, &instancePID, sizeof(instancePID), NULL);
  if (err == noErr) {
    childPID = instancePID;
    err = MoreUNIXCopyDescriptorToDescriptor(fdIn, fdChannel);
  }
  if (err == noErr) {
    err = MoreUNIXErrno(shutdown(fdChannel, SHUT_WR));
  }
  CFDictionaryRef response = NULL;
  if (err == noErr) {
    err = CopyDictionaryTranslatingDescriptors(fdChannel, &response);
  }
  if (err == noErr) {
    err = WriteDictionaryAndDescriptors(response, fdOut);
  }
  if (response != NULL) {
    MoreSecCloseDescriptorArray(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
    CFRelease(response);
  }

  junk = fclose(channel);
  assert(junk == 0);

  int status = 0;
  err = MoreSecWaitForHelperTool(childPID, err, &status);
  err = MoreSecLetExitDecide(err, status);
  return err;
}

}  // namespace

AuthorizationRef MoreSecHelperToolCopyAuthRef(void) {
  AuthorizationRef auth = NULL;
  if (AuthorizationCopyPrivilegedReference(&auth, kAuthorizationFlagDefaults) != noErr) {
    auth = NULL;
  }
  return auth;
}

namespace {

bool RunsAsRootAlone() {
  uid_t realUID, effectiveUID, savedUID;
  return getresuid(&realUID, &effectiveUID, &savedUID) == 0 && realUID == 0 && effectiveUID == 0 && savedUID == 0;
}

// A set-user-ID copy started by a user keeps that user as its real user ID,
// and so the user may signal it, stop it while it holds the system lock, or
// trace what it does. Such a process gives root up for good and asks pkexec
// instead, whose child is root through and through.
OSStatus GiveUpRootForGood() {
  const uid_t realUID = getuid();
  const gid_t realGID = getgid();
  if (setresgid(realGID, realGID, realGID) != 0) return errno;
  if (setresuid(realUID, realUID, realUID) != 0) return errno;
  uid_t r, e, s;
  if (getresuid(&r, &e, &s) != 0 || e != realUID || s != realUID) return EPERM;
  return noErr;
}

}  // namespace

OSStatus MoreSecHelperToolMain(int fdIn, int fdOut, AuthorizationRef auth, const MoreSecCommand* command, int argc,
                               const char* argv[]) {
  return MoreSecHelperToolMainForInstalledTool(fdIn, fdOut, auth, command, argc, argv, NULL);
}

OSStatus MoreSecHelperToolMainForInstalledTool(int fdIn, int fdOut, AuthorizationRef auth,
                                               const MoreSecCommand* command, int argc, const char* argv[],
                                               const char* policyPath) {
  assert(fdIn >= 0);
  assert(fdOut >= 0);
  assert(command != NULL && command->proc != NULL);
  assert((argc == 1) || (argc == 2));
  assert(argv != NULL);
  assert(argv[0] != NULL);

  OSStatus junk;
  char* pathToSelf = NULL;
  // Before anything changes it: was the tool started as root?
  uid_t startingEUID = geteuid();

  // The installed tool does root's work only as root alone, and never
  // repairs a file: see GiveUpRootForGood.
  const bool installedTool = (policyPath != NULL);
  const bool rootAlone = RunsAsRootAlone();
  OSStatus err = (installedTool && !rootAlone) ? GiveUpRootForGood() : MoreSecTemporarilySetNonPrivilegedEUID();
  if (err == noErr) {
    err = GetPathToSelf(&pathToSelf);
  }
  if (err == noErr && argc == 1) {
    // In the normal mode the authorization always comes from the application.
    if (auth != NULL) {
      junk = AuthorizationFree(auth, kAuthorizationFlagDefaults);
      assert(junk == noErr);
      auth = NULL;
    }
    AuthorizationExternalForm extAuth;
    err = MoreUNIXRead(fdIn, &extAuth, sizeof(extAuth), NULL);
    if (err == noErr) {
      err = AuthorizationCreateFromExternalForm(&extAuth, &auth);
    }
    if (err == noErr && installedTool) {
      if (rootAlone) {
        err = ReadAndDispatchCommand(fdIn, fdOut, auth, command);
      } else {
        std::string installed;
        MoreSecPathRefusal refusal;
        int found = MoreSecCopyInstalledToolPath(policyPath, &installed, &refusal);
        if (found != 0) {
          fprintf(stderr, "MoreSecurity: no installed tool to run as root: %s %s\n", refusal.where.c_str(),
                  refusal.why[0] != '\0' ? refusal.why : strerror(found));
          err = errAuthorizationToolExecuteFailure;
        } else {
          err = ExecuteSelfInPrivilegedSelfRepairMode(fdIn, fdOut, auth, installed.c_str());
        }
      }
    } else if (err == noErr) {
      if (startingEUID == 0) {
        err = ReadAndDispatchCommand(fdIn, fdOut, auth, command);
      } else {
        err = ExecuteSelfInPrivilegedSelfRepairMode(fdIn, fdOut, auth, pathToSelf);
      }
    }
  } else if (err == noErr && argc == 2) {
    if (strcmp(argv[1], "--self-repair") != 0) {
      err = kHelperToolNotPrivilegedErr;
    } else {
      // First, before any check, so the relaying instance can always wait for us.
      SInt32 ourPID = getpid();
      err = MoreUNIXWrite(fdOut, &ourPID, sizeof(ourPID), NULL);
      if (err == noErr && (startingEUID != 0 || auth == NULL || (installedTool && !rootAlone))) {
        err = kHelperToolNotPrivilegedErr;
      }
      // The installed tool is root's already; pkexec runs it as root.
      if (err == noErr && !installedTool) {
        err = RepairOurPrivileges(pathToSelf);
      }
      if (err == noErr) {
        err = ReadAndDispatchCommand(fdIn, fdOut, auth, command);
      }
    }
  }

  free(pathToSelf);
  if (auth != NULL) {
    junk = AuthorizationFree(auth, kAuthorizationFlagDefaults);
    assert(junk == noErr);
  }
  return err;
}

namespace {

// A set-user-ID program started with descriptor 0, 1 or 2 closed would hand
// that number to the next file it opens, and its diagnostics or responses
// could land in that file. Fill any gap with /dev/null first.
bool OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      int nullFd = open("/dev/null", O_RDWR);
      if (nullFd != fd) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

int MoreSecHelperToolEntry(int argc, char* argv[], const MoreSecCommand* command) {
  return MoreSecHelperToolEntryForInstalledTool(argc, argv, command, NULL);
}

int MoreSecHelperToolEntryForInstalledTool(int argc, char* argv[], const MoreSecCommand* command,
                                           const char* policyPath) {
  // Nothing that can fail silently before this: descriptors first.
  if (!OpenStandardDescriptors()) {
    return MoreSecErrorToHelperToolResult(kHelperToolFailedErr);
  }
  // Linux turns an empty argument vector into one empty argument; a real
  // start always names the tool.
  if (argc < 1 || argc > 2 || argv == NULL || argv[0] == NULL || argv[0][0] == '\0') {
    return MoreSecErrorToHelperToolResult(kHelperToolNotPrivilegedErr);
  }
  // Nothing the tool runs or reads may depend on what the caller's
  // environment says; the programs it starts get an environment of their own.
  if (clearenv() != 0) {
    return MoreSecErrorToHelperToolResult(kHelperToolFailedErr);
  }
  // Reset what the caller could have set up for us, while still able to set
  // hard limits as root. The standard descriptors are the channel (sockets)
  // and standard error; they stay.
  OSStatus err = MoreSecDestroyInheritedEnvironment(kMoreSecKeepArg0Mask | kMoreSecKeepStdDescriptorsMask, argv);
  if (err == noErr) {
    // The signal reset above restored SIGPIPE's default action.
    err = MoreUNIXIgnoreSIGPIPE();
  }
  if (err == noErr) {
    AuthorizationRef auth = MoreSecHelperToolCopyAuthRef();
    err = MoreSecHelperToolMainForInstalledTool(STDIN_FILENO, STDOUT_FILENO, auth, command, argc,
                                                const_cast<const char**>(argv), policyPath);
  }
  return MoreSecErrorToHelperToolResult(err);
}
