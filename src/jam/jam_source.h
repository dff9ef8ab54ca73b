// A mapped JAM header file as the linker core reads it: the .jdx records
// (a hard-deleted slot holds no message), checked against the header file,
// and each header they refer to, checked once in ascending offset, with its
// kludge subfields presented as control information, or its subject.
#pragma once

#include <cstdint>
#include <span>

#include "base/bytes.h"
#include "base/index_input.h"
#include "jam/format.h"
#include "linker/area_source.h"

namespace knotter {

class JamSource final : public AreaSource {
 public:
  // header is the mapped .jhr, its header block checked; messages are
  // numbered from baseMsgNum by their .jdx position.
  JamSource(const char* areaTag, Bytes header, std::uint32_t baseMsgNum, IndexInput index)
      : tag_(areaTag), bytes_(header), baseMsgNum_(baseMsgNum), index_(index) {}

  bool sizeIndex(IndexSize& size) override;
  std::size_t entryBytes() const override { return jamIdxSize; }
  bool readIndex(std::span<std::uint8_t> room) override;
  bool entry(std::uint32_t position, IndexEntry& out) override;
  bool checkOrder(const VisitOrder& order) override;
  MessageState readMessage(const MessageRef& message, std::span<std::uint8_t> room,
                           MessageParts parts, MessageReader& reader) override;
  void rescanKludges(const MessageRef& message, std::span<const std::uint8_t> room,
                     MessageReader& reader) override;
  void prefetch(std::uint32_t ofs) override;

 private:
  const char* tag_;
  Bytes bytes_;
  std::uint32_t baseMsgNum_;
  IndexInput index_;
  std::span<const std::uint8_t> raw_;
  std::uint64_t previousEnd_ = 0;  // where the header read last ends
};

}  // namespace knotter
