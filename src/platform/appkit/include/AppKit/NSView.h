// Views, controls and windows.
//
// Each class here is a handle on a Qt widget that the interface definition
// (or the layer itself) created; the widget tree owns the widgets, the
// handles own nothing and turn null when their widget is destroyed. As with
// messages to nil, every call on a null handle does nothing and returns zero,
// an empty string or a null handle, so code that works with an outlet the
// interface definition left out needs no checks of its own.
//
// Which Qt widget stands for which view:
//   NSWindow     any top-level QWidget (usually a QWidget form or a QDialog)
//   NSView       any QWidget; a window's content view is the window widget
//   NSScrollView a QAbstractScrollArea
//   NSTextView   a QTextEdit; its enclosing scroll view is the QTextEdit
//                itself, which is its own scroll area in Qt
//   NSTextField  a QLabel or a QLineEdit
//   NSButton     a QAbstractButton (push button, check box, ...)
#pragma once

#include <AppKit/NSGeometry.h>

#include <QPointer>
#include <QWidget>
#include <QString>

class QAbstractButton;
class QAbstractScrollArea;
class QTextEdit;
class NSWindow;
class NSScrollView;

class NSView {
 public:
  NSView() = default;
  explicit NSView(QWidget* widget) : fWidget(widget) {}

  // The Qt widget behind the handle, or null.
  QWidget* widget() const { return fWidget.data(); }
  bool isNil() const { return fWidget.isNull(); }
  explicit operator bool() const { return !isNil(); }
  friend bool operator==(const NSView& a, const NSView& b) { return a.widget() == b.widget(); }

  // The view's rectangle in its superview, y up from the superview's bottom
  // edge; for a view that has no superview, its own size at origin 0, 0.
  // Pending layout work is done first, so the frame is the one the user
  // would see.
  NSRect frame() const;

  // The view that contains this one, or nil when it has none (a window's
  // content view, or a view taken out with removeFromSuperview).
  NSView superview() const;
  NSWindow window() const;
  bool isHidden() const;

  // Takes the view out of its superview. The view itself stays alive (its Qt
  // parent keeps owning it) and remembers its place in the superview's
  // layout, so that addSubview_ can put it back exactly where it was.
  void removeFromSuperview();

  // Makes |view| a subview of this view. A view that was taken out of this
  // view (or out of a view inside it) goes back to its remembered place with
  // its frame unchanged; any other view is added at the end of this view's
  // layout, or at its current frame when this view has no layout.
  void addSubview_(NSView view);

 protected:
  QPointer<QWidget> fWidget;
};

class NSScrollView : public NSView {
 public:
  NSScrollView() = default;
  explicit NSScrollView(QWidget* widget);  // nil unless |widget| is a QAbstractScrollArea
  QAbstractScrollArea* scrollArea() const;
};

class NSTextView : public NSView {
 public:
  NSTextView() = default;
  explicit NSTextView(QWidget* widget);  // nil unless |widget| is a QTextEdit
  QTextEdit* textEdit() const;

  // The whole text, as plain text.
  QString string() const;
  // Inserts |text| at the insertion point, replacing the selection if there
  // is one, and leaves the insertion point after it. Works on read-only views
  // too: read-only keeps the user from typing, not the program.
  void insertText_(const QString& text);
  // Replaces the view's contents with the RTF document at |path|. |path| may
  // name an "rtfd" folder, whose text is its TXT.rtf. Returns false, leaving
  // the view as it was, when the file cannot be read or is not RTF.
  bool readRTFDFromFile_(const QString& path);
  // The scroll view that the text view scrolls in.
  NSScrollView enclosingScrollView() const;
};

class NSControl : public NSView {
 public:
  NSControl() = default;
  explicit NSControl(QWidget* widget) : NSView(widget) {}
  // A text field's text or a button's title; always plain text, never markup.
  QString stringValue() const;
  void setStringValue_(const QString& value);
};

class NSTextField : public NSControl {
 public:
  NSTextField() = default;
  explicit NSTextField(QWidget* widget);  // nil unless a QLabel or QLineEdit
};

class NSButton : public NSControl {
 public:
  NSButton() = default;
  explicit NSButton(QWidget* widget);  // nil unless a QAbstractButton
  QAbstractButton* button() const;

  QString title() const;
  void setTitle_(const QString& title);
  // NSOnState, NSOffState, or NSMixedState for a partially checked check box.
  // A button that cannot be checked is always NSOffState.
  NSInteger state() const;
  void setState_(NSInteger state);
  // Presses the button as the user would, sending its action.
  void performClick_(QObject* sender);
};

class NSWindow {
 public:
  NSWindow() = default;
  explicit NSWindow(QWidget* widget);  // the top-level window of |widget|

  QWidget* widget() const { return fWidget.data(); }
  bool isNil() const { return fWidget.isNull(); }
  explicit operator bool() const { return !isNil(); }
  friend bool operator==(const NSWindow& a, const NSWindow& b) { return a.widget() == b.widget(); }

  // The window's rectangle in screen coordinates, y up from the bottom of the
  // primary screen. It covers the window's own area, not the frame that the
  // window manager draws around it, so it is the same on every desktop.
  NSRect frame() const;
  // Moves and resizes the window to |frame|. |display| and |animate| are
  // accepted for the callers' sake: Qt repaints on its own, and the change is
  // made at once, as an animated change is finished when it returns.
  void setFrame_display_animate_(NSRect frame, bool display, bool animate);
  // Puts the window in the middle of its screen horizontally and a little
  // above the middle vertically.
  void center();
  void makeKeyAndOrderFront_(QObject* sender);
  // Takes the window off the screen. For a sheet this also frees its parent
  // window for the next sheet.
  void orderOut_(QObject* sender);
  bool isVisible() const;
  NSView contentView() const;
  QString title() const;
  void setTitle_(const QString& title);
  // Whether the window shows a grip for resizing it (dialogs only).
  void setShowsResizeIndicator_(bool show);
  bool showsResizeIndicator() const;
  // The sheet currently attached to this window, or nil.
  NSWindow attachedSheet() const;

 private:
  QPointer<QWidget> fWidget;
};
