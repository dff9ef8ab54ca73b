// A *.MSG directory as the linker core reads it: the index is the listing,
// one entry per canonical message name from 2.msg on, ascending, each
// located and numbered by its number; each file is checked and read once by
// readMsgFile (the kludge lines again only when the core asks), and what the
// sink needs to write it safely is kept in its room. Files that take no part
// are untouched: never written, never named in a link, not counted.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "linker/area_source.h"
#include "msg/msg_directory.h"
#include "msg/msg_file.h"

namespace knotter {

class MsgSource final : public AreaSource {
 public:
  // dir is the directory's path for the reports; directory is not yet open.
  MsgSource(const char* areaTag, std::string dir, MsgDirectory& directory)
      : tag_(areaTag), dir_(std::move(dir)), directory_(directory) {}

  // Opens and locks the directory and lists it; reports "! Cannot open file
  // %s (%u)" or "! Error reading file %s" with the directory's path.
  bool sizeIndex(IndexSize& size) override;
  std::size_t entryBytes() const override { return 2; }
  bool readIndex(std::span<std::uint8_t> room) override;
  bool entry(std::uint32_t position, IndexEntry& out) override;
  std::size_t roomBytes() const override { return msgRoomBytes; }
  // Reports "! Cannot open file %s (%u)" or "! Error reading file %s" with
  // the file's path for a file that ends the area.
  MessageState readMessage(const MessageRef& message, std::span<std::uint8_t> room,
                           MessageParts parts, MessageReader& reader) override;
  void rescanKludges(const MessageRef& message, std::span<const std::uint8_t> room,
                     MessageReader& reader) override;

 private:
  std::string filePath(std::uint32_t number) const;

  const char* tag_;
  std::string dir_;
  MsgDirectory& directory_;
  // A bit per number a canonical name gives: the listing needs no allocation.
  std::array<std::uint64_t, (msgLargestNumber + 1) / 64> listed_{};
  std::uint32_t count_ = 0;
  std::span<const std::uint8_t> raw_;
  MsgReadBuffer buffer_;
};

}  // namespace knotter
