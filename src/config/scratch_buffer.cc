#include "config/scratch_buffer.h"

#include <cstdlib>

#include "log/log.h"

namespace knotter {
namespace {

void* block = nullptr;
std::uint64_t capacity = 0;

}  // namespace

void* scratchBuffer(std::uint64_t size) {
  if (size <= capacity) return block;
  std::free(block);
  block = nullptr;
  capacity = 0;
  if (size <= SIZE_MAX) block = std::malloc(static_cast<std::size_t>(size));
  if (block == nullptr) {
    logMessage(levelError, "! Not enough memory");
    return nullptr;
  }
  capacity = size;
  return block;
}

void releaseScratchBuffer() {
  std::free(block);
  block = nullptr;
  capacity = 0;
}

}  // namespace knotter
