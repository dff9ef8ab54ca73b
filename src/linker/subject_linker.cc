#include "linker/subject_linker.h"

#include <algorithm>

#include "linker/area_source.h"
#include "linker/keyed_hash.h"
#include "linker/scratch_buffer.h"

namespace knotter {
namespace {

// No entry is wider than the smallest record, and the links fit in it.
constexpr std::size_t minRecordWidth = recordLinksEnd;
static_assert(minRecordWidth >= maxIndexEntryBytes);
constexpr std::uint64_t minBlockMessages = 500;

// The working word of a record means something else in each phase:
// - ordering by locator: the k-th word is slot k of the radix sort's second
//   buffer (bufferAt);
// - grouping: a representative (the first record of a subject) holds
//   representativeBit and the next representative of its hash bucket; any
//   other record holds its representative (nextInBucket, representativeOf);
// - dealing out: a representative holds representativeBit and first its
//   group's size, then where its group's next member goes (groupCursor).
constexpr std::uint32_t representativeBit = 0x80000000;
constexpr std::uint32_t wordValue = 0x7FFFFFFF;
constexpr std::uint32_t noRecord = 0x7FFFFFFF;  // counts are below 2^31, so no record has it

inline std::uint32_t word(const SubjectTable& table, std::uint32_t index) {
  return get32(record(table, index) + recordWordAt);
}
inline void setWord(const SubjectTable& table, std::uint32_t index, std::uint32_t value) {
  put32(record(table, index) + recordWordAt, value);
}

inline std::uint32_t bufferAt(const SubjectTable& table, std::uint32_t k) { return word(table, k); }
inline void setBufferAt(const SubjectTable& table, std::uint32_t k, std::uint32_t index) {
  setWord(table, k, index);
}

inline bool isRepresentative(const SubjectTable& table, std::uint32_t index) {
  return (word(table, index) & representativeBit) != 0;
}
inline std::uint32_t nextInBucket(const SubjectTable& table, std::uint32_t representative) {
  return word(table, representative) & wordValue;
}
inline std::uint32_t representativeOf(const SubjectTable& table, std::uint32_t index) {
  return isRepresentative(table, index) ? index : word(table, index);
}
inline std::uint32_t groupCursor(const SubjectTable& table, std::uint32_t representative) {
  return word(table, representative) & wordValue;
}
inline void setGroupCursor(const SubjectTable& table, std::uint32_t representative,
                           std::uint32_t value) {
  setWord(table, representative, representativeBit | value);
}

inline bool sameSubject(const std::uint8_t* a, const std::uint8_t* b) {
  return a[recordLengthAt] == b[recordLengthAt] && a[recordLengthAt] != noSubject &&
         std::memcmp(a + recordSubjectAt, b + recordSubjectAt, a[recordLengthAt]) == 0;
}

// Shorter subjects first, then by unsigned bytes; records without a subject last.
inline bool subjectBefore(const std::uint8_t* a, const std::uint8_t* b) {
  if (a[recordLengthAt] != b[recordLengthAt]) return a[recordLengthAt] < b[recordLengthAt];
  if (a[recordLengthAt] == noSubject) return false;
  return std::memcmp(a + recordSubjectAt, b + recordSubjectAt, a[recordLengthAt]) < 0;
}

std::size_t recordWidth(std::int32_t subjectLength) {
  std::size_t width = recordSubjectAt + static_cast<std::size_t>(subjectLength);
  width += width & 1;
  return std::max(width, minRecordWidth);
}

}  // namespace

bool takeSubjectTable(std::uint32_t count, std::int32_t subjectLength, std::uint64_t roomBytes,
                      SubjectTable& table) {
  table = SubjectTable{};
  const std::size_t width = recordWidth(subjectLength);
  const std::uint64_t messages = std::max<std::uint64_t>(count, minBlockMessages);
  // The bit set is read and written as 64-bit words: it begins on a multiple
  // of 8, whatever the width of the records before it.
  const std::uint64_t untouchedAt = (messages * (width + 4) + 7) & ~std::uint64_t{7};
  const std::uint64_t roomAt = untouchedAt + bitWords(messages) * sizeof(std::uint64_t);
  auto* block = static_cast<std::uint8_t*>(scratchBuffer(roomAt + messages * roomBytes));
  if (block == nullptr) return false;
  table.pointers = reinterpret_cast<std::uint32_t*>(block);
  table.records = block + messages * 4;
  table.width = width;
  table.count = count;
  table.recordArea = messages * width;
  table.untouched = reinterpret_cast<std::uint64_t*>(block + untouchedAt);
  table.formatRoom = block + roomAt;
  table.roomBytes = roomBytes;
  table.subjectLength = subjectLength;
  std::fill(table.untouched, table.untouched + bitWords(messages), std::uint64_t{0});
  return true;
}

std::span<std::uint8_t> rawIndexArea(const SubjectTable& table, std::size_t entryBytes) {
  const std::uint64_t bytes = std::uint64_t{table.count} * entryBytes;
  return {table.records + table.recordArea - bytes, bytes};
}

namespace {

// The locator sort takes a locator in three digits of 11 bits.
constexpr unsigned locatorDigitBits = 11;
constexpr unsigned locatorDigits = 3;
constexpr std::uint32_t locatorDigitValues = 1u << locatorDigitBits;
static_assert(locatorDigitBits * locatorDigits >= 32);

inline std::uint32_t locatorDigit(std::uint32_t locator, unsigned digit) {
  return (locator >> (locatorDigitBits * digit)) & (locatorDigitValues - 1);
}

// One stable counting pass of the locator sort: reads record numbers with
// `from`, writes them with `to`, ordered by the given digit of the locator.
template <typename From, typename To>
void scatterByLocatorDigit(const SubjectTable& table, const std::uint32_t* counts, unsigned digit,
                           From from, To to) {
  std::uint32_t next[locatorDigitValues];
  std::uint32_t start = 0;
  for (std::uint32_t value = 0; value < locatorDigitValues; ++value) {
    next[value] = start;
    start += counts[value];
  }
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint32_t index = from(k);
    to(next[locatorDigit(locatorOf(table, index), digit)]++, index);
  }
}

}  // namespace

