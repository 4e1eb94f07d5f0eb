// Helpers shared by the MoreUNIX tests.

#ifndef QUILLON_TESTS_CORE_UNIX_MOREUNIXTESTSUPPORT_H
#define QUILLON_TESTS_CORE_UNIX_MOREUNIXTESTSUPPORT_H

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace moreunix_test {

// A private folder, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = testing::TempDir() + "moreunix-XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// Bytes that differ from block to block, so a misplaced block shows up.
inline std::string Pattern(size_t size) {
  std::string data(size, '\0');
  uint32_t x = 2463534242u;
  for (char& c : data) {
    x ^= x << 13; x ^= x >> 17; x ^= x << 5;
    c = static_cast<char>(x);
  }
  return data;
}

// The descriptors open in this process right now.
inline std::set<int> OpenDescriptors() {
  std::set<int> fds;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return fds;
  while (struct dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.' && atoi(entry->d_name) != dirfd(dir)) fds.insert(atoi(entry->d_name));
  }
  closedir(dir);
  return fds;
}

// Lets a test interrupt its own thread while it sleeps in a system call, with a
// handler installed without SA_RESTART, so that the call fails with EINTR.
class Interrupter {
 public:
  Interrupter() : tid_(gettid()), thread_(pthread_self()) {
    struct sigaction action = {};
    action.sa_handler = [](int) { deliveries_.fetch_add(1); };
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, &previous_);
  }
  ~Interrupter() { sigaction(SIGUSR1, &previous_, nullptr); }

  // Called from another thread: waits (bounded) until the target thread sleeps,
  // then signals it and waits for the handler. False if either never happened.
  bool InterruptWhenAsleep() {
    if (!WaitFor([&] { return ThreadSleeps(); })) return false;
    int before = deliveries_.load();
    pthread_kill(thread_, SIGUSR1);
    return WaitFor([&] { return deliveries_.load() > before; });
  }

  template <typename Condition>
  static bool WaitFor(Condition condition) {
    for (int i = 0; i < 20000; i++) {  // at most about 20 seconds
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 private:
  bool ThreadSleeps() const {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid_) + "/stat");
    std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] == 'S';
  }

  static inline std::atomic<int> deliveries_{0};
  pid_t tid_;
  pthread_t thread_;
  struct sigaction previous_;
};

}  // namespace moreunix_test

#endif  // QUILLON_TESTS_CORE_UNIX_MOREUNIXTESTSUPPORT_H
