#include "linker/link_area.h"

#include <stdexcept>

#include "base/mapping.h"
#include "linker/area_steps.h"
#include "log/area_reports.h"

namespace knotter {
namespace {

// The steps under the catch-all: whatever escapes them (a table that would
// not end, a contract a format broke) is reported as a read error of the
// area, and nothing is counted.
LinkOutcome linkSteps(const LinkRequest& request, AreaSource& source, LinkSink& sink) {
  LinkOutcome outcome;
  try {
    outcome.linked = request.type == LinkType::subj
                         ? linkBySubject(request, source, sink, outcome.counts)
                         : linkByMsgId(request, source, sink, outcome.counts);
  } catch (...) {
    reportAreaReadError(request.areaTag);
    return LinkOutcome{};
  }
  if (!outcome.linked) outcome.counts = LinkCounts{};
  return outcome;
}

}  // namespace

LinkOutcome linkArea(const LinkRequest& request, AreaSource& source, LinkSink& sink) {
  LinkOutcome outcome;
  auto work = [&] { outcome = linkSteps(request, source, sink); };
  if (!guardMappingFaults(work)) {
    reportAreaReadError(request.areaTag);
    return LinkOutcome{};
  }
  return outcome;
}

std::uint32_t numberAt(AreaSource& source, std::uint32_t position) {
  IndexEntry entry;
  if (!source.entry(position, entry) || !entry.message) {
    throw std::logic_error("an index entry read differently the second time");
  }
  return entry.number;
}

bool fieldsDiffer(const LinkFields& current, const LinkFields& fresh, const LinkShape& shape) {
  if (current.replyTo != fresh.replyTo) return true;
  for (std::uint32_t k = 0; k < shape.replySlots; ++k) {
    if (current.replies[k] != fresh.replies[k]) return true;
  }
  return shape.siblingField && current.nextReply != fresh.nextReply;
}

void requireFits(const LinkShape& shape, std::uint32_t number) {
  if (number > shape.largestNumber) throw std::logic_error("a number the format cannot hold");
}

}  // namespace knotter
