#include "jam/jam_area.h"

#include <utime.h>

namespace knotter {

bool openArea(const char* basePath, const char* areaTag, OpenFor purpose, JamArea& area) {
  if (!openJamBase(basePath, areaTag, purpose, area.base)) return false;
  const Bytes header = area.base.mapping.bytes();
  area.source.emplace(areaTag, header, area.base.baseMsgNum,
                      IndexInput{area.base.indexPath.c_str(), &area.base.indexFile, {}});
  area.sink.emplace(header);
  return true;
}

void closeArea(JamArea& area, bool changed) {
  area.base.indexFile.close();
  area.base.mapping.unmap();
  if (changed) ::utime(area.base.headerPath.c_str(), nullptr);
  area.base.headerFile.close();  // releases the lock
}

}  // namespace knotter
