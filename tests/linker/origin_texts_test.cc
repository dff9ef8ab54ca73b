// The table of origin texts under its keyed hash: texts that all shared one
// slot under the unkeyed hash the table had before spread out, and texts
// chosen against the key itself (which mail cannot know, but a test can)
// are held to a bounded probe and hashed past it, consistently.
#include "linker/origin_texts.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "linker/keyed_hash.h"
#include "linker/run_keys.h"

namespace {

struct Text {
  char bytes[knotter::msgIdTextSize] = {};
};

Text textOf(const std::string& origin) {
  Text text;
  std::memcpy(text.bytes, origin.data(), origin.size());
  return text;
}

// The hash the table used before it was keyed, copied here: anyone could
// search it for texts that share a slot.
std::uint64_t unkeyedHash(const Text& text) {
  std::uint64_t words[3];
  std::memcpy(words, text.bytes, sizeof words);
  std::uint64_t h = words[0] * 0x9E3779B97F4A7C15ull;
  h = (h ^ (h >> 29) ^ words[1]) * 0xBF58476D1CE4E5B9ull;
  h = (h ^ (h >> 32) ^ words[2]) * 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

// count origin texts "2:<net>/1" that placeOf puts in one place.
template <typename PlaceOf>
std::vector<Text> textsInOnePlace(std::size_t count, PlaceOf placeOf) {
  std::vector<Text> texts;
  const std::uint64_t place = placeOf(textOf("2:1/1"));
  for (std::uint32_t net = 1; texts.size() < count; ++net) {
    const Text text = textOf("2:" + std::to_string(net) + "/1");
    if (placeOf(text) == place) texts.push_back(text);
  }
  return texts;
}

// A table for an area of capacity messages, in memory of its own.
struct TextTable {
  explicit TextTable(std::uint64_t capacity)
      : memory(knotter::originTextsBytes(capacity) / sizeof(std::uint64_t) + 1) {
    knotter::startOriginTexts(table, reinterpret_cast<std::uint8_t*>(memory.data()), capacity);
  }
  std::uint32_t number(const Text& text) { return knotter::originTextNumber(table, text.bytes); }
  // The longest run of full slots: how far a probe may have to go.
  std::uint64_t longestRun() const {
    std::uint64_t longest = 0;
    std::uint64_t run = 0;
    for (std::uint64_t s = 0; s < table.slotCount; ++s) {
      run = table.slots[s] != 0 ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    return longest;
  }

  std::vector<std::uint64_t> memory;
  knotter::OriginTexts table;
};

constexpr std::uint64_t capacity = 1000;  // a table of 8192 slots
constexpr std::uint64_t slotBits = 13;

TEST(OriginTexts, TextsThatSharedASlotUnkeyedSpreadOut) {
  const std::vector<Text> texts = textsInOnePlace(
      500, [](const Text& text) { return unkeyedHash(text) & ((1u << slotBits) - 1); });
  for (const std::uint64_t seed : {1, 2}) {
    SCOPED_TRACE(seed);
    const ktest::ScopedRunKey key(ktest::keyFromSeed(seed));
    TextTable table(capacity);
    ASSERT_EQ(table.table.slotCount, std::uint64_t{1} << slotBits);
    for (std::uint32_t i = 0; i < texts.size(); ++i) ASSERT_EQ(table.number(texts[i]), i + 1);
    EXPECT_LT(table.longestRun(), 12u);  // unkeyed, one run of 500
  }
}

TEST(OriginTexts, TextsChosenAgainstTheKeyProbeAtMost64Slots) {
  const ktest::ScopedRunKey key(ktest::keyFromSeed(3));
  const std::vector<Text> texts = textsInOnePlace(100, [](const Text& text) {
    return knotter::keyedMix(knotter::keyedSum(text.bytes, sizeof text.bytes)) >> (64 - slotBits);
  });
  TextTable table(capacity);
  std::vector<std::uint32_t> numbers;
  for (const Text& text : texts) numbers.push_back(table.number(text));
  for (std::uint32_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(i);
    if (i < 64) {
      EXPECT_EQ(numbers[i], i + 1);
    } else {
      EXPECT_TRUE(knotter::isHashedText(numbers[i]));
      EXPECT_EQ(numbers[i], knotter::hashedText | knotter::originTextHash(texts[i].bytes));
    }
    EXPECT_EQ(table.number(texts[i]), numbers[i]);  // the same every time it comes
  }
  EXPECT_EQ(table.longestRun(), 64u);
  EXPECT_EQ(table.number(textOf("2:5020/1")), 65u);  // elsewhere the table still fills
}

}  // namespace
