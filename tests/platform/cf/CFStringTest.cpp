// Strings: UTF-16 lengths, strict decoding, conversion with a loss byte,
// constant strings and formatting.
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

CFStringRef FromUTF8(const char* text) { return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8); }

std::string ToUTF8(CFStringRef s) {
  const char* p = CFStringGetCStringPtr(s, kCFStringEncodingUTF8);
  return p ? std::string(p) : std::string("<none>");
}

// Converts the whole string; returns the bytes and the units converted.
std::string GetBytes(CFStringRef s, CFStringEncoding encoding, UInt8 lossByte, CFIndex* converted,
                     CFIndex bufferSize = 64) {
  std::vector<UInt8> buffer(static_cast<size_t>(bufferSize));
  CFIndex used = -1;
  *converted = CFStringGetBytes(s, CFRangeMake(0, CFStringGetLength(s)), encoding, lossByte, false, buffer.data(),
                                bufferSize, &used);
  return std::string(buffer.begin(), buffer.begin() + used);
}

TEST(CFStringTest, LengthCountsUTF16Units) {
  // "a", e-acute (2 UTF-8 bytes), euro (3), G clef U+1D11E (4 bytes, a surrogate pair).
  CFRef<CFStringRef> s(FromUTF8("a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"));
  ASSERT_TRUE(s);
  EXPECT_EQ(CFStringGetLength(s.get()), 5);
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.get(), 1), 0x00E9);
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.get(), 3), 0xD834);
  EXPECT_EQ(CFStringGetCharacterAtIndex(s.get(), 4), 0xDD1E);
  EXPECT_EQ(ToUTF8(s.get()), "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E");

  // A name of 255 units made of non-BMP characters is 128 characters, not 255.
  std::string clefs;
  for (int i = 0; i < 128; ++i) clefs += "\xF0\x9D\x84\x9E";
  CFRef<CFStringRef> longName(FromUTF8(clefs.c_str()));
  EXPECT_EQ(CFStringGetLength(longName.get()), 256);
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(256, kCFStringEncodingUTF8), 768);
}

TEST(CFStringTest, InvalidUTF8IsRefused) {
  const char* bad[] = {
      "\xC0\xAF",              // overlong '/'
      "\xE0\x80\xAF",          // overlong '/'
      "\xED\xA0\x80",          // a surrogate
      "\xF4\x90\x80\x80",      // above U+10FFFF
      "\xF8\x88\x80\x80\x80",  // five-byte form
      "abc\x80",               // stray continuation
      "abc\xE2\x82",           // truncated
      "\xFF",
  };
  for (const char* text : bad) EXPECT_EQ(FromUTF8(text), nullptr) << text;
  CFRef<CFStringRef> edge(FromUTF8("\xF4\x8F\xBF\xBF"));  // U+10FFFF itself is valid
  EXPECT_TRUE(edge);
  // ASCII refuses high bytes; ISO Latin 1 takes every byte.
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingASCII), nullptr);
  CFRef<CFStringRef> latin(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingISOLatin1));
  EXPECT_EQ(ToUTF8(latin.get()), "caf\xC3\xA9");
  CFRef<CFStringRef> roman(CFStringCreateWithCString(nullptr, "\xA5\xDB", kCFStringEncodingMacRoman));
  EXPECT_EQ(ToUTF8(roman.get()), "\xE2\x80\xA2\xE2\x82\xAC");  // bullet, euro
}

