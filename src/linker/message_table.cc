#include "linker/message_table.h"

#include <algorithm>
#include <cstring>

#include "linker/scratch_buffer.h"

namespace knotter {
namespace {

constexpr std::uint64_t keyBytesPerMessage = 2 * sizeof(KeyRef);
static_assert(sizeof(std::uint64_t) <= keyBytesPerMessage);  // the frames while ordered

std::uint64_t roundUp(std::uint64_t bytes) { return (bytes + 63) & ~std::uint64_t{63}; }

std::uint64_t packKey(const MsgIdKey& key, std::uint32_t textNumber) {
  return (std::uint64_t{key.number} << 32) | textNumber;
}

}  // namespace

bool takeMessageTable(std::uint32_t count, std::uint64_t indexBytes, MessageTable& table) {
  table = MessageTable{};
  table.capacity = std::max<std::uint64_t>(count, minScratchMessages);
  const std::uint64_t markWords = bitWords(2 * table.capacity);
  // Where each region begins in the block: one after the other, each
  // rounded to a cache line.
  const std::uint64_t keysAt = roundUp(table.capacity * std::max(indexBytes, std::uint64_t{8}));
  const std::uint64_t marksAt = keysAt + roundUp(table.capacity * keyBytesPerMessage);
  const std::uint64_t textsAt = marksAt + roundUp(3 * markWords * sizeof(std::uint64_t));
  const std::uint64_t size = textsAt + originTextsBytes(table.capacity);
  auto* block = static_cast<std::uint8_t*>(scratchBuffer(size));
  if (block == nullptr) return false;
  table.entries = {reinterpret_cast<MessageEntry*>(block), 0};
  table.index = block;
  table.frames = reinterpret_cast<std::uint64_t*>(block + keysAt);
  table.keys = reinterpret_cast<KeyRef*>(table.frames);
  table.keysEnd = block + marksAt;
  table.sameAsEarlier = reinterpret_cast<std::uint64_t*>(block + marksAt);
  table.marks = reinterpret_cast<std::uint8_t*>(table.sameAsEarlier + markWords);
  table.texts = block + textsAt;
  return true;
}

void orderFrames(MessageTable& table, std::uint32_t count) {
  // Tossers append, so the index is usually in file order already.
  if (!std::is_sorted(table.frames, table.frames + count)) {
    std::sort(table.frames, table.frames + count);
  }
  table.entries = {table.entries.data(), count};
}

KeyCollector::KeyCollector(MessageTable& table, const char* areaTag) : table_(table) {
  table.areaTagHash = MsgIdHash(areaTag);
  table.listedKeys = 0;
  std::fill(table.sameAsEarlier, table.sameAsEarlier + bitWords(2 * table.capacity), 0);
  startOriginTexts(texts_, table.texts, table.capacity);
}

void KeyCollector::scan(std::uint32_t slot, const std::uint8_t* begin, const std::uint8_t* end) {
  start(slot);
  feed(begin, end);
  finish();
}

void KeyCollector::start(std::uint32_t slot) {
  slot_ = slot;
  startKludgeScan(scan_, msgIdKey_, replyKey_, table_.areaTagHash);
}

bool KeyCollector::feed(const std::uint8_t* begin, const std::uint8_t* end) {
  return feedKludgeScan(scan_, begin, end);
}

void KeyCollector::finish() {
  finishKludgeScan(scan_);
  const std::uint32_t number = table_.entries[slot_].number;
  const MsgIdKey* parsed[2] = {&msgIdKey_, &replyKey_};
  for (std::uint32_t kind = msgIdKind; kind <= replyKind; ++kind) {
    const std::uint32_t text = originTextNumber(texts_, parsed[kind]->text);
    const std::uint64_t key = packKey(*parsed[kind], text);
    if (key == 0) continue;
    const std::uint32_t ref = slot_ * 2 + kind;
    if (isHashedText(text) && sameAsRecentKey(texts_, key, parsed[kind]->text)) {
      setBit(table_.sameAsEarlier, ref);
    }
    table_.keys[table_.listedKeys++] = KeyRef{key, number, ref};
  }
}

}  // namespace knotter
