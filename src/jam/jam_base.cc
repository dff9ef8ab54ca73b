#include "jam/jam_base.h"

#include <fcntl.h>

#include "base/file_io.h"
#include "log/area_reports.h"

namespace knotter {
namespace {

// The header block must name the format and a first number of at least 1:
// with 0, readers disagree on what the numbers mean, and any we wrote could
// be wrong.
bool headerBlockSound(Bytes bytes) {
  return inBounds(bytes, 0, jamBlockSize) &&
         load32(bytes, jamBlockSignatureOffset) == jamSignature &&
         load32(bytes, jamBlockBaseMsgNumOffset) != 0;
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

bool jamRecordSound(Bytes base, std::uint32_t ofs) {
  return ofs >= jamBlockSize && inBounds(base, ofs, jamHdrSize);
}

bool jamHeadersOverlap(std::uint32_t previousOfs, std::uint32_t ofs) {
  return ofs < std::uint64_t{previousOfs} + jamHdrSize;
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

bool openJamBase(const char* basePath, const char* areaTag, OpenFor purpose, JamBase& base) {
  base.headerPath = std::string(basePath) + ".jhr";
  base.indexPath = std::string(basePath) + ".jdx";
  const bool linking = purpose == OpenFor::linking;
  int error = openRegularFile(base.headerPath.c_str(), linking ? O_RDWR : O_RDONLY,
                              base.headerFile);
  // The lock every JAM program takes: the first byte of the header file,
  // held from before the first read until after the last store. Inspecting
  // only keeps writers out.
  if (error == 0) error = lockRangeBounded(base.headerFile.fd, linking ? F_WRLCK : F_RDLCK, 0, 1);
  if (error != 0) {
    reportCannotOpen(base.headerPath.c_str(), error);
    return false;
  }
  const std::uint64_t size = fileSize(base.headerFile.fd);
  // An empty file cannot be mapped, and holds no base anyway.
  if (size == 0 || !base.mapping.map(base.headerFile.fd, static_cast<std::size_t>(size),
                                     linking ? PROT_READ | PROT_WRITE : PROT_READ)) {
    reportFileReadError(base.headerPath.c_str());
    return false;
  }
  // The first read of the mapping. The file may have been cut short since
  // it was sized, and the fault must cost only this area.
  bool sound = false;
  auto read = [&] {
    sound = readJamHeaderBlock(base.mapping.bytes(), areaTag, base.baseMsgNum, base.modCounter);
  };
  if (!guardMappingFaults(read)) {
    reportAreaReadError(areaTag);
    return false;
  }
  return sound;
}

bool readJamHeaderBlock(Bytes header, const char* areaTag, std::uint32_t& baseMsgNum,
                        std::uint32_t& modCounter) {
  if (!headerBlockSound(header)) {
    reportBaseDamaged(areaTag);
    return false;
  }
  baseMsgNum = load32(header, jamBlockBaseMsgNumOffset);
  modCounter = load32(header, jamBlockModCounterOffset);
  return true;
}

bool openJamIndex(const char* indexPath, const char* areaTag, std::uint32_t baseMsgNum,
                  FileDescriptor& file, std::uint32_t& records) {
  // No lock of its own: the header file's byte covers every file of the base.
  const int error = openRegularFile(indexPath, O_RDONLY, file);
  if (error != 0) {
    reportCannotOpen(indexPath, error);
    return false;
  }
  const std::uint64_t whole = fileSize(file.fd) / jamIdxSize;
  if (whole != 0 && baseMsgNum + (whole - 1) > 0xFFFFFFFF) {
    reportIndexFileDamaged(areaTag);
    return false;
  }
  records = static_cast<std::uint32_t>(whole);
  return true;
}

bool readJamIndex(const char* indexPath, FileDescriptor& file, std::span<std::uint8_t> out) {
  if (readFully(file.fd, out.data(), out.size()) != out.size()) {
    reportIndexReadError(indexPath);
    return false;
  }
  file.close();
  return true;
}

}  // namespace knotter
