// The files of one JAM base while it is linked or inspected: the header file
// (.jhr), opened and locked once and mapped, and the index (.jdx), read
// once. Opening checks the header block; the checks of the index records
// and of the headers they refer to are here for the source and the
// inspector alike, so that nothing is written into a base that is not whole.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/bytes.h"
#include "base/file_descriptor.h"
#include "base/file_lock.h"
#include "base/mapping.h"
#include "jam/format.h"

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

// What is wrong with a header, in the order it is checked.
enum class JamHeaderCheck {
  ok,
  badHeader,    // no JAM signature, or a revision other than 1
  outsideFile,  // its subfields reach past the file, or do not fill SubfieldLen
  overlapping,  // it begins inside the header (and subfields) before it
};

// True for a header whose attribute marks it deleted. REQUIRES: a record
// that jamRecordSound passed.
inline bool jamHeaderDeleted(Bytes base, std::uint32_t ofs) {
  return (load32(base, ofs + jamHdrAttributeOffset) & jamDeleted) != 0;
}

// Opens <basePath>.jhr exactly once (closing a second descriptor would drop
// the lock), takes the lock on its first byte with the bounded wait (the
// write lock for linking, a read lock that only keeps writers out for
// inspecting), maps it and checks the header block. Reports the failure
// (for a fault on the mapping, "! Error reading %s. Area is possibly
// damaged") and returns false; whatever was taken is released by base.
bool openJamBase(const char* basePath, const char* areaTag, OpenFor purpose, JamBase& base);

// Checks the header block of the header file (its signature and a
// BaseMsgNum of at least 1) and reads BaseMsgNum and ModCounter. Reports
// "! Message base of %s is damaged" and returns false when it is not sound.
bool readJamHeaderBlock(Bytes header, const char* areaTag, std::uint32_t& baseMsgNum,
                        std::uint32_t& modCounter);

// Opens the index at indexPath into file and sets records to its whole
// 8-byte records (a partial last one is ignored). Reports and returns false
// when it cannot be opened or when the last number would pass 32 bits.
bool openJamIndex(const char* indexPath, const char* areaTag, std::uint32_t baseMsgNum,
                  FileDescriptor& file, std::uint32_t& records);

// Reads out.size() bytes of the index and closes it. Reports "! Error
// reading index file %s" and returns false on a short read.
bool readJamIndex(const char* indexPath, FileDescriptor& file, std::span<std::uint8_t> out);

// The HdrOffset of record position of a raw index.
inline std::uint32_t jamRecordOffset(const std::uint8_t* index, std::uint32_t position) {
  return load32(index + std::uint64_t{position} * jamIdxSize + jamIdxHdrOffsetOffset);
}

// True when the HdrOffset of a record that refers to a header lies past the
// header block, with room for a fixed header.
bool jamRecordSound(Bytes base, std::uint32_t ofs);

// True when two headers, taken in ascending offset, share or overlap in
// their fixed parts: storing the links of one would change the other.
bool jamHeadersOverlap(std::uint32_t previousOfs, std::uint32_t ofs);

// Checks the header at ofs, taken in ascending offset after a header that
// ended at previousEnd, which is moved to its end when it is ok.
JamHeaderCheck checkJamHeader(Bytes base, std::uint32_t ofs, std::uint64_t& previousEnd);

}  // namespace knotter
