// Shared pieces of the installation tests: the test bundle with its template
// tool, an install call that runs in a child and reports through standard
// output, and small file helpers.
#pragma once

#include "MoreSecInstall.h"
#include "MoreUNIX.h"
#include "SystemTestSupport.h"

#include <CoreFoundation/CFRef.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace installtest {

inline constexpr const char kTemplateName[] = "InstallTemplate";
inline constexpr const char kSubFolder[] = "QuillonTest";
inline constexpr const char kToolName[] = "InstalledTool";

inline std::string TemplatePath() { return std::string(QUILLON_INSTALL_TEST_BUNDLE) + "/" + kTemplateName; }

inline CFRef<CFStringRef> String(const char* text) {
  return CFRef<CFStringRef>(text != nullptr ? CFStringCreateWithCString(NULL, text, kCFStringEncodingUTF8) : NULL);
}

inline CFRef<CFURLRef> URLOfPath(const std::string& path, bool isDirectory) {
  return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(
      NULL, reinterpret_cast<const UInt8*>(path.c_str()), static_cast<CFIndex>(path.size()), isDirectory));
}

inline std::string PathOfURL(CFURLRef url) {
  char buffer[1024];
  return CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof(buffer)) ? buffer : "";
}

enum class Way { FromBundle, AndCheckBundled };

// For a child: installs (or finds) the tool from the test bundle and prints
// the status and the installed copy's path, one per line. Exits non-zero only
// when the call could not be made at all. The copy writes with MoreUNIXWrite,
// which wants SIGPIPE ignored, as the application's main does.
inline int InstallAndPrint(OSType folderType, const char* subFolder, const char* toolName,
                           const char* templateName = kTemplateName, Way way = Way::FromBundle) {
  if (MoreUNIXIgnoreSIGPIPE() != 0) return 91;
  CFRef<CFBundleRef> bundle(CFBundleCreate(NULL, URLOfPath(QUILLON_INSTALL_TEST_BUNDLE, true).get()));
  if (!bundle) return 90;
  CFURLRef tool = NULL;
  OSStatus err = way == Way::FromBundle
                     ? MoreSecCopyHelperToolURLFromBundle(bundle.get(), String(templateName).get(), folderType,
                                                          String(subFolder).get(), String(toolName).get(), &tool)
                     : MoreSecCopyHelperToolURLAndCheckBundled(bundle.get(), String(templateName).get(), folderType,
                                                               String(subFolder).get(), String(toolName).get(), &tool);
  printf("%d\n%s\n", static_cast<int>(err), tool != NULL ? PathOfURL(tool).c_str() : "");
  if (tool != NULL) CFRelease(tool);
  return 0;
}

struct Installed {
  bool ran = false;  // the child ran and printed a status
  OSStatus status = 0;
  std::string path;
};

inline Installed ParseInstalled(const quillon::systest::ChildResult& r) {
  Installed result;
  if (r.ExitCode() != 0) return result;
  std::istringstream lines(r.out);
  std::string status;
  if (!std::getline(lines, status) || status.empty()) return result;
  result.status = static_cast<OSStatus>(strtol(status.c_str(), nullptr, 10));
  std::getline(lines, result.path);
  result.ran = true;
  return result;
}

inline bool ReadFile(const std::string& path, std::string* contents) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  contents->clear();
  char buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof(buffer))) > 0) contents->append(buffer, static_cast<size_t>(got));
  close(fd);
  return got == 0;
}

inline bool WriteFile(const std::string& path, const std::string& contents, mode_t mode = 0644) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd < 0) return false;
  bool ok = write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
  return close(fd) == 0 && ok;
}

// The names in a folder, sorted, without "." and ".."; {"?"} when it cannot be read.
inline std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return {"?"};
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + "/";
  return text;
}

}  // namespace installtest
