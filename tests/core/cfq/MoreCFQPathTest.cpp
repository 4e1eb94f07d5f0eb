// Reading, setting and removing values by key path.

#include "CFQTestSupport.h"

#include <gtest/gtest.h>

namespace {

using Path = std::vector<const void*>;

// { A: immutable { B: "b", Deep: immutable { C: "c" } }, S: "string", M: mutable { X: "x" } }
CFMutableDictionaryRef MakeSample() {
  CFRef<CFDictionaryRef> deep(MakeDict({{CFSTR("C"), CFSTR("c")}}));
  CFRef<CFDictionaryRef> a(MakeDict({{CFSTR("B"), CFSTR("b")}, {CFSTR("Deep"), deep.get()}}));
  CFRef<CFDictionaryRef> x(MakeDict({{CFSTR("X"), CFSTR("x")}}));
  CFRef<CFMutableDictionaryRef> m(CFDictionaryCreateMutableCopy(nullptr, 0, x.get()));
  CFRef<CFDictionaryRef> outer(MakeDict({{CFSTR("A"), a.get()}, {CFSTR("S"), CFSTR("string")}, {CFSTR("M"), m.get()}}));
  return CFDictionaryCreateMutableCopy(nullptr, 0, outer.get());
}

OSStatus Get(CFDictionaryRef dict, Path path, const void** result) {
  return CFQDictionaryGetValueAtPath(dict, path.data(), (CFIndex) path.size(), result);
}
OSStatus Set(CFMutableDictionaryRef dict, Path path, const void* value) {
  return CFQDictionarySetValueAtPath(dict, path.data(), (CFIndex) path.size(), value);
}
OSStatus Remove(CFMutableDictionaryRef dict, Path path) {
  return CFQDictionaryRemoveValueAtPath(dict, path.data(), (CFIndex) path.size());
}

TEST(CFQPathTest, ReadingFindsValuesAndNamesMissingKeysAndNonDictionaries) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  CFRef<CFMutableDictionaryRef> pristine(MakeSample());
  const void* result = nullptr;
  ASSERT_EQ(Get(dict.get(), {CFSTR("A"), CFSTR("Deep"), CFSTR("C")}, &result), noErr);
  EXPECT_TRUE(CFEqual(result, CFSTR("c")));
  ASSERT_EQ(Get(dict.get(), {CFSTR("S")}, &result), noErr);
  EXPECT_EQ(result, CFDictionaryGetValue(dict.get(), CFSTR("S")));  // borrowed, not copied

  const void* sentinel = &sentinel;
  result = sentinel;
  EXPECT_EQ(Get(dict.get(), {CFSTR("S"), CFSTR("B")}, &result), kCFQBadValueErr);
  EXPECT_EQ(Get(dict.get(), {CFSTR("A"), CFSTR("B"), CFSTR("C")}, &result), kCFQBadValueErr);
  EXPECT_EQ(Get(dict.get(), {CFSTR("Nope"), CFSTR("B")}, &result), kCFQKeyMissingErr);
  EXPECT_EQ(Get(dict.get(), {CFSTR("A"), CFSTR("Nope")}, &result), kCFQKeyMissingErr);
  EXPECT_EQ(result, sentinel);
  EXPECT_TRUE(CFEqual(dict.get(), pristine.get()));
}

TEST(CFQPathTest, SettingCopiesEveryLevelSoOldObjectsStayUnchanged) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  auto oldA = CFRef<CFTypeRef>::Retain(CFDictionaryGetValue(dict.get(), CFSTR("A")));
  auto oldDeep = CFRef<CFTypeRef>::Retain(CFDictionaryGetValue((CFDictionaryRef) oldA.get(), CFSTR("Deep")));
  auto oldM = CFRef<CFTypeRef>::Retain(CFDictionaryGetValue(dict.get(), CFSTR("M")));
  CFRef<CFDictionaryRef> oldASnapshot(CFDictionaryCreateCopy(nullptr, (CFDictionaryRef) oldA.get()));

  ASSERT_EQ(Set(dict.get(), {CFSTR("A"), CFSTR("Deep"), CFSTR("New")}, CFSTR("value")), noErr);
  auto newA = (CFMutableDictionaryRef) CFDictionaryGetValue(dict.get(), CFSTR("A"));
  auto newDeep = (CFMutableDictionaryRef) CFDictionaryGetValue(newA, CFSTR("Deep"));
  EXPECT_NE(newA, oldA.get());
  EXPECT_NE(newDeep, oldDeep.get());
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(newDeep, CFSTR("New")), CFSTR("value")));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(newDeep, CFSTR("C")), CFSTR("c")));
  EXPECT_TRUE(CFEqual(oldA.get(), oldASnapshot.get()));
  EXPECT_EQ(CFDictionaryGetCount((CFDictionaryRef) oldDeep.get()), 1);
  EXPECT_EQ(CFGetRetainCount(newA), 1);  // held by its parent alone
  CFDictionarySetValue(newA, CFSTR("Direct"), CFSTR("ok"));  // mutable: the platform asserts otherwise
  CFDictionarySetValue(newDeep, CFSTR("Direct"), CFSTR("ok"));

  // A level that was mutable already is replaced too.
  ASSERT_EQ(Set(dict.get(), {CFSTR("M"), CFSTR("X")}, CFSTR("changed")), noErr);
  EXPECT_NE(CFDictionaryGetValue(dict.get(), CFSTR("M")), oldM.get());
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue((CFDictionaryRef) oldM.get(), CFSTR("X")), CFSTR("x")));
}

