// How a helper tool that can regain root reads its request: a child drops to
// the caller's user and group IDs for good, reads and parses the frame, and
// hands root the flat form of MoreSecRequestForm.h. A fault in the parser then
// has the caller's rights, never root's.
#ifndef QUILLON_CORE_SECURITY_MORESECREQUESTREADER_H
#define QUILLON_CORE_SECURITY_MORESECREQUESTREADER_H

#include "MoreSecRequestForm.h"

#include <CoreFoundation/CoreFoundation.h>
#include <MacTypes.h>

#include <sys/types.h>

// How long root waits for the child's form before it kills the child.
enum { kMoreSecRequestChildTimeoutMs = 30000 };

// Runs, in the parsing child, after every drop and limit and before the frame
// is read; a test build uses it to report the child's state. NULL otherwise.
typedef void (*MoreSecParserProbe)(void);

// Reads one request frame from |fdIn| through a parsing child (see above)
// and on 0 stores in *request (NULL on entry) the dictionary root built from
// the child's form. Whatever the child does wrong (a frame it refuses, a
// crash, a signal, a status other than 0, garbage, a form too long, no form
// within the timeout) gives -4960, the status of a frame that is not a
// property list, and *request stays NULL. Descriptor |fdIn| must be open;
// the child keeps only it, standard error and its pipe.
OSStatus MoreSecCopyRequestThroughChild(int fdIn, const MoreSecRequestSchema& schema, MoreSecParserProbe probe,
                                        CFDictionaryRef* request);

// Root's half: reads the form from |fdForm| for |timeoutMs| at most and at
// most MoreSecRequestFormLimit(schema) bytes, then kills and reaps |child|.
// Builds *request only when the child exited with 0 and the form passes
// MoreSecCopyRequestFromForm. Does not close |fdForm|.
OSStatus MoreSecCollectRequestFromChild(int fdForm, pid_t child, const MoreSecRequestSchema& schema, int timeoutMs,
                                        CFDictionaryRef* request);

#endif  // QUILLON_CORE_SECURITY_MORESECREQUESTREADER_H
