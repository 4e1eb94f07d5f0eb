// Visiting property lists, loading them from XML files, and merging.

#include "MoreCFQ.h"

#include <CoreFoundation/CFRef.h>
#include <Folders.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

CFDictionaryRef MakeDict(std::vector<std::pair<CFStringRef, CFTypeRef>> entries) {
  std::vector<const void*> keys;
  std::vector<const void*> values;
  for (const auto& e : entries) {
    keys.push_back(e.first);
    values.push_back(e.second);
  }
  return CFDictionaryCreate(nullptr, keys.data(), values.data(), (CFIndex) keys.size(),
                            &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFArrayRef MakeArray(std::vector<CFTypeRef> items) {
  return CFArrayCreate(nullptr, items.data(), (CFIndex) items.size(), &kCFTypeArrayCallBacks);
}

CFNumberRef MakeNumber(long value) { return CFNumberCreate(nullptr, kCFNumberLongType, &value); }

long LongValue(CFTypeRef number) {
  long value = -1;
  EXPECT_EQ(CFGetTypeID(number), CFNumberGetTypeID());
  CFNumberGetValue((CFNumberRef) number, kCFNumberLongType, &value);
  return value;
}

void RecordNode(CFTypeRef node, void* context) { static_cast<std::vector<CFTypeRef>*>(context)->push_back(node); }

struct ShallowCall {
  CFTypeRef key;
  long index;  // the index number's value for arrays, -1 for dictionaries
  CFTypeRef value;
};

void RecordChild(CFTypeRef key, CFTypeRef value, void* context) {
  bool isIndex = CFGetTypeID(key) == CFNumberGetTypeID();
  static_cast<std::vector<ShallowCall>*>(context)->push_back({key, isIndex ? LongValue(key) : -1, value});
}

TEST(CFQDeepApplyTest, VisitsEveryNodeOnceInPreOrder) {
  CFRef<CFStringRef> s1(CFStringCreateWithCString(nullptr, "s1", kCFStringEncodingUTF8));
  CFRef<CFNumberRef> n1(MakeNumber(1));
  CFRef<CFDictionaryRef> inner(MakeDict({{CFSTR("x"), kCFBooleanTrue}}));
  CFRef<CFArrayRef> emptyArray(MakeArray({}));
  CFRef<CFArrayRef> array(MakeArray({n1.get(), inner.get(), emptyArray.get()}));
  CFRef<CFDictionaryRef> emptyDict(MakeDict({}));
  CFRef<CFDataRef> data(CFDataCreate(nullptr, (const UInt8*) "d", 1));
  CFRef<CFDictionaryRef> root(MakeDict({{CFSTR("k1"), s1.get()},
                                        {CFSTR("k2"), array.get()},
                                        {CFSTR("k3"), emptyDict.get()},
                                        {CFSTR("k4"), data.get()}}));

  std::vector<CFTypeRef> calls;
  CFQPropertyListDeepApplyFunction(root.get(), RecordNode, &calls);
  std::vector<CFTypeRef> expected = {root.get(), s1.get(),       array.get(),     n1.get(), inner.get(),
                                     kCFBooleanTrue, emptyArray.get(), emptyDict.get(), data.get()};
  EXPECT_EQ(calls, expected);

  // A leaf, and an empty container, are one call each.
  calls.clear();
  CFQPropertyListDeepApplyFunction(s1.get(), RecordNode, &calls);
  EXPECT_EQ(calls, std::vector<CFTypeRef>{s1.get()});
  calls.clear();
  CFQPropertyListDeepApplyFunction(emptyDict.get(), RecordNode, &calls);
  EXPECT_EQ(calls, std::vector<CFTypeRef>{emptyDict.get()});

  // The documented example: a dictionary holding an array of two strings.
  CFRef<CFArrayRef> two(MakeArray({CFSTR("a"), CFSTR("b")}));
  CFRef<CFDictionaryRef> holder(MakeDict({{CFSTR("list"), two.get()}}));
  calls.clear();
  CFQPropertyListDeepApplyFunction(holder.get(), RecordNode, &calls);
  EXPECT_EQ(calls, (std::vector<CFTypeRef>{holder.get(), two.get(), CFSTR("a"), CFSTR("b")}));
}

// 100,000 levels, alternately dictionaries {child, leaf} and arrays
// [child, leaf], each leaf a number holding its level. Pre-order gives every
// container top-down, then the leaves bottom-up.
TEST(CFQDeepApplyTest, HundredThousandLevelsNeedNoCallStack) {
  constexpr long kDepth = 100000;
  CFTypeRef child = nullptr;
  for (long level = kDepth - 1; level >= 0; level--) {
    CFRef<CFNumberRef> leaf(MakeNumber(level));
    CFTypeRef node;
    if (child == nullptr) {
      node = MakeArray({leaf.get()});
    } else if (level % 2 == 0) {
      node = MakeDict({{CFSTR("child"), child}, {CFSTR("leaf"), leaf.get()}});
    } else {
      node = MakeArray({child, leaf.get()});
    }
    CFQRelease(child);
    child = node;
  }
  CFRef<CFTypeRef> root(child);

  std::vector<CFTypeRef> calls;
  calls.reserve(2 * kDepth);
  CFQPropertyListDeepApplyFunction(root.get(), RecordNode, &calls);
  ASSERT_EQ(calls.size(), (size_t) (2 * kDepth));
  EXPECT_EQ(calls[0], root.get());
  for (long i = 0; i < kDepth; i++) {
    CFTypeID expectedType = (i % 2 == 0 && i != kDepth - 1) ? CFDictionaryGetTypeID() : CFArrayGetTypeID();
    ASSERT_EQ(CFGetTypeID(calls[i]), expectedType) << "level " << i;
    ASSERT_EQ(LongValue(calls[kDepth + i]), kDepth - 1 - i) << "leaf " << i;
  }
}

TEST(CFQShallowApplyTest, GivesIndexNumbersForArraysAndKeysForDictionaries) {
  CFRef<CFArrayRef> array(MakeArray({CFSTR("zero"), CFSTR("one"), kCFBooleanFalse}));
  std::vector<ShallowCall> calls;
  CFQPropertyListShallowApplyFunction(array.get(), RecordChild, &calls);
  ASSERT_EQ(calls.size(), 3u);
  for (long i = 0; i < 3; i++) {
    EXPECT_EQ(calls[i].index, i);
    EXPECT_EQ(calls[i].value, CFArrayGetValueAtIndex(array.get(), i));
  }

  CFRef<CFDictionaryRef> dict(MakeDict({{CFSTR("b"), CFSTR("B")}, {CFSTR("a"), array.get()}}));
  calls.clear();
  CFQPropertyListShallowApplyFunction(dict.get(), RecordChild, &calls);
  ASSERT_EQ(calls.size(), 2u);
  const void* keys[2];
  CFDictionaryGetKeysAndValues(dict.get(), keys, nullptr);
  for (size_t i = 0; i < 2; i++) {
    EXPECT_EQ(calls[i].key, keys[i]);
    EXPECT_EQ(calls[i].value, CFDictionaryGetValue(dict.get(), keys[i]));
  }

  CFRef<CFArrayRef> emptyArray(MakeArray({}));
  CFRef<CFDictionaryRef> emptyDict(MakeDict({}));
  calls.clear();
  CFQPropertyListShallowApplyFunction(emptyArray.get(), RecordChild, &calls);
  CFQPropertyListShallowApplyFunction(emptyDict.get(), RecordChild, &calls);
  EXPECT_TRUE(calls.empty());
}

TEST(CFQIsLeafTest, OnlyDictionariesAndArraysAreContainers) {
  CFRef<CFDictionaryRef> dict(MakeDict({}));
  CFRef<CFMutableDictionaryRef> mutableDict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                      &kCFTypeDictionaryValueCallBacks));
  CFRef<CFArrayRef> array(MakeArray({}));
  CFRef<CFNumberRef> number(MakeNumber(3));
  CFRef<CFDataRef> data(CFDataCreate(nullptr, nullptr, 0));
  CFRef<CFDateRef> date(CFDateCreate(nullptr, 0.0));
  EXPECT_FALSE(CFQPropertyListIsLeaf(dict.get()));
  EXPECT_FALSE(CFQPropertyListIsLeaf(mutableDict.get()));
  EXPECT_FALSE(CFQPropertyListIsLeaf(array.get()));
  for (CFTypeRef leaf : {(CFTypeRef) CFSTR("s"), (CFTypeRef) number.get(), (CFTypeRef) data.get(),
                         (CFTypeRef) date.get(), (CFTypeRef) kCFBooleanTrue}) {
    EXPECT_TRUE(CFQPropertyListIsLeaf(leaf));
  }
}

class CFQXMLFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillon-cfq-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fDir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(fDir); }

  std::string Write(const std::string& name, const std::string& contents) {
    std::string path = fDir + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  static CFRef<CFURLRef> URL(const std::string& path) {
    return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(nullptr, (const UInt8*) path.c_str(),
                                                                   (CFIndex) path.size(), false));
  }

  static OSStatus Load(const std::string& path, CFPropertyListMutabilityOptions options,
                       CFRef<CFPropertyListRef>* result) {
    CFPropertyListRef raw = nullptr;
    OSStatus err = CFQPropertyListCreateFromXMLCFURL(URL(path).get(), options, &raw);
    result->reset(raw);
    return err;
  }

  static std::string Nested(long depth) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    for (long i = 0; i < depth; i++) xml += "<array>";
    xml += "<string>bottom</string>";
    for (long i = 0; i < depth; i++) xml += "</array>";
    return xml + "</plist>\n";
  }

  std::string fDir;
};

const char kGoodPlist[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\"><dict>\n"
    "  <key>name</key><string>Quillon</string>\n"
    "  <key>ports</key><array><integer>1</integer><integer>2</integer></array>\n"
    "</dict></plist>\n";

TEST_F(CFQXMLFileTest, MissingGoodAndMalformedFilesGiveTheirStatuses) {
  CFRef<CFPropertyListRef> result;
  EXPECT_EQ(Load(fDir + "/absent.plist", kCFPropertyListImmutable, &result), kCFURLResourceNotFoundError);
  EXPECT_FALSE(result);

  ASSERT_EQ(Load(Write("good.plist", kGoodPlist), kCFPropertyListImmutable, &result), noErr);
  ASSERT_TRUE(result);
  CFRef<CFNumberRef> one(MakeNumber(1));
  CFRef<CFNumberRef> two(MakeNumber(2));
  CFRef<CFArrayRef> ports(MakeArray({one.get(), two.get()}));
  CFRef<CFDictionaryRef> expected(MakeDict({{CFSTR("name"), CFSTR("Quillon")}, {CFSTR("ports"), ports.get()}}));
  EXPECT_TRUE(CFEqual(result.get(), expected.get()));

  for (const char* bad : {"", "not xml at all", "<plist version=\"1.0\"><dict><key>k</key></dict></plist>",
                          "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</array></plist>"}) {
    EXPECT_EQ(Load(Write("bad.plist", bad), kCFPropertyListImmutable, &result), -4960) << bad;
    EXPECT_FALSE(result) << bad;
  }

  // A folder is not a file: a resource error, never a parse.
  EXPECT_NE(Load(fDir, kCFPropertyListImmutable, &result), noErr);
  EXPECT_FALSE(result);
}

TEST_F(CFQXMLFileTest, MutabilityOptionReachesTheParser) {
  CFRef<CFPropertyListRef> result;
  ASSERT_EQ(Load(Write("good.plist", kGoodPlist), kCFPropertyListMutableContainers, &result), noErr);
  CFDictionarySetValue((CFMutableDictionaryRef) result.get(), CFSTR("added"), CFSTR("yes"));  // asserts if immutable
  EXPECT_EQ(CFDictionaryGetCount((CFDictionaryRef) result.get()), 3);
}

// The reader refuses nesting beyond its bound, so a file nested 100,000 deep is
// a parse failure, not a stack overflow; anything within the bound loads and
// is walked completely.
TEST_F(CFQXMLFileTest, DeeplyNestedFilesFailCleanlyOrWalkCompletely) {
  CFRef<CFPropertyListRef> result;
  EXPECT_EQ(Load(Write("deep.plist", Nested(100000)), kCFPropertyListImmutable, &result), -4960);
  EXPECT_FALSE(result);

  constexpr long kLoadable = 400;
  ASSERT_EQ(Load(Write("deep.plist", Nested(kLoadable)), kCFPropertyListImmutable, &result), noErr);
  std::vector<CFTypeRef> calls;
  CFQPropertyListDeepApplyFunction(result.get(), RecordNode, &calls);
  ASSERT_EQ(calls.size(), (size_t) kLoadable + 1);
  EXPECT_TRUE(CFEqual(calls.back(), CFSTR("bottom")));
}

TEST_F(CFQXMLFileTest, FileReferencesLoadLikeURLs) {
  FSRef ref{};
  std::string good = Write("good.plist", kGoodPlist);
  ASSERT_LT(good.size(), sizeof(ref.path));
  good.copy(ref.path, good.size());

  CFPropertyListRef raw = nullptr;
  ASSERT_EQ(CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListImmutable, &raw), noErr);
  CFRef<CFPropertyListRef> byRef(raw);
  CFRef<CFPropertyListRef> byURL;
  ASSERT_EQ(Load(good, kCFPropertyListImmutable, &byURL), noErr);
  EXPECT_TRUE(CFEqual(byRef.get(), byURL.get()));

  std::filesystem::remove(good);
  raw = nullptr;
  EXPECT_NE(CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListImmutable, &raw), noErr);
  EXPECT_EQ(raw, nullptr);
}

