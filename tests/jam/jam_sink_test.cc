// Writing links into a JAM base: only the three reply fields that differ,
// ModCounter once per changed area (wrapping), nothing for a linked base.
#include "jam/jam_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jam/jam_area.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// The three fields of a header: ReplyTo, Reply1st, ReplyNext.
struct Fields3 {
  std::uint32_t replyTo;
  std::uint32_t reply1st;
  std::uint32_t replyNext;
};
using Fields = std::vector<Fields3>;

// Opens the base and stores fields into the headers at the given index
// positions, as the core does: what differs from what each holds, then
// finish; the count of changed headers.
std::uint32_t writeHere(const std::filesystem::path& base, const std::vector<std::size_t>& positions,
                        const Fields& fields) {
  knotter::JamArea area;
  EXPECT_TRUE(knotter::openArea(base.c_str(), "area", knotter::OpenFor::linking, area));
  std::uint32_t changed = 0;
  for (std::size_t k = 0; k < positions.size(); ++k) {
    const knotter::MessageRef message{jamHeaderOffset(base, positions[k]), 0};
    const knotter::LinkFields current = area.sink->current(message, {});
    knotter::LinkFields fresh = current;
    fresh.replyTo = fields[k].replyTo;
    fresh.replies[0] = fields[k].reply1st;
    fresh.nextReply = fields[k].replyNext;
    if (fresh.replyTo == current.replyTo && fresh.replies[0] == current.replies[0] &&
        fresh.nextReply == current.nextReply) {
      continue;
    }
    EXPECT_TRUE(area.sink->store(message, {}, current, fresh));
    ++changed;
  }
  EXPECT_TRUE(area.sink->finish(changed));
  return changed;
}

// The header file with every reply field and ModCounter zeroed.
std::string withoutLinks(const std::filesystem::path& base, std::size_t records) {
  std::string bytes = readFile(jhr(base));
  putU32(bytes, jamAt::modCounter, 0);
  for (std::size_t i = 0; i < records; ++i) {
    const std::uint32_t at = jamHeaderOffset(base, i);
    if (at == 0xFFFFFFFF) continue;
    for (std::size_t k = 0; k < 3; ++k) putU32(bytes, at + jamAt::replyTo + 4 * k, 0);
  }
  return bytes;
}

JamBaseSpec fourWithGap(std::uint32_t modCounter) {
  return {.messages = {{.reply1st = 4},
                       {.hardDeleted = true},
                       {.replyTo = 1, .reply1st = 9, .replyNext = 4, .deleted = true},
                       {.replyTo = 1}},
          .modCounter = modCounter};
}

TEST(JamSink, StoresOnlyChangedFieldsAndBumpsModCounterOnce) {
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  writeJamBase(fourWithGap(41), base);
  const std::string before = withoutLinks(base, 4);
  // Headers 1, 3 (deleted, cleared) and 4; 1 keeps its fields.
  EXPECT_EQ(writeHere(base, {0, 2, 3}, {{0, 4, 0}, {0, 0, 0}, {0, 0, 7}}), 2u);
  EXPECT_EQ(describeJamLinks(base), "1: 0 4 0; 3: 0 0 0; 4: 0 0 7");
  EXPECT_EQ(getU32(readFile(jhr(base)), jamAt::modCounter), 42u);
  EXPECT_EQ(withoutLinks(base, 4), before);

  const std::string linked = readFile(jhr(base));
  EXPECT_EQ(writeHere(base, {0, 2, 3}, {{0, 4, 0}, {0, 0, 0}, {0, 0, 7}}), 0u);
  EXPECT_EQ(readFile(jhr(base)), linked);
}

TEST(JamSink, ModCounterWraps) {
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  writeJamBase(fourWithGap(0xFFFFFFFF), base);
  EXPECT_EQ(writeHere(base, {0, 2, 3}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), 3u);
  EXPECT_EQ(getU32(readFile(jhr(base)), jamAt::modCounter), 0u);
}

}  // namespace
}  // namespace ktest
