// Locating the helper tool and installing it from the bundle into a folder of
// the user's, where it can repair itself into a set-user-ID root tool.

#include "MoreSecInstall.h"

#include "MoreCFQ.h"
#include "MoreSecTrustedPath.h"
#include "MoreUNIX.h"

#include <cassert>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The domains searched for an acceptable installed copy, in this order. The
// table ends with 0; the search visits the first four.
const SInt16 kFolderDomains[] = {kUserDomain, kLocalDomain, kNetworkDomain, kSystemDomain, 0};
const int kFolderDomainsSearched = 4;

// What an acceptable installed copy looks like: owned by root, a regular file
// with set-user-ID and read and execute for everyone, write for nobody.
const uid_t kInstalledOwner = 0;
const mode_t kInstalledMode = 0104555;

// The folder that holds the tool's folder, and the tool's folder itself, are
// the user's alone: a folder that someone else may write to would let them
// rename a file of their own onto the tool's name, between the tool's
// self-check and pkexec's exec, which spans the whole password dialog.
const mode_t kToolFolderMode = 0700;

// A fresh copy's permission bits: the template's, never writable by group or
// others (whatever the umask), never set-user-ID, set-group-ID or sticky.
const mode_t kFreshCopyModeMask = 0755;

bool LooksLikeRepairedCopy(const struct stat& tool, const struct stat& templateStat) {
  return tool.st_uid == kInstalledOwner && tool.st_mode == kInstalledMode &&
         tool.st_mtim.tv_sec == templateStat.st_mtim.tv_sec && tool.st_size == templateStat.st_size;
}

// Opens the folder at path, reached from "/" through folders that only root
// and the user can change (MoreSecOpenTrustedFolder), and itself the user's.
// A folder that fails the test cannot hold the tool safely: like a volume
// without set-user-ID, it gives 5370, and the caller may try another one.
OSStatus OpenPrivateFolder(const char* path, int* folderFd) {
  const uid_t user = getuid();
  MoreSecPathRefusal refusal;
  int err = MoreSecOpenTrustedFolder(path, user, folderFd, NULL, &refusal);
  if (err == 0) {
    struct stat st;
    err = MoreUNIXErrno(fstat(*folderFd, &st));
    if (err == 0 && st.st_uid != user) {
      err = EPERM;
    }
    if (err != 0) {
      int junk = close(*folderFd);
      assert(junk == 0);
      *folderFd = -1;
    }
  }
  return MoreSecIsPathRefusal(err) ? static_cast<OSStatus>(kMoreSecFolderInappropriateErr) : err;
}

// A fresh copy of the template open at templateFd, made as `name` in the
// folder open at folderFd, which must not exist yet.
int CopyTemplateAt(int templateFd, const struct stat& templateStat, int folderFd, const char* name) {
  int fd;
  do {
    fd = openat(folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
  } while (fd < 0 && errno == EINTR);
  int err = MoreUNIXErrno(fd);
  if (err == 0) {
    err = MoreUNIXCopyDescriptorToDescriptor(templateFd, fd);
  }
  if (err == 0) {
    err = MoreUNIXErrno(fchmod(fd, templateStat.st_mode & kFreshCopyModeMask));
  }
  if (err == 0) {
    const struct timespec times[2] = {templateStat.st_atim, templateStat.st_mtim};
    err = MoreUNIXErrno(futimens(fd, times));
  }
  if (fd >= 0) {
    // A failed close may mean the bytes never arrived.
    int closeErr = MoreUNIXErrno(close(fd));
    if (err == 0) {
      err = closeErr;
    }
  }
  return err;
}

OSStatus CopyHelperToolURL(SInt16 domain, OSType folderType, CFStringRef subFolderName, CFStringRef toolName,
                           Boolean createFolder, CFURLRef* tool) {
  assert(toolName != NULL);
  assert(tool != NULL);
  assert(*tool == NULL);

  FSRef folderRef;
  CFURLRef folderURL = NULL;
  OSStatus err = FSFindFolder(domain, folderType, createFolder, &folderRef);
  if (err == noErr && subFolderName != NULL) {
    // A file name of the File Manager: at most 255 UTF-16 units.
    struct {
      UniChar unicode[255];
    } subFolderNameU;
    // The assertion keeps its usual text; the length is never negative.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
    assert(CFStringGetLength(subFolderName) <= (sizeof(subFolderNameU.unicode) / sizeof(UniChar)));
#pragma GCC diagnostic pop
    CFIndex length = CFStringGetLength(subFolderName);
    CFStringGetCharacters(subFolderName, CFRangeMake(0, length), subFolderNameU.unicode);
    FSRef subFolderRef;
    err = FSMakeFSRefUnicode(&folderRef, static_cast<UniCharCount>(length), subFolderNameU.unicode,
                             kTextEncodingUnknown, &subFolderRef);
    if (err != noErr && createFolder) {
      FSCatalogInfo info = {};
      info.permissions.mode = kToolFolderMode;
      err = FSCreateDirectoryUnicode(&folderRef, static_cast<UniCharCount>(length), subFolderNameU.unicode,
                                     kFSCatInfoPermissions, &info, &subFolderRef);
    }
    if (err == noErr) {
      folderRef = subFolderRef;
    }
  }
  if (err == noErr) {
    folderURL = CFURLCreateFromFSRef(NULL, &folderRef);
    err = CFQError(folderURL);
  }
  if (err == noErr) {
    *tool = CFURLCreateCopyAppendingPathComponent(NULL, folderURL, toolName, false);
    err = CFQError(*tool);
  }
  CFQRelease(folderURL);
  assert((err == noErr) == (*tool != NULL));
  return err;
}

OSStatus GetPath(CFURLRef url, char* path, size_t size) {
  return CFQErrorBoolean(CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path),
                                                          static_cast<CFIndex>(size)));
}

