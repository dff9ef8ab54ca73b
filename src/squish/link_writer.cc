#include "squish/link_writer.h"

#include <cstring>

namespace knotter {
namespace {

constexpr std::size_t chainFields = 1 + replySlots;
constexpr std::uint32_t headersAhead = 32;  // fetched while one is compared

// What a link field holds for a slot: its umsgid, or 0 for none.
inline std::uint32_t umsgidOf(const MessageTable& table, std::uint32_t slot) {
  return slot == noSlot ? 0 : table.entries[slot].number;
}

// The ten fields a message gets: replyto, then its first nine replies. A
// chain lists one reply, the message after it, so replies[1..8] become 0.
void newChainFields(const MessageTable& table, std::uint32_t slot, std::uint32_t* fields) {
  const Links& links = table.links[slot];
  fields[0] = umsgidOf(table, links.replyTo);
  std::size_t listed = 0;
  for (std::uint32_t r = links.firstReply; r != noSlot && listed < replySlots;
       r = table.links[r].nextReply) {
    fields[1 + listed++] = table.entries[r].number;
  }
}

}  // namespace

bool writeReplyLinks(const MessageTable& table, Bytes base, std::uint16_t szSqhdr,
                     const DataFile& dataFile, std::int32_t& changed) {
  WriteAccess access;
  for (std::uint32_t slot = 0; slot < table.entries.size(); ++slot) {
    if (slot + headersAhead < table.entries.size()) {
      const std::uint64_t ahead =
          std::uint64_t{table.entries[slot + headersAhead].ofs} + szSqhdr + xmsgReplytoOffset;
      prefetch(base, ahead);
      prefetch(base, ahead + 4 * chainFields - 1);
    }
    std::uint32_t fields[chainFields] = {};
    newChainFields(table, slot, fields);
    // The frames were checked when the table was loaded, and none overlaps
    // another, so the fields are read back where they will be written.
    const std::uint64_t at = std::uint64_t{table.entries[slot].ofs} + szSqhdr + xmsgReplytoOffset;
    std::uint32_t old[chainFields];
    for (std::size_t f = 0; f < chainFields; ++f) old[f] = load32(base, at + 4 * f);
    if (std::memcmp(fields, old, sizeof fields) == 0) continue;
    if (!takeWriteAccess(dataFile, access)) return false;
    for (std::size_t f = 0; f < chainFields; ++f) {
      if (fields[f] != old[f]) store32(base, at + 4 * f, fields[f]);
    }
    ++changed;
  }
  return true;
}

bool writeSubjectLinks(const SubjectTable& table, Bytes base, std::uint16_t szSqhdr,
                       const DataFile& dataFile, std::int32_t& changed) {
  WriteAccess access;
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint32_t position = table.pointers[k];
    const std::uint8_t* r = record(table, position);
    const Links links = subjectLinks(table, position);
    const std::uint32_t replyto =
        links.replyTo == noSlot ? 0 : get32(record(table, links.replyTo) + recordNumber);
    const std::uint32_t firstReply =
        links.firstReply == noSlot ? 0 : get32(record(table, links.firstReply) + recordNumber);
    const bool newReplyto = replyto != get32(r + recordFormat);
    const bool newFirstReply = firstReply != get32(r + recordFormat + 4);
    if (!newReplyto && !newFirstReply) continue;
    if (!takeWriteAccess(dataFile, access)) return false;
    std::uint8_t* fields = base.data() + get32(r + recordOfs) + szSqhdr;
    if (newReplyto) store32(fields + xmsgReplytoOffset, replyto);
    if (newFirstReply) store32(fields + xmsgRepliesOffset, firstReply);
    ++changed;
  }
  return true;
}

}  // namespace knotter
