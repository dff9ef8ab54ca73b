// Reads a base's index file under a bounded shared lock.
#pragma once

#include <cstdint>

#include "squish/holders.h"

namespace knotter {

// Reads count index entries (12 bytes each) from indexPath into destination.
// The descriptor is kept in indexFile, and closed (releasing the lock) on
// success; on failure it is left there for the caller. Reports
// "! Cannot open file %s (%u)" or "! Error reading index file %s".
bool readIndex(const char* indexPath, std::uint32_t count, std::uint8_t* destination,
               FileDescriptor& indexFile);

}  // namespace knotter
