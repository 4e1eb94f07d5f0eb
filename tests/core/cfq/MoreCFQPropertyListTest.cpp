// Visiting property lists, loading them from XML files, and merging.

#include "CFQTestSupport.h"

#include <Folders.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

void RecordNode(CFTypeRef node, void* calls) { static_cast<std::vector<CFTypeRef>*>(calls)->push_back(node); }

void RecordChild(CFTypeRef key, CFTypeRef value, void* calls) {
  static_cast<std::vector<std::pair<CFTypeRef, CFTypeRef>>*>(calls)->emplace_back(key, value);
}

// The index number lives only during the call, so its value is kept.
void RecordIndex(CFTypeRef index, CFTypeRef value, void* calls) {
  static_cast<std::vector<std::pair<long, CFTypeRef>>*>(calls)->emplace_back(LongOf(index), value);
}

std::vector<CFTypeRef> DeepCalls(CFTypeRef root) {
  std::vector<CFTypeRef> calls;
  CFQPropertyListDeepApplyFunction(root, RecordNode, &calls);
  return calls;
}

TEST(CFQVisitTest, DeepVisitIsPreOrderInKeyAndIndexOrder) {
  CFRef<CFNumberRef> n1(MakeNumber(1));
  CFRef<CFDictionaryRef> inner(MakeDict({{CFSTR("x"), kCFBooleanTrue}}));
  CFRef<CFArrayRef> emptyArray(MakeArray({}));
  CFRef<CFArrayRef> array(MakeArray({n1.get(), inner.get(), emptyArray.get()}));
  CFRef<CFDictionaryRef> emptyDict(MakeDict({}));
  CFRef<CFDataRef> data(CFDataCreate(nullptr, (const UInt8*) "d", 1));
  CFRef<CFDictionaryRef> root(MakeDict(
      {{CFSTR("k1"), CFSTR("s1")}, {CFSTR("k2"), array.get()}, {CFSTR("k3"), emptyDict.get()}, {CFSTR("k4"), data.get()}}));

  EXPECT_EQ(DeepCalls(root.get()), (std::vector<CFTypeRef>{root.get(), CFSTR("s1"), array.get(), n1.get(), inner.get(),
                                                           kCFBooleanTrue, emptyArray.get(), emptyDict.get(), data.get()}));
  EXPECT_EQ(DeepCalls(data.get()), std::vector<CFTypeRef>{data.get()});
  EXPECT_EQ(DeepCalls(emptyDict.get()), std::vector<CFTypeRef>{emptyDict.get()});

  EXPECT_FALSE(CFQPropertyListIsLeaf(root.get()) || CFQPropertyListIsLeaf(array.get()));
  EXPECT_TRUE(CFQPropertyListIsLeaf(data.get()) && CFQPropertyListIsLeaf(n1.get()) &&
              CFQPropertyListIsLeaf(CFSTR("s")) && CFQPropertyListIsLeaf(kCFBooleanFalse));
}

// 100,000 levels, alternately dictionaries {child, leaf} and arrays [child,
// leaf], each leaf the number of its level: pre-order gives every container
// top-down, then the leaves bottom-up.
TEST(CFQVisitTest, DeepVisitOfAHundredThousandLevelsNeedsNoCallStack) {
  constexpr long kDepth = 100000;
  CFTypeRef node = nullptr;
  for (long level = kDepth - 1; level >= 0; level--) {
    CFRef<CFNumberRef> leaf(MakeNumber(level));
    CFTypeRef parent = (node == nullptr)  ? MakeArray({leaf.get()})
                       : (level % 2 == 0) ? (CFTypeRef) MakeDict({{CFSTR("child"), node}, {CFSTR("leaf"), leaf.get()}})
                                          : (CFTypeRef) MakeArray({node, leaf.get()});
    CFQRelease(node);
    node = parent;
  }
  CFRef<CFTypeRef> root(node);

  std::vector<CFTypeRef> calls = DeepCalls(root.get());
  ASSERT_EQ(calls.size(), (size_t) (2 * kDepth));
  for (long i = 0; i < kDepth; i++) {
    bool isDict = i % 2 == 0 && i != kDepth - 1;
    ASSERT_EQ(CFGetTypeID(calls[i]), isDict ? CFDictionaryGetTypeID() : CFArrayGetTypeID()) << i;
    ASSERT_EQ(LongOf(calls[kDepth + i]), kDepth - 1 - i) << i;
  }
}

