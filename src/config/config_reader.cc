#include "config/config_reader.h"

#include <fcntl.h>
#include <unistd.h>

namespace knotter {

bool readConfig(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace knotter
