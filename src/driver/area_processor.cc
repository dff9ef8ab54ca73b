#include "driver/area_processor.h"

#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "driver/command_hooks.h"
#include "jam/jam_linker.h"
#include "log/log.h"
#include "squish/base_files.h"
#include "squish/squish_linker.h"

namespace knotter {
namespace {

struct LinkCounts {
  std::int32_t changed = 0;
  std::int32_t total = 0;
};

// Prints "Linking %s" without a line end; the result completes the line.
void showProgress(const std::string& progress) {
  if (settings.quiet) return;
  consoleWrite(progress.c_str());
  settings.progressPending = true;
}

std::int32_t linkTypeOf(const AreaRecord& area) {
  return area.linkType != 0 ? area.linkType : settings.linkType;
}

// Links the open base with the area's own link type, or the run's.
bool linkArea(const AreaRecord& area, SquishBase& base, LinkCounts& counts) {
  const std::int32_t linkType = linkTypeOf(area);
  const Bytes bytes = base.mapping.bytes();
  const char* tag = area.tag.c_str();
  const DataFile data{base.dataFile.fd, base.dataPath.c_str()};  // for the write lock
  if (linkType == linkSubj) {
    return linkBySubject(tag, bytes, data, base.indexPath.c_str(), base.indexFile,
                         counts.changed, counts.total);
  }
  return linkByMsgId(linkType, tag, bytes, data, base.indexPath.c_str(), base.indexFile,
                     counts.changed, counts.total);
}

bool linkArea(const AreaRecord& area, JamBase& base, LinkCounts& counts) {
  std::uint32_t changed = 0;
  std::uint32_t total = 0;
  const bool linked = linkJamBase(linkTypeOf(area), area.tag.c_str(), base, changed, total);
  counts = LinkCounts{static_cast<std::int32_t>(changed), static_cast<std::int32_t>(total)};
  return linked;
}

// Releases the linked base (the index file and the mapping first, the file
// that holds the lock last), reports the counts, and runs the flag commands.
// dataPath names the file whose times are set when a header changed.
template <typename Base>
AreaOutcome finishArea(const std::string& progress, Base& base, const std::string& dataPath,
                       FileDescriptor& lockedFile, const LinkCounts& counts) {
  base.mapping.unmap();
  base.indexFile.close();
  char text[32];
  std::snprintf(text, sizeof text, ": %u of %u", static_cast<unsigned>(counts.changed),
                static_cast<unsigned>(counts.total));
  const bool anyChanged = counts.changed > 0;
  if (anyChanged) {
    ::utime(dataPath.c_str(), nullptr);
    logWrite(levelError, (progress + text).c_str(), true);
  }
  lockedFile.close();  // releases the lock before any flag command runs

  if (!settings.quiet) {
    consoleWrite((std::string(text) + "\n").c_str());
    settings.progressPending = false;
  }
  runFlagCommands();
  return anyChanged ? AreaOutcome::changed : AreaOutcome::unchanged;
}

}  // namespace

const char* dataFileSuffix(BaseFormat format) {
  return format == BaseFormat::jam ? ".jhr" : ".sqd";
}

bool areaPathTooLong(const char* areaPath) { return std::strlen(areaPath) > maxAreaPathLength; }

void reportAreaPathTooLong(const char* areaPath, BaseFormat format) {
  // Shown as far as it fits, with the suffix the data file would have.
  const std::string shown = std::string(areaPath, maxAreaPathLength) + dataFileSuffix(format);
  logMessage(levelError, "! Cannot open file %s (%u)", shown.c_str(),
             static_cast<unsigned>(ENAMETOOLONG));
}

AreaOutcome processArea(const AreaRecord& area, const char* areaPath) {
  const std::string progress = "Linking " + area.tag;
  showProgress(progress);
  if (areaPathTooLong(areaPath)) {
    reportAreaPathTooLong(areaPath, area.format);
    return AreaOutcome::failed;
  }
  LinkCounts counts;
  if (area.format == BaseFormat::jam) {
    JamBase base;
    if (!openJamBase(areaPath, area.tag.c_str(), base)) return AreaOutcome::failed;
    if (!linkArea(area, base, counts)) return AreaOutcome::failed;
    return finishArea(progress, base, base.headerPath, base.headerFile, counts);
  }
  SquishBase base;
  if (!openSquishBase(areaPath, base)) return AreaOutcome::failed;
  if (!linkArea(area, base, counts)) return AreaOutcome::failed;
  return finishArea(progress, base, base.dataPath, base.dataFile, counts);
}

}  // namespace knotter
