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
//     "exec 3<&-");
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

#include <stddef.h>

#include <string>

// Opens the program at `path` for RunProgram. The path must be absolute and
// free of empty, "." and ".." components; the file must be a regular file,
// must not itself be a symbolic link (it is opened with O_NOFOLLOW), must have
// an execute bit and must not be writable by group or others. *programFd must be -1
// on entry and receives a close-on-exec descriptor, owned by the caller, when
// 0 is returned. Otherwise the status is: EINVAL for a malformed path, ELOOP
// for a symbolic link, EACCES for something that is not an executable regular
// file, EPERM for a file others may change, or the errno of open.
int OpenProgramForRunning(const char* path, int* programFd);

// Runs the program open at programFd (as from OpenProgramForRunning; it stays
// open and the caller's) with the argument vector argv (argv[0] not NULL) and
// the complete environment envp, both NULL-terminated, and waits for it.
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
int RunProgram(int programFd, const char* const argv[], const char* const envp[], bool asRoot, size_t outputLimit,
               std::string* output, size_t* droppedBytes, int* waitStatus);
