// Numbers, booleans, data and dates: the leaf values of a property list.
#include "CFInternal.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>

using cfi::Object;

namespace {

const __CFNumber* AsNumber(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kNumberTypeID));
  return static_cast<const __CFNumber*>(cf);
}

const __CFData* AsData(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kDataTypeID));
  return static_cast<const __CFData*>(cf);
}

__CFData* AsMutableData(CFMutableDataRef data) {
  assert(cfi::IsType(data, cfi::kDataTypeID));
  assert(data->isMutable);
  return data;
}

const __CFDate* AsDate(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kDateTypeID));
  return static_cast<const __CFDate*>(cf);
}

constexpr double kTwoTo63 = 9223372036854775808.0;

// Compares an integer with a real exactly, without rounding either.
// NaN sorts after every other value.
int CompareIntegerWithReal(int64_t i, double d) {
  if (std::isnan(d)) return -1;
  if (d >= kTwoTo63) return -1;
  if (d < -kTwoTo63) return 1;
  int64_t whole = static_cast<int64_t>(d);  // exact: |d| < 2^63, truncated toward zero
  if (i < whole) return -1;
  if (i > whole) return 1;
  double fraction = d - static_cast<double>(whole);
  if (fraction > 0) return -1;
  if (fraction < 0) return 1;
  return 0;
}

int CompareReals(double a, double b) {
  bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na == nb ? 0 : (na ? 1 : -1);
  return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareNumbers(const __CFNumber* a, const __CFNumber* b) {
  if (!a->isFloat && !b->isFloat) {
    return a->integerValue < b->integerValue ? -1 : (a->integerValue > b->integerValue ? 1 : 0);
  }
  if (a->isFloat && b->isFloat) return CompareReals(a->realValue, b->realValue);
  if (!a->isFloat) return CompareIntegerWithReal(a->integerValue, b->realValue);
  return -CompareIntegerWithReal(b->integerValue, a->realValue);
}

// Narrows an integer to [lo, hi]; false when it had to clamp.
template <typename T>
bool StoreInteger(int64_t v, void* valuePtr) {
  T stored;
  bool exact = true;
  if (v < static_cast<int64_t>(std::numeric_limits<T>::min())) {
    stored = std::numeric_limits<T>::min();
    exact = false;
  } else if (v > static_cast<int64_t>(std::numeric_limits<T>::max())) {
    stored = std::numeric_limits<T>::max();
    exact = false;
  } else {
    stored = static_cast<T>(v);
  }
  memcpy(valuePtr, &stored, sizeof stored);
  return exact;
}

// A real to an integer type: the fraction is dropped and the range clamped;
// NaN gives 0. Each of these is a loss.
template <typename T>
bool StoreRealAsInteger(double d, void* valuePtr) {
  if (std::isnan(d)) {
    T zero = 0;
    memcpy(valuePtr, &zero, sizeof zero);
    return false;
  }
  double whole = std::trunc(d);
  bool exact = whole == d;
  int64_t v;
  if (whole >= kTwoTo63) {
    v = std::numeric_limits<int64_t>::max();
    exact = false;
  } else if (whole < -kTwoTo63) {
    v = std::numeric_limits<int64_t>::min();
    exact = false;
  } else {
    v = static_cast<int64_t>(whole);
  }
  bool inRange = StoreInteger<T>(v, valuePtr);
  return exact && inRange;
}

bool StoreFloat32(double d, void* valuePtr) {
  float f;
  bool exact;
  if (std::isnan(d)) {
    f = std::numeric_limits<float>::quiet_NaN();
    exact = true;
  } else if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
    f = d > 0 ? FLT_MAX : -FLT_MAX;
    exact = false;
  } else {
    f = static_cast<float>(d);
    exact = static_cast<double>(f) == d;
  }
  memcpy(valuePtr, &f, sizeof f);
  return exact;
}

bool IntegerFitsDouble(int64_t i) {
  double d = static_cast<double>(i);
  return d < kTwoTo63 && static_cast<int64_t>(d) == i;
}

}  // namespace

// ---- Numbers -------------------------------------------------------------------------

CFTypeID CFNumberGetTypeID(void) { return cfi::kNumberTypeID; }

CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType theType, const void* valuePtr) {
  assert(valuePtr != NULL);
  bool isFloat = false;
  int64_t i = 0;
  double d = 0;
  switch (theType) {
    case kCFNumberSInt8Type: i = *static_cast<const int8_t*>(valuePtr); break;
    case kCFNumberSInt16Type: i = *static_cast<const int16_t*>(valuePtr); break;
    case kCFNumberSInt32Type: i = *static_cast<const int32_t*>(valuePtr); break;
    case kCFNumberSInt64Type: i = *static_cast<const int64_t*>(valuePtr); break;
    case kCFNumberCharType: i = *static_cast<const signed char*>(valuePtr); break;
    case kCFNumberShortType: i = *static_cast<const short*>(valuePtr); break;
    case kCFNumberIntType: i = *static_cast<const int*>(valuePtr); break;
    case kCFNumberLongType: i = *static_cast<const long*>(valuePtr); break;
    case kCFNumberLongLongType: i = *static_cast<const long long*>(valuePtr); break;
    case kCFNumberCFIndexType: i = *static_cast<const CFIndex*>(valuePtr); break;
    case kCFNumberNSIntegerType: i = *static_cast<const long*>(valuePtr); break;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
      isFloat = true;
      d = *static_cast<const float*>(valuePtr);
      break;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
      isFloat = true;
      d = *static_cast<const double*>(valuePtr);
      break;
    default:
      return nullptr;
  }
  __CFNumber* n = new (std::nothrow) __CFNumber;
  if (n == nullptr) return nullptr;
  n->isFloat = isFloat;
  n->integerValue = i;
  n->realValue = d;
  return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
  return AsNumber(number)->isFloat ? kCFNumberFloat64Type : kCFNumberSInt64Type;
}

