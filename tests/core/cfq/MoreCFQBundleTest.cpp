// Loading a framework bundle by name from a list of folders.

#include "MoreCFQ.h"
#include "MoreCFQPrivate.h"

#include <CoreFoundation/CFRef.h>
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
    fFirst = fRoot + "/first";
    fSecond = fRoot + "/second";
    fs::create_directories(fFirst);
    fs::create_directories(fSecond);
  }
  void TearDown() override { fs::remove_all(fRoot); }

  // A bundle folder |name| in |folder| whose Info.plist names "Tiny.so" as its
  // executable; |executable| is copied in under that name.
  static void MakeFramework(const std::string& folder, const std::string& name, const fs::path& executable) {
    fs::path bundle = fs::path(folder) / name;
    fs::create_directories(bundle);
    std::ofstream(bundle / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>org.quillon.tiny</string>"
           "<key>CFBundleExecutable</key><string>Tiny.so</string></dict></plist>\n";
    fs::copy_file(executable, bundle / "Tiny.so");
    fs::permissions(bundle / "Tiny.so", fs::perms::owner_all, fs::perm_options::add);
  }

  OSStatus Create(const char* name, CFRef<CFBundleRef>* bundle) {
    const char* folders[] = {fFirst.c_str(), fSecond.c_str()};
    CFRef<CFStringRef> frameworkName(CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8));
    CFBundleRef raw = nullptr;
    OSStatus err = BundleCreateFromFrameworkNameInFolders(folders, 2, frameworkName.get(), &raw);
    bundle->reset(raw);
    return err;
  }

  std::string fRoot;
  std::string fFirst;
  std::string fSecond;
};

TEST_F(CFQBundleTest, FindsTheFrameworkInTheFoldersAndLoadsItsExecutable) {
  MakeFramework(fSecond, "Tiny.framework", QUILLON_TINY_FRAMEWORK_PATH);

  CFRef<CFBundleRef> bundle;
  ASSERT_EQ(Create("Tiny.framework", &bundle), noErr);
  ASSERT_TRUE(bundle);
  EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle.get()));
  auto answer = (int (*)(void)) CFBundleGetFunctionPointerForName(bundle.get(), CFSTR("QuillonTinyFrameworkAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);

  EXPECT_EQ(Create("Absent.framework", &bundle), -4960);
  EXPECT_FALSE(bundle);
}

TEST_F(CFQBundleTest, AnExecutableThatDoesNotLoadFailsWithoutFallingBackToALaterFolder) {
  fs::path notCode = fs::path(fRoot) / "not-code";
  std::ofstream(notCode) << "this is not a shared object\n";
  MakeFramework(fFirst, "Tiny.framework", notCode);
  MakeFramework(fSecond, "Tiny.framework", QUILLON_TINY_FRAMEWORK_PATH);

  CFRef<CFBundleRef> bundle;
  EXPECT_EQ(Create("Tiny.framework", &bundle), -4960);
  EXPECT_FALSE(bundle);
}

TEST(CFQBundlePublicTest, UnknownFrameworkGivesStatusAndNoBundle) {
  CFBundleRef bundle = nullptr;
  EXPECT_EQ(CFQBundleCreateFromFrameworkName(CFSTR("QuillonNoSuchThing.framework"), &bundle), -4960);
  EXPECT_EQ(bundle, nullptr);
}

}  // namespace
