// The XML property-list writer and reader: every type round-trips exactly,
// and bytes that are not a property list give NULL without harm.
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Object = CFRef<CFTypeRef>;

CFRef<CFDataRef> MakeData(const std::string& bytes) {
  return CFRef<CFDataRef>(
      CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size())));
}

Object Parse(const std::string& xml, CFOptionFlags mutability = kCFPropertyListImmutable) {
  CFRef<CFDataRef> data = MakeData(xml);
  CFStringRef error = nullptr;
  Object result(CFPropertyListCreateFromXMLData(nullptr, data.get(), mutability, &error));
  // Exactly one of the two is set.
  EXPECT_EQ(result.get() == nullptr, error != nullptr);
  if (error != nullptr) CFRelease(error);
  return result;
}

// The reader's explanation of why xml is not a property list ("" if it is one).
std::string ErrorOf(const std::string& xml) {
  CFRef<CFDataRef> data = MakeData(xml);
  CFStringRef error = nullptr;
  Object result(CFPropertyListCreateFromXMLData(nullptr, data.get(), kCFPropertyListImmutable, &error));
  if (error == nullptr) return std::string();
  std::string text(CFStringGetCStringPtr(error, kCFStringEncodingUTF8));
  CFRelease(error);
  return text;
}

std::string Write(CFTypeRef plist) {
  CFRef<CFDataRef> data(CFPropertyListCreateXMLData(nullptr, plist));
  if (!data) return std::string();
  return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data.get())),
                     static_cast<size_t>(CFDataGetLength(data.get())));
}

Object RoundTrip(CFTypeRef plist, CFOptionFlags mutability = kCFPropertyListImmutable) {
  const std::string xml = Write(plist);
  EXPECT_FALSE(xml.empty());
  return Parse(xml, mutability);
}

std::string Wrap(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

Object Str(const std::u16string& units) {
  return Object(CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                             static_cast<CFIndex>(units.size())));
}
Object Int(SInt64 v) { return Object(CFNumberCreate(nullptr, kCFNumberSInt64Type, &v)); }
Object Real(double v) { return Object(CFNumberCreate(nullptr, kCFNumberFloat64Type, &v)); }
Object Date(double at) { return Object(CFDateCreate(nullptr, at)); }
Object Bytes(const std::string& b) { return Object(MakeData(b).release()); }

Object Array(std::initializer_list<CFTypeRef> values) {
  std::vector<const void*> v(values.begin(), values.end());
  return Object(CFArrayCreate(nullptr, v.data(), static_cast<CFIndex>(v.size()), &kCFTypeArrayCallBacks));
}

CFRef<CFMutableDictionaryRef> Dict() {
  return CFRef<CFMutableDictionaryRef>(
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

std::u16string UnitsOf(CFTypeRef string) {
  EXPECT_EQ(CFGetTypeID(string), CFStringGetTypeID());
  std::u16string units(static_cast<size_t>(CFStringGetLength(static_cast<CFStringRef>(string))), u'\0');
  CFStringGetCharacters(static_cast<CFStringRef>(string), CFRangeMake(0, static_cast<CFIndex>(units.size())),
                        reinterpret_cast<UniChar*>(units.data()));
  return units;
}

double RealOf(CFTypeRef number) {
  double d = 0;
  EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(number)));
  CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberFloat64Type, &d);
  return d;
}

// ---- Round trips ---------------------------------------------------------------

TEST(PropertyListXMLTest, StringsRoundTripWithEveryCharacter) {
  const std::u16string cases[] = {
      u"",
      u"plain",
      u"   ",                                  // all blank
      u"\n",
      u"<tag> & ]]> \"quoted\" 'apos'",
      u"line\r\nwindows\rmac\n",               // CR must survive newline normalisation
      std::u16string(u"nul\0inside", 10),
      u"\x01\x08\x0B\x0C\x1B[31mred\x1F\x7F\x85",
      u"\t tab",
      u"caf\u00E9 \u4E2D\u6587 \U0001F600 \uFFFD",
      u"\uFFFE\uFFFF",                          // not XML characters, still text
      u"&amp; is not decoded twice",
  };
  for (const std::u16string& units : cases) {
    Object s = Str(units);
    ASSERT_TRUE(s);
    Object back = RoundTrip(s.get());
    ASSERT_TRUE(back) << testing::PrintToString(units) << Write(s.get());
    EXPECT_EQ(UnitsOf(back.get()), units);
  }
}

