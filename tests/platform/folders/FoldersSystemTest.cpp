// Folder services as a throwaway user, and on real mounts made in a private
// mount namespace.
#include <Folders.h>
#include <SystemTestSupport.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

using quillon::systest::ChildOptions;
using quillon::systest::ChildResult;
using quillon::systest::RunAsUser;
using quillon::systest::ScopedTestUser;

class FoldersSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users and mounts";
    user_ = std::make_unique<ScopedTestUser>();
    ASSERT_TRUE(user_->ok()) << user_->error();
    temp_ = "/var/tmp/TemporaryItems-" + std::to_string(user().uid);
    RemoveTemp();  // a user of this uid may have left one
  }
  void TearDown() override {
    if (!temp_.empty()) RemoveTemp();
    if (!scratch_.empty()) {
      std::string error;
      EXPECT_TRUE(quillon::systest::RemoveScratchDir(scratch_, &error)) << error;
    }
  }

  const quillon::systest::TestUser& user() const { return user_->user(); }

  void RemoveTemp() {
    ChildResult r = quillon::systest::RunProgramAsUser(nullptr, {"/bin/rm", "-rf", "--", temp_});
    ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  }

  // FSFindFolder(user, 'temp') in a child as the user; exits with the status's
  // magnitude (fnfErr 43, permErr 54, 0) and prints the path.
  ChildResult FindTemp(bool create) {
    return RunAsUser(&user(), [create] {
      umask(0);  // the folder must come out 0700 whatever the umask
      FSRef found;
      OSErr err = FSFindFolder(kUserDomain, kTemporaryFolderType, create, &found);
      if (err == noErr) printf("%s", found.path);
      return -err;
    });
  }

  std::string MakeScratch() {
    std::string error;
    EXPECT_TRUE(quillon::systest::MakeScratchDir("folders", &scratch_, &error)) << error;
    return scratch_;
  }

  std::unique_ptr<ScopedTestUser> user_;
  std::string temp_;
  std::string scratch_;
};

