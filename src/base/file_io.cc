#include "base/file_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace knotter {

std::uint64_t readFully(int fd, std::uint8_t* out, std::uint64_t length) {
  std::uint64_t total = 0;
  while (total < length) {
    const std::uint64_t chunk = std::min<std::uint64_t>(length - total, 1u << 30);
    const ssize_t n = ::read(fd, out + total, static_cast<std::size_t>(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
  }
  return total;
}

}  // namespace knotter