// An index in locator order (the usual case) needs no sort. Otherwise a
// least-significant-digit radix sort, with the records' working words as
// its second buffer, so no comparison ever has to fetch two records.
void sortByLocator(const SubjectTable& table, bool sorted) {
  std::uint32_t* pointers = table.pointers;
  for (std::uint32_t i = 0; i < table.count; ++i) pointers[i] = i;
  if (sorted) return;
  std::uint32_t counts[locatorDigits][locatorDigitValues] = {};
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint32_t locator = locatorOf(table, i);
    for (unsigned d = 0; d < locatorDigits; ++d) ++counts[d][locatorDigit(locator, d)];
  }
  const auto fromPointers = [&](std::uint32_t k) { return pointers[k]; };
  const auto toPointers = [&](std::uint32_t k, std::uint32_t n) { pointers[k] = n; };
  const auto fromBuffer = [&](std::uint32_t k) { return bufferAt(table, k); };
  const auto toBuffer = [&](std::uint32_t k, std::uint32_t n) { setBufferAt(table, k, n); };
  bool inPointers = true;
  for (unsigned d = 0; d < locatorDigits; ++d) {
    const std::uint32_t* digitCounts = counts[d];
    if (*std::max_element(digitCounts, digitCounts + locatorDigitValues) == table.count) {
      continue;  // every locator has the same digit here: the pass would change nothing
    }
    if (inPointers) {
      scatterByLocatorDigit(table, digitCounts, d, fromPointers, toBuffer);
    } else {
      scatterByLocatorDigit(table, digitCounts, d, fromBuffer, toPointers);
    }
    inPointers = !inPointers;
  }
  if (!inPointers) {
    for (std::uint32_t k = 0; k < table.count; ++k) pointers[k] = bufferAt(table, k);
  }
}

