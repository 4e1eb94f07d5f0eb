// Status mapping, reference helpers, containers built from containers,
// allocation and C-string conversion.

#include "CFQTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>

// The allocation-failure case needs a null block rather than a sanitizer
// report; this affects only this test program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

TEST(CFQBasicsTest, StatusMappingAndNullTolerantReferenceCounting) {
  int anything = 0;
  EXPECT_EQ(CFQError(nullptr), -4960);
  EXPECT_EQ(CFQError(&anything), noErr);
  EXPECT_EQ(CFQErrorBoolean(false), -4960);
  EXPECT_EQ(CFQErrorBoolean(true), noErr);

  EXPECT_EQ(CFQRetain(nullptr), nullptr);
  CFQRelease(nullptr);
  CFRef<CFNumberRef> n(MakeNumber(7));
  EXPECT_EQ(CFQRetain(n.get()), n.get());
  EXPECT_EQ(CFGetRetainCount(n.get()), 2);
  CFQRelease(n.get());
  EXPECT_EQ(CFGetRetainCount(n.get()), 1);

  CFMutableDictionaryRef dict = nullptr;
  CFMutableArrayRef array = nullptr;
  ASSERT_EQ(CFQDictionaryCreateMutable(&dict), noErr);
  ASSERT_EQ(CFQArrayCreateMutable(&array), noErr);
  EXPECT_EQ(CFDictionaryGetCount(dict) + CFArrayGetCount(array), 0);
  for (long i = 0; i < 100; i++) CFArrayAppendValue(array, n.get());
  CFDictionarySetValue(dict, n.get(), n.get());
  EXPECT_EQ(CFGetRetainCount(n.get()), 103);  // retained on insertion
  CFQRelease(dict);
  CFQRelease(array);
  EXPECT_EQ(CFGetRetainCount(n.get()), 1);
}

TEST(CFQAllocateTest, ZeroBytesGivesUsableBlockAndExhaustionIsReported) {
  void* block = nullptr;
  ASSERT_EQ(CFQAllocate(0, &block), noErr);
  static_cast<unsigned char*>(block)[0] = 0x5A;  // ASan catches a zero-sized block
  CFQDeallocate(block);
  CFQDeallocate(nullptr);

  block = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(CFQAllocate(SIZE_MAX / 4, &block), -108);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(block, nullptr);
  // A sanitizer may add a warning of its own; the report is one whole line.
  EXPECT_TRUE(std::regex_search(said, std::regex("(^|\n)line [0-9]+ of file [^ ]*MoreCFQ\\.cpp says: CFQAllocate\n")))
      << said;
}

TEST(CFQContainerTest, KeysValuesAndRebuiltDictionaryAgreeWithTheSource) {
  CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                               &kCFTypeDictionaryValueCallBacks));
  CFRef<CFDictionaryRef> empty(MakeDict({}));
  for (long i = 0; i < 5; i++) {
    CFRef<CFNumberRef> key(MakeNumber(100 - i));
    ASSERT_EQ(CFQDictionarySetNumber(dict.get(), key.get(), i), noErr);
  }
  ASSERT_EQ(CFQDictionarySetNumber(dict.get(), CFSTR("n"), LONG_MIN), noErr);
  ASSERT_EQ(CFQDictionarySetNumber(dict.get(), CFSTR("n"), LONG_MAX), noErr);  // replaces
  EXPECT_EQ(LongOf(CFDictionaryGetValue(dict.get(), CFSTR("n"))), LONG_MAX);

  for (CFDictionaryRef source : {(CFDictionaryRef) dict.get(), empty.get()}) {
    CFArrayRef keys = nullptr, values = nullptr;
    CFDictionaryRef rebuilt = nullptr;
    ASSERT_EQ(CFQArrayCreateWithDictionaryKeys(source, &keys), noErr);
    ASSERT_EQ(CFQArrayCreateWithDictionaryValues(source, &values), noErr);
    CFIndex count = CFDictionaryGetCount(source);
    ASSERT_EQ(CFArrayGetCount(keys), count);
    ASSERT_EQ(CFArrayGetCount(values), count);
    std::vector<const void*> listed(count + 1);
    CFDictionaryGetKeysAndValues(source, listed.data(), nullptr);
    for (CFIndex i = 0; i < count; i++) {  // the dictionary's own order, pairs kept together
      EXPECT_EQ(CFArrayGetValueAtIndex(keys, i), listed[i]);
      EXPECT_EQ(CFArrayGetValueAtIndex(values, i), CFDictionaryGetValue(source, listed[i]));
    }
    ASSERT_EQ(CFQDictionaryCreateWithArrayOfKeysAndValues(keys, values, &rebuilt), noErr);
    EXPECT_TRUE(CFEqual(rebuilt, source));
    CFQRelease(keys);
    CFQRelease(values);
    CFQRelease(rebuilt);
  }
}

