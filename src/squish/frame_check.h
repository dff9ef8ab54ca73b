// The one check of a Squish frame that every reader of a base makes before it
// uses a message: the linkers and the inspector alike. Frames are checked in
// ascending ofs (equal offsets in index order), so that a frame that begins
// inside one before it is found.
#pragma once

#include <cstdint>

#include "squish/format.h"

namespace knotter {

// What is wrong with a frame, in the order it is checked.
enum class FrameCheck : std::uint8_t {
  ok,
  badFrame,     // the frame id is not the Squish signature
  outsideFile,  // what is read of the frame lies past the end of the data file,
                // or sz_sqhdr is too small for a frame header
  overlapping,  // the frame begins inside a frame before it in the file
};

// What a reader takes from a frame: subject linking reads only the message
// header, so its control information may reach past the end of the file.
enum class FrameParts : std::uint8_t { header, headerAndControl };

class FrameChecker {
 public:
  FrameChecker(Bytes base, std::uint16_t szSqhdr, FrameParts parts)
      : base_(base), szSqhdr_(szSqhdr), parts_(parts) {}
  // Checks the next frame, at ofs, and locates its parts in frame. Reads
  // nothing outside the data file. A frame that failed is not counted for
  // the overlap of those after it.
  FrameCheck check(std::uint32_t ofs, FrameLayout& frame);

 private:
  Bytes base_;
  std::uint16_t szSqhdr_;
  FrameParts parts_;
  FrameOrder order_;
};

// Reports a failed check as the linkers word it: a bad or overlapping frame
// with the message's umsgid and ofs, anything outside the file as a read
// error of the area.
void reportFrameDamage(const char* areaTag, FrameCheck check, std::uint32_t umsgid,
                       std::uint32_t ofs);

}  // namespace knotter
