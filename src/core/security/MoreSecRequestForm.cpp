// The flat request form: made by the child that parsed the caller's XML, and
// read by root, which trusts none of it (see MoreSecRequestForm.h).

#include "MoreSecRequestForm.h"

#include "MoreSecProtocol.h"
#include "MoreUNIXText.h"

#include <cassert>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

const char kMagic[] = "QLRQ1\n";
const size_t kMagicLength = sizeof(kMagic) - 1;
const UInt8 kEndMarker = 0xFF;
const size_t kFieldHeader = 1 + 1 + 4;

void CheckSchema(const MoreSecRequestSchema& schema) {
  assert(schema.count <= kMoreSecRequestMaxKeys);
  assert(schema.count == 0 || schema.keys != NULL);
  for (size_t i = 0; i < schema.count; i++) {
    assert(schema.keys[i].name != NULL);
    assert(schema.keys[i].maxBytes <= static_cast<size_t>(kMoreSecMaxFrameBodyLength));
    assert(schema.keys[i].kind != kMoreSecRequestRefused);
    for (size_t j = 0; j < i; j++) assert(strcmp(schema.keys[i].name, schema.keys[j].name) != 0);
  }
}

void AppendU32(std::string* form, size_t value) {
  assert(value <= 0xFFFFFFFFu);
  for (int shift = 0; shift < 32; shift += 8) form->push_back(static_cast<char>((value >> shift) & 0xFF));
}

UInt32 ReadU32(const UInt8* p) {
  return static_cast<UInt32>(p[0]) | (static_cast<UInt32>(p[1]) << 8) | (static_cast<UInt32>(p[2]) << 16) |
         (static_cast<UInt32>(p[3]) << 24);
}

// The UTF-8 bytes of |value| when it is a string that fits |maxBytes| and
// holds no NUL.
bool StringBytes(CFTypeRef value, size_t maxBytes, std::string* bytes) {
  if (value == NULL || CFGetTypeID(value) != CFStringGetTypeID()) return false;
  CFStringRef string = static_cast<CFStringRef>(value);
  const CFIndex length = CFStringGetLength(string);
  CFIndex used = 0;
  if (CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, NULL, 0, &used) != length ||
      used < 0 || static_cast<size_t>(used) > maxBytes) {
    return false;
  }
  bytes->assign(static_cast<size_t>(used), '\0');
  if (used > 0 && CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                                   reinterpret_cast<UInt8*>(&(*bytes)[0]), used, NULL) != length) {
    return false;
  }
  return MoreSecIsCleanUTF8(reinterpret_cast<const UInt8*>(bytes->data()), bytes->size());
}

// The value bytes of |value| for |key|, or false when it is refused.
bool ValueBytes(CFTypeRef value, const MoreSecRequestKey& key, std::string* bytes) {
  switch (key.kind) {
    case kMoreSecRequestString:
      return StringBytes(value, key.maxBytes, bytes);
    case kMoreSecRequestInteger: {
      SInt64 number = 0;
      if (CFGetTypeID(value) != CFNumberGetTypeID() ||
          !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number)) {
        return false;
      }
      bytes->clear();
      const UInt64 bits = static_cast<UInt64>(number);
      for (int shift = 0; shift < 64; shift += 8) bytes->push_back(static_cast<char>((bits >> shift) & 0xFF));
      return true;
    }
    case kMoreSecRequestFlag:
      bytes->clear();
      return true;
    case kMoreSecRequestStringList: {
      if (CFGetTypeID(value) != CFArrayGetTypeID()) return false;
      CFArrayRef list = static_cast<CFArrayRef>(value);
      bytes->clear();
      std::string element;
      for (CFIndex i = 0; i < CFArrayGetCount(list); i++) {
        if (!StringBytes(CFArrayGetValueAtIndex(list, i), key.maxBytes, &element)) return false;
        if (bytes->size() + 4 + element.size() > key.maxBytes) return false;
        AppendU32(bytes, element.size());
        *bytes += element;
      }
      return true;
    }
    case kMoreSecRequestRefused:
      break;
  }
  return false;
}

CFStringRef NewString(const UInt8* bytes, size_t length) {
  return CFStringCreateWithBytes(NULL, bytes, static_cast<CFIndex>(length), kCFStringEncodingUTF8, false);
}

// Root's reading of one value that has passed the length checks; NULL when
// it is not a value of |kind|.
CFTypeRef NewValue(MoreSecRequestKind kind, const UInt8* bytes, size_t length) {
  switch (kind) {
    case kMoreSecRequestRefused:
      return length == 0 ? CFRetain(kCFBooleanFalse) : NULL;
    case kMoreSecRequestString:
      return MoreSecIsCleanUTF8(bytes, length) ? NewString(bytes, length) : NULL;
    case kMoreSecRequestInteger: {
      if (length != 8) return NULL;
      UInt64 bits = 0;
      for (int i = 7; i >= 0; i--) bits = (bits << 8) | bytes[i];
      SInt64 number = static_cast<SInt64>(bits);
      return CFNumberCreate(NULL, kCFNumberSInt64Type, &number);
    }
    case kMoreSecRequestFlag:
      return length == 0 ? CFRetain(kCFBooleanTrue) : NULL;
    case kMoreSecRequestStringList: {
      CFMutableArrayRef list = CFArrayCreateMutable(NULL, 0, &kCFTypeArrayCallBacks);
      size_t at = 0;
      while (list != NULL && at < length) {
        CFStringRef element = NULL;
        if (length - at >= 4) {
          const UInt32 elementLength = ReadU32(bytes + at);
          at += 4;
          if (elementLength <= length - at && MoreSecIsCleanUTF8(bytes + at, elementLength)) {
            element = NewString(bytes + at, elementLength);
            at += elementLength;
          }
        }
        if (element == NULL) {
          CFRelease(list);
          list = NULL;
        } else {
          CFArrayAppendValue(list, element);
          CFRelease(element);
        }
      }
      return list;
    }
  }
  return NULL;
}

}  // namespace

