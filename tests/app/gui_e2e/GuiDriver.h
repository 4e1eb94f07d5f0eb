// Drives the uninstaller's windows from outside its process, the way a
// person at the screen would: xdotool finds the windows, gives them the
// keyboard focus, presses keys and clicks; ImageMagick's import takes
// screenshots of the whole (Xvfb) screen. Every program run and every wait
// is bounded.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quillon::guitest {

using Clock = std::chrono::steady_clock;

inline const char kXdotool[] = "/usr/bin/xdotool";
inline const char kImport[] = "/usr/bin/import";
inline const char kConvert[] = "/usr/bin/convert";
inline const char kXvfb[] = "/usr/bin/Xvfb";
inline const char kXauth[] = "/usr/bin/xauth";
inline const char kXprop[] = "/usr/bin/xprop";

struct Output {
  int exitCode = -1;  // -1: killed at the deadline or did not exit normally
  std::string out;    // standard output
};

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

inline int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Runs argv (argv[0] an absolute path) with this process's environment,
// standard error to `errFd` (or /dev/null when -1), and collects standard
// output; kills it at the deadline.
inline Output Run(const std::vector<std::string>& argv, int timeoutMs = 10000, int errFd = -1) {
  Output result;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  if (errFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (err != 0) {
    close(pipeFds[0]);
    return result;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool open = true;
  int status = 0;
  for (;;) {
    if (open) {
      pollfd p{pipeFds[0], POLLIN, 0};
      if (poll(&p, 1, std::min(50, MsLeft(deadline))) > 0) {
        char buffer[65536];
        ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got > 0) {
          result.out.append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
          open = false;
        }
      }
    } else {
      SleepMs(std::min(20, MsLeft(deadline)));
    }
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid && !open) break;
    if (done == pid) {
      // Exited; take what is left in the pipe (its holders may linger).
      char buffer[65536];
      (void) fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
      ssize_t got;
      while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, static_cast<size_t>(got));
      close(pipeFds[0]);
      return WIFEXITED(status) ? Output{WEXITSTATUS(status), result.out} : Output{-1, result.out};
    }
    if (MsLeft(deadline) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      close(pipeFds[0]);
      return Output{-1, result.out};
    }
  }
  close(pipeFds[0]);
  return WIFEXITED(status) ? Output{WEXITSTATUS(status), result.out} : Output{-1, result.out};
}

inline std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

// One application process and its windows on the X display in $DISPLAY.
class Driver {
 public:
  // `title`: the application's window title (an exact match).
  Driver(pid_t app, const std::string& title, std::string shots)
      : fApp(app), fTitle("^" + title + "$"), fShots(std::move(shots)) {}

  // The application's windows that are on the screen now (mapped). All of
  // them, sheets too, carry the application's title; the name also keeps
  // out windows of the X server's own that match any process.
  std::vector<std::string> Windows() const {
    return Words(Run({kXdotool, "search", "--onlyvisible", "--pid", std::to_string(fApp), "--name", fTitle}).out);
  }

  // What xprop prints for one property of a window ("" when it cannot run).
  std::string Property(const std::string& id, const std::string& name) const {
    return Run({kXprop, "-id", id, name}).out;
  }

  // Waits for the first window to appear (xdotool's own --sync wait, bounded
  // by the time-out); returns its id or "".
  std::string WaitForFirstWindow(int timeoutMs) const {
    Output found =
        Run({kXdotool, "search", "--sync", "--onlyvisible", "--pid", std::to_string(fApp), "--name", fTitle},
            timeoutMs);
    std::vector<std::string> ids = Words(found.out);
    return ids.empty() ? std::string() : ids.front();
  }

