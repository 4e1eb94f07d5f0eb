// Shared by the engine and its authorization-dialog thread.
#pragma once

#include <MacTypes.h>

// Writes "Uninstaller error:%ld (%lX) line:%d file:%s function:%s\n": the
// status in decimal and as 32-bit upper-case hexadecimal, the line that
// identifies the failing step, the engine's source file and |function|.
void UninstallerLogError(OSStatus err, int line, const char* function);
