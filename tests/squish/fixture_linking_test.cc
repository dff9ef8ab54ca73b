// Links the fixture bases in tests/fixtures, written by an independent
// implementation of the format, with every link type, and checks every reply-chain field,
// the changed count, that nothing else in the base changed, and that a second
// run changes nothing.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/link_notation.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

struct FixtureCase {
  const char* base;
  char type;  // the -t letter
  int changed;
  int total;
  std::string links;  // describeLinks text; empty: check consistency only
};

std::ostream& operator<<(std::ostream& out, const FixtureCase& c) {
  return out << c.base << " -t" << c.type;
}

std::string range(std::uint32_t first, std::uint32_t last, const std::string& each) {
  std::string text;
  for (std::uint32_t u = first; u <= last; ++u) {
    text += (text.empty() ? "" : "; ") + std::to_string(u) + ": " + each;
  }
  return text;
}

std::vector<std::uint32_t> ids(std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint32_t> list;
  for (std::uint32_t u = first; u <= last; ++u) list.push_back(u);
  return list;
}

// Without a full expectation (five_threads), the fields must at least agree with one
// another: a listed reply names its original, and a chain runs both ways.
void expectConsistentLinks(const std::filesystem::path& base, char type) {
  std::map<std::uint32_t, ReplyFields> all;
  std::uint32_t count = getU32(readFile(sqd(base)), 8);
  for (std::size_t i = 0; i < count; ++i) {
    all[readIndexEntry(base, i).umsgid] = readReplyFields(base, i);
  }
  for (const auto& [umsgid, own] : all) {
    SCOPED_TRACE("umsgid " + std::to_string(umsgid));
    for (std::size_t k = 0; k < 9; ++k) {
      if (own.replies[k] == 0) continue;
      EXPECT_TRUE(type == 't' || k == 0) << "slot " << k << " used in a chain";
      EXPECT_EQ(all.at(own.replies[k]).replyto, umsgid);
    }
    if (type != 't' && own.replyto != 0) {
      EXPECT_EQ(all.at(own.replyto).replies[0], umsgid);
    }
  }
}

class FixtureLinking : public testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureLinking, LinksEveryFieldAndNothingElse) {
  const FixtureCase& c = GetParam();
  TempDir dir;
  std::filesystem::path base = copyFixture(c.base, dir.path());
  const std::string args = std::string("-t") + c.type;
  const std::string counts = std::to_string(c.changed) + " of " + std::to_string(c.total);

  RunResult first = runKnotter({std::string("-#") + c.base, args}, dir.path());
  EXPECT_EQ(first.exitCode, c.changed > 0 ? 1 : 0);
  EXPECT_EQ(first.out, banner + "Linking areas\nLinking " + c.base + ": " + counts + "\n");
  if (c.links.empty()) {
    expectConsistentLinks(base, c.type);
  } else {
    EXPECT_EQ(describeLinks(base), c.links);
  }
  EXPECT_EQ(withoutReplyFields(base), withoutReplyFields(fixturesDir() / c.base));
  EXPECT_EQ(readFile(sqi(base)), readFile(sqi(fixturesDir() / c.base)));

  const std::string linked = readFile(sqd(base));
  RunResult second = runKnotter({std::string("-#") + c.base, args}, dir.path());
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.out, banner + "Linking areas\nLinking " + c.base + ": 0 of " +
                            std::to_string(c.total) + "\n");
  EXPECT_EQ(readFile(sqd(base)), linked);
}

const std::string replyToReplyChain = "10: 0 / 11; 11: 10 / 13; 12: 13 / -; 13: 11 / 12";
const std::string missingOriginalTimEd = "20: 0 / -; 21: 0 / -; 22: 0 / 23; 23: 22 / -";
const std::string duplicateChain = "40: 0 / 42; 41: 0 / -; 42: 40 / 43; 43: 42 / -";
const std::string duplicateTimEd = "40: 0 / 42 43; 41: 0 / -; 42: 40 / -; 43: 40 / -";

