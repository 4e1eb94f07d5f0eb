// The privileged round trip with real polkitd and pkexec: a helper tool is
// installed from a bundle into a throwaway user's folder, repairs itself into
// a set-user-ID root tool through pkexec, and answers; and the attacks that a
// set-user-ID tool must survive.

#include "MoreSecClient.h"
#include "MoreSecInstall.h"
#include "MoreSecProtocol.h"
#include "MoreSecProtocolPrivate.h"
#include "MoreUNIX.h"
#include "SystemTestSupport.h"
#include "TestDescriptors.h"

#include <Authorization.h>
#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillon::systest;
using quillon::testing::StderrCapture;

// Exit codes of the children, so that the parent can say what went wrong.
enum ChildCode {
  kOK = 0,
  kInstallFailed = 10,
  kNotInstalledWhereExpected,
  kExecuteFailed,
  kWrongErrorNumber,
  kNotRepaired,
  kNotRootInCommand,
  kDescriptorDidNotArrive,
  kUnexpectedStderr,
  kSecondRunFailed,
};

CFRef<CFURLRef> URLOfPath(const std::string& path) {
  return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(
      NULL, reinterpret_cast<const UInt8*>(path.c_str()), static_cast<CFIndex>(path.size()), false));
}

std::string PathOfURL(CFURLRef url) {
  char buffer[1024];
  return CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof(buffer)) ? buffer : "";
}

long long IntegerIn(CFDictionaryRef dict, CFStringRef key) {
  CFTypeRef value = CFDictionaryGetValue(dict, key);
  long long result = -1;
  if (value != NULL && CFGetTypeID(value) == CFNumberGetTypeID()) {
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongLongType, &result);
  }
  return result;
}

// Installs the echo tool from the test bundle into the current user's
// Application Support folder and runs one request in it. The response is
// the caller's.
OSStatus InstallAndRun(CFDictionaryRef request, CFDictionaryRef* response, std::string* toolPath,
                       std::string* diagnostics) {
  CFRef<CFBundleRef> bundle(CFBundleCreate(NULL, URLOfPath(QUILLON_TEST_BUNDLE).get()));
  if (!bundle) return -1;
  CFURLRef tool = NULL;
  OSStatus err = MoreSecCopyHelperToolURLFromBundle(bundle.get(), CFSTR("EchoHelper"), kApplicationSupportFolderType,
                                                    CFSTR("QuillonTest"), CFSTR("EchoHelper"), &tool);
  if (err != noErr) return err;
  *toolPath = PathOfURL(tool);
  AuthorizationRef auth = NULL;
  err = AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &auth);
  if (err == noErr) {
    StderrCapture capture;
    err = MoreSecExecuteRequestInHelperTool(tool, auth, request, response);
    *diagnostics = capture.Finish();
    AuthorizationFree(auth, kAuthorizationFlagDestroyRights);
  }
  CFRelease(tool);
  return err;
}

CFRef<CFMutableDictionaryRef> NewRequest() {
  return CFRef<CFMutableDictionaryRef>(
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

class HelperRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users and polkit rules";
    std::string why;
    if (!PolkitIsRunning(&why)) GTEST_SKIP() << "needs polkitd on the system bus: " << why;
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
  }
};

