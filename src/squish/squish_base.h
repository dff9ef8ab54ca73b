// The files of one Squish base while it is linked or inspected: the data
// file, opened under the bounded shared lock and mapped shared, and the
// index file, opened, checked against high_msg and read once.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/file_descriptor.h"
#include "base/file_lock.h"
#include "base/mapping.h"

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

// Opens, locks and maps the data file of the base at basePath: read-write
// for linking, read-only for inspecting. Reports "! Cannot open file %s
// (%u)" or "! Error reading file %s" with the data file path and returns
// false; whatever was taken is released by base.
bool openSquishBase(const char* basePath, OpenFor purpose, SquishBase& base);

// Opens the index at indexPath into file under the bounded shared lock and
// makes sure it holds count entries, before anything is sized by count.
// Reports "! Cannot open file %s (%u)" or, for an index too short,
// "! Error reading index file %s", and returns false.
bool openSquishIndex(const char* indexPath, std::uint32_t count, FileDescriptor& file);

// Reads out.size() bytes of the index opened by openSquishIndex and closes
// it, releasing the lock. Reports "! Error reading index file %s" and
// returns false on a short read.
bool readSquishIndex(const char* indexPath, FileDescriptor& file, std::span<std::uint8_t> out);

}  // namespace knotter
