#include "jam/jam_source.h"

#include <cstring>

#include "jam/jam_base.h"
#include "jam/subfields.h"
#include "log/area_reports.h"

namespace knotter {

bool JamSource::sizeIndex(IndexSize& size) {
  previousEnd_ = 0;  // a new link of the area checks its headers afresh
  std::uint32_t records = 0;
  if (!index_.inMemory()) {
    if (!openJamIndex(index_.path, tag_, baseMsgNum_, *index_.file, records)) return false;
    if (records == 0) index_.file->close();  // nothing to read
  } else {
    const std::uint64_t whole = index_.memory.size() / jamIdxSize;
    if (whole != 0 && baseMsgNum_ + (whole - 1) > 0xFFFFFFFF) {
      reportIndexFileDamaged(tag_);
      return false;
    }
    records = static_cast<std::uint32_t>(whole);
  }
  size.entries = records;
  return true;
}

bool JamSource::readIndex(std::span<std::uint8_t> room) {
  raw_ = room;
  if (!index_.inMemory()) return readJamIndex(index_.path, *index_.file, room);
  std::memcpy(room.data(), index_.memory.data(), room.size());
  return true;
}

bool JamSource::entry(std::uint32_t position, IndexEntry& out) {
  const std::uint32_t ofs = jamRecordOffset(raw_.data(), position);
  if (ofs == jamNoHeader) {  // a hard-deleted slot, whatever its UserCRC
    out = IndexEntry{};
    return true;
  }
  if (!jamRecordSound(bytes_, ofs)) {
    reportIndexDamaged(tag_, position, ofs);
    return false;
  }
  out = IndexEntry{true, ofs, baseMsgNum_ + position};
  return true;
}

bool JamSource::checkOrder(const VisitOrder& order) {
  // Two records for one header, or fixed headers that overlap, before any
  // header is looked at: storing the links of one would change the other.
  for (std::uint32_t k = 1; k < order.size(); ++k) {
    if (jamHeadersOverlap(order.locator(k - 1), order.locator(k))) {
      reportIndexDamaged(tag_, order.number(k) - baseMsgNum_, order.locator(k));
      return false;
    }
  }
  return true;
}

MessageState JamSource::readMessage(const MessageRef& message, std::span<std::uint8_t>,
                                    MessageParts parts, MessageReader& reader) {
  const std::uint32_t ofs = message.locator;
  switch (checkJamHeader(bytes_, ofs, previousEnd_)) {
    case JamHeaderCheck::ok:
      break;
    case JamHeaderCheck::outsideFile:
      reportAreaReadError(tag_);
      return MessageState::failed;
    case JamHeaderCheck::badHeader:
    case JamHeaderCheck::overlapping:
      reportBadFrame(tag_, message.number, ofs);
      return MessageState::failed;
  }
  // A deleted message takes part in nothing: it gets no links, and storing
  // those clears whatever it held.
  if (jamHeaderDeleted(bytes_, ofs)) return MessageState::cleared;
  if (parts == MessageParts::subject) {
    std::uint8_t field[jamSubjectSize];
    readJamSubject(bytes_, ofs, field);
    reader.subject(field);
  } else {
    feedJamKludges(bytes_, ofs, [&](const std::uint8_t* begin, const std::uint8_t* end) {
      return reader.kludges(begin, end);
    });
  }
  return MessageState::linked;
}

void JamSource::rescanKludges(const MessageRef& message, std::span<const std::uint8_t>,
                              MessageReader& reader) {
  feedJamKludges(bytes_, message.locator, [&](const std::uint8_t* begin, const std::uint8_t* end) {
    return reader.kludges(begin, end);
  });
}

void JamSource::prefetch(std::uint32_t ofs) {
  knotter::prefetch(bytes_, ofs);
  knotter::prefetch(bytes_, std::uint64_t{ofs} + jamHdrSize);
}

}  // namespace knotter
