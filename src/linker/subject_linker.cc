#include "linker/subject_linker.h"

#include <algorithm>
#include <cstring>

#include "config/scratch_buffer.h"
#include "config/settings.h"
#include "linker/subject_normaliser.h"
#include "squish/damage_reports.h"
#include "squish/index_reader.h"

namespace knotter {
namespace {

// SubjectRecord, one per message, in index order, all of one width:
//   OFFSET  SIZE  FIELD
//        0     4  position; reused as the working word of the sorts (the
//                 position is the record's own number, so it is not lost)
//        4     4  ofs
//        8     4  umsgid; after chaining the new replyto
//       12     4  replyto as read
//       16     4  replies[0] as read
//       20     1  length of the normalised subject
//       21     N  the normalised subject
// After chaining, bytes 20..23 hold the new replies[0]: a record's subject
// is not compared again once the record after it has been chained.
constexpr std::size_t recordWord = 0;
constexpr std::size_t recordOfs = 4;
constexpr std::size_t recordUmsgid = 8;
constexpr std::size_t recordNewReplyto = 8;
constexpr std::size_t recordReplyto = 12;
constexpr std::size_t recordFirstReply = 16;
constexpr std::size_t recordLength = 20;
constexpr std::size_t recordNewFirstReply = 20;
constexpr std::size_t recordSubject = 21;
constexpr std::size_t minRecordWidth = 24;  // room for the new first reply when N is 1
constexpr std::uint64_t minBlockMessages = 500;

// The working word of a group's first record (its representative) carries
// this bit; other records hold the number of their representative.
constexpr std::uint32_t representativeBit = 0x80000000;
constexpr std::uint32_t wordValue = 0x7FFFFFFF;
constexpr std::uint32_t noRecord = 0x7FFFFFFF;  // high_msg is positive, so no record has it

// The working block of one area: the pointers (record numbers) and the records.
struct SubjectTable {
  std::uint32_t* pointers = nullptr;
  std::uint8_t* records = nullptr;
  std::size_t width = 0;
  std::uint32_t count = 0;
};

// Records are scratch memory of this process, so their words are in host
// order; memcpy because a width need not be a multiple of 4.
inline std::uint32_t get32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
inline void put32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, sizeof value); }

inline std::uint8_t* record(const SubjectTable& table, std::uint32_t number) {
  return table.records + std::size_t{number} * table.width;
}
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

// Takes the working block for count messages; false after the shortage has
// been reported.
bool takeBlock(std::uint32_t count, std::size_t width, SubjectTable& table) {
  const std::uint64_t messages = std::max<std::uint64_t>(count, minBlockMessages);
  void* block = scratchBuffer(messages * (width + 4));
  if (block == nullptr) return false;
  table.pointers = static_cast<std::uint32_t*>(block);
  table.records = static_cast<std::uint8_t*>(block) + messages * 4;
  table.width = width;
  table.count = count;
  return true;
}

// The index lies in the last 12 * count bytes of the record area. Each
// record is filled from its own entry, and a record (at least 24 bytes)
// never reaches an entry (12 bytes) that is still to be read. Sets sorted
// when the frame offsets already ascend in index order.
bool fillRecords(const char* areaTag, std::uint32_t endFrame, const std::uint8_t* index,
                 const SubjectTable& table, bool& sorted) {
  sorted = true;
  std::uint32_t lastOfs = 0;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::uint8_t* entry = index + std::size_t{i} * sqidxSize;
    const std::uint32_t ofs = load32(entry + sqidxOfsOffset);
    const std::uint32_t umsgid = load32(entry + sqidxUmsgidOffset);
    if (ofs > endFrame) {
      reportIndexDamaged(areaTag, i, ofs);
      return false;
    }
    if (ofs < lastOfs) sorted = false;
    lastOfs = ofs;
    std::uint8_t* r = record(table, i);
    put32(r + recordWord, i);
    put32(r + recordOfs, ofs);
    put32(r + recordUmsgid, umsgid);
  }
  return true;
}

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

// Checks the frame of the next record in ascending ofs and finds its message
// header: its id first, then that the header lies inside the data file,
// then that the frame begins after the frames before it. Nothing outside the
// data file is read; a frame header too small for its own fields counts as
// damage like a header outside it. False after reporting the damage.
bool checkFrame(const char* areaTag, Bytes base, std::uint16_t szSqhdr, const std::uint8_t* r,
                FrameOrder& order, std::uint64_t& xmsg) {
  const std::uint32_t ofs = get32(r + recordOfs);
  std::uint32_t id = 0;
  if (!readFrameId(base, ofs, id)) {
    reportAreaReadError(areaTag);
    return false;
  }
  if (id != sqhdrSignature) {
    reportBadFrame(areaTag, get32(r + recordUmsgid), ofs);
    return false;
  }
  if (!locateMessageHeader(base, ofs, szSqhdr, xmsg)) {
    reportAreaReadError(areaTag);
    return false;
  }
  if (!order.next(base, ofs, szSqhdr)) {
    reportBadFrame(areaTag, get32(r + recordUmsgid), ofs);
    return false;
  }
  return true;
}

