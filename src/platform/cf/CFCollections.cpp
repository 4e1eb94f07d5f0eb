// Arrays and dictionaries. Both retain what is put into them and release what
// is taken out; dictionaries find keys by CFHash and CFEqual in an
// open-addressing table and list entries in the order keys were first added.
#include "CFInternal.h"

#include <algorithm>
#include <new>
#include <utility>

using cfi::Object;

namespace {

const __CFArray* AsArray(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kArrayTypeID));
  return static_cast<const __CFArray*>(cf);
}

__CFArray* AsMutableArray(CFMutableArrayRef array) {
  assert(cfi::IsType(array, cfi::kArrayTypeID));
  assert(array->isMutable);
  return array;
}

const __CFDictionary* AsDictionary(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kDictionaryTypeID));
  return static_cast<const __CFDictionary*>(cf);
}

__CFDictionary* AsMutableDictionary(CFMutableDictionaryRef dict) {
  assert(cfi::IsType(dict, cfi::kDictionaryTypeID));
  assert(dict->isMutable);
  return dict;
}

void CheckRange(CFIndex count, CFRange range) {
  assert(range.location >= 0 && range.length >= 0 && range.location <= count &&
         range.length <= count - range.location);
}

void CheckArrayCallBacks(const CFArrayCallBacks* callBacks) { assert(callBacks == &kCFTypeArrayCallBacks); }

void CheckDictionaryCallBacks(const CFDictionaryKeyCallBacks* keyCallBacks,
                              const CFDictionaryValueCallBacks* valueCallBacks) {
  assert(keyCallBacks == &kCFTypeDictionaryKeyCallBacks || keyCallBacks == &kCFCopyStringDictionaryKeyCallBacks);
  assert(valueCallBacks == &kCFTypeDictionaryValueCallBacks);
}

__CFArray* NewArray(bool isMutable, const void* const* values, CFIndex count) {
  __CFArray* a = new __CFArray(isMutable);
  try {
    a->items.assign(values, values + count);
  } catch (...) {
    delete a;
    throw;
  }
  for (CFIndex i = 0; i < count; ++i) {
    assert(values[i] != NULL);
    CFRetain(values[i]);
  }
  return a;
}

// ---- Dictionary table ---------------------------------------------------------------

constexpr CFIndex kEmptySlot = -1;
constexpr CFIndex kDeletedSlot = -2;

// Finds the slot holding key, or -1. hash is CFHash(key).
CFIndex FindSlot(const __CFDictionary* d, const void* key, CFHashCode hash) {
  if (d->slots.empty()) return -1;
  size_t mask = d->slots.size() - 1;
  size_t i = static_cast<size_t>(cfi::MixHash(hash)) & mask;
  for (size_t probes = 0; probes <= mask; ++probes, i = (i + 1) & mask) {
    const __CFDictionary::Slot& s = d->slots[i];
    if (s.index == kEmptySlot) return -1;
    if (s.index == kDeletedSlot || s.hash != hash) continue;
    const void* candidate = d->entries[static_cast<size_t>(s.index)].key;
    if (candidate == key || CFEqual(candidate, key)) return static_cast<CFIndex>(i);
  }
  return -1;
}

// Rebuilds entries without holes and the index with room for `wanted` keys.
void Rebuild(__CFDictionary* d, CFIndex wanted) {
  size_t size = 8;
  while (size < static_cast<size_t>(wanted) * 2) size *= 2;
  std::vector<__CFDictionary::Entry> entries;
  entries.reserve(static_cast<size_t>(wanted));
  std::vector<__CFDictionary::Slot> slots(size, __CFDictionary::Slot{kEmptySlot, 0});
  for (const __CFDictionary::Entry& e : d->entries) {
    if (e.key != nullptr) entries.push_back(e);
  }
  size_t mask = size - 1;
  for (size_t k = 0; k < entries.size(); ++k) {
    size_t i = static_cast<size_t>(cfi::MixHash(entries[k].hash)) & mask;
    while (slots[i].index != kEmptySlot) i = (i + 1) & mask;
    slots[i] = {static_cast<CFIndex>(k), entries[k].hash};
  }
  d->entries = std::move(entries);
  d->slots = std::move(slots);
  d->deletedSlots = 0;
}

