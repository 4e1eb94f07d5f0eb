// MoreUNIX: the small POSIX layer that every part of the uninstaller which talks
// to the kernel leans on.
//
// Conventions shared by every routine below:
//  - A status is an int: 0 on success, otherwise the positive errno value that
//    the kernel reported. MoreGetExecutablePath alone also returns -1.
//  - Interrupted system calls (EINTR) are repeated without limit. Nothing else
//    is retried, nothing has a time-out, and close() is never repeated.
//  - Broken preconditions are programming errors: they are checked with assert(),
//    which is never compiled out, and end the process.
//  - No routine keeps state of its own; all may run on any thread. The only
//    process-wide state touched is the disposition of SIGPIPE.

#ifndef QUILLON_CORE_UNIX_MOREUNIX_H
#define QUILLON_CORE_UNIX_MOREUNIX_H

#include <spawn.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/resource.h>
#include <sys/types.h>

// Turns the result of a POSIX call that reports failure with a negative value
// (normally -1) into a status. Returns 0 for any value of 0 or more without
// looking at errno, so a descriptor returned by open() maps to 0; for a negative
// value returns the calling thread's errno, which must not be 0.
int MoreUNIXErrno(int result);

// Reads exactly |bytesToRead| bytes from the blocking descriptor |fd| into |buf|,
// issuing as many read() calls as the kernel needs. Returns 0 once the buffer is
// full, EPIPE if end of file came first (also at once), or the errno of a failing
// read (EAGAIN on a non-blocking descriptor included). On every outcome, if
// |bytesRead| is not NULL it receives the number of bytes that arrived, so a
// caller learns how far a failed read got. A request for 0 bytes makes no system
// call. Blocks until the count, end of file or an error arrives. Never closes
// |fd|. |fd| must be >= 0 and |buf| non-NULL.
int MoreUNIXRead(int fd, void* buf, size_t bytesToRead, size_t* bytesRead);

// Writes exactly |bytesToWrite| bytes from |buf| to the blocking descriptor |fd|.
// Returns 0 when all went out or the errno of a failing write; a reader that has
// gone away gives EPIPE. On every outcome, if |bytesWritten| is not NULL it
// receives the number of bytes written. SIGPIPE must already be ignored in the
// process (see MoreUNIXIgnoreSIGPIPE): this is checked on every call, a zero-length
// write included, and a process that has not ignored it is stopped by an
// assertion. A write of 0 bytes makes no write call. Never closes |fd|. |fd| must
// be >= 0 and |buf| non-NULL.
int MoreUNIXWrite(int fd, const void* buf, size_t bytesToWrite, size_t* bytesWritten);

// Sets the process-wide disposition of SIGPIPE to "ignore", keeping the mask and
// flags of the current action, so that writing to a vanished reader fails with
// EPIPE instead of ending the process. The setting survives fork and exec.
// Returns 0 or the errno of sigaction, in which case nothing changed. Harmless to
// call again. Not synchronised: call it early in main, before other threads
// exist, and again after anything that resets signal dispositions.
int MoreUNIXIgnoreSIGPIPE(void);

// Makes |attributes| (initialised by the caller with posix_spawnattr_init)
// start the child with no signal blocked and with the default action for
// each of the |count| signals in |signals|. Our own ignored SIGPIPE, above
// all, must not reach a script: exec passes an ignored signal on, and its
// pipelines would meet EPIPE errors instead of ending quietly. Returns 0 or
// the errno of the attribute call that failed.
int MoreUNIXSetSpawnSignalDefaults(posix_spawnattr_t* attributes, const int* signals, size_t count);

// One descriptor handed to a child: our |from| becomes the child's |to|.
struct MoreUNIXSpawnDescriptor {
  int from;
  int to;
};

// The account a child of root runs as, for good: its groups, group ID and
// user ID (real, effective and saved), and the folder it starts in, which
// it enters as that user.
struct MoreUNIXSpawnUser {
  uid_t uid;
  gid_t gid;
  const gid_t* groups;  // the supplementary groups, as initgroups would set them
  size_t groupCount;
  const char* directory;  // absolute
};

// What MoreUNIXSpawn gives the child besides its program, arguments and
// environment.
struct MoreUNIXSpawnOptions {
  // Duplicated in this order (a descriptor given as its own number loses
  // close-on-exec). Without |user| every other descriptor passes as it is,
  // so ours must be close-on-exec.
  const MoreUNIXSpawnDescriptor* descriptors;
  size_t descriptorCount;
  // Started with the default action (MoreUNIXSetSpawnSignalDefaults); at
  // least SIGPIPE wherever the caller has ignored it. No signal is blocked.
  const int* defaultSignals;
  size_t defaultSignalCount;
  // NULL: the child runs as we do. Otherwise (root only) it also leaves our
  // session and terminal (a session of its own, which it leads), keeps no
  // descriptor from 3 on but those duplicated, takes the default action
  // for every signal, and runs as |user|.
  const MoreUNIXSpawnUser* user;
};

// The one way the uninstaller starts a child program: the program at |path|
// (no PATH search) with |argv| and |envp|, as |options| says. Stores its
// process ID in |*child| and returns 0 once the program runs; otherwise
// returns the errno of the step that failed (ENOENT for a missing program),
// leaves |*child| alone and leaves no child behind. |options| may be NULL:
// nothing duplicated, no signal reset beyond an empty mask. Safe to call
// from a process with threads.
int MoreUNIXSpawn(const char* path, char* const argv[], char* const envp[], const MoreUNIXSpawnOptions* options,
                  pid_t* child);

