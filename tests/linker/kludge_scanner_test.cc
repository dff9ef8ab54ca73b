#include "linker/kludge_scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

using knotter::MsgIdKey;

constexpr std::uint32_t tagHash = 0x12345678;
constexpr std::uint32_t abcHash = 0xF547AD32;  // MsgIdHash("abc")

struct Expected {
  std::uint32_t number = 0;
  std::string text;  // compared with all 24 bytes: the tail must be zero
};

struct ScanCase {
  const char* name;
  std::string control;
  Expected msgId;
  Expected reply;
};

// Scans a copy of control held in a block of exactly its size, so that the
// sanitizer build catches any read past the end.
void scan(const std::string& control, MsgIdKey& msgId, MsgIdKey& reply) {
  auto block = std::make_unique<std::uint8_t[]>(control.size());
  std::memcpy(block.get(), control.data(), control.size());
  // Poison the keys, as a reused work block would be.
  for (MsgIdKey* key : {&msgId, &reply}) {
    key->number = 0xA5A5A5A5;
    std::memset(key->text, 0xA5, sizeof key->text);
  }
  knotter::scanKludges(msgId, reply, block.get(), block.get() + control.size(), tagHash);
}

void expectKey(const MsgIdKey& key, const Expected& expected, const char* which) {
  SCOPED_TRACE(which);
  EXPECT_EQ(key.number, expected.number) << std::hex << key.number;
  char text[knotter::msgIdTextSize] = {};
  ASSERT_LT(expected.text.size(), sizeof text);
  std::memcpy(text, expected.text.data(), expected.text.size());
  EXPECT_EQ(std::string(key.text, sizeof key.text), std::string(text, sizeof text));
}

const std::string s = "\x01";  // SOH

const ScanCase scanCases[] = {
    {"no control information", "", {}, {}},
    {"address form with domain", s + "MSGID: 1:2/3.4@net 3e4a55f1", {0x3E4A55F1, "1:2/3.4"}, {}},
    {"reply in upper case hex", s + "REPLY: 1:2/3.4 3E4A55F1", {}, {0x3E4A55F1, "1:2/3.4"}},
    {"both, back to back",
     s + "MSGID: 2:5020/1 12345678" + s + "REPLY: 2:5020/2 abcdef01",
     {0x12345678, "2:5020/1"},
     {0xABCDEF01, "2:5020/2"}},
    {"both, CR terminated, other kludges between",
     s + "PID: x 1\r" + s + "REPLY: 1:2/4 ee\r" + s + "TZUTC: 0100\r" + s + "MSGID: 1:2/3 ff\r",
     {0xFF, "1:2/3"},
     {0xEE, "1:2/4"}},
    {"origin cut at 23 characters",
     s + "MSGID: 12345678901234567890123XYZ 1a",
     {0x1A, "12345678901234567890123"},
     {}},
    {"origin of exactly 23 characters",
     s + "MSGID: 12345678901234567890123 1a",
     {0x1A, "12345678901234567890123"},
     {}},
    {"serial followed by NULs",
     s + "MSGID: 1:2/3 abcd" + std::string(3, '\0'),
     {0xABCD000, "1:2/3"},
     {}},
    {"tabs after the colon are skipped", s + "MSGID:\t \t1:2/3 ff", {0xFF, "1:2/3"}, {}},
    {"tab between origin and serial joins them", s + "MSGID: 1:2/3\tff", {0, "1:2/3\tff"}, {}},
    {"SOH after a partial name hides the kludge", s + "M" + s + "MSGID: 1:2/3 ff", {}, {}},
    {"a mismatching ordinary byte does not",
     s + "MSGIX" + s + "MSGID: 1:2/3 ff",
     {0xFF, "1:2/3"},
     {}},
    {"lower case name", s + "msgid: 1:2/3 ff", {}, {}},
    {"blank before the colon", s + "MSGID : 1:2/3 ff", {}, {}},
    {"name without SOH", "MSGID: 1:2/3 ff", {}, {}},
    {"NUL in the origin ends its text",
     s + "MSGID: ab" + std::string(1, '\0') + "cd 12",
     {0x12, "ab"},
     {}},
    {"nine digits keep the first eight", s + "MSGID: a 123456789", {0x12345678, "a"}, {}},
    {"any byte is a digit", s + "MSGID: a zZ\x80\t", {0x3309, "a"}, {}},
    {"angle bracket form",
     s + "MSGID: <abc@example.com> 1234",
     {abcHash ^ tagHash, "example.com"},
     {}},
    {"angle bracket without domain", s + "REPLY: <abc> 12", {}, {abcHash ^ tagHash, ""}},
    {"text before the angle bracket", s + "MSGID: x<abc@d", {abcHash ^ tagHash, "xd"}, {}},
    {"end inside the local part", s + "MSGID: <abc", {}, {}},
    {"end right after the colon", s + "MSGID:", {}, {}},
    {"a second name at the very end keeps the first value",
     s + "MSGID: ab 1" + s + "MSGID:",
     {0x1, "ab"},
     {}},
    {"end inside the origin", s + "MSGID: 1:2/3", {0, "1:2/3"}, {}},
    {"second MSGID rewrites text, shifts number",
     s + "MSGID: longorigin12345 1234" + s + "MSGID: ab 56",
     {0x123456, "ab"},
     {}},
    {"scan stops once both were seen",
     s + "MSGID: a 1" + s + "REPLY: b 2" + s + "MSGID: c 3",
     {0x1, "a"},
     {0x2, "b"}},
};