OSStatus CheckHelperTool(CFURLRef templateTool, CFURLRef tool, Boolean* looksOK) {
  assert(templateTool != NULL);
  assert(tool != NULL);
  assert(looksOK != NULL);

  char templatePath[1024];
  char toolPath[1024];
  struct stat templateStat;
  struct stat toolStat;
  OSStatus err = GetPath(templateTool, templatePath, sizeof(templatePath));
  if (err == noErr) {
    err = MoreUNIXErrno(stat(templatePath, &templateStat));
  }
  if (err == noErr) {
    err = GetPath(tool, toolPath, sizeof(toolPath));
  }
  if (err == noErr) {
    *looksOK = stat(toolPath, &toolStat) == 0 && LooksLikeRepairedCopy(toolStat, templateStat);
  }
  return err;
}

// Everything happens relative to the tool's folder as one pinned walk
// reached it, never through the path again: what stands at the tool's name
// is looked at without following a link, removed, and the copy is created
// exclusively in its place.
OSStatus CheckAndFixHelperTool(CFURLRef templateTool, CFURLRef tool) {
  assert(tool != NULL);

  char templatePath[1024];
  char toolPath[1024];
  OSStatus err = GetPath(templateTool, templatePath, sizeof(templatePath));
  if (err == noErr) {
    err = GetPath(tool, toolPath, sizeof(toolPath));
  }
  int folderFd = -1;
  const char* name = NULL;
  if (err == noErr) {
    char* slash = strrchr(toolPath, '/');
    if (slash == NULL || slash == toolPath || slash[1] == '\0') {
      err = coreFoundationUnknownErr;
    } else {
      *slash = '\0';
      name = slash + 1;
      err = OpenPrivateFolder(toolPath, &folderFd);
    }
  }
  int templateFd = -1;
  struct stat templateStat;
  if (err == noErr) {
    do {
      templateFd = open(templatePath, O_RDONLY | O_CLOEXEC);
    } while (templateFd < 0 && errno == EINTR);
    err = MoreUNIXErrno(templateFd);
  }
  if (err == noErr) {
    err = MoreUNIXErrno(fstat(templateFd, &templateStat));
  }
  struct stat toolStat;
  bool present = false;
  if (err == noErr) {
    present = fstatat(folderFd, name, &toolStat, AT_SYMLINK_NOFOLLOW) == 0;
  }
  if (err == noErr && !(present && LooksLikeRepairedCopy(toolStat, templateStat))) {
    if (present) {
      err = MoreUNIXErrno(unlinkat(folderFd, name, 0));
      // Linux refuses to unlink a directory with EISDIR (other systems say EPERM).
      if (err == EPERM || err == EISDIR) {
        err = MoreUNIXErrno(unlinkat(folderFd, name, AT_REMOVEDIR));
      }
    }
    if (err == noErr) {
      err = CopyTemplateAt(templateFd, templateStat, folderFd, name);
    }
  }
  if (templateFd >= 0) {
    int junk = close(templateFd);
    assert(junk == 0);
  }
  if (folderFd >= 0) {
    int junk = close(folderFd);
    assert(junk == 0);
  }
  return err;
}

CFURLRef CreateURLToValidHelperToolInFolder(SInt16 domain, OSType folderType, CFStringRef subFolderName,
                                            CFStringRef toolName, CFURLRef templateTool) {
  assert(toolName != NULL);
  assert(templateTool != NULL);

  CFURLRef result = NULL;
  Boolean found = false;
  if (CopyHelperToolURL(domain, folderType, subFolderName, toolName, false, &result) == noErr) {
    Boolean looksOK = false;
    found = (CheckHelperTool(templateTool, result, &looksOK) == noErr) && looksOK;
    if (!found) {
      CFRelease(result);
      result = NULL;
    }
  }
  assert(found == (result != NULL));
  return result;
}

