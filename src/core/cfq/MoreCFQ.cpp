// MoreCFQ: statuses and helpers over the property-list objects.

#include "MoreCFQ.h"
#include "MoreCFQPrivate.h"

#include <Folders.h>

#include <assert.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

OSStatus CFQError(const void* cfObject) {
  return (cfObject == NULL) ? coreFoundationUnknownErr : noErr;
}

OSStatus CFQErrorBoolean(Boolean shouldBeTrue) {
  return shouldBeTrue ? noErr : coreFoundationUnknownErr;
}

CFTypeRef CFQRetain(CFTypeRef cf) {
  if (cf != NULL) {
    (void) CFRetain(cf);
  }
  return cf;
}

void CFQRelease(CFTypeRef cf) {
  if (cf != NULL) {
    CFRelease(cf);
  }
}

OSStatus CFQDictionaryCreateMutable(CFMutableDictionaryRef* result) {
  OSStatus err;

  assert(result != NULL);
  assert(*result == NULL);

  *result = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks);
  err = CFQError(*result);

  assert((err == noErr) == (*result != NULL));
  return err;
}

OSStatus CFQArrayCreateMutable(CFMutableArrayRef* result) {
  OSStatus err;

  assert(result != NULL);
  assert(*result == NULL);

  *result = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
  err = CFQError(*result);

  assert((err == noErr) == (*result != NULL));
  return err;
}

// ---- Allocation, conversion, containers from containers, bundles ----------

OSStatus CFQAllocate(size_t bytesToAllocate, void** blockPtrPtr) {
  OSStatus err;
  CFIndex bytesToAsk;

  assert(((CFIndex) bytesToAllocate) >= 0);
  assert(blockPtrPtr != NULL);
  assert(*blockPtrPtr == NULL);

  // The allocator answers a request for 0 bytes with NULL, which would read as
  // exhaustion; asking for 1 lets an empty table go the same way as any other.
  bytesToAsk = (bytesToAllocate == 0) ? 1 : (CFIndex) bytesToAllocate;
  *blockPtrPtr = CFAllocatorAllocate(kCFAllocatorDefault, bytesToAsk, 0);
  if (*blockPtrPtr == NULL) {
    fprintf(stderr, "line %d of file %s says: %s\n", __LINE__, __FILE__, "CFQAllocate");
    err = memFullErr;
  } else {
    err = noErr;
  }
  return err;
}

void CFQDeallocate(void* blockPtr) {
  if (blockPtr != NULL) {
    CFAllocatorDeallocate(kCFAllocatorDefault, blockPtr);
  }
}

// Keys and values of one dictionary as an immutable array; |wantKeys| picks
// which half of each entry.
static OSStatus ArrayCreateWithDictionaryKeysOrValues(CFDictionaryRef dict, Boolean wantKeys,
                                                      CFArrayRef* result) {
  OSStatus err;
  CFIndex count;
  const void** table = NULL;

  assert(dict != NULL);
  assert(result != NULL);
  assert(*result == NULL);

  count = CFDictionaryGetCount(dict);
  err = CFQAllocate((size_t) count * sizeof(*table), (void**) &table);
  if (err == noErr) {
    if (wantKeys) {
      CFDictionaryGetKeysAndValues(dict, table, NULL);
    } else {
      CFDictionaryGetKeysAndValues(dict, NULL, table);
    }
    *result = CFArrayCreate(kCFAllocatorDefault, table, count, &kCFTypeArrayCallBacks);
    err = CFQError(*result);
  }

  CFQDeallocate(table);

  assert((err == noErr) == (*result != NULL));
  assert((*result == NULL) || (CFDictionaryGetCount(dict) == CFArrayGetCount(*result)));
  return err;
}

OSStatus CFQArrayCreateWithDictionaryKeys(CFDictionaryRef dict, CFArrayRef* result) {
  return ArrayCreateWithDictionaryKeysOrValues(dict, TRUE, result);
}

OSStatus CFQArrayCreateWithDictionaryValues(CFDictionaryRef dict, CFArrayRef* result) {
  return ArrayCreateWithDictionaryKeysOrValues(dict, FALSE, result);
}

