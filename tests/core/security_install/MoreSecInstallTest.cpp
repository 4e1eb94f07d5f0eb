// Installing the helper tool from a bundle as whoever runs the tests: the
// first copy, what is replaced at the tool's place and what is refused. Each
// install runs in a child, with XDG_DATA_HOME pointing into a scratch folder,
// so that this process's environment and umask stay as they are.

#include "InstallTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/statvfs.h>

namespace {

using namespace installtest;
using quillon::systest::ChildResult;
using quillon::systest::RunAsUser;

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(quillon::systest::MakeScratchDir("install", &fScratch, &error)) << error;
    struct statvfs vfs;
    ASSERT_EQ(statvfs(fScratch.c_str(), &vfs), 0);
    ASSERT_EQ(vfs.f_flag & ST_NOSUID, 0u) << "/var/tmp is mounted nosuid here: nothing can be installed in it";
    fDataHome = fScratch + "/data";
    ASSERT_EQ(stat(TemplatePath().c_str(), &fTemplate), 0) << TemplatePath();
    ASSERT_TRUE(ReadFile(TemplatePath(), &fTemplateBytes));
  }
  void TearDown() override {
    if (fScratch.empty()) return;
    std::string error;
    EXPECT_TRUE(quillon::systest::RemoveScratchDir(fScratch, &error)) << error;
  }

  ChildResult RunInstall(const char* subFolder, const char* toolName, const char* templateName = kTemplateName) {
    const std::string dataHome = fDataHome;
    return RunAsUser(nullptr, [&] {
      umask(022);
      setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
      return InstallAndPrint(kApplicationSupportFolderType, subFolder, toolName, templateName);
    });
  }
  Installed Install(const char* subFolder = kSubFolder, const char* toolName = kToolName,
                    const char* templateName = kTemplateName) {
    ChildResult r = RunInstall(subFolder, toolName, templateName);
    Installed installed = ParseInstalled(r);
    EXPECT_TRUE(installed.ran) << r.Describe();
    return installed;
  }

  std::string SubFolderPath() const { return fDataHome + "/" + kSubFolder; }
  std::string ToolPath() const { return SubFolderPath() + "/" + kToolName; }

  // A fresh copy: the template's bytes, size and modification time, its
  // permission bits less the umask, never set-user-ID, owned by us.
  void ExpectFreshCopy(const std::string& path, const char* what) {
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0) << what;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << what;
    EXPECT_EQ(st.st_uid, geteuid()) << what;
    EXPECT_EQ(st.st_mode & 07777, fTemplate.st_mode & 0777 & ~022u) << what;
    EXPECT_EQ(st.st_size, fTemplate.st_size) << what;
    EXPECT_EQ(st.st_mtim.tv_sec, fTemplate.st_mtim.tv_sec) << what;
    std::string bytes;
    ASSERT_TRUE(ReadFile(path, &bytes)) << what;
    EXPECT_TRUE(bytes == fTemplateBytes) << what << ": the copy's bytes differ from the template's";
  }

  std::string fScratch;
  std::string fDataHome;
  struct stat fTemplate {};
  std::string fTemplateBytes;
};