OSStatus CreateURLToNewHelperToolInFolder(OSType folderType, CFStringRef subFolderName, CFStringRef toolName,
                                          CFURLRef templateTool, CFURLRef* tool) {
  assert(toolName != NULL);
  assert(templateTool != NULL);
  assert(tool != NULL);
  assert(*tool == NULL);

  FSRef folderRef;
  CFURLRef result = NULL;
  OSStatus err = FSFindFolder(kUserDomain, folderType, true, &folderRef);
  if (err == noErr) {
    int folderFd = -1;
    err = OpenPrivateFolder(folderRef.path, &folderFd);
    if (folderFd >= 0) {
      int junk = close(folderFd);
      assert(junk == 0);
    }
  }
  // Both tests look at the folder itself, before the subfolder exists, so
  // that an unsuitable folder is left as it was found.
  if (err == noErr) {
    Boolean ignoring = false;
    err = MoreSecIsFolderIgnoringOwnership(&folderRef, &ignoring);
    if (err == noErr && ignoring) {
      err = kMoreSecFolderInappropriateErr;
    }
  }
  if (err == noErr) {
    Boolean ignoring = false;
    err = MoreSecIsFolderIgnoringSetUID(&folderRef, &ignoring);
    if (err == noErr && ignoring) {
      err = kMoreSecFolderInappropriateErr;
    }
  }
  if (err == noErr) {
    err = CopyHelperToolURL(kUserDomain, folderType, subFolderName, toolName, true, &result);
  }
  if (err == noErr) {
    err = CheckAndFixHelperTool(templateTool, result);
  }
  if (err == noErr) {
    *tool = result;
  } else {
    CFQRelease(result);
  }
  assert((err == noErr) == (*tool != NULL));
  return err;
}

typedef OSStatus (*InstallFromTemplate)(CFURLRef templateTool, OSType folderType, CFStringRef subFolderName,
                                        CFStringRef toolName, CFURLRef* tool);

OSStatus InstallNew(CFURLRef templateTool, OSType folderType, CFStringRef subFolderName, CFStringRef toolName,
                    CFURLRef* tool) {
  return CreateURLToNewHelperToolInFolder(folderType, subFolderName, toolName, templateTool, tool);
}

// The two ways in from a bundle differ only in what they do with the template.
OSStatus InstallFromBundle(CFBundleRef inBundle, CFStringRef templateToolName, OSType folderType,
                           CFStringRef subFolderName, CFStringRef toolName, CFURLRef* tool,
                           InstallFromTemplate install) {
  assert(inBundle != NULL);
  assert(templateToolName != NULL);
  assert(toolName != NULL);
  assert(tool != NULL);
  assert(*tool == NULL);

  CFURLRef templateTool = CFBundleCopyAuxiliaryExecutableURL(inBundle, templateToolName);
  OSStatus err = CFQError(templateTool);
  if (err == noErr) {
    err = install(templateTool, folderType, subFolderName, toolName, tool);
  }
  CFQRelease(templateTool);
  assert((err == noErr) == (*tool != NULL));
  return err;
}

}  // namespace

OSStatus MoreSecCopyHelperToolURLFromBundle(CFBundleRef inBundle, CFStringRef templateToolName, OSType folderType,
                                            CFStringRef subFolderName, CFStringRef toolName, CFURLRef* tool) {
  return InstallFromBundle(inBundle, templateToolName, folderType, subFolderName, toolName, tool, InstallNew);
}

OSStatus MoreSecCopyHelperToolURLAndCheckBundled(CFBundleRef inBundle, CFStringRef templateToolName,
                                                 OSType folderType, CFStringRef subFolderName, CFStringRef toolName,
                                                 CFURLRef* tool) {
  return InstallFromBundle(inBundle, templateToolName, folderType, subFolderName, toolName, tool,
                           MoreSecCopyHelperToolURLAndCheck);
}

OSStatus MoreSecCopyHelperToolURLAndCheck(CFURLRef templateTool, OSType folderType, CFStringRef subFolderName,
                                          CFStringRef toolName, CFURLRef* tool) {
  assert(templateTool != NULL);
  assert(toolName != NULL);
  assert(tool != NULL);
  assert(*tool == NULL);

  OSStatus err = noErr;
  CFURLRef found = NULL;
  for (int i = 0; i < kFolderDomainsSearched && found == NULL; i++) {
    found = CreateURLToValidHelperToolInFolder(kFolderDomains[i], folderType, subFolderName, toolName, templateTool);
  }
  if (found == NULL) {
    found = CreateURLToValidHelperToolInFolder(kUserDomain, kTemporaryFolderType, subFolderName, toolName,
                                               templateTool);
  }
  if (found != NULL) {
    *tool = found;
  } else {
    err = CreateURLToNewHelperToolInFolder(folderType, subFolderName, toolName, templateTool, tool);
  }
  assert((err == noErr) == (*tool != NULL));
  return err;
}
