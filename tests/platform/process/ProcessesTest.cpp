// The process list, the identifiers, the launch watch and the X11 raise,
// against real processes started here. A fake agent is a copy of sleep under
// an agent's file name.

#include "Processes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>

extern char** environ;

namespace {

// A temporary folder removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char path[] = "/tmp/quillon-process-test.XXXXXX";
    if (mkdtemp(path) != nullptr) path_ = path;
  }
  ~TempDir() {
    if (!path_.empty()) {
      std::string command = "rm -rf '" + path_ + "'";
      (void) system(command.c_str());
    }
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool CopyExecutable(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  out << in.rdbuf();
  out.close();
  return in.good() && out.good() && chmod(to.c_str(), 0755) == 0;
}

// Starts program with args; returns its pid or -1.
pid_t Spawn(const std::string& program, std::initializer_list<const char*> args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const char* a : args) argv.push_back(const_cast<char*>(a));
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

std::string ExeOf(pid_t pid) {
  char target[4096];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// A copy of sleep named |name| in |dir|, running until killed.
class FakeAgent {
 public:
  FakeAgent(const TempDir& dir, const std::string& name) : path_(dir.path() + "/" + name) {
    if (!CopyExecutable("/bin/sleep", path_)) return;
    pid_ = Spawn(path_, {"600"});
    // Bounded wait until the child runs the copy, not the parent's image.
    for (int i = 0; i < 1000 && pid_ > 0 && ExeOf(pid_).rfind(path_, 0) != 0; i++) usleep(10000);
  }
  ~FakeAgent() { Stop(); }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  pid_t pid() const { return pid_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  pid_t pid_ = -1;
};

// The identity the walk gives for pid, or {0, 0}.
ProcessSerialNumber FindInWalk(pid_t pid) {
  ProcessSerialNumber psn = {0, 0};
  for (int i = 0; i < 1000000 && GetNextProcess(&psn) == noErr; i++) {
    if (psn.pid == pid) return psn;
  }
  return ProcessSerialNumber{0, 0};
}

TEST(ProcessesTest, WalkIsAscendingAndSkipsZombiesAndKernelThreads) {
  TempDir dir;
  FakeAgent child(dir, "quillon-walk-child");
  ASSERT_GT(child.pid(), 0);
  pid_t zombie = Spawn("/bin/true", {});
  ASSERT_GT(zombie, 0);
  siginfo_t info;
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT), 0);  // exited, not reaped

  std::set<int32_t> seen;
  ProcessSerialNumber psn = {0, 0};
  int32_t previous = 0;
  OSStatus err = noErr;
  for (int i = 0; i < 1000000; i++) {
    err = GetNextProcess(&psn);
    if (err != noErr) break;
    EXPECT_GT(psn.pid, previous);
    previous = psn.pid;
    seen.insert(psn.pid);
  }
  EXPECT_EQ(err, procNotFound);
  EXPECT_TRUE(seen.count(getpid()));
  EXPECT_TRUE(seen.count(child.pid()));
  EXPECT_FALSE(seen.count(zombie));
  if (getuid() == 0) {
    EXPECT_FALSE(seen.count(2)) << "kthreadd is a kernel thread";
  }
  waitpid(zombie, nullptr, 0);
}

TEST(ProcessesTest, IdentifierIsTheProgramsFileNameAlsoAfterTheFileIsReplaced) {
  TempDir dir;
  FakeAgent agent(dir, "quillon-fake-agent");
  ASSERT_GT(agent.pid(), 0);
  ProcessSerialNumber psn = FindInWalk(agent.pid());
  ASSERT_EQ(psn.pid, agent.pid());

  char identifier[256];
  ASSERT_EQ(GetProcessIdentifier(&psn, identifier, sizeof identifier), noErr);
  EXPECT_STREQ(identifier, "quillon-fake-agent");

  ASSERT_EQ(unlink(agent.path().c_str()), 0);
  ASSERT_EQ(GetProcessIdentifier(&psn, identifier, sizeof identifier), noErr);
  EXPECT_STREQ(identifier, "quillon-fake-agent");

  char tiny[8];
  EXPECT_EQ(GetProcessIdentifier(&psn, tiny, sizeof tiny), ENAMETOOLONG);
}

// A remembered identity must never name a different process.
TEST(ProcessesTest, StaleIdentityIsNotFound) {
  TempDir dir;
  FakeAgent agent(dir, "quillon-stale");
  ProcessSerialNumber psn = FindInWalk(agent.pid());
  ASSERT_EQ(psn.pid, agent.pid());
  char identifier[256];

  ProcessSerialNumber other = psn;
  other.startTime += 1;
  EXPECT_EQ(GetProcessIdentifier(&other, identifier, sizeof identifier), procNotFound);
  EXPECT_EQ(SetFrontProcess(&other), procNotFound);

  agent.Stop();
  EXPECT_EQ(GetProcessIdentifier(&psn, identifier, sizeof identifier), procNotFound);
  EXPECT_EQ(SetFrontProcess(&psn), procNotFound);
}

TEST(ProcessesTest, AgentIdentifiersMatchExactlyWithCase) {
  EXPECT_TRUE(ProcessIdentifierIsSecurityAgent("polkit-gnome-authentication-agent-1"));
  EXPECT_TRUE(ProcessIdentifierIsSecurityAgent("lxpolkit"));
  EXPECT_FALSE(ProcessIdentifierIsSecurityAgent("LXPolkit"));
  EXPECT_FALSE(ProcessIdentifierIsSecurityAgent("Polkit-Gnome-Authentication-Agent-1"));
  EXPECT_FALSE(ProcessIdentifierIsSecurityAgent("lxpolkit "));
  EXPECT_FALSE(ProcessIdentifierIsSecurityAgent("polkit-gnome-authentication-agent"));
  EXPECT_FALSE(ProcessIdentifierIsSecurityAgent(""));

  static const char* const kTable[] = {"quillon-test-agent"};
  ProcessSetSecurityAgentIdentifiersForTesting(kTable, 1);
  EXPECT_TRUE(ProcessIdentifierIsSecurityAgent("quillon-test-agent"));
  EXPECT_FALSE(ProcessIdentifierIsSecurityAgent("lxpolkit"));
  ProcessSetSecurityAgentIdentifiersForTesting(nullptr, 0);
  EXPECT_TRUE(ProcessIdentifierIsSecurityAgent("lxpolkit"));
}

TEST(ProcessesTest, LaunchWatchReportsEachNewProcessOnceAndNoOldOne) {
  TempDir dir;
  FakeAgent old(dir, "quillon-old");
  ASSERT_GT(old.pid(), 0);
  ProcessLaunchWatch* watch = nullptr;
  ASSERT_EQ(ProcessLaunchWatchCreate(&watch), noErr);
  ASSERT_NE(watch, nullptr);

  ProcessSerialNumber launched = {0, 0};
  EXPECT_EQ(ProcessLaunchWatchNext(watch, &launched, 0), ETIMEDOUT);

  FakeAgent fresh(dir, "quillon-fresh");
  ASSERT_GT(fresh.pid(), 0);
  // Other tests may start processes meanwhile; look for ours among them.
  bool found = false;
  for (int i = 0; i < 10000 && !found; i++) {
    OSStatus err = ProcessLaunchWatchNext(watch, &launched, 30000);
    ASSERT_EQ(err, noErr);
    EXPECT_NE(launched.pid, old.pid());
    found = (launched.pid == fresh.pid());
  }
  EXPECT_TRUE(found);
  char identifier[256];
  EXPECT_EQ(GetProcessIdentifier(&launched, identifier, sizeof identifier), noErr);
  EXPECT_STREQ(identifier, "quillon-fresh");

  // Never again.
  for (int i = 0; i < 10000; i++) {
    OSStatus err = ProcessLaunchWatchNext(watch, &launched, 1000);
    if (err == ETIMEDOUT) break;
    ASSERT_EQ(err, noErr);
    EXPECT_NE(launched.pid, fresh.pid());
  }
  ProcessLaunchWatchDispose(watch);
}

// Restores an environment variable on scope exit.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

TEST(ProcessesTest, WithoutAnX11DisplayThereIsNothingToRaise) {
  ProcessSerialNumber self = FindInWalk(getpid());
  ASSERT_EQ(self.pid, getpid());
  {
    ScopedEnv display("DISPLAY", nullptr);
    EXPECT_EQ(SetFrontProcess(&self), noErr);
  }
  {
    ScopedEnv display("DISPLAY", ":12345");
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_EQ(SetFrontProcess(&self), noErr);
  }
  {
    ScopedEnv display("DISPLAY", ":12345");  // no server there
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(SetFrontProcess(&self), noErr);
  }
}

// ---------------------------------------------------------------------------
// X11: a private Xvfb on which this test plays the window manager.

class XvfbTest : public testing::Test {
 protected:
  void SetUp() override {
    if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "needs Xvfb";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string fdText = std::to_string(fds[1]);
    xvfb_ = Spawn("/usr/bin/Xvfb", {"-displayfd", fdText.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    close(fds[1]);
    ASSERT_GT(xvfb_, 0);
    std::string number;
    for (;;) {
      struct pollfd p = {fds[0], POLLIN, 0};
      if (poll(&p, 1, 30000) <= 0) break;
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    display_ = ":" + number;
    conn_ = xcb_connect(display_.c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(conn_), 0);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    // Become the window manager: requests to the root window come to us.
    uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    ASSERT_EQ(xcb_request_check(conn_, xcb_change_window_attributes_checked(conn_, root_, XCB_CW_EVENT_MASK, &mask)),
              nullptr);
    clientList_ = Atom("_NET_CLIENT_LIST");
    wmPid_ = Atom("_NET_WM_PID");
    activeWindow_ = Atom("_NET_ACTIVE_WINDOW");
  }

  void TearDown() override {
    if (conn_ != nullptr) xcb_disconnect(conn_);
    if (xvfb_ > 0) {
      kill(xvfb_, SIGTERM);
      waitpid(xvfb_, nullptr, 0);
    }
  }

  xcb_atom_t Atom(const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    xcb_atom_t atom = reply->atom;
    free(reply);
    return atom;
  }

  // A managed top-level window that says it belongs to pid.
  xcb_window_t ManageWindowOf(pid_t pid) {
    xcb_window_t window = xcb_generate_id(conn_);
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    uint32_t value = static_cast<uint32_t>(pid);
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, wmPid_, XCB_ATOM_CARDINAL, 32, 1, &value);
    xcb_window_t other = xcb_generate_id(conn_);  // someone else's window, listed first
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, other, root_, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    uint32_t otherPid = 1;
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, other, wmPid_, XCB_ATOM_CARDINAL, 32, 1, &otherPid);
    xcb_window_t list[] = {other, window};
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, root_, clientList_, XCB_ATOM_WINDOW, 32, 2, list);
    xcb_flush(conn_);
    return window;
  }

  // The next client message that reaches the window manager, waiting at most
  // 30 s; response_type 0 if none came.
  xcb_client_message_event_t NextClientMessage() {
    xcb_client_message_event_t none;
    memset(&none, 0, sizeof none);
    for (int i = 0; i < 3000; i++) {
      xcb_generic_event_t* event = xcb_poll_for_event(conn_);
      if (event == nullptr) {
        struct pollfd p = {xcb_get_file_descriptor(conn_), POLLIN, 0};
        poll(&p, 1, 10);
        continue;
      }
      bool isMessage = (event->response_type & 0x7F) == XCB_CLIENT_MESSAGE;
      xcb_client_message_event_t message;
      memcpy(&message, event, sizeof message);
      free(event);
      if (isMessage) return message;
    }
    return none;
  }

  pid_t xvfb_ = -1;
  std::string display_;
  xcb_connection_t* conn_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_atom_t clientList_ = 0;
  xcb_atom_t wmPid_ = 0;
  xcb_atom_t activeWindow_ = 0;
};

// The agent's window appears only after the raise began waiting for it, as a
// polkit dialog does; the window manager is asked to activate that window.
TEST_F(XvfbTest, AsksTheWindowManagerToActivateTheAgentsWindowOnceItAppears) {
  TempDir dir;
  FakeAgent agent(dir, "quillon-x11-agent");
  ProcessSerialNumber psn = FindInWalk(agent.pid());
  ASSERT_EQ(psn.pid, agent.pid());
  ScopedEnv display("DISPLAY", display_.c_str());
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);

  OSStatus raised = -1;
  std::thread raise([&] { raised = SetFrontProcess(&psn); });
  usleep(300000);  // not needed for correctness: lets the raise wait first
  xcb_window_t window = ManageWindowOf(agent.pid());
  raise.join();
  EXPECT_EQ(raised, noErr);

  xcb_client_message_event_t message = NextClientMessage();
  ASSERT_EQ(message.response_type & 0x7F, XCB_CLIENT_MESSAGE);
  EXPECT_EQ(message.type, activeWindow_);
  EXPECT_EQ(message.window, window);
  EXPECT_EQ(message.format, 32);
  EXPECT_EQ(message.data.data32[0], 2u);  // on the user's behalf
}

TEST_F(XvfbTest, AnAgentThatEndsWhileItsWindowIsAwaitedIsNotFound) {
  TempDir dir;
  FakeAgent agent(dir, "quillon-x11-ending");
  ProcessSerialNumber psn = FindInWalk(agent.pid());
  ASSERT_EQ(psn.pid, agent.pid());
  ScopedEnv display("DISPLAY", display_.c_str());
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);

  OSStatus raised = -1;
  std::thread raise([&] { raised = SetFrontProcess(&psn); });
  usleep(300000);
  agent.Stop();
  raise.join();
  EXPECT_EQ(raised, procNotFound);
}

}  // namespace
