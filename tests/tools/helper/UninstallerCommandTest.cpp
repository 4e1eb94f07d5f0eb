#include "UninstallerCommand.h"

#include "ProductTestSupport.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>


#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

using namespace quillon::producttest;

namespace {

OSStatus Yes(AuthorizationRef) { return errAuthorizationSuccess; }
OSStatus Denied(AuthorizationRef) { return errAuthorizationDenied; }
OSStatus Canceled(AuthorizationRef) { return errAuthorizationCanceled; }

std::string ToString(CFStringRef string) {
  CFIndex length = CFStringGetLength(string);
  CFIndex used = 0;
  CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used);
  std::string bytes(static_cast<size_t>(used), '\0');
  CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(bytes.data()), used, &used);
  return bytes;
}

CFRef<CFStringRef> MakeString(const std::string& text) {
  return CFRef<CFStringRef>(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                                    static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

// A bundle of our own with stand-ins for the removal programs, each of which
// leaves a mark when it runs.
class UninstallerCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: the command runs its programs as root";
    ASSERT_TRUE(fScratch.ok());
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &fAuth), errAuthorizationSuccess);
    SetScript("Resources/uninstall.ss", "echo uninstall ran\n");
    SetScript("PruneMIDI", "echo \"midi ran: $*\"\n");
    SetScript("PruneLoginItem", "echo \"login ran: $*\"\n");
  }
  void TearDown() override {
    if (fAuth != nullptr) AuthorizationFree(fAuth, kAuthorizationFlagDefaults);
  }
  std::string Bundle() { return fScratch / "Bundle"; }
  std::string Marks() { return fScratch / "marks"; }
  void SetScript(const std::string& name, const std::string& body) {
    std::string path = Bundle() + "/" + name;
    std::string base = name.substr(name.rfind('/') + 1);
    ASSERT_TRUE(WriteFile(path, "#!/bin/sh\necho " + base + " >> " + Marks() + "\n" + body, 0755));
  }
  CFRef<CFDictionaryRef> Request(bool midi = true, bool login = true) {
    CFRef<CFMutableDictionaryRef> request(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(request.get(), kUninstallCommandPathKey,
                         MakeString(Bundle() + "/Resources/uninstall.ss").get());
    if (midi) CFDictionarySetValue(request.get(), kUninstallPruneMIDIKey, MakeString(Bundle() + "/PruneMIDI").get());
    if (login) {
      CFDictionarySetValue(request.get(), kUninstallPruneLoginItemKey, MakeString(Bundle() + "/PruneLoginItem").get());
    }
    return CFRef<CFDictionaryRef>(request.release());
  }
  // Runs the command; returns its status and fills *log from the response.
  // The bundle is the installed one, as the polkit action would name it.
  OSStatus Command(CFDictionaryRef request, std::string* log, UninstallRightsCheck check = Yes, int lockWait = 30) {
    CFDictionaryRef response = nullptr;
    const std::string lock = fScratch / "run.lock";
    const std::string bundle = Bundle();
    UninstallCommandSettings settings;
    settings.lockPath = lock.c_str();
    settings.lockWaitSeconds = lockWait;
    settings.bundle = bundle.c_str();
    OSStatus err = UninstallerCommandWithSettings(fAuth, request, &response, check, settings);
    log->clear();
    EXPECT_NE(response, nullptr);
    if (response != nullptr) {
      CFTypeRef value = CFDictionaryGetValue(response, kUninstallLogKey);
      EXPECT_TRUE(value != nullptr && CFGetTypeID(value) == CFStringGetTypeID());
      if (value != nullptr) *log = ToString(static_cast<CFStringRef>(value));
      CFRelease(response);
    }
    return err;
  }

  ScratchDir fScratch;
  AuthorizationRef fAuth = nullptr;
};

}  // namespace

TEST_F(UninstallerCommandTest, RunsEachProgramInOrderWithOnlyItsOwnEnvironment) {
  SetScript("Resources/uninstall.ss", "env | LC_ALL=C sort\necho \"args: $#\"\nreadlink \"$QUILLON_BUNDLE\"\n");
  const char* hostile[][2] = {{"BASH_ENV", "/tmp/evil"},   {"ENV", "/tmp/evil"},    {"IFS", "/"},
                              {"LD_PRELOAD", "/no/evil.so"}, {"SHELLOPTS", "xtrace"}, {"QUILLON_BUNDLE", "/evil"}};
  for (auto& variable : hostile) setenv(variable[0], variable[1], 1);
  std::string log;
  OSStatus err = Command(Request().get(), &log);
  for (auto& variable : hostile) unsetenv(variable[0]);

  EXPECT_EQ(err, noErr) << log;
  // The root script, which removes the receipts, last.
  EXPECT_EQ(ReadFile(Marks()), "PruneMIDI\nPruneLoginItem\nuninstall.ss\n");
  std::string expected = "midi ran: --system\nlogin ran: --system\nHOME=/root\nLANG=C.UTF-8\n"
                         "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nPWD=/\nQUILLON_BUNDLE=/proc/self/fd/5\nargs: 0\n" +
                         Bundle() + "\n";
  EXPECT_EQ(log, expected);
}