namespace {

// Keyed, so that no choice of subjects can crowd one bucket's chain. Taking
// a bucket as (hash * count) >> 32 from the top 32 bits, two different
// subjects share one with chance at most about 4 / count.
std::uint32_t subjectHash(const std::uint8_t* r) {
  const std::uint64_t hash = keyedBytesHash(r + recordSubjectAt, r[recordLengthAt]);
  return static_cast<std::uint32_t>(hash >> 32);
}

// Gives every record its group: a record whose subject is new becomes the
// group's representative; a later one names it in its working word. The
// pointers serve as a hash table of the representatives, chained through
// their working words. A record without a subject is a group of its own.
// Returns the number of groups.
std::uint32_t findGroups(const SubjectTable& table) {
  std::uint32_t* buckets = table.pointers;
  std::fill(buckets, buckets + table.count, noRecord);
  std::uint32_t groups = 0;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint8_t* r = record(table, i);
    if (r[recordLengthAt] == noSubject) {
      setWord(table, i, representativeBit | noRecord);
      ++groups;
      continue;
    }
    std::uint32_t& bucket = buckets[(std::uint64_t{subjectHash(r)} * table.count) >> 32];
    std::uint32_t known = bucket;
    while (known != noRecord && !sameSubject(record(table, known), r)) {
      known = nextInBucket(table, known);
    }
    if (known != noRecord) {
      setWord(table, i, known);
    } else {
      setWord(table, i, representativeBit | bucket);
      bucket = i;
      ++groups;
    }
  }
  return groups;
}

// Orders the pointers by subject (shorter first, then bytes), equal subjects
// by index: the groups are sorted by their representatives' subjects, then
// the records are dealt out to their groups in index order. Only the
// representatives are ever compared, and each record is read in order.
void sortBySubject(const SubjectTable& table) {
  const std::uint32_t groups = findGroups(table);
  std::uint32_t* pointers = table.pointers;
  std::uint32_t found = 0;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    if (!isRepresentative(table, i)) continue;
    pointers[found++] = i;
    setGroupCursor(table, i, 0);  // from here on, the group's size
  }
  std::sort(pointers, pointers + groups, [&](std::uint32_t a, std::uint32_t b) {
    return subjectBefore(record(table, a), record(table, b));
  });
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint32_t rep = representativeOf(table, i);
    setGroupCursor(table, rep, groupCursor(table, rep) + 1);
  }
  std::uint32_t start = 0;
  for (std::uint32_t g = 0; g < groups; ++g) {
    const std::uint32_t size = groupCursor(table, pointers[g]);
    setGroupCursor(table, pointers[g], start);  // where the group begins
    start += size;
  }
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint32_t rep = representativeOf(table, i);
    const std::uint32_t next = groupCursor(table, rep);
    pointers[next] = i;
    setGroupCursor(table, rep, next + 1);
  }
}

// Links each record to the one before it in subject order when their
// subjects are equal. A record's links are stored over its subject once
// the record after it has been compared with it.
void chain(const SubjectTable& table) {
  std::uint32_t before = table.pointers[0];
  std::uint32_t beforeReplyTo = noSlot;
  for (std::uint32_t k = 1; k < table.count; ++k) {
    const std::uint32_t r = table.pointers[k];
    const bool same = sameSubject(record(table, before), record(table, r));
    put32(record(table, before) + recordReplyToAt, beforeReplyTo);
    put32(record(table, before) + recordFirstReplyAt, same ? r : noSlot);
    beforeReplyTo = same ? before : noSlot;
    before = r;
  }
  put32(record(table, before) + recordReplyToAt, beforeReplyTo);
  put32(record(table, before) + recordFirstReplyAt, noSlot);
}

}  // namespace

void linkSubjects(const SubjectTable& table, bool sorted) {
  if (table.count == 0) return;
  sortBySubject(table);
  chain(table);
  sortByLocator(table, sorted);
}

}  // namespace knotter
