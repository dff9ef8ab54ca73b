#include "linker/origin_texts.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace knotter {
namespace {

// Small areas take at least this many texts, large ones one per message up
// to maxOriginTexts; the table is kept at most half full.
constexpr std::uint64_t minRoom = 4096;
constexpr std::uint64_t initialSlots = 4096;

std::uint64_t roomFor(std::uint64_t capacity) {
  return std::clamp<std::uint64_t>(capacity, minRoom, maxOriginTexts);
}

std::uint64_t slotsFor(std::uint64_t room) { return std::bit_ceil(2 * room); }

// One recent key per 64 messages, at most a quarter of a megabyte's worth,
// so that the cache stays close to the processor.
std::uint64_t recentLinesFor(std::uint64_t capacity) {
  return std::bit_ceil(std::clamp<std::uint64_t>(capacity / 64, 256, 8192));
}

std::uint64_t hashWords(const char (&text)[msgIdTextSize]) {
  std::uint64_t words[3];
  std::memcpy(words, text, sizeof words);
  std::uint64_t h = words[0] * 0x9E3779B97F4A7C15ull;
  h = (h ^ (h >> 29) ^ words[1]) * 0xBF58476D1CE4E5B9ull;
  h = (h ^ (h >> 32) ^ words[2]) * 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

// A slot holds the text's number in its low 16 bits and 16 bits of its hash
// above them, so that a probe past another text rarely reads that text.
static_assert(maxOriginTexts <= 0xFFFF);
std::uint32_t tagOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 48) << 16; }

std::uint32_t* findSlot(const OriginTexts& table, const char (&text)[msgIdTextSize],
                        std::uint64_t hash) {
  const std::uint32_t tag = tagOf(hash);
  std::uint64_t slot = hash & (table.slotCount - 1);
  for (;;) {
    const std::uint32_t entry = table.slots[slot];
    if (entry == 0) return &table.slots[slot];
    if ((entry & 0xFFFF0000) == tag &&
        std::memcmp(table.texts[(entry & 0xFFFF) - 1], text, msgIdTextSize) == 0) {
      return &table.slots[slot];
    }
    slot = (slot + 1) & (table.slotCount - 1);
  }
}

void grow(OriginTexts& table) {
  table.slotCount = std::min(table.slotCount * 2, table.maxSlots);
  std::memset(table.slots, 0, table.slotCount * sizeof(std::uint32_t));
  for (std::uint32_t i = 0; i < table.used; ++i) {
    const std::uint64_t hash = hashWords(table.texts[i]);
    *findSlot(table, table.texts[i], hash) = tagOf(hash) | (i + 1);
  }
}

}  // namespace

std::uint32_t originTextHash(const char (&text)[msgIdTextSize]) {
  return static_cast<std::uint32_t>(hashWords(text) >> 33);
}

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
  table.maxSlots = slotsFor(table.room);
  table.slotCount = std::min(initialSlots, table.maxSlots);
  table.slots = reinterpret_cast<std::uint32_t*>(bytes);
  table.texts = reinterpret_cast<char(*)[msgIdTextSize]>(bytes + table.maxSlots *
                                                                     sizeof(std::uint32_t));
  std::memset(table.slots, 0, table.slotCount * sizeof(std::uint32_t));
}

std::uint32_t originTextNumber(OriginTexts& table, const char (&text)[msgIdTextSize]) {
  if (text[0] == '\0') return 0;
  const std::uint64_t hash = hashWords(text);
  std::uint32_t* slot = findSlot(table, text, hash);
  if (*slot != 0) return *slot & 0xFFFF;
  if (table.used == table.room) return hashedText | static_cast<std::uint32_t>(hash >> 33);
  if (2 * (std::uint64_t{table.used} + 1) > table.slotCount) {
    grow(table);
    slot = findSlot(table, text, hash);
  }
  std::memcpy(table.texts[table.used], text, msgIdTextSize);
  *slot = tagOf(hash) | ++table.used;
  return table.used;
}

bool sameAsRecentKey(OriginTexts& table, std::uint64_t key, const char (&text)[msgIdTextSize]) {
  RecentKey& line = table.recent[((key * 0x9E3779B97F4A7C15ull) >> 32) & (table.recentLines - 1)];
  const bool same = line.key == key && std::memcmp(line.text, text, msgIdTextSize) == 0;
  line.key = key;
  std::memcpy(line.text, text, msgIdTextSize);
  return same;
}

}  // namespace knotter
