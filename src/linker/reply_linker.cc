#include "linker/reply_linker.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "config/settings.h"
#include "linker/message_table.h"
#include "squish/damage_reports.h"
#include "squish/write_access.h"

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
// nine replies, which the write-back reads from the group itself. Results
// start at 0 (no original in the group: newReplyto stays 0; a duplicate
// MSGID lists nothing).
void linkToOriginals(MessageTable& table) {
  for (LinkResult& result : table.results) {
    result = LinkResult{0, noPosition, 0, 0, 0, noPosition, 0};
  }
  const std::span<const KeyRef> keys = table.keys;
  forEachGroup(keys, [&](Group group) {
    if (group.end - group.begin < 2) return;
    const std::uint64_t original = findOriginal(keys, group);
    if (original == noPosition) return;
    const std::uint32_t o = ownerOf(keys[original]);
    table.results[o].newReply = static_cast<std::uint32_t>(group.begin);
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      if (kindOf(keys[k]) != replyKind) continue;
      LinkResult& reply = table.results[ownerOf(keys[k])];
      reply.newReplyto = table.entries[o].umsgid;
      reply.original = o;
    }
  });
}

// Lower umsgid first, then lower ofs, then index position: the slot order
// of the entries is already by ofs and index position.
bool ranksBefore(std::span<const MessageEntry> entries, std::uint32_t a, std::uint32_t b) {
  if (entries[a].umsgid != entries[b].umsgid) return entries[a].umsgid < entries[b].umsgid;
  return a < b;
}

// Readers climb replyto and descend replies[] without remembering where
// they have been, so no link may lead back to where it started. Every
// message answers at most one original, so following originals from any
// message either ends or runs into one ring; on each ring (a message that
// answers itself is a ring of one) the lowest-ranked member loses its
// original. Each walk stamps what it passes, so every message is passed at
// most twice, without a stack.
void breakRings(MessageTable& table) {
  const std::span<LinkResult> results = table.results;
  for (std::uint32_t start = 0; start < results.size(); ++start) {
    if (results[start].walk != 0) continue;
    const std::uint32_t stamp = start + 1;
    std::uint32_t m = start;
    while (m != noPosition && results[m].walk == 0) {
      results[m].walk = stamp;
      m = results[m].original;
    }
    // Ended, or met a message an earlier walk has settled.
    if (m == noPosition || results[m].walk != stamp) continue;
    std::uint32_t lowest = m;
    for (std::uint32_t r = results[m].original; r != m; r = results[r].original) {
      if (ranksBefore(table.entries, r, lowest)) lowest = r;
    }
    results[lowest].original = noPosition;
    results[lowest].newReplyto = 0;
  }
}

// The replies an original lists: the first nine REPLY keys of its group
// whose messages still answer it.
void listReplies(const MessageTable& table, std::uint32_t groupStart, std::uint32_t* replies) {
  const std::span<const KeyRef> keys = table.keys;
  std::size_t listed = 0;
  for (std::uint64_t k = groupStart; k < keys.size() && keys[k].key == keys[groupStart].key; ++k) {
    if (kindOf(keys[k]) != replyKind) continue;
    if (table.results[ownerOf(keys[k])].original == noPosition) continue;
    replies[listed++] = keys[k].umsgid;
    if (listed == replySlots) break;
  }
}

// Flat and Reply turn each group into a list: its head (the original, or
// for Reply the lowest reply to a missing original), then its replies by
// umsgid. Seen per message, the lists form a forest: a message's first child
// follows its MSGID in its list, its next sibling follows its REPLY.
void buildLists(MessageTable& table, bool linkOrphans) {
  for (LinkResult& result : table.results) {
    result = LinkResult{0, 0, noPosition, noPosition, noPosition, 0, 0};
  }
  const std::span<const KeyRef> keys = table.keys;
  forEachGroup(keys, [&](Group group) {
    if (group.end - group.begin < 2) return;
    std::uint64_t head = findOriginal(keys, group);
    if (head == noPosition) {
      // Replies whose original is missing: Reply still chains them, led by
      // the lowest umsgid; Flat leaves them apart.
      if (!linkOrphans) return;
      head = group.begin;
    }
    const KeyRef* last = &keys[head];
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      if (k == head || kindOf(keys[k]) != replyKind) continue;
      const std::uint32_t message = ownerOf(keys[k]);
      LinkResult& before = table.results[ownerOf(*last)];
      (kindOf(*last) == msgIdKind ? before.firstChild : before.nextSibling) = message;
      table.results[message].previous = last->ref;
      last = &keys[k];
    }
  });
}

