#include "jam/link_writer.h"

#include "jam/format.h"

namespace knotter {

bool storeJamLinks(Bytes base, std::uint32_t ofs, const JamLinkFields& fields) {
  bool stored = false;
  const auto store = [&](std::size_t at, std::uint32_t value) {
    if (load32(base, ofs + at) == value) return;
    store32(base, ofs + at, value);
    stored = true;
  };
  store(jamHdrReplyToOffset, fields.replyTo);
  store(jamHdrReply1stOffset, fields.reply1st);
  store(jamHdrReplyNextOffset, fields.replyNext);
  return stored;
}

void bumpModCounter(Bytes base) {
  store32(base, jamBlockModCounterOffset, load32(base, jamBlockModCounterOffset) + 1);
}

JamLinkWriter::JamLinkWriter(Bytes mapped) : base(mapped) {
  // The write lock is the base's own, taken when it was opened: there is no
  // descriptor to lock here, only the ending signals to hold back.
  takeWriteAccess(DataFile{}, access);
}

void writeJamHeader(JamLinkWriter& writer, std::uint32_t ofs, const JamLinkFields& fields) {
  if (storeJamLinks(writer.base, ofs, fields)) ++writer.changed;
}

std::uint32_t finishJamWrites(JamLinkWriter& writer) {
  if (writer.changed > 0) bumpModCounter(writer.base);
  return writer.changed;
}

}  // namespace knotter
