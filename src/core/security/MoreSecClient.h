// The application's end of the privileged request channel: run the installed
// helper tool for one request and read its response.
#ifndef QUILLON_CORE_SECURITY_MORESECCLIENT_H
#define QUILLON_CORE_SECURITY_MORESECCLIENT_H

#include "MoreSecProtocol.h"

#include <Authorization.h>
#include <CoreFoundation/CoreFoundation.h>

// Starts the helper tool at |helperTool| with one end of a socket pair as its
// standard input and output, sends the 32-byte external form of |auth| and
// |request|, shuts down the sending direction, reads the response with the
// descriptors that follow it, and waits for the tool. The tool's exit decides
// when the exchange ended early: result codes 1 to 4 give 5361 to 5364, a
// signal or any other exit code 5364. On 0, *response (NULL on entry) is the
// caller's, and so is every descriptor listed in it. On any other status
// *response stays NULL and no descriptor from the exchange is left open. A
// started tool is always waited for. Writes one diagnostic line per failed
// check to standard error. SIGPIPE must be ignored.
OSStatus MoreSecExecuteRequestInHelperTool(CFURLRef helperTool, AuthorizationRef auth, CFDictionaryRef request,
                                           CFDictionaryRef* response);

// The status of the command that the tool ran, from the response's error
// number; -4960 when the entry is missing or not a signed 32-bit integer.
OSStatus MoreSecGetErrorFromResponse(CFDictionaryRef response);

#endif  // QUILLON_CORE_SECURITY_MORESECCLIENT_H
