#include "linker/reply_linker.h"

#include <algorithm>
#include <stdexcept>


namespace knotter {
namespace {

constexpr std::uint64_t noPosition = ~std::uint64_t{0};

// A group of keys with the same identifier: [begin, end) of the refs.
struct Group {
  std::uint64_t begin;
  std::uint64_t end;
};

template <typename Visit>
void forEachGroup(const KeyGroups& groups, Visit visit) {
  const std::uint64_t count = groups.refs.size();
  std::uint64_t begin = 0;
  while (begin < count) {
    const std::uint64_t end = groupEnd(groups.starts, count, begin);
    visit(Group{begin, end});
    begin = end;
  }
}

// The position of the group's first MSGID key (its original), or noPosition.
std::uint64_t findOriginal(std::span<const std::uint32_t> refs, Group group) {
  for (std::uint64_t k = group.begin; k < group.end; ++k) {
    if (kindOf(refs[k]) == msgIdKind) return k;
  }
  return noPosition;
}

// Visits each group that holds an original, with the original's slot; only
// such groups link anything in TimEd.
template <typename Visit>
void forEachOriginal(const KeyGroups& groups, Visit visit) {
  forEachGroup(groups, [&](Group group) {
    const std::uint64_t original = findOriginal(groups.refs, group);
    if (original != noPosition) visit(group, ownerOf(groups.refs[original]));
  });
}

// TimEd: every reply names the original of its group. A group without an
// original links nothing; a duplicate MSGID answers nothing.
void findOriginals(LinkTable& table) {
  std::fill(table.links.begin(), table.links.end(), Links{});
  const std::span<const std::uint32_t> refs = table.groups.refs;
  forEachOriginal(table.groups, [&](Group group, std::uint32_t o) {
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      if (kindOf(refs[k]) == replyKind) table.links[ownerOf(refs[k])].replyTo = o;
    }
  });
}

// Lower number first, then lower ofs, then index position: the slot order
// of the entries is already by ofs and index position.
bool ranksBefore(std::span<const MessageEntry> entries, std::uint32_t a, std::uint32_t b) {
  if (entries[a].number != entries[b].number) return entries[a].number < entries[b].number;
  return a < b;
}

// Readers climb to the original and descend to the replies without
// remembering where they have been, so no link may lead back to where it
// started. Every message answers at most one original, so following
// originals from any message either ends or runs into one ring; on each
// ring (a message that answers itself is a ring of one) the lowest-ranked
// member loses its original. Each walk stamps what it passes, so every
// message is passed at most twice, without a stack.
void breakRings(LinkTable& table) {
  const std::span<Links> links = table.links;
  auto* walk = reinterpret_cast<std::uint32_t*>(table.linkWork);  // 1 + the walk's start; 0 = none
  static_assert(sizeof(std::uint32_t) <= linkWorkBytes);
  std::fill(walk, walk + links.size(), 0u);
  for (std::uint32_t start = 0; start < links.size(); ++start) {
    if (walk[start] != 0) continue;
    const std::uint32_t stamp = start + 1;
    std::uint32_t m = start;
    while (m != noSlot && walk[m] == 0) {
      walk[m] = stamp;
      m = links[m].replyTo;
    }
    // Ended, or met a message an earlier walk has settled.
    if (m == noSlot || walk[m] != stamp) continue;
    std::uint32_t lowest = m;
    for (std::uint32_t r = links[m].replyTo; r != m; r = links[r].replyTo) {
      if (ranksBefore(table.entries, r, lowest)) lowest = r;
    }
    links[lowest].replyTo = noSlot;
  }
}

// Lists the replies of each original that still answer it, in ascending
// number: firstReply, then nextReply from reply to reply.
void listReplies(LinkTable& table) {
  const std::span<const std::uint32_t> refs = table.groups.refs;
  forEachOriginal(table.groups, [&](Group group, std::uint32_t o) {
    std::uint32_t* last = &table.links[o].firstReply;
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      const std::uint32_t reply = ownerOf(refs[k]);
      if (kindOf(refs[k]) != replyKind || table.links[reply].replyTo != o) continue;
      *last = reply;
      last = &table.links[reply].nextReply;
    }
  });
}

