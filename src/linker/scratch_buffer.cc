#include "linker/scratch_buffer.h"

#include <sys/mman.h>

#include <cstdint>

#include "log/log.h"

namespace knotter {
namespace {

void* block = nullptr;
std::uint64_t capacity = 0;

// Anonymous memory straight from the system, so that a large area's tables
// can use huge pages: a million messages would otherwise cost tens of
// thousands of page faults before any work is done.
void* allocate(std::uint64_t size) {
  if (size > SIZE_MAX) return nullptr;
  void* p = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  ::madvise(p, static_cast<std::size_t>(size), MADV_HUGEPAGE);
  return p;
}

}  // namespace

void* scratchBuffer(std::uint64_t size) {
  if (size <= capacity) return block;
  releaseScratchBuffer();
  block = allocate(size);
  if (block == nullptr) {
    logMessage(levelError, "! Not enough memory");
    return nullptr;
  }
  capacity = size;
  return block;
}

void releaseScratchBuffer() {
  if (block != nullptr) ::munmap(block, static_cast<std::size_t>(capacity));
  block = nullptr;
  capacity = 0;
}

}  // namespace knotter
