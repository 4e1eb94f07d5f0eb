// Installing the helper tool as root and as a throwaway user: which copies
// are kept and which replaced, the search of the local folder, and the folder
// checks on real mounts made in private mount namespaces.

#include "InstallTestSupport.h"
#include "SystemCallFaults.h"

#include <Folders.h>
#include <gtest/gtest.h>
#include <linux/magic.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

namespace {

using namespace installtest;
using quillon::systest::ChildOptions;
using quillon::systest::ChildResult;
using quillon::systest::RunAsUser;
using quillon::systest::ScopedTestUser;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Puts a file at path with the given bytes, owner, whole mode and
// modification time (whole seconds). The owner goes first: chown clears
// set-user-ID.
bool PlaceCopy(const std::string& path, const std::string& bytes, uid_t owner, mode_t mode, time_t mtime) {
  const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
  return WriteFile(path, bytes, 0600) && chown(path.c_str(), owner, 0) == 0 && chmod(path.c_str(), mode & 07777) == 0 &&
         utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// Prints one folder check's status and answer. The answer starts as 7, so a
// flag left alone on failure shows.
void PrintCheck(OSStatus (*check)(const FSRef*, Boolean*), const std::string& folder) {
  FSRef ref;
  Boolean answer = 7;
  OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8*>(folder.c_str()), &ref, NULL);
  if (err == noErr) err = check(&ref, &answer);
  printf("%d %d\n", static_cast<int>(err), static_cast<int>(answer));
}

class InstallSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: makes set-user-ID root copies, users and mounts";
    fUser = std::make_unique<ScopedTestUser>();
    ASSERT_TRUE(fUser->ok()) << fUser->error();
    fTemp = "/var/tmp/TemporaryItems-" + std::to_string(User().uid);
    RemoveTemp();  // an earlier user of this uid may have left one
    std::string error;
    ASSERT_TRUE(quillon::systest::MakeScratchDir("install", &fScratch, &error)) << error;
    fDataHome = fScratch + "/data";
    ASSERT_EQ(stat(TemplatePath().c_str(), &fTemplate), 0) << TemplatePath();
    ASSERT_TRUE(ReadFile(TemplatePath(), &fTemplateBytes));
    ASSERT_FALSE(fTemplateBytes.empty());
    // Same size, other bytes: the contents are never compared, so a copy
    // that was kept still shows these and a replaced one the template's.
    fOtherBytes = fTemplateBytes;
    fOtherBytes.back() = static_cast<char>(~fOtherBytes.back());
  }
  void TearDown() override {
    if (!fTemp.empty()) RemoveTemp();
    if (!fScratch.empty()) {
      std::string error;
      EXPECT_TRUE(quillon::systest::RemoveScratchDir(fScratch, &error)) << error;
    }
  }

  const quillon::systest::TestUser& User() const { return fUser->user(); }

  void RemoveTemp() {
    ChildResult r = quillon::systest::RunProgramAsUser(nullptr, {"/bin/rm", "-rf", "--", fTemp});
    ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  }

  Installed InstallAsRoot() {
    const std::string dataHome = fDataHome;
    ChildResult r = RunAsUser(nullptr, [&] {
      umask(022);
      setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
      return InstallAndPrint(kApplicationSupportFolderType, kSubFolder, kToolName);
    });
    Installed installed = ParseInstalled(r);
    EXPECT_TRUE(installed.ran) << r.Describe();
    return installed;
  }

  // A folder owned by the user, holding one file, for the checks.
  std::string MakeUserFolder(const std::string& name, mode_t mode = 0755) {
    std::string path = fScratch + "/" + name;
    EXPECT_EQ(mkdir(path.c_str(), mode), 0) << path;
    EXPECT_TRUE(WriteFile(path + "/keep", "kept"));
    EXPECT_EQ(chown(path.c_str(), User().uid, User().gid), 0);
    EXPECT_EQ(chown((path + "/keep").c_str(), User().uid, User().gid), 0);
    return path;
  }

  std::string SubFolderPath() const { return fDataHome + "/" + kSubFolder; }
  std::string ToolPath() const { return SubFolderPath() + "/" + kToolName; }

  // A copy made as root: root's, the template's bytes, size and time, mode
  // 0755 (the template's bits less the umask), not set-user-ID.
  void ExpectFreshRootCopy(const std::string& path, const char* what) {
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << what;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << what;
    EXPECT_EQ(st.st_uid, 0u) << what;
    EXPECT_EQ(st.st_mode & 07777, fTemplate.st_mode & 0777 & ~022u) << what;
    EXPECT_EQ(st.st_size, fTemplate.st_size) << what;
    EXPECT_EQ(st.st_mtim.tv_sec, fTemplate.st_mtim.tv_sec) << what;
    std::string bytes;
    ASSERT_TRUE(ReadFile(path, &bytes)) << what;
    EXPECT_TRUE(bytes == fTemplateBytes) << what << ": not a fresh copy of the template";
  }

  // Runs fn as the user in a private mount namespace where |mountPoint|
  // carries a FAT image mounted with |options|. Skips when the machine
  // cannot mount one.
  ChildResult RunOnVfat(const std::string& mountPoint, const std::string& options, const std::function<int()>& fn) {
    std::string image = mountPoint + ".img";
    std::string error;
    EXPECT_TRUE(quillon::systest::MakeVfatImage(image, 8, &error)) << error;
    EXPECT_EQ(mkdir(mountPoint.c_str(), 0755), 0);
    ChildOptions childOptions;
    childOptions.privateMountNamespace = true;
    childOptions.rootSetup = [&](std::string* mountError) {
      return quillon::systest::MountLoopImage(image, mountPoint, "vfat", options, mountError);
    };
    return RunAsUser(&User(), fn, childOptions);
  }

  std::unique_ptr<ScopedTestUser> fUser;
  std::string fTemp;
  std::string fScratch;
  std::string fDataHome;
  struct stat fTemplate {};
  std::string fTemplateBytes;
  std::string fOtherBytes;
};

