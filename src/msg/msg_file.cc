#include "msg/msg_file.h"

#include <cstring>

#include "base/bytes.h"
#include "msg/control_lines.h"

namespace knotter {
namespace {

// Closes the message file on every way out of the reading.
struct OpenFileHolder {
  MsgDirectory& directory;
  ~OpenFileHolder() { directory.closeFile(); }
};

// Hands the control information to reader, going on from the first step
// (got bytes in buffer) with further steps until the block ends or the
// scanner needs no more. False on a read error.
bool feedControl(MsgDirectory& directory, MsgReadBuffer& buffer, std::int64_t got,
                 MessageReader& reader) {
  ControlLines lines;
  std::uint64_t offset = 0;  // of buffer[0] in the file
  std::size_t begin = msgHeaderSize;
  for (;;) {
    const auto end = static_cast<std::size_t>(got);
    const bool last = end < buffer.size();  // a short read is the end of the file
    const ControlPiece piece =
        scanControlPiece(lines, std::span<const std::uint8_t>(buffer.data() + begin, end - begin), last);
    if (piece.feedEnd > piece.feedBegin &&
        !reader.kludges(buffer.data() + begin + piece.feedBegin,
                        buffer.data() + begin + piece.feedEnd)) {
      return true;
    }
    if (lines.state == ControlLines::State::over) return true;
    // The next step starts where this one was decided: a line that may
    // begin with "AREA:" is read again whole.
    offset += begin + piece.consumed;
    begin = 0;
    int error = 0;
    got = directory.readFile(offset, buffer, error);
    if (got < 0) return false;
  }
}

MsgFileState readOpenFile(MsgDirectory& directory, const MsgFileOpen& opened,
                          MsgReadBuffer& buffer, MessageReader* kludges,
                          const MsgFileId* expected, MsgFileRead& read) {
  if (expected != nullptr && opened.id != *expected) return MsgFileState::gone;
  if (opened.size < msgHeaderSize) return MsgFileState::shortFile;
  int error = 0;
  const std::int64_t got = directory.readFile(0, buffer, error);
  if (got < 0) return MsgFileState::readError;
  // Cut short since it was looked at: what a half-written file looks like.
  if (got < static_cast<std::int64_t>(msgHeaderSize)) return MsgFileState::shortFile;
  if (isHighwaterHeader(buffer.data())) return MsgFileState::highwater;
  read.id = opened.id;
  read.links = {load16(buffer.data() + msgReplyToOffset), load16(buffer.data() + msgUpOffset)};
  std::memcpy(read.subject, buffer.data() + msgSubjectOffset, msgSubjectSize);
  if (kludges != nullptr && !feedControl(directory, buffer, got, *kludges)) {
    return MsgFileState::readError;
  }
  return MsgFileState::message;
}

}  // namespace

MsgFileRead readMsgFile(MsgDirectory& directory, std::uint32_t number, MsgReadBuffer& buffer,
                        MessageReader* kludges, const MsgFileId* expected) {
  MsgFileRead read;
  const MsgFileOpen opened = directory.openFile(number);
  switch (opened.kind) {
    case MsgFileKind::regular:
      break;
    case MsgFileKind::gone:
      read.state = MsgFileState::gone;
      return read;
    case MsgFileKind::notRegular:
      read.state = MsgFileState::notRegular;
      return read;
    case MsgFileKind::hardLink:
      read.state = MsgFileState::hardLink;
      return read;
    case MsgFileKind::failed:
      read.state = MsgFileState::cannotOpen;
      read.error = opened.error;
      return read;
  }
  const OpenFileHolder holder{directory};
  read.state = readOpenFile(directory, opened, buffer, kludges, expected, read);
  return read;
}

void storeMsgRoom(std::span<std::uint8_t> room, const MsgFileId& id, MsgLinkWords links) {
  std::memcpy(room.data(), &id.device, 8);
  std::memcpy(room.data() + 8, &id.inode, 8);
  std::memcpy(room.data() + 16, &links.replyTo, 2);
  std::memcpy(room.data() + 18, &links.up, 2);
}

MsgFileId msgRoomId(std::span<const std::uint8_t> room) {
  MsgFileId id;
  std::memcpy(&id.device, room.data(), 8);
  std::memcpy(&id.inode, room.data() + 8, 8);
  return id;
}

MsgLinkWords msgRoomLinks(std::span<const std::uint8_t> room) {
  MsgLinkWords links;
  std::memcpy(&links.replyTo, room.data() + 16, 2);
  std::memcpy(&links.up, room.data() + 18, 2);
  return links;
}

}  // namespace knotter
