#include "squish/squish_source.h"

#include <cstring>

#include "log/area_reports.h"
#include "squish/squish_base.h"

namespace knotter {

bool SquishSource::sizeIndex(IndexSize& size) {
  frames_.reset();  // a new link of the area checks its frames afresh
  if (!readBaseHeader(data_, header_)) {
    reportAreaReadError(tag_);
    return false;
  }
  // Nothing to link: the index is not even opened, and the area reports
  // high_msg as its total, whatever it says.
  size.emptyTotal = static_cast<std::uint32_t>(header_.highMsg);
  if (header_.highMsg <= 0) return true;
  const auto count = static_cast<std::uint32_t>(header_.highMsg);
  if (!index_.inMemory()) {
    if (!openSquishIndex(index_.path, count, *index_.file)) return false;
  } else if (index_.memory.size() / sqidxSize < count) {
    reportIndexReadError(index_.path);
    return false;
  }
  size.entries = count;
  return true;
}

bool SquishSource::readIndex(std::span<std::uint8_t> room) {
  raw_ = room;
  if (!index_.inMemory()) return readSquishIndex(index_.path, *index_.file, room);
  std::memcpy(room.data(), index_.memory.data(), room.size());
  return true;
}

bool SquishSource::entry(std::uint32_t position, IndexEntry& out) {
  const std::uint8_t* at = raw_.data() + std::uint64_t{position} * sqidxSize;
  const std::uint32_t ofs = load32(at + sqidxOfsOffset);
  // The only range the index itself is held to; the frame checks the rest.
  if (ofs > header_.endFrame) {
    reportIndexDamaged(tag_, position, ofs);
    return false;
  }
  out = IndexEntry{true, ofs, load32(at + sqidxUmsgidOffset)};
  return true;
}

MessageState SquishSource::readMessage(const MessageRef& message, std::span<std::uint8_t>,
                                       MessageParts parts, MessageReader& reader) {
  // Subject linking reads only the message header, so its control
  // information may reach past the end of the file.
  if (!frames_) {
    frames_.emplace(data_, header_.szSqhdr,
                    parts == MessageParts::subject ? FrameParts::header : FrameParts::headerAndControl);
  }
  FrameLayout frame;
  const FrameCheck check = frames_->check(message.locator, frame);
  if (check != FrameCheck::ok) {
    reportFrameDamage(tag_, check, message.number, message.locator);
    return MessageState::failed;
  }
  if (parts == MessageParts::subject) {
    reader.subject(data_.data() + frame.header + xmsgSubjOffset);
  } else {
    reader.kludges(data_.data() + frame.control, data_.data() + frame.controlEnd);
  }
  return MessageState::linked;
}

void SquishSource::rescanKludges(const MessageRef& message, std::span<const std::uint8_t>,
                                 MessageReader& reader) {
  const FrameLayout frame = layFrame(data_, message.locator, header_.szSqhdr);
  reader.kludges(data_.data() + frame.control, data_.data() + frame.controlEnd);
}

void SquishSource::prefetch(std::uint32_t ofs) {
  knotter::prefetch(data_, std::uint64_t{ofs} + sqhdrClenOffset);
  knotter::prefetch(data_, std::uint64_t{ofs} + header_.szSqhdr + xmsgSize);
}

}  // namespace knotter
