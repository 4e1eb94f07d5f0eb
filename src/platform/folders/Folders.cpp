// Folder services on plain paths.

#include "Folders.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr size_t kPathCapacity = sizeof(FSRef::path);
constexpr char kLocalFolder[] = "/usr/local/share";
constexpr char kSystemFolder[] = "/usr/share";
constexpr char kTemporaryItemsPrefix[] = "/var/tmp/TemporaryItems-";
constexpr size_t kMaxPasswordBuffer = 1 << 20;

bool SetPath(FSRef* ref, const char* path) {
  size_t length = strnlen(path, kPathCapacity);
  if (length >= kPathCapacity) return false;
  memcpy(ref->path, path, length + 1);
  return true;
}

OSErr SetPathIn(char* out, size_t capacity, const char* path) {
  size_t length = strlen(path);
  if (length >= capacity) return bdNamErr;
  memcpy(out, path, length + 1);
  return noErr;
}

// The real user's home folder from the password database.
OSErr CopyHomeFolder(char* home, size_t capacity) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  size_t size = suggested > 0 ? static_cast<size_t>(suggested) : 4096;
  for (;;) {
    char* buffer = static_cast<char*>(malloc(size));
    if (buffer == NULL) return static_cast<OSErr>(memFullErr);
    struct passwd entry;
    struct passwd* found = NULL;
    int err = getpwuid_r(getuid(), &entry, buffer, size, &found);
    OSErr result = noErr;
    if (err == ERANGE && size < kMaxPasswordBuffer) {
      free(buffer);
      size *= 2;
      continue;
    }
    if (err != 0 || found == NULL || found->pw_dir == NULL || found->pw_dir[0] != '/') {
      result = fnfErr;
    } else if (strlen(found->pw_dir) >= capacity) {
      result = bdNamErr;
    } else {
      strcpy(home, found->pw_dir);
    }
    free(buffer);
    return result;
  }
}

OSErr UserApplicationSupportPath(char* path, size_t capacity) {
  // secure_getenv: a set-user-ID program takes nothing from its caller's environment.
  const char* dataHome = secure_getenv("XDG_DATA_HOME");
  if (dataHome != NULL && dataHome[0] == '/') {
    if (strlen(dataHome) >= capacity) return bdNamErr;
    strcpy(path, dataHome);
    return noErr;
  }
  char home[kPathCapacity];
  OSErr err = CopyHomeFolder(home, sizeof(home));
  if (err != noErr) return err;
  int n = snprintf(path, capacity, "%s/.local/share", strcmp(home, "/") == 0 ? "" : home);
  if (n < 0 || static_cast<size_t>(n) >= capacity) return bdNamErr;
  return noErr;
}

// Takes trailing slashes off, keeping "/" itself.
void TrimTrailingSlashes(char* path) {
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '/') path[--length] = '\0';
}

// mkdir -p: creates each missing folder of an absolute path with `mode`
// (less the umask). An existing non-folder on the way is dirNFErr.
OSErr CreateFolderPath(const char* path, mode_t mode) {
  char partial[kPathCapacity];
  size_t length = strlen(path);
  if (length >= sizeof(partial) || path[0] != '/') return bdNamErr;
  memcpy(partial, path, length + 1);
  for (size_t i = 1; i <= length; i++) {
    if (partial[i] != '/' && partial[i] != '\0') continue;
    char saved = partial[i];
    partial[i] = '\0';
    if (mkdir(partial, mode) != 0 && errno != EEXIST) {
      return FSErrnoToOSErr(errno);
    }
    partial[i] = saved;
  }
  struct stat st;
  if (stat(path, &st) != 0) return FSErrnoToOSErr(errno);
  if (!S_ISDIR(st.st_mode)) return dirNFErr;
  return noErr;
}

