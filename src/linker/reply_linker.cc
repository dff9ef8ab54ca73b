#include "linker/reply_linker.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "config/settings.h"
#include "linker/message_table.h"
#include "squish/damage_reports.h"

namespace knotter {
namespace {

// A run of keys with the same identifier: [begin, end) of the sorted keys.
struct Group {
  std::uint64_t begin;
  std::uint64_t end;
};

template <typename Visit>
void forEachGroup(std::span<const KeyRef> keys, Visit visit) {
  std::uint64_t begin = 0;
  while (begin < keys.size()) {
    std::uint64_t end = begin + 1;
    while (end < keys.size() && keys[end].key == keys[begin].key) ++end;
    visit(Group{begin, end});
    begin = end;
  }
}

// The position of the group's first MSGID key (its original), or noPosition.
std::uint64_t findOriginal(std::span<const KeyRef> keys, Group group) {
  for (std::uint64_t k = group.begin; k < group.end; ++k) {
    if (kindOf(keys[k]) == msgIdKind) return k;
  }
  return noPosition;
}

// TimEd: every reply names the original, and the original lists its first
// nine replies. Entries start with all results 0, which is also what a
// duplicate MSGID and a reply to a missing original get.
void linkToOriginals(MessageTable& table) {
  const std::span<const KeyRef> keys = table.keys;
  forEachGroup(keys, [&](Group group) {
    if (group.end - group.begin < 2) return;
    const std::uint64_t original = findOriginal(keys, group);
    if (original == noPosition) return;
    MessageEntry& o = table.entries[ownerOf(keys[original])];
    std::uint32_t listed = 0;
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      if (k == original || kindOf(keys[k]) != replyKind) continue;
      MessageEntry& reply = table.entries[ownerOf(keys[k])];
      reply.newReplyto = o.umsgid;
      if (listed < replySlots) o.newReplies[listed++] = reply.umsgid;
    }
  });
}

// Flat and Reply build, per group, a list of keys (the head, then the replies
// by umsgid) and then flatten the resulting forest into chains. The lists use
// the table's free link words; each message remembers where its own two keys
// ended up in newReplies[1] and [2], which are cleared at the end.
struct Chains {
  MessageTable& table;
  std::uint32_t* prev;
  std::uint32_t* next;

  std::uint32_t& msgIdPos(std::uint32_t m) { return table.entries[m].newReplies[1]; }
  std::uint32_t& replyPos(std::uint32_t m) { return table.entries[m].newReplies[2]; }
  std::uint32_t owner(std::uint32_t k) const { return ownerOf(table.keys[k]); }
  bool isReply(std::uint32_t k) const { return kindOf(table.keys[k]) == replyKind; }
};

Chains makeChains(MessageTable& table) {
  const std::uint64_t count = table.keys.size();
  Chains chains{table, table.links.data(), table.links.data() + count};
  std::fill(chains.prev, chains.prev + count, noPosition);
  std::fill(chains.next, chains.next + count, noPosition);
  for (MessageEntry& entry : table.entries) {
    entry.newReplies[1] = noPosition;
    entry.newReplies[2] = noPosition;
  }
  for (std::uint32_t k = 0; k < count; ++k) {
    const KeyRef& key = table.keys[k];
    table.entries[ownerOf(key)].newReplies[1 + kindOf(key)] = k;
  }
  return chains;
}

void buildLists(Chains& chains, bool linkOrphans) {
  const std::span<const KeyRef> keys = chains.table.keys;
  forEachGroup(keys, [&](Group group) {
    if (group.end - group.begin < 2) return;
    std::uint64_t head = findOriginal(keys, group);
    if (head == noPosition) {
      // Replies whose original is missing: Reply still chains them, led by
      // the lowest umsgid; Flat leaves them apart.
      if (!linkOrphans) return;
      head = group.begin;
    }
    auto last = static_cast<std::uint32_t>(head);
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      if (k == head || kindOf(keys[k]) != replyKind) continue;
      chains.prev[k] = last;
      chains.next[last] = static_cast<std::uint32_t>(k);
      last = static_cast<std::uint32_t>(k);
    }
  });
}

