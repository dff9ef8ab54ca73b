// Memory shortage in one area: the working block of the linkers is sized by
// high_msg before the index is read, so a base that claims a huge number of
// messages cannot have it. The tool runs with its address space limited (set
// in the forked child before exec), reports the shortage for that area only
// and links the next one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hardening/child_process.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// Far more than a run of a small base needs, far less than the blocks asked for.
constexpr std::uint64_t memoryLimit = std::uint64_t{1} << 30;

TEST(MemoryShortage, AreaWithoutWorkingMemoryIsGivenUpAndTheRunGoesOn) {
  // Under the sanitizer the address space cannot be limited, and the block
  // comes straight from the system, past the sanitizer's allocator: only a
  // block larger than any machine's memory fails there for certain.
  std::vector<std::uint32_t> hugeCounts = {0x7FFFFFFF};
  if (!underAsan) hugeCounts.push_back(100000000);
  for (const char* linkType : {"-tt", "-tf", "-tr", "-ts"}) {
    for (const std::uint32_t count : hugeCounts) {
      SCOPED_TRACE(std::string(linkType) + " high_msg " + std::to_string(count));
      TempDir dir;
      writeBase(threeMessageThread(count), dir.file("huge"));
      writeBase(threeMessageThread(), dir.file("next"));
      writeFile(dir.file("areas.cfg"), "EchoArea HUGE huge\nEchoArea NEXT next\n");
      const std::string dataBefore = readFile(sqd(dir.file("huge")));
      const std::string indexBefore = readFile(sqi(dir.file("huge")));

      const FinishedRun done =
          runKnotterWith({linkType, "areas.cfg"}, dir.path(), {.memoryLimit = memoryLimit});
      EXPECT_EQ(done.result.exitCode, 1) << done.result.err;
      EXPECT_EQ(done.result.out, banner +
                                     "Linking areas\nLinking HUGE\r! Not enough memory\n"
                                     "Linking NEXT: 3 of 3\n");
      EXPECT_EQ(readFile(sqd(dir.file("huge"))), dataBefore);
      EXPECT_EQ(readFile(sqi(dir.file("huge"))), indexBefore);
    }
  }
}

}  // namespace
}  // namespace ktest
