#include "squish/base_files.h"

#include <fcntl.h>

#include "squish/damage_reports.h"
#include "squish/file_lock.h"

namespace knotter {

bool openSquishBase(const char* basePath, SquishBase& base) {
  base.dataPath = std::string(basePath) + ".sqd";
  base.indexPath = std::string(basePath) + ".sqi";
  if (!openLocked(base.dataPath.c_str(), O_RDWR, base.dataFile)) return false;
  const std::uint64_t size = fileSize(base.dataFile.fd);
  // An empty file cannot be mapped, and holds no base anyway.
  if (size == 0 || !base.mapping.map(base.dataFile.fd, static_cast<std::size_t>(size),
                                     PROT_READ | PROT_WRITE)) {
    reportFileReadError(base.dataPath.c_str());
    return false;
  }
  return true;
}

}  // namespace knotter