TEST_F(UninstallerCommandTest, DenialAndCancelRunNothing) {
  std::string log;
  EXPECT_EQ(Command(Request().get(), &log, Denied), 5362);
  EXPECT_EQ(log, "UninstallerHelper: not authorized to uninstall (status 5362)\n");
  EXPECT_EQ(Command(Request().get(), &log, Canceled), 5363);
  EXPECT_FALSE(Exists(Marks()));
}

TEST_F(UninstallerCommandTest, ASymbolicLinkAnywhereInTheRequestRunsNothing) {
  ASSERT_EQ(rename((Bundle() + "/PruneLoginItem").c_str(), (fScratch / "real").c_str()), 0);
  ASSERT_EQ(symlink((fScratch / "real").c_str(), (Bundle() + "/PruneLoginItem").c_str()), 0);
  std::string log;
  EXPECT_EQ(Command(Request().get(), &log), kUninstallUntrustedProgramErr);
  EXPECT_NE(log.find("refused PruneLoginItem \"" + Bundle() + "/PruneLoginItem\": " + Bundle() +
                     "/PruneLoginItem is a symbolic link"),
            std::string::npos)
      << log;
  EXPECT_FALSE(Exists(Marks()));

  std::string script = Bundle() + "/Resources/uninstall.ss";
  ASSERT_EQ(rename(script.c_str(), (fScratch / "real-script").c_str()), 0);
  ASSERT_EQ(symlink((fScratch / "real-script").c_str(), script.c_str()), 0);
  EXPECT_EQ(Command(Request(false, false).get(), &log), kUninstallUntrustedProgramErr);
  EXPECT_FALSE(Exists(Marks()));
}

TEST_F(UninstallerCommandTest, MalformedRequestsAreRefused) {
  struct Case {
    CFTypeRef commandPath;  // NULL: absent
    OSStatus err;
  };
  CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &(const int&)5));
  CFRef<CFStringRef> relative = MakeString("Resources/uninstall.ss");
  CFRef<CFStringRef> dotted = MakeString(Bundle() + "/Resources/../Resources/uninstall.ss");
  CFRef<CFStringRef> withNul = MakeString(Bundle() + "/Resources/uninstall.ss" + std::string(1, '\0') + "x");
  Case cases[] = {{nullptr, paramErr}, {number.get(), paramErr}, {relative.get(), paramErr},
                  {withNul.get(), paramErr}, {dotted.get(), kUninstallUntrustedProgramErr}};
  for (const Case& c : cases) {
    CFRef<CFMutableDictionaryRef> request(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    if (c.commandPath != nullptr) CFDictionarySetValue(request.get(), kUninstallCommandPathKey, c.commandPath);
    CFDictionarySetValue(request.get(), kUninstallPruneMIDIKey, MakeString(Bundle() + "/PruneMIDI").get());
    std::string log;
    EXPECT_EQ(Command(request.get(), &log), c.err) << log;
  }
  EXPECT_FALSE(Exists(Marks()));
}

TEST_F(UninstallerCommandTest, FirstFailureIsTheStatusAndLaterStepsStillRun) {
  SetScript("Resources/uninstall.ss", "echo partly\nexit 3\n");
  SetScript("PruneMIDI", "kill -9 $$\n");
  std::string log;
  EXPECT_EQ(Command(Request().get(), &log), 5364);
  EXPECT_EQ(ReadFile(Marks()), "PruneMIDI\nPruneLoginItem\nuninstall.ss\n");
  EXPECT_EQ(log, "UninstallerHelper: " + Bundle() + "/PruneMIDI was ended by signal 9\nlogin ran: --system\npartly\n" +
                     "UninstallerHelper: " + Bundle() + "/Resources/uninstall.ss failed with exit status 3\n");
}

TEST_F(UninstallerCommandTest, LogIsBoundedKeepsItsEndAndIsValidUTF8) {
  SetScript("PruneMIDI",
            "printf 'bad \\377\\300\\001 end\\n'\nseq 1 40000\nprintf 'removed block from /etc/asound.conf'\n");
  std::string log;
  EXPECT_EQ(Command(Request(true, false).get(), &log), noErr);
  EXPECT_EQ(log.rfind("bad \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD end\n", 0), 0u) << log.substr(0, 40);
  EXPECT_LT(log.size(), kUninstallLogLimit + 256);
  // Cut at line boundaries, the cut marked on its own line, the end kept and
  // the next program's output on a line of its own.
  const size_t marker = log.find("\n[... ");
  ASSERT_NE(marker, std::string::npos);
  EXPECT_NE(log.find(" bytes left out ...]\n", marker), std::string::npos);
  const std::string end = "\n40000\nremoved block from /etc/asound.conf\nuninstall ran\n";
  EXPECT_EQ(log.substr(log.size() - end.size()), end);
}

