#include "support/memory_area.h"

#include <cstring>
#include <stdexcept>

#include "linker/kludge_scanner.h"
#include "linker/subject_normaliser.h"

namespace ktest {

MemoryMessage& MemoryArea::byNumber(std::uint32_t number) {
  for (MemoryMessage& m : messages) {
    if (!m.hole && m.number == number) return m;
  }
  throw std::logic_error("no message with that number");
}

MemoryMessage& MemoryArea::at(std::uint32_t locator) { return messages.at(byLocator_.at(locator)); }

bool MemoryArea::sizeIndex(knotter::IndexSize& size) {
  byLocator_.clear();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!messages[i].hole) byLocator_[messages[i].locator] = i;
  }
  size.entries = static_cast<std::uint32_t>(messages.size());
  return true;
}

bool MemoryArea::readIndex(std::span<std::uint8_t> room) {
  // The raw index holds each entry's position, so that entry() reads it back.
  for (std::uint32_t i = 0; i < messages.size(); ++i) std::memcpy(room.data() + 4 * i, &i, 4);
  raw_ = room;
  return true;
}

bool MemoryArea::entry(std::uint32_t position, knotter::IndexEntry& out) {
  std::uint32_t stored = 0;
  std::memcpy(&stored, raw_.data() + 4 * position, 4);
  const MemoryMessage& m = messages.at(stored);
  out = knotter::IndexEntry{!m.hole, m.locator, m.number};
  return true;
}

void MemoryArea::feed(const std::string& kludges, knotter::MessageReader& reader) const {
  const auto* text = reinterpret_cast<const std::uint8_t*>(kludges.data());
  if (!bytewise) {
    reader.kludges(text, text + kludges.size());
    return;
  }
  for (std::size_t i = 0; i < kludges.size(); ++i) reader.kludges(text + i, text + i + 1);
}

knotter::MessageState MemoryArea::readMessage(const knotter::MessageRef& message,
                                              std::span<std::uint8_t>, knotter::MessageParts parts,
                                              knotter::MessageReader& reader) {
  const MemoryMessage& m = at(message.locator);
  if (m.state != knotter::MessageState::linked) return m.state;
  if (parts == knotter::MessageParts::kludges) {
    feed(m.kludges, reader);
  } else {
    std::uint8_t field[knotter::subjectFieldSize] = {};
    std::memcpy(field, m.subject.data(), std::min<std::size_t>(m.subject.size(), sizeof field));
    reader.subject(field);
  }
  return m.state;
}

void MemoryArea::rescanKludges(const knotter::MessageRef& message, std::span<const std::uint8_t>,
                               knotter::MessageReader& reader) {
  feed(at(message.locator).kludges, reader);
}

knotter::LinkFields MemoryArea::current(const knotter::MessageRef& message,
                                        std::span<const std::uint8_t>) {
  return at(message.locator).fields;
}

bool MemoryArea::store(const knotter::MessageRef& message, std::span<const std::uint8_t>,
                       const knotter::LinkFields& current, const knotter::LinkFields& fresh) {
  if (failStoreAt == message.number) return false;
  // As a format stores: each field where it differs from what was read.
  knotter::LinkFields& held = at(message.locator).fields;
  if (fresh.replyTo != current.replyTo) held.replyTo = fresh.replyTo;
  for (std::uint32_t k = 0; k < linkShape.replySlots; ++k) {
    if (fresh.replies[k] != current.replies[k]) held.replies[k] = fresh.replies[k];
  }
  if (linkShape.siblingField && fresh.nextReply != current.nextReply) {
    held.nextReply = fresh.nextReply;
  }
  stored.push_back(message.number);
  return true;
}

bool MemoryArea::finish(std::uint32_t changed) {
  finishedWith = changed;
  return true;
}

knotter::LinkOutcome linkMemory(MemoryArea& area, knotter::LinkType type,
                                std::int32_t subjectLength) {
  knotter::buildSubjectScanTable(false);
  return knotter::linkArea({type, "AREA", subjectLength}, area, area);
}

}  // namespace ktest
