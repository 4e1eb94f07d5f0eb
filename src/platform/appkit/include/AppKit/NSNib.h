// Interface definitions: Qt Designer .ui files in a bundle's Resources,
// loaded at run time.
//
// The file's top-level widget is the main window. Further windows (such as a
// sheet) are QDialog children of it in the same file: Qt makes them windows
// of their own, transient for the main window. Outlets are found by object
// name. A control's action is the dynamic string property "action" holding
// the selector ("uninstall:"); the owner supplies the methods for the
// selectors it implements, and "terminate:" goes to the application.
#pragma once

#include <AppKit/NSView.h>

#include <QObject>
#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

class NSBundle;

class NSNib {
 public:
  // Loads Resources/<nibName>.ui of |bundle|. Texts in it are translated by
  // the translators installed in the application at this moment.
  NSNib(const QString& nibName, const NSBundle& bundle);
  ~NSNib();
  NSNib(const NSNib&) = delete;
  NSNib& operator=(const NSNib&) = delete;

  bool isLoaded() const { return fRoot != nullptr; }
  // Why loading failed (empty when it did not).
  QString errorString() const { return fError; }
  const NSBundle& bundle() const { return fBundle; }

  // The definition's main window, or nil.
  NSWindow mainWindow() const;
  // The object named |name| in the definition, or null.
  QWidget* objectNamed(const QString& name) const;

  // Connects every control whose "action" property names one of |actions|
  // so that clicking it calls that method of |owner| with the control as
  // sender; "terminate:" goes to NSApp. Returns the number of controls whose
  // action nobody implements (they stay unconnected).
  template <class Owner>
  int connectActions(Owner* owner, std::initializer_list<std::pair<const char*, void (Owner::*)(QObject*)>> actions) {
    return connectActionsImpl(owner, [owner, actions](const QString& selector) -> std::function<void(QObject*)> {
      for (const auto& [name, method] : actions) {
        if (selector == QLatin1String(name)) {
          auto m = method;
          return [owner, m](QObject* sender) { (owner->*m)(sender); };
        }
      }
      return {};
    });
  }

 private:
  int connectActionsImpl(QObject* owner, const std::function<std::function<void(QObject*)>(const QString&)>& lookUp);

  const NSBundle& fBundle;
  std::unique_ptr<QWidget> fRoot;
  QString fError;
};
