// Compiled into the tests' copy of the product's tools alone (see KillPoint.h).
#include "KillPoint.h"

#ifndef QUILLON_KILL_POINTS
#error "kill points belong in the tests' copy of the tools only"
#endif

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/auxv.h>

namespace quillon {

namespace {

unsigned gKillAt = 0;  // 0: not armed
unsigned gReached = 0;

}  // namespace

void ArmKillPoints(const char* tool, bool system) {
  // Inert in a process that the kernel started with more rights than its
  // caller had (set-user-ID, file capabilities): such a copy was installed
  // by mistake, and its caller must not be able to cut it short.
  if (getauxval(AT_SECURE) != 0) return;
  const char* setting = getenv(kKillPointVariable);
  if (setting == nullptr) return;
  char name[64], mode[16];
  unsigned at = 0;
  if (sscanf(setting, "%63s %15s %u", name, mode, &at) != 3) return;
  if (strcmp(name, tool) == 0 && strcmp(mode, system ? "system" : "user") == 0) gKillAt = at;
}

void KillPoint() {
  if (gKillAt == 0 || ++gReached < gKillAt) return;
  // The whole process group, as a power cut or an out-of-memory kill of the
  // session would: the script that started us goes too.
  (void) kill(0, SIGKILL);
  (void) raise(SIGKILL);
}

}  // namespace quillon
