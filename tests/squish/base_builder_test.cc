// The test base builder must lay out bases the way an independent writer of
// the format does; checked here field by field against a fixture base.
#include "support/base_builder.h"

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// reply_to_reply's first message (index position 0, umsgid 10).
const std::string replyToReplyControl = "\x01MSGID: 2:5020/10 0000000a";

std::string fieldText(const std::string& bytes, std::size_t at) {
  return std::string(bytes.c_str() + at);
}

TEST(BaseBuilder, MatchesTheFieldPositionsOfAnIndependentWriter) {
  std::filesystem::path fixture = fixturesDir() / "reply_to_reply";
  std::string fixtureData = readFile(sqd(fixture));
  IndexEntry fixtureEntry = readIndexEntry(fixture, 0);
  ASSERT_EQ(fixtureEntry.umsgid, 10u);

  TempDir dir;
  MessageSpec message{.umsgid = 10, .subject = "Topic A", .control = replyToReplyControl,
                      .body = "original 10\r"};
  BaseSpec layout{.messages = {message}, .staleEntries = 5};
  BuiltBase built = writeBase(layout, dir.file("b"));
  IndexEntry builtEntry = readIndexEntry(dir.file("b"), 0);
  EXPECT_EQ(builtEntry.umsgid, 10u);
  EXPECT_EQ(built.sqi.size(), 6u * 12);
  EXPECT_EQ(readIndexEntry(dir.file("b"), 5).umsgid, 0xFFFFFFFFu);

  struct Side {
    const char* name;
    const std::string& data;
    std::size_t ofs;
  };
  for (const Side& side : {Side{"fixture", fixtureData, fixtureEntry.ofs},
                           Side{"builder", built.sqd, builtEntry.ofs}}) {
    SCOPED_TRACE(side.name);
    const std::string& data = side.data;
    EXPECT_EQ(getU32(data, 120), data.size());  // end_frame
    EXPECT_EQ(getU16(data, 130), 28u);          // sz_sqhdr
    EXPECT_EQ(getU32(data, side.ofs), 0xAFAE4453u);
    std::size_t xmsg = side.ofs + 28;
    EXPECT_EQ(fieldText(data, xmsg + 76), "Topic A");
    EXPECT_EQ(getU32(data, xmsg + 214), 10u);
    std::uint32_t clen = getU32(data, side.ofs + 20);
    EXPECT_EQ(data.substr(xmsg + 238, clen).substr(0, replyToReplyControl.size()), replyToReplyControl);
    EXPECT_EQ(readReplyFields(side.name[0] == 'f' ? fixture : dir.file("b"), 0),
              ReplyFields{});
  }
  EXPECT_EQ(getU32(fixtureData, 8), 4u);
  EXPECT_EQ(getU32(built.sqd, 8), 1u);
}

TEST(BaseBuilder, HonoursIndexOrderAndFrameHeaderSize) {
  TempDir dir;
  BaseSpec layout{.messages = {{.umsgid = 1, .replyto = 7}, {.umsgid = 2, .replies = {5, 6}}},
                .szSqhdr = 40,
                .indexOrder = {1, 0}};
  BuiltBase built = writeBase(layout, dir.file("b"));
  EXPECT_EQ(readIndexEntry(dir.file("b"), 0).ofs, built.frameOffsets[1]);
  EXPECT_EQ(readIndexEntry(dir.file("b"), 0).umsgid, 2u);
  EXPECT_EQ(built.frameOffsets[1], 256u + 40 + 238);
  EXPECT_EQ(readReplyFields(dir.file("b"), 1), (ReplyFields{7, {}}));
  EXPECT_EQ(readReplyFields(dir.file("b"), 0), (ReplyFields{0, {5, 6}}));
}

}  // namespace
}  // namespace ktest
