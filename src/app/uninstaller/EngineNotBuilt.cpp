// Stands in for the uninstall engine while the tree has no engine library
// (quillon_engine), so that the application builds and opens. Every
// uninstall then fails with unimpErr and says so in the log; nothing is
// removed. The build uses this file only while that library is missing.
#include <UninstallerEngine.h>

#include <cassert>

namespace {
constexpr OSStatus kUnimplementedErr = -4;  // unimpErr
}

OSStatus UninstallerEngine(CFStringRef* log, Boolean) {
  assert(log != nullptr && *log == nullptr);
  *log = CFStringCreateWithCString(nullptr, "Uninstaller failed with error -4 (0xfffffffc)\n",
                                   kCFStringEncodingUTF8);
  return kUnimplementedErr;
}

OSStatus UninstallerEngineWithOptions(CFStringRef* log, Boolean removeMidiDevices, const UninstallerEngineOptions*) {
  return UninstallerEngine(log, removeMidiDevices);
}

void* UninstallerTask(void*) { return nullptr; }