TEST(PropertyListXMLTest, NumbersRoundTripExactly) {
  for (SInt64 v : {SInt64{0}, SInt64{-1}, SInt64{42}, std::numeric_limits<SInt64>::max(),
                   std::numeric_limits<SInt64>::min()}) {
    Object back = RoundTrip(Int(v).get());
    ASSERT_TRUE(back);
    ASSERT_FALSE(CFNumberIsFloatType(static_cast<CFNumberRef>(back.get())));
    SInt64 got = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(back.get()), kCFNumberSInt64Type, &got);
    EXPECT_EQ(got, v);
  }
  const double reals[] = {0.0, -0.0, 0.1, 1.0 / 3, -2.5, 1e308, std::numeric_limits<double>::max(),
                          std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                          123456789012345678.0, std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
  for (double d : reals) {
    Object back = RoundTrip(Real(d).get());
    ASSERT_TRUE(back);
    const double got = RealOf(back.get());
    EXPECT_EQ(std::memcmp(&got, &d, sizeof d), 0) << d << " came back as " << got;
  }
  Object nan = RoundTrip(Real(std::nan("")).get());
  ASSERT_TRUE(nan);
  EXPECT_TRUE(std::isnan(RealOf(nan.get())));
  // A real with an integral value stays a real.
  EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(RoundTrip(Real(2.0).get()).get())));
}

TEST(PropertyListXMLTest, DatesRoundTripExactlyAndReadAsUTC) {
  const double dates[] = {0.0, -1.0, 1e9, 1e9 + 0.1, -0.5, 0.25, 1e-300, -978307200.0 - 0.001,
                          86399.999999, 2.5e11 /* year 9923 */, 3e11 /* beyond 9999 */,
                          -7e10 /* before year 0 */, 1e14, -1e14,
                          // Just before the reference date the time of day is 23:59:59 and the fraction is
                          // nearly 1, which a double beside that second cannot hold exactly.
                          -0.1, -0.3, -1e-17, -0x1p-54, -std::numeric_limits<double>::denorm_min(),
                          -86400.0 - 1e-9};
  for (double at : dates) {
    Object back = RoundTrip(Date(at).get());
    ASSERT_TRUE(back) << Write(Date(at).get());
    EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(back.get())), at) << Write(Date(at).get());
  }
  EXPECT_NE(Write(Date(0).get()).find("<date>2001-01-01T00:00:00Z</date>"), std::string::npos);
  EXPECT_NE(Write(Date(1e9 + 0.1).get()).find("T01:46:40.1Z"), std::string::npos);
  EXPECT_NE(Write(Date(3e11).get()).find("<date>+11507-"), std::string::npos);
  EXPECT_NE(Write(Date(-0.25).get()).find("<date>2000-12-31T23:59:59.75Z</date>"), std::string::npos);

  const struct {
    const char* text;
    double at;
  } known[] = {
      {"1970-01-01T00:00:00Z", -978307200.0},
      {"2000-02-29T23:59:59Z", -306.0 * 86400 - 1},  // March to December 2000 is 306 days
      {" 2001-01-01T00:00:01.5Z ", 1.5},
      {"-0001-12-31T00:00:00Z", -978307200.0 - 719529.0 * 86400},  // 0000-01-01 is day -719528
  };
  for (const auto& k : known) {
    Object d = Parse(Wrap(std::string("<date>") + k.text + "</date>"));
    ASSERT_TRUE(d) << k.text;
    EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(d.get())), k.at) << k.text;
  }
}

TEST(PropertyListXMLTest, DataRoundTripsAtEveryLength) {
  std::mt19937 random(7);
  for (size_t length : {0, 1, 2, 3, 56, 57, 58, 100, 4096}) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    Object back = RoundTrip(Bytes(bytes).get());
    ASSERT_TRUE(back) << length;
    ASSERT_EQ(CFGetTypeID(back.get()), CFDataGetTypeID());
    CFDataRef data = static_cast<CFDataRef>(back.get());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                          static_cast<size_t>(CFDataGetLength(data))),
              bytes);
  }
}

