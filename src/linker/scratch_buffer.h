// One process-wide work block for the linkers. It only grows, so that an area
// costs no allocation unless it is bigger than every area before it.
#pragma once

#include <cstdint>

namespace knotter {

// Returns a block of at least size bytes, or null after reporting
// "! Not enough memory". The contents do not survive a growth.
void* scratchBuffer(std::uint64_t size);

// Frees the block; called once at the end of the run.
void releaseScratchBuffer();

}  // namespace knotter
