// Finding, checking and installing the helper tool, and the folder tests that
// decide whether a folder can hold a set-user-ID root file.
#ifndef QUILLON_CORE_SECURITY_MORESECINSTALL_H
#define QUILLON_CORE_SECURITY_MORESECINSTALL_H

#include <CoreFoundation/CoreFoundation.h>
#include <Folders.h>
#include <MacTypes.h>

enum : OSStatus {
  // The folder's volume ignores ownership or set-user-ID, or someone other
  // than root and the user could change the folder or the tool's subfolder:
  // a set-user-ID root tool cannot work there, or not safely. The caller may
  // try another folder type.
  kMoreSecFolderInappropriateErr = 5370,
  // Added to the errno of a failed chown in the ownership experiment.
  kMoreSecChownErrBase = 9800,
};

// Answers, by experiment, whether the volume of |folder| ignores ownership:
// creates a test file, and if it shows group 99 tries to give it group 20 and
// looks whether that stuck. The test file is always deleted again. A chown
// refused with EPERM means the volume enforces ownership (false). On failure
// *ignoringOwnership is left as it was.
OSStatus MoreSecIsFolderIgnoringOwnership(const FSRef* folder, Boolean* ignoringOwnership);

// Answers whether the volume of |folder| is mounted without set-user-ID.
OSStatus MoreSecIsFolderIgnoringSetUID(const FSRef* folder, Boolean* ignoringSetUID);

// Installs, or keeps, the helper tool in the current user's folder of type
// |folderType| (and |subFolderName| in it, created mode 0700 when missing;
// may be NULL), copying the bundle's auxiliary executable |templateToolName|.
// The folder and the subfolder must each be reached from "/" through folders
// that only root and the user can change, without a symbolic link, and be
// the user's, writable by nobody else; otherwise 5370, as when the folder's
// volume ignores ownership or set-user-ID. A copy that is owned by root, has
// mode 04555 and the template's size and modification time stays untouched;
// anything else at that place (looked at without following a link) is
// removed and a fresh copy created exclusively, relative to the pinned
// subfolder, with the template's permission bits less group and other write.
// On 0, *tool (NULL on entry) is the installed copy's URL, owned by the
// caller.
OSStatus MoreSecCopyHelperToolURLFromBundle(CFBundleRef inBundle, CFStringRef templateToolName, OSType folderType,
                                            CFStringRef subFolderName, CFStringRef toolName, CFURLRef* tool);

// As MoreSecCopyHelperToolURLAndCheck, with the template from the bundle.
OSStatus MoreSecCopyHelperToolURLAndCheckBundled(CFBundleRef inBundle, CFStringRef templateToolName,
                                                 OSType folderType, CFStringRef subFolderName, CFStringRef toolName,
                                                 CFURLRef* tool);

// Looks for an acceptable installed copy in the user, local, network and
// system folders of |folderType|, then in the user's temporary folder, and
// installs one in the user's folder of |folderType| only when none is found.
OSStatus MoreSecCopyHelperToolURLAndCheck(CFURLRef templateTool, OSType folderType, CFStringRef subFolderName,
                                          CFStringRef toolName, CFURLRef* tool);

#endif  // QUILLON_CORE_SECURITY_MORESECINSTALL_H