OSStatus CFQDictionaryCreateWithArrayOfKeysAndValues(CFArrayRef keys, CFArrayRef values,
                                                     CFDictionaryRef* result) {
  OSStatus err;
  CFIndex count;
  const void** keysTable = NULL;
  const void** valuesTable = NULL;

  assert(keys != NULL);
  assert(values != NULL);
  assert(CFArrayGetCount(keys) == CFArrayGetCount(values));
  assert(result != NULL);
  assert(*result == NULL);

  count = CFArrayGetCount(keys);
  err = CFQAllocate((size_t) count * sizeof(*keysTable), (void**) &keysTable);
  if (err == noErr) {
    err = CFQAllocate((size_t) count * sizeof(*valuesTable), (void**) &valuesTable);
  }
  if (err == noErr) {
    CFArrayGetValues(keys, CFRangeMake(0, count), keysTable);
    CFArrayGetValues(values, CFRangeMake(0, count), valuesTable);
    *result = CFDictionaryCreate(kCFAllocatorDefault, keysTable, valuesTable, count,
                                 &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    err = CFQError(*result);
  }

  CFQDeallocate(keysTable);
  CFQDeallocate(valuesTable);

  assert((err == noErr) == (*result != NULL));
  return err;
}

OSStatus CFQDictionarySetNumber(CFMutableDictionaryRef dict, const void* key, long value) {
  OSStatus err;
  CFNumberRef number;

  number = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &value);
  err = CFQError(number);
  if (err == noErr) {
    CFDictionarySetValue(dict, key, number);
  }
  CFQRelease(number);
  return err;
}

OSStatus CFQStringCopyCString(CFStringRef str, CFStringEncoding encoding, char** cStrPtr) {
  enum : UInt8 { kGuardByte = 0xA5 };
  OSStatus err;
  CFIndex length;
  CFIndex bytesNeeded = 0;
  CFIndex bytesWritten = 0;
  CFIndex converted;

  assert(str != NULL);
  assert(cStrPtr != NULL);
  assert(*cStrPtr == NULL);

  length = CFStringGetLength(str);

  // Measure first: no loss byte, so an unrepresentable character stops the
  // count there and shows up below as a short conversion.
  (void) CFStringGetBytes(str, CFRangeMake(0, length), encoding, 0, FALSE, NULL, 0, &bytesNeeded);

  err = noErr;
  *cStrPtr = (char*) malloc((size_t) bytesNeeded + 1);
  if (*cStrPtr == NULL) {
    fprintf(stderr, "line %d of file %s says: %s\n", __LINE__, __FILE__, "CFQStringCopyCString");
    err = memFullErr;
  }
  if (err == noErr) {
    // The guard sits just past the measured text: a conversion that writes
    // more than it said it would is caught before anyone reads the string.
    ((UInt8*) *cStrPtr)[bytesNeeded] = kGuardByte;

    converted = CFStringGetBytes(str, CFRangeMake(0, length), encoding, 0, FALSE, (UInt8*) *cStrPtr,
                                 bytesNeeded, &bytesWritten);
    if (converted != length) {
      err = kCFQBadValueErr;
    }
  }
  if (err == noErr) {
    assert(bytesWritten <= bytesNeeded);
    assert(((UInt8*) *cStrPtr)[bytesNeeded] == kGuardByte);
    (*cStrPtr)[bytesWritten] = '\0';
  }
  if (err != noErr) {
    free(*cStrPtr);
    *cStrPtr = NULL;
  }

  assert((err == noErr) == (*cStrPtr != NULL));
  return err;
}

// ---- Dictionary access by key path ------------------------------------------

static Boolean IsDictionary(const void* value) {
  return (value != NULL) && (CFGetTypeID(value) == CFDictionaryGetTypeID());
}

// Copies the keys of the array |path| into a new malloc table in
// |*pathElements|, which the caller frees with free().
static OSStatus PathArrayHelper(CFArrayRef path, const void*** pathElements) {
  OSStatus err;
  CFIndex pathElementCount;

  assert(path != NULL);
  assert(pathElements != NULL);

  pathElementCount = CFArrayGetCount(path);
  assert(pathElementCount > 0);

  err = noErr;
  *pathElements = (const void**) malloc((size_t) pathElementCount * sizeof(**pathElements));
  if (*pathElements == NULL) {
    fprintf(stderr, "line %d of file %s says: %s\n", __LINE__, __FILE__, "PathArrayHelper");
    err = memFullErr;
  }
  if (err == noErr) {
    CFArrayGetValues(path, CFRangeMake(0, pathElementCount), *pathElements);
  }

  assert((err == noErr) == (*pathElements != NULL));
  return err;
}

