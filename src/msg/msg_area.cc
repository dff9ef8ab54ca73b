#include "msg/msg_area.h"

namespace knotter {

bool openArea(const char* basePath, const char* areaTag, OpenFor purpose, MsgArea& area) {
  const std::string dir(msgDirectoryOf(basePath));
  area.directory.emplace(dir, purpose);
  area.source.emplace(areaTag, dir, *area.directory);
  area.sink.emplace(areaTag, dir, *area.directory);
  return true;
}

void closeArea(MsgArea& area, bool) {
  if (area.directory) area.directory->close();
}

}  // namespace knotter
