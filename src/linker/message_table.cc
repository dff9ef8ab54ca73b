#include "linker/message_table.h"

#include <algorithm>
#include <cstring>

#include "linker/scratch_buffer.h"

namespace knotter {
namespace {

// While the frames are scanned, the work region holds the origin text table:
// 12 bytes of slots and room for two distinct 24-byte texts per message.
constexpr std::uint64_t slotsPerMessage = 3;
constexpr std::uint64_t textsPerMessage = 2;
static_assert(sizeof(std::uint32_t) * slotsPerMessage + msgIdTextSize * textsPerMessage <=
              rawIndexBytes);
static_assert(sizeof(std::uint64_t) <= keyBytesPerMessage);  // the frames while ordered

// The origin texts: open addressing over slots holding text number + 1 (0
// is an empty slot). An area has few distinct origins, so the table starts
// small and stays in cache, growing only up to the room the block has for it.
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

bool keyLess(const KeyRef& a, const KeyRef& b) {
  if (a.key != b.key) return a.key < b.key;
  if (a.number != b.number) return a.number < b.number;
  return a.ref < b.ref;
}

std::uint64_t bucketHash(std::uint64_t key) {
  key ^= key >> 33;
  key *= 0xFF51AFD7ED558CCDull;
  key ^= key >> 33;
  return key;
}

// Sorts the listed keys into out so that equal identifiers are adjacent and
// ordered by number. The order of the groups themselves does not matter to
// linking, so one bucket pass on a hash of the key does most of the work and
// each small bucket is then sorted in cache.
void sortKeyList(const KeyRef* keys, std::uint64_t count, KeyRef* out, std::uint32_t* counts) {
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

bool takeMessageTable(std::uint32_t count, std::uint64_t formatBytes, MessageTable& table) {
  table = MessageTable{};
  table.capacity = std::max<std::uint64_t>(count, minScratchMessages);
  table.formatBytes = (formatBytes + 7) & ~std::uint64_t{7};
  const std::uint64_t perMessage =
      sizeof(MessageEntry) + table.formatBytes + keyBytesPerMessage + rawIndexBytes;
  auto* block = static_cast<std::uint8_t*>(scratchBuffer(table.capacity * perMessage));
  if (block == nullptr) return false;
  std::uint8_t* at = block;
  table.entries = {reinterpret_cast<MessageEntry*>(at), 0};
  at += table.capacity * sizeof(MessageEntry);
  table.format = at;
  at += table.capacity * table.formatBytes;
  table.frames = reinterpret_cast<std::uint64_t*>(at);
  at += table.capacity * keyBytesPerMessage;
  table.index = at;
  return true;
}

void orderFrames(MessageTable& table, std::uint32_t count) {
  // Tossers append, so the index is usually in file order already.
  if (!std::is_sorted(table.frames, table.frames + count)) {
    std::sort(table.frames, table.frames + count);
  }
  table.entries = {table.entries.data(), count};
}

KeyCollector::KeyCollector(MessageTable& table, const char* areaTag)
    : table_(table), listed_(reinterpret_cast<KeyRef*>(table.frames)),
      areaTagHash_(MsgIdHash(areaTag)) {
  texts_.slots = reinterpret_cast<std::uint32_t*>(table.index);
  texts_.maxSlots = table.capacity * slotsPerMessage;
  texts_.slotCount = std::min(initialSlots, texts_.maxSlots);
  texts_.texts = reinterpret_cast<char(*)[msgIdTextSize]>(table.index + texts_.maxSlots *
                                                                            sizeof(std::uint32_t));
  std::memset(texts_.slots, 0, texts_.slotCount * sizeof(std::uint32_t));
  table.listedKeys = 0;
}

void KeyCollector::scan(std::uint32_t slot, const std::uint8_t* begin, const std::uint8_t* end) {
  start(slot);
  feed(begin, end);
  finish();
}

void KeyCollector::start(std::uint32_t slot) {
  slot_ = slot;
  startKludgeScan(scan_, msgIdKey_, replyKey_, areaTagHash_);
}

bool KeyCollector::feed(const std::uint8_t* begin, const std::uint8_t* end) {
  return feedKludgeScan(scan_, begin, end);
}

void KeyCollector::finish() {
  finishKludgeScan(scan_);
  const std::uint64_t keys[2] = {packKey(msgIdKey_, textNumber(texts_, msgIdKey_.text)),
                                 packKey(replyKey_, textNumber(texts_, replyKey_.text))};
  const std::uint32_t number = table_.entries[slot_].number;
  for (std::uint32_t kind = msgIdKind; kind <= replyKind; ++kind) {
    if (keys[kind] != 0) listed_[table_.listedKeys++] = KeyRef{keys[kind], number, slot_ * 2 + kind};
  }
}

void sortKeys(MessageTable& table) {
  // The text table is no longer needed: the sorted keys and their bucket
  // counts take its place, and the links take the place of the keys.
  auto* sorted = reinterpret_cast<KeyRef*>(table.index);
  auto* counts = reinterpret_cast<std::uint32_t*>(sorted + table.listedKeys);
  sortKeyList(reinterpret_cast<const KeyRef*>(table.frames), table.listedKeys, sorted, counts);
  table.keys = {sorted, table.listedKeys};
  table.links = {reinterpret_cast<Links*>(table.frames), table.entries.size()};
  table.linkWork = reinterpret_cast<std::uint8_t*>(table.frames) + table.capacity * sizeof(Links);
  table.frames = nullptr;
  table.index = nullptr;
}

}  // namespace knotter
