// File URLs, whole-file reads and bundle look-ups on a temporary folder.
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Path(CFURLRef url) {
  char buffer[4096];
  if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof buffer)) return "<none>";
  return buffer;
}

std::string Text(CFStringRef s) {
  if (s == nullptr) return "<null>";
  const char* p = CFStringGetCStringPtr(s, kCFStringEncodingUTF8);
  return p ? p : "<none>";
}

CFURLRef URLFor(const std::string& path, bool isDirectory) {
  return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                 static_cast<CFIndex>(path.size()), isDirectory);
}

TEST(CFURLTest, PathsAreNormalisedAndAbsolute) {
  CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/usr//share/./doc/"), kCFURLPOSIXPathStyle, true));
  EXPECT_EQ(Path(url.get()), "/usr/share/doc");
  EXPECT_TRUE(CFURLHasDirectoryPath(url.get()));
  CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url.get(), kCFURLPOSIXPathStyle));
  EXPECT_EQ(Text(path.get()), "/usr/share/doc");

  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  CFRef<CFURLRef> relative(CFURLCreateWithFileSystemPath(nullptr, CFSTR("a/b"), kCFURLPOSIXPathStyle, false));
  EXPECT_EQ(Path(relative.get()), std::string(cwd) == "/" ? "/a/b" : std::string(cwd) + "/a/b");

  EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false), nullptr);
  const UInt8 withNul[] = {'/', 'a', 0, 'b'};
  EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(nullptr, withNul, 4, false), nullptr);

  // A buffer one byte short of the terminator is refused.
  UInt8 small[5];
  CFRef<CFURLRef> tmp(URLFor("/tmp", true));
  EXPECT_FALSE(CFURLGetFileSystemRepresentation(tmp.get(), true, small, 4));
  EXPECT_TRUE(CFURLGetFileSystemRepresentation(tmp.get(), true, small, 5));
}

TEST(CFURLTest, AppendingAndDeletingComponents) {
  CFRef<CFURLRef> base(URLFor("/opt/quillon", true));
  CFRef<CFURLRef> file(CFURLCreateCopyAppendingPathComponent(nullptr, base.get(), CFSTR("bin/tool"), false));
  EXPECT_EQ(Path(file.get()), "/opt/quillon/bin/tool");
  EXPECT_FALSE(CFURLHasDirectoryPath(file.get()));
  CFRef<CFStringRef> last(CFURLCopyLastPathComponent(file.get()));
  EXPECT_EQ(Text(last.get()), "tool");

  CFRef<CFURLRef> parent(CFURLCreateCopyDeletingLastPathComponent(nullptr, file.get()));
  EXPECT_EQ(Path(parent.get()), "/opt/quillon/bin");
  EXPECT_TRUE(CFURLHasDirectoryPath(parent.get()));
  CFRef<CFURLRef> root(URLFor("/", false));
  EXPECT_TRUE(CFURLHasDirectoryPath(root.get()));
  CFRef<CFURLRef> rootParent(CFURLCreateCopyDeletingLastPathComponent(nullptr, root.get()));
  EXPECT_EQ(Path(rootParent.get()), "/");
  CFRef<CFURLRef> top(URLFor("/opt", false));
  CFRef<CFURLRef> topParent(CFURLCreateCopyDeletingLastPathComponent(nullptr, top.get()));
  EXPECT_EQ(Path(topParent.get()), "/");

  // Equal URLs: same path and same directory flag.
  CFRef<CFURLRef> again(URLFor("/opt/quillon/bin/tool", false));
  EXPECT_TRUE(CFEqual(again.get(), file.get()));
  EXPECT_EQ(CFHash(again.get()), CFHash(file.get()));
  CFRef<CFURLRef> asDirectory(URLFor("/opt/quillon/bin/tool", true));
  EXPECT_FALSE(CFEqual(asDirectory.get(), file.get()));

  const UniChar nul[] = {'a', 0, 'b'};
  CFRef<CFStringRef> badComponent(CFStringCreateWithCharacters(nullptr, nul, 3));
  EXPECT_EQ(CFURLCreateCopyAppendingPathComponent(nullptr, base.get(), badComponent.get(), false), nullptr);
}

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillon-cf-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fRoot = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + fRoot + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }
  void Write(const std::string& relative, const std::string& contents, mode_t mode = 0644) {
    std::string path = fRoot + "/" + relative;
    std::ofstream(path, std::ios::binary) << contents;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }
  void MakeFolder(const std::string& relative) { ASSERT_EQ(mkdir((fRoot + "/" + relative).c_str(), 0755), 0); }

  std::string fRoot;
};

