// Reference counting, equality and hashing, containers and deep trees.
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

CFStringRef MakeString(const char* text) { return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8); }

CFNumberRef MakeInt(long long v) { return CFNumberCreate(nullptr, kCFNumberLongLongType, &v); }

CFNumberRef MakeReal(double v) { return CFNumberCreate(nullptr, kCFNumberDoubleType, &v); }

CFMutableDictionaryRef MakeDictionary() {
  return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFMutableArrayRef MakeArray() { return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks); }

TEST(CFObjectTest, RetainAndReleaseAdjustTheCount) {
  CFRef<CFStringRef> s(MakeString("x"));
  EXPECT_EQ(CFGetRetainCount(s.get()), 1);
  EXPECT_EQ(CFRetain(s.get()), s.get());
  EXPECT_EQ(CFGetRetainCount(s.get()), 2);
  CFRelease(s.get());
  EXPECT_EQ(CFGetRetainCount(s.get()), 1);
}

TEST(CFObjectTest, ConstantsAreImmortal) {
  CFStringRef c = CFSTR("immortal");
  CFIndex before = CFGetRetainCount(c);
  EXPECT_GT(before, 1000000);
  for (int i = 0; i < 10; ++i) CFRelease(c);
  EXPECT_EQ(CFGetRetainCount(c), before);
  EXPECT_GT(CFGetRetainCount(kCFBooleanTrue), 1000000);
  CFRelease(kCFBooleanTrue);
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
}

TEST(CFObjectTest, ContainersRetainOnInsertAndReleaseOnRemove) {
  CFRef<CFStringRef> key(MakeString("key"));
  CFRef<CFStringRef> value(MakeString("value"));
  CFRef<CFStringRef> other(MakeString("other"));
  {
    CFRef<CFMutableDictionaryRef> dict(MakeDictionary());
    CFDictionarySetValue(dict.get(), key.get(), value.get());
    EXPECT_EQ(CFGetRetainCount(key.get()), 2);
    EXPECT_EQ(CFGetRetainCount(value.get()), 2);
    // Replacing the value with itself must not free it on the way.
    CFDictionarySetValue(dict.get(), key.get(), value.get());
    EXPECT_EQ(CFGetRetainCount(value.get()), 2);
    CFDictionarySetValue(dict.get(), key.get(), other.get());
    EXPECT_EQ(CFGetRetainCount(value.get()), 1);
    EXPECT_EQ(CFGetRetainCount(other.get()), 2);
    CFDictionaryRemoveValue(dict.get(), key.get());
    EXPECT_EQ(CFGetRetainCount(key.get()), 1);
    EXPECT_EQ(CFGetRetainCount(other.get()), 1);
    CFDictionarySetValue(dict.get(), key.get(), value.get());
  }
  // Freeing the dictionary released what it held.
  EXPECT_EQ(CFGetRetainCount(key.get()), 1);
  EXPECT_EQ(CFGetRetainCount(value.get()), 1);

  CFRef<CFMutableArrayRef> array(MakeArray());
  CFArrayAppendValue(array.get(), value.get());
  CFArrayAppendValue(array.get(), value.get());
  EXPECT_EQ(CFGetRetainCount(value.get()), 3);
  CFArraySetValueAtIndex(array.get(), 0, other.get());
  EXPECT_EQ(CFGetRetainCount(value.get()), 2);
  CFArrayRemoveValueAtIndex(array.get(), 1);
  EXPECT_EQ(CFGetRetainCount(value.get()), 1);
  {
    CFRef<CFArrayRef> copy(CFArrayCreateCopy(nullptr, array.get()));
    EXPECT_EQ(CFGetRetainCount(other.get()), 3);
  }
  CFArrayRemoveAllValues(array.get());
  EXPECT_EQ(CFGetRetainCount(other.get()), 1);
  EXPECT_EQ(CFArrayGetCount(array.get()), 0);
}

TEST(CFObjectTest, ConcurrentRetainReleaseKeepsTheCountExact) {
  CFRef<CFStringRef> s(MakeString("shared"));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        CFRetain(s.get());
        CFRelease(s.get());
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(CFGetRetainCount(s.get()), 1);
}

