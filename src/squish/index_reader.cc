#include "squish/index_reader.h"

#include <fcntl.h>

#include "base/file_io.h"
#include "squish/damage_reports.h"
#include "squish/file_lock.h"
#include "squish/format.h"

namespace knotter {

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
