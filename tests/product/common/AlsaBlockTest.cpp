#include "AlsaBlock.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

const char kBody[] = "rawmidi.quillon {\n\ttype hw\n}\n";

// Appending our block and pruning it again must give back the very bytes.
void ExpectRoundTrip(const std::string& original, bool existed) {
  std::string installed = AppendAlsaBlock(original, existed, kBody);
  ASSERT_TRUE(HasAlsaBlock(installed));
  std::string pruned;
  AlsaPruneResult result;
  ASSERT_TRUE(PruneAlsaBlocks(installed, &pruned, &result)) << installed;
  EXPECT_EQ(result.blocks, 1u);
  EXPECT_EQ(pruned, original);
  EXPECT_EQ(result.removeFile, !existed);
}

}  // namespace

TEST(AlsaBlockTest, RoundTripKeepsEveryOtherByte) {
  ExpectRoundTrip("pcm.!default { type hw card 0 }\n", true);
  ExpectRoundTrip("pcm.!default { type hw card 0 }", true);                 // no final newline
  ExpectRoundTrip("pcm.a {\r\n type hw\r\n}\r\n", true);                     // CRLF
  ExpectRoundTrip("pcm.a {\r\n type hw\r\n}\r", true);                       // ends in a lone CR
  ExpectRoundTrip("", true);                                                // empty but there
  ExpectRoundTrip("", false);                                               // created for us
  ExpectRoundTrip("\n\n# BEGIN other vendor\nctl.x { }\n# END other vendor\n", true);
  ExpectRoundTrip(std::string("binary\0bytes\xff\n", 14), true);
}

TEST(AlsaBlockTest, PrunesBlocksBetweenOtherTextAndLeavesItsLineEndings) {
  std::string text = std::string("a\r\n") + kAlsaBeginMarker + "\r\nx\r\n" + kAlsaEndMarker + "\r\nb\n" +
                     kAlsaBeginMarker + "\ny\n" + kAlsaEndMarker;  // last block at the end, no newline
  std::string pruned;
  AlsaPruneResult result;
  ASSERT_TRUE(PruneAlsaBlocks(text, &pruned, &result));
  EXPECT_EQ(pruned, "a\r\nb\n");
  EXPECT_EQ(result.blocks, 2u);
  EXPECT_FALSE(result.removeFile);
}

TEST(AlsaBlockTest, FileWithoutBlockIsUnchangedAndCreatedFileWithUserTextStays) {
  std::string pruned;
  AlsaPruneResult result;
  // Marker text that is not a whole line is not a marker.
  std::string text = std::string("  ") + kAlsaBeginMarker + "\n#" + kAlsaEndMarker + "\n";
  ASSERT_TRUE(PruneAlsaBlocks(text, &pruned, &result));
  EXPECT_EQ(result.blocks, 0u);
  EXPECT_EQ(pruned, text);
  EXPECT_FALSE(HasAlsaBlock(text));

  std::string created = AppendAlsaBlock("", false, kBody) + "pcm.mine { }\n";
  ASSERT_TRUE(PruneAlsaBlocks(created, &pruned, &result));
  EXPECT_EQ(pruned, "pcm.mine { }\n");
  EXPECT_FALSE(result.removeFile);
}

TEST(AlsaBlockTest, UnbalancedMarkersAreRefusedWithTheirLine) {
  struct Case {
    std::string text;
    size_t line;
  } cases[] = {
      {std::string("a\n") + kAlsaBeginMarker + "\nb\n", 3},                                  // never closed
      {std::string("a\n") + kAlsaEndMarker + "\n", 2},                                       // end alone
      {std::string(kAlsaBeginMarker) + "\n" + kAlsaBeginCreatedMarker + "\n" + kAlsaEndMarker + "\n", 2},
      {std::string(kAlsaBeginMarker) + "\n" + kAlsaEndMarker + "\n" + kAlsaEndMarker + "\n", 3},
  };
  for (const Case& c : cases) {
    std::string pruned = "stale";
    AlsaPruneResult result;
    EXPECT_FALSE(PruneAlsaBlocks(c.text, &pruned, &result)) << c.text;
    EXPECT_EQ(result.badLine, c.line) << c.text;
    EXPECT_TRUE(pruned.empty());
  }
}
