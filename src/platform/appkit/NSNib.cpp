#include <AppKit/NSApplication.h>
#include <AppKit/NSBundle.h>
#include <AppKit/NSNib.h>

#include "AppKitPrivate.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QShortcut>
#include <QUiLoader>
#include <QWidget>

NSNib::NSNib(const QString& nibName, const NSBundle& bundle) : fBundle(bundle) {
  appkit_private::InstallAccessibleRoles();
  const QString path = bundle.pathForResource_ofType_(nibName, QStringLiteral("ui"));
  if (path.isNull()) {
    fError = QStringLiteral("no %1.ui in %2").arg(nibName, bundle.resourcePath());
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    fError = file.errorString();
    return;
  }
  // QUiLoader loads every Designer plug-in it finds when it is made (Qt Quick's
  // among them), which costs start-up time and memory for widgets that no
  // definition here uses. Qt's own widgets need no plug-in.
  const QStringList libraryPaths = QCoreApplication::libraryPaths();
  QCoreApplication::setLibraryPaths(QStringList());
  QUiLoader loader;
  QCoreApplication::setLibraryPaths(libraryPaths);
  loader.setWorkingDirectory(QDir(bundle.resourcePath()));
  fRoot.reset(loader.load(&file, nullptr));
  if (!fRoot) {
    fError = loader.errorString();
    return;
  }
  // A window's default button answers Return wherever the focus is. Dialogs
  // do that themselves; other windows get the keys bound here.
  for (QPushButton* button : fRoot->findChildren<QPushButton*>()) {
    if (button->isDefault() && qobject_cast<QDialog*>(button->window()) == nullptr) {
      for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), button->window());
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::animateClick);
      }
    }
  }
  // Lay out every window now, so that frames read before the first show are
  // the ones the definition gives.
  appkit_private::SettleLayout(fRoot.get());
  for (QWidget* child : fRoot->findChildren<QWidget*>()) {
    if (child->isWindow()) {
      appkit_private::SettleLayout(child);
    }
  }
}

NSNib::~NSNib() = default;

NSWindow NSNib::mainWindow() const { return NSWindow(fRoot.get()); }

QWidget* NSNib::objectNamed(const QString& name) const {
  if (!fRoot || name.isEmpty()) {
    return nullptr;
  }
  if (fRoot->objectName() == name) {
    return fRoot.get();
  }
  return fRoot->findChild<QWidget*>(name);
}

int NSNib::connectActionsImpl(QObject* owner,
                              const std::function<std::function<void(QObject*)>(const QString&)>& lookUp) {
  if (!fRoot) {
    return 0;
  }
  int unconnected = 0;
  for (QAbstractButton* control : fRoot->findChildren<QAbstractButton*>()) {
    const QString selector = control->property("action").toString();
    if (selector.isEmpty()) {
      continue;
    }
    std::function<void(QObject*)> action = lookUp(selector);
    if (!action && selector == QLatin1String("terminate:")) {
      action = [](QObject* sender) { NSApp->terminate_(sender); };
    }
    if (!action) {
      unconnected++;
      continue;
    }
    QObject::connect(control, &QAbstractButton::clicked, owner, [action, control]() { action(control); });
  }
  return unconnected;
}
