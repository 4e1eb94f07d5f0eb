// Bundles: a folder that holds an executable, its auxiliary executables, and
// a Resources folder with everything else (interface definitions,
// translations, read-me, scripts).
//
// The strings tables are Qt translation files in Resources, one per language:
// "Localizable_<language>.qm". A table name is a translation context; the
// default table is "Localizable". The text keys are the source texts, so a
// key that a table lacks shows as the key itself.
#pragma once

#include <QLocale>
#include <QString>

#include <memory>

class QTranslator;

class NSBundle {
 public:
  // A bundle rooted at |bundlePath|, whose texts are in the language of
  // |locale| when the bundle has it, and in English otherwise.
  explicit NSBundle(const QString& bundlePath, const QLocale& locale = userLocale());
  ~NSBundle();
  NSBundle(const NSBundle&) = delete;
  NSBundle& operator=(const NSBundle&) = delete;

  // The languages the user reads, as gettext finds them: the colon list in
  // LANGUAGE, else the first set of LC_ALL, LC_MESSAGES and LANG; but while
  // messages are in the C locale (none set, "C" or "POSIX") LANGUAGE does
  // not count and the texts stay in English.
  static QLocale userLocale();

  // The folder that holds the running executable. Needs a QCoreApplication.
  static NSBundle& mainBundle();

  QString bundlePath() const { return fBundlePath; }
  QString resourcePath() const;

  // The path of the resource "name.type" (a file or a folder): the one in
  // Resources/<localization>.lproj when there is one, else the one in
  // Resources; a null string when there is none. An empty |type| looks for
  // |name| as it is.
  QString pathForResource_ofType_(const QString& name, const QString& type) const;
  // The path of the executable |name| beside the main executable, or a null
  // string when there is no such executable file.
  QString pathForAuxiliaryExecutable_(const QString& name) const;

  // The text for |key| in |table| (the default table when null or empty).
  // When the table has none: |value| if it is not empty, else |key|.
  QString localizedStringForKey_value_table_(const QString& key, const QString& value,
                                             const QString& table) const;
  // The application's shorthand: the default table, no default value.
  QString localizedStringForKey_(const QString& key) const;

  // The loaded strings table (empty when there is none), for installing into
  // the application so that interface definitions are translated too.
  QTranslator* translator() const { return fTranslator.get(); }
  // The language of the strings table in use ("en", "de", ...), or empty.
  QString localization() const { return fLocalization; }

 private:
  QString fBundlePath;
  std::unique_ptr<QTranslator> fTranslator;
  QString fLocalization;
};
