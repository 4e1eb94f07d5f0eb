// Private to the MoreUNIX module.

#ifndef QUILLON_CORE_UNIX_MOREUNIXPRIVATE_H
#define QUILLON_CORE_UNIX_MOREUNIXPRIVATE_H

#include <errno.h>

namespace moreunix_internal {

// The module's one policy for interrupted system calls: a call that fails with
// EINTR is issued again, without limit, with the same arguments. Every system
// call of the module that can be interrupted goes through here, except close(),
// which must never be repeated: on Linux the descriptor is gone even when close
// reports EINTR, and a second close could hit a descriptor another thread has
// just been given. |call| returns -1 with errno set on failure.
template <typename Call>
inline auto RetryOnEINTR(Call call) -> decltype(call()) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) {
      return result;
    }
  }
}

}  // namespace moreunix_internal

#endif  // QUILLON_CORE_UNIX_MOREUNIXPRIVATE_H
