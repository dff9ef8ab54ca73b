#include "squish/index_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "squish/damage_reports.h"
#include "squish/file_lock.h"
#include "squish/format.h"

namespace knotter {
namespace {

// Reads until length bytes are in or the file ends; the total read.
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

}  // namespace

bool readIndex(const char* indexPath, std::uint32_t count, std::uint8_t* destination,
               FileDescriptor& indexFile) {
  if (!openLocked(indexPath, O_RDONLY, indexFile)) return false;
  const std::uint64_t wanted = std::uint64_t{count} * sqidxSize;
  if (readFully(indexFile.fd, destination, wanted) != wanted) {
    reportIndexReadError(indexPath);
    return false;
  }
  indexFile.close();
  return true;
}

}  // namespace knotter