// An ordinary folder: it must exist and be a folder, or be created.
OSErr FindPlainFolder(const char* path, Boolean createFolder, mode_t mode) {
  struct stat st;
  if (stat(path, &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return dirNFErr;
    return noErr;
  }
  if (errno != ENOENT || !createFolder) return FSErrnoToOSErr(errno);
  return CreateFolderPath(path, mode);
}

// Whether the folder at path is the user's alone: a real folder (not a
// symlink), owned by the user, that nobody else can write to. A folder we
// just created gets exactly 0700, whatever the umask.
OSErr CheckPrivateFolder(const char* path, bool created) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // ELOOP: a symlink; ENOTDIR: not a folder; both are someone else's doing.
    return (errno == ELOOP || errno == ENOTDIR) ? static_cast<OSErr>(permErr) : FSErrnoToOSErr(errno);
  }
  OSErr err = noErr;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    err = FSErrnoToOSErr(errno);
  } else if (!S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
    err = permErr;
  } else if (created && fchmod(fd, 0700) != 0) {
    err = FSErrnoToOSErr(errno);
  } else if (!created && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    err = permErr;
  }
  (void)close(fd);
  return err;
}

// The fresh private folder made in this process because the usual name was
// taken; later look-ups return it, so that one run uses one folder.
char gFreshTemporaryFolder[kPathCapacity];

// The user's private temporary folder, /var/tmp/TemporaryItems-<uid>. It
// lies in the shared /var/tmp, so anyone may have put something at its name
// first: it is used only if it is the user's alone (CheckPrivateFolder).
// When it is not, a fresh folder /var/tmp/TemporaryItems-<uid>-XXXXXX takes
// its place, made by mkdtemp, which no one else can have named in advance.
// /var/tmp is sticky, so once accepted nobody but its owner and root can
// replace either.
OSErr FindTemporaryFolder(Boolean createFolder, char* path, size_t capacity) {
  const uid_t uid = getuid();
  int n = snprintf(path, capacity, "%s%lu", kTemporaryItemsPrefix, static_cast<unsigned long>(uid));
  if (n < 0 || static_cast<size_t>(n) >= capacity) return bdNamErr;
  if (gFreshTemporaryFolder[0] != '\0' && CheckPrivateFolder(gFreshTemporaryFolder, false) == noErr) {
    return SetPathIn(path, capacity, gFreshTemporaryFolder);
  }

  bool created = false;
  if (createFolder) {
    if (mkdir(path, 0700) == 0) {
      created = true;
    } else if (errno != EEXIST) {
      return FSErrnoToOSErr(errno);
    }
  }
  OSErr err = CheckPrivateFolder(path, created);
  if (err != permErr) return err;

  // Taken: by another user, a symlink, a file, or a folder others may change.
  if (!createFolder) return err;
  char fresh[kPathCapacity];
  n = snprintf(fresh, sizeof(fresh), "%s%lu-XXXXXX", kTemporaryItemsPrefix, static_cast<unsigned long>(uid));
  if (n < 0 || static_cast<size_t>(n) >= sizeof(fresh)) return bdNamErr;
  if (mkdtemp(fresh) == NULL) return FSErrnoToOSErr(errno);
  err = CheckPrivateFolder(fresh, true);
  if (err != noErr) return err;
  memcpy(gFreshTemporaryFolder, fresh, sizeof(fresh));
  return SetPathIn(path, capacity, fresh);
}

// UTF-16 to UTF-8 for one file name. A name is refused (bdNamErr) when it
// is empty, "." or "..", holds '/', NUL or a lone surrogate, or does not fit
// a file name.
OSErr NameToUTF8(UniCharCount length, const UniChar* name, char* out, size_t capacity) {
  if (name == NULL || length == 0) return bdNamErr;
  size_t used = 0;
  for (UniCharCount i = 0; i < length; i++) {
    UInt32 c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= length || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return bdNamErr;
      c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
      i++;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return bdNamErr;
    }
    if (c == 0 || c == '/') return bdNamErr;
    unsigned char bytes[4];
    size_t count;
    if (c < 0x80) {
      bytes[0] = static_cast<unsigned char>(c);
      count = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      count = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      count = 3;
    } else {
      bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      count = 4;
    }
    if (used + count > NAME_MAX || used + count >= capacity) return bdNamErr;
    memcpy(out + used, bytes, count);
    used += count;
  }
  out[used] = '\0';
  if (strcmp(out, ".") == 0 || strcmp(out, "..") == 0) return bdNamErr;
  return noErr;
}

