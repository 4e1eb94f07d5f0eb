// Private layout of the property-list objects, shared by the files of this
// library only. Every object starts with Object; the public opaque types
// (struct __CFString and friends) derive from it with single, non-virtual
// inheritance, so a CFTypeRef points at its Object.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cassert>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace cfi {

enum : CFTypeID {
  kAllocatorTypeID = 1,
  kStringTypeID,
  kNumberTypeID,
  kBooleanTypeID,
  kDataTypeID,
  kDateTypeID,
  kArrayTypeID,
  kDictionaryTypeID,
  kURLTypeID,
  kBundleTypeID,
};

// Catches stray pointers handed to the object calls before they do harm.
constexpr uint32_t kObjectMagic = 0x51434630u;

// What CFGetRetainCount reports for objects that live for ever.
constexpr CFIndex kImmortalRetainCount = 0x7fffffff;

struct Object {
  uint32_t magic;
  uint8_t typeID;
  bool isMutable;
  bool isImmortal;
  std::atomic<CFIndex> retainCount;
  // Links objects whose count reached zero, so that freeing a deep tree needs
  // neither recursion nor an allocation.
  Object* nextDoomed;

  constexpr Object(CFTypeID type, bool mutableObject, bool immortal)
      : magic(kObjectMagic),
        typeID(static_cast<uint8_t>(type)),
        isMutable(mutableObject),
        isImmortal(immortal),
        retainCount(1),
        nextDoomed(nullptr) {}
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
};

inline const Object* ObjectOf(CFTypeRef cf) {
  assert(cf != NULL);
  const Object* o = static_cast<const Object*>(cf);
  assert(o->magic == kObjectMagic);
  return o;
}

inline Object* MutableObjectOf(CFTypeRef cf) { return const_cast<Object*>(ObjectOf(cf)); }

inline bool IsType(CFTypeRef cf, CFTypeID type) { return ObjectOf(cf)->typeID == type; }

// Ends the process when a call that has no way to report failure cannot get
// the memory it needs; every call that can return NULL reports it instead.
[[noreturn]] void FatalOutOfMemory(const char* routine);

// ---- Strings (CFString.cpp) ----
// Decodes strict UTF-8. Returns false on any malformed, overlong, surrogate or
// out-of-range sequence.
bool DecodeUTF8(const UInt8* bytes, size_t length, std::u16string& out);
// Decodes UTF-8, replacing each malformed sequence with U+FFFD.
void DecodeUTF8Lenient(const UInt8* bytes, size_t length, std::u16string& out);
// Encodes UTF-16 units as UTF-8. Returns false on an unpaired surrogate.
bool EncodeUTF8(const char16_t* units, size_t length, std::string& out);
CFStringRef StringCreateFromUnits(const char16_t* units, size_t length, bool mutableString);
const char16_t* StringUnits(CFStringRef str, CFIndex* length);
// The string as UTF-8; false when it holds an unpaired surrogate.
bool StringToUTF8(CFStringRef str, std::string& out);
bool StringEqual(const Object* a, const Object* b);
CFHashCode StringHash(const Object* s);
void StringDestroy(Object* s);
// Appends a short human-readable description of any object.
void AppendDescription(std::u16string& out, CFTypeRef cf);

// ---- Numbers, booleans, data, dates (CFNumber.cpp) ----
bool NumberEqual(const Object* a, const Object* b);
CFHashCode NumberHash(const Object* n);
void NumberDestroy(Object* n);
void AppendNumberDescription(std::u16string& out, CFNumberRef n);
bool DataEqual(const Object* a, const Object* b);
CFHashCode DataHash(const Object* d);
void DataDestroy(Object* d);
bool DateEqual(const Object* a, const Object* b);
CFHashCode DateHash(const Object* d);
void DateDestroy(Object* d);
CFHashCode HashDouble(double value);

// ---- Containers (CFCollections.cpp) ----
// Releases the values held by a container about to be freed; values whose
// count drops to zero are pushed on *doomed rather than freed at once.
void ArrayReleaseChildren(Object* a, Object** doomed);
void ArrayDestroy(Object* a);
CFIndex ArrayCount(const Object* a);
const void* ArrayItem(const Object* a, CFIndex idx);
void DictionaryReleaseChildren(Object* d, Object** doomed);
void DictionaryDestroy(Object* d);
CFIndex DictionaryCount(const Object* d);
// Calls visit(key, value, hash) for each entry until it returns false.
template <typename Visit>
bool DictionaryForEach(const Object* d, Visit&& visit);
// Finds the value of a key whose hash is already known; NULL when absent.
const void* DictionaryFind(const Object* d, const void* key, CFHashCode hash);

// ---- URLs and bundles ----
bool URLEqual(const Object* a, const Object* b);
CFHashCode URLHash(const Object* u);
void URLDestroy(Object* u);
const std::string& URLPath(CFURLRef url);
void BundleReleaseChildren(Object* b, Object** doomed);
void BundleDestroy(Object* b);

