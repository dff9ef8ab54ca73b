#include "squish/squish_base.h"

#include <fcntl.h>

#include "base/file_io.h"
#include "log/area_reports.h"
#include "squish/format.h"

namespace knotter {

bool openSquishBase(const char* basePath, OpenFor purpose, SquishBase& base) {
  base.dataPath = std::string(basePath) + ".sqd";
  base.indexPath = std::string(basePath) + ".sqi";
  const bool linking = purpose == OpenFor::linking;
  const int error = openLocked(base.dataPath.c_str(), linking ? O_RDWR : O_RDONLY, base.dataFile);
  if (error != 0) {
    reportCannotOpen(base.dataPath.c_str(), error);
    return false;
  }
  const std::uint64_t size = fileSize(base.dataFile.fd);
  // An empty file cannot be mapped, and holds no base anyway.
  if (size == 0 || !base.mapping.map(base.dataFile.fd, static_cast<std::size_t>(size),
                                     linking ? PROT_READ | PROT_WRITE : PROT_READ)) {
    reportFileReadError(base.dataPath.c_str());
    return false;
  }
  return true;
}

bool openSquishIndex(const char* indexPath, std::uint32_t count, FileDescriptor& file) {
  const int error = openLocked(indexPath, O_RDONLY, file);
  if (error != 0) {
    reportCannotOpen(indexPath, error);
    return false;
  }
  // high_msg is the base's word, not the index's: an index too short for it
  // is a damaged base, and must not size the working memory first.
  if (fileSize(file.fd) / sqidxSize < count) {
    reportIndexReadError(indexPath);
    return false;
  }
  return true;
}

bool readSquishIndex(const char* indexPath, FileDescriptor& file, std::span<std::uint8_t> out) {
  if (readFully(file.fd, out.data(), out.size()) != out.size()) {
    reportIndexReadError(indexPath);
    return false;
  }
  file.close();
  return true;
}

}  // namespace knotter
