// Reference counting, type identities, equality and hashing for every object,
// plus the allocators and the standard callback tables.
#include "CFInternal.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

using cfi::Object;

namespace {

constinit __CFAllocator gSystemDefaultAllocator;
constinit __CFAllocator gMallocAllocator;
constinit __CFAllocator gNullAllocator;

}  // namespace

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = &gSystemDefaultAllocator;
const CFAllocatorRef kCFAllocatorMalloc = &gMallocAllocator;
const CFAllocatorRef kCFAllocatorNull = &gNullAllocator;

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {1};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {2};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {3};
const CFArrayCallBacks kCFTypeArrayCallBacks = {4};

void cfi::FatalOutOfMemory(const char* routine) {
  fprintf(stderr, "%s: out of memory\n", routine);
  abort();
}

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint) {
  if (allocator == kCFAllocatorNull || size <= 0) return nullptr;
  return malloc(static_cast<size_t>(size));
}

void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr) {
  if (allocator == kCFAllocatorNull) return;
  free(ptr);
}

CFTypeRef CFRetain(CFTypeRef cf) {
  assert(cf != NULL);
  Object* o = cfi::MutableObjectOf(cf);
  if (o->isImmortal) return cf;
  CFIndex before = o->retainCount.fetch_add(1, std::memory_order_relaxed);
  // A count this high can only come from a leak in a loop; wrapping it would
  // free a live object.
  assert(before > 0 && before < cfi::kImmortalRetainCount);
  return cf;
}

// A program that never makes a bundle (the helper tool) must not carry the
// bundle code and its dlopen: the runtime refers to it weakly. A bundle
// object exists only where CFBundle.cpp, which defines both, is linked.
namespace cfi {
void BundleReleaseChildren(Object* b, Object** doomed) __attribute__((weak));
void BundleDestroy(Object* b) __attribute__((weak));
}  // namespace cfi

namespace {

// Frees one object whose children have already been released.
void DestroyOne(Object* o) {
  switch (o->typeID) {
    case cfi::kStringTypeID: cfi::StringDestroy(o); break;
    case cfi::kNumberTypeID: cfi::NumberDestroy(o); break;
    case cfi::kDataTypeID: cfi::DataDestroy(o); break;
    case cfi::kDateTypeID: cfi::DateDestroy(o); break;
    case cfi::kArrayTypeID: cfi::ArrayDestroy(o); break;
    case cfi::kDictionaryTypeID: cfi::DictionaryDestroy(o); break;
    case cfi::kURLTypeID: cfi::URLDestroy(o); break;
    case cfi::kBundleTypeID: cfi::BundleDestroy(o); break;
    default: assert(!"object of unknown type"); break;
  }
}

// Frees an object and everything only it kept alive. Objects waiting to be
// freed form a list through nextDoomed, so the depth of a nested tree costs
// neither stack nor memory.
void DestroyTree(Object* first) {
  first->nextDoomed = nullptr;
  Object* doomed = first;
  while (doomed != nullptr) {
    Object* o = doomed;
    doomed = o->nextDoomed;
    switch (o->typeID) {
      case cfi::kArrayTypeID: cfi::ArrayReleaseChildren(o, &doomed); break;
      case cfi::kDictionaryTypeID: cfi::DictionaryReleaseChildren(o, &doomed); break;
      case cfi::kBundleTypeID: cfi::BundleReleaseChildren(o, &doomed); break;
      default: break;
    }
    DestroyOne(o);
  }
}

}  // namespace

void CFRelease(CFTypeRef cf) {
  assert(cf != NULL);
  Object* o = cfi::MutableObjectOf(cf);
  if (o->isImmortal) return;
  CFIndex before = o->retainCount.fetch_sub(1, std::memory_order_acq_rel);
  assert(before > 0);
  if (before == 1) DestroyTree(o);
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  const Object* o = cfi::ObjectOf(cf);
  if (o->isImmortal) return cfi::kImmortalRetainCount;
  return o->retainCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf) { return cfi::ObjectOf(cf)->typeID; }

