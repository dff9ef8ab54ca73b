// Reads a Squish-style configuration file (optionally with the HPT tosser's
// keywords) into the settings, the path mappings and the area table.
#pragma once

#include "config/area_line.h"

namespace knotter {

// Returns false when the file cannot be opened or read (a directory, a
// device or a socket counts as one that cannot be opened); whatever a
// readable file holds, it counts as read. Include files are read at the
// place of their line; one that is already being read, or nested more than
// 32 levels deep, is skipped like a missing one, and so is one whose name
// does not fit. refuseOnlyArea hears of each area line for the -a area
// that declares no base to be linked.
bool readConfig(const char* path, OnlyAreaRefusal refuseOnlyArea = nullptr);

}  // namespace knotter
