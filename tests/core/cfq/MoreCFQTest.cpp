// Status mapping, reference helpers, containers built from containers,
// allocation and C-string conversion.

#include "MoreCFQ.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

// Lets the allocation-failure test see a null block instead of a sanitizer
// report; only this test program is affected.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

CFStringRef Str(const char* utf8) { return CFStringCreateWithCString(nullptr, utf8, kCFStringEncodingUTF8); }

long LongValue(const void* number) {
  long value = 0;
  EXPECT_EQ(CFGetTypeID(number), CFNumberGetTypeID());
  EXPECT_TRUE(CFNumberGetValue((CFNumberRef) number, kCFNumberLongType, &value));
  return value;
}

TEST(CFQStatusTest, NullAndFalseMapToCoreFoundationError) {
  int anything = 0;
  EXPECT_EQ(CFQError(nullptr), -4960);
  EXPECT_EQ(CFQError(&anything), noErr);
  EXPECT_EQ(CFQErrorBoolean(false), -4960);
  EXPECT_EQ(CFQErrorBoolean(true), noErr);
  EXPECT_EQ(kCFQKeyMissingErr, 5400);
  EXPECT_EQ(kCFQBadValueErr, 5401);
}

TEST(CFQRetainReleaseTest, NullIsIgnoredAndObjectsCountedOnce) {
  EXPECT_EQ(CFQRetain(nullptr), nullptr);
  CFQRelease(nullptr);

  CFRef<CFStringRef> s(Str("counted"));
  CFIndex before = CFGetRetainCount(s.get());
  EXPECT_EQ(CFQRetain(s.get()), s.get());
  EXPECT_EQ(CFGetRetainCount(s.get()), before + 1);
  CFQRelease(s.get());
  EXPECT_EQ(CFGetRetainCount(s.get()), before);
}

TEST(CFQContainerTest, CreatorsGiveEmptyGrowableContainersThatRetain) {
  CFMutableDictionaryRef dictRaw = nullptr;
  CFMutableArrayRef arrayRaw = nullptr;
  ASSERT_EQ(CFQDictionaryCreateMutable(&dictRaw), noErr);
  ASSERT_EQ(CFQArrayCreateMutable(&arrayRaw), noErr);
  CFRef<CFMutableDictionaryRef> dict(dictRaw);
  CFRef<CFMutableArrayRef> array(arrayRaw);
  EXPECT_EQ(CFDictionaryGetCount(dict.get()), 0);
  EXPECT_EQ(CFArrayGetCount(array.get()), 0);

  CFRef<CFStringRef> value(Str("held"));
  CFIndex before = CFGetRetainCount(value.get());
  for (long i = 0; i < 1000; i++) {
    ASSERT_EQ(CFQDictionarySetNumber(dict.get(), CFRef<CFStringRef>(Str(std::to_string(i).c_str())).get(), i),
              noErr);
    CFArrayAppendValue(array.get(), value.get());
  }
  CFDictionarySetValue(dict.get(), CFSTR("value"), value.get());
  EXPECT_EQ(CFDictionaryGetCount(dict.get()), 1001);
  EXPECT_EQ(CFArrayGetCount(array.get()), 1000);
  EXPECT_EQ(CFGetRetainCount(value.get()), before + 1001);
  array.reset();
  dict.reset();
  EXPECT_EQ(CFGetRetainCount(value.get()), before);
}

TEST(CFQAllocateTest, ZeroBytesGivesUsableBlockAndExhaustionIsReported) {
  void* block = nullptr;
  ASSERT_EQ(CFQAllocate(0, &block), noErr);
  ASSERT_NE(block, nullptr);
  static_cast<unsigned char*>(block)[0] = 0x5A;  // ASan would catch a zero-sized block
  CFQDeallocate(block);
  CFQDeallocate(nullptr);

  block = nullptr;
  testing::internal::CaptureStderr();
  OSStatus err = CFQAllocate(SIZE_MAX / 4, &block);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, -108);
  EXPECT_EQ(block, nullptr);
  EXPECT_TRUE(testing::IsSubstring("", "", "MoreCFQ.cpp says: CFQAllocate\n", said.c_str()));
  EXPECT_EQ(said.rfind("line ", 0), 0u) << said;
}