// Drops one reference held by a container being freed; pushes the object on
// *doomed when that was the last one.
inline void ReleaseInto(CFTypeRef cf, Object** doomed) {
  Object* o = MutableObjectOf(cf);
  if (o->isImmortal) return;
  CFIndex before = o->retainCount.fetch_sub(1, std::memory_order_acq_rel);
  assert(before > 0);
  if (before == 1) {
    o->nextDoomed = *doomed;
    *doomed = o;
  }
}

constexpr CFHashCode MixHash(CFHashCode h) {
  // 64-bit finaliser (splitmix64): spreads near values over the table.
  uint64_t x = h;
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  x ^= x >> 31;
  return static_cast<CFHashCode>(x);
}

}  // namespace cfi

// ---- Object layouts ----

struct __CFAllocator : cfi::Object {
  constexpr __CFAllocator() : Object(cfi::kAllocatorTypeID, false, true) {}
};

struct __CFString : cfi::Object {
  char16_t* units;   // owned unless the string is a built-in constant
  CFIndex length;
  CFIndex capacity;
  bool ownsUnits;
  std::atomic<char*> utf8;            // NUL-terminated UTF-8 copy, made on demand
  std::atomic<CFHashCode> cachedHash;  // 0: not yet computed (immutable strings only)

  constexpr __CFString(const char16_t* constantUnits, CFIndex constantLength)
      : Object(cfi::kStringTypeID, false, true),
        units(const_cast<char16_t*>(constantUnits)),
        length(constantLength),
        capacity(constantLength),
        ownsUnits(false),
        utf8(nullptr),
        cachedHash(0) {}
  explicit __CFString(bool mutableString)
      : Object(cfi::kStringTypeID, mutableString, false),
        units(nullptr),
        length(0),
        capacity(0),
        ownsUnits(true),
        utf8(nullptr),
        cachedHash(0) {}
};

struct __CFNumber : cfi::Object {
  bool isFloat;
  int64_t integerValue;
  double realValue;
  __CFNumber() : Object(cfi::kNumberTypeID, false, false), isFloat(false), integerValue(0), realValue(0) {}
};

struct __CFBoolean : cfi::Object {
  bool value;
  constexpr explicit __CFBoolean(bool v) : Object(cfi::kBooleanTypeID, false, true), value(v) {}
};

struct __CFData : cfi::Object {
  enum class Storage : uint8_t { kOwned, kFreeWhenDone, kBorrowed };
  UInt8* bytes = nullptr;
  CFIndex length = 0;
  CFIndex capacity = 0;
  Storage storage = Storage::kOwned;
  explicit __CFData(bool mutableData) : Object(cfi::kDataTypeID, mutableData, false) {}
};

struct __CFDate : cfi::Object {
  CFAbsoluteTime at;
  explicit __CFDate(CFAbsoluteTime t) : Object(cfi::kDateTypeID, false, false), at(t) {}
};

struct __CFArray : cfi::Object {
  std::vector<const void*> items;
  explicit __CFArray(bool mutableArray) : Object(cfi::kArrayTypeID, mutableArray, false) {}
};

struct __CFDictionary : cfi::Object {
  struct Entry {
    const void* key;  // NULL: a removed entry, skipped until the next compaction
    const void* value;
    CFHashCode hash;
  };
  // Entries in the order their keys were first added.
  std::vector<Entry> entries;
  // Open-addressing index into entries; kEmptySlot / kDeletedSlot mark free
  // slots. The key's hash sits beside the index so that probing past other
  // keys touches only this table.
  struct Slot {
    CFIndex index;
    CFHashCode hash;
  };
  std::vector<Slot> slots;
  CFIndex count = 0;
  CFIndex deletedSlots = 0;
  explicit __CFDictionary(bool mutableDictionary)
      : Object(cfi::kDictionaryTypeID, mutableDictionary, false) {}
};

struct __CFURL : cfi::Object {
  std::string path;  // absolute, no empty or "." components, no trailing slash except "/"
  bool isDirectory = false;
  __CFURL() : Object(cfi::kURLTypeID, false, false) {}
};

struct __CFBundle : cfi::Object {
  CFURLRef url = nullptr;
  CFDictionaryRef info = nullptr;  // never NULL once created: empty without Info.plist
  std::mutex loadMutex;
  void* handle = nullptr;
  std::atomic<bool> loaded{false};
  __CFBundle() : Object(cfi::kBundleTypeID, false, false) {}
};

template <typename Visit>
bool cfi::DictionaryForEach(const Object* d, Visit&& visit) {
  const __CFDictionary* dict = static_cast<const __CFDictionary*>(d);
  for (const __CFDictionary::Entry& e : dict->entries) {
    if (e.key == nullptr) continue;
    if (!visit(e.key, e.value, e.hash)) return false;
  }
  return true;
}
