#include "linker/message_table.h"

#include <algorithm>
#include <cstring>

#include "config/scratch_buffer.h"
#include "linker/kludge_scanner.h"
#include "squish/damage_reports.h"
#include "squish/index_reader.h"

namespace knotter {
namespace {

constexpr std::uint64_t entryBytes = sizeof(MessageEntry);
constexpr std::uint64_t keyBytes = 2 * sizeof(KeyRef);
constexpr std::uint64_t workBytes = scratchBytesPerMessage - entryBytes - keyBytes;
static_assert(workBytes == 64);

// While the frames are scanned, the work region holds the origin text table:
// 12 bytes of slots and room for two distinct 24-byte texts per message.
constexpr std::uint64_t slotsPerMessage = 3;
constexpr std::uint64_t textsPerMessage = 2;
static_assert(sizeof(std::uint32_t) * slotsPerMessage + msgIdTextSize * textsPerMessage <= workBytes);
static_assert(sizeof(LinkResult) <= keyBytes);

struct Regions {
  MessageEntry* entries;
  KeyRef* keys;
  std::uint8_t* work;
  std::uint64_t capacity;  // messages the block is sized for
};

// Takes the block from the scratch buffer; null regions when it cannot be had.
bool takeRegions(std::uint32_t count, Regions& regions) {
  regions.capacity = std::max<std::uint64_t>(count, minScratchMessages);
  auto* block = static_cast<std::uint8_t*>(scratchBuffer(regions.capacity * scratchBytesPerMessage));
  if (block == nullptr) return false;
  regions.entries = reinterpret_cast<MessageEntry*>(block);
  regions.keys = reinterpret_cast<KeyRef*>(block + regions.capacity * entryBytes);
  regions.work = block + regions.capacity * (entryBytes + keyBytes);
  return true;
}

// Checks every ofs against end_frame in index order (the first beyond it
// makes the index damaged) and lists the frames as (ofs, position) pairs.
bool listFrames(const char* areaTag, const std::uint8_t* index, std::uint32_t count,
                std::uint32_t endFrame, std::uint64_t* frames) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t ofs = load32(index + std::uint64_t{i} * sqidxSize + sqidxOfsOffset);
    if (ofs > endFrame) {
      reportIndexDamaged(areaTag, i, ofs);
      return false;
    }
    frames[i] = (std::uint64_t{ofs} << 32) | i;
  }
  return true;
}

// Builds the entries in ascending ofs, equal offsets in index order. Tossers
// append, so the index is usually in file order already and needs no sort.
void buildEntries(const std::uint8_t* index, std::uint64_t* frames, std::uint32_t count,
                  MessageEntry* entries) {
  if (!std::is_sorted(frames, frames + count)) std::sort(frames, frames + count);
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    const auto position = static_cast<std::uint32_t>(frames[slot]);
    const std::uint8_t* raw = index + std::uint64_t{position} * sqidxSize;
    entries[slot] = MessageEntry{load32(raw + sqidxOfsOffset), load32(raw + sqidxUmsgidOffset), {}};
  }
}

// Gives every distinct origin text a small number, so that a key fits in 64
// bits and equal identifiers compare equal as integers. Open addressing over
// slots holding text number + 1 (0 is an empty slot). An area has few
// distinct origins, so the table starts small and stays in cache, growing
// only up to the room the block has for it.
struct OriginTexts {
  std::uint32_t* slots;
  std::uint64_t slotCount;
  std::uint64_t maxSlots;
  char (*texts)[msgIdTextSize];
  std::uint32_t used = 0;
};

constexpr std::uint64_t initialSlots = 4096;

