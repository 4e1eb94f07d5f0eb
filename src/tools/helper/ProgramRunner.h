// Runs a program as a clean child process, for a caller that may hold root
// privileges and trusts nothing it inherited.
//
// The program is named by a descriptor that the caller opened (see
// OpenProgramForRunning) and is executed through that descriptor, so the path
// cannot be swapped between the checks and the exec. The child starts from a
// known state whatever the caller inherited:
//   - standard input /dev/null; standard output and standard error one pipe,
//     read by the caller; no other descriptor, except that a "#!" script
//     keeps its own text open at descriptor 3, because the kernel hands it to
//     the interpreter as /dev/fd/3 (a script may close it first thing:
//     "exec 3<&-"), and an optional folder descriptor at 5;
//   - exactly the environment given, nothing else;
//   - optionally, fully root: real, effective and saved user and group IDs 0
//     and no supplementary groups (the caller only needs root as its saved
//     user ID);
//   - a session of its own (no controlling terminal), working folder "/",
//     umask 022, every signal at its default action and none blocked, and
//     the resource limits of a fresh login (kChildResourceLimits) as far as
//     the kernel lets it raise them (a root without CAP_SYS_RESOURCE cannot
//     raise a hard limit; the soft one then goes up to it), core files off.
#pragma once

#include "MoreSecTrustedPath.h"

#include <stddef.h>
#include <sys/types.h>

#include <string>

// The descriptor number at which a program keeps the folder given to
// RunProgram; it reaches that folder as /proc/self/fd/5.
enum { kRunProgramFolderFd = 5 };

// Opens the program at `path` for RunProgram through one pinned walk from "/"
// (MoreSecOpenTrustedFolder): the path must be absolute and free of empty,
// "." and ".." components; no component may be a symbolic link; every folder
// on the way, and the file itself, must be owned by root or `user` and not
// writable by group or others (a folder owned by root with the sticky bit
// excepted); the file must be a regular file with an execute bit. A caller
// that runs the program as root passes 0 for `user`: root alone.
//
// *programFd must be -1 on entry and receives a close-on-exec descriptor,
// owned by the caller, when 0 is returned. When outerFolderFd is not NULL
// (-1 on entry) it receives, with it, an O_PATH descriptor of the folder
// that holds the program's folder, as the walk found it (for a script in a
// bundle's Resources folder: the bundle). Otherwise nothing is left open,
// *refusal names the part at fault and why (`why` is "" when the errno says
// it all), and the status is: EINVAL for a malformed path, ELOOP for a
// symbolic link, ENOTDIR for a component that is not a folder, EACCES for
// something that is not an executable regular file, EPERM for a file or
// folder that someone other than root and `user` owns or may change, or the
// errno of openat or fstat (ENOENT, ...).
int OpenProgramForRunning(const char* path, uid_t user, int* programFd, int* outerFolderFd,
                          MoreSecPathRefusal* refusal);

// Makes sure that the process's resource limits let a program run as root
// to its end: RLIMIT_FSIZE and RLIMIT_CPU unlimited, RLIMIT_NOFILE at least
// 1024, RLIMIT_NPROC at least 256 (kRequiredLimits). A soft limit below that
// is raised, and a hard one too, which takes root (an effective or saved
// user ID of 0) with CAP_SYS_RESOURCE; the effective user ID is back as it
// was on return. Returns 0, or the errno of the first limit that cannot be
// raised, with *refusal saying which limit, its value and why. Children
// inherit the limits. Not thread-safe: the effective user ID is the whole
// process's.
int RaiseLimitsForRunning(std::string* refusal);

// Runs the program open at programFd (as from OpenProgramForRunning; it stays
// open and the caller's) with the argument vector argv (argv[0] not NULL) and
// the complete environment envp, both NULL-terminated, and waits for it.
// folderFd is -1 or a folder descriptor (the caller's) that the program finds
// open at kRunProgramFolderFd, and so does everything it starts.
// Everything the program and its descendants write to standard output and
// standard error is collected in *output up to outputLimit bytes: when there
// is more, *output holds the first outputLimit - outputLimit / 2 bytes and
// the last outputLimit / 2, and the *droppedBytes between them are read and
// dropped; after a further 64 MiB the pipe is closed so that an endless
// writer gets EPIPE instead of holding the caller for ever. Reading ends
// when every writer has closed the pipe.
//
// With asRoot the child takes root (which needs a saved or effective user ID
// of 0) before anything else; without it the child keeps the caller's IDs.
//
// Returns 0 when the program ran, with its wait status in *waitStatus; or the
// errno of whatever failed before the program started (pipe, fork, taking
// root, the exec itself, ...), with whatever output there was. A SIGCHLD that
// the caller ignores is set to the default for the duration, so the child is
// not reaped behind this routine's back. Not thread-safe: it forks and changes
// the process's signal mask and SIGCHLD action for the duration.
int RunProgram(int programFd, int folderFd, const char* const argv[], const char* const envp[], bool asRoot,
               size_t outputLimit, std::string* output, size_t* droppedBytes, int* waitStatus);
