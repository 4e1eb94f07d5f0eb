// GUI tests run without a display: Qt's offscreen platform unless the caller
// chose another (an X server under Xvfb, say).
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// The offscreen platform says so each time a window is raised or sized;
// that is expected here and only buries real messages.
QtMessageHandler gDefaultHandler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) {
    return;
  }
  if (gDefaultHandler != nullptr) {
    gDefaultHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  gDefaultHandler = qInstallMessageHandler(QuietHandler);
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
