// Reads a Squish-style configuration file (optionally with the HPT tosser's
// keywords) into the settings, the path mappings and the area table.
#pragma once

namespace knotter {

// Returns false only when the file cannot be opened; whatever it holds, an
// opened file counts as read.
bool readConfig(const char* path);

}  // namespace knotter
