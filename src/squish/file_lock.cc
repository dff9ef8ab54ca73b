#include "squish/file_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "log/log.h"

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

int lockBounded(int fd, short type) {
  static const bool handlerInstalled = (installAlarmHandler(), true);
  (void)handlerInstalled;

  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // up to the end of the file, however it grows

  ::alarm(1);
  const int result = ::fcntl(fd, F_SETLKW, &lock);
  const int error = errno;
  ::alarm(0);
  return result == 0 ? 0 : error;
}

bool openLocked(const char* path, int flags, FileDescriptor& file) {
  file.fd = ::open(path, flags | O_CLOEXEC);
  const int error = file.fd < 0 ? errno : lockBounded(file.fd, F_RDLCK);
  if (error != 0) {
    logMessage(levelError, "! Cannot open file %s (%u)", path, static_cast<unsigned>(error));
    return false;
  }
  return true;
}

std::uint64_t fileSize(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || status.st_size < 0) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace knotter