TEST(CFQVisitTest, ShallowVisitPassesIndexNumbersOrKeys) {
  CFRef<CFArrayRef> array(MakeArray({CFSTR("zero"), CFSTR("one"), kCFBooleanFalse}));
  std::vector<std::pair<long, CFTypeRef>> indexCalls;
  CFQPropertyListShallowApplyFunction(array.get(), RecordIndex, &indexCalls);
  EXPECT_EQ(indexCalls, (std::vector<std::pair<long, CFTypeRef>>{
                            {0, CFSTR("zero")}, {1, CFSTR("one")}, {2, kCFBooleanFalse}}));

  CFRef<CFDictionaryRef> dict(MakeDict({{CFSTR("b"), CFSTR("B")}, {CFSTR("a"), array.get()}}));
  std::vector<std::pair<CFTypeRef, CFTypeRef>> calls;
  CFQPropertyListShallowApplyFunction(dict.get(), RecordChild, &calls);
  EXPECT_EQ(calls, (std::vector<std::pair<CFTypeRef, CFTypeRef>>{{CFSTR("b"), CFSTR("B")}, {CFSTR("a"), array.get()}}));

  CFRef<CFArrayRef> emptyArray(MakeArray({}));
  CFRef<CFDictionaryRef> emptyDict(MakeDict({}));
  calls.clear();
  CFQPropertyListShallowApplyFunction(emptyArray.get(), RecordChild, &calls);
  CFQPropertyListShallowApplyFunction(emptyDict.get(), RecordChild, &calls);
  EXPECT_TRUE(calls.empty());
}

class CFQXMLFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillon-cfq-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fDir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(fDir); }

  std::string Write(const std::string& contents) {
    std::string path = fDir + "/file.plist";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    return path;
  }

  static OSStatus Load(const std::string& path, CFRef<CFPropertyListRef>* result,
                       CFPropertyListMutabilityOptions options = kCFPropertyListImmutable) {
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(nullptr, (const UInt8*) path.c_str(),
                                                                (CFIndex) path.size(), false));
    CFPropertyListRef raw = nullptr;
    OSStatus err = CFQPropertyListCreateFromXMLCFURL(url.get(), options, &raw);
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
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
    "<key>name</key><string>Quillon</string>"
    "<key>ports</key><array><integer>1</integer><integer>2</integer></array></dict></plist>\n";

TEST_F(CFQXMLFileTest, MissingGoodAndMalformedFilesGiveTheirStatuses) {
  CFRef<CFPropertyListRef> result;
  EXPECT_EQ(Load(fDir + "/absent.plist", &result), kCFURLResourceNotFoundError);
  EXPECT_FALSE(result);

  ASSERT_EQ(Load(Write(kGoodPlist), &result, kCFPropertyListMutableContainers), noErr);
  CFRef<CFNumberRef> one(MakeNumber(1)), two(MakeNumber(2));
  CFRef<CFArrayRef> ports(MakeArray({one.get(), two.get()}));
  CFRef<CFDictionaryRef> expected(MakeDict({{CFSTR("name"), CFSTR("Quillon")}, {CFSTR("ports"), ports.get()}}));
  EXPECT_TRUE(CFEqual(result.get(), expected.get()));
  CFDictionarySetValue((CFMutableDictionaryRef) result.get(), CFSTR("k"), CFSTR("v"));  // the option reached the parser

  for (const char* bad : {"", "not xml", "<plist version=\"1.0\"><dict><key>k</key></dict></plist>",
                          "<plist version=\"1.0\"><array><string>x</array></plist>"}) {
    EXPECT_EQ(Load(Write(bad), &result), -4960) << bad;
    EXPECT_FALSE(result) << bad;
  }
}

