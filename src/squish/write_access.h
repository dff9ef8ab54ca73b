// The right to store into a mapped base. Bases are read under a shared lock,
// which other readers may share; stores wait for an exclusive one, so that
// two runs never write one base at once and nobody reads it half written.
// While the stores are made, the signals that politely ask the process to
// end are held back, so that such a signal cannot leave a base half linked.
#pragma once

#include <signal.h>

namespace knotter {

// The data file behind a mapping. fd -1 for a base that is only a copy in
// memory, which needs no lock.
struct DataFile {
  int fd = -1;
  const char* path = "";  // the ".sqd" path, for the report
};

// Holds write access to one base: the exclusive lock stays with the data
// file's descriptor until it is closed; the signal mask is restored here, so
// that SIGTERM, SIGINT, SIGHUP or SIGQUIT sent meanwhile takes effect after
// the last store. Declare it before the first store, in the scope of them all.
struct WriteAccess {
  bool granted = false;
  bool signalsHeld = false;
  sigset_t previousMask{};
  WriteAccess() = default;
  ~WriteAccess() { release(); }
  WriteAccess(const WriteAccess&) = delete;
  WriteAccess& operator=(const WriteAccess&) = delete;
  void release();
};

// Blocks the ending signals and upgrades the data file's shared lock to an
// exclusive one, waiting at most about one second. True when access is held
// (at once if it already was); false after reporting "! Cannot open file %s
// (%u)" with 4 for the time-out or 35 when another run is upgrading too.
bool takeWriteAccess(const DataFile& file, WriteAccess& access);

}  // namespace knotter
