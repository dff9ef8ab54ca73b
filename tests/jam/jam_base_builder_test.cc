// The JAM test base builder must lay out bases as the published format
// does; checked here against bytes written out by hand.
#include "support/jam_base_builder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/temp_dir.h"

namespace ktest {
namespace {

std::string hex(const std::string& bytes, std::size_t at, std::size_t length) {
  std::string text;
  for (std::size_t i = at; i < at + length && i < bytes.size(); ++i) {
    char byte[3];
    std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(bytes[i]));
    text += byte;
  }
  return text;
}

TEST(JamBaseBuilder, WritesThePublishedLayout) {
  TempDir dir;
  const JamBaseSpec layout{
      .messages = {{.subfields = {msgIdField("1:2/3 abcd"), subjectField("Hi")}, .replyTo = 9}},
      .baseMsgNum = 5,
      .modCounter = 7};
  const BuiltJamBase built = writeJamBase(layout, dir.file("b"), true);
  ASSERT_EQ(built.jhr.size(), 1024u + 76 + 28);
  EXPECT_EQ(hex(built.jhr, 0, 24), "4A414D00" "00F15365" "07000000" "01000000" "FFFFFFFF"
                                   "05000000");
  EXPECT_EQ(hex(built.jhr, 24, 1000), std::string(2000, '0'));
  EXPECT_EQ(hex(built.jhr, 1024, 76),
            "4A414D00" "0100" "0000" "1C000000" "00000000" "FFFFFFFF" "FFFFFFFF"
            "09000000" "00000000" "00000000" "00F15365" "00000000" "00000000"
            "05000000" "00000001" "00000000" "00000000" "06000000" "FFFFFFFF" "00000000");
  EXPECT_EQ(built.jhr.substr(1100), std::string("\x04\0\0\0\x0A\0\0\0" "1:2/3 abcd"
                                                "\x06\0\0\0\x02\0\0\0" "Hi", 28));
  EXPECT_EQ(hex(built.jdx, 0, 8), "CDAB3412" "00040000");
  EXPECT_EQ(built.jdt, "Hello\r");
  EXPECT_EQ(readJamLinks(dir.file("b"), 0), (JamLinks{9, 0, 0}));
  EXPECT_EQ(describeJamLinks(dir.file("b")), "5: 9 0 0");
}

TEST(JamBaseBuilder, HardDeletedSlotsKeepTheirNumberButHaveNoHeader) {
  TempDir dir;
  const JamBaseSpec layout{.messages = {{.reply1st = 3}, {.hardDeleted = true},
                                      {.replyTo = 1, .deleted = true}}};
  const BuiltJamBase built = writeJamBase(layout, dir.file("b"));
  EXPECT_EQ(hex(built.jdx, 8, 8), "FFFFFFFF" "FFFFFFFF");
  EXPECT_EQ(built.headerOffsets, (std::vector<std::uint32_t>{1024, 0xFFFFFFFF, 1100}));
  EXPECT_EQ(hex(built.jhr, 12, 4), "02000000");           // ActiveMsgs
  EXPECT_EQ(hex(built.jhr, 1100 + 48, 8), "03000000" "00000081");  // MsgNum, Attribute
  EXPECT_EQ(describeJamLinks(dir.file("b")), "1: 0 3 0; 3: 1 0 0");
}

}  // namespace
}  // namespace ktest
