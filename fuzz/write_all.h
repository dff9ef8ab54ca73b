// Writing a fuzz input to a file the code under test reads: all of it, or
// the process stops, since a short file would test something else.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdlib>

inline void writeAllOrAbort(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
}
