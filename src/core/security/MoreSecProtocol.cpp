// Both ends of the request channel: frames of one XML property-list dictionary
// each, the descriptors that follow a response, and the result codes.
//
// The frame reader is the first code that touches bytes from another process,
// and in the helper tool it runs with root privileges at hand: it reads
// exactly the frame and never more, allocates at most the body length, which
// it bounds before allocating, and hands the body to the property-list reader,
// which refuses deep nesting and never expands entities.

#include "MoreSecProtocolPrivate.h"

#include "MoreCFQ.h"
#include "MoreUNIX.h"

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Reads an entry of a descriptor list as a descriptor number: an integer that
// fits an int exactly and is at least 0.
bool DescriptorFromEntry(CFTypeRef entry, int* fd) {
  if (entry == NULL || CFGetTypeID(entry) != CFNumberGetTypeID()) {
    return false;
  }
  int value = -1;
  if (!CFNumberGetValue(static_cast<CFNumberRef>(entry), kCFNumberIntType, &value)) {
    return false;
  }
  if (value < 0) {
    return false;
  }
  *fd = value;
  return true;
}

}  // namespace

OSStatus WriteDictionaryToDescriptor(CFDictionaryRef dict, int fdOut) {
  assert(dict != NULL);
  assert(fdOut >= 0);

  OSStatus err = noErr;
  UInt8* buffer = NULL;
  CFDataRef xml = CFPropertyListCreateXMLData(NULL, dict);
  if (xml == NULL) {
    err = coreFoundationUnknownErr;
  }
  SInt32 bodyLength = 0;
  if (err == noErr) {
    CFIndex length = CFDataGetLength(xml);
    // The reader refuses a longer body with this status, leaving the rest of
    // the frame unread; sending it anyway would report success for a frame
    // the peer cannot take. Nothing goes out, so the peer meets end of stream.
    if (length > kMoreSecMaxFrameBodyLength) {
      err = memFullErr;
    } else {
      bodyLength = static_cast<SInt32>(length);
      buffer = static_cast<UInt8*>(malloc(static_cast<size_t>(bodyLength) + sizeof(bodyLength)));
      if (buffer == NULL) {
        err = memFullErr;
      }
    }
  }
  if (err == noErr) {
    // Length and body go out in one write, so a frame never leaves in two parts.
    memcpy(buffer, &bodyLength, sizeof(bodyLength));
    CFDataGetBytes(xml, CFRangeMake(0, bodyLength), buffer + sizeof(bodyLength));
    err = MoreUNIXWrite(fdOut, buffer, static_cast<size_t>(bodyLength) + sizeof(bodyLength), NULL);
  }
  free(buffer);
  CFQRelease(xml);
  return err;
}

OSStatus CopyDictionaryFromDescriptor(int fdIn, CFDictionaryRef* dictResult) {
  assert(fdIn >= 0);
  assert(dictResult != NULL);
  assert(*dictResult == NULL);

  OSStatus err = noErr;
  SInt32 bodyLength = 0;
  UInt8* body = NULL;
  CFDataRef data = NULL;
  CFPropertyListRef plist = NULL;

  err = MoreUNIXRead(fdIn, &bodyLength, sizeof(bodyLength), NULL);
  if (err == noErr) {
    if (bodyLength == 0) {
      err = paramErr;
    } else if (bodyLength < 0 || bodyLength > kMoreSecMaxFrameBodyLength) {
      err = memFullErr;
    }
  }
  if (err == noErr) {
    body = static_cast<UInt8*>(malloc(static_cast<size_t>(bodyLength)));
    if (body == NULL) {
      err = memFullErr;
    }
  }
  if (err == noErr) {
    err = MoreUNIXRead(fdIn, body, static_cast<size_t>(bodyLength), NULL);
  }
  if (err == noErr) {
    // Parse in place: the data object only refers to the frame buffer.
    data = CFDataCreateWithBytesNoCopy(NULL, body, bodyLength, kCFAllocatorNull);
    if (data == NULL) {
      err = coreFoundationUnknownErr;
    }
  }
  if (err == noErr) {
    plist = CFPropertyListCreateFromXMLData(NULL, data, kCFPropertyListImmutable, NULL);
    if (plist == NULL) {
      err = coreFoundationUnknownErr;
    }
  }
  if (err == noErr && CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
    err = paramErr;
  }
  if (err == noErr) {
    *dictResult = static_cast<CFDictionaryRef>(plist);
    plist = NULL;
  }

  CFQRelease(plist);
  CFQRelease(data);
  free(body);
  assert((err == noErr) == (*dictResult != NULL));
  return err;
}

