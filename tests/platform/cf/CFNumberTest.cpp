// Numbers report lossy conversions; data keeps or borrows its bytes; dates.
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

CFNumberRef MakeInt(long long v) { return CFNumberCreate(nullptr, kCFNumberLongLongType, &v); }
CFNumberRef MakeReal(double v) { return CFNumberCreate(nullptr, kCFNumberDoubleType, &v); }

TEST(CFNumberTest, KindIsIntegerOrReal) {
  short s = -3;
  float f = 1.5f;
  CFRef<CFNumberRef> a(CFNumberCreate(nullptr, kCFNumberShortType, &s));
  CFRef<CFNumberRef> b(CFNumberCreate(nullptr, kCFNumberFloatType, &f));
  EXPECT_EQ(CFNumberGetType(a.get()), kCFNumberSInt64Type);
  EXPECT_FALSE(CFNumberIsFloatType(a.get()));
  EXPECT_EQ(CFNumberGetType(b.get()), kCFNumberFloat64Type);
  EXPECT_TRUE(CFNumberIsFloatType(b.get()));
  int bogus = 0;
  EXPECT_EQ(CFNumberCreate(nullptr, static_cast<CFNumberType>(99), &bogus), nullptr);
}

TEST(CFNumberTest, IntegerNarrowingReportsOutOfRange) {
  CFRef<CFNumberRef> big(MakeInt(300));
  SInt8 i8 = 0;
  EXPECT_FALSE(CFNumberGetValue(big.get(), kCFNumberSInt8Type, &i8));
  EXPECT_EQ(i8, 127);  // clamped
  SInt16 i16 = 0;
  EXPECT_TRUE(CFNumberGetValue(big.get(), kCFNumberSInt16Type, &i16));
  EXPECT_EQ(i16, 300);

  CFRef<CFNumberRef> huge(MakeInt(LLONG_MIN));
  int i = 0;
  EXPECT_FALSE(CFNumberGetValue(huge.get(), kCFNumberIntType, &i));
  EXPECT_EQ(i, INT_MIN);
  long long ll = 0;
  EXPECT_TRUE(CFNumberGetValue(huge.get(), kCFNumberLongLongType, &ll));
  EXPECT_EQ(ll, LLONG_MIN);

  // An integer a double cannot hold exactly is lossy as a real.
  CFRef<CFNumberRef> odd(MakeInt((1LL << 53) + 1));
  double d = 0;
  EXPECT_FALSE(CFNumberGetValue(odd.get(), kCFNumberDoubleType, &d));
  CFRef<CFNumberRef> even(MakeInt(1LL << 53));
  EXPECT_TRUE(CFNumberGetValue(even.get(), kCFNumberDoubleType, &d));
  EXPECT_EQ(d, 9007199254740992.0);
  float f = 0;
  CFRef<CFNumberRef> seven(MakeInt(16777217));  // 2^24 + 1: not a float
  EXPECT_FALSE(CFNumberGetValue(seven.get(), kCFNumberFloatType, &f));
  CFRef<CFNumberRef> max(MakeInt(LLONG_MAX));
  EXPECT_FALSE(CFNumberGetValue(max.get(), kCFNumberDoubleType, &d));
}

TEST(CFNumberTest, RealToIntegerReportsADroppedFractionOrOverflow) {
  CFRef<CFNumberRef> fraction(MakeReal(2.75));
  int i = 0;
  EXPECT_FALSE(CFNumberGetValue(fraction.get(), kCFNumberIntType, &i));
  EXPECT_EQ(i, 2);
  CFRef<CFNumberRef> whole(MakeReal(-12.0));
  EXPECT_TRUE(CFNumberGetValue(whole.get(), kCFNumberIntType, &i));
  EXPECT_EQ(i, -12);
  CFRef<CFNumberRef> tooBig(MakeReal(1e30));
  long long ll = 0;
  EXPECT_FALSE(CFNumberGetValue(tooBig.get(), kCFNumberLongLongType, &ll));
  EXPECT_EQ(ll, LLONG_MAX);
  CFRef<CFNumberRef> edge(MakeReal(9223372036854775808.0));  // 2^63, one past LLONG_MAX
  EXPECT_FALSE(CFNumberGetValue(edge.get(), kCFNumberLongLongType, &ll));
  CFRef<CFNumberRef> nan(MakeReal(NAN));
  EXPECT_FALSE(CFNumberGetValue(nan.get(), kCFNumberIntType, &i));
  EXPECT_EQ(i, 0);

  float f = 0;
  CFRef<CFNumberRef> third(MakeReal(1.0 / 3.0));
  EXPECT_FALSE(CFNumberGetValue(third.get(), kCFNumberFloat32Type, &f));
  CFRef<CFNumberRef> half(MakeReal(0.5));
  EXPECT_TRUE(CFNumberGetValue(half.get(), kCFNumberFloat32Type, &f));
  EXPECT_EQ(f, 0.5f);
  CFRef<CFNumberRef> beyondFloat(MakeReal(1e300));
  EXPECT_FALSE(CFNumberGetValue(beyondFloat.get(), kCFNumberFloatType, &f));
  EXPECT_EQ(f, FLT_MAX);
  double d = 0;
  EXPECT_TRUE(CFNumberGetValue(third.get(), kCFNumberFloat64Type, &d));
  EXPECT_EQ(d, 1.0 / 3.0);
}

