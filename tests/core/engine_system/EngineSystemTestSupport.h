// Shared pieces of the engine's system tests: bundles of the test's own
// making, the engine run in a child process with its result reported on
// standard output, the diagnostics and failure texts it must produce, and
// the request frames and responses of a helper tool run by hand.
//
// The engine always runs in a forked child (RunAsUser): it starts a thread
// that may outlive the call, and the test process must stay single-threaded
// for the forks that follow.
#pragma once

#include "MoreSecInstalledTool.h"
#include "MoreSecProtocol.h"
#include "MoreSecProtocolPrivate.h"
#include "MoreUNIX.h"
#include "ProductTestSupport.h"
#include "SystemTestSupport.h"
#include "UninstallerEngine.h"

#include <Authorization.h>
#include <CoreFoundation/CFRef.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::enginetest {

using namespace quillon::producttest;
namespace sys = quillon::systest;

inline std::string RealHelperTool() { return BundlePath("UninstallerHelper"); }
inline std::string EchoHelperTool() { return REQUEST_ECHO_HELPER; }

// "Uninstaller error:..." as the engine prints it for `status` at `line`.
inline std::string Diagnostic(long status, int line) {
  char text[1024];
  snprintf(text, sizeof text, "Uninstaller error:%ld (%lX) line:%d file:%s function:UninstallerEngine\n", status,
           static_cast<unsigned long>(static_cast<uint32_t>(status)), line,
           QUILLON_SOURCE_ROOT "/src/core/engine/UninstallerEngine.cpp");
  return text;
}

inline std::string FailureText(int status) {
  char text[128];
  snprintf(text, sizeof text, "Uninstaller failed with error %d (0x%08x)", status, static_cast<unsigned>(status));
  return text;
}

// Every engine diagnostic in `text`, each with its newline. They are found
// wherever they start: other modules' diagnostics end without a newline.
inline std::vector<std::string> EngineDiagnostics(const std::string& text) {
  std::vector<std::string> found;
  for (size_t at = text.find("Uninstaller error:"); at != std::string::npos;
       at = text.find("Uninstaller error:", at + 1)) {
    size_t end = text.find('\n', at);
    found.push_back(end == std::string::npos ? text.substr(at) : text.substr(at, end + 1 - at));
  }
  return found;
}

// A bundle in `folder`: a copy of `helper` as its UninstallerHelper and an
// empty Resources folder; scripts and tools are added with AddFile. Every
// part is owned by root and mode 0755, as an installed bundle would be.
inline bool MakeBundle(const std::string& folder, const std::string& helper) {
  if (MoreUNIXIgnoreSIGPIPE() != 0) return false;  // the copy asks for it
  if (!MakeDirs(folder + "/Resources")) return false;
  std::string tool = folder + "/UninstallerHelper";
  return MoreUNIXCopyFile(helper.c_str(), tool.c_str()) == 0 && chmod(tool.c_str(), 0755) == 0 &&
         chmod(folder.c_str(), 0755) == 0 && chmod((folder + "/Resources").c_str(), 0755) == 0;
}

// A shell script (body after "#!/bin/sh\n") at `path`.
inline bool WriteScript(const std::string& path, const std::string& body) {
  return WriteFile(path, "#!/bin/sh\n" + body, 0755);
}

// A user script that prints how it was called: "user script: N [arg]...".
inline const char* const kReportingUserScript =
    "printf 'user script: %d' \"$#\"\n"
    "for a in \"$@\"; do printf ' [%s]' \"$a\"; done\n"
    "echo\n";

using quillon::systest::MountOverlays;