const FixtureCase replyCases[] = {
    {"reply_to_reply", 't', 4, 4, "10: 0 / 11 12; 11: 10 / 13; 12: 10 / -; 13: 11 / -"},
    {"reply_to_reply", 'f', 4, 4, replyToReplyChain},
    {"reply_to_reply", 'r', 4, 4, replyToReplyChain},
    {"missing_original", 't', 2, 4, missingOriginalTimEd},
    {"missing_original", 'f', 2, 4, missingOriginalTimEd},
    {"missing_original", 'r', 4, 4, chainLinks({ids(20, 23)})},
    {"two_threads_missing_original", 't', 6, 6,
     "30: 0 / 32 35; 31: 0 / 33; 32: 30 / 34; 33: 31 / -; 34: 32 / -; 35: 30 / -"},
    {"two_threads_missing_original", 'f', 6, 6, chainLinks({{30, 32, 34, 35}, {31, 33}})},
    {"two_threads_missing_original", 'r', 6, 6, chainLinks({{30, 32, 34, 35, 31, 33}})},
    {"duplicate_msgid", 't', 3, 4, duplicateTimEd},
    {"duplicate_msgid", 'f', 3, 4, duplicateChain},
    {"duplicate_msgid", 'r', 3, 4, duplicateChain},
    {"ten_replies", 't', 11, 11, "50: 0 / 51 52 53 54 55 56 57 58 59; " + range(51, 60, "50 / -")},
    {"ten_replies", 'f', 11, 11, chainLinks({ids(50, 60)})},
    {"ten_replies", 'r', 11, 11, chainLinks({ids(50, 60)})},
    {"subjects_without_kludges", 't', 1, 10, range(1, 10, "0 / -")},
    {"subjects_without_kludges", 'f', 1, 10, range(1, 10, "0 / -")},
    {"subjects_without_kludges", 'r', 1, 10, range(1, 10, "0 / -")},
    {"empty_base", 't', 0, 0, ""},
    {"empty_base", 'f', 0, 0, ""},
    {"empty_base", 'r', 0, 0, ""},
    {"five_threads", 't', 48, 50, ""},
    {"five_threads", 'f', 48, 50, ""},
    {"five_threads", 'r', 48, 50, ""},
};

const FixtureCase subjectCases[] = {
    {"reply_to_reply", 's', 4, 4, chainLinks({ids(10, 13)})},
    {"missing_original", 's', 4, 4, chainLinks({ids(20, 23)})},
    {"two_threads_missing_original", 's', 6, 6, chainLinks({ids(30, 35)})},
    {"duplicate_msgid", 's', 4, 4, chainLinks({ids(40, 43)})},
    {"ten_replies", 's', 11, 11, chainLinks({ids(50, 60)})},
    {"subjects_without_kludges", 's', 6, 10, chainLinks({{1}, {2}, {3, 6, 10}, {4}, {5}, {7, 8}, {9}})},
    {"empty_base", 's', 0, 0, ""},
    {"five_threads", 's', 48, 50, ""},
};

std::string caseName(const testing::TestParamInfo<FixtureCase>& info) {
  return std::string(info.param.base) + "_" + info.param.type;
}

INSTANTIATE_TEST_SUITE_P(ReplyLinking, FixtureLinking, testing::ValuesIn(replyCases), caseName);
INSTANTIATE_TEST_SUITE_P(SubjectLinking, FixtureLinking, testing::ValuesIn(subjectCases),
                         caseName);

// Which link type a -t option selects: two_threads_missing_original tells all three apart.
TEST(FixtureLinking, TypeOption) {
  const std::string timEd =
      "30: 0 / 32 35; 31: 0 / 33; 32: 30 / 34; 33: 31 / -; 34: 32 / -; 35: 30 / -";
  const std::string flat = chainLinks({{30, 32, 34, 35}, {31, 33}});
  const std::string reply = chainLinks({{30, 32, 34, 35, 31, 33}});
  struct Case {
    std::vector<std::string> options;
    std::string links;
  } cases[] = {
      {{}, reply},
      {{"-tt"}, timEd},
      {{"-TT"}, timEd},
      {{"/tf"}, flat},
      {{"-tF"}, flat},
      {{"-tR"}, reply},
      {{"-tt", "-tf"}, flat},
      {{"-tf", "-tx"}, flat},
      {{"-tt", "-t"}, timEd},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& option : c.options) trace += option + " ";
    SCOPED_TRACE(trace);
    TempDir dir;
    std::filesystem::path base = copyFixture("two_threads_missing_original", dir.path());
    std::vector<std::string> args = c.options;
    args.push_back("-#two_threads_missing_original");
    RunResult run = runKnotter(args, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(describeLinks(base), c.links);
  }
}

}  // namespace
}  // namespace ktest