TEST(CFNumberTest, CompareOrdersMixedKindsExactly) {
  CFRef<CFNumberRef> two(MakeInt(2)), twoAndAHalf(MakeReal(2.5)), minusHalf(MakeReal(-0.5)), zero(MakeInt(0));
  EXPECT_EQ(CFNumberCompare(two.get(), twoAndAHalf.get(), nullptr), kCFCompareLessThan);
  EXPECT_EQ(CFNumberCompare(twoAndAHalf.get(), two.get(), nullptr), kCFCompareGreaterThan);
  EXPECT_EQ(CFNumberCompare(zero.get(), minusHalf.get(), nullptr), kCFCompareGreaterThan);
  CFRef<CFNumberRef> maxInt(MakeInt(LLONG_MAX)), twoTo63(MakeReal(9223372036854775808.0));
  EXPECT_EQ(CFNumberCompare(maxInt.get(), twoTo63.get(), nullptr), kCFCompareLessThan);
}

TEST(CFDataTest, CopiesOrBorrowsBytes) {
  UInt8 bytes[] = {1, 2, 3};
  CFRef<CFDataRef> copy(CFDataCreate(nullptr, bytes, 3));
  CFRef<CFDataRef> borrowed(CFDataCreateWithBytesNoCopy(nullptr, bytes, 3, kCFAllocatorNull));
  EXPECT_NE(CFDataGetBytePtr(copy.get()), bytes);
  EXPECT_EQ(CFDataGetBytePtr(borrowed.get()), bytes);
  EXPECT_TRUE(CFEqual(copy.get(), borrowed.get()));
  bytes[0] = 9;
  EXPECT_FALSE(CFEqual(copy.get(), borrowed.get()));
  borrowed.reset();  // must not free the stack array
  EXPECT_EQ(bytes[0], 9);

  // With another deallocator the bytes become the object's, freed with it
  // (a leak or a double free would show under the address sanitizer).
  UInt8* owned = static_cast<UInt8*>(malloc(4));
  memcpy(owned, "abcd", 4);
  CFRef<CFDataRef> adopted(CFDataCreateWithBytesNoCopy(nullptr, owned, 4, kCFAllocatorDefault));
  EXPECT_EQ(CFDataGetLength(adopted.get()), 4);
}

TEST(CFDataTest, MutableDataGrowsAndAppendsItself) {
  CFRef<CFMutableDataRef> d(CFDataCreateMutable(nullptr, 0));
  CFDataAppendBytes(d.get(), reinterpret_cast<const UInt8*>("xy"), 2);
  for (int i = 0; i < 12; ++i) CFDataAppendBytes(d.get(), CFDataGetBytePtr(d.get()), CFDataGetLength(d.get()));
  ASSERT_EQ(CFDataGetLength(d.get()), 2 << 12);
  EXPECT_EQ(CFDataGetBytePtr(d.get())[8191], 'y');
  CFDataSetLength(d.get(), 8200);
  EXPECT_EQ(CFDataGetBytePtr(d.get())[8199], 0);
  UInt8 part[2];
  CFDataGetBytes(d.get(), CFRangeMake(8190, 2), part);
  EXPECT_EQ(part[0], 'x');
  EXPECT_EQ(part[1], 'y');
}

TEST(CFDateTest, KeepsTheAbsoluteTime) {
  CFRef<CFDateRef> a(CFDateCreate(nullptr, 12.5)), b(CFDateCreate(nullptr, 12.5)), c(CFDateCreate(nullptr, 13));
  EXPECT_EQ(CFDateGetAbsoluteTime(a.get()), 12.5);
  EXPECT_TRUE(CFEqual(a.get(), b.get()));
  EXPECT_EQ(CFHash(a.get()), CFHash(b.get()));
  EXPECT_FALSE(CFEqual(a.get(), c.get()));
  // Now is after 2020 and before 2100 on any sane clock.
  EXPECT_GT(CFAbsoluteTimeGetCurrent(), 19.0 * 365 * 86400);
  EXPECT_LT(CFAbsoluteTimeGetCurrent(), 99.0 * 365 * 86400);
}

}  // namespace
