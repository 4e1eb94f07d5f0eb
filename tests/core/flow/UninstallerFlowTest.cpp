// The sequence both front ends follow: the outcome of every status they
// tell apart, the warnings in their order, and the engine on its worker.
#include "UninstallerFailure.h"
#include "UninstallerFlow.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Keeping standard error is for the whole process and for good: here only
// the children of the test that looks at it may start it.
const bool kStandardErrorLeftAlone = setenv("QUILLON_VERBOSE", "1", 1) == 0;

// Authorization Services' own denied and canceled mean what the helper
// tool's do, in every front end.
TEST(Outcome, EveryStatusAFrontEndTellsApartHasOneOutcome) {
  const struct {
    OSStatus status;
    UninstallerOutcome outcome;
  } cases[] = {
      {noErr, UninstallerOutcome::kRemoved},       {5363, UninstallerOutcome::kCancelled},
      {-60006, UninstallerOutcome::kCancelled},    {5362, UninstallerOutcome::kDenied},
      {-60005, UninstallerOutcome::kDenied},       {-60007, UninstallerOutcome::kNoAgent},
      {5364, UninstallerOutcome::kFailed},         {28, UninstallerOutcome::kFailed},
      {-4960, UninstallerOutcome::kFailed},
  };
  for (const auto& c : cases) EXPECT_EQ(UninstallerOutcomeOf(c.status), c.outcome) << c.status;
}

TEST(Warnings, RestartOrUserPartFirstThenTheSharedSettingsOnlyWhenTheDevicesGo) {
  auto keys = [](unsigned parts, bool midi) {
    std::string joined;
    for (const UninstallerWarning& w : UninstallerWarningsFor(UninstallerPlanFor(parts), midi)) {
      joined += std::string(w.titleKey) + "/" + w.messageKey + " ";
    }
    return joined;
  };
  const unsigned both = kUninstallerSystemPart | kUninstallerUserPart;
  EXPECT_EQ(keys(both, true), "necessaryToRestart/chanceToSave sharedWarningTitle/sharedWarningMessage ");
  EXPECT_EQ(keys(kUninstallerSystemPart, false), "necessaryToRestart/chanceToSave ");
  EXPECT_EQ(keys(kUninstallerUserPart, true), "userPartOnlyTitle/userPartOnlyMessage sharedWarningTitle/sharedWarningMessage ");
  EXPECT_EQ(keys(kUninstallerNothingInstalled, true), "");
  EXPECT_TRUE(UninstallerPlanFor(kUninstallerNothingInstalled).nothingInstalled);
  EXPECT_TRUE(UninstallerPlanFor(kUninstallerUserPart).userPartOnly);
}

// Where a run stopped decides what the user is told about what was removed
// and what to do; trying again is advised only where it can help.
TEST(Failure, TheStepARunStoppedAtSaysWhatWasRemovedAndWhatToDo) {
  const struct {
    OSStatus status;
    UninstallerEngineStep step;
    const char* expected;  // title / cause / state / advice, "-" for none
  } cases[] = {
      {-4960, kUninstallerStepPrepare, "failedTitle - stateNothingRemoved -"},
      {5366, kUninstallerStepRequest, "failedTitle - stateNothingRemoved -"},
      {EIO, kUninstallerStepRequest, "failedTitle - stateMaybePartlyRemoved tryAgain"},
      {5364, kUninstallerStepSystemPart, "failedSystemPartTitle - stateMaybePartlyRemoved systemPartAdvice"},
      {ETIMEDOUT, kUninstallerStepUserPart, "failedUserPartTitle userPartTimeout stateSystemRemoved userPartAdvice"},
      {ENOSPC, kUninstallerStepHelperTool, "diskFullTitle diskFullCause stateNothingRemoved diskFullAdvice"},
      {ENOSPC, kUninstallerStepPrepare, "diskFullTitle - stateNothingRemoved diskFullAdvice"},
  };
  for (const auto& c : cases) {
    UninstallerEngineFailure failure = {c.step, {}};
    if (c.step == kUninstallerStepHelperTool) std::snprintf(failure.folder, sizeof failure.folder, "/proc/none/x");
    const UninstallerExplanation what = UninstallerExplain(c.status, failure);
    auto key = [](const char* k) { return std::string(k != nullptr ? k : "-"); };
    EXPECT_EQ(key(what.titleKey) + " " + key(what.causeKey) + " " + key(what.stateKey) + " " + key(what.adviceKey),
              c.expected)
        << c.status;
  }
}

