// Record locks over a whole file, with the wait bounded to one second, so
// that a tosser holding a base for long only costs us that area.
#pragma once

#include <cstdint>

#include "squish/holders.h"

namespace knotter {

// Takes a lock of type (F_RDLCK or F_WRLCK) over the whole of fd, waiting at
// most about one second. Returns 0 on success, else the error number: EINTR
// (4) after the time-out. The process goes on in every case; the alarm is
// always cancelled.
int lockBounded(int fd, short type);

// Opens path with flags into file and takes the bounded shared lock. Reports
// "! Cannot open file %s (%u)" and returns false when either fails; the
// descriptor, if any, stays in file for its holder to close.
bool openLocked(const char* path, int flags, FileDescriptor& file);

// The size of the open file; 0 when it cannot be had.
std::uint64_t fileSize(int fd);

}  // namespace knotter
