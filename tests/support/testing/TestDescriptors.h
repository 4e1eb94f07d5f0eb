// Small helpers for tests that watch descriptors and standard error.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quillon::testing {

// How many descriptors this process has open.
inline int CountOpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') count++;
  }
  closedir(dir);
  return count - 1;  // the directory's own descriptor
}

// Standard error of this process, caught into a file for the length of a call.
class StderrCapture {
 public:
  StderrCapture() {
    fflush(stderr);
    char name[] = "/tmp/quillon-stderr-XXXXXX";
    fFile = mkstemp(name);
    unlink(name);
    fSaved = dup(STDERR_FILENO);
    dup2(fFile, STDERR_FILENO);
  }
  ~StderrCapture() {
    if (fSaved >= 0) Finish();
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Puts standard error back and returns what was written meanwhile.
  std::string Finish() {
    fflush(stderr);
    dup2(fSaved, STDERR_FILENO);
    close(fSaved);
    fSaved = -1;
    std::string text;
    char buffer[4096];
    lseek(fFile, 0, SEEK_SET);
    ssize_t got;
    while ((got = read(fFile, buffer, sizeof(buffer))) > 0) text.append(buffer, static_cast<size_t>(got));
    close(fFile);
    return text;
  }

 private:
  int fFile = -1;
  int fSaved = -1;
};

}  // namespace quillon::testing
