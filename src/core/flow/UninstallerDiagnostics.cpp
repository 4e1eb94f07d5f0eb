#include "UninstallerDiagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::mutex gMutex;
int gKept = -1;      // the anonymous file now behind descriptor 2
int gOriginal = -1;  // the standard error the process started with

}  // namespace

bool UninstallerDiagnosticsVerbose() {
  const char* value = std::getenv("QUILLON_VERBOSE");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

off_t UninstallerDiagnosticsMark() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gKept < 0 && !UninstallerDiagnosticsVerbose()) {
    const int kept = memfd_create("quillon-diagnostics", MFD_CLOEXEC);
    const int original = kept >= 0 ? fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3) : -1;
    std::fflush(stderr);
    // Once kept, kept for good: the engine's agent thread may still write
    // after its run has returned, and those lines belong to no terminal.
    if (original >= 0 && dup2(kept, STDERR_FILENO) >= 0) {
      gKept = kept;
      gOriginal = original;
    } else {
      if (kept >= 0) (void) close(kept);
      if (original >= 0) (void) close(original);
    }
  }
  if (gKept < 0) return 0;
  std::fflush(stderr);
  const off_t end = lseek(gKept, 0, SEEK_END);
  return end < 0 ? 0 : end;
}

std::string UninstallerDiagnosticsSince(off_t mark, size_t limit) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::string text;
  if (gKept < 0) return text;
  std::fflush(stderr);
  const off_t end = lseek(gKept, 0, SEEK_END);
  if (end <= mark) return text;
  off_t from = mark;
  const bool cut = static_cast<size_t>(end - mark) > limit;
  if (cut) from = end - static_cast<off_t>(limit);
  text.resize(static_cast<size_t>(end - from));
  const ssize_t got = pread(gKept, text.data(), text.size(), from);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  if (cut) {
    // A line cut in two says nothing: start at the next whole one.
    const size_t newline = text.find('\n');
    text.erase(0, newline == std::string::npos ? text.size() : newline + 1);
  }
  return text;
}

int UninstallerOwnStderr() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gOriginal >= 0 ? gOriginal : STDERR_FILENO;
}
