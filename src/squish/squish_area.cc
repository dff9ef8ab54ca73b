#include "squish/squish_area.h"

#include <utime.h>

namespace knotter {

bool openArea(const char* basePath, const char* areaTag, OpenFor purpose, SquishArea& area) {
  if (!openSquishBase(basePath, purpose, area.base)) return false;
  const Bytes data = area.base.mapping.bytes();
  area.source.emplace(areaTag, data,
                      IndexInput{area.base.indexPath.c_str(), &area.base.indexFile, {}});
  area.sink.emplace(data, *area.source,
                    DataFile{area.base.dataFile.fd, area.base.dataPath.c_str()});
  return true;
}

void closeArea(SquishArea& area, bool changed) {
  area.base.indexFile.close();
  area.base.mapping.unmap();
  if (changed) ::utime(area.base.dataPath.c_str(), nullptr);
  area.base.dataFile.close();  // releases the lock
}

}  // namespace knotter