  // Waits for a window of the application that is not one of `known`.
  std::string WaitForNewWindow(const std::vector<std::string>& known, int timeoutMs) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (const std::string& id : Windows()) {
        if (std::find(known.begin(), known.end(), id) == known.end()) return id;
      }
      if (MsLeft(deadline) == 0 || !AppRunning()) return "";
      SleepMs(50);
    }
  }

  // Waits until `id` is no longer on the screen.
  bool WaitUntilGone(const std::string& id, int timeoutMs) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      std::vector<std::string> now = Windows();
      if (std::find(now.begin(), now.end(), id) == now.end()) return true;
      if (MsLeft(deadline) == 0) return false;
      SleepMs(50);
    }
  }

  bool GetGeometry(const std::string& id, Geometry* g) const {
    Output o = Run({kXdotool, "getwindowgeometry", "--shell", id});
    if (o.exitCode != 0) return false;
    std::istringstream in(o.out);
    bool x = false, y = false, w = false, h = false;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("X=", 0) == 0) x = sscanf(line.c_str(), "X=%d", &g->x) == 1;
      if (line.rfind("Y=", 0) == 0) y = sscanf(line.c_str(), "Y=%d", &g->y) == 1;
      if (line.rfind("WIDTH=", 0) == 0) w = sscanf(line.c_str(), "WIDTH=%d", &g->width) == 1;
      if (line.rfind("HEIGHT=", 0) == 0) h = sscanf(line.c_str(), "HEIGHT=%d", &g->height) == 1;
    }
    return x && y && w && h;
  }

  // Gives `id` the keyboard focus (unless it has it: the widget inside that
  // holds the focus stays), then types the keys (xdotool key names).
  bool Keys(const std::string& id, const std::vector<std::string>& keys) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(10000);
    while (Words(Run({kXdotool, "getwindowfocus"}).out) != std::vector<std::string>{id}) {
      if (MsLeft(deadline) == 0) return false;
      (void) Run({kXdotool, "windowfocus", id});
      SleepMs(20);
    }
    std::vector<std::string> argv = {kXdotool, "key", "--clearmodifiers", "--delay", "50"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return Run(argv).exitCode == 0;
  }

  // A left click at (x, y) inside window `id`.
  bool Click(const std::string& id, int x, int y) const {
    return Run({kXdotool, "mousemove", "--sync", "--window", id, std::to_string(x), std::to_string(y), "click",
                "1"})
               .exitCode == 0;
  }

  // A PNG of the whole screen in the shots folder, taken once the screen
  // has settled (two captures in a row alike), so that a window that was
  // just mapped has been painted.
  bool Screenshot(const std::string& name) const {
    std::string last;
    for (int tries = 0; tries < 40; tries++) {
      Output shot = Run({kImport, "-window", "root", "-depth", "8", "rgb:-"});
      if (shot.exitCode != 0 || shot.out.empty()) return false;
      if (shot.out == last) break;
      last = std::move(shot.out);
      SleepMs(60);
    }
    Output size = Run({"/usr/bin/xdpyinfo"});
    int width = 0, height = 0;
    size_t at = size.out.find("dimensions:");
    if (at == std::string::npos || sscanf(size.out.c_str() + at, "dimensions: %dx%d", &width, &height) != 2) {
      return false;
    }
    std::string raw = fShots + "/" + name + ".rgb";
    int fd = open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool written = write(fd, last.data(), last.size()) == static_cast<ssize_t>(last.size());
    close(fd);
    bool converted = written && Run({kConvert, "-size", std::to_string(width) + "x" + std::to_string(height),
                                     "-depth", "8", "rgb:" + raw, "png:" + fShots + "/" + name + ".png"},
                                    20000)
                                        .exitCode == 0;
    unlink(raw.c_str());
    return converted;
  }

  bool AppRunning() const {
    int status = 0;
    if (fExited) return false;
    pid_t r = waitpid(fApp, &status, WNOHANG);
    if (r == fApp) {
      fExited = true;
      fStatus = status;
      return false;
    }
    return true;
  }

  // Waits for the application to end; its wait status in *status.
  bool WaitForExit(int timeoutMs, int* status) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (AppRunning()) {
      if (MsLeft(deadline) == 0) return false;
      SleepMs(20);
    }
    *status = fStatus;
    return true;
  }

  // Ends the application if it still runs (bounded) and reaps it.
  void Stop() const {
    if (!AppRunning()) return;
    kill(fApp, SIGTERM);
    int status = 0;
    if (!WaitForExit(5000, &status)) {
      kill(fApp, SIGKILL);
      waitpid(fApp, &status, 0);
      fExited = true;
    }
  }

 private:
  pid_t fApp;
  std::string fTitle;
  std::string fShots;
  mutable bool fExited = false;
  mutable int fStatus = 0;
};

// Starts a program with this process's environment plus `env`, standard
// output and error appended to `logPath`. Returns its pid or -1.
inline pid_t Launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const std::string& logPath) {
  int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) return -1;
  // getenv takes the first entry of a name: leave out those `env` replaces.
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; e++) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = std::any_of(env.begin(), env.end(),
                                [&name](const std::string& n) { return n.rfind(name + "=", 0) == 0; });
    if (!replaced) envStrings.push_back(entry);
  }
  envStrings.insert(envStrings.end(), env.begin(), env.end());
  std::vector<char*> envs, args;
  for (std::string& e : envStrings) envs.push_back(e.data());
  envs.push_back(nullptr);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, log, 1);
  posix_spawn_file_actions_adddup2(&actions, log, 2);
  pid_t pid = -1;
  int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envs.data());
  posix_spawn_file_actions_destroy(&actions);
  close(log);
  return err == 0 ? pid : -1;
}

}  // namespace quillon::guitest
