// The areas a run processes, in processing order: filled by the configuration
// reader (or once for -#), narrowed and sorted by the area selection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings.h"

namespace knotter {

constexpr int maxTagLength = 99;

struct AreaRecord {
  std::string tag;           // as configured, or the base name for -#
  std::string path;          // base path without extension, unresolved
  std::int32_t linkType = 0; // own link type; 0 = take Settings::linkType
  BaseFormat format = BaseFormat::squish;
};

using AreaTable = std::vector<AreaRecord>;

extern AreaTable areaTable;

// Appends a record for the area (tag and path as given, path unresolved).
void appendArea(std::string_view tag, std::string_view path, std::int32_t linkType,
                BaseFormat format);

// Drops every area without a link type of its own, keeping the others' order.
void removeAreasWithoutLinkType();

// Stable sort by tag, ignoring the case of ASCII letters.
void sortAreasByTag();

}  // namespace knotter