OSStatus CFQDictionaryGetValueAtPath(CFDictionaryRef dict, const void* path[], CFIndex pathElementCount,
                                     const void** result) {
  OSStatus err;
  CFDictionaryRef current;
  CFIndex pathIndex;

  assert(dict != NULL);
  assert(path != NULL);
  assert(pathElementCount > 0);
  assert(result != NULL);

  err = noErr;
  current = dict;
  for (pathIndex = 0; (err == noErr) && (pathIndex < pathElementCount); pathIndex++) {
    const void* value = NULL;

    if (!CFDictionaryGetValueIfPresent(current, path[pathIndex], &value)) {
      err = kCFQKeyMissingErr;
    } else if (pathIndex == pathElementCount - 1) {
      *result = value;
    } else if (!IsDictionary(value)) {
      err = kCFQBadValueErr;
    } else {
      current = (CFDictionaryRef) value;
    }
  }
  return err;
}

OSStatus CFQDictionaryGetValueAtPathArray(CFDictionaryRef dict, CFArrayRef path, const void** result) {
  OSStatus err;
  const void** pathElements = NULL;

  err = PathArrayHelper(path, &pathElements);
  if (err == noErr) {
    err = CFQDictionaryGetValueAtPath(dict, pathElements, CFArrayGetCount(path), result);
  }
  free(pathElements);
  return err;
}

OSStatus CFQMutableDictionaryGetParentForPath(CFMutableDictionaryRef dict, const void* path[],
                                              CFIndex pathElementCount, CFMutableDictionaryRef* result) {
  OSStatus err;
  CFMutableDictionaryRef current;
  CFIndex pathIndex;

  assert(dict != NULL);
  assert(path != NULL);
  assert(pathElementCount > 0);
  assert(result != NULL);
  assert(*result == NULL);

  // Each level is replaced as the walk reaches it, so a failure further down
  // leaves the levels above it already copied; callers are told so.
  err = noErr;
  current = dict;
  for (pathIndex = 0; (err == noErr) && (pathIndex < pathElementCount - 1); pathIndex++) {
    const void* value = NULL;
    CFMutableDictionaryRef mutableChild = NULL;

    if (!CFDictionaryGetValueIfPresent(current, path[pathIndex], &value)) {
      err = kCFQKeyMissingErr;
    } else if (!IsDictionary(value)) {
      err = kCFQBadValueErr;
    }
    if (err == noErr) {
      mutableChild = CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, (CFDictionaryRef) value);
      err = CFQError(mutableChild);
    }
    if (err == noErr) {
      CFDictionarySetValue(current, path[pathIndex], mutableChild);
      assert(CFGetRetainCount(mutableChild) >= 2);
      CFRelease(mutableChild);
      current = mutableChild;
    }
  }
  if (err == noErr) {
    *result = current;
  }

  assert((err == noErr) == (*result != NULL));
  return err;
}

OSStatus CFQDictionarySetValueAtPath(CFMutableDictionaryRef dict, const void* path[], CFIndex pathElementCount,
                                     const void* value) {
  OSStatus err;
  CFMutableDictionaryRef parent = NULL;

  err = CFQMutableDictionaryGetParentForPath(dict, path, pathElementCount, &parent);
  if (err == noErr) {
    CFDictionarySetValue(parent, path[pathElementCount - 1], value);
  }
  return err;
}

OSStatus CFQDictionarySetValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path, const void* value) {
  OSStatus err;
  const void** pathElements = NULL;

  err = PathArrayHelper(path, &pathElements);
  if (err == noErr) {
    err = CFQDictionarySetValueAtPath(dict, pathElements, CFArrayGetCount(path), value);
  }
  free(pathElements);
  return err;
}