using CFResourceTest = TempFolder;

TEST_F(CFResourceTest, ReadsWholeFilesAndReportsWhyNot) {
  Write("file", std::string(100000, 'z'));
  CFRef<CFURLRef> url(URLFor(fRoot + "/file", false));
  CFDataRef data = nullptr;
  SInt32 error = 1;
  ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.get(), &data, nullptr, nullptr, &error));
  CFRef<CFDataRef> held(data);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(CFDataGetLength(data), 100000);

  CFRef<CFURLRef> missing(URLFor(fRoot + "/missing", false));
  data = nullptr;
  EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, missing.get(), &data, nullptr, nullptr, &error));
  EXPECT_EQ(error, kCFURLResourceNotFoundError);
  EXPECT_EQ(data, nullptr);

  CFRef<CFURLRef> folder(URLFor(fRoot, true));
  EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, folder.get(), &data, nullptr, nullptr, &error));
  EXPECT_EQ(error, kCFURLUnknownError);

  // A FIFO must neither block the open nor be read.
  ASSERT_EQ(mkfifo((fRoot + "/fifo").c_str(), 0600), 0);
  CFRef<CFURLRef> fifo(URLFor(fRoot + "/fifo", false));
  EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, fifo.get(), &data, nullptr, nullptr, &error));
  EXPECT_EQ(error, kCFURLUnknownError);

  if (geteuid() != 0) {
    Write("secret", "x", 0);
    CFRef<CFURLRef> secret(URLFor(fRoot + "/secret", false));
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, secret.get(), &data, nullptr, nullptr, &error));
    EXPECT_EQ(error, kCFURLResourceAccessViolationError);
  }
}

TEST_F(CFResourceTest, RefusesFilesOverTheSizeLimit) {
  // A sparse file costs no disk space.
  std::string path = fRoot + "/big";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 64 * 1024 * 1024 + 1), 0);
  close(fd);
  CFRef<CFURLRef> url(URLFor(path, false));
  CFDataRef data = nullptr;
  SInt32 error = 0;
  EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.get(), &data, nullptr, nullptr, &error));
  EXPECT_EQ(error, kCFURLUnknownError);
  EXPECT_EQ(data, nullptr);

  ASSERT_EQ(truncate(path.c_str(), 64 * 1024 * 1024), 0);
  ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url.get(), &data, nullptr, nullptr, &error));
  EXPECT_EQ(CFDataGetLength(data), 64 * 1024 * 1024);
  CFRelease(data);
}

class CFBundleTest : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    Write("Info.plist",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
          "<plist version=\"1.0\"><dict>\n"
          "<key>CFBundleIdentifier</key><string>org.example.quillon.test</string>\n"
          "<key>CFBundleExecutable</key><string>Engine.so</string>\n"
          "<key>Count</key><integer>3</integer>\n"
          "</dict></plist>\n");
    MakeFolder("Resources");
    MakeFolder("Resources/sub");
    Write("Resources/readme.rtf", "{\\rtf1}");
    Write("Resources/uninstall.ss", "#!/bin/sh\n", 0755);
    Write("Resources/sub/inner.txt", "x");
    Write("PruneMIDI", "#!/bin/sh\n", 0755);
    Write("notes", "not a program", 0644);
    MakeFolder("Folder.app");
    CFRef<CFURLRef> url(URLFor(fRoot, true));
    fBundle = CFBundleCreate(nullptr, url.get());
    ASSERT_NE(fBundle, nullptr);
  }
  void TearDown() override {
    if (fBundle) CFRelease(fBundle);
    TempFolder::TearDown();
  }
  CFBundleRef fBundle = nullptr;
};

TEST_F(CFBundleTest, FindsResourcesInsideResourcesOnly) {
  CFRef<CFURLRef> readme(CFBundleCopyResourceURL(fBundle, CFSTR("readme"), CFSTR("rtf"), nullptr));
  EXPECT_EQ(Path(readme.get()), fRoot + "/Resources/readme.rtf");
  CFRef<CFURLRef> script(CFBundleCopyResourceURL(fBundle, CFSTR("uninstall.ss"), nullptr, nullptr));
  EXPECT_EQ(Path(script.get()), fRoot + "/Resources/uninstall.ss");
  CFRef<CFURLRef> inner(CFBundleCopyResourceURL(fBundle, CFSTR("inner"), CFSTR("txt"), CFSTR("sub")));
  EXPECT_EQ(Path(inner.get()), fRoot + "/Resources/sub/inner.txt");
  EXPECT_EQ(CFBundleCopyResourceURL(fBundle, CFSTR("readme"), CFSTR("rtfd"), nullptr), nullptr);
  // Names that would step out of the bundle are refused even when the target exists.
  EXPECT_EQ(CFBundleCopyResourceURL(fBundle, CFSTR("../Info"), CFSTR("plist"), nullptr), nullptr);
  EXPECT_EQ(CFBundleCopyResourceURL(fBundle, CFSTR("Info"), CFSTR("plist"), CFSTR("..")), nullptr);

  CFRef<CFURLRef> resources(CFBundleCopyResourcesDirectoryURL(fBundle));
  EXPECT_EQ(Path(resources.get()), fRoot + "/Resources");
  CFRef<CFURLRef> bundleURL(CFBundleCopyBundleURL(fBundle));
  EXPECT_EQ(Path(bundleURL.get()), fRoot);
}

