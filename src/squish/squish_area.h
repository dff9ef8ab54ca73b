// A Squish area while it is linked or inspected: its files, and the source
// and sink the linker core links it through.
#pragma once

#include <optional>

#include "squish/squish_base.h"
#include "squish/squish_sink.h"
#include "squish/squish_source.h"

namespace knotter {

struct SquishArea {
  SquishBase base;
  std::optional<SquishSource> source;
  std::optional<SquishSink> sink;
};

// Opens the base at basePath (see openSquishBase) and sets up its source
// and sink. False after a report; whatever was taken is released by area.
bool openArea(const char* basePath, const char* areaTag, OpenFor purpose, SquishArea& area);

// Releases the base: the index and the mapping first, then the data file
// with its lock; when headers changed, the data file's times are set to now
// first, so that backup tools and readers see the change.
void closeArea(SquishArea& area, bool changed);

// The file whose path %p names: the data file.
constexpr const char* squishDataSuffix = ".sqd";

}  // namespace knotter
