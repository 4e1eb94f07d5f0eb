// libFuzzer target: arbitrary bytes through the XML property-list reader.
//
// Besides "no crash, no leak, no hang", it checks the round-trip property:
// whatever the reader accepts, the writer can write, and reading that text
// gives a list that writes to the very same text.
#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

CFDataRef Serialise(CFPropertyListRef plist) {
  CFDataRef xml = CFPropertyListCreateXMLData(nullptr, plist);
  if (xml == nullptr) abort();  // a list we read must be writable
  if (!CFPropertyListIsValid(plist, kCFPropertyListXMLFormat_v1_0)) abort();
  return xml;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  CFDataRef input = CFDataCreateWithBytesNoCopy(nullptr, bytes, static_cast<CFIndex>(size), kCFAllocatorNull);
  // The mutability option only changes which objects are built; vary it with
  // the input so that every path is exercised.
  const CFOptionFlags mutability = size == 0 ? 0 : bytes[size - 1] % 3;
  CFStringRef error = nullptr;
  CFPropertyListRef plist = CFPropertyListCreateFromXMLData(nullptr, input, mutability, &error);
  if ((plist == nullptr) != (error != nullptr)) abort();
  if (error != nullptr) CFRelease(error);
  if (plist != nullptr) {
    CFDataRef first = Serialise(plist);
    CFPropertyListRef again = CFPropertyListCreateFromXMLData(nullptr, first, kCFPropertyListImmutable, nullptr);
    if (again == nullptr) abort();
    CFDataRef second = Serialise(again);
    if (CFDataGetLength(first) != CFDataGetLength(second) ||
        memcmp(CFDataGetBytePtr(first), CFDataGetBytePtr(second), static_cast<size_t>(CFDataGetLength(first))) != 0) {
      abort();
    }
    CFRelease(second);
    CFRelease(again);
    CFRelease(first);
    CFRelease(plist);
  }
  CFRelease(input);
  return 0;
}
