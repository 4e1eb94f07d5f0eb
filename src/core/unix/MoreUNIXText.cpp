#include "MoreUNIXText.h"

#include <assert.h>
#include <string.h>

size_t MoreUNIXDecodeUTF8(const unsigned char* bytes, size_t length, uint32_t* codePoint) {
  assert(bytes != NULL);
  assert(length > 0);
  uint32_t c = bytes[0];
  size_t extra;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (c < 0x80) {
    extra = 0;
  } else if (c >= 0xC2 && c <= 0xDF) {
    extra = 1;
    c &= 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
    c &= 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3;
    if (c == 0xF0) low = 0x90;   // overlong
    if (c == 0xF4) high = 0x8F;  // above U+10FFFF
    c &= 0x07;
  } else {
    return 0;  // a continuation byte, an overlong lead (C0, C1), or F5 to FF
  }
  if (length <= extra) return 0;
  if (extra > 0 && (bytes[1] < low || bytes[1] > high)) return 0;
  for (size_t k = 1; k <= extra; k++) {
    if ((bytes[k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (bytes[k] & 0x3F);
  }
  if (codePoint != NULL) *codePoint = c;
  return extra + 1;
}

size_t MoreUNIXFindInvalidUTF8(std::string_view text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t length = text.size();
  size_t i = 0;
  while (i < length) {
    // Runs of ASCII are the common case: eight bytes at a time.
    while (i + 8 <= length) {
      uint64_t word;
      memcpy(&word, p + i, 8);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i >= length) break;
    const size_t sequence = MoreUNIXDecodeUTF8(p + i, length - i, NULL);
    if (sequence == 0) return i;
    i += sequence;
  }
  return length;
}

size_t MoreUNIXWholeCharacterPrefix(std::string_view text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t length = text.size();
  // A lead byte among the last three bytes whose sequence the end cut short.
  for (size_t back = 1; back <= 3 && back <= length; back++) {
    const unsigned char c = p[length - back];
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t wanted = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 1;
    return wanted > back ? length - back : length;
  }
  return length;
}

std::string MoreUNIXSafeText(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t length = text.size();
  std::string safe;
  safe.reserve(length);
  size_t i = 0;
  while (i < length) {
    uint32_t c = 0;
    const size_t sequence = MoreUNIXDecodeUTF8(p + i, length - i, &c);
    if (sequence == 0 || (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
      const unsigned char byte = p[i];  // the control character, or the one bad byte
      safe += "\\x";
      safe += kHex[byte >> 4];
      safe += kHex[byte & 0xF];
      i++;
    } else if (c >= 0x80 && c <= 0x9F) {
      safe += "\\u00";
      safe += kHex[c >> 4];
      safe += kHex[c & 0xF];
      i += sequence;
    } else {
      safe.append(text.substr(i, sequence));
      i += sequence;
    }
  }
  return safe;
}
