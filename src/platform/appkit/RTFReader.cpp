#include <AppKit/RTFReader.h>

#include <AppKit/RTFParser.h>

#include <QFont>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// Runs go in with their format, paragraphs as blocks.
class DocumentSink : public RTFSink {
 public:
  explicit DocumentSink(QTextDocument* document) : fCursor(document) {}
  void text(const QString& run, RTFTextStyle style) override {
    QTextCharFormat format;
    format.setFontWeight(style.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(style.italic);
    format.setFontUnderline(style.underline);
    fCursor.insertText(run, format);
  }
  void paragraph() override { fCursor.insertBlock(); }

 private:
  QTextCursor fCursor;
};

}  // namespace

bool RTFReadDocument(const QByteArray& rtf, QTextDocument* document) {
  if (document == nullptr || !rtf.startsWith("{\\rtf")) {
    return false;
  }
  document->clear();
  DocumentSink sink(document);
  (void) RTFParse(rtf, sink);
  // Most writers end the last paragraph with \par; do not show an empty
  // paragraph for it.
  QTextBlock last = document->lastBlock();
  if (last.length() <= 1 && last.previous().isValid()) {
    QTextCursor tail(last);
    tail.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    tail.removeSelectedText();
  }
  return true;
}
