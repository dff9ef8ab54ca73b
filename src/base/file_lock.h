// Opening a base's files, and the locks other programs on a base honour,
// with every wait bounded to about one second: a tosser that holds a base
// for long costs only that area, and nothing a neighbour leaves beside a
// base (a FIFO, a device) can make an open wait.
#pragma once

#include <cstdint>

#include "base/file_descriptor.h"

namespace knotter {

// Linking opens a base's files to be written; inspecting only reads them,
// under locks that keep writers out.
enum class OpenFor : std::uint8_t { linking, inspecting };

// Opens path with flags (O_CLOEXEC added) into file, without waiting on a
// FIFO or taking a terminal for the process's own, and makes sure it is a
// regular file. Returns 0, or the error number:
// open's own, or ENXIO for a file that is not a regular file (a FIFO, a
// device, a socket, a directory), which is then closed.
int openRegularFile(const char* path, int flags, FileDescriptor& file);

// Takes a record lock of type (F_RDLCK or F_WRLCK) over the whole of fd,
// waiting at most about one second. Returns 0 on success, else the error
// number: EINTR (4) after the time-out. The alarm is always cancelled.
int lockBounded(int fd, short type);

// The same over the bytes [start, start + length) of fd, for formats whose
// writers agree on locking one byte rather than the whole file.
int lockRangeBounded(int fd, short type, std::uint64_t start, std::uint64_t length);

// flock(fd, operation) (LOCK_SH or LOCK_EX) with the same bound.
int flockBounded(int fd, int operation);

// openRegularFile, then the bounded shared lock. Returns 0 or the error
// number of the step that failed; the descriptor, if any, stays in file.
int openLocked(const char* path, int flags, FileDescriptor& file);

// The size of the open file; 0 when it cannot be had.
std::uint64_t fileSize(int fd);

}  // namespace knotter
