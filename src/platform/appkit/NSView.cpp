#include <AppKit/NSApplication.h>
#include <AppKit/NSView.h>
#include <AppKit/RTFReader.h>

#include "AppKitPrivate.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

namespace {

// A read-me larger than this is not a read-me; refuse it rather than hold it.
constexpr qint64 kMaxRTFFileSize = 16 * 1024 * 1024;

// Where a view sat before removeFromSuperview, kept as a child object of the
// view so that it goes away with it. Its presence marks the view as taken out.
class ViewSlot : public QObject {
 public:
  explicit ViewSlot(QWidget* view) : QObject(view) { setObjectName(QStringLiteral("_NSViewSlot")); }

  QPointer<QLayout> layout;
  int index = -1;
  int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
  int stretch = 0;
  Qt::Alignment alignment;
  QRect geometry;
  bool wasHidden = false;
};

ViewSlot* SlotOf(const QWidget* view) {
  // Not findChild<ViewSlot*>: without a meta-object of its own, Qt would take
  // any child for one.
  return dynamic_cast<ViewSlot*>(
      view->findChild<QObject*>(QStringLiteral("_NSViewSlot"), Qt::FindDirectChildrenOnly));
}

// The layout, |layout| itself or one nested in it, that manages |widget|.
QLayout* LayoutContaining(QLayout* layout, QWidget* widget) {
  if (layout == nullptr) {
    return nullptr;
  }
  if (layout->indexOf(widget) >= 0) {
    return layout;
  }
  for (int i = 0; i < layout->count(); i++) {
    if (QLayout* found = LayoutContaining(layout->itemAt(i)->layout(), widget)) {
      return found;
    }
  }
  return nullptr;
}

int ToInt(CGFloat value) { return static_cast<int>(std::lround(value)); }

}  // namespace

// ---- NSView --------------------------------------------------------------------

NSRect NSView::frame() const {
  QWidget* w = widget();
  if (w == nullptr) {
    return NSRect();
  }
  appkit_private::SettleLayout(w);
  const QRect g = w->geometry();
  NSView parent = superview();
  if (parent.isNil()) {
    return NSMakeRect(0, 0, g.width(), g.height());
  }
  const int parentHeight = parent.widget()->height();
  return NSMakeRect(g.x(), parentHeight - (g.y() + g.height()), g.width(), g.height());
}

NSView NSView::superview() const {
  QWidget* w = widget();
  if (w == nullptr || w->isWindow() || SlotOf(w) != nullptr) {
    return NSView();
  }
  return NSView(w->parentWidget());
}

NSWindow NSView::window() const { return NSWindow(widget()); }

bool NSView::isHidden() const {
  QWidget* w = widget();
  return w != nullptr && w->isHidden();
}

void NSView::removeFromSuperview() {
  QWidget* w = widget();
  if (w == nullptr || w->isWindow() || SlotOf(w) != nullptr) {
    return;
  }
  QWidget* parent = w->parentWidget();
  auto* slot = new ViewSlot(w);
  slot->wasHidden = w->isHidden();
  slot->geometry = w->geometry();
  if (QLayout* layout = LayoutContaining(parent->layout(), w)) {
    const int index = layout->indexOf(w);
    slot->layout = layout;
    slot->index = index;
    slot->alignment = layout->itemAt(index)->alignment();
    if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
      slot->stretch = box->stretch(index);
    } else if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
      grid->getItemPosition(index, &slot->row, &slot->column, &slot->rowSpan, &slot->columnSpan);
    }
    layout->removeWidget(w);
  }
  w->hide();
  // The window's other views take their new places now, as they would at
  // once in the window system, so that its minimum size no longer counts
  // this view when the caller resizes the window next.
  appkit_private::SettleLayout(parent);
}