// parent/name, UTF-8, into path.
OSErr ChildPath(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name, char* path,
                size_t capacity) {
  if (parentRef == NULL) return paramErr;
  char utf8[NAME_MAX + 1];
  OSErr err = NameToUTF8(nameLength, name, utf8, sizeof(utf8));
  if (err != noErr) return err;
  const char* parent = parentRef->path;
  size_t parentLength = strnlen(parent, kPathCapacity);
  if (parentLength == 0 || parentLength >= kPathCapacity || parent[0] != '/') return paramErr;
  bool root = (parentLength == 1);
  int n = snprintf(path, capacity, "%s%s%s", root ? "" : parent, "/", utf8);
  if (n < 0 || static_cast<size_t>(n) >= capacity) return bdNamErr;
  return noErr;
}

}  // namespace

OSErr FSErrnoToOSErr(int err) {
  switch (err) {
    case 0:
      return noErr;
    case ENOENT:
      return fnfErr;
    case EACCES:
    case EPERM:
      return permErr;
    case EEXIST:
      return dupFNErr;
    case ENOTEMPTY:
      return fBsyErr;
    case ENAMETOOLONG:
      return bdNamErr;
    default:
      return ioErr;
  }
}

OSErr FSFindFolder(SInt16 vRefNum, OSType folderType, Boolean createFolder, FSRef* foundRef) {
  if (foundRef == NULL) return paramErr;
  char path[kPathCapacity];
  OSErr err = noErr;
  switch (vRefNum) {
    case kUserDomain:
    case kOnAppropriateDisk:  // the disk appropriate for the user's own folders
      if (folderType == kApplicationSupportFolderType) {
        err = UserApplicationSupportPath(path, sizeof(path));
        if (err == noErr) {
          TrimTrailingSlashes(path);
          err = FindPlainFolder(path, createFolder, 0700);  // as the XDG base directories want
        }
      } else if (folderType == kTemporaryFolderType) {
        err = FindTemporaryFolder(createFolder, path, sizeof(path));
      } else {
        err = fnfErr;
      }
      break;
    case kLocalDomain:
    case kSystemDomain:
      if (folderType == kApplicationSupportFolderType) {
        strcpy(path, vRefNum == kLocalDomain ? kLocalFolder : kSystemFolder);
        err = FindPlainFolder(path, createFolder, 0755);
      } else {
        err = fnfErr;
      }
      break;
    case kNetworkDomain:
      err = fnfErr;
      break;
    default:
      err = paramErr;
      break;
  }
  if (err == noErr && !SetPath(foundRef, path)) err = bdNamErr;
  return err;
}

OSErr FSMakeFSRefUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                         TextEncoding textEncodingHint, FSRef* newRef) {
  if (newRef == NULL) return paramErr;
  char path[kPathCapacity];
  OSErr err = ChildPath(parentRef, nameLength, name, path, sizeof(path));
  if (err != noErr) return err;
  struct stat st;
  if (lstat(path, &st) != 0) return FSErrnoToOSErr(errno);
  SetPath(newRef, path);
  return noErr;
}

OSErr FSCreateDirectoryUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                               FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef) {
  const bool withMode = whichInfo == kFSCatInfoPermissions;
  if (whichInfo != kFSCatInfoNone && !withMode) return paramErr;
  if (withMode && catalogInfo == NULL) return paramErr;
  char path[kPathCapacity];
  OSErr err = ChildPath(parentRef, nameLength, name, path, sizeof(path));
  if (err != noErr) return err;
  const mode_t mode = withMode ? (catalogInfo->permissions.mode & 07777) : 0777;
  if (mkdir(path, mode) != 0) return FSErrnoToOSErr(errno);
  if (withMode) {
    // Exactly that mode, whatever the umask: set on the folder just made,
    // reached without following a link someone might have put in its place.
    int fd;
    do {
      fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return FSErrnoToOSErr(errno);
    if (fchmod(fd, mode) != 0) err = FSErrnoToOSErr(errno);
    (void)close(fd);
    if (err != noErr) return err;
  }
  if (newRef != NULL) SetPath(newRef, path);
  return noErr;
}

OSErr FSCreateFileUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef) {
  if (whichInfo != kFSCatInfoNone) return paramErr;
  char path[kPathCapacity];
  OSErr err = ChildPath(parentRef, nameLength, name, path, sizeof(path));
  if (err != noErr) return err;
  int fd;
  do {
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return FSErrnoToOSErr(errno);
  (void)close(fd);  // nothing was written, so there is nothing to lose
  if (newRef != NULL) SetPath(newRef, path);
  return noErr;
}

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo) {
  if (ref == NULL || (whichInfo & ~static_cast<FSCatalogInfoBitmap>(kFSCatInfoPermissions)) != 0) return paramErr;
  struct stat st;
  if (lstat(ref->path, &st) != 0) return FSErrnoToOSErr(errno);
  if ((whichInfo & kFSCatInfoPermissions) != 0) {
    if (catalogInfo == NULL) return paramErr;
    catalogInfo->permissions.userID = st.st_uid;
    catalogInfo->permissions.groupID = st.st_gid;
    catalogInfo->permissions.mode = static_cast<UInt16>(st.st_mode);  // type bits included
  }
  return noErr;
}

OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo) {
  if (ref == NULL || (whichInfo & ~static_cast<FSCatalogInfoBitmap>(kFSCatInfoPermissions)) != 0) return paramErr;
  if ((whichInfo & kFSCatInfoPermissions) == 0) return noErr;
  if (catalogInfo == NULL) return paramErr;
  if (lchown(ref->path, catalogInfo->permissions.userID, catalogInfo->permissions.groupID) != 0) {
    return FSErrnoToOSErr(errno);
  }
  return noErr;
}

OSErr FSDeleteObject(const FSRef* ref) {
  if (ref == NULL) return paramErr;
  // unlink first: it never follows a symlink, and a folder answers EISDIR.
  if (unlink(ref->path) == 0) return noErr;
  if (errno != EISDIR) return FSErrnoToOSErr(errno);
  if (rmdir(ref->path) == 0) return noErr;
  return errno == EEXIST ? static_cast<OSErr>(fBsyErr) : FSErrnoToOSErr(errno);
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize) {
  if (ref == NULL || path == NULL || maxPathSize == 0) return paramErr;
  size_t length = strnlen(ref->path, kPathCapacity);
  if (length >= kPathCapacity || length + 1 > maxPathSize) return bdNamErr;
  memcpy(path, ref->path, length + 1);
  return noErr;
}

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory) {
  if (path == NULL || ref == NULL) return paramErr;
  const char* p = reinterpret_cast<const char*>(path);
  if (p[0] != '/') return paramErr;
  char copy[kPathCapacity];
  size_t length = strnlen(p, kPathCapacity);
  if (length >= kPathCapacity) return bdNamErr;
  memcpy(copy, p, length + 1);
  TrimTrailingSlashes(copy);
  struct stat st;
  if (stat(copy, &st) != 0) return FSErrnoToOSErr(errno);
  SetPath(ref, copy);
  if (isDirectory != NULL) *isDirectory = S_ISDIR(st.st_mode) ? TRUE : FALSE;
  return noErr;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef) {
  if (fsRef == NULL) return NULL;
  size_t length = strnlen(fsRef->path, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return NULL;
  struct stat st;
  if (lstat(fsRef->path, &st) != 0) return NULL;  // a reference names something that exists
  Boolean isDirectory = (stat(fsRef->path, &st) == 0 && S_ISDIR(st.st_mode)) ? TRUE : FALSE;
  return CFURLCreateFromFileSystemRepresentation(allocator, reinterpret_cast<const UInt8*>(fsRef->path),
                                                 static_cast<CFIndex>(length), isDirectory);
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
  if (url == NULL || fsRef == NULL) return FALSE;
  char path[kPathCapacity];
  if (!CFURLGetFileSystemRepresentation(url, TRUE, reinterpret_cast<UInt8*>(path), sizeof(path))) return FALSE;
  if (path[0] != '/') return FALSE;
  TrimTrailingSlashes(path);
  struct stat st;
  if (lstat(path, &st) != 0) return FALSE;
  return SetPath(fsRef, path) ? TRUE : FALSE;
}

UInt64 UpTime(void) {
  struct timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
  return static_cast<UInt64>(now.tv_sec) * 1000000000u + static_cast<UInt64>(now.tv_nsec);
}

const char* QuillonFreshTemporaryFolder(void) {
  return gFreshTemporaryFolder[0] != '\0' ? gFreshTemporaryFolder : NULL;
}

int QuillonVolumeIsNoSUID(const char* path, Boolean* noSUID) {
  if (path == NULL || noSUID == NULL) return EINVAL;
  struct statvfs vfs;
  if (statvfs(path, &vfs) != 0) return errno;
  *noSUID = (vfs.f_flag & ST_NOSUID) != 0 ? TRUE : FALSE;
  return 0;
}
