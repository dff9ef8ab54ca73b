// The linker core on its own, fed plain messages (offset, number, kludges)
// without any base format: the links it decides, as slots, per link type.
#include "linker/reply_linker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings.h"
#include "linker/kludge_scanner.h"
#include "linker/message_table.h"

namespace {

using knotter::Links;
using knotter::noSlot;

struct Message {
  std::uint32_t ofs;
  std::uint32_t number;
  std::string msgId;  // empty: none
  std::string reply;  // empty: none
};

std::string kludges(const Message& m) {
  std::string text;
  if (!m.msgId.empty()) text += "\x01MSGID: 2:5020/1 " + m.msgId;
  if (!m.reply.empty()) text += "\x01REPLY: 2:5020/1 " + m.reply;
  return text;
}

// Loads the messages, listed in index order, as a format would, and links
// them; with bytewise, each message's kludges are fed one byte at a time.
// The table lives in the scratch buffer, so it is read before the next.
knotter::MessageTable link(const std::vector<Message>& messages, std::int32_t linkType,
                           bool bytewise = false) {
  knotter::buildKludgeTable();
  knotter::MessageTable table;
  const auto count = static_cast<std::uint32_t>(messages.size());
  EXPECT_TRUE(knotter::takeMessageTable(count, 0, table));
  for (std::uint32_t i = 0; i < count; ++i) table.frames[i] = knotter::frameOf(messages[i].ofs, i);
  knotter::orderFrames(table, count);
  std::vector<std::string> texts(count);
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    const Message& m = messages[knotter::framePosition(table.frames[slot])];
    table.entries[slot] = {m.ofs, m.number};
    texts[slot] = kludges(m);
  }
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
  knotter::sortKeys(table);
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

}  // namespace
