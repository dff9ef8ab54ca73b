// The run key: each draw is a new one, from the kernel or, failing that,
// from the mix of clocks, ids and addresses.
#include "base/run_key.h"

#include <gtest/gtest.h>

#include <set>

namespace {

bool same(const knotter::RunKey& a, const knotter::RunKey& b) {
  for (int i = 0; i < knotter::runKeyWords; ++i) {
    if (a.words[i] != b.words[i]) return false;
  }
  return true;
}

TEST(RunKey, EveryDrawIsNewAndItsWordsDiffer) {
  const struct {
    const char* name;
    knotter::RunKey (*draw)();
  } sources[] = {{"drawn", knotter::drawRunKey}, {"mixed", knotter::mixedRunKey}};
  for (const auto& source : sources) {
    SCOPED_TRACE(source.name);
    const knotter::RunKey first = source.draw();
    const knotter::RunKey second = source.draw();
    EXPECT_FALSE(same(first, second));
    const std::set<std::uint64_t> words(first.words, first.words + knotter::runKeyWords);
    EXPECT_EQ(words.size(), std::size_t{knotter::runKeyWords});
  }
}

TEST(RunKey, IsDrawnBeforeMainRuns) { EXPECT_FALSE(same(knotter::runKey, knotter::RunKey{})); }

}  // namespace
