// Sheets: return codes, the order of the did-end and did-dismiss callbacks,
// one sheet at a time per window, and the window-modal session of a sheet
// window begun with beginSheet.
#include <AppKit/AppKit.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <string>
#include <vector>

namespace {

void Settle() {
  for (int i = 0; i < 20; i++) {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// A modal delegate that writes down every callback it gets.
class Recorder : public QObject {
 public:
  struct Call {
    std::string which;
    NSInteger returnCode;
    bool sheetVisible;
    void* context;
  };

  void didEnd(NSWindow sheet, NSInteger returnCode, void* context) {
    calls.push_back({"end", returnCode, sheet.isVisible(), context});
  }
  void didDismiss(NSWindow sheet, NSInteger returnCode, void* context) {
    calls.push_back({"dismiss", returnCode, sheet.isVisible(), context});
    if (next) {
      auto begin = std::move(next);
      begin();
    }
  }

  std::vector<Call> calls;
  std::function<void()> next;
};

class NSSheetTest : public testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Document"));
    window->resize(400, 300);
    window->show();
    doc = NSWindow(window.get());
  }

  void TearDown() override {
    Settle();
    window.reset();
    Settle();
  }

  void Begin(const QString& alternate = QStringLiteral("Cancel"), const QString& other = QString(), void* context = nullptr) {
    NSBeginAlertSheet(QStringLiteral("Title"), QStringLiteral("Go"), alternate, other, doc, &recorder,
                      NSSelector(&recorder, &Recorder::didEnd), NSSelector(&recorder, &Recorder::didDismiss),
                      context, "%s has %d items", "list", 3);
  }

  QPushButton* Button(const char* name) {
    QWidget* sheet = doc.attachedSheet().widget();
    return sheet != nullptr ? sheet->findChild<QPushButton*>(QLatin1String(name)) : nullptr;
  }

  std::unique_ptr<QWidget> window;
  NSWindow doc;
  Recorder recorder;
};

TEST_F(NSSheetTest, EachButtonReturnsItsCodeWithDidEndBeforeTheSheetLeavesAndDidDismissAfter) {
  int context = 0;
  const struct {
    const char* button;
    NSInteger code;
  } cases[] = {{kNSAlertDefaultButtonName, NSAlertDefaultReturn},
               {kNSAlertAlternateButtonName, NSAlertAlternateReturn},
               {kNSAlertOtherButtonName, NSAlertOtherReturn}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    recorder.calls.clear();
    Begin(QStringLiteral("Cancel"), QStringLiteral("Other"), &context);
    QWidget* sheet = doc.attachedSheet().widget();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->findChild<QLabel*>(QLatin1String(kNSAlertMessageName))->text(), "list has 3 items");
    ASSERT_NE(Button(c.button), nullptr);
    Button(c.button)->click();
    ASSERT_EQ(recorder.calls.size(), 1u);  // did-dismiss waits for the event loop
    Settle();
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[0].which, "end");
    EXPECT_TRUE(recorder.calls[0].sheetVisible);
    EXPECT_EQ(recorder.calls[1].which, "dismiss");
    EXPECT_FALSE(recorder.calls[1].sheetVisible);
    for (const auto& call : recorder.calls) {
      EXPECT_EQ(call.returnCode, c.code);
      EXPECT_EQ(call.context, &context);
    }
    EXPECT_TRUE(doc.attachedSheet().isNil());
  }
}

TEST_F(NSSheetTest, AbsentButtonsAreLeftOutAndEscapeMeansCancelOrTheOnlyButton) {
  Begin(QString(), QString());
  ASSERT_NE(Button(kNSAlertDefaultButtonName), nullptr);
  EXPECT_EQ(Button(kNSAlertAlternateButtonName), nullptr);
  EXPECT_EQ(Button(kNSAlertOtherButtonName), nullptr);
  auto* panel = qobject_cast<QDialog*>(doc.attachedSheet().widget());
  panel->reject();  // what Escape and the close box do
  Settle();
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[1].returnCode, NSAlertDefaultReturn);

  recorder.calls.clear();
  Begin();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(doc.attachedSheet().widget(), &escape);
  Settle();
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[1].returnCode, NSAlertAlternateReturn);

  recorder.calls.clear();
  NSBeginAlertSheet(QStringLiteral("T"), QString(), QString(), QString(), doc, &recorder, NSSheetCallback(),
                    NSSheetCallback(), nullptr, "%s", "");
  EXPECT_EQ(Button(kNSAlertDefaultButtonName)->text(), "OK");
  Button(kNSAlertDefaultButtonName)->click();
  Settle();
}

