// The property-list object model: reference-counted dictionaries, arrays,
// strings, numbers, data, dates, booleans, URLs and bundles, with the calls
// the rest of the system makes on them under their usual names.
//
// Ownership follows the usual rule: a call whose name contains Create or Copy
// hands the caller one reference, to be given back with CFRelease; every other
// result is borrowed. Containers always use the standard callbacks: they
// retain what is put into them, release what is taken out, and compare and
// hash keys by the objects' own CFEqual and CFHash.
//
// Every call asserts that the objects it is given are of the right type.
// Capacities are hints; containers, strings and data grow without a limit.
// Allocators are accepted for source compatibility and ignored, except
// kCFAllocatorNull as the deallocator of CFDataCreateWithBytesNoCopy, which
// means "refer to the bytes, never free them".
#pragma once

#include <MacTypes.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef const void* CFTypeRef;
typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFHashCode;
typedef unsigned long CFOptionFlags;
typedef double CFTimeInterval;
typedef double CFAbsoluteTime;  // seconds since 2001-01-01T00:00:00Z
typedef UInt32 CFStringEncoding;

struct CFRange {
  CFIndex location;
  CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

enum : CFIndex { kCFNotFound = -1 };

typedef enum : CFIndex {
  kCFCompareLessThan = -1,
  kCFCompareEqualTo = 0,
  kCFCompareGreaterThan = 1
} CFComparisonResult;

struct __CFAllocator;
struct __CFString;
struct __CFArray;
struct __CFDictionary;
struct __CFNumber;
struct __CFBoolean;
struct __CFData;
struct __CFDate;
struct __CFURL;
struct __CFBundle;

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef const struct __CFArray* CFArrayRef;
typedef struct __CFArray* CFMutableArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFData* CFDataRef;
typedef struct __CFData* CFMutableDataRef;
typedef const struct __CFDate* CFDateRef;
typedef const struct __CFURL* CFURLRef;
typedef struct __CFBundle* CFBundleRef;
typedef CFTypeRef CFPropertyListRef;

// ---- Allocators --------------------------------------------------------------

extern const CFAllocatorRef kCFAllocatorDefault;        // null: the default
extern const CFAllocatorRef kCFAllocatorSystemDefault;
extern const CFAllocatorRef kCFAllocatorMalloc;
extern const CFAllocatorRef kCFAllocatorNull;           // never frees anything

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

// ---- Every object ------------------------------------------------------------

CFTypeRef CFRetain(CFTypeRef cf);                 // asserts cf != NULL
void CFRelease(CFTypeRef cf);                     // asserts cf != NULL
CFIndex CFGetRetainCount(CFTypeRef cf);           // constants report a large count
CFTypeID CFGetTypeID(CFTypeRef cf);
// Deep equality of values, without recursion however deep the containers
// nest. Numbers compare by value whatever their kind: integer 1 equals real
// 1.0, and NaN equals NaN. Booleans, bundles and allocators are equal only to
// themselves.
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
// Equal objects hash equally. Arrays and dictionaries hash by their count
// only, so that hashing never walks a tree.
CFHashCode CFHash(CFTypeRef cf);
// A short human-readable text for any object: a string's own text, a
// number's value, "true"/"false", a date in ISO 8601, a URL's path; a
// container is described by its size only. NULL when memory runs out.
CFStringRef CFCopyDescription(CFTypeRef cf);

// ---- Callbacks ---------------------------------------------------------------
// Only the standard callbacks exist; the structures carry no behaviour and any
// other pointer (including NULL) passed where they are expected is refused by
// an assertion.

struct CFDictionaryKeyCallBacks { int tag; };
struct CFDictionaryValueCallBacks { int tag; };
struct CFArrayCallBacks { int tag; };
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;  // same as the above here
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
extern const CFArrayCallBacks kCFTypeArrayCallBacks;

// ---- Strings -----------------------------------------------------------------
// A string is a sequence of UTF-16 units; CFStringGetLength counts units.

enum : CFStringEncoding {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingISOLatin1 = 0x0201,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingUTF16 = 0x0100,    // host order; a byte-order mark is honoured when reading
  kCFStringEncodingUTF16BE = 0x10000100,
  kCFStringEncodingUTF16LE = 0x14000100,
  kCFStringEncodingInvalidId = 0xffffffffU,
};

enum : CFOptionFlags {
  kCFCompareCaseInsensitive = 1,
};

CFTypeID CFStringGetTypeID(void);

// A constant string: never freed; retain and release do nothing. The same
// text gives the same object, from any thread. The text must be valid UTF-8.
// Each use of CFSTR looks its string up once and then remembers it.
CFStringRef __CFStringMakeConstantString(const char* utf8);
#define CFSTR(cStr) \
  ([]() -> CFStringRef { static const CFStringRef s = __CFStringMakeConstantString("" cStr ""); return s; }())

// Returns NULL when the bytes are not valid in the encoding (for UTF-8:
// overlong forms, surrogates and values above U+10FFFF are invalid).
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef str);
// printf-style formatting; "%@" inserts an object's description (a string's
// own text, a number's value; see CFCopyDescription). "%s" takes UTF-8, with
// U+FFFD for malformed bytes. Returns NULL on a malformed format, which
// includes %n, positional arguments and a width or precision over 65536.
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...);
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                 CFStringRef format, va_list arguments);
CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range);
CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength, CFStringRef str);
void CFStringAppend(CFMutableStringRef str, CFStringRef appended);
void CFStringAppendCString(CFMutableStringRef str, const char* cStr, CFStringEncoding encoding);

