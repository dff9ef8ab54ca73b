// End-to-end cases of linking by MSGID and REPLY on built bases: duplicate
// identifiers, more replies than slots, reply cycles, and bases whose layout
// differs from the usual one (frame header size, index order).
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/link_notation.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

std::string kludge(const char* name, std::uint32_t serial) {
  char text[48];
  std::snprintf(text, sizeof text, "\x01%s: 2:5020/1 %08x", name, serial);
  return text;
}

// A message with the given MSGID and REPLY serials (none when absent).
MessageSpec message(std::uint32_t umsgid, std::optional<std::uint32_t> msgid,
                    std::optional<std::uint32_t> reply = std::nullopt) {
  MessageSpec layout{.umsgid = umsgid};
  if (msgid) layout.control += kludge("MSGID", *msgid);
  if (reply) layout.control += kludge("REPLY", *reply);
  layout.body = "text of " + std::to_string(umsgid) + "\r";
  return layout;
}

MessageSpec withStaleLinks(MessageSpec layout) {
  layout.replyto = 99;
  layout.replies = {98, 97, 96};
  return layout;
}

struct LinkCase {
  const char* name;
  BaseSpec base;
  char type;
  int changed;
  std::string links;
};

void runCase(const LinkCase& c) {
  SCOPED_TRACE(std::string(c.name) + " -t" + c.type);
  TempDir dir;
  writeBase(c.base, dir.file("area"));
  const std::string before = withoutReplyFields(dir.file("area"));
  RunResult run = runKnotter({"-#area", std::string("-t") + c.type}, dir.path());
  EXPECT_EQ(run.exitCode, c.changed > 0 ? 1 : 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area: " + std::to_string(c.changed) +
                         " of " + std::to_string(c.base.messages.size()) + "\n");
  EXPECT_EQ(describeLinks(dir.file("area")), c.links);
  EXPECT_EQ(withoutReplyFields(dir.file("area")), before);
}

// The lowest umsgid among messages sharing a MSGID is the original, whatever
// the file order; the duplicate gets no replies.
TEST(ReplyLinking, DuplicateMsgIds) {
  BaseSpec base{.messages = {message(5, 0xa), message(2, 0xa), message(7, 0xb, 0xa),
                             withStaleLinks(message(9, 0xc, 0xa))}};
  const LinkCase cases[] = {
      {"duplicates", base, 't', 3, "5: 0 / -; 2: 0 / 7 9; 7: 2 / -; 9: 2 / -"},
      {"duplicates", base, 'f', 3, "5: 0 / -; 2: 0 / 7; 7: 2 / 9; 9: 7 / -"},
      {"duplicates", base, 'r', 3, "5: 0 / -; 2: 0 / 7; 7: 2 / 9; 9: 7 / -"},
  };
  for (const LinkCase& c : cases) runCase(c);
}

// TimEd lists the nine lowest umsgids; every reply still names its original.
TEST(ReplyLinking, TenRepliesInTimEd) {
  BaseSpec base{.messages = {message(1, 0x100)}};
  for (std::uint32_t u = 11; u >= 2; --u) base.messages.push_back(message(u, u, 0x100));
  std::string links = "1: 0 / 2 3 4 5 6 7 8 9 10";
  for (std::uint32_t u = 11; u >= 2; --u) links += "; " + std::to_string(u) + ": 1 / -";
  runCase({"ten replies", base, 't', 11, links});
}

// Messages on a ring of replies are reached from no chain start in Flat and
// Reply: the run must still end, and their stale links are cleared. TimEd
// never links a message back to itself: one answering itself answers
// nothing (6, answering it, is listed as usual), and a ring of two loses the
// link of its lowest umsgid.
TEST(ReplyLinking, ReplyCycles) {
  BaseSpec base{.messages = {message(1, 0x1, 0x2), withStaleLinks(message(2, 0x2, 0x1)),
                             withStaleLinks(message(3, 0x3, 0x3)), message(4, 0x4),
                             message(5, 0x5, 0x4), message(6, 0x6, 0x3)}};
  const std::string chains = "1: 0 / -; 2: 0 / -; 3: 0 / -; 4: 0 / 5; 5: 4 / -; 6: 0 / -";
  const LinkCase cases[] = {
      {"cycles", base, 'f', 4, chains},
      {"cycles", base, 'r', 4, chains},
      {"cycles", base, 't', 6, "1: 0 / 2; 2: 1 / -; 3: 0 / 6; 4: 0 / 5; 5: 4 / -; 6: 3 / -"},
  };
  for (const LinkCase& c : cases) runCase(c);
}

