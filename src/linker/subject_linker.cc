#include "linker/subject_linker.h"

#include <algorithm>

#include "linker/scratch_buffer.h"
#include "config/settings.h"
#include "linker/keyed_hash.h"
#include "linker/subject_normaliser.h"

namespace knotter {
namespace {

// Room for the two link slots over the subject when N is small; also more
// than an index entry, so the raw index can be read into the record area.
constexpr std::size_t minRecordWidth = recordFirstReply + 4;
constexpr std::uint64_t minBlockMessages = 500;

// The working word of a group's first record (its representative) carries
// this bit; other records hold the number of their representative.
constexpr std::uint32_t representativeBit = 0x80000000;
constexpr std::uint32_t wordValue = 0x7FFFFFFF;
constexpr std::uint32_t noRecord = 0x7FFFFFFF;  // counts are below 2^31, so no record has it

inline std::uint32_t word(const SubjectTable& table, std::uint32_t number) {
  return get32(record(table, number) + recordWord);
}
inline void setWord(const SubjectTable& table, std::uint32_t number, std::uint32_t value) {
  put32(record(table, number) + recordWord, value);
}

inline bool sameSubject(const std::uint8_t* a, const std::uint8_t* b) {
  return a[recordLength] == b[recordLength] &&
         std::memcmp(a + recordSubject, b + recordSubject, a[recordLength]) == 0;
}

// Shorter subjects first, then by unsigned bytes.
inline bool subjectBefore(const std::uint8_t* a, const std::uint8_t* b) {
  if (a[recordLength] != b[recordLength]) return a[recordLength] < b[recordLength];
  return std::memcmp(a + recordSubject, b + recordSubject, a[recordLength]) < 0;
}

std::size_t recordWidth(int subjectLength) {
  std::size_t width = recordSubject + static_cast<std::size_t>(subjectLength);
  width += width & 1;
  return std::max(width, minRecordWidth);
}

}  // namespace

bool takeSubjectTable(std::uint32_t count, SubjectTable& table) {
  const std::size_t width = recordWidth(settings.subjectLength);
  const std::uint64_t messages = std::max<std::uint64_t>(count, minBlockMessages);
  void* block = scratchBuffer(messages * (width + 4));
  if (block == nullptr) return false;
  table.pointers = static_cast<std::uint32_t*>(block);
  table.records = static_cast<std::uint8_t*>(block) + messages * 4;
  table.width = width;
  table.count = count;
  table.recordArea = messages * width;
  return true;
}

namespace {

// The offset sort takes ofs in three digits of 11 bits.
constexpr unsigned ofsDigitBits = 11;
constexpr unsigned ofsDigits = 3;
constexpr std::uint32_t ofsDigitValues = 1u << ofsDigitBits;
static_assert(ofsDigitBits * ofsDigits >= 32);

inline std::uint32_t ofsDigit(std::uint32_t ofs, unsigned digit) {
  return (ofs >> (ofsDigitBits * digit)) & (ofsDigitValues - 1);
}

// One stable counting pass of the offset sort: reads record numbers with
// `from`, writes them with `to`, ordered by the given digit of ofs.
template <typename From, typename To>
void scatterByOfsDigit(const SubjectTable& table, const std::uint32_t* counts, unsigned digit,
                       From from, To to) {
  std::uint32_t next[ofsDigitValues];
  std::uint32_t start = 0;
  for (std::uint32_t value = 0; value < ofsDigitValues; ++value) {
    next[value] = start;
    start += counts[value];
  }
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint32_t number = from(k);
    to(next[ofsDigit(get32(record(table, number) + recordOfs), digit)]++, number);
  }
}

// Orders the pointers by ofs, equal offsets by position. An index in offset
// order (the usual case) needs no sort. Otherwise a least-significant-digit
// radix sort, with the records' working words as its second buffer, so no
// comparison ever has to fetch two records.
}  // namespace

