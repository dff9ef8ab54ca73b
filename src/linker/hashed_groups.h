// Past the bounded table of origin texts, keys carry a hash of their text
// instead of its number, so keys that share a group may still name different
// identifiers. Here the texts behind each such group are compared, scanning
// the messages again in file order, and a group whose texts differ becomes
// one group per text.
#pragma once

#include <cstdint>

#include "linker/message_table.h"

namespace knotter {

struct HashedGroups {
  std::uint32_t* refs;        // the grouped refs, as KeyGroups holds them
  std::uint64_t count;
  std::uint64_t* starts;      // where each group begins; splitting adds to it
  const std::uint64_t* hashed;  // set at the start of each group with a hashed text
};

// Room the check works in, [begin, end) of the key room after the refs.
struct TextRoom {
  std::uint8_t* begin;
  std::uint8_t* end;
};

// Splits every group of groups whose members' texts differ into one group
// per text.
void checkHashedGroups(const CollectedKeys& keys, const HashedGroups& groups,
                       const KeyRescan& rescan, const TextRoom& room);

}  // namespace knotter