Boolean CFNumberIsFloatType(CFNumberRef number) { return AsNumber(number)->isFloat; }

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const __CFNumber* n = AsNumber(number);
  assert(valuePtr != NULL);
  switch (theType) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
      return n->isFloat ? StoreRealAsInteger<int8_t>(n->realValue, valuePtr)
                        : StoreInteger<int8_t>(n->integerValue, valuePtr);
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
      return n->isFloat ? StoreRealAsInteger<int16_t>(n->realValue, valuePtr)
                        : StoreInteger<int16_t>(n->integerValue, valuePtr);
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
      return n->isFloat ? StoreRealAsInteger<int32_t>(n->realValue, valuePtr)
                        : StoreInteger<int32_t>(n->integerValue, valuePtr);
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
      return n->isFloat ? StoreRealAsInteger<int64_t>(n->realValue, valuePtr)
                        : StoreInteger<int64_t>(n->integerValue, valuePtr);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
      if (n->isFloat) return StoreFloat32(n->realValue, valuePtr);
      {
        bool exact = StoreFloat32(static_cast<double>(n->integerValue), valuePtr);
        float f;
        memcpy(&f, valuePtr, sizeof f);
        return exact && IntegerFitsDouble(n->integerValue) && static_cast<double>(f) < kTwoTo63 &&
               static_cast<int64_t>(f) == n->integerValue;
      }
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: {
      double d = n->isFloat ? n->realValue : static_cast<double>(n->integerValue);
      memcpy(valuePtr, &d, sizeof d);
      return n->isFloat || IntegerFitsDouble(n->integerValue);
    }
    default:
      return false;
  }
}

CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void* context) {
  int c = CompareNumbers(AsNumber(a), AsNumber(b));
  return c < 0 ? kCFCompareLessThan : (c > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

// Numbers are equal when they stand for the same value, whatever their
// kind: integer 1 equals real 1.0. NaN equals NaN, so that every number is
// equal to itself and can serve as a dictionary key.
bool cfi::NumberEqual(const Object* a, const Object* b) {
  return CompareNumbers(static_cast<const __CFNumber*>(a), static_cast<const __CFNumber*>(b)) == 0;
}

CFHashCode cfi::HashDouble(double d) {
  // Integral reals hash as the integer they equal, so 1 and 1.0 collide as they must.
  if (std::isnan(d)) return MixHash(0x7ff8ull);
  if (d >= -kTwoTo63 && d < kTwoTo63 && std::trunc(d) == d) {
    return MixHash(static_cast<CFHashCode>(static_cast<int64_t>(d)));
  }
  uint64_t bits;
  memcpy(&bits, &d, sizeof bits);
  return MixHash(bits);
}

CFHashCode cfi::NumberHash(const Object* o) {
  const __CFNumber* n = static_cast<const __CFNumber*>(o);
  return n->isFloat ? HashDouble(n->realValue) : MixHash(static_cast<CFHashCode>(n->integerValue));
}

void cfi::NumberDestroy(Object* o) { delete static_cast<__CFNumber*>(o); }

void cfi::AppendNumberDescription(std::u16string& out, CFNumberRef number) {
  const __CFNumber* n = AsNumber(number);
  char text[64];
  std::to_chars_result r = n->isFloat ? std::to_chars(text, text + sizeof text, n->realValue)
                                      : std::to_chars(text, text + sizeof text, n->integerValue);
  for (char* p = text; p < r.ptr; ++p) out.push_back(static_cast<unsigned char>(*p));
}

// ---- Booleans ------------------------------------------------------------------------

namespace {
constinit __CFBoolean gTrue(true);
constinit __CFBoolean gFalse(false);
}  // namespace

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

CFTypeID CFBooleanGetTypeID(void) { return cfi::kBooleanTypeID; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  assert(cfi::IsType(boolean, cfi::kBooleanTypeID));
  return boolean->value;
}

// ---- Data --------------------------------------------------------------------------------

namespace {

// Data never grows beyond this; it keeps every size computation in range.
constexpr CFIndex kMaxDataLength = std::numeric_limits<CFIndex>::max() / 4;

void ReserveData(__CFData* d, CFIndex needed) {
  if (needed > kMaxDataLength) throw std::bad_alloc();
  if (needed <= d->capacity) return;
  CFIndex grown = std::max<CFIndex>({needed, d->capacity * 2, 64});
  grown = std::min(grown, kMaxDataLength);
  void* p = realloc(d->bytes, static_cast<size_t>(grown));
  if (p == nullptr) throw std::bad_alloc();
  d->bytes = static_cast<UInt8*>(p);
  d->capacity = grown;
}

}  // namespace

CFTypeID CFDataGetTypeID(void) { return cfi::kDataTypeID; }

CFDataRef CFDataCreate(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length) {
  assert(length >= 0);
  assert(bytes != NULL || length == 0);
  __CFData* d = new (std::nothrow) __CFData(false);
  if (d == nullptr) return nullptr;
  try {
    ReserveData(d, length);
  } catch (const std::bad_alloc&) {
    delete d;
    return nullptr;
  }
  if (length > 0) memcpy(d->bytes, bytes, static_cast<size_t>(length));
  d->length = length;
  return d;
}

CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator) {
  assert(length >= 0);
  assert(bytes != NULL || length == 0);
  __CFData* d = new (std::nothrow) __CFData(false);
  if (d == nullptr) return nullptr;
  d->bytes = const_cast<UInt8*>(bytes);
  d->length = length;
  d->capacity = length;
  d->storage = bytesDeallocator == kCFAllocatorNull ? __CFData::Storage::kBorrowed
                                                    : __CFData::Storage::kFreeWhenDone;
  return d;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef alloc, CFIndex capacity) {
  assert(capacity >= 0);
  return new (std::nothrow) __CFData(true);
}

CFIndex CFDataGetLength(CFDataRef data) { return AsData(data)->length; }

const UInt8* CFDataGetBytePtr(CFDataRef data) { return AsData(data)->bytes; }

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data) { return AsMutableData(data)->bytes; }