// In the child's private mount namespace, the uninstall right's polkit
// action names `tool` as the installed helper tool, as installing a bundle
// there would: the root side then runs that bundle's programs and no
// other's. polkitd outside the namespace does not see it, so pkexec asks
// its generic action for that path.
inline void InstalledAt(const std::string& tool, sys::ChildOptions* options) {
  options->privateMountNamespace = true;
  std::function<bool(std::string*)> before = options->rootSetup;
  options->rootSetup = [before, tool](std::string* error) {
    if (before && !before(error)) return false;
    const std::string actions = "/usr/share/polkit-1/actions";
    if (!quillon::systest::MountTmpfs(actions, 0, "mode=0755", error)) return false;
    if (!WriteFile(kMoreSecHelperPolicyPath,
                   "<annotate key=\"org.freedesktop.policykit.exec.path\">" + tool + "</annotate>\n", 0644)) {
      *error = "cannot write the polkit action";
      return false;
    }
    return true;
  };
}

// Where the install puts the bundle by default.
inline const char kDefaultBundle[] = "/usr/local/lib/quillon-uninstaller/Uninstaller.bundle";

// polkitd knows the uninstall right's action with its exec.path annotation
// for the default install (as the install, or scripts/ci/start-services.sh,
// puts it in place).
inline bool ActionNamesTheInstalledTool(std::string* error) {
  const std::string annotation =
      std::string("policykit.exec.path\">") + kDefaultBundle + "/UninstallerHelper</annotate>";
  if (ReadFile(kMoreSecHelperPolicyPath).find(annotation) == std::string::npos &&
      !WriteFile(kMoreSecHelperPolicyPath,
                 ReadFile(QUILLON_SOURCE_ROOT "/src/platform/authorization/com.quillon.uninstaller.policy"), 0644)) {
    *error = std::string("cannot write ") + kMoreSecHelperPolicyPath;
    return false;
  }
  for (int i = 0; i < 100; i++) {
    sys::ChildResult shown = sys::RunProgramAsUser(
        nullptr, {"/usr/bin/pkaction", "--action-id", kQuillonUninstallRight, "--verbose"});
    if (shown.out.find(std::string(kDefaultBundle) + "/UninstallerHelper") != std::string::npos) return true;
    usleep(100 * 1000);
  }
  *error = "polkitd does not show the exec.path annotation";
  return false;
}

// ---------------------------------------------------------------- engine

// Child side: runs the engine (with `options`, if any) with the main bundle at `bundle` and writes
// "ENGINE-STATUS <status>\nENGINE-LOG <bytes>\n<log>" on standard output.
inline OSStatus RunEngine(const std::string& bundle, Boolean removeMidiDevices, std::string* log,
                          const UninstallerEngineOptions* options = NULL) {
  (void) MoreUNIXIgnoreSIGPIPE();  // as the application's main does
  CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
      NULL, reinterpret_cast<const UInt8*>(bundle.c_str()), static_cast<CFIndex>(bundle.size()), true));
  _CFBundleSetMainBundleURLForTesting(url.get());
  CFStringRef logString = NULL;
  OSStatus status = UninstallerEngineWithOptions(&logString, removeMidiDevices, options);
  log->clear();
  if (logString != NULL) {
    CFIndex length = CFStringGetLength(logString);
    CFIndex used = 0;
    CFStringGetBytes(logString, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, NULL, 0, &used);
    log->assign(static_cast<size_t>(used), '\0');
    CFStringGetBytes(logString, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                     reinterpret_cast<UInt8*>(log->data()), used, NULL);
    CFRelease(logString);
  } else {
    *log = "<no log>";
  }
  printf("ENGINE-STATUS %d\nENGINE-LOG %zu\n", static_cast<int>(status), log->size());
  fwrite(log->data(), 1, log->size(), stdout);  // the log may hold NUL bytes
  fflush(stdout);
  return status;
}

// Parent side: what RunEngine reported.
struct EngineRun {
  bool reported = false;
  OSStatus status = 0;
  std::string log;
  std::string rest;  // anything the child printed after the log
};

inline EngineRun ParseEngineRun(const std::string& out) {
  EngineRun run;
  size_t at = out.find("ENGINE-STATUS ");
  if (at == std::string::npos) return run;
  int status = 0;
  size_t length = 0;
  int consumed = 0;
  if (sscanf(out.c_str() + at, "ENGINE-STATUS %d\nENGINE-LOG %zu\n%n", &status, &length, &consumed) != 2 ||
      consumed == 0 || at + static_cast<size_t>(consumed) + length > out.size()) {
    return run;
  }
  run.reported = true;
  run.status = status;
  run.log = out.substr(at + static_cast<size_t>(consumed), length);
  run.rest = out.substr(at + static_cast<size_t>(consumed) + length);
  return run;
}

