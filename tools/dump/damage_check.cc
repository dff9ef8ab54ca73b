#include "damage_check.h"

#include <vector>

#include "log/area_reports.h"

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
  // A JAM index is damaged, too, when two records name one header.
  for (const std::uint32_t position : inspection.fileOrder) {
    const MessageView& view = messages[position];
    if (view.state == FrameState::sharedHeader) {
      reportIndexDamaged(areaTag, view.position, view.ofs);
      return true;
    }
  }
  // Then it visits the frames front to back in the file, equal offsets in
  // index order, so the fault it reports is the first one there.
  for (const std::uint32_t position : inspection.fileOrder) {
    const MessageView& view = messages[position];
    if (view.state == FrameState::badFrame || view.state == FrameState::overlapping) {
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
    case FrameState::overlapping: return "overlapping-frame";
    case FrameState::sharedHeader: return "shared-header";
    case FrameState::noHeader:
    case FrameState::ok: break;
  }
  return "none";
}

}  // namespace knotter::dump
