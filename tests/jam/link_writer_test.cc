// Writing links into a JAM base: only the three reply fields that differ,
// ModCounter once per changed area (wrapping), nothing for a linked base.
#include "jam/link_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jam/jam_base.h"
#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

using Fields = std::vector<knotter::JamLinkFields>;

// Opens and lists the base, then writes fields (one per listed header, in
// ascending offset); the count of changed headers.
std::uint32_t writeHere(const std::filesystem::path& base, const Fields& fields) {
  knotter::JamBase jam;
  std::uint32_t records = 0;
  std::uint32_t count = 0;
  EXPECT_TRUE(knotter::openJamBase(base.c_str(), "area", jam));
  EXPECT_TRUE(knotter::openJamIndex(jam, "area", records));
  std::vector<std::uint64_t> headers(records);
  EXPECT_TRUE(knotter::listJamHeaders(jam, "area", records, headers.data(), count));
  EXPECT_EQ(count, fields.size());
  knotter::JamLinkWriter writer(jam.mapping.bytes());
  for (std::uint32_t k = 0; k < count; ++k) {
    knotter::writeJamHeader(writer, knotter::frameOfs(headers[k]), fields[k]);
  }
  return knotter::finishJamWrites(writer);
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

TEST(JamLinkWriter, StoresOnlyChangedFieldsAndBumpsModCounterOnce) {
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  writeJamBase(fourWithGap(41), base);
  const std::string before = withoutLinks(base, 4);
  // Headers 1, 3 (deleted, cleared) and 4; 1 keeps its fields.
  EXPECT_EQ(writeHere(base, {{0, 4, 0}, {0, 0, 0}, {0, 0, 7}}), 2u);
  EXPECT_EQ(describeJamLinks(base), "1: 0 4 0; 3: 0 0 0; 4: 0 0 7");
  EXPECT_EQ(getU32(readFile(jhr(base)), jamAt::modCounter), 42u);
  EXPECT_EQ(withoutLinks(base, 4), before);

  const std::string linked = readFile(jhr(base));
  EXPECT_EQ(writeHere(base, {{0, 4, 0}, {0, 0, 0}, {0, 0, 7}}), 0u);
  EXPECT_EQ(readFile(jhr(base)), linked);
}

TEST(JamLinkWriter, ModCounterWraps) {
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  writeJamBase(fourWithGap(0xFFFFFFFF), base);
  EXPECT_EQ(writeHere(base, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), 3u);
  EXPECT_EQ(getU32(readFile(jhr(base)), jamAt::modCounter), 0u);
}

}  // namespace
}  // namespace ktest