void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer) {
  const __CFData* d = AsData(data);
  assert(range.location >= 0 && range.length >= 0 && range.location <= d->length &&
         range.length <= d->length - range.location);
  assert(buffer != NULL || range.length == 0);
  if (range.length > 0) memcpy(buffer, d->bytes + range.location, static_cast<size_t>(range.length));
}

void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length) {
  __CFData* d = AsMutableData(data);
  assert(length >= 0);
  assert(bytes != NULL || length == 0);
  if (length == 0) return;
  // The bytes may come from this very object; find them again after growing.
  CFIndex selfOffset = -1;
  if (d->bytes != nullptr && bytes >= d->bytes && bytes < d->bytes + d->length) selfOffset = bytes - d->bytes;
  try {
    if (length > kMaxDataLength - d->length) throw std::bad_alloc();
    ReserveData(d, d->length + length);
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory("CFDataAppendBytes");
  }
  if (selfOffset >= 0) bytes = d->bytes + selfOffset;
  memmove(d->bytes + d->length, bytes, static_cast<size_t>(length));
  d->length += length;
}

void CFDataSetLength(CFMutableDataRef data, CFIndex length) {
  __CFData* d = AsMutableData(data);
  assert(length >= 0);
  try {
    ReserveData(d, length);
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory("CFDataSetLength");
  }
  if (length > d->length) memset(d->bytes + d->length, 0, static_cast<size_t>(length - d->length));
  d->length = length;
}

bool cfi::DataEqual(const Object* a, const Object* b) {
  const __CFData* x = static_cast<const __CFData*>(a);
  const __CFData* y = static_cast<const __CFData*>(b);
  return x->length == y->length && (x->length == 0 || memcmp(x->bytes, y->bytes, x->length) == 0);
}

CFHashCode cfi::DataHash(const Object* o) {
  const __CFData* d = static_cast<const __CFData*>(o);
  // The length and the first bytes are enough to spread data in a table.
  uint64_t h = 0xcbf29ce484222325ull ^ static_cast<uint64_t>(d->length);
  CFIndex n = std::min<CFIndex>(d->length, 80);
  for (CFIndex i = 0; i < n; ++i) {
    h ^= d->bytes[i];
    h *= 0x100000001b3ull;
  }
  return static_cast<CFHashCode>(h);
}

void cfi::DataDestroy(Object* o) {
  __CFData* d = static_cast<__CFData*>(o);
  if (d->storage != __CFData::Storage::kBorrowed) free(d->bytes);
  delete d;
}

// ---- Dates ------------------------------------------------------------------------------

const CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;

CFTypeID CFDateGetTypeID(void) { return cfi::kDateTypeID; }

CFDateRef CFDateCreate(CFAllocatorRef alloc, CFAbsoluteTime at) { return new (std::nothrow) __CFDate(at); }

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date) { return AsDate(date)->at; }

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) - kCFAbsoluteTimeIntervalSince1970 + now.tv_nsec / 1e9;
}

bool cfi::DateEqual(const Object* a, const Object* b) {
  return CompareReals(static_cast<const __CFDate*>(a)->at, static_cast<const __CFDate*>(b)->at) == 0;
}

CFHashCode cfi::DateHash(const Object* o) { return HashDouble(static_cast<const __CFDate*>(o)->at); }

void cfi::DateDestroy(Object* o) { delete static_cast<__CFDate*>(o); }
