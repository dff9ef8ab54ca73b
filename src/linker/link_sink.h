// The write side of the seam between the linker core and a base format.
// Once the links of an area are decided, the core asks the format what each
// message holds and has it store what differs, message by message in
// visiting order, and then finishes. A format says what its fields can hold;
// the core never asks for more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "linker/area_source.h"

namespace knotter {

constexpr std::uint32_t maxReplySlots = 9;

// What a format's link fields can hold.
struct LinkShape {
  std::uint32_t replySlots = 1;   // reply fields of a message, 1 to maxReplySlots
  bool siblingField = false;      // a field for the next reply to the same original
  std::uint32_t largestNumber = 0xFFFFFFFF;  // no message's number is above it
};

// The link fields of one message, as message numbers; 0 stands for none.
// Only the first replySlots replies, and nextReply only with a sibling field,
// mean anything.
struct LinkFields {
  std::uint32_t replyTo = 0;
  std::uint32_t replies[maxReplySlots] = {};
  std::uint32_t nextReply = 0;
};

class LinkSink {
 public:
  virtual LinkShape shape() const = 0;

  // The link fields the message holds, as the source read it; room is what
  // the source kept for it. Asked once per message, after the source has
  // read it, before its links are stored.
  virtual LinkFields current(const MessageRef& message, std::span<const std::uint8_t> room) = 0;

  // Makes the message hold fresh where it differs from current (the fields
  // current gave that the core compares). False after reporting a failure:
  // the area ends there, and what was stored before stays.
  virtual bool store(const MessageRef& message, std::span<const std::uint8_t> room,
                     const LinkFields& current, const LinkFields& fresh) = 0;

  // Asks for what current reads of the message at locator to be fetched
  // ahead of it.
  virtual void prefetch(std::uint32_t /*locator*/) {}

  // After the last store, with the number of messages changed. False after
  // reporting a failure.
  virtual bool finish(std::uint32_t changed) = 0;

 protected:
  ~LinkSink() = default;
};

}  // namespace knotter
