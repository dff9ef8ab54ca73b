// The message table of MSGID/REPLY linking: one entry per index entry, in
// file order, with the reply-chain fields as the base holds them, and the two
// keys of every message (its MSGID and its REPLY) sorted so that equal
// identifiers lie next to each other, ordered by umsgid.
//
// Everything lives in one block of the scratch buffer, 144 bytes per message:
//   entries  48 bytes  MessageEntry, by ascending ofs
//   keys     32 bytes  the frame order while it is sorted; then two KeyRef
//                      slots for the keys as scanned; then a LinkResult
//   work     64 bytes  the index as read; then the table of origin texts;
//                      then the sorted keys
#pragma once

#include <cstdint>
#include <span>

#include "squish/format.h"
#include "squish/holders.h"

namespace knotter {

constexpr std::uint32_t noPosition = 0xFFFFFFFF;
constexpr std::size_t chainFields = 1 + replySlots;  // replyto, replies[0..8]

struct MessageEntry {
  std::uint32_t ofs = 0;                    // frame offset from the index
  std::uint32_t umsgid = 0;                 // from the index
  std::uint32_t oldFields[chainFields] = {};  // replyto, replies[] as read
};
static_assert(sizeof(MessageEntry) == 48);

// One parsed MSGID or REPLY key. key packs the serial (or hash) and the
// number of its origin text, so that two keys are the same identifier
// exactly when their key fields are equal; 0 means absent, and absent keys
// are not listed.
struct KeyRef {
  std::uint64_t key = 0;
  std::uint32_t umsgid = 0;
  std::uint32_t ref = 0;  // 2 * entry slot + (0 for MSGID, 1 for REPLY)
};
static_assert(sizeof(KeyRef) == 16);

constexpr std::uint32_t msgIdKind = 0;
constexpr std::uint32_t replyKind = 1;
inline std::uint32_t ownerOf(const KeyRef& k) { return k.ref >> 1; }
inline std::uint32_t kindOf(const KeyRef& k) { return k.ref & 1; }

// What linking decides for one message, beside its entry.
struct LinkResult {
  std::uint32_t newReplyto = 0;
  std::uint32_t newReply = 0;     // replies[0]; TimEd: start of its group as original
  std::uint32_t firstChild = 0;   // Flat and Reply: the forest being flattened
  std::uint32_t nextSibling = 0;
  std::uint32_t previous = 0;
  std::uint32_t original = 0;     // TimEd: slot of the message it answers, or noPosition
  std::uint32_t walk = 0;         // TimEd: 1 + the slot whose walk reached it first; 0 = none
};

struct MessageTable {
  BaseHeader header;
  std::span<MessageEntry> entries;  // by ascending ofs (ties in index order)
  std::span<KeyRef> keys;           // sorted by (key, umsgid, ref)
  std::span<LinkResult> results;    // one per entry
};

constexpr std::uint64_t scratchBytesPerMessage = 144;
constexpr std::uint32_t minScratchMessages = 500;

// Loads the table of the mapped base: reads the index, checks every ofs
// against end_frame, verifies every frame, keeps its reply-chain fields,
// scans its kludges and sorts the keys. high_msg must be positive. Returns
// false after reporting a failure; nothing has been written to the base then.
bool loadMessageTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, MessageTable& table);

}  // namespace knotter
