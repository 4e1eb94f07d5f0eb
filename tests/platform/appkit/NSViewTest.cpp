// Windows in y-up screen coordinates, views taken out and put back, controls,
// text views, bundles and interface definitions.
#include <AppKit/AppKit.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QVBoxLayout>

#include <memory>

namespace {

// A dialog laid out like the completion sheet: label, text view, button.
struct ThreeRowDialog {
  ThreeRowDialog() {
    dialog = std::make_unique<QDialog>();
    auto* layout = new QVBoxLayout(dialog.get());
    layout->setSpacing(0);
    label = new QLabel(QStringLiteral("Title"), dialog.get());
    text = new QTextEdit(dialog.get());
    text->setMinimumHeight(100);
    button = new QPushButton(QStringLiteral("OK"), dialog.get());
    layout->addWidget(label);
    layout->addWidget(text, 1);
    layout->addWidget(button);
    dialog->setGeometry(100, 50, 400, 300);
  }
  std::unique_ptr<QDialog> dialog;
  QLabel* label;
  QTextEdit* text;
  QPushButton* button;
};

TEST(NSWindowTest, FrameIsYUpFromThePrimaryScreensBottomAndRoundTrips) {
  ThreeRowDialog d;
  NSWindow window(d.text);  // any view finds its window
  ASSERT_EQ(window.widget(), d.dialog.get());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const NSRect frame = window.frame();
  EXPECT_EQ(frame.origin.x, 100 - screen.x());
  EXPECT_EQ(frame.origin.y, screen.y() + screen.height() - (50 + 300));
  EXPECT_EQ(frame.size.width, 400);
  EXPECT_EQ(frame.size.height, 300);

  // Growing downwards: the top edge stays, the origin moves down.
  window.setFrame_display_animate_(NSMakeRect(frame.origin.x, frame.origin.y - 40, 400, 340), true, true);
  EXPECT_EQ(d.dialog->geometry(), QRect(100, 50, 400, 340));
  EXPECT_TRUE(NSEqualRects(window.frame(), NSMakeRect(frame.origin.x, frame.origin.y - 40, 400, 340)));

  EXPECT_TRUE(NSEqualRects(NSWindow().frame(), NSRect()));  // nil answers zero
}

TEST(NSViewTest, RemovedViewLeavesTheLayoutAndComesBackToItsPlace) {
  ThreeRowDialog d;
  NSWindow window(d.dialog.get());
  NSScrollView area = NSTextView(d.text).enclosingScrollView();
  ASSERT_FALSE(area.isNil());
  const NSRect before = area.frame();
  const NSRect windowBefore = window.frame();
  EXPECT_GT(before.size.height, 100);
  EXPECT_EQ(area.superview(), window.contentView());

  area.removeFromSuperview();
  EXPECT_TRUE(area.superview().isNil());
  EXPECT_TRUE(area.isHidden());
  // The window can now shrink by exactly the area's height.
  const CGFloat h = before.size.height;
  window.setFrame_display_animate_(NSMakeRect(windowBefore.origin.x, windowBefore.origin.y + h,
                                              windowBefore.size.width, windowBefore.size.height - h),
                                   true, true);
  EXPECT_EQ(window.frame().size.height, windowBefore.size.height - h);
  EXPECT_EQ(NSView(d.button).frame().origin.y, 0 + d.dialog->layout()->contentsMargins().bottom());

  window.setFrame_display_animate_(windowBefore, true, true);
  window.contentView().addSubview_(area);
  EXPECT_EQ(area.superview(), window.contentView());
  EXPECT_FALSE(area.isHidden());
  EXPECT_TRUE(NSEqualRects(area.frame(), before));
  EXPECT_EQ(d.dialog->layout()->indexOf(d.text), 1);

  NSView().removeFromSuperview();  // nil is harmless
  window.contentView().addSubview_(NSView());
}

TEST(NSControlTest, ButtonStatesTitlesAndTextFields) {
  QCheckBox box;
  NSButton button(&box);
  box.setChecked(true);
  EXPECT_EQ(button.state(), NSOnState);
  button.setState_(NSMixedState);
  EXPECT_EQ(box.checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(button.state(), NSMixedState);
  button.setState_(NSOffState);
  EXPECT_EQ(button.state(), NSOffState);

  button.setTitle_(QStringLiteral("Salt & Pepper"));
  EXPECT_EQ(box.text(), "Salt && Pepper");  // no keyboard shortcut sneaks in
  EXPECT_EQ(button.title(), "Salt & Pepper");

  QPushButton push(QStringLiteral("&Quit"));
  EXPECT_EQ(NSButton(&push).title(), "Quit");
  EXPECT_EQ(NSButton(&push).state(), NSOffState);

  QLabel label;
  label.setTextFormat(Qt::RichText);
  NSTextField field(&label);
  field.setStringValue_(QStringLiteral("<b>not bold</b>"));
  EXPECT_EQ(label.textFormat(), Qt::PlainText);
  EXPECT_EQ(field.stringValue(), "<b>not bold</b>");
  EXPECT_TRUE(NSTextField(&push).isNil());  // a button is no text field
  EXPECT_TRUE(NSButton(&label).isNil());
}

TEST(NSTextViewTest, InsertTextGoesToTheInsertionPointEvenWhenReadOnly) {
  QTextEdit edit;
  edit.setReadOnly(true);
  NSTextView view(&edit);
  view.insertText_(QStringLiteral("first\n"));
  view.insertText_(QStringLiteral("second\n"));
  EXPECT_EQ(view.string(), "first\nsecond\n");
  QTextCursor cursor = edit.textCursor();
  cursor.setPosition(0);
  edit.setTextCursor(cursor);
  view.insertText_(QStringLiteral("zero "));
  EXPECT_EQ(view.string(), "zero first\nsecond\n");
}

TEST(NSTextViewTest, ReadsRTFAndRTFDAndKeepsItsTextOtherwise) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QDir(dir.path()).mkdir(QStringLiteral("doc.rtfd"));
  auto write = [&](const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  };
  write(QStringLiteral("doc.rtfd/TXT.rtf"), "{\\rtf1 from the folder}");
  write(QStringLiteral("plain.rtf"), "{\\rtf1 from the file}");
  write(QStringLiteral("notrtf.txt"), "hello");

  QTextEdit edit;
  NSTextView view(&edit);
  EXPECT_TRUE(view.readRTFDFromFile_(dir.filePath(QStringLiteral("doc.rtfd"))));
  EXPECT_EQ(view.string(), "from the folder");
  EXPECT_TRUE(view.readRTFDFromFile_(dir.filePath(QStringLiteral("plain.rtf"))));
  EXPECT_EQ(view.string(), "from the file");
  EXPECT_FALSE(view.readRTFDFromFile_(dir.filePath(QStringLiteral("notrtf.txt"))));
  EXPECT_FALSE(view.readRTFDFromFile_(dir.filePath(QStringLiteral("missing.rtf"))));
  EXPECT_EQ(view.string(), "from the file");
}

TEST(NSBundleTest, FindsResourcesAndExecutablesAndShowsKeysWithoutATable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QDir(dir.path()).mkpath(QStringLiteral("Resources/readme.rtfd"));
  QFile script(dir.filePath(QStringLiteral("Resources/uninstall.ss")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.close();
  QFile tool(dir.filePath(QStringLiteral("PruneMIDI")));
  ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
  tool.close();
  QFile data(dir.filePath(QStringLiteral("NotAnExecutable")));
  ASSERT_TRUE(data.open(QIODevice::WriteOnly));
  data.close();
  tool.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

  NSBundle bundle(dir.path());
  EXPECT_EQ(bundle.pathForResource_ofType_(QStringLiteral("uninstall"), QStringLiteral("ss")),
            dir.filePath(QStringLiteral("Resources/uninstall.ss")));
  EXPECT_EQ(bundle.pathForResource_ofType_(QStringLiteral("readme"), QStringLiteral("rtfd")),
            dir.filePath(QStringLiteral("Resources/readme.rtfd")));
  EXPECT_TRUE(bundle.pathForResource_ofType_(QStringLiteral("readme"), QStringLiteral("rtf")).isNull());
  EXPECT_EQ(bundle.pathForAuxiliaryExecutable_(QStringLiteral("PruneMIDI")), dir.filePath(QStringLiteral("PruneMIDI")));
  EXPECT_TRUE(bundle.pathForAuxiliaryExecutable_(QStringLiteral("NotAnExecutable")).isNull());
  EXPECT_TRUE(bundle.pathForAuxiliaryExecutable_(QStringLiteral("Missing")).isNull());

  EXPECT_EQ(bundle.localizedStringForKey_(QStringLiteral("okButton")), "okButton");
  EXPECT_EQ(bundle.localizedStringForKey_value_table_(QStringLiteral("okButton"), QStringLiteral("OK"), QString()),
            "OK");
}

class Owner : public NSObject {
 public:
  void go_(QObject* sender) {
    calls++;
    lastSender = sender;
  }
  int calls = 0;
  QObject* lastSender = nullptr;
};

TEST(NSNibTest, FindsOutletsByNameAndConnectsActions) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QDir(dir.path()).mkdir(QStringLiteral("Resources"));
  QFile ui(dir.filePath(QStringLiteral("Resources/Test.ui")));
  ASSERT_TRUE(ui.open(QIODevice::WriteOnly));
  ui.write(R"(<ui version="4.0"><class>Test</class>
 <widget class="QWidget" name="root">
  <layout class="QVBoxLayout" name="l">
   <item><widget class="QPushButton" name="goButton">
     <property name="action" stdset="0"><string>go:</string></property></widget></item>
   <item><widget class="QPushButton" name="other">
     <property name="action" stdset="0"><string>nobodyHasThis:</string></property></widget></item>
  </layout>
  <widget class="QDialog" name="sheet"/>
 </widget></ui>)");
  ui.close();

  NSBundle bundle(dir.path());
  NSNib nib(QStringLiteral("Test"), bundle);
  ASSERT_TRUE(nib.isLoaded()) << qPrintable(nib.errorString());
  EXPECT_EQ(nib.mainWindow().widget(), nib.objectNamed(QStringLiteral("root")));
  QWidget* sheet = nib.objectNamed(QStringLiteral("sheet"));
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->isWindow());  // a window of its own, transient for the main one
  EXPECT_EQ(nib.objectNamed(QStringLiteral("nothing")), nullptr);

  Owner owner;
  EXPECT_EQ(nib.connectActions<Owner>(&owner, {{"go:", &Owner::go_}}), 1);
  NSButton(nib.objectNamed(QStringLiteral("goButton"))).performClick_(nullptr);
  EXPECT_EQ(owner.calls, 1);
  EXPECT_EQ(owner.lastSender, nib.objectNamed(QStringLiteral("goButton")));

  NSNib missing(QStringLiteral("Absent"), bundle);
  EXPECT_FALSE(missing.isLoaded());
  EXPECT_FALSE(missing.errorString().isEmpty());
}

}  // namespace
