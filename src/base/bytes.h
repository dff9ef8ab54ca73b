// Little-endian access to on-disk fields over a bounds-checked view of a
// mapped file, shared by the base formats. Every field is read and written
// as shifts, so the host's byte order never matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace knotter {

using Bytes = std::span<std::uint8_t>;

inline std::uint16_t load16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void store32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
}

// True when [at, at + length) lies inside bytes. Written so that it cannot wrap.
inline bool inBounds(Bytes bytes, std::uint64_t at, std::uint64_t length) {
  return at <= bytes.size() && length <= bytes.size() - at;
}

// Asks for the line at at to be fetched ahead of its use; nothing outside
// bytes is touched.
inline void prefetch(Bytes bytes, std::uint64_t at) {
  if (at < bytes.size()) __builtin_prefetch(bytes.data() + at);
}

inline std::uint16_t load16(Bytes bytes, std::size_t at) { return load16(bytes.data() + at); }
inline std::uint32_t load32(Bytes bytes, std::size_t at) { return load32(bytes.data() + at); }
inline void store32(Bytes bytes, std::size_t at, std::uint32_t value) {
  store32(bytes.data() + at, value);
}

}  // namespace knotter
