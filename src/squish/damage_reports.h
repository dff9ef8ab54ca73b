// The reports of a damaged index or base, shared by both linkers. Each logs
// its level-1 line and, where there is one, a level-9 detail line.
#pragma once

#include <cstdint>

namespace knotter {

void reportFileReadError(const char* path);
void reportIndexReadError(const char* indexPath);
void reportIndexFileDamaged(const char* areaTag);
void reportIndexDamaged(const char* areaTag, std::uint32_t position, std::uint32_t ofs);
void reportBaseDamaged(const char* areaTag);
void reportBadFrame(const char* areaTag, std::uint32_t umsgid, std::uint32_t ofs);
void reportAreaReadError(const char* areaTag);

}  // namespace knotter
