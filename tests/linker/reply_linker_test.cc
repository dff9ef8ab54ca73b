// The linker core on its own, fed plain messages (offset, number, kludges)
// without any base format: the links it decides, as slots, per link type.
#include "linker/reply_linker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "linker/keyed_hash.h"
#include "linker/kludge_scanner.h"
#include "linker/message_table.h"
#include "linker/origin_texts.h"
#include "linker/run_keys.h"

namespace {

using knotter::Links;
using knotter::noSlot;

struct Message {
  std::uint32_t ofs;
  std::uint32_t number;
  std::string msgId;  // serial; empty: none
  std::string reply;  // serial; empty: none
  std::string msgIdOrigin = "2:5020/1";
  std::string replyOrigin = "2:5020/1";
};

std::string kludges(const Message& m) {
  std::string text;
  if (!m.msgId.empty()) text += "\x01MSGID: " + m.msgIdOrigin + " " + m.msgId;
  if (!m.reply.empty()) text += "\x01REPLY: " + m.replyOrigin + " " + m.reply;
  return text;
}

// Scans a message's kludges again from the texts the table was fed.
class TextRescan final : public knotter::KeyRescan {
 public:
  explicit TextRescan(const std::vector<std::string>& texts) : texts_(texts) {}
  void rescan(std::uint32_t slot, std::uint32_t areaTagHash, knotter::MsgIdKey& msgIdKey,
              knotter::MsgIdKey& replyKey) const override {
    const auto* text = reinterpret_cast<const std::uint8_t*>(texts_[slot].data());
    knotter::scanKludges(msgIdKey, replyKey, text, text + texts_[slot].size(), areaTagHash);
  }
  void prefetch(std::uint32_t) const override {}

 private:
  const std::vector<std::string>& texts_;
};

// Loads the messages, listed in index order, as a format would, and links
// them; with bytewise, each message's kludges are fed one byte at a time.
// The table lives in the scratch buffer, so it is read before the next.
knotter::MessageTable link(const std::vector<Message>& messages, std::int32_t linkType,
                           bool bytewise = false) {
  knotter::buildKludgeTable();
  knotter::MessageTable table;
  const auto count = static_cast<std::uint32_t>(messages.size());
  EXPECT_TRUE(knotter::takeMessageTable(count, 8, table));
  for (std::uint32_t i = 0; i < count; ++i) table.frames[i] = knotter::frameOf(messages[i].ofs, i);
  knotter::orderFrames(table, count);
  std::vector<std::string> texts(count);
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    texts[slot] = kludges(messages[knotter::framePosition(table.frames[slot])]);
  }
  knotter::fillEntries(table, [&](std::uint32_t position) { return messages[position].number; });
  knotter::KeyCollector keys(table, "AREA");
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    const auto* text = reinterpret_cast<const std::uint8_t*>(texts[slot].data());
    if (!bytewise) {
      keys.scan(slot, text, text + texts[slot].size());
      continue;
    }
    keys.start(slot);
    for (std::size_t i = 0; i < texts[slot].size(); ++i) keys.feed(text + i, text + i + 1);
    keys.finish();
  }
  knotter::groupKeys(table, TextRescan(texts));
  knotter::linkReplies(table, linkType);
  return table;
}

// The links of each message as numbers (0 for none), by slot.
std::vector<std::vector<std::uint32_t>> numbers(const knotter::MessageTable& table) {
  auto numberOf = [&](std::uint32_t slot) {
    return slot == noSlot ? 0u : table.entries[slot].number;
  };
  std::vector<std::vector<std::uint32_t>> out;
  for (const Links& l : table.links) {
    out.push_back({numberOf(l.replyTo), numberOf(l.firstReply), numberOf(l.nextReply)});
  }
  return out;
}

TEST(LinkerCore, TimEdListsEveryReplyInNumberOrderBeyondNine) {
  // The index lists the replies out of file order and out of number order.
  std::vector<Message> messages = {{100, 50, "aa", ""}};
  for (std::uint32_t i = 0; i < 12; ++i) {
    messages.push_back({1000 - 10 * i, 60 + (i * 7) % 12, "", "aa"});
  }
  const knotter::MessageTable table = link(messages, knotter::linkTimEd);
  ASSERT_EQ(table.entries[0].number, 50u);  // slot 0 lies first in the file
  std::vector<std::uint32_t> listed;
  for (std::uint32_t r = table.links[0].firstReply; r != noSlot; r = table.links[r].nextReply) {
    listed.push_back(table.entries[r].number);
    EXPECT_EQ(table.links[r].replyTo, 0u);
  }
  std::vector<std::uint32_t> expected;
  for (std::uint32_t n = 60; n < 72; ++n) expected.push_back(n);
  EXPECT_EQ(listed, expected);
}

