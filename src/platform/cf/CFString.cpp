// Strings: sequences of UTF-16 units, with conversion to and from the byte
// encodings the system uses, constant strings and printf-style formatting.
#include "CFInternal.h"

#include "MoreUNIXText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <string_view>
#include <unordered_map>

#include <sys/random.h>

using cfi::Object;

namespace {

// A string never grows past this many units (2 GiB of storage); beyond it
// every size computation below would be at risk of overflow.
constexpr CFIndex kMaxStringLength = CFIndex{1} << 30;

const __CFString* AsString(CFTypeRef cf) {
  assert(cfi::IsType(cf, cfi::kStringTypeID));
  return static_cast<const __CFString*>(cf);
}

__CFString* AsMutableString(CFMutableStringRef str) {
  assert(cfi::IsType(str, cfi::kStringTypeID));
  assert(str->isMutable);
  return str;
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool IsSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// Unicode's mapping of the Mac OS Roman bytes 0x80 to 0xFF.
constexpr char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

int MacRomanByteFor(uint32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  for (int i = 0; i < 128; ++i) {
    if (kMacRomanHigh[i] == cp) return 0x80 + i;
  }
  return -1;
}

bool IsHostLittleEndian() {
  const uint16_t probe = 1;
  return *reinterpret_cast<const uint8_t*>(&probe) == 1;
}

// Decodes bytes of an encoding into units; false when they are not valid in it.
bool DecodeBytes(const UInt8* bytes, size_t n, CFStringEncoding encoding, bool external,
                 std::u16string& out) {
  switch (encoding) {
    case kCFStringEncodingUTF8:
      if (external && n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        n -= 3;
      }
      return cfi::DecodeUTF8(bytes, n, out);
    case kCFStringEncodingASCII:
      out.reserve(n);
      for (size_t i = 0; i < n; ++i) {
        if (bytes[i] > 0x7F) return false;
        out.push_back(bytes[i]);
      }
      return true;
    case kCFStringEncodingISOLatin1:
      out.reserve(n);
      for (size_t i = 0; i < n; ++i) out.push_back(bytes[i]);
      return true;
    case kCFStringEncodingMacRoman:
      out.reserve(n);
      for (size_t i = 0; i < n; ++i) out.push_back(bytes[i] < 0x80 ? bytes[i] : kMacRomanHigh[bytes[i] - 0x80]);
      return true;
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE: {
      if (n % 2 != 0) return false;
      bool little = encoding == kCFStringEncodingUTF16LE ||
                    (encoding == kCFStringEncodingUTF16 && IsHostLittleEndian());
      if (encoding == kCFStringEncodingUTF16 && n >= 2) {
        if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
          little = true;
          bytes += 2;
          n -= 2;
        } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
          little = false;
          bytes += 2;
          n -= 2;
        }
      }
      out.reserve(n / 2);
      for (size_t i = 0; i + 1 < n; i += 2) {
        out.push_back(little ? static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8)
                             : static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1]));
      }
      return true;
    }
    default:
      return false;
  }
}

void ThrowIfTooLong(size_t length) {
  if (length > static_cast<size_t>(kMaxStringLength)) throw std::bad_alloc();
}

void SetUnits(__CFString* s, const char16_t* units, size_t length) {
  ThrowIfTooLong(length);
  if (length > 0) {
    s->units = static_cast<char16_t*>(malloc(length * sizeof(char16_t)));
    if (s->units == nullptr) throw std::bad_alloc();
    memcpy(s->units, units, length * sizeof(char16_t));
  }
  s->length = static_cast<CFIndex>(length);
  s->capacity = static_cast<CFIndex>(length);
}

// Grows a mutable string's storage to hold at least `needed` units.
void Reserve(__CFString* s, size_t needed) {
  ThrowIfTooLong(needed);
  if (needed <= static_cast<size_t>(s->capacity)) return;
  size_t grown = std::max<size_t>(needed, static_cast<size_t>(s->capacity) * 2);
  grown = std::min<size_t>(std::max<size_t>(grown, 16), kMaxStringLength);
  void* p = realloc(s->units, grown * sizeof(char16_t));
  if (p == nullptr) throw std::bad_alloc();
  s->units = static_cast<char16_t*>(p);
  s->capacity = static_cast<CFIndex>(grown);
}

void DropUTF8Cache(__CFString* s) { free(s->utf8.exchange(nullptr)); }

