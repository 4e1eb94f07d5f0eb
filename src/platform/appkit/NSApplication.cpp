#include <AppKit/NSApplication.h>
#include <AppKit/NSBundle.h>
#include <AppKit/NSNib.h>

#include "AppKitPrivate.h"

#include <QApplication>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace appkit_private {
namespace {

struct SheetSession {
  QPointer<QWidget> docWindow;
  bool hasDocWindow = false;  // false for a panel that is modal for the application
  QPointer<QWidget> sheet;
  QPointer<QObject> delegate;
  bool hasDelegate = false;
  NSSheetCallback didEnd;
  void* contextInfo = nullptr;
  bool ended = false;    // the did-end callback has run
  bool leaving = false;  // hidden; detached from the event loop soon
};

struct WaitingSheet {
  QPointer<QWidget> docWindow;
  std::function<void()> begin;
};

// Only the main thread touches these, as only it may touch widgets.
std::vector<std::unique_ptr<SheetSession>>& Sessions() {
  static std::vector<std::unique_ptr<SheetSession>> sessions;
  return sessions;
}

std::deque<WaitingSheet>& Waiting() {
  static std::deque<WaitingSheet> waiting;
  return waiting;
}

SheetSession* SessionForSheet(QWidget* sheet) {
  for (auto& s : Sessions()) {
    if (s->sheet == sheet) {
      return s.get();
    }
  }
  return nullptr;
}

bool DocWindowBusy(QWidget* docWindow) {
  for (auto& s : Sessions()) {
    if (s->hasDocWindow && s->docWindow == docWindow && !s->sheet.isNull()) {
      return true;
    }
  }
  return false;
}

void ForgetDeadSessions() {
  auto& sessions = Sessions();
  std::erase_if(sessions, [](const std::unique_ptr<SheetSession>& s) {
    return s->sheet.isNull() || (s->hasDocWindow && s->docWindow.isNull());
  });
}

void BeginWaitingSheets() {
  ForgetDeadSessions();
  auto& waiting = Waiting();
  for (auto it = waiting.begin(); it != waiting.end();) {
    if (it->docWindow.isNull()) {
      it = waiting.erase(it);
      continue;
    }
    if (!DocWindowBusy(it->docWindow)) {
      std::function<void()> begin = std::move(it->begin);
      waiting.erase(it);
      begin();
      // |begin| may have changed the queue; start over.
      it = waiting.begin();
      continue;
    }
    ++it;
  }
}

// Keeps a sheet up until the program ends it: a sheet has no close box and
// Escape is only ever bound to one of its buttons.
class SheetGuard : public QObject {
 public:
  explicit SheetGuard(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("_NSSheetGuard")); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* sheet = qobject_cast<QWidget*>(watched);
    if (sheet == nullptr || SheetDocWindow(sheet) == nullptr) {
      return false;
    }
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      return true;
    }
    return false;
  }
};

}  // namespace

void SettleLayout(QWidget* widget) {
  if (widget == nullptr) {
    return;
  }
  QWidget* window = widget->window();
  window->ensurePolished();
  if (QLayout* layout = window->layout()) {
    layout->activate();
    // A hidden window gets its resize events only when it is shown; lay it
    // out for its current size now.
    if (layout->geometry() != window->rect()) {
      layout->setGeometry(window->rect());
    }
  }
}

QRect PrimaryScreenGeometry() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect();
}

void SheetEnqueue(QWidget* docWindow, std::function<void()> begin) {
  ForgetDeadSessions();
  if (docWindow == nullptr || !DocWindowBusy(docWindow)) {
    begin();
    return;
  }
  Waiting().push_back(WaitingSheet{docWindow, std::move(begin)});
}

