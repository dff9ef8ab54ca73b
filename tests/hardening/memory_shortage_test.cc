// A base that claims a huge number of messages: the working block of the
// linkers is sized by high_msg, but only once the index was found to hold
// that many entries. An index too short for it is a damaged base; one that
// holds them (a sparse file here) makes the block too big to have. The tool
// runs with its address space limited (set in the forked child before exec),
// reports either for that area only and links the next one; the inspector
// reports either and exits 1.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
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
      for (const bool indexHoldsThem : {false, true}) {
        SCOPED_TRACE(std::string(linkType) + " high_msg " + std::to_string(count) +
                     (indexHoldsThem ? ", index as long" : ", index of three"));
        TempDir dir;
        writeBase(threeMessageThread(count), dir.file("huge"));
        writeBase(threeMessageThread(), dir.file("next"));
        if (indexHoldsThem) std::filesystem::resize_file(sqi(dir.file("huge")), 12ull * count);
        writeFile(dir.file("areas.cfg"), "EchoArea HUGE huge\nEchoArea NEXT next\n");
        const std::string dataBefore = readFile(sqd(dir.file("huge")));
        const auto indexSize = std::filesystem::file_size(sqi(dir.file("huge")));

        const FinishedRun done =
            runKnotterWith({linkType, "areas.cfg"}, dir.path(), {.memoryLimit = memoryLimit});
        EXPECT_EQ(done.result.exitCode, 1) << done.result.err;
        const std::string report =
            indexHoldsThem ? "! Not enough memory\n" : "! Error reading index file huge.sqi\n";
        EXPECT_EQ(done.result.out,
                  banner + "Linking areas\nLinking HUGE\r" + report + "Linking NEXT: 3 of 3\n");
        EXPECT_EQ(readFile(sqd(dir.file("huge"))), dataBefore);
        EXPECT_EQ(std::filesystem::file_size(sqi(dir.file("huge"))), indexSize);
      }
    }
  }
}

// The inspector checks the count against the index the same way before it
// sizes anything by it, and says which of the two it found.
TEST(MemoryShortage, InspectorTellsAShortIndexFromALackOfMemory) {
  std::vector<std::uint32_t> hugeCounts = {0x7FFFFFFF};
  if (!underAsan) hugeCounts.push_back(100000000);
  for (const std::uint32_t count : hugeCounts) {
    for (const bool indexHoldsThem : {false, true}) {
      // The inspector's tables come from a throwing new, and the sanitizer's
      // allocator ends the process when one fails, whatever its options say.
      if (indexHoldsThem && underAsan) continue;
      SCOPED_TRACE("high_msg " + std::to_string(count) +
                   (indexHoldsThem ? ", index as long" : ", index of three"));
      TempDir dir;
      writeBase(threeMessageThread(count), dir.file("huge"));
      if (indexHoldsThem) std::filesystem::resize_file(sqi(dir.file("huge")), 12ull * count);

      const FinishedRun done = runKnotterWith(
          {"--check", "huge"}, dir.path(),
          {.memoryLimit = memoryLimit, .program = KNOTTER_DUMP_BINARY});
      EXPECT_EQ(done.result.exitCode, 1) << done.result.err;
      EXPECT_EQ(done.result.out, indexHoldsThem ? "! Not enough memory\n"
                                                : "! Error reading index file huge.sqi\n");
    }
  }
}

}  // namespace
}  // namespace ktest
