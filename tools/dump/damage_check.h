// Tells whether the linker would give a base up, and says so in the linker's
// own words: the same reporters, the same order of checks, the first fault.
#pragma once

#include "base_inspection.h"

namespace knotter::dump {

// Reports the first fault the linker would meet in an inspected base: an
// index entry beyond end_frame (in index order), else a bad frame or one
// reaching past the end of the file (in ascending ofs). True when damaged.
bool reportDamage(const char* areaTag, const BaseInspection& inspection);

// The word the listing prints for a damaged message ("bad-frame", ...).
const char* damageName(FrameState state);

}  // namespace knotter::dump
