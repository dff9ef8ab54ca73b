// Reads that a signal cannot cut short, shared by the base formats.
#pragma once

#include <cstdint>

namespace knotter {

// Reads until length bytes are in or the file ends, going on after EINTR;
// returns the total read.
std::uint64_t readFully(int fd, std::uint8_t* out, std::uint64_t length);

}  // namespace knotter