void SheetAttach(QWidget* docWindow, QWidget* sheet, QObject* modalDelegate, NSSheetCallback didEnd,
                 void* contextInfo) {
  auto session = std::make_unique<SheetSession>();
  session->docWindow = docWindow;
  session->hasDocWindow = docWindow != nullptr;
  session->sheet = sheet;
  session->delegate = modalDelegate;
  session->hasDelegate = modalDelegate != nullptr;
  session->didEnd = std::move(didEnd);
  session->contextInfo = contextInfo;
  Sessions().push_back(std::move(session));
}

QWidget* SheetDocWindow(QWidget* sheet) {
  SheetSession* s = SessionForSheet(sheet);
  return s != nullptr && s->hasDocWindow ? s->docWindow.data() : nullptr;
}

QWidget* SheetAttachedTo(QWidget* docWindow) {
  for (auto& s : Sessions()) {
    if (s->hasDocWindow && s->docWindow == docWindow && !s->sheet.isNull() && !s->leaving) {
      return s->sheet.data();
    }
  }
  return nullptr;
}

void SheetEnd(QWidget* sheet, NSInteger returnCode) {
  SheetSession* s = SessionForSheet(sheet);
  if (s == nullptr || s->ended) {
    return;
  }
  s->ended = true;
  // A delegate that has gone away gets no callback.
  if (s->didEnd && (!s->hasDelegate || !s->delegate.isNull())) {
    NSSheetCallback didEnd = s->didEnd;
    didEnd(NSWindow(sheet), returnCode, s->contextInfo);
  }
}

void SheetDidLeave(QWidget* sheet, std::function<void()> afterLeave) {
  SheetSession* s = SessionForSheet(sheet);
  if (s != nullptr) {
    s->leaving = true;
  }
  QPointer<QWidget> guard(sheet);
  QMetaObject::invokeMethod(
      qApp,
      [guard, afterLeave = std::move(afterLeave)]() {
        QPointer<QWidget> docWindow;
        auto& sessions = Sessions();
        for (auto it = sessions.begin(); it != sessions.end(); ++it) {
          if ((*it)->sheet == guard) {
            docWindow = (*it)->docWindow;
            sessions.erase(it);
            break;
          }
        }
        // The next callback may keep the main thread busy for a long time
        // (an uninstall); let the window it leaves look whole meanwhile.
        if (!docWindow.isNull() && docWindow->isVisible()) {
          QGuiApplication::sync();
          docWindow->repaint();
        }
        if (afterLeave) {
          afterLeave();
        }
        BeginWaitingSheets();
      },
      Qt::QueuedConnection);
}

void PositionSheet(QWidget* sheet, QWidget* docWindow) {
  if (docWindow == nullptr) {
    return;
  }
  SettleLayout(sheet);
  FitToScreen(sheet);
  // Wrapped text needs the height its width gives it, which the layout's
  // minimum size does not say: a sheet sized before its text was set, or
  // narrowed to fit the screen, would cut its labels off.
  if (QLayout* layout = sheet->layout(); layout != nullptr && layout->hasHeightForWidth()) {
    const int needed = layout->totalHeightForWidth(sheet->width());
    if (needed > sheet->height()) {
      sheet->resize(sheet->width(), needed);
      FitToScreen(sheet);
      SettleLayout(sheet);
    }
  }
  const QRect doc = docWindow->geometry();
  const QSize size = sheet->size();
  // Where the window manager draws a title bar, the sheet's own goes just
  // below the window's, as tall as the window's one.
  const int titleBar = std::max(0, doc.y() - docWindow->frameGeometry().y());
  int y = doc.y() + titleBar;
  if (QScreen* screen = docWindow->screen()) {
    // A sheet that would run off the bottom of the screen moves up.
    const QRect area = screen->availableGeometry();
    y = std::max(area.y(), std::min(y, area.y() + area.height() - size.height()));
  }
  sheet->setGeometry(doc.x() + (doc.width() - size.width()) / 2, y, size.width(), size.height());
}

