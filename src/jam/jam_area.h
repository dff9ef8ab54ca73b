// A JAM area while it is linked or inspected: its files, and the source and
// sink the linker core links it through.
#pragma once

#include <optional>

#include "jam/jam_base.h"
#include "jam/jam_sink.h"
#include "jam/jam_source.h"

namespace knotter {

struct JamArea {
  JamBase base;
  std::optional<JamSource> source;
  std::optional<JamSink> sink;
};

// Opens the base at basePath (see openJamBase) and sets up its source and
// sink. False after a report; whatever was taken is released by area.
bool openArea(const char* basePath, const char* areaTag, OpenFor purpose, JamArea& area);

// Releases the base: the index and the mapping first, then the header file
// with its lock; when headers changed, the header file's times are set to
// now first.
void closeArea(JamArea& area, bool changed);

// The file whose path %p names: the header file.
constexpr const char* jamDataSuffix = ".jhr";

}  // namespace knotter