TEST_F(InstallSystemTest, AnAcceptableCopyIsKeptUntouched) {
  ASSERT_EQ(mkdir(fDataHome.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(SubFolderPath().c_str(), 0755), 0);
  ASSERT_TRUE(PlaceCopy(ToolPath(), fOtherBytes, 0, 0104555, fTemplate.st_mtim.tv_sec));
  struct stat before, after;
  ASSERT_EQ(lstat(ToolPath().c_str(), &before), 0);
  ASSERT_EQ(before.st_mode, 0104555u);

  Installed installed = InstallAsRoot();
  EXPECT_EQ(installed.status, noErr);
  EXPECT_EQ(installed.path, ToolPath());
  ASSERT_EQ(lstat(ToolPath().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
  EXPECT_EQ(after.st_mode, 0104555u);
  std::string bytes;
  ASSERT_TRUE(ReadFile(ToolPath(), &bytes));
  EXPECT_TRUE(bytes == fOtherBytes) << "the acceptable copy was rewritten";
  EXPECT_EQ(ListFolder(fDataHome), std::vector<std::string>{kSubFolder}) << "the ownership test file was left behind";
}

TEST_F(InstallSystemTest, CopiesThatDifferInSizeTimeModeOrOwnerAreReplaced) {
  const time_t mtime = fTemplate.st_mtim.tv_sec;
  struct Case {
    const char* what;
    std::string bytes;
    uid_t owner;
    mode_t mode;
    time_t mtime;
  };
  const Case cases[] = {
      {"one byte longer", fOtherBytes + "x", 0, 0104555, mtime},
      {"one byte shorter", fOtherBytes.substr(0, fOtherBytes.size() - 1), 0, 0104555, mtime},
      {"a second older", fOtherBytes, 0, 0104555, mtime - 1},
      {"mode 04755", fOtherBytes, 0, 0104755, mtime},
      {"set-group-ID as well", fOtherBytes, 0, 0106555, mtime},
      {"not set-user-ID", fOtherBytes, 0, 0100555, mtime},
      {"owned by the user", fOtherBytes, User().uid, 0104555, mtime},
  };
  ASSERT_EQ(mkdir(fDataHome.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(SubFolderPath().c_str(), 0755), 0);
  for (const Case& c : cases) {
    ASSERT_TRUE(PlaceCopy(ToolPath(), c.bytes, c.owner, c.mode, c.mtime)) << c.what << ": " << strerror(errno);
    struct stat placed;
    ASSERT_EQ(lstat(ToolPath().c_str(), &placed), 0);
    ASSERT_EQ(placed.st_mode, c.mode) << c.what;
    Installed installed = InstallAsRoot();
    EXPECT_EQ(installed.status, noErr) << c.what;
    EXPECT_EQ(installed.path, ToolPath()) << c.what;
    ExpectFreshRootCopy(ToolPath(), c.what);
    ASSERT_EQ(unlink(ToolPath().c_str()), 0);
  }
}

// The search looks at the local folder before installing anything. The local
// folder is a tmpfs over /usr/local/share in the child's own mount namespace,
// so nothing is ever written to the real one.
TEST_F(InstallSystemTest, TheSearchUsesAnAcceptableLocalCopyAndInstallsNothing) {
  const std::string local = std::string("/usr/local/share/") + kSubFolder;
  struct stat st;
  ASSERT_NE(lstat(local.c_str(), &st), 0) << local << " exists on this machine";
  const std::string localTool = local + "/" + kToolName;
  const std::string dataHome = fDataHome;
  const std::string otherBytes = fOtherBytes;
  const time_t mtime = fTemplate.st_mtim.tv_sec;
  ChildOptions options;
  options.privateMountNamespace = true;
  options.rootSetup = [](std::string* error) {
    return quillon::systest::MountTmpfs("/usr/local/share", MS_NOSUID | MS_NODEV, "mode=0755,size=4m", error);
  };
  // nosuid on the stand-in is harmless: a search only looks at the copies.
  ChildResult r = RunAsUser(
      nullptr,
      [&] {
        struct statfs fs;
        if (statfs("/usr/local/share", &fs) != 0 || fs.f_type != TMPFS_MAGIC) return 80;
        umask(022);
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        if (mkdir(local.c_str(), 0755) != 0 || !PlaceCopy(localTool, otherBytes, 0, 0104555, mtime)) return 81;
        struct stat temp;
        bool tempBefore = lstat("/var/tmp/TemporaryItems-0", &temp) == 0;
        InstallAndPrint(kApplicationSupportFolderType, kSubFolder, kToolName, kTemplateName, Way::AndCheckBundled);
        struct stat data;
        printf("%d %d\n", lstat(dataHome.c_str(), &data) == 0,
               (lstat("/var/tmp/TemporaryItems-0", &temp) == 0) != tempBefore);
        // Not acceptable any more: now the search finds nothing and installs.
        if (chmod(localTool.c_str(), 0555) != 0) return 82;
        InstallAndPrint(kApplicationSupportFolderType, kSubFolder, kToolName, kTemplateName, Way::AndCheckBundled);
        std::string bytes;
        struct stat localStat;
        printf("%o %d\n", lstat(localTool.c_str(), &localStat) == 0 ? localStat.st_mode : 0u,
               ReadFile(localTool, &bytes) && bytes == otherBytes);
        return 0;
      },
      options);
  ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0], "0");
  EXPECT_EQ(lines[1], localTool);
  EXPECT_EQ(lines[2], "0 0") << "a folder was created by the search (data folder, temporary folder)";
  EXPECT_EQ(lines[3], "0");
  EXPECT_EQ(lines[4], ToolPath()) << "installing goes to the user's own folder";
  EXPECT_EQ(lines[5], "100555 1") << "the local copy was touched";
  ExpectFreshRootCopy(ToolPath(), "installed after the search");
  EXPECT_NE(lstat(local.c_str(), &st), 0) << "the local folder of the namespace leaked out";
}

// A tmpfs mounted nosuid as the user's data folder: the install is refused
// with 5370 and leaves nothing in it; the fallback to the temporary folder
// then works.
TEST_F(InstallSystemTest, ANoSUIDDataFolderIsRefusedAndLeftEmpty) {
  const std::string share = User().home + "/.local/share";
  for (const std::string& dir : {User().home + "/.local", share}) {
    ASSERT_TRUE(mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) << dir;
    ASSERT_EQ(chown(dir.c_str(), User().uid, User().gid), 0);
  }
  ChildOptions options;
  options.privateMountNamespace = true;
  const std::string tmpfsOptions =
      "mode=0700,size=1m,uid=" + std::to_string(User().uid) + ",gid=" + std::to_string(User().gid);
  options.rootSetup = [&](std::string* error) {
    return quillon::systest::MountTmpfs(share, MS_NOSUID | MS_NODEV, tmpfsOptions, error);
  };
  ChildResult r = RunAsUser(
      &User(),
      [&] {
        struct statvfs vfs;
        if (statvfs(share.c_str(), &vfs) != 0 || (vfs.f_flag & ST_NOSUID) == 0) return 80;
        umask(022);
        PrintCheck(MoreSecIsFolderIgnoringSetUID, share);
        PrintCheck(MoreSecIsFolderIgnoringOwnership, share);
        InstallAndPrint(kApplicationSupportFolderType, kSubFolder, kToolName);
        printf("%s\n", Joined(ListFolder(share)).c_str());
        InstallAndPrint(kTemporaryFolderType, kSubFolder, kToolName);
        return 0;
      },
      options);
  ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 7u) << r.out;
  EXPECT_EQ(lines[0], "0 1") << "ignoring set-user-ID";
  EXPECT_EQ(lines[1], "0 0") << "ignoring ownership";
  EXPECT_EQ(lines[2], std::to_string(kMoreSecFolderInappropriateErr));
  EXPECT_EQ(lines[3], "") << "no URL on failure";
  EXPECT_EQ(lines[4], "") << "left in the refused folder";

  struct statvfs vfs;
  ASSERT_EQ(statvfs("/var/tmp", &vfs), 0);
  ASSERT_EQ(vfs.f_flag & ST_NOSUID, 0u) << "/var/tmp is mounted nosuid here";
  EXPECT_EQ(lines[5], "0") << "the temporary folder takes the tool";
  EXPECT_EQ(lines[6], fTemp + "/" + kSubFolder + "/" + kToolName);
  struct stat st;
  ASSERT_EQ(lstat(fTemp.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, User().uid);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(lstat(lines[6].c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, User().uid);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_TRUE(ListFolder(share).empty()) << "the mount leaked out of the child's namespace";
}

TEST_F(InstallSystemTest, OrdinaryFoldersAnswerNoAndAnUnwritableOneIsAFailure) {
  const std::string plain = MakeUserFolder("plain");
  const std::string rootOnly = fScratch + "/root-only";
  ASSERT_EQ(mkdir(rootOnly.c_str(), 0755), 0);
  ChildResult r = RunAsUser(&User(), [&] {
    umask(022);
    PrintCheck(MoreSecIsFolderIgnoringOwnership, plain);
    PrintCheck(MoreSecIsFolderIgnoringSetUID, plain);
    printf("%s\n", Joined(ListFolder(plain)).c_str());
    PrintCheck(MoreSecIsFolderIgnoringOwnership, rootOnly);
    setenv("XDG_DATA_HOME", rootOnly.c_str(), 1);
    InstallAndPrint(kApplicationSupportFolderType, kSubFolder, kToolName);
    return 0;
  });
  ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0], "0 0") << "ignoring ownership";
  EXPECT_EQ(lines[1], "0 0") << "ignoring set-user-ID";
  EXPECT_EQ(lines[2], "keep/") << "the folder holds other things than before";
  EXPECT_EQ(lines[3], std::to_string(permErr) + " 7") << "a failure leaves the flag alone";
  EXPECT_EQ(lines[4], "5370") << "a data folder that is not the user's counts like an unsuitable volume";
  EXPECT_EQ(lines[5], "");
  EXPECT_TRUE(ListFolder(rootOnly).empty());
}

// On an ordinary volume a set-group-ID folder of group 99 gives its new files
// group 99 too, so the group change is tried: the user may not give a file a
// group it is not in (EPERM, an answer and not a failure); root may, and the
// change sticks. Either way the volume honours ownership.
TEST_F(InstallSystemTest, AFolderWhoseFilesGetGroup99StillHonoursOwnership) {
  const std::string folder = MakeUserFolder("group99");
  ASSERT_EQ(chown(folder.c_str(), User().uid, 99), 0);
  ASSERT_EQ(chmod(folder.c_str(), 02755), 0);
  auto check = [&] {
    umask(022);
    // The test file must really show group 99, or this proves nothing.
    const std::string probe = folder + "/probe";
    struct stat st;
    if (!WriteFile(probe, "") || stat(probe.c_str(), &st) != 0 || st.st_gid != 99 || unlink(probe.c_str()) != 0) {
      return 80;
    }
    PrintCheck(MoreSecIsFolderIgnoringOwnership, folder);
    printf("%s\n", Joined(ListFolder(folder)).c_str());
    return 0;
  };
  ChildResult asUser = RunAsUser(&User(), check);
  ChildResult asRoot = RunAsUser(nullptr, check);
  for (const ChildResult* r : {&asUser, &asRoot}) {
    const char* who = r == &asUser ? "as the user" : "as root";
    ASSERT_EQ(r->ExitCode(), 0) << who << ": " << r->Describe();
    EXPECT_EQ(r->out, "0 0\nkeep/\n") << who;
  }
  // Only a refusal with EPERM is the volume's answer: a change of group
  // refused for another reason (EACCES here) leaves the question open.
  ChildResult denied = RunAsUser(&User(), [&] {
    const std::initializer_list<long> chowns = {
#ifdef SYS_chown  // not on every architecture
        SYS_chown, SYS_lchown,
#endif
        SYS_fchownat};
    if (!quillon::testing::FailSystemCalls(chowns, EACCES)) return 81;
    return check();
  });
  ASSERT_EQ(denied.ExitCode(), 0) << denied.Describe();
  EXPECT_EQ(denied.out, std::to_string(kMoreSecChownErrBase + EACCES) + " 7\nkeep/\n");
}

// A FAT volume mounted gid=99: every file shows group 99. With "quiet" a
// change of group is accepted and forgotten, so ownership is ignored;
// without it the change is refused with EPERM, which counts as honouring
// ownership.
TEST_F(InstallSystemTest, AVfatVolumeIgnoresOwnershipOnlyWhenItForgetsChangesQuietly) {
  if (!quillon::systest::FileSystemAvailable("vfat")) GTEST_SKIP() << "this kernel cannot mount vfat";
  if (access("/dev/loop-control", F_OK) != 0) GTEST_SKIP() << "no loop devices (/dev/loop-control) here";
  struct Case {
    const char* name;
    const char* extraOptions;
    const char* ignoringOwnership;
    OSStatus install;
  };
  const Case cases[] = {
      {"quiet", ",quiet", "0 1", kMoreSecFolderInappropriateErr},
      {"loud", "", "0 0", noErr},
  };
  for (const Case& c : cases) {
    const std::string mountPoint = fScratch + "/fat-" + c.name;
    const std::string options =
        "uid=" + std::to_string(User().uid) + ",gid=99,umask=022" + std::string(c.extraOptions);
    ChildResult r = RunOnVfat(mountPoint, options, [&] {
      struct statfs fs;
      if (statfs(mountPoint.c_str(), &fs) != 0 || fs.f_type != MSDOS_SUPER_MAGIC) return 80;
      umask(022);
      if (!WriteFile(mountPoint + "/keep", "kept")) return 81;
      std::string before = Joined(ListFolder(mountPoint));
      PrintCheck(MoreSecIsFolderIgnoringOwnership, mountPoint);
      PrintCheck(MoreSecIsFolderIgnoringSetUID, mountPoint);
      printf("%d\n", Joined(ListFolder(mountPoint)) == before);
      setenv("XDG_DATA_HOME", mountPoint.c_str(), 1);
      InstallAndPrint(kApplicationSupportFolderType, nullptr, kToolName);
      if (c.install != noErr) printf("%d\n", Joined(ListFolder(mountPoint)) == before);
      return 0;
    });
    if (r.ExitCode() == 122 && r.err.find("loop") != std::string::npos) {
      GTEST_SKIP() << "cannot mount a FAT image through a loop device here: " << r.err;
    }
    ASSERT_EQ(r.ExitCode(), 0) << c.name << ": " << r.Describe();
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), c.install != noErr ? 6u : 5u) << c.name << ": " << r.out;
    EXPECT_EQ(lines[0], c.ignoringOwnership) << c.name << ": ignoring ownership";
    EXPECT_EQ(lines[1], "0 0") << c.name << ": ignoring set-user-ID";
    EXPECT_EQ(lines[2], "1") << c.name << ": the folder holds other things than before";
    EXPECT_EQ(lines[3], std::to_string(c.install)) << c.name << ": install";
    if (c.install != noErr) {
      EXPECT_EQ(lines[5], "1") << c.name << ": the refused install left something behind";
    }
  }
}

}  // namespace