CFIndex CFStringGetLength(CFStringRef str);
UniChar CFStringGetCharacterAtIndex(CFStringRef str, CFIndex idx);
void CFStringGetCharacters(CFStringRef str, CFRange range, UniChar* buffer);
// Converts the units of range into bytes in the encoding. Stops at the first
// unit that the encoding cannot represent unless lossByte is non-zero, in
// which case that byte stands for it. buffer may be NULL to measure. Returns
// the number of units converted; *usedBufLen receives the bytes produced.
CFIndex CFStringGetBytes(CFStringRef str, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen,
                         CFIndex* usedBufLen);
// Whole string plus NUL into buffer; false if it does not fit or cannot be converted.
Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
// A pointer to the string's NUL-terminated UTF-8 text when the encoding is
// UTF-8 (valid while the string lives and, for a mutable string, until it
// next changes), NULL otherwise or when the string holds an unpaired surrogate.
const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options);
Boolean CFStringHasPrefix(CFStringRef str, CFStringRef prefix);
Boolean CFStringHasSuffix(CFStringRef str, CFStringRef suffix);

// ---- Numbers -----------------------------------------------------------------

typedef enum : CFIndex {
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
  kCFNumberCharType = 7,
  kCFNumberShortType = 8,
  kCFNumberIntType = 9,
  kCFNumberLongType = 10,
  kCFNumberLongLongType = 11,
  kCFNumberFloatType = 12,
  kCFNumberDoubleType = 13,
  kCFNumberCFIndexType = 14,
  kCFNumberNSIntegerType = 15,
  kCFNumberCGFloatType = 16,
  kCFNumberMaxType = 16
} CFNumberType;

CFTypeID CFNumberGetTypeID(void);
// An integer number keeps a 64-bit signed value; a real number a double.
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType theType, const void* valuePtr);
CFNumberType CFNumberGetType(CFNumberRef number);  // kCFNumberSInt64Type or kCFNumberFloat64Type
Boolean CFNumberIsFloatType(CFNumberRef number);
// Stores the value converted to theType. Returns false when the conversion
// lost anything (out of range, or a fraction dropped); the stored value is
// then the truncated or clamped one.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void* context);

// ---- Booleans ----------------------------------------------------------------

CFTypeID CFBooleanGetTypeID(void);
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
Boolean CFBooleanGetValue(CFBooleanRef boolean);

// ---- Data --------------------------------------------------------------------

CFTypeID CFDataGetTypeID(void);
CFDataRef CFDataCreate(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length);
// Refers to the caller's bytes without copying. With bytesDeallocator
// kCFAllocatorNull the bytes stay the caller's; otherwise they are freed with
// free() when the object goes.
CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator);
CFMutableDataRef CFDataCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
CFIndex CFDataGetLength(CFDataRef data);
const UInt8* CFDataGetBytePtr(CFDataRef data);
UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data);
void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer);
void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length);
void CFDataSetLength(CFMutableDataRef data, CFIndex length);

// ---- Dates -------------------------------------------------------------------

CFTypeID CFDateGetTypeID(void);
extern const CFTimeInterval kCFAbsoluteTimeIntervalSince1970;  // 978307200
CFDateRef CFDateCreate(CFAllocatorRef alloc, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date);
CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);

// ---- Arrays ------------------------------------------------------------------

CFTypeID CFArrayGetTypeID(void);
CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
CFArrayRef CFArrayCreateCopy(CFAllocatorRef alloc, CFArrayRef array);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity, CFArrayRef array);
CFIndex CFArrayGetCount(CFArrayRef array);
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx);  // asserts the index
void CFArrayGetValues(CFArrayRef array, CFRange range, const void** values);
Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, const void* value);
// The mutating calls assert that the array was created mutable.
void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
void CFArrayInsertValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value);
void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value);
void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex idx);
void CFArrayRemoveAllValues(CFMutableArrayRef array);
void CFArrayAppendArray(CFMutableArrayRef array, CFArrayRef otherArray, CFRange otherRange);
// The first index in range whose value is CFEqual to value, or kCFNotFound.
CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef array, CFRange range, const void* value);
typedef void (*CFArrayApplierFunction)(const void* value, void* context);
void CFArrayApplyFunction(CFArrayRef array, CFRange range, CFArrayApplierFunction applier, void* context);

// ---- Dictionaries ------------------------------------------------------------
// A dictionary lists its entries in the order their keys were first added.

