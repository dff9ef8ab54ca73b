// One area of the run: open, lock and map its data file, hand it to the
// linker its link type calls for, report the result and release the base.
#pragma once

#include "config/area_table.h"

namespace knotter {

// Processes one area. areaPath is the resolved base path without extension,
// in a pathBufferSize buffer (at most 4090 characters, so a suffix fits).
// Returns true when the linker succeeded and changed at least one header.
bool processArea(const AreaRecord& area, char* areaPath);

}  // namespace knotter
