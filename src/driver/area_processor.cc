#include "driver/area_processor.h"

#include <utime.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "driver/command_hooks.h"
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

// Links the open base with the area's own link type, or the run's.
bool linkArea(const AreaRecord& area, SquishBase& base, LinkCounts& counts) {
  const std::int32_t linkType = area.linkType != 0 ? area.linkType : settings.linkType;
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

// Releases the linked base (the mapping first, the data file and its lock
// last), reports the counts, and runs the flag commands.
AreaOutcome finishArea(const std::string& progress, SquishBase& base, const LinkCounts& counts) {
  base.mapping.unmap();
  base.indexFile.close();
  char text[32];
  std::snprintf(text, sizeof text, ": %u of %u", static_cast<unsigned>(counts.changed),
                static_cast<unsigned>(counts.total));
  const bool anyChanged = counts.changed > 0;
  if (anyChanged) {
    ::utime(base.dataPath.c_str(), nullptr);
    logWrite(levelError, (progress + text).c_str(), true);
  }
  base.dataFile.close();  // releases the lock before any flag command runs

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

void reportAreaPathTooLong(const char* areaPath) {
  // Shown as far as it fits, with the suffix the data file would have.
  const std::string shown = std::string(areaPath, maxAreaPathLength) + ".sqd";
  logMessage(levelError, "! Cannot open file %s (%u)", shown.c_str(),
             static_cast<unsigned>(ENAMETOOLONG));
}

AreaOutcome processArea(const AreaRecord& area, const char* areaPath) {
  // Each format has its own way through an area; JAM's is not linked yet.
  if (area.format != BaseFormat::squish) return AreaOutcome::failed;
  const std::string progress = "Linking " + area.tag;
  showProgress(progress);
  if (areaPathTooLong(areaPath)) {
    reportAreaPathTooLong(areaPath);
    return AreaOutcome::failed;
  }
  SquishBase base;
  if (!openSquishBase(areaPath, base)) return AreaOutcome::failed;
  LinkCounts counts;
  if (!linkArea(area, base, counts)) return AreaOutcome::failed;
  return finishArea(progress, base, counts);
}

}  // namespace knotter
