#include "UninstallerStatusFormat.h"

#include "UninstallerFailure.h"
#include "UninstallerOutcome.h"

#include <AppKit/NSBundle.h>

#include <QByteArray>
#include <QLocale>

#include <cstring>

QString UninstallerFormatStatus(const QString& format, OSStatus status) {
  QString out;
  out.reserve(format.size() + 12);
  bool used = false;
  const qsizetype n = format.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = format[i];
    if (c != QLatin1Char('%')) {
      out.append(c);
      i++;
      continue;
    }
    if (i + 1 < n && format[i + 1] == QLatin1Char('%')) {
      out.append(QLatin1Char('%'));
      i += 2;
      continue;
    }
    // %[flags][width][length](d|i)
    qsizetype j = i + 1;
    QByteArray directive("%");
    while (j < n && format[j].unicode() < 128 && format[j].unicode() != 0 &&
           std::strchr("-+ 0#", format[j].toLatin1()) != nullptr) {
      directive.append(format[j].toLatin1());
      j++;
    }
    int widthDigits = 0;
    while (j < n && format[j].isDigit() && format[j].unicode() < 128 && widthDigits < 3) {
      directive.append(format[j].toLatin1());
      j++;
      widthDigits++;
    }
    while (j < n && (format[j] == QLatin1Char('h') || format[j] == QLatin1Char('l')) && j - i < 12) {
      j++;  // the value is formatted as int whatever length was written
    }
    if (!used && j < n && (format[j] == QLatin1Char('d') || format[j] == QLatin1Char('i'))) {
      directive.append('d');
      out.append(QString::asprintf(directive.constData(), static_cast<int>(status)));
      used = true;
      i = j + 1;
      continue;
    }
    out.append(c);  // not the one directive: shown as written
    i++;
  }
  return out;
}

QString UninstallerStatusMeaning(const NSBundle& bundle, OSStatus status) {
  if (const char* key = UninstallerStatusTextKey(status)) {
    return bundle.localizedStringForKey_(QLatin1String(key));
  }
  if (UninstallerStatusIsErrno(status)) {
    return QString::fromLocal8Bit(std::strerror(status)) + QLatin1Char('.');
  }
  return QString();
}

UninstallerFailureText UninstallerDescribeFailure(const NSBundle& bundle, OSStatus status,
                                                  const UninstallerEngineFailure& failure) {
  const UninstallerExplanation what = UninstallerExplain(status, failure);
  auto text = [&bundle](const char* key) { return key != nullptr ? bundle.localizedStringForKey_(QLatin1String(key)) : QString(); };
  UninstallerFailureText out;
  out.title = text(what.titleKey);
  QString cause;
  if (what.causeKey != nullptr) {
    cause = text(what.causeKey);
    if (!what.fileSystem.empty()) {
      cause = cause.arg(QString::fromStdString(what.folder), QString::fromStdString(what.fileSystem));
    }
    if (!what.fileSystem.empty() && what.freeBytes >= 0) {
      cause += QLatin1Char(' ') + text("diskFreeNote").arg(QLocale().formattedDataSize(what.freeBytes));
    }
  } else {
    cause = UninstallerStatusMeaning(bundle, status);
  }
  out.paragraphs = {cause, text(what.stateKey), text(what.adviceKey)};
  out.paragraphs.removeAll(QString());
  return out;
}
