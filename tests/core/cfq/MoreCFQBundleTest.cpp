// Loading a framework bundle by name from a list of folders.

#include "CFQTestSupport.h"
#include "MoreCFQPrivate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class CFQBundleTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillon-cfq-bundle-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fRoot = pattern;
  }
  void TearDown() override { fs::remove_all(fRoot); }

  // A bundle folder Tiny.framework in fRoot/|folder| whose executable
  // "Tiny.so" is a copy of |executable|.
  void MakeFramework(const std::string& folder, const fs::path& executable) {
    fs::path bundle = fs::path(fRoot) / folder / "Tiny.framework";
    fs::create_directories(bundle);
    std::ofstream(bundle / "Info.plist") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                            "<key>CFBundleExecutable</key><string>Tiny.so</string></dict></plist>\n";
    fs::copy_file(executable, bundle / "Tiny.so");
    fs::permissions(bundle / "Tiny.so", fs::perms::owner_all, fs::perm_options::add);
  }

  OSStatus Create(CFStringRef name, CFRef<CFBundleRef>* bundle) {
    std::string first = fRoot + "/first", second = fRoot + "/second";
    const char* folders[] = {first.c_str(), second.c_str()};
    CFBundleRef raw = nullptr;
    OSStatus err = BundleCreateFromFrameworkNameInFolders(folders, 2, name, &raw);
    bundle->reset(raw);
    return err;
  }

  std::string fRoot;
};

TEST_F(CFQBundleTest, LoadsTheFirstFrameworkFoundAndNeverFallsBack) {
  MakeFramework("second", QUILLON_TINY_FRAMEWORK_PATH);
  CFRef<CFBundleRef> bundle;
  ASSERT_EQ(Create(CFSTR("Tiny.framework"), &bundle), noErr);
  EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle.get()));
  auto answer = (int (*)(void)) CFBundleGetFunctionPointerForName(bundle.get(), CFSTR("QuillonTinyFrameworkAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);

  EXPECT_EQ(Create(CFSTR("Absent.framework"), &bundle), -4960);
  EXPECT_FALSE(bundle);

  // A framework earlier in the search whose executable does not load is an
  // error, not a reason to load a different copy.
  std::ofstream(fs::path(fRoot) / "not-code") << "not a shared object\n";
  MakeFramework("first", fs::path(fRoot) / "not-code");
  EXPECT_EQ(Create(CFSTR("Tiny.framework"), &bundle), -4960);
  EXPECT_FALSE(bundle);

  CFBundleRef raw = nullptr;
  EXPECT_EQ(CFQBundleCreateFromFrameworkName(CFSTR("QuillonNoSuchThing.framework"), &raw), -4960);
  EXPECT_EQ(raw, nullptr);
}

// The name is one folder name inside the search folders, never a path that
// leads out of them.
TEST_F(CFQBundleTest, OnlyAPlainNameIsLookedUp) {
  MakeFramework("elsewhere", QUILLON_TINY_FRAMEWORK_PATH);
  fs::create_directories(fs::path(fRoot) / "first");
  fs::create_directories(fs::path(fRoot) / "second");
  for (CFStringRef name : {CFSTR("../elsewhere/Tiny.framework"), CFSTR(".."), CFSTR("."), CFSTR(""),
                           CFSTR("Tiny.framework/")}) {
    CFRef<CFBundleRef> bundle;
    EXPECT_EQ(Create(name, &bundle), paramErr) << CFStringGetCStringPtr(name, kCFStringEncodingUTF8);
    EXPECT_FALSE(bundle);
  }
}

}  // namespace
