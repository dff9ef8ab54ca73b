// Shared record locks over a whole file, with the wait bounded to one second,
// so that a tosser holding a base for long only costs us that area.
#pragma once

namespace knotter {

// Takes a shared (read) lock over the whole of fd, waiting at most about one
// second. Returns 0 on success, else the error number: EINTR (4) after the
// time-out. The process goes on in every case; the alarm is always cancelled.
int lockSharedBounded(int fd);

}  // namespace knotter
