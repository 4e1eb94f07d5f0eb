// Basic scalar types and the status codes shared by every module.
#pragma once

#include <cstdint>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef unsigned char Boolean;
typedef int32_t OSStatus;
typedef int16_t OSErr;
typedef uint32_t OSType;
typedef uint32_t FourCharCode;
typedef uint16_t UniChar;

enum : OSStatus {
  noErr = 0,
  dupFNErr = -48,                      // a file of that name exists
  paramErr = -50,                      // bad parameter, or a frame that is not a dictionary
  memFullErr = -108,                   // a block cannot be allocated, or a length out of range
  procNotFound = -600,                 // end of the process list
  coreFoundationUnknownErr = -4960,    // a property-list call gave no result
};

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
