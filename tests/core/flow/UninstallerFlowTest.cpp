// The sequence both front ends follow: the outcome of every status they
// tell apart, the warnings in their order, and the engine on its worker.
#include "UninstallerFlow.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pthread.h>
#include <string>

namespace {

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
        true, UninstallerEngineOptions{true, nullptr, nullptr, nullptr, false, nullptr},
        [&](const UninstallerRunResult& result) { got = result; }));
  }  // the worker's end joins its thread
  EXPECT_TRUE(signalsHeld);
  EXPECT_EQ(got.status, 5362);
  EXPECT_EQ(got.outcome, UninstallerOutcome::kDenied);
  // Whole, and safe to show: the NUL is written out, not cut at or passed on.
  EXPECT_EQ(got.log, "a\\x00\xC3\xA9\n");
}

}  // namespace
