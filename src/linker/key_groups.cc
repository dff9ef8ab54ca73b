// Sorting and grouping the collected keys of a message table, in the room
// the keys themselves take.
#include <algorithm>
#include <cstring>

#include "linker/hashed_groups.h"
#include "linker/keyed_hash.h"
#include "linker/message_table.h"

namespace knotter {
namespace {

bool keyLess(const KeyRef& a, const KeyRef& b) {
  if (a.key != b.key) return a.key < b.key;
  if (a.number != b.number) return a.number < b.number;
  return a.ref < b.ref;
}

// Keyed, so that no choice of keys can crowd one bucket: the sort of a
// bucket is n log n, but a few crowded ones would fall out of cache.
std::uint64_t bucketHash(std::uint64_t key) { return keyedWordHash(key); }

constexpr int maxPassBits = 9;

// Moves each key into its bucket, in place: bucket(key) gives one of
// 2^bits buckets. Returns through end where each bucket ends. Keys are
// swapped towards a few hundred places at most, each advancing through
// memory, so the next line of each is fetched ahead.
template <typename Bucket>
void distribute(KeyRef* keys, std::uint64_t count, int bits, Bucket bucket,
                std::uint32_t (&end)[1 << maxPassBits]) {
  const std::uint64_t buckets = std::uint64_t{1} << bits;
  std::uint32_t next[1 << maxPassBits];
  std::fill(end, end + buckets, 0u);
  for (std::uint64_t i = 0; i < count; ++i) ++end[bucket(keys[i])];
  std::uint32_t at = 0;
  for (std::uint64_t b = 0; b < buckets; ++b) {
    next[b] = at;
    at += end[b];
    end[b] = at;
  }
  constexpr std::uint32_t ahead = 8;  // keys: two cache lines
  for (std::uint64_t b = 0; b < buckets; ++b) {
    while (next[b] < end[b]) {
      KeyRef k = keys[next[b]];
      for (std::uint64_t d = bucket(k); d != b; d = bucket(k)) {
        __builtin_prefetch(keys + next[d] + ahead, 1);
        std::swap(k, keys[next[d]++]);
      }
      keys[next[b]++] = k;
    }
  }
}

// Sorts the keys so that equal key fields are adjacent and ordered by
// (number, ref). The order of the runs themselves does not matter to
// linking, so two in-place bucket passes on a hash of the key do most of the
// work: the first into at most 2^maxPassBits parts, each of which then fits
// in cache for the second, and each small bucket left is sorted last.
void sortKeyList(KeyRef* keys, std::uint64_t count) {
  int bits = 0;
  while ((std::uint64_t{2} << bits) <= count / 4) ++bits;
  const int firstBits = std::min(bits, maxPassBits);
  const int secondBits = std::min(bits - firstBits, maxPassBits);
  const int shift = 64 - firstBits;
  std::uint32_t firstEnd[1 << maxPassBits];
  distribute(keys, count, firstBits, [&](const KeyRef& k) {
    return firstBits == 0 ? 0 : bucketHash(k.key) >> shift;
  }, firstEnd);
  std::uint32_t begin = 0;
  for (std::uint64_t a = 0; a < (std::uint64_t{1} << firstBits); ++a) {
    KeyRef* part = keys + begin;
    const std::uint64_t size = firstEnd[a] - begin;
    std::uint32_t secondEnd[1 << maxPassBits];
    distribute(part, size, secondBits, [&](const KeyRef& k) {
      return secondBits == 0 ? 0 : (bucketHash(k.key) << firstBits) >> (64 - secondBits);
    }, secondEnd);
    std::uint32_t from = 0;
    for (std::uint64_t b = 0; b < (std::uint64_t{1} << secondBits); ++b) {
      std::sort(part + from, part + secondEnd[b], keyLess);
      from = secondEnd[b];
    }
    begin = firstEnd[a];
  }
}

// Writes the refs of groups into the room the keys took, behind the keys
// already passed: a ref takes 4 bytes where its key took 16. A group whose
// origin text was hashed is marked in hashed as well as in starts.
class GroupWriter {
 public:
  GroupWriter(const CollectedKeys& keys, std::uint64_t* starts, std::uint64_t* hashed)
      : refs_(reinterpret_cast<std::uint32_t*>(keys.keys)), starts_(starts), hashed_(hashed) {
    const std::uint64_t words = bitWords(keys.count);
    std::fill(starts_, starts_ + words, std::uint64_t{0});
    std::fill(hashed_, hashed_ + words, std::uint64_t{0});
  }
  // Keys [begin, end) form one group; a group of one key links nothing and
  // is left out.
  void add(const KeyRef* begin, const KeyRef* end) {
    if (end - begin < 2) return;
    setBit(starts_, count_);
    if (isHashedText(static_cast<std::uint32_t>(begin->key))) {
      setBit(hashed_, count_);
      ++hashedGroups_;
    }
    for (const KeyRef* k = begin; k < end; ++k) {
      const std::uint32_t ref = k->ref;
      refs_[count_++] = ref;
    }
  }
  KeyGroups groups() const { return {{refs_, count_}, starts_}; }
  std::uint64_t hashedGroups() const { return hashedGroups_; }

 private:
  std::uint32_t* refs_;
  std::uint64_t* starts_;
  std::uint64_t* hashed_;
  std::uint64_t count_ = 0;
  std::uint64_t hashedGroups_ = 0;
};

// The links and the linker's words follow the refs in the room the keys
// took (see keyRoomBytes): two refs per message at most, and a pad of 4
// bytes only when their count is odd, so that one fewer.

std::uint8_t* alignedAfter(std::span<const std::uint32_t> refs) {
  auto* end = reinterpret_cast<std::uint8_t*>(const_cast<std::uint32_t*>(refs.data() + refs.size()));
  return end + (-reinterpret_cast<std::uintptr_t>(end) & 7);
}

}  // namespace

LinkTable groupKeys(const MessageBlock& block, const CollectedKeys& collected,
                    const KeyRescan& rescan) {
  KeyRef* keys = collected.keys;
  const std::uint64_t count = collected.count;
  sortKeyList(keys, count);
  std::uint64_t* starts = block.marks + block.markWords;
  std::uint64_t* hashed = starts + block.markWords;
  GroupWriter writer(collected, starts, hashed);
  std::uint64_t begin = 0;
  while (begin < count) {
    std::uint64_t end = begin + 1;
    while (end < count && keys[end].key == keys[begin].key) ++end;
    writer.add(keys + begin, keys + end);
    begin = end;
  }
  LinkTable table;
  table.entries = collected.entries;
  table.groups = writer.groups();
  if (writer.hashedGroups() > 0) {
    const HashedGroups groups{reinterpret_cast<std::uint32_t*>(keys), table.groups.refs.size(),
                              starts, hashed};
    const TextRoom room{alignedAfter(table.groups.refs), block.keyRoomEnd};
    checkHashedGroups(collected, groups, rescan, room);
  }
  // The links follow the refs, in room the keys took.
  auto* links = reinterpret_cast<Links*>(alignedAfter(table.groups.refs));
  table.links = {links, table.entries.size()};
  table.linkWork = reinterpret_cast<std::uint8_t*>(links + table.entries.size());
  return table;
}

}  // namespace knotter
