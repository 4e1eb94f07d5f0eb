// Shared by the engine and its authorization-dialog thread.
#pragma once

#include <MacTypes.h>

#include <sys/types.h>

struct UninstallerUserAccount;

// Writes "Uninstaller error:%ld (%lX) line:%d file:%s function:%s\n": the
// status in decimal and as 32-bit upper-case hexadecimal, the line that
// identifies the failing step, the engine's source file and |function|.
void UninstallerLogError(OSStatus err, int line, const char* function);

// Starts |path| with |argv| as |account| (see UninstallerUserAccount), its
// standard output and error on |outFd|, in a session of its own with
// /dev/null as input and no other descriptor, default signal actions and
// an empty mask. Returns 0 with *child set, or the errno of the step that
// failed (in the child, before the exec, or of the exec itself); then no
// child is left running. Only root can do this.
int UninstallerSpawnAsAccount(const char* path, char* const argv[], const UninstallerUserAccount* account, int outFd,
                              pid_t* child);
