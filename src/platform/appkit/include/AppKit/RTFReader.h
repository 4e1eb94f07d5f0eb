// A small reader for the RTF that common word processors write, into a
// QTextDocument. It keeps paragraphs, line breaks, tabs, bold, italic and
// underline, and decodes \'hh (Windows-1252, or Latin-1 for other code
// pages), \uN with its \ucN fallback count, and the escaped \{ \} \\. Fonts,
// colours, sizes, style sheets, pictures and other destinations are skipped.
// Nesting deeper than kRTFMaxGroupDepth groups is skipped as a whole, so the
// reader's memory and time stay linear in the input.
#pragma once

#include <QByteArray>

class QTextDocument;

inline constexpr int kRTFMaxGroupDepth = 200;

// Replaces |document|'s contents with the text of |rtf|. Returns false, and
// leaves |document| untouched, when |rtf| does not begin with "{\rtf".
bool RTFReadDocument(const QByteArray& rtf, QTextDocument* document);
