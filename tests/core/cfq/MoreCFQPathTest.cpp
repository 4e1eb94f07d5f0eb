// Reading, setting and removing values by key path.

#include "MoreCFQ.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using Entry = std::pair<CFStringRef, CFTypeRef>;

CFDictionaryRef MakeDict(std::initializer_list<Entry> entries) {
  std::vector<const void*> keys;
  std::vector<const void*> values;
  for (const Entry& e : entries) {
    keys.push_back(e.first);
    values.push_back(e.second);
  }
  return CFDictionaryCreate(nullptr, keys.data(), values.data(), (CFIndex) keys.size(),
                            &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFMutableDictionaryRef MakeMutableDict(std::initializer_list<Entry> entries) {
  CFRef<CFDictionaryRef> dict(MakeDict(entries));
  return CFDictionaryCreateMutableCopy(nullptr, 0, dict.get());
}

// The outer dictionary of most cases:
//   A: immutable { B: "b", Deep: immutable { C: "c" } }
//   S: "string"
//   M: mutable { X: "x" }
CFMutableDictionaryRef MakeSample() {
  CFRef<CFDictionaryRef> deep(MakeDict({{CFSTR("C"), CFSTR("c")}}));
  CFRef<CFDictionaryRef> a(MakeDict({{CFSTR("B"), CFSTR("b")}, {CFSTR("Deep"), deep.get()}}));
  CFRef<CFMutableDictionaryRef> m(MakeMutableDict({{CFSTR("X"), CFSTR("x")}}));
  return MakeMutableDict({{CFSTR("A"), a.get()}, {CFSTR("S"), CFSTR("string")}, {CFSTR("M"), m.get()}});
}

CFArrayRef MakePathArray(const std::vector<const void*>& path) {
  return CFArrayCreate(nullptr, const_cast<const void**>(path.data()), (CFIndex) path.size(),
                       &kCFTypeArrayCallBacks);
}

TEST(CFQPathGetTest, FindsValuesAndReportsMissingKeysAndNonDictionaries) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  const void* sentinel = &sentinel;

  const void* result = sentinel;
  const void* oneKey[] = {CFSTR("S")};
  ASSERT_EQ(CFQDictionaryGetValueAtPath(dict.get(), oneKey, 1, &result), noErr);
  EXPECT_EQ(result, CFDictionaryGetValue(dict.get(), CFSTR("S")));

  const void* threeKeys[] = {CFSTR("A"), CFSTR("Deep"), CFSTR("C")};
  ASSERT_EQ(CFQDictionaryGetValueAtPath(dict.get(), threeKeys, 3, &result), noErr);
  EXPECT_TRUE(CFEqual(result, CFSTR("c")));

  // A failure leaves the result as it was.
  result = sentinel;
  const void* throughString[] = {CFSTR("S"), CFSTR("B")};
  EXPECT_EQ(CFQDictionaryGetValueAtPath(dict.get(), throughString, 2, &result), kCFQBadValueErr);
  const void* throughMissing[] = {CFSTR("Nope"), CFSTR("B")};
  EXPECT_EQ(CFQDictionaryGetValueAtPath(dict.get(), throughMissing, 2, &result), kCFQKeyMissingErr);
  const void* missingLast[] = {CFSTR("A"), CFSTR("Nope")};
  EXPECT_EQ(CFQDictionaryGetValueAtPath(dict.get(), missingLast, 2, &result), kCFQKeyMissingErr);
  const void* pastLeaf[] = {CFSTR("A"), CFSTR("B"), CFSTR("C")};
  EXPECT_EQ(CFQDictionaryGetValueAtPath(dict.get(), pastLeaf, 3, &result), kCFQBadValueErr);
  EXPECT_EQ(result, sentinel);

  // Reading copies nothing.
  CFRef<CFMutableDictionaryRef> untouched(MakeSample());
  EXPECT_TRUE(CFEqual(dict.get(), untouched.get()));
  EXPECT_EQ(CFGetRetainCount(CFDictionaryGetValue(dict.get(), CFSTR("A"))), 1);
}

TEST(CFQPathSetTest, ReplacesImmutableLevelsWithMutableCopiesAndLeavesOldObjectsAlone) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  CFRef<CFDictionaryRef> oldA = CFRef<CFDictionaryRef>::Retain((CFDictionaryRef) CFDictionaryGetValue(dict.get(), CFSTR("A")));
  CFRef<CFDictionaryRef> oldDeep =
      CFRef<CFDictionaryRef>::Retain((CFDictionaryRef) CFDictionaryGetValue(oldA.get(), CFSTR("Deep")));
  CFRef<CFDictionaryRef> oldASnapshot(CFDictionaryCreateCopy(nullptr, oldA.get()));

  const void* path[] = {CFSTR("A"), CFSTR("Deep"), CFSTR("New")};
  ASSERT_EQ(CFQDictionarySetValueAtPath(dict.get(), path, 3, CFSTR("value")), noErr);

  CFMutableDictionaryRef newA = (CFMutableDictionaryRef) CFDictionaryGetValue(dict.get(), CFSTR("A"));
  CFMutableDictionaryRef newDeep = (CFMutableDictionaryRef) CFDictionaryGetValue(newA, CFSTR("Deep"));
  EXPECT_NE(newA, oldA.get());
  EXPECT_NE(newDeep, oldDeep.get());
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(newDeep, CFSTR("New")), CFSTR("value")));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(newDeep, CFSTR("C")), CFSTR("c")));
  EXPECT_EQ(CFDictionaryGetValue(newA, CFSTR("B")), CFDictionaryGetValue(oldA.get(), CFSTR("B")));  // shallow

  // The old objects are as they were, and nothing else holds the copies.
  EXPECT_TRUE(CFEqual(oldA.get(), oldASnapshot.get()));
  EXPECT_EQ(CFDictionaryGetCount(oldDeep.get()), 1);
  EXPECT_EQ(CFGetRetainCount(newA), 1);
  EXPECT_EQ(CFGetRetainCount(newDeep), 1);

  // The new levels are mutable: the platform asserts otherwise.
  CFDictionarySetValue(newA, CFSTR("Direct"), CFSTR("ok"));
  CFDictionarySetValue(newDeep, CFSTR("Direct"), CFSTR("ok"));
}