TEST_F(UninstallerCommandTest, ASystemLockNameSomeoneElseMadeIsRefusedAndLeftAlone) {
  const std::string lock = fScratch / "run.lock";
  ASSERT_EQ(symlink("/etc/passwd", lock.c_str()), 0);
  std::string log;
  EXPECT_EQ(Command(Request().get(), &log), ELOOP) << log;
  ASSERT_EQ(unlink(lock.c_str()), 0);
  ASSERT_TRUE(WriteFile(lock, "mine\n", 0644));
  ASSERT_EQ(chown(lock.c_str(), 65534, 65534), 0);
  EXPECT_EQ(Command(Request().get(), &log), EPERM) << log;
  EXPECT_NE(log.find("an administrator must remove it"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(lock), "mine\n");
  EXPECT_FALSE(Exists(Marks()));
}

// Root's programs are the installed bundle's own, at their own places:
// anything else the request names is refused by name, even a program that
// root owns and that would pass every other check.
TEST_F(UninstallerCommandTest, ProgramsOutsideTheInstalledBundlesOwnPlacesAreRefusedByName) {
  const std::string elsewhere = fScratch / "elsewhere.ss";
  ASSERT_TRUE(WriteFile(elsewhere, "#!/bin/sh\necho elsewhere >> " + Marks() + "\n", 0755));
  SetScript("Resources/PruneMIDI", "echo misplaced ran\n");
  struct Case {
    CFStringRef key;
    std::string path, expected;
  } cases[] = {
      {kUninstallCommandPathKey, elsewhere, Bundle() + "/Resources/uninstall.ss"},
      {kUninstallCommandPathKey, "/usr/bin/dmesg", Bundle() + "/Resources/uninstall.ss"},
      {kUninstallPruneMIDIKey, Bundle() + "/Resources/PruneMIDI", Bundle() + "/PruneMIDI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CFRef<CFDictionaryRef> base = Request();
    CFRef<CFMutableDictionaryRef> request(CFDictionaryCreateMutableCopy(nullptr, 0, base.get()));
    CFDictionarySetValue(request.get(), c.key, MakeString(c.path).get());
    std::string log;
    EXPECT_EQ(Command(request.get(), &log), kUninstallUntrustedProgramErr);
    const std::string key = c.key == kUninstallCommandPathKey ? "CommandPath" : "PruneMIDI";
    EXPECT_EQ(log, "UninstallerHelper: refused " + key + " \"" + c.path + "\": not the installed bundle's " +
                       c.expected + "\n");
  }
  EXPECT_FALSE(Exists(Marks()));
}

// A holder that never lets go (stopped, hung) holds a later run for 30 s at
// most, here 1: it stops, names the holder, and runs nothing. The lock file
// is root's group's too, whoever's group it was made with.
TEST_F(UninstallerCommandTest, WaitingForTheSystemLockIsBoundedAndNamesTheHolder) {
  const std::string lock = fScratch / "run.lock";
  ASSERT_TRUE(WriteFile(lock, "", 0600));
  ASSERT_EQ(chown(lock.c_str(), 0, 65534), 0);
  const int held = open(lock.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::string log;
  EXPECT_EQ(Command(Request().get(), &log, Yes, 1), ETIMEDOUT);
  EXPECT_EQ(log, "UninstallerHelper: waiting for another uninstall to finish\nUninstallerHelper: ran nothing: another "
                 "uninstall (process " + std::to_string(getpid()) + ") has held " + lock + " for 1 s\n");
  EXPECT_FALSE(Exists(Marks()));
  struct stat st;
  ASSERT_EQ(stat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(close(held), 0);
  EXPECT_EQ(Command(Request().get(), &log, Yes, 1), noErr) << log;
}

TEST(UninstallerSanitizeLogTest, KeepsValidTextAndReplacesEverythingElse) {
  struct {
    std::string in, out;
  } cases[] = {
      {"plain\ttext\r\n", "plain\ttext\r\n"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB9", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB9"},  // é € 🎹
      {std::string("a\0b\x1b", 4), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                   // overlong "/"
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},   // a surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
      {"\xEF\xBF\xBE", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},   // U+FFFE
      {"end\xE2\x82", "end\xEF\xBF\xBD\xEF\xBF\xBD"},             // cut short
  };
  for (const auto& c : cases) {
    std::string out;
    UninstallerSanitizeLog(c.in.data(), c.in.size(), &out);
    EXPECT_EQ(out, c.out);
  }
}
