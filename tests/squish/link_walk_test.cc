// Readers follow replyto up and replies[] down without remembering where
// they have been. On random bases full of duplicate MSGIDs, self-replies and
// rings of replies, every link type must leave fields on which both walks end
// from every message, and on which a listed reply names its original.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

constexpr int baseCount = 24;
constexpr std::uint32_t messageCount = 40;
constexpr std::uint32_t serials = 12;  // few identifiers, so that they repeat and form rings

std::string kludge(const char* name, std::uint32_t serial) {
  char text[48];
  std::snprintf(text, sizeof text, "\x01%s: 2:5020/1 %08x", name, serial);
  return text;
}

// Messages with shuffled umsgids 1..messageCount; most have a MSGID and a
// REPLY drawn from a small set of serials (0 = none).
struct RandomBase {
  BaseSpec layout;
  std::vector<std::uint32_t> msgid, reply;  // per message, file order
};

RandomBase randomBase(std::mt19937& random) {
  RandomBase base;
  std::vector<std::uint32_t> umsgids;
  for (std::uint32_t u = 1; u <= messageCount; ++u) umsgids.push_back(u);
  std::shuffle(umsgids.begin(), umsgids.end(), random);
  std::uniform_int_distribution<std::uint32_t> serial(0, serials);
  for (const std::uint32_t umsgid : umsgids) {
    MessageSpec message{.umsgid = umsgid, .subject = "S", .replyto = umsgid, .replies = {umsgid}};
    base.msgid.push_back(serial(random));
    base.reply.push_back(serial(random));
    if (base.msgid.back() != 0) message.control += kludge("MSGID", base.msgid.back());
    if (base.reply.back() != 0) message.control += kludge("REPLY", base.reply.back());
    base.layout.messages.push_back(message);
  }
  return base;
}

// True when following each message to the one its REPLY names (the lowest
// umsgid carrying that MSGID) comes back round for some message.
bool hasRing(const RandomBase& base) {
  std::map<std::uint32_t, std::size_t> original;  // serial -> message
  for (std::size_t m = 0; m < base.msgid.size(); ++m) {
    auto [it, added] = original.emplace(base.msgid[m], m);
    if (!added && base.layout.messages[m].umsgid < base.layout.messages[it->second].umsgid) it->second = m;
  }
  for (std::size_t start = 0; start < base.reply.size(); ++start) {
    std::size_t m = start;
    for (std::uint32_t step = 0; step < messageCount; ++step) {
      const auto it = original.find(base.reply[m]);
      if (base.reply[m] == 0 || it == original.end()) break;
      m = it->second;
      if (m == start) return true;
    }
  }
  return false;
}

// Walks up and down from every message of the linked base.
void expectWalksEnd(const std::filesystem::path& basePath) {
  std::map<std::uint32_t, ReplyFields> byUmsgid;
  for (std::size_t i = 0; i < messageCount; ++i) {
    byUmsgid[readIndexEntry(basePath, i).umsgid] = readReplyFields(basePath, i);
  }
  for (const auto& [start, fields] : byUmsgid) {
    std::set<std::uint32_t> seen{start};
    for (std::uint32_t up = fields.replyto; up != 0; up = byUmsgid.at(up).replyto) {
      ASSERT_TRUE(byUmsgid.count(up) == 1 && seen.insert(up).second) << "up from " << start;
    }
    seen = {start};
    std::vector<std::uint32_t> below{start};
    while (!below.empty()) {
      const std::uint32_t at = below.back();
      below.pop_back();
      for (const std::uint32_t reply : byUmsgid.at(at).replies) {
        if (reply == 0) continue;
        ASSERT_TRUE(byUmsgid.count(reply) == 1 && seen.insert(reply).second) << "down from " << start;
        EXPECT_EQ(byUmsgid.at(reply).replyto, at);
        below.push_back(reply);
      }
    }
  }
}

TEST(LinkWalks, EndFromEveryMessageOfRandomBases) {
  std::mt19937 random(20240601);
  TempDir dir;
  std::string config;
  int withRings = 0;
  for (int b = 0; b < baseCount; ++b) {
    const RandomBase base = randomBase(random);
    withRings += hasRing(base) ? 1 : 0;
    const std::string tag = "b" + std::to_string(b);
    writeBase(base.layout, dir.file(tag));
    config += "EchoArea " + tag + " " + tag + "\n";
  }
  ASSERT_GE(withRings, baseCount / 2);  // the case the walks are about
  writeFile(dir.file("areas.cfg"), config);
  for (const char* type : {"-tt", "-tf", "-tr"}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(runKnotter({type, "areas.cfg"}, dir.path()).exitCode, 1);
    for (int b = 0; b < baseCount; ++b) {
      SCOPED_TRACE("base " + std::to_string(b));
      expectWalksEnd(dir.file("b" + std::to_string(b)));
    }
  }
}

}  // namespace
}  // namespace ktest
