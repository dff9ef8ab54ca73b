// The keyed hash against values worked out by hand: NH adds each 32-bit half
// to its key half mod 2^32 and sums the 64-bit products of the pairs; the mix
// multiplies by the key's odd number, and takes 64-bit values alone; short
// texts are hashed with their length and zeros, never with what follows.
#include "linker/keyed_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "linker/run_keys.h"

namespace {

knotter::RunKey handKey() {
  knotter::RunKey key;
  key.words[0] = (std::uint64_t{5} << 32) | 3;           // halves 3 and 5
  key.words[1] = (std::uint64_t{1} << 32) | 0xFFFFFFFF;  // halves 2^32 - 1 and 1
  key.words[knotter::sumKeyWords] = 6;                   // made odd: 7
  key.words[knotter::sumKeyWords + 1] = 9;
  return key;
}

TEST(KeyedHash, SumsAndMixesAsWorkedOutByHand) {
  const ktest::ScopedRunKey key(handKey());
  const struct {
    const char* name;
    std::uint32_t halves[4];
    std::size_t size;
    std::uint64_t sum;
  } cases[] = {
      {"one word", {1, 2}, 8, (1 + 3) * (2 + 5)},
      {"halves wrap at 2^32", {0xFFFFFFFD, 0xFFFFFFFB}, 8, 0},
      {"a half that wraps to 0", {0, 0, 1, 7}, 16, 3 * 5 + 0 * 8},
      {"products are 64 bits", {0xFFFFFFF0, 0xFFFFFFF0}, 8, std::uint64_t{0xFFFFFFF3} * 0xFFFFFFF5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(knotter::keyedSum(c.halves, c.size), c.sum);
  }
  EXPECT_EQ(knotter::keyedMix(10), 70u);
  EXPECT_EQ(knotter::keyedMixOther(10), 90u);
  EXPECT_EQ(knotter::keyedWordHash(std::uint64_t{1} << 61), std::uint64_t{7} << 61);
}

TEST(KeyedHash, ShortTextsTakeTheirLengthAndZerosOnly) {
  const ktest::ScopedRunKey key(ktest::keyFromSeed(1));
  std::uint8_t record[16];
  std::memset(record, 'x', sizeof record);
  std::memcpy(record, "abc", 3);
  const std::uint8_t padded[8] = {3, 'a', 'b', 'c'};
  EXPECT_EQ(knotter::keyedBytesHash(record, 3), knotter::keyedMix(knotter::keyedSum(padded, 8)));
  const std::uint8_t withNul[4] = {'a', 'b', 'c', 0};
  EXPECT_NE(knotter::keyedBytesHash(withNul, 4), knotter::keyedBytesHash(withNul, 3));
  const std::uint8_t seven[8] = {7, 's', 'e', 'v', 'e', 'n', '!', '!'};  // one word, no more
  EXPECT_EQ(knotter::keyedBytesHash(seven + 1, 7), knotter::keyedMix(knotter::keyedSum(seven, 8)));
}

}  // namespace
