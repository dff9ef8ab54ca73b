#include "msg/msg_sink.h"

#include "log/area_reports.h"
#include "msg/msg_file.h"

namespace knotter {

LinkFields MsgSink::current(const MessageRef&, std::span<const std::uint8_t> room) {
  const MsgLinkWords links = msgRoomLinks(room);
  LinkFields fields;
  fields.replyTo = links.replyTo;
  fields.replies[0] = links.up;
  return fields;
}

bool MsgSink::store(const MessageRef& message, std::span<const std::uint8_t> room,
                    const LinkFields& current, const LinkFields& fresh) {
  // Held from the first write to the last, so that no ending signal leaves
  // the area half written.
  signals_.hold();
  // The core names only messages the source listed, whose numbers fit.
  const MsgLinkWords old{static_cast<std::uint16_t>(current.replyTo),
                         static_cast<std::uint16_t>(current.replies[0])};
  const MsgLinkWords wanted{static_cast<std::uint16_t>(fresh.replyTo),
                            static_cast<std::uint16_t>(fresh.replies[0])};
  const MsgWriteResult result = directory_.writeLinks(message.number, msgRoomId(room), old, wanted);
  switch (result.outcome) {
    case MsgWriteOutcome::written:
      return true;
    case MsgWriteOutcome::changed:
      reportBaseChanged(tag_);
      return false;
    case MsgWriteOutcome::failed:
      break;
  }
  char name[msgNameBufferSize];
  msgNameOf(message.number, name);
  reportCannotWrite(msgPathOf(dir_, name).c_str(), result.error);
  return false;
}

bool MsgSink::finish(std::uint32_t) {
  signals_.release();
  return true;
}

}  // namespace knotter
