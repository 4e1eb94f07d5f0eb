// MoreCFQ: statuses and helpers over the property-list objects.

#include "MoreCFQ.h"

#include <assert.h>

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
