// The XML property-list format (version 1.0): a writer that produces it from
// our objects and a reader, built on pugixml, that turns it back into them.
//
// The reader takes bytes that another, possibly hostile, process sent to a
// root process. Hence:
//   - the whole input must be UTF-8 without NUL bytes before pugixml sees it;
//   - no DOCTYPE is processed: pugixml skips it, and we decode character
//     references ourselves, so only the five predefined entities and numeric
//     references are recognised; any other reference makes the input invalid
//     rather than being passed through as literal text;
//   - nesting is limited to kCFPropertyListMaxDepth containers, and every tree
//     walk (reader, writer, validity check) uses an explicit stack;
//   - working memory grows linearly with the input (pugixml's tree, our
//     pending-object stacks) and is freed on every path;
//   - duplicate dictionary keys are refused, so that no two readers can
//     disagree about which value a key has.
//
// Strings. XML 1.0 cannot hold most C0 control characters, U+FFFE or U+FFFF,
// even as character references. Refusing to write such strings would make
// ordinary text (a log with an escape sequence in it) unsendable, so the
// writer emits them as numeric character references, which our reader
// accepts; carriage return is written as a reference too, so that newline
// normalisation cannot turn it into a line feed. The reader accepts raw
// control characters other than NUL. A string holding a lone UTF-16
// surrogate has no UTF-8 form at all and is not a property list.
//
// Numbers. Integers are signed 64-bit; a larger literal is not a property
// list. Reals are written in the shortest form that reads back to the same
// double; infinities as "inf"/"-inf", any NaN as "nan". A real literal that
// overflows or underflows a double is not a property list.
//
// Dates are written in UTC as YYYY-MM-DDTHH:MM:SSZ, with a fraction of a
// second when there is one: the digits of the shortest decimal form of the
// seconds since the reference date, which the reader converts back as one
// decimal number, so every date reads back exactly.
// Years outside 0000-9999 carry a sign ("+12000", "-0044"); dates more than
// kMaxDateSeconds from the reference date, and non-finite ones, cannot be
// written.
#include <CoreFoundation/CoreFoundation.h>

#include "MoreUNIXText.h"

#include <pugixml.hpp>
#include <strings.h>

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// About 3.17 million years either side of 2001: far beyond any real date, well
// inside the range where a double holds whole seconds exactly.
constexpr double kMaxDateSeconds = 1e14;
constexpr int64_t kUnixToReference = 978307200;  // 1970-01-01 to 2001-01-01
constexpr int64_t kSecondsPerDay = 86400;

// ---- UTF-8 ------------------------------------------------------------------

// Returns the offset of the first byte that is not part of well-formed UTF-8
// (or is NUL), or `length` when all of it is fine.
size_t FindInvalidUTF8(const UInt8* p, size_t length) {
  const size_t invalid = MoreUNIXFindInvalidUTF8(std::string_view(reinterpret_cast<const char*>(p), length));
  const void* nul = std::memchr(p, 0, invalid);
  return nul != nullptr ? static_cast<size_t>(static_cast<const UInt8*>(nul) - p) : invalid;
}

void AppendUTF8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Whether the document holds a comment, a CDATA section, or a processing
// instruction other than a leading XML declaration.
bool MaySplitText(const UInt8* bytes, size_t length) {
  const UInt8* end = bytes + length;
  for (const UInt8* p = bytes; (p = static_cast<const UInt8*>(std::memchr(p, '<', static_cast<size_t>(end - p))));
       ++p) {
    if (end - p < 3) break;
    if ((p[1] == '!' && (p[2] == '-' || p[2] == '[')) || (p[1] == '?' && p != bytes)) return true;
  }
  return false;
}

inline bool IsXMLSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsAllSpace(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (!IsXMLSpace(s[i])) return false;
  }
  return true;
}

void TrimSpace(const char*& s, size_t& n) {
  while (n > 0 && IsXMLSpace(s[0])) { ++s; --n; }
  while (n > 0 && IsXMLSpace(s[n - 1])) --n;
}

// ---- Base64 -----------------------------------------------------------------

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 0-63: digit value; 64: white space; 65: '='; 66: anything else.
struct Base64DecodeTable {
  UInt8 v[256];
  constexpr Base64DecodeTable() : v() {
    for (int i = 0; i < 256; ++i) v[i] = 66;
    for (int i = 0; i < 64; ++i) v[static_cast<UInt8>(kBase64Digits[i])] = static_cast<UInt8>(i);
    v[static_cast<UInt8>(' ')] = v[static_cast<UInt8>('\t')] = 64;
    v[static_cast<UInt8>('\n')] = v[static_cast<UInt8>('\r')] = 64;
    v[static_cast<UInt8>('=')] = 65;
  }
};
constexpr Base64DecodeTable kBase64Decode;

// Decodes base64 that may be broken by white space anywhere and may omit its
// padding. Anything else (other characters, data after the padding, a lone
// final digit) makes it invalid.
bool DecodeBase64(const char* s, size_t n, std::vector<UInt8>& out) {
  out.clear();
  out.reserve(n / 4 * 3 + 3);
  uint32_t acc = 0;
  int digits = 0;  // digits in acc (0-3)
  int padding = 0;
  for (size_t i = 0; i < n; ++i) {
    const UInt8 v = kBase64Decode.v[static_cast<UInt8>(s[i])];
    if (v < 64) {
      if (padding != 0) return false;
      acc = (acc << 6) | v;
      if (++digits == 4) {
        out.push_back(static_cast<UInt8>(acc >> 16));
        out.push_back(static_cast<UInt8>(acc >> 8));
        out.push_back(static_cast<UInt8>(acc));
        acc = 0;
        digits = 0;
      }
    } else if (v == 64) {
      continue;
    } else if (v == 65) {
      ++padding;
      if (digits < 2 || digits + padding > 4) return false;
    } else {
      return false;
    }
  }
  if (digits == 1) return false;
  if (padding != 0 && digits + padding != 4) return false;
  if (digits == 2) {
    out.push_back(static_cast<UInt8>(acc >> 4));
  } else if (digits == 3) {
    out.push_back(static_cast<UInt8>(acc >> 10));
    out.push_back(static_cast<UInt8>(acc >> 2));
  }
  return true;
}