// The bytes (terminator included) of |utf8| converted to |encoding|; "null"
// when the result is null, with the status in |err|.
std::string Convert(const char* utf8, CFStringEncoding encoding, OSStatus* err) {
  CFRef<CFStringRef> str(CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8));
  char* cStr = nullptr;
  *err = CFQStringCopyCString(str.get(), encoding, &cStr);
  if (cStr == nullptr) return "null";
  std::string bytes(cStr, strlen(cStr) + 1);
  free(cStr);
  return bytes;
}

TEST(CFQStringCopyCStringTest, ConvertsWholeStringsAndRefusesLossyOnes) {
  OSStatus err;
  EXPECT_EQ(Convert("abc", kCFStringEncodingASCII, &err), std::string("abc\0", 4));
  EXPECT_EQ(err, noErr);
  EXPECT_EQ(Convert("", kCFStringEncodingASCII, &err), std::string("\0", 1));
  EXPECT_EQ(err, noErr);

  // An accented letter has no ASCII form: no substitute, no partial string.
  for (const char* lossy : {"\xC3\xA9", "abc\xC3\xA9", "\xC3\xA9xyz"}) {
    EXPECT_EQ(Convert(lossy, kCFStringEncodingASCII, &err), "null") << lossy;
    EXPECT_EQ(err, kCFQBadValueErr) << lossy;
  }
  EXPECT_EQ(Convert("a\xC3\xA9", kCFStringEncodingISOLatin1, &err), std::string("a\xE9\0", 3));
  EXPECT_EQ(Convert("a\xF0\x9F\x8E\xB9", kCFStringEncodingUTF8, &err), std::string("a\xF0\x9F\x8E\xB9\0", 6));
}

TEST(CFQDeathTest, MisuseEndsTheProcessWithTheNamedAssertion) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CFRef<CFArrayRef> one(MakeArray({CFSTR("x")}));
  CFRef<CFArrayRef> none(MakeArray({}));
  CFDictionaryRef dict = nullptr;
  EXPECT_DEATH(CFQDictionaryCreateWithArrayOfKeysAndValues(one.get(), none.get(), &dict),
               "CFArrayGetCount\\(keys\\) == CFArrayGetCount\\(values\\)");
  void* block = nullptr;
  EXPECT_DEATH(CFQAllocate(SIZE_MAX, &block), "\\(\\(CFIndex\\) bytesToAllocate\\) >= 0");
  CFRef<CFDictionaryRef> empty(MakeDict({}));
  const void* path[] = {CFSTR("A")};
  const void* result = nullptr;
  EXPECT_DEATH(CFQDictionaryGetValueAtPath(empty.get(), path, 0, &result), "pathElementCount > 0");
  EXPECT_DEATH(CFQDictionaryGetValueAtPathArray(empty.get(), none.get(), &result), "pathElementCount > 0");
  char* leftOver = (char*) "x";
  EXPECT_DEATH(CFQStringCopyCString(CFSTR("x"), kCFStringEncodingASCII, &leftOver), "\\*cStrPtr == NULL");
}

}  // namespace