TEST(PropertyListXMLTest, NestedContainersRoundTripInKeyOrder) {
  auto inner = Dict();
  CFDictionarySetValue(inner.get(), Str(u"zeta").get(), kCFBooleanTrue);
  CFDictionarySetValue(inner.get(), Str(u"alpha").get(), kCFBooleanFalse);
  CFDictionarySetValue(inner.get(), Str(u"mid").get(), Array({}).get());
  auto emptyDict = Dict();
  auto root = Dict();
  CFDictionarySetValue(root.get(), Str(u"b").get(), inner.get());
  CFDictionarySetValue(root.get(), Str(u"a").get(),
                       Array({Int(1).get(), Array({Str(u"deep").get(), emptyDict.get()}).get(), Real(0.5).get(),
                              Date(12.0).get(), Bytes("xyz").get()})
                           .get());
  CFDictionarySetValue(root.get(), Str(u"").get(), Str(u"empty key").get());

  Object back = RoundTrip(root.get());
  ASSERT_TRUE(back);
  EXPECT_TRUE(CFEqual(back.get(), root.get()));

  const void* keys[3];
  CFDictionaryGetKeysAndValues(static_cast<CFDictionaryRef>(back.get()), keys, nullptr);
  EXPECT_EQ(UnitsOf(keys[0]), u"b");
  EXPECT_EQ(UnitsOf(keys[1]), u"a");
  EXPECT_EQ(UnitsOf(keys[2]), u"");
  const void* innerKeys[3];
  CFDictionaryGetKeysAndValues(
      static_cast<CFDictionaryRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(back.get()), keys[0])),
      innerKeys, nullptr);
  EXPECT_EQ(UnitsOf(innerKeys[0]), u"zeta");
  EXPECT_EQ(UnitsOf(innerKeys[1]), u"alpha");
  EXPECT_EQ(UnitsOf(innerKeys[2]), u"mid");
}