// ---- Calendar ---------------------------------------------------------------
// Proleptic Gregorian calendar, days counted from 1970-01-01.

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(int64_t y, unsigned m) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeapYear(y)) ? 29 : kDays[m - 1];
}

// Makes 1 - 0.<digits> of 0.<digits>, in place: the fraction of a second
// that a date before the reference date shows, whose time of day lies a
// whole second below it. The last digit must not be 0.
void ComplementFraction(char* digits, size_t n) {
  for (size_t i = 0; i + 1 < n; ++i) digits[i] = static_cast<char>('9' - (digits[i] - '0'));
  digits[n - 1] = static_cast<char>('0' + 10 - (digits[n - 1] - '0'));
}

// The date `whole` seconds plus 0.<digits> from the reference date, rounded
// once, from its exact decimal value: adding a rounded fraction to the whole
// seconds would round twice and miss the written value, and just below the
// reference date every fraction would lose its last bits.
bool DateFromSeconds(int64_t whole, const char* digits, size_t n, double* out) {
  while (n > 0 && digits[n - 1] == '0') --n;
  if (n == 0) {
    *out = static_cast<double>(whole);
    return true;
  }
  std::string text;
  text.reserve(n + 24);
  char integer[24];
  if (whole >= 0) {
    text.append(integer, std::to_chars(integer, integer + sizeof integer, whole).ptr);
    text.push_back('.');
    text.append(digits, n);
  } else {
    // whole + 0.d is -((-whole - 1) + (1 - 0.d)).
    text.push_back('-');
    text.append(integer, std::to_chars(integer, integer + sizeof integer, -whole - 1).ptr);
    text.push_back('.');
    const size_t at = text.size();
    text.append(digits, n);
    ComplementFraction(text.data() + at, n);
  }
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, std::chars_format::fixed);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// ---- Output buffer ----------------------------------------------------------
// A growable malloc'd block, so that the finished text is handed to the data
// object without another copy. With kEmit false nothing is stored: the same
// walk then only checks that the object could be written.

template <bool kEmit>
class OutputBuffer {
 public:
  OutputBuffer() = default;
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;
  ~OutputBuffer() { std::free(fBytes); }

  void Append(const char* s, size_t n) {
    if constexpr (kEmit) {
      Reserve(n);
      std::memcpy(fBytes + fLength, s, n);
      fLength += n;
    }
  }
  void Append(const char* s) { Append(s, std::strlen(s)); }
  void Append(char c) {
    if constexpr (kEmit) {
      Reserve(1);
      fBytes[fLength++] = c;
    }
  }
  void AppendRepeated(char c, size_t n) {
    if constexpr (kEmit) {
      Reserve(n);
      std::memset(fBytes + fLength, c, n);
      fLength += n;
    }
  }
  // Room for n more bytes at Tail(); Commit(n) after writing them.
  char* Tail(size_t n) {
    Reserve(n);
    return fBytes + fLength;
  }
  void Commit(size_t n) { fLength += n; }
  size_t Length() const { return fLength; }
  void Truncate(size_t n) { fLength = n; }
  // Hands the block to the caller, who frees it.
  char* Release() { char* b = fBytes; fBytes = nullptr; fLength = fCapacity = 0; return b; }

 private:
  void Reserve(size_t n) {
    if (fCapacity - fLength >= n) return;
    size_t capacity = fCapacity < 4096 ? 4096 : fCapacity;
    while (capacity - fLength < n) capacity *= 2;
    char* grown = static_cast<char*>(std::realloc(fBytes, capacity));
    if (grown == nullptr) throw std::bad_alloc();
    fBytes = grown;
    fCapacity = capacity;
  }

  char* fBytes = nullptr;
  size_t fLength = 0;
  size_t fCapacity = 0;
};

// ---- Writer -----------------------------------------------------------------

// Bytes of UTF-8 text that need a second look when escaping: markup
// characters, control characters XML cannot carry raw, and the lead bytes of
// U+D800-U+DFFF (ED) and U+FFFD-U+FFFF (EF).
struct EscapeTable {
  bool special[256];
  constexpr EscapeTable() : special() {
    for (int c = 0; c < 0x20; ++c) special[c] = (c != '\t' && c != '\n');
    special[static_cast<UInt8>('&')] = special[static_cast<UInt8>('<')] = special[static_cast<UInt8>('>')] = true;
    special[0xED] = special[0xEF] = true;
  }
};
constexpr EscapeTable kEscape;

enum class EscapeResult { kDone, kNeedsCheck, kInvalid };

const char* const kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
const char* const kTrailer = "</plist>\n";

template <bool kEmit>
class XMLWriter {
 public:
  XMLWriter()
      : fStringID(CFStringGetTypeID()),
        fNumberID(CFNumberGetTypeID()),
        fBooleanID(CFBooleanGetTypeID()),
        fDataID(CFDataGetTypeID()),
        fDateID(CFDateGetTypeID()),
        fArrayID(CFArrayGetTypeID()),
        fDictionaryID(CFDictionaryGetTypeID()) {}