void NSView::addSubview_(NSView view) {
  QWidget* host = widget();
  QWidget* v = view.widget();
  if (host == nullptr || v == nullptr || v == host || v->isAncestorOf(host)) {
    return;
  }
  ViewSlot* slot = SlotOf(v);
  QLayout* home = slot != nullptr ? slot->layout.data() : nullptr;
  QWidget* homeWidget = home != nullptr ? home->parentWidget() : nullptr;
  const bool wasHidden = slot != nullptr && slot->wasHidden;
  if (homeWidget != nullptr && (homeWidget == host || host->isAncestorOf(homeWidget))) {
    if (v->parentWidget() != homeWidget) {
      v->setParent(homeWidget);
    }
    if (auto* box = qobject_cast<QBoxLayout*>(home)) {
      box->insertWidget(std::min(slot->index, box->count()), v, slot->stretch, slot->alignment);
    } else if (auto* grid = qobject_cast<QGridLayout*>(home)) {
      grid->addWidget(v, slot->row, slot->column, slot->rowSpan, slot->columnSpan, slot->alignment);
    } else {
      home->addWidget(v);
    }
  } else {
    if (v->parentWidget() != host) {
      v->setParent(host);
    }
    if (host->layout() != nullptr) {
      host->layout()->addWidget(v);
    } else if (slot != nullptr) {
      v->setGeometry(slot->geometry);
    }
  }
  delete slot;
  v->setVisible(!wasHidden);
  appkit_private::SettleLayout(host);
}

// ---- NSScrollView, NSTextView ----------------------------------------------------

NSScrollView::NSScrollView(QWidget* widget) : NSView(qobject_cast<QAbstractScrollArea*>(widget)) {}

QAbstractScrollArea* NSScrollView::scrollArea() const { return qobject_cast<QAbstractScrollArea*>(widget()); }

NSTextView::NSTextView(QWidget* widget) : NSView(qobject_cast<QTextEdit*>(widget)) {}

QTextEdit* NSTextView::textEdit() const { return qobject_cast<QTextEdit*>(widget()); }

QString NSTextView::string() const {
  QTextEdit* e = textEdit();
  return e != nullptr ? e->toPlainText() : QString();
}

void NSTextView::insertText_(const QString& text) {
  QTextEdit* e = textEdit();
  if (e == nullptr) {
    return;
  }
  QTextCursor cursor = e->textCursor();
  cursor.insertText(text);
  e->setTextCursor(cursor);
}

bool NSTextView::readRTFDFromFile_(const QString& path) {
  QTextEdit* e = textEdit();
  if (e == nullptr || path.isEmpty()) {
    return false;
  }
  const QFileInfo info(path);
  QFile file(info.isDir() ? path + QStringLiteral("/TXT.rtf") : path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxRTFFileSize) {
    return false;
  }
  const QByteArray rtf = file.read(kMaxRTFFileSize + 1);
  if (rtf.size() > kMaxRTFFileSize || !RTFReadDocument(rtf, e->document())) {
    return false;
  }
  e->moveCursor(QTextCursor::Start);
  return true;
}

NSScrollView NSTextView::enclosingScrollView() const { return NSScrollView(textEdit()); }

// ---- NSControl, NSTextField, NSButton ----------------------------------------------

QString NSControl::stringValue() const {
  QWidget* w = widget();
  if (auto* label = qobject_cast<QLabel*>(w)) {
    return label->text();
  }
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    return edit->text();
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    return NSButton(button).title();
  }
  return QString();
}

void NSControl::setStringValue_(const QString& value) {
  QWidget* w = widget();
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setTextFormat(Qt::PlainText);
    label->setText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    NSButton(button).setTitle_(value);
  }
}

NSTextField::NSTextField(QWidget* widget)
    : NSControl(qobject_cast<QLabel*>(widget) != nullptr || qobject_cast<QLineEdit*>(widget) != nullptr ? widget
                                                                                                         : nullptr) {}

NSButton::NSButton(QWidget* widget) : NSControl(qobject_cast<QAbstractButton*>(widget)) {}

QAbstractButton* NSButton::button() const { return qobject_cast<QAbstractButton*>(widget()); }

QString NSButton::title() const {
  QAbstractButton* b = button();
  if (b == nullptr) {
    return QString();
  }
  // Qt marks keyboard shortcuts with "&" and writes a literal one as "&&".
  const QString text = b->text();
  QString title;
  title.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); i++) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
      i++;
    }
    title.append(text[i]);
  }
  return title;
}

void NSButton::setTitle_(const QString& title) {
  if (QAbstractButton* b = button()) {
    QString text = title;
    b->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
  }
}

