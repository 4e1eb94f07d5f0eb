#include <Authorization.h>
#include <SystemTestSupport.h>
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#ifndef AUTH_PROBE_PATH
#error "AUTH_PROBE_PATH must name the auth_probe program"
#endif

namespace {

using quillon::systest::CancelAgent;
using quillon::systest::ChildOptions;
using quillon::systest::ChildResult;
using quillon::systest::kPkexecAction;
using quillon::systest::PolkitAnswer;
using quillon::systest::ScopedPolkitRule;
using quillon::systest::ScopedTestUser;

// True when this process has no child at all, running or ended.
bool NoChildrenLeft() {
  int status;
  return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

OSStatus CheckRight(const char* right, AuthorizationFlags flags) {
  AuthorizationRef ref = NULL;
  OSStatus err = AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &ref);
  if (err != errAuthorizationSuccess) return err;
  AuthorizationItem item = {right, 0, NULL, 0};
  AuthorizationRights rights = {1, &item};
  err = AuthorizationCopyRights(ref, &rights, NULL, flags, NULL);
  (void)AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
  return err;
}

// ------------------------------------------------------------ with polkit

// Root tests with a throwaway user and the real polkitd and pkexec. They
// change /etc/polkit-1/rules.d and the user database, hence the lock.
class PolkitSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: creates users and polkit rules";
    std::string why;
    ASSERT_TRUE(quillon::systest::PolkitIsRunning(&why)) << why;
    ASSERT_EQ(quillon::systest::PolkitCheckForUid(0, kQuillonUninstallRight), 0)
        << "our polkit action is not installed (scripts/ci/start-services.sh installs it)";
    user_ = std::make_unique<ScopedTestUser>();
    ASSERT_TRUE(user_->ok()) << user_->error();
  }

  const quillon::systest::TestUser& user() const { return user_->user(); }

  // A set-user-ID root copy of auth_probe that the test user may run, in a
  // folder whose volume honours set-user-ID.
  std::string MakeSetUIDProbe() {
#ifdef QUILLON_SANITIZED
    // The sanitizer runtime trusts its environment: never set-user-ID.
    return "";
#endif
    std::string error;
    if (!quillon::systest::MakeScratchDir("suid", &scratch_, &error)) {
      ADD_FAILURE() << error;
      return "";
    }
    struct statvfs vfs;
    if (statvfs(scratch_.c_str(), &vfs) != 0 || (vfs.f_flag & ST_NOSUID) != 0) {
      ADD_FAILURE() << scratch_ << " is on a volume mounted nosuid";
      return "";
    }
    std::string copy = scratch_ + "/auth_probe";
    ChildResult r = quillon::systest::RunProgramAsUser(nullptr, {"/bin/cp", AUTH_PROBE_PATH, copy});
    if (r.ExitCode() != 0 || chown(copy.c_str(), 0, 0) != 0 || chmod(copy.c_str(), 04755) != 0) {
      ADD_FAILURE() << "cannot make " << copy << ": " << r.Describe();
      return "";
    }
    return copy;
  }

  void TearDown() override {
    if (!scratch_.empty()) {
      std::string error;
      EXPECT_TRUE(quillon::systest::RemoveScratchDir(scratch_, &error)) << error;
    }
  }

 private:
  std::unique_ptr<ScopedTestUser> user_;
  std::string scratch_;
};