  bool Write(CFPropertyListRef root) {
    fOut.Append(kHeader);
    if (!WriteValue(root)) return false;
    while (!fFrames.empty()) {
      Frame& frame = fFrames.back();
      if (frame.pos == frame.end) {
        const bool isDictionary = frame.isDictionary;
        fKeys.resize(frame.begin);
        fValues.resize(frame.begin);
        fFrames.pop_back();
        fOut.AppendRepeated('\t', fFrames.size());
        fOut.Append(isDictionary ? "</dict>\n" : "</array>\n");
        continue;
      }
      const size_t i = frame.pos++;
      if (frame.isDictionary) {
        const CFTypeRef key = fKeys[i];
        if (key == nullptr || CFGetTypeID(key) != fStringID) return false;
        fOut.AppendRepeated('\t', fFrames.size());
        fOut.Append("<key>", 5);
        if (!WriteString(static_cast<CFStringRef>(key))) return false;
        fOut.Append("</key>\n", 7);
      }
      // May push a frame; `frame` is not used after this.
      if (!WriteValue(fValues[i])) return false;
    }
    fOut.Append(kTrailer);
    return true;
  }

  OutputBuffer<kEmit>& Output() { return fOut; }

 private:
  struct Frame {
    bool isDictionary;
    size_t begin, end, pos;  // the children in fKeys/fValues
  };

  bool OpenContainer(bool isDictionary, CFTypeRef container, CFIndex count) {
    // The new container's depth is fFrames.size() + 1.
    if (fFrames.size() >= static_cast<size_t>(kCFPropertyListMaxDepth)) return false;
    const char* name = isDictionary ? "dict" : "array";
    fOut.Append('<');
    fOut.Append(name);
    if (count == 0) {
      fOut.Append("/>\n", 3);
      return true;
    }
    fOut.Append(">\n", 2);
    const size_t begin = fValues.size();
    fKeys.resize(begin + static_cast<size_t>(count));
    fValues.resize(begin + static_cast<size_t>(count));
    if (isDictionary) {
      CFDictionaryGetKeysAndValues(static_cast<CFDictionaryRef>(container), fKeys.data() + begin,
                                   fValues.data() + begin);
    } else {
      CFArrayGetValues(static_cast<CFArrayRef>(container), CFRangeMake(0, count), fValues.data() + begin);
    }
    fFrames.push_back(Frame{isDictionary, begin, begin + static_cast<size_t>(count), begin});
    return true;
  }

  bool WriteValue(CFTypeRef value) {
    if (value == nullptr) return false;
    fOut.AppendRepeated('\t', fFrames.size());
    const CFTypeID type = CFGetTypeID(value);
    if (type == fStringID) {
      fOut.Append("<string>", 8);
      if (!WriteString(static_cast<CFStringRef>(value))) return false;
      fOut.Append("</string>\n", 10);
    } else if (type == fDictionaryID) {
      return OpenContainer(true, value, CFDictionaryGetCount(static_cast<CFDictionaryRef>(value)));
    } else if (type == fArrayID) {
      return OpenContainer(false, value, CFArrayGetCount(static_cast<CFArrayRef>(value)));
    } else if (type == fNumberID) {
      WriteNumber(static_cast<CFNumberRef>(value));
    } else if (type == fBooleanID) {
      fOut.Append(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "<true/>\n" : "<false/>\n");
    } else if (type == fDataID) {
      WriteData(static_cast<CFDataRef>(value));
    } else if (type == fDateID) {
      return WriteDate(static_cast<CFDateRef>(value));
    } else {
      return false;  // URLs, bundles: not property-list types
    }
    return true;
  }

  // Appends UTF-8 text escaped for XML. *units receives the number of UTF-16
  // units the text stands for. kNeedsCheck: the text holds U+FFFD or what
  // looks like an encoded surrogate, so whoever produced it may have
  // substituted something for a unit that has no UTF-8 form.
  EscapeResult Escape(const char* text, size_t n, CFIndex* units) {
    const UInt8* s = reinterpret_cast<const UInt8*>(text);
    CFIndex count = 0;
    bool needsCheck = false;
    size_t run = 0;  // start of the bytes not yet appended
    for (size_t i = 0; i < n; ++i) {
      const UInt8 b = s[i];
      count += ((b & 0xC0) != 0x80) + (b >= 0xF0);
      if (!kEscape.special[b]) continue;
      if (b == 0xED) {
        if (i + 1 < n && s[i + 1] >= 0xA0) needsCheck = true;
        continue;
      }
      if (b == 0xEF) {
        if (i + 2 < n && s[i + 1] == 0xBF && s[i + 2] >= 0xBD) {
          if (s[i + 2] == 0xBD) {
            needsCheck = true;
          } else {
            // U+FFFE or U+FFFF: legal text, but not an XML character.
            fOut.Append(text + run, i - run);
            fOut.Append(s[i + 2] == 0xBE ? "&#xFFFE;" : "&#xFFFF;", 8);
            i += 2;
            run = i + 1;
          }
        }
        continue;
      }
      fOut.Append(text + run, i - run);
      run = i + 1;
      switch (b) {
        case '&': fOut.Append("&amp;", 5); break;
        case '<': fOut.Append("&lt;", 4); break;
        case '>': fOut.Append("&gt;", 4); break;
        default: {
          char ref[8];
          const int len = std::snprintf(ref, sizeof ref, "&#x%X;", b);
          fOut.Append(ref, static_cast<size_t>(len));
        }
      }
    }
    fOut.Append(text + run, n - run);
    *units = count;
    return needsCheck ? EscapeResult::kNeedsCheck : EscapeResult::kDone;
  }