TEST(KludgeScanner, ScansTableOfControlBlocks) {
  for (const ScanCase& c : scanCases) {
    SCOPED_TRACE(c.name);
    MsgIdKey msgId;
    MsgIdKey reply;
    scan(c.control, msgId, reply);
    expectKey(msgId, c.msgId, "MSGID");
    expectKey(reply, c.reply, "REPLY");
  }
}

// Every prefix of a busy block must scan without reading past its end.
TEST(KludgeScanner, EveryTruncationStaysInBounds) {
  const std::string control = s + "MSGID: <x.y@host.example> 0a0b0c0d\r" + s + "M" + s +
                              "REPLY:\t1:2/3@fidonet 1234abcd" + std::string(2, '\0');
  for (std::size_t length = 0; length <= control.size(); ++length) {
    SCOPED_TRACE(length);
    MsgIdKey msgId;
    MsgIdKey reply;
    scan(control.substr(0, length), msgId, reply);
    EXPECT_LE(std::strlen(msgId.text), 23u);
    EXPECT_LE(std::strlen(reply.text), 23u);
  }
}

// Scans control in two pieces, cut at `cut`, and then in one-byte pieces.
void scanCutAt(const std::string& control, std::size_t cut, MsgIdKey& msgId, MsgIdKey& reply) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(control.data());
  knotter::KludgeScan scan;
  knotter::startKludgeScan(scan, msgId, reply, tagHash);
  knotter::feedKludgeScan(scan, bytes, bytes + cut);
  knotter::feedKludgeScan(scan, bytes + cut, bytes + control.size());
  knotter::finishKludgeScan(scan);
}

void expectSameKeys(const MsgIdKey& a, const MsgIdKey& b) {
  EXPECT_EQ(a.number, b.number);
  EXPECT_EQ(std::string(a.text, sizeof a.text), std::string(b.text, sizeof b.text));
}

// A field, a kludge name or a pending "MSGID:" may span the cut; every cut of
// every case gives the keys of the whole block.
TEST(KludgeScanner, PiecesScanAsTheirConcatenation) {
  for (const ScanCase& c : scanCases) {
    SCOPED_TRACE(c.name);
    MsgIdKey wholeMsgId;
    MsgIdKey wholeReply;
    scan(c.control, wholeMsgId, wholeReply);
    for (std::size_t cut = 0; cut <= c.control.size(); ++cut) {
      SCOPED_TRACE(cut);
      MsgIdKey msgId;
      MsgIdKey reply;
      scanCutAt(c.control, cut, msgId, reply);
      expectSameKeys(msgId, wholeMsgId);
      expectSameKeys(reply, wholeReply);
    }
  }
}

// Kludges kept as separate records are fed as "SOH MSGID: " and the value,
// each record's SOH ending the previous field. The state carries over, so a
// value without a closing blank runs on into the next record as it would in
// one block.
TEST(KludgeScanner, RecordsFedOneAfterTheOther) {
  // After "@" the word is skipped up to the next blank, through the next
  // record's name; its origin then becomes the serial.
  const std::string pieces[] = {s + "MSGID: ", "1:2/3@net", s + "REPLY: ", "1:2/4 ee",
                                s + "REPLY: ", "1:2/5 dd",  s + "MSGID: ", "2:5/6 ff"};
  knotter::KludgeScan records;
  MsgIdKey msgId;
  MsgIdKey reply;
  knotter::startKludgeScan(records, msgId, reply, tagHash);
  std::string whole;
  bool more = true;
  for (const std::string& piece : pieces) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(piece.data());
    more = knotter::feedKludgeScan(records, bytes, bytes + piece.size());
    whole += piece;
  }
  knotter::finishKludgeScan(records);
  EXPECT_FALSE(more);  // both were seen: the rest changes nothing
  expectKey(msgId, {0x132F4, "1:2/3"}, "MSGID");  // "1:2/4" as digits
  expectKey(reply, {0xDD, "1:2/5"}, "REPLY");
  MsgIdKey wholeMsgId;
  MsgIdKey wholeReply;
  scan(whole, wholeMsgId, wholeReply);
  expectSameKeys(msgId, wholeMsgId);
  expectSameKeys(reply, wholeReply);
}

TEST(MsgIdHash, KnownValues) {
  EXPECT_EQ(knotter::MsgIdHash(""), 0u);
  EXPECT_EQ(knotter::MsgIdHash("abc"), abcHash);
  // A high byte widens with its sign, which hides the position multiplier.
  EXPECT_EQ(knotter::MsgIdHash("\xff"), 0x1u);
  EXPECT_EQ(knotter::MsgIdHash("a\xe0z"), 0x1E605844u);
}

TEST(KludgeScanner, TableCells) {
  const auto& t = knotter::kludgeTable;
  EXPECT_EQ(t[0][0x01], 1);
  EXPECT_EQ(t[0]['M'], 0);
  EXPECT_EQ(t[1]['M'], 2);
  EXPECT_EQ(t[1]['R'], 7);
  EXPECT_EQ(t[1][0x01], 0);
  EXPECT_EQ(t[6][':'], 18);
  EXPECT_EQ(t[11][':'], 19);
  EXPECT_EQ(t[12]['\t'], 12);
  EXPECT_EQ(t[12]['\r'], 17);
  EXPECT_EQ(t[13]['\r'], 13);
  EXPECT_EQ(t[14]['\t'], 14);
  EXPECT_EQ(t[14]['<'], 23);
  EXPECT_EQ(t[14][' '], 21);
  EXPECT_EQ(t[15][0x01], 22);
  EXPECT_EQ(t[15]['\t'], 15);
  EXPECT_EQ(t[16]['>'], 24);
  EXPECT_EQ(t[16][0xFF], 16);
}

}  // namespace
