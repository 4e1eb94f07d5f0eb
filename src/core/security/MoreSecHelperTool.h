// The helper tool's side of the request channel: its whole life between its
// entry point and its exit, self-repair through the authorization dialog
// included.
//
// Process structure: wherever the tool can regain root (started as root,
// repaired, or pkexec's child), it never parses the caller's bytes itself. It
// forks a child that drops for good to the user and group IDs of whoever made
// the channel (root's channel, or one it cannot tell, gives nobody), with no
// supplementary groups, no capabilities, no new privileges and tight limits.
// That child reads and parses the frame and hands root a small flat form of
// only the keys the command reads (MoreSecRequestForm.h). Root checks that
// form from scratch and builds the command's dictionary itself: a fault in
// the XML reader thus runs with the caller's rights, never root's, and ends
// the request as a malformed frame does. A relaying instance, which has given
// root up, passes the caller's bytes on unread.
#ifndef QUILLON_CORE_SECURITY_MORESECHELPERTOOL_H
#define QUILLON_CORE_SECURITY_MORESECHELPERTOOL_H

#include "MoreSecProtocol.h"
#include "MoreSecRequestForm.h"
#include "MoreSecRequestReader.h"

#include <Authorization.h>
#include <CoreFoundation/CoreFoundation.h>

// A tool's command. Called with the effective user ID of the real user and
// the saved user ID 0, so it may take root with MoreSecSetPrivilegedEUID. It
// may leave *response NULL or store a new dictionary, which passes to the
// host; a descriptor list in it names open descriptors that the host sends
// and then closes. The returned status travels in the response's error
// number unless the response already holds one. The request holds only the
// keys of the command's schema, each of its kind or kCFBooleanFalse where the
// caller sent something else.
typedef OSStatus (*MoreSecCommandProc)(AuthorizationRef auth, CFDictionaryRef request, CFDictionaryRef* response);

// A command and what it reads of a request. |parserProbe| is NULL except in
// test builds (MoreSecRequestReader.h).
struct MoreSecCommand {
  MoreSecCommandProc proc;
  MoreSecRequestSchema request;
  MoreSecParserProbe parserProbe;
};

// The authorization the process was started with through
// AuthorizationExecuteWithPrivileges, or NULL.
AuthorizationRef MoreSecHelperToolCopyAuthRef(void);

// Reads the authorization and one request from |fdIn|, runs |command|
// (directly when the process runs as root, otherwise through a repaired copy
// of itself started with "--self-repair") and writes the response to |fdOut|.
// Takes |auth| over and frees it. |argc| is 1 (normal) or 2 (repair mode).
// Returns the status of the exchange; the command's own status is in the
// response.
OSStatus MoreSecHelperToolMain(int fdIn, int fdOut, AuthorizationRef auth, const MoreSecCommand* command, int argc,
                               const char* argv[]);

// The same for the installed tool that the polkit action at |policyPath|
// names (MoreSecInstalledTool.h); NULL gives MoreSecHelperToolMain. Such a
// tool never repairs a file. It runs the command only when its real,
// effective and saved user IDs are all 0 (pkexec's child, or a tool that
// root started); any other start gives root up for good and relays through
// pkexec on the installed tool that the action names, whatever file this
// process runs from, so the authorization dialog shows the action's own
// message. A repair-mode start that is not root alone gives 5361.
OSStatus MoreSecHelperToolMainForInstalledTool(int fdIn, int fdOut, AuthorizationRef auth,
                                               const MoreSecCommand* command, int argc, const char* argv[],
                                               const char* policyPath);

// Everything a helper tool's main does, for set-user-ID use: make sure
// descriptors 0 to 2 are open, refuse an argument count other than 1 or 2,
// reset the inherited process state (environment, signals, umask, limits,
// working directory, timers, regular-file descriptors), ignore SIGPIPE, get
// the authorization, run MoreSecHelperToolMain on descriptors 0 and 1 and
// return the exit code (0 to 4; never 126 or 127, which pkexec reserves).
int MoreSecHelperToolEntry(int argc, char* argv[], const MoreSecCommand* command);
// The same with MoreSecHelperToolMainForInstalledTool.
int MoreSecHelperToolEntryForInstalledTool(int argc, char* argv[], const MoreSecCommand* command,
                                           const char* policyPath);

#endif  // QUILLON_CORE_SECURITY_MORESECHELPERTOOL_H
