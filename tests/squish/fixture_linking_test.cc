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

// Without a full expectation (m50), the fields must at least agree with one
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

const std::string ex1Chain = "10: 0 / 11; 11: 10 / 13; 12: 13 / -; 13: 11 / 12";
const std::string ex2TimEd = "20: 0 / -; 21: 0 / -; 22: 0 / 23; 23: 22 / -";
const std::string ex4Chain = "40: 0 / 42; 41: 0 / -; 42: 40 / 43; 43: 42 / -";
const std::string ex4TimEd = "40: 0 / 42 43; 41: 0 / -; 42: 40 / -; 43: 40 / -";

const FixtureCase replyCases[] = {
    {"ex1", 't', 4, 4, "10: 0 / 11 12; 11: 10 / 13; 12: 10 / -; 13: 11 / -"},
    {"ex1", 'f', 4, 4, ex1Chain},
    {"ex1", 'r', 4, 4, ex1Chain},
    {"ex2", 't', 2, 4, ex2TimEd},
    {"ex2", 'f', 2, 4, ex2TimEd},
    {"ex2", 'r', 4, 4, chainLinks({ids(20, 23)})},
    {"ex3", 't', 6, 6,
     "30: 0 / 32 35; 31: 0 / 33; 32: 30 / 34; 33: 31 / -; 34: 32 / -; 35: 30 / -"},
    {"ex3", 'f', 6, 6, chainLinks({{30, 32, 34, 35}, {31, 33}})},
    {"ex3", 'r', 6, 6, chainLinks({{30, 32, 34, 35, 31, 33}})},
    {"ex4", 't', 3, 4, ex4TimEd},
    {"ex4", 'f', 3, 4, ex4Chain},
    {"ex4", 'r', 3, 4, ex4Chain},
    {"ex5", 't', 11, 11, "50: 0 / 51 52 53 54 55 56 57 58 59; " + range(51, 60, "50 / -")},
    {"ex5", 'f', 11, 11, chainLinks({ids(50, 60)})},
    {"ex5", 'r', 11, 11, chainLinks({ids(50, 60)})},
    {"ex8", 't', 1, 10, range(1, 10, "0 / -")},
    {"ex8", 'f', 1, 10, range(1, 10, "0 / -")},
    {"ex8", 'r', 1, 10, range(1, 10, "0 / -")},
    {"ex9empty", 't', 0, 0, ""},
    {"ex9empty", 'f', 0, 0, ""},
    {"ex9empty", 'r', 0, 0, ""},
    {"m50", 't', 48, 50, ""},
    {"m50", 'f', 48, 50, ""},
    {"m50", 'r', 48, 50, ""},
};

const FixtureCase subjectCases[] = {
    {"ex1", 's', 4, 4, chainLinks({ids(10, 13)})},
    {"ex2", 's', 4, 4, chainLinks({ids(20, 23)})},
    {"ex3", 's', 6, 6, chainLinks({ids(30, 35)})},
    {"ex4", 's', 4, 4, chainLinks({ids(40, 43)})},
    {"ex5", 's', 11, 11, chainLinks({ids(50, 60)})},
    {"ex8", 's', 6, 10, chainLinks({{1}, {2}, {3, 6, 10}, {4}, {5}, {7, 8}, {9}})},
    {"ex9empty", 's', 0, 0, ""},
    {"m50", 's', 48, 50, ""},
};

std::string caseName(const testing::TestParamInfo<FixtureCase>& info) {
  return std::string(info.param.base) + "_" + info.param.type;
}

INSTANTIATE_TEST_SUITE_P(ReplyLinking, FixtureLinking, testing::ValuesIn(replyCases), caseName);
INSTANTIATE_TEST_SUITE_P(SubjectLinking, FixtureLinking, testing::ValuesIn(subjectCases),
                         caseName);

// Which link type a -t option selects: ex3 tells all three apart.
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
    std::filesystem::path base = copyFixture("ex3", dir.path());
    std::vector<std::string> args = c.options;
    args.push_back("-#ex3");
    RunResult run = runKnotter(args, dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(describeLinks(base), c.links);
  }
}

}  // namespace
}  // namespace ktest
