#include "output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace knotter::bench {
namespace {

constexpr std::size_t flushThreshold = 1 << 20;

}  // namespace

OutputFile::~OutputFile() {
  if (fd >= 0) ::close(fd);
}

bool fail(const char* path) {
  std::fprintf(stderr, "knotter-make-base: %s: %s\n", path, std::strerror(errno));
  return false;
}

bool openOutput(OutputFile& file, const char* path) {
  file.path = path;
  file.fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  file.buffer.reserve(flushThreshold + 4096);
  return file.fd >= 0 || fail(path);
}

bool flushOutput(OutputFile& file) {
  const std::uint8_t* at = file.buffer.data();
  std::size_t left = file.buffer.size();
  while (left > 0) {
    const ssize_t written = ::write(file.fd, at, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return fail(file.path);
    at += written;
    left -= static_cast<std::size_t>(written);
  }
  file.buffer.clear();
  return true;
}

bool append(OutputFile& file, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  file.buffer.insert(file.buffer.end(), bytes, bytes + size);
  return file.buffer.size() < flushThreshold || flushOutput(file);
}

void put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
  put16(at, value);
  put16(at + 2, value >> 16);
}

}  // namespace knotter::bench
