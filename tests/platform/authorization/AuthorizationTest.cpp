#include <Authorization.h>
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#ifndef AUTH_PROBE_PATH
#error "AUTH_PROBE_PATH must name the auth_probe program"
#endif

namespace {

// True when this process has no child at all, running or ended.
bool NoChildrenLeft() {
  int status;
  return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

// ------------------------------------------------------------ references

TEST(AuthorizationRefTest, ExternalFormRecreatesAnEqualReference) {
  AuthorizationRef a = NULL, b = NULL, again = NULL;
  ASSERT_EQ(AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &a), errAuthorizationSuccess);
  ASSERT_EQ(AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &b), errAuthorizationSuccess);
  AuthorizationExternalForm formA, formB, formAgain;
  ASSERT_EQ(AuthorizationMakeExternalForm(a, &formA), errAuthorizationSuccess);
  ASSERT_EQ(AuthorizationMakeExternalForm(b, &formB), errAuthorizationSuccess);
  EXPECT_NE(memcmp(&formA, &formB, sizeof(formA)), 0) << "two references share their random bytes";

  ASSERT_EQ(AuthorizationCreateFromExternalForm(&formA, &again), errAuthorizationSuccess);
  ASSERT_EQ(AuthorizationMakeExternalForm(again, &formAgain), errAuthorizationSuccess);
  EXPECT_EQ(memcmp(&formA, &formAgain, sizeof(formA)), 0);

  EXPECT_EQ(AuthorizationFree(a, kAuthorizationFlagDestroyRights), errAuthorizationSuccess);
  EXPECT_EQ(AuthorizationFree(b, kAuthorizationFlagDefaults), errAuthorizationSuccess);
  EXPECT_EQ(AuthorizationFree(again, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

TEST(AuthorizationRefTest, RefusesMissingArguments) {
  AuthorizationExternalForm form;
  AuthorizationRef ref = NULL;
  EXPECT_EQ(AuthorizationFree(NULL, kAuthorizationFlagDefaults), errAuthorizationInvalidRef);
  EXPECT_EQ(AuthorizationMakeExternalForm(NULL, &form), errAuthorizationInvalidRef);
  EXPECT_EQ(AuthorizationCreateFromExternalForm(NULL, &ref), errAuthorizationInvalidPointer);
  EXPECT_EQ(AuthorizationCreateFromExternalForm(&form, NULL), errAuthorizationInvalidPointer);
  EXPECT_EQ(AuthorizationCopyPrivilegedReference(NULL, kAuthorizationFlagDefaults), errAuthorizationInvalidPointer);
  EXPECT_EQ(AuthorizationCreate(NULL, NULL, 1u << 20, &ref), errAuthorizationInvalidFlags);
  EXPECT_EQ(ref, nullptr);

  ASSERT_EQ(AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  EXPECT_EQ(AuthorizationMakeExternalForm(ref, NULL), errAuthorizationInvalidPointer);
  EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

TEST(AuthorizationRightsTest, RefusesMalformedRightsBeforeAskingPolkit) {
  AuthorizationRef ref = NULL;
  ASSERT_EQ(AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  // Names that could pass for pkcheck options or are not action ids.
  for (const char* bad : {"", "--help", "-x", "Com.Quillon", "com quillon", "com.quillon/x", ".com"}) {
    AuthorizationItem item = {bad, 0, NULL, 0};
    AuthorizationRights rights = {1, &item};
    EXPECT_EQ(AuthorizationCopyRights(ref, &rights, NULL, kAuthorizationFlagExtendRights, NULL),
              errAuthorizationInvalidTag)
        << bad;
  }
  AuthorizationItem unnamed = {NULL, 0, NULL, 0};
  AuthorizationRights oneUnnamed = {1, &unnamed};
  EXPECT_EQ(AuthorizationCopyRights(ref, &oneUnnamed, NULL, 0, NULL), errAuthorizationInvalidTag);
  AuthorizationRights tooMany = {65, &unnamed};
  EXPECT_EQ(AuthorizationCopyRights(ref, &tooMany, NULL, 0, NULL), errAuthorizationInvalidSet);
  AuthorizationRights noItems = {1, NULL};
  EXPECT_EQ(AuthorizationCopyRights(ref, &noItems, NULL, 0, NULL), errAuthorizationInvalidSet);
  EXPECT_EQ(AuthorizationCopyRights(ref, NULL, NULL, 0, NULL), errAuthorizationInvalidSet);
  EXPECT_EQ(AuthorizationCopyRights(NULL, &oneUnnamed, NULL, 0, NULL), errAuthorizationInvalidRef);
  EXPECT_TRUE(NoChildrenLeft());
  EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

TEST(AuthorizationExecuteTest, RefusesWhatPkexecWouldMisread) {
  AuthorizationRef ref = NULL;
  ASSERT_EQ(AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &ref), errAuthorizationSuccess);
  FILE* pipe = reinterpret_cast<FILE*>(1);  // must be cleared
  char* const noArgs[] = {NULL};
  // A relative name would be searched in pkexec's PATH; "-..." read as an option.
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "auth_probe", 0, noArgs, &pipe),
            errAuthorizationToolExecuteFailure);
  EXPECT_EQ(pipe, nullptr);
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, "--version", 0, noArgs, &pipe),
            errAuthorizationToolExecuteFailure);
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, NULL, 0, noArgs, &pipe), errAuthorizationToolExecuteFailure);
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, AUTH_PROBE_PATH, 1, noArgs, &pipe),
            errAuthorizationInvalidFlags);
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(ref, AUTH_PROBE_PATH, 0, noArgs, NULL),
            errAuthorizationInvalidPointer);
  EXPECT_EQ(AuthorizationExecuteWithPrivileges(NULL, AUTH_PROBE_PATH, 0, noArgs, &pipe),
            errAuthorizationInvalidRef);
  EXPECT_TRUE(NoChildrenLeft());
  EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

TEST(AuthorizationPrivilegedTest, RootGetsAReference) {
  if (getuid() != 0) GTEST_SKIP() << "needs root: the real user ID must be 0";
  AuthorizationRef ref = NULL;
  ASSERT_EQ(AuthorizationCopyPrivilegedReference(&ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
  EXPECT_EQ(AuthorizationFree(ref, kAuthorizationFlagDefaults), errAuthorizationSuccess);
}

}  // namespace
