// The four ways of linking an area.
#pragma once

#include <cstdint>

namespace knotter {

enum class LinkType : std::uint8_t {
  timEd = 1,  // many replies to one original
  flat = 2,   // an original and its replies in one linear chain
  reply = 3,  // flat, and replies to the same missing original chained too
  subj = 4,   // messages with the same normalised subject in one chain
};

}  // namespace knotter