TEST(CFQArrayFromDictionaryTest, KeysAndValuesComeInDictionaryOrderAndPair) {
  CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                               &kCFTypeDictionaryValueCallBacks));
  for (long i = 0; i < 7; i++) {
    CFRef<CFStringRef> key(Str(("key" + std::to_string(6 - i)).c_str()));
    ASSERT_EQ(CFQDictionarySetNumber(dict.get(), key.get(), i * 10), noErr);
  }
  CFArrayRef keysRaw = nullptr;
  CFArrayRef valuesRaw = nullptr;
  ASSERT_EQ(CFQArrayCreateWithDictionaryKeys(dict.get(), &keysRaw), noErr);
  ASSERT_EQ(CFQArrayCreateWithDictionaryValues(dict.get(), &valuesRaw), noErr);
  CFRef<CFArrayRef> keys(keysRaw);
  CFRef<CFArrayRef> values(valuesRaw);
  ASSERT_EQ(CFArrayGetCount(keys.get()), 7);
  ASSERT_EQ(CFArrayGetCount(values.get()), 7);

  std::vector<const void*> listedKeys(7);
  CFDictionaryGetKeysAndValues(dict.get(), listedKeys.data(), nullptr);
  for (CFIndex i = 0; i < 7; i++) {
    EXPECT_EQ(CFArrayGetValueAtIndex(keys.get(), i), listedKeys[i]);
    EXPECT_EQ(CFArrayGetValueAtIndex(values.get(), i), CFDictionaryGetValue(dict.get(), listedKeys[i]));
  }

  // Rebuilding from the two arrays gives the dictionary back.
  CFDictionaryRef rebuiltRaw = nullptr;
  ASSERT_EQ(CFQDictionaryCreateWithArrayOfKeysAndValues(keys.get(), values.get(), &rebuiltRaw), noErr);
  CFRef<CFDictionaryRef> rebuilt(rebuiltRaw);
  EXPECT_TRUE(CFEqual(rebuilt.get(), dict.get()));
}

TEST(CFQArrayFromDictionaryTest, EmptyContainersGiveEmptyResults) {
  CFRef<CFDictionaryRef> empty(CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                  &kCFTypeDictionaryValueCallBacks));
  CFArrayRef keysRaw = nullptr;
  CFArrayRef valuesRaw = nullptr;
  ASSERT_EQ(CFQArrayCreateWithDictionaryKeys(empty.get(), &keysRaw), noErr);
  ASSERT_EQ(CFQArrayCreateWithDictionaryValues(empty.get(), &valuesRaw), noErr);
  CFRef<CFArrayRef> keys(keysRaw);
  CFRef<CFArrayRef> values(valuesRaw);
  EXPECT_EQ(CFArrayGetCount(keys.get()), 0);
  EXPECT_EQ(CFArrayGetCount(values.get()), 0);

  CFDictionaryRef dictRaw = nullptr;
  ASSERT_EQ(CFQDictionaryCreateWithArrayOfKeysAndValues(keys.get(), values.get(), &dictRaw), noErr);
  CFRef<CFDictionaryRef> dict(dictRaw);
  EXPECT_EQ(CFDictionaryGetCount(dict.get()), 0);
}

