// The working block of subject linking: whatever the subject length and the
// number of messages, the bit set of untouched records lies on 64-bit words,
// and the regions do not overlap.
#include "linker/subject_linker.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "linker/scratch_buffer.h"

namespace knotter {
namespace {

TEST(SubjectTable, TheUntouchedBitsLieOnWholeWords) {
  for (const std::uint32_t count : {1u, 499u, 500u, 501u, 503u, 1001u}) {
    for (std::int32_t length = 1; length <= 72; ++length) {
      for (const std::uint64_t roomBytes : {0u, 20u}) {
        SCOPED_TRACE(std::to_string(count) + " messages, subjects of " + std::to_string(length));
        SubjectTable table;
        ASSERT_TRUE(takeSubjectTable(count, length, roomBytes, table));
        const auto untouched = reinterpret_cast<std::uintptr_t>(table.untouched);
        EXPECT_EQ(untouched % alignof(std::uint64_t), 0u);
        EXPECT_GE(reinterpret_cast<const std::uint8_t*>(table.untouched),
                  table.records + table.recordArea);
        EXPECT_GE(table.formatRoom, reinterpret_cast<const std::uint8_t*>(table.untouched));
      }
    }
  }
  releaseScratchBuffer();
}

}  // namespace
}  // namespace knotter
