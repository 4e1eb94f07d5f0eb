#include "MoreUNIXText.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(MoreUNIXSafeTextTest, EscapesWhatATerminalWouldObey) {
  const struct {
    std::string in, out;
  } kCases[] = {
      {"plain text, caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9", "plain text, caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB9"},
      {"a\tb\nc", "a\tb\nc"},                                       // tab and newline kept
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},                   // OSC: window title
      {"\x1b]52;c;Zm9v\x1b\\", "\\x1b]52;c;Zm9v\\x1b\\"},           // OSC 52: clipboard
      {"\x1b[2J\x1b[8m", "\\x1b[2J\\x1b[8m"},                      // CSI: clear, hidden text
      {"over\rwrite\x7f\0"s, "over\\x0dwrite\\x7f\\x00"},           // CR, DEL, NUL
      {"\xC2\x9B" "2J", "\\u009b2J"},                               // C1 CSI as UTF-8
      {"\xC2\x80\xC2\x9F\xC2\xA0", "\\u0080\\u009f\xC2\xA0"},       // C1's ends; U+00A0 is not C1
      {"\x9b" "2J", "\\x9b2J"},                                     // a raw 0x9b byte
      {"bad \xFF\xFE end", "bad \\xff\\xfe end"},                   // invalid bytes
      {"\xC0\x9B", "\\xc0\\x9b"},                                   // overlong C1 CSI
      {"\xE0\x80\x9B", "\\xe0\\x80\\x9b"},                          // overlong, three bytes
      {"\xED\xA0\x80", "\\xed\\xa0\\x80"},                          // a surrogate
      {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},                 // above U+10FFFF
      {"cut \xE2\x82", "cut \\xe2\\x82"},                           // cut short at the end
      {"back\\slash \\x1b", "back\\slash \\x1b"},                   // already safe: unchanged
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MoreUNIXSafeText(c.in), c.out) << c.out;
    EXPECT_EQ(MoreUNIXSafeText(c.out), c.out) << "twice";
    EXPECT_EQ(MoreUNIXFindInvalidUTF8(c.out), c.out.size()) << c.out;
  }
}

TEST(MoreUNIXDecodeUTF8Test, StrictAboutEveryForm) {
  const struct {
    std::string bytes;
    size_t length;
    uint32_t codePoint;
  } kCases[] = {
      {"A", 1, 'A'},           {"\0"s, 1, 0},          {"\xC3\xA9", 2, 0xE9},
      {"\xEF\xBF\xBF", 3, 0xFFFF}, {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xC1\xBF", 0, 0},      {"\xE0\x9F\xBF", 0, 0}, {"\xF0\x8F\xBF\xBF", 0, 0},  // overlong
      {"\xED\xBF\xBF", 0, 0},  {"\xF5\x80\x80\x80", 0, 0},  {"\x80", 0, 0},  {"\xC3(", 0, 0},
  };
  for (const auto& c : kCases) {
    uint32_t codePoint = 0xDEAD;
    EXPECT_EQ(MoreUNIXDecodeUTF8(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size(), &codePoint),
              c.length);
    if (c.length != 0) EXPECT_EQ(codePoint, c.codePoint);
  }
  EXPECT_EQ(MoreUNIXFindInvalidUTF8("0123456789abcdef\xC3\xA9 ok \xC3"), 22u);
}

TEST(MoreUNIXDecodeUTF8Test, WholeCharacterPrefixDropsOnlyACutSequence) {
  EXPECT_EQ(MoreUNIXWholeCharacterPrefix("ab\xE2\x82\xAC"), 5u);
  EXPECT_EQ(MoreUNIXWholeCharacterPrefix("ab\xE2\x82"), 2u);
  EXPECT_EQ(MoreUNIXWholeCharacterPrefix("ab\xF0\x9F\x8E"), 2u);
  EXPECT_EQ(MoreUNIXWholeCharacterPrefix("ab\xC3"), 2u);
  EXPECT_EQ(MoreUNIXWholeCharacterPrefix("ab\xFF"), 3u);  // not a lead byte: kept, shown later
  EXPECT_EQ(MoreUNIXWholeCharacterPrefix(""), 0u);
}

}  // namespace
