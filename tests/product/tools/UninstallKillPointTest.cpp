// An uninstall cut off at any moment loses nothing and is finished by the
// next run. The tests' copy of the removal tools (KillPoint.h: never
// installed) ends its whole process group with SIGKILL just before its N-th
// change to the file system. For each tool and mode, and every N until the
// tool runs to its end, the suite installs the demo product on the real
// system paths of a private mount namespace (/etc, /opt,
// /usr/share/applications and /var/lib are overlays whose changes land in a
// scratch tmpfs, the user's home is a tmpfs of its own), uninstalls it as the
// helper tool's command and the engine would, cut at that point, and checks:
//   - every path is as it was before or as an uninterrupted run leaves it
//     (so the shared ALSA files are byte for byte old or new, and nothing
//     outside what the product owns changed); a new file of an interrupted
//     rewrite may stand beside a shared file;
//   - a second, uninterrupted run, of the parts the application would find
//     installed, ends exactly where an uninterrupted run does, and the two
//     runs' logs hold the same refusals as the uninterrupted run's.
// It also fills the folder of a shared file, so that the rewrite has no room.
#include "KillPoint.h"
#include "ProductLayout.h"
#include "ProductTestSupport.h"
#include "SystemTestSupport.h"
#include "UninstallerSession.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>

using namespace quillon::producttest;
namespace sys = quillon::systest;

