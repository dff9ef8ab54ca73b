#include "colliding_texts.h"

#include <array>
#include <cstring>

namespace knotter::bench {
namespace {

// The tool's text hash before it was keyed, over the 24 bytes of an origin
// text (zeros after it); its table took the low bits as the slot.
std::uint64_t oldTextHash(std::uint64_t word0, std::uint64_t word1, std::uint64_t word2) {
  std::uint64_t h = word0 * 0x9E3779B97F4A7C15ull;
  h = (h ^ (h >> 29) ^ word1) * 0xBF58476D1CE4E5B9ull;
  h = (h ^ (h >> 32) ^ word2) * 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}
constexpr std::uint64_t oldSlotMask = (1u << 15) - 1;  // 32768 slots, its largest

// Five-digit nets and nodes, so that "2:NNNNN/" is the first word of the
// text and the node's digits the second: the search hashes one word anew
// per candidate.
constexpr std::uint32_t firstNumber = 10000;
constexpr std::uint32_t numbers = 65536 - firstNumber;

std::uint64_t wordOf(const char* text, std::size_t length) {
  std::uint64_t word = 0;
  std::memcpy(&word, text, length);
  return word;
}

std::uint64_t netWord(std::uint32_t net) {
  const std::string text = "2:" + std::to_string(net) + "/";
  return wordOf(text.data(), text.size());
}

std::uint64_t nodeWord(std::uint32_t node) {
  const std::string text = std::to_string(node);
  return wordOf(text.data(), text.size());
}

NodeAddress addressOf(std::uint64_t candidate) {
  return {2, static_cast<std::uint16_t>(firstNumber + candidate / numbers),
          static_cast<std::uint16_t>(firstNumber + candidate % numbers), 0};
}

// The old subject hash (FNV-1a over the length byte and the normalised
// subject) and its bucket among areaSize.
constexpr std::uint64_t fnvBasis = 0xCBF29CE484222325ULL;
constexpr std::uint64_t fnvPrime = 0x100000001B3ULL;
std::uint64_t fnvStep(std::uint64_t h, std::uint8_t byte) { return (h ^ byte) * fnvPrime; }
std::uint32_t oldBucket(std::uint64_t h, std::uint32_t areaSize) {
  return static_cast<std::uint32_t>((std::uint64_t{static_cast<std::uint32_t>(h ^ (h >> 32))} *
                                     areaSize) >> 32);
}

constexpr char letters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::uint64_t letterCount = sizeof letters - 1;
constexpr std::size_t subjectLength = 15;

std::string subjectOf(std::uint64_t candidate) {
  std::string subject = "Topic-000000000";
  for (std::size_t at = subjectLength; candidate != 0; candidate /= letterCount) {
    subject[--at] = letters[candidate % letterCount];
  }
  return subject;
}

// The subjects that share candidate 0's bucket, found by trying the last
// letter in an inner loop over the hash of everything before it.
std::vector<std::string> collidingSubjects(std::uint32_t count, std::uint32_t areaSize) {
  const auto hashOf = [](const std::string& subject, std::size_t length) {
    std::uint64_t h = fnvStep(fnvBasis, subjectLength);
    for (std::size_t i = 0; i < length; ++i) h = fnvStep(h, static_cast<std::uint8_t>(subject[i]));
    return h;
  };
  const std::uint32_t target = oldBucket(hashOf(subjectOf(0), subjectLength), areaSize);
  std::vector<std::string> pool;
  for (std::uint64_t stem = 0; pool.size() < count; ++stem) {
    const std::string subject = subjectOf(stem * letterCount);
    const std::uint64_t h = hashOf(subject, subjectLength - 1);
    for (std::uint64_t last = 0; last < letterCount && pool.size() < count; ++last) {
      if (oldBucket(fnvStep(h, letters[last]), areaSize) == target) {
        pool.push_back(subjectOf(stem * letterCount + last));
      }
    }
  }
  return pool;
}

}  // namespace

std::vector<NodeAddress> originPool(std::uint32_t count, bool colliding) {
  std::vector<NodeAddress> pool;
  if (!colliding) {
    // As far apart as the colliding ones come out, one in 2^15.
    for (std::uint64_t k = 0; k < count; ++k) pool.push_back(addressOf(k * (oldSlotMask + 1)));
    return pool;
  }
  std::array<std::uint64_t, numbers> nodeWords;
  for (std::uint32_t i = 0; i < numbers; ++i) nodeWords[i] = nodeWord(firstNumber + i);
  const std::uint64_t target = oldTextHash(netWord(firstNumber), nodeWords[0], 0) & oldSlotMask;
  for (std::uint32_t net = 0; net < numbers && pool.size() < count; ++net) {
    const std::uint64_t word0 = netWord(firstNumber + net);
    for (std::uint32_t node = 0; node < numbers && pool.size() < count; ++node) {
      if ((oldTextHash(word0, nodeWords[node], 0) & oldSlotMask) == target) {
        pool.push_back(addressOf(std::uint64_t{net} * numbers + node));
      }
    }
  }
  return pool;
}

std::vector<std::string> subjectPool(std::uint32_t count, bool colliding, std::uint32_t areaSize) {
  if (colliding) return collidingSubjects(count, areaSize);
  std::vector<std::string> pool;
  for (std::uint64_t k = 0; k < count; ++k) pool.push_back(subjectOf(k * areaSize + 1));
  return pool;
}

}  // namespace knotter::bench