TEST(CFQPathSetTest, AlreadyMutableLevelsAreReplacedTooSoOtherHoldersDoNotSeeTheChange) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  CFRef<CFDictionaryRef> oldM = CFRef<CFDictionaryRef>::Retain((CFDictionaryRef) CFDictionaryGetValue(dict.get(), CFSTR("M")));

  const void* path[] = {CFSTR("M"), CFSTR("X")};
  ASSERT_EQ(CFQDictionarySetValueAtPath(dict.get(), path, 2, CFSTR("changed")), noErr);
  EXPECT_NE(CFDictionaryGetValue(dict.get(), CFSTR("M")), oldM.get());
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(oldM.get(), CFSTR("X")), CFSTR("x")));

  // One key: set directly in the outer dictionary, which is not replaced.
  const void* oneKey[] = {CFSTR("S")};
  ASSERT_EQ(CFQDictionarySetValueAtPath(dict.get(), oneKey, 1, CFSTR("other")), noErr);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict.get(), CFSTR("S")), CFSTR("other")));
}

TEST(CFQPathSetTest, MissingOrNonDictionaryLevelsFailAfterEarlierLevelsWereCopied) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  CFRef<CFMutableDictionaryRef> before(MakeSample());

  const void* missingFirst[] = {CFSTR("Nope"), CFSTR("B")};
  EXPECT_EQ(CFQDictionarySetValueAtPath(dict.get(), missingFirst, 2, CFSTR("v")), kCFQKeyMissingErr);
  EXPECT_FALSE(CFDictionaryContainsKey(dict.get(), CFSTR("Nope")));
  EXPECT_TRUE(CFEqual(dict.get(), before.get()));

  // A is copied before Missing is found absent below it; the contents stay.
  const void* oldA = CFDictionaryGetValue(dict.get(), CFSTR("A"));
  const void* missingSecond[] = {CFSTR("A"), CFSTR("Missing"), CFSTR("B")};
  EXPECT_EQ(CFQDictionarySetValueAtPath(dict.get(), missingSecond, 3, CFSTR("v")), kCFQKeyMissingErr);
  EXPECT_NE(CFDictionaryGetValue(dict.get(), CFSTR("A")), oldA);
  EXPECT_TRUE(CFEqual(dict.get(), before.get()));

  const void* throughLeaf[] = {CFSTR("A"), CFSTR("B"), CFSTR("C")};
  EXPECT_EQ(CFQDictionarySetValueAtPath(dict.get(), throughLeaf, 3, CFSTR("v")), kCFQBadValueErr);
  EXPECT_TRUE(CFEqual(dict.get(), before.get()));

  CFMutableDictionaryRef parent = nullptr;
  EXPECT_EQ(CFQMutableDictionaryGetParentForPath(dict.get(), throughLeaf, 3, &parent), kCFQBadValueErr);
  EXPECT_EQ(parent, nullptr);
}

