// libFuzzer target: arbitrary bytes as the flat request form that root reads
// from the parsing child, under a schema with one key of every kind.
//
// Checks, besides memory safety, that a form root accepts holds only the
// schema's keys, each of its kind or refused (kCFBooleanFalse), with strings
// that fit their key's bound, and that the child's encoder gives back exactly
// the same form for that request.
#include <CoreFoundation/CoreFoundation.h>

#include "MoreSecRequestForm.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const MoreSecRequestKey kKeys[] = {
    {"CommandPath", kMoreSecRequestString, 64},
    {"Status", kMoreSecRequestInteger, 8},
    {"Quiet", kMoreSecRequestFlag, 0},
    {"Files", kMoreSecRequestStringList, 64},
};
const MoreSecRequestSchema kSchema = {kKeys, 4};

CFTypeID KindType(MoreSecRequestKind kind) {
  switch (kind) {
    case kMoreSecRequestString:
      return CFStringGetTypeID();
    case kMoreSecRequestInteger:
      return CFNumberGetTypeID();
    case kMoreSecRequestFlag:
      return CFBooleanGetTypeID();
    case kMoreSecRequestStringList:
      return CFArrayGetTypeID();
    case kMoreSecRequestRefused:
      break;
  }
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  CFDictionaryRef request = nullptr;
  const OSStatus err = MoreSecCopyRequestFromForm(bytes, size, kSchema, &request);
  if ((err == noErr) != (request != nullptr)) abort();
  if (request == nullptr) return 0;
  if (size > MoreSecRequestFormLimit(kSchema)) abort();

  const CFIndex count = CFDictionaryGetCount(request);
  if (count > 4) abort();
  const void* keys[4];
  const void* values[4];
  CFDictionaryGetKeysAndValues(request, keys, values);
  for (CFIndex i = 0; i < count; i++) {
    char name[32];
    if (!CFStringGetCString(static_cast<CFStringRef>(keys[i]), name, sizeof name, kCFStringEncodingUTF8)) abort();
    const MoreSecRequestKey* key = nullptr;
    for (const MoreSecRequestKey& k : kKeys) {
      if (strcmp(k.name, name) == 0) key = &k;
    }
    if (key == nullptr) abort();
    if (values[i] == kCFBooleanFalse) continue;
    if (CFGetTypeID(values[i]) != KindType(key->kind)) abort();
    if (key->kind == kMoreSecRequestString) {
      CFIndex used = 0;
      CFStringRef s = static_cast<CFStringRef>(values[i]);
      CFStringGetBytes(s, CFRangeMake(0, CFStringGetLength(s)), kCFStringEncodingUTF8, 0, false, NULL, 0, &used);
      if (static_cast<size_t>(used) > key->maxBytes) abort();
    }
  }
  // What root accepted is what the child would have sent for it.
  std::string again;
  MoreSecEncodeRequestForm(request, kSchema, &again);
  if (again.size() != size || memcmp(again.data(), bytes, size) != 0) abort();
  CFRelease(request);
  return 0;
}
