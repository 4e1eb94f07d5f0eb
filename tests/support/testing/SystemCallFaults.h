// Faults of real system calls, for the failure paths that no ordinary setup
// reaches: a seccomp filter makes chosen calls of this process fail with a
// chosen errno. A filter cannot be removed, so install it in a child process
// (a death test's, or a forked one).
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

namespace quillon::testing {

// Makes every call of the system calls `numbers` fail with `error`, or, with
// `secondArgument`, only the calls whose second argument (its low 32 bits)
// is that value. False when the filter cannot be installed here.
inline bool FailSystemCalls(std::initializer_list<long> numbers, int error,
                            std::optional<uint32_t> secondArgument = std::nullopt) {
#if defined(__x86_64__)
  const uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
  const uint32_t arch = AUDIT_ARCH_AARCH64;
#else
  return false;
#endif
  const uint32_t fail = SECCOMP_RET_ERRNO | (static_cast<uint32_t>(error) & SECCOMP_RET_DATA);
  std::vector<sock_filter> program = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
  };
  size_t left = numbers.size();
  for (long number : numbers) {
    // A match jumps past the remaining tests and the "allow" below them.
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(number),
                               static_cast<uint8_t>(left), 0));
    left--;
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  if (secondArgument) {
    // Little-endian: the low half of the argument comes first.
    program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])));
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, *secondArgument, 0, 1));
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, fail));
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog filter = {static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

}  // namespace quillon::testing
