// An area in memory for tests of the linker core at its interface: the
// index lists messages given as plain records (or holes), and the link
// fields the core stores land in those records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "linker/link_area.h"

namespace ktest {

struct MemoryMessage {
  std::uint32_t locator = 0;  // the visiting order
  std::uint32_t number = 0;
  std::string kludges;        // the control information
  std::string subject;        // the subject field, padded with NULs to 72 bytes
  knotter::MessageState state = knotter::MessageState::linked;
  knotter::LinkFields fields;  // what the message holds; stores change it
  bool hole = false;           // an index entry without a message
};

class MemoryArea final : public knotter::AreaSource, public knotter::LinkSink {
 public:
  explicit MemoryArea(std::vector<MemoryMessage> messages,
                      knotter::LinkShape shape = {knotter::maxReplySlots, false, 0xFFFFFFFF})
      : messages(std::move(messages)), linkShape(shape) {}

  std::vector<MemoryMessage> messages;  // in index order
  knotter::LinkShape linkShape;
  bool bytewise = false;            // kludges fed one byte at a time
  std::optional<std::uint32_t> failStoreAt;  // the store of this number fails
  std::vector<std::uint32_t> stored;  // numbers, in the order stored
  std::uint32_t finishedWith = 0xFFFFFFFF;

  // The message of a number.
  MemoryMessage& byNumber(std::uint32_t number);

  // AreaSource
  bool sizeIndex(knotter::IndexSize& size) override;
  std::size_t entryBytes() const override { return 4; }
  bool readIndex(std::span<std::uint8_t> room) override;
  bool entry(std::uint32_t position, knotter::IndexEntry& out) override;
  knotter::MessageState readMessage(const knotter::MessageRef& message,
                                    std::span<std::uint8_t> room, knotter::MessageParts parts,
                                    knotter::MessageReader& reader) override;
  void rescanKludges(const knotter::MessageRef& message, std::span<const std::uint8_t> room,
                     knotter::MessageReader& reader) override;

  // LinkSink
  knotter::LinkShape shape() const override { return linkShape; }
  knotter::LinkFields current(const knotter::MessageRef& message,
                              std::span<const std::uint8_t> room) override;
  bool store(const knotter::MessageRef& message, std::span<const std::uint8_t> room,
             const knotter::LinkFields& current, const knotter::LinkFields& fresh) override;
  bool finish(std::uint32_t changed) override;

 private:
  MemoryMessage& at(std::uint32_t locator);
  void feed(const std::string& kludges, knotter::MessageReader& reader) const;
  std::unordered_map<std::uint32_t, std::size_t> byLocator_;
  std::span<const std::uint8_t> raw_;
};

// Links the area with type; builds the scanner tables first.
knotter::LinkOutcome linkMemory(MemoryArea& area, knotter::LinkType type,
                                std::int32_t subjectLength = 15);

}  // namespace ktest
