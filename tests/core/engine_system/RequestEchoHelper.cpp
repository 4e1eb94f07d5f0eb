// A helper tool for the engine's tests: the real host (self-repair, relaying
// and all) with a command that runs nothing and answers with the request it
// was given, one "key=value" line per entry in the order the entries arrived,
// under "QLUninstallLog", so that a test can see exactly what the engine asked
// (of the keys the uninstall command reads).

#include "MoreSecHelperTool.h"

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <vector>

namespace {

const CFIndex kMaxEntries = 16;

void AppendString(CFTypeRef value, std::string* text) {
  if (value == NULL || CFGetTypeID(value) != CFStringGetTypeID()) {
    *text += "<not a string>";
    return;
  }
  CFStringRef string = static_cast<CFStringRef>(value);
  CFIndex length = CFStringGetLength(string);
  CFIndex used = 0;
  CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, NULL, 0, &used);
  std::string bytes(static_cast<size_t>(used), '\0');
  CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(bytes.data()), used, NULL);
  *text += bytes;
}

OSStatus EchoRequest(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response) {
  (void) auth;
  CFIndex count = CFDictionaryGetCount(request);
  if (count > kMaxEntries) return paramErr;
  std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
  CFDictionaryGetKeysAndValues(request, keys.data(), values.data());
  std::string log;
  for (CFIndex i = 0; i < count; i++) {
    AppendString(keys[static_cast<size_t>(i)], &log);
    log += '=';
    AppendString(values[static_cast<size_t>(i)], &log);
    log += '\n';
  }
  CFStringRef logString = CFStringCreateWithBytes(NULL, reinterpret_cast<const UInt8*>(log.data()),
                                                  static_cast<CFIndex>(log.size()), kCFStringEncodingUTF8, false);
  CFMutableDictionaryRef answer =
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  if (logString == NULL || answer == NULL) {
    if (logString != NULL) CFRelease(logString);
    if (answer != NULL) CFRelease(answer);
    return coreFoundationUnknownErr;
  }
  CFDictionarySetValue(answer, CFSTR("QLUninstallLog"), logString);
  CFRelease(logString);
  *response = answer;
  return noErr;
}

// What the engine sends; nothing else reaches the command.
const MoreSecRequestKey kEngineRequestKeys[] = {
    {"CommandPath", kMoreSecRequestString, 4096},
    {"PruneMIDI", kMoreSecRequestString, 4096},
    {"PruneLoginItem", kMoreSecRequestString, 4096},
};

}  // namespace

int main(int argc, char* argv[]) {
  const MoreSecCommand command = {EchoRequest, {kEngineRequestKeys, 3}, NULL};
  return MoreSecHelperToolEntry(argc, argv, &command);
}
