// An owned POSIX file descriptor, closed when its owner goes.
#pragma once

#include <unistd.h>

#include "base/unique_handle.h"

namespace brevaro::platform::posix {

struct FdTraits {
  using handle_type = int;
  static constexpr int none() noexcept { return -1; }
  static bool valid(int fd) noexcept { return fd >= 0; }
  static void close(int fd) noexcept { ::close(fd); }
};
using UniqueFd = base::UniqueHandle<FdTraits>;

}  // namespace brevaro::platform::posix
