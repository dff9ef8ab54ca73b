// Linking an area by its MSGID and REPLY kludges, step by step: the index,
// the order of the messages, their keys, the groups, the links, the stores.
#include "linker/area_steps.h"
#include "linker/reply_linker.h"

namespace knotter {
namespace {

MessageRef refOf(const MessageEntry& entry) { return {entry.locator, entry.number}; }

// The messages in visiting order, as the entries hold them.
class EntryOrder final : public VisitOrder {
 public:
  explicit EntryOrder(std::span<const MessageEntry> entries) : entries_(entries) {}
  std::uint32_t size() const override { return static_cast<std::uint32_t>(entries_.size()); }
  std::uint32_t locator(std::uint32_t k) const override { return entries_[k].locator; }
  std::uint32_t number(std::uint32_t k) const override { return entries_[k].number; }

 private:
  std::span<const MessageEntry> entries_;
};

// The keys of a message that readMessage read, scanned again by its format.
class SourceRescan final : public KeyRescan {
 public:
  SourceRescan(AreaSource& source, const MessageBlock& block, std::span<const MessageEntry> entries)
      : source_(source), block_(block), entries_(entries) {}
  void rescan(std::uint32_t slot, std::uint32_t areaTagHash, MsgIdKey& msgIdKey,
              MsgIdKey& replyKey) const override {
    KludgeScan scan;
    startKludgeScan(scan, msgIdKey, replyKey, areaTagHash);
    MessageReader reader = MessageReader::ofKludges(scan);
    source_.rescanKludges(refOf(entries_[slot]), formatRoomOf(block_, slot), reader);
    finishKludgeScan(scan);
  }
  void prefetch(std::uint32_t slot) const override { source_.prefetch(entries_[slot].locator); }

 private:
  AreaSource& source_;
  const MessageBlock& block_;
  std::span<const MessageEntry> entries_;
};

// Reads the index and lists a frame for each entry that holds a message,
// in index order; returns how many through count.
bool listFrames(AreaSource& source, const Listing& listing, std::uint32_t entries,
                std::uint32_t& count) {
  if (!source.readIndex(listing.rawIndex)) return false;
  count = 0;
  for (std::uint32_t position = 0; position < entries; ++position) {
    IndexEntry entry;
    if (!source.entry(position, entry)) return false;
    if (entry.message) listing.frames[count++] = frameOf(entry.locator, position);
  }
  return true;
}

// Reads every message in visiting order and collects its keys. Marks the
// messages the format leaves alone; untouched counts them.
bool collectKeys(AreaSource& source, const MessageBlock& block,
                 std::span<const MessageEntry> entries, KeyCollector& keys,
                 std::uint32_t& untouched) {
  untouched = 0;
  for (std::uint32_t slot = 0; slot < entries.size(); ++slot) {
    keys.start(slot);
    MessageReader reader = MessageReader::ofKludges(keys.scan());
    switch (source.readMessage(refOf(entries[slot]), formatRoomOf(block, slot),
                               MessageParts::kludges, reader)) {
      case MessageState::linked:
        keys.finish();
        break;
      case MessageState::cleared:
        break;
      case MessageState::untouched:
        setBit(block.untouched, slot);
        ++untouched;
        break;
      case MessageState::failed:
        return false;
    }
  }
  return true;
}

// Has the sink store the links of every message it holds for linking, in
// visiting order; counts the messages changed.
bool storeLinks(LinkSink& sink, const MessageBlock& block, const LinkTable& table,
                std::uint32_t& changed) {
  const LinkShape shape = sink.shape();
  const auto numberOf = [&](std::uint32_t slot) { return table.entries[slot].number; };
  const auto nextOf = [&](std::uint32_t slot) { return table.links[slot].nextReply; };
  // Every reply slot is decided: a chain names one reply, the message after
  // it, and the slots after it become 0; TimEd lists its replies.
  constexpr bool allReplies = true;
  const auto count = static_cast<std::uint32_t>(table.entries.size());
  changed = 0;
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    if (slot + storesAhead < count) sink.prefetch(table.entries[slot + storesAhead].locator);
    if (testBit(block.untouched, slot)) continue;
    const MessageRef message = refOf(table.entries[slot]);
    const std::span<const std::uint8_t> room = formatRoomOf(block, slot);
    const LinkFields current = sink.current(message, room);
    const LinkFields fresh =
        freshFields(current, table.links[slot], shape, allReplies, numberOf, nextOf);
    if (!fieldsDiffer(current, fresh, shape)) continue;
    if (!sink.store(message, room, current, fresh)) return false;
    ++changed;
  }
  return sink.finish(changed);
}

}  // namespace

bool linkByMsgId(const LinkRequest& request, AreaSource& source, LinkSink& sink,
                 LinkCounts& counts) {
  IndexSize size;
  if (!source.sizeIndex(size)) return false;
  counts.total = size.emptyTotal;
  if (size.entries == 0) return true;  // nothing to link

  MessageBlock block;
  if (!takeMessageBlock(size.entries, source.entryBytes(), source.roomBytes(), block)) {
    return false;
  }
  const Listing listing = listingOf(block, std::uint64_t{size.entries} * source.entryBytes());
  std::uint32_t count = 0;
  if (!listFrames(source, listing, size.entries, count)) return false;
  orderFrames(listing.frames, count);
  const LinkShape shape = sink.shape();
  const std::span<const MessageEntry> entries =
      fillEntries(block, listing, count, [&](std::uint32_t position) {
        const std::uint32_t number = numberAt(source, position);
        requireFits(shape, number);
        return number;
      });
  if (!source.checkOrder(EntryOrder(entries))) return false;

  KeyCollector keys(block, entries, request.areaTag);
  std::uint32_t untouched = 0;
  if (!collectKeys(source, block, entries, keys, untouched)) return false;
  counts.total = count - untouched;
  LinkTable table = groupKeys(block, keys.collected(), SourceRescan(source, block, entries));
  linkReplies(table, request.type);
  return storeLinks(sink, block, table, counts.changed);
}

}  // namespace knotter