TEST(PropertyListXMLTest, WritesThePublishedLayout) {
  auto root = Dict();
  CFDictionarySetValue(root.get(), Str(u"Name").get(), Str(u"a<b").get());
  CFDictionarySetValue(root.get(), Str(u"List").get(), Array({Int(-3).get(), kCFBooleanTrue}).get());
  CFDictionarySetValue(root.get(), Str(u"None").get(), Array({}).get());
  EXPECT_EQ(Write(root.get()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>Name</key>\n"
            "\t<string>a&lt;b</string>\n"
            "\t<key>List</key>\n"
            "\t<array>\n"
            "\t\t<integer>-3</integer>\n"
            "\t\t<true/>\n"
            "\t</array>\n"
            "\t<key>None</key>\n"
            "\t<array/>\n"
            "</dict>\n"
            "</plist>\n");
}

// ---- What cannot be written -----------------------------------------------------

Object Nested(int depth) {
  Object value(CFRetain(kCFBooleanTrue));
  for (int i = 0; i < depth; ++i) value = Array({value.get()});
  return value;
}

TEST(PropertyListXMLTest, WriterRefusesWhatIsNotAPropertyList) {
  Object url(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp"), kCFURLPOSIXPathStyle, true));
  auto badKey = Dict();
  CFDictionarySetValue(badKey.get(), Int(1).get(), kCFBooleanTrue);
  const UniChar lone[] = {'a', 0xD800, 'b'};
  Object loneSurrogate(CFStringCreateWithCharacters(nullptr, lone, 3));
  CFRef<CFMutableArrayRef> cycle(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
  CFArrayAppendValue(cycle.get(), cycle.get());

  const Object refused[] = {url, Array({url.get()}), Object::Retain(badKey.get()), loneSurrogate,
                            Nested(kCFPropertyListMaxDepth + 1), Object::Retain(cycle.get()),
                            Date(std::nan("")), Date(INFINITY), Date(1e15)};
  for (const Object& plist : refused) {
    CFRef<CFDataRef> data(CFPropertyListCreateXMLData(nullptr, plist.get()));
    EXPECT_FALSE(data);
    EXPECT_FALSE(CFPropertyListIsValid(plist.get(), kCFPropertyListXMLFormat_v1_0));
  }
  CFArrayRemoveAllValues(cycle.get());  // break the cycle so it can be freed

  Object deepest = Nested(kCFPropertyListMaxDepth);
  EXPECT_TRUE(CFPropertyListIsValid(deepest.get(), kCFPropertyListXMLFormat_v1_0));
  Object back = RoundTrip(deepest.get());
  ASSERT_TRUE(back);
  EXPECT_TRUE(CFEqual(back.get(), deepest.get()));
}

// ---- Mutability --------------------------------------------------------------------

TEST(PropertyListXMLTest, MutabilityOptionIsHonoured) {
  const std::string xml =
      Wrap("<dict><key>a</key><array><string>s</string><data>AAE=</data><string>s</string></array></dict>");
  Object containers = Parse(xml, kCFPropertyListMutableContainers);
  ASSERT_TRUE(containers);
  auto dict = (CFMutableDictionaryRef)containers.get();
  auto array = (CFMutableArrayRef)CFDictionaryGetValue(dict, CFSTR("a"));
  CFArrayAppendValue(array, kCFBooleanTrue);
  CFDictionarySetValue(dict, CFSTR("b"), kCFBooleanFalse);
  EXPECT_EQ(CFArrayGetCount(array), 4);
  EXPECT_EQ(CFDictionaryGetCount(dict), 2);

  Object leaves = Parse(xml, kCFPropertyListMutableContainersAndLeaves);
  ASSERT_TRUE(leaves);
  array = (CFMutableArrayRef)CFDictionaryGetValue((CFDictionaryRef)leaves.get(), CFSTR("a"));
  auto string = (CFMutableStringRef)CFArrayGetValueAtIndex(array, 0);
  CFStringAppend(string, CFSTR("!"));
  EXPECT_EQ(UnitsOf(string), u"s!");
  EXPECT_EQ(UnitsOf(CFArrayGetValueAtIndex(array, 2)), u"s");  // equal texts are still separate leaves
  auto data = (CFMutableDataRef)CFArrayGetValueAtIndex(array, 1);
  const UInt8 more = 2;
  CFDataAppendBytes(data, &more, 1);
  EXPECT_EQ(CFDataGetLength(data), 3);
  EXPECT_EQ(CFDataGetBytePtr(data)[2], 2);
}

TEST(PropertyListXMLDeathTest, ImmutableResultRefusesChange) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Object immutable = Parse(Wrap("<array><true/></array>"));
  ASSERT_TRUE(immutable);
  EXPECT_DEATH(CFArrayAppendValue((CFMutableArrayRef)immutable.get(), kCFBooleanTrue), "");
}

// ---- What the reader accepts --------------------------------------------------------

TEST(PropertyListXMLTest, ReaderAcceptsOrdinaryXMLVariations) {
  // A byte-order mark, a DOCTYPE, comments, CDATA, references, spacing and
  // line-broken base64 with or without padding.
  const std::string xml =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"x.dtd\">\n"
      "<!-- a comment -->\n"
      "<plist version=\"1.0\">\r\n<dict>\r\n"
      "  <key>s</key> <string>a<![CDATA[<b>&amp;]]>c<!-- skip -->d&#x1F600;&#233;&lt;&quot;&apos;</string>\n"
      "  <key>i</key><integer> +17 </integer>\n"
      "  <key>r</key><real>-1.5e3</real>\n"
      "  <key>d</key><data>\n\tAAEC\n\tAw\n</data>\n"
      "  <key>e</key><string/>\n"
      "  <key>t</key><true></true>\n"
      "  <key>cdata-blanks</key><string> <![CDATA[x]]> </string>\n"
      "  <key>comment-blanks</key><string> <!-- c --> </string>\n"
      "  <key> k\t</key><string>\t<?pi?>\n</string>\n"
      "</dict></plist>\n<!-- trailing comment -->\n";
  Object plist = Parse(xml);
  ASSERT_TRUE(plist);
  auto dict = static_cast<CFDictionaryRef>(plist.get());
  EXPECT_EQ(UnitsOf(CFDictionaryGetValue(dict, CFSTR("s"))), u"a<b>&amp;cd\U0001F600\u00E9<\"'");
  SInt64 i = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("i"))), kCFNumberSInt64Type, &i);
  EXPECT_EQ(i, 17);
  EXPECT_EQ(RealOf(CFDictionaryGetValue(dict, CFSTR("r"))), -1500.0);
  auto data = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("d")));
  ASSERT_EQ(CFDataGetLength(data), 4);
  EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), "\0\1\2\3", 4), 0);
  EXPECT_EQ(UnitsOf(CFDictionaryGetValue(dict, CFSTR("e"))), u"");
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("t")), kCFBooleanTrue);
  // Blanks beside a CDATA section, comment or processing instruction are text too.
  EXPECT_EQ(UnitsOf(CFDictionaryGetValue(dict, CFSTR("cdata-blanks"))), u" x ");
  EXPECT_EQ(UnitsOf(CFDictionaryGetValue(dict, CFSTR("comment-blanks"))), u"  ");
  EXPECT_EQ(UnitsOf(CFDictionaryGetValue(dict, CFSTR(" k\t"))), u"\t\n");
}

