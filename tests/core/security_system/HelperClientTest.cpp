// The client against helper tools that fail in every way a tool can.

#include "MoreSecClient.h"
#include "MoreSecProtocol.h"
#include "MoreUNIX.h"
#include "TestDescriptors.h"

#include <Authorization.h>
#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using quillon::testing::CountOpenDescriptors;
using quillon::testing::StderrCapture;

int Occurrences(const std::string& haystack, const std::string& needle) {
  int count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) count++;
  return count;
}

class HelperClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MoreUNIXIgnoreSIGPIPE(), 0);
    ASSERT_EQ(AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &fAuth), 0);
    fRequest.reset(CFDictionaryCreate(NULL, NULL, NULL, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks));
  }
  void TearDown() override { AuthorizationFree(fAuth, kAuthorizationFlagDestroyRights); }

  OSStatus Run(const std::string& toolPath, std::string* diagnostics = nullptr) {
    CFRef<CFURLRef> tool(CFURLCreateFromFileSystemRepresentation(
        NULL, reinterpret_cast<const UInt8*>(toolPath.c_str()), static_cast<CFIndex>(toolPath.size()), false));
    CFDictionaryRef response = NULL;
    StderrCapture capture;
    OSStatus err = MoreSecExecuteRequestInHelperTool(tool.get(), fAuth, fRequest.get(), &response);
    std::string text = capture.Finish();
    if (diagnostics != nullptr) *diagnostics = text;
    EXPECT_EQ(err == noErr, response != NULL);
    if (response != NULL) {
      MoreSecCloseDescriptorArray(CFDictionaryGetValue(response, kMoreSecFileDescriptorsKey));
      CFRelease(response);
    }
    return err;
  }

  AuthorizationRef fAuth = NULL;
  CFRef<CFDictionaryRef> fRequest;
};

TEST_F(HelperClientTest, ExitCodesAndSignalsBecomeHelperToolStatuses) {
  const std::string fakes = QUILLON_FAKE_TOOLS;
  EXPECT_EQ(Run(fakes + "/fake-exit-1"), kHelperToolNotPrivilegedErr);
  EXPECT_EQ(Run(fakes + "/fake-exit-7"), kHelperToolFailedErr);
  EXPECT_EQ(Run(fakes + "/fake-signal"), kHelperToolFailedErr);
}

TEST_F(HelperClientTest, AResponseFollowedByAFailingExitIsDiscardedWithItsDescriptors) {
  int before = CountOpenDescriptors();
  EXPECT_EQ(Run(std::string(QUILLON_FAKE_TOOLS) + "/fake-answer-exit-1"), kHelperToolNotPrivilegedErr);
  EXPECT_EQ(CountOpenDescriptors(), before);
}

TEST_F(HelperClientTest, AToolThatDoesNotExistFailsEveryCheckAfterTheStart) {
  std::string diagnostics;
  EXPECT_EQ(Run("/nonexistent/quillon/helper", &diagnostics), kHelperToolFailedErr);
  // Checks 4 to 8 see the broken pipe, check 10 the exit code 4.
  EXPECT_EQ(Occurrences(diagnostics, ": error 32 (20)"), 5) << diagnostics;
  EXPECT_EQ(Occurrences(diagnostics, ": error 5364 (14F4)"), 1) << diagnostics;
  EXPECT_EQ(Occurrences(diagnostics, "MoreSecClient.cpp:"), 6) << diagnostics;
}

TEST(GetErrorFromResponseTest, ReadsTheErrorNumberOrGivesCoreFoundationUnknownErr) {
  CFRef<CFMutableDictionaryRef> response(
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  EXPECT_EQ(MoreSecGetErrorFromResponse(response.get()), coreFoundationUnknownErr);
  for (SInt32 value : {0, -60006, 17}) {
    CFRef<CFNumberRef> number(CFNumberCreate(NULL, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(response.get(), kMoreSecErrorNumberKey, number.get());
    EXPECT_EQ(MoreSecGetErrorFromResponse(response.get()), value);
  }
  long long tooBig = 1LL << 40;
  CFRef<CFNumberRef> big(CFNumberCreate(NULL, kCFNumberLongLongType, &tooBig));
  CFDictionarySetValue(response.get(), kMoreSecErrorNumberKey, big.get());
  EXPECT_EQ(MoreSecGetErrorFromResponse(response.get()), coreFoundationUnknownErr);
  CFDictionarySetValue(response.get(), kMoreSecErrorNumberKey, CFSTR("0"));
  EXPECT_EQ(MoreSecGetErrorFromResponse(response.get()), coreFoundationUnknownErr);
}

}  // namespace
