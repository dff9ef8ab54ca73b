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
#include "linker/message_table.h"
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
  std::uint32_t modCounter = 0;  // as opened
};

// Linking opens the header file read-write under the write lock; inspecting
// opens it read-only under a read lock, which only keeps writers out.
enum class JamAccess { link, inspect };

// What is wrong with a header, in the order it is checked.
enum class JamHeaderCheck {
  ok,
  badHeader,    // no JAM signature, or a revision other than 1
  outsideFile,  // its subfields reach past the file, or do not fill SubfieldLen
  overlapping,  // it begins inside the header (and subfields) before it
};

// A header the index refers to is packed as the core packs a frame
// (frameOf): HdrOffset in the high word, the index position in the low one,
// so that sorting orders by offset.

// True for a header whose attribute marks it deleted. REQUIRES: a listed header.
inline bool jamHeaderDeleted(Bytes base, std::uint32_t ofs) {
  return (load32(base, ofs + jamHdrAttributeOffset) & jamDeleted) != 0;
}

// Opens <basePath>.jhr exactly once (closing a second descriptor would drop
// the lock), takes the write lock on its first byte with the bounded wait,
// maps it and checks the header block. Reports the failure and returns
// false; whatever was taken is released by base.
bool openJamBase(const char* basePath, const char* areaTag, JamBase& base,
                 JamAccess access = JamAccess::link);

// Opens the index and sets records to its whole 8-byte records (a partial
// last one is ignored). Reports and returns false when it cannot be opened
// or when the last number would pass 32 bits.
bool openJamIndex(JamBase& base, const char* areaTag, std::uint32_t& records);

// Reads the records into destination (8 bytes each) and closes the index.
// Reports "! Error reading index file %s" and returns false on a short read.
bool readJamIndex(JamBase& base, std::uint32_t records, std::uint8_t* destination);

// The HdrOffset of record position of a raw index.
inline std::uint32_t jamRecordOffset(const std::uint8_t* index, std::uint32_t position) {
  return load32(index + std::uint64_t{position} * jamIdxSize + jamIdxHdrOffsetOffset);
}

// Checks the HdrOffset of a record that refers to a header: past the header
// block, with room for a fixed header. Reports the index damaged when not.
bool jamRecordSound(Bytes base, const char* areaTag, std::uint32_t position, std::uint32_t ofs);

// Checks the referenced headers, of which at(k) gives the k-th in ascending
// HdrOffset as frameOf packs it: first that no two share or overlap in
// their fixed parts (index damaged), then each header in turn (base
// damaged, or area read error for subfields that do not fit). Reports the
// first fault and returns false.
template <typename At>
bool jamHeadersSound(Bytes base, const char* areaTag, std::uint32_t baseMsgNum,
                     std::uint32_t count, At at);

// Reads the records into storage (8 bytes per record), closes the index and
// turns storage into the referenced headers in ascending HdrOffset; count is
// how many. Reports the first fault of the index or of a header and returns
// false.
bool listJamHeaders(JamBase& base, const char* areaTag, std::uint32_t records,
                    std::uint64_t* storage, std::uint32_t& count);

// True when two headers, taken in ascending offset, share or overlap in
// their fixed parts.
bool jamHeadersOverlap(std::uint64_t previous, std::uint64_t header);

// Checks the header at ofs, taken in ascending offset after a header that
// ended at previousEnd, which is moved to its end when it is ok.
JamHeaderCheck checkJamHeader(Bytes base, std::uint32_t ofs, std::uint64_t& previousEnd);

// The steps of jamHeadersSound, for one header after the one before it,
// reporting what they find.
bool jamHeaderApart(const char* areaTag, std::uint64_t previous, std::uint64_t header);
bool jamHeaderSound(Bytes base, const char* areaTag, std::uint32_t baseMsgNum,
                    std::uint64_t header, std::uint64_t& previousEnd);

template <typename At>
bool jamHeadersSound(Bytes base, const char* areaTag, std::uint32_t baseMsgNum,
                     std::uint32_t count, At at) {
  for (std::uint32_t k = 1; k < count; ++k) {
    if (!jamHeaderApart(areaTag, at(k - 1), at(k))) return false;
  }
  std::uint64_t previousEnd = 0;
  for (std::uint32_t k = 0; k < count; ++k) {
    if (!jamHeaderSound(base, areaTag, baseMsgNum, at(k), previousEnd)) return false;
  }
  return true;
}

}  // namespace knotter
