// The files of one Squish base while it is linked: the data file, opened
// read-write under the bounded shared lock and mapped shared, and the slot
// for the index file that the linker opens itself.
#pragma once

#include <string>

#include "squish/holders.h"

namespace knotter {

// Members are released in reverse order: the index file first, then the
// mapping, then the data file with its lock.
struct SquishBase {
  std::string dataPath;   // base path + ".sqd"
  std::string indexPath;  // base path + ".sqi"
  FileDescriptor dataFile;
  Mapping mapping;
  FileDescriptor indexFile;
};

// Opens, locks and maps the data file of the base at basePath. Reports
// "! Cannot open file %s (%u)" or "! Error reading file %s" with the data
// file path and returns false; whatever was taken is released by base.
bool openSquishBase(const char* basePath, SquishBase& base);

}  // namespace knotter
