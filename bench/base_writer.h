// Writes a planned area as a Squish base: the data file (256-byte base
// header, then one 28-byte frame header, 238-byte message header, control
// information and text per message, frames linked both ways) and the index
// (12 bytes per message, umsgids ascending from 1). Unlinked: every
// reply-chain field is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "message_plan.h"

namespace knotter::bench {

// What was written, for a summary line.
struct BaseStats {
  std::uint64_t dataSize = 0;
  std::size_t controlMin = SIZE_MAX;
  std::size_t controlMax = 0;
  std::size_t bodyMin = SIZE_MAX;
  std::size_t bodyMax = 0;
};

// Writes basePath.sqd and basePath.sqi. Returns false after printing the
// failing file and system error to standard error.
bool writeBase(const AreaPlan& plan, const std::string& basePath, BaseStats& stats);

}  // namespace knotter::bench