void FitToScreen(QWidget* window) {
  QScreen* screen = window != nullptr ? window->screen() : nullptr;
  if (screen == nullptr) {
    return;
  }
  // What the window manager adds around the window; a window not yet shown
  // has no frame, so leave room for a title bar and borders then.
  const QRect area = screen->availableGeometry();
  QSize decoration = window->frameGeometry().size() - window->size();
  if (!window->isVisible()) {
    decoration = decoration.expandedTo(QSize(8, 36));
  }
  const QSize room(std::max(1, area.width() - decoration.width()), std::max(1, area.height() - decoration.height()));
  const QSize fitted = window->size().boundedTo(room);
  window->setMinimumSize(window->minimumSize().boundedTo(fitted));
  if (fitted != window->size()) {
    window->resize(fitted);
  }
  // And on the screen, title bar and all.
  const QRect frame(window->pos(), window->size() + decoration);
  const int x = std::max(area.x(), std::min(frame.x(), area.x() + area.width() - frame.width()));
  const int y = std::max(area.y(), std::min(frame.y(), area.y() + area.height() - frame.height()));
  if (x != frame.x() || y != frame.y()) {
    window->move(x, y);
  }
}

namespace {

// Screen readers learn what a window is from its role: the main window is a
// frame, and an alert is an alert, which they announce as it appears.
QAccessibleInterface* AccessibleWindowRoles(const QString& key, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (widget == nullptr || !widget->isWindow()) {
    return nullptr;
  }
  if (widget->objectName() == QLatin1String("NSAlertPanel")) {
    return new QAccessibleWidget(widget, QAccessible::AlertMessage);
  }
  if (key == QLatin1String("QWidget") && widget->metaObject() == &QWidget::staticMetaObject) {
    return new QAccessibleWidget(widget, QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleRoles() {
  static bool installed = false;
  if (!installed) {
    installed = true;
    QAccessible::installFactory(AccessibleWindowRoles);
  }
}

}  // namespace appkit_private

using namespace appkit_private;

// ---- NSApplication -----------------------------------------------------------------

NSApplication::NSApplication(QObject* parent) : QObject(parent) { appkit_private::InstallAccessibleRoles(); }

NSApplication* NSApplication::sharedApplication() {
  static QPointer<NSApplication> shared;
  assert(QCoreApplication::instance() != nullptr);
  if (shared.isNull()) {
    shared = new NSApplication(QCoreApplication::instance());
  }
  return shared.data();
}

void NSApplication::terminate_(QObject*) {
  emit willTerminate();
  QCoreApplication::quit();
}

void NSApplication::beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(NSWindow sheet,
                                                                                         NSWindow docWindow,
                                                                                         QObject* modalDelegate,
                                                                                         NSSheetCallback didEnd,
                                                                                         void* contextInfo) {
  QWidget* sheetWidget = sheet.widget();
  QWidget* docWidget = docWindow.widget();
  if (sheetWidget == nullptr || docWidget == nullptr || sheetWidget == docWidget) {
    return;
  }
  QPointer<QWidget> sheetGuard(sheetWidget);
  QPointer<QWidget> docGuard(docWidget);
  QPointer<QObject> delegateGuard(modalDelegate);
  const bool hasDelegate = modalDelegate != nullptr;
  SheetEnqueue(docWidget, [=]() {
    if (sheetGuard.isNull() || docGuard.isNull() || (hasDelegate && delegateGuard.isNull()) ||
        SheetDocWindow(sheetGuard) != nullptr) {
      return;
    }
    QWidget* s = sheetGuard.data();
    SheetAttach(docGuard, s, delegateGuard, didEnd, contextInfo);
    if (s->findChild<QObject*>(QStringLiteral("_NSSheetGuard"), Qt::FindDirectChildrenOnly) == nullptr) {
      s->installEventFilter(new SheetGuard(s));
    }
    if (s->parentWidget() != docGuard) {
      // A sheet belongs to its window: transient for it, centred on it.
      s->setParent(docGuard, s->windowFlags() | Qt::Dialog);
    }
    // A sheet can be neither minimised nor maximised, nor closed but by
    // its buttons.
    s->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    s->setWindowModality(Qt::WindowModal);
    PositionSheet(s, docGuard);
    s->show();
    s->raise();
    s->activateWindow();
  });
}

void NSApplication::endSheet_(NSWindow sheet) { endSheet_returnCode_(sheet, 0); }

void NSApplication::endSheet_returnCode_(NSWindow sheet, NSInteger returnCode) {
  if (QWidget* s = sheet.widget()) {
    SheetEnd(s, returnCode);
  }
}

// ---- Alert sheets --------------------------------------------------------------------

namespace {

class AlertPanel : public QDialog {
 public:
  AlertPanel(QWidget* docWindow, const QString& title, const QString& message, const QString& defaultTitle,
             const QString& alternateTitle, const QString& otherTitle, const QString& details,
             NSSheetCallback didDismiss, QObject* modalDelegate)
      : QDialog(docWindow), fDidDismiss(std::move(didDismiss)), fDelegate(modalDelegate),
        fHasDelegate(modalDelegate != nullptr) {
    setObjectName(QStringLiteral("NSAlertPanel"));
    setWindowTitle(docWindow != nullptr ? docWindow->windowTitle() : QGuiApplication::applicationDisplayName());
    setWindowModality(docWindow != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    // Drawn for the screen's pixel ratio, so that it stays sharp when scaled.
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                        .pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    // The texts come from translation tables: show them as they are, never
    // as markup.
    auto* titleLabel = new QLabel(this);
    titleLabel->setObjectName(QLatin1String(kNSAlertTitleName));
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setWordWrap(true);
    titleLabel->setText(title);
    QFont titleFont = titleLabel->font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0) {
      titleFont.setPointSizeF(titleFont.pointSizeF() * 1.1);
    }
    titleLabel->setFont(titleFont);

    auto* messageLabel = new QLabel(this);
    messageLabel->setObjectName(QLatin1String(kNSAlertMessageName));
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setWordWrap(true);
    messageLabel->setText(message);
    messageLabel->setVisible(!message.isEmpty());

    // Wide enough for a sentence per line, narrow enough to read.
    const int textWidth = fontMetrics().averageCharWidth() * 52;
    titleLabel->setFixedWidth(textWidth);
    messageLabel->setFixedWidth(textWidth);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing) + 4);
    texts->addWidget(titleLabel);
    texts->addWidget(messageLabel);
    texts->addStretch(1);

    auto* body = new QHBoxLayout;
    body->setSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) * 2 + 4);
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addLayout(texts, 1);

    // The order of the desktop's own dialogs: an extra choice on the left,
    // then Cancel, then the action that goes ahead on the right.
    auto* buttons = new QHBoxLayout;
    QHBoxLayout* detailsRow = nullptr;
    if (!details.isEmpty()) {
      detailsRow = new QHBoxLayout;
      AddDetails(detailsRow, details);
    }
    if (!otherTitle.isNull()) {
      fOther = AddButton(buttons, kNSAlertOtherButtonName, otherTitle, NSAlertOtherReturn);
    }
    buttons->addStretch(1);
    if (!alternateTitle.isNull()) {
      fAlternate = AddButton(buttons, kNSAlertAlternateButtonName, alternateTitle, NSAlertAlternateReturn);
    }
    fDefault = AddButton(buttons, kNSAlertDefaultButtonName, defaultTitle, NSAlertDefaultReturn);
    fDefault->setDefault(true);
    fDefault->setFocus();

    // Show Details… and Copy lead the row of buttons; where the screen is
    // too narrow for every button in one row (four of them at twice the
    // scale), they take a row of their own above the others, so that no
    // title is cut.
    bool detailsOwnRow = false;
    if (detailsRow != nullptr) {
      constexpr int kMargins = 18 + 18, kGap = 12, kWindowBorders = 8;
      int needed = kMargins;
      for (QPushButton* button : findChildren<QPushButton*>()) needed += button->sizeHint().width() + kGap;
      QScreen* screen = docWindow != nullptr ? docWindow->screen() : QGuiApplication::primaryScreen();
      detailsOwnRow = screen != nullptr && needed > screen->availableGeometry().width() - kWindowBorders;
      if (detailsOwnRow) {
        detailsRow->addStretch(1);
      } else {
        buttons->insertLayout(0, detailsRow);
      }
    }

    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->setContentsMargins(18, 18, 18, 14);
    outer->setSpacing(18);
    outer->addLayout(body);
    if (detailsOwnRow) outer->addLayout(detailsRow);
    outer->addLayout(buttons);
    if (fDetails != nullptr) {
      outer->addWidget(fDetails);
    }
  }

