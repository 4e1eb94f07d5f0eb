// The helper tool host: what it does with a response the command got wrong,
// and how a repair is taken back from a file with a second name. Both end or
// change the process, so they run in death-test children.

#include "MoreSecHelperTool.h"
#include "MoreSecProtocolPrivate.h"
#include "MoreSecurityPrivate.h"
#include "MoreUNIX.h"
#include "SystemCallFaults.h"

#include <CoreFoundation/CFRef.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A response listing a descriptor number that no int holds.
OSStatus AnswerWithAHugeDescriptorNumber(AuthorizationRef, CFDictionaryRef, CFDictionaryRef* response) {
  SInt64 huge = SInt64{1} << 40;
  CFRef<CFNumberRef> number(CFNumberCreate(NULL, kCFNumberSInt64Type, &huge));
  const void* entries[] = {number.get()};
  CFRef<CFArrayRef> list(CFArrayCreate(NULL, entries, 1, &kCFTypeArrayCallBacks));
  const void* keys[] = {kMoreSecFileDescriptorsKey};
  const void* values[] = {list.get()};
  *response = CFDictionaryCreate(NULL, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                 &kCFTypeDictionaryValueCallBacks);
  return noErr;
}

// Hands the tool, started as root, one request for that command.
void RunToolOnTheCommand() {
  int pair[2];
  if (MoreUNIXIgnoreSIGPIPE() != 0 || socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) _exit(2);
  const char externalForm[32] = {};
  CFRef<CFDictionaryRef> request(
      CFDictionaryCreate(NULL, NULL, NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  if (write(pair[1], externalForm, sizeof externalForm) != sizeof externalForm ||
      WriteDictionaryToDescriptor(request.get(), pair[1]) != noErr) {
    _exit(3);
  }
  const char* argv[] = {"UninstallerHelper", NULL};
  const MoreSecCommand command = {AnswerWithAHugeDescriptorNumber, {NULL, 0}, NULL};
  MoreSecHelperToolMain(pair[0], pair[0], NULL, &command, 1, argv);
}

TEST(HelperToolDeathTest, ADescriptorNumberBeyondAnIntEndsTheToolWithTheNamedAssertion) {
  if (geteuid() != 0) GTEST_SKIP() << "the tool runs the command itself only when started as root";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(RunToolOnTheCommand(), "CFNumberGetValue\\(thisDescNum, kCFNumberIntType, &thisDesc\\)");
}

// Child side: a set-user-ID file with two names, whose mode cannot be
// changed to 0555; exits 0 when the repair is taken back all the same.
void TakeBackTheRepairOfALinkedFile(const std::string& tool, const std::string& other) {
  int fd = open(tool.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
  if (fd < 0 || fchmod(fd, 04555) != 0 || link(tool.c_str(), other.c_str()) != 0) _exit(2);
  if (!quillon::testing::FailSystemCalls({SYS_fchmod}, EPERM, 0555)) _exit(3);
  OSStatus err = RevokeRepairOfLinkedFile(fd, getuid());
  struct stat sb;
  if (fstat(fd, &sb) != 0) _exit(4);
  _exit(err == EPERM && (sb.st_mode & S_ISUID) == 0 && sb.st_uid == getuid() ? 0 : 1);
}

// The user may link the tool while it is still theirs; once repaired, that
// second name must not stay set-user-ID, even when the mode cannot be changed.
TEST(HelperToolDeathTest, ALinkedRepairedFileLosesSetUserIDWhenItsModeCannotChange) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char folder[] = "/tmp/quillon-repair-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string tool = std::string(folder) + "/UninstallerHelper";
  const std::string other = std::string(folder) + "/other-name";
  EXPECT_EXIT(TakeBackTheRepairOfALinkedFile(tool, other), testing::ExitedWithCode(0), "");
  unlink(other.c_str());
  unlink(tool.c_str());
  rmdir(folder);
}

}  // namespace
