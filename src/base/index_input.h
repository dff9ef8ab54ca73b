// Where a base format reads its index from: the index file, through the
// caller's descriptor slot, or bytes in memory, so that tests and fuzzers
// link a base without files.
#pragma once

#include <cstdint>
#include <span>

#include "base/file_descriptor.h"

namespace knotter {

struct IndexInput {
  const char* path = "";           // the index file, or the name reports give it
  FileDescriptor* file = nullptr;  // the caller's slot for the open file; null: memory
  std::span<const std::uint8_t> memory;
  bool inMemory() const { return file == nullptr; }
};

}  // namespace knotter
