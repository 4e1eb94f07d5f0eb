// The restart request against python3-dbusmock's logind on a private bus
// that stands in for the system bus.
#include "AppTestSupport.h"
#include "RestartRequest.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace {

const char kPython[] = "/usr/bin/python3";  // the one Debian's python3-dbusmock is installed for

class Restart : public AppTest {
 protected:
  static void SetUpTestSuite() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty() || !QFileInfo(QLatin1String(kPython)).isExecutable()) {
      sSkipReason = "needs dbus-daemon and python3-dbusmock";
      return;
    }
    // The address that the test's main chose for the system bus.
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address.startsWith("unix:path=/tmp/quillon-test-bus-")) {
      sSetUpError = "the test's main sets no private system bus";
      return;
    }
    sBus = std::make_unique<QProcess>();
    sBus->start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                         QStringLiteral("--address=") + QString::fromLocal8Bit(address)});
    if (!sBus->waitForStarted(10000) || !sBus->waitForReadyRead(10000)) {
      sSetUpError = "dbus-daemon did not start";
      return;
    }
    sMock = std::make_unique<QProcess>();
    sMock->setProcessChannelMode(QProcess::ForwardedChannels);
    sMock->start(QLatin1String(kPython), {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                                          QStringLiteral("logind")});
    QDBusConnectionInterface* busInterface = QDBusConnection::systemBus().interface();
    for (int i = 0; i < 400 && busInterface != nullptr; i++) {
      if (busInterface->isServiceRegistered(QStringLiteral("org.freedesktop.login1"))) {
        return;
      }
      sMock->waitForFinished(25);  // a bounded pause that ends early if the mock dies
    }
    sSetUpError = "the logind mock did not come up";
  }

  static void TearDownTestSuite() {
    for (auto* process : {&sMock, &sBus}) {
      if (*process) {
        (*process)->terminate();
        if (!(*process)->waitForFinished(5000)) {
          (*process)->kill();
          (*process)->waitForFinished(5000);
        }
        process->reset();
      }
    }
  }

  void SetUp() override {
    if (sSkipReason != nullptr) {
      GTEST_SKIP() << sSkipReason;
    }
    ASSERT_EQ(sSetUpError, nullptr) << sSetUpError;
    AppTest::SetUp();
    CallMock(QStringLiteral("ClearCalls"));
    SetReboot(QString());
  }

  // Calls a method of the mock's control interface. Plain messages rather
  // than a QDBusInterface, which would introspect the mock and cache what it
  // learnt for the life of the process.
  static QDBusMessage CallMock(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                      QStringLiteral("/org/freedesktop/login1"),
                                                      QStringLiteral("org.freedesktop.DBus.Mock"), method);
    call.setArguments(arguments);
    return QDBusConnection::systemBus().call(call);
  }

  // Replaces the mock's Reboot with Python |code| (empty: accept).
  static void SetReboot(const QString& code) {
    const QDBusMessage reply =
        CallMock(QStringLiteral("AddMethod"), {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"),
                                               QStringLiteral("b"), QString(), code});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
  }

  // The arguments of each Reboot call the mock received.
  static std::vector<QVariantList> RebootCalls() {
    std::vector<QVariantList> calls;
    const QDBusMessage reply = CallMock(QStringLiteral("GetMethodCalls"), {QStringLiteral("Reboot")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
      return calls;
    }
    const QDBusArgument array = reply.arguments().at(0).value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
      quint64 timestamp = 0;
      QVariantList arguments;
      array.beginStructure();
      array >> timestamp >> arguments;
      array.endStructure();
      calls.push_back(arguments);
    }
    array.endArray();
    return calls;
  }

  // Waits, a bounded number of times, until |done| holds.
  template <class Predicate>
  bool WaitUntil(Predicate done) {
    for (int i = 0; i < 400; i++) {
      if (done()) {
        return true;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 25);
      Settle();
    }
    return done();
  }

  void PressRestartOnTheCompletionSheet() {
    controller->restart();
    Settle();
    ASSERT_EQ(Sheet(), CompleteWindow());
    NSButton(Outlet("fCompleteRestartButton")).performClick_(nullptr);
  }

  static inline std::unique_ptr<QProcess> sBus;
  static inline std::unique_ptr<QProcess> sMock;
  static inline const char* sSkipReason = nullptr;  // the tools are not installed
  static inline const char* sSetUpError = nullptr;  // they are, but the bus or mock failed
};

TEST_F(Restart, RebootArrivesInteractiveAndTheApplicationStaysOpen) {
  int terminated = 0;
  QObject context;
  QObject::connect(NSApp, &NSApplication::willTerminate, &context, [&terminated]() { terminated++; });
  PressRestartOnTheCompletionSheet();
  EXPECT_FALSE(CompleteWindow().isVisible());
  ASSERT_TRUE(WaitUntil([this]() { return controller->findChildren<QDBusPendingCallWatcher*>().isEmpty(); }));
  const std::vector<QVariantList> calls = RebootCalls();
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].size(), 1);
  EXPECT_EQ(calls[0][0].metaType(), QMetaType::fromType<bool>());
  EXPECT_TRUE(calls[0][0].toBool());
  EXPECT_TRUE(Sheet().isNil());
  EXPECT_EQ(terminated, 0);
  EXPECT_TRUE(nib->mainWindow().isVisible());
}

TEST_F(Restart, ARefusalShowsItsStatusOnTheErrorSheetAfterTheCompletionSheetHasLeft) {
  SetReboot(QStringLiteral(
      "raise dbus.exceptions.DBusException('not allowed', name='org.freedesktop.DBus.Error.AccessDenied')"));
  PressRestartOnTheCompletionSheet();
  ASSERT_TRUE(WaitUntil([this]() { return !SheetLabel(kNSAlertTitleName).isEmpty(); }));
  EXPECT_FALSE(CompleteWindow().isVisible());
  EXPECT_EQ(SheetLabel(kNSAlertTitleName),
            UninstallerFormatStatus(Text("errorTemplate"), kRestartPrivilegeErr));
  EXPECT_EQ(SheetLabel(kNSAlertTitleName), "The operation could not be completed (error -10004).");
  EXPECT_EQ(RebootCalls().size(), 1u);
  Press(kNSAlertDefaultButtonName);
  EXPECT_TRUE(Sheet().isNil());
}

}  // namespace
