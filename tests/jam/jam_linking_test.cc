// End-to-end linking of JAM bases built by the test builder: each link type
// gives the links it gives a Squish base of the same messages, TimEd as one
// reply list without a limit, numbers by .jdx position, deleted messages,
// and what is and is not written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/jam_base_builder.h"
#include "support/link_notation.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// One message of a scenario: the serials of its MSGID and REPLY (0 for
// none) and its subject.
struct Note {
  std::uint32_t msgId = 0;
  std::uint32_t reply = 0;
  std::string subject{};
};

std::string identifier(std::uint32_t serial) {
  char text[32];
  std::snprintf(text, sizeof text, "2:5020/1 %08x", serial);
  return text;
}

JamMessageSpec jamMessage(const Note& note) {
  JamMessageSpec message;
  if (note.msgId != 0) message.subfields.push_back(msgIdField(identifier(note.msgId)));
  if (note.reply != 0) message.subfields.push_back(replyField(identifier(note.reply)));
  if (!note.subject.empty()) message.subfields.push_back(subjectField(note.subject));
  return message;
}

MessageSpec squishMessage(const Note& note, std::uint32_t umsgid) {
  MessageSpec message{.umsgid = umsgid, .subject = note.subject};
  if (note.msgId != 0) message.control += "\x01MSGID: " + identifier(note.msgId);
  if (note.reply != 0) message.control += "\x01REPLY: " + identifier(note.reply);
  return message;
}

JamBaseSpec jamBase(const std::vector<Note>& notes) {
  JamBaseSpec layout;
  for (const Note& note : notes) layout.messages.push_back(jamMessage(note));
  return layout;
}

RunResult linkJam(const TempDir& dir, char type, const std::string& name = "area") {
  return runKnotter({"-#" + name + ".jhr", std::string("-t") + type}, dir.path());
}

std::string result(const std::string& tag, std::uint32_t changed, std::uint32_t total) {
  return banner + "Linking areas\nLinking " + tag + ": " + std::to_string(changed) + " of " +
         std::to_string(total) + "\n";
}

struct Scenario {
  const char* name;
  std::vector<Note> notes;
};

// Message i has MSGID i unless said otherwise.
std::vector<Note> replies(const std::vector<std::uint32_t>& replyTo) {
  std::vector<Note> notes;
  for (std::uint32_t i = 0; i < replyTo.size(); ++i) {
    notes.push_back({i + 1, replyTo[i], "Re: topic " + std::to_string(replyTo[i])});
  }
  return notes;
}

const Scenario scenarios[] = {
    // 1 -> {2, 3, 6}, 2 -> {4, 8}, 3 -> {7}, 4 -> {5}.
    {"the example thread of the format's description", replies({0, 1, 1, 2, 4, 1, 3, 2})},
    {"replies before their original", replies({3, 3, 0, 1})},
    {"orphans", replies({0, 9, 9, 2})},
    {"self-reply", replies({1, 1})},
    {"2-ring", replies({2, 1, 1})},
    {"3-ring with descendants", replies({3, 1, 2, 1, 4, 0})},
    {"duplicate MSGIDs", {{5, 0, "a"}, {5, 0, "a"}, {6, 5, "b"}, {5, 6, "c"}}},
    {"subjects at 2, 5 and 9",
     {{1, 0, "one"}, {2, 0, "Topic"}, {3, 0, ""}, {4, 0, "four"}, {5, 0, "Re: Topic"},
      {6, 0, ""}, {7, 0, "seven"}, {8, 0, "eight"}, {9, 0, "RE: topic"}}},
};

TEST(JamLinking, EachTypeLinksAsForTheSameSquishBase) {
  for (const Scenario& s : scenarios) {
    for (const char type : {'t', 'f', 'r', 's'}) {
      SCOPED_TRACE(std::string(s.name) + " -t" + type);
      TempDir dir;
      BaseSpec squish;
      for (std::uint32_t i = 0; i < s.notes.size(); ++i) {
        squish.messages.push_back(squishMessage(s.notes[i], i + 1));
      }
      writeBase(squish, dir.file("sq"));
      runKnotter({"-#sq", std::string("-t") + type}, dir.path());
      writeJamBase(jamBase(s.notes), dir.file("area"));
      const RunResult run = linkJam(dir, type);
      EXPECT_EQ(describeJamThreads(dir.file("area")), describeLinks(dir.file("sq")));
      EXPECT_TRUE(jamLinksEnd(dir.file("area")));
      EXPECT_EQ(run.exitCode, run.out == result("area", 0, s.notes.size()) ? 0 : 1);
    }
  }
}

