#include "linker/hashed_groups.h"

#include <algorithm>
#include <cstring>

namespace knotter {
namespace {

constexpr std::uint32_t noGroup = 0xFFFFFFFF;  // no ref reaches it: slots stay below 2^31

using Text = char[msgIdTextSize];

// The room the check takes per message of the key room: the refs before it
// (two of 4 bytes), the first member's ref per key (two of 4 bytes) and a
// bit per key, less than a byte. What is left of the smallest block holds a
// text and more than the pads of alignment, so every batch takes a group.
constexpr std::uint64_t roomPerMessage = 2 * 4 + 2 * 4 + 1;
static_assert(roomPerMessage < keyRoomBytes);
static_assert((keyRoomBytes - roomPerMessage) * minScratchMessages >= sizeof(Text) + 64);

void rescanTexts(const CollectedKeys& collected, const KeyRescan& rescan, std::uint32_t slot,
                 Text (&texts)[2]) {
  MsgIdKey keys[2];
  rescan.rescan(slot, collected.areaTagHash, keys[msgIdKind], keys[replyKind]);
  for (std::uint32_t kind = msgIdKind; kind <= replyKind; ++kind) {
    std::memcpy(texts[kind], keys[kind].text, sizeof(Text));
  }
}

// The groups with a hashed text, [begin, end) of the refs each.
struct GroupSpan {
  std::uint64_t begin;
  std::uint64_t end;
};

// Whether the group's texts may differ: each member but the first in file
// order that matched an earlier key of the same key field and text while
// the keys were collected has the first one's text.
bool unsettled(const CollectedKeys& collected, const HashedGroups& groups, GroupSpan group) {
  std::uint64_t unmatched = 0;
  for (std::uint64_t k = group.begin; k < group.end; ++k) {
    if (!testBit(collected.sameAsEarlier, groups.refs[k]) && ++unmatched > 1) return true;
  }
  return false;
}

// Finds the next unsettled group with a hashed text at or after begin.
bool nextHashedGroup(const CollectedKeys& collected, const HashedGroups& groups, std::uint64_t& begin,
                     GroupSpan& group) {
  while (begin < groups.count) {
    const std::uint64_t end = groupEnd(groups.starts, groups.count, begin);
    const bool hashed = testBit(groups.hashed, begin);
    group = {begin, end};
    begin = end;
    if (hashed && unsettled(collected, groups, group)) return true;
  }
  return false;
}

// Room for one batch of groups. By ref, each key of the batch holds the ref
// of its group's first member in file order (the lowest ref), and that
// member, once met, the number of its text; texts are numbered as they are
// met, so that a reply mostly finds its original's text still in cache.
struct Batch {
  std::uint32_t* firstOf;
  Text* texts;
  std::uint64_t* differs;  // by first member's ref: another member's text differs
  std::uint64_t size;      // groups it holds at most
};

// The group's first member in file order.
std::uint32_t firstRef(const HashedGroups& groups, GroupSpan group) {
  return *std::min_element(groups.refs + group.begin, groups.refs + group.end);
}

// The messages of a batch mostly lie far apart; the one this many slots
// ahead is fetched while one is scanned.
constexpr std::uint32_t slotsAhead = 32;

bool holdsKeys(const Batch& batch, std::uint32_t slot) {
  const std::uint32_t* firsts = batch.firstOf + 2 * std::uint64_t{slot};
  return firsts[0] != noGroup || firsts[1] != noGroup;
}

// Scans every message that holds a key of the batch, in file order, and
// compares the text of each key with the first one of its group.
void compareInFileOrder(const CollectedKeys& collected, const KeyRescan& rescan, const Batch& batch) {
  std::uint32_t met = 0;
  const auto count = static_cast<std::uint32_t>(collected.entries.size());
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    if (slot + slotsAhead < count && holdsKeys(batch, slot + slotsAhead)) {
      rescan.prefetch(slot + slotsAhead);
    }
    if (!holdsKeys(batch, slot)) continue;
    std::uint32_t* firsts = batch.firstOf + 2 * std::uint64_t{slot};
    Text texts[2];
    rescanTexts(collected, rescan, slot, texts);
    for (std::uint32_t kind = msgIdKind; kind <= replyKind; ++kind) {
      const std::uint32_t first = firsts[kind];
      if (first == noGroup) continue;
      if (first == 2 * slot + kind) {
        std::memcpy(batch.texts[met], texts[kind], sizeof(Text));
        firsts[kind] = met++;
      } else if (std::memcmp(batch.texts[batch.firstOf[first]], texts[kind], sizeof(Text)) != 0) {
        setBit(batch.differs, first);
      }
    }
  }
}

// A group whose texts differ: ordered by text, then as before (number,
// then ref), and a new group begins wherever the text changes. A text held
// by one key alone makes a group of one, which links nothing.
void splitByText(const CollectedKeys& collected, const KeyRescan& rescan, const HashedGroups& groups,
                 GroupSpan group) {
  const auto textOf = [&](std::uint32_t ref, Text& text) {
    Text texts[2];
    rescanTexts(collected, rescan, ownerOf(ref), texts);
    std::memcpy(text, texts[kindOf(ref)], sizeof(Text));
  };
  std::sort(groups.refs + group.begin, groups.refs + group.end, [&](std::uint32_t a, std::uint32_t b) {
    Text textA;
    Text textB;
    textOf(a, textA);
    textOf(b, textB);
    if (const int order = std::memcmp(textA, textB, sizeof(Text)); order != 0) return order < 0;
    const std::uint32_t numberA = collected.entries[ownerOf(a)].number;
    const std::uint32_t numberB = collected.entries[ownerOf(b)].number;
    return numberA != numberB ? numberA < numberB : a < b;
  });
  Text last;
  textOf(groups.refs[group.begin], last);
  for (std::uint64_t k = group.begin + 1; k < group.end; ++k) {
    Text text;
    textOf(groups.refs[k], text);
    if (std::memcmp(text, last, sizeof(Text)) != 0) setBit(groups.starts, k);
    std::memcpy(last, text, sizeof(Text));
  }
}

// Checks the hashed groups from begin on that fit in one batch; returns
// where the next batch starts.
std::uint64_t checkBatch(const CollectedKeys& collected, const HashedGroups& groups,
                         const KeyRescan& rescan, const Batch& batch, std::uint64_t begin) {
  std::uint64_t taken = 0;
  GroupSpan group;
  std::uint64_t next = begin;
  while (taken < batch.size && nextHashedGroup(collected, groups, next, group)) {
    // A member that matched an earlier one has that one's text, so only the
    // others are compared: if they all have the first one's text, so do all.
    const std::uint32_t first = firstRef(groups, group);
    for (std::uint64_t k = group.begin; k < group.end; ++k) {
      const std::uint32_t ref = groups.refs[k];
      if (!testBit(collected.sameAsEarlier, ref)) batch.firstOf[ref] = first;
    }
    ++taken;
  }
  if (taken == 0) return next;
  compareInFileOrder(collected, rescan, batch);
  // The batch's groups once more: those whose texts differ are split, and
  // when another batch follows, their keys leave this one.
  const bool last = next == groups.count;
  std::uint64_t at = begin;
  for (std::uint64_t g = 0; g < taken && nextHashedGroup(collected, groups, at, group); ++g) {
    if (!last) {
      for (std::uint64_t k = group.begin; k < group.end; ++k) batch.firstOf[groups.refs[k]] = noGroup;
    }
    if (testBit(batch.differs, firstRef(groups, group))) splitByText(collected, rescan, groups, group);
  }
  return next;
}

}  // namespace

void checkHashedGroups(const CollectedKeys& collected, const HashedGroups& groups,
                       const KeyRescan& rescan, const TextRoom& room) {
  const std::uint64_t refSpace = 2 * std::uint64_t{collected.entries.size()};
  Batch batch{};
  batch.firstOf = reinterpret_cast<std::uint32_t*>(room.begin);
  batch.differs = reinterpret_cast<std::uint64_t*>(batch.firstOf + refSpace);  // refSpace is even
  batch.texts = reinterpret_cast<Text*>(batch.differs + bitWords(refSpace));
  // At least one text fits (see roomPerMessage), so a batch takes a group.
  batch.size = static_cast<std::uint64_t>(room.end - reinterpret_cast<std::uint8_t*>(batch.texts)) /
               sizeof(Text);
  std::fill(batch.firstOf, batch.firstOf + refSpace, noGroup);
  std::fill(batch.differs, batch.differs + bitWords(refSpace), std::uint64_t{0});
  for (std::uint64_t begin = 0; begin < groups.count;) {
    begin = checkBatch(collected, groups, rescan, batch, begin);
  }
}

}  // namespace knotter
