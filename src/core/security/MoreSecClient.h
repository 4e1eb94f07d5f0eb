// The application's end of the privileged request channel: run the installed
// helper tool for one request and read its response.
#ifndef QUILLON_CORE_SECURITY_MORESECCLIENT_H
#define QUILLON_CORE_SECURITY_MORESECCLIENT_H

#include "MoreSecProtocol.h"

#include <Authorization.h>
#include <CoreFoundation/CoreFoundation.h>

#include <sys/types.h>

// Starts the helper tool at |helperTool| with one end of a socket pair as its
// standard input and output, sends the 32-byte external form of |auth| and
// |request|, shuts down the sending direction, reads the response with the
// descriptors that follow it, and waits for the tool. The tool's exit decides
// when the exchange ended early: result codes 1 to 4 give 5361 to 5364, 5
// gives -60007 (no authentication agent could ask), a signal or any other
// exit code 5364. On 0, *response (NULL on entry) is the
// caller's, and so is every descriptor listed in it. On any other status
// *response stays NULL and no descriptor from the exchange is left open. A
// started tool is always waited for. Writes one diagnostic line per failed
// check to standard error. SIGPIPE must be ignored.
OSStatus MoreSecExecuteRequestInHelperTool(CFURLRef helperTool, AuthorizationRef auth, CFDictionaryRef request,
                                           CFDictionaryRef* response);

// The same, calling |started| (when not NULL) with the tool's process ID and
// |context| once the tool runs and before anything is sent to it. The tool
// reads the external form before it asks polkit for anything, so a front end
// can register an authentication agent for that process here (pkttyagent
// --process PID) and be sure it is in place when pkexec asks.
typedef void (*MoreSecHelperToolStarted)(pid_t helperPID, void* context);
OSStatus MoreSecExecuteRequestInHelperToolWithHook(CFURLRef helperTool, AuthorizationRef auth, CFDictionaryRef request,
                                                   CFDictionaryRef* response, MoreSecHelperToolStarted started,
                                                   void* context);

// The status of the command that the tool ran, from the response's error
// number; -4960 when the entry is missing or not a signed 32-bit integer.
OSStatus MoreSecGetErrorFromResponse(CFDictionaryRef response);

#endif  // QUILLON_CORE_SECURITY_MORESECCLIENT_H