std::uint64_t hashText(const char* text) {
  std::uint64_t words[3];
  std::memcpy(words, text, sizeof words);
  std::uint64_t h = words[0] * 0x9E3779B97F4A7C15ull;
  h = (h ^ (h >> 29) ^ words[1]) * 0xBF58476D1CE4E5B9ull;
  h = (h ^ (h >> 32) ^ words[2]) * 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

std::uint32_t* findSlot(const OriginTexts& table, const char* text) {
  std::uint64_t slot = hashText(text) % table.slotCount;
  for (;;) {
    const std::uint32_t entry = table.slots[slot];
    if (entry == 0 || std::memcmp(table.texts[entry - 1], text, msgIdTextSize) == 0) {
      return &table.slots[slot];
    }
    if (++slot == table.slotCount) slot = 0;
  }
}

void growTexts(OriginTexts& table) {
  table.slotCount = std::min(table.slotCount * 2, table.maxSlots);
  std::memset(table.slots, 0, table.slotCount * sizeof(std::uint32_t));
  for (std::uint32_t i = 0; i < table.used; ++i) *findSlot(table, table.texts[i]) = i + 1;
}

// The number of a text; the empty text is 0. Texts compare as C strings, so
// whatever follows the first NUL (the scanner stores a NUL byte of the
// control information like any other) is cleared and whole buffers compare.
std::uint32_t textNumber(OriginTexts& table, char* text) {
  if (text[0] == '\0') return 0;
  if (char* nul = static_cast<char*>(std::memchr(text, '\0', msgIdTextSize))) {
    std::memset(nul, 0, static_cast<std::size_t>(text + msgIdTextSize - nul));
  }
  std::uint32_t* slot = findSlot(table, text);
  if (*slot != 0) return *slot;
  // Keep the table at most half full while it may grow; at its largest it
  // holds two texts per message in three slots each.
  if (2 * (std::uint64_t{table.used} + 1) > table.slotCount && table.slotCount < table.maxSlots) {
    growTexts(table);
    slot = findSlot(table, text);
  }
  std::memcpy(table.texts[table.used], text, msgIdTextSize);
  *slot = ++table.used;
  return table.used;
}

std::uint64_t packKey(const MsgIdKey& key, std::uint32_t textNumber) {
  return (std::uint64_t{key.number} << 32) | textNumber;
}

// Checks the frame of the next entry in ascending ofs and locates its
// parts: its id first, then that it lies inside the data file, then that it
// begins after the frames before it. False after reporting the damage.
bool checkFrame(const char* areaTag, Bytes base, const MessageEntry& entry, std::uint16_t szSqhdr,
                FrameOrder& order, FrameLayout& frame) {
  std::uint32_t id = 0;
  if (!readFrameId(base, entry.ofs, id)) {
    reportAreaReadError(areaTag);
    return false;
  }
  if (id != sqhdrSignature) {
    reportBadFrame(areaTag, entry.umsgid, entry.ofs);
    return false;
  }
  if (!locateFrame(base, entry.ofs, szSqhdr, frame)) {
    reportAreaReadError(areaTag);
    return false;
  }
  if (!order.next(base, entry.ofs, szSqhdr)) {
    reportBadFrame(areaTag, entry.umsgid, entry.ofs);
    return false;
  }
  return true;
}

// Visits the frames in ascending ofs: verifies each, scans its kludges and
// lists its keys that are present. Returns the number of keys listed, or
// noPosition after reporting a damaged frame.
std::uint64_t scanFrames(const char* areaTag, Bytes base, const MessageTable& table,
                         const Regions& regions) {
  OriginTexts texts;
  texts.slots = reinterpret_cast<std::uint32_t*>(regions.work);
  texts.maxSlots = regions.capacity * slotsPerMessage;
  texts.slotCount = std::min(initialSlots, texts.maxSlots);
  texts.texts = reinterpret_cast<char(*)[msgIdTextSize]>(regions.work + texts.maxSlots * sizeof(std::uint32_t));
  std::memset(texts.slots, 0, texts.slotCount * sizeof(std::uint32_t));

  const std::uint32_t areaTagHash = MsgIdHash(areaTag);
  std::uint64_t listed = 0;
  FrameOrder order;
  for (std::uint32_t slot = 0; slot < table.entries.size(); ++slot) {
    MessageEntry& entry = table.entries[slot];
    FrameLayout frame;
    if (!checkFrame(areaTag, base, entry, table.header.szSqhdr, order, frame)) return noPosition;
    for (std::size_t f = 0; f < chainFields; ++f) {
      entry.oldFields[f] = load32(base, frame.header + xmsgReplytoOffset + 4 * f);
    }
    MsgIdKey msgIdKey;
    MsgIdKey replyKey;
    scanKludges(msgIdKey, replyKey, base.data() + frame.control, base.data() + frame.controlEnd,
                areaTagHash);
    const std::uint64_t keys[2] = {packKey(msgIdKey, textNumber(texts, msgIdKey.text)),
                                   packKey(replyKey, textNumber(texts, replyKey.text))};
    for (std::uint32_t kind = msgIdKind; kind <= replyKind; ++kind) {
      if (keys[kind] != 0) regions.keys[listed++] = KeyRef{keys[kind], entry.umsgid, slot * 2 + kind};
    }
  }
  return listed;
}

bool keyLess(const KeyRef& a, const KeyRef& b) {
  if (a.key != b.key) return a.key < b.key;
  if (a.umsgid != b.umsgid) return a.umsgid < b.umsgid;
  return a.ref < b.ref;
}

std::uint64_t bucketHash(std::uint64_t key) {
  key ^= key >> 33;
  key *= 0xFF51AFD7ED558CCDull;
  key ^= key >> 33;
  return key;
}

// Sorts the listed keys into out so that equal identifiers are adjacent and
// ordered by umsgid. The order of the groups themselves does not matter to
// linking, so one bucket pass on a hash of the key does most of the work and
// each small bucket is then sorted in cache.
void sortKeys(const KeyRef* keys, std::uint64_t count, KeyRef* out, std::uint32_t* counts) {
  int bits = 0;
  while ((std::uint64_t{1} << bits) < count / 8) ++bits;
  const std::uint64_t buckets = std::uint64_t{1} << bits;
  const int shift = 64 - bits;
  auto bucketOf = [&](const KeyRef& k) -> std::uint64_t {
    return bits == 0 ? 0 : bucketHash(k.key) >> shift;
  };
  std::fill(counts, counts + buckets + 1, 0u);
  for (std::uint64_t i = 0; i < count; ++i) ++counts[bucketOf(keys[i]) + 1];
  for (std::uint64_t b = 0; b < buckets; ++b) counts[b + 1] += counts[b];
  for (std::uint64_t i = 0; i < count; ++i) out[counts[bucketOf(keys[i])]++] = keys[i];
  // counts[b] now holds the end of bucket b, which is where bucket b + 1 starts.
  std::uint64_t start = 0;
  for (std::uint64_t b = 0; b < buckets; ++b) {
    const std::uint64_t end = counts[b];
    std::sort(out + start, out + end, keyLess);
    start = end;
  }
}

}  // namespace

