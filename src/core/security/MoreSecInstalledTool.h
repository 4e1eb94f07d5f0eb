// Where the installed helper tool is, as the one file that both sides of the
// privilege boundary trust says: the polkit action of the uninstall right.
//
// Its annotation org.freedesktop.policykit.exec.path names the tool that
// pkexec may run as root under that action (and with its message), and the
// installer writes it when it installs the bundle. The file lies in a folder
// only root can change, so the path it names is no user's input: the user's
// side runs pkexec on exactly that path, and the root side accepts only that
// bundle's own programs.
#ifndef QUILLON_CORE_SECURITY_MORESECINSTALLEDTOOL_H
#define QUILLON_CORE_SECURITY_MORESECINSTALLEDTOOL_H

#include "MoreSecTrustedPath.h"

#include <string>

// The installed action file of the uninstall right.
inline constexpr char kMoreSecHelperPolicyPath[] = "/usr/share/polkit-1/actions/com.quillon.uninstaller.policy";

// Reads the file at the absolute |policyPath| through the pinned walk (every
// folder, and the file itself, root's alone; no symbolic link) and gives the
// path of its exec.path annotation in *toolPath: absolute, clean (no empty,
// "." or ".." component), without control characters, shorter than
// PATH_MAX. Returns 0; the statuses of MoreSecOpenTrustedFolder for the walk
// and the file; EFBIG for a file over 64 KiB; ENOENT (with *refusal saying
// so) when the file holds no such annotation; EINVAL for one that is not a
// clean absolute path.
int MoreSecCopyInstalledToolPath(const char* policyPath, std::string* toolPath, MoreSecPathRefusal* refusal);

// The folder that holds the installed tool: its bundle.
std::string MoreSecBundleOfInstalledTool(const std::string& toolPath);

#endif  // QUILLON_CORE_SECURITY_MORESECINSTALLEDTOOL_H
