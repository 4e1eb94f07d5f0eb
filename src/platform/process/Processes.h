// The running processes of the user's session, as far as the uninstaller needs
// them: to find the session's polkit authentication agent (the process that
// shows the password dialog), to bring its dialog to the front, and to notice
// when a new process starts.
//
// Processes are read from /proc. A process is named by its pid together with
// its start time, so an identity taken earlier never names a newer process
// that happens to get the same pid. Only processes of the calling process's
// real user that run a program are seen: no kernel threads, no zombies, and
// nothing whose /proc entry belongs to someone else (another user's, or one of
// the user's own that runs set-user-ID and so cannot be inspected).
//
// Nothing here keeps process-wide state except the table of agent identifiers
// that tests may replace; every routine may run on any thread.
#pragma once

#include <MacTypes.h>

#include <stddef.h>
#include <stdint.h>

struct ProcessSerialNumber {
  int32_t pid;         // 0 together with startTime 0: no process
  uint64_t startTime;  // clock ticks after boot, field 22 of /proc/<pid>/stat
};

// The process that comes next after *psn in ascending pid order, starting
// from the no-process value {0, 0}. Returns 0 and updates *psn, or
// procNotFound (-600) once the list is exhausted, or the errno of reading
// /proc. Each call reads /proc afresh; processes that start or end during a
// walk may or may not be seen.
OSStatus GetNextProcess(ProcessSerialNumber* psn);

// The identifier that stands for a bundle identifier: the file name of the
// program the process runs (the last component of /proc/<pid>/exe, without
// the " (deleted)" that the kernel adds once the file was replaced, as after
// a package upgrade), e.g. "polkit-gnome-authentication-agent-1". Copies it
// with its NUL into identifier (size bytes). Returns 0; procNotFound when the
// process has ended (or is ending) or the pid now names another process;
// ENAMETOOLONG when it does not fit; or the errno of readlink (EACCES for a
// process that cannot be inspected).
OSStatus GetProcessIdentifier(const ProcessSerialNumber* psn, char* identifier, size_t size);

// Whether identifier is one of the known polkit authentication agents, by
// exact, case-sensitive comparison with a fixed table of the standalone
// agents that desktops start (GNOME's, used by most window managers, KDE,
// MATE, LXDE, LXQt, Xfce, Enlightenment, Deepin, Budgie, Pantheon,
// Hyprland). Desktop shells that show the dialog themselves (GNOME Shell,
// Cinnamon) are not in it: their dialog is always in front.
Boolean ProcessIdentifierIsSecurityAgent(const char* identifier);

// For tests only: replaces the table used by ProcessIdentifierIsSecurityAgent
// with count identifiers (which must stay valid), or restores the built-in
// table when identifiers is NULL. Call before any thread uses the table.
void ProcessSetSecurityAgentIdentifiersForTesting(const char* const* identifiers, size_t count);

// Brings the process's dialog to the front. Where there is an X11 display
// (DISPLAY set, no WAYLAND_DISPLAY) with an EWMH window manager, waits up to
// two minutes for a top-level window of the process to appear (an agent
// shows its dialog only when polkit asks it to) and asks the window manager
// to activate the newest one through _NET_ACTIVE_WINDOW. libxcb is loaded at
// run time, so nothing here needs X11 to be installed. Returns 0 when the
// request was sent and also when there is nothing to raise (no X11 display,
// no window manager, no window in time); procNotFound when the process has
// ended; EIO when the X server refused the request. Blocks while it waits.
OSStatus SetFrontProcess(const ProcessSerialNumber* psn);

// Notices processes that start after the watch was created, in place of an
// event for each launched application. The watch polls /proc four times a
// second; a process is reported once it has existed for one poll, so that it
// has had the time to exec its program, and each process at most once.
// Processes that end before that are never reported. A pid reused within one
// poll interval goes unnoticed. At most kProcessWatchCapacity processes are
// tracked; beyond that, new ones are not reported.
struct ProcessLaunchWatch;

enum : size_t { kProcessWatchCapacity = 65536 };

// Creates a watch that knows every process running now. *watch must be NULL
// on entry; it is set exactly when the status is 0. Returns 0, ENOMEM, or the
// errno of reading /proc.
OSStatus ProcessLaunchWatchCreate(ProcessLaunchWatch** watch);

// Waits for the next launched process and stores it in *launched. With a
// timeout of -1 it waits for good; otherwise it returns ETIMEDOUT after about
// timeoutMs milliseconds. Returns the errno of reading /proc when a poll
// fails, but only for the first of a run of failing polls; the watch stays
// usable. One thread at a time per watch.
OSStatus ProcessLaunchWatchNext(ProcessLaunchWatch* watch, ProcessSerialNumber* launched, int timeoutMs);

// Frees the watch; NULL is accepted.
void ProcessLaunchWatchDispose(ProcessLaunchWatch* watch);
