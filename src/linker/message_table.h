// The message table of MSGID/REPLY linking, for any base format: one entry
// per message in visiting order, the MSGID and REPLY keys of the messages
// grouped so that the keys of one identifier lie together, ordered by
// number, and the links that linking decides, as slots of the table.
//
// Everything lives in one block of the scratch buffer, carved once per area
// (MessageBlock); its regions are reused by the phases that follow one
// another, and each phase sees them through a view of its own. Per message:
//   entry room  max(8, raw) bytes  the raw index (Listing); then the
//                                  MessageEntry of each slot
//   key room    32 bytes  the frames while they are ordered (Listing); then
//                         two KeyRef for the keys as collected and sorted
//                         (CollectedKeys); then the grouped refs, beside them
//                         the room the check of hashed origin texts works
//                         in, and then in its place the Links and the
//                         linker's own words (LinkTable)
//   marks       3/4 byte  a bit per key: whether it is known to name the
//                         same identifier as an earlier key; bits per
//                         grouped key: where its group begins, whether its
//                         text was hashed
//   untouched   1/8 byte  a bit per slot the format leaves alone
//   format room           what the format keeps per message
// and a bounded table of origin texts while the keys are collected.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "linker/kludge_scanner.h"
#include "linker/origin_texts.h"

namespace knotter {

constexpr std::uint32_t noSlot = 0xFFFFFFFF;

struct MessageEntry {
  std::uint32_t locator = 0;  // where the format finds the message again; the visiting order
  std::uint32_t number = 0;   // what link fields hold: the message's number
};
static_assert(sizeof(MessageEntry) == sizeof(std::uint64_t));

// One parsed MSGID or REPLY key. key packs the serial (or hash) and the
// number of its origin text, so that two keys with different key fields are
// different identifiers; 0 means absent, and absent keys are not listed.
// Keys whose origin text was hashed may share a key field and still differ.
struct KeyRef {
  std::uint64_t key = 0;
  std::uint32_t number = 0;
  std::uint32_t ref = 0;  // 2 * slot + (0 for MSGID, 1 for REPLY)
};
static_assert(sizeof(KeyRef) == 16);

constexpr std::uint32_t msgIdKind = 0;
constexpr std::uint32_t replyKind = 1;
inline std::uint32_t ownerOf(std::uint32_t ref) { return ref >> 1; }
inline std::uint32_t kindOf(std::uint32_t ref) { return ref & 1; }

// What linking decides for one message, as slots or noSlot. TimEd: replyTo
// is its original, firstReply its lowest-numbered reply, nextReply the next
// reply to the same original. Chains: replyTo is the message before it,
// firstReply the message after it, nextReply is noSlot.
struct Links {
  std::uint32_t replyTo = noSlot;
  std::uint32_t firstReply = noSlot;
  std::uint32_t nextReply = noSlot;
};

// Bit sets of 64-bit words, for marks over refs and slots.
inline std::uint64_t bitWords(std::uint64_t bits) { return (bits + 63) / 64; }
inline void setBit(std::uint64_t* words, std::uint64_t bit) {
  words[bit >> 6] |= std::uint64_t{1} << (bit & 63);
}
inline bool testBit(const std::uint64_t* words, std::uint64_t bit) {
  return ((words[bit >> 6] >> (bit & 63)) & 1) != 0;
}

// Where the group that begins at ref position begin ends, given the bits
// that mark where groups begin among count refs.
inline std::uint64_t groupEnd(const std::uint64_t* starts, std::uint64_t count,
                              std::uint64_t begin) {
  std::uint64_t end = begin + 1;
  while (end < count && !testBit(starts, end)) ++end;
  return end;
}

// The keys of every identifier that two or more keys share (one that no
// other key shares links nothing), group by group, each group by (number,
// slot, kind), as refs; a set bit in starts marks the first ref of a group.
struct KeyGroups {
  std::span<const std::uint32_t> refs;
  const std::uint64_t* starts = nullptr;
};

// Bytes of the key room per message, and what each phase puts there.
constexpr std::uint64_t keyRoomBytes = 2 * sizeof(KeyRef);
// Room per message beside the Links for the linker's own words.
constexpr std::uint64_t linkWorkBytes = 12;
static_assert(sizeof(std::uint64_t) <= keyRoomBytes);  // a frame while ordered
static_assert(2 * sizeof(std::uint32_t) + sizeof(Links) + linkWorkBytes <= keyRoomBytes);
constexpr std::uint32_t minScratchMessages = 500;

// The regions of one area's block, carved by takeMessageBlock.
struct MessageBlock {
  std::uint64_t capacity = 0;          // messages the block is sized for
  std::uint8_t* entryRoom = nullptr;   // capacity * entryWidth bytes
  std::uint64_t entryWidth = 0;
  std::uint8_t* keyRoom = nullptr;     // capacity * keyRoomBytes bytes
  std::uint8_t* keyRoomEnd = nullptr;
  std::uint64_t* marks = nullptr;      // three sets of markWords words each
  std::uint64_t markWords = 0;         // words of 2 * capacity bits
  std::uint8_t* texts = nullptr;       // the table of origin texts
  std::uint64_t* untouched = nullptr;  // a bit per slot
  std::uint8_t* formatRoom = nullptr;  // capacity * roomBytes bytes
  std::uint64_t roomBytes = 0;
};

// Takes the block for count messages whose raw index takes entryBytes per
// message and whose format keeps roomBytes per message. False after the
// scratch buffer has reported the shortage.
bool takeMessageBlock(std::uint32_t count, std::uint64_t entryBytes, std::uint64_t roomBytes,
                      MessageBlock& block);

// The format's room of one slot.
inline std::span<std::uint8_t> formatRoomOf(const MessageBlock& block, std::uint32_t slot) {
  return {block.formatRoom + slot * block.roomBytes, block.roomBytes};
}

// Phase 1: the raw index, and the frames that order it: frameOf(locator,
// position) per message.
struct Listing {
  std::span<std::uint8_t> rawIndex;
  std::uint64_t* frames = nullptr;
};
Listing listingOf(const MessageBlock& block, std::uint64_t rawBytes);

inline std::uint64_t frameOf(std::uint32_t locator, std::uint32_t position) {
  return (std::uint64_t{locator} << 32) | position;
}
inline std::uint32_t frameLocator(std::uint64_t frame) {
  return static_cast<std::uint32_t>(frame >> 32);
}
inline std::uint32_t framePosition(std::uint64_t frame) {
  return static_cast<std::uint32_t>(frame);
}

// Orders the first count frames by ascending locator, equal locators in
// index order.
void orderFrames(std::uint64_t* frames, std::uint32_t count);

// Turns the ordered frames into the entries, in the entry room, taking
// numberAt(position) of each (which may read the raw index: it is read whole
// before the entries overwrite it).
template <typename NumberAt>
std::span<MessageEntry> fillEntries(const MessageBlock& block, const Listing& listing,
                                    std::uint32_t count, NumberAt numberAt);

// Phase 2 and 3: the keys as collected, then sorted and grouped.
struct CollectedKeys {
  std::span<const MessageEntry> entries;
  KeyRef* keys = nullptr;
  std::uint64_t count = 0;
  const std::uint64_t* sameAsEarlier = nullptr;  // by ref: a hashed key that matched an earlier one
  std::uint32_t areaTagHash = 0;
};

// Phase 4: the groups and the links decided from them.
struct LinkTable {
  std::span<const MessageEntry> entries;
  KeyGroups groups;
  std::span<Links> links;            // one per entry
  std::uint8_t* linkWork = nullptr;  // linkWorkBytes per entry, after the links
};

// Scans one message's kludges again, for groupKeys: past the bounded table
// of origin texts, keys carry a hash of their text, and keys that share one
// are compared by their texts.
class KeyRescan {
 public:
  virtual void rescan(std::uint32_t slot, std::uint32_t areaTagHash, MsgIdKey& msgIdKey,
                      MsgIdKey& replyKey) const = 0;
  // Asks for what rescan(slot) reads to be fetched ahead of it.
  virtual void prefetch(std::uint32_t slot) const = 0;

