// End-to-end linking of *.MSG directories given with -#dir/: each link type
// writes into replyTo and up what it writes into replyto and the first
// replies slot of a Squish base of the same messages; TimEd names the
// lowest reply; no graph written has a cycle; only the two fields of the
// files that change are written, and a second run writes nothing.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/msg_area_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

// One message file: its number, the serials of its MSGID and REPLY (0 for
// none), its subject and the link fields it holds before linking.
struct Note {
  std::uint32_t number = 0;
  std::uint32_t msgId = 0;
  std::uint32_t reply = 0;
  std::string subject{};
  std::uint16_t replyTo = 0;
  std::uint16_t up = 0;
};

struct Scenario {
  const char* name;
  std::vector<Note> notes;  // by ascending number
};

std::vector<std::string> kludgesOf(const Note& note) {
  std::vector<std::string> kludges;
  if (note.msgId != 0) kludges.push_back(msgIdKludge(note.msgId));
  if (note.reply != 0) kludges.push_back(replyKludge(note.reply));
  return kludges;
}

void writeArea(const std::filesystem::path& dir, const std::vector<Note>& notes) {
  std::filesystem::create_directory(dir);
  for (const Note& note : notes) {
    writeMsgFile(dir, std::to_string(note.number) + ".msg",
                 {.subject = note.subject,
                  .text = msgText(kludgesOf(note), "text of " + std::to_string(note.number) + "\r"),
                  .replyTo = note.replyTo,
                  .up = note.up});
  }
}

// The same messages as a Squish base, umsgid = number, linked with type;
// returns "N: replyto replies[0]; ..." in the form describeMsgLinks gives.
std::string squishLinks(const TempDir& dir, const std::vector<Note>& notes, char type) {
  BaseSpec base;
  for (const Note& note : notes) {
    MessageSpec message{.umsgid = note.number, .subject = note.subject, .replyto = note.replyTo};
    message.replies[0] = note.up;
    for (const std::string& k : kludgesOf(note)) message.control += "\x01" + k;
    base.messages.push_back(message);
  }
  writeBase(base, dir.file("sq"));
  runKnotter({"-#sq", std::string("-t") + type}, dir.path());
  std::string text;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    const ReplyFields fields = readReplyFields(dir.file("sq"), i);
    if (!text.empty()) text += "; ";
    text += std::to_string(notes[i].number) + ": " + std::to_string(fields.replyto) + " " +
            std::to_string(fields.replies[0]);
  }
  return text;
}

std::vector<std::uint32_t> numbersOf(const std::vector<Note>& notes) {
  std::vector<std::uint32_t> numbers;
  for (const Note& note : notes) numbers.push_back(note.number);
  return numbers;
}

RunResult linkMsg(const TempDir& dir, char type, const std::string& name = "area") {
  return runKnotter({"-#" + name + "/", std::string("-t") + type}, dir.path());
}

std::string result(std::uint32_t changed, std::size_t total) {
  return banner + "Linking areas\nLinking area: " + std::to_string(changed) + " of " +
         std::to_string(total) + "\n";
}

// Message i has MSGID i and answers replyTo[i] (0: nothing); numbers from 2.
std::vector<Note> replies(const std::vector<std::uint32_t>& replyTo) {
  std::vector<Note> notes;
  for (std::uint32_t i = 0; i < replyTo.size(); ++i) {
    notes.push_back({i + 2, i + 2, replyTo[i], "Re: topic " + std::to_string(replyTo[i])});
  }
  return notes;
}

const Scenario scenarios[] = {
    // The three reply examples of the Squish fixtures ex1, ex2 and ex3.
    {"an original, two replies, a reply to a reply",
     {{10, 0xa, 0, "Topic A"}, {11, 0xb, 0xa, "Re: Topic A"}, {12, 0xc, 0xa, "Re: Topic A"},
      {13, 0xd, 0xb, "Re: Topic A"}}},
    {"four replies to a missing original, one of them answered",
     {{20, 0, 0x99, "Re: Lost topic"}, {21, 0, 0x99, "Re: Lost topic"},
      {22, 0xe0, 0x99, "Re: Lost topic"}, {23, 0, 0xe0, "Re: Lost topic"}}},
    {"two threads that answer one missing original",
     {{30, 0xf0, 0x98, "Re: Old topic"}, {31, 0xf1, 0x98, "Re: Old topic"},
      {32, 0xf2, 0xf0, "Re: Old topic"}, {33, 0, 0xf1, "Re: Old topic"},
      {34, 0, 0xf2, "Re: Old topic"}, {35, 0, 0xf0, "Re: Old topic"}}},
    {"duplicate MSGIDs",
     {{2, 0xa, 0, "a"}, {5, 0xa, 0, "a"}, {7, 0xb, 0xa, "b"}, {9, 0xc, 0xa, "c", 99, 98}}},
    {"gaps 2, 5 and 900", {{2, 0x2, 0, "g"}, {5, 0x5, 0x384, "Re: g"}, {900, 0x384, 0x2, "Re: g"}}},
    {"self-reply", replies({2, 2, 3})},
    {"2-ring", replies({3, 2, 2})},
    {"3-ring with descendants", replies({4, 2, 3, 2, 5, 0})},
    {"stale fields naming missing numbers and a ring",
     {{2, 0, 0, "x", 3, 3}, {3, 0, 0, "y", 2, 2}, {4, 0, 0, "z", 9999, 65535},
      {6, 0x6, 0, "w", 4, 0}}},
    {"one subject three times, one unique",
     {{2, 0, 0, "Topic"}, {3, 0, 0, "Re: Topic"}, {4, 0, 0, "Other"}, {5, 0, 0, "RE: Topic"}}},
};