TEST_F(HelperRoundTripTest, FirstRunRelaysThroughPkexecAndRepairsTheToolSecondRunGoesDirect) {
  ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  ScopedPolkitRule rule(user.user(), PolkitAnswer::Yes, {kPkexecAction});
  ASSERT_TRUE(rule.ok()) << rule.error();
  const std::string expectedTool = user->home + "/.local/share/QuillonTest/EchoHelper";
  const uid_t uid = user->uid;

  ChildResult result = RunAsUser(&user.user(), [&]() -> int {
    if (MoreUNIXIgnoreSIGPIPE() != 0) return kExecuteFailed;
    std::string marker = std::string(getenv("HOME")) + "/marker";
    int markerFd = open(marker.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    CFRef<CFMutableDictionaryRef> request = NewRequest();
    CFDictionarySetValue(request.get(), CFSTR("ProbeRoot"), kCFBooleanTrue);
    SInt32 status = 17;
    CFRef<CFNumberRef> wanted(CFNumberCreate(NULL, kCFNumberSInt32Type, &status));
    CFDictionarySetValue(request.get(), CFSTR("Status"), wanted.get());
    CFRef<CFStringRef> markerPath(CFStringCreateWithCString(NULL, marker.c_str(), kCFStringEncodingUTF8));
    const void* paths[] = {markerPath.get()};
    CFRef<CFArrayRef> files(CFArrayCreate(NULL, paths, 1, &kCFTypeArrayCallBacks));
    CFDictionarySetValue(request.get(), CFSTR("OpenFiles"), files.get());

    CFDictionaryRef response = NULL;
    std::string toolPath, diagnostics;
    OSStatus err = InstallAndRun(request.get(), &response, &toolPath, &diagnostics);
    printf("first run: %d, stderr: [%s]\n", static_cast<int>(err), diagnostics.c_str());
    if (err == -1 || err == kMoreSecFolderInappropriateErr) return kInstallFailed;
    if (toolPath != expectedTool) return kNotInstalledWhereExpected;
    if (err != noErr) return kExecuteFailed;
    if (MoreSecGetErrorFromResponse(response) != 17) return kWrongErrorNumber;
    if (CFDictionaryGetValue(response, CFSTR("CouldTakeRoot")) != kCFBooleanTrue) return kNotRootInCommand;
    if (diagnostics.find("MoreSecurity: Calling AEWP\n") == std::string::npos ||
        diagnostics.find("MoreSecurity: AEWP returned 0\n") == std::string::npos)
      return kUnexpectedStderr;
    struct stat sb;
    if (stat(toolPath.c_str(), &sb) != 0 || sb.st_uid != 0 || sb.st_mode != 0104555) return kNotRepaired;
    // The descriptor the root instance opened arrives through the relay.
    CFArrayRef fds = static_cast<CFArrayRef>(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
    int received = -1;
    if (fds == NULL || CFArrayGetCount(fds) != 1 ||
        !CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(fds, 0)), kCFNumberIntType, &received) ||
        write(received, "via root", 8) != 8 || lseek(markerFd, 0, SEEK_END) != 8)
      return kDescriptorDidNotArrive;
    MoreSecCloseDescriptorArray(fds);
    CFRelease(response);
    response = NULL;

    // The repaired copy now runs as root from the start: no relay, no output.
    err = InstallAndRun(request.get(), &response, &toolPath, &diagnostics);
    printf("second run: %d, stderr: [%s]\n", static_cast<int>(err), diagnostics.c_str());
    if (err != noErr || MoreSecGetErrorFromResponse(response) != 17) return kSecondRunFailed;
    if (!diagnostics.empty()) return kUnexpectedStderr;
    if (IntegerIn(response, CFSTR("RealUID")) != static_cast<long long>(getuid())) return kSecondRunFailed;
    MoreSecCloseDescriptorArray(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
    CFRelease(response);
    return kOK;
  });
  EXPECT_TRUE(result.Exited() && result.ExitCode() == kOK) << result.Describe() << "\n" << result.out;
  (void) uid;
}

TEST_F(HelperRoundTripTest, DenialGives5362WithNoZombie) {
  ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  ScopedPolkitRule rule(user.user(), PolkitAnswer::No, {kPkexecAction});
  ASSERT_TRUE(rule.ok()) << rule.error();

  ChildResult result = RunAsUser(&user.user(), [&]() -> int {
    MoreUNIXIgnoreSIGPIPE();
    CFDictionaryRef response = NULL;
    std::string toolPath, diagnostics;
    OSStatus err = InstallAndRun(NewRequest().get(), &response, &toolPath, &diagnostics);
    printf("status %d stderr [%s]\n", static_cast<int>(err), diagnostics.c_str());
    if (err != kHelperToolDeniedErr || response != NULL) return 1;
    if (diagnostics.find("MoreSecurity: AEWP returned -60005\n") == std::string::npos) return 2;
    if (HasUnreapedChild()) return 3;
    struct stat sb;
    if (stat(toolPath.c_str(), &sb) != 0 || sb.st_uid == 0 || (sb.st_mode & S_ISUID)) return 4;
    return 0;
  });
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe() << "\n" << result.out;
}

// Runs a program as |user| with a file holding |input| as its standard input
// and returns what it wrote on standard output.
ChildResult RunToolWithInput(const TestUser* user, const std::vector<std::string>& argv, const std::string& input,
                             ChildOptions options = ChildOptions()) {
  char name[] = "/tmp/quillon-input-XXXXXX";
  int fd = mkstemp(name);
  unlink(name);
  EXPECT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  lseek(fd, 0, SEEK_SET);
  options.stdinFd = fd;
  ChildResult result = RunProgramAsUser(user, argv, options);
  close(fd);
  return result;
}

std::string FrameOf(CFDictionaryRef dict) {
  CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(NULL, dict));
  SInt32 length = static_cast<SInt32>(CFDataGetLength(xml.get()));
  std::string frame(reinterpret_cast<const char*>(&length), sizeof(length));
  frame.append(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.get())), static_cast<size_t>(length));
  return frame;
}

