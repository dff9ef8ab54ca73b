#include "damage_check.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "squish/damage_reports.h"

namespace knotter::dump {

bool reportDamage(const char* areaTag, const BaseInspection& inspection) {
  const std::vector<MessageView>& messages = inspection.messages;
  // The linker checks every offset against end_frame before it reads a frame.
  for (const MessageView& view : messages) {
    if (view.state == FrameState::beyondEndFrame) {
      reportIndexDamaged(areaTag, view.position, view.ofs);
      return true;
    }
  }
  // Then it visits the frames front to back in the file, equal offsets in
  // index order, so the fault it reports is the first one there.
  std::vector<std::uint32_t> order(messages.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return messages[a].ofs < messages[b].ofs;
  });
  for (const std::uint32_t position : order) {
    const MessageView& view = messages[position];
    if (view.state == FrameState::badFrame) {
      reportBadFrame(areaTag, view.umsgid, view.ofs);
      return true;
    }
    if (view.state == FrameState::outsideFile) {
      reportAreaReadError(areaTag);
      return true;
    }
  }
  return false;
}

const char* damageName(FrameState state) {
  switch (state) {
    case FrameState::beyondEndFrame: return "beyond-end-frame";
    case FrameState::outsideFile: return "outside-file";
    case FrameState::badFrame: return "bad-frame";
    case FrameState::ok: break;
  }
  return "none";
}

}  // namespace knotter::dump