// A folder that could not be made is on its nearest existing parent's file
// system; the mount point is where the device changes.
TEST(Failure, TheMountPointIsFoundFromTheNearestFolderThatExists) {
  EXPECT_EQ(UninstallerMountPointOf("/proc/no/such/folder/"), "/proc");
  EXPECT_EQ(UninstallerMountPointOf("/proc/self"), "/proc");
  EXPECT_EQ(UninstallerMountPointOf("relative/path"), "");
  EXPECT_EQ(UninstallerMountPointOf(""), "");
}

// The log comes back whole, past a NUL, with termination signals held off
// the worker so that they reach the front end's thread.
TEST(Worker, RunsTheEngineOffTheCallersThreadAndHandsBackItsWholeLog) {
  const pthread_t caller = pthread_self();
  bool signalsHeld = false;
  UninstallerRunResult got;
  {
    UninstallerWorker worker;
    ASSERT_TRUE(worker.Start(
        [&](CFStringRef* log, Boolean midi, const UninstallerEngineOptions& options) -> OSStatus {
          EXPECT_FALSE(pthread_equal(caller, pthread_self()));
          EXPECT_TRUE(midi);
          EXPECT_TRUE(options.userPartOnly);
          sigset_t mask;
          pthread_sigmask(SIG_BLOCK, nullptr, &mask);
          signalsHeld = sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1;
          const UniChar text[] = {'a', 0, 0x00E9, '\n'};
          *log = CFStringCreateWithCharacters(nullptr, text, 4);
          return 5362;
        },
        true, UninstallerEngineOptions{true, nullptr, nullptr, nullptr, false, nullptr, nullptr, nullptr},
        [&](const UninstallerRunResult& result) { got = result; }));
  }  // the worker's end joins its thread
  EXPECT_TRUE(signalsHeld);
  EXPECT_EQ(got.status, 5362);
  EXPECT_EQ(got.outcome, UninstallerOutcome::kDenied);
  // Whole, and safe to show: the NUL is written out, not cut at or passed on.
  EXPECT_EQ(got.log, "a\\x00\xC3\xA9\n");
}

// Standard error, the engine's and its children's, goes to the run's
// diagnostics and not to the terminal; QUILLON_VERBOSE leaves it where it
// was. Each case runs in a child of its own: the capture is for the process.
TEST(Worker, KeepsStandardErrorForTheRunsLogUnlessVerbose) {
  ASSERT_TRUE(kStandardErrorLeftAlone);
  for (const bool verbose : {false, true}) {
    int terminal[2];
    ASSERT_EQ(pipe(terminal), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      (void) dup2(terminal[1], STDERR_FILENO);
      (void) close(terminal[0]);
      (void) close(terminal[1]);
      if (verbose) (void) setenv("QUILLON_VERBOSE", "1", 1); else (void) unsetenv("QUILLON_VERBOSE");
      std::string diagnostics;
      {
        UninstallerWorker worker;
        (void) worker.Start(
            [](CFStringRef*, Boolean, const UninstallerEngineOptions&) -> OSStatus {
              std::fprintf(stderr, "Uninstaller error:28 (1C) line:1\n");
              return std::system("echo from-the-helper >&2") == 0 ? noErr : 1;
            },
            false, UninstallerEngineOptions{}, [&](const UninstallerRunResult& r) { diagnostics = r.diagnostics; });
      }
      const bool kept = diagnostics == "Uninstaller error:28 (1C) line:1\nfrom-the-helper\n";
      _exit(verbose ? (diagnostics.empty() ? 0 : 1) : (kept ? 0 : 1));
    }
    (void) close(terminal[1]);
    std::string shown;
    char buffer[256];
    for (ssize_t n; (n = read(terminal[0], buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
    (void) close(terminal[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << verbose;
    EXPECT_EQ(shown, verbose ? "Uninstaller error:28 (1C) line:1\nfrom-the-helper\n" : "") << verbose;
  }
}

}  // namespace