TEST(CFObjectTest, TypeIdentitiesAreDistinct) {
  CFRef<CFStringRef> s(MakeString("s"));
  CFRef<CFNumberRef> n(MakeInt(1));
  CFRef<CFMutableArrayRef> a(MakeArray());
  CFRef<CFMutableDictionaryRef> d(MakeDictionary());
  CFRef<CFDataRef> data(CFDataCreate(nullptr, nullptr, 0));
  CFRef<CFDateRef> date(CFDateCreate(nullptr, 0));
  EXPECT_EQ(CFGetTypeID(s.get()), CFStringGetTypeID());
  EXPECT_EQ(CFGetTypeID(n.get()), CFNumberGetTypeID());
  EXPECT_EQ(CFGetTypeID(a.get()), CFArrayGetTypeID());
  EXPECT_EQ(CFGetTypeID(d.get()), CFDictionaryGetTypeID());
  EXPECT_EQ(CFGetTypeID(data.get()), CFDataGetTypeID());
  EXPECT_EQ(CFGetTypeID(date.get()), CFDateGetTypeID());
  EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
  std::vector<CFTypeID> ids = {CFStringGetTypeID(), CFNumberGetTypeID(), CFArrayGetTypeID(),
                               CFDictionaryGetTypeID(), CFDataGetTypeID(), CFDateGetTypeID(),
                               CFBooleanGetTypeID(), CFURLGetTypeID(), CFBundleGetTypeID()};
  for (size_t i = 0; i < ids.size(); ++i) {
    for (size_t j = i + 1; j < ids.size(); ++j) EXPECT_NE(ids[i], ids[j]);
  }
}

TEST(CFObjectTest, EqualityIsByValueAndEqualObjectsHashEqually) {
  CFRef<CFStringRef> a(MakeString("same"));
  CFRef<CFMutableStringRef> b(CFStringCreateMutable(nullptr, 0));
  CFStringAppendCString(b.get(), "sa", kCFStringEncodingUTF8);
  CFStringAppendCString(b.get(), "me", kCFStringEncodingUTF8);
  EXPECT_TRUE(CFEqual(a.get(), b.get()));
  EXPECT_EQ(CFHash(a.get()), CFHash(b.get()));
  EXPECT_TRUE(CFEqual(a.get(), CFSTR("same")));

  // Integer 1 and real 1.0 are the same value, and so equal with equal hashes.
  CFRef<CFNumberRef> one(MakeInt(1));
  CFRef<CFNumberRef> oneReal(MakeReal(1.0));
  CFRef<CFNumberRef> oneAndABit(MakeReal(1.5));
  EXPECT_TRUE(CFEqual(one.get(), oneReal.get()));
  EXPECT_EQ(CFHash(one.get()), CFHash(oneReal.get()));
  EXPECT_FALSE(CFEqual(one.get(), oneAndABit.get()));
  // 2^53 + 1 has no exact double; it must not compare equal to 2^53.
  CFRef<CFNumberRef> big(MakeInt((1LL << 53) + 1));
  CFRef<CFNumberRef> bigReal(MakeReal(9007199254740992.0));
  EXPECT_FALSE(CFEqual(big.get(), bigReal.get()));
  EXPECT_EQ(CFNumberCompare(big.get(), bigReal.get(), nullptr), kCFCompareGreaterThan);

  CFRef<CFNumberRef> nan(MakeReal(NAN));
  CFRef<CFNumberRef> nan2(MakeReal(NAN));
  EXPECT_TRUE(CFEqual(nan.get(), nan2.get()));

  // Different types are never equal, even with the "same" content.
  CFRef<CFStringRef> oneText(MakeString("1"));
  EXPECT_FALSE(CFEqual(one.get(), oneText.get()));
  EXPECT_FALSE(CFEqual(kCFBooleanTrue, one.get()));

  CFRef<CFMutableArrayRef> x(MakeArray()), y(MakeArray());
  CFArrayAppendValue(x.get(), one.get());
  CFArrayAppendValue(x.get(), a.get());
  CFArrayAppendValue(y.get(), oneReal.get());
  CFArrayAppendValue(y.get(), b.get());
  EXPECT_TRUE(CFEqual(x.get(), y.get()));
  EXPECT_EQ(CFHash(x.get()), CFHash(y.get()));
  CFArrayAppendValue(y.get(), b.get());
  EXPECT_FALSE(CFEqual(x.get(), y.get()));

  // Dictionaries are equal whatever the insertion order.
  CFRef<CFMutableDictionaryRef> d1(MakeDictionary()), d2(MakeDictionary());
  CFDictionarySetValue(d1.get(), CFSTR("k1"), one.get());
  CFDictionarySetValue(d1.get(), CFSTR("k2"), x.get());
  CFDictionarySetValue(d2.get(), CFSTR("k2"), x.get());
  CFDictionarySetValue(d2.get(), CFSTR("k1"), oneReal.get());
  EXPECT_TRUE(CFEqual(d1.get(), d2.get()));
  EXPECT_EQ(CFHash(d1.get()), CFHash(d2.get()));
  CFDictionarySetValue(d2.get(), CFSTR("k1"), oneAndABit.get());
  EXPECT_FALSE(CFEqual(d1.get(), d2.get()));
}

