#include "jam/jam_base.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/file_io.h"
#include "log/log.h"
#include "squish/damage_reports.h"
#include "squish/file_lock.h"

namespace knotter {
namespace {

void reportCannotOpen(const std::string& path, int error) {
  logMessage(levelError, "! Cannot open file %s (%u)", path.c_str(),
             static_cast<unsigned>(error));
}

// The header block must name the format and a first number of at least 1:
// with 0, readers disagree on what the numbers mean, and any we wrote could
// be wrong.
bool headerBlockSound(Bytes bytes) {
  return inBounds(bytes, 0, jamBlockSize) &&
         load32(bytes, jamBlockSignatureOffset) == jamSignature &&
         load32(bytes, jamBlockBaseMsgNumOffset) != 0;
}

// Turns the raw records in storage into packed headers in place (record i
// is read before slot i is written), checking each HdrOffset in index order.
bool collectHeaders(Bytes bytes, const char* areaTag, std::uint32_t records,
                    std::uint64_t* storage, std::uint32_t& count) {
  const auto* raw = reinterpret_cast<const std::uint8_t*>(storage);
  count = 0;
  for (std::uint32_t i = 0; i < records; ++i) {
    const std::uint32_t ofs = jamRecordOffset(raw, i);
    if (ofs == jamNoHeader) continue;  // a hard-deleted slot, whatever its UserCRC
    if (!jamRecordSound(bytes, areaTag, i, ofs)) return false;
    const std::uint64_t header = frameOf(ofs, i);
    std::memcpy(storage + count++, &header, sizeof header);
  }
  return true;
}

// True when the subfields in [at, end) fill it exactly.
bool subfieldsWhole(Bytes bytes, std::uint64_t at, std::uint64_t end) {
  while (at < end) {
    if (end - at < jamSubHeadSize) return false;
    const std::uint32_t datLen = load32(bytes, at + jamSubDatLenOffset);
    if (datLen > end - at - jamSubHeadSize) return false;
    at += jamSubHeadSize + datLen;
  }
  return true;
}

}  // namespace

bool jamRecordSound(Bytes base, const char* areaTag, std::uint32_t position, std::uint32_t ofs) {
  if (ofs >= jamBlockSize && inBounds(base, ofs, jamHdrSize)) return true;
  reportIndexDamaged(areaTag, position, ofs);
  return false;
}

// Two records for one header, or fixed headers that overlap: storing the
// links of one would change the other.
bool jamHeadersOverlap(std::uint64_t previous, std::uint64_t header) {
  return frameOfs(header) < std::uint64_t{frameOfs(previous)} + jamHdrSize;
}

bool jamHeaderApart(const char* areaTag, std::uint64_t previous, std::uint64_t header) {
  if (!jamHeadersOverlap(previous, header)) return true;
  reportIndexDamaged(areaTag, framePosition(header), frameOfs(header));
  return false;
}

JamHeaderCheck checkJamHeader(Bytes base, std::uint32_t ofs, std::uint64_t& previousEnd) {
  if (load32(base, ofs + jamHdrSignatureOffset) != jamSignature ||
      load16(base, ofs + jamHdrRevisionOffset) != jamRevision) {
    return JamHeaderCheck::badHeader;
  }
  const std::uint64_t subfields = std::uint64_t{ofs} + jamHdrSize;
  const std::uint64_t end = subfields + load32(base, ofs + jamHdrSubfieldLenOffset);
  if (end > base.size() ||
      (!jamHeaderDeleted(base, ofs) && !subfieldsWhole(base, subfields, end))) {
    return JamHeaderCheck::outsideFile;
  }
  if (ofs < previousEnd) return JamHeaderCheck::overlapping;
  previousEnd = end;
  return JamHeaderCheck::ok;
}

bool jamHeaderSound(Bytes bytes, const char* areaTag, std::uint32_t baseMsgNum,
                    std::uint64_t header, std::uint64_t& previousEnd) {
  const std::uint32_t ofs = frameOfs(header);
  switch (checkJamHeader(bytes, ofs, previousEnd)) {
    case JamHeaderCheck::ok:
      return true;
    case JamHeaderCheck::outsideFile:
      reportAreaReadError(areaTag);
      return false;
    case JamHeaderCheck::badHeader:
    case JamHeaderCheck::overlapping:
      break;
  }
  reportBadFrame(areaTag, baseMsgNum + framePosition(header), ofs);
  return false;
}

bool openJamBase(const char* basePath, const char* areaTag, JamBase& base, JamAccess access) {
  base.headerPath = std::string(basePath) + ".jhr";
  base.indexPath = std::string(basePath) + ".jdx";
  const bool link = access == JamAccess::link;
  base.headerFile.fd = ::open(base.headerPath.c_str(), (link ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  // The lock every JAM program takes: the first byte of the header file,
  // held from before the first read until after the last store. Inspecting
  // only keeps writers out.
  const int error = base.headerFile.fd < 0
                        ? errno
                        : lockRangeBounded(base.headerFile.fd, link ? F_WRLCK : F_RDLCK, 0, 1);
  if (error != 0) {
    reportCannotOpen(base.headerPath, error);
    return false;
  }
  const std::uint64_t size = fileSize(base.headerFile.fd);
  // An empty file cannot be mapped, and holds no base anyway.
  if (size == 0 || !base.mapping.map(base.headerFile.fd, static_cast<std::size_t>(size),
                                     link ? PROT_READ | PROT_WRITE : PROT_READ)) {
    reportFileReadError(base.headerPath.c_str());
    return false;
  }
  if (!headerBlockSound(base.mapping.bytes())) {
    reportBaseDamaged(areaTag);
    return false;
  }
  base.baseMsgNum = load32(base.mapping.bytes(), jamBlockBaseMsgNumOffset);
  base.modCounter = load32(base.mapping.bytes(), jamBlockModCounterOffset);
  return true;
}

bool openJamIndex(JamBase& base, const char* areaTag, std::uint32_t& records) {
  // No lock of its own: the header file's byte covers every file of the base.
  base.indexFile.fd = ::open(base.indexPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (base.indexFile.fd < 0) {
    reportCannotOpen(base.indexPath, errno);
    return false;
  }
  const std::uint64_t whole = fileSize(base.indexFile.fd) / jamIdxSize;
  if (whole != 0 && base.baseMsgNum + (whole - 1) > 0xFFFFFFFF) {
    reportIndexFileDamaged(areaTag);
    return false;
  }
  records = static_cast<std::uint32_t>(whole);
  return true;
}

bool readJamIndex(JamBase& base, std::uint32_t records, std::uint8_t* destination) {
  const std::uint64_t wanted = std::uint64_t{records} * jamIdxSize;
  if (readFully(base.indexFile.fd, destination, wanted) != wanted) {
    reportIndexReadError(base.indexPath.c_str());
    return false;
  }
  base.indexFile.close();
  return true;
}

bool listJamHeaders(JamBase& base, const char* areaTag, std::uint32_t records,
                    std::uint64_t* storage, std::uint32_t& count) {
  if (!readJamIndex(base, records, reinterpret_cast<std::uint8_t*>(storage))) return false;
  const Bytes bytes = base.mapping.bytes();
  if (!collectHeaders(bytes, areaTag, records, storage, count)) return false;
  std::sort(storage, storage + count);
  return jamHeadersSound(bytes, areaTag, base.baseMsgNum, count,
                         [&](std::uint32_t k) { return storage[k]; });
}

}  // namespace knotter