 protected:
  ~KeyRescan() = default;
};

// Turns the control information of each message, fed in slot order, into
// its listed keys. Overwrites the frames.
class KeyCollector {
 public:
  KeyCollector(const MessageBlock& block, std::span<const MessageEntry> entries,
               const char* areaTag);
  // Starts the message at slot; its kludges go to scan().
  void start(std::uint32_t slot);
  KludgeScan& scan() { return scan_; }
  // Lists the keys of the message started last.
  void finish();
  // The keys of the messages finished so far.
  CollectedKeys collected() const;

 private:
  const MessageBlock& block_;
  CollectedKeys keys_;
  OriginTexts texts_;
  std::uint32_t slot_ = 0;
  MsgIdKey msgIdKey_;
  MsgIdKey replyKey_;
  KludgeScan scan_;
};

// Sorts the collected keys and groups them, asking rescan for the texts of
// keys whose origin was hashed; then places the links. The table is then
// ready for linking.
LinkTable groupKeys(const MessageBlock& block, const CollectedKeys& keys, const KeyRescan& rescan);

template <typename NumberAt>
std::span<MessageEntry> fillEntries(const MessageBlock& block, const Listing& listing,
                                    std::uint32_t count, NumberAt numberAt) {
  // Each frame turns into its entry where it stands, so that the raw index
  // is read whole before the entries overwrite it.
  auto* staged = reinterpret_cast<std::uint8_t*>(listing.frames);
  for (std::size_t slot = 0; slot < count; ++slot) {
    const std::uint64_t frame = listing.frames[slot];
    const MessageEntry entry{frameLocator(frame), numberAt(framePosition(frame))};
    std::memcpy(staged + slot * sizeof entry, &entry, sizeof entry);
  }
  std::memcpy(block.entryRoom, staged, count * sizeof(MessageEntry));
  return {reinterpret_cast<MessageEntry*>(block.entryRoom), count};
}

}  // namespace knotter
