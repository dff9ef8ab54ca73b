// Finds the control information of a *.MSG text as it is read piece by piece:
// after any line ends at the start, the lines that begin with SOH or "AREA:",
// each ended by CR, LF or both (empty lines between them included), up to a
// line of another kind, a NUL or the end of the file. The scanner is given
// the block from its first SOH: kludges further down the text do not count.
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
