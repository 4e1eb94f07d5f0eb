// The pieces of the authorization-dialog thread, for tests.
#pragma once

#include <MacTypes.h>
#include <Processes.h>

// Decides whether the process psn is the session's polkit authentication
// agent and, if so, brings its dialog to the front. *found is set to false
// first and to true exactly when the process is the agent. Writes one
// "found SecurityAgent:%d error:%ld (0x%X)" line for every process examined.
// Returns 0; procNotFound when the agent ended while its window was awaited;
// the status of reading the process's identifier (a process that ended
// meanwhile, or one closed to inspection, is not a failure: it is not the
// agent); or the status of bringing the agent forward.
OSStatus BringProcessForwardIfItIsSecurityAgent(const ProcessSerialNumber* psn, Boolean* found);