OSStatus WriteDictionaryAndDescriptors(CFDictionaryRef dict, int fdOut) {
  assert(dict != NULL);
  assert(fdOut >= 0);

  OSStatus err = WriteDictionaryToDescriptor(dict, fdOut);
  if (err != noErr) {
    return err;
  }
  CFTypeRef descArray = CFDictionaryGetValue(dict, kMoreSecFileDescriptorsKey);
  if (descArray == NULL) {
    return noErr;
  }
  if (CFGetTypeID(descArray) != CFArrayGetTypeID()) {
    return EINVAL;
  }
  CFArrayRef descriptors = static_cast<CFArrayRef>(descArray);
  CFIndex count = CFArrayGetCount(descriptors);
  for (CFIndex i = 0; i < count && err == noErr; i++) {
    int fd = -1;
    if (!DescriptorFromEntry(CFArrayGetValueAtIndex(descriptors, i), &fd)) {
      err = EINVAL;
    } else {
      err = MoreUNIXWriteDescriptor(fdOut, fd);
    }
  }
  return err;
}

OSStatus CopyDictionaryTranslatingDescriptors(int fdIn, CFDictionaryRef* response) {
  assert(fdIn >= 0);
  assert(response != NULL);
  assert(*response == NULL);

  CFDictionaryRef frame = NULL;
  CFMutableArrayRef received = NULL;
  CFMutableDictionaryRef translated = NULL;

  OSStatus err = CopyDictionaryFromDescriptor(fdIn, &frame);
  CFTypeRef descArray = NULL;
  if (err == noErr) {
    descArray = CFDictionaryGetValue(frame, kMoreSecFileDescriptorsKey);
    if (descArray == NULL) {
      *response = frame;
      frame = NULL;
      return noErr;
    }
    if (CFGetTypeID(descArray) != CFArrayGetTypeID()) {
      err = kCFQBadValueErr;
    }
  }
  CFIndex count = 0;
  if (err == noErr) {
    // Only the number of entries matters, but a list with an entry that could
    // not be a descriptor is not a list a sender of ours produces: receive
    // nothing for it.
    CFArrayRef senderList = static_cast<CFArrayRef>(descArray);
    count = CFArrayGetCount(senderList);
    for (CFIndex i = 0; i < count && err == noErr; i++) {
      int unused = -1;
      if (!DescriptorFromEntry(CFArrayGetValueAtIndex(senderList, i), &unused)) {
        err = kCFQBadValueErr;
      }
    }
  }
  if (err == noErr) {
    received = CFArrayCreateMutable(NULL, 0, &kCFTypeArrayCallBacks);
    translated = CFDictionaryCreateMutableCopy(NULL, 0, frame);
    if (received == NULL || translated == NULL) {
      err = coreFoundationUnknownErr;
    }
  }
  for (CFIndex i = 0; i < count && err == noErr; i++) {
    int fd = -1;
    err = MoreUNIXReadDescriptor(fdIn, &fd);
    if (err == noErr) {
      CFNumberRef number = CFNumberCreate(NULL, kCFNumberIntType, &fd);
      if (number == NULL) {
        err = coreFoundationUnknownErr;
        int junk = close(fd);
        assert(junk == 0);
      } else {
        CFArrayAppendValue(received, number);
        CFRelease(number);
      }
    }
  }
  if (err == noErr) {
    CFDictionarySetValue(translated, kMoreSecFileDescriptorsKey, received);
    *response = translated;
    translated = NULL;
  } else if (received != NULL) {
    MoreSecCloseDescriptorArray(received);
  }

  CFQRelease(received);
  CFQRelease(translated);
  CFQRelease(frame);
  assert((err == 0) == (*response != NULL));
  return err;
}

void MoreSecCloseDescriptorArray(CFTypeRef descArray) {
  if (descArray == NULL) {
    return;
  }
  if (CFGetTypeID(descArray) != CFArrayGetTypeID()) {
    assert(false);
    return;
  }
  CFArrayRef descriptors = static_cast<CFArrayRef>(descArray);
  CFIndex count = CFArrayGetCount(descriptors);
  for (CFIndex i = 0; i < count; i++) {
    CFTypeRef entry = CFArrayGetValueAtIndex(descriptors, i);
    int thisDesc = -1;
    if (entry == NULL || CFGetTypeID(entry) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(entry), kCFNumberIntType, &thisDesc)) {
      assert(false);
      continue;
    }
    assert(thisDesc >= 0);
    int junk = close(thisDesc);
    assert(junk == 0);
  }
}

int MoreSecErrorToHelperToolResult(OSStatus err) {
  switch (err) {
    case noErr:
      return 0;
    case -60005:  // errAuthorizationDenied
      return 2;
    case -60006:  // errAuthorizationCanceled
      return 3;
    case -60007:  // errAuthorizationInteractionNotAllowed: no agent could ask
      return 5;
    case kHelperToolNotPrivilegedErr:
    case kHelperToolDeniedErr:
    case kHelperToolCanceledErr:
    case kHelperToolFailedErr:
      return static_cast<int>(err - 5360);
    default:
      return 4;
  }
}

OSStatus MoreSecHelperToolResultToError(int toolResult) {
  if (toolResult == 0) {
    return noErr;
  }
  if (toolResult >= 1 && toolResult <= 4) {
    return 5360 + toolResult;
  }
  if (toolResult == 5) {
    return kHelperToolNoAgentErr;
  }
  return kHelperToolFailedErr;
}
