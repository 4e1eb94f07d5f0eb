// Paths taken apart and walked one component at a time, through descriptors,
// without ever following a symbolic link. The removal tools act on what they
// find this way, so a link planted in a folder cannot redirect them.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

typedef std::vector<std::string> PathParts;

// Splits an absolute path into its components. Returns false and a short
// English reason in *why when the path is empty, relative, longer than
// PATH_MAX - 1, holds an empty component ("//" or a trailing "/"), a "." or
// ".." component, a component longer than NAME_MAX, or a control byte. The
// root "/" alone has no components and is refused as well.
bool SplitAbsolutePath(std::string_view path, PathParts* parts, const char** why);

// "/" followed by parts[0 .. count) joined with "/".
std::string JoinPath(const PathParts& parts, size_t count);

// True when parts begins with every component of prefix.
bool HasPrefix(const PathParts& parts, const PathParts& prefix);

// Opens the folder at `path` as an anchor for the walks below (O_PATH,
// close-on-exec). The anchor itself is trusted, so symbolic links in `path`
// are followed. *fd must be -1 on entry. Returns 0 or the errno of open.
int OpenAnchor(const char* path, int* fd);

// Opens the folder parts[first .. count) below anchorFd, one component at a
// time with O_NOFOLLOW. Returns 0 with a new O_PATH descriptor in *dirFd (-1
// on entry), or: ELOOP when parts[*failedIndex] is a symbolic link, ENOTDIR
// when it is not a folder, ENOENT when it does not exist, or another errno.
// With first == count the anchor itself is duplicated.
int OpenDirectoryBeneath(int anchorFd, const PathParts& parts, size_t first, size_t count, int* dirFd,
                         size_t* failedIndex);

// As OpenDirectoryBeneath, creating missing folders with `mode` (less the
// umask) on the way; the index of each folder it created is appended to
// *created, in order.
int MakeDirectoryBeneath(int anchorFd, const PathParts& parts, size_t first, size_t count, mode_t mode,
                         std::vector<size_t>* created, int* dirFd, size_t* failedIndex);

// Opens the folder that pathFd (possibly O_PATH) refers to for reading, so
// that it can be listed or flushed. *dirFd must be -1 on entry.
int ReopenDirectory(int pathFd, int* dirFd);

// A folder or file whose owner may be trusted by this process: root or the
// effective user.
bool HasTrustedOwner(const struct stat& st);

}  // namespace quillon
