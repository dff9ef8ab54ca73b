// The one check of a Squish frame that every reader of a base makes before it
// uses a message: the linkers and the inspector alike.
#pragma once

#include <cstdint>

#include "squish/format.h"

namespace knotter {

// What is wrong with a frame, in the order it is checked.
enum class FrameCheck : std::uint8_t {
  ok,
  badFrame,            // the frame id is not the Squish signature
  outsideFile,         // frame or message header past the end of the data file, or a
                       // sz_sqhdr too small for a frame header
  controlOutsideFile,  // only the control information reaches past the end
};

// Checks the frame at ofs and, as far as it passed, locates its parts in
// frame. Reads nothing outside the data file.
FrameCheck checkFrame(Bytes base, std::uint32_t ofs, std::uint16_t szSqhdr, FrameLayout& frame);

// Reports a failed check as the linkers word it: a bad frame with the
// message's umsgid and ofs, anything outside the file as a read error.
void reportFrameDamage(const char* areaTag, FrameCheck check, std::uint32_t umsgid,
                       std::uint32_t ofs);

}  // namespace knotter
