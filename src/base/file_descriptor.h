// Owns one open file descriptor for a scope, so that every path out of a
// function closes it. Shared by the base formats, the log, the configuration
// reader and the flags file.
#pragma once

#include <unistd.h>

namespace knotter {

// Owns a descriptor; -1 means none. Closing releases the process's record
// locks on the file.
struct FileDescriptor {
  int fd = -1;
  FileDescriptor() = default;
  explicit FileDescriptor(int descriptor) : fd(descriptor) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

}  // namespace knotter
