// The floor for the start-up comparison: the least Qt Widgets program that
// shows a window, the size of the uninstaller's main window. Built a second
// time with MINIMAL_WITH_BUTTON, it shows one push button in that window,
// which is what fonts and the widget style cost on their own.
#include <QApplication>
#include <QWidget>
#if defined(MINIMAL_WITH_BUTTON)
#include <QPushButton>
#endif

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Minimal"));
  window.resize(620, 480);
#if defined(MINIMAL_WITH_BUTTON)
  auto* button = new QPushButton(QStringLiteral("Quit"), &window);
  button->move(520, 430);
#endif
  window.show();
  return QApplication::exec();
}
