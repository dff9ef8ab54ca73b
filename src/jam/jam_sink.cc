#include "jam/jam_sink.h"

#include "jam/format.h"

namespace knotter {

LinkFields JamSink::current(const MessageRef& message, std::span<const std::uint8_t>) {
  const std::uint32_t ofs = message.locator;
  LinkFields fields;
  fields.replyTo = load32(bytes_, ofs + jamHdrReplyToOffset);
  fields.replies[0] = load32(bytes_, ofs + jamHdrReply1stOffset);
  fields.nextReply = load32(bytes_, ofs + jamHdrReplyNextOffset);
  return fields;
}

bool JamSink::store(const MessageRef& message, std::span<const std::uint8_t>,
                    const LinkFields& current, const LinkFields& fresh) {
  // The write lock is the base's own, taken when it was opened: only the
  // ending signals are to be held back.
  signals_.hold();
  const std::uint32_t ofs = message.locator;
  if (fresh.replyTo != current.replyTo) store32(bytes_, ofs + jamHdrReplyToOffset, fresh.replyTo);
  if (fresh.replies[0] != current.replies[0]) {
    store32(bytes_, ofs + jamHdrReply1stOffset, fresh.replies[0]);
  }
  if (fresh.nextReply != current.nextReply) {
    store32(bytes_, ofs + jamHdrReplyNextOffset, fresh.nextReply);
  }
  return true;
}

bool JamSink::finish(std::uint32_t changed) {
  if (changed > 0) {
    store32(bytes_, jamBlockModCounterOffset, load32(bytes_, jamBlockModCounterOffset) + 1);
  }
  signals_.release();
  return true;
}

}  // namespace knotter