void AppendUnits(__CFString* s, const char16_t* units, size_t length) {
  size_t old = static_cast<size_t>(s->length);
  // `units` may point into s itself; remember where before growing.
  size_t selfOffset = SIZE_MAX;
  if (s->units != nullptr && units >= s->units && units < s->units + old) selfOffset = units - s->units;
  Reserve(s, old + length);
  if (selfOffset != SIZE_MAX) units = s->units + selfOffset;
  if (length > 0) memmove(s->units + old, units, length * sizeof(char16_t));
  s->length = static_cast<CFIndex>(old + length);
  DropUTF8Cache(s);
}

uint32_t DecodeAt(const char16_t* u, CFIndex n, CFIndex i, CFIndex* width) {
  char16_t c = u[i];
  if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(u[i + 1])) {
    *width = 2;
    return 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (u[i + 1] - 0xDC00);
  }
  *width = 1;
  return c;
}

// Writes one code point (not a surrogate) as UTF-8; returns the byte count.
CFIndex EncodeCodePoint(uint32_t c, UInt8* out) {
  if (c < 0x80) {
    out[0] = static_cast<UInt8>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<UInt8>(0xC0 | (c >> 6));
    out[1] = static_cast<UInt8>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<UInt8>(0xE0 | (c >> 12));
    out[1] = static_cast<UInt8>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<UInt8>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<UInt8>(0xF0 | (c >> 18));
  out[1] = static_cast<UInt8>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<UInt8>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<UInt8>(0x80 | (c & 0x3F));
  return 4;
}

// Simple case folding for Latin, Greek and Cyrillic letters, enough for the
// names this system compares without regard to case.
uint32_t FoldCase(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137 && c % 2 == 0) return c + 1;
  if (c >= 0x139 && c <= 0x148 && c % 2 == 1) return c + 1;
  if (c >= 0x14A && c <= 0x177 && c % 2 == 0) return c + 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E && c % 2 == 1) return c + 1;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

}  // namespace

// ---- UTF-8 -------------------------------------------------------------------

namespace {

// Decodes strict UTF-8 into out, which has room for n units: UTF-8 never
// gives more units than it has bytes.
bool DecodeUTF8Units(const UInt8* b, size_t n, char16_t* out, size_t* produced) {
  size_t i = 0;
  size_t k = 0;
  while (i < n) {
    uint32_t c = 0;
    const size_t length = MoreUNIXDecodeUTF8(b + i, n - i, &c);
    if (length == 0) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out[k++] = static_cast<char16_t>(0xD800 + (c >> 10));
      out[k++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out[k++] = static_cast<char16_t>(c);
    }
    i += length;
  }
  *produced = k;
  return true;
}

}  // namespace

bool cfi::DecodeUTF8(const UInt8* b, size_t n, std::u16string& out) {
  size_t old = out.size();
  out.resize(old + n);
  size_t produced = 0;
  if (!DecodeUTF8Units(b, n, out.data() + old, &produced)) {
    out.resize(old);
    return false;
  }
  out.resize(old + produced);
  return true;
}

void cfi::DecodeUTF8Lenient(const UInt8* b, size_t n, std::u16string& out) {
  size_t i = 0;
  while (i < n) {
    // One character at a time: a well-formed sequence, or U+FFFD.
    const size_t length = MoreUNIXDecodeUTF8(b + i, n - i, nullptr);
    char16_t units[4];
    size_t produced = 0;
    if (length != 0 && DecodeUTF8Units(b + i, length, units, &produced)) {
      out.append(units, produced);
      i += length;
    } else {
      out.push_back(0xFFFD);
      ++i;
    }
  }
}

