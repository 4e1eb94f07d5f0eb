// Measures, for each program given, the time from starting it to its first
// window being mapped on the X display, and its peak resident memory, in
// turns so that every program sees the same machine. Prints the medians and
// each program's ratio to the first one.
//
//   app_startup_driver RUNS NAME=PROGRAM [NAME=PROGRAM ...]
//
// Runs under an X server with no window manager (Xvfb), where a program's
// top-level windows are children of the root window, so a MapNotify on the
// root is the moment its window appears. A program that needs arguments is
// given as a small script that execs it.
#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Bounds, so that a program that never shows a window cannot hang the run.
constexpr int kMaxWaitForWindowMs = 30000;
// After the window appears, the program paints; its memory peak comes then.
constexpr int kSettleMs = 500;
// Who runs the programs when the driver runs as root.
constexpr uid_t kNobody = 65534;

struct Program {
  std::string name;
  std::string path;
  std::vector<double> startupMs;
  std::vector<double> peakRssMiB;
};

void Drain(Display* display) {
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
  }
}

// Waits up to |timeoutMs| for a top-level window to be mapped; true if one was.
bool WaitForMap(Display* display, Window root, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && event.xmap.event == root && !event.xmap.override_redirect) {
        return true;
      }
    }
    pollfd fd = {ConnectionNumber(display), POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (poll(&fd, 1, static_cast<int>(std::max<long long>(1, left))) < 0 && errno != EINTR) {
      return false;
    }
  }
  return false;
}

bool RunOnce(Display* display, Window root, Program& program) {
  Drain(display);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("fork");
    return false;
  }
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    // The uninstaller refuses to run as root, as a desktop program should:
    // run every program as an ordinary user then (the X server lets any
    // local client in).
    if (geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
      unsetenv("XAUTHORITY");
      setenv("HOME", "/tmp", 1);
    }
    execl(program.path.c_str(), program.path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const bool mapped = WaitForMap(display, root, kMaxWaitForWindowMs);
  const auto shown = Clock::now();
  usleep(kSettleMs * 1000);
  kill(pid, SIGTERM);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  if (!mapped) {
    std::fprintf(stderr, "%s showed no window\n", program.name.c_str());
    return false;
  }
  program.startupMs.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
  program.peakRssMiB.push_back(usage.ru_maxrss / 1024.0);  // ru_maxrss is in KiB
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RUNS NAME=PROGRAM [NAME=PROGRAM ...]\n", argv[0]);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  if (runs < 1 || runs > 1000) {
    std::fprintf(stderr, "RUNS must be 1..1000\n");
    return 2;
  }
  std::vector<Program> programs;
  for (int i = 2; i < argc; i++) {
    const char* eq = std::strchr(argv[i], '=');
    if (eq == nullptr) {
      std::fprintf(stderr, "expected NAME=PROGRAM, got %s\n", argv[i]);
      return 2;
    }
    programs.push_back(Program{std::string(argv[i], static_cast<size_t>(eq - argv[i])), std::string(eq + 1), {}, {}});
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cannot open the X display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  // One warm-up run each fills the page cache; it is not counted.
  for (Program& program : programs) {
    Program warmUp = program;
    if (!RunOnce(display, root, warmUp)) {
      return 1;
    }
  }
  for (int run = 0; run < runs; run++) {
    for (Program& program : programs) {
      if (!RunOnce(display, root, program)) {
        return 1;
      }
    }
  }
  XCloseDisplay(display);

  const double floorMs = Median(programs[0].startupMs);
  const double floorMiB = Median(programs[0].peakRssMiB);
  std::printf("%-28s %18s %16s %10s %10s\n", "program", "start->window ms", "peak RSS MiB", "time x", "memory x");
  for (const Program& program : programs) {
    const double ms = Median(program.startupMs);
    const double mib = Median(program.peakRssMiB);
    std::printf("%-28s %18.1f %16.1f %10.2f %10.2f\n", program.name.c_str(), ms, mib, ms / floorMs, mib / floorMiB);
  }
  std::printf("(medians of %d runs each, taken in turns)\n", runs);
  return 0;
}
