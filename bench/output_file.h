// Buffered output files for the base writers of knotter-make-base.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace knotter::bench {

// A buffered output file; the descriptor closes with it.
struct OutputFile {
  int fd = -1;
  const char* path = "";
  std::vector<std::uint8_t> buffer;
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();
};

// Prints path and the system error to standard error; returns false.
bool fail(const char* path);

bool openOutput(OutputFile& file, const char* path);
bool flushOutput(OutputFile& file);
// Appends to the buffer, writing it out once it is large.
bool append(OutputFile& file, const void* data, std::size_t size);

void put16(std::uint8_t* at, std::uint32_t value);
void put32(std::uint8_t* at, std::uint32_t value);

}  // namespace knotter::bench