TEST(JamLinking, TimEdFollowsTheExampleOfTheFormatsDescription) {
  TempDir dir;
  writeJamBase(jamBase(scenarios[0].notes), dir.file("area"));
  EXPECT_EQ(linkJam(dir, 't').out, result("area", 8, 8));
  // Reply1st 2 -> 4 as well, which the description's own text leaves out.
  EXPECT_EQ(describeJamLinks(dir.file("area")),
            "1: 0 2 0; 2: 1 4 3; 3: 1 7 6; 4: 2 5 8; 5: 4 0 0; 6: 1 0 0; 7: 3 0 0; 8: 2 0 0");
}

TEST(JamLinking, NumbersByPositionPastGapsAndDeletedMessages) {
  // 500 original, 501 hard-deleted, 502 deleted original of 503, 504
  // replies to 500 and to 502; stale links everywhere.
  JamBaseSpec layout{.messages = {jamMessage({1, 0, "a"}), {.hardDeleted = true},
                                jamMessage({2, 0, "a"}), jamMessage({3, 2, "a"}),
                                jamMessage({4, 1, "a"})},
                   .baseMsgNum = 500, .modCounter = 7};
  layout.messages[0].replyNext = 77;
  layout.messages[2].deleted = true;
  layout.messages[2].reply1st = 503;
  layout.messages[2].replyNext = 501;
  layout.messages[3].replyTo = 502;
  layout.messages[4].msgNum = 1;  // not what the position says: not checked
  for (const char type : {'t', 'f', 'r', 's'}) {
    SCOPED_TRACE(type);
    TempDir dir;
    writeJamBase(layout, dir.file("area"));
    const std::string before = readFile(jhr(dir.file("area")));
    EXPECT_EQ(linkJam(dir, type).exitCode, 1);
    const std::string links = describeJamLinks(dir.file("area"));
    EXPECT_EQ(links, type == 's' ? "500: 0 503 0; 502: 0 0 0; 503: 500 504 0; 504: 503 0 0"
                                 : "500: 0 504 0; 502: 0 0 0; 503: 0 0 0; 504: 500 0 0");
    // Nothing but the reply fields and ModCounter differs.
    std::string after = readFile(jhr(dir.file("area")));
    EXPECT_EQ(getU32(after, jamAt::modCounter), 8u);
    putU32(after, jamAt::modCounter, 7);
    for (std::size_t i : {0, 2, 3, 4}) {
      const std::size_t at = jamHeaderOffset(dir.file("area"), i) + jamAt::replyTo;
      after.replace(at, 12, before, at, 12);
    }
    EXPECT_EQ(after, before);
  }
}

TEST(JamLinking, ALinkedBaseIsLeftByteIdentical) {
  TempDir dir;
  JamBaseSpec layout = jamBase(scenarios[0].notes);
  layout.modCounter = 0xFFFFFFFF;
  writeJamBase(layout, dir.file("area"));
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  std::filesystem::last_write_time(jhr(dir.file("area")), old);
  EXPECT_EQ(linkJam(dir, 'r').exitCode, 1);
  EXPECT_EQ(getU32(readFile(jhr(dir.file("area"))), jamAt::modCounter), 0u);
  EXPECT_GT(std::filesystem::last_write_time(jhr(dir.file("area"))), old);

  std::filesystem::last_write_time(jhr(dir.file("area")), old);
  const std::string linked = readFile(jhr(dir.file("area")));
  const RunResult again = linkJam(dir, 'r');
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out, result("area", 0, 8));
  EXPECT_EQ(readFile(jhr(dir.file("area"))), linked);
  EXPECT_EQ(std::filesystem::last_write_time(jhr(dir.file("area"))), old);
}

TEST(JamLinking, TimEdListsTenThousandRepliesInOneChain) {
  std::vector<std::uint32_t> replyTo(10001, 1);
  replyTo[0] = 0;
  TempDir dir;
  writeJamBase(jamBase(replies(replyTo)), dir.file("area"));
  EXPECT_EQ(linkJam(dir, 't').out, result("area", 10001, 10001));
  EXPECT_EQ(readJamLinks(dir.file("area"), 0), (JamLinks{0, 2, 0}));
  EXPECT_EQ(readJamLinks(dir.file("area"), 1), (JamLinks{1, 0, 3}));
  EXPECT_EQ(readJamLinks(dir.file("area"), 9999), (JamLinks{1, 0, 10001}));
  EXPECT_EQ(readJamLinks(dir.file("area"), 10000), (JamLinks{1, 0, 0}));
  EXPECT_TRUE(jamLinksEnd(dir.file("area")));
}

TEST(JamLinking, ADamagedBaseIsLeftByteIdentical) {
  TempDir dir;
  writeJamBase(jamBase(scenarios[0].notes), dir.file("area"));
  setJamHeaderU32(dir.file("area"), 7, jamAt::revision, 2);
  const std::string before = readFile(jhr(dir.file("area")));
  const RunResult run = linkJam(dir, 't');
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, banner + "Linking areas\nLinking area\r! Message base of area is damaged\n");
  EXPECT_EQ(readFile(jhr(dir.file("area"))), before);
}

}  // namespace
}  // namespace ktest