TEST(CFQPathRemoveTest, RemovesTheLastKeyOrReportsItMissingAfterCopying) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  const void* oldA = CFDictionaryGetValue(dict.get(), CFSTR("A"));
  CFRef<CFDictionaryRef> oldASnapshot(CFDictionaryCreateCopy(nullptr, (CFDictionaryRef) oldA));

  const void* missingLast[] = {CFSTR("A"), CFSTR("Nope")};
  EXPECT_EQ(CFQDictionaryRemoveValueAtPath(dict.get(), missingLast, 2), kCFQKeyMissingErr);
  const void* copiedA = CFDictionaryGetValue(dict.get(), CFSTR("A"));
  EXPECT_NE(copiedA, oldA);
  EXPECT_TRUE(CFEqual(copiedA, oldASnapshot.get()));
  CFDictionarySetValue((CFMutableDictionaryRef) copiedA, CFSTR("Mutable"), CFSTR("yes"));
  CFDictionaryRemoveValue((CFMutableDictionaryRef) copiedA, CFSTR("Mutable"));

  const void* present[] = {CFSTR("A"), CFSTR("Deep"), CFSTR("C")};
  ASSERT_EQ(CFQDictionaryRemoveValueAtPath(dict.get(), present, 3), noErr);
  const void* deep = nullptr;
  const void* deepPath[] = {CFSTR("A"), CFSTR("Deep")};
  ASSERT_EQ(CFQDictionaryGetValueAtPath(dict.get(), deepPath, 2, &deep), noErr);
  EXPECT_EQ(CFDictionaryGetCount((CFDictionaryRef) deep), 0);
  EXPECT_TRUE(CFDictionaryContainsKey((CFDictionaryRef) CFDictionaryGetValue(dict.get(), CFSTR("A")), CFSTR("B")));

  const void* oneKey[] = {CFSTR("S")};
  ASSERT_EQ(CFQDictionaryRemoveValueAtPath(dict.get(), oneKey, 1), noErr);
  EXPECT_EQ(CFQDictionaryRemoveValueAtPath(dict.get(), oneKey, 1), kCFQKeyMissingErr);
  EXPECT_EQ(CFDictionaryGetCount(dict.get()), 2);
}

// Each case runs once through the table form and once through the array form,
// each on a fresh sample; statuses, results and the dictionaries afterwards
// must agree.
TEST(CFQPathArrayTest, ArrayFormsAgreeWithTableForms) {
  const std::vector<std::vector<const void*>> paths = {
      {CFSTR("S")},
      {CFSTR("Nope")},
      {CFSTR("A"), CFSTR("B")},
      {CFSTR("A"), CFSTR("Nope")},
      {CFSTR("S"), CFSTR("B")},
      {CFSTR("Nope"), CFSTR("B")},
      {CFSTR("A"), CFSTR("Deep"), CFSTR("C")},
      {CFSTR("A"), CFSTR("Missing"), CFSTR("C")},
      {CFSTR("M"), CFSTR("X")},
  };
  for (const auto& path : paths) {
    SCOPED_TRACE(testing::Message() << "path of " << path.size() << " keys, first "
                                    << CFStringGetCStringPtr((CFStringRef) path[0], kCFStringEncodingUTF8));
    CFRef<CFArrayRef> pathArray(MakePathArray(path));
    CFIndex count = (CFIndex) path.size();
    std::vector<const void*> table = path;

    CFRef<CFMutableDictionaryRef> byTable(MakeSample());
    CFRef<CFMutableDictionaryRef> byArray(MakeSample());
    const void* tableResult = nullptr;
    const void* arrayResult = nullptr;
    OSStatus tableErr = CFQDictionaryGetValueAtPath(byTable.get(), table.data(), count, &tableResult);
    EXPECT_EQ(CFQDictionaryGetValueAtPathArray(byArray.get(), pathArray.get(), &arrayResult), tableErr);
    if (tableErr == noErr) {
      EXPECT_TRUE(CFEqual(tableResult, arrayResult));
    }

    EXPECT_EQ(CFQDictionarySetValueAtPathArray(byArray.get(), pathArray.get(), CFSTR("set")),
              CFQDictionarySetValueAtPath(byTable.get(), table.data(), count, CFSTR("set")));
    EXPECT_TRUE(CFEqual(byTable.get(), byArray.get()));

    byTable.reset(MakeSample());
    byArray.reset(MakeSample());
    EXPECT_EQ(CFQDictionaryRemoveValueAtPathArray(byArray.get(), pathArray.get()),
              CFQDictionaryRemoveValueAtPath(byTable.get(), table.data(), count));
    EXPECT_TRUE(CFEqual(byTable.get(), byArray.get()));
  }
}

TEST(CFQPathDeathTest, EmptyPathsAndNonEmptyParentsAreRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  const void* path[] = {CFSTR("A"), CFSTR("B")};
  const void* result = nullptr;
  EXPECT_DEATH(CFQDictionaryGetValueAtPath(dict.get(), path, 0, &result), "pathElementCount > 0");
  CFRef<CFArrayRef> noKeys(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
  EXPECT_DEATH(CFQDictionarySetValueAtPathArray(dict.get(), noKeys.get(), CFSTR("v")), "count > 0");
  CFMutableDictionaryRef parent = dict.get();
  EXPECT_DEATH(CFQMutableDictionaryGetParentForPath(dict.get(), path, 2, &parent), "\\*result == NULL");
}

}  // namespace
