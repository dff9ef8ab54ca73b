// The linker core at its interface, fed an area in memory without any base
// format: the link fields it has the sink store, per link type, for the
// messages, holes and messages that take no part that a format lists.
#include "linker/link_area.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "linker/keyed_hash.h"
#include "linker/origin_texts.h"
#include "linker/run_keys.h"
#include "support/memory_area.h"

namespace ktest {
namespace {

using knotter::LinkShape;
using knotter::LinkType;
using knotter::MessageState;

// A format with one reply field and a sibling field, which shows every
// decision of the core: replyTo, the first reply, the next sibling.
constexpr LinkShape withSiblings{1, true, 0xFFFFFFFF};

struct Message {
  std::uint32_t locator;
  std::uint32_t number;
  std::string msgId;  // serial; empty: none
  std::string reply;  // serial; empty: none
  std::string msgIdOrigin = "2:5020/1";
  std::string replyOrigin = "2:5020/1";
};

MemoryMessage memory(const Message& m) {
  MemoryMessage out;
  out.locator = m.locator;
  out.number = m.number;
  if (!m.msgId.empty()) out.kludges += "\x01MSGID: " + m.msgIdOrigin + " " + m.msgId;
  if (!m.reply.empty()) out.kludges += "\x01REPLY: " + m.replyOrigin + " " + m.reply;
  return out;
}

MemoryArea areaOf(const std::vector<Message>& messages, LinkShape shape = withSiblings) {
  std::vector<MemoryMessage> listed;
  for (const Message& m : messages) listed.push_back(memory(m));
  return MemoryArea(std::move(listed), shape);
}

// replyTo, the first reply and the next sibling of each message, in index order.
std::vector<std::vector<std::uint32_t>> fieldsOf(const MemoryArea& area) {
  std::vector<std::vector<std::uint32_t>> out;
  for (const MemoryMessage& m : area.messages) {
    if (!m.hole) out.push_back({m.fields.replyTo, m.fields.replies[0], m.fields.nextReply});
  }
  return out;
}

TEST(LinkArea, TimEdListsEveryReplyInNumberOrderBeyondNine) {
  // The index lists the replies out of file order and out of number order.
  std::vector<Message> messages = {{100, 50, "aa", ""}};
  for (std::uint32_t i = 0; i < 12; ++i) {
    messages.push_back({1000 - 10 * i, 60 + (i * 7) % 12, "", "aa"});
  }
  MemoryArea area = areaOf(messages);
  const knotter::LinkOutcome outcome = linkMemory(area, LinkType::timEd);
  ASSERT_TRUE(outcome.linked);
  EXPECT_EQ(outcome.counts.changed, 13u);
  EXPECT_EQ(outcome.counts.total, 13u);
  std::vector<std::uint32_t> listed;
  for (std::uint32_t r = area.byNumber(50).fields.replies[0]; r != 0;
       r = area.byNumber(r).fields.nextReply) {
    listed.push_back(r);
    EXPECT_EQ(area.byNumber(r).fields.replyTo, 50u);
  }
  std::vector<std::uint32_t> expected;
  for (std::uint32_t n = 60; n < 72; ++n) expected.push_back(n);
  EXPECT_EQ(listed, expected);
}

TEST(LinkArea, ChainsNameTheMessagesBeforeAndAfterAndNoSiblings) {
  // 10 (a), 11 (b, answers a), 12 (c, answers a), 13 (d, answers b): the
  // chain is 10, 11, 13, 12 for Flat and Reply.
  const std::vector<Message> messages = {
      {100, 10, "a", ""}, {200, 11, "b", "a"}, {300, 12, "c", "a"}, {400, 13, "d", "b"}};
  for (const LinkType type : {LinkType::flat, LinkType::reply}) {
    for (const bool bytewise : {false, true}) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(type) << (bytewise ? " bytewise" : ""));
      MemoryArea area = areaOf(messages);
      area.bytewise = bytewise;
      ASSERT_TRUE(linkMemory(area, type).linked);
      const std::vector<std::vector<std::uint32_t>> expected = {
          {0, 11, 0}, {10, 13, 0}, {13, 0, 0}, {11, 12, 0}};
      EXPECT_EQ(fieldsOf(area), expected);
    }
  }
  MemoryArea area = areaOf(messages);
  ASSERT_TRUE(linkMemory(area, LinkType::timEd).linked);
  const std::vector<std::vector<std::uint32_t>> timEd = {
      {0, 11, 0}, {10, 13, 12}, {10, 0, 0}, {11, 0, 0}};
  EXPECT_EQ(fieldsOf(area), timEd);
}

