// Links the messages of an area whose normalised subjects are equal into one
// chain each, in index order, for any base format. The format fills one
// record per message, in index order, with its offset and number, then the
// subject of each, in ascending offset; linking leaves each record's Links.
//
// SubjectRecord, one per message, in index order, all of one width:
//   OFFSET  SIZE  FIELD
//        0     4  working word of the sorts (at first the position)
//        4     4  ofs
//        8     4  number, what link fields hold
//       12     8  two words the format keeps (its old link fields)
//       20     1  length of the normalised subject
//       21     N  the normalised subject
// After chaining, bytes 20..27 hold the record's replyTo and firstReply
// slots: a record's subject is not compared again once the record after it
// has been chained.
#pragma once

#include <cstdint>
#include <cstring>

#include "linker/message_table.h"

namespace knotter {

constexpr std::size_t recordWord = 0;
constexpr std::size_t recordOfs = 4;
constexpr std::size_t recordNumber = 8;
constexpr std::size_t recordFormat = 12;
constexpr std::size_t recordLength = 20;
constexpr std::size_t recordReplyTo = 20;
constexpr std::size_t recordFirstReply = 24;
constexpr std::size_t recordSubject = 21;

// The working block of one area: the pointers (record numbers) and the records.
struct SubjectTable {
  std::uint32_t* pointers = nullptr;
  std::uint8_t* records = nullptr;
  std::size_t width = 0;
  std::uint32_t count = 0;
  std::uint64_t recordArea = 0;  // bytes of the record area
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

// Takes the working block for count messages, the record width set by
// settings.subjectLength; false after the shortage has been reported.
bool takeSubjectTable(std::uint32_t count, SubjectTable& table);

// The last count * entrySize bytes of the record area, where the format may
// read its raw index: filling record i from entry i, in index order, never
// overwrites an entry still to be read while entrySize is at most 12.
inline std::uint8_t* rawIndexArea(const SubjectTable& table, std::size_t entrySize) {
  return table.records + table.recordArea - std::uint64_t{table.count} * entrySize;
}

// Fills the record at position, in index order.
inline void setRecord(const SubjectTable& table, std::uint32_t position, std::uint32_t ofs,
                      std::uint32_t number) {
  std::uint8_t* r = record(table, position);
  put32(r + recordWord, position);
  put32(r + recordOfs, ofs);
  put32(r + recordNumber, number);
}

// Orders the pointers by ofs, equal offsets by position. sorted says that
// the offsets already ascend in index order.
void sortByOfs(const SubjectTable& table, bool sorted);

// Normalises the 72-byte subject field into the record.
void setSubject(const SubjectTable& table, std::uint32_t position, const std::uint8_t* field);

// Chains the records of equal subjects in index order and leaves the
// pointers in ascending ofs again. REQUIRES: every subject set.
void linkSubjects(const SubjectTable& table, bool sorted);

// The links of a record after linkSubjects: replyTo and firstReply are
// positions or noSlot, nextReply is noSlot.
inline Links subjectLinks(const SubjectTable& table, std::uint32_t position) {
  const std::uint8_t* r = record(table, position);
  return Links{get32(r + recordReplyTo), get32(r + recordFirstReply), noSlot};
}

}  // namespace knotter
