// The parsing child and root's reading of what it hands over.
//
// Root never runs the property-list reader on the caller's bytes: a child
// that has dropped to the caller's user and group IDs for good (real,
// effective, saved and file system), with no supplementary groups, no
// capabilities, no way to gain privileges and tight limits, reads and parses
// the frame. Whatever that child does, root only reads a bounded flat form
// from a pipe and checks it from scratch.

#include "MoreSecRequestReader.h"

#include "MoreSecProtocolPrivate.h"
#include "MoreUNIX.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <pwd.h>
#include <string>
#include <sys/fsuid.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The child's exit statuses, each a different refusal; only 0 counts.
enum {
  kChildNoCredentials = 10,
  kChildDescriptors,
  kChildDrop,
  kChildDropCheck,
  kChildNoNewPrivs,
  kChildCapabilities,
  kChildLimits,
  kChildFrame,
  kChildWrite,
};

const uid_t kNobodyFallback = 65534;

#if defined(__SANITIZE_ADDRESS__)
#define QUILLON_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLON_ADDRESS_SANITIZER 1
#endif
#endif

// Whom the child becomes: the process that made the channel, as the kernel
// recorded it, unless that is root or cannot be told; then nobody.
void ChooseCredentials(int fdIn, uid_t* uid, gid_t* gid) {
  struct ucred peer = {};
  socklen_t length = sizeof(peer);
  const bool known = getsockopt(fdIn, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof(peer) &&
                     peer.uid != static_cast<uid_t>(-1) && peer.gid != static_cast<gid_t>(-1);
  if (known && peer.uid != 0 && peer.gid != 0) {
    *uid = peer.uid;
    *gid = peer.gid;
    return;
  }
  const struct passwd* nobody = getpwnam("nobody");
  const struct group* nogroup = getgrnam("nogroup");
  const uid_t nobodyUID = (nobody != NULL && nobody->pw_uid != 0) ? nobody->pw_uid : kNobodyFallback;
  const gid_t nogroupGID = (nogroup != NULL && nogroup->gr_gid != 0) ? nogroup->gr_gid : kNobodyFallback;
  // A user whose group is root's keeps the user ID, not the group.
  *uid = (known && peer.uid != 0) ? peer.uid : nobodyUID;
  *gid = nogroupGID;
}

// Closes descriptors |from| to |to|; a kernel without close_range gets one
// close per number below the descriptor limit.
bool CloseRange(unsigned int from, unsigned int to) {
  if (syscall(SYS_close_range, from, to, 0) == 0) return true;
  if (errno != ENOSYS) return false;
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  const rlim_t end = std::min<rlim_t>(limit.rlim_cur == RLIM_INFINITY ? 65536 : limit.rlim_cur, rlim_t{to} + 1);
  for (rlim_t fd = from; fd < end; fd++) (void) close(static_cast<int>(fd));
  return true;
}

// Closes every descriptor but the three kept ones.
bool CloseAllBut(int a, int b, int c) {
  int keep[] = {a, b, c};
  std::sort(keep, keep + 3);
  unsigned int from = 0;
  for (int fd : keep) {
    if (fd < 0 || static_cast<unsigned int>(fd) < from) continue;
    if (static_cast<unsigned int>(fd) > from && !CloseRange(from, static_cast<unsigned int>(fd) - 1)) return false;
    from = static_cast<unsigned int>(fd) + 1;
  }
  return CloseRange(from, ~0U);
}

bool DropForGood(uid_t uid, gid_t gid) {
  // A set-user-ID instance runs with the user's effective ID; the changes
  // below need root's for a moment.
  if (geteuid() != 0 && seteuid(0) != 0) return false;
  if (setgroups(0, NULL) != 0) return false;
  if (setresgid(gid, gid, gid) != 0) return false;
  if (setresuid(uid, uid, uid) != 0) return false;
  return true;
}

bool DroppedForGood(uid_t uid, gid_t gid) {
  uid_t r, e, s;
  gid_t rg, eg, sg;
  if (getresuid(&r, &e, &s) != 0 || r != uid || e != uid || s != uid) return false;
  if (getresgid(&rg, &eg, &sg) != 0 || rg != gid || eg != gid || sg != gid) return false;
  if (getgroups(0, NULL) != 0) return false;
  // setfsuid answers with the former value whatever it does.
  if (static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) != uid) return false;
  if (static_cast<gid_t>(setfsgid(static_cast<gid_t>(-1))) != gid) return false;
  // There must be no way back.
  if (setuid(0) == 0 || seteuid(0) == 0) return false;
  return true;
}

bool HoldsNoCapabilities() {
  struct __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  struct __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  for (const auto& word : data) {
    if (word.effective != 0 || word.permitted != 0) return false;
  }
  return true;
}

bool SetLimit(int resource, rlim_t value) {
  const struct rlimit limit = {value, value};
  return setrlimit(resource, &limit) == 0;
}