TEST(CFObjectTest, DictionaryKeepsInsertionOrderAndFindsKeysByValue) {
  CFRef<CFMutableDictionaryRef> d(MakeDictionary());
  const int kCount = 5000;
  for (int i = 0; i < kCount; ++i) {
    CFRef<CFStringRef> key(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("key%d"), i));
    CFRef<CFNumberRef> value(MakeInt(i));
    CFDictionaryAddValue(d.get(), key.get(), value.get());
  }
  // Remove every other key, then put some back: they go to the end.
  for (int i = 0; i < kCount; i += 2) {
    CFRef<CFStringRef> key(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("key%d"), i));
    CFDictionaryRemoveValue(d.get(), key.get());
  }
  CFRef<CFNumberRef> minusOne(MakeInt(-1));
  CFDictionarySetValue(d.get(), CFSTR("key0"), minusOne.get());
  CFDictionaryAddValue(d.get(), CFSTR("key1"), minusOne.get());      // present: no change
  CFDictionaryReplaceValue(d.get(), CFSTR("key2"), minusOne.get());  // absent: no change
  ASSERT_EQ(CFDictionaryGetCount(d.get()), kCount / 2 + 1);
  EXPECT_FALSE(CFDictionaryContainsKey(d.get(), CFSTR("key2")));

  std::vector<const void*> keys(kCount / 2 + 1), values(kCount / 2 + 1);
  CFDictionaryGetKeysAndValues(d.get(), keys.data(), values.data());
  for (int k = 0; k < kCount / 2; ++k) {
    CFRef<CFStringRef> expected(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("key%d"), 2 * k + 1));
    ASSERT_TRUE(CFEqual(keys[k], expected.get())) << k;
    long long v = 0;
    ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(values[k]), kCFNumberLongLongType, &v));
    ASSERT_EQ(v, 2 * k + 1);
  }
  EXPECT_TRUE(CFEqual(keys.back(), CFSTR("key0")));

  // A key found by value, not identity, including a number key of the other kind.
  CFRef<CFStringRef> probe(MakeString("key4999"));
  const void* found = nullptr;
  EXPECT_TRUE(CFDictionaryGetValueIfPresent(d.get(), probe.get(), &found));
  CFRef<CFNumberRef> intKey(MakeInt(7)), realKey(MakeReal(7.0));
  CFDictionarySetValue(d.get(), intKey.get(), CFSTR("seven"));
  EXPECT_EQ(CFDictionaryGetValue(d.get(), realKey.get()), CFSTR("seven"));

  CFRef<CFDictionaryRef> copy(CFDictionaryCreateCopy(nullptr, d.get()));
  EXPECT_TRUE(CFEqual(copy.get(), d.get()));
  CFDictionaryRemoveAllValues(d.get());
  EXPECT_EQ(CFDictionaryGetCount(d.get()), 0);
  EXPECT_EQ(CFDictionaryGetValue(d.get(), CFSTR("key1")), nullptr);
  EXPECT_EQ(CFDictionaryGetCount(copy.get()), kCount / 2 + 2);
}

