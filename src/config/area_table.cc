#include "config/area_table.h"

#include <algorithm>
#include <vector>

#include "config/text.h"

namespace knotter {

AreaTable areaTable;

void appendArea(std::string_view tag, std::string_view path, std::int32_t linkType,
                BaseFormat format) {
  areaTable.push_back(AreaRecord{std::string(tag), std::string(path), linkType, format});
}

void removeAreasWithoutLinkType() {
  std::erase_if(areaTable, [](const AreaRecord& area) { return area.linkType == 0; });
}

void sortAreasByTag() {
  std::stable_sort(areaTable.begin(), areaTable.end(), [](const AreaRecord& a, const AreaRecord& b) {
    return compareNoCase(a.tag, b.tag) < 0;
  });
}

}  // namespace knotter