TEST_F(InstallTest, FirstUseCreatesTheFoldersAndACopyThatIsNotYetSetUID) {
  Installed installed = Install();
  ASSERT_EQ(installed.status, noErr);
  EXPECT_EQ(installed.path, ToolPath());
  struct stat st;
  ASSERT_EQ(stat(fDataHome.c_str(), &st), 0) << "the folder itself is created when missing";
  ASSERT_EQ(stat(SubFolderPath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u) << "the subfolder is the user's alone";
  ExpectFreshCopy(ToolPath(), "first copy");
  EXPECT_EQ(ListFolder(SubFolderPath()), std::vector<std::string>{kToolName});
  EXPECT_EQ(ListFolder(fDataHome), std::vector<std::string>{kSubFolder}) << "the ownership test file was left behind";
}

TEST_F(InstallTest, WithoutASubfolderTheToolLiesInTheFolderItself) {
  Installed installed = Install(nullptr);
  ASSERT_EQ(installed.status, noErr);
  EXPECT_EQ(installed.path, fDataHome + "/" + kToolName);
  ExpectFreshCopy(installed.path, "copy without subfolder");
  EXPECT_EQ(ListFolder(fDataHome), std::vector<std::string>{kToolName});
}

// Whatever stands at the tool's place and is not an acceptable copy goes;
// a symbolic link goes itself, and whatever it points at is left alone.
TEST_F(InstallTest, WhatStandsAtTheToolsPlaceIsReplacedAndLinksAreNeverFollowed) {
  const std::string target = fScratch + "/target";
  const std::string targetFolder = fScratch + "/target-folder";
  const std::string missing = fScratch + "/missing";
  struct Case {
    const char* what;
    std::function<bool()> prepare;
  };
  const Case cases[] = {
      {"an empty directory", [&] { return mkdir(ToolPath().c_str(), 0755) == 0; }},
      {"a symlink to a writable file",
       [&] {
         return WriteFile(target, "precious") && chmod(target.c_str(), 0666) == 0 &&
                symlink(target.c_str(), ToolPath().c_str()) == 0;
       }},
      {"a dangling symlink", [&] { return symlink(missing.c_str(), ToolPath().c_str()) == 0; }},
      {"a symlink to a folder",
       [&] { return mkdir(targetFolder.c_str(), 0777) == 0 && symlink(targetFolder.c_str(), ToolPath().c_str()) == 0; }},
  };
  ASSERT_EQ(mkdir(fDataHome.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(SubFolderPath().c_str(), 0755), 0);
  for (const Case& c : cases) {
    ASSERT_TRUE(c.prepare()) << c.what << ": " << strerror(errno);
    Installed installed = Install();
    EXPECT_EQ(installed.status, noErr) << c.what;
    EXPECT_EQ(installed.path, ToolPath()) << c.what;
    ExpectFreshCopy(ToolPath(), c.what);
    ASSERT_EQ(unlink(ToolPath().c_str()), 0) << c.what;
  }
  std::string bytes;
  ASSERT_TRUE(ReadFile(target, &bytes));
  EXPECT_EQ(bytes, "precious") << "the copy was written through the link";
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(lstat(missing.c_str(), &st), -1) << "the copy was created at the dangling link's target";
  EXPECT_TRUE(ListFolder(targetFolder).empty()) << Joined(ListFolder(targetFolder));
}

TEST_F(InstallTest, ADirectoryWithContentsAtTheToolsPlaceGivesTheRmdirError) {
  ASSERT_EQ(mkdir(fDataHome.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(SubFolderPath().c_str(), 0755), 0);
  ASSERT_EQ(mkdir(ToolPath().c_str(), 0755), 0);
  ASSERT_TRUE(WriteFile(ToolPath() + "/content", "keep me"));
  Installed installed = Install();
  EXPECT_EQ(installed.status, ENOTEMPTY);
  EXPECT_EQ(installed.path, "") << "no URL on failure";
  std::string bytes;
  EXPECT_TRUE(ReadFile(ToolPath() + "/content", &bytes) && bytes == "keep me");
}

TEST_F(InstallTest, ATemplateMissingFromTheBundleInstallsNothing) {
  for (const char* name : {"NoSuchTemplate", "../InstallTest.bundle/InstallTemplate"}) {
    Installed installed = Install(kSubFolder, kToolName, name);
    EXPECT_EQ(installed.status, coreFoundationUnknownErr) << name;
    EXPECT_EQ(installed.path, "") << name;
  }
  struct stat st;
  EXPECT_EQ(lstat(fDataHome.c_str(), &st), -1) << "a folder was created for a template that does not exist";
}

// The subfolder's name is copied into a fixed buffer of 255 UTF-16 units:
// one unit more must end the process, never run past the buffer.
TEST_F(InstallTest, SubfolderNamesOfUpTo255UnitsWorkALongerOneEndsTheProcess) {
  const std::string longest(255, 'q');
  Installed installed = Install(longest.c_str());
  EXPECT_EQ(installed.status, noErr);
  EXPECT_EQ(installed.path, fDataHome + "/" + longest + "/" + kToolName);

  const std::string tooLong(256, 'q');
  ChildResult r = RunInstall(tooLong.c_str(), kToolName);
  EXPECT_EQ(r.Signal(), SIGABRT) << r.Describe();
  EXPECT_NE(r.err.find("CFStringGetLength(subFolderName) <= (sizeof(subFolderNameU.unicode) / sizeof(UniChar))"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ListFolder(fDataHome), std::vector<std::string>{longest});
}

}  // namespace
