#include "linker/message_table.h"

#include <algorithm>
#include <cstring>

#include "linker/scratch_buffer.h"

namespace knotter {
namespace {

std::uint64_t roundUp(std::uint64_t bytes) { return (bytes + 63) & ~std::uint64_t{63}; }

std::uint64_t packKey(const MsgIdKey& key, std::uint32_t textNumber) {
  return (std::uint64_t{key.number} << 32) | textNumber;
}

}  // namespace

bool takeMessageBlock(std::uint32_t count, std::uint64_t entryBytes, std::uint64_t roomBytes,
                      MessageBlock& block) {
  block = MessageBlock{};
  block.capacity = std::max<std::uint64_t>(count, minScratchMessages);
  block.entryWidth = std::max<std::uint64_t>(entryBytes, sizeof(MessageEntry));
  block.markWords = bitWords(2 * block.capacity);
  block.roomBytes = roomBytes;
  // Where each region begins in the block: one after the other, each
  // rounded to a cache line.
  const std::uint64_t keysAt = roundUp(block.capacity * block.entryWidth);
  const std::uint64_t marksAt = keysAt + roundUp(block.capacity * keyRoomBytes);
  const std::uint64_t textsAt = marksAt + roundUp(3 * block.markWords * sizeof(std::uint64_t));
  const std::uint64_t untouchedAt = textsAt + roundUp(originTextsBytes(block.capacity));
  const std::uint64_t roomAt =
      untouchedAt + roundUp(bitWords(block.capacity) * sizeof(std::uint64_t));
  auto* bytes = static_cast<std::uint8_t*>(scratchBuffer(roomAt + block.capacity * roomBytes));
  if (bytes == nullptr) return false;
  block.entryRoom = bytes;
  block.keyRoom = bytes + keysAt;
  block.keyRoomEnd = bytes + marksAt;
  block.marks = reinterpret_cast<std::uint64_t*>(bytes + marksAt);
  block.texts = bytes + textsAt;
  block.untouched = reinterpret_cast<std::uint64_t*>(bytes + untouchedAt);
  block.formatRoom = bytes + roomAt;
  std::fill(block.untouched, block.untouched + bitWords(block.capacity), std::uint64_t{0});
  return true;
}

Listing listingOf(const MessageBlock& block, std::uint64_t rawBytes) {
  return {{block.entryRoom, rawBytes}, reinterpret_cast<std::uint64_t*>(block.keyRoom)};
}

void orderFrames(std::uint64_t* frames, std::uint32_t count) {
  // Tossers append, so the index is usually in file order already.
  if (!std::is_sorted(frames, frames + count)) std::sort(frames, frames + count);
}

KeyCollector::KeyCollector(const MessageBlock& block, std::span<const MessageEntry> entries,
                           const char* areaTag)
    : block_(block) {
  keys_.entries = entries;
  keys_.keys = reinterpret_cast<KeyRef*>(block.keyRoom);
  keys_.sameAsEarlier = block.marks;
  keys_.areaTagHash = MsgIdHash(areaTag);
  std::fill(block.marks, block.marks + block.markWords, std::uint64_t{0});
  startOriginTexts(texts_, block.texts, block.capacity);
}

void KeyCollector::start(std::uint32_t slot) {
  slot_ = slot;
  startKludgeScan(scan_, msgIdKey_, replyKey_, keys_.areaTagHash);
}

void KeyCollector::finish() {
  finishKludgeScan(scan_);
  const std::uint32_t number = keys_.entries[slot_].number;
  const MsgIdKey* parsed[2] = {&msgIdKey_, &replyKey_};
  for (std::uint32_t kind = msgIdKind; kind <= replyKind; ++kind) {
    const std::uint32_t text = originTextNumber(texts_, parsed[kind]->text);
    const std::uint64_t key = packKey(*parsed[kind], text);
    if (key == 0) continue;
    const std::uint32_t ref = slot_ * 2 + kind;
    if (isHashedText(text) && sameAsRecentKey(texts_, key, parsed[kind]->text)) {
      setBit(block_.marks, ref);
    }
    keys_.keys[keys_.count++] = KeyRef{key, number, ref};
  }
}

CollectedKeys KeyCollector::collected() const { return keys_; }

}  // namespace knotter