TEST_F(CFBundleTest, AuxiliaryExecutablesMustBeExecutableFiles) {
  CFRef<CFURLRef> prune(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("PruneMIDI")));
  EXPECT_EQ(Path(prune.get()), fRoot + "/PruneMIDI");
  EXPECT_EQ(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("notes")), nullptr);
  EXPECT_EQ(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("Folder.app")), nullptr);
  EXPECT_EQ(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("missing")), nullptr);
  EXPECT_EQ(CFBundleCopyAuxiliaryExecutableURL(fBundle, CFSTR("../PruneMIDI")), nullptr);
}

TEST_F(CFBundleTest, ReadsTheInfoDictionary) {
  EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(fBundle), CFSTR("org.example.quillon.test")));
  CFTypeRef count = CFBundleGetValueForInfoDictionaryKey(fBundle, CFSTR("Count"));
  ASSERT_NE(count, nullptr);
  ASSERT_EQ(CFGetTypeID(count), CFNumberGetTypeID());
  EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(fBundle)), 3);

  // Without an Info.plist the dictionary is empty, not missing.
  CFRef<CFURLRef> resources(CFBundleCopyResourcesDirectoryURL(fBundle));
  CFRef<CFBundleRef> bare(CFBundleCreate(nullptr, resources.get()));
  ASSERT_TRUE(bare);
  EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(bare.get())), 0);
  EXPECT_EQ(CFBundleGetIdentifier(bare.get()), nullptr);
  EXPECT_EQ(CFBundleCopyExecutableURL(bare.get()), nullptr);

  CFRef<CFURLRef> notAFolder(URLFor(fRoot + "/notes", false));
  EXPECT_EQ(CFBundleCreate(nullptr, notAFolder.get()), nullptr);
}

TEST_F(CFBundleTest, LoadsItsExecutableAndFindsFunctions) {
  // Any shared object will do; the C maths library is on every machine.
  std::ifstream in("/lib/x86_64-linux-gnu/libm.so.6", std::ios::binary);
  if (!in) GTEST_SKIP() << "no libm.so.6 at the expected path";
  std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(CFBundleIsExecutableLoaded(fBundle));
  EXPECT_FALSE(CFBundleLoadExecutable(fBundle));  // Engine.so does not exist yet
  Write("Engine.so", image, 0755);
  CFRef<CFURLRef> executable(CFBundleCopyExecutableURL(fBundle));
  EXPECT_EQ(Path(executable.get()), fRoot + "/Engine.so");
  ASSERT_TRUE(CFBundleLoadExecutable(fBundle));
  EXPECT_TRUE(CFBundleIsExecutableLoaded(fBundle));
  auto cosine = reinterpret_cast<double (*)(double)>(CFBundleGetFunctionPointerForName(fBundle, CFSTR("cos")));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(fBundle, CFSTR("no_such_function_here")), nullptr);
}

TEST_F(CFBundleTest, MainBundleCanBeRedirectedForTests) {
  CFRef<CFURLRef> url(URLFor(fRoot, true));
  _CFBundleSetMainBundleURLForTesting(url.get());
  CFBundleRef main = CFBundleGetMainBundle();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(CFBundleGetMainBundle(), main);
  EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(main), CFSTR("org.example.quillon.test")));
  _CFBundleSetMainBundleURLForTesting(nullptr);

  // By default the main bundle is the folder holding this test program.
  CFBundleRef real = CFBundleGetMainBundle();
  ASSERT_NE(real, nullptr);
  CFRef<CFURLRef> realURL(CFBundleCopyBundleURL(real));
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  std::string folder(self);
  folder.erase(folder.rfind('/'));
  EXPECT_EQ(Path(realURL.get()), folder);
}

}  // namespace