bool cfi::EncodeUTF8(const char16_t* u, size_t n, std::string& out) {
  out.reserve(out.size() + n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = u[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (IsHighSurrogate(u[i]) && i + 1 < n && IsLowSurrogate(u[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    } else if (IsSurrogate(c)) {
      return false;
    }
    UInt8 bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(EncodeCodePoint(c, bytes)));
  }
  return true;
}

// ---- Internal helpers -----------------------------------------------------------

CFStringRef cfi::StringCreateFromUnits(const char16_t* units, size_t length, bool mutableString) {
  __CFString* s = new __CFString(mutableString);
  try {
    SetUnits(s, units, length);
  } catch (...) {
    delete s;
    throw;
  }
  return s;
}

const char16_t* cfi::StringUnits(CFStringRef str, CFIndex* length) {
  const __CFString* s = AsString(str);
  *length = s->length;
  return s->units;
}

bool cfi::StringToUTF8(CFStringRef str, std::string& out) {
  const __CFString* s = AsString(str);
  return EncodeUTF8(s->units, static_cast<size_t>(s->length), out);
}

bool cfi::StringEqual(const Object* a, const Object* b) {
  const __CFString* x = static_cast<const __CFString*>(a);
  const __CFString* y = static_cast<const __CFString*>(b);
  return x->length == y->length &&
         (x->length == 0 || memcmp(x->units, y->units, x->length * sizeof(char16_t)) == 0);
}

namespace {

// Dictionary keys can come from another process (the helper tool reads its
// request as root), so string hashes are keyed with a secret of this process:
// nobody can prepare keys that all land in one chain. SipHash-1-3.
struct SipKey {
  uint64_t k0 = 0x736f6d6570736575ull;
  uint64_t k1 = 0x646f72616e646f6dull;
  SipKey() {
    uint64_t random[2];
    size_t got = 0;
    while (got < sizeof(random)) {
      ssize_t n = getrandom(reinterpret_cast<char*>(random) + got, sizeof(random) - got, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // keep the fixed key: still correct, only predictable
      got += static_cast<size_t>(n);
    }
    k0 = random[0];
    k1 = random[1];
  }
};

inline uint64_t Rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

inline void SipRound(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
  v0 += v1; v1 = Rotl(v1, 13); v1 ^= v0; v0 = Rotl(v0, 32);
  v2 += v3; v3 = Rotl(v3, 16); v3 ^= v2;
  v0 += v3; v3 = Rotl(v3, 21); v3 ^= v0;
  v2 += v1; v1 = Rotl(v1, 17); v1 ^= v2; v2 = Rotl(v2, 32);
}

uint64_t SipHash13(const uint8_t* in, size_t length) {
  static const SipKey key;
  uint64_t v0 = 0x736f6d6570736575ull ^ key.k0;
  uint64_t v1 = 0x646f72616e646f6dull ^ key.k1;
  uint64_t v2 = 0x6c7967656e657261ull ^ key.k0;
  uint64_t v3 = 0x7465646279746573ull ^ key.k1;
  size_t whole = length & ~static_cast<size_t>(7);
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t m;
    memcpy(&m, in + i, sizeof(m));
    v3 ^= m;
    SipRound(v0, v1, v2, v3);
    v0 ^= m;
  }
  uint64_t last = static_cast<uint64_t>(length) << 56;
  for (size_t i = whole; i < length; ++i) last |= static_cast<uint64_t>(in[i]) << (8 * (i - whole));
  v3 ^= last;
  SipRound(v0, v1, v2, v3);
  v0 ^= last;
  v2 ^= 0xff;
  SipRound(v0, v1, v2, v3);
  SipRound(v0, v1, v2, v3);
  SipRound(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace

CFHashCode cfi::StringHash(const Object* o) {
  const __CFString* s = static_cast<const __CFString*>(o);
  if (!s->isMutable) {
    CFHashCode cached = s->cachedHash.load(std::memory_order_relaxed);
    if (cached != 0) return cached;
  }
  uint64_t h = SipHash13(reinterpret_cast<const uint8_t*>(s->units), static_cast<size_t>(s->length) * sizeof(char16_t));
  CFHashCode result = static_cast<CFHashCode>(h) | 1;  // never 0, which means "not cached"
  if (!s->isMutable) const_cast<__CFString*>(s)->cachedHash.store(result, std::memory_order_relaxed);
  return result;
}

void cfi::StringDestroy(Object* o) {
  __CFString* s = static_cast<__CFString*>(o);
  if (s->ownsUnits) free(s->units);
  free(s->utf8.load());
  delete s;
}

// ---- Constant strings -------------------------------------------------------------

namespace {

constexpr CFIndex ConstantLength(const char16_t* s) {
  return static_cast<CFIndex>(std::char_traits<char16_t>::length(s));
}

#define QUILLON_CONSTANT_STRING(var, text) constinit __CFString var(u"" text, ConstantLength(u"" text))
QUILLON_CONSTANT_STRING(gBundleIdentifierKey, "CFBundleIdentifier");
QUILLON_CONSTANT_STRING(gBundleExecutableKey, "CFBundleExecutable");
QUILLON_CONSTANT_STRING(gBundleNameKey, "CFBundleName");
#undef QUILLON_CONSTANT_STRING

// Constant strings are interned for the life of the process; the table itself
// is never destroyed so that constants stay valid during exit.
struct InternTable {
  std::mutex mutex;
  std::unordered_map<std::string, const __CFString*> strings;
};

InternTable& Interned() {
  static InternTable* table = [] {
    InternTable* t = new InternTable;
    for (const __CFString* s : {&gBundleIdentifierKey, &gBundleExecutableKey, &gBundleNameKey}) {
      std::string key;
      cfi::EncodeUTF8(s->units, static_cast<size_t>(s->length), key);
      t->strings.emplace(std::move(key), s);
    }
    return t;
  }();
  return *table;
}

}  // namespace

const CFStringRef kCFBundleIdentifierKey = &gBundleIdentifierKey;
const CFStringRef kCFBundleExecutableKey = &gBundleExecutableKey;
const CFStringRef kCFBundleNameKey = &gBundleNameKey;

CFStringRef __CFStringMakeConstantString(const char* utf8) {
  assert(utf8 != NULL);
  try {
    InternTable& table = Interned();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::string key(utf8);
    auto found = table.strings.find(key);
    if (found != table.strings.end()) return found->second;
    std::u16string units;
    bool valid = cfi::DecodeUTF8(reinterpret_cast<const UInt8*>(utf8), key.size(), units);
    assert(valid && "constant string is not valid UTF-8");
    __CFString* s = new __CFString(false);
    SetUnits(s, units.data(), units.size());
    s->isImmortal = true;
    table.strings.emplace(std::move(key), s);
    return s;
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory("__CFStringMakeConstantString");
  }
}

// ---- Creation ------------------------------------------------------------------------

CFTypeID CFStringGetTypeID(void) { return cfi::kStringTypeID; }

CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  assert(numBytes >= 0);
  assert(bytes != NULL || numBytes == 0);
  // UTF-8 is what property lists and paths use: decode it straight into the
  // string's own storage.
  if (encoding == kCFStringEncodingUTF8 && !isExternalRepresentation && numBytes <= kMaxStringLength) {
    __CFString* s = new (std::nothrow) __CFString(false);
    if (s == nullptr) return nullptr;
    size_t produced = 0;
    if (numBytes > 0) {
      s->units = static_cast<char16_t*>(malloc(static_cast<size_t>(numBytes) * sizeof(char16_t)));
      if (s->units == nullptr ||
          !DecodeUTF8Units(bytes, static_cast<size_t>(numBytes), s->units, &produced)) {
        cfi::StringDestroy(s);
        return nullptr;
      }
    }
    s->length = static_cast<CFIndex>(produced);
    s->capacity = static_cast<CFIndex>(numBytes);
    return s;
  }
  try {
    std::u16string units;
    if (!DecodeBytes(bytes, static_cast<size_t>(numBytes), encoding, isExternalRepresentation, units)) {
      return nullptr;
    }
    return cfi::StringCreateFromUnits(units.data(), units.size(), false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding) {
  assert(cStr != NULL);
  return CFStringCreateWithBytes(alloc, reinterpret_cast<const UInt8*>(cStr), static_cast<CFIndex>(strlen(cStr)),
                                 encoding, false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars) {
  assert(numChars >= 0);
  assert(chars != NULL || numChars == 0);
  try {
    return cfi::StringCreateFromUnits(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars),
                                      false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef str) {
  const __CFString* s = AsString(str);
  if (!s->isMutable) return static_cast<CFStringRef>(CFRetain(str));
  try {
    return cfi::StringCreateFromUnits(s->units, static_cast<size_t>(s->length), false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range) {
  const __CFString* s = AsString(str);
  assert(range.location >= 0 && range.length >= 0 && range.location <= s->length &&
         range.length <= s->length - range.location);
  try {
    return cfi::StringCreateFromUnits(s->units + range.location, static_cast<size_t>(range.length), false);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength) {
  assert(maxLength >= 0);
  try {
    return new __CFString(true);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength, CFStringRef str) {
  const __CFString* s = AsString(str);
  assert(maxLength >= 0);
  try {
    return const_cast<__CFString*>(
        static_cast<const __CFString*>(cfi::StringCreateFromUnits(s->units, static_cast<size_t>(s->length), true)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void CFStringAppend(CFMutableStringRef str, CFStringRef appended) {
  __CFString* s = AsMutableString(str);
  const __CFString* a = AsString(appended);
  try {
    AppendUnits(s, a->units, static_cast<size_t>(a->length));
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory("CFStringAppend");
  }
}

void CFStringAppendCString(CFMutableStringRef str, const char* cStr, CFStringEncoding encoding) {
  __CFString* s = AsMutableString(str);
  assert(cStr != NULL);
  try {
    std::u16string units;
    // Bytes that are not valid in the encoding append nothing, as creating a
    // string from them would give nothing.
    if (DecodeBytes(reinterpret_cast<const UInt8*>(cStr), strlen(cStr), encoding, false, units)) {
      AppendUnits(s, units.data(), units.size());
    }
  } catch (const std::bad_alloc&) {
    cfi::FatalOutOfMemory("CFStringAppendCString");
  }
}

// ---- Access -------------------------------------------------------------------------------

CFIndex CFStringGetLength(CFStringRef str) { return AsString(str)->length; }

UniChar CFStringGetCharacterAtIndex(CFStringRef str, CFIndex idx) {
  const __CFString* s = AsString(str);
  assert(idx >= 0 && idx < s->length);
  return s->units[idx];
}

void CFStringGetCharacters(CFStringRef str, CFRange range, UniChar* buffer) {
  const __CFString* s = AsString(str);
  assert(range.location >= 0 && range.length >= 0 && range.location <= s->length &&
         range.length <= s->length - range.location);
  assert(buffer != NULL || range.length == 0);
  if (range.length > 0) memcpy(buffer, s->units + range.location, range.length * sizeof(UniChar));
}

CFIndex CFStringGetBytes(CFStringRef str, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen,
                         CFIndex* usedBufLen) {
  const __CFString* s = AsString(str);
  assert(range.location >= 0 && range.length >= 0 && range.location <= s->length &&
         range.length <= s->length - range.location);
  assert(buffer == NULL || maxBufLen >= 0);
  const char16_t* u = s->units + range.location;
  const CFIndex n = range.length;
  CFIndex used = 0;
  CFIndex i = 0;
  UInt8 out[4];

  bool utf16 = encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF16BE ||
               encoding == kCFStringEncodingUTF16LE;
  bool known = utf16 || encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII ||
               encoding == kCFStringEncodingISOLatin1 || encoding == kCFStringEncodingMacRoman;
  if (!known) {
    if (usedBufLen) *usedBufLen = 0;
    return 0;
  }
  bool little = encoding == kCFStringEncodingUTF16LE || (encoding == kCFStringEncodingUTF16 && IsHostLittleEndian());
  if (encoding == kCFStringEncodingUTF16 && isExternalRepresentation) {
    if (buffer != nullptr && maxBufLen < 2) {
      if (usedBufLen) *usedBufLen = 0;
      return 0;
    }
    if (buffer != nullptr) {
      buffer[0] = little ? 0xFF : 0xFE;
      buffer[1] = little ? 0xFE : 0xFF;
    }
    used = 2;
  }

  while (i < n) {
    CFIndex width = 1;
    CFIndex produced = 0;
    if (utf16) {
      char16_t c = u[i];
      out[0] = static_cast<UInt8>(little ? c & 0xFF : c >> 8);
      out[1] = static_cast<UInt8>(little ? c >> 8 : c & 0xFF);
      produced = 2;
    } else {
      uint32_t c = DecodeAt(u, n, i, &width);
      int single = -1;
      switch (encoding) {
        case kCFStringEncodingUTF8:
          if (!IsSurrogate(c)) produced = EncodeCodePoint(c, out);
          break;
        case kCFStringEncodingASCII: single = c < 0x80 ? static_cast<int>(c) : -1; break;
        case kCFStringEncodingISOLatin1: single = c < 0x100 ? static_cast<int>(c) : -1; break;
        case kCFStringEncodingMacRoman: single = MacRomanByteFor(c); break;
        default: break;
      }
      if (single >= 0) {
        out[0] = static_cast<UInt8>(single);
        produced = 1;
      }
      if (produced == 0) {
        // Not representable: one loss byte stands for the whole character.
        if (lossByte == 0) break;
        out[0] = lossByte;
        produced = 1;
      }
    }
    if (buffer != nullptr) {
      if (maxBufLen - used < produced) break;
      memcpy(buffer + used, out, static_cast<size_t>(produced));
    }
    used += produced;
    i += width;
  }
  if (usedBufLen) *usedBufLen = used;
  return i;
}

Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  const __CFString* s = AsString(str);
  assert(buffer != NULL && bufferSize >= 0);
  if (bufferSize == 0) return false;
  CFIndex used = 0;
  CFIndex converted = CFStringGetBytes(str, CFRangeMake(0, s->length), encoding, 0, false,
                                       reinterpret_cast<UInt8*>(buffer), bufferSize - 1, &used);
  if (converted != s->length) {
    buffer[0] = '\0';
    return false;
  }
  buffer[used] = '\0';
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding) {
  const __CFString* s = AsString(str);
  if (encoding != kCFStringEncodingUTF8) return nullptr;
  char* cached = s->utf8.load(std::memory_order_acquire);
  if (cached != nullptr) return cached;
  std::string text;
  try {
    if (!cfi::EncodeUTF8(s->units, static_cast<size_t>(s->length), text)) return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  char* made = static_cast<char*>(malloc(text.size() + 1));
  if (made == nullptr) return nullptr;
  memcpy(made, text.c_str(), text.size() + 1);
  // Readers of an immutable string may race to build the copy; the first wins.
  char* expected = nullptr;
  if (!const_cast<__CFString*>(s)->utf8.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) {
    free(made);
    return expected;
  }
  return made;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return kCFNotFound;
  CFIndex factor;
  switch (encoding) {
    case kCFStringEncodingUTF8: factor = 3; break;  // a unit gives at most 3 bytes, a pair 4
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE: factor = 2; break;
    case kCFStringEncodingASCII:
    case kCFStringEncodingISOLatin1:
    case kCFStringEncodingMacRoman: factor = 1; break;
    default: return kCFNotFound;
  }
  if (length > std::numeric_limits<CFIndex>::max() / factor) return kCFNotFound;
  return length * factor;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options) {
  const __CFString* x = AsString(a);
  const __CFString* y = AsString(b);
  bool fold = (options & kCFCompareCaseInsensitive) != 0;
  CFIndex i = 0, j = 0;
  // Compare by code point, so that characters beyond U+FFFF sort after the BMP.
  while (i < x->length && j < y->length) {
    CFIndex wi, wj;
    uint32_t ci = DecodeAt(x->units, x->length, i, &wi);
    uint32_t cj = DecodeAt(y->units, y->length, j, &wj);
    if (fold) {
      ci = FoldCase(ci);
      cj = FoldCase(cj);
    }
    if (ci != cj) return ci < cj ? kCFCompareLessThan : kCFCompareGreaterThan;
    i += wi;
    j += wj;
  }
  if (i < x->length) return kCFCompareGreaterThan;
  if (j < y->length) return kCFCompareLessThan;
  return kCFCompareEqualTo;
}

Boolean CFStringHasPrefix(CFStringRef str, CFStringRef prefix) {
  const __CFString* s = AsString(str);
  const __CFString* p = AsString(prefix);
  return p->length <= s->length && (p->length == 0 || memcmp(s->units, p->units, p->length * 2) == 0);
}

Boolean CFStringHasSuffix(CFStringRef str, CFStringRef suffix) {
  const __CFString* s = AsString(str);
  const __CFString* p = AsString(suffix);
  return p->length <= s->length &&
         (p->length == 0 || memcmp(s->units + (s->length - p->length), p->units, p->length * 2) == 0);
}

// ---- Descriptions and formatting ------------------------------------------------------------

namespace {

void AppendASCII(std::u16string& out, std::string_view text) {
  for (char c : text) out.push_back(static_cast<unsigned char>(c));
}

void AppendISODate(std::u16string& out, CFAbsoluteTime at) {
  double unixTime = at + kCFAbsoluteTimeIntervalSince1970;
  char text[64];
  struct tm parts;
  if (!(unixTime > -6.7e16 && unixTime < 6.7e16)) {
    AppendASCII(out, "<invalid date>");
    return;
  }
  time_t whole = static_cast<time_t>(unixTime);
  if (static_cast<double>(whole) > unixTime) --whole;  // floor for times before 1970
  if (gmtime_r(&whole, &parts) == nullptr) {
    AppendASCII(out, "<invalid date>");
    return;
  }
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  AppendASCII(out, text);
}

}  // namespace

void cfi::AppendDescription(std::u16string& out, CFTypeRef cf) {
  const Object* o = ObjectOf(cf);
  char text[64];
  switch (o->typeID) {
    case kStringTypeID: {
      const __CFString* s = static_cast<const __CFString*>(o);
      out.append(s->units, static_cast<size_t>(s->length));
      break;
    }
    case kNumberTypeID: AppendNumberDescription(out, static_cast<CFNumberRef>(cf)); break;
    case kBooleanTypeID: AppendASCII(out, static_cast<const __CFBoolean*>(o)->value ? "true" : "false"); break;
    case kDateTypeID: AppendISODate(out, static_cast<const __CFDate*>(o)->at); break;
    case kDataTypeID: {
      const __CFData* d = static_cast<const __CFData*>(o);
      static const char kHex[] = "0123456789abcdef";
      out.push_back(u'<');
      CFIndex shown = std::min<CFIndex>(d->length, 64);
      for (CFIndex i = 0; i < shown; ++i) {
        out.push_back(static_cast<char16_t>(kHex[d->bytes[i] >> 4]));
        out.push_back(static_cast<char16_t>(kHex[d->bytes[i] & 15]));
      }
      if (shown < d->length) AppendASCII(out, "...");
      out.push_back(u'>');
      break;
    }
    case kURLTypeID: {
      const __CFURL* url = static_cast<const __CFURL*>(o);
      DecodeUTF8Lenient(reinterpret_cast<const UInt8*>(url->path.data()), url->path.size(), out);
      if (url->isDirectory && url->path != "/") out.push_back(u'/');
      break;
    }
    case kArrayTypeID:
      snprintf(text, sizeof text, "<array of %ld values>", static_cast<long>(ArrayCount(o)));
      AppendASCII(out, text);
      break;
    case kDictionaryTypeID:
      snprintf(text, sizeof text, "<dictionary of %ld entries>", static_cast<long>(DictionaryCount(o)));
      AppendASCII(out, text);
      break;
    case kBundleTypeID:
      AppendASCII(out, "<bundle ");
      AppendDescription(out, static_cast<const __CFBundle*>(o)->url);
      out.push_back(u'>');
      break;
    default: AppendASCII(out, "<allocator>"); break;
  }
}

namespace {

// Widths and precisions beyond this are refused as malformed: they could
// only ask for absurd amounts of memory.
constexpr int kMaxFieldWidth = 65536;

struct Directive {
  std::string flags;
  int width = -1;
  int precision = -1;
  std::string length;  // "", "hh", "h", "l", "ll", "q", "L", "z", "j", "t"
  char16_t conversion = 0;
};

void Pad(std::u16string& out, const std::u16string& field, const Directive& d) {
  size_t width = d.width > 0 ? static_cast<size_t>(d.width) : 0;
  bool left = d.flags.find('-') != std::string::npos;
  if (!left && field.size() < width) out.append(width - field.size(), u' ');
  out += field;
  if (left && field.size() < width) out.append(width - field.size(), u' ');
}

// Formats a number through the C library with the directive's own flags,
// width and precision.
template <typename T>
void AppendNumeric(std::u16string& out, const Directive& d, const char* lengthSpec, T value) {
  std::string spec = "%" + d.flags;
  if (d.width >= 0) spec += std::to_string(d.width);
  if (d.precision >= 0) spec += "." + std::to_string(d.precision);
  spec += lengthSpec;
  spec.push_back(static_cast<char>(d.conversion));
  int needed = snprintf(nullptr, 0, spec.c_str(), value);
  if (needed < 0) throw std::bad_alloc();
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  snprintf(text.data(), text.size(), spec.c_str(), value);
  text.resize(static_cast<size_t>(needed));
  AppendASCII(out, text);
}

bool ReadNumber(const char16_t* f, size_t n, size_t& i, int& value) {
  value = 0;
  while (i < n && f[i] >= u'0' && f[i] <= u'9') {
    value = value * 10 + (f[i] - u'0');
    if (value > kMaxFieldWidth) return false;
    ++i;
  }
  return true;
}

// Returns false on a malformed format.
bool Format(const char16_t* f, size_t n, va_list args, std::u16string& out) {
  size_t i = 0;
  while (i < n) {
    if (f[i] != u'%') {
      out.push_back(f[i++]);
      continue;
    }
    ++i;
    Directive d;
    while (i < n && std::u16string_view(u"-+ #0'").find(f[i]) != std::u16string_view::npos) {
      d.flags.push_back(static_cast<char>(f[i++]));
    }
    if (i < n && f[i] == u'*') {
      ++i;
      d.width = va_arg(args, int);
      if (d.width < 0) {
        d.flags.push_back('-');
        d.width = d.width == std::numeric_limits<int>::min() ? kMaxFieldWidth + 1 : -d.width;
      }
      if (d.width > kMaxFieldWidth) return false;
    } else if (i < n && f[i] >= u'1' && f[i] <= u'9') {
      if (!ReadNumber(f, n, i, d.width)) return false;
      if (i < n && f[i] == u'$') return false;  // positional arguments are not supported
    }
    if (i < n && f[i] == u'.') {
      ++i;
      if (i < n && f[i] == u'*') {
        ++i;
        d.precision = va_arg(args, int);
        if (d.precision < 0) d.precision = -1;  // as if omitted
        if (d.precision > kMaxFieldWidth) return false;
      } else if (!ReadNumber(f, n, i, d.precision)) {
        return false;
      }
    }
    while (i < n && std::u16string_view(u"hlqLzjt").find(f[i]) != std::u16string_view::npos) {
      d.length.push_back(static_cast<char>(f[i++]));
    }
    if (i >= n) return false;
    d.conversion = f[i++];
    const std::string& len = d.length;
    if (len != "" && len != "hh" && len != "h" && len != "l" && len != "ll" && len != "q" && len != "L" &&
        len != "z" && len != "j" && len != "t") {
      return false;
    }
    switch (d.conversion) {
      case u'%':
        out.push_back(u'%');
        break;
      case u'd':
      case u'i': {
        long long v;
        if (len == "hh") v = static_cast<signed char>(va_arg(args, int));
        else if (len == "h") v = static_cast<short>(va_arg(args, int));
        else if (len == "l") v = va_arg(args, long);
        else if (len == "ll" || len == "q") v = va_arg(args, long long);
        else if (len == "z") v = va_arg(args, ssize_t);
        else if (len == "j") v = va_arg(args, intmax_t);
        else if (len == "t") v = va_arg(args, ptrdiff_t);
        else if (len == "") v = va_arg(args, int);
        else return false;
        AppendNumeric(out, d, "ll", v);
        break;
      }
      case u'o':
      case u'u':
      case u'x':
      case u'X': {
        unsigned long long v;
        if (len == "hh") v = static_cast<unsigned char>(va_arg(args, unsigned int));
        else if (len == "h") v = static_cast<unsigned short>(va_arg(args, unsigned int));
        else if (len == "l") v = va_arg(args, unsigned long);
        else if (len == "ll" || len == "q") v = va_arg(args, unsigned long long);
        else if (len == "z") v = va_arg(args, size_t);
        else if (len == "j") v = va_arg(args, uintmax_t);
        else if (len == "t") v = static_cast<unsigned long long>(va_arg(args, ptrdiff_t));
        else if (len == "") v = va_arg(args, unsigned int);
        else return false;
        AppendNumeric(out, d, "ll", v);
        break;
      }
      case u'f':
      case u'F':
      case u'e':
      case u'E':
      case u'g':
      case u'G':
      case u'a':
      case u'A':
        if (len == "L") {
          AppendNumeric(out, d, "L", va_arg(args, long double));
        } else if (len == "" || len == "l") {
          AppendNumeric(out, d, "", va_arg(args, double));
        } else {
          return false;
        }
        break;
      case u'p': {
        if (len != "") return false;
        Directive plain = d;
        plain.precision = -1;
        AppendNumeric(out, plain, "", va_arg(args, void*));
        break;
      }
      case u'c':
      case u'C': {
        if (len != "" && len != "l") return false;
        unsigned int v = va_arg(args, unsigned int);
        std::u16string field(1, static_cast<char16_t>(d.conversion == u'c' && len == "" ? v & 0xFF : v & 0xFFFF));
        Pad(out, field, d);
        break;
      }
      case u's': {
        if (len != "") return false;
        const char* s = va_arg(args, const char*);
        std::u16string field;
        if (s == nullptr) {
          field = u"(null)";
        } else {
          // Like printf, a precision bounds the bytes read, so s need not be
          // terminated within it.
          size_t bytes = d.precision >= 0 ? strnlen(s, static_cast<size_t>(d.precision)) : strlen(s);
          cfi::DecodeUTF8Lenient(reinterpret_cast<const UInt8*>(s), bytes, field);
        }
        Pad(out, field, d);
        break;
      }
      case u'S': {
        if (len != "") return false;
        const UniChar* s = va_arg(args, const UniChar*);
        std::u16string field;
        if (s == nullptr) {
          field = u"(null)";
        } else {
          size_t k = 0;
          while ((d.precision < 0 || k < static_cast<size_t>(d.precision)) && s[k] != 0) ++k;
          field.assign(reinterpret_cast<const char16_t*>(s), k);
        }
        Pad(out, field, d);
        break;
      }
      case u'@': {
        if (len != "") return false;
        CFTypeRef object = va_arg(args, CFTypeRef);
        std::u16string field;
        if (object == nullptr) {
          field = u"(null)";
        } else {
          cfi::AppendDescription(field, object);
        }
        if (d.precision >= 0 && field.size() > static_cast<size_t>(d.precision)) field.resize(d.precision);
        Pad(out, field, d);
        break;
      }
      default:
        return false;  // includes %n, which writes through a pointer and is never honoured
    }
    if (out.size() > static_cast<size_t>(kMaxStringLength)) throw std::bad_alloc();
  }
  return true;
}

}  // namespace

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                 CFStringRef format, va_list arguments) {
  const __CFString* f = AsString(format);
  CFStringRef result = nullptr;
  va_list args;
  va_copy(args, arguments);
  try {
    std::u16string out;
    if (Format(f->units, static_cast<size_t>(f->length), args, out)) {
      result = cfi::StringCreateFromUnits(out.data(), out.size(), false);
    }
  } catch (const std::bad_alloc&) {
    result = nullptr;
  }
  va_end(args);
  return result;
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...) {
  va_list args;
  va_start(args, format);
  CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
  va_end(args);
  return result;
}
