// One area of the run: link its base through the row of its format, report
// the result and run the flag commands.
#pragma once

#include <cstddef>

#include "config/area_table.h"
#include "config/link_type.h"

namespace knotter {

// Longest base path of an area: a four-character suffix must still fit.
constexpr std::size_t maxAreaPathLength = 4090;

// True when the base path in areaPath is too long to name the area's files.
bool areaPathTooLong(const char* areaPath);

// Reports "! Cannot open file %s (36)" for a base path that is too long,
// showing its first maxAreaPathLength characters with the data file suffix.
void reportAreaPathTooLong(const char* areaPath, BaseFormat format);

// The link type an area is linked with: its own, or the run's.
LinkType linkTypeOf(const AreaRecord& area);

enum class AreaOutcome {
  failed,     // reported; no result line, no flag commands
  unchanged,  // linked, no header changed
  changed,    // linked, at least one header changed
};

// Processes one area. areaPath is the resolved base path without extension;
// a path longer than maxAreaPathLength is refused, never cut.
AreaOutcome processArea(const AreaRecord& area, const char* areaPath);

}  // namespace knotter