bool loadMessageTable(const char* areaTag, Bytes base, const BaseHeader& header,
                      const char* indexPath, FileDescriptor& indexFile, MessageTable& table) {
  const auto count = static_cast<std::uint32_t>(header.highMsg);
  Regions regions;
  if (!takeRegions(count, regions)) return false;
  table.header = header;

  std::uint8_t* index = regions.work;
  auto* frames = reinterpret_cast<std::uint64_t*>(regions.keys);
  if (!readIndex(indexPath, count, index, indexFile)) return false;
  if (!listFrames(areaTag, index, count, header.endFrame, frames)) return false;
  buildEntries(index, frames, count, regions.entries);
  table.entries = {regions.entries, count};

  const std::uint64_t listed = scanFrames(areaTag, base, table, regions);
  if (listed == noPosition) return false;

  // The text table is no longer needed: the sorted keys and their bucket
  // counts take its place, and the results take the place of the keys.
  auto* sorted = reinterpret_cast<KeyRef*>(regions.work);
  auto* counts = reinterpret_cast<std::uint32_t*>(sorted + listed);
  sortKeys(regions.keys, listed, sorted, counts);
  table.keys = {sorted, listed};
  table.results = {reinterpret_cast<LinkResult*>(regions.keys), count};
  return true;
}

}  // namespace knotter
