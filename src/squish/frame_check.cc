#include "squish/frame_check.h"

#include "log/area_reports.h"

namespace knotter {

FrameCheck FrameChecker::check(std::uint32_t ofs, FrameLayout& frame) {
  std::uint32_t id = 0;
  if (!readFrameId(base_, ofs, id)) return FrameCheck::outsideFile;
  if (id != sqhdrSignature) return FrameCheck::badFrame;
  if (!locateMessageHeader(base_, ofs, szSqhdr_, frame.header)) return FrameCheck::outsideFile;
  frame = layFrame(base_, ofs, szSqhdr_);
  if (parts_ == FrameParts::headerAndControl && frame.controlEnd > base_.size()) {
    return FrameCheck::outsideFile;
  }
  return order_.next(base_, ofs, szSqhdr_) ? FrameCheck::ok : FrameCheck::overlapping;
}

void reportFrameDamage(const char* areaTag, FrameCheck check, std::uint32_t umsgid,
                       std::uint32_t ofs) {
  if (check == FrameCheck::outsideFile) {
    reportAreaReadError(areaTag);
  } else {
    reportBadFrame(areaTag, umsgid, ofs);
  }
}

}  // namespace knotter