// The reader refuses nesting beyond its bound of 512, so a file nested
// 100,000 deep is a parse failure rather than a stack overflow; a file within
// the bound loads and is walked completely.
TEST_F(CFQXMLFileTest, DeeplyNestedFilesFailCleanlyOrWalkCompletely) {
  CFRef<CFPropertyListRef> result;
  EXPECT_EQ(Load(Write(Nested(100000)), &result), -4960);
  EXPECT_FALSE(result);

  ASSERT_EQ(Load(Write(Nested(400)), &result), noErr);
  std::vector<CFTypeRef> calls = DeepCalls(result.get());
  ASSERT_EQ(calls.size(), 401u);
  EXPECT_TRUE(CFEqual(calls.back(), CFSTR("bottom")));
}

// A file costs many times its size once parsed, so the loaders take only
// files within their size and markup budgets, and refuse the rest unparsed.
TEST_F(CFQXMLFileTest, FilesBeyondTheBudgetsAreRefusedWith108) {
  const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>";
  const std::string tail = "</array></plist>\n";
  auto trues = [&](CFIndex count) {
    std::string xml = head;
    for (CFIndex i = 0; i < count; i++) xml += "<true/>";
    return xml + tail;
  };
  const CFIndex fits = kCFQMaxXMLFileMarkup - 5;  // the declaration, plist and array tags hold the other five
  CFRef<CFPropertyListRef> result;
  ASSERT_EQ(Load(Write(trues(fits)), &result), noErr);
  EXPECT_EQ(CFArrayGetCount((CFArrayRef) result.get()), fits);
  EXPECT_EQ(Load(Write(trues(fits + 1)), &result), memFullErr);
  EXPECT_FALSE(result);

  const std::string large = head + "<string>" + std::string(kCFQMaxXMLFileBytes, 'x') + "</string>" + tail;
  EXPECT_EQ(Load(Write(large), &result), memFullErr);
  EXPECT_FALSE(result);
}

TEST_F(CFQXMLFileTest, FileReferencesLoadLikeURLs) {
  FSRef ref{};
  std::string good = Write(kGoodPlist);
  good.copy(ref.path, sizeof(ref.path) - 1);
  CFPropertyListRef raw = nullptr;
  ASSERT_EQ(CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListImmutable, &raw), noErr);
  CFRef<CFPropertyListRef> byRef(raw), byURL;
  ASSERT_EQ(Load(good, &byURL), noErr);
  EXPECT_TRUE(CFEqual(byRef.get(), byURL.get()));

  std::filesystem::remove(good);
  raw = nullptr;
  EXPECT_NE(CFQPropertyListCreateFromXMLFSRef(&ref, kCFPropertyListImmutable, &raw), noErr);
  EXPECT_EQ(raw, nullptr);
}

TEST(CFQMergeTest, ReplacesValuesWholeSharingThemAndKeepsOtherKeys) {
  CFRef<CFDictionaryRef> dstInner(MakeDict({{CFSTR("a"), CFSTR("1")}}));
  CFRef<CFDictionaryRef> srcInner(MakeDict({{CFSTR("b"), CFSTR("2")}}));
  CFRef<CFDictionaryRef> start(MakeDict({{CFSTR("K"), dstInner.get()}, {CFSTR("Other"), CFSTR("keep")}}));
  CFRef<CFMutableDictionaryRef> dst(CFDictionaryCreateMutableCopy(nullptr, 0, start.get()));
  CFRef<CFDictionaryRef> src(MakeDict({{CFSTR("K"), srcInner.get()}, {CFSTR("New"), CFSTR("added")}}));

  EXPECT_EQ(CFQDictionaryMerge(dst.get(), src.get()), noErr);
  CFRef<CFDictionaryRef> expected(MakeDict(
      {{CFSTR("K"), srcInner.get()}, {CFSTR("Other"), CFSTR("keep")}, {CFSTR("New"), CFSTR("added")}}));
  EXPECT_TRUE(CFEqual(dst.get(), expected.get()));
  EXPECT_EQ(CFDictionaryGetValue(dst.get(), CFSTR("K")), srcInner.get());  // the very object
  EXPECT_EQ(CFDictionaryGetCount(srcInner.get()) + CFDictionaryGetCount(dstInner.get()), 2);

  // Merging a dictionary into itself leaves it as it was.
  EXPECT_EQ(CFQDictionaryMerge(dst.get(), dst.get()), noErr);
  EXPECT_TRUE(CFEqual(dst.get(), expected.get()));
}

}  // namespace
