#include "linker/origin_texts.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "linker/keyed_hash.h"

namespace knotter {
namespace {

// Small areas take at least this many texts, large ones one per message up
// to maxOriginTexts; the table is kept at most half full.
constexpr std::uint64_t minRoom = 4096;

// A probe gives up after this many slots: a text that finds neither itself
// nor an empty slot by then is hashed, as one that finds the table full is.
// Slots only fill, so such a text is hashed every time it comes, and every
// text of the table lies within the limit of where its probe starts. The
// keyed hash bounds how often two texts share a slot, which for probing
// (unlike chaining) is not enough to bound the runs of full slots; the limit
// bounds them whatever the input. In a full table (half its slots) a probe
// this long comes up by chance in about one table in 50,000, and then only
// that text is hashed.
constexpr std::uint64_t probeLimit = 64;

std::uint64_t roomFor(std::uint64_t capacity) {
  return std::clamp<std::uint64_t>(capacity, minRoom, maxOriginTexts);
}

std::uint64_t slotsFor(std::uint64_t room) { return std::bit_ceil(2 * room); }

// One recent key per 64 messages, at most a quarter of a megabyte's worth,
// so that the cache stays close to the processor.
std::uint64_t recentLinesFor(std::uint64_t capacity) {
  return std::bit_ceil(std::clamp<std::uint64_t>(capacity / 64, 256, 8192));
}

// The one hash of a text: its 24 bytes, zeros after the NUL included.
static_assert(msgIdTextSize % 8 == 0 && msgIdTextSize <= maxKeyedBytes);
std::uint64_t textSum(const char (&text)[msgIdTextSize]) { return keyedSum(text, msgIdTextSize); }

// What a hashed text carries in its keys, apart from where the table would
// put it: texts whose probes ran out of room at one place must not share it.
std::uint32_t hashedId(std::uint64_t sum) {
  return static_cast<std::uint32_t>(keyedMixOther(sum) >> 33);
}

// A slot holds the text's number in its low 16 bits and 16 bits of its hash
// above them, so that a probe past another text rarely reads that text. The
// slot is the top bits of the hash; the tag is taken below them.
static_assert(maxOriginTexts <= 0xFFFF);
std::uint32_t tagOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32) << 16; }

// The slot of the text, or an empty slot where it would go, or null when
// the probe reached its limit.
std::uint32_t* findSlot(const OriginTexts& table, const char (&text)[msgIdTextSize],
                        std::uint64_t hash) {
  const std::uint32_t tag = tagOf(hash);
  std::uint64_t slot = hash >> (64 - std::countr_zero(table.slotCount));
  for (std::uint64_t probe = 0; probe < probeLimit; ++probe) {
    const std::uint32_t entry = table.slots[slot];
    if (entry == 0) return &table.slots[slot];
    if ((entry & 0xFFFF0000) == tag &&
        std::memcmp(table.texts[(entry & 0xFFFF) - 1], text, msgIdTextSize) == 0) {
      return &table.slots[slot];
    }
    slot = (slot + 1) & (table.slotCount - 1);
  }
  return nullptr;
}

}  // namespace

std::uint32_t originTextHash(const char (&text)[msgIdTextSize]) { return hashedId(textSum(text)); }

std::uint64_t originTextsBytes(std::uint64_t capacity) {
  const std::uint64_t room = roomFor(capacity);
  return recentLinesFor(capacity) * sizeof(RecentKey) + slotsFor(room) * sizeof(std::uint32_t) +
         room * msgIdTextSize;
}

void startOriginTexts(OriginTexts& table, std::uint8_t* bytes, std::uint64_t capacity) {
  table = OriginTexts{};
  table.recentLines = recentLinesFor(capacity);
  table.recent = reinterpret_cast<RecentKey*>(bytes);
  std::fill(table.recent, table.recent + table.recentLines, RecentKey{});
  bytes += table.recentLines * sizeof(RecentKey);
  table.room = static_cast<std::uint32_t>(roomFor(capacity));
  table.slotCount = slotsFor(table.room);
  table.slots = reinterpret_cast<std::uint32_t*>(bytes);
  table.texts =
      reinterpret_cast<char(*)[msgIdTextSize]>(bytes + table.slotCount * sizeof(std::uint32_t));
  std::memset(table.slots, 0, table.slotCount * sizeof(std::uint32_t));
}

std::uint32_t originTextNumber(OriginTexts& table, const char (&text)[msgIdTextSize]) {
  if (text[0] == '\0') return 0;
  const std::uint64_t sum = textSum(text);
  const std::uint64_t hash = keyedMix(sum);
  std::uint32_t* slot = findSlot(table, text, hash);
  if (slot != nullptr && *slot != 0) return *slot & 0xFFFF;
  if (slot == nullptr || table.used == table.room) return hashedText | hashedId(sum);
  std::memcpy(table.texts[table.used], text, msgIdTextSize);
  *slot = tagOf(hash) | ++table.used;
  return table.used;
}

bool sameAsRecentKey(OriginTexts& table, std::uint64_t key, const char (&text)[msgIdTextSize]) {
  RecentKey& line = table.recent[keyedWordHash(key) >> (64 - std::countr_zero(table.recentLines))];
  const bool same = line.key == key && std::memcmp(line.text, text, msgIdTextSize) == 0;
  line.key = key;
  std::memcpy(line.text, text, msgIdTextSize);
  return same;
}

}  // namespace knotter
