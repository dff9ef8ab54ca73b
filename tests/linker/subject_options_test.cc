// The -s and -p options reach subject linking: the built tool links one
// small base with each, and the chains show the subject length and the
// look-alike mapping in force.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/base_builder.h"
#include "support/files.h"
#include "support/link_notation.h"
#include "support/run_knotter.h"
#include "support/temp_dir.h"

namespace ktest {
namespace {

struct OptionCase {
  std::vector<std::string> options;
  std::vector<std::vector<std::uint32_t>> chains;
};

std::ostream& operator<<(std::ostream& out, const OptionCase& c) {
  for (const std::string& option : c.options) out << option << ' ';
  return out;
}

// Without -s (15 characters): 1 and 2 agree in 15 characters, 3 only in 14;
// 4 and 5 agree in 71 of 72; 6 and 7 differ only by Cyrillic look-alikes.
std::vector<std::vector<std::uint32_t>> defaultChains() { return {{1, 2}, {3}, {4, 5}, {6}, {7}}; }

const OptionCase optionCases[] = {
    {{}, defaultChains()},
    {{"-s0"}, defaultChains()},
    {{"-s-5"}, defaultChains()},
    {{"-sabc"}, defaultChains()},
    {{"-s15"}, defaultChains()},
    {{"-s", "14"}, {{1, 2, 3}, {4, 5}, {6}, {7}}},
    {{"-s16"}, {{1}, {2}, {3}, {4, 5}, {6}, {7}}},
    {{"-s71"}, {{1}, {2}, {3}, {4, 5}, {6}, {7}}},
    {{"-s72"}, {{1}, {2}, {3}, {4}, {5}, {6}, {7}}},
    {{"-s100"}, {{1}, {2}, {3}, {4}, {5}, {6}, {7}}},
    {{"-p"}, {{1, 2}, {3}, {4, 5}, {6, 7}}},
    {{"-p", "-s100"}, {{1}, {2}, {3}, {4}, {5}, {6, 7}}},
};

class SubjectOptions : public testing::TestWithParam<OptionCase> {};

TEST_P(SubjectOptions, SetTheComparedSubject) {
  const OptionCase& c = GetParam();
  TempDir dir;
  const std::filesystem::path base = dir.file("area");
  BaseSpec layout;
  const char* subjects[] = {
      "abcdefghijklmnoX", "Re: abcdefghijklmnoY", "abcdefghijklmnZZ", "", "", "coex",
      "\xE1\xAE\xA5x"};
  for (std::uint32_t u = 1; u <= 7; ++u)
    layout.messages.push_back({.umsgid = u, .subject = subjects[u - 1]});
  const BuiltBase built = writeBase(layout, base);
  std::string data = readFile(sqd(base));
  for (std::size_t m : {3, 4}) {  // all 72 bytes, which the builder would end with a NUL
    data.replace(built.frameOffsets[m] + 28 + 76, 72, std::string(71, 'x') + char('1' + m - 3));
  }
  writeFile(sqd(base), data);

  std::vector<std::string> args = {"-#area", "-ts"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const RunResult run = runKnotter(args, dir.path());
  std::size_t changed = 0;
  for (const auto& chain : c.chains) changed += chain.size() > 1 ? chain.size() : 0;
  EXPECT_EQ(run.exitCode, changed > 0 ? 1 : 0);
  EXPECT_EQ(run.out,
            banner + "Linking areas\nLinking area: " + std::to_string(changed) + " of 7\n");
  EXPECT_EQ(describeLinks(base), chainLinks(c.chains));
}

INSTANTIATE_TEST_SUITE_P(Cases, SubjectOptions, testing::ValuesIn(optionCases));

}  // namespace
}  // namespace ktest