  bool WriteString(CFStringRef string) {
    const CFIndex length = CFStringGetLength(string);
    const size_t mark = fOut.Length();
    // The fast path: the string's own UTF-8 text. It stops at an embedded NUL,
    // which the unit count reveals.
    if (const char* utf8 = CFStringGetCStringPtr(string, kCFStringEncodingUTF8)) {
      CFIndex units = 0;
      if (Escape(utf8, std::strlen(utf8), &units) == EscapeResult::kDone && units == length) return true;
      fOut.Truncate(mark);
    }
    CFIndex used = 0;
    const CFRange all = CFRangeMake(0, length);
    if (CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &used) != length) {
      return false;  // a lone surrogate
    }
    fScratch.resize(static_cast<size_t>(used));
    CFIndex converted = 0;
    if (CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false,
                         reinterpret_cast<UInt8*>(fScratch.data()), used, &converted) != length ||
        converted != used) {
      return false;
    }
    if (FindInvalidUTF8(reinterpret_cast<const UInt8*>(fScratch.data()), fScratch.size()) < fScratch.size()) {
      // Only NUL is acceptable among what the check refuses; anything else
      // means the conversion produced something that is not UTF-8.
      for (size_t i = 0; i < fScratch.size();) {
        const size_t bad = i + FindInvalidUTF8(reinterpret_cast<const UInt8*>(fScratch.data()) + i,
                                               fScratch.size() - i);
        if (bad == fScratch.size()) break;
        if (fScratch[bad] != '\0') return false;
        i = bad + 1;
      }
    }
    CFIndex units = 0;
    Escape(fScratch.data(), fScratch.size(), &units);
    return units == length;
  }

  void WriteNumber(CFNumberRef number) {
    char buffer[64];
    char* end = buffer;
    if (CFNumberIsFloatType(number)) {
      double d = 0;
      CFNumberGetValue(number, kCFNumberFloat64Type, &d);
      fOut.Append("<real>", 6);
      if (std::isnan(d)) {
        fOut.Append("nan", 3);
      } else if (std::isinf(d)) {
        fOut.Append(d > 0 ? "inf" : "-inf");
      } else {
        end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
        fOut.Append(buffer, static_cast<size_t>(end - buffer));
      }
      fOut.Append("</real>\n", 8);
    } else {
      SInt64 v = 0;
      CFNumberGetValue(number, kCFNumberSInt64Type, &v);
      fOut.Append("<integer>", 9);
      end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
      fOut.Append(buffer, static_cast<size_t>(end - buffer));
      fOut.Append("</integer>\n", 11);
    }
  }

  void WriteData(CFDataRef data) {
    const UInt8* bytes = CFDataGetBytePtr(data);
    const size_t length = static_cast<size_t>(CFDataGetLength(data));
    // Up to 57 bytes (76 digits) on the element's line; longer data on lines
    // of 76 digits between the tags.
    constexpr size_t kLineBytes = 57;
    const bool multiline = length > kLineBytes;
    const size_t indent = fFrames.size();
    fOut.Append("<data>", 6);
    if (multiline) fOut.Append('\n');
    for (size_t pos = 0; pos < length; pos += kLineBytes) {
      const size_t chunk = length - pos < kLineBytes ? length - pos : kLineBytes;
      if (multiline) fOut.AppendRepeated('\t', indent);
      if constexpr (kEmit) {
        char* out = fOut.Tail(chunk / 3 * 4 + 4);
        char* p = out;
        const UInt8* in = bytes + pos;
        size_t k = 0;
        for (; k + 3 <= chunk; k += 3) {
          const uint32_t v = (uint32_t{in[k]} << 16) | (uint32_t{in[k + 1]} << 8) | in[k + 2];
          p[0] = kBase64Digits[v >> 18];
          p[1] = kBase64Digits[(v >> 12) & 63];
          p[2] = kBase64Digits[(v >> 6) & 63];
          p[3] = kBase64Digits[v & 63];
          p += 4;
        }
        if (chunk - k == 1) {
          const uint32_t v = uint32_t{in[k]} << 16;
          p[0] = kBase64Digits[v >> 18];
          p[1] = kBase64Digits[(v >> 12) & 63];
          p[2] = p[3] = '=';
          p += 4;
        } else if (chunk - k == 2) {
          const uint32_t v = (uint32_t{in[k]} << 16) | (uint32_t{in[k + 1]} << 8);
          p[0] = kBase64Digits[v >> 18];
          p[1] = kBase64Digits[(v >> 12) & 63];
          p[2] = kBase64Digits[(v >> 6) & 63];
          p[3] = '=';
          p += 4;
        }
        fOut.Commit(static_cast<size_t>(p - out));
      }
      if (multiline) fOut.Append('\n');
    }
    if (multiline) fOut.AppendRepeated('\t', indent);
    fOut.Append("</data>\n", 8);
  }

  bool WriteDate(CFDateRef date) {
    const double t = CFDateGetAbsoluteTime(date);
    if (!std::isfinite(t) || std::fabs(t) > kMaxDateSeconds) return false;
    const double whole = std::floor(t);
    const int64_t unixSeconds = static_cast<int64_t>(whole) + kUnixToReference;
    int64_t days = unixSeconds / kSecondsPerDay;
    int64_t secondOfDay = unixSeconds % kSecondsPerDay;
    if (secondOfDay < 0) {
      secondOfDay += kSecondsPerDay;
      days -= 1;
    }
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    char buffer[96];
    int n;
    if (year >= 0 && year <= 9999) {
      n = std::snprintf(buffer, sizeof buffer, "<date>%04lld", static_cast<long long>(year));
    } else {
      n = std::snprintf(buffer, sizeof buffer, "<date>%c%04lld", year < 0 ? '-' : '+',
                        static_cast<long long>(year < 0 ? -year : year));
    }
    n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), "-%02u-%02uT%02d:%02d:%02d", month,
                       day, static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                       static_cast<int>(secondOfDay % 60));
    fOut.Append(buffer, static_cast<size_t>(n));
    if (t != whole && !WriteDateFraction(t)) return false;
    fOut.Append("Z</date>\n", 9);
    return true;
  }

  // The digits after the point of the shortest decimal form of t, which the
  // reader turns back into t exactly; below the reference date their
  // complement, since the time of day written is then the second below t.
  bool WriteDateFraction(double t) {
    char text[400];  // the longest fixed form, of the smallest subnormal, is 327 characters
    const auto r = std::to_chars(text, text + sizeof text, t, std::chars_format::fixed);
    if (r.ec != std::errc()) return false;
    char* point = static_cast<char*>(std::memchr(text, '.', static_cast<size_t>(r.ptr - text)));
    if (point == nullptr || point + 1 == r.ptr) return false;  // t is not a whole second
    char* digits = point + 1;
    size_t n = static_cast<size_t>(r.ptr - digits);
    while (n > 0 && digits[n - 1] == '0') --n;
    if (n == 0) return false;
    if (t < 0) ComplementFraction(digits, n);
    fOut.Append(point, n + 1);
    return true;
  }

  const CFTypeID fStringID, fNumberID, fBooleanID, fDataID, fDateID, fArrayID, fDictionaryID;
  OutputBuffer<kEmit> fOut;
  std::vector<Frame> fFrames;
  std::vector<CFTypeRef> fKeys, fValues;  // borrowed children of the open containers
  std::string fScratch;
};

