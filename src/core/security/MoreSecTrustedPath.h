// Reaching a folder by a path that nobody else can redirect: a walk from "/"
// one folder at a time, never through a symbolic link, that trusts a folder
// only when nobody but root and one given user can change what it holds.
//
// Root must not run, and a set-user-ID tool must not be installed into,
// anything that another user could swap: a folder that others may write to
// lets them rename their own file onto any name in it, and a symbolic link
// anywhere on the way lets whoever owns it point the rest of the path
// elsewhere.
#ifndef QUILLON_CORE_SECURITY_MORESECTRUSTEDPATH_H
#define QUILLON_CORE_SECURITY_MORESECTRUSTEDPATH_H

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

// Why a walk refused a path: the path up to the part at fault, and what is
// wrong with it ("is a symbolic link", ...), so that a caller can log
// "<where> <why>".
struct MoreSecPathRefusal {
  std::string where;
  const char* why = "";
};

// Whether `st` is something nobody but root and `user` can change: owned by
// root or by `user`, and not writable by its group or others. The one
// exception is a folder owned by root with the sticky bit (/tmp, /var/tmp):
// others may add entries to it but cannot rename or remove root's or the
// user's. On false, *why (when not NULL) says what is wrong.
bool MoreSecIsTrustedItem(const struct stat& st, uid_t user, const char** why);

// Opens the folder at the absolute `path` by walking from "/" one component
// at a time (openat with O_NOFOLLOW on the folder reached so far; the path
// is never resolved by name as a whole). "/" and every folder on the way,
// the last one included, must pass MoreSecIsTrustedItem for `user`.
//
// On 0, *folderFd (-1 on entry) is an O_PATH descriptor of the folder, and
// *parentFd (-1 on entry; may be NULL) one of the folder that holds it (of
// "/" itself for "/"); both close-on-exec and the caller's. Otherwise
// nothing is left open, *refusal says where and why, and the status is:
// EINVAL for a path that is not absolute or has an empty, "." or ".."
// component; ENAMETOOLONG; ELOOP for a symbolic link on the way; ENOTDIR for
// something else that is not a folder; EPERM for a folder that fails the
// test; or the errno of openat or fstat (ENOENT, EACCES, ...).
int MoreSecOpenTrustedFolder(const char* path, uid_t user, int* folderFd, int* parentFd,
                             MoreSecPathRefusal* refusal);

// True for the statuses of MoreSecOpenTrustedFolder that are refusals of
// the path itself (EINVAL, ELOOP, ENOTDIR, EPERM), false for 0 and for
// failures to look (ENOENT, EACCES, EIO, ...).
bool MoreSecIsPathRefusal(int err);

#endif  // QUILLON_CORE_SECURITY_MORESECTRUSTEDPATH_H