// Who a child set up by MoreUNIXSpawnWithSetup runs as, without |user|.
enum MoreUNIXSpawnCredentials {
  kMoreUNIXSpawnAsIs = 0,
  // Root for good: no supplementary group, user and group IDs 0 (real,
  // effective and saved), checked. For a process that is root or whose
  // saved user ID is 0.
  kMoreUNIXSpawnAsRoot,
  // The real user ID as every user ID: a set-user-ID caller's child keeps
  // nothing of the owner's.
  kMoreUNIXSpawnAsRealUser,
};

// A resource limit a child starts with, set best effort: where the hard
// limit cannot be raised (no CAP_SYS_RESOURCE), the soft one goes as far as
// the hard one allows.
struct MoreUNIXSpawnLimit {
  int resource;
  rlim_t soft;
  rlim_t hard;
};

// What a child may need beyond MoreUNIXSpawnOptions. All zero: nothing more.
// Any of it starts the child with a fork whose child makes system calls only
// until the exec.
struct MoreUNIXSpawnSetup {
  bool newSession;         // a session of its own, which it leads (and so a process group)
  bool closeOthers;        // no descriptor from 3 on survives but those duplicated
  bool defaultAllSignals;  // the default action for every signal, not just |defaultSignals|
  MoreUNIXSpawnCredentials credentials;  // ignored with |user|
  const MoreUNIXSpawnLimit* limits;
  size_t limitCount;
  const char* directory;  // absolute, or NULL; ignored with |user|
  const mode_t* umask;    // NULL: ours
};

// MoreUNIXSpawn with |setup|, which may be NULL, and the program either at
// |path| or, when |path| is NULL, open on our descriptor |programFd| (run
// with fexecve, so that no name is looked up again between a check and the
// exec). A program descriptor also named in a descriptor mapping is run from
// its place in the child, where a script's interpreter finds it; otherwise
// it closes at the exec. However the child fails before the exec, the errno
// comes back here and no child is left behind.
int MoreUNIXSpawnWithSetup(const char* path, int programFd, char* const argv[], char* const envp[],
                           const MoreUNIXSpawnOptions* options, const MoreUNIXSpawnSetup* setup, pid_t* child);

// Sends the descriptor |fdToWrite| over the connected UNIX-domain socket |fd| as
// one message of exactly one data byte ('D') carrying that one descriptor. The
// caller keeps its own copy of |fdToWrite| and closes it when it likes. Returns 0
// when the byte went out, else the errno of sendmsg (EPIPE if the peer has gone;
// no SIGPIPE is raised). Messages from two threads on one socket interleave, so a
// socket carries descriptors from one thread at a time. Both descriptors must be
// >= 0.
int MoreUNIXWriteDescriptor(int fd, int fdToWrite);

// Receives one descriptor sent by MoreUNIXWriteDescriptor from the connected
// UNIX-domain socket |fd|. |*fdRead| must be -1 on entry. Returns 0 and stores the
// new descriptor, owned by the caller and marked close-on-exec, in |*fdRead|.
// Returns EPIPE if the peer closed the socket first, EINVAL for any message that
// is not exactly one 'D' byte with exactly one SOL_SOCKET/SCM_RIGHTS descriptor
// (truncated messages included), or the errno of recvmsg. On every failure
// |*fdRead| stays -1 and every descriptor that came with a rejected message has
// been closed, so nothing leaks into the process. Blocks until a message, an
// error or the peer's close arrives.
int MoreUNIXReadDescriptor(int fd, int* fdRead);

// Copies everything readable from |source| to |dest| in blocks of 65,536 bytes
// through one heap buffer, until |source| reaches end of file (then returns 0).
// Returns ENOMEM if the buffer cannot be allocated (nothing moved), otherwise the
// errno of the first failing read or write; bytes already written stay. Neither
// descriptor is closed or rewound. Writes go through MoreUNIXWrite, so SIGPIPE
// must be ignored. Both descriptors must be >= 0.
int MoreUNIXCopyDescriptorToDescriptor(int source, int dest);

// Copies the file at |source| (symbolic links followed) to the path |dest|: its
// data, its permission bits less set-user-ID, set-group-ID and sticky, and its
// access and modification times truncated to whole microseconds. A new |dest| is
// created with that mode, subject to the umask; an existing regular file is
// truncated and keeps its owner and mode. |dest| itself is never followed if it
// is a symbolic link (ELOOP), and a |dest| that is the source file itself (by
// any name) is refused with EINVAL before anything is written. Returns 0 or the
// errno of the first step that failed, the closing of either file included. On failure |dest| stays as far as
// the copy got and is not removed; a missing source or destination folder leaves
// nothing behind. Not atomic: others may see |dest| while it is written. Both
// paths must be non-NULL.
int MoreUNIXCopyFile(const char* source, const char* dest);

// Gives the absolute path of the running program's executable. |*execPathSize|
// holds the size of |execPath| in bytes on entry. If the path and its NUL fit,
// copies them, stores the needed size (length + 1) in |*execPathSize| and
// returns 0. If they do not fit, stores the needed size and returns -1, so a call
// with size 0 (|execPath| may then be NULL) sizes the buffer for a second call.
// Returns an errno value, leaving |*execPathSize| unchanged, if the path cannot be
// found: ENOENT when the executable has been deleted or lies outside the
// process's view of the file system, ENAMETOOLONG for a path beyond 16 KiB.
// |execPathSize| must be non-NULL.
int MoreGetExecutablePath(char* execPath, uint32_t* execPathSize);

#endif  // QUILLON_CORE_UNIX_MOREUNIX_H