// Adds a key known to be absent; retains key and value.
void InsertNew(__CFDictionary* d, const void* key, const void* value, CFHashCode hash) {
  CFIndex used = d->count + d->deletedSlots + 1;
  if (d->slots.empty() || static_cast<size_t>(used) * 4 > d->slots.size() * 3 ||
      d->entries.size() >= static_cast<size_t>(d->count) * 2 + 16) {
    Rebuild(d, d->count + 1);
  }
  if (d->entries.size() == d->entries.capacity()) {
    d->entries.reserve(std::max<size_t>(16, d->entries.capacity() * 2));  // may throw; nothing has changed yet
  }
  size_t mask = d->slots.size() - 1;
  size_t i = static_cast<size_t>(cfi::MixHash(hash)) & mask;
  while (d->slots[i].index != kEmptySlot && d->slots[i].index != kDeletedSlot) i = (i + 1) & mask;
  if (d->slots[i].index == kDeletedSlot) --d->deletedSlots;
  d->slots[i] = {static_cast<CFIndex>(d->entries.size()), hash};
  d->entries.push_back({CFRetain(key), CFRetain(value), hash});
  ++d->count;
}

void ReplaceAt(__CFDictionary* d, CFIndex slot, const void* value) {
  __CFDictionary::Entry& e = d->entries[static_cast<size_t>(d->slots[static_cast<size_t>(slot)].index)];
  const void* old = e.value;
  e.value = CFRetain(value);  // retain first: value may be the one it replaces
  CFRelease(old);
}

void RemoveAt(__CFDictionary* d, CFIndex slot) {
  __CFDictionary::Entry& e = d->entries[static_cast<size_t>(d->slots[static_cast<size_t>(slot)].index)];
  const void* key = e.key;
  const void* value = e.value;
  e.key = nullptr;
  e.value = nullptr;
  d->slots[static_cast<size_t>(slot)].index = kDeletedSlot;
  ++d->deletedSlots;
  --d->count;
  CFRelease(key);
  CFRelease(value);
}

__CFDictionary* NewDictionary(bool isMutable, const void* const* keys, const void* const* values, CFIndex n) {
  __CFDictionary* d = new __CFDictionary(isMutable);
  try {
    if (n > 0) Rebuild(d, n);
    for (CFIndex k = 0; k < n; ++k) {
      assert(keys[k] != NULL && values[k] != NULL);
      CFHashCode h = CFHash(keys[k]);
      CFIndex slot = FindSlot(d, keys[k], h);
      if (slot >= 0) {
        ReplaceAt(d, slot, values[k]);  // a repeated key: the last value wins
      } else {
        InsertNew(d, keys[k], values[k], h);
      }
    }
  } catch (...) {
    CFRelease(d);
    throw;
  }
  return d;
}

template <typename Body>
void Mutate(const char* routine, Body&& body) {
  try {
    body();
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory(routine);
  }
}

}  // namespace

// ---- Internal ---------------------------------------------------------------------------

void cfi::ArrayReleaseChildren(Object* o, Object** doomed) {
  __CFArray* a = static_cast<__CFArray*>(o);
  for (const void* v : a->items) ReleaseInto(v, doomed);
  a->items.clear();
}

void cfi::ArrayDestroy(Object* o) { delete static_cast<__CFArray*>(o); }

CFIndex cfi::ArrayCount(const Object* o) { return static_cast<CFIndex>(static_cast<const __CFArray*>(o)->items.size()); }

const void* cfi::ArrayItem(const Object* o, CFIndex idx) {
  return static_cast<const __CFArray*>(o)->items[static_cast<size_t>(idx)];
}

void cfi::DictionaryReleaseChildren(Object* o, Object** doomed) {
  __CFDictionary* d = static_cast<__CFDictionary*>(o);
  for (const __CFDictionary::Entry& e : d->entries) {
    if (e.key == nullptr) continue;
    ReleaseInto(e.key, doomed);
    ReleaseInto(e.value, doomed);
  }
  d->entries.clear();
  d->count = 0;
}

void cfi::DictionaryDestroy(Object* o) { delete static_cast<__CFDictionary*>(o); }

CFIndex cfi::DictionaryCount(const Object* o) { return static_cast<const __CFDictionary*>(o)->count; }

const void* cfi::DictionaryFind(const Object* o, const void* key, CFHashCode hash) {
  const __CFDictionary* d = static_cast<const __CFDictionary*>(o);
  CFIndex slot = FindSlot(d, key, hash);
  if (slot < 0) return nullptr;
  return d->entries[static_cast<size_t>(d->slots[static_cast<size_t>(slot)].index)].value;
}

// ---- Arrays ---------------------------------------------------------------------------------

CFTypeID CFArrayGetTypeID(void) { return cfi::kArrayTypeID; }

CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  CheckArrayCallBacks(callBacks);
  assert(numValues >= 0);
  assert(values != NULL || numValues == 0);
  try {
    return NewArray(false, values, numValues);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef alloc, CFArrayRef array) {
  const __CFArray* a = AsArray(array);
  if (!a->isMutable) return static_cast<CFArrayRef>(CFRetain(array));
  try {
    return NewArray(false, a->items.data(), static_cast<CFIndex>(a->items.size()));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity, const CFArrayCallBacks* callBacks) {
  CheckArrayCallBacks(callBacks);
  assert(capacity >= 0);
  return new (std::nothrow) __CFArray(true);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity, CFArrayRef array) {
  const __CFArray* a = AsArray(array);
  assert(capacity >= 0);
  try {
    return NewArray(true, a->items.data(), static_cast<CFIndex>(a->items.size()));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFIndex CFArrayGetCount(CFArrayRef array) { return static_cast<CFIndex>(AsArray(array)->items.size()); }

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx) {
  const __CFArray* a = AsArray(array);
  assert(idx >= 0 && static_cast<size_t>(idx) < a->items.size());
  return a->items[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef array, CFRange range, const void** values) {
  const __CFArray* a = AsArray(array);
  CheckRange(static_cast<CFIndex>(a->items.size()), range);
  assert(values != NULL || range.length == 0);
  for (CFIndex i = 0; i < range.length; ++i) values[i] = a->items[static_cast<size_t>(range.location + i)];
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef array, CFRange range, const void* value) {
  const __CFArray* a = AsArray(array);
  CheckRange(static_cast<CFIndex>(a->items.size()), range);
  assert(value != NULL);
  for (CFIndex i = range.location; i < range.location + range.length; ++i) {
    if (CFEqual(a->items[static_cast<size_t>(i)], value)) return i;
  }
  return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, const void* value) {
  return CFArrayGetFirstIndexOfValue(array, range, value) != kCFNotFound;
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
  __CFArray* a = AsMutableArray(array);
  assert(value != NULL);
  Mutate("CFArrayAppendValue", [&] { a->items.push_back(value); });
  CFRetain(value);
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value) {
  __CFArray* a = AsMutableArray(array);
  assert(idx >= 0 && static_cast<size_t>(idx) <= a->items.size());
  assert(value != NULL);
  Mutate("CFArrayInsertValueAtIndex", [&] { a->items.insert(a->items.begin() + idx, value); });
  CFRetain(value);
}

void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value) {
  __CFArray* a = AsMutableArray(array);
  assert(idx >= 0 && static_cast<size_t>(idx) <= a->items.size());
  assert(value != NULL);
  if (static_cast<size_t>(idx) == a->items.size()) {
    CFArrayAppendValue(array, value);
    return;
  }
  const void* old = a->items[static_cast<size_t>(idx)];
  a->items[static_cast<size_t>(idx)] = CFRetain(value);
  CFRelease(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex idx) {
  __CFArray* a = AsMutableArray(array);
  assert(idx >= 0 && static_cast<size_t>(idx) < a->items.size());
  const void* old = a->items[static_cast<size_t>(idx)];
  a->items.erase(a->items.begin() + idx);
  CFRelease(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef array) {
  __CFArray* a = AsMutableArray(array);
  std::vector<const void*> old;
  old.swap(a->items);
  for (const void* v : old) CFRelease(v);
}

void CFArrayAppendArray(CFMutableArrayRef array, CFArrayRef otherArray, CFRange otherRange) {
  __CFArray* a = AsMutableArray(array);
  const __CFArray* other = AsArray(otherArray);
  CheckRange(static_cast<CFIndex>(other->items.size()), otherRange);
  Mutate("CFArrayAppendArray", [&] { a->items.reserve(a->items.size() + static_cast<size_t>(otherRange.length)); });
  // Index by position: other may be this very array.
  for (CFIndex i = 0; i < otherRange.length; ++i) {
    const void* v = other->items[static_cast<size_t>(otherRange.location + i)];
    a->items.push_back(CFRetain(v));
  }
}

void CFArrayApplyFunction(CFArrayRef array, CFRange range, CFArrayApplierFunction applier, void* context) {
  const __CFArray* a = AsArray(array);
  CheckRange(static_cast<CFIndex>(a->items.size()), range);
  assert(applier != NULL);
  // Re-check the size on each step, so an applier that (wrongly) removes
  // values cannot make this loop read past the end.
  for (CFIndex i = range.location; i < range.location + range.length && static_cast<size_t>(i) < a->items.size();
       ++i) {
    applier(a->items[static_cast<size_t>(i)], context);
  }
}

// ---- Dictionaries ----------------------------------------------------------------------------

CFTypeID CFDictionaryGetTypeID(void) { return cfi::kDictionaryTypeID; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef alloc, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  CheckDictionaryCallBacks(keyCallBacks, valueCallBacks);
  assert(numValues >= 0);
  assert((keys != NULL && values != NULL) || numValues == 0);
  try {
    return NewDictionary(false, keys, values, numValues);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

__CFDictionary* CopyDictionary(const __CFDictionary* d, bool isMutable) {
  std::vector<const void*> keys, values;
  keys.reserve(static_cast<size_t>(d->count));
  values.reserve(static_cast<size_t>(d->count));
  for (const __CFDictionary::Entry& e : d->entries) {
    if (e.key == nullptr) continue;
    keys.push_back(e.key);
    values.push_back(e.value);
  }
  return NewDictionary(isMutable, keys.data(), values.data(), static_cast<CFIndex>(keys.size()));
}

}  // namespace

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef alloc, CFDictionaryRef dict) {
  const __CFDictionary* d = AsDictionary(dict);
  if (!d->isMutable) return static_cast<CFDictionaryRef>(CFRetain(dict));
  try {
    return CopyDictionary(d, false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
  CheckDictionaryCallBacks(keyCallBacks, valueCallBacks);
  assert(capacity >= 0);
  return new (std::nothrow) __CFDictionary(true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity, CFDictionaryRef dict) {
  const __CFDictionary* d = AsDictionary(dict);
  assert(capacity >= 0);
  try {
    return CopyDictionary(d, true);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) { return AsDictionary(dict)->count; }

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value) {
  const __CFDictionary* d = AsDictionary(dict);
  assert(key != NULL);
  const void* found = d->count == 0 ? nullptr : cfi::DictionaryFind(d, key, CFHash(key));
  if (found != nullptr && value != nullptr) *value = found;
  return found != nullptr;
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key) {
  const void* value = nullptr;
  CFDictionaryGetValueIfPresent(dict, key, &value);
  return value;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key) {
  return CFDictionaryGetValueIfPresent(dict, key, nullptr);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values) {
  const __CFDictionary* d = AsDictionary(dict);
  size_t k = 0;
  for (const __CFDictionary::Entry& e : d->entries) {
    if (e.key == nullptr) continue;
    if (keys != nullptr) keys[k] = e.key;
    if (values != nullptr) values[k] = e.value;
    ++k;
  }
}

void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
  __CFDictionary* d = AsMutableDictionary(dict);
  assert(key != NULL && value != NULL);
  CFHashCode h = CFHash(key);
  CFIndex slot = FindSlot(d, key, h);
  if (slot >= 0) {
    ReplaceAt(d, slot, value);
  } else {
    Mutate("CFDictionarySetValue", [&] { InsertNew(d, key, value, h); });
  }
}

void CFDictionaryAddValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
  __CFDictionary* d = AsMutableDictionary(dict);
  assert(key != NULL && value != NULL);
  CFHashCode h = CFHash(key);
  if (FindSlot(d, key, h) >= 0) return;
  Mutate("CFDictionaryAddValue", [&] { InsertNew(d, key, value, h); });
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
  __CFDictionary* d = AsMutableDictionary(dict);
  assert(key != NULL && value != NULL);
  CFIndex slot = FindSlot(d, key, CFHash(key));
  if (slot >= 0) ReplaceAt(d, slot, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key) {
  __CFDictionary* d = AsMutableDictionary(dict);
  assert(key != NULL);
  CFIndex slot = FindSlot(d, key, CFHash(key));
  if (slot >= 0) RemoveAt(d, slot);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dict) {
  __CFDictionary* d = AsMutableDictionary(dict);
  std::vector<__CFDictionary::Entry> old;
  old.swap(d->entries);
  d->slots.clear();
  d->count = 0;
  d->deletedSlots = 0;
  for (const __CFDictionary::Entry& e : old) {
    if (e.key == nullptr) continue;
    CFRelease(e.key);
    CFRelease(e.value);
  }
}

void CFDictionaryApplyFunction(CFDictionaryRef dict, CFDictionaryApplierFunction applier, void* context) {
  const __CFDictionary* d = AsDictionary(dict);
  assert(applier != NULL);
  // Index by position, so an applier that (wrongly) adds to the dictionary
  // cannot make this loop read freed storage.
  for (size_t i = 0; i < d->entries.size(); ++i) {
    const __CFDictionary::Entry e = d->entries[i];
    if (e.key != nullptr) applier(e.key, e.value, context);
  }
}