TEST(LinkerCore, ChainsNameTheMessagesBeforeAndAfterAndNoSiblings) {
  // 10 (a), 11 (b, answers a), 12 (c, answers a), 13 (d, answers b): the
  // chain is 10, 11, 13, 12 for Flat and Reply.
  const std::vector<Message> messages = {
      {100, 10, "a", ""}, {200, 11, "b", "a"}, {300, 12, "c", "a"}, {400, 13, "d", "b"}};
  for (const std::int32_t linkType : {knotter::linkFlat, knotter::linkReply}) {
    for (const bool bytewise : {false, true}) {
      SCOPED_TRACE(testing::Message() << linkType << (bytewise ? " fed bytewise" : ""));
      const std::vector<std::vector<std::uint32_t>> expected = {
          {0, 11, 0}, {10, 13, 0}, {13, 0, 0}, {11, 12, 0}};
      EXPECT_EQ(numbers(link(messages, linkType, bytewise)), expected);
    }
  }
  const std::vector<std::vector<std::uint32_t>> timEd = {
      {0, 11, 0}, {10, 13, 12}, {10, 0, 0}, {11, 0, 0}};
  EXPECT_EQ(numbers(link(messages, knotter::linkTimEd)), timEd);
}

TEST(LinkerCore, TimEdCutsRingsAtTheLowestNumberThenTheFirstInTheFile) {
  // B and A answer each other and share a number: B, first in the file,
  // loses its original. C answers itself and keeps no link at all.
  const std::vector<Message> messages = {
      {300, 5, "a", "b"}, {100, 5, "b", "a"}, {500, 9, "c", "c"}};
  const knotter::MessageTable table = link(messages, knotter::linkTimEd);
  ASSERT_EQ(table.entries[0].ofs, 100u);
  const std::vector<std::vector<std::uint32_t>> slots = {
      {noSlot, 1, noSlot}, {0, noSlot, noSlot}, {noSlot, noSlot, noSlot}};
  for (std::uint32_t slot = 0; slot < 3; ++slot) {
    SCOPED_TRACE(slot);
    const Links& l = table.links[slot];
    EXPECT_EQ((std::vector<std::uint32_t>{l.replyTo, l.firstReply, l.nextReply}), slots[slot]);
  }
}

// Messages that each name two origins of their own (their MSGID's, and a
// REPLY to an original that is not there), so that the table of origin
// texts fills up and later origins are hashed. Message i lies at ofs
// 100 * (i + 1) with number i + 1.
std::vector<Message> manyOrigins(std::uint32_t count) {
  std::vector<Message> messages;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string node = std::to_string(i + 1);
    messages.push_back({100 * (i + 1), i + 1, "00000001", "00000002", "1:" + node + "/1",
                        "3:" + node + "/3"});
  }
  return messages;
}

// Two origin texts whose hashes are the same, found by trying addresses.
std::pair<std::string, std::string> collidingOrigins() {
  std::unordered_map<std::uint32_t, std::string> seen;
  for (std::uint32_t i = 0;; ++i) {
    const std::string origin = "7:" + std::to_string(i) + "/7";
    char text[knotter::msgIdTextSize] = {};
    std::memcpy(text, origin.data(), origin.size());
    const auto [it, added] = seen.emplace(knotter::originTextHash(text), origin);
    if (!added) return {it->second, origin};
  }
}

TEST(LinkerCore, OriginsPastTheTextTableLinkAsTheOthersDo) {
  // 12,000 messages name 24,000 origins; every second one also answers the
  // message before it with that message's MSGID and origin.
  std::vector<Message> messages = manyOrigins(12000);
  for (std::uint32_t i = 1; i < messages.size(); i += 2) {
    messages[i].reply = messages[i - 1].msgId;
    messages[i].replyOrigin = messages[i - 1].msgIdOrigin;
  }
  const knotter::MessageTable table = link(messages, knotter::linkTimEd);
  for (std::uint32_t slot = 0; slot < messages.size(); ++slot) {
    const bool answers = slot % 2 == 1;
    const bool answered = slot % 2 == 0 && slot + 1 < messages.size();
    ASSERT_EQ(table.links[slot].replyTo, answers ? slot - 1 : noSlot) << slot;
    ASSERT_EQ(table.links[slot].firstReply, answered ? slot + 1 : noSlot) << slot;
  }
}

