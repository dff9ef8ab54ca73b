// Scope-bound holders for the resources an area takes: descriptors (from
// the bottom layer) and the mapping of the data file (writable for linking,
// read-only for inspection).
// A holder that holds nothing releases nothing.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "base/file_descriptor.h"
#include "squish/format.h"

namespace knotter {

// Owns a shared mapping of a whole file: writable for linking, so that
// stores reach the file, or read-only for the tools that only inspect a base
// (a write through it faults instead of reaching the file).
struct Mapping {
  void* address = MAP_FAILED;
  std::size_t length = 0;
  Mapping() = default;
  Mapping(int fd, std::size_t size, int protection) { map(fd, size, protection); }
  ~Mapping() { unmap(); }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  // Maps the first size bytes of fd in place of what was mapped; false when
  // that fails.
  bool map(int fd, std::size_t size, int protection) {
    unmap();
    address = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    length = size;
    return mapped();
  }
  bool mapped() const { return address != MAP_FAILED; }
  Bytes bytes() const { return {static_cast<std::uint8_t*>(address), mapped() ? length : 0}; }
  void unmap() {
    if (mapped()) ::munmap(address, length);
    address = MAP_FAILED;
  }
};

}  // namespace knotter