// The forest that Flat and Reply flatten, one node per message, kept in
// the table's work room beside the links.
struct ChainNode {
  std::uint32_t firstChild = noSlot;
  std::uint32_t nextSibling = noSlot;
  std::uint32_t previous = noSlot;  // ref of the key before it in its list
};
static_assert(sizeof(ChainNode) <= linkWorkBytes);

std::span<ChainNode> chainNodes(const LinkTable& table) {
  return {reinterpret_cast<ChainNode*>(table.linkWork), table.entries.size()};
}

// Flat and Reply turn each group into a list: its head (the original, or
// for Reply the lowest reply to a missing original), then its replies by
// number. Seen per message, the lists form a forest: a message's first child
// follows its MSGID in its list, its next sibling follows its REPLY.
void buildLists(const LinkTable& table, std::span<ChainNode> nodes, bool linkOrphans) {
  std::fill(nodes.begin(), nodes.end(), ChainNode{});
  const std::span<const std::uint32_t> refs = table.groups.refs;
  forEachGroup(table.groups, [&](Group group) {
    std::uint64_t head = findOriginal(refs, group);
    if (head == noPosition) {
      // Replies whose original is missing: Reply still chains them, led by
      // the lowest number; Flat leaves them apart.
      if (!linkOrphans) return;
      head = group.begin;
    }
    std::uint32_t last = refs[head];
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      if (k == head || kindOf(refs[k]) != replyKind) continue;
      const std::uint32_t message = ownerOf(refs[k]);
      ChainNode& before = nodes[ownerOf(last)];
      (kindOf(last) == msgIdKind ? before.firstChild : before.nextSibling) = message;
      nodes[message].previous = last;
      last = refs[k];
    }
  });
}

// The message after x in pre-order: its first child, else its next sibling
// (or, for the head of orphan replies, its next follower), else the next
// sibling of the nearest ancestor that has one. noSlot when the walk is
// back at the chain's start.
std::uint32_t nextInChain(std::span<const ChainNode> nodes, std::uint32_t x) {
  if (nodes[x].firstChild != noSlot) return nodes[x].firstChild;
  if (nodes[x].nextSibling != noSlot) return nodes[x].nextSibling;
  for (;;) {
    const std::uint32_t previous = nodes[x].previous;
    if (previous == noSlot) return noSlot;
    x = previous >> 1;
    if ((previous & 1) == replyKind) continue;  // a previous sibling: keep climbing
    if (nodes[x].nextSibling != noSlot) return nodes[x].nextSibling;
  }
}

// Flattens every tree of the forest into a chain in pre-order. The trees are
// disjoint, so the order of the chain starts does not matter. Messages on a
// cycle of replies belong to no tree and keep no links.
void flattenChains(LinkTable& table, std::span<const ChainNode> nodes) {
  const std::span<Links> links = table.links;
  std::fill(links.begin(), links.end(), Links{});
  std::uint64_t steps = 0;
  for (std::uint32_t start = 0; start < nodes.size(); ++start) {
    if (nodes[start].previous != noSlot) continue;  // not a chain start
    std::uint32_t tail = start;
    for (std::uint32_t n = nextInChain(nodes, start); n != noSlot; n = nextInChain(nodes, n)) {
      // Each message joins at most one chain; more steps than messages would
      // mean a broken table, which must never be written.
      if (++steps > nodes.size()) throw std::logic_error("reply chain walk does not end");
      links[tail].firstReply = n;
      links[n].replyTo = tail;
      tail = n;
    }
  }
}

}  // namespace

void linkReplies(LinkTable& table, LinkType type) {
  if (type == LinkType::timEd) {
    findOriginals(table);
    breakRings(table);
    listReplies(table);
    return;
  }
  const std::span<ChainNode> nodes = chainNodes(table);
  buildLists(table, nodes, type != LinkType::flat);
  flattenChains(table, nodes);
}

}  // namespace knotter
