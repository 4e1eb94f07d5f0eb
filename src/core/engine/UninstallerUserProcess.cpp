// The user-level script of one user, started by a root run as that user.
// Everything the child needs (the group list, the environment) was prepared
// by the caller; MoreUNIXSpawn drops to the account and starts it.

#include "UninstallerEngine.h"
#include "UninstallerEnginePrivate.h"

#include "MoreUNIX.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int UninstallerSpawnAsAccount(const char* path, char* const argv[], const UninstallerUserAccount* account, int outFd,
                              pid_t* child) {
  if (path == nullptr || argv == nullptr || account == nullptr || account->home == nullptr ||
      account->home[0] != '/' || account->environment == nullptr || child == nullptr ||
      (account->groupCount > 0 && account->groups == nullptr) || account->groupCount < 0) {
    return EINVAL;
  }
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) return errno;
  const MoreUNIXSpawnDescriptor descriptors[] = {
      {devNull, STDIN_FILENO}, {outFd, STDOUT_FILENO}, {outFd, STDERR_FILENO}};
  const MoreUNIXSpawnUser user = {account->uid, account->gid, account->groups,
                                  static_cast<size_t>(account->groupCount), account->home};
  const MoreUNIXSpawnOptions options = {descriptors, 3, nullptr, 0, &user};
  const int err = MoreUNIXSpawn(path, argv, account->environment, &options, child);
  (void) close(devNull);
  return err;
}
