#include "base/text_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace knotter {
namespace {

bool endsLikeAFile(mode_t mode) { return S_ISREG(mode) || S_ISFIFO(mode); }

// Reads on the descriptor wait for data again, as they do on any file.
bool clearNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != -1;
}

}  // namespace

int openTextInput(const char* path) {
  // Looked at before it is opened: opening a device can have effects of its
  // own (a watchdog, a tape), which a text file name must never cause.
  struct stat status {};
  if (::stat(path, &status) != 0) return -1;
  if (!endsLikeAFile(status.st_mode)) {
    errno = ENXIO;
    return -1;
  }
  // O_NONBLOCK: opening a FIFO without a writer would wait for one.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  // The name may have been given to something else since it was looked at.
  int error = 0;
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (!endsLikeAFile(status.st_mode)) {
    error = ENXIO;
  } else if (!clearNonBlocking(fd)) {
    error = errno;
  }
  if (error == 0) return fd;
  ::close(fd);
  errno = error;
  return -1;
}

}  // namespace knotter
