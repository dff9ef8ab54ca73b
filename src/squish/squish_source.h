// A mapped Squish base as the linker core reads it: the index entries,
// checked against end_frame, and each frame, checked once in ascending ofs,
// with its control information or its subject.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "base/bytes.h"
#include "base/index_input.h"
#include "linker/area_source.h"
#include "squish/format.h"
#include "squish/frame_check.h"

namespace knotter {

class SquishSource final : public AreaSource {
 public:
  // The index file is opened under its lock when the core asks for the
  // size, and closed once read.
  SquishSource(const char* areaTag, Bytes data, IndexInput index)
      : tag_(areaTag), data_(data), index_(index) {}

  bool sizeIndex(IndexSize& size) override;
  std::size_t entryBytes() const override { return sqidxSize; }
  bool readIndex(std::span<std::uint8_t> room) override;
  bool entry(std::uint32_t position, IndexEntry& out) override;
  MessageState readMessage(const MessageRef& message, std::span<std::uint8_t> room,
                           MessageParts parts, MessageReader& reader) override;
  void rescanKludges(const MessageRef& message, std::span<const std::uint8_t> room,
                     MessageReader& reader) override;
  void prefetch(std::uint32_t ofs) override;

  // The base header, as sizeIndex read it.
  const BaseHeader& header() const { return header_; }

 private:
  const char* tag_;
  Bytes data_;
  IndexInput index_;
  BaseHeader header_;
  std::span<const std::uint8_t> raw_;
  std::optional<FrameChecker> frames_;
};

}  // namespace knotter