TEST_F(FoldersSystemTest, TemporaryFolderIsCreatedPrivateToTheUser) {
  ChildResult r = FindTemp(false);
  EXPECT_EQ(r.ExitCode(), -fnfErr) << "looked up without the create flag: " << r.Describe();

  r = FindTemp(true);
  ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  EXPECT_EQ(r.out, temp_);
  struct stat st;
  ASSERT_EQ(lstat(temp_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, user().uid);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  // Found again as it is; group and others may read, not write.
  ASSERT_EQ(chmod(temp_.c_str(), 0755), 0);
  r = FindTemp(true);
  EXPECT_EQ(r.ExitCode(), 0) << r.Describe();
  ASSERT_EQ(lstat(temp_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u) << "an existing folder keeps its mode";
}

// Anyone may take the name first; the user then gets a fresh private folder
// that nobody could have named in advance, and what stood there stays.
TEST_F(FoldersSystemTest, ATakenTemporaryFolderNameGivesWayToAFreshPrivateFolder) {
  std::string elsewhere = temp_ + "-elsewhere";
  struct Case {
    const char* what;
    std::function<bool()> prepare;
  };
  const Case cases[] = {
      {"a symlink to a folder of the user",
       [&] {
         return mkdir(elsewhere.c_str(), 0700) == 0 && chown(elsewhere.c_str(), user().uid, user().gid) == 0 &&
                symlink(elsewhere.c_str(), temp_.c_str()) == 0;
       }},
      {"a plain file of the user",
       [&] {
         FILE* f = fopen(temp_.c_str(), "w");
         return f != NULL && fclose(f) == 0 && chown(temp_.c_str(), user().uid, user().gid) == 0;
       }},
      {"a folder owned by root", [&] { return mkdir(temp_.c_str(), 0755) == 0; }},
      {"a folder writable by its group",
       [&] {
         return mkdir(temp_.c_str(), 0700) == 0 && chown(temp_.c_str(), user().uid, user().gid) == 0 &&
                chmod(temp_.c_str(), 0770) == 0;
       }},
      {"a folder writable by others",
       [&] {
         return mkdir(temp_.c_str(), 0700) == 0 && chown(temp_.c_str(), user().uid, user().gid) == 0 &&
                chmod(temp_.c_str(), 0703) == 0;
       }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.prepare()) << c.what;
    struct stat taken;
    ASSERT_EQ(lstat(temp_.c_str(), &taken), 0);
    ChildResult r = FindTemp(false);
    EXPECT_EQ(r.ExitCode(), -permErr) << c.what << ": without the create flag: " << r.Describe();
    r = FindTemp(true);
    EXPECT_EQ(r.ExitCode(), 0) << c.what << ": " << r.Describe();
    EXPECT_EQ(r.out.rfind(temp_ + "-", 0), 0u) << c.what << ": " << r.out;
    struct stat st;
    ASSERT_EQ(lstat(r.out.c_str(), &st), 0) << c.what;
    EXPECT_TRUE(S_ISDIR(st.st_mode) && st.st_uid == user().uid && (st.st_mode & 07777) == 0700u) << c.what;
    EXPECT_EQ(rmdir(r.out.c_str()), 0) << c.what;
    struct stat after;
    ASSERT_EQ(lstat(temp_.c_str(), &after), 0) << c.what;
    EXPECT_TRUE(after.st_ino == taken.st_ino && after.st_mode == taken.st_mode) << c.what << ": changed";
    RemoveTemp();
    (void)rmdir(elsewhere.c_str());
  }
}

TEST_F(FoldersSystemTest, ApplicationSupportIsMadeInTheHomeFolder) {
  ChildResult r = RunAsUser(&user(), [] {
    unsetenv("XDG_DATA_HOME");
    FSRef found;
    OSErr err = FSFindFolder(kUserDomain, kApplicationSupportFolderType, true, &found);
    if (err == noErr) printf("%s", found.path);
    return -err;
  });
  ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  EXPECT_EQ(r.out, user().home + "/.local/share");
  struct stat st;
  ASSERT_EQ(stat(r.out.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, user().uid);
  EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST_F(FoldersSystemTest, TmpfsMountedNoSUIDAnswersYesAnOrdinaryFolderNo) {
  std::string scratch = MakeScratch();
  std::string nosuid = scratch + "/nosuid", plain = scratch + "/plain";
  ASSERT_EQ(mkdir(nosuid.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(plain.c_str(), 0755), 0);
  ChildOptions options;
  options.privateMountNamespace = true;
  options.rootSetup = [&](std::string* error) {
    return quillon::systest::MountTmpfs(nosuid, MS_NOSUID | MS_NODEV, "mode=0777,size=1m", error) &&
           quillon::systest::MountTmpfs(plain, 0, "mode=0777,size=1m", error);
  };
  ChildResult r = RunAsUser(
      &user(),
      [&] {
        Boolean a = false, b = true, c = true;
        if (QuillonVolumeIsNoSUID(nosuid.c_str(), &a) != 0 || QuillonVolumeIsNoSUID(plain.c_str(), &b) != 0 ||
            QuillonVolumeIsNoSUID(scratch.c_str(), &c) != 0) {
          return 2;
        }
        printf("%d%d%d", a, b, c);
        return 0;
      },
      options);
  ASSERT_EQ(r.ExitCode(), 0) << r.Describe();
  struct statvfs vfs;
  ASSERT_EQ(statvfs(scratch.c_str(), &vfs), 0);
  ASSERT_EQ(vfs.f_flag & ST_NOSUID, 0u) << "/var/tmp itself is mounted nosuid here";
  EXPECT_EQ(r.out, "100");
  // The mounts lived in the child's namespace only.
  Boolean outside = true;
  ASSERT_EQ(QuillonVolumeIsNoSUID(nosuid.c_str(), &outside), 0);
  EXPECT_FALSE(outside);
}

// A FAT volume has no owners: every file shows the mount's gid, and with
// "quiet" a change of group is accepted and forgotten.
TEST_F(FoldersSystemTest, VfatVolumeReportsItsGroupAndForgetsChanges) {
  if (!quillon::systest::FileSystemAvailable("vfat")) GTEST_SKIP() << "this kernel cannot mount vfat";
  std::string scratch = MakeScratch();
  std::string image = scratch + "/fat.img", mountPoint = scratch + "/fat";
  ASSERT_EQ(mkdir(mountPoint.c_str(), 0755), 0);
  std::string error;
  ASSERT_TRUE(quillon::systest::MakeVfatImage(image, 8, &error)) << error;
  ChildOptions options;
  options.privateMountNamespace = true;
  std::string mountOptions = "uid=" + std::to_string(user().uid) + ",gid=99,quiet,umask=022";
  options.rootSetup = [&](std::string* mountError) {
    return quillon::systest::MountLoopImage(image, mountPoint, "vfat", mountOptions, mountError);
  };
  ChildResult r = RunAsUser(
      &user(),
      [&] {
        FSRef folder, file;
        if (FSPathMakeRef(reinterpret_cast<const UInt8*>(mountPoint.c_str()), &folder, NULL) != noErr) return 2;
        const UniChar name[] = {'t', 'e', 's', 't'};
        if (FSCreateFileUnicode(&folder, 4, name, kFSCatInfoNone, NULL, &file) != noErr) return 3;
        FSCatalogInfo info;
        if (FSGetCatalogInfo(&file, kFSCatInfoPermissions, &info) != noErr || info.permissions.groupID != 99) return 4;
        info.permissions.groupID = 20;
        if (FSSetCatalogInfo(&file, kFSCatInfoPermissions, &info) != noErr) return 5;
        if (FSGetCatalogInfo(&file, kFSCatInfoPermissions, &info) != noErr || info.permissions.groupID != 99) return 6;
        return FSDeleteObject(&file) == noErr ? 0 : 7;
      },
      options);
  EXPECT_EQ(r.ExitCode(), 0) << r.Describe();
}

}  // namespace
