// Locating the helper tool and installing it from the bundle into a folder of
// the user's, where it can repair itself into a set-user-ID root tool.

#include "MoreSecInstall.h"

#include "MoreCFQ.h"
#include "MoreUNIX.h"

#include <cassert>
#include <cerrno>
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
      err = FSCreateDirectoryUnicode(&folderRef, static_cast<UniCharCount>(length), subFolderNameU.unicode,
                                     kFSCatInfoNone, NULL, &subFolderRef);
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
    if (stat(toolPath, &toolStat) != 0) {
      *looksOK = false;
    } else {
      *looksOK = toolStat.st_uid == kInstalledOwner && toolStat.st_mode == kInstalledMode &&
                 toolStat.st_mtim.tv_sec == templateStat.st_mtim.tv_sec && toolStat.st_size == templateStat.st_size;
    }
  }
  return err;
}

OSStatus CheckAndFixHelperTool(CFURLRef templateTool, CFURLRef tool) {
  assert(tool != NULL);

  Boolean looksOK = false;
  OSStatus err = CheckHelperTool(templateTool, tool, &looksOK);
  if (err != noErr || looksOK) {
    return err;
  }
  char templatePath[1024];
  char toolPath[1024];
  err = GetPath(templateTool, templatePath, sizeof(templatePath));
  if (err == noErr) {
    err = GetPath(tool, toolPath, sizeof(toolPath));
  }
  struct stat sb;
  // lstat, so that a symbolic link at the tool's place is itself removed
  // rather than looked through.
  if (err == noErr && lstat(toolPath, &sb) == 0) {
    err = MoreUNIXErrno(unlink(toolPath));
    // Linux refuses to unlink a directory with EISDIR (other systems say EPERM).
    if (err == EPERM || err == EISDIR) {
      err = MoreUNIXErrno(rmdir(toolPath));
    }
  }
  if (err == noErr) {
    err = MoreUNIXCopyFile(templatePath, toolPath);
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
