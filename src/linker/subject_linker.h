// Links the messages of an area whose normalised subjects are equal into one
// chain each, in index order, for any base format. The core fills one
// record per message, in index order, with its locator and number, orders
// them by locator, and then sets the subject of each in that order; linking
// leaves each record's links.
//
// SubjectRecord, one per message, in index order, all of one width:
//   OFFSET  SIZE  FIELD
//        0     4  working word of the sorts (see the accessors below)
//        4     4  locator
//        8     4  number, what link fields hold
//       12    12  the link fields the message holds that Subj decides:
//                 replyTo, the first reply, the next reply
//       24     1  length of the normalised subject; noSubject when the
//                 message takes no part
//       25     N  the normalised subject
// Once a record has been chained, bytes 24..31 hold its replyTo and
// firstReply (as record numbers): its subject is never compared again.
#pragma once

#include <cstdint>
#include <cstring>

#include "linker/link_sink.h"
#include "linker/message_table.h"

namespace knotter {

constexpr std::size_t recordWordAt = 0;
constexpr std::size_t recordLocatorAt = 4;
constexpr std::size_t recordNumberAt = 8;
constexpr std::size_t recordHeldAt = 12;
constexpr std::size_t recordLengthAt = 24;
constexpr std::size_t recordSubjectAt = 25;
constexpr std::size_t recordReplyToAt = 24;     // after chaining
constexpr std::size_t recordFirstReplyAt = 28;  // after chaining
constexpr std::size_t recordLinksEnd = recordFirstReplyAt + 4;
static_assert(recordHeldAt + 12 == recordLengthAt);
static_assert(recordReplyToAt >= recordLengthAt);

// The length of a record whose message takes no part: above every subject
// length, equal to no subject.
constexpr std::uint8_t noSubject = 0xFF;

// The working block of one area: the pointers (record numbers), the records,
// a bit per record that the format leaves alone, and the format's room.
struct SubjectTable {
  std::uint32_t* pointers = nullptr;
  std::uint8_t* records = nullptr;
  std::size_t width = 0;
  std::uint32_t count = 0;
  std::uint64_t recordArea = 0;  // bytes of the record area
  std::uint64_t* untouched = nullptr;
  std::uint8_t* formatRoom = nullptr;
  std::uint64_t roomBytes = 0;
  std::int32_t subjectLength = 0;
};

// Records are scratch memory of this process, so their words are in host
// order; memcpy because a width need not be a multiple of 4.
inline std::uint32_t get32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
inline void put32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, sizeof value); }

inline std::uint8_t* record(const SubjectTable& table, std::uint32_t index) {
  return table.records + std::size_t{index} * table.width;
}
inline std::uint32_t locatorOf(const SubjectTable& table, std::uint32_t index) {
  return get32(record(table, index) + recordLocatorAt);
}
inline std::uint32_t numberOf(const SubjectTable& table, std::uint32_t index) {
  return get32(record(table, index) + recordNumberAt);
}
inline std::span<std::uint8_t> formatRoomOf(const SubjectTable& table, std::uint32_t index) {
  return {table.formatRoom + index * table.roomBytes, table.roomBytes};
}

// Takes the working block for count messages, with records for subjects of
// subjectLength (1 to 72) characters and roomBytes per message for the
// format; false after the shortage has been reported.
bool takeSubjectTable(std::uint32_t count, std::int32_t subjectLength, std::uint64_t roomBytes,
                      SubjectTable& table);

// The last count * entryBytes bytes of the record area, where the raw index
// may be read: filling record k from entry i >= k, in index order, never
// overwrites an entry still to be read, since no entry is wider than a record.
std::span<std::uint8_t> rawIndexArea(const SubjectTable& table, std::size_t entryBytes);

// Fills the record at index, in index order.
inline void setRecord(const SubjectTable& table, std::uint32_t index, std::uint32_t locator,
                      std::uint32_t number) {
  std::uint8_t* r = record(table, index);
  put32(r + recordWordAt, index);
  put32(r + recordLocatorAt, locator);
  put32(r + recordNumberAt, number);
  r[recordLengthAt] = noSubject;
}

// Orders the pointers by locator, equal locators by index. sorted says that
// the locators already ascend in index order.
void sortByLocator(const SubjectTable& table, bool sorted);

// The link fields Subj decides, as the message holds them: replyTo, the
// first reply and the next reply, kept while the message is read.
inline void setHeldFields(const SubjectTable& table, std::uint32_t index, const LinkFields& held) {
  std::uint8_t* r = record(table, index) + recordHeldAt;
  put32(r, held.replyTo);
  put32(r + 4, held.replies[0]);
  put32(r + 8, held.nextReply);
}
inline LinkFields heldFields(const SubjectTable& table, std::uint32_t index) {
  const std::uint8_t* r = record(table, index) + recordHeldAt;
  LinkFields held;
  held.replyTo = get32(r);
  held.replies[0] = get32(r + 4);
  held.nextReply = get32(r + 8);
  return held;
}

// Where the normalised subject of a record goes, and its length.
inline std::uint8_t* subjectOf(const SubjectTable& table, std::uint32_t index) {
  return record(table, index) + recordSubjectAt;
}
inline std::uint8_t* subjectLengthOf(const SubjectTable& table, std::uint32_t index) {
  return record(table, index) + recordLengthAt;
}

// Chains the records of equal subjects in index order and leaves the
// pointers in ascending locator again. Records without a subject are
// chained to nothing.
void linkSubjects(const SubjectTable& table, bool sorted);

// The links of a record after linkSubjects: replyTo and firstReply are
// record numbers or noSlot, nextReply is noSlot.
inline Links subjectLinks(const SubjectTable& table, std::uint32_t index) {
  const std::uint8_t* r = record(table, index);
  return Links{get32(r + recordReplyToAt), get32(r + recordFirstReplyAt), noSlot};
}

}  // namespace knotter