TEST(LinkerCore, HashedOriginsThatCollideStayApart) {
  // Past the filled text table, x and y hash alike. A (x) and D (y) are
  // originals with the same serial; B answers y, C answers x.
  const auto [x, y] = collidingOrigins();
  ASSERT_NE(x, y);
  std::vector<Message> messages = manyOrigins(6000);
  const auto n = static_cast<std::uint32_t>(messages.size());
  messages.push_back({100 * (n + 1), n + 1, "0000abcd", "", x, ""});       // A
  messages.push_back({100 * (n + 2), n + 2, "", "0000abcd", "", y});       // B
  messages.push_back({100 * (n + 3), n + 3, "", "0000abcd", "", x});       // C
  messages.push_back({100 * (n + 4), n + 4, "0000abcd", "", y, ""});       // D
  for (const std::int32_t linkType : {knotter::linkTimEd, knotter::linkReply}) {
    SCOPED_TRACE(linkType);
    const knotter::MessageTable table = link(messages, linkType);
    const std::uint32_t a = n;
    const std::uint32_t b = n + 1;
    const std::uint32_t c = n + 2;
    const std::uint32_t d = n + 3;
    if (linkType == knotter::linkTimEd) {
      EXPECT_EQ(table.links[c].replyTo, a);
      EXPECT_EQ(table.links[a].firstReply, c);
      EXPECT_EQ(table.links[b].replyTo, d);
      EXPECT_EQ(table.links[d].firstReply, b);
    } else {
      EXPECT_EQ(table.links[a].firstReply, c);
      EXPECT_EQ(table.links[c].replyTo, a);
      EXPECT_EQ(table.links[d].firstReply, b);
      EXPECT_EQ(table.links[b].replyTo, d);
    }
  }
}

// count origin texts that the run's key puts in one slot of the text table
// of an area of more than 8192 messages (32768 slots): what mail could send
// if it knew the key.
std::vector<std::string> originsInOneSlot(std::size_t count) {
  std::vector<std::string> origins;
  std::uint64_t place = ~std::uint64_t{0};
  for (std::uint32_t i = 0; origins.size() < count; ++i) {
    const std::string origin = "5:" + std::to_string(i) + "/5";
    char text[knotter::msgIdTextSize] = {};
    std::memcpy(text, origin.data(), origin.size());
    const std::uint64_t slot = knotter::keyedMix(knotter::keyedSum(text, sizeof text)) >> 49;
    if (i == 0) place = slot;
    if (slot == place) origins.push_back(origin);
  }
  return origins;
}

// An area whose keys take every path of grouping under the key of seed 1:
// texts hashed because their probe is too long (first in the file, while
// the table has room), texts numbered by the table, texts hashed past its
// room, and two hashed texts that share their hash. Message i lies at ofs
// 100 * (i + 1) with number i + 1, so its slot is i.
std::vector<Message> areaOfEveryPath() {
  const ktest::ScopedRunKey key(ktest::keyFromSeed(1));
  std::vector<Message> messages;
  for (const std::string& origin : originsInOneSlot(80)) {  // an original and its reply
    messages.push_back({0, 0, "0000beef", "", origin, ""});
    messages.push_back({0, 0, "", "0000beef", "", origin});
  }
  const std::vector<Message> many = manyOrigins(9000);
  for (std::uint32_t i = 0; i < many.size(); ++i) {
    messages.push_back(many[i]);
    Message& m = messages.back();
    const Message& before = many[i > 0 ? i - 1 : 0];
    if (i % 2 == 1) {  // answers the message before it
      m.reply = before.msgId;
      m.replyOrigin = before.msgIdOrigin;
    } else if (i % 10 == 0) {  // a dupe of the message before it
      m.msgId = before.msgId;
      m.msgIdOrigin = before.msgIdOrigin;
    } else if (i % 10 == 4) {  // the serial of an earlier one, with a text of its own
      m.reply = before.msgId;
    }
  }
  const auto [x, y] = collidingOrigins();
  messages.push_back({0, 0, "0000abcd", "", x, ""});
  messages.push_back({0, 0, "", "0000abcd", "", y});
  messages.push_back({0, 0, "", "0000abcd", "", x});
  messages.push_back({0, 0, "0000abcd", "", y, ""});
  for (std::uint32_t i = 0; i < messages.size(); ++i) {
    messages[i].ofs = 100 * (i + 1);
    messages[i].number = i + 1;
  }
  return messages;
}

TEST(LinkerCore, LinksDoNotDependOnTheRunKey) {
  const std::vector<Message> messages = areaOfEveryPath();
  for (const std::int32_t linkType : {knotter::linkTimEd, knotter::linkFlat, knotter::linkReply}) {
    SCOPED_TRACE(linkType);
    std::vector<std::vector<std::vector<std::uint32_t>>> links;
    for (const std::uint64_t seed : {1, 2, 3}) {
      const ktest::ScopedRunKey key(ktest::keyFromSeed(seed));
      links.push_back(numbers(link(messages, linkType)));
    }
    EXPECT_EQ(links[0], links[1]);
    EXPECT_EQ(links[0], links[2]);
    for (std::uint32_t slot = 0; slot < 160; slot += 2) {  // each reply and its original
      ASSERT_EQ(links[0][slot + 1][0], slot + 1) << slot;
      ASSERT_EQ(links[0][slot][1], slot + 2) << slot;
    }
  }
}

}  // namespace