TEST_F(NSSheetTest, ASecondSheetWaitsForTheFirstAndDidDismissMayBeginTheNext) {
  Begin();
  QWidget* first = doc.attachedSheet().widget();
  NSBeginAlertSheet(QStringLiteral("Second"), QStringLiteral("OK"), QString(), QString(), doc, &recorder,
                    NSSheetCallback(), NSSheetCallback(), nullptr, "%s", "");
  EXPECT_EQ(doc.attachedSheet().widget(), first);
  Button(kNSAlertDefaultButtonName)->click();
  Settle();
  QWidget* second = doc.attachedSheet().widget();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->findChild<QLabel*>(QLatin1String(kNSAlertTitleName))->text(), "Second");
  Button(kNSAlertDefaultButtonName)->click();
  Settle();
  EXPECT_TRUE(doc.attachedSheet().isNil());

  // A did-dismiss callback that begins a sheet gets it up at once.
  recorder.calls.clear();
  recorder.next = [this]() { Begin(); };
  Begin();
  Button(kNSAlertDefaultButtonName)->click();
  Settle();
  EXPECT_FALSE(doc.attachedSheet().isNil());
  Button(kNSAlertAlternateButtonName)->click();
  Settle();
  EXPECT_EQ(recorder.calls.size(), 4u);
}

TEST_F(NSSheetTest, ADelegateThatIsGoneGetsNoCallback) {
  auto delegate = std::make_unique<Recorder>();
  Recorder* raw = delegate.get();
  NSBeginAlertSheet(QStringLiteral("T"), QStringLiteral("OK"), QString(), QString(), doc, raw,
                    NSSelector(raw, &Recorder::didEnd), NSSelector(raw, &Recorder::didDismiss), nullptr, "%s", "");
  QPushButton* ok = Button(kNSAlertDefaultButtonName);
  delegate.reset();
  ok->click();  // must not reach the deleted delegate
  Settle();
  EXPECT_TRUE(doc.attachedSheet().isNil());
}

TEST_F(NSSheetTest, BeginSheetIsWindowModalUntilEndSheetAndOrderOut) {
  auto* sheetWidget = new QDialog(window.get());
  sheetWidget->resize(200, 100);
  NSWindow sheet(sheetWidget);
  int context = 0;
  NSApp->beginSheet_modalForWindow_modalDelegate_didEndSelector_contextInfo_(
      sheet, doc, &recorder, NSSelector(&recorder, &Recorder::didEnd), &context);
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(doc.attachedSheet(), sheet);
  EXPECT_EQ(sheetWidget->windowModality(), Qt::WindowModal);
  // Centred on the window's top edge.
  EXPECT_EQ(sheetWidget->geometry().x(), window->geometry().x() + (window->width() - 200) / 2);
  // ... just below its title bar, if it has one.
  EXPECT_EQ(sheetWidget->geometry().y(), 2 * window->geometry().y() - window->frameGeometry().y());

  QCloseEvent close;
  QCoreApplication::sendEvent(sheetWidget, &close);  // the window manager's close box
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(sheetWidget, &escape);
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_TRUE(recorder.calls.empty());

  NSApp->endSheet_returnCode_(sheet, 7);
  ASSERT_EQ(recorder.calls.size(), 1u);
  EXPECT_EQ(recorder.calls[0].returnCode, 7);
  EXPECT_EQ(recorder.calls[0].context, &context);
  EXPECT_TRUE(sheet.isVisible());  // the delegate decides when it leaves
  NSApp->endSheet_(sheet);         // a second end is ignored
  EXPECT_EQ(recorder.calls.size(), 1u);

  sheet.orderOut_(nullptr);
  EXPECT_FALSE(sheet.isVisible());
  Settle();
  EXPECT_TRUE(doc.attachedSheet().isNil());
}

}  // namespace
