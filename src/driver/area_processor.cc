#include "driver/area_processor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "driver/command_hooks.h"
#include "formats/format_table.h"
#include "log/area_reports.h"
#include "log/log.h"

namespace knotter {
namespace {

// Logs the counts when a header changed, completes the progress line with
// them, and runs the flag commands; the base is released by then.
AreaOutcome finishArea(const std::string& progress, const LinkCounts& counts) {
  char text[32];
  std::snprintf(text, sizeof text, ": %u of %u", static_cast<unsigned>(counts.changed),
                static_cast<unsigned>(counts.total));
  const bool anyChanged = counts.changed > 0;
  if (anyChanged) logWrite(levelError, (progress + text).c_str(), true);
  endProgress((std::string(text) + "\n").c_str());
  runFlagCommands();
  return anyChanged ? AreaOutcome::changed : AreaOutcome::unchanged;
}

}  // namespace

bool areaPathTooLong(const char* areaPath) { return std::strlen(areaPath) > maxAreaPathLength; }

void reportAreaPathTooLong(const char* areaPath, BaseFormat format) {
  // Shown as far as it fits, with the suffix the data file would have.
  const std::string shown = std::string(areaPath, maxAreaPathLength) + formatRow(format).dataSuffix;
  reportCannotOpen(shown.c_str(), ENAMETOOLONG);
}

LinkType linkTypeOf(const AreaRecord& area) {
  return static_cast<LinkType>(area.linkType != 0 ? area.linkType : settings.linkType);
}

AreaOutcome processArea(const AreaRecord& area, const char* areaPath) {
  const std::string progress = "Linking " + area.tag;
  showProgress(progress.c_str());
  if (areaPathTooLong(areaPath)) {
    reportAreaPathTooLong(areaPath, area.format);
    return AreaOutcome::failed;
  }
  const AreaJob job{areaPath, {linkTypeOf(area), area.tag.c_str(), settings.subjectLength}};
  const LinkOutcome outcome = formatRow(area.format).link(job);
  if (!outcome.linked) return AreaOutcome::failed;
  return finishArea(progress, outcome.counts);
}

}  // namespace knotter