// ---- Hostile input ---------------------------------------------------------------------

TEST(PropertyListXMLTest, RefusesDeepNestingWithoutRecursing) {
  // 100,000 levels inside 1 MiB (unclosed: the closing tags would not fit),
  // then 60,000 well-formed levels, which only the depth limit refuses; both
  // far beyond what a recursive walk survives.
  std::string open;
  for (int i = 0; i < 100000; ++i) open += "<array>";
  ASSERT_LT(Wrap(open).size(), 1u << 20);
  EXPECT_FALSE(Parse(Wrap(open)));
  std::string deep;
  for (int i = 0; i < 60000; ++i) deep += "<array>";
  for (int i = 0; i < 60000; ++i) deep += "</array>";
  ASSERT_LT(Wrap(deep).size(), 1u << 20);
  EXPECT_NE(ErrorOf(Wrap(deep)).find("nesting"), std::string::npos);
  std::string dicts;
  for (int i = 0; i < 30000; ++i) dicts += "<dict><key>k</key>";
  for (int i = 0; i < 30000; ++i) dicts += "</dict>";
  EXPECT_NE(ErrorOf(Wrap(dicts)).find("nesting"), std::string::npos);

  auto nested = [](int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<array>";
    s += "<true/>";
    for (int i = 0; i < depth; ++i) s += "</array>";
    return Wrap(s);
  };
  EXPECT_TRUE(Parse(nested(kCFPropertyListMaxDepth)));
  EXPECT_FALSE(Parse(nested(kCFPropertyListMaxDepth + 1)));
}

TEST(PropertyListXMLTest, RefusesMalformedDocuments) {
  const std::string refused[] = {
      "",
      " ",
      Wrap("<dict>"),                                        // unterminated
      "<plist><dict><key>a</key><string>b</string></dict>",  // unclosed root
      Wrap("<string>a</strin>"),
      "<dict></dict>",                                       // wrong root
      Wrap(""),                                              // nothing inside
      Wrap("<true/><false/>"),                               // two values
      Wrap("<true/>") + "garbage",                           // trailing garbage
      Wrap("<true/>") + "<plist><true/></plist>",
      "junk" + Wrap("<true/>"),
      Wrap("<foo/>"),
      Wrap("<key>k</key>"),
      Wrap("<array>text<true/></array>"),
      Wrap("<dict><string>no key</string></dict>"),
      Wrap("<dict><key>a</key></dict>"),                     // key without value
      Wrap("<dict><key>a</key><true/><key>a</key><false/></dict>"),  // duplicate key
      Wrap("<string>a<b/>c</string>"),
      Wrap("<true>x</true>"),
      Wrap("<string>&bogus;</string>"),
      Wrap("<string>&#xD800;</string>"),
      Wrap("<string>&#x110000;</string>"),
      Wrap("<string>&#99999999999999999999;</string>"),
      Wrap("<string>&amp</string>"),
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><string>x</string></plist>",
  };
  for (const std::string& xml : refused) {
    EXPECT_FALSE(Parse(xml)) << xml;
  }
  CFStringRef error = nullptr;
  EXPECT_EQ(CFPropertyListCreateFromXMLData(nullptr, nullptr, kCFPropertyListImmutable, &error), nullptr);
  ASSERT_NE(error, nullptr);
  CFRelease(error);
}

