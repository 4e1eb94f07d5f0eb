// The read-me's RTF (see RTFParser.h for what is kept) read into a
// QTextDocument, with bold, italic and underline as character formats.
#pragma once

#include <AppKit/RTFParser.h>

#include <QByteArray>

class QTextDocument;

// Replaces |document|'s contents with the text of |rtf|. Returns false, and
// leaves |document| untouched, when |rtf| does not begin with "{\rtf".
bool RTFReadDocument(const QByteArray& rtf, QTextDocument* document);
