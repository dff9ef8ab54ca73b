#include "msg/control_lines.h"

#include <cstring>
#include <string_view>

namespace knotter {
namespace {

using State = ControlLines::State;

constexpr std::uint8_t soh = 0x01;
constexpr std::string_view areaLine = "AREA:";

bool isLineEnd(std::uint8_t byte) { return byte == '\r' || byte == '\n'; }

enum class AreaMatch { yes, no, undecided };

// Whether the line starting at at begins with "AREA:", as far as the piece
// shows it.
AreaMatch matchAreaLine(std::span<const std::uint8_t> piece, std::size_t at, bool last) {
  const std::size_t available = piece.size() - at;
  const std::size_t compared = available < areaLine.size() ? available : areaLine.size();
  if (std::memcmp(piece.data() + at, areaLine.data(), compared) != 0) return AreaMatch::no;
  if (compared == areaLine.size()) return AreaMatch::yes;
  return last ? AreaMatch::no : AreaMatch::undecided;
}

// The first byte of a line, at at: a kludge line, an AREA: line, or the end
// of the block. False when the piece ends before that can be told.
bool takeLineStart(ControlLines& lines, std::span<const std::uint8_t> piece, bool last,
                   std::size_t& at, ControlPiece& out) {
  if (piece[at] == soh) {
    if (!lines.started) out.feedBegin = at;
    lines.started = true;
    lines.state = State::inLine;
    ++at;
    return true;
  }
  switch (piece[at] == 'A' ? matchAreaLine(piece, at, last) : AreaMatch::no) {
    case AreaMatch::yes:
      lines.state = State::inLine;
      at += areaLine.size();
      return true;
    case AreaMatch::no:
      lines.state = State::over;
      return true;
    case AreaMatch::undecided:
      break;
  }
  return false;
}

// Moves at past the rest of a line; a NUL ends the text, and the line with it.
void takeLine(ControlLines& lines, std::span<const std::uint8_t> piece, std::size_t& at) {
  while (at < piece.size()) {
    const std::uint8_t byte = piece[at];
    if (byte == 0) {
      lines.state = State::over;
      return;
    }
    ++at;
    if (isLineEnd(byte)) {
      lines.state = State::lineEnd;
      return;
    }
  }
}

}  // namespace

ControlPiece scanControlPiece(ControlLines& lines, std::span<const std::uint8_t> piece, bool last) {
  ControlPiece out;
  std::size_t at = 0;
  bool decided = true;
  while (at < piece.size() && lines.state != State::over && decided) {
    switch (lines.state) {
      case State::lineEnd:
        // Line ends, and the empty lines they make, are skipped.
        while (at < piece.size() && isLineEnd(piece[at])) ++at;
        if (at < piece.size()) lines.state = State::lineStart;
        break;
      case State::lineStart:
        decided = takeLineStart(lines, piece, last, at, out);
        break;
      case State::inLine:
        takeLine(lines, piece, at);
        break;
      case State::over:
        break;
    }
  }
  if (last && decided) lines.state = State::over;
  // The block runs on from the first SOH; what was not decided is read again.
  out.feedEnd = lines.started ? at : out.feedBegin;
  out.consumed = at;
  return out;
}

}  // namespace knotter
