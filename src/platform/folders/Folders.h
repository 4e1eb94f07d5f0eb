// The File Manager's folder services on plain paths. A file reference is a
// path held in a fixed buffer; it names, it does not pin.
//
//   user 'asup'  $XDG_DATA_HOME, or ~/.local/share (home from the password
//                database) when that is unset or not absolute
//   user 'temp'  /var/tmp/TemporaryItems-<uid>: private to the user, created
//                0700 when missing. When that name is taken (a symlink, not a
//                folder, owned by someone else, or writable by group or
//                others), a fresh private folder /var/tmp/TemporaryItems-<uid>-XXXXXX
//                made by mkdtemp, the same for every look-up in this process;
//                without the create flag, and none made yet, permErr
//   local        /usr/local/share      system  /usr/share
//   network      has no folder (fnfErr)
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#include <cstddef>

enum : SInt16 {
  kOnAppropriateDisk = -32767,
  kSystemDomain = -32766,
  kLocalDomain = -32765,
  kNetworkDomain = -32764,
  kUserDomain = -32763,
};

// A four-character code, first character in the most significant byte.
constexpr OSType QuillonFourCharCode(const char (&code)[5]) {
  return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

enum : OSType {
  kApplicationSupportFolderType = QuillonFourCharCode("asup"),
  kTemporaryFolderType = QuillonFourCharCode("temp"),
  kFrameworksFolderType = QuillonFourCharCode("fram"),
};

enum : OSErr {
  fnfErr = -43,          // no such file or folder
  permErr = -54,         // permission denied
  afpAccessDenied = -5000,
  dirNFErr = -120,       // folder not found
  bdNamErr = -37,        // bad name
  fBsyErr = -47,         // busy: a directory that is not empty
  ioErr = -36,
  wrPermErr = -61,
};

typedef UInt32 TextEncoding;
typedef UInt32 FSCatalogInfoBitmap;
typedef unsigned long UniCharCount;
enum : FSCatalogInfoBitmap { kFSCatInfoNone = 0, kFSCatInfoPermissions = 0x400 };
enum : TextEncoding { kTextEncodingUnknown = 0xFFFF };

struct FSRef {
  char path[1024];  // absolute, NUL-terminated
};

// Only the permission record is supported: owner, group and mode.
struct FSPermissionInfo {
  UInt32 userID;
  UInt32 groupID;
  UInt16 mode;
};
struct FSCatalogInfo {
  FSPermissionInfo permissions;
};

// errno values map to File Manager codes: ENOENT fnfErr, EACCES/EPERM permErr,
// EEXIST dupFNErr, ENOTEMPTY fBsyErr, ENAMETOOLONG bdNamErr, others ioErr.
OSErr FSErrnoToOSErr(int err);

OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef* foundRef);
// The item of that UTF-16 name inside parentRef; fnfErr when it does not exist.
OSErr FSMakeFSRefUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                         TextEncoding textEncodingHint, FSRef* newRef);
// Creates a folder: with kFSCatInfoNone mode 0777 less the umask; with
// kFSCatInfoPermissions exactly catalogInfo->permissions.mode & 07777,
// whatever the umask (owner and group are the creator's).
OSErr FSCreateDirectoryUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                               FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo,
                               FSRef* newRef);
// Creates an empty file exclusively (dupFNErr when the name exists).
OSErr FSCreateFileUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef);
OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo);
// Applies owner and group with lchown; the mode is left alone.
OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo);
// Deletes a file, or a folder that is empty (fBsyErr otherwise). Never follows a symlink.
OSErr FSDeleteObject(const FSRef* ref);
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);  // false when the item does not exist

// Time since start-up in nanoseconds (CLOCK_MONOTONIC).
UInt64 UpTime(void);
// The fresh private temporary folder that FSFindFolder made in this process
// because /var/tmp/TemporaryItems-<uid> was taken, or NULL; whoever is done
// with it may remove it when empty.
const char* QuillonFreshTemporaryFolder(void);
// Whether the volume holding path is mounted nosuid (statvfs ST_NOSUID); errno on failure.
int QuillonVolumeIsNoSUID(const char* path, Boolean* noSUID);
