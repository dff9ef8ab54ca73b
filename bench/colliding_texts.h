// Pools of origin addresses and subjects for the colliding workloads: either
// ordinary ones, or ones that the tool's hashes, as they were before they
// were keyed, put into one slot or bucket. The colliding ones are found by
// brute force against copies of those old formulas, as anyone could have
// found them; the ordinary ones have the same form and lengths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text_pools.h"

namespace knotter::bench {

// count addresses "2:NNNNN/MMMMM". Colliding: their origin texts share the
// low 15 bits of the old text hash, so that they all wanted one slot of the
// old table of origin texts at every size it had.
std::vector<NodeAddress> originPool(std::uint32_t count, bool colliding);

// count subjects "Topic-" and nine letters or digits, each its own
// normalised form at the default length. Colliding: they share one bucket
// of the old subject table of an area of areaSize messages.
std::vector<std::string> subjectPool(std::uint32_t count, bool colliding, std::uint32_t areaSize);

}  // namespace knotter::bench