// The message after x in pre-order: its first child, else its next sibling
// (or, for the head of orphan replies, its next follower), else the next
// sibling of the nearest ancestor that has one. noPosition when the walk is
// back at the chain's start.
std::uint32_t nextInChain(Chains& chains, std::uint32_t x) {
  const std::uint32_t ownId = chains.msgIdPos(x);
  if (ownId != noPosition && chains.next[ownId] != noPosition) return chains.owner(chains.next[ownId]);
  std::uint32_t reply = chains.replyPos(x);
  if (reply != noPosition && chains.next[reply] != noPosition) return chains.owner(chains.next[reply]);
  for (;;) {
    reply = chains.replyPos(x);
    const std::uint32_t p = reply == noPosition ? noPosition : chains.prev[reply];
    if (p == noPosition) return noPosition;
    x = chains.owner(p);
    if (chains.isReply(p)) continue;  // a previous sibling: keep climbing
    const std::uint32_t parentReply = chains.replyPos(x);
    if (parentReply != noPosition && chains.next[parentReply] != noPosition) {
      return chains.owner(chains.next[parentReply]);
    }
  }
}

void flattenChains(Chains& chains) {
  MessageTable& table = chains.table;
  // Each message joins at most one chain and each step climbs over list
  // links that the walk has passed before; more steps than this would mean a
  // broken table, which must never be written.
  const std::uint64_t stepLimit = 8 * std::uint64_t{table.entries.size()} + 16;
  std::uint64_t steps = 0;
  for (std::uint32_t start = 0; start < table.entries.size(); ++start) {
    const std::uint32_t reply = chains.replyPos(start);
    if (reply != noPosition && chains.prev[reply] != noPosition) continue;  // not a chain start
    std::uint32_t tail = start;
    for (std::uint32_t n = nextInChain(chains, start); n != noPosition; n = nextInChain(chains, n)) {
      if (++steps > stepLimit) throw std::logic_error("reply chain walk does not end");
      table.entries[tail].newReplies[0] = table.entries[n].umsgid;
      table.entries[n].newReplyto = table.entries[tail].umsgid;
      tail = n;
    }
  }
}

void linkChains(MessageTable& table, bool linkOrphans) {
  Chains chains = makeChains(table);
  buildLists(chains, linkOrphans);
  flattenChains(chains);
  for (MessageEntry& entry : table.entries) {
    std::fill(std::begin(entry.newReplies) + 1, std::end(entry.newReplies), 0u);
  }
}

constexpr std::size_t chainFieldsSize = 4 * (1 + replySlots);

// Writes the fields that differ, visiting the headers in file order. Every
// field is compared with its value before this area was linked: when two
// index entries share a header (or their fields overlap), the later one still
// compares with the original bytes, which the window keeps.
std::int32_t writeBack(const MessageTable& table, Bytes base) {
  std::uint8_t window[chainFieldsSize];
  std::uint64_t windowStart = 0;
  std::uint64_t windowEnd = 0;
  std::int32_t changed = 0;
  for (const std::uint32_t position : table.ofsOrder) {
    const MessageEntry& entry = table.entries[position];
    const std::uint64_t at = std::uint64_t{entry.ofs} + table.header.szSqhdr + xmsgReplytoOffset;
    std::uint8_t* fields = base.data() + at;
    std::uint8_t old[chainFieldsSize];
    std::memcpy(old, fields, chainFieldsSize);
    if (at < windowEnd) {
      const std::uint64_t overlap = windowEnd - at;
      std::memcpy(old, window + (at - windowStart), overlap);
    }
    std::memcpy(window, old, chainFieldsSize);
    windowStart = at;
    windowEnd = at + chainFieldsSize;

    bool any = false;
    for (std::size_t f = 0; f <= replySlots; ++f) {
      const std::uint32_t value = f == 0 ? entry.newReplyto : entry.newReplies[f - 1];
      if (load32(old + 4 * f) == value) continue;
      store32(fields + 4 * f, value);
      any = true;
    }
    if (any) ++changed;
  }
  return changed;
}

bool linkArea(std::int32_t linkType, const char* areaTag, Bytes base, const char* indexPath,
              FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total) {
  BaseHeader header;
  if (!readBaseHeader(base, header)) {
    reportAreaReadError(areaTag);
    return false;
  }
  total = header.highMsg;
  if (header.highMsg <= 0) return true;

  MessageTable table;
  if (!loadMessageTable(areaTag, base, header, indexPath, indexFile, table)) return false;
  if (linkType == linkTimEd) {
    linkToOriginals(table);
  } else {
    linkChains(table, linkType != linkFlat);
  }
  changed = writeBack(table, base);
  return true;
}

}  // namespace

bool linkByMsgId(std::int32_t linkType, const char* areaTag, Bytes base, const char* indexPath,
                 FileDescriptor& indexFile, std::int32_t& changed, std::int32_t& total) {
  changed = 0;
  total = 0;
  try {
    return linkArea(linkType, areaTag, base, indexPath, indexFile, changed, total);
  } catch (...) {
    changed = 0;
    reportAreaReadError(areaTag);
    return false;
  }
}

}  // namespace knotter