bool SetTightLimits() {
  bool ok = SetLimit(RLIMIT_CORE, 0) && SetLimit(RLIMIT_CPU, 5) && SetLimit(RLIMIT_NOFILE, 16) &&
            SetLimit(RLIMIT_NPROC, 0);
#ifndef QUILLON_ADDRESS_SANITIZER
  // The address sanitizer reserves terabytes of shadow memory.
  ok = ok && SetLimit(RLIMIT_AS, rlim_t{64} << 20);
#endif
  return ok;
}

// The child: never returns.
[[noreturn]] void RunParsingChild(int fdIn, int fdForm, const MoreSecRequestSchema& schema,
                                  MoreSecParserProbe probe) {
  uid_t uid;
  gid_t gid;
  ChooseCredentials(fdIn, &uid, &gid);
  if (uid == 0 || gid == 0) {
    // Neither the peer nor the fallback may leave the child root's.
    _exit(kChildNoCredentials);
  }
  if (!CloseAllBut(fdIn, STDERR_FILENO, fdForm)) _exit(kChildDescriptors);
  // Neither a core nor a tracer gets what root's memory held before the fork.
  if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) _exit(kChildDrop);
  if (!DropForGood(uid, gid)) _exit(kChildDrop);
  if (!DroppedForGood(uid, gid)) _exit(kChildDropCheck);
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 1) {
    _exit(kChildNoNewPrivs);
  }
  if (!HoldsNoCapabilities()) _exit(kChildCapabilities);
  if (!SetTightLimits()) _exit(kChildLimits);
  if (probe != NULL) probe();
  if (MoreUNIXIgnoreSIGPIPE() != 0) _exit(kChildWrite);

  CFDictionaryRef request = NULL;
  if (CopyDictionaryFromDescriptor(fdIn, &request) != noErr) _exit(kChildFrame);
  std::string form;
  MoreSecEncodeRequestForm(request, schema, &form);
  if (MoreUNIXWrite(fdForm, form.data(), form.size(), NULL) != 0) _exit(kChildWrite);
  _exit(0);
}

long long MillisecondsNow() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

OSStatus MoreSecCollectRequestFromChild(int fdForm, pid_t child, const MoreSecRequestSchema& schema, int timeoutMs,
                                        CFDictionaryRef* request) {
  assert(fdForm >= 0);
  assert(child > 0);
  assert(request != NULL && *request == NULL);

  const size_t limit = MoreSecRequestFormLimit(schema);
  // One byte more than the form may have tells a form that is too long.
  UInt8* buffer = static_cast<UInt8*>(malloc(limit + 1));
  size_t used = 0;
  bool complete = false;
  if (buffer != NULL) {
    const long long deadline = MillisecondsNow() + timeoutMs;
    for (;;) {
      const long long left = deadline - MillisecondsNow();
      if (left <= 0) break;
      struct pollfd wait = {fdForm, POLLIN, 0};
      const int ready = poll(&wait, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      const ssize_t got = read(fdForm, buffer + used, limit + 1 - used);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) break;
      if (got == 0) {
        complete = true;
        break;
      }
      used += static_cast<size_t>(got);
      if (used > limit) break;
    }
  }
  // The child has closed its end or must go now. Its exit status was fixed
  // before its descriptors closed, so this kill never changes an exit of 0.
  (void) kill(child, SIGKILL);
  int status = 0;
  pid_t reaped;
  do {
    reaped = waitpid(child, &status, 0);
  } while (reaped < 0 && errno == EINTR);

  OSStatus err = coreFoundationUnknownErr;
  if (buffer != NULL && complete && reaped == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    err = MoreSecCopyRequestFromForm(buffer, used, schema, request);
  }
  free(buffer);
  return err;
}

OSStatus MoreSecCopyRequestThroughChild(int fdIn, const MoreSecRequestSchema& schema, MoreSecParserProbe probe,
                                        CFDictionaryRef* request) {
  assert(fdIn >= 0);
  assert(request != NULL && *request == NULL);
  int form[2];
  if (pipe2(form, O_CLOEXEC) != 0) return errno;
  // A set-user-ID instance forks as root for a moment: the user's process
  // count, which the user controls, must not keep the request from being read.
  const uid_t effective = geteuid();
  if (effective != 0) (void) seteuid(0);
  const pid_t child = fork();
  const int forkErr = errno;
  if (child != 0 && effective != 0 && seteuid(effective) != 0) abort();
  if (child < 0) {
    const int err = forkErr;
    close(form[0]);
    close(form[1]);
    return err;
  }
  if (child == 0) {
    RunParsingChild(fdIn, form[1], schema, probe);
  }
  int junk = close(form[1]);
  assert(junk == 0);
  OSStatus err = MoreSecCollectRequestFromChild(form[0], child, schema, kMoreSecRequestChildTimeoutMs, request);
  junk = close(form[0]);
  assert(junk == 0);
  return err;
}