namespace {

const std::vector<std::string> kOverlaid = {"/etc", "/opt", "/usr/share/applications", "/var/lib"};

// The shared ALSA files before the product came: CRLF lines and no final
// newline in the system's; no ~/.asoundrc at all, so the installer creates
// it for its block and the removal removes it again.
const char kSystemAsound[] = "pcm.!default {\r\n  type hw\r\n  card 1\r\n}";
// A login item an administrator deployed, which PruneLoginItem --system removes.
const char kDeployedLoginItem[] = "/etc/xdg/autostart/quillon-deployed.desktop";

std::string KillBundle(const std::string& name) { return std::string(QUILLON_KILL_POINT_BUNDLE_DIR) + "/" + name; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct StepRun {
  bool exited = false;
  int exitCode = -1;
  std::string output;
};

// Runs argv with exactly `env` in a process group of its own, as `user` (as
// root when NULL), stdin /dev/null, stdout and stderr into output.
StepRun RunStep(const sys::TestUser* user, const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  StepRun run;
  std::vector<char*> args, envs;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envs.push_back(const_cast<char*>(e.c_str()));
  envs.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    (void) setpgid(0, 0);
    int null = open("/dev/null", O_RDONLY);
    if (null < 0 || dup2(null, 0) < 0 || dup2(fds[1], 1) < 0 || dup2(fds[1], 2) < 0) _exit(126);
    if (user != nullptr && (setgroups(1, &user->gid) != 0 || setresgid(user->gid, user->gid, user->gid) != 0 ||
                            setresuid(user->uid, user->uid, user->uid) != 0)) {
      _exit(126);
    }
    execve(args[0], args.data(), envs.data());
    _exit(127);
  }
  (void) close(fds[1]);
  char buffer[65536];
  for (ssize_t got; pid > 0 && (got = read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) run.output.append(buffer, static_cast<size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  (void) close(fds[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    run.exited = true;
    run.exitCode = WEXITSTATUS(status);
  }
  return run;
}

struct Uninstall {
  bool killed = false;
  std::string log;
};

// One uninstall of `parts`, as the application runs it: the root part as
// the helper tool's command runs it (its programs in its order, with its
// environment), then the user's part. It stops where a step was killed:
// everything of the uninstall goes with it, as in a power cut.
Uninstall RunUninstall(const sys::TestUser& user, unsigned parts, const std::string& killPoint) {
  std::vector<std::string> rootEnv = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8", "HOME=/root",
                                      "QUILLON_BUNDLE=" + std::string(QUILLON_KILL_POINT_BUNDLE_DIR)};
  std::vector<std::string> userEnv = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "HOME=" + user.home};
  if (!killPoint.empty()) {
    rootEnv.push_back(std::string(quillon::kKillPointVariable) + "=" + killPoint);
    userEnv.push_back(std::string(quillon::kKillPointVariable) + "=" + killPoint);
  }
  std::vector<std::pair<bool, std::vector<std::string>>> steps;
  if (parts & kUninstallerSystemPart) {
    steps.push_back({true, {KillBundle("PruneMIDI"), "--system"}});
    steps.push_back({true, {KillBundle("PruneLoginItem"), "--system"}});
    steps.push_back({true, {KillBundle("Resources/uninstall.ss")}});
  }
  if (parts != kUninstallerNothingInstalled) {
    steps.push_back({false, {KillBundle("Resources/usr_uninstall.ss"), KillBundle("PruneMIDI")}});
  }
  Uninstall run;
  for (const auto& [asRoot, argv] : steps) {
    StepRun step = RunStep(asRoot ? nullptr : &user, argv, asRoot ? rootEnv : userEnv);
    run.log += step.output;
    if (!step.exited) {
      run.killed = true;
      break;
    }
  }
  return run;
}

// What is at each path below the overlays' upper folders (where every change
// to the overlaid folders lands) and in the home: type and mode, owner, and
// the bytes of a file or the target of a link. Times are left out.
typedef std::map<std::string, std::string> Tree;

void Walk(const std::string& real, const std::string& shown, int depth, Tree* tree) {
  DIR* dir = opendir(real.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = real + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    char head[64];
    snprintf(head, sizeof head, "%o %u:%u ", st.st_mode, st.st_uid, st.st_gid);
    std::string what = head;
    if (S_ISREG(st.st_mode)) {
      what += ReadFile(path);
    } else if (S_ISLNK(st.st_mode)) {
      char target[4096];
      ssize_t length = readlink(path.c_str(), target, sizeof target);
      if (length > 0) what.append(target, static_cast<size_t>(length));
    } else if (S_ISCHR(st.st_mode) && st.st_rdev == 0) {
      what = "(removed from below)";  // an overlay's whiteout
    }
    (*tree)[shown + "/" + name] = what;
    if (S_ISDIR(st.st_mode) && depth < 32) Walk(path, shown + "/" + name, depth + 1, tree);
  }
  closedir(dir);
}

std::string At(const Tree& tree, const std::string& path) {
  auto it = tree.find(path);
  return it == tree.end() ? std::string() : it->second;
}

std::string Show(const std::string& what) { return what.empty() ? "(absent)" : "\"" + what + "\""; }

// The refusals in a log: lines whose message begins "refused " or "left ".
std::set<std::string> Refusals(const std::string& log) {
  std::set<std::string> refusals;
  for (const std::string& line : Lines(log)) {
    size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string message = line.substr(colon + 2);
    if (message.rfind("refused ", 0) == 0 || message.rfind("left ", 0) == 0) refusals.insert(line);
  }
  return refusals;
}

// The demo product on the namespace's system paths and in the user's home,
// made afresh for every run.
class World {
 public:
  World(const sys::TestUser& user, const std::string& scratch) : fUser(user), fBase(scratch + "/world") {}

  const std::string& Home() const { return fUser.home; }
  std::vector<std::string> SharedFiles() const { return {quillon::kSystemAlsaConf, Home() + "/.asoundrc"}; }
  unsigned InstalledParts() const {
    return UninstallerInstalledPartsIn(quillon::kSystemReceiptsDir, Home() + "/" + quillon::kUserReceiptsDir);
  }

  bool Set(std::string* error) {
    std::string home = "mode=0700,size=16m,uid=" + std::to_string(fUser.uid) + ",gid=" + std::to_string(fUser.gid);
    if ((mkdir(fBase.c_str(), 0755) != 0 && errno != EEXIST) || !sys::MountOverlays(fBase, kOverlaid, error) ||
        !sys::MountTmpfs(Home(), 0, home, error)) {
      return false;
    }
    // Beside the product: a file of the administrator's own in one of its
    // folders, one of the user's in another, and in each autostart folder a
    // link under the product's name, which is refused and logged.
    const std::string autostart = Home() + "/" + quillon::kUserAutostartDir;
    bool ok = WriteFile(quillon::kSystemAlsaConf, kSystemAsound) &&
              WriteFile(kDeployedLoginItem, "[Desktop Entry]\nX-Quillon-LoginItem=true\n") &&
              symlink("/etc/hostname", "/etc/xdg/autostart/quillon-linked.desktop") == 0 &&
              RunTool({DemoInstaller(), "--system"}, {"PATH=/usr/bin:/bin"}).exitCode == 0 &&
              WriteFile("/opt/quillon/drivers/local.conf", "the administrator's own\n") &&
              RunStep(&fUser, {DemoInstaller(), "--user"}, {"PATH=/usr/bin:/bin", "HOME=" + Home()}).exitCode == 0 &&
              WriteFile(autostart + "/editor.desktop", "[Desktop Entry]\n") &&
              chown((autostart + "/editor.desktop").c_str(), fUser.uid, fUser.gid) == 0 &&
              symlink("/etc/hostname", (autostart + "/quillon-linked.desktop").c_str()) == 0 &&
              lchown((autostart + "/quillon-linked.desktop").c_str(), fUser.uid, fUser.gid) == 0;
    if (!ok) *error = "cannot install the demo product";
    return ok;
  }

  bool Clear(std::string* error) {
    bool ok = umount2(Home().c_str(), 0) == 0;
    for (auto dir = kOverlaid.rbegin(); dir != kOverlaid.rend(); ++dir) ok = umount2(dir->c_str(), 0) == 0 && ok;
    ok = umount2(fBase.c_str(), 0) == 0 && ok;
    if (!ok) *error = std::string("cannot unmount: ") + strerror(errno);
    return ok;
  }

  Tree Snapshot() const {
    Tree tree;
    for (const std::string& dir : kOverlaid) {
      std::string name = dir.substr(1);
      for (char& c : name) c = c == '/' ? '-' : c;
      Walk(fBase + "/upper-" + name, dir, 0, &tree);
    }
    Walk(Home(), Home(), 0, &tree);
    return tree;
  }

  // What the installed product owns: the receipts, what they list, the
  // shared files and the deployed login item. An uninterrupted run changes
  // nothing else.
  std::set<std::string> Owned() const {
    std::set<std::string> owned = {quillon::kSystemStateDir, quillon::kSystemReceiptsDir,
                                   Home() + "/" + quillon::kUserStateDir, Home() + "/" + quillon::kUserReceiptsDir,
                                   kDeployedLoginItem};
    for (const std::string& shared : SharedFiles()) owned.insert(shared);
    for (const std::string& receipt : {std::string(quillon::kSystemReceiptsDir) + "/" + quillon::kSystemReceiptName,
                                       Home() + "/" + quillon::kUserReceiptsDir + "/" + quillon::kUserReceiptName}) {
      owned.insert(receipt);
      for (const std::string& line : Lines(ReadFile(receipt))) owned.insert(line);
    }
    return owned;
  }

  // True when `path` is the new file of a rewrite of a shared file.
  bool IsRewriteLeftover(const std::string& path) const {
    for (const std::string& shared : SharedFiles()) {
      size_t slash = shared.rfind('/');
      std::string prefix = shared.substr(0, slash + 1) + "." + shared.substr(slash + 1) + ".quillon-";
      if (path.rfind(prefix, 0) == 0 && path.size() == prefix.size() + 8) return true;
    }
    return false;
  }

 private:
  const sys::TestUser& fUser;
  std::string fBase;
};

struct KillTarget {
  const char* tool;
  const char* mode;
};

void PrintTo(const KillTarget& target, std::ostream* out) { *out << target.tool << " --" << target.mode; }

// The sweep, in the namespace. Prints "FAIL: ..." for each fault found and
// "KILL POINTS <n>" at the end; returns 0 when nothing failed.
int Sweep(const sys::TestUser& user, const std::string& scratch, const KillTarget& target) {
  int failures = 0;
  auto fail = [&](const std::string& what) {
    printf("FAIL: %s\n", what.c_str());
    failures++;
  };
  World world(user, scratch);
  std::string error;
  if (!world.Set(&error)) {
    fail(error);
    return 1;
  }
  const Tree installed = world.Snapshot();
  const std::set<std::string> owned = world.Owned();
  const Uninstall reference = RunUninstall(user, world.InstalledParts(), "");
  const Tree done = world.Snapshot();
  if (!world.Clear(&error)) fail(error);
  std::set<std::string> paths;
  for (const Tree* tree : {&installed, &done}) {
    for (const auto& entry : *tree) paths.insert(entry.first);
  }
  for (const std::string& path : paths) {
    if (At(done, path) != At(installed, path) && owned.count(path) == 0) fail("an uninterrupted run changed " + path);
  }
  if (reference.killed || Refusals(reference.log).size() != 2) fail("the uninterrupted run:\n" + reference.log);
  if (failures != 0) return 1;

  unsigned points = 0;
  for (unsigned n = 1; n < 1000 && failures < 10; n++) {
    if (!world.Set(&error)) {
      fail(error);
      break;
    }
    const std::string point = std::string(target.tool) + " " + target.mode + " " + std::to_string(n);
    Uninstall cut = RunUninstall(user, world.InstalledParts(), point);
    if (!cut.killed) {
      if (!world.Clear(&error)) fail(error);
      break;
    }
    points++;
    const Tree after = world.Snapshot();
    for (const auto& entry : after) paths.insert(entry.first);
    for (const std::string& path : paths) {
      const std::string now = At(after, path), before = At(installed, path), then = At(done, path);
      if (now == before || now == then || (before.empty() && then.empty() && world.IsRewriteLeftover(path))) continue;
      fail("cut before " + point + ": " + path + " is " + Show(now) + ", neither " + Show(before) + " nor " +
           Show(then));
    }
    Uninstall again = RunUninstall(user, world.InstalledParts(), "");
    const Tree end = world.Snapshot();
    if (again.killed) fail("the second run after " + point + " did not end:\n" + again.log);
    for (const auto& entry : end) paths.insert(entry.first);
    for (const std::string& path : paths) {
      if (At(end, path) != At(done, path)) {
        fail("after " + point + " and a second run: " + path + " is " + Show(At(end, path)) + ", not " +
             Show(At(done, path)));
      }
    }
    if (Refusals(cut.log + again.log) != Refusals(reference.log)) {
      fail("after " + point + " the refusals differ:\n" + cut.log + "---\n" + again.log);
    }
    if (!world.Clear(&error)) {
      fail(error);
      break;
    }
  }
  printf("KILL POINTS %u\n", points);
  return failures == 0 ? 0 : 1;
}

class UninstallKillPointTest : public ::testing::TestWithParam<KillTarget> {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: mounts in a private namespace, a throwaway user";
    if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
    std::string error;
    ASSERT_TRUE(sys::MakeScratchDir("kill-points", &fScratch, &error)) << error;
  }
  void TearDown() override {
    std::string error;
    if (!fScratch.empty()) {
      EXPECT_TRUE(sys::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  std::string fScratch;
};

}  // namespace

TEST_P(UninstallKillPointTest, EveryCutLeavesEachFileOldOrNewAndTheNextRunFinishes) {
  sys::ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  const std::string hostAsound = ReadFile("/etc/asound.conf");
  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.timeout = std::chrono::milliseconds(300000);
  const KillTarget target = GetParam();
  sys::ChildResult result = sys::RunAsUser(nullptr, [&]() { return Sweep(user.user(), fScratch, target); }, options);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
  unsigned points = 0;
  size_t at = result.out.find("KILL POINTS ");
  ASSERT_NE(at, std::string::npos) << result.out;
  points = static_cast<unsigned>(std::stoul(result.out.substr(at + 12)));
  EXPECT_GE(points, 2u);
  RecordProperty("kill_points", static_cast<int>(points));
  printf("%s --%s: %u kill points\n", target.tool, target.mode, points);
  EXPECT_EQ(ReadFile("/etc/asound.conf"), hostAsound);
}

// The root script runs RemoveReceipted --system; the user's script runs the
// three tools in user mode.
INSTANTIATE_TEST_SUITE_P(EveryRemovalTool, UninstallKillPointTest,
                         ::testing::Values(KillTarget{"PruneMIDI", "system"}, KillTarget{"PruneLoginItem", "system"},
                                           KillTarget{"RemoveReceipted", "system"},
                                           KillTarget{"PruneLoginItem", "user"}, KillTarget{"PruneMIDI", "user"},
                                           KillTarget{"RemoveReceipted", "user"}),
                         [](const ::testing::TestParamInfo<KillTarget>& info) {
                           return std::string(info.param.tool) + "_" + info.param.mode;
                         });

// A full disk where the shared file lies: the rewrite finds no room for its
// new file, the old one stays as it was, the log says why, and the status is
// not 0; nothing of the attempt is left beside it.
TEST(UninstallFullDiskTest, ARewriteWithoutRoomLeavesTheSharedFileAsItWas) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: mounts in a private namespace";
  std::string scratch, error;
  ASSERT_TRUE(sys::MakeScratchDir("full-disk", &scratch, &error)) << error;
  for (bool system : {true, false}) {
    SCOPED_TRACE(system ? "/etc/asound.conf" : "~/.asoundrc");
    const std::string folder = scratch + (system ? "/root/etc" : "/home");
    const std::string file = folder + (system ? "/asound.conf" : "/.asoundrc");
    const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + scratch + "/home"};
    const std::vector<std::string> mode = system ? std::vector<std::string>{"--system", "--root", scratch + "/root"}
                                                 : std::vector<std::string>{"--user"};
    ASSERT_TRUE(MakeDirs(folder));
    sys::ChildOptions options;
    options.privateMountNamespace = true;
    sys::ChildResult result = sys::RunAsUser(
        nullptr,
        [&]() -> int {
          if (!sys::MountTmpfs(folder, 0, "mode=0755,size=256k", nullptr) || !WriteFile(file, kSystemAsound)) return 10;
          std::vector<std::string> install = {DemoInstaller()};
          install.insert(install.end(), mode.begin(), mode.end());
          if (RunTool(install, env).exitCode != 0) return 11;
          const std::string before = ReadFile(file);
          int filler = open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
          const std::string page(4096, 'x');
          while (filler >= 0 && write(filler, page.data(), page.size()) > 0) {
          }
          if (filler < 0 || errno != ENOSPC) return 12;
          std::vector<std::string> prune = {BundlePath("PruneMIDI")};
          prune.insert(prune.end(), mode.begin(), mode.end());
          RunResult pruned = RunTool(prune, env);
          printf("%s", pruned.output.c_str());
          if (pruned.exitCode != 1) return 13;
          if (pruned.output.find("No space left on device") == std::string::npos) return 14;
          if (ReadFile(file) != before) return 15;
          Tree left;
          Walk(folder, folder, 0, &left);
          for (const auto& entry : left) {
            if (entry.first.find(".quillon-") != std::string::npos) return 16;
          }
          return 0;
        },
        options);
    EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
  }
  EXPECT_TRUE(sys::RemoveScratchDir(scratch, &error)) << error;
}
