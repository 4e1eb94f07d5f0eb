// The statuses a front end tells apart, what each means for the run, and
// the strings-table key of the sentence that explains it. Every front end
// decides from here; none declares a status number of its own.
#pragma once

#include <Authorization.h>
#include <MacTypes.h>

#include "MoreSecProtocol.h"

// How a run ended, as the user is told.
enum class UninstallerOutcome {
  kRemoved,      // the engine succeeded
  kNothingToDo,  // nothing was installed: the engine never ran
  kCancelled,    // the user dismissed the password dialog (or pressed Ctrl-C)
  kDenied,       // the password was refused, or the policy does not allow it
  kNoAgent,      // a password was needed and nothing could ask for it
  kFailed,       // anything else: the status says what
};

// The outcome of an engine run that returned |status|. Authorization
// Services' own denied and canceled statuses mean what the helper tool's
// 5362 and 5363 mean: they reach us when the refusal comes before the tool.
UninstallerOutcome UninstallerOutcomeOf(OSStatus status);

// The strings-table key of the sentence that tells a user what |status|
// means, or null for a status that has none (an errno value has none either:
// its text is strerror's). Covers the helper tool statuses 5361 to 5366,
// 5370, errAuthorizationInteractionNotAllowed (-60007) and -4960.
const char* UninstallerStatusTextKey(OSStatus status);

// Whether |status| is an errno value, whose text is strerror(status).
bool UninstallerStatusIsErrno(OSStatus status);
