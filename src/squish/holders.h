// Scope-bound holders for the resources an area takes: descriptors and the
// mapping of the data file (writable for linking, read-only for inspection).
// A holder that holds nothing releases nothing.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "squish/format.h"

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

// Owns a shared, writable mapping of a whole file.
struct Mapping {
  void* address = MAP_FAILED;
  std::size_t length = 0;
  Mapping() = default;
  Mapping(int fd, std::size_t size)
      : address(::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)), length(size) {}
  ~Mapping() { unmap(); }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  bool mapped() const { return address != MAP_FAILED; }
  Bytes bytes() const { return {static_cast<std::uint8_t*>(address), mapped() ? length : 0}; }
  void unmap() {
    if (mapped()) ::munmap(address, length);
    address = MAP_FAILED;
  }
};

// Owns a shared, read-only mapping of a whole file, for the tools that only
// inspect a base. The view is typed like Mapping's so that the format helpers
// serve both; a write through it faults instead of reaching the file.
struct ReadOnlyMapping {
  void* address = MAP_FAILED;
  std::size_t length = 0;
  ReadOnlyMapping() = default;
  ReadOnlyMapping(int fd, std::size_t size)
      : address(::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0)), length(size) {}
  ~ReadOnlyMapping() { unmap(); }
  ReadOnlyMapping(const ReadOnlyMapping&) = delete;
  ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;
  bool mapped() const { return address != MAP_FAILED; }
  Bytes bytes() const { return {static_cast<std::uint8_t*>(address), mapped() ? length : 0}; }
  void unmap() {
    if (mapped()) ::munmap(address, length);
    address = MAP_FAILED;
  }
};

}  // namespace knotter
