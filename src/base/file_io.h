// Reads and writes that a signal cannot cut short, shared by every module
// that touches a file descriptor.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace knotter {

// One read of up to length bytes, repeated while a signal interrupts it;
// returns what read returns otherwise.
ssize_t readSome(int fd, void* out, std::size_t length);

// Reads until length bytes are in or the file ends, going on after EINTR;
// returns the total read.
std::uint64_t readFully(int fd, std::uint8_t* out, std::uint64_t length);

// Writes the whole text, going on after a short write or EINTR. Returns
// false, with errno set, when the descriptor takes no more.
bool writeAll(int fd, const char* text, std::size_t length);

}  // namespace knotter
