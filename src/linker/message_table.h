// The message table of MSGID/REPLY linking, for any base format: one entry
// per message in file order, the MSGID and REPLY keys of every message sorted
// so that equal identifiers lie next to each other, ordered by number, and the
// links that linking decides, as slots of the table.
//
// A format loads it in four steps: takeMessageTable, listing its frames in
// index order into frames and ordering them with orderFrames, filling the
// entries from the ordered frames, and feeding each message's control
// information to a KeyCollector in slot order, then sortKeys.
//
// Everything lives in one block of the scratch buffer, per message:
//   entries   8 bytes  MessageEntry, by ascending ofs
//   format    f bytes  what the format keeps per slot (its old link fields)
//   keys     32 bytes  the frames while they are ordered; then two KeyRef
//                      slots for the keys as scanned; then the Links and the
//                      linker's own working words
//   work     64 bytes  the raw index; then the table of origin texts; then
//                      the sorted keys
#pragma once

#include <cstdint>
#include <span>

#include "linker/kludge_scanner.h"

namespace knotter {

constexpr std::uint32_t noSlot = 0xFFFFFFFF;

struct MessageEntry {
  std::uint32_t ofs = 0;     // where the format finds the message again; the file order
  std::uint32_t number = 0;  // what link fields hold: the message's unique number
};

// One parsed MSGID or REPLY key. key packs the serial (or hash) and the
// number of its origin text, so that two keys are the same identifier
// exactly when their key fields are equal; 0 means absent, and absent keys
// are not listed.
struct KeyRef {
  std::uint64_t key = 0;
  std::uint32_t number = 0;
  std::uint32_t ref = 0;  // 2 * slot + (0 for MSGID, 1 for REPLY)
};
static_assert(sizeof(KeyRef) == 16);

constexpr std::uint32_t msgIdKind = 0;
constexpr std::uint32_t replyKind = 1;
inline std::uint32_t ownerOf(const KeyRef& k) { return k.ref >> 1; }
inline std::uint32_t kindOf(const KeyRef& k) { return k.ref & 1; }

// What linking decides for one message, as slots or noSlot. TimEd: replyTo
// is its original, firstReply its lowest-numbered reply, nextReply the next
// reply to the same original. Chains: replyTo is the message before it,
// firstReply the message after it, nextReply is noSlot.
struct Links {
  std::uint32_t replyTo = noSlot;
  std::uint32_t firstReply = noSlot;
  std::uint32_t nextReply = noSlot;
};

// Room beside the Links for the linker's own words per message.
constexpr std::uint64_t keyBytesPerMessage = 2 * sizeof(KeyRef);
constexpr std::uint64_t linkWorkBytes = keyBytesPerMessage - sizeof(Links);
constexpr std::uint64_t rawIndexBytes = 64;  // room per message for the format's raw index
constexpr std::uint32_t minScratchMessages = 500;

struct MessageTable {
  std::span<MessageEntry> entries;  // by ascending ofs (ties in index order)
  std::span<KeyRef> keys;           // sorted by (key, number, ref)
  std::span<Links> links;           // one per entry
  std::uint8_t* linkWork = nullptr; // linkWorkBytes per message, after the links
  std::uint8_t* format = nullptr;   // formatBytes per slot, the format's own
  std::uint8_t* index = nullptr;    // room for rawIndexBytes per message
  std::uint64_t* frames = nullptr;  // frameOf(ofs, position) per index entry
  std::uint64_t capacity = 0;       // messages the block is sized for
  std::uint64_t formatBytes = 0;
  std::uint64_t listedKeys = 0;
};

// Takes the block for count messages, formatBytes of them the format's own
// per slot. False after the scratch buffer has reported the shortage.
bool takeMessageTable(std::uint32_t count, std::uint64_t formatBytes, MessageTable& table);

inline std::uint64_t frameOf(std::uint32_t ofs, std::uint32_t position) {
  return (std::uint64_t{ofs} << 32) | position;
}
inline std::uint32_t frameOfs(std::uint64_t frame) { return static_cast<std::uint32_t>(frame >> 32); }
inline std::uint32_t framePosition(std::uint64_t frame) { return static_cast<std::uint32_t>(frame); }

// Orders the first count frames by ascending ofs, equal offsets in index
// order, and sizes the entries for them. The format then fills entries[slot]
// from frames[slot]; the raw index is still there to fill them from.
void orderFrames(MessageTable& table, std::uint32_t count);

// Gives every distinct origin text a small number, so that a key fits in 64
// bits and equal identifiers compare equal as integers.
struct OriginTexts {
  std::uint32_t* slots = nullptr;
  std::uint64_t slotCount = 0;
  std::uint64_t maxSlots = 0;
  char (*texts)[msgIdTextSize] = nullptr;
  std::uint32_t used = 0;
};

// Turns the control information of each message, fed in slot order, into
// its listed keys. Overwrites the raw index.
class KeyCollector {
 public:
  KeyCollector(MessageTable& table, const char* areaTag);
  // Scans the kludges of the message at slot in [begin, end).
  void scan(std::uint32_t slot, const std::uint8_t* begin, const std::uint8_t* end);
  // The same for control information that comes in pieces (kludges kept as
  // separate records): start, feed each piece, finish. feed returns false
  // once the pieces still to come cannot change the keys.
  void start(std::uint32_t slot);
  bool feed(const std::uint8_t* begin, const std::uint8_t* end);
  void finish();

 private:
  MessageTable& table_;
  KeyRef* listed_;
  std::uint32_t areaTagHash_;
  OriginTexts texts_;
  std::uint32_t slot_ = 0;
  MsgIdKey msgIdKey_;
  MsgIdKey replyKey_;
  KludgeScan scan_;
};

// Sorts the collected keys and places the links; the table is then ready
// for linking.
void sortKeys(MessageTable& table);

}  // namespace knotter
