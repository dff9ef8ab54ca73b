#include "squish/write_access.h"

#include <fcntl.h>

#include "log/log.h"
#include "squish/file_lock.h"

namespace knotter {

void WriteAccess::release() {
  if (signalsHeld) ::sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  signalsHeld = false;
  granted = false;
}

bool takeWriteAccess(const DataFile& file, WriteAccess& access) {
  if (access.granted) return true;
  // Held from before the request: once we have asked for the lock, the area
  // is either written whole or not at all, whatever signal comes.
  if (!access.signalsHeld) {
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&ending, signal);
    access.signalsHeld = ::sigprocmask(SIG_BLOCK, &ending, &access.previousMask) == 0;
  }
  // Linux keeps our shared lock while the exclusive one is waited for, so
  // what was read under it is still what the base holds once it is granted.
  // Two runs that both wait would wait for each other: the kernel refuses
  // the second with EDEADLK, and that run gives its area up.
  const int error = file.fd < 0 ? 0 : lockBounded(file.fd, F_WRLCK);
  if (error != 0) {
    logMessage(levelError, "! Cannot open file %s (%u)", file.path, static_cast<unsigned>(error));
    return false;
  }
  access.granted = true;
  return true;
}

}  // namespace knotter
