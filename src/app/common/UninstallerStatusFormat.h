// The text of an error: the title's format from the strings table, filled
// with a status, and what the status means.
#pragma once

#include <MacTypes.h>

#include <QString>

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
