#include "linker/scratch_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "log/area_reports.h"

namespace knotter {
namespace {

// The mapping that holds the block, and the block within it.
struct Mapping {
  void* address = nullptr;
  std::uint64_t length = 0;
};

Mapping mapping;
void* block = nullptr;
std::uint64_t capacity = 0;

// Anonymous memory straight from the system, so that a large area's tables
// can use huge pages: a million messages would otherwise cost tens of
// thousands of page faults before any work is done. The block ends (to the
// cache line) at an inaccessible page, so that a table that outgrew its
// block faults instead of writing into whatever lies next, such as a mapped
// message base.
void* allocate(std::uint64_t size) {
  const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const std::uint64_t usable = (size + page - 1) / page * page;
  if (usable + page > SIZE_MAX) return nullptr;
  void* p = ::mmap(nullptr, static_cast<std::size_t>(usable + page), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* bytes = static_cast<std::uint8_t*>(p);
  if (::mprotect(bytes + usable, static_cast<std::size_t>(page), PROT_NONE) != 0) {
    ::munmap(p, static_cast<std::size_t>(usable + page));
    return nullptr;
  }
  ::madvise(p, static_cast<std::size_t>(usable), MADV_HUGEPAGE);
  mapping = {p, usable + page};
  return bytes + ((usable - size) & ~std::uint64_t{63});
}

}  // namespace

void* scratchBuffer(std::uint64_t size) {
  if (size <= capacity) return block;
  releaseScratchBuffer();
  block = allocate(size);
  if (block == nullptr) {
    reportNotEnoughMemory();
    return nullptr;
  }
  capacity = size;
  return block;
}

void releaseScratchBuffer() {
  if (mapping.address != nullptr) {
    ::munmap(mapping.address, static_cast<std::size_t>(mapping.length));
  }
  mapping = Mapping{};
  block = nullptr;
  capacity = 0;
}

}  // namespace knotter
