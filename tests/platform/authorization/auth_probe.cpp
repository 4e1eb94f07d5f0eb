// A tiny program that the authorization tests run through pkexec, or as a
// set-user-ID root copy, to report what it sees.
//
//   auth_probe report [args...]  on fd 1 (the channel): its pid (4 bytes,
//       host order), real and effective user ID (4 bytes each), the status of
//       AuthorizationCopyPrivilegedReference (4 bytes), then the length
//       (4 bytes) and bytes of its arguments after "report",
//       joined with '\n'; then reads fd 0 to its end and exits 0. It says
//       "auth_probe: started" on standard error before its first byte and
//       "auth_probe: input read" after its input
//   auth_probe silent CODE       exits with CODE without writing
//   auth_probe privref           prints the status of
//                                AuthorizationCopyPrivilegedReference
//   auth_probe rights ACTION I   prints the status of AuthorizationCopyRights
//                                for ACTION, with interaction when I is 1
//   auth_probe rights-as-user ACTION I
//                                the same after setting the effective user ID
//                                to the real one, as the helper tool's command
//                                runs (a set-user-ID copy keeps saved ID 0)
#include <Authorization.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool WriteAll(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = write(fd, p, length);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

int Report(int argc, char** argv) {
  AuthorizationRef ref = NULL;
  OSStatus privileged = AuthorizationCopyPrivilegedReference(&ref, kAuthorizationFlagDefaults);
  if (privileged == errAuthorizationSuccess) AuthorizationFree(ref, kAuthorizationFlagDefaults);
  int32_t header[4] = {static_cast<int32_t>(getpid()), static_cast<int32_t>(getuid()),
                       static_cast<int32_t>(geteuid()), privileged};
  std::string joined;
  for (int i = 2; i < argc; i++) joined += std::string(i > 2 ? "\n" : "") + argv[i];
  uint32_t length = static_cast<uint32_t>(joined.size());
  static const char kStarted[] = "auth_probe: started\n";
  static const char kInputRead[] = "auth_probe: input read\n";
  if (!WriteAll(2, kStarted, sizeof kStarted - 1)) return 3;
  if (!WriteAll(1, header, sizeof(header)) || !WriteAll(1, &length, sizeof(length)) ||
      !WriteAll(1, joined.data(), joined.size())) {
    return 3;
  }
  char buf[256];
  while (read(0, buf, sizeof(buf)) > 0) {
  }
  return WriteAll(2, kInputRead, sizeof kInputRead - 1) ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "report") == 0) return Report(argc, argv);
  if (argc == 3 && strcmp(argv[1], "silent") == 0) return atoi(argv[2]);
  if (argc == 2 && strcmp(argv[1], "privref") == 0) {
    AuthorizationRef ref = NULL;
    OSStatus err = AuthorizationCopyPrivilegedReference(&ref, kAuthorizationFlagDefaults);
    printf("%d\n", static_cast<int>(err));
    if (err == errAuthorizationSuccess) AuthorizationFree(ref, kAuthorizationFlagDefaults);
    return 0;
  }
  if (argc == 4 && (strcmp(argv[1], "rights") == 0 || strcmp(argv[1], "rights-as-user") == 0)) {
    if (strcmp(argv[1], "rights-as-user") == 0 && seteuid(getuid()) != 0) return 4;
    AuthorizationRef ref = NULL;
    OSStatus err = AuthorizationCreate(NULL, NULL, kAuthorizationFlagDefaults, &ref);
    if (err == errAuthorizationSuccess) {
      AuthorizationItem item = {argv[2], 0, NULL, 0};
      AuthorizationRights rights = {1, &item};
      AuthorizationFlags flags = kAuthorizationFlagExtendRights;
      if (strcmp(argv[3], "1") == 0) flags |= kAuthorizationFlagInteractionAllowed;
      err = AuthorizationCopyRights(ref, &rights, NULL, flags, NULL);
      AuthorizationFree(ref, kAuthorizationFlagDestroyRights);
    }
    printf("%d\n", static_cast<int>(err));
    return 0;
  }
  fprintf(stderr, "auth_probe: bad arguments\n");
  return 2;
}
