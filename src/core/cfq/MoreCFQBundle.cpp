// What MoreCFQ does through bundles and folders, apart from the rest: finding
// a framework bundle by name loads code (CFBundle, dlopen), and reading a
// file named by a folder reference needs the folder services. A program that
// links MoreCFQ for its dictionary and list helpers, the helper tool among
// them, carries neither.

#include "MoreCFQ.h"
#include "MoreCFQPrivate.h"
#include <Folders.h>
#include <assert.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Linux has no frameworks folder, and the folder services have no 'fram'
// mapping. The folders below follow the usual local-before-vendor order of the
// file-system hierarchy. They are fixed and writable only by root on purpose:
// this routine loads executable code into the process, so it must never search
// a folder that the user or the environment chooses.
static const char* const kFrameworksFolders[] = {
    "/usr/local/lib/quillon/Frameworks",
    "/usr/lib/quillon/Frameworks",
};

// One file name: not empty, not "." or "..", no slash and no NUL. Anything
// else would lead the look-up out of the frameworks folders.
static Boolean IsPlainName(CFStringRef name) {
  CFIndex length = CFStringGetLength(name);
  CFIndex i;

  if ((length == 0) || CFEqual(name, CFSTR(".")) || CFEqual(name, CFSTR(".."))) {
    return FALSE;
  }
  for (i = 0; i < length; i++) {
    UniChar c = CFStringGetCharacterAtIndex(name, i);
    if ((c == '/') || (c == 0)) {
      return FALSE;
    }
  }
  return TRUE;
}

OSStatus BundleCreateFromFrameworkNameInFolders(const char* const folders[], size_t folderCount,
                                                CFStringRef frameworkName, CFBundleRef* bundlePtr) {
  OSStatus err;
  Boolean plainName;
  size_t folderIndex;
  CFURLRef folderURL = NULL;
  CFURLRef bundleURL = NULL;

  assert(folders != NULL);
  assert(frameworkName != NULL);
  assert(bundlePtr != NULL);
  assert(*bundlePtr == NULL);

  *bundlePtr = NULL;

  // The first folder that holds a bundle folder of that name is the one used;
  // a later folder is never a fallback for a bundle that fails to load.
  plainName = IsPlainName(frameworkName);
  err = plainName ? coreFoundationUnknownErr : paramErr;
  for (folderIndex = 0; plainName && (*bundlePtr == NULL) && (folderIndex < folderCount); folderIndex++) {
    const char* folder = folders[folderIndex];

    folderURL = CFURLCreateFromFileSystemRepresentation(kCFAllocatorSystemDefault, (const UInt8*) folder,
                                                        (CFIndex) strlen(folder), TRUE);
    err = CFQError(folderURL);
    if (err == noErr) {
      bundleURL = CFURLCreateCopyAppendingPathComponent(kCFAllocatorSystemDefault, folderURL, frameworkName,
                                                        FALSE);
      err = CFQError(bundleURL);
    }
    if (err == noErr) {
      *bundlePtr = CFBundleCreate(kCFAllocatorSystemDefault, bundleURL);
      err = CFQError(*bundlePtr);
    }
    CFQRelease(bundleURL);
    bundleURL = NULL;
    CFQRelease(folderURL);
    folderURL = NULL;
  }
  if (err == noErr) {
    err = CFQErrorBoolean(CFBundleLoadExecutable(*bundlePtr));
    if (err != noErr) {
      CFRelease(*bundlePtr);
      *bundlePtr = NULL;
    }
  }

  assert((err == noErr) == (*bundlePtr != NULL));
  return err;
}

OSStatus CFQBundleCreateFromFrameworkName(CFStringRef frameworkName, CFBundleRef* bundlePtr) {
  assert(frameworkName != NULL);
  assert(bundlePtr != NULL);
  assert(*bundlePtr == NULL);

  return BundleCreateFromFrameworkNameInFolders(kFrameworksFolders,
                                                sizeof(kFrameworksFolders) / sizeof(kFrameworksFolders[0]),
                                                frameworkName, bundlePtr);
}

OSStatus CFQPropertyListCreateFromXMLFSRef(const FSRef* xmlFile, CFPropertyListMutabilityOptions options,
                                           CFPropertyListRef* result) {
  OSStatus err;
  CFURLRef xmlURL;

  assert(xmlFile != NULL);
  assert(result != NULL);
  assert(*result == NULL);

  xmlURL = CFURLCreateFromFSRef(kCFAllocatorDefault, xmlFile);
  err = CFQError(xmlURL);
  if (err == noErr) {
    err = CFQPropertyListCreateFromXMLCFURL(xmlURL, options, result);
  }
  CFQRelease(xmlURL);

  assert((err == noErr) == (*result != NULL));
  return err;
}
