#include "jam/link_writer.h"

#include "jam/format.h"
#include "jam/jam_base.h"
#include "squish/write_access.h"

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

void writeJamLinks(Bytes base, std::span<const std::uint64_t> headers,
                   std::span<const JamLinkFields> fields, std::uint32_t& changed) {
  changed = 0;
  // The base's write lock is held since it was opened (no descriptor to
  // lock here); only the ending signals are held back.
  WriteAccess access;
  takeWriteAccess(DataFile{}, access);
  for (std::size_t k = 0; k < headers.size(); ++k) {
    if (storeJamLinks(base, jamHeaderOfs(headers[k]), fields[k])) ++changed;
  }
  if (changed > 0) bumpModCounter(base);
}

}  // namespace knotter