namespace {

// Nested CFEqual calls happen only when dictionary keys are themselves
// containers holding dictionaries; each level is iterative, but the nesting is
// bounded so that a hostile key structure cannot exhaust the stack.
constexpr int kMaxEqualNesting = 64;
thread_local int tEqualNesting = 0;

bool LeafEqual(const Object* a, const Object* b) {
  switch (a->typeID) {
    case cfi::kStringTypeID: return cfi::StringEqual(a, b);
    case cfi::kNumberTypeID: return cfi::NumberEqual(a, b);
    case cfi::kDataTypeID: return cfi::DataEqual(a, b);
    case cfi::kDateTypeID: return cfi::DateEqual(a, b);
    case cfi::kURLTypeID: return cfi::URLEqual(a, b);
    default: return false;  // booleans, allocators and bundles are equal only to themselves
  }
}

bool IsContainer(const Object* o) {
  return o->typeID == cfi::kArrayTypeID || o->typeID == cfi::kDictionaryTypeID;
}

// Compares two trees with an explicit stack of pending pairs.
bool DeepEqual(const Object* a, const Object* b) {
  std::vector<std::pair<const Object*, const Object*>> pending;
  pending.emplace_back(a, b);
  while (!pending.empty()) {
    const Object* x = pending.back().first;
    const Object* y = pending.back().second;
    pending.pop_back();
    if (x == y) continue;
    if (x->typeID != y->typeID) return false;
    if (x->typeID == cfi::kArrayTypeID) {
      CFIndex n = cfi::ArrayCount(x);
      if (n != cfi::ArrayCount(y)) return false;
      for (CFIndex i = n - 1; i >= 0; --i) {
        pending.emplace_back(cfi::ObjectOf(cfi::ArrayItem(x, i)), cfi::ObjectOf(cfi::ArrayItem(y, i)));
      }
    } else if (x->typeID == cfi::kDictionaryTypeID) {
      if (cfi::DictionaryCount(x) != cfi::DictionaryCount(y)) return false;
      bool allFound = cfi::DictionaryForEach(x, [&](const void* key, const void* value, CFHashCode hash) {
        const void* other = cfi::DictionaryFind(y, key, hash);
        if (other == nullptr) return false;
        pending.emplace_back(cfi::ObjectOf(value), cfi::ObjectOf(other));
        return true;
      });
      if (!allFound) return false;
    } else if (!LeafEqual(x, y)) {
      return false;
    }
  }
  return true;
}

}  // namespace

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  assert(cf1 != NULL && cf2 != NULL);
  if (cf1 == cf2) return true;
  const Object* a = cfi::ObjectOf(cf1);
  const Object* b = cfi::ObjectOf(cf2);
  if (a->typeID != b->typeID) return false;
  if (!IsContainer(a)) return LeafEqual(a, b);
  if (tEqualNesting >= kMaxEqualNesting) return false;
  ++tEqualNesting;
  bool equal = false;
  try {
    equal = DeepEqual(a, b);
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory("CFEqual");
  }
  --tEqualNesting;
  return equal;
}

CFHashCode CFHash(CFTypeRef cf) {
  const Object* o = cfi::ObjectOf(cf);
  switch (o->typeID) {
    case cfi::kStringTypeID: return cfi::StringHash(o);
    case cfi::kNumberTypeID: return cfi::NumberHash(o);
    case cfi::kDataTypeID: return cfi::DataHash(o);
    case cfi::kDateTypeID: return cfi::DateHash(o);
    case cfi::kURLTypeID: return cfi::URLHash(o);
    // Containers hash by size only: their equality is deep, and a deep hash
    // would make every dictionary look-up walk the whole key.
    case cfi::kArrayTypeID: return cfi::MixHash(0xa11a7ull + static_cast<CFHashCode>(cfi::ArrayCount(o)));
    case cfi::kDictionaryTypeID:
      return cfi::MixHash(0xd1c7ull + static_cast<CFHashCode>(cfi::DictionaryCount(o)));
    default: return cfi::MixHash(reinterpret_cast<uintptr_t>(o));
  }
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
  assert(cf != NULL);
  try {
    std::u16string text;
    cfi::AppendDescription(text, cf);
    return cfi::StringCreateFromUnits(text.data(), text.size(), false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