OSStatus CFQDictionaryRemoveValueAtPath(CFMutableDictionaryRef dict, const void* path[],
                                        CFIndex pathElementCount) {
  OSStatus err;
  CFMutableDictionaryRef parent = NULL;

  err = CFQMutableDictionaryGetParentForPath(dict, path, pathElementCount, &parent);
  if (err == noErr) {
    if (!CFDictionaryContainsKey(parent, path[pathElementCount - 1])) {
      err = kCFQKeyMissingErr;
    } else {
      CFDictionaryRemoveValue(parent, path[pathElementCount - 1]);
    }
  }
  return err;
}

OSStatus CFQDictionaryRemoveValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path) {
  OSStatus err;
  const void** pathElements = NULL;

  err = PathArrayHelper(path, &pathElements);
  if (err == noErr) {
    err = CFQDictionaryRemoveValueAtPath(dict, pathElements, CFArrayGetCount(path));
  }
  free(pathElements);
  return err;
}

// ---- Traversal, XML files, merging -------------------------------------------

Boolean CFQPropertyListIsLeaf(CFTypeRef node) {
  CFTypeID type = CFGetTypeID(node);

  return (type != CFDictionaryGetTypeID()) && (type != CFArrayGetTypeID());
}

// One container whose children the deep walk has still to visit. A
// dictionary's keys are listed once, when the walk enters it, exactly as a
// recursive walk would list them before descending.
struct DeepFrame {
  CFTypeRef container;
  const void** keys;  // a dictionary's key table (malloc), NULL for an array
  CFIndex count;
  CFIndex next;
};

struct DeepStack {
  DeepFrame* frames;
  size_t depth;
  size_t capacity;
};

// Makes room for one more frame. False, with the stack unchanged, when the
// heap cannot provide it.
static Boolean DeepStackReserve(DeepStack* stack) {
  DeepFrame* grown;
  size_t newCapacity;

  if (stack->depth < stack->capacity) {
    return TRUE;
  }
  newCapacity = (stack->capacity == 0) ? 64 : stack->capacity * 2;
  if (newCapacity > SIZE_MAX / sizeof(DeepFrame)) {
    return FALSE;
  }
  grown = (DeepFrame*) realloc(stack->frames, newCapacity * sizeof(DeepFrame));
  if (grown == NULL) {
    return FALSE;
  }
  stack->frames = grown;
  stack->capacity = newCapacity;
  return TRUE;
}

// Visits |node| and, if it is a container with children, pushes it so that
// its children come next. Children are dropped silently when the key table
// or the frame cannot be allocated.
static void DeepVisit(DeepStack* stack, CFTypeRef node, CFQPropertyListDeepApplierFunction func,
                      void* context) {
  CFTypeID type;
  DeepFrame frame = {node, NULL, 0, 0};

  func(node, context);

  type = CFGetTypeID(node);
  if (type == CFDictionaryGetTypeID()) {
    frame.count = CFDictionaryGetCount((CFDictionaryRef) node);
    if (frame.count > 0) {
      frame.keys = (const void**) malloc((size_t) frame.count * sizeof(*frame.keys));
      if (frame.keys == NULL) {
        frame.count = 0;
      } else {
        CFDictionaryGetKeysAndValues((CFDictionaryRef) node, frame.keys, NULL);
      }
    }
  } else if (type == CFArrayGetTypeID()) {
    frame.count = CFArrayGetCount((CFArrayRef) node);
  }
  if (frame.count > 0) {
    if (DeepStackReserve(stack)) {
      stack->frames[stack->depth] = frame;
      stack->depth += 1;
    } else {
      free(frame.keys);
    }
  }
}

void CFQPropertyListDeepApplyFunction(CFPropertyListRef propList, CFQPropertyListDeepApplierFunction func,
                                      void* context) {
  DeepStack stack = {NULL, 0, 0};

  assert(propList != NULL);
  assert(func != NULL);

  // The tree may be as deep as the heap allows (a file read from disk decides
  // it), so the pending containers live on the heap, not the call stack. The
  // order of visits is that of a pre-order recursion.
  DeepVisit(&stack, propList, func, context);
  while (stack.depth > 0) {
    DeepFrame* top = &stack.frames[stack.depth - 1];
    CFTypeRef child;

    if (top->next == top->count) {
      free(top->keys);
      stack.depth -= 1;
      continue;
    }
    if (top->keys != NULL) {
      child = CFDictionaryGetValue((CFDictionaryRef) top->container, top->keys[top->next]);
    } else {
      child = CFArrayGetValueAtIndex((CFArrayRef) top->container, top->next);
    }
    top->next += 1;
    DeepVisit(&stack, child, func, context);  // may move the frames: |top| is stale after this
  }
  free(stack.frames);
}