  void reject() override {
    // Escape and the window's close box mean Cancel when there is one; an
    // alert with one button lets them acknowledge it.
    if (fAlternate != nullptr) {
      fAlternate->click();
    } else if (fOther == nullptr) {
      fDefault->click();
    }
  }

 private:
  QPushButton* AddButton(QHBoxLayout* row, const char* name, const QString& title, NSInteger returnCode) {
    auto* button = new QPushButton(this);
    button->setObjectName(QLatin1String(name));
    QString text = title;
    button->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, returnCode]() { Finish(returnCode); });
    row->addWidget(button);
    return button;
  }

  // Qt's usual details area: a button that shows or hides a read-only copy
  // of |details| below the buttons, which can be selected and copied, and a
  // button that copies all of it.
  void AddDetails(QHBoxLayout* row, const QString& details) {
    fDetails = new QPlainTextEdit(this);
    fDetails->setObjectName(QLatin1String(kNSAlertDetailsName));
    fDetails->setAccessibleName(QCoreApplication::translate("NSAlert", "Details"));
    fDetails->setReadOnly(true);
    fDetails->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    fDetails->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    fDetails->setPlainText(details);
    fDetails->setFixedHeight(fontMetrics().lineSpacing() * 12);
    fDetails->hide();
    const QString show = QCoreApplication::translate("NSAlert", "Show Details…");
    const QString hide = QCoreApplication::translate("NSAlert", "Hide Details…");
    auto* toggle = new QPushButton(show, this);
    toggle->setObjectName(QLatin1String(kNSAlertDetailsButtonName));
    toggle->setAutoDefault(false);
    connect(toggle, &QPushButton::clicked, this, [this, toggle, show, hide]() {
      fDetails->setVisible(!fDetails->isVisible());
      toggle->setText(fDetails->isVisible() ? hide : show);
    });
    row->addWidget(toggle);
    auto* copy = new QPushButton(QCoreApplication::translate("NSAlert", "Copy"), this);
    copy->setObjectName(QLatin1String(kNSAlertCopyButtonName));
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this,
            [this]() { QGuiApplication::clipboard()->setText(fDetails->toPlainText()); });
    row->addWidget(copy);
  }

  void Finish(NSInteger returnCode) {
    if (fFinished) {
      return;
    }
    fFinished = true;
    // did-end while the sheet is still up; did-dismiss after it has gone.
    SheetEnd(this, returnCode);
    hide();
    QPointer<AlertPanel> self(this);
    NSSheetCallback didDismiss = fDidDismiss;
    QPointer<QObject> delegate = fDelegate;
    const bool hasDelegate = fHasDelegate;
    void* contextInfo = fContextInfo;
    auto afterLeave = [self, didDismiss, delegate, hasDelegate, returnCode, contextInfo]() {
      if (didDismiss && (!hasDelegate || !delegate.isNull())) {
        didDismiss(NSWindow(self.data()), returnCode, contextInfo);
      }
      if (!self.isNull()) {
        self->deleteLater();
      }
    };
    if (SheetDocWindow(this) != nullptr) {
      SheetDidLeave(this, afterLeave);
    } else {
      QMetaObject::invokeMethod(qApp, afterLeave, Qt::QueuedConnection);
    }
  }

  NSSheetCallback fDidDismiss;
  QPointer<QObject> fDelegate;
  bool fHasDelegate;
  QPushButton* fDefault = nullptr;
  QPushButton* fAlternate = nullptr;
  QPushButton* fOther = nullptr;
  QPlainTextEdit* fDetails = nullptr;
  bool fFinished = false;

 public:
  void* fContextInfo = nullptr;
};

}  // namespace

