// Small builders shared by the MoreCFQ tests.
#pragma once

#include "MoreCFQ.h"

#include <CoreFoundation/CFRef.h>

#include <utility>
#include <vector>

inline CFDictionaryRef MakeDict(std::vector<std::pair<CFTypeRef, CFTypeRef>> entries) {
  std::vector<const void*> keys, values;
  for (const auto& [key, value] : entries) {
    keys.push_back(key);
    values.push_back(value);
  }
  return CFDictionaryCreate(nullptr, keys.data(), values.data(), (CFIndex) keys.size(),
                            &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

inline CFArrayRef MakeArray(std::vector<CFTypeRef> items) {
  return CFArrayCreate(nullptr, items.data(), (CFIndex) items.size(), &kCFTypeArrayCallBacks);
}

inline CFNumberRef MakeNumber(long value) { return CFNumberCreate(nullptr, kCFNumberLongType, &value); }

inline long LongOf(CFTypeRef number) {
  long value = -1;
  if (CFGetTypeID(number) == CFNumberGetTypeID()) CFNumberGetValue((CFNumberRef) number, kCFNumberLongType, &value);
  return value;
}
