// One *.MSG message file as the linker and the inspector read it: the checks
// that decide whether it takes part, in their order, then its header and the
// kludge lines at the start of its text, read in 4 KiB steps and handed to
// the scanner as they come; the file is closed before the reading returns.
// And the room the source keeps per message for the sink.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "linker/message_reader.h"
#include "msg/format.h"
#include "msg/msg_directory.h"

namespace knotter {

// What a message file is to linking, in the order it is found out.
enum class MsgFileState : std::uint8_t {
  message,     // it takes part
  gone,        // removed since the listing, or not the file expected
  notRegular,  // a symbolic link, directory, FIFO, device or socket
  hardLink,    // a regular file with more than one name
  shortFile,   // below a header's size: no message yet, or a broken one
  highwater,   // a highwater file by its from field (1.msg is never read)
  cannotOpen,  // reported by the caller: the area is given up
  readError,   // likewise
};

constexpr std::size_t msgReadStep = 4096;
using MsgReadBuffer = std::array<std::uint8_t, msgReadStep>;

struct MsgFileRead {
  MsgFileState state = MsgFileState::gone;
  int error = 0;                         // for cannotOpen
  MsgFileId id;                          // for message
  MsgLinkWords links;                    // for message
  std::uint8_t subject[msgSubjectSize];  // for message
};

// Reads the file of number through directory with buffer as its room. With
// kludges, gives it the control information; with expected, a file that is
// not that one is gone and gives nothing. No descriptor stays open: an area
// of ten thousand files must not hold ten thousand.
MsgFileRead readMsgFile(MsgDirectory& directory, std::uint32_t number, MsgReadBuffer& buffer,
                        MessageReader* kludges, const MsgFileId* expected = nullptr);

// The room per message: the file's identity and its link fields as read.
constexpr std::size_t msgRoomBytes = 20;

void storeMsgRoom(std::span<std::uint8_t> room, const MsgFileId& id, MsgLinkWords links);
MsgFileId msgRoomId(std::span<const std::uint8_t> room);
MsgLinkWords msgRoomLinks(std::span<const std::uint8_t> room);

}  // namespace knotter
