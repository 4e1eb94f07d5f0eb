// MoreSecurity: switching user IDs, and resetting the process state that a
// set-user-ID tool inherits from whoever started it.
//
// Every routine here acts on the whole process (all threads at once) and
// keeps no state of its own. Statuses are ints: 0 on success, otherwise the
// positive errno value of the failing call, or -1 when the path of the running
// executable cannot be found.

#ifndef QUILLON_CORE_SECURITY_MORESECHYGIENE_H
#define QUILLON_CORE_SECURITY_MORESECHYGIENE_H

#include <stddef.h>
#include <sys/resource.h>

// Makes the effective user ID the real user's (seteuid(getuid())). The saved
// user ID is left alone, so a process started set-user-ID root can come back
// with MoreSecSetPrivilegedEUID. Returns 0 or the errno of seteuid.
int MoreSecTemporarilySetNonPrivilegedEUID(void);

// Makes the effective user ID 0 again (seteuid(0)). Works only while the real
// or saved user ID is 0; otherwise returns EPERM and nothing changes.
int MoreSecSetPrivilegedEUID(void);

// Gives root up for good: real, effective and saved group IDs become the real
// group ID, then real, effective and saved user IDs become the real user ID.
// Works both while acting as root and after MoreSecTemporarilySetNonPrivilegedEUID
// (where a plain setuid() would leave the saved user ID 0 and root within
// reach). Supplementary groups are not touched. Returns 0, or the errno of the
// call that failed; EPERM if, against expectation, a user ID is still different
// afterwards. After success MoreSecSetPrivilegedEUID fails with EPERM unless
// the real user is root.
int MoreSecPermanentlySetNonPrivilegedEUID(void);

// Bits of the flag word of MoreSecDestroyInheritedEnvironment. A set bit keeps
// that piece of inherited state; a flag word of 0 resets everything. 0x002 has
// no step; bits above 0x200 mean nothing.
enum {
  kMoreSecKeepArg0Mask = 0x001,              // argv[0] := path of the executable
  kMoreSecKeepStdDescriptorsMask = 0x004,    // close regular files on 0 to 2
  kMoreSecKeepOtherDescriptorsMask = 0x008,  // close regular files on 3 and up
  kMoreSecKeepSignalStateMask = 0x010,       // default actions, empty mask
  kMoreSecKeepCreationModeMask = 0x020,      // umask 077
  kMoreSecKeepPriorityMask = 0x040,          // nice(0)
  kMoreSecKeepLimitsMask = 0x080,            // kResourceLimits
  kMoreSecKeepWorkingDirMask = 0x100,        // chdir("/")
  kMoreSecKeepTimersMask = 0x200,            // all three interval timers off
};

// One entry of kResourceLimits. The hard limit is applied only when the
// effective user ID is 0 at that moment; otherwise the inherited hard limit is
// kept (and a soft limit above it makes the limit step stop, silently).
struct MoreSecResourceLimit {
  int resource;  // RLIMIT_...
  rlim_t soft;   // RLIM_INFINITY for unlimited
  rlim_t hard;   // RLIM_INFINITY for unlimited
};

enum { kResourceLimitCount = 9 };

// The limits a helper tool runs under, applied in this order.
extern const MoreSecResourceLimit kResourceLimits[kResourceLimitCount];

// Resets, in this order and unless the flag word keeps it: argv[0], regular
// files open on descriptors 0 to 2, regular files open on descriptors from 3
// up, signal actions and mask, umask, scheduling priority, resource limits,
// working directory, interval timers. The environment variables are never
// touched. The first failing step ends the call and its status is returned;
// failures to read or set a resource limit end the limit step silently and do
// not count. Descriptors on anything but regular files (sockets, pipes,
// terminals, directories) stay open.
//
// argv may be NULL only when kMoreSecKeepArg0Mask is set. The new argv[0] is a
// heap string that is never freed; the old one is neither freed nor changed.
// An empty argument vector (argv[0] == NULL, as after an exec with argc 0) is
// refused with EINVAL, and no step runs, when argv[0] is to be replaced:
// storing a path there would remove the vector's terminator.
//
// Call once, early, before other threads exist and before opening files or
// installing handlers. Every signal gets its default action back, so a caller
// that relies on SIGPIPE being ignored must ignore it again afterwards.
int MoreSecDestroyInheritedEnvironment(int whatToDubya, char* argv[]);

#endif  // QUILLON_CORE_SECURITY_MORESECHYGIENE_H
