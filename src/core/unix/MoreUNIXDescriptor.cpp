// Passing open descriptors over a connected UNIX-domain socket.
//
// Each descriptor travels as one message of exactly one data byte with exactly
// one SCM_RIGHTS descriptor attached. On a stream socket the descriptor sticks to
// that byte, so reading one byte per descriptor keeps both sides in step with the
// rest of the byte stream.

#include "MoreUNIX.h"

#include <assert.h>
#include <errno.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

#include "MoreUNIXPrivate.h"

using moreunix_internal::RetryOnEINTR;

namespace {

// The data byte of every descriptor message.
const char kDummyData = 'D';

// Room for exactly one control message carrying one int. The union gives the
// bytes the alignment that struct cmsghdr needs.
union ControlBuffer {
  struct cmsghdr header;
  unsigned char bytes[CMSG_SPACE(sizeof(int))];
};

// Closes every descriptor that the kernel installed for a message we reject, in
// every SCM_RIGHTS control message, truncated ones included: the peer decides
// how many it attaches, and each one would otherwise stay open, unreported.
void CloseReceivedDescriptors(struct msghdr* msg) {
  const unsigned char* controlEnd =
      static_cast<const unsigned char*>(msg->msg_control) + msg->msg_controllen;
  for (struct cmsghdr* cmsg = CMSG_FIRSTHDR(msg); cmsg != NULL; cmsg = CMSG_NXTHDR(msg, cmsg)) {
    if (cmsg->cmsg_level != SOL_SOCKET || cmsg->cmsg_type != SCM_RIGHTS ||
        cmsg->cmsg_len < CMSG_LEN(0)) {
      continue;
    }
    // Trust neither the length field nor the kernel's truncation: only the
    // descriptors that lie inside the filled part of our buffer exist.
    const unsigned char* data = CMSG_DATA(cmsg);
    size_t payload = cmsg->cmsg_len - CMSG_LEN(0);
    size_t available = data < controlEnd ? static_cast<size_t>(controlEnd - data) : 0;
    size_t count = std::min(payload, available) / sizeof(int);
    for (size_t i = 0; i < count; i++) {
      int receivedFd;
      memcpy(&receivedFd, data + i * sizeof(int), sizeof(receivedFd));
      if (receivedFd >= 0) {
        // Nothing useful can be done if this fails; the descriptor is gone.
        (void) close(receivedFd);
      }
    }
  }
}

}  // namespace

int MoreUNIXWriteDescriptor(int fd, int fdToWrite) {
  assert(fd >= 0);
  assert(fdToWrite >= 0);

  struct iovec iov;
  iov.iov_base = const_cast<char*>(&kDummyData);
  iov.iov_len = sizeof(kDummyData);

  ControlBuffer control;
  memset(&control, 0, sizeof(control));

  struct msghdr msg;
  memset(&msg, 0, sizeof(msg));
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control.bytes;
  msg.msg_controllen = sizeof(control.bytes);

  struct cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
  cmsg->cmsg_len = CMSG_LEN(sizeof(int));
  cmsg->cmsg_level = SOL_SOCKET;
  cmsg->cmsg_type = SCM_RIGHTS;
  memcpy(CMSG_DATA(cmsg), &fdToWrite, sizeof(int));

  // MSG_NOSIGNAL: a vanished peer is EPIPE even in a process that has not
  // ignored SIGPIPE; where it is ignored this changes nothing.
  int err = 0;
  ssize_t bytesSent = RetryOnEINTR([&] { return sendmsg(fd, &msg, MSG_NOSIGNAL); });
  if (bytesSent != 1) {
    assert(bytesSent == -1);
    err = errno;
    assert(err != 0);
  }
  return err;
}

int MoreUNIXReadDescriptor(int fd, int* fdRead) {
  assert(fd >= 0);
  assert(fdRead != NULL);
  assert(*fdRead == -1);

  char dataByte = 0;
  struct iovec iov;
  ControlBuffer control;
  struct msghdr msg;

  // The message is rebuilt before every attempt so a retried call starts clean.
  // MSG_CMSG_CLOEXEC: the descriptor must not leak into programs we start
  // before the caller gets round to deciding about it. (The buffer is reached
  // through a pointer: struct cmsghdr ends in a flexible array, which a lambda
  // may not capture.)
  unsigned char* controlBytes = control.bytes;
  ssize_t bytesReceived = RetryOnEINTR([&] {
    iov.iov_base = &dataByte;
    iov.iov_len = sizeof(dataByte);
    memset(controlBytes, 0, sizeof(ControlBuffer));
    memset(&msg, 0, sizeof(msg));
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = controlBytes;
    msg.msg_controllen = sizeof(ControlBuffer::bytes);
    return recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
  });

  int err = 0;
  if (bytesReceived == 1) {
    struct cmsghdr* cmsg = CMSG_FIRSTHDR(&msg);
    int receivedFd = -1;
    // The kernel echoes MSG_CMSG_CLOEXEC in msg_flags; any other flag
    // (MSG_CTRUNC, MSG_TRUNC, ...) means a malformed message.
    if (msg.msg_controllen != sizeof(control.bytes) ||
        (msg.msg_flags & ~MSG_CMSG_CLOEXEC) != 0 ||
        dataByte != kDummyData ||
        cmsg == NULL ||
        cmsg->cmsg_len != CMSG_LEN(sizeof(int)) ||
        cmsg->cmsg_level != SOL_SOCKET ||
        cmsg->cmsg_type != SCM_RIGHTS) {
      err = EINVAL;
    } else {
      memcpy(&receivedFd, CMSG_DATA(cmsg), sizeof(receivedFd));
      if (receivedFd < 0) {
        err = EINVAL;
      }
    }
    if (err == 0) {
      *fdRead = receivedFd;
    } else {
      CloseReceivedDescriptors(&msg);
    }
  } else if (bytesReceived == 0) {
    // The peer closed the socket before the message.
    err = EPIPE;
  } else {
    assert(bytesReceived == -1);
    err = errno;
    assert(err != 0);
  }

  assert((err == 0) == (*fdRead >= 0));
  return err;
}