NSInteger NSButton::state() const {
  QAbstractButton* b = button();
  if (b == nullptr) {
    return NSOffState;
  }
  if (auto* box = qobject_cast<QCheckBox*>(b)) {
    switch (box->checkState()) {
      case Qt::Checked:
        return NSOnState;
      case Qt::PartiallyChecked:
        return NSMixedState;
      case Qt::Unchecked:
        return NSOffState;
    }
  }
  return b->isCheckable() && b->isChecked() ? NSOnState : NSOffState;
}

void NSButton::setState_(NSInteger state) {
  QAbstractButton* b = button();
  if (b == nullptr) {
    return;
  }
  if (auto* box = qobject_cast<QCheckBox*>(b)) {
    if (state == NSMixedState) {
      box->setTristate(true);
      box->setCheckState(Qt::PartiallyChecked);
    } else {
      box->setCheckState(state != NSOffState ? Qt::Checked : Qt::Unchecked);
    }
  } else if (b->isCheckable()) {
    b->setChecked(state != NSOffState);
  }
}

void NSButton::performClick_(QObject*) {
  if (QAbstractButton* b = button()) {
    b->click();
  }
}

// ---- NSWindow ----------------------------------------------------------------------

NSWindow::NSWindow(QWidget* widget) : fWidget(widget != nullptr ? widget->window() : nullptr) {}

NSRect NSWindow::frame() const {
  QWidget* w = widget();
  if (w == nullptr) {
    return NSRect();
  }
  appkit_private::SettleLayout(w);
  const QRect screen = appkit_private::PrimaryScreenGeometry();
  const QRect g = w->geometry();
  return NSMakeRect(g.x() - screen.x(), screen.y() + screen.height() - (g.y() + g.height()), g.width(), g.height());
}

void NSWindow::setFrame_display_animate_(NSRect frame, bool, bool) {
  QWidget* w = widget();
  if (w == nullptr) {
    return;
  }
  const QRect screen = appkit_private::PrimaryScreenGeometry();
  const int width = ToInt(frame.size.width);
  const int height = ToInt(frame.size.height);
  const int x = ToInt(frame.origin.x) + screen.x();
  const int y = screen.y() + screen.height() - (ToInt(frame.origin.y) + height);
  w->setGeometry(x, y, width, height);
}

void NSWindow::center() {
  QWidget* w = widget();
  if (w == nullptr || w->screen() == nullptr) {
    return;
  }
  appkit_private::SettleLayout(w);
  appkit_private::FitToScreen(w);
  const QRect area = w->screen()->availableGeometry();
  const QRect g = w->frameGeometry();
  w->move(area.x() + (area.width() - g.width()) / 2, area.y() + std::max(0, (area.height() - g.height()) / 3));
}

void NSWindow::makeKeyAndOrderFront_(QObject*) {
  if (QWidget* w = widget()) {
    appkit_private::FitToScreen(w);
    w->show();
    w->raise();
    w->activateWindow();
  }
}

void NSWindow::orderOut_(QObject*) {
  QWidget* w = widget();
  if (w == nullptr) {
    return;
  }
  const bool wasVisible = w->isVisible();
  w->hide();
  if (wasVisible && appkit_private::SheetDocWindow(w) != nullptr) {
    appkit_private::SheetDidLeave(w, {});
  }
}

bool NSWindow::isVisible() const {
  QWidget* w = widget();
  return w != nullptr && w->isVisible();
}

NSView NSWindow::contentView() const {
  QWidget* w = widget();
  if (auto* main = qobject_cast<QMainWindow*>(w)) {
    return NSView(main->centralWidget());
  }
  return NSView(w);
}

QString NSWindow::title() const {
  QWidget* w = widget();
  return w != nullptr ? w->windowTitle() : QString();
}

void NSWindow::setTitle_(const QString& title) {
  if (QWidget* w = widget()) {
    w->setWindowTitle(title);
  }
}

void NSWindow::setShowsResizeIndicator_(bool show) {
  if (auto* dialog = qobject_cast<QDialog*>(widget())) {
    dialog->setSizeGripEnabled(show);
  }
}

bool NSWindow::showsResizeIndicator() const {
  auto* dialog = qobject_cast<QDialog*>(widget());
  return dialog != nullptr && dialog->isSizeGripEnabled();
}

NSWindow NSWindow::attachedSheet() const {
  QWidget* w = widget();
  return NSWindow(w != nullptr ? appkit_private::SheetAttachedTo(w) : nullptr);
}
