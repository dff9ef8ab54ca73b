#include "base/file_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace knotter {

ssize_t readSome(int fd, void* out, std::size_t length) {
  ssize_t n;
  do {
    n = ::read(fd, out, length);
  } while (n < 0 && errno == EINTR);
  return n;
}

std::uint64_t readFully(int fd, std::uint8_t* out, std::uint64_t length) {
  std::uint64_t total = 0;
  while (total < length) {
    const std::uint64_t chunk = std::min<std::uint64_t>(length - total, 1u << 30);
    const ssize_t n = readSome(fd, out + total, static_cast<std::size_t>(chunk));
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
  }
  return total;
}

bool writeAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, text, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    text += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace knotter
