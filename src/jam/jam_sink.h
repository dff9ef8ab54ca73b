// A mapped JAM header file as the linker core writes it: ReplyTo, Reply1st
// and ReplyNext of a header where they changed, then ModCounter once.
// Nothing else of the base is ever written.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "base/signal_hold.h"
#include "linker/link_sink.h"

namespace knotter {

// REQUIRES: the base's lock, held since it was read.
class JamSink final : public LinkSink {
 public:
  explicit JamSink(Bytes header) : bytes_(header) {}

  LinkShape shape() const override { return {1, true, 0xFFFFFFFF}; }
  LinkFields current(const MessageRef& message, std::span<const std::uint8_t> room) override;
  bool store(const MessageRef& message, std::span<const std::uint8_t> room,
             const LinkFields& current, const LinkFields& fresh) override;
  // Adds 1 to ModCounter, wrapping, when any header changed: readers that
  // cache threads look at it to see that the base changed.
  bool finish(std::uint32_t changed) override;

 private:
  Bytes bytes_;
  EndingSignalsHold signals_;
};

}  // namespace knotter
