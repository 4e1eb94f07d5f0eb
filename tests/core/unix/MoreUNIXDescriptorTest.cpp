#include "MoreUNIX.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MoreUNIXTestSupport.h"

namespace {

using moreunix_test::OpenDescriptors;
using moreunix_test::ReadWholeFile;
using moreunix_test::TempDir;

class DescriptorPassingTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets_), 0);
  }
  void TearDown() override {
    for (int fd : sockets_) if (fd >= 0) close(fd);
  }

  // Sends |byte| with |fds| attached in one SCM_RIGHTS message (none: no control data).
  void SendRaw(char byte, const std::vector<int>& fds) {
    struct iovec iov = {&byte, 1};
    alignas(struct cmsghdr) unsigned char control[CMSG_SPACE(8 * sizeof(int))] = {};
    struct msghdr msg = {};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (!fds.empty()) {
      msg.msg_control = control;
      msg.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
      struct cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
      cmsg->cmsg_level = SOL_SOCKET;
      cmsg->cmsg_type = SCM_RIGHTS;
      cmsg->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
      memcpy(CMSG_DATA(cmsg), fds.data(), fds.size() * sizeof(int));
    }
    ASSERT_EQ(sendmsg(sockets_[1], &msg, 0), 1);
  }

  int OpenFile(const std::string& path) { return open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600); }

  int sockets_[2] = {-1, -1};
  TempDir dir_;
};

TEST_F(DescriptorPassingTest, ReceivedDescriptorIsTheSentOpenFile) {
  int sent = OpenFile(dir_ / "shared");
  ASSERT_GE(sent, 0);
  ASSERT_EQ(write(sent, "abc", 3), 3);
  ASSERT_EQ(MoreUNIXWriteDescriptor(sockets_[1], sent), 0);

  int received = -1;
  ASSERT_EQ(MoreUNIXReadDescriptor(sockets_[0], &received), 0);
  EXPECT_NE(received, sent);
  EXPECT_TRUE(fcntl(received, F_GETFD) & FD_CLOEXEC);
  // Same open file: the offset is shared, so this write lands after "abc".
  ASSERT_EQ(write(received, "def", 3), 3);
  EXPECT_EQ(lseek(sent, 0, SEEK_CUR), 6);
  EXPECT_EQ(ReadWholeFile(dir_ / "shared"), "abcdef");
  close(received);
  close(sent);
}

TEST_F(DescriptorPassingTest, DescriptorsArriveInOrderAndInStepWithTheStream) {
  std::vector<int> sent;
  for (const char* name : {"a", "b", "c"}) sent.push_back(OpenFile(dir_ / name));
  ASSERT_EQ(MoreUNIXWrite(sockets_[1], "head", 4, NULL), 0);
  for (int fd : sent) ASSERT_EQ(MoreUNIXWriteDescriptor(sockets_[1], fd), 0);
  ASSERT_EQ(MoreUNIXWrite(sockets_[1], "tail", 4, NULL), 0);

  char buf[4];
  ASSERT_EQ(MoreUNIXRead(sockets_[0], buf, 4, NULL), 0);
  EXPECT_EQ(std::string(buf, 4), "head");
  for (int fd : sent) {
    int received = -1;
    ASSERT_EQ(MoreUNIXReadDescriptor(sockets_[0], &received), 0);
    struct stat sentStat, receivedStat;
    ASSERT_EQ(fstat(fd, &sentStat), 0);
    ASSERT_EQ(fstat(received, &receivedStat), 0);
    EXPECT_EQ(sentStat.st_ino, receivedStat.st_ino);
    close(received);
    close(fd);
  }
  ASSERT_EQ(MoreUNIXRead(sockets_[0], buf, 4, NULL), 0);
  EXPECT_EQ(std::string(buf, 4), "tail");
}

TEST_F(DescriptorPassingTest, MalformedMessagesAreRejectedAndWhatTheyCarriedIsClosed) {
  int file = OpenFile(dir_ / "f");
  ASSERT_GE(file, 0);
  struct Case {
    const char* what;
    char byte;
    std::vector<int> fds;
  };
  const Case cases[] = {
      {"plain byte without control data", 'D', {}},
      {"wrong byte with a descriptor", 'X', {file}},
      {"two descriptors, which still fit the buffer", 'D', {file, file}},
      {"three descriptors: truncated control data", 'D', {file, file, file}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SendRaw(c.byte, c.fds);
    std::set<int> before = OpenDescriptors();
    int received = -1;
    EXPECT_EQ(MoreUNIXReadDescriptor(sockets_[0], &received), EINVAL);
    EXPECT_EQ(received, -1);
    EXPECT_EQ(OpenDescriptors(), before);
  }
  // The stream is still in step: a good message after the bad ones is accepted.
  ASSERT_EQ(MoreUNIXWriteDescriptor(sockets_[1], file), 0);
  int received = -1;
  EXPECT_EQ(MoreUNIXReadDescriptor(sockets_[0], &received), 0);
  close(received);
  close(file);
}

TEST_F(DescriptorPassingTest, VanishedPeerIsEPIPEOnBothSides) {
  int file = OpenFile(dir_ / "f");
  ASSERT_EQ(MoreUNIXWriteDescriptor(sockets_[1], file), 0);
  close(sockets_[1]);
  sockets_[1] = -1;

  // The one descriptor that was sent arrives; the next one never will.
  int received = -1;
  ASSERT_EQ(MoreUNIXReadDescriptor(sockets_[0], &received), 0);
  close(received);
  std::set<int> before = OpenDescriptors();
  received = -1;
  EXPECT_EQ(MoreUNIXReadDescriptor(sockets_[0], &received), EPIPE);
  EXPECT_EQ(received, -1);
  EXPECT_EQ(OpenDescriptors(), before);

  EXPECT_EQ(MoreUNIXWriteDescriptor(sockets_[0], file), EPIPE);
  close(file);
}

TEST_F(DescriptorPassingTest, ReceiverDemandsAnEmptyOutParameter) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int notEmpty = 0;
  EXPECT_DEATH(MoreUNIXReadDescriptor(sockets_[0], &notEmpty), "\\*fdRead == -1");
}

}  // namespace
