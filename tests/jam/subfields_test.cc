// Keys and subjects from JAM subfields: the keys must be those the kludge
// scanner gives for the equivalent Squish control information.
#include "jam/subfields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/jam_base_builder.h"

namespace ktest {
namespace {

constexpr std::uint32_t tagHash = 0x12345678;

struct Keys {
  knotter::MsgIdKey msgId;
  knotter::MsgIdKey reply;
};

std::string describe(const knotter::MsgIdKey& key) {
  return std::to_string(key.number) + " " + std::string(key.text, sizeof key.text);
}

// The header of a one-message base built in memory, its bytes copied into a
// block ending where its subfields end, so that the sanitizer build catches
// a read past them.
std::vector<std::uint8_t> oneHeader(const std::vector<JamSubfield>& subfields) {
  const std::string jhr = buildJamBase({.messages = {{.subfields = subfields}}}).jhr;
  return std::vector<std::uint8_t>(jhr.begin(), jhr.end());
}

Keys jamKeys(const std::vector<JamSubfield>& subfields) {
  std::vector<std::uint8_t> header = oneHeader(subfields);
  Keys keys;
  std::memset(keys.msgId.text, 0xA5, sizeof keys.msgId.text);  // as a reused block
  keys.reply.number = 0xA5A5A5A5;
  knotter::scanJamKeys(knotter::Bytes(header), 1024, keys.msgId, keys.reply, tagHash);
  return keys;
}

Keys squishKeys(const std::string& control) {
  std::vector<std::uint8_t> block(control.begin(), control.end());
  Keys keys;
  knotter::scanKludges(keys.msgId, keys.reply, block.data(), block.data() + block.size(), tagHash);
  return keys;
}

struct KeyCase {
  const char* name;
  std::vector<JamSubfield> subfields;
  std::string control;  // the same kludges as Squish control information
};

TEST(JamSubfields, GiveTheKeysOfTheEquivalentControlInformation) {
  const std::string nul(1, '\0');
  const KeyCase cases[] = {
      {"MSGID and REPLY", {msgIdField("2:5020/1 0000abcd"), replyField("2:5020/2 12345678")},
       "\x01MSGID: 2:5020/1 0000abcd\x01REPLY: 2:5020/2 12345678"},
      {"REPLY first, other subfields around",
       {subjectField("MSGID: 9:9/9 99999999"), replyField("1:2/3 1"), {0, "x"},
        msgIdField("1:2/4 2")},
       "\x01REPLY: 1:2/3 1\x01MSGID: 1:2/4 2"},
      {"MSGID only as a kludge without blank", {ftsKludge("MSGID:1:2/3 0a")},
       "\x01MSGID:1:2/3 0a"},
      {"other kludges end the field before", {ftsKludge("PID: x"), msgIdField("1:2/3 5"),
                                              ftsKludge("TZUTC: 0100")},
       "\x01PID: x\x01MSGID: 1:2/3 5\x01TZUTC: 0100"},
      {"two MSGIDs", {msgIdField("1:2/3 5"), msgIdField("1:2/4 6")},
       "\x01MSGID: 1:2/3 5\x01MSGID: 1:2/4 6"},
      {"NUL bytes in the data", {msgIdField("1:2" + nul + "/3 5"), replyField(nul + "1:2/3 7")},
       "\x01MSGID: 1:2" + nul + "/3 5\x01REPLY: " + nul + "1:2/3 7"},
      {"angle brackets and a long origin",
       {msgIdField("<abc@some.very.long.host.example.org>"), replyField("1:2/3.4@fidonet 3e4a55f1")},
       "\x01MSGID: <abc@some.very.long.host.example.org>\x01REPLY: 1:2/3.4@fidonet 3e4a55f1"},
      {"empty data", {msgIdField(""), replyField("1:2/3 1")}, "\x01MSGID: \x01REPLY: 1:2/3 1"},
      {"no subfields", {}, ""},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Keys jam = jamKeys(c.subfields);
    const Keys squish = squishKeys(c.control);
    EXPECT_EQ(describe(jam.msgId), describe(squish.msgId));
    EXPECT_EQ(describe(jam.reply), describe(squish.reply));
    EXPECT_EQ(squish.msgId.number == 0 && squish.reply.number == 0, c.control.empty());
  }
}

TEST(JamSubfields, ReplyMatchesMsgIdWhateverTheStoredCrcs) {
  const Keys original = jamKeys({msgIdField("1:2/3.4@net 3e4a55f1")});
  const Keys answer = jamKeys({replyField("1:2/3.4 3E4A55F1")});
  EXPECT_NE(original.msgId.number, 0u);
  EXPECT_EQ(describe(original.msgId), describe(answer.reply));
}

TEST(JamSubject, FirstSubjectSubfieldCutTo72BytesAndZeroFilled) {
  const std::string long100(100, 'S');
  const struct {
    const char* name;
    std::vector<JamSubfield> subfields;
    std::string expected;
  } cases[] = {
      {"100 bytes", {subjectField(long100)}, std::string(72, 'S')},
      {"the first of two", {msgIdField("1:2/3 1"), subjectField("Hi"), subjectField("Ho")},
       "Hi" + std::string(70, '\0')},
      {"none", {msgIdField("1:2/3 1")}, std::string(72, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> header = oneHeader(c.subfields);
    std::uint8_t field[knotter::jamSubjectSize];
    std::memset(field, 0xA5, sizeof field);
    knotter::readJamSubject(knotter::Bytes(header), 1024, field);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), sizeof field), c.expected);
  }
}

}  // namespace
}  // namespace ktest
