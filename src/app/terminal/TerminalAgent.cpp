#include "TerminalAgent.h"

#include "MoreUNIX.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

const char kPkttyagent[] = "/usr/bin/pkttyagent";
// The agent closes this descriptor once polkitd has registered it.
const int kNotifyFd = 3;

// Field 22 of /proc/PID/stat, the start time polkit uses to tell processes
// apart; 0 when it cannot be read.
unsigned long long StartTime(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* file = std::fopen(path, "re");
  if (file == nullptr) return 0;
  char buffer[1024];
  const size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  buffer[got] = '\0';
  // The command name may hold spaces and parentheses: fields start after
  // the last ')'.
  const char* at = std::strrchr(buffer, ')');
  if (at == nullptr) return 0;
  at++;
  for (int field = 3; field < 22 && at != nullptr; field++) {
    at = std::strchr(at + 1, ' ');
  }
  return at == nullptr ? 0 : std::strtoull(at + 1, nullptr, 10);
}

pid_t WaitFor(pid_t pid, int options) {
  pid_t done;
  do {
    done = waitpid(pid, nullptr, options);
  } while (done < 0 && errno == EINTR);
  return done;
}

}  // namespace

bool TerminalHasControllingTerminal() {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return false;
  (void) close(tty);
  return true;
}

int TerminalAgent::Start(pid_t subject, int timeoutSeconds) {
  if (fPID > 0) return EBUSY;
  if (access(kPkttyagent, X_OK) != 0) return ENOENT;
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return ENXIO;
  int notify[2];
  if (pipe2(notify, O_CLOEXEC) != 0) {
    const int err = errno;
    (void) close(tty);
    return err;
  }
  std::string process = std::to_string(subject);
  if (const unsigned long long start = StartTime(subject); start != 0) process += "," + std::to_string(start);
  const std::string notifyArg = "--notify-fd=" + std::to_string(kNotifyFd);
  char* argv[] = {const_cast<char*>("pkttyagent"), const_cast<char*>("--process"), process.data(),
                  const_cast<char*>(notifyArg.c_str()), nullptr};

  const MoreUNIXSpawnDescriptor descriptors[] = {{tty, 0}, {tty, 1}, {tty, 2}, {notify[1], kNotifyFd}};
  // Default actions and no blocked signal: Ctrl-C at its prompt ends it.
  const int defaults[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
  const MoreUNIXSpawnOptions options = {descriptors, sizeof descriptors / sizeof descriptors[0], defaults,
                                        sizeof defaults / sizeof defaults[0], nullptr};
  pid_t pid = -1;
  int err = MoreUNIXSpawn(kPkttyagent, argv, environ, &options, &pid);
  (void) close(notify[1]);
  (void) close(tty);
  if (err != 0) {
    (void) close(notify[0]);
    return err;
  }
  fPID = pid;

  // Registered when the descriptor closes while the agent still runs.
  struct timespec begin;
  clock_gettime(CLOCK_MONOTONIC, &begin);
  err = ETIMEDOUT;
  for (;;) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long leftMs = timeoutSeconds * 1000LL - ((now.tv_sec - begin.tv_sec) * 1000LL +
                                                         (now.tv_nsec - begin.tv_nsec) / 1000000);
    if (leftMs <= 0) break;
    pollfd wait = {notify[0], POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(leftMs > 1000 ? 1000 : leftMs));
    if (ready < 0 && errno != EINTR) {
      err = errno;
      break;
    }
    if (ready > 0) {
      char byte;
      ssize_t got;
      do {
        got = read(notify[0], &byte, 1);
      } while (got < 0 && errno == EINTR);
      if (got <= 0) {
        err = WaitFor(fPID, WNOHANG) == fPID ? ECHILD : 0;
        if (err == ECHILD) fPID = -1;
        break;
      }
    }
  }
  (void) close(notify[0]);
  if (err != 0) Stop();
  return err;
}

void TerminalAgent::Stop() {
  if (fPID <= 0) return;
  (void) kill(fPID, SIGTERM);
  for (int i = 0; i < 100; i++) {
    if (WaitFor(fPID, WNOHANG) != 0) {
      fPID = -1;
      return;
    }
    struct timespec pause = {0, 20 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  (void) kill(fPID, SIGKILL);
  (void) WaitFor(fPID, 0);
  fPID = -1;
}
