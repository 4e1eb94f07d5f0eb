// A helper tool for tests: the real host with a command that echoes the
// request into the response. Request keys it understands:
//   "Status"      integer: the status the command returns
//   "OpenFiles"   array of paths: opened (as root when it can) and passed back
//   "ProbeRoot"   any: the response says whether root could be taken
//   "Summary"     any: the response holds only "RequestBytes", the length of
//                 the request's string values, instead of an echo (so that a
//                 request of the largest size gets an answer that fits)
// The response also holds "EffectiveUID" and "RealUID" as seen by the command.

#include "MoreSecHelperTool.h"
#include "MoreSecHygiene.h"

#include <CoreFoundation/CoreFoundation.h>

#include <fcntl.h>
#include <vector>
#include <unistd.h>

namespace {

void SetInt(CFMutableDictionaryRef dict, CFStringRef key, long long value) {
  CFNumberRef number = CFNumberCreate(NULL, kCFNumberLongLongType, &value);
  CFDictionarySetValue(dict, key, number);
  CFRelease(number);
}

OSStatus EchoCommand(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response) {
  CFMutableDictionaryRef result =
      CFDictionaryContainsKey(request, CFSTR("Summary"))
          ? CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks)
          : CFDictionaryCreateMutableCopy(NULL, 0, request);
  if (result == NULL) {
    return coreFoundationUnknownErr;
  }
  if (CFDictionaryContainsKey(request, CFSTR("Summary"))) {
    CFIndex count = CFDictionaryGetCount(request);
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(request, NULL, values.data());
    long long bytes = 0;
    for (const void* value : values) {
      if (CFGetTypeID(value) == CFStringGetTypeID()) bytes += CFStringGetLength(static_cast<CFStringRef>(value));
    }
    SetInt(result, CFSTR("RequestBytes"), bytes);
  }
  SetInt(result, CFSTR("EffectiveUID"), geteuid());
  SetInt(result, CFSTR("RealUID"), getuid());

  OSStatus status = noErr;
  CFTypeRef wanted = CFDictionaryGetValue(request, CFSTR("Status"));
  if (wanted != NULL && CFGetTypeID(wanted) == CFNumberGetTypeID()) {
    SInt32 value = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(wanted), kCFNumberSInt32Type, &value);
    status = value;
  }
  if (CFDictionaryContainsKey(request, CFSTR("ProbeRoot"))) {
    bool root = MoreSecSetPrivilegedEUID() == 0;
    CFDictionarySetValue(result, CFSTR("CouldTakeRoot"), root ? kCFBooleanTrue : kCFBooleanFalse);
    if (root) {
      (void) MoreSecTemporarilySetNonPrivilegedEUID();
    }
  }
  CFTypeRef files = CFDictionaryGetValue(request, CFSTR("OpenFiles"));
  if (files != NULL && CFGetTypeID(files) == CFArrayGetTypeID()) {
    CFMutableArrayRef fds = CFArrayCreateMutable(NULL, 0, &kCFTypeArrayCallBacks);
    for (CFIndex i = 0; i < CFArrayGetCount(static_cast<CFArrayRef>(files)); i++) {
      CFStringRef path = static_cast<CFStringRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(files), i));
      char buffer[1024];
      if (CFGetTypeID(path) != CFStringGetTypeID() ||
          !CFStringGetCString(path, buffer, sizeof(buffer), kCFStringEncodingUTF8)) {
        continue;
      }
      int fd = open(buffer, O_RDWR | O_CLOEXEC);
      if (fd >= 0) {
        CFNumberRef number = CFNumberCreate(NULL, kCFNumberIntType, &fd);
        CFArrayAppendValue(fds, number);
        CFRelease(number);
      }
    }
    CFDictionarySetValue(result, CFSTR("com.quillon.MoreSec.FDs"), fds);
    CFRelease(fds);
  }
  *response = result;
  return status;
}

// Only these keys reach the command; "p" is the padding of the largest request.
const MoreSecRequestKey kEchoRequestKeys[] = {
    {"Status", kMoreSecRequestInteger, 8},
    {"OpenFiles", kMoreSecRequestStringList, 64 * 1024},
    {"ProbeRoot", kMoreSecRequestFlag, 0},
    {"Summary", kMoreSecRequestFlag, 0},
    {"p", kMoreSecRequestString, kMoreSecMaxFrameBodyLength},
};

}  // namespace

int main(int argc, char* argv[]) {
  const MoreSecCommand command = {EchoCommand, {kEchoRequestKeys, sizeof kEchoRequestKeys / sizeof kEchoRequestKeys[0]},
                                  NULL};
  return MoreSecHelperToolEntry(argc, argv, &command);
}