TEST(CFObjectTest, ImmutableDictionaryFromArraysKeepsTheLastOfRepeatedKeys) {
  const void* keys[] = {CFSTR("a"), CFSTR("b"), CFSTR("a")};
  const void* values[] = {CFSTR("1"), CFSTR("2"), CFSTR("3")};
  CFRef<CFDictionaryRef> d(CFDictionaryCreate(nullptr, keys, values, 3, &kCFTypeDictionaryKeyCallBacks,
                                              &kCFTypeDictionaryValueCallBacks));
  EXPECT_EQ(CFDictionaryGetCount(d.get()), 2);
  EXPECT_EQ(CFDictionaryGetValue(d.get(), CFSTR("a")), CFSTR("3"));
  const void* firstKey[2];
  CFDictionaryGetKeysAndValues(d.get(), firstKey, nullptr);
  EXPECT_EQ(firstKey[0], CFSTR("a"));
}

TEST(CFObjectDeathTest, MutatingAnImmutableContainerAsserts) {
  CFRef<CFArrayRef> array(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
  EXPECT_DEATH(CFArrayAppendValue(const_cast<CFMutableArrayRef>(array.get()), CFSTR("x")), "isMutable");
  CFRef<CFDictionaryRef> dict(
      CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  EXPECT_DEATH(CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(dict.get()), CFSTR("k"), CFSTR("v")),
               "isMutable");
  EXPECT_DEATH(CFArrayCreateMutable(nullptr, 0, nullptr), "kCFTypeArrayCallBacks");
  CFRef<CFMutableArrayRef> m(MakeArray());
  EXPECT_DEATH(CFArrayGetValueAtIndex(m.get(), 0), "idx");
}

// Builds [[[ ... ]]] `depth` levels deep; returns the outermost array.
CFArrayRef MakeNested(int depth, CFTypeRef leaf) {
  CFTypeRef inner = CFRetain(leaf);
  for (int i = 0; i < depth; ++i) {
    const void* values[] = {inner};
    CFArrayRef outer = CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks);
    CFRelease(inner);
    inner = outer;
  }
  return static_cast<CFArrayRef>(inner);
}

CFTypeRef MakeNestedDictionaries(int depth, CFTypeRef leaf) {
  CFTypeRef inner = CFRetain(leaf);
  for (int i = 0; i < depth; ++i) {
    CFMutableDictionaryRef d = MakeDictionary();
    CFDictionarySetValue(d, CFSTR("child"), inner);
    CFRelease(inner);
    inner = d;
  }
  return inner;
}

TEST(CFObjectTest, DeeplyNestedContainersCompareAndFreeWithoutRecursion) {
  const int kDepth = 100000;
  CFRef<CFStringRef> leaf(MakeString("leaf"));
  CFRef<CFStringRef> otherLeaf(MakeString("other"));
  CFRef<CFArrayRef> a(MakeNested(kDepth, leaf.get()));
  CFRef<CFArrayRef> b(MakeNested(kDepth, leaf.get()));
  CFRef<CFArrayRef> c(MakeNested(kDepth, otherLeaf.get()));
  EXPECT_TRUE(CFEqual(a.get(), b.get()));
  EXPECT_FALSE(CFEqual(a.get(), c.get()));
  EXPECT_EQ(CFHash(a.get()), CFHash(b.get()));

  // A deep chain of dictionaries, too.
  CFRef<CFTypeRef> dicts(MakeNestedDictionaries(kDepth, leaf.get()));
  CFRef<CFTypeRef> dictsCopy(MakeNestedDictionaries(kDepth, leaf.get()));
  EXPECT_TRUE(CFEqual(dicts.get(), dictsCopy.get()));

  a.reset();
  b.reset();
  c.reset();
  dicts.reset();
  dictsCopy.reset();
  // The whole chains are gone: only our own reference to each leaf is left.
  EXPECT_EQ(CFGetRetainCount(leaf.get()), 1);
  EXPECT_EQ(CFGetRetainCount(otherLeaf.get()), 1);
}

TEST(CFObjectTest, DescriptionsAreShortAndReadable) {
  CFRef<CFNumberRef> n(MakeInt(-42));
  CFRef<CFNumberRef> r(MakeReal(0.1));
  CFRef<CFDateRef> date(CFDateCreate(nullptr, 0));
  CFRef<CFStringRef> text(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@ %@ %@ %@ %@"), n.get(), r.get(),
                                                   kCFBooleanTrue, date.get(), CFSTR("str")));
  ASSERT_TRUE(text);
  EXPECT_TRUE(CFEqual(text.get(), CFSTR("-42 0.1 true 2001-01-01T00:00:00Z str")));
}

}  // namespace
