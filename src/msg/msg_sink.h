// A *.MSG directory as the linker core writes it: replyTo and up of a
// message file where they changed, two bytes each, in place, after checking
// that the name still leads to the file that was read and that its link
// fields are still those read. No program locks *.MSG files, so this check
// is what keeps a run from writing over another writer's change.
#pragma once

#include <cstdint>
#include <string>

#include "base/signal_hold.h"
#include "linker/link_sink.h"
#include "msg/format.h"
#include "msg/msg_directory.h"

namespace knotter {

// REQUIRES: the directory opened and listed by the area's source.
class MsgSink final : public LinkSink {
 public:
  MsgSink(const char* areaTag, std::string dir, MsgDirectory& directory)
      : tag_(areaTag), dir_(std::move(dir)), directory_(directory) {}

  // One reply field, no sibling field, 16-bit numbers.
  LinkShape shape() const override { return {1, false, msgLargestNumber}; }
  // The fields as the source read them.
  LinkFields current(const MessageRef& message, std::span<const std::uint8_t> room) override;
  // Reports "! Message base of %s changed while it was read" when the check
  // fails, "! Cannot write file %s (%u)" when the write does; the files
  // written before keep their new fields, which agree with this run's links.
  bool store(const MessageRef& message, std::span<const std::uint8_t> room,
             const LinkFields& current, const LinkFields& fresh) override;
  bool finish(std::uint32_t changed) override;

 private:
  const char* tag_;
  std::string dir_;
  MsgDirectory& directory_;
  EndingSignalsHold signals_;
};

}  // namespace knotter