void NSBeginAlertSheet(const QString& title, const QString& defaultButton, const QString& alternateButton,
                       const QString& otherButton, NSWindow docWindow, QObject* modalDelegate,
                       NSSheetCallback didEnd, NSSheetCallback didDismiss, void* contextInfo,
                       const char* msgFormat, ...) {
  QString message;
  if (msgFormat != nullptr) {
    va_list args;
    va_start(args, msgFormat);
    message = QString::vasprintf(msgFormat, args);
    va_end(args);
  }
  NSBeginAlertSheetWithDetails(title, defaultButton, alternateButton, otherButton, docWindow, modalDelegate,
                               std::move(didEnd), std::move(didDismiss), contextInfo, message, QString());
}

void NSBeginAlertSheetWithDetails(const QString& title, const QString& defaultButton, const QString& alternateButton,
                                  const QString& otherButton, NSWindow docWindow, QObject* modalDelegate,
                                  NSSheetCallback didEnd, NSSheetCallback didDismiss, void* contextInfo,
                                  const QString& message, const QString& details) {
  QPointer<QWidget> docGuard(docWindow.widget());
  const bool hasDoc = !docGuard.isNull();
  QPointer<QObject> delegateGuard(modalDelegate);
  const bool hasDelegate = modalDelegate != nullptr;
  const QString defaultTitle = defaultButton.isNull() ? QStringLiteral("OK") : defaultButton;
  SheetEnqueue(docGuard, [=]() {
    if ((hasDoc && docGuard.isNull()) || (hasDelegate && delegateGuard.isNull())) {
      return;
    }
    auto* panel = new AlertPanel(docGuard, title, message, defaultTitle, alternateButton, otherButton, details,
                                 didDismiss, delegateGuard);
    panel->fContextInfo = contextInfo;
    if (hasDoc) {
      // No guard here: an alert maps Escape and the close box to its own
      // buttons (see reject()).
      SheetAttach(docGuard, panel, delegateGuard, didEnd, contextInfo);
      PositionSheet(panel, docGuard);
    } else {
      // Not a sheet: an application-modal panel, with the same callbacks.
      SheetAttach(nullptr, panel, delegateGuard, didEnd, contextInfo);
    }
    panel->show();
    panel->raise();
    panel->activateWindow();
  });
}

// ---- NSApplicationMain ---------------------------------------------------------------

int NSApplicationMain(int argc, char* argv[], const QString& nibName,
                      const std::function<std::unique_ptr<NSObject>(NSNib& nib)>& makeOwner) {
  QApplication application(argc, argv);
  NSApplication::sharedApplication();
  NSBundle& bundle = NSBundle::mainBundle();
  if (bundle.translator() != nullptr && !bundle.translator()->isEmpty()) {
    QCoreApplication::installTranslator(bundle.translator());
  }
  NSNib nib(nibName, bundle);
  if (!nib.isLoaded()) {
    std::fprintf(stderr, "%s: cannot load the interface definition %s: %s\n", argv[0], qPrintable(nibName),
                 qPrintable(nib.errorString()));
    return 1;
  }
  std::unique_ptr<NSObject> owner = makeOwner(nib);
  if (owner) {
    owner->awakeFromNib();
  }
  nib.mainWindow().makeKeyAndOrderFront_(nullptr);
  const int status = QApplication::exec();
  owner.reset();
  return status;
}
