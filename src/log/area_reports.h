// The lines that report why an area was not linked, one reporter per text,
// shared by every format, the core and the tools. Each logs its level-1
// line and, where there is one, a level-9 detail line.
#pragma once

#include <cstdint>

namespace knotter {

// "! Cannot open file %s (%u)": path, and the error number of the open or
// of the lock (4 for a lock that was not granted within its bound).
void reportCannotOpen(const char* path, int error);

// "! Not enough memory".
void reportNotEnoughMemory();

// "! Error reading file %s".
void reportFileReadError(const char* path);

// "! Error reading index file %s".
void reportIndexReadError(const char* indexPath);

// "! Index file of %s is damaged".
void reportIndexFileDamaged(const char* areaTag);

// The same, with the detail "! Offset 0x%X of message No %u is beyond the
// end of message base" for the entry at position (from 0).
void reportIndexDamaged(const char* areaTag, std::uint32_t position, std::uint32_t ofs);

// "! Message base of %s is damaged".
void reportBaseDamaged(const char* areaTag);

// The same, with the detail "! Bad frame for message with umsgid=%u at
// offset 0x%08X".
void reportBadFrame(const char* areaTag, std::uint32_t umsgid, std::uint32_t ofs);

// "! Message base of %s changed while it was read": a file that was to be
// written is not the one read, or holds other link fields than it did.
void reportBaseChanged(const char* areaTag);

// "! Cannot write file %s (%u)": path, and the error number of the write.
void reportCannotWrite(const char* path, int error);

// "! Error reading %s. Area is possibly damaged": what the core says when
// linking an area failed in a way nothing else reported.
void reportAreaReadError(const char* areaTag);

}  // namespace knotter
