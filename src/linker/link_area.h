// Linking one area, for every base format and link type: the one entry of
// the linker core. The core takes its tables, asks the format's source for
// the messages, decides the links and has the format's sink store them.
#pragma once

#include <cstdint>

#include "config/link_type.h"
#include "linker/area_source.h"
#include "linker/link_sink.h"

namespace knotter {

struct LinkRequest {
  LinkType type = LinkType::reply;
  const char* areaTag = "";         // hashes angle-bracket identifiers; names the area in reports
  std::int32_t subjectLength = 15;  // subject characters compared by Subj, 1 to 72
};

struct LinkCounts {
  std::uint32_t changed = 0;  // messages whose link fields were stored
  std::uint32_t total = 0;    // messages the area holds for linking
};

struct LinkOutcome {
  bool linked = false;  // false: reported, and the area given up
  LinkCounts counts;    // valid when linked
};

// Links the area behind source and sink. Every failure is reported once:
// by the format where it finds it, as "! Not enough memory" when the tables
// cannot be had, and otherwise as "! Error reading %s. Area is possibly
// damaged", for whatever escapes the steps, and for a fault on a mapped
// file (the file cut short under the mapping), which ends the work at once.
// REQUIRES: the subject scan table built (buildSubjectScanTable).
LinkOutcome linkArea(const LinkRequest& request, AreaSource& source, LinkSink& sink);

}  // namespace knotter
