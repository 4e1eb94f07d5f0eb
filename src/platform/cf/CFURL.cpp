// URLs that name files by absolute POSIX path, and reading a whole file.
#include "CFInternal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

using cfi::Object;

namespace {

// Files read whole into memory are refused above this size.
constexpr off_t kMaxResourceSize = 64 * 1024 * 1024;

const __CFURL* AsURL(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kURLTypeID));
  return static_cast<const __CFURL*>(cf);
}

// Makes a path absolute against the working directory and drops empty and
// "." components and any trailing slash. ".." is kept: resolving it by text
// would be wrong across symbolic links. False when the path cannot be used.
bool NormalizePath(const std::string& in, std::string& out) {
  if (in.empty() || in.find('\0') != std::string::npos) return false;
  std::string full;
  if (in[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return false;
    full = cwd;
    full += '/';
  }
  full += in;
  out.clear();
  out.reserve(full.size());
  size_t i = 0;
  while (i < full.size()) {
    while (i < full.size() && full[i] == '/') ++i;
    size_t end = full.find('/', i);
    if (end == std::string::npos) end = full.size();
    std::string_view component(full.data() + i, end - i);
    if (!component.empty() && component != ".") {
      out += '/';
      out.append(component);
    }
    i = end;
  }
  if (out.empty()) out = "/";
  return true;
}

CFURLRef NewURL(const std::string& path, bool isDirectory) {
  __CFURL* url = new __CFURL;
  try {
    if (!NormalizePath(path, url->path)) {
      delete url;
      return nullptr;
    }
  } catch (...) {
    delete url;
    throw;
  }
  url->isDirectory = isDirectory || url->path == "/";
  return url;
}

}  // namespace

bool cfi::URLEqual(const Object* a, const Object* b) {
  const __CFURL* x = static_cast<const __CFURL*>(a);
  const __CFURL* y = static_cast<const __CFURL*>(b);
  return x->isDirectory == y->isDirectory && x->path == y->path;
}

CFHashCode cfi::URLHash(const Object* o) {
  const __CFURL* u = static_cast<const __CFURL*>(o);
  return MixHash(std::hash<std::string>{}(u->path) + (u->isDirectory ? 1 : 0));
}

void cfi::URLDestroy(Object* o) { delete static_cast<__CFURL*>(o); }

const std::string& cfi::URLPath(CFURLRef url) { return AsURL(url)->path; }

CFTypeID CFURLGetTypeID(void) { return cfi::kURLTypeID; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef alloc, CFStringRef filePath, CFURLPathStyle style,
                                       Boolean isDirectory) {
  assert(style == kCFURLPOSIXPathStyle);
  try {
    std::string path;
    if (!cfi::StringToUTF8(filePath, path)) return nullptr;
    return NewURL(path, isDirectory);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory) {
  assert(buffer != NULL && bufLen >= 0);
  try {
    return NewURL(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen)), isDirectory);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen) {
  const __CFURL* u = AsURL(url);
  assert(buffer != NULL && maxBufLen >= 0);
  if (static_cast<size_t>(maxBufLen) < u->path.size() + 1) return false;
  memcpy(buffer, u->path.c_str(), u->path.size() + 1);
  return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style) {
  const __CFURL* u = AsURL(url);
  assert(style == kCFURLPOSIXPathStyle);
  // Paths that are not UTF-8 have no string form; such files are still
  // reachable through CFURLGetFileSystemRepresentation.
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(u->path.data()),
                                 static_cast<CFIndex>(u->path.size()), kCFStringEncodingUTF8, false);
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
  const __CFURL* u = AsURL(url);
  size_t slash = u->path.rfind('/');
  std::string_view last = u->path == "/" ? std::string_view("/") : std::string_view(u->path).substr(slash + 1);
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(last.data()),
                                 static_cast<CFIndex>(last.size()), kCFStringEncodingUTF8, false);
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef alloc, CFURLRef url, CFStringRef pathComponent,
                                               Boolean isDirectory) {
  const __CFURL* u = AsURL(url);
  try {
    std::string component;
    if (!cfi::StringToUTF8(pathComponent, component)) return nullptr;
    if (component.find('\0') != std::string::npos) return nullptr;
    return NewURL(u->path + "/" + component, isDirectory);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef alloc, CFURLRef url) {
  const __CFURL* u = AsURL(url);
  try {
    // The root has no parent here; it stays the root.
    size_t slash = u->path.rfind('/');
    std::string parent = slash == 0 ? std::string("/") : u->path.substr(0, slash);
    return NewURL(parent, true);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Boolean CFURLHasDirectoryPath(CFURLRef url) { return AsURL(url)->isDirectory; }

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url, CFDataRef* resourceData,
                                                 CFDictionaryRef* properties, CFArrayRef desiredProperties,
                                                 SInt32* errorCode) {
  const __CFURL* u = AsURL(url);
  SInt32 error = 0;
  CFMutableDataRef data = nullptr;
  if (properties != nullptr) *properties = nullptr;
  if (resourceData != nullptr) *resourceData = nullptr;

  // O_NONBLOCK keeps a FIFO planted at the path from blocking the open; only
  // regular files are read.
  int fd;
  do {
    fd = open(u->path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) error = kCFURLResourceNotFoundError;
    else if (errno == EACCES || errno == EPERM) error = kCFURLResourceAccessViolationError;
    else error = kCFURLUnknownError;
  }
  struct stat sb;
  if (error == 0 && (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode) || sb.st_size > kMaxResourceSize)) {
    error = kCFURLUnknownError;
  }
  if (error == 0 && resourceData != nullptr) {
    data = CFDataCreateMutable(nullptr, 0);
    if (data == nullptr) error = kCFURLUnknownError;
  }
  if (error == 0 && data != nullptr) {
    // Read to the end rather than trusting st_size, but never past the limit:
    // the file may change while it is read.
    CFDataSetLength(data, static_cast<CFIndex>(sb.st_size) + 1);
    CFIndex got = 0;
    for (;;) {
      if (got == CFDataGetLength(data)) {
        if (got > kMaxResourceSize) {
          error = kCFURLUnknownError;
          break;
        }
        CFDataSetLength(data, std::min<CFIndex>(got * 2 + 4096, kMaxResourceSize + 1));
      }
      ssize_t n = read(fd, CFDataGetMutableBytePtr(data) + got, static_cast<size_t>(CFDataGetLength(data) - got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        error = errno == EACCES ? kCFURLResourceAccessViolationError : kCFURLUnknownError;
        break;
      }
      if (n == 0) break;
      got += n;
    }
    if (error == 0 && got > kMaxResourceSize) error = kCFURLUnknownError;
    if (error == 0) CFDataSetLength(data, got);
  }
  if (fd >= 0) close(fd);
  if (error == 0 && resourceData != nullptr) {
    *resourceData = data;
  } else if (data != nullptr) {
    CFRelease(data);
  }
  if (errorCode != nullptr) *errorCode = error;
  return error == 0;
}