// Checks each frame in ascending ofs and fills the rest of its record from
// the message header.
bool readHeaders(const char* areaTag, Bytes base, const BaseHeader& header,
                 const SubjectTable& table) {
  const int subjectLength = settings.subjectLength;
  FrameOrder order;
  for (std::uint32_t k = 0; k < table.count; ++k) {
    std::uint8_t* r = record(table, table.pointers[k]);
    std::uint64_t xmsg = 0;
    if (!checkFrame(areaTag, base, header.szSqhdr, r, order, xmsg)) return false;
    const std::uint8_t* fields = base.data() + xmsg;
    r[recordLength] = static_cast<std::uint8_t>(
        normaliseSubject(fields + xmsgSubjOffset, subjectLength, r + recordSubject));
    put32(r + recordReplyto, load32(fields + xmsgReplytoOffset));
    put32(r + recordFirstReply, load32(fields + xmsgRepliesOffset));
  }
  return true;
}

std::uint32_t subjectHash(const std::uint8_t* r) {
  std::uint64_t h = 0xCBF29CE484222325ULL;  // FNV-1a
  for (std::size_t i = 0; i <= r[recordLength]; ++i) {
    h = (h ^ r[recordLength + i]) * 0x100000001B3ULL;
  }
  return static_cast<std::uint32_t>(h ^ (h >> 32));
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
// subjects are equal. The umsgid is carried before its field is reused,
// and a record's subject is only overwritten once its successor is done.
void chain(const SubjectTable& table) {
  std::uint8_t* before = record(table, table.pointers[0]);
  std::uint32_t carried = get32(before + recordUmsgid);
  put32(before + recordNewReplyto, 0);
  for (std::uint32_t k = 1; k < table.count; ++k) {
    std::uint8_t* r = record(table, table.pointers[k]);
    const std::uint32_t umsgid = get32(r + recordUmsgid);
    const bool same = sameSubject(before, r);
    put32(r + recordNewReplyto, same ? carried : 0);
    put32(before + recordNewFirstReply, same ? umsgid : 0);
    carried = umsgid;
    before = r;
  }
  put32(before + recordNewFirstReply, 0);
}

// Writes replyto and replies[0] where they changed, in ascending ofs, into
// the headers read before, counting the headers changed. The exclusive lock
// is taken before the first store only; false (nothing written) without it.
bool writeBack(Bytes base, const BaseHeader& header, const SubjectTable& table,
               const DataFile& dataFile, std::int32_t& changed) {
  WriteAccess access;
  for (std::uint32_t k = 0; k < table.count; ++k) {
    const std::uint8_t* r = record(table, table.pointers[k]);
    std::uint8_t* fields = base.data() + get32(r + recordOfs) + header.szSqhdr;
    const std::uint32_t replyto = get32(r + recordNewReplyto);
    const std::uint32_t firstReply = get32(r + recordNewFirstReply);
    const bool newReplyto = replyto != get32(r + recordReplyto);
    const bool newFirstReply = firstReply != get32(r + recordFirstReply);
    if (!newReplyto && !newFirstReply) continue;
    if (!takeWriteAccess(dataFile, access)) return false;
    if (newReplyto) store32(fields + xmsgReplytoOffset, replyto);
    if (newFirstReply) store32(fields + xmsgRepliesOffset, firstReply);
    ++changed;
  }
  return true;
}

bool linkArea(const char* areaTag, Bytes base, const DataFile& dataFile, const BaseHeader& header,
              const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed) {
  const auto count = static_cast<std::uint32_t>(header.highMsg);
  SubjectTable table;
  if (!takeBlock(count, recordWidth(settings.subjectLength), table)) return false;
  const std::uint64_t recordArea = std::max<std::uint64_t>(count, minBlockMessages) * table.width;
  std::uint8_t* index = table.records + recordArea - std::uint64_t{count} * sqidxSize;
  if (!readIndex(indexPath, count, index, indexFile)) return false;
  bool sorted = true;
  if (!fillRecords(areaTag, header.endFrame, index, table, sorted)) return false;
  sortByOfs(table, sorted);
  if (!readHeaders(areaTag, base, header, table)) return false;
  sortBySubject(table);
  chain(table);
  sortByOfs(table, sorted);
  return writeBack(base, header, table, dataFile, changed);
}

}  // namespace

bool linkBySubject(const char* areaTag, Bytes base, const DataFile& dataFile, const char* indexPath,
                   FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total) {
  try {
    changed = 0;
    total = 0;
    BaseHeader header;
    if (!readBaseHeader(base, header)) {
      reportAreaReadError(areaTag);
      return false;
    }
    total = header.highMsg;
    if (header.highMsg < 1) return true;
    return linkArea(areaTag, base, dataFile, header, indexPath, indexFile, changed);
  } catch (...) {
    reportAreaReadError(areaTag);
    return false;
  }
}

}  // namespace knotter