TEST(MsgLinking, EachTypeWritesWhatItWritesIntoTheFirstFieldsOfSquish) {
  for (const Scenario& s : scenarios) {
    for (const char type : {'t', 'f', 'r', 's'}) {
      SCOPED_TRACE(std::string(s.name) + " -t" + type);
      TempDir dir;
      const std::string expected = squishLinks(dir, s.notes, type);
      writeArea(dir.file("area"), s.notes);
      const RunResult run = linkMsg(dir, type);
      EXPECT_EQ(describeMsgLinks(dir.file("area"), numbersOf(s.notes)), expected);
      EXPECT_TRUE(msgLinksEnd(dir.file("area"), numbersOf(s.notes)));
      EXPECT_EQ(run.exitCode, run.out == result(0, s.notes.size()) ? 0 : 1);
    }
  }
}

struct Expectation {
  std::size_t scenario;
  char type;
  std::uint32_t changed;
  std::string links;
};

// The design's own examples, written out: chains field for field, TimEd's
// up the lowest reply.
TEST(MsgLinking, ExamplesGiveTheirLinks) {
  const std::string ex1Chain = "10: 0 11; 11: 10 13; 12: 13 0; 13: 11 12";
  const Expectation cases[] = {
      {0, 't', 4, "10: 0 11; 11: 10 13; 12: 10 0; 13: 11 0"},
      {0, 'f', 4, ex1Chain},
      {0, 'r', 4, ex1Chain},
      {1, 't', 2, "20: 0 0; 21: 0 0; 22: 0 23; 23: 22 0"},
      {1, 'r', 4, "20: 0 21; 21: 20 22; 22: 21 23; 23: 22 0"},
      {2, 't', 6, "30: 0 32; 31: 0 33; 32: 30 34; 33: 31 0; 34: 32 0; 35: 30 0"},
      {2, 'f', 6, "30: 0 32; 31: 0 33; 32: 30 34; 33: 31 0; 34: 32 35; 35: 34 0"},
      {2, 'r', 6, "30: 0 32; 31: 35 33; 32: 30 34; 33: 31 0; 34: 32 35; 35: 34 31"},
      {4, 'r', 3, "2: 0 900; 5: 900 0; 900: 2 5"},
      {9, 's', 3, "2: 0 3; 3: 2 5; 4: 0 0; 5: 3 0"},
  };
  for (const Expectation& c : cases) {
    const Scenario& s = scenarios[c.scenario];
    SCOPED_TRACE(std::string(s.name) + " -t" + c.type);
    TempDir dir;
    writeArea(dir.file("area"), s.notes);
    EXPECT_EQ(linkMsg(dir, c.type).out, result(c.changed, s.notes.size()));
    EXPECT_EQ(describeMsgLinks(dir.file("area"), numbersOf(s.notes)), c.links);
  }
}

TEST(MsgLinking, TenRepliesInTimEdAllNameTheOriginalWhichNamesTheLowest) {
  std::vector<Note> notes = {{40, 0x100, 0, "t"}};
  for (std::uint32_t n = 41; n <= 50; ++n) notes.push_back({n, n, 0x100, "t", 7, 7});
  TempDir dir;
  writeArea(dir.file("area"), notes);
  EXPECT_EQ(linkMsg(dir, 't').out, result(11, 11));
  std::string expected = "40: 0 41";
  for (std::uint32_t n = 41; n <= 50; ++n) expected += "; " + std::to_string(n) + ": 40 0";
  EXPECT_EQ(describeMsgLinks(dir.file("area"), numbersOf(notes)), expected);
}

struct stat statOf(const std::filesystem::path& file) {
  struct stat status {};
  EXPECT_EQ(::stat(file.c_str(), &status), 0);
  return status;
}