TEST(CFQPathTest, FailuresLeaveLevelsBeforeThemCopiedButUnchanged) {
  CFRef<CFMutableDictionaryRef> dict(MakeSample());
  CFRef<CFMutableDictionaryRef> pristine(MakeSample());
  const void* oldA = CFDictionaryGetValue(dict.get(), CFSTR("A"));

  EXPECT_EQ(Set(dict.get(), {CFSTR("Nope"), CFSTR("B")}, CFSTR("v")), kCFQKeyMissingErr);
  EXPECT_FALSE(CFDictionaryContainsKey(dict.get(), CFSTR("Nope")));  // nothing created
  EXPECT_EQ(CFDictionaryGetValue(dict.get(), CFSTR("A")), oldA);

  EXPECT_EQ(Set(dict.get(), {CFSTR("A"), CFSTR("B"), CFSTR("C")}, CFSTR("v")), kCFQBadValueErr);
  const void* copiedA = CFDictionaryGetValue(dict.get(), CFSTR("A"));
  EXPECT_NE(copiedA, oldA);

  EXPECT_EQ(Remove(dict.get(), {CFSTR("A"), CFSTR("Nope")}), kCFQKeyMissingErr);
  EXPECT_NE(CFDictionaryGetValue(dict.get(), CFSTR("A")), copiedA);
  EXPECT_TRUE(CFEqual(dict.get(), pristine.get()));

  ASSERT_EQ(Remove(dict.get(), {CFSTR("A"), CFSTR("Deep"), CFSTR("C")}), noErr);
  ASSERT_EQ(Remove(dict.get(), {CFSTR("S")}), noErr);
  EXPECT_EQ(Remove(dict.get(), {CFSTR("S")}), kCFQKeyMissingErr);
  CFRef<CFDictionaryRef> emptyDeep(MakeDict({}));
  CFRef<CFDictionaryRef> a(MakeDict({{CFSTR("B"), CFSTR("b")}, {CFSTR("Deep"), emptyDeep.get()}}));
  CFRef<CFDictionaryRef> expected(MakeDict({{CFSTR("A"), a.get()}, {CFSTR("M"), CFDictionaryGetValue(pristine.get(), CFSTR("M"))}}));
  EXPECT_TRUE(CFEqual(dict.get(), expected.get()));
}

// Each path runs through the table forms and the array forms, each on a fresh
// sample; statuses, results and the dictionaries afterwards must agree.
TEST(CFQPathTest, ArrayFormsAgreeWithTableForms) {
  const std::vector<Path> paths = {
      {CFSTR("S")},        {CFSTR("Nope")},      {CFSTR("A"), CFSTR("B")},          {CFSTR("A"), CFSTR("Nope")},
      {CFSTR("S"), CFSTR("B")}, {CFSTR("Nope"), CFSTR("B")}, {CFSTR("A"), CFSTR("Deep"), CFSTR("C")},
      {CFSTR("A"), CFSTR("Missing"), CFSTR("C")}, {CFSTR("M"), CFSTR("X")}};
  for (size_t i = 0; i < paths.size(); i++) {
    SCOPED_TRACE(i);
    CFRef<CFArrayRef> array(MakeArray(paths[i]));
    CFRef<CFMutableDictionaryRef> byTable(MakeSample()), byArray(MakeSample());
    const void* tableResult = nullptr;
    const void* arrayResult = nullptr;
    EXPECT_EQ(CFQDictionaryGetValueAtPathArray(byArray.get(), array.get(), &arrayResult),
              Get(byTable.get(), paths[i], &tableResult));
    EXPECT_EQ(arrayResult, tableResult);  // the leaves are shared constant strings

    EXPECT_EQ(CFQDictionarySetValueAtPathArray(byArray.get(), array.get(), CFSTR("set")),
              Set(byTable.get(), paths[i], CFSTR("set")));
    EXPECT_TRUE(CFEqual(byTable.get(), byArray.get()));
    EXPECT_EQ(CFQDictionaryRemoveValueAtPathArray(byArray.get(), array.get()), Remove(byTable.get(), paths[i]));
    EXPECT_TRUE(CFEqual(byTable.get(), byArray.get()));
  }
}

}  // namespace