TEST(CFQDictionarySetNumberTest, AddsAndReplacesLongValues) {
  CFRef<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                               &kCFTypeDictionaryValueCallBacks));
  ASSERT_EQ(CFQDictionarySetNumber(dict.get(), CFSTR("n"), 1), noErr);
  ASSERT_EQ(CFQDictionarySetNumber(dict.get(), CFSTR("n"), LONG_MIN), noErr);
  ASSERT_EQ(CFQDictionarySetNumber(dict.get(), CFSTR("m"), LONG_MAX), noErr);
  EXPECT_EQ(CFDictionaryGetCount(dict.get()), 2);
  EXPECT_EQ(LongValue(CFDictionaryGetValue(dict.get(), CFSTR("n"))), LONG_MIN);
  EXPECT_EQ(LongValue(CFDictionaryGetValue(dict.get(), CFSTR("m"))), LONG_MAX);
}

// Converts |utf8| into |encoding| through CFQStringCopyCString; the bytes
// including the terminator, or the status when it fails.
struct Converted {
  OSStatus err;
  std::string bytes;  // with the trailing NUL
  bool nullResult;
};

Converted Convert(const char* utf8, CFStringEncoding encoding) {
  CFRef<CFStringRef> str(Str(utf8));
  EXPECT_TRUE(str);
  char* cStr = nullptr;
  Converted out{CFQStringCopyCString(str.get(), encoding, &cStr), {}, cStr == nullptr};
  if (cStr != nullptr) {
    out.bytes.assign(cStr, strlen(cStr) + 1);
    free(cStr);
  }
  return out;
}

TEST(CFQStringCopyCStringTest, ConvertsWholeStringsAndRefusesLossyOnes) {
  Converted abc = Convert("abc", kCFStringEncodingASCII);
  EXPECT_EQ(abc.err, noErr);
  EXPECT_EQ(abc.bytes, std::string("abc\0", 4));

  Converted empty = Convert("", kCFStringEncodingASCII);
  EXPECT_EQ(empty.err, noErr);
  EXPECT_EQ(empty.bytes, std::string("\0", 1));

  // An accented letter has no ASCII form: no substitute, no partial string.
  for (const char* lossy : {"\xC3\xA9", "abc\xC3\xA9", "\xC3\xA9xyz"}) {
    Converted c = Convert(lossy, kCFStringEncodingASCII);
    EXPECT_EQ(c.err, kCFQBadValueErr) << lossy;
    EXPECT_TRUE(c.nullResult) << lossy;
  }

  // Encodings with more than one byte per character are measured, not guessed.
  EXPECT_EQ(Convert("a\xC3\xA9", kCFStringEncodingISOLatin1).bytes, std::string("a\xE9\0", 3));
  EXPECT_EQ(Convert("a\xC3\xA9\xF0\x9F\x8E\xB9", kCFStringEncodingUTF8).bytes,
            std::string("a\xC3\xA9\xF0\x9F\x8E\xB9\0", 8));
  EXPECT_EQ(Convert("\xF0\x9F\x8E\xB9", kCFStringEncodingISOLatin1).err, kCFQBadValueErr);
}

TEST(CFQDeathTest, MisuseEndsTheProcessWithTheNamedAssertion) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CFRef<CFStringRef> s(Str("x"));
  const void* item = s.get();
  CFRef<CFArrayRef> one(CFArrayCreate(nullptr, &item, 1, &kCFTypeArrayCallBacks));
  CFRef<CFArrayRef> none(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));

  CFMutableDictionaryRef notEmpty = (CFMutableDictionaryRef) 1;
  EXPECT_DEATH(CFQDictionaryCreateMutable(&notEmpty), "\\*result == NULL");
  void* block = nullptr;
  EXPECT_DEATH(CFQAllocate(SIZE_MAX, &block), "\\(\\(CFIndex\\) bytesToAllocate\\) >= 0");
  CFDictionaryRef dict = nullptr;
  EXPECT_DEATH(CFQDictionaryCreateWithArrayOfKeysAndValues(one.get(), none.get(), &dict),
               "CFArrayGetCount\\(keys\\) == CFArrayGetCount\\(values\\)");
  char* leftOver = (char*) "x";
  EXPECT_DEATH(CFQStringCopyCString(s.get(), kCFStringEncodingASCII, &leftOver), "\\*cStrPtr == NULL");
}

}  // namespace
