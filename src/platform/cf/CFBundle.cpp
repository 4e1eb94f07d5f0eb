// Bundles: a folder with executables in it, resources in its "Resources"
// folder and an optional Info.plist.
#include "CFInternal.h"

#include <climits>
#include <dlfcn.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

using cfi::Object;

namespace {

__CFBundle* AsBundle(CFBundleRef bundle) {
  assert(cfi::IsType(bundle, cfi::kBundleTypeID));
  return bundle;
}

// A single file name: not empty, no slash, not "." or "..". Bundle look-ups
// never leave the bundle's folders.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos &&
         name != "." && name != "..";
}

// A relative folder path inside Resources: plain names separated by slashes.
bool IsPlainRelativePath(std::string_view path) {
  if (path.empty() || path.front() == '/') return false;
  size_t i = 0;
  while (i <= path.size()) {
    size_t end = path.find('/', i);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(i, end - i);
    if (!component.empty() && !IsPlainName(component)) return false;
    i = end + 1;
  }
  return true;
}

bool StringText(CFStringRef str, std::string& out) {
  return str != nullptr && CFGetTypeID(str) == CFStringGetTypeID() && cfi::StringToUTF8(str, out);
}

CFURLRef URLForPath(const std::string& path, bool isDirectory) {
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                 static_cast<CFIndex>(path.size()), isDirectory);
}

CFDictionaryRef ReadInfoDictionary(const std::string& folder) {
  CFDictionaryRef info = nullptr;
  CFURLRef url = URLForPath(folder + "/Info.plist", false);
  CFDataRef data = nullptr;
  if (url != nullptr && CFURLCreateDataAndPropertiesFromResource(nullptr, url, &data, nullptr, nullptr, nullptr)) {
    CFPropertyListRef plist = CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, nullptr);
    if (plist != nullptr && CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
      info = static_cast<CFDictionaryRef>(plist);
    } else if (plist != nullptr) {
      CFRelease(plist);  // an Info.plist that is not a dictionary counts as none
    }
  }
  if (data != nullptr) CFRelease(data);
  if (url != nullptr) CFRelease(url);
  if (info == nullptr) {
    info = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
  }
  return info;
}

// The executable file `name` in the bundle's folder, if it is a regular file
// with an execute bit.
CFURLRef ExecutableURL(const __CFBundle* b, const std::string& name) {
  if (!IsPlainName(name)) return nullptr;
  std::string path = cfi::URLPath(b->url) + "/" + name;
  struct stat sb;
  if (stat(path.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode) || (sb.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) {
    return nullptr;
  }
  return URLForPath(path, false);
}

std::mutex gMainBundleMutex;
CFBundleRef gMainBundle = nullptr;
CFURLRef gMainBundleURLForTesting = nullptr;

CFURLRef CopyRunningExecutableFolderURL() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof path) return nullptr;
  std::string_view text(path, static_cast<size_t>(n));
  size_t slash = text.rfind('/');
  if (slash == std::string_view::npos) return nullptr;
  std::string_view folder = slash == 0 ? std::string_view("/") : text.substr(0, slash);
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(folder.data()),
                                                 static_cast<CFIndex>(folder.size()), true);
}

}  // namespace

void cfi::BundleReleaseChildren(Object* o, Object** doomed) {
  __CFBundle* b = static_cast<__CFBundle*>(o);
  if (b->url != nullptr) ReleaseInto(b->url, doomed);
  if (b->info != nullptr) ReleaseInto(b->info, doomed);
  b->url = nullptr;
  b->info = nullptr;
}

// A loaded executable stays loaded: function pointers taken from it may
// outlive the bundle object.
void cfi::BundleDestroy(Object* o) { delete static_cast<__CFBundle*>(o); }

CFTypeID CFBundleGetTypeID(void) { return cfi::kBundleTypeID; }

CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL) {
  const std::string& path = cfi::URLPath(bundleURL);
  struct stat sb;
  if (stat(path.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode)) return nullptr;
  __CFBundle* b = new (std::nothrow) __CFBundle;
  if (b == nullptr) return nullptr;
  b->url = URLForPath(path, true);
  b->info = b->url != nullptr ? ReadInfoDictionary(path) : nullptr;
  if (b->url == nullptr || b->info == nullptr) {
    CFRelease(b);
    return nullptr;
  }
  return b;
}

