// Finds the control information of a *.MSG text as it is read piece by
// piece: after any CR and LF bytes at the start of the text, the lines that
// begin with SOH or with "AREA:" (empty lines between them included), each
// ended by CR, LF or both in any order. The block ends at the first line that
// begins with anything else, at a NUL, or at the end of the file. What the
// kludge scanner is given runs from the first SOH to the end of the block:
// kludges further down the text (PATH, Via, or a quoted message's) do not
// count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace knotter {

struct ControlLines {
  enum class State : std::uint8_t { lineEnd, lineStart, inLine, over };
  State state = State::lineEnd;  // the start of the text is a line end
  bool started = false;          // the first SOH has been met
};

// The part of one piece that belongs to the control information, and how far
// the piece was decided: a piece that ends inside what may be "AREA:" is
// decided only up to that line's start, and the next piece must begin there.
struct ControlPiece {
  std::size_t feedBegin = 0;  // [feedBegin, feedEnd) goes to the scanner
  std::size_t feedEnd = 0;
  std::size_t consumed = 0;
};

// Takes the next piece of the text; last says that the file ends after it.
// Once lines.state is over, nothing more belongs to the block.
ControlPiece scanControlPiece(ControlLines& lines, std::span<const std::uint8_t> piece, bool last);

}  // namespace knotter