TEST(CFQDictionaryMergeTest, ReplacesValuesWholeSharesThemAndKeepsOtherKeys) {
  CFRef<CFDictionaryRef> dstInner(MakeDict({{CFSTR("a"), CFSTR("1")}}));
  CFRef<CFDictionaryRef> srcInner(MakeDict({{CFSTR("b"), CFSTR("2")}}));
  CFRef<CFStringRef> keep(CFStringCreateWithCString(nullptr, "keep", kCFStringEncodingUTF8));
  CFRef<CFStringRef> added(CFStringCreateWithCString(nullptr, "added", kCFStringEncodingUTF8));
  CFRef<CFMutableDictionaryRef> dst(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                              &kCFTypeDictionaryValueCallBacks));
  CFDictionarySetValue(dst.get(), CFSTR("K"), dstInner.get());
  CFDictionarySetValue(dst.get(), CFSTR("Other"), keep.get());
  CFRef<CFDictionaryRef> src(MakeDict({{CFSTR("K"), srcInner.get()}, {CFSTR("New"), added.get()}}));
  CFRef<CFDictionaryRef> srcBefore(CFDictionaryCreateCopy(nullptr, src.get()));

  EXPECT_EQ(CFQDictionaryMerge(dst.get(), src.get()), noErr);
  EXPECT_EQ(CFDictionaryGetCount(dst.get()), 3);
  EXPECT_EQ(CFDictionaryGetValue(dst.get(), CFSTR("K")), srcInner.get());  // the object itself, not merged
  EXPECT_FALSE(CFDictionaryContainsKey(srcInner.get(), CFSTR("a")));
  EXPECT_EQ(CFDictionaryGetValue(dst.get(), CFSTR("Other")), keep.get());
  EXPECT_EQ(CFDictionaryGetValue(dst.get(), CFSTR("New")), added.get());
  EXPECT_TRUE(CFEqual(src.get(), srcBefore.get()));
  EXPECT_EQ(CFDictionaryGetCount(dstInner.get()), 1);

  // Merging a dictionary into itself leaves it as it was.
  CFRef<CFDictionaryRef> dstBefore(CFDictionaryCreateCopy(nullptr, dst.get()));
  EXPECT_EQ(CFQDictionaryMerge(dst.get(), dst.get()), noErr);
  EXPECT_TRUE(CFEqual(dst.get(), dstBefore.get()));
}

TEST(CFQPropertyListDeathTest, ShallowVisitOfALeafIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::vector<ShallowCall> calls;
  EXPECT_DEATH(CFQPropertyListShallowApplyFunction(CFSTR("leaf"), RecordChild, &calls), "false");
  CFRef<CFPropertyListRef> notEmpty(MakeDict({}));
  CFPropertyListRef raw = notEmpty.get();
  CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(nullptr, (const UInt8*) "/x", 2, false));
  EXPECT_DEATH(CFQPropertyListCreateFromXMLCFURL(url.get(), kCFPropertyListImmutable, &raw), "\\*result == NULL");
}

}  // namespace
