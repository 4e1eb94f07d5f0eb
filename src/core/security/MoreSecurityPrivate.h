// Private to the MoreSecurity module: shared by its source files, never
// called from outside it.

#ifndef QUILLON_CORE_SECURITY_MORESECURITYPRIVATE_H
#define QUILLON_CORE_SECURITY_MORESECURITYPRIVATE_H

// Gives the absolute path of the running executable in a new heap string.
// *pathToSelfPtr must be NULL on entry; it is set exactly when the status is 0,
// and the caller then frees it with free(). Returns 0, ENOMEM, -1 when the
// path cannot be found or changed length between the two look-ups, or another
// status of MoreGetExecutablePath.
int GetPathToSelf(char** pathToSelfPtr);

#endif  // QUILLON_CORE_SECURITY_MORESECURITYPRIVATE_H
