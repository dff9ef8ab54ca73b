#include "squish/frame_check.h"

#include "squish/damage_reports.h"

namespace knotter {

FrameCheck checkFrame(Bytes base, std::uint32_t ofs, std::uint16_t szSqhdr, FrameLayout& frame) {
  std::uint32_t id = 0;
  if (!readFrameId(base, ofs, id)) return FrameCheck::outsideFile;
  if (id != sqhdrSignature) return FrameCheck::badFrame;
  if (!locateMessageHeader(base, ofs, szSqhdr, frame.header)) return FrameCheck::outsideFile;
  frame.control = frame.header + xmsgSize;
  frame.controlEnd = frame.control + load32(base, ofs + sqhdrClenOffset);
  return frame.controlEnd <= base.size() ? FrameCheck::ok : FrameCheck::controlOutsideFile;
}

void reportFrameDamage(const char* areaTag, FrameCheck check, std::uint32_t umsgid,
                       std::uint32_t ofs) {
  if (check == FrameCheck::badFrame) {
    reportBadFrame(areaTag, umsgid, ofs);
  } else {
    reportAreaReadError(areaTag);
  }
}

}  // namespace knotter
