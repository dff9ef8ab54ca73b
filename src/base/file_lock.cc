#include "base/file_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace knotter {
namespace {

// The alarm only has to interrupt the waiting call; the handler does nothing.
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

// Runs the waiting request under a one-second alarm; 0 or its error number.
template <typename Request>
int waitBounded(Request request) {
  static const bool handlerInstalled = (installAlarmHandler(), true);
  (void)handlerInstalled;
  ::alarm(1);
  const int result = request();
  const int error = errno;
  ::alarm(0);
  return result == 0 ? 0 : error;
}

// A FIFO opened without O_NONBLOCK waits for a writer that may never come,
// so every open is non-blocking until the file is known to be regular.
// A directory opened for writing is refused by open itself (EISDIR); it is
// no more a file than a FIFO, and is reported with the same number.
int keepIfRegular(FileDescriptor& file) {
  if (file.fd < 0) return errno == EISDIR ? ENXIO : errno;
  struct stat status {};
  if (::fstat(file.fd, &status) != 0) {
    const int error = errno;
    file.close();
    return error;
  }
  if (!S_ISREG(status.st_mode)) {
    file.close();
    return ENXIO;
  }
  const int flags = ::fcntl(file.fd, F_GETFL);
  if (flags >= 0) ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);
  return 0;
}

// O_NOCTTY: a run that leads a session without a terminal (as a service
// manager starts it) would otherwise take a terminal named as a base file
// for its own, and a hangup there would end the run; the check comes after
// the open, too late to undo that.
constexpr int probeFlags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

}  // namespace

int openRegularFile(const char* path, int flags, FileDescriptor& file) {
  file.close();
  // Opening a device can do something of its own (a tape rewinds), so what
  // is known not to be a regular file is not opened at all; the check after
  // the open covers a file replaced in between.
  struct stat status {};
  if (::stat(path, &status) == 0 && !S_ISREG(status.st_mode)) return ENXIO;
  file.fd = ::open(path, flags | probeFlags);
  return keepIfRegular(file);
}

int lockBounded(int fd, short type) {
  return lockRangeBounded(fd, type, 0, 0);  // length 0: up to the end, however it grows
}

int lockRangeBounded(int fd, short type, std::uint64_t start, std::uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(start);
  lock.l_len = static_cast<off_t>(length);
  return waitBounded([&] { return ::fcntl(fd, F_SETLKW, &lock); });
}

int flockBounded(int fd, int operation) {
  return waitBounded([&] { return ::flock(fd, operation); });
}

int openLocked(const char* path, int flags, FileDescriptor& file) {
  const int error = openRegularFile(path, flags, file);
  return error != 0 ? error : lockBounded(file.fd, F_RDLCK);
}

std::uint64_t fileSize(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || status.st_size < 0) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace knotter