TEST(LinkArea, TimEdCutsRingsAtTheLowestNumberThenTheFirstInTheFile) {
  // B and A answer each other and share a number: B, first in the file,
  // loses its original. C answers itself and keeps no link at all.
  MemoryArea area = areaOf({{300, 5, "a", "b"}, {100, 5, "b", "a"}, {500, 9, "c", "c"}});
  ASSERT_TRUE(linkMemory(area, LinkType::timEd).linked);
  const std::vector<std::vector<std::uint32_t>> expected = {{5, 0, 0}, {0, 5, 0}, {0, 0, 0}};
  EXPECT_EQ(fieldsOf(area), expected);
}

TEST(LinkArea, DuplicatesAndMissingOriginals) {
  // 5 and 2 share a MSGID: 2, the lower number, is the original. 7 and 9
  // answer an original that is not there: Reply chains them, Flat does not.
  const std::vector<Message> messages = {
      {100, 5, "a", ""}, {200, 2, "a", ""}, {300, 3, "", "a"}, {400, 7, "", "z"}, {500, 9, "", "z"}};
  struct Case {
    LinkType type;
    std::vector<std::vector<std::uint32_t>> fields;
  };
  const Case cases[] = {
      {LinkType::timEd, {{0, 0, 0}, {0, 3, 0}, {2, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      {LinkType::flat, {{0, 0, 0}, {0, 3, 0}, {2, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      {LinkType::reply, {{0, 0, 0}, {0, 3, 0}, {2, 0, 0}, {0, 9, 0}, {7, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    MemoryArea area = areaOf(messages);
    ASSERT_TRUE(linkMemory(area, c.type).linked);
    EXPECT_EQ(fieldsOf(area), c.fields);
  }
}

// Messages that each name two origins of their own (their MSGID's, and a
// REPLY to an original that is not there), so that the table of origin
// texts fills up and later origins are hashed. Message i lies at locator
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

TEST(LinkArea, OriginsPastTheTextTableLinkAsTheOthersDo) {
  // 12,000 messages name 24,000 origins; every second one also answers the
  // message before it with that message's MSGID and origin.
  std::vector<Message> messages = manyOrigins(12000);
  for (std::uint32_t i = 1; i < messages.size(); i += 2) {
    messages[i].reply = messages[i - 1].msgId;
    messages[i].replyOrigin = messages[i - 1].msgIdOrigin;
  }
  MemoryArea area = areaOf(messages);
  ASSERT_TRUE(linkMemory(area, LinkType::timEd).linked);
  for (std::uint32_t i = 0; i < messages.size(); ++i) {
    const bool answers = i % 2 == 1;
    const bool answered = i % 2 == 0 && i + 1 < messages.size();
    ASSERT_EQ(area.messages[i].fields.replyTo, answers ? i : 0u) << i;
    ASSERT_EQ(area.messages[i].fields.replies[0], answered ? i + 2 : 0u) << i;
  }
}

TEST(LinkArea, HashedOriginsThatCollideStayApart) {
  // Past the filled text table, x and y hash alike. A (x) and D (y) are
  // originals with the same serial; B answers y, C answers x.
  const auto [x, y] = collidingOrigins();
  ASSERT_NE(x, y);
  std::vector<Message> messages = manyOrigins(6000);
  const auto n = static_cast<std::uint32_t>(messages.size());
  const std::uint32_t a = n + 1, b = n + 2, c = n + 3, d = n + 4;
  messages.push_back({100 * a, a, "0000abcd", "", x, ""});
  messages.push_back({100 * b, b, "", "0000abcd", "", y});
  messages.push_back({100 * c, c, "", "0000abcd", "", x});
  messages.push_back({100 * d, d, "0000abcd", "", y, ""});
  for (const LinkType type : {LinkType::timEd, LinkType::reply}) {
    SCOPED_TRACE(static_cast<int>(type));
    MemoryArea area = areaOf(messages);
    ASSERT_TRUE(linkMemory(area, type).linked);
    EXPECT_EQ(area.byNumber(c).fields.replyTo, a);
    EXPECT_EQ(area.byNumber(a).fields.replies[0], c);
    EXPECT_EQ(area.byNumber(b).fields.replyTo, d);
    EXPECT_EQ(area.byNumber(d).fields.replies[0], b);
  }
}

// The original 1 and its replies 2 and 3, where the format says that 2
// takes no part, as given, behind a hole in the index; stale links
// everywhere.
MemoryArea withOneThatTakesNoPart(MessageState state) {
  MemoryArea area = areaOf({{100, 1, "a", ""}, {200, 2, "b", "a"}, {300, 3, "c", "a"}});
  area.messages[1].state = state;
  for (MemoryMessage& m : area.messages) m.fields = {7, {8}, 9};
  MemoryMessage hole;
  hole.hole = true;
  area.messages.insert(area.messages.begin() + 1, hole);
  return area;
}

TEST(LinkArea, MessagesThatTakeNoPart) {
  for (const LinkType type : {LinkType::timEd, LinkType::reply, LinkType::subj}) {
    SCOPED_TRACE(static_cast<int>(type));
    // Cleared: it answers nothing and is answered by nothing, but its
    // fields are cleared and it counts.
    MemoryArea cleared = withOneThatTakesNoPart(MessageState::cleared);
    const knotter::LinkOutcome outcome = linkMemory(cleared, type);
    ASSERT_TRUE(outcome.linked);
    EXPECT_EQ(outcome.counts.total, 3u);
    EXPECT_EQ(outcome.counts.changed, 3u);
    EXPECT_EQ(cleared.byNumber(2).fields.replyTo, 0u);
    EXPECT_EQ(cleared.byNumber(2).fields.replies[0], 0u);
    EXPECT_EQ(cleared.byNumber(1).fields.replies[0], 3u);
    // Untouched: never stored, not counted, never named by another.
    MemoryArea untouched = withOneThatTakesNoPart(MessageState::untouched);
    const knotter::LinkOutcome left = linkMemory(untouched, type);
    ASSERT_TRUE(left.linked);
    EXPECT_EQ(left.counts.total, 2u);
    EXPECT_EQ(left.counts.changed, 2u);
    EXPECT_EQ(untouched.stored, (std::vector<std::uint32_t>{1, 3}));
    EXPECT_EQ(untouched.byNumber(2).fields.replyTo, 7u);
    EXPECT_EQ(untouched.byNumber(1).fields.replies[0], 3u);
    EXPECT_EQ(untouched.byNumber(3).fields.replyTo, 1u);
  }
}

TEST(LinkArea, SubjChainsInIndexOrderAndDecidesOnlyTheFirstReplySlot) {
  // The index order is 30, 10, 20 by locator and 1, 2, 3 by position; the
  // chain follows the index. The other reply slots keep what they held; a
  // sibling field is cleared.
  std::vector<MemoryMessage> messages;
  for (const auto& [locator, subject] : std::vector<std::pair<std::uint32_t, std::string>>{
           {30, "Re: Hello"}, {10, "Hello"}, {20, "RE: Hello"}, {40, "Other"}}) {
    MemoryMessage m;
    m.locator = locator;
    m.number = static_cast<std::uint32_t>(messages.size() + 1);
    m.subject = subject;
    m.fields = {9, {9, 8, 7}, 6};
    messages.push_back(m);
  }
  MemoryArea squishLike(messages, {knotter::maxReplySlots, false, 0xFFFFFFFF});
  ASSERT_TRUE(linkMemory(squishLike, LinkType::subj).linked);
  EXPECT_EQ(squishLike.stored, (std::vector<std::uint32_t>{2, 3, 1, 4}));  // by locator
  const std::vector<std::vector<std::uint32_t>> chain = {{0, 2, 6}, {1, 3, 6}, {2, 0, 6}, {0, 0, 6}};
  EXPECT_EQ(fieldsOf(squishLike), chain);
  EXPECT_EQ(squishLike.byNumber(1).fields.replies[1], 8u);

  MemoryArea jamLike(messages, withSiblings);
  ASSERT_TRUE(linkMemory(jamLike, LinkType::subj).linked);
  const std::vector<std::vector<std::uint32_t>> cleared = {{0, 2, 0}, {1, 3, 0}, {2, 0, 0}, {0, 0, 0}};
  EXPECT_EQ(fieldsOf(jamLike), cleared);
}

TEST(LinkArea, AStoreThatFailsEndsTheArea) {
  for (const LinkType type : {LinkType::reply, LinkType::subj}) {
    SCOPED_TRACE(static_cast<int>(type));
    MemoryArea area = areaOf({{100, 1, "a", ""}, {200, 2, "", "a"}, {300, 3, "", "a"}});
    for (MemoryMessage& m : area.messages) m.subject = "same";
    area.failStoreAt = 2;
    const knotter::LinkOutcome outcome = linkMemory(area, type);
    EXPECT_FALSE(outcome.linked);
    EXPECT_EQ(outcome.counts.changed, 0u);
    EXPECT_EQ(area.stored, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(area.finishedWith, 0xFFFFFFFFu);  // never finished
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
// room, and two hashed texts that share their hash. Message i lies at
// locator 100 * (i + 1) with number i + 1.
std::vector<Message> areaOfEveryPath() {
  const ScopedRunKey key(keyFromSeed(1));
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
    messages[i].locator = 100 * (i + 1);
    messages[i].number = i + 1;
  }
  return messages;
}

TEST(LinkArea, LinksDoNotDependOnTheRunKey) {
  const std::vector<Message> messages = areaOfEveryPath();
  for (const LinkType type : {LinkType::timEd, LinkType::flat, LinkType::reply}) {
    SCOPED_TRACE(static_cast<int>(type));
    std::vector<std::vector<std::vector<std::uint32_t>>> links;
    for (const std::uint64_t seed : {1, 2, 3}) {
      const ScopedRunKey key(keyFromSeed(seed));
      MemoryArea area = areaOf(messages);
      ASSERT_TRUE(linkMemory(area, type).linked);
      links.push_back(fieldsOf(area));
    }
    EXPECT_EQ(links[0], links[1]);
    EXPECT_EQ(links[0], links[2]);
    for (std::uint32_t i = 0; i < 160; i += 2) {  // each reply and its original
      ASSERT_EQ(links[0][i + 1][0], i + 1) << i;
      ASSERT_EQ(links[0][i][1], i + 2) << i;
    }
  }
}

TEST(LinkArea, AnAreaLinkedAlreadyStoresNothing) {
  MemoryArea area = areaOf({{100, 1, "a", ""}, {200, 2, "", "a"}});
  ASSERT_TRUE(linkMemory(area, LinkType::timEd).linked);
  area.stored.clear();
  const knotter::LinkOutcome again = linkMemory(area, LinkType::timEd);
  ASSERT_TRUE(again.linked);
  EXPECT_EQ(again.counts.changed, 0u);
  EXPECT_TRUE(area.stored.empty());
  EXPECT_EQ(area.finishedWith, 0u);
}

}  // namespace
}  // namespace ktest
