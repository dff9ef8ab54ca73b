// The message table of MSGID/REPLY linking, for any base format: one entry
// per message in file order, the MSGID and REPLY keys of the messages grouped
// so that the keys of one identifier lie together, ordered by number, and the
// links that linking decides, as slots of the table.
//
// A format loads it in steps: takeMessageTable, reading its raw index into
// index and listing its frames in index order into frames; orderFrames;
// fillEntries from the ordered frames and the raw index; feeding each
// message's control information to a KeyCollector in slot order; then
// groupKeys, which may ask the format to scan a message again.
//
// Everything lives in one block of the scratch buffer, each region reused by
// the phases that follow one another, per message:
//   entries  max(8, raw) bytes  the raw index; then MessageEntry by ascending ofs
//   keys     32 bytes  the frames while they are ordered; then two KeyRef
//                      slots for the keys as scanned and sorted; then the
//                      grouped refs, beside them the room the check of
//                      hashed origin texts works in, and then in its place
//                      the Links and the linker's own words
//   marks   3/4 byte   a bit per key: whether it is known to name the same
//                      identifier as an earlier key; bits per grouped key:
//                      where its group begins, whether its text was hashed
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
  std::uint32_t ofs = 0;     // where the format finds the message again; the file order
  std::uint32_t number = 0;  // what link fields hold: the message's unique number
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

// Bit sets of 64-bit words, for marks over refs.
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

// Room per message beside the Links for the linker's own words.
constexpr std::uint64_t linkWorkBytes = 12;
constexpr std::uint32_t minScratchMessages = 500;

struct MessageTable {
  std::span<MessageEntry> entries;  // by ascending ofs (ties in index order)
  KeyGroups groups;
  std::span<Links> links;            // one per entry
  std::uint8_t* linkWork = nullptr;  // linkWorkBytes per entry, after the links
  std::uint8_t* index = nullptr;     // the raw index, until fillEntries
  std::uint64_t* frames = nullptr;   // frameOf(ofs, position) per index entry
  KeyRef* keys = nullptr;            // the keys as collected
  std::uint64_t listedKeys = 0;
  std::uint8_t* keysEnd = nullptr;   // the end of the room the keys take
  std::uint64_t* sameAsEarlier = nullptr;  // by ref: a hashed key that matched an earlier one
  std::uint8_t* marks = nullptr;
  std::uint8_t* texts = nullptr;     // room for the origin texts
  std::uint64_t capacity = 0;        // messages the block is sized for
  std::uint32_t areaTagHash = 0;
};

// Takes the block for count messages whose raw index takes indexBytes per
// message. False after the scratch buffer has reported the shortage.
bool takeMessageTable(std::uint32_t count, std::uint64_t indexBytes, MessageTable& table);

inline std::uint64_t frameOf(std::uint32_t ofs, std::uint32_t position) {
  return (std::uint64_t{ofs} << 32) | position;
}
inline std::uint32_t frameOfs(std::uint64_t frame) { return static_cast<std::uint32_t>(frame >> 32); }
inline std::uint32_t framePosition(std::uint64_t frame) { return static_cast<std::uint32_t>(frame); }

// Orders the first count frames by ascending ofs, equal offsets in index
// order, and sizes the entries for them.
void orderFrames(MessageTable& table, std::uint32_t count);

// Fills entries[slot] with the ofs of frames[slot] and numberAt(position)
// of its index position, which reads the raw index; the entries then take
// the raw index's place.
template <typename NumberAt>
void fillEntries(MessageTable& table, NumberAt numberAt);

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
  OriginTexts texts_;
  std::uint32_t slot_ = 0;
  MsgIdKey msgIdKey_;
  MsgIdKey replyKey_;
  KludgeScan scan_;
};

// Sorts the collected keys and groups them, asking rescan for the texts of
// keys whose origin was hashed; then places the links. The table is then
// ready for linking.
void groupKeys(MessageTable& table, const KeyRescan& rescan);

template <typename NumberAt>
void fillEntries(MessageTable& table, NumberAt numberAt) {
  // Each frame turns into its entry where it stands, so that the raw index
  // is read whole before the entries overwrite it.
  auto* staged = reinterpret_cast<std::uint8_t*>(table.frames);
  for (std::size_t slot = 0; slot < table.entries.size(); ++slot) {
    const std::uint64_t frame = table.frames[slot];
    const MessageEntry entry{frameOfs(frame), numberAt(framePosition(frame))};
    std::memcpy(staged + slot * sizeof entry, &entry, sizeof entry);
  }
  std::memcpy(table.entries.data(), staged, table.entries.size_bytes());
  table.index = nullptr;
}

}  // namespace knotter
