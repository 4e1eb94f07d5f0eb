// Shared by the source files of the process module only.
#pragma once

#include "Processes.h"

// Whether psn still names the same process, and that process runs a program
// (it has not ended, become a zombie, or given its pid to a newer process).
bool ProcessIsRunning(const ProcessSerialNumber* psn);

// Sleeps for ms milliseconds, resuming after signals.
void ProcessSleepMs(long ms);

// Milliseconds on the monotonic clock.
long long ProcessNowMs();
