// An owned descriptor: closed when the holder goes, -1 when empty.
#pragma once

#include <unistd.h>

#include <utility>

namespace quillon {

class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fFd(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ScopedFd(ScopedFd&& other) noexcept : fFd(std::exchange(other.fFd, -1)) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    reset(std::exchange(other.fFd, -1));
    return *this;
  }
  ~ScopedFd() { reset(); }

  int get() const { return fFd; }
  bool valid() const { return fFd >= 0; }
  int release() { return std::exchange(fFd, -1); }
  // Never retried on EINTR: on Linux the descriptor is gone either way.
  void reset(int fd = -1) {
    if (fFd >= 0) (void) close(fFd);
    fFd = fd;
  }

 private:
  int fFd = -1;
};

}  // namespace quillon
