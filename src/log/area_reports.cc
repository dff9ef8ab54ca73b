#include "log/area_reports.h"

#include <cstdio>

#include "log/log.h"

namespace knotter {

void reportCannotOpen(const char* path, int error) {
  logMessage(levelError, "! Cannot open file %s (%u)", path, static_cast<unsigned>(error));
}

void reportNotEnoughMemory() { logMessage(levelError, "! Not enough memory"); }

void reportFileReadError(const char* path) {
  logMessage(levelError, "! Error reading file %s", path);
}

void reportIndexReadError(const char* indexPath) {
  logMessage(levelError, "! Error reading index file %s", indexPath);
}

void reportIndexFileDamaged(const char* areaTag) {
  logMessage(levelError, "! Index file of %s is damaged", areaTag);
}

void reportIndexDamaged(const char* areaTag, std::uint32_t position, std::uint32_t ofs) {
  reportIndexFileDamaged(areaTag);
  char detail[64];
  std::snprintf(detail, sizeof detail, "0x%X of message No %u", ofs, position);
  logMessage(levelDetail, "! Offset %s is beyond the end of message base", detail);
}

void reportBaseDamaged(const char* areaTag) {
  logMessage(levelError, "! Message base of %s is damaged", areaTag);
}

void reportBadFrame(const char* areaTag, std::uint32_t umsgid, std::uint32_t ofs) {
  reportBaseDamaged(areaTag);
  char detail[64];
  std::snprintf(detail, sizeof detail, "%u at offset 0x%08X", umsgid, ofs);
  logMessage(levelDetail, "! Bad frame for message with umsgid=%s", detail);
}

void reportBaseChanged(const char* areaTag) {
  logMessage(levelError, "! Message base of %s changed while it was read", areaTag);
}

void reportCannotWrite(const char* path, int error) {
  logMessage(levelError, "! Cannot write file %s (%u)", path, static_cast<unsigned>(error));
}

void reportAreaReadError(const char* areaTag) {
  logMessage(levelError, "! Error reading %s. Area is possibly damaged", areaTag);
}

}  // namespace knotter