CFTypeID CFDictionaryGetTypeID(void);
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef alloc, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef alloc, CFDictionaryRef dict);
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity,
                                                     CFDictionaryRef dict);
CFIndex CFDictionaryGetCount(CFDictionaryRef dict);
const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);  // NULL when absent
Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value);
Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key);
// keys or values may be NULL; each receives CFDictionaryGetCount entries.
void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values);
// The mutating calls assert that the dictionary was created mutable.
void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value);
void CFDictionaryAddValue(CFMutableDictionaryRef dict, const void* key, const void* value);      // only if absent
void CFDictionaryReplaceValue(CFMutableDictionaryRef dict, const void* key, const void* value);  // only if present
void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key);
void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dict);
typedef void (*CFDictionaryApplierFunction)(const void* key, const void* value, void* context);
void CFDictionaryApplyFunction(CFDictionaryRef dict, CFDictionaryApplierFunction applier, void* context);

// ---- Property lists ----------------------------------------------------------

typedef enum : CFOptionFlags {
  kCFPropertyListImmutable = 0,
  kCFPropertyListMutableContainers = 1,
  kCFPropertyListMutableContainersAndLeaves = 2
} CFPropertyListMutabilityOptions;

// Maximum nesting of containers that the reader accepts; deeper input is not
// a property list.
enum : CFIndex { kCFPropertyListMaxDepth = 512 };

// The published XML property-list 1.0 format, UTF-8. Returns NULL when the
// object is not a property list (for example a URL inside it, a non-string
// dictionary key, or nesting deeper than kCFPropertyListMaxDepth).
CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef alloc, CFPropertyListRef propertyList);
// Parses XML property-list data. Returns NULL (and, when errorString is not
// NULL, a new string describing why) when the bytes are not a property list.
// Never expands entities other than the five predefined ones and numeric
// character references; ignores any DOCTYPE.
CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef alloc, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption, CFStringRef* errorString);
Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFIndex format);
enum : CFIndex { kCFPropertyListXMLFormat_v1_0 = 100 };

// ---- URLs (file paths only) --------------------------------------------------

typedef enum : CFIndex { kCFURLPOSIXPathStyle = 0 } CFURLPathStyle;

enum : SInt32 {
  kCFURLUnknownError = -10,
  kCFURLImproperArgumentsError = -15,
  kCFURLResourceNotFoundError = -12,
  kCFURLResourceAccessViolationError = -13,
};

CFTypeID CFURLGetTypeID(void);
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef alloc, CFStringRef filePath, CFURLPathStyle style,
                                       Boolean isDirectory);
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory);
// NUL-terminated path into buffer; false if it does not fit in maxBufLen.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen);
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style);
CFStringRef CFURLCopyLastPathComponent(CFURLRef url);
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef alloc, CFURLRef url, CFStringRef pathComponent,
                                               Boolean isDirectory);
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef alloc, CFURLRef url);
Boolean CFURLHasDirectoryPath(CFURLRef url);
// Reads the whole file. On success *resourceData is new and *errorCode 0. On
// failure returns false with *errorCode: kCFURLResourceNotFoundError for a
// missing file, kCFURLResourceAccessViolationError when it may not be read,
// kCFURLUnknownError otherwise, including anything but a regular file and a
// file over 64 MiB. properties, desiredProperties are ignored.
Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url, CFDataRef* resourceData,
                                                 CFDictionaryRef* properties, CFArrayRef desiredProperties,
                                                 SInt32* errorCode);

// ---- Bundles -----------------------------------------------------------------
// A bundle is a folder: its executables sit in the folder itself, its
// resources in "Resources", and its optional "Info.plist" is an XML property
// list. The main bundle is the folder that holds the running executable.

CFTypeID CFBundleGetTypeID(void);
CFBundleRef CFBundleGetMainBundle(void);  // borrowed; NULL if it cannot be found
CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL);  // NULL if not a folder
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
// The resource "name.type" (or "name" when type is NULL or empty) in the
// bundle's Resources folder, or NULL when it does not exist. Names holding a
// slash, and sub-folders holding "..", are refused.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName);
// The regular, executable file of that name in the bundle's folder, or NULL.
CFURLRef CFBundleCopyAuxiliaryExecutableURL(CFBundleRef bundle, CFStringRef executableName);
// The executable named by Info.plist's CFBundleExecutable, or NULL.
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);  // borrowed
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);  // borrowed; empty without Info.plist
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);                                // borrowed
// Loads the bundle's executable (CFBundleExecutable) as a shared object with dlopen.
Boolean CFBundleLoadExecutable(CFBundleRef bundle);
Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);
void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);
extern const CFStringRef kCFBundleIdentifierKey;   // "CFBundleIdentifier"
extern const CFStringRef kCFBundleExecutableKey;   // "CFBundleExecutable"
extern const CFStringRef kCFBundleNameKey;         // "CFBundleName"

// Tests run outside the bundle; they point the main bundle at one. Not for
// production code.
void _CFBundleSetMainBundleURLForTesting(CFURLRef bundleURL);