// The message after x in pre-order: its first child, else its next sibling
// (or, for the head of orphan replies, its next follower), else the next
// sibling of the nearest ancestor that has one. noPosition when the walk is
// back at the chain's start.
std::uint32_t nextInChain(std::span<const LinkResult> results, std::uint32_t x) {
  if (results[x].firstChild != noPosition) return results[x].firstChild;
  if (results[x].nextSibling != noPosition) return results[x].nextSibling;
  for (;;) {
    const std::uint32_t previous = results[x].previous;
    if (previous == noPosition) return noPosition;
    x = previous >> 1;
    if ((previous & 1) == replyKind) continue;  // a previous sibling: keep climbing
    if (results[x].nextSibling != noPosition) return results[x].nextSibling;
  }
}

// Flattens every tree of the forest into a chain in pre-order. The trees are
// disjoint, so the order of the chain starts does not matter. Messages on a
// cycle of replies belong to no tree and keep replyto 0 and replies[0] 0.
void flattenChains(MessageTable& table) {
  const std::span<LinkResult> results = table.results;
  std::uint64_t steps = 0;
  for (std::uint32_t start = 0; start < results.size(); ++start) {
    if (results[start].previous != noPosition) continue;  // not a chain start
    std::uint32_t tail = start;
    for (std::uint32_t n = nextInChain(results, start); n != noPosition; n = nextInChain(results, n)) {
      // Each message joins at most one chain; more steps than messages would
      // mean a broken table, which must never be written.
      if (++steps > results.size()) throw std::logic_error("reply chain walk does not end");
      results[tail].newReply = table.entries[n].umsgid;
      results[n].newReplyto = table.entries[tail].umsgid;
      tail = n;
    }
  }
}

// Writes the fields that differ from what the base held, in file order,
// counting the headers changed. A base that is linked already costs no access
// to the data file at all, and no exclusive lock; otherwise that lock is
// taken before the first store, and false (nothing written) when it is not.
bool writeBack(const MessageTable& table, std::int32_t linkType, Bytes base,
               const DataFile& dataFile, std::int32_t& changed) {
  WriteAccess access;
  for (std::uint32_t slot = 0; slot < table.entries.size(); ++slot) {
    const MessageEntry& entry = table.entries[slot];
    const LinkResult& result = table.results[slot];
    std::uint32_t fields[chainFields] = {result.newReplyto};
    if (linkType != linkTimEd) {
      fields[1] = result.newReply;
    } else if (result.newReply != noPosition) {
      listReplies(table, result.newReply, fields + 1);
    }
    if (std::memcmp(fields, entry.oldFields, sizeof fields) == 0) continue;
    if (!takeWriteAccess(dataFile, access)) return false;
    const std::uint64_t at = std::uint64_t{entry.ofs} + table.header.szSqhdr + xmsgReplytoOffset;
    for (std::size_t f = 0; f < chainFields; ++f) {
      if (fields[f] != entry.oldFields[f]) store32(base, at + 4 * f, fields[f]);
    }
    ++changed;
  }
  return true;
}

bool linkArea(std::int32_t linkType, const char* areaTag, Bytes base, const DataFile& dataFile,
              const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed,
              std::int32_t& total) {
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
    breakRings(table);
  } else {
    buildLists(table, linkType != linkFlat);
    flattenChains(table);
  }
  return writeBack(table, linkType, base, dataFile, changed);
}

}  // namespace

bool linkByMsgId(std::int32_t linkType, const char* areaTag, Bytes base, const DataFile& dataFile,
                 const char* indexPath, FileDescriptor& indexFile, std::int32_t& changed,
                 std::int32_t& total) {
  changed = 0;
  total = 0;
  try {
    return linkArea(linkType, areaTag, base, dataFile, indexPath, indexFile, changed, total);
  } catch (...) {
    changed = 0;
    reportAreaReadError(areaTag);
    return false;
  }
}

}  // namespace knotter
