// The text of an error: the title's format from the strings table, filled
// with a status, and what the status means.
#pragma once

#include <MacTypes.h>
#include <UninstallerEngine.h>

#include <QString>
#include <QStringList>

// Formats the error sheet's title: |format| with its one integer directive
// (%d or %i, with optional flags, width and an h, l or ll length) replaced by
// |status|, and %% by %. Anything else that looks like a directive is shown
// as it is, and a second integer directive is left as it is too, so a bad
// translation can garble the title but never read arguments that are not
// there.
QString UninstallerFormatStatus(const QString& format, OSStatus status);

class NSBundle;

// What |status| means, in plain language, from |bundle|'s strings table: the
// status's own sentence, strerror's text for an errno value, else empty.
QString UninstallerStatusMeaning(const NSBundle& bundle, OSStatus status);

// A failed run as its sheet or its terminal line says it: the headline (what
// failed), then a paragraph each for why and where, what state things are in,
// and what to do. No status number: that is for the details and the log.
struct UninstallerFailureText {
  QString title;
  QStringList paragraphs;
};
UninstallerFailureText UninstallerDescribeFailure(const NSBundle& bundle, OSStatus status,
                                                  const UninstallerEngineFailure& failure);