bool MoreSecIsCleanUTF8(const UInt8* bytes, size_t length) {
  if (length == 0) return true;
  const std::string_view text(reinterpret_cast<const char*>(bytes), length);
  return MoreUNIXFindInvalidUTF8(text) == length && text.find('\0') == std::string_view::npos;
}

size_t MoreSecRequestFormLimit(const MoreSecRequestSchema& schema) {
  CheckSchema(schema);
  size_t limit = kMagicLength + 1;
  for (size_t i = 0; i < schema.count; i++) {
    // An integer's 8 bytes may exceed a key's stated bound.
    const size_t value = schema.keys[i].maxBytes < 8 ? 8 : schema.keys[i].maxBytes;
    limit += kFieldHeader + value;
  }
  return limit;
}

void MoreSecEncodeRequestForm(CFDictionaryRef request, const MoreSecRequestSchema& schema, std::string* form) {
  assert(request != NULL && CFGetTypeID(request) == CFDictionaryGetTypeID());
  CheckSchema(schema);
  form->assign(kMagic, kMagicLength);
  // In the request's own order, which the command may see.
  const CFIndex count = CFDictionaryGetCount(request);
  std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
  if (count > 0) CFDictionaryGetKeysAndValues(request, keys.data(), values.data());
  std::string name, bytes;
  for (CFIndex i = 0; i < count; i++) {
    if (!StringBytes(keys[static_cast<size_t>(i)], static_cast<size_t>(kMoreSecMaxFrameBodyLength), &name)) continue;
    for (size_t k = 0; k < schema.count; k++) {
      if (name != schema.keys[k].name) continue;
      const bool ok = ValueBytes(values[static_cast<size_t>(i)], schema.keys[k], &bytes);
      form->push_back(static_cast<char>(k));
      form->push_back(static_cast<char>(ok ? schema.keys[k].kind : kMoreSecRequestRefused));
      AppendU32(form, ok ? bytes.size() : 0);
      if (ok) *form += bytes;
      break;
    }
  }
  form->push_back(static_cast<char>(kEndMarker));
}

OSStatus MoreSecCopyRequestFromForm(const UInt8* bytes, size_t length, const MoreSecRequestSchema& schema,
                                    CFDictionaryRef* request) {
  assert(request != NULL && *request == NULL);
  CheckSchema(schema);
  if (bytes == NULL || length > MoreSecRequestFormLimit(schema) || length < kMagicLength + 1 ||
      memcmp(bytes, kMagic, kMagicLength) != 0) {
    return coreFoundationUnknownErr;
  }
  CFMutableDictionaryRef result =
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  if (result == NULL) return coreFoundationUnknownErr;
  bool seen[kMoreSecRequestMaxKeys] = {};
  size_t at = kMagicLength;
  bool ended = false;
  bool ok = true;
  while (ok && !ended && at < length) {
    if (bytes[at] == kEndMarker) {
      ended = true;
      at++;
      break;
    }
    ok = length - at >= kFieldHeader;
    const size_t index = ok ? bytes[at] : 0;
    ok = ok && index < schema.count && !seen[index];
    const MoreSecRequestKey* key = ok ? &schema.keys[index] : NULL;
    const UInt8 kind = ok ? bytes[at + 1] : 0;
    // A flag takes any value, so the child never refuses one.
    ok = ok && (kind == key->kind || (kind == kMoreSecRequestRefused && key->kind != kMoreSecRequestFlag));
    const UInt32 valueLength = ok ? ReadU32(bytes + at + 2) : 0;
    ok = ok && valueLength <= length - at - kFieldHeader &&
         (valueLength <= key->maxBytes || (kind == kMoreSecRequestInteger && valueLength == 8));
    CFTypeRef value = NULL;
    if (ok) {
      value = NewValue(static_cast<MoreSecRequestKind>(kind), bytes + at + kFieldHeader, valueLength);
      ok = value != NULL;
    }
    CFStringRef name = NULL;
    if (ok) {
      name = CFStringCreateWithCString(NULL, key->name, kCFStringEncodingUTF8);
      ok = name != NULL;
    }
    if (ok) {
      CFDictionarySetValue(result, name, value);
      seen[index] = true;
      at += kFieldHeader + valueLength;
    }
    if (name != NULL) CFRelease(name);
    if (value != NULL) CFRelease(value);
  }
  if (!ok || !ended || at != length) {
    CFRelease(result);
    return coreFoundationUnknownErr;
  }
  *request = result;
  return noErr;
}
