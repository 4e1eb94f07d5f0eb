// Does a folder's volume honour ownership and set-user-ID? A set-user-ID root
// helper tool only works where both hold.

#include "MoreSecInstall.h"

#include "MoreCFQ.h"
#include "MoreUNIX.h"

#include <cassert>
#include <cerrno>
#include <unistd.h>

namespace {

// The group that a volume ignoring ownership reports for its files, and the
// group the experiment tries to give the test file.
const UInt32 kIgnoredOwnershipGroup = 99;
const UInt32 kTestGroup = 20;
const int kMaxTestFileAttempts = 999;

OSStatus CreateTestFile(const FSRef* folder, FSRef* testFile) {
  OSStatus err = dupFNErr;
  for (int attempt = 0; attempt < kMaxTestFileAttempts && err == dupFNErr; attempt++) {
    UInt64 now = UpTime();
    CFStringRef tmpStr =
        CFStringCreateWithFormat(NULL, NULL, CFSTR("MoreSecIsFolderIgnoringOwnership Temp %lx%lx"),
                                 static_cast<unsigned long>(now >> 32), static_cast<unsigned long>(now & 0xFFFFFFFFu));
    err = CFQError(tmpStr);
    if (err == noErr) {
      // A file name of the File Manager: at most 255 UTF-16 units.
      struct {
        UniChar unicode[255];
      } tmpStrU;
      // The assertion keeps its usual text; the length is never negative.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
      assert(CFStringGetLength(tmpStr) <= (sizeof(tmpStrU.unicode) / sizeof(UniChar)));
#pragma GCC diagnostic pop
      CFIndex length = CFStringGetLength(tmpStr);
      CFStringGetCharacters(tmpStr, CFRangeMake(0, length), tmpStrU.unicode);
      err = FSCreateFileUnicode(folder, static_cast<UniCharCount>(length), tmpStrU.unicode, kFSCatInfoNone, NULL,
                                testFile);
    }
    CFQRelease(tmpStr);
  }
  return err;
}

}  // namespace

OSStatus MoreSecIsFolderIgnoringOwnership(const FSRef* folder, Boolean* ignoringOwnership) {
  assert(folder != NULL);
  assert(ignoringOwnership != NULL);

  FSRef testFile;
  OSStatus err = CreateTestFile(folder, &testFile);
  if (err != noErr) {
    return err;
  }

  Boolean answer = false;
  FSCatalogInfo info;
  err = FSGetCatalogInfo(&testFile, kFSCatInfoPermissions, &info);
  if (err == noErr && info.permissions.groupID == kIgnoredOwnershipGroup) {
    info.permissions.groupID = kTestGroup;
    err = FSSetCatalogInfo(&testFile, kFSCatInfoPermissions, &info);
    if (err == permErr) {
      // Here the catalog call is itself a chown, but its code stands for EPERM
      // and EACCES alike. Only EPERM is the volume's answer; the chown below
      // tells the two apart.
      err = noErr;
    }
    if (err == noErr) {
      char path[1024];
      err = FSRefMakePath(&testFile, reinterpret_cast<UInt8*>(path), sizeof(path));
      if (err == noErr && chown(path, info.permissions.userID, kTestGroup) != 0) {
        err = kMoreSecChownErrBase + errno;
      }
    }
    if (err == kMoreSecChownErrBase + EPERM) {
      // The volume enforces ownership: it refused us.
      err = noErr;
    } else if (err == noErr) {
      err = FSGetCatalogInfo(&testFile, kFSCatInfoPermissions, &info);
      if (err == noErr) {
        answer = (info.permissions.groupID != kTestGroup);
      }
    }
  }

  OSStatus junk = FSDeleteObject(&testFile);
  assert(junk == noErr);
  if (err == noErr) {
    *ignoringOwnership = answer;
  }
  return err;
}

OSStatus MoreSecIsFolderIgnoringSetUID(const FSRef* folder, Boolean* ignoringSetUID) {
  char path[1024];
  OSStatus err = FSRefMakePath(folder, reinterpret_cast<UInt8*>(path), sizeof(path));
  if (err == noErr) {
    Boolean noSUID = false;
    err = QuillonVolumeIsNoSUID(path, &noSUID);
    if (err == noErr) {
      *ignoringSetUID = noSUID;
    }
  }
  return err;
}
