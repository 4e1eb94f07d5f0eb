// The RTF reader: what common writers produce, and input that tries to hurt.
#include <AppKit/RTFReader.h>

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <string>

namespace {

QString Read(const QByteArray& rtf) {
  QTextDocument document;
  EXPECT_TRUE(RTFReadDocument(rtf, &document));
  return document.toRawText();
}

// The text of every run with its format, as "b", "i", "u" flags.
std::string Runs(const QByteArray& rtf) {
  QTextDocument document;
  EXPECT_TRUE(RTFReadDocument(rtf, &document));
  std::string out;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const QTextCharFormat format = fragment.charFormat();
      out += "[";
      if (format.fontWeight() == QFont::Bold) out += "b";
      if (format.fontItalic()) out += "i";
      if (format.fontUnderline()) out += "u";
      out += ":" + fragment.text().toStdString() + "]";
    }
    out += "|";
  }
  return out;
}

TEST(RTFReaderTest, KeepsBoldItalicUnderlineAcrossGroupsAndParagraphs) {
  EXPECT_EQ(Runs("{\\rtf1\\ansi plain \\b bold {\\i both} \\b0 \\ul under\\ulnone\\par next\\par}"),
            "[:plain ][b:bold ][bi:both][b: ][u:under]|[:next]|");
  EXPECT_EQ(Runs("{\\rtf1 \\b\\i\\ul x\\plain  y}"), "[biu:x][: y]|");
}

TEST(RTFReaderTest, DecodesEscapesCodePageAndUnicodeWithItsFallback) {
  EXPECT_EQ(Read("{\\rtf1 \\{a\\} \\\\ caf\\'e9 \\'80}"), QString::fromUtf8("{a} \\ café €"));
  EXPECT_EQ(Read("{\\rtf1 \\u8482?x}"), QString::fromUtf8("™x"));
  EXPECT_EQ(Read("{\\rtf1 \\uc2\\u8364\\'80\\'80y}"), QString::fromUtf8("€y"));
  EXPECT_EQ(Read("{\\rtf1 \\uc0\\u233 z}"), QString::fromUtf8("éz"));
  EXPECT_EQ(Read("{\\rtf1 \\u-10179?\\u-8704?}"), QString::fromUtf8("😀"));
  // The fallback count belongs to its group.
  EXPECT_EQ(Read("{\\rtf1 {\\uc3 a}\\u233?b}"), QString::fromUtf8("aéb"));
  EXPECT_EQ(Read("{\\rtf1 a\\tab b\\line c\\~d\\emdash}"),
            QString::fromUtf8("a\tb\u2028c\u00a0d—"));
}

TEST(RTFReaderTest, SkipsTablesInfoPicturesAndIgnorableDestinations) {
  EXPECT_EQ(Read("{\\rtf1\\ansi{\\fonttbl{\\f0 Helvetica;}}{\\colortbl;\\red0;}{\\info{\\title T}}"
                 "{\\*\\generator Writer;}{\\*\\unknown stuff}{\\pict 0123}shown}"),
            "shown");
  // A destination name in the middle of a group is just a word.
  EXPECT_EQ(Read("{\\rtf1 {x\\info y}}"), "xy");
}

TEST(RTFReaderTest, RefusesWhatIsNotRTFAndSurvivesHostileInput) {
  QTextDocument document;
  document.setPlainText(QStringLiteral("kept"));
  EXPECT_FALSE(RTFReadDocument("hello", &document));
  EXPECT_FALSE(RTFReadDocument("", &document));
  EXPECT_EQ(document.toPlainText(), "kept");

  // Very deep nesting is skipped as a whole, without recursion.
  QByteArray deep = "{\\rtf1 a";
  deep += QByteArray(200000, '{') + "hidden" + QByteArray(200000, '}') + " c}";
  EXPECT_EQ(Read(deep), "a c");

  // Truncated input, stray braces, overlong words and parameters.
  EXPECT_EQ(Read("{\\rtf1 abc\\"), "abc");
  EXPECT_EQ(Read("{\\rtf1 abc\\'4"), "abc");
  EXPECT_EQ(Read("{\\rtf1 a}}}} after"), "a");
  EXPECT_EQ(Read("{\\rtf1 \\u99999999999999999999? ok}"), QString::fromUtf8("\ufffd ok"));
  EXPECT_FALSE(Read("{\\rtf1 \\" + QByteArray(5000, 'x') + " y}").isEmpty());
}

// The terminal reads the same parser into plain text: paragraphs and line
// breaks end lines, the last paragraph's end is one line end, formats go.
TEST(RTFReaderTest, PlainTextKeepsLinesAndDropsFormats) {
  QString text;
  ASSERT_TRUE(RTFReadPlainText("{\\rtf1{\\fonttbl{\\f0 Helvetica;}}{\\b Title}\\par one\\line two\\tab x\\par\\par}", &text));
  EXPECT_EQ(text, QStringLiteral("Title\none\ntwo\tx\n"));
  EXPECT_FALSE(RTFReadPlainText("not rtf", &text));
  EXPECT_EQ(text, QStringLiteral("Title\none\ntwo\tx\n"));
}

}  // namespace
