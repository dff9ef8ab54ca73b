// knotter-dump --threads: the forest that the current replyto fields describe,
// with missing parents and rings of replyto fields printed once each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"
#include "tools/run_dump.h"

namespace {

using ktest::splitLines;

struct Message {
  std::uint32_t umsgid;
  std::uint32_t replyto;
};

struct TreeCase {
  const char* name;
  std::vector<Message> messages;  // index order = file order
  std::vector<std::string> tree;  // the lines after the header line
};

const TreeCase treeCases[] = {
    {"children in index order below their parent",
     {{10, 0}, {11, 10}, {12, 10}, {13, 11}, {14, 0}},
     {"10 #0 subj=\"S\"", "  11 #1 subj=\"S\"", "    13 #3 subj=\"S\"", "  12 #2 subj=\"S\"",
      "14 #4 subj=\"S\""}},
    {"a reply listed before its parent",
     {{21, 20}, {20, 0}},
     {"20 #1 subj=\"S\"", "  21 #0 subj=\"S\""}},
    {"parent not in the base",
     {{30, 99}, {31, 30}},
     {"30 #0 subj=\"S\" missing-parent=99", "  31 #1 subj=\"S\""}},
    {"a ring entered at a member, with the message hanging from it",
     {{42, 41}, {40, 0}, {41, 42}},
     {"40 #1 subj=\"S\"", "42 #0 subj=\"S\" cycle", "  41 #2 subj=\"S\""}},
    {"a message below a ring, listed first",
     {{52, 50}, {50, 51}, {51, 50}},
     {"50 #1 subj=\"S\" cycle", "  52 #0 subj=\"S\"", "  51 #2 subj=\"S\""}},
    {"a message that replies to itself",
     {{60, 60}, {61, 60}},
     {"60 #0 subj=\"S\" cycle", "  61 #1 subj=\"S\""}},
    {"a duplicate umsgid: the first one is the parent",
     {{70, 0}, {70, 0}, {71, 70}},
     {"70 #0 subj=\"S\"", "  71 #2 subj=\"S\"", "70 #1 subj=\"S\""}},
};

std::vector<std::string> dumpTree(const std::vector<Message>& messages) {
  ktest::TempDir dir;
  ktest::BaseSpec layout;
  for (const Message& m : messages) {
    layout.messages.push_back({.umsgid = m.umsgid, .subject = "Re: S", .replyto = m.replyto});
  }
  ktest::writeBase(layout, dir.file("T"));
  const ktest::DumpResult result = ktest::runDump({"--threads", "T"}, dir.path());
  EXPECT_EQ(result.exitCode, 0);
  std::vector<std::string> lines = splitLines(result.out);
  EXPECT_FALSE(lines.empty());
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

TEST(DumpThreads, ForestOfTheReplytoFields) {
  for (const TreeCase& c : treeCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(dumpTree(c.messages), c.tree);
  }
}

// A chain linked Flat is as deep as it is long; the indent stops growing
// and the line names its depth instead.
TEST(DumpThreads, DeepChainKeepsItsIndentBounded) {
  std::vector<Message> chain;
  for (std::uint32_t i = 0; i < 40; ++i) chain.push_back({100 + i, i == 0 ? 0 : 99 + i});
  const std::vector<std::string> lines = dumpTree(chain);
  ASSERT_EQ(lines.size(), 40u);
  const std::string indent32(64, ' ');
  EXPECT_EQ(lines[31], std::string(62, ' ') + "131 #31 subj=\"S\"");
  EXPECT_EQ(lines[32], indent32 + "132 #32 subj=\"S\"");
  EXPECT_EQ(lines[33], indent32 + "+33 133 #33 subj=\"S\"");
  EXPECT_EQ(lines[39], indent32 + "+39 139 #39 subj=\"S\"");
}

// The tree of a fixture after the linker has linked it TimEd.
TEST(DumpThreads, FixtureLinkedByTheLinker) {
  ktest::TempDir dir;
  ktest::copyFixture("reply_to_reply", dir.path());
  ASSERT_EQ(ktest::runKnotter({"-#reply_to_reply", "-tt", "-q"}, dir.path()).exitCode, 1);
  const ktest::DumpResult result = ktest::runDump({"--threads", "reply_to_reply"}, dir.path());
  EXPECT_EQ(result.exitCode, 0);
  const std::vector<std::string> lines = splitLines(result.out);
  const std::vector<std::string> tree(lines.begin() + 1, lines.end());
  EXPECT_EQ(tree, (std::vector<std::string>{
                      "10 #0 subj=\"Topic A\"", "  11 #1 subj=\"Topic A\"",
                      "    13 #3 subj=\"Topic A\"", "  12 #2 subj=\"Topic A\""}));
}

}  // namespace