bool sameTimes(const struct stat& a, const struct stat& b) {
  return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Only offsets 184-185 and 188-189 of the files whose links change differ,
// sizes stay; the directory keeps its times. A second run changes nothing:
// not a byte, not a time of any file.
TEST(MsgLinking, OnlyTheTwoFieldsOfChangedFilesAreWrittenAndOnlyOnce) {
  for (const char type : {'t', 'f', 'r', 's'}) {
    SCOPED_TRACE(type);
    TempDir dir;
    const std::vector<Note>& notes = scenarios[2].notes;
    writeArea(dir.file("area"), notes);
    // The attribute word between the fields, set to all ones, must stay.
    for (const Note& note : notes) {
      const auto file = dir.file("area") / (std::to_string(note.number) + ".msg");
      setU16(file, msgAt::attribute, 0xFFFF);
    }
    std::vector<std::string> before;
    std::vector<struct stat> unlinkedTimes;
    for (const Note& note : notes) {
      const auto file = dir.file("area") / (std::to_string(note.number) + ".msg");
      before.push_back(readFile(file));
      unlinkedTimes.push_back(statOf(file));
    }
    const struct stat dirBefore = statOf(dir.file("area"));
    EXPECT_EQ(linkMsg(dir, type).exitCode, 1);
    std::vector<struct stat> linkedTimes;
    for (std::size_t i = 0; i < notes.size(); ++i) {
      const auto file = dir.file("area") / (std::to_string(notes[i].number) + ".msg");
      std::string after = readFile(file);
      ASSERT_EQ(after.size(), before[i].size());
      const bool changed = after != before[i];
      after.replace(184, 2, before[i], 184, 2);
      after.replace(188, 2, before[i], 188, 2);
      EXPECT_EQ(after, before[i]) << notes[i].number;
      // A file without a change was not opened for writing.
      const struct stat status = statOf(file);
      if (!changed) {
        EXPECT_TRUE(sameTimes(status, unlinkedTimes[i])) << notes[i].number;
      }
      linkedTimes.push_back(status);
    }
    EXPECT_TRUE(sameTimes(statOf(dir.file("area")), dirBefore));

    std::vector<std::string> linked;
    for (const Note& note : notes) {
      linked.push_back(readFile(dir.file("area") / (std::to_string(note.number) + ".msg")));
    }
    EXPECT_EQ(linkMsg(dir, type).out, result(0, notes.size()));
    for (std::size_t i = 0; i < notes.size(); ++i) {
      const auto file = dir.file("area") / (std::to_string(notes[i].number) + ".msg");
      EXPECT_EQ(readFile(file), linked[i]);
      EXPECT_TRUE(sameTimes(statOf(file), linkedTimes[i])) << notes[i].number;
    }
  }
}

// A file that needs no change is never opened for writing, so its times
// stay even on the first run.
TEST(MsgLinking, FilesThatNeedNoChangeKeepTheirTimes) {
  TempDir dir;
  // 2 holds its links already; 3 and 4 do not.
  writeArea(dir.file("area"),
            {{2, 0x2, 0, "a", 0, 3}, {3, 0x3, 0x2, "a", 0, 0}, {4, 0x4, 0x3, "a", 0, 0}});
  const struct stat first = statOf(dir.file("area") / "2.msg");
  EXPECT_EQ(linkMsg(dir, 'f').out, result(2, 3));
  EXPECT_TRUE(sameTimes(statOf(dir.file("area") / "2.msg"), first));
  EXPECT_EQ(describeMsgLinks(dir.file("area"), {2, 3, 4}), "2: 0 3; 3: 2 4; 4: 3 0");
}

TEST(MsgLinking, TagIsTheLastComponentAndPercentPIsTheDirectoryWithOneSlash) {
  TempDir dir;
  writeArea(dir.file("mail"), scenarios[0].notes);
  struct Case {
    std::string argument;
    std::string echoed;
  } cases[] = {
      {"-#mail/", "mail mail/"},
      {"-#mail//", "mail mail/"},
      {"-#" + dir.file("mail").string() + "/", "mail " + dir.file("mail").string() + "/"},
      {"-#./mail/", "mail ./mail/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const RunResult run = runKnotter({c.argument, "-!", "echo", "%a", "%p"}, dir.path());
    EXPECT_EQ(run.out, banner + "Running script\n" + c.echoed + "\n");
  }
  const RunResult linked = runKnotter({"-#mail//", "-tt"}, dir.path());
  EXPECT_EQ(linked.out, banner + "Linking areas\nLinking mail: 4 of 4\n");
}

}  // namespace
}  // namespace ktest
