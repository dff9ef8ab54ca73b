// The files of one JAM base while it is linked: the header file (.jhr),
// opened read-write, locked and mapped, and the index (.jdx), read once.
// Opening checks the header block; listing the headers checks the index
// and every header it refers to, so that nothing is written into a base
// that is not whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "jam/format.h"
#include "squish/holders.h"

namespace knotter {

// Released in reverse order: the index file, the mapping, then the header
// file, which takes the lock with it.
struct JamBase {
  std::string headerPath;  // base path + ".jhr"
  std::string indexPath;   // base path + ".jdx"
  FileDescriptor headerFile;
  Mapping mapping;
  FileDescriptor indexFile;
  std::uint32_t baseMsgNum = 0;
};

// A header the index refers to, packed so that sorting orders by offset:
// HdrOffset in the high word, the index position in the low one.
inline std::uint64_t jamHeaderOf(std::uint32_t ofs, std::uint32_t position) {
  return (std::uint64_t{ofs} << 32) | position;
}
inline std::uint32_t jamHeaderOfs(std::uint64_t header) {
  return static_cast<std::uint32_t>(header >> 32);
}
inline std::uint32_t jamHeaderPosition(std::uint64_t header) {
  return static_cast<std::uint32_t>(header);
}

// True for a header whose attribute marks it deleted. REQUIRES: a listed header.
inline bool jamHeaderDeleted(Bytes base, std::uint32_t ofs) {
  return (load32(base, ofs + jamHdrAttributeOffset) & jamDeleted) != 0;
}

// Opens <basePath>.jhr exactly once (closing a second descriptor would drop
// the lock), takes the write lock on its first byte with the bounded wait,
// maps it and checks the header block. Reports the failure and returns
// false; whatever was taken is released by base.
bool openJamBase(const char* basePath, const char* areaTag, JamBase& base);

// Opens the index and sets records to its whole 8-byte records (a partial
// last one is ignored). Reports and returns false when it cannot be opened
// or when the last number would pass 32 bits.
bool openJamIndex(JamBase& base, const char* areaTag, std::uint32_t& records);

// Reads the records into storage (8 bytes per record), closes the index and
// turns storage into the referenced headers in ascending HdrOffset; count is
// how many. Reports the first fault of the index or of a header and returns
// false.
bool listJamHeaders(JamBase& base, const char* areaTag, std::uint32_t records,
                    std::uint64_t* storage, std::uint32_t& count);

}  // namespace knotter
