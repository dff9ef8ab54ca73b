// The scratch block ends at a page no one may touch, so that a table that
// outgrew its block faults instead of writing into the next mapping, which
// may be a message base.
#include "linker/scratch_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(ScratchBuffer, EndsAtAPageThatFaults) {
  for (const std::uint64_t size : {std::uint64_t{1000}, std::uint64_t{4096}, std::uint64_t{70001}}) {
    SCOPED_TRACE(size);
    knotter::releaseScratchBuffer();  // the block only grows: start from none
    auto* block = static_cast<volatile std::uint8_t*>(knotter::scratchBuffer(size));
    ASSERT_NE(block, nullptr);
    block[0] = 1;
    block[size - 1] = 1;  // the whole block is there
    EXPECT_DEATH(block[size + 63] = 1, "");
    knotter::releaseScratchBuffer();
  }
}

}  // namespace