bool ReadExactly(int fd, void* buffer, size_t length) {
  char* p = static_cast<char*>(buffer);
  while (length > 0) {
    ssize_t n = read(fd, p, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// Runs in a child as the test user: AuthorizationExecuteWithPrivileges of
// auth_probe with `arguments`; prints the status (and, on success, what the
// probe reported) on standard output, and exits 0 when the status is
// `expected`, no child is left behind, and a success looked right.
int ExecuteProbe(char* const* arguments, OSStatus expected) {
  AuthorizationRef ref = NULL;
  if (AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &ref) != errAuthorizationSuccess) return 10;
  FILE* channel = NULL;
  OSStatus err = AuthorizationExecuteWithPrivileges(ref, AUTH_PROBE_PATH, kAuthorizationFlagDefaults, arguments,
                                                    &channel);
  printf("status %d\n", static_cast<int>(err));
  int code = err == expected ? 0 : 11;
  if (err == errAuthorizationSuccess) {
    int32_t header[4];
    uint32_t length = 0;
    char args[256] = {0};
    if (!ReadExactly(fileno(channel), header, sizeof(header)) || !ReadExactly(fileno(channel), &length, 4) ||
        length >= sizeof(args) || !ReadExactly(fileno(channel), args, length)) {
      return 12;
    }
    printf("pid %d ruid %d euid %d privileged %d args [%s]\n", header[0], header[1], header[2], header[3], args);
    if (fclose(channel) != 0) return 13;  // the probe sees end of stream and exits
    int status = 0;
    if (waitpid(header[0], &status, 0) != header[0]) return 14;  // the tool is our own child
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 15;
    if (header[1] != 0 || header[2] != 0) return 16;
    if (header[3] != errAuthorizationSuccess) return 17;
    if (strcmp(args, "two words\n--dash") != 0) return 18;
  } else if (channel != NULL) {
    return 19;
  }
  if (!NoChildrenLeft()) return 20;
  if (AuthorizationFree(ref, kAuthorizationFlagDestroyRights) != errAuthorizationSuccess) return 21;
  return code;
}

TEST_F(PolkitSystemTest, ExecuteWithYesRuleRunsTheToolAsRootOverTheChannel) {
  ScopedPolkitRule rule(user(), PolkitAnswer::Yes, {kPkexecAction});
  ASSERT_TRUE(rule.ok()) << rule.error();
  char* const arguments[] = {const_cast<char*>("report"), const_cast<char*>("two words"),
                             const_cast<char*>("--dash"), NULL};
  ChildResult r = quillon::systest::RunAsUser(&user(), [&] { return ExecuteProbe(arguments, 0); });
  EXPECT_EQ(r.ExitCode(), 0) << r.out << r.Describe();
  EXPECT_NE(r.out.find("ruid 0 euid 0 privileged 0"), std::string::npos) << r.out;
  // What the tool says on standard error reaches ours once, in order, from
  // before pkexec's verdict was known (read with pkexec's words) and after
  // (passed on by a process of its own).
  const size_t started = r.err.find("auth_probe: started\n");
  const size_t inputRead = r.err.find("auth_probe: input read\n");
  EXPECT_NE(started, std::string::npos) << r.err;
  EXPECT_NE(inputRead, std::string::npos) << r.err;
  EXPECT_LT(started, inputRead) << r.err;
  EXPECT_EQ(r.err.find("auth_probe: started", started + 1), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("auth_probe: input read", inputRead + 1), std::string::npos) << r.err;
}

// pkexec exits 127 both when polkit says no and when no agent could ask for
// a password; what it says tells them apart, in whatever language the user
// reads.
TEST_F(PolkitSystemTest, ExecuteTellsPolicyDenialFromAMissingAgentInEveryLanguage) {
  char* const arguments[] = {const_cast<char*>("report"), NULL};
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ChildOptions options;
    options.env = {std::string("LANG=") + locale, std::string("LC_ALL=") + locale, "LANGUAGE=de"};
    // No rule: the action wants an administrator's password, and no agent runs.
    ChildResult r = quillon::systest::RunAsUser(
        &user(), [&] { return ExecuteProbe(arguments, errAuthorizationInteractionNotAllowed); }, options);
    EXPECT_EQ(r.ExitCode(), 0) << locale << ": " << r.out << r.Describe();

    ScopedPolkitRule rule(user(), PolkitAnswer::No, {kPkexecAction});
    ASSERT_TRUE(rule.ok()) << rule.error();
    r = quillon::systest::RunAsUser(&user(), [&] { return ExecuteProbe(arguments, errAuthorizationDenied); }, options);
    EXPECT_EQ(r.ExitCode(), 0) << locale << ": " << r.out << r.Describe();
  }
}

TEST_F(PolkitSystemTest, ExecuteWithDismissedDialogIsCanceledAndReaped) {
  CancelAgent agent;
  ChildOptions options;
  std::string agentError;
  // pkexec asks about its parent: the child that calls the routine.
  options.beforeRun = [&](pid_t child) { return agent.Start(child, &agentError); };
  char* const arguments[] = {const_cast<char*>("report"), NULL};
  ChildResult r = quillon::systest::RunAsUser(
      &user(), [&] { return ExecuteProbe(arguments, errAuthorizationCanceled); }, options);
  agent.Stop();
  ASSERT_TRUE(agentError.empty()) << agentError;
  EXPECT_EQ(r.ExitCode(), 0) << r.out << r.Describe();
  EXPECT_GE(agent.DismissedCount(), 1) << agent.Output();
}

TEST_F(PolkitSystemTest, ExecuteOfAToolThatEndsWithoutAWordIsAFailureAndReaped) {
  ScopedPolkitRule rule(user(), PolkitAnswer::Yes, {kPkexecAction});
  ASSERT_TRUE(rule.ok()) << rule.error();
  for (const char* code : {"0", "5"}) {
    char* const arguments[] = {const_cast<char*>("silent"), const_cast<char*>(code), NULL};
    ChildResult r = quillon::systest::RunAsUser(
        &user(), [&] { return ExecuteProbe(arguments, errAuthorizationToolExecuteFailure); });
    EXPECT_EQ(r.ExitCode(), 0) << "exit " << code << ": " << r.out << r.Describe();
  }
}

TEST_F(PolkitSystemTest, PrivilegedReferenceIgnoresTheEnvironment) {
  ChildOptions options;
  options.env = {"PKEXEC_UID=0", "SUDO_UID=0"};
  ChildResult plain = quillon::systest::RunAsUser(
      &user(),
      [] {
        AuthorizationRef ref = NULL;
        return AuthorizationCopyPrivilegedReference(&ref, kAuthorizationFlagDefaults) == errAuthorizationInvalidRef &&
                       ref == NULL
                   ? 0
                   : 1;
      },
      options);
  EXPECT_EQ(plain.ExitCode(), 0) << plain.Describe();

  // Effective user ID 0 is not enough either: a user can run a set-user-ID copy.
#ifdef QUILLON_SANITIZED
  GTEST_SKIP() << "a sanitizer build is never made set-user-ID";
#endif
  std::string probe = MakeSetUIDProbe();
  ASSERT_FALSE(probe.empty());
  ChildResult setuid = quillon::systest::RunProgramAsUser(&user(), {probe, "privref"}, options);
  EXPECT_EQ(setuid.ExitCode(), 0) << setuid.Describe();
  EXPECT_EQ(setuid.out, "-60002\n");
}

TEST_F(PolkitSystemTest, RightsFollowPolkitForTheUser) {
  const AuthorizationFlags quiet = kAuthorizationFlagExtendRights;
  const AuthorizationFlags asking = kAuthorizationFlagExtendRights | kAuthorizationFlagInteractionAllowed;
  // Root holds every right.
  EXPECT_EQ(CheckRight(kQuillonUninstallRight, quiet), errAuthorizationSuccess);

  // Without a rule the action wants an administrator's password.
  ChildResult r = quillon::systest::RunAsUser(&user(), [&] {
    if (CheckRight(kQuillonUninstallRight, quiet) != errAuthorizationInteractionNotAllowed) return 1;
    if (CheckRight(kQuillonUninstallRight, asking) != errAuthorizationInteractionNotAllowed) return 2;  // no agent
    return NoChildrenLeft() ? 0 : 3;
  });
  EXPECT_EQ(r.ExitCode(), 0) << r.Describe();

  {
    ScopedPolkitRule rule(user(), PolkitAnswer::Yes, {kQuillonUninstallRight});
    ASSERT_TRUE(rule.ok()) << rule.error();
    r = quillon::systest::RunAsUser(&user(), [&] { return CheckRight(kQuillonUninstallRight, quiet) == 0 ? 0 : 1; });
    EXPECT_EQ(r.ExitCode(), 0) << r.Describe();
  }
  {
    ScopedPolkitRule rule(user(), PolkitAnswer::No, {kQuillonUninstallRight});
    ASSERT_TRUE(rule.ok()) << rule.error();
    r = quillon::systest::RunAsUser(
        &user(), [&] { return CheckRight(kQuillonUninstallRight, asking) == errAuthorizationDenied ? 0 : 1; });
    EXPECT_EQ(r.ExitCode(), 0) << r.Describe();
  }
}

TEST_F(PolkitSystemTest, RightsDismissedInTheDialogAreCanceled) {
  CancelAgent agent;
  ChildOptions options;
  std::string agentError;
  options.beforeRun = [&](pid_t child) { return agent.Start(child, &agentError); };
  ChildResult r = quillon::systest::RunAsUser(
      &user(),
      [&] {
        OSStatus err = CheckRight(kQuillonUninstallRight,
                                  kAuthorizationFlagExtendRights | kAuthorizationFlagInteractionAllowed);
        printf("status %d\n", static_cast<int>(err));
        return err == errAuthorizationCanceled ? 0 : 1;
      },
      options);
  agent.Stop();
  ASSERT_TRUE(agentError.empty()) << agentError;
  EXPECT_EQ(r.ExitCode(), 0) << r.out << r.Describe();
}

// A set-user-ID root copy runs with effective user ID 0, but the right is
// asked for the user who started it.
TEST_F(PolkitSystemTest, SetUIDCopyIsAskedAboutItsRealUser) {
#ifdef QUILLON_SANITIZED
  GTEST_SKIP() << "a sanitizer build is never made set-user-ID";
#endif
  std::string probe = MakeSetUIDProbe();
  ASSERT_FALSE(probe.empty());
  ChildResult r = quillon::systest::RunProgramAsUser(&user(), {probe, "rights", kQuillonUninstallRight, "0"});
  EXPECT_EQ(r.out, std::to_string(errAuthorizationInteractionNotAllowed) + "\n") << r.Describe();

  r = quillon::systest::RunProgramAsUser(&user(), {probe, "rights-as-user", kQuillonUninstallRight, "0"});
  EXPECT_EQ(r.out, std::to_string(errAuthorizationInteractionNotAllowed) + "\n") << r.Describe();

  ScopedPolkitRule rule(user(), PolkitAnswer::Yes, {kQuillonUninstallRight});
  ASSERT_TRUE(rule.ok()) << rule.error();
  r = quillon::systest::RunProgramAsUser(&user(), {probe, "rights", kQuillonUninstallRight, "0"});
  EXPECT_EQ(r.out, "0\n") << r.Describe();
  // With root only in the saved user ID, as the helper tool's command runs.
  r = quillon::systest::RunProgramAsUser(&user(), {probe, "rights-as-user", kQuillonUninstallRight, "0"});
  EXPECT_EQ(r.out, "0\n") << r.Describe();
}

}  // namespace
