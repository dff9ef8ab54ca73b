// The hashes of the linkers' tables: the table of origin texts and its cache
// of recent keys, the buckets of the key sort and the subject groups. All are
// keyed by the run's random key, so that no arrangement of kludges or
// subjects can be chosen to make many of them share a slot or a bucket. No
// hash decides what is linked: texts that share one are still compared in
// full, so only the time can depend on the key.
//
// The family: NH over 32-bit halves, then multiply-shift. NH adds each 32-bit
// half of the input to its own half of the key and sums the 64-bit products
// of the pairs: two different inputs give the same sum for at most a 2^-31
// share of the keys (2^-32 when they have the same size). Multiply-shift takes
// the top b bits of the sum times a random odd number: two different sums
// agree there for at most a 2^(1-b) share of the multipliers. So two texts
// share one of 2^b slots with chance at most 2^(1-b) + 2^-31, whatever the
// texts, for one multiply per 8 bytes and one more; a 64-bit value needs
// only the last. A seeded mixer of the kind this replaces costs as much, but
// nothing bounds its collisions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/run_key.h"

namespace knotter {

// Inputs are hashed in whole 8-byte words, at most this many bytes: a
// normalised subject and its length byte fit.
constexpr std::size_t maxKeyedBytes = 80;

// The words of the run key that NH takes; the two multipliers follow.
constexpr int sumKeyWords = maxKeyedBytes / 8;
static_assert(sumKeyWords + 2 <= runKeyWords);

// The NH sum of the size bytes at bytes; size is a multiple of 8, at most
// maxKeyedBytes. Its low bits are weak: a hash is the top bits of keyedMix.
inline std::uint64_t keyedSum(const void* bytes, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t at = 0; at < size; at += 8) {
    std::uint32_t half[2];
    std::memcpy(half, static_cast<const std::uint8_t*>(bytes) + at, sizeof half);
    const std::uint64_t key = runKey.words[at / 8];
    const std::uint32_t low = half[0] + static_cast<std::uint32_t>(key);
    const std::uint32_t high = half[1] + static_cast<std::uint32_t>(key >> 32);
    sum += std::uint64_t{low} * high;
  }
  return sum;
}

// The sum times the run's first random odd number: the top bits are the hash.
inline std::uint64_t keyedMix(std::uint64_t sum) { return sum * (runKey.words[sumKeyWords] | 1); }

// The same with the second one, for a hash that must not follow the first.
inline std::uint64_t keyedMixOther(std::uint64_t sum) {
  return sum * (runKey.words[sumKeyWords + 1] | 1);
}

// A keyed hash of a 64-bit value, in its top bits: multiply-shift alone
// bounds the collisions of 64-bit values as it does those of sums.
inline std::uint64_t keyedWordHash(std::uint64_t value) { return keyedMix(value); }

// A keyed hash of length bytes (at most maxKeyedBytes - 1), in its top bits:
// the length byte and the bytes, padded with zeros to whole words.
std::uint64_t keyedBytesHash(const std::uint8_t* bytes, std::size_t length);

}  // namespace knotter