// ---- Reader -----------------------------------------------------------------

enum class Tag {
  kDict, kArray, kKey, kString, kInteger, kReal, kTrue, kFalse, kDate, kData, kUnknown
};

Tag TagOf(const char* name) {
  switch (name[0]) {
    case 'a': if (std::strcmp(name, "array") == 0) return Tag::kArray; break;
    case 'd':
      if (std::strcmp(name, "dict") == 0) return Tag::kDict;
      if (std::strcmp(name, "data") == 0) return Tag::kData;
      if (std::strcmp(name, "date") == 0) return Tag::kDate;
      break;
    case 'f': if (std::strcmp(name, "false") == 0) return Tag::kFalse; break;
    case 'i': if (std::strcmp(name, "integer") == 0) return Tag::kInteger; break;
    case 'k': if (std::strcmp(name, "key") == 0) return Tag::kKey; break;
    case 'r': if (std::strcmp(name, "real") == 0) return Tag::kReal; break;
    case 's': if (std::strcmp(name, "string") == 0) return Tag::kString; break;
    case 't': if (std::strcmp(name, "true") == 0) return Tag::kTrue; break;
    default: break;
  }
  return Tag::kUnknown;
}

// Owned references to the objects read so far; whatever is left when the
// reader gives up is released.
class ObjectStack {
 public:
  ObjectStack() = default;
  ObjectStack(const ObjectStack&) = delete;
  ObjectStack& operator=(const ObjectStack&) = delete;
  ~ObjectStack() { ReleaseFrom(0); }
  void Push(CFTypeRef object) {
    assert(object != nullptr);
    fObjects.push_back(object);  // may throw; the caller still owns object then
  }
  size_t Size() const { return fObjects.size(); }
  const CFTypeRef* At(size_t i) const { return fObjects.data() + i; }
  void ReleaseFrom(size_t begin) {
    for (size_t i = begin; i < fObjects.size(); ++i) CFRelease(fObjects[i]);
    fObjects.resize(begin);
  }
  CFTypeRef PopTop() {
    const CFTypeRef object = fObjects.back();
    fObjects.pop_back();
    return object;
  }

 private:
  std::vector<CFTypeRef> fObjects;
};

// Documents repeat their keys, and often short values, many times over:
// sharing one immutable string per distinct text saves most string objects.
// Only text that lies unmodified in pugixml's buffer is looked up (the views
// stay valid while the document lives), and the table is bounded.
class StringCache {
 public:
  StringCache() = default;
  StringCache(const StringCache&) = delete;
  StringCache& operator=(const StringCache&) = delete;
  ~StringCache() {
    for (const auto& entry : fStrings) CFRelease(entry.second);
  }

  // A new reference to a string with the UTF-8 text, or NULL.
  CFStringRef Copy(const char* text, size_t n, bool cacheable) {
    cacheable = cacheable && n <= kMaxLength;
    if (cacheable) {
      const auto found = fStrings.find(std::string_view(text, n));
      if (found != fStrings.end()) return static_cast<CFStringRef>(CFRetain(found->second));
    }
    CFStringRef string = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text),
                                                 static_cast<CFIndex>(n), kCFStringEncodingUTF8, false);
    if (string != nullptr && cacheable && fStrings.size() < kMaxEntries) {
      try {
        fStrings.emplace(std::string_view(text, n), string);
        CFRetain(string);
      } catch (...) {
        // Not caching is fine.
      }
    }
    return string;
  }

 private:
  static constexpr size_t kMaxLength = 64;
  static constexpr size_t kMaxEntries = 4096;
  std::unordered_map<std::string_view, CFStringRef> fStrings;
};

class XMLReader {
 public:
  XMLReader(CFOptionFlags mutability) : fMutability(mutability) {}

  CFPropertyListRef Read(const UInt8* bytes, size_t length) {
    if (length == 0) return Fail("empty input", -1);
    const size_t bad = FindInvalidUTF8(bytes, length);
    if (bad != length) return Fail("invalid UTF-8 or NUL byte", static_cast<ptrdiff_t>(bad));

    // No parse_escapes: references are decoded by DecodeText, which knows
    // only the predefined entities. No parse_doctype: the DOCTYPE is skipped
    // unread. Character data is embedded in its element to save a node per
    // value. White space is kept only as an element's sole content (an
    // all-blank string), which spares a node between every two elements,
    // unless a comment, CDATA section or processing instruction may split
    // some text: the blanks beside them belong to the text. Fragment mode
    // keeps text outside the root element, which is then refused below
    // rather than silently dropped.
    const unsigned whiteSpace = MaySplitText(bytes, length) ? pugi::parse_ws_pcdata : pugi::parse_ws_pcdata_single;
    const unsigned options = pugi::parse_cdata | pugi::parse_eol | pugi::parse_declaration | whiteSpace |
                             pugi::parse_embed_pcdata | pugi::parse_fragment;
    const pugi::xml_parse_result parsed = fDocument.load_buffer(bytes, length, options, pugi::encoding_utf8);
    if (!parsed) return Fail(parsed.description(), parsed.offset);

    pugi::xml_node plist;
    for (pugi::xml_node node = fDocument.first_child(); node; node = node.next_sibling()) {
      switch (node.type()) {
        case pugi::node_element:
          if (plist) return Fail("more than one root element", node.offset_debug());
          plist = node;
          break;
        case pugi::node_declaration: {
          const char* encoding = node.attribute("encoding").value();
          if (*encoding != '\0' && strcasecmp(encoding, "UTF-8") != 0) {
            return Fail("encoding other than UTF-8", node.offset_debug());
          }
          break;
        }
        case pugi::node_pcdata:
        case pugi::node_cdata:
          if (!IsAllSpace(node.value(), std::strlen(node.value()))) {
            return Fail("text outside the root element", node.offset_debug());
          }
          break;
        default:
          break;
      }
    }
    if (!plist || std::strcmp(plist.name(), "plist") != 0) return Fail("root element is not plist", 0);
    if (!IsAllSpace(plist.value(), std::strlen(plist.value()))) return Fail("text in plist", plist.offset_debug());
    pugi::xml_node root;
    for (pugi::xml_node node = plist.first_child(); node; node = node.next_sibling()) {
      if (node.type() == pugi::node_element) {
        if (root) return Fail("more than one value in plist", node.offset_debug());
        root = node;
      } else if (!IsAllSpace(node.value(), std::strlen(node.value()))) {
        return Fail("text in plist", node.offset_debug());
      }
    }
    if (!root) return Fail("empty plist", plist.offset_debug());
    return Walk(root);
  }

