#include <AppKit/NSBundle.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

#include <cassert>

namespace {

const QString kDefaultTable = QStringLiteral("Localizable");
// The language of a bundle that has none of the user's languages.
const QString kDevelopmentLocalization = QStringLiteral("en");

}  // namespace

QLocale NSBundle::userLocale() {
  // Qt reads the same variables but takes LANGUAGE even under LC_ALL=C, so a
  // script that asks for the C locale to parse our output would not get it,
  // and the desktop's own programs, which use gettext, would disagree with us.
  QByteArray messages;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    messages = qgetenv(name);
    if (!messages.isEmpty()) {
      break;
    }
  }
  if (messages.isEmpty() || messages == "C" || messages == "POSIX") {
    return QLocale::c();
  }
  return QLocale::system();
}

NSBundle::NSBundle(const QString& bundlePath, const QLocale& locale)
    : fBundlePath(QDir::cleanPath(bundlePath)), fTranslator(std::make_unique<QTranslator>()) {
  const QString resources = resourcePath();
  if (fTranslator->load(locale, kDefaultTable, QStringLiteral("_"), resources, QStringLiteral(".qm")) ||
      fTranslator->load(kDefaultTable + QLatin1Char('_') + kDevelopmentLocalization, resources)) {
    fLocalization = fTranslator->language().section(QLatin1Char('_'), 0, 0).section(QLatin1Char('-'), 0, 0);
  }
}

NSBundle::~NSBundle() {
  if (fTranslator && QCoreApplication::instance() != nullptr) {
    QCoreApplication::removeTranslator(fTranslator.get());
  }
}

NSBundle& NSBundle::mainBundle() {
  assert(QCoreApplication::instance() != nullptr);
  // The executable's folder, symbolic links resolved, so that a link to the
  // executable elsewhere still finds the bundle.
  static NSBundle bundle(QCoreApplication::applicationDirPath());
  return bundle;
}

QString NSBundle::resourcePath() const { return fBundlePath + QStringLiteral("/Resources"); }

QString NSBundle::pathForResource_ofType_(const QString& name, const QString& type) const {
  if (name.isEmpty()) {
    return QString();
  }
  const QString file = type.isEmpty() ? name : name + QLatin1Char('.') + type;
  // The language of the strings table first, so that a read-me comes in
  // the language the window speaks; then the resource for every language.
  if (!fLocalization.isEmpty()) {
    const QString localized = resourcePath() + QLatin1Char('/') + fLocalization + QStringLiteral(".lproj/") + file;
    if (QFileInfo::exists(localized)) {
      return localized;
    }
  }
  const QString path = resourcePath() + QLatin1Char('/') + file;
  return QFileInfo::exists(path) ? path : QString();
}

QString NSBundle::pathForAuxiliaryExecutable_(const QString& name) const {
  if (name.isEmpty()) {
    return QString();
  }
  const QString path = fBundlePath + QLatin1Char('/') + name;
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable() ? path : QString();
}

QString NSBundle::localizedStringForKey_value_table_(const QString& key, const QString& value,
                                                     const QString& table) const {
  const QString context = table.isEmpty() ? kDefaultTable : table;
  QString text;
  if (fTranslator && !key.isEmpty()) {
    text = fTranslator->translate(context.toUtf8().constData(), key.toUtf8().constData());
  }
  if (!text.isEmpty()) {
    return text;
  }
  return value.isEmpty() ? key : value;
}

QString NSBundle::localizedStringForKey_(const QString& key) const {
  return localizedStringForKey_value_table_(key, QString(), QString());
}