TEST(PropertyListXMLTest, RefusesInvalidUTF8AnywhereInTheBody) {
  const std::string bad[] = {
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong
      "\xED\xA0\x80",      // encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",
      "\x80",              // stray continuation
      "\xE2\x82",          // truncated
      "\xFF",
      std::string("a\0b", 3),  // NUL is never XML
  };
  for (const std::string& b : bad) {
    EXPECT_FALSE(Parse(Wrap("<string>" + b + "</string>"))) << testing::PrintToString(b);
    EXPECT_FALSE(Parse(Wrap("<dict><key>" + b + "</key><true/></dict>")));
    EXPECT_FALSE(Parse(Wrap("<true/>") + "<!--" + b + "-->"));
  }
  EXPECT_TRUE(Parse(Wrap("<string>\xF4\x8F\xBF\xBF \xEF\xBF\xBD</string>")));
}

TEST(PropertyListXMLTest, NeverExpandsDeclaredEntities) {
  const std::string doctype =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE plist [\n"
      "  <!ENTITY boom \"expanded\">\n"
      "  <!ENTITY file SYSTEM \"file:///etc/passwd\">\n"
      "  <!ENTITY % param \"<!ENTITY lol 'x'>\"> %param;\n"
      "  <!ENTITY a \"&boom;&boom;&boom;&boom;&boom;&boom;&boom;&boom;\">\n"
      "]>\n";
  for (const char* ref : {"&boom;", "&file;", "&lol;", "&a;", "&param;"}) {
    EXPECT_FALSE(Parse(doctype + "<plist><string>" + ref + "</string></plist>")) << ref;
  }
  // The DOCTYPE itself is skipped, not refused.
  Object plain = Parse(doctype + "<plist><string>&#38;boom;</string></plist>");
  ASSERT_TRUE(plain);
  EXPECT_EQ(UnitsOf(plain.get()), u"&boom;");
}

TEST(PropertyListXMLTest, RefusesValuesOutOfRangeOrMalformed) {
  const char* refused[] = {
      "<integer>9223372036854775808</integer>",
      "<integer>-9223372036854775809</integer>",
      "<integer>123456789012345678901234567890</integer>",
      "<integer></integer>",
      "<integer>1.0</integer>",
      "<integer>0x10</integer>",
      "<integer>+-1</integer>",
      "<real>1e400</real>",
      "<real></real>",
      "<real>1.5x</real>",
      "<data>AAA*</data>",
      "<data>A===</data>",
      "<data>A</data>",
      "<data>AA=A</data>",
      "<data>AAAA=</data>",
      "<data>AA==AA==</data>",
      "<data>&#65;&#65;&#63;&#63;!</data>",
      "<date>2001-02-29T00:00:00Z</date>",
      "<date>2000-01-01T24:00:00Z</date>",
      "<date>2000-01-01T00:00:60Z</date>",
      "<date>2000-01-01T00:00:00</date>",
      "<date>2000-01-01</date>",
      "<date>12000-01-01T00:00:00Z</date>",
      "<date>+999999999-01-01T00:00:00Z</date>",
      "<date>2000-01-01T00:00:00.Z</date>",
      "<date>2000-01-01T00:00:00Zjunk</date>",
  };
  for (const char* value : refused) {
    EXPECT_FALSE(Parse(Wrap(value))) << value;
  }
  for (const char* value : {"<integer>-9223372036854775808</integer>", "<real>inf</real>", "<real>-infinity</real>",
                            "<real>NaN</real>", "<data>AA==</data>", "<data>AA</data>", "<data></data>",
                            "<date>+12000-01-01T00:00:00Z</date>"}) {
    EXPECT_TRUE(Parse(Wrap(value))) << value;
  }
}

}  // namespace
