// One *.MSG message file as the linker and the inspector read it: the
// checks that decide whether it takes part, in their order (the first that
// fails wins), then its header and the kludge lines at the start of its
// text, read in steps of msgReadStep bytes and handed to the kludge scanner
// as they come, so that a long text costs one read. The file is closed
// before this returns: an area of ten thousand messages must not hold ten
// thousand descriptors. And the per-message room the source keeps for the
// sink: which file was read, and its link fields as read.
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

// Reads the file of number through directory (see above) with buffer as its
// room. With kludges, gives it the control information; with expected, a
// file that is not that one is gone and gives nothing.
MsgFileRead readMsgFile(MsgDirectory& directory, std::uint32_t number, MsgReadBuffer& buffer,
                        MessageReader* kludges, const MsgFileId* expected = nullptr);

// The room per message: the file's identity and its link fields as read.
constexpr std::size_t msgRoomBytes = 20;

void storeMsgRoom(std::span<std::uint8_t> room, const MsgFileId& id, MsgLinkWords links);
MsgFileId msgRoomId(std::span<const std::uint8_t> room);
MsgLinkWords msgRoomLinks(std::span<const std::uint8_t> room);

}  // namespace knotter