// Child side: checks whose failures go to standard output as "FAIL: ...".
class ChildChecks {
 public:
  void Expect(bool condition, const std::string& what) {
    if (!condition) {
      printf("FAIL: %s\n", what.c_str());
      fflush(stdout);
      fFailures++;
    }
  }
  int ExitCode() const { return fFailures == 0 ? 0 : 1; }

 private:
  int fFailures = 0;
};

// ---------------------------------------------------------------- tool

inline std::string FrameOf(CFDictionaryRef dict) {
  CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(NULL, dict));
  SInt32 length = static_cast<SInt32>(CFDataGetLength(xml.get()));
  std::string frame(reinterpret_cast<const char*>(&length), sizeof(length));
  frame.append(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.get())), static_cast<size_t>(length));
  return frame;
}

inline std::string RandomBytes(size_t count) {
  std::random_device device;
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(device() & 0xFF);
  return bytes;
}

inline CFRef<CFStringRef> MakeString(const std::string& text) {
  return CFRef<CFStringRef>(CFStringCreateWithBytes(NULL, reinterpret_cast<const UInt8*>(text.data()),
                                                    static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

// The request of the uninstall command with "CommandPath" alone.
inline CFRef<CFDictionaryRef> CommandRequest(const std::string& commandPath) {
  CFRef<CFMutableDictionaryRef> request(
      CFDictionaryCreateMutable(NULL, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  CFDictionarySetValue(request.get(), CFSTR("CommandPath"), MakeString(commandPath).get());
  return CFRef<CFDictionaryRef>(request.release());
}

// A helper tool's answer, read from what it wrote on standard output.
struct ToolAnswer {
  bool parsed = false;
  OSStatus error = 0;  // the response's error number
  std::string log;     // its "QLUninstallLog"
};

inline ToolAnswer ParseToolAnswer(const std::string& out) {
  ToolAnswer answer;
  int fds[2];
  if (out.size() > (1u << 20) + 4 || pipe(fds) != 0) return answer;
  bool written = write(fds[1], out.data(), out.size()) == static_cast<ssize_t>(out.size());
  close(fds[1]);
  CFDictionaryRef response = NULL;
  if (written && CopyDictionaryFromDescriptor(fds[0], &response) == noErr) {
    answer.parsed = true;
    CFTypeRef number = CFDictionaryGetValue(response, kMoreSecErrorNumberKey);
    SInt32 error = -1;
    if (number != NULL && CFGetTypeID(number) == CFNumberGetTypeID()) {
      CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt32Type, &error);
    }
    answer.error = error;
    CFTypeRef log = CFDictionaryGetValue(response, CFSTR("QLUninstallLog"));
    if (log != NULL && CFGetTypeID(log) == CFStringGetTypeID()) {
      char buffer[256 * 1024];
      if (CFStringGetCString(static_cast<CFStringRef>(log), buffer, sizeof buffer, kCFStringEncodingUTF8)) {
        answer.log = buffer;
      }
    }
    CFRelease(response);
  }
  close(fds[0]);
  return answer;
}

// Runs `argv` as `user` with `input` on its standard input.
inline sys::ChildResult RunToolWithInput(const sys::TestUser* user, const std::vector<std::string>& argv,
                                         const std::string& input, sys::ChildOptions options) {
  char name[] = "/tmp/quillon-engine-input-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) return sys::ChildResult();
  unlink(name);
  bool written = write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size());
  lseek(fd, 0, SEEK_SET);
  options.stdinFd = fd;
  sys::ChildResult result = written ? sys::RunProgramAsUser(user, argv, options) : sys::ChildResult();
  close(fd);
  return result;
}

}  // namespace quillon::enginetest
