// The read side of the seam between the linker core and a base format. The
// core drives the linking of an area; a format answers its questions, in
// the order below, from its own files, and never sees the core's tables:
//   1. sizeIndex, then readIndex into room the core gives;
//   2. entry for every index position, in index order; the core then orders
//      the messages by locator (ties in index order), the visiting order;
//   3. checkOrder once over that order;
//   4. readMessage for every message in visiting order;
//   5. during grouping, rescanKludges for some of them, in visiting order.
// Every function that returns false has reported why the area cannot be
// linked; the core then gives the area up without writing anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "linker/message_reader.h"

namespace knotter {

// The largest index entry a format reads: the room for the raw index lies
// in the core's table, where each entry must fit beside what replaces it.
constexpr std::size_t maxIndexEntryBytes = 12;

// How big the area is, known before anything is sized by it.
struct IndexSize {
  std::uint32_t entries = 0;     // index entries; 0 when there is nothing to link
  std::uint32_t emptyTotal = 0;  // the total the area reports when entries is 0
};

// What an index entry leads to.
struct IndexEntry {
  bool message = false;      // false: an entry that holds no message
  std::uint32_t locator = 0; // where the format finds the message; the visiting order
  std::uint32_t number = 0;  // the message's number: what link fields hold
};

// The messages in visiting order, for checks that compare neighbours.
class VisitOrder {
 public:
  virtual std::uint32_t size() const = 0;
  virtual std::uint32_t locator(std::uint32_t k) const = 0;
  virtual std::uint32_t number(std::uint32_t k) const = 0;

 protected:
  ~VisitOrder() = default;
};

// A message as the core names it to the format: where the format finds it,
// and its number.
struct MessageRef {
  std::uint32_t locator = 0;
  std::uint32_t number = 0;
};

// What a message is to linking.
enum class MessageState : std::uint8_t {
  linked,     // it takes part: the reader was given its kludges or subject
  cleared,    // it takes no part, and its link fields are stored as none
  untouched,  // it takes no part, is never written and is not counted
  failed,     // reported: the area cannot be linked
};

// What the core reads of each message.
enum class MessageParts : std::uint8_t { kludges, subject };

class AreaSource {
 public:
  // Step 1. Sets size; false after reporting why the index cannot be had.
  virtual bool sizeIndex(IndexSize& size) = 0;

  // Bytes of one raw index entry, at most maxIndexEntryBytes.
  virtual std::size_t entryBytes() const = 0;

  // Reads size.entries entries into room (entries * entryBytes bytes), which
  // stays the format's until the first entry call has returned for every
  // position. False after a report.
  virtual bool readIndex(std::span<std::uint8_t> room) = 0;

  // Step 2. The entry at position of the index read into room. False after
  // reporting a damaged index.
  virtual bool entry(std::uint32_t position, IndexEntry& out) = 0;

  // Step 3. Checks that only the whole order shows (two entries that name
  // one message, say). False after a report.
  virtual bool checkOrder(const VisitOrder&) { return true; }

  // Bytes the format keeps per message from readMessage to the stores;
  // room in those calls is that many bytes, the message's own.
  virtual std::size_t roomBytes() const { return 0; }

  // Step 4. Checks and reads the message, giving reader its kludges or its
  // subject as parts asks (the subject of every linked message), and keeping
  // in room what the stores will need.
  virtual MessageState readMessage(const MessageRef& message, std::span<std::uint8_t> room,
                                   MessageParts parts, MessageReader& reader) = 0;

  // Step 5. Gives reader the kludges of a message that readMessage read
  // (linked) once more.
  virtual void rescanKludges(const MessageRef& message, std::span<const std::uint8_t> room,
                             MessageReader& reader) = 0;

  // Asks for what rescanKludges reads of the message at locator to be
  // fetched ahead of it.
  virtual void prefetch(std::uint32_t /*locator*/) {}

 protected:
  ~AreaSource() = default;
};

}  // namespace knotter
