#include "squish/file_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace knotter {
namespace {

// The alarm only has to interrupt the waiting fcntl; the handler does nothing.
void onAlarm(int) {}

// Installed without SA_RESTART, so the interrupted request fails with EINTR
// instead of starting to wait again, and the default action (ending the
// process) never applies.
void installAlarmHandler() {
  struct sigaction action {};
  action.sa_handler = onAlarm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ::sigaction(SIGALRM, &action, nullptr);
}

}  // namespace

int lockSharedBounded(int fd) {
  static const bool handlerInstalled = (installAlarmHandler(), true);
  (void)handlerInstalled;

  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // up to the end of the file, however it grows

  ::alarm(1);
  const int result = ::fcntl(fd, F_SETLKW, &lock);
  const int error = errno;
  ::alarm(0);
  return result == 0 ? 0 : error;
}

}  // namespace knotter
