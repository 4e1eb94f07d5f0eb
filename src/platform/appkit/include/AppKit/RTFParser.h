// The RTF that common word processors write, read into runs of text. It
// keeps paragraphs, line breaks, tabs, bold, italic and underline, and
// decodes \'hh (Windows-1252, or Latin-1 for other code pages), \uN with its
// \ucN fallback count, and the escaped \{ \} \\. Fonts, colours, sizes,
// style sheets, pictures and other destinations are skipped. Nesting deeper
// than kRTFMaxGroupDepth groups is skipped as a whole, so the reader's memory
// and time stay linear in the input. QtCore only: the window reads it into a
// text document (RTFReader.h), the terminal into plain text.
#pragma once

#include <QByteArray>
#include <QString>

inline constexpr int kRTFMaxGroupDepth = 200;

struct RTFTextStyle {
  bool bold = false;
  bool italic = false;
  bool underline = false;
};

// Receives the document in order: runs of text in one style (a line break
// inside a paragraph is U+2028), and the end of each paragraph.
class RTFSink {
 public:
  virtual ~RTFSink();
  virtual void text(const QString& run, RTFTextStyle style) = 0;
  virtual void paragraph() = 0;
};

// Feeds |rtf| to |sink|. Returns false, having fed nothing, when |rtf| does
// not begin with "{\rtf".
bool RTFParse(const QByteArray& rtf, RTFSink& sink);

// The text of |rtf| without formats: each paragraph and line break ends a
// line, and the last paragraph's end is one line end. False, with |text|
// untouched, when |rtf| is not RTF.
bool RTFReadPlainText(const QByteArray& rtf, QString* text);