  CFStringRef CopyError() const {
    if (fError == nullptr) return nullptr;
    char text[160];
    if (fErrorOffset >= 0) {
      std::snprintf(text, sizeof text, "Not a property list: %s (at byte %lld)", fError,
                    static_cast<long long>(fErrorOffset));
    } else {
      std::snprintf(text, sizeof text, "Not a property list: %s", fError);
    }
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  }

 private:
  struct Frame {
    pugi::xml_node next;   // the next child to look at
    ptrdiff_t offset;      // of the container, for messages
    bool isDictionary;
    size_t keyBegin, valueBegin;
  };

  // Converts to false or to a null pointer, whichever the failing routine returns.
  struct Failure {
    operator bool() const { return false; }
    template <typename T>
    operator T*() const { return nullptr; }
  };

  Failure Fail(const char* why, ptrdiff_t offset) {
    if (fError == nullptr) {
      fError = why;
      fErrorOffset = offset;
    }
    return Failure{};
  }

  CFPropertyListRef Walk(pugi::xml_node root) {
    if (!ReadValue(root)) return nullptr;
    while (!fFrames.empty()) {
      Frame& frame = fFrames.back();
      pugi::xml_node child = frame.next;
      while (child && child.type() != pugi::node_element) {
        if (!IsAllSpace(child.value(), std::strlen(child.value()))) {
          return Fail("text inside a container", child.offset_debug());
        }
        child = child.next_sibling();
      }
      if (!child) {
        if (!CloseContainer()) return nullptr;
        continue;
      }
      frame.next = child.next_sibling();
      const bool wantKey =
          frame.isDictionary && fKeys.Size() - frame.keyBegin == fValues.Size() - frame.valueBegin;
      if (wantKey) {
        if (TagOf(child.name()) != Tag::kKey) return Fail("dictionary entry without a key", child.offset_debug());
        const char* text;
        size_t n;
        bool inPlace;
        if (!GetText(child, &text, &n, &inPlace)) return nullptr;
        CFStringRef key = fStrings.Copy(text, n, inPlace);
        if (key == nullptr) return Fail("key cannot be created", child.offset_debug());
        PushOwned(fKeys, key);
        continue;
      }
      // May push a frame; `frame` is not used after this.
      if (!ReadValue(child)) return nullptr;
    }
    assert(fValues.Size() == 1 && fKeys.Size() == 0);
    return fValues.PopTop();
  }

  static void PushOwned(ObjectStack& stack, CFTypeRef object) {
    try {
      stack.Push(object);
    } catch (...) {
      CFRelease(object);
      throw;
    }
  }

  bool OpenContainer(pugi::xml_node node, bool isDictionary) {
    if (fFrames.size() >= static_cast<size_t>(kCFPropertyListMaxDepth)) {
      return Fail("nesting deeper than 512 levels", node.offset_debug());
    }
    if (!IsAllSpace(node.value(), std::strlen(node.value()))) {
      return Fail("text inside a container", node.offset_debug());
    }
    fFrames.push_back(Frame{node.first_child(), node.offset_debug(), isDictionary, fKeys.Size(), fValues.Size()});
    return true;
  }

