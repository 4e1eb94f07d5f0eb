// Private to the MoreSecurity module: shared by its source files, never
// called from outside it.

#ifndef QUILLON_CORE_SECURITY_MORESECURITYPRIVATE_H
#define QUILLON_CORE_SECURITY_MORESECURITYPRIVATE_H

#include <MacTypes.h>
#include <sys/types.h>

// Gives the absolute path of the running executable in a new heap string.
// *pathToSelfPtr must be NULL on entry; it is set exactly when the status is 0,
// and the caller then frees it with free(). Returns 0, ENOMEM, -1 when the
// path cannot be found or changed length between the two look-ups, or another
// status of MoreGetExecutablePath.
int GetPathToSelf(char** pathToSelfPtr);

// For the helper tool's repair, once it has made the file open on |fd|
// root's and set-user-ID: a file that has more than one name by then (a hard
// link made while it was still the user's) must not stay so under the other
// name. Its set-user-ID bit is taken away again through the mode or, should
// that fail, by giving the file back to |formerOwner|, which clears the bit
// too. Returns 0 for a file with one name and EPERM otherwise.
OSStatus RevokeRepairOfLinkedFile(int fd, uid_t formerOwner);

#endif  // QUILLON_CORE_SECURITY_MORESECURITYPRIVATE_H
