#include "driver/area_processor.h"

#include <fcntl.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "driver/command_hooks.h"
#include "linker/reply_linker.h"
#include "linker/subject_linker.h"
#include "log/log.h"
#include "squish/file_lock.h"
#include "squish/holders.h"

namespace knotter {
namespace {

// Replaces the four-character suffix at the end of path.
void setSuffix(char* path, std::size_t baseLength, const char* suffix) {
  std::memcpy(path + baseLength, suffix, 5);
}

bool runLinker(std::int32_t linkType, const AreaRecord& area, Bytes base, const DataFile& dataFile,
               const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed,
               std::int32_t& total) {
  const char* tag = area.tag.c_str();
  if (linkType == linkSubj) {
    return linkBySubject(tag, base, dataFile, indexPath, indexFile, changed, total);
  }
  return linkByMsgId(linkType, tag, base, dataFile, indexPath, indexFile, changed, total);
}

}  // namespace

const char* dataFileSuffix(BaseFormat format) {
  return format == BaseFormat::jam ? ".jhr" : ".sqd";
}

bool areaPathTooLong(const char* areaPath) { return std::strlen(areaPath) > maxAreaPathLength; }

void reportAreaPathTooLong(char* areaPath) {
  // Shown as far as it fits, with the suffix the data file would have.
  setSuffix(areaPath, maxAreaPathLength, ".sqd");
  logMessage(levelError, "! Cannot open file %s (%u)", areaPath,
             static_cast<unsigned>(ENAMETOOLONG));
}

bool processArea(const AreaRecord& area, char* areaPath) {
  // Each format has its own way through an area; JAM's is not linked yet.
  if (area.format != BaseFormat::squish) return false;
  const std::string progress = "Linking " + area.tag;
  if (!settings.quiet) {
    consoleWrite(progress.c_str());
    settings.progressPending = true;
  }

  if (areaPathTooLong(areaPath)) {
    reportAreaPathTooLong(areaPath);
    return false;
  }
  const std::size_t baseLength = std::strlen(areaPath);
  setSuffix(areaPath, baseLength, ".sqd");

  // Declared in the order taken, so that an early return releases the index
  // file first, then the mapping, then the data file with its lock.
  FileDescriptor dataFile;
  if (!openLocked(areaPath, O_RDWR, dataFile)) return false;
  const std::uint64_t size = fileSize(dataFile.fd);
  if (size == 0) {
    logMessage(levelError, "! Error reading file %s", areaPath);
    return false;
  }
  Mapping mapping(dataFile.fd, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE);
  if (!mapping.mapped()) {
    logMessage(levelError, "! Error reading file %s", areaPath);
    return false;
  }
  FileDescriptor indexFile;
  const std::string dataPath = areaPath;  // for a linker that cannot have the write lock

  setSuffix(areaPath, baseLength, ".sqi");
  const std::int32_t linkType = area.linkType != 0 ? area.linkType : settings.linkType;
  std::int32_t changed = 0;
  std::int32_t total = 0;
  const DataFile data{dataFile.fd, dataPath.c_str()};
  if (!runLinker(linkType, area, mapping.bytes(), data, areaPath, indexFile, changed, total)) {
    return false;
  }

  mapping.unmap();
  indexFile.close();
  char counts[32];
  std::snprintf(counts, sizeof counts, ": %u of %u", static_cast<unsigned>(changed),
                static_cast<unsigned>(total));
  setSuffix(areaPath, baseLength, ".sqd");
  const bool anyChanged = changed > 0;
  if (anyChanged) {
    ::utime(areaPath, nullptr);
    logWrite(levelError, (progress + counts).c_str(), true);
  }
  dataFile.close();  // releases the lock before any flag command runs

  if (!settings.quiet) {
    consoleWrite((std::string(counts) + "\n").c_str());
    settings.progressPending = false;
  }
  runFlagCommands();
  return anyChanged;
}

}  // namespace knotter