  bool CloseContainer() {
    const Frame frame = fFrames.back();
    fFrames.pop_back();
    const size_t count = fValues.Size() - frame.valueBegin;
    const bool mutableContainer = fMutability != kCFPropertyListImmutable;
    CFTypeRef container = nullptr;
    if (frame.isDictionary) {
      if (fKeys.Size() - frame.keyBegin != count) return Fail("key without a value", frame.offset);
      const void** keys = const_cast<const void**>(fKeys.At(frame.keyBegin));
      const void** values = const_cast<const void**>(fValues.At(frame.valueBegin));
      if (mutableContainer) {
        CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        if (dict != nullptr) {
          for (size_t i = 0; i < count; ++i) CFDictionaryAddValue(dict, keys[i], values[i]);
        }
        container = dict;
      } else {
        container = CFDictionaryCreate(nullptr, keys, values, static_cast<CFIndex>(count),
                                       &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      }
      if (container != nullptr &&
          CFDictionaryGetCount(static_cast<CFDictionaryRef>(container)) != static_cast<CFIndex>(count)) {
        CFRelease(container);
        return Fail("duplicate key", frame.offset);
      }
      fKeys.ReleaseFrom(frame.keyBegin);
    } else {
      const void** values = const_cast<const void**>(fValues.At(frame.valueBegin));
      if (mutableContainer) {
        CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        if (array != nullptr) {
          for (size_t i = 0; i < count; ++i) CFArrayAppendValue(array, values[i]);
        }
        container = array;
      } else {
        container = CFArrayCreate(nullptr, values, static_cast<CFIndex>(count), &kCFTypeArrayCallBacks);
      }
    }
    if (container == nullptr) return Fail("container cannot be created", frame.offset);
    fValues.ReleaseFrom(frame.valueBegin);
    PushOwned(fValues, container);
    return true;
  }

  bool ReadValue(pugi::xml_node node) {
    const Tag tag = TagOf(node.name());
    if (tag == Tag::kDict || tag == Tag::kArray) return OpenContainer(node, tag == Tag::kDict);
    if (tag == Tag::kUnknown || tag == Tag::kKey) return Fail("unexpected element", node.offset_debug());
    const char* text;
    size_t n;
    bool inPlace;
    if (!GetText(node, &text, &n, &inPlace)) return false;
    CFTypeRef value = nullptr;
    switch (tag) {
      case Tag::kString:
        value = MakeString(text, n, inPlace);
        break;
      case Tag::kInteger:
        value = MakeInteger(text, n);
        break;
      case Tag::kReal:
        value = MakeReal(text, n);
        break;
      case Tag::kTrue:
      case Tag::kFalse:
        if (!IsAllSpace(text, n)) return Fail("text in a boolean", node.offset_debug());
        value = CFRetain(tag == Tag::kTrue ? kCFBooleanTrue : kCFBooleanFalse);
        break;
      case Tag::kDate:
        value = MakeDate(text, n);
        break;
      case Tag::kData:
        value = MakeData(text, n);
        break;
      default:
        break;
    }
    if (value == nullptr) return Fail("malformed value", node.offset_debug());
    PushOwned(fValues, value);
    return true;
  }

  // The character data of a value element with references decoded. Points
  // into pugixml's buffer when nothing needed decoding, else into fText.
  bool GetText(pugi::xml_node node, const char** text, size_t* length, bool* inPlace = nullptr) {
    const char* embedded = node.value();
    pugi::xml_node child = node.first_child();
    if (inPlace != nullptr) *inPlace = false;
    if (!child) {
      const size_t n = std::strlen(embedded);
      if (std::memchr(embedded, '&', n) == nullptr) {
        *text = embedded;
        *length = n;
        if (inPlace != nullptr) *inPlace = true;
        return true;
      }
      fText.clear();
      if (!DecodeText(embedded, n, fText)) return Fail("unknown or malformed reference", node.offset_debug());
    } else {
      // Text broken up by CDATA sections or comments.
      fText.clear();
      if (!DecodeText(embedded, std::strlen(embedded), fText)) {
        return Fail("unknown or malformed reference", node.offset_debug());
      }
      for (; child; child = child.next_sibling()) {
        const char* value = child.value();
        const size_t n = std::strlen(value);
        if (child.type() == pugi::node_cdata) {
          fText.append(value, n);
        } else if (child.type() == pugi::node_pcdata) {
          if (!DecodeText(value, n, fText)) return Fail("unknown or malformed reference", child.offset_debug());
        } else {
          return Fail("element inside a value", child.offset_debug());
        }
      }
    }
    *text = fText.data();
    *length = fText.size();
    return true;
  }

  // Appends s with the five predefined entities and numeric character
  // references replaced. Any other reference is an error: it would name an
  // entity that we never define.
  static bool DecodeText(const char* s, size_t n, std::string& out) {
    size_t i = 0;
    while (i < n) {
      const char* amp = static_cast<const char*>(std::memchr(s + i, '&', n - i));
      if (amp == nullptr) {
        out.append(s + i, n - i);
        return true;
      }
      const size_t at = static_cast<size_t>(amp - s);
      out.append(s + i, at - i);
      const char* semi = static_cast<const char*>(std::memchr(amp, ';', n - at));
      if (semi == nullptr) return false;
      const char* name = amp + 1;
      const size_t nameLength = static_cast<size_t>(semi - name);
      if (nameLength == 2 && std::memcmp(name, "lt", 2) == 0) {
        out.push_back('<');
      } else if (nameLength == 2 && std::memcmp(name, "gt", 2) == 0) {
        out.push_back('>');
      } else if (nameLength == 3 && std::memcmp(name, "amp", 3) == 0) {
        out.push_back('&');
      } else if (nameLength == 4 && std::memcmp(name, "apos", 4) == 0) {
        out.push_back('\'');
      } else if (nameLength == 4 && std::memcmp(name, "quot", 4) == 0) {
        out.push_back('"');
      } else if (nameLength >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const char* digits = name + (hex ? 2 : 1);
        if (digits == semi) return false;
        uint32_t c = 0;
        for (const char* p = digits; p < semi; ++p) {
          uint32_t digit;
          if (*p >= '0' && *p <= '9') digit = static_cast<uint32_t>(*p - '0');
          else if (hex && *p >= 'a' && *p <= 'f') digit = static_cast<uint32_t>(*p - 'a' + 10);
          else if (hex && *p >= 'A' && *p <= 'F') digit = static_cast<uint32_t>(*p - 'A' + 10);
          else return false;
          c = c * (hex ? 16 : 10) + digit;
          if (c > 0x10FFFF) return false;
        }
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        AppendUTF8(out, c);
      } else {
        return false;
      }
      i = at + nameLength + 2;
    }
    return true;
  }

  CFTypeRef MakeString(const char* text, size_t n, bool inPlace) {
    if (fMutability != kCFPropertyListMutableContainersAndLeaves) return fStrings.Copy(text, n, inPlace);
    // Mutable leaves must be objects of their own.
    CFStringRef string = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text),
                                                 static_cast<CFIndex>(n), kCFStringEncodingUTF8, false);
    if (string == nullptr) return nullptr;
    CFMutableStringRef copy = CFStringCreateMutableCopy(nullptr, 0, string);
    CFRelease(string);
    return copy;
  }

  static CFTypeRef MakeInteger(const char* text, size_t n) {
    TrimSpace(text, n);
    if (n > 0 && text[0] == '+') {
      ++text;
      --n;
      if (n == 0 || text[0] == '-') return nullptr;
    }
    SInt64 v = 0;
    auto [ptr, ec] = std::from_chars(text, text + n, v);
    if (n == 0 || ec != std::errc() || ptr != text + n) return nullptr;  // out of range included
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
  }

  static CFTypeRef MakeReal(const char* text, size_t n) {
    TrimSpace(text, n);
    if (n > 0 && text[0] == '+') {
      ++text;
      --n;
      if (n == 0 || text[0] == '-') return nullptr;
    }
    double v = 0;
    auto [ptr, ec] = std::from_chars(text, text + n, v);
    if (n == 0 || ec != std::errc() || ptr != text + n) return nullptr;
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
  }

  // [+-]YYYY[Y...]-MM-DDTHH:MM:SS[.fff]Z; a sign is needed for more than four
  // year digits.
  static CFTypeRef MakeDate(const char* text, size_t n) {
    TrimSpace(text, n);
    const char* p = text;
    const char* end = text + n;
    auto number = [&](size_t minDigits, size_t maxDigits, int64_t* out) {
      int64_t v = 0;
      size_t digits = 0;
      while (p < end && *p >= '0' && *p <= '9' && digits < maxDigits) {
        v = v * 10 + (*p++ - '0');
        ++digits;
      }
      *out = v;
      return digits >= minDigits && !(p < end && *p >= '0' && *p <= '9');
    };
    auto expect = [&](char c) { return p < end && *p++ == c; };
    bool negative = false, sign = false;
    if (p < end && (*p == '+' || *p == '-')) {
      negative = *p == '-';
      sign = true;
      ++p;
    }
    int64_t year, month, day, hour, minute, second;
    if (!number(4, sign ? 9 : 4, &year)) return nullptr;
    if (negative) year = -year;
    if (!expect('-') || !number(2, 2, &month) || !expect('-') || !number(2, 2, &day) || !expect('T') ||
        !number(2, 2, &hour) || !expect(':') || !number(2, 2, &minute) || !expect(':') ||
        !number(2, 2, &second)) {
      return nullptr;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, static_cast<unsigned>(month)) ||
        hour > 23 || minute > 59 || second > 59) {
      return nullptr;
    }
    const char* digits = p;
    size_t digitCount = 0;
    if (p < end && *p == '.') {
      digits = ++p;
      while (p < end && *p >= '0' && *p <= '9') ++p;
      digitCount = static_cast<size_t>(p - digits);
      if (digitCount == 0) return nullptr;
    }
    if (!expect('Z') || p != end) return nullptr;
    const int64_t whole =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kSecondsPerDay +
        hour * 3600 + minute * 60 + second - kUnixToReference;
    if (std::fabs(static_cast<double>(whole)) > kMaxDateSeconds) return nullptr;
    double at = 0;
    if (!DateFromSeconds(whole, digits, digitCount, &at) || std::fabs(at) > kMaxDateSeconds) return nullptr;
    return CFDateCreate(nullptr, at);
  }

  CFTypeRef MakeData(const char* text, size_t n) {
    if (!DecodeBase64(text, n, fBytes)) return nullptr;
    if (fMutability == kCFPropertyListMutableContainersAndLeaves) {
      CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
      if (data != nullptr) CFDataAppendBytes(data, fBytes.data(), static_cast<CFIndex>(fBytes.size()));
      return data;
    }
    return CFDataCreate(nullptr, fBytes.data(), static_cast<CFIndex>(fBytes.size()));
  }

  const CFOptionFlags fMutability;
  pugi::xml_document fDocument;  // before fStrings, whose keys point into it
  std::vector<Frame> fFrames;
  StringCache fStrings;
  ObjectStack fKeys, fValues;  // keys and values of the open containers, then the result
  std::string fText;
  std::vector<UInt8> fBytes;
  const char* fError = nullptr;
  ptrdiff_t fErrorOffset = -1;
};

}  // namespace

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef alloc, CFPropertyListRef propertyList) {
  if (propertyList == nullptr) return nullptr;
  try {
    XMLWriter<true> writer;
    if (!writer.Write(propertyList)) return nullptr;
    OutputBuffer<true>& out = writer.Output();
    const CFIndex length = static_cast<CFIndex>(out.Length());
    char* bytes = out.Release();
    // The data object takes the block over and frees it with free().
    CFDataRef data = CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(bytes), length,
                                                 kCFAllocatorMalloc);
    if (data == nullptr) std::free(bytes);
    return data;
  } catch (...) {
    return nullptr;
  }
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef alloc, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption, CFStringRef* errorString) {
  if (errorString != nullptr) *errorString = nullptr;
  CFPropertyListRef result = nullptr;
  const char* failure = nullptr;
  try {
    if (mutabilityOption > kCFPropertyListMutableContainersAndLeaves) {
      failure = "Not a property list: unknown mutability option";
    } else if (xmlData == nullptr) {
      failure = "Not a property list: no data";
    } else {
      XMLReader reader(mutabilityOption);
      result = reader.Read(CFDataGetBytePtr(xmlData), static_cast<size_t>(CFDataGetLength(xmlData)));
      if (result == nullptr && errorString != nullptr) *errorString = reader.CopyError();
      return result;
    }
  } catch (...) {
    failure = "Not a property list: out of memory";
  }
  if (errorString != nullptr) *errorString = CFStringCreateWithCString(nullptr, failure, kCFStringEncodingUTF8);
  return nullptr;
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFIndex format) {
  if (plist == nullptr || format != kCFPropertyListXMLFormat_v1_0) return false;
  try {
    XMLWriter<false> checker;
    return checker.Write(plist);
  } catch (...) {
    return false;
  }
}
