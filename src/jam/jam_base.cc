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
    const std::uint32_t ofs = load32(raw + std::uint64_t{i} * jamIdxSize + jamIdxHdrOffsetOffset);
    if (ofs == jamNoHeader) continue;  // a hard-deleted slot, whatever its UserCRC
    if (ofs < jamBlockSize || !inBounds(bytes, ofs, jamHdrSize)) {
      reportIndexDamaged(areaTag, i, ofs);
      return false;
    }
    const std::uint64_t header = jamHeaderOf(ofs, i);
    std::memcpy(storage + count++, &header, sizeof header);
  }
  return true;
}

// Two records for one header, or fixed headers that overlap: storing the
// links of one would change the other.
bool headersApart(const char* areaTag, const std::uint64_t* headers, std::uint32_t count) {
  for (std::uint32_t k = 1; k < count; ++k) {
    const std::uint32_t ofs = jamHeaderOfs(headers[k]);
    if (ofs < std::uint64_t{jamHeaderOfs(headers[k - 1])} + jamHdrSize) {
      reportIndexDamaged(areaTag, jamHeaderPosition(headers[k]), ofs);
      return false;
    }
  }
  return true;
}

// True when the subfields of the header at ofs fill [begin, end) exactly.
bool subfieldsWhole(Bytes bytes, std::uint64_t at, std::uint64_t end) {
  while (at < end) {
    if (end - at < jamSubHeadSize) return false;
    const std::uint32_t datLen = load32(bytes, at + jamSubDatLenOffset);
    if (datLen > end - at - jamSubHeadSize) return false;
    at += jamSubHeadSize + datLen;
  }
  return true;
}

// Checks one header, taken in ascending offset after the header that ended
// at previousEnd, and sets previousEnd to its own end.
bool headerSound(Bytes bytes, const char* areaTag, std::uint32_t baseMsgNum,
                 std::uint64_t header, std::uint64_t& previousEnd) {
  const std::uint32_t ofs = jamHeaderOfs(header);
  const std::uint32_t number = baseMsgNum + jamHeaderPosition(header);
  if (load32(bytes, ofs + jamHdrSignatureOffset) != jamSignature ||
      load16(bytes, ofs + jamHdrRevisionOffset) != jamRevision) {
    reportBadFrame(areaTag, number, ofs);
    return false;
  }
  const std::uint64_t subfields = std::uint64_t{ofs} + jamHdrSize;
  const std::uint64_t end = subfields + load32(bytes, ofs + jamHdrSubfieldLenOffset);
  if (end > bytes.size() ||
      (!jamHeaderDeleted(bytes, ofs) && !subfieldsWhole(bytes, subfields, end))) {
    reportAreaReadError(areaTag);
    return false;
  }
  if (ofs < previousEnd) {
    reportBadFrame(areaTag, number, ofs);
    return false;
  }
  previousEnd = end;
  return true;
}

}  // namespace

bool openJamBase(const char* basePath, const char* areaTag, JamBase& base) {
  base.headerPath = std::string(basePath) + ".jhr";
  base.indexPath = std::string(basePath) + ".jdx";
  base.headerFile.fd = ::open(base.headerPath.c_str(), O_RDWR | O_CLOEXEC);
  // The lock every JAM writer takes: the first byte of the header file,
  // held from before the first read until after the last store.
  const int error =
      base.headerFile.fd < 0 ? errno : lockRangeBounded(base.headerFile.fd, F_WRLCK, 0, 1);
  if (error != 0) {
    reportCannotOpen(base.headerPath, error);
    return false;
  }
  const std::uint64_t size = fileSize(base.headerFile.fd);
  // An empty file cannot be mapped, and holds no base anyway.
  if (size == 0 || !base.mapping.map(base.headerFile.fd, static_cast<std::size_t>(size),
                                     PROT_READ | PROT_WRITE)) {
    reportFileReadError(base.headerPath.c_str());
    return false;
  }
  if (!headerBlockSound(base.mapping.bytes())) {
    reportBaseDamaged(areaTag);
    return false;
  }
  base.baseMsgNum = load32(base.mapping.bytes(), jamBlockBaseMsgNumOffset);
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

bool listJamHeaders(JamBase& base, const char* areaTag, std::uint32_t records,
                    std::uint64_t* storage, std::uint32_t& count) {
  const std::uint64_t wanted = std::uint64_t{records} * jamIdxSize;
  if (readFully(base.indexFile.fd, reinterpret_cast<std::uint8_t*>(storage), wanted) != wanted) {
    reportIndexReadError(base.indexPath.c_str());
    return false;
  }
  base.indexFile.close();
  const Bytes bytes = base.mapping.bytes();
  if (!collectHeaders(bytes, areaTag, records, storage, count)) return false;
  std::sort(storage, storage + count);
  if (!headersApart(areaTag, storage, count)) return false;
  std::uint64_t previousEnd = 0;
  for (std::uint32_t k = 0; k < count; ++k) {
    if (!headerSound(bytes, areaTag, base.baseMsgNum, storage[k], previousEnd)) return false;
  }
  return true;
}

}  // namespace knotter
