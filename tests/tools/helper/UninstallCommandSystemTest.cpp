// The uninstall command with the bundle's real scripts and tools, on the real
// system paths of a private mount namespace: /etc, /opt, /usr and /var/lib
// are overlays whose changes land in a scratch tmpfs, so the product is
// installed and removed where it would be on a real machine, while the
// machine's own files stay untouched.
#include "UninstallerCommand.h"

#include "ProductTestSupport.h"
#include "SystemTestSupport.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>


#include <cstdio>
#include <sstream>

namespace sys = quillon::systest;
using namespace quillon::producttest;

namespace {

const std::vector<std::string> kOverlaid = {"/etc", "/opt", "/usr", "/var/lib"};
const char kOriginalAsoundConf[] = "pcm.!default {\n  type hw\n  card 1\n}";

OSStatus Yes(AuthorizationRef) { return errAuthorizationSuccess; }

CFRef<CFStringRef> MakeString(const std::string& text) {
  return CFRef<CFStringRef>(CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
}

// Runs in the namespace; returns 0 or the number of the first failed check,
// explaining it on standard error.
int InstallAndUninstall() {
  if (!WriteFile("/etc/asound.conf", kOriginalAsoundConf)) return 10;
  RunResult installed = RunTool({DemoInstaller(), "--system"}, {"PATH=/usr/bin:/bin"});
  if (installed.exitCode != 0) {
    fprintf(stderr, "%s", installed.output.c_str());
    return 11;
  }
  std::vector<std::string> receipted;
  std::istringstream receipt(ReadFile("/var/lib/quillon/receipts/quillon-root.list"));
  for (std::string line; std::getline(receipt, line);) receipted.push_back(line);
  if (receipted.size() < 10) return 12;

  AuthorizationRef auth = nullptr;
  if (AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &auth) != errAuthorizationSuccess) return 13;
  CFRef<CFMutableDictionaryRef> request(
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  CFDictionarySetValue(request.get(), kUninstallCommandPathKey, MakeString(BundlePath("Resources/uninstall.ss")).get());
  CFDictionarySetValue(request.get(), kUninstallPruneMIDIKey, MakeString(BundlePath("PruneMIDI")).get());
  CFDictionarySetValue(request.get(), kUninstallPruneLoginItemKey, MakeString(BundlePath("PruneLoginItem")).get());
  CFDictionaryRef response = nullptr;
  OSStatus err = UninstallerCommandWithRightsCheck(auth, request.get(), &response, Yes);
  (void) AuthorizationFree(auth, kAuthorizationFlagDefaults);
  if (response == nullptr) return 14;
  CFStringRef logString = static_cast<CFStringRef>(CFDictionaryGetValue(response, kUninstallLogKey));
  char log[65536] = "";
  bool gotLog = logString != nullptr && CFStringGetCString(logString, log, sizeof log, kCFStringEncodingUTF8);
  CFRelease(response);
  fprintf(stderr, "%s", log);
  if (err != noErr || !gotLog) return 15;

  for (const std::string& path : receipted) {
    if (Exists(path)) {
      fprintf(stderr, "still there: %s\n", path.c_str());
      return 16;
    }
  }
  if (Exists("/var/lib/quillon")) return 17;
  if (ReadFile("/etc/asound.conf") != kOriginalAsoundConf) return 18;
  std::string text(log);
  for (const char* line : {"RemoveReceipted: removed /opt/quillon/bin/quillon-midid\n",
                           "RemoveReceipted: removed receipt quillon-root.list\n",
                           "PruneMIDI: removed the Quillon block from /etc/asound.conf\n"}) {
    if (text.find(line) == std::string::npos) return 19;
  }
  return 0;
}

}  // namespace

TEST(UninstallCommandSystemTest, RemovesTheInstalledProductFromTheSystemPaths) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: mounts in a private namespace";
  if (!sys::FileSystemAvailable("overlay")) GTEST_SKIP() << "needs overlayfs";
  std::string hostAsound = ReadFile("/etc/asound.conf");
  bool hostHadProduct = Exists("/opt/quillon") || Exists("/var/lib/quillon");
  std::string scratch, error;
  ASSERT_TRUE(sys::MakeScratchDir("command", &scratch, &error)) << error;

  sys::ChildOptions options;
  options.privateMountNamespace = true;
  options.rootSetup = [&](std::string* setupError) {
    if (!sys::MountOverlays(scratch, kOverlaid, setupError)) return false;
    // The build's bundle stands for the installed one, as its polkit action says.
    if (!WriteFile(kMoreSecHelperPolicyPath, "<annotate key=\"org.freedesktop.policykit.exec.path\">" +
                                                 BundlePath("UninstallerHelper") + "</annotate>\n")) {
      *setupError = "cannot write the polkit action";
      return false;
    }
    return true;
  };
  sys::ChildResult result = sys::RunAsUser(nullptr, InstallAndUninstall, options);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();

  // Nothing of it reached the machine.
  EXPECT_EQ(ReadFile("/etc/asound.conf"), hostAsound);
  if (!hostHadProduct) {
    EXPECT_FALSE(Exists("/opt/quillon"));
    EXPECT_FALSE(Exists("/var/lib/quillon"));
  }
  EXPECT_TRUE(sys::RemoveScratchDir(scratch, &error)) << error;
}
