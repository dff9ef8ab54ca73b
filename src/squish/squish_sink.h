// A mapped Squish base as the linker core writes it: replyto and the nine
// replies of a message header, stored where they changed, after the shared
// lock of the data file has been upgraded to an exclusive one.
#pragma once

#include <cstdint>

#include "base/bytes.h"
#include "base/signal_hold.h"
#include "linker/link_sink.h"
#include "squish/squish_source.h"

namespace knotter {

// The data file behind a mapping, for the lock upgrade. fd -1 for a base
// that is only bytes in memory, which needs no lock.
struct DataFile {
  int fd = -1;
  const char* path = "";  // the ".sqd" path, for the report
};

class SquishSink final : public LinkSink {
 public:
  // REQUIRES: source has sized its index (its base header is known).
  SquishSink(Bytes data, const SquishSource& source, DataFile file)
      : data_(data), source_(source), file_(file) {}

  LinkShape shape() const override { return {replySlots, false, 0xFFFFFFFF}; }
  LinkFields current(const MessageRef& message, std::span<const std::uint8_t> room) override;
  bool store(const MessageRef& message, std::span<const std::uint8_t> room,
             const LinkFields& current, const LinkFields& fresh) override;
  void prefetch(std::uint32_t ofs) override;
  bool finish(std::uint32_t changed) override;

 private:
  // Where replyto lies in the frame at ofs; the fields were checked with it.
  std::uint64_t fieldsAt(std::uint32_t ofs) const {
    return std::uint64_t{ofs} + source_.header().szSqhdr + xmsgReplytoOffset;
  }
  bool takeWriteAccess();

  Bytes data_;
  const SquishSource& source_;
  DataFile file_;
  EndingSignalsHold signals_;
  bool writable_ = false;
};

}  // namespace knotter
