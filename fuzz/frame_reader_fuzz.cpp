// libFuzzer target: arbitrary bytes arriving on a descriptor, read as one
// request frame, exactly as the helper tool reads its request.
//
// Checks, besides memory safety, that the reader consumes exactly the frame:
// 4 bytes for a length it refuses, 4 + L bytes for a frame it reads, and
// everything for a stream that ends inside the frame.
#include <CoreFoundation/CoreFoundation.h>

#include "MoreSecProtocolPrivate.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) abort();
  // One pipe holds the whole input so that it can be written before reading.
  const int capacity = fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  if (capacity < 0) abort();
  if (size > static_cast<size_t>(capacity)) size = static_cast<size_t>(capacity);
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fds[1], bytes + done, size - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  close(fds[1]);

  CFDictionaryRef dict = nullptr;
  const OSStatus err = CopyDictionaryFromDescriptor(fds[0], &dict);
  int left = 0;
  if (ioctl(fds[0], FIONREAD, &left) != 0) abort();
  close(fds[0]);
  if ((err == noErr) != (dict != nullptr)) abort();
  if (dict != nullptr) {
    if (CFGetTypeID(dict) != CFDictionaryGetTypeID()) abort();
    CFRelease(dict);
  }

  size_t expectedLeft = 0;
  if (size >= 4) {
    int32_t length;
    memcpy(&length, bytes, sizeof length);
    if (length >= 1 && length <= kMoreSecMaxFrameBodyLength) {
      expectedLeft = size - 4 >= static_cast<size_t>(length) ? size - 4 - static_cast<size_t>(length) : 0;
    } else {
      expectedLeft = size - 4;
    }
  }
  if (static_cast<size_t>(left) != expectedLeft) abort();
  if (size < 4 && err != EPIPE) abort();
  return 0;
}
