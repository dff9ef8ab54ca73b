#include "msg/control_lines.h"

#include <cstring>
#include <string_view>

namespace knotter {
namespace {

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

}  // namespace

ControlPiece scanControlPiece(ControlLines& lines, std::span<const std::uint8_t> piece, bool last) {
  using State = ControlLines::State;
  ControlPiece out;
  std::size_t at = 0;
  const std::size_t size = piece.size();
  while (at < size && lines.state != State::over) {
    const std::uint8_t byte = piece[at];
    switch (lines.state) {
      case State::lineEnd:
        if (isLineEnd(byte)) {
          ++at;
        } else {
          lines.state = State::lineStart;
        }
        break;
      case State::lineStart:
        if (byte == soh) {
          if (!lines.started) out.feedBegin = at;
          lines.started = true;
          lines.state = State::inLine;
          ++at;
          break;
        }
        switch (byte == 'A' ? matchAreaLine(piece, at, last) : AreaMatch::no) {
          case AreaMatch::yes:
            lines.state = State::inLine;
            at += areaLine.size();
            break;
          case AreaMatch::no:
            lines.state = State::over;
            break;
          case AreaMatch::undecided:
            out.feedEnd = lines.started ? at : out.feedBegin;
            out.consumed = at;
            return out;
        }
        break;
      case State::inLine:
        // A NUL ends the text, and the line with it.
        if (byte == 0) {
          lines.state = State::over;
        } else {
          if (isLineEnd(byte)) lines.state = State::lineEnd;
          ++at;
        }
        break;
      case State::over:
        break;
    }
  }
  if (last) lines.state = State::over;
  out.feedEnd = lines.started ? at : out.feedBegin;
  out.consumed = at;
  return out;
}

}  // namespace knotter
