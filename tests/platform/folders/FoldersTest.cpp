#include <Folders.h>
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

std::u16string U(const char16_t* s) { return std::u16string(s); }

OSErr MakeRef(const FSRef& parent, const std::u16string& name, FSRef* out) {
  return FSMakeFSRefUnicode(&parent, name.size(), reinterpret_cast<const UniChar*>(name.data()),
                            kTextEncodingUnknown, out);
}
OSErr CreateFile(const FSRef& parent, const std::u16string& name, FSRef* out) {
  return FSCreateFileUnicode(&parent, name.size(), reinterpret_cast<const UniChar*>(name.data()), kFSCatInfoNone,
                             NULL, out);
}
OSErr CreateDir(const FSRef& parent, const std::u16string& name, FSRef* out) {
  return FSCreateDirectoryUnicode(&parent, name.size(), reinterpret_cast<const UniChar*>(name.data()),
                                  kFSCatInfoNone, NULL, out);
}

class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/quillon-folders-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(dir_.c_str()), &dirRef_, NULL), noErr);
    const char* old = getenv("XDG_DATA_HOME");
    hadDataHome_ = old != NULL;
    if (old != NULL) oldDataHome_ = old;
  }
  void TearDown() override {
    if (hadDataHome_) {
      setenv("XDG_DATA_HOME", oldDataHome_.c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string dir_;
  FSRef dirRef_;
  bool hadDataHome_ = false;
  std::string oldDataHome_;
};

TEST(FoldersErrnoTest, MapsErrnoToFileManagerCodes) {
  EXPECT_EQ(FSErrnoToOSErr(ENOENT), fnfErr);
  EXPECT_EQ(FSErrnoToOSErr(EACCES), permErr);
  EXPECT_EQ(FSErrnoToOSErr(EPERM), permErr);
  EXPECT_EQ(FSErrnoToOSErr(EEXIST), dupFNErr);
  EXPECT_EQ(FSErrnoToOSErr(ENOTEMPTY), fBsyErr);
  EXPECT_EQ(FSErrnoToOSErr(ENAMETOOLONG), bdNamErr);
  EXPECT_EQ(FSErrnoToOSErr(EIO), ioErr);
}

TEST_F(FoldersTest, ApplicationSupportFollowsAnAbsoluteDataHomeAndCreatesItPrivate) {
  std::string dataHome = dir_ + "/data/home";
  setenv("XDG_DATA_HOME", (dataHome + "/").c_str(), 1);
  FSRef found;
  EXPECT_EQ(FSFindFolder(kUserDomain, kApplicationSupportFolderType, false, &found), fnfErr);
  ASSERT_EQ(FSFindFolder(kUserDomain, kApplicationSupportFolderType, true, &found), noErr);
  EXPECT_STREQ(found.path, dataHome.c_str());
  struct stat st;
  ASSERT_EQ(stat(dataHome.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0077, 0u) << "a created data home is for its user alone";

  // A relative value is not a place: the home folder's .local/share is used.
  setenv("XDG_DATA_HOME", "relative/share", 1);
  OSErr err = FSFindFolder(kUserDomain, kApplicationSupportFolderType, false, &found);
  if (err == noErr) {
    EXPECT_NE(std::string(found.path).find("/.local/share"), std::string::npos) << found.path;
  }
}

TEST_F(FoldersTest, OtherDomainsAndTypes) {
  FSRef found;
  struct stat st;
  if (stat("/usr/share", &st) == 0) {
    ASSERT_EQ(FSFindFolder(kSystemDomain, kApplicationSupportFolderType, false, &found), noErr);
    EXPECT_STREQ(found.path, "/usr/share");
  }
  if (stat("/usr/local/share", &st) == 0) {
    ASSERT_EQ(FSFindFolder(kLocalDomain, kApplicationSupportFolderType, false, &found), noErr);
    EXPECT_STREQ(found.path, "/usr/local/share");
  }
  EXPECT_EQ(FSFindFolder(kNetworkDomain, kApplicationSupportFolderType, true, &found), fnfErr);
  EXPECT_EQ(FSFindFolder(kSystemDomain, kTemporaryFolderType, false, &found), fnfErr);
  EXPECT_EQ(FSFindFolder(kUserDomain, kFrameworksFolderType, false, &found), fnfErr);
  EXPECT_EQ(FSFindFolder(0, kApplicationSupportFolderType, false, &found), paramErr);
  EXPECT_EQ(FSFindFolder(kUserDomain, kApplicationSupportFolderType, false, NULL), paramErr);
}

TEST_F(FoldersTest, NamesAreRefusedWhenTheyCouldLeaveTheFolder) {
  FSRef ref;
  const UniChar lone[] = {0xD800, 'a'};
  const UniChar nul[] = {'a', 0, 'b'};
  for (const std::u16string& bad : {U(u""), U(u"."), U(u".."), U(u"a/b"), U(u"/etc")}) {
    EXPECT_EQ(CreateFile(dirRef_, bad, &ref), bdNamErr);
    EXPECT_EQ(MakeRef(dirRef_, bad, &ref), bdNamErr);
  }
  EXPECT_EQ(FSCreateFileUnicode(&dirRef_, 2, lone, kFSCatInfoNone, NULL, &ref), bdNamErr);
  EXPECT_EQ(FSCreateFileUnicode(&dirRef_, 3, nul, kFSCatInfoNone, NULL, &ref), bdNamErr);
  EXPECT_EQ(CreateFile(dirRef_, std::u16string(256, u'x'), &ref), bdNamErr);
  EXPECT_EQ(CreateFile(dirRef_, std::u16string(255, u'x'), &ref), noErr);
}

TEST_F(FoldersTest, CreatesLooksUpAndDeletesByUnicodeName) {
  FSRef file, again, folder, inner;
  // é and an emoji (a surrogate pair) arrive as UTF-8 on disk.
  ASSERT_EQ(CreateFile(dirRef_, U(u"caf\u00e9 \U0001F3B5"), &file), noErr);
  EXPECT_EQ(std::string(file.path), dir_ + "/caf\xC3\xA9 \xF0\x9F\x8E\xB5");
  struct stat st;
  EXPECT_EQ(lstat(file.path, &st), 0);
  EXPECT_EQ(CreateFile(dirRef_, U(u"caf\u00e9 \U0001F3B5"), &again), dupFNErr);
  ASSERT_EQ(MakeRef(dirRef_, U(u"caf\u00e9 \U0001F3B5"), &again), noErr);
  EXPECT_STREQ(again.path, file.path);
  EXPECT_EQ(MakeRef(dirRef_, U(u"missing"), &again), fnfErr);

  ASSERT_EQ(CreateDir(dirRef_, U(u"Quillon"), &folder), noErr);
  EXPECT_EQ(CreateDir(dirRef_, U(u"Quillon"), &again), dupFNErr);
  ASSERT_EQ(CreateFile(folder, U(u"inner"), &inner), noErr);
  EXPECT_EQ(FSDeleteObject(&folder), fBsyErr);
  EXPECT_EQ(FSDeleteObject(&inner), noErr);
  EXPECT_EQ(FSDeleteObject(&folder), noErr);
  EXPECT_EQ(FSDeleteObject(&folder), fnfErr);
  EXPECT_EQ(FSDeleteObject(&file), noErr);
}

TEST_F(FoldersTest, DeletingASymlinkLeavesItsTarget) {
  FSRef folder, inner, link;
  ASSERT_EQ(CreateDir(dirRef_, U(u"target"), &folder), noErr);
  ASSERT_EQ(CreateFile(folder, U(u"keep"), &inner), noErr);
  ASSERT_EQ(symlink(folder.path, (dir_ + "/link").c_str()), 0);
  ASSERT_EQ(MakeRef(dirRef_, U(u"link"), &link), noErr);
  EXPECT_EQ(FSDeleteObject(&link), noErr);
  struct stat st;
  EXPECT_NE(lstat((dir_ + "/link").c_str(), &st), 0);
  EXPECT_EQ(lstat(inner.path, &st), 0);
}

TEST_F(FoldersTest, CatalogInfoReportsOwnerGroupAndWholeMode) {
  FSRef file;
  ASSERT_EQ(CreateFile(dirRef_, U(u"f"), &file), noErr);
  ASSERT_EQ(chmod(file.path, 0640), 0);
  FSCatalogInfo info;
  ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoPermissions, &info), noErr);
  EXPECT_EQ(info.permissions.userID, geteuid());
  EXPECT_EQ(info.permissions.groupID, getegid());
  EXPECT_EQ(info.permissions.mode, S_IFREG | 0640);
  // Writing back what was read changes nothing and is allowed to anyone.
  EXPECT_EQ(FSSetCatalogInfo(&file, kFSCatInfoPermissions, &info), noErr);
  EXPECT_EQ(FSGetCatalogInfo(&file, 0x1, &info), paramErr);
  FSRef gone;
  memcpy(&gone, &file, sizeof(gone));
  ASSERT_EQ(FSDeleteObject(&file), noErr);
  EXPECT_EQ(FSGetCatalogInfo(&gone, kFSCatInfoPermissions, &info), fnfErr);
}

TEST_F(FoldersTest, PathsAndURLsRoundTrip) {
  FSRef ref;
  Boolean isDirectory = false;
  std::string withSlash = dir_ + "//";
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(withSlash.c_str()), &ref, &isDirectory), noErr);
  EXPECT_EQ(std::string(ref.path), dir_);
  EXPECT_TRUE(isDirectory);
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>("relative"), &ref, NULL), paramErr);
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>("/no/such/quillon/path"), &ref, NULL), fnfErr);

  UInt8 small[4];
  EXPECT_EQ(FSRefMakePath(&dirRef_, small, sizeof(small)), bdNamErr);
  UInt8 path[1024];
  ASSERT_EQ(FSRefMakePath(&dirRef_, path, sizeof(path)), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(path)), dir_);

  // A folder's URL takes a further component, as the tool's location does.
  CFURLRef url = CFURLCreateFromFSRef(NULL, &dirRef_);
  ASSERT_NE(url, nullptr);
  CFURLRef child = CFURLCreateCopyAppendingPathComponent(NULL, url, CFSTR("UninstallerHelper"), false);
  ASSERT_NE(child, nullptr);
  FSRef back;
  EXPECT_FALSE(CFURLGetFSRef(child, &back)) << "the item does not exist yet";
  FSRef file;
  ASSERT_EQ(CreateFile(dirRef_, U(u"UninstallerHelper"), &file), noErr);
  ASSERT_TRUE(CFURLGetFSRef(child, &back));
  EXPECT_STREQ(back.path, file.path);
  ASSERT_TRUE(CFURLGetFSRef(url, &back));
  EXPECT_EQ(std::string(back.path), dir_);
  CFRelease(child);
  CFRelease(url);

  FSRef missing;
  strcpy(missing.path, "/no/such/quillon/path");
  EXPECT_EQ(CFURLCreateFromFSRef(NULL, &missing), nullptr);
}

TEST(FoldersClockTest, UpTimeIsTheMonotonicClockInNanoseconds) {
  struct timespec before, after;
  ASSERT_EQ(clock_gettime(CLOCK_MONOTONIC, &before), 0);
  UInt64 now = UpTime();
  ASSERT_EQ(clock_gettime(CLOCK_MONOTONIC, &after), 0);
  EXPECT_GE(now, static_cast<UInt64>(before.tv_sec) * 1000000000u + static_cast<UInt64>(before.tv_nsec));
  EXPECT_LE(now, static_cast<UInt64>(after.tv_sec) * 1000000000u + static_cast<UInt64>(after.tv_nsec));
}

TEST(FoldersVolumeTest, NoSUIDMatchesTheMountFlags) {
  Boolean noSUID = true;
  struct statvfs vfs;
  ASSERT_EQ(statvfs("/", &vfs), 0);
  ASSERT_EQ(QuillonVolumeIsNoSUID("/", &noSUID), 0);
  EXPECT_EQ(noSUID != 0, (vfs.f_flag & ST_NOSUID) != 0);
  EXPECT_EQ(QuillonVolumeIsNoSUID("/no/such/quillon/path", &noSUID), ENOENT);
}

}  // namespace
