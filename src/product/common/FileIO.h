// Whole small files read and replaced through a folder descriptor: never
// through a symbolic link, never blocking on a FIFO, and replaced atomically.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace quillon {

// Reads the whole regular file `name` in the folder dirFd (which may be an
// O_PATH descriptor). Returns 0 with the bytes in *content and the file's
// status in *st; ELOOP when `name` is a symbolic link, EINVAL when it is not a
// regular file, EFBIG when it holds more than `limit` bytes (nothing is
// returned then), or the errno of open or read.
int ReadFileAt(int dirFd, const char* name, size_t limit, std::string* content, struct stat* st);

// Replaces `name` in dirFd with `content`: a new file is made beside it,
// named ".<name>.quillon-" and eight random letters or digits and held
// locked (flock) while it lives, written in full, given mode & 07777 and the
// owner uid:gid, flushed to disk and renamed over `name`; then the folder is
// flushed. Readers see either the old or the new file, never a mix, even
// after a power cut. Stale new files of `name` that an interrupted rewrite
// left behind are removed first (RemoveStaleTemporaries).
// When `expected` is not NULL, `name` must still be the file that *expected
// describes (same device, inode, size and modification time) just before the
// rename; otherwise nothing changes and EAGAIN is returned, so a concurrent
// edit is never lost. On any failure the new file is removed again and `name`
// is untouched. Returns 0 or an errno.
int ReplaceFileAt(int dirFd, const char* name, std::string_view content, mode_t mode, uid_t uid, gid_t gid,
                  const struct stat* expected);

// Removes what an interrupted ReplaceFileAt of `name` left in dirFd (which
// may be an O_PATH descriptor), and nothing else: a name that is exactly
// ".<name>.quillon-" and eight lower-case letters or digits, a regular file
// linked once, owned by the effective user or by the owner of `name` itself
// (the new file gets that owner before it is renamed), that no running
// rewrite holds locked. With name == NULL, those of any name. Flushes the
// folder when it removed one. Returns 0 or an errno.
int RemoveStaleTemporaries(int dirFd, const char* name);

// Flushes the folder dirFd (which may be an O_PATH descriptor) to disk, so
// that a removal or a rename in it survives a power cut. Returns 0 or an errno.
int FlushFolder(int dirFd);

// unlinkat(dirFd, name, flags), then FlushFolder(dirFd): when it returns 0,
// the entry is gone for good, and a receipt that lists it may go too.
// Returns 0, the errno of unlinkat, or the errno of the flush.
int RemoveAndFlush(int dirFd, const char* name, int flags);

// True when both describe the same file in the same state.
bool SameFileState(const struct stat& a, const struct stat& b);

// Writes all of `bytes` to fd, repeating after EINTR and short writes.
int WriteAll(int fd, std::string_view bytes);

}  // namespace quillon