TEST(CFStringTest, GetBytesStopsOrSubstitutesPerEncoding) {
  // "A", e-acute, euro, G clef, "Z".
  CFRef<CFStringRef> s(FromUTF8("A\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E" "Z"));
  ASSERT_EQ(CFStringGetLength(s.get()), 6);
  CFIndex converted = 0;

  EXPECT_EQ(GetBytes(s.get(), kCFStringEncodingUTF8, 0, &converted), "A\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E" "Z");
  EXPECT_EQ(converted, 6);

  // ASCII: stops at e-acute without a loss byte; with one, one byte per character.
  EXPECT_EQ(GetBytes(s.get(), kCFStringEncodingASCII, 0, &converted), "A");
  EXPECT_EQ(converted, 1);
  EXPECT_EQ(GetBytes(s.get(), kCFStringEncodingASCII, '?', &converted), "A???Z");
  EXPECT_EQ(converted, 6);

  // ISO Latin 1 holds e-acute but neither the euro nor the clef.
  EXPECT_EQ(GetBytes(s.get(), kCFStringEncodingISOLatin1, 0, &converted), "A\xE9");
  EXPECT_EQ(converted, 2);
  EXPECT_EQ(GetBytes(s.get(), kCFStringEncodingISOLatin1, '_', &converted), "A\xE9__Z");
  EXPECT_EQ(converted, 6);

  // UTF-16 represents every unit; the loss byte is never used.
  std::string utf16 = GetBytes(s.get(), kCFStringEncodingUTF16LE, '?', &converted);
  EXPECT_EQ(converted, 6);
  ASSERT_EQ(utf16.size(), 12u);
  EXPECT_EQ(utf16.substr(6, 4), std::string("\x34\xD8\x1E\xDD", 4));

  // An unpaired surrogate cannot be UTF-8: stop, or substitute.
  const UniChar lone[] = {'x', 0xD800, 'y'};
  CFRef<CFStringRef> broken(CFStringCreateWithCharacters(nullptr, lone, 3));
  EXPECT_EQ(GetBytes(broken.get(), kCFStringEncodingUTF8, 0, &converted), "x");
  EXPECT_EQ(converted, 1);
  EXPECT_EQ(GetBytes(broken.get(), kCFStringEncodingUTF8, '?', &converted), "x?y");
  EXPECT_EQ(CFStringGetCStringPtr(broken.get(), kCFStringEncodingUTF8), nullptr);
  char buffer[16];
  EXPECT_FALSE(CFStringGetCString(broken.get(), buffer, sizeof buffer, kCFStringEncodingUTF8));

  // A range that splits the pair leaves a lone half.
  CFIndex used = 0;
  UInt8 out[8];
  EXPECT_EQ(CFStringGetBytes(s.get(), CFRangeMake(3, 1), kCFStringEncodingUTF8, 0, false, out, 8, &used), 0);
  EXPECT_EQ(used, 0);

  // A full buffer stops before a character that does not fit, never inside it.
  EXPECT_EQ(GetBytes(s.get(), kCFStringEncodingUTF8, 0, &converted, 8), "A\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(converted, 3);

  // A NULL buffer measures.
  EXPECT_EQ(CFStringGetBytes(s.get(), CFRangeMake(0, 6), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used), 6);
  EXPECT_EQ(used, 11);
}

TEST(CFStringTest, GetCStringNeedsRoomForTheTerminator) {
  CFRef<CFStringRef> s(FromUTF8("abc"));
  char buffer[4];
  EXPECT_TRUE(CFStringGetCString(s.get(), buffer, 4, kCFStringEncodingASCII));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(CFStringGetCString(s.get(), buffer, 3, kCFStringEncodingASCII));
}

TEST(CFStringTest, UTF16BytesHonourTheByteOrderMark) {
  const UInt8 big[] = {0xFE, 0xFF, 0x00, 'h', 0x00, 'i'};
  const UInt8 little[] = {0xFF, 0xFE, 'h', 0x00, 'i', 0x00};
  CFRef<CFStringRef> a(CFStringCreateWithBytes(nullptr, big, 6, kCFStringEncodingUTF16, true));
  CFRef<CFStringRef> b(CFStringCreateWithBytes(nullptr, little, 6, kCFStringEncodingUTF16, true));
  EXPECT_TRUE(CFEqual(a.get(), CFSTR("hi")));
  EXPECT_TRUE(CFEqual(b.get(), CFSTR("hi")));
  EXPECT_EQ(CFStringCreateWithBytes(nullptr, big, 5, kCFStringEncodingUTF16, true), nullptr);
}

TEST(CFStringTest, ConstantStringsAreInternedAcrossThreads) {
  EXPECT_EQ(CFSTR("CFBundleIdentifier"), kCFBundleIdentifierKey);
  EXPECT_EQ(CFSTR("CFBundleExecutable"), kCFBundleExecutableKey);
  std::vector<std::thread> threads;
  std::vector<CFStringRef> seen(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < 200; ++i) {
        std::string text = "interned-" + std::to_string(i);
        CFStringRef s = __CFStringMakeConstantString(text.c_str());
        if (i == 123) seen[t] = s;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(std::set<CFStringRef>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_TRUE(CFEqual(seen[0], CFSTR("interned-123")));
}

TEST(CFStringTest, MutableStringsAppendAndCompare) {
  CFRef<CFMutableStringRef> m(CFStringCreateMutable(nullptr, 0));
  CFStringAppend(m.get(), CFSTR("ab"));
  CFStringAppend(m.get(), m.get());  // appending itself doubles it
  CFStringAppendCString(m.get(), "\xC3\xA9", kCFStringEncodingUTF8);
  EXPECT_EQ(ToUTF8(m.get()), "abab\xC3\xA9");
  // The UTF-8 copy follows changes.
  CFStringAppendCString(m.get(), "!", kCFStringEncodingUTF8);
  EXPECT_EQ(ToUTF8(m.get()), "abab\xC3\xA9!");
  CFRef<CFStringRef> frozen(CFStringCreateCopy(nullptr, m.get()));
  CFStringAppend(m.get(), CFSTR("more"));
  EXPECT_EQ(CFStringGetLength(frozen.get()), 6);

  EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abd"), 0), kCFCompareLessThan);
  EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("ab"), 0), kCFCompareGreaterThan);
  EXPECT_EQ(CFStringCompare(CFSTR("ABC"), CFSTR("abc"), 0), kCFCompareLessThan);
  EXPECT_EQ(CFStringCompare(CFSTR("ABC\xC3\x89"), CFSTR("abc\xC3\xA9"), kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
  // By code point: U+1D11E sorts after U+FFFD, though its first unit is smaller.
  EXPECT_EQ(CFStringCompare(CFSTR("\xF0\x9D\x84\x9E"), CFSTR("\xEF\xBF\xBD"), 0), kCFCompareGreaterThan);
  EXPECT_TRUE(CFStringHasPrefix(CFSTR("UninstallerHelper"), CFSTR("Uninstaller")));
  EXPECT_TRUE(CFStringHasSuffix(CFSTR("uninstall.ss"), CFSTR(".ss")));
  EXPECT_FALSE(CFStringHasSuffix(CFSTR("ss"), CFSTR(".ss")));
}

TEST(CFStringTest, FormatSupportsTheUsualDirectives) {
  int seventeen = 17;
  CFRef<CFNumberRef> n(CFNumberCreate(nullptr, kCFNumberIntType, &seventeen));
  CFRef<CFStringRef> s(CFStringCreateWithFormat(
      nullptr, nullptr, CFSTR("%d|%ld|%lld|%u|%x|%lx|%X|%s|%c|%.2f|%g|%%|%@|%@|%5d|%-4s|%05.1f|%.3s"), -5, -6L,
      -7LL, 8u, 255u, 0xabcL, 0xABu, "caf\xC3\xA9", 'q', 3.14159, 0.5, CFSTR("str"), n.get(), 42, "ab", 2.25,
      "abcdef"));
  ASSERT_TRUE(s);
  EXPECT_EQ(ToUTF8(s.get()), "-5|-6|-7|8|ff|abc|AB|caf\xC3\xA9|q|3.14|0.5|%|str|17|   42|ab  |002.2|abc");

  CFRef<CFStringRef> nulls(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ %s"), nullptr, nullptr));
  EXPECT_EQ(ToUTF8(nulls.get()), "(null) (null)");
  CFRef<CFStringRef> wide(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%*d|%-*d|"), 4, 1, 3, 2));
  EXPECT_EQ(ToUTF8(wide.get()), "   1|2  |");
}

TEST(CFStringTest, MalformedFormatsGiveNull) {
  int n = 0;
  EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%n"), &n), nullptr);
  EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("trailing %")), nullptr);
  EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%y"), 1), nullptr);
  EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%1$d"), 1), nullptr);
  EXPECT_EQ(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%99999999d"), 1), nullptr);
  EXPECT_EQ(n, 0);
}

}  // namespace
