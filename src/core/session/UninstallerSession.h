// What a front end of the uninstaller does around one engine call, free of
// any window system: find out what is installed, and hold the per-user lock.
#pragma once

#include <MacTypes.h>

#include <sys/stat.h>

#include <string>

// ---- What is installed -----------------------------------------------------------

enum : unsigned {
  kUninstallerNothingInstalled = 0,
  kUninstallerSystemPart = 1u << 0,  // the root part's receipts exist
  kUninstallerUserPart = 1u << 1,    // the user part's receipts exist
};

// Which parts of the product are there, or partly there: the folder that
// holds |systemReceipts| (/var/lib/quillon) for the system part, the one that
// holds |userReceipts| for the user part. The installer makes it for the
// receipts and the removal takes it away after the last receipt, so an
// uninstall cut off at any point is found here and done again. A folder that
// cannot be looked at counts as there: only the removal, as root, can tell.
unsigned UninstallerInstalledPartsIn(const std::string& systemReceipts, const std::string& userReceipts);
// The same for this machine and the user running us.
unsigned UninstallerInstalledParts();

// The user's home folder: $HOME when it is an absolute path, else the
// password database's; empty when there is none.
std::string UninstallerHomeFolder();

// $XDG_STATE_HOME/quillon, or ~/.local/state/quillon; empty without a home.
std::string UninstallerStateFolder();

// Makes |folder| (an absolute path) and its missing parents, mode 0700.
// Returns 0 or an errno.
int UninstallerMakeFolders(const std::string& folder);

// Opens (creating, mode 0600, with its folders) a file of our own at |path|,
// an absolute path: never through a link, and only a regular file that this
// user owns, so a name someone else planted is refused with EPERM. Adds
// |flags| to O_CREAT | O_NOFOLLOW | O_CLOEXEC. On success *fd is open and
// |info| describes it. Returns 0 or an errno.
int UninstallerOpenOwnFile(const std::string& path, int flags, int* fd, struct stat* info);

// ---- One uninstaller at a time ----------------------------------------------------

// The per-user lock file: quillon-uninstaller.lock in $XDG_RUNTIME_DIR when
// that is an absolute path to a folder of the user's own that only the user
// may enter, else in UninstallerStateFolder().
std::string UninstallerUserLockPath();

// Takes the lock at |path| (flock, exclusive, without waiting), making the
// file and its folder (mode 0700) as needed. *fd must be -1 on entry and
// receives the open, locked, close-on-exec descriptor on 0; closing it
// releases the lock. EWOULDBLOCK when another process holds it; ELOOP or
// EPERM when the name is a symbolic link or not the user's own regular file;
// else an errno.
int UninstallerLockAcquire(const std::string& path, int* fd);

// Releases a lock taken with UninstallerLockAcquire; -1 does nothing.
void UninstallerLockRelease(int fd);