TEST_F(HelperRoundTripTest, ADismissedDialogGives5363AndNothingReachesTheApplication) {
  ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  // A fresh, unrepaired copy of the tool that the user owns.
  std::string scratch, error;
  ASSERT_TRUE(MakeScratchDir("cancel", &scratch, &error)) << error;
  std::string tool = scratch + "/EchoHelper";
  ASSERT_EQ(MoreUNIXCopyFile((std::string(QUILLON_TEST_BUNDLE) + "/EchoHelper").c_str(), tool.c_str()), 0);
  ASSERT_EQ(chown(tool.c_str(), user->uid, user->gid), 0);

  CancelAgent agent;
  ChildOptions options;
  options.beforeRun = [&](pid_t child) { return agent.Start(child, &error); };
  std::string input(32, 'A');
  input += FrameOf(NewRequest().get());
  ChildResult result = RunToolWithInput(&user.user(), {tool}, input, options);
  agent.Stop();

  EXPECT_TRUE(result.Exited() && result.ExitCode() == 3) << result.Describe() << error;
  EXPECT_EQ(MoreSecHelperToolResultToError(result.ExitCode()), kHelperToolCanceledErr);
  EXPECT_NE(result.err.find("MoreSecurity: AEWP returned -60006\n"), std::string::npos) << result.err;
  EXPECT_TRUE(result.out.empty());
  EXPECT_GE(agent.DismissedCount(), 1) << agent.Output();
  struct stat sb;
  ASSERT_EQ(stat(tool.c_str(), &sb), 0);
  EXPECT_EQ(sb.st_uid, user->uid);
  RemoveScratchDir(scratch, &error);
}

// A set-user-ID root copy of the echo tool, as a first run would leave it.
class InstalledSetUIDTool {
 public:
  explicit InstalledSetUIDTool(const TestUser& user) {
    std::string error;
    fOK = MakeScratchDir("setuid", &fScratch, &error);
    fPath = fScratch + "/EchoHelper";
    fOK = fOK && MoreUNIXCopyFile((std::string(QUILLON_TEST_BUNDLE) + "/EchoHelper").c_str(), fPath.c_str()) == 0 &&
          chown(fPath.c_str(), 0, 0) == 0 && chmod(fPath.c_str(), 04555) == 0;
    (void) user;
  }
  ~InstalledSetUIDTool() {
    std::string error;
    RemoveScratchDir(fScratch, &error);
  }
  bool ok() const { return fOK; }
  const std::string& path() const { return fPath; }

 private:
  bool fOK = false;
  std::string fScratch;
  std::string fPath;
};

TEST_F(HelperRoundTripTest, ARepairRunStartedDirectlyByTheUserWithAForgedPkexecUidRunsNothing) {
  ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  InstalledSetUIDTool tool(user.user());
  ASSERT_TRUE(tool.ok());
  struct stat before;
  ASSERT_EQ(stat(tool.path().c_str(), &before), 0);

  ChildOptions options;
  options.env = {"PKEXEC_UID=0", "LD_PRELOAD=/nonexistent.so"};
  std::string input = FrameOf(NewRequest().get());
  ChildResult result = RunToolWithInput(&user.user(), {tool.path(), "--self-repair"}, input, options);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 1) << result.Describe();
  // Only the process ID went out: no response, so the command never ran.
  EXPECT_EQ(result.out.size(), sizeof(SInt32));
  struct stat after;
  ASSERT_EQ(stat(tool.path().c_str(), &after), 0);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

