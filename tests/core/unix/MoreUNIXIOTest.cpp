#include "MoreUNIX.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "MoreUNIXTestSupport.h"

namespace {

using moreunix_test::Interrupter;
using moreunix_test::Pattern;

class WholeBufferIOTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets_), 0);
  }
  void TearDown() override {
    for (int fd : sockets_) if (fd >= 0) close(fd);
  }
  void ClosePeer() { close(sockets_[1]); sockets_[1] = -1; }

  int sockets_[2] = {-1, -1};
};

TEST_F(WholeBufferIOTest, ErrnoMapsOnlyNegativeResults) {
  EXPECT_EQ(MoreUNIXErrno(0), 0);
  errno = EBADF;
  EXPECT_EQ(MoreUNIXErrno(7), 0);  // a descriptor number is success, whatever errno says
  EXPECT_EQ(MoreUNIXErrno(close(-1)), EBADF);
}

TEST_F(WholeBufferIOTest, ZeroLengthTransfersMakeNoSystemCall) {
  char buf[1];
  size_t count = 99;
  const int notOpen = 1000;  // a call on it would fail with EBADF
  ASSERT_EQ(fcntl(notOpen, F_GETFD), -1);
  EXPECT_EQ(MoreUNIXRead(notOpen, buf, 0, &count), 0);
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_EQ(MoreUNIXWrite(notOpen, buf, 0, &count), 0);
  EXPECT_EQ(count, 0u);
}

TEST_F(WholeBufferIOTest, EndOfFileIsEPIPEWithTheCountSoFar) {
  char buf[16];
  size_t count = 99;
  ASSERT_EQ(MoreUNIXWrite(sockets_[1], "0123456789", 10, &count), 0);
  EXPECT_EQ(count, 10u);
  ASSERT_EQ(write(sockets_[1], "abcdefghij", 10), 10);
  ClosePeer();

  EXPECT_EQ(MoreUNIXRead(sockets_[0], buf, 10, &count), 0);  // exactly what is there
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  EXPECT_EQ(MoreUNIXRead(sockets_[0], buf, 16, &count), EPIPE);  // more than is there
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(std::string(buf, 10), "abcdefghij");
  EXPECT_EQ(MoreUNIXRead(sockets_[0], buf, 16, &count), EPIPE);  // nothing at all
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(MoreUNIXRead(sockets_[0], buf, 16, NULL), EPIPE);
}

TEST_F(WholeBufferIOTest, OtherErrorsAreTheStatusWithTheCount) {
  char buf[4];
  size_t count = 99;
  ASSERT_EQ(fcntl(sockets_[0], F_SETFL, O_NONBLOCK), 0);
  EXPECT_EQ(MoreUNIXRead(sockets_[0], buf, sizeof(buf), &count), EAGAIN);  // not retried
  EXPECT_EQ(count, 0u);
}

TEST_F(WholeBufferIOTest, WriteToVanishedPeerIsEPIPEAndTheProcessSurvives) {
  ClosePeer();
  size_t count = 99;
  EXPECT_EQ(MoreUNIXWrite(sockets_[0], "x", 1, &count), EPIPE);
  EXPECT_EQ(count, 0u);
}

TEST_F(WholeBufferIOTest, InterruptedReadContinuesWithItsProgress) {
  Interrupter interrupter;
  bool interrupted = false;
  std::thread peer([&] {
    (void) write(sockets_[1], "first-", 6);
    // Once the first part is consumed the reader sleeps in its next read().
    Interrupter::WaitFor([&] {
      int pending = -1;
      return ioctl(sockets_[0], FIONREAD, &pending) == 0 && pending == 0;
    });
    interrupted = interrupter.InterruptWhenAsleep();
    (void) write(sockets_[1], "second", 6);
  });
  char buf[12];
  size_t count = 0;
  int err = MoreUNIXRead(sockets_[0], buf, sizeof(buf), &count);
  peer.join();
  EXPECT_TRUE(interrupted);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(count, 12u);
  EXPECT_EQ(std::string(buf, 12), "first-second");
}

TEST_F(WholeBufferIOTest, InterruptedWriteContinuesWithItsProgress) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const std::string data = Pattern(1 << 20);  // far more than the pipe holds
  Interrupter interrupter;
  bool interrupted = true;
  std::string received;
  std::thread peer([&] {
    // The first signal may end a write that made progress; the second then
    // hits one that has not and so fails with EINTR.
    interrupted = interrupter.InterruptWhenAsleep() && interrupter.InterruptWhenAsleep();
    char chunk[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], chunk, sizeof(chunk))) > 0) received.append(chunk, n);
  });
  size_t count = 0;
  int err = MoreUNIXWrite(pipeFds[1], data.data(), data.size(), &count);
  close(pipeFds[1]);
  peer.join();
  close(pipeFds[0]);
  EXPECT_TRUE(interrupted);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(count, data.size());
  EXPECT_TRUE(received == data);
}

TEST(IgnoreSIGPIPETest, ReplacesOnlyTheHandler) {
  struct sigaction custom = {};
  custom.sa_handler = [](int) {};
  sigemptyset(&custom.sa_mask);
  sigaddset(&custom.sa_mask, SIGUSR2);
  custom.sa_flags = SA_RESTART | SA_NODEFER;
  ASSERT_EQ(sigaction(SIGPIPE, &custom, NULL), 0);

  EXPECT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
  EXPECT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);  // again is harmless
  struct sigaction now = {};
  ASSERT_EQ(sigaction(SIGPIPE, NULL, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  EXPECT_TRUE(sigismember(&now.sa_mask, SIGUSR2));
  EXPECT_EQ(now.sa_flags & (SA_RESTART | SA_NODEFER), SA_RESTART | SA_NODEFER);
}

TEST(IgnoreSIGPIPEDeathTest, WriteWithoutIgnoredSIGPIPEStopsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_DEATH(
      {
        signal(SIGPIPE, SIG_DFL);
        MoreUNIXWrite(fds[1], "", 0, NULL);  // checked even when nothing is sent
      },
      "currentSignalState.sa_handler == SIG_IGN");
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
