// Scratch trees and program runs for the product's tests. Nothing here
// touches the machine's own /etc, /opt or homes: every tree lives in a fresh
// folder below /tmp and goes again with its holder.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace quillon::producttest {

inline int RemoveOne(const char* path, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? rmdir(path) : unlink(path);
}

// A fresh folder, mode 0755, removed with everything in it (links are
// removed, never followed) when the holder goes.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/qlproduct-XXXXXX";
    if (mkdtemp(pattern) != nullptr) {
      fPath = pattern;
      (void) chmod(pattern, 0755);
    }
  }
  ~ScratchDir() {
    if (!fPath.empty()) (void) nftw(fPath.c_str(), RemoveOne, 32, FTW_DEPTH | FTW_PHYS);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  bool ok() const { return !fPath.empty(); }
  const std::string& path() const { return fPath; }
  std::string operator/(const std::string& relative) const { return fPath + "/" + relative; }

 private:
  std::string fPath;
};

// Creates every missing folder of `path` (mode 0755).
inline bool MakeDirs(const std::string& path) {
  for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

inline bool WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644) {
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(path.substr(0, slash))) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool good = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  good = fchmod(fd, mode) == 0 && good;
  return close(fd) == 0 && good;
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "<missing>";
  std::string content;
  char buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, static_cast<size_t>(got));
  (void) close(fd);
  return content;
}

// The entries of a receipt: one absolute path per non-empty line.
inline std::vector<std::string> ReceiptEntries(const std::string& receipt) {
  std::vector<std::string> entries;
  const std::string content = ReadFile(receipt);
  for (size_t at = 0; at < content.size();) {
    size_t end = content.find('\n', at);
    if (end == std::string::npos) end = content.size();
    if (end > at) entries.push_back(content.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

// True when something (even a dangling link) is there.
inline bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

struct RunResult {
  int exitCode = -1;   // -1 when it did not exit normally
  std::string output;  // standard output and standard error, interleaved
};

// Runs argv[0] (an absolute path) with exactly `env`, stdin /dev/null, and
// waits for it.
inline RunResult RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  RunResult result;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  std::vector<char*> args, envs;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envs.push_back(const_cast<char*>(e.c_str()));
  envs.push_back(nullptr);
  pid_t pid = -1;
  int err = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envs.data());
  posix_spawn_file_actions_destroy(&actions);
  (void) close(pipeFds[1]);
  if (err == 0) {
    char buffer[65536];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(got));
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  }
  (void) close(pipeFds[0]);
  return result;
}

inline std::string BundlePath(const std::string& name) { return std::string(QUILLON_BUNDLE_DIR) + "/" + name; }
inline std::string DemoInstaller() { return std::string(QUILLON_BINARY_ROOT) + "/demo/quillon-demo-install"; }

}  // namespace quillon::producttest