TEST_F(HelperRoundTripTest, AnEmptyArgumentVectorIsRefused) {
  ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  InstalledSetUIDTool tool(user.user());
  ASSERT_TRUE(tool.ok());
  std::string path = tool.path();
  ChildResult result = RunAsUser(&user.user(), [&]() -> int {
    char* argv[] = {NULL};
    char* envp[] = {NULL};
    execve(path.c_str(), argv, envp);
    return 99;
  });
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 1) << result.Describe();
  EXPECT_TRUE(result.out.empty());
}

TEST_F(HelperRoundTripTest, ClosedStandardDescriptorsAreFilledBeforeAnythingIsOpened) {
  ScopedTestUser user;
  ASSERT_TRUE(user.ok()) << user.error();
  InstalledSetUIDTool tool(user.user());
  ASSERT_TRUE(tool.ok());
  std::string path = tool.path();
  ChildResult result = RunAsUser(&user.user(), [&]() -> int {
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    char* argv[] = {const_cast<char*>(path.c_str()), NULL};
    char* envp[] = {NULL};
    execve(path.c_str(), argv, envp);
    return 99;
  });
  // Standard input is then /dev/null: the external form never arrives.
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 4) << result.Describe();
}

TEST_F(HelperRoundTripTest, DeepNestingSentToTheRootInstanceGivesAStatus) {
  std::string body = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>";
  while (body.size() + 7 < static_cast<size_t>(kMoreSecMaxFrameBodyLength)) body += "<array>";
  SInt32 length = static_cast<SInt32>(body.size());
  std::string input(32, 'A');
  input.append(reinterpret_cast<const char*>(&length), sizeof(length));
  input += body;
  // Started by root, the tool runs the request itself: this is the root instance.
  ChildResult result = RunToolWithInput(nullptr, {std::string(QUILLON_TEST_BUNDLE) + "/EchoHelper"}, input);
  EXPECT_TRUE(result.Exited() && result.ExitCode() == 4) << result.Describe();
  EXPECT_TRUE(result.out.empty());
}

TEST_F(HelperRoundTripTest, TheToolAnswersARequestOfTheLargestSizeUnderItsOwnLimits) {
  CFRef<CFMutableDictionaryRef> request = NewRequest();
  CFDictionarySetValue(request.get(), CFSTR("Summary"), kCFBooleanTrue);
  std::string frame = FrameOf(request.get());
  size_t room = static_cast<size_t>(kMoreSecMaxFrameBodyLength) - (frame.size() - sizeof(SInt32)) -
                std::string("<key>p</key><string></string>").size();
  std::string padding(room, 'x');
  CFRef<CFStringRef> pad(CFStringCreateWithCString(NULL, padding.c_str(), kCFStringEncodingUTF8));
  CFDictionarySetValue(request.get(), CFSTR("p"), pad.get());
  frame = FrameOf(request.get());
  SInt32 length;
  memcpy(&length, frame.data(), sizeof(length));
  if (length > kMoreSecMaxFrameBodyLength) {
    room -= static_cast<size_t>(length - kMoreSecMaxFrameBodyLength);
    padding.assign(room, 'x');
    pad.reset(CFStringCreateWithCString(NULL, padding.c_str(), kCFStringEncodingUTF8));
    CFDictionarySetValue(request.get(), CFSTR("p"), pad.get());
    frame = FrameOf(request.get());
    memcpy(&length, frame.data(), sizeof(length));
  }
  ASSERT_LE(length, kMoreSecMaxFrameBodyLength);
  ASSERT_GE(length, kMoreSecMaxFrameBodyLength - 64) << "the request should be of the largest size";

  std::string input(32, 'A');
  input += frame;
  ChildResult result = RunToolWithInput(nullptr, {std::string(QUILLON_TEST_BUNDLE) + "/EchoHelper"}, input);
  ASSERT_TRUE(result.Exited() && result.ExitCode() == 0) << result.Describe();

  // The answer is one frame on standard output.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  ASSERT_EQ(write(pipeFds[1], result.out.data(), result.out.size()), static_cast<ssize_t>(result.out.size()));
  close(pipeFds[1]);
  CFDictionaryRef response = NULL;
  ASSERT_EQ(CopyDictionaryFromDescriptor(pipeFds[0], &response), noErr);
  close(pipeFds[0]);
  EXPECT_EQ(IntegerIn(response, CFSTR("RequestBytes")), static_cast<long long>(room));
  EXPECT_EQ(MoreSecGetErrorFromResponse(response), noErr);
  CFRelease(response);
}

}  // namespace
