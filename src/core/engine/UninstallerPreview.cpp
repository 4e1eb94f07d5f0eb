#include "UninstallerPreview.h"

#include "MoreUNIX.h"
#include "UninstallerEnginePrivate.h"

#include <CoreFoundation/CFRef.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A listing reads a few files; a tool that takes longer is stuck, or held up
// by an account that owns it.
constexpr int kToolTimeLimitMilliseconds = 60 * 1000;
// 65,536 receipt entries of a long path each stay below this.
constexpr size_t kMaxToolOutput = 16 * 1024 * 1024;

const struct {
  const char* word;
  UninstallerPreviewKind kind;
} kKinds[] = {
    {"file", UninstallerPreviewKind::kFile},
    {"folder", UninstallerPreviewKind::kFolder},
    {"link", UninstallerPreviewKind::kLink},
    {"alsa-block", UninstallerPreviewKind::kAlsaBlock},
    {"login-item", UninstallerPreviewKind::kLoginItem},
};

std::string BundleExecutable(const char* name) {
  CFRef<CFStringRef> cfName(CFStringCreateWithCString(NULL, name, kCFStringEncodingUTF8));
  CFRef<CFURLRef> url(CFBundleCopyAuxiliaryExecutableURL(CFBundleGetMainBundle(), cfName.get()));
  if (!url) return std::string();
  CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url.get(), kCFURLPOSIXPathStyle));
  char buffer[4096];
  if (!path || !CFStringGetCString(path.get(), buffer, sizeof buffer, kCFStringEncodingUTF8)) return std::string();
  return buffer;
}

long long MillisecondsSince(const struct timespec& start) {
  struct timespec now;
  (void) clock_gettime(CLOCK_MONOTONIC, &now);
  return (static_cast<long long>(now.tv_sec) - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

// Runs |path| |mode| --list and returns its standard output in *output.
int RunListing(const std::string& path, const char* mode, const UninstallerUserAccount* account, std::string* output) {
  std::string program = path;
  char* argv[] = {program.data(), const_cast<char*>(mode), const_cast<char*>("--list"), NULL};
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
  pid_t child = -1;
  int err;
  if (account != NULL) {
    err = UninstallerSpawnAsAccount(path.c_str(), argv, account, pipeFds[1], &child);
  } else {
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    err = devNull < 0 ? errno : 0;
    if (err == 0) {
      const MoreUNIXSpawnDescriptor descriptors[] = {{devNull, STDIN_FILENO}, {pipeFds[1], STDOUT_FILENO}};
      const int defaults[] = {SIGPIPE};
      const MoreUNIXSpawnOptions options = {descriptors, 2, defaults, 1, NULL};
      err = MoreUNIXSpawn(path.c_str(), argv, environ, &options, &child);
      (void) close(devNull);
    }
  }
  (void) close(pipeFds[1]);
  if (err == 0) {
    struct timespec start;
    (void) clock_gettime(CLOCK_MONOTONIC, &start);
    char buffer[65536];
    for (;;) {
      const long long left = kToolTimeLimitMilliseconds - MillisecondsSince(start);
      struct pollfd wanted = {pipeFds[0], POLLIN, 0};
      const int ready = left > 0 ? poll(&wanted, 1, static_cast<int>(left)) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        // A child run as an account leads a session of its own.
        (void) kill(account != NULL ? -child : child, SIGKILL);
        err = ETIMEDOUT;
        break;
      }
      const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      output->append(buffer, std::min(static_cast<size_t>(got), kMaxToolOutput - output->size()));
      if (output->size() == kMaxToolOutput) {
        (void) kill(account != NULL ? -child : child, SIGKILL);
        err = EFBIG;
        break;
      }
    }
    while (waitpid(child, NULL, 0) < 0 && errno == EINTR) {
    }
  }
  (void) close(pipeFds[0]);
  return err;
}

}  // namespace

size_t UninstallerPreviewPart::Count(UninstallerPreviewKind kind) const {
  size_t count = 0;
  for (const UninstallerPreviewItem& item : items) count += item.kind == kind ? 1 : 0;
  return count;
}

void UninstallerPreviewParse(const std::string& output, UninstallerPreviewPart* part) {
  assert(part != NULL);
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();  // a line cut short is no item
    const std::string line = output.substr(start, end - start);
    const bool whole = end < output.size();
    start = end + 1;
    const size_t space = line.find(' ');
    if (!whole || space == std::string::npos || space + 1 == line.size()) continue;
    const std::string word = line.substr(0, space);
    const std::string rest = line.substr(space + 1);
    if (word == "note") {
      part->notes.push_back(rest);
      continue;
    }
    for (const auto& known : kKinds) {
      if (word != known.word) continue;
      // Absolute paths only: anything else is not an item of ours.
      if (rest[0] != '/') break;
      bool seen = false;
      for (UninstallerPreviewItem& item : part->items) {
        if (item.path != rest) continue;
        seen = true;
        if (known.kind == UninstallerPreviewKind::kLoginItem) item.kind = known.kind;
      }
      if (!seen) part->items.push_back({known.kind, rest});
      break;
    }
  }
}

int UninstallerPreview(bool systemPart, Boolean removeMidiDevices, const UninstallerUserAccount* account,
                       UninstallerPreviewPart* part) {
  assert(part != NULL && part->items.empty() && part->notes.empty());
  std::vector<const char*> tools = {"RemoveReceipted", "PruneLoginItem"};
  if (removeMidiDevices & 1) tools.push_back("PruneMIDI");
  const char* mode = systemPart ? "--system" : "--user";
  int first = 0;
  for (const char* tool : tools) {
    const std::string path = BundleExecutable(tool);
    if (path.empty()) {
      part->notes.push_back(std::string("cannot tell what ") + tool + " would remove: it is not in the bundle");
      continue;
    }
    std::string output;
    const int err = RunListing(path, mode, account, &output);
    UninstallerPreviewParse(output, part);
    if (err != 0) {
      part->notes.push_back(std::string("cannot tell all that ") + tool + " would remove: " + strerror(err));
      if (first == 0) first = err;
    }
  }
  return first;
}