// A ring of three (10 -> 12 -> 11 -> 10, each naming its original) with
// replies hanging off it, entered first through a tail (14 -> 13 -> 11):
// TimEd cuts the ring at 10 and keeps everything else; Flat and Reply leave
// the ring and its descendants unlinked.
TEST(ReplyLinking, RingOfThreeWithDescendants) {
  BaseSpec base{.messages = {message(14, 0xe, 0xd), message(12, 0xc, 0xb), message(10, 0xa, 0xc),
                             message(11, 0xb, 0xa), message(13, 0xd, 0xb)}};
  const std::string none = "14: 0 / -; 12: 0 / -; 10: 0 / -; 11: 0 / -; 13: 0 / -";
  const LinkCase cases[] = {
      {"ring of three", base, 't', 5,
       "14: 13 / -; 12: 11 / -; 10: 0 / 11; 11: 10 / 12 13; 13: 11 / 14"},
      {"ring of three", base, 'f', 0, none},
      {"ring of three", base, 'r', 0, none},
  };
  for (const LinkCase& c : cases) runCase(c);
}

// Two ring members with the same umsgid: the one earlier in the file loses
// its link, whatever the index order.
TEST(ReplyLinking, RingTieGoesByFileOrder) {
  BaseSpec base{.messages = {message(7, 0xa, 0xb), message(7, 0xb, 0xa)}, .indexOrder = {1, 0}};
  runCase({"ring tie", base, 't', 2, "7: 7 / -; 7: 0 / 7"});
}

// The reply_to_reply shape, laid out unusually: the fields must be found and written
// through sz_sqhdr and the index's ofs, not assumed positions, and a umsgid
// comes from the index, not from the message header.
TEST(ReplyLinking, UnusualLayouts) {
  std::vector<MessageSpec> reply_to_reply = {message(10, 0xa), message(11, 0xb, 0xa), message(12, 0xc, 0xa),
                                  message(13, 0xd, 0xb)};
  const std::string timEd = "10: 0 / 11 12; 11: 10 / 13; 12: 10 / -; 13: 11 / -";
  const std::string chain = "10: 0 / 11; 11: 10 / 13; 12: 13 / -; 13: 11 / 12";

  BaseSpec wideHeader{.messages = reply_to_reply, .szSqhdr = 40};
  BaseSpec narrowHeader{.messages = reply_to_reply, .szSqhdr = 24};
  BaseSpec reversedFile{.messages = {reply_to_reply[3], reply_to_reply[2], reply_to_reply[1], reply_to_reply[0]},
                        .indexOrder = {3, 2, 1, 0},
                        .staleEntries = 3};
  BaseSpec shuffledIndex{.messages = reply_to_reply, .indexOrder = {2, 0, 3, 1}};
  BaseSpec oddHeaders{.messages = reply_to_reply};
  oddHeaders.messages[0].headerUmsgid = 12;
  oddHeaders.messages[1].headerUmsgid = 0;
  oddHeaders.messages[2].frameType = 1;  // a free frame is linked like any other
  const LinkCase cases[] = {
      {"sz_sqhdr 40", wideHeader, 't', 4, timEd},
      {"sz_sqhdr 40", wideHeader, 'f', 4, chain},
      {"sz_sqhdr 24", narrowHeader, 'r', 4, chain},
      {"file order reversed", reversedFile, 't', 4, timEd},
      {"file order reversed", reversedFile, 'r', 4, chain},
      {"index shuffled", shuffledIndex, 't', 4,
       "12: 10 / -; 10: 0 / 11 12; 13: 11 / -; 11: 10 / 13"},
      {"index shuffled", shuffledIndex, 'r', 4,
       "12: 13 / -; 10: 0 / 11; 13: 11 / 12; 11: 10 / 13"},
      {"header umsgid and free frame", oddHeaders, 't', 4, timEd},
  };
  for (const LinkCase& c : cases) runCase(c);
}

}  // namespace
}  // namespace ktest