void sortByOfs(const SubjectTable& table, bool sorted) {
  std::uint32_t* pointers = table.pointers;
  for (std::uint32_t i = 0; i < table.count; ++i) pointers[i] = i;
  if (sorted) return;
  std::uint32_t counts[ofsDigits][ofsDigitValues] = {};
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint32_t ofs = get32(record(table, i) + recordOfs);
    for (unsigned d = 0; d < ofsDigits; ++d) ++counts[d][ofsDigit(ofs, d)];
  }
  const auto fromPointers = [&](std::uint32_t k) { return pointers[k]; };
  const auto toPointers = [&](std::uint32_t k, std::uint32_t n) { pointers[k] = n; };
  const auto fromWords = [&](std::uint32_t k) { return word(table, k); };
  const auto toWords = [&](std::uint32_t k, std::uint32_t n) { setWord(table, k, n); };
  bool inPointers = true;
  for (unsigned d = 0; d < ofsDigits; ++d) {
    const std::uint32_t* digitCounts = counts[d];
    if (*std::max_element(digitCounts, digitCounts + ofsDigitValues) == table.count) {
      continue;  // every ofs has the same digit here: the pass would change nothing
    }
    if (inPointers) {
      scatterByOfsDigit(table, digitCounts, d, fromPointers, toWords);
    } else {
      scatterByOfsDigit(table, digitCounts, d, fromWords, toPointers);
    }
    inPointers = !inPointers;
  }
  if (!inPointers) {
    for (std::uint32_t k = 0; k < table.count; ++k) pointers[k] = word(table, k);
  }
}

void setSubject(const SubjectTable& table, std::uint32_t position, const std::uint8_t* field) {
  std::uint8_t* r = record(table, position);
  r[recordLength] = static_cast<std::uint8_t>(normaliseSubject(field, settings.subjectLength, r + recordSubject));
}

namespace {

// Keyed, so that no choice of subjects can crowd one bucket's chain. Taking
// a bucket as (hash * count) >> 32 from the top 32 bits, two different
// subjects share one with chance at most about 4 / count.
std::uint32_t subjectHash(const std::uint8_t* r) {
  return static_cast<std::uint32_t>(keyedBytesHash(r + recordSubject, r[recordLength]) >> 32);
}

// Gives every record its group: a record whose subject is new becomes the
// group's representative; a later one names it in its working word. The
// pointers serve as a hash table of the representatives, chained through
// their working words. Returns the number of groups.
std::uint32_t findGroups(const SubjectTable& table) {
  std::uint32_t* buckets = table.pointers;
  std::fill(buckets, buckets + table.count, noRecord);
  std::uint32_t groups = 0;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint8_t* r = record(table, i);
    std::uint32_t& bucket = buckets[(std::uint64_t{subjectHash(r)} * table.count) >> 32];
    std::uint32_t known = bucket;
    while (known != noRecord && !sameSubject(record(table, known), r)) {
      known = word(table, known) & wordValue;
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

inline std::uint32_t representativeOf(const SubjectTable& table, std::uint32_t number) {
  const std::uint32_t w = word(table, number);
  return (w & representativeBit) != 0 ? number : w;
}

// Orders the pointers by subject (shorter first, then bytes), equal subjects
// by position: the groups are sorted by their representatives' subjects,
// then the records are dealt out to their groups in index order. Only the
// representatives are ever compared, and each record is read in order.
void sortBySubject(const SubjectTable& table) {
  const std::uint32_t groups = findGroups(table);
  std::uint32_t* pointers = table.pointers;
  std::uint32_t found = 0;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    if ((word(table, i) & representativeBit) == 0) continue;
    pointers[found++] = i;
    setWord(table, i, representativeBit);  // from here on, the group's size
  }
  std::sort(pointers, pointers + groups, [&](std::uint32_t a, std::uint32_t b) {
    return subjectBefore(record(table, a), record(table, b));
  });
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint32_t rep = representativeOf(table, i);
    setWord(table, rep, word(table, rep) + 1);
  }
  std::uint32_t start = 0;
  for (std::uint32_t g = 0; g < groups; ++g) {
    const std::uint32_t size = word(table, pointers[g]) & wordValue;
    setWord(table, pointers[g], representativeBit | start);  // where the group begins
    start += size;
  }
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint32_t rep = representativeOf(table, i);
    const std::uint32_t next = word(table, rep);
    pointers[next & wordValue] = i;
    setWord(table, rep, next + 1);
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
    put32(record(table, before) + recordReplyTo, beforeReplyTo);
    put32(record(table, before) + recordFirstReply, same ? r : noSlot);
    beforeReplyTo = same ? before : noSlot;
    before = r;
  }
  put32(record(table, before) + recordReplyTo, beforeReplyTo);
  put32(record(table, before) + recordFirstReply, noSlot);
}

}  // namespace

void linkSubjects(const SubjectTable& table, bool sorted) {
  sortBySubject(table);
  chain(table);
  sortByOfs(table, sorted);
}

}  // namespace knotter