void CFQPropertyListShallowApplyFunction(CFPropertyListRef propList, CFQPropertyListShallowApplierFunction func,
                                         void* context) {
  CFTypeID type;

  assert(propList != NULL);
  assert(func != NULL);

  type = CFGetTypeID(propList);
  if (type == CFDictionaryGetTypeID()) {
    CFDictionaryRef dict = (CFDictionaryRef) propList;
    CFIndex count = CFDictionaryGetCount(dict);

    if (count > 0) {
      const void** keys = (const void**) malloc((size_t) count * sizeof(*keys));

      if (keys == NULL) {
        return;
      }
      CFDictionaryGetKeysAndValues(dict, keys, NULL);
      for (CFIndex i = 0; i < count; i++) {
        func(keys[i], CFDictionaryGetValue(dict, keys[i]), context);
      }
      free(keys);
    }
  } else if (type == CFArrayGetTypeID()) {
    CFArrayRef array = (CFArrayRef) propList;
    CFIndex count = CFArrayGetCount(array);

    for (CFIndex i = 0; i < count; i++) {
      long index = (long) i;
      CFNumberRef indexNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &index);

      if (indexNumber != NULL) {
        func(indexNumber, CFArrayGetValueAtIndex(array, i), context);
        CFRelease(indexNumber);
      }
    }
  } else {
    assert(false);
  }
}

// Whether |xmlData| is small enough to parse: within the byte budget, and
// with no more markup than the markup budget.
static Boolean IsWithinXMLFileBudget(CFDataRef xmlData) {
  CFIndex length = CFDataGetLength(xmlData);
  const UInt8* bytes = CFDataGetBytePtr(xmlData);
  const UInt8* end = bytes + length;
  CFIndex markup = 0;

  if (length > kCFQMaxXMLFileBytes) {
    return FALSE;
  }
  while ((bytes < end) && ((bytes = (const UInt8*) memchr(bytes, '<', (size_t) (end - bytes))) != NULL)) {
    markup += 1;
    if (markup > kCFQMaxXMLFileMarkup) {
      return FALSE;
    }
    bytes += 1;
  }
  return TRUE;
}

OSStatus CFQPropertyListCreateFromXMLCFURL(CFURLRef xmlFile, CFPropertyListMutabilityOptions options,
                                           CFPropertyListRef* result) {
  OSStatus err;
  CFDataRef xmlData = NULL;
  SInt32 errorCode = 0;
  Boolean success;

  assert(xmlFile != NULL);
  assert(result != NULL);
  assert(*result == NULL);

  success = CFURLCreateDataAndPropertiesFromResource(kCFAllocatorDefault, xmlFile, &xmlData, NULL, NULL,
                                                     &errorCode);
  if (errorCode != 0) {
    err = errorCode;
  } else if (!success) {
    err = coreFoundationUnknownErr;
  } else {
    err = noErr;
  }
  if ((err == noErr) && !IsWithinXMLFileBudget(xmlData)) {
    err = memFullErr;
  }
  if (err == noErr) {
    *result = CFPropertyListCreateFromXMLData(kCFAllocatorDefault, xmlData, options, NULL);
    err = CFQError(*result);
  }

  CFQRelease(xmlData);

  assert((err == noErr) == (*result != NULL));
  return err;
}

static void MergeOne(const void* key, const void* value, void* context) {
  CFMutableDictionaryRef dst = (CFMutableDictionaryRef) context;

  assert(context != NULL);
  assert(CFGetTypeID(dst) == CFDictionaryGetTypeID());

  CFDictionarySetValue(dst, key, value);
}

OSStatus CFQDictionaryMerge(CFMutableDictionaryRef dst, CFDictionaryRef src) {
  assert(dst != NULL);
  assert(src != NULL);

  // Merging a dictionary into itself changes nothing, and applying to it
  // while setting its values would change the container being walked.
  if ((CFDictionaryRef) dst != src) {
    CFDictionaryApplyFunction(src, MergeOne, dst);
  }
  return noErr;
}