CFBundleRef CFBundleGetMainBundle(void) {
  std::lock_guard<std::mutex> lock(gMainBundleMutex);
  if (gMainBundle == nullptr) {
    CFURLRef url = gMainBundleURLForTesting != nullptr
                       ? static_cast<CFURLRef>(CFRetain(gMainBundleURLForTesting))
                       : CopyRunningExecutableFolderURL();
    if (url != nullptr) {
      gMainBundle = CFBundleCreate(nullptr, url);
      CFRelease(url);
    }
  }
  return gMainBundle;
}

void _CFBundleSetMainBundleURLForTesting(CFURLRef bundleURL) {
  std::lock_guard<std::mutex> lock(gMainBundleMutex);
  if (bundleURL != nullptr) CFRetain(bundleURL);
  if (gMainBundleURLForTesting != nullptr) CFRelease(gMainBundleURLForTesting);
  gMainBundleURLForTesting = bundleURL;
  // The previous main bundle stays alive: callers hold it as a borrowed
  // reference. Only tests switch, a handful of times.
  if (gMainBundle != nullptr) {
    static std::vector<CFBundleRef>* retired = new std::vector<CFBundleRef>;
    try {
      retired->push_back(gMainBundle);
    } catch (const std::bad_alloc&) {
      cfi::FatalOutOfMemory("_CFBundleSetMainBundleURLForTesting");
    }
  }
  gMainBundle = nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
  return static_cast<CFURLRef>(CFRetain(AsBundle(bundle)->url));
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
  try {
    return URLForPath(cfi::URLPath(AsBundle(bundle)->url) + "/Resources", true);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName) {
  __CFBundle* b = AsBundle(bundle);
  try {
    std::string name, type, subDir;
    if (!StringText(resourceName, name) || !IsPlainName(name)) return nullptr;
    if (resourceType != nullptr && !StringText(resourceType, type)) return nullptr;
    if (!type.empty() && type.front() == '.') type.erase(0, 1);
    if (!type.empty()) {
      name += "." + type;
      if (!IsPlainName(name)) return nullptr;
    }
    if (subDirName != nullptr && CFStringGetLength(subDirName) > 0) {
      if (!StringText(subDirName, subDir) || !IsPlainRelativePath(subDir)) return nullptr;
    }
    std::string path = cfi::URLPath(b->url) + "/Resources/";
    if (!subDir.empty()) path += subDir + "/";
    path += name;
    struct stat sb;
    if (stat(path.c_str(), &sb) != 0) return nullptr;
    return URLForPath(path, S_ISDIR(sb.st_mode));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFURLRef CFBundleCopyAuxiliaryExecutableURL(CFBundleRef bundle, CFStringRef executableName) {
  __CFBundle* b = AsBundle(bundle);
  try {
    std::string name;
    if (!StringText(executableName, name)) return nullptr;
    return ExecutableURL(b, name);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
  __CFBundle* b = AsBundle(bundle);
  try {
    std::string name;
    CFTypeRef value = CFDictionaryGetValue(b->info, kCFBundleExecutableKey);
    if (value == nullptr || !StringText(static_cast<CFStringRef>(value), name)) return nullptr;
    return ExecutableURL(b, name);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
  return CFDictionaryGetValue(AsBundle(bundle)->info, key);
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) { return AsBundle(bundle)->info; }

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
  CFTypeRef value = CFDictionaryGetValue(AsBundle(bundle)->info, kCFBundleIdentifierKey);
  if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return nullptr;
  return static_cast<CFStringRef>(value);
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) {
  __CFBundle* b = AsBundle(bundle);
  std::lock_guard<std::mutex> lock(b->loadMutex);
  if (b->handle != nullptr) return true;
  CFURLRef url = CFBundleCopyExecutableURL(bundle);
  if (url == nullptr) return false;
  b->handle = dlopen(cfi::URLPath(url).c_str(), RTLD_NOW | RTLD_LOCAL);
  CFRelease(url);
  if (b->handle == nullptr) return false;
  b->loaded.store(true, std::memory_order_release);
  return true;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle) {
  return AsBundle(bundle)->loaded.load(std::memory_order_acquire);
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) {
  __CFBundle* b = AsBundle(bundle);
  if (!CFBundleLoadExecutable(bundle)) return nullptr;
  std::string name;
  try {
    if (!StringText(functionName, name)) return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(b->loadMutex);
  return dlsym(b->handle, name.c_str());
}
