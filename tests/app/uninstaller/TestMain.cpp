// GUI tests run without a display: Qt's offscreen platform unless the caller
// chose another (an X server under Xvfb, say).
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

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
  // The substitute engines' runs keep no standard error: a test's own
  // messages stay on the terminal, and a run's details hold its log alone.
  setenv("QUILLON_VERBOSE", "1", 1);
  // The system bus of these tests is a private one that the restart tests
  // start at this address. It is fixed before Qt runs, since D-Bus reads
  // the bus addresses once, at its first use of any bus.
  char busFolder[] = "/tmp/quillon-test-bus-XXXXXX";
  if (mkdtemp(busFolder) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string socket = std::string(busFolder) + "/system_bus_socket";
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
  gDefaultHandler = qInstallMessageHandler(QuietHandler);
  int status = 0;
  {
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  unlink(socket.c_str());
  rmdir(busFolder);
  return status;
}
