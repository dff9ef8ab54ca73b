// One area of the run: open, lock and map its base, hand it to the linker
// its link type calls for, report the result and release the base.
#pragma once

#include "config/area_table.h"

namespace knotter {

enum class AreaOutcome {
  failed,     // reported; no result line, no flag commands
  unchanged,  // linked, no header changed
  changed,    // linked, at least one header changed
};

// Processes one area. areaPath is the resolved base path without extension.
AreaOutcome processArea(const AreaRecord& area, const char* areaPath);

}  // namespace knotter
