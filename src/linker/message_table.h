// The message table of MSGID/REPLY linking: one entry per index entry, and
// the two keys of every message (its MSGID and its REPLY) sorted so that
// equal identifiers lie next to each other, ordered by umsgid.
//
// Everything lives in one block of the scratch buffer, 144 bytes per message:
//   entries  48 bytes  MessageEntry, in index order
//   keys     32 bytes  two KeyRef slots: the keys as scanned; later the
//                      chain references of Flat and Reply
//   work     64 bytes  the index as read; then the order by ofs (kept to the
//                      end) with the table of origin texts; then the sorted keys
#pragma once

#include <cstdint>
#include <span>

#include "squish/format.h"
#include "squish/holders.h"

namespace knotter {

constexpr std::uint32_t noPosition = 0xFFFFFFFF;

struct MessageEntry {
  std::uint32_t ofs = 0;                 // frame offset from the index
  std::uint32_t umsgid = 0;              // from the index
  std::uint32_t newReplyto = 0;          // result of linking
  std::uint32_t newReplies[9] = {};      // result of linking
};
static_assert(sizeof(MessageEntry) == 48);

// One parsed MSGID or REPLY key. key packs the serial (or hash) and the id of
// its origin text, so that two keys are the same identifier exactly when
// their key fields are equal; 0 means absent, and absent keys are not listed.
struct KeyRef {
  std::uint64_t key = 0;
  std::uint32_t umsgid = 0;
  std::uint32_t ref = 0;  // 2 * index position + (0 for MSGID, 1 for REPLY)
};
static_assert(sizeof(KeyRef) == 16);

constexpr std::uint32_t msgIdKind = 0;
constexpr std::uint32_t replyKind = 1;
inline std::uint32_t ownerOf(const KeyRef& k) { return k.ref >> 1; }
inline std::uint32_t kindOf(const KeyRef& k) { return k.ref & 1; }

struct MessageTable {
  BaseHeader header;
  std::span<MessageEntry> entries;   // index order
  std::span<std::uint32_t> ofsOrder; // entry positions by ascending ofs
  std::span<KeyRef> keys;            // sorted by (key, umsgid, ref)
  std::span<std::uint32_t> links;    // 2 words per listed key, free for the linker
};

constexpr std::uint64_t scratchBytesPerMessage = 144;
constexpr std::uint32_t minScratchMessages = 500;

// Loads the table of the mapped base: reads the index, checks every ofs
// against end_frame, verifies every frame, scans the kludges and sorts the
// keys. high_msg must be positive. Returns false after reporting a failure;
// nothing has been written to the base then.
bool loadMessageTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, MessageTable& table);

}  // namespace knotter
