// Drives the uninstaller under Wayland, where no program can look into or
// type into another's windows: weston's headless compositor shows them,
// the accessibility bus (AT-SPI, on a session bus of our own) reads their
// texts and presses their buttons, and weston-screenshooter takes the
// screenshots. Every program run and every wait is bounded.
#pragma once

#include "GuiDriver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace quillon::guitest {

inline const char kWeston[] = "/usr/bin/weston";
inline const char kWestonScreenshooter[] = "/usr/bin/weston-screenshooter";
inline const char kDbusDaemon[] = "/usr/bin/dbus-daemon";
inline const char kPython[] = "/usr/bin/python3";

// A window as the accessibility bus shows it.
struct AccessibleWindow {
  std::string role;   // "frame", "dialog"...
  std::string title;
  std::string texts;  // its labels' and text views' contents, " | " between
};

// The calling user's desktop session, or what the tests need of one: a
// session bus, on which the accessibility bus starts when first asked for,
// and for Wayland weston's headless compositor. Each Start sets this
// process's environment so that what it starts afterwards uses them.
class DesktopSession {
 public:
  ~DesktopSession() { Stop(); }

  // `runtimeDir`: the user's XDG_RUNTIME_DIR (mode 0700); `logDir`: where
  // the bus's and the compositor's output go.
  bool StartBus(const std::string& runtimeDir, const std::string& logDir, std::string* error) {
    const std::string bus = runtimeDir + "/bus";
    fBus = Launch({kDbusDaemon, "--session", "--nofork", "--address=unix:path=" + bus},
                  {"XDG_RUNTIME_DIR=" + runtimeDir}, logDir + "/session-bus.log");
    if (fBus <= 0 || !WaitForPath(bus)) {
      *error = "the session bus did not start (see " + logDir + "/session-bus.log)";
      return false;
    }
    setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);
    // Qt serves the accessibility bus only when a screen reader asks, or
    // when told to.
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    return true;
  }

  // The bus, then weston; afterwards Qt uses Wayland alone.
  bool StartWayland(const std::string& runtimeDir, const std::string& logDir, std::string* error) {
    if (!StartBus(runtimeDir, logDir, error)) return false;
    const std::string socket = "quillon-e2e-wayland";
    // The pixman renderer, because the headless one draws nothing, and
    // --debug, without which weston refuses screenshots.
    fWeston = Launch({kWeston, "--backend=headless-backend.so", "--use-pixman", "--width=1280", "--height=900",
                      "--socket=" + socket, "--debug"},
                     {"XDG_RUNTIME_DIR=" + runtimeDir}, logDir + "/weston.log");
    if (fWeston <= 0 || !WaitForPath(runtimeDir + "/" + socket)) {
      *error = "weston did not start (see " + logDir + "/weston.log)";
      return false;
    }
    unsetenv("DISPLAY");
    setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    return true;
  }

  // The compositor first, then the bus: the accessibility bus's launcher
  // ends with the session bus.
  void Stop() {
    for (pid_t* pid : {&fWeston, &fBus}) {
      if (*pid <= 0) continue;
      kill(*pid, SIGTERM);
      int status = 0;
      const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
      while (waitpid(*pid, &status, WNOHANG) == 0 && MsLeft(deadline) > 0) SleepMs(20);
      if (MsLeft(deadline) == 0) {
        kill(*pid, SIGKILL);
        waitpid(*pid, &status, 0);
      }
      *pid = -1;
    }
  }

 private:
  static bool WaitForPath(const std::string& path) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    struct stat st;
    while (lstat(path.c_str(), &st) != 0) {
      if (MsLeft(deadline) == 0) return false;
      SleepMs(20);
    }
    return true;
  }

  pid_t fBus = -1;
  pid_t fWeston = -1;
};

// One application process and its windows, through the accessibility bus
// (atspi_driver.py does the talking).
class AccessibleDriver {
 public:
  AccessibleDriver(pid_t app, std::string script, std::string shots)
      : fProcess(app, "", shots), fApp(app), fScript(std::move(script)), fShots(std::move(shots)) {}

  const Driver& Process() const { return fProcess; }

  // The application's windows on the screen now, the main window first.
  std::vector<AccessibleWindow> Windows() const {
    std::vector<AccessibleWindow> windows;
    std::istringstream in(Run({kPython, fScript, "windows", std::to_string(fApp)}).out);
    for (std::string line; std::getline(in, line);) {
      AccessibleWindow w;
      size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 == std::string::npos ? 0 : tab1 + 1);
      if (tab2 == std::string::npos) continue;
      w.role = line.substr(0, tab1);
      w.title = line.substr(tab1 + 1, tab2 - tab1 - 1);
      w.texts = line.substr(tab2 + 1);
      windows.push_back(std::move(w));
    }
    return windows;
  }

  // Waits until `count` windows are on the screen, the newest one holding
  // `text`; *newest gets it.
  bool WaitFor(size_t count, const std::string& text, int timeoutMs, AccessibleWindow* newest = nullptr) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      std::vector<AccessibleWindow> now = Windows();
      if (now.size() == count && now.back().texts.find(text) != std::string::npos) {
        if (newest != nullptr) *newest = now.back();
        return true;
      }
      if (MsLeft(deadline) == 0 || !fProcess.AppRunning()) return false;
      SleepMs(100);
    }
  }

  // Presses the button called `name` in the newest window.
  bool Press(const std::string& name) const {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (Run({kPython, fScript, "press", std::to_string(fApp), name}).exitCode != 0) {
      if (MsLeft(deadline) == 0) return false;
      SleepMs(100);
    }
    return true;
  }

  // A PNG of the whole output, "<name>.png" in the shots folder, taken once
  // two screenshots in a row are alike. weston-screenshooter writes into its
  // working folder under a name of its own.
  bool Screenshot(const std::string& name) const {
    int here = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (here < 0 || chdir(fShots.c_str()) != 0) {
      if (here >= 0) close(here);
      return false;
    }
    std::string last, shot;
    for (int tries = 0; tries < 20; tries++) {
      if (Run({kWestonScreenshooter}, 20000).exitCode != 0 || !TakeScreenshotFile(&shot)) break;
      if (shot == last) break;
      last = std::move(shot);
      SleepMs(150);
    }
    (void) fchdir(here);
    close(here);
    if (last.empty()) return false;
    std::ofstream out(fShots + "/" + name + ".png", std::ios::binary | std::ios::trunc);
    out.write(last.data(), static_cast<std::streamsize>(last.size()));
    return static_cast<bool>(out);
  }

 private:
  // Reads and removes what weston-screenshooter left in the working folder.
  static bool TakeScreenshotFile(std::string* content) {
    DIR* dir = opendir(".");
    if (dir == nullptr) return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.rfind("wayland-screenshot-", 0) != 0) continue;
      std::ifstream in(name, std::ios::binary);
      content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      found = !content->empty();
      unlink(name.c_str());
    }
    closedir(dir);
    return found;
  }

  Driver fProcess;
  pid_t fApp;
  std::string fScript;
  std::string fShots;
};

}  // namespace quillon::guitest
